// Viewers, their buffer and fog, and the cadencer in a component stream:
// what each publishes comes back, what its rules leave out is not written,
// damage changes nothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "scene/components/ComponentStreams.h"
#include "scene/graph/CameraLight.h"
#include "scene/graph/Scene.h"
#include "scene/graph/SceneBuffer.h"
#include "scene/viewers/Cadencer.h"
#include "scene/viewers/FullScreenViewer.h"
#include "scene/viewers/MemoryViewer.h"
#include "scene/viewers/SceneViewer.h"
#include "support/PublishedPropertiesTable.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

// A scene with a camera, as every viewer's stream has one (named apart from
// the properties "Camera" and "Scene", which are looked for by name).
void AddSceneAndCamera(TStreamForm& form) {
  auto& scene = form.AddComponent<TGL3DScene>();
  scene.SetName("World");
  scene.Objects().AddNewChild<TGLCamera>().SetName("Eye");
}

void ChangeBuffer(TGL3DSceneBuffer& b) {
  b.FogEnvironment().SetFogStart(5.0f);
  b.FogEnvironment().SetFogEnd(500.0f);
  b.FogEnvironment().SetFogDistance(TFogDistance::fdEyeRadial);
  b.FogEnvironment().FogColor().SetColor({0.5f, 0.5f, 0.5f, 0.25f});
  b.FogEnvironment().SetFogMode(TFogMode::fmExp);
  b.SetBackgroundColor(0x123456);
  b.AmbientColor().SetColor({0.0f, 0.1f, 0.0f, 1.0f});
  b.SetContextOptions({TContextOption::roDoubleBuffer, TContextOption::roStencilBuffer});
  b.SetAccumBufferBits(16);
  b.SetDepthTest(false);
  b.SetFaceCulling(false);
  b.SetFogEnable(true);
  b.SetLighting(false);
  b.SetAntiAliasing(TGLAntiAliasing::aa4x);
  b.SetDepthPrecision(TGLDepthPrecision::dp24bits);
  b.SetColorDepth(TGLColorDepth::cd16bits);
  b.SetShadeModel(TGLShadeModel::smFlat);
}

std::string BufferText(const TGL3DSceneBuffer& b) {
  const TGLFogEnvironment& fog = b.FogEnvironment();
  std::ostringstream out;
  out << VectorText(fog.FogColor().Color()) << " " << fog.FogStart() << " " << fog.FogEnd() << " "
      << static_cast<int>(fog.FogMode()) << static_cast<int>(fog.FogDistance()) << " " << b.BackgroundColor() << " "
      << VectorText(b.AmbientColor().Color()) << " " << b.ContextOptions().Bits() << " " << b.AccumBufferBits() << " "
      << b.DepthTest() << b.FaceCulling() << b.FogEnable() << b.Lighting() << " "
      << static_cast<int>(b.AntiAliasing()) << static_cast<int>(b.DepthPrecision())
      << static_cast<int>(b.ColorDepth()) << static_cast<int>(b.ShadeModel());
  return out.str();
}

// The fog is left out whole while it holds its defaults.
const std::vector<std::string> kBufferDefaultsLeftOut = {
    "Buffer.FogEnvironment.FogColor.Color", "Buffer.FogEnvironment.FogStart", "Buffer.FogEnvironment.FogEnd",
    "Buffer.FogEnvironment.FogMode", "Buffer.FogEnvironment.FogDistance", "Buffer.BackgroundColor",
    "Buffer.ContextOptions", "Buffer.AccumBufferBits", "Buffer.DepthTest", "Buffer.FaceCulling",
    "Buffer.FogEnable", "Buffer.Lighting", "Buffer.AntiAliasing", "Buffer.DepthPrecision", "Buffer.ColorDepth",
    "Buffer.ShadeModel"};

// The scene and its camera beside the viewers are the graph table's.
const std::vector<std::string> kSceneAndCamera = {"World", "Eye"};

const std::vector<TPublishedCase>& Cases() {
  static const std::vector<TPublishedCase> cases = {
      {"memory viewer",
       [](TStreamForm& f) {
         AddSceneAndCamera(f);
         f.AddComponent<TGLMemoryViewer>().SetName("Viewer");
       },
       [](TStreamForm& f) {
         auto& v = FindStreamed<TGLMemoryViewer>(f, "Viewer");
         v.SetCamera(&FindStreamed<TGLCamera>(f, "Eye"));
         v.SetWidth(320);
         v.SetHeight(200);
         v.SetBufferCount(3);
         ChangeBuffer(v.Buffer());
       },
       [](TStreamForm& f) {
         auto& v = FindStreamed<TGLMemoryViewer>(f, "Viewer");
         return NameOf(v.Camera()) + " " + std::to_string(v.Width()) + "x" + std::to_string(v.Height()) + " " +
                std::to_string(v.BufferCount()) + " " + BufferText(v.Buffer());
       },
       Joined(kBufferDefaultsLeftOut, {"Camera", "Width", "Height", "BufferCount"}),
       {{"Buffer.ContextOptions", {4, 0, 0, 1, 0}},
        {"Buffer.FogEnvironment.FogStart", {5, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xFF}}},
       // More buffers than a memory viewer keeps: it keeps its most.
       {{"BufferCount", {2, 9}, [](TStreamForm& f) { FindStreamed<TGLMemoryViewer>(f, "Viewer").SetBufferCount(9); }}},
       kSceneAndCamera},
      {"full-screen viewer",
       [](TStreamForm& f) {
         AddSceneAndCamera(f);
         f.AddComponent<TGLFullScreenViewer>().SetName("Viewer");
       },
       [](TStreamForm& f) {
         auto& v = FindStreamed<TGLFullScreenViewer>(f, "Viewer");
         v.SetCamera(&FindStreamed<TGLCamera>(f, "Eye"));
         v.SetWidth(1024);
         v.SetHeight(768);
         v.SetScreenDepth(TScreenDepth::sd16bits);
         v.SetStayOnTop(true);
         v.SetVSync(TVSyncMode::vsmNoSync);
         v.SetRefreshRate(75);
         v.SetCursor(QCursor(Qt::CrossCursor));
         ChangeBuffer(v.Buffer());
       },
       [](TStreamForm& f) {
         auto& v = FindStreamed<TGLFullScreenViewer>(f, "Viewer");
         std::ostringstream out;
         out << NameOf(v.Camera()) << " " << v.Width() << "x" << v.Height() << " " << static_cast<int>(v.ScreenDepth())
             << v.StayOnTop() << static_cast<int>(v.VSync()) << " " << v.RefreshRate() << " " << v.Cursor().shape()
             << " " << BufferText(v.Buffer());
         return out.str();
       },
       Joined(kBufferDefaultsLeftOut,
              {"Camera", "Width", "Height", "ScreenDepth", "StayOnTop", "VSync", "RefreshRate", "Cursor"}),
       {{"ScreenDepth", {2, 4}}},
       {},
       kSceneAndCamera},
      {"scene viewer",
       [](TStreamForm& f) {
         AddSceneAndCamera(f);
         f.AddComponent<TGL3DSceneViewer>().SetName("Viewer");
       },
       [](TStreamForm& f) {
         auto& v = FindStreamed<TGL3DSceneViewer>(f, "Viewer");
         v.SetCamera(&FindStreamed<TGLCamera>(f, "Eye"));
         v.SetVSync(TVSyncMode::vsmSync);
         v.SetDragMode(TDragMode::dmAutomatic);
         v.SetDragCursor(Qt::OpenHandCursor);
         v.setEnabled(false);
         v.setToolTip("the model");
         v.SetVisible(false);
         v.SetTabStop(true);
         v.SetTabOrder(2);
         ChangeBuffer(v.Buffer());
       },
       [](TStreamForm& f) {
         auto& v = FindStreamed<TGL3DSceneViewer>(f, "Viewer");
         std::ostringstream out;
         out << NameOf(v.Camera()) << " " << static_cast<int>(v.VSync()) << static_cast<int>(v.DragMode())
             << static_cast<int>(v.DragCursor()) << " " << v.isEnabled() << v.toolTip().toStdString() << " "
             << v.Visible() << v.TabStop() << " " << v.TabOrder() << " " << BufferText(v.Buffer());
         return out.str();
       },
       Joined(kBufferDefaultsLeftOut,
              {"Camera", "VSync", "DragMode", "DragCursor", "Enabled", "Hint", "Visible", "TabStop", "TabOrder"}),
       {{"DragCursor", {4, 0, 1, 0, 0}}, {"Visible", {4, 0, 0, 0, 0}}},
       {},
       kSceneAndCamera},
      {"cadencer",
       [](TStreamForm& f) {
         AddSceneAndCamera(f);
         f.AddComponent<TGLCadencer>().SetName("Cadencer");
       },
       [](TStreamForm& f) {
         auto& c = FindStreamed<TGLCadencer>(f, "Cadencer");
         c.SetMode(TGLCadencerMode::cmManual);  // no ticking in a test
         c.SetScene(&FindStreamed<TGL3DScene>(f, "World"));
         c.SetEnabled(false);
         c.SetTimeReference(TGLCadencerTimeReference::cmRTC);
         c.SetTimeMultiplier(2.5);
         c.SetMaxDeltaTime(0.5);
         c.SetMinDeltaTime(0.01);
         c.SetFixedDeltaTime(0.02);
         c.SetSleepLength(5);
       },
       [](TStreamForm& f) {
         auto& c = FindStreamed<TGLCadencer>(f, "Cadencer");
         std::ostringstream out;
         out << NameOf(c.Scene()) << " " << c.Enabled() << static_cast<int>(c.TimeReference()) << " "
             << c.TimeMultiplier() << " " << c.MaxDeltaTime() << " " << c.MinDeltaTime() << " " << c.FixedDeltaTime()
             << " " << static_cast<int>(c.Mode()) << " " << c.SleepLength();
         return out.str();
       },
       {"Scene", "Enabled", "TimeReference", "TimeMultiplier", "Mode", "SleepLength"},
       {{"TimeMultiplier", {5, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x7F}}, {"Mode", {2, 3}}},
       {},
       kSceneAndCamera},
  };
  return cases;
}

class ViewerStreams : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterSceneClasses();
    RegisterMemoryViewerClasses();
    RegisterFullScreenViewerClasses();
    RegisterSceneViewerClasses();
    RegisterCadencerClasses();
  }
  void SetUp() override {
    if (EnsureTestApplication() == nullptr) GTEST_SKIP() << "the application has no widgets";
  }
};

QIRA_PUBLISHED_PROPERTY_TESTS(ViewerStreams, Cases)

TEST_F(ViewerStreams, FogIsStoredWholeOnceAnyOfItDiffersFromItsDefaults) {
  TStreamForm form;
  AddSceneAndCamera(form);
  auto& viewer = form.AddComponent<TGLMemoryViewer>();
  viewer.Buffer().FogEnvironment().SetFogDistance(TFogDistance::fdEyePlane);
  const std::vector<uint8_t> bytes = WriteComponentToBytes(form);
  EXPECT_TRUE(BytesHold(bytes, "Buffer.FogEnvironment.FogDistance"));
  EXPECT_TRUE(BytesHold(bytes, "Buffer.FogEnvironment.FogColor.Color"));  // a colour is always written
  EXPECT_TRUE(BytesHold(bytes, "Buffer.FogEnvironment.FogStart"));        // a float without a rule too
  EXPECT_FALSE(BytesHold(bytes, "Buffer.FogEnvironment.FogMode"));        // an ordinal at its default is not
}

}  // namespace
}  // namespace qira

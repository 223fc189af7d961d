// The scene graph's classes in a component stream: what each publishes comes
// back, what its defaults leave out is not written, damage changes nothing,
// and each class stores only the node properties it publishes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "scene/components/ComponentStreams.h"
#include "scene/graph/CameraLight.h"
#include "scene/graph/CustomSceneObjects.h"
#include "scene/graph/Scene.h"
#include "scene/graph/SceneObject.h"
#include "support/PublishedPropertiesTable.h"

namespace qira {
namespace {

using TBytes = std::vector<uint8_t>;

// Tag 5 and an extended float: `significand`, then sign and exponent.
TBytes Extended(uint64_t significand, uint16_t signAndExponent) {
  TBytes bytes = {5};
  for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<uint8_t>(significand >> (8 * i)));
  bytes.push_back(static_cast<uint8_t>(signAndExponent));
  bytes.push_back(static_cast<uint8_t>(signAndExponent >> 8));
  return bytes;
}
const TBytes kNaN = Extended(0xC000000000000000u, 0x7FFF);
const TBytes k120 = Extended(0xF000000000000000u, 0x4005);  // 1.875 * 2^6

TGL3DScene& AddScene(TStreamForm& form) {
  auto& scene = form.AddComponent<TGL3DScene>();
  scene.SetName("Scene");
  return scene;
}

template <class T>
T& AddObject(TStreamForm& form, const std::string& name) {
  auto& scene = dynamic_cast<TGL3DScene&>(*form.FindComponent("Scene"));
  auto& object = scene.Objects().AddNewChild<T>();
  object.SetName(name);
  return object;
}

// Every node property the base publishes, away from its default.
void ChangeBase(TGLBaseSceneObject& o) {
  o.SetObjectsSorting(TGLObjectsSorting::osNone);
  o.SetVisibilityCulling(TGLVisibilityCulling::vcObjectBased);
  o.Position().SetPoint(1.0f, 2.0f, 3.0f);
  o.Scale().SetVector(2.0f, 3.0f, 4.0f);
  o.SetPitchAngle(10.0f);
  o.SetRollAngle(-20.0f);
  o.SetTurnAngle(30.0f);
  o.SetShowAxes(true);
  o.SetVisible(false);
  o.TagFloat = 0.5f;
}

std::string BaseText(const TGLBaseSceneObject& o) {
  std::ostringstream out;
  out << static_cast<int>(o.ObjectsSorting()) << static_cast<int>(o.VisibilityCulling()) << " "
      << VectorText(o.Position().AsVector()) << " " << VectorText(o.Direction().AsVector()) << " " << VectorText(o.Up().AsVector())
      << " " << VectorText(o.Scale().AsVector()) << " " << o.PitchAngle() << " " << o.RollAngle() << " " << o.TurnAngle()
      << " " << o.ShowAxes() << o.Visible() << " " << o.TagFloat;
  return out.str();
}

const std::vector<TPublishedCase>& Cases() {
  static const std::vector<TPublishedCase> cases = {
      {"scene",
       [](TStreamForm& f) { AddScene(f); },
       [](TStreamForm& f) {
         auto& s = FindStreamed<TGL3DScene>(f, "Scene");
         s.SetObjectsSorting(TGLObjectsSorting::osRenderFarthestFirst);
         s.SetVisibilityCulling(TGLVisibilityCulling::vcHierarchical);
       },
       [](TStreamForm& f) {
         auto& s = FindStreamed<TGL3DScene>(f, "Scene");
         return std::to_string(static_cast<int>(s.ObjectsSorting())) +
                std::to_string(static_cast<int>(s.VisibilityCulling()));
       },
       {"ObjectsSorting", "VisibilityCulling"},
       {{"VisibilityCulling", {2, 4}}}},
      {"base object",
       [](TStreamForm& f) {
         AddScene(f);
         AddObject<TGLBaseSceneObject>(f, "Node");
       },
       [](TStreamForm& f) { ChangeBase(FindStreamed<TGLBaseSceneObject>(f, "Node")); },
       [](TStreamForm& f) { return BaseText(FindStreamed<TGLBaseSceneObject>(f, "Node")); },
       {"ObjectsSorting", "VisibilityCulling", "ShowAxes", "Visible"},
       {{"TagFloat", kNaN}},
       {},
       {"Scene", "Node.BehavioursData", "Node.EffectsData"}},
      {"camera",
       [](TStreamForm& f) {
         AddScene(f);
         AddObject<TGLCamera>(f, "Camera");
         AddObject<TGLBaseSceneObject>(f, "Target");
       },
       [](TStreamForm& f) {
         auto& c = FindStreamed<TGLCamera>(f, "Camera");
         c.SetFocalLength(123.0f);
         c.SetDepthOfView(77.0f);
         c.SetSceneScale(2.0f);
         c.SetNearPlaneBias(0.5f);
         c.SetCameraStyle(TGLCameraStyle::csOrthogonal);
         c.SetTargetObject(&FindStreamed<TGLBaseSceneObject>(f, "Target"));
         c.Position().SetPoint(0.0f, 5.0f, 9.0f);
         c.Direction().SetVector(0.0f, -1.0f, 0.0f);
         c.Up().SetVector(1.0f, 0.0f, 0.0f);
       },
       [](TStreamForm& f) {
         auto& c = FindStreamed<TGLCamera>(f, "Camera");
         std::ostringstream out;
         out << c.FocalLength() << " " << c.DepthOfView() << " " << c.SceneScale() << " " << c.NearPlaneBias() << " "
             << static_cast<int>(c.CameraStyle()) << " " << NameOf(c.TargetObject()) << " " << BaseText(c);
         return out.str();
       },
       {"SceneScale", "NearPlaneBias", "CameraStyle", "TargetObject"},
       {{"FocalLength", kNaN}, {"DepthOfView", Extended(0x8000000000000000u, 0x74FF)}},
       // A focal length not above 0 is taken as 1.
       {{"FocalLength", Extended(0xA000000000000000u, 0xC001),
         [](TStreamForm& f) { FindStreamed<TGLCamera>(f, "Camera").SetFocalLength(-5.0f); }}},
       {"Scene", "Target", "Camera.BehavioursData", "Camera.EffectsData"}},
      {"light",
       [](TStreamForm& f) {
         AddScene(f);
         AddObject<TGLLightSource>(f, "Light");
       },
       [](TStreamForm& f) {
         auto& l = FindStreamed<TGLLightSource>(f, "Light");
         l.Ambient().SetColor({0.1f, 0.2f, 0.3f, 1.0f});
         l.Diffuse().SetColor({0.5f, 0.5f, 0.0f, 0.5f});
         l.Specular().SetColor({1.0f, 0.0f, 1.0f, 1.0f});
         l.SetConstAttenuation(2.0f);
         l.SetLinearAttenuation(0.25f);
         l.SetQuadraticAttenuation(0.125f);
         l.SetLightStyle(TLightStyle::lsOmni);
         l.SetShining(false);
         l.SetSpotCutOff(45.0f);
         l.SpotDirection().SetVector(0.0f, -1.0f, 0.0f);
         l.SetSpotExponent(3.0f);
         l.Position().SetPoint(4.0f, 4.0f, 4.0f);
       },
       [](TStreamForm& f) {
         auto& l = FindStreamed<TGLLightSource>(f, "Light");
         std::ostringstream out;
         out << VectorText(l.Ambient().Color()) << VectorText(l.Diffuse().Color()) << VectorText(l.Specular().Color()) << " "
             << l.ConstAttenuation() << " " << l.LinearAttenuation() << " " << l.QuadraticAttenuation() << " "
             << static_cast<int>(l.LightStyle()) << l.Shining() << " " << l.SpotCutOff() << " "
             << VectorText(l.SpotDirection().AsVector()) << " " << l.SpotExponent() << " " << VectorText(l.Position().AsVector());
         return out.str();
       },
       {"LightStyle", "Shining"},
       {{"Ambient.Color", {10, 16, 0, 0, 0, 0, 0, 0xC0, 0x7F}}},  // a colour that is no colour
       // A cut-off the light ignores: it keeps its default.
       {{"SpotCutOff", k120, [](TStreamForm& f) { FindStreamed<TGLLightSource>(f, "Light").SetSpotCutOff(180.0f); }}},
       {"Scene", "Light.BehavioursData", "Light.EffectsData"}},
      {"proxy",
       [](TStreamForm& f) {
         AddScene(f);
         AddObject<TGLProxyObject>(f, "Proxy");
         AddObject<TGLBaseSceneObject>(f, "Master");
       },
       [](TStreamForm& f) {
         auto& p = FindStreamed<TGLProxyObject>(f, "Proxy");
         p.SetMasterObject(&FindStreamed<TGLBaseSceneObject>(f, "Master"));
         p.SetProxyOptions({TGLProxyObjectOption::pooObjects});
         ChangeBase(p);
         p.SetVisibilityCulling(TGLVisibilityCulling::vcInherited);  // not published by a proxy
       },
       [](TStreamForm& f) {
         auto& p = FindStreamed<TGLProxyObject>(f, "Proxy");
         return NameOf(p.MasterObject()) + " " + std::to_string(p.ProxyOptions().Bits()) + " " + BaseText(p);
       },
       {"MasterObject", "ProxyOptions", "ObjectsSorting", "ShowAxes", "Visible"},
       {{"ProxyOptions", {2, 8}}},
       {},
       {"Scene", "Master", "Proxy.BehavioursData", "Proxy.EffectsData"}},
      {"direct OpenGL",
       [](TStreamForm& f) {
         AddScene(f);
         AddObject<TGLDirectOpenGL>(f, "Direct");
       },
       [](TStreamForm& f) {
         auto& d = FindStreamed<TGLDirectOpenGL>(f, "Direct");
         d.SetUseBuildList(true);
         d.SetBlend(true);
         d.Hint = "drawn by hand";
       },
       [](TStreamForm& f) {
         auto& d = FindStreamed<TGLDirectOpenGL>(f, "Direct");
         return std::to_string(d.UseBuildList()) + std::to_string(d.Blend()) + d.Hint + " " + BaseText(d);
       },
       {"UseBuildList", "Blend", "Hint"},
       {},
       {},
       Joined(NodePropertiesOf("Direct"), {"Scene"})},
      {"solid object",
       [](TStreamForm& f) {
         AddScene(f);
         AddObject<TGL3DSceneObject>(f, "Solid");
       },
       [](TStreamForm& f) { FindStreamed<TGL3DSceneObject>(f, "Solid").Hint = "a solid"; },
       [](TStreamForm& f) { return FindStreamed<TGL3DSceneObject>(f, "Solid").Hint; },
       {"Hint"},
       {},
       {},
       Joined(NodePropertiesOf("Solid"), {"Scene", "Solid.Material"})},  // the material's own table
  };
  return cases;
}

class PublishedProperties : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterCustomSceneObjectClasses();
    RegisterSceneClasses();
  }
};

QIRA_PUBLISHED_PROPERTY_TESTS(PublishedProperties, Cases)

TEST_F(PublishedProperties, ACameraComesBackWithItsFocalLengthAndDepthOfView) {
  TGL3DScene scene;
  auto& camera = scene.Objects().AddNewChild<TGLCamera>();
  camera.SetFocalLength(123.0f);
  camera.SetDepthOfView(77.0f);
  TGL3DScene copy;
  ReadComponentFromBytes(copy, WriteComponentToBytes(scene));
  const auto& read = dynamic_cast<const TGLCamera&>(*copy.Objects().Children(0));
  EXPECT_EQ(read.FocalLength(), 123.0f);
  EXPECT_EQ(read.DepthOfView(), 77.0f);
}

TEST_F(PublishedProperties, EachClassStoresOnlyTheNodePropertiesItPublishes) {
  const std::vector<std::string> all = {"ObjectsSorting",      "VisibilityCulling", "Direction.Coordinates",
                                        "PitchAngle",          "Position.Coordinates", "RollAngle",
                                        "Scale.Coordinates",   "ShowAxes",          "TurnAngle",
                                        "Up.Coordinates",      "Visible",           "TagFloat"};
  struct TCase {
    const char* name;
    TGLBaseSceneObject& (*add)(TGL3DScene& scene);
    std::vector<std::string> published;
  };
  const TCase cases[] = {
      {"camera", [](TGL3DScene& s) -> TGLBaseSceneObject& { return s.Objects().AddNewChild<TGLCamera>(); },
       {"Direction.Coordinates", "Position.Coordinates", "Up.Coordinates"}},
      {"light", [](TGL3DScene& s) -> TGLBaseSceneObject& { return s.Objects().AddNewChild<TGLLightSource>(); },
       {"Position.Coordinates"}},
      {"proxy", [](TGL3DScene& s) -> TGLBaseSceneObject& { return s.Objects().AddNewChild<TGLProxyObject>(); },
       {"ObjectsSorting", "Direction.Coordinates", "PitchAngle", "Position.Coordinates", "RollAngle",
        "Scale.Coordinates", "ShowAxes", "TurnAngle", "Up.Coordinates", "Visible", "TagFloat"}},
      {"direct OpenGL",
       [](TGL3DScene& s) -> TGLBaseSceneObject& { return s.Objects().AddNewChild<TGLDirectOpenGL>(); }, all},
  };
  for (const TCase& c : cases) {
    TGL3DScene scene;
    ChangeBase(c.add(scene));
    const TBytes bytes = WriteComponentToBytes(scene);
    for (const std::string& name : all) {
      const bool published = std::find(c.published.begin(), c.published.end(), name) != c.published.end();
      EXPECT_EQ(BytesHold(bytes, name), published) << c.name << ": " << name;
    }
  }
}

TEST_F(PublishedProperties, ANodePropertyTheClassDoesNotPublishIsRefused) {
  // A proxy's stream read as a light (the class names are as long): the
  // proxy's direction, which a light does not publish, is refused.
  TGL3DScene scene;
  scene.Objects().AddNewChild<TGLProxyObject>();
  TBytes bytes = WriteComponentToBytes(scene);
  const std::string proxy = "TGLProxyObject";
  const std::string light = "TGLLightSource";
  std::copy(light.begin(), light.end(), std::search(bytes.begin(), bytes.end(), proxy.begin(), proxy.end()));
  TGL3DScene copy;
  try {
    ReadComponentFromBytes(copy, bytes);
    ADD_FAILURE() << "no exception";
  } catch (const EReadError& e) {
    EXPECT_STREQ(e.what(), "Property Direction.Coordinates does not exist");
  }
  EXPECT_EQ(copy.Objects().ChildCount(), 0);
}

}  // namespace
}  // namespace qira

#pragma once
// What the tests of the axis cross, spheres and label objects share: the view's
// scene nodes (AxisCube with ModelCube inside) and the context that points at them,
// with or without a headless render buffer; the bitmap font of a view; and the
// records written by tests/fixtures/make_graphics.py and make_polyline.py, read back
// with the graphics and polyline kinds registered.
#include <gtest/gtest.h>

#include <QImage>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/GraphPolyline.h"
#include "model/GraphRecord.h"
#include "model/GraphicsKinds.h"
#include "model/SceneContext.h"
#include "platform/BinaryStream.h"
#include "platform/CanvasFont.h"
#include "platform/Rounding.h"
#include "scene/objects/DummyPlaneSprite.h"
#include "scene/materials/Materials.h"
#include "scene/graph/Scene.h"
#include "support/SceneRenderSupport.h"
#include "scene/objects/WindowsBitmapFont.h"
#include "support/GeneratedFixtures.h"
#include "support/MissingPeer.h"
#include "support/TestApplication.h"

namespace qira::graphics_testing {

inline std::vector<uint8_t> Fixture(const char* generator, const std::string& name) {
  const std::string bytes = TGeneratedFixtures::Of(generator).Bytes(name);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}
inline std::vector<uint8_t> GraphicsFixture(const std::string& name) { return Fixture("make_graphics.py", name); }
inline std::vector<uint8_t> PolylineFixture(const std::string& name) { return Fixture("make_polyline.py", name); }

inline void RegisterKinds() {
  RegisterGraphicsKinds();
  RegisterPolylineKinds();
}

inline std::vector<uint8_t> Saved(TGraphMain& object) {
  TMemoryStream s;
  EXPECT_TRUE(object.SaveToStream(s));
  return s.Data();
}

// Reads one record through the type-id factory; the whole stream must be used.
inline std::unique_ptr<TGraphMain> ReadBack(const std::vector<uint8_t>& bytes) {
  RegisterKinds();
  TMemoryStream s(bytes);
  std::unique_ptr<TGraphMain> object = CreateGraphObject(s);
  EXPECT_EQ(s.Position(), s.Size());
  return object;
}

// Reads a whole tree (a root group and its children) from a fixture of `source`.
inline TGraphLoadResult ReadTree(const std::string& fixture, TGraphMain& root,
                                 std::vector<uint8_t> (*source)(const std::string&) = GraphicsFixture) {
  RegisterKinds();
  TMemoryStream s(source(fixture));
  return LoadGraphTree(s, root);
}

// A font as the view makes it (white), from the pinned face. Its -40 pixels rather
// than the view's -60: the pinned face is wider than the view's and would not fit
// the largest glyph texture at -60.
inline std::unique_ptr<TGLWindowsBitmapFont> ViewFont() {
  EnsureTestApplication();
  auto font = std::make_unique<TGLWindowsBitmapFont>();
  TFont f;
  f.Name = PinnedFontFace();
  f.Height = -40;
  f.Color = clWhite;
  font->SetFont(f);
  return font;
}

// AxisCube (under the scene's root) with ModelCube inside it, and the context.
inline void AddViewCubes(TGL3DScene& scene, TSceneContext& context) {
  context.AxisCube = &scene.Objects().AddNewChild<TGLDummyCube>();
  context.ModelCube = &context.AxisCube->AddNewChild<TGLDummyCube>();
}

// A view's scene without rendering; the engine's materials are registered.
struct TViewScene {
  TViewScene() {
    RegisterMaterialClasses();
    scene = std::make_unique<TGL3DScene>();
    AddViewCubes(*scene, context);
  }
  std::unique_ptr<TGL3DScene> scene;
  TSceneContext context;
};

// The view's scene rendered headless into a kSize square, unlit (nodes show in
// their diffuse colour) on blue, seen from the camera at (0, 0, 30) down -z.
class TRenderedViewTest : public ::testing::Test {
 protected:
  static constexpr int kSize = 96;
  // Pixels per unit of the z = 0 plane for that camera (whatever the view's size).
  static constexpr float kPixelsPerUnit = 50.0f * 2.0f * 96.0f / (25.4f * 30.0f);

  void SetUp() override {
    RegisterMaterialClasses();
    try {
      view_ = std::make_unique<testing::TRenderedScene>(kSize, kSize);
    } catch (const std::exception& error) {
      QIRA_SKIP_OR_FAIL_IN_CI("no headless OpenGL: " << error.what());
    }
    view_->quad->SetVisible(false);
    view_->buffer->SetLighting(false);
    AddViewCubes(*view_->scene, context_);
  }
  void TearDown() override { view_.reset(); }

  void Render() { view_->buffer->Render(); }
  // The pixel at (x, y) of the z = 0 plane.
  std::array<int, 3> At(float x, float y) const {
    return view_->Pixel(FloorToInt(kSize / 2.0f + x * kPixelsPerUnit),
                        FloorToInt(kSize / 2.0f + y * kPixelsPerUnit));
  }
  bool Shows(float x, float y, const std::array<int, 3>& rgb) const { return NearRgb(At(x, y), rgb, 8); }
  bool Background(float x, float y) const { return Shows(x, y, testing::kBlueRgb); }

  std::unique_ptr<testing::TRenderedScene> view_;
  TSceneContext context_;
};

}  // namespace qira::graphics_testing

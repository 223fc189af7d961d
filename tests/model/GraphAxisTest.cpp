// The axis cross: its defaults, the nodes it builds in the AxisCube frame, label
// and opacity handling, its stored chunk against an independent generator, the
// older layout, editing, and one headless render.
#include "model/GraphAxis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "model/GraphicsSceneSupport.h"
#include "platform/BinaryStream.h"
#include "scene/objects/BasicSolids.h"
#include "scene/materials/Materials.h"
#include "scene/objects/BitmapFonts.h"
#include "scene/objects/Quadrics.h"

namespace qira {
namespace {

using graphics_testing::GraphicsFixture;
using graphics_testing::ReadBack;
using graphics_testing::ReadTree;
using graphics_testing::Saved;
using graphics_testing::TViewScene;

void ExpectPoint(const TGLBaseSceneObject& node, float x, float y, float z) {
  EXPECT_FLOAT_EQ(node.Position().X(), x);
  EXPECT_FLOAT_EQ(node.Position().Y(), y);
  EXPECT_FLOAT_EQ(node.Position().Z(), z);
}

TGLMaterial& Mat(const TGLCustomSceneObject& node) { return dynamic_cast<TGLMaterial&>(node.Material()); }

std::vector<TGLCustomSceneObject*> SevenParts(const TGraphAxis& a) {
  return {a.ArrowE.get(), a.ArrowN.get(), a.ArrowZ.get(), a.LabelE.get(),
          a.LabelN.get(), a.LabelZ.get(), a.OriginSphere.get()};
}

// ---- Building -----------------------------------------------------------------------

TEST(GraphAxis, DefaultCrossHasArrowsOf200WithHeads8LongAndCaptionsAt208) {
  TViewScene view;
  auto font = graphics_testing::ViewFont();
  view.context.BitmapFont = font.get();
  TGraphAxis axis;
  EXPECT_EQ(axis.Name(), "Axis");
  axis.SetContext(&view.context);
  axis.Build(false);

  // All seven in the AxisCube frame, in the order of creation; none in ModelCube.
  TGLDummyCube& cube = *view.context.AxisCube;
  ASSERT_EQ(cube.ChildCount(), 8);  // ModelCube first
  const std::vector<TGLCustomSceneObject*> parts = SevenParts(axis);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(cube.Children(i + 1), parts[i]) << i;
  EXPECT_EQ(view.context.ModelCube->ChildCount(), 0);

  for (TGLArrowLine* arrow : {axis.ArrowE.get(), axis.ArrowN.get(), axis.ArrowZ.get()}) {
    EXPECT_FLOAT_EQ(arrow->Height(), 200.0f);
    EXPECT_FLOAT_EQ(arrow->TopRadius(), 0.5f);
    EXPECT_FLOAT_EQ(arrow->TopArrowHeadHeight(), 8.0f);
    EXPECT_FLOAT_EQ(arrow->TopArrowHeadRadius(), 1.5f);
    EXPECT_EQ(Mat(*arrow).FrontProperties().Diffuse().GetAsWinColor(), MakeColor(0, 255, 255));
  }
  ExpectPoint(*axis.ArrowZ, 0, 100, 0);
  ExpectPoint(*axis.ArrowE, 0, 0, 100);
  ExpectPoint(*axis.ArrowN, 100, 0, 0);
  // Each arrow's own Z (its line) runs along its axis.
  EXPECT_FLOAT_EQ(axis.ArrowZ->Direction().Y(), 1.0f);
  EXPECT_FLOAT_EQ(axis.ArrowE->Direction().Z(), 1.0f);
  EXPECT_FLOAT_EQ(axis.ArrowN->Direction().X(), 1.0f);

  ExpectPoint(*axis.LabelZ, 0, 208, 0);
  ExpectPoint(*axis.LabelE, 0, 0, 208);
  ExpectPoint(*axis.LabelN, 208, 0, 0);
  EXPECT_EQ(axis.LabelN->Text(), "N");
  EXPECT_EQ(axis.LabelZ->Layout(), TTextLayout::tlBottom);
  EXPECT_EQ(axis.LabelE->Layout(), TTextLayout::tlTop);
  EXPECT_EQ(axis.LabelE->BitmapFont(), font.get());
  EXPECT_FLOAT_EQ(axis.LabelE->Scale().X(), 0.25f);
  EXPECT_FLOAT_EQ(axis.OriginSphere->Radius(), 0.5f);
  for (TGLCustomSceneObject* part : parts) EXPECT_FALSE(part->Blended());
}

TEST(GraphAxis, OriginMovesTheCrossWithItsSecondValueUp) {
  TViewScene view;
  TGraphAxis axis;
  axis.SetContext(&view.context);
  axis.AxisLength = 10;
  axis.AxisWidth = 2;
  axis.LabelSize = 4;
  axis.Origin = {1, 2, 3};
  axis.Build(false);
  ExpectPoint(*axis.ArrowZ, 1, 7, 3);
  ExpectPoint(*axis.ArrowE, 1, 2, 8);
  ExpectPoint(*axis.ArrowN, 6, 2, 3);
  ExpectPoint(*axis.LabelZ, 1, 28, 3);  // 2 + 10 + 8 * 2
  ExpectPoint(*axis.LabelE, 1, 2, 29);
  ExpectPoint(*axis.LabelN, 27, 2, 3);
  ExpectPoint(*axis.OriginSphere, 1, 2, 3);
  EXPECT_FLOAT_EQ(axis.LabelN->Scale().Y(), 1.0f);
  EXPECT_FLOAT_EQ(axis.ArrowN->TopArrowHeadHeight(), 16.0f);
}

TEST(GraphAxis, RebuildingKeepsItsSevenNodesAndClearOrAFreedSceneLetsThemGo) {
  TViewScene view;
  TGraphAxis axis;
  axis.SetContext(&view.context);
  axis.Build(false);
  TGLArrowLine* first = axis.ArrowN.get();
  axis.AxisLength = 50;
  axis.Build(false);
  EXPECT_EQ(axis.ArrowN.get(), first);
  EXPECT_EQ(view.context.AxisCube->ChildCount(), 8);
  axis.Clear();
  EXPECT_FALSE(axis.ArrowN);
  EXPECT_EQ(view.context.AxisCube->ChildCount(), 1);

  auto freed = std::make_unique<TViewScene>();
  TGraphAxis other;
  other.SetContext(&freed->context);
  other.Build(false);
  freed.reset();
  EXPECT_FALSE(other.ArrowE);
  other.Clear();  // and nothing is freed twice
}

// ---- Visibility and opacity ---------------------------------------------------------

TEST(GraphAxis, AHiddenParentHidesAllSevenPartsAndClearedLabelsOnlyTheCaptions) {
  TViewScene view;
  TGraphMain group;
  group.SetContext(&view.context);
  auto* axis = static_cast<TGraphAxis*>(group.AddChild(std::make_unique<TGraphAxis>(), false));
  group.Build(true);
  ASSERT_TRUE(axis->ArrowE);
  group.SetVisible(false);
  for (TGLBaseSceneObject* part : SevenParts(*axis)) EXPECT_FALSE(part->Visible());
  group.SetVisible(true);
  axis->ShowLabels = false;
  axis->Build(false);
  const std::vector<TGLCustomSceneObject*> parts = SevenParts(*axis);
  for (size_t i = 0; i < parts.size(); ++i) EXPECT_EQ(parts[i]->Visible(), i < 3 || i == 6) << i;
}

TEST(GraphAxis, Opacity254MakesAllSevenPartsTransparentBlended) {
  TViewScene view;
  TGraphAxis axis;
  axis.SetContext(&view.context);
  axis.Transparency = 254;
  axis.Build(false);
  for (TGLCustomSceneObject* part : SevenParts(axis)) EXPECT_TRUE(part->Blended());
  const float alpha = 254.0f / 255.0f;
  EXPECT_FLOAT_EQ(Mat(*axis.ArrowE).FrontProperties().Diffuse().Alpha(), alpha);
  EXPECT_FLOAT_EQ(Mat(*axis.ArrowE).FrontProperties().Ambient().Alpha(), alpha);
  EXPECT_FLOAT_EQ(axis.LabelZ->ModulateColor().Alpha(), alpha);
  EXPECT_FLOAT_EQ(Mat(*axis.OriginSphere).FrontProperties().Diffuse().Alpha(), alpha);

  axis.ApplyTransparency(255);  // rebuilds
  for (TGLCustomSceneObject* part : SevenParts(axis)) EXPECT_FALSE(part->Blended());
  EXPECT_FLOAT_EQ(axis.LabelN->ModulateColor().Alpha(), 1.0f);
}

// ---- Editing ------------------------------------------------------------------------

TEST(GraphAxis, EditTakesTheDialogsFieldsAndOpacityAndRebuilds) {
  SetAxisEditor(nullptr);
  TViewScene view;
  TGraphAxis axis;
  EXPECT_FALSE(axis.Edit());
  axis.SetName("Mine");
  axis.SetContext(&view.context);
  axis.Build(false);
  std::string caption;
  SetAxisEditor([&](const std::string& c, TAxisFields& f, uint8_t& t) {
    caption = c;
    EXPECT_FLOAT_EQ(f.AxisLength, 200.0f);
    f.AxisLength = 300;
    f.ShowLabels = false;
    t = 100;
    return true;
  });
  EXPECT_TRUE(axis.Edit());
  EXPECT_EQ(caption, "Mine");
  EXPECT_EQ(axis.Transparency, 100);
  EXPECT_FLOAT_EQ(axis.ArrowN->Height(), 300.0f);
  EXPECT_FALSE(axis.LabelN->Visible());
  EXPECT_TRUE(axis.ArrowN->Blended());

  SetAxisEditor([](const std::string&, TAxisFields& f, uint8_t&) {
    f.AxisLength = 1;
    return false;
  });
  EXPECT_FALSE(axis.Edit());
  EXPECT_FLOAT_EQ(axis.AxisLength, 300.0f);
  SetAxisEditor(nullptr);
}

// ---- Stored record ------------------------------------------------------------------

TEST(GraphAxisRecord, DefaultAndCustomCrossesMatchTheIndependentLayoutAndReadBack) {
  TGraphAxis plain;
  EXPECT_EQ(Saved(plain), GraphicsFixture("axis_default.bin"));

  TGraphAxis custom;
  custom.SetName("Achse Ü");
  custom.Transparency = 200;
  custom.AxisLength = 150.5f;
  custom.AxisWidth = 2.25f;
  custom.ArrowColor = 0x123456;
  custom.ShowLabels = false;
  custom.LabelColor = 0x0000FF;
  custom.LabelSize = 1.5f;
  custom.Origin = {1.5, -2.0, 1e6};
  EXPECT_EQ(Saved(custom), GraphicsFixture("axis_custom.bin"));

  std::unique_ptr<TGraphMain> object = ReadBack(GraphicsFixture("axis_custom.bin"));
  auto* axis = dynamic_cast<TGraphAxis*>(object.get());
  ASSERT_NE(axis, nullptr);
  EXPECT_EQ(axis->Origin, (std::array<double, 3>{1.5, -2.0, 1e6}));
  EXPECT_EQ(Saved(*axis), GraphicsFixture("axis_custom.bin"));
}

TEST(GraphAxisRecord, NewerChunksAndTrailingBytesArePassedOverAndOverrunsAreDamage) {
  const struct {
    const char* file;
    TGraphLoadResult result;
    int children;
  } cases[] = {{"axis_newer.bin", TGraphLoadResult::Loaded, 1},
               {"axis_trailing.bin", TGraphLoadResult::Loaded, 2},
               {"axis_chunk_too_short.bin", TGraphLoadResult::Damaged, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    TGraphMain root;
    ASSERT_EQ(ReadTree(c.file, root), c.result);
    ASSERT_EQ(root.ChildCount(), c.children);
    if (c.children > 0) {
      EXPECT_EQ(root.GetChild(c.children - 1)->Name(), "after");
    }
  }
}

TEST(GraphAxisRecord, OldLayoutReadsVisibilityAndFieldsButNoOriginAndAShortOneChangesNothing) {
  TMemoryStream s(GraphicsFixture("axis_old_layout.bin"));
  TGraphAxis axis;
  axis.Origin = {5, 6, 7};
  ASSERT_TRUE(axis.LoadOldLayout(s));
  EXPECT_EQ(s.Position(), s.Size());
  EXPECT_FALSE(axis.Visible());
  EXPECT_FLOAT_EQ(axis.AxisLength, 150.5f);
  EXPECT_FLOAT_EQ(axis.AxisWidth, 2.25f);
  EXPECT_EQ(axis.ArrowColor, 0x123456u);
  EXPECT_FALSE(axis.ShowLabels);
  EXPECT_EQ(axis.LabelColor, 0x0000FFu);
  EXPECT_FLOAT_EQ(axis.LabelSize, 1.5f);
  EXPECT_EQ(axis.Origin, (std::array<double, 3>{5, 6, 7}));

  TMemoryStream shortStream(GraphicsFixture("axis_old_layout_short.bin"));
  TGraphAxis untouched;
  EXPECT_FALSE(untouched.LoadOldLayout(shortStream));
  EXPECT_EQ(shortStream.Position(), 0);
  EXPECT_TRUE(untouched.Visible());
  EXPECT_FLOAT_EQ(untouched.AxisLength, 200.0f);
}

// ---- Drawing ------------------------------------------------------------------------

class GraphAxisRenderGL : public graphics_testing::TRenderedViewTest {};

// Seen from +z: the "N" arrow runs right, the "Z" arrow up, the "E" arrow at the viewer.
TEST_F(GraphAxisRenderGL, ArrowsPointNorthAndUpFromTheCentre) {
  TGraphAxis axis;
  axis.SetContext(&context_);
  axis.AxisLength = 1.2f;
  axis.AxisWidth = 0.25f;
  axis.ArrowColor = MakeColor(255, 0, 0);
  axis.ShowLabels = false;
  axis.Build(false);
  Render();
  EXPECT_TRUE(Shows(0.6f, 0.0f, testing::kRedRgb));  // shaft of N
  EXPECT_TRUE(Shows(0.0f, 0.6f, testing::kRedRgb));  // shaft of Z
  EXPECT_TRUE(Shows(1.6f, 0.2f, testing::kRedRgb));  // head of N, wider than its shaft
  EXPECT_TRUE(Shows(0.0f, 0.0f, testing::kRedRgb));  // E and the sphere, end-on
  EXPECT_TRUE(Background(0.6f, 0.6f));
  EXPECT_TRUE(Background(-0.6f, 0.0f));
  EXPECT_TRUE(Background(0.0f, -0.6f));
  EXPECT_TRUE(Background(0.6f, 0.2f));  // beside the shaft
  EXPECT_TRUE(Background(3.5f, 0.0f));  // beyond the tip at 1.2 + 2
}

}  // namespace
}  // namespace qira

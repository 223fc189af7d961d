// The label object: defaults, the text node it builds under ModelCube, alignment,
// layout and opacity, turning to the camera, its stored chunk against an
// independent generator, editing, and one headless render.
#include "model/GraphLabel.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "model/GraphicsSceneSupport.h"
#include "platform/BinaryStream.h"
#include "scene/materials/Materials.h"
#include "scene/objects/BitmapFonts.h"

namespace qira {
namespace {

using graphics_testing::GraphicsFixture;
using graphics_testing::ReadBack;
using graphics_testing::ReadTree;
using graphics_testing::Saved;
using graphics_testing::TViewScene;

TGLMaterial& Mat(const TGLCustomSceneObject& node) { return dynamic_cast<TGLMaterial&>(node.Material()); }

const char* const kText = "Zeile 1\rÄrger – 5 €";

// ---- Defaults and building ----------------------------------------------------------

TEST(GraphLabel, NewLabelShowsTextInSilverAtTheOriginAtAQuarterOfTheFontSize) {
  TViewScene view;
  auto font = graphics_testing::ViewFont();
  view.context.BitmapFont = font.get();
  TGraphLabel label;
  EXPECT_EQ(label.TypeId, GraphTypeId::Label);
  EXPECT_EQ(label.Name(), "Label");
  label.SetContext(&view.context);
  label.Build(false);
  ASSERT_TRUE(label.TextNode);
  TGLFlatText& text = *label.TextNode;
  EXPECT_EQ(text.Parent(), view.context.ModelCube);
  EXPECT_EQ(text.Text(), "Text");
  EXPECT_EQ(text.BitmapFont(), font.get());
  EXPECT_EQ(text.ModulateColor().GetAsWinColor(), MakeColor(192, 192, 192));
  EXPECT_FLOAT_EQ(text.Scale().Y(), 0.25f);
  EXPECT_FALSE(text.Blended());
  label.SetVisible(false);
  EXPECT_FALSE(text.Visible());
  label.Clear();
  EXPECT_FALSE(label.TextNode);
  EXPECT_EQ(view.context.ModelCube->ChildCount(), 0);
}

TEST(GraphLabel, StoredAlignmentAndLayoutBytesChooseTheTextsPlacement) {
  struct Case {
    uint8_t alignment, layout;
    TAlignment wantAlignment;
    TTextLayout wantLayout;
  };
  const Case cases[] = {
      {0, 0, TAlignment::taLeftJustify, TTextLayout::tlTop},
      {1, 2, TAlignment::taRightJustify, TTextLayout::tlBottom},
      {2, 1, TAlignment::taCenter, TTextLayout::tlCenter},
      // Bytes no dialog writes: drawn as left and top, kept as stored.
      {3, 200, TAlignment::taLeftJustify, TTextLayout::tlTop},
  };
  TViewScene view;
  TGraphLabel label;
  label.SetContext(&view.context);
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.alignment));
    label.Params.Alignment = c.alignment;
    label.Params.Layout = c.layout;
    label.Build(false);
    EXPECT_EQ(label.TextNode->Alignment(), c.wantAlignment);
    EXPECT_EQ(label.TextNode->Layout(), c.wantLayout);
    EXPECT_EQ(label.Params.Alignment, c.alignment);
  }
  EXPECT_EQ(view.context.ModelCube->ChildCount(), 1);  // one node, rebuilt
}

TEST(GraphLabel, BelowFullOpacityTheTextAndItsMaterialTakeTheAlpha) {
  TViewScene view;
  TGraphLabel label;
  label.SetContext(&view.context);
  label.Transparency = 100;
  label.Build(false);
  EXPECT_FLOAT_EQ(label.TextNode->ModulateColor().Alpha(), 100.0f / 255.0f);
  EXPECT_FLOAT_EQ(Mat(*label.TextNode).FrontProperties().Diffuse().Alpha(), 100.0f / 255.0f);
  EXPECT_EQ(label.TextNode->ModulateColor().GetAsWinColor(), MakeColor(192, 192, 192));

  label.ApplyTransparency(255);
  EXPECT_FLOAT_EQ(label.TextNode->ModulateColor().Alpha(), 1.0f);
  EXPECT_EQ(Mat(*label.TextNode).BlendingMode(), TBlendingMode::bmOpaque);
}

TEST(GraphLabel, TextTurnsToFaceTheCamera) {
  TViewScene view;
  TGraphLabel label;
  label.SetContext(&view.context);
  label.Build(false);
  TGLDummyCube& camera = view.scene->Objects().AddNewChild<TGLDummyCube>();
  camera.Position().SetPoint(-1000, 0, 0);
  label.PointTo(&camera);
  EXPECT_NEAR(label.TextNode->Direction().X(), -1.0f, 1e-6);
  EXPECT_NEAR(label.TextNode->Up().Y(), 1.0f, 1e-6);
}

// ---- Editing ------------------------------------------------------------------------

TEST(GraphLabel, EditTakesTheDialogsParamsButNotTheBounds) {
  SetLabelEditor(nullptr);
  TGraphLabel label;
  EXPECT_FALSE(label.Edit());

  TViewScene view;
  label.SetContext(&view.context);
  label.Build(false);
  SetLabelEditor([](const std::string& caption, TLabelParams& p, uint8_t& t) {
    EXPECT_EQ(caption, "Label");
    p.Text = "neu";
    p.Position = {5, 6, 7};
    t = 50;
    return true;
  });
  ASSERT_TRUE(label.Edit());
  EXPECT_EQ(label.TextNode->Text(), "neu");
  EXPECT_EQ(label.Transparency, 50);
  EXPECT_EQ(label.BoundsMin, EmptyBoundsMin);
  SetLabelEditor(nullptr);
}

// ---- Stored record ------------------------------------------------------------------

TEST(GraphLabelRecord, MatchesTheIndependentLayoutAndReadsBack) {
  TGraphLabel label;
  label.SetName("Beschriftung");
  label.SetVisible(false);
  label.Params.Position = {10.5, -20.25, 300.0};
  label.Params.TextScale = 0.5f;
  label.Params.Color = 0xFF8040;
  label.Params.Alignment = 2;
  label.Params.Layout = 1;
  label.Params.Text = kText;
  EXPECT_EQ(Saved(label), GraphicsFixture("label.bin"));

  std::unique_ptr<TGraphMain> object = ReadBack(GraphicsFixture("label.bin"));
  auto* read = dynamic_cast<TGraphLabel*>(object.get());
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->Params.Text, kText);
  EXPECT_EQ(Saved(*read), GraphicsFixture("label.bin"));
}

TEST(GraphLabelRecord, ANewerChunkIsSkippedAndATextLongerThanTheStreamIsDamage) {
  TGraphMain newer;
  ASSERT_EQ(ReadTree("label_newer.bin", newer), TGraphLoadResult::Loaded);
  ASSERT_EQ(newer.ChildCount(), 1);
  EXPECT_EQ(newer.GetChild(0)->Name(), "after");
  TGraphMain root;
  RegisterGraphicsKinds();
  TMemoryStream s(GraphicsFixture("label_text_huge.bin"));
  EXPECT_EQ(LoadGraphTree(s, root), TGraphLoadResult::Damaged);
}

// ---- Drawing ------------------------------------------------------------------------

class GraphLabelRenderGL : public graphics_testing::TRenderedViewTest {
 protected:
  // Pixels of the frame in the label colour (green), by quadrant around the view's centre.
  std::array<int, 4> GreenByQuadrant() const {
    std::array<int, 4> count{};  // right-below, right-above, left-below, left-above
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x) {
        const auto p = view_->Pixel(x, y);
        if (p[1] > 100 && p[0] < 80) ++count[(x < kSize / 2 ? 2 : 0) + (y >= kSize / 2 ? 1 : 0)];
      }
    return count;
  }
};

// Left and top: the text hangs right of and below its point once turned to the camera.
TEST_F(GraphLabelRenderGL, TextHangsFromItsPointTowardsTheCamera) {
  auto font = graphics_testing::ViewFont();
  context_.BitmapFont = font.get();
  context_.ModelOffset = {100, 300, 200};
  TGraphLabel label;
  label.SetContext(&context_);
  label.Params.Position = {100, 200, 300};  // the scene's origin
  label.Params.Color = MakeColor(0, 255, 0);
  label.Params.TextScale = 0.1f;
  label.Params.Text = "HH";
  label.Build(false);
  label.PointTo(view_->camera);
  Render();
  const auto count = GreenByQuadrant();
  EXPECT_GT(count[0], 20);
  EXPECT_EQ(count[1], 0);
  EXPECT_EQ(count[2], 0);
  EXPECT_EQ(count[3], 0);

  label.Params.Text = "";  // draws nothing, stays built
  label.Build(false);
  Render();
  EXPECT_EQ(GreenByQuadrant()[0], 0);
  EXPECT_TRUE(label.TextNode);
}

}  // namespace
}  // namespace qira

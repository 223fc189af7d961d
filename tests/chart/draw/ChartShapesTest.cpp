#include "chart/draw/ChartShapes.h"

#include <gtest/gtest.h>

#include "support/TestApplication.h"

namespace qira {
namespace {

// A white panel drawn unbuffered onto its control canvas, ready for a shape.
struct ShapeSurface {
  TCustomChartPanelExtended panel;
  ShapeSurface() {
    panel.resize(80, 60);
    panel.ChartCanvas().SetUseBuffer(false);
    TCanvas& control = panel.ControlCanvas().Canvas();
    control.SetBrush(TBrush{clWhite, bsSolid});
    control.FillRect(TRect{0, 0, 80, 60});
    panel.ChartCanvas().InitWindow(control, nullptr, TRect{0, 0, 80, 60}, false);
    panel.ChartCanvas().ResetState();
  }
  TColor At(int32_t x, int32_t y) { return panel.ControlCanvas().Pixel(x, y); }
};

TEST(ChartShapes, RotatedCornersTurnAboutTheCentre) {
  const auto p = TChartCustomShape::RectRotatedPoints(TRect{0, 0, 20, 10}, 90);  // 21 × 11 box
  const TRect bounds = PolygonBounds(p);
  EXPECT_EQ(bounds.Right - bounds.Left + 1, 11);
  EXPECT_EQ(bounds.Bottom - bounds.Top + 1, 21);
  EXPECT_EQ(p[0], (TPoint{5, 15}));
  const auto far = TChartCustomShape::RectRotatedPoints(TRect{-2000000000, -2000000000, 2000000000, 2000000000}, 0);
  EXPECT_EQ(far[2], (TPoint{kChartCoordLimit, kChartCoordLimit}));
}

TEST(ChartShapes, TransparentShapeDrawsNothingNotEvenItsShadow) {
  EnsureTestApplication();
  ShapeSurface s;
  TChartShape shape(&s.panel);
  shape.ShapeBounds = TRect{10, 10, 40, 30};
  shape.SetColor(clRed);
  shape.SetTransparent(true);
  shape.Draw();
  for (int32_t y = 0; y < 60; ++y)
    for (int32_t x = 0; x < 80; ++x) ASSERT_EQ(s.At(x, y), clWhite);
}

TEST(ChartShapes, FillsWithItsColourAndDropsItsShadow) {
  EnsureTestApplication();
  ShapeSurface s;
  TChartShape shape(&s.panel);
  shape.ShapeBounds = TRect{10, 10, 40, 30};
  shape.SetColor(clRed);
  shape.Brush().SetColor(clRed);
  shape.Shadow().SetSmooth(false);
  shape.Draw();
  EXPECT_EQ(s.At(20, 20), clRed);
  EXPECT_EQ(s.At(10, 10), clBlack);  // the frame pen
  EXPECT_EQ(s.At(41, 31), clBlack);  // the shadow, 3 pixels down-right
  EXPECT_EQ(s.At(5, 5), clWhite);
}

TEST(ChartShapes, AClearBrushDrawsNeitherFillNorShadow) {
  EnsureTestApplication();
  ShapeSurface s;
  TChartShape shape(&s.panel);
  shape.ShapeBounds = TRect{10, 10, 40, 30};
  shape.Brush().SetStyle(bsClear);
  shape.Draw();
  EXPECT_EQ(s.At(20, 20), clWhite);
  EXPECT_EQ(s.At(41, 31), clWhite);
  EXPECT_EQ(s.At(10, 10), clBlack);
}

TEST(ChartShapes, AGradientFillsTheBoxInsteadOfTheColour) {
  EnsureTestApplication();
  InstallChartFills();
  ShapeSurface s;
  TChartShape shape(&s.panel);
  shape.ShapeBounds = TRect{10, 10, 40, 30};
  shape.Shadow().SetVisible(false);
  shape.Gradient().SetVisible(true);
  shape.Gradient().SetStartColor(clLime);
  shape.Gradient().SetEndColor(clLime);
  shape.Draw();
  EXPECT_EQ(s.At(20, 20), clLime);
}

TEST(ChartShapes, ABevelIsDrawnOnlyAtAngleZero) {
  EnsureTestApplication();
  ShapeSurface flat, turned;
  for (ShapeSurface* s : {&flat, &turned}) {
    TChartShape shape(&s->panel);
    shape.Shadow().SetVisible(false);
    shape.Pen().SetVisible(false);
    shape.SetBevel(bvLowered);
    shape.Brush().SetColor(clRed);
    shape.SetColor(clRed);
    shape.DrawRectRotated(TRect{10, 10, 50, 40}, s == &flat ? 0 : 180, 0);
  }
  EXPECT_NE(flat.At(10, 20), clRed);  // the bevel's edge
  EXPECT_EQ(turned.At(11, 20), clRed);
}

TEST(ChartShapes, StreamsTransparentOnlyWhenItDiffersAndReadsOldShadowProperties) {
  TChartShape shape(nullptr);
  TStreamedProperties block;
  shape.WriteProperties(block);
  EXPECT_EQ(FindProperty(block, "Transparent"), nullptr);
  shape.SetTransparent(true);
  block.clear();
  shape.WriteProperties(block);
  EXPECT_NE(FindProperty(block, "Transparent"), nullptr);

  TStreamedProperties old;
  AddIdent(old, "ShadowColor", "clRed");
  AddInteger(old, "ShadowSize", 7);
  TChartShape read(nullptr);
  read.ReadProperties(old);
  EXPECT_EQ(read.Shadow().Color(), clRed);
  EXPECT_EQ(read.Shadow().HorizSize(), 7);
  EXPECT_EQ(read.Shadow().VertSize(), 7);

  TChartShape copy(nullptr);
  copy.Assign(read);
  EXPECT_EQ(copy.Shadow().Color(), clRed);
  copy.SetShadow(nullptr);
  EXPECT_EQ(copy.ShadowIfAny(), nullptr);
}

}  // namespace
}  // namespace qira

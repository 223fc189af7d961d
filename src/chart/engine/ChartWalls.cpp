#include "chart/engine/ChartWalls.h"

#include <cstdlib>
#include <vector>

#include "platform/Rounding.h"

namespace qira {

// ============================================================ [SECTION] Walls

TCustomChartWall::TCustomChartWall(TCustomAxisPanel* chart, TColor defaultColor)
    : TChartCustomShape(chart), defaultColor_(defaultColor) {
  SetColor(defaultColor);
}

void TCustomChartWall::Assign(const TCustomChartWall& source) {
  autoHide_ = source.autoHide_;
  dark3D_ = source.dark3D_;
  endPosition_ = source.endPosition_;
  size_ = source.size_;
  startPosition_ = source.startPosition_;
  TChartCustomShape::Assign(source);
}

void TCustomChartWall::WriteProperties(TStreamedProperties& block) const {
  TChartCustomShape::WriteProperties(block);
  std::erase_if(block, [](const TStreamedProperty& p) { return p.Name == "Color" || p.Name == "Visible"; });
  // The right wall starts hidden, so its Visible is judged against that.
  const bool defaultVisible = dynamic_cast<const TChartRightWall*>(this) == nullptr;
  if (Visible() != defaultVisible) AddBoolean(block, "Visible", Visible());
  if (autoHide_) AddBoolean(block, "AutoHide", true);
  if (ColorStored()) AddInteger(block, "Color", Color());
  if (!dark3D_) AddBoolean(block, "Dark3D", false);
  if (endPosition_ != 100) AddInteger(block, "EndPosition", endPosition_);
  if (size_ != 0) AddInteger(block, "Size", size_);
  if (startPosition_ != 0) AddInteger(block, "StartPosition", startPosition_);
}

void TCustomChartWall::ReadProperties(const TStreamedProperties& block) {
  const bool autoHide = PropertyBoolean(block, "AutoHide", autoHide_);
  const bool dark3D = PropertyBoolean(block, "Dark3D", dark3D_);
  const int32_t endPosition = PropertyInt32(block, "EndPosition", endPosition_);
  const int32_t size = PropertyInt32(block, "Size", size_);
  const int32_t startPosition = PropertyInt32(block, "StartPosition", startPosition_);
  TChartCustomShape::ReadProperties(block);
  autoHide_ = autoHide;
  dark3D_ = dark3D;
  endPosition_ = endPosition;
  size_ = size;
  startPosition_ = startPosition;
}

void TCustomChartWall::WallVerticalRange(int32_t& top, int32_t& bottom) const {
  const TCustomAxisPanel* chart = Chart();
  if (chart == nullptr) {
    top = bottom = 0;
    return;
  }
  const TRect r = chart->ChartRect();
  bottom = r.Bottom + chart->WallThicknessFor(chart->BottomAxis());
  if (endPosition_ != 100) bottom -= RoundToInt((bottom - r.Top) * (100.0 - endPosition_) * 0.01);
  top = r.Top;
  if (startPosition_ != 0) top += RoundToInt((r.Bottom - top) * startPosition_ * 0.01);
}

bool TCustomChartWall::WallShouldDraw() const {
  return Chart() != nullptr && Chart()->View3DWalls() && Visible() && !autoHide_;
}

bool TCustomChartWall::WallDark3D() const {
  return Brush().Style() != bsClear && !Brush().HasImageGraphic() && dark3D_;
}

void TCustomChartWall::PrepareCanvas(TChartCanvas3D& canvas) {
  canvas.AssignPen(Pen());
  if (Transparent()) {
    if (TCanvas* dc = canvas.GetHandle()) dc->SetBrushStyle(bsClear);
  } else {
    Chart()->ApplyBrush(Brush(), Color(), Brush().Color() == clChartDefault ? Color() : Brush().Color());
  }
}

std::unique_ptr<IChartBlend> TCustomChartWall::SideWallPlane(TChartCanvas3D& canvas, int32_t x, int32_t top,
                                                             int32_t bottom, int32_t depth) {
  std::unique_ptr<IChartBlend> blend;
  const bool gradient = GradientIfAny() != nullptr && GradientIfAny()->Visible();
  if (Transparent() || (Transparency() <= 0 && !gradient)) return blend;
  const TFourPoints p{canvas.Calculate3DPosition(x, top, 0), canvas.Calculate3DPosition(x, top, depth),
                      canvas.Calculate3DPosition(x, bottom, depth), canvas.Calculate3DPosition(x, bottom, 0)};
  if (Transparency() > 0) blend = canvas.BeginBlending(PolygonBounds(p), Transparency());
  if (gradient) {
    Gradient().FillFourPoints(canvas, p);
    if (TCanvas* dc = canvas.GetHandle()) dc->SetBrushStyle(bsClear);
  }
  return blend;
}

void TCustomChartWall::DrawPictureInRect3D(TChartCanvas3D& canvas, const TRect& rect, int32_t depth, int32_t mode) {
  const TBackImage* picture = PictureIfAny();
  if (picture == nullptr || picture->Empty()) return;
  // The wall shows its picture through the picture's filters, as the back wall does.
  const QImage image = picture->Filtered();
  if (image.isNull() || image.width() < 1 || image.height() < 1) return;
  TBitmapGraphic graphic(image);
  graphic.SetTransparent(picture->Graphic()->Transparent());
  canvas.DrawGraphicInRect3D(rect, graphic, depth, mode);
}

void TCustomChartWall::DrawSidePicture(TChartCanvas3D& canvas, int32_t x, int32_t top, int32_t bottom,
                                       int32_t depth) {
  DrawPictureInRect3D(canvas, {0, top, depth, bottom}, x, 0);
}

TChartBackWall::TChartBackWall(TCustomAxisPanel* chart) : TCustomChartWall(chart, clSilver) {
  SetDefaultTransparent(true);
  Shadow().SetDefaults(clGray, 3);
  Shadow().SetVisible(false);
}

TChartRightWall::TChartRightWall(TCustomAxisPanel* chart) : TCustomChartWall(chart, clSilver) {
  SetVisible(false);
}

void TCustomChartWall::DrawSideWall(int32_t x, int32_t cubeLeft, int32_t cubeRight, int32_t cubeDepth,
                                    int32_t flatDepth) {
  TCustomAxisPanel* chart = Chart();
  if (chart == nullptr) return;
  TChartCanvas3D& canvas = chart->ChartCanvas();
  const int32_t d = chart->DepthWidth;
  int32_t top = 0, bottom = 0;
  WallVerticalRange(top, bottom);
  PrepareCanvas(canvas);
  std::unique_ptr<IChartBlend> blend = SideWallPlane(canvas, x, top, bottom, d);
  if (Size() >= 1)
    canvas.Cube(cubeLeft, cubeRight, top, bottom, 0, cubeDepth, WallDark3D());
  else
    canvas.RectangleZ(x, top, bottom, 0, flatDepth);
  DrawSidePicture(canvas, x, top, bottom, d);
  if (blend) canvas.EndBlending(std::move(blend));
}

void TChartLeftWall::DrawWall() {
  if (Chart() == nullptr) return;
  const int32_t x = Chart()->ChartRect().Left, d = Chart()->DepthWidth;
  DrawSideWall(x, x - Size(), x, d, d);
}

void TChartRightWall::DrawWall() {
  if (Chart() == nullptr) return;
  const int32_t x = Chart()->ChartRect().Right, d = Chart()->DepthWidth;
  const int32_t back = BackWall != nullptr && BackWall->Visible() ? BackWall->Size() : 0;
  DrawSideWall(x, x, x + Size(), d + back, d + 1);
}

void TChartBottomWall::DrawWall() {
  TCustomAxisPanel* chart = Chart();
  if (chart == nullptr) return;
  TChartCanvas3D& canvas = chart->ChartCanvas();
  const TRect r = chart->ChartRect();
  const int32_t d = chart->DepthWidth;
  PrepareCanvas(canvas);
  const int32_t y = r.Bottom + (canvas.SupportsFullRotation() ? 1 : 0);
  const int32_t z0 = StartPosition() == 0 ? 0 : RoundToInt(StartPosition() * d * 0.01);
  const int32_t z1 = EndPosition() == 100 ? d : d - RoundToInt((100 - EndPosition()) * d * 0.01);
  int32_t x0 = r.Left;
  const int32_t x1 = r.Right;
  // The left wall's thickness stays free when it hides in front of the series.
  if (LeftWall != nullptr && LeftWall->Visible() && LeftWall->AutoHide() &&
      WallSideTest(*chart, r.Left, BackWall ? BackWall->Size() : 0))
    x0 -= chart->WallThicknessFor(chart->LeftAxis());
  std::unique_ptr<IChartBlend> blend;
  if (!Transparent()) {
    const TFourPoints p{canvas.Calculate3DPosition(x0, y, z0), canvas.Calculate3DPosition(x0, y, z1),
                        canvas.Calculate3DPosition(x1, y, z1), canvas.Calculate3DPosition(x1, y, z0)};
    if (Transparency() > 0) blend = canvas.BeginBlending(PolygonBounds(p), Transparency());
    if (GradientIfAny() != nullptr && GradientIfAny()->Visible()) {
      Gradient().FillFourPoints(canvas, p);
      if (TCanvas* dc = canvas.GetHandle()) dc->SetBrushStyle(bsClear);
    }
  }
  if (Size() >= 1)
    canvas.Cube(x0, x1, y, y + Size(), z0, z1, WallDark3D());
  else
    canvas.RectangleY(x0, y, x1, z0, z1);
  DrawPictureInRect3D(canvas, {x0, z1, x1, z0}, y, 1);
  if (blend) canvas.EndBlending(std::move(blend));
}

void TChartBackWall::DrawWall() {
  TCustomAxisPanel* chart = Chart();
  if (chart == nullptr) return;
  TChartCanvas3D& canvas = chart->ChartCanvas();
  const TRect r = chart->ChartRect();
  const int32_t d = chart->DepthWidth;
  int32_t top = 0, bottom = 0;
  WallVerticalRange(top, bottom);
  PrepareCanvas(canvas);
  const bool gradient = GradientIfAny() != nullptr && GradientIfAny()->Visible();
  TChartShadow* shadow = ShadowIfAny();
  const bool withShadow = shadow != nullptr && shadow->Visible() && shadow->Size() != 0;
  std::unique_ptr<IChartBlend> blend;
  if (chart->View3D()) {
    TRect w{r.Left, top, r.Right, bottom};
    if (Size() >= 1) w.Left -= chart->WallThicknessFor(chart->LeftAxis());
    if (Transparency() > 0) blend = canvas.BeginBlending(canvas.ProjectRectBounds(w, d), Transparency());
    if (withShadow) {
      if (canvas.IsOrthogonal())
        shadow->DrawRect(canvas, canvas.ProjectRect(w, d));
      else {
        const TFourPoints c = canvas.RectCorners3D(w, d);
        shadow->DrawPolygon(canvas, c);
      }
    }
    if (!Transparent() && gradient) {
      if (canvas.IsOrthogonal())
        Gradient().Draw(canvas, canvas.ProjectRect(w, d));
      else
        Gradient().FillFourPoints(canvas, canvas.RectCorners3D(w, d));
      if (TCanvas* dc = canvas.GetHandle()) dc->SetBrushStyle(bsClear);
    }
    canvas.AssignPen(Pen());
    if (Size() >= 1)
      canvas.CubeRect(w, d, d + (d < 0 ? -Size() : Size()), WallDark3D());
    else
      canvas.RectangleWithZ(w, d);
  } else {
    const TRect w{r.Left, top, r.Right + 1, bottom + (EndPosition() == 100 ? 1 : 0)};
    if (Transparency() > 0) blend = canvas.BeginBlending(w, Transparency());
    if (withShadow) shadow->DrawRect(canvas, w);
    if (!Transparent() && gradient) {
      Gradient().Draw(canvas, w);
      if (TCanvas* dc = canvas.GetHandle()) dc->SetBrushStyle(bsClear);
    }
    canvas.RectangleRect(w);
  }
  TRect inner{r.Left, top, r.Right, bottom};
  const TBackImage* picture = PictureIfAny();
  if (picture != nullptr && !picture->Empty()) {
    Picture().Draw(*chart, inner, d);
  } else if (chart->HasBackImage() && chart->BackImage().Inside()) {
    if (Pen().Visible()) {
      ++inner.Left;
      ++inner.Top;
    }
    chart->DrawBackImageInRect(inner, d);
  }
  if (blend) canvas.EndBlending(std::move(blend));
}

// ========================================================= [SECTION] Wall set

void TChartWalls::Assign(const TChartWalls& source) {
  Back.Assign(source.Back);
  Bottom.Assign(source.Bottom);
  Left.Assign(source.Left);
  Right.Assign(source.Right);
}

// ============================================= [SECTION] Geometry shared with the chart

bool WallSideTest(const TCustomAxisPanel& chart, int32_t x, int32_t backWallSize) {
  const TCanvas3D* canvas = chart.Canvas();
  if (canvas == nullptr) return false;
  if (canvas->SupportsFullRotation()) return true;
  const TRect r = chart.ChartRect();
  const int32_t b = r.Bottom + chart.WallThicknessFor(chart.BottomAxis());
  const TPoint p0 = canvas->Calculate3DPosition(x, r.Top, 0);
  const TPoint p1 = canvas->Calculate3DPosition(x, b, 0);
  const TPoint p2 = canvas->Calculate3DPosition(x, b, chart.Depth3D() + backWallSize);
  return TriangleCrossProductNegative(p0, p1, p2);
}

}  // namespace qira

#pragma once
// The four walls that frame a chart's plotting area (back, left, bottom, right):
// framed shapes with a thickness, a start and end percent along their axis, and a
// flag that hides a wall while it stands in front of the series.
//
// Sections:
//   [SECTION] Walls
//   [SECTION] Wall set
//   [SECTION] Geometry shared with the chart
#include <cstdint>
#include <memory>

#include "chart/draw/ChartShapes.h"
#include "chart/engine/AxisPanel.h"

namespace qira {

// ============================================================ [SECTION] Walls

class TCustomChartWall : public TChartCustomShape {
 public:
  TCustomChartWall(TCustomAxisPanel* chart, TColor defaultColor);

  bool AutoHide() const { return autoHide_; }
  void SetAutoHide(bool value) { Change(autoHide_, value); }
  bool Dark3D() const { return dark3D_; }
  void SetDark3D(bool value) { Change(dark3D_, value); }
  // Percent along the wall's axis.
  int32_t StartPosition() const { return startPosition_; }
  void SetStartPosition(int32_t value) { Change(startPosition_, value); }
  int32_t EndPosition() const { return endPosition_; }
  void SetEndPosition(int32_t value) { Change(endPosition_, value); }
  // Thickness in pixels; 0 draws a flat wall.
  int32_t Size() const { return size_; }
  void SetSize(int32_t value) { Change(size_, value); }
  TColor DefaultColor() const { return defaultColor_; }
  // Color is streamed only when it differs from the kind's default.
  bool ColorStored() const { return Color() != defaultColor_; }

  // The wall settings, then the shape's.
  void Assign(const TCustomChartWall& source);

  // The shape's published properties with Color judged against the kind's default,
  // then AutoHide, Dark3D, EndPosition, Size and StartPosition where they differ.
  void WriteProperties(TStreamedProperties& block) const;
  // A bad value raises EChartStreamError and leaves the wall as it was.
  void ReadProperties(const TStreamedProperties& block);

  // Top and bottom pixel rows of a side wall by the start and end percents.
  void WallVerticalRange(int32_t& top, int32_t& bottom) const;
  // The chart's View3DWalls, Visible and not AutoHide.
  bool WallShouldDraw() const;
  // Dark side faces: the brush fills (not clear, no image) and Dark3D is set.
  bool WallDark3D() const;

  // Draws the wall on the chart's canvas (nothing without a chart).
  virtual void DrawWall() = 0;

 protected:
  TCustomAxisPanel* Chart() const { return static_cast<TCustomAxisPanel*>(ParentChart()); }
  // Pen, and the brush clear when Transparent, else the wall's colour and brush.
  void PrepareCanvas(TChartCanvas3D& canvas);
  // Side walls: blend and gradient of the plane at x; the blend is returned open.
  std::unique_ptr<IChartBlend> SideWallPlane(TChartCanvas3D& canvas, int32_t x, int32_t top, int32_t bottom,
                                             int32_t depth);
  void DrawSidePicture(TChartCanvas3D& canvas, int32_t x, int32_t top, int32_t bottom, int32_t depth);
  // The wall's filtered picture on a plane (DrawGraphicInRect3D's rectangle, depth
  // and mode); nothing without a graphic.
  void DrawPictureInRect3D(TChartCanvas3D& canvas, const TRect& rect, int32_t depth, int32_t mode);
  // A side wall in the plane x: a cube across cubeLeft..cubeRight and depth 0..cubeDepth
  // when it has a Size, else a flat rectangle to flatDepth.
  void DrawSideWall(int32_t x, int32_t cubeLeft, int32_t cubeRight, int32_t cubeDepth, int32_t flatDepth);

 private:
  bool autoHide_ = false;
  bool dark3D_ = true;
  int32_t endPosition_ = 100;
  int32_t size_ = 0;
  int32_t startPosition_ = 0;
  TColor defaultColor_;
};

class TChartBackWall : public TCustomChartWall {
 public:
  explicit TChartBackWall(TCustomAxisPanel* chart);
  void DrawWall() override;
};

class TChartLeftWall : public TCustomChartWall {
 public:
  explicit TChartLeftWall(TCustomAxisPanel* chart) : TCustomChartWall(chart, 0x80FFFF) {}
  void DrawWall() override;
};

class TChartBottomWall : public TCustomChartWall {
 public:
  explicit TChartBottomWall(TCustomAxisPanel* chart) : TCustomChartWall(chart, clWhite) {}
  void DrawWall() override;
  // The chart's left wall and back wall (set by TChartWalls).
  const TCustomChartWall* LeftWall = nullptr;
  const TCustomChartWall* BackWall = nullptr;
};

class TChartRightWall : public TCustomChartWall {
 public:
  explicit TChartRightWall(TCustomAxisPanel* chart);
  void DrawWall() override;
  // The chart's back wall (set by TChartWalls): a thick right wall reaches behind it.
  const TCustomChartWall* BackWall = nullptr;
};

// ========================================================= [SECTION] Wall set

class TChartWalls {
 public:
  explicit TChartWalls(TCustomAxisPanel* chart)
      : Back(chart), Bottom(chart), Left(chart), Right(chart), fChart(chart) {
    Bottom.LeftWall = &Left;
    Bottom.BackWall = &Back;
    Right.BackWall = &Back;
  }
  TChartWalls(const TChartWalls&) = delete;
  TChartWalls& operator=(const TChartWalls&) = delete;
  void Assign(const TChartWalls& source);
  TCustomAxisPanel* Chart() const { return fChart; }

  TChartBackWall Back;
  TChartBottomWall Bottom;
  TChartLeftWall Left;
  TChartRightWall Right;

 private:
  TCustomAxisPanel* fChart;
};

// ============================================= [SECTION] Geometry shared with the chart

// Which side walls stand behind the series: the orientation of the wall plane at x
// (True on a fully rotating canvas). backWallSize is the back wall's Size.
bool WallSideTest(const TCustomAxisPanel& chart, int32_t x, int32_t backWallSize);

}  // namespace qira

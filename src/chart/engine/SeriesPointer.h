#pragma once
// Small parts the series kinds build on: the symbol drawn at a point
// (TSeriesPointer, 13 styles in 2D and 3D) and named groups of series with a
// combined active state (TSeriesGroup). The axis's grid pen and custom labels live
// with the axis (ChartAxis.h).
//
// Sections:
//   [SECTION] Series groups
//   [SECTION] Series pointer
//   [SECTION] Callout
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "chart/draw/ChartShapes.h"
#include "chart/engine/ChartSeries.h"

namespace qira {

// ==================================================== [SECTION] Series groups

enum TSeriesGroupActive : uint8_t { gaYes, gaNo, gaSome };

class TSeriesGroup {
 public:
  explicit TSeriesGroup(std::string name) : Name(std::move(name)) {}
  std::string Name;
  // The chart's series of the group (not owned).
  TCustomSeriesList Series;
  // gaYes for an empty group or when every series is active, gaNo when none is.
  TSeriesGroupActive Active() const;
  // gaYes activates every series, gaNo deactivates every one; gaSome changes nothing.
  void SetActive(TSeriesGroupActive value);
  void Assign(const TSeriesGroup& source) {
    Name = source.Name;
    Series = source.Series;
  }
};

class TSeriesGroups {
 public:
  // A new group named "Group" followed by the number of groups with it ("Group3"
  // for the third).
  TSeriesGroup& Add();
  int32_t Count() const { return static_cast<int32_t>(fItems.size()); }
  TSeriesGroup& operator[](int32_t index) const { return *fItems[static_cast<size_t>(index)]; }
  void Clear() { fItems.clear(); }

 private:
  std::vector<std::unique_ptr<TSeriesGroup>> fItems;
};

// ==================================================== [SECTION] Series pointer

enum TSeriesPointerStyle : uint8_t {
  psRectangle, psCircle, psTriangle, psDownTriangle, psCross, psDiagCross, psStar,
  psDiamond, psSmallDot, psNothing, psLeftTriangle, psRightTriangle, psHexagon
};

// The series' depth, as the pointer needs it (the series kinds implement it).
class IPointerSeries {
 public:
  virtual ~IPointerSeries() = default;
  virtual int32_t StartZ() const = 0;
  virtual int32_t EndZ() const = 0;
  virtual IAxisPanel* PointerChart() const = 0;
};

class TSeriesPointer : public TChartCustomShapeBrushPen {
 public:
  // The pointer of a series (which may be null in tests: depth 0, no chart).
  explicit TSeriesPointer(IPointerSeries* series = nullptr);

  TSeriesPointerStyle Style = psRectangle;
  bool InflateMargins = true;
  bool Draw3D = true;
  bool Dark3D = true;
  TChartTransparency Transparency = 0;
  int32_t HorizSize() const { return fHorizSize; }
  int32_t VertSize() const { return fVertSize; }
  // Raise ChartException "Pointer size must be greater than zero" below 1 and keep
  // the old size.
  void SetHorizSize(int32_t value);
  void SetVertSize(int32_t value);
  TChartShadow& Shadow() { return *fShadow; }
  const TChartShadow& Shadow() const { return *fShadow; }
  TChartGradient& Gradient() { return *fGradient; }
  const TChartGradient& Gradient() const { return *fGradient; }

  void Assign(const TSeriesPointer& source);

  // Pen: clear when hidden, in colour when its colour is clChartDefault. Brush: its own
  // colour, or when that is clChartDefault, colour (solid) or its stored colour.
  void PrepareCanvas(TCanvas3D& canvas, TColor colour) const;
  // Each margin at least the half size + 1 when visible with InflateMargins.
  void CalcHorizMargins(int32_t& a, int32_t& b) const;
  void CalcVerticalMargins(int32_t& a, int32_t& b) const;

  // The symbol centred at (x, y) with half sizes. Pixel coordinates come from
  // CalcXPos-style mappings and are clamped to the canvas range before use.
  void Draw(TCanvas3D& canvas, bool is3D, int32_t x, int32_t y, int32_t horizSize, int32_t vertSize,
            TColor colour, TSeriesPointerStyle style);
  // On the series' chart canvas with the pointer's own sizes (nothing without one).
  void DrawPointer(int32_t x, int32_t y, TColor colour, TSeriesPointerStyle style);

 private:
  void DrawShape(TCanvas3D& canvas, bool is3D, int32_t x, int32_t y, int32_t h, int32_t v,
                 TSeriesPointerStyle style, int32_t z0, int32_t z1);
  // The visible gradient over the filled styles, clipped to the shape (projected
  // at depth z in 3D); the line and dot styles take none.
  void FillGradient(TCanvas3D& canvas, bool is3D, int32_t x, int32_t y, int32_t h, int32_t v,
                    TSeriesPointerStyle style, int32_t z);
  IPointerSeries* fSeries;
  int32_t fHorizSize = 4;
  int32_t fVertSize = 4;
  std::unique_ptr<TChartShadow> fShadow;
  std::unique_ptr<TChartGradient> fGradient;
};

// =========================================================== [SECTION] Callout

enum TArrowHeadStyle : uint8_t { ahNone, ahLine, ahSolid };

// A line (or arrow) from a point to a box, with the pointer's symbol at the point.
class TCallout : public TSeriesPointer {
 public:
  explicit TCallout(IPointerSeries* series = nullptr);
  TWhitePen Arrow;
  TArrowHeadStyle ArrowHead = ahNone;
  int32_t ArrowHeadSize = 8;
  int32_t Distance = 0;
};

// The callout of series marks: hidden until asked for, 8 pixels long.
class TMarksCallout : public TCallout {
 public:
  explicit TMarksCallout(IPointerSeries* series = nullptr);
  int32_t Length = kMarksArrowLength;
};

}  // namespace qira

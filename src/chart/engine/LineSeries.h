#pragma once
// The drawing engine behind line, area and point series (TCustomSeries): each
// point's connection to the previous one as a line, a 3D ribbon, stairs or an area,
// the point's symbol, stacking of series of the same kind, and hit tests.
// TLineSeries is the line variant the plan window creates.
//
// Sections:
//   [SECTION] TCustomLineSeries and TCustomSeries
//   [SECTION] TLineSeries
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "chart/engine/SeriesPointer.h"

namespace qira {

enum TTreatNullsStyle : uint8_t { tnDontPaint, tnSkip, tnIgnore };
enum TCustomSeriesStack : uint8_t { cssNone, cssOverlap, cssStack, cssStack100 };

// ================================== [SECTION] TCustomLineSeries and TCustomSeries

class TCustomLineSeries : public TChartSeries {
 public:
  TTreatNullsStyle TreatNulls = tnDontPaint;
};

class TCustomSeries : public TCustomLineSeries, public IPointerSeries {
 public:
  TCustomSeries();
  ~TCustomSeries() override;

  // ---- settings
  bool DrawArea = false;   // the area flag
  bool DrawLine = false;   // the line flag
  bool ClickableLine = true;
  bool ColorEachLine = true;
  bool Dark3D = true;
  bool Stairs = false;
  bool InvertedStairs = false;
  int32_t LineHeight = 0;
  // The element's brush style and pen.
  TBrushStyle LineBrush() const { return Brush().Style(); }
  void SetLineBrush(TBrushStyle value) { Brush().SetStyle(value); }
  TChartPen& LinePen() { return Pen(); }
  const TChartPen& LinePen() const { return Pen(); }
  TColor AreaColor = clChartDefault;
  TChartBrush AreaBrush;
  TChartPen AreaLinesPen;
  TChartHiddenPen OutLine;
  TSeriesPointer Pointer;
  TChartShadow Shadow;
  TChartGradient Gradient;
  // The gradient that fills ribbons and areas, as the drawing reads it.
  virtual TChartGradient& GetGradient() { return Gradient; }
  TChartTransparency Transparency = 0;
  TCustomSeriesStack Stacked() const { return fStacked; }
  // Also sets every series of the chart of this series' class, then repaints.
  void SetStacked(TCustomSeriesStack value);
  std::function<void(TCustomSeries&, int32_t valueIndex, int32_t x, int32_t y)> OnClickPointer;
  std::function<TSeriesPointerStyle(TCustomSeries&, int32_t valueIndex)> OnGetPointerStyle;

  // Copies every setting above (and TreatNulls).
  virtual void Assign(const TCustomSeries& source);

  // ---- IPointerSeries: the series' depth
  int32_t StartZ() const override { return TChartSeries::StartZ(); }
  int32_t EndZ() const override { return TChartSeries::EndZ(); }
  IAxisPanel* PointerChart() const override { return ParentChart(); }

  // ---- geometry
  // Pixel of the point's value along the value axis, stacking aware.
  int32_t CalcValuePos(int32_t index) const;
  // Pixel of the value axis' origin for the point (stacking aware).
  int32_t CalcZeroPos(int32_t index) const;
  // The point's pixel, stacking aware along the value axis.
  int32_t CalcXPos(int32_t index) const override;
  int32_t CalcYPos(int32_t index) const override;
  // Room above (beside) a point for its mark's callout: its length and distance.
  virtual int32_t MarksArrowSpace() const;
  void CalcHorizMargins(int32_t& left, int32_t& right) const override;
  void CalcVerticalMargins(int32_t& top, int32_t& bottom) const override;
  double MaxXValue() const override;
  double MinXValue() const override;
  double MaxYValue() const override;
  double MinYValue() const override;
  // Stacking partners: either series' class is the other's or derives from it.
  bool SameClass(const TChartSeries& other) const;
  // The series is of this series' class or of a class deriving from it; every
  // class of the family answers for itself.
  virtual bool IsOfThisClass(const TChartSeries& other) const {
    return dynamic_cast<const TCustomSeries*>(&other) != nullptr;
  }
  // A stacked series shares the Z order of the stack's first series.
  void CalcZOrder() override;

  // ---- drawing (on the chart's canvas; nothing without one)
  // Starts a drawing pass (also when the chart draws series of one Z order
  // point by point).
  void DoBeforeDrawValues() override;
  // Shadow pass, outline pass and the normal pass over the visible points.
  void DrawAllValues() override;
  void DrawValue(int32_t index) override;
  // At the series' front depth; a series whose Y is mandatory lifts the box by the
  // callout's length.
  void DrawMark(int32_t index, const std::string& text, TSeriesMarkPosition& position) override;
  // The legend symbol of point index (-1: the series) in the rectangle: with a
  // visible pointer the line through the middle (line kinds) and the pointer; a
  // line without pointer as a line (a filled rectangle in 3D); else the base shape.
  void DrawLegendShape(int32_t index, const TRect& rect) override;
  // The point (or, with ClickableLine, the segment's first point) under the
  // pixel, or -1; a hit pointer fires OnClickPointer.
  int32_t Clicked(int32_t x, int32_t y) override;
  // Also true with a visible pointer and OnClickPointer.
  bool HasClickEvents() const override;
  // The visible pointer of point index at (pointX, pointY) holds the pixel: closer
  // than its half sizes, and a style that draws.
  virtual bool ClickedPointer(int32_t index, int32_t x, int32_t y, int32_t pointX, int32_t pointY);

 protected:
  TPoint PointPixel(int32_t index) const;

 private:
  struct TPrevious {
    int32_t Index = -1;
    TPoint Pixel;
    int32_t Origin = 0;
    TColor Color = clChartDefault;
  };
  double OriginSum(int32_t index, double& total) const;
  double StackedMax(bool isMax) const;
  TPoint EdgePoint(int32_t index) const;
  void StartPass();
  void DrawSegment(const TPrevious& previous, int32_t index, const TPoint& c, int32_t origin, TColor colour);
  void DrawRibbon3D(const TPoint& p, const TPoint& c, int32_t index, TColor colour);
  void DrawStairs3D(const TPoint& p, const TPoint& c, TColor ribbon);
  void DrawAreaSegment(const TPrevious& previous, int32_t index, const TPoint& c, int32_t origin, TColor colour);
  // A run of the area ends at point index (the last drawn, or a null neighbour).
  bool EndOfRun(int32_t index) const;
  void DrawPointerAt(int32_t index, const TPoint& p, TColor colour);
  TSeriesPointerStyle PointerStyle(int32_t index);
  TColor LineColour(TColor pointColour) const;
  TColor AreaFill(TColor pointColour) const;
  std::vector<TPoint> SegmentPolygon(const TPoint& p, const TPoint& c, int32_t p0, int32_t c0) const;

  TCustomSeriesStack fStacked = cssNone;
  double fDarkSlope = 1;
  int32_t fFirstDrawn = -1;
  int32_t fLastDrawn = -1;
  TPrevious fPrevious;
  // The shadow and outline passes draw everything in one colour (clNone: the
  // normal pass).
  TColor fPassColour = clNone;
  TColor DrawColour() const;
};

// ============================================================ [SECTION] TLineSeries

class TLineSeries : public TCustomSeries {
 public:
  TLineSeries();
  // The legend's canvas: pen LinePen, brush style LineBrush.
  void PrepareLegendCanvas(int32_t index, TColor& backColor, TBrushStyle& brushStyle) override;
  // After "Normal": "Stairs", "Points", "Height", "Hollow", "Colors", "Marks",
  // "No Border", "Outline".
  std::vector<std::string> GallerySubTypes() const override;
  // Applies sub-type i (1 to 8, in the order above); other values do nothing.
  void ApplySubType(int32_t index) override;
  // Hides the pointer again unless the source is a line series; area off, line on.
  void Assign(const TCustomSeries& source) override;
  bool IsOfThisClass(const TChartSeries& other) const override {
    return dynamic_cast<const TLineSeries*>(&other) != nullptr;
  }
};

}  // namespace qira

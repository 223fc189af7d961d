#pragma once
// Series marks: the small framed boxes of text a series shows at its points. The
// marks are a shape (colour, font, frame, gradient, shadow) with per-point items
// that carry their own text and look, the stored positions of drawn (or dragged)
// marks, the margins around a mark's text, the callout from the point to the box
// and an optional symbol beside the text. The series prepares each mark's position
// and hands it to DrawItem.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "chart/draw/ChartShapes.h"
#include "platform/CanvasTypes.h"

namespace qira {

class TChartSeries;
class TMarksCallout;

enum TSeriesMarksStyle : uint8_t {
  smsValue,
  smsPercent,
  smsLabel,
  smsLabelPercent,
  smsLabelValue,
  smsLegend,
  smsPercentTotal,
  smsLabelPercentTotal,
  smsXValue,
  smsXY,
  smsSeriesTitle,
  smsPointIndex,
  smsPercentRelative
};
enum TMarginUnits : uint8_t { maPercentFont, maPercentSize, maPixels };

// Margins around a mark's text in percent of the font height, in percent of the
// box, or in pixels. A changed value calls OnChange (the owner repaints).
class TMargins {
 public:
  explicit TMargins(TNotifyEvent onChange = {}, int32_t defaultLeftRight = 20);

  int32_t Left() const { return fLeft; }
  void SetLeft(int32_t value) { Change(fLeft, value); }
  int32_t Top() const { return fTop; }
  void SetTop(int32_t value) { Change(fTop, value); }
  int32_t Right() const { return fRight; }
  void SetRight(int32_t value) { Change(fRight, value); }
  int32_t Bottom() const { return fBottom; }
  void SetBottom(int32_t value) { Change(fBottom, value); }
  TMarginUnits Units() const { return fUnits; }
  void SetUnits(TMarginUnits value) { Change(fUnits, value); }
  // Left and Right are stored only when they differ from it.
  int32_t DefaultLeftRight() const { return fDefaultLeftRight; }
  // The four values and the units.
  void Assign(const TMargins& source);

  // The margins in pixels for a box of width w, height h and font height f; they
  // are kept as LastPixels.
  TRect Pixels(int32_t w, int32_t h, int32_t f);
  // The pixels computed last (all 0 before the first computation).
  const TRect& LastPixels() const { return fPixels; }

  TNotifyEvent OnChange;

 private:
  template <class T>
  void Change(T& field, T value) {
    if (field == value) return;
    field = value;
    if (OnChange) OnChange();
  }

  int32_t fLeft, fTop = 5, fRight, fBottom = 5;
  TMarginUnits fUnits = maPercentFont;
  int32_t fDefaultLeftRight;
  TRect fPixels;
};

// Where a mark was drawn (or dragged to): box, arrow and the callout's corner.
struct TSeriesMarkPosition {
  TPoint ArrowFrom;
  bool ArrowFix = false;
  TPoint ArrowTo;
  bool Custom = false;
  int32_t Height = 0;
  TPoint LeftTop;
  int32_t Width = 0;
  TPoint Corner;
  bool HasCorner = false;
  TRect Bounds() const { return {LeftTop.X, LeftTop.Y, LeftTop.X + Width, LeftTop.Y + Height}; }
};

// The system's info-background colour, the default fill of marks.
inline constexpr TColor clInfoBk = 0xFF000018;
// The default length of a mark's callout, in pixels.
inline constexpr int32_t kMarksArrowLength = 8;

// A point's own mark: its look, and its text lines (empty: the text follows the
// marks' style).
class TMarksItem : public TChartCustomShape {
 public:
  explicit TMarksItem(TCustomChartPanel* parent);
  std::vector<std::string> Text;
  // The look, and the text when the source is an item too.
  void Assign(const TChartCustomShape& source) override;
};

// A small shape at the left of a mark's text, in the point's colour; hidden by default.
class TSeriesMarksSymbol : public TChartCustomShape {
 public:
  explicit TSeriesMarksSymbol(TCustomChartPanel* parent);
  // Shown by a mark when visible and not transparent.
  bool ShouldDraw() const { return Visible() && !Transparent(); }
};

// Index -> the point's item or nothing; made on demand.
using TMarksItems = std::vector<std::unique_ptr<TMarksItem>>;
// Index -> where the point's mark was drawn (or dragged to), or nothing.
using TSeriesMarksPositions = std::vector<std::unique_ptr<TSeriesMarkPosition>>;

// The marks' gradient: silver at the right to white.
class TSeriesMarksGradient : public TChartGradient {
 public:
  explicit TSeriesMarksGradient(TNotifyEvent onChange = {});
};

class TSeriesMarks : public TChartCustomShape {
 public:
  // Hidden, in the info-background colour; its gradient, when made, runs from
  // silver at the right to white.
  explicit TSeriesMarks(TChartSeries& series);
  ~TSeriesMarks() override;
  // From other marks: the settings, the callout and the symbol (made or dropped to
  // match the source), every item with its look and text, then the shape. The
  // stored positions stay: they belong to this series' last drawing.
  void Assign(const TChartCustomShape& source) override;

  TSeriesMarksStyle Style = smsLabel;
  bool MultiLine = false;
  // The marks are drawn inside the series' clip; a change repaints.
  bool Clip() const { return fClip; }
  void SetClip(bool value) { Change(fClip, value); }
  int32_t Angle = 0;
  TChartAlignment TextAlign = taCenter;
  TMargins Margins{[this] { Repaint(); }};
  // Depth of the marks in 3D (the series sets it before drawing).
  int32_t ZPosition = 0;
  TColor BackColor() const { return Color(); }
  void SetBackColor(TColor value) { SetColor(value); }

  // Made on first use.
  TMarksCallout& Callout();
  const TMarksCallout* CalloutIfAny() const { return fCallout.get(); }
  TSeriesMarksSymbol& Symbol();
  const TSeriesMarksSymbol* SymbolIfAny() const { return fSymbol.get(); }
  // The callout's arrow pen and length.
  TChartPen& Arrow();
  int32_t ArrowLength();
  void SetArrowLength(int32_t value);

  // Every DrawEvery-th mark is drawn; values below 1 count as 1.
  int32_t DrawEvery() const { return fDrawEvery; }
  void SetDrawEvery(int32_t value) { fDrawEvery = value; }
  int32_t DrawStep() const { return fDrawEvery > 0 ? fDrawEvery : 1; }
  bool DrawsMark(int32_t index) const { return index % DrawStep() == 0; }

  // The item of point i, created on demand (entries below it stay empty).
  TMarksItem& MarkItem(int32_t index);
  // The item of point i when one exists.
  const TMarksItem* ItemAt(int32_t index) const;
  TMarksItem* ItemAt(int32_t index);
  int32_t ItemCount() const { return static_cast<int32_t>(fItems.size()); }
  void ClearItems() { fItems.clear(); }

  // Keeps the computed position of mark i; a custom (dragged) position stored for
  // i replaces the computed one instead (keeping the computed arrow start when both
  // fix it).
  void StorePosition(int32_t index, TSeriesMarkPosition& position);
  const TSeriesMarkPosition* PositionAt(int32_t index) const;
  TSeriesMarkPosition& CustomPosition(int32_t index);
  bool HasCustomPositions() const;
  // Moves a box up by the callout's length and distance (the arrow start by the
  // distance only).
  void ApplyArrowLength(TSeriesMarkPosition& position);
  // The index of the drawn mark whose box holds the point, or -1; later marks
  // first, only marks drawn (multiples of DrawEvery).
  int32_t Clicked(int32_t x, int32_t y) const;

  // A point was removed: its item and position go, later ones move down.
  void DeletePoint(int32_t index, int32_t quantity = 1);
  void Clear();

  // Draws mark i: the callout from the arrow start to the arrow end, the box (the
  // item's look when the point has one), the symbol and the text, on the chart's
  // canvas. Stores the position first (a dragged mark draws where it was dragged).
  void DrawItem(int32_t index, TColor colour, const std::string& text, TSeriesMarkPosition& position);
  // The widest line of mark i's text in the chart canvas' font (0 without a chart).
  int32_t TextWidth(int32_t index);
  // The chart the marks draw on (the series' chart), or null.
  void SetParentChart(TCustomChartPanel* chart);

 protected:
  std::unique_ptr<TChartGradient> CreateGradient(TNotifyEvent onChange) const override;

 private:
  void DrawCallout(TColor colour, TSeriesMarkPosition& position);
  void DrawText(TChartCustomShape& look, const TRect& box, int32_t textLeft, const std::string& text);

  TChartSeries& fSeries;
  std::unique_ptr<TMarksCallout> fCallout;
  std::unique_ptr<TSeriesMarksSymbol> fSymbol;
  int32_t fDrawEvery = 1;
  bool fClip = false;
  TMarksItems fItems;
  TSeriesMarksPositions fPositions;
};

}  // namespace qira

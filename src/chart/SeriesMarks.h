#pragma once
// The data side of series marks: settings, the per-point items with their own
// text, the stored positions of drawn (or dragged) marks and the margins around a
// mark's text. Drawing a mark builds on these.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/CanvasTypes.h"

namespace qira {

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
// box, or in pixels.
struct TMargins {
  int32_t Left = 20, Top = 5, Right = 20, Bottom = 5;
  TMarginUnits Units = maPercentFont;
  // The margins in pixels for a box of width w, height h and font height f.
  TRect Pixels(int32_t w, int32_t h, int32_t f) const;
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

// A point's own mark: its text lines (empty: the text follows the marks' style).
struct TMarksItem {
  std::vector<std::string> Text;
};

class TSeriesMarks {
 public:
  bool Visible = false;
  TSeriesMarksStyle Style = smsLabel;
  bool MultiLine = false;
  bool Clip = false;
  int32_t Angle = 0;
  TMargins Margins;

  // Every DrawEvery-th mark is drawn; values below 1 count as 1.
  int32_t DrawEvery() const { return fDrawEvery; }
  void SetDrawEvery(int32_t value) { fDrawEvery = value; }
  int32_t DrawStep() const { return fDrawEvery > 0 ? fDrawEvery : 1; }
  bool DrawsMark(int32_t index) const { return index % DrawStep() == 0; }

  // The item of point i, created on demand (entries below it stay empty).
  TMarksItem& MarkItem(int32_t index);
  // The item of point i when one exists.
  const TMarksItem* ItemAt(int32_t index) const;
  int32_t ItemCount() const { return static_cast<int32_t>(fItems.size()); }
  void ClearItems() { fItems.clear(); }

  // Keeps the computed position of mark i; a custom (dragged) position stored for
  // i replaces the computed one instead (keeping the computed arrow start when both
  // fix it).
  void StorePosition(int32_t index, TSeriesMarkPosition& position);
  const TSeriesMarkPosition* PositionAt(int32_t index) const;
  TSeriesMarkPosition& CustomPosition(int32_t index);
  bool HasCustomPositions() const;
  // Moves a box up by the callout's length and distance.
  static void ApplyArrowLength(TSeriesMarkPosition& position, int32_t length, int32_t distance);
  // The index of the drawn mark whose box holds the point, or -1; later marks
  // first, only marks drawn (multiples of DrawEvery).
  int32_t Clicked(int32_t x, int32_t y) const;

  // A point was removed: its item and position go, later ones move down.
  void DeletePoint(int32_t index, int32_t quantity = 1);
  void Clear();

 private:
  int32_t fDrawEvery = 1;
  std::vector<std::unique_ptr<TMarksItem>> fItems;
  std::vector<std::unique_ptr<TSeriesMarkPosition>> fPositions;
};

}  // namespace qira

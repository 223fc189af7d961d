#pragma once
// The chart's legend: a framed box beside or above the plotting area listing the
// series or the values of one series, each line with a colour symbol and up to two
// text columns, optionally with check boxes and a title. The chart lays it out and
// draws it in its titles-and-legend step, lets it shrink the chart rectangle and
// forwards clicks to it.
//
// Sections:
//   [SECTION] Symbol, title and items
//   [SECTION] Legend
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "chart/engine/AxisPanel.h"
#include "chart/engine/ChartTitles.h"
#include "chart/engine/SeriesDrawing.h"
#include "chart/engine/SeriesPointer.h"

namespace qira {

class LegendException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum TLegendAlignment : uint8_t { laLeft, laRight, laTop, laBottom };
enum TLegendStyle : uint8_t { lsAuto, lsSeries, lsValues, lsLastValues, lsSeriesGroups };
enum TCheckBoxesStyle : uint8_t { cbsCheck, cbsRadio };
enum TLegendSymbolPosition : uint8_t { spLeft, spRight };
enum TLegendSymbolSize : uint8_t { lcsPercent, lcsPixels };

// ====================================== [SECTION] Symbol, title and items

class TCustomChartLegend;

// Sender, item index, x and y of the line, x of its text.
using TOnGetLegendPos = std::function<void(TCustomChartLegend&, int32_t index, int32_t& x, int32_t& y, int32_t& xColor)>;
// Sender, the legend's frame rectangle.
using TOnGetLegendRect = std::function<void(TCustomChartLegend&, TRect&)>;
// Sender, style in force, item index, the text.
using TOnGetLegendText = std::function<void(TCustomChartLegend&, TLegendStyle, int32_t index, std::string&)>;

// Sender, item index, symbol rectangle.
using TSymbolDrawEvent = std::function<void(TCustomChartLegend&, int32_t, const TRect&)>;

class TLegendSymbol {
 public:
  explicit TLegendSymbol(TNotifyEvent onChange);
  bool Continuous = false;
  // The symbol uses the series' pen rather than Pen.
  bool DefaultPen = true;
  TLegendSymbolPosition Position = spLeft;
  bool Squared = false;
  bool Visible = true;
  int32_t Width = 20;
  TLegendSymbolSize WidthUnits = lcsPercent;
  TChartGradient Gradient;
  TChartPen Pen;
  TChartShadow Shadow;
  TSymbolDrawEvent OnDraw;
  void Assign(const TLegendSymbol& source);
};

class TLegendTitle : public TChartShape {
 public:
  explicit TLegendTitle(TCustomChartPanel* chart);
  std::vector<std::string> Text;
  TChartAlignment TextAlignment = taLeftJustify;
  void Assign(const TLegendTitle& source);
  void WriteProperties(TStreamedProperties& block) const;
  // Changes the title as it goes: the legend reads into a copy first.
  void ReadProperties(const TStreamedProperties& block);
};

// One laid-out line; a user may replace its texts.
class TLegendItem {
 public:
  explicit TLegendItem(TCustomChartLegend* legend = nullptr) : fLegend(legend) {}
  uint32_t Align = 0;  // TA_* flags of the first column
  int32_t Left = 0;
  int32_t Top = 0;
  TRect SymbolRect;
  // The two columns. Setting either makes the texts the user's: the legend draws
  // its items' texts from then on instead of computing them, and repaints.
  const std::string& Text() const { return fText; }
  const std::string& Text2() const { return fText2; }
  void SetText(const std::string& value);
  void SetText2(const std::string& value);

 private:
  friend class TCustomChartLegend;  // stores the computed texts without customising
  void ChangeText(std::string& field, const std::string& value);
  TCustomChartLegend* fLegend;
  std::string fText;
  std::string fText2;
};

// The laid-out lines, kept while a user has customised them.
using TLegendItems = std::vector<std::unique_ptr<TLegendItem>>;

// The legend's gradient: silver at the right to white.
class TChartLegendGradient : public TChartGradient {
 public:
  explicit TChartLegendGradient(TNotifyEvent onChange = {});
};

// ============================================================ [SECTION] Legend

class TCustomChartLegend : public TChartCustomShapePosition {
 public:
  explicit TCustomChartLegend(TCustomAxisPanel* chart);

  // ---- settings (setters repaint on change)
  TLegendAlignment Alignment = laRight;
  bool CheckBoxes = false;
  TCheckBoxesStyle CheckBoxesStyle() const { return fCheckBoxesStyle; }
  // Switching to cbsRadio leaves only the first active listed series active.
  void SetCheckBoxesStyle(TCheckBoxesStyle value);
  bool CurrentPage = true;
  TChartHiddenPen DividingLines;
  int32_t FirstValue() const { return fFirstValue; }
  // Raises LegendException "First Legend Value must be > 0" below 0 (not stored).
  void SetFirstValue(int32_t value);
  bool FontSeriesColor = false;
  int32_t HorizMargin = 0;
  bool Inverted = false;
  int32_t LeftPercent = 0;
  int32_t TopPercent = 0;
  TLegendStyle LegendStyle = lsAuto;
  int32_t MaxNumRows = 10;
  TChartUnits PositionUnits = muPixels;
  bool ResizeChart = true;
  TLegendSymbol Symbol;
  TLegendTextStyle TextStyle = ltsLeftValue;
  TLegendTitle Title;
  int32_t TopPos = 10;
  int32_t VertMargin = 0;
  int32_t VertSpacing = 0;
  // Same value as Symbol.Width.
  int32_t ColorWidth() const { return Symbol.Width; }
  void SetColorWidth(int32_t value) { Symbol.Width = value; }

  // ---- what the chart plugs in
  // The series listed with lsValues when set (else chosen from the chart).
  TChartSeries* Series = nullptr;
  // Groups listed with lsSeriesGroups (the chart's; may be null).
  TSeriesGroups* Groups = nullptr;
  // The chart's text of a value (LegendTextOfValue); default LegendString by TextStyle.
  std::function<std::string(TChartSeries&, int32_t)> TextOfValue;
  // Draws a series' symbol; default: the series' own legend symbol (DrawSeriesLegend).
  std::function<void(TChartSeries&, int32_t valueIndex, const TRect&)> DrawSeriesSymbol;
  TOnGetLegendPos OnGetLegendPos;
  TOnGetLegendRect OnGetLegendRect;
  TOnGetLegendText OnGetLegendText;

  void Assign(const TCustomChartLegend& source);

  // ---- working state
  TLegendStyle ResolvedStyle() const;
  bool Vertical() const { return Alignment == laLeft || Alignment == laRight; }
  bool CheckBoxesInUse() const { return CheckBoxes && ResolvedStyle() != lsValues; }
  // Visible, and check boxes in use or an active series.
  bool ShouldDraw() const;
  // The series whose values are listed with lsValues (null when none is active).
  TChartSeries* LegendSeries() const;
  int32_t ItemCount() const { return fItemCount; }
  int32_t LastValue() const { return fLastValue; }
  int32_t Columns() const { return fColumns; }
  int32_t Rows() const { return fRows; }
  int32_t LineHeight() const { return fLineHeight; }
  int32_t SymbolWidth() const { return fSymbolWidth; }
  TLegendItem& Items(int32_t index);
  int32_t ItemsCount() const { return static_cast<int32_t>(fItems.size()); }
  // Marks the items as the user's: their texts replace the computed ones.
  void CustomiseItems() { fItemsCustomised = true; }

  // Lays out and draws on the chart's canvas, then shrinks the chart rectangle.
  void Draw();
  // The index of the listed series or value under the point, or -1.
  int32_t Clicked(int32_t x, int32_t y) const;
  // Applies a click on the check box of an item; false when nothing was done.
  bool DoCheck(int32_t index);
  // The symbol without a series shape: shadow, gradient or a filled rectangle.
  void DrawPlainSymbol(TChartCanvas3D& canvas, const TRect& r, TColor colour);

 protected:
  std::unique_ptr<TChartGradient> CreateGradient(TNotifyEvent onChange) const override {
    return std::make_unique<TChartLegendGradient>(std::move(onChange));
  }
  TCustomAxisPanel* Chart() const { return static_cast<TCustomAxisPanel*>(ParentChart()); }
  // The chart's series shown in the legend (active or with check boxes), in order.
  std::vector<TChartSeries*> ListedSeries() const;
  int32_t CalcItemCount();
  std::string ItemText(int32_t index) const;
  TColor ItemColor(int32_t index) const;
  bool ItemChecked(int32_t index) const;
  void CalcLineHeight(TChartCanvas3D& canvas);
  void CalcSymbolWidth(int32_t itemWidth);
  void DrawTitleText(TChartCanvas3D& canvas);
  void DrawItem(TChartCanvas3D& canvas, int32_t n, int32_t index);
  void ResizeChartRect();

  TCheckBoxesStyle fCheckBoxesStyle = cbsCheck;
  int32_t fFirstValue = 0;
  TLegendItems fItems;
  bool fItemsCustomised = false;

  // layout of the last Draw
  TLegendStyle fStyle = lsSeries;
  int32_t fItemCount = 0;
  int32_t fLastValue = -1;
  int32_t fColumns = 1;
  int32_t fRows = 0;
  int32_t fLineHeight = 1;
  int32_t fSymbolWidth = 0;
  int32_t fColumnWidths[2] = {0, 0};
  std::vector<std::string> fTexts;
  int32_t fTitleHeight = 0;
  int32_t fFrameWidth = 0;
  int32_t fItemsTop = 0;
};

// The legend a chart owns and streams.
class TChartLegend : public TCustomChartLegend {
 public:
  using TCustomChartLegend::TCustomChartLegend;
  // Published properties where they differ from their defaults (the symbol's under
  // "Symbol.", the title's under "Title."), then the position and shape. The reader
  // also takes the old "ColorWidth" into Symbol.Width; a bad value raises (the
  // setter's LegendException for a negative FirstValue, else EChartStreamError)
  // and the legend stays as it was.
  void WriteProperties(TStreamedProperties& block) const;
  void ReadProperties(const TStreamedProperties& block);
};

}  // namespace qira

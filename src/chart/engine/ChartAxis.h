#pragma once
// One axis of a chart: its settings, the range it shows (from the series or set),
// the label step, label texts and values, and the mapping between values and
// pixels. Layout and drawing on a canvas build on this.
//
// Sections: [SECTION] Range, [SECTION] Increment, [SECTION] Label texts,
// [SECTION] Label values, [SECTION] Layout and drawing (AxisDrawing.cpp),
// [SECTION] Pixel mapping, [SECTION] Properties
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chart/draw/ChartGradients.h"
#include "chart/draw/ChartInterfaces.h"
#include "chart/draw/ChartPens.h"
#include "chart/draw/ChartShapes.h"

namespace qira {

// Pixel positions never leave +-this, whatever value is mapped.
inline constexpr int32_t AxisPixelLimit = 67108863;
// Range ends are kept within +-this so that a range and its steps stay finite.
inline constexpr double AxisValueLimit = 1e300;
// The most labels one axis computes (value labels need fewer than this).
inline constexpr int32_t AxisMaxLabels = 10000;
// The most labels asked of an OnGetNextAxisLabel handler.
inline constexpr int32_t AxisMaxEventLabels = 2001;

enum TPenLineMode : uint8_t { lmLine, lmCylinder, lmRectangle };

// The axis line: width 2; drawn as a line, a cylinder or a box.
class TChartAxisPen : public TChartPen {
 public:
  explicit TChartAxisPen(TNotifyEvent onChange = {});
  TPenLineMode LineMode() const { return fLineMode; }
  void SetLineMode(TPenLineMode value);

 private:
  TPenLineMode fLineMode = lmLine;
};

// The grid: grey dotted; lines at every DrawEvery-th tick (values below 1 count as
// 1), between ticks when centred; in 3D reaching ZPosition percent of the depth.
class TAxisGridPen : public TDottedGrayPen {
 public:
  explicit TAxisGridPen(TNotifyEvent onChange = {}) : TDottedGrayPen(std::move(onChange)) {}
  bool Centered() const { return fCentered; }
  void SetCentered(bool value);
  int32_t DrawEvery() const { return fDrawEvery; }
  void SetDrawEvery(int32_t value);
  double ZPosition() const { return fZPosition; }
  void SetZPosition(double value);

 private:
  bool fCentered = false;
  int32_t fDrawEvery = 1;
  double fZPosition = 0;
};

// The title of an axis: a caption at an angle, in a frame that is transparent
// unless asked for. Its frame rectangle (ShapeBounds) is set when it is drawn.
class TChartAxisTitle : public TChartCustomShape {
 public:
  // parent: the panel that repaints (null for charts that are not panels).
  explicit TChartAxisTitle(TCustomChartPanel* parent);
  std::string Caption;
  // Degrees, kept modulo 360 (a negative angle stays negative); a change repaints.
  int32_t Angle() const { return fAngle; }
  void SetAngle(int32_t value) { Change(fAngle, value % 360); }
  // Angle and Caption, then the shape.
  void Assign(const TChartAxisTitle& source);
  // Visible with a caption, and the pixel inside the frame (turned by Angle).
  bool Clicked(int32_t x, int32_t y) const;

 private:
  int32_t fAngle = 0;
};

// One custom label of an axis: its value and text (empty: the value's label text),
// drawn in a frame of its own: white, transparent until asked for, with its own
// font. Changing the value or the text repaints the chart.
class TAxisItem : public TChartCustomShape {
 public:
  TAxisItem(TCustomChartPanel* parent, double value, const std::string& text);
  double Value() const { return fValue; }
  void SetValue(double value) { Change(fValue, value); }
  const std::string& Text() const { return fText; }
  void SetText(const std::string& value) { Change(fText, value); }

 private:
  double fValue;
  std::string fText;
};

// An axis's custom labels and the frame they share (Format, transparent). While
// Automatic, each draw refills the list with the labels it computed; the first Add
// switches Automatic off, and from then on the items are drawn instead of computed
// labels, each in its own frame and font.
class TAxisItems {
 public:
  explicit TAxisItems(TCustomChartPanel* parent);
  TAxisItem& Add(double value, const std::string& text = {}) {
    fAutomatic = false;
    return Append(value, text);
  }
  // Frees the items and repaints.
  void Clear();
  int32_t Count() const { return static_cast<int32_t>(fItems.size()); }
  TAxisItem& operator[](int32_t index) { return *fItems[static_cast<size_t>(index)]; }
  const TAxisItem& operator[](int32_t index) const { return *fItems[static_cast<size_t>(index)]; }
  bool Automatic() const { return fAutomatic; }
  void SetAutomatic(bool value) { fAutomatic = value; }
  // Records a computed label, keeping Automatic.
  TAxisItem& Append(double value, const std::string& text);
  // The shared frame, then every item again (value and text); Automatic as the source's.
  void Assign(const TAxisItems& source);
  TChartShape Format;

 private:
  TCustomChartPanel* fParent;
  bool fAutomatic = true;
  std::vector<std::unique_ptr<TAxisItem>> fItems;
};

// Sender; var X, Y, Z; var Text; var DrawLabel.
using TAxisDrawLabelEvent =
    std::function<void(TChartAxis& sender, int32_t& x, int32_t& y, int32_t& z, std::string& text, bool& draw)>;

class TChartAxis {
 public:
  // Registers with the chart's axes list; unregisters when destroyed.
  explicit TChartAxis(IAxisPanel& chart, bool horizontal = false, bool otherSide = false);
  virtual ~TChartAxis();
  TChartAxis(const TChartAxis&) = delete;
  TChartAxis& operator=(const TChartAxis&) = delete;

  // Copies the settings (not the working state, the chart or the followed axis).
  virtual void Assign(const TChartAxis& source);

  // [SECTION] Range
  // Fixes the range: the automatic flags go off, the ends are swapped when given
  // in reverse, a span below 1e-10 becomes 1e-10; NaN ends count as 0 and ends
  // beyond +-AxisValueLimit are clamped. Repeated on every axis that follows this
  // one. Never raises.
  void SetMinMax(double aMin, double aMax);
  // The working range from the series or the settings, then its scale and rounding.
  void AdjustMaxMin();
  void RecalcScale();
  void RoundMinMax();
  // Start, end and centre from the chart rectangle and the percent positions.
  void CalcAxisPositions();
  // Widens the working range so that the given pixel margins stay free.
  void AdjustMaxMinRect(const TRect& rect);
  void Scroll(double offset, bool checkLimits);
  int32_t CalcZPos() const;

  // [SECTION] Increment
  // The label step in force (>= 1e-12, or a date-time step).
  double CalcIncrement();
  double CalcLabelsIncrement(int32_t maxLabels);
  double CalcIncrementForSize(int32_t size);
  // Extent of a value's label along the axis, in pixels.
  int32_t LabelWidth(double value);
  // LogarithmicBase raised to the rounded logarithm of x; x itself when it is not
  // above 0 or not finite.
  double RoundToLogBase(double x) const;
  // Advances a label value by a step: in calendar units for exact date-time axes
  // with steps of 15 days and longer, else by the step in days.
  void IncDecDateTime(bool up, double& value, double step, int32_t stepIndex) const;

  // [SECTION] Label texts
  virtual std::string LabelValue(double value);
  virtual TAxisLabelStyle CalcLabelStyle() const;
  TAxisLabelStyle LabelStyleInForce() const { return fLabelStyle == talAuto ? CalcLabelStyle() : fLabelStyle; }
  bool IsDateTime() const;
  // Refreshes the cached IsDateTime answer (done at every layout).
  void RefreshDateTime() { fIsDateTime = IsDateTime(); }
  bool ShowsDateTime() const { return fIsDateTime; }

  // [SECTION] Label values
  // The values that get labels in a draw of a value axis (talValue), largest
  // first for stepped labels: the handler's values with OnGetNextAxisLabel, the
  // powers of the base on a logarithmic axis without Increment, else the steps.
  // At most AxisMaxLabels values (AxisMaxEventLabels from a handler).
  // Logarithmic labels also give, while the minor grid is visible, the values of
  // two ticks without labels: one below the minimum (where the minor grid starts)
  // and the first power when it lies above the maximum.
  struct TExtraTicks {
    std::optional<double> Below, Above;
  };
  std::vector<double> LabelValues(TExtraTicks* extraTicks = nullptr);

  // [SECTION] Layout and drawing (AxisDrawing.cpp)
  // Room across the axis for its line and ticks, and for its labels.
  int32_t CalcTicksSize() const;
  int32_t CalcLabelsSize();
  // The widest label of the axis's value labels (talValue), in the canvas's font.
  int32_t MaxLabelsWidth();
  // Lays the axis out in the rectangle: with Shrink it takes room for title,
  // labels and ticks from the rectangle's side, else it only places itself.
  void CalcRect(TRect& rect, bool shrink);
  // Draws title, labels, line, ticks, grid and minor marks on the chart's canvas.
  void Draw(bool calcPosAxis);
  // One label or title text at (x, y); z is the depth of depth-axis labels. A frame
  // of its own (the title's, a custom item's) gets its bounds and, unless
  // transparent, is drawn under the text.
  void DrawAxisLabel(int32_t x, int32_t y, int32_t angle, const std::string& text, TChartCustomShape* frame = nullptr,
                     int32_t z = 0);
  // The grid lines at the ticks of the last draw (walls drawn over the series
  // bring them back), within the suppression flags.
  void DrawGrid();
  // Set by the chart while it draws grid lines again over walls: leave out the
  // lines on the back wall, or those along the depth on the floor and side wall.
  bool HideBackGrid = false;
  bool HideSideGrid = false;
  // The axis line and its label band hold the pixel (in 3D at the axis' side of the
  // depth: the back for axes on the other side).
  bool Clicked(int32_t x, int32_t y);
  // Tick pixels of the last draw, one per label.
  const std::vector<int32_t>& TickPositions() const { return fTicks; }
  int32_t PosAxis() const { return fPosAxis; }
  int32_t PosLabels() const { return fPosLabels; }
  int32_t PosTitle() const { return fPosTitle; }
  // Whether the chart shows the axis in the current frame (hit tests need it).
  bool Shown() const { return fShownThisFrame; }
  void SetShown(bool value) { fShownThisFrame = value; }

  TChartAxisPen AxisPen;
  TAxisGridPen Grid;
  TDarkGrayPen Ticks;
  TDarkGrayPen TicksInner;
  TDarkGrayPen MinorTicks;
  TChartHiddenPen MinorGrid;
  TChartAxisTitle Title;
  TAxisItems Items;
  // The font of the labels: that of the items' shared frame.
  TChartFont& LabelsFont;
  int32_t TickLength = 4;
  int32_t TickInnerLength = 0;
  int32_t MinorTickLength = 2;
  bool TickOnLabelsOnly = true;
  bool LabelsOnAxis = true;
  // Labels are drawn: the visibility of the items' shared frame.
  bool Labels() const { return Items.Format.Visible(); }
  void SetLabels(bool value) { Items.Format.SetVisible(value); }
  int32_t LabelsSize = 0;
  int32_t TitleSize = 0;
  TAxisLabelAlign LabelsAlign = alDefault;
  // Extra pixels kept free before the minimum and after the maximum.
  int32_t MinimumOffset = 0;
  int32_t MaximumOffset = 0;
  double PositionPercent = 0;
  TChartUnits PositionUnits = muPercent;
  TAxisDrawLabelEvent OnDrawLabel;

  // [SECTION] Pixel mapping
  // Chooses the value-to-pixel mapping from the kind of axis: depth, logarithmic,
  // or linear (by integer steps when the chart's axes list asks for fast mapping).
  // Run whenever one of those settings changes.
  void SetCalcPosValue();
  int32_t CalcPosValue(double value) const { return fHorizontal ? CalcXPosValue(value) : CalcYPosValue(value); }
  int32_t CalcXPosValue(double value) const;
  int32_t CalcYPosValue(double value) const;
  double CalcPosPoint(int32_t pixel) const;

  // [SECTION] Properties
  IAxisPanel& ParentChart() const { return fChart; }
  bool Automatic() const { return fAutomatic; }
  void SetAutomatic(bool value);
  bool AutomaticMaximum() const { return fAutomaticMaximum; }
  void SetAutomaticMaximum(bool value);
  bool AutomaticMinimum() const { return fAutomaticMinimum; }
  void SetAutomaticMinimum(bool value);
  double Minimum() const { return fMinimumValue; }
  void SetMinimum(double value);
  double Maximum() const { return fMaximumValue; }
  void SetMaximum(double value);
  double Increment() const { return fDesiredIncrement; }
  void SetIncrement(double value);
  bool Logarithmic() const { return fLogarithmic; }
  void SetLogarithmic(bool value);
  double LogarithmicBase() const { return fLogarithmicBase; }
  void SetLogarithmicBase(double value);
  TAxisLabelStyle LabelStyle() const { return fLabelStyle; }
  void SetLabelStyle(TAxisLabelStyle value);
  int32_t LabelsSeparation() const { return fLabelsSeparation; }
  void SetLabelsSeparation(int32_t value);
  int32_t LabelsAngle() const { return fLabelsAngle; }
  void SetLabelsAngle(int32_t value) { Change(fLabelsAngle, value % 360); }
  bool LabelsAlternate() const { return fLabelsAlternate; }
  void SetLabelsAlternate(bool value) { Change(fLabelsAlternate, value); }
  // Labels in scientific notation are drawn as the mantissa followed by the
  // exponent in a font one point smaller, raised.
  bool LabelsExponent() const { return fLabelsExponent; }
  void SetLabelsExponent(bool value) { Change(fLabelsExponent, value); }
  bool LabelsMultiLine() const { return fLabelsMultiLine; }
  void SetLabelsMultiLine(bool value) { Change(fLabelsMultiLine, value); }
  bool Inverted() const { return fInverted; }
  virtual void SetInverted(bool value) { Change(fInverted, value); }
  bool Horizontal() const { return fHorizontal; }
  void SetHorizontal(bool value) {
    Change(fHorizontal, value);
    SetCalcPosValue();
  }
  bool OtherSide() const { return fOtherSide; }
  void SetOtherSide(bool value) { Change(fOtherSide, value); }
  bool RoundFirstLabel() const { return fRoundFirstLabel; }
  void SetRoundFirstLabel(bool value) { Change(fRoundFirstLabel, value); }
  bool ExactDateTime() const { return fExactDateTime; }
  void SetExactDateTime(bool value) { Change(fExactDateTime, value); }
  bool MaximumRound() const { return fMaximumRound; }
  void SetMaximumRound(bool value) { Change(fMaximumRound, value); }
  bool MinimumRound() const { return fMinimumRound; }
  void SetMinimumRound(bool value) { Change(fMinimumRound, value); }
  const std::string& AxisValuesFormat() const { return fAxisValuesFormat; }
  void SetAxisValuesFormat(const std::string& value) { Change(fAxisValuesFormat, value); }
  // Qt notation; empty: chosen from the range.
  const std::string& DateTimeFormat() const { return fDateTimeFormat; }
  void SetDateTimeFormat(const std::string& value) { Change(fDateTimeFormat, value); }
  double StartPosition() const { return fStartPosition; }
  void SetStartPosition(double value) { Change(fStartPosition, value); }
  double EndPosition() const { return fEndPosition; }
  void SetEndPosition(double value) { Change(fEndPosition, value); }
  double ZPosition() const { return fZPosition; }
  // 0 is stored as 0.01.
  void SetZPosition(double value) { Change(fZPosition, value == 0 ? 0.01 : value); }
  int32_t MinorTickCount() const { return fMinorTickCount; }
  void SetMinorTickCount(int32_t value) { Change(fMinorTickCount, value); }
  bool Visible() const { return fVisible; }
  void SetVisible(bool value) { Change(fVisible, value); }
  bool IsDepthAxis() const { return fIsDepthAxis; }
  void SetDepthAxis(bool value) {
    fIsDepthAxis = value;
    SetCalcPosValue();
  }

  // The axis whose range this one repeats (custom axes). Refused (false, the old
  // one kept) when it would close a cycle of following axes.
  TChartAxis* FollowedAxis() const { return fMasterAxis; }
  bool SetFollowedAxis(TChartAxis* axis);

  // Working state of the last layout.
  double MinAxis() const { return fMinAxis; }
  double MaxAxis() const { return fMaxAxis; }
  double Range() const { return fRange; }
  int32_t IStartPos() const { return fIStartPos; }
  int32_t IEndPos() const { return fIEndPos; }
  int32_t IAxisSize() const { return fIAxisSize; }
  int32_t ICenterPos() const { return fICenterPos; }
  // Sets the pixel span directly (layout passes and tests).
  void SetPositions(int32_t startPos, int32_t endPos);

  // Minor marks between two ticks: the count in force, 0 for a count below 1.
  int32_t MinorTicksBetween() const { return fMinorTickCount > 0 ? fMinorTickCount : 0; }

 protected:
  template <class T>
  void Change(T& field, const T& value) {
    if (field == value) return;
    field = value;
    fChart.Invalidate();
  }
  // Writes Inverted without a repaint (the depth axes keep theirs equal).
  void StoreInverted(bool value) { fInverted = value; }

 private:
  // How values become pixels, chosen by SetCalcPosValue.
  enum TPosMapping : uint8_t { pmLinear, pmLinearFast, pmLogarithmic, pmDepth };
  int32_t CalcPosByMapping(double value, bool horizontal) const;
  int32_t CalcLinearPos(double value, bool horizontal) const;
  int32_t CalcLogPos(double value, bool horizontal) const;
  int32_t CalcDepthPos(double value) const;
  double EffectiveLogBase() const;
  int32_t DateTimeStepIndex(double step) const;
  void AddValueLabels(std::vector<double>& out, double step, int32_t stepIndex);
  void AddLogLabels(std::vector<double>& out, TExtraTicks* extraTicks);
  bool AddEventLabels(std::vector<double>& out);
  int32_t InternalCalcSize(TChartFont& font, int32_t angle, const std::string& text, int32_t size);
  int32_t ShrinkSide(TRect& rect, int32_t size) const;
  int32_t SidePosition(const TRect& rect) const;
  int32_t Outward(int32_t position, int32_t size) const;
  int32_t ApplyPositionPercent(int32_t position) const;
  int32_t DepthAxisPosition() const;
  void DrawLabelFrame(TChartCustomShape& frame, int32_t x, int32_t y, int32_t angle, uint32_t align,
                      const std::string& text, int32_t z);
  void DrawExponentText(TCanvas3D& canvas, int32_t x, int32_t y, int32_t z, const std::string& text);
  void DrawValueLabel(double value);
  void DrawTextLabels(bool markTexts);
  void DrawSeriesTitleLabels();
  void DrawLabelAt(int32_t pixel, const std::string& text, TAxisItem* item = nullptr);
  void DrawAxisLine(int32_t wall);
  void DrawTick(TCanvas3D& canvas, int32_t p, int32_t offset, int32_t length, int32_t wall);
  void DrawGridLine(TCanvas3D& canvas, int32_t p);
  void DrawMinorMarks(TCanvas3D& canvas, bool grid, int32_t wall);

  IAxisPanel& fChart;
  TChartAxis* fMasterAxis = nullptr;
  bool fInSetMinMax = false;

  bool fAutomatic = true;
  bool fAutomaticMaximum = true;
  bool fAutomaticMinimum = true;
  double fMinimumValue = 0;
  double fMaximumValue = 0;
  double fDesiredIncrement = 0;
  bool fLogarithmic = false;
  double fLogarithmicBase = 10;
  TAxisLabelStyle fLabelStyle = talAuto;
  int32_t fLabelsSeparation = 10;
  int32_t fLabelsAngle = 0;
  bool fLabelsAlternate = false;
  bool fLabelsMultiLine = false;
  bool fLabelsExponent = false;
  bool fInverted = false;
  bool fHorizontal;
  bool fOtherSide;
  bool fRoundFirstLabel = true;
  bool fExactDateTime = true;
  bool fMaximumRound = false;
  bool fMinimumRound = false;
  std::string fAxisValuesFormat = "#,##0.###";
  std::string fDateTimeFormat;
  double fStartPosition = 0;
  double fEndPosition = 100;
  double fZPosition;
  int32_t fMinorTickCount = 3;
  bool fVisible = true;
  bool fIsDepthAxis = false;
  TPosMapping fPosMapping = pmLinear;

  // Working state.
  double fMinAxis = 0;
  double fMaxAxis = 0;
  double fRange = 0;
  bool fRangeZero = true;
  double fAxisSizeRange = 0;
  double fLogMin = 0;
  double fLogMax = 0;
  double fLogRange = 0;
  double fLogSizeRange = 0;
  int32_t fIStartPos = 0;
  int32_t fIEndPos = 0;
  int32_t fIAxisSize = 0;
  int32_t fICenterPos = 0;
  int32_t fIZPos = 0;
  bool fIsDateTime = false;

  // Layout and drawing.
  int32_t fPosAxis = 0;
  int32_t fPosLabels = 0;
  int32_t fPosTitle = 0;
  std::vector<int32_t> fTicks;
  std::vector<double> fDrawnLabelValues;
  bool fAlternateToggle = true;
  bool fShownThisFrame = true;
};

// The depth axis: shows values when a series has depth values, else the titles.
class TChartDepthAxis : public TChartAxis {
 public:
  explicit TChartDepthAxis(IAxisPanel& chart, bool otherSide = false);
  TAxisLabelStyle CalcLabelStyle() const override;
  // Also inverts the chart's other depth axis.
  void SetInverted(bool value) override;
};

}  // namespace qira

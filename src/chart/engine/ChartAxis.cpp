// Axis arithmetic: range, steps, label texts and values, pixel mapping, settings.
//
// Sections: [SECTION] Range, [SECTION] Increment, [SECTION] Label texts,
// [SECTION] Label values, [SECTION] Pixel mapping, [SECTION] Properties,
// [SECTION] Depth axis
#include "chart/engine/ChartAxis.h"

#include <algorithm>
#include <cmath>

#include "chart/draw/ChartCanvas.h"
#include "chart/draw/ChartMessages.h"
#include "chart/draw/ChartRoutines.h"
#include "chart/draw/DateTimeSteps.h"
#include "chart/engine/AxisLabels.h"
#include "chart/engine/ChartValueList.h"  // Reaches up: an axis shows dates when its series' value list holds them.
#include "platform/Rounding.h"

namespace qira {

namespace {

// Growing a step doubles it at least, so a finite start reaches any finite range
// in far fewer rounds than this; the bound only guards against a value that
// never grows.
constexpr int32_t MaxGrowSteps = 4096;

// The class library's text for a number that is no date-time.
constexpr std::string_view InvalidDateTimeText = "Invalid argument to date encode";

double SanitizeAxisValue(double v) {
  if (std::isnan(v)) return 0;
  return std::clamp(v, -AxisValueLimit, AxisValueLimit);
}

int32_t ClampPixel(double p) {
  if (std::isnan(p)) return 0;
  return RoundToInt(std::clamp(p, -static_cast<double>(AxisPixelLimit), static_cast<double>(AxisPixelLimit)));
}

int32_t ClampPixel64(int64_t p) {
  return static_cast<int32_t>(std::clamp<int64_t>(p, -AxisPixelLimit, AxisPixelLimit));
}

}  // namespace

TChartAxis::TChartAxis(IAxisPanel& chart, bool horizontal, bool otherSide)
    : Title(dynamic_cast<TCustomChartPanel*>(&chart)),
      Items(dynamic_cast<TCustomChartPanel*>(&chart)),
      LabelsFont(Items.Format.Font()),
      fChart(chart),
      fHorizontal(horizontal),
      fOtherSide(otherSide),
      fZPosition(otherSide ? 100 : 0) {
  AxisPen.SetWidth(2);
  const TNotifyEvent changed = [this] { fChart.Invalidate(); };
  for (TChartPen* pen : {static_cast<TChartPen*>(&AxisPen), static_cast<TChartPen*>(&Grid),
                         static_cast<TChartPen*>(&Ticks), static_cast<TChartPen*>(&TicksInner),
                         static_cast<TChartPen*>(&MinorTicks), static_cast<TChartPen*>(&MinorGrid)})
    pen->OnChange = changed;
  LabelsFont.OnChange = changed;
  fChart.AxisCreated(*this);
  SetCalcPosValue();
}

TChartAxisTitle::TChartAxisTitle(TCustomChartPanel* parent) : TChartCustomShape(parent) { SetDefaultTransparent(true); }

void TChartAxisTitle::Assign(const TChartAxisTitle& source) {
  fAngle = source.fAngle;
  Caption = source.Caption;
  TChartCustomShape::Assign(source);
}

bool TChartAxisTitle::Clicked(int32_t x, int32_t y) const {
  if (!Visible() || Caption.empty()) return false;
  if (fAngle == 0) return PointInRect(ShapeBounds, x, y);
  const std::array<TPoint, 4> corners = RectRotatedPoints(ShapeBounds, fAngle);
  return PointInPolygon(TPoint{x, y}, corners, 3);
}

TAxisItem::TAxisItem(TCustomChartPanel* parent, double value, const std::string& text)
    : TChartCustomShape(parent), fValue(value), fText(text) {
  SetColor(clWhite);
  SetDefaultTransparent(true);
}

TAxisItems::TAxisItems(TCustomChartPanel* parent) : Format(parent), fParent(parent) { Format.SetTransparent(true); }

void TAxisItems::Clear() {
  fItems.clear();
  if (fParent != nullptr) fParent->Invalidate();
}

TAxisItem& TAxisItems::Append(double value, const std::string& text) {
  fItems.push_back(std::make_unique<TAxisItem>(fParent, value, text));
  return *fItems.back();
}

void TAxisItems::Assign(const TAxisItems& source) {
  Format.Assign(source.Format);
  fItems.clear();
  for (const auto& item : source.fItems) Append(item->Value(), item->Text()).Assign(*item);
  fAutomatic = source.fAutomatic;
}

TChartAxisPen::TChartAxisPen(TNotifyEvent onChange) : TChartPen(std::move(onChange)) { SetWidth(2); }

namespace {

// Stores a pen setting and tells the pen's owner, when it changes.
template <class T>
void ChangePenField(TChartPen& pen, T& field, T value) {
  if (field == value) return;
  field = value;
  if (pen.OnChange) pen.OnChange();
}

}  // namespace

void TChartAxisPen::SetLineMode(TPenLineMode value) { ChangePenField(*this, fLineMode, value); }
void TAxisGridPen::SetCentered(bool value) { ChangePenField(*this, fCentered, value); }
void TAxisGridPen::SetDrawEvery(int32_t value) { ChangePenField(*this, fDrawEvery, value); }
void TAxisGridPen::SetZPosition(double value) { ChangePenField(*this, fZPosition, value); }

TChartAxis::~TChartAxis() {
  for (TChartAxis* axis : fChart.AxesList())
    if (axis->fMasterAxis == this) axis->fMasterAxis = nullptr;
  fChart.AxisDestroyed(*this);
}

void TChartAxis::Assign(const TChartAxis& s) {
  AxisPen.Assign(s.AxisPen);
  AxisPen.SetLineMode(s.AxisPen.LineMode());
  Grid.Assign(s.Grid);
  Grid.SetCentered(s.Grid.Centered());
  Grid.SetDrawEvery(s.Grid.DrawEvery());
  Grid.SetZPosition(s.Grid.ZPosition());
  Ticks.Assign(s.Ticks);
  TicksInner.Assign(s.TicksInner);
  MinorTicks.Assign(s.MinorTicks);
  MinorGrid.Assign(s.MinorGrid);
  LabelsFont.Assign(s.LabelsFont);
  Title.Assign(s.Title);
  Items.Assign(s.Items);
  TickLength = s.TickLength;
  TickInnerLength = s.TickInnerLength;
  MinorTickLength = s.MinorTickLength;
  TickOnLabelsOnly = s.TickOnLabelsOnly;
  LabelsOnAxis = s.LabelsOnAxis;
  SetLabels(s.Labels());
  LabelsSize = s.LabelsSize;
  TitleSize = s.TitleSize;
  LabelsAlign = s.LabelsAlign;
  MinimumOffset = s.MinimumOffset;
  MaximumOffset = s.MaximumOffset;
  PositionPercent = s.PositionPercent;
  PositionUnits = s.PositionUnits;
  fLabelsAlternate = s.fLabelsAlternate;
  fLabelsAngle = s.fLabelsAngle;
  fLabelsMultiLine = s.fLabelsMultiLine;
  fLabelsExponent = s.fLabelsExponent;
  fLabelsSeparation = s.fLabelsSeparation;
  fLabelStyle = s.fLabelStyle;
  fMinorTickCount = s.fMinorTickCount;
  fAxisValuesFormat = s.fAxisValuesFormat;
  fDesiredIncrement = s.fDesiredIncrement;
  fMaximumValue = s.fMaximumValue;
  fMaximumRound = s.fMaximumRound;
  fMinimumValue = s.fMinimumValue;
  fMinimumRound = s.fMinimumRound;
  fAutomatic = s.fAutomatic;
  fAutomaticMaximum = s.fAutomaticMaximum;
  fAutomaticMinimum = s.fAutomaticMinimum;
  fDateTimeFormat = s.fDateTimeFormat;
  fLogarithmic = s.fLogarithmic;
  fLogarithmicBase = s.fLogarithmicBase;
  fInverted = s.fInverted;
  fExactDateTime = s.fExactDateTime;
  fRoundFirstLabel = s.fRoundFirstLabel;
  fIsDepthAxis = s.fIsDepthAxis;
  fStartPosition = s.fStartPosition;
  fEndPosition = s.fEndPosition;
  fVisible = s.fVisible;
  fHorizontal = s.fHorizontal;
  fOtherSide = s.fOtherSide;
  fZPosition = s.fZPosition;
  SetCalcPosValue();
  fChart.Invalidate();
}

// [SECTION] Range

void TChartAxis::SetMinMax(double aMin, double aMax) {
  aMin = SanitizeAxisValue(aMin);
  aMax = SanitizeAxisValue(aMax);
  Change(fAutomatic, false);
  Change(fAutomaticMaximum, false);
  Change(fAutomaticMinimum, false);
  if (aMin > aMax) std::swap(aMin, aMax);
  Change(fMinimumValue, aMin);
  Change(fMaximumValue, aMax);
  if (fMaximumValue - fMinimumValue < 1e-10) Change(fMaximumValue, fMinimumValue + 1e-10);
  // Following axes cannot form a cycle (SetFollowedAxis refuses one); the flag
  // stops a repeat all the same.
  if (fInSetMinMax) return;
  fInSetMinMax = true;
  TScopeExit done([this] { fInSetMinMax = false; });
  const std::vector<TChartAxis*> axes = fChart.AxesList();
  for (TChartAxis* axis : axes)
    if (axis != this && axis->fMasterAxis == this) axis->SetMinMax(fMinimumValue, fMaximumValue);
}

bool TChartAxis::SetFollowedAxis(TChartAxis* axis) {
  size_t hops = 0;
  for (const TChartAxis* a = axis; a; a = a->fMasterAxis) {
    if (a == this || ++hops > fChart.AxesList().size() + 1) return false;
  }
  fMasterAxis = axis;
  return true;
}

void TChartAxis::AdjustMaxMin() {
  RefreshDateTime();
  if (fAutomatic || fAutomaticMaximum) fMaximumValue = fChart.MaxValueOfAxis(*this, false, fHorizontal);
  if (fAutomatic || fAutomaticMinimum) fMinimumValue = fChart.MaxValueOfAxis(*this, true, fHorizontal);
  fMaxAxis = SanitizeAxisValue(fMaximumValue);
  fMinAxis = SanitizeAxisValue(fMinimumValue);
  RecalcScale();
  RoundMinMax();
}

void TChartAxis::RecalcScale() {
  fRange = fMaxAxis - fMinAxis;
  fRangeZero = fRange == 0;
  fAxisSizeRange = fRangeZero ? 0 : fIAxisSize / fRange;
  if (fLogarithmic) {
    fLogMin = fMinAxis > 0 ? std::log(fMinAxis) : 0;
    fLogMax = fMaxAxis > 0 ? std::log(fMaxAxis) : 0;
    fLogRange = fLogMax - fLogMin;
    fLogSizeRange = fLogRange != 0 ? fIAxisSize / fLogRange : 0;
  }
  fIZPos = CalcZPos();
}

void TChartAxis::RoundMinMax() {
  if (fIAxisSize == 0 || fRangeZero) return;
  bool applied = false, haveStep = false;
  double step = 0;
  if (fMaximumRound && (fAutomatic || fAutomaticMaximum)) {
    step = CalcIncrement();
    haveStep = true;
    if (step != 0) {
      fMaxAxis = std::ceil(fMaxAxis / step) * step;
      applied = true;
    }
  }
  if (fMinimumRound && (fAutomatic || fAutomaticMinimum)) {
    if (!haveStep) step = CalcIncrement();
    if (step != 0) {
      fMinAxis = std::floor(fMinAxis / step) * step;
      applied = true;
    }
  }
  if (applied) RecalcScale();
}

void TChartAxis::SetPositions(int32_t startPos, int32_t endPos) {
  fIStartPos = ClampPixel64(startPos);
  fIEndPos = ClampPixel64(endPos);
  fIAxisSize = fIEndPos - fIStartPos;
  fICenterPos = (fIStartPos + fIEndPos) / 2;
  RecalcScale();
}

void TChartAxis::CalcAxisPositions() {
  const TRect r = fChart.ChartRect();
  int32_t size, origin;
  if (fIsDepthAxis) {
    size = fChart.Depth3D();
    origin = 0;
  } else if (fHorizontal) {
    size = r.Width();
    origin = r.Left;
  } else {
    size = r.Height();
    origin = r.Top;
  }
  const int64_t start = int64_t{origin} + RoundToInt64(size * 0.01 * fStartPosition);
  const int64_t end = int64_t{origin} + RoundToInt64(size * 0.01 * fEndPosition);
  SetPositions(ClampPixel64(start), ClampPixel64(end));
}

int32_t TChartAxis::CalcZPos() const {
  const int32_t s = fIsDepthAxis ? fChart.ChartRect().Height() : fChart.Depth3D();
  return RoundToInt(s * fZPosition * 0.01);
}

void TChartAxis::AdjustMaxMinRect(const TRect& rect) {
  const int32_t first = fHorizontal ? rect.Left : rect.Top;
  const int32_t second = fHorizontal ? rect.Right : rect.Bottom;
  const int32_t oldStart = fIStartPos, oldEnd = fIEndPos;
  fIStartPos = ClampPixel64(int64_t{fIStartPos} + first);
  fIEndPos = ClampPixel64(int64_t{fIEndPos} - second);
  fIAxisSize = fIEndPos - fIStartPos;
  double tmpMin = CalcPosPoint(oldStart);
  double tmpMax = CalcPosPoint(oldEnd);
  CalcAxisPositions();
  if (tmpMin > tmpMax) std::swap(tmpMin, tmpMax);
  fMaxAxis = SanitizeAxisValue(tmpMax);
  fMinAxis = SanitizeAxisValue(tmpMin);
  RecalcScale();
}

void TChartAxis::Scroll(double offset, bool checkLimits) {
  if (checkLimits) {
    bool allowed = false;
    if (offset > 0)
      allowed = fChart.MaxValueOfAxis(*this, false, fHorizontal) > fMaximumValue;
    else if (offset < 0)
      allowed = fChart.MaxValueOfAxis(*this, true, fHorizontal) < fMinimumValue;
    if (!allowed) return;
  }
  fAutomatic = fAutomaticMaximum = fAutomaticMinimum = false;
  fMaximumValue += offset;
  fMinimumValue += offset;
  fChart.Invalidate();
}

// [SECTION] Increment

double TChartAxis::EffectiveLogBase() const {
  const double b = fLogarithmicBase;
  if (!(b > 0) || b == 1 || !std::isfinite(b)) return 10;
  // A base below 1 has the same powers as its reciprocal; steps grow by the latter.
  return b < 1 ? 1 / b : b;
}

double TChartAxis::RoundToLogBase(double x) const {
  if (!(x > 0) || !std::isfinite(x)) return x;
  const double b = EffectiveLogBase();
  return std::pow(b, RoundHalfEven(std::log(x) / std::log(b)));
}

int32_t TChartAxis::LabelWidth(double value) {
  const std::string text = LabelValue(value);
  int32_t lines = 0;
  const int32_t width = fChart.MultiLineTextWidth(text, lines);
  const bool across =
      fHorizontal ? (fLabelsAngle == 90 || fLabelsAngle == 270) : (fLabelsAngle == 0 || fLabelsAngle == 180);
  return across ? SaturateCast<int32_t>(static_cast<double>(fChart.CanvasFontHeight()) * lines) : width;
}

double TChartAxis::CalcIncrement() {
  const double inc = fDesiredIncrement;
  double first = fMinAxis, last = fMaxAxis;
  if (fRoundFirstLabel && inc != 0) {
    first = RoundHalfEven(fMinAxis / inc) * inc;
    last = std::trunc(fMaxAxis / inc) * inc;
  }
  double middle = (first + last) / 2;
  // Halving until the sample shows decimals ends within ~1100 rounds for any finite value.
  for (int32_t i = 0; i < MaxGrowSteps && std::isfinite(middle) && middle != 0 && middle == std::trunc(middle); ++i)
    middle *= 0.5;
  int32_t size = std::max({LabelWidth(middle), LabelWidth(last), LabelWidth(first)});
  if (inc != 0) size = std::max({size, LabelWidth(last - inc), LabelWidth(first + inc)});
  double step = CalcIncrementForSize(size);
  if (!fLabelsAlternate && fDesiredIncrement == 0 && step >= 2) {
    // A second run at step 1 finds the nicest step that fits; the temporary
    // Increment goes back to 0 on every exit.
    SetIncrement(1);
    TScopeExit restore([this] { SetIncrement(0); });
    step = CalcIncrement();
  }
  if (fLabelsAlternate) step = fLogarithmic ? step / EffectiveLogBase() : step * 0.5;
  return step;
}

double TChartAxis::CalcIncrementForSize(int32_t size) {
  int32_t maxLabels = 1;
  if (size > 0 && fIAxisSize > 0) {
    int64_t s = size;
    if (fLabelsSeparation > 0) s += RoundToInt64(fLabelsSeparation * 0.01 * size);
    maxLabels = RoundToInt(static_cast<double>(fIAxisSize) / static_cast<double>(s));
  }
  return CalcLabelsIncrement(maxLabels);
}

double TChartAxis::CalcLabelsIncrement(int32_t maxLabels) {
  const double firstStep = DateTimeStep[dtOneMicroSecond];
  if (maxLabels <= 0) return fIsDateTime ? firstStep : 1e-12;
  if (fIsDateTime) {
    double step = std::max(firstStep, fDesiredIncrement);
    if (step > 0) {
      if (fRange / step >= 1000000) step = fRange / 1000000;
      for (int32_t i = 0; i < MaxGrowSteps && std::isfinite(step); ++i) {
        if (!(RoundHalfEven(fRange / step) > maxLabels)) break;
        if (step >= DateTimeStep[dtOneYear])
          step *= 2;
        else if (step >= DateTimeStep[dtOneSecond])
          step = NextDateTimeStep(step);
        else
          step = NextNiceStep(step);
      }
    }
    return std::max(firstStep, step);
  }
  double step;
  if (fDesiredIncrement > 0) {
    step = fDesiredIncrement;
  } else if (fRange == 0) {
    step = 1;
  } else {
    step = std::fabs(fRange) / (static_cast<double>(maxLabels) + 1);
    if (fLogarithmic) step = RoundToLogBase(step);
    if (std::fabs(fRange) >= 1.1) {
      for (int32_t i = 0; i < fChart.SeriesCount(); ++i) {
        const IChartSeries& s = fChart.SeriesAt(i);
        if (s.Active() && s.AssociatedToAxis(*this) && s.YMandatory() == fHorizontal && s.Count() <= maxLabels) {
          step = std::max(step, 1.0);
          break;
        }
      }
    }
    // A range below the smallest double step gives 0; grow from the smallest step instead.
    if (!(step > 0)) step = 1e-12;
  }
  if (fLabelsSeparation > 0) {
    double n = static_cast<double>(maxLabels) + 1;
    for (int32_t i = 0; i < MaxGrowSteps; ++i) {
      const double q = fRange / step;
      if (std::fabs(q) < 2147483647.0) n = RoundHalfEven(q);
      if (n > maxLabels) step = fLogarithmic ? step * EffectiveLogBase() : NextNiceStep(step);
      if (!(n > maxLabels && step <= fRange && !std::isinf(step))) break;
    }
  }
  if (std::isinf(step)) return fRange;
  return std::max(1e-12, step);
}

void TChartAxis::IncDecDateTime(bool up, double& value, double step, int32_t stepIndex) const {
  const bool calendar = fExactDateTime && fIsDateTime && stepIndex >= dtHalfMonth && stepIndex <= dtOneYear;
  StepDateTime(calendar, up, value, stepIndex, step);
}

// [SECTION] Label texts

std::string TChartAxis::LabelValue(double value) {
  std::string text;
  if (fIsDateTime) {
    if (value >= 0) {
      const std::string format = fDateTimeFormat.empty() ? DateTimeFormatForStep(fRange) : fDateTimeFormat;
      text = FormatDateTimeValue(format, value);
    }
  } else {
    text = FormatFloat(fAxisValuesFormat, value, UserNumberSeparators());
  }
  if (fChart.OnGetAxisLabel) fChart.OnGetAxisLabel(*this, nullptr, -1, text);
  if (fLabelsMultiLine) std::replace(text.begin(), text.end(), ' ', '\r');
  return text;
}

TAxisLabelStyle TChartAxis::CalcLabelStyle() const {
  TAxisLabelStyle result = talNone;
  for (int32_t i = 0; i < fChart.SeriesCount(); ++i) {
    const IChartSeries& s = fChart.SeriesAt(i);
    if (!s.Active() || !s.AssociatedToAxis(*this)) continue;
    result = talValue;
    if (!s.HasZValues() && s.YMandatory() == fHorizontal && s.HasTextLabels()) return talText;
  }
  return result;
}

bool TChartAxis::IsDateTime() const {
  for (int32_t i = 0; i < fChart.SeriesCount(); ++i) {
    const IChartSeries& s = fChart.SeriesAt(i);
    if (!s.Active()) continue;
    if (const TChartValueList* list = s.ValuesListForAxis(*this)) return list->DateTime();
  }
  return false;
}

// [SECTION] Label values

int32_t TChartAxis::DateTimeStepIndex(double step) const {
  if (!fIsDateTime || !fExactDateTime || fDesiredIncrement == 0) return dtNone;
  int32_t index = FindDateTimeStep(fDesiredIncrement);
  while (index < dtOneYear && DateTimeStep[static_cast<size_t>(index)] < step) ++index;
  return index;
}

std::vector<double> TChartAxis::LabelValues(TExtraTicks* extraTicks) {
  std::vector<double> out;
  const double step = CalcIncrement();
  const int32_t stepIndex = DateTimeStepIndex(step);
  const bool calendarStep = stepIndex >= dtHalfMonth && stepIndex <= dtOneYear;
  if (!((step > 0 || calendarStep) && fMinAxis <= fMaxAxis)) return out;
  if (fChart.OnGetNextAxisLabel && AddEventLabels(out)) return out;
  if (fLogarithmic && fDesiredIncrement == 0 && !fChart.OnGetNextAxisLabel)
    AddLogLabels(out, extraTicks);
  else
    AddValueLabels(out, step, stepIndex);
  return out;
}

void TChartAxis::AddValueLabels(std::vector<double>& out, double step, int32_t stepIndex) {
  if (!(std::fabs(fRange / step) < AxisMaxLabels)) return;
  double start;
  if (fExactDateTime && fIsDateTime && stepIndex >= dtOneDay && stepIndex <= dtOneYear)
    start = TruncDateToStep(fMaxAxis, stepIndex);
  else if (FloatToStr(fMaxAxis) == FloatToStr(fMinAxis) || !fRoundFirstLabel)
    start = fMaxAxis;
  else
    start = std::trunc(fMaxAxis / step) * step;
  // fMaxAxis / step may overflow for a tiny step on a huge value.
  if (!std::isfinite(start)) start = fMaxAxis;
  for (int32_t i = 0; start > fMaxAxis; ++i) {
    const double before = start;
    IncDecDateTime(false, start, step, stepIndex);
    if (!(start < before) || i >= AxisMaxLabels) {
      start = fMaxAxis;  // the step does not move the value at this magnitude
      break;
    }
  }
  if (fRangeZero || std::fabs(fMaxAxis - fMinAxis) < 1e-10 || FloatToStr(start) == FloatToStr(start - step)) {
    out.push_back(start);
    return;
  }
  const double limit = fMinAxis < 0 ? fMinAxis : (fMinAxis - 1e-12) / (1 + 1e-12);
  while (start >= limit && static_cast<int32_t>(out.size()) < AxisMaxLabels) {
    out.push_back(start);
    const double before = start;
    IncDecDateTime(false, start, step, stepIndex);
    if (!(start < before)) break;
  }
}

void TChartAxis::AddLogLabels(std::vector<double>& out, TExtraTicks* extraTicks) {
  if (fMinAxis == fMaxAxis) return;
  double start;
  if (fMinAxis > 0) {
    start = RoundToLogBase(fMinAxis);
  } else if (fMinAxis == 0) {
    fMinAxis = 0.1;
    start = fMinAxis;
  } else {
    fMinAxis = RoundToLogBase(1e-10);
    start = fMinAxis;
  }
  const double base = fLogarithmicBase;
  const bool minorGrid = extraTicks != nullptr && MinorGrid.Visible();
  if (minorGrid) {
    // base ^ (log of the minimum − 1), unless the start already lies below the minimum.
    const double below = start < fMinAxis ? start : fMinAxis / base;
    if (below < fMinAxis) extraTicks->Below = below;
  }
  if (minorGrid && start > fMaxAxis) extraTicks->Above = start;
  if (!(base > 1) || !std::isfinite(base)) return;
  double v = start;
  for (int32_t i = 0; v <= fMaxAxis && i < AxisMaxLabels; ++i) {
    if (v >= fMinAxis) out.push_back(v);
    const double next = v * base;
    if (!(next > v)) break;
    v = next;
  }
  if (!out.empty()) return;
  // No power of the base lies in the range: label it in steps of start / base,
  // unless that would take AxisMaxLabels steps or more.
  const double inc = start / base;
  if (!(inc > 0) || !((fMaxAxis - start) / inc < AxisMaxLabels)) return;
  for (v = start; v <= fMaxAxis && static_cast<int32_t>(out.size()) < AxisMaxLabels; v += inc)
    if (v >= fMinAxis) out.push_back(v);
}

bool TChartAxis::AddEventLabels(std::vector<double>& out) {
  double value = fMinAxis;
  bool stop = true;
  for (int32_t index = 0; index < AxisMaxEventLabels; ++index) {
    fChart.OnGetNextAxisLabel(*this, index, value, stop);
    if (stop) return index > 0;
    if (!std::isfinite(value) || value < fMinAxis - 1e-7 || value > fMaxAxis + 1e-7) return true;
    out.push_back(value);
  }
  return true;
}

// [SECTION] Pixel mapping

void TChartAxis::SetCalcPosValue() {
  if (fIsDepthAxis)
    fPosMapping = pmDepth;
  else if (fLogarithmic)
    fPosMapping = pmLogarithmic;
  else
    fPosMapping = fChart.AxesList().FastCalc ? pmLinearFast : pmLinear;
}

int32_t TChartAxis::CalcXPosValue(double value) const { return CalcPosByMapping(value, true); }

int32_t TChartAxis::CalcYPosValue(double value) const { return CalcPosByMapping(value, false); }

int32_t TChartAxis::CalcPosByMapping(double value, bool horizontal) const {
  switch (fPosMapping) {
    case pmDepth: return CalcDepthPos(value);
    case pmLogarithmic: return CalcLogPos(value, horizontal);
    case pmLinear:
    case pmLinearFast: break;
  }
  return CalcLinearPos(value, horizontal);
}

int32_t TChartAxis::CalcLinearPos(double value, bool horizontal) const {
  if (fRangeZero) return fICenterPos;
  double d = (value - fMinAxis) * fAxisSizeRange;
  if (std::isnan(d)) d = 0;
  if (fPosMapping == pmLinearFast) {
    const int64_t r = RoundToInt64(d);
    const int64_t p =
        horizontal ? (fInverted ? fIEndPos - r : fIStartPos + r) : (fInverted ? fIStartPos + r : fIEndPos - r);
    return ClampPixel64(p);
  }
  const double p =
      horizontal ? (fInverted ? fIEndPos - d : fIStartPos + d) : (fInverted ? fIStartPos + d : fIEndPos - d);
  return ClampPixel(p);
}

int32_t TChartAxis::CalcLogPos(double value, bool horizontal) const {
  if (fLogRange == 0) return fICenterPos;
  if (!(value > 0)) return horizontal ? (fInverted ? fIEndPos : fIStartPos) : (fInverted ? fIStartPos : fIEndPos);
  const double lv = std::log(value);
  double t = (fInverted ? fLogMax - lv : lv - fLogMin) * fLogSizeRange;
  t = std::clamp(t, -2.0 * AxisPixelLimit, 2.0 * AxisPixelLimit);
  const int64_t r = RoundToInt64(t);
  return ClampPixel64(horizontal ? fIStartPos + r : fIEndPos - r);
}

int32_t TChartAxis::CalcDepthPos(double value) const {
  if (fRangeZero) return fICenterPos;
  const double d = (fInverted ? fMaxAxis - value : value - fMinAxis) * fAxisSizeRange;
  return ClampPixel(d);
}

double TChartAxis::CalcPosPoint(int32_t pixel) const {
  if (fLogarithmic) {
    const bool low = fHorizontal != fInverted;  // the start pixel shows the minimum
    if (pixel == fIStartPos) return low ? fMinAxis : fMaxAxis;
    if (pixel == fIEndPos) return low ? fMaxAxis : fMinAxis;
    if (fLogRange != 0 && fIAxisSize != 0) {
      const double t = static_cast<double>(fInverted ? fIEndPos - pixel : pixel - fIStartPos) * fLogRange / fIAxisSize;
      return fHorizontal ? std::exp(fLogMin + t) : std::exp(fLogMax - t);
    }
    return fMinAxis;
  }
  if (fIAxisSize < 1) return 0;
  const double t =
      static_cast<double>(fInverted ? int64_t{fIEndPos} - pixel : int64_t{pixel} - fIStartPos) * fRange / fIAxisSize;
  return fHorizontal ? fMinAxis + t : fMaxAxis - t;
}

// [SECTION] Properties

void TChartAxis::SetAutomatic(bool value) {
  Change(fAutomatic, value);
  if (!fChart.IsLoading()) {
    Change(fAutomaticMaximum, value);
    Change(fAutomaticMinimum, value);
  }
}

void TChartAxis::SetAutomaticMaximum(bool value) {
  Change(fAutomaticMaximum, value);
  if (!value)
    Change(fAutomatic, false);
  else if (fAutomaticMinimum)
    Change(fAutomatic, true);
}

void TChartAxis::SetAutomaticMinimum(bool value) {
  Change(fAutomaticMinimum, value);
  if (!value)
    Change(fAutomatic, false);
  else if (fAutomaticMaximum)
    Change(fAutomatic, true);
}

void TChartAxis::SetMinimum(double value) {
  if (!fChart.IsLoading() && value > fMaximumValue) throw AxisException(std::string(ChartMsg::AxisMinMax));
  Change(fMinimumValue, value);
}

void TChartAxis::SetMaximum(double value) {
  if (!fChart.IsLoading() && value < fMinimumValue) throw AxisException(std::string(ChartMsg::AxisMaxMin));
  Change(fMaximumValue, value);
}

void TChartAxis::SetIncrement(double value) {
  // NaN is refused with the negative values: it would make every step NaN.
  if (!(value >= 0)) throw AxisException(std::string(ChartMsg::AxisIncrement));
  // A date-time axis takes only a step that is itself a date-time (years 1 to 9999).
  if (IsDateTime() && FormatDateTimeValue("yyyy", value).empty()) throw AxisException(std::string(InvalidDateTimeText));
  Change(fDesiredIncrement, value);
}

void TChartAxis::SetLogarithmic(bool value) {
  if (value == fLogarithmic) return;
  if (value) {
    if (IsDateTime()) throw AxisException(std::string(ChartMsg::DateTimeLogarithmic));
    fLogarithmic = true;
    AdjustMaxMin();
    if (fMinAxis < 0 || fMaxAxis < 0) {
      fLogarithmic = false;
      AdjustMaxMin();
      throw AxisException(std::string(ChartMsg::LogarithmicMinMax));
    }
    fLogarithmic = false;
  }
  Change(fLogarithmic, value);
  SetCalcPosValue();
}

void TChartAxis::SetLogarithmicBase(double value) {
  if (value == 1 || !(value > 0) || !std::isfinite(value)) throw AxisException(std::string(ChartMsg::AxisLogBase));
  Change(fLogarithmicBase, value);
}

void TChartAxis::SetLabelStyle(TAxisLabelStyle value) {
  fLabelStyle = value;
  fChart.Invalidate();
}

void TChartAxis::SetLabelsSeparation(int32_t value) {
  if (value < 0) throw AxisException(std::string(ChartMsg::LabelsSeparation));
  Change(fLabelsSeparation, value);
}

// [SECTION] Depth axis

TChartDepthAxis::TChartDepthAxis(IAxisPanel& chart, bool otherSide) : TChartAxis(chart, false, otherSide) {
  SetDepthAxis(true);
  SetVisible(false);
}

TAxisLabelStyle TChartDepthAxis::CalcLabelStyle() const {
  const IAxisPanel& chart = ParentChart();
  for (int32_t i = 0; i < chart.SeriesCount(); ++i) {
    const IChartSeries& s = chart.SeriesAt(i);
    if (s.Active() && (s.HasZValues() || s.MaxZValue() != s.MinZValue())) return talValue;
  }
  return talText;
}

void TChartDepthAxis::SetInverted(bool value) {
  TChartAxis::SetInverted(value);
  for (TChartAxis* axis : ParentChart().AxesList())
    if (auto* depth = dynamic_cast<TChartDepthAxis*>(axis); depth && depth != this) depth->StoreInverted(value);
}

}  // namespace qira

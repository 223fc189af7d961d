#include "chart/engine/SeriesFunctions.h"

#include <algorithm>
#include <cmath>
#include <typeinfo>

#include "chart/draw/ChartMessages.h"
#include "chart/draw/DateTimeSteps.h"
#include "chart/engine/ChartAxis.h"
#include "chart/engine/ChartSeries.h"  // Reaches up: a function reads its source series and fills its own.
#include "platform/Rounding.h"

namespace qira {

void TChartFunction::SetPeriod(double value) {
  if (!(value >= 0)) throw ChartException(std::string(ChartMsg::FunctionPeriod));
  if (fPeriod == value) return;
  fPeriod = value;
  ReCalculate();
}

void TChartFunction::SetPeriodStyle(TFunctionPeriodStyle value) {
  if (fPeriodStyle == value) return;
  fPeriodStyle = value;
  ReCalculate();
}

void TChartFunction::SetPeriodAlign(TFunctionPeriodAlign value) {
  if (fPeriodAlign == value) return;
  fPeriodAlign = value;
  ReCalculate();
}

void TChartFunction::Assign(const TChartFunction& source) {
  fPeriod = source.fPeriod;
  fPeriodStyle = source.fPeriodStyle;
  fPeriodAlign = source.fPeriodAlign;
}

std::unique_ptr<TChartFunction> TChartFunction::NewOfSameKind() const {
  if (typeid(*this) != typeid(TChartFunction)) return nullptr;
  return std::make_unique<TChartFunction>();
}

void TChartFunction::ReCalculate() {
  if (fParent && !NoRecalc) fParent->CheckDataSource();
}

double TChartFunction::Calculate(TChartSeries&, int32_t, int32_t) { return 0; }
double TChartFunction::CalculateMany(const std::vector<TChartSeries*>&, int32_t) { return 0; }

void TChartFunction::AddResult(double x, double value) {
  if (!fParent) return;
  if (fParent->YMandatory())
    fParent->AddXY(x, value);
  else
    fParent->AddXY(value, x);
}

void TChartFunction::AddPoints(TChartSeries& source) {
  TChartValueList& xList = source.NotMandatoryValueList();
  if (fPeriod == 0)
    CalculateAllPoints(source, xList);
  else
    CalculateByPeriod(source, xList);
}

void TChartFunction::AddPointsMany(const std::vector<TChartSeries*>& sources) {
  if (!fParent || sources.empty()) return;
  const TChartSeries* longest =
      *std::max_element(sources.begin(), sources.end(),
                        [](const TChartSeries* a, const TChartSeries* b) { return a->Count() < b->Count(); });
  for (int32_t i = 0; i < longest->Count(); ++i) {
    const double x = longest->NotMandatoryValueList().Value(i);
    const double v = CalculateMany(sources, i);
    if (fParent->YMandatory())
      fParent->AddXY(x, v, longest->Label(i));
    else
      fParent->AddXY(v, x, longest->Label(i));
  }
}

void TChartFunction::CalculateAllPoints(TChartSeries& source, TChartValueList& xList) {
  const double v = Calculate(source, -1, -1);
  if (fParent && fParent->FunctionCentre) {
    AddResult(xList.MinValue() + xList.Range() / 2, v);
  } else {
    AddResult(xList.MinValue(), v);
    AddResult(xList.MaxValue(), v);
  }
}

void TChartFunction::CalculatePeriod(TChartSeries& source, double x, int32_t first, int32_t last) {
  AddResult(x, Calculate(source, first, last));
}

void TChartFunction::CalculateByPeriod(TChartSeries& source, TChartValueList& xList) {
  const int32_t count = source.Count();
  // A period of points holds at least one point, so every round moves on.
  const int32_t periodPoints = std::max(1, RoundToInt(fPeriod));
  const TChartAxis* axis = fParent ? fParent->GetHorizAxis() : nullptr;
  int32_t start = 0;
  while (start < count) {
    int32_t end;
    double stepEnd = 0;
    if (fPeriodStyle == psNumPoints) {
      end = static_cast<int32_t>(std::min<int64_t>(int64_t{start} + periodPoints - 1, INT32_MAX));
    } else {
      stepEnd = xList.Value(start);
      const int32_t stepIndex = FindDateTimeStep(fPeriod);
      if (axis)
        axis->IncDecDateTime(true, stepEnd, fPeriod, stepIndex);
      else
        stepEnd += fPeriod;
      stepEnd -= 0.001 * fPeriod;
      end = start;
      while (end + 1 < count && xList.Value(end + 1) < stepEnd) ++end;
    }
    if (end >= count) break;
    const double first = xList.Value(start);
    const double last = fPeriodStyle == psNumPoints ? xList.Value(end) : stepEnd;
    const double x = fPeriodAlign == paFirst ? first : (fPeriodAlign == paLast ? last : (first + last) / 2);
    if (fPeriodStyle == psRange && !(xList.Value(start) < stepEnd))
      AddResult(x, 0);
    else
      CalculatePeriod(source, x, start, end);
    start = end + 1;
  }
}

}  // namespace qira

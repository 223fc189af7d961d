#include "chart/engine/ChartValueList.h"

#include <algorithm>
#include <cmath>

#include "chart/draw/ChartRoutines.h"
#include "chart/engine/ChartSeries.h"  // Reaches up: a list tells its owning series of every change.
#include "platform/Services.h"

namespace qira {

TChartValueList::TChartValueList(TChartSeries* owner, std::string name) : fOwner(owner), fName(std::move(name)) {
  ClearValues();
}

TChartValueList::~TChartValueList() = default;

void TChartValueList::ClearValues() {
  fCount = 0;
  std::vector<double>().swap(fValues);
  fStatsStale = true;
}

void TChartValueList::MakeRoom() {
  if (fCount >= Capacity()) fValues.resize(fValues.size() + GrowBy);
}

void TChartValueList::InsertValue(int32_t index, double value) {
  MakeRoom();
  const auto at = fValues.begin() + index;
  std::move_backward(at, fValues.begin() + fCount, fValues.begin() + fCount + 1);
  *at = value;
  ++fCount;
  fStatsStale = true;
}

int32_t TChartValueList::AddValue(double value) {
  fTempValue = value;
  int32_t index = fCount;
  if (fOrder != loNone && fCount > 0) {
    const double last = Last();
    if (fOrder == loAscending) {
      if (value < last) {
        int32_t i = fCount - 1;
        while (i >= 0 && Value(i) > value) --i;
        index = i + 1;
      }
    } else if (value > last) {
      int32_t i = fCount - 1;
      while (i >= 0 && Value(i) < value) --i;
      index = i + 1;
    }
  }
  InsertValue(index, value);
  return index;
}

void TChartValueList::DeleteValue(int32_t index) { DeleteRange(index, 1); }

void TChartValueList::DeleteRange(int32_t index, int32_t quantity) {
  quantity = std::clamp(quantity, 0, fCount - index);
  std::move(fValues.begin() + index + quantity, fValues.begin() + fCount, fValues.begin() + index);
  fCount -= quantity;
  fStatsStale = true;
}

void TChartValueList::SetValue(int32_t index, double value) {
  fValues[static_cast<size_t>(index)] = value;
  fStatsStale = true;
}

void TChartValueList::ExchangeValues(int32_t a, int32_t b) {
  std::swap(fValues[static_cast<size_t>(a)], fValues[static_cast<size_t>(b)]);
  fStatsStale = true;
  if (fOwner) fOwner->NotifyValue(TValueEvent::veModify, a);
}

void TChartValueList::FillSequence() {
  for (int32_t i = 0; i < fCount; ++i) fValues[static_cast<size_t>(i)] = i;
  fStatsStale = true;
  if (fOwner) fOwner->NotifyValue(TValueEvent::veModify, 0);
}

void TChartValueList::RotateValues() {
  if (fCount > 0) std::rotate(fValues.begin(), fValues.begin() + 1, fValues.begin() + fCount);
}

int32_t TChartValueList::CompareValues(int32_t a, int32_t b) const {
  const double va = Value(a), vb = Value(b);
  const int32_t r = va < vb ? -1 : (va > vb ? 1 : 0);
  return fOrder == loDescending ? -r : r;
}

void TChartValueList::SortValues() {
  if (fOrder == loNone) return;
  auto compare = [this](int32_t a, int32_t b) { return CompareValues(a, b); };
  auto exchange = [this](int32_t a, int32_t b) {
    if (fOwner)
      fOwner->SwapValueIndex(a, b);
    else
      std::swap(fValues[static_cast<size_t>(a)], fValues[static_cast<size_t>(b)]);
  };
  QuickSortIndices(0, fCount - 1, compare, exchange);
  fStatsStale = true;
}

void TChartValueList::RecalcStats(int32_t startIndex) {
  if (Capacity() < fCount) fCount = Capacity();
  if (fCount < 1) {
    fMaxValue = fMinValue = fTotalABS = 0;
  } else {
    if (startIndex == 0) {
      fMaxValue = fMinValue = Value(0);
      fTotalABS = std::fabs(Value(0));
      startIndex = 1;
    }
    for (int32_t i = startIndex; i < fCount; ++i) {
      const double v = Value(i);
      if (v < fMinValue)
        fMinValue = v;
      else if (v > fMaxValue)
        fMaxValue = v;
      fTotalABS += std::fabs(v);
    }
  }
  fStatsStale = false;
}

double TChartValueList::MaxValue() {
  if (fStatsStale) RecalcStats(0);
  return fMaxValue;
}
double TChartValueList::MinValue() {
  if (fStatsStale) RecalcStats(0);
  return fMinValue;
}
double TChartValueList::AbsoluteTotal() {
  if (fStatsStale) RecalcStats(0);
  return fTotalABS;
}
double TChartValueList::Range() { return MaxValue() - MinValue(); }

void TChartValueList::Assign(const TChartValueList& source) {
  fOrder = source.fOrder;
  fDateTime = source.fDateTime;
  fValueSource = source.fValueSource;
}

void TChartValueList::SetDateTime(bool value) {
  if (fDateTime == value) return;
  fDateTime = value;
  if (fOwner) fOwner->Repaint();
}

void TChartValueList::SetValueSource(const std::string& value) {
  if (fValueSource == value) return;
  fValueSource = value;
  if (fOwner) fOwner->CheckDataSource();
}

// [SECTION] Properties

namespace {
constexpr const char* kOrderIdents[] = {"loNone", "loAscending", "loDescending"};
}  // namespace

void TChartValueList::WriteProperties(TStreamedProperties& block) const {
  if (fDateTime != DefaultDateTime) AddBoolean(block, "DateTime", fDateTime);
  AddString(block, "Name", fName);
  AddIdent(block, "Order", kOrderIdents[fOrder]);
  if (!fValueSource.empty()) AddString(block, "ValueSource", fValueSource);
}

void TChartValueList::ReadProperties(const TStreamedProperties& block) {
  const bool dateTime = PropertyBoolean(block, "DateTime", fDateTime);
  std::string name = PropertyString(block, "Name", fName);
  const int order = PropertyIdent(block, "Order", kOrderIdents, fOrder);
  const std::string valueSource = PropertyString(block, "ValueSource", fValueSource);
  const double multiplier = PropertyDouble(block, "Multiplier", 1.0);
  fName = std::move(name);
  fOrder = static_cast<TChartListOrder>(order);
  SetDateTime(dateTime);
  SetValueSource(valueSource);
  // Stored forms of old versions scaled values by a multiplier; they must be rebuilt.
  if (multiplier != 1.0) Services().Messages->ShowMessage(std::string(MultiplierObsolete), TMessageKind::Error);
}

}  // namespace qira

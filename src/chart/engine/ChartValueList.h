#pragma once
// One dimension of a series' data: one double per point, in point order, kept in
// ascending or descending order as values are added when asked, with lazily
// computed statistics.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "chart/draw/ChartInterfaces.h"
#include "chart/draw/ChartStreaming.h"

namespace qira {

class TChartSeries;

class TChartValueList {
 public:
  // Storage grows by this many values whenever an add finds no free slot.
  static constexpr int32_t GrowBy = 1000;

  // A series makes its lists through TChartSeries::AddValueList, which keeps them.
  TChartValueList(TChartSeries* owner, std::string name);
  virtual ~TChartValueList();
  TChartValueList(const TChartValueList&) = delete;
  TChartValueList& operator=(const TChartValueList&) = delete;

  // Stores the value as the pending value and inserts it by the list's order;
  // returns its index. Equal values stay before the new one.
  virtual int32_t AddValue(double value);
  virtual void ClearValues();
  // Index in 0..Count; the caller checks it.
  virtual void InsertValue(int32_t index, double value);
  virtual void DeleteValue(int32_t index);
  void DeleteRange(int32_t index, int32_t quantity);
  void ExchangeValues(int32_t a, int32_t b);
  void FillSequence();
  // Moves the first value to the end.
  void RotateValues();
  int32_t CompareValues(int32_t a, int32_t b) const;
  // Sorts by Order through the owner's SwapValueIndex (all lists of a point move).
  void SortValues();

  int32_t Count() const { return fCount; }
  int32_t Capacity() const { return static_cast<int32_t>(fValues.size()); }
  double Value(int32_t index) const { return fValues[static_cast<size_t>(index)]; }
  void SetValue(int32_t index, double value);
  double First() const { return Value(0); }
  double Last() const { return Value(fCount - 1); }

  // 0 for an empty list.
  double MaxValue();
  double MinValue();
  double AbsoluteTotal();
  double Range();

  // Copies Order, DateTime and ValueSource (not the values, not the name).
  void Assign(const TChartValueList& source);

  const std::string& Name() const { return fName; }
  void SetName(std::string name) { fName = std::move(name); }
  TChartListOrder Order() const { return fOrder; }
  void SetOrder(TChartListOrder order) { fOrder = order; }
  bool DateTime() const { return fDateTime; }
  void SetDateTime(bool value);
  const std::string& ValueSource() const { return fValueSource; }
  void SetValueSource(const std::string& value);
  // DateTime is streamed only when it differs from this (False at creation).
  bool DefaultDateTime = false;

  // Published properties: DateTime (see DefaultDateTime), Name, Order, ValueSource.
  void WriteProperties(TStreamedProperties& block) const;
  // A bad value raises EChartStreamError and changes nothing. The old "Multiplier"
  // is read and dropped; any value other than 1 shows MultiplierObsolete once.
  void ReadProperties(const TStreamedProperties& block);
  static constexpr std::string_view MultiplierObsolete =
      "Error: Multiplier property is obsolete.\rModify ChartDefs (enable Multiplier) and recompile.";

  double PendingValue() const { return fTempValue; }
  void SetPendingValue(double value) { fTempValue = value; }
  TChartSeries* Owner() const { return fOwner; }

 private:
  void RecalcStats(int32_t startIndex);
  void MakeRoom();

  TChartSeries* fOwner;
  int32_t fCount = 0;
  std::vector<double> fValues;
  std::string fName;
  TChartListOrder fOrder = loNone;
  bool fDateTime = false;
  std::string fValueSource;
  double fTempValue = 0;
  double fMaxValue = 0;
  double fMinValue = 0;
  double fTotalABS = 0;
  bool fStatsStale = true;
};

// A series' value lists in creation order: X at 0, Y at 1, extra lists from 2.
class TChartValueLists {
 public:
  void Add(std::unique_ptr<TChartValueList> list) { fItems.push_back(std::move(list)); }
  void Clear() { fItems.clear(); }
  int32_t Count() const { return static_cast<int32_t>(fItems.size()); }
  TChartValueList& operator[](int32_t index) const { return *fItems[static_cast<size_t>(index)]; }

 private:
  std::vector<std::unique_ptr<TChartValueList>> fItems;
};

}  // namespace qira

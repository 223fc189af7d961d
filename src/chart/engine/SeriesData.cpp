#include "chart/engine/SeriesData.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "chart/draw/ChartMessages.h"
#include "chart/draw/ChartRoutines.h"
#include "chart/draw/DateTimeSteps.h"
#include "chart/engine/ChartAxis.h"
#include "platform/CodePage.h"

#include <QDate>

namespace qira {

namespace {

constexpr size_t kMarkPositionSize = 34;

// The colour a point stores: clChartDefault where it shows its automatic colour.
TColor StoredPointColor(const TChartSeries& series, int32_t index) {
  if (!series.HasColorList()) return clChartDefault;
  const TColor c = series.ValueColor(index);
  const TColor automatic = series.ColorEachPoint()
                               ? (series.ParentChart() ? series.ParentChart()->GetDefaultColor(index) : GetDefaultColor(index))
                               : series.SeriesColor();
  return c == automatic ? clChartDefault : c;
}

std::string StoredLabel(const TChartSeries& series, int32_t index) {
  std::string label = Utf8ToCp1252(series.Label(index));
  if (label.size() > kSeriesDataLabelLimit) label.resize(kSeriesDataLabelLimit);
  return label;
}

// [SECTION] Writer

class TRecordWriter {
 public:
  void UInt8(uint8_t v) { bytes.push_back(static_cast<char>(v)); }
  void Int32(int32_t v) { Raw(&v, 4); }
  void UInt32(uint32_t v) { Raw(&v, 4); }
  void Double(double v) { Raw(&v, 8); }
  void Raw(const void* p, size_t n) { bytes.append(static_cast<const char*>(p), n); }
  std::string bytes;
};

void WriteMarkPosition(TRecordWriter& w, const TSeriesMarkPosition& p) {
  w.Int32(p.ArrowFrom.X);  // arrow start x, y
  w.Int32(p.ArrowFrom.Y);
  w.UInt8(p.ArrowFix ? 1 : 0);  // arrow start fixed
  w.Int32(p.ArrowTo.X);  // arrow end x, y
  w.Int32(p.ArrowTo.Y);
  w.UInt8(p.Custom ? 1 : 0);  // custom flag
  w.Int32(p.Height);
  w.Int32(p.LeftTop.X);  // left-top x, y
  w.Int32(p.LeftTop.Y);
  w.Int32(p.Width);
}

// [SECTION] Reader

class TRecordReader {
 public:
  explicit TRecordReader(std::string_view bytes) : fBytes(bytes) {}
  size_t Remaining() const { return fBytes.size() - fPos; }
  void Need(size_t n) const {
    if (n > Remaining()) throw EChartStreamError("Series Data record is damaged: it ends early");
  }
  uint8_t UInt8() {
    Need(1);
    return static_cast<uint8_t>(fBytes[fPos++]);
  }
  int32_t Int32() {
    int32_t v;
    Raw(&v, 4);
    return v;
  }
  uint32_t UInt32() {
    uint32_t v;
    Raw(&v, 4);
    return v;
  }
  double Double() {
    double v;
    Raw(&v, 8);
    return v;
  }
  std::string Text(size_t n) {
    Need(n);
    std::string s(fBytes.substr(fPos, n));
    fPos += n;
    return s;
  }
  void Raw(void* p, size_t n) {
    Need(n);
    std::memcpy(p, fBytes.data() + fPos, n);
    fPos += n;
  }

 private:
  std::string_view fBytes;
  size_t fPos = 0;
};

TSeriesMarkPosition ReadMarkPosition(TRecordReader& r) {
  TSeriesMarkPosition p;
  p.ArrowFrom.X = r.Int32();
  p.ArrowFrom.Y = r.Int32();
  p.ArrowFix = r.UInt8() != 0;
  p.ArrowTo.X = r.Int32();
  p.ArrowTo.Y = r.Int32();
  p.Custom = r.UInt8() != 0;
  p.Height = r.Int32();
  p.LeftTop.X = r.Int32();
  p.LeftTop.Y = r.Int32();
  p.Width = r.Int32();
  return p;
}

struct TReadPoint {
  double X = 0, Y = 0;
  TColor Color = clChartDefault;
  std::string Label;
  std::vector<double> Extra;
  TSeriesMarkPosition Position;
};

}  // namespace

uint8_t SeriesDataFlags(const TChartSeries& series) {
  const int32_t n = series.Count();
  const TChartValueList& x = series.NotMandatoryValueList();
  uint8_t flags = 0;
  for (int32_t i = 0; series.XValuesInData && i < n; ++i)
    if (x.Value(i) != i) {
      flags |= sdXValues;
      break;
    }
  for (int32_t i = 0; i < n; ++i)
    if (StoredPointColor(series, i) != clChartDefault) {
      flags |= sdColors;
      break;
    }
  for (int32_t i = 0; i < n; ++i)
    if (!series.Label(i).empty()) {
      flags |= sdLabels;
      break;
    }
  if (series.Marks().HasCustomPositions()) flags |= sdMarkPositions;
  return flags;
}

std::string WriteSeriesData(const TChartSeries& series) {
  const uint8_t flags = SeriesDataFlags(series);
  const int32_t n = series.Count();
  TRecordWriter w;
  w.UInt8(flags);
  w.Int32(n);
  TChartValueLists& lists = const_cast<TChartSeries&>(series).ValuesList();
  for (int32_t i = 0; i < n; ++i) {
    if (flags & sdXValues) w.Double(series.NotMandatoryValueList().Value(i));
    w.Double(series.MandatoryValueList().Value(i));
    if (flags & sdColors) w.UInt32(StoredPointColor(series, i));
    if (flags & sdLabels) {
      const std::string label = StoredLabel(series, i);
      w.UInt8(static_cast<uint8_t>(label.size()));
      w.Raw(label.data(), label.size());
    }
    for (int32_t k = 2; k < lists.Count(); ++k) w.Double(lists[k].Value(i));
    if (flags & sdMarkPositions) {
      const TSeriesMarkPosition* p = series.Marks().PositionAt(i);
      WriteMarkPosition(w, p ? *p : TSeriesMarkPosition{});
    }
  }
  return w.bytes;
}

void ReadSeriesData(TChartSeries& series, std::string_view record) {
  TRecordReader r(record);
  const uint8_t flags = r.UInt8();
  if (flags & ~uint8_t{15}) throw EChartStreamError("Series Data record is damaged: unknown flags");
  const int32_t n = r.Int32();
  TChartValueLists& lists = series.ValuesList();
  const size_t extra = static_cast<size_t>(lists.Count() > 2 ? lists.Count() - 2 : 0);
  const size_t perPoint = 8 + ((flags & sdXValues) ? 8 : 0) + ((flags & sdColors) ? 4 : 0) +
                          ((flags & sdLabels) ? 1 : 0) + 8 * extra +
                          ((flags & sdMarkPositions) ? kMarkPositionSize : 0);
  if (n < 0 || static_cast<uint64_t>(n) * perPoint > r.Remaining())
    throw EChartStreamError("Series Data record is damaged: point count exceeds the record");

  std::vector<TReadPoint> points(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    TReadPoint& p = points[static_cast<size_t>(i)];
    p.X = (flags & sdXValues) ? r.Double() : i;
    p.Y = r.Double();
    if (flags & sdColors) p.Color = r.UInt32();
    if (flags & sdLabels) p.Label = Cp1252ToUtf8(r.Text(r.UInt8()));
    for (size_t k = 0; k < extra; ++k) p.Extra.push_back(r.Double());
    if (flags & sdMarkPositions) p.Position = ReadMarkPosition(r);
  }
  if (r.Remaining() != 0) throw EChartStreamError("Series Data record is damaged: bytes after the last point");

  series.Clear();
  series.BeginUpdate();
  const TScopeExit endUpdate([&] { series.EndUpdate(); });
  for (int32_t i = 0; i < n; ++i) {
    const TReadPoint& p = points[static_cast<size_t>(i)];
    for (size_t k = 0; k < extra; ++k) lists[static_cast<int32_t>(k) + 2].SetPendingValue(p.Extra[k]);
    const int32_t at = series.YMandatory() ? series.AddXY(p.X, p.Y, p.Label, p.Color)
                                           : series.AddXY(p.Y, p.X, p.Label, p.Color);
    if ((flags & sdMarkPositions) && at >= 0) {
      if (p.Position.Custom) {
        series.Marks().CustomPosition(at) = p.Position;
      } else {
        TSeriesMarkPosition computed = p.Position;
        series.Marks().StorePosition(at, computed);
      }
    }
  }
}

// [SECTION] Sample values

namespace {
uint32_t gRandSeed = 0;
}  // namespace

int32_t ChartRandom(int32_t n) {
  gRandSeed = gRandSeed * 0x08088405u + 1u;
  return n <= 0 ? 0 : static_cast<int32_t>((static_cast<uint64_t>(gRandSeed) * static_cast<uint32_t>(n)) >> 32);
}

namespace {

// Today as a date value (days since 1899-12-30), for the X values of a date-time list.
TDateTime Today() {
  const QDate today = QDate::currentDate();
  TDateTime date = 0;
  TryEncodeDate(today.year(), today.month(), today.day(), date);
  return date;
}

}  // namespace

void FillSampleValues(TChartSeries& series, int32_t n) {
  if (n < 0) throw ChartException(std::string(ChartMsg::FillSampleValues));
  if (n == 0) n = series.SampleCount > 0 ? series.SampleCount : kNumSampleValues;
  series.Clear();
  gRandSeed = static_cast<uint32_t>(ChartRandom(7774444));
  series.BeginUpdate();
  {
    const TScopeExit endUpdate([&] { series.EndUpdate(); });
    AddSampleValues(series, n, false);
    CheckOrder(series);
  }
  series.StoredData = false;
}

void AddSampleValues(TChartSeries& series, int32_t n, bool onlyMandatory) {
  if (n <= 0) return;
  double minX = 0, maxX = n - 1, minY = 0, maxY = 1000;
  if (series.XValues().DateTime()) {
    minX = Today();
    maxX = minX + n - 1;
  }
  IAxisPanel* chart = series.ParentChart();
  bool chartHasPoints = false;
  if (chart != nullptr)
    for (int32_t i = 0; i < chart->SeriesCount(); ++i)
      chartHasPoints |= chart->SeriesAt(i).Active() && chart->SeriesAt(i).Count() > 0;
  if (chartHasPoints && series.GetHorizAxis() != nullptr && series.GetVertAxis() != nullptr) {
    minX = chart->MaxValueOfAxis(*series.GetHorizAxis(), true, true);
    maxX = chart->MaxValueOfAxis(*series.GetHorizAxis(), false, true);
    minY = chart->MaxValueOfAxis(*series.GetVertAxis(), true, false);
    maxY = chart->MaxValueOfAxis(*series.GetVertAxis(), false, false);
    if (maxX == minX) maxX = maxX == 0 ? n - 1 : 2 * maxX;
    if (maxY == minY) maxY = maxY == 0 ? 1000 : 2 * maxY;
    if (!series.YMandatory()) {
      std::swap(minX, minY);
      std::swap(maxX, maxY);
    }
  }
  const double stepX = n > 1 ? (maxX - minX) / (n - 1) : maxX - minX;
  const double rangeY = std::clamp(maxY - minY, -2147483647.0, 2147483647.0);
  double y = minY + ChartRandom(100) * rangeY * 0.01;
  double x = minX;
  for (int32_t i = 0; i < n; ++i) {
    y = std::fabs(ChartRandom(100) * (rangeY * 0.25) * 0.01 + y - (rangeY * 0.25) * 0.5);
    if (onlyMandatory) {
      series.Add(y);
      continue;
    }
    if (series.YMandatory())
      series.AddXY(x, y);
    else
      series.AddXY(y, x);
    x += stepX;
  }
}

void CheckOrder(TChartSeries& series) {
  TChartValueList& mandatory = series.MandatoryValueList();
  if (mandatory.Order() == loNone) return;
  mandatory.SortValues();
  if (series.NotMandatoryValueList().ValueSource().empty()) series.NotMandatoryValueList().FillSequence();
  series.Repaint();
}

void PrepareForGallery(TChartSeries& series, bool enabled) {
  FillSampleValues(series, 4);
  series.Marks().SetVisible(false);
  series.Marks().Font().SetSize(7);
  series.Marks().SetArrowLength(4);
  series.Marks().SetDrawEvery(2);
  series.SetColorEachPoint(true);
  IAxisPanel* chart = series.ParentChart();
  const bool first = chart == nullptr || chart->SeriesCount() == 0 || &chart->SeriesAt(0) == &series;
  const int32_t entry = first ? 0 : 3;
  const TColor colour = chart != nullptr ? chart->GetDefaultColor(entry) : GetDefaultColor(entry);
  series.SetSeriesColor(enabled ? colour : clSilver);
}

void WriteSeriesDataProperty(TStreamedProperties& block, const TChartSeries& series) {
  AddBinary(block, "Data", WriteSeriesData(series));
}

bool ReadSeriesDataProperty(const TStreamedProperties& block, TChartSeries& series) {
  const TStreamedProperty* p = FindProperty(block, "Data");
  if (p == nullptr) return false;
  if (p->Type != TPropertyType::Binary) throw EChartStreamError("Series Data is not a binary value");
  ReadSeriesData(series, p->Text);
  return true;
}

}  // namespace qira

#pragma once
// The library-wide lists of series kinds and tool kinds that galleries and editors
// offer. Each is made on its first request and owns its records.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qira {

class TChartSeries;

struct TChartSeriesType {
  std::string ClassName;
  std::string Description;
  std::function<std::unique_ptr<TChartSeries>()> Create;
};

struct TChartToolType {
  std::string ClassName;
  std::string Description;
};

template <class Record>
class TChartTypeRegistry {
 public:
  Record& Add(Record record) {
    fItems.push_back(std::make_unique<Record>(std::move(record)));
    return *fItems.back();
  }
  // Frees every record.
  void Clear() { fItems.clear(); }
  int32_t Count() const { return static_cast<int32_t>(fItems.size()); }
  const Record& operator[](int32_t index) const { return *fItems[static_cast<size_t>(index)]; }

 private:
  std::vector<std::unique_ptr<Record>> fItems;
};

using TChartSeriesTypes = TChartTypeRegistry<TChartSeriesType>;
using TChartToolTypes = TChartTypeRegistry<TChartToolType>;

TChartSeriesTypes& ChartSeriesTypes();
TChartToolTypes& ChartToolTypes();

}  // namespace qira

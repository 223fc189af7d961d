#pragma once
// The base of functions that compute a series' points from its source series:
// one value over all points, or one value per period of points or of X range.
#include <cstdint>
#include <memory>
#include <vector>

namespace qira {

class TChartSeries;
class TChartValueList;

enum TFunctionPeriodStyle : uint8_t { psNumPoints, psRange };
enum TFunctionPeriodAlign : uint8_t { paFirst, paCenter, paLast };

class TChartFunction {
 public:
  // The parent series is the one the function computes (it owns the function).
  explicit TChartFunction(TChartSeries* parent = nullptr) : fParent(parent) {}
  virtual ~TChartFunction() = default;
  TChartFunction(const TChartFunction&) = delete;
  TChartFunction& operator=(const TChartFunction&) = delete;

  double Period() const { return fPeriod; }
  // Raises ChartException "Function Period should be >= 0" below 0 (and for NaN).
  void SetPeriod(double value);
  TFunctionPeriodStyle PeriodStyle() const { return fPeriodStyle; }
  void SetPeriodStyle(TFunctionPeriodStyle value);
  TFunctionPeriodAlign PeriodAlign() const { return fPeriodAlign; }
  void SetPeriodAlign(TFunctionPeriodAlign value);
  void Assign(const TChartFunction& source);
  // A new function of this one's kind, without parent and with default settings:
  // what a series copies a function through. Each derived kind overrides it; a
  // derived kind that does not gives null rather than a function of another kind.
  virtual std::unique_ptr<TChartFunction> NewOfSameKind() const;
  TChartSeries* ParentSeries() const { return fParent; }
  void SetParentSeries(TChartSeries* parent) { fParent = parent; }
  bool NoRecalc = false;

  // The value over the source's points First .. Last (-1, -1: all of them).
  virtual double Calculate(TChartSeries& source, int32_t first, int32_t last);
  // The value of point Index over several sources.
  virtual double CalculateMany(const std::vector<TChartSeries*>& sources, int32_t index);

  // Fills the parent from one source: all points (Period 0) or period by period.
  void AddPoints(TChartSeries& source);
  // Fills the parent from several sources, point by point of the longest.
  void AddPointsMany(const std::vector<TChartSeries*>& sources);
  virtual void CalculateAllPoints(TChartSeries& source, TChartValueList& xList);
  virtual void CalculateByPeriod(TChartSeries& source, TChartValueList& xList);
  virtual void CalculatePeriod(TChartSeries& source, double x, int32_t first, int32_t last);

  // Asks the parent series to compute itself again.
  void ReCalculate();

 private:
  void AddResult(double x, double value);

  TChartSeries* fParent;
  double fPeriod = 0;
  TFunctionPeriodStyle fPeriodStyle = psNumPoints;
  TFunctionPeriodAlign fPeriodAlign = paCenter;
};

}  // namespace qira

#pragma once
// Where a series takes its points from: other series (which notify it of every
// change) or a source component (TChartSeriesSource, the base of non-series data
// sources, which loads the series' points when opened). Both join a series through
// SetDataSource, which validates them first.
//
// Ownership: a source component belongs to whoever made it (a form, a test); the
// series only knows it. Either side going away unbinds the other.
#include <cstdint>
#include <string>
#include <vector>

#include "chart/engine/ChartSeries.h"

namespace qira {

class TChartSeriesSource {
 public:
  TChartSeriesSource() = default;
  // Closes, then unbinds from the series.
  virtual ~TChartSeriesSource();
  TChartSeriesSource(const TChartSeriesSource&) = delete;
  TChartSeriesSource& operator=(const TChartSeriesSource&) = delete;

  std::string Name;
  virtual std::string ClassName() const { return "TChartSeriesSource"; }

  bool Active() const { return fActive; }
  // A change with a bound series: True loads it (not while loading), False clears
  // its points (unless KeepSeriesPoints, or this or the series is going away).
  virtual void SetActive(bool value);
  // Closing leaves the series' points as they are.
  bool KeepSeriesPoints = false;
  // While set (the component is being read), opening does not load.
  bool Loading = false;

  TChartSeries* Series() const { return fSeries; }
  // Closes, unbinds the old series (which loses this as its source) and binds the
  // new one (which takes this as its source).
  void SetSeries(TChartSeries* series);

  // Whether the source can serve now (always here).
  virtual bool Available() const { return true; }
  // The name of the editor that edits this kind of source (none here).
  virtual std::string EditorName() const { return {}; }
  // Two queries kept for kinds of source to answer; 0 here, and nothing asks them.
  virtual int32_t ReservedQuery1() const { return 0; }
  virtual int32_t ReservedQuery2() const { return 0; }
  // The series' source component is of this object's class.
  virtual bool IsSourceOfSeries(const TChartSeries& series) const;

  void Open() { SetActive(true); }
  void Close();
  // Fills the bound series; nothing here (kinds of source override it).
  virtual void Load() {}
  // After reading: loads when Active.
  void Loaded();
  // The bound series is being destroyed: forget it.
  void SeriesDestroyed(TChartSeries& series);

 private:
  bool fActive = false;
  bool fDestroying = false;
  TChartSeries* fSeries = nullptr;
};

// [SECTION] Joining sources

// Validates source for the series: with a chart a series may not feed itself
// (ChartException "No valid DataSource: %s" with the source's name, or its class
// name); without a chart only another series is accepted (ChartException "No
// ParentChart to validate DataSource"). Then, unless it is one already, it becomes
// a source: with replace the other sources go first (clearing the points unless
// they are stored); a chain of sources must not lead back to the series
// (ChartException "Circular Series dependences are not allowed"); the points are
// refreshed. On an exception the series is unchanged.
void AddDataSource(TChartSeries& series, TChartSeries& source, bool replace);
// The source as the only one; null removes the first source (with it every source,
// and the points unless they are stored).
void SetDataSource(TChartSeries& series, TChartSeries* source);
// A source component as the series' only source (validated as above); null unbinds
// the series' component. The component is closed while it moves and reopened when
// it was active.
void SetDataSource(TChartSeries& series, TChartSeriesSource* source);
// The names of the sources in order: the source series, then the component.
std::vector<std::string> DataSourceNames(const TChartSeries& series);
// The name a source shows in messages: its Name, else its class name.
std::string SeriesClassName(const TChartSeries& series);

}  // namespace qira

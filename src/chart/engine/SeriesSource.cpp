#include "chart/engine/SeriesSource.h"

#include <algorithm>
#include <cstdio>

#include "chart/draw/ChartMessages.h"
#include "chart/engine/AxisPanel.h"
#include "chart/engine/LineSeries.h"
#include "chart/engine/SeriesFunctions.h"

namespace qira {

// ================================================ [SECTION] TChartSeriesSource

TChartSeriesSource::~TChartSeriesSource() {
  fDestroying = true;
  Close();
  SetSeries(nullptr);
}

void TChartSeriesSource::SetActive(bool value) {
  if (value == fActive) return;
  fActive = value;
  if (fSeries == nullptr) return;
  if (value) {
    if (!Loading) Load();
  } else if (!fDestroying && !KeepSeriesPoints) {
    fSeries->Clear();
  }
}

void TChartSeriesSource::Close() {
  if (!Loading) SetActive(false);
}

void TChartSeriesSource::Loaded() {
  Loading = false;
  if (fActive) Load();
}

bool TChartSeriesSource::IsSourceOfSeries(const TChartSeries& series) const {
  return series.SourceComponent() != nullptr && series.SourceComponent()->ClassName() == ClassName();
}

void TChartSeriesSource::SetSeries(TChartSeries* series) {
  if (series == fSeries) return;
  Close();
  if (fSeries != nullptr) fSeries->fSourceComponent = nullptr;
  fSeries = series;
  if (series != nullptr) {
    // The series had another component: that one loses it.
    if (series->fSourceComponent != nullptr && series->fSourceComponent != this)
      series->fSourceComponent->fSeries = nullptr;
    series->fSourceComponent = this;
  }
}

void TChartSeriesSource::SeriesDestroyed(TChartSeries& series) {
  if (&series != fSeries) return;
  const bool destroying = fDestroying;
  fDestroying = true;  // its points go with it: nothing to clear
  fActive = false;
  fSeries = nullptr;
  fDestroying = destroying;
}

// ==================================================== [SECTION] Joining sources

namespace {

std::string FormatName(std::string_view format, const std::string& name) {
  std::string text(format);
  const size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, name);
  return text;
}

// Every source series goes; the points too unless they are stored.
void ClearDataSources(TChartSeries& series) {
  if (!series.DataSources().empty()) series.RemoveDataSource(*series.DataSources().front());
  if (!series.StoredData) series.Clear();
}

}  // namespace

std::string SeriesClassName(const TChartSeries& series) {
  if (!series.Name.empty()) return series.Name;
  if (dynamic_cast<const TLineSeries*>(&series) != nullptr) return "TLineSeries";
  if (dynamic_cast<const TCustomSeries*>(&series) != nullptr) return "TCustomSeries";
  return "TChartSeries";
}

void AddDataSource(TChartSeries& series, TChartSeries& source, bool replace) {
  if (!series.IsValidSource(source)) {
    if (series.ParentChart() != nullptr)
      throw ChartException(FormatName(ChartMsg::InvalidDataSource, SeriesClassName(source)));
    throw ChartException(std::string(ChartMsg::NoParentChartForDataSource));
  }
  const auto& sources = series.DataSources();
  if (std::find(sources.begin(), sources.end(), &source) != sources.end()) return;
  // A chain back to the series is refused before anything changes.
  TCustomAxisPanel::ValidateSource(series, source);
  if (replace) {
    if (TChartSeriesSource* component = series.SourceComponent()) component->SetSeries(nullptr);
    ClearDataSources(series);
  }
  series.StoredData = false;
  series.AddDataSource(source);
}

void SetDataSource(TChartSeries& series, TChartSeries* source) {
  if (source != nullptr) {
    AddDataSource(series, *source, true);
  } else if (!series.DataSources().empty()) {
    ClearDataSources(series);
    series.CheckDataSource();
  } else if (TChartSeriesSource* component = series.SourceComponent()) {
    component->SetSeries(nullptr);
  }
}

void SetDataSource(TChartSeries& series, TChartSeriesSource* source) {
  if (source == nullptr) {
    if (TChartSeriesSource* component = series.SourceComponent()) component->SetSeries(nullptr);
    return;
  }
  if (series.ParentChart() == nullptr) throw ChartException(std::string(ChartMsg::NoParentChartForDataSource));
  if (series.SourceComponent() == source) return;
  ClearDataSources(series);
  series.StoredData = false;
  const bool wasActive = source->Active();
  source->SetSeries(&series);  // closes it first
  if (wasActive) source->Open();
  series.CheckDataSource();
}

std::vector<std::string> DataSourceNames(const TChartSeries& series) {
  std::vector<std::string> names;
  for (const TChartSeries* s : series.DataSources()) names.push_back(SeriesClassName(*s));
  if (const TChartSeriesSource* c = series.SourceComponent()) names.push_back(c->Name.empty() ? c->ClassName() : c->Name);
  return names;
}

// ========================================================= [SECTION] Assign

void TChartSeries::SetColorSource(const std::string& value) {
  if (value == fColorSource) return;
  fColorSource = value;
  CheckDataSource();
}

void TChartSeries::SetXLabelsSource(const std::string& value) {
  if (value == fXLabelsSource) return;
  fXLabelsSource = value;
  CheckDataSource();
}

void TChartSeries::Assign(const TChartSeries& source) {
  if (&source == this) return;
  SetActive(source.Active());
  SetTitle(source.Title());
  ShowInLegend = source.ShowInLegend;
  ShowInEditor = source.ShowInEditor;
  Identifier = source.Identifier;
  StyleFlags = source.StyleFlags;
  // The source's sources are taken only below, when the points came from them.
  ClearDataSources(*this);
  if (fSourceComponent != nullptr) fSourceComponent->SetSeries(nullptr);
  const bool exchange = source.fYMandatory != fYMandatory;
  fX->Assign(exchange ? *source.fY : *source.fX);
  fY->Assign(exchange ? *source.fX : *source.fY);
  fXLabelsSource = source.fXLabelsSource;
  fColorSource = source.fColorSource;
  for (int32_t i = 2; i < fValuesList.Count() && i < source.fValuesList.Count(); ++i)
    fValuesList[i].Assign(source.fValuesList[i]);
  fColor = source.fColor;
  fAutoColor = source.fAutoColor;
  SetColorEachPoint(source.ColorEachPoint());
  SetValueFormat(source.ValueFormat());
  PercentFormat = source.PercentFormat;
  SetHorizAxis(source.fHorizAxis);
  SetVertAxis(source.fVertAxis);
  fCustomHorizAxis = source.fCustomHorizAxis;
  fCustomVertAxis = source.fCustomVertAxis;
  RecalcGetAxis();
  NotifyFlags = source.NotifyFlags;
  Cursor = source.Cursor;
  Depth = source.Depth;
  // The source's function, when this series has none, as a new one of its kind.
  if (source.fFunction && !fFunction) {
    if (std::unique_ptr<TChartFunction> copy = source.fFunction->NewOfSameKind()) {
      copy->Assign(*source.fFunction);
      SetFunction(std::move(copy));
    }
  }
  StoredData = source.StoredData;

  const bool fedBySources = (!source.fDataSources.empty() || source.fSourceComponent != nullptr) && !source.StoredData;
  const bool fedByFunction = source.fFunction != nullptr && !source.StoredData;
  if (fedBySources || fedByFunction) {
    for (TChartSeries* s : source.fDataSources) qira::AddDataSource(*this, *s, false);
    CheckDataSource();
  } else {
    // The points themselves: values, colours and labels.
    AddValues(const_cast<TChartSeries&>(source));
  }
  // The marks whole; their items belong to points, so they come after them.
  fMarks.Assign(source.fMarks);
}

}  // namespace qira

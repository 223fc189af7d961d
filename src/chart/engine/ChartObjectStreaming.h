#pragma once
// Published properties of the chart engine's objects in the chart's property
// format (ChartStreaming.h): axes, series marks and their items, the series
// pointer, series (with their "Data", "DataSources", "CustomHorizAxis" and
// "CustomVertAxis") and line series. The chart itself streams through its panel
// overrides (TCustomAxisPanel, TChart), which use these.
//
// Every writer leaves out what equals the object's default. Every reader takes the
// whole block into a detached copy first and changes the object only when all of
// it was good: a bad value raises (EChartStreamError for a wrong type or an
// unknown name, the setter's own exception with its fixed text for a value the
// setter refuses) and the object stays as it was.
//
// Sections:
//   [SECTION] Axes
//   [SECTION] Marks
//   [SECTION] Pointer
//   [SECTION] Series
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "chart/draw/ChartStreaming.h"
#include "chart/engine/ChartAxis.h"
#include "chart/engine/LineSeries.h"
#include "chart/engine/SeriesMarks.h"
#include "chart/engine/SeriesPointer.h"
#include "platform/Services.h"

namespace qira {

class TCustomAxisPanel;
class TChartSeriesSource;

// While it lives, messages are dropped: a block tried on a scratch object leaves
// its messages to the real read.
class TQuietChartMessages {
 public:
  TQuietChartMessages();

 private:
  class TSilent : public IMessageService {
   public:
    void ShowMessage(const std::string& text, TMessageKind kind) override;
    TMessageResult MessageBox(const std::string& text, TMessageKind kind, TMessageButtons buttons,
                              int defaultButton) override;
  };
  TSilent fSilent;
  TScopedServices fScope;
};

// A pen's properties under a prefix ("Grid." gives "Grid.Color"), and back: a block
// without any of them leaves the pen as it is.
void AddPenUnder(TStreamedProperties& block, const TChartPen& pen, std::string_view prefix);
void ReadPenUnder(TChartPen& pen, const TStreamedProperties& block, std::string_view prefix);

// ============================================================= [SECTION] Axes

// The axis's published properties. Its place in the chart's axes list decides the
// defaults that depend on it (title angle 90 for the left axis, 270 for the right
// one; Horizontal and OtherSide only for custom axes; ZPosition never for depth axes).
// Labels added by hand are the Collection "Items" (one block each: "Value", "Text"
// and the item's own look); reading it turns the items' Automatic off.
void WriteAxisProperties(const TChartAxis& axis, TStreamedProperties& block);
void ReadAxisProperties(TChartAxis& axis, const TStreamedProperties& block);

// ============================================================ [SECTION] Marks

// The marks' settings and their shape (colour, font, frame, gradient, shadow...),
// the callout's arrow pen and length as "Arrow" and "ArrowLength" and the rest of
// it under "Callout.", the symbol under "Symbol.", and the binary "Items". The
// callout and the symbol are written only when made, and made when read.
void WriteMarksProperties(const TSeriesMarks& marks, TStreamedProperties& block);
void ReadMarksProperties(TSeriesMarks& marks, const TStreamedProperties& block);
// The binary "Items": int32 count, then per index List marker (uint8 1) and the
// item's property block: its "Text" and its own look (nothing in it for an index
// without item, or with an item at its defaults).
std::string WriteMarksItems(const TSeriesMarks& marks);
// Every count is checked against the bytes left; the items are replaced only when
// the whole record was good.
void ReadMarksItems(TSeriesMarks& marks, std::string_view record);

// ========================================================== [SECTION] Pointer

void WritePointerProperties(const TSeriesPointer& pointer, TStreamedProperties& block);
void ReadPointerProperties(TSeriesPointer& pointer, const TStreamedProperties& block);

// =========================================================== [SECTION] Series

// What a series' block names that only its chart (or the caller) can resolve: the
// sources by name (one from "DataSource", more from "DataSources") and the custom
// axes by their index in the chart's custom axes (-1: none).
struct TSeriesLinks {
  std::vector<std::string> DataSources;
  int32_t CustomHorizAxis = -1;
  int32_t CustomVertAxis = -1;
};

// The series' published properties, and for line series theirs: "Data" only with
// StoredData, "DataSource" for the first source, "DataSources" for two or more.
void WriteSeriesProperties(const TChartSeries& series, TStreamedProperties& block);
// Reads a block written by WriteSeriesProperties; the links come back unresolved.
TSeriesLinks ReadSeriesProperties(TChartSeries& series, const TStreamedProperties& block);
// Resolves the links read for a series: each source name among the candidates
// (series, then source components, by Name) joins in order; the custom axes are
// taken from the series' chart. An unknown name or index raises EChartStreamError.
void ResolveSeriesLinks(TChartSeries& series, const TSeriesLinks& links, const std::vector<TChartSeries*>& candidates,
                        const std::vector<TChartSeriesSource*>& components);

// The chart's series as the children of its block: the Collection "Series", one
// item per series with its "ClassName" and its properties (ChartFormStreaming.cpp).
void WriteChartSeries(const TCustomAxisPanel& chart, TStreamedProperties& block);
// Makes the series of the block (their class from the series registry, or the
// library's own kinds), adds them to the chart and links their sources among the
// chart's series and the given components. The chart owns them; the series made
// come back in order. On a failure every series made is removed and freed again and
// the exception passes on.
std::vector<TChartSeries*> ReadChartSeries(TCustomAxisPanel& chart, const TStreamedProperties& block,
                                           const std::vector<TChartSeriesSource*>& components = {});

}  // namespace qira

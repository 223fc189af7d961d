// The chart's own published properties (the axis panel's and the chart
// component's), and its series as children of the chart's block.
//
// Sections:
//   [SECTION] Axis panel
//   [SECTION] Chart
//   [SECTION] Series as children
#include <memory>

#include "chart/draw/ChartPicture.h"
#include "chart/engine/Chart.h"
#include "chart/engine/ChartObjectStreaming.h"
#include "chart/engine/ChartPalettes.h"  // Reaches up: the chart streams its ColorPaletteIndex.
#include "chart/engine/ChartRegistry.h"  // Reaches up: child series are made from the registered series kinds.
#include "chart/engine/SeriesSource.h"
#include "platform/Services.h"

namespace qira {

namespace {

// The standard axes by their stream prefix.
std::vector<std::pair<const char*, TChartAxis*>> StandardAxes(const TCustomAxisPanel& panel) {
  return {{"BottomAxis.", &panel.BottomAxis()}, {"TopAxis.", &panel.TopAxis()},
          {"LeftAxis.", &panel.LeftAxis()},     {"RightAxis.", &panel.RightAxis()},
          {"DepthAxis.", &panel.DepthAxis()},   {"DepthTopAxis.", &panel.DepthTopAxis()}};
}

constexpr const char* kMouseButtonIdents[] = {"mbLeft", "mbRight", "mbMiddle"};

// One block per group: its name and the names of its series (when it has any).
std::vector<TStreamedProperties> SeriesGroupBlocks(const TSeriesGroups& groups) {
  std::vector<TStreamedProperties> blocks;
  for (int32_t i = 0; i < groups.Count(); ++i) {
    TStreamedProperties& b = blocks.emplace_back();
    AddString(b, "Name", groups[i].Name);
    std::vector<std::string> names;
    for (const TChartSeries* s : groups[i].Series) names.push_back(SeriesClassName(*s));
    if (!names.empty()) AddStrings(b, "Series", names);
  }
  return blocks;
}

// The groups of the blocks with their series found by name among the panel's.
// Strict: a name no series has is damage. Otherwise it is left out (the panel's
// own block is read before its series, which come as its children).
struct TReadGroup {
  std::string Name;
  std::vector<TChartSeries*> Series;
};
std::vector<TReadGroup> ReadSeriesGroupBlocks(const TCustomAxisPanel& panel,
                                              const std::vector<TStreamedProperties>& blocks, bool strict) {
  std::vector<TReadGroup> groups;
  for (const TStreamedProperties& b : blocks) {
    TReadGroup& g = groups.emplace_back();
    g.Name = PropertyString(b, "Name", "");
    for (const std::string& name : PropertyStrings(b, "Series", {})) {
      TChartSeries* found = nullptr;
      for (int32_t i = 0; i < panel.SeriesCount() && found == nullptr; ++i)
        if (SeriesClassName(panel.Series(i)) == name) found = &panel.Series(i);
      if (found != nullptr)
        g.Series.push_back(found);
      else if (strict)
        throw EChartStreamError("Series " + name + " not found");
    }
  }
  return groups;
}

void SetSeriesGroups(TSeriesGroups& groups, std::vector<TReadGroup> read) {
  groups.Clear();
  for (TReadGroup& g : read) {
    TSeriesGroup& group = groups.Add();
    group.Name = std::move(g.Name);
    group.Series = std::move(g.Series);
  }
}

}  // namespace

// ======================================================= [SECTION] Axis panel

void TCustomAxisPanel::WriteProperties(TStreamedProperties& block) const {
  TCustomChartPanelExtended::WriteProperties(block);
  if (!fAxisBehind) AddBoolean(block, "AxisBehind", false);
  if (!fAxisVisible) AddBoolean(block, "AxisVisible", false);
  if (fChart3DPercent != 15) AddInteger(block, "Chart3DPercent", fChart3DPercent);
  if (!fClipPoints) AddBoolean(block, "ClipPoints", false);
  for (const auto& [prefix, axis] : StandardAxes(*this)) {
    TStreamedProperties part;
    WriteAxisProperties(*axis, part);
    AddPropertiesUnder(block, std::move(part), prefix);
  }
  if (!fCustomAxes.empty()) {
    std::vector<TStreamedProperties> items;
    for (const auto& axis : fCustomAxes) {
      items.emplace_back();
      WriteAxisProperties(*axis, items.back());
    }
    AddCollection(block, "CustomAxes", std::move(items));
  }
  if (fPage.AutoScale()) AddBoolean(block, "Pages.AutoScale", true);
  if (fPage.Current() != 1) AddInteger(block, "Pages.Current", fPage.Current());
  if (fPage.MaxPointsPerPage() != 0) AddInteger(block, "Pages.MaxPointsPerPage", fPage.MaxPointsPerPage());
  if (!fPage.ScaleLastPage()) AddBoolean(block, "Pages.ScaleLastPage", false);
  if (fSeries.Groups().Count() > 0) AddCollection(block, "SeriesGroups", SeriesGroupBlocks(fSeries.Groups()));
  if (!fView3DWalls) AddBoolean(block, "View3DWalls", false);
}

void TCustomAxisPanel::ReadProperties(const TStreamedProperties& block) {
  const bool axisBehind = PropertyBoolean(block, "AxisBehind", fAxisBehind);
  const bool axisVisible = PropertyBoolean(block, "AxisVisible", fAxisVisible);
  const int32_t percent = PropertyInt32(block, "Chart3DPercent", fChart3DPercent);
  const bool clipPoints = PropertyBoolean(block, "ClipPoints", fClipPoints);
  const bool view3DWalls = PropertyBoolean(block, "View3DWalls", fView3DWalls);
  // Older streams kept the paging settings on the chart itself; they are read only.
  const bool autoScale = PropertyBoolean(block, "Pages.AutoScale", fPage.AutoScale());
  int32_t maxPoints = PropertyInt32(block, "MaxPointsPerPage", fPage.MaxPointsPerPage());
  maxPoints = PropertyInt32(block, "Pages.MaxPointsPerPage", maxPoints);
  int32_t current = PropertyInt32(block, "Page", fPage.Current());
  current = PropertyInt32(block, "Pages.Current", current);
  bool scaleLastPage = PropertyBoolean(block, "ScaleLastPage", fPage.ScaleLastPage());
  scaleLastPage = PropertyBoolean(block, "Pages.ScaleLastPage", scaleLastPage);
  const std::vector<TStreamedProperties>& customAxes = PropertyCollection(block, "CustomAxes");
  const bool hasGroups = FindProperty(block, "SeriesGroups") != nullptr;
  std::vector<TReadGroup> groups = ReadSeriesGroupBlocks(*this, PropertyCollection(block, "SeriesGroups"), false);

  TCustomChartPanelExtended::ReadProperties(block);
  const bool wasLoading = Loading();
  SetLoading(true);
  const TScopeExit loaded([&] { SetLoading(wasLoading); });
  SetAxisBehind(axisBehind);
  SetAxisVisible(axisVisible);
  SetChart3DPercent(percent);
  SetClipPoints(clipPoints);
  SetView3DWalls(view3DWalls);
  for (const auto& [prefix, axis] : StandardAxes(*this)) {
    const TStreamedProperties part = PropertiesUnder(block, prefix);
    if (!part.empty()) ReadAxisProperties(*axis, part);
  }
  if (FindProperty(block, "CustomAxes") != nullptr) {
    while (!fCustomAxes.empty()) RemoveCustomAxis(*fCustomAxes.back());
    for (const TStreamedProperties& item : customAxes) {
      TChartAxis& axis = AddCustomAxis(PropertyBoolean(item, "Horizontal", false), PropertyBoolean(item, "OtherSide", false));
      ReadAxisProperties(axis, item);
    }
  }
  fPage.SetAutoScale(autoScale);
  fPage.SetMaxPointsPerPage(maxPoints);
  fPage.SetScaleLastPage(scaleLastPage);
  fPage.SetCurrent(current);
  if (hasGroups) SetSeriesGroups(fSeries.Groups(), std::move(groups));
}

// ============================================================ [SECTION] Chart

namespace {

void AddShape(TStreamedProperties& block, const char* prefix, const auto& shape) {
  TStreamedProperties part;
  shape.WriteProperties(part);
  AddPropertiesUnder(block, std::move(part), prefix);
}

void ReadShape(const TStreamedProperties& block, const char* prefix, auto& shape) {
  const TStreamedProperties part = PropertiesUnder(block, prefix);
  if (!part.empty()) shape.ReadProperties(part);
}

// Reads the chart's part of the block into the chart, changing it as it goes.
void ApplyChartBlock(TCustomChart& chart, const TStreamedProperties& block) {
  const int32_t paletteIndex = PropertyInt32(block, "ColorPaletteIndex", chart.ColorPaletteIndex);
  const bool hasBackColor = FindProperty(block, "BackColor") != nullptr;
  const TColor backColor = PropertyColor(block, "BackColor", chart.BackWall().Color());
  const int button = PropertyIdent(block, "ScrollMouseButton", kMouseButtonIdents, chart.ScrollMouseButton);
  chart.TCustomAxisPanel::ReadProperties(block);
  ReadShape(block, "Title.", chart.Title);
  ReadShape(block, "SubTitle.", chart.SubTitle);
  ReadShape(block, "Foot.", chart.Foot);
  ReadShape(block, "SubFoot.", chart.SubFoot);
  ReadShape(block, "Legend.", chart.Legend);
  ReadShape(block, "BackWall.", chart.BackWall());
  ReadShape(block, "LeftWall.", chart.LeftWall());
  ReadShape(block, "BottomWall.", chart.BottomWall());
  ReadShape(block, "RightWall.", chart.RightWall());
  chart.ScrollMouseButton = static_cast<TMouseButton>(button);
  if (hasBackColor) {
    chart.BackWall().SetColor(backColor);
    // A chart placed on a form shows the old back colour as a filled wall.
    if (chart.parentWidget() != nullptr && !chart.Loading()) chart.BackWall().Brush().SetStyle(bsSolid);
  }
  if (paletteIndex != chart.ColorPaletteIndex) SetColorPalette(chart, paletteIndex);
}

}  // namespace

void TCustomChart::WriteProperties(TStreamedProperties& block) const {
  TCustomAxisPanel::WriteProperties(block);
  if (ColorPaletteIndex >= 1) AddInteger(block, "ColorPaletteIndex", ColorPaletteIndex);
  AddShape(block, "Title.", Title);
  AddShape(block, "SubTitle.", SubTitle);
  AddShape(block, "Foot.", Foot);
  AddShape(block, "SubFoot.", SubFoot);
  AddShape(block, "Legend.", Legend);
  AddShape(block, "BackWall.", Walls.Back);
  AddShape(block, "LeftWall.", Walls.Left);
  AddShape(block, "BottomWall.", Walls.Bottom);
  AddShape(block, "RightWall.", Walls.Right);
  if (ScrollMouseButton != mbRight) AddIdent(block, "ScrollMouseButton", kMouseButtonIdents[ScrollMouseButton]);
}

void TCustomChart::ReadProperties(const TStreamedProperties& block) {
  {
    // The trial on a scratch chart raises before this chart changes; it keeps quiet.
    const TQuietChartMessages quiet;
    TChart scratch;
    ApplyChartBlock(scratch, block);
  }
  ApplyChartBlock(*this, block);
}

// =============================================== [SECTION] Series as children

namespace {

std::unique_ptr<TChartSeries> CreateSeries(const std::string& className) {
  const TChartSeriesTypes& types = ChartSeriesTypes();
  for (int32_t i = 0; i < types.Count(); ++i)
    if (types[i].ClassName == className && types[i].Create) return types[i].Create();
  if (className == "TLineSeries") return std::make_unique<TLineSeries>();
  if (className == "TCustomSeries") return std::make_unique<TCustomSeries>();
  if (className == "TChartSeries") return std::make_unique<TChartSeries>();
  throw EChartStreamError("Class " + className + " not found");
}

std::string ClassNameOf(const TChartSeries& series) {
  if (dynamic_cast<const TLineSeries*>(&series) != nullptr) return "TLineSeries";
  if (dynamic_cast<const TCustomSeries*>(&series) != nullptr) return "TCustomSeries";
  return "TChartSeries";
}

}  // namespace

void WriteChartSeries(const TCustomAxisPanel& chart, TStreamedProperties& block) {
  if (chart.SeriesCount() == 0) return;
  std::vector<TStreamedProperties> items;
  for (int32_t i = 0; i < chart.SeriesCount(); ++i) {
    items.emplace_back();
    AddIdent(items.back(), "ClassName", ClassNameOf(chart.Series(i)));
    WriteSeriesProperties(chart.Series(i), items.back());
  }
  AddCollection(block, "Series", std::move(items));
}

std::vector<TChartSeries*> ReadChartSeries(TCustomAxisPanel& chart, const TStreamedProperties& block,
                                           const std::vector<TChartSeriesSource*>& components) {
  std::vector<TChartSeries*> created;
  try {
    const std::vector<TStreamedProperties>& items = PropertyCollection(block, "Series");
    std::vector<TSeriesLinks> links;
    for (const TStreamedProperties& item : items) {
      const TStreamedProperty* name = FindProperty(item, "ClassName");
      if (name == nullptr || name->Type != TPropertyType::Ident) throw EChartStreamError("Series class missing");
      created.push_back(&chart.AddSeries(CreateSeries(name->Text)));
      links.push_back(ReadSeriesProperties(*created.back(), item));
    }
    std::vector<TChartSeries*> candidates;
    for (int32_t i = 0; i < chart.SeriesCount(); ++i) candidates.push_back(&chart.Series(i));
    for (size_t i = 0; i < created.size(); ++i) ResolveSeriesLinks(*created[i], links[i], candidates, components);
    // Groups name their series, which exist only now.
    if (FindProperty(block, "SeriesGroups") != nullptr)
      SetSeriesGroups(chart.SeriesGroups(),
                      ReadSeriesGroupBlocks(chart, PropertyCollection(block, "SeriesGroups"), true));
  } catch (...) {
    for (TChartSeries* s : created) chart.RemoveSeries(*s);
    throw;
  }
  return created;
}

}  // namespace qira

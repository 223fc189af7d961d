#include "model/Borehole.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <filesystem>
#include <limits>
#include <map>
#include <numbers>
#include <optional>
#include <queue>
#include <utility>

#include "model/BoreholeCollections.h"
#include "model/DrawCosts.h"
#include "model/GeologyFiles.h"
#include "model/GeologyList.h"
#include "model/GraphRecord.h"
#include "model/Settings.h"
#include "model/StreamHelpers.h"
#include "platform/Services.h"
#include "scene/components/Colors.h"
#include "scene/objects/DummyPlaneSprite.h"
#include "scene/math/VectorTypes.h"
#include "scene/objects/BitmapFonts.h"
#include "scene/objects/Pipe.h"
#include "scene/objects/WindowsBitmapFont.h"

// Sections: hooks; construction; creation from files; path; building; editing;
// stored record; registration.

namespace qira {

namespace {

struct TBoreholeHooks {
  TBoreholeCoordsDialog CoordsDialog;
  TBoreholeEditor Editor;
};

TBoreholeHooks& Hooks() {
  static TBoreholeHooks hooks;
  return hooks;
}

constexpr char kMagic[] = "Borehole";
constexpr int32_t kMagicSize = 8;
// X, Y, Z, Depth (doubles) and GeologyIndex (int32).
constexpr int32_t kStoredPointSize = 4 * 8 + 4;

double Radians(double degrees) { return degrees * (std::numbers::pi / 180.0); }

std::string FolderOf(const std::string& path) { return std::filesystem::path(path).parent_path().string(); }

// The stations of an inclination file, read and checked; nothing (the user told)
// when the file cannot make a borehole.
std::optional<std::vector<TInkStation>> ReadCheckedStations(const std::string& inkFileName) {
  std::optional<std::vector<TInkStation>> stations = LoadInclinationStations(inkFileName);
  if (!stations) return std::nullopt;  // the reader has told the user
  // The path and every depth lookup rely on ascending depths; a station above the
  // one before it would fold the path back on itself.
  for (size_t i = 1; i < stations->size(); ++i) {
    if ((*stations)[i].Depth < (*stations)[i - 1].Depth) {
      ShowMessageDlg("File " + FileNameWithoutFolder(inkFileName) + " has invalid format", 1);
      return std::nullopt;
    }
  }
  return stations;
}

std::unique_ptr<TGraphBorehole> BoreholeFromStations(TGeologyList* geologyList,
                                                     const std::vector<TInkStation>& stations,
                                                     const std::string& bgdFileName, const std::string& name,
                                                     double x, double y, double z);

// BoreholeFromStations counted as a file's reading is, the stations read before held
// beside it: the geology file and the borehole as it is opened and drawn first. Null,
// the user told, when the memory cannot hold them.
std::unique_ptr<TGraphBorehole> CountedBoreholeFromStations(TGeologyList* geologyList,
                                                            const std::vector<TInkStation>& stations,
                                                            const std::string& inkFileName,
                                                            const std::string& bgdFileName, const std::string& name,
                                                            double x, double y, double z) {
  std::unique_ptr<TGraphBorehole> borehole;
  const std::string refusal = ReadCounted(
      bgdFileName.empty() ? inkFileName : bgdFileName,
      [&] {
        borehole = BoreholeFromStations(geologyList, stations, bgdFileName, name, x, y, z);
        if (borehole) TOpenCount::Keep(*borehole);
      },
      0, HeapBlockBytes(static_cast<int64_t>(stations.size() * sizeof(TInkStation))));
  if (refusal.empty()) return borehole;
  ShowMessageDlg(refusal, 1);
  return nullptr;
}

}  // namespace

// ---- Hooks --------------------------------------------------------------------------

void SetBoreholeDialogs(TBoreholeCoordsDialog coordsDialog, TBoreholeEditor editor) {
  Hooks().CoordsDialog = std::move(coordsDialog);
  Hooks().Editor = std::move(editor);
}


// ---- Construction -------------------------------------------------------------------

TGraphBorehole::TGraphBorehole() {
  TypeId = GraphTypeId::Borehole;
  AcceptForAll = true;
}

TGraphBorehole::~TGraphBorehole() { FreeNodes(); }

void TGraphBorehole::FreeNodes() {
  TopLabel.Free();
  BottomLabel.Free();
  Pipe.Free();
}

// ---- Creation from files ------------------------------------------------------------

std::unique_ptr<TGraphBorehole> TGraphBorehole::CreateFromFiles(TGeologyList* geologyList) {
  IgnoreNextMouseMove = true;
  IFileDialogService& files = *Services().Files;

  TFileRequest request;
  request.DefaultExt = "ink";
  request.Filter = "Inclination files (*.ink)|*.ink|All files (*.*)|*.*";
  request.InitialDir = InclinationPath;
  const std::optional<std::string> inkFile = files.OpenFile(request);
  if (!inkFile) return nullptr;
  InclinationPath = FolderOf(*inkFile);
  // A file that cannot make a borehole is refused before anything else is asked.
  const std::optional<std::vector<TInkStation>> stations = ReadCheckedStations(*inkFile);
  if (!stations) return nullptr;
  std::string name = FileNameWithoutExt(*inkFile);

  // The same dialog again, for the geology file. Cancel means no geology; the
  // remembered folder then stays the inclination file's.
  request.DefaultExt = "bgd";
  request.Filter = "Geology files (*.bgd)|*.bgd|All files (*.*)|*.*";
  request.FileName = name + ".bgd";
  request.InitialDir = InclinationPath;
  request.FilterIndex = 1;
  std::string bgdFile;
  if (std::optional<std::string> chosen = files.OpenFile(request)) {
    bgdFile = *chosen;
    InclinationPath = FolderOf(bgdFile);
  }

  double x = 0, y = 0, z = 0;
  ReadInkCollarLine(*inkFile, x, y, z);
  const TBoreholeCoordsDialog& dialog = Hooks().CoordsDialog;
  if (!dialog || !dialog(name, x, y, z)) return nullptr;
  return CountedBoreholeFromStations(geologyList, *stations, *inkFile, bgdFile, name, x, y, z);
}

std::unique_ptr<TGraphBorehole> TGraphBorehole::LoadInclinationFile(
    TGeologyList* geologyList, const std::string& inkFileName, const std::string& bgdFileName,
    const std::string& name, double x, double y, double z) {
  const std::optional<std::vector<TInkStation>> stations = ReadCheckedStations(inkFileName);
  if (!stations) return nullptr;
  return CountedBoreholeFromStations(geologyList, *stations, inkFileName, bgdFileName, name, x, y, z);
}

namespace {

bool DeeperFirst(const TBoreholeItem& a, const TBoreholeItem& b) { return a.Depth < b.Depth; }

// The point at depth d on the line through a and b.
TBoreholeItem PointBetween(const TBoreholeItem& a, const TBoreholeItem& b, double d) {
  const double span = b.Depth - a.Depth;
  const double t = span != 0 ? (d - a.Depth) / span : 0.0;
  return {a.X + (b.X - a.X) * t, a.Y + (b.Y - a.Y) * t, a.Z + (b.Z - a.Z) * t, d, -1};
}

// Inserts every interval's top, then bottom, in order, exactly as InsertPointAtDepth
// one at a time would on a path in ascending depth (each new point on the line
// through its neighbours of that moment), in n log n.
void InsertIntervalEnds(TBoreholeItemArray& points, const TBHCollectionList& intervals) {
  if (points.size() < 2) return;
  std::multimap<double, TBoreholeItem> path;  // equal depths keep their order
  for (const TBoreholeItem& p : points) path.emplace_hint(path.end(), p.Depth, p);
  auto insert = [&path](double d) {
    auto next = path.lower_bound(d);
    if (next != path.end() && next->first == d) return;  // depths are finite: the reader refuses others
    auto a = next == path.begin() ? path.begin() : std::prev(next == path.end() ? std::prev(next) : next);
    path.emplace_hint(next, d, PointBetween(a->second, std::next(a)->second, d));
  };
  for (int32_t i = 0; i < intervals.Count(); ++i) {
    insert(intervals.Interval(i)->Top);
    insert(intervals.Interval(i)->Bottom);
  }
  points.clear();
  points.reserve(path.size());
  for (auto& entry : path) points.push_back(entry.second);
}

// On a path in ascending depth, gives every point the rock of the last filled
// interval holding it (top excluded, bottom included) and leaves the legend as if
// FindOrAdd had been called for every such pair, points outer, intervals inner:
// entries appear in the order of their first call and take their last call's colour.
void AssignRocks(TBoreholeItemArray& points, const TBHCollectionList& intervals, TGeologyList& legend) {
  struct TRange {
    size_t Lo, Hi;  // the points [Lo, Hi) lie in the interval
    int32_t Interval;
  };
  struct TRock {
    std::pair<size_t, int32_t> First{SIZE_MAX, 0}, Last{0, -1};  // (point, interval) of the first/last call
    int Entry = -1;
  };
  const auto depthAbove = [](double d, const TBoreholeItem& p) { return d < p.Depth; };
  std::vector<TRange> ranges;
  std::map<std::string, TRock> rocks;
  std::vector<TRock*> rockOf(static_cast<size_t>(intervals.Count()), nullptr);
  for (int32_t i = 0; i < intervals.Count(); ++i) {
    const TBHDepthCollectionItem* interval = intervals.Interval(i);
    if (!interval->Filling) continue;
    const size_t lo = static_cast<size_t>(
        std::upper_bound(points.begin(), points.end(), static_cast<double>(interval->Top), depthAbove) - points.begin());
    const size_t hi = static_cast<size_t>(
        std::upper_bound(points.begin(), points.end(), static_cast<double>(interval->Bottom), depthAbove) - points.begin());
    if (lo >= hi) continue;
    ranges.push_back({lo, hi, i});
    TRock& rock = rocks[TGeologyList::MatchKey(interval->FullName, interval->ShortName)];
    rock.First = std::min(rock.First, std::make_pair(lo, i));
    rock.Last = std::max(rock.Last, std::make_pair(hi - 1, i));
    rockOf[static_cast<size_t>(i)] = &rock;
  }
  std::vector<TRock*> byFirstCall;
  for (auto& entry : rocks) byFirstCall.push_back(&entry.second);
  std::sort(byFirstCall.begin(), byFirstCall.end(), [](const TRock* a, const TRock* b) { return a->First < b->First; });
  const auto call = [&](int32_t i) {
    const TBHDepthCollectionItem* interval = intervals.Interval(i);
    return legend.FindOrAdd(interval->FullName, interval->ShortName, static_cast<int32_t>(interval->Color));
  };
  for (TRock* rock : byFirstCall) rock->Entry = call(rock->First.second);
  for (TRock* rock : byFirstCall) call(rock->Last.second);

  // Sweep down the path keeping the intervals that began, the latest on top; those
  // that ended are dropped once they surface.
  std::sort(ranges.begin(), ranges.end(), [](const TRange& a, const TRange& b) { return a.Lo < b.Lo; });
  const auto earlier = [](const TRange& a, const TRange& b) { return a.Interval < b.Interval; };
  std::priority_queue<TRange, std::vector<TRange>, decltype(earlier)> open(earlier);
  size_t next = 0;
  for (size_t p = 0; p < points.size(); ++p) {
    for (; next < ranges.size() && ranges[next].Lo <= p; ++next) open.push(ranges[next]);
    while (!open.empty() && open.top().Hi <= p) open.pop();
    if (!open.empty()) points[p].GeologyIndex = rockOf[static_cast<size_t>(open.top().Interval)]->Entry;
  }
}

int64_t BoreholeDrawnBytes(int64_t nodes, size_t nameSize);
int64_t BoreholeHeldBytes(int64_t points);

// What placing the intervals of a list read whole on a path of `points` takes beside
// it, at most, from what the list read (its records kept or not): the path in a
// multimap with each interval's two ends while they are inserted, and the points made
// anew of it; for the rocks, each interval's range, rock and place in the sweep and in
// the legend (kRockBytes), and its names: the rock's key, and the legend's entry and
// key, with the two upper-case copies a key is made of (a name's heap block takes
// kNameBlockBytes more than its characters at most).
int64_t IntervalsBytes(size_t points, const TBHCollectionList& intervals) {
  constexpr int64_t kRockBytes = 640;
  constexpr int64_t kNameBlockBytes = 12 + 56;
  constexpr int64_t kNodeBytes = HeapBlockBytes(sizeof(std::pair<const double, TBoreholeItem>) + 4 * sizeof(void*));
  const int64_t records = intervals.RecordsRead();
  const int64_t path = static_cast<int64_t>(points) + 2 * records;
  return path * kNodeBytes + HeapBlockBytes(path * static_cast<int64_t>(sizeof(TBoreholeItem))) +
         records * kRockBytes + 5 * (intervals.NameBytesRead() + records * kNameBlockBytes);
}

// What the borehole of `points` and the intervals read would take opened, drawn and in
// the first frame, where the count passed over its making: its points with each
// interval's two ends, and a node of its pipe for each and each change of rock.
TSkippedCost BoreholeCost(size_t points, const TBHCollectionList& intervals, const std::string& name) {
  const int64_t count = static_cast<int64_t>(points) + 2 * int64_t{intervals.RecordsRead()};
  const int64_t nodes = 1 + 2 * count;
  return {TGraphBorehole().OpenedBytesDrawing(BoreholeDrawnBytes(nodes, name.size())) + BoreholeHeldBytes(count) +
              GraphObjectCost.Of(0, static_cast<int64_t>(name.size())),
          nodes * BoreholeNodeBinBytes};
}

std::unique_ptr<TGraphBorehole> BoreholeFromStations(TGeologyList* geologyList,
                                                     const std::vector<TInkStation>& stations,
                                                     const std::string& bgdFileName, const std::string& name,
                                                     double x, double y, double z) {
  // The points and the geology file's intervals placed on them, weighed before any is
  // made; passed over by the count, nothing is made (the count refuses the reading).
  bool held = WeighArray(static_cast<int64_t>(stations.size()), sizeof(TBoreholeItem));
  TBHCollectionList intervals(true);
  const bool geology = !bgdFileName.empty() && intervals.LoadFromFile(bgdFileName);
  if (geology) held = TOpenCount::Weigh(IntervalsBytes(stations.size(), intervals)) && held;
  if (!held) {
    TOpenCount::Skipped(BoreholeCost(stations.size(), intervals, name));
    return nullptr;
  }
  auto borehole = std::make_unique<TGraphBorehole>();
  TBoreholeItemArray& points = borehole->Points;
  points.reserve(stations.size());
  points.push_back({x, y, z, stations[0].Depth, -1});
  for (size_t i = 1; i < stations.size(); ++i) {
    const TInkStation& s = stations[i];
    const TBoreholeItem prev = points.back();
    // The station's angles hold for the whole interval above it.
    const double length = s.Depth - prev.Depth;
    const double inclination = Radians(s.Inclination);
    const double azimuth = Radians(s.Azimuth);
    points.push_back({prev.X + std::sin(inclination) * length * std::cos(azimuth),
                      prev.Y + std::sin(inclination) * length * std::sin(azimuth),
                      prev.Z - std::cos(inclination) * length, s.Depth, -1});
  }

  if (!bgdFileName.empty()) {
    if (!geology) {
      ShowMessageDlg("Geology is not loaded", 1);
    } else if (std::is_sorted(points.begin(), points.end(), DeeperFirst)) {
      InsertIntervalEnds(points, intervals);
      if (geologyList) AssignRocks(points, intervals, *geologyList);
    } else {
      // A path that turns back up in depth: one by one, as the points are found.
      for (int32_t i = 0; i < intervals.Count(); ++i) {
        const TBHDepthCollectionItem* interval = intervals.Interval(i);
        borehole->InsertPointAtDepth(interval->Top);
        borehole->InsertPointAtDepth(interval->Bottom);
      }
      if (geologyList) {
        for (TBoreholeItem& point : points) {
          for (int32_t i = 0; i < intervals.Count(); ++i) {
            const TBHDepthCollectionItem* interval = intervals.Interval(i);
            // A point at an interval's top belongs to the interval above; a later
            // matching interval overrides an earlier one.
            if (interval->Filling && interval->Top < point.Depth && point.Depth <= interval->Bottom)
              point.GeologyIndex = geologyList->FindOrAdd(interval->FullName, interval->ShortName,
                                                          static_cast<int32_t>(interval->Color));
          }
        }
      }
    }
  }

  borehole->SetName(name);
  borehole->Collar = {x, y, z};
  borehole->GeologyList = geologyList;
  borehole->CalcBounds();
  return borehole;
}

}  // namespace

// ---- Path ---------------------------------------------------------------------------

void TGraphBorehole::SetGeologyList(TGeologyList* list) {
  GeologyList = list;
  TGraphMain::SetGeologyList(list);
}

void TGraphBorehole::CalcBounds() {
  BoundsMin = EmptyBoundsMin;
  BoundsMax = EmptyBoundsMax;
  for (const TBoreholeItem& p : Points) ExtendBounds({p.X, p.Y, p.Z});
}

namespace {

std::atomic<int64_t> gPathDepthSteps{0};

// The first point of the segment a depth lies on: the first whose depth is below it
// while the next one's is not; the end segments beyond the ends, and the last for NaN.
// With the depths in order that point is found by halving: the one before the first
// depth not below it, whatever depths repeat.
size_t SegmentAtDepth(const TBoreholeItemArray& points, double depth, bool inOrder) {
  const size_t n = points.size();
  if (depth <= points[0].Depth) return 0;
  if (depth > points[n - 1].Depth) return n - 2;
  if (inOrder && !std::isnan(depth)) {
    const auto above = std::lower_bound(points.begin(), points.end(), depth,
                                        [](const TBoreholeItem& p, double d) { return p.Depth < d; });
    gPathDepthSteps.fetch_add(std::bit_width(n), std::memory_order_relaxed);
    return static_cast<size_t>(above - points.begin()) - 1;
  }
  size_t k = 0;
  while (k + 2 < n && !(points[k].Depth < depth && depth <= points[k + 1].Depth)) ++k;
  gPathDepthSteps.fetch_add(static_cast<int64_t>(k + 1), std::memory_order_relaxed);
  return k;
}

TSurveyPoint PathPointAtDepth(const TBoreholeItemArray& points, double depth, bool inOrder) {
  const size_t n = points.size();
  if (n == 0) return {0, 0, 0};
  // A hole of one station (an inclination file may hold just its collar) is
  // measured from that station, not from the survey's origin.
  if (n == 1) return {points[0].X, points[0].Y, points[0].Z};
  const size_t k = SegmentAtDepth(points, depth, inOrder);
  const TBoreholeItem& a = points[k];
  const TBoreholeItem& b = points[k + 1];
  const double span = b.Depth - a.Depth;
  const double t = span != 0 ? (depth - a.Depth) / span : 0.0;
  return {a.X + t * (b.X - a.X), a.Y + t * (b.Y - a.Y), a.Z + t * (b.Z - a.Z)};
}

}  // namespace

TSurveyPoint TGraphBorehole::PointAtDepth(double depth) const { return PathPointAtDepth(Points, depth, false); }

bool TGraphBorehole::DepthsInOrder() const {
  for (size_t i = 1; i < Points.size(); ++i)
    if (!(Points[i - 1].Depth <= Points[i].Depth)) return false;
  return Points.empty() || !std::isnan(Points[0].Depth);
}

double TGraphBorehole::DistanceTo(const TGraphBorehole& other, double depthSelf, double depthOther) const {
  return PointDistance(PointAtDepth(depthSelf), other.PointAtDepth(depthOther));
}

TSurveyPoint TPathAtDepths::PointAt(double depth) const { return PathPointAtDepth(hole_.Points, depth, inOrder_); }

double PointDistance(const TSurveyPoint& p, const TSurveyPoint& q) {
  const double dx = p.X - q.X, dy = p.Y - q.Y, dz = p.Z - q.Z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

int64_t PathDepthStepsForTesting() { return gPathDepthSteps.load(); }

int TGraphBorehole::InsertPointAtDepth(double d) {
  const size_t n = Points.size();
  for (const TBoreholeItem& p : Points)
    if (p.Depth == d) return -1;
  if (n < 2) return -1;
  size_t k = 0;
  while (k < n && Points[k].Depth < d) ++k;
  const size_t ia = k == 0 ? 0 : (k == n ? n - 2 : k - 1);
  const TBoreholeItem point = PointBetween(Points[ia], Points[ia + 1], d);
  Points.insert(Points.begin() + static_cast<std::ptrdiff_t>(k), point);
  return static_cast<int>(k);
}

// ---- Building -----------------------------------------------------------------------

TColor TGraphBorehole::ColorOfPoint(const TBoreholeItem& item) const {
  if (!GeologyList || !Settings.UseGeologyColors) return Settings.PipeColor;
  return static_cast<TColor>(
      GeologyList->ColorOf(item.GeologyIndex, static_cast<int32_t>(Settings.PipeColor), false));
}

void TGraphBorehole::Build(bool recursive) {
  TGraphMain::Build(recursive);
  if (Points.empty() || !Context || !Context->ModelCube) return;
  const float alpha = OpacityAlpha(Transparency);

  TGLPipe& pipe = Pipe.Create(*Context->ModelCube);
  SetMaterialBlending(pipe, Transparency < 255);
  pipe.SetNodesColorMode(TPipeNodesColorMode::pncmAmbientAndDiffuse);
  pipe.Nodes().BeginUpdate();
  auto addNode = [&](double x, double y, double z, TColor color) {
    TGLPipeNode& node = pipe.AddNode(Context->ToScene(x, y, z));
    node.Color().SetColor(ConvertWinColor(color, alpha));
  };
  // Every segment takes the colour of its deeper point: where the colour changes,
  // an extra node at the upper point starts the new colour sharply.
  TColor last = ColorOfPoint(Points[0]);
  addNode(Collar.X, Collar.Y, Collar.Z, last);
  for (size_t i = 0; i < Points.size(); ++i) {
    const TBoreholeItem& p = Points[i];
    const TColor c = ColorOfPoint(p);
    if (c != last) {
      const TBoreholeItem& upper = Points[i - 1];
      addNode(upper.X, upper.Y, upper.Z, c);
      last = c;
    }
    addNode(p.X, p.Y, p.Z, c);
  }
  pipe.Nodes().EndUpdate();
  pipe.SetRadius(static_cast<float>(Settings.Radius));
  pipe.SetParts({TPipePart::ppOutside, TPipePart::ppStartDisk, TPipePart::ppStopDisk});

  const float scale = static_cast<float>(Settings.LabelSize * 0.25);
  auto makeLabel = [&](TBuiltNode<TGLFlatText>& holder, const TBoreholeItem& at, bool top) {
    TGLFlatText& text = holder.Create(*Context->ModelCube);
    text.SetBitmapFont(Context->BitmapFont);
    text.ModulateColor().SetColor(ConvertWinColor(Settings.LabelColor, alpha));
    text.SetText(Name());
    text.Scale().SetVector(scale, scale, scale);
    text.SetAlignment(TAlignment::taCenter);
    if (top) text.SetLayout(TTextLayout::tlBottom);
    text.Position().SetAffinePoint(Context->ToScene(at.X, at.Y, at.Z));
  };
  makeLabel(TopLabel, Points.front(), true);
  makeLabel(BottomLabel, Points.back(), false);

  UpdateVisibility();
}

void TGraphBorehole::UpdateVisibility() {
  const bool hidden = IsHidden();
  TGraphMain::UpdateVisibility();
  if (Pipe) Pipe->SetVisible(!hidden);
  if (TopLabel) TopLabel->SetVisible(!hidden && Settings.ShowLabels && Settings.ShowTopLabel);
  if (BottomLabel) BottomLabel->SetVisible(!hidden && Settings.ShowLabels && Settings.ShowBottomLabel);
}

void TGraphBorehole::NameChanged() {
  for (TBuiltNode<TGLFlatText>* label : {&TopLabel, &BottomLabel})
    if (*label) (*label)->SetText(Name());
}

void TGraphBorehole::PointTo(TGLBaseSceneObject* target) {
  TGraphMain::PointTo(target);
  if (!target) return;
  if (TopLabel) TopLabel->PointToObject(*target, YHmgVector);
  if (BottomLabel) BottomLabel->PointToObject(*target, YHmgVector);
}

void TGraphBorehole::Clear() {
  Points.clear();
  FreeNodes();
  TGraphMain::Clear();
}

// ---- Editing ------------------------------------------------------------------------

bool TGraphBorehole::Edit() {
  IgnoreNextMouseMove = true;
  TBoreholeSettings settings = Settings;
  TTransparencyParams base = GetTransparencyParams();
  const TBoreholeEditor& editor = Hooks().Editor;
  if (!editor || !editor("Borehole " + Name(), settings, base)) return false;
  Settings = settings;
  Transparency = base.Transparency;
  AcceptForAll = base.AcceptForAll;
  Build(true);
  GetRoot()->CopySettingsFrom(*this);
  return true;
}

void TGraphBorehole::CopySettingsFrom(const TGraphMain& source) {
  TGraphMain::CopySettingsFrom(source);
  const auto* other = dynamic_cast<const TGraphBorehole*>(&source);
  if (!other || other == this) return;
  const TBoreholeSettings& s = other->Settings;
  if (!s.ApplyPipeToAll && !s.ApplyColorToAll && !s.ApplyLabelsToAll && !other->AcceptForAll) return;
  if (s.ApplyPipeToAll) Settings.Radius = s.Radius;
  if (s.ApplyColorToAll) {
    Settings.UseGeologyColors = s.UseGeologyColors;
    Settings.PipeColor = s.PipeColor;
  }
  if (s.ApplyLabelsToAll) {
    Settings.ShowLabels = s.ShowLabels;
    Settings.LabelColor = s.LabelColor;
    Settings.LabelSize = s.LabelSize;
    Settings.ShowTopLabel = s.ShowTopLabel;
    Settings.ShowBottomLabel = s.ShowBottomLabel;
  }
  if (other->AcceptForAll) Transparency = other->Transparency;
  Build(true);
}

// ---- Stored record ------------------------------------------------------------------

namespace {

bool WritePoints(TBinaryStream& s, const TBoreholeItemArray& points) {
  if (points.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return false;
  if (!s.WriteInt32(static_cast<int32_t>(points.size()))) return false;
  for (const TBoreholeItem& p : points)
    if (!(s.WriteDouble(p.X) && s.WriteDouble(p.Y) && s.WriteDouble(p.Z) && s.WriteDouble(p.Depth) &&
          s.WriteInt32(p.GeologyIndex)))
      return false;
  return true;
}

// The count is checked against the bytes left in the chunk before anything is
// allocated.
bool ReadPoints(TBinaryStream& s, int32_t endOffset, TBoreholeItemArray& points) {
  int32_t n = 0;
  if (!s.ReadInt32(n) || n < 0) return false;
  if (static_cast<int64_t>(n) * kStoredPointSize > static_cast<int64_t>(endOffset) - s.Position()) return false;
  // Passed over by an open's count: none made.
  if (!WeighArray(n, sizeof(TBoreholeItem))) {
    points.clear();
    return s.Seek(s.Position() + n * kStoredPointSize);
  }
  TBoreholeItemArray read(static_cast<size_t>(n));
  for (TBoreholeItem& p : read)
    if (!(s.ReadDouble(p.X) && s.ReadDouble(p.Y) && s.ReadDouble(p.Z) && s.ReadDouble(p.Depth) &&
          s.ReadInt32(p.GeologyIndex)))
      return false;
  points = std::move(read);
  return true;
}

// A stored point list passed over, making nothing of it: its count, and the nodes
// Build makes of it (the collar, each point, and one more where the rock changes).
bool SkipPoints(TBinaryStream& s, int32_t endOffset, int64_t& count, int64_t& nodes) {
  int32_t n = 0;
  if (!s.ReadInt32(n) || n < 0) return false;
  if (static_cast<int64_t>(n) * kStoredPointSize > static_cast<int64_t>(endOffset) - s.Position()) return false;
  constexpr int32_t kBeforeRock = 4 * 8;
  nodes = 1 + int64_t{n};
  int32_t previous = 0;
  for (int32_t i = 0; i < n; ++i) {
    int32_t rock = 0;
    if (!s.Seek(s.Position() + kBeforeRock) || !s.ReadInt32(rock)) return false;
    if (i > 0 && rock != previous) ++nodes;
    previous = rock;
  }
  count = n;
  return true;
}

// The first draw of a borehole whose pipe has `nodes` nodes; both labels keep the name
// and lay its lines out as long again.
int64_t BoreholeDrawnBytes(int64_t nodes, size_t nameSize) {
  return BoreholeDrawCost.Of(1, nodes) + 4 * static_cast<int64_t>(nameSize);
}

// Reads the magic; false for another one. A chunk too short to hold it (one that ends
// right behind its header) is no other record but damage: EStreamError, as any kind
// whose fields run past its chunk.
bool ReadMagic(TBinaryStream& s, int32_t endOffset) {
  if (endOffset - s.Position() < kMagicSize) throw EStreamError();
  std::string magic;
  return ReadRawString(s, kMagicSize, magic) && magic == kMagic;
}

// What a borehole holds beside the base, with room for `points` points.
int64_t BoreholeHeldBytes(int64_t points) {
  return static_cast<int64_t>(sizeof(TGraphBorehole) - sizeof(TGraphMain)) +
         points * static_cast<int64_t>(sizeof(TBoreholeItem));
}

// What a borehole whose fields an open's count refused takes opened, as Keep counts it
// read whole: the empty borehole's own cost with its points, its name and its pipe's
// drawing. `storedAfterName`: the bytes the layout stores behind the name.
std::optional<TSkippedCost> SkippedBoreholeCost(const TGraphBorehole& empty, TBinaryStream& s, int32_t end,
                                                int32_t storedAfterName) {
  if (!ReadMagic(s, end)) return TSkippedCost{};  // another record, which the reader drops unread
  int64_t count = 0, nodes = 0, stored = 0, name = 0;
  if (!SkipPoints(s, end, count, nodes) || !MeasureLengthString(s, stored, name) ||
      end - s.Position() < storedAfterName)
    return std::nullopt;
  // Read, the stored name takes the place of the one the object has.
  const int64_t had = static_cast<int64_t>(empty.Name().size());
  const int64_t longer = std::max<int64_t>(name - had, 0);
  return TSkippedCost{empty.OpenedBytesDrawing(BoreholeDrawnBytes(nodes, static_cast<size_t>(had + longer))) +
                          GraphObjectCost.Of(0, longer) + BoreholeHeldBytes(count),
                      nodes * BoreholeNodeBinBytes};
}

// What each layout stores behind the name: collar, radius, label settings (and, in
// the current one, the flags applied to all; in the older one, the visible flag and
// from version 1 five unused bytes).
constexpr int32_t kStoredAfterName = 3 * 8 + 8 + 1 + 4 + 8 + 5;
constexpr int32_t OldStoredAfterName(int32_t version) { return 3 * 8 + 8 + 1 + 1 + 4 + 8 + (version >= 1 ? 5 : 0); }

}  // namespace

bool TGraphBorehole::SaveToStream(TBinaryStream& handle) {
  if (!TGraphMain::SaveToStream(handle)) return false;
  return WriteKindChunk(handle, 0, [this](TBinaryStream& s) {
    const TBoreholeSettings& k = Settings;
    return WriteRawString(s, kMagic) && WritePoints(s, Points) && WriteLengthString(s, Name()) &&
           s.WriteDouble(Collar.X) && s.WriteDouble(Collar.Y) && s.WriteDouble(Collar.Z) &&
           s.WriteDouble(k.Radius) && s.WriteBool(k.ShowLabels) && s.WriteUInt32(k.LabelColor) &&
           s.WriteDouble(k.LabelSize) && s.WriteBool(k.ApplyPipeToAll) && s.WriteBool(k.ApplyColorToAll) &&
           s.WriteBool(k.ShowTopLabel) && s.WriteBool(k.ShowBottomLabel) && s.WriteBool(k.ApplyLabelsToAll);
  });
}

bool TGraphBorehole::LoadFromStream(TBinaryStream& handle) {
  const bool base = TGraphMain::LoadFromStream(handle);
  bool magicMatched = false;
  const bool read = ReadKindChunk(handle, 0, base, [&](TBinaryStream& s, int32_t, int32_t end) {
    if (!ReadMagic(s, end)) return true;  // another record: skipped, reported below
    magicMatched = true;
    TBoreholeItemArray points;
    std::string name;
    TSurveyPoint collar;
    TBoreholeSettings k;  // UseGeologyColors and PipeColor keep their defaults
    if (!(ReadPoints(s, end, points) && ReadNameString(s, name) && s.ReadDouble(collar.X) &&
          s.ReadDouble(collar.Y) && s.ReadDouble(collar.Z) && s.ReadDouble(k.Radius) &&
          s.ReadBool(k.ShowLabels) && s.ReadUInt32(k.LabelColor) && s.ReadDouble(k.LabelSize) &&
          s.ReadBool(k.ApplyPipeToAll) && s.ReadBool(k.ApplyColorToAll) && s.ReadBool(k.ShowTopLabel) &&
          s.ReadBool(k.ShowBottomLabel) && s.ReadBool(k.ApplyLabelsToAll)))
      return false;
    if (s.Position() > end) return false;
    Points = std::move(points);
    SetName(name);
    Collar = collar;
    Settings = k;
    return true;
  }, [this](TBinaryStream& s, int32_t end) { return SkippedBoreholeCost(*this, s, end, kStoredAfterName); });
  return read && magicMatched;
}

bool TGraphBorehole::LoadOldLayout(TBinaryStream& handle) {
  TFileVersion chunk(handle, 1);
  int32_t version = 0;
  const bool known = chunk.ReadHeader(version, true);
  if (chunk.Damaged()) throw EStreamError();
  if (!known) return false;
  const TReadBound fields(handle, chunk.EndOffset);
  if (!ExpectChunkFields(handle, chunk, [this, version](TBinaryStream& s, int32_t end) {
        return SkippedBoreholeCost(*this, s, end, OldStoredAfterName(version));
      }))
    return false;
  const int32_t end = chunk.EndOffset;
  auto skip = [&] {
    if (!chunk.SkipToEnd()) throw EStreamError();
  };
  if (!ReadMagic(handle, end)) {
    skip();
    return false;
  }
  TBoreholeItemArray points;
  std::string name;
  TSurveyPoint collar;
  TBoreholeSettings k = Settings;
  bool visible = true;
  if (!(ReadPoints(handle, end, points) && ReadNameString(handle, name) && handle.ReadDouble(collar.X) &&
        handle.ReadDouble(collar.Y) && handle.ReadDouble(collar.Z) && handle.ReadDouble(k.Radius) &&
        handle.ReadBool(visible) && handle.ReadBool(k.ShowLabels) && handle.ReadUInt32(k.LabelColor) &&
        handle.ReadDouble(k.LabelSize)))
    throw EStreamError();
  if (version >= 1) {
    uint8_t unusedByte = 0;
    int32_t unusedInt = 0;
    if (!(handle.ReadUInt8(unusedByte) && handle.ReadInt32(unusedInt))) throw EStreamError();
  }
  if (handle.Position() > end) throw EStreamError();
  skip();
  Points = std::move(points);
  SetName(name);
  Collar = collar;
  Settings = k;
  SetVisible(visible);
  CalcBounds();
  return true;
}

namespace {

// Build's nodes: the collar, each point, and one more where the rock changes (the
// colours follow the rocks, so no more changes than these).
int64_t PipeNodes(const TBoreholeItemArray& points) {
  int64_t nodes = 1 + static_cast<int64_t>(points.size());
  for (size_t i = 1; i < points.size(); ++i)
    if (points[i].GeologyIndex != points[i - 1].GeologyIndex) ++nodes;
  return nodes;
}

}  // namespace

int64_t TGraphBorehole::DrawnBytes() const { return BoreholeDrawnBytes(PipeNodes(Points), Name().size()); }

int64_t TGraphBorehole::BinnedBytes() const { return PipeNodes(Points) * BoreholeNodeBinBytes; }

bool TGraphBorehole::DrawingHeld() const { return NodesDrawingHeld({&Pipe, &TopLabel, &BottomLabel}); }

int64_t TGraphBorehole::OpenedBytes() const {
  return TGraphMain::OpenedBytes() + BoreholeHeldBytes(static_cast<int64_t>(Points.capacity()));
}

// ---- Registration -------------------------------------------------------------------

void RegisterBoreholeKind() {
  RegisterGraphKind(GraphTypeId::Borehole, [] { return std::make_unique<TGraphBorehole>(); });
  RegisterCreateCommand(TCreateCommand::Borehole, [](TGraphMain& target) {
    std::unique_ptr<TGraphBorehole> borehole = TGraphBorehole::CreateFromFiles(CurrentGeologyList);
    if (borehole) target.AddNewObject(std::move(borehole), true);
  });
}

}  // namespace qira

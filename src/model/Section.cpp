#include "model/Section.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <algorithm>
#include <limits>
#include <new>
#include <optional>
#include <system_error>
#include <utility>

#include "model/DrawCosts.h"
#include "model/GraphRecord.h"
#include "model/Settings.h"
#include "model/StreamHelpers.h"
#include "platform/AvailableMemory.h"
#include "platform/BinaryStream.h"
#include "scene/graph/SceneObject.h"
#include "platform/Rounding.h"
#include "platform/Services.h"
#include "scene/components/Colors.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/objects/DummyPlaneSprite.h"
#include "scene/materials/Materials.h"
#include "scene/objects/Mesh.h"

// Sections: hooks; construction; cells; names; settings; building; menu and editing;
// project record; older project layout; section file.

namespace qira {

namespace {

TSectionEditor& SectionEditor() {
  static TSectionEditor editor;
  return editor;
}

// A section sheet drawn a little nearer the viewer than its depth: a potential
// section lying in the same plane would otherwise fight it pixel by pixel, and the
// measured section is the one to see.
class TSectionSheetMesh : public TGLMesh {
  QIRA_CLASS(TSectionSheetMesh, TGLMesh)

  void BuildList(TRenderContextInfo& rci) override {
    glPushAttrib(GL_ENABLE_BIT | GL_POLYGON_BIT);
    glEnable(GL_POLYGON_OFFSET_FILL);
    glEnable(GL_POLYGON_OFFSET_LINE);
    glEnable(GL_POLYGON_OFFSET_POINT);
    glPolygonOffset(-1.0f, -2.0f);
    TGLMesh::BuildList(rci);
    glPopAttrib();
  }
};

// Makes the holder's mesh a section sheet (TBuiltNode makes what AddNewChild gives).
struct TSheetParent {
  TGLBaseSceneObject& cube;
  template <class T>
  T& AddNewChild() {
    return cube.AddNewChild<TSectionSheetMesh>();
  }
};

std::array<TSectionExportAction, kSectionExportCount>& SectionExports() {
  static std::array<TSectionExportAction, kSectionExportCount> actions;
  return actions;
}

void Require(bool ok) {
  if (!ok) throw EStreamError();
}

constexpr char kSectionTag[] = "Section";
constexpr int32_t kSectionTagSize = 7;
constexpr int32_t kSignatureSize = 15;

// Whether four boundary arrays of `entries` doubles and rows x cols values fit into
// `available` bytes; checked before anything is allocated.
bool GridFits(int32_t rows, int32_t cols, int64_t entries, int64_t available) {
  if (rows < 0 || cols < 0 || entries < 0) return false;
  const int64_t boundaries = 32 * entries;
  if (boundaries > available) return false;
  if (rows == 0) return true;
  return cols <= (available - boundaries) / 8 / rows;
}

// Passed over by an open's count, the array is left empty (the count refuses the open).
bool ReadDoubles(TBinaryStream& s, size_t n, std::vector<double>& out) {
  out.clear();
  if (!WeighArray(static_cast<int64_t>(n), sizeof(double)))
    return static_cast<int64_t>(n) * 8 <= s.Remaining() && s.Seek(s.Position() + static_cast<int32_t>(n * 8));
  std::vector<double> v(n);
  for (double& x : v)
    if (!s.ReadDouble(x)) return false;
  out = std::move(v);
  return true;
}

bool ReadValueRows(TBinaryStream& s, int32_t rows, int32_t cols, std::vector<std::vector<double>>& out) {
  out.clear();
  if (!WeighArray(rows, sizeof(std::vector<double>)))
    return int64_t{rows} * cols * 8 <= s.Remaining() && s.Seek(s.Position() + rows * cols * 8);
  std::vector<std::vector<double>> v(static_cast<size_t>(rows));
  for (std::vector<double>& row : v)
    if (!ReadDoubles(s, static_cast<size_t>(cols), row)) return false;
  out = std::move(v);
  return true;
}

// Entry i of a boundary array, 0 where the array is short (a section made in code).
double Entry(const std::vector<double>& v, int i) {
  return i >= 0 && static_cast<size_t>(i) < v.size() ? v[static_cast<size_t>(i)] : 0.0;
}

// The general number format: `precision` significant digits without trailing zeros;
// fixed while the integer part has at most `precision` digits and |x| >= 0.00001,
// else d.dddE[-]x.
std::string FormatGeneral(double x, int precision) {
  if (x == 0) return "0";
  if (std::isnan(x)) return "NAN";
  if (std::isinf(x)) return x > 0 ? "INF" : "-INF";
  char buf[64];
  const auto done = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, precision - 1);
  std::string s(buf, done.ptr);
  std::string sign;
  if (s[0] == '-') {
    sign = "-";
    s.erase(0, 1);
  }
  const size_t e = s.find('e');
  int exponent = 0;
  std::from_chars(s.data() + e + (s[e + 1] == '+' ? 2 : 1), s.data() + s.size(), exponent);
  std::string digits = s.substr(0, 1) + (e > 2 ? s.substr(2, e - 2) : std::string());
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  if (exponent < precision && std::fabs(x) >= 0.00001) {
    if (exponent < 0) return sign + "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    const size_t whole = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= whole) return sign + digits + std::string(whole - digits.size(), '0');
    return sign + digits.substr(0, whole) + "." + digits.substr(whole);
  }
  std::string mantissa = digits.substr(0, 1);
  if (digits.size() > 1) mantissa += "." + digits.substr(1);
  return sign + mantissa + "E" + std::to_string(exponent);
}

std::string WithoutSeparators(const std::string& name) {
  std::string out;
  for (char c : name)
    if (c != ' ' && c != '-' && c != '_') out += c;
  return out;
}

TPolygonMode PolygonModeOf(uint8_t fillMode) {
  switch (fillMode) {
    case 1: return TPolygonMode::pmLines;
    case 2: return TPolygonMode::pmPoints;
    default: return TPolygonMode::pmFill;
  }
}

}  // namespace

// ---- Hooks --------------------------------------------------------------------------

void SetSectionEditor(TSectionEditor editor) { SectionEditor() = std::move(editor); }

bool ExecuteSectionDialog(const std::string& caption, double dataMin, double dataMax,
                          TSectionSettings& settings, TTransparencyParams& pair) {
  const TSectionEditor& editor = SectionEditor();
  return editor && editor(caption, dataMin, dataMax, settings, pair);
}

const char* SectionExportCaption(TSectionExport which) {
  switch (which) {
    case TSectionExport::BlocksTable: return "Closed colored &blocks table";
    case TSectionExport::XYZTable: return "&XYZ values table";
    case TSectionExport::Dxf: return "3D object in DXF format";
  }
  return "";
}

void RegisterSectionExport(TSectionExport which, TSectionExportAction action) {
  SectionExports().at(static_cast<size_t>(which)) = std::move(action);
}

// ---- Construction -------------------------------------------------------------------

TGraphSection::TGraphSection() {
  TypeId = GraphTypeId::Section;
  AcceptForAll = true;
  Exclusive = true;
}

TGraphSection::~TGraphSection() { FreeMeshes(); }

void TGraphSection::FreeMeshes() {
  FrontMesh.Free();
  BackMesh.Free();
}

void TGraphSection::Clear() {
  FreeMeshes();
  Borehole1.clear();
  Borehole2.clear();
  X1.clear();
  X2.clear();
  Y1.clear();
  Y2.clear();
  Values.clear();
  ColCount = 0;
  RowCount = 0;
  Palette = TZBPalette();
  TGraphMain::Clear();
}

// ---- Cells --------------------------------------------------------------------------

double TGraphSection::Value(int i, int j) const {
  if (i < 0 || j < 0 || static_cast<size_t>(i) >= Values.size()) return 0;
  const std::vector<double>& row = Values[static_cast<size_t>(i)];
  return static_cast<size_t>(j) < row.size() ? row[static_cast<size_t>(j)] : 0;
}

bool TGraphSection::IsShown(double v) const {
  // NaN holds no data either: it has no place on the palette.
  if (v == 0 || std::isnan(v)) return false;
  return (ShowAboveMax || v <= Palette.Max()) && (ShowBelowMin || v >= Palette.Min());
}

TSurveyPoint TGraphSection::BoundaryPoint(int k, double f) const {
  const double x1 = Entry(X1, k), x2 = Entry(X2, k), y1 = Entry(Y1, k), y2 = Entry(Y2, k);
  const double z = RowCount > 0 ? StartZ + (EndZ - StartZ) * k / RowCount : StartZ;
  return {x1 + (x2 - x1) * f, y1 + (y2 - y1) * f, z};
}

bool TGraphSection::GetNode(int i, int j, double& x, double& y, double& z, double& v) const {
  v = Value(i, j);
  if (i < 0 || j < 0 || i >= RowCount || j >= ColCount || !IsShown(v)) return false;
  const double f = (j + 0.5) / ColCount;
  const TSurveyPoint p = BoundaryPoint(i, f);
  const TSurveyPoint q = BoundaryPoint(i + 1, f);
  x = (p.X + q.X) / 2;
  y = (p.Y + q.Y) / 2;
  z = StartZ + (EndZ - StartZ) * (i + 0.5) / RowCount;
  return true;
}

bool TGraphSection::GetCell(int i, int j, TSurveyPoint& a, TSurveyPoint& b, TSurveyPoint& c,
                            TSurveyPoint& d, double& v) const {
  v = Value(i, j);
  if (i < 0 || j < 0 || i >= RowCount || j >= ColCount || !IsShown(v)) return false;
  const double f0 = static_cast<double>(j) / ColCount;
  const double f1 = static_cast<double>(j + 1) / ColCount;
  a = BoundaryPoint(i, f0);
  b = BoundaryPoint(i, f1);
  c = BoundaryPoint(i + 1, f0);
  d = BoundaryPoint(i + 1, f1);
  return true;
}

void TGraphSection::CalcBounds() {
  BoundsMin = EmptyBoundsMin;
  BoundsMax = EmptyBoundsMax;
  for (int i = 0; i < RowCount; ++i) {
    for (int j = 0; j < ColCount; ++j) {
      const double v = Value(i, j);
      if (v == 0 || std::isnan(v)) continue;  // the shown test is not applied
      ExtendBounds(BoundaryPoint(i, static_cast<double>(j) / ColCount));
      ExtendBounds(BoundaryPoint(i + 1, static_cast<double>(j + 1) / ColCount));
    }
  }
}

void TGraphSection::CalcDataRange() {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -std::numeric_limits<double>::infinity();
  for (const std::vector<double>& row : Values) {
    for (double v : row) {
      if (v == 0 || !std::isfinite(v)) continue;
      if (v < lo) lo = v;
      if (v > hi) hi = v;
    }
  }
  if (lo > hi) lo = hi = 0;
  DataMin = lo;
  DataMax = hi;
}

// ---- Memory -------------------------------------------------------------------------

namespace {

// Whole KB or MB rounded up, GB with one decimal.
std::string MemoryText(double bytes) {
  constexpr double kB = 1024.0, MB = kB * 1024.0, GB = MB * 1024.0;
  if (bytes >= GB) return FloatToStrFixed(1, std::ceil(bytes / GB * 10) / 10) + " GB";
  if (bytes >= MB) return std::to_string(static_cast<int64_t>(std::ceil(bytes / MB))) + " MB";
  return std::to_string(static_cast<int64_t>(std::ceil(bytes / kB))) + " KB";
}

}  // namespace

namespace {

// The sheet of a section with every cell shown: Gradient one point per cell and two
// triangles per node quad, Cells four points and two triangles per cell.
struct TSheetSize {
  double Cells = 0;
  double Points = 0;
  double Triangles = 0;

  TSheetSize(int32_t rows, int32_t cols, uint8_t imageStyle) {
    const double r = rows > 0 ? rows : 0, c = cols > 0 ? cols : 0;
    Cells = r * c;
    Points = imageStyle == 0 ? Cells : 4 * Cells;
    Triangles = imageStyle == 0 ? 2 * std::max(r - 1, 0.0) * std::max(c - 1, 0.0) : 2 * Cells;
  }
  double SheetBytes() const { return Points * sizeof(TSharedVertex) + Triangles * 3 * sizeof(uint32_t); }
  // The sheet until after the first frame: while it is built, the normal sums of its
  // points and, for Gradient, a slot per cell beside it; then the drawing's copy of
  // its points beside it for a moment (the larger), the copy alone after.
  double DrawnBytes(uint8_t imageStyle) const {
    const double building = Points * sizeof(TAffineVector) + (imageStyle == 0 ? Cells * sizeof(uint32_t) : 0);
    return SheetBytes() + std::max(building, Points * sizeof(TSharedVertex));
  }
};

// The grid: values, one vector per row (and four boundary arrays, counted by the
// object that holds them).
double GridBytes(int32_t rows, int32_t cols) {
  const double r = rows > 0 ? rows : 0, c = cols > 0 ? cols : 0;
  return r * c * sizeof(double) + r * (sizeof(std::vector<double>) + 32);
}

}  // namespace

namespace {

// Two triangles a cell, drawn in the renderer's stretches (the back face culled).
int64_t SectionBinsOf(double cells) { return MeshBinsOf(cells, 6, SectionCellBinBytes, VerticesBetweenRenderWaits); }

}  // namespace

double SectionMemoryNeeded(int32_t rows, int32_t cols, bool gridLoaded, uint8_t imageStyle) {
  const TSheetSize sheet(rows, cols, imageStyle);
  // The triangles the first frame draws, in the renderer's bins: up to 390 B a cell
  // measured, by how much of the view the section fills, up to a frame's bound.
  double bytes = sheet.DrawnBytes(imageStyle) +
                 static_cast<double>(FrameBinsOf(SectionBinsOf(sheet.Cells)));
  if (!gridLoaded) bytes += GridBytes(rows, cols);
  return bytes;
}

std::string SectionOutOfMemoryText() {
  return "There is not enough memory for the section: only " + MemoryText(static_cast<double>(AvailableMemory())) +
         " are available.";
}

namespace {

// The section's refusal, what it needs weighed against what is available.
std::string SectionTooLarge(int32_t rows, int32_t cols, double needed, double available) {
  return TooLargeText("The section of " + std::to_string(rows) + " x " + std::to_string(cols) + " cells", "shown",
                      SaturateCast<int64_t>(needed), SaturateCast<int64_t>(available));
}

}  // namespace

std::string SectionMemoryText(int32_t rows, int32_t cols, bool gridLoaded, uint8_t imageStyle, double reusable) {
  return SectionTooLarge(rows, cols, SectionMemoryNeeded(rows, cols, gridLoaded, imageStyle),
                         static_cast<double>(AvailableMemory()) + reusable);
}

std::string SectionMemoryProblem(int32_t rows, int32_t cols, bool gridLoaded, uint8_t imageStyle, double reusable) {
  const double needed = SectionMemoryNeeded(rows, cols, gridLoaded, imageStyle);
  // Checked for every section a project builds: the figures are read per bytes weighed,
  // not per section, and afresh for a large one.
  const int64_t step = SaturateCast<int64_t>(needed - reusable);
  const double available = static_cast<double>(AvailableMemoryForStep(step)) + reusable;
  return needed <= available ? std::string() : SectionTooLarge(rows, cols, needed, available);
}

// ---- Names --------------------------------------------------------------------------

std::string TGraphSection::GetPairName() const { return Borehole1 + " - " + Borehole2; }

std::string TGraphSection::GetFrequencyText() const {
  return FormatGeneral(static_cast<double>(Frequency) / 1000.0, 8) + " kHz";
}

std::string TGraphSection::GetExportFileName() const {
  const int64_t kHz = SaturateCast<int64_t>(std::trunc(static_cast<double>(Frequency) / 1000.0));
  return WithoutSeparators(Borehole1) + "-" + WithoutSeparators(Borehole2) + "_" + std::to_string(kHz);
}

// ---- Settings -----------------------------------------------------------------------

void TGraphSection::GetSettings(TSectionSettings& settings, TTransparencyParams& pair) const {
  settings.Palette.Assign(Palette);
  settings.ShowAboveMax = ShowAboveMax;
  settings.ShowBelowMin = ShowBelowMin;
  settings.ImageStyle = ImageStyle;
  settings.FillMode = FillMode;
  settings.PaletteForAll = PaletteForAll;
  settings.StyleForAll = StyleForAll;
  settings.FillForAll = FillForAll;
  pair = GetTransparencyParams();
}

void TGraphSection::ApplySettings(const TSectionSettings& settings, const TTransparencyParams& pair,
                                  bool force) {
  bool rebuild = false;
  bool refresh = false;
  if (settings.PaletteForAll || force) {
    if (!Palette.SameAs(settings.Palette)) {
      Palette.Assign(settings.Palette);
      rebuild = true;
    }
    if (ShowAboveMax != settings.ShowAboveMax) {
      ShowAboveMax = settings.ShowAboveMax;
      rebuild = true;
    }
    if (ShowBelowMin != settings.ShowBelowMin) {
      ShowBelowMin = settings.ShowBelowMin;
      rebuild = true;
    }
  }
  if ((settings.StyleForAll || force) && ImageStyle != settings.ImageStyle) {
    ImageStyle = settings.ImageStyle;
    rebuild = true;
  }
  if ((pair.AcceptForAll || force) && Transparency != pair.Transparency) {
    Transparency = pair.Transparency;
    rebuild = true;
  }
  if ((settings.FillForAll || force) && FillMode != settings.FillMode) {
    FillMode = settings.FillMode;
    refresh = true;
  }
  ShowSettings(rebuild, refresh);
  if (force) {
    PaletteForAll = settings.PaletteForAll;
    StyleForAll = settings.StyleForAll;
    FillForAll = settings.FillForAll;
    AcceptForAll = pair.AcceptForAll;
  }
}

void TGraphSection::CopySettingsFrom(const TGraphMain& source) {
  TGraphMain::CopySettingsFrom(source);
  const auto* other = dynamic_cast<const TGraphSection*>(&source);
  if (!other || other == this) return;
  TSectionSettings settings;
  TTransparencyParams pair;
  other->GetSettings(settings, pair);
  ApplySettings(settings, pair, false);
}

// ---- Building -----------------------------------------------------------------------

void TGraphSection::Build(bool recursive) {
  (void)recursive;  // the children are always built
  TGraphMain::Build(true);
  if (Palette.AutoRange()) Palette.SetRange(DataMin, DataMax);
  if (!Context || !Context->ModelCube) return;
  // The sheet built before is freed before the new one is made: a section never
  // holds two.
  double reusable = 0;
  if (FrontMesh && FrontMesh->SharedVertices()) {
    const TSharedVertices& old = *FrontMesh->SharedVertices();
    // Held here, in the drawing's buffers, or (for a moment) both.
    reusable = static_cast<double>(old.ByteSize()) * ((old.ArraysHeld() ? 1 : 0) + (old.InBuffers() ? 1 : 0));
  }
  if (const std::string problem = SectionMemoryProblem(RowCount, ColCount, true, ImageStyle, reusable);
      !problem.empty()) {
    FreeMeshes();
    ShowMessageDlg(problem, 1);
    return;
  }
  for (TBuiltNode<TGLMesh>* holder : {&FrontMesh, &BackMesh})
    if (*holder) (*holder)->SetSharedVertices(nullptr, false);
  std::shared_ptr<TSharedVertices> sheet;
  try {
    sheet = BuildSheet();
  } catch (const std::bad_alloc&) {
    sheet.reset();
  } catch (const std::length_error&) {
    sheet.reset();
  }
  if (!sheet) {
    FreeMeshes();
    ShowMessageDlg(SectionMemoryText(RowCount, ColCount, true, ImageStyle, reusable), 1);
    return;
  }
  // Once drawn, the sheet lives in the drawing's buffers; should they go, it is
  // made again from the grid. The meshes holding it go with the section.
  sheet->Refill = [this](TSharedVertices& into) {
    std::shared_ptr<TSharedVertices> again = BuildSheet();
    into.Vertices = std::move(again->Vertices);
    into.Indices = std::move(again->Indices);
  };
  TSheetParent sheetParent{*Context->ModelCube};
  if (!FrontMesh) FrontMesh.Create(sheetParent);
  if (!BackMesh) BackMesh.Create(sheetParent);
  for (TBuiltNode<TGLMesh>* holder : {&FrontMesh, &BackMesh}) {
    TGLMesh& mesh = **holder;
    mesh.VertexList().SetLocked(false);
    mesh.VertexList().Clear();
    mesh.SetMode(TMeshMode::mmTriangles);
    SetMaterialBlending(mesh, Transparency != 255);
    mesh.SetSharedVertices(sheet, holder == &BackMesh);
  }
  UpdateVisibility();
}

// The sheet of the section: every drawn point once, the triangles as indices in
// front winding. Gradient shares each cell centre between the triangles around it;
// Cells gives each shown cell its four corners (its colour is its own). Raises
// std::bad_alloc, or std::length_error for more points or indices than the
// drawing can address.
std::shared_ptr<TSharedVertices> TGraphSection::BuildSheet() const {
  auto sheet = std::make_shared<TSharedVertices>();
  // DisplayColorOfValue's bytes as they are (through the float colour and back they
  // come out the same).
  const TValueColors colours(Palette);
  auto colorOf = [&](double v) {
    const TColor c = colours.DisplayColorOf(v);
    return std::array<uint8_t, 4>{ColorRed(c), ColorGreen(c), ColorBlue(c), Transparency};
  };
  const size_t rows = static_cast<size_t>(std::max(RowCount, 0));
  const size_t cols = static_cast<size_t>(std::max(ColCount, 0));
  auto require = [](size_t count, size_t limit) {
    if (count > limit) throw std::length_error("section sheet too large");
  };
  std::vector<TSharedVertex>& points = sheet->Vertices;
  std::vector<uint32_t>& indices = sheet->Indices;
  constexpr size_t kIndexLimit = static_cast<size_t>(std::numeric_limits<int32_t>::max());

  if (ImageStyle == 0) {
    // Gradient: a sheet between the cell centres, split into triangles per node quad.
    constexpr uint32_t kHidden = std::numeric_limits<uint32_t>::max();
    std::vector<uint32_t> slot(rows * cols, kHidden);
    size_t shown = 0;
    for (size_t i = 0; i < rows; ++i)
      for (size_t j = 0; j < cols; ++j) shown += IsShown(Value(static_cast<int>(i), static_cast<int>(j))) ? 1 : 0;
    require(shown, kHidden - 1);
    points.reserve(shown);
    for (int i = 0; i < RowCount; ++i) {
      for (int j = 0; j < ColCount; ++j) {
        double x = 0, y = 0, z = 0, v = 0;
        if (!GetNode(i, j, x, y, z, v)) continue;
        slot[static_cast<size_t>(i) * cols + static_cast<size_t>(j)] = static_cast<uint32_t>(points.size());
        points.push_back({Context->ToScene(x, y, z), colorOf(v), {}, {}});
      }
    }
    auto at = [&](size_t i, size_t j) { return slot[i * cols + j]; };
    // The diagonal is chosen on the float colours, each channel as ConvertWinColor makes it.
    std::array<float, 256> channel{};
    for (int c = 0; c < 256; ++c) channel[static_cast<size_t>(c)] = ConvertWinColor(MakeColor(c, 0, 0))[0];
    auto colorDifference = [&](uint32_t a, uint32_t b) {
      const std::array<uint8_t, 4>& p = points[a].color;
      const std::array<uint8_t, 4>& q = points[b].color;
      return std::fabs(channel[p[0]] - channel[q[0]]) + std::fabs(channel[p[1]] - channel[q[1]]) +
             std::fabs(channel[p[2]] - channel[q[2]]);
    };
    size_t triangles = 0;
    for (size_t i = 1; i < rows; ++i) {
      for (size_t j = 1; j < cols; ++j) {
        const int hidden = (at(i - 1, j - 1) == kHidden) + (at(i, j - 1) == kHidden) + (at(i, j) == kHidden) +
                           (at(i - 1, j) == kHidden);
        triangles += hidden == 0 ? 2 : hidden == 1 ? 1 : 0;
      }
    }
    require(triangles, kIndexLimit / 3);
    indices.reserve(triangles * 3);
    auto add = [&indices](uint32_t p, uint32_t q, uint32_t r) {
      indices.push_back(p);
      indices.push_back(q);
      indices.push_back(r);
    };
    for (size_t i = 1; i < rows; ++i) {
      for (size_t j = 1; j < cols; ++j) {
        const uint32_t n00 = at(i - 1, j - 1), n10 = at(i, j - 1), n11 = at(i, j), n01 = at(i - 1, j);
        const bool s00 = n00 != kHidden, s10 = n10 != kHidden, s11 = n11 != kHidden, s01 = n01 != kHidden;
        const int hidden = !s00 + !s10 + !s11 + !s01;
        if (hidden == 0) {
          // Split along the diagonal whose end colours differ less; ties along 00-11.
          if (colorDifference(n00, n11) > colorDifference(n10, n01)) {
            add(n01, n00, n10);
            add(n01, n10, n11);
          } else {
            add(n00, n10, n11);
            add(n00, n11, n01);
          }
        } else if (hidden == 1) {
          if (s00 && s10 && s11)
            add(n00, n10, n11);
          else if (s10 && s11 && s01)
            add(n10, n11, n01);
          else if (s00 && s11 && s01)
            add(n00, n11, n01);
          else
            add(n00, n10, n01);
        }
      }
    }
  } else {
    // Cells: two triangles per shown cell, in the cell's one colour.
    size_t shown = 0;
    for (size_t i = 0; i < rows; ++i)
      for (size_t j = 0; j < cols; ++j) shown += IsShown(Value(static_cast<int>(i), static_cast<int>(j))) ? 1 : 0;
    require(shown, kIndexLimit / 6);
    points.reserve(shown * 4);
    indices.reserve(shown * 6);
    for (int i = 0; i < RowCount; ++i) {
      for (int j = 0; j < ColCount; ++j) {
        TSurveyPoint a, b, c, d;
        double v = 0;
        if (!GetCell(i, j, a, b, c, d, v)) continue;
        const std::array<uint8_t, 4> color = colorOf(v);
        const uint32_t first = static_cast<uint32_t>(points.size());
        for (const TSurveyPoint* corner : {&a, &b, &c, &d}) points.push_back({Context->ToScene(*corner), color, {}, {}});
        const uint32_t ka = first, kb = first + 1, kc = first + 2, kd = first + 3;
        for (uint32_t k : {ka, kc, kd, ka, kd, kb}) indices.push_back(k);
      }
    }
  }
  sheet->CalcNormals();
  return sheet;
}

void TGraphSection::UpdateVisibility() {
  TGraphMain::UpdateVisibility();
  const bool shown = !IsHidden();
  for (TBuiltNode<TGLMesh>* holder : {&FrontMesh, &BackMesh}) {
    if (!*holder) continue;
    TGLMesh& mesh = **holder;
    mesh.SetVisible(shown);
    if (!shown) continue;
    if (TGLMaterial* material = MaterialOf(mesh))
      material->FrontProperties().SetPolygonMode(PolygonModeOf(FillMode));
  }
}

// ---- Menu and editing ---------------------------------------------------------------

void TGraphSection::FillMenu(TObjectMenu& menu) {
  TGraphMain::FillMenu(menu);
  TObjectMenuItem exportMenu;
  exportMenu.Caption = "E&xport";
  for (int k = 0; k < kSectionExportCount; ++k) {
    const auto which = static_cast<TSectionExport>(k);
    TObjectMenuItem item;
    item.Caption = SectionExportCaption(which);
    item.Enabled = static_cast<bool>(SectionExports()[static_cast<size_t>(k)]);
    item.OnClick = [this, k] {
      // Looked up at click time: the registry may change while a menu is shown.
      const TSectionExportAction& action = SectionExports()[static_cast<size_t>(k)];
      if (action) action(*this);
    };
    exportMenu.Items.push_back(std::move(item));
  }
  menu.push_back(std::move(exportMenu));
}

bool TGraphSection::Edit() {
  IgnoreNextMouseMove = true;
  TSectionSettings settings;
  TTransparencyParams pair;
  GetSettings(settings, pair);
  if (!ExecuteSectionDialog(GetPairName() + ", " + GetFrequencyText(), DataMin, DataMax, settings, pair))
    return false;
  return ApplySettingsIfTheyFit([&] {
    ApplySettings(settings, pair, true);
    GetRoot()->CopySettingsFrom(*this);
  });
}

bool TGraphSection::ApplySettingsIfTheyFit(const std::function<void()>& apply) {
  using TSaved = std::pair<TSectionSettings, TTransparencyParams>;
  return ApplySettingsCounted<TGraphSection, TSaved>(
      *this, apply,
      [](const TGraphSection& section) {
        TSaved saved;
        section.GetSettings(saved.first, saved.second);
        return saved;
      },
      [](TGraphSection& section, const TSaved& old) { section.ApplySettings(old.first, old.second, true); });
}

// ---- Project record -----------------------------------------------------------------

bool TGraphSection::SaveToStream(TBinaryStream& handle) {
  if (!TGraphMain::SaveToStream(handle)) return false;
  return WriteKindChunk(handle, 0, [this](TBinaryStream& s) {
    if (!s.Write(kSectionTag, kSectionTagSize)) return false;
    if (!WriteLengthString(s, Borehole1) || !WriteLengthString(s, Borehole2)) return false;
    if (!s.WriteFloat(Frequency) || !s.WriteInt32(DataKind)) return false;
    const int32_t rows = RowCount < 0 ? 0 : RowCount;
    const int32_t cols = ColCount < 0 ? 0 : ColCount;
    if (!s.WriteInt32(cols) || !s.WriteInt32(rows)) return false;
    // Exactly the counts' entries, so the record always matches its counts.
    for (const std::vector<double>* array : {&X1, &X2, &Y1, &Y2})
      for (int k = 0; k <= rows; ++k)
        if (!s.WriteDouble(Entry(*array, k))) return false;
    if (!s.WriteDouble(StartZ) || !s.WriteDouble(EndZ)) return false;
    for (int i = 0; i < rows; ++i)
      for (int j = 0; j < cols; ++j)
        if (!s.WriteDouble(Value(i, j))) return false;
    if (!s.WriteDouble(DataMin) || !s.WriteDouble(DataMax)) return false;
    if (!Palette.SaveToStream(s)) return false;
    return s.WriteBool(ShowAboveMax) && s.WriteBool(ShowBelowMin) && s.WriteUInt8(ImageStyle) &&
           s.WriteUInt8(FillMode) && s.WriteBool(PaletteForAll) && s.WriteBool(StyleForAll) &&
           s.WriteBool(FillForAll);
  });
}

namespace {

// A length-prefixed string passed over; its length added to `length`.
bool SkipCountedString(TBinaryStream& s, int64_t& length) {
  const int32_t start = s.Position();
  if (!SkipLengthString(s)) return false;
  length += s.Position() - start - 4;
  return true;
}

// What a section of `rows` x `cols` cells in `style` takes drawn.
int64_t SectionDrawnBytes(int32_t rows, int32_t cols, uint8_t style) {
  return SaturateCast<int64_t>(TSheetSize(rows, cols, style).DrawnBytes(style)) + SectionDrawCost.Of(1, 0);
}

int64_t SectionFrameBins(int32_t rows, int32_t cols, uint8_t style) {
  return SectionBinsOf(TSheetSize(rows, cols, style).Cells);
}

// What a section holds beside the base: its grid, `boundaries` doubles of boundary
// arrays, `names` bytes of heap of its boreholes' names, and its palette's `stops`
// twice (the palette's, and the copy its colouring keeps as it draws).
int64_t SectionHeldBytes(int32_t rows, int32_t cols, int64_t boundaries, int64_t names, int64_t stops) {
  return static_cast<int64_t>(sizeof(TGraphSection) - sizeof(TGraphMain)) +
         SaturateCast<int64_t>(GridBytes(rows, cols)) + boundaries * static_cast<int64_t>(sizeof(double)) + names +
         2 * PaletteStopsBytes(stops);
}

// What a section whose fields an open's count refused takes opened, as Keep counts it
// read whole: at the stored rows, columns and style, with the boundary arrays
// (`entries` doubles held each) and names it would hold.
// Its reading holds each name's stored bytes beside its conversion, and `readStops`
// more bytes a stop (the older layout's value table beside the stops).
TSkippedCost SkippedSectionCost(const TGraphSection& section, int32_t rows, int32_t cols, uint8_t imageStyle,
                                int64_t entries, int64_t names, int64_t stops, int64_t readStops = 0) {
  const int64_t opened = section.OpenedBytesDrawing(SectionDrawnBytes(rows, cols, imageStyle)) +
                         SectionHeldBytes(rows, cols, 4 * entries, names, stops);
  return {opened, SectionFrameBins(rows, cols, imageStyle), opened + names + readStops * stops};
}

// The section's tag, as both layouts store it first: false where the chunk cannot
// hold it (damage); `matches` false for another record's, which the reader skips.
bool ReadSkippedSectionTag(TBinaryStream& s, int32_t end, bool& matches) {
  char tag[kSectionTagSize];
  if (end - s.Position() < kSectionTagSize || !s.Read(tag, kSectionTagSize)) return false;
  matches = std::memcmp(tag, kSectionTag, kSectionTagSize) == 0;
  return true;
}

// The fields' header from the tag up to the grid, as both layouts store it
// (`extraNames` more strings after the two boreholes'); false where it cannot be read
// or the grid does not fit the chunk.
bool ReadSkippedSectionHeader(TBinaryStream& s, int32_t end, int extraNames, int64_t entriesPerRow,
                              int32_t& rows, int32_t& cols, int64_t& names, int64_t& characters) {
  float frequency = 0;
  int32_t dataKind = 0;
  int64_t unused = 0;
  int64_t first = 0, second = 0;
  if (!SkipCountedString(s, first) || !SkipCountedString(s, second)) return false;
  names = StringBlockBytes(first) + StringBlockBytes(second);
  characters = first + second;
  for (int i = 0; i < extraNames; ++i)
    if (!SkipCountedString(s, unused)) return false;
  if (!s.ReadFloat(frequency) || !s.ReadInt32(dataKind) || !s.ReadInt32(cols) || !s.ReadInt32(rows)) return false;
  return s.Position() <= end && GridFits(rows, cols, static_cast<int64_t>(rows) + entriesPerRow, end - s.Position());
}

// The group the older layout makes for a section's pair, named "<b1> - <b2>" from
// `characters` characters of names that take `held` bytes of heap, holding both.
int64_t PairGroupBytes(int64_t characters, int64_t held) {
  return GraphObjectCost.Of(1, characters + 3) + held;
}

bool SeekAhead(TBinaryStream& s, int64_t bytes, int32_t end) {
  return bytes >= 0 && bytes <= end - s.Position() && s.Seek(s.Position() + static_cast<int32_t>(bytes));
}

}  // namespace

bool TGraphSection::LoadFromStream(TBinaryStream& handle) {
  const bool base = TGraphMain::LoadFromStream(handle);
  TFileVersion chunk(handle, 0);
  int32_t found = 0;
  const bool known = chunk.ReadHeader(found, true);
  Require(!chunk.Damaged());
  if (!known) return false;  // newer: skipped to its end
  if (!base) {
    Require(chunk.SkipToEnd());
    return false;
  }
  const TReadBound fields(handle, chunk.EndOffset);
  // The grid is made as it is read, before the object can be weighed.
  const auto skippedCost = [this](TBinaryStream& s, int32_t end) -> std::optional<TSkippedCost> {
    int32_t rows = 0, cols = 0;
    int64_t names = 0;
    bool section = false;
    if (!ReadSkippedSectionTag(s, end, section)) return std::nullopt;
    if (!section) return TSkippedCost{};
    int64_t characters = 0;
    if (!ReadSkippedSectionHeader(s, end, 0, 1, rows, cols, names, characters)) return std::nullopt;
    // The style stands behind the grid and the palette's fields, passed over as the
    // palette reads them: a palette that runs past its chunk is damage here as there.
    const int64_t entries = int64_t{rows} + 1;
    if (!SeekAhead(s, 4 * entries * 8 + 16 + int64_t{rows} * cols * 8 + 16, end)) return std::nullopt;
    int64_t stops = 0;
    if (!TZBPalette::SkipStored(s, stops)) return std::nullopt;
    uint8_t flags[7];
    if (end - s.Position() < 7 || !s.Read(flags, 7)) return std::nullopt;
    return SkippedSectionCost(*this, rows, cols, flags[2], entries, names, stops);
  };
  if (!ExpectChunkFields(handle, chunk, skippedCost)) return false;
  const int32_t end = chunk.EndOffset;
  Require(end - handle.Position() >= kSectionTagSize);
  char tag[kSectionTagSize];
  Require(handle.Read(tag, kSectionTagSize));
  if (std::memcmp(tag, kSectionTag, kSectionTagSize) != 0) {
    Require(chunk.SkipToEnd());
    return false;
  }

  std::string b1, b2;
  float frequency = 0;
  int32_t dataKind = 0, cols = 0, rows = 0;
  Require(ReadLengthString(handle, b1) && ReadLengthString(handle, b2));
  Require(handle.ReadFloat(frequency) && handle.ReadInt32(dataKind));
  Require(handle.ReadInt32(cols) && handle.ReadInt32(rows));
  Require(handle.Position() <= end);
  Require(GridFits(rows, cols, static_cast<int64_t>(rows) + 1, end - handle.Position()));
  const size_t entries = static_cast<size_t>(rows) + 1;
  std::vector<double> x1, x2, y1, y2;
  Require(ReadDoubles(handle, entries, x1) && ReadDoubles(handle, entries, x2) &&
          ReadDoubles(handle, entries, y1) && ReadDoubles(handle, entries, y2));
  double startZ = 0, endZ = 0, dataMin = 0, dataMax = 0;
  Require(handle.ReadDouble(startZ) && handle.ReadDouble(endZ));
  std::vector<std::vector<double>> values;
  Require(ReadValueRows(handle, rows, cols, values));
  Require(handle.ReadDouble(dataMin) && handle.ReadDouble(dataMax));
  Require(handle.Position() <= end);
  TZBPalette palette;
  palette.LoadFromStream(handle);  // a newer palette chunk is skipped: the palette stays new
  uint8_t flags[7];
  Require(handle.Read(flags, 7));
  Require(handle.Position() <= end);
  Require(chunk.SkipToEnd());

  Borehole1 = std::move(b1);
  Borehole2 = std::move(b2);
  Frequency = frequency;
  DataKind = dataKind;
  ColCount = cols;
  RowCount = rows;
  X1 = std::move(x1);
  X2 = std::move(x2);
  Y1 = std::move(y1);
  Y2 = std::move(y2);
  StartZ = startZ;
  EndZ = endZ;
  Values = std::move(values);
  DataMin = dataMin;
  DataMax = dataMax;
  Palette = std::move(palette);
  ShowAboveMax = flags[0] != 0;
  ShowBelowMin = flags[1] != 0;
  ImageStyle = flags[2];
  FillMode = flags[3];
  PaletteForAll = flags[4] != 0;
  StyleForAll = flags[5] != 0;
  FillForAll = flags[6] != 0;
  return true;
}

int64_t TGraphSection::DrawnBytes() const { return SectionDrawnBytes(RowCount, ColCount, ImageStyle); }

int64_t TGraphSection::BinnedBytes() const {
  return SaturateCast<int64_t>(TSheetSize(RowCount, ColCount, ImageStyle).Cells * SectionCellBinBytes);
}

int64_t TGraphSection::FrameBinnedBytes() const { return SectionFrameBins(RowCount, ColCount, ImageStyle); }

bool TGraphSection::DrawingHeld() const { return NodesDrawingHeld({&FrontMesh, &BackMesh}); }

int64_t TGraphSection::OpenedBytes() const {
  int64_t boundaries = 0;
  for (const std::vector<double>* b : {&X1, &X2, &Y1, &Y2}) boundaries += static_cast<int64_t>(b->capacity());
  return TGraphMain::OpenedBytes() +
         SectionHeldBytes(RowCount, ColCount, boundaries,
                          StringBlockBytes(static_cast<int64_t>(Borehole1.capacity())) +
                              StringBlockBytes(static_cast<int64_t>(Borehole2.capacity())),
                          static_cast<int64_t>(Palette.StopColors().capacity()));
}

// ---- Older project layout -----------------------------------------------------------

bool TGraphSection::LoadOldLayout(TBinaryStream& handle) {
  TFileVersion chunk(handle, 0);
  int32_t found = 0;
  const bool known = chunk.ReadHeader(found, true);
  Require(!chunk.Damaged());
  if (!known) return false;
  const TReadBound fields(handle, chunk.EndOffset);
  const auto skippedCost = [this](TBinaryStream& s, int32_t end) -> std::optional<TSkippedCost> {
    int32_t rows = 0, cols = 0;
    int64_t names = 0;
    bool section = false;
    if (!ReadSkippedSectionTag(s, end, section)) return std::nullopt;
    if (!section) return TSkippedCost{};
    int64_t characters = 0;
    if (!ReadSkippedSectionHeader(s, end, 1, 0, rows, cols, names, characters)) return std::nullopt;
    // Each boundary array is read, then grows by its last entry (to twice its size).
    const int64_t entries = rows >= 1 ? 2 * int64_t{rows} : 1;
    // The style stands behind the grid and the palette's value table.
    if (!SeekAhead(s, 4 * int64_t{rows} * 8 + 16 + int64_t{rows} * cols * 8 + 1, end)) return std::nullopt;
    int32_t stops = 0, intensity = 0;
    if (!s.ReadInt32(stops) || !s.ReadInt32(intensity) || stops < 2 || !SeekAhead(s, int64_t{stops} * 8 + 17 + 3, end))
      return std::nullopt;
    uint8_t imageStyle = 0;
    if (!s.ReadUInt8(imageStyle) || s.Position() > end) return std::nullopt;
    // The table's values and colours are read beside the stops made of them. Skipped,
    // it makes no group for its pair, which it would read whole: counted with it.
    TSkippedCost cost = SkippedSectionCost(*this, rows, cols, imageStyle, entries, names, stops, 8);
    const int64_t group = PairGroupBytes(characters, names);
    cost.OpenedBytes += group;
    cost.ReadingBytes += group;
    return cost;
  };
  if (!ExpectChunkFields(handle, chunk, skippedCost)) return false;
  const int32_t end = chunk.EndOffset;
  Require(end - handle.Position() >= kSectionTagSize);
  char tag[kSectionTagSize];
  Require(handle.Read(tag, kSectionTagSize));
  if (std::memcmp(tag, kSectionTag, kSectionTagSize) != 0) {
    Require(chunk.SkipToEnd());
    return false;
  }

  std::string b1, b2;
  float frequency = 0;
  int32_t dataKind = 0, cols = 0, rows = 0;
  Require(ReadLengthString(handle, b1) && ReadLengthString(handle, b2) && SkipLengthString(handle));
  Require(handle.ReadFloat(frequency) && handle.ReadInt32(dataKind));
  Require(handle.ReadInt32(cols) && handle.ReadInt32(rows));
  Require(handle.Position() <= end);
  Require(GridFits(rows, cols, rows, end - handle.Position()));
  // This layout stores RowCount entries per boundary array; the missing last entry
  // repeats the one before it.
  std::array<std::vector<double>, 4> arrays;
  for (std::vector<double>& a : arrays) {
    Require(ReadDoubles(handle, static_cast<size_t>(rows), a));
    a.push_back(a.empty() ? 0.0 : a.back());
  }
  double startZ = 0, endZ = 0, pmin = 0, pmax = 0;
  Require(handle.ReadDouble(startZ) && handle.ReadDouble(endZ));
  std::vector<std::vector<double>> values;
  Require(ReadValueRows(handle, rows, cols, values));
  TZBPalette palette;
  palette.LoadValueTable(handle);  // raises EStreamError on a broken table
  uint8_t logarithmic = 0;
  uint8_t flags[4];
  Require(handle.ReadDouble(pmin) && handle.ReadDouble(pmax) && handle.ReadUInt8(logarithmic));
  Require(handle.Read(flags, 4));
  Require(handle.Position() <= end);
  Require(chunk.SkipToEnd());

  palette.SetRange(pmin, pmax);
  palette.SetLogarithmic(logarithmic != 0);
  Borehole1 = std::move(b1);
  Borehole2 = std::move(b2);
  Frequency = frequency;
  DataKind = dataKind;
  ColCount = cols;
  RowCount = rows;
  X1 = std::move(arrays[0]);
  X2 = std::move(arrays[1]);
  Y1 = std::move(arrays[2]);
  Y2 = std::move(arrays[3]);
  StartZ = startZ;
  EndZ = endZ;
  Values = std::move(values);
  Palette = std::move(palette);
  ShowAboveMax = flags[0] != 0;
  ShowBelowMin = flags[1] != 0;
  SetVisible(flags[2] != 0);
  ImageStyle = flags[3];
  SetName(GetFrequencyText());
  CalcBounds();
  CalcDataRange();
  return true;
}

// ---- Section file -------------------------------------------------------------------

std::unique_ptr<TGraphSection> ReadSectionFile(TBinaryStream& stream) {
  auto wrongFormat = [] { throw ESectionFileError(kSectionWrongFormat); };
  char signature[kSignatureSize];
  if (!stream.Read(signature, kSignatureSize) ||
      std::memcmp(signature, kSectionFileSignature, kSignatureSize) != 0)
    wrongFormat();
  // The chunk's end offset only serves to skip a newer chunk, which a reader of the
  // whole file never needs; the file's length bounds every count instead.
  int32_t version = 0, endOffset = 0;
  if (!stream.ReadInt32(version) || !stream.ReadInt32(endOffset)) wrongFormat();
  if (version > 1) throw ESectionFileError(kSectionVersionNotSupported);

  auto section = std::make_unique<TGraphSection>();
  TGraphSection& s = *section;
  if (!ReadLengthString(stream, s.Borehole1) || !ReadLengthString(stream, s.Borehole2) ||
      !stream.ReadFloat(s.Frequency) || !stream.ReadInt32(s.DataKind))
    wrongFormat();
  try {
    s.Palette.LoadValueTable(stream);
  } catch (const EStreamError&) {
    wrongFormat();
  }
  int32_t cols = 0, rows = 0;
  double pmin = 0, pmax = 0;
  if (!stream.ReadInt32(cols) || !stream.ReadInt32(rows) || !stream.ReadDouble(s.StartZ) ||
      !stream.ReadDouble(s.EndZ) || !stream.ReadDouble(pmin) || !stream.ReadDouble(pmax))
    wrongFormat();
  uint8_t logarithmic = 1;  // version 0 always asks for a logarithmic palette
  if (version >= 1 && !stream.ReadUInt8(logarithmic)) wrongFormat();
  s.Palette.SetRange(pmin, pmax);
  s.Palette.SetLogarithmic(logarithmic != 0);

  if (!GridFits(rows, cols, static_cast<int64_t>(rows) + 1, stream.Remaining())) wrongFormat();
  if (const std::string problem = SectionMemoryProblem(rows, cols, false, s.ImageStyle); !problem.empty())
    throw ESectionFileError(problem);
  const size_t entries = static_cast<size_t>(rows) + 1;
  bool read = false;
  try {
    read = ReadDoubles(stream, entries, s.X1) && ReadDoubles(stream, entries, s.X2) &&
           ReadDoubles(stream, entries, s.Y1) && ReadDoubles(stream, entries, s.Y2) &&
           ReadValueRows(stream, rows, cols, s.Values);
  } catch (const std::bad_alloc&) {
    // The memory went elsewhere after the check: nothing read.
    throw ESectionFileError(SectionMemoryText(rows, cols, false, s.ImageStyle));
  }
  if (!read) wrongFormat();
  s.ColCount = cols;
  s.RowCount = rows;
  s.SetName(s.GetFrequencyText());
  s.CalcBounds();
  s.CalcDataRange();
  return section;
}

std::unique_ptr<TGraphSection> LoadSectionFile(const std::string& utf8Path) {
  std::error_code error;
  if (!std::filesystem::exists(std::filesystem::path(utf8Path), error)) return nullptr;
  std::string reason;
  std::unique_ptr<TBinaryFile> file = TBinaryFile::Open(utf8Path, TBinaryFile::Mode::Read, &reason);
  if (!file) {
    ShowMessageDlg(std::string(kSectionCannotOpen) + " " + utf8Path + ": " + reason, 1);
    return nullptr;
  }
  std::unique_ptr<TGraphSection> section;
  std::string refusal;
  try {
    // Counted as a project's open counts: the section as it is opened and drawn first.
    refusal = ReadCounted(utf8Path, [&] {
      section = ReadSectionFile(*file);
      TOpenCount::Keep(*section);
    });
  } catch (const ESectionFileError& e) {
    ShowMessageDlg(e.what(), 1);
    return nullptr;
  }
  if (refusal.empty()) return section;
  ShowMessageDlg(refusal, 1);
  return nullptr;
}

std::unique_ptr<TGraphSection> OpenSectionFile() {
  TFileRequest request;
  request.Filter = kSectionFileFilter;
  request.DefaultExt = "sec";
  request.InitialDir = ImportPath;
  const std::optional<std::string> chosen = Services().Files->OpenFile(request);
  if (!chosen) return nullptr;
  ImportPath = std::filesystem::path(*chosen).parent_path().string();
  return LoadSectionFile(*chosen);
}

}  // namespace qira

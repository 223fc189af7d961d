#include "model/GraphSurface.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <optional>
#include <stdexcept>
#include <utility>

#include "model/GraphLines.h"
#include "model/GraphPoints.h"
#include "model/DrawCosts.h"
#include "model/GraphRecord.h"
#include "model/StreamHelpers.h"
#include "platform/BinaryStream.h"
#include "platform/Rounding.h"
#include "platform/SeededHash.h"
#include "scene/objects/DummyPlaneSprite.h"
#include "scene/components/Colors.h"
#include "scene/materials/Materials.h"
#include "scene/math/VectorGeometry.h"
#include "scene/objects/Mesh.h"

namespace qira {

namespace {

TSurfaceEditor& SurfaceEditor() {
  static TSurfaceEditor editor;
  return editor;
}

constexpr int32_t kPointSize = 3 * 8;

void Require(bool ok) {
  if (!ok) throw EStreamError();
}

bool WritePoint(TBinaryStream& s, const TSurveyPoint& p) {
  return s.WriteDouble(p.X) && s.WriteDouble(p.Y) && s.WriteDouble(p.Z);
}

bool ReadPoint(TBinaryStream& s, TSurveyPoint& p) {
  return s.ReadDouble(p.X) && s.ReadDouble(p.Y) && s.ReadDouble(p.Z);
}

TPolygonMode PolygonModeOf(uint8_t fillMode) {
  // A stored value outside 0..2 is kept but drawn solid.
  switch (fillMode) {
    case 1: return TPolygonMode::pmLines;
    case 2: return TPolygonMode::pmPoints;
    default: return TPolygonMode::pmFill;
  }
}

// The faces as stored for a kind: 3 or 4 points each for kinds 0 and 1, a count
// before every face otherwise. A kind whose faces do not all fit its fixed size
// is stored with counts, so the record always reads back as written.
int32_t StoredFaceKind(int32_t kind, const std::vector<TSurfaceFace>& faces, int32_t count) {
  if (kind != 0 && kind != 1) return kind;
  const size_t size = kind == 0 ? 3 : 4;
  for (int32_t i = 0; i < count; ++i)
    if (faces[static_cast<size_t>(i)].size() != size) return 2;
  return kind;
}

// Reads the header of a chunk of the older layouts (version 0). False for a newer
// chunk (the handle then stands at its end); raises on damage.
bool ReadOldChunkHeader(TFileVersion& chunk) {
  int32_t found = 0;
  const bool known = chunk.ReadHeader(found, true);
  Require(!chunk.Damaged());
  return known;
}

}  // namespace

void SetSurfaceEditor(TSurfaceEditor editor) { SurfaceEditor() = std::move(editor); }

void RegisterSurfaceKinds() {
  RegisterGraphKind(GraphTypeId::Surface, [] { return std::make_unique<TGraphSurface>(); });
  RegisterGraphKind(GraphTypeId::Points, [] { return std::make_unique<TGraphPoints>(); });
  RegisterGraphKind(GraphTypeId::Lines, [] { return std::make_unique<TGraphLines>(); });
}

TGraphSurface::TGraphSurface() { TypeId = GraphTypeId::Surface; }

TGraphSurface::~TGraphSurface() { FreeMeshes(); }

void TGraphSurface::FreeMeshes() {
  FrontMesh.Free();
  BackMesh.Free();
}

TSurfaceSettings TGraphSurface::GetSettings() const {
  return {Color, FillMode, ColorForAll, FillForAll, IgnoreFaceColors};
}

// ---- Adding faces -------------------------------------------------------------------

void TGraphSurface::BeginAdd() { FaceCount = static_cast<int32_t>(Faces.size()); }

void TGraphSurface::AddFace(const TSurfaceFace& points) {
  const size_t n = points.size();
  if (n < 3) return;
  if (n == 3)
    FaceKind = (FaceKind == -1 || FaceKind == 0) ? 0 : 2;
  else if (n == 4)
    FaceKind = (FaceKind == -1 || FaceKind == 1) ? 1 : 2;
  else
    FaceKind = 2;
  ++FaceCount;
  if (Faces.size() < static_cast<size_t>(FaceCount)) {
    const size_t grown = Faces.size() + SurfaceGrowth;
    Faces.resize(grown);
    FaceColors.resize(grown);
    FaceHasColor.resize(grown);
  }
  const size_t i = static_cast<size_t>(FaceCount - 1);
  Faces[i] = points;
  for (const TSurveyPoint& p : points) ExtendBounds(p);
  FaceColors[i] = 0;
  FaceHasColor[i] = 0;
}

void TGraphSurface::AddQuad(const TSurveyPoint& a, const TSurveyPoint& b, const TSurveyPoint& c,
                            const TSurveyPoint& d) {
  AddFace({a, b, c, d});
}

void TGraphSurface::SetLastFaceColor(TColor color) {
  if (FaceCount <= 0 || static_cast<size_t>(FaceCount) > Faces.size()) return;
  const size_t i = static_cast<size_t>(FaceCount - 1);
  FaceColors[i] = color;
  FaceHasColor[i] = 1;
}

void TGraphSurface::EndAdd() {
  const size_t n = static_cast<size_t>(std::max(FaceCount, 0));
  Faces.resize(n);
  Faces.shrink_to_fit();
  FaceColors.resize(n);
  FaceColors.shrink_to_fit();
  FaceHasColor.resize(n);
  FaceHasColor.shrink_to_fit();
}

void TGraphSurface::CalcBounds() {
  BoundsMin = EmptyBoundsMin;
  BoundsMax = EmptyBoundsMax;
  for (int32_t i = 0; i < FaceCount; ++i)
    for (const TSurveyPoint& p : Faces[static_cast<size_t>(i)]) ExtendBounds(p);
}

// ---- Building -----------------------------------------------------------------------

// Kind 1 draws as quadrilaterals and kind 0 as triangles. A mesh of mixed faces or
// larger polygons cannot be one polygon of all its vertices (which would join every
// face into one shape), so each face of kind 2 (or of an unknown stored kind) is
// drawn as a fan of triangles from its first point; faces are planar and, coming
// from DXF faces and potential sections, convex. Both meshes draw one sheet of
// shared points (see BuildSheet).
void TGraphSurface::Build(bool recursive) {
  TGraphMain::Build(recursive);
  if (!Context || !Context->ModelCube) return;
  const bool quads = FaceKind == 1;
  // The sheet before goes first: a surface never holds two.
  for (TBuiltNode<TGLMesh>* node : {&FrontMesh, &BackMesh})
    if (*node) (*node)->SetSharedVertices(nullptr, false);
  std::shared_ptr<TSharedVertices> sheet = BuildSheet(quads);
  // Once drawn, the sheet lives in the drawing's buffers; should they go, it is
  // made again from the faces. The meshes holding it go with the surface.
  sheet->Refill = [this, quads](TSharedVertices& into) {
    std::shared_ptr<TSharedVertices> again = BuildSheet(quads);
    into.Vertices = std::move(again->Vertices);
    into.Indices = std::move(again->Indices);
  };
  if (!FrontMesh) FrontMesh.Create(*Context->ModelCube);
  if (!BackMesh) BackMesh.Create(*Context->ModelCube);
  for (TBuiltNode<TGLMesh>* node : {&FrontMesh, &BackMesh}) {
    TGLMesh& mesh = **node;
    mesh.VertexList().SetLocked(false);
    mesh.VertexList().Clear();
    mesh.SetMode(quads ? TMeshMode::mmQuads : TMeshMode::mmTriangles);
    SetMaterialBlending(mesh, Transparency <= 254);
    mesh.SetSharedVertices(sheet, node == &BackMesh);
    mesh.SetVisible(Visible());
  }
  UpdateVisibility();
}

namespace {

// Where faces meet at a point with the same colour and nearly the same plane (within
// about 10 degrees, as neighbouring cells of a grid do), they share the point and
// its normal is their mean; across a sharper fold each side keeps its own point, so
// an edge of a solid stays an edge.
constexpr float kSmoothCosine = 0.985f;

thread_local int64_t tSheetChainSteps = 0;

// The place and colour by which points are shared; signed zeros are one place.
struct TPointKey {
  TAffineVector Position;
  uint32_t Color;
  bool operator==(const TPointKey& other) const {
    return std::memcmp(this, &other, sizeof(TPointKey)) == 0;
  }
};
static_assert(sizeof(TPointKey) == 16);

// Under a seed the file cannot know (SeededHash): a fixed function of the key lets a
// file choose corners whose keys all land in one run of slots, which every corner then
// walks.
size_t HashOf(const THashSeed& seed, const TPointKey& key) { return SeededHash(seed, &key, sizeof key); }

std::array<uint8_t, 4> SheetColorOf(TColor color, uint8_t transparency) {
  const TVector c = ConvertWinColor(color, OpacityAlpha(transparency));
  return {static_cast<uint8_t>(RoundToInt(c[0] * 255.0)), static_cast<uint8_t>(RoundToInt(c[1] * 255.0)),
          static_cast<uint8_t>(RoundToInt(c[2] * 255.0)), transparency};
}

TPointKey KeyOf(const TSharedVertex& point) {
  TPointKey key{point.coord, 0};
  std::memcpy(&key.Color, point.color.data(), 4);
  for (size_t k = 0; k < 3; ++k)
    if (key.Position[k] == 0.0f) key.Position[k] = 0.0f;
  return key;
}

// While the sheet is built, a point's normals (written by CalcNormals afterwards) hold
// the unit normal of the face that made it: no array of planes beside the points.
static_assert(sizeof(TSharedVertex::frontNormal) + sizeof(TSharedVertex::backNormal) >= sizeof(TAffineVector));
void SetPlaneOf(TSharedVertex& point, const TAffineVector& plane) {
  std::memcpy(point.frontNormal.data(), plane.data(), sizeof(TAffineVector));
}
TAffineVector PlaneOf(const TSharedVertex& point) {
  TAffineVector plane;
  std::memcpy(plane.data(), point.frontNormal.data(), sizeof(TAffineVector));
  return plane;
}
bool HasPlane(const TAffineVector& plane) { return AffineVectorDotProduct(plane, plane) >= kSmoothCosine; }

// The points that may be shared, found by their key: open addressing of the points'
// numbers (4 bytes a slot, at most half the slots used), probed in turn. Points of one
// key lie along a probe in the order they were made, so the first that matches is the
// one a chain of the key in that order would give. A point whose face has no plane
// (corners on one line or at one point: a NaN normal) matches nothing and nothing
// matches it, so it never enters: faces at one place would otherwise make one run that
// every corner walks whole. A run of one key then holds only points whose planes are
// more than the smoothing angle apart, a few hundred at most, however many faces meet
// there. What sharing holds beside the points is the slots alone, however few corners
// are shared: each point of a sheet whose corners are all its own costs 8 to 24 bytes
// here, not the 70 a map's node, a chain and a plane took.
class TSharedPointIndex {
 public:
  explicit TSharedPointIndex(const std::vector<TSharedVertex>& points) : points_(points), seed_(CurrentHashSeed()) {}

  // The point of `key` whose plane is within the smoothing angle of `plane`, or kNone;
  // then `made` is entered for the key when the plane is one.
  uint32_t FindOrEnter(const TPointKey& key, const TAffineVector& plane, uint32_t made) {
    if (!HasPlane(plane)) return kNone;
    if (2 * (used_ + 1) > slots_.size()) Grow();
    const size_t mask = slots_.size() - 1;
    for (size_t at = HashOf(seed_, key) & mask;; at = (at + 1) & mask) {
      const uint32_t k = slots_[at];
      if (k == kNone) {
        slots_[at] = made;
        ++used_;
        return kNone;
      }
      ++tSheetChainSteps;
      const TSharedVertex& point = points_[k];
      if (KeyOf(point) == key && AffineVectorDotProduct(PlaneOf(point), plane) >= kSmoothCosine) return k;
    }
  }

  static constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();

 private:
  // Entered again in the order the points were made, so each key's run keeps it.
  void Grow() {
    const size_t size = std::max<size_t>(64, 2 * slots_.size());
    std::vector<uint32_t>().swap(slots_);
    slots_.assign(size, kNone);
    const size_t mask = slots_.size() - 1;
    used_ = 0;
    for (uint32_t k = 0; k < points_.size(); ++k) {
      const TSharedVertex& point = points_[k];
      if (!HasPlane(PlaneOf(point))) continue;
      size_t at = HashOf(seed_, KeyOf(point)) & mask;
      while (slots_[at] != kNone) at = (at + 1) & mask;
      slots_[at] = k;
      ++used_;
    }
  }

  const std::vector<TSharedVertex>& points_;
  const THashSeed seed_;
  std::vector<uint32_t> slots_;
  size_t used_ = 0;
};

// What faces add to the sheet at most, each corner a point of its own (none shared),
// and what their bins follow: the triangles they are drawn with. A surface of kind 1
// draws its faces of four points as quadrilaterals (four indices) and no other; the
// others draw each face of three points or more as a fan (three indices a triangle).
struct TSheetSize {
  int64_t Corners = 0;
  int64_t Indices = 0;
  int64_t Triangles = 0;

  void Add(int64_t points, bool quads, int64_t faces = 1) {
    Triangles += faces * std::max<int64_t>(points - 2, 0);
    if (quads ? points != 4 : points < 3) return;
    Corners += faces * points;
    Indices += faces * (quads ? 4 : 3 * (points - 2));
  }
};

TSheetSize SheetSizeOf(const std::vector<TSurfaceFace>& faces, int32_t count, bool quads) {
  TSheetSize size;
  for (int32_t i = 0; i < std::min<int32_t>(count, static_cast<int32_t>(faces.size())); ++i)
    size.Add(static_cast<int64_t>(faces[static_cast<size_t>(i)].size()), quads);
  return size;
}

}  // namespace

int64_t SurfaceSheetChainStepsForTesting() { return tSheetChainSteps; }

uint64_t SurfaceSheetHashForTesting(const TGraphSurface& surface, const TSurveyPoint& corner) {
  const TSharedVertex point{surface.Context->ToScene(corner), SheetColorOf(surface.Color, surface.Transparency), {}, {}};
  return HashOf(CurrentHashSeed(), KeyOf(point));
}

std::shared_ptr<TSharedVertices> TGraphSurface::BuildSheet(bool quads) const {
  auto sheet = std::make_shared<TSharedVertices>();
  std::vector<TSharedVertex>& points = sheet->Vertices;
  std::vector<uint32_t>& indices = sheet->Indices;
  // Room for every corner its own point and every index, asked for once: the pages of
  // a large block are only had once written, so a sheet that shares its corners takes
  // what it fills, and one that shares none is never grown by copying (which held it
  // three times over at a time).
  const TSheetSize most = SheetSizeOf(Faces, FaceCount, quads);
  points.reserve(static_cast<size_t>(most.Corners));
  indices.reserve(static_cast<size_t>(most.Indices));
  auto shared = std::make_unique<TSharedPointIndex>(points);
  constexpr uint32_t kNone = TSharedPointIndex::kNone;
  auto pointFor = [&](const TAffineVector& position, const std::array<uint8_t, 4>& color,
                      const TAffineVector& plane) {
    TSharedVertex point{position, color, {}, {}};
    if (points.size() >= kNone - 1) throw std::length_error("surface sheet too large");
    const uint32_t made = static_cast<uint32_t>(points.size());
    const uint32_t found = shared->FindOrEnter(KeyOf(point), plane, made);
    if (found != kNone) return found;
    SetPlaneOf(point, plane);
    points.push_back(point);
    return made;
  };

  std::vector<TAffineVector> scene;
  std::vector<uint32_t> corners;
  for (int32_t i = 0; i < FaceCount; ++i) {
    const size_t f = static_cast<size_t>(i);
    const TSurfaceFace& face = Faces[f];
    const size_t n = face.size();
    if (quads ? n != 4 : n < 3) continue;
    const TColor own = (!IgnoreFaceColors && FaceHasColor[f] == 1) ? FaceColors[f] : Color;
    const std::array<uint8_t, 4> color = SheetColorOf(own, Transparency);
    scene.clear();
    for (const TSurveyPoint& p : face) scene.push_back(Context->ToScene(p));
    const TAffineVector plane = CalcPlaneNormal(scene[0], scene[1], scene[2]);
    corners.clear();
    for (const TAffineVector& p : scene) corners.push_back(pointFor(p, color, plane));
    if (quads) {
      indices.insert(indices.end(), corners.begin(), corners.end());
    } else {
      for (size_t k = 1; k + 1 < n; ++k) {
        indices.push_back(corners[0]);
        indices.push_back(corners[k]);
        indices.push_back(corners[k + 1]);
      }
    }
  }
  if (indices.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    throw std::length_error("surface sheet too large");
  shared.reset();
  sheet->CalcNormals(quads ? 4 : 3);
  return sheet;
}

void TGraphSurface::UpdateVisibility() {
  TGraphMain::UpdateVisibility();
  const bool shown = !IsHidden();
  for (TBuiltNode<TGLMesh>* node : {&FrontMesh, &BackMesh}) {
    TGLMesh* mesh = node->get();
    if (!mesh) continue;
    mesh->SetVisible(shown);
    if (!shown) continue;
    if (TGLMaterial* material = MaterialOf(*mesh))
      material->FrontProperties().SetPolygonMode(PolygonModeOf(FillMode));
  }
}

void TGraphSurface::Clear() {
  FreeMeshes();
  Faces.clear();
  FaceColors.clear();
  FaceHasColor.clear();
  FaceCount = 0;
  TGraphMain::Clear();
}

namespace {

int64_t SurfaceDrawnBytes(const TSheetSize& size) {
  return SurfaceSheetCost.Of(size.Corners, size.Indices) + SurfaceNodeBytes;
}

int64_t SurfaceFrameBins(int64_t triangles) {
  return MeshBinsOf(static_cast<double>(triangles), 3, TriangleBinBytes, VerticesBetweenRenderWaits);
}

// Each face's points are a block of the heap of their own, as the allocator makes it:
// an 8-byte header and the points, rounded up to 16 B (32 at least): a million faces of three
// points measured 80 B each, of four 112, of five 128, of six 160 (glibc's malloc,
// where 16 B a face beside its points counted 88 for three).
constexpr int64_t FaceBlockBytes(int64_t points) {
  if (points <= 0) return 0;
  return std::max<int64_t>(32, (points * static_cast<int64_t>(sizeof(TSurveyPoint)) + 8 + 15) / 16 * 16);
}

// What a surface holds beside the base: `faces` faces whose points take `blocks` bytes
// of the heap in all, and room for `colors` colours and `flags` flags of them.
int64_t SurfaceHeldBytes(int64_t faces, int64_t blocks, int64_t colors, int64_t flags) {
  return static_cast<int64_t>(sizeof(TGraphSurface) - sizeof(TGraphMain)) +
         faces * static_cast<int64_t>(sizeof(TSurfaceFace)) + blocks + colors * static_cast<int64_t>(sizeof(TColor)) +
         flags * static_cast<int64_t>(sizeof(uint8_t));
}

// What a surface whose fields an open's count refused takes opened, as Keep counts it
// read whole: the empty surface's own cost with its faces' arrays and drawing.
TSkippedCost SkippedSurfaceCost(const TGraphSurface& empty, int64_t faces, int64_t blocks, const TSheetSize& size) {
  return {empty.OpenedBytesDrawing(SurfaceDrawnBytes(size)) + SurfaceHeldBytes(faces, blocks, faces, faces),
          SurfaceFrameBins(size.Triangles)};
}

// The older layouts' triangles (ReadOldTriangles) as a skipped surface's cost.
std::optional<TSkippedCost> SkippedOldTriangles(const TGraphSurface& empty, TBinaryStream& s, int32_t end) {
  int32_t n = 0;
  if (!s.ReadInt32(n) || n < 0 || n > (end - s.Position()) / (3 * kPointSize)) return std::nullopt;
  TSheetSize size;
  size.Add(3, false, n);
  return SkippedSurfaceCost(empty, n, n * FaceBlockBytes(3), size);
}

// A skipped surface's cost with the name it keeps (`converted` bytes), read from
// `stored` bytes beside their conversion.
std::optional<TSkippedCost> WithName(std::optional<TSkippedCost> cost, int64_t stored, int64_t converted) {
  if (cost) {
    cost->OpenedBytes += GraphObjectCost.Of(0, converted);
    cost->ReadingBytes = std::max(cost->ReadingBytes, cost->OpenedBytes + StringBlockBytes(stored) +
                                                          StringBlockBytes(converted));
  }
  return cost;
}

}  // namespace

TSkippedCost NewSurfaceCost(int64_t faces, int64_t points) {
  TSheetSize size;
  size.Add(points, false, faces);
  const TGraphSurface empty;
  return SkippedSurfaceCost(empty, faces, faces * FaceBlockBytes(points), size);
}

int64_t TGraphSurface::DrawnBytes() const { return SurfaceDrawnBytes(SheetSizeOf(Faces, FaceCount, FaceKind == 1)); }

int64_t TGraphSurface::BinnedBytes() const {
  return SheetSizeOf(Faces, FaceCount, FaceKind == 1).Triangles * TriangleBinBytes;
}

int64_t TGraphSurface::FrameBinnedBytes() const {
  return SurfaceFrameBins(SheetSizeOf(Faces, FaceCount, FaceKind == 1).Triangles);
}

bool TGraphSurface::DrawingHeld() const { return NodesDrawingHeld({&FrontMesh, &BackMesh}); }

int64_t TGraphSurface::OpenedBytes() const {
  int64_t blocks = 0;
  for (const TSurfaceFace& face : Faces) blocks += FaceBlockBytes(static_cast<int64_t>(face.capacity()));
  return TGraphMain::OpenedBytes() + SurfaceHeldBytes(static_cast<int64_t>(Faces.capacity()), blocks,
                                                      static_cast<int64_t>(FaceColors.capacity()),
                                                      static_cast<int64_t>(FaceHasColor.capacity()));
}

bool TGraphSurface::IsEmpty() const { return TGraphMain::IsEmpty() && FaceCount == 0; }

// ---- Settings -----------------------------------------------------------------------

void TGraphSurface::ApplySettings(const TSurfaceSettings& settings, const TTransparencyParams& base,
                                  bool fromDialog) {
  bool rebuild = false;
  bool refresh = false;
  if (settings.ColorForAll || fromDialog) {
    if (Color != settings.Color || IgnoreFaceColors != settings.IgnoreFaceColors) {
      Color = settings.Color;
      IgnoreFaceColors = settings.IgnoreFaceColors;
      rebuild = true;
    }
  }
  if (settings.FillForAll || fromDialog) {
    if (FillMode != settings.FillMode) {
      FillMode = settings.FillMode;
      refresh = true;
    }
  }
  if (base.AcceptForAll || fromDialog) {
    if (Transparency != base.Transparency) {
      Transparency = base.Transparency;
      rebuild = true;
    }
  }
  ShowSettings(rebuild, refresh);
  if (fromDialog) {
    ColorForAll = settings.ColorForAll;
    FillForAll = settings.FillForAll;
    AcceptForAll = base.AcceptForAll;
  }
}

bool TGraphSurface::Edit() { return EditSettingsForAll(*this, SurfaceEditor()); }

void TGraphSurface::CopySettingsFrom(const TGraphMain& source) {
  TGraphMain::CopySettingsFrom(source);
  CopySettingsOfKind(*this, source);
}

// ---- Stored record ------------------------------------------------------------------

bool TGraphSurface::SaveToStream(TBinaryStream& handle) {
  if (!TGraphMain::SaveToStream(handle)) return false;
  return WriteKindChunk(handle, 0, [this](TBinaryStream& s) {
    const int32_t n = std::max(FaceCount, 0);
    const int32_t kind = StoredFaceKind(FaceKind, Faces, n);
    if (!s.WriteUInt32(Color) || !s.WriteUInt8(FillMode) || !s.WriteBool(ColorForAll) ||
        !s.WriteBool(FillForAll) || !s.WriteInt32(kind) || !s.WriteInt32(n))
      return false;
    for (int32_t i = 0; i < n; ++i) {
      const TSurfaceFace& face = Faces[static_cast<size_t>(i)];
      if (kind != 0 && kind != 1 && !s.WriteInt32(static_cast<int32_t>(face.size()))) return false;
      for (const TSurveyPoint& p : face)
        if (!WritePoint(s, p)) return false;
    }
    for (int32_t i = 0; i < n; ++i)
      if (!s.WriteUInt32(FaceColors[static_cast<size_t>(i)])) return false;
    for (int32_t i = 0; i < n; ++i)
      if (!s.WriteUInt8(FaceHasColor[static_cast<size_t>(i)])) return false;
    return true;
  });
}

bool TGraphSurface::LoadFromStream(TBinaryStream& handle) {
  const bool base = TGraphMain::LoadFromStream(handle);
  const bool loaded = ReadKindChunk(handle, 0, base, [this](TBinaryStream& s, int32_t, int32_t end) {
    TColor color = 0;
    uint8_t fillMode = 0;
    bool colorForAll = false, fillForAll = false;
    int32_t kind = 0, n = 0;
    if (!s.ReadUInt32(color) || !s.ReadUInt8(fillMode) || !s.ReadBool(colorForAll) ||
        !s.ReadBool(fillForAll) || !s.ReadInt32(kind) || !s.ReadInt32(n))
      return false;
    // The smallest face of the layout plus its colour and flag must fit per face.
    const int32_t fixedPoints = kind == 0 ? 3 : kind == 1 ? 4 : -1;
    const int32_t perFace = (fixedPoints > 0 ? fixedPoints * kPointSize : 4) + 4 + 1;
    if (n < 0 || n > (end - s.Position()) / perFace) return false;
    // Passed over by an open's count: what is made stays empty, the rest is read.
    std::vector<TSurfaceFace> faces;
    if (WeighArray(n, sizeof(TSurfaceFace))) faces.resize(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
      int32_t k = fixedPoints;
      if (k < 0) {
        if (!s.ReadInt32(k)) return false;
        if (k < 0 || k > (end - s.Position()) / kPointSize) return false;
      }
      if (faces.empty() || !TOpenCount::Weigh(FaceBlockBytes(k))) {
        if (!s.Seek(s.Position() + k * kPointSize)) return false;
        continue;
      }
      TSurfaceFace& face = faces[static_cast<size_t>(i)];
      face.resize(static_cast<size_t>(k));
      for (TSurveyPoint& p : face)
        if (!ReadPoint(s, p)) return false;
    }
    if ((end - s.Position()) / 5 < n) return false;
    std::vector<TColor> colors;
    std::vector<uint8_t> hasColor;
    if (WeighArray(n, sizeof(TColor)) && WeighArray(n, 1)) {
      colors.resize(static_cast<size_t>(n));
      hasColor.resize(static_cast<size_t>(n));
    }
    if (n > 0 && (colors.empty() || faces.empty())) return s.Seek(s.Position() + 5 * n);
    for (TColor& c : colors)
      if (!s.ReadUInt32(c)) return false;
    for (uint8_t& h : hasColor)
      if (!s.ReadUInt8(h)) return false;
    if (s.Position() > end) return false;
    Color = color;
    FillMode = fillMode;
    ColorForAll = colorForAll;
    FillForAll = fillForAll;
    IgnoreFaceColors = false;
    FaceKind = kind;
    FaceCount = n;
    Faces = std::move(faces);
    FaceColors = std::move(colors);
    FaceHasColor = std::move(hasColor);
    return true;
  }, [this](TBinaryStream& s, int32_t end) -> std::optional<TSkippedCost> {
    // Skipped: what it would take read whole, from its faces' counts.
    TColor color = 0;
    uint8_t fillMode = 0;
    bool flag = false;
    int32_t kind = 0, n = 0;
    if (!s.ReadUInt32(color) || !s.ReadUInt8(fillMode) || !s.ReadBool(flag) || !s.ReadBool(flag) ||
        !s.ReadInt32(kind) || !s.ReadInt32(n))
      return std::nullopt;
    const int32_t fixedPoints = kind == 0 ? 3 : kind == 1 ? 4 : -1;
    const int32_t perFace = (fixedPoints > 0 ? fixedPoints * kPointSize : 4) + 4 + 1;
    if (n < 0 || n > (end - s.Position()) / perFace) return std::nullopt;
    TSheetSize size;
    if (fixedPoints > 0) {
      size.Add(fixedPoints, kind == 1, n);
      return SkippedSurfaceCost(*this, n, n * FaceBlockBytes(fixedPoints), size);
    }
    // Faces of their own point counts: each count read, its points passed over.
    int64_t blocks = 0;
    for (int32_t i = 0; i < n; ++i) {
      int32_t k = 0;
      if (!s.ReadInt32(k) || k < 0 || k > (end - s.Position()) / kPointSize || !s.Seek(s.Position() + k * kPointSize))
        return std::nullopt;
      blocks += FaceBlockBytes(k);
      size.Add(k, false);
    }
    if ((end - s.Position()) / 5 < n) return std::nullopt;  // no room for the colours and flags
    return SkippedSurfaceCost(*this, n, blocks, size);
  });
  if (loaded) UpdateVisibility();
  return loaded;
}

// ---- Older layouts ------------------------------------------------------------------

bool TGraphSurface::ReadOldTriangles(TBinaryStream& handle, int32_t end) {
  int32_t n = 0;
  Require(handle.ReadInt32(n));
  Require(n >= 0 && n <= (end - handle.Position()) / (3 * kPointSize));
  // The faces, their blocks, colours and flags; passed over by an open's count, none.
  if (!(WeighArray(n, sizeof(TSurfaceFace)) && TOpenCount::Weigh(n * FaceBlockBytes(3)) &&
        WeighArray(n, sizeof(TColor)) && WeighArray(n, 1))) {
    Require(handle.Seek(handle.Position() + n * 3 * kPointSize));
    return true;
  }
  std::vector<TSurfaceFace> faces(static_cast<size_t>(n), TSurfaceFace(3));
  for (TSurfaceFace& face : faces)
    for (TSurveyPoint& p : face) {
      // Stored East before North.
      Require(handle.ReadDouble(p.Y) && handle.ReadDouble(p.X) && handle.ReadDouble(p.Z));
    }
  Faces = std::move(faces);
  FaceCount = n;
  FaceColors.assign(static_cast<size_t>(n), 0);
  FaceHasColor.assign(static_cast<size_t>(n), 0);
  FaceKind = 0;
  return true;
}

bool TGraphSurface::LoadOldLayout(TBinaryStream& handle) {
  TFileVersion chunk(handle, 0);
  const auto skippedCost = [this](TBinaryStream& s, int32_t end) -> std::optional<TSkippedCost> {
    TColor color = 0;
    uint8_t opacity = 0;
    bool visible = true;
    int64_t stored = 0, converted = 0;
    if (!MeasureLengthString(s, stored, converted) || !s.ReadUInt32(color) || !s.ReadUInt8(opacity) ||
        !s.ReadBool(visible))
      return std::nullopt;
    return WithName(SkippedOldTriangles(*this, s, end), stored, converted);
  };
  if (!ReadOldChunkHeader(chunk)) return false;
  const TReadBound fields(handle, chunk.EndOffset);
  if (!ExpectChunkFields(handle, chunk, skippedCost)) return false;
  std::string name;
  TColor color = 0;
  uint8_t opacity = 255;
  bool visible = true;
  Require(ReadNameString(handle, name));
  Require(handle.ReadUInt32(color) && handle.ReadUInt8(opacity) && handle.ReadBool(visible));
  TGraphSurface read;
  read.ReadOldTriangles(handle, chunk.EndOffset);
  Require(handle.Position() <= chunk.EndOffset && chunk.SkipToEnd());

  SetName(name);
  Color = color;
  Transparency = opacity;
  SetVisible(visible);
  Faces = std::move(read.Faces);
  FaceColors = std::move(read.FaceColors);
  FaceHasColor = std::move(read.FaceHasColor);
  FaceCount = read.FaceCount;
  FaceKind = 0;
  CalcBounds();
  UpdateVisibility();
  return true;
}

bool TGraphSurface::LoadOldLayout2(TBinaryStream& handle) {
  std::string name1, name2;
  bool visible1 = true, visible2 = true;
  uint8_t unusedByte = 0, opacity = 255;
  int32_t unusedInt = 0;
  TColor color = 0;

  TFileVersion first(handle, 0);
  if (!ReadOldChunkHeader(first)) return false;
  {
    const TReadBound fields(handle, first.EndOffset);
    Require(handle.ReadBool(visible1) && ReadNameString(handle, name1) && handle.ReadInt32(unusedInt));
    Require(handle.Position() <= first.EndOffset && first.SkipToEnd());
  }

  TFileVersion second(handle, 0);
  if (!ReadOldChunkHeader(second)) return false;
  {
    const TReadBound fields(handle, second.EndOffset);
    Require(handle.ReadInt32(unusedInt) && handle.ReadBool(visible2) && handle.ReadUInt8(unusedByte) &&
            handle.ReadUInt8(opacity) && ReadNameString(handle, name2));
    Require(handle.Position() <= second.EndOffset && second.SkipToEnd());
  }

  TFileVersion third(handle, 0);
  // The name the surface keeps was read (and weighed) with its chunk.
  const auto skippedCost = [this, &name2](TBinaryStream& s, int32_t end) -> std::optional<TSkippedCost> {
    TColor unusedColor = 0;
    uint8_t unused = 0;
    if (!s.ReadUInt32(unusedColor) || !s.ReadUInt8(unused)) return std::nullopt;
    return WithName(SkippedOldTriangles(*this, s, end), 0, static_cast<int64_t>(name2.size()));
  };
  if (!ReadOldChunkHeader(third)) return false;
  const TReadBound fields(handle, third.EndOffset);
  if (!ExpectChunkFields(handle, third, skippedCost)) return false;
  Require(handle.ReadUInt32(color) && handle.ReadUInt8(unusedByte));
  TGraphSurface read;
  read.ReadOldTriangles(handle, third.EndOffset);
  Require(handle.Position() <= third.EndOffset && third.SkipToEnd());

  // The first chunk's flag is overridden by the second's, and its name by the
  // second's; only the final values matter before the object is built.
  SetVisible(visible1);
  SetName(name1);
  SetVisible(visible2);
  Transparency = opacity;
  SetName(name2);
  Color = color;
  Faces = std::move(read.Faces);
  FaceColors = std::move(read.FaceColors);
  FaceHasColor = std::move(read.FaceHasColor);
  FaceCount = read.FaceCount;
  FaceKind = 0;
  CalcBounds();
  UpdateVisibility();
  return true;
}

}  // namespace qira

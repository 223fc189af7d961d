#include "model/GraphPlanes.h"

#include <optional>
#include <utility>

#include "model/DrawCosts.h"
#include "model/GraphRecord.h"
#include "platform/BinaryStream.h"
#include "scene/components/Colors.h"
#include "scene/objects/DummyPlaneSprite.h"
#include "scene/objects/Mesh.h"

namespace qira {

namespace {

TPlanesEditor& PlanesEditor() {
  static TPlanesEditor editor;
  return editor;
}

// Two meshes, one a side, a vertex a point, and their lists.
int64_t PlanesDrawnBytes(int64_t points) { return PlanesDrawCost.Of(1, points); }

int64_t PlanesBinnedBytes(int64_t points) { return points * PlanesPointBinBytes; }

// A vertex of the polygon: its normal is computed once the outline is complete.
void AddVertex(TGLMesh& mesh, const TAffineVector& at, const TVector& color) {
  mesh.VertexList().AddVertex(at, {0.0f, 0.0f, 0.0f}, color);
}

}  // namespace

void SetPlanesEditor(TPlanesEditor editor) { PlanesEditor() = std::move(editor); }

TGraphPlanes::TGraphPlanes() {
  TypeId = GraphTypeId::Planes;
  DefaultParams(Params);
  SetName("Planes");
}

TGraphPlanes::~TGraphPlanes() { FreeNodes(); }

void TGraphPlanes::DefaultParams(TPlanesParams& params) {
  params.Points = {{0, 0, 0}, {100, 0, 0}, {100, 100, 0}, {0, 100, 0}};
  params.Color = MakeColor(0, 128, 0);
}

void TGraphPlanes::FreeNodes() {
  FrontMesh.Free();
  BackMesh.Free();
}

// ---- Points -------------------------------------------------------------------------

void TGraphPlanes::SetPointCount(int n) {
  if (n < 0) n = 0;
  if (n != PointCount()) {
    BoundsMin = EmptyBoundsMin;
    BoundsMax = EmptyBoundsMax;
  }
  Params.Points.resize(static_cast<size_t>(n));
}

bool TGraphPlanes::SetPoint(int index, const TSurveyPoint& point) {
  if (index < 0 || index >= PointCount()) return false;
  Params.Points[static_cast<size_t>(index)] = point;
  ExtendBounds(point);
  return true;
}

void TGraphPlanes::CalcBounds() {
  BoundsMin = EmptyBoundsMin;
  BoundsMax = EmptyBoundsMax;
  for (const TSurveyPoint& p : Params.Points) ExtendBounds(p);
}

// ---- Building -----------------------------------------------------------------------

void TGraphPlanes::Build(bool recursive) {
  (void)recursive;  // the children are always built
  TGraphMain::Build(true);
  if (!Context || !Context->ModelCube) return;
  TGLMesh& front = FrontMesh ? *FrontMesh : FrontMesh.Create(*Context->ModelCube);
  TGLMesh& back = BackMesh ? *BackMesh : BackMesh.Create(*Context->ModelCube);

  for (TGLMesh* mesh : {&front, &back}) {
    mesh->VertexList().Clear();
    mesh->SetMode(TMeshMode::mmPolygon);
    mesh->VertexList().SetLocked(false);
    SetMaterialBlending(*mesh, Transparency < 255);
  }

  const float alpha = OpacityAlpha(Transparency);
  const TVector color = ConvertWinColor(Params.Color, alpha);
  for (const TSurveyPoint& p : Params.Points) AddVertex(front, Context->ToScene(p), color);
  // The back face runs the other way round, so each side faces out of one mesh.
  for (auto p = Params.Points.rbegin(); p != Params.Points.rend(); ++p)
    AddVertex(back, Context->ToScene(*p), color);

  for (TGLMesh* mesh : {&front, &back}) {
    ColorMaterial(*mesh, Params.Color, alpha, true);
    mesh->CalcNormals(false);
    mesh->VertexList().SetLocked(true);
  }
  UpdateVisibility();
}

int64_t TGraphPlanes::DrawnBytes() const { return PlanesDrawnBytes(static_cast<int64_t>(Params.Points.size())); }

int64_t TGraphPlanes::BinnedBytes() const { return PlanesBinnedBytes(static_cast<int64_t>(Params.Points.size())); }

bool TGraphPlanes::DrawingHeld() const { return NodesDrawingHeld({&FrontMesh, &BackMesh}); }

int64_t TGraphPlanes::OpenedBytes() const {
  return OpenedBytesWith(static_cast<int64_t>(Params.Points.capacity()), DrawnBytes());
}

int64_t TGraphPlanes::OpenedBytesWith(int64_t points, int64_t drawn) const {
  return OpenedBytesDrawing(drawn) +
         static_cast<int64_t>(sizeof(TGraphPlanes) - sizeof(TGraphMain)) +
         points * static_cast<int64_t>(sizeof(TSurveyPoint));
}

void TGraphPlanes::UpdateVisibility() {
  TGraphMain::UpdateVisibility();
  const bool shown = !IsHidden();
  if (FrontMesh) FrontMesh->SetVisible(shown);
  if (BackMesh) BackMesh->SetVisible(shown);
}

void TGraphPlanes::Clear() {
  FreeNodes();
  Params.Points.clear();
  TGraphMain::Clear();
}

bool TGraphPlanes::Edit() {
  if (!EditWithDialog(*this, PlanesEditor(), Params)) return false;
  if (Context) Build(false);
  CalcBounds();
  return true;
}

// ---- Stored record ------------------------------------------------------------------

bool TGraphPlanes::SaveToStream(TBinaryStream& handle) {
  if (!TGraphMain::SaveToStream(handle)) return false;
  return WriteKindChunk(handle, 0, [this](TBinaryStream& s) {
    if (!WriteSurveyPoints(s, Params.Points)) return false;
    return s.WriteUInt32(Params.Color);
  });
}

bool TGraphPlanes::LoadFromStream(TBinaryStream& handle) {
  const bool base = TGraphMain::LoadFromStream(handle);
  return ReadKindChunk(handle, 0, base, [this](TBinaryStream& s, int32_t, int32_t end) {
    TPlanesParams p;
    if (!ReadSurveyPoints(s, end, p.Points)) return false;
    if (!s.ReadUInt32(p.Color)) return false;
    if (s.Position() > end) return false;  // the fields ran past the chunk
    Params = std::move(p);
    return true;
  }, [this](TBinaryStream& s, int32_t end) -> std::optional<TSkippedCost> {
    // Skipped: what it would take read whole, from its points' count.
    int32_t n = 0;
    TColor color = 0;
    if (!SkipSurveyPoints(s, end, n) || !s.ReadUInt32(color) || s.Position() > end)
      return std::nullopt;
    return TSkippedCost{OpenedBytesWith(n, PlanesDrawnBytes(n)), PlanesBinnedBytes(n)};
  });
}

}  // namespace qira

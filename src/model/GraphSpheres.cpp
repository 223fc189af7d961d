#include "model/GraphSpheres.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "model/DrawCosts.h"
#include "model/GraphRecord.h"
#include "platform/BinaryStream.h"
#include "scene/objects/BasicSolids.h"
#include "scene/objects/DummyPlaneSprite.h"

namespace qira {

namespace {

TSpheresEditor& SpheresEditor() {
  static TSpheresEditor editor;
  return editor;
}

// A sphere node for each centre, its list what its draw sends.
int64_t SpheresDrawnBytes(int64_t centres, int32_t slices) {
  return SpheresDrawCost.Of(centres, SpheresStripsOf(slices));
}

// Each sphere is a node of its own whose list's call tells the renderer's queue what
// it sends: no more of them are queued at once than the renderer is left to queue, by
// objects and by vertices.
int64_t SpheresBinnedBytes(int64_t centres, int32_t slices) {
  const TSphereStrips strips = SpheresStripsOf(slices);
  const auto queued = static_cast<double>(std::min<int64_t>(centres, ObjectsBetweenRenderWaits));
  return MeshBinsOf(queued, strips.Vertices(), SphereBinBytes(strips), VerticesBetweenRenderWaits);
}

}  // namespace

void SetSpheresEditor(TSpheresEditor editor) { SpheresEditor() = std::move(editor); }

TGraphSpheres::TGraphSpheres() {
  TypeId = GraphTypeId::Spheres;
  DefaultParams(Params);
  SetName("Spheres");
}

TGraphSpheres::~TGraphSpheres() { FreeNodes(); }

void TGraphSpheres::DefaultParams(TSpheresParams& params) {
  params.Centres.assign(1, TSurveyPoint{0, 0, 0});
  params.Radius = 5.0;
  params.Color = MakeColor(255, 255, 0);
  params.Slices = 16;
}

// Last first: each node is then the last of the scene's lists, found and taken out
// at once (clear() would free the first one first, behind which all the others stand).
void TGraphSpheres::FreeNodes() {
  while (!Spheres.empty()) Spheres.pop_back();
}

// ---- Centres ------------------------------------------------------------------------

void TGraphSpheres::SetPointCount(int n) {
  if (n < 0) n = 0;
  if (n != PointCount()) {
    BoundsMin = EmptyBoundsMin;
    BoundsMax = EmptyBoundsMax;
  }
  Params.Centres.resize(static_cast<size_t>(n));
}

bool TGraphSpheres::SetPoint(int index, const TSurveyPoint& point) {
  if (index < 0 || index >= PointCount()) return false;
  Params.Centres[static_cast<size_t>(index)] = point;
  ExtendBounds(point);
  return true;
}

void TGraphSpheres::CalcBounds() {
  BoundsMin = EmptyBoundsMin;
  BoundsMax = EmptyBoundsMax;
  for (const TSurveyPoint& c : Params.Centres) ExtendBounds(c);
}

// ---- Building -----------------------------------------------------------------------

void TGraphSpheres::Build(bool recursive) {
  (void)recursive;  // the children are always built
  TGraphMain::Build(true);
  if (!Context || !Context->ModelCube) return;
  if (Spheres.size() != Params.Centres.size()) {
    FreeNodes();
    Spheres.resize(Params.Centres.size());
    for (TBuiltNode<TGLSphere>& node : Spheres) node.Create(*Context->ModelCube);
  }
  const float alpha = OpacityAlpha(Transparency);
  const TSphereStrips strips = SpheresStripsOf(Params.Slices);
  for (size_t i = 0; i < Spheres.size(); ++i) {
    TGLSphere* sphere = Spheres[i].get();
    if (!sphere) continue;  // freed with the scene
    sphere->SetRadius(static_cast<float>(Params.Radius));
    ColorMaterial(*sphere, Params.Color, alpha, true);
    sphere->SetSlices(static_cast<int32_t>(strips.Slices));
    sphere->SetStacks(static_cast<int32_t>(strips.Stacks));
    sphere->Position().SetAffinePoint(Context->ToScene(Params.Centres[i]));
    SetMaterialBlending(*sphere, Transparency < 255);
  }
  UpdateVisibility();
}

void TGraphSpheres::UpdateVisibility() {
  TGraphMain::UpdateVisibility();
  const bool shown = !IsHidden();
  for (TBuiltNode<TGLSphere>& node : Spheres)
    if (node) node->SetVisible(shown);
}

int64_t TGraphSpheres::DrawnBytes() const { return SpheresDrawnBytes(PointCount(), Params.Slices); }

int64_t TGraphSpheres::BinnedBytes() const { return SpheresBinnedBytes(PointCount(), Params.Slices); }

bool TGraphSpheres::DrawingHeld() const {
  return std::all_of(Spheres.begin(), Spheres.end(), [](const auto& sphere) { return NodeDrawingHeld(sphere); });
}

int64_t TGraphSpheres::OpenedBytes() const {
  return OpenedBytesWith(static_cast<int64_t>(Params.Centres.capacity()), DrawnBytes());
}

int64_t TGraphSpheres::OpenedBytesWith(int64_t centres, int64_t drawn) const {
  return OpenedBytesDrawing(drawn) +
         static_cast<int64_t>(sizeof(TGraphSpheres) - sizeof(TGraphMain)) +
         centres * static_cast<int64_t>(sizeof(TSurveyPoint));
}

void TGraphSpheres::Clear() {
  FreeNodes();
  Params.Centres.clear();
  TGraphMain::Clear();
}

bool TGraphSpheres::Edit() {
  if (!EditWithDialog(*this, SpheresEditor(), Params)) return false;
  // The bounds follow the centres also before the object joins a view (a new
  // object is edited first), or it would never count for centring.
  CalcBounds();
  if (Context) Build(false);
  return true;
}

// ---- Stored record ------------------------------------------------------------------

bool TGraphSpheres::SaveToStream(TBinaryStream& handle) {
  if (!TGraphMain::SaveToStream(handle)) return false;
  return WriteKindChunk(handle, 0, [this](TBinaryStream& s) {
    if (!WriteSurveyPoints(s, Params.Centres)) return false;
    return s.WriteDouble(Params.Radius) && s.WriteUInt32(Params.Color) && s.WriteInt32(Params.Slices);
  });
}

bool TGraphSpheres::LoadFromStream(TBinaryStream& handle) {
  const bool base = TGraphMain::LoadFromStream(handle);
  return ReadKindChunk(handle, 0, base, [this](TBinaryStream& s, int32_t, int32_t end) {
    TSpheresParams p;
    if (!ReadSurveyPoints(s, end, p.Centres)) return false;
    if (!s.ReadDouble(p.Radius) || !s.ReadUInt32(p.Color) || !s.ReadInt32(p.Slices)) return false;
    if (s.Position() > end) return false;  // the fields ran past the chunk
    Params = std::move(p);
    return true;
  }, [this](TBinaryStream& s, int32_t end) -> std::optional<TSkippedCost> {
    // Skipped: what it would take read whole, from its centres' count and slices.
    int32_t n = 0, slices = 0;
    double radius = 0;
    TColor color = 0;
    if (!SkipSurveyPoints(s, end, n) || !s.ReadDouble(radius) || !s.ReadUInt32(color) ||
        !s.ReadInt32(slices) || s.Position() > end)
      return std::nullopt;
    return TSkippedCost{OpenedBytesWith(n, SpheresDrawnBytes(n, slices)), SpheresBinnedBytes(n, slices)};
  });
}

}  // namespace qira

#include "model/GraphPolyline.h"

#include <memory>
#include <optional>
#include <utility>

#include "model/DrawCosts.h"
#include "model/GraphPlanes.h"
#include "model/GraphRecord.h"
#include "platform/BinaryStream.h"
#include "scene/objects/BasicSolids.h"
#include "scene/components/Colors.h"
#include "scene/objects/DummyPlaneSprite.h"
#include "scene/objects/Pipe.h"

namespace qira {

namespace {

TLineEditor& LineEditor() {
  static TLineEditor editor;
  return editor;
}

// The pipe, a node a point, and the spheres at its ends when it has them.
int64_t LineDrawnBytes(int64_t points, bool roundEnds) {
  // The end spheres are made with the engine's default slices and stacks.
  constexpr int64_t kEndSphereSlices = 16;
  const int64_t ends = roundEnds && points > 0 ? 2 : 0;
  return LineDrawCost.Of(1, points) + SpheresDrawCost.Of(ends, SphereStripsOf(kEndSphereSlices, kEndSphereSlices));
}

int64_t LineBinnedBytes(int64_t points) { return points * LinePointBinBytes; }

}  // namespace

void SetLineEditor(TLineEditor editor) { LineEditor() = std::move(editor); }

void RegisterPolylineKinds() {
  RegisterGraphKind(GraphTypeId::Line, [] { return std::make_unique<TGraphLine>(); });
  RegisterGraphKind(GraphTypeId::Planes, [] { return std::make_unique<TGraphPlanes>(); });
}

TGraphLine::TGraphLine() {
  TypeId = GraphTypeId::Line;
  DefaultParams(Params);
  SetName("Lines");
}

TGraphLine::~TGraphLine() { FreeNodes(); }

void TGraphLine::DefaultParams(TLineParams3D& params) {
  params.Points = {{0, 0, 0}, {100, 0, 0}, {100, 100, 0}, {100, 100, 100}};
  params.Diameter = 5.0;
  params.Color = MakeColor(0, 0, 255);
  params.RoundEnds = true;
}

void TGraphLine::FreeNodes() {
  Pipe.Free();
  EndSpheres[0].Free();
  EndSpheres[1].Free();
}

// ---- Points -------------------------------------------------------------------------

void TGraphLine::SetPointCount(int n) {
  if (n < 0) n = 0;
  if (n != PointCount()) {
    BoundsMin = EmptyBoundsMin;
    BoundsMax = EmptyBoundsMax;
  }
  Params.Points.resize(static_cast<size_t>(n));
}

bool TGraphLine::SetPoint(int index, const TSurveyPoint& point) {
  if (index < 0 || index >= PointCount()) return false;
  Params.Points[static_cast<size_t>(index)] = point;
  ExtendBounds(point);
  return true;
}

void TGraphLine::CalcBounds() {
  BoundsMin = EmptyBoundsMin;
  BoundsMax = EmptyBoundsMax;
  for (const TSurveyPoint& p : Params.Points) ExtendBounds(p);
}

// ---- Building -----------------------------------------------------------------------

void TGraphLine::Build(bool recursive) {
  (void)recursive;  // the children are always built
  TGraphMain::Build(true);
  if (!Context || !Context->ModelCube) return;
  TGLPipe& pipe = Pipe ? *Pipe : Pipe.Create(*Context->ModelCube);

  const float alpha = OpacityAlpha(Transparency);
  const TVector color = ConvertWinColor(Params.Color, alpha);
  pipe.Nodes().BeginUpdate();
  pipe.Nodes().Clear();
  // The pipe blends always: its colour comes from the nodes, whose alpha decides.
  SetMaterialBlending(pipe, true);
  pipe.SetNodesColorMode(TPipeNodesColorMode::pncmAmbientAndDiffuse);
  pipe.SetParts({TPipePart::ppOutside, TPipePart::ppStartDisk, TPipePart::ppStopDisk});
  for (const TSurveyPoint& p : Params.Points) {
    TGLPipeNode& node = pipe.Nodes().Add();
    const TAffineVector at = Context->ToScene(p);
    node.SetAsVector({at.x, at.y, at.z, 0.0f});
    node.Color().SetColor(color);
  }
  pipe.Nodes().EndUpdate();

  // A path without points has no ends: spheres left from an earlier build would
  // stand where no line is.
  if (Params.RoundEnds && !Params.Points.empty()) {
    const TSurveyPoint* ends[2] = {&Params.Points.front(), &Params.Points.back()};
    for (int i = 0; i < 2; ++i) {
      TGLSphere& sphere = EndSpheres[i] ? *EndSpheres[i] : EndSpheres[i].Create(*Context->ModelCube);
      SetMaterialBlending(sphere, Transparency < 255);
      sphere.SetRadius(static_cast<float>(Params.Diameter / 2));
      ColorMaterial(sphere, Params.Color, alpha, true);
      sphere.Position().SetAffinePoint(Context->ToScene(*ends[i]));
    }
  } else {
    EndSpheres[0].Free();
    EndSpheres[1].Free();
  }
  UpdateVisibility();
}

int64_t TGraphLine::DrawnBytes() const {
  return LineDrawnBytes(static_cast<int64_t>(Params.Points.size()), Params.RoundEnds);
}

int64_t TGraphLine::BinnedBytes() const { return LineBinnedBytes(static_cast<int64_t>(Params.Points.size())); }

bool TGraphLine::DrawingHeld() const { return NodesDrawingHeld({&Pipe, &EndSpheres[0], &EndSpheres[1]}); }

int64_t TGraphLine::OpenedBytes() const {
  return OpenedBytesWith(static_cast<int64_t>(Params.Points.capacity()), DrawnBytes());
}

int64_t TGraphLine::OpenedBytesWith(int64_t points, int64_t drawn) const {
  return OpenedBytesDrawing(drawn) +
         static_cast<int64_t>(sizeof(TGraphLine) - sizeof(TGraphMain)) +
         points * static_cast<int64_t>(sizeof(TSurveyPoint));
}

void TGraphLine::UpdateVisibility() {
  TGraphMain::UpdateVisibility();
  const bool shown = !IsHidden();
  const float radius = static_cast<float>(Params.Diameter / 2);
  if (Pipe) {
    Pipe->SetVisible(shown);
    Pipe->SetRadius(radius);
  }
  for (TBuiltNode<TGLSphere>& sphere : EndSpheres) {
    if (!sphere) continue;
    sphere->SetVisible(shown);
    sphere->SetRadius(radius);
  }
}

void TGraphLine::Clear() {
  FreeNodes();
  Params.Points.clear();
  TGraphMain::Clear();
}

bool TGraphLine::Edit() {
  if (!EditWithDialog(*this, LineEditor(), Params)) return false;
  // The bounds follow the points also before the object joins a view (a new
  // object is edited first), or it would never count for centring.
  CalcBounds();
  if (Context) Build(false);
  return true;
}

// ---- Stored record ------------------------------------------------------------------

bool TGraphLine::SaveToStream(TBinaryStream& handle) {
  if (!TGraphMain::SaveToStream(handle)) return false;
  return WriteKindChunk(handle, 0, [this](TBinaryStream& s) {
    if (!WriteSurveyPoints(s, Params.Points)) return false;
    return s.WriteDouble(Params.Diameter) && s.WriteUInt32(Params.Color) && s.WriteBool(Params.RoundEnds);
  });
}

bool TGraphLine::LoadFromStream(TBinaryStream& handle) {
  const bool base = TGraphMain::LoadFromStream(handle);
  return ReadKindChunk(handle, 0, base, [this](TBinaryStream& s, int32_t, int32_t end) {
    TLineParams3D p;
    if (!ReadSurveyPoints(s, end, p.Points)) return false;
    if (!s.ReadDouble(p.Diameter) || !s.ReadUInt32(p.Color) || !s.ReadBool(p.RoundEnds)) return false;
    if (s.Position() > end) return false;  // the fields ran past the chunk
    Params = std::move(p);
    return true;
  }, [this](TBinaryStream& s, int32_t end) -> std::optional<TSkippedCost> {
    // Skipped: what it would take read whole, from its points' count and ends.
    int32_t n = 0;
    double diameter = 0;
    TColor color = 0;
    bool roundEnds = false;
    if (!SkipSurveyPoints(s, end, n) || !s.ReadDouble(diameter) || !s.ReadUInt32(color) ||
        !s.ReadBool(roundEnds) || s.Position() > end)
      return std::nullopt;
    return TSkippedCost{OpenedBytesWith(n, LineDrawnBytes(n, roundEnds)), LineBinnedBytes(n)};
  });
}

}  // namespace qira

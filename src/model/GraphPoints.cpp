#include "model/GraphPoints.h"

#include <algorithm>
#include <utility>

#include "model/DrawCosts.h"
#include "model/GraphRecord.h"
#include "platform/BinaryStream.h"
#include "scene/objects/DummyPlaneSprite.h"
#include "scene/components/Colors.h"
#include "scene/graph/SceneObject.h"
#include "scene/objects/PointsLines.h"

namespace qira {

namespace {

TPointsEditor& PointsEditor() {
  static TPointsEditor editor;
  return editor;
}

// A point, its colour and its flag.
constexpr int32_t kStoredPointSize = 3 * 8 + 4 + 1;

}  // namespace

void SetPointsEditor(TPointsEditor editor) { PointsEditor() = std::move(editor); }

TGraphPoints::TGraphPoints() { TypeId = GraphTypeId::Points; }

TGraphPoints::~TGraphPoints() { GLPoints.Free(); }

TPointsSettings TGraphPoints::GetSettings() const {
  return {Round, Color, IgnorePointColors, PointSize, StyleForAll, ColorForAll, SizeForAll};
}

// ---- Adding points ------------------------------------------------------------------

void TGraphPoints::BeginAdd() { PointCount = static_cast<int32_t>(Points.size()); }

void TGraphPoints::AddPoint(const TSurveyPoint& point) {
  ++PointCount;
  if (Points.size() < static_cast<size_t>(PointCount)) {
    const size_t grown = Points.size() + PointsGrowth;
    Points.resize(grown);
    PointColors.resize(grown);
    PointHasColor.resize(grown);
  }
  const size_t i = static_cast<size_t>(PointCount - 1);
  Points[i] = point;
  ExtendBounds(point);
  PointColors[i] = 0;
  PointHasColor[i] = 0;
}

void TGraphPoints::SetLastPointColor(TColor color) {
  if (PointCount <= 0 || static_cast<size_t>(PointCount) > Points.size()) return;
  const size_t i = static_cast<size_t>(PointCount - 1);
  PointColors[i] = color;
  PointHasColor[i] = 1;
}

void TGraphPoints::EndAdd() {
  const size_t n = static_cast<size_t>(std::max(PointCount, 0));
  Points.resize(n);
  Points.shrink_to_fit();
  PointColors.resize(n);
  PointColors.shrink_to_fit();
  PointHasColor.resize(n);
  PointHasColor.shrink_to_fit();
}

// ---- Building -----------------------------------------------------------------------

void TGraphPoints::Build(bool recursive) {
  TGraphMain::Build(recursive);
  if (!Context || !Context->ModelCube) return;
  TGLPoints& node = GLPoints ? *GLPoints : GLPoints.Create(*Context->ModelCube);
  const int32_t n = std::max(PointCount, 0);
  node.Positions().Clear();
  node.Colors().Clear();
  node.Positions().SetCapacity(n);
  node.Colors().SetCapacity(n);
  SetMaterialBlending(node, Transparency < 255);
  const float alpha = OpacityAlpha(Transparency);
  for (int32_t k = 0; k < n; ++k) {
    const size_t i = static_cast<size_t>(k);
    node.Positions().Add(Context->ToScene(Points[i]));
    const TColor c = (!IgnorePointColors && PointHasColor[i] == 1) ? PointColors[i] : Color;
    node.Colors().Add(ConvertWinColor(c, alpha));
  }
  node.StructureChanged();
  UpdateVisibility();
}

namespace {

int64_t PointsDrawnBytes(int64_t n) { return PointsDrawCost.Of(1, n) + PointsNodeCost.Of(1, n); }

// Each point at the tiles its square covers, as the renderer's queue takes it.
int64_t PointsBinnedBytes(int64_t n, bool round, float size) {
  return n * PointRenderWeight(size) * (round ? PointBinBytes : SquarePointBinBytes);
}

// What a point set holds beside the base, with room for `points` points, `colors`
// colours and `flags` flags.
int64_t PointsHeldBytes(int64_t points, int64_t colors, int64_t flags) {
  return static_cast<int64_t>(sizeof(TGraphPoints) - sizeof(TGraphMain)) +
         points * static_cast<int64_t>(sizeof(TSurveyPoint)) + colors * static_cast<int64_t>(sizeof(TColor)) +
         flags * static_cast<int64_t>(sizeof(uint8_t));
}

}  // namespace

int64_t TGraphPoints::DrawnBytes() const { return PointsDrawnBytes(std::max(PointCount, 0)); }

int64_t TGraphPoints::BinnedBytes() const { return PointsBinnedBytes(std::max(PointCount, 0), Round, PointSize); }

bool TGraphPoints::DrawingHeld() const { return NodeDrawingHeld(GLPoints); }

int64_t TGraphPoints::OpenedBytes() const {
  return TGraphMain::OpenedBytes() + PointsHeldBytes(static_cast<int64_t>(Points.capacity()),
                                                     static_cast<int64_t>(PointColors.capacity()),
                                                     static_cast<int64_t>(PointHasColor.capacity()));
}

void TGraphPoints::UpdateVisibility() {
  TGraphMain::UpdateVisibility();
  TGLPoints* node = GLPoints.get();
  if (!node) return;
  node->SetVisible(!IsHidden());
  const bool opaque = Transparency == 255;
  if (Round)
    node->SetStyle(opaque ? TGLPointStyle::psSmooth : TGLPointStyle::psSmoothAdditive);
  else
    node->SetStyle(opaque ? TGLPointStyle::psSquare : TGLPointStyle::psSquareAdditive);
  node->SetSize(PointSize);
}

void TGraphPoints::Clear() {
  GLPoints.Free();
  Points.clear();
  PointColors.clear();
  PointHasColor.clear();
  PointCount = 0;
  TGraphMain::Clear();
}

bool TGraphPoints::IsEmpty() const { return TGraphMain::IsEmpty() && PointCount == 0; }

// ---- Settings -----------------------------------------------------------------------

void TGraphPoints::ApplySettings(const TPointsSettings& settings, const TTransparencyParams& base,
                                 bool fromDialog) {
  bool rebuild = false;
  bool refresh = false;
  if (settings.ColorForAll || fromDialog) {
    if (Color != settings.Color || IgnorePointColors != settings.IgnorePointColors) {
      Color = settings.Color;
      IgnorePointColors = settings.IgnorePointColors;
      rebuild = true;
    }
  }
  if (settings.StyleForAll || fromDialog) {
    if (Round != settings.Round) {
      Round = settings.Round;
      refresh = true;
    }
  }
  if (settings.SizeForAll || fromDialog) {
    if (PointSize != settings.PointSize) {
      PointSize = settings.PointSize;
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
    StyleForAll = settings.StyleForAll;
    SizeForAll = settings.SizeForAll;
    AcceptForAll = base.AcceptForAll;
  }
}

bool TGraphPoints::Edit() { return EditSettingsForAll(*this, PointsEditor()); }

void TGraphPoints::CopySettingsFrom(const TGraphMain& source) {
  TGraphMain::CopySettingsFrom(source);
  CopySettingsOfKind(*this, source);
}

// ---- Stored record ------------------------------------------------------------------

bool TGraphPoints::SaveToStream(TBinaryStream& handle) {
  if (!TGraphMain::SaveToStream(handle)) return false;
  return WriteKindChunk(handle, 0, [this](TBinaryStream& s) {
    const int32_t n = std::max(PointCount, 0);
    if (!s.WriteUInt32(Color) || !s.WriteBool(Round) || !s.WriteBool(IgnorePointColors) ||
        !s.WriteFloat(PointSize) || !s.WriteBool(StyleForAll) || !s.WriteBool(ColorForAll) ||
        !s.WriteBool(SizeForAll) || !s.WriteInt32(n))
      return false;
    for (int32_t i = 0; i < n; ++i) {
      const TSurveyPoint& p = Points[static_cast<size_t>(i)];
      if (!s.WriteDouble(p.X) || !s.WriteDouble(p.Y) || !s.WriteDouble(p.Z)) return false;
    }
    for (int32_t i = 0; i < n; ++i)
      if (!s.WriteUInt32(PointColors[static_cast<size_t>(i)])) return false;
    for (int32_t i = 0; i < n; ++i)
      if (!s.WriteUInt8(PointHasColor[static_cast<size_t>(i)])) return false;
    return true;
  });
}

bool TGraphPoints::LoadFromStream(TBinaryStream& handle) {
  const bool base = TGraphMain::LoadFromStream(handle);
  const bool loaded = ReadKindChunk(handle, 0, base, [this](TBinaryStream& s, int32_t, int32_t end) {
    TColor color = 0;
    bool round = true, ignore = false, styleForAll = true, colorForAll = false, sizeForAll = false;
    float size = 0;
    int32_t n = 0;
    if (!s.ReadUInt32(color) || !s.ReadBool(round) || !s.ReadBool(ignore) || !s.ReadFloat(size) ||
        !s.ReadBool(styleForAll) || !s.ReadBool(colorForAll) || !s.ReadBool(sizeForAll) ||
        !s.ReadInt32(n))
      return false;
    if (n < 0 || n > (end - s.Position()) / kStoredPointSize) return false;
    std::vector<TSurveyPoint> points(static_cast<size_t>(n));
    std::vector<TColor> colors(static_cast<size_t>(n));
    std::vector<uint8_t> hasColor(static_cast<size_t>(n));
    for (TSurveyPoint& p : points)
      if (!s.ReadDouble(p.X) || !s.ReadDouble(p.Y) || !s.ReadDouble(p.Z)) return false;
    for (TColor& c : colors)
      if (!s.ReadUInt32(c)) return false;
    for (uint8_t& h : hasColor)
      if (!s.ReadUInt8(h)) return false;
    if (s.Position() > end) return false;
    Color = color;
    Round = round;
    IgnorePointColors = ignore;
    PointSize = size;
    StyleForAll = styleForAll;
    ColorForAll = colorForAll;
    SizeForAll = sizeForAll;
    Points = std::move(points);
    PointColors = std::move(colors);
    PointHasColor = std::move(hasColor);
    PointCount = n;
    return true;
  }, [this](TBinaryStream& s, int32_t end) -> std::optional<TSkippedCost> {
    // Skipped: what it would take read whole, from its point count and style.
    TColor color = 0;
    bool round = true, flag = false;
    float size = 0;
    int32_t n = 0;
    if (!s.ReadUInt32(color) || !s.ReadBool(round) || !s.ReadBool(flag) || !s.ReadFloat(size) ||
        !s.ReadBool(flag) || !s.ReadBool(flag) || !s.ReadBool(flag) || !s.ReadInt32(n) || n < 0 ||
        n > (end - s.Position()) / kStoredPointSize)
      return std::nullopt;
    return TSkippedCost{OpenedBytesDrawing(PointsDrawnBytes(n)) + PointsHeldBytes(n, n, n),
                        PointsBinnedBytes(n, round, size)};
  });
  if (loaded) UpdateVisibility();
  return loaded;
}

}  // namespace qira

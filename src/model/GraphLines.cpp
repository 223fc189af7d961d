#include "model/GraphLines.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "model/DrawCosts.h"
#include "model/GraphRecord.h"
#include "platform/BinaryStream.h"
#include "scene/objects/DummyPlaneSprite.h"
#include "scene/components/Colors.h"
#include "scene/objects/Pipe.h"

namespace qira {

namespace {

TLinesEditor& LinesEditor() {
  static TLinesEditor editor;
  return editor;
}

// A segment (two points), its colour and its flag.
constexpr int32_t kStoredSegmentSize = 6 * 8 + 4 + 1;

bool WritePoint(TBinaryStream& s, const TSurveyPoint& p) {
  return s.WriteDouble(p.X) && s.WriteDouble(p.Y) && s.WriteDouble(p.Z);
}

bool ReadPoint(TBinaryStream& s, TSurveyPoint& p) {
  return s.ReadDouble(p.X) && s.ReadDouble(p.Y) && s.ReadDouble(p.Z);
}

// One pipe of four nodes a segment, drawn from its nodes.
int64_t LinesDrawnBytes(int64_t segments) { return LinesDrawCost.Of(1, segments); }

int64_t LinesBinnedBytes(int64_t segments) { return segments * SegmentBinBytes; }

// The segment array, the colours and their flags, of those capacities.
int64_t SegmentArraysBytes(size_t segments, size_t colors, size_t flags) {
  return static_cast<int64_t>(segments * sizeof(TLineSegment) + colors * sizeof(TColor) + flags * sizeof(uint8_t));
}

}  // namespace

void SetLinesEditor(TLinesEditor editor) { LinesEditor() = std::move(editor); }

TGraphLines::TGraphLines() { TypeId = GraphTypeId::Lines; }

TGraphLines::~TGraphLines() { Pipe.Free(); }

TLinesSettings TGraphLines::GetSettings() const {
  return {Color, IgnoreSegmentColors, LineWidth, ColorForAll, WidthForAll};
}

// ---- Adding segments ----------------------------------------------------------------

void TGraphLines::BeginAdd() { SegmentCount = static_cast<int32_t>(Segments.size()); }

void TGraphLines::AddSegment(const TSurveyPoint& start, const TSurveyPoint& end) {
  ++SegmentCount;
  if (Segments.size() < static_cast<size_t>(SegmentCount)) {
    const size_t grown = Segments.size() + LinesGrowth;
    Segments.resize(grown);
    SegmentColors.resize(grown);
    SegmentHasColor.resize(grown);
  }
  const size_t i = static_cast<size_t>(SegmentCount - 1);
  Segments[i] = {start, end};
  ExtendBounds(start);
  ExtendBounds(end);
  SegmentColors[i] = 0;
  SegmentHasColor[i] = 0;
}

void TGraphLines::SetLastSegmentColor(TColor color) {
  if (SegmentCount <= 0 || static_cast<size_t>(SegmentCount) > Segments.size()) return;
  const size_t i = static_cast<size_t>(SegmentCount - 1);
  SegmentColors[i] = color;
  SegmentHasColor[i] = 1;
}

void TGraphLines::EndAdd() {
  const size_t n = static_cast<size_t>(std::max(SegmentCount, 0));
  Segments.resize(n);
  Segments.shrink_to_fit();
  SegmentColors.resize(n);
  SegmentColors.shrink_to_fit();
  SegmentHasColor.resize(n);
  SegmentHasColor.shrink_to_fit();
}

// ---- Building -----------------------------------------------------------------------

void TGraphLines::Build(bool recursive) {
  TGraphMain::Build(recursive);
  if (!Context || !Context->ModelCube) return;
  TGLPipe& pipe = Pipe ? *Pipe : Pipe.Create(*Context->ModelCube);
  pipe.Nodes().BeginUpdate();
  pipe.Nodes().Clear();
  // Always blended: the pieces between segments are hidden by their alpha 0.
  SetMaterialBlending(pipe, true);
  pipe.SetNodesColorMode(TPipeNodesColorMode::pncmAmbientAndDiffuse);
  pipe.SetParts({TPipePart::ppOutside, TPipePart::ppStartDisk, TPipePart::ppStopDisk});
  const float alpha = OpacityAlpha(Transparency);
  const int32_t n = std::max(SegmentCount, 0);
  for (int32_t k = 0; k < n; ++k) {
    const size_t i = static_cast<size_t>(k);
    const TColor c = (!IgnoreSegmentColors && SegmentHasColor[i] == 1) ? SegmentColors[i] : Color;
    const TVector color = ConvertWinColor(c, alpha);
    const TAffineVector start = Context->ToScene(Segments[i].Start);
    const TAffineVector end = Context->ToScene(Segments[i].End);
    pipe.AddNode(start).Color().SetAlpha(0.0f);
    pipe.AddNode(start).Color().SetColor(color);
    pipe.AddNode(end).Color().SetColor(color);
    pipe.AddNode(end).Color().SetAlpha(0.0f);
  }
  pipe.Nodes().EndUpdate();
  UpdateVisibility();
}

int64_t TGraphLines::DrawnBytes() const { return LinesDrawnBytes(std::max(SegmentCount, 0)); }

int64_t TGraphLines::BinnedBytes() const { return LinesBinnedBytes(std::max(SegmentCount, 0)); }

bool TGraphLines::DrawingHeld() const { return NodeDrawingHeld(Pipe); }

int64_t TGraphLines::OpenedBytes() const {
  return OpenedBytesWith(SegmentArraysBytes(Segments.capacity(), SegmentColors.capacity(), SegmentHasColor.capacity()),
                         DrawnBytes());
}

int64_t TGraphLines::OpenedBytesWith(int64_t arrays, int64_t drawn) const {
  return OpenedBytesDrawing(drawn) +
         static_cast<int64_t>(sizeof(TGraphLines) - sizeof(TGraphMain)) + arrays;
}

void TGraphLines::UpdateVisibility() {
  TGraphMain::UpdateVisibility();
  TGLPipe* pipe = Pipe.get();
  if (!pipe) return;
  pipe->SetVisible(!IsHidden());
  pipe->SetRadius(LineWidth / 2);
}

void TGraphLines::Clear() {
  Pipe.Free();
  Segments.clear();
  SegmentColors.clear();
  SegmentHasColor.clear();
  SegmentCount = 0;
  TGraphMain::Clear();
}

bool TGraphLines::IsEmpty() const { return TGraphMain::IsEmpty() && SegmentCount == 0; }

// ---- Settings -----------------------------------------------------------------------

void TGraphLines::ApplySettings(const TLinesSettings& settings, const TTransparencyParams& base,
                                bool fromDialog) {
  bool rebuild = false;
  bool refresh = false;
  if (settings.ColorForAll || fromDialog) {
    if (Color != settings.Color || IgnoreSegmentColors != settings.IgnoreSegmentColors) {
      Color = settings.Color;
      IgnoreSegmentColors = settings.IgnoreSegmentColors;
      rebuild = true;
    }
  }
  if (settings.WidthForAll || fromDialog) {
    if (LineWidth != settings.LineWidth) {
      LineWidth = settings.LineWidth;
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
    WidthForAll = settings.WidthForAll;
    AcceptForAll = base.AcceptForAll;
  }
}

bool TGraphLines::Edit() { return EditSettingsForAll(*this, LinesEditor()); }

void TGraphLines::CopySettingsFrom(const TGraphMain& source) {
  TGraphMain::CopySettingsFrom(source);
  CopySettingsOfKind(*this, source);
}

// ---- Stored record ------------------------------------------------------------------

bool TGraphLines::SaveToStream(TBinaryStream& handle) {
  if (!TGraphMain::SaveToStream(handle)) return false;
  return WriteKindChunk(handle, 0, [this](TBinaryStream& s) {
    const int32_t n = std::max(SegmentCount, 0);
    if (!s.WriteUInt32(Color) || !s.WriteBool(IgnoreSegmentColors) || !s.WriteFloat(LineWidth) ||
        !s.WriteBool(ColorForAll) || !s.WriteBool(WidthForAll) || !s.WriteInt32(n))
      return false;
    for (int32_t i = 0; i < n; ++i) {
      const TLineSegment& segment = Segments[static_cast<size_t>(i)];
      if (!WritePoint(s, segment.Start) || !WritePoint(s, segment.End)) return false;
    }
    for (int32_t i = 0; i < n; ++i)
      if (!s.WriteUInt32(SegmentColors[static_cast<size_t>(i)])) return false;
    for (int32_t i = 0; i < n; ++i)
      if (!s.WriteUInt8(SegmentHasColor[static_cast<size_t>(i)])) return false;
    return true;
  });
}

bool TGraphLines::LoadFromStream(TBinaryStream& handle) {
  const bool base = TGraphMain::LoadFromStream(handle);
  const bool loaded = ReadKindChunk(handle, 0, base, [this](TBinaryStream& s, int32_t, int32_t end) {
    TColor color = 0;
    bool ignore = false, colorForAll = true, widthForAll = true;
    float width = 0;
    int32_t n = 0;
    if (!s.ReadUInt32(color) || !s.ReadBool(ignore) || !s.ReadFloat(width) || !s.ReadBool(colorForAll) ||
        !s.ReadBool(widthForAll) || !s.ReadInt32(n))
      return false;
    if (n < 0 || n > (end - s.Position()) / kStoredSegmentSize) return false;
    std::vector<TLineSegment> segments(static_cast<size_t>(n));
    std::vector<TColor> colors(static_cast<size_t>(n));
    std::vector<uint8_t> hasColor(static_cast<size_t>(n));
    for (TLineSegment& segment : segments)
      if (!ReadPoint(s, segment.Start) || !ReadPoint(s, segment.End)) return false;
    for (TColor& c : colors)
      if (!s.ReadUInt32(c)) return false;
    for (uint8_t& h : hasColor)
      if (!s.ReadUInt8(h)) return false;
    if (s.Position() > end) return false;
    Color = color;
    IgnoreSegmentColors = ignore;
    LineWidth = width;
    ColorForAll = colorForAll;
    WidthForAll = widthForAll;
    Segments = std::move(segments);
    SegmentColors = std::move(colors);
    SegmentHasColor = std::move(hasColor);
    SegmentCount = n;
    return true;
  }, [this](TBinaryStream& s, int32_t end) -> std::optional<TSkippedCost> {
    // Skipped: what it would take read whole, from its segments' count.
    TColor color = 0;
    bool flag = false;
    float width = 0;
    int32_t n = 0;
    if (!s.ReadUInt32(color) || !s.ReadBool(flag) || !s.ReadFloat(width) || !s.ReadBool(flag) || !s.ReadBool(flag) ||
        !s.ReadInt32(n) || n < 0 || n > (end - s.Position()) / kStoredSegmentSize)
      return std::nullopt;
    const auto entries = static_cast<size_t>(n);
    return TSkippedCost{OpenedBytesWith(SegmentArraysBytes(entries, entries, entries), LinesDrawnBytes(n)),
                        LinesBinnedBytes(n)};
  });
  if (loaded) UpdateVisibility();
  return loaded;
}

}  // namespace qira

// The label's stored record, kept apart from its building.
#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "model/GraphLabel.h"
#include "model/GraphRecord.h"
#include "model/StreamHelpers.h"
#include "platform/BinaryStream.h"
#include "platform/CodePage.h"

namespace qira {

namespace {

// A stored text (int32 length + Windows-1252 bytes) passed over a piece at a time,
// never made whole: its stored length and its size once converted as ReadLengthString
// converts it (a string of exactly that size).
bool SkipText(TBinaryStream& s, int32_t end, int64_t& stored, int64_t& size) {
  int32_t n = 0;
  if (!s.ReadInt32(n) || n < 0 || n > end - s.Position()) return false;
  constexpr int32_t kPieceBytes = 64 << 10;
  std::string piece(static_cast<size_t>(std::min(n, kPieceBytes)), '\0');
  size = 0;
  for (int32_t left = n; left > 0;) {
    const int32_t take = std::min(left, kPieceBytes);
    if (!s.Read(piece.data(), take)) return false;
    size += static_cast<int64_t>(Cp1252AsUtf8Size(std::string_view(piece.data(), static_cast<size_t>(take))));
    left -= take;
  }
  stored = n;
  return true;
}

}  // namespace

// ---- Stored record ------------------------------------------------------------------

bool TGraphLabel::SaveToStream(TBinaryStream& handle) {
  if (!TGraphMain::SaveToStream(handle)) return false;
  return WriteKindChunk(handle, 0, [this](TBinaryStream& s) {
    return s.WriteDouble(Params.Position.X) && s.WriteDouble(Params.Position.Y) &&
           s.WriteDouble(Params.Position.Z) && s.WriteFloat(Params.TextScale) && s.WriteUInt32(Params.Color) &&
           s.WriteUInt8(Params.Alignment) && s.WriteUInt8(Params.Layout) && WriteLengthString(s, Params.Text);
  });
}

bool TGraphLabel::LoadFromStream(TBinaryStream& handle) {
  const bool base = TGraphMain::LoadFromStream(handle);
  return ReadKindChunk(handle, 0, base, [this](TBinaryStream& s, int32_t, int32_t end) {
    TLabelParams p;
    if (!(s.ReadDouble(p.Position.X) && s.ReadDouble(p.Position.Y) && s.ReadDouble(p.Position.Z) &&
          s.ReadFloat(p.TextScale) && s.ReadUInt32(p.Color) && s.ReadUInt8(p.Alignment) &&
          s.ReadUInt8(p.Layout) && ReadLengthString(s, p.Text)))
      return false;
    if (s.Position() > end) return false;  // the fields ran past the chunk
    Params = std::move(p);
    return true;
  }, [this](TBinaryStream& s, int32_t end) -> std::optional<TSkippedCost> {
    // Skipped: what it would take read whole, from its text.
    constexpr int32_t kBeforeText = 3 * 8 + 4 + 4 + 1 + 1;
    int64_t stored = 0, size = 0;
    if (end - s.Position() < kBeforeText || !s.Seek(s.Position() + kBeforeText) || !SkipText(s, end, stored, size))
      return std::nullopt;
    // Read, the stored bytes are held beside their conversion.
    const int64_t opened = OpenedBytesWith(size, size);
    return TSkippedCost{opened, BinnedBytesWith(size), opened + stored};
  });
}

}  // namespace qira

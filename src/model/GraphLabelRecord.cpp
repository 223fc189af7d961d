// The label's stored record, kept apart from its building.
#include <optional>
#include <string>
#include <utility>

#include "model/GraphLabel.h"
#include "model/GraphRecord.h"
#include "model/StreamHelpers.h"
#include "platform/BinaryStream.h"

namespace qira {

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
    if (end - s.Position() < kBeforeText || !s.Seek(s.Position() + kBeforeText) ||
        !MeasureLengthString(s, stored, size))
      return std::nullopt;
    // Read, the stored bytes are held beside their conversion.
    const int64_t opened = OpenedBytesWith(size, size);
    return TSkippedCost{opened, BinnedBytesWith(size), opened + stored};
  });
}

}  // namespace qira

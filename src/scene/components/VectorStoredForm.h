#pragma once
// The stored form of a colour's or a coordinate's four floats in component
// streams: 16 bytes, x (red), y (green), z (blue), w (alpha), each a
// little-endian IEEE single.
#include <array>
#include <cstdint>
#include <string_view>

#include "scene/math/VectorTypes.h"

namespace qira {

class TBinaryStream;
class TFiler;

std::array<std::uint8_t, 16> VectorToLittleEndian(const TVector& v);
TVector VectorFromLittleEndian(const std::array<std::uint8_t, 16>& bytes);

// EWriteError "Stream write error" when the stream refuses the bytes.
void WriteVectorData(TBinaryStream& stream, const TVector& v);
// EReadError "Stream read error" when fewer than 16 bytes remain (nothing consumed).
TVector ReadVectorData(TBinaryStream& stream);

// The binary property `name` holding `vector`, always written; a block that
// is not 16 bytes of finite floats is refused (EReadError "Invalid property
// value" or "Stream read error") and leaves the vector as it was.
void DefineVectorProperty(TFiler& filer, std::string_view name, TVector& vector);

}  // namespace qira

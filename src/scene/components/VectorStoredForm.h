#pragma once
// The stored form of a colour's or a coordinate's four floats in component
// streams: 16 bytes, x (red), y (green), z (blue), w (alpha), each a
// little-endian IEEE single.
#include <array>
#include <cstdint>

#include "scene/math/VectorTypes.h"

namespace qira {

class TBinaryStream;

std::array<std::uint8_t, 16> VectorToLittleEndian(const TVector& v);
TVector VectorFromLittleEndian(const std::array<std::uint8_t, 16>& bytes);

// EWriteError "Stream write error" when the stream refuses the bytes.
void WriteVectorData(TBinaryStream& stream, const TVector& v);
// EReadError "Stream read error" when fewer than 16 bytes remain (nothing consumed).
TVector ReadVectorData(TBinaryStream& stream);

}  // namespace qira

#include "scene/components/VectorStoredForm.h"

#include <bit>
#include <cmath>

#include "platform/BinaryStream.h"
#include "scene/components/ComponentStreams.h"
#include "scene/components/Persistence.h"

namespace qira {

std::array<std::uint8_t, 16> VectorToLittleEndian(const TVector& v) {
  std::array<std::uint8_t, 16> bytes{};
  for (std::size_t i = 0; i < 4; ++i) {
    const auto bits = std::bit_cast<std::uint32_t>(v[i]);
    for (std::size_t k = 0; k < 4; ++k) bytes[4 * i + k] = static_cast<std::uint8_t>(bits >> (8 * k));
  }
  return bytes;
}

TVector VectorFromLittleEndian(const std::array<std::uint8_t, 16>& bytes) {
  TVector v;
  for (std::size_t i = 0; i < 4; ++i) {
    std::uint32_t bits = 0;
    for (std::size_t k = 0; k < 4; ++k) bits |= std::uint32_t{bytes[4 * i + k]} << (8 * k);
    v[i] = std::bit_cast<float>(bits);
  }
  return v;
}

void WriteVectorData(TBinaryStream& stream, const TVector& v) {
  const auto bytes = VectorToLittleEndian(v);
  if (!stream.Write(bytes.data(), static_cast<std::int32_t>(bytes.size()))) throw EWriteError("Stream write error");
}

TVector ReadVectorData(TBinaryStream& stream) {
  std::array<std::uint8_t, 16> bytes{};
  if (!stream.Read(bytes.data(), static_cast<std::int32_t>(bytes.size()))) throw EReadError("Stream read error");
  return VectorFromLittleEndian(bytes);
}

void DefineVectorProperty(TFiler& filer, std::string_view name, TVector& vector) {
  filer.DefineBinaryProperty(
      name,
      [&vector](TBinaryStream& stream) {
        const TVector value = ReadVectorData(stream);
        for (size_t i = 0; i < 4; ++i) CheckPropertyValue(std::isfinite(value[i]));
        vector = value;
      },
      [&vector](TBinaryStream& stream) { WriteVectorData(stream, vector); }, true);
}

}  // namespace qira

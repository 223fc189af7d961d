#include "scene/components/GLUtilities.h"

#include <cmath>
#include <filesystem>
#include <system_error>

#include "platform/BinaryStream.h"
#include "platform/Rounding.h"

namespace qira {

int32_t RoundUpToPowerOf2(int32_t value) {
  constexpr int32_t kLargest = int32_t{1} << 30;
  if (value < 2) return 1;
  if (value > kLargest) return kLargest;
  int32_t power = 2;
  while (power < value) power <<= 1;
  return power;
}

void SaveTextToFile(const std::string& fileName, const std::string& text) {
  std::string reason;
  if (!WriteWholeFileAtomic(fileName, text.data(), text.size(), &reason))
    throw EFCreateError(CannotFileText("create", fileName, reason));
}

std::string LoadTextFromFile(const std::string& fileName) {
  std::error_code error;
  if (!std::filesystem::exists(fileName, error)) return std::string();
  std::vector<uint8_t> bytes;
  std::string message;
  if (!ReadWholeFileOrTell(fileName, bytes, message)) throw EFOpenError(message);
  return std::string(bytes.begin(), bytes.end());
}

int64_t FileSizeOf(const std::string& fileName) {
  std::error_code error;
  const auto size = std::filesystem::file_size(fileName, error);
  if (error) return 0;
  return static_cast<int64_t>(size);
}

const std::array<uint8_t, 256>& Sqrt255Table() {
  static const std::array<uint8_t, 256> table = [] {
    std::array<uint8_t, 256> entries{};
    for (int i = 0; i < 256; ++i) {
      entries[i] = static_cast<uint8_t>(RoundToInt(std::sqrt(i / 255.0) * 255.0));
    }
    return entries;
  }();
  return table;
}

}  // namespace qira

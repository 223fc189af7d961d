#pragma once
// Small stand-alone helpers of the engine: power-of-two sizes, whole-file text
// load and save, file sizes, and the square-root table of alpha conversion.
#include <array>
#include <cstdint>
#include <string>

#include "scene/components/Components.h"

namespace qira {

// A file could not be created or written: "Cannot create file "<name>". <reason>".
class EFCreateError : public Exception {
 public:
  using Exception::Exception;
};

// A file could not be read: "Cannot open file "<name>". <Reason>", or the other
// sentences of ReadWholeFileOrTell for one that was opened.
class EFOpenError : public Exception {
 public:
  using Exception::Exception;
};

// 1 for values below 2; otherwise the smallest power of two not below the
// value. Values above 2^30 have no such power in 32 bits and give 2^30, the
// largest there is, rather than wrapping to a negative size.
int32_t RoundUpToPowerOf2(int32_t value);

// Saves the bytes of the text as the file (through TSaveFile, as every saver: a
// failure keeps the old file); an empty text leaves an empty file. EFCreateError
// when it cannot be written.
void SaveTextToFile(const std::string& fileName, const std::string& text);
// The whole file as bytes; "" when the file does not exist. EFOpenError when
// it exists but cannot be read whole.
std::string LoadTextFromFile(const std::string& fileName);
// The size in bytes; 0 when the file does not exist.
int64_t FileSizeOf(const std::string& fileName);

// Entry i is round(sqrt(i / 255) * 255): 0 at 0, 255 at 255.
const std::array<uint8_t, 256>& Sqrt255Table();

}  // namespace qira

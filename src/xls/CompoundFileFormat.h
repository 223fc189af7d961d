#pragma once
// The inner layout of the compound file, shared by its writer and its reader.
//
// File: a 512-byte header, then sectors numbered from 0 (sector n starts at byte
// (n + 1) × sector size). The FAT holds one 32-bit entry per sector: the next
// sector of its chain, ENDOFCHAIN, FREESECT, or FATSECT/DIFSECT for sectors that
// hold the FAT or the DIFAT. The first 109 FAT sector numbers sit in the header,
// the rest in a chain of DIFAT sectors (127 numbers and the next DIFAT sector).
// The directory is a chain of 128-byte entries; entry 0 is the root. The
// children of a storage form a red-black tree ordered by CompareEntryNames. Streams
// below the mini-stream cutoff live in 64-byte mini sectors inside the mini
// stream (the root entry's own stream), chained through the mini FAT.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace qira {

class TCFileStorage;
class TCFileStream;

namespace cfb {

inline constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
inline constexpr uint32_t kHeaderSize = 512;
inline constexpr uint32_t kSectorSize = 512;       // version 3
inline constexpr uint32_t kMiniSectorSize = 64;
inline constexpr uint32_t kMiniStreamCutoff = 4096;
inline constexpr uint32_t kDirEntrySize = 128;
inline constexpr uint32_t kHeaderDifatCount = 109;
inline constexpr uint32_t kMaxNameChars = 31;      // plus the terminating zero: 64 bytes

inline constexpr uint32_t kMaxRegSect = 0xFFFFFFFA;
inline constexpr uint32_t kDifSect = 0xFFFFFFFC;
inline constexpr uint32_t kFatSect = 0xFFFFFFFD;
inline constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
inline constexpr uint32_t kFreeSect = 0xFFFFFFFF;
inline constexpr uint32_t kNoStream = 0xFFFFFFFF;

enum TEntryType : uint8_t { etUnused = 0, etStorage = 1, etStream = 2, etRoot = 5 };
enum TEntryColor : uint8_t { ecRed = 0, ecBlack = 1 };

// The format's order of sibling names: shorter first, then character by
// character after upper-casing each. Negative, zero or positive.
int CompareEntryNames(const std::u16string& a, const std::u16string& b);
// The name upper-cased as that order does: two names compare equal exactly when
// their keys are equal.
std::u16string EntryNameKey(const std::u16string& name);

// UTF-16 form of a UTF-8 name, or empty when the name is not valid UTF-8.
std::u16string NameToUtf16(const std::string& utf8);
std::string NameToUtf8(const std::u16string& utf16);

// Receives the compound file piece by piece, in order; raises to stop.
using TCFileSink = std::function<void(const uint8_t* data, size_t n)>;
// The compound file of the tree under `root` (named "Root Entry"), handed to sink.
// ECFileError 7 when it would pass 2 GB or a stream cannot be read.
void WriteCompoundFile(const TCFileStorage& root, const TCFileSink& sink);
// The same as one image.
std::vector<uint8_t> LayOutCompoundFile(const TCFileStorage& root);

}  // namespace cfb

// Fills an empty root storage from a compound file image. Throws ECFileError
// `fileErrorCode` when the container cannot be read, 4 for a stream and 5 for a
// storage that cannot be read.
class TCFileReader {
 public:
  static void Read(std::span<const uint8_t> image, TCFileStorage& root, int fileErrorCode);

  // Children added while reading, in the order they are found.
  static TCFileStorage& AddStorage(TCFileStorage& parent, const std::string& name);
  static void AddStream(TCFileStorage& parent, const std::string& name, std::vector<uint8_t> data);
};

}  // namespace qira

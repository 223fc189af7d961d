#pragma once
// Workbook encryption: the RC4 scheme of the BIFF8 file format with MD5 key
// derivation. A FILEPASS record carries the salt and the password verifier;
// every record's data after the record that follows FILEPASS is encrypted with
// a key that changes every 1024 bytes of the stream. Record headers, the records
// the format never encrypts (every BOF, INTERFACEHDR, ...) and the sheet offset
// at the start of a BOUNDSHEET record stay in the clear.
//
// MD5 (RFC 1321) and RC4 are the published algorithms, carried here because
// nothing else in the program needs them.
//
// Sections (each begins at a line "// [SECTION] <name>"):
//   MD5
//   RC4
//   password and header
//   record stream
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace qira {

class TCFileStream;

// [SECTION] MD5

using TMD5Digest = std::array<uint8_t, 16>;

class TMD5 {
 public:
  TMD5();
  void Update(const void* data, size_t n);
  TMD5Digest Final();
  static TMD5Digest Of(const void* data, size_t n);

 private:
  void Transform(const uint8_t* block);
  std::array<uint32_t, 4> state_;
  uint64_t length_ = 0;
  std::array<uint8_t, 64> buffer_{};
  size_t fill_ = 0;
};

// [SECTION] RC4

class TRC4 {
 public:
  // A fresh state from a key of 1..256 bytes.
  TRC4(const uint8_t* key, size_t n);
  // XORs the keystream over n bytes in place, continuing where the last call ended.
  void Apply(uint8_t* data, size_t n);

 private:
  std::array<uint8_t, 256> s_{};
  uint8_t i_ = 0;
  uint8_t j_ = 0;
};

// [SECTION] password and header

// The password of a protected workbook saved without one.
inline constexpr std::u16string_view kDefaultWriteProtectionPassword = u"VelvetSweatshop";
inline constexpr size_t kMaxPasswordLength = 15;

// Fills the 16 salt bytes.
using TSaltSource = std::function<void(uint8_t* salt16)>;
// 16 bytes from the system's random source.
void RandomSalt(uint8_t* salt16);

// The fields of FILEPASS and the intermediate digest D that the block keys come from.
struct TEncryptionHeader {
  std::array<uint8_t, 16> Salt{};
  std::array<uint8_t, 16> Verifier{};
  std::array<uint8_t, 16> VerifierHash{};
  TMD5Digest Digest{};
};

// Raises EXLSError "File protection password must have 0-15 characters." for a
// longer password.
void CheckPassword(std::u16string_view password);
// Salt from source; verifier field = salt; the hash field holds MD5 of the
// decrypted verifier, encrypted on the same RC4 state.
TEncryptionHeader CreateEncryptionHeader(std::u16string_view password, const TSaltSource& source);
// The RC4 state of a block of 1024 stream bytes.
TRC4 MakeRC4Key(uint32_t block, const TMD5Digest& digest);

// [SECTION] record stream

// One record as the stream holds it: id, then the length and the bytes of its data.
struct TBIFFRecord {
  uint16_t Id = 0;
  std::string_view Data;
  uint16_t Length() const { return static_cast<uint16_t>(Data.size()); }
};

// Rewrites records into a stream in blocks of 1024 bytes: headers in the clear,
// data encrypted once encryption is on, except for the records the format never
// encrypts (BOF, FILEPASS, INTERFACEHDR, the sharing records) and the first 4
// data bytes of BOUNDSHEET. The keystream position of every byte is its offset within its block.
class TBIFFStream {
 public:
  static constexpr size_t kBlockSize = 1024;

  explicit TBIFFStream(TCFileStream& out) : out_(out) {}
  void StartEncryption(const TMD5Digest& digest);
  // Raises ECFileError 7 when the stream takes fewer bytes than given.
  void WriteRecord(const TBIFFRecord& record);
  // Writes a partly filled block; its unused bytes become clear zeros.
  void Flush();

 private:
  void Add(uint8_t byte, bool clear);
  void FlushBlock(size_t used);

  TCFileStream& out_;
  uint32_t block_ = 0;  // the number of the next block
  size_t fill_ = 0;
  std::array<uint8_t, kBlockSize> plain_{};
  std::array<uint8_t, kBlockSize> clearMask_{};
  bool encrypting_ = false;
  TMD5Digest digest_{};
};

}  // namespace qira

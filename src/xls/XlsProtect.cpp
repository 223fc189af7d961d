// Workbook encryption.
//
// Sections (each begins at a line "// [SECTION] <name>"):
//   MD5
//   RC4
//   password and header
//   record stream
#include "xls/XlsProtect.h"

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "xls/CompoundFile.h"
#include "xls/XlsSupport.h"

namespace qira {

// [SECTION] MD5

namespace {

constexpr uint32_t kMD5Sines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr int kMD5Shifts[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

}  // namespace

TMD5::TMD5() : state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476} {}

void TMD5::Transform(const uint8_t* block) {
  uint32_t m[16];
  for (int i = 0; i < 16; ++i)
    m[i] = static_cast<uint32_t>(block[i * 4]) | static_cast<uint32_t>(block[i * 4 + 1]) << 8 |
           static_cast<uint32_t>(block[i * 4 + 2]) << 16 | static_cast<uint32_t>(block[i * 4 + 3]) << 24;
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    const uint32_t next = b + RotateLeft(a + f + kMD5Sines[i] + m[g], kMD5Shifts[i]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void TMD5::Update(const void* data, size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  length_ += n;
  while (n > 0) {
    const size_t take = std::min(n, buffer_.size() - fill_);
    std::memcpy(buffer_.data() + fill_, p, take);
    fill_ += take;
    p += take;
    n -= take;
    if (fill_ == buffer_.size()) {
      Transform(buffer_.data());
      fill_ = 0;
    }
  }
}

TMD5Digest TMD5::Final() {
  const uint64_t bits = length_ * 8;
  const uint8_t pad = 0x80;
  Update(&pad, 1);
  const uint8_t zero = 0;
  while (fill_ != 56) Update(&zero, 1);
  uint8_t tail[8];
  for (int i = 0; i < 8; ++i) tail[i] = static_cast<uint8_t>(bits >> (8 * i));
  Update(tail, 8);
  TMD5Digest out;
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 4; ++k) out[i * 4 + k] = static_cast<uint8_t>(state_[i] >> (8 * k));
  return out;
}

TMD5Digest TMD5::Of(const void* data, size_t n) {
  TMD5 md5;
  md5.Update(data, n);
  return md5.Final();
}

// [SECTION] RC4

TRC4::TRC4(const uint8_t* key, size_t n) {
  for (int i = 0; i < 256; ++i) s_[i] = static_cast<uint8_t>(i);
  uint8_t j = 0;
  for (int i = 0; i < 256; ++i) {
    j = static_cast<uint8_t>(j + s_[i] + key[static_cast<size_t>(i) % n]);
    std::swap(s_[i], s_[j]);
  }
}

void TRC4::Apply(uint8_t* data, size_t n) {
  for (size_t k = 0; k < n; ++k) {
    i_ = static_cast<uint8_t>(i_ + 1);
    j_ = static_cast<uint8_t>(j_ + s_[i_]);
    std::swap(s_[i_], s_[j_]);
    data[k] ^= s_[static_cast<uint8_t>(s_[i_] + s_[j_])];
  }
}

// [SECTION] password and header

void RandomSalt(uint8_t* salt16) {
  size_t got = 0;
  while (got < 16) {
    const ssize_t n = ::getrandom(salt16 + got, 16 - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("no random bytes for the encryption salt");
    }
    got += static_cast<size_t>(n);
  }
}

void CheckPassword(std::u16string_view password) {
  if (password.size() > kMaxPasswordLength)
    throw EXLSError("File protection password must have 0-15 characters.", 0);
}

TEncryptionHeader CreateEncryptionHeader(std::u16string_view password, const TSaltSource& source) {
  CheckPassword(password);
  TEncryptionHeader h;
  (source ? source : TSaltSource(RandomSalt))(h.Salt.data());
  h.Verifier = h.Salt;

  const std::string bytes = WideToUtf16Bytes(password);
  const TMD5Digest h0 = TMD5::Of(bytes.data(), bytes.size());
  TMD5 d;
  for (int i = 0; i < 16; ++i) {
    d.Update(h0.data(), 5);
    d.Update(h.Salt.data(), h.Salt.size());
  }
  h.Digest = d.Final();

  TRC4 rc4 = MakeRC4Key(0, h.Digest);
  std::array<uint8_t, 16> v = h.Salt;
  rc4.Apply(v.data(), v.size());
  const TMD5Digest vHash = TMD5::Of(v.data(), v.size());
  std::copy(vHash.begin(), vHash.end(), h.VerifierHash.begin());
  rc4.Apply(h.VerifierHash.data(), h.VerifierHash.size());
  return h;
}

TRC4 MakeRC4Key(uint32_t block, const TMD5Digest& digest) {
  uint8_t input[9];
  std::memcpy(input, digest.data(), 5);
  for (int i = 0; i < 4; ++i) input[5 + i] = static_cast<uint8_t>(block >> (8 * i));
  const TMD5Digest key = TMD5::Of(input, sizeof input);
  return TRC4(key.data(), key.size());
}

// [SECTION] record stream

namespace {
constexpr uint16_t kBoundSheetId = 0x0085;

// Records the format never encrypts: BOF (of every substream), FILEPASS,
// INTERFACEHDR and the sharing records; readers take them as they are.
bool NeverEncrypted(uint16_t id) {
  switch (id) {
    case 0x0809:  // BOF
    case 0x002F:  // FILEPASS
    case 0x00E1:  // INTERFACEHDR
    case 0x0194:  // USREXCL
    case 0x0195:  // FILELOCK
    case 0x0196:  // RRDINFO
    case 0x0138:  // RRDHEAD
      return true;
    default:
      return false;
  }
}
}  // namespace

void TBIFFStream::StartEncryption(const TMD5Digest& digest) {
  digest_ = digest;
  encrypting_ = true;
}

void TBIFFStream::WriteRecord(const TBIFFRecord& record) {
  const uint16_t id = record.Id;
  Add(static_cast<uint8_t>(id), true);
  Add(static_cast<uint8_t>(id >> 8), true);
  Add(static_cast<uint8_t>(record.Length()), true);
  Add(static_cast<uint8_t>(record.Length() >> 8), true);
  for (size_t i = 0; i < record.Data.size(); ++i) {
    const bool clear = !encrypting_ || NeverEncrypted(id) || (id == kBoundSheetId && i < 4);
    Add(static_cast<uint8_t>(record.Data[i]), clear);
  }
}

void TBIFFStream::Add(uint8_t byte, bool clear) {
  plain_[fill_] = byte;
  clearMask_[fill_] = clear ? 1 : 0;
  if (++fill_ == kBlockSize) FlushBlock(kBlockSize);
}

void TBIFFStream::Flush() {
  if (fill_ > 0) FlushBlock(fill_);
}

void TBIFFStream::FlushBlock(size_t used) {
  // Unused bytes of a last block are zeros in the clear, so that a reader that
  // walks on past the last record finds empty records, not keystream.
  for (size_t i = used; i < kBlockSize; ++i) {
    plain_[i] = 0;
    clearMask_[i] = 1;
  }
  std::array<uint8_t, kBlockSize> out = plain_;
  if (encrypting_) {
    TRC4 rc4 = MakeRC4Key(block_, digest_);
    for (size_t i = 0; i < kBlockSize; i += 16) rc4.Apply(out.data() + i, 16);
    for (size_t i = 0; i < kBlockSize; ++i)
      if (clearMask_[i]) out[i] = plain_[i];
  }
  ++block_;
  if (out_.Write(out.data(), static_cast<int32_t>(out.size())) != static_cast<int32_t>(out.size()))
    out_.RaiseWriteFailure();
  plain_.fill(0);
  clearMask_.fill(0);
  fill_ = 0;
}

}  // namespace qira

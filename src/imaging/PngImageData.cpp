// The image data of a PNG file: converting picture rows to and from the
// stored samples, the encoder that deflates filtered rows into IDAT chunks and
// the decoder that inflates them across IDAT chunks.
//
// Sections: sample access; row conversion; encoder; decoder.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/PngChunks.h"
#include "imaging/PngCrc.h"
#include "imaging/PngFilters.h"
#include "imaging/PngMessages.h"
#include "imaging/PngObject.h"
#include "platform/BinaryStream.h"

namespace qira {

TChunkIDAT::TChunkIDAT(TPNGObject& owner) : TChunk(owner, "IDAT") {}

const TChunkClass& TChunkIDAT::StaticClass() {
  static const TChunkClass cls{"IDAT", [](TPNGObject& owner) -> std::unique_ptr<TChunk> {
                                 return std::make_unique<TChunkIDAT>(owner);
                               }};
  return cls;
}

// ------------------------------------------------------------ sample access

namespace {

// Sample k of `bits` (1, 2, 4) bits in a packed row, the first in the high bits.
inline uint8_t PackedSample(const uint8_t* row, uint32_t k, int32_t bits) {
  const uint32_t bit = k * static_cast<uint32_t>(bits);
  return static_cast<uint8_t>((row[bit / 8] >> (8 - bits - static_cast<int32_t>(bit % 8))) & ((1 << bits) - 1));
}

inline void PutPackedSample(uint8_t* row, uint32_t k, int32_t bits, uint8_t value) {
  const uint32_t bit = k * static_cast<uint32_t>(bits);
  const int32_t shift = 8 - bits - static_cast<int32_t>(bit % 8);
  const auto mask = static_cast<uint8_t>(((1 << bits) - 1) << shift);
  row[bit / 8] = static_cast<uint8_t>((row[bit / 8] & ~mask) | ((value << shift) & mask));
}

// ------------------------------------------------------------ row conversion

// Whether a gamma table leaves every value as it is (no gAMA chunk read).
bool IsIdentity(const std::array<uint8_t, 256>& gamma) {
  for (size_t i = 0; i < 256; ++i)
    if (gamma[i] != i) return false;
  return true;
}

// Stores `count` pixels of a decoded row at columns x0, x0 + dx, ... of
// picture row y (Gamma is the owner's GammaLut). The colour type and depth
// are chosen once per row, each layout in a loop of its own.
void StoreRow(TChunkIHDR& h, const std::array<uint8_t, 256>& gamma, uint32_t y, const uint8_t* src, uint32_t x0,
              uint32_t dx, uint32_t count) {
  uint8_t* dib = h.ScanLine(y);
  uint8_t* alpha = h.HasAlpha() ? h.AlphaScanLine(y) : nullptr;
  uint8_t* extra = h.HasExtra() ? h.ExtraScanLine(y) : nullptr;
  const uint8_t depth = h.BitDepth;
  const uint8_t* g = gamma.data();
  switch (h.ColorType) {
    case COLOR_GRAYSCALE:
    case COLOR_PALETTE:
      if (depth == 16) {
        for (uint32_t k = 0, c = x0; k < count; ++k, c += dx) {
          dib[c] = src[2 * k];
          extra[c] = src[2 * k + 1];
        }
      } else if (depth == 8) {
        if (dx == 1) {
          std::memcpy(dib + x0, src, count);
        } else {
          for (uint32_t k = 0, c = x0; k < count; ++k, c += dx) dib[c] = src[k];
        }
      } else if (depth == 2) {
        // Grey samples widen to the same level at 4 bits; indices keep their value.
        const bool grey = h.ColorType == COLOR_GRAYSCALE;
        for (uint32_t k = 0, c = x0; k < count; ++k, c += dx) {
          const uint8_t v = PackedSample(src, k, 2);
          PutPackedSample(dib, c, 4, grey ? static_cast<uint8_t>(5 * v) : v);
        }
      } else {
        for (uint32_t k = 0, c = x0; k < count; ++k, c += dx) PutPackedSample(dib, c, depth, PackedSample(src, k, depth));
      }
      break;
    case COLOR_RGB:
      if (depth == 8 && dx == 1 && IsIdentity(gamma)) {
        // No gamma: the bytes only change places, in a loop the compiler can widen.
        uint8_t* d = dib + 3 * x0;
        for (uint32_t k = 0; k < count; ++k) {
          d[3 * k] = src[3 * k + 2];
          d[3 * k + 1] = src[3 * k + 1];
          d[3 * k + 2] = src[3 * k];
        }
      } else if (depth == 8) {
        for (uint32_t k = 0, c = x0; k < count; ++k, c += dx) {
          dib[3 * c] = g[src[3 * k + 2]];
          dib[3 * c + 1] = g[src[3 * k + 1]];
          dib[3 * c + 2] = g[src[3 * k]];
        }
      } else {
        for (uint32_t k = 0, c = x0; k < count; ++k, c += dx) {
          const uint8_t* p = src + 6 * k;
          dib[3 * c] = g[p[4]];
          dib[3 * c + 1] = g[p[2]];
          dib[3 * c + 2] = g[p[0]];
          extra[3 * c] = g[p[5]];
          extra[3 * c + 1] = g[p[3]];
          extra[3 * c + 2] = g[p[1]];
        }
      }
      break;
    case COLOR_GRAYSCALEALPHA:
      if (depth == 8) {
        for (uint32_t k = 0, c = x0; k < count; ++k, c += dx) {
          dib[c] = src[2 * k];
          alpha[c] = src[2 * k + 1];
        }
      } else {
        for (uint32_t k = 0, c = x0; k < count; ++k, c += dx) {
          dib[c] = src[4 * k];
          alpha[c] = src[4 * k + 2];
          extra[c] = src[4 * k + 1];
        }
      }
      break;
    case COLOR_RGBALPHA:
      if (depth == 8) {
        for (uint32_t k = 0, c = x0; k < count; ++k, c += dx) {
          const uint8_t* p = src + 4 * k;
          dib[3 * c] = g[p[2]];
          dib[3 * c + 1] = g[p[1]];
          dib[3 * c + 2] = g[p[0]];
          alpha[c] = p[3];
        }
      } else {
        for (uint32_t k = 0, c = x0; k < count; ++k, c += dx) {
          const uint8_t* p = src + 8 * k;
          dib[3 * c] = g[p[4]];
          dib[3 * c + 1] = g[p[2]];
          dib[3 * c + 2] = g[p[0]];
          alpha[c] = p[6];
          extra[3 * c] = g[p[5]];
          extra[3 * c + 1] = g[p[3]];
          extra[3 * c + 2] = g[p[1]];
        }
      }
      break;
    default: break;
  }
}

// The colour key of a grey (one value) or RGB picture (three), compared with
// the raw samples at the image's own depth.
struct TColourKey {
  bool Active = false;
  std::array<uint32_t, 3> Value{};
};

TColourKey ColourKeyOf(const TPNGObject& owner, const TChunkIHDR& h) {
  TColourKey key;
  const auto* trns = owner.Chunks().ItemFromClass<TChunktRNS>();
  if (!trns || (h.ColorType != COLOR_GRAYSCALE && h.ColorType != COLOR_RGB)) return key;
  // The alpha table holds the chunk's bytes over 255s, so a short chunk reads no further than its data.
  const auto& bytes = trns->PaletteAlpha();
  key.Active = true;
  for (size_t i = 0; i < 3; ++i) key.Value[i] = (uint32_t{bytes[2 * i]} << 8) | bytes[2 * i + 1];
  return key;
}

// Marks the pixels of a decoded row that match the key as see-through in the
// key plane, at the same columns StoreRow puts them.
void MarkKeyRow(TChunkIHDR& h, const TColourKey& key, uint32_t y, const uint8_t* src, uint32_t x0, uint32_t dx,
                uint32_t count) {
  uint8_t* alpha = h.AlphaScanLine(y);
  const uint8_t depth = h.BitDepth;
  if (h.ColorType == COLOR_GRAYSCALE) {
    const uint32_t k0 = key.Value[0];
    for (uint32_t k = 0, c = x0; k < count; ++k, c += dx) {
      uint32_t v = 0;
      if (depth == 16) v = (uint32_t{src[2 * k]} << 8) | src[2 * k + 1];
      else if (depth == 8) v = src[k];
      else v = PackedSample(src, k, depth);
      if (v == k0) alpha[c] = 0;
    }
  } else if (depth == 8) {
    for (uint32_t k = 0, c = x0; k < count; ++k, c += dx) {
      const uint8_t* p = src + 3 * k;
      if (p[0] == key.Value[0] && p[1] == key.Value[1] && p[2] == key.Value[2]) alpha[c] = 0;
    }
  } else {
    for (uint32_t k = 0, c = x0; k < count; ++k, c += dx) {
      const uint8_t* p = src + 6 * k;
      if (((uint32_t{p[0]} << 8) | p[1]) == key.Value[0] && ((uint32_t{p[2]} << 8) | p[3]) == key.Value[1] &&
          ((uint32_t{p[4]} << 8) | p[5]) == key.Value[2])
        alpha[c] = 0;
    }
  }
}

// Gathers `count` pixels of picture row y at columns x0, x0 + dx, ... into the
// stored sample layout (Inverse is the owner's InverseGammaLut). A depth of 2
// goes out at 4 bits, as the picture holds it. The low bytes of 16-bit samples
// are the ones read with the picture, so a 16-bit file is written back whole.
void GatherRow(const TChunkIHDR& h, const std::array<uint8_t, 256>& inverse, uint32_t y, uint8_t* dst, uint32_t x0,
               uint32_t dx, uint32_t count) {
  const uint8_t* dib = h.ScanLine(y);
  const uint8_t* alpha = h.HasAlpha() ? h.AlphaScanLine(y) : nullptr;
  const uint8_t* extra = h.HasExtra() ? h.ExtraScanLine(y) : nullptr;
  const uint8_t depth = h.BitDepth;
  const uint8_t* inv = inverse.data();
  switch (h.ColorType) {
    case COLOR_GRAYSCALE:
    case COLOR_PALETTE:
      if (depth == 16) {
        for (uint32_t k = 0, c = x0; k < count; ++k, c += dx) {
          dst[2 * k] = dib[c];
          dst[2 * k + 1] = extra[c];
        }
      } else if (depth == 8) {
        if (dx == 1) {
          std::memcpy(dst, dib + x0, count);
        } else {
          for (uint32_t k = 0, c = x0; k < count; ++k, c += dx) dst[k] = dib[c];
        }
      } else {
        const int32_t bits = depth == 2 ? 4 : depth;
        for (uint32_t k = 0, c = x0; k < count; ++k, c += dx) PutPackedSample(dst, k, bits, PackedSample(dib, c, bits));
      }
      break;
    case COLOR_RGB:
      if (depth == 8) {
        for (uint32_t k = 0, c = x0; k < count; ++k, c += dx) {
          dst[3 * k] = inv[dib[3 * c + 2]];
          dst[3 * k + 1] = inv[dib[3 * c + 1]];
          dst[3 * k + 2] = inv[dib[3 * c]];
        }
      } else {
        for (uint32_t k = 0, c = x0; k < count; ++k, c += dx) {
          uint8_t* p = dst + 6 * k;
          p[0] = inv[dib[3 * c + 2]];
          p[1] = inv[extra[3 * c + 2]];
          p[2] = inv[dib[3 * c + 1]];
          p[3] = inv[extra[3 * c + 1]];
          p[4] = inv[dib[3 * c]];
          p[5] = inv[extra[3 * c]];
        }
      }
      break;
    case COLOR_GRAYSCALEALPHA:
      if (depth == 8) {
        for (uint32_t k = 0, c = x0; k < count; ++k, c += dx) {
          dst[2 * k] = dib[c];
          dst[2 * k + 1] = alpha[c];
        }
      } else {
        for (uint32_t k = 0, c = x0; k < count; ++k, c += dx) {
          dst[4 * k] = dib[c];
          dst[4 * k + 1] = extra[c];
          dst[4 * k + 2] = alpha[c];
          dst[4 * k + 3] = 0;
        }
      }
      break;
    case COLOR_RGBALPHA:
      if (depth == 8) {
        for (uint32_t k = 0, c = x0; k < count; ++k, c += dx) {
          uint8_t* p = dst + 4 * k;
          p[0] = inv[dib[3 * c + 2]];
          p[1] = inv[dib[3 * c + 1]];
          p[2] = inv[dib[3 * c]];
          p[3] = alpha[c];
        }
      } else {
        for (uint32_t k = 0, c = x0; k < count; ++k, c += dx) {
          uint8_t* p = dst + 8 * k;
          p[0] = inv[dib[3 * c + 2]];
          p[1] = inv[extra[3 * c + 2]];
          p[2] = inv[dib[3 * c + 1]];
          p[3] = inv[extra[3 * c + 1]];
          p[4] = inv[dib[3 * c]];
          p[5] = inv[extra[3 * c]];
          p[6] = alpha[c];
          p[7] = 0;
        }
      }
      break;
    default: break;
  }
}

// ------------------------------------------------------------------- encoder

// What zlib takes for a stream of window bits 15 and memory level 8, its state
// included: zlib's memory that could not be had (Z_MEM_ERROR) is the memory refusal
// of the picture, not "invalid compressed data" or the library's own words.
constexpr uint64_t kInflateBytes = 48 << 10;
constexpr uint64_t kDeflateBytes = 272 << 10;

// Deflates pieces of image data and cuts the output into IDAT chunks of
// exactly `maxBytes` data bytes, the last one shorter.
class TIdatWriter {
 public:
  TIdatWriter(TBinaryStream& stream, const TChunkIHDR& h, int32_t level, int32_t maxBytes)
      : stream_(stream), area_(static_cast<size_t>(maxBytes)) {
    if (deflateInit2(&z_, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
      TPNGObject::RaiseOutOfMemory(h.Width, h.Height, kDeflateBytes);
    z_.next_out = area_.data();
    z_.avail_out = static_cast<uInt>(area_.size());
  }
  ~TIdatWriter() { deflateEnd(&z_); }
  TIdatWriter(const TIdatWriter&) = delete;
  TIdatWriter& operator=(const TIdatWriter&) = delete;

  void Put(const uint8_t* data, size_t size) {
    z_.next_in = const_cast<Bytef*>(data);
    z_.avail_in = static_cast<uInt>(size);
    while (z_.avail_in > 0) {
      if (deflate(&z_, Z_NO_FLUSH) == Z_STREAM_ERROR) TPNGObject::RaiseError<EPNGOutMemory>(EPNGOutMemoryText);
      if (z_.avail_out == 0) FlushArea();
    }
  }

  void Finish() {
    for (;;) {
      const int ret = deflate(&z_, Z_FINISH);
      if (ret == Z_STREAM_ERROR) TPNGObject::RaiseError<EPNGOutMemory>(EPNGOutMemoryText);
      if (ret == Z_STREAM_END) break;
      if (z_.avail_out == 0) FlushArea();
    }
    // The last chunk carries what is left; an empty one only when no chunk came before.
    if (z_.avail_out != area_.size() || chunks_ == 0) FlushArea();
  }

 private:
  void FlushArea() {
    const auto used = static_cast<uint32_t>(area_.size() - z_.avail_out);
    WritePngChunk(stream_, MakeChunkName("IDAT"), area_.data(), used);
    ++chunks_;
    z_.next_out = area_.data();
    z_.avail_out = static_cast<uInt>(area_.size());
  }

  TBinaryStream& stream_;
  std::vector<uint8_t> area_;
  z_stream z_{};
  int32_t chunks_ = 0;
};

// Filters and deflates the rows of one picture (or one Adam7 pass).
class TRowEncoder {
 public:
  TRowEncoder(TIdatWriter& writer, uint8_t filterSet, int32_t distance, size_t maxRowBytes)
      : writer_(writer), filterSet_(filterSet), distance_(distance), cur_(maxRowBytes), prev_(maxRowBytes) {
    for (auto& buffer : out_) buffer.resize(maxRowBytes);
  }

  // Starts a pass of rows of rowBytes bytes (the previous row is zeroed).
  void StartPass(size_t rowBytes) {
    rowBytes_ = rowBytes;
    std::fill(prev_.begin(), prev_.end(), 0);
    std::fill(cur_.begin(), cur_.end(), 0);
  }
  uint8_t* Row() { return cur_.data(); }

  void EncodeRow() {
    std::array<std::span<uint8_t>, 4> out;
    for (size_t i = 0; i < 4; ++i) out[i] = std::span<uint8_t>(out_[i].data(), rowBytes_);
    const uint8_t type = ChoosePngFilter(filterSet_, std::span<const uint8_t>(cur_.data(), rowBytes_),
                                         std::span<uint8_t>(prev_.data(), rowBytes_), out, distance_);
    writer_.Put(&type, 1);
    writer_.Put(type == FILTER_NONE ? cur_.data() : out_[type - 1].data(), rowBytes_);
  }

 private:
  TIdatWriter& writer_;
  uint8_t filterSet_;
  int32_t distance_;
  std::vector<uint8_t> cur_;
  std::vector<uint8_t> prev_;
  std::array<std::vector<uint8_t>, 4> out_;
  size_t rowBytes_ = 0;
};

// The held RGB picture went through the gamma table, which can join raw values:
// written back through its inverse, a keyed pixel may no longer match the key and
// an opaque one may come to match it. The key plane tells which pixels were keyed,
// so a gathered row is mended: keyed pixels take the key's samples, and an opaque
// pixel that meets the key takes another sample of the same shown level.
void KeepKeyRow(const TChunkIHDR& h, const TColourKey& key, const std::array<uint8_t, 256>& gamma, uint32_t y,
                uint8_t* dst, uint32_t x0, uint32_t dx, uint32_t count) {
  const uint8_t* alpha = h.AlphaScanLine(y);
  const bool wide = h.BitDepth == 16;
  const uint32_t limit = wide ? 0xFFFF : 0xFF;
  if (key.Value[0] > limit || key.Value[1] > limit || key.Value[2] > limit) return;  // matches no sample
  const size_t bytes = wide ? 2 : 1;
  auto sample = [&](const uint8_t* p, size_t i) -> uint32_t {
    return wide ? (uint32_t{p[2 * i]} << 8) | p[2 * i + 1] : p[i];
  };
  auto put = [&](uint8_t* p, size_t i, uint32_t v) {
    if (wide) {
      p[2 * i] = static_cast<uint8_t>(v >> 8);
      p[2 * i + 1] = static_cast<uint8_t>(v);
    } else {
      p[i] = static_cast<uint8_t>(v);
    }
  };
  for (uint32_t k = 0, c = x0; k < count; ++k, c += dx) {
    uint8_t* p = dst + 3 * bytes * k;
    if (alpha[c] == 0) {
      for (size_t i = 0; i < 3; ++i) put(p, i, key.Value[i]);
      continue;
    }
    if (sample(p, 0) != key.Value[0] || sample(p, 1) != key.Value[1] || sample(p, 2) != key.Value[2]) continue;
    // A 16-bit picture is shown by its high bytes, so a low byte can differ unseen;
    // an 8-bit one needs a sample the gamma table shows at the key's level.
    for (size_t i = 0; i < 3; ++i) {
      const uint32_t v = key.Value[i];
      if (wide) {
        put(p, i, v ^ 1);
        break;
      }
      int other = -1;
      for (int candidate = 0; candidate < 256 && other < 0; ++candidate)
        if (static_cast<uint32_t>(candidate) != v && gamma[candidate] == gamma[v]) other = candidate;
      if (other >= 0) {
        put(p, i, static_cast<uint32_t>(other));
        break;
      }
    }
  }
}

}  // namespace

void TChunkIDAT::SaveToStream(TBinaryStream& stream) const {
  const TPNGObject& owner = Owner();
  const TChunkIHDR& h = owner.GetHeader();
  const uint8_t depth = h.BitDepth == 2 ? 4 : h.BitDepth;
  const size_t rowBytes = PngBytesPerRow(h.ColorType, depth, h.Width);
  TIdatWriter writer(stream, h, owner.DeflateLevel(), owner.MaxIdatBytes());
  TRowEncoder encoder(writer, owner.FilterSet(), PngFilterDistance(h.ColorType, depth), rowBytes);
  const TColourKey key = ColourKeyOf(owner, h);
  const bool keepKey = key.Active && h.ColorType == COLOR_RGB && h.HasAlpha();
  if (owner.InterlaceMethod() == 0) {
    encoder.StartPass(rowBytes);
    for (uint32_t y = 0; y < h.Height; ++y) {
      GatherRow(h, owner.InverseGammaLut, y, encoder.Row(), 0, 1, h.Width);
      if (keepKey) KeepKeyRow(h, key, owner.GammaLut, y, encoder.Row(), 0, 1, h.Width);
      encoder.EncodeRow();
    }
  } else {
    for (const TAdam7Pass& pass : kAdam7Passes) {
      const uint32_t passWidth = Adam7PassWidth(pass, h.Width);
      const size_t passBytes = PngBytesPerRow(h.ColorType, depth, passWidth);
      if (passBytes == 0) continue;
      encoder.StartPass(passBytes);
      for (uint32_t y = pass.RowStart; y < h.Height; y += pass.RowIncrement) {
        std::fill(encoder.Row(), encoder.Row() + passBytes, 0);
        GatherRow(h, owner.InverseGammaLut, y, encoder.Row(), pass.ColumnStart, pass.ColumnIncrement, passWidth);
        if (keepKey)
          KeepKeyRow(h, key, owner.GammaLut, y, encoder.Row(), pass.ColumnStart, pass.ColumnIncrement, passWidth);
        encoder.EncodeRow();
      }
    }
  }
  writer.Finish();
}

// ------------------------------------------------------------------- decoder

namespace {

// Inflates the image data of consecutive IDAT chunks, checking each chunk's
// length against the stream and its CRC. Raises EPngUnexpectedEnd,
// EPngInvalidCRC, EPNGMissingMultipleIDAT (another chunk, or the end of the
// compressed data, before the picture is complete) and EPNGZLIBError.
class TIdatReader {
 public:
  TIdatReader(TBinaryStream& stream, const TChunkIHDR& h, const TChunkName& name, uint32_t size)
      : stream_(stream), width_(h.Width), height_(h.Height), left_(size), in_(65535) {
    if (static_cast<uint64_t>(size) + 4 > static_cast<uint64_t>(stream.Remaining()))
      TPNGObject::RaiseError<EPngUnexpectedEnd>(EPNGUnexpectedEndText);
    crc_ = UpdateCRC(0xFFFFFFFFu, name.data(), 4);
    if (inflateInit2(&z_, 15) != Z_OK) TPNGObject::RaiseOutOfMemory(width_, height_, kInflateBytes);
  }
  ~TIdatReader() { inflateEnd(&z_); }
  TIdatReader(const TIdatReader&) = delete;
  TIdatReader& operator=(const TIdatReader&) = delete;

  // Fills count bytes of inflated data.
  void Read(uint8_t* out, size_t count) {
    z_.next_out = out;
    z_.avail_out = static_cast<uInt>(count);
    while (z_.avail_out > 0) {
      if (ended_) TPNGObject::RaiseError<EPNGMissingMultipleIDAT>(EPNGMissingMultipleIDATText);
      if (z_.avail_in == 0) {
        if (left_ == 0) {
          NextChunk();
          continue;
        }
        const uint32_t n = std::min<uint32_t>(left_, static_cast<uint32_t>(in_.size()));
        if (!stream_.Read(in_.data(), static_cast<int32_t>(n)))
          TPNGObject::RaiseError<EPngUnexpectedEnd>(EPNGUnexpectedEndText);
        crc_ = UpdateCRC(crc_, in_.data(), n);
        left_ -= n;
        z_.next_in = in_.data();
        z_.avail_in = n;
      }
      const int ret = inflate(&z_, Z_NO_FLUSH);
      if (ret == Z_STREAM_END) {
        ended_ = true;
      } else if (ret == Z_MEM_ERROR) {
        TPNGObject::RaiseOutOfMemory(width_, height_, kInflateBytes);
      } else if (ret == Z_NEED_DICT || (ret < 0 && ret != Z_BUF_ERROR)) {
        TPNGObject::RaiseError<EPNGZLIBError>(ZLibErrorMessage(ret));
      }
    }
  }

  // Reads the rest of the current chunk and its CRC; true when it matches.
  bool Finish() {
    while (left_ > 0) {
      const uint32_t n = std::min<uint32_t>(left_, static_cast<uint32_t>(in_.size()));
      if (!stream_.Read(in_.data(), static_cast<int32_t>(n)))
        TPNGObject::RaiseError<EPngUnexpectedEnd>(EPNGUnexpectedEndText);
      crc_ = UpdateCRC(crc_, in_.data(), n);
      left_ -= n;
    }
    return ReadCrcMatches();
  }

 private:
  bool ReadCrcMatches() {
    uint8_t stored[4];
    if (!stream_.Read(stored, 4)) TPNGObject::RaiseError<EPngUnexpectedEnd>(EPNGUnexpectedEndText);
    return ~crc_ == ReadBigEndian32(stored);
  }

  void NextChunk() {
    if (!ReadCrcMatches()) TPNGObject::RaiseError<EPngInvalidCRC>(EPngInvalidCrcText);
    uint8_t head[8];
    if (!stream_.Read(head, 8)) TPNGObject::RaiseError<EPngUnexpectedEnd>(EPNGUnexpectedEndText);
    if (std::memcmp(head + 4, "IDAT", 4) != 0)
      TPNGObject::RaiseError<EPNGMissingMultipleIDAT>(EPNGMissingMultipleIDATText);
    const uint32_t size = ReadBigEndian32(head);
    if (static_cast<uint64_t>(size) + 4 > static_cast<uint64_t>(stream_.Remaining()))
      TPNGObject::RaiseError<EPngUnexpectedEnd>(EPNGUnexpectedEndText);
    crc_ = UpdateCRC(0xFFFFFFFFu, head + 4, 4);
    left_ = size;
  }

  TBinaryStream& stream_;
  uint32_t width_;  // the picture's, for a refusal
  uint32_t height_;
  uint32_t left_;
  uint32_t crc_ = 0;
  std::vector<uint8_t> in_;
  z_stream z_{};
  bool ended_ = false;
};

// Reads one filtered row of rowBytes (+ its filter byte) into cur and undoes
// the filter against prev; an unknown filter type is broken image data.
void ReadRow(TIdatReader& reader, std::vector<uint8_t>& cur, const std::vector<uint8_t>& prev, size_t rowBytes,
             int32_t distance) {
  reader.Read(cur.data(), rowBytes + 1);
  if (!UnfilterPngRow(cur[0], std::span<uint8_t>(cur.data() + 1, rowBytes),
                      std::span<const uint8_t>(prev.data() + 1, rowBytes), distance))
    TPNGObject::RaiseError<EPNGZLIBError>(ZLibErrorMessage(Z_DATA_ERROR));
}

}  // namespace

bool TChunkIDAT::LoadFromStream(TBinaryStream& stream, const TChunkName& name, uint32_t size) {
  TPNGObject& owner = Owner();
  TChunkIHDR& h = owner.GetHeader();
  name_ = name;
  data_.clear();
  // A gAMA chunk read since the header may have changed the grey levels.
  if (h.Paletted() && (h.ColorType == COLOR_GRAYSCALE || h.ColorType == COLOR_GRAYSCALEALPHA))
    h.BuildGreyPalette(h.DibBits());

  const TColourKey key = ColourKeyOf(owner, h);
  if (key.Active) h.StartKeyPlane();

  const size_t rowBytes = PngBytesPerRow(h.ColorType, h.BitDepth, h.Width);
  const int32_t distance = PngFilterDistance(h.ColorType, h.BitDepth);
  TIdatReader reader(stream, h, name, size);
  std::vector<uint8_t> cur(rowBytes + 1);
  std::vector<uint8_t> prev(rowBytes + 1);
  if (h.InterlaceMethod == 0) {
    for (uint32_t y = 0; y < h.Height; ++y) {
      ReadRow(reader, cur, prev, rowBytes, distance);
      StoreRow(h, owner.GammaLut, y, cur.data() + 1, 0, 1, h.Width);
      if (key.Active) MarkKeyRow(h, key, y, cur.data() + 1, 0, 1, h.Width);
      std::swap(cur, prev);
    }
  } else {
    for (const TAdam7Pass& pass : kAdam7Passes) {
      const uint32_t passWidth = Adam7PassWidth(pass, h.Width);
      const size_t passBytes = PngBytesPerRow(h.ColorType, h.BitDepth, passWidth);
      if (passBytes == 0) continue;
      std::fill(prev.begin(), prev.end(), 0);
      for (uint32_t y = pass.RowStart; y < h.Height; y += pass.RowIncrement) {
        ReadRow(reader, cur, prev, passBytes, distance);
        StoreRow(h, owner.GammaLut, y, cur.data() + 1, pass.ColumnStart, pass.ColumnIncrement, passWidth);
        if (key.Active) MarkKeyRow(h, key, y, cur.data() + 1, pass.ColumnStart, pass.ColumnIncrement, passWidth);
        std::swap(cur, prev);
      }
    }
  }
  return reader.Finish();
}

}  // namespace qira

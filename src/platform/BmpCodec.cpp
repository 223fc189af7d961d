#include "platform/BmpCodec.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <limits>
#include <new>
#include <string>

#include "platform/BinaryStream.h"
#include "platform/Picture.h"

namespace qira {

namespace {

// ------------------------------------------------------------- constants

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
// The most the headers, colour masks and colour table can take: the largest
// information header, four masks and 256 entries.
constexpr size_t kMaxHeadBytes = kFileHeaderSize + 124 + 16 + 256 * 4;

constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_BITFIELDS = 3;
constexpr uint32_t BI_ALPHABITFIELDS = 6;

[[noreturn]] void Fail(const std::string& reason) { throw EInvalidGraphic(kInvalidBitmapText, reason); }

uint16_t U16(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
uint32_t U32(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
int32_t I32(std::span<const uint8_t> b, size_t at) { return static_cast<int32_t>(U32(b, at)); }

bool IsKnownInfoHeaderSize(uint32_t size) {
  return size == kCoreHeaderSize || size == kInfoHeaderSize || size == 52 || size == 56 ||
         size == 108 || size == 124;
}

// Bytes of one stored row: width * bits rounded up to whole 32-bit words.
uint64_t RowStride(uint64_t width, uint32_t bitsPerPixel) { return (width * bitsPerPixel + 31) / 32 * 4; }

// ------------------------------------------------------------ bit fields

// One colour channel described by a mask of contiguous bits.
struct TChannel {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;

  // The channel's value scaled to 0..255; `fallback` when the mask is empty.
  uint8_t Extract(uint32_t pixel, uint8_t fallback) const {
    if (bits == 0) return fallback;
    const uint32_t v = (pixel & mask) >> shift;
    if (bits >= 8) return static_cast<uint8_t>(v >> (bits - 8));
    const uint32_t max = (1u << bits) - 1;
    return static_cast<uint8_t>((v * 255 + max / 2) / max);
  }
};

TChannel MakeChannel(uint32_t mask, uint32_t bitsPerPixel, const char* name) {
  TChannel c;
  if (mask == 0) return c;
  if (bitsPerPixel < 32 && (mask >> bitsPerPixel) != 0) {
    Fail(std::string(name) + " mask has bits outside the pixel");
  }
  c.mask = mask;
  c.shift = std::countr_zero(mask);
  const uint32_t shifted = mask >> c.shift;
  if ((shifted & (shifted + 1)) != 0) Fail(std::string(name) + " mask is not contiguous");
  c.bits = std::popcount(shifted);
  return c;
}

// ------------------------------------------------------------- headers

// What the headers say, after every check.
struct THeader {
  int64_t width = 0;
  int64_t height = 0;  // absolute
  bool topDown = false;
  uint32_t bitsPerPixel = 0;
  uint32_t compression = BI_RGB;
  bool core = false;
  uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha (bit-field pictures)
  size_t paletteOffset = 0;
  uint32_t paletteEntries = 0;  // entries present in the file
  size_t pixelOffset = 0;
  uint64_t stride = 0;
};

QImage::Format DecodedFormat(const THeader& h) {
  if (h.bitsPerPixel <= 8) return QImage::Format_Indexed8;
  if (h.bitsPerPixel == 32 || h.masks[3] != 0) return QImage::Format_ARGB32;
  return QImage::Format_RGB32;
}

// The headers from `b`, the first bytes of a file image of `extent` bytes (all of
// them, or kMaxHeadBytes when it is longer).
THeader ReadHeaders(std::span<const uint8_t> b, uint64_t extent) {
  THeader h;
  if (b.size() < kFileHeaderSize + 4) Fail("file shorter than its headers");
  if (b[0] != 'B' || b[1] != 'M') Fail("no \"BM\" signature");
  const uint32_t offBits = U32(b, 10);
  const uint32_t infoSize = U32(b, 14);
  if (!IsKnownInfoHeaderSize(infoSize)) Fail("unknown information header size " + std::to_string(infoSize));
  if (kFileHeaderSize + infoSize > b.size()) Fail("information header cut short");

  uint32_t colorsUsed = 0;
  uint32_t planes = 0;
  if (infoSize == kCoreHeaderSize) {
    h.core = true;
    h.width = U16(b, 18);
    h.height = U16(b, 20);
    planes = U16(b, 22);
    h.bitsPerPixel = U16(b, 24);
  } else {
    const int32_t width = I32(b, 18);
    const int32_t height = I32(b, 22);
    if (width < 0) Fail("negative width");
    if (height == std::numeric_limits<int32_t>::min()) Fail("height out of range");
    h.width = width;
    h.topDown = height < 0;
    h.height = h.topDown ? -static_cast<int64_t>(height) : height;
    planes = U16(b, 26);
    h.bitsPerPixel = U16(b, 28);
    h.compression = U32(b, 30);
    colorsUsed = U32(b, 46);
  }
  if (planes != 1) Fail("plane count " + std::to_string(planes) + " instead of 1");
  const uint32_t bpp = h.bitsPerPixel;
  const bool knownDepth = bpp == 1 || bpp == 4 || bpp == 8 || bpp == 24 || (!h.core && (bpp == 16 || bpp == 32));
  if (!knownDepth) Fail("unsupported bits per pixel " + std::to_string(bpp));

  size_t pos = kFileHeaderSize + infoSize;
  const bool bitFields = h.compression == BI_BITFIELDS || h.compression == BI_ALPHABITFIELDS;
  if (bitFields) {
    if (bpp != 16 && bpp != 32) Fail("bit fields with " + std::to_string(bpp) + " bits per pixel");
    if (infoSize == kInfoHeaderSize) {
      const size_t count = h.compression == BI_ALPHABITFIELDS ? 4 : 3;
      if (pos + 4 * count > b.size()) Fail("colour masks cut short");
      for (size_t i = 0; i < count; ++i) h.masks[i] = U32(b, pos + 4 * i);
      pos += 4 * count;
    } else {
      for (size_t i = 0; i < 3; ++i) h.masks[i] = U32(b, 54 + 4 * i);
      if (infoSize >= 56) h.masks[3] = U32(b, 66);
    }
  } else if (h.compression != BI_RGB) {
    Fail("compression " + std::to_string(h.compression) + " is not supported");
  } else if (bpp == 16) {
    h.masks[0] = 0x7C00;
    h.masks[1] = 0x03E0;
    h.masks[2] = 0x001F;
  }

  if (offBits > extent) Fail("pixel offset beyond the end of the file");
  if (offBits < pos) Fail("pixel offset inside the headers");

  // The colour table lies between the headers and the pixel rows. A table
  // that claims more entries than fit there is read as far as it goes (the
  // missing colours are black); a count above what the depth can index is a
  // broken header.
  const uint32_t entrySize = h.core ? 3 : 4;
  uint64_t entries = 0;
  if (bpp <= 8) {
    const uint32_t maxEntries = 1u << bpp;
    if (colorsUsed > maxEntries) Fail("colour count " + std::to_string(colorsUsed) + " above " + std::to_string(maxEntries));
    entries = colorsUsed != 0 ? colorsUsed : maxEntries;
  } else if (colorsUsed > 256) {
    Fail("colour count " + std::to_string(colorsUsed) + " above 256");
  }
  const uint64_t room = (offBits - pos) / entrySize;
  h.paletteOffset = pos;
  h.paletteEntries = static_cast<uint32_t>(entries < room ? entries : room);
  h.pixelOffset = offBits;

  h.stride = RowStride(static_cast<uint64_t>(h.width), bpp);
  if (h.width != 0 && h.height != 0) {
    if (h.width * h.height > kMaxBmpPixels) RaisePictureAboveReadLimit(kBitmapFormatName, h.width, h.height);
    if (h.stride * static_cast<uint64_t>(h.height) > extent - offBits) Fail("pixel data cut short");
  }
  return h;
}

// ---------------------------------------------------------------- pixels

// One BMP file image's bytes: `n` bytes at `offset` from its start, valid until
// the next call; null when they are not there.
using TBmpBytes = std::function<const uint8_t*(uint64_t offset, size_t n)>;

QList<QRgb> ColorTable(std::span<const uint8_t> head, const THeader& h) {
  QList<QRgb> table(static_cast<qsizetype>(1) << h.bitsPerPixel, qRgb(0, 0, 0));
  const uint32_t entrySize = h.core ? 3 : 4;
  for (uint32_t i = 0; i < h.paletteEntries; ++i) {
    const size_t at = h.paletteOffset + size_t{i} * entrySize;
    table[i] = qRgb(head[at + 2], head[at + 1], head[at]);
  }
  return table;
}

void DecodePaletteRow(const uint8_t* src, const THeader& h, uint8_t* dst) {
  const int width = static_cast<int>(h.width);
  for (int x = 0; x < width; ++x) {
    switch (h.bitsPerPixel) {
      case 1: dst[x] = (src[x >> 3] >> (7 - (x & 7))) & 1; break;
      case 4: dst[x] = (x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4); break;
      default: dst[x] = src[x]; break;
    }
  }
}

// The four channels of a direct-colour picture.
struct TChannels {
  TChannel red, green, blue, alpha;
};

TChannels MakeChannels(const THeader& h) {
  const uint32_t bpp = h.bitsPerPixel;
  return {MakeChannel(h.masks[0], bpp, "red"), MakeChannel(h.masks[1], bpp, "green"),
          MakeChannel(h.masks[2], bpp, "blue"), MakeChannel(h.masks[3], bpp, "alpha")};
}

void DecodeDirectRow(const uint8_t* src, const THeader& h, const TChannels& c, QRgb* dst) {
  const uint32_t bpp = h.bitsPerPixel;
  const bool plain32 = bpp == 32 && h.compression == BI_RGB;
  const int width = static_cast<int>(h.width);
  for (int x = 0; x < width; ++x) {
    if (bpp == 24) {
      const uint8_t* p = src + 3 * x;
      dst[x] = qRgb(p[2], p[1], p[0]);
    } else if (plain32) {
      const uint8_t* p = src + 4 * x;
      dst[x] = qRgba(p[2], p[1], p[0], p[3]);
    } else {
      const uint32_t px = bpp == 16 ? (src[2 * x] | (src[2 * x + 1] << 8))
                                    : (src[4 * x] | (src[4 * x + 1] << 8) | (src[4 * x + 2] << 16) |
                                       (static_cast<uint32_t>(src[4 * x + 3]) << 24));
      dst[x] = qRgba(c.red.Extract(px, 0), c.green.Extract(px, 0), c.blue.Extract(px, 0), c.alpha.Extract(px, 255));
    }
  }
}

// Decodes the file image of `extent` bytes that `bytes` gives. The picture is
// counted with `rowBytes` more held beside it (a source that copies each row)
// before it is allocated, and only one row of the file is asked for at a time.
TBmpPicture Decode(uint64_t extent, const TBmpBytes& bytes, bool rowCopied) {
  const size_t headSize = static_cast<size_t>(std::min<uint64_t>(extent, kMaxHeadBytes));
  const uint8_t* headBytes = bytes(0, headSize);
  if (headBytes == nullptr) Fail("file shorter than its headers");
  // Kept apart: the source's next call may reuse what it gave.
  const std::vector<uint8_t> head(headBytes, headBytes + headSize);
  const THeader h = ReadHeaders(head, extent);
  TBmpPicture picture;
  picture.bitsPerPixel = static_cast<int32_t>(h.bitsPerPixel);
  if (h.width == 0 || h.height == 0) return picture;
  const TChannels channels = MakeChannels(h);
  const auto width = static_cast<int32_t>(h.width);
  const auto height = static_cast<int32_t>(h.height);
  const QImage::Format format = DecodedFormat(h);
  const uint64_t needed = ImageBytes(width, height, format) + (rowCopied ? h.stride : 0);
  QImage image =
      CountedPictureImage(kBitmapFormatName, width, height, needed, [&] { return QImage(width, height, format); });
  if (h.bitsPerPixel <= 8) image.setColorTable(ColorTable(head, h));
  try {
    for (int64_t row = 0; row < h.height; ++row) {
      const uint8_t* src = bytes(h.pixelOffset + static_cast<uint64_t>(row) * h.stride, h.stride);
      if (src == nullptr) Fail("pixel data cut short");
      uint8_t* dst = image.scanLine(static_cast<int>(h.topDown ? row : h.height - 1 - row));
      if (h.bitsPerPixel <= 8) {
        DecodePaletteRow(src, h, dst);
      } else {
        DecodeDirectRow(src, h, channels, reinterpret_cast<QRgb*>(dst));
      }
    }
  } catch (const std::bad_alloc&) {
    throw EGraphicTooLarge(PictureTooLargeNow(kBitmapFormatName, h.width, h.height, needed),
                           "no memory for a row of the file");
  }
  picture.image = std::move(image);
  return picture;
}

// ---------------------------------------------------------------- writing

void PutU16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The image in the form the writer walks: Indexed8 for palette depths, RGB32
// for 24 bits, ARGB32 (not premultiplied) for 32 bits.
// A conversion that cannot be had is refused (EGraphicTooLarge), never written
// as an empty picture.
QImage PrepareForWriting(const QImage& image, uint32_t bpp) {
  if (image.isNull()) return image;
  if (bpp == 24) return ConvertedPictureImage(kBitmapFormatName, image, QImage::Format_RGB32);
  if (bpp == 32) return ConvertedPictureImage(kBitmapFormatName, image, QImage::Format_ARGB32);
  if (image.format() == QImage::Format_Indexed8) {
    if (image.colorCount() > (1 << bpp)) {
      throw EInvalidGraphicOperation("A picture of " + std::to_string(image.colorCount()) +
                                     " colours cannot be written with " + std::to_string(bpp) + " bits per pixel");
    }
    return image;
  }
  if (bpp == 8) return ConvertedPictureImage(kBitmapFormatName, image, QImage::Format_Indexed8);
  throw EInvalidGraphicOperation("Only an indexed picture can be written with " + std::to_string(bpp) +
                                 " bits per pixel");
}

// One picture row as stored: palette indices packed high bits first, or the
// pixels' blue, green, red (and alpha at 32 bits). The padding bytes of `out`
// stay as they are (zero).
void PackBmpRow(const uint8_t* src, uint64_t width, uint32_t bpp, uint8_t indexMask, uint8_t* out) {
  switch (bpp) {
    case 8:
      for (uint64_t x = 0; x < width; ++x) out[x] = src[x] & indexMask;
      break;
    case 4:
      for (uint64_t x = 0; x + 1 < width; x += 2)
        out[x >> 1] = static_cast<uint8_t>(((src[x] & indexMask) << 4) | (src[x + 1] & indexMask));
      if (width & 1) out[width >> 1] = static_cast<uint8_t>((src[width - 1] & indexMask) << 4);
      break;
    case 1:
      for (uint64_t x = 0; x < width; x += 8) {
        uint8_t byte = 0;
        for (uint64_t k = 0; k < 8 && x + k < width; ++k)
          byte = static_cast<uint8_t>(byte | ((src[x + k] & indexMask) << (7 - k)));
        out[x >> 3] = byte;
      }
      break;
    case 24: {
      // Format_RGB32 pixels lie in memory as blue, green, red, 0xFF on a
      // little-endian machine; they are read as values to stay order-free.
      const auto* px = reinterpret_cast<const QRgb*>(src);
      for (uint64_t x = 0; x < width; ++x) {
        const QRgb p = px[x];
        out[3 * x] = static_cast<uint8_t>(p);
        out[3 * x + 1] = static_cast<uint8_t>(p >> 8);
        out[3 * x + 2] = static_cast<uint8_t>(p >> 16);
      }
      break;
    }
    default: {
      const auto* px = reinterpret_cast<const QRgb*>(src);
      for (uint64_t x = 0; x < width; ++x) {
        const QRgb p = px[x];
        out[4 * x] = static_cast<uint8_t>(p);
        out[4 * x + 1] = static_cast<uint8_t>(p >> 8);
        out[4 * x + 2] = static_cast<uint8_t>(p >> 16);
        out[4 * x + 3] = static_cast<uint8_t>(p >> 24);
      }
      break;
    }
  }
}

void WriteOrFail(TBinaryStream& stream, const void* bytes, size_t n) {
  if (!stream.Write(bytes, static_cast<int32_t>(n))) throw EGraphicFileError("Stream write error");
}

}  // namespace

// ------------------------------------------------------------------ reading

TBmpPicture DecodeBmp(std::span<const uint8_t> bytes) {
  return Decode(
      bytes.size(),
      [bytes](uint64_t offset, size_t n) -> const uint8_t* {
        return offset <= bytes.size() && n <= bytes.size() - offset ? bytes.data() + offset : nullptr;
      },
      false);
}

TBmpPicture ReadBmp(TBinaryStream& stream) {
  const int32_t start = stream.Position();
  uint8_t fileHeader[kFileHeaderSize];
  if (!stream.Read(fileHeader, sizeof fileHeader)) Fail("file shorter than its headers");
  stream.Seek(start);
  const uint32_t declared = U32(fileHeader, 2);
  const int32_t remaining = stream.Remaining();
  int32_t extent = remaining;
  if (declared != 0) {
    if (declared < kFileHeaderSize) Fail("file size field smaller than the file header");
    if (declared > static_cast<uint32_t>(remaining)) Fail("file cut short of its declared size");
    extent = static_cast<int32_t>(declared);
  }
  // Read a row at a time: the stream often holds the whole file already.
  std::vector<uint8_t> buffer;
  try {
    TBmpPicture picture = Decode(
        static_cast<uint64_t>(extent),
        [&](uint64_t offset, size_t n) -> const uint8_t* {
          if (offset > static_cast<uint64_t>(extent) || n > static_cast<uint64_t>(extent) - offset) return nullptr;
          buffer.resize(n);
          const bool read = stream.Seek(start + static_cast<int32_t>(offset)) &&
                            stream.Read(buffer.data(), static_cast<int32_t>(n));
          return read ? buffer.data() : nullptr;
        },
        true);
    stream.Seek(start + extent);
    return picture;
  } catch (...) {
    stream.Seek(start);
    throw;
  }
}

// ------------------------------------------------------------------ writing

uint64_t BmpFileSize(uint64_t width, uint64_t height, int32_t bitsPerPixel) {
  return kFileHeaderSize + kInfoHeaderSize + RowStride(width, static_cast<uint32_t>(bitsPerPixel)) * height;
}

void WriteBmp(TBinaryStream& stream, const QImage& source, int32_t bitsPerPixel) {
  if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel != 24 && bitsPerPixel != 32) {
    throw EInvalidGraphicOperation("A BMP file cannot hold " + std::to_string(bitsPerPixel) + " bits per pixel");
  }
  const auto bpp = static_cast<uint32_t>(bitsPerPixel);
  const QImage image = PrepareForWriting(source, bpp);
  const uint64_t width = image.isNull() ? 0 : static_cast<uint64_t>(image.width());
  const uint64_t height = image.isNull() ? 0 : static_cast<uint64_t>(image.height());
  const uint32_t paletteEntries = bpp <= 8 ? (1u << bpp) : 0;
  const uint64_t stride = RowStride(width, bpp);
  const uint64_t pixelOffset = kFileHeaderSize + kInfoHeaderSize + 4ull * paletteEntries;
  const uint64_t fileSize = pixelOffset + stride * height;
  if (fileSize > MaxBmpFileSize) {
    throw EInvalidGraphicOperation("Picture too large for a BMP file");
  }

  if (auto* memory = dynamic_cast<TMemoryStream*>(&stream))
    memory->Reserve(static_cast<size_t>(memory->Position()) + static_cast<size_t>(fileSize));

  uint8_t head[kFileHeaderSize + kInfoHeaderSize] = {};
  head[0] = 'B';
  head[1] = 'M';
  PutU32(head + 2, static_cast<uint32_t>(fileSize));
  PutU32(head + 10, static_cast<uint32_t>(pixelOffset));
  uint8_t* info = head + kFileHeaderSize;
  PutU32(info + 0, kInfoHeaderSize);
  PutU32(info + 4, static_cast<uint32_t>(width));
  PutU32(info + 8, static_cast<uint32_t>(height));
  PutU16(info + 12, 1);
  PutU16(info + 14, bpp);
  PutU32(info + 16, BI_RGB);
  PutU32(info + 20, static_cast<uint32_t>(stride * height));
  PutU32(info + 32, paletteEntries);
  WriteOrFail(stream, head, sizeof head);

  if (paletteEntries != 0) {
    std::vector<uint8_t> table(4 * size_t{paletteEntries}, 0);
    const QList<QRgb> colors = image.isNull() ? QList<QRgb>() : image.colorTable();
    for (qsizetype i = 0; i < colors.size() && i < qsizetype{paletteEntries}; ++i) {
      table[4 * i] = static_cast<uint8_t>(qBlue(colors[i]));
      table[4 * i + 1] = static_cast<uint8_t>(qGreen(colors[i]));
      table[4 * i + 2] = static_cast<uint8_t>(qRed(colors[i]));
    }
    WriteOrFail(stream, table.data(), table.size());
  }

  std::vector<uint8_t> row(stride, 0);
  const uint8_t indexMask = static_cast<uint8_t>(bpp <= 8 ? (1u << bpp) - 1 : 0xFF);
  for (uint64_t r = 0; r < height; ++r) {
    const int y = static_cast<int>(height - 1 - r);
    PackBmpRow(image.constScanLine(y), width, bpp, indexMask, row.data());
    WriteOrFail(stream, row.data(), row.size());
  }
}

std::vector<uint8_t> EncodeBmp(const QImage& image, int32_t bitsPerPixel) {
  TMemoryStream stream;
  WriteBmp(stream, image, bitsPerPixel);
  return stream.TakeData();
}

}  // namespace qira

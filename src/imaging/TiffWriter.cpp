#include "imaging/TiffWriter.h"

#include <QImage>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/BinaryStream.h"
#include "platform/Canvas.h"
#include "platform/GraphicErrors.h"
#include "platform/Picture.h"

// Sections: layout plan; pixel rows; file items; the image file directory;
// WriteTiffImage (the file top to bottom); public entry points.

namespace qira {

namespace {

// The name a picture the writer cannot convert for lack of memory is refused under.
constexpr const char* kTiffFormatName = "TIF pictures";

// Field types of IFD entries.
constexpr uint16_t kAscii = 2;
constexpr uint16_t kShort = 3;
constexpr uint16_t kLong = 4;
constexpr uint16_t kRational = 5;

constexpr uint32_t kHeaderSize = 8;
constexpr uint32_t kRationalSize = 8;
constexpr uint32_t kBitsPerSampleSize = 6;
// ASCII fields end in a NUL, which the field's count includes.
constexpr std::array<char, 11> kSoftware = {'D', 'o', 'l', 'v', 'u', ' ', 's', 'o', 'f', 't', '\0'};
constexpr uint32_t kResolutionNumerator = 877;
constexpr uint32_t kResolutionDenominator = 10;

// ------------------------------------------------------------- layout plan

enum class TLayout { Bilevel, Palette, Rgb };

struct TPlan {
  TLayout layout = TLayout::Rgb;
  const QImage* image = nullptr;  // Indexed8 for bilevel and palette, RGB32 otherwise
  uint16_t bitsPerSample = 8;     // 1, 4 or 8; 8 for each RGB sample
  uint16_t photometric = 2;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t rowBytes = 0;
  std::vector<uint16_t> colorMap;  // palette layout: all reds, all greens, all blues
};

// Whether every pixel index fits the depth (a colour table may be shorter than
// the depth allows; indices past it are black, as in the device-independent copy).
bool IndicesFit(const QImage& image, int maxIndex) {
  for (int y = 0; y < image.height(); ++y) {
    const uchar* row = image.constScanLine(y);
    for (int x = 0; x < image.width(); ++x) {
      if (row[x] > maxIndex) return false;
    }
  }
  return true;
}

QRgb TableColor(const QImage& image, int index) {
  return index < image.colorCount() ? image.color(index) : qRgb(0, 0, 0);
}

// The plan for a picture of `bits` per pixel, or nothing for a picture the
// writer cannot take. `converted` holds an image converted for the plan.
std::optional<TPlan> MakePlan(const QImage& image, int32_t bits, QImage& converted) {
  if (image.isNull() || image.width() <= 0 || image.height() <= 0) return std::nullopt;
  TPlan plan;
  plan.width = static_cast<uint32_t>(image.width());
  plan.height = static_cast<uint32_t>(image.height());
  switch (bits) {
    case 1:
    case 4:
    case 8: {
      if (image.format() == QImage::Format_Indexed8) {
        plan.image = &image;
      } else {
        converted = ConvertedPictureImage(kTiffFormatName, image, QImage::Format_Indexed8);
        plan.image = &converted;
      }
      if (!IndicesFit(*plan.image, (1 << bits) - 1)) return std::nullopt;
      plan.bitsPerSample = static_cast<uint16_t>(bits);
      if (bits == 1) {
        plan.layout = TLayout::Bilevel;
        plan.rowBytes = (plan.width + 7) / 8;
        // Bilevel pictures carry no colour table, so the table decides which bit
        // value the file calls black; a table whose index 0 is the lighter colour
        // (Qt's own monochrome table, for one) would otherwise come out inverted.
        const bool zeroIsLighter = qGray(TableColor(*plan.image, 0)) > qGray(TableColor(*plan.image, 1));
        plan.photometric = zeroIsLighter ? 0 : 1;
      } else {
        plan.layout = TLayout::Palette;
        plan.photometric = 3;
        // 4-bit rows keep every pixel: an odd width ends in half a byte.
        plan.rowBytes = bits == 4 ? (plan.width + 1) / 2 : plan.width;
        const int colors = 1 << bits;
        plan.colorMap.resize(3 * static_cast<size_t>(colors));
        for (int i = 0; i < colors; ++i) {
          const QRgb c = TableColor(*plan.image, i);
          plan.colorMap[i] = static_cast<uint16_t>(qRed(c) << 8);
          plan.colorMap[colors + i] = static_cast<uint16_t>(qGreen(c) << 8);
          plan.colorMap[2 * colors + i] = static_cast<uint16_t>(qBlue(c) << 8);
        }
      }
      return plan;
    }
    case 16:  // written as RGB: the palette layout holds at most 256 colours
    case 24:
    case 32:
      // Rows of red, green, blue bytes are the file's rows already.
      if (image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32 ||
          image.format() == QImage::Format_RGB888) {
        plan.image = &image;
      } else {
        converted = ConvertedPictureImage(kTiffFormatName, image, QImage::Format_RGB32);
        plan.image = &converted;
      }
      plan.layout = TLayout::Rgb;
      plan.photometric = 2;
      plan.bitsPerSample = 8;
      plan.rowBytes = plan.width * 3;
      return plan;
    default:
      return std::nullopt;
  }
}

// -------------------------------------------------------------- pixel rows

// Row y of the picture (top row 0) as the file stores it.
void PackRow(const TPlan& plan, uint32_t y, std::span<uint8_t> out) {
  if (plan.layout != TLayout::Rgb) std::fill(out.begin(), out.end(), uint8_t{0});
  const uchar* src = plan.image->constScanLine(static_cast<int>(y));
  switch (plan.layout) {
    case TLayout::Bilevel:
      for (uint32_t x = 0; x < plan.width; ++x) {
        if (src[x] & 1) out[x / 8] |= static_cast<uint8_t>(0x80u >> (x % 8));
      }
      break;
    case TLayout::Palette:
      if (plan.bitsPerSample == 8) {
        std::copy(src, src + plan.width, out.data());
      } else {
        for (uint32_t x = 0; x < plan.width; ++x) {
          out[x / 2] |= static_cast<uint8_t>((src[x] & 0x0F) << (x % 2 == 0 ? 4 : 0));
        }
      }
      break;
    case TLayout::Rgb: {
      if (plan.image->format() == QImage::Format_RGB888) {
        std::memcpy(out.data(), src, out.size());
        break;
      }
      const auto* pixels = reinterpret_cast<const QRgb*>(src);
      uint8_t* dst = out.data();
      const uint32_t width = plan.width;
      for (uint32_t x = 0; x < width; ++x) {
        const QRgb p = pixels[x];
        dst[3 * x] = static_cast<uint8_t>(p >> 16);
        dst[3 * x + 1] = static_cast<uint8_t>(p >> 8);
        dst[3 * x + 2] = static_cast<uint8_t>(p);
      }
      break;
    }
  }
}

// -------------------------------------------------------------- file items

// Writes at the stream's position; every offset is counted from `base`.
class TTiffOut {
 public:
  explicit TTiffOut(TBinaryStream& stream) : stream_(stream), base_(stream.Position()) {}

  uint32_t Offset() const { return static_cast<uint32_t>(stream_.Position() - base_); }

  void Bytes(const void* bytes, size_t n) {
    if (!stream_.Write(bytes, static_cast<int32_t>(n))) throw EGraphicFileError("Stream write error");
  }
  void U16(uint16_t v) {
    const uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    Bytes(b, 2);
  }
  void U32(uint32_t v) {
    const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                          static_cast<uint8_t>(v >> 24)};
    Bytes(b, 4);
  }
  // Overwrites four bytes at `offset` and returns to where the stream was.
  void PatchU32(uint32_t offset, uint32_t v) {
    const int32_t end = stream_.Position();
    if (!stream_.Seek(base_ + static_cast<int32_t>(offset))) throw EGraphicFileError("Stream write error");
    U32(v);
    if (!stream_.Seek(end)) throw EGraphicFileError("Stream write error");
  }

 private:
  TBinaryStream& stream_;
  int32_t base_;
};

void WriteHeader(TTiffOut& out) {
  const uint8_t order[2] = {0x49, 0x49};
  out.Bytes(order, 2);
  out.U16(42);
  out.U32(kHeaderSize);  // patched once the IFD is written
}

uint32_t WriteRational(TTiffOut& out) {
  const uint32_t at = out.Offset();
  out.U32(kResolutionNumerator);
  out.U32(kResolutionDenominator);
  return at;
}

uint32_t WriteSoftware(TTiffOut& out) {
  const uint32_t at = out.Offset();
  out.Bytes(kSoftware.data(), kSoftware.size());
  return at;
}

uint32_t WriteBitsPerSample(TTiffOut& out) {
  const uint32_t at = out.Offset();
  for (int i = 0; i < 3; ++i) out.U16(8);
  return at;
}

uint32_t WriteColorMap(TTiffOut& out, const TPlan& plan) {
  const uint32_t at = out.Offset();
  for (uint16_t v : plan.colorMap) out.U16(v);
  return at;
}

uint32_t WritePixelRows(TTiffOut& out, const TPlan& plan) {
  // Rows go out in batches of about kBatchBytes: a file takes a few large
  // writes instead of one per row.
  constexpr size_t kBatchBytes = size_t{256} << 10;
  const uint32_t at = out.Offset();
  const size_t rowBytes = plan.rowBytes;
  const QImage& image = *plan.image;
  if (plan.layout == TLayout::Rgb && image.format() == QImage::Format_RGB888 &&
      static_cast<size_t>(image.bytesPerLine()) == rowBytes) {
    // The picture's rows are the file's, one after another: no copy at all.
    out.Bytes(image.constBits(), rowBytes * plan.height);
    return at;
  }
  const size_t batchRows = std::max<size_t>(1, kBatchBytes / std::max<size_t>(rowBytes, 1));
  std::vector<uint8_t> batch(std::min<size_t>(batchRows, plan.height) * rowBytes);
  for (uint32_t y = 0; y < plan.height;) {
    const auto rows = static_cast<uint32_t>(std::min<size_t>(batchRows, plan.height - y));
    for (uint32_t k = 0; k < rows; ++k)
      PackRow(plan, y + k, std::span<uint8_t>(batch.data() + size_t{k} * rowBytes, rowBytes));
    out.Bytes(batch.data(), rows * rowBytes);
    y += rows;
  }
  return at;
}

// ------------------------------------------------- the image file directory

struct TEntry {
  uint16_t tag;
  uint16_t type;
  uint32_t count;
  uint32_t value;
};

struct TItemOffsets {
  uint32_t rows = 0;
  uint32_t xResolution = 0;
  uint32_t yResolution = 0;
  uint32_t software = 0;
  uint32_t bitsPerSample = 0;  // RGB layout only
};

// Entries in ascending tag order. Width and length are SHORT as the layouts
// give them; a side above 65535 takes a LONG instead of being cut short.
std::vector<TEntry> DirectoryEntries(const TPlan& plan, const TItemOffsets& at) {
  const bool rgb = plan.layout == TLayout::Rgb;
  const uint16_t widthType = plan.width > 0xFFFF ? kLong : kShort;
  const uint16_t lengthType = plan.height > 0xFFFF ? kLong : kShort;
  std::vector<TEntry> e;
  e.push_back({254, kLong, 1, 0});  // NewSubfileType
  e.push_back({256, widthType, 1, plan.width});
  e.push_back({257, lengthType, 1, plan.height});
  if (rgb) {
    e.push_back({258, kShort, 3, at.bitsPerSample});
  } else {
    e.push_back({258, kShort, 1, plan.bitsPerSample});
  }
  e.push_back({259, kShort, 1, 1});  // Compression: none
  e.push_back({262, kShort, 1, plan.photometric});
  e.push_back({273, kLong, 1, at.rows});  // StripOffsets
  e.push_back({277, kShort, 1, rgb ? 3u : 1u});
  e.push_back({278, kLong, 1, plan.height});  // RowsPerStrip
  e.push_back({279, kLong, 1, plan.height * plan.rowBytes});
  e.push_back({282, kRational, 1, at.xResolution});
  e.push_back({283, kRational, 1, at.yResolution});
  if (rgb) e.push_back({284, kShort, 1, 1});  // PlanarConfiguration: chunky
  e.push_back({296, kShort, 1, 2});           // ResolutionUnit: inch
  e.push_back({305, kAscii, static_cast<uint32_t>(kSoftware.size()), at.software});
  if (plan.layout == TLayout::Palette) {
    e.push_back({320, kShort, static_cast<uint32_t>(plan.colorMap.size()), kHeaderSize});
  }
  return e;
}

uint32_t WriteDirectory(TTiffOut& out, const std::vector<TEntry>& entries) {
  const uint32_t at = out.Offset();
  out.U16(static_cast<uint16_t>(entries.size()));
  for (const TEntry& e : entries) {
    out.U16(e.tag);
    out.U16(e.type);
    out.U32(e.count);
    // A single SHORT sits in the first two bytes of the value field.
    out.U32(e.value);
  }
  out.U32(0);  // no further IFD
  return at;
}

// The whole file's size, to refuse a picture that no 32-bit offset can address.
uint64_t FileSize(TLayout layout, uint64_t height, uint64_t rowBytes, uint64_t colorMapSize) {
  const uint64_t entries = layout == TLayout::Bilevel ? 14 : 15;
  uint64_t items = 2 * kRationalSize + kSoftware.size();
  if (layout == TLayout::Rgb) items += kBitsPerSampleSize;
  items += 2 * colorMapSize;
  return kHeaderSize + items + height * rowBytes + 2 + 12 * entries + 4;
}

uint64_t FileSize(const TPlan& plan) {
  return FileSize(plan.layout, plan.height, plan.rowBytes, plan.colorMap.size());
}

// -------------------------------------------- WriteTiffImage, top to bottom

bool WriteTiffImage(TBinaryStream& stream, const QImage& image, int32_t bits) {
  QImage converted;
  const std::optional<TPlan> plan = MakePlan(image, bits, converted);
  if (!plan) return false;
  if (FileSize(*plan) > MaxTiffFileSize - static_cast<uint64_t>(stream.Position())) {
    return false;
  }

  if (auto* memory = dynamic_cast<TMemoryStream*>(&stream))
    memory->Reserve(static_cast<size_t>(memory->Position()) + static_cast<size_t>(FileSize(*plan)));
  TTiffOut out(stream);
  TItemOffsets at;
  WriteHeader(out);
  switch (plan->layout) {
    case TLayout::Bilevel:
      at.rows = WritePixelRows(out, *plan);
      at.xResolution = WriteRational(out);
      at.yResolution = WriteRational(out);
      at.software = WriteSoftware(out);
      break;
    case TLayout::Palette:
      WriteColorMap(out, *plan);
      at.xResolution = WriteRational(out);
      at.yResolution = WriteRational(out);
      at.software = WriteSoftware(out);
      at.rows = WritePixelRows(out, *plan);
      break;
    case TLayout::Rgb:
      at.xResolution = WriteRational(out);
      at.yResolution = WriteRational(out);
      at.bitsPerSample = WriteBitsPerSample(out);
      at.software = WriteSoftware(out);
      at.rows = WritePixelRows(out, *plan);
      break;
  }
  const uint32_t ifd = WriteDirectory(out, DirectoryEntries(*plan, at));
  out.PatchU32(4, ifd);
  return true;
}

bool WriteTiffFile(const std::string& fileName, const QImage& image, int32_t bits) {
  std::string error;
  std::unique_ptr<TSaveFile> file = TSaveFile::Create(fileName, &error);
  if (!file) throw EGraphicFileError(CannotFileText("create", fileName, error));
  bool written;
  try {
    written = WriteTiffImage(file->Stream(), image, bits);
  } catch (const EGraphicFileError& e) {
    throw EGraphicFileError(CannotFileText("create", fileName, file->FailureReason(e.what())));
  }
  if (!written) {  // the old file stays
    if (file->FailureReason("").empty()) return false;
    throw EGraphicFileError(CannotFileText("create", fileName, file->FailureReason("")));
  }
  if (!file->Commit(&error)) throw EGraphicFileError(CannotFileText("create", fileName, error));
  return true;
}

}  // namespace

// ------------------------------------------------------ public entry points

uint64_t TiffRgbFileSize(uint64_t width, uint64_t height) { return FileSize(TLayout::Rgb, height, width * 3, 0); }

bool WriteTiffToStream(TBinaryStream& Stream, const TBitmap& Bitmap) {
  return WriteTiffImage(Stream, Bitmap.Image(), 32);
}

bool WriteTiffToStream(TBinaryStream& Stream, const TBitmapGraphic& Bitmap) {
  return WriteTiffImage(Stream, Bitmap.Image(), Bitmap.BitsPerPixel());
}

bool WriteTiffToFile(const std::string& FileName, const TBitmap& Bitmap) {
  return WriteTiffFile(FileName, Bitmap.Image(), 32);
}

bool WriteTiffToFile(const std::string& FileName, const TBitmapGraphic& Bitmap) {
  return WriteTiffFile(FileName, Bitmap.Image(), Bitmap.BitsPerPixel());
}

bool WriteTiffPictureToStream(TBinaryStream& Stream, const QImage& Picture) {
  return WriteTiffImage(Stream, Picture, 24);
}

bool WriteTiffPictureToFile(const std::string& FileName, const QImage& Picture) {
  return WriteTiffFile(FileName, Picture, 24);
}

}  // namespace qira

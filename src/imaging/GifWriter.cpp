// The GIF writer: frames encoded from their bitmaps (colours reduced to at
// most 256 first), then the stream in file order: header, logical screen
// descriptor, global colour table, loop block, each frame's extensions,
// descriptor, colour table and data, the comment, the trailer. The whole GIF
// is built in memory before the destination sees a byte.
#include <algorithm>
#include <cstring>

#include "imaging/GifImage.h"
#include "platform/BinaryStream.h"
#include "platform/BmpCodec.h"
#include "platform/ColorReduction.h"
#include "platform/GraphicErrors.h"

namespace qira {

namespace {

// The smallest n >= 1 with 2^n >= count.
int32_t BitsForCount(int32_t count) {
  int32_t bits = 1;
  while ((1 << bits) < count && bits < 8) ++bits;
  return bits;
}

class TByteWriter {
 public:
  void Byte(uint8_t b) { bytes_.push_back(b); }
  void U16(int32_t v) {
    Byte(static_cast<uint8_t>(v));
    Byte(static_cast<uint8_t>(v >> 8));
  }
  void Raw(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + n);
  }
  void Text(std::string_view s) { Raw(s.data(), s.size()); }
  // Lines as data sub-blocks (each cut to 255 bytes, empty ones left out),
  // then the zero block.
  void SubBlocks(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
      if (line.empty()) continue;
      const size_t n = std::min<size_t>(line.size(), 255);
      Byte(static_cast<uint8_t>(n));
      Raw(line.data(), n);
    }
    Byte(0);
  }
  // A colour table of 2^bits entries (missing ones black).
  void ColorTable(const TGIFColorMap& map, int32_t bits) {
    for (int32_t i = 0; i < (1 << bits); ++i) {
      const TGIFColor c = i < map.Count ? map.Colors[static_cast<size_t>(i)] : TGIFColor{};
      Byte(c.Red);
      Byte(c.Green);
      Byte(c.Blue);
    }
  }
  std::vector<uint8_t>& Bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

// ---- the LZW string table: up to 4096 strings, each a known string (its
// code, below 4096) plus one pixel, found through an open-addressed hash table
// of a power-of-two size well above the table's fill.
constexpr int32_t kMaxCode = 4096;
constexpr uint32_t kLzwHashBits = 14;
constexpr uint32_t kLzwHashSize = 1u << kLzwHashBits;
// A slot holds (prefix code << 8 | pixel) << 12 | code; the key never reaches
// all ones, as prefix codes stay below kMaxCode - 2.
constexpr uint32_t kFreeSlot = 0xFFFFFFFFu;

uint32_t LzwSlotOf(uint32_t key) { return (key * 0x9E3779B1u) >> (32 - kLzwHashBits); }

// Codes packed least-significant bit first into sub-blocks of 255 bytes.
class TCodePacker {
 public:
  explicit TCodePacker(std::vector<uint8_t>& out) : out_(out) {}
  void Put(int32_t code, int32_t width) {
    accumulator_ |= static_cast<uint64_t>(code) << bits_;
    bits_ += width;
    while (bits_ >= 8) {
      block_.push_back(static_cast<uint8_t>(accumulator_));
      accumulator_ >>= 8;
      bits_ -= 8;
      if (block_.size() == 255) Flush();
    }
  }
  void Finish() {
    if (bits_ > 0) block_.push_back(static_cast<uint8_t>(accumulator_));
    bits_ = 0;
    if (!block_.empty()) Flush();
    out_.push_back(0);
  }

 private:
  void Flush() {
    out_.push_back(static_cast<uint8_t>(block_.size()));
    out_.insert(out_.end(), block_.begin(), block_.end());
    block_.clear();
  }
  std::vector<uint8_t>& out_;
  std::vector<uint8_t> block_;
  uint64_t accumulator_ = 0;
  int32_t bits_ = 0;
};

}  // namespace

// ------------------------------------------------------------ LZW encoder

std::vector<uint8_t> WriteGIFData(const std::vector<uint8_t>& indices, int32_t width, int32_t height,
                                  int32_t bitsPerPixel, bool interlaced, const TGIFProgress& progress) {
  if (width < 0 || height < 0 || indices.size() < static_cast<size_t>(width) * static_cast<size_t>(height))
    GIFError(sGIFEncodeError);
  const int32_t initialWidth = std::max(bitsPerPixel + 1, 3);
  const int32_t clear = 1 << (initialWidth - 1);
  const int32_t end = clear + 1;
  const auto pixelMask = static_cast<uint8_t>(clear - 1);
  std::vector<uint8_t> out;
  out.push_back(static_cast<uint8_t>(initialWidth - 1));
  TCodePacker packer(out);

  std::vector<uint32_t> table(kLzwHashSize, kFreeSlot);
  int32_t codeWidth = initialWidth;
  int32_t nextCode = clear + 2;
  auto resetTable = [&]() {
    std::fill(table.begin(), table.end(), kFreeSlot);
    codeWidth = initialWidth;
    nextCode = clear + 2;
  };

  int32_t current = -1;  // code of the current string; -1 before its first pixel
  packer.Put(clear, codeWidth);
  if (progress) progress(0);

  const std::vector<int32_t> rows = interlaced ? InterlacedRowOrder(height) : std::vector<int32_t>{};
  for (int32_t r = 0; r < height; ++r) {
    const int32_t y = interlaced ? rows[static_cast<size_t>(r)] : r;
    const uint8_t* row = indices.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
    for (int32_t x = 0; x < width; ++x) {
      const uint8_t pixel = row[x] & pixelMask;
      if (current < 0) {
        current = pixel;
        continue;
      }
      const uint32_t key = (static_cast<uint32_t>(current) << 8) | pixel;
      uint32_t slot = LzwSlotOf(key);
      while (table[slot] != kFreeSlot && (table[slot] >> 12) != key) slot = (slot + 1) & (kLzwHashSize - 1);
      if (table[slot] != kFreeSlot) {
        current = static_cast<int32_t>(table[slot] & 0xFFF);
        continue;
      }
      packer.Put(current, codeWidth);
      table[slot] = (key << 12) | static_cast<uint32_t>(nextCode);
      const int32_t added = nextCode++;
      current = pixel;
      if (added == (1 << codeWidth)) {
        ++codeWidth;
      } else if (added == kMaxCode - 2) {
        // The table is full: the pixel goes out on its own and everything starts over.
        packer.Put(current, codeWidth);
        packer.Put(clear, codeWidth);
        resetTable();
        current = -1;
      }
    }
    if (progress) progress(static_cast<int32_t>((int64_t{r} + 1) * 100 / height));
  }
  if (current >= 0) packer.Put(current, codeWidth);
  packer.Put(end, codeWidth);
  packer.Finish();
  if (progress) progress(100);
  return out;
}

// ---------------------------------------------------------- frame encoding

namespace {

// A frame item of `count` colours (2, 16 or 256) from palette indices: the
// colour table is `table` up to `known` entries, black after; every index is
// cut to the table. The same item comes out as from the BMP image of the
// picture decoded again, without building that image.
std::shared_ptr<TGIFItem> MakeIndexedItem(const QRgb* table, int32_t known, int32_t count, int32_t width,
                                          int32_t height, const uint8_t* firstRow, size_t stride,
                                          std::vector<uint8_t>* packed, const TGIFProgress& progress) {
  auto item = std::make_shared<TGIFItem>();
  item->ColorMap.Count = count;
  for (int32_t i = 0; i < count; ++i) {
    const QRgb c = i < known ? table[i] : qRgb(0, 0, 0);
    item->ColorMap.Colors[static_cast<size_t>(i)] = {static_cast<uint8_t>(qRed(c)), static_cast<uint8_t>(qGreen(c)),
                                                     static_cast<uint8_t>(qBlue(c))};
  }
  item->Width = width;
  item->Height = height;
  item->BitsPerPixel = BitsForCount(count);
  const auto w = static_cast<size_t>(width);
  std::vector<uint8_t> copied;
  if (packed == nullptr || count != 256) {
    copied.resize(w * static_cast<size_t>(height));
    const auto mask = static_cast<uint8_t>(count - 1);
    for (int32_t y = 0; y < height; ++y) {
      const uint8_t* row = firstRow + static_cast<size_t>(y) * stride;
      uint8_t* out = copied.data() + static_cast<size_t>(y) * w;
      if (count == 256) {
        std::memcpy(out, row, w);
      } else {
        for (size_t x = 0; x < w; ++x) out[x] = row[x] & mask;
      }
    }
    packed = &copied;
  }
  item->ZipData = WriteGIFData(*packed, width, height, item->BitsPerPixel, false, progress);
  return item;
}

int32_t CountOfBits(int32_t bits) {
  switch (bits) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
  }
}

// Makes the frame's colours the image's global ones when it has none yet;
// true when it did (the frame then needs no local table).
bool AdoptAsGlobalColors(TGIFData& data, const TGIFItem& item) {
  if (data.ColorMap.Count != 0) return false;
  data.ColorMap = item.ColorMap;
  data.BitsPerPixel = item.BitsPerPixel;
  data.ColorResBits = item.BitsPerPixel;
  return true;
}

}  // namespace

void TGIFFrame::EncodeFromBitmap() {
  if (!bitmap_ || bitmap_->Empty()) GIFError(sGIFNoData);
  const int32_t bits = bitmap_->BitsPerPixel();
  const QImage& image = bitmap_->Image();
  std::shared_ptr<TGIFItem> item;
  if (bits == 1 || bits == 4 || bits == 8) {
    const int32_t count = CountOfBits(bits);
    if (image.format() != QImage::Format_Indexed8 || image.colorCount() > count) {
      // The bitmap's own writer reports what does not fit.
      TMemoryStream stream;
      bitmap_->SaveToStream(stream);
      EncodeBitmapToFrame(stream.TakeData());
      return;
    }
    const QList<QRgb> table = image.colorTable();
    item = MakeIndexedItem(table.constData(), static_cast<int32_t>(table.size()), count, image.width(),
                           image.height(), image.constBits(), static_cast<size_t>(image.bytesPerLine()), nullptr,
                           owner_->OnProgress);
  } else {
    const int32_t method = GrayScale ? rmGrayscale : DefaultColorReduction();
    TReducedPicture reduced = ReduceColors(image, method, kGifFormatName);
    if (method == rmGrayscale) GrayScale = true;
    const int32_t known = reduced.ColorsUsed != 0 ? reduced.ColorsUsed : 256;
    item = MakeIndexedItem(reduced.Palette.data(), known, 256, reduced.Width, reduced.Height, reduced.Indices.data(),
                           static_cast<size_t>(reduced.Width), &reduced.Indices, owner_->OnProgress);
  }
  Interlaced = false;
  LocalColors = !AdoptAsGlobalColors(owner_->MutableData(), *item);
  item_ = std::move(item);
  GrowScreen();
}

void TGIFFrame::EncodeBitmapToFrame(const std::vector<uint8_t>& bmp) {
  const TBmpPicture picture = DecodeBmp(bmp);
  const int32_t count = CountOfBits(picture.bitsPerPixel);
  if (count == 0) GIFError(sGIFEncodeError);
  if (picture.image.isNull() || picture.image.format() != QImage::Format_Indexed8) GIFError(sGIFEncodeError);
  const QList<QRgb> table = picture.image.colorTable();
  Interlaced = false;
  std::shared_ptr<TGIFItem> item = MakeIndexedItem(
      table.constData(), static_cast<int32_t>(table.size()), count, picture.image.width(), picture.image.height(),
      picture.image.constBits(), static_cast<size_t>(picture.image.bytesPerLine()), nullptr, owner_->OnProgress);
  LocalColors = !AdoptAsGlobalColors(owner_->MutableData(), *item);
  item_ = std::move(item);
  GrowScreen();
}

void TGIFFrame::UpdateExtensions() {
  TExtension* graphic = nullptr;
  for (const auto& e : extensions_)
    if (e->Kind() == TGIFExtensionKind::etGraphic) {
      graphic = e.get();
      break;
    }
  if (!graphic && (AnimateInterval > 0 || TransparentColor != kGifNoColor || DisposalMethod != 0)) {
    extensions_.push_back(std::make_unique<TExtension>(TGIFExtensionKind::etGraphic));
    graphic = extensions_.back().get();
  }
  if (graphic) {
    graphic->SetDelay(static_cast<uint16_t>(std::clamp(AnimateInterval / 10, 0, 65535)));
    uint8_t flags = graphic->Flags();
    // A frame read from a file keeps its see-through index: an opaque entry of the
    // same colour stays opaque.
    int32_t index = -1;
    if (TransparentColor != kGifNoColor) {
      const bool keptIndex = TransparentIndex >= 0 && TransparentIndex < ColorMap().Count &&
                             ColorMap().Color(TransparentIndex) == TransparentColor;
      index = keptIndex ? TransparentIndex : ColorMap().IndexOf(TransparentColor);
    }
    if (index >= 0) {
      graphic->SetTransparentIndex(static_cast<uint8_t>(index));
      flags |= 1;
    } else {
      flags &= static_cast<uint8_t>(~1);
    }
    flags = static_cast<uint8_t>((flags & ~0x1C) | ((DisposalMethod & 7) << 2));
    graphic->SetFlags(flags);
  }
  std::erase_if(extensions_, [](const std::unique_ptr<TExtension>& e) {
    return e->Kind() == TGIFExtensionKind::etComment && e->Data.empty();
  });
}

// ------------------------------------------------------------------ stream

std::vector<uint8_t> TGIFImage::WriteGIFStream() const {
  if (frames_.empty()) GIFError(sGIFNoData);
  // Bringing the frames up to date changes only caches of the picture: the
  // encoded data, the extensions that carry the frame settings, the version.
  auto* self = const_cast<TGIFImage*>(this);
  for (const auto& frame : frames_) {
    if (!frame->item_ || frame->item_->ZipData.empty()) frame->EncodeFromBitmap();
    frame->UpdateExtensions();
    if (!frame->extensions_.empty()) self->version_ = TGIFVersion::gv89a;
  }
  if (!data_->Comment.empty()) self->version_ = TGIFVersion::gv89a;
  if (version_ == TGIFVersion::gvUnknown) self->version_ = TGIFVersion::gv87a;

  TByteWriter w;
  w.Text("GIF");
  w.Text(version_ == TGIFVersion::gv89a ? "89a" : "87a");

  // Logical screen descriptor.
  const TGIFColorMap& global = data_->ColorMap;
  const int32_t globalBits = global.Count > 0 ? BitsForCount(global.Count) : 0;
  w.U16(screenWidth_);
  w.U16(screenHeight_);
  if (global.Count > 0) {
    w.Byte(static_cast<uint8_t>(0x80 | ((globalBits - 1) << 4) | (globalBits - 1)));
    const int32_t background = BackgroundColor == kGifNoColor ? -1 : global.IndexOf(BackgroundColor);
    w.Byte(static_cast<uint8_t>(background < 0 ? 0 : background));
  } else {
    w.Byte(0);
    w.Byte(0);
  }
  w.Byte(0);
  if (global.Count > 0) w.ColorTable(global, globalBits);

  if (Looping && frames_.size() > 1) {
    w.Byte(kExtensionIntroducer);
    w.Byte(kApplicationLabel);
    w.Byte(11);
    w.Text("NETSCAPE2.0");
    w.Byte(3);
    w.Byte(1);
    w.U16(std::clamp(RepeatCount, 0, 65535));
    w.Byte(0);
  }

  for (const auto& frame : frames_) {
    for (const auto& e : frame->extensions_) {
      w.Byte(kExtensionIntroducer);
      w.Byte(e->Label());
      switch (e->Kind()) {
        case TGIFExtensionKind::etGraphic: w.Raw(e->Header.data(), e->Header.size()); break;
        case TGIFExtensionKind::etPlainText:
        case TGIFExtensionKind::etApplication:
          w.Raw(e->Header.data(), e->Header.size());
          w.SubBlocks(e->Data);
          break;
        case TGIFExtensionKind::etComment: w.SubBlocks(e->Data); break;
      }
    }
    const TGIFItem& item = *frame->item_;
    // A frame without a global table to lean on carries its own; one that has no
    // colours at all (read from a file without tables) stays without, so that it
    // reads back as the same picture rather than as black.
    const bool local = frame->LocalColors || (global.Count == 0 && item.ColorMap.Count > 0);
    const int32_t frameBits = std::clamp(item.BitsPerPixel, 1, 8);
    w.Byte(kImageIntroducer);
    w.U16(frame->Left);
    w.U16(frame->Top);
    w.U16(item.Width);
    w.U16(item.Height);
    w.Byte(static_cast<uint8_t>((local ? 0x80 | (frameBits - 1) : 0) | (frame->Interlaced ? 0x40 : 0)));
    if (local) w.ColorTable(item.ColorMap, frameBits);
    w.Raw(item.ZipData.data(), item.ZipData.size());
  }

  if (!data_->Comment.empty()) {
    w.Byte(kExtensionIntroducer);
    w.Byte(kCommentLabel);
    w.SubBlocks(data_->Comment);
  }
  w.Byte(kTrailer);
  return std::move(w.Bytes());
}

}  // namespace qira

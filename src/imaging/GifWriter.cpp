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

// ---- the LZW string table: up to 4096 strings found through a hash table
constexpr int32_t kHashSize = 17777;
constexpr int32_t kMaxCode = 4096;

struct TLzwEntry {
  int32_t prefix = -1;  // -1: free slot
  uint8_t pixel = 0;
  int32_t code = 0;
};

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

  std::vector<TLzwEntry> table(kHashSize);
  int32_t codeWidth = initialWidth;
  int32_t nextCode = clear + 2;
  auto resetTable = [&]() {
    std::fill(table.begin(), table.end(), TLzwEntry{});
    codeWidth = initialWidth;
    nextCode = clear + 2;
  };

  int32_t current = -1;      // code of the current string; -1 before its first pixel
  int64_t currentHash = 0;   // hash of the current string
  int32_t currentLength = 0; // its pixels
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
        currentHash = (int64_t{pixel} + 3) * 301 % kHashSize;
        currentLength = 1;
        continue;
      }
      const int64_t hash = (int64_t{pixel} + currentLength + 1 + 4) * currentHash % kHashSize;
      auto slot = static_cast<int32_t>(hash);
      while (table[static_cast<size_t>(slot)].prefix >= 0 &&
             !(table[static_cast<size_t>(slot)].prefix == current && table[static_cast<size_t>(slot)].pixel == pixel))
        slot = slot + 1 == kHashSize ? 0 : slot + 1;
      TLzwEntry& entry = table[static_cast<size_t>(slot)];
      if (entry.prefix >= 0) {
        current = entry.code;
        currentHash = hash;
        ++currentLength;
        continue;
      }
      packer.Put(current, codeWidth);
      entry = {current, pixel, nextCode};
      const int32_t added = nextCode++;
      current = pixel;
      currentHash = (int64_t{pixel} + 3) * 301 % kHashSize;
      currentLength = 1;
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

void TGIFFrame::EncodeFromBitmap() {
  if (!bitmap_ || bitmap_->Empty()) GIFError(sGIFNoData);
  const int32_t bits = bitmap_->BitsPerPixel();
  std::vector<uint8_t> bmp;
  if (bits == 1 || bits == 4 || bits == 8) {
    TMemoryStream stream;
    bitmap_->SaveToStream(stream);
    bmp = stream.TakeData();
  } else {
    const int32_t method = GrayScale ? rmGrayscale : DefaultColorReduction();
    std::unique_ptr<TMemoryStream> stream = BitmapToBMPStream(*bitmap_, TPixelFormat::pf8bit, method);
    if (method == rmGrayscale) GrayScale = true;
    bmp = stream->TakeData();
  }
  EncodeBitmapToFrame(bmp);
}

void TGIFFrame::EncodeBitmapToFrame(const std::vector<uint8_t>& bmp) {
  const TBmpPicture picture = DecodeBmp(bmp);
  int32_t count = 0;
  switch (picture.bitsPerPixel) {
    case 1: count = 2; break;
    case 4: count = 16; break;
    case 8: count = 256; break;
    default: GIFError(sGIFEncodeError);
  }
  if (picture.image.isNull() || picture.image.format() != QImage::Format_Indexed8) GIFError(sGIFEncodeError);
  auto item = std::make_shared<TGIFItem>();
  const QList<QRgb> table = picture.image.colorTable();
  item->ColorMap.Count = count;
  for (int32_t i = 0; i < count && i < table.size(); ++i)
    item->ColorMap.Colors[static_cast<size_t>(i)] = {static_cast<uint8_t>(qRed(table[i])),
                                                     static_cast<uint8_t>(qGreen(table[i])),
                                                     static_cast<uint8_t>(qBlue(table[i]))};
  item->Width = picture.image.width();
  item->Height = picture.image.height();
  item->BitsPerPixel = BitsForCount(count);
  std::vector<uint8_t> indices(static_cast<size_t>(item->Width) * static_cast<size_t>(item->Height));
  for (int32_t y = 0; y < item->Height; ++y) {
    const uint8_t* row = picture.image.constScanLine(y);
    for (int32_t x = 0; x < item->Width; ++x)
      indices[static_cast<size_t>(y) * static_cast<size_t>(item->Width) + static_cast<size_t>(x)] =
          static_cast<uint8_t>(row[x] & (count - 1));
  }
  Interlaced = false;
  item->ZipData = WriteGIFData(indices, item->Width, item->Height, item->BitsPerPixel, false, owner_->OnProgress);

  TGIFData& data = owner_->MutableData();
  if (data.ColorMap.Count == 0) {
    data.ColorMap = item->ColorMap;
    data.BitsPerPixel = item->BitsPerPixel;
    data.ColorResBits = item->BitsPerPixel;
    LocalColors = false;
  } else {
    LocalColors = true;
  }
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
    const int32_t index = TransparentColor == kGifNoColor ? -1 : ColorMap().IndexOf(TransparentColor);
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
    // A frame without a global table to lean on carries its own.
    const bool local = frame->LocalColors || global.Count == 0;
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

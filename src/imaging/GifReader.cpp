// The GIF reader: the stream's blocks in file order (header, logical screen
// descriptor, global colour table, then extensions and images up to the
// trailer), and the variable-length LZW decoder of the image data.
//
// Every length, count and code is checked against the bytes that are there
// before it is used; the image is read into a new image that replaces this one
// only when the whole stream was read and every frame decoded. Tolerant
// reading keeps a frame whose image data is damaged or cut short, flagged
// Corrupted; the damage never reaches beyond that frame's own pixels.
#include <algorithm>
#include <cstring>
#include <utility>

#include "imaging/GifImage.h"
#include "platform/AsciiCase.h"
#include "platform/BmpCodec.h"
#include "platform/GraphicErrors.h"
#include "platform/Picture.h"

namespace qira {

namespace {

bool SameNoCase(const uint8_t* bytes, const char* text) {
  for (size_t i = 0; text[i] != 0; ++i) {
    auto c = static_cast<char>(bytes[i]);
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    char t = text[i];
    if (t >= 'A' && t <= 'Z') t = static_cast<char>(t - 'A' + 'a');
    if (c != t) return false;
  }
  return true;
}

// The most pixels one code can stand for: the longest string of the table.
constexpr int64_t kMaxStringLength = 4096;

// Damage in the image data: strict reading (no `corrupt`) raises text; tolerant
// reading notes it and the caller stops decoding there.
void Damage(bool* corrupt, const char* text) {
  if (corrupt == nullptr) GIFError(text);
  *corrupt = true;
}

}  // namespace

// ------------------------------------------------------------------ reader

struct TGIFImage::TReadState {
  const uint8_t* bytes;
  size_t size;
  size_t pos = 0;
  TGIFImage& image;

  bool AtEnd() const { return pos >= size; }
  size_t Remaining() const { return size - pos; }

  uint8_t Byte() {
    if (pos >= size) GIFError(sGIFStreamRead);
    return bytes[pos++];
  }
  void Bytes(uint8_t* out, size_t n) {
    if (n > Remaining()) GIFError(sGIFStreamRead);
    std::memcpy(out, bytes + pos, n);
    pos += n;
  }
  uint16_t U16() {
    const uint8_t lo = Byte();
    const uint8_t hi = Byte();
    return static_cast<uint16_t>(lo | (hi << 8));
  }

  void ColorTable(TGIFColorMap& map, int32_t bits) {
    map.Count = 1 << bits;
    if (3 * static_cast<size_t>(map.Count) > Remaining()) GIFError(sGIFStreamRead);
    for (int32_t i = 0; i < map.Count; ++i) {
      TGIFColor& c = map.Colors[static_cast<size_t>(i)];
      c.Red = Byte();
      c.Green = Byte();
      c.Blue = Byte();
    }
  }

  // Data sub-blocks up to the zero block, each kept as one string.
  void SubBlocks(std::vector<std::string>& lines) {
    for (;;) {
      const uint8_t length = Byte();
      if (length == 0) return;
      if (length > Remaining()) GIFError(sGIFStreamRead);
      lines.emplace_back(reinterpret_cast<const char*>(bytes + pos), length);
      pos += length;
    }
  }

  // The fixed part of an extension: its size byte and that many bytes,
  // stored as `headerSize` bytes (a shorter block is refused).
  void FixedPart(TExtension& e, uint8_t wantedSize) {
    const uint8_t blockSize = Byte();
    if (blockSize < wantedSize || blockSize > Remaining()) GIFError(sGIFStreamRead);
    std::copy_n(bytes + pos, wantedSize, e.Header.begin() + 1);
    e.Header[0] = wantedSize;
    pos += blockSize;
  }

  void Read();
  std::unique_ptr<TExtension> ReadExtension();
  void ReadFrame(std::vector<std::unique_ptr<TExtension>> extensions);
};

void TGIFImage::TReadState::Read() {
  // Header: "GIF" and the version, without regard to case.
  uint8_t header[6];
  if (Remaining() < 6) GIFError(sGIFUnknownVersion);
  Bytes(header, 6);
  if (!SameNoCase(header, "GIF")) GIFError(sGIFUnknownVersion);
  if (SameNoCase(header + 3, "87a")) image.version_ = TGIFVersion::gv87a;
  else if (SameNoCase(header + 3, "89a")) image.version_ = TGIFVersion::gv89a;
  else GIFError(sGIFUnknownVersion);

  // Logical screen descriptor.
  image.screenWidth_ = U16();
  image.screenHeight_ = U16();
  const uint8_t flags = Byte();
  const uint8_t background = Byte();
  Byte();  // aspect ratio, not used
  TGIFData& data = image.MutableData();
  data.ColorResBits = ((flags & 0x70) >> 4) + 1;
  data.BitsPerPixel = (flags & 7) + 1;
  data.ColorMap.Count = 0;
  if (flags & 0x80) {
    ColorTable(data.ColorMap, data.BitsPerPixel);
    if (background < data.ColorMap.Count) image.BackgroundColor = data.ColorMap.Color(background);
  }

  while (!AtEnd() && bytes[pos] == 0) ++pos;
  uint8_t introducer = AtEnd() ? kTrailer : Byte();
  while (introducer != 0 && introducer != kTrailer) {
    std::vector<std::unique_ptr<TExtension>> extensions;
    while (introducer == kExtensionIntroducer) {
      std::unique_ptr<TExtension> e = ReadExtension();
      if (e && e->Kind() == TGIFExtensionKind::etPlainText) {
        extensions.clear();
      } else if (e) {
        extensions.push_back(std::move(e));
      }
      // A stream that ends behind a whole extension has simply no trailer.
      introducer = AtEnd() ? kTrailer : Byte();
    }
    if (introducer == kImageIntroducer) {
      ReadFrame(std::move(extensions));
      introducer = AtEnd() ? kTrailer : Byte();
      if (introducer != kExtensionIntroducer && introducer != kImageIntroducer && introducer != kTrailer) break;
      continue;
    }
    if (!extensions.empty() && image.data_->Comment.empty()) {
      std::vector<std::string>& comment = image.MutableData().Comment;
      bool first = true;
      for (const auto& e : extensions) {
        if (e->Kind() != TGIFExtensionKind::etComment) continue;
        if (!first) comment.emplace_back("\r\n\r\n");
        first = false;
        for (const std::string& line : e->Data) comment.push_back(line);
      }
    }
    if (introducer != 0 && introducer != kTrailer) GIFError(sGIFStreamRead);
  }
}

std::unique_ptr<TExtension> TGIFImage::TReadState::ReadExtension() {
  const uint8_t label = Byte();
  switch (label) {
    case kGraphicControlLabel: {
      auto e = std::make_unique<TExtension>(TGIFExtensionKind::etGraphic);
      FixedPart(*e, 4);
      // Whatever follows the four bytes up to the terminator is not ours to keep.
      std::vector<std::string> rest;
      SubBlocks(rest);
      return e;
    }
    case kPlainTextLabel: {
      auto e = std::make_unique<TExtension>(TGIFExtensionKind::etPlainText);
      FixedPart(*e, 12);
      SubBlocks(e->Data);
      return e;
    }
    case kApplicationLabel: {
      TExtension e(TGIFExtensionKind::etApplication);
      FixedPart(e, 11);
      SubBlocks(e.Data);
      const std::string id(reinterpret_cast<const char*>(e.Header.data()) + 1, 11);
      if ((id == "NETSCAPE2.0" || id == "ANIMEXTS1.0") && !e.Data.empty() && e.Data[0].size() >= 3 &&
          e.Data[0][0] == 1) {
        const auto lo = static_cast<uint8_t>(e.Data[0][1]);
        const auto hi = static_cast<uint8_t>(e.Data[0][2]);
        image.Looping = true;
        image.RepeatCount = std::min(lo + 256 * hi, 30000);
      }
      return nullptr;
    }
    case kCommentLabel: {
      auto e = std::make_unique<TExtension>(TGIFExtensionKind::etComment);
      SubBlocks(e->Data);
      return e;
    }
    default: GIFError(UnrecognizedExtensionText(label));
  }
}

void TGIFImage::TReadState::ReadFrame(std::vector<std::unique_ptr<TExtension>> extensions) {
  auto frame = std::make_unique<TGIFFrame>(image);
  auto item = std::make_shared<TGIFItem>();
  frame->Left = U16();
  frame->Top = U16();
  item->Width = U16();
  item->Height = U16();
  const uint8_t flags = Byte();
  frame->Interlaced = (flags & 0x40) != 0;
  if (flags & 0x80) {
    frame->LocalColors = true;
    item->BitsPerPixel = (flags & 7) + 1;
    ColorTable(item->ColorMap, item->BitsPerPixel);
  } else {
    item->BitsPerPixel = image.data_->BitsPerPixel;
    item->ColorMap = image.data_->ColorMap;
  }

  // The code size byte and the sub-blocks, kept as stored. Data that ends
  // early is kept as far as it goes, its last block shortened and a zero block
  // added, so that the frame is written back as a whole stream.
  const size_t start = pos;
  bool cut = AtEnd();
  if (!cut) ++pos;
  while (!cut) {
    const uint8_t length = AtEnd() ? 0 : bytes[pos];
    if (AtEnd() || (length > 0 && length >= Remaining())) {
      cut = true;
      break;
    }
    ++pos;
    if (length == 0) break;
    pos += length;
  }
  if (cut && !image.TolerantRead) GIFError(sGIFStreamRead);
  item->ZipData.assign(bytes + start, bytes + pos);
  if (cut && pos < size) {
    const size_t partial = size - pos - 1;
    if (partial > 0) {
      item->ZipData.push_back(static_cast<uint8_t>(partial));
      item->ZipData.insert(item->ZipData.end(), bytes + pos + 1, bytes + size);
    }
    pos = size;
  }
  if (cut && !item->ZipData.empty()) item->ZipData.push_back(0);
  frame->Corrupted = cut;

  if (item->Width == 0) item->Width = image.screenWidth_;
  if (item->Height == 0) item->Height = image.screenHeight_;

  for (const auto& e : extensions) {
    if (e->Kind() != TGIFExtensionKind::etGraphic) continue;
    if ((e->Flags() & 1) && e->TransparentIndex() < item->ColorMap.Count) {
      frame->TransparentColor = item->ColorMap.Color(e->TransparentIndex());
      frame->TransparentIndex = e->TransparentIndex();
    } else {
      frame->TransparentColor = kGifNoColor;
      frame->TransparentIndex = -1;
    }
    frame->AnimateInterval = std::max(e->Delay() * 10, frame->AnimateInterval);
    frame->DisposalMethod = (e->Flags() & 0x1C) >> 2;
  }
  frame->extensions_ = std::move(extensions);
  frame->item_ = std::move(item);
  // Decoding now lets a damaged frame fail a strict read instead of a later paint.
  if (frame->DecodeFrameToBitmap()) frame->Corrupted = true;
  image.frames_.push_back(std::move(frame));
}

void TGIFImage::ReadInto(const uint8_t* bytes, size_t size) {
  TGIFImage fresh;
  fresh.OnProgress = OnProgress;
  fresh.TolerantRead = TolerantRead;
  TReadState state{bytes, size, 0, fresh};
  state.Read();

  ResetImage();
  data_ = std::move(fresh.data_);
  frames_ = std::move(fresh.frames_);
  for (auto& frame : frames_) frame->owner_ = this;
  version_ = fresh.version_;
  screenWidth_ = fresh.screenWidth_;
  screenHeight_ = fresh.screenHeight_;
  BackgroundColor = fresh.BackgroundColor;
  Looping = fresh.Looping;
  RepeatCount = fresh.RepeatCount;
  frameIndex_ = frames_.empty() ? -1 : 0;
  loaded_ = true;
  Changed();
}

// ------------------------------------------------------------ LZW decoder

std::vector<int32_t> InterlacedRowOrder(int32_t height) {
  std::vector<int32_t> rows;
  rows.reserve(static_cast<size_t>(std::max(height, 0)));
  for (int32_t y = 0; y < height; y += 8) rows.push_back(y);
  for (int32_t y = 4; y < height; y += 8) rows.push_back(y);
  for (int32_t y = 2; y < height; y += 4) rows.push_back(y);
  for (int32_t y = 1; y < height; y += 2) rows.push_back(y);
  return rows;
}

namespace {

// A frame's data stream ready for decoding: its minimum code size and the codes
// of its sub-blocks joined.
struct TGIFCodes {
  int32_t minSize = 2;
  std::vector<uint8_t> codes;
};

TGIFCodes JoinedCodes(const std::vector<uint8_t>& data, bool* corrupt) {
  TGIFCodes joined;
  if (data.empty()) Damage(corrupt, sGIFStreamRead);
  joined.minSize = data.empty() ? 2 : data[0];
  if (joined.minSize < 2 || joined.minSize > 9) {
    Damage(corrupt, sGIFCodeSize);
    joined.minSize = std::clamp(joined.minSize, 2, 9);
  }
  // The sub-blocks must end with the zero block.
  joined.codes.reserve(data.size());
  size_t at = 1;
  while (!data.empty()) {
    if (at >= data.size()) {
      Damage(corrupt, sGIFStreamRead);
      break;
    }
    const uint8_t length = data[at++];
    if (length == 0) break;
    if (length > data.size() - at) {
      Damage(corrupt, sGIFStreamRead);
      break;
    }
    joined.codes.insert(joined.codes.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                        data.begin() + static_cast<std::ptrdiff_t>(at + length));
    at += length;
  }
  return joined;
}

// Refuses a picture before its rows are allocated: one larger than the codes
// could fill (no code is narrower than 3 bits, and none stands for more than
// kMaxStringLength pixels) as damaged, one larger than the readers take as such.
void CheckFrameSize(const TGIFCodes& joined, int32_t width, int32_t height) {
  const int64_t total = int64_t{width} * height;
  const int64_t fillable = (static_cast<int64_t>(joined.codes.size()) * 8 / 3 + 1) * kMaxStringLength;
  if (width < 0 || height < 0 || total > fillable) GIFError(sGIFCorrupt);
  if (total > kMaxBmpPixels) RaisePictureAboveReadLimit(kGifFormatName, width, height);
}

// Decodes the codes into width x height indices, row y at pixels + y * stride.
void DecodeCodes(const TGIFCodes& joined, int32_t width, int32_t height, int32_t depthBits, bool interlaced,
                 const TGIFProgress& progress, bool* corrupt, uint8_t* pixels, size_t stride) {
  const int64_t total = int64_t{width} * height;
  if (total == 0) return;
  const std::vector<uint8_t>& codes = joined.codes;
  const int32_t m = joined.minSize;
  const std::vector<int32_t> rows = interlaced ? InterlacedRowOrder(height) : std::vector<int32_t>{};
  const int32_t clear = 1 << m;
  const int32_t end = clear + 1;
  const auto mask = static_cast<uint8_t>((1 << depthBits) - 1);
  std::vector<uint16_t> prefix(4096, 0);
  std::vector<uint8_t> suffix(4096, 0);
  std::vector<uint8_t> stack;
  stack.reserve(4096);

  int32_t codeWidth = m + 1;
  int32_t freeCode = clear + 2;
  int32_t previous = -1;
  uint8_t first = 0;
  int64_t written = 0;
  int32_t rowIndex = 0;
  int32_t column = 0;
  size_t bitPos = 0;
  const size_t bitCount = codes.size() * 8;
  int32_t lastPercent = -1;
  auto report = [&]() {
    if (!progress) return;
    const auto percent = static_cast<int32_t>(bitCount == 0 ? 100 : bitPos * 100 / bitCount);
    if (percent != lastPercent) progress(percent);
    lastPercent = percent;
  };
  auto put = [&](uint8_t index) {
    const int32_t row = interlaced ? rows[static_cast<size_t>(rowIndex)] : rowIndex;
    pixels[static_cast<size_t>(row) * stride + static_cast<size_t>(column)] = index & mask;
    ++written;
    if (++column == width) {
      column = 0;
      ++rowIndex;
    }
  };

  report();
  while (written < total) {
    if (bitPos + static_cast<size_t>(codeWidth) > bitCount) {
      Damage(corrupt, sGIFStreamRead);
      break;
    }
    int32_t code = 0;
    for (int32_t i = 0; i < codeWidth; ++i, ++bitPos)
      code |= ((codes[bitPos >> 3] >> (bitPos & 7)) & 1) << i;
    report();

    if (code == clear) {
      codeWidth = m + 1;
      freeCode = clear + 2;
      previous = -1;
      continue;
    }
    if (code == end) break;
    if (previous < 0) {
      // The first code after a clear must be a pixel of its own.
      if (code > clear) {
        Damage(corrupt, sGIFCorrupt);
        break;
      }
      first = static_cast<uint8_t>(code);
      put(first);
      previous = code;
      continue;
    }
    if (code > freeCode || (code == freeCode && freeCode >= 4096)) {
      Damage(corrupt, sGIFCorrupt);
      break;
    }
    stack.clear();
    int32_t walk = code;
    if (code == freeCode) {
      // Not in the table yet: the previous string plus its own first pixel.
      stack.push_back(first);
      walk = previous;
    }
    while (walk > end && stack.size() < 4096) {
      stack.push_back(suffix[static_cast<size_t>(walk)]);
      walk = prefix[static_cast<size_t>(walk)];
    }
    if (walk >= clear) {
      // A string longer than the table, or one that runs into a control code.
      Damage(corrupt, sGIFCorrupt);
      break;
    }
    first = static_cast<uint8_t>(walk);
    stack.push_back(first);
    for (auto it = stack.rbegin(); it != stack.rend() && written < total; ++it) put(*it);

    if (freeCode < 4096) {
      prefix[static_cast<size_t>(freeCode)] = static_cast<uint16_t>(previous);
      suffix[static_cast<size_t>(freeCode)] = first;
      ++freeCode;
      if (freeCode == (1 << codeWidth) && codeWidth < 12) ++codeWidth;
    }
    previous = code;
  }
  // An end code before the last pixel leaves a picture that is not whole.
  if (written < total) Damage(corrupt, sGIFCorrupt);
  if (progress) progress(100);
}

// A frame's data decoded into the rows `allocate` gives once the size is checked:
// where the first row starts and the bytes from one row to the next.
template <class TAllocate>
void DecodeFrameData(const std::vector<uint8_t>& data, int32_t width, int32_t height, int32_t depthBits,
                     bool interlaced, const TGIFProgress& progress, bool* corrupt, TAllocate&& allocate) {
  const TGIFCodes joined = JoinedCodes(data, corrupt);
  CheckFrameSize(joined, width, height);
  const std::pair<uint8_t*, size_t> rows = allocate();
  DecodeCodes(joined, width, height, depthBits, interlaced, progress, corrupt, rows.first, rows.second);
}

}  // namespace

std::vector<uint8_t> ReadGIFData(const std::vector<uint8_t>& data, int32_t width, int32_t height, int32_t depthBits,
                                 bool interlaced, const TGIFProgress& progress, bool* corrupt) {
  std::vector<uint8_t> pixels;
  DecodeFrameData(data, width, height, depthBits, interlaced, progress, corrupt, [&] {
    const uint64_t bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (std::string refusal = CountedPictureAllocation(kGifFormatName, width, height, bytes, [&] {
          pixels.assign(bytes, 0);
          return true;
        });
        !refusal.empty())
      throw EGraphicTooLarge(refusal, "not enough memory for the picture");
    return std::pair<uint8_t*, size_t>(pixels.data(), static_cast<size_t>(width));
  });
  return pixels;
}

bool TGIFFrame::DecodeFrameToBitmap() const {
  const TGIFItem& item = *item_;
  const int32_t depth = item.BitsPerPixel <= 1 ? 1 : (item.BitsPerPixel <= 4 ? 4 : 8);
  bool corrupt = false;
  bool* const damage = owner_->TolerantRead ? &corrupt : nullptr;
  QImage image;
  DecodeFrameData(item.ZipData, item.Width, item.Height, depth, Interlaced, owner_->OnProgress, damage, [&] {
    if (item.Width == 0 || item.Height == 0) throw EInvalidGraphic(kInvalidBitmapText, "a frame without pixels");
    // The indices go straight into the bitmap's rows, counted before they are taken.
    image = NewPictureImage(kGifFormatName, item.Width, item.Height, QImage::Format_Indexed8);
    image.fill(0);
    QList<QRgb> table(1 << depth, qRgb(128, 128, 128));
    for (int32_t i = 0; i < item.ColorMap.Count && i < (1 << depth); ++i) {
      const TGIFColor& c = item.ColorMap.Colors[static_cast<size_t>(i)];
      table[i] = qRgb(c.Red, c.Green, c.Blue);
    }
    image.setColorTable(table);
    return std::pair<uint8_t*, size_t>(image.bits(), static_cast<size_t>(image.bytesPerLine()));
  });
  bitmap_ = std::make_unique<TBitmapGraphic>(image, depth);
  return corrupt;
}

}  // namespace qira

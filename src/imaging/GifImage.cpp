#include "imaging/GifImage.h"

#include <QMimeData>

#include <algorithm>
#include <cstdio>
#include <new>

#include "imaging/TransparentStretch.h"
#include "platform/BinaryStream.h"
#include "platform/GraphicErrors.h"

namespace qira {

// Sections: colour tables and errors; extensions; TGIFFrame; TGIFImage
// (life, graphic, assignment, drawing, streaming, clipboard); start-up.
// Reading is in GifReader.cpp, writing in GifWriter.cpp.

// ------------------------------------------------- colour tables and errors

TColor TGIFColorMap::Color(int32_t i) const {
  const TGIFColor& c = Colors[static_cast<size_t>(i & 0xFF)];
  return MakeColor(c.Red, c.Green, c.Blue);
}

int32_t TGIFColorMap::IndexOf(TColor color) const {
  for (int32_t i = 0; i < Count; ++i)
    if (Color(i) == (color & 0xFFFFFF)) return i;
  return -1;
}

std::string UnrecognizedExtensionText(uint8_t label) {
  char text[48];
  std::snprintf(text, sizeof text, "Unrecognized extension block: %.2x", label);
  return text;
}

void GIFError(const std::string& text) { throw EInvalidGraphicOperation(text); }

int32_t ColorsToBits(int32_t count) {
  for (int32_t bits = 1; bits <= 8; ++bits)
    if (count == (1 << bits)) return bits;
  GIFError(sGIFWrongColors);
}

// ---------------------------------------------------------------- extensions

TExtension::TExtension(TGIFExtensionKind kind) : kind_(kind) {
  switch (kind) {
    case TGIFExtensionKind::etGraphic: Header = {4, 0, 0, 0, 0, 0}; break;
    case TGIFExtensionKind::etPlainText: Header.assign(13, 0), Header[0] = 12; break;
    case TGIFExtensionKind::etApplication: Header.assign(12, 0), Header[0] = 11; break;
    case TGIFExtensionKind::etComment: break;
  }
}

uint8_t TExtension::Label() const {
  switch (kind_) {
    case TGIFExtensionKind::etGraphic: return kGraphicControlLabel;
    case TGIFExtensionKind::etPlainText: return kPlainTextLabel;
    case TGIFExtensionKind::etApplication: return kApplicationLabel;
    default: return kCommentLabel;
  }
}

void TExtension::SetFlags(uint8_t flags) {
  if (Header.size() > 1) Header[1] = flags;
}

uint16_t TExtension::Delay() const {
  return Header.size() > 3 ? static_cast<uint16_t>(Header[2] | (Header[3] << 8)) : 0;
}

void TExtension::SetDelay(uint16_t delay) {
  if (Header.size() <= 3) return;
  Header[2] = static_cast<uint8_t>(delay);
  Header[3] = static_cast<uint8_t>(delay >> 8);
}

void TExtension::SetTransparentIndex(uint8_t index) {
  if (Header.size() > 4) Header[4] = index;
}

// ------------------------------------------------------------------ TGIFFrame

TGIFFrame::TGIFFrame(TGIFImage& owner) : owner_(&owner) {}

const TBitmapGraphic* TGIFFrame::Bitmap() const {
  if (!bitmap_ && item_ && !item_->ZipData.empty()) DecodeFrameToBitmap();
  return bitmap_.get();
}

int32_t TGIFFrame::Width() const {
  if (item_) return item_->Width;
  return bitmap_ ? bitmap_->Width() : 0;
}

int32_t TGIFFrame::Height() const {
  if (item_) return item_->Height;
  return bitmap_ ? bitmap_->Height() : 0;
}

const TGIFColorMap& TGIFFrame::ColorMap() const {
  static const TGIFColorMap none;
  return item_ ? item_->ColorMap : none;
}

void TGIFFrame::Assign(const TGIFFrame* source) {
  if (source == this) return;
  if (!source) {
    item_.reset();
    bitmap_.reset();
    return;
  }
  item_ = source->item_;
  Left = source->Left;
  Top = source->Top;
  Interlaced = source->Interlaced;
  const TBitmapGraphic* bitmap = source->Bitmap();
  bitmap_ = bitmap ? std::make_unique<TBitmapGraphic>(bitmap->Image(), bitmap->BitsPerPixel()) : nullptr;
  TransparentColor = source->TransparentColor;
  TransparentIndex = source->TransparentIndex;
  AnimateInterval = source->AnimateInterval;
  DisposalMethod = source->DisposalMethod;
  GrayScale = source->GrayScale;
  Corrupted = source->Corrupted;
  extensions_.clear();
  for (const auto& e : source->extensions_) extensions_.push_back(std::make_unique<TExtension>(*e));
  // A frame of another image cannot lean on that image's global table.
  LocalColors = &source->Owner() == owner_ ? source->LocalColors : true;
  GrowScreen();
}

void TGIFFrame::Assign(const TGraphic* source) {
  if (const auto* gif = dynamic_cast<const TGIFImage*>(source)) {
    if (gif->FrameCount() == 0) {
      Assign(static_cast<const TGIFFrame*>(nullptr));
      return;
    }
    Assign(&gif->Frame(gif->FrameIndex() >= 0 ? gif->FrameIndex() : 0));
    return;
  }
  if (!source || source->Empty()) {
    Assign(static_cast<const TGIFFrame*>(nullptr));
    return;
  }
  item_.reset();
  extensions_.clear();
  TransparentColor = kGifNoColor;
  TransparentIndex = -1;
  const auto* bitmap = dynamic_cast<const TBitmapGraphic*>(source);
  const QImage image = source->ToImage();
  bool seeThrough = false;
  if (image.hasAlphaChannel()) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height() && !seeThrough; ++y) {
      const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
      for (int x = 0; x < argb.width(); ++x)
        if (qAlpha(row[x]) < 255) {
          seeThrough = true;
          break;
        }
    }
  }
  if (seeThrough) {
    // As on the platform, see-through parts take the canvas's brush colour (white)
    // and that colour becomes the transparent one.
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    TCanvas canvas(&flat);
    canvas.Draw(0, 0, image.convertToFormat(QImage::Format_ARGB32));
    bitmap_ = std::make_unique<TBitmapGraphic>(flat, 24);
    TransparentColor = clWhite;
  } else if (bitmap) {
    bitmap_ = std::make_unique<TBitmapGraphic>(bitmap->Image(), bitmap->BitsPerPixel());
  } else {
    bitmap_ = std::make_unique<TBitmapGraphic>(image);
  }
  GrowScreen();
}

void TGIFFrame::GrowScreen() {
  owner_->GrowScreenTo(Left + Width(), Top + Height());
}

// ------------------------------------------------------------------ TGIFImage

const TGraphicClass& TGIFImage::StaticClass() {
  static const TGraphicClass cls("TGIFImage", []() -> std::unique_ptr<TGraphic> {
    return std::make_unique<TGIFImage>();
  });
  return cls;
}

TGIFImage::TGIFImage() : data_(std::make_shared<TGIFData>()) { data_->ColorMap.Count = 0; }

TGIFImage::~TGIFImage() = default;

TGIFData& TGIFImage::MutableData() { return TGIFData::Unshared(data_); }

void TGIFImage::ResetImage() {
  frames_.clear();
  data_ = std::make_shared<TGIFData>();
  frameIndex_ = -1;
  version_ = TGIFVersion::gvUnknown;
  screenWidth_ = 0;
  screenHeight_ = 0;
  BackgroundColor = kGifNoColor;
  Looping = false;
  RepeatCount = 1;
  loaded_ = false;
}

void TGIFImage::Clear() {
  ResetImage();
  Changed();
}

TGIFFrame& TGIFImage::Frame(int32_t index) const {
  if (index < 0 || index >= FrameCount()) throw EInvalidGraphicOperation("List index out of bounds (" +
                                                                         std::to_string(index) + ")");
  return *frames_[static_cast<size_t>(index)];
}

void TGIFImage::SetFrameIndex(int32_t index) {
  if (index < -1 || index >= FrameCount() || index == frameIndex_) return;
  frameIndex_ = index;
  Changed();
}

void TGIFImage::GrowScreenTo(int32_t right, int32_t bottom) {
  screenWidth_ = std::clamp(std::max(screenWidth_, right), 0, 65535);
  screenHeight_ = std::clamp(std::max(screenHeight_, bottom), 0, 65535);
}

void TGIFImage::SetWidth(int32_t) { GIFError(sGIFSizeChange); }
void TGIFImage::SetHeight(int32_t) { GIFError(sGIFSizeChange); }

int32_t TGIFImage::AddFrame(const TGraphic& graphic) {
  auto frame = std::make_unique<TGIFFrame>(*this);
  TGIFFrame& added = *frame;
  frames_.push_back(std::move(frame));
  frameIndex_ = FrameCount() - 1;
  added.Assign(&graphic);
  UpdateVersion();
  Changed();
  return frameIndex_;
}

void TGIFImage::UpdateVersion() {
  if (version_ == TGIFVersion::gvUnknown) version_ = TGIFVersion::gv87a;
  if (FrameCount() > 1) version_ = TGIFVersion::gv89a;
}

const TBitmapGraphic* TGIFImage::ShownBitmap() const {
  if (frameIndex_ < 0) return nullptr;
  const TBitmapGraphic* bitmap = Frame(frameIndex_).Bitmap();
  return bitmap && !bitmap->Empty() ? bitmap : nullptr;
}

QSize TGIFImage::ImageSize() const {
  const TBitmapGraphic* bitmap = ShownBitmap();
  return bitmap ? bitmap->Image().size() : QSize(0, 0);
}

QImage TGIFImage::ShownRows(int32_t top, int32_t rows) const {
  const TGIFFrame& frame = Frame(frameIndex_);
  const QImage& source = ShownBitmap()->Image();
  const bool seeThrough = Transparent && frame.TransparentColor != kGifNoColor;
  const QImage::Format format = seeThrough ? QImage::Format_ARGB32 : QImage::Format_RGB32;
  QImage part = RowsView(source, top, rows);
  part.setDotsPerMeterX(source.dotsPerMeterX());
  part.setDotsPerMeterY(source.dotsPerMeterY());
  // The rows are the bitmap's own memory: what is handed out is always a new image.
  QImage image = source.format() == format ? part.copy() : ConvertedOnCallingThread(part, format);
  if (image.isNull()) throw std::bad_alloc();
  if (!seeThrough) return image;
  const bool byIndex = frame.TransparentIndex >= 0 && source.format() == QImage::Format_Indexed8;
  const QRgb see = 0xFF000000u | ColorToPixel(frame.TransparentColor);
  for (int y = 0; y < image.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    const uchar* indices = byIndex ? source.constScanLine(top + y) : nullptr;
    for (int x = 0; x < image.width(); ++x)
      if (byIndex ? indices[x] == frame.TransparentIndex : row[x] == see) row[x] = 0;
  }
  return image;
}

QImage TGIFImage::ToImage() const {
  const TBitmapGraphic* bitmap = ShownBitmap();
  if (!bitmap) return {};
  const int32_t width = bitmap->Width();
  const int32_t height = bitmap->Height();
  return CountedPictureImage(kGifFormatName, width, height, ImageBytes(width, height, QImage::Format_ARGB32),
                             [&] { return ShownRows(0, height); });
}

void TGIFImage::ForEachImageStrip(int32_t rowsPerStrip, const TImageStripVisit& visit) const {
  const TBitmapGraphic* bitmap = ShownBitmap();
  const int32_t height = bitmap ? bitmap->Height() : 0;
  rowsPerStrip = std::max(rowsPerStrip, 1);
  for (int32_t top = 0; top < height; top += rowsPerStrip) visit(top, ShownRows(top, std::min(rowsPerStrip, height - top)));
}

void TGIFImage::AssignImage(const QImage& image) {
  ResetImage();
  if (image.isNull()) {
    Changed();
    return;
  }
  TBitmapGraphic bitmap(image);
  AddFrame(bitmap);
}

void TGIFImage::Assign(const TGraphic& source) {
  if (&source == this) return;
  if (const auto* gif = dynamic_cast<const TGIFImage*>(&source)) {
    ResetImage();
    data_ = gif->data_;
    version_ = gif->version_;
    BackgroundColor = gif->BackgroundColor;
    Looping = gif->Looping;
    RepeatCount = gif->RepeatCount;
    screenWidth_ = gif->screenWidth_;
    screenHeight_ = gif->screenHeight_;
    for (const auto& sourceFrame : gif->frames_) {
      auto frame = std::make_unique<TGIFFrame>(*this);
      frame->Assign(sourceFrame.get());
      frame->LocalColors = sourceFrame->LocalColors;
      frames_.push_back(std::move(frame));
    }
    frameIndex_ = gif->frameIndex_;
    loaded_ = gif->loaded_;
    Changed();
    return;
  }
  if (const auto* bitmap = dynamic_cast<const TBitmapGraphic*>(&source)) {
    ResetImage();
    AddFrame(*bitmap);
    return;
  }
  TGraphic::Assign(source);
}

void TGIFImage::Assign(const TGIFFrame& frame) {
  // The frame may belong to this image: copy it out before the frames go.
  TGIFImage holder;
  holder.data_ = frame.Owner().data_;
  auto copy = std::make_unique<TGIFFrame>(holder);
  copy->Assign(&frame);
  copy->LocalColors = frame.LocalColors;
  holder.frames_.push_back(std::move(copy));

  const TGIFData& source = *frame.Owner().data_;
  ResetImage();
  TGIFData& data = MutableData();
  data.ColorResBits = source.ColorResBits;
  data.BitsPerPixel = source.BitsPerPixel;
  data.ColorMap = source.ColorMap;
  auto added = std::make_unique<TGIFFrame>(*this);
  added->Assign(holder.frames_.front().get());
  added->LocalColors = holder.frames_.front()->LocalColors;
  frames_.push_back(std::move(added));
  frameIndex_ = 0;
  UpdateVersion();
  Changed();
}

void TGIFImage::AssignTo(TBitmap& bitmap) const {
  const QImage image = ToImage();
  if (image.isNull()) {
    bitmap.SetSize(0, 0);
    return;
  }
  bitmap.SetSize(image.width(), image.height());
  const QImage rgb = frameIndex_ >= 0 && Frame(frameIndex_).Bitmap()
                         ? Frame(frameIndex_).Bitmap()->Image().convertToFormat(QImage::Format_RGB32)
                         : image.convertToFormat(QImage::Format_RGB32);
  for (int y = 0; y < rgb.height(); ++y)
    std::copy_n(reinterpret_cast<const uint32_t*>(rgb.constScanLine(y)), rgb.width(), bitmap.ScanLine(y));
}

void TGIFImage::Draw(TCanvas& canvas, const TRect& rect) const {
  if (frameIndex_ < 0) return;
  const TGIFFrame& frame = Frame(frameIndex_);
  const TBitmapGraphic* bitmap = frame.Bitmap();
  if (!bitmap || bitmap->Empty()) return;
  if (frame.TransparentColor != kGifNoColor && Transparent) {
    if (frame.TransparentIndex >= 0 && bitmap->Image().format() == QImage::Format_Indexed8) {
      // The mask must pick out the index, not every entry of its colour.
      const TUniqueEntryPicture unique = WithUniqueEntryColor(bitmap->Image(), frame.TransparentIndex);
      StretchDrawMasked(canvas, rect, unique.Image, unique.Color);
    } else {
      StretchDrawMasked(canvas, rect, bitmap->Image(), frame.TransparentColor);
    }
  } else {
    canvas.StretchDraw(rect, bitmap->Image().convertToFormat(QImage::Format_RGB32));
  }
}

QList<QRgb> TGIFImage::Palette() const {
  if (frameIndex_ < 0) return {};
  const TBitmapGraphic* bitmap = Frame(frameIndex_).Bitmap();
  return bitmap ? bitmap->Image().colorTable() : QList<QRgb>();
}

// ---- streaming ----

void TGIFImage::LoadFromStream(TBinaryStream& stream) { ReadGIFStream(stream.Remaining(), stream); }

void TGIFImage::ReadGIFStream(int32_t size, TBinaryStream& stream) {
  if (size < 0 || size > stream.Remaining()) GIFError(sGIFStreamRead);
  std::vector<uint8_t> bytes;
  ResizePictureData(kGifFormatName, bytes, size);
  if (size > 0 && !stream.Read(bytes.data(), size)) GIFError(sGIFStreamRead);
  ReadInto(bytes.data(), bytes.size());
}

void TGIFImage::SaveToStream(TBinaryStream& stream) const {
  const std::vector<uint8_t> bytes = WriteGIFStream();
  if (!stream.Write(bytes.data(), static_cast<int32_t>(bytes.size()))) throw EGraphicFileError("Stream write error");
}

void TGIFImage::ReadData(TBinaryStream& stream) {
  int32_t size = 0;
  if (!stream.ReadInt32(size)) GIFError(sGIFStreamRead);
  ReadGIFStream(size, stream);
}

void TGIFImage::WriteData(TBinaryStream& stream) const {
  const std::vector<uint8_t> bytes = WriteGIFStream();
  if (!stream.WriteInt32(static_cast<int32_t>(bytes.size())) ||
      !stream.Write(bytes.data(), static_cast<int32_t>(bytes.size())))
    throw EGraphicFileError("Stream write error");
}

// ---- clipboard ----

void TGIFImage::SaveToClipboardFormat(QMimeData& data) const {
  const std::vector<uint8_t> bytes = WriteGIFStream();
  const TBitmapGraphic* first = frames_.front()->Bitmap();
  if (first) data.setImageData(first->Image().convertToFormat(QImage::Format_RGB32));
  data.setData(kGifClipboardFormat,
               QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
}

void TGIFImage::LoadFromClipboardFormat(const QMimeData& data) {
  if (data.hasFormat(kGifClipboardFormat)) {
    const QByteArray bytes = data.data(kGifClipboardFormat);
    ReadInto(reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size()));
    return;
  }
  const QImage image = data.hasImage() ? qvariant_cast<QImage>(data.imageData()) : QImage();
  if (image.isNull()) throw EInvalidGraphic(kInvalidBitmapText, "no picture on the clipboard");
  AssignImage(image);
}

// ------------------------------------------------------------------ start-up

void RegisterGifFileFormat() {
  RegisterPictureFileFormat("gif", kGifFormatName, TGIFImage::StaticClass());
}

}  // namespace qira

#include "platform/Picture.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "platform/AsciiCase.h"
#include "platform/AvailableMemory.h"
#include "platform/BinaryStream.h"
#include "platform/BmpCodec.h"

namespace qira {

namespace {

std::string_view WithoutDot(std::string_view extension) {
  if (!extension.empty() && extension.front() == '.') extension.remove_prefix(1);
  return extension;
}

// The sixteen colours of the classic 4-bit palette, used to reduce a picture
// to 4 bits per pixel.
QList<QRgb> SixteenColorTable() {
  return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
          qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(128, 128, 128),
          qRgb(192, 192, 192), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
          qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}

std::vector<TPictureFileFormat>& Formats() {
  static std::vector<TPictureFileFormat> formats;
  return formats;
}

}  // namespace

// ------------------------------------------------------------------ TGraphic

void TGraphic::LoadFromFile(const std::string& utf8Path) {
  std::vector<uint8_t> bytes;
  std::string message;
  if (!ReadWholeFileOrTell(utf8Path, bytes, message)) throw EGraphicFileError(message);
  TMemoryStream stream(std::move(bytes));
  LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& utf8Path) const {
  std::string error;
  std::unique_ptr<TSaveFile> file = TSaveFile::Create(utf8Path, &error);
  if (!file) throw EGraphicFileError(CannotFileText("create", utf8Path, error));
  try {
    SaveToStream(file->Stream());
  } catch (const EGraphicFileError& e) {
    throw EGraphicFileError(CannotFileText("create", utf8Path, file->FailureReason(e.what())));
  }
  if (!file->Commit(&error)) throw EGraphicFileError(CannotFileText("create", utf8Path, error));
}

void TGraphic::ForEachImageStrip(int32_t rowsPerStrip, const TImageStripVisit& visit) const {
  const QImage image = ToImage();
  if (image.isNull() && Width() > 0 && Height() > 0) throw std::bad_alloc();
  qira::ForEachImageStrip(image, rowsPerStrip, visit);
}

std::unique_ptr<TGraphic> TGraphic::Clone() const {
  std::unique_ptr<TGraphic> copy = GraphicClass().Create();
  copy->Assign(*this);
  copy->transparent_ = transparent_;
  return copy;
}

void TGraphic::SetTransparent(bool value) {
  if (transparent_ == value) return;
  transparent_ = value;
  Changed();
}

QImage TGraphic::DrawnImage() const {
  QImage image = ToImage();
  if (!transparent_ || image.isNull()) return image;
  image = image.convertToFormat(QImage::Format_ARGB32);
  const QRgb key = image.pixel(0, image.height() - 1) | 0xFF000000u;
  for (int y = 0; y < image.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x)
      if ((row[x] | 0xFF000000u) == key) row[x] = 0;
  }
  return image;
}

// ----------------------------------------------------------- TBitmapGraphic

const TGraphicClass& TBitmapGraphic::StaticClass() {
  static const TGraphicClass cls("TBitmap", []() -> std::unique_ptr<TGraphic> {
    return std::make_unique<TBitmapGraphic>();
  });
  return cls;
}

TBitmapGraphic::TBitmapGraphic(const QImage& image, int32_t bitsPerPixel) {
  if (bitsPerPixel == 0) {
    AssignImage(image);
  } else {
    Store(image, bitsPerPixel);
  }
}

void TBitmapGraphic::Store(QImage image, int32_t bitsPerPixel) {
  const QImage::Format format = bitsPerPixel <= 8    ? QImage::Format_Indexed8
                                : bitsPerPixel == 32 ? QImage::Format_ARGB32
                                                     : QImage::Format_RGB32;
  image_ = ConvertedPictureImage(kBitmapFormatName, image, format);
  bitsPerPixel_ = bitsPerPixel;
}

void TBitmapGraphic::LoadFromStream(TBinaryStream& stream) {
  TBmpPicture picture = ReadBmp(stream);
  Store(std::move(picture.image), picture.bitsPerPixel);
  Changed();
}

void TBitmapGraphic::SaveToStream(TBinaryStream& stream) const {
  WriteBmp(stream, image_, bitsPerPixel_ == 16 ? 24 : bitsPerPixel_);
}

void TBitmapGraphic::AssignImage(const QImage& image) {
  int32_t bits = 24;
  if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB) {
    bits = 1;
  } else if (image.format() == QImage::Format_Indexed8) {
    bits = 8;
  } else if (image.hasAlphaChannel()) {
    bits = 32;
  }
  Store(image, bits);
  Changed();
}

void TBitmapGraphic::Assign(const TGraphic& source) {
  if (const auto* bitmap = dynamic_cast<const TBitmapGraphic*>(&source)) {
    Store(bitmap->image_, bitmap->bitsPerPixel_);
    Changed();
  } else {
    TGraphic::Assign(source);
  }
}

void TBitmapGraphic::SetBitsPerPixel(int32_t bitsPerPixel) {
  if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel != 16 &&
      bitsPerPixel != 24 && bitsPerPixel != 32) {
    throw EInvalidGraphicOperation("Invalid pixel format");
  }
  if (bitsPerPixel == bitsPerPixel_) return;
  QImage image = image_;
  if (!image.isNull()) {
    if (bitsPerPixel == 1) {
      image = image.convertToFormat(QImage::Format_Mono).convertToFormat(QImage::Format_Indexed8);
    } else if (bitsPerPixel == 4) {
      image = image.convertToFormat(QImage::Format_Indexed8, SixteenColorTable(), Qt::ThresholdDither);
    }
  }
  Store(std::move(image), bitsPerPixel);
  Changed();
}

// ----------------------------------------------------------------- TPicture

TPicture::~TPicture() = default;

void TPicture::SetGraphic(const TGraphic* graphic) { SetGraphic(graphic ? graphic->Clone() : nullptr); }

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic) {
  graphic_ = std::move(graphic);
  if (graphic_) graphic_->OnChange = [this](TGraphic&) { Changed(); };
  Changed();
}

void TPicture::LoadFromFile(const std::string& utf8Path) {
  const std::string_view extension = WithoutDot(FileNameExtension(utf8Path));
  const TGraphicClass* cls = FindPictureFileFormat(extension);
  if (!cls) throw EInvalidGraphic("Unknown picture file extension (." + std::string(extension) + ")");
  std::unique_ptr<TGraphic> graphic = cls->Create();
  graphic->LoadFromFile(utf8Path);
  SetGraphic(std::move(graphic));
}

void TPicture::SaveToFile(const std::string& utf8Path) const {
  if (graphic_) graphic_->SaveToFile(utf8Path);
}

TBitmapGraphic& TPicture::Bitmap() {
  if (auto* bitmap = dynamic_cast<TBitmapGraphic*>(graphic_.get())) return *bitmap;
  auto bitmap = std::make_unique<TBitmapGraphic>();
  if (graphic_) bitmap->AssignImage(graphic_->ToImage());
  TBitmapGraphic& result = *bitmap;
  SetGraphic(std::move(bitmap));
  return result;
}

// ----------------------------------------------------------------- registry

void RegisterPictureFileFormat(std::string_view extension, std::string_view description,
                               const TGraphicClass& graphicClass) {
  const std::string key = LowerAscii(WithoutDot(extension));
  auto& formats = Formats();
  auto it = std::find_if(formats.begin(), formats.end(),
                         [&](const TPictureFileFormat& f) { return f.extension == key; });
  if (it != formats.end()) {
    it->description = std::string(description);
    it->graphicClass = &graphicClass;
  } else {
    formats.push_back({key, std::string(description), &graphicClass});
  }
}

void UnregisterPictureGraphicClass(const TGraphicClass& graphicClass) {
  auto& formats = Formats();
  std::erase_if(formats, [&](const TPictureFileFormat& f) { return f.graphicClass == &graphicClass; });
}

const TGraphicClass* FindPictureFileFormat(std::string_view extension) {
  const std::string key = LowerAscii(WithoutDot(extension));
  for (const TPictureFileFormat& f : Formats()) {
    if (f.extension == key) return f.graphicClass;
  }
  return nullptr;
}

std::vector<TPictureFileFormat> PictureFileFormats() { return Formats(); }

void RegisterBitmapFileFormat() { RegisterPictureFileFormat("bmp", kBitmapFormatName, TBitmapGraphic::StaticClass()); }

std::string GraphicFormatName(const TGraphicClass& graphicClass) {
  for (const TPictureFileFormat& f : Formats()) {
    if (f.graphicClass == &graphicClass) return f.description;
  }
  return graphicClass.ClassName();
}

std::string_view FileNameExtension(std::string_view path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  return path.substr(dot);
}

// ------------------------------------------------------------------- memory

QImage RowsView(const QImage& image, int32_t top, int32_t rows) {
  QImage view(image.constScanLine(top), image.width(), rows, image.bytesPerLine(), image.format());
  if (image.colorCount() > 0) view.setColorTable(image.colorTable());
  return view;
}

void ForEachImageStrip(const QImage& image, int32_t rowsPerStrip, const TImageStripVisit& visit) {
  const int32_t height = image.isNull() ? 0 : image.height();
  const bool inPlace = image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32;
  rowsPerStrip = std::max(rowsPerStrip, 1);
  for (int32_t top = 0; top < height; top += rowsPerStrip) {
    const int32_t rows = std::min(rowsPerStrip, height - top);
    const QImage view = RowsView(image, top, rows);
    visit(top, inPlace ? view : ConvertedOnCallingThread(view, QImage::Format_ARGB32));
  }
}

QImage ConvertedOnCallingThread(const QImage& image, QImage::Format format) {
  if (image.isNull() || image.format() == format) return image;
  // Qt keeps a conversion of fewer than twice this many pixels on the calling thread.
  constexpr int64_t kBandPixels = int64_t{1} << 16;
  const int width = image.width();
  const int height = image.height();
  const bool wholeTable = format == QImage::Format_Mono || format == QImage::Format_MonoLSB ||
                          format == QImage::Format_Indexed8;
  if (wholeTable || int64_t{width} * height <= kBandPixels) {
    QImage converted = image.convertToFormat(format);
    if (converted.isNull()) throw std::bad_alloc();
    return converted;
  }
  QImage converted(width, height, format);
  if (converted.isNull()) throw std::bad_alloc();
  const int bandRows = static_cast<int>(std::max<int64_t>(kBandPixels / width, 1));
  for (int top = 0; top < height; top += bandRows) {
    const int rows = std::min(bandRows, height - top);
    const QImage part = RowsView(image, top, rows).convertToFormat(format);
    if (part.isNull()) throw std::bad_alloc();
    for (int y = 0; y < rows; ++y)
      std::memcpy(converted.scanLine(top + y), part.constScanLine(y), static_cast<size_t>(converted.bytesPerLine()));
  }
  converted.setDotsPerMeterX(image.dotsPerMeterX());
  converted.setDotsPerMeterY(image.dotsPerMeterY());
  return converted;
}

namespace {
std::string MegabytesUp(uint64_t bytes) { return std::to_string((bytes + (uint64_t{1} << 20) - 1) >> 20) + " MB"; }
std::string MegabytesDown(uint64_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

std::string PictureTooLargeMessage(std::string_view formatName, int64_t width, int64_t height, uint64_t neededBytes,
                                   uint64_t usableBytes) {
  constexpr auto kMax = static_cast<uint64_t>(INT64_MAX);
  return "This \"" + std::string(formatName) + "\" image of " + std::to_string(width) + " x " +
         std::to_string(height) + " pixels is too large: it needs " + MegabytesUp(neededBytes) + " of memory, " +
         MemoryShortfallClause(static_cast<int64_t>(std::min(neededBytes, kMax)),
                               static_cast<int64_t>(std::min(usableBytes, kMax))) +
         ".";
}

}  // namespace

std::string PictureTooLargeNow(std::string_view formatName, int64_t width, int64_t height, uint64_t neededBytes) {
  const auto usable = static_cast<uint64_t>(std::max<int64_t>(AvailableMemory(), 0));
  return PictureTooLargeMessage(formatName, width, height, neededBytes, usable);
}

std::string PictureMemoryProblem(std::string_view formatName, int64_t width, int64_t height, uint64_t bytes) {
  if (bytes <= static_cast<uint64_t>(INT64_MAX) && MemoryFits(static_cast<int64_t>(bytes))) return {};
  return PictureTooLargeNow(formatName, width, height, bytes);
}

namespace {
std::string PictureAboveLimit(std::string_view formatName, int64_t width, int64_t height, std::string_view done,
                              const std::string& largest) {
  return "This \"" + std::string(formatName) + "\" image of " + std::to_string(width) + " x " +
         std::to_string(height) + " pixels is larger than the largest picture that can be " + std::string(done) +
         " (" + largest + ").";
}
}  // namespace

std::string PictureAboveReadLimit(std::string_view formatName, int64_t width, int64_t height) {
  return PictureAboveLimit(formatName, width, height, "read", std::to_string(kMaxBmpPixels) + " pixels");
}

void RaisePictureAboveReadLimit(std::string_view formatName, int64_t width, int64_t height) {
  throw EGraphicTooLarge(PictureAboveReadLimit(formatName, width, height),
                         "picture of " + std::to_string(width) + " x " + std::to_string(height) +
                             " pixels is above the readers' limit");
}

std::string PictureAboveStorageLimit(std::string_view formatName, int64_t width, int64_t height,
                                     uint64_t storageBytes, uint64_t maxStorageBytes) {
  return PictureAboveLimit(formatName, width, height, "held",
                           "its pixel data takes " + MegabytesUp(storageBytes) + ", at most " +
                               MegabytesDown(maxStorageBytes));
}

uint64_t ImageBytes(int64_t width, int64_t height, QImage::Format format) {
  const auto depth = static_cast<uint64_t>(QImage::toPixelFormat(format).bitsPerPixel());
  const uint64_t stride = (static_cast<uint64_t>(std::clamp<int64_t>(width, 0, INT32_MAX)) * depth + 31) / 32 * 4;
  const auto rows = static_cast<uint64_t>(std::clamp<int64_t>(height, 0, INT32_MAX));
  // Saturated where no memory could hold it, so the sum of a refusal cannot wrap.
  return stride != 0 && rows > static_cast<uint64_t>(INT64_MAX) / stride ? static_cast<uint64_t>(INT64_MAX)
                                                                          : stride * rows;
}

std::string PictureDataTooLarge(std::string_view formatName, int64_t n) {
  return TooLargeText("This \"" + std::string(formatName) + "\" image", "read", n);
}

void ResizePictureData(std::string_view formatName, std::vector<uint8_t>& bytes, int64_t n) {
  if (!ResizeCounted(bytes, n))
    throw EGraphicTooLarge(PictureDataTooLarge(formatName, n), "not enough memory for the picture data");
}

std::string CountedPictureAllocation(std::string_view formatName, int64_t width, int64_t height, uint64_t bytes,
                                     const std::function<bool()>& allocate) {
  if (std::string problem = PictureMemoryProblem(formatName, width, height, bytes); !problem.empty()) return problem;
  bool had = false;
  try {
    had = allocate();
  } catch (const std::bad_alloc&) {
    had = false;
  }
  return had ? std::string() : PictureTooLargeNow(formatName, width, height, bytes);
}

QImage CountedPictureImage(std::string_view formatName, int32_t width, int32_t height, uint64_t bytes,
                           const std::function<QImage()>& make) {
  QImage image;
  const std::string refusal = CountedPictureAllocation(formatName, width, height, bytes, [&] {
    image = make();
    return !image.isNull() || width <= 0 || height <= 0;
  });
  if (!refusal.empty()) throw EGraphicTooLarge(refusal, "not enough memory for the picture");
  return image;
}

QImage NewPictureImage(std::string_view formatName, int32_t width, int32_t height, QImage::Format format,
                       uint64_t extraBytes) {
  return CountedPictureImage(formatName, width, height, ImageBytes(width, height, format) + extraBytes,
                             [&] { return QImage(width, height, format); });
}

QImage ConvertedPictureImage(std::string_view formatName, const QImage& image, QImage::Format format) {
  if (image.isNull() || image.format() == format) return image;
  return CountedPictureImage(formatName, image.width(), image.height(),
                             ImageBytes(image.width(), image.height(), format),
                             [&] { return ConvertedOnCallingThread(image, format); });
}

}  // namespace qira

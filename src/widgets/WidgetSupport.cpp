#include "widgets/WidgetSupport.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QMimeData>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>
#include <cstdlib>
#include <cstring>

#include "platform/BinaryStream.h"
#include "platform/GraphicErrors.h"
#include "platform/Services.h"
#include "widgets/FormattedText.h"

namespace qira {

int32_t LargerInteger(int32_t a, int32_t b) { return a > b ? a : b; }

int32_t SmallerInteger(int32_t a, int32_t b) { return a < b ? a : b; }

namespace {

// The nearest-pixel stretch of the source part of image (any format) into the
// destination rectangle; pixels of the colour `transparent` are left out when given.
void StretchCopy(TCanvas& dest, int32_t dstX, int32_t dstY, int32_t dstW, int32_t dstH, const QImage& source,
                 int32_t srcX, int32_t srcY, int32_t srcW, int32_t srcH, std::optional<TColor> transparent) {
  if (source.isNull() || dstW < 1 || dstH < 1 || srcW < 1 || srcH < 1) return;
  const QImage image = source.convertToFormat(QImage::Format_RGB32);
  // Only destination pixels inside the image are visited, so a huge rectangle costs
  // no more than the image is large.
  const int64_t x0 = std::max<int64_t>(dstX, 0);
  const int64_t y0 = std::max<int64_t>(dstY, 0);
  const int64_t x1 = std::min<int64_t>(static_cast<int64_t>(dstX) + dstW, dest.Width());
  const int64_t y1 = std::min<int64_t>(static_cast<int64_t>(dstY) + dstH, dest.Height());
  for (int64_t y = y0; y < y1; ++y) {
    const int64_t sy = srcY + (y - dstY) * srcH / dstH;
    if (sy < 0 || sy >= image.height()) continue;
    const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(static_cast<int>(sy)));
    for (int64_t x = x0; x < x1; ++x) {
      const int64_t sx = srcX + (x - dstX) * srcW / dstW;
      if (sx < 0 || sx >= image.width()) continue;
      const TColor c = PixelToColor(row[sx]);
      if (transparent && c == *transparent) continue;
      dest.SetPixel(static_cast<int32_t>(x), static_cast<int32_t>(y), c);
    }
  }
}

bool IsMonochrome(const QImage& image) {
  return image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB;
}

}  // namespace

void StretchImageTransparent(TCanvas& dest, const QImage& image, TColor transparentColor, int32_t dstX, int32_t dstY,
                             int32_t dstW, int32_t dstH, int32_t srcX, int32_t srcY, int32_t srcW, int32_t srcH) {
  if (image.isNull()) return;
  if (dstW < 1) dstW = image.width();
  if (dstH < 1) dstH = image.height();
  if (srcW < 1 || srcH < 1) {
    srcX = 0;
    srcY = 0;
    srcW = image.width();
    srcH = image.height();
  }
  if (transparentColor == clNone) {
    StretchCopy(dest, dstX, dstY, dstW, dstH, image, srcX, srcY, srcW, srcH, std::nullopt);
    return;
  }
  TColor transparent = ColorToRGB(transparentColor) & 0xFFFFFF;
  if (IsMonochrome(image))
    transparent = clWhite;
  else if (transparentColor == clDefault)
    transparent = PixelToColor(image.pixel(0, image.height() - 1));
  StretchBltTransparent(dest, dstX, dstY, dstW, dstH, image, srcX, srcY, srcW, srcH, transparent,
                        IsMonochrome(image) ? QList<QRgb>{} : image.colorTable());
}

void StretchBitmapTransparent(TCanvas& dest, const TBitmap& bitmap, TColor transparentColor, int32_t dstX,
                              int32_t dstY, int32_t dstW, int32_t dstH, int32_t srcX, int32_t srcY, int32_t srcW,
                              int32_t srcH) {
  StretchImageTransparent(dest, bitmap.Image(), transparentColor, dstX, dstY, dstW, dstH, srcX, srcY, srcW, srcH);
}

void StretchBitmapPartTransparent(TCanvas& dest, int32_t dstX, int32_t dstY, int32_t dstW, int32_t dstH,
                                  const TRect& srcRect, const TBitmap& bitmap, TColor transparentColor) {
  StretchBitmapTransparent(dest, bitmap, transparentColor, dstX, dstY, dstW, dstH, srcRect.Left, srcRect.Top,
                           srcRect.Width(), srcRect.Height());
}

void StretchBltTransparent(TCanvas& dest, int32_t dstX, int32_t dstY, int32_t dstW, int32_t dstH, const QImage& source,
                           int32_t srcX, int32_t srcY, int32_t srcW, int32_t srcH, TColor transparentRGB,
                           const QList<QRgb>& palette) {
  StretchCopy(dest, dstX, dstY, dstW, dstH, source, srcX, srcY, srcW, srcH,
              NearestPaletteColor(transparentRGB, palette));
}

TColor NearestPaletteColor(TColor color, const QList<QRgb>& palette) {
  const TColor rgb = ColorToRGB(color) & 0xFFFFFF;
  if (palette.isEmpty()) return rgb;
  const auto channel = [](TColor c, int shift) { return static_cast<int64_t>((c >> shift) & 0xFF); };
  TColor best = rgb;
  int64_t bestDistance = -1;
  for (QRgb entry : palette) {
    const TColor c = PixelToColor(entry) & 0xFFFFFF;
    int64_t distance = 0;
    for (int shift : {0, 8, 16}) distance += (channel(c, shift) - channel(rgb, shift)) * (channel(c, shift) - channel(rgb, shift));
    if (bestDistance < 0 || distance < bestDistance) {
      best = c;
      bestDistance = distance;
    }
  }
  return best;
}

TColor PaletteColor(TColor color) { return (ColorToRGB(color) & 0xFFFFFF) | 0x02000000u; }

void* AllocGlobalZeroed(ptrdiff_t n) {
  if (n < 1) return nullptr;
  return std::calloc(static_cast<size_t>(n), 1);
}

void FreeGlobalAndNil(void*& block) {
  if (!block) return;
  std::free(block);
  block = nullptr;
}

bool MemoryEqual(const void* a, const void* b, size_t n) { return n == 0 || std::memcmp(a, b, n) == 0; }

void CopyMemory(void* dest, const void* source, size_t n) {
  if (n > 0) std::memcpy(dest, source, n);
}

void NotImplemented() {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
  }
  Services().Messages->ShowMessage(kNotImplementedText, TMessageKind::Information);
  throw EAbort();
}

Qt::CursorShape WidgetCursorShape(int32_t cursor) {
  switch (cursor) {
    case crHandPoint: return Qt::PointingHandCursor;
    case crDragMove: return Qt::ClosedHandCursor;
    default: return Qt::ArrowCursor;
  }
}

// ---- icons and the clipboard

namespace {

std::vector<std::pair<std::string, const TGraphicClass*>>& ClipboardFormats() {
  static std::vector<std::pair<std::string, const TGraphicClass*>> formats;
  return formats;
}

std::unique_ptr<TGraphic> NewIconGraphic() { return std::make_unique<TIconGraphic>(); }

// An ICO header: reserved 0, type 1 (icon), at least one image, and room for the
// directory entries the count announces.
bool LooksLikeIcon(const QByteArray& bytes) {
  if (bytes.size() < 6) return false;
  const auto u16 = [&](int at) {
    return static_cast<int>(static_cast<uint8_t>(bytes[at])) | (static_cast<int>(static_cast<uint8_t>(bytes[at + 1])) << 8);
  };
  const int count = u16(4);
  return u16(0) == 0 && u16(2) == 1 && count > 0 && bytes.size() >= 6 + 16 * static_cast<qsizetype>(count);
}

}  // namespace

const TGraphicClass& TIconGraphic::StaticClass() {
  static const TGraphicClass cls("TIcon", &NewIconGraphic);
  return cls;
}

void TIconGraphic::LoadFromStream(TBinaryStream& stream) {
  QByteArray bytes(stream.Remaining(), '\0');
  if (!stream.Read(bytes.data(), static_cast<int32_t>(bytes.size())) || !LooksLikeIcon(bytes))
    throw EInvalidGraphic("Icon image is not valid");
  QImage image = QImage::fromData(bytes, "ICO");
  if (image.isNull()) throw EInvalidGraphic("Icon image is not valid");
  image_ = std::move(image);
  Changed();
}

void TIconGraphic::SaveToStream(TBinaryStream& stream) const {
  if (image_.isNull()) return;
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image_.save(&buffer, "ICO")) throw EInvalidGraphic("Icon image is not valid");
  stream.Write(bytes.constData(), static_cast<int32_t>(bytes.size()));
}

void TIconGraphic::AssignImage(const QImage& image) {
  image_ = image;
  Changed();
}

void RegisterClipboardGraphicFormat(std::string_view format, const TGraphicClass& graphicClass) {
  for (auto& entry : ClipboardFormats()) {
    if (entry.first == format) {
      entry.second = &graphicClass;
      return;
    }
  }
  ClipboardFormats().emplace_back(std::string(format), &graphicClass);
}

const TGraphicClass* FindClipboardGraphicClass(std::string_view format) {
  for (const auto& entry : ClipboardFormats())
    if (entry.first == format) return entry.second;
  return nullptr;
}

void RegisterIconClipboardFormat() { RegisterClipboardGraphicFormat(kIconClipboardFormat, TIconGraphic::StaticClass()); }

bool PasteIntoPicture(const QMimeData& data, TPicture& picture) {
  for (const QString& format : data.formats()) {
    const TGraphicClass* kind = FindClipboardGraphicClass(format.toStdString());
    if (kind == nullptr) continue;
    const QByteArray bytes = data.data(format);
    TMemoryStream stream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    std::unique_ptr<TGraphic> graphic = kind->Create();
    graphic->LoadFromStream(stream);
    picture.SetGraphic(std::move(graphic));
    return true;
  }
  return false;
}

}  // namespace qira

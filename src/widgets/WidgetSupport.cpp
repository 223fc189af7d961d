#include "widgets/WidgetSupport.h"

#include <QGuiApplication>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/Services.h"
#include "widgets/FormattedText.h"

namespace qira {

int32_t LargerInteger(int32_t a, int32_t b) { return a > b ? a : b; }

int32_t SmallerInteger(int32_t a, int32_t b) { return a < b ? a : b; }

void StretchBitmapTransparent(TCanvas& dest, const TBitmap& bitmap, TColor transparentColor, int32_t dstX,
                              int32_t dstY, int32_t dstW, int32_t dstH, int32_t srcX, int32_t srcY, int32_t srcW,
                              int32_t srcH) {
  if (bitmap.Empty()) return;
  if (dstW < 1) dstW = bitmap.Width();
  if (dstH < 1) dstH = bitmap.Height();
  if (srcW < 1 || srcH < 1) {
    srcX = 0;
    srcY = 0;
    srcW = bitmap.Width();
    srcH = bitmap.Height();
  }
  const bool keepAll = transparentColor == clNone;
  TColor transparent = transparentColor & 0xFFFFFF;
  if (transparentColor == clDefault) transparent = bitmap.Pixel(0, bitmap.Height() - 1);

  // Only destination pixels inside the image are visited, so a huge rectangle costs
  // no more than the image is large.
  const int64_t x0 = std::max<int64_t>(dstX, 0);
  const int64_t y0 = std::max<int64_t>(dstY, 0);
  const int64_t x1 = std::min<int64_t>(static_cast<int64_t>(dstX) + dstW, dest.Width());
  const int64_t y1 = std::min<int64_t>(static_cast<int64_t>(dstY) + dstH, dest.Height());
  for (int64_t y = y0; y < y1; ++y) {
    const int64_t sy = srcY + (y - dstY) * srcH / dstH;
    for (int64_t x = x0; x < x1; ++x) {
      const int64_t sx = srcX + (x - dstX) * srcW / dstW;
      if (sx < 0 || sy < 0 || sx >= bitmap.Width() || sy >= bitmap.Height()) continue;
      const TColor c = bitmap.Pixel(static_cast<int32_t>(sx), static_cast<int32_t>(sy));
      if (!keepAll && c == transparent) continue;
      dest.SetPixel(static_cast<int32_t>(x), static_cast<int32_t>(y), c);
    }
  }
}

void StretchBitmapPartTransparent(TCanvas& dest, int32_t dstX, int32_t dstY, int32_t dstW, int32_t dstH,
                                  const TRect& srcRect, const TBitmap& bitmap, TColor transparentColor) {
  StretchBitmapTransparent(dest, bitmap, transparentColor, dstX, dstY, dstW, dstH, srcRect.Left, srcRect.Top,
                           srcRect.Width(), srcRect.Height());
}

void StretchBltTransparent(TCanvas& dest, int32_t dstX, int32_t dstY, int32_t dstW, int32_t dstH, const QImage& source,
                           int32_t srcX, int32_t srcY, int32_t srcW, int32_t srcH, TColor transparentRGB) {
  if (source.isNull() || dstW < 1 || dstH < 1 || srcW < 1 || srcH < 1) return;
  const QImage image = source.convertToFormat(QImage::Format_RGB32);
  const TColor transparent = ColorToRGB(transparentRGB) & 0xFFFFFF;
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
      if (c == transparent) continue;
      dest.SetPixel(static_cast<int32_t>(x), static_cast<int32_t>(y), c);
    }
  }
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

}  // namespace qira

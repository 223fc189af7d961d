#include "widgets/WidgetSupport.h"

#include <algorithm>

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

}  // namespace qira

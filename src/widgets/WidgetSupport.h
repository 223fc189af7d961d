#pragma once
// Small drawing and integer routines shared by the widgets: the larger and smaller
// of two integers, and the transparent stretch copy of a bitmap onto a canvas that
// the spin button draws its glyphs with.
#include <cstdint>

#include "platform/Canvas.h"

namespace qira {

// The class library's "no colour" and "default colour" markers.
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;

// The larger of A and B; B when they are equal.
int32_t LargerInteger(int32_t a, int32_t b);
// The smaller of A and B; B when they are equal.
int32_t SmallerInteger(int32_t a, int32_t b);

// Draws the source part (srcX, srcY, srcW, srcH) of bitmap stretched (nearest pixel)
// into the destination rectangle, leaving out the pixels of transparentColor.
// dstW or dstH below 1 take the bitmap's width or height; srcW or srcH below 1 make
// the source the whole bitmap. clNone copies every pixel; clDefault means the colour
// of the bitmap's bottom-left pixel. The copy honours the destination's clip region.
void StretchBitmapTransparent(TCanvas& dest, const TBitmap& bitmap, TColor transparentColor, int32_t dstX,
                              int32_t dstY, int32_t dstW, int32_t dstH, int32_t srcX, int32_t srcY, int32_t srcW,
                              int32_t srcH);

}  // namespace qira

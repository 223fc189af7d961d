#pragma once
// Small drawing and integer routines shared by the widgets: the larger and smaller
// of two integers, and the transparent stretch copy of a bitmap onto a canvas that
// the spin button draws its glyphs with.
#include <QImage>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Canvas.h"
#include "platform/LibraryErrors.h"
#include "platform/Picture.h"

class QMimeData;

namespace qira {

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

// StretchBitmapTransparent on an image of any format. A monochrome image
// (QImage::Format_Mono or Format_MonoLSB) leaves out white whatever colour other
// than clNone is asked for; an indexed image hands its colour table on to
// StretchBltTransparent as the palette.
void StretchImageTransparent(TCanvas& dest, const QImage& image, TColor transparentColor, int32_t dstX, int32_t dstY,
                             int32_t dstW, int32_t dstH, int32_t srcX, int32_t srcY, int32_t srcW, int32_t srcH);

// StretchBitmapTransparent with the source part given as a rectangle.
void StretchBitmapPartTransparent(TCanvas& dest, int32_t dstX, int32_t dstY, int32_t dstW, int32_t dstH,
                                  const TRect& srcRect, const TBitmap& bitmap, TColor transparentColor);

// The masked stretch copy: the source part (srcX, srcY, srcW, srcH) of source,
// stretched (nearest pixel) into the destination rectangle; where the source
// pixel has transparentRGB the destination keeps its pixel. Sizes below 1 draw
// nothing. The destination's clip region holds. With a palette (not empty),
// transparentRGB is first matched to its nearest palette colour, as a
// palette-relative colour is, and the pixels of that colour are left out.
void StretchBltTransparent(TCanvas& dest, int32_t dstX, int32_t dstY, int32_t dstW, int32_t dstH, const QImage& source,
                           int32_t srcX, int32_t srcY, int32_t srcW, int32_t srcH, TColor transparentRGB,
                           const QList<QRgb>& palette = {});

// The palette colour nearest to color (resolved to RGB; squared RGB distance, the
// first of equals); color itself when the palette is empty.
TColor NearestPaletteColor(TColor color, const QList<QRgb>& palette);

// The colour resolved to RGB (system colours take their scheme colour) with the
// palette-relative flag 0x02000000 added.
TColor PaletteColor(TColor color);

// A zero-filled block of n bytes that FreeGlobalAndNil frees; null when n < 1
// or when the memory cannot be had.
void* AllocGlobalZeroed(ptrdiff_t n);
// Frees the block and sets the pointer to null; nothing when it is null.
void FreeGlobalAndNil(void*& block);
// True when the first n bytes of a and b are equal (n = 0 is true).
bool MemoryEqual(const void* a, const void* b, size_t n);
// p advanced by n bytes.
inline void* OffsetPointer(void* p, ptrdiff_t n) { return static_cast<char*>(p) + n; }
inline const void* OffsetPointer(const void* p, ptrdiff_t n) { return static_cast<const char*>(p) + n; }
// Copies n bytes; the ranges must not overlap.
void CopyMemory(void* dest, const void* source, size_t n);
inline std::string CopyString(const std::string& s) { return s; }

// The silent abort of the class library: ends the current operation; the
// program's handlers let it pass without a message.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
};

// The message of NotImplemented.
inline constexpr const char* kNotImplementedText = "Function not yet implemented";
// Restores the default cursor, shows "Function not yet implemented" as an
// information message with an OK button, then raises EAbort.
[[noreturn]] void NotImplemented();

// The cursors of the program's cursor table.
inline constexpr int32_t crHandPoint = 14000;  // "CUR_HANDPOINT"
inline constexpr int32_t crDragMove = 14001;   // "CUR_DRAGMOVE"
// The shape of a cursor of the table (the platform's hand and closed hand);
// the default arrow for any other number.
Qt::CursorShape WidgetCursorShape(int32_t cursor);

// The class library's icon as a graphic: read and written as an ICO file; the
// picture is the file's first image.
class TIconGraphic : public TImageGraphic {
 public:
  static const TGraphicClass& StaticClass();
  const TGraphicClass& GraphicClass() const override { return StaticClass(); }

  // The rest of the stream is the ICO file; EInvalidGraphic when it is none.
  void LoadFromStream(TBinaryStream& stream) override;
  void SaveToStream(TBinaryStream& stream) const override;
  void AssignImage(const QImage& image) override;
};

// The clipboard format icons travel under.
inline constexpr const char* kIconClipboardFormat = "image/x-icon";

// Binds a clipboard format (a MIME type) to the graphic kind that reads it;
// binding a format again replaces its kind.
void RegisterClipboardGraphicFormat(std::string_view format, const TGraphicClass& graphicClass);
// The kind bound to the format, or null.
const TGraphicClass* FindClipboardGraphicClass(std::string_view format);
// The start-up registration: kIconClipboardFormat -> TIconGraphic.
void RegisterIconClipboardFormat();
// Puts into picture a graphic read from the first format of data that has a kind
// bound to it; false (picture unchanged) when there is none. A damaged
// clipboard picture raises what its kind's reader raises.
bool PasteIntoPicture(const QMimeData& data, TPicture& picture);

}  // namespace qira

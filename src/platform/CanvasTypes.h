#pragma once
// Value types shared by the canvas and its callers: colours in the windowing
// library's layout and integer points, sizes and rectangles in device pixels.
#include <cstdint>

namespace qira {

// A colour as the windowing library stores it: 0x00BBGGRR, red in the lowest byte.
using TColor = uint32_t;

// The answer of a pixel read outside the image.
inline constexpr TColor CLR_INVALID = 0xFFFFFFFFu;

inline constexpr TColor MakeColor(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<TColor>(r) | (static_cast<TColor>(g) << 8) | (static_cast<TColor>(b) << 16);
}
inline constexpr uint8_t ColorRed(TColor c) { return static_cast<uint8_t>(c & 0xFF); }
inline constexpr uint8_t ColorGreen(TColor c) { return static_cast<uint8_t>((c >> 8) & 0xFF); }
inline constexpr uint8_t ColorBlue(TColor c) { return static_cast<uint8_t>((c >> 16) & 0xFF); }

// Qt's 0xAARRGGBB pixel value of a colour, opaque; and back (alpha dropped).
inline constexpr uint32_t ColorToPixel(TColor c) {
  return 0xFF000000u | (static_cast<uint32_t>(ColorRed(c)) << 16) | (static_cast<uint32_t>(ColorGreen(c)) << 8) |
         ColorBlue(c);
}
inline constexpr TColor PixelToColor(uint32_t argb) {
  return MakeColor(static_cast<uint8_t>((argb >> 16) & 0xFF), static_cast<uint8_t>((argb >> 8) & 0xFF),
                   static_cast<uint8_t>(argb & 0xFF));
}

// The class library's "no colour" marker (a transparent back colour, a null
// series point) and "default colour" marker; one definition for every library.
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;

struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TSize {
  int32_t cx = 0;
  int32_t cy = 0;
  friend bool operator==(const TSize&, const TSize&) = default;
};

// Right and bottom are exclusive, as everywhere in the windowing library.
struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  // Saturating, so an extreme rectangle cannot overflow.
  int32_t Width() const { return Span(Left, Right); }
  int32_t Height() const { return Span(Top, Bottom); }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  friend bool operator==(const TRect&, const TRect&) = default;

 private:
  static int32_t Span(int32_t a, int32_t b) {
    const int64_t d = static_cast<int64_t>(b) - a;
    return d > INT32_MAX ? INT32_MAX : (d < INT32_MIN ? INT32_MIN : static_cast<int32_t>(d));
  }
};

}  // namespace qira

#pragma once
// Colour reduction of a bitmap into an in-memory BMP file image of a chosen
// pixel format. Pure pixel arithmetic, kept below both the widgets (which
// offer it to the program as the ColorReduce unit) and the GIF writer in the
// imaging library, which may not depend on the widgets.
//
// Sections: pixel formats; reduction methods; BMP image.
#include <QImage>

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/GraphicErrors.h"
#include "platform/Picture.h"

namespace qira {

class TBitmapGraphic;
class TMemoryStream;

// -------------------------------------------------------------- pixel formats

// The windowing library's pixel formats of a bitmap. Scoped, because the PNG
// codec's filter flags use the same short names.
enum class TPixelFormat : int32_t { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

// The format of a bitmap of that many bits per pixel (pfCustom for others).
TPixelFormat PixelFormatOfBits(int32_t bitsPerPixel);
// The bits per pixel of a format; 0 for pfDevice and pfCustom.
int32_t BitsOfPixelFormat(TPixelFormat format);

// The text of the failure for a target this unit cannot produce.
inline constexpr const char* kFunctionNotImplementedText = "Function not yet implemented";

// ---------------------------------------------------------- reduction methods

// Reduction methods by number; the unit-wide default is rmHistogram.
inline constexpr int32_t rmHistogram = 0;
inline constexpr int32_t rmMedianCut = 1;
inline constexpr int32_t rmFixed784 = 2;
inline constexpr int32_t rmFixed666 = 3;
inline constexpr int32_t rmPrimaryRamps = 4;
inline constexpr int32_t rmGrayscale = 5;

// The unit-wide default method, which the GIF writer reads (initially
// rmHistogram). A value outside 0 .. 5 is refused: false, the old one stays.
int32_t DefaultColorReduction();
bool SetDefaultColorReduction(int32_t method);

// An 8-bit picture: one palette index per pixel, rows from the top.
struct TReducedPicture {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint8_t> Indices;        // Width × Height
  std::array<QRgb, 256> Palette{};     // every entry filled, opaque
  int32_t ColorsUsed = 0;              // the header's colours-used field (0 = all 256)
};

// Reduces the pixels of an image (any format; alpha is ignored) to 256
// colours by the method (0 to 5, see the .cpp). EInvalidGraphicOperation
// "Function not yet implemented" for another method. A conversion the memory
// cannot hold is refused (EGraphicTooLarge) naming the picture's format.
TReducedPicture ReduceColors(const QImage& image, int32_t method, std::string_view formatName = kBitmapFormatName);

// The level table of methods 2 and 3: for every channel byte the index of the
// nearest of n levels round(255 × i / (n − 1)) (halves up), the lower level
// winning a tie; and the level values.
struct TLevelTable {
  std::array<uint8_t, 256> IndexOf{};
  std::vector<uint8_t> Levels;
};
const TLevelTable& LevelTable(int32_t levels);

// ----------------------------------------------------------------- BMP image

// A new memory stream at position 0 holding a BMP file image of the bitmap in
// the target format:
// - the bitmap's own format (and a method other than 5): the bitmap as it saves itself;
// - 1 or 4 bits: the bitmap converted to that depth;
// - 8 bits: the pixels reduced by the method, the method's palette as colour table;
// - 24 bits: the pixels without reduction (the method does not apply).
// An empty bitmap raises EInvalidGraphic "Bitmap image is not valid"; any other
// target EInvalidGraphicOperation "Function not yet implemented".
std::unique_ptr<TMemoryStream> BitmapToBMPStream(const TBitmapGraphic& bitmap, TPixelFormat target, int32_t method);

// The bitmap's pixel format.
TPixelFormat GetBitmapPixelFormat(const TBitmapGraphic& bitmap);

// The BMP file image of an 8-bit reduced picture: 40-byte information header
// whose colours-used field is the picture's, 256 palette entries, rows padded
// to 4 bytes, bottom-up.
std::vector<uint8_t> EncodeReducedBmp(const TReducedPicture& picture);

}  // namespace qira

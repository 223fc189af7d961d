#pragma once
// Our own reader and writer of the Windows bitmap file (BMP), the format in
// which the platform's bitmap class stores itself in files, streams, cube-map
// files and material archives.
//
// File layout (little-endian): a 14-byte file header ("BM", file size, two
// reserved words, offset of the pixel rows), an information header (12 bytes
// for the old core form, 40 for the common one, 52/56/108/124 for the later
// ones that carry colour masks), optional colour masks, the colour table, and
// the pixel rows, each padded to 4 bytes, bottom row first unless the height
// is negative (top-down).
//
// Reading accepts 1-, 4- and 8-bit palette pictures, 16-bit (5-5-5 or bit
// fields), 24-bit and 32-bit (plain or bit fields). Compressed pictures (RLE,
// embedded JPEG or PNG) are refused. Every size, offset and count of the
// headers is checked against the bytes that are there before anything is
// allocated, and pictures above kMaxBmpPixels are refused (EGraphicTooLarge with
// PictureAboveReadLimit's text); a failure raises EInvalidGraphic "Bitmap image is
// not valid" with the failed check in Reason().
//
// Writing produces the 40-byte header form, bottom-up, uncompressed: 1, 4 or
// 8 bits with a colour table, 24 or 32 bits without one.
#include <QImage>

#include <cstdint>
#include <span>
#include <vector>

#include "platform/GraphicErrors.h"

namespace qira {

class TBinaryStream;

// The largest picture the reader decodes (pixels): 1 GiB of 32-bit pixels.
inline constexpr int64_t kMaxBmpPixels = int64_t{1} << 28;

// A decoded BMP picture.
struct TBmpPicture {
  // Format_Indexed8 for 1-, 4- and 8-bit pictures (the colour table padded
  // with black to 2^bits entries, so every index has a colour), Format_RGB32
  // for 16-bit pictures without alpha mask and for 24-bit pictures, and
  // Format_ARGB32 for 32-bit pictures and 16-bit pictures with an alpha mask.
  // The alpha of a plain 32-bit picture is its fourth byte, as stored; a
  // picture of width or height 0 is a null image.
  QImage image;
  // As stored in the file: 1, 4, 8, 16, 24 or 32.
  int32_t bitsPerPixel = 24;
};

// Decodes a whole BMP file image.
TBmpPicture DecodeBmp(std::span<const uint8_t> bytes);

// Reads one BMP file image from the stream's position. Its extent is the file
// size of its header when that is set (0 means "up to the end of the stream");
// afterwards the stream stands behind the extent, so BMP images stored one
// after the other are read in turn. On failure the position is where it was.
TBmpPicture ReadBmp(TBinaryStream& stream);

// The largest file WriteBmp makes.
inline constexpr uint64_t MaxBmpFileSize = 0x7FFFFFFF;
// The size of the BMP file image of a width x height picture of 24 or 32 bits.
uint64_t BmpFileSize(uint64_t width, uint64_t height, int32_t bitsPerPixel);

// Writes the image as a BMP file image of `bitsPerPixel` (1, 4, 8, 24 or 32)
// at the stream's position. 24 bits drop alpha; 32 bits store it as the fourth
// byte. 1 and 4 bits need a Format_Indexed8 image whose colour table and
// indices fit; 8 bits take an indexed image as it is and reduce any other to
// 256 colours. A null image writes a header-only 0 x 0 picture.
// EInvalidGraphicOperation for another depth, an image that does not fit, or a
// file above 2^31-1 bytes; EGraphicFileError "Stream write error" when the
// stream refuses bytes.
void WriteBmp(TBinaryStream& stream, const QImage& image, int32_t bitsPerPixel);

// The BMP file image as bytes (same rules as WriteBmp).
std::vector<uint8_t> EncodeBmp(const QImage& image, int32_t bitsPerPixel);

}  // namespace qira

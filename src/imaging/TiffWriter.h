#pragma once
// The writer of uncompressed, single-strip, little-endian TIFF pictures. There is
// no TIFF reader.
//
// The picture's depth picks one of three fixed layouts, each with exactly one image
// file directory (IFD) written last and no padding between items:
// - bilevel (1 bit):      header, pixel rows, X and Y resolution, software text, IFD;
// - palette (4, 8 bits):  header, colour map (offset 8), X and Y resolution,
//                         software text, pixel rows, IFD;
// - RGB (16, 24, 32 bits): header, X resolution (8), Y resolution (16), bits per
//                         sample 8/8/8 (24), software text (30), pixel rows (41), IFD.
// Resolution is 877/10 = 87.7 pixels per inch; the software text is the 11 bytes
// "Dolvu soft" with its terminating zero. Rows run top row first, packed without
// padding. 24- and 32-bit pictures of the same pixels give identical files.
//
// A picture the writer cannot take (empty, an index beyond what its depth holds,
// a file above 2^31-1 bytes) writes nothing and returns false, so the caller can
// tell the user; a conversion of the picture that the memory cannot hold raises
// EGraphicTooLarge and writes nothing either. A stream that refuses bytes raises EGraphicFileError
// "Stream write error"; a file that cannot be created or written raises
// EGraphicFileError naming it and giving the system's reason.
#include <cstdint>
#include <string>

class QImage;

namespace qira {

// The largest file the writer makes (its offsets are counted in signed 32 bits).
inline constexpr uint64_t MaxTiffFileSize = 0x7FFFFFFF;
// The size of the file of a 16-, 24- or 32-bit picture of width x height.
uint64_t TiffRgbFileSize(uint64_t width, uint64_t height);

class TBinaryStream;
class TBitmap;
class TBitmapGraphic;

// Writes the TIFF image at the stream's position; the offsets inside the file
// are counted from that position. The stream must be able to seek back to it
// (to patch the IFD offset) and is left just after the image.
bool WriteTiffToStream(TBinaryStream& Stream, const TBitmap& Bitmap);
// A bitmap graphic is written at its own depth: 1 bit bilevel, 4 and 8 bits
// palette, 16, 24 and 32 bits RGB.
bool WriteTiffToStream(TBinaryStream& Stream, const TBitmapGraphic& Bitmap);

// Writes the file atomically: when the picture is refused or writing fails, an
// existing file of that name is left untouched.
bool WriteTiffToFile(const std::string& FileName, const TBitmap& Bitmap);
bool WriteTiffToFile(const std::string& FileName, const TBitmapGraphic& Bitmap);

// A picture as an export holds it, written as RGB: rows of red, green and blue
// bytes (Format_RGB888) go to the file as they are, any other image through
// one conversion per pixel.
bool WriteTiffPictureToStream(TBinaryStream& Stream, const QImage& Picture);
bool WriteTiffPictureToFile(const std::string& FileName, const QImage& Picture);

}  // namespace qira

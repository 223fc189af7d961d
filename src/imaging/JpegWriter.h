#pragma once
// The writer of baseline JPEG pictures, through libjpeg: 8-bit RGB samples
// compressed as YCbCr with the library's standard tables scaled to a quality
// of 1 to 100 (the JFIF header keeps the library's defaults: version 1.01,
// square pixels, no resolution unit).
//
// Failures have one shape: the library's own refusals (a picture wider or
// higher than 65500 pixels, for example) raise EJPEG with the library's text,
// except that memory the library could not have raises EGraphicTooLarge with the
// memory refusal of every picture (PictureTooLargeNow);
// a stream that refuses bytes raises EGraphicFileError "Stream write error";
// a file that cannot be created, written or committed raises EGraphicFileError
// naming it and giving the system's reason. Nothing is left behind: saving to a file is atomic.
#include <QImage>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace qira {

class TBinaryStream;

// A picture libjpeg refused; what() is the library's message.
class EJPEG : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The largest width or height libjpeg encodes.
inline constexpr int32_t kMaxJpegDimension = 65500;

// Writes the image at the stream's position. Any image format is taken: its
// pixels are converted to 24-bit RGB first (alpha is dropped). Quality is
// clamped to 1..100. An empty image raises EJPEG; a conversion the memory
// cannot hold raises EGraphicTooLarge before anything is written.
void WriteJpegToStream(TBinaryStream& Stream, const QImage& Image, int32_t Quality);

// The JPEG file image as bytes (same rules).
std::vector<uint8_t> EncodeJpeg(const QImage& Image, int32_t Quality);

// Writes the file atomically: on any failure an existing file of that name is
// left untouched.
void WriteJpegToFile(const std::string& FileName, const QImage& Image, int32_t Quality);

}  // namespace qira

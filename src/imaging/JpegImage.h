#pragma once
// JPEG pictures as a graphic of the picture registry: decompressed through
// libjpeg when loaded (textures, tree pictures and every other registry user
// read .jpg and .jpeg files through it), compressed through the JPEG writer
// when saved.
//
// Reading is checked like every reader here: the frame size is bounded, and what
// decoding takes counted against the memory the program may take, before any
// pixel memory is taken, and a damaged or truncated file (any corrupt-data
// notice of the library included) raises EInvalidGraphic kInvalidJpegText with
// the library's own text as Reason(), leaving the graphic as it was; a file that
// lacks only its end marker, every scan's data there, is read whole. The
// library's fatal errors return to the reader; they never end the program.
#include <QImage>

#include <cstdint>
#include <span>

#include "platform/Picture.h"

namespace qira {

// The fixed text of a JPEG file that cannot be decoded.
inline constexpr const char* kInvalidJpegText = "JPEG image is not valid";
// The format's name, in its registration and in the refusal of a picture the
// memory cannot hold (PictureTooLargeNow).
inline constexpr const char* kJpegFormatName = "JPEG Image File";

// Largest number of pixels a Huffman-coded file (SOF0-SOF3, SOF5-SOF7) may declare
// per byte it holds. Huffman codes spend at least one bit per 8 x 8 block in every
// scan, so none comes near it; a short file declaring a vast frame is refused
// before memory is taken. Arithmetic coding (SOF9-SOF15) has no such floor: its
// adaptive coder spends a small fraction of a bit on a block like the last, so a
// uniform picture of millions of pixels takes a few hundred bytes; such a frame is
// bounded by the pixel limit and the memory it needs only.
inline constexpr int64_t kMaxJpegPixelsPerByte = 4096;

// The pixels of a JPEG file as Format_RGB32 (grey, YCbCr, RGB and CMYK
// files). EInvalidGraphic kInvalidJpegText on any failure; EGraphicTooLarge for a
// picture larger than the readers take (PictureAboveReadLimit), or when the memory
// cannot hold what decoding takes (the picture, and the coefficients
// of a frame of several scans), counted before it is taken, or when an
// allocation of the library or of the picture fails all the same.
QImage DecodeJpeg(std::span<const uint8_t> bytes);

class TJPEGImage : public TImageGraphic {
 public:
  static const TGraphicClass& StaticClass();
  const TGraphicClass& GraphicClass() const override { return StaticClass(); }

  TJPEGImage() = default;

  // Decodes the rest of the stream, then Changed.
  void LoadFromStream(TBinaryStream& stream) override;
  // Baseline JPEG at CompressionQuality; EJPEG for an empty picture.
  void SaveToStream(TBinaryStream& stream) const override;

  void AssignImage(const QImage& image) override;

  // 1 .. 100, used when the picture is saved.
  int32_t CompressionQuality = 90;
};

// The start-up registration: "jpg" and "jpeg" = "JPEG Image File" -> TJPEGImage.
void RegisterJpegFileFormat();

}  // namespace qira

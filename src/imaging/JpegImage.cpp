#include "imaging/JpegImage.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/JpegErrorManager.h"
#include "imaging/JpegWriter.h"
#include "platform/AvailableMemory.h"
#include "platform/BinaryStream.h"
#include "platform/BmpCodec.h"
#include "platform/GraphicErrors.h"

// Sections: decompression; TJPEGImage; start-up.

namespace qira {

namespace {

// ------------------------------------------------------------ decompression

[[noreturn]] void Refuse(const std::string& reason) { throw EInvalidGraphic(kInvalidJpegText, reason); }

// Every notice of the library is about damaged data (extraneous bytes, a file
// that ends early, a bad Huffman code): a warning refuses the file like an error
// instead of showing grey where the data was missing.
void EmitMessage(j_common_ptr cinfo, int level) {
  if (level < 0) JpegErrorExit(cinfo);
}

// Refusal of a frame too large for the file or for the memory there is;
// empty when the frame may be decoded.
void CheckFrameSize(JDIMENSION width, JDIMENSION height, size_t fileBytes, char (&message)[JMSG_LENGTH_MAX]) {
  const int64_t pixels = static_cast<int64_t>(width) * static_cast<int64_t>(height);
  const char* why = nullptr;
  if (pixels > kMaxBmpPixels) {
    why = "is too large";
  } else if (pixels > static_cast<int64_t>(fileBytes) * kMaxJpegPixelsPerByte) {
    why = "is more than the file's data can hold";
  } else if (!MemoryFits(pixels * 4)) {
    why = "needs more memory than is available";
  }
  if (why != nullptr)
    std::snprintf(message, JMSG_LENGTH_MAX, "picture of %u x %u pixels %s", static_cast<unsigned>(width),
                  static_cast<unsigned>(height), why);
}

// CMYK files with an APP14 colour-transform marker store the inks inverted
// (255 = no ink); others do not.
void CmykToRgb32(const JSAMPLE* cmyk, JDIMENSION width, bool inverted, uint8_t* bgrx) {
  for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, bgrx += 4) {
    const int k = inverted ? cmyk[3] : 255 - cmyk[3];
    for (int c = 0; c < 3; ++c) {
      const int ink = inverted ? cmyk[c] : 255 - cmyk[c];
      bgrx[2 - c] = static_cast<uint8_t>((ink * k + 127) / 255);
    }
    bgrx[3] = 0xFF;
  }
}

// Decompresses the file into `image` (Format_RGB32). False with the library's
// text (or the size check's) in `message`. Only trivially destructible objects
// live in this frame across setjmp; `image` belongs to the caller.
bool Decompress(const uint8_t* data, size_t size, QImage& image, char (&message)[JMSG_LENGTH_MAX]) {
  jpeg_decompress_struct cinfo;
  TJpegErrorManager errors;
  JSAMPLE* volatile cmykRow = nullptr;

  cinfo.err = JpegErrors(errors);
  errors.pub.emit_message = EmitMessage;
  if (setjmp(errors.jump) != 0) {
    std::snprintf(message, JMSG_LENGTH_MAX, "%s", errors.message);
    jpeg_destroy_decompress(&cinfo);
    std::free(cmykRow);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
    std::snprintf(message, JMSG_LENGTH_MAX, "%s", "the file holds tables but no picture");
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;  // BGRX is QImage's RGB32 in memory
  jpeg_calc_output_dimensions(&cinfo);
  const JDIMENSION width = cinfo.output_width;
  const JDIMENSION height = cinfo.output_height;
  CheckFrameSize(width, height, size, message);
  if (message[0] == '\0') {
    image = QImage(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
    if (image.isNull()) std::snprintf(message, JMSG_LENGTH_MAX, "%s", "not enough memory for the picture");
  }
  if (cmyk && message[0] == '\0') {
    cmykRow = static_cast<JSAMPLE*>(std::malloc(static_cast<size_t>(width) * 4));
    if (cmykRow == nullptr) std::snprintf(message, JMSG_LENGTH_MAX, "%s", "not enough memory for the picture");
  }
  if (message[0] != '\0') {
    jpeg_destroy_decompress(&cinfo);
    std::free(cmykRow);
    return false;
  }

  jpeg_start_decompress(&cinfo);
  const bool inverted = cinfo.saw_Adobe_marker != 0;
  while (cinfo.output_scanline < height) {
    uint8_t* line = image.scanLine(static_cast<int>(cinfo.output_scanline));
    JSAMPROW row = cmyk ? cmykRow : line;
    jpeg_read_scanlines(&cinfo, &row, 1);
    if (cmyk) CmykToRgb32(cmykRow, width, inverted, line);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  std::free(cmykRow);
  return true;
}

std::unique_ptr<TGraphic> CreateJpegImage() { return std::make_unique<TJPEGImage>(); }

}  // namespace

QImage DecodeJpeg(std::span<const uint8_t> bytes) {
  QImage image;
  char message[JMSG_LENGTH_MAX] = {};
  if (!Decompress(bytes.data(), bytes.size(), image, message)) Refuse(message);
  return image;
}

// --------------------------------------------------------------- TJPEGImage

const TGraphicClass& TJPEGImage::StaticClass() {
  static const TGraphicClass cls("TJPEGImage", &CreateJpegImage);
  return cls;
}

void TJPEGImage::LoadFromStream(TBinaryStream& stream) {
  const int32_t n = stream.Remaining();
  std::vector<uint8_t> bytes(static_cast<size_t>(n > 0 ? n : 0));
  if (n > 0 && !stream.Read(bytes.data(), n)) Refuse("the stream could not be read");
  image_ = DecodeJpeg(bytes);
  Changed();
}

void TJPEGImage::SaveToStream(TBinaryStream& stream) const { WriteJpegToStream(stream, image_, CompressionQuality); }

void TJPEGImage::AssignImage(const QImage& image) {
  image_ = image.isNull() ? QImage() : image.convertToFormat(QImage::Format_RGB32);
  Changed();
}

// ------------------------------------------------------------------ start-up

void RegisterJpegFileFormat() {
  RegisterPictureFileFormat("jpg", "JPEG Image File", TJPEGImage::StaticClass());
  RegisterPictureFileFormat("jpeg", "JPEG Image File", TJPEGImage::StaticClass());
}

}  // namespace qira

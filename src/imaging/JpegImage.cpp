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

// The reader's error manager. Every notice of the library is about damaged data
// (extraneous bytes, a bad Huffman code, a file that ends early) and refuses the
// file like an error instead of showing grey where the data was missing, with one
// exception: the notice that the data ended. The library gives it as soon as its
// decoder reads ahead past the last byte, which it does on the last rows of a file
// that lacks only its end marker; such a file is whole. When the scan's data was
// cut instead, the decoder then needs bits that are not there and says so (or the
// frame's last scans never came), and the first notice is the reason given.
struct TJpegReadErrors {
  TJpegErrorManager manager;  // first: the library's error pointer is also this struct's
  // Set once the header is read, for a frame whose cut data the library would tell
  // of: Huffman-coded (an arithmetic-coded scan reads zeros past its end without a
  // word), in one scan or progressive (sequential scans of separate components
  // leave no trace of which came).
  bool endMayBeMissing = false;
  bool dataEnded = false;
  // The library could not have its memory: the frame is refused with its size,
  // known with what decoding takes (DecodingBytes) once the header is read.
  bool outOfMemory = false;
  unsigned width = 0;
  unsigned height = 0;
  int64_t neededBytes = 0;
};

enum class TJpegOutcome : uint8_t { joDecoded, joInvalid, joTooLarge, joAboveLimit };

[[noreturn]] void ReadErrorExit(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<TJpegReadErrors*>(cinfo->err);
  if (JpegOutOfMemory(cinfo)) errors->outOfMemory = true;
  if (errors->dataEnded) std::longjmp(errors->manager.jump, 1);  // the end of data is the reason
  JpegErrorExit(cinfo);
}

void EmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  auto* errors = reinterpret_cast<TJpegReadErrors*>(cinfo->err);
  if (cinfo->err->msg_code == JWRN_JPEG_EOF && errors->endMayBeMissing && !errors->dataEnded) {
    (*cinfo->err->format_message)(cinfo, errors->manager.message);
    errors->dataEnded = true;
    return;
  }
  ReadErrorExit(cinfo);
}

// After a progressive frame whose data ended: every coefficient of every component
// was sent to its last bit.
bool EveryCoefficientCame(const jpeg_decompress_struct& cinfo) {
  if (!cinfo.progressive_mode) return true;
  for (int c = 0; c < cinfo.num_components; ++c)
    for (int k = 0; k < DCTSIZE2; ++k)
      if (cinfo.coef_bits[c][k] != 0) return false;
  return true;
}

// What decoding the frame holds besides the file: the picture, a row of inks for a
// CMYK frame, and for a frame of several scans the coefficients of the whole frame,
// which the library keeps until the last scan is read.
int64_t DecodingBytes(jpeg_decompress_struct& cinfo, bool cmyk) {
  int64_t bytes = int64_t{cinfo.output_width} * cinfo.output_height * 4;
  if (cmyk) bytes += int64_t{cinfo.output_width} * 4;
  if (jpeg_has_multiple_scans(&cinfo)) {
    auto roundUp = [](int64_t n, int64_t step) { return (n + step - 1) / step * step; };
    for (int c = 0; c < cinfo.num_components; ++c) {
      const jpeg_component_info& component = cinfo.comp_info[c];
      bytes += roundUp(component.width_in_blocks, component.h_samp_factor) *
               roundUp(component.height_in_blocks, component.v_samp_factor) * static_cast<int64_t>(sizeof(JBLOCK));
    }
  }
  return bytes;
}

// Refusal of a frame larger than the readers take, than the file's data can hold
// (only a Huffman-coded frame's data is bounded by its pixels), or than the memory
// there is.
TJpegOutcome CheckFrameSize(const TJpegReadErrors& errors, bool huffmanCoded, size_t fileBytes,
                            char (&message)[JMSG_LENGTH_MAX]) {
  const int64_t pixels = int64_t{errors.width} * errors.height;
  if (pixels > kMaxBmpPixels) return TJpegOutcome::joAboveLimit;
  if (huffmanCoded && pixels > static_cast<int64_t>(fileBytes) * kMaxJpegPixelsPerByte) {
    std::snprintf(message, JMSG_LENGTH_MAX, "picture of %u x %u pixels is more than the file's data can hold",
                  errors.width, errors.height);
    return TJpegOutcome::joInvalid;
  }
  return MemoryFits(errors.neededBytes) ? TJpegOutcome::joDecoded : TJpegOutcome::joTooLarge;
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

// Decompresses the file into `image` (Format_RGB32). Otherwise the library's text
// (or the size check's) is in `message`, or the frame's size and need in `errors`
// for a picture the memory cannot hold. Only trivially destructible objects live in
// this frame across setjmp; `image` and `errors` belong to the caller.
TJpegOutcome Decompress(const uint8_t* data, size_t size, QImage& image, TJpegReadErrors& errors,
                        char (&message)[JMSG_LENGTH_MAX]) {
  jpeg_decompress_struct cinfo;
  JSAMPLE* volatile cmykRow = nullptr;

  cinfo.err = JpegErrors(errors.manager);
  errors.manager.pub.error_exit = ReadErrorExit;
  errors.manager.pub.emit_message = EmitMessage;
  if (setjmp(errors.manager.jump) != 0) {
    std::snprintf(message, JMSG_LENGTH_MAX, "%s", errors.manager.message);
    jpeg_destroy_decompress(&cinfo);
    std::free(cmykRow);
    return errors.outOfMemory ? TJpegOutcome::joTooLarge : TJpegOutcome::joInvalid;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
    std::snprintf(message, JMSG_LENGTH_MAX, "%s", "the file holds tables but no picture");
    jpeg_destroy_decompress(&cinfo);
    return TJpegOutcome::joInvalid;
  }
  errors.endMayBeMissing = !cinfo.arith_code && (cinfo.progressive_mode || !jpeg_has_multiple_scans(&cinfo));
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;  // BGRX is QImage's RGB32 in memory
  jpeg_calc_output_dimensions(&cinfo);
  const JDIMENSION width = cinfo.output_width;
  const JDIMENSION height = cinfo.output_height;
  errors.width = width;
  errors.height = height;
  errors.neededBytes = DecodingBytes(cinfo, cmyk);
  TJpegOutcome outcome = CheckFrameSize(errors, !cinfo.arith_code, size, message);
  if (outcome == TJpegOutcome::joDecoded) {
    image = QImage(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
    if (image.isNull()) outcome = TJpegOutcome::joTooLarge;
  }
  if (cmyk && outcome == TJpegOutcome::joDecoded) {
    cmykRow = static_cast<JSAMPLE*>(std::malloc(static_cast<size_t>(width) * 4));
    if (cmykRow == nullptr) outcome = TJpegOutcome::joTooLarge;
  }
  if (outcome != TJpegOutcome::joDecoded) {
    jpeg_destroy_decompress(&cinfo);
    std::free(cmykRow);
    return outcome;
  }

  jpeg_start_decompress(&cinfo);
  const bool inverted = cinfo.saw_Adobe_marker != 0;
  while (cinfo.output_scanline < height) {
    uint8_t* line = image.scanLine(static_cast<int>(cinfo.output_scanline));
    JSAMPROW row = cmyk ? cmykRow : line;
    jpeg_read_scanlines(&cinfo, &row, 1);
    if (cmyk) CmykToRgb32(cmykRow, width, inverted, line);
  }
  // A progressive frame's data was all read before its first row (the table lives
  // until the frame is finished).
  const bool whole = !errors.dataEnded || EveryCoefficientCame(cinfo);
  jpeg_finish_decompress(&cinfo);
  if (!whole) std::snprintf(message, JMSG_LENGTH_MAX, "%s", errors.manager.message);
  jpeg_destroy_decompress(&cinfo);
  std::free(cmykRow);
  return whole ? TJpegOutcome::joDecoded : TJpegOutcome::joInvalid;
}

std::unique_ptr<TGraphic> CreateJpegImage() { return std::make_unique<TJPEGImage>(); }

}  // namespace

void RaiseJpegTooLarge(int64_t width, int64_t height, int64_t neededBytes) {
  throw EGraphicTooLarge(PictureTooLargeNow(kJpegFormatName, width, height, static_cast<uint64_t>(neededBytes)),
                         "the picture needs more memory than is available");
}

QImage DecodeJpeg(std::span<const uint8_t> bytes) {
  QImage image;
  TJpegReadErrors errors;
  char message[JMSG_LENGTH_MAX] = {};
  switch (Decompress(bytes.data(), bytes.size(), image, errors, message)) {
    case TJpegOutcome::joDecoded:
      return image;
    case TJpegOutcome::joTooLarge:
      image = QImage();
      RaiseJpegTooLarge(errors.width, errors.height, errors.neededBytes);
    case TJpegOutcome::joAboveLimit:
      RaisePictureAboveReadLimit(kJpegFormatName, errors.width, errors.height);
    case TJpegOutcome::joInvalid:
      break;
  }
  Refuse(message);
}

// --------------------------------------------------------------- TJPEGImage

const TGraphicClass& TJPEGImage::StaticClass() {
  static const TGraphicClass cls("TJPEGImage", &CreateJpegImage);
  return cls;
}

void TJPEGImage::LoadFromStream(TBinaryStream& stream) {
  const int32_t n = stream.Remaining();
  std::vector<uint8_t> bytes;
  ResizePictureData(kJpegFormatName, bytes, n > 0 ? n : 0);
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
  RegisterPictureFileFormat("jpg", kJpegFormatName, TJPEGImage::StaticClass());
  RegisterPictureFileFormat("jpeg", kJpegFormatName, TJPEGImage::StaticClass());
}

}  // namespace qira

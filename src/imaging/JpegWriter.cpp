#include "imaging/JpegWriter.h"

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstdio>
#include <memory>

#include "imaging/JpegErrorManager.h"
#include "imaging/JpegImage.h"
#include "platform/BinaryStream.h"
#include "platform/GraphicErrors.h"
#include "platform/Picture.h"

// Sections: error manager; stream destination; compression; public entry points.

namespace qira {

namespace {

// ----------------------------------------------------------- error manager

// Warnings (corrupt-data notices of decoders) do not concern the encoder.
void OutputMessage(j_common_ptr) {}

// -------------------------------------------------------- stream destination

constexpr size_t kDestinationBufferSize = 16384;

// Hands the compressed bytes to the stream in blocks.
struct TStreamDestination {
  jpeg_destination_mgr pub;
  TBinaryStream* stream;
  bool writeFailed;
  JOCTET buffer[kDestinationBufferSize];
};

void InitDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<TStreamDestination*>(cinfo->dest);
  dest->pub.next_output_byte = dest->buffer;
  dest->pub.free_in_buffer = kDestinationBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<TStreamDestination*>(cinfo->dest);
  if (!dest->stream->Write(dest->buffer, static_cast<int32_t>(kDestinationBufferSize))) {
    dest->writeFailed = true;
    ERREXIT(cinfo, JERR_FILE_WRITE);
  }
  dest->pub.next_output_byte = dest->buffer;
  dest->pub.free_in_buffer = kDestinationBufferSize;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<TStreamDestination*>(cinfo->dest);
  const size_t used = kDestinationBufferSize - dest->pub.free_in_buffer;
  if (used > 0 && !dest->stream->Write(dest->buffer, static_cast<int32_t>(used))) {
    dest->writeFailed = true;
    ERREXIT(cinfo, JERR_FILE_WRITE);
  }
}

// ---------------------------------------------------------------- compression

enum class TCompressResult { Ok, LibraryError, WriteError, OutOfMemory };

// Compresses rgb (Format_RGB888) into the stream. On failure `message` holds
// the library's text. Only trivially destructible objects live in this frame
// across setjmp, so the jump back skips no destructor.
TCompressResult CompressRgb(const QImage& rgb, int quality, TBinaryStream& stream,
                            char (&message)[JMSG_LENGTH_MAX]) {
  jpeg_compress_struct cinfo;
  TJpegErrorManager errors;
  // Heap-held so the 16 KiB block does not sit on the stack; released below
  // on both paths (no destructor is involved).
  auto* dest = static_cast<TStreamDestination*>(std::malloc(sizeof(TStreamDestination)));
  if (dest == nullptr) return TCompressResult::OutOfMemory;
  dest->stream = &stream;
  dest->writeFailed = false;

  cinfo.err = JpegErrors(errors);
  errors.pub.output_message = OutputMessage;
  if (setjmp(errors.jump) != 0) {
    std::snprintf(message, JMSG_LENGTH_MAX, "%s", errors.message);
    const bool writeFailed = dest->writeFailed;
    const bool outOfMemory = JpegOutOfMemory(reinterpret_cast<j_common_ptr>(&cinfo));
    jpeg_destroy_compress(&cinfo);
    std::free(dest);
    if (writeFailed) return TCompressResult::WriteError;
    return outOfMemory ? TCompressResult::OutOfMemory : TCompressResult::LibraryError;
  }
  jpeg_create_compress(&cinfo);

  dest->pub.init_destination = InitDestination;
  dest->pub.empty_output_buffer = EmptyOutputBuffer;
  dest->pub.term_destination = TermDestination;
  cinfo.dest = &dest->pub;

  cinfo.image_width = static_cast<JDIMENSION>(rgb.width());
  cinfo.image_height = static_cast<JDIMENSION>(rgb.height());
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  // An empty or oversized picture is refused here, before any row is read.
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    // libjpeg takes non-const row pointers but only reads them.
    JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(static_cast<int>(cinfo.next_scanline)));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::free(dest);
  return TCompressResult::Ok;
}

}  // namespace

// ------------------------------------------------------ public entry points

void WriteJpegToStream(TBinaryStream& Stream, const QImage& Image, int32_t Quality) {
  const int quality = std::clamp<int32_t>(Quality, 1, 100);
  // A null image stays null, of width 0, which the library refuses with its own
  // text; a conversion that cannot be had is refused with the picture's size.
  const QImage rgb = ConvertedPictureImage(kJpegFormatName, Image, QImage::Format_RGB888);
  char message[JMSG_LENGTH_MAX] = {};
  switch (CompressRgb(rgb, quality, Stream, message)) {
    case TCompressResult::Ok:
      return;
    case TCompressResult::WriteError:
      throw EGraphicFileError("Stream write error");
    case TCompressResult::LibraryError:
      throw EJPEG(message);
    case TCompressResult::OutOfMemory:
      // The picture being written and the library's rows of blocks, a few for each
      // component.
      RaiseJpegTooLarge(rgb.width(), rgb.height(),
                        static_cast<int64_t>(rgb.sizeInBytes()) + int64_t{rgb.width()} * 3 * 4 * 2 * DCTSIZE);
  }
}

std::vector<uint8_t> EncodeJpeg(const QImage& Image, int32_t Quality) {
  TMemoryStream stream;
  WriteJpegToStream(stream, Image, Quality);
  return stream.Data();
}

void WriteJpegToFile(const std::string& FileName, const QImage& Image, int32_t Quality) {
  std::string error;
  std::unique_ptr<TSaveFile> file = TSaveFile::Create(FileName, &error);
  if (!file) throw EGraphicFileError(CannotFileText("create", FileName, error));
  try {
    WriteJpegToStream(file->Stream(), Image, Quality);  // on failure the temporary goes with `file`
  } catch (const EGraphicFileError& e) {
    throw EGraphicFileError(CannotFileText("create", FileName, file->FailureReason(e.what())));
  }
  if (!file->Commit(&error)) throw EGraphicFileError(CannotFileText("create", FileName, error));
}

}  // namespace qira

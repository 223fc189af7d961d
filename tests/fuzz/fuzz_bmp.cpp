// BMP pictures, whole and from a stream; a picture read is written again at its
// own depth and read back, and must keep every pixel. Read as the platform's
// bitmap, it becomes a texture's block of its own size.
#include <span>

#include "fuzz/FuzzSupport.h"
#include "platform/BinaryStream.h"
#include "platform/BmpCodec.h"
#include "platform/Picture.h"
#include "scene/materials/Bitmap32.h"

namespace {

using namespace qira;

// The depth that keeps what was read: the writer has no 16-bit form, so those
// take 32 bits when they carry alpha and 24 when not.
int32_t DepthToWrite(const TBmpPicture& picture) {
  if (picture.bitsPerPixel != 16) return picture.bitsPerPixel;
  return picture.image.format() == QImage::Format_ARGB32 ? 32 : 24;
}

void ExpectRoundTrip(const TBmpPicture& picture) {
  const std::vector<uint8_t> written = EncodeBmp(picture.image, DepthToWrite(picture));
  // What the program wrote it must read: a throw here ends the run as a finding.
  const TBmpPicture reread = DecodeBmp(written);
  fuzzing::Expect(fuzzing::SamePixels(picture.image, reread.image), "the pixels");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::Start();
  try {
    ExpectRoundTrip(DecodeBmp(std::span<const uint8_t>(data, size)));
  } catch (const EInvalidGraphic&) {
  }
  TMemoryStream stream(data, size);
  try {
    TBitmapGraphic bitmap;
    bitmap.LoadFromStream(stream);
    TGLBitmap32 texture;
    texture.Assign(&bitmap);
    fuzzing::ExpectTextureOf(bitmap.ImageSize(), texture.Width(), texture.Height());
  } catch (const EInvalidGraphic&) {
  } catch (const EBitmapTooLarge&) {
  }
  return 0;
}

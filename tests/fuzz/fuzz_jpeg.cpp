// JPEG pictures: decoded through the picture registry's graphic, written again.
#include <stdexcept>

#include "fuzz/FuzzSupport.h"
#include "imaging/JpegImage.h"
#include "imaging/JpegWriter.h"
#include "platform/BinaryStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qira;
  fuzzing::Start();
  TJPEGImage jpeg;
  TMemoryStream stream(data, size);
  try {
    jpeg.LoadFromStream(stream);
  } catch (const EInvalidGraphic&) {
    return 0;
  }
  (void)jpeg.ToImage();
  TMemoryStream saved;
  jpeg.SaveToStream(saved);
  return 0;
}

// GIF pictures: read, turned into an image, written again.
#include <stdexcept>

#include "fuzz/FuzzSupport.h"
#include "imaging/GifImage.h"
#include "platform/BinaryStream.h"
#include "platform/GraphicErrors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qira;
  fuzzing::Start();
  TGIFImage gif;
  TMemoryStream stream(data, size);
  try {
    gif.LoadFromStream(stream);
  } catch (const std::runtime_error&) {
    return 0;
  }
  (void)gif.ToImage();
  TMemoryStream saved;
  try {
    gif.SaveToStream(saved);
  } catch (const EInvalidGraphicOperation&) {
    // The writer's refusal of a picture without frames.
  }
  return 0;
}

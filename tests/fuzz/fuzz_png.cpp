// PNG pictures: read, turned into an image, written again.
#include <stdexcept>

#include "fuzz/FuzzSupport.h"
#include "imaging/PngObject.h"
#include "platform/BinaryStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qira;
  fuzzing::Start();
  TPNGObject png;
  TMemoryStream stream(data, size);
  try {
    png.LoadFromStream(stream);
  } catch (const std::runtime_error&) {
    return 0;
  }
  (void)png.ToImage();
  TMemoryStream saved;
  png.SaveToStream(saved);
  return 0;
}

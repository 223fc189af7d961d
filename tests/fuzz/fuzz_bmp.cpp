// BMP pictures, whole and from a stream.
#include <span>

#include "fuzz/FuzzSupport.h"
#include "platform/BinaryStream.h"
#include "platform/BmpCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qira;
  fuzzing::Start();
  try {
    (void)DecodeBmp(std::span<const uint8_t>(data, size));
  } catch (const EInvalidGraphic&) {
  }
  TMemoryStream stream(data, size);
  try {
    (void)ReadBmp(stream);
  } catch (const EInvalidGraphic&) {
  }
  return 0;
}

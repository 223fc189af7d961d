// Palette files (*.clr).
#include "fuzz/FuzzSupport.h"
#include "model/Palette.h"
#include "platform/BinaryStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qira;
  fuzzing::Start();
  TZBPalette palette;
  if (palette.ReadClrText(fuzzing::Text(data, size)) != TClrRead::Ok) return 0;
  TMemoryStream saved;
  (void)palette.SaveToStream(saved);
  return 0;
}

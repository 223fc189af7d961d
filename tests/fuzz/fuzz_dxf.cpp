// Drawings (*.dxf); the reader opens a file by name.
#include "fuzz/FuzzSupport.h"
#include "model/Dxf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qira;
  fuzzing::Start();
  TDXF dxf;
  (void)dxf.ReadDXF(fuzzing::PutScratchFile("fuzz.dxf", data, size));
  return 0;
}

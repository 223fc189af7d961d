// Inclination files (*.ink): the stations, and the collar line from a file.
#include "fuzz/FuzzSupport.h"
#include "model/GeologyFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qira;
  fuzzing::Start();
  try {
    (void)ParseInclinationText(fuzzing::Text(data, size), "fuzz.ink");
  } catch (const EInclinationFile&) {
  }
  double x = 0, y = 0, z = 0;
  (void)ReadInkCollarLine(fuzzing::PutScratchFile("fuzz.ink", data, size), x, y, z);
  return 0;
}

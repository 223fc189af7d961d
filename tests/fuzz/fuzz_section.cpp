// Section files (*.sec), then their table exports made in memory.
#include "fuzz/FuzzSupport.h"
#include "model/Section.h"
#include "model/SectionExports.h"
#include "platform/BinaryStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qira;
  fuzzing::Start();
  TMemoryStream stream(data, size);
  std::unique_ptr<TGraphSection> section;
  try {
    section = ReadSectionFile(stream);
  } catch (const ESectionFileError&) {
    return 0;
  }
  (void)XYZTableText(*section, true);
  (void)XYZTableCSV(*section, false);
  TClassLimits limits{};
  DefaultClassLimits(*section, limits);
  (void)BlocksTableText(*section, limits, true);
  (void)BlocksTableCSV(*section, limits, false);
  return 0;
}

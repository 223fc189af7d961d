// Geology files (*.bgd): as a list of rock styles and as a list of depth intervals.
#include "fuzz/FuzzSupport.h"
#include "model/BoreholeCollections.h"
#include "platform/BinaryStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qira;
  fuzzing::Start();
  for (bool depths : {false, true}) {
    TBHCollectionList list(depths);
    TMemoryStream stream(data, size);
    if (!list.LoadFromStream(stream)) continue;
    TMemoryStream saved;
    (void)list.SaveToStream(saved);
  }
  return 0;
}

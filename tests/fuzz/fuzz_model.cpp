// Model files (*.mdl), and the group they describe.
#include "fuzz/FuzzSupport.h"
#include "model/GraphMain.h"
#include "model/ModelFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qira;
  fuzzing::Start();
  TModelDescription model;
  try {
    model = ParseModelText(fuzzing::Text(data, size), "fuzz.mdl");
  } catch (const EModelFile&) {
    return 0;
  }
  (void)CreateModelGroup(model, "fuzz");
  return 0;
}

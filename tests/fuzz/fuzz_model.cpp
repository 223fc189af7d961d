// Model files (*.mdl), and the group they describe. The program stores that group
// in projects, so it is written as a project's record and read back: the tree read
// back must hold the same objects, and a second write must be the same bytes.
#include <mutex>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTrees.h"
#include "model/GraphMain.h"
#include "model/GraphPolyline.h"
#include "model/GraphRecord.h"
#include "model/GraphicsKinds.h"
#include "model/ModelFile.h"
#include "platform/BinaryStream.h"

namespace {

using namespace qira;
using fuzzing::Expect;

std::vector<uint8_t> Record(TGraphMain& object) {
  TMemoryStream saved;
  Expect(object.SaveToStream(saved), "a model group into a failed write");
  return saved.TakeData();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::Start();
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterGraphicsKinds();
    RegisterPolylineKinds();
  });
  TModelDescription model;
  try {
    model = ParseModelText(fuzzing::Text(data, size), "fuzz.mdl");
  } catch (const EModelFile&) {
    return 0;
  }
  std::unique_ptr<TGraphMain> group = CreateModelGroup(model, "fuzz");
  if (!group) return 0;

  const std::vector<uint8_t> first = Record(*group);
  TMemoryStream record(first);
  // What the program wrote it must read: a throw here ends the run as a finding.
  std::unique_ptr<TGraphMain> reread = CreateGraphObject(record);
  Expect(reread != nullptr, "a model group into a skipped record");
  Expect(fuzzing::Outline(*reread) == fuzzing::Outline(*group), "the objects of the model");
  Expect(Record(*reread) == first, "the model group's record");
  return 0;
}

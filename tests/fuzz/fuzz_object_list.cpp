// Object list archives, with the engine's persistent lists registered.
#include <mutex>
#include <stdexcept>

#include "fuzz/FuzzSupport.h"
#include "platform/BinaryStream.h"
#include "scene/components/Coordinates.h"
#include "scene/components/Persistence.h"
#include "scene/components/VectorLists.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qira;
  fuzzing::Start();
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterPersistenceClasses();
    RegisterVectorListClasses();
    RegisterCoordinatesClasses();
  });
  TPersistentObjectList list;
  TMemoryStream stream(data, size);
  try {
    list.LoadFromStream(stream);
  } catch (const std::runtime_error&) {
    return 0;
  }
  TMemoryStream saved;
  list.SaveToStream(saved);
  return 0;
}

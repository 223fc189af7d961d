// Material library archives, read into a library and written again.
#include <mutex>
#include <stdexcept>

#include "fuzz/FuzzSupport.h"
#include "platform/BinaryStream.h"
#include "platform/Picture.h"
#include "scene/materials/MaterialLibraryArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qira;
  fuzzing::Start();
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterBitmapFileFormat();
    RegisterPersistenceClasses();
    RegisterMaterialClasses();
    RegisterMaterialLibraryArchiveClasses();
  });
  TGLMaterialLibrary library;
  TMemoryStream stream(data, size);
  try {
    LoadFromStream(library, stream);
  } catch (const std::runtime_error&) {
    return 0;
  }
  TMemoryStream saved;
  SaveToStream(library, saved);
  return 0;
}

// Component streams: a window's scene, viewer, cadencer and material library
// with every engine class of the graph, materials and viewers registered.
// What reads must write again, and that writing must read back to the same
// bytes: a value the reader took but cannot keep (a NaN that changes sign)
// is a finding.
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "scene/components/ComponentStreams.h"
#include "scene/components/Coordinates.h"
#include "scene/components/Persistence.h"
#include "scene/components/VectorLists.h"
#include "scene/graph/CustomSceneObjects.h"
#include "scene/graph/Scene.h"
#include "scene/materials/Materials.h"
#include "scene/materials/TextureImages.h"
#include "scene/viewers/Cadencer.h"
#include "scene/viewers/MemoryViewer.h"
#include "support/StreamForm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qira;
  fuzzing::Start();
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterPersistenceClasses();
    RegisterVectorListClasses();
    RegisterCoordinatesClasses();
    RegisterCustomSceneObjectClasses();
    RegisterSceneClasses();
    RegisterMaterialClasses();
    RegisterTextureImageClasses();
    RegisterCadencerClasses();
    RegisterMemoryViewerClasses();
  });
  std::vector<uint8_t> written;
  {
    TStreamForm form;
    try {
      ReadComponentFromBytes(form, std::vector<uint8_t>(data, data + size));
    } catch (const std::runtime_error&) {
      return 0;
    }
    written = WriteComponentToBytes(form);
  }
  TStreamForm again;
  ReadComponentFromBytes(again, written);
  if (WriteComponentToBytes(again) != written) std::abort();
  return 0;
}

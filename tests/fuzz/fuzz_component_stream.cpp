// Component streams: a window's scene, viewer, cadencer and material library
// with every engine class of the graph, materials and viewers registered.
// What reads must write again, that writing must read back to the same
// bytes, and every float written must be finite: a value the reader took but
// cannot keep (a NaN that changes sign) is a finding.
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/BinaryStream.h"
#include "scene/components/ComponentStreams.h"
#include "scene/components/Persistence.h"
#include "scene/graph/CustomSceneObjects.h"
#include "scene/graph/Scene.h"
#include "scene/materials/Materials.h"
#include "scene/materials/TextureImages.h"
#include "scene/viewers/Cadencer.h"
#include "scene/viewers/MemoryViewer.h"
#include "support/StreamForm.h"

namespace {

using namespace qira;

// Walks a tagged value of what the writer made; aborts at a float that is not finite.
void CheckValue(TBinaryReader& reader) {
  switch (reader.NextValue()) {
    case TArchiveValueType::vaList:
      reader.ReadListBegin();
      while (!reader.EndOfList()) CheckValue(reader);
      reader.ReadListEnd();
      break;
    case TArchiveValueType::vaExtended:
      if (!std::isfinite(reader.ReadFloat())) std::abort();
      break;
    case TArchiveValueType::vaFalse:
    case TArchiveValueType::vaTrue:
      reader.ReadBoolean();
      break;
    case TArchiveValueType::vaBinary:
      reader.ReadBinary();
      break;
    case TArchiveValueType::vaInt8:
    case TArchiveValueType::vaInt16:
    case TArchiveValueType::vaInt32:
      reader.ReadInteger();
      break;
    default:
      reader.ReadString();
      break;
  }
}

// A component's record: class, name, (name, value) pairs, children.
void CheckRecord(TBinaryReader& reader) {
  reader.ReadString();
  reader.ReadString();
  while (!reader.EndOfList()) {
    reader.ReadString();
    CheckValue(reader);
  }
  reader.ReadListEnd();
  while (!reader.EndOfList()) CheckRecord(reader);
  reader.ReadListEnd();
}

void CheckWritten(const std::vector<uint8_t>& bytes) {
  TMemoryStream stream(bytes);
  TBinaryReader reader(stream);
  char signature[4];
  reader.Read(signature, 4);
  CheckRecord(reader);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qira;
  fuzzing::Start();
  static std::once_flag once;
  std::call_once(once, [] {
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
  CheckWritten(written);
  TStreamForm again;
  ReadComponentFromBytes(again, written);
  if (WriteComponentToBytes(again) != written) std::abort();
  return 0;
}

// Writes the seeds that only the program's own writers make (drawings, palettes,
// settings, material library and object list archives, a window's component
// stream) into the corpus folders
// under argv[1]; argv[2] is a section file whose drawing is one seed. Run by make_corpus.sh.
#include <QImage>

#include <cstdio>
#include <filesystem>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "model/Dxf.h"
#include "model/Palette.h"
#include "model/Section.h"
#include "model/SectionExports.h"
#include "model/Settings.h"
#include "platform/BinaryStream.h"
#include "platform/Picture.h"
#include "scene/components/ComponentStreams.h"
#include "scene/components/VectorLists.h"
#include "scene/graph/CameraLight.h"
#include "scene/graph/CustomSceneObjects.h"
#include "scene/graph/Scene.h"
#include "scene/materials/MaterialLibraryArchive.h"
#include "scene/materials/Materials.h"
#include "scene/viewers/Cadencer.h"
#include "scene/viewers/MemoryViewer.h"
#include "support/StreamForm.h"
#include "ui/ProgramStart.h"

namespace {

using namespace qira;

std::string corpus;

std::string Target(const std::string& target, const std::string& name) {
  std::filesystem::create_directories(corpus + "/" + target);
  return corpus + "/" + target + "/" + name;
}

void Write(const std::string& path, const TMemoryStream& stream) {
  if (!WriteWholeFileAtomic(path, stream.Data().data(), stream.Data().size())) std::abort();
}

bool Entities(TBinaryStream& f) {
  return WriteDXFGroup(f, 0, "POINT") && WriteDXFGroup(f, 8, "Points") && WriteDXFReal(f, 10, 1.5) &&
         WriteDXFReal(f, 20, -2) && WriteDXFReal(f, 30, 3) && WriteDXFGroup(f, 62, "1") &&
         WriteDXFGroup(f, 0, "LINE") && WriteDXFGroup(f, 8, "Lines") && WriteDXFReal(f, 10, 0) &&
         WriteDXFReal(f, 20, 0) && WriteDXFReal(f, 11, 10) && WriteDXFReal(f, 21, 5) &&
         WriteDXFGroup(f, 0, "3DFACE") && WriteDXFGroup(f, 8, "Faces") && WriteDXFReal(f, 10, 0) &&
         WriteDXFReal(f, 20, 0) && WriteDXFReal(f, 11, 1) && WriteDXFReal(f, 21, 0) && WriteDXFReal(f, 12, 1) &&
         WriteDXFReal(f, 22, 1) && WriteDXFGroup(f, 0, "CIRCLE") && WriteDXFGroup(f, 8, "Other");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s CORPUS_FOLDER SECTION_FILE\n", argv[0]);
    return 2;
  }
  corpus = argv[1];
  const std::string sectionFile = argv[2];
  fuzzing::Start();
  RegisterProgramClasses();

  if (!WriteDXFFile(Target("dxf", "entities.dxf"), Entities)) return 1;
  std::unique_ptr<TGraphSection> section = LoadSectionFile(sectionFile);
  if (!section) return 1;
  ExportDXF(*section, Target("dxf", "section.dxf"), true);

  if (!TZBPalette().WriteClrFile(Target("palette", "default.clr"))) return 1;

  LoadSettings(Target("settings", "defaults.ini"), fuzzing::ScratchFolder());
  if (!SaveSettings()) return 1;

  TGLMaterialLibrary empty;
  TMemoryStream emptyArchive;
  SaveToStream(empty, emptyArchive);
  Write(Target("material_library", "empty.bin"), emptyArchive);
  TGLMaterialLibrary textured;
  QImage picture(2, 2, QImage::Format_RGB32);
  picture.fill(Qt::red);
  const TBitmapGraphic bitmap(picture, 24);
  AddTextureMaterial(textured, "Red", &bitmap);
  AddTextureMaterial(textured, "Blank", nullptr);
  TMemoryStream texturedArchive;
  SaveToStream(textured, texturedArchive);
  Write(Target("material_library", "textured.bin"), texturedArchive);

  TPersistentObjectList list;
  auto vectors = std::make_unique<TAffineVectorList>();
  vectors->Add(1, 2, 3);
  vectors->Add(-4, 5.5f, 0);
  list.AddOwned(std::move(vectors));
  list.Add(nullptr);
  auto inner = std::make_unique<TPersistentObjectList>();
  inner->AddOwned(std::make_unique<TAffineVectorList>());
  list.AddOwned(std::move(inner));
  TMemoryStream listArchive;
  list.SaveToStream(listArchive);
  Write(Target("object_list", "lists.bin"), listArchive);

  // A window's components: a scene with a camera, its light and a textured
  // solid, a viewer, a cadencer and a material library.
  TStreamForm form;
  auto& scene = form.AddComponent<TGL3DScene>();
  scene.SetName("Scene");
  auto& camera = scene.Objects().AddNewChild<TGLCamera>();
  camera.SetName("Camera");
  camera.SetFocalLength(123.0f);
  camera.SetTurnAngle(30.0f);
  auto& light = camera.AddNewChild<TGLLightSource>();
  light.SetName("Light");
  light.SetLightStyle(TLightStyle::lsParallel);
  auto& solid = scene.Objects().AddNewChild<TGL3DSceneObject>();
  solid.SetName("Solid");
  solid.Hint = "solid";
  auto& material = dynamic_cast<TGLMaterial&>(solid.Material());
  material.SetBlendingMode(TBlendingMode::bmTransparency);
  material.Texture().SetDisabled(false);
  material.Texture().Assign(&bitmap);
  material.TextureEx().Add().SetTextureIndex(1);
  auto& viewer = form.AddComponent<TGLMemoryViewer>();
  viewer.SetName("Viewer");
  viewer.SetCamera(&camera);
  viewer.Buffer().FogEnvironment().SetFogStart(5.0f);
  auto& cadencer = form.AddComponent<TGLCadencer>();
  cadencer.SetName("Cadencer");
  cadencer.SetMode(TGLCadencerMode::cmManual);
  cadencer.SetScene(&scene);
  cadencer.SetTimeMultiplier(2.0);
  auto& library = form.AddComponent<TGLMaterialLibrary>();
  library.SetName("Library");
  library.Materials().Add().SetName("Brick");
  const std::vector<uint8_t> window = WriteComponentToBytes(form);
  if (!WriteWholeFileAtomic(Target("component_stream", "window.bin"), window.data(), window.size())) return 1;
  return 0;
}

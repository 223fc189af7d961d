#include "ui/ProgramStart.h"

#include <mutex>

#include "chart/draw/ChartFilters.h"
#include "imaging/GifImage.h"
#include "imaging/JpegImage.h"
#include "imaging/PngChunks.h"
#include "imaging/PngObject.h"
#include "model/Borehole.h"
#include "model/Dxf.h"
#include "model/GraphPolyline.h"
#include "model/GraphSurface.h"
#include "model/GraphicsKinds.h"
#include "model/ModelFile.h"
#include "model/SectionExports.h"
#include "model/SectionGroup.h"
#include "platform/Picture.h"
#include "scene/objects/BasicSolids.h"
#include "scene/viewers/Cadencer.h"
#include "scene/components/Coordinates.h"
#include "scene/graph/CustomSceneObjects.h"
#include "scene/objects/DummyPlaneSprite.h"
#include "scene/gl/EglRenderingContext.h"
#include "scene/materials/MaterialLibraryArchive.h"
#include "scene/materials/Materials.h"
#include "scene/viewers/MemoryViewer.h"
#include "scene/objects/Nodes.h"
#include "scene/components/Persistence.h"
#include "scene/objects/PointsLines.h"
#include "scene/graph/Scene.h"
#include "scene/viewers/SceneViewer.h"
#include "scene/materials/TextureImages.h"
#include "scene/components/VectorLists.h"
#include "scene/objects/BitmapFonts.h"
#include "scene/viewers/FullScreenViewer.h"
#include "scene/objects/HudObjects.h"
#include "scene/objects/Mesh.h"
#include "scene/objects/Pipe.h"
#include "scene/objects/Quadrics.h"
#include "scene/objects/SpaceText.h"
#include "scene/objects/WindowsBitmapFont.h"
#include "ui/BoreholeDialogs.h"
#include "ui/DistanceDialog.h"
#include "ui/ExportColourDialogs.h"
#include "ui/ExportDialogs.h"
#include "ui/GeologyDialogs.h"
#include "ui/GraphMainDialog.h"
#include "ui/PaletteEditor.h"
#include "ui/Pictures.h"
#include "ui/PotentialSectionDialog.h"
#include "ui/PropertyDialogs.h"
#include "ui/SectionDialog.h"
#include "ui/ParamEditors.h"
#include "widgets/WidgetSupport.h"

namespace qira {

void RegisterProgramClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Platform.
    RegisterBitmapFileFormat();
    RegisterIconClipboardFormat();
    // Engine.
    RegisterPersistenceClasses();
    RegisterVectorListClasses();
    RegisterCoordinatesClasses();
    RegisterNodesClasses();
    RegisterEglRenderingContext();
    RegisterSceneClasses();
    RegisterCustomSceneObjectClasses();
    RegisterBasicSolidsClasses();
    RegisterDummyPlaneSpriteClasses();
    RegisterPointsLinesClasses();
    RegisterMaterialClasses();
    RegisterTextureImageClasses();
    RegisterMaterialLibraryArchiveClasses();
    RegisterMemoryViewerClasses();
    RegisterSceneViewerClasses();
    RegisterCadencerClasses();
    // Primitives, text and full-screen display.
    RegisterQuadricsClasses();
    RegisterMeshClasses();
    RegisterPipeClasses();
    RegisterBitmapFontClasses();
    RegisterWindowsBitmapFontClasses();
    RegisterHudObjectsClasses();
    RegisterSpaceTextClasses();
    RegisterFullScreenViewerClasses();
    // Chart drawing: the image filters, found by class name.
    RegisterChartFilters();
    // Image codecs.
    RegisterCommonChunks();
    RegisterPngFileFormat();
    RegisterGifFileFormat();
    RegisterJpegFileFormat();
    // Scene object kinds and their commands.
    RegisterGraphicsKinds();
    RegisterGraphicsCommands();
    RegisterSectionKinds();
    RegisterSectionCommands();
    RegisterBoreholeKind();
    RegisterSurfaceKinds();
    RegisterPolylineKinds();
    RegisterDxfCommand();
    RegisterModelCommand();
    RegisterSectionExportCommands();
    // Dialogs behind the model's and the view window's hooks.
    RegisterGeologyDialogs();
    RegisterPaletteEditor();
    RegisterParamEditors();
    RegisterBoreholeDialogs();
    RegisterDistanceDialog();
    RegisterSectionDialog();
    RegisterPotentialSectionDialog();
    RegisterPropertyDialogs();
    RegisterGraphMainDialog();
    RegisterPictureCommands();
    RegisterExportSaveDialog();
    RegisterExportDialogs();
  });
}

}  // namespace qira

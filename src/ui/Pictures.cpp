#include "ui/Pictures.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QProgressBar>
#include <QProgressDialog>
#include <QThreadPool>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <new>
#include <vector>

#include "imaging/JpegWriter.h"
#include "imaging/PngChunks.h"
#include "imaging/PngErrors.h"
#include "imaging/PngObject.h"
#include "imaging/TiffWriter.h"
#include "model/DrawCosts.h"
#include "model/GraphMain.h"
#include "model/Settings.h"
#include "platform/AvailableMemory.h"
#include "platform/BmpCodec.h"
#include "platform/GraphicErrors.h"
#include "platform/Picture.h"
#include "platform/Rounding.h"
#include "platform/Services.h"
#include "scene/components/Colors.h"
#include "scene/components/PlatformUtilities.h"
#include "scene/graph/Scene.h"
#include "scene/graph/SceneObject.h"
#include "scene/gl/RenderingContext.h"
#include "scene/graph/SceneBuffer.h"
#include "scene/viewers/SceneViewer.h"
#include "ui/DialogSupport.h"
#include "ui/ExportDialogs.h"
#include "ui/ViewWindow.h"

// Sections: registration; sizes and limits; file names; rendering; writing;
// commands. The picture options dialog is in PictureOptionsDialog.cpp, which
// needs nothing of the engine.

namespace qira {

// ---- registration ---------------------------------------------------------------------

void RegisterPictureCommands() {
  TViewWindowHooks& hooks = ViewWindowHooks();
  hooks.SavePicture = [](TForm3D& form) { SavePicture(form); };
  hooks.CopyPictureToClipboard = [](TForm3D& form) { CopyPictureToClipboard(form); };
}

// ---- sizes and limits -----------------------------------------------------------------------

TPictureSize PictureSize(int32_t bufferWidth, int32_t bufferHeight, int32_t dpi, int32_t screenDpi) {
  const double screen = screenDpi >= 1 ? screenDpi : 96;
  auto side = [&](int32_t size) {
    const int64_t product = int64_t{size} * int64_t{dpi};
    return RoundToInt64(static_cast<double>(product) / screen * 1.3);
  };
  return {side(bufferWidth), side(bufferHeight)};
}

namespace {

std::string SizeText(const TPictureSize& size) {
  return std::to_string(size.Width) + " x " + std::to_string(size.Height) + " pixels";
}

// Whole megabytes, rounded up, so a limit is never shown as what it is not.
std::string Megabytes(double bytes) {
  return std::to_string(static_cast<int64_t>(std::ceil(bytes / (1024.0 * 1024.0)))) + " MB";
}

constexpr const char* kLowerResolution = " Choose a lower resolution.";

// The refusal of a picture the memory cannot hold, also when an allocation failed
// though the count let the picture through (MemoryShortfallClause).
std::string PictureMemoryRefusal(const TPictureSize& size, int64_t needed, int64_t available) {
  return "The picture of " + SizeText(size) + " needs about " + Megabytes(static_cast<double>(needed)) +
         " of memory, " + MemoryShortfallClause(needed, available) + "." + kLowerResolution;
}

std::string TooLargeFile(const TPictureSize& size, const char* kind, uint64_t fileSize, uint64_t maxSize) {
  return "The picture of " + SizeText(size) + " would make a " + kind + " file of " +
         Megabytes(static_cast<double>(fileSize)) + "; a " + kind + " file can hold at most " +
         Megabytes(static_cast<double>(maxSize)) + "." + kLowerResolution;
}

// What a picture's render takes beside the picture, measured with Mesa's llvmpipe:
// the buffers of its largest tile, which go before the writer's copies are made;
// and what stays: the picture's own context with the driver's start when no view
// was drawn before (about 64 MB in all; once a view was drawn, the context alone, a
// few megabytes), the written file's pages not yet on the disk (TBinaryFile writes
// them behind every 16 MB) and the stacks of Qt's pooled threads, which the painting
// of glyphs uses.
// An address-space limit counts what is reserved: the tile's buffers at their
// full size (the depth read-back among them), and the stacks. The driver's own
// threads are there since the view was first drawn, and under such a limit the
// pooled ones since the start (BoundThreadReservesUnderAddressLimit): their stacks,
// counted again, are the margin that keeps the driver from meeting a failed
// allocation. A memory limit (a control group's, the machine's) counts only the
// pages touched: the tile's colour and depth and the colour read back from it, for
// a transparent picture also the depth read back to tell the background from the
// model (a float a pixel); the context and the file's pages.
double RenderTileBytes(double width, double height, int32_t tileEdge, bool transparent, bool addressSpaceLimit) {
  constexpr double kTouchedBytesPerPixel = 12;
  constexpr double kDepthReadBackBytesPerPixel = sizeof(float);
  const double perPixel = addressSpaceLimit ? static_cast<double>(kPictureTileBytesPerPixel)
                                            : kTouchedBytesPerPixel + (transparent ? kDepthReadBackBytesPerPixel : 0);
  const double edge = tileEdge >= 1 ? std::min(tileEdge, kMaxPictureTileEdge) : kMaxPictureTileEdge;
  return std::min(width, edge) * std::min(height, edge) * perPixel;
}

// What the driver takes for the scene's draws in a picture. The picture's context
// shares the names of every context of the program's, and joins the buffer's own
// context so that what it builds is handed on when it goes: what a view has built
// and still holds (a section's or surface's buffers, the lists of spheres) is drawn
// again, not built again; what no live context holds (never drawn, changed since, or
// built by an earlier picture whose buffer had no context of its own) the picture
// builds, its whole first draw. What a picture takes again in any case is the
// driver's data of each draw, held until its rasterizer threads have drawn it, which
// no sharing saves. Measured with boreholes (10 KB each at their first draw): 75 to
// 130 KB each in a picture, whatever its size, so 16 times the first draw. Every
// frame waits for the driver after a stretch of objects (ObjectsBetweenRenderWaits),
// so beyond a stretch it holds no more: 18 MB from 300 boreholes up to 3,000
// (unpaced, 80,000 held 1.1 to 1.8 GB, more on a busy machine); counted as 96 KB for
// each object of a stretch; and beside them what the largest draw adds
// (TPictureScene::LargestDrawBytes). The heap keeps those pages through the writing.
double SceneDrawBytes(const TPictureScene& scene) {
  constexpr double kPictureDrawPerFirstDraw = 16;
  constexpr int64_t kDrawnPerObject = 96 << 10;
  const auto drawn = static_cast<double>(std::max<int64_t>(scene.DrawnBytes, 0));
  const int64_t stretch = std::clamp<int64_t>(scene.Objects, 0, ObjectsBetweenRenderWaits) * kDrawnPerObject;
  const int64_t largest = std::max<int64_t>(scene.LargestDrawBytes, 0);
  return std::min(kPictureDrawPerFirstDraw * drawn, static_cast<double>(stretch + largest));
}

// Measured at 96 and 300 dpi of views of 800 x 600 and 1920 x 1080 drawn before: 3 to
// 7 MB beside the tile, the picture and its file's pages.
double RenderContextBytes(bool addressSpaceLimit, bool viewDrawn, double pictureBytes) {
  constexpr double kContextAndFilePages = 72.0 * 1024 * 1024;
  constexpr double kContext = 8.0 * 1024 * 1024;
  constexpr double kFilePagesBehind = 16.0 * 1024 * 1024;
  if (!addressSpaceLimit)
    return viewDrawn ? kContext + std::min(pictureBytes, kFilePagesBehind) : kContextAndFilePages;
  rlimit stack{};
  const double stackSize = getrlimit(RLIMIT_STACK, &stack) == 0 && stack.rlim_cur != RLIM_INFINITY
                               ? static_cast<double>(stack.rlim_cur)
                               : 8.0 * 1024 * 1024;
  return kContextAndFilePages + std::max(QThreadPool::globalInstance()->maxThreadCount(), 1) * stackSize;
}

}  // namespace

int64_t PictureMemoryNeeded(const TPictureSize& size, int fileType, bool transparent, const TPictureScene& scene,
                            bool addressSpaceLimit) {
  const double width = static_cast<double>(std::max<int64_t>(size.Width, 0));
  const double height = static_cast<double>(std::max<int64_t>(size.Height, 0));
  const double picture = std::ceil(width * 3 / 4) * 4 * height;  // 24-bit rows padded to 4 bytes
  // The writer's copies: a 32-bit conversion of the picture; PNG's writer then makes
  // its own 24-bit rows, and admits them only when a 32-bit picture would fit beside.
  double writer = width * height * 4 + (fileType == pftPng ? picture + width * height * 4 : 0);
  // The render's own memory counts whichever limit binds, or the driver and Qt
  // fail where nothing can catch it, or the kernel ends the program.
  if (width > 0 && height > 0) {
    writer = std::max(writer, RenderTileBytes(width, height, scene.TileEdge, transparent, addressSpaceLimit)) +
             SceneDrawBytes(scene) + RenderContextBytes(addressSpaceLimit, scene.ViewDrawn, picture);
  }
  const double total = picture + writer;
  constexpr double kMax = 9.0e18;  // below INT64_MAX, exactly representable
  return total >= kMax ? static_cast<int64_t>(kMax) : static_cast<int64_t>(total);
}

std::string PictureSizeProblem(const TPictureSize& size, int fileType, bool transparent,
                               const TPictureScene& scene) {
  if (size.Width < 1 || size.Height < 1) return "The picture size " + SizeText(size) + " is empty.";
  constexpr int64_t kMaxSide = std::numeric_limits<int32_t>::max();
  if (size.Width > kMaxSide || size.Height > kMaxSide)
    return "The picture of " + SizeText(size) + " is too large for any picture file." + kLowerResolution;
  const auto width = static_cast<uint64_t>(size.Width);
  const auto height = static_cast<uint64_t>(size.Height);
  switch (fileType) {
    case pftTiff:
      if (const uint64_t bytes = TiffRgbFileSize(width, height); bytes > MaxTiffFileSize)
        return TooLargeFile(size, "TIFF", bytes, MaxTiffFileSize);
      break;
    case pftPng:
    case pftJpeg:
      if (size.Width > kMaxJpegSide || size.Height > kMaxJpegSide) {
        return "The picture of " + SizeText(size) + " is too large for a " + (fileType == pftPng ? "PNG" : "JPEG") +
               " file: its sides can be at most " + std::to_string(kMaxJpegSide) + " pixels." + kLowerResolution;
      }
      if (fileType == pftPng) {
        // The PNG writer keeps the pixels as 24-bit rows padded to 4 bytes.
        const uint64_t storage = (24 * width + 31) / 32 * 4 * height;
        if (storage > kMaxPngStorageBytes) {
          return "The picture of " + SizeText(size) + " is too large for a PNG file: it takes " +
                 Megabytes(static_cast<double>(storage)) + ", more than the " +
                 Megabytes(static_cast<double>(kMaxPngStorageBytes)) + " the PNG writer can hold." + kLowerResolution;
        }
      }
      break;
    default:
      if (const uint64_t bytes = BmpFileSize(width, height, 24); bytes > MaxBmpFileSize)
        return TooLargeFile(size, "BMP", bytes, MaxBmpFileSize);
      break;
  }
  const int64_t needed = PictureMemoryNeeded(size, fileType, transparent, scene);
  const int64_t available = AvailableMemory();
  if (needed > available) return PictureMemoryRefusal(size, needed, available);
  return {};
}

// ---- file names -------------------------------------------------------------------------------

namespace {

// The first extension of a type is the one a bare name gets.
constexpr TFilterExtension kPictureExtensions[] = {{".bmp", pftBmp}, {".tif", pftTiff}, {".tiff", pftTiff},
                                                   {".png", pftPng}, {".jpg", pftJpeg}, {".jpeg", pftJpeg}};

// The save dialog of pictures: the file and type a typed name stands for, and
// the question about an existing file, settled before the picture options.
class TSavePictureDialog : public TCBSaveDialog {
 public:
  using TCBSaveDialog::TCBSaveDialog;

 protected:
  TSaveTarget TargetOf(const std::string& typed, int filterIndex) const override {
    return PictureTarget(typed, filterIndex);
  }
};

}  // namespace

TSaveTarget PictureTarget(const std::string& typed, int filterIndex) {
  const int chosen = filterIndex >= pftBmp && filterIndex <= pftAllFiles ? filterIndex : pftBmp;
  return SaveTargetOf(typed, chosen, kPictureExtensions, TOtherExtension::Completed);
}

// ---- rendering ----------------------------------------------------------------------------

TGL3DSceneBuffer& PictureBuffer(TForm3D& form) {
  if (TGL3DSceneBuffer* current = form.GL3DScene1->CurrentBuffer()) return *current;
  return form.GL3DSceneViewer1->Buffer();
}

TPictureScene PictureScene(TForm3D& form) {
  TPictureScene scene;
  scene.TileEdge = PictureBuffer(form).PictureTileEdge();
  // Any context of the program's (a view's) holds the driver's start.
  scene.ViewDrawn = GLContextManager().CreatedContextCount() > 0;
  std::vector<const TGraphMain*> shown{&form.Root()};
  while (!shown.empty()) {
    const TGraphMain& object = *shown.back();
    shown.pop_back();
    if (!object.Visible()) continue;  // nor is anything under it drawn
    const int64_t drawn = object.DrawnBytes();
    if (drawn > 0) {
      scene.DrawnBytes += drawn;
      ++scene.Objects;
    }
    const int64_t draw = FrameBinsOf(object.BinnedBytes()) + (object.DrawingHeld() ? 0 : std::max<int64_t>(drawn, 0));
    scene.LargestDrawBytes = std::max(scene.LargestDrawBytes, draw);
    for (int i = 0; i < object.ChildCount(); ++i) shown.push_back(object.GetChild(i));
  }
  return scene;
}

namespace {

// The size of the picture of the buffer at DPI, checked before anything is allocated.
TPictureSize CheckedPictureSize(TGL3DSceneBuffer& buffer, int32_t DPI) {
  const TPictureSize size = PictureSize(buffer.Width(), buffer.Height(), DPI, GetDeviceLogicalPixelsX());
  buffer.CheckPictureSize(size.Width, size.Height, 3);
  return size;
}

// A transparent picture keeps its see-through colour for the background alone:
// the model's pixels of that colour stay visible.
TPictureBackground BackgroundOf(bool transparent) {
  return transparent ? TPictureBackground::pbKeyed : TPictureBackground::pbPlain;
}

void MarkTransparency(TGL3DSceneBuffer& buffer, bool transparent, TRenderedPicture& picture) {
  if (!transparent) return;
  picture.Transparent = true;
  picture.TransparentColor = ResolveSystemColor(buffer.BackgroundColor()) & 0xFFFFFFu;
}

}  // namespace

TRenderedPicture RenderBitmap(TForm3D& form, int32_t DPI, bool Transparent) {
  TGL3DSceneBuffer& buffer = PictureBuffer(form);
  const TPictureSize size = CheckedPictureSize(buffer, DPI);
  TRenderedPicture picture;
  picture.Bitmap = buffer.RenderToNewBitmap(static_cast<int32_t>(size.Width), static_cast<int32_t>(size.Height),
                                            DPI, BackgroundOf(Transparent));
  MarkTransparency(buffer, Transparent, picture);
  return picture;
}

bool RunStepsWithProgress(QWidget* parent, const std::string& label, int count,
                          const std::function<void(int)>& step) {
  if (count <= 0) return true;
  QProgressDialog dialog(ToQt(label), QStringLiteral("Cancel"), 0, count, parent);
  dialog.setWindowTitle(QStringLiteral("Picture"));
  dialog.setAutoClose(false);
  dialog.setAutoReset(false);
  // The bar is driven directly: the dialog's own setValue pumps events when modal.
  auto* bar = new QProgressBar(&dialog);
  dialog.setBar(bar);
  bar->setRange(0, count);
  bar->setValue(0);

  int done = 0;
  std::exception_ptr failure;
  QTimer timer;
  timer.setInterval(0);
  QObject::connect(&timer, &QTimer::timeout, &dialog, [&] {
    if (done >= count || dialog.wasCanceled() || failure) return;
    try {
      step(done);
    } catch (...) {
      failure = std::current_exception();
      timer.stop();
      dialog.done(QDialog::Rejected);
      return;
    }
    ++done;
    bar->setValue(done);
    if (done == count) {
      timer.stop();
      dialog.done(QDialog::Accepted);
    }
  });
  timer.start();
  const int result = dialog.exec();
  timer.stop();
  if (failure) std::rethrow_exception(failure);
  return result == QDialog::Accepted && done == count;
}

std::optional<TRenderedPicture> RenderBitmapWithProgress(TForm3D& form, int32_t DPI, bool Transparent) {
  TGL3DSceneBuffer& buffer = PictureBuffer(form);
  const TPictureSize size = CheckedPictureSize(buffer, DPI);
  const auto width = static_cast<int32_t>(size.Width);
  const auto height = static_cast<int32_t>(size.Height);
  const int32_t tiles = buffer.PictureTileCount(width, height);
  if (tiles <= 1) return RenderBitmap(form, DPI, Transparent);
  TRenderedPicture picture;
  picture.Bitmap = QImage(width, height, QImage::Format_RGB888);
  if (picture.Bitmap.isNull()) throw std::bad_alloc();
  auto renderTile = [&](int tile) {
    buffer.RenderToBitmapTiles(picture.Bitmap, DPI, tile, 1, BackgroundOf(Transparent));
  };
  const bool finished =
      RunStepsWithProgress(&form, "Rendering the picture of " + SizeText(size) + "...", tiles, renderTile);
  if (!finished) return std::nullopt;
  MarkTransparency(buffer, Transparent, picture);
  return picture;
}

// ---- writing --------------------------------------------------------------------------------

void WritePictureFile(const TRenderedPicture& picture, int filterIndex, const std::string& fileName) {
  switch (filterIndex) {
    case pftTiff:
      if (!WriteTiffPictureToFile(fileName, picture.Bitmap)) {
        throw EInvalidGraphicOperation("The picture cannot be written as a TIFF file \"" + fileName + "\".");
      }
      return;
    case pftPng: {
      TPNGObject png;
      png.AssignImage(picture.Bitmap);
      png.SetTransparent(picture.Transparent);
      // Without transparency no colour is marked: a see-through background the
      // user switched off would be a wrong picture.
      if (picture.Transparent) png.SetTransparentColor(picture.TransparentColor);
      png.SaveToFile(fileName);
      return;
    }
    case pftJpeg:
      WriteJpegToFile(fileName, picture.Bitmap, kJpegPictureQuality);
      return;
    default:
      TBitmapGraphic(picture.Bitmap, 24).SaveToFile(fileName);
      return;
  }
}

// ---- commands ---------------------------------------------------------------------------------

namespace {

void ShowError(const std::string& text) { Services().Messages->ShowMessage(text, TMessageKind::Error); }

// What the user is told of a picture that failed: an allocation that failed (the
// program's, a writer's conversion, or the driver's context or off-screen buffer)
// as the memory refusal with the picture's size and need, any other failure with
// its own text.
std::string PictureFailureText(const std::exception& error, const TPictureSize& size, int fileType,
                               bool transparent, const TPictureScene& scene) {
  // A writer's conversion that could not be had is refused by its library in
  // the library's words; here it is the picture's.
  const bool memory = dynamic_cast<const std::bad_alloc*>(&error) != nullptr ||
                      dynamic_cast<const EGLOutOfMemory*>(&error) != nullptr ||
                      dynamic_cast<const EGraphicTooLarge*>(&error) != nullptr ||
                      dynamic_cast<const EPNGOutMemory*>(&error) != nullptr;
  if (!memory) return error.what();
  return PictureMemoryRefusal(size, PictureMemoryNeeded(size, fileType, transparent, scene), AvailableMemory());
}

}  // namespace

void SavePicture(TForm3D& form) {
  TSavePictureDialog dialog(&form);
  dialog.Filter = kPictureFilter;
  // No default extension: a bare name takes the chosen type's (PictureTarget).
  dialog.OverwritePrompt = true;
  const int storedType = ReadSetting(SettingKeys::PictureFileType, static_cast<int>(pftPng));
  dialog.FilterIndex = storedType >= pftBmp && storedType <= pftAllFiles ? storedType : pftPng;
  // Not the working folder: the one the user saved a picture or an export to last.
  dialog.InitialDir = ExportFolder();
  if (!dialog.Execute()) return;
  const int fileType = dialog.FilterIndex;

  int32_t dpi = ReadSetting(SettingKeys::PictureDpi, kDefaultPictureDpi);
  bool transparent = ReadSetting(SettingKeys::PictureTransparency, true);
  TGL3DSceneBuffer& buffer = PictureBuffer(form);
  const TPictureScene scene = PictureScene(form);
  TSaveImageForm options(&form);
  options.SetPictureGeometry(buffer.Width(), buffer.Height(), GetDeviceLogicalPixelsX(), fileType, scene);
  if (!options.Execute(dpi, transparent)) return;

  const TPictureSize size = PictureSize(buffer.Width(), buffer.Height(), dpi, GetDeviceLogicalPixelsX());
  try {
    const std::string problem = PictureSizeProblem(size, fileType, transparent, scene);
    if (!problem.empty()) {
      ShowError(problem);
      return;
    }
    const std::optional<TRenderedPicture> picture = RenderBitmapWithProgress(form, dpi, transparent);
    if (!picture) return;  // cancelled: nothing written, nothing stored
    WritePictureFile(*picture, fileType, dialog.FileName);
  } catch (const std::exception& error) {
    ShowError(PictureFailureText(error, size, fileType, transparent, scene));
    return;
  }
  WriteSetting(SettingKeys::PictureDpi, static_cast<int>(dpi));
  WriteSetting(SettingKeys::PictureTransparency, transparent);
  WriteSetting(SettingKeys::PictureFileType, fileType);
  RememberExportFolder(dialog.FileName);
}

void CopyPictureToClipboard(TForm3D& form) {
  const TPictureScene scene = PictureScene(form);
  try {
    const TRenderedPicture picture = RenderBitmap(form, kClipboardPictureDpi, true);
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setImage(picture.Bitmap);
  } catch (const std::exception& error) {
    const TGL3DSceneBuffer& buffer = PictureBuffer(form);
    // The clipboard hands the picture on as a 32-bit copy, as the BMP writer does;
    // its picture is a transparent one.
    ShowError(PictureFailureText(
        error, PictureSize(buffer.Width(), buffer.Height(), kClipboardPictureDpi, GetDeviceLogicalPixelsX()), pftBmp,
        true, scene));
  }
}

}  // namespace qira

#include "ui/Pictures.h"

#include <QClipboard>
#include <QGuiApplication>

#include <exception>

#include "imaging/JpegWriter.h"
#include "imaging/PngObject.h"
#include "imaging/TiffWriter.h"
#include "model/Settings.h"
#include "platform/GraphicErrors.h"
#include "platform/Picture.h"
#include "platform/Rounding.h"
#include "platform/Services.h"
#include "scene/components/Colors.h"
#include "scene/components/PlatformUtilities.h"
#include "scene/graph/Scene.h"
#include "scene/graph/SceneBuffer.h"
#include "scene/viewers/SceneViewer.h"
#include "ui/ExportDialogs.h"
#include "ui/ViewWindow.h"

// Sections: registration; rendering; writing; commands. The picture options
// dialog is in PictureOptionsDialog.cpp, which needs nothing of the engine.

namespace qira {

// ---- registration ---------------------------------------------------------------------

void RegisterPictureCommands() {
  TViewWindowHooks& hooks = ViewWindowHooks();
  hooks.SavePicture = [](TForm3D& form) { SavePicture(form); };
  hooks.CopyPictureToClipboard = [](TForm3D& form) { CopyPictureToClipboard(form); };
}

// ---- rendering ----------------------------------------------------------------------------

TPictureSize PictureSize(int32_t bufferWidth, int32_t bufferHeight, int32_t dpi, int32_t screenDpi) {
  const double screen = screenDpi >= 1 ? screenDpi : 96;
  auto side = [&](int32_t size) {
    const int64_t product = int64_t{size} * int64_t{dpi};
    return RoundToInt64(static_cast<double>(product) / screen * 1.3);
  };
  return {side(bufferWidth), side(bufferHeight)};
}

TGL3DSceneBuffer& PictureBuffer(TForm3D& form) {
  if (TGL3DSceneBuffer* current = form.GL3DScene1->CurrentBuffer()) return *current;
  return form.GL3DSceneViewer1->Buffer();
}

TRenderedPicture RenderBitmap(TForm3D& form, int32_t DPI, bool Transparent) {
  TGL3DSceneBuffer& buffer = PictureBuffer(form);
  const TPictureSize size = PictureSize(buffer.Width(), buffer.Height(), DPI, GetDeviceLogicalPixelsX());
  buffer.CheckPictureSize(size.Width, size.Height, 3);
  TRenderedPicture picture;
  picture.Bitmap =
      buffer.RenderToNewBitmap(static_cast<int32_t>(size.Width), static_cast<int32_t>(size.Height), DPI);
  if (Transparent) {
    picture.Transparent = true;
    picture.TransparentColor = ResolveSystemColor(buffer.BackgroundColor()) & 0xFFFFFFu;
  }
  return picture;
}

// ---- writing --------------------------------------------------------------------------------

void WritePictureFile(const TRenderedPicture& picture, int filterIndex, const std::string& fileName) {
  switch (filterIndex) {
    case pftTiff:
      if (!WriteTiffToFile(fileName, TBitmapGraphic(picture.Bitmap, 24))) {
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

}  // namespace

void SavePicture(TForm3D& form) {
  TCBSaveDialog dialog(&form);
  dialog.Filter = kPictureFilter;
  dialog.DefaultExt = "bmp";
  dialog.OverwritePrompt = true;
  const int storedType = ReadSetting(SettingKeys::PictureFileType, static_cast<int>(pftPng));
  dialog.FilterIndex = storedType >= pftBmp && storedType <= pftAllFiles ? storedType : pftPng;
  if (!dialog.Execute()) return;

  int32_t dpi = ReadSetting(SettingKeys::PictureDpi, kDefaultPictureDpi);
  bool transparent = ReadSetting(SettingKeys::PictureTransparency, true);
  TSaveImageForm options(&form);
  if (!options.Execute(dpi, transparent)) return;

  try {
    const TRenderedPicture picture = RenderBitmap(form, dpi, transparent);
    WritePictureFile(picture, dialog.FilterIndex, dialog.FileName);
  } catch (const std::exception& error) {
    ShowError(error.what());
    return;
  }
  WriteSetting(SettingKeys::PictureDpi, static_cast<int>(dpi));
  WriteSetting(SettingKeys::PictureTransparency, transparent);
  WriteSetting(SettingKeys::PictureFileType, dialog.FilterIndex);
}

void CopyPictureToClipboard(TForm3D& form) {
  try {
    const TRenderedPicture picture = RenderBitmap(form, kClipboardPictureDpi, true);
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setImage(picture.Bitmap);
  } catch (const std::exception& error) {
    ShowError(error.what());
  }
}

}  // namespace qira

#pragma once
// Pictures of a view window: "Save picture" writes the view, rendered once more
// at a chosen resolution, as a BMP, TIFF, PNG or JPEG file; "Copy to clipboard"
// puts it on the clipboard. RegisterPictureCommands() installs both into the
// view window's hooks.
//
// Saving is atomic (a failed save leaves an existing file as it was) and every
// failure is shown to the user as an error message, with nothing stored in the
// settings. A picture too large for memory is refused with the engine's message
// before its pixels are allocated.
#include <QDialog>
#include <QImage>

#include <cstdint>
#include <string>

#include "platform/CanvasTypes.h"

class QCheckBox;
class QPushButton;

namespace qira {

class TForm3D;
class TGL3DSceneBuffer;
class TSpinEditEx;

// Call once after the QApplication exists.
void RegisterPictureCommands();

inline constexpr const char* kPictureFilter =
    "Bitmap pictures (*.bmp)|*.bmp|TIF pictures (*.tif)|*.tif|PNG pictures (*.png)|*.png|"
    "JPG pictures (*.jpg)|*.jpg|All files (*.*)|*.*";
// Filter indices of the save dialog (1-based); any other writes BMP.
enum TPictureFileType : int { pftBmp = 1, pftTiff = 2, pftPng = 3, pftJpeg = 4, pftAllFiles = 5 };
inline constexpr int32_t kJpegPictureQuality = 50;
inline constexpr int32_t kDefaultPictureDpi = 300;
inline constexpr int32_t kClipboardPictureDpi = 96;
inline constexpr int32_t kMinPictureDpi = 10;
inline constexpr int32_t kMaxPictureDpi = 10000;

// The rendered view: a 24-bit picture and, for a transparent picture, the
// colour to be seen through (the buffer's background colour, as RGB).
struct TRenderedPicture {
  QImage Bitmap;
  bool Transparent = false;
  TColor TransparentColor = 0;
};

// Size of the picture of a buffer: round(size · dpi / screenDpi · 1.3) for
// each side, the product size · dpi taken as an integer. A screen resolution
// below 1 counts as 96. 64-bit, so an absurd size can be refused rather than
// overflow.
struct TPictureSize {
  int64_t Width = 0;
  int64_t Height = 0;
};
TPictureSize PictureSize(int32_t bufferWidth, int32_t bufferHeight, int32_t dpi, int32_t screenDpi);

// The buffer whose view a picture shows: the scene's current buffer (the one
// that rendered last: the window's viewer, or the full-screen viewer while it
// is active), or the window's viewer when none has rendered yet.
TGL3DSceneBuffer& PictureBuffer(TForm3D& form);

// Renders the view at DPI into a new 24-bit picture (see PictureSize, with the
// screen's logical pixels per inch). EGLPictureSize, before anything is
// allocated, for a picture too large for memory; the engine's errors pass on.
TRenderedPicture RenderBitmap(TForm3D& form, int32_t DPI, bool Transparent);

// Writes the picture by the save dialog's filter index (see TPictureFileType),
// atomically, to the file name as given. PNG marks the transparent colour
// only for a transparent picture. Raises the writer's exception on failure.
void WritePictureFile(const TRenderedPicture& picture, int filterIndex, const std::string& fileName);

// "Save picture": the save dialog, the picture options, rendering and writing;
// "FileType", "DPI" and "Transparency" of "Form3D" are stored after a save.
void SavePicture(TForm3D& form);
// "Copy to clipboard": the view at 96 DPI as an image on the clipboard.
void CopyPictureToClipboard(TForm3D& form);

// "Image": the resolution and the transparent background of a picture.
class TSaveImageForm : public QDialog {
 public:
  explicit TSaveImageForm(QWidget* parent = nullptr);

  // Shows DPI and Transparent; on OK returns the resolution (rounded) and the
  // check box, and true.
  bool Execute(int32_t& DPI, bool& Transparent);
  // The controls from the arguments (Execute does this first).
  void Start(int32_t DPI, bool Transparent);
  int32_t ChosenDPI() const;
  bool ChosenTransparent() const;

  TSpinEditEx* DpiEdit() const { return dpiEdit_; }
  QCheckBox* TransparentBox() const { return transparentBox_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  TSpinEditEx* dpiEdit_;
  QCheckBox* transparentBox_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace qira

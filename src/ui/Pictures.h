#pragma once
// Pictures of a view window: "Save picture" writes the view, rendered once more
// at a chosen resolution, as a BMP, TIFF, PNG or JPEG file; "Copy to clipboard"
// puts it on the clipboard. RegisterPictureCommands() installs both into the
// view window's hooks.
//
// Saving is atomic (a failed save leaves an existing file as it was) and every
// failure is shown to the user as an error message, with nothing stored in the
// settings. A picture that its file type cannot hold, or that would not fit in
// the memory available, is refused with a message before anything is rendered;
// memory that cannot be had all the same (the program's, or the driver's for the
// off-screen buffer) is refused with that message too: the picture's size and
// what it needs, never the allocator's own text.
// A picture of several tiles is rendered one tile per turn of the event loop
// under a progress dialog whose Cancel stops it.
#include <QDialog>
#include <QImage>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/AvailableMemory.h"
#include "platform/CanvasTypes.h"
#include "ui/ExportDialogs.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QWidget;

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
// The longest side a JPEG file can describe.
inline constexpr int64_t kMaxJpegSide = 65535;

// The rendered view: a 24-bit picture and, for a transparent picture, the
// colour to be seen through (the buffer's background colour, as RGB), which
// only the background carries: a model pixel of that colour was rendered one
// level off it.
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

// ---- limits

// AvailableMemory (platform/AvailableMemory.h) is what the limits below compare with.

// What a picture's render draws, beside its pixels: the largest edge of the tiles it
// is rendered in (0: the largest the program renders in); of the objects shown, the
// first-draw cost (TGraphMain::DrawnBytes) in all and how many draw anything; the most
// that the draw of one of them adds: its bins (TGraphMain::BinnedBytes, up to what
// the renderer holds of a frame), and its whole first draw when its drawing is not
// held in a live context (TGraphMain::DrawingHeld), so that the picture builds it
// again; and whether a context lives, the driver started.
struct TPictureScene {
  int32_t TileEdge = 0;
  int64_t DrawnBytes = 0;
  int64_t Objects = 0;
  int64_t LargestDrawBytes = 0;
  bool ViewDrawn = false;
};
// The scene a picture of the view draws: the tiles of PictureBuffer, the objects of
// the view's tree that are not hidden.
TPictureScene PictureScene(TForm3D& form);

// Bytes "Save picture" needs in memory for a picture of that size and file
// type, with or without the transparent background, of that scene: the 24-bit
// picture, then the larger of the writer's copies (one of 32 bits a pixel; for PNG
// also the writer's own 24-bit rows and the room of a 32-bit picture it asks for
// beside them) and the render (its largest tile, with the depth a transparent
// picture reads back, and what the driver holds of the scene's draws), and what the
// render keeps (its context, the written file's pages not yet on the disk). Under an
// address-space limit (RLIMIT_AS; by default whether one is set now) the tile counts
// at what it reserves, and Qt's pooled threads' stacks count too. Saturates instead
// of overflowing.
int64_t PictureMemoryNeeded(const TPictureSize& size, int fileType, bool transparent, const TPictureScene& scene,
                            bool addressSpaceLimit = AddressSpaceLimit() >= 0);

// Why a picture of that size cannot be saved as that file type (see
// TPictureFileType; other indices write BMP), with or without the transparent
// background, of that scene: an empty picture, a file larger than the BMP and TIFF
// writers make, a side longer than JPEG and PNG allow, more pixels than the PNG
// writer holds, or more memory than is available now. Empty when it can be saved.
std::string PictureSizeProblem(const TPictureSize& size, int fileType, bool transparent,
                               const TPictureScene& scene);

// ---- file names

// The file and the type (the filter index it is written by) a name typed in the
// save dialog stands for. A known picture extension (.bmp, .tif, .tiff, .png,
// .jpg, .jpeg, any case) selects its type, whatever filter was chosen. Any other
// name keeps the chosen type (All files, and an index outside 1..5, write BMP)
// and, unless All files was chosen, gets the type's extension.
TSaveTarget PictureTarget(const std::string& typed, int filterIndex);

// ---- rendering

// The buffer whose view a picture shows: the scene's current buffer (the one
// that rendered last: the window's viewer, or the full-screen viewer while it
// is active), or the window's viewer when none has rendered yet.
TGL3DSceneBuffer& PictureBuffer(TForm3D& form);

// Renders the view at DPI into a new 24-bit picture (see PictureSize, with the
// screen's logical pixels per inch) in one go. EGLPictureSize, before anything
// is allocated, for a picture too large for memory; the engine's errors pass on.
TRenderedPicture RenderBitmap(TForm3D& form, int32_t DPI, bool Transparent);

// Runs step(0) .. step(count - 1), one per turn of the event loop (a zero-time
// timer), while a modal progress dialog with the label and Cancel shows how far
// it got; the window stays responsive between steps. True when every step ran,
// false when the user cancelled. An exception of a step ends the run and is
// raised again once the dialog is closed.
bool RunStepsWithProgress(QWidget* parent, const std::string& label, int count,
                          const std::function<void(int)>& step);

// As RenderBitmap, but a picture of more than one tile is rendered tile by tile
// under RunStepsWithProgress. Nothing when the user cancelled.
std::optional<TRenderedPicture> RenderBitmapWithProgress(TForm3D& form, int32_t DPI, bool Transparent);

// ---- writing and commands

// Writes the picture by the save dialog's filter index (see TPictureFileType),
// atomically, to the file name as given. PNG marks the transparent colour
// only for a transparent picture. Raises the writer's exception on failure.
void WritePictureFile(const TRenderedPicture& picture, int filterIndex, const std::string& fileName);

// "Save picture": the save dialog, the picture options, the size check,
// rendering and writing; "FileType" (the type written), "DPI" and
// "Transparency" of "Form3D" are stored after a save.
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

  // What the picture is made from: the view's size, the screen's resolution, the
  // file type and the scene it draws. From then on the dialog shows the picture's
  // size in pixels as the resolution or the background changes, says when that size
  // cannot be saved, and refuses OK (with a message) for such a size.
  void SetPictureGeometry(int32_t bufferWidth, int32_t bufferHeight, int32_t screenDpi, int fileType,
                          const TPictureScene& scene);
  // The size of the picture at the resolution the edit holds.
  TPictureSize ChosenSize() const;

  TSpinEditEx* DpiEdit() const { return dpiEdit_; }
  QCheckBox* TransparentBox() const { return transparentBox_; }
  // "Picture: W x H pixels", and the reason when it cannot be saved; hidden
  // until the geometry is set.
  QLabel* SizeLabel() const { return sizeLabel_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }

  // Closes with OK unless the chosen size cannot be saved.
  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void UpdateSizeLabel();

  TSpinEditEx* dpiEdit_;
  QCheckBox* transparentBox_;
  QLabel* sizeLabel_;
  QPushButton* ok_;
  QPushButton* cancel_;
  bool hasGeometry_ = false;
  int32_t bufferWidth_ = 0;
  int32_t bufferHeight_ = 0;
  int32_t screenDpi_ = 96;
  int fileType_ = pftBmp;
  TPictureScene scene_;
};

}  // namespace qira

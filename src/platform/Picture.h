#pragma once
// Pictures of the windowing library: graphics (a picture of one kind that
// reads and writes its own file format), the picture that holds one graphic of
// any kind, and the picture registry that maps a file extension to the kind
// that reads and writes it.
//
// Sections: graphic classes; TGraphic; TSharedImage; TBitmapGraphic; TPicture;
// registry; memory.
//
// The registry is filled by explicit calls at start-up (RegisterBitmapFileFormat
// here, the PNG, GIF and JPEG kinds in their own units); nothing registers
// itself from a static initialiser. It is used from the user-interface thread.
#include <QImage>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/GraphicErrors.h"

namespace qira {

class TBinaryStream;
class TGraphic;

// ------------------------------------------------------------ graphic classes

// The class reference of a graphic kind: its name and the constructor of an
// empty instance. One instance per kind, compared by address.
class TGraphicClass {
 public:
  using TCreate = std::unique_ptr<TGraphic> (*)();
  TGraphicClass(const char* name, TCreate create) : name_(name), create_(create) {}
  TGraphicClass(const TGraphicClass&) = delete;
  TGraphicClass& operator=(const TGraphicClass&) = delete;

  const char* ClassName() const { return name_; }
  std::unique_ptr<TGraphic> Create() const { return create_(); }

 private:
  const char* name_;
  TCreate create_;
};

// ------------------------------------------------------------------ TGraphic

// Rows top .. top + strip.height() - 1 of a picture, in Format_RGB32 or
// Format_ARGB32 (not premultiplied); valid only during the call.
using TImageStripVisit = std::function<void(int32_t top, const QImage& strip)>;

// A picture of one kind. Every kind here is a raster picture: it can give its
// pixels as an image and take them from one.
class TGraphic {
 public:
  TGraphic() = default;
  TGraphic(const TGraphic&) = delete;
  TGraphic& operator=(const TGraphic&) = delete;
  virtual ~TGraphic() = default;

  virtual const TGraphicClass& GraphicClass() const = 0;
  const char* ClassName() const { return GraphicClass().ClassName(); }

  // Whether the graphic holds no picture (each kind answers through GetEmpty).
  bool Empty() const { return GetEmpty(); }
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  // The size of the pixels ToImage and ForEachImageStrip hand over: Width x Height
  // unless the kind's extent is more than its picture (a GIF's screen around its
  // current frame). What takes the pixels sizes its buffer from this.
  virtual QSize ImageSize() const { return {Width(), Height()}; }

  // Reads the picture from the stream's position. Bad data raises
  // EInvalidGraphic and leaves the graphic as it was.
  virtual void LoadFromStream(TBinaryStream& stream) = 0;
  // Writes the picture at the stream's position in the kind's file format.
  virtual void SaveToStream(TBinaryStream& stream) const = 0;
  // The whole file through LoadFromStream; EGraphicFileError when the file
  // cannot be read.
  void LoadFromFile(const std::string& utf8Path);
  // Writes the file atomically (a failure keeps the old file); EGraphicFileError
  // "Cannot create file \"<path>\". <the system's reason>" when it cannot be written.
  void SaveToFile(const std::string& utf8Path) const;

  // The pixels as they are drawn; a null image when empty.
  virtual QImage ToImage() const = 0;
  // The pixels of ToImage handed to `visit` top to bottom, at most rowsPerStrip
  // rows at a time, so that a kind that builds its pixels from data of its own
  // (PNG) need not hold them all at once. The default takes ToImage once.
  // std::bad_alloc when a strip (or the default's image) cannot be had.
  virtual void ForEachImageStrip(int32_t rowsPerStrip, const TImageStripVisit& visit) const;
  // Takes the pixels of an image (a null image empties the graphic), then Changed.
  virtual void AssignImage(const QImage& image) = 0;
  // Takes another graphic's picture; the default goes through its pixels.
  virtual void Assign(const TGraphic& source) { AssignImage(source.ToImage()); }
  // A new graphic of the same kind holding the same picture (and transparency).
  std::unique_ptr<TGraphic> Clone() const;

  // A transparent graphic is drawn without the pixels of its bottom-left pixel's
  // colour. Changing it calls Changed.
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value);
  // The pixels to draw: ToImage, with the transparent colour's pixels given alpha 0
  // when the graphic is transparent.
  QImage DrawnImage() const;

  // Called after every change of the picture.
  std::function<void(TGraphic&)> OnChange;

 protected:
  virtual bool GetEmpty() const = 0;
  void Changed() {
    if (OnChange) OnChange(*this);
  }

 private:
  bool transparent_ = false;
};

// ------------------------------------------------------------- TSharedImage

// The base of data that copies of a graphic share by reference counting: the
// holders keep it in a shared_ptr, and one about to change it takes a private
// copy first (copy on write), so the other holders keep what they had.
template <class TData>
struct TSharedImage {
  // The holder's data for writing: copied first while another holder shares it.
  static TData& Unshared(std::shared_ptr<TData>& holder) {
    if (holder.use_count() > 1) holder = std::make_shared<TData>(*holder);
    return *holder;
  }
};

// ------------------------------------------------------------ TImageGraphic

// A graphic whose picture is one image in memory; the kinds differ only in how
// they read and write it.
class TImageGraphic : public TGraphic {
 public:
  bool GetEmpty() const override { return image_.isNull(); }
  int32_t Width() const override { return image_.isNull() ? 0 : image_.width(); }
  int32_t Height() const override { return image_.isNull() ? 0 : image_.height(); }
  QImage ToImage() const override { return image_; }

 protected:
  QImage image_;
};

// ----------------------------------------------------------- TBitmapGraphic

// The platform's bitmap as a graphic: pixels in memory, read and written as a
// BMP file. It remembers the depth it was read with (or assigned) and writes
// that depth back: 1, 4 or 8 bits with a colour table, 24 bits, or 32 bits
// with alpha as the fourth byte.
class TBitmapGraphic : public TImageGraphic {
 public:
  static const TGraphicClass& StaticClass();
  const TGraphicClass& GraphicClass() const override { return StaticClass(); }

  TBitmapGraphic() = default;
  // An image and the depth it stands for (see AssignImage for the default).
  explicit TBitmapGraphic(const QImage& image, int32_t bitsPerPixel = 0);

  void LoadFromStream(TBinaryStream& stream) override;
  void SaveToStream(TBinaryStream& stream) const override;

  // The depth follows the image: indexed images 8 bits (1 for monochrome
  // images), images with an alpha channel 32 bits, every other 24 bits.
  void AssignImage(const QImage& image) override;
  // Another bitmap is copied with its depth.
  void Assign(const TGraphic& source) override;

  // 1, 4, 8, 16, 24 or 32. Indexed depths hold a Format_Indexed8 image, 16 and
  // 24 bits Format_RGB32, 32 bits Format_ARGB32.
  int32_t BitsPerPixel() const { return bitsPerPixel_; }
  // Converts the pixels to another depth (1, 4 and 8 reduce the colours);
  // EInvalidGraphicOperation for a depth that does not exist.
  void SetBitsPerPixel(int32_t bitsPerPixel);
  const QImage& Image() const { return image_; }

 private:
  void Store(QImage image, int32_t bitsPerPixel);

  int32_t bitsPerPixel_ = 24;
};

// ----------------------------------------------------------------- TPicture

// Holds one graphic of any kind, or none.
class TPicture {
 public:
  TPicture() = default;
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;
  ~TPicture();

  // The graphic, or null.
  TGraphic* Graphic() const { return graphic_.get(); }
  // A copy of the graphic (null empties the picture), then Changed.
  void SetGraphic(const TGraphic* graphic);
  // Takes the graphic (null empties the picture), then Changed.
  void SetGraphic(std::unique_ptr<TGraphic> graphic);
  int32_t Width() const { return graphic_ ? graphic_->Width() : 0; }
  int32_t Height() const { return graphic_ ? graphic_->Height() : 0; }
  bool Empty() const { return !graphic_ || graphic_->Empty(); }

  // A graphic of the kind registered for the file's extension, loaded from it.
  // EInvalidGraphic "Unknown picture file extension (.<ext>)" when no kind
  // claims it; on any failure the picture keeps what it had.
  void LoadFromFile(const std::string& utf8Path);
  // The graphic writes itself; nothing is written without one.
  void SaveToFile(const std::string& utf8Path) const;

  // A copy of the source's graphic; null empties.
  void Assign(const TPicture* source) { SetGraphic(source ? source->Graphic() : nullptr); }
  void Assign(const TGraphic* source) { SetGraphic(source); }

  // The graphic as a bitmap: another kind (or none) is replaced by a bitmap of
  // its pixels first.
  TBitmapGraphic& Bitmap();

  // Called after every change of the graphic or of its picture.
  std::function<void(TPicture&)> OnChange;

 private:
  void Changed() {
    if (OnChange) OnChange(*this);
  }

  std::unique_ptr<TGraphic> graphic_;
};

// ----------------------------------------------------------------- registry

struct TPictureFileFormat {
  std::string extension;    // lower case, without the dot
  std::string description;  // e.g. "Bitmaps"
  const TGraphicClass* graphicClass = nullptr;
};

// Registers the kind that reads and writes files with that extension (a
// leading "." is dropped, case is ignored). Registering an extension again
// replaces its description and kind in place.
void RegisterPictureFileFormat(std::string_view extension, std::string_view description,
                               const TGraphicClass& graphicClass);
// Removes every extension of that kind.
void UnregisterPictureGraphicClass(const TGraphicClass& graphicClass);
// The kind registered for the extension (with or without its dot), or null.
const TGraphicClass* FindPictureFileFormat(std::string_view extension);
// The registered formats in the order they were first registered.
std::vector<TPictureFileFormat> PictureFileFormats();
// The name of the platform's bitmap format, in its registration and in the
// refusal of a picture the memory cannot hold.
inline constexpr const char* kBitmapFormatName = "Bitmaps";
// The start-up registration of this unit: "bmp" = kBitmapFormatName -> TBitmapGraphic.
void RegisterBitmapFileFormat();
// The name a user knows a kind by: the description of the first format
// registered for it ("Portable Network Graphics"), else its class name.
std::string GraphicFormatName(const TGraphicClass& graphicClass);

// The extension of the last element of a path, from its last "." on (the dot
// included); "" when that element has no ".".
std::string_view FileNameExtension(std::string_view path);

// ------------------------------------------------------------------- memory

// Rows top .. top + rows - 1 of an image as an image over its memory, with its
// colour table: no copy, valid only while the image is neither changed nor gone.
QImage RowsView(const QImage& image, int32_t top, int32_t rows);

// An image's rows as TGraphic::ForEachImageStrip hands them out: those of a
// 32-bit image in place, any other format converted a strip at a time
// (std::bad_alloc when a strip cannot be had).
void ForEachImageStrip(const QImage& image, int32_t rowsPerStrip, const TImageStripVisit& visit);

// The refusal of a picture the memory cannot hold: "This "<format>" image of
// <w> x <h> pixels is too large: it needs <n> MB of memory, " and
// MemoryShortfallClause with what can be used now (AvailableMemory; what is
// needed rounds up, what is available down, so the two never read the same): for
// `neededBytes` the count refused, or an allocation of them that failed.
std::string PictureTooLargeNow(std::string_view formatName, int64_t width, int64_t height, uint64_t neededBytes);
// PictureTooLargeNow when `bytes` more do not fit in the memory the program may
// take (MemoryFits); empty when they do.
std::string PictureMemoryProblem(std::string_view formatName, int64_t width, int64_t height, uint64_t bytes);

// The refusal of a picture above a fixed limit of the code that holds it, which no
// memory would lift: "This "<format>" image of <w> x <h> pixels is larger than the
// largest picture that can be read (268435456 pixels)." for the readers' limit of
// kMaxBmpPixels (BMP, GIF, JPEG), raised as EGraphicTooLarge.
std::string PictureAboveReadLimit(std::string_view formatName, int64_t width, int64_t height);
[[noreturn]] void RaisePictureAboveReadLimit(std::string_view formatName, int64_t width, int64_t height);
// The refusal of `n` bytes of a picture's file data, read before its size in
// pixels is known, that the memory cannot hold: "This "<format>" image is too
// large to be read: it needs <n> MB of memory, " and MemoryShortfallClause.
std::string PictureDataTooLarge(std::string_view formatName, int64_t n);
// `bytes` made `n` long for a picture's file data (ResizeCounted):
// EGraphicTooLarge with PictureDataTooLarge's text when they cannot be had.
void ResizePictureData(std::string_view formatName, std::vector<uint8_t>& bytes, int64_t n);
// The same refusal for a codec whose limit is the bytes it stores: "... that can be
// held (its pixel data takes <n> MB, at most <m> MB)."
std::string PictureAboveStorageLimit(std::string_view formatName, int64_t width, int64_t height,
                                     uint64_t storageBytes, uint64_t maxStorageBytes);

// `image` in `format`, converted on the calling thread: Qt hands the conversion
// of a large image to its pooled threads, where a thread that cannot be started
// or an allocation that fails cannot be caught, so such an image is converted a
// band of rows at a time. Conversions to 1 or 8 bits, whose colour table comes
// from the whole picture, are Qt's own. std::bad_alloc when the memory cannot be had.
QImage ConvertedOnCallingThread(const QImage& image, QImage::Format format);

// The bytes of a QImage of that size and format.
uint64_t ImageBytes(int64_t width, int64_t height, QImage::Format format);
// Counts `bytes` for a picture of width x height of that kind, then lets `allocate`
// take them: PictureMemoryProblem's refusal when the memory cannot hold them, or
// PictureTooLargeNow's when `allocate` fails all the same (std::bad_alloc, or
// false); empty when the picture was had. The caller raises it as its own failure.
std::string CountedPictureAllocation(std::string_view formatName, int64_t width, int64_t height, uint64_t bytes,
                                     const std::function<bool()>& allocate);
// The picture `make` gives, of width x height taking `bytes`, through
// CountedPictureAllocation (a null image of a size that is not empty is a failed
// allocation): EGraphicTooLarge with its refusal.
QImage CountedPictureImage(std::string_view formatName, int32_t width, int32_t height, uint64_t bytes,
                           const std::function<QImage()>& make);
// A new image of width x height, or `image` converted to `format`, counted as
// CountedPictureImage counts (`extraBytes` more held beside it).
QImage NewPictureImage(std::string_view formatName, int32_t width, int32_t height, QImage::Format format,
                       uint64_t extraBytes = 0);
QImage ConvertedPictureImage(std::string_view formatName, const QImage& image, QImage::Format format);

}  // namespace qira

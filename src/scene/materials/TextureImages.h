#pragma once
// The sources of a texture's pixels. An image reports its size and OpenGL
// target, hands out a TGLBitmap32 for the upload and takes it back after, and
// saves itself to and loads itself from a file. Kinds: a blank image of a
// given size, an image held as a picture (TGLPersistentImage), an image read
// from a picture file on demand (TGLPicFileImage), a cube map of six pictures
// and a float-data image.
//
// Two process-wide registries, filled by RegisterTextureImageClasses at
// start-up: image classes by class name (for a texture's ImageClassName), and
// picture file extensions that this layer reads itself before asking the
// platform's picture registry.
//
// Sections:
//   Errors and events
//   Image classes
//   TGLTextureImage
//   Kinds
//   Registries
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/Picture.h"
#include "scene/materials/Bitmap32.h"
#include "scene/components/UpdateAbleObjects.h"

namespace qira {

class TGLTextureImage;

// [SECTION] Errors and events

// The engine's texture error: "Could not open file: <name>", or that the name is
// no regular file.
class ETexture : public Exception {
 public:
  using Exception::Exception;
};

// Asked before a file is opened; may rewrite the name (a library material
// resolves it against its texture folders).
using TTextureNeededEvent = std::function<void(TObject* sender, std::string& textureFileName)>;

// What an image needs of the texture that owns it.
class IGLTextureImageOwner {
 public:
  // The image's pixels changed: upload them again at the next bind.
  virtual void NotifyImageChange() = 0;

 protected:
  ~IGLTextureImageOwner() = default;
};

// [SECTION] Image classes

// The class reference of an image kind, with its class operations.
class TGLTextureImageClass : public TClassInfo {
 public:
  using TClassInfo::TClassInfo;
  virtual std::string FriendlyName() const = 0;
  virtual std::string FriendlyDescription() const = 0;
  // A new image of this kind owned by `owner`; null for an abstract kind.
  virtual std::unique_ptr<TGLTextureImage> CreateImage(TPersistent* owner) const = 0;
};

// Image kinds answer the class operations with static members of the same
// names; a kind that declares none inherits its parent's.
template <class T>
class TGLTextureImageClassOf : public TClassOf<T, TGLTextureImageClass> {
 public:
  TGLTextureImageClassOf(const char* name, const TClassInfo* parent)
      : TClassOf<T, TGLTextureImageClass>(name, parent) {}
  std::string FriendlyName() const override { return T::FriendlyName(); }
  std::string FriendlyDescription() const override { return T::FriendlyDescription(); }
  std::unique_ptr<TGLTextureImage> CreateImage(TPersistent* owner) const override {
    if constexpr (!std::is_abstract_v<T> && std::is_constructible_v<T, TPersistent*>) {
      return std::make_unique<T>(owner);
    } else {
      (void)owner;
      return nullptr;
    }
  }
};

// [SECTION] TGLTextureImage

class TGLTextureImage : public TGLUpdateAbleObject {
 public:
  template <class T>
  using TMetaClassOf = TGLTextureImageClassOf<T>;
  QIRA_CLASS(TGLTextureImage, TGLUpdateAbleObject)

  explicit TGLTextureImage(TPersistent* owner = nullptr) : TGLUpdateAbleObject(owner) {}
  ~TGLTextureImage() override;

  const TGLTextureImageClass& ImageClass() const {
    return static_cast<const TGLTextureImageClass&>(ClassType());
  }
  static std::string FriendlyName() { return {}; }
  static std::string FriendlyDescription() { return {}; }

  // The owner when it is a texture (takes image notifications), else null.
  IGLTextureImageOwner* OwnerTexture() const { return dynamic_cast<IGLTextureImageOwner*>(Owner()); }

  virtual int32_t GetWidth() const = 0;
  virtual int32_t GetHeight() const = 0;
  // GL_TEXTURE_2D unless the kind says otherwise.
  virtual uint32_t NativeTextureTarget() const;
  // The pixels for an upload to `target`; owned by the image until
  // ReleaseBitmap32. Null when the kind has nothing for that target.
  virtual TGLBitmap32* GetBitmap32(uint32_t target) = 0;
  // Frees the bitmap handed out (after each upload).
  virtual void ReleaseBitmap32() { bitmap_.reset(); }
  // Nothing in the base.
  virtual void SaveToFile(const std::string& fileName) { (void)fileName; }
  virtual void LoadFromFile(const std::string& fileName) { (void)fileName; }
  // Releases the bitmap, marks the owning texture's image stale, notifies.
  virtual void Invalidate();
  // Marks the owning texture's image stale, then tells the owner.
  void NotifyChange(TObject* sender) override;

  // Set by the owning texture to forward to its own texture-needed event.
  TTextureNeededEvent OnTextureNeeded;

 protected:
  // Lets the texture-needed callback rewrite the name.
  void DoTextureNeeded(std::string& fileName);

  std::unique_ptr<TGLBitmap32> bitmap_;
};

// [SECTION] Kinds

// The common part of the blank and the float-data image: a size of their
// own (256 x 256 by default), a bitmap made from it and a small text file that
// holds it. Not an image kind of its own: only the blank and the float-data
// image are made.
class TGLSizedImage : public TGLTextureImage {
  QIRA_CLASS(TGLSizedImage, TGLTextureImage)

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  // A changed value is stored (below 1 as 1) and the image invalidated.
  void SetWidth(int32_t width);
  void SetHeight(int32_t height);
  // Width and Height when not 256.
  void DefinePublished(TFiler& filer) override;

  int32_t GetWidth() const override { return width_; }
  int32_t GetHeight() const override { return height_; }
  // Created once with Width x Height (the width rounded up to a multiple of
  // 4, as every TGLBitmap32 width is), kept until released; a float-data
  // image's bitmap is marked blank first.
  TGLBitmap32* GetBitmap32(uint32_t target) override;
  // From an image of the same kind: both sizes, then Invalidate. Anything
  // else (the other sized kind too): TPersistent's rules.
  void Assign(const TPersistent* source) override;
  // "[<section>]", "Width=<w>", "Height=<h>" on lines separated by CR LF,
  // the section being "BlankImage" or "FloatDataImage".
  void SaveToFile(const std::string& fileName) override;
  // After the texture-needed callback, when the file exists: the Width and
  // Height values of its name=value lines (EConvertError for a value that is
  // not an integer).
  void LoadFromFile(const std::string& fileName) override;

 protected:
  TGLSizedImage(TPersistent* owner, const char* fileSection, bool blankBitmap)
      : TGLTextureImage(owner), fileSection_(fileSection), blankBitmap_(blankBitmap) {}

 private:
  const char* fileSection_;
  bool blankBitmap_;
  int32_t width_ = 256;
  int32_t height_ = 256;
};

// A blank image of a given size.
class TGLBlankImage : public TGLSizedImage {
  QIRA_CLASS(TGLBlankImage, TGLSizedImage)

  explicit TGLBlankImage(TPersistent* owner = nullptr) : TGLSizedImage(owner, "BlankImage", false) {}
  static std::string FriendlyName() { return "Blank Image"; }
  static std::string FriendlyDescription() { return "Blank Image (Width x Height)"; }
};

// An image held as a platform picture (created on first use). A change of the
// picture invalidates the image.
class TGLPictureImage : public TGLTextureImage {
  QIRA_CLASS(TGLPictureImage, TGLTextureImage)

  explicit TGLPictureImage(TPersistent* owner = nullptr) : TGLTextureImage(owner) {}
  ~TGLPictureImage() override;

  TPicture& Picture();
  bool HasPicture() const { return picture_ != nullptr; }

  int32_t GetWidth() const override { return picture_ ? picture_->Width() : 0; }
  int32_t GetHeight() const override { return picture_ ? picture_->Height() : 0; }
  // Created once from the picture's graphic; the conversion does not
  // invalidate the image.
  TGLBitmap32* GetBitmap32(uint32_t target) override;

  // Another persistent image: its picture. A TGLBitmap32: its pixels as a
  // 32-bit bitmap. Anything else: TPersistent's rules.
  void Assign(const TPersistent* source) override;
  // A graphic or a picture is copied into the picture (null empties it).
  void Assign(const TGraphic* graphic) { Picture().Assign(graphic); }
  void Assign(const TPicture* picture) { Picture().Assign(picture); }

 private:
  std::unique_ptr<TPicture> picture_;
};

// A picture kept with the component's own data.
class TGLPersistentImage : public TGLPictureImage {
  QIRA_CLASS(TGLPersistentImage, TGLPictureImage)

  explicit TGLPersistentImage(TPersistent* owner = nullptr) : TGLPictureImage(owner) {}
  static std::string FriendlyName() { return "Persistent Image"; }
  static std::string FriendlyDescription() {
    return "Image data is stored in its original format with other form resources,ie. in the form "
           "description at design time, and embedded in the program file at run time.";
  }

  // The picture writes itself.
  void SaveToFile(const std::string& fileName) override;
  // After the texture-needed callback: a graphic made by CreateGraphicFromFile,
  // else the picture's own loading when the file exists; otherwise the picture
  // is emptied and ETexture "Could not open file: <name>" raised (for a folder,
  // pipe or device, FileReadFailureText's "... it is not a regular file"). A picture too
  // large for a texture is emptied too, raising ETexture with TextureSizeProblem,
  // and so is one whose texture block the memory cannot hold now besides it
  // (TextureMemoryProblem).
  void LoadFromFile(const std::string& fileName) override;
  // "Picture.Data" while the picture holds a graphic: the graphic's class
  // name (a byte count and the name, "TBitmap") and its BMP file image.
  void DefinePublished(TFiler& filer) override;
};

// A picture read from a file when its pixels are needed; between uploads only
// the file name and the last size are kept.
class TGLPicFileImage : public TGLPictureImage {
  QIRA_CLASS(TGLPicFileImage, TGLPictureImage)

  explicit TGLPicFileImage(TPersistent* owner = nullptr) : TGLPictureImage(owner) {}
  static std::string FriendlyName() { return "PicFile Image"; }
  static std::string FriendlyDescription() { return "Image data is retrieved from a file."; }

  const std::string& PictureFileName() const { return fileName_; }
  // A different name is stored, the missing-file flag and the size cleared,
  // and the image invalidated.
  void SetPictureFileName(const std::string& fileName);
  // PictureFileName when not empty.
  void DefinePublished(TFiler& filer) override;
  // The last load found no file, a file no picture kind could read, a picture
  // too large for a texture (TextureSizeProblem, dropped before any bitmap), or
  // one whose pixels could not be converted (a block the memory cannot hold).
  bool MissingFile() const { return missingFile_; }
  // Why the last load failed ("" when it did not).
  const std::string& LoadError() const { return loadError_; }

  // The size of the last bitmap built (0 before the first).
  int32_t GetWidth() const override { return width_; }
  int32_t GetHeight() const override { return height_; }
  // With a file name: the file is read (through the texture-needed callback
  // and CreateGraphicFromFile) each time a bitmap is built, so a re-upload
  // after a release sees the picture again; the picture is emptied after the
  // conversion. A missing or unreadable file gives an empty bitmap and sets
  // the missing-file flag. Without a file name: the picture's graphic.
  TGLBitmap32* GetBitmap32(uint32_t target) override;
  // Another picture-file image: its file name; otherwise as a picture image.
  void Assign(const TPersistent* source) override;
  using TGLPictureImage::Assign;
  // Writes the file name as the file's whole text.
  void SaveToFile(const std::string& fileName) override;
  // After the callback: a file of 512 bytes or more (or none) is the picture
  // file itself; a smaller one is read as text, and that text (without its
  // trailing line break) becomes the file name when it has no blank and no
  // control character (a small picture file is binary), else the name
  // itself does.
  void LoadFromFile(const std::string& fileName) override;

 private:
  std::string fileName_;
  bool missingFile_ = false;
  std::string loadError_;
  int32_t width_ = 0;
  int32_t height_ = 0;
};

// The six faces of a cube map, in the order of the OpenGL face targets.
enum TGLCubeMapFace : uint8_t { cmtPX, cmtNX, cmtPY, cmtNY, cmtPZ, cmtNZ };

class TGLCubeMapImage : public TGLTextureImage {
  QIRA_CLASS(TGLCubeMapImage, TGLTextureImage)

  explicit TGLCubeMapImage(TPersistent* owner = nullptr);
  ~TGLCubeMapImage() override;
  static std::string FriendlyName() { return "CubeMap Image"; }
  static std::string FriendlyDescription() { return {}; }

  TPicture& Picture(TGLCubeMapFace face) { return *pictures_[face]; }
  const TPicture& Picture(TGLCubeMapFace face) const { return *pictures_[face]; }
  TPicture& PicturePX() { return Picture(cmtPX); }
  TPicture& PictureNX() { return Picture(cmtNX); }
  TPicture& PicturePY() { return Picture(cmtPY); }
  TPicture& PictureNY() { return Picture(cmtNY); }
  TPicture& PicturePZ() { return Picture(cmtPZ); }
  TPicture& PictureNZ() { return Picture(cmtNZ); }

  // The first face's size.
  int32_t GetWidth() const override { return pictures_[cmtPX]->Width(); }
  int32_t GetHeight() const override { return pictures_[cmtPX]->Height(); }
  // GL_TEXTURE_CUBE_MAP.
  uint32_t NativeTextureTarget() const override;
  // The face of a face target (GL_TEXTURE_CUBE_MAP_POSITIVE_X .. NEGATIVE_Z)
  // in a new bitmap (the previous one freed); null for any other target.
  TGLBitmap32* GetBitmap32(uint32_t target) override;
  // From another cube map: its six pictures, then Invalidate.
  void Assign(const TPersistent* source) override;
  // Cube-map file: a 16-bit version word (256), then the six faces PX, NX,
  // PY, NY, PZ, NZ, each a complete BMP file image.
  void SaveToFile(const std::string& fileName) override;
  // Reads all six faces before changing any; EInvalidGraphic for a broken
  // face, EFOpenError when the file cannot be read.
  void LoadFromFile(const std::string& fileName) override;
  // "PicturePX.Data" .. "PictureNZ.Data" for the faces that hold a graphic,
  // each as the persistent image's picture.
  void DefinePublished(TFiler& filer) override;

 private:
  std::array<std::unique_ptr<TPicture>, 6> pictures_;
};

// An image whose pixels OpenGL makes: its bitmap has a size and no block.
class TGLFloatDataImage : public TGLSizedImage {
  QIRA_CLASS(TGLFloatDataImage, TGLSizedImage)

  explicit TGLFloatDataImage(TPersistent* owner = nullptr) : TGLSizedImage(owner, "FloatDataImage", true) {}
  static std::string FriendlyName() { return "FloatData Image"; }
  static std::string FriendlyDescription() { return "Image to be dynamically generated by OpenGL"; }
};

// [SECTION] Registries

// Appends an image class (a class already there is not added twice).
void RegisterGLTextureImageClass(const TGLTextureImageClass& imageClass);
// The first registered class whose class name equals the name exactly, or null.
const TGLTextureImageClass* FindGLTextureImageClass(std::string_view className);
// The registered classes in registration order.
std::vector<const TGLTextureImageClass*> GLTextureImageClasses();

// Appends the lower-cased extension (with its dot, e.g. ".bmp") and the
// graphic class; an equal pair already there is not added twice.
void RegisterTGraphicClassFileExtension(std::string_view extension, const TGraphicClass& graphicClass);
// The extension (a leading "." dropped) looked up in the platform's picture
// registry; null when absent.
const TGraphicClass* GetGraphicClassForExtension(std::string_view extension);
// Null unless the file exists. The lower-cased extension is looked up in the
// extensions registered here, then in the platform's picture registry; a
// graphic of the class found is loaded from the file (its read errors pass
// through). Null when no class claims the extension.
std::unique_ptr<TGraphic> CreateGraphicFromFile(const std::string& fileName);

// The start-up registration: TGLBlankImage, TGLPersistentImage,
// TGLPicFileImage, TGLCubeMapImage, TGLFloatDataImage in that order, and
// ".bmp" for the platform's bitmap class.
void RegisterTextureImageClasses();

}  // namespace qira

// Sections:
//   The sized images' text file
//   Registry storage
//   TGLTextureImage
//   TGLSizedImage
//   TGLPictureImage
//   TGLPersistentImage
//   TGLPicFileImage
//   TGLCubeMapImage
//   Registries
//   Component streams

#include "scene/materials/TextureImages.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <utility>

#include "platform/AsciiCase.h"
#include "scene/components/ComponentStreams.h"
#include "platform/BinaryStream.h"
#include "platform/BmpCodec.h"
#include "scene/components/GLUtilities.h"
#include "scene/components/Persistence.h"

namespace qira {

namespace {

// [SECTION] The sized images' text file

// The value of the first "name=value" line whose name matches (ASCII case
// ignored), as the string list of the class library finds it; "" when none.
std::string ValueOf(std::string_view text, std::string_view name) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    const size_t eq = line.find('=');
    if (eq != std::string_view::npos && SameTextAscii(line.substr(0, eq), name)) {
      return std::string(line.substr(eq + 1));
    }
    if (end == text.size()) break;
    start = end + 1;
  }
  return {};
}

// The class library's string-to-integer: surrounding blanks allowed, anything
// else raises EConvertError "'<text>' is not a valid integer value".
int32_t StrToInt(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  const size_t last = text.find_last_not_of(" \t");
  int32_t value = 0;
  if (first != std::string::npos) {
    const char* begin = text.data() + first;
    const char* end = text.data() + last + 1;
    if (*begin == '+') ++begin;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec == std::errc() && ptr == end) return value;
  }
  throw EConvertError("'" + text + "' is not a valid integer value");
}

bool FileExists(const std::string& fileName) { return FileStreamExists(fileName); }

// Why a picture file that is not there as a regular file cannot be read: the
// engine's text for a missing one; a folder, pipe or device is told as every
// reader of the program tells it.
std::string CannotOpenText(const std::string& fileName) {
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::u8path(fileName), ec)) return FileReadFailureText(fileName, fileName);
  return "Could not open file: " + fileName;
}

// Runs `action` with the picture's change handler detached, so that what it
// does to the picture does not invalidate the image; the handler is back
// afterwards, also when `action` throws.
template <class F>
void WithoutChangeHandler(TPicture& picture, F&& action) {
  auto handler = std::move(picture.OnChange);
  picture.OnChange = nullptr;
  try {
    action();
  } catch (...) {
    picture.OnChange = std::move(handler);
    throw;
  }
  picture.OnChange = std::move(handler);
}

// [SECTION] Registry storage

std::vector<const TGLTextureImageClass*>& ImageClasses() {
  static std::vector<const TGLTextureImageClass*> classes;
  return classes;
}

struct TExtensionEntry {
  std::string extension;
  const TGraphicClass* graphicClass;
};

std::vector<TExtensionEntry>& GraphicExtensions() {
  static std::vector<TExtensionEntry> entries;
  return entries;
}

}  // namespace

// [SECTION] TGLTextureImage

TGLTextureImage::~TGLTextureImage() = default;

uint32_t TGLTextureImage::NativeTextureTarget() const { return GL_TEXTURE_2D; }

void TGLTextureImage::Invalidate() {
  ReleaseBitmap32();
  NotifyChange(this);  // marks the owning texture's image stale on the way
}

void TGLTextureImage::NotifyChange(TObject* sender) {
  if (IGLTextureImageOwner* texture = OwnerTexture()) texture->NotifyImageChange();
  TGLUpdateAbleObject::NotifyChange(sender);
}

void TGLTextureImage::DoTextureNeeded(std::string& fileName) {
  if (OnTextureNeeded) OnTextureNeeded(this, fileName);
}

// [SECTION] TGLSizedImage

void TGLSizedImage::SetWidth(int32_t width) {
  if (width == width_) return;
  width_ = std::max(width, 1);
  Invalidate();
}

void TGLSizedImage::SetHeight(int32_t height) {
  if (height == height_) return;
  height_ = std::max(height, 1);
  Invalidate();
}

TGLBitmap32* TGLSizedImage::GetBitmap32(uint32_t target) {
  (void)target;
  if (!bitmap_) {
    auto bitmap = std::make_unique<TGLBitmap32>();
    if (blankBitmap_) bitmap->SetBlank(true);
    bitmap->SetSize(width_, height_);
    bitmap_ = std::move(bitmap);
  }
  return bitmap_.get();
}

void TGLSizedImage::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TGLSizedImage*>(source);
  if (other != nullptr && other->InheritsFrom(ClassType())) {
    width_ = other->width_;
    height_ = other->height_;
    Invalidate();
    return;
  }
  TGLTextureImage::Assign(source);
}

void TGLSizedImage::SaveToFile(const std::string& fileName) {
  SaveTextToFile(fileName, std::string("[") + fileSection_ + "]\r\nWidth=" + std::to_string(width_) +
                               "\r\nHeight=" + std::to_string(height_));
}

void TGLSizedImage::LoadFromFile(const std::string& fileName) {
  std::string name = fileName;
  DoTextureNeeded(name);
  if (!FileExists(name)) return;
  const std::string text = LoadTextFromFile(name);
  const int32_t width = StrToInt(ValueOf(text, "Width"));
  const int32_t height = StrToInt(ValueOf(text, "Height"));
  SetWidth(width);
  SetHeight(height);
}

// [SECTION] TGLPictureImage

TGLPictureImage::~TGLPictureImage() {
  // The picture's handler reaches back into this image: drop it first.
  if (picture_) picture_->OnChange = nullptr;
}

TPicture& TGLPictureImage::Picture() {
  if (!picture_) {
    picture_ = std::make_unique<TPicture>();
    picture_->OnChange = [this](TPicture&) { Invalidate(); };
  }
  return *picture_;
}

TGLBitmap32* TGLPictureImage::GetBitmap32(uint32_t target) {
  (void)target;
  if (!bitmap_) {
    auto bitmap = std::make_unique<TGLBitmap32>();
    WithoutChangeHandler(Picture(), [&] { bitmap->Assign(Picture().Graphic()); });
    bitmap_ = std::move(bitmap);
  }
  return bitmap_.get();
}

void TGLPictureImage::Assign(const TPersistent* source) {
  if (const auto* other = dynamic_cast<const TGLPersistentImage*>(source)) {
    if (other != this) Picture().Assign(other->picture_.get());
    return;
  }
  if (const auto* bitmap = dynamic_cast<const TGLBitmap32*>(source)) {
    TBitmapGraphic graphic(bitmap->Create32BitsBitmap(), 32);
    Picture().Assign(&graphic);
    return;
  }
  TGLTextureImage::Assign(source);
}

// [SECTION] TGLPersistentImage

void TGLPersistentImage::SaveToFile(const std::string& fileName) { Picture().SaveToFile(fileName); }

void TGLPersistentImage::LoadFromFile(const std::string& fileName) {
  std::string name = fileName;
  DoTextureNeeded(name);
  if (std::unique_ptr<TGraphic> graphic = CreateGraphicFromFile(name)) {
    Picture().SetGraphic(std::move(graphic));
  } else if (FileExists(name)) {
    Picture().LoadFromFile(name);
  } else {
    Picture().SetGraphic(nullptr);
    throw ETexture(CannotOpenText(name));
  }
  // Refused now rather than kept whole in memory for an upload that cannot happen.
  std::string problem;
  if (const TGraphic* graphic = Picture().Graphic()) {
    const QSize size = graphic->ImageSize();
    problem = TextureSizeProblem(size.width(), size.height());
    if (problem.empty()) problem = TextureMemoryProblem(*graphic);
  }
  if (!problem.empty()) {
    Picture().SetGraphic(nullptr);
    throw ETexture(problem);
  }
}

// [SECTION] TGLPicFileImage

void TGLPicFileImage::SetPictureFileName(const std::string& fileName) {
  if (fileName == fileName_) return;
  fileName_ = fileName;
  missingFile_ = false;
  loadError_.clear();
  width_ = 0;
  height_ = 0;
  Invalidate();
}

TGLBitmap32* TGLPicFileImage::GetBitmap32(uint32_t target) {
  if (bitmap_) return bitmap_.get();
  if (fileName_.empty()) {
    TGLBitmap32* bitmap = TGLPictureImage::GetBitmap32(target);
    width_ = bitmap->Width();
    height_ = bitmap->Height();
    return bitmap;
  }
  auto bitmap = std::make_unique<TGLBitmap32>();
  WithoutChangeHandler(Picture(), [&] {
    std::string name = fileName_;
    DoTextureNeeded(name);
    std::unique_ptr<TGraphic> graphic;
    loadError_.clear();
    if (FileExists(name)) {
      try {
        graphic = CreateGraphicFromFile(name);
        if (!graphic) loadError_ = "Unknown picture file extension (" + std::string(FileNameExtension(name)) + ")";
      } catch (const std::exception& e) {
        loadError_ = e.what();
      }
    } else {
      loadError_ = CannotOpenText(name);
    }
    if (graphic) {
      const QSize size = graphic->ImageSize();
      if (std::string problem = TextureSizeProblem(size.width(), size.height()); !problem.empty()) {
        loadError_ = std::move(problem);
        graphic.reset();
      }
    }
    Picture().SetGraphic(std::move(graphic));
    try {
      bitmap->Assign(Picture().Graphic());
    } catch (const std::exception& e) {
      loadError_ = e.what();
    }
    missingFile_ = !loadError_.empty();
    // The pixels live only in the bitmap until it is released.
    Picture().SetGraphic(nullptr);
  });
  width_ = bitmap->Width();
  height_ = bitmap->Height();
  bitmap_ = std::move(bitmap);
  return bitmap_.get();
}

void TGLPicFileImage::Assign(const TPersistent* source) {
  if (const auto* other = dynamic_cast<const TGLPicFileImage*>(source)) {
    SetPictureFileName(other->fileName_);
    return;
  }
  TGLPictureImage::Assign(source);
}

void TGLPicFileImage::SaveToFile(const std::string& fileName) { SaveTextToFile(fileName, fileName_); }

void TGLPicFileImage::LoadFromFile(const std::string& fileName) {
  std::string name = fileName;
  DoTextureNeeded(name);
  const int64_t size = FileSizeOf(name);
  if (size >= 512 || !FileExists(name)) {
    SetPictureFileName(name);
    return;
  }
  std::string text = LoadTextFromFile(name);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  // A small picture file is binary: it is the picture, not a name.
  const bool isText = !text.empty() && std::none_of(text.begin(), text.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20;
  });
  SetPictureFileName(isText && text.find(' ') == std::string::npos ? text : name);
}

// [SECTION] TGLCubeMapImage

TGLCubeMapImage::TGLCubeMapImage(TPersistent* owner) : TGLTextureImage(owner) {
  for (auto& picture : pictures_) {
    picture = std::make_unique<TPicture>();
    picture->OnChange = [this](TPicture&) { Invalidate(); };
  }
}

TGLCubeMapImage::~TGLCubeMapImage() {
  for (auto& picture : pictures_) picture->OnChange = nullptr;
}

uint32_t TGLCubeMapImage::NativeTextureTarget() const { return GL_TEXTURE_CUBE_MAP; }

TGLBitmap32* TGLCubeMapImage::GetBitmap32(uint32_t target) {
  if (target < GL_TEXTURE_CUBE_MAP_POSITIVE_X || target > GL_TEXTURE_CUBE_MAP_NEGATIVE_Z) return nullptr;
  TPicture& picture = *pictures_[target - GL_TEXTURE_CUBE_MAP_POSITIVE_X];
  bitmap_.reset();
  auto bitmap = std::make_unique<TGLBitmap32>();
  WithoutChangeHandler(picture, [&] { bitmap->Assign(picture.Graphic()); });
  bitmap_ = std::move(bitmap);
  return bitmap_.get();
}

void TGLCubeMapImage::Assign(const TPersistent* source) {
  if (const auto* other = dynamic_cast<const TGLCubeMapImage*>(source)) {
    if (other == this) return;
    for (size_t i = 0; i < pictures_.size(); ++i) {
      WithoutChangeHandler(*pictures_[i], [&] { pictures_[i]->Assign(other->pictures_[i].get()); });
    }
    Invalidate();
    return;
  }
  TGLTextureImage::Assign(source);
}

void TGLCubeMapImage::SaveToFile(const std::string& fileName) {
  TMemoryStream stream;
  stream.WriteInt16(256);
  for (const auto& picture : pictures_) {
    TBitmapGraphic bitmap;
    if (const TGraphic* graphic = picture->Graphic()) bitmap.Assign(*graphic);
    bitmap.SaveToStream(stream);
  }
  std::string error;
  if (!WriteWholeFileAtomic(fileName, stream.Data().data(), stream.Data().size(), &error)) {
    throw EFCreateError(CannotFileText("create", fileName, error));
  }
}

void TGLCubeMapImage::LoadFromFile(const std::string& fileName) {
  std::vector<uint8_t> bytes;
  std::string message;
  if (!ReadWholeFileOrTell(fileName, bytes, message)) throw EFOpenError(message);
  TMemoryStream stream(std::move(bytes));
  int16_t version = 0;
  if (!stream.ReadInt16(version)) throw EReadError("Stream read error");
  std::array<std::unique_ptr<TBitmapGraphic>, 6> faces;
  for (auto& face : faces) {
    face = std::make_unique<TBitmapGraphic>();
    face->LoadFromStream(stream);
  }
  for (size_t i = 0; i < faces.size(); ++i) {
    WithoutChangeHandler(*pictures_[i], [&] { pictures_[i]->SetGraphic(std::move(faces[i])); });
  }
  Invalidate();
}

// [SECTION] Registries

void RegisterGLTextureImageClass(const TGLTextureImageClass& imageClass) {
  auto& classes = ImageClasses();
  if (std::find(classes.begin(), classes.end(), &imageClass) == classes.end()) classes.push_back(&imageClass);
}

const TGLTextureImageClass* FindGLTextureImageClass(std::string_view className) {
  for (const TGLTextureImageClass* cls : ImageClasses()) {
    if (className == cls->ClassName()) return cls;
  }
  return nullptr;
}

std::vector<const TGLTextureImageClass*> GLTextureImageClasses() { return ImageClasses(); }

void RegisterTGraphicClassFileExtension(std::string_view extension, const TGraphicClass& graphicClass) {
  const std::string key = LowerAscii(extension);
  auto& entries = GraphicExtensions();
  const bool known = std::any_of(entries.begin(), entries.end(), [&](const TExtensionEntry& e) {
    return e.extension == key && e.graphicClass == &graphicClass;
  });
  if (!known) entries.push_back({key, &graphicClass});
}

const TGraphicClass* GetGraphicClassForExtension(std::string_view extension) {
  return FindPictureFileFormat(extension);
}

std::unique_ptr<TGraphic> CreateGraphicFromFile(const std::string& fileName) {
  if (!FileExists(fileName)) return nullptr;
  const std::string extension = LowerAscii(FileNameExtension(fileName));
  const TGraphicClass* graphicClass = nullptr;
  for (const TExtensionEntry& entry : GraphicExtensions()) {
    if (entry.extension == extension) {
      graphicClass = entry.graphicClass;
      break;
    }
  }
  if (!graphicClass) graphicClass = GetGraphicClassForExtension(extension);
  if (!graphicClass) return nullptr;
  std::unique_ptr<TGraphic> graphic = graphicClass->Create();
  graphic->LoadFromFile(fileName);
  return graphic;
}

void RegisterTextureImageClasses() {
  RegisterGLTextureImageClass(TGLBlankImage::StaticClass());
  RegisterGLTextureImageClass(TGLPersistentImage::StaticClass());
  RegisterGLTextureImageClass(TGLPicFileImage::StaticClass());
  RegisterGLTextureImageClass(TGLCubeMapImage::StaticClass());
  RegisterGLTextureImageClass(TGLFloatDataImage::StaticClass());
  RegisterTGraphicClassFileExtension(".bmp", TBitmapGraphic::StaticClass());
}

// [SECTION] Component streams

namespace {

constexpr char kStoredGraphicClass[] = "TBitmap";

// A picture's "Data": the graphic's class name, then the graphic as a BMP file
// image (a graphic of another kind is written as a bitmap of its pixels).
void DefinePictureData(TFiler& filer, const std::string& name, TPicture* picture,
                       const std::function<TPicture&()>& make) {
  filer.DefineBinaryProperty(
      name + ".Data",
      [make](TBinaryStream& stream) {
        uint8_t length = 0;
        CheckPropertyValue(stream.Read(&length, 1));
        std::string className(length, '\0');
        CheckPropertyValue(length == 0 || stream.Read(className.data(), length));
        CheckPropertyValue(className == kStoredGraphicClass);
        auto graphic = std::make_unique<TBitmapGraphic>();
        graphic->LoadFromStream(stream);
        make().SetGraphic(std::move(graphic));
      },
      [picture](TBinaryStream& stream) {
        const auto length = static_cast<uint8_t>(sizeof(kStoredGraphicClass) - 1);
        if (!stream.Write(&length, 1) || !stream.Write(kStoredGraphicClass, length)) {
          throw EWriteError("Stream write error");
        }
        if (const auto* bitmap = dynamic_cast<const TBitmapGraphic*>(picture->Graphic())) {
          bitmap->SaveToStream(stream);
        } else {
          TBitmapGraphic(picture->Graphic()->ToImage()).SaveToStream(stream);
        }
      },
      picture != nullptr && !picture->Empty());
}

}  // namespace

void TGLSizedImage::DefinePublished(TFiler& filer) {
  DefineInteger(filer, "Width", width_, width_ != 256, [this](int32_t v) { SetWidth(v); });
  DefineInteger(filer, "Height", height_, height_ != 256, [this](int32_t v) { SetHeight(v); });
}

void TGLPersistentImage::DefinePublished(TFiler& filer) {
  DefinePictureData(filer, "Picture", HasPicture() ? &Picture() : nullptr, [this]() -> TPicture& { return Picture(); });
}

void TGLPicFileImage::DefinePublished(TFiler& filer) {
  DefineString(filer, "PictureFileName", fileName_, !fileName_.empty(),
               [this](const std::string& v) { SetPictureFileName(v); });
}

void TGLCubeMapImage::DefinePublished(TFiler& filer) {
  const char* const names[6] = {"PicturePX", "PictureNX", "PicturePY", "PictureNY", "PicturePZ", "PictureNZ"};
  for (int face = 0; face < 6; ++face) {
    TPicture* picture = pictures_[static_cast<size_t>(face)].get();
    DefinePictureData(filer, names[face], picture, [picture]() -> TPicture& { return *picture; });
  }
}

}  // namespace qira

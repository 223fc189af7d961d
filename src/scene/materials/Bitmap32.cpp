// Sections:
//   Sizes
//   Conversions
//   Alpha
//   Colour corrections
//   Upload

#include "scene/materials/Bitmap32.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <string>

#include "platform/Picture.h"
#include "platform/Rounding.h"
#include "scene/components/Colors.h"
#include "scene/components/GLUtilities.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/gl/RenderingContext.h"
#include "scene/math/VectorGeometry.h"

namespace qira {

namespace {

constexpr int64_t kMaxDataSize = std::numeric_limits<int32_t>::max();

bool IsDepthFormat(int32_t internalFormat) {
  return internalFormat == GL_DEPTH_COMPONENT16 || internalFormat == GL_DEPTH_COMPONENT24 ||
         internalFormat == GL_DEPTH_COMPONENT32;
}

// GL_RGBA_FLOAT32_ATI, GL_RGBA_FLOAT16_ATI, GL_FLOAT_RGBA32_NV, GL_FLOAT_RGBA16_NV.
bool IsFloatFormat(int32_t internalFormat) {
  return internalFormat == 0x888A || internalFormat == 0x888B || internalFormat == 0x881A ||
         internalFormat == 0x8814;
}

std::string SizeText(int64_t width, int64_t height) {
  return "Bitmap of " + std::to_string(width) + " x " + std::to_string(height) + " pixels is too large";
}

// The rows a conversion takes from the picture at a time: small enough that a
// picture built a strip at a time adds next to nothing to the block.
constexpr int64_t kStripBytes = 64 * 1024;

int32_t RowsPerStrip(int32_t width) {
  return static_cast<int32_t>(std::max<int64_t>(1, kStripBytes / (int64_t{std::max(width, 1)} * 4)));
}

int32_t DrawnWidth(int32_t width) { return (width + 3) & ~3; }

// The name of the platform's bitmap in a refusal.
std::string BitmapFormatName() { return GraphicFormatName(TBitmapGraphic::StaticClass()); }

// Why a block of blockWidth x height for a picture of width x height cannot be had
// now beside a strip of the picture's rows; empty when it can.
std::string BlockMemoryProblem(std::string_view formatName, int32_t width, int32_t height, int32_t blockWidth) {
  const int64_t bytes = int64_t{blockWidth} * height * 4 + kStripBytes;
  return PictureMemoryProblem(formatName, width, height, static_cast<uint64_t>(bytes));
}

}  // namespace

// [SECTION] Sizes

int32_t MaxTextureSide() {
  if (CurrentGLContext() == nullptr) return kFallbackMaxTextureSide;
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  return maxSize > 0 ? maxSize : kFallbackMaxTextureSide;
}

std::string TextureSizeProblem(int64_t width, int64_t height) {
  const int32_t limit = MaxTextureSide();
  if (width <= limit && height <= limit) return {};
  return "Picture of " + std::to_string(width) + " x " + std::to_string(height) +
         " pixels is too large for a texture: no side may be longer than " + std::to_string(limit) + " pixels";
}

enum class TGLBitmap32::TAlphaUse : uint8_t {
  auKeep,       // as it is
  auOpaque,     // 255: a bitmap drawn as the class library draws bitmaps, its colours copied
  auOverWhite,  // the colours blended over white, then 255: any other picture drawn
};

std::string TextureMemoryProblem(const TGraphic& graphic) {
  const QSize size = graphic.ImageSize();
  return BlockMemoryProblem(GraphicFormatName(graphic.GraphicClass()), size.width(), size.height(),
                            DrawnWidth(size.width()));
}

namespace {

// Raises before a picture too large for any texture is converted.
void CheckTextureSize(int64_t width, int64_t height) {
  if (std::string problem = TextureSizeProblem(width, height); !problem.empty())
    throw EBitmapTooLarge(problem);
}

}  // namespace

void TGLBitmap32::Resize(int32_t width, int32_t height) {
  const int64_t size = int64_t{width} * height * 4;
  // A new block, its contents meaningless; a block of the old size would no longer
  // match the sizes.
  std::vector<uint8_t> block;
  if (!blank_) {
    if (std::string refusal = CountedPictureAllocation(BitmapFormatName(), width, height,
                                                       static_cast<uint64_t>(size), [&] {
                                                         block.resize(static_cast<size_t>(size));
                                                         return true;
                                                       });
        !refusal.empty())
      throw EBitmapTooLarge(refusal);
  }
  width_ = width;
  height_ = height;
  dataSize_ = static_cast<int32_t>(size);
  data_ = std::move(block);
}

void TGLBitmap32::SetSize(int32_t width, int32_t height) {
  const int64_t blockWidth = width <= 0 ? 0 : (int64_t{width} + 3) & ~int64_t{3};
  height = std::max(height, 0);
  // The size asked for is told, not the width rounded for the block.
  if (blockWidth > std::numeric_limits<int32_t>::max() || blockWidth * height * 4 > kMaxDataSize)
    throw EBitmapTooLarge(SizeText(width, height));
  if (blockWidth != width_ || height != height_) Resize(static_cast<int32_t>(blockWidth), height);
}

void TGLBitmap32::SetWidth(int32_t width) { SetSize(width, height_); }

void TGLBitmap32::SetHeight(int32_t height) { SetSize(width_, height); }

uint8_t* TGLBitmap32::ScanLine(int32_t y) {
  if (data_.empty() || y < 0 || y >= height_) return nullptr;
  return data_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_) * 4;
}

// [SECTION] Conversions

void TGLBitmap32::Assign(const TPersistent* source) {
  if (!source) {
    width_ = height_ = dataSize_ = 0;
    data_.clear();
    data_.shrink_to_fit();
    return;
  }
  if (const auto* other = dynamic_cast<const TGLBitmap32*>(source)) {
    if (other == this) return;
    blank_ = other->blank_;
    dataSize_ = other->dataSize_;
    width_ = other->width_;
    height_ = other->height_;
    if (blank_) {
      data_.clear();
    } else {
      data_ = other->data_;
    }
    return;
  }
  TPersistent::Assign(source);
}

void TGLBitmap32::Assign(const TGraphic* graphic) {
  if (!graphic) {
    Assign(static_cast<const TPersistent*>(nullptr));
    return;
  }
  // Sized from the pixels the graphic hands over, which may differ from its extent.
  const QSize size = graphic->ImageSize();
  const int32_t width = size.width();
  const int32_t height = size.height();
  CheckTextureSize(width, height);
  const std::string formatName = GraphicFormatName(graphic->GraphicClass());
  const auto* bitmap = dynamic_cast<const TBitmapGraphic*>(graphic);
  if (bitmap) {
    const int32_t bits = bitmap->BitsPerPixel();
    const QImage& image = bitmap->Image();
    const auto strips = [&](const TImageStripVisit& visit) { ForEachImageStrip(image, RowsPerStrip(width), visit); };
    if ((bits == 24 || bits == 32) && width % 4 == 0) {
      Fill(formatName, width, height, width, bits == 32 ? TAlphaUse::auKeep : TAlphaUse::auOpaque, strips);
    } else {
      Fill(formatName, width, height, DrawnWidth(width), TAlphaUse::auOpaque, strips);
    }
    return;
  }
  Fill(formatName, width, height, DrawnWidth(width), TAlphaUse::auOverWhite,
       [&](const TImageStripVisit& visit) { graphic->ForEachImageStrip(RowsPerStrip(width), visit); });
}

void TGLBitmap32::Assign(const TPicture* picture) { Assign(picture ? picture->Graphic() : nullptr); }

void TGLBitmap32::Assign(const QImage& image) {
  if (image.isNull()) {
    Assign(static_cast<const TPersistent*>(nullptr));
    return;
  }
  CheckTextureSize(image.width(), image.height());
  const QImage::Format format = image.format();
  const bool bits24 = format == QImage::Format_RGB888 || format == QImage::Format_BGR888;
  const bool bits32 = format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
                      format == QImage::Format_ARGB32_Premultiplied;
  if ((bits24 || bits32) && image.width() % 4 == 0) {
    AssignFromBitmap(image, bits32);
  } else {
    Fill(BitmapFormatName(), image.width(), image.height(), DrawnWidth(image.width()), TAlphaUse::auOpaque,
         [&](const TImageStripVisit& visit) { ForEachImageStrip(image, RowsPerStrip(image.width()), visit); });
  }
}

void TGLBitmap32::AssignFrom24BitsBitmap(const QImage& image) { AssignFromBitmap(image, false); }

void TGLBitmap32::AssignFrom32BitsBitmap(const QImage& image) { AssignFromBitmap(image, true); }

void TGLBitmap32::AssignFromBitmap(const QImage& image, bool withAlpha) {
  const int32_t width = image.isNull() ? 0 : image.width();
  const int32_t height = image.isNull() ? 0 : image.height();
  Fill(BitmapFormatName(), width, height, width, withAlpha ? TAlphaUse::auKeep : TAlphaUse::auOpaque,
       [&](const TImageStripVisit& visit) { ForEachImageStrip(image, RowsPerStrip(width), visit); });
}

void TGLBitmap32::Fill(const std::string& formatName, int32_t width, int32_t height, int32_t blockWidth,
                       TAlphaUse alpha, const std::function<void(const TImageStripVisit&)>& strips) {
  const int64_t size = int64_t{blockWidth} * height * 4;
  if (size > kMaxDataSize) throw EBitmapTooLarge(SizeText(width, height));
  // The block and the strips beside it are counted, and a failure of either told, as
  // every picture is.
  std::vector<uint8_t> block;
  const std::string refusal = CountedPictureAllocation(formatName, width, height,
                                                       static_cast<uint64_t>(size + kStripBytes), [&] {
    block.resize(static_cast<size_t>(size));
    strips([&](int32_t top, const QImage& strip) {
      // The block's sizes drive the copy: rows and columns of a strip beyond them
      // are never written, and a strip of another width is stretched to the block.
      const int64_t stripWidth = strip.width();
      for (int32_t i = 0; i < strip.height() && int64_t{top} + i < height; ++i) {
        const int32_t y = top + i;
        const int32_t blockRow = verticalOrder_ ? y : height - 1 - y;
        const auto* src = reinterpret_cast<const QRgb*>(strip.constScanLine(i));
        uint8_t* dst = block.data() + static_cast<size_t>(blockRow) * static_cast<size_t>(blockWidth) * 4;
        for (int32_t bx = 0; bx < blockWidth; ++bx, dst += 4) {
          // A drawn picture is stretched to the block's width, nearest pixel.
          const QRgb c = src[blockWidth == stripWidth ? bx : bx * stripWidth / blockWidth];
          if (alpha == TAlphaUse::auOverWhite) {
            const int a = qAlpha(c);
            auto over = [a](int channel) { return static_cast<uint8_t>((channel * a + 255 * (255 - a) + 127) / 255); };
            dst[0] = over(qRed(c));
            dst[1] = over(qGreen(c));
            dst[2] = over(qBlue(c));
          } else {
            dst[0] = static_cast<uint8_t>(qRed(c));
            dst[1] = static_cast<uint8_t>(qGreen(c));
            dst[2] = static_cast<uint8_t>(qBlue(c));
          }
          dst[3] = alpha == TAlphaUse::auKeep ? static_cast<uint8_t>(qAlpha(c)) : 255;
        }
      }
    });
    return true;
  });
  if (!refusal.empty()) throw EBitmapTooLarge(refusal);
  data_ = std::move(block);
  width_ = blockWidth;
  height_ = height;
  dataSize_ = static_cast<int32_t>(size);
  blank_ = false;
}

QImage TGLBitmap32::Create32BitsBitmap() const {
  if (blank_ || data_.empty()) return QImage();
  QImage image(width_, height_, QImage::Format_ARGB32);
  if (image.isNull()) throw EBitmapTooLarge(SizeText(width_, height_));
  for (int32_t y = 0; y < height_; ++y) {
    const uint8_t* src = data_.data() + static_cast<size_t>(height_ - 1 - y) * static_cast<size_t>(width_) * 4;
    auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int32_t x = 0; x < width_; ++x) {
      dst[x] = qRgba(src[4 * x], src[4 * x + 1], src[4 * x + 2], src[4 * x + 3]);
    }
  }
  return image;
}

// [SECTION] Alpha

void TGLBitmap32::SetAlphaFromIntensity() {
  for (size_t i = 0; i + 3 < data_.size(); i += 4) {
    data_[i + 3] = static_cast<uint8_t>((data_[i] + data_[i + 1] + data_[i + 2]) / 3);
  }
}

void TGLBitmap32::SetAlphaFromSqrtIntensity() {
  const std::array<uint8_t, 256>& table = Sqrt255Table();
  for (size_t i = 0; i + 3 < data_.size(); i += 4) {
    data_[i + 3] = table[(data_[i] + data_[i + 1] + data_[i + 2]) / 3];
  }
}

void TGLBitmap32::SetAlphaForColorKey(uint32_t color) {
  SetAlphaForColorKeyPixel(GetRValue(color), GetGValue(color), GetBValue(color));
}

void TGLBitmap32::SetAlphaForColorKeyPixel(uint8_t red, uint8_t green, uint8_t blue) {
  for (size_t i = 0; i + 3 < data_.size(); i += 4) {
    const bool key = data_[i] == red && data_[i + 1] == green && data_[i + 2] == blue;
    data_[i + 3] = key ? 0 : 255;
  }
}

void TGLBitmap32::FillAlpha(uint8_t alpha) {
  for (size_t i = 0; i + 3 < data_.size(); i += 4) data_[i + 3] = alpha;
}

void TGLBitmap32::InvertAlpha() {
  for (size_t i = 0; i + 3 < data_.size(); i += 4) data_[i + 3] = static_cast<uint8_t>(255 - data_[i + 3]);
}

// [SECTION] Colour corrections

void TGLBitmap32::ApplyColorTable(const uint8_t (&table)[256]) {
  for (size_t i = 0; i + 3 < data_.size(); i += 4) {
    data_[i] = table[data_[i]];
    data_[i + 1] = table[data_[i + 1]];
    data_[i + 2] = table[data_[i + 2]];
  }
}

void TGLBitmap32::BrightnessCorrection(float factor) {
  if (data_.empty()) return;
  uint8_t table[256];
  for (int i = 0; i < 256; ++i) {
    table[i] = static_cast<uint8_t>(std::clamp(RoundToInt(static_cast<double>(i) * factor), 0, 255));
  }
  ApplyColorTable(table);
}

void TGLBitmap32::GammaCorrection(float gamma) {
  if (data_.empty()) return;
  const double exponent = gamma > 0.1f ? 1.0 / gamma : 10.0;
  uint8_t table[256];
  for (int i = 0; i < 256; ++i) {
    table[i] = static_cast<uint8_t>(std::clamp(RoundToInt(std::pow(i / 255.0, exponent) * 255.0), 0, 255));
  }
  ApplyColorTable(table);
}

void TGLBitmap32::GrayScaleToNormalMap(float scale, bool wrapS, bool wrapT) {
  if (data_.empty() || IsEmpty()) return;
  const int32_t w = width_;
  const int32_t h = height_;
  auto g = [&](int32_t x, int32_t y) {
    return static_cast<int32_t>(data_[(static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)) * 4 + 1]);
  };
  auto toByte = [](float v) { return static_cast<uint8_t>(RoundToInt(ClampValue(v, -128.0f, 127.0f) + 128.0f)); };
  std::vector<uint8_t> result(data_.size());
  for (int32_t y = 0; y < h; ++y) {
    const int32_t below = wrapT ? ((y - 1) & (h - 1)) : std::max(y - 1, 0);
    const int32_t above = wrapT ? ((y + 1) & (h - 1)) : std::min(y + 1, h - 1);
    for (int32_t x = 0; x < w; ++x) {
      const int32_t left = wrapS ? ((x - 1) & (w - 1)) : std::max(x - 1, 0);
      const int32_t right = wrapS ? ((x + 1) & (w - 1)) : std::min(x + 1, w - 1);
      const float nx = static_cast<float>(g(left, y) - g(right, y)) * scale;
      const float ny = static_cast<float>(g(x, below) - g(x, above)) * scale;
      const float k = 127.0f * RSqrt(nx * nx + ny * ny + 1.0f);
      uint8_t* p = result.data() + (static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)) * 4;
      p[0] = toByte(nx * k);
      p[1] = toByte(ny * k);
      p[2] = toByte(k);
      p[3] = 255;
    }
  }
  data_ = std::move(result);
}

// [SECTION] Upload

TTextureUploadCaps CurrentTextureUploadCaps() {
  TTextureUploadCaps caps;
  caps.anySize = GL.ARB_texture_non_power_of_two;
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  caps.maxTextureSize = maxSize;
  caps.generateMipmap = GL.SGIS_generate_mipmap;
  return caps;
}

void TextureSizeFor(int32_t imageWidth, int32_t imageHeight, const TTextureUploadCaps& caps,
                    int32_t& textureWidth, int32_t& textureHeight) {
  textureWidth = caps.anySize ? imageWidth : RoundUpToPowerOf2(imageWidth);
  textureHeight = caps.anySize ? imageHeight : RoundUpToPowerOf2(imageHeight);
  if (caps.maxTextureSize > 0) {
    textureWidth = std::min(textureWidth, caps.maxTextureSize);
    textureHeight = std::min(textureHeight, caps.maxTextureSize);
  }
}

TTextureUploadPlan TGLBitmap32::PlanUpload(uint32_t target, TGLMinFilter minFilter, int32_t internalFormat,
                                           const TTextureUploadCaps& caps) const {
  TTextureUploadPlan plan;
  if (dataSize_ == 0) return plan;
  TextureSizeFor(width_, height_, caps, plan.width, plan.height);
  plan.pixelFormat = IsDepthFormat(internalFormat) ? GL_DEPTH_COMPONENT : GL_RGBA;
  if (IsFloatFormat(internalFormat)) {
    plan.kind = TTextureUploadKind::ukFloatStorage;
    return plan;
  }
  const bool sameSize = plan.width == width_ && plan.height == height_;
  plan.pixels = !data_.empty();
  if (plan.pixelFormat == GL_RGBA) {
    plan.rescale = plan.pixels && !sameSize;
  } else if (!sameSize) {
    // Depth texels are read as one byte each from rows of the texture's
    // width; from a block of another size that read could pass its end.
    plan.pixels = false;
  }
  if (minFilter == miNearest || minFilter == miLinear) {
    plan.kind = TTextureUploadKind::ukImage;
  } else if (caps.generateMipmap && target == GL_TEXTURE_2D) {
    plan.kind = TTextureUploadKind::ukGeneratedMipmaps;
  } else {
    plan.kind = TTextureUploadKind::ukBuiltMipmaps;
  }
  return plan;
}

void TGLBitmap32::RegisterAsOpenGLTexture(uint32_t target, TGLMinFilter minFilter, int32_t internalFormat,
                                          int32_t& textureWidth, int32_t& textureHeight) {
  textureWidth = 0;
  textureHeight = 0;
  if (dataSize_ == 0) return;
  const TTextureUploadPlan plan = PlanUpload(target, minFilter, internalFormat, CurrentTextureUploadCaps());
  textureWidth = plan.width;
  textureHeight = plan.height;

  if (plan.kind == TTextureUploadKind::ukFloatStorage) {
    glTexImage2D(target, 0, internalFormat, plan.width, plan.height, 0, GL_RGBA, GL_FLOAT, nullptr);
    return;
  }
  std::vector<uint8_t> scaled;  // freed on every exit
  const void* pixels = plan.pixels ? data_.data() : nullptr;
  if (plan.rescale) {
    scaled.resize(static_cast<size_t>(plan.width) * static_cast<size_t>(plan.height) * 4);
    gluScaleImage(GL_RGBA, width_, height_, GL_UNSIGNED_BYTE, data_.data(), plan.width, plan.height,
                  GL_UNSIGNED_BYTE, scaled.data());
    pixels = scaled.data();
  }
  switch (plan.kind) {
    case TTextureUploadKind::ukImage:
      glTexImage2D(target, 0, internalFormat, plan.width, plan.height, 0, plan.pixelFormat, GL_UNSIGNED_BYTE,
                   pixels);
      break;
    case TTextureUploadKind::ukGeneratedMipmaps:
      glTexParameteri(target, GL_GENERATE_MIPMAP_SGIS, 1);
      glTexImage2D(target, 0, internalFormat, plan.width, plan.height, 0, plan.pixelFormat, GL_UNSIGNED_BYTE,
                   pixels);
      break;
    case TTextureUploadKind::ukBuiltMipmaps:
      if (!pixels) {
        // GLU reads the pixels it scales down: give it a cleared level.
        scaled.assign(static_cast<size_t>(plan.width) * static_cast<size_t>(plan.height) * 4, 0);
        pixels = scaled.data();
      }
      gluBuild2DMipmaps(target, internalFormat, plan.width, plan.height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
      break;
    default:
      break;
  }
}

void TGLBitmap32::UploadTexture(uint32_t target, TGLMinFilter minFilter, int32_t internalFormat) {
  int32_t width = 0;
  int32_t height = 0;
  RegisterAsOpenGLTexture(target, minFilter, internalFormat, width, height);
}

}  // namespace qira

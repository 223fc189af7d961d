#pragma once
// The in-memory RGBA image from which every texture is uploaded.
//
// Pixels are 4 bytes red, green, blue, alpha; row 0 of the block is the
// bottom row of the picture (the order OpenGL expects). A picture's pixels
// come in through Assign, alpha is derived in several ways, brightness and
// gamma are corrected through 256-entry tables, and the image uploads itself
// as the bound OpenGL texture, rescaled to a legal size when needed.
//
// A blank image has a size but no pixel block: every pixel operation on it
// does nothing, and its upload only allocates the texture.
#include <QImage>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Picture.h"
#include "scene/components/Components.h"

namespace qira {

// The minification filters of textures, in their stored order; the first two
// do not use mipmaps.
enum TGLMinFilter : uint8_t {
  miNearest,
  miLinear,
  miNearestMipmapNearest,
  miLinearMipmapNearest,
  miNearestMipmapLinear,
  miLinearMipmapLinear,
};

// A size whose pixel block would not fit the 32-bit data size:
// "Bitmap of <w> x <h> pixels is too large", the size asked for.
class EBitmapTooLarge : public Exception {
 public:
  using Exception::Exception;
};

// The longest side a picture may have to become a texture: GL_MAX_TEXTURE_SIZE
// while a context is current, else kFallbackMaxTextureSide.
inline constexpr int32_t kFallbackMaxTextureSide = 16384;
int32_t MaxTextureSide();
// Why a picture of width x height pixels cannot become a texture (a side longer
// than MaxTextureSide); empty when it can.
std::string TextureSizeProblem(int64_t width, int64_t height);
// Why the block for the graphic's picture cannot be had now: PictureTooLargeNow
// with the name of its kind; empty when it can.
std::string TextureMemoryProblem(const TGraphic& graphic);

// ------------------------------------------------------------ upload plan

// What the implementation offers for an upload.
struct TTextureUploadCaps {
  bool anySize = false;          // GL_ARB_texture_non_power_of_two
  int32_t maxTextureSize = 0;    // GL_MAX_TEXTURE_SIZE
  bool generateMipmap = false;   // GL_SGIS_generate_mipmap
};

// What the driver of the current context offers (a context must be current).
TTextureUploadCaps CurrentTextureUploadCaps();

enum class TTextureUploadKind : uint8_t {
  ukNothing,           // no pixels to speak of (data size 0)
  ukFloatStorage,      // float internal format: storage only, no data
  ukImage,             // one level through glTexImage2D
  ukGeneratedMipmaps,  // glTexImage2D with mipmap generation switched on
  ukBuiltMipmaps,      // gluBuild2DMipmaps
};

// The decisions of an upload, taken without OpenGL so they can be checked.
struct TTextureUploadPlan {
  TTextureUploadKind kind = TTextureUploadKind::ukNothing;
  int32_t width = 0;   // texture size
  int32_t height = 0;
  uint32_t pixelFormat = 0;  // GL_RGBA or GL_DEPTH_COMPONENT
  bool rescale = false;      // the pixels go through gluScaleImage first
  bool pixels = false;       // the image's pixels are sent (false: storage only)
};

// Texture size for an image: the image size when any size is allowed,
// otherwise each side rounded up to a power of two; then each clamped to the
// largest texture size.
void TextureSizeFor(int32_t imageWidth, int32_t imageHeight, const TTextureUploadCaps& caps,
                    int32_t& textureWidth, int32_t& textureHeight);

// --------------------------------------------------------------- TGLBitmap32

class TGLBitmap32 : public TPersistent {
  QIRA_CLASS(TGLBitmap32, TPersistent)

  TGLBitmap32() = default;
  ~TGLBitmap32() override = default;

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  // width * height * 4, also for a blank image.
  int32_t DataSize() const { return dataSize_; }
  // Rounded up to a multiple of 4 (negative widths are 0). A changed width
  // recomputes the data size and, unless blank, reallocates the block (its
  // contents are then meaningless). EBitmapTooLarge, with nothing changed,
  // when the block would pass 2^31-1 bytes, and with PictureTooLargeNow (as
  // a bitmap's) when the memory cannot hold it.
  void SetWidth(int32_t width);
  // As SetWidth, without rounding.
  void SetHeight(int32_t height);
  // Both at once, as SetWidth and SetHeight would set them, with one block; a
  // refusal names the size asked for.
  void SetSize(int32_t width, int32_t height);
  bool IsEmpty() const { return width_ == 0 || height_ == 0; }

  bool Blank() const { return blank_; }
  // Only the flag: sizes set while blank allocate nothing.
  void SetBlank(bool blank) { blank_ = blank; }

  // When set, a picture's rows are taken in the opposite order on
  // conversion, so that block row 0 is the picture's top row.
  bool VerticalOrder() const { return verticalOrder_; }
  void SetVerticalOrder(bool reverse) { verticalOrder_ = reverse; }

  // The pixel block (null when there is none).
  uint8_t* Data() { return data_.empty() ? nullptr : data_.data(); }
  const uint8_t* Data() const { return data_.empty() ? nullptr : data_.data(); }
  // Row y of the block (y = 0 is the bottom row); null outside 0..Height()-1
  // or without a block.
  uint8_t* ScanLine(int32_t y);

  // ---- conversions in

  // Null: empty (sizes 0, no block). Another TGLBitmap32: its blank flag,
  // sizes and, when not blank, its block. Anything else: TPersistent's error.
  void Assign(const TPersistent* source) override;
  // A platform bitmap: 24 or 32 bits per pixel with a width that is a multiple
  // of 4 are converted directly; any other picture is drawn into a 24-bit
  // bitmap whose width is rounded up to a multiple of 4 (the picture
  // stretched to it, nearest pixel) and that is converted. Drawing a platform
  // bitmap copies its colours and drops its alpha byte; other pictures are
  // blended over white. Null empties, as a null TPersistent does. A picture
  // with a side longer than MaxTextureSide raises EBitmapTooLarge with the
  // TextureSizeProblem text before anything is allocated.
  //
  // Every conversion in holds the new block and a strip of the picture's rows
  // besides what the source holds (a graphic that builds its pixels builds
  // them a strip at a time): a block the memory cannot hold raises
  // EBitmapTooLarge with PictureTooLargeNow (the source's kind, a
  // QImage's as a bitmap's) before it is allocated, and so does an allocation
  // that fails all the same. The bitmap is unchanged on any failure.
  void Assign(const TGraphic* graphic);
  void Assign(const TPicture* picture);
  // A QImage is a platform bitmap: Format_RGB888/BGR888 are 24 bits,
  // Format_RGB32 and the ARGB32 formats 32 bits; other formats, and widths
  // that are no multiple of 4, are drawn as a platform bitmap is (colours
  // copied, alpha dropped). A null image empties. Sides are checked as for a
  // graphic.
  void Assign(const QImage& image);

  // Sizes from the image, a new block, blank off; rows from the image's top
  // row down into block rows from the last down (reversed with
  // VerticalOrder). 24 bits: alpha 255; 32 bits: the image's alpha (not
  // premultiplied). Any width is accepted.
  void AssignFrom24BitsBitmap(const QImage& image);
  void AssignFrom32BitsBitmap(const QImage& image);

  // ---- conversion out

  // A 32-bit picture (Format_ARGB32, not premultiplied) of the same size;
  // picture row y from block row height-1-y. A null image when blank.
  QImage Create32BitsBitmap() const;

  // ---- alpha, each over every pixel of the block (nothing without one)

  // (red + green + blue) div 3.
  void SetAlphaFromIntensity();
  // Sqrt255Table[(red + green + blue) div 3].
  void SetAlphaFromSqrtIntensity();
  // 0 where red, green and blue equal those of the colour value (a system
  // colour value is not resolved: its low three bytes are compared), else 255.
  void SetAlphaForColorKey(uint32_t color);
  void SetAlphaForColorKeyPixel(uint8_t red, uint8_t green, uint8_t blue);
  void FillAlpha(uint8_t alpha);
  // 255 - alpha.
  void InvertAlpha();

  // ---- colour corrections of red, green and blue (alpha unchanged)

  // t[i] = RoundToInt(i * factor) clamped to 0..255.
  void BrightnessCorrection(float factor);
  // t[i] = RoundToInt(Power(i / 255, e) * 255), e = 1 / gamma for gamma above
  // 0.1, else 10.
  void GammaCorrection(float gamma);
  // Turns the green channel, read as a height, into a normal map; wrapS and
  // wrapT wrap the neighbours of edge pixels (meaningful for power-of-two
  // sizes), otherwise edges use one-sided differences.
  void GrayScaleToNormalMap(float scale, bool wrapS, bool wrapT);

  // ---- upload (a context must be current)

  // The decisions RegisterAsOpenGLTexture takes for these capabilities.
  TTextureUploadPlan PlanUpload(uint32_t target, TGLMinFilter minFilter, int32_t internalFormat,
                                const TTextureUploadCaps& caps) const;
  // Uploads the image as the texture bound to `target` and reports the
  // texture's size (0 x 0 when there was nothing to upload). A blank image
  // allocates the texture at its size without pixels.
  void RegisterAsOpenGLTexture(uint32_t target, TGLMinFilter minFilter, int32_t internalFormat,
                               int32_t& textureWidth, int32_t& textureHeight);
  void UploadTexture(uint32_t target, TGLMinFilter minFilter, int32_t internalFormat);

 private:
  // Checks and applies new sizes; the block follows unless blank.
  void Resize(int32_t width, int32_t height);
  void AssignFromBitmap(const QImage& image, bool withAlpha);
  enum class TAlphaUse : uint8_t;
  // A new block of blockWidth x height from the picture's width x height
  // pixels, handed over by `strips` (a narrower picture is stretched, nearest
  // pixel), replacing the old one when whole.
  void Fill(const std::string& formatName, int32_t width, int32_t height, int32_t blockWidth, TAlphaUse alpha,
            const std::function<void(const TImageStripVisit&)>& strips);
  void ApplyColorTable(const uint8_t (&table)[256]);

  std::vector<uint8_t> data_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t dataSize_ = 0;
  bool verticalOrder_ = false;
  bool blank_ = false;
};

}  // namespace qira

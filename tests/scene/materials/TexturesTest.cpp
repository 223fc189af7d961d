#include <gtest/gtest.h>

#include <QImage>
#include <array>
#include <memory>

#include "support/MaterialRenderSupport.h"
#include "platform/AvailableMemory.h"
#include "platform/Picture.h"
#include "scene/materials/Materials.h"
#include "scene/gl/RenderingContext.h"
#include "scene/gl/StateCache.h"
#include "scene/materials/TextureImages.h"
#include "scene/materials/Textures.h"

namespace qira {
namespace {

using testing::GLFixture;
using testing::TCountingOwner;

// Texel colours of a 4 x 2 picture, block row 0 being the bottom row.
constexpr std::array<std::array<uint8_t, 3>, 8> kTexels = {{
    {255, 0, 0},
    {0, 255, 0},
    {0, 0, 255},
    {255, 255, 0},  // bottom row
    {0, 255, 255},
    {255, 0, 255},
    {128, 128, 128},
    {255, 255, 255},  // top row
}};

std::unique_ptr<TGLBitmap32> KnownBitmap() {
  auto bitmap = std::make_unique<TGLBitmap32>();
  bitmap->SetWidth(4);
  bitmap->SetHeight(2);
  uint8_t* p = bitmap->Data();
  for (const auto& texel : kTexels) {
    *p++ = texel[0];
    *p++ = texel[1];
    *p++ = texel[2];
    *p++ = 255;
  }
  return bitmap;
}

// A blank image that counts the bitmaps it hands out for uploads.
class TCountingImage : public TGLBlankImage {
  QIRA_CLASS(TCountingImage, TGLBlankImage)

  explicit TCountingImage(TPersistent* owner = nullptr) : TGLBlankImage(owner) {}
  TGLBitmap32* GetBitmap32(uint32_t target) override {
    ++uploads;
    return TGLBlankImage::GetBitmap32(target);
  }
  int uploads = 0;
};

// ------------------------------------------------------------ without OpenGL

TEST(Texture, MappingBackToUserCoordinatesIsATextureMapChange) {
  TCountingOwner owner;
  TGLTexture texture(&owner);
  texture.SetMappingMode(TGLTextureMappingMode::tmmSphere);
  EXPECT_EQ(owner.changes, 1);
  texture.SetMappingMode(TGLTextureMappingMode::tmmUser);
  EXPECT_EQ(owner.texMapChanges, 1);
  EXPECT_EQ(owner.changes, 1);
}

TEST(Texture, MirrorClampWrapsNeedTheirExtensions) {
  const TGLFlags saved = GL;
  GL.ATI_texture_mirror_once = false;
  GL.EXT_texture_mirror_clamp = false;
  TGLTexture texture;
  texture.SetTextureWrapS(TGLSeparateTextureWrap::twMirrorClamp);
  texture.SetTextureWrapT(TGLSeparateTextureWrap::twMirrorClampToBorder);
  EXPECT_EQ(texture.TextureWrapS(), TGLSeparateTextureWrap::twRepeat);
  EXPECT_EQ(texture.TextureWrapT(), TGLSeparateTextureWrap::twRepeat);
  texture.SetTextureWrapS(TGLSeparateTextureWrap::twMirrorRepeat);
  EXPECT_EQ(texture.TextureWrapS(), TGLSeparateTextureWrap::twMirrorRepeat);
  GL.ATI_texture_mirror_once = true;
  texture.SetTextureWrapT(TGLSeparateTextureWrap::twMirrorClampToEdge);
  EXPECT_EQ(texture.TextureWrapT(), TGLSeparateTextureWrap::twMirrorClampToEdge);
  texture.SetTextureWrapR(TGLSeparateTextureWrap::twMirrorClampToBorder);
  EXPECT_EQ(texture.TextureWrapR(), TGLSeparateTextureWrap::twRepeat);
  GL = saved;
}

TEST(Texture, InternalFormatFollowsFormatDefaultsAndCompression) {
  TGLTexture texture;
  EXPECT_EQ(texture.OpenGLTextureFormat(), static_cast<GLenum>(GL_RGBA8));
  texture.SetTextureFormat(TGLTextureFormat::tfLuminance);
  EXPECT_EQ(texture.OpenGLTextureFormat(), static_cast<GLenum>(GL_LUMINANCE8));
  const TGLFlags saved = GL;
  GL.ARB_texture_compression = true;
  texture.SetTextureFormat(TGLTextureFormat::tfRGB);
  texture.SetCompression(TGLTextureCompression::tcStandard);
  EXPECT_EQ(texture.OpenGLTextureFormat(), static_cast<GLenum>(GL_COMPRESSED_RGB));
  texture.SetTextureFormat(TGLTextureFormat::tfDEPTH_COMPONENT24);  // no compressed form
  EXPECT_EQ(texture.OpenGLTextureFormat(), static_cast<GLenum>(GL_DEPTH_COMPONENT24));
  GL.ARB_texture_compression = false;
  texture.SetTextureFormat(TGLTextureFormat::tfRGB);
  EXPECT_EQ(texture.OpenGLTextureFormat(), static_cast<GLenum>(GL_RGB8));
  GL = saved;

  SetDefaultTextureFormat(TGLTextureFormat::tfRGB16);
  texture.SetTextureFormat(TGLTextureFormat::tfDefault);
  texture.SetCompression(TGLTextureCompression::tcNone);
  EXPECT_EQ(texture.OpenGLTextureFormat(), static_cast<GLenum>(GL_RGB5));
  SetDefaultTextureFormat(TGLTextureFormat::tfDefault);
  EXPECT_EQ(DefaultTextureFormat(), TGLTextureFormat::tfRGBA);
}

// --------------------------------------------------------------- with OpenGL

class TextureDrawingGL : public GLFixture {
 protected:
  void ReleaseGLObjects() override { textures_.clear(); }

  TGLTexture& NewTexture() {
    textures_.push_back(std::make_unique<TGLTexture>());
    return *textures_.back();
  }

  TGLTexture& KnownTexture() {
    TGLTexture& texture = NewTexture();
    auto bitmap = KnownBitmap();
    static_cast<TGLPersistentImage&>(texture.Image()).Assign(bitmap.get());
    texture.SetMinFilter(miNearest);
    texture.SetMagFilter(TGLMagFilter::maNearest);
    texture.SetTextureMode(TGLTextureMode::tmReplace);
    texture.SetDisabled(false);
    return texture;
  }

  std::vector<std::unique_ptr<TGLTexture>> textures_;
};

TEST_F(TextureDrawingGL, ADisabledTextureSwitchesTexturingOff) {
  TGLTexture& texture = NewTexture();
  cache_->EnableState(TGLState::stTexture2D);
  texture.Apply(rci_);
  EXPECT_FALSE(cache_->States().Contains(TGLState::stTexture2D));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_FALSE(texture.IsHandleAllocated());
  texture.UnApply(rci_);
}

TEST_F(TextureDrawingGL, AKnownBitmapSamplesBackAtChosenTexels) {
  TGLTexture& texture = KnownTexture();
  Clear(0.0f, 0.0f, 0.0f);
  texture.Apply(rci_);
  EXPECT_TRUE(cache_->States().Contains(TGLState::stTexture2D));
  DrawQuad();
  texture.UnApply(rci_);
  EXPECT_FALSE(cache_->States().Contains(TGLState::stTexture2D));
  // Texel (i, j) covers 4 x 8 pixels of the 16 x 16 view.
  for (int j = 0; j < 2; ++j) {
    for (int i = 0; i < 4; ++i) {
      const auto& texel = kTexels[static_cast<size_t>(j * 4 + i)];
      const auto pixel = Pixel(i * 4 + 2, j * 8 + 4);
      EXPECT_TRUE(NearRgb(pixel, texel[0], texel[1], texel[2], 1))
          << "texel " << i << "," << j << ": " << pixel[0] << " " << pixel[1] << " " << pixel[2];
    }
  }
}

TEST_F(TextureDrawingGL, MagFilterResendsParametersAndGammaReuploads) {
  TGLTexture& texture = NewTexture();
  TCountingImage counting;
  counting.SetWidth(8);
  counting.SetHeight(8);
  texture.SetImage(&counting);
  auto& image = dynamic_cast<TCountingImage&>(texture.Image());
  texture.SetMinFilter(miLinear);
  const GLuint name = texture.GetHandle();
  EXPECT_EQ(image.uploads, 1);
  EXPECT_EQ(texture.GetHandle(), name);
  EXPECT_EQ(image.uploads, 1);

  texture.SetMagFilter(TGLMagFilter::maNearest);
  EXPECT_EQ(texture.GetHandle(), name);
  EXPECT_EQ(image.uploads, 1);
  glBindTexture(GL_TEXTURE_2D, name);
  GLint magFilter = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
  EXPECT_EQ(magFilter, GL_NEAREST);
  glBindTexture(GL_TEXTURE_2D, 0);

  texture.SetImageGamma(2.0f);
  texture.GetHandle();
  EXPECT_EQ(image.uploads, 2);
}

TEST_F(TextureDrawingGL, ATextureTheDriverCannotHoldIsRefusedBeforeAllocation) {
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  TGLTexture& texture = NewTexture();
  TGLFloatDataImage huge;
  huge.SetWidth(maxSize);  // 16 bytes a texel: beyond what the driver holds
  huge.SetHeight(maxSize);
  texture.SetImage(&huge);
  texture.SetTextureFormat(TGLTextureFormat::tfRGBAFloat32);
  texture.SetMinFilter(miNearest);
  const GLuint name = texture.GetHandle();
  EXPECT_NE(name, 0u);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  EXPECT_EQ(texture.RequiredMemorySize(), -1);
  glBindTexture(GL_TEXTURE_2D, name);
  GLint width = -1;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
  glBindTexture(GL_TEXTURE_2D, 0);
  // Either the driver could hold it (then it has the clamped size) or nothing
  // was allocated; never an error half-way.
  EXPECT_TRUE(width == 0 || width == maxSize) << width;

  // An image too large even for the bitmap's memory uploads nothing either.
  TGLFloatDataImage larger;
  larger.SetWidth(65536);
  larger.SetHeight(65536);
  texture.SetImage(&larger);
  EXPECT_NO_THROW(texture.GetHandle());
  EXPECT_EQ(texture.RequiredMemorySize(), -1);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// The driver keeps its copy of the texture's levels in the program's memory (a
// software renderer all of it): a copy the memory cannot hold is not made.
TEST_F(TextureDrawingGL, ATextureWhoseLevelsTheMemoryCannotHoldUploadsNothing) {
  struct TResetProbe {
    ~TResetProbe() { SetAvailableMemoryProbe({}); }
  } reset;
  const struct {
    TGLMinFilter filter;
    int64_t room;  // 512 x 512 texels of 4 bytes: 1 MB, and a third more for the smaller levels
    GLint width;
  } cases[] = {{miLinear, (1 << 20) - 1, 0},
               {miLinear, 1 << 20, 512},
               {miLinearMipmapLinear, (1 << 20) + (1 << 20) / 3 - 1, 0},
               {miLinearMipmapLinear, (1 << 20) + (1 << 20) / 3, 512}};
  for (const auto& c : cases) {
    TGLTexture& texture = NewTexture();
    TGLBlankImage blank;
    blank.SetWidth(512);
    blank.SetHeight(512);
    texture.SetImage(&blank);
    texture.SetMinFilter(c.filter);
    SetAvailableMemoryProbe([room = c.room] { return room; });
    const GLuint name = texture.GetHandle();
    SetAvailableMemoryProbe({});
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    glBindTexture(GL_TEXTURE_2D, name);
    GLint width = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(width, c.width) << c.room;
  }
}

TEST_F(TextureDrawingGL, AnUploadPutsBackTheBindingTheCacheKnows) {
  TGLTexture& first = KnownTexture();
  TGLTexture& second = KnownTexture();
  first.Apply(rci_);  // binds through the cache
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(static_cast<GLuint>(bound), first.GetHandle());
  second.GetHandle();  // uploads, binding its own name meanwhile
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(static_cast<GLuint>(bound), first.GetHandle());
  first.UnApply(rci_);
}

TEST_F(TextureDrawingGL, DestroyHandlesFreesTheNameAndTheNextBindRebuildsIt) {
  TGLTexture& texture = KnownTexture();
  const GLuint name = texture.GetHandle();
  EXPECT_TRUE(glIsTexture(name));
  texture.DestroyHandles();
  EXPECT_FALSE(texture.IsHandleAllocated());
  EXPECT_FALSE(glIsTexture(name));
  EXPECT_TRUE(texture.ImageStale());
  EXPECT_EQ(texture.RequiredMemorySize(), -1);
  EXPECT_NE(texture.GetHandle(), 0u);
  EXPECT_FALSE(texture.ImageStale());
}

// Faces of unequal sizes, or a face whose block the memory cannot hold, upload nothing.
TEST_F(TextureDrawingGL, ACubeMapWithUnequalOrUnheldFacesIsBoundButNotUploaded) {
  if (!GL.ARB_texture_cube_map) GTEST_SKIP() << "no cube maps";
  struct TResetProbe {
    ~TResetProbe() { SetAvailableMemoryProbe({}); }
  } reset;
  const struct {
    bool equal;
    int64_t room;  // bytes of memory the program may take; 0: what there is
    GLint width;   // of the face uploaded
  } cases[] = {{false, 0, 0}, {true, 0, 4}, {true, 1000, 0}};
  for (const auto& c : cases) {
    TGLTexture& texture = NewTexture();
    TGLCubeMapImage cube;
    for (int face = 0; face < 6; ++face) {
      const int size = (!c.equal && face == 3) ? 8 : 4;
      QImage image(size, size, QImage::Format_RGB32);
      image.fill(Qt::red);
      TBitmapGraphic graphic(image);
      cube.Picture(static_cast<TGLCubeMapFace>(face)).Assign(&graphic);
    }
    texture.SetImage(&cube);
    texture.SetMinFilter(miNearest);
    if (c.room > 0) SetAvailableMemoryProbe([room = c.room] { return room; });
    const GLuint name = texture.GetHandle();
    SetAvailableMemoryProbe({});
    EXPECT_NE(name, 0u);
    glBindTexture(GL_TEXTURE_CUBE_MAP, name);
    GLint width = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_POSITIVE_X, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, c.width) << c.equal << " " << c.room;
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
  }
}

TEST_F(TextureDrawingGL, ObjectLinearMappingGeneratesCoordinatesUntilUnApply) {
  TGLTexture& texture = KnownTexture();
  texture.SetMappingMode(TGLTextureMappingMode::tmmObjectLinear);
  texture.Apply(rci_);
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_GEN_S));
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_GEN_T));
  GLint mode = 0;
  glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
  EXPECT_EQ(mode, GL_REPLACE);
  texture.UnApply(rci_);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
}

TEST_F(TextureDrawingGL, AnExtendedTextureOnUnitZeroReplacesThePlainTexture) {
  if (!GL.ARB_multitexture) GTEST_SKIP() << "no multitexturing";
  TGLMaterial material;
  material.Texture().SetDisabled(false);  // an empty plain texture, overridden below
  TGLTextureExItem& item = material.TextureEx().Add();
  auto bitmap = KnownBitmap();
  static_cast<TGLPersistentImage&>(item.Texture().Image()).Assign(bitmap.get());
  item.Texture().SetMinFilter(miNearest);
  item.Texture().SetMagFilter(TGLMagFilter::maNearest);
  item.Texture().SetTextureMode(TGLTextureMode::tmReplace);
  item.Texture().SetDisabled(false);
  Clear(0.0f, 0.0f, 0.0f);
  material.Apply(rci_);
  EXPECT_TRUE(item.Applied());
  DrawQuad();
  material.UnApply(rci_);
  EXPECT_FALSE(item.Applied());
  EXPECT_TRUE(NearRgb(Pixel(2, 4), 255, 0, 0, 1));
  EXPECT_TRUE(NearRgb(Pixel(14, 12), 255, 255, 255, 1));
  EXPECT_FALSE(cache_->States().Contains(TGLState::stTexture2D));
  material.TextureEx().Items(0).Texture().DestroyHandles();
  material.DestroyHandles();
}

}  // namespace
}  // namespace qira

// Sections:
//   Enumeration values
//   Process-wide defaults
//   Construction and image
//   Setters
//   Upload
//   Applying
//   Assignment, notification
//   Extended textures
//   Component streams

#include "scene/materials/Textures.h"

#include <algorithm>
#include <utility>

#include "platform/AvailableMemory.h"
#include "platform/Picture.h"
#include "scene/components/ComponentStreams.h"
#include "scene/gl/MultitextureCoords.h"
#include "scene/graph/RenderContextInfo.h"
#include "scene/gl/RenderingContext.h"
#include "scene/gl/StateCache.h"
#include "scene/math/VectorGeometry.h"

namespace qira {

namespace {

// Texture units of the driver (1 without multitexturing).
int MaxTextureUnits() {
  if (!MultitextureAvailable()) return 1;
  GLint units = 0;
  glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
  return std::max(units, 1);
}

// The query that reads the binding of a target; 0 for targets not tracked.
GLenum BindingQueryOf(GLenum target) {
  switch (target) {
    case GL_TEXTURE_2D:
      return GL_TEXTURE_BINDING_2D;
    case GL_TEXTURE_CUBE_MAP:
      return GL_TEXTURE_BINDING_CUBE_MAP;
    case GL_TEXTURE_RECTANGLE:
      return GL_TEXTURE_BINDING_RECTANGLE;
    default:
      return 0;
  }
}

// The proxy target that answers whether a texture of `target` fits; 0 when none.
GLenum ProxyOf(GLenum target) {
  if (target == GL_TEXTURE_2D) return GL_PROXY_TEXTURE_2D;
  if (target == GL_TEXTURE_RECTANGLE) return GL_PROXY_TEXTURE_RECTANGLE;
  if (target >= GL_TEXTURE_CUBE_MAP_POSITIVE_X && target <= GL_TEXTURE_CUBE_MAP_NEGATIVE_Z) {
    return GL_PROXY_TEXTURE_CUBE_MAP;
  }
  return 0;
}

// What an upload takes besides the bitmap: the driver's copy of every level (kept
// in the program's memory, by a software renderer all of it) and a level rescaled
// or cleared for GLU.
int64_t UploadBytes(const TTextureUploadPlan& plan) {
  const int64_t texels = int64_t{plan.width} * plan.height;
  const int64_t level = texels * (plan.kind == TTextureUploadKind::ukFloatStorage ? 16 : 4);
  const bool mipmaps =
      plan.kind == TTextureUploadKind::ukGeneratedMipmaps || plan.kind == TTextureUploadKind::ukBuiltMipmaps;
  int64_t bytes = mipmaps ? level + level / 3 : level;
  if (plan.rescale || (plan.kind == TTextureUploadKind::ukBuiltMipmaps && !plan.pixels)) bytes += texels * 4;
  return bytes;
}

// Whether the memory and the driver (asked through the proxy target) can hold the
// texture the bitmap would upload, before anything is allocated for it.
bool TextureFits(GLenum target, const TGLBitmap32& bitmap, TGLMinFilter minFilter, GLenum internalFormat) {
  const TTextureUploadPlan plan =
      bitmap.PlanUpload(target, minFilter, static_cast<int32_t>(internalFormat), CurrentTextureUploadCaps());
  if (plan.kind == TTextureUploadKind::ukNothing) return true;
  if (plan.width <= 0 || plan.height <= 0) return false;
  if (!MemoryFits(UploadBytes(plan))) return false;
  const GLenum proxy = ProxyOf(target);
  if (proxy == 0) return true;
  const GLenum type = plan.kind == TTextureUploadKind::ukFloatStorage ? GL_FLOAT : GL_UNSIGNED_BYTE;
  const GLenum pixelFormat = plan.kind == TTextureUploadKind::ukFloatStorage ? GL_RGBA : plan.pixelFormat;
  ClearGLError();
  glTexImage2D(proxy, 0, static_cast<GLint>(internalFormat), plan.width, plan.height, 0, pixelFormat, type, nullptr);
  GLint width = 0;
  glGetTexLevelParameteriv(proxy, 0, GL_TEXTURE_WIDTH, &width);
  const bool clean = glGetError() == GL_NO_ERROR;
  ClearGLError();
  return clean && width != 0;
}

bool RectangleTexturesAvailable() {
  return GL.ARB_texture_rectangle || GL.EXT_texture_rectangle || GL.NV_texture_rectangle;
}

bool IsDepthFormat(TGLTextureFormat format) {
  return format == TGLTextureFormat::tfDEPTH_COMPONENT16 || format == TGLTextureFormat::tfDEPTH_COMPONENT24 ||
         format == TGLTextureFormat::tfDEPTH_COMPONENT32;
}

// The model-view matrix of the pass without translation, transposed: the
// rotation back to world space for the cube-map coordinates.
TMatrix CubeMapTextureMatrix(const TRenderContextInfo& rci) {
  TMatrix m = rci.modelViewMatrix != nullptr ? *rci.modelViewMatrix : IdentityHmgMatrix;
  m[3] = WHmgVector;
  m[0].w = 0.0f;
  m[1].w = 0.0f;
  m[2].w = 0.0f;
  TransposeMatrix(m);
  return m;
}

void LoadUnitTextureMatrix(const TMatrix& m) {
  glMatrixMode(GL_TEXTURE);
  glLoadMatrixf(m.data());
  glMatrixMode(GL_MODELVIEW);
}

void LoadUnitIdentityTextureMatrix() {
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
}

TGLTextureFormat gDefaultTextureFormat = TGLTextureFormat::tfRGBA;
TGLTextureCompression gDefaultTextureCompression = TGLTextureCompression::tcNone;

}  // namespace

// [SECTION] Enumeration values

GLenum TextureModeToGL(TGLTextureMode mode) {
  switch (mode) {
    case TGLTextureMode::tmModulate:
      return GL_MODULATE;
    case TGLTextureMode::tmBlend:
      return GL_BLEND;
    case TGLTextureMode::tmReplace:
      return GL_REPLACE;
    case TGLTextureMode::tmAdd:
      return GL_ADD;
    case TGLTextureMode::tmDecal:
    default:
      return GL_DECAL;
  }
}

GLenum SeparateTextureWrapToGL(TGLSeparateTextureWrap wrap) {
  switch (wrap) {
    case TGLSeparateTextureWrap::twClamp:
      return GL_CLAMP;
    case TGLSeparateTextureWrap::twClampToEdge:
      return GL_CLAMP_TO_EDGE;
    case TGLSeparateTextureWrap::twClampToBorder:
      return GL_CLAMP_TO_BORDER;
    case TGLSeparateTextureWrap::twMirrorRepeat:
      return GL_MIRRORED_REPEAT;
    case TGLSeparateTextureWrap::twMirrorClamp:
      return GL_MIRROR_CLAMP_ATI;
    case TGLSeparateTextureWrap::twMirrorClampToEdge:
      return GL_MIRROR_CLAMP_TO_EDGE_ATI;
    case TGLSeparateTextureWrap::twMirrorClampToBorder:
      return GL_MIRROR_CLAMP_TO_BORDER_EXT;
    case TGLSeparateTextureWrap::twRepeat:
    default:
      return GL_REPEAT;
  }
}

GLenum MinFilterToGL(TGLMinFilter filter) {
  switch (filter) {
    case miNearest:
      return GL_NEAREST;
    case miLinear:
      return GL_LINEAR;
    case miNearestMipmapNearest:
      return GL_NEAREST_MIPMAP_NEAREST;
    case miLinearMipmapNearest:
      return GL_LINEAR_MIPMAP_NEAREST;
    case miNearestMipmapLinear:
      return GL_NEAREST_MIPMAP_LINEAR;
    case miLinearMipmapLinear:
    default:
      return GL_LINEAR_MIPMAP_LINEAR;
  }
}

GLenum MagFilterToGL(TGLMagFilter filter) { return filter == TGLMagFilter::maNearest ? GL_NEAREST : GL_LINEAR; }

GLenum DepthCompareFuncToGL(TGLDepthCompareFunc func) {
  switch (func) {
    case TGLDepthCompareFunc::dcfGequal:
      return GL_GEQUAL;
    case TGLDepthCompareFunc::dcfLess:
      return GL_LESS;
    case TGLDepthCompareFunc::dcfGreater:
      return GL_GREATER;
    case TGLDepthCompareFunc::dcfEqual:
      return GL_EQUAL;
    case TGLDepthCompareFunc::dcfNotequal:
      return GL_NOTEQUAL;
    case TGLDepthCompareFunc::dcfAlways:
      return GL_ALWAYS;
    case TGLDepthCompareFunc::dcfNever:
      return GL_NEVER;
    case TGLDepthCompareFunc::dcfLequal:
    default:
      return GL_LEQUAL;
  }
}

GLenum DepthTextureModeToGL(TGLDepthTextureMode mode) {
  switch (mode) {
    case TGLDepthTextureMode::dtmIntensity:
      return GL_INTENSITY;
    case TGLDepthTextureMode::dtmAlpha:
      return GL_ALPHA;
    case TGLDepthTextureMode::dtmLuminance:
    default:
      return GL_LUMINANCE;
  }
}

GLenum UncompressedTextureFormatToGL(TGLTextureFormat format) {
  switch (format) {
    case TGLTextureFormat::tfRGB:
    case TGLTextureFormat::tfNormalMap:
      return GL_RGB8;
    case TGLTextureFormat::tfRGB16:
      return GL_RGB5;
    case TGLTextureFormat::tfRGBA16:
      return GL_RGBA4;
    case TGLTextureFormat::tfAlpha:
      return GL_ALPHA8;
    case TGLTextureFormat::tfLuminance:
      return GL_LUMINANCE8;
    case TGLTextureFormat::tfLuminanceAlpha:
      return GL_LUMINANCE8_ALPHA8;
    case TGLTextureFormat::tfIntensity:
      return GL_INTENSITY8;
    case TGLTextureFormat::tfRGBAFloat16:
      return GL_RGBA16F;
    case TGLTextureFormat::tfRGBAFloat32:
      return GL_RGBA32F;
    case TGLTextureFormat::tfDEPTH_COMPONENT16:
      return GL_DEPTH_COMPONENT16;
    case TGLTextureFormat::tfDEPTH_COMPONENT24:
      return GL_DEPTH_COMPONENT24;
    case TGLTextureFormat::tfDEPTH_COMPONENT32:
      return GL_DEPTH_COMPONENT32;
    case TGLTextureFormat::tfRGBA:
    case TGLTextureFormat::tfDefault:
    default:
      return GL_RGBA8;
  }
}

GLenum CompressedTextureFormatToGL(TGLTextureFormat format) {
  switch (format) {
    case TGLTextureFormat::tfRGB:
    case TGLTextureFormat::tfRGB16:
    case TGLTextureFormat::tfNormalMap:
      return GL_COMPRESSED_RGB;
    case TGLTextureFormat::tfRGBA:
    case TGLTextureFormat::tfRGBA16:
    case TGLTextureFormat::tfDefault:
      return GL_COMPRESSED_RGBA;
    case TGLTextureFormat::tfAlpha:
      return GL_COMPRESSED_ALPHA;
    case TGLTextureFormat::tfLuminance:
      return GL_COMPRESSED_LUMINANCE;
    case TGLTextureFormat::tfLuminanceAlpha:
      return GL_COMPRESSED_LUMINANCE_ALPHA;
    case TGLTextureFormat::tfIntensity:
      return GL_COMPRESSED_INTENSITY;
    default:
      return 0;
  }
}

// [SECTION] Process-wide defaults

TGLTextureFormat DefaultTextureFormat() { return gDefaultTextureFormat; }
void SetDefaultTextureFormat(TGLTextureFormat format) {
  gDefaultTextureFormat = format == TGLTextureFormat::tfDefault ? TGLTextureFormat::tfRGBA : format;
}
TGLTextureCompression DefaultTextureCompression() { return gDefaultTextureCompression; }
void SetDefaultTextureCompression(TGLTextureCompression compression) {
  gDefaultTextureCompression =
      compression == TGLTextureCompression::tcDefault ? TGLTextureCompression::tcNone : compression;
}

// [SECTION] Construction and image

TGLTexture::TGLTexture(TPersistent* owner)
    : TGLUpdateAbleObject(owner),
      handle_(std::make_unique<TGLTextureHandle>()),
      envColor_(TGLColor::CreateInitialized(this, NullHmgVector)),
      borderColor_(TGLColor::CreateInitialized(this, NullHmgVector)) {
  ReplaceImage(std::make_unique<TGLPersistentImage>(this));
}

TGLTexture::~TGLTexture() {
  // The image may still reach this texture while it goes.
  image_.reset();
}

void TGLTexture::ReplaceImage(std::unique_ptr<TGLTextureImage> image) {
  image_ = std::move(image);
  image_->OnTextureNeeded = [this](TObject* sender, std::string& name) { DoOnTextureNeeded(sender, name); };
}

void TGLTexture::SetImage(const TGLTextureImage* value) {
  if (value == image_.get()) return;
  if (value == nullptr) {
    ReplaceImage(std::make_unique<TGLPersistentImage>(this));
    ImageParameterChanged();
    return;
  }
  if (&value->ClassType() != &image_->ClassType()) {
    std::unique_ptr<TGLTextureImage> image = value->ImageClass().CreateImage(this);
    if (!image) return;  // an abstract kind: the current image stays
    ReplaceImage(std::move(image));
  }
  image_->Assign(value);
  ImageParameterChanged();
}

std::string TGLTexture::ImageClassName() const { return image_->ClassName(); }

void TGLTexture::SetImageClassName(std::string_view name) {
  if (name == image_->ClassName()) return;
  const TGLTextureImageClass* imageClass = FindGLTextureImageClass(name);
  if (imageClass == nullptr) return;  // unknown: the current image stays usable
  std::unique_ptr<TGLTextureImage> image = imageClass->CreateImage(this);
  if (!image) return;
  ReplaceImage(std::move(image));
  ImageParameterChanged();
}

bool TGLTexture::StoreImageClassName() const {
  return dynamic_cast<const TGLPersistentImage*>(image_.get()) == nullptr;
}

void TGLTexture::DoOnTextureNeeded(TObject* sender, std::string& textureFileName) {
  if (OnTextureNeeded) OnTextureNeeded(sender, textureFileName);
}

// [SECTION] Setters

void TGLTexture::ImageParameterChanged() {
  imageChanged_ = true;
  NotifyChange(this);
}

void TGLTexture::NotifyParamsChange() {
  paramsChanged_ = true;
  NotifyChange(this);
}

void TGLTexture::TellOwnerTexMapChange(bool fallBackToNotifyChange) {
  if (notifyHold_ > 0) return;
  if (auto* owner = dynamic_cast<IGLTextureNotifyAble*>(Owner())) {
    owner->NotifyTexMapChange(this);
  } else if (fallBackToNotifyChange) {
    NotifyChange(this);
  }
}

void TGLTexture::SetDisabled(bool value) {
  if (value == disabled_) return;
  disabled_ = value;
  TellOwnerTexMapChange(true);
}

#define QIRA_PARAM_SETTER(Name, field, Type) \
  void TGLTexture::Set##Name(Type value) {   \
    if (value == field) return;              \
    field = value;                           \
    NotifyParamsChange();                    \
  }
QIRA_PARAM_SETTER(TextureMode, textureMode_, TGLTextureMode)
QIRA_PARAM_SETTER(TextureWrap, textureWrap_, TGLTextureWrap)
QIRA_PARAM_SETTER(TextureFormat, textureFormat_, TGLTextureFormat)
QIRA_PARAM_SETTER(MinFilter, minFilter_, TGLMinFilter)
QIRA_PARAM_SETTER(MagFilter, magFilter_, TGLMagFilter)
QIRA_PARAM_SETTER(Compression, compression_, TGLTextureCompression)
QIRA_PARAM_SETTER(FilteringQuality, filteringQuality_, TGLTextureFilteringQuality)
QIRA_PARAM_SETTER(TextureCompareMode, compareMode_, TGLTextureCompareMode)
QIRA_PARAM_SETTER(TextureCompareFunc, compareFunc_, TGLDepthCompareFunc)
QIRA_PARAM_SETTER(DepthTextureMode, depthTextureMode_, TGLDepthTextureMode)
#undef QIRA_PARAM_SETTER

#define QIRA_IMAGE_SETTER(Name, field, Type) \
  void TGLTexture::Set##Name(Type value) {   \
    if (value == field) return;              \
    field = value;                           \
    ImageParameterChanged();                 \
  }
QIRA_IMAGE_SETTER(ImageAlpha, imageAlpha_, TGLTextureImageAlpha)
QIRA_IMAGE_SETTER(ImageBrightness, imageBrightness_, float)
QIRA_IMAGE_SETTER(ImageGamma, imageGamma_, float)
QIRA_IMAGE_SETTER(Border, border_, int32_t)
#undef QIRA_IMAGE_SETTER

void TGLTexture::SetNormalMapScale(float value) {
  if (value == normalMapScale_) return;
  normalMapScale_ = value;
  if (textureFormat_ == TGLTextureFormat::tfNormalMap) imageChanged_ = true;
  NotifyChange(this);
}

void TGLTexture::SetEnvColor(const TGLColor& value) {
  envColor_->SetDirectColor(value.Color());
  NotifyParamsChange();
}

void TGLTexture::SetBorderColor(const TGLColor& value) {
  borderColor_->SetDirectColor(value.Color());
  NotifyParamsChange();
}

bool TGLTexture::AcceptSeparateWrap(TGLSeparateTextureWrap value) const {
  switch (value) {
    case TGLSeparateTextureWrap::twMirrorClamp:
    case TGLSeparateTextureWrap::twMirrorClampToEdge:
      return GL.ATI_texture_mirror_once;
    case TGLSeparateTextureWrap::twMirrorClampToBorder:
      return GL.ATI_texture_mirror_once && GL.EXT_texture_mirror_clamp;
    default:
      return true;
  }
}

void TGLTexture::SetTextureWrapS(TGLSeparateTextureWrap value) {
  if (value == wrapS_ || !AcceptSeparateWrap(value)) return;
  wrapS_ = value;
  NotifyParamsChange();
}

void TGLTexture::SetTextureWrapT(TGLSeparateTextureWrap value) {
  if (value == wrapT_ || !AcceptSeparateWrap(value)) return;
  wrapT_ = value;
  NotifyParamsChange();
}

void TGLTexture::SetTextureWrapR(TGLSeparateTextureWrap value) {
  if (value == wrapR_ || !AcceptSeparateWrap(value)) return;
  wrapR_ = value;
  NotifyParamsChange();
}

void TGLTexture::SetMappingMode(TGLTextureMappingMode value) {
  if (value == mappingMode_) return;
  mappingMode_ = value;
  if (value == TGLTextureMappingMode::tmmUser) {
    TellOwnerTexMapChange(false);
  } else {
    NotifyChange(this);
  }
}

TGLCoordinates4& TGLTexture::MappingSCoordinates() {
  if (!mappingS_) mappingS_ = std::make_unique<TGLCoordinates4>(this, XHmgVector, TGLCoordinatesStyle::cstVector);
  return *mappingS_;
}

TGLCoordinates4& TGLTexture::MappingTCoordinates() {
  if (!mappingT_) mappingT_ = std::make_unique<TGLCoordinates4>(this, XHmgVector, TGLCoordinatesStyle::cstVector);
  return *mappingT_;
}

void TGLTexture::SetMappingSCoordinates(const TGLCoordinates4& value) {
  MappingSCoordinates().Assign(&value);
  NotifyChange(this);
}

void TGLTexture::SetMappingTCoordinates(const TGLCoordinates4& value) {
  MappingTCoordinates().Assign(&value);
  NotifyChange(this);
}

// [SECTION] Upload

bool TGLTexture::IsHandleAllocated() const { return handle_->Handle() != 0; }

void TGLTexture::DestroyHandles() {
  imageChanged_ = true;
  paramsChanged_ = true;
  requiredMemorySize_ = -1;
  handle_->DestroyHandle();
}

GLuint TGLTexture::GetHandle() {
  if (handle_->Handle() != 0 && !imageChanged_ && !paramsChanged_) return handle_->Handle();
  return PrepareHandle();
}

GLuint TGLTexture::PrepareHandle() {
  if (handle_->Handle() == 0) {
    handle_->AllocateHandle();
    if (handle_->Handle() == 0) return 0;  // no current context
  }
  const GLuint name = handle_->Handle();
  const GLenum target = image_->NativeTextureTarget();
  if (target == GL_TEXTURE_CUBE_MAP && !GL.ARB_texture_cube_map) {
    imageChanged_ = false;
    paramsChanged_ = false;
    return name;
  }
  // The upload binds the texture behind the state cache's back: the binding
  // found here is put back, so what the cache believes stays true.
  GLint previous = 0;
  const GLenum query = BindingQueryOf(target);
  if (query != 0) glGetIntegerv(query, &previous);
  struct TRestoreBinding {
    GLenum target;
    GLenum query;
    GLint previous;
    ~TRestoreBinding() {
      if (query != 0) glBindTexture(target, static_cast<GLuint>(previous));
    }
  } restore{target, query, previous};

  glBindTexture(target, name);
  const bool uploadImage = imageChanged_;
  PrepareParams(target);
  imageChanged_ = false;
  paramsChanged_ = false;
  if (!uploadImage) return name;

  if (target == GL_TEXTURE_CUBE_MAP) {
    // All six faces must be square and of one size, or nothing is uploaded.
    int32_t size = -1;
    bool uniform = true;
    for (GLenum face = GL_TEXTURE_CUBE_MAP_POSITIVE_X; face <= GL_TEXTURE_CUBE_MAP_NEGATIVE_Z && uniform; ++face) {
      int32_t w = 0;
      int32_t h = 0;
      try {
        if (const TGLBitmap32* bitmap = image_->GetBitmap32(face)) {
          w = bitmap->Width();
          h = bitmap->Height();
        }
      } catch (const EBitmapTooLarge&) {
        // A face the memory cannot hold uploads nothing, as PrepareImage does.
      }
      if (size < 0) size = w;
      uniform = w > 0 && w == h && w == size;
      image_->ReleaseBitmap32();
    }
    if (!uniform) return name;
    for (GLenum face = GL_TEXTURE_CUBE_MAP_POSITIVE_X; face <= GL_TEXTURE_CUBE_MAP_NEGATIVE_Z; ++face) {
      PrepareImage(face);
    }
  } else {
    PrepareImage(target);
  }
  return name;
}

void TGLTexture::PrepareParams(GLenum target) {
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  glTexParameterfv(target, GL_TEXTURE_BORDER_COLOR, borderColor_->GetColorAddress());

  const GLint clamp = (GL.VERSION_1_2 || GL.EXT_texture_edge_clamp) ? GL_CLAMP_TO_EDGE : GL_CLAMP;
  GLint wrapS = GL_REPEAT;
  GLint wrapT = GL_REPEAT;
  switch (textureWrap_) {
    case TGLTextureWrap::twBoth:
      break;
    case TGLTextureWrap::twNone:
      wrapS = clamp;
      wrapT = clamp;
      break;
    case TGLTextureWrap::twVertical:
      wrapS = clamp;
      break;
    case TGLTextureWrap::twHorizontal:
      wrapT = clamp;
      break;
    case TGLTextureWrap::twSeparate:
      wrapS = static_cast<GLint>(SeparateTextureWrapToGL(wrapS_));
      wrapT = static_cast<GLint>(SeparateTextureWrapToGL(wrapT_));
      glTexParameteri(target, GL_TEXTURE_WRAP_R, static_cast<GLint>(SeparateTextureWrapToGL(wrapR_)));
      break;
  }
  glTexParameteri(target, GL_TEXTURE_WRAP_S, wrapS);
  glTexParameteri(target, GL_TEXTURE_WRAP_T, wrapT);
  glTexParameteri(target, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(MinFilterToGL(minFilter_)));
  glTexParameteri(target, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(MagFilterToGL(magFilter_)));
  if (GL.EXT_texture_filter_anisotropic) {
    glTexParameteri(target, GL_TEXTURE_MAX_ANISOTROPY_EXT,
                    filteringQuality_ == TGLTextureFilteringQuality::tfIsotropic ? 1 : 2);
  }
  const TGLTextureFormat format =
      textureFormat_ == TGLTextureFormat::tfDefault ? gDefaultTextureFormat : textureFormat_;
  if (IsDepthFormat(format)) {
    glTexParameteri(target, GL_TEXTURE_COMPARE_MODE,
                    compareMode_ == TGLTextureCompareMode::tcmNone ? GL_NONE : GL_COMPARE_R_TO_TEXTURE);
    glTexParameteri(target, GL_TEXTURE_COMPARE_FUNC, static_cast<GLint>(DepthCompareFuncToGL(compareFunc_)));
    glTexParameteri(target, GL_DEPTH_TEXTURE_MODE, static_cast<GLint>(DepthTextureModeToGL(depthTextureMode_)));
  }
}

GLenum TGLTexture::OpenGLTextureFormat() const {
  const TGLTextureFormat format =
      textureFormat_ == TGLTextureFormat::tfDefault ? gDefaultTextureFormat : textureFormat_;
  TGLTextureCompression compression =
      compression_ == TGLTextureCompression::tcDefault ? gDefaultTextureCompression : compression_;
  if (!GL.ARB_texture_compression) compression = TGLTextureCompression::tcNone;
  GLenum result = UncompressedTextureFormatToGL(format);
  if (compression != TGLTextureCompression::tcNone) {
    const GLenum compressed = CompressedTextureFormatToGL(format);
    if (compressed != 0) result = compressed;
  }
  if (format == TGLTextureFormat::tfRGBAFloat16 || format == TGLTextureFormat::tfRGBAFloat32) {
    // The NV float formats only where nothing else offers float textures:
    // drivers with the ARB or ATI formats refuse the NV ones.
    const bool standardFloat = GL.ATI_texture_float || GL.ARB_texture_float || GL.VERSION_3_0;
    if (!standardFloat) {
      result = format == TGLTextureFormat::tfRGBAFloat16 ? GL_FLOAT_RGBA16_NV : GL_FLOAT_RGBA32_NV;
    }
  }
  return result;
}

void TGLTexture::PrepareImage(GLenum target) {
  TGLBitmap32* bitmap = nullptr;
  try {
    bitmap = image_->GetBitmap32(target);
  } catch (const EBitmapTooLarge&) {
    // An image too large to hold in memory uploads nothing, like any other
    // upload failure.
    image_->ReleaseBitmap32();
    requiredMemorySize_ = -1;
    return;
  }
  if (bitmap == nullptr) return;
  // The image's bitmap lives only for this upload, whatever happens in it.
  struct TRelease {
    TGLTextureImage& image;
    ~TRelease() { image.ReleaseBitmap32(); }
  } release{*image_};

  const TGLTextureFormat format =
      textureFormat_ == TGLTextureFormat::tfDefault ? gDefaultTextureFormat : textureFormat_;
  if (format == TGLTextureFormat::tfNormalMap) {
    bitmap->GrayScaleToNormalMap(normalMapScale_,
                                 textureWrap_ == TGLTextureWrap::twBoth || textureWrap_ == TGLTextureWrap::twHorizontal,
                                 textureWrap_ == TGLTextureWrap::twBoth || textureWrap_ == TGLTextureWrap::twVertical);
  }
  const uint8_t* pixels = bitmap->Data();
  const int32_t pixelCount = bitmap->DataSize() / 4;
  switch (imageAlpha_) {
    case TGLTextureImageAlpha::tiaDefault:
      break;
    case TGLTextureImageAlpha::tiaAlphaFromIntensity:
    case TGLTextureImageAlpha::tiaLuminance:
      bitmap->SetAlphaFromIntensity();
      break;
    case TGLTextureImageAlpha::tiaSuperBlackTransparent:
      bitmap->SetAlphaForColorKeyPixel(0, 0, 0);
      break;
    case TGLTextureImageAlpha::tiaLuminanceSqrt:
      bitmap->SetAlphaFromSqrtIntensity();
      break;
    case TGLTextureImageAlpha::tiaOpaque:
      bitmap->FillAlpha(255);
      break;
    case TGLTextureImageAlpha::tiaTopLeftPointColorTransparent:
      if (pixels != nullptr && pixelCount > 0) bitmap->SetAlphaForColorKeyPixel(pixels[0], pixels[1], pixels[2]);
      break;
    case TGLTextureImageAlpha::tiaInverseLuminance:
      bitmap->SetAlphaFromIntensity();
      bitmap->InvertAlpha();
      break;
    case TGLTextureImageAlpha::tiaInverseLuminanceSqrt:
      bitmap->SetAlphaFromSqrtIntensity();
      bitmap->InvertAlpha();
      break;
    case TGLTextureImageAlpha::tiaBottomRightPointColorTransparent:
      if (pixels != nullptr && pixelCount > 0) {
        const uint8_t* last = pixels + static_cast<size_t>(pixelCount - 1) * 4;
        bitmap->SetAlphaForColorKeyPixel(last[0], last[1], last[2]);
      }
      break;
  }
  if (imageBrightness_ != 1.0f) bitmap->BrightnessCorrection(imageBrightness_);
  if (imageGamma_ != 1.0f) bitmap->GammaCorrection(imageGamma_);

  const TGLTextureCompression compression =
      compression_ == TGLTextureCompression::tcDefault ? gDefaultTextureCompression : compression_;
  if (GL.ARB_texture_compression) {
    switch (compression) {
      case TGLTextureCompression::tcStandard:
        glHint(GL_TEXTURE_COMPRESSION_HINT, GL_DONT_CARE);
        break;
      case TGLTextureCompression::tcHighQuality:
        glHint(GL_TEXTURE_COMPRESSION_HINT, GL_NICEST);
        break;
      case TGLTextureCompression::tcHighSpeed:
        glHint(GL_TEXTURE_COMPRESSION_HINT, GL_FASTEST);
        break;
      default:
        break;
    }
  }
  const GLenum internalFormat = OpenGLTextureFormat();
  if (!TextureFits(target, *bitmap, minFilter_, internalFormat)) {
    // Too large for the driver or the memory: the texture stays empty rather
    // than failing half-way through an allocation.
    requiredMemorySize_ = -1;
    return;
  }
  int32_t width = 0;
  int32_t height = 0;
  bitmap->RegisterAsOpenGLTexture(target, minFilter_, static_cast<int32_t>(internalFormat), width, height);
  internalFormat_ = static_cast<int32_t>(internalFormat);
  sourceFormat_ = IsDepthFormat(format) ? GL_DEPTH_COMPONENT : GL_RGBA;

  ClearGLError();
  GLint size = -1;
  glGetTexLevelParameteriv(target, 0, GL_TEXTURE_COMPRESSED_IMAGE_SIZE, &size);
  requiredMemorySize_ = glGetError() == GL_NO_ERROR ? size : -1;
  ClearGLError();
}

// [SECTION] Applying

void TGLTexture::ApplyEnvironment() {
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLint>(TextureModeToGL(textureMode_)));
  glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, envColor_->GetColorAddress());
}

void TGLTexture::ApplyMappingMode() {
  switch (mappingMode_) {
    case TGLTextureMappingMode::tmmUser:
      break;
    case TGLTextureMappingMode::tmmObjectLinear:
      glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
      glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
      glTexGenfv(GL_S, GL_OBJECT_PLANE, MappingSCoordinates().AsAddress());
      glTexGenfv(GL_T, GL_OBJECT_PLANE, MappingTCoordinates().AsAddress());
      glEnable(GL_TEXTURE_GEN_S);
      glEnable(GL_TEXTURE_GEN_T);
      break;
    case TGLTextureMappingMode::tmmEyeLinear:
      glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_EYE_LINEAR);
      glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_EYE_LINEAR);
      // Eye planes are taken through the current model-view matrix: set
      // them with the identity so they stay in eye space.
      glPushMatrix();
      glLoadIdentity();
      glTexGenfv(GL_S, GL_EYE_PLANE, MappingSCoordinates().AsAddress());
      glTexGenfv(GL_T, GL_EYE_PLANE, MappingTCoordinates().AsAddress());
      glPopMatrix();
      glEnable(GL_TEXTURE_GEN_S);
      glEnable(GL_TEXTURE_GEN_T);
      break;
    case TGLTextureMappingMode::tmmSphere:
      glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
      glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
      glEnable(GL_TEXTURE_GEN_S);
      glEnable(GL_TEXTURE_GEN_T);
      break;
    case TGLTextureMappingMode::tmmCubeMapReflection:
    case TGLTextureMappingMode::tmmCubeMapCamera:
    case TGLTextureMappingMode::tmmCubeMapNormal:
    case TGLTextureMappingMode::tmmCubeMapLight0: {
      if (!GL.ARB_texture_cube_map) break;
      const bool reflection = mappingMode_ == TGLTextureMappingMode::tmmCubeMapReflection ||
                              mappingMode_ == TGLTextureMappingMode::tmmCubeMapCamera;
      const GLint mode = reflection ? GL_REFLECTION_MAP : GL_NORMAL_MAP;
      glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, mode);
      glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, mode);
      glTexGeni(GL_R, GL_TEXTURE_GEN_MODE, mode);
      glEnable(GL_TEXTURE_GEN_S);
      glEnable(GL_TEXTURE_GEN_T);
      glEnable(GL_TEXTURE_GEN_R);
      break;
    }
  }
}

void TGLTexture::UnApplyMappingMode() {
  if (mappingMode_ == TGLTextureMappingMode::tmmUser) return;
  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
  glDisable(GL_TEXTURE_GEN_R);
}

void TGLTexture::SetCubeMapTextureMatrix(TRenderContextInfo& rci) {
  // Light and camera mappings use the same rotation as the reflection
  // mapping (no part of the program builds a cube map).
  rci.GLStates->SetTextureMatrix(CubeMapTextureMatrix(rci));
}

void TGLTexture::Apply(TRenderContextInfo& rci) {
  TGLStateCache& states = *rci.GLStates;
  if (disabled_) {
    states.DisableState(TGLState::stTexture2D);
    states.DisableState(TGLState::stTextureRect);
    MapToUnit0();
    return;
  }
  const GLenum target = image_->NativeTextureTarget();
  switch (target) {
    case GL_TEXTURE_2D:
      states.EnableState(TGLState::stTexture2D);
      states.SetBoundTexture(0, GL_TEXTURE_2D, GetHandle());
      break;
    case GL_TEXTURE_RECTANGLE:
      if (!RectangleTexturesAvailable()) break;
      states.EnableState(TGLState::stTextureRect);
      states.SetBoundTexture(0, GL_TEXTURE_RECTANGLE, GetHandle());
      break;
    case GL_TEXTURE_CUBE_MAP:
      if (!GL.ARB_texture_cube_map) break;
      states.EnableState(TGLState::stTextureCubeMap);
      states.SetBoundTexture(0, GL_TEXTURE_CUBE_MAP, GetHandle());
      SetCubeMapTextureMatrix(rci);
      break;
    default:
      break;
  }
  ApplyEnvironment();
  ApplyMappingMode();
  MapToUnit0();
}

void TGLTexture::UnApply(TRenderContextInfo& rci) {
  if (disabled_) return;
  TGLStateCache& states = *rci.GLStates;
  if (states.States().Contains(TGLState::stTextureCubeMap)) {
    states.DisableState(TGLState::stTextureCubeMap);
    states.ResetTextureMatrix();
  } else if (states.States().Contains(TGLState::stTexture2D)) {
    states.DisableState(TGLState::stTexture2D);
  } else {
    states.DisableState(TGLState::stTextureRect);
  }
  UnApplyMappingMode();
}

void TGLTexture::ApplyAsTexture2(TRenderContextInfo& rci, const TMatrix* textureMatrix) {
  ApplyAsTextureN(2, rci, textureMatrix);
}

void TGLTexture::UnApplyAsTexture2(TRenderContextInfo& rci, bool reloadIdentityTextureMatrix) {
  UnApplyAsTextureN(2, rci, reloadIdentityTextureMatrix);
}

void TGLTexture::ApplyAsTextureN(int n, TRenderContextInfo& rci, const TMatrix* textureMatrix) {
  if (disabled_ || n < 1 || !MultitextureAvailable() || n > MaxTextureUnits()) return;
  const GLenum target = image_->NativeTextureTarget();
  if (target == GL_TEXTURE_CUBE_MAP && !GL.ARB_texture_cube_map) return;
  SelectTextureUnit(GL_TEXTURE0 + static_cast<GLenum>(n - 1));
  glEnable(target);
  rci.GLStates->SetBoundTexture(n - 1, target, GetHandle());
  if (target == GL_TEXTURE_CUBE_MAP) {
    LoadUnitTextureMatrix(CubeMapTextureMatrix(rci));
  } else if (textureMatrix != nullptr) {
    LoadUnitTextureMatrix(*textureMatrix);
  }
  ApplyEnvironment();
  ApplyMappingMode();
  SelectTextureUnit(GL_TEXTURE0);
}

void TGLTexture::UnApplyAsTextureN(int n, TRenderContextInfo& rci, bool reloadIdentityTextureMatrix) {
  (void)rci;
  if (n < 1 || !MultitextureAvailable() || n > MaxTextureUnits()) return;
  const GLenum target = image_->NativeTextureTarget();
  SelectTextureUnit(GL_TEXTURE0 + static_cast<GLenum>(n - 1));
  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
  glDisable(GL_TEXTURE_GEN_R);
  if (target == GL_TEXTURE_CUBE_MAP || reloadIdentityTextureMatrix) LoadUnitIdentityTextureMatrix();
  glDisable(target);
  SelectTextureUnit(GL_TEXTURE0);
}

// [SECTION] Assignment, notification

void TGLTexture::Assign(const TPersistent* source) {
  if (source == nullptr) {
    {
      TNotifyHold hold(notifyHold_);
      SetDisabled(true);
      if (auto* picture = dynamic_cast<TGLPictureImage*>(image_.get())) {
        picture->Assign(static_cast<const TGraphic*>(nullptr));
      } else {
        ReplaceImage(std::make_unique<TGLPersistentImage>(this));
      }
    }
    ImageParameterChanged();
    return;
  }
  const auto* other = dynamic_cast<const TGLTexture*>(source);
  if (other == nullptr) {
    TGLUpdateAbleObject::Assign(source);
    return;
  }
  if (other == this) return;
  {
    TNotifyHold hold(notifyHold_);
    textureMode_ = other->textureMode_;
    textureWrap_ = other->textureWrap_;
    textureFormat_ = other->textureFormat_;
    minFilter_ = other->minFilter_;
    magFilter_ = other->magFilter_;
    disabled_ = other->disabled_;
    SetImage(other->image_.get());
    imageAlpha_ = other->imageAlpha_;
    imageBrightness_ = other->imageBrightness_;
    imageGamma_ = other->imageGamma_;
    mappingMode_ = other->mappingMode_;
    if (other->mappingS_) {
      MappingSCoordinates().Assign(other->mappingS_.get());
    } else {
      mappingS_.reset();
    }
    if (other->mappingT_) {
      MappingTCoordinates().Assign(other->mappingT_.get());
    } else {
      mappingT_.reset();
    }
    compression_ = other->compression_;
    filteringQuality_ = other->filteringQuality_;
    envColor_->SetDirectColor(other->envColor_->Color());
    borderColor_->SetDirectColor(other->borderColor_->Color());
    normalMapScale_ = other->normalMapScale_;
    wrapS_ = other->wrapS_;
    wrapT_ = other->wrapT_;
    wrapR_ = other->wrapR_;
    compareMode_ = other->compareMode_;
    compareFunc_ = other->compareFunc_;
    depthTextureMode_ = other->depthTextureMode_;
    border_ = other->border_;
  }
  imageChanged_ = true;
  paramsChanged_ = true;
  NotifyChange(this);
}

void TGLTexture::Assign(const TGraphic* graphic) {
  {
    TNotifyHold hold(notifyHold_);
    auto* picture = dynamic_cast<TGLPictureImage*>(image_.get());
    if (picture == nullptr) {
      ReplaceImage(std::make_unique<TGLPersistentImage>(this));
      picture = static_cast<TGLPictureImage*>(image_.get());
    }
    picture->Assign(graphic);
  }
  ImageParameterChanged();
}

void TGLTexture::Assign(const TPicture* picture) { Assign(picture != nullptr ? picture->Graphic() : nullptr); }

void TGLTexture::NotifyChange(TObject* sender) {
  if (notifyHold_ > 0) return;
  // Colours changed through their own setters are texture parameters too.
  if (sender == envColor_.get() || sender == borderColor_.get()) paramsChanged_ = true;
  if (auto* item = dynamic_cast<TGLTextureExItem*>(Owner())) item->TextureChanged();
  TGLUpdateAbleObject::NotifyChange(sender);
}

// [SECTION] Extended textures

TGLTextureTransform::TGLTextureTransform(TPersistent* holder)
    : textureOffset_(std::make_unique<TGLCoordinates3>(holder, NullHmgVector, TGLCoordinatesStyle::cstPoint)),
      textureScale_(std::make_unique<TGLCoordinates3>(holder, XYZHmgVector, TGLCoordinatesStyle::cstPoint)) {}

TGLTextureTransform::~TGLTextureTransform() = default;

void TGLTextureTransform::SetTextureOffset(const TGLCoordinates3& value) {
  textureOffset_->Assign(&value);
  CoordinateChanged(textureOffset_.get());
}

void TGLTextureTransform::SetTextureScale(const TGLCoordinates3& value) {
  textureScale_->Assign(&value);
  CoordinateChanged(textureScale_.get());
}

void TGLTextureTransform::CalculateTextureMatrix() {
  const TVector& offset = textureOffset_->AsVector();
  const TVector& scale = textureScale_->AsVector();
  if (offset.x == 0.0f && offset.y == 0.0f && offset.z == 0.0f && scale.x == 1.0f && scale.y == 1.0f &&
      scale.z == 1.0f) {
    textureMatrixIsIdentity_ = true;
    textureMatrix_ = IdentityHmgMatrix;
  } else {
    textureMatrixIsIdentity_ = false;
    textureMatrix_ = ScaleTranslationMatrix(scale, offset);
  }
}

void TGLTextureTransform::AssignTransform(const TGLTextureTransform& other) {
  textureOffset_->Assign(other.textureOffset_.get());
  textureScale_->Assign(other.textureScale_.get());
  CalculateTextureMatrix();
}

TGLTextureExItem::TGLTextureExItem() : TGLTextureTransform(this), texture_(std::make_unique<TGLTexture>(this)) {}

TGLTextureExItem::~TGLTextureExItem() = default;

void TGLTextureExItem::SetTexture(const TGLTexture& value) {
  texture_->Assign(&value);
  Changed(false);
}

void TGLTextureExItem::SetTextureIndex(int32_t value) {
  const int32_t index = std::max(value, 0);
  if (index == textureIndex_) return;
  textureIndex_ = index;
  Changed(false);
}

void TGLTextureExItem::CoordinateChanged(TGLCustomCoordinates* sender) {
  (void)sender;
  CalculateTextureMatrix();
  Changed(false);
}

std::string TGLTextureExItem::GetDisplayName() const { return "Tex [" + std::to_string(textureIndex_) + "]"; }

void TGLTextureExItem::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TGLTextureExItem*>(source);
  if (other == nullptr) {
    TCollectionItem::Assign(source);
    return;
  }
  texture_->Assign(other->texture_.get());
  textureIndex_ = other->textureIndex_;
  AssignTransform(*other);
  Changed(false);
}

void TGLTextureExItem::Apply(TRenderContextInfo& rci) {
  applied_ = false;
  if (!texture_->Enabled()) return;
  const GLenum unit = GL_TEXTURE0 + static_cast<GLenum>(textureIndex_);
  SelectTextureUnit(unit);
  glMatrixMode(GL_TEXTURE);
  glPushMatrix();
  if (TextureMatrixIsIdentity()) {
    glLoadIdentity();
  } else {
    glLoadMatrixf(TextureMatrix().data());
  }
  glMatrixMode(GL_MODELVIEW);
  SelectTextureUnit(GL_TEXTURE0);
  if (textureIndex_ == 0) {
    texture_->Apply(rci);
  } else if (textureIndex_ == 1) {
    texture_->ApplyAsTexture2(rci, nullptr);
  } else {
    texture_->ApplyAsTextureN(textureIndex_ + 1, rci, nullptr);
  }
  applied_ = true;
}

void TGLTextureExItem::UnApply(TRenderContextInfo& rci) {
  if (!applied_) return;
  if (textureIndex_ == 0) {
    texture_->UnApply(rci);
  } else if (textureIndex_ == 1) {
    texture_->UnApplyAsTexture2(rci, false);
  } else {
    texture_->UnApplyAsTextureN(textureIndex_ + 1, rci, false);
  }
  SelectTextureUnit(GL_TEXTURE0 + static_cast<GLenum>(textureIndex_));
  glMatrixMode(GL_TEXTURE);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  SelectTextureUnit(GL_TEXTURE0);
  applied_ = false;
}

TGLTextureEx::TGLTextureEx(TPersistent* owner) : TOwnedCollection(owner, TGLTextureExItem::StaticClass()) {}

void TGLTextureEx::Apply(TRenderContextInfo& rci) {
  if (!MultitextureAvailable()) return;
  const int units = MaxTextureUnits();
  uint32_t mask = 0;
  for (int i = 0; i < Count(); ++i) {
    TGLTextureExItem& item = Items(i);
    if (item.TextureIndex() >= units) continue;
    item.Apply(rci);
    // Units above 0 that take their coordinates from the geometry must
    // receive them too; the mapping layer knows units 0..7.
    if (item.Applied() && item.TextureIndex() > 0 && item.TextureIndex() < 8 &&
        item.Texture().MappingMode() == TGLTextureMappingMode::tmmUser) {
      mask |= uint32_t{1} << item.TextureIndex();
    }
  }
  if (mask != 0) AddUnitMask(mask);
}

void TGLTextureEx::UnApply(TRenderContextInfo& rci) {
  if (!MultitextureAvailable()) return;
  for (int i = 0; i < Count(); ++i) Items(i).UnApply(rci);
}

bool TGLTextureEx::IsTextureEnabled(int unit) const {
  for (int i = 0; i < Count(); ++i) {
    const TGLTextureExItem& item = Items(i);
    if (item.TextureIndex() == unit && item.Texture().Enabled()) return true;
  }
  return false;
}

bool IsTextureExEnabled(const TGLTextureEx* textureEx, int unit) {
  return textureEx != nullptr && textureEx->IsTextureEnabled(unit);
}

void TGLTextureEx::Loaded() {
  for (int i = 0; i < Count(); ++i) Items(i).CalculateTextureMatrix();
}

void TGLTextureEx::NotifyChange() {
  if (auto* owner = dynamic_cast<IGLNotifyAble*>(GetOwner())) owner->NotifyChange(this);
}

void TGLTextureEx::Update(TCollectionItem* item) {
  TOwnedCollection::Update(item);
  NotifyChange();
}

// [SECTION] Component streams

void TGLTexture::DefinePublished(TFiler& filer) {
  DefineString(filer, "ImageClassName", ImageClassName(), StoreImageClassName(), [this](const std::string& v) {
    CheckPropertyValue(FindGLTextureImageClass(v) != nullptr);
    SetImageClassName(v);
  });
  DefineNested(filer, "Image", *image_);
  DefineOrdinal(filer, "ImageAlpha", imageAlpha_, TGLTextureImageAlpha::tiaBottomRightPointColorTransparent,
                TGLTextureImageAlpha::tiaDefault, [this](TGLTextureImageAlpha v) { SetImageAlpha(v); });
  DefineFloat(filer, "ImageBrightness", imageBrightness_, StoreImageBrightness(),
              [this](float v) { SetImageBrightness(v); });
  DefineFloat(filer, "ImageGamma", imageGamma_, StoreImageGamma(), [this](float v) { SetImageGamma(v); });
  DefineOrdinal(filer, "MagFilter", magFilter_, TGLMagFilter::maLinear, TGLMagFilter::maLinear,
                [this](TGLMagFilter v) { SetMagFilter(v); });
  DefineOrdinal(filer, "MinFilter", minFilter_, miLinearMipmapLinear, miLinearMipmapLinear,
                [this](TGLMinFilter v) { SetMinFilter(v); });
  DefineOrdinal(filer, "TextureMode", textureMode_, TGLTextureMode::tmAdd, TGLTextureMode::tmDecal,
                [this](TGLTextureMode v) { SetTextureMode(v); });
  DefineOrdinal(filer, "TextureWrap", textureWrap_, TGLTextureWrap::twSeparate, TGLTextureWrap::twBoth,
                [this](TGLTextureWrap v) { SetTextureWrap(v); });
  DefineOrdinal(filer, "TextureFormat", textureFormat_, TGLTextureFormat::tfDEPTH_COMPONENT32,
                TGLTextureFormat::tfDefault, [this](TGLTextureFormat v) { SetTextureFormat(v); });
  DefineOrdinal(filer, "Compression", compression_, TGLTextureCompression::tcHighSpeed,
                TGLTextureCompression::tcDefault, [this](TGLTextureCompression v) { SetCompression(v); });
  DefineOrdinal(filer, "FilteringQuality", filteringQuality_, TGLTextureFilteringQuality::tfAnisotropic,
                TGLTextureFilteringQuality::tfIsotropic,
                [this](TGLTextureFilteringQuality v) { SetFilteringQuality(v); });
  DefineOrdinal(filer, "MappingMode", mappingMode_, TGLTextureMappingMode::tmmCubeMapCamera,
                TGLTextureMappingMode::tmmUser, [this](TGLTextureMappingMode v) { SetMappingMode(v); });
  DefineNestedOnDemand(filer, "MappingSCoordinates", HasMappingSCoordinates(),
                       [this]() -> TPersistent& { return MappingSCoordinates(); });
  DefineNestedOnDemand(filer, "MappingTCoordinates", HasMappingTCoordinates(),
                       [this]() -> TPersistent& { return MappingTCoordinates(); });
  DefineBoolean(filer, "Disabled", disabled_, !disabled_, [this](bool v) { SetDisabled(v); });
  DefineNested(filer, "EnvColor", *envColor_);
  DefineNested(filer, "BorderColor", *borderColor_);
  DefineFloat(filer, "NormalMapScale", normalMapScale_, StoreNormalMapScale(),
              [this](float v) { SetNormalMapScale(v); });
  constexpr auto kLastWrap = TGLSeparateTextureWrap::twMirrorClampToBorder;
  constexpr auto kRepeat = TGLSeparateTextureWrap::twRepeat;
  DefineOrdinal(filer, "TextureWrapS", wrapS_, kLastWrap, kRepeat, [this](TGLSeparateTextureWrap v) { SetTextureWrapS(v); });
  DefineOrdinal(filer, "TextureWrapT", wrapT_, kLastWrap, kRepeat, [this](TGLSeparateTextureWrap v) { SetTextureWrapT(v); });
  DefineOrdinal(filer, "TextureWrapR", wrapR_, kLastWrap, kRepeat, [this](TGLSeparateTextureWrap v) { SetTextureWrapR(v); });
  DefineOrdinal(filer, "TextureCompareMode", compareMode_, TGLTextureCompareMode::tcmCompareRtoTexture,
                TGLTextureCompareMode::tcmNone, [this](TGLTextureCompareMode v) { SetTextureCompareMode(v); });
  DefineOrdinal(filer, "TextureCompareFunc", compareFunc_, TGLDepthCompareFunc::dcfNever,
                TGLDepthCompareFunc::dcfLequal, [this](TGLDepthCompareFunc v) { SetTextureCompareFunc(v); });
  DefineOrdinal(filer, "DepthTextureMode", depthTextureMode_, TGLDepthTextureMode::dtmAlpha,
                TGLDepthTextureMode::dtmLuminance, [this](TGLDepthTextureMode v) { SetDepthTextureMode(v); });
  DefineInteger(filer, "Border", border_, border_ != 0, [this](int32_t v) { SetBorder(v); });
}

void TGLTextureExItem::DefinePublished(TFiler& filer) {
  DefineNested(filer, "Texture", *texture_);
  DefineInteger(filer, "TextureIndex", textureIndex_, textureIndex_ != 0, [this](int32_t v) { SetTextureIndex(v); });
  DefineNested(filer, "TextureOffset", TextureOffset());
  DefineNested(filer, "TextureScale", TextureScale());
}

}  // namespace qira

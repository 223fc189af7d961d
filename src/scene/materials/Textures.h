#pragma once
// The texture of a material: an image source, the OpenGL texture object made
// from it and the parameters it is uploaded and applied with; and the
// extended texture, a list of further textures bound to other units.
//
// Uploads are lazy: a setter only marks the image or the parameters stale and
// notifies; the next GetHandle (with a context current) rebuilds what is
// stale. Enables, unit-0 bindings and the texture matrix go through the
// render context's state cache; an upload restores the binding it found, so
// the cache never goes out of step with OpenGL.
//
// Sections:
//   Notification interface
//   Enumerations
//   TGLTexture
//   Texture transform, TGLTextureExItem, TGLTextureEx
//   Process-wide defaults
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "scene/materials/Bitmap32.h"
#include "scene/components/Colors.h"
#include "scene/components/Coordinates.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/materials/TextureImages.h"
#include "scene/components/UpdateAbleObjects.h"
#include "scene/math/VectorTypes.h"

namespace qira {

class TGLTextureHandle;
class TGLTextureEx;
struct TRenderContextInfo;

// [SECTION] Notification interface

// Offered by owners that want a texture-map change (a texture switched on or
// off, a coordinate mapping back to user coordinates, a library link changed)
// told apart from an ordinary change. Owners that offer it also take ordinary
// change notifications through IGLNotifyAble.
class IGLTextureNotifyAble {
 public:
  virtual void NotifyTexMapChange(TObject* sender) = 0;

 protected:
  ~IGLTextureNotifyAble() = default;
};

// [SECTION] Enumerations
// TGLMinFilter (miNearest .. miLinearMipmapLinear) comes with the bitmap.

enum class TGLTextureMode : uint8_t { tmDecal, tmModulate, tmBlend, tmReplace, tmAdd };
enum class TGLTextureWrap : uint8_t { twBoth, twNone, twVertical, twHorizontal, twSeparate };
enum class TGLSeparateTextureWrap : uint8_t {
  twRepeat,
  twClamp,
  twClampToEdge,
  twClampToBorder,
  twMirrorRepeat,
  twMirrorClamp,
  twMirrorClampToEdge,
  twMirrorClampToBorder
};
enum class TGLMagFilter : uint8_t { maNearest, maLinear };
enum class TGLTextureFormat : uint8_t {
  tfDefault,
  tfRGB,
  tfRGBA,
  tfRGB16,
  tfRGBA16,
  tfAlpha,
  tfLuminance,
  tfLuminanceAlpha,
  tfIntensity,
  tfNormalMap,
  tfRGBAFloat16,
  tfRGBAFloat32,
  tfDEPTH_COMPONENT16,
  tfDEPTH_COMPONENT24,
  tfDEPTH_COMPONENT32
};
enum class TGLTextureCompression : uint8_t { tcDefault, tcNone, tcStandard, tcHighQuality, tcHighSpeed };
enum class TGLTextureFilteringQuality : uint8_t { tfIsotropic, tfAnisotropic };
enum class TGLTextureMappingMode : uint8_t {
  tmmUser,
  tmmObjectLinear,
  tmmEyeLinear,
  tmmSphere,
  tmmCubeMapReflection,
  tmmCubeMapNormal,
  tmmCubeMapLight0,
  tmmCubeMapCamera
};
enum class TGLTextureImageAlpha : uint8_t {
  tiaDefault,
  tiaAlphaFromIntensity,
  tiaSuperBlackTransparent,
  tiaLuminance,
  tiaLuminanceSqrt,
  tiaOpaque,
  tiaTopLeftPointColorTransparent,
  tiaInverseLuminance,
  tiaInverseLuminanceSqrt,
  tiaBottomRightPointColorTransparent
};
enum class TGLTextureCompareMode : uint8_t { tcmNone, tcmCompareRtoTexture };
enum class TGLDepthCompareFunc : uint8_t {
  dcfLequal,
  dcfGequal,
  dcfLess,
  dcfGreater,
  dcfEqual,
  dcfNotequal,
  dcfAlways,
  dcfNever
};
enum class TGLDepthTextureMode : uint8_t { dtmLuminance, dtmIntensity, dtmAlpha };

// The OpenGL values of the enumerations (wrap S and T of a TGLTextureWrap
// depend on the driver and are resolved by the texture).
GLenum TextureModeToGL(TGLTextureMode mode);
GLenum SeparateTextureWrapToGL(TGLSeparateTextureWrap wrap);
GLenum MinFilterToGL(TGLMinFilter filter);
GLenum MagFilterToGL(TGLMagFilter filter);
GLenum DepthCompareFuncToGL(TGLDepthCompareFunc func);
GLenum DepthTextureModeToGL(TGLDepthTextureMode mode);
// The uncompressed internal format of a format other than tfDefault.
GLenum UncompressedTextureFormatToGL(TGLTextureFormat format);
// The compressed internal format, or 0 for formats that have none (float, depth).
GLenum CompressedTextureFormatToGL(TGLTextureFormat format);

// [SECTION] TGLTexture

class TGLTexture : public TGLUpdateAbleObject, public IGLTextureImageOwner {
  QIRA_CLASS(TGLTexture, TGLUpdateAbleObject)

  // Owned by a material, an extended-texture item or any persistent; a new
  // texture is disabled and holds an empty persistent image.
  explicit TGLTexture(TPersistent* owner = nullptr);
  // Frees the OpenGL texture (quietly, in its own context) and the image.
  ~TGLTexture() override;

  // ---- upload and binding (a context must be current)
  // The OpenGL name, rebuilt when stale: parameters and image uploaded. The
  // binding of the target found on entry is restored before returning.
  virtual GLuint GetHandle();
  GLuint Handle() { return GetHandle(); }
  // Sends the texture parameters to the texture bound to `target`.
  virtual void PrepareParams(GLenum target);
  // Uploads the image into the texture bound to `target`. Nothing is uploaded
  // (the texture stays empty) when the image's bitmap cannot be had, or when the
  // driver or the memory the program may take cannot hold the texture's levels.
  virtual void PrepareImage(GLenum target);
  // Frees the OpenGL texture; both changes are marked, the required memory
  // goes back to -1.
  void DestroyHandles();
  bool IsHandleAllocated() const;
  TGLTextureHandle& TextureHandle() const { return *handle_; }
  // The compressed size of level 0 after the last upload; -1 before, or when
  // the driver could not tell.
  int32_t RequiredMemorySize() const { return requiredMemorySize_; }
  // The internal and source formats of the last upload.
  int32_t InternalFormat() const { return internalFormat_; }
  int32_t SourceFormat() const { return sourceFormat_; }
  // The internal format an upload would use now.
  GLenum OpenGLTextureFormat() const;
  bool ImageStale() const { return imageChanged_; }
  bool ParamsStale() const { return paramsChanged_; }

  // ---- applying (through the render context's state cache)
  void Apply(TRenderContextInfo& rci);
  void UnApply(TRenderContextInfo& rci);
  // On the second unit; `textureMatrix` (may be null) is loaded into that
  // unit's texture matrix.
  void ApplyAsTexture2(TRenderContextInfo& rci, const TMatrix* textureMatrix);
  void UnApplyAsTexture2(TRenderContextInfo& rci, bool reloadIdentityTextureMatrix);
  // On unit n, counted from 1 (1 is unit 0). Nothing without multitexturing
  // or for a unit the driver does not have.
  void ApplyAsTextureN(int n, TRenderContextInfo& rci, const TMatrix* textureMatrix);
  void UnApplyAsTextureN(int n, TRenderContextInfo& rci, bool reloadIdentityTextureMatrix);

  // ---- image
  TGLTextureImage& Image() const { return *image_; }
  // Null: a new empty persistent image. Another class: a new image of that
  // class, assigned from the value. The same class: assigned.
  void SetImage(const TGLTextureImage* value);
  std::string ImageClassName() const;
  // A new image of the registered image class of that name when it differs
  // from the current class; an unknown name keeps the current image.
  void SetImageClassName(std::string_view name);
  // The image's pixels changed: marks the image stale, without notifying
  // (the image's own notification reaches this texture right after).
  void NotifyImageChange() override { imageChanged_ = true; }
  // Marks the parameters stale and notifies.
  void NotifyParamsChange();

  // ---- switching
  bool Disabled() const { return disabled_; }
  // On change: the owner's NotifyTexMapChange when it offers it, else NotifyChange.
  void SetDisabled(bool value);
  bool Enabled() const { return !disabled_; }
  void SetEnabled(bool value) { SetDisabled(!value); }

  // ---- parameters that re-send the parameters
  TGLTextureMode TextureMode() const { return textureMode_; }
  void SetTextureMode(TGLTextureMode value);
  TGLTextureWrap TextureWrap() const { return textureWrap_; }
  void SetTextureWrap(TGLTextureWrap value);
  TGLTextureFormat TextureFormat() const { return textureFormat_; }
  void SetTextureFormat(TGLTextureFormat value);
  TGLMinFilter MinFilter() const { return minFilter_; }
  void SetMinFilter(TGLMinFilter value);
  TGLMagFilter MagFilter() const { return magFilter_; }
  void SetMagFilter(TGLMagFilter value);
  TGLTextureCompression Compression() const { return compression_; }
  void SetCompression(TGLTextureCompression value);
  TGLTextureFilteringQuality FilteringQuality() const { return filteringQuality_; }
  void SetFilteringQuality(TGLTextureFilteringQuality value);
  TGLColor& EnvColor() const { return *envColor_; }
  void SetEnvColor(const TGLColor& value);
  TGLColor& BorderColor() const { return *borderColor_; }
  void SetBorderColor(const TGLColor& value);
  // The mirror-clamp values are refused (kept as they were) unless the
  // driver offers GL_ATI_texture_mirror_once, and twMirrorClampToBorder
  // unless it offers GL_EXT_texture_mirror_clamp too.
  TGLSeparateTextureWrap TextureWrapS() const { return wrapS_; }
  void SetTextureWrapS(TGLSeparateTextureWrap value);
  TGLSeparateTextureWrap TextureWrapT() const { return wrapT_; }
  void SetTextureWrapT(TGLSeparateTextureWrap value);
  TGLSeparateTextureWrap TextureWrapR() const { return wrapR_; }
  void SetTextureWrapR(TGLSeparateTextureWrap value);
  TGLTextureCompareMode TextureCompareMode() const { return compareMode_; }
  void SetTextureCompareMode(TGLTextureCompareMode value);
  TGLDepthCompareFunc TextureCompareFunc() const { return compareFunc_; }
  void SetTextureCompareFunc(TGLDepthCompareFunc value);
  TGLDepthTextureMode DepthTextureMode() const { return depthTextureMode_; }
  void SetDepthTextureMode(TGLDepthTextureMode value);

  // ---- parameters that re-upload the image
  TGLTextureImageAlpha ImageAlpha() const { return imageAlpha_; }
  void SetImageAlpha(TGLTextureImageAlpha value);
  float ImageBrightness() const { return imageBrightness_; }
  void SetImageBrightness(float value);
  float ImageGamma() const { return imageGamma_; }
  void SetImageGamma(float value);
  int32_t Border() const { return border_; }
  void SetBorder(int32_t value);
  // Re-uploads only while the format is tfNormalMap.
  float NormalMapScale() const { return normalMapScale_; }
  void SetNormalMapScale(float value);

  // ---- coordinate generation
  TGLTextureMappingMode MappingMode() const { return mappingMode_; }
  // On change back to tmmUser: the owner's NotifyTexMapChange when it offers
  // it (nothing otherwise); any other change: NotifyChange.
  void SetMappingMode(TGLTextureMappingMode value);
  // Created on first read as (1, 0, 0, 0).
  TGLCoordinates4& MappingSCoordinates();
  TGLCoordinates4& MappingTCoordinates();
  void SetMappingSCoordinates(const TGLCoordinates4& value);
  void SetMappingTCoordinates(const TGLCoordinates4& value);
  bool HasMappingSCoordinates() const { return mappingS_ != nullptr; }
  bool HasMappingTCoordinates() const { return mappingT_ != nullptr; }

  // ---- stored form: which values differ from their defaults
  bool StoreImageBrightness() const { return imageBrightness_ != 1.0f; }
  bool StoreImageGamma() const { return imageGamma_ != 1.0f; }
  bool StoreNormalMapScale() const { return normalMapScale_ != 0.125f; }
  bool StoreImageClassName() const;
  // ImageClassName (by StoreImageClassName, before the image's own
  // properties under "Image."), the brightness, gamma and normal-map scale by
  // their rules, the colours always, the mapping coordinates once made, the
  // others when not their defaults. An image class name that no registered
  // class has is refused.
  void DefinePublished(TFiler& filer) override;

  // ---- events
  // Asked by the image for the file it is about to read (see TTextureNeededEvent).
  TTextureNeededEvent OnTextureNeeded;
  // The image's callback lands here: OnTextureNeeded when set.
  void DoOnTextureNeeded(TObject* sender, std::string& textureFileName);

  // From another texture: every parameter, the mapping and its coordinates,
  // Disabled and the image; both changes marked, then notifies. From a
  // graphic or a picture (see the overloads): the image takes it. Null:
  // disables the texture and empties its image.
  void Assign(const TPersistent* source) override;
  void Assign(const TGraphic* graphic);
  void Assign(const TPicture* picture);

  // When the owner is an extended-texture item, its collection is told
  // first; then the inherited notification.
  void NotifyChange(TObject* sender) override;

 protected:
  // Allocates the name when missing, binds and prepares what is stale.
  GLuint PrepareHandle();

 private:
  void ReplaceImage(std::unique_ptr<TGLTextureImage> image);
  bool AcceptSeparateWrap(TGLSeparateTextureWrap value) const;
  void ApplyMappingMode();
  void UnApplyMappingMode();
  void SetCubeMapTextureMatrix(TRenderContextInfo& rci);
  void ApplyEnvironment();
  void TellOwnerTexMapChange(bool fallBackToNotifyChange);
  // Marks the image stale and notifies.
  void ImageParameterChanged();

  std::unique_ptr<TGLTextureHandle> handle_;
  TGLTextureMode textureMode_ = TGLTextureMode::tmDecal;
  TGLTextureWrap textureWrap_ = TGLTextureWrap::twBoth;
  TGLTextureFormat textureFormat_ = TGLTextureFormat::tfDefault;
  TGLMinFilter minFilter_ = miLinearMipmapLinear;
  TGLMagFilter magFilter_ = TGLMagFilter::maLinear;
  bool imageChanged_ = true;
  bool paramsChanged_ = true;
  bool disabled_ = true;
  std::unique_ptr<TGLTextureImage> image_;
  TGLTextureImageAlpha imageAlpha_ = TGLTextureImageAlpha::tiaDefault;
  float imageBrightness_ = 1.0f;
  float imageGamma_ = 1.0f;
  TGLTextureMappingMode mappingMode_ = TGLTextureMappingMode::tmmUser;
  std::unique_ptr<TGLCoordinates4> mappingS_;
  std::unique_ptr<TGLCoordinates4> mappingT_;
  TGLTextureCompression compression_ = TGLTextureCompression::tcDefault;
  int32_t requiredMemorySize_ = -1;
  TGLTextureFilteringQuality filteringQuality_ = TGLTextureFilteringQuality::tfIsotropic;
  int32_t internalFormat_ = 0;
  int32_t sourceFormat_ = 0;
  std::unique_ptr<TGLColor> envColor_;
  std::unique_ptr<TGLColor> borderColor_;
  float normalMapScale_ = 0.125f;
  TGLSeparateTextureWrap wrapS_ = TGLSeparateTextureWrap::twRepeat;
  TGLSeparateTextureWrap wrapT_ = TGLSeparateTextureWrap::twRepeat;
  TGLSeparateTextureWrap wrapR_ = TGLSeparateTextureWrap::twRepeat;
  TGLTextureCompareMode compareMode_ = TGLTextureCompareMode::tcmNone;
  TGLDepthCompareFunc compareFunc_ = TGLDepthCompareFunc::dcfLequal;
  TGLDepthTextureMode depthTextureMode_ = TGLDepthTextureMode::dtmLuminance;
  int32_t border_ = 0;
  int notifyHold_ = 0;  // above 0 while Assign runs: notifications held back
};

// [SECTION] Texture transform, TGLTextureExItem, TGLTextureEx

// The offset and scale of texture coordinates and the texture matrix they
// make, as an extended-texture item and a library material carry them. The
// object deriving from this one owns the two coordinates and hears of their
// changes through CoordinateChanged.
class TGLTextureTransform : public IGLCoordinatesUpdateAble {
 public:
  TGLCoordinates3& TextureOffset() const { return *textureOffset_; }
  // Assigns the value, then CoordinateChanged.
  void SetTextureOffset(const TGLCoordinates3& value);
  TGLCoordinates3& TextureScale() const { return *textureScale_; }
  void SetTextureScale(const TGLCoordinates3& value);
  bool TextureMatrixIsIdentity() const { return textureMatrixIsIdentity_; }
  const TMatrix& TextureMatrix() const { return textureMatrix_; }
  // Identity for offset (0, 0, 0) and scale (1, 1, 1), else scale and offset.
  void CalculateTextureMatrix();

 protected:
  // `holder` is the deriving object, owner of the coordinates: offset
  // (0, 0, 0), scale (1, 1, 1).
  explicit TGLTextureTransform(TPersistent* holder);
  ~TGLTextureTransform();
  // Offset and scale assigned from `other` (each notifying as its Assign
  // does), then the matrix recomputed.
  void AssignTransform(const TGLTextureTransform& other);

 private:
  std::unique_ptr<TGLCoordinates3> textureOffset_;
  std::unique_ptr<TGLCoordinates3> textureScale_;
  bool textureMatrixIsIdentity_ = true;
  TMatrix textureMatrix_ = IdentityHmgMatrix;
};

// One more texture on texture unit TextureIndex, with its own offset and
// scale of the texture coordinates.
class TGLTextureExItem : public TCollectionItem, public TGLTextureTransform {
  QIRA_CLASS(TGLTextureExItem, TCollectionItem)

  TGLTextureExItem();
  ~TGLTextureExItem() override;

  TGLTexture& Texture() const { return *texture_; }
  void SetTexture(const TGLTexture& value);
  int32_t TextureIndex() const { return textureIndex_; }
  void SetTextureIndex(int32_t value);
  // Texture, TextureOffset and TextureScale always; TextureIndex when not 0.
  void DefinePublished(TFiler& filer) override;

  // "Tex [<TextureIndex>]"
  std::string GetDisplayName() const override;
  void Assign(const TPersistent* source) override;
  // Offset or scale changed: the matrix is recomputed and the owner told.
  void CoordinateChanged(TGLCustomCoordinates* sender) override;

  // With an enabled texture: its texture matrix pushed and loaded on its
  // unit, the texture applied there, the item marked applied.
  void Apply(TRenderContextInfo& rci);
  // Undoes Apply for an applied item.
  void UnApply(TRenderContextInfo& rci);
  bool Applied() const { return applied_; }

  // The item's texture changed.
  void TextureChanged() { Changed(false); }

 private:
  std::unique_ptr<TGLTexture> texture_;
  int32_t textureIndex_ = 0;
  bool applied_ = false;
};

// Owned by a material (its owner), which is told of every change.
class TGLTextureEx : public TOwnedCollection {
  QIRA_CLASS(TGLTextureEx, TOwnedCollection)

  explicit TGLTextureEx(TPersistent* owner);

  TGLTextureExItem& Add() { return static_cast<TGLTextureExItem&>(TOwnedCollection::Add()); }
  TGLTextureExItem& Items(int index) const { return static_cast<TGLTextureExItem&>(GetItem(index)); }

  // Only with multitexturing: each item on a unit the driver has is
  // applied in order; units above 0 whose textures take coordinates from
  // the geometry are added to the multitexture mapping.
  void Apply(TRenderContextInfo& rci);
  void UnApply(TRenderContextInfo& rci);
  // True when an item on `unit` has an enabled texture.
  bool IsTextureEnabled(int unit) const;
  // Every item recomputes its texture matrix.
  void Loaded();
  // Tells the owner (when it takes notifications).
  void NotifyChange();

 protected:
  void Update(TCollectionItem* item) override;
};

// True for a missing collection too: IsTextureEnabled of a null list is False.
bool IsTextureExEnabled(const TGLTextureEx* textureEx, int unit);

// [SECTION] Process-wide defaults

// What tfDefault and tcDefault stand for (tfRGBA and tcNone at start; setting
// a default to tfDefault / tcDefault brings back those).
TGLTextureFormat DefaultTextureFormat();
void SetDefaultTextureFormat(TGLTextureFormat format);
TGLTextureCompression DefaultTextureCompression();
void SetDefaultTextureCompression(TGLTextureCompression compression);

}  // namespace qira

#pragma once
// The render target of one viewer and its render loop: the rendering context,
// the viewport, background and ambient colours, the context options, the fog
// settings, the camera through which the scene is seen, the frame statistics,
// and the loop that turns one call into one finished frame. Also renders the
// scene once into a picture, projects world points to window coordinates and
// copies the frame into a texture.
//
// All of it runs on the user-interface thread; the rendering flag guards only
// against re-entry from events and paint messages.
//
// Sections:
//   Option sets and enumerations
//   Fog
//   The texture a frame is copied into
//   The buffer
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/CanvasTypes.h"
#include "scene/components/Colors.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/graph/RenderContextInfo.h"
#include "scene/gl/RenderingContext.h"
#include "scene/components/UpdateAbleObjects.h"
#include "scene/math/VectorTypes.h"

class QImage;

namespace qira {

class TGL3DScene;
class TGLBaseSceneObject;
class TGLCamera;
class TGLStateCache;
class TPersistentObjectList;

// [SECTION] Option sets and enumerations

enum class TContextOption : uint8_t {
  roDoubleBuffer,
  roStencilBuffer,
  roRenderToWindow,
  roTwoSideLighting,
  roStereo,
  roDestinationAlpha,
  roNoColorBuffer,
  roNoColorBufferClear,
  roNoSwapBuffers,
  roNoDepthBufferClear
};

// A set of context options (two bytes, one bit per option).
class TContextOptions {
 public:
  constexpr TContextOptions() = default;
  constexpr TContextOptions(std::initializer_list<TContextOption> options) {
    for (TContextOption o : options) Include(o);
  }
  constexpr bool Contains(TContextOption o) const { return (bits_ & Bit(o)) != 0; }
  constexpr void Include(TContextOption o) { bits_ = static_cast<uint16_t>(bits_ | Bit(o)); }
  constexpr void Exclude(TContextOption o) { bits_ = static_cast<uint16_t>(bits_ & ~Bit(o)); }
  constexpr uint16_t Bits() const { return bits_; }
  constexpr bool operator==(const TContextOptions&) const = default;
  static constexpr TContextOptions FromBits(uint16_t bits) {
    TContextOptions result;
    result.bits_ = bits;
    return result;
  }

 private:
  static constexpr uint16_t Bit(TContextOption o) {
    return static_cast<uint16_t>(1u << static_cast<unsigned>(o));
  }
  uint16_t bits_ = 0;
};

// Depth bits requested: 24, 16, 24, 32.
enum class TGLDepthPrecision : uint8_t { dpDefault, dp16bits, dp24bits, dp32bits };
// Colour bits requested: 24, 8, 16, 24, 64, 128.
enum class TGLColorDepth : uint8_t { cdDefault, cd8bits, cd16bits, cd24bits, cdFloat64bits, cdFloat128bits };
enum class TGLShadeModel : uint8_t { smDefault, smSmooth, smFlat };

// What a picture does with the background colour. pbKeyed keeps it for the
// background alone (the pixels where no object wrote depth), so that a file may
// name it as its see-through colour: an object's pixel of exactly that colour is
// moved one level off it in each channel. Without a depth buffer, or with the
// depth test off, a keyed picture is a plain one.
enum class TPictureBackground : uint8_t { pbPlain, pbKeyed };

// The largest tile a picture is rendered in; the driver may allow less. Each tile
// holds an off-screen buffer of colour and depth and their read-back copies, 16
// bytes a pixel.
inline constexpr int32_t kMaxPictureTileEdge = 4096;
inline constexpr int64_t kPictureTileBytesPerPixel = 16;

int32_t DepthPrecisionBits(TGLDepthPrecision value);
int32_t ColorDepthBits(TGLColorDepth value);

using TDirectRenderEvent = std::function<void(TObject* sender, TRenderContextInfo& rci)>;

// [SECTION] Fog

enum class TFogMode : uint8_t { fmLinear, fmExp, fmExp2 };
enum class TFogDistance : uint8_t { fdDefault, fdEyeRadial, fdEyePlane };

// The fog parameters of one buffer. The alpha of FogColor is the density of
// the exponential modes.
class TGLFogEnvironment : public TGLUpdateAbleObject {
  QIRA_CLASS(TGLFogEnvironment, TGLUpdateAbleObject)

  // `owner` is the buffer the fog belongs to (may be null in tests).
  explicit TGLFogEnvironment(TGL3DSceneBuffer* owner = nullptr);
  ~TGLFogEnvironment() override;

  // From another fog environment: colour, start, end, mode and distance, then
  // one notification. Otherwise TPersistent's rules.
  void Assign(const TPersistent* source) override;

  TGLColor& FogColor() const { return *fogColor_; }
  // Assigns into the owned colour; null is ignored.
  void SetFogColor(const TGLColor* value);
  float FogStart() const { return fogStart_; }
  void SetFogStart(float value);
  float FogEnd() const { return fogEnd_; }
  void SetFogEnd(float value);
  TFogMode FogMode() const { return fogMode_; }
  void SetFogMode(TFogMode value);
  TFogDistance FogDistance() const { return fogDistance_; }
  void SetFogDistance(TFogDistance value);

  // Opaque black, 10, 1000, fmLinear, fdDefault.
  bool HasDefaultValues() const;
  // FogColor, FogStart and FogEnd always; FogMode and FogDistance when not
  // their defaults.
  void DefinePublished(TFiler& filer) override;
  // Sends the fog to OpenGL in the buffer's context (activated for the call
  // when it is not); nothing when the buffer has none.
  void ApplyFog();

  TGL3DSceneBuffer* SceneBuffer() const { return sceneBuffer_; }

 private:
  TGL3DSceneBuffer* sceneBuffer_;
  std::unique_ptr<TGLColor> fogColor_;
  float fogStart_ = 10.0f;
  float fogEnd_ = 1000.0f;
  TFogMode fogMode_ = TFogMode::fmLinear;
  TFogDistance fogDistance_ = TFogDistance::fdDefault;
};

// [SECTION] The texture a frame is copied into

// What copying a frame into a texture needs of the texture (the texture
// class implements it). Minification filters at or above
// miNearestMipmapNearest make UsesMipmaps true.
class IGLFrameCopyTexture {
 public:
  // The texture image's own target (GL_TEXTURE_2D, GL_TEXTURE_CUBE_MAP, ...).
  virtual GLenum ImageTarget() const = 0;
  // tfRGBAFloat16 or tfRGBAFloat32.
  virtual bool IsFloatFormat() const = 0;
  // True when the texture holds an OpenGL name.
  virtual bool HasHandle() const = 0;
  // A bare name, allocated without uploading anything.
  virtual GLuint AllocateBareHandle() = 0;
  // The name, taken the usual way (uploading the texture's own image first).
  virtual GLuint GetHandle() = 0;
  virtual bool UsesMipmaps() const = 0;
  virtual GLint InternalFormat() const = 0;

 protected:
  ~IGLFrameCopyTexture() = default;
};

// [SECTION] The buffer

// A picture that cannot be rendered: too large for memory, or empty. Raised
// before anything is allocated.
class EGLPictureSize : public Exception {
 public:
  using Exception::Exception;
};

class TGL3DSceneBuffer : public TGLUpdateAbleObject {
  QIRA_CLASS(TGL3DSceneBuffer, TGLUpdateAbleObject)

  // `owner` is the viewer when it is a persistent object; may be null.
  explicit TGL3DSceneBuffer(TPersistent* owner = nullptr);
  // Leaves the camera's scene, destroys the context.
  ~TGL3DSceneBuffer() override;

  // From another buffer: the published settings (colours, options, fog,
  // switches, precisions, shade model); the camera is not copied. Otherwise TPersistent's rules.
  void Assign(const TPersistent* source) override;

  // ---- context
  // Makes the rendering context: on the device, or as an off-screen memory
  // context of the viewport's size with `bufferCount` colour buffers.
  // "Failed to create RenderingContext." when the manager gives none;
  // EOpenGLError "Need at least OpenGL version 1.1" (the context stays).
  void CreateRC(TGLOutputDevice device, bool memoryContext, int32_t bufferCount = 1);
  // Frees the context and leaves the camera's scene.
  void DestroyRC();
  bool HasContext() const { return renderingContext_ != nullptr; }
  TGLContext* RenderingContext() const { return renderingContext_.get(); }
  // Sets the options of a context that is about to be created.
  void ApplyContextOptions(TGLContext& context);
  // Per frame and after creation (the context must be current).
  void SetupRenderingContext();
  void ClearBuffers();

  // ---- viewport
  // Each size clamped to at least 1; glViewport when a context exists.
  void Resize(int32_t width, int32_t height);
  int32_t ViewportLeft() const { return viewport_[0]; }
  int32_t ViewportTop() const { return viewport_[1]; }
  int32_t Width() const { return viewport_[2]; }
  int32_t Height() const { return viewport_[3]; }

  // ---- rendering
  // One frame of the whole scene.
  void Render() { RenderBaseObject(nullptr); }
  // One frame starting at `baseObject` (the scene root when null). Nothing
  // when a render runs already or there is no context. OpenGL errors raise
  // EOpenGLError; the context is deactivated and the flag reset on the way out.
  void RenderBaseObject(TGLBaseSceneObject* baseObject);
  // Renders the scene once into `bitmap` at its size (picture export), with
  // `dpi` (0: the screen's logical pixels per inch). Sizes above the OpenGL
  // limits are rendered in tiles with the same projection. The buffer's
  // rendering flag, state cache and the previously current context are
  // restored on every exit, exceptions included. EGLOutOfMemory when the
  // off-screen buffer cannot have its memory, std::bad_alloc for the program's.
  void RenderToBitmap(QImage& bitmap, int32_t dpi,
                      TPictureBackground background = TPictureBackground::pbPlain);
  // The tiles RenderToBitmap renders a picture of width x height in (at least 1).
  int32_t PictureTileCount(int32_t width, int32_t height);
  // Tiles [first, first + count) of `bitmap` (row by row from the bottom-left),
  // rendered as RenderToBitmap renders them, with the projection of the whole
  // picture; the rest of the bitmap stays as it is. Lets a caller go back to
  // the event loop between tiles. The bitmap must be RGB32, ARGB32 or RGB888.
  void RenderToBitmapTiles(QImage& bitmap, int32_t dpi, int32_t first, int32_t count,
                           TPictureBackground background = TPictureBackground::pbPlain);
  // A new 24-bit picture of width x height, rendered as above. The size is
  // checked before anything is allocated (EGLPictureSize); a picture whose memory
  // cannot be had all the same raises std::bad_alloc.
  QImage RenderToNewBitmap(int32_t width, int32_t height, int32_t dpi,
                           TPictureBackground background = TPictureBackground::pbPlain);
  // EGLPictureSize unless a picture of that size can be held: both sizes at
  // least 1 and the pixel block within PictureMemoryLimit.
  void CheckPictureSize(int64_t width, int64_t height, int bytesPerPixel) const;
  // Bytes a picture's pixel block may take; by default half the machine's memory.
  int64_t PictureMemoryLimit() const;
  void SetPictureMemoryLimit(int64_t bytes) { pictureMemoryLimit_ = bytes; }
  // Largest tile edge; 0 (default) means the driver's limits, at most kMaxPictureTileEdge.
  int32_t PictureTileLimit() const { return pictureTileLimit_; }
  void SetPictureTileLimit(int32_t pixels) { pictureTileLimit_ = pixels < 0 ? 0 : pixels; }
  // The largest tile edge of a picture: the set limit, the driver's and at least 1.
  // Activates the rendering context for the driver's, when it has one.
  int32_t PictureTileEdge();

  // Window coordinates (x, y from the bottom, depth 0..1) of a world point as
  // the last frame projected it; the point itself without a camera.
  TAffineVector WorldToScreen(const TAffineVector& point) const;
  // The world point under window coordinates (x, y from the bottom, depth
  // 0..1), inverting WorldToScreen; the input itself without a camera.
  TAffineVector ScreenToWorld(const TAffineVector& screenPoint) const;

  // Copies a rectangle of the current frame into a texture; nothing without a
  // context. The rectangle is read from (xSrc, ySrc) on both paths.
  void CopyToTexture(IGLFrameCopyTexture& texture, int32_t xSrc, int32_t ySrc, int32_t width,
                     int32_t height, int32_t xDest, int32_t yDest, GLenum target = 0,
                     bool forceUpload = false);
  // The memory viewers' copy of colour buffer `bufferIndex` (width x height
  // from the corner) into a texture, or into face `cubeMapFace` (0..5) of a
  // cube map. False, with nothing done, without a context or when the index
  // is outside the context's colour buffers or the face outside 0..5.
  bool CopyBufferToTexture(IGLFrameCopyTexture& texture, int32_t bufferIndex, int32_t cubeMapFace,
                           int32_t width, int32_t height);

  // Camera-invariant objects: the current model-view is stacked and `matrix`
  // becomes current; PopModelView restores the last stacked one (nothing on
  // an empty stack).
  void PushModelView(const TMatrix& matrix);
  void PopModelView();
  const TMatrix& ModelViewMatrix() const { return modelViewMatrix_; }
  const TMatrix& ProjectionMatrix() const { return projectionMatrix_; }
  const TMatrix& BaseProjectionMatrix() const { return baseProjectionMatrix_; }
  const TVector& CameraAbsolutePosition() const { return cameraAbsolutePosition_; }

  // ---- camera
  TGLCamera* Camera() const { return camera_; }
  // Leaves the old camera's scene; a camera without scene leaves the buffer
  // without camera. Notifies in both cases.
  void SetCamera(TGLCamera* camera);
  // Called by the camera when it is freed (or leaves its scene for good).
  void CameraDestroyed(TGLCamera& camera);

  // ---- statistics
  int32_t FrameCount() const { return frameCount_; }
  float FramesPerSecond() const { return framesPerSecond_; }
  float FrameTime() const { return frameTime_; }
  void ResetStatistics();

  // ---- state
  bool Rendering() const { return rendering_; }
  int32_t RenderDPI() const { return renderDPI_; }
  TGLStateCache& StateCache() const { return *stateCache_; }
  TPersistentObjectList& AfterRenderEffects() const { return *afterRenderEffects_; }
  // Fires OnChange unless a render is running.
  void NotifyChange(TObject* sender) override;

  // ---- published properties
  TGLFogEnvironment& FogEnvironment() const { return *fogEnvironment_; }
  void SetFogEnvironment(const TGLFogEnvironment* value);
  TColor BackgroundColor() const { return backgroundColor_; }
  void SetBackgroundColor(TColor value);
  float BackgroundAlpha() const { return backgroundAlpha_; }
  void SetBackgroundAlpha(float value);
  TGLColor& AmbientColor() const { return *ambientColor_; }
  void SetAmbientColor(const TGLColor* value);
  TContextOptions ContextOptions() const { return contextOptions_; }
  void SetContextOptions(TContextOptions value);
  int32_t AccumBufferBits() const { return accumBufferBits_; }
  void SetAccumBufferBits(int32_t value);
  bool DepthTest() const { return depthTest_; }
  void SetDepthTest(bool value);
  bool FaceCulling() const { return faceCulling_; }
  void SetFaceCulling(bool value);
  bool FogEnable() const { return fogEnable_; }
  void SetFogEnable(bool value);
  bool Lighting() const { return lighting_; }
  void SetLighting(bool value);
  TGLAntiAliasing AntiAliasing() const { return antiAliasing_; }
  void SetAntiAliasing(TGLAntiAliasing value);
  TGLDepthPrecision DepthPrecision() const { return depthPrecision_; }
  void SetDepthPrecision(TGLDepthPrecision value);
  TGLColorDepth ColorDepth() const { return colorDepth_; }
  void SetColorDepth(TGLColorDepth value);
  TGLShadeModel ShadeModel() const { return shadeModel_; }
  void SetShadeModel(TGLShadeModel value);

  // ---- component streams
  // FogEnvironment only when it differs from its defaults, AmbientColor
  // always, the others when not their defaults.
  void DefinePublished(TFiler& filer) override;

  // ---- events
  TNotifyEvent OnChange;
  TNotifyEvent OnStructuralChange;
  TNotifyEvent OnPrepareContext;
  TNotifyEvent BeforeRender;
  TNotifyEvent OnViewerBeforeRender;
  TNotifyEvent PostRender;
  TNotifyEvent AfterRender;
  TDirectRenderEvent InitiateRendering;
  TDirectRenderEvent WrapUpRendering;

 private:
  struct TViewportRect {
    int32_t left = 0, top = 0, width = 1, height = 1;
  };
  // One tile of a picture: the part of the full picture it covers, in pixels
  // from the bottom-left corner.
  struct TPictureTile {
    int32_t x = 0, y = 0, width = 0, height = 0;
  };

  void StructuralChange();
  void DoBaseRender(const TViewportRect& viewport, int32_t dpi, TGLBaseSceneObject* baseObject,
                    TDrawState drawState, const TPictureTile* tile);
  void PrepareRenderingMatrices(const TViewportRect& viewport, int32_t dpi, const TPictureTile* tile);
  void RenderScene(TGL3DScene& scene, int32_t width, int32_t height, TDrawState drawState,
                   TGLBaseSceneObject* baseObject);
  void FillRenderContextInfo(TRenderContextInfo& rci, TGL3DScene& scene, int32_t width, int32_t height,
                             TDrawState drawState);
  // Tiles [first, first + count) in the order of PictureTileCount.
  void RenderPictureTiles(QImage& bitmap, int32_t dpi, int32_t colorBits, TPictureBackground background,
                          int32_t first = 0, int32_t count = INT32_MAX);
  int32_t DriverTileLimit() const;

  std::unique_ptr<TGLStateCache> stateCache_;
  bool rendering_ = false;
  std::unique_ptr<TGLContext> renderingContext_;
  std::unique_ptr<TPersistentObjectList> afterRenderEffects_;
  TMatrix projectionMatrix_ = IdentityHmgMatrix;
  TMatrix modelViewMatrix_ = IdentityHmgMatrix;
  std::vector<TMatrix> modelViewStack_;
  TMatrix baseProjectionMatrix_ = IdentityHmgMatrix;
  TVector cameraAbsolutePosition_ = NullHmgPoint;
  int32_t viewport_[4] = {0, 0, 1, 1};
  bool faceCulling_ = true;
  bool fogEnable_ = false;
  bool lighting_ = true;
  bool depthTest_ = true;
  TColor backgroundColor_;
  float backgroundAlpha_ = 1.0f;
  std::unique_ptr<TGLColor> ambientColor_;
  TGLAntiAliasing antiAliasing_ = TGLAntiAliasing::aaDefault;
  TGLDepthPrecision depthPrecision_ = TGLDepthPrecision::dpDefault;
  TGLColorDepth colorDepth_ = TGLColorDepth::cdDefault;
  TContextOptions contextOptions_{TContextOption::roDoubleBuffer, TContextOption::roRenderToWindow};
  TGLShadeModel shadeModel_ = TGLShadeModel::smDefault;
  int32_t renderDPI_ = 96;
  std::unique_ptr<TGLFogEnvironment> fogEnvironment_;
  int32_t accumBufferBits_ = 0;
  TGLCamera* camera_ = nullptr;
  int32_t frameCount_ = 0;
  float framesPerSecond_ = 0.0f;
  int64_t firstFrameCounter_ = 0;
  float frameTime_ = 0.0f;
  int64_t pictureMemoryLimit_ = 0;  // 0: half the machine's memory
  int32_t pictureTileLimit_ = 0;
};

}  // namespace qira

// Sections:
//   Small tools
//   Fog environment
//   Buffer life and settings
//   Context
//   Render loop
//   Pictures
//   Projection queries and copies
//   Component streams

#include "scene/graph/SceneBuffer.h"

#include <unistd.h>

#include <QImage>
#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <new>
#include <string>

#include "platform/Picture.h"
#include "platform/Rounding.h"
#include "scene/components/ComponentStreams.h"
#include "scene/graph/CameraLight.h"
#include "scene/graph/CustomSceneObjects.h"
#include "scene/gl/EglRenderingContext.h"
#include "scene/gl/MultitextureCoords.h"
#include "scene/components/Persistence.h"
#include "scene/components/PlatformUtilities.h"
#include "scene/graph/Scene.h"
#include "scene/graph/SceneObject.h"
#include "scene/gl/StateCache.h"
#include "scene/math/VectorGeometry.h"

namespace qira {

// [SECTION] Small tools
// Option tables, scoped activation and restoring guards, the 64-bit
// projection helpers.

namespace {

// The button-face system colour (COLOR_BTNFACE), the buffer's default background.
constexpr TColor clBtnFace = cSystemColorTag | 15u;

// Activates a context for a scope. Release() deactivates on the normal path
// (its errors pass on); the destructor deactivates on the way out of an
// exception and drops a second error rather than hiding the first.
class TScopedActivation {
 public:
  explicit TScopedActivation(TGLContext& context) : context_(&context) { context.Activate(); }
  TScopedActivation(const TScopedActivation&) = delete;
  TScopedActivation& operator=(const TScopedActivation&) = delete;
  ~TScopedActivation() {
    if (context_ == nullptr) return;
    try {
      context_->Deactivate();
    } catch (...) {
    }
  }
  void Release() {
    TGLContext* context = context_;
    context_ = nullptr;
    context->Deactivate();
  }

 private:
  TGLContext* context_;
};

// Restores a value when the scope ends, however it ends.
template <class T>
class TValueRestore {
 public:
  TValueRestore(T& target, T value) : target_(target), saved_(target) { target_ = value; }
  TValueRestore(const TValueRestore&) = delete;
  TValueRestore& operator=(const TValueRestore&) = delete;
  ~TValueRestore() { target_ = saved_; }

 private:
  T& target_;
  T saved_;
};

// Row vector times a matrix in the memory order OpenGL uses, in double.
void TransformRow(const double in[4], const TMatrix& m, double out[4]) {
  for (int j = 0; j < 4; ++j) {
    out[j] = in[0] * m[0][j] + in[1] * m[1][j] + in[2] * m[2][j] + in[3] * m[3][j];
  }
}

// a * b for row vectors (a applied first), in double.
void MultiplyDouble(const double a[16], const double b[16], double r[16]) {
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      double s = 0.0;
      for (int k = 0; k < 4; ++k) s += a[i * 4 + k] * b[k * 4 + j];
      r[i * 4 + j] = s;
    }
  }
}

// Gauss-Jordan inversion with partial pivoting; false for a singular matrix.
bool InvertDouble(const double m[16], double inv[16]) {
  double a[4][8];
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      a[i][j] = m[i * 4 + j];
      a[i][j + 4] = i == j ? 1.0 : 0.0;
    }
  }
  for (int col = 0; col < 4; ++col) {
    int pivot = col;
    for (int row = col + 1; row < 4; ++row) {
      if (std::fabs(a[row][col]) > std::fabs(a[pivot][col])) pivot = row;
    }
    if (std::fabs(a[pivot][col]) < 1e-300) return false;
    if (pivot != col) std::swap(a[pivot], a[col]);
    const double p = a[col][col];
    for (double& v : a[col]) v /= p;
    for (int row = 0; row < 4; ++row) {
      if (row == col) continue;
      const double f = a[row][col];
      if (f == 0.0) continue;
      for (int k = 0; k < 8; ++k) a[row][k] -= f * a[col][k];
    }
  }
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) inv[i * 4 + j] = a[i][j + 4];
  }
  return true;
}

TPixelFormat PixelFormatOf(const QImage& image) {
  switch (image.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
      return TPixelFormat::pf1bit;
    case QImage::Format_Indexed8:
    case QImage::Format_Grayscale8:
      return TPixelFormat::pf8bit;
    case QImage::Format_RGB555:
      return TPixelFormat::pf15bit;
    case QImage::Format_RGB16:
      return TPixelFormat::pf16bit;
    case QImage::Format_RGB888:
    case QImage::Format_BGR888:
      return TPixelFormat::pf24bit;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBX8888:
      return TPixelFormat::pf32bit;
    default:
      return TPixelFormat::pfDevice;
  }
}

bool WritableDirectly(QImage::Format format) {
  return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
         format == QImage::Format_ARGB32_Premultiplied || format == QImage::Format_RGB888;
}

// Copies an RGBA tile read from OpenGL (rows bottom-up) into the picture at
// (x, y) counted from the picture's bottom-left corner. Pictures are opaque.
void CopyTileToImage(const std::vector<uint8_t>& pixels, int32_t x, int32_t y, int32_t width,
                     int32_t height, QImage& image) {
  const bool packed24 = image.format() == QImage::Format_RGB888;
  for (int32_t r = 0; r < height; ++r) {
    const int32_t row = image.height() - 1 - (y + r);
    uchar* line = image.scanLine(row);
    const uint8_t* src = pixels.data() + static_cast<size_t>(r) * static_cast<size_t>(width) * 4;
    if (packed24) {
      uchar* dst = line + static_cast<size_t>(x) * 3;
      for (int32_t c = 0; c < width; ++c) {
        dst[c * 3 + 0] = src[c * 4 + 0];
        dst[c * 3 + 1] = src[c * 4 + 1];
        dst[c * 3 + 2] = src[c * 4 + 2];
      }
    } else {
      auto* dst = reinterpret_cast<uint32_t*>(line) + x;
      for (int32_t c = 0; c < width; ++c) {
        dst[c] = 0xFF000000u | (uint32_t{src[c * 4 + 0]} << 16) | (uint32_t{src[c * 4 + 1]} << 8) |
                 uint32_t{src[c * 4 + 2]};
      }
    }
  }
}

// Moves every pixel of an RGBA tile whose depth shows an object and whose colour
// is the key one level off the key in each channel (towards the middle), so
// that only the background, still at the cleared depth of 1, carries the key.
void KeepKeyForBackground(std::vector<uint8_t>& pixels, const std::vector<float>& depths, int32_t count,
                          TColor key) {
  const TColor rgb = ResolveSystemColor(key);
  const uint8_t k[3] = {static_cast<uint8_t>(GetRValue(rgb)), static_cast<uint8_t>(GetGValue(rgb)),
                        static_cast<uint8_t>(GetBValue(rgb))};
  for (int32_t i = 0; i < count; ++i) {
    uint8_t* p = pixels.data() + static_cast<size_t>(i) * 4;
    if (depths[static_cast<size_t>(i)] >= 1.0f || p[0] != k[0] || p[1] != k[1] || p[2] != k[2]) continue;
    for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(p[c] < 128 ? p[c] + 1 : p[c] - 1);
  }
}

void SetState(TGLStateCache& cache, TGLState state, bool on) {
  if (on) {
    cache.EnableState(state);
  } else {
    cache.DisableState(state);
  }
}

}  // namespace

int32_t DepthPrecisionBits(TGLDepthPrecision value) {
  switch (value) {
    case TGLDepthPrecision::dp16bits:
      return 16;
    case TGLDepthPrecision::dp32bits:
      return 32;
    default:
      return 24;
  }
}

int32_t ColorDepthBits(TGLColorDepth value) {
  switch (value) {
    case TGLColorDepth::cd8bits:
      return 8;
    case TGLColorDepth::cd16bits:
      return 16;
    case TGLColorDepth::cdFloat64bits:
      return 64;
    case TGLColorDepth::cdFloat128bits:
      return 128;
    default:
      return 24;
  }
}

// [SECTION] Fog environment

TGLFogEnvironment::TGLFogEnvironment(TGL3DSceneBuffer* owner)
    : TGLUpdateAbleObject(owner),
      sceneBuffer_(owner),
      fogColor_(std::make_unique<TGLColor>(this, VectorMake(0.0f, 0.0f, 0.0f, 1.0f))) {}

TGLFogEnvironment::~TGLFogEnvironment() = default;

void TGLFogEnvironment::Assign(const TPersistent* source) {
  if (const auto* fog = dynamic_cast<const TGLFogEnvironment*>(source)) {
    fogColor_->Initialize(fog->fogColor_->Color());
    fogStart_ = fog->fogStart_;
    fogEnd_ = fog->fogEnd_;
    fogMode_ = fog->fogMode_;
    fogDistance_ = fog->fogDistance_;
    NotifyChange(this);
    return;
  }
  TGLUpdateAbleObject::Assign(source);
}

void TGLFogEnvironment::SetFogColor(const TGLColor* value) {
  if (value == nullptr) return;
  fogColor_->Assign(value);
}

void TGLFogEnvironment::SetFogStart(float value) {
  if (value == fogStart_) return;
  fogStart_ = value;
  NotifyChange(this);
}

void TGLFogEnvironment::SetFogEnd(float value) {
  if (value == fogEnd_) return;
  fogEnd_ = value;
  NotifyChange(this);
}

void TGLFogEnvironment::SetFogMode(TFogMode value) {
  if (value == fogMode_) return;
  fogMode_ = value;
  NotifyChange(this);
}

void TGLFogEnvironment::SetFogDistance(TFogDistance value) {
  if (value == fogDistance_) return;
  fogDistance_ = value;
  NotifyChange(this);
}

bool TGLFogEnvironment::HasDefaultValues() const {
  const TVector& c = fogColor_->Color();
  return c.x == 0.0f && c.y == 0.0f && c.z == 0.0f && c.w == 1.0f && fogStart_ == 10.0f &&
         fogEnd_ == 1000.0f && fogMode_ == TFogMode::fmLinear && fogDistance_ == TFogDistance::fdDefault;
}

namespace {
// The driver's own fog distance mode, read the first time the default is
// restored; all bits set until then.
GLint gDriverFogDistanceMode = -1;
}  // namespace

void TGLFogEnvironment::ApplyFog() {
  if (sceneBuffer_ == nullptr || sceneBuffer_->RenderingContext() == nullptr) return;
  TGLContext& context = *sceneBuffer_->RenderingContext();
  std::unique_ptr<TScopedActivation> activation;
  if (!context.Active()) activation = std::make_unique<TScopedActivation>(context);
  switch (fogMode_) {
    case TFogMode::fmLinear:
      glFogi(GL_FOG_MODE, GL_LINEAR);
      break;
    case TFogMode::fmExp:
      glFogi(GL_FOG_MODE, GL_EXP);
      glFogf(GL_FOG_DENSITY, fogColor_->Alpha());
      break;
    case TFogMode::fmExp2:
      glFogi(GL_FOG_MODE, GL_EXP2);
      glFogf(GL_FOG_DENSITY, fogColor_->Alpha());
      break;
  }
  glFogfv(GL_FOG_COLOR, fogColor_->GetColorAddress());
  glFogf(GL_FOG_START, fogStart_);
  glFogf(GL_FOG_END, fogEnd_);
  if (GL.NV_fog_distance) {
    switch (fogDistance_) {
      case TFogDistance::fdEyeRadial:
        glFogi(GL_FOG_DISTANCE_MODE_NV, GL_EYE_RADIAL_NV);
        break;
      case TFogDistance::fdEyePlane:
        glFogi(GL_FOG_DISTANCE_MODE_NV, GL_EYE_PLANE_ABSOLUTE_NV);
        break;
      case TFogDistance::fdDefault:
        if (gDriverFogDistanceMode == -1) glGetIntegerv(GL_FOG_DISTANCE_MODE_NV, &gDriverFogDistanceMode);
        glFogi(GL_FOG_DISTANCE_MODE_NV, gDriverFogDistanceMode);
        break;
    }
  }
  if (activation) activation->Release();
}

// [SECTION] Buffer life and settings
// Creation, Assign, the published setters, camera, statistics.

TGL3DSceneBuffer::TGL3DSceneBuffer(TPersistent* owner)
    : TGLUpdateAbleObject(owner),
      stateCache_(std::make_unique<TGLStateCache>()),
      afterRenderEffects_(std::make_unique<TPersistentObjectList>()),
      backgroundColor_(clBtnFace),
      ambientColor_(std::make_unique<TGLColor>(this, VectorMake(0.2f, 0.2f, 0.2f, 1.0f))),
      fogEnvironment_(std::make_unique<TGLFogEnvironment>(this)) {}

TGL3DSceneBuffer::~TGL3DSceneBuffer() {
  OnChange = nullptr;
  OnStructuralChange = nullptr;
  if (camera_ != nullptr) {
    if (camera_->Scene() != nullptr) camera_->Scene()->RemoveBuffer(*this);
    camera_->DetachBuffer(*this);
    camera_ = nullptr;
  }
  renderingContext_.reset();
}

void TGL3DSceneBuffer::Assign(const TPersistent* source) {
  const auto* buffer = dynamic_cast<const TGL3DSceneBuffer*>(source);
  if (buffer == nullptr) {
    TGLUpdateAbleObject::Assign(source);
    return;
  }
  SetBackgroundColor(buffer->backgroundColor_);
  SetBackgroundAlpha(buffer->backgroundAlpha_);
  SetAmbientColor(buffer->ambientColor_.get());
  SetContextOptions(buffer->contextOptions_);
  SetAccumBufferBits(buffer->accumBufferBits_);
  SetDepthTest(buffer->depthTest_);
  SetFaceCulling(buffer->faceCulling_);
  SetFogEnable(buffer->fogEnable_);
  SetLighting(buffer->lighting_);
  SetAntiAliasing(buffer->antiAliasing_);
  SetDepthPrecision(buffer->depthPrecision_);
  SetColorDepth(buffer->colorDepth_);
  SetShadeModel(buffer->shadeModel_);
  SetFogEnvironment(buffer->fogEnvironment_.get());
}

void TGL3DSceneBuffer::NotifyChange(TObject* sender) {
  (void)sender;
  if (!rendering_ && OnChange) OnChange(this);
}

void TGL3DSceneBuffer::StructuralChange() {
  if (OnStructuralChange) OnStructuralChange(this);
}

void TGL3DSceneBuffer::SetFogEnvironment(const TGLFogEnvironment* value) {
  if (value != nullptr) fogEnvironment_->Assign(value);
}

void TGL3DSceneBuffer::SetBackgroundColor(TColor value) {
  if (value == backgroundColor_) return;
  backgroundColor_ = value;
  NotifyChange(this);
}

void TGL3DSceneBuffer::SetBackgroundAlpha(float value) {
  if (value == backgroundAlpha_) return;
  backgroundAlpha_ = value;
  NotifyChange(this);
}

void TGL3DSceneBuffer::SetAmbientColor(const TGLColor* value) {
  if (value != nullptr) ambientColor_->Assign(value);
}

void TGL3DSceneBuffer::SetContextOptions(TContextOptions value) {
  if (value == contextOptions_) return;
  contextOptions_ = value;
  StructuralChange();
}

void TGL3DSceneBuffer::SetAccumBufferBits(int32_t value) {
  if (value == accumBufferBits_) return;
  accumBufferBits_ = value;
  StructuralChange();
}

void TGL3DSceneBuffer::SetDepthTest(bool value) {
  if (value == depthTest_) return;
  depthTest_ = value;
  NotifyChange(this);
}

void TGL3DSceneBuffer::SetFaceCulling(bool value) {
  if (value == faceCulling_) return;
  faceCulling_ = value;
  NotifyChange(this);
}

void TGL3DSceneBuffer::SetFogEnable(bool value) {
  if (value == fogEnable_) return;
  fogEnable_ = value;
  NotifyChange(this);
}

void TGL3DSceneBuffer::SetLighting(bool value) {
  if (value == lighting_) return;
  lighting_ = value;
  NotifyChange(this);
}

void TGL3DSceneBuffer::SetAntiAliasing(TGLAntiAliasing value) {
  if (value == antiAliasing_) return;
  antiAliasing_ = value;
  StructuralChange();
}

void TGL3DSceneBuffer::SetDepthPrecision(TGLDepthPrecision value) {
  if (value == depthPrecision_) return;
  depthPrecision_ = value;
  StructuralChange();
}

void TGL3DSceneBuffer::SetColorDepth(TGLColorDepth value) {
  if (value == colorDepth_) return;
  colorDepth_ = value;
  StructuralChange();
}

void TGL3DSceneBuffer::SetShadeModel(TGLShadeModel value) {
  if (value == shadeModel_) return;
  shadeModel_ = value;
  NotifyChange(this);
}

void TGL3DSceneBuffer::SetCamera(TGLCamera* camera) {
  if (camera == camera_) return;
  if (camera_ != nullptr) {
    if (camera_->Scene() != nullptr) camera_->Scene()->RemoveBuffer(*this);
    camera_->DetachBuffer(*this);
    camera_ = nullptr;
  }
  if (camera != nullptr && camera->Scene() != nullptr) {
    camera_ = camera;
    camera_->AttachBuffer(*this);
    camera_->TransformationChanged();
  }
  NotifyChange(this);
}

void TGL3DSceneBuffer::CameraDestroyed(TGLCamera& camera) {
  camera.DetachBuffer(*this);
  if (camera_ != &camera) return;
  if (camera.Scene() != nullptr) camera.Scene()->RemoveBuffer(*this);
  camera_ = nullptr;
  NotifyChange(this);
}

void TGL3DSceneBuffer::ResetStatistics() {
  frameCount_ = 0;
  framesPerSecond_ = 0.0f;
  firstFrameCounter_ = 0;
  frameTime_ = 0.0f;
}

// [SECTION] Context
// CreateRC, DestroyRC, ApplyContextOptions, SetupRenderingContext,
// ClearBuffers, Resize.

void TGL3DSceneBuffer::CreateRC(TGLOutputDevice device, bool memoryContext, int32_t bufferCount) {
  DestroyRC();
  TValueRestore<bool> renderingFlag(rendering_, true);
  std::unique_ptr<TGLContext> context = GLContextManager().CreateContext();
  if (!context) throw Exception("Failed to create RenderingContext.");
  ApplyContextOptions(*context);
  if (memoryContext) {
    context->CreateMemoryContext(device, Width(), Height(), bufferCount);
  } else {
    context->CreateContext(device);
  }
  renderingContext_ = std::move(context);
  // A new context starts from OpenGL's initial state; so does its cache.
  stateCache_ = std::make_unique<TGLStateCache>();
  TScopedActivation activation(*renderingContext_);
  if (!GL.VERSION_1_1) throw EOpenGLError("Need at least OpenGL version 1.1");
  glViewport(0, 0, Width(), Height());
  SetupRenderingContext();
  const TVector bg = ConvertWinColor(backgroundColor_, 1.0f);
  glClearColor(bg.x, bg.y, bg.z, 1.0f);
  activation.Release();
}

void TGL3DSceneBuffer::DestroyRC() {
  if (!renderingContext_) return;
  // The scene's base context must not outlive the context.
  if (camera_ != nullptr && camera_->Scene() != nullptr) camera_->Scene()->RemoveBuffer(*this);
  renderingContext_.reset();
}

void TGL3DSceneBuffer::ApplyContextOptions(TGLContext& context) {
  TGLRCOptions options;
  options.doubleBuffered = contextOptions_.Contains(TContextOption::roDoubleBuffer);
  options.stereo = contextOptions_.Contains(TContextOption::roStereo);
  context.SetOptions(options);
  context.SetColorBits(contextOptions_.Contains(TContextOption::roNoColorBuffer) ? 0 : ColorDepthBits(colorDepth_));
  context.SetDepthBits(DepthPrecisionBits(depthPrecision_));
  context.SetStencilBits(contextOptions_.Contains(TContextOption::roStencilBuffer) ? 8 : 0);
  context.SetAlphaBits(contextOptions_.Contains(TContextOption::roDestinationAlpha) ? 8 : 0);
  context.SetAccumBits(accumBufferBits_);
  context.SetAuxBuffers(0);
  context.SetAntiAliasing(antiAliasing_);
  if (OnPrepareContext) OnPrepareContext(this);
}

void TGL3DSceneBuffer::SetupRenderingContext() {
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambientColor_->GetColorAddress());
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, contextOptions_.Contains(TContextOption::roTwoSideLighting) ? 1 : 0);
  TGLStateCache& cache = *stateCache_;
  cache.EnableState(TGLState::stNormalize);
  SetState(cache, TGLState::stDepthTest, depthTest_);
  SetState(cache, TGLState::stCullFace, faceCulling_);
  SetState(cache, TGLState::stLighting, lighting_);
  SetState(cache, TGLState::stFog, fogEnable_);
  GLint blueBits = 0;
  glGetIntegerv(GL_BLUE_BITS, &blueBits);
  SetState(cache, TGLState::stDither, blueBits < 8);
  glDepthFunc(GL_LESS);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glShadeModel(shadeModel_ == TGLShadeModel::smFlat ? GL_FLAT : GL_SMOOTH);
}

void TGL3DSceneBuffer::ClearBuffers() {
  GLbitfield mask = 0;
  if (!contextOptions_.Contains(TContextOption::roNoDepthBufferClear)) mask |= GL_DEPTH_BUFFER_BIT;
  if (!contextOptions_.Contains(TContextOption::roNoColorBuffer) &&
      !contextOptions_.Contains(TContextOption::roNoColorBufferClear))
    mask |= GL_COLOR_BUFFER_BIT;
  if (contextOptions_.Contains(TContextOption::roStencilBuffer)) mask |= GL_STENCIL_BUFFER_BIT;
  glClear(mask);
}

void TGL3DSceneBuffer::Resize(int32_t width, int32_t height) {
  viewport_[2] = std::max(width, 1);
  viewport_[3] = std::max(height, 1);
  if (!renderingContext_) return;
  TScopedActivation activation(*renderingContext_);
  glViewport(0, 0, viewport_[2], viewport_[3]);
  activation.Release();
}

// [SECTION] Render loop
// RenderBaseObject, DoBaseRender, PrepareRenderingMatrices, RenderScene and
// the render-context record.

void TGL3DSceneBuffer::RenderBaseObject(TGLBaseSceneObject* baseObject) {
  if (rendering_ || !renderingContext_) return;
  const TVector bg = ConvertWinColor(backgroundColor_, backgroundAlpha_);
  int64_t frameStart = 0;
  QueryPerformanceCounter(frameStart);
  if (camera_ != nullptr && camera_->Scene() != nullptr) {
    (void)camera_->AbsoluteMatrix();
    camera_->Scene()->AddBuffer(*this);
  }
  {
    TValueRestore<bool> renderingFlag(rendering_, true);
    TScopedActivation activation(*renderingContext_);
    if (frameCount_ == 0) QueryPerformanceCounter(firstFrameCounter_);
    renderDPI_ = 96;
    ClearGLError();
    SetupRenderingContext();
    glClearColor(bg.x, bg.y, bg.z, bg.w);
    ClearBuffers();
    CheckOpenGLError();
    DoBaseRender(TViewportRect{viewport_[0], viewport_[1], viewport_[2], viewport_[3]}, renderDPI_,
                 baseObject, TDrawState::dsRendering, nullptr);
    CheckOpenGLError();
    if (!contextOptions_.Contains(TContextOption::roNoSwapBuffers)) renderingContext_->SwapBuffers();
    ++frameCount_;
    int64_t frameEnd = 0;
    QueryPerformanceCounter(frameEnd);
    int64_t frequency = 0;
    if (QueryPerformanceFrequency(frequency) && frequency > 0) {
      frameTime_ = static_cast<float>(static_cast<double>(frameEnd - frameStart) / static_cast<double>(frequency));
      const int64_t elapsed = frameEnd - firstFrameCounter_;
      if (elapsed > 0) {
        framesPerSecond_ = static_cast<float>(static_cast<double>(frameCount_) * static_cast<double>(frequency) /
                                              static_cast<double>(elapsed));
      }
    }
    CheckOpenGLError();
    activation.Release();
  }
  if (AfterRender) AfterRender(this);
}

void TGL3DSceneBuffer::DoBaseRender(const TViewportRect& viewport, int32_t dpi, TGLBaseSceneObject* baseObject,
                                    TDrawState drawState, const TPictureTile* tile) {
  PrepareRenderingMatrices(viewport, dpi, tile);
  MapToNoUnit();
  MapToUnit0();
  if (OnViewerBeforeRender) OnViewerBeforeRender(this);
  if (BeforeRender) BeforeRender(this);
  if (camera_ != nullptr && camera_->Scene() != nullptr) {
    TGL3DScene& scene = *camera_->Scene();
    GLint maxLights = 0;
    glGetIntegerv(GL_MAX_LIGHTS, &maxLights);
    scene.SetupLights(maxLights);
    if (fogEnable_) {
      stateCache_->EnableState(TGLState::stFog);
      fogEnvironment_->ApplyFog();
    } else {
      stateCache_->DisableState(TGLState::stFog);
    }
    RenderScene(scene, viewport.width, viewport.height, drawState, baseObject);
  }
  if (PostRender) PostRender(this);
}

void TGL3DSceneBuffer::PrepareRenderingMatrices(const TViewportRect& viewport, int32_t dpi,
                                                const TPictureTile* tile) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  if (tile != nullptr) {
    // Select the tile's part of the picture's normalised device square, so
    // that every tile sees the one projection of the whole picture.
    const double W = viewport.width;
    const double H = viewport.height;
    const double sx = W / tile->width;
    const double sy = H / tile->height;
    const double cx = (2.0 * tile->x + tile->width) / W - 1.0;
    const double cy = (2.0 * tile->y + tile->height) / H - 1.0;
    glScaled(sx, sy, 1.0);
    glTranslated(-cx, -cy, 0.0);
  }
  glGetFloatv(GL_PROJECTION_MATRIX, baseProjectionMatrix_.data());
  // An even number of pixels has no middle one: the line of sight would fall
  // between two columns (rows), and whatever is thinner than a pixel along it
  // (the axis cross of a new document, far off) would light none. Half a pixel
  // puts it on the middle of the column left of (row above) the centre, so that
  // viewers of every size show it alike, on the pixel (width - 1) / 2,
  // (height - 1) / 2 from the top-left corner.
  const double halfPixelX = viewport.width % 2 == 0 ? -1.0 / viewport.width : 0.0;
  const double halfPixelY = viewport.height % 2 == 0 ? 1.0 / viewport.height : 0.0;
  if (halfPixelX != 0.0 || halfPixelY != 0.0) glTranslated(halfPixelX, halfPixelY, 0.0);
  if (camera_ != nullptr) {
    camera_->ApplyPerspective(TRectangle{viewport.left, viewport.top, viewport.width, viewport.height},
                              viewport.width, viewport.height, dpi);
    glGetFloatv(GL_PROJECTION_MATRIX, projectionMatrix_.data());
  }
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  if (camera_ != nullptr) {
    if (camera_->Scene() != nullptr) camera_->Scene()->SetCurrentCamera(camera_);
    camera_->Apply();
    cameraAbsolutePosition_ = camera_->GetAbsolutePosition();
  }
  glGetFloatv(GL_MODELVIEW_MATRIX, modelViewMatrix_.data());
}

void TGL3DSceneBuffer::FillRenderContextInfo(TRenderContextInfo& rci, TGL3DScene& scene, int32_t width,
                                             int32_t height, TDrawState drawState) {
  rci.scene = &scene;
  rci.buffer = this;
  rci.cameraPosition = cameraAbsolutePosition_;
  TVector direction = camera_->GetAbsoluteDirection();
  direction.w = 0.0f;
  NormalizeVector(direction);
  direction.w = 0.0f;
  rci.cameraDirection = direction;
  TVector up = VectorCrossProduct(VectorCrossProduct(direction, camera_->GetAbsoluteUp()), direction);
  NormalizeVector(up);
  up.w = 0.0f;
  rci.cameraUp = up;
  rci.modelViewMatrix = &modelViewMatrix_;
  rci.viewPortWidth = width;
  rci.viewPortHeight = height;
  rci.renderDPI = renderDPI_;
  rci.drawState = drawState;
  rci.objectsSorting = scene.ObjectsSorting();
  rci.visibilityCulling = scene.VisibilityCulling();
  rci.GLStates = stateCache_.get();
  rci.rcci.origin = rci.cameraPosition;
  rci.rcci.clippingDirection = rci.cameraDirection;
  rci.rcci.viewPortRadius = camera_->ViewPortRadius();
  rci.rcci.nearClippingDistance = camera_->NearPlane();
  rci.rcci.farClippingDistance = camera_->NearPlane() + camera_->DepthOfView();
  TMatrix modelView;
  TMatrix projection;
  glGetFloatv(GL_MODELVIEW_MATRIX, modelView.data());
  glGetFloatv(GL_PROJECTION_MATRIX, projection.data());
  rci.rcci.frustum = FrustumFromMatrix(MatrixMultiply(modelView, projection));
  rci.sceneAmbientColor = ambientColor_->Color();
  rci.bufferFaceCull = faceCulling_;
  rci.noColorWrites = contextOptions_.Contains(TContextOption::roNoColorBuffer);
  rci.afterRenderEffects = afterRenderEffects_.get();
}

void TGL3DSceneBuffer::RenderScene(TGL3DScene& scene, int32_t width, int32_t height, TDrawState drawState,
                                   TGLBaseSceneObject* baseObject) {
  afterRenderEffects_->Clear();
  scene.SetCurrentBuffer(this);
  TRenderContextInfo rci{};
  FillRenderContextInfo(rci, scene, width, height, drawState);
  stateCache_->ResetAll();
  if (rci.noColorWrites) {
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
  } else {
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  }
  if (InitiateRendering) InitiateRendering(this, rci);
  scene.InitializeObjects(this, rci);
  if (baseObject != nullptr) {
    baseObject->Render(rci);
  } else {
    scene.Objects().Render(rci);
  }
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  for (int i = 0; i < afterRenderEffects_->Count(); ++i) {
    if (auto* effect = dynamic_cast<TGLObjectEffect*>(afterRenderEffects_->GetItem(i))) effect->Render(rci);
  }
  if (WrapUpRendering) WrapUpRendering(this, rci);
  stateCache_->DisableState(TGLState::stBlend);
  stateCache_->DisableState(TGLState::stTexture2D);
  stateCache_->DisableState(TGLState::stTextureRect);
  stateCache_->EnableState(TGLState::stAlphaTest);
  glAlphaFunc(GL_GREATER, 0.0f);
}

// [SECTION] Pictures
// RenderToBitmap, tiles, size checks.

int64_t TGL3DSceneBuffer::PictureMemoryLimit() const {
  if (pictureMemoryLimit_ > 0) return pictureMemoryLimit_;
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return int64_t{1} << 30;
  return static_cast<int64_t>(pages) / 2 * static_cast<int64_t>(pageSize);
}

void TGL3DSceneBuffer::CheckPictureSize(int64_t width, int64_t height, int bytesPerPixel) const {
  if (width < 1 || height < 1) {
    throw EGLPictureSize("The picture size " + std::to_string(width) + " x " + std::to_string(height) +
                         " is empty.");
  }
  const int64_t limit = PictureMemoryLimit();
  const int64_t maxEdge = std::numeric_limits<int32_t>::max();
  // width * height * bytes compared without overflow.
  const bool tooLarge = width > maxEdge || height > maxEdge ||
                        width > limit / bytesPerPixel / height;
  if (tooLarge) {
    const int64_t mb = 1024 * 1024;
    const double neededMb = static_cast<double>(width) * static_cast<double>(height) * bytesPerPixel / mb;
    throw EGLPictureSize("The picture of " + std::to_string(width) + " x " + std::to_string(height) +
                         " pixels is too large: it needs " + std::to_string(RoundToInt64(neededMb)) +
                         " MB, more than the " + std::to_string(limit / mb) + " MB allowed for pictures.");
  }
}

QImage TGL3DSceneBuffer::RenderToNewBitmap(int32_t width, int32_t height, int32_t dpi,
                                          TPictureBackground background) {
  CheckPictureSize(width, height, 3);
  QImage bitmap(width, height, QImage::Format_RGB888);
  if (bitmap.isNull()) throw std::bad_alloc();
  RenderToBitmap(bitmap, dpi, background);
  return bitmap;
}

int32_t TGL3DSceneBuffer::DriverTileLimit() const {
  GLint dims[2] = {0, 0};
  glGetIntegerv(GL_MAX_VIEWPORT_DIMS, dims);
  int32_t limit = std::min(dims[0], dims[1]);
  if (GL.VERSION_3_0 || GL.ARB_framebuffer_object) {
    GLint renderbuffer = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    if (renderbuffer > 0) limit = std::min(limit, renderbuffer);
  }
  ClearGLError();
  return limit;
}

void TGL3DSceneBuffer::RenderToBitmap(QImage& bitmap, int32_t dpi, TPictureBackground background) {
  if (bitmap.isNull() || bitmap.width() < 1 || bitmap.height() < 1) {
    throw EGLPictureSize("The picture size " + std::to_string(bitmap.width()) + " x " +
                         std::to_string(bitmap.height()) + " is empty.");
  }
  if (rendering_) throw Exception("Cannot render a picture while the scene is being rendered.");
  const int32_t colorBits = std::max(8, PixelFormatToColorBits(PixelFormatOf(bitmap)));
  {
    TValueRestore<bool> renderingFlag(rendering_, true);
    if (WritableDirectly(bitmap.format())) {
      RenderPictureTiles(bitmap, dpi, colorBits, background);
    } else {
      // A conversion that cannot be had fails here, never as an empty picture.
      QImage work = ConvertedOnCallingThread(bitmap, QImage::Format_RGB32);
      RenderPictureTiles(work, dpi, colorBits, background);
      bitmap = ConvertedOnCallingThread(work, bitmap.format());
    }
  }
  if (AfterRender) AfterRender(this);
}

int32_t TGL3DSceneBuffer::PictureTileEdge() {
  int32_t limit = pictureTileLimit_ > 0 ? pictureTileLimit_ : kMaxPictureTileEdge;
  if (renderingContext_ && renderingContext_->IsValid()) {
    TScopedActivation activation(*renderingContext_);
    limit = std::min(limit, DriverTileLimit());
    activation.Release();
  }
  return std::max(limit, 1);
}

int32_t TGL3DSceneBuffer::PictureTileCount(int32_t width, int32_t height) {
  const int64_t edge = PictureTileEdge();
  const int64_t across = (std::max<int64_t>(width, 1) + edge - 1) / edge;
  const int64_t down = (std::max<int64_t>(height, 1) + edge - 1) / edge;
  return static_cast<int32_t>(std::min<int64_t>(across * down, INT32_MAX));
}

void TGL3DSceneBuffer::RenderToBitmapTiles(QImage& bitmap, int32_t dpi, int32_t first, int32_t count,
                                           TPictureBackground background) {
  if (bitmap.isNull() || bitmap.width() < 1 || bitmap.height() < 1) {
    throw EGLPictureSize("The picture size " + std::to_string(bitmap.width()) + " x " +
                         std::to_string(bitmap.height()) + " is empty.");
  }
  if (!WritableDirectly(bitmap.format())) {
    throw Exception("A picture rendered in parts must be RGB32, ARGB32 or RGB888.");
  }
  if (rendering_) throw Exception("Cannot render a picture while the scene is being rendered.");
  const int32_t colorBits = std::max(8, PixelFormatToColorBits(PixelFormatOf(bitmap)));
  {
    TValueRestore<bool> renderingFlag(rendering_, true);
    RenderPictureTiles(bitmap, dpi, colorBits, background, first, count);
  }
  if (AfterRender) AfterRender(this);
}

void TGL3DSceneBuffer::RenderPictureTiles(QImage& bitmap, int32_t dpi, int32_t colorBits,
                                          TPictureBackground background, int32_t first, int32_t count) {
  const int32_t W = bitmap.width();
  const int32_t H = bitmap.height();
  const int32_t limit = PictureTileEdge();
  const int32_t tileWidth = std::min(W, limit);
  const int32_t tileHeight = std::min(H, limit);

  std::unique_ptr<TGLContext> context = GLContextManager().CreateContext();
  if (!context) throw Exception("Failed to create RenderingContext.");
  ApplyContextOptions(*context);
  context->SetOptions(TGLRCOptions{});
  context->SetColorBits(colorBits);
  context->SetAntiAliasing(TGLAntiAliasing::aaNone);
  context->CreateMemoryContext(0, tileWidth, tileHeight, 1);
  // Display lists and textures of the screen context stay valid in the picture's.
  if (renderingContext_ && renderingContext_->IsValid()) context->ShareLists(*renderingContext_);

  // Whatever the pass changes of the buffer goes back on every exit; the
  // context (declared above) is freed after the activation below ends, and
  // its release makes the previous context current again.
  struct TSavedBufferState {
    TGL3DSceneBuffer& buffer;
    std::unique_ptr<TGLStateCache> stateCache;
    int32_t viewport[4];
    int32_t renderDPI;
    TMatrix projection, modelView, baseProjection;
    TVector cameraPosition;
    std::vector<TMatrix> modelViewStack;
    explicit TSavedBufferState(TGL3DSceneBuffer& b)
        : buffer(b),
          stateCache(std::move(b.stateCache_)),
          viewport{b.viewport_[0], b.viewport_[1], b.viewport_[2], b.viewport_[3]},
          renderDPI(b.renderDPI_),
          projection(b.projectionMatrix_),
          modelView(b.modelViewMatrix_),
          baseProjection(b.baseProjectionMatrix_),
          cameraPosition(b.cameraAbsolutePosition_),
          modelViewStack(b.modelViewStack_) {
      b.stateCache_ = std::make_unique<TGLStateCache>();
    }
    ~TSavedBufferState() {
      buffer.stateCache_ = std::move(stateCache);
      std::copy(std::begin(viewport), std::end(viewport), buffer.viewport_);
      buffer.renderDPI_ = renderDPI;
      buffer.projectionMatrix_ = projection;
      buffer.modelViewMatrix_ = modelView;
      buffer.baseProjectionMatrix_ = baseProjection;
      buffer.cameraAbsolutePosition_ = cameraPosition;
      buffer.modelViewStack_ = std::move(modelViewStack);
    }
  } saved(*this);

  TScopedActivation activation(*context);
  renderDPI_ = dpi != 0 ? dpi : GetDeviceLogicalPixelsX();
  viewport_[0] = 0;
  viewport_[1] = 0;
  viewport_[2] = W;
  viewport_[3] = H;
  const TVector bg = ConvertWinColor(backgroundColor_, 1.0f);
  const bool tiled = tileWidth < W || tileHeight < H;
  std::vector<uint8_t> pixels(static_cast<size_t>(tileWidth) * static_cast<size_t>(tileHeight) * 4);
  GLint depthBits = 0;
  glGetIntegerv(GL_DEPTH_BITS, &depthBits);
  const bool keyed = background == TPictureBackground::pbKeyed && depthBits > 0;
  std::vector<float> depths(keyed ? pixels.size() / 4 : 0);
  ClearGLError();
  const int64_t end = int64_t{first} + count;
  int64_t index = 0;
  for (int32_t y = 0; y < H; y += tileHeight) {
    for (int32_t x = 0; x < W; x += tileWidth, ++index) {
      if (index < first || index >= end) continue;
      const TPictureTile tile{x, y, std::min(tileWidth, W - x), std::min(tileHeight, H - y)};
      SetupRenderingContext();
      glClearColor(bg.x, bg.y, bg.z, 1.0f);
      glViewport(0, 0, tile.width, tile.height);
      ClearBuffers();
      DoBaseRender(TViewportRect{0, 0, W, H}, renderDPI_, nullptr, TDrawState::dsPrinting,
                   tiled ? &tile : nullptr);
      glFinish();
      CheckOpenGLError();
      glPixelStorei(GL_PACK_ALIGNMENT, 1);
      glReadPixels(0, 0, tile.width, tile.height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
      CheckOpenGLError();
      if (keyed) {
        glReadPixels(0, 0, tile.width, tile.height, GL_DEPTH_COMPONENT, GL_FLOAT, depths.data());
        CheckOpenGLError();
        KeepKeyForBackground(pixels, depths, tile.width * tile.height, backgroundColor_);
      }
      CopyTileToImage(pixels, tile.x, tile.y, tile.width, tile.height, bitmap);
    }
  }
  activation.Release();
}

// [SECTION] Projection queries and copies
// WorldToScreen, ScreenToWorld, CopyToTexture, CopyBufferToTexture, the
// model-view stack.

TAffineVector TGL3DSceneBuffer::WorldToScreen(const TAffineVector& point) const {
  if (camera_ == nullptr) return point;
  const double in[4] = {point.x, point.y, point.z, 1.0};
  double eye[4];
  double clip[4];
  TransformRow(in, modelViewMatrix_, eye);
  TransformRow(eye, projectionMatrix_, clip);
  if (clip[3] == 0.0) return TAffineVector{};
  const double nx = clip[0] / clip[3];
  const double ny = clip[1] / clip[3];
  const double nz = clip[2] / clip[3];
  return TAffineVector{static_cast<float>(viewport_[0] + viewport_[2] * (nx + 1.0) / 2.0),
                       static_cast<float>(viewport_[1] + viewport_[3] * (ny + 1.0) / 2.0),
                       static_cast<float>((nz + 1.0) / 2.0)};
}

TAffineVector TGL3DSceneBuffer::ScreenToWorld(const TAffineVector& screenPoint) const {
  if (camera_ == nullptr) return screenPoint;
  double mv[16];
  double pr[16];
  for (int i = 0; i < 16; ++i) {
    mv[i] = modelViewMatrix_.data()[i];
    pr[i] = projectionMatrix_.data()[i];
  }
  double both[16];
  double inverse[16];
  MultiplyDouble(mv, pr, both);
  if (!InvertDouble(both, inverse)) return screenPoint;
  const double ndc[4] = {(screenPoint.x - viewport_[0]) * 2.0 / viewport_[2] - 1.0,
                         (screenPoint.y - viewport_[1]) * 2.0 / viewport_[3] - 1.0,
                         screenPoint.z * 2.0 - 1.0, 1.0};
  double world[4] = {0, 0, 0, 0};
  for (int j = 0; j < 4; ++j) {
    for (int k = 0; k < 4; ++k) world[j] += ndc[k] * inverse[k * 4 + j];
  }
  if (world[3] == 0.0) return screenPoint;
  return TAffineVector{static_cast<float>(world[0] / world[3]), static_cast<float>(world[1] / world[3]),
                       static_cast<float>(world[2] / world[3])};
}

namespace {

bool IsCubeMapFace(GLenum target) {
  return target >= GL_TEXTURE_CUBE_MAP_POSITIVE_X && target <= GL_TEXTURE_CUBE_MAP_NEGATIVE_Z;
}

// A full upload of width x height RGBA pixels read at (x, y) of the read buffer.
void UploadReadPixels(IGLFrameCopyTexture& texture, GLenum target, int32_t x, int32_t y, int32_t width,
                      int32_t height) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  if (texture.UsesMipmaps()) {
    if (GL.SGIS_generate_mipmap && target == GL_TEXTURE_2D) {
      glTexParameteri(target, GL_GENERATE_MIPMAP_SGIS, 1);
      glTexImage2D(target, 0, texture.InternalFormat(), width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                   pixels.data());
    } else {
      gluBuild2DMipmaps(target, texture.InternalFormat(), width, height, GL_RGBA, GL_UNSIGNED_BYTE,
                        pixels.data());
    }
  } else {
    glTexImage2D(target, 0, texture.InternalFormat(), width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 pixels.data());
  }
}

}  // namespace

void TGL3DSceneBuffer::CopyToTexture(IGLFrameCopyTexture& texture, int32_t xSrc, int32_t ySrc, int32_t width,
                                     int32_t height, int32_t xDest, int32_t yDest, GLenum target,
                                     bool forceUpload) {
  if (!renderingContext_ || width < 1 || height < 1) return;
  TScopedActivation activation(*renderingContext_);
  GLenum bindTarget = target;
  if (target > 0) {
    if (IsCubeMapFace(target)) bindTarget = GL_TEXTURE_CUBE_MAP;
  } else {
    target = texture.ImageTarget();
    bindTarget = target;
  }
  const bool fullUpload = forceUpload || (!texture.HasHandle() && !texture.IsFloatFormat());
  const GLuint handle = fullUpload && !texture.HasHandle() ? texture.AllocateBareHandle() : texture.GetHandle();
  SelectTextureUnit(GL_TEXTURE0);
  stateCache_->SetBoundTexture(0, bindTarget, handle);
  if (fullUpload) {
    UploadReadPixels(texture, target, xSrc, ySrc, width, height);
  } else {
    glCopyTexSubImage2D(target, 0, xDest, yDest, xSrc, ySrc, width, height);
  }
  ClearGLError();
  activation.Release();
}

bool TGL3DSceneBuffer::CopyBufferToTexture(IGLFrameCopyTexture& texture, int32_t bufferIndex,
                                           int32_t cubeMapFace, int32_t width, int32_t height) {
  if (!renderingContext_ || width < 1 || height < 1) return false;
  if (cubeMapFace < 0 || cubeMapFace > 5) return false;
  // The colour buffers the context really has: a memory context's
  // attachments, one buffer for a window.
  const auto* eglContext = dynamic_cast<const TGLEglContext*>(renderingContext_.get());
  const int32_t bufferCount =
      eglContext != nullptr && eglContext->IsMemoryContext() ? eglContext->BufferCount() : 1;
  if (bufferIndex < 0 || bufferIndex >= bufferCount) return false;
  static constexpr GLenum kReadBuffers[4] = {GL_FRONT_LEFT, GL_AUX0, GL_AUX1, GL_AUX2};
  const GLenum readBuffer = eglContext != nullptr ? eglContext->ColorBuffer(bufferIndex)
                                                  : kReadBuffers[static_cast<size_t>(bufferIndex)];

  TScopedActivation activation(*renderingContext_);
  const GLenum imageTarget = texture.ImageTarget();
  bool fullUpload = false;
  GLuint handle = 0;
  if (texture.IsFloatFormat() || (imageTarget == GL_TEXTURE_CUBE_MAP && cubeMapFace != 0)) {
    handle = texture.GetHandle();
  } else if (!texture.HasHandle()) {
    handle = texture.AllocateBareHandle();
    fullUpload = true;
  } else {
    handle = texture.GetHandle();
  }
  glReadBuffer(readBuffer);
  SelectTextureUnit(GL_TEXTURE0);
  stateCache_->SetBoundTexture(0, imageTarget, handle);
  const GLenum copyTarget = imageTarget == GL_TEXTURE_CUBE_MAP
                                ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + static_cast<GLenum>(cubeMapFace)
                                : imageTarget;
  if (fullUpload) {
    UploadReadPixels(texture, copyTarget, 0, 0, width, height);
  } else {
    glCopyTexSubImage2D(copyTarget, 0, 0, 0, 0, 0, width, height);
  }
  ClearGLError();
  activation.Release();
  return true;
}

void TGL3DSceneBuffer::PushModelView(const TMatrix& matrix) {
  modelViewStack_.push_back(modelViewMatrix_);
  modelViewMatrix_ = matrix;
}

void TGL3DSceneBuffer::PopModelView() {
  if (modelViewStack_.empty()) return;
  modelViewMatrix_ = modelViewStack_.back();
  modelViewStack_.pop_back();
}

// [SECTION] Component streams

void TGLFogEnvironment::DefinePublished(TFiler& filer) {
  DefineNested(filer, "FogColor", *fogColor_);
  DefineFloat(filer, "FogStart", fogStart_, true, [this](float v) { SetFogStart(v); });
  DefineFloat(filer, "FogEnd", fogEnd_, true, [this](float v) { SetFogEnd(v); });
  DefineOrdinal(filer, "FogMode", fogMode_, TFogMode::fmExp2, TFogMode::fmLinear, [this](TFogMode v) { SetFogMode(v); });
  DefineOrdinal(filer, "FogDistance", fogDistance_, TFogDistance::fdEyePlane, TFogDistance::fdDefault,
                [this](TFogDistance v) { SetFogDistance(v); });
}

void TGL3DSceneBuffer::DefinePublished(TFiler& filer) {
  DefineNested(filer, "FogEnvironment", *fogEnvironment_, !fogEnvironment_->HasDefaultValues());
  DefineInteger(filer, "BackgroundColor", static_cast<int32_t>(backgroundColor_), backgroundColor_ != clBtnFace,
                [this](int32_t v) { SetBackgroundColor(static_cast<TColor>(v)); });
  DefineNested(filer, "AmbientColor", *ambientColor_);
  constexpr uint16_t kAllContextOptions = (1u << (static_cast<unsigned>(TContextOption::roNoDepthBufferClear) + 1)) - 1;
  const TContextOptions defaultOptions{TContextOption::roDoubleBuffer, TContextOption::roRenderToWindow};
  DefineFlags(filer, "ContextOptions", contextOptions_.Bits(), kAllContextOptions, contextOptions_ != defaultOptions,
              [this](uint32_t v) { SetContextOptions(TContextOptions::FromBits(static_cast<uint16_t>(v))); });
  DefineInteger(filer, "AccumBufferBits", accumBufferBits_, accumBufferBits_ != 0,
                [this](int32_t v) { SetAccumBufferBits(v); });
  DefineBoolean(filer, "DepthTest", depthTest_, !depthTest_, [this](bool v) { SetDepthTest(v); });
  DefineBoolean(filer, "FaceCulling", faceCulling_, !faceCulling_, [this](bool v) { SetFaceCulling(v); });
  DefineBoolean(filer, "FogEnable", fogEnable_, fogEnable_, [this](bool v) { SetFogEnable(v); });
  DefineBoolean(filer, "Lighting", lighting_, !lighting_, [this](bool v) { SetLighting(v); });
  DefineOrdinal(filer, "AntiAliasing", antiAliasing_, TGLAntiAliasing::csa16xHQ, TGLAntiAliasing::aaDefault,
                [this](TGLAntiAliasing v) { SetAntiAliasing(v); });
  DefineOrdinal(filer, "DepthPrecision", depthPrecision_, TGLDepthPrecision::dp32bits, TGLDepthPrecision::dpDefault,
                [this](TGLDepthPrecision v) { SetDepthPrecision(v); });
  DefineOrdinal(filer, "ColorDepth", colorDepth_, TGLColorDepth::cdFloat128bits, TGLColorDepth::cdDefault,
                [this](TGLColorDepth v) { SetColorDepth(v); });
  DefineOrdinal(filer, "ShadeModel", shadeModel_, TGLShadeModel::smFlat, TGLShadeModel::smDefault,
                [this](TGLShadeModel v) { SetShadeModel(v); });
}

}  // namespace qira

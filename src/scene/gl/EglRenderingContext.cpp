// Sections:
//   Config choice
//   Display and share root
//   Window watcher
//   TGLEglContext
//   Swap interval, registration

#include "scene/gl/EglRenderingContext.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <dlfcn.h>
#include <link.h>

#include <QEvent>
#include <QGuiApplication>
#include <QPlatformSurfaceEvent>
#include <QPointer>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/AvailableMemory.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/components/PlatformUtilities.h"

// EGL's context type; inside namespace qira the name EGLContext is the error class.
using TEglContextHandle = ::EGLContext;
const TEglContextHandle kEglNoContext = nullptr;

namespace qira {

namespace {

constexpr int32_t kMaxConfigs = 32;

// The colour component sizes of a count of colour bits (alpha not included).
struct TColorSizes {
  int32_t red, green, blue;
};

TColorSizes ColorSizesOf(int32_t colorBits) {
  if (colorBits >= 128) return {32, 32, 32};
  if (colorBits >= 64) return {16, 16, 16};
  if (colorBits >= 24) return {8, 8, 8};
  if (colorBits >= 16) return {5, 6, 5};
  if (colorBits >= 15) return {5, 5, 5};
  if (colorBits >= 8) return {3, 3, 2};
  return {0, 0, 0};
}

void SetColorBits(TEglAttributeList& list, int32_t colorBits) {
  const TColorSizes sizes = ColorSizesOf(colorBits);
  if (sizes.red == 0) {
    list.Remove(EGL_RED_SIZE);
    list.Remove(EGL_GREEN_SIZE);
    list.Remove(EGL_BLUE_SIZE);
    return;
  }
  list.Set(EGL_RED_SIZE, sizes.red);
  list.Set(EGL_GREEN_SIZE, sizes.green);
  list.Set(EGL_BLUE_SIZE, sizes.blue);
}

struct TSampleCounts {
  int32_t samples;
  int32_t colorSamples;  // coverage modes only
};

TSampleCounts SampleCountsOf(TGLAntiAliasing antiAliasing) {
  using A = TGLAntiAliasing;
  switch (antiAliasing) {
    case A::aa2x:
    case A::aa2xHQ: return {2, 0};
    case A::aa4x:
    case A::aa4xHQ: return {4, 0};
    case A::aa6x: return {6, 0};
    case A::aa8x: return {8, 0};
    case A::aa16x: return {16, 0};
    case A::csa8x: return {8, 4};
    case A::csa8xHQ: return {8, 8};
    case A::csa16x: return {16, 4};
    case A::csa16xHQ: return {16, 8};
    case A::aaDefault:
    case A::aaNone: break;
  }
  return {0, 0};
}

std::string EglErrorName(EGLint error) {
  switch (error) {
    case EGL_SUCCESS: return "EGL_SUCCESS";
    case EGL_NOT_INITIALIZED: return "EGL_NOT_INITIALIZED";
    case EGL_BAD_ACCESS: return "EGL_BAD_ACCESS";
    case EGL_BAD_ALLOC: return "EGL_BAD_ALLOC";
    case EGL_BAD_ATTRIBUTE: return "EGL_BAD_ATTRIBUTE";
    case EGL_BAD_CONFIG: return "EGL_BAD_CONFIG";
    case EGL_BAD_CONTEXT: return "EGL_BAD_CONTEXT";
    case EGL_BAD_CURRENT_SURFACE: return "EGL_BAD_CURRENT_SURFACE";
    case EGL_BAD_DISPLAY: return "EGL_BAD_DISPLAY";
    case EGL_BAD_MATCH: return "EGL_BAD_MATCH";
    case EGL_BAD_NATIVE_PIXMAP: return "EGL_BAD_NATIVE_PIXMAP";
    case EGL_BAD_NATIVE_WINDOW: return "EGL_BAD_NATIVE_WINDOW";
    case EGL_BAD_PARAMETER: return "EGL_BAD_PARAMETER";
    case EGL_BAD_SURFACE: return "EGL_BAD_SURFACE";
    case EGL_CONTEXT_LOST: return "EGL_CONTEXT_LOST";
    default: break;
  }
  char text[32];
  std::snprintf(text, sizeof text, "EGL error 0x%X", static_cast<unsigned>(error));
  return text;
}

// What a context's memory that EGL could not give (EGL_BAD_ALLOC) is told as.
constexpr const char* kContextOutOfMemory = "Not enough memory for an OpenGL context.";

std::string BufferOutOfMemory(int32_t width, int32_t height) {
  return "Not enough memory for an off-screen buffer of " + std::to_string(width) + " x " + std::to_string(height) +
         " pixels.";
}

// A failed EGL call whose error is `error`: a failed allocation is EGLOutOfMemory
// with `memoryText`, whatever the call; any other failure keeps its own text.
template <class TError>
[[noreturn]] void RaiseEglFailure(EGLint error, const std::string& text, const std::string& memoryText) {
  RaiseIfEglOutOfMemory(error, memoryText);
  throw TError(text);
}

// The call SetEglCallFailureForTesting names, and its error (EGL_SUCCESS: none).
struct TEglCallFailure {
  std::string call;
  EGLint error = EGL_SUCCESS;
};
TEglCallFailure& InjectedEglFailure() {
  static TEglCallFailure failure;
  return failure;
}

// Whether the EGL call named `call` failed: `failed`, or the test hook names it.
bool EglCallFailed(const char* call, bool failed) {
  const TEglCallFailure& injected = InjectedEglFailure();
  return failed || (injected.error != EGL_SUCCESS && injected.call == call);
}

// EGL's error for the last call, or the test hook's.
EGLint LastEglError() {
  const TEglCallFailure& injected = InjectedEglFailure();
  return injected.error != EGL_SUCCESS ? injected.error : eglGetError();
}

// The operating-system error of this platform: EGL's error for the last call.
[[noreturn]] void RaiseLastEglError(const std::string& memoryText = kContextOutOfMemory) {
  const EGLint error = LastEglError();
  RaiseEglFailure<EOSError>(error, "OS Error : " + EglErrorName(error), memoryText);
}

}  // namespace

void RaiseIfEglOutOfMemory(int32_t eglError, const std::string& memoryText) {
  if (eglError == EGL_BAD_ALLOC) throw EGLOutOfMemory(memoryText);
}

void SetEglCallFailureForTesting(const std::string& call, int32_t eglError) {
  InjectedEglFailure() = {call, eglError};
}

// [SECTION] Config choice

void TEglAttributeList::Set(int32_t name, int32_t value) {
  for (auto& pair : pairs_) {
    if (pair.first == name) {
      pair.second = value;
      return;
    }
  }
  Add(name, value);
}

void TEglAttributeList::Remove(int32_t name) {
  pairs_.erase(std::remove_if(pairs_.begin(), pairs_.end(),
                              [name](const auto& pair) { return pair.first == name; }),
               pairs_.end());
}

bool TEglAttributeList::Has(int32_t name) const {
  return std::any_of(pairs_.begin(), pairs_.end(), [name](const auto& pair) { return pair.first == name; });
}

int32_t TEglAttributeList::Value(int32_t name, int32_t fallback) const {
  for (const auto& pair : pairs_) {
    if (pair.first == name) return pair.second;
  }
  return fallback;
}

std::vector<int32_t> TEglAttributeList::Terminated() const {
  std::vector<int32_t> flat;
  flat.reserve(pairs_.size() * 2 + 1);
  for (const auto& pair : pairs_) {
    flat.push_back(pair.first);
    flat.push_back(pair.second);
  }
  flat.push_back(EGL_NONE);
  return flat;
}

TEglAttributeList BuildEglConfigAttributes(const TEglConfigRequest& request) {
  TEglAttributeList list;
  list.Add(EGL_SURFACE_TYPE,
           request.surface == TEglSurfaceKind::skWindow ? EGL_WINDOW_BIT : EGL_PBUFFER_BIT);
  list.Add(EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT);
  list.Add(EGL_CONFIG_CAVEAT, EGL_NONE);  // full speed only, until the last fall-back
  if (request.colorBits == 64 || request.colorBits == 128) {
    list.Add(EGL_COLOR_COMPONENT_TYPE_EXT, EGL_COLOR_COMPONENT_TYPE_FLOAT_EXT);
  }
  SetColorBits(list, request.colorBits);
  if (request.alphaBits > 0) list.Add(EGL_ALPHA_SIZE, request.alphaBits);
  list.Add(EGL_DEPTH_SIZE, std::max(request.depthBits, 0));
  if (request.stencilBits > 0) list.Add(EGL_STENCIL_SIZE, request.stencilBits);
  if (request.antiAliasing != TGLAntiAliasing::aaDefault && request.multisampleAvailable) {
    if (request.antiAliasing == TGLAntiAliasing::aaNone) {
      list.Add(EGL_SAMPLE_BUFFERS, 0);
    } else {
      const TSampleCounts counts = SampleCountsOf(request.antiAliasing);
      list.Add(EGL_SAMPLE_BUFFERS, 1);
      if (counts.colorSamples == 0) {
        list.Add(EGL_SAMPLES, counts.samples);
      } else {
        // Coverage sampling: colour samples in the sample buffer, the larger
        // count as coverage samples.
        list.Add(EGL_SAMPLES, counts.colorSamples);
        list.Add(EGL_COVERAGE_BUFFERS_NV, 1);
        list.Add(EGL_COVERAGE_SAMPLES_NV, counts.samples);
      }
    }
  }
  return list;
}

TEglConfig ChooseEglConfig(const TEglConfigRequest& request, TEglConfigSource& source) {
  TEglAttributeList list = BuildEglConfigAttributes(request);
  auto choose = [&] { return source.ChooseConfigs(list.Terminated(), kMaxConfigs); };
  std::vector<TEglConfig> found = choose();
  // (a) Without multisampling. Asking again at once keeps the depth and
  // colour that were asked for when only the sample buffers were missing.
  if (found.empty() && request.antiAliasing != TGLAntiAliasing::aaDefault &&
      (list.Has(EGL_SAMPLE_BUFFERS) || list.Has(EGL_SAMPLES))) {
    list.Remove(EGL_SAMPLE_BUFFERS);
    list.Remove(EGL_SAMPLES);
    list.Remove(EGL_COVERAGE_BUFFERS_NV);
    list.Remove(EGL_COVERAGE_SAMPLES_NV);
    found = choose();
  }
  // (b), (c) Less depth.
  if (found.empty() && request.depthBits >= 32) {
    list.Set(EGL_DEPTH_SIZE, 24);
    found = choose();
  }
  if (found.empty() && request.depthBits >= 24) {
    list.Set(EGL_DEPTH_SIZE, 16);
    found = choose();
  }
  // (d) Less colour.
  if (found.empty() && request.colorBits >= 24) {
    SetColorBits(list, 16);
    found = choose();
  }
  // (e) As asked, but slow configs allowed.
  if (found.empty()) {
    SetColorBits(list, request.colorBits);
    list.Set(EGL_DEPTH_SIZE, std::max(request.depthBits, 0));
    list.Remove(EGL_CONFIG_CAVEAT);
    found = choose();
  }
  if (found.empty()) return nullptr;
  const bool noSamplesWanted = request.antiAliasing == TGLAntiAliasing::aaDefault ||
                               request.antiAliasing == TGLAntiAliasing::aaNone;
  if (request.multisampleAvailable && noSamplesWanted) {
    for (TEglConfig config : found) {
      if (source.ConfigAttribute(config, EGL_SAMPLE_BUFFERS) == 0) return config;
    }
    return found.back();
  }
  return found.front();
}

// [SECTION] Display and share root

namespace {

class TEglDisplaySource final : public TEglConfigSource {
 public:
  explicit TEglDisplaySource(EGLDisplay display) : display_(display) {}
  std::vector<TEglConfig> ChooseConfigs(const std::vector<int32_t>& attributes,
                                        int32_t maxCount) override {
    std::vector<EGLConfig> configs(static_cast<size_t>(std::max(maxCount, 0)));
    EGLint count = 0;
    if (!eglChooseConfig(display_, attributes.data(), configs.data(), maxCount, &count) || count <= 0) {
      return {};
    }
    return std::vector<TEglConfig>(configs.begin(), configs.begin() + std::min<EGLint>(count, maxCount));
  }
  int32_t ConfigAttribute(TEglConfig config, int32_t attribute) override {
    EGLint value = 0;
    if (!eglGetConfigAttrib(display_, config, attribute, &value)) return 0;
    return value;
  }

 private:
  EGLDisplay display_;
};

struct TEglDisplayState {
  EGLDisplay display = EGL_NO_DISPLAY;
  TEglPlatform platform = TEglPlatform::epNone;
  uint64_t generation = 0;  // counts displays: objects of an earlier one are gone
  EGLConfig rootConfig = nullptr;
  TEglContextHandle rootContext = kEglNoContext;
  EGLSurface rootSurface = EGL_NO_SURFACE;
  bool surfacelessContexts = false;
  EGLConfig lastConfig = nullptr;  // of the last activation
  std::string lastVendor;
};

TEglDisplayState& Egl() {
  static TEglDisplayState state;
  return state;
}

// The EGL objects current on this thread, restored on leaving.
class TEglCurrentKeeper {
 public:
  TEglCurrentKeeper()
      : display_(eglGetCurrentDisplay()),
        draw_(eglGetCurrentSurface(EGL_DRAW)),
        read_(eglGetCurrentSurface(EGL_READ)),
        context_(eglGetCurrentContext()) {}
  ~TEglCurrentKeeper() {
    if (display_ != EGL_NO_DISPLAY) {
      eglMakeCurrent(display_, draw_, read_, context_);
    } else if (Egl().display != EGL_NO_DISPLAY) {
      eglMakeCurrent(Egl().display, EGL_NO_SURFACE, EGL_NO_SURFACE, kEglNoContext);
    }
  }
  TEglCurrentKeeper(const TEglCurrentKeeper&) = delete;
  TEglCurrentKeeper& operator=(const TEglCurrentKeeper&) = delete;

 private:
  EGLDisplay display_;
  EGLSurface draw_;
  EGLSurface read_;
  TEglContextHandle context_;
};

std::string_view StringOf(const GLubyte* text) {
  return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

// Reads every entry point and flag of the driver whose context is current.
void ReadDriverData(EGLConfig config) {
  ReadExtensions();
  ReadImplementationProperties();
  Egl().lastVendor = std::string(StringOf(glGetString(GL_VENDOR)));
  Egl().lastConfig = config;
}

// Keeps the driver libraries EGL loaded mapped for the life of the process:
// terminating a display unloads them, and memory they keep for the process
// could no longer be told from a leak of ours.
void PinLoadedDrivers() {
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void*) {
        const std::string_view name = info->dlpi_name ? info->dlpi_name : "";
        if (name.find("_dri.so") != std::string_view::npos || name.find("libgallium") != std::string_view::npos) {
          // RTLD_NOLOAD: only marks the loaded library; nothing new is loaded.
          dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
        }
        return 0;
      },
      nullptr);
}

void ShutDownDisplay() {
  TEglDisplayState& egl = Egl();
  if (egl.display == EGL_NO_DISPLAY) return;
  PinLoadedDrivers();
  eglMakeCurrent(egl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, kEglNoContext);
  if (egl.rootSurface != EGL_NO_SURFACE) eglDestroySurface(egl.display, egl.rootSurface);
  if (egl.rootContext != kEglNoContext) eglDestroyContext(egl.display, egl.rootContext);
  eglTerminate(egl.display);
  const uint64_t generation = egl.generation;
  egl = TEglDisplayState();
  egl.generation = generation;
}

EGLDisplay OpenPlatformDisplay(TEglPlatform& platform) {
  const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  const std::string_view client = clientExtensions ? clientExtensions : "";
#if QT_CONFIG(xcb)
  if (qGuiApp != nullptr && QGuiApplication::platformName() == QLatin1String("xcb") &&
      (CheckExtension("EGL_KHR_platform_x11", client) || CheckExtension("EGL_EXT_platform_x11", client))) {
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
      platform = TEglPlatform::epX11;
      return eglGetPlatformDisplay(EGL_PLATFORM_X11_KHR, x11->display(), nullptr);
    }
  }
#endif
  if (!CheckExtension("EGL_MESA_platform_surfaceless", client)) return EGL_NO_DISPLAY;
  platform = TEglPlatform::epSurfaceless;
  return eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
}

// Under an address-space limit, what the driver's start-up reserves (its
// libraries, its compiler's code and the first context; measured with Mesa's
// llvmpipe and the threads bounded at start, about 240 MB) must fit beside what
// the process holds: the driver ends the program on an allocation that fails.
constexpr int64_t kDriverStartBytes = int64_t{256} << 20;

void RefuseDriverStartBeyondAddressLimit() {
  if (AddressSpaceLimit() < 0) return;
  const TMemoryFigures figures = ReadMemoryFigures();
  if (figures.AddressSpaceLimit < 0 || figures.AddressSpaceUsed < 0) return;
  if (figures.AddressSpaceLimit - figures.AddressSpaceUsed < kDriverStartBytes)
    throw EGLOutOfMemory(kContextOutOfMemory);
}

// The display, the OpenGL libraries and the share root, made on first use.
// The root is made current once to read the driver's entry points and flags,
// which the config choice of every context needs.
void EnsureDisplay() {
  TEglDisplayState& egl = Egl();
  if (egl.display == EGL_NO_DISPLAY) RefuseDriverStartBeyondAddressLimit();
  if (!InitOpenGL()) throw EOSError("OS Error : " + OpenGLLoadError());
  if (egl.display != EGL_NO_DISPLAY) {
    if (!ExtensionsRead()) {
      // The libraries were loaded again since: read the driver's data again.
      TEglCurrentKeeper keeper;
      if (EglCallFailed("eglMakeCurrent",
                        !eglMakeCurrent(egl.display, egl.rootSurface, egl.rootSurface, egl.rootContext))) {
        RaiseLastEglError();
      }
      ReadDriverData(egl.rootConfig);
    }
    return;
  }

  TEglPlatform platform = TEglPlatform::epNone;
  EGLDisplay display = OpenPlatformDisplay(platform);
  if (EglCallFailed("eglGetPlatformDisplay", display == EGL_NO_DISPLAY)) RaiseLastEglError();
  if (EglCallFailed("eglInitialize", !eglInitialize(display, nullptr, nullptr))) RaiseLastEglError();
  if (EglCallFailed("eglBindAPI", !eglBindAPI(EGL_OPENGL_API))) {
    eglTerminate(display);
    RaiseLastEglError();
  }
  egl.display = display;
  egl.platform = platform;
  ++egl.generation;
  egl.surfacelessContexts =
      CheckExtension("EGL_KHR_surfaceless_context", eglQueryString(display, EGL_EXTENSIONS));
  if (platform == TEglPlatform::epX11) {
    // Qt closes its X connection when the application goes: EGL must let go first.
    qAddPostRoutine(&ShutDownDisplay);
  }

  try {
    TEglDisplaySource source(display);
    TEglConfigRequest request;
    request.colorBits = 24;
    request.surface = TEglSurfaceKind::skPbuffer;
    request.multisampleAvailable = false;
    egl.rootConfig = ChooseEglConfig(request, source);
    if (egl.rootConfig == nullptr) RaiseLastEglError();
    egl.rootContext = eglCreateContext(display, egl.rootConfig, kEglNoContext, nullptr);
    if (EglCallFailed("eglCreateContext", egl.rootContext == kEglNoContext)) RaiseLastEglError();
    const EGLint size[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
    egl.rootSurface = eglCreatePbufferSurface(display, egl.rootConfig, size);
    if (EglCallFailed("eglCreatePbufferSurface", egl.rootSurface == EGL_NO_SURFACE))
      RaiseEglFailure<Exception>(LastEglError(), "Unabled to create pbuffer.", kContextOutOfMemory);
    TEglCurrentKeeper keeper;
    if (EglCallFailed("eglMakeCurrent", !eglMakeCurrent(display, egl.rootSurface, egl.rootSurface, egl.rootContext))) {
      RaiseLastEglError();
    }
    ReadDriverData(egl.rootConfig);
  } catch (...) {
    ShutDownDisplay();
    throw;
  }
}

uint8_t AccelerationOf(EGLConfig config) {
  EGLint caveat = EGL_NONE;
  eglGetConfigAttrib(Egl().display, config, EGL_CONFIG_CAVEAT, &caveat);
  return caveat == EGL_SLOW_CONFIG ? 2 : 1;
}

}  // namespace

TEglPlatform EglPlatform() { return Egl().platform; }

// [SECTION] Window watcher

// Destroys a window context while its window's surface still exists: Qt
// announces the end of a native window's surface to the window first, and to
// the child windows before their parent goes.
class TEglWindowWatcher final : public QObject {
 public:
  TEglWindowWatcher(QWindow& window, TGLEglContext& context) : QObject(&window), context_(&context) {
    window.installEventFilter(this);
  }
  void Detach() {
    context_ = nullptr;
    if (parent() != nullptr) parent()->removeEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (context_ != nullptr && event->type() == QEvent::PlatformSurface &&
        static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
            QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed) {
      TGLEglContext* context = context_;
      context->inWindowCallback_ = true;
      try {
        if (context->IsValid()) context->DestroyContext();
      } catch (...) {
        // No exception may cross the event handler; the context is gone either way.
      }
      context->inWindowCallback_ = false;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  TGLEglContext* context_;
};

// [SECTION] TGLEglContext

TGLEglContext::TGLEglContext() = default;

TGLEglContext::~TGLEglContext() {
  try {
    if (IsValid()) DestroyContext();
  } catch (...) {
    // A destructor cannot report; the EGL objects are released below.
  }
  ReleaseEglObjects();
  UnwatchWindow();
}

uint32_t TGLEglContext::ColorBuffer(int32_t index) const {
  if (!IsMemoryContext()) return GL_BACK;
  return GL_COLOR_ATTACHMENT0 + static_cast<uint32_t>(std::clamp(index, 0, BufferCount() - 1));
}

void TGLEglContext::WatchWindow(TGLOutputDevice window) {
  if (qGuiApp == nullptr) return;
  for (QWindow* candidate : QGuiApplication::allWindows()) {
    // Only windows that have a native window: winId() would create one.
    if (candidate->handle() != nullptr && static_cast<TGLOutputDevice>(candidate->winId()) == window) {
      windowWatcher_ = new TEglWindowWatcher(*candidate, *this);
      return;
    }
  }
}

void TGLEglContext::UnwatchWindow() {
  auto* watcher = static_cast<TEglWindowWatcher*>(windowWatcher_);
  windowWatcher_ = nullptr;
  if (watcher == nullptr) return;
  watcher->Detach();
  // Inside the watcher's own callback the window frees it with itself.
  if (!inWindowCallback_) delete watcher;
}

void TGLEglContext::DoCreateContext(TGLOutputDevice outputDevice) {
  EnsureDisplay();
  TEglDisplayState& egl = Egl();
  TEglConfigRequest request;
  request.colorBits = ColorBits();
  request.alphaBits = AlphaBits();
  request.depthBits = DepthBits();
  request.stencilBits = StencilBits();
  request.antiAliasing = AntiAliasing();
  request.multisampleAvailable = WGL.ARB_multisample && GL.ARB_multisample;
  // Without a window the context draws on a 1x1 pbuffer of its own.
  request.surface = outputDevice != 0 ? TEglSurfaceKind::skWindow : TEglSurfaceKind::skPbuffer;
  TEglDisplaySource source(egl.display);
  EGLConfig config = ChooseEglConfig(request, source);
  if (config == nullptr) throw EOSError("OS Error : " + EglErrorName(EGL_BAD_CONFIG));

  TEglContextHandle context = eglCreateContext(egl.display, config, egl.rootContext, nullptr);
  if (EglCallFailed("eglCreateContext", context == kEglNoContext)) {
    if (context != kEglNoContext) eglDestroyContext(egl.display, context);
    RaiseLastEglError();
  }
  EGLSurface surface = EGL_NO_SURFACE;
  if (outputDevice != 0) {
    // Window surfaces draw into a back buffer whatever the buffering asked
    // for (front-buffer drawing does not reach the screen on every display),
    // so even a single-buffered window context is presented by SwapBuffers.
    surface = eglCreateWindowSurface(egl.display, config, static_cast<EGLNativeWindowType>(outputDevice),
                                     nullptr);
  } else {
    const EGLint size[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
    surface = eglCreatePbufferSurface(egl.display, config, size);
  }
  if (EglCallFailed(outputDevice != 0 ? "eglCreateWindowSurface" : "eglCreatePbufferSurface",
                    surface == EGL_NO_SURFACE)) {
    const EGLint error = LastEglError();
    if (surface != EGL_NO_SURFACE) eglDestroySurface(egl.display, surface);
    eglDestroyContext(egl.display, context);
    RaiseEglFailure<EOSError>(error, "OS Error : " + EglErrorName(error), kContextOutOfMemory);
  }
  context_ = context;
  surface_ = surface;
  config_ = config;
  displayGeneration_ = egl.generation;
  window_ = outputDevice;
  presentOnSwap_ = outputDevice != 0;
  swapInterval_ = 1;
  SetAcceleration(AccelerationOf(config));
  egl.lastConfig = nullptr;  // the next activation reads the window-system data again
  if (outputDevice != 0) WatchWindow(outputDevice);
}

void TGLEglContext::DoCreateMemoryContext(TGLOutputDevice outputDevice, int32_t width,
                                          int32_t height, int32_t bufferCount) {
  (void)outputDevice;  // an off-screen buffer needs no device
  EnsureDisplay();
  TEglDisplayState& egl = Egl();
  if (!(GL.VERSION_3_0 || GL.ARB_framebuffer_object)) {
    throw Exception("GL_ARB_framebuffer_object support required.");
  }
  const std::string outOfMemory = BufferOutOfMemory(std::max(width, 1), std::max(height, 1));
  TEglContextHandle context = eglCreateContext(egl.display, egl.rootConfig, egl.rootContext, nullptr);
  if (EglCallFailed("eglCreateContext", context == kEglNoContext)) {
    if (context != kEglNoContext) eglDestroyContext(egl.display, context);
    RaiseEglFailure<Exception>(LastEglError(), "Unabled to create pbuffer's RC.", outOfMemory);
  }
  EGLSurface surface = EGL_NO_SURFACE;
  if (!egl.surfacelessContexts) {
    const EGLint size[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
    surface = eglCreatePbufferSurface(egl.display, egl.rootConfig, size);
    if (EglCallFailed("eglCreatePbufferSurface", surface == EGL_NO_SURFACE)) {
      const EGLint error = LastEglError();
      if (surface != EGL_NO_SURFACE) eglDestroySurface(egl.display, surface);
      eglDestroyContext(egl.display, context);
      RaiseEglFailure<Exception>(error, "Unabled to create pbuffer.", outOfMemory);
    }
  }
  context_ = context;
  surface_ = surface;
  config_ = egl.rootConfig;
  displayGeneration_ = egl.generation;
  window_ = 0;
  presentOnSwap_ = false;
  try {
    TEglCurrentKeeper keeper;
    if (EglCallFailed("eglMakeCurrent", !eglMakeCurrent(egl.display, surface, surface, context)))
      RaiseLastEglError(outOfMemory);
    BuildFramebuffer(std::max(width, 1), std::max(height, 1), bufferCount);
  } catch (...) {
    ReleaseEglObjects();
    throw;
  }
  SetAcceleration(AccelerationOf(egl.rootConfig));
}

namespace {

// Gives the bound renderbuffer its storage; false when the memory could not be
// had. Drivers say so with GL_OUT_OF_MEMORY, or silently leave the buffer without
// storage, which then makes the framebuffer incomplete as if its format were
// refused. Another error (a format or size refused) is left to the completeness check.
bool StoreRenderbuffer(GLenum format, int32_t width, int32_t height) {
  ClearGLError();
  glRenderbufferStorage(GL_RENDERBUFFER, format, width, height);
  const GLenum error = glGetError();
  if (error == GL_OUT_OF_MEMORY) return false;
  if (error != GL_NO_ERROR) return true;
  GLint storedWidth = 0, storedHeight = 0;
  glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_WIDTH, &storedWidth);
  glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_HEIGHT, &storedHeight);
  return storedWidth == width && storedHeight == height;
}

}  // namespace

void TGLEglContext::BuildFramebuffer(int32_t width, int32_t height, int32_t bufferCount) {
  ClearGLError();
  const std::string outOfMemory = BufferOutOfMemory(width, height);
  const int32_t count = std::clamp(bufferCount, 1, 4);
  GLenum colorFormat = AlphaBits() > 0 ? GL_RGBA8 : GL_RGB8;
  if (ColorBits() >= 128) colorFormat = GL_RGBA32F;
  else if (ColorBits() >= 64) colorFormat = GL_RGBA16F;

  GLuint framebuffer = 0;
  glGenFramebuffers(1, &framebuffer);
  framebuffer_ = framebuffer;
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  colorBuffers_.assign(static_cast<size_t>(count), 0);
  glGenRenderbuffers(count, colorBuffers_.data());
  std::vector<GLenum> attachments;
  for (int32_t i = 0; i < count; ++i) {
    glBindRenderbuffer(GL_RENDERBUFFER, colorBuffers_[i]);
    if (!StoreRenderbuffer(colorFormat, width, height)) {
      FreeFramebuffer();
      throw EGLOutOfMemory(outOfMemory);
    }
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i, GL_RENDERBUFFER, colorBuffers_[i]);
    attachments.push_back(GL_COLOR_ATTACHMENT0 + i);
  }

  // Depth and stencil, with less depth while the driver refuses the format or
  // cannot give its memory.
  bool complete = false;
  bool depthStorageFailed = false;
  std::vector<int32_t> depths = {DepthBits()};
  if (DepthBits() >= 32) depths.push_back(24);
  if (DepthBits() >= 24) depths.push_back(16);
  for (int32_t depth : depths) {
    GLenum format = 0;
    GLenum attachment = GL_DEPTH_ATTACHMENT;
    if (StencilBits() > 0) {
      format = depth >= 32 ? GL_DEPTH32F_STENCIL8 : GL_DEPTH24_STENCIL8;
      attachment = GL_DEPTH_STENCIL_ATTACHMENT;
    } else if (depth > 24) {
      format = GL_DEPTH_COMPONENT32;
    } else if (depth > 16) {
      format = GL_DEPTH_COMPONENT24;
    } else if (depth > 0) {
      format = GL_DEPTH_COMPONENT16;
    }
    if (depthStencilBuffer_ != 0) {
      glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
      glDeleteRenderbuffers(1, &depthStencilBuffer_);
      depthStencilBuffer_ = 0;
    }
    if (format != 0) {
      glGenRenderbuffers(1, &depthStencilBuffer_);
      glBindRenderbuffer(GL_RENDERBUFFER, depthStencilBuffer_);
      depthStorageFailed = !StoreRenderbuffer(format, width, height) || depthStorageFailed;
      glFramebufferRenderbuffer(GL_FRAMEBUFFER, attachment, GL_RENDERBUFFER, depthStencilBuffer_);
    }
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) {
      complete = true;
      break;
    }
  }
  glBindRenderbuffer(GL_RENDERBUFFER, 0);
  if (!complete) {
    FreeFramebuffer();
    if (depthStorageFailed) throw EGLOutOfMemory(outOfMemory);
    throw Exception("Format not supported for pbuffer operation.");
  }
  glDrawBuffers(count, attachments.data());
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  glViewport(0, 0, width, height);
  try {
    CheckOpenGLError();
  } catch (...) {
    FreeFramebuffer();
    throw;
  }
}

// Needs this context current.
void TGLEglContext::FreeFramebuffer() {
  if (framebuffer_ != 0) {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    GLuint framebuffer = framebuffer_;
    glDeleteFramebuffers(1, &framebuffer);
  }
  if (!colorBuffers_.empty()) {
    glDeleteRenderbuffers(static_cast<GLsizei>(colorBuffers_.size()), colorBuffers_.data());
  }
  if (depthStencilBuffer_ != 0) glDeleteRenderbuffers(1, &depthStencilBuffer_);
  framebuffer_ = 0;
  colorBuffers_.clear();
  depthStencilBuffer_ = 0;
}

void TGLEglContext::DoShareLists(TGLContext& otherContext) {
  if (dynamic_cast<TGLEglContext*>(&otherContext) == nullptr) throw Exception("Incompatible contexts");
  // Every context was created sharing with the root: nothing left to do.
}

void TGLEglContext::DoActivate() {
  TEglDisplayState& egl = Egl();
  if (displayGeneration_ != egl.generation || egl.display == EGL_NO_DISPLAY) {
    throw EGLContext("Context activation failed: " + std::string("3001, EGL_NOT_INITIALIZED"));
  }
  if (!eglMakeCurrent(egl.display, surface_, surface_, context_)) {
    const EGLint error = eglGetError();
    char code[16];
    std::snprintf(code, sizeof code, "%X", static_cast<unsigned>(error));
    throw EGLContext("Context activation failed: " + std::string(code) + ", " + EglErrorName(error));
  }
  if (config_ != egl.lastConfig || !ExtensionsRead()) {
    const std::string vendor(StringOf(glGetString(GL_VENDOR)));
    if (vendor != egl.lastVendor || !ExtensionsRead()) {
      ReadDriverData(config_);
    } else {
      ReadWGLImplementationProperties();
      egl.lastConfig = config_;
    }
  }
  if (framebuffer_ != 0) glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  const TGLAntiAliasing aa = AntiAliasing();
  if ((aa == TGLAntiAliasing::aa2xHQ || aa == TGLAntiAliasing::aa4xHQ) && GL.ARB_multisample &&
      GL.NV_multisample_filter_hint) {
    glHint(GL_MULTISAMPLE_FILTER_HINT_NV, GL_NICEST);
  }
}

void TGLEglContext::DoDeactivate() {
  TEglDisplayState& egl = Egl();
  if (egl.display == EGL_NO_DISPLAY) return;
  if (!eglMakeCurrent(egl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, kEglNoContext)) {
    throw Exception("Context deactivation failed");
  }
}

void TGLEglContext::DoDestroyContext() {
  UnwatchWindow();
  TEglDisplayState& egl = Egl();
  if (framebuffer_ != 0 && context_ != nullptr && displayGeneration_ == egl.generation &&
      egl.display != EGL_NO_DISPLAY) {
    // Renderbuffers belong to the whole share group: free them in this context.
    TEglCurrentKeeper keeper;
    if (eglMakeCurrent(egl.display, surface_, surface_, context_)) FreeFramebuffer();
  }
  const bool deleted = ReleaseEglObjects();
  window_ = 0;
  presentOnSwap_ = false;
  if (!deleted) throw EGLContext("Delete context failed");
}

bool TGLEglContext::ReleaseEglObjects() noexcept {
  TEglDisplayState& egl = Egl();
  bool deleted = true;
  if (context_ != nullptr && displayGeneration_ == egl.generation && egl.display != EGL_NO_DISPLAY) {
    if (eglGetCurrentContext() == context_) {
      eglMakeCurrent(egl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, kEglNoContext);
    }
    deleted = eglDestroyContext(egl.display, context_) == EGL_TRUE;
    if (surface_ != nullptr) eglDestroySurface(egl.display, surface_);
  }
  context_ = nullptr;
  surface_ = nullptr;
  config_ = nullptr;
  framebuffer_ = 0;
  colorBuffers_.clear();
  depthStencilBuffer_ = 0;
  return deleted;
}

void TGLEglContext::SwapBuffers() {
  if (!presentOnSwap_ || surface_ == nullptr || displayGeneration_ != Egl().generation) return;
  eglSwapBuffers(Egl().display, surface_);
}

// [SECTION] Swap interval, registration

bool EglSetSwapInterval(int interval) {
  auto* context = dynamic_cast<TGLEglContext*>(CurrentGLContext());
  if (context == nullptr || context->window_ == 0 || !context->IsValid()) return false;
  TEglDisplayState& egl = Egl();
  if (!eglSwapInterval(egl.display, interval)) return false;
  // EGL clamps the interval to what the config allows.
  EGLint lowest = 0;
  EGLint highest = interval;
  eglGetConfigAttrib(egl.display, context->config_, EGL_MIN_SWAP_INTERVAL, &lowest);
  eglGetConfigAttrib(egl.display, context->config_, EGL_MAX_SWAP_INTERVAL, &highest);
  context->swapInterval_ = std::clamp<int>(interval, lowest, std::max(lowest, highest));
  return true;
}

int EglGetSwapInterval() {
  auto* context = dynamic_cast<TGLEglContext*>(CurrentGLContext());
  return context != nullptr ? context->SwapInterval() : 1;
}

namespace {
std::unique_ptr<TGLContext> NewEglContext() { return std::make_unique<TGLEglContext>(); }
}  // namespace

void RegisterEglRenderingContext() {
  SetWindowSystemEntryPoints(&EglSetSwapInterval, &EglGetSwapInterval);
  GLContextManager().RegisterContextClass(&NewEglContext);
}

}  // namespace qira

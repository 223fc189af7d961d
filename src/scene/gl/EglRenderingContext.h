#pragma once
// The platform rendering context on EGL, the only class the context manager
// creates.
//
// - One EGL display per process, chosen at the first context: the X11
//   display of the Qt application when Qt runs on xcb, else Mesa's
//   surfaceless platform (headless).
// - A hidden share-root context on a 1x1 pbuffer is created first; every
//   context is created sharing with it, so display lists and textures are
//   shared by all contexts and ShareLists keeps only the bookkeeping.
// - A window context draws on an EGL window surface of a native window (the
//   X11 window id of a Qt widget with a native window). Its context is
//   destroyed when the window's surface is about to go, before the window.
// - A memory context draws into a framebuffer object with 1 to 4 colour
//   buffers (GL_COLOR_ATTACHMENT0 + i) in a context of its own.
// - The config (the pixel format) is chosen from the context's options with a
//   fall-back ladder, as ChooseEglConfig says.
//
// EGL's own headers stay in the source: their EGLContext type would meet the
// engine's EGLContext error class.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "scene/gl/RenderingContext.h"

class QObject;

namespace qira {

// ------------------------------------------------------------- config choice

enum class TEglSurfaceKind : uint8_t { skWindow, skPbuffer };

// What a context asks of a config.
struct TEglConfigRequest {
  int32_t colorBits = 32;  // 64 and 128 ask for floating-point components
  int32_t alphaBits = 0;
  int32_t depthBits = 0;
  int32_t stencilBits = 0;
  TGLAntiAliasing antiAliasing = TGLAntiAliasing::aaDefault;
  TEglSurfaceKind surface = TEglSurfaceKind::skWindow;
  // The display and the driver both offer multisampling.
  bool multisampleAvailable = true;
};

using TEglConfig = void*;

// The display's config choice, injected so the ladder can be tested.
class TEglConfigSource {
 public:
  virtual ~TEglConfigSource() = default;
  // Configs matching the attributes (name, value pairs ended by EGL_NONE),
  // best first, at most maxCount; empty when the call fails.
  virtual std::vector<TEglConfig> ChooseConfigs(const std::vector<int32_t>& attributes,
                                                int32_t maxCount) = 0;
  virtual int32_t ConfigAttribute(TEglConfig config, int32_t attribute) = 0;
};

// An attribute list of (name, value) pairs.
class TEglAttributeList {
 public:
  void Add(int32_t name, int32_t value) { pairs_.emplace_back(name, value); }
  // Replaces the value of an existing name, or adds the pair.
  void Set(int32_t name, int32_t value);
  // Removes the pair; later pairs move up.
  void Remove(int32_t name);
  bool Has(int32_t name) const;
  // The value of the name; `fallback` when it is absent.
  int32_t Value(int32_t name, int32_t fallback = 0) const;
  // The pairs flattened and ended by EGL_NONE.
  std::vector<int32_t> Terminated() const;

 private:
  std::vector<std::pair<int32_t, int32_t>> pairs_;
};

// The attributes of a request: full-speed configs, the colour sizes of the
// colour bits (8/8/8 for 24 and 32, 5/6/5 for 16, floating point for 64 and
// 128), alpha, depth and stencil, and the sample buffers of the
// anti-aliasing (none for aaDefault, zero for aaNone).
TEglAttributeList BuildEglConfigAttributes(const TEglConfigRequest& request);

// Chooses a config, at most 32 asked for at each step. While none is found:
// (a) drop the multisample attributes and ask again; (b) a depth of 32 or
// more asks for 24; (c) a depth of 24 or more asks for 16; (d) colour bits of
// 24 or more ask for 16; (e) colour and depth as asked, slow configs allowed.
// Of the configs found, with multisampling available and aaDefault or aaNone,
// the first without sample buffers (else the last one) is taken; otherwise the
// first. Null when none is found.
TEglConfig ChooseEglConfig(const TEglConfigRequest& request, TEglConfigSource& source);

// ------------------------------------------------------------- the context

class TGLEglContext : public TGLContext {
  QIRA_CLASS(TGLEglContext, TGLContext)

  TGLEglContext();
  ~TGLEglContext() override;

  bool IsValid() const override { return context_ != nullptr; }
  // Presents a window context's frame (single-buffered ones too: window
  // surfaces always draw into a back buffer); nothing for memory contexts.
  void SwapBuffers() override;
  TGLOutputDevice RenderOutputDevice() const override { return window_; }

  bool IsMemoryContext() const { return framebuffer_ != 0; }
  // The framebuffer object of a memory context (0 for a window context).
  uint32_t Framebuffer() const { return framebuffer_; }
  int32_t BufferCount() const { return static_cast<int32_t>(colorBuffers_.size()); }
  // The OpenGL buffer that colour buffer `index` is read from or drawn to:
  // GL_COLOR_ATTACHMENT0 + index in a memory context, GL_BACK in a window.
  uint32_t ColorBuffer(int32_t index) const;
  // The swap interval last set on this context's surface (EGL starts with 1).
  int32_t SwapInterval() const { return swapInterval_; }

 protected:
  void DoActivate() override;
  void DoDeactivate() override;
  void DoCreateContext(TGLOutputDevice outputDevice) override;
  void DoCreateMemoryContext(TGLOutputDevice outputDevice, int32_t width, int32_t height,
                             int32_t bufferCount) override;
  void DoShareLists(TGLContext& otherContext) override;
  void DoDestroyContext() override;

 private:
  friend bool EglSetSwapInterval(int interval);
  friend class TEglWindowWatcher;

  void BuildFramebuffer(int32_t width, int32_t height, int32_t bufferCount);
  void FreeFramebuffer();
  void WatchWindow(TGLOutputDevice window);
  void UnwatchWindow();
  // Unbinds and destroys the EGL context and its surface (when they belong to
  // the current display) and forgets every handle; false when EGL refused to
  // destroy the context.
  bool ReleaseEglObjects() noexcept;

  void* context_ = nullptr;  // EGLContext
  void* surface_ = nullptr;  // EGLSurface: window surface, pbuffer, or none
  void* config_ = nullptr;   // EGLConfig
  uint64_t displayGeneration_ = 0;
  TGLOutputDevice window_ = 0;
  bool presentOnSwap_ = false;
  uint32_t framebuffer_ = 0;
  std::vector<uint32_t> colorBuffers_;
  uint32_t depthStencilBuffer_ = 0;
  int32_t swapInterval_ = 1;
  QObject* windowWatcher_ = nullptr;  // owned by the watched window
  bool inWindowCallback_ = false;
};

// Registers TGLEglContext with the process-wide context manager; the program
// calls it once at start (calling it again changes nothing).
void RegisterEglRenderingContext();

enum class TEglPlatform : uint8_t { epNone, epSurfaceless, epX11 };
// The platform of the process's EGL display (epNone before the first context).
TEglPlatform EglPlatform();

// Sets the swap interval of the current window context's surface; false
// without one or when EGL refuses. Installed as wglSwapIntervalEXT.
bool EglSetSwapInterval(int interval);
// The current context's swap interval (1 without a current context).
int EglGetSwapInterval();

// Every failed EGL call passes its error here first: an allocation EGL could
// not make (EGL_BAD_ALLOC), whatever the call, raises EGLOutOfMemory with
// `memoryText`, which a picture tells as its memory refusal. Any other error
// returns, for the call's own text.
void RaiseIfEglOutOfMemory(int32_t eglError, const std::string& memoryText);

// Test hook: from now on the EGL call of that name ("eglMakeCurrent",
// "eglCreateContext", ...) is taken as failed with `eglError` wherever the
// program makes it; EGL_SUCCESS (0x3000) ends that.
void SetEglCallFailureForTesting(const std::string& call, int32_t eglError);

}  // namespace qira

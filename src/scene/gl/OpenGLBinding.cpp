// Sections:
//   Entry-point variables
//   Loading and reading
//   Version and extension tests
//   Errors

#include "scene/gl/OpenGLBinding.h"

#include <EGL/egl.h>
#include <dlfcn.h>

#include <charconv>
#include <string>

namespace qira {

// [SECTION] Entry-point variables

#define QIRA_DEFINE_DIRECT(name) decltype(&::name) name = nullptr;
#define QIRA_DEFINE_LATER(name, type) type name = nullptr;
QIRA_GL_1_1_FUNCTIONS(QIRA_DEFINE_DIRECT)
QIRA_GLU_FUNCTIONS(QIRA_DEFINE_DIRECT)
QIRA_GL_LATER_FUNCTIONS(QIRA_DEFINE_LATER)
#undef QIRA_DEFINE_DIRECT
#undef QIRA_DEFINE_LATER

TSwapIntervalSet wglSwapIntervalEXT = nullptr;
TSwapIntervalGet wglGetSwapIntervalEXT = nullptr;
TAllocateMemoryNV wglAllocateMemoryNV = nullptr;
TFreeMemoryNV wglFreeMemoryNV = nullptr;

TGLFlags GL;
TGLUFlags GLU;
TWGLFlags WGL;

namespace {

void* gOpenGLHandle = nullptr;
void* gGLUHandle = nullptr;
std::string gLoadError;
bool gExtensionsRead = false;
TSwapIntervalSet gSwapIntervalSet = nullptr;
TSwapIntervalGet gSwapIntervalGet = nullptr;

void NullEveryEntryPoint() {
#define QIRA_NULL_DIRECT(name) name = nullptr;
#define QIRA_NULL_LATER(name, type) name = nullptr;
  QIRA_GL_1_1_FUNCTIONS(QIRA_NULL_DIRECT)
  QIRA_GLU_FUNCTIONS(QIRA_NULL_DIRECT)
  QIRA_GL_LATER_FUNCTIONS(QIRA_NULL_LATER)
#undef QIRA_NULL_DIRECT
#undef QIRA_NULL_LATER
  wglSwapIntervalEXT = nullptr;
  wglGetSwapIntervalEXT = nullptr;
}

template <class T>
T FunctionFrom(void* address) {
  return reinterpret_cast<T>(address);
}

// Resolves every function of a list from one library; the names that are
// missing are appended to `missing`.
bool ResolveOpenGL11(void* library, std::string& missing) {
#define QIRA_RESOLVE(name)                                                       \
  name = FunctionFrom<decltype(&::name)>(dlsym(library, #name));                 \
  if (name == nullptr) missing += missing.empty() ? #name : " " #name;
  QIRA_GL_1_1_FUNCTIONS(QIRA_RESOLVE)
#undef QIRA_RESOLVE
  return missing.empty();
}

bool ResolveGLU(void* library, std::string& missing) {
#define QIRA_RESOLVE(name)                                                       \
  name = FunctionFrom<decltype(&::name)>(dlsym(library, #name));                 \
  if (name == nullptr) missing += missing.empty() ? #name : " " #name;
  QIRA_GLU_FUNCTIONS(QIRA_RESOLVE)
#undef QIRA_RESOLVE
  return missing.empty();
}

std::string_view StringOf(const GLubyte* text) {
  return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

std::string_view StringOf(const char* text) { return text ? std::string_view(text) : std::string_view(); }

}  // namespace

// [SECTION] Loading and reading

bool InitOpenGL() {
  if (IsOpenGLInitialized()) return true;
  return InitOpenGLFromLibrary(kOpenGLLibraryName, kGLULibraryName);
}

bool InitOpenGLFromLibrary(const char* openGLName, const char* gluName) {
  CloseOpenGL();
  // RTLD_NODELETE: addresses handed out stay valid after CloseOpenGL, since
  // EGL keeps using the same driver for the life of the process.
  constexpr int kMode = RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE;
  gOpenGLHandle = dlopen(openGLName, kMode);
  if (gOpenGLHandle == nullptr) gLoadError = StringOf(dlerror());
  gGLUHandle = dlopen(gluName, kMode);
  if (gGLUHandle == nullptr && gLoadError.empty()) gLoadError = StringOf(dlerror());
  if (gOpenGLHandle != nullptr && gGLUHandle != nullptr) {
    std::string missing;
    if (ResolveOpenGL11(gOpenGLHandle, missing) && ResolveGLU(gGLUHandle, missing)) {
      gLoadError.clear();
      return true;
    }
    gLoadError = "Missing entry points: " + missing;
  }
  std::string error = gLoadError;
  CloseOpenGL();
  gLoadError = error;
  return false;
}

void CloseOpenGL() {
  if (gGLUHandle != nullptr) dlclose(gGLUHandle);
  if (gOpenGLHandle != nullptr) dlclose(gOpenGLHandle);
  gGLUHandle = nullptr;
  gOpenGLHandle = nullptr;
  gLoadError.clear();
  gExtensionsRead = false;
  NullEveryEntryPoint();
  GL = TGLFlags();
  GLU = TGLUFlags();
  WGL = TWGLFlags();
}

bool IsOpenGLInitialized() { return gOpenGLHandle != nullptr && gGLUHandle != nullptr; }

std::string OpenGLLoadError() { return gLoadError; }

void* GLGetProcAddress(const char* name) {
  return reinterpret_cast<void*>(eglGetProcAddress(name));
}

void ReadExtensions() {
#define QIRA_FETCH(name, type) name = FunctionFrom<type>(GLGetProcAddress(#name));
  QIRA_GL_LATER_FUNCTIONS(QIRA_FETCH)
#undef QIRA_FETCH
  wglSwapIntervalEXT = gSwapIntervalSet;
  wglGetSwapIntervalEXT = gSwapIntervalGet;
  gExtensionsRead = true;
}

bool ExtensionsRead() { return gExtensionsRead; }

void SetWindowSystemEntryPoints(TSwapIntervalSet setInterval, TSwapIntervalGet getInterval) {
  gSwapIntervalSet = setInterval;
  gSwapIntervalGet = getInterval;
  wglSwapIntervalEXT = setInterval;
  wglGetSwapIntervalEXT = getInterval;
}

void ReadImplementationProperties() {
  if (glGetString == nullptr) return;
  std::string_view gluVersion = gluGetString ? StringOf(gluGetString(GLU_VERSION)) : "";
  std::string_view gluExtensions = gluGetString ? StringOf(gluGetString(GLU_EXTENSIONS)) : "";
  SetFlagsFromStrings(StringOf(glGetString(GL_VERSION)), StringOf(glGetString(GL_EXTENSIONS)),
                      gluVersion, gluExtensions);
  ReadWGLImplementationProperties();
}

void ReadWGLImplementationProperties() {
  EGLDisplay display = eglGetCurrentDisplay();
  if (display == EGL_NO_DISPLAY) {
    SetWGLFlagsFromStrings("", "");
    return;
  }
  SetWGLFlagsFromStrings(StringOf(eglQueryString(display, EGL_VERSION)),
                         StringOf(eglQueryString(display, EGL_EXTENSIONS)));
}

bool IsMesaDriver() {
  if (glGetString == nullptr) return false;
  return CheckExtension("Mesa", StringOf(glGetString(GL_VERSION)));
}

// [SECTION] Version and extension tests

TGLVersion ParseVersionString(std::string_view text) {
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  const std::size_t dot = text.find('.');
  // A digit right before and right after the first point.
  if (dot == std::string_view::npos || dot == 0 || dot + 1 >= text.size()) return {};
  if (!isDigit(text[dot - 1]) || !isDigit(text[dot + 1])) return {};
  std::size_t start = dot;
  while (start > 0 && isDigit(text[start - 1])) --start;
  std::size_t end = dot + 1;
  while (end < text.size() && isDigit(text[end])) ++end;
  TGLVersion version;
  const char* first = text.data();
  auto major = std::from_chars(first + start, first + dot, version.major);
  auto minor = std::from_chars(first + dot + 1, first + end, version.minor);
  if (major.ec != std::errc() || minor.ec != std::errc()) return {};
  return version;
}

bool IsVersionMet(TGLVersion needed, TGLVersion actual) {
  return needed.major < actual.major || (needed.major == actual.major && needed.minor <= actual.minor);
}

bool CheckExtension(std::string_view name, std::string_view extensions) {
  if (name.empty()) return false;
  std::size_t position = 0;
  while (position < extensions.size()) {
    const std::size_t start = extensions.find_first_not_of(' ', position);
    if (start == std::string_view::npos) break;
    std::size_t end = extensions.find(' ', start);
    if (end == std::string_view::npos) end = extensions.size();
    if (extensions.substr(start, end - start) == name) return true;
    position = end;
  }
  return false;
}

void SetFlagsFromStrings(std::string_view glVersion, std::string_view glExtensions,
                         std::string_view gluVersion, std::string_view gluExtensions) {
  const TGLVersion gl = ParseVersionString(glVersion);
  GL.VERSION_1_0 = true;
  GL.VERSION_1_1 = IsVersionMet({1, 1}, gl);
  GL.VERSION_1_2 = IsVersionMet({1, 2}, gl);
  GL.VERSION_1_3 = IsVersionMet({1, 3}, gl);
  GL.VERSION_1_4 = IsVersionMet({1, 4}, gl);
  GL.VERSION_1_5 = IsVersionMet({1, 5}, gl);
  GL.VERSION_2_0 = IsVersionMet({2, 0}, gl);
  GL.VERSION_2_1 = IsVersionMet({2, 1}, gl);
  GL.VERSION_3_0 = IsVersionMet({3, 0}, gl);
  GL.VERSION_3_1 = IsVersionMet({3, 1}, gl);
  GL.VERSION_3_2 = IsVersionMet({3, 2}, gl);

  const TGLVersion glu = ParseVersionString(gluVersion);
  GLU.VERSION_1_1 = true;
  GLU.VERSION_1_2 = IsVersionMet({1, 2}, glu);
  GLU.VERSION_1_3 = IsVersionMet({1, 3}, glu);

#define QIRA_TEST_GL(name) GL.name = CheckExtension("GL_" #name, glExtensions);
#define QIRA_TEST_GL_NAMED(member, search) GL.member = CheckExtension(search, glExtensions);
  QIRA_GL_EXTENSION_FLAGS(QIRA_TEST_GL, QIRA_TEST_GL_NAMED)
#undef QIRA_TEST_GL
#undef QIRA_TEST_GL_NAMED
  // The video-memory allocator this extension needs is a window-system call
  // with no counterpart here; without it the extension cannot be used.
  if (wglAllocateMemoryNV == nullptr) {
    GL.NV_vertex_array_range = false;
    GL.NV_vertex_array_range2 = false;
  }

#define QIRA_TEST_GLU(name) GLU.name = CheckExtension("GLU_" #name, gluExtensions);
  QIRA_GLU_EXTENSION_FLAGS(QIRA_TEST_GLU)
#undef QIRA_TEST_GLU
}

void SetWGLFlagsFromStrings(std::string_view eglVersion, std::string_view eglExtensions) {
  WGL = TWGLFlags();
  const TGLVersion version = ParseVersionString(eglVersion);
  if (version == TGLVersion()) return;  // no display
  const bool egl15 = IsVersionMet({1, 5}, version);
  auto has = [&](std::string_view name) { return CheckExtension(name, eglExtensions); };
  // Core EGL covers these: configs are chosen by attributes (with sample
  // buffers), pbuffers exist, draw and read surfaces are separate, the
  // extension string is always there and the swap interval is settable.
  WGL.ARB_extensions_string = true;
  WGL.ARB_pixel_format = true;
  WGL.ARB_multisample = true;
  WGL.ARB_pbuffer = true;
  WGL.ARB_make_current_read = true;
  WGL.EXT_swap_control = gSwapIntervalSet != nullptr;
  WGL.ARB_create_context = egl15 || has("EGL_KHR_create_context");
  WGL.ARB_create_context_profile = WGL.ARB_create_context;
  WGL.ARB_framebuffer_sRGB = has("EGL_KHR_gl_colorspace");
  WGL.EXT_framebuffer_sRGB = WGL.ARB_framebuffer_sRGB;
  WGL.ARB_pixel_format_float = has("EGL_EXT_pixel_format_float");
  WGL.ATI_pixel_format_float = WGL.ARB_pixel_format_float;
  // Buffer regions, render-to-texture pbuffers and packed-float formats are not offered.
}

// [SECTION] Errors

void CheckOpenGLError() {
  if (glGetError == nullptr) return;
  const GLenum error = glGetError();
  if (error == GL_NO_ERROR) return;
  try {
    for (int i = 0; i < 7 && glGetError() != GL_NO_ERROR; ++i) {
    }
  } catch (...) {
    // Draining is best effort: the first error is the one reported.
  }
  const GLubyte* text = gluErrorString ? gluErrorString(error) : nullptr;
  throw EOpenGLError(std::string(StringOf(text)));
}

void ClearGLError() {
  if (glGetError == nullptr) return;
  for (int i = 0; i < 7 && glGetError() != GL_NO_ERROR; ++i) {
  }
}

}  // namespace qira

#pragma once
// Headless OpenGL for the engine tests: a small memory context of the EGL
// rendering-context class (Mesa's surfaceless platform), current for the life
// of the object, and reads of pixels and texels with exact byte values.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "scene/gl/EglRenderingContext.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/gl/RenderingContext.h"
#include "support/MissingPeer.h"

namespace qira {

class HeadlessGL {
 public:
  // A width x height memory context with one colour buffer and the depth and
  // alpha bits asked for, made current, its viewport the whole buffer.
  // Throws what context creation throws (no EGL display on this machine).
  HeadlessGL(int width, int height, int depthBits, int alphaBits = 0) {
    RegisterEglRenderingContext();
    context_ = GLContextManager().CreateContext();
    if (!context_) {
      ADD_FAILURE() << "no rendering-context class registered";
      throw std::runtime_error("no rendering-context class registered");
    }
    context_->SetDepthBits(depthBits);
    context_->SetAlphaBits(alphaBits);
    context_->CreateMemoryContext(0, width, height, 1);
    context_->Activate();
    glViewport(0, 0, width, height);
  }
  virtual ~HeadlessGL() {
    context_->Deactivate();
    context_->DestroyContext();
  }
  HeadlessGL(const HeadlessGL&) = delete;
  HeadlessGL& operator=(const HeadlessGL&) = delete;

  TGLContext& Context() const { return *context_; }

  // An orthographic projection of x, y in [-half, half] and z in [zNear, zFar]
  // looking down -z, with an identity model-view.
  static void LoadOrthoView(double half, double zNear, double zFar) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-half, half, -half, half, zNear, zFar);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
  }

  // Clears colour (to an opaque r, g, b) and depth.
  static void Clear(float r, float g, float b) {
    glClearColor(r, g, b, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }

 private:
  std::unique_ptr<TGLContext> context_;
};

// Marks the running test skipped, or failed under CI: the machine cannot make a
// headless context.
inline void SkipWithoutHeadlessGL(const char* why) { QIRA_SKIP_OR_FAIL_IN_CI("no headless OpenGL: " << why); }

// A new T (HeadlessGL or a class made from it) built from `args`; null, with
// the running test marked skipped (failed under CI), when the machine has no EGL display.
// Callers return at once on null.
template <class T = HeadlessGL, class... Args>
std::unique_ptr<T> MakeHeadlessGLOrSkip(Args&&... args) {
  try {
    return std::make_unique<T>(std::forward<Args>(args)...);
  } catch (const std::exception& error) {
    SkipWithoutHeadlessGL(error.what());
    return nullptr;
  }
}

// RGBA of the pixel at (x from the left, y from the bottom) of the current
// context's read buffer, after every command has finished.
inline std::array<int, 4> ReadRgba(int x, int y) {
  uint8_t rgba[4] = {};
  glFinish();
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
  return {rgba[0], rgba[1], rgba[2], rgba[3]};
}

inline std::array<int, 3> ReadRgb(int x, int y) {
  const std::array<int, 4> rgba = ReadRgba(x, y);
  return {rgba[0], rgba[1], rgba[2]};
}

// RGB of texel (x, y from the bottom) of level 0 of a width x height 2D
// texture of the current context; the texture is left bound.
inline std::array<int, 3> ReadTexel(GLuint texture, int x, int y, int width, int height) {
  std::vector<uint8_t> rgba(static_cast<size_t>(width) * static_cast<size_t>(height) * 4u);
  glBindTexture(GL_TEXTURE_2D, texture);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4u;
  return {rgba[at], rgba[at + 1], rgba[at + 2]};
}

// True when each of the first three channels of `pixel` is within
// `tolerance` of `rgb`.
template <size_t N>
bool NearRgb(const std::array<int, N>& pixel, const std::array<int, 3>& rgb, int tolerance) {
  static_assert(N >= 3);
  for (size_t i = 0; i < 3; ++i) {
    if (std::abs(pixel[i] - rgb[i]) > tolerance) return false;
  }
  return true;
}

}  // namespace qira

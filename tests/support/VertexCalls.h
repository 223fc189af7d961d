#pragma once
// The vertices and primitives a draw hands to OpenGL, seen where the engine calls it
// (glBegin, glEnd and the glVertex calls the engine's immediate draws make): what the
// draw really sent, to set beside what its count takes. Nothing reaches the renderer
// while it counts. Needs a current context for the calls it lets through.
#include <algorithm>
#include <cstdint>

#include "scene/gl/OpenGLBinding.h"
#include "support/ScopedEntryPoint.h"

namespace qira {

class TVertexCalls {
 public:
  TVertexCalls() { calls_ = this; }
  ~TVertexCalls() { calls_ = nullptr; }
  TVertexCalls(const TVertexCalls&) = delete;
  TVertexCalls& operator=(const TVertexCalls&) = delete;

  int64_t Vertices() const { return vertices_; }
  // Triangles of the strips and fans, or quads of GL_QUADS, sent.
  int64_t Triangles() const { return triangles_; }
  int64_t Quads() const { return quads_; }

 private:
  static void APIENTRY Begin(GLenum mode) {
    calls_->mode_ = mode;
    calls_->inPrimitive_ = 0;
  }
  static void APIENTRY End() {
    const int64_t n = calls_->inPrimitive_;
    if (calls_->mode_ == GL_TRIANGLE_STRIP || calls_->mode_ == GL_TRIANGLE_FAN) {
      calls_->triangles_ += std::max<int64_t>(n - 2, 0);
    }
    if (calls_->mode_ == GL_QUADS) calls_->quads_ += n / 4;
  }
  static void APIENTRY Vertex2f(GLfloat, GLfloat) { Sent(); }
  static void APIENTRY Vertex3f(GLfloat, GLfloat, GLfloat) { Sent(); }
  static void APIENTRY Vertex3fv(const GLfloat*) { Sent(); }
  static void Sent() {
    ++calls_->vertices_;
    ++calls_->inPrimitive_;
  }
  static inline TVertexCalls* calls_ = nullptr;

  TScopedEntryPoint<decltype(glBegin)> begin_{glBegin, &Begin};
  TScopedEntryPoint<decltype(glEnd)> end_{glEnd, &End};
  TScopedEntryPoint<decltype(glVertex2f)> vertex2f_{glVertex2f, &Vertex2f};
  TScopedEntryPoint<decltype(glVertex3f)> vertex3f_{glVertex3f, &Vertex3f};
  TScopedEntryPoint<decltype(glVertex3fv)> vertex3fv_{glVertex3fv, &Vertex3fv};
  GLenum mode_ = 0;
  int64_t inPrimitive_ = 0;
  int64_t vertices_ = 0;
  int64_t triangles_ = 0;
  int64_t quads_ = 0;
};

}  // namespace qira

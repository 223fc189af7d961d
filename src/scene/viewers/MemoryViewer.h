#pragma once
// Viewers without a window of their own: TGLNonVisualViewer owns a scene
// buffer, shows its camera and render events, and copies the rendered frame
// into a texture; TGLMemoryViewer renders off-screen into a memory context
// (a framebuffer object) of the viewer's size with one to four colour
// buffers. The full-screen viewer derives from TGLNonVisualViewer.
//
// All of it runs on the user-interface thread.
#include <cstdint>
#include <memory>

#include "scene/graph/SceneBuffer.h"

namespace qira {

class TGLBaseSceneObject;
class TGLCamera;

class TGLNonVisualViewer : public TComponent {
  QIRA_CLASS(TGLNonVisualViewer, TComponent)

  // 256 x 256; the buffer's change, structural-change and prepare-context
  // events are routed to DoOnChange, DoBufferStructuralChange and
  // PrepareGLContext.
  TGLNonVisualViewer();
  ~TGLNonVisualViewer() override;

  TGL3DSceneBuffer& Buffer() const { return *buffer_; }
  // Assigns the given buffer's settings into the owned one.
  void SetBuffer(const TGL3DSceneBuffer* value);

  TGLCamera* Camera() const;
  void SetCamera(TGLCamera* value);

  int32_t Width() const { return width_; }
  // Values below 1 become 1; a change drops the context, so the next render
  // makes one of the new size.
  void SetWidth(int32_t value);
  int32_t Height() const { return height_; }
  void SetHeight(int32_t value);
  // The face (0..5) of a cube map that CopyToTexture with a buffer index
  // writes; other values are ignored.
  int32_t CubeMapFace() const { return cubeMapFace_; }
  void SetCubeMapFace(int32_t value);

  // Camera, Width and Height (when not 256 x 256) and the buffer's
  // properties under "Buffer.".
  void DefinePublished(TFiler& filer) override;

  // The buffer's events, seen through the viewer.
  TNotifyEvent& BeforeRender() const { return buffer_->BeforeRender; }
  TNotifyEvent& PostRender() const { return buffer_->PostRender; }
  TNotifyEvent& AfterRender() const { return buffer_->AfterRender; }

  // One frame starting at `baseObject` (the scene root when null).
  virtual void Render(TGLBaseSceneObject* baseObject = nullptr) = 0;
  // The whole frame (Width x Height from the corner) into the texture;
  // nothing without a context.
  virtual void CopyToTexture(IGLFrameCopyTexture& texture);
  // Colour buffer `bufferIndex` into the texture (into face CubeMapFace of a
  // cube map). False, with nothing done, without a context or for an index
  // outside the context's colour buffers.
  virtual bool CopyToTexture(IGLFrameCopyTexture& texture, int32_t bufferIndex);

 protected:
  virtual void DoOnChange() {}
  // The viewer's own published properties, Width and Height stored when not
  // the class's default size.
  void DefineViewerProperties(TFiler& filer, int32_t defaultWidth, int32_t defaultHeight);

  // Drops the buffer's context.
  virtual void DoBufferStructuralChange();
  // Called after the context options were set and before the context is
  // made; empty here.
  virtual void PrepareGLContext() {}

 private:
  std::unique_ptr<TGL3DSceneBuffer> buffer_;
  int32_t width_ = 256;
  int32_t height_ = 256;
  int32_t cubeMapFace_ = 0;
};

inline constexpr int32_t kMaxMemoryViewerBuffers = 4;

class TGLMemoryViewer : public TGLNonVisualViewer {
  QIRA_CLASS(TGLMemoryViewer, TGLNonVisualViewer)

  TGLMemoryViewer() = default;

  // Makes the memory context when there is none (viewport Width x Height,
  // BufferCount colour buffers), then renders one frame into it. Errors of
  // the context or of the frame pass on.
  void Render(TGLBaseSceneObject* baseObject = nullptr) override;

  int32_t BufferCount() const { return bufferCount_; }
  // Clamped to 1..4; a change drops the context.
  void SetBufferCount(int32_t value);
  // The viewer's properties and BufferCount when not 1 (read through its
  // setter, which clamps it).
  void DefinePublished(TFiler& filer) override;

 private:
  void InstantiateRenderingContext();

  int32_t bufferCount_ = 1;
};

// Registers TGLMemoryViewer with the class registry.
void RegisterMemoryViewerClasses();

}  // namespace qira

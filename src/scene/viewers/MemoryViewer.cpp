#include "scene/viewers/MemoryViewer.h"

#include <algorithm>

#include "scene/graph/CameraLight.h"
#include "scene/components/ComponentStreams.h"

namespace qira {

// ========================================================= TGLNonVisualViewer

TGLNonVisualViewer::TGLNonVisualViewer() : buffer_(std::make_unique<TGL3DSceneBuffer>(this)) {
  buffer_->OnChange = [this](TObject*) { DoOnChange(); };
  buffer_->OnStructuralChange = [this](TObject*) { DoBufferStructuralChange(); };
  buffer_->OnPrepareContext = [this](TObject*) { PrepareGLContext(); };
}

TGLNonVisualViewer::~TGLNonVisualViewer() {
  // The derived parts are gone: no event may reach them while the buffer goes.
  buffer_->OnChange = nullptr;
  buffer_->OnStructuralChange = nullptr;
  buffer_->OnPrepareContext = nullptr;
  buffer_.reset();
}

void TGLNonVisualViewer::SetBuffer(const TGL3DSceneBuffer* value) {
  if (value != nullptr && value != buffer_.get()) buffer_->Assign(value);
}

TGLCamera* TGLNonVisualViewer::Camera() const { return buffer_->Camera(); }

void TGLNonVisualViewer::SetCamera(TGLCamera* value) { buffer_->SetCamera(value); }

void TGLNonVisualViewer::SetWidth(int32_t value) {
  value = std::max(value, 1);
  if (value == width_) return;
  width_ = value;
  DoBufferStructuralChange();
}

void TGLNonVisualViewer::SetHeight(int32_t value) {
  value = std::max(value, 1);
  if (value == height_) return;
  height_ = value;
  DoBufferStructuralChange();
}

void TGLNonVisualViewer::SetCubeMapFace(int32_t value) {
  if (value >= 0 && value <= 5) cubeMapFace_ = value;
}

void TGLNonVisualViewer::CopyToTexture(IGLFrameCopyTexture& texture) {
  buffer_->CopyToTexture(texture, 0, 0, width_, height_, 0, 0, 0, false);
}

bool TGLNonVisualViewer::CopyToTexture(IGLFrameCopyTexture& texture, int32_t bufferIndex) {
  return buffer_->CopyBufferToTexture(texture, bufferIndex, cubeMapFace_, width_, height_);
}

void TGLNonVisualViewer::DoBufferStructuralChange() { buffer_->DestroyRC(); }

// ============================================================ TGLMemoryViewer

void TGLMemoryViewer::Render(TGLBaseSceneObject* baseObject) {
  if (!Buffer().HasContext()) InstantiateRenderingContext();
  Buffer().RenderBaseObject(baseObject);
}

void TGLMemoryViewer::SetBufferCount(int32_t value) {
  value = std::clamp(value, 1, kMaxMemoryViewerBuffers);
  if (value == bufferCount_) return;
  bufferCount_ = value;
  DoBufferStructuralChange();
}

void TGLMemoryViewer::InstantiateRenderingContext() {
  TGL3DSceneBuffer& buffer = Buffer();
  buffer.Resize(Width(), Height());
  buffer.NotifyChange(&buffer);
  buffer.CreateRC(0, true, bufferCount_);
}

void RegisterMemoryViewerClasses() { RegisterClass(TGLMemoryViewer::StaticClass()); }

void TGLNonVisualViewer::DefineViewerProperties(TFiler& filer, int32_t defaultWidth, int32_t defaultHeight) {
  TComponent::DefinePublished(filer);
  DefineReference(filer, "Camera", Camera(), [this](TComponent& c) {
    if (auto* camera = dynamic_cast<TGLCamera*>(&c)) SetCamera(camera);
  });
  DefineInteger(filer, "Width", width_, width_ != defaultWidth, [this](int32_t v) { SetWidth(v); });
  DefineInteger(filer, "Height", height_, height_ != defaultHeight, [this](int32_t v) { SetHeight(v); });
  DefineNested(filer, "Buffer", *buffer_);
}

void TGLNonVisualViewer::DefinePublished(TFiler& filer) { DefineViewerProperties(filer, 256, 256); }

void TGLMemoryViewer::DefinePublished(TFiler& filer) {
  TGLNonVisualViewer::DefinePublished(filer);
  DefineInteger(filer, "BufferCount", bufferCount_, bufferCount_ != 1, [this](int32_t v) { SetBufferCount(v); });
}

}  // namespace qira

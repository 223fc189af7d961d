#include "model/BuiltNode.h"

#include "scene/components/Colors.h"
#include "scene/components/Components.h"
#include "scene/graph/CustomSceneObjects.h"
#include "scene/materials/Materials.h"
#include "scene/graph/SceneObject.h"
#include "scene/objects/Mesh.h"

namespace qira {

// ---- Materials ----------------------------------------------------------------------

TGLMaterial* MaterialOf(const TGLCustomSceneObject& node) {
  return dynamic_cast<TGLMaterial*>(&node.Material());
}

void ColorMaterial(const TGLCustomSceneObject& node, TColor color, float alpha, bool ambientToo) {
  TGLMaterial* material = MaterialOf(node);
  if (!material) return;
  const TVector c = ConvertWinColor(color, alpha);
  material->FrontProperties().Diffuse().SetColor(c);
  if (ambientToo) material->FrontProperties().Ambient().SetColor(c);
}

void SetMaterialBlending(const TGLCustomSceneObject& node, bool transparent) {
  if (TGLMaterial* material = MaterialOf(node))
    material->SetBlendingMode(transparent ? TBlendingMode::bmTransparency : TBlendingMode::bmOpaque);
}

// ---- The watcher --------------------------------------------------------------------

// Holds one node and drops it when the node is freed elsewhere.
class TBuiltNodeLink : public TComponent {
  QIRA_CLASS(TBuiltNodeLink, TComponent)

  TBuiltNodeLink() = default;
  ~TBuiltNodeLink() override { Free(); }

  TGLBaseSceneObject* Node() const { return node_; }

  void Attach(TGLBaseSceneObject& node) {
    if (node_ == &node) return;
    Free();
    node_ = &node;
    FreeNotification(node);
  }

  void Free() {
    TGLBaseSceneObject* node = node_;
    if (!node) return;
    node_ = nullptr;
    RemoveFreeNotification(*node);
    if (TComponent* owner = node->Owner())
      owner->DestroyComponent(*node);
    else
      delete node;
  }

 protected:
  void Notification(TComponent& component, TOperation operation) override {
    // Only the address is compared: the node's derived parts are already gone.
    if (operation == TOperation::opRemove && &component == node_) node_ = nullptr;
    TComponent::Notification(component, operation);
  }

 private:
  TGLBaseSceneObject* node_ = nullptr;
};

// ---- TBuiltNodeBase -----------------------------------------------------------------

TBuiltNodeBase::TBuiltNodeBase() = default;
TBuiltNodeBase::~TBuiltNodeBase() = default;
TBuiltNodeBase::TBuiltNodeBase(TBuiltNodeBase&&) noexcept = default;
TBuiltNodeBase& TBuiltNodeBase::operator=(TBuiltNodeBase&& other) noexcept {
  if (this != &other) {
    Free();
    link_ = std::move(other.link_);
  }
  return *this;
}

TGLBaseSceneObject* TBuiltNodeBase::Node() const { return link_ ? link_->Node() : nullptr; }

void TBuiltNodeBase::Free() {
  if (link_) link_->Free();
}

void TBuiltNodeBase::Attach(TGLBaseSceneObject& node) {
  if (!link_) link_ = std::make_unique<TBuiltNodeLink>();
  link_->Attach(node);
}

// ---- What a draw keeps ----------------------------------------------------------------

namespace {

bool SceneNodeDrawingHeld(const TGLBaseSceneObject& node) {
  bool held = true;
  if (const auto* mesh = dynamic_cast<const TGLMesh*>(&node); mesh != nullptr && mesh->SharedVertices() != nullptr) {
    // Its buffers are its compiled form; without them its next draw fills them again.
    held = mesh->SharedVertices()->InBuffers();
  } else if (!node.ObjectStyle().Contains(TGLObjectStyle::DirectDraw)) {
    held = node.HasDisplayList() && !node.Changes().Contains(TGLObjectChange::ListStale);
  }
  for (int i = 0; held && i < node.ChildCount(); ++i)
    if (const TGLBaseSceneObject* child = node.Children(i)) held = SceneNodeDrawingHeld(*child);
  return held;
}

}  // namespace

bool NodeDrawingHeld(const TBuiltNodeBase& node) {
  const TGLBaseSceneObject* built = node.Node();
  return built == nullptr || SceneNodeDrawingHeld(*built);
}

}  // namespace qira

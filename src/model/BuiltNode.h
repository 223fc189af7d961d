#pragma once
// An engine node that a scene object built and owns: created as a child of one of
// the view's scene nodes, freed by Free() or with its holder.
//
// The node lives in the view's scene tree, which may be torn down before the scene
// object (a window frees its scene, or a cube is freed with its subtree). The holder
// hears of that through the engine's free notification and lets go, so it never
// frees a node twice nor touches one that is gone.
//
// This header names the engine's classes without including them, so the kinds'
// headers stay usable beside the model's stream helpers.
#include <cstdint>
#include <initializer_list>
#include <memory>

#include "platform/CanvasTypes.h"

namespace qira {

class TGLBaseSceneObject;
class TGLCustomSceneObject;
class TGLMaterial;
class TBuiltNodeLink;

// The node's engine material; null while the engine's material classes are not
// registered (RegisterMaterialClasses, done by the view at start), when nodes draw
// without colours of their own.
TGLMaterial* MaterialOf(const TGLCustomSceneObject& node);
// Front diffuse (and, with ambientToo, ambient) := color with alpha. No material: nothing.
void ColorMaterial(const TGLCustomSceneObject& node, TColor color, float alpha, bool ambientToo);
// Blending bmTransparency when transparent is set, else bmOpaque. No material: nothing.
void SetMaterialBlending(const TGLCustomSceneObject& node, bool transparent);
// The alpha of an opacity byte (255 opaque).
inline float OpacityAlpha(uint8_t opacity) { return static_cast<float>(opacity) / 255.0f; }

// The part of TBuiltNode that does not depend on the node's class.
class TBuiltNodeBase {
 public:
  TBuiltNodeBase();
  // Frees the node still held.
  ~TBuiltNodeBase();
  TBuiltNodeBase(TBuiltNodeBase&&) noexcept;
  TBuiltNodeBase& operator=(TBuiltNodeBase&&) noexcept;

  // The node, or null when none was built or it was freed with the scene.
  TGLBaseSceneObject* Node() const;
  explicit operator bool() const { return Node() != nullptr; }
  // Frees the node (through its owner when it has one); nothing when none is held.
  void Free();

 protected:
  // Frees the node held before, then holds node (already in the scene tree).
  void Attach(TGLBaseSceneObject& node);

 private:
  std::unique_ptr<TBuiltNodeLink> link_;
};

// True when the node (and each node under it) holds what its draw builds and keeps,
// in a context that lives: a mesh's shared points in their buffers, a compiled list
// not stale; a node that draws straight every frame keeps nothing, and a node not
// built draws nothing: both true.
bool NodeDrawingHeld(const TBuiltNodeBase& node);
inline bool NodesDrawingHeld(std::initializer_list<const TBuiltNodeBase*> nodes) {
  for (const TBuiltNodeBase* node : nodes)
    if (!NodeDrawingHeld(*node)) return false;
  return true;
}

template <class T>
class TBuiltNode : public TBuiltNodeBase {
 public:
  T* get() const { return static_cast<T*>(Node()); }
  T* operator->() const { return get(); }
  T& operator*() const { return *get(); }

  // Frees the node held before, then makes a new T appended to parent's children
  // (owned, as engine children are, by parent's owner) and holds it.
  template <class Parent>
  T& Create(Parent& parent) {
    Free();
    T& node = parent.template AddNewChild<T>();
    Attach(node);
    return node;
  }
};

}  // namespace qira

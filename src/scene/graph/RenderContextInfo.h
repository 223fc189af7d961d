#pragma once
// The record handed down the scene tree during one scene pass: who renders
// (scene, buffer, state cache), from where (camera frame, frustum, clipping
// distances), how (sorting, culling, draw state) and the counters that
// materials use to nest their lighting-off and fog-off requests.
//
// The buffer builds one record per scene pass on its stack, zero-filled, and
// passes it by reference to every object's render operations; nothing may
// keep a pointer to it after the pass.
#include <cstdint>

#include "scene/math/VectorTypes.h"

namespace qira {

class TGL3DScene;
class TGL3DSceneBuffer;
class TGLStateCache;
class TPersistentObjectList;

// The order in which a node draws its children (the scene holds the default;
// osInherited means "as the parent").
enum class TGLObjectsSorting : uint8_t {
  osInherited,
  osNone,
  osRenderFarthestFirst,
  osRenderBlendedLast,
  osRenderNearestFirst
};

// How a node tests itself and its children against the frustum.
enum class TGLVisibilityCulling : uint8_t { vcInherited, vcNone, vcObjectBased, vcHierarchical };

// What the pass draws for: the screen, selection (reserved, never used here)
// or a bitmap for picture export.
enum class TDrawState : uint8_t { dsRendering = 0, dsPicking = 1, dsPrinting = 2 };

// The camera's view volume as the culling tests see it.
struct TRenderContextClippingInfo {
  TVector origin;              // camera position
  TVector clippingDirection;   // camera direction
  float viewPortRadius = 0.0f;
  float nearClippingDistance = 0.0f;
  float farClippingDistance = 0.0f;  // near distance + the camera's DepthOfView
  TFrustum frustum;                  // from model-view x projection, world space
};

struct TRenderContextInfo {
  TGL3DScene* scene = nullptr;        // the camera's scene
  TGL3DSceneBuffer* buffer = nullptr;  // the buffer running the pass
  TVector cameraPosition;             // absolute, w = 1
  TVector cameraDirection;            // absolute, unit, w = 0
  TVector cameraUp;                   // orthogonal to the direction, unit, w = 0
  // The buffer's current model-view matrix (see TGL3DSceneBuffer::PushModelView).
  const TMatrix* modelViewMatrix = nullptr;
  int32_t viewPortWidth = 0;
  int32_t viewPortHeight = 0;
  int32_t renderDPI = 96;
  // Nesting counters: a material with moIgnoreFog / moNoLighting counts up on
  // Apply and down on UnApply, also when the state is already off, so that an
  // inner UnApply cannot switch the state back on under an outer object.
  int32_t fogDisabledCounter = 0;
  int32_t lightingDisabledCounter = 0;
  TDrawState drawState = TDrawState::dsRendering;
  TGLObjectsSorting objectsSorting = TGLObjectsSorting::osRenderBlendedLast;
  TGLVisibilityCulling visibilityCulling = TGLVisibilityCulling::vcNone;
  TGLStateCache* GLStates = nullptr;  // the buffer's state cache
  TRenderContextClippingInfo rcci;
  TVector sceneAmbientColor;
  bool bufferFaceCull = true;
  // Set by a proxy while it draws its master's subtree.
  bool proxySubObject = false;
  // Colour writes are off for this pass (roNoColorBuffer): objects draw
  // without their materials.
  bool noColorWrites = false;
  // Materials leave the blending state alone.
  bool ignoreBlendingRequests = false;
  // A dummy cube is compiling its subtree into one display list.
  bool amalgamating = false;
  // Effects that asked, during the tree walk, to be drawn after the scene
  // (not owned; emptied at the start of each pass).
  TPersistentObjectList* afterRenderEffects = nullptr;
};

}  // namespace qira

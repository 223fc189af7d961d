#pragma once
// A tube swept along a path of nodes: every node carries its own radius
// factor and colour, the path may be smoothed by a cubic spline through the
// nodes, and both ends may be closed by flat disks. Boreholes, lines and
// polylines of the scene model are drawn with it.
//
// The geometry is computed as plain data (ComputeGeometry: triangle strips
// for the bands, triangle fans for the disks) and BuildList sends it to
// OpenGL in immediate mode every frame (DirectDraw), one primitive at a time.
//
// Sections: enumerations; nodes; geometry; TGLPipe; registration.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scene/objects/BasicSolids.h"
#include "scene/components/Colors.h"
#include "scene/objects/Quadrics.h"

namespace qira {

// -------------------------------------------------------------- enumerations

enum class TPipePart : uint8_t { ppOutside, ppInside, ppStartDisk, ppStopDisk };
using TPipeParts = TPartSet<TPipePart, 4>;

enum class TPipeNodesColorMode : uint8_t {
  pncmNone,
  pncmEmission,
  pncmAmbient,
  pncmDiffuse,
  pncmAmbientAndDiffuse
};

// --------------------------------------------------------------------- nodes

// A path node with a radius factor and a colour of its own. A change of
// either reaches the pipe like a change of the coordinates.
class TGLPipeNode : public TGLNode {
  QIRA_CLASS(TGLPipeNode, TGLNode)

  // RadiusFactor 1, colour opaque black.
  TGLPipeNode();
  ~TGLPipeNode() override;

  float RadiusFactor() const { return radiusFactor_; }
  // Stores a different value and tells the collection that this item changed.
  void SetRadiusFactor(float value);
  // The stored-property rule: written only when not 1.0.
  bool IsRadiusFactorStored() const { return radiusFactor_ != 1.0f; }

  TGLColor& Color() const { return *color_; }
  // Assigns the value's colour to the owned colour (which notifies).
  void SetColor(const TGLColor& value);

  // From a TGLPipeNode: RadiusFactor and the colour (without notification),
  // then the inherited coordinates. Other sources: inherited rules.
  void Assign(const TPersistent* source) override;
  // The inherited text and " / rf = " with the factor to three decimals.
  std::string GetDisplayName() const override;
  // X, Y, Z, RadiusFactor by its rule, and Color always.
  void DefinePublished(TFiler& filer) override;

 private:
  float radiusFactor_ = 1.0f;
  std::unique_ptr<TGLColor> color_;
};

// The node collection of a pipe: its items are TGLPipeNode. A change of a
// node reaches the owning pipe, which rebuilds its geometry.
//
// Derives from TGLNodes rather than from the lines' node collection: that
// one creates its items with the lines' own node class, which a pipe's
// nodes are not.
class TGLPipeNodes : public TGLNodes {
  QIRA_CLASS(TGLPipeNodes, TGLNodes)

  explicit TGLPipeNodes(TPersistent* owner);

  // EListError "Invalid list index" outside 0..Count()-1.
  TGLPipeNode& GetItem(int index) const { return static_cast<TGLPipeNode&>(TCollection::GetItem(index)); }
  TGLPipeNode& operator[](int index) const { return GetItem(index); }
  TGLPipeNode& Add() { return static_cast<TGLPipeNode&>(TCollection::Add()); }

  // A TGLPipeNodes owned by `owner` holding a copy of every node.
  std::unique_ptr<TGLNodes> CreateCopy(TPersistent* owner) const override;
};

// ------------------------------------------------------------------ geometry

// One vertex as it is sent: normal, then position; the colour is sent before
// it only when the pipe's node colours are on.
struct TPipeVertex {
  TAffineVector position;
  TAffineVector normal;
  TVector color;
};

enum class TPipePrimitiveKind : uint8_t { pkBand, pkDisk };

// A band is one GL_TRIANGLE_STRIP of 2 * (Slices + 1) vertices, each with its
// own normal and colour. A disk is one GL_TRIANGLE_FAN: the centre, then the
// rim; every vertex carries the disk's normal and colour, which are sent once.
struct TPipePrimitive {
  TPipePrimitiveKind kind = TPipePrimitiveKind::pkBand;
  std::vector<TPipeVertex> vertices;
};

struct TPipeGeometry {
  // Whether colours are sent (NodesColorMode is not pncmNone).
  bool nodeColors = false;
  // Rings built for the body after the first one.
  int64_t bodyRings = 0;
  // In drawing order: start disk, bands, stop disk.
  std::vector<TPipePrimitive> primitives;
};

// --------------------------------------------------------------------- TGLPipe

class TGLPipe : public TGLPolygonBase {
  QIRA_CLASS(TGLPipe, TGLPolygonBase)

  TGLPipe();
  ~TGLPipe() override;

  // The path; its items are TGLPipeNode.
  TGLPipeNodes& Nodes() const { return static_cast<TGLPipeNodes&>(TGLPolygonBase::Nodes()); }
  // Appends a node at the position (w 0, RadiusFactor 1, opaque black),
  // restructures and returns it.
  TGLPipeNode& AddNode(const TAffineVector& position);

  // Facets around the tube; values below 1 are ignored.
  int32_t Slices() const { return slices_; }
  void SetSlices(int32_t value);
  TPipeParts Parts() const { return parts_; }
  void SetParts(TPipeParts value);
  // The radius at a node is Radius * RadiusFactor.
  float Radius() const { return radius_; }
  void SetRadius(float value);
  TPipeNodesColorMode NodesColorMode() const { return nodesColorMode_; }
  void SetNodesColorMode(TPipeNodesColorMode value);

  // From a TGLPipe: Slices, Parts, Radius and NodesColorMode; then the
  // polygon base's assignment (nodes, Division, SplineMode).
  void Assign(const TPersistent* source) override;
  // The polygon base's (its nodes are pipe nodes), then Slices, Parts and
  // NodesColorMode when not their defaults, Radius always.
  void DefinePublished(TFiler& filer) override;
  // Per axis the largest |centre| + |Radius * RadiusFactor| over the ring
  // centres the tube passes through (the nodes, or the spline samples), so
  // the box holds every ring and disk; zero without nodes.
  TVector AxisAlignedDimensionsUnscaled() const override;

  // The whole tube as data; no OpenGL is called. No nodes: no primitive.
  TPipeGeometry ComputeGeometry() const;
  // The primitives of ComputeGeometry handed to emit one at a time, in drawing
  // order, each valid only during the call. Returns the body rings.
  int64_t EmitGeometry(const std::function<void(const TPipePrimitive&)>& emit) const;
  // The primitives sent in immediate mode as they are made; with node colours
  // on, the colour-material mode of NodesColorMode inside an enable-attribute
  // bracket, after which the state cache's material colours are reset (sent as
  // OpenGL's defaults and forgotten), since the node colours changed them.
  void BuildList(TRenderContextInfo& rci) override;

 private:
  static std::unique_ptr<TGLNodes> CreatePipeNodes(TGLPolygonBase& owner);

  int32_t slices_ = 16;
  TPipeParts parts_{TPipePart::ppOutside};
  float radius_ = 1.0f;
  TPipeNodesColorMode nodesColorMode_ = TPipeNodesColorMode::pncmNone;
};

// -------------------------------------------------------------- registration

// Registers TGLPipe and TGLPipeNode with the class registry.
void RegisterPipeClasses();

}  // namespace qira

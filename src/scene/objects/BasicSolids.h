#pragma once
// Four solid node classes: an axis-aligned box with selectable faces, the
// common base of GLU-quadric primitives, a sphere with latitude and longitude
// limits and optional caps, and the common base of objects shaped by a node
// list (polygons, extrusions). Each builds its geometry in BuildList and
// answers the bounding, ray-casting and silhouette questions of the base.
//
// Every published setter stores a value only when it differs from the
// current one and then calls StructureChanged, so the geometry is rebuilt on
// the next frame; exceptions are noted at the setter.
//
// Sections: enumerations; TGLCube; TGLQuadricObject; TGLSphere;
// TGLPolygonBase; registration.
#include <GL/glu.h>

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>

#include "scene/graph/CustomSceneObjects.h"
#include "scene/objects/Nodes.h"
#include "scene/objects/SphereStrips.h"

namespace qira {

class TBinaryStream;

// -------------------------------------------------------------- enumerations

enum class TCubePart : uint8_t { cpTop = 0, cpBottom = 1, cpFront = 2, cpBack = 3, cpLeft = 4, cpRight = 5 };

// A set of cube faces, bit i for the face of value i.
class TCubeParts {
 public:
  constexpr TCubeParts() = default;
  constexpr TCubeParts(std::initializer_list<TCubePart> parts) {
    for (TCubePart p : parts) Include(p);
  }
  static constexpr TCubeParts All() { return FromBits(0x3F); }
  static constexpr TCubeParts FromBits(uint8_t bits) {
    TCubeParts parts;
    parts.bits_ = static_cast<uint8_t>(bits & 0x3F);
    return parts;
  }
  constexpr bool Contains(TCubePart p) const { return (bits_ & Bit(p)) != 0; }
  constexpr void Include(TCubePart p) { bits_ = static_cast<uint8_t>(bits_ | Bit(p)); }
  constexpr void Exclude(TCubePart p) { bits_ = static_cast<uint8_t>(bits_ & ~Bit(p)); }
  constexpr uint8_t Bits() const { return bits_; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr bool operator==(const TCubeParts&) const = default;

 private:
  static constexpr uint8_t Bit(TCubePart p) { return static_cast<uint8_t>(1u << static_cast<unsigned>(p)); }
  uint8_t bits_ = 0;
};

enum class TNormalDirection : uint8_t { ndInside = 0, ndOutside = 1 };
enum class TNormalSmoothing : uint8_t { nsFlat = 0, nsSmooth = 1, nsNone = 2 };
enum class TCapType : uint8_t { ctNone = 0, ctCenter = 1, ctFlat = 2 };
// Latitude limit in degrees, -90..90.
using TAngleLimit1 = int8_t;
// Longitude limit in degrees, 0..360.
using TAngleLimit2 = uint16_t;
enum class TLineSplineMode : uint8_t {
  lsmLines,
  lsmCubicSpline,
  lsmBezierSpline,
  lsmNURBSCurve,
  lsmSegments,
  lsmLoop
};

// The enumerations above as published properties, stored when not the
// default given.
void DefineNormalDirection(TFiler& filer, TNormalDirection value, TNormalDirection defaultValue,
                           const std::function<void(TNormalDirection)>& set);
void DefineNormals(TFiler& filer, TNormalSmoothing value, TNormalSmoothing defaultValue,
                   const std::function<void(TNormalSmoothing)>& set);
void DefineSplineMode(TFiler& filer, TLineSplineMode value, const std::function<void(TLineSplineMode)>& set);

// ------------------------------------------------------------------- TGLCube

// A box centred on the origin of its frame, drawn every frame (DirectDraw).
// Stored form: the binary property "CubeSize", 12 bytes width, height, depth
// as little-endian singles, written only when one of them is not 1.0.
class TGLCube : public TGL3DSceneObject {
  QIRA_CLASS(TGLCube, TGL3DSceneObject)

  TGLCube();

  float CubeWidth() const { return width_; }
  float CubeHeight() const { return height_; }
  float CubeDepth() const { return depth_; }
  void SetCubeWidth(float value);
  void SetCubeHeight(float value);
  void SetCubeDepth(float value);
  TCubeParts Parts() const { return parts_; }
  void SetParts(TCubeParts value);
  TNormalDirection NormalDirection() const { return normalDirection_; }
  void SetNormalDirection(TNormalDirection value);

  // From a TGLCube: the sizes, Parts and NormalDirection; then inherited.
  void Assign(const TPersistent* source) override;
  // (width/2, height/2, depth/2, 0).
  TVector AxisAlignedDimensionsUnscaled() const override;
  // The face the ray enters, in the order +X, +Y, +Z, -X, -Y, -Z normals;
  // the point and the outward normal in absolute coordinates. Faces are
  // tested whatever Parts holds. A ray starting inside finds no face.
  bool RayCastIntersect(const TVector& rayStart, const TVector& rayVector, TVector* intersectPoint = nullptr,
                        TVector* intersectNormal = nullptr) const override;
  // The outline of the faces selected in Parts, seen from the seed vector.
  std::unique_ptr<TGLSilhouette> GenerateSilhouette(const TGLSilhouetteParameters& parameters) const override;
  // One GL_QUADS batch of the selected faces (front, back, left, right, top,
  // bottom), each with its normal and 2D texture coordinates.
  void BuildList(TRenderContextInfo& rci) override;

  // ---- stored form
  // Parts and NormalDirection; the sizes are stored only as "CubeSize".
  void DefinePublished(TFiler& filer) override;
  // "CubeSize" by StoreCubeSize; a block that is not 12 bytes is refused.
  void DefineProperties(TFiler& filer) override;
  bool StoreCubeSize() const;
  std::array<uint8_t, 12> CubeSizeData() const;
  void SetCubeSizeData(const std::array<uint8_t, 12>& data);
  // EWriteError / EReadError "Stream read error" (nothing changed) on failure;
  // a size that is not finite raises EReadError "Invalid property value".
  void WriteCubeSize(TBinaryStream& stream) const;
  void ReadCubeSize(TBinaryStream& stream);

 private:
  float width_ = 1.0f;
  float height_ = 1.0f;
  float depth_ = 1.0f;
  TCubeParts parts_ = TCubeParts::All();
  TNormalDirection normalDirection_ = TNormalDirection::ndOutside;
};

// ---------------------------------------------------------- TGLQuadricObject

class TGLQuadricObject : public TGL3DSceneObject {
  QIRA_CLASS(TGLQuadricObject, TGL3DSceneObject)

  TGLQuadricObject() = default;

  TNormalSmoothing Normals() const { return normals_; }
  void SetNormals(TNormalSmoothing value);
  TNormalDirection NormalDirection() const { return normalDirection_; }
  void SetNormalDirection(TNormalDirection value);

  // Fill style, normals from Normals, orientation from NormalDirection,
  // texture coordinates on.
  void SetupQuadricParams(GLUquadric* quadric) const;
  // GLU_OUTSIDE for ndOutside, GLU_INSIDE for ndInside; the inverted one the opposite.
  void SetNormalQuadricOrientation(GLUquadric* quadric) const;
  void SetInvertedQuadricOrientation(GLUquadric* quadric) const;

  // From a quadric object: Normals and NormalDirection; then inherited.
  void Assign(const TPersistent* source) override;
  // Normals and NormalDirection, when not their defaults.
  void DefinePublished(TFiler& filer) override;

 private:
  TNormalSmoothing normals_ = TNormalSmoothing::nsSmooth;
  TNormalDirection normalDirection_ = TNormalDirection::ndOutside;
};

// ----------------------------------------------------------------- TGLSphere

// A sphere of Radius about the frame's origin, between the latitudes Bottom
// and Top and the longitudes Start and Stop (degrees), optionally closed by
// caps; a point at latitude phi, longitude theta is
// (cos phi sin theta, sin phi, cos phi cos theta) * Radius.
class TGLSphere : public TGLQuadricObject {
  QIRA_CLASS(TGLSphere, TGLQuadricObject)

  TGLSphere() = default;

  float Radius() const { return radius_; }
  void SetRadius(float value);
  int32_t Slices() const { return slices_; }
  int32_t Stacks() const { return stacks_; }
  // Values below 1 become 1.
  void SetSlices(int32_t value);
  void SetStacks(int32_t value);
  // Latitudes are clamped to -90..90 and longitudes to 0..360, the ranges
  // of their types.
  TAngleLimit1 Top() const { return top_; }
  TAngleLimit1 Bottom() const { return bottom_; }
  void SetTop(int value);
  void SetBottom(int value);
  TAngleLimit2 Start() const { return start_; }
  TAngleLimit2 Stop() const { return stop_; }
  void SetStart(int value);
  void SetStop(int value);
  TCapType TopCap() const { return topCap_; }
  TCapType BottomCap() const { return bottomCap_; }
  void SetTopCap(TCapType value);
  void SetBottomCap(TCapType value);

  // From a TGLSphere: every published property, caps included; then the
  // quadric Assign.
  void Assign(const TPersistent* source) override;
  // Its fields in order: Radius always, the others when not their defaults.
  void DefinePublished(TFiler& filer) override;
  // (|radius|, |radius|, |radius|, 0).
  TVector AxisAlignedDimensionsUnscaled() const override;
  // Against the whole sphere of Radius (the angle limits are not looked at).
  // The normal is the local hit point taken as a direction, in absolute
  // coordinates, not normalised.
  bool RayCastIntersect(const TVector& rayStart, const TVector& rayVector, TVector* intersectPoint = nullptr,
                        TVector* intersectNormal = nullptr) const override;
  // A circle of max(Stacks, Slices) edges about the seed vector.
  std::unique_ptr<TGLSilhouette> GenerateSilhouette(const TGLSilhouetteParameters& parameters) const override;
  // What its draw sends: the strips of its stacks and a fan for each cap it closes
  // (a cap closes an opening the latitudes leave, when its type is flat or centre).
  TSphereStrips Strips() const;
  // Draws the strips and caps as Strips() says, and tells the renderer's queue each
  // vertex sent (RenderQueueSent).
  void BuildList(TRenderContextInfo& rci) override;

 private:
  bool TopCapped() const;
  bool BottomCapped() const;

  float radius_ = 0.5f;
  int32_t slices_ = 16;
  int32_t stacks_ = 16;
  TAngleLimit1 top_ = 90;
  TAngleLimit1 bottom_ = -90;
  TAngleLimit2 start_ = 0;
  TAngleLimit2 stop_ = 360;
  TCapType topCap_ = TCapType::ctNone;
  TCapType bottomCap_ = TCapType::ctNone;
};

// ------------------------------------------------------------ TGLPolygonBase

// Holds the nodes and the spline settings of polygons and extrusions; their
// drawing is their own. A change of the nodes rebuilds the geometry.
class TGLPolygonBase : public TGL3DSceneObject {
  QIRA_CLASS(TGLPolygonBase, TGL3DSceneObject)

  // Makes the node collection of a new object (the overridable CreateNodes):
  // a descendant that needs another node class passes its own factory to
  // the protected constructor, since a constructor cannot reach overrides.
  using TNodesFactory = std::unique_ptr<TGLNodes> (*)(TGLPolygonBase& owner);
  // A TGLNodes of TGLNode items owned by `owner`.
  static std::unique_ptr<TGLNodes> CreateNodes(TGLPolygonBase& owner);

  TGLPolygonBase() : TGLPolygonBase(&CreateNodes) {}
  ~TGLPolygonBase() override;

  int32_t Division() const { return division_; }
  // Values below 1 become 1.
  void SetDivision(int32_t value);
  TLineSplineMode SplineMode() const { return splineMode_; }
  void SetSplineMode(TLineSplineMode value);
  TGLNodes& Nodes() const { return *nodes_; }
  // Assigns the given nodes into the own ones, then StructureChanged (always).
  void SetNodes(const TGLNodes& value);

  // Appends a node at the position (w 0) and restructures.
  void AddNode(const TAffineVector& position);

  // From a polygon base: Nodes through the setter, Division and SplineMode
  // directly; then inherited.
  void Assign(const TPersistent* source) override;
  // A change reported by the own nodes restructures first; then inherited.
  void NotifyChange(TObject* sender) override;
  // Division, SplineMode and Nodes (a node list replaces the nodes held).
  void DefinePublished(TFiler& filer) override;

 protected:
  explicit TGLPolygonBase(TNodesFactory createNodes);

 private:
  std::unique_ptr<TGLNodes> nodes_;
  int32_t division_ = 10;
  TLineSplineMode splineMode_ = TLineSplineMode::lsmLines;
};

// -------------------------------------------------------------- registration

// Registers TGLSphere and TGLCube with the class registry (with the node
// class of the node lists).
void RegisterBasicSolidsClasses();

}  // namespace qira

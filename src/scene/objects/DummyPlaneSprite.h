#pragma once
// Three simple nodes and two shared drawing routines: the dummy cube (an
// invisible grouping node that can show its wireframe and can compile its
// whole subtree into one display list), the plane (a rectangle in its local
// XY plane with texture tiling) and the sprite (a rectangle that always faces
// the camera). The wireframe cube and the dodecahedron are reused by the line
// node markers.
//
// Sections: shared drawing routines; TGLDummyCube; TGLPlane; TGLSprite;
// registration.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "scene/components/Colors.h"
#include "scene/graph/CustomSceneObjects.h"
#include "scene/gl/RenderingContext.h"

namespace qira {

class TGLStateCache;

// ------------------------------------------------ shared drawing routines

// The twelve edges of a cube of edge `size` centred on the origin, unlit, in
// `color` (emission), one pixel wide and smoothed; stippled lines are blended
// with the 0xCCCC pattern. Every state it changes is restored (attribute
// stack), and the state cache's material colours are reset.
void CubeWireframeBuildList(TRenderContextInfo& rci, bool stippled, const TVector& color, float size);

// A solid regular dodecahedron of circumradius about 0.52 (vertices below),
// one flat-shaded triangle fan per face.
void DodecahedronBuildList();

inline constexpr std::array<TAffineVector, 20> kDodecahedronVertices{{
    {-0.48541f, 0.0f, 0.18541f},  {-0.48541f, 0.0f, -0.18541f}, {0.48541f, 0.0f, -0.18541f},
    {0.48541f, 0.0f, 0.18541f},   {0.18541f, -0.48541f, 0.0f},  {-0.18541f, -0.48541f, 0.0f},
    {-0.18541f, 0.48541f, 0.0f},  {0.18541f, 0.48541f, 0.0f},   {0.0f, 0.18541f, -0.48541f},
    {0.0f, -0.18541f, -0.48541f}, {0.0f, -0.18541f, 0.48541f},  {0.0f, 0.18541f, 0.48541f},
    {-0.3f, -0.3f, 0.3f},         {-0.3f, -0.3f, -0.3f},        {0.3f, -0.3f, -0.3f},
    {0.3f, -0.3f, 0.3f},          {-0.3f, 0.3f, 0.3f},          {-0.3f, 0.3f, -0.3f},
    {0.3f, 0.3f, -0.3f},          {0.3f, 0.3f, 0.3f},
}};

// Vertex indices of each face, in drawing order.
inline constexpr std::array<std::array<uint8_t, 5>, 12> kDodecahedronFaces{{
    {0, 12, 10, 11, 16},
    {1, 17, 8, 9, 13},
    {2, 14, 9, 8, 18},
    {3, 19, 11, 10, 15},
    {4, 14, 2, 3, 15},
    {5, 12, 0, 1, 13},
    {6, 17, 1, 0, 16},
    {7, 19, 3, 2, 18},
    {8, 17, 6, 7, 18},
    {9, 14, 4, 5, 13},
    {10, 12, 5, 4, 15},
    {11, 19, 7, 6, 16},
}};

// ------------------------------------------------------------ TGLDummyCube

// (Sender, rci) -> False: neither the cube nor its subtree is drawn this pass.
using TGLVisibilityDeterminationEvent = std::function<bool(TObject* sender, TRenderContextInfo& rci)>;

// A grouping node. It draws nothing of its own unless VisibleAtRunTime (then
// its wireframe, stippled, in EdgeColor). With Amalgamate, the node and its
// whole subtree are compiled into one display list on the first frame and
// replayed afterwards; the list is compiled again after a structure change of
// this node (a change below it is not seen: call StructureChanged here).
class TGLDummyCube : public TGLCameraInvariantObject {
  QIRA_CLASS(TGLDummyCube, TGLCameraInvariantObject)

  TGLDummyCube();
  ~TGLDummyCube() override;

  float CubeSize() const { return cubeSize_; }
  void SetCubeSize(float value);
  TGLColor& EdgeColor() const { return *edgeColor_; }
  // Copies the colour into the owned one.
  void SetEdgeColor(const TGLColor& value);
  bool VisibleAtRunTime() const { return visibleAtRunTime_; }
  void SetVisibleAtRunTime(bool value);
  bool Amalgamate() const { return amalgamate_; }
  // True also sets the ResetsFrontFace style; false frees the compiled list
  // and clears that style.
  void SetAmalgamate(bool value);
  TGLVisibilityDeterminationEvent OnVisibilityDetermination;

  // True while a compiled subtree list exists.
  bool HasAmalgamatedList() const { return amalgamatedList_ != nullptr && amalgamatedList_->Handle() != 0; }

  // CubeSize, EdgeColor, VisibleAtRunTime and Amalgamate, then the inherited part.
  void Assign(const TPersistent* source) override;
  // CamInvarianceMode, VisibleAtRunTime and Amalgamate when not their
  // defaults, CubeSize and EdgeColor always (the visibility event is not stored).
  void DefinePublished(TFiler& filer) override;
  // |CubeSize| / 2 on each axis, w 0.
  TVector AxisAlignedDimensionsUnscaled() const override;
  // The cube is never hit.
  bool RayCastIntersect(const TVector& rayStart, const TVector& rayVector, TVector* intersectPoint = nullptr,
                        TVector* intersectNormal = nullptr) const override;
  // The average of the children's barycentres; the own absolute position without children.
  TVector BarycenterAbsolutePosition() const override;
  void BuildList(TRenderContextInfo& rci) override;
  void DoRender(TRenderContextInfo& rci, bool renderSelf, bool renderChildren) override;
  // Frees the compiled subtree list when amalgamating, then as inherited.
  void StructureChanged() override;
  // The node's own list and the compiled subtree list.
  void DestroyHandle() override;

 private:
  // Brings the cache's flags of `mask` to `values` (bit per TGLState).
  static void ApplyCachedStates(TGLStateCache& cache, uint32_t mask, uint32_t values);

  std::unique_ptr<TGLColor> edgeColor_;
  std::unique_ptr<TGLListHandle> amalgamatedList_;
  float cubeSize_ = 1.0f;
  bool visibleAtRunTime_ = false;
  bool amalgamate_ = false;
  // Enable flags the compiled list changes, and their values after it.
  uint32_t listStatesChanged_ = 0;
  uint32_t listStatesAfter_ = 0;
};

// ---------------------------------------------------------------- TGLPlane

enum class TPlaneStyle : uint8_t { psSingleQuad = 1, psTileTexture = 2 };
using TPlaneStyles = TGLFlagSet<TPlaneStyle>;

// A Width x Height rectangle centred on the origin of its XY plane, facing +z.
class TGLPlane : public TGL3DSceneObject {
  QIRA_CLASS(TGLPlane, TGL3DSceneObject)

  TGLPlane();

  float XOffset() const { return xOffset_; }
  void SetXOffset(float value);
  float YOffset() const { return yOffset_; }
  void SetYOffset(float value);
  // At most 1: a larger value is stored as 1.
  float XScope() const { return xScope_; }
  void SetXScope(float value);
  float YScope() const { return yScope_; }
  void SetYScope(float value);
  float Width() const { return width_; }
  void SetWidth(float value);
  float Height() const { return height_; }
  void SetHeight(float value);
  // At least 1: a smaller value is stored as 1 (a grid needs one cell).
  int32_t XTiles() const { return xTiles_; }
  void SetXTiles(int32_t value);
  int32_t YTiles() const { return yTiles_; }
  void SetYTiles(int32_t value);
  TPlaneStyles Style() const { return style_; }
  void SetStyle(TPlaneStyles value);
  bool NoZWrite() const { return noZWrite_; }
  void SetNoZWrite(bool value);

  // Every published field, then the inherited part.
  void Assign(const TPersistent* source) override;
  // Every published field in order: the floats always (XScope and YScope:
  // when not 1), the others when not their defaults. A scope or a tile count
  // read goes through its setter.
  void DefinePublished(TFiler& filer) override;
  // |Width| / 2, |Height| / 2, 0.
  TVector AxisAlignedDimensionsUnscaled() const override;
  // Hits the rectangle (edges included) from either side; the normal is the
  // plane's absolute direction, negated for a ray coming from below.
  bool RayCastIntersect(const TVector& rayStart, const TVector& rayVector, TVector* intersectPoint = nullptr,
                        TVector* intersectNormal = nullptr) const override;
  // The four corners (+,+), (+,-), (-,-), (-,+), the four edges around, and
  // the two cap triangles when capping is asked for.
  std::unique_ptr<TGLSilhouette> GenerateSilhouette(const TGLSilhouetteParameters& parameters) const override;
  void BuildList(TRenderContextInfo& rci) override;

 private:
  float xOffset_ = 0.0f;
  float yOffset_ = 0.0f;
  float xScope_ = 1.0f;
  float yScope_ = 1.0f;
  float width_ = 1.0f;
  float height_ = 1.0f;
  int32_t xTiles_ = 1;
  int32_t yTiles_ = 1;
  TPlaneStyles style_{TPlaneStyle::psSingleQuad, TPlaneStyle::psTileTexture};
  bool noZWrite_ = false;
};

// --------------------------------------------------------------- TGLSprite

// A Width x Height rectangle centred on its position that always faces the
// camera, turned by Rotation degrees about the viewing axis.
class TGLSprite : public TGL3DSceneObject {
  QIRA_CLASS(TGLSprite, TGL3DSceneObject)

  TGLSprite();

  float Width() const { return width_; }
  void SetWidth(float value);
  float Height() const { return height_; }
  void SetHeight(float value);
  float Rotation() const { return rotation_; }
  void SetRotation(float value);
  // Clamped to 0..1.
  float AlphaChannel() const { return alphaChannel_; }
  void SetAlphaChannel(float value);
  bool NoZWrite() const { return noZWrite_; }
  void SetNoZWrite(bool value);
  bool MirrorU() const { return mirrorU_; }
  void SetMirrorU(bool value);
  bool MirrorV() const { return mirrorV_; }
  void SetMirrorV(bool value);

  // Every published field, then the inherited part.
  void Assign(const TPersistent* source) override;
  // Every published field in order: Width, Height (IsWidthStored,
  // IsHeightStored) and Rotation always, AlphaChannel when not 1, the flags
  // when set. An AlphaChannel read goes through its setter (clamped to 0..1).
  void DefinePublished(TFiler& filer) override;
  // The stored-property rules of the sizes: written only when not the
  // default size (1 here) ...
  // Always for a sprite; a heads-up sprite has a rule of its own.
  virtual bool IsWidthStored() const { return true; }
  virtual bool IsHeightStored() const { return true; }
  // ... and of AlphaChannel: only when not 1.
  bool IsAlphaChannelStored() const { return alphaChannel_ != 1.0f; }
  // |Width| / 2, |Height| / 2, |Width| / 2.
  TVector AxisAlignedDimensionsUnscaled() const override;
  void BuildList(TRenderContextInfo& rci) override;

  // Texture coordinates of the corners (right-top, left-top, left-bottom,
  // right-bottom, the order BuildList draws them) for the mirror flags.
  std::array<TTexPoint, 4> CornerTexPoints() const;

 private:
  float width_ = 1.0f;
  float height_ = 1.0f;
  float rotation_ = 0.0f;
  float alphaChannel_ = 1.0f;
  bool noZWrite_ = false;
  bool mirrorU_ = false;
  bool mirrorV_ = false;
};

// ------------------------------------------------------------ registration

// Registers TGLDummyCube, TGLPlane and TGLSprite with the class registry.
void RegisterDummyPlaneSpriteClasses();

}  // namespace qira

#pragma once
// The solids beside the pipe: TGLRevolutionSolid sweeps its profile (the
// node path) about the Y axis, optionally rising as a helix, and
// TGLExtrusionSolid extrudes the outlines of a multi-polygon along +Z.
//
// Sections: enumerations; TGLRevolutionSolid; TGLExtrusionSolid; registration.
#include <cstdint>

#include "scene/objects/MultiPolygon.h"

namespace qira {

enum class TRevolutionSolidPart : uint8_t { rspOutside, rspInside, rspStartPolygon, rspStopPolygon };
using TRevolutionSolidParts = TPartSet<TRevolutionSolidPart, 4>;
enum class TExtrusionSolidPart : uint8_t { espOutside, espInside, espStartPolygon, espStopPolygon };
using TExtrusionSolidParts = TPartSet<TExtrusionSolidPart, 4>;

// ------------------------------------------------------- TGLRevolutionSolid

class TGLRevolutionSolid : public TGLPolygonBase {
  QIRA_CLASS(TGLRevolutionSolid, TGLPolygonBase)

  TGLRevolutionSolid() = default;

  // Facets per full turn; values below 1 are ignored.
  int32_t Slices() const { return slices_; }
  void SetSlices(int32_t value);
  // Degrees. A start above the stop raises the stop to it; a stop below the
  // start lowers the start to it.
  float StartAngle() const { return startAngle_; }
  void SetStartAngle(float value);
  float StopAngle() const { return stopAngle_; }
  // Stored only when not 360.
  bool IsStopAngleStored() const { return stopAngle_ != 360.0f; }
  void SetStopAngle(float value);
  TNormalSmoothing Normals() const { return normals_; }
  void SetNormals(TNormalSmoothing value);
  // Rise along Y per full turn.
  float YOffsetPerTurn() const { return yOffsetPerTurn_; }
  void SetYOffsetPerTurn(float value);
  TNormalDirection NormalDirection() const { return normalDirection_; }
  void SetNormalDirection(TNormalDirection value);
  TRevolutionSolidParts Parts() const { return parts_; }
  void SetParts(TRevolutionSolidParts value);

  // Angle steps of the sweep: Slices per full turn, rounded; 0 draws nothing.
  int32_t SweepSteps() const;

  void Assign(const TPersistent* source) override;
  // The polygon base's, then its fields in order: StartAngle and
  // YOffsetPerTurn always, StopAngle when not 360, the others when not their
  // defaults.
  void DefinePublished(TFiler& filer) override;
  // Also marks the half extents stale.
  void StructureChanged() override;
  // (r, yMax, r): r the largest distance of a node from the Y axis, yMax the
  // largest |y| of a node.
  TVector AxisAlignedDimensionsUnscaled() const override;
  void BuildList(TRenderContextInfo& rci) override;

 private:
  void BuildSides(bool inside, float a0, int32_t steps, float angleStep, float textureStep, float y0, float yStep);
  void BuildCap(float angleDegrees, float y, float normalAngle) const;

  int32_t slices_ = 16;
  float startAngle_ = 0.0f;
  float stopAngle_ = 360.0f;
  TNormalSmoothing normals_ = TNormalSmoothing::nsFlat;
  float yOffsetPerTurn_ = 0.0f;
  TNormalDirection normalDirection_ = TNormalDirection::ndOutside;
  TRevolutionSolidParts parts_{TRevolutionSolidPart::rspOutside};
  mutable TVector extents_{-1.0f, 0.0f, 0.0f, 0.0f};
};

// -------------------------------------------------------- TGLExtrusionSolid

class TGLExtrusionSolid : public TMultiPolygonBase {
  QIRA_CLASS(TGLExtrusionSolid, TMultiPolygonBase)

  TGLExtrusionSolid() = default;

  // Subdivisions along the height; values below 1 are ignored.
  int32_t Stacks() const { return stacks_; }
  void SetStacks(int32_t value);
  TNormalSmoothing Normals() const { return normals_; }
  void SetNormals(TNormalSmoothing value);
  TNormalDirection NormalDirection() const { return normalDirection_; }
  void SetNormalDirection(TNormalDirection value);
  TExtrusionSolidParts Parts() const { return parts_; }
  void SetParts(TExtrusionSolidParts value);
  // Along +Z (negative: along -Z).
  float Height() const { return height_; }
  void SetHeight(float value);
  // Degrees; neighbouring sides meeting at a smaller angle share their normal
  // with nsSmooth. A change does not rebuild a compiled list.
  float MinSmoothAngle() const { return minSmoothAngle_; }
  void SetMinSmoothAngle(float value);

  // Stacks, Normals, NormalDirection and Parts, then the contours.
  void Assign(const TPersistent* source) override;
  // The multi-polygon base's, then its fields in order: Height and
  // MinSmoothAngle always, the others when not their defaults.
  void DefinePublished(TFiler& filer) override;
  void StructureChanged() override;
  // As the multi-polygon's, the Z range extended by Height.
  TVector AxisAlignedDimensionsUnscaled() const override;
  void BuildList(TRenderContextInfo& rci) override;

 private:
  void BuildSides(const std::vector<TAffineVector>& outline, bool inside) const;

  int32_t stacks_ = 1;
  TNormalSmoothing normals_ = TNormalSmoothing::nsFlat;
  TNormalDirection normalDirection_ = TNormalDirection::ndOutside;
  TExtrusionSolidParts parts_{TExtrusionSolidPart::espOutside};
  float height_ = 1.0f;
  float minSmoothAngle_ = 5.0f;
  float minSmoothAngleCosine_ = 0.99619469f;
  mutable TVector extents_{-1.0f, 0.0f, 0.0f, 0.0f};
};

// Registers TGLRevolutionSolid and TGLExtrusionSolid (with the multi-polygon
// classes) with the class registry; the pipe's registration calls it.
void RegisterExtrusionSolidsClasses();

}  // namespace qira

#pragma once
// Scene objects built from simple solids: disk, cone, cylinder, annulus,
// arrow line, capsule, torus, frustum and a flat polygon. Each emits its
// geometry in BuildList, reports its half extents, and most answer ray casts
// exactly through the polynomial root solvers.
//
// Every published setter stores a value only when it differs from the
// current one and then calls StructureChanged; exceptions are noted at the
// setter.
//
// Sections: part sets; TGLDisk; cylinder family; TGLCapsule; TGLTorus;
// TGLFrustrum; TGLPolygon; registration.
#include <GL/glu.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>

#include "scene/components/ComponentStreams.h"
#include "scene/objects/BasicSolids.h"

namespace qira {

class TBinaryStream;

// ------------------------------------------------------------------ part sets

// A set of the values of a small enumeration E of N members, bit i for the
// member of value i.
template <typename E, unsigned N>
class TPartSet {
 public:
  constexpr TPartSet() = default;
  constexpr TPartSet(std::initializer_list<E> parts) {
    for (E p : parts) Include(p);
  }
  static constexpr TPartSet All() { return FromBits(kMask); }
  static constexpr TPartSet FromBits(uint8_t bits) {
    TPartSet parts;
    parts.bits_ = static_cast<uint8_t>(bits & kMask);
    return parts;
  }
  constexpr bool Contains(E p) const { return (bits_ & Bit(p)) != 0; }
  constexpr void Include(E p) { bits_ = static_cast<uint8_t>(bits_ | Bit(p)); }
  constexpr void Exclude(E p) { bits_ = static_cast<uint8_t>(bits_ & ~Bit(p)); }
  constexpr uint8_t Bits() const { return bits_; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr bool operator==(const TPartSet&) const = default;

 private:
  static constexpr uint8_t kMask = static_cast<uint8_t>((1u << N) - 1u);
  static constexpr uint8_t Bit(E p) { return static_cast<uint8_t>(1u << static_cast<unsigned>(p)); }
  uint8_t bits_ = 0;
};

// A part set stored as the property "Parts" (its bits) when it differs from
// the class's default set.
template <class TSet, class Setter>
void DefineParts(TFiler& filer, TSet parts, TSet defaultParts, Setter set) {
  DefineFlags(filer, "Parts", parts.Bits(), TSet::All().Bits(), parts != defaultParts,
              [set](uint32_t bits) { set(TSet::FromBits(static_cast<uint8_t>(bits))); });
}

enum class TConePart : uint8_t { coSides, coBottom };
using TConeParts = TPartSet<TConePart, 2>;
enum class TCylinderPart : uint8_t { cySides, cyBottom, cyTop };
using TCylinderParts = TPartSet<TCylinderPart, 3>;
enum class TCylinderAlignment : uint8_t { caCenter, caTop, caBottom };
enum class TAnnulusPart : uint8_t { anInnerSides, anOuterSides, anBottom, anTop };
using TAnnulusParts = TPartSet<TAnnulusPart, 4>;
enum class TArrowLinePart : uint8_t { alLine, alTopArrow, alBottomArrow };
using TArrowLineParts = TPartSet<TArrowLinePart, 3>;
enum class TArrowHeadStackingStyle : uint8_t { ahssStacked, ahssCentered, ahssIncluded };
enum class TFrustrumPart : uint8_t { fpTop, fpBottom, fpFront, fpBack, fpLeft, fpRight };
using TFrustrumParts = TPartSet<TFrustrumPart, 6>;
enum class TPolygonPart : uint8_t { ppTop, ppBottom };
using TPolygonParts = TPartSet<TPolygonPart, 2>;

// -------------------------------------------------------------------- TGLDisk

// gluPartialDisk in the XY plane of the object's frame; angles in degrees,
// 0 on +Y, 90 on +X.
class TGLDisk : public TGLQuadricObject {
  QIRA_CLASS(TGLDisk, TGLQuadricObject)

  TGLDisk() = default;

  float StartAngle() const { return startAngle_; }
  void SetStartAngle(float value);
  float SweepAngle() const { return sweepAngle_; }
  void SetSweepAngle(float value);
  float OuterRadius() const { return outerRadius_; }
  void SetOuterRadius(float value);
  float InnerRadius() const { return innerRadius_; }
  void SetInnerRadius(float value);
  int32_t Slices() const { return slices_; }
  void SetSlices(int32_t value);
  int32_t Loops() const { return loops_; }
  void SetLoops(int32_t value);

  void Assign(const TPersistent* source) override;
  // Its fields in order: the floats always, the others when not their defaults.
  void DefinePublished(TFiler& filer) override;
  // (|OuterRadius|, |OuterRadius|, 0, 0).
  TVector AxisAlignedDimensionsUnscaled() const override;
  // Against the swept ring in the disk's plane; never with SweepAngle <= 0.
  // The normal is the absolute Z axis.
  bool RayCastIntersect(const TVector& rayStart, const TVector& rayVector, TVector* intersectPoint = nullptr,
                        TVector* intersectNormal = nullptr) const override;
  void BuildList(TRenderContextInfo& rci) override;

 private:
  float startAngle_ = 0.0f;
  float sweepAngle_ = 360.0f;
  float outerRadius_ = 0.5f;
  float innerRadius_ = 0.0f;
  int32_t slices_ = 16;
  int32_t loops_ = 2;
};

// ------------------------------------------------------------ cylinder family

// Common part of the solids of revolution drawn around the object's Y axis
// (the arrow line around Z): a bottom radius, a top radius and a height.
class TGLCylinderBase : public TGLQuadricObject {
  QIRA_CLASS(TGLCylinderBase, TGLQuadricObject)

  TGLCylinderBase() = default;

  float BottomRadius() const { return bottomRadius_; }
  void SetBottomRadius(float value);
  int32_t Slices() const { return slices_; }
  void SetSlices(int32_t value);
  int32_t Stacks() const { return stacks_; }
  void SetStacks(int32_t value);
  int32_t Loops() const { return loops_; }
  // Values below 1 are ignored.
  void SetLoops(int32_t value);
  float Height() const { return height_; }
  void SetHeight(float value);
  // The radius at the top end (here BottomRadius).
  virtual float GetTopRadius() const { return bottomRadius_; }

  void Assign(const TPersistent* source) override;
  // Its fields in order: the floats always, the counts when not their
  // defaults. A Loops read goes through its setter (below 1 ignored).
  void DefinePublished(TFiler& filer) override;
  // The outline of a truncated cone of at least 5 slices between
  // y = -Height/2 (BottomRadius) and y = +Height/2 (the top radius).
  std::unique_ptr<TGLSilhouette> GenerateSilhouette(const TGLSilhouetteParameters& parameters) const override;

 private:
  float bottomRadius_ = 0.5f;
  int32_t slices_ = 16;
  int32_t stacks_ = 4;
  int32_t loops_ = 1;
  float height_ = 1.0f;
};

// A cone around Y, base (BottomRadius) at y = -Height/2, apex at +Height/2.
class TGLCone : public TGLCylinderBase {
  QIRA_CLASS(TGLCone, TGLCylinderBase)

  TGLCone() = default;

  TConeParts Parts() const { return parts_; }
  void SetParts(TConeParts value);
  float GetTopRadius() const override { return 0.0f; }

  void Assign(const TPersistent* source) override;
  // The cylinder base's, then Parts.
  void DefinePublished(TFiler& filer) override;
  // (|BottomRadius|, Height/2, |BottomRadius|, 0).
  TVector AxisAlignedDimensionsUnscaled() const override;
  bool RayCastIntersect(const TVector& rayStart, const TVector& rayVector, TVector* intersectPoint = nullptr,
                        TVector* intersectNormal = nullptr) const override;
  void BuildList(TRenderContextInfo& rci) override;

 private:
  TConeParts parts_{TConePart::coSides, TConePart::coBottom};
};

// A (possibly tapered) cylinder around Y, placed by Alignment: centred on
// the origin, hanging below it (caTop) or standing on it (caBottom).
class TGLCylinder : public TGLCylinderBase {
  QIRA_CLASS(TGLCylinder, TGLCylinderBase)

  TGLCylinder() = default;

  TCylinderParts Parts() const { return parts_; }
  void SetParts(TCylinderParts value);
  float TopRadius() const { return topRadius_; }
  void SetTopRadius(float value);
  float GetTopRadius() const override { return topRadius_; }
  TCylinderAlignment Alignment() const { return alignment_; }
  void SetAlignment(TCylinderAlignment value);

  // Parts and TopRadius (not Alignment); then inherited.
  void Assign(const TPersistent* source) override;
  // The cylinder base's, then Parts, TopRadius and Alignment.
  void DefinePublished(TFiler& filer) override;
  // (r, Height/2, r, 0), r the larger absolute radius, whatever the alignment.
  TVector AxisAlignedDimensionsUnscaled() const override;
  // Against the straight cylinder of TopRadius and its flat caps.
  bool RayCastIntersect(const TVector& rayStart, const TVector& rayVector, TVector* intersectPoint = nullptr,
                        TVector* intersectNormal = nullptr) const override;
  void BuildList(TRenderContextInfo& rci) override;

 private:
  TCylinderParts parts_ = TCylinderParts::All();
  float topRadius_ = 0.5f;
  TCylinderAlignment alignment_ = TCylinderAlignment::caCenter;
};

// A thick tube around Y between y = -Height/2 and +Height/2.
class TGLAnnulus : public TGLCylinderBase {
  QIRA_CLASS(TGLAnnulus, TGLCylinderBase)

  TGLAnnulus() = default;

  TAnnulusParts Parts() const { return parts_; }
  void SetParts(TAnnulusParts value);
  float BottomInnerRadius() const { return bottomInnerRadius_; }
  void SetBottomInnerRadius(float value);
  float TopInnerRadius() const { return topInnerRadius_; }
  void SetTopInnerRadius(float value);
  float TopRadius() const { return topRadius_; }
  void SetTopRadius(float value);
  float GetTopRadius() const override { return topRadius_; }

  void Assign(const TPersistent* source) override;
  // The cylinder base's, then Parts and the three radii.
  void DefinePublished(TFiler& filer) override;
  TVector AxisAlignedDimensionsUnscaled() const override;
  // Against the facing cap ring and the straight cylinders of TopRadius and
  // TopInnerRadius.
  bool RayCastIntersect(const TVector& rayStart, const TVector& rayVector, TVector* intersectPoint = nullptr,
                        TVector* intersectNormal = nullptr) const override;
  void BuildList(TRenderContextInfo& rci) override;

 private:
  TAnnulusParts parts_ = TAnnulusParts::All();
  float bottomInnerRadius_ = 0.3f;
  float topInnerRadius_ = 0.3f;
  float topRadius_ = 0.5f;
};

// A line along Z from -Height/2 to +Height/2 with optional cone heads at
// its ends; HeadStackingStyle places each head beyond the end (stacked),
// across it (centred) or within the line's length (included).
class TGLArrowLine : public TGLCylinderBase {
  QIRA_CLASS(TGLArrowLine, TGLCylinderBase)

  TGLArrowLine();

  TArrowLineParts Parts() const { return parts_; }
  void SetParts(TArrowLineParts value);
  float TopRadius() const { return topRadius_; }
  void SetTopRadius(float value);
  float GetTopRadius() const override { return topRadius_; }
  float TopArrowHeadHeight() const { return topArrowHeadHeight_; }
  void SetTopArrowHeadHeight(float value);
  float TopArrowHeadRadius() const { return topArrowHeadRadius_; }
  void SetTopArrowHeadRadius(float value);
  float BottomArrowHeadHeight() const { return bottomArrowHeadHeight_; }
  void SetBottomArrowHeadHeight(float value);
  float BottomArrowHeadRadius() const { return bottomArrowHeadRadius_; }
  void SetBottomArrowHeadRadius(float value);
  TArrowHeadStackingStyle HeadStackingStyle() const { return headStackingStyle_; }
  void SetHeadStackingStyle(TArrowHeadStackingStyle value);

  void Assign(const TPersistent* source) override;
  // The cylinder base's (BottomRadius against 0.1), then its own fields.
  void DefinePublished(TFiler& filer) override;
  void BuildList(TRenderContextInfo& rci) override;

 private:
  TArrowLineParts parts_{TArrowLinePart::alLine, TArrowLinePart::alTopArrow};
  float topRadius_ = 0.1f;
  float topArrowHeadHeight_ = 0.5f;
  float topArrowHeadRadius_ = 0.2f;
  float bottomArrowHeadHeight_ = 0.5f;
  float bottomArrowHeadRadius_ = 0.2f;
  TArrowHeadStackingStyle headStackingStyle_ = TArrowHeadStackingStyle::ahssStacked;
};

// ----------------------------------------------------------------- TGLCapsule

// A cylinder with rounded caps drawn with its own loops. Slices * Stacks
// directions go around the axis; with fewer than one (or Stacks below 1 for
// the caps) nothing of that part is drawn.
class TGLCapsule : public TGL3DSceneObject {
  QIRA_CLASS(TGLCapsule, TGL3DSceneObject)

  TGLCapsule() = default;

  TCylinderParts Parts() const { return parts_; }
  void SetParts(TCylinderParts value);
  float Radius() const { return radius_; }
  void SetRadius(float value);
  int32_t Slices() const { return slices_; }
  void SetSlices(int32_t value);
  int32_t Stacks() const { return stacks_; }
  void SetStacks(int32_t value);
  float Height() const { return height_; }
  void SetHeight(float value);
  TCylinderAlignment Alignment() const { return alignment_; }
  void SetAlignment(TCylinderAlignment value);

  // Parts and Radius only; then inherited.
  void Assign(const TPersistent* source) override;
  // Its fields in order: the floats always, the others when not their defaults.
  void DefinePublished(TFiler& filer) override;
  // (|Radius|, Height/2, |Radius|, 0).
  TVector AxisAlignedDimensionsUnscaled() const override;
  // The cylinder's scheme with Radius and flat caps.
  bool RayCastIntersect(const TVector& rayStart, const TVector& rayVector, TVector* intersectPoint = nullptr,
                        TVector* intersectNormal = nullptr) const override;
  void BuildList(TRenderContextInfo& rci) override;

 private:
  TCylinderParts parts_ = TCylinderParts::All();
  float radius_ = 0.5f;
  int32_t slices_ = 4;
  int32_t stacks_ = 4;
  float height_ = 1.0f;
  TCylinderAlignment alignment_ = TCylinderAlignment::caCenter;
};

// ------------------------------------------------------------------- TGLTorus

// A torus around the Z axis in the XY plane.
class TGLTorus : public TGL3DSceneObject {
  QIRA_CLASS(TGLTorus, TGL3DSceneObject)

  TGLTorus() = default;

  uint32_t Rings() const { return rings_; }
  // Raised to at least 2.
  void SetRings(uint32_t value);
  uint32_t Sides() const { return sides_; }
  // Raised to at least 3.
  void SetSides(uint32_t value);
  float MinorRadius() const { return minorRadius_; }
  void SetMinorRadius(float value);
  float MajorRadius() const { return majorRadius_; }
  void SetMajorRadius(float value);

  // Its fields in order: the radii always, Rings and Sides when not their
  // defaults (a negative count is no count of theirs and is refused; the
  // setters raise the others).
  void DefinePublished(TFiler& filer) override;
  // (|R| + |r|, |R| + |r|, |r|, 0).
  TVector AxisAlignedDimensionsUnscaled() const override;
  bool RayCastIntersect(const TVector& rayStart, const TVector& rayVector, TVector* intersectPoint = nullptr,
                        TVector* intersectNormal = nullptr) const override;
  void BuildList(TRenderContextInfo& rci) override;

 private:
  uint32_t rings_ = 25;
  uint32_t sides_ = 15;
  float minorRadius_ = 0.1f;
  float majorRadius_ = 0.4f;
};

// ---------------------------------------------------------------- TGLFrustrum

// A pyramid of base BaseWidth x BaseDepth and apex height ApexHeight, cut at
// Height; base at y = -Height/2, cut at +Height/2.
// Stored form: the binary property "FrustrumSize", 16 bytes ApexHeight,
// BaseDepth, BaseWidth, Height as little-endian singles, written only when
// they differ from (1, 1, 1, 0.5).
class TGLFrustrum : public TGL3DSceneObject {
  QIRA_CLASS(TGLFrustrum, TGL3DSceneObject)

  TGLFrustrum() = default;

  float ApexHeight() const { return apexHeight_; }
  // Negative values ignored; Height is lowered to it when larger.
  void SetApexHeight(float value);
  float BaseDepth() const { return baseDepth_; }
  // Negative values ignored.
  void SetBaseDepth(float value);
  float BaseWidth() const { return baseWidth_; }
  // Negative values ignored.
  void SetBaseWidth(float value);
  float Height() const { return height_; }
  // Negative values ignored; ApexHeight is raised to it when smaller.
  void SetHeight(float value);
  TFrustrumParts Parts() const { return parts_; }
  void SetParts(TFrustrumParts value);
  TNormalDirection NormalDirection() const { return normalDirection_; }
  void SetNormalDirection(TNormalDirection value);

  void Assign(const TPersistent* source) override;
  // (BaseWidth/2, Height/2, BaseDepth/2, 0).
  TVector AxisAlignedDimensionsUnscaled() const override;
  // One GL_QUADS batch of the selected faces; the top face only while
  // Height < ApexHeight.
  void BuildList(TRenderContextInfo& rci) override;

  // ---- stored form
  // Parts and NormalDirection; the sizes are stored only as "FrustrumSize".
  void DefinePublished(TFiler& filer) override;
  // "FrustrumSize" by StoreFrustrumSize; a block that is not 16 bytes is refused.
  void DefineProperties(TFiler& filer) override;
  bool StoreFrustrumSize() const;
  std::array<uint8_t, 16> FrustrumSizeData() const;
  // Takes the four values through their setters, ApexHeight first (a value
  // that is no number is refused: false, nothing changed).
  bool SetFrustrumSizeData(const std::array<uint8_t, 16>& data);
  // EWriteError "Stream write error" / EReadError "Stream read error"
  // (nothing changed) on failure.
  void WriteFrustrumSize(TBinaryStream& stream) const;
  void ReadFrustrumSize(TBinaryStream& stream);

 private:
  float apexHeight_ = 1.0f;
  float baseDepth_ = 1.0f;
  float baseWidth_ = 1.0f;
  float height_ = 0.5f;
  TFrustrumParts parts_ = TFrustrumParts::All();
  TNormalDirection normalDirection_ = TNormalDirection::ndOutside;
};

// ----------------------------------------------------------------- TGLPolygon

// A flat polygon through its nodes, tessellated, seen from both sides.
class TGLPolygon : public TGLPolygonBase {
  QIRA_CLASS(TGLPolygon, TGLPolygonBase)

  TGLPolygon() = default;

  TPolygonParts Parts() const { return parts_; }
  void SetParts(TPolygonParts value);

  void Assign(const TPersistent* source) override;
  // The polygon base's, then Parts.
  void DefinePublished(TFiler& filer) override;
  void BuildList(TRenderContextInfo& rci) override;

 private:
  TPolygonParts parts_{TPolygonPart::ppTop, TPolygonPart::ppBottom};
};

// -------------------------------------------------------------- registration

// Registers the nine concrete classes above (with the basic solids they
// build on) with the class registry.
void RegisterQuadricsClasses();

}  // namespace qira

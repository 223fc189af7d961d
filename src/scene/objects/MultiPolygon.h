#pragma once
// Flat polygons that may have holes and self-intersections: a set of closed
// contours is merged by the GLU tessellator into outlines (positive winding
// about the contours' normal), and the outlines are filled as one polygon.
// TMultiPolygonBase holds the contours and the outline cache and fills the
// area; TGLMultiPolygon draws it two-sided; the extrusion solid extrudes it.
//
// Sections: contours; TMultiPolygonBase; TGLMultiPolygon; registration.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scene/components/UpdateAbleObjects.h"
#include "scene/objects/BasicSolids.h"
#include "scene/objects/Quadrics.h"

namespace qira {

class TGLContour;

// ------------------------------------------------------------------ contours

// The nodes of one contour: a change tells the contour.
class TGLContourNodes : public TGLNodes {
  QIRA_CLASS(TGLContourNodes, TGLNodes)

  explicit TGLContourNodes(TGLContour* contour);
  void NotifyChange() override;
};

// A closed path of nodes (closed implicitly), straight or a cubic spline.
class TGLContour : public TCollectionItem {
  QIRA_CLASS(TGLContour, TCollectionItem)

  TGLContour();
  ~TGLContour() override;

  TGLContourNodes& Nodes() const { return *nodes_; }
  // Assigns the given nodes and signals the change.
  void SetNodes(const TGLNodes& value);
  // Spline samples per node interval; values below 1 become 1.
  int32_t Division() const { return division_; }
  void SetDivision(int32_t value);
  // lsmLines: straight edges; any other value: a cubic spline through the nodes.
  TLineSplineMode SplineMode() const { return splineMode_; }
  void SetSplineMode(TLineSplineMode value);
  const std::string& Description() const { return description_; }
  void SetDescription(const std::string& value) { description_ = value; }

  // The points handed to the tessellator, in order (or last first): the
  // nodes, or with a spline Division samples per node interval.
  std::vector<TAffineVector> Vertices(bool reverse = false) const;

  void Assign(const TPersistent* source) override;
  // Nodes, Division, SplineMode and Description, each when not its default.
  void DefinePublished(TFiler& filer) override;
  // Description, else "GLContour: <n> nodes".
  std::string GetDisplayName() const override;

 private:
  friend class TGLContourNodes;
  void NodesChanged() { Changed(false); }

  std::unique_ptr<TGLContourNodes> nodes_;
  int32_t division_ = 10;
  TLineSplineMode splineMode_ = TLineSplineMode::lsmLines;
  std::string description_;
};

class TGLContours : public TNotifyCollection {
  QIRA_CLASS(TGLContours, TNotifyCollection)

  explicit TGLContours(TPersistent* owner);

  TGLContour& Add() { return static_cast<TGLContour&>(TCollection::Add()); }
  TGLContour& Items(int index) const { return static_cast<TGLContour&>(GetItem(index)); }
  // Component-wise over every node of every contour, from min 1e30 and max -1e30.
  void GetExtents(TAffineVector& min, TAffineVector& max) const;
};

// ---------------------------------------------------------- TMultiPolygonBase

class TMultiPolygonBase : public TGL3DSceneObject {
  QIRA_CLASS(TMultiPolygonBase, TGL3DSceneObject)

  TMultiPolygonBase();
  ~TMultiPolygonBase() override;

  TGLContours& Contours() const { return *contours_; }
  void SetContours(const TGLContours& value) { contours_->Assign(&value); }
  // The nodes of contour i; empty contours are added until it exists.
  TGLNodes& Path(int i);
  // The plane normal handed to the tessellator; (0, 0, 1) by default.
  const TAffineVector& ContoursNormal() const { return contoursNormal_; }
  void SetContoursNormal(const TAffineVector& value);

  // The merged outlines, built on first use after a change of the contours
  // (a rendering context must be current for GLU). None while the first
  // contour has fewer than three nodes.
  const TGLOutlines& Outlines() const;

  void Assign(const TPersistent* source) override;
  // Contours, when there is one (a contour list replaces the contours held).
  void DefinePublished(TFiler& filer) override;
  // Also marks the half extents stale.
  void StructureChanged() override;
  // Per axis the larger of |min| and |max| of the contours' extents; zero
  // without nodes.
  TVector AxisAlignedDimensionsUnscaled() const override;

  // Fills the outlines (positive winding). With `textured` each vertex's x, y
  // is its texture coordinate; with a normal it is the polygon's normal and
  // the tessellator's; `reversed` hands every outline over last point first.
  void RenderTessellated(bool textured, const TAffineVector* normal, bool reversed) const;

 protected:
  // Drops the outline cache; the geometry is rebuilt on the next frame.
  void ContoursChanged();

 private:
  std::unique_ptr<TGLContours> contours_;
  mutable std::unique_ptr<TGLOutlines> outlines_;
  TAffineVector contoursNormal_{0.0f, 0.0f, 1.0f};
  mutable TVector extents_{-1.0f, 0.0f, 0.0f, 0.0f};
};

// ------------------------------------------------------------ TGLMultiPolygon

// The area drawn as a flat, two-sided object: ppTop faces the contours'
// normal, ppBottom the other way.
class TGLMultiPolygon : public TMultiPolygonBase {
  QIRA_CLASS(TGLMultiPolygon, TMultiPolygonBase)

  TGLMultiPolygon() = default;

  TPolygonParts Parts() const { return parts_; }
  void SetParts(TPolygonParts value);

  void Assign(const TPersistent* source) override;
  // The base's, then Parts.
  void DefinePublished(TFiler& filer) override;
  void BuildList(TRenderContextInfo& rci) override;

 private:
  TPolygonParts parts_{TPolygonPart::ppTop, TPolygonPart::ppBottom};
};

// Registers TGLMultiPolygon (with TGLContour) with the class registry.
void RegisterMultiPolygonClasses();

}  // namespace qira

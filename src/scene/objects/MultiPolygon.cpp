#include "scene/objects/MultiPolygon.h"

// Sections: contours; TMultiPolygonBase; TGLMultiPolygon; component streams;
// registration.

#include <algorithm>
#include <cmath>

#include "scene/components/ComponentStreams.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/math/VectorGeometry.h"

namespace qira {

// ================================================================= contours

TGLContourNodes::TGLContourNodes(TGLContour* contour) : TGLNodes(contour, TGLNode::StaticClass()) {}

void TGLContourNodes::NotifyChange() {
  if (UpdateCount() != 0) return;
  if (auto* contour = dynamic_cast<TGLContour*>(GetOwner())) contour->NodesChanged();
}

TGLContour::TGLContour() : nodes_(std::make_unique<TGLContourNodes>(this)) {}

TGLContour::~TGLContour() = default;

void TGLContour::SetNodes(const TGLNodes& value) {
  nodes_->Assign(&value);
  Changed(false);
}

void TGLContour::SetDivision(int32_t value) {
  if (value < 1) value = 1;
  if (value == division_) return;
  division_ = value;
  Changed(false);
}

void TGLContour::SetSplineMode(TLineSplineMode value) {
  if (value == splineMode_) return;
  splineMode_ = value;
  Changed(false);
}

std::vector<TAffineVector> TGLContour::Vertices(bool reverse) const {
  std::vector<TAffineVector> points;
  const int n = nodes_->Count();
  const int divisions = splineMode_ == TLineSplineMode::lsmLines ? 0 : division_;
  if (divisions < 2 || n < 2) {
    for (int i = 0; i < n; ++i) points.push_back(nodes_->GetItem(i).GetAffineVector());
  } else {
    const std::unique_ptr<TCubicSpline> spline = nodes_->CreateCubicSpline();
    const int last = (n - 1) * divisions;
    for (int i = 0; i <= last; ++i) {
      points.push_back(spline->EvalXYZ(static_cast<float>(static_cast<double>(i) / divisions)));
    }
  }
  if (reverse) std::reverse(points.begin(), points.end());
  return points;
}

void TGLContour::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TGLContour*>(source)) {
    nodes_->Assign(src->nodes_.get());
    division_ = src->division_;
    splineMode_ = src->splineMode_;
    description_ = src->description_;
    Changed(false);
    return;
  }
  TCollectionItem::Assign(source);
}

std::string TGLContour::GetDisplayName() const {
  if (!description_.empty()) return description_;
  return "GLContour: " + std::to_string(nodes_->Count()) + " nodes";
}

TGLContours::TGLContours(TPersistent* owner) : TNotifyCollection(owner, TGLContour::StaticClass()) {}

void TGLContours::GetExtents(TAffineVector& min, TAffineVector& max) const {
  min = {1e30f, 1e30f, 1e30f};
  max = {-1e30f, -1e30f, -1e30f};
  for (int i = 0; i < Count(); ++i) {
    TAffineVector cmin;
    TAffineVector cmax;
    Items(i).Nodes().GetExtents(cmin, cmax);
    for (size_t k = 0; k < 3; ++k) {
      min[k] = std::min(min[k], cmin[k]);
      max[k] = std::max(max[k], cmax[k]);
    }
  }
}

// ======================================================== TMultiPolygonBase

TMultiPolygonBase::TMultiPolygonBase() : contours_(std::make_unique<TGLContours>(this)) {
  contours_->OnNotifyChange = [this](TObject*) { ContoursChanged(); };
}

TMultiPolygonBase::~TMultiPolygonBase() = default;

TGLNodes& TMultiPolygonBase::Path(int i) {
  while (contours_->Count() <= i) contours_->Add();
  return contours_->Items(i).Nodes();
}

void TMultiPolygonBase::SetContoursNormal(const TAffineVector& value) {
  contoursNormal_ = value;
  ContoursChanged();
}

void TMultiPolygonBase::ContoursChanged() {
  // Always restructured (not only when outlines were cached): a list compiled
  // while the first contour was too short to give outlines must be rebuilt too.
  outlines_.reset();
  StructureChanged();
}

void TMultiPolygonBase::StructureChanged() {
  extents_[0] = -1.0f;
  TGL3DSceneObject::StructureChanged();
}

const TGLOutlines& TMultiPolygonBase::Outlines() const {
  if (outlines_ != nullptr) return *outlines_;
  outlines_ = std::make_unique<TGLOutlines>();
  if (contours_->Count() == 0 || contours_->Items(0).Nodes().Count() < 3) return *outlines_;
  int nodes = 0;
  for (int i = 0; i < contours_->Count(); ++i) nodes += contours_->Items(i).Nodes().Count();
  TGLTessellation run(TGLTessellation::TOutput::toOutlines, nodes, outlines_.get());
  if (!run.Valid()) return *outlines_;
  run.SetNormal(contoursNormal_);
  run.SetWindingRule(GLU_TESS_WINDING_POSITIVE);
  run.BeginPolygon();
  for (int i = 0; i < contours_->Count(); ++i) {
    run.BeginContour();
    for (const TAffineVector& v : contours_->Items(i).Vertices()) run.AddVertex(v);
    run.EndContour();
  }
  run.EndPolygon();
  return *outlines_;
}

void TMultiPolygonBase::RenderTessellated(bool textured, const TAffineVector* normal, bool reversed) const {
  const TGLOutlines& outlines = Outlines();
  if (outlines.empty() || outlines.front().size() < 2) return;
  size_t points = 0;
  for (const auto& outline : outlines) points += outline.size();
  TGLTessellation run(textured ? TGLTessellation::TOutput::toDrawTexCoord2 : TGLTessellation::TOutput::toDraw,
                      static_cast<int>(points));
  if (!run.Valid()) return;
  if (normal != nullptr) {
    glNormal3fv(normal->data());
    run.SetNormal(*normal);
  }
  run.SetWindingRule(GLU_TESS_WINDING_POSITIVE);
  run.BeginPolygon();
  for (const auto& outline : outlines) {
    run.BeginContour();
    const size_t n = outline.size();
    for (size_t i = 0; i < n; ++i) run.AddVertexRef(outline[reversed ? n - 1 - i : i].data());
    run.EndContour();
  }
  run.EndPolygon();
}

void TMultiPolygonBase::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TMultiPolygonBase*>(source)) contours_->Assign(src->contours_.get());
  TGL3DSceneObject::Assign(source);
}

TVector TMultiPolygonBase::AxisAlignedDimensionsUnscaled() const {
  if (extents_[0] >= 0.0f) return extents_;
  TAffineVector min;
  TAffineVector max;
  contours_->GetExtents(min, max);
  extents_ = {0.0f, 0.0f, 0.0f, 0.0f};
  // Without any node the extents stay at their starting values: no size.
  if (min.x > max.x) return extents_;
  for (size_t k = 0; k < 3; ++k) extents_[k] = std::max(std::fabs(min[k]), std::fabs(max[k]));
  return extents_;
}

// ========================================================== TGLMultiPolygon

void TGLMultiPolygon::SetParts(TPolygonParts value) {
  if (value == parts_) return;
  parts_ = value;
  StructureChanged();
}

void TGLMultiPolygon::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TGLMultiPolygon*>(source)) parts_ = src->parts_;
  TMultiPolygonBase::Assign(source);
}

void TGLMultiPolygon::BuildList(TRenderContextInfo& rci) {
  (void)rci;
  if (Outlines().empty()) return;
  const TAffineVector n = ContoursNormal();
  if (parts_.Contains(TPolygonPart::ppTop)) RenderTessellated(true, &n, false);
  if (parts_.Contains(TPolygonPart::ppBottom)) {
    const TAffineVector down = AffineVectorNegate(n);
    RenderTessellated(true, &down, true);
  }
}

// ======================================================== component streams

void TGLContour::DefinePublished(TFiler& filer) {
  TCollectionItem::DefinePublished(filer);
  DefineCollection(filer, "Nodes", *nodes_, nodes_->Count() > 0);
  DefineInteger(filer, "Division", division_, division_ != 10, [this](int32_t v) { SetDivision(v); });
  DefineSplineMode(filer, splineMode_, [this](TLineSplineMode v) { SetSplineMode(v); });
  DefineString(filer, "Description", description_, !description_.empty(),
               [this](const std::string& v) { SetDescription(v); });
}

void TMultiPolygonBase::DefinePublished(TFiler& filer) {
  TGL3DSceneObject::DefinePublished(filer);
  DefineCollection(filer, "Contours", *contours_, contours_->Count() > 0);
}

void TGLMultiPolygon::DefinePublished(TFiler& filer) {
  TMultiPolygonBase::DefinePublished(filer);
  DefineParts(filer, parts_, TPolygonParts::All(), [this](TPolygonParts v) { SetParts(v); });
}

// ============================================================= registration

void RegisterMultiPolygonClasses() {
  RegisterClass(TGLMultiPolygon::StaticClass());
  RegisterClass(TGLContour::StaticClass());
}

}  // namespace qira

#include "scene/objects/Pipe.h"

// Sections: nodes; shared sine and cosine tables; rings, bands and disks;
// TGLPipe (properties, bounds, geometry, drawing); component streams;
// registration.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <span>

#include "platform/NumberText.h"
#include "platform/Rounding.h"
#include "scene/components/ComponentStreams.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/gl/StateCache.h"
#include "scene/objects/ExtrusionSolids.h"
#include "scene/math/VectorGeometry.h"

namespace qira {

// ===================================================================== nodes

namespace {

constexpr TVector kOpaqueBlack{0.0f, 0.0f, 0.0f, 1.0f};

}  // namespace

TGLPipeNode::TGLPipeNode()
    : color_(std::make_unique<TGLColor>(this, kOpaqueBlack, [this](TObject*) { NotifyCollection(); })) {}

TGLPipeNode::~TGLPipeNode() = default;

void TGLPipeNode::SetRadiusFactor(float value) {
  if (value == radiusFactor_) return;
  radiusFactor_ = value;
  Changed(false);
}

void TGLPipeNode::SetColor(const TGLColor& value) { color_->Assign(&value); }

void TGLPipeNode::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TGLPipeNode*>(source)) {
    radiusFactor_ = src->radiusFactor_;
    color_->Initialize(src->color_->Color());
  }
  TGLNode::Assign(source);
}

std::string TGLPipeNode::GetDisplayName() const {
  return TGLNode::GetDisplayName() + " / rf = " + FormatFixed(radiusFactor_, 3);
}

TGLPipeNodes::TGLPipeNodes(TPersistent* owner) : TGLNodes(owner, TGLPipeNode::StaticClass()) {}

std::unique_ptr<TGLNodes> TGLPipeNodes::CreateCopy(TPersistent* owner) const {
  auto copy = std::make_unique<TGLPipeNodes>(owner);
  copy->Assign(this);
  return copy;
}

// ================================================ shared sine and cosine tables

namespace {

// Common to all pipes (one build at a time, on the rendering thread): the
// angles 0, 360/Slices, ..., 360 degrees.
std::vector<float>& SineTable() {
  static std::vector<float> table;
  return table;
}

std::vector<float>& CosineTable() {
  static std::vector<float> table;
  return table;
}

void PrepareTables(size_t entries) {
  std::vector<float>& sine = SineTable();
  std::vector<float>& cosine = CosineTable();
  if (sine.size() == entries && cosine.size() == entries) return;
  sine.assign(entries, 0.0f);
  cosine.assign(entries, 0.0f);
  PrepareSinCosCache(std::span<float>(sine), std::span<float>(cosine), 0.0f, 360.0f);
}

// ================================================== rings, bands and disks

struct TRingVertex {
  TAffineVector position;
  TAffineVector radial;  // length Radius: the vertex normal
};

struct TRing {
  std::vector<TRingVertex> vertices;  // Slices + 1, the last equal to the first
  TVector color{0.0f, 0.0f, 0.0f, 1.0f};
};

// The ring of a tube of `radius` * `factor` about `p`, facing along `d`;
// counter-clockwise about the direction of travel.
void BuildRing(TRing& ring, const TAffineVector& p, const TAffineVector& d, float factor, float radius) {
  constexpr float kTiny = 1e-7f;
  TAffineVector u = AffineVectorCrossProduct(ZVector, d);
  TAffineVector w;
  if (AffineVectorNorm(u) < kTiny) {
    if (AffineVectorNorm(d) < kTiny) {
      // No direction: a ring in the X-Z plane.
      u = XVector;
      w = ZVector;
    } else {
      u = AffineVectorNormalize(AffineVectorCrossProduct(XVector, d));
      w = AffineVectorCrossProduct(d, u);
    }
  } else {
    u = AffineVectorNormalize(u);
    w = AffineVectorCrossProduct(d, u);
  }
  w = AffineVectorNormalize(w);
  u = AffineVectorScale(u, radius);
  w = AffineVectorScale(w, radius);
  const std::vector<float>& sine = SineTable();
  const std::vector<float>& cosine = CosineTable();
  for (size_t j = 0; j < ring.vertices.size(); ++j) {
    const TAffineVector n = AffineVectorCombine(u, w, cosine[j], sine[j]);
    ring.vertices[j].radial = n;
    ring.vertices[j].position = AffineVectorAdd(p, AffineVectorScale(n, factor));
  }
}

int Sign(float x) { return x > 0.0f ? 1 : (x < 0.0f ? -1 : 0); }

// Whether A and B are rotated against each other by more than the pipe
// accepts: per component of the radial vectors and of the positions, the
// number of vertex pairs whose signs differ (plus one), multiplied over the
// three components, is compared with (Slices div 2) squared.
bool RingsTwisted(const TRing& a, const TRing& b, size_t slices) {
  double radialCounts[3] = {1.0, 1.0, 1.0};
  double positionCounts[3] = {1.0, 1.0, 1.0};
  for (size_t j = 0; j <= slices; ++j) {
    for (size_t c = 0; c < 3; ++c) {
      if (Sign(a.vertices[j].radial[c]) != Sign(b.vertices[j].radial[c])) radialCounts[c] += 1.0;
      if (Sign(a.vertices[j].position[c]) != Sign(b.vertices[j].position[c])) positionCounts[c] += 1.0;
    }
  }
  const double half = static_cast<double>(slices / 2);
  const double threshold = half * half;
  const double pn = radialCounts[0] * radialCounts[1] * radialCounts[2];
  const double pp = positionCounts[0] * positionCounts[1] * positionCounts[2];
  return pn > threshold || pp > threshold;
}

// Rotates A so that A_j pairs with B_j at the smallest summed Manhattan
// distance (the smaller shift on equal cost). The rotation stays in A.
void RealignRing(TRing& a, const TRing& b, size_t slices) {
  size_t best = 0;
  double bestCost = 0.0;
  for (size_t k = 0; k < slices; ++k) {
    double cost = 0.0;
    for (size_t j = 0; j < slices; ++j) {
      cost += AffineVectorSpacing(a.vertices[(k + j) % slices].position, b.vertices[j].position);
    }
    if (k == 0 || cost < bestCost) {
      best = k;
      bestCost = cost;
    }
  }
  if (best == 0) return;
  std::rotate(a.vertices.begin(), a.vertices.begin() + static_cast<std::ptrdiff_t>(best),
              a.vertices.begin() + static_cast<std::ptrdiff_t>(slices));
  a.vertices[slices] = a.vertices[0];
}

TPipeVertex VertexOf(const TRingVertex& v, const TVector& color) { return {v.position, v.radial, color}; }

// One strip between A and B: B_0, then A_j, B_(j+1) for every slice, then
// A_Slices. A may be realigned first (see RingsTwisted).
void AddBand(TPipePrimitive& band, TRing& a, const TRing& b, size_t slices) {
  if (RingsTwisted(a, b, slices)) RealignRing(a, b, slices);
  band.kind = TPipePrimitiveKind::pkBand;
  band.vertices.clear();
  band.vertices.push_back(VertexOf(b.vertices[0], b.color));
  for (size_t j = 0; j < slices; ++j) {
    band.vertices.push_back(VertexOf(a.vertices[j], a.color));
    band.vertices.push_back(VertexOf(b.vertices[j + 1], b.color));
  }
  band.vertices.push_back(VertexOf(a.vertices[slices], a.color));
}

// A fan about `centre` over the ring's positions, forward (0 .. Slices) or
// reverse; every vertex carries `normal` and the ring's colour.
void AddDisk(TPipePrimitive& disk, const TRing& ring, const TAffineVector& centre, const TAffineVector& normal,
             bool forward) {
  disk.kind = TPipePrimitiveKind::pkDisk;
  disk.vertices.clear();
  disk.vertices.push_back({centre, normal, ring.color});
  const size_t n = ring.vertices.size();
  for (size_t i = 0; i < n; ++i) {
    const TRingVertex& v = ring.vertices[forward ? i : n - 1 - i];
    disk.vertices.push_back({v.position, normal, ring.color});
  }
}

// The colour at spline parameter t: linear between the nodes around t, the
// last node's colour at and beyond the last node.
TVector ColorAt(const std::vector<TVector>& colors, float t) {
  const int last = static_cast<int>(colors.size()) - 1;
  const int k = std::clamp(TruncToInt(t), 0, last);
  if (k < last) return VectorLerp(colors[static_cast<size_t>(k)], colors[static_cast<size_t>(k) + 1], t - k);
  return colors[static_cast<size_t>(k)];
}

GLenum ColorMaterialMode(TPipeNodesColorMode mode) {
  switch (mode) {
    case TPipeNodesColorMode::pncmEmission:
      return GL_EMISSION;
    case TPipeNodesColorMode::pncmAmbient:
      return GL_AMBIENT;
    case TPipeNodesColorMode::pncmDiffuse:
      return GL_DIFFUSE;
    case TPipeNodesColorMode::pncmAmbientAndDiffuse:
    case TPipeNodesColorMode::pncmNone:
      break;
  }
  return GL_AMBIENT_AND_DIFFUSE;
}

}  // namespace

// =================================================================== TGLPipe

// Drawn from its nodes every frame rather than from a display list: a compiled list
// of the tube's triangles holds several times its vertex data in the driver (about
// 16 KB for one straight segment), far more than the nodes it is made from.
TGLPipe::TGLPipe() : TGLPolygonBase(&CreatePipeNodes) { IncludeObjectStyle(TGLObjectStyle::DirectDraw); }

TGLPipe::~TGLPipe() = default;

std::unique_ptr<TGLNodes> TGLPipe::CreatePipeNodes(TGLPolygonBase& owner) {
  return std::make_unique<TGLPipeNodes>(&owner);
}

TGLPipeNode& TGLPipe::AddNode(const TAffineVector& position) {
  TGLPolygonBase::AddNode(position);
  return Nodes().GetItem(Nodes().Count() - 1);
}

// ---------------------------------------------------------------- properties

void TGLPipe::SetSlices(int32_t value) {
  if (value < 1 || value == slices_) return;
  slices_ = value;
  StructureChanged();
}

void TGLPipe::SetParts(TPipeParts value) {
  if (value == parts_) return;
  parts_ = value;
  StructureChanged();
}

void TGLPipe::SetRadius(float value) {
  if (value == radius_) return;
  radius_ = value;
  StructureChanged();
}

void TGLPipe::SetNodesColorMode(TPipeNodesColorMode value) {
  if (value == nodesColorMode_) return;
  nodesColorMode_ = value;
  StructureChanged();
}

void TGLPipe::Assign(const TPersistent* source) {
  if (const auto* pipe = dynamic_cast<const TGLPipe*>(source)) {
    slices_ = pipe->slices_;
    parts_ = pipe->parts_;
    radius_ = pipe->radius_;
    nodesColorMode_ = pipe->nodesColorMode_;
  }
  TGLPolygonBase::Assign(source);
}

// -------------------------------------------------------------------- bounds

TVector TGLPipe::AxisAlignedDimensionsUnscaled() const {
  const TGLPipeNodes& nodes = Nodes();
  const int count = nodes.Count();
  TVector dims{0.0f, 0.0f, 0.0f, 0.0f};
  if (count == 0) return dims;
  const auto include = [&](const TAffineVector& centre, float factor) {
    const float r = std::fabs(radius_ * factor);
    for (size_t c = 0; c < 3; ++c) dims[c] = std::max(dims[c], std::fabs(centre[c]) + r);
  };
  if (SplineMode() == TLineSplineMode::lsmCubicSpline && count >= 2) {
    // The spline may swing outside the nodes: take every sample the tube passes through.
    std::vector<float> factors(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) factors[static_cast<size_t>(i)] = nodes[i].RadiusFactor();
    const std::unique_ptr<TCubicSpline> path = nodes.CreateCubicSpline();
    const TCubicSpline radii(factors.data(), nullptr, nullptr, nullptr, count);
    const int64_t samples = int64_t{count - 1} * Division();
    for (int64_t i = 0; i <= samples; ++i) {
      const auto t = static_cast<float>(static_cast<double>(i) / Division());
      include(path->EvalXYZ(t), radii.EvalX(t));
    }
  } else {
    for (int i = 0; i < count; ++i) include(nodes[i].GetAffineVector(), nodes[i].RadiusFactor());
  }
  return dims;
}

// ------------------------------------------------------------------ geometry

TPipeGeometry TGLPipe::ComputeGeometry() const {
  TPipeGeometry geometry;
  geometry.nodeColors = nodesColorMode_ != TPipeNodesColorMode::pncmNone;
  geometry.bodyRings = EmitGeometry([&](const TPipePrimitive& primitive) { geometry.primitives.push_back(primitive); });
  return geometry;
}

int64_t TGLPipe::EmitGeometry(const std::function<void(const TPipePrimitive&)>& emit) const {
  const TGLPipeNodes& nodes = Nodes();
  const int count = nodes.Count();
  int64_t bodyRings = 0;
  if (count == 0) return bodyRings;
  // One primitive at a time, its vertices reused: a frame holds no more than a band.
  TPipePrimitive primitive;
  primitive.vertices.reserve(2 * (static_cast<size_t>(slices_) + 1));

  const auto slices = static_cast<size_t>(slices_);
  PrepareTables(slices + 1);
  TRing rings[2];
  rings[0].vertices.resize(slices + 1);
  rings[1].vertices.resize(slices + 1);

  std::vector<TVector> colors(static_cast<size_t>(count));
  std::vector<float> factors(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    colors[static_cast<size_t>(i)] = nodes[i].Color().Color();
    factors[static_cast<size_t>(i)] = nodes[i].RadiusFactor();
  }

  std::unique_ptr<TCubicSpline> path;
  std::unique_ptr<TCubicSpline> radii;
  TAffineVector direction;
  if (SplineMode() == TLineSplineMode::lsmCubicSpline && count >= 2) {
    path = nodes.CreateCubicSpline();
    radii = std::make_unique<TCubicSpline>(factors.data(), nullptr, nullptr, nullptr, count);
    direction = path->EvalAffineSlope(0.0f);
  } else {
    direction = nodes.DirectionAt(0);
  }

  BuildRing(rings[0], nodes[0].GetAffineVector(), direction, factors[0], radius_);
  rings[0].color = colors[0];

  if (parts_.Contains(TPipePart::ppStartDisk)) {
    AddDisk(primitive, rings[0], nodes[0].GetAffineVector(), AffineVectorNegate(direction), false);
    emit(primitive);
  }

  if (count >= 2) {
    const auto addBands = [&](int64_t i) {
      TRing& current = rings[i & 1];
      TRing& previous = rings[(i - 1) & 1];
      if (parts_.Contains(TPipePart::ppOutside)) {
        AddBand(primitive, previous, current, slices);
        emit(primitive);
      }
      if (parts_.Contains(TPipePart::ppInside)) {
        AddBand(primitive, current, previous, slices);
        emit(primitive);
      }
      ++bodyRings;
    };
    if (path != nullptr) {
      const int64_t samples = int64_t{count - 1} * Division();
      for (int64_t i = 1; i <= samples; ++i) {
        // i / Division rather than i * (1 / Division): the last sample lands
        // exactly on the last node.
        const auto t = static_cast<float>(static_cast<double>(i) / Division());
        TRing& ring = rings[i & 1];
        BuildRing(ring, path->EvalXYZ(t), AffineVectorNormalize(path->EvalAffineSlope(t)), radii->EvalX(t), radius_);
        ring.color = ColorAt(colors, t);
        addBands(i);
      }
    } else {
      for (int i = 1; i < count; ++i) {
        TRing& ring = rings[i & 1];
        BuildRing(ring, nodes[i].GetAffineVector(), nodes.DirectionAt(i), factors[static_cast<size_t>(i)], radius_);
        ring.color = colors[static_cast<size_t>(i)];
        addBands(i);
      }
    }
  }

  if (parts_.Contains(TPipePart::ppStopDisk)) {
    const int k = count - 1;
    // The slope is not normalised for the disk's normal.
    const TAffineVector stop = path != nullptr ? path->EvalAffineSlope(static_cast<float>(k)) : nodes.DirectionAt(k);
    BuildRing(rings[0], nodes[k].GetAffineVector(), stop, factors[static_cast<size_t>(k)], radius_);
    rings[0].color = colors[static_cast<size_t>(k)];
    AddDisk(primitive, rings[0], nodes[k].GetAffineVector(), stop, true);
    emit(primitive);
  }
  return bodyRings;
}

// ------------------------------------------------------------------- drawing

void TGLPipe::BuildList(TRenderContextInfo& rci) {
  if (Nodes().Count() == 0) return;
  const bool nodeColors = nodesColorMode_ != TPipeNodesColorMode::pncmNone;
  if (nodeColors) {
    glPushAttrib(GL_ENABLE_BIT);
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT_AND_BACK, ColorMaterialMode(nodesColorMode_));
  }
  EmitGeometry([nodeColors](const TPipePrimitive& primitive) {
    if (primitive.kind == TPipePrimitiveKind::pkBand) {
      glBegin(GL_TRIANGLE_STRIP);
      for (const TPipeVertex& v : primitive.vertices) {
        if (nodeColors) glColor4fv(v.color.data());
        glNormal3fv(v.normal.data());
        glVertex3fv(v.position.data());
      }
      glEnd();
      RenderQueueSent(static_cast<int64_t>(primitive.vertices.size()));
    } else {
      const TPipeVertex& centre = primitive.vertices.front();
      if (nodeColors) glColor4fv(centre.color.data());
      glBegin(GL_TRIANGLE_FAN);
      glNormal3fv(centre.normal.data());
      for (const TPipeVertex& v : primitive.vertices) glVertex3fv(v.position.data());
      glEnd();
      RenderQueueSent(static_cast<int64_t>(primitive.vertices.size()));
    }
  });
  if (nodeColors) {
    // The pop below turns colour material off again; saying so explicitly
    // keeps the state cache, which is brought in step with the last
    // switch the list made, from turning it back on after each replay.
    glDisable(GL_COLOR_MATERIAL);
    glPopAttrib();
    // The node colours went into the material (the colours NodesColorMode names)
    // behind the state cache's back; drawn outside a list, nothing else tells it,
    // and the next object of the colours it believes current would show the last
    // node's colour. Reset after the drawing, so the pipe itself keeps the rest of
    // its material (specular, shininess).
    if (rci.GLStates != nullptr) rci.GLStates->ResetMaterialColors();
  }
}

// ========================================================= component streams

void TGLPipeNode::DefinePublished(TFiler& filer) {
  TGLNode::DefinePublished(filer);
  DefineFloat(filer, "RadiusFactor", radiusFactor_, IsRadiusFactorStored(), [this](float v) { SetRadiusFactor(v); });
  DefineNested(filer, "Color", *color_);
}

void TGLPipe::DefinePublished(TFiler& filer) {
  TGLPolygonBase::DefinePublished(filer);
  DefineInteger(filer, "Slices", slices_, slices_ != 16, [this](int32_t v) { SetSlices(v); });
  DefineParts(filer, parts_, TPipeParts{TPipePart::ppOutside}, [this](TPipeParts v) { SetParts(v); });
  DefineFloat(filer, "Radius", radius_, true, [this](float v) { SetRadius(v); });
  DefineOrdinal(filer, "NodesColorMode", nodesColorMode_, TPipeNodesColorMode::pncmAmbientAndDiffuse,
                TPipeNodesColorMode::pncmNone, [this](TPipeNodesColorMode v) { SetNodesColorMode(v); });
}

// ============================================================== registration

void RegisterPipeClasses() {
  // The pipe's unit also holds the revolution and extrusion solids.
  RegisterExtrusionSolidsClasses();
  RegisterClass(TGLPipe::StaticClass());
  RegisterClass(TGLPipeNode::StaticClass());
}

}  // namespace qira

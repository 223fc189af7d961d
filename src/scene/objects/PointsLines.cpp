#include "scene/objects/PointsLines.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/BinaryStream.h"
#include "scene/components/ComponentStreams.h"
#include "scene/objects/DummyPlaneSprite.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/components/Persistence.h"
#include "scene/gl/StateCache.h"
#include "scene/math/VectorGeometry.h"

namespace qira {

namespace {

constexpr TVector kOpaqueWhite{1.0f, 1.0f, 1.0f, 1.0f};
constexpr TVector kOpaqueBlue{0.0f, 0.0f, 1.0f, 1.0f};
constexpr TVector kOpaqueBlack{0.0f, 0.0f, 0.0f, 1.0f};
constexpr int kLockArraysAbove = 64;

float NotNegative(float value) { return value < 0.0f ? 0.0f : value; }

bool SameColor(const TVector& a, const TVector& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w;
}

TVector LerpColor(const TVector& a, const TVector& b, float t) {
  return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t, a.w + (b.w - a.w) * t};
}

}  // namespace

// ------------------------------------------------------ TGLPointParameters

TGLPointParameters::TGLPointParameters(TPersistent* owner)
    : TGLUpdateAbleObject(owner),
      distanceAttenuation_(CreateInitialized<TGLCoordinates3>(this, TVector{1.0f, 0.0f, 0.0f, 0.0f},
                                                               TGLCoordinatesStyle::cstVector)) {}

TGLPointParameters::~TGLPointParameters() = default;

void TGLPointParameters::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  NotifyChange(this);
}

void TGLPointParameters::SetMinSize(float value) {
  value = NotNegative(value);
  if (value == minSize_) return;
  minSize_ = value;
  NotifyChange(this);
}

void TGLPointParameters::SetMaxSize(float value) {
  value = NotNegative(value);
  if (value == maxSize_) return;
  maxSize_ = value;
  NotifyChange(this);
}

void TGLPointParameters::SetFadeTresholdSize(float value) {
  value = NotNegative(value);
  if (value == fadeTresholdSize_) return;
  fadeTresholdSize_ = value;
  NotifyChange(this);
}

void TGLPointParameters::SetDistanceAttenuation(const TGLCoordinates3& value) {
  distanceAttenuation_->Assign(&value);
  NotifyChange(this);
}

void TGLPointParameters::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TGLPointParameters*>(source)) {
    minSize_ = src->minSize_;
    maxSize_ = src->maxSize_;
    fadeTresholdSize_ = src->fadeTresholdSize_;
    distanceAttenuation_->Assign(src->distanceAttenuation_.get());
    NotifyChange(this);
    return;
  }
  TGLUpdateAbleObject::Assign(source);
}

void TGLPointParameters::Apply() const {
  if (!enabled_ || !GL.ARB_point_parameters || glPointParameterfARB == nullptr || glPointParameterfvARB == nullptr) {
    return;
  }
  glPointParameterfARB(GL_POINT_SIZE_MIN_ARB, minSize_);
  glPointParameterfARB(GL_POINT_SIZE_MAX_ARB, maxSize_);
  glPointParameterfARB(GL_POINT_FADE_THRESHOLD_SIZE_ARB, fadeTresholdSize_);
  glPointParameterfvARB(GL_POINT_DISTANCE_ATTENUATION_ARB, distanceAttenuation_->AsVector().data());
}

void TGLPointParameters::UnApply() const {
  if (!enabled_ || !GL.ARB_point_parameters || glPointParameterfARB == nullptr || glPointParameterfvARB == nullptr) {
    return;
  }
  static constexpr float kDefaultAttenuation[3] = {1.0f, 0.0f, 0.0f};
  glPointParameterfARB(GL_POINT_SIZE_MIN_ARB, 0.0f);
  glPointParameterfARB(GL_POINT_SIZE_MAX_ARB, 128.0f);
  glPointParameterfARB(GL_POINT_FADE_THRESHOLD_SIZE_ARB, 1.0f);
  glPointParameterfvARB(GL_POINT_DISTANCE_ATTENUATION_ARB, kDefaultAttenuation);
}

bool TGLPointParameters::StorePointParams() const {
  return minSize_ != 0.0f || maxSize_ != 128.0f || fadeTresholdSize_ != 1.0f;
}

std::array<uint8_t, 12> TGLPointParameters::PointParamsData() const {
  std::array<uint8_t, 12> data{};
  const float sizes[3] = {minSize_, maxSize_, fadeTresholdSize_};
  for (size_t i = 0; i < 3; ++i) {
    const uint32_t bits = std::bit_cast<uint32_t>(sizes[i]);
    for (size_t b = 0; b < 4; ++b) data[i * 4 + b] = static_cast<uint8_t>(bits >> (8 * b));
  }
  return data;
}

void TGLPointParameters::SetPointParamsData(const std::array<uint8_t, 12>& data) {
  float sizes[3];
  for (size_t i = 0; i < 3; ++i) {
    uint32_t bits = 0;
    for (size_t b = 0; b < 4; ++b) bits |= static_cast<uint32_t>(data[i * 4 + b]) << (8 * b);
    sizes[i] = NotNegative(std::bit_cast<float>(bits));
  }
  minSize_ = sizes[0];
  maxSize_ = sizes[1];
  fadeTresholdSize_ = sizes[2];
  NotifyChange(this);
}

void TGLPointParameters::WritePointParams(TBinaryStream& stream) const {
  const std::array<uint8_t, 12> data = PointParamsData();
  if (!stream.Write(data.data(), static_cast<int32_t>(data.size()))) throw EWriteError("Stream write error");
}

void TGLPointParameters::ReadPointParams(TBinaryStream& stream) {
  std::array<uint8_t, 12> data{};
  if (stream.Remaining() < static_cast<int32_t>(data.size())) throw EReadError("Stream read error");
  if (!stream.Read(data.data(), static_cast<int32_t>(data.size()))) throw EReadError("Stream read error");
  // A size that is no number is damage; a negative one goes to 0, as its setter takes it.
  for (size_t i = 0; i < data.size(); i += 4) {
    float size = 0.0f;
    std::memcpy(&size, &data[i], sizeof size);
    CheckPropertyValue(std::isfinite(size));
  }
  SetPointParamsData(data);
}

// ---------------------------------------------------------------- TGLPoints

TGLPoints::TGLPoints()
    : positions_(std::make_unique<TAffineVectorList>()),
      colors_(std::make_unique<TVectorList>()),
      pointParameters_(std::make_unique<TGLPointParameters>(this)) {
  IncludeObjectStyle(TGLObjectStyle::DirectDraw);
  IncludeObjectStyle(TGLObjectStyle::NoVisibilityCulling);
  positions_->Add(0.0f, 0.0f, 0.0f);
}

TGLPoints::~TGLPoints() = default;

void TGLPoints::SetPositions(const TAffineVectorList& value) {
  positions_->Assign(&value);
  StructureChanged();
}

void TGLPoints::SetColors(const TVectorList& value) {
  colors_->Assign(&value);
  StructureChanged();
}

void TGLPoints::SetSize(float value) {
  if (value == size_) return;
  size_ = value;
  StructureChanged();
}

void TGLPoints::SetStyle(TGLPointStyle value) {
  if (value == style_) return;
  style_ = value;
  StructureChanged();
}

void TGLPoints::SetPointParameters(const TGLPointParameters& value) { pointParameters_->Assign(&value); }

void TGLPoints::SetNoZWrite(bool value) {
  if (value == noZWrite_) return;
  noZWrite_ = value;
  StructureChanged();
}

void TGLPoints::SetStatic(bool value) {
  if (value == static_) return;
  static_ = value;
  if (value) {
    ExcludeObjectStyle(TGLObjectStyle::DirectDraw);
  } else {
    IncludeObjectStyle(TGLObjectStyle::DirectDraw);
  }
  StructureChanged();
}

void TGLPoints::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TGLPoints*>(source)) {
    size_ = src->size_;
    style_ = src->style_;
    positions_->Assign(src->positions_.get());
    colors_->Assign(src->colors_.get());
    StructureChanged();
  }
  TGLImmaterialSceneObject::Assign(source);
}

void TGLPoints::NotifyChange(TObject* sender) {
  if (sender != nullptr && sender == pointParameters_.get()) {
    StructureChanged();
    return;
  }
  TGLImmaterialSceneObject::NotifyChange(sender);
}

int TGLPoints::DrawnPointCount() const {
  int n = positions_->Count();
  if (colors_->Count() > 1) n = std::min(n, colors_->Count());
  return n;
}

bool TGLPoints::LocksArrays() const {
  return GL.EXT_compiled_vertex_array && glLockArraysEXT != nullptr && glUnlockArraysEXT != nullptr &&
         DrawnPointCount() > kLockArraysAbove;
}

int64_t TGLPoints::RenderWeight() const {
  const double largest = pointParameters_->Enabled() ? std::max(size_, pointParameters_->MaxSize()) : size_;
  return PointRenderWeight(largest);
}

void TGLPoints::BuildList(TRenderContextInfo& rci) {
  (void)rci;
  const int n = DrawnPointCount();
  if (n == 0) return;
  // Beyond the enable flags the point size, blend and alpha functions, depth
  // mask and current colour are saved too, so nothing leaks to later nodes.
  glPushAttrib(GL_ENABLE_BIT | GL_POINT_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_CURRENT_BIT);
  const bool colorArray = colors_->Count() > 1;
  if (colors_->Count() == 0) {
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  } else if (!colorArray) {
    glColor4fv((*colors_)[0].data());
  } else {
    glColorPointer(4, GL_FLOAT, 0, colors_->List());
    glEnableClientState(GL_COLOR_ARRAY);
  }
  glDisable(GL_LIGHTING);
  glVertexPointer(3, GL_FLOAT, 0, positions_->List());
  glEnableClientState(GL_VERTEX_ARRAY);
  if (noZWrite_) glDepthMask(GL_FALSE);
  glPointSize(size_);
  pointParameters_->Apply();
  const bool locked = LocksArrays();
  if (locked) glLockArraysEXT(0, n);
  switch (style_) {
    case TGLPointStyle::psSquare:
      glDisable(GL_BLEND);
      break;
    case TGLPointStyle::psRound:
      glEnable(GL_POINT_SMOOTH);
      glEnable(GL_ALPHA_TEST);
      glAlphaFunc(GL_GREATER, 0.5f);
      glDisable(GL_BLEND);
      break;
    case TGLPointStyle::psSmooth:
    case TGLPointStyle::psSmoothAdditive:
      glEnable(GL_POINT_SMOOTH);
      glEnable(GL_ALPHA_TEST);
      glAlphaFunc(GL_NOTEQUAL, 0.0f);
      glEnable(GL_BLEND);
      glBlendFunc(GL_SRC_ALPHA, style_ == TGLPointStyle::psSmooth ? GL_ONE_MINUS_SRC_ALPHA : GL_ONE);
      break;
    case TGLPointStyle::psSquareAdditive:
      glEnable(GL_BLEND);
      glBlendFunc(GL_SRC_ALPHA, GL_ONE);
      break;
  }
  DrawInRenderStretches(
      n, RenderStretchUnit(GL_POINTS),
      [](int64_t first, int64_t count) {
        glDrawArrays(GL_POINTS, static_cast<GLint>(first), static_cast<GLsizei>(count));
      },
      RenderWeight());
  if (locked) glUnlockArraysEXT();
  pointParameters_->UnApply();
  if (noZWrite_) glDepthMask(GL_TRUE);
  glDisableClientState(GL_VERTEX_ARRAY);
  if (colorArray) glDisableClientState(GL_COLOR_ARRAY);
  glPopAttrib();
  glAlphaFunc(GL_GREATER, 0.0f);
}

// -------------------------------------------------------------- TGLLineBase

TGLLineBase::TGLLineBase() : lineColor_(std::make_unique<TGLColor>(this, kOpaqueWhite)) {}

TGLLineBase::~TGLLineBase() = default;

void TGLLineBase::SetLineColor(const TGLColor& value) {
  lineColor_->Assign(&value);
  StructureChanged();
}

void TGLLineBase::SetLinePattern(uint16_t value) {
  if (value == linePattern_) return;
  linePattern_ = value;
  StructureChanged();
}

void TGLLineBase::SetLineWidth(float value) {
  if (value == lineWidth_) return;
  lineWidth_ = value;
  StructureChanged();
}

void TGLLineBase::SetAntiAliased(bool value) {
  if (value == antiAliased_) return;
  antiAliased_ = value;
  StructureChanged();
}

void TGLLineBase::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TGLLineBase*>(source)) {
    lineColor_->Initialize(src->lineColor_->Color());
    linePattern_ = src->linePattern_;
    lineWidth_ = src->lineWidth_;
    antiAliased_ = src->antiAliased_;
    StructureChanged();
  }
  TGLImmaterialSceneObject::Assign(source);
}

void TGLLineBase::NotifyChange(TObject* sender) {
  if (sender != nullptr && IsOwnedColor(sender)) {
    StructureChanged();
    return;
  }
  TGLImmaterialSceneObject::NotifyChange(sender);
}

void TGLLineBase::SetupLineStyle() const {
  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_LINE_BIT | GL_COLOR_BUFFER_BIT);
  glDisable(GL_LIGHTING);
  if (linePattern_ != 0xFFFF) {
    glEnable(GL_LINE_STIPPLE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glLineStipple(1, linePattern_);
  }
  if (antiAliased_) {
    glEnable(GL_LINE_SMOOTH);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  } else {
    glDisable(GL_LINE_SMOOTH);
  }
  glLineWidth(lineWidth_);
  const TVector& color = lineColor_->Color();
  if (color.w == 1.0f) {
    glColor3fv(color.data());
  } else {
    if (!antiAliased_) {
      glEnable(GL_BLEND);
      glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    glColor4fv(color.data());
  }
}

void TGLLineBase::RestoreLineStyle() { glPopAttrib(); }

// ------------------------------------------------------------ nodes of lines

TGLLinesNode::TGLLinesNode() : color_(std::make_unique<TGLColor>(this, kOpaqueBlue)) {
  color_->OnNotifyChange = [this](TObject*) { NotifyCollection(); };
}

TGLLinesNode::~TGLLinesNode() = default;

void TGLLinesNode::SetColor(const TGLColor& value) { color_->Assign(&value); }

TGLNodedLines* TGLLinesNode::OwnerLines() const {
  if (Collection() == nullptr) return nullptr;
  return dynamic_cast<TGLNodedLines*>(Collection()->GetOwner());
}

bool TGLLinesNode::IsColorStored() const {
  const TGLNodedLines* lines = OwnerLines();
  if (lines == nullptr) return true;
  return !SameColor(color_->Color(), lines->NodeColor().Color());
}

void TGLLinesNode::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TGLLinesNode*>(source)) {
    color_->Initialize(src->color_->Color());
  }
  TGLNode::Assign(source);
}

TGLLinesNodes::TGLLinesNodes(TPersistent* owner) : TGLNodes(owner, TGLLinesNode::StaticClass()) {}

TGLLinesNode& TGLLinesNodes::AddNode(float x, float y, float z) {
  BeginUpdate();
  TGLLinesNode& node = Add();
  node.SetX(x);
  node.SetY(y);
  node.SetZ(z);
  EndUpdate();
  return node;
}

void TGLLinesNodes::NotifyChange() {
  if (UpdateCount() != 0) return;
  if (auto* owner = dynamic_cast<TGLBaseSceneObject*>(GetOwner())) owner->StructureChanged();
}

void TGLLinesNodes::Notify(TCollectionItem& item, TCollectionNotification action) {
  if (action == TCollectionNotification::cnAdded) {
    if (auto* node = dynamic_cast<TGLLinesNode*>(&item)) {
      const auto* lines = dynamic_cast<const TGLNodedLines*>(GetOwner());
      if (lines != nullptr && !node->colorRead_) node->Color().Initialize(lines->NodeColor().Color());
      node->colorRead_ = false;
    }
  }
  TGLNodes::Notify(item, action);
}

// ------------------------------------------------------------ TGLNodedLines

TGLNodedLines::TGLNodedLines()
    : nodes_(std::make_unique<TGLLinesNodes>(this)), nodeColor_(std::make_unique<TGLColor>(this, kOpaqueBlue)) {}

TGLNodedLines::~TGLNodedLines() = default;

void TGLNodedLines::SetNodes(const TGLLinesNodes& value) {
  nodes_->Assign(&value);
  StructureChanged();
}

void TGLNodedLines::SetNodesAspect(TLineNodesAspect value) {
  if (value == nodesAspect_) return;
  nodesAspect_ = value;
  StructureChanged();
}

void TGLNodedLines::SetNodeColor(const TGLColor& value) {
  // The colour's notification (below) recolours the nodes.
  nodeColor_->Assign(&value);
}

void TGLNodedLines::SetNodeSize(float value) {
  nodeSize_ = value > 0.0f ? value : 1.0f;
  StructureChanged();
}

void TGLNodedLines::AddNode(float x, float y, float z) { nodes_->AddNode(x, y, z); }

void TGLNodedLines::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TGLNodedLines*>(source)) {
    nodes_->Assign(src->nodes_.get());
    nodesAspect_ = src->nodesAspect_;
    nodeColor_->Initialize(src->nodeColor_->Color());
    oldNodeColor_ = src->nodeColor_->Color();
    nodeSize_ = src->nodeSize_;
    StructureChanged();
  }
  TGLLineBase::Assign(source);
}

TVector TGLNodedLines::AxisAlignedDimensionsUnscaled() const {
  TVector result{0.0f, 0.0f, 0.0f, 0.0f};
  for (int i = 0; i < nodes_->Count(); ++i) {
    const TGLLinesNode& node = nodes_->GetItem(i);
    result.x = std::max(result.x, std::fabs(node.X()));
    result.y = std::max(result.y, std::fabs(node.Y()));
    result.z = std::max(result.z, std::fabs(node.Z()));
  }
  return result;
}

bool TGLNodedLines::IsOwnedColor(const TObject* sender) const {
  return sender == nodeColor_.get() || TGLLineBase::IsOwnedColor(sender);
}

void TGLNodedLines::NotifyChange(TObject* sender) {
  if (sender != nullptr && sender == nodeColor_.get()) OnNodeColorChanged();
  TGLLineBase::NotifyChange(sender);
}

void TGLNodedLines::OnNodeColorChanged() {
  const TVector newColor = nodeColor_->Color();
  if (SameColor(newColor, oldNodeColor_)) return;
  nodes_->BeginUpdate();
  for (int i = 0; i < nodes_->Count(); ++i) {
    TGLColor& color = nodes_->GetItem(i).Color();
    if (SameColor(color.Color(), oldNodeColor_)) color.SetColor(newColor);
  }
  oldNodeColor_ = newColor;
  nodes_->EndUpdate();
}

void TGLNodedLines::DrawNodes(TRenderContextInfo& rci) const {
  if (nodesAspect_ == TLineNodesAspect::lnaInvisible) return;
  glPushAttrib(GL_ENABLE_BIT);
  if (!rci.ignoreBlendingRequests) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  }
  glDisable(GL_TEXTURE_2D);
  if (GL.ARB_texture_cube_map) glDisable(GL_TEXTURE_CUBE_MAP);
  for (int i = 0; i < nodes_->Count(); ++i) {
    const TGLLinesNode& node = nodes_->GetItem(i);
    glPushMatrix();
    glTranslatef(node.X(), node.Y(), node.Z());
    switch (nodesAspect_) {
      case TLineNodesAspect::lnaAxes:
        AxesBuildList(rci, 0xCCCC, nodeSize_ * 0.5f);
        break;
      case TLineNodesAspect::lnaCube:
        CubeWireframeBuildList(rci, false, node.Color().Color(), nodeSize_);
        break;
      case TLineNodesAspect::lnaDodecahedron:
        if (rci.GLStates != nullptr) {
          rci.GLStates->SetMaterialColors(GL_FRONT, kOpaqueBlack,
                                          TVector{0.2f, 0.2f, 0.2f, 1.0f}, node.Color().Color(), kOpaqueBlack, 0);
        }
        if (nodeSize_ != 1.0f) {
          glPushMatrix();
          glScalef(nodeSize_, nodeSize_, nodeSize_);
          DodecahedronBuildList();
          glPopMatrix();
        } else {
          DodecahedronBuildList();
        }
        break;
      case TLineNodesAspect::lnaInvisible:
        break;
    }
    glPopMatrix();
  }
  glPopAttrib();
}

// ----------------------------------------------------------------- TGLLines

TGLLines::TGLLines() : nurbsKnots_(std::make_unique<TSingleList>()) {}

TGLLines::~TGLLines() = default;

void TGLLines::SetDivision(int32_t value) {
  if (value < 1) value = 1;
  if (value == division_) return;
  division_ = value;
  StructureChanged();
}

void TGLLines::SetSplineMode(TLineSplineMode value) {
  if (value == splineMode_) return;
  splineMode_ = value;
  StructureChanged();
}

void TGLLines::SetOptions(TLinesOptions value) {
  if (value == options_) return;
  options_ = value;
  StructureChanged();
}

void TGLLines::SetNurbsOrder(int32_t value) {
  if (value == nurbsOrder_) return;
  nurbsOrder_ = value;
  StructureChanged();
}

void TGLLines::SetNurbsSamplingTolerance(float value) {
  if (value == nurbsSamplingTolerance_) return;
  nurbsSamplingTolerance_ = value;
  StructureChanged();
}

bool TGLLines::NurbsCurveDrawable() const {
  return nurbsOrder_ > 0 && nurbsKnots_->Count() > 0 &&
         static_cast<int64_t>(nurbsKnots_->Count()) == static_cast<int64_t>(Nodes().Count()) + nurbsOrder_;
}

void TGLLines::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TGLLines*>(source)) {
    division_ = src->division_;
    splineMode_ = src->splineMode_;
    options_ = src->options_;
    StructureChanged();
  }
  TGLNodedLines::Assign(source);
}

void TGLLines::CubicSplineVertices(TAffineVectorList& points, TVectorList* colors) const {
  points.Clear();
  if (colors != nullptr) colors->Clear();
  const TGLLinesNodes& nodes = Nodes();
  const int count = nodes.Count();
  if (count < 2) return;
  const std::unique_ptr<TCubicSpline> spline = nodes.CreateCubicSpline();
  const float step = 1.0f / static_cast<float>(division_);
  const int64_t last = static_cast<int64_t>(count - 1) * division_;
  for (int64_t i = 0; i <= last; ++i) {
    if (colors != nullptr) {
      const int64_t k = i / division_;
      if (k >= count - 1) {
        colors->Add(nodes.GetItem(count - 1).Color().Color());
      } else {
        const int kk = static_cast<int>(k);
        colors->Add(LerpColor(nodes.GetItem(kk).Color().Color(), nodes.GetItem(kk + 1).Color().Color(),
                              static_cast<float>(i % division_) * step));
      }
    }
    points.Add(spline->EvalXYZ(static_cast<float>(i) * step));
  }
}

void TGLLines::BuildList(TRenderContextInfo& rci) {
  const TGLLinesNodes& nodes = Nodes();
  const int count = nodes.Count();
  if (count < 2) return;
  const bool nodeColors = options_.Contains(TLinesOption::loUseNodeColorForLines);
  SetupLineStyle();
  std::vector<float> positions;
  std::vector<float> colorValues;
  if (splineMode_ == TLineSplineMode::lsmBezierSpline || splineMode_ == TLineSplineMode::lsmNURBSCurve) {
    positions.reserve(static_cast<size_t>(count) * 3);
    colorValues.reserve(static_cast<size_t>(count) * 4);
    for (int i = 0; i < count; ++i) {
      const TGLLinesNode& node = nodes.GetItem(i);
      positions.insert(positions.end(), {node.X(), node.Y(), node.Z()});
      const TVector& c = node.Color().Color();
      colorValues.insert(colorValues.end(), {c.x, c.y, c.z, c.w});
    }
  }
  // More control points than the evaluators take would leave an older map in
  // place: such a curve is drawn through its nodes instead.
  bool bezier = splineMode_ == TLineSplineMode::lsmBezierSpline;
  if (bezier) {
    GLint maxOrder = 0;
    glGetIntegerv(GL_MAX_EVAL_ORDER, &maxOrder);
    bezier = count <= maxOrder;
  }
  if (bezier) {
    glPushAttrib(GL_EVAL_BIT);
    glEnable(GL_MAP1_VERTEX_3);
    glEnable(GL_MAP1_COLOR_4);
    glMap1f(GL_MAP1_VERTEX_3, 0.0f, 1.0f, 3, count, positions.data());
    glMap1f(GL_MAP1_COLOR_4, 0.0f, 1.0f, 4, count, colorValues.data());
  }
  if (splineMode_ == TLineSplineMode::lsmNURBSCurve && division_ >= 2) {
    if (NurbsCurveDrawable()) {
      GLUnurbs* renderer = gluNewNurbsRenderer();
      if (renderer != nullptr) {
        gluNurbsProperty(renderer, GLU_SAMPLING_TOLERANCE, nurbsSamplingTolerance_);
        gluNurbsProperty(renderer, GLU_DISPLAY_MODE, static_cast<GLfloat>(GLU_FILL));
        gluBeginCurve(renderer);
        gluNurbsCurve(renderer, nurbsKnots_->Count(), nurbsKnots_->List(), 3, positions.data(), nurbsOrder_,
                      GL_MAP1_VERTEX_3);
        gluEndCurve(renderer);
        gluDeleteNurbsRenderer(renderer);
      }
    }
  } else {
    GLenum mode = GL_LINE_STRIP;
    if (splineMode_ == TLineSplineMode::lsmSegments) mode = GL_LINES;
    if (splineMode_ == TLineSplineMode::lsmLoop) mode = GL_LINE_LOOP;
    int64_t sent = count;
    glBegin(mode);
    if (splineMode_ == TLineSplineMode::lsmCubicSpline && division_ >= 2) {
      TAffineVectorList points;
      TVectorList colors;
      CubicSplineVertices(points, nodeColors ? &colors : nullptr);
      for (int i = 0; i < points.Count(); ++i) {
        if (nodeColors) glColor4fv(colors[i].data());
        glVertex3fv(points[i].data());
      }
      sent = points.Count();
    } else if (bezier && division_ >= 2) {
      for (int32_t i = 0; i <= division_; ++i) {
        glEvalCoord1f(static_cast<float>(i) / static_cast<float>(division_));
      }
      sent = int64_t{division_} + 1;
    } else {
      for (int i = 0; i < count; ++i) {
        const TGLLinesNode& node = nodes.GetItem(i);
        if (nodeColors) glColor4fv(node.Color().Color().data());
        glVertex3f(node.X(), node.Y(), node.Z());
      }
    }
    glEnd();
    RenderQueueSent(sent * LineRenderWeight(LineWidth()));
  }
  if (bezier) glPopAttrib();
  RestoreLineStyle();
  DrawNodes(rci);
}

// ------------------------------------------------------- component streams

void TGLPointParameters::DefinePublished(TFiler& filer) {
  TGLUpdateAbleObject::DefinePublished(filer);
  DefineBoolean(filer, "Enabled", enabled_, enabled_, [this](bool v) { SetEnabled(v); });
  DefineNested(filer, "DistanceAttenuation", *distanceAttenuation_);
}

void TGLPointParameters::DefineProperties(TFiler& filer) {
  TGLUpdateAbleObject::DefineProperties(filer);
  filer.DefineBinaryProperty(
      "PointParams",
      [this](TBinaryStream& stream) {
        CheckPropertyValue(stream.Size() == 12);
        ReadPointParams(stream);
      },
      [this](TBinaryStream& stream) { WritePointParams(stream); }, StorePointParams());
}

void TGLPoints::DefinePublished(TFiler& filer) {
  TGLImmaterialSceneObject::DefinePublished(filer);
  // Always: a list emptied by its user must not come back holding the first point.
  DefineNested(filer, "Positions", *positions_);
  DefineNested(filer, "Colors", *colors_);
  DefineFloat(filer, "Size", size_, IsSizeStored(), [this](float v) { SetSize(v); });
  DefineOrdinal(filer, "Style", style_, TGLPointStyle::psSquareAdditive, TGLPointStyle::psSquare,
                [this](TGLPointStyle v) { SetStyle(v); });
  DefineNested(filer, "PointParameters", *pointParameters_);
  DefineBoolean(filer, "NoZWrite", noZWrite_, noZWrite_, [this](bool v) { SetNoZWrite(v); });
  DefineBoolean(filer, "Static", static_, static_, [this](bool v) { SetStatic(v); });
}

void TGLLineBase::DefinePublished(TFiler& filer) {
  TGLImmaterialSceneObject::DefinePublished(filer);
  DefineNested(filer, "LineColor", *lineColor_);
  DefineInteger(filer, "LinePattern", linePattern_, linePattern_ != 0xFFFF,
                [this](int32_t v) { SetLinePattern(static_cast<uint16_t>(v)); }, 0, 0xFFFF);
  DefineFloat(filer, "LineWidth", lineWidth_, IsLineWidthStored(), [this](float v) { SetLineWidth(v); });
  DefineBoolean(filer, "AntiAliased", antiAliased_, antiAliased_, [this](bool v) { SetAntiAliased(v); });
}

void TGLLinesNode::DefinePublished(TFiler& filer) {
  TGLNode::DefinePublished(filer);
  // A colour read is the node's own; without one the node takes the lines'
  // NodeColor when it joins them.
  DefineNested(filer, "Color", *color_, IsColorStored(), [this] { colorRead_ = true; });
}

void TGLNodedLines::DefinePublished(TFiler& filer) {
  TGLLineBase::DefinePublished(filer);
  DefineOrdinal(filer, "NodesAspect", nodesAspect_, TLineNodesAspect::lnaDodecahedron, TLineNodesAspect::lnaAxes,
                [this](TLineNodesAspect v) { SetNodesAspect(v); });
  // The colour read goes to the nodes that carried the previous one, as a set colour does.
  DefineNested(filer, "NodeColor", *nodeColor_, true, [this] { OnNodeColorChanged(); });
  DefineFloat(filer, "NodeSize", nodeSize_, IsNodeSizeStored(), [this](float v) { SetNodeSize(v); });
  // Last: a node's colour is stored only when it differs from NodeColor, so
  // NodeColor must be known when the nodes are read.
  DefineCollection(filer, "Nodes", *nodes_, nodes_->Count() > 0);
}

void TGLLines::DefinePublished(TFiler& filer) {
  TGLNodedLines::DefinePublished(filer);
  DefineInteger(filer, "Division", division_, division_ != 10, [this](int32_t v) { SetDivision(v); });
  DefineSplineMode(filer, splineMode_, [this](TLineSplineMode v) { SetSplineMode(v); });
  DefineFlags(filer, "Options", options_.Bits(), static_cast<uint32_t>(TLinesOption::loUseNodeColorForLines),
              !options_.Empty(),
              [this](uint32_t bits) { SetOptions(TLinesOptions::FromBits(static_cast<uint8_t>(bits))); });
}

// ------------------------------------------------------------ registration

void RegisterPointsLinesClasses() {
  RegisterClass(TGLPoints::StaticClass());
  RegisterClass(TGLLines::StaticClass());
  RegisterClass(TGLLinesNode::StaticClass());
}

}  // namespace qira

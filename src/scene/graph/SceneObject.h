#pragma once
// The node class of the engine's scene tree: its local transform (position,
// direction, up, scale and the pitch/turn/roll angles), its children, the
// lazily rebuilt local, absolute and inverse absolute matrices, a cached
// display list of its own geometry, cached bounding boxes, and the per-node
// render entry point that culls, multiplies the local matrix, draws the node
// and then its children in the requested order.
//
// Ownership: a node is a component. Nodes made by AddNewChild belong to the
// parent's owner (or to the parent itself when the parent has no owner), as
// nodes made by CreateAsChild belong to the parent. The child list only
// refers to its children; removing a child never frees it, DeleteChildren and
// the destructor do (through the child's owner when it has one, else
// directly). Single-threaded: everything runs on the thread of the current
// rendering context.
//
// Sections:
//   Flag sets
//   TGLBaseSceneObject
//   Hooks
#include <algorithm>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "scene/math/BoundingBox.h"
#include "scene/graph/Connectivity.h"
#include "scene/components/Coordinates.h"
#include "scene/graph/RenderContextInfo.h"
#include "scene/components/UpdateAbleObjects.h"
#include "scene/math/VectorTypes.h"

namespace qira {

class TGL3DScene;
class TGL3DSceneBuffer;
class TGLListHandle;
class TGLBehaviours;
class TGLObjectEffects;
class TGLBaseSceneObject;

// [SECTION] Flag sets

// How a node is drawn; subclasses set these in their constructors.
enum class TGLObjectStyle : uint8_t {
  DirectDraw = 1,          // never compiled into a display list: BuildList every frame
  ResetsFrontFace = 2,     // after drawing, the cached front-face winding is reset
  IgnoreDepthBuffer = 4,   // drawn with the depth test off
  NoVisibilityCulling = 8  // never culled
};

// What of a node's caches must be rebuilt.
enum class TGLObjectChange : uint8_t {
  LocalMatrixStale = 1,
  AbsoluteMatrixStale = 2,
  InverseMatrixStale = 4,
  ListStale = 8
};

enum class TGLBoxChange : uint8_t { ChildrenBoxStale = 1, OwnBoxStale = 2 };

// A set of the flags of one of the enumerations above (one byte unless said).
template <class E, class TBits = uint8_t>
class TGLFlagSet {
 public:
  constexpr TGLFlagSet() = default;
  constexpr TGLFlagSet(std::initializer_list<E> flags) {
    for (E f : flags) Include(f);
  }
  constexpr bool Contains(E flag) const { return (bits_ & static_cast<TBits>(flag)) != 0; }
  constexpr void Include(E flag) { bits_ = static_cast<TBits>(bits_ | static_cast<TBits>(flag)); }
  constexpr void Exclude(E flag) { bits_ = static_cast<TBits>(bits_ & ~static_cast<TBits>(flag)); }
  constexpr TGLFlagSet Without(std::initializer_list<E> flags) const {
    TGLFlagSet result = *this;
    for (E f : flags) result.Exclude(f);
    return result;
  }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr TBits Bits() const { return bits_; }
  static constexpr TGLFlagSet FromBits(TBits bits) {
    TGLFlagSet result;
    result.bits_ = bits;
    return result;
  }
  constexpr bool operator==(const TGLFlagSet&) const = default;

 private:
  TBits bits_ = 0;
};

using TGLObjectStyles = TGLFlagSet<TGLObjectStyle>;
using TGLObjectChanges = TGLFlagSet<TGLObjectChange>;
using TGLBoxChanges = TGLFlagSet<TGLBoxChange>;

// The published properties of the node base that a descendant may publish.
// Each descendant publishes a subset (PublishedBaseProperties); the behaviour
// and effect lists are not among them: their data are stream properties of
// the base, stored for every class.
enum class TGLBaseProperty : uint16_t {
  ObjectsSorting = 1 << 0,
  VisibilityCulling = 1 << 1,
  Direction = 1 << 2,
  PitchAngle = 1 << 3,
  Position = 1 << 4,
  RollAngle = 1 << 5,
  Scale = 1 << 6,
  ShowAxes = 1 << 7,
  TurnAngle = 1 << 8,
  Up = 1 << 9,
  Visible = 1 << 10,
  TagFloat = 1 << 11
};
using TGLBaseProperties = TGLFlagSet<TGLBaseProperty, uint16_t>;

inline constexpr TGLBaseProperties kAllBaseProperties = {
    TGLBaseProperty::ObjectsSorting, TGLBaseProperty::VisibilityCulling, TGLBaseProperty::Direction,
    TGLBaseProperty::PitchAngle,     TGLBaseProperty::Position,          TGLBaseProperty::RollAngle,
    TGLBaseProperty::Scale,          TGLBaseProperty::ShowAxes,          TGLBaseProperty::TurnAngle,
    TGLBaseProperty::Up,             TGLBaseProperty::Visible,           TGLBaseProperty::TagFloat};

// The renderer queues what it is given and rasterizes it on threads of its own.
// When rasterizing lags behind (objects that cover much of a large view, a busy
// machine), the queue and the memory it holds grow with the whole scene: 0.4 to
// 1.8 GB for one frame of 40,000 boreholes at 1920 x 1080, by the threads free.
// A frame waits for it after every so many objects rendered, which keeps it to what
// that many draw, at about the same frame time. One large object (a pipe of a million
// points, a point set, a section's sheet) alone queued several of the renderer's
// blocks of 36 MB on a busy machine: inside one object's draw the frame also waits
// once the object has sent so many vertices since the last wait (beside six busy
// loops at 1920 x 1080, 60 MB less at the peak for a polyline of a million points;
// twice as much queued left 2,000,000 points needing 40 MB more, killed now and then).
// The stretches run on from one object to the next, so many objects each below the
// bound (labels of a quad a character, small sections) queue no more than one large
// object: the wait follows the vertices sent, not the objects. It waits for the stretch
// before the last, so the renderer draws while the frame sends: 400 sections of 150 x
// 150 cells draw their frames in the time they took without it (a wait for all every
// few of them had made those frames 1.2 times slower).
inline constexpr int ObjectsBetweenRenderWaits = 256;
inline constexpr int64_t VerticesBetweenRenderWaits = int64_t{1} << 18;
// Inside one object's draw the frame waits only for the stretch before the one just
// sent (a fence), which lets the renderer draw while the frame sends: two stretches
// queued at most, as much as one wait for all after VerticesBetweenRenderWaits.
// A mesh drawn from buffers bins its triangles as any other draw does, so it keeps
// the stretch: the frame of a 2000 x 2000 section at 1920 x 1080 (364 waits) took
// no longer with 4 or 16 times fewer waits, nor with none.
// This is the least stretch, where memory is short (RenderStretchVertices).
inline constexpr int64_t VerticesInRenderStretch = VerticesBetweenRenderWaits / 2;

// A wait exists to bound what the renderer holds where memory is short; where there is
// room to spare it only costs time (a flush of the frame's bins, the dearer the larger
// the view: the usual survey's 50 sections, each below a stretch, waited every few of
// them and drew their frames at 1920 x 1080 a third slower than unwaited). So the
// stretch follows the room: the two stretches the renderer may hold take no more than an
// eighth of the memory left, at what it holds of a vertex queued at the most (a
// triangle a few pixels wide, 384 B in its bins: 128 B a vertex), and never less than
// VerticesInRenderStretch, which it is up to 256 MB left. The one reckoning of the
// stretch: the frame's draw asks it with the room it looks at, an open's count with
// the room the open leaves its first frame.
// Past a gigabyte of room a longer stretch buys no time: the renderer's threads sit idle
// while the frame sends it (400 sections at 1920 x 1080 drew 1.2 times slower at ten
// million vertices a stretch than at four times the least, the survey 1.1 times).
inline constexpr int64_t QueuedVertexBytes = 128;
inline constexpr int64_t RoomPerRenderQueue = 8;
inline constexpr int64_t MostVerticesInRenderStretch = 4 * VerticesInRenderStretch;
constexpr int64_t RenderStretchVertices(int64_t roomBytes) {
  return std::clamp(roomBytes / (2 * RoomPerRenderQueue * QueuedVertexBytes), VerticesInRenderStretch,
                    MostVerticesInRenderStretch);
}

// The renderer bins a primitive into every tile of RenderTilePixels x RenderTilePixels
// pixels it covers, so the queue takes a vertex of a wide primitive at the tiles it
// covers (its weight: what it sends counts so many times toward the stretch), and a
// count of what a frame holds in the bins takes it at the same weight.
inline constexpr int64_t RenderTilePixels = 64;
// The tiles a span of `pixels` covers across, on average over the places it may be
// drawn at: 1 + pixels / RenderTilePixels (at most one more). The average, not the
// most: a frame's many primitives land all over the view, and one of the usual few
// pixels weighs 1 where the most would make it 4. 500,000 points opened under memory
// limits at 1 to 255 pixels took 0.4 to 0.85 of the count (at 48 and 64 pixels, taken
// as one tile before, more than 1.3 times it: killed). NaN or less than a pixel: 1.
constexpr double RenderTilesAcross(double pixels) {
  constexpr double kMostPixels = double{1 << 20};
  if (!(pixels > 1.0)) return 1.0;
  return 1.0 + (pixels < kMostPixels ? pixels : kMostPixels) / static_cast<double>(RenderTilePixels);
}
// Tiles as a whole weight, the nearest, at least 1.
constexpr int64_t RenderWeightOf(double tiles) { return std::max<int64_t>(static_cast<int64_t>(tiles + 0.5), 1); }
// A point of `size` pixels: the tiles its square covers.
constexpr int64_t PointRenderWeight(double size) {
  const double across = RenderTilesAcross(size);
  return RenderWeightOf(across * across);
}
// A line `width` pixels wide: the tiles across it.
constexpr int64_t LineRenderWeight(double width) { return RenderWeightOf(RenderTilesAcross(width)); }

// Every draw of primitives tells what it sent (RenderQueueSent): the frame waits for
// the renderer's stretch before when the frame has sent a stretch since the last wait.
// The frame looks at the room (AvailableMemory) as it starts and again after every
// VerticesInRenderStretch sent (an eighth of a longer stretch), and takes its stretch
// from it (RenderStretchVertices): a look costs some 15 to 60 microseconds, the draw
// of what is sent between two looks milliseconds. What a display list's compile sends
// is queued when the list is called instead: the call tells the list's vertices then.
void RenderQueueSent(int64_t vertices);
// Draws `count` vertices in pieces of whole primitives of `unit` vertices each
// (draw(first, n)), so that the wait can come inside the draw; 0 for primitives that
// cannot be cut (strips, fans, polygons): one piece. The pixels are the same: the
// primitives go in their order, each whole. Each vertex is told `weight` times
// (PointRenderWeight, LineRenderWeight).
void DrawInRenderStretches(int64_t count, int64_t unit, const std::function<void(int64_t first, int64_t n)>& draw,
                           int64_t weight = 1);
// The vertices a draw may still send before the frame waits for its stretch before
// or looks at the room again (at least 1); unbounded while a display list is compiled. For a draw that sends its
// primitives one by one (glBegin ... glEnd) and must end its batch to tell them.
int64_t RenderStretchRoom();
// Whole primitives of a draw mode, for DrawInRenderStretches.
int64_t RenderStretchUnit(uint32_t mode);
// What the frames of this thread have told the queue in all, each vertex at its weight
// (tests compare a count of the bins with it).
int64_t RenderQueueToldForTesting();
// Called at every wait with the vertices the renderer may hold while the frame waits (tests); empty for none.
void SetRenderWaitHook(std::function<void(int64_t vertices)> hook);

// (Sender, deltaTime, newTime)
using TGLProgressEvent = std::function<void(TObject* sender, double deltaTime, double newTime)>;

// [SECTION] TGLBaseSceneObject

// The red, green and blue axes of a node, stippled with pattern, each from -l to
// l through the origin (darker on the negative side); lighting off, blending on
// unless the frame ignores blending requests; every state it touches is restored.
void AxesBuildList(const TRenderContextInfo& rci, uint16_t pattern, float l);

class TGLBaseSceneObject : public TGLCoordinatesUpdateAbleComponent {
  QIRA_CLASS(TGLBaseSceneObject, TGLCoordinatesUpdateAbleComponent)

  TGLBaseSceneObject();
  // Cameras of the subtree are freed first, then the node leaves its parent
  // and frees its remaining children.
  ~TGLBaseSceneObject() override;

  // A new node of class T owned by `parent` and added to it.
  template <class T>
  static T& CreateAsChild(TGLBaseSceneObject& parent) {
    T& child = parent.AddComponent<T>();
    parent.AddChild(child);
    return child;
  }

  // ---- TComponent / TPersistent
  // From another TGLBaseSceneObject: transform, flags, a copy of each child
  // (of the child's class), behaviours, effects, tags. Other sources: inherited.
  void Assign(const TPersistent* source) override;
  // Inherited, then Position.W := 1, then the behaviours and effects finish loading.
  void Loaded() override;
  // Calls the process-wide name hook (SetSceneObjectNameChangeHook) on change.
  void SetName(const std::string& name) override;

  // ---- component streams
  // Of the base properties this class publishes (PublishedBaseProperties):
  // Visible, ShowAxes, ObjectsSorting and VisibilityCulling when they differ
  // from their defaults; the four coordinates, the angles and TagFloat always.
  // A descendant declares its own published properties after calling this.
  void DefinePublished(TFiler& filer) override;
  // Which of the base properties the class publishes: all of them here; a
  // descendant that publishes fewer overrides it. One that is not published
  // is neither written nor accepted when read ("Property ... does not exist").
  virtual TGLBaseProperties PublishedBaseProperties() const { return kAllBaseProperties; }
  // "BehavioursData" and "EffectsData": each list's stored form, written only
  // when the list exists and holds an item.
  void DefineProperties(TFiler& filer) override;
  // Every child that is not a sub-component.
  void GetChildren(const TGetChildProc& proc, TComponent* root) override;
  // A scene means its root object, a scene object itself, anything else
  // none; then SetParent.
  void SetParentComponent(TComponent* value) override;
  // The scene when the parent is the scene's root object, else the parent.
  TComponent* GetParentComponent() const override;

  // ---- notification and time
  // Children last to first, behaviours, effects, then OnProgress.
  void DoProgress(const TProgressTimes& progressTimes) override;
  // To the scene's NotifyChange, unless there is no scene, an update is
  // pending or the node is being read.
  void NotifyChange(TObject* sender) override;
  // Keeps Direction and Up unit length and perpendicular (see the .cpp).
  void CoordinateChanged(TGLCustomCoordinates* sender) override;
  // A structural change: the display list is rebuilt on the next frame and
  // the cached own box (with the boxes above it) is recomputed when next read.
  virtual void StructureChanged();
  // The local matrix (and with it every absolute matrix below) is stale, and
  // so is the parent's cached box of its children.
  void TransformationChanged();

  // ---- scene and flags
  TGL3DScene* Scene() const { return scene_; }
  // When it differs: the display lists of the subtree are destroyed (they
  // belong to the old scene's contexts), then every child follows.
  virtual void SetScene(TGL3DScene* scene);
  bool Visible() const { return visible_; }
  virtual void SetVisible(bool value);
  bool ShowAxes() const { return showAxes_; }
  void SetShowAxes(bool value);
  TGLObjectsSorting ObjectsSorting() const { return objectsSorting_; }
  void SetObjectsSorting(TGLObjectsSorting value);
  TGLVisibilityCulling VisibilityCulling() const { return visibilityCulling_; }
  void SetVisibilityCulling(TGLVisibilityCulling value);
  TGLObjectStyles ObjectStyle() const { return objectStyle_; }
  TGLObjectChanges Changes() const { return changes_; }
  TGLBoxChanges BoxChanges() const { return boxChanges_; }
  virtual bool Blended() const { return false; }
  float TagFloat = 0.0f;
  TGLProgressEvent OnProgress;
  TNotifyEvent OnAddedToParent;

  // ---- transform
  TGLCoordinates3& Position() const { return *position_; }
  TGLCoordinates3& Direction() const { return *direction_; }
  TGLCoordinates3& Up() const { return *up_; }
  TGLCoordinates3& Scale() const { return *scale_; }
  TGLCoordinates3& Rotation() const { return *rotation_; }
  // Assign the coordinates (each runs the coordinate-change rule). A
  // direction or up vector whose x, y and z are all 0 is ignored.
  void SetPosition(const TGLCoordinates3& value);
  void SetDirection(const TGLCoordinates3& value);
  void SetUp(const TGLCoordinates3& value);
  void SetScale(const TGLCoordinates3& value);
  // Degrees; stored normalised to (-180, 180]. Turning rotates Direction and
  // Up about the node's own axes by the difference to the stored angle.
  float PitchAngle() const { return rotation_->X(); }
  float TurnAngle() const { return rotation_->Y(); }
  float RollAngle() const { return rotation_->Z(); }
  void SetPitchAngle(float value);
  void SetTurnAngle(float value);
  void SetRollAngle(float value);
  // Turns the node so that Direction points at the target and Up lies in the
  // plane of that direction and `upVector` (both absolute). A target at the
  // node's own position, or a direction parallel to `upVector`, keeps the
  // previous orientation.
  void PointTo(const TVector& targetPosition, const TVector& upVector);
  void PointToObject(const TGLBaseSceneObject& object, const TVector& upVector);

  // ---- matrices (rebuilt on demand)
  const TMatrix& LocalMatrix() const;
  const TMatrix& AbsoluteMatrix() const;
  const TMatrix& InvAbsoluteMatrix() const;
  // Local matrix := m; Direction, Up, Scale and Position taken from its rows.
  void SetMatrix(const TMatrix& m);
  TVector GetAbsolutePosition() const;
  TAffineVector GetAbsoluteAffinePosition() const;
  TVector GetAbsoluteDirection() const;
  TVector GetAbsoluteUp() const;
  TVector AbsoluteToLocal(const TVector& v) const;
  TVector LocalToAbsolute(const TVector& v) const;

  // ---- tree
  TGLBaseSceneObject* Parent() const { return parent_; }
  int ChildCount() const { return static_cast<int>(children_.size() - childGaps_); }
  // Null outside 0..ChildCount()-1.
  TGLBaseSceneObject* Children(int index) const;
  // Position in the parent's list, -1 without a parent.
  int Index() const;
  bool HasParent() const override { return parent_ != nullptr; }
  // Appends; the child must not have a parent.
  virtual void AddChild(TGLBaseSceneObject& child);
  // A new node of that class, owned by this node's owner (by this node when
  // it has none), appended / inserted first. `cls` must describe a
  // TGLBaseSceneObject descendant with a constructor without arguments,
  // otherwise EConvertError.
  virtual TGLBaseSceneObject& AddNewChild(const TClassInfo& cls);
  virtual TGLBaseSceneObject& AddNewChildFirst(const TClassInfo& cls);
  template <class T>
  T& AddNewChild() {
    return static_cast<T&>(AddNewChild(T::StaticClass()));
  }
  template <class T>
  T& AddNewChildFirst() {
    return static_cast<T&>(AddNewChildFirst(T::StaticClass()));
  }
  // Inserts at index (clamped); a child with a parent leaves it first.
  virtual void Insert(int index, TGLBaseSceneObject& child);
  // Takes the child out of the list (not freed). With keepChildren its
  // children pass to this node, the child's last child first. Finding the child
  // and taking it out cost O(1) amortized wherever it stands.
  virtual void Remove(TGLBaseSceneObject& child, bool keepChildren);
  // Frees every child (cameras of the subtree first).
  virtual void DeleteChildren();
  // Moves the node under another parent (or none).
  virtual void SetParent(TGLBaseSceneObject* newParent);
  // Moves the node within its parent's list (index clamped).
  void MoveTo(int index);
  void MoveUp() { MoveTo(Index() - 1); }
  void MoveDown() { MoveTo(Index() + 1); }

  // ---- boxes and geometry queries
  // Half extents of the unscaled node: (0.5, 0.5, 0.5, 0) here.
  virtual TVector AxisAlignedDimensionsUnscaled() const;
  TVector AxisAlignedDimensions() const;
  float BoundingSphereRadius() const;
  float BoundingSphereRadiusUnscaled() const;
  virtual TVector BarycenterAbsolutePosition() const;
  float BarycenterSqrDistanceTo(const TVector& point) const;
  // The node alone, in its own frame (see the .cpp).
  virtual THmgBoundingBox BoundingBox() const;
  // Cached: the own box merged with the children's boxes in this node's frame.
  THmgBoundingBox BoundingBoxIncludingChildren() const;
  // Scaled by Scale, in the node's own frame.
  TAABB AxisAlignedBoundingBox(bool includeChildren = true) const;
  TAABB AxisAlignedBoundingBoxUnscaled(bool includeChildren = true) const;
  // The box including children carried by the absolute matrix, made axis-aligned.
  TAABB AbsoluteAABB() const;
  virtual bool PointInObject(const TVector& point) const;
  // Ray (unit direction) against the bounding sphere. The outputs may be null.
  virtual bool RayCastIntersect(const TVector& rayStart, const TVector& rayVector,
                                TVector* intersectPoint = nullptr,
                                TVector* intersectNormal = nullptr) const;
  virtual std::unique_ptr<TGLSilhouette> GenerateSilhouette(const TGLSilhouetteParameters& parameters) const;

  // ---- updates
  void BeginUpdate() override;
  void EndUpdate() override;

  // ---- rendering (a rendering context must be current)
  // The display list of BuildList, compiled on first use and after
  // StructureChanged. Returns its name.
  virtual uint32_t GetHandle(TRenderContextInfo& rci);
  // Number of times this node's display list was compiled.
  int ListCompileCount() const { return listCompileCount_; }
  bool HasDisplayList() const;
  // The node's OpenGL commands; empty here.
  virtual void BuildList(TRenderContextInfo& rci);
  // Culls, multiplies the local matrix, draws the node and its children.
  void Render(TRenderContextInfo& rci);
  virtual void DoRender(TRenderContextInfo& rci, bool renderSelf, bool renderChildren);
  // Children first..last in the effective sorting order.
  virtual void RenderChildren(int first, int last, TRenderContextInfo& rci);
  // Frees the display list.
  virtual void DestroyHandle();
  // Children first, then this node.
  void DestroyHandles();

  // ---- behaviours and effects (created on first access)
  TGLBehaviours& Behaviours();
  TGLObjectEffects& Effects();
  // A list exists and holds at least one item.
  bool HasBehaviours() const;
  bool HasEffects() const;
  const TGLBehaviours* BehavioursIfAny() const { return behaviours_.get(); }
  const TGLObjectEffects* EffectsIfAny() const { return effects_.get(); }

 protected:
  void SetObjectStyle(TGLObjectStyles style) { objectStyle_ = style; }
  void IncludeObjectStyle(TGLObjectStyle flag) { objectStyle_.Include(flag); }
  void ExcludeObjectStyle(TGLObjectStyle flag) { objectStyle_.Exclude(flag); }
  virtual void DoOnAddedToParent();
  // Draws BuildList directly (DirectDraw, amalgamating) or replays the list.
  void DrawSelf(TRenderContextInfo& rci);
  void RebuildMatrix() const;
  void SetBoxChanges(TGLBoxChanges value) const;
  void MarkOwnBoxStale() const;
  void MarkChildrenBoxStale() const;
  // As after a display-list build: the list counts as up to date (so that
  // the next StructureChanged notifies again) and the own box is stale. For
  // nodes that draw without a list of their own (camera, proxy).
  void ClearStructureChanged();

 private:
  void RotateAboutAxis(const TAffineVector& axis, float angleDegreesDelta);
  void SetAngle(int index, float value);
  TGLBaseSceneObject& CreateChildOf(const TClassInfo& cls);
  void FreeChild(TGLBaseSceneObject& child);
  void RemoveCamerasOfSubtree();
  // Where child stands in children_ (gaps counted), or -1.
  int ChildPosition(const TGLBaseSceneObject& child) const;
  void RemoveChildFromList(int position);
  // Closes the gaps removals left in children_, keeping the order; then the list
  // as its users see it.
  void CompactChildren() const;
  const std::vector<TGLBaseSceneObject*>& ChildList() const {
    CompactChildren();
    return children_;
  }
  void DrawAxes(TRenderContextInfo& rci, uint16_t pattern);
  void RenderSelfBracketed(TRenderContextInfo& rci, bool renderChildren);
  void AfterListReplayed(TRenderContextInfo& rci);

  // Matrices: the caches are rebuilt from const accessors.
  mutable TMatrix localMatrix_;
  mutable TMatrix absoluteMatrix_;
  mutable TMatrix invAbsoluteMatrix_;
  TGLObjectStyles objectStyle_;
  std::unique_ptr<TGLListHandle> listHandle_;
  std::unique_ptr<TGLCoordinates3> position_;
  std::unique_ptr<TGLCoordinates3> direction_;
  std::unique_ptr<TGLCoordinates3> up_;
  std::unique_ptr<TGLCoordinates3> scale_;
  std::unique_ptr<TGLCoordinates3> rotation_;
  mutable TGLObjectChanges changes_;
  TGLBaseSceneObject* parent_ = nullptr;
  TGL3DScene* scene_ = nullptr;
  mutable TGLBoxChanges boxChanges_;
  mutable THmgBoundingBox ownBox_;
  mutable THmgBoundingBox childrenBox_;
  mutable THmgBoundingBox combinedBox_;
  // The children in order. A removal leaves a gap (null) that a later compaction
  // closes: when the gaps outnumber the children, or before the list is read by
  // index or walked (ChildList). Gaps never stand at the back.
  mutable std::vector<TGLBaseSceneObject*> children_;
  mutable size_t childGaps_ = 0;
  size_t parentSlot_ = 0;  // where this node stands in its parent's children_
  bool hasChildList_ = false;
  bool visible_ = true;
  bool showAxes_ = false;
  bool calculating_ = false;
  TGLObjectsSorting objectsSorting_ = TGLObjectsSorting::osInherited;
  TGLVisibilityCulling visibilityCulling_ = TGLVisibilityCulling::vcInherited;
  std::unique_ptr<TGLBehaviours> behaviours_;
  std::unique_ptr<TGLObjectEffects> effects_;
  int listCompileCount_ = 0;
  int64_t listVertices_ = 0;  // what the list sends when it is called (RenderQueueSent)
  // Enable flags the list changed while it was compiled, and their values
  // after the compile: replaying the list sets them again behind the cache.
  // Other cached state the list changed: it is forgotten after each replay.
  uint32_t listStateMask_ = 0;
  uint32_t listStateValues_ = 0;
  int8_t listFrontFaceCCW_ = -1;  // -1: the list leaves the winding alone
  bool listTouchesMaterial_ = false;
  bool listTouchesPolygonMode_ = false;
  bool listTouchesTextures_ = false;
  uint32_t pickName_ = 0;
};

// [SECTION] Hooks

// Called with the node after every change of a node's name; empty by default.
void SetSceneObjectNameChangeHook(std::function<void(TGLBaseSceneObject&)> hook);
// When set, Render saves the model-view matrix by reading it back instead of
// glPushMatrix (for drivers with a shallow matrix stack). False by default.
void SetSceneObjectMatrixSaving(bool readBack);
// Test hook: how many entries of child lists, in this process, a removal or the
// closing of gaps has looked at or moved.
int64_t ChildListStepsForTesting();

}  // namespace qira

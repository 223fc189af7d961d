#include "model/GraphRecord.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/DrawCosts.h"
#include "model/StreamHelpers.h"
#include "platform/AvailableMemory.h"
#include "platform/BinaryStream.h"
#include "platform/CodePage.h"
#include "scene/graph/SceneObject.h"

namespace qira {

namespace {

constexpr size_t kKindCount = static_cast<size_t>(GraphTypeId::Last) + 1;

std::array<TGraphObjectCreator, kKindCount>& Kinds() {
  static std::array<TGraphObjectCreator, kKindCount> kinds = [] {
    std::array<TGraphObjectCreator, kKindCount> k;
    k[GraphTypeId::Group] = [] { return std::make_unique<TGraphMain>(); };
    return k;
  }();
  return kinds;
}

bool ValidTypeId(int32_t typeId) { return typeId >= 0 && typeId <= GraphTypeId::Last; }

void Require(bool ok) {
  if (!ok) throw EStreamError();
}

// Depth of the record being read and of the one being written; a nested call
// always unwinds through the guard.
thread_local int tReadNesting = 0;
thread_local int tWriteNesting = 0;

// Counts one level for its lifetime.
class TNestingGuard {
 public:
  explicit TNestingGuard(int& depth) : depth_(depth) { ++depth_; }
  ~TNestingGuard() { --depth_; }
  TNestingGuard(const TNestingGuard&) = delete;
  TNestingGuard& operator=(const TNestingGuard&) = delete;
  bool Within() const { return depth_ <= MaxGraphNesting; }

 private:
  int& depth_;
};

}  // namespace

bool RegisterGraphKind(int32_t typeId, TGraphObjectCreator creator) {
  if (!ValidTypeId(typeId)) return false;
  if (typeId == GraphTypeId::Group && !creator) return false;  // the group stays known
  Kinds()[typeId] = std::move(creator);
  return true;
}

bool IsGraphKindRegistered(int32_t typeId) {
  return ValidTypeId(typeId) && static_cast<bool>(Kinds()[typeId]);
}

TScopedGraphKind::TScopedGraphKind(int32_t typeId, TGraphObjectCreator creator) : typeId_(typeId) {
  if (ValidTypeId(typeId)) {
    previous_ = Kinds()[typeId];
    RegisterGraphKind(typeId, std::move(creator));
  }
}

TScopedGraphKind::~TScopedGraphKind() {
  if (ValidTypeId(typeId_)) Kinds()[typeId_] = std::move(previous_);
}

// ---- Common chunk -------------------------------------------------------------------

bool TGraphMain::SaveToStream(TBinaryStream& handle) {
  TNestingGuard nesting(tWriteNesting);
  if (!nesting.Within()) return false;
  TFileVersion chunk(handle, 0);
  if (!chunk.WriteHeader()) return false;
  if (!handle.WriteInt32(TypeId)) return false;
  if (!WriteLengthString(handle, name_)) return false;
  // The expanded state stored is the node's at save time (0 without a node).
  const TTreeItemId node = GetTreeNode();
  Expanded = node != 0 && treeView_->NodeExpanded(node);
  if (!handle.WriteBool(visible_) || !handle.WriteUInt8(Transparency) ||
      !handle.WriteBool(AcceptForAll) || !handle.WriteBool(Exclusive) || !handle.WriteBool(Expanded))
    return false;
  for (double v : {BoundsMin.X, BoundsMin.Y, BoundsMin.Z, BoundsMax.X, BoundsMax.Y, BoundsMax.Z})
    if (!handle.WriteDouble(v)) return false;
  if (!handle.WriteInt32(static_cast<int32_t>(children_.size()))) return false;
  for (auto& child : children_)
    if (!child->SaveRecord(handle)) return false;
  return chunk.WriteEndOffset();
}

bool TGraphMain::SaveRecord(TBinaryStream& handle) {
  const TCp1252Subject subject(name_);
  return SaveToStream(handle);
}

bool TGraphMain::LoadFromStream(TBinaryStream& handle) {
  TNestingGuard nesting(tReadNesting);
  Require(nesting.Within());
  TFileVersion chunk(handle, 0);
  int32_t found = 0;
  if (!chunk.ReadHeader(found, true)) {
    Require(!chunk.Damaged());
    return false;  // newer: the handle stands behind the common chunk
  }
  const int32_t end = chunk.EndOffset;
  // The children lie inside the common chunk; the kind's own chunk behind it is read
  // after this bound has ended.
  const TReadBound fields(handle, end);

  int32_t typeId = 0;
  std::string name;
  bool visible = true, acceptForAll = false, exclusive = false, expanded = false;
  uint8_t transparency = 255;
  TSurveyPoint bmin, bmax;
  int32_t count = 0;
  Require(handle.ReadInt32(typeId));
  // The class decides how the record goes on (its own chunk), so it must be the
  // class the record was written by.
  Require(typeId == TypeId);
  Require(ReadNameString(handle, name));
  Require(handle.ReadBool(visible) && handle.ReadUInt8(transparency) &&
          handle.ReadBool(acceptForAll) && handle.ReadBool(exclusive) && handle.ReadBool(expanded));
  Require(handle.ReadDouble(bmin.X) && handle.ReadDouble(bmin.Y) && handle.ReadDouble(bmin.Z));
  Require(handle.ReadDouble(bmax.X) && handle.ReadDouble(bmax.Y) && handle.ReadDouble(bmax.Z));
  Require(handle.ReadInt32(count));
  Require(handle.Position() <= end);
  Require(count >= 0 && count <= (end - handle.Position()) / MinGraphRecordSize);

  SetName(name);
  SetVisible(visible);
  Transparency = transparency;
  AcceptForAll = acceptForAll;
  Exclusive = exclusive;
  Expanded = expanded;
  BoundsMin = bmin;
  BoundsMax = bmax;

  // Children join only once the whole list was read.
  std::vector<std::unique_ptr<TGraphMain>> loaded;
  for (int32_t i = 0; i < count; ++i) {
    std::unique_ptr<TGraphMain> child = CreateGraphObject(handle);
    Require(handle.Position() <= end);
    if (child) loaded.push_back(std::move(child));
  }
  Require(chunk.SkipToEnd());
  AdoptLoadedChildren(std::move(loaded));
  return true;
}

int GraphTreeDepth(const TGraphMain& root) {
  int deepest = 0;
  std::vector<std::pair<const TGraphMain*, int>> pending{{&root, 1}};
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    deepest = std::max(deepest, depth);
    for (int i = 0; i < node->ChildCount(); ++i) pending.emplace_back(node->GetChild(i), depth + 1);
  }
  return deepest;
}

std::string GraphTreeTooDeepText() {
  return "Objects are nested deeper than " + std::to_string(MaxGraphNesting) +
         " levels; such a file could not be opened";
}

// ---- The count of an open -----------------------------------------------------------

namespace {

thread_local TOpenCount* tOpenCount = nullptr;
std::atomic<int64_t> gUncountedWeighs{0};

// Fields stored in at least this many bytes are weighed at what their reading holds.
constexpr int64_t kFieldsWeighedBySizes = 64 << 10;

}  // namespace

TOpenCount::TOpenCount(int64_t availableBytes, int64_t neededBefore)
    : outer_(tOpenCount), available_(availableBytes), watch_(availableBytes), needed_(neededBefore) {
  tOpenCount = this;
}

TOpenCount::~TOpenCount() { tOpenCount = outer_; }

// No more objects' bins are held at once than the renderer is left to queue, and
// inside the frame no more than its stretch lets it: the first frame meets the room
// the open leaves it.
int64_t TOpenCount::Counted() const {
  return CountedAt(RenderStretchVertices(available_ - needed_));
}

int64_t TOpenCount::CountedAt(int64_t stretchVertices) const {
  return needed_ + FrameBinsAt(std::min(binned_, mostBinned_ * ObjectsBetweenRenderWaits),
                               std::min(wholeBinned_, mostWholeBinned_ * ObjectsBetweenRenderWaits), stretchVertices,
                               VerticesInRenderStretch);
}

// Objects past the count are read, not kept, so the figures are weighed with what the
// count has taken of those kept and of the one being read: at the least stretch, what
// the count grows by as it reads (what the room leaves the frame is not taken yet).
bool TOpenCount::Holds(int64_t next) {
  usedUp_ = usedUp_ || !watch_.Holds(CountedAt(VerticesInRenderStretch) + pendingFields_, next);
  return !usedUp_;
}

void TOpenCount::AddBins(int64_t binned, int64_t whole) {
  // Unbounded, as many objects' bins as the renderer is left to queue still count.
  constexpr int64_t kUnbounded = std::numeric_limits<int64_t>::max() / ObjectsBetweenRenderWaits;
  whole = std::clamp(whole, binned, kUnbounded);
  binned_ += binned;
  mostBinned_ = std::max(mostBinned_, binned);
  wholeBinned_ = whole > std::numeric_limits<int64_t>::max() - wholeBinned_ ? std::numeric_limits<int64_t>::max()
                                                                            : wholeBinned_ + whole;
  mostWholeBinned_ = std::max(mostWholeBinned_, whole);
}

bool TOpenCount::Active() { return tOpenCount != nullptr; }

bool TOpenCount::Keep(const TGraphMain& object) {
  TOpenCount* count = tOpenCount;
  if (!count) return true;
  // And its place in the list of its parent (or of the objects read for it), counted
  // before that list grows for it.
  count->needed_ += object.OpenedBytes() + GrowingArrayElementBytes(sizeof(std::unique_ptr<TGraphMain>));
  count->AddBins(object.FrameBinnedBytes(), object.BinnedBytes());
  // Its fields are in what it takes opened now.
  const int64_t fields = std::exchange(count->pendingFields_, 0);
  count->weighed_ = 0;
  const bool fits = count->Holds(0) && count->Fits();
  if (fits) count->keptFields_ += fields;
  return fits;
}

bool TOpenCount::Expect(int64_t heldBytes) {
  TOpenCount* count = tOpenCount;
  if (!count) return true;
  if (count->keptFields_ + count->pendingFields_ + heldBytes <= count->available_ && count->Holds(heldBytes)) {
    count->pendingFields_ += heldBytes;
    return true;
  }
  count->needed_ += heldBytes;
  count->refusedFields_ = heldBytes;
  return false;
}

bool TOpenCount::Weigh(int64_t bytes) {
  TOpenCount* count = tOpenCount;
  if (!count) {
    gUncountedWeighs.fetch_add(1, std::memory_order_relaxed);
    return true;
  }
  const int64_t beyond = count->weighed_ + bytes - count->pendingFields_;
  if (beyond <= 0 ||
      (count->keptFields_ + count->pendingFields_ + beyond <= count->available_ && count->Holds(beyond))) {
    count->pendingFields_ += std::max<int64_t>(beyond, 0);
    count->weighed_ += bytes;
    // Past a refusal, whose need held what was weighed until then, what is made
    // beside it adds to the need told.
    if (count->passedOver_) count->needed_ += std::max<int64_t>(beyond, 0);
    return true;
  }
  // The need told passes the memory there was whichever check refused: what the
  // fields read so far hold with this allocation beside them, or more.
  count->needed_ = std::max(count->needed_ + bytes, count->keptFields_ + count->pendingFields_ + bytes);
  count->passedOver_ = true;
  return false;
}

bool TOpenCount::KeepWeighed() {
  TOpenCount* count = tOpenCount;
  if (!count) return true;
  const int64_t fields = std::exchange(count->pendingFields_, 0);
  count->weighed_ = 0;
  count->needed_ += fields;
  count->keptFields_ += fields;
  return count->Holds(0) && count->Fits();
}

int64_t TOpenCount::NeededSoFar() { return tOpenCount ? tOpenCount->needed_ : 0; }

void TOpenCount::PassedOver(int64_t bytes, int64_t neededBefore) {
  if (TOpenCount* count = tOpenCount) count->needed_ = std::max(count->needed_, neededBefore + bytes);
}

int64_t TOpenCount::UncountedWeighs() { return gUncountedWeighs.load(std::memory_order_relaxed); }

std::string ReadCounted(const std::string& path, const std::function<void()>& read, int64_t alsoNeeded,
                        int64_t heldBefore) {
  // What a reading holds besides what it weighs: the file's buffer, the object being
  // read until Keep weighs it. Counted from the start, so that the figures, looked at
  // as it reads, do not find the count short by them.
  constexpr int64_t kReadingOwnBytes = 256 << 10;
  TOpenCount count(AvailableMemory(), alsoNeeded + kReadingOwnBytes);
  read();
  if (count.Fits()) return {};
  // What was held before is counted only in what is told: the memory measured now
  // already lacks it.
  return TooLargeText("The file \"" + path + "\"", "read", count.Needed() + heldBefore,
                      count.Available() + heldBefore);
}

void TOpenCount::Skipped(const TSkippedCost& object) {
  TOpenCount* count = tOpenCount;
  if (!count) return;
  // Its stored bytes were counted when they were refused; the object opened, with its
  // place in its parent's list, replaces them.
  const int64_t refused = std::exchange(count->refusedFields_, 0);
  const int64_t opened = object.OpenedBytes + GrowingArrayElementBytes(sizeof(std::unique_ptr<TGraphMain>));
  count->needed_ += std::max<int64_t>(opened - refused, 0);
  // What its meshes send in all is not known: its bins grow with any stretch.
  count->AddBins(object.FrameBinnedBytes, std::numeric_limits<int64_t>::max());
}

// ---- Factory ------------------------------------------------------------------------

std::unique_ptr<TGraphMain> CreateGraphObject(TBinaryStream& handle) {
  const int32_t start = handle.Position();
  TFileVersion chunk(handle, 0);
  int32_t found = 0;
  // Damaged, or newer than version 0: either way the type id and with it the kind's
  // own chunk that follows cannot be trusted, so the list cannot go on.
  Require(chunk.ReadHeader(found, true));
  int32_t typeId = 0;
  Require(handle.ReadInt32(typeId));
  Require(handle.Seek(start));
  Require(IsGraphKindRegistered(typeId));
  std::unique_ptr<TGraphMain> object = Kinds()[typeId]();
  Require(object != nullptr);
  if (!object->LoadFromStream(handle) || !TOpenCount::Keep(*object)) return nullptr;
  return object;
}

TGraphLoadResult LoadGraphTree(TBinaryStream& handle, TGraphMain& root) {
  root.Clear();
  try {
    if (root.LoadFromStream(handle)) return TGraphLoadResult::Loaded;
    root.Clear();
    return TGraphLoadResult::Skipped;
  } catch (const EStreamError&) {
    root.Clear();
    return TGraphLoadResult::Damaged;
  }
}

// ---- Kinds' own chunks --------------------------------------------------------------

bool WriteKindChunk(TBinaryStream& handle, int32_t version,
                    const std::function<bool(TBinaryStream&)>& writeFields) {
  TFileVersion chunk(handle, version);
  return chunk.WriteHeader() && writeFields(handle) && chunk.WriteEndOffset();
}

bool ReadKindChunk(TBinaryStream& handle, int32_t knownVersion, bool baseLoaded,
                   const TKindFieldsReader& readFields, const TSkippedCostReader& skippedCost) {
  TFileVersion chunk(handle, knownVersion);
  int32_t found = 0;
  const bool known = chunk.ReadHeader(found, true);
  Require(!chunk.Damaged());
  if (!known) return false;  // newer: skipped to its end
  if (!baseLoaded) {
    Require(chunk.SkipToEnd());
    return false;
  }
  const TReadBound fields(handle, chunk.EndOffset);
  if (!ExpectChunkFields(handle, chunk, skippedCost)) return false;
  Require(readFields(handle, found, chunk.EndOffset));
  Require(handle.Position() <= chunk.EndOffset);
  Require(chunk.SkipToEnd());
  return true;
}

bool ExpectChunkFields(TBinaryStream& handle, TFileVersion& chunk, const TSkippedCostReader& skippedCost) {
  if (!TOpenCount::Active()) return true;
  const int32_t fields = handle.Position();
  const int64_t stored = static_cast<int64_t>(chunk.EndOffset) - fields;
  // What the object takes opened, from the sizes its fields store, read once at most.
  std::optional<TSkippedCost> cost;
  bool costRead = false;
  const auto readCost = [&]() -> const std::optional<TSkippedCost>& {
    if (!costRead && skippedCost) {
      // Within the chunk whatever bound its caller holds: a length past its end is
      // damage, however little memory is left.
      const TReadBound chunkFields(handle, chunk.EndOffset);
      cost = skippedCost(handle, chunk.EndOffset);
      Require(cost.has_value());
      Require(handle.Seek(fields));
    }
    costRead = true;
    return cost;
  };
  // A kind may hold more than it stores (a surface's faces are a heap block each, a
  // label's text is converted beside its stored bytes), and its reading makes those
  // arrays before Keep can weigh it, so large fields are let in at what their reading
  // holds at its peak, never at less than their stored bytes. Small ones are let in at
  // their stored bytes, their sizes not read twice: what they hold more is a few KB,
  // weighed by Keep at once.
  int64_t held = stored;
  if (stored >= kFieldsWeighedBySizes)
    if (const std::optional<TSkippedCost>& c = readCost())
      held = std::max({stored, c->OpenedBytes, c->ReadingBytes});
  // One large object past the memory left would be killed loading, before its count.
  if (TOpenCount::Expect(held)) return true;
  // The need told is the whole project's: the object skipped counts as it would be
  // opened, not as the bytes it is stored in.
  if (const std::optional<TSkippedCost>& c = readCost()) TOpenCount::Skipped(*c);
  Require(chunk.SkipToEnd());
  return false;
}

bool WriteSurveyPoints(TBinaryStream& handle, const std::vector<TSurveyPoint>& points) {
  if (!handle.WriteInt32(static_cast<int32_t>(points.size()))) return false;
  for (const TSurveyPoint& p : points)
    if (!handle.WriteDouble(p.X) || !handle.WriteDouble(p.Y) || !handle.WriteDouble(p.Z)) return false;
  return true;
}

namespace {

constexpr int32_t kSurveyPointSize = 3 * 8;

// The count of a counted list of survey points; false when it cannot fit the chunk.
bool ReadSurveyPointCount(TBinaryStream& handle, int32_t endOffset, int32_t& n) {
  return handle.ReadInt32(n) && n >= 0 && n <= (endOffset - handle.Position()) / kSurveyPointSize;
}

}  // namespace

bool SkipSurveyPoints(TBinaryStream& handle, int32_t endOffset, int32_t& count) {
  return ReadSurveyPointCount(handle, endOffset, count) &&
         handle.Seek(handle.Position() + count * kSurveyPointSize);
}

bool ReadSurveyPoints(TBinaryStream& handle, int32_t endOffset, std::vector<TSurveyPoint>& points) {
  int32_t n = 0;
  if (!ReadSurveyPointCount(handle, endOffset, n)) return false;
  points.clear();
  if (!WeighArray(n, sizeof(TSurveyPoint))) return handle.Seek(handle.Position() + n * kSurveyPointSize);
  points.resize(static_cast<size_t>(n));
  for (TSurveyPoint& p : points)
    if (!handle.ReadDouble(p.X) || !handle.ReadDouble(p.Y) || !handle.ReadDouble(p.Z)) return false;
  return true;
}

}  // namespace qira

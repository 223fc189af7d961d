#pragma once
// The stored record of a scene object and the type-id factory that reads a record
// of any kind back.
//
// Record = common chunk (version 0), then, for every kind but the group, the kind's
// own chunk right behind it. Common chunk, little-endian, offsets from its start:
//   0 int32 version 0 | 4 int32 absolute end offset (behind the last child record)
//   8 int32 TypeId | 12 Name (int32 length + Windows-1252 bytes)
//   then Visible, Transparency, AcceptForAll, Exclusive, Expanded (one byte each),
//   BoundsMin and BoundsMax (three doubles each), int32 child count C, C records.
//
// Reading is strict about damage: every count and end offset is checked against the
// bytes that remain before anything is allocated (the chunk's, each chunk's fields
// read under a TReadBound at its end), and a damaged record raises
// EStreamError (nothing half-read is ever presented as whole). A record newer than
// this program knows is skipped where the skip can be located.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/GraphMain.h"
#include "model/SurveyPoint.h"
#include "platform/AvailableMemory.h"

namespace qira {

class TBinaryStream;
class TFileVersion;

// The smallest common chunk: header, type id, empty name, five bytes, bounds, count.
inline constexpr int32_t MinGraphRecordSize = 8 + 4 + 4 + 5 + 48 + 4;
// Records nest no deeper than this (the root is level 1); a deeper stream is treated
// as damaged, so a crafted file cannot exhaust the stack. Saving a deeper tree fails
// for the same reason, and because the file would not open again.
inline constexpr int MaxGraphNesting = 1000;

// The levels of the tree, root included (1 for a root without children); counted
// without recursion, so any depth is measured.
int GraphTreeDepth(const TGraphMain& root);
// Why a tree deeper than MaxGraphNesting is not saved.
std::string GraphTreeTooDeepText();

// Makes an empty object of one kind.
using TGraphObjectCreator = std::function<std::unique_ptr<TGraphMain>()>;

// Registers the class of a type id 0..11 (an empty creator unregisters it); the
// group (0) is always known. False for an id outside 0..11.
bool RegisterGraphKind(int32_t typeId, TGraphObjectCreator creator);
bool IsGraphKindRegistered(int32_t typeId);

// Registers a kind for its lifetime and restores the previous registration after.
class TScopedGraphKind {
 public:
  TScopedGraphKind(int32_t typeId, TGraphObjectCreator creator);
  ~TScopedGraphKind();
  TScopedGraphKind(const TScopedGraphKind&) = delete;
  TScopedGraphKind& operator=(const TScopedGraphKind&) = delete;

 private:
  int32_t typeId_;
  TGraphObjectCreator previous_;
};

// Reads one record of any kind. Returns the object, or null when its load reported
// the record as newer than known (the handle then stands behind the whole record)
// or an active TOpenCount no longer keeps it.
// Raises EStreamError on damage, on a type id no kind is registered for and on a
// common chunk newer than version 0: in those cases the kind's own chunk cannot be
// located, so the rest of the list cannot be read either.
std::unique_ptr<TGraphMain> CreateGraphObject(TBinaryStream& handle);

// What an object whose fields were skipped would take opened: OpenedBytes and
// FrameBinnedBytes of the object read whole, found from what sizes it (its rows and
// columns, its point or face count) without making its arrays.
struct TSkippedCost {
  int64_t OpenedBytes = 0;
  int64_t FrameBinnedBytes = 0;
  // What reading the fields holds at its peak, where that is more than OpenedBytes (a
  // text beside its conversion).
  int64_t ReadingBytes = 0;
};

// The count of opening a project, taken as its records are read (one reader): every
// object read adds what it takes opened and drawn (OpenedBytes), and what it adds to
// the first frame's bins (BinnedBytes, up to the renderer's bound). Once the count
// passes the memory that was available when it began, the reader reads on but keeps
// nothing more, so the whole count is known while what is held stays within that
// memory. Active on its thread while it lives; it starts at neededBefore (what the
// step takes besides the objects: a new window).
// As it reads it also looks at what the process really holds (TMemoryWatch): once the
// limits' figures say the memory is used up, whatever the count says, it keeps and
// reads no more fields either, and the need it tells covers what was measured.
class TOpenCount {
 public:
  explicit TOpenCount(int64_t availableBytes, int64_t neededBefore = 0);
  ~TOpenCount();
  TOpenCount(const TOpenCount&) = delete;
  TOpenCount& operator=(const TOpenCount&) = delete;

  int64_t Needed() const { return watch_.NeedOf(Counted()); }
  int64_t Available() const { return available_; }
  bool Fits() const { return !usedUp_ && !passedOver_ && Counted() <= available_; }
  // Adds an object read. False once the count no longer fits: the reader then drops
  // the object. True while no count is active.
  static bool Keep(const TGraphMain& object);
  // Whether a count is active on this thread.
  static bool Active();
  // Before a kind's fields are read into an object that will hold `heldBytes` once
  // read (what Keep will weigh it at; its stored bytes where nothing more is known):
  // the arrays they fill are made as they are read, before Keep can weigh the object.
  // False, the bytes counted, when they do not fit beside the fields of the objects
  // kept so far (those dropped past the count are gone), or the limits' figures leave
  // no room for them (looked at now, as the size of an array read from a file is
  // checked there before the array is made): the reader skips the fields
  // instead, and the need told is then the least the project takes. True while no
  // count is active.
  static bool Expect(int64_t heldBytes);
  // After Expect refused an object's fields: what the object would have taken kept, in
  // place of its stored bytes, so the need told covers it opened and in the first
  // frame, as Keep would have counted it (Skipped only ever adds to the need).
  static void Skipped(const TSkippedCost& object);
  // The one weight of every allocation whose size a file gives (a string and its
  // conversion, an array, a palette's stops), asked by the reader before it makes it:
  // `bytes` as the allocator holds them at the reading's peak. What the object being
  // read was let in at (Expect) covers its allocations first; beyond that they are
  // taken as Expect takes fields. False, `bytes` counted in the need told, when they
  // do not fit: the reader passes over what it would have made, and the open is then
  // refused whatever it reads after. Past such a refusal, what is let in adds to the
  // need told. True while no count is active, which is a fault (UncountedWeighs).
  static bool Weigh(int64_t bytes);
  // What a reading keeps that is no object (the legend, the arrays of a file read
  // beside a project): what it weighed since the last Keep is held from now on, and in
  // the need told. False once the count no longer fits. True while no count is active.
  static bool KeepWeighed();
  // Where a reader passed over part of an object that the object takes all the same
  // opened (a name the count did not let in): the need told holds `bytes` it would
  // hold beyond `neededBefore` (NeededSoFar as the reader began it), whatever the
  // weighs it refused added since. Nothing while no count is active.
  static int64_t NeededSoFar();
  static void PassedOver(int64_t bytes, int64_t neededBefore);
  // Weighs asked while no count was active: a reader run outside ReadCounted, which
  // every weigh then lets through. A programming fault, looked at by the tests.
  static int64_t UncountedWeighs();

 private:
  // The count alone: what was counted and the first frame's bins, at the stretch the
  // room left to the frame gives it (CountedAt).
  int64_t Counted() const;
  int64_t CountedAt(int64_t stretchVertices) const;
  // An object's bins: counted at the least stretch, and what its meshes send in all.
  void AddBins(int64_t binned, int64_t whole);
  // Looks (TMemoryWatch::Holds) at a step of `next` bytes; false from then on once the
  // figures say the memory is used up.
  bool Holds(int64_t next);

  TOpenCount* outer_;
  int64_t available_;
  TMemoryWatch watch_;
  bool usedUp_ = false;
  int64_t needed_;
  int64_t keptFields_ = 0;     // what the fields read into the objects kept hold
  int64_t refusedFields_ = 0;  // of the last object Expect refused, until Skipped
  int64_t pendingFields_ = 0;  // of the object being read, until Keep
  int64_t weighed_ = 0;        // what Weigh let in since the last Keep, within pendingFields_
  bool passedOver_ = false;    // Weigh refused an allocation: the open cannot be whole
  int64_t binned_ = 0;
  int64_t mostBinned_ = 0;  // of one object
  int64_t wholeBinned_ = 0;
  int64_t mostWholeBinned_ = 0;
};

// The one way a file is read, a project or a file beside one (section, palette,
// inclination, geology depth files, models): `read` runs under a TOpenCount of the
// memory available now, started at alsoNeeded, so every weigh of its readers counts.
// Empty when what it read fits; else the refusal, TooLargeText("The file "<path>"",
// "read", ...) with the count's need. What `read` raises passes through (damage is
// told as damage, whatever the count found). heldBefore: what the step already holds
// of what it read before (the stations of an inclination file beside the geology
// file read after them), in the need told as in the memory it had.
std::string ReadCounted(const std::string& path, const std::function<void()>& read, int64_t alsoNeeded = 0,
                        int64_t heldBefore = 0);

// How a whole tree read ended.
enum class TGraphLoadResult {
  Loaded,   // the tree is complete
  Skipped,  // the root record is newer than known; the root is left empty
  Damaged,  // the stream is damaged; the root is left empty
};
// Clears root, then reads the tree into it; never raises EStreamError.
TGraphLoadResult LoadGraphTree(TBinaryStream& handle, TGraphMain& root);

// The kind's own chunk, for kinds' SaveToStream overrides: header with version,
// the fields (writeFields), end offset. False when a write failed.
bool WriteKindChunk(TBinaryStream& handle, int32_t version,
                    const std::function<bool(TBinaryStream&)>& writeFields);
// The kind's own chunk, for kinds' LoadFromStream overrides: reads the header with
// knownVersion; when baseLoaded is false or the chunk is newer, moves to the chunk's
// end and returns false. Otherwise reads the fields (readFields gets the stored
// version and the chunk's absolute end, against which it checks its counts; false
// from it means damage), checks they stayed inside the chunk, moves to its end and
// returns true. Raises EStreamError on damage.
using TKindFieldsReader =
    std::function<bool(TBinaryStream& handle, int32_t version, int32_t endOffset)>;
// What an object whose fields an open's count refused would take opened, read from
// the fields' start with the fields' own layout: counts and sizes only, passing over
// the arrays (Seek) without making them, under a TReadBound at the chunk's end; an
// empty cost for a record the fields' reader drops unread (another record's magic).
// Nothing when the fields are damaged (a count or length past the chunk's end): the
// chunk is then damaged whatever memory is left, as its reader would find it.
using TSkippedCostReader = std::function<std::optional<TSkippedCost>(TBinaryStream& handle, int32_t endOffset)>;
bool ReadKindChunk(TBinaryStream& handle, int32_t knownVersion, bool baseLoaded,
                   const TKindFieldsReader& readFields, const TSkippedCostReader& skippedCost = {});
// Before the fields of a chunk whose header was read are read into an object (a kind's
// own chunk, the section's, a record of the older layout): false, the handle moved to
// the chunk's end, when an active TOpenCount does not take them (Expect) at what the
// object holds read, as skippedCost finds it from the stored sizes (at least the
// stored bytes); the object is then skipped, counted so (TOpenCount::Skipped).
// Raises EStreamError when the end cannot be reached or skippedCost finds the fields
// damaged. The caller holds a TReadBound at the chunk's end for the fields it reads.
bool ExpectChunkFields(TBinaryStream& handle, TFileVersion& chunk, const TSkippedCostReader& skippedCost = {});

// A counted list of survey points inside a kind's chunk: int32 count, then X, Y, Z
// as doubles for each. Reading checks the count against the chunk's end before
// anything is allocated; false on a short read or a count that cannot fit.
bool WriteSurveyPoints(TBinaryStream& handle, const std::vector<TSurveyPoint>& points);
bool ReadSurveyPoints(TBinaryStream& handle, int32_t endOffset, std::vector<TSurveyPoint>& points);
// Passes over such a list, making nothing of it: its count in `count`.
bool SkipSurveyPoints(TBinaryStream& handle, int32_t endOffset, int32_t& count);

}  // namespace qira

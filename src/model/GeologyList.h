#pragma once
// The geology legend of a view: the rock types that occur in its boreholes' geology
// data, each with a colour, in order of registration. Entries are only appended, so
// an index stays valid while the legend lives.
//
// Stored block (a version-0 chunk, little-endian, offsets from its start):
//   0 int32 version 0 | 4 int32 absolute end offset | 8 the 7 bytes "Geology"
//   15 int32 entry count N | 19 N entries: FullName, ShortName (int32 length +
//   Windows-1252 bytes each), int32 EntryColor.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/SeededHash.h"

namespace qira {

class TBinaryStream;

struct TGeologyEntry {
  std::string FullName;
  std::string ShortName;
  int32_t EntryColor = 0;  // a Windows colour, red in the low byte
};

class TGeologyList {
 public:
  // The smallest stored entry: two empty strings and the colour.
  static constexpr int32_t MinEntrySize = 4 + 4 + 4;

  int Count() const { return static_cast<int>(entries_.size()); }
  const TGeologyEntry& Entry(int index) const { return entries_.at(index); }
  const std::vector<TGeologyEntry>& Entries() const { return entries_; }

  // The entry whose full and short names both equal the arguments without regard to
  // letter case (Windows-1252 letters) takes color; else a new entry is appended.
  // Returns the entry's index.
  int FindOrAdd(const std::string& fullName, const std::string& shortName, int32_t color);
  // Equal exactly for the name pairs FindOrAdd takes as the same entry.
  static std::string MatchKey(const std::string& fullName, const std::string& shortName);
  // def when useDefault is set or index is outside the list; else the entry's colour.
  int32_t ColorOf(int index, int32_t def, bool useDefault) const;

  // Writes the block; false when a write failed.
  bool SaveToStream(TBinaryStream& handle) const;
  // Replaces the entries by the stored ones and returns true. A newer block or one
  // without "Geology" is skipped to its end and leaves the legend as it was (false).
  // Raises EStreamError on a damaged block, leaving the legend as it was.
  bool LoadFromStream(TBinaryStream& handle);

 private:
  void Reindex();

  std::vector<TGeologyEntry> entries_;
  TSeededStringMap<int> index_;  // MatchKey -> first entry with it
};

// The legend of the view window whose tree selection changed last; new boreholes
// take it. Not owned.
extern TGeologyList* CurrentGeologyList;

}  // namespace qira

#include "model/GeologyList.h"

#include <algorithm>

#include "model/GraphRecord.h"
#include "model/StreamHelpers.h"
#include "platform/BinaryStream.h"
#include "platform/CodePage.h"

namespace qira {

TGeologyList* CurrentGeologyList = nullptr;

namespace {

const char kMagic[] = "Geology";
constexpr int32_t kMagicLength = 7;

// Upper case as Windows maps code page 1252: a-z, the accented small letters
// 0xE0..0xFE except 0xF7, and the pairs š/Š, œ/Œ, ž/Ž, ÿ/Ÿ.
void UpperCp1252Codes(std::string& codes) {
  for (char& ch : codes) {
    unsigned char c = static_cast<unsigned char>(ch);
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
      c = static_cast<unsigned char>(c - 0x20);
    else if (c == 0x9A || c == 0x9C || c == 0x9E)
      c = static_cast<unsigned char>(c - 0x10);
    else if (c == 0xFF)
      c = 0x9F;
    ch = static_cast<char>(c);
  }
}

// The name's upper-case code page bytes; a character the code page lacks stays itself
// (behind a 0 byte), so "Глина" and "Песок" remain two entries.
std::string UpperCp1252(const std::string& utf8) {
  std::string s = Cp1252Codes(utf8);
  if (s.find('?') == std::string::npos) {
    UpperCp1252Codes(s);
    return s;
  }
  s.clear();
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp;
    const size_t len = std::max<size_t>(Utf8SequenceAt(utf8, i, cp), 1);
    const std::string_view one(utf8.data() + i, len);
    std::string code = Cp1252Codes(one);
    if (code == "?" && one != "?") {
      s.push_back('\0');
      s.append(one);
    } else {
      UpperCp1252Codes(code);
      s += code;
    }
    i += len;
  }
  return s;
}

void Require(bool ok) {
  if (!ok) throw EStreamError();
}

}  // namespace

std::string TGeologyList::MatchKey(const std::string& fullName, const std::string& shortName) {
  const std::string full = UpperCp1252(fullName);
  const std::string shortUpper = UpperCp1252(shortName);
  // Made at its size, so a long name is never copied into a block twice its length.
  std::string key = std::to_string(full.size()) + ":";
  key.reserve(key.size() + full.size() + shortUpper.size());
  key += full;
  key += shortUpper;
  return key;
}

void TGeologyList::Reindex() {
  index_.clear();
  for (size_t i = 0; i < entries_.size(); ++i)
    index_.emplace(MatchKey(entries_[i].FullName, entries_[i].ShortName), static_cast<int>(i));
}

int TGeologyList::FindOrAdd(const std::string& fullName, const std::string& shortName,
                            int32_t color) {
  const auto [it, added] = index_.emplace(MatchKey(fullName, shortName), Count());
  if (added) {
    entries_.push_back({fullName, shortName, color});
  } else {
    entries_[static_cast<size_t>(it->second)].EntryColor = color;
  }
  return it->second;
}

int32_t TGeologyList::ColorOf(int index, int32_t def, bool useDefault) const {
  if (useDefault || index < 0 || index >= Count()) return def;
  return entries_[index].EntryColor;
}

bool TGeologyList::SaveToStream(TBinaryStream& handle) const {
  TFileVersion chunk(handle, 0);
  if (!chunk.WriteHeader()) return false;
  if (!WriteRawString(handle, std::string(kMagic, kMagicLength))) return false;
  if (!handle.WriteInt32(static_cast<int32_t>(entries_.size()))) return false;
  for (const TGeologyEntry& e : entries_) {
    const TCp1252Subject subject(e.FullName, "legend entry");
    if (!WriteLengthString(handle, e.FullName) || !WriteLengthString(handle, e.ShortName) ||
        !handle.WriteInt32(e.EntryColor))
      return false;
  }
  return chunk.WriteEndOffset();
}

bool TGeologyList::LoadFromStream(TBinaryStream& handle) {
  TFileVersion chunk(handle, 0);
  int32_t found = 0;
  const bool known = chunk.ReadHeader(found, true);
  Require(!chunk.Damaged());
  if (!known) return false;  // newer: skipped whole
  const int32_t end = chunk.EndOffset;
  const TReadBound fields(handle, end);

  std::string magic;
  Require(end - handle.Position() >= kMagicLength && ReadRawString(handle, kMagicLength, magic));
  if (magic != std::string(kMagic, kMagicLength)) {
    Require(chunk.SkipToEnd());
    return false;
  }
  int32_t count = 0;
  Require(handle.ReadInt32(count));
  Require(handle.Position() <= end);
  Require(count >= 0 && count <= (end - handle.Position()) / MinEntrySize);

  // The entries and their index are weighed before they are made; passed over by an
  // open's count, the entries are still read (to their end, and for the need told) and
  // the legend stays as it was.
  const bool held = WeighArray(count, sizeof(TGeologyEntry));
  std::vector<TGeologyEntry> read;
  if (held) read.reserve(static_cast<size_t>(count));
  TContainerCount index = TContainerCount::HashTable(sizeof(decltype(index_)::value_type));
  int64_t indexBytes = 0, passing = 0;
  for (int32_t i = 0; i < count; ++i) {
    TGeologyEntry e;
    Require(ReadLengthString(handle, e.FullName) && ReadLengthString(handle, e.ShortName) &&
            handle.ReadInt32(e.EntryColor));
    Require(handle.Position() <= end);
    // Its key held in the index (the names, no longer in Windows-1252 than in UTF-8,
    // and their length); for a moment, the two upper-case copies MatchKey makes of
    // the names beside it, or the index's buckets as they grow.
    const int64_t full = static_cast<int64_t>(e.FullName.size()), shortName = static_cast<int64_t>(e.ShortName.size());
    passing = std::max({passing, index.GrowthBytes(), StringBlockBytes(full) + StringBlockBytes(shortName)});
    indexBytes += index.Add() + StringBlockBytes(full + shortName + 12);
    if (held) read.push_back(std::move(e));
  }
  Require(chunk.SkipToEnd());
  if (TOpenCount::Weigh(indexBytes + passing) && held) {
    entries_ = std::move(read);
    Reindex();
  }
  TOpenCount::KeepWeighed();
  return true;
}

}  // namespace qira

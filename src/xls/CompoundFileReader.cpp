// The reader of compound files (versions 3 and 4), in the order of the bytes:
// header, DIFAT, FAT, directory, mini stream and mini FAT, then the tree of
// storages and streams from the root entry.
//
// Every sector number is checked against the sectors the file holds, and every
// sector (and mini sector) may belong to one chain only, so chains cannot loop
// and no stream can make the reader copy the same bytes twice: what is read
// never exceeds the size of the file.
//
// Sections (each begins at a line "// [SECTION] <name>"):
//   header
//   directory and mini stream
//   entries
//   tree
//   TCFileReader
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "platform/SeededHash.h"
#include "xls/CompoundFile.h"
#include "xls/CompoundFileFormat.h"

namespace qira {

namespace {

using namespace cfb;

// Nested storages deeper than this are refused rather than recursed into.
constexpr int kMaxStorageDepth = 64;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) { return uint32_t{U16(p)} | uint32_t{U16(p + 2)} << 16; }
uint64_t U64(const uint8_t* p) { return uint64_t{U32(p)} | uint64_t{U32(p + 4)} << 32; }

// A sector table (FAT or mini FAT) with the claim on each unit it covers.
struct TChainTable {
  std::vector<uint32_t> next;
  std::vector<uint8_t> claimed;
  uint64_t units = 0;  // sectors (or mini sectors) that exist
};

class TContainer {
 public:
  TContainer(std::span<const uint8_t> image, int code) : image_(image), code_(code) {}

  void ReadHeaderAndTables();
  void ReadDirectoryAndMiniStream();
  // Loads the children of storage entry `id` into `storage`; `code` is what a
  // bad link among them raises.
  void LoadStorage(uint32_t id, TCFileStorage& storage, int code, int depth);

 private:
  [[noreturn]] void Fail(int code) const { throw ECFileError(code); }

  // The bytes of regular sector `sector` (zeros past the end of a short last sector).
  void CopySector(uint32_t sector, uint8_t* out, size_t n) const;
  // Follows and claims a chain from `start`; empty for ENDOFCHAIN.
  std::vector<uint32_t> Chain(TChainTable& table, uint32_t start, int code) const;
  std::vector<uint8_t> ChainBytes(const std::vector<uint32_t>& chain, uint64_t size) const;
  std::vector<uint8_t> StreamBytes(const uint8_t* entry, int code);
  std::u16string EntryName(const uint8_t* entry, int code) const;
  const uint8_t* Entry(uint32_t id) const { return directory_.data() + uint64_t{id} * kDirEntrySize; }

  std::span<const uint8_t> image_;
  int code_;
  uint32_t majorVersion_ = 3;
  uint32_t sectorSize_ = 512;
  TChainTable fat_;
  TChainTable miniFat_;
  std::vector<uint8_t> directory_;
  uint32_t entryCount_ = 0;
  std::vector<uint8_t> visited_;
  std::vector<uint8_t> miniStream_;
};

void TContainer::CopySector(uint32_t sector, uint8_t* out, size_t n) const {
  const uint64_t at = (uint64_t{sector} + 1) * sectorSize_;
  const uint64_t available = at < image_.size() ? std::min<uint64_t>(n, image_.size() - at) : 0;
  if (available > 0) std::memcpy(out, image_.data() + at, available);
  if (available < n) std::memset(out + available, 0, n - available);
}

std::vector<uint32_t> TContainer::Chain(TChainTable& table, uint32_t start, int code) const {
  std::vector<uint32_t> chain;
  for (uint32_t id = start; id != kEndOfChain; id = table.next[id]) {
    if (id >= table.units || id >= table.next.size() || table.claimed[id]) Fail(code);
    table.claimed[id] = 1;
    chain.push_back(id);
  }
  return chain;
}

std::vector<uint8_t> TContainer::ChainBytes(const std::vector<uint32_t>& chain, uint64_t size) const {
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  for (size_t i = 0; i < chain.size() && i * sectorSize_ < size; ++i) {
    CopySector(chain[i], bytes.data() + i * sectorSize_, std::min<uint64_t>(sectorSize_, size - i * sectorSize_));
  }
  return bytes;
}

// [SECTION] header

void TContainer::ReadHeaderAndTables() {
  if (image_.size() < kHeaderSize || std::memcmp(image_.data(), kSignature, sizeof kSignature) != 0) Fail(code_);
  const uint8_t* h = image_.data();
  majorVersion_ = U16(h + 26);
  const uint16_t sectorShift = U16(h + 30);
  if (U16(h + 28) != 0xFFFE || U16(h + 32) != 6 || U32(h + 56) != kMiniStreamCutoff) Fail(code_);
  if (!(majorVersion_ == 3 && sectorShift == 9) && !(majorVersion_ == 4 && sectorShift == 12)) Fail(code_);
  sectorSize_ = 1u << sectorShift;
  if (image_.size() < sectorSize_) Fail(code_);
  fat_.units = (image_.size() - sectorSize_ + sectorSize_ - 1) / sectorSize_;
  fat_.claimed.assign(static_cast<size_t>(fat_.units), 0);

  // DIFAT: the header's 109 FAT sector numbers, then the DIFAT chain.
  const uint32_t fatCount = U32(h + 44);
  if (fatCount == 0 || fatCount > fat_.units) Fail(code_);
  std::vector<uint32_t> fatSectors;
  for (uint32_t i = 0; i < kHeaderDifatCount && fatSectors.size() < fatCount; ++i) {
    fatSectors.push_back(U32(h + 76 + 4 * i));
  }
  const uint32_t perDifat = sectorSize_ / 4 - 1;
  std::vector<uint8_t> sector(sectorSize_);
  uint32_t difat = U32(h + 68);
  while (fatSectors.size() < fatCount) {
    if (difat >= fat_.units || fat_.claimed[difat]) Fail(code_);
    fat_.claimed[difat] = 1;
    CopySector(difat, sector.data(), sectorSize_);
    for (uint32_t k = 0; k < perDifat && fatSectors.size() < fatCount; ++k) fatSectors.push_back(U32(&sector[4 * k]));
    difat = U32(&sector[4 * perDifat]);
  }

  // FAT.
  fat_.next.reserve(static_cast<size_t>(fatCount) * (sectorSize_ / 4));
  for (uint32_t id : fatSectors) {
    if (id >= fat_.units || fat_.claimed[id]) Fail(code_);
    fat_.claimed[id] = 1;
    CopySector(id, sector.data(), sectorSize_);
    for (uint32_t k = 0; k < sectorSize_ / 4; ++k) fat_.next.push_back(U32(&sector[4 * k]));
  }
}

// [SECTION] directory and mini stream

void TContainer::ReadDirectoryAndMiniStream() {
  const uint8_t* h = image_.data();
  const std::vector<uint32_t> dirChain = Chain(fat_, U32(h + 48), code_);
  if (dirChain.empty()) Fail(code_);
  directory_ = ChainBytes(dirChain, uint64_t{dirChain.size()} * sectorSize_);
  entryCount_ = static_cast<uint32_t>(directory_.size() / kDirEntrySize);
  visited_.assign(entryCount_, 0);

  const uint8_t* root = Entry(0);
  if (root[66] != etRoot) Fail(code_);
  visited_[0] = 1;
  const uint64_t miniSize = majorVersion_ == 3 ? U32(root + 120) : U64(root + 120);
  if (miniSize == 0) return;
  if (miniSize > image_.size()) Fail(code_);
  const std::vector<uint32_t> container = Chain(fat_, U32(root + 116), code_);
  if (uint64_t{container.size()} * sectorSize_ < miniSize) Fail(code_);
  miniStream_ = ChainBytes(container, miniSize);

  const std::vector<uint32_t> miniFatChain = Chain(fat_, U32(h + 60), code_);
  const std::vector<uint8_t> table = ChainBytes(miniFatChain, uint64_t{miniFatChain.size()} * sectorSize_);
  miniFat_.next.resize(table.size() / 4);
  for (size_t i = 0; i < miniFat_.next.size(); ++i) miniFat_.next[i] = U32(&table[4 * i]);
  miniFat_.units = miniSize / kMiniSectorSize;
  miniFat_.claimed.assign(miniFat_.next.size(), 0);
}

// [SECTION] entries

std::u16string TContainer::EntryName(const uint8_t* entry, int code) const {
  const uint16_t bytes = U16(entry + 64);
  if (bytes < 4 || bytes > 64 || bytes % 2 != 0) Fail(code);
  std::u16string name;
  for (uint16_t i = 0; i + 2 < bytes; i += 2) name.push_back(static_cast<char16_t>(U16(entry + i)));
  if (name.find(u'\0') != std::u16string::npos) Fail(code);
  return name;
}

std::vector<uint8_t> TContainer::StreamBytes(const uint8_t* entry, int code) {
  const uint64_t size = majorVersion_ == 3 ? U32(entry + 120) : U64(entry + 120);
  if (size == 0) return {};
  if (size > image_.size()) Fail(code);
  const uint32_t start = U32(entry + 116);
  if (size >= kMiniStreamCutoff) {
    const std::vector<uint32_t> chain = Chain(fat_, start, code);
    if (uint64_t{chain.size()} * sectorSize_ < size) Fail(code);
    return ChainBytes(chain, size);
  }
  const std::vector<uint32_t> chain = Chain(miniFat_, start, code);
  if (uint64_t{chain.size()} * kMiniSectorSize < size) Fail(code);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  for (size_t i = 0; i < chain.size() && i * kMiniSectorSize < size; ++i) {
    const uint64_t n = std::min<uint64_t>(kMiniSectorSize, size - i * kMiniSectorSize);
    const uint64_t from = uint64_t{chain[i]} * kMiniSectorSize;
    if (from + n > miniStream_.size()) Fail(code);
    std::memcpy(bytes.data() + i * kMiniSectorSize, miniStream_.data() + from, static_cast<size_t>(n));
  }
  return bytes;
}

// [SECTION] tree

// In-order walk of the sibling tree under `id`, so children come in the
// format's name order. Every entry may be reached once in the whole file.
void TContainer::LoadStorage(uint32_t id, TCFileStorage& storage, int code, int depth) {
  if (depth > kMaxStorageDepth) Fail(code);
  std::vector<uint32_t> pending;
  uint32_t current = U32(Entry(id) + 76);
  auto descend = [&](uint32_t from) {
    for (uint32_t at = from; at != kNoStream; at = U32(Entry(at) + 68)) {
      if (at >= entryCount_ || visited_[at]) Fail(code);
      visited_[at] = 1;
      pending.push_back(at);
    }
  };
  descend(current);
  // The names this storage holds, by their keys: a storage may hold any number of
  // entries, and each is checked against all before it.
  std::unordered_set<std::u16string, TSeededHash, std::equal_to<>> names;
  auto key = [](const std::string& name) { return EntryNameKey(NameToUtf16(name)); };
  for (int i = 0; i < storage.Count(); ++i) names.insert(key(storage.Item(i).Name()));
  while (!pending.empty()) {
    current = pending.back();
    pending.pop_back();
    const uint8_t* entry = Entry(current);
    const uint8_t type = entry[66];
    if (type == etStorage || type == etStream) {
      const int itemCode = type == etStorage ? cferr::kOpenStorage : cferr::kOpenStream;
      const std::string name = NameToUtf8(EntryName(entry, itemCode));
      // A name that is not UTF-8 has an empty key, and is found nowhere.
      const std::u16string nameKey = key(name);
      if (!nameKey.empty() && !names.insert(nameKey).second) Fail(itemCode);
      if (type == etStorage) {
        TCFileStorage& child = TCFileReader::AddStorage(storage, name);
        LoadStorage(current, child, cferr::kOpenStorage, depth + 1);
      } else {
        TCFileReader::AddStream(storage, name, StreamBytes(entry, cferr::kOpenStream));
      }
    }
    descend(U32(entry + 72));
  }
}

}  // namespace

// [SECTION] TCFileReader

TCFileStorage& TCFileReader::AddStorage(TCFileStorage& parent, const std::string& name) {
  auto* storage = new TCFileStorage(name, parent.state_);
  parent.items_.emplace_back(storage);
  return *storage;
}

void TCFileReader::AddStream(TCFileStorage& parent, const std::string& name, std::vector<uint8_t> data) {
  auto* stream = new TCFileStream(name, parent.state_);
  stream->data_ = std::move(data);
  stream->size_ = static_cast<int64_t>(stream->data_.size());
  parent.items_.emplace_back(stream);
}

void TCFileReader::Read(std::span<const uint8_t> image, TCFileStorage& root, int fileErrorCode) {
  TContainer container(image, fileErrorCode);
  container.ReadHeaderAndTables();
  container.ReadDirectoryAndMiniStream();
  container.LoadStorage(0, root, fileErrorCode, 0);
}

}  // namespace qira

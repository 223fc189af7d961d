// The writer of the compound file: lays the tree out as version 3 with 512-byte
// sectors in this order: directory, mini FAT, mini stream, the large streams,
// then the FAT and the DIFAT sectors.
//
// Sections (each begins at a line "// [SECTION] <name>"):
//   directory entries
//   sector plan
//   byte image
//   LayOutCompoundFile
#include <algorithm>
#include <cstring>

#include "xls/CompoundFile.h"
#include "xls/CompoundFileFormat.h"

namespace qira::cfb {

namespace {

// [SECTION] directory entries

struct TDirEntry {
  std::u16string name;
  TEntryType type = etUnused;
  TEntryColor color = ecBlack;
  uint32_t left = kNoStream;
  uint32_t right = kNoStream;
  uint32_t child = kNoStream;
  uint32_t start = kEndOfChain;
  uint64_t size = 0;
  const TCFileStream* stream = nullptr;  // streams only
};

uint32_t FloorLog2(size_t n) {
  uint32_t h = 0;
  while (n >>= 1) ++h;
  return h;
}

// A tree built by splitting at the middle has every level but the deepest full,
// so colouring the deepest level red (below a black root) satisfies the
// red-black rules that readers may check.
uint32_t BuildSiblingTree(std::vector<TDirEntry>& entries, const std::vector<uint32_t>& sorted, size_t lo,
                          size_t hi, uint32_t depth, uint32_t deepest) {
  if (lo >= hi) return kNoStream;
  const size_t mid = lo + (hi - lo) / 2;
  const uint32_t id = sorted[mid];
  entries[id].left = BuildSiblingTree(entries, sorted, lo, mid, depth + 1, deepest);
  entries[id].right = BuildSiblingTree(entries, sorted, mid + 1, hi, depth + 1, deepest);
  entries[id].color = depth == deepest && depth > 0 ? ecRed : ecBlack;
  return id;
}

void AddChildren(std::vector<TDirEntry>& entries, uint32_t parent, const TCFileStorage& storage) {
  std::vector<uint32_t> ids;
  for (int i = 0; i < storage.Count(); ++i) {
    const TCFileItem& item = storage.Item(i);
    TDirEntry e;
    e.name = NameToUtf16(item.Name());
    if (item.IsStorage()) {
      e.type = etStorage;
    } else {
      e.type = etStream;
      e.stream = &static_cast<const TCFileStream&>(item);
      e.size = static_cast<uint64_t>(e.stream->GetSize());
    }
    ids.push_back(static_cast<uint32_t>(entries.size()));
    entries.push_back(std::move(e));
  }
  std::vector<uint32_t> sorted = ids;
  std::sort(sorted.begin(), sorted.end(),
            [&](uint32_t a, uint32_t b) { return CompareEntryNames(entries[a].name, entries[b].name) < 0; });
  entries[parent].child =
      BuildSiblingTree(entries, sorted, 0, sorted.size(), 0, sorted.empty() ? 0 : FloorLog2(sorted.size()));
  for (int i = 0; i < storage.Count(); ++i) {
    if (storage.Item(i).IsStorage()) {
      AddChildren(entries, ids[static_cast<size_t>(i)], static_cast<const TCFileStorage&>(storage.Item(i)));
    }
  }
}

uint64_t CeilDiv(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

// Large streams are copied to the file in pieces of this size.
constexpr size_t kCopyPiece = 1 << 16;

// [SECTION] sector plan

struct TPlan {
  uint64_t dirSectors = 0;
  uint64_t miniSectors = 0;  // 64-byte units in the mini stream
  uint64_t miniFatSectors = 0;
  uint64_t miniStreamSectors = 0;
  uint64_t bigSectors = 0;
  uint64_t fatSectors = 0;
  uint64_t difatSectors = 0;
  uint64_t Data() const { return dirSectors + miniFatSectors + miniStreamSectors + bigSectors; }
  uint64_t Total() const { return Data() + fatSectors + difatSectors; }
};

TPlan PlanSectors(const std::vector<TDirEntry>& entries) {
  TPlan p;
  p.dirSectors = CeilDiv(entries.size(), kSectorSize / kDirEntrySize);
  for (const TDirEntry& e : entries) {
    if (e.type != etStream) continue;
    if (e.size < kMiniStreamCutoff) {
      p.miniSectors += CeilDiv(e.size, kMiniSectorSize);
    } else {
      p.bigSectors += CeilDiv(e.size, kSectorSize);
    }
  }
  p.miniFatSectors = CeilDiv(p.miniSectors, kSectorSize / 4);
  p.miniStreamSectors = CeilDiv(p.miniSectors * kMiniSectorSize, kSectorSize);
  // The FAT covers every sector, its own and the DIFAT's included.
  const uint64_t perFat = kSectorSize / 4;
  const uint64_t perDifat = kSectorSize / 4 - 1;
  for (p.fatSectors = 1;; ++p.fatSectors) {
    p.difatSectors =
        p.fatSectors > kHeaderDifatCount ? CeilDiv(p.fatSectors - kHeaderDifatCount, perDifat) : 0;
    if (p.fatSectors * perFat >= p.Total()) break;
  }
  return p;
}

// [SECTION] byte image

// The bytes of the file from `origin` on, addressed by their offset in the file.
class TImage {
 public:
  TImage(uint64_t origin, uint64_t size) : origin_(origin), bytes_(size, 0) {}

  void U16(uint64_t at, uint16_t v) {
    bytes_[at - origin_] = static_cast<uint8_t>(v);
    bytes_[at - origin_ + 1] = static_cast<uint8_t>(v >> 8);
  }
  void U32(uint64_t at, uint32_t v) {
    U16(at, static_cast<uint16_t>(v));
    U16(at + 2, static_cast<uint16_t>(v >> 16));
  }
  void Copy(uint64_t at, const uint8_t* data, size_t n) {
    if (n > 0) std::memcpy(bytes_.data() + (at - origin_), data, n);
  }
  void CopyStream(uint64_t at, const TCFileStream& stream) {
    if (!stream.ReadAt(0, bytes_.data() + (at - origin_), static_cast<size_t>(stream.GetSize())))
      throw ECFileError(cferr::kCommit);
  }
  static uint64_t SectorOffset(uint64_t sector) { return (sector + 1) * kSectorSize; }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  uint64_t origin_;
  std::vector<uint8_t> bytes_;
};

// Each chain runs over consecutive sectors; `table` gets its links.
void LinkRun(std::vector<uint32_t>& table, uint64_t first, uint64_t count) {
  for (uint64_t i = 0; i < count; ++i) {
    table[first + i] = i + 1 < count ? static_cast<uint32_t>(first + i + 1) : kEndOfChain;
  }
}

void WriteHeader(TImage& image, const TPlan& p, uint64_t fatStart, uint64_t difatStart) {
  image.Copy(0, kSignature, sizeof kSignature);  // signature; bytes 8-23, the class id, stay zero
  image.U16(24, 0x003E);                         // minor version
  image.U16(26, 0x0003);                         // major version 3
  image.U16(28, 0xFFFE);                         // byte order mark: little-endian
  image.U16(30, 9);                              // sector shift: 512-byte sectors
  image.U16(32, 6);                              // mini sector shift: 64-byte mini sectors
  // bytes 34-39 reserved, zero
  image.U32(40, 0);  // directory sector count: always 0 in version 3
  image.U32(44, static_cast<uint32_t>(p.fatSectors));  // FAT sector count
  image.U32(48, 0);                                     // first directory sector: the directory starts at sector 0
  image.U32(52, 0);                                     // transaction signature
  image.U32(56, kMiniStreamCutoff);                     // mini stream cutoff size
  image.U32(60, p.miniFatSectors ? static_cast<uint32_t>(p.dirSectors) : kEndOfChain);  // first mini FAT sector
  image.U32(64, static_cast<uint32_t>(p.miniFatSectors));                               // mini FAT sector count
  image.U32(68, p.difatSectors ? static_cast<uint32_t>(difatStart) : kEndOfChain);      // first DIFAT sector
  image.U32(72, static_cast<uint32_t>(p.difatSectors));                                 // DIFAT sector count
  // bytes 76-511: the first 109 FAT sector numbers (the header's DIFAT)
  for (uint32_t i = 0; i < kHeaderDifatCount; ++i) {
    image.U32(76 + 4 * i, i < p.fatSectors ? static_cast<uint32_t>(fatStart + i) : kFreeSect);
  }
}

void WriteDirectory(TImage& image, const std::vector<TDirEntry>& entries) {
  for (size_t i = 0; i < entries.size(); ++i) {
    const TDirEntry& e = entries[i];
    const uint64_t at = TImage::SectorOffset(0) + i * kDirEntrySize;
    for (size_t c = 0; c < e.name.size(); ++c) image.U16(at + 2 * c, e.name[c]);
    image.U16(at + 64, e.type == etUnused ? 0 : static_cast<uint16_t>((e.name.size() + 1) * 2));
    image.Copy(at + 66, reinterpret_cast<const uint8_t*>(&e.type), 1);
    const uint8_t color = e.type == etUnused ? ecRed : e.color;
    image.Copy(at + 67, &color, 1);
    image.U32(at + 68, e.left);
    image.U32(at + 72, e.right);
    image.U32(at + 76, e.child);
    // class id, state bits and both times stay zero
    image.U32(at + 116, e.type == etUnused ? 0 : e.start);
    image.U32(at + 120, static_cast<uint32_t>(e.size));  // version 3: the high half stays zero
  }
}

void WriteTable(TImage& image, uint64_t firstSector, const std::vector<uint32_t>& table) {
  for (size_t i = 0; i < table.size(); ++i) image.U32(TImage::SectorOffset(firstSector) + 4 * i, table[i]);
}

}  // namespace

// [SECTION] LayOutCompoundFile

// The file goes out in three pieces: header, directory, mini FAT and mini stream
// from memory; each large stream straight from its own bytes; then the FAT and
// the DIFAT from memory. Only the small pieces are ever held whole.
void WriteCompoundFile(const TCFileStorage& root, const TCFileSink& sink) {
  std::vector<TDirEntry> entries(1);
  entries[0].name = u"Root Entry";
  entries[0].type = etRoot;
  AddChildren(entries, 0, root);
  entries.resize(CeilDiv(entries.size(), kSectorSize / kDirEntrySize) * (kSectorSize / kDirEntrySize));

  const TPlan p = PlanSectors(entries);
  if ((p.Total() + 1) * kSectorSize > static_cast<uint64_t>(kMaxCFileStreamSize)) {
    throw ECFileError(cferr::kCommit, WorkbookFileLimitText("The workbook"));
  }
  const uint64_t miniFatStart = p.dirSectors;
  const uint64_t miniStreamStart = miniFatStart + p.miniFatSectors;
  const uint64_t bigStart = miniStreamStart + p.miniStreamSectors;
  const uint64_t fatStart = p.Data();
  const uint64_t difatStart = fatStart + p.fatSectors;

  std::vector<uint32_t> fat(p.fatSectors * (kSectorSize / 4), kFreeSect);
  std::vector<uint32_t> miniFat(p.miniFatSectors * (kSectorSize / 4), kFreeSect);
  LinkRun(fat, 0, p.dirSectors);
  LinkRun(fat, miniFatStart, p.miniFatSectors);
  LinkRun(fat, miniStreamStart, p.miniStreamSectors);
  for (uint64_t i = 0; i < p.fatSectors; ++i) fat[fatStart + i] = kFatSect;
  for (uint64_t i = 0; i < p.difatSectors; ++i) fat[difatStart + i] = kDifSect;

  TImage head(0, TImage::SectorOffset(bigStart));
  TImage tail(TImage::SectorOffset(fatStart), (p.fatSectors + p.difatSectors) * kSectorSize);
  std::vector<const TDirEntry*> big;
  uint64_t nextMini = 0;
  uint64_t nextBig = bigStart;
  for (TDirEntry& e : entries) {
    if (e.type != etStream || e.size == 0) continue;
    if (e.size < kMiniStreamCutoff) {
      const uint64_t n = CeilDiv(e.size, kMiniSectorSize);
      e.start = static_cast<uint32_t>(nextMini);
      LinkRun(miniFat, nextMini, n);
      head.CopyStream(TImage::SectorOffset(miniStreamStart) + nextMini * kMiniSectorSize, *e.stream);
      nextMini += n;
    } else {
      const uint64_t n = CeilDiv(e.size, kSectorSize);
      e.start = static_cast<uint32_t>(nextBig);
      LinkRun(fat, nextBig, n);
      big.push_back(&e);
      nextBig += n;
    }
  }
  if (p.miniSectors > 0) {
    entries[0].start = static_cast<uint32_t>(miniStreamStart);
    entries[0].size = p.miniSectors * kMiniSectorSize;
  }

  WriteHeader(head, p, fatStart, difatStart);
  WriteDirectory(head, entries);
  WriteTable(head, miniFatStart, miniFat);
  WriteTable(tail, fatStart, fat);
  // DIFAT sectors: the FAT sector numbers past the header's 109, 127 a sector,
  // each sector ending with the number of the next one.
  const uint32_t perDifat = kSectorSize / 4 - 1;
  for (uint64_t d = 0; d < p.difatSectors; ++d) {
    const uint64_t at = TImage::SectorOffset(difatStart + d);
    for (uint32_t k = 0; k < perDifat; ++k) {
      const uint64_t fatIndex = kHeaderDifatCount + d * perDifat + k;
      tail.U32(at + 4 * k, fatIndex < p.fatSectors ? static_cast<uint32_t>(fatStart + fatIndex) : kFreeSect);
    }
    tail.U32(at + 4 * perDifat, d + 1 < p.difatSectors ? static_cast<uint32_t>(difatStart + d + 1) : kEndOfChain);
  }

  sink(head.Bytes().data(), head.Bytes().size());
  std::vector<uint8_t> piece(kCopyPiece);
  for (const TDirEntry* e : big) {
    const uint64_t padded = CeilDiv(e->size, kSectorSize) * kSectorSize;
    for (uint64_t done = 0; done < padded; done += piece.size()) {
      const uint64_t n = std::min<uint64_t>(piece.size(), padded - done);
      const uint64_t data = done < e->size ? std::min(n, e->size - done) : 0;
      if (!e->stream->ReadAt(static_cast<int64_t>(done), piece.data(), data)) throw ECFileError(cferr::kCommit);
      std::fill(piece.begin() + static_cast<std::ptrdiff_t>(data), piece.begin() + static_cast<std::ptrdiff_t>(n), 0);
      sink(piece.data(), n);
    }
  }
  sink(tail.Bytes().data(), tail.Bytes().size());
}

std::vector<uint8_t> LayOutCompoundFile(const TCFileStorage& root) {
  std::vector<uint8_t> image;
  WriteCompoundFile(root, [&image](const uint8_t* data, size_t n) { image.insert(image.end(), data, data + n); });
  return image;
}

}  // namespace qira::cfb

#include "platform/ColorReduction.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <numeric>
#include <string>

#include "platform/BinaryStream.h"
#include "platform/BmpCodec.h"
#include "platform/Picture.h"

namespace qira {

// Sections: pixel formats; method 0 histogram; method 1 median cut; fixed
// palettes (2, 3); primary ramps (4); grey levels (5); BMP image.

// -------------------------------------------------------------- pixel formats

TPixelFormat PixelFormatOfBits(int32_t bitsPerPixel) {
  switch (bitsPerPixel) {
    case 1: return TPixelFormat::pf1bit;
    case 4: return TPixelFormat::pf4bit;
    case 8: return TPixelFormat::pf8bit;
    case 15: return TPixelFormat::pf15bit;
    case 16: return TPixelFormat::pf16bit;
    case 24: return TPixelFormat::pf24bit;
    case 32: return TPixelFormat::pf32bit;
    default: return TPixelFormat::pfCustom;
  }
}

int32_t BitsOfPixelFormat(TPixelFormat format) {
  switch (format) {
    case TPixelFormat::pf1bit: return 1;
    case TPixelFormat::pf4bit: return 4;
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf15bit: return 15;
    case TPixelFormat::pf16bit: return 16;
    case TPixelFormat::pf24bit: return 24;
    case TPixelFormat::pf32bit: return 32;
    default: return 0;
  }
}

TPixelFormat GetBitmapPixelFormat(const TBitmapGraphic& bitmap) { return PixelFormatOfBits(bitmap.BitsPerPixel()); }

namespace {

struct TRgb {
  uint8_t r = 0, g = 0, b = 0;
};

// The picture's pixels as RGB triples, rows from the top.
std::vector<TRgb> PixelsOf(const QImage& source, std::string_view formatName) {
  const QImage image = ConvertedPictureImage(formatName, source, QImage::Format_RGB32);
  const auto width = static_cast<size_t>(image.width());
  const int height = image.height();
  std::vector<TRgb> pixels(width * static_cast<size_t>(height));
  TRgb* out = pixels.data();
  for (int y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (size_t x = 0; x < width; ++x) {
      *out++ = {static_cast<uint8_t>(qRed(row[x])), static_cast<uint8_t>(qGreen(row[x])),
                static_cast<uint8_t>(qBlue(row[x]))};
    }
  }
  return pixels;
}

void FillPalette(TReducedPicture& picture, QRgb color) { picture.Palette.fill(color); }

// ----------------------------------------------------------- method 0 histogram

// A power of two four times the most colours counted: short probe runs. The
// table only finds entries; their order is the order in which colours were met.
constexpr uint32_t kHashBits = 13;
constexpr uint32_t kHashSlots = 1u << kHashBits;
constexpr int32_t kMaxHistogramColors = 2049;
// Squared distances at or above this do not count as near (above any real one).
constexpr int64_t kFarDistance = 196608;

struct THistogramEntry {
  TRgb color;
  int64_t count = 0;
};

// A slot of the colour hash table: a masked colour as 0xRRGGBB and its entry.
struct THashSlot {
  uint32_t key = 0;
  int32_t entry = -1;  // -1: free
};

// The colour table of a histogram: entries in the order their colours were
// first met, found through the hash table.
class TColorCounter {
 public:
  TColorCounter() : slots_(kHashSlots) { entries_.reserve(kMaxHistogramColors); }

  std::vector<THistogramEntry>& Entries() { return entries_; }

  // The entry of a colour key (0xRRGGBB) counted `count` more times, added when
  // new; -1 when it is new and the table is full.
  int32_t Count(uint32_t key, int64_t count) {
    uint32_t slot = (key * 0x9E3779B1u) >> (32 - kHashBits);
    for (;;) {
      THashSlot& s = slots_[slot];
      if (s.entry < 0) {
        if (static_cast<int32_t>(entries_.size()) == kMaxHistogramColors) return -1;
        s = {key, static_cast<int32_t>(entries_.size())};
        entries_.push_back({{static_cast<uint8_t>(key >> 16), static_cast<uint8_t>(key >> 8), static_cast<uint8_t>(key)},
                            count});
        return s.entry;
      }
      if (s.key == key) {
        entries_[static_cast<size_t>(s.entry)].count += count;
        return s.entry;
      }
      slot = (slot + 1) & (kHashSlots - 1);
    }
  }

  // Counts the pixels from `first` on under the mask, each one's entry into
  // pixelEntry; the index of the pixel whose colour did not fit, or the end.
  size_t CountPixels(const QRgb* pixels, size_t n, size_t first, uint32_t keyMask, int32_t* pixelEntry) {
    // A run of one colour needs no look-up after its first pixel.
    uint32_t lastKey = 0xFFFFFFFFu;
    int32_t lastEntry = -1;
    for (size_t i = first; i < n; ++i) {
      const uint32_t key = pixels[i] & keyMask;
      if (key == lastKey) {
        ++entries_[static_cast<size_t>(lastEntry)].count;
      } else {
        lastEntry = Count(key, 1);
        if (lastEntry < 0) return i;
        lastKey = key;
      }
      pixelEntry[i] = lastEntry;
    }
    return n;
  }

  // The entries under a coarser mask, merged in the order of their first
  // pixels (which the old order is); remap gets each old entry's new one.
  void Coarsen(uint32_t keyMask, std::vector<int32_t>& remap) {
    std::vector<THistogramEntry> old = std::move(entries_);
    entries_.clear();
    entries_.reserve(kMaxHistogramColors);
    std::fill(slots_.begin(), slots_.end(), THashSlot{});
    remap.resize(old.size());
    for (size_t i = 0; i < old.size(); ++i) {
      const TRgb& c = old[i].color;
      const uint32_t key = ((uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b) & keyMask;
      remap[i] = Count(key, old[i].count);
    }
  }

 private:
  std::vector<THashSlot> slots_;
  std::vector<THistogramEntry> entries_;
};

// A mask "doubles as a byte": its lowest set bit goes.
uint8_t Doubled(uint8_t mask) { return static_cast<uint8_t>(mask << 1); }

uint32_t KeyMask(const TRgb& mask) { return (uint32_t{mask.r} << 16) | (uint32_t{mask.g} << 8) | mask.b; }

// `image` is Format_RGB32, whose rows lie one after the other without gaps.
void ReduceHistogram(const QImage& image, TReducedPicture& out) {
  const auto* pixels = reinterpret_cast<const QRgb*>(image.constBits());
  const size_t n = static_cast<size_t>(image.width()) * static_cast<size_t>(image.height());
  // The masks coarsen until at most kMaxHistogramColors colours remain. The
  // colours of the pixels counted so far are merged under each coarser mask
  // instead of counted again: the result is that of counting every pixel
  // under the final mask, in the same first-met order.
  TRgb mask{0xFF, 0xFF, 0xFF};
  TColorCounter counter;
  std::vector<int32_t> pixelEntry(n);
  std::vector<int32_t> remap;
  size_t counted = 0;
  for (;;) {
    counted = counter.CountPixels(pixels, n, counted, KeyMask(mask), pixelEntry.data());
    if (counted == n) break;
    // Precision goes blue, red, green, blue, red, green... from all masks at 0xFF.
    if (mask.r < mask.g) mask.g = Doubled(mask.g);
    else if (mask.r <= mask.b) mask.b = Doubled(mask.b);
    else mask.r = Doubled(mask.r);
    counter.Coarsen(KeyMask(mask), remap);
    for (size_t i = 0; i < counted; ++i) pixelEntry[i] = remap[static_cast<size_t>(pixelEntry[i])];
  }
  std::vector<THistogramEntry>& entries = counter.Entries();

  // Most frequent first; equal counts keep the order in which they were met.
  std::vector<int32_t> order(entries.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
    return entries[static_cast<size_t>(a)].count > entries[static_cast<size_t>(b)].count;
  });
  FillPalette(out, qRgb(128, 128, 128));
  const size_t used = std::min<size_t>(order.size(), 256);
  std::vector<uint8_t> indexOfEntry(entries.size(), 0);
  for (size_t i = 0; i < used; ++i) {
    const TRgb& c = entries[static_cast<size_t>(order[i])].color;
    out.Palette[i] = qRgb(c.r, c.g, c.b);
    indexOfEntry[static_cast<size_t>(order[i])] = static_cast<uint8_t>(i);
  }
  for (size_t i = used; i < order.size(); ++i) {
    const TRgb& c = entries[static_cast<size_t>(order[i])].color;
    int64_t best = kFarDistance;
    uint8_t nearest = 0;
    for (size_t k = 0; k < used; ++k) {
      const int64_t dr = int64_t{qRed(out.Palette[k])} - c.r;
      const int64_t dg = int64_t{qGreen(out.Palette[k])} - c.g;
      const int64_t db = int64_t{qBlue(out.Palette[k])} - c.b;
      const int64_t d = dr * dr + dg * dg + db * db;
      if (d < best) {
        best = d;
        nearest = static_cast<uint8_t>(k);
      }
    }
    indexOfEntry[static_cast<size_t>(order[i])] = nearest;
  }
  uint8_t* indices = out.Indices.data();
  for (size_t i = 0; i < n; ++i) indices[i] = indexOfEntry[static_cast<size_t>(pixelEntry[i])];
  out.ColorsUsed = 0;
}

// --------------------------------------------------------- method 1 median cut

int32_t CellOf(const TRgb& c) { return ((c.r >> 4) << 8) | ((c.g >> 4) << 4) | (c.b >> 4); }
int32_t CellChannel(int32_t cell, int32_t channel) { return (cell >> (8 - 4 * channel)) & 0xF; }

struct TBox {
  size_t first = 0;  // the box's cells are cells[first, first + count)
  size_t count = 0;
  int64_t total = 0;
  std::array<int32_t, 3> low{0, 0, 0};
  std::array<int32_t, 3> range{255, 255, 255};
};

void ReduceMedianCut(const std::vector<TRgb>& pixels, TReducedPicture& out) {
  std::vector<int64_t> histogram(4096, 0);
  for (const TRgb& p : pixels) ++histogram[static_cast<size_t>(CellOf(p))];
  std::vector<int32_t> cells;
  for (int32_t i = 0; i < 4096; ++i)
    if (histogram[static_cast<size_t>(i)] > 0) cells.push_back(i);

  // The boxes hold adjacent runs of one cell array: a split only reorders a box's own run.
  std::vector<TBox> boxes;
  boxes.push_back({0, cells.size(), static_cast<int64_t>(pixels.size()), {0, 0, 0}, {255, 255, 255}});
  while (boxes.size() < 256) {
    int32_t best = -1;
    int32_t channel = 0;
    int32_t bestRange = -1;
    for (size_t b = 0; b < boxes.size(); ++b) {
      if (boxes[b].count <= 1) continue;
      for (int32_t c = 0; c < 3; ++c) {
        if (boxes[b].range[static_cast<size_t>(c)] > bestRange) {
          bestRange = boxes[b].range[static_cast<size_t>(c)];
          best = static_cast<int32_t>(b);
          channel = c;
        }
      }
    }
    if (best < 0) break;
    TBox& box = boxes[static_cast<size_t>(best)];
    const auto begin = cells.begin() + static_cast<std::ptrdiff_t>(box.first);
    const auto end = begin + static_cast<std::ptrdiff_t>(box.count);
    std::stable_sort(begin, end, [channel](int32_t a, int32_t b) {
      return CellChannel(a, channel) < CellChannel(b, channel);
    });
    // The longest run from the start whose total stays within half; at least one cell, never all.
    const int64_t half = box.total / 2;
    size_t split = 0;
    int64_t sum = 0;
    while (split < box.count && sum + histogram[static_cast<size_t>(cells[box.first + split])] <= half) {
      sum += histogram[static_cast<size_t>(cells[box.first + split])];
      ++split;
    }
    if (split == 0) {
      split = 1;
      sum = histogram[static_cast<size_t>(cells[box.first])];
    }
    if (split == box.count) {
      --split;
      sum -= histogram[static_cast<size_t>(cells[box.first + split])];
    }
    TBox added = box;
    added.first = box.first + split;
    added.count = box.count - split;
    added.total = box.total - sum;
    const auto ch = static_cast<size_t>(channel);
    const int32_t upper = box.low[ch] + box.range[ch];
    added.low[ch] = CellChannel(cells[added.first], channel) * 16;
    added.range[ch] = upper - added.low[ch];
    box.count = split;
    box.total = sum;
    box.range[ch] = CellChannel(cells[box.first + split - 1], channel) * 16 - box.low[ch];
    boxes.push_back(added);
  }

  FillPalette(out, qRgb(0, 0, 0));
  std::vector<uint8_t> boxOfCell(4096, 0);
  for (size_t b = 0; b < boxes.size() && !cells.empty(); ++b) {
    std::array<int64_t, 3> sum{0, 0, 0};
    for (size_t i = 0; i < boxes[b].count; ++i) {
      const int32_t cell = cells[boxes[b].first + i];
      boxOfCell[static_cast<size_t>(cell)] = static_cast<uint8_t>(b);
      for (int32_t c = 0; c < 3; ++c) sum[static_cast<size_t>(c)] += CellChannel(cell, c);
    }
    const auto n = static_cast<int64_t>(boxes[b].count);
    std::array<int32_t, 3> color{};
    for (size_t c = 0; c < 3; ++c) color[c] = static_cast<int32_t>((sum[c] * 16 + 15) / n);
    if (color[0] <= 16 && color[1] <= 16 && color[2] <= 16) color = {0, 0, 0};
    out.Palette[b] = qRgb(color[0], color[1], color[2]);
  }
  for (size_t i = 0; i < pixels.size(); ++i) out.Indices[i] = boxOfCell[static_cast<size_t>(CellOf(pixels[i]))];
  out.ColorsUsed = cells.empty() ? 0 : static_cast<int32_t>(boxes.size());
}

// --------------------------------------------------------------- fixed palettes

void ReduceFixed(const QImage& source, std::string_view formatName, TReducedPicture& out, int32_t redLevels,
                 int32_t greenLevels, int32_t blueLevels) {
  const TLevelTable& red = LevelTable(redLevels);
  const TLevelTable& green = LevelTable(greenLevels);
  const TLevelTable& blue = LevelTable(blueLevels);
  FillPalette(out, qRgb(128, 128, 128));
  for (int32_t r = 0; r < redLevels; ++r)
    for (int32_t g = 0; g < greenLevels; ++g)
      for (int32_t b = 0; b < blueLevels; ++b)
        out.Palette[static_cast<size_t>((r * greenLevels + g) * blueLevels + b)] =
            qRgb(red.Levels[static_cast<size_t>(r)], green.Levels[static_cast<size_t>(g)],
                 blue.Levels[static_cast<size_t>(b)]);
  // Each channel's share of the palette index, looked up per byte: the index of a
  // pixel is three lookups and two additions.
  std::array<uint8_t, 256> redPart{};
  std::array<uint8_t, 256> greenPart{};
  for (size_t v = 0; v < 256; ++v) {
    redPart[v] = static_cast<uint8_t>(red.IndexOf[v] * greenLevels * blueLevels);
    greenPart[v] = static_cast<uint8_t>(green.IndexOf[v] * blueLevels);
  }
  const std::array<uint8_t, 256>& bluePart = blue.IndexOf;
  // Only a picture of another format is converted; the rows are read in place.
  const QImage image = source.format() == QImage::Format_ARGB32
                           ? source
                           : ConvertedPictureImage(formatName, source, QImage::Format_RGB32);
  const auto width = static_cast<size_t>(image.width());
  for (int y = 0; y < image.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    uint8_t* indices = out.Indices.data() + static_cast<size_t>(y) * width;
    for (size_t x = 0; x < width; ++x) {
      const QRgb p = row[x];
      indices[x] = static_cast<uint8_t>(redPart[(p >> 16) & 0xFF] + greenPart[(p >> 8) & 0xFF] + bluePart[p & 0xFF]);
    }
  }
  out.ColorsUsed = redLevels * greenLevels * blueLevels;
}

// ---------------------------------------------------------------- primary ramps

void ReducePrimaryRamps(const std::vector<TRgb>& pixels, int32_t width, TReducedPicture& out) {
  FillPalette(out, qRgb(0, 0, 0));
  for (int32_t i = 0; i < 64; ++i) {
    out.Palette[static_cast<size_t>(i)] = qRgb(4 * i, 0, 0);
    out.Palette[static_cast<size_t>(64 + i)] = qRgb(0, 4 * i, 0);
    out.Palette[static_cast<size_t>(128 + i)] = qRgb(0, 0, 4 * i);
  }
  for (size_t i = 0; i < pixels.size(); ++i) {
    const auto row = static_cast<int64_t>(i / static_cast<size_t>(width));
    const auto column = static_cast<int64_t>(i % static_cast<size_t>(width));
    switch ((row + column) % 3) {
      case 0: out.Indices[i] = static_cast<uint8_t>(pixels[i].r / 4); break;
      case 1: out.Indices[i] = static_cast<uint8_t>(pixels[i].g / 4 + 64); break;
      default: out.Indices[i] = static_cast<uint8_t>(pixels[i].b / 4 + 128); break;
    }
  }
  out.ColorsUsed = 0;
}

// ----------------------------------------------------------------- grey levels

void ReduceGrey(const std::vector<TRgb>& pixels, TReducedPicture& out) {
  for (int32_t i = 0; i < 256; ++i) out.Palette[static_cast<size_t>(i)] = qRgb(i, i, i);
  for (size_t i = 0; i < pixels.size(); ++i) {
    const TRgb& p = pixels[i];
    out.Indices[i] = static_cast<uint8_t>((77 * p.r + 150 * p.g + 29 * p.b) >> 8);
  }
  out.ColorsUsed = 0;
}

TLevelTable MakeLevelTable(int32_t n) {
  TLevelTable table;
  for (int32_t i = 0; i < n; ++i) {
    // round(255 × i / (n − 1)), halves up, in integers.
    table.Levels.push_back(static_cast<uint8_t>((2 * 255 * i + (n - 1)) / (2 * (n - 1))));
  }
  for (int32_t v = 0; v < 256; ++v) {
    int32_t best = 0;
    for (int32_t i = 1; i < n; ++i) {
      const int32_t d = std::abs(v - table.Levels[static_cast<size_t>(i)]);
      if (d < std::abs(v - table.Levels[static_cast<size_t>(best)])) best = i;
    }
    table.IndexOf[static_cast<size_t>(v)] = static_cast<uint8_t>(best);
  }
  return table;
}

void PutU16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

namespace {
int32_t defaultColorReduction = rmHistogram;
}  // namespace

int32_t DefaultColorReduction() { return defaultColorReduction; }

bool SetDefaultColorReduction(int32_t method) {
  if (method < rmHistogram || method > rmGrayscale) return false;
  defaultColorReduction = method;
  return true;
}

const TLevelTable& LevelTable(int32_t levels) {
  static const TLevelTable four = MakeLevelTable(4);
  static const TLevelTable six = MakeLevelTable(6);
  static const TLevelTable seven = MakeLevelTable(7);
  static const TLevelTable eight = MakeLevelTable(8);
  switch (levels) {
    case 4: return four;
    case 6: return six;
    case 7: return seven;
    case 8: return eight;
    default: throw EInvalidGraphicOperation(kFunctionNotImplementedText);
  }
}

TReducedPicture ReduceColors(const QImage& image, int32_t method, std::string_view formatName) {
  if (method < rmHistogram || method > rmGrayscale) throw EInvalidGraphicOperation(kFunctionNotImplementedText);
  TReducedPicture out;
  if (image.isNull()) return out;
  out.Width = image.width();
  out.Height = image.height();
  if (method == rmHistogram) {
    out.Indices.assign(static_cast<size_t>(out.Width) * static_cast<size_t>(out.Height), 0);
    ReduceHistogram(ConvertedPictureImage(formatName, image, QImage::Format_RGB32), out);
    return out;
  }
  if (method == rmFixed784 || method == rmFixed666) {
    out.Indices.assign(static_cast<size_t>(out.Width) * static_cast<size_t>(out.Height), 0);
    if (method == rmFixed784) ReduceFixed(image, formatName, out, 7, 8, 4);
    else ReduceFixed(image, formatName, out, 6, 6, 6);
    return out;
  }
  const std::vector<TRgb> pixels = PixelsOf(image, formatName);
  out.Indices.assign(pixels.size(), 0);
  switch (method) {
    case rmMedianCut: ReduceMedianCut(pixels, out); break;
    case rmPrimaryRamps: ReducePrimaryRamps(pixels, out.Width, out); break;
    default: ReduceGrey(pixels, out); break;
  }
  return out;
}

// ----------------------------------------------------------------- BMP image

std::vector<uint8_t> EncodeReducedBmp(const TReducedPicture& picture) {
  constexpr uint32_t kHeaders = 14 + 40;
  constexpr uint32_t kTable = 256 * 4;
  const uint64_t stride = (static_cast<uint64_t>(picture.Width) + 3) & ~uint64_t{3};
  const uint64_t fileSize = kHeaders + kTable + stride * static_cast<uint64_t>(picture.Height);
  if (fileSize > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
    throw EInvalidGraphicOperation("Picture too large for a BMP file");
  std::vector<uint8_t> bytes(static_cast<size_t>(fileSize), 0);
  uint8_t* p = bytes.data();
  p[0] = 'B';
  p[1] = 'M';
  PutU32(p + 2, static_cast<uint32_t>(fileSize));
  PutU32(p + 10, kHeaders + kTable);
  uint8_t* info = p + 14;
  PutU32(info, 40);
  PutU32(info + 4, static_cast<uint32_t>(picture.Width));
  PutU32(info + 8, static_cast<uint32_t>(picture.Height));
  PutU16(info + 12, 1);
  PutU16(info + 14, 8);
  PutU32(info + 20, static_cast<uint32_t>(stride * static_cast<uint64_t>(picture.Height)));
  PutU32(info + 32, static_cast<uint32_t>(picture.ColorsUsed));
  uint8_t* table = p + kHeaders;
  for (size_t i = 0; i < 256; ++i) {
    const QRgb c = picture.Palette[i];
    // Filler entries of the fixed palettes hold 128 in every byte, the reserved one too.
    const bool filler = qRed(c) == 128 && qGreen(c) == 128 && qBlue(c) == 128 && picture.ColorsUsed != 0 &&
                        i >= static_cast<size_t>(picture.ColorsUsed);
    table[4 * i] = static_cast<uint8_t>(qBlue(c));
    table[4 * i + 1] = static_cast<uint8_t>(qGreen(c));
    table[4 * i + 2] = static_cast<uint8_t>(qRed(c));
    table[4 * i + 3] = filler ? 128 : 0;
  }
  uint8_t* pixels = table + kTable;
  for (int32_t y = 0; y < picture.Height; ++y) {
    const uint8_t* source = picture.Indices.data() + static_cast<size_t>(y) * static_cast<size_t>(picture.Width);
    uint8_t* row = pixels + static_cast<size_t>(picture.Height - 1 - y) * stride;
    std::memcpy(row, source, static_cast<size_t>(picture.Width));
  }
  return bytes;
}

std::unique_ptr<TMemoryStream> BitmapToBMPStream(const TBitmapGraphic& bitmap, TPixelFormat target, int32_t method) {
  if (bitmap.Empty()) throw EInvalidGraphic(kInvalidBitmapText, "no bitmap");
  auto stream = std::make_unique<TMemoryStream>();
  const int32_t bits = BitsOfPixelFormat(target);
  if (bits == bitmap.BitsPerPixel() && method != rmGrayscale) {
    bitmap.SaveToStream(*stream);
  } else if (bits == 1 || bits == 4) {
    TBitmapGraphic copy(bitmap.Image(), bitmap.BitsPerPixel());
    copy.SetBitsPerPixel(bits);
    copy.SaveToStream(*stream);
  } else if (bits == 8) {
    const std::vector<uint8_t> bytes = EncodeReducedBmp(ReduceColors(bitmap.Image(), method));
    if (!stream->Write(bytes.data(), static_cast<int32_t>(bytes.size())))
      throw EGraphicFileError("Stream write error");
  } else if (bits == 24) {
    // A 24-bit target holds every colour: there is nothing to reduce.
    WriteBmp(*stream, bitmap.Image(), 24);
  } else {
    throw EInvalidGraphicOperation(kFunctionNotImplementedText);
  }
  stream->Seek(0);
  return stream;
}

}  // namespace qira

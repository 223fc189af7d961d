#include "model/ModelFile.h"

#include <malloc.h>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <utility>

#include "model/DrawCosts.h"
#include "model/GeologyFiles.h"
#include "model/GraphLabel.h"
#include "model/GraphMain.h"
#include "model/GraphPlanes.h"
#include "model/GraphPolyline.h"
#include "model/GraphRecord.h"
#include "model/GraphSpheres.h"
#include "model/StreamHelpers.h"
#include "platform/AsciiCase.h"
#include "platform/AvailableMemory.h"
#include "platform/BinaryStream.h"
#include "platform/CodePage.h"
#include "platform/NumberText.h"
#include "platform/Rounding.h"
#include "platform/Services.h"
#include "platform/TextLines.h"
#include "scene/graph/SceneObject.h"

// Sections: the ini text; reading the model; building the objects; the command.

namespace qira {

namespace {

// ---- The ini text -------------------------------------------------------------------

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimView(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// A value with the line it stands on, for the messages.
struct TIniValue {
  std::string Text;
  int Line = 0;  // 1-based
};

// What a model file's reading takes for each byte of its text (its sections and keys
// held as text), and of that what its lines take before they are read into sections
// and keys.
constexpr int64_t kReadBytesPerFileByte = 16;
constexpr int64_t kSplitBytesPerFileByte = 4;

// A reading given up because the process's own figures show its memory used up.
struct EModelMemory {};

// One line of the ini text as the reading takes it: a section's header, a key, or
// nothing (blank, a comment, a header without ']', a line without '=').
struct TIniLine {
  enum class TKind { None, Section, Key } Kind = TKind::None;
  std::string_view Name;
  std::string_view Value;
};

TIniLine ClassifyIniLine(std::string_view raw) {
  const std::string_view line = TrimView(raw);
  if (line.empty() || line.front() == ';') return {};
  if (line.front() == '[') {
    const size_t close = line.find(']');
    if (close == std::string_view::npos) return {};
    return {TIniLine::TKind::Section, TrimView(line.substr(1, close - 1)), {}};
  }
  const size_t eq = line.find('=');
  if (eq == std::string_view::npos) return {};
  return {TIniLine::TKind::Key, TrimView(line.substr(0, eq)), TrimView(line.substr(eq + 1))};
}

// Editors may put a byte-order mark before the first section.
std::string_view WithoutBom(std::string_view text) {
  static constexpr std::string_view kBom = "\xEF\xBB\xBF";
  return text.substr(0, kBom.size()) == kBom ? text.substr(kBom.size()) : text;
}

// The sections and keys of an ini text, in file order, each with its line.
class TModelIni {
 public:
  struct TSection {
    std::string Name;
    std::vector<std::pair<std::string, TIniValue>> Keys;
  };

  // `watch`, when given, looks at what the process holds as the text is taken apart:
  // the reading is given up (EModelMemory) once the figures show its memory used up.
  TModelIni(std::string_view text, TMemoryWatch* watch) {
    if (watch && !watch->Holds(0, static_cast<int64_t>(text.size()) * kSplitBytesPerFileByte))
      throw EModelMemory();
    const std::vector<std::string> lines = SplitTextLines(text);
    TSection* current = nullptr;
    int64_t taken = 0;  // bytes of the text read into sections and keys
    for (size_t i = 0; i < lines.size(); ++i) {
      taken += static_cast<int64_t>(lines[i].size()) + 1;
      if (watch && !watch->Holds(static_cast<int64_t>(text.size()) * kSplitBytesPerFileByte +
                                 taken * (kReadBytesPerFileByte - kSplitBytesPerFileByte)))
        throw EModelMemory();
      const TIniLine line = ClassifyIniLine(lines[i]);
      if (line.Kind == TIniLine::TKind::Section) {
        sections_.push_back({std::string(line.Name), {}});
        current = &sections_.back();
      } else if (line.Kind == TIniLine::TKind::Key && current) {
        current->Keys.push_back({std::string(line.Name), {std::string(line.Value), static_cast<int>(i) + 1}});
      }
    }
  }

  const std::vector<TSection>& Sections() const { return sections_; }

  // The first section of that name, or null.
  const TSection* FindSection(std::string_view name) const {
    for (const TSection& s : sections_)
      if (SameTextAscii(s.Name, name)) return &s;
    return nullptr;
  }

  // The first key of that name in the first section of that name, or null.
  static const TIniValue* Find(const TSection* section, std::string_view key) {
    if (!section) return nullptr;
    for (const auto& [name, value] : section->Keys)
      if (SameTextAscii(name, key)) return &value;
    return nullptr;
  }

 private:
  std::vector<TSection> sections_;
};

// ---- Reading the model --------------------------------------------------------------

// An integer value: decimal, or hexadecimal as "$1F" or "0x1F".
bool ParseIniInteger(std::string_view text, int32_t& value) {
  if (ParseInt32(text, value)) return true;
  size_t skip = 0;
  if (text.size() > 1 && text[0] == '$') skip = 1;
  else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) skip = 2;
  if (skip == 0) return false;
  uint32_t bits = 0;
  const char* first = text.data() + skip;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, bits, 16);
  if (error != std::errc() || end != last) return false;
  value = static_cast<int32_t>(bits);  // "$FFFFFFFF" is -1, as the class library reads it
  return true;
}

// The number under a key, where the value was found.
struct TNumber {
  double Value = 0;
  int Line = 0;  // 0: the default
};

class TModelReader {
 public:
  TModelReader(std::string_view text, const std::string& fileName, TMemoryWatch* watch)
      : ini_(text, watch), fileName_(fileName) {}

  // A float key: absent or empty gives the default, as the class library's ini
  // object reads floats.
  TNumber Float(const TModelIni::TSection* section, std::string_view key, double def) const {
    const TIniValue* v = TModelIni::Find(section, key);
    if (!v || v->Text.empty()) return {def, 0};
    return {Parse(*v), v->Line};
  }

  // A coordinate: its text defaults to "0", and any text present must be a number.
  TNumber Coordinate(const TModelIni::TSection* section, std::string_view key) const {
    const TIniValue* v = TModelIni::Find(section, key);
    if (!v) return {0, 0};
    return {Parse(*v), v->Line};
  }

  // An integer key: absent or empty gives the default; decimal, or hexadecimal as
  // "$1F" or "0x1F".
  int32_t Integer(const TModelIni::TSection* section, std::string_view key, int32_t def) const {
    const TIniValue* v = TModelIni::Find(section, key);
    if (!v || v->Text.empty()) return def;
    int32_t value;
    if (!ParseIniInteger(v->Text, value)) Fail(v->Line, "'" + v->Text + "' is not a valid integer value");
    return value;
  }

  const TModelIni& Ini() const { return ini_; }

  [[noreturn]] void Fail(int line, const std::string& message) const {
    throw EModelFile(fileName_, line, message);
  }

 private:
  double Parse(const TIniValue& v) const {
    double value;
    if (!ParseDouble(v.Text, value, /*acceptComma=*/true))
      Fail(v.Line, "'" + v.Text + "' is not a valid floating point value");
    return value;
  }

  TModelIni ini_;
  std::string fileName_;
};

// The greater of two depths, with the line that gave it.
TNumber Deeper(const TNumber& a, const TNumber& b) { return b.Value > a.Value ? b : a; }

// "Sphere_<i>" with i written as the class library writes integers (no sign, no
// leading zero): the i, else 0.
int64_t SphereIndex(std::string_view section) {
  static constexpr std::string_view kPrefix = "Sphere_";
  if (section.size() <= kPrefix.size() || !SameTextAscii(section.substr(0, kPrefix.size()), kPrefix)) return 0;
  const std::string_view digits = section.substr(kPrefix.size());
  if (digits.front() < '1' || digits.front() > '9') return 0;
  int64_t i = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), i);
  if (error != std::errc() || end != digits.data() + digits.size()) return 0;
  return i;
}

// The library's float-to-text conversion: up to 15 significant digits, '.' always.
std::string FloatToText(double x) {
  char buf[64];
  const auto [end, error] = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, 15);
  if (error != std::errc()) return FormatShortest(x);
  std::string s(buf, end);
  // Exponent as the library writes it: "1E-5", not "1e-05".
  const size_t e = s.find('e');
  if (e != std::string::npos) {
    std::string mantissa = s.substr(0, e);
    std::string exponent = s.substr(e + 1);
    const bool negative = !exponent.empty() && exponent.front() == '-';
    if (!exponent.empty() && (exponent.front() == '-' || exponent.front() == '+')) exponent.erase(0, 1);
    exponent.erase(0, std::min(exponent.find_first_not_of('0'), exponent.size() - 1));
    s = mantissa + "E" + (negative ? "-" : "") + exponent;
  }
  return s;
}

// ---- Building the objects -----------------------------------------------------------

constexpr TColor kYellow = MakeColor(255, 255, 0);
constexpr TColor kGrey = MakeColor(128, 128, 128);
constexpr TColor kLabelColor = MakeColor(50, 50, 50);
constexpr uint8_t kAlignLeft = 0, kAlignRight = 1;
constexpr uint8_t kLayoutTop = 0, kLayoutCenter = 1;
constexpr uint8_t kPlaneOpacity = 100;

std::unique_ptr<TGraphMain> NewGroup(const std::string& name) {
  auto group = std::make_unique<TGraphMain>();
  group->SetName(name);
  return group;
}

std::unique_ptr<TGraphMain> NewLabel(const std::string& name, const std::string& text, float scale,
                                     uint8_t alignment, uint8_t layout, const TSurveyPoint& position) {
  auto label = std::make_unique<TGraphLabel>();
  label->SetName(name);
  label->Params.Text = text;
  label->Params.TextScale = scale;
  label->Params.Color = kLabelColor;
  label->Params.Alignment = alignment;
  label->Params.Layout = layout;
  label->Params.Position = position;
  return label;
}

// Borehole k (1 or 2) at X = x, down to elevation -depth.
std::unique_ptr<TGraphMain> NewBorehole(int k, double x, double depth) {
  const bool first = k == 1;
  const std::string number = std::to_string(k);
  std::unique_ptr<TGraphMain> group = NewGroup("Borehole #" + number);

  auto line = std::make_unique<TGraphLine>();
  line->SetName("Borehole");
  line->SetPointCount(2);
  line->SetPoint(0, {x, 0, 0});
  line->SetPoint(1, {x, 0, -depth});
  line->Params.Color = kGrey;
  line->Params.RoundEnds = false;
  group->AddChild(std::move(line), true);

  constexpr float kNameScale = 0.8f;
  // The name stands below the bottom by twice the text scale, rounded.
  const double below = RoundToInt(kNameScale * 2.0);
  group->AddChild(NewLabel("Name", "BH#" + number + "\r\n" + FloatToText(depth) + "m", kNameScale,
                           first ? kAlignLeft : kAlignRight, kLayoutTop, {x, 0, -depth - below}),
                  true);

  for (int64_t d = 0; static_cast<double>(d) <= depth; d += 100) {
    const std::string text = std::to_string(d);
    group->AddChild(NewLabel("Label " + text, first ? text + "  " : "  " + text, 0.5f,
                             first ? kAlignRight : kAlignLeft, kLayoutCenter, {x, 0, -static_cast<double>(d)}),
                    true);
  }
  return group;
}

// Holds tree painting back for a scope; no tree, no effect.
class TTreePaintHold {
 public:
  explicit TTreePaintHold(TObjectTreeView* tree) : tree_(tree) {
    if (tree_) tree_->BeginUpdate();
  }
  ~TTreePaintHold() {
    if (tree_) tree_->EndUpdate();
  }
  TTreePaintHold(const TTreePaintHold&) = delete;
  TTreePaintHold& operator=(const TTreePaintHold&) = delete;

 private:
  TObjectTreeView* tree_;
};

// What the built model takes for each group of spheres (the
// object, its name, its tree node) and each sphere (its centre in the description and
// in the object), beside their first draw, the labels' and the frame's (DrawCosts.h,
// as an opened project counts the same objects); and the boreholes, the plane and
// the groups that hold them: measured as DrawCosts.h says, rounded up.
constexpr int64_t kSphereGroupBytes = 640;
constexpr int64_t kSphereBytes = 512;
constexpr int64_t kLabelCharacters = 8;
constexpr int64_t kBoreholesAndPlaneBytes = int64_t{1} << 20;

// Each group is a spheres object of the default slices.
TSphereStrips ModelStrips() {
  TSpheresParams made;
  TGraphSpheres::DefaultParams(made);
  return SpheresStripsOf(made.Slices);
}

// The first frame's bins, as an opened project counts them (TOpenCount): each group's
// spheres and each label, no more than the renderer is left to queue at once.
int64_t ModelFrameBins(const TModelDescription& model, int64_t labels) {
  const int64_t sphere = SphereBinBytes(ModelStrips());
  int64_t binned = labels * LabelBinBytes;
  int64_t most = labels > 0 ? LabelBinBytes : 0;
  for (const TModelSphereGroup& group : model.Groups) {
    const int64_t of = std::min<int64_t>(static_cast<int64_t>(group.Centres.size()), ObjectsBetweenRenderWaits) * sphere;
    binned += of;
    most = std::max(most, of);
  }
  return FrameBinsOf(std::min(binned, most * ObjectsBetweenRenderWaits));
}

// A label every 100 m down each borehole from 0, and its name (NewBorehole).
int64_t ModelLabels(double depth1, double depth2) {
  return static_cast<int64_t>(depth1 / 100) + static_cast<int64_t>(depth2 / 100) + 4;
}

int64_t ModelBytesOf(int64_t groups, int64_t spheres, int64_t labels, int64_t frameBins) {
  return groups * kSphereGroupBytes + spheres * kSphereBytes + SpheresDrawCost.Of(spheres, ModelStrips()) +
         LabelDrawCost.Of(labels, labels * kLabelCharacters) + frameBins + kBoreholesAndPlaneBytes;
}

// The distinct sphere indices a text declares, as the reading keeps each once, at any
// index: up to kHeldIndices of them are held (a few MB, however large the file); a
// text of more (tens of MB of headers alone) counts each further index it does not
// hold, by binary order of magnitude, up to the indices of it that Count lets in.
// Indices above what a Count can be are never kept and not taken.
class TSphereIndices {
 public:
  void Add(int64_t index) {
    if (index < 1 || index > std::numeric_limits<int32_t>::max()) return;
    const auto i = static_cast<uint32_t>(index);
    if (full_) {
      if (!std::binary_search(held_.begin(), held_.end(), i)) ++beyond_[static_cast<size_t>(std::bit_width(i) - 1)];
      return;
    }
    // The table's growth is weighed before it is made: passed over by the count of the
    // reading, the indices held so far are all it holds, and the rest are counted as
    // those past kHeldIndices are.
    if (held_.size() == held_.capacity() &&
        !WeighArray(static_cast<int64_t>(std::max<size_t>(1, 2 * held_.capacity())), sizeof(uint32_t))) {
      Merge();
      full_ = true;
      Add(index);
      return;
    }
    held_.push_back(i);
    if (held_.size() >= 2 * sorted_ + kBatch) Merge();
  }

  // The indices added that are 1 .. count.
  int64_t UpTo(int64_t count) {
    if (count < 1) return 0;
    Merge();
    int64_t kept = std::upper_bound(held_.begin(), held_.end(), count) - held_.begin();
    for (int b = 0; b < 32 && (int64_t{1} << b) <= count; ++b) {
      const int64_t from = int64_t{1} << b, to = std::min(count, 2 * from - 1);
      kept += std::min(beyond_[static_cast<size_t>(b)], to - from + 1);
    }
    return std::min(kept, count);
  }

 private:
  static constexpr size_t kHeldIndices = size_t{1} << 20;
  static constexpr size_t kBatch = 4096;

  void Merge() {
    std::sort(held_.begin(), held_.end());
    held_.erase(std::unique(held_.begin(), held_.end()), held_.end());
    if (held_.size() > kHeldIndices) {
      for (size_t k = kHeldIndices; k < held_.size(); ++k) ++beyond_[static_cast<size_t>(std::bit_width(held_[k]) - 1)];
      held_.resize(kHeldIndices);
      // Made anew beside the old table: weighed as its growth is.
      if (WeighArray(kHeldIndices, sizeof(uint32_t))) held_.shrink_to_fit();
      full_ = true;
    }
    sorted_ = held_.size();
  }

  std::vector<uint32_t> held_;  // sorted and each once up to sorted_, then as they came
  size_t sorted_ = 0;
  bool full_ = false;  // kHeldIndices are held: no more are
  std::array<int64_t, 32> beyond_{};  // indices not held, by bit width - 1
};

// What importing a model text takes at most, from what the text itself declares, read
// line by line as the reading reads it but keeping next to nothing: the reading (its
// bytes held as sections and keys), or the build after it, with each sphere the
// reading may keep in a group of its own (a model has no more groups or spheres) and
// the boreholes as deep as the first geometry section says (the deepest a model may
// be where a depth is not a number). So a refusal before the reading tells what the
// whole import needs.
//
// A sphere is an index i of sections Sphere_<i> whose first Radius is not known to be
// 0 or less, counted at the end only for i up to the first Count of the first section
// Spheres (read as the reading reads it; the headers may come before it), each index
// once as the reading takes it once (TSphereIndices). So the time is about linear in
// the text and what is kept stays small.
//
// The text comes whole or in blocks of any size (a file the memory cannot hold whole,
// streamed), split into lines as SplitTextLines splits it, a CR LF across two blocks
// one line end. Of a line it keeps kLineBytes at most, a run of blanks as one blank:
// how long a run of blanks is changes nothing the line declares, and no header or key
// that declares anything is that long. A line cut there is taken as no header where
// its ']' was not kept (the section before it runs on, which counts no less) and a
// depth, a Count or a radius cut there as the largest, so a cut line never counts
// less than whole.
class TModelImportCount {
 public:
  TModelImportCount() { line_.reserve(kLineBytes); }

  void Add(std::string_view block) {
    if (block.empty()) return;
    textBytes_ += static_cast<int64_t>(block.size());
    size_t at = crEnded_ && block.front() == '\n' ? 1 : 0;
    crEnded_ = false;
    while (at < block.size()) {
      const size_t end = block.find_first_of("\r\n", at);
      if (end == std::string_view::npos) {
        Append(block.substr(at));
        return;
      }
      Append(block.substr(at, end - at));
      EndLine();
      at = end + 1;
      if (block[end] != '\r') continue;
      if (at == block.size()) crEnded_ = true;  // its LF, if any, starts the next block
      else if (block[at] == '\n') ++at;
    }
  }

  // The need, once the text's last block was added.
  int64_t Need() {
    if (open_) EndLine();
    EndSphere();
    // The reading holds the text's own bytes beside what it makes of them.
    const int64_t reading = textBytes_ * kReadBytesPerFileByte + HeapBlockBytes(textBytes_);
    const int64_t spheres = KeptSpheres();
    if (spheres == 0) return reading;
    const auto depthOf = [&](size_t k) { return depths_[k].value_or(0.0); };
    const int64_t labels = ModelLabels(std::max(depthOf(0), depthOf(1)), std::max(depthOf(2), depthOf(3)));
    // No grouping of the spheres puts more in the first frame's bins than all of them.
    const int64_t bins = FrameBinsOf(spheres * SphereBinBytes(ModelStrips()) + labels * LabelBinBytes);
    return std::max(reading, ModelBytesOf(spheres, spheres, labels, bins));
  }

 private:
  static constexpr size_t kLineBytes = 1024;
  // FTransmitterTo, RReceiverTo, RTransmitterTo, FReceiverTo: the first of each.
  static constexpr std::array<std::string_view, 4> kDepthKeys{"FTransmitterTo", "RReceiverTo", "RTransmitterTo",
                                                              "FReceiverTo"};

  void Append(std::string_view piece) {
    open_ = open_ || !piece.empty();
    for (const char c : piece) {
      if (cut_) return;
      if (!IsBlank(c)) {
        cut_ = line_.size() == kLineBytes;
        if (!cut_) line_.push_back(c);
      } else if (line_.size() < kLineBytes && (line_.empty() || !IsBlank(line_.back()))) {
        line_.push_back(c);
      }
    }
  }

  void EndLine() {
    Line(lines_++ == 0 ? WithoutBom(line_) : std::string_view(line_), cut_);
    line_.clear();
    cut_ = open_ = false;
  }

  void Line(std::string_view raw, bool cut) {
    const TIniLine line = ClassifyIniLine(raw);
    if (line.Kind == TIniLine::TKind::Section) {
      EndSphere();
      sphere_ = SphereIndex(line.Name);
      inGeometry_ = SameTextAscii(line.Name, "Geomentry") && ++geometrySections_ == 1;
      inSpheres_ = SameTextAscii(line.Name, "Spheres") && ++spheresSections_ == 1;
    } else if (line.Kind == TIniLine::TKind::Key && inSpheres_ && !count_ && SameTextAscii(line.Name, "Count")) {
      // A count the reading cannot read fails it: no sphere is built.
      int32_t count = 0;
      count_ = cut ? std::numeric_limits<int32_t>::max() : ParseIniInteger(line.Value, count) ? count : 0;
    } else if (line.Kind == TIniLine::TKind::Key && sphere_ > 0 && !radiusRead_ && SameTextAscii(line.Name, "Radius")) {
      // Empty is 0; a radius that is not a number fails the reading, counted as kept all the same.
      double radius = 0;
      radiusRead_ = true;
      radiusPositive_ =
          cut || (!line.Value.empty() && (!ParseDouble(line.Value, radius, /*acceptComma=*/true) || radius > 0));
    } else if (line.Kind == TIniLine::TKind::Key && inGeometry_) {
      for (size_t k = 0; k < kDepthKeys.size(); ++k) {
        if (depths_[k] || !SameTextAscii(line.Name, kDepthKeys[k])) continue;
        double depth = -1;
        if (cut || (!line.Value.empty() && !ParseDouble(line.Value, depth, /*acceptComma=*/true)))
          depth = MaxModelDepth;
        depths_[k] = std::clamp(depth, 0.0, MaxModelDepth);
      }
    }
  }

  // The section that ends gives its index a sphere when its radius may be above 0.
  // The reading takes the first of duplicates: any of them setting the bit is no less.
  void EndSphere() {
    if (sphere_ > 0 && radiusPositive_) kept_.Add(sphere_);
    sphere_ = 0;
    radiusRead_ = radiusPositive_ = false;
  }

  // The spheres the reading keeps at most, of indices 1 .. Count.
  int64_t KeptSpheres() { return kept_.UpTo(count_.value_or(0)); }

  int64_t textBytes_ = 0;
  std::string line_;      // the line so far, as kept
  bool cut_ = false;      // a byte past kLineBytes was dropped
  bool open_ = false;     // bytes came since the last line end
  bool crEnded_ = false;  // the last block ended in CR
  int64_t lines_ = 0;
  int geometrySections_ = 0;
  bool inGeometry_ = false;
  std::array<std::optional<double>, 4> depths_;
  int spheresSections_ = 0;
  bool inSpheres_ = false;
  std::optional<int64_t> count_;  // the first Count of the first section Spheres
  int64_t sphere_ = 0;            // the current section's index, 0 when no sphere
  bool radiusRead_ = false;       // its first Radius was read
  bool radiusPositive_ = false;   // and may be above 0
  TSphereIndices kept_;           // the indices of sections whose radius may be above 0
};

int64_t ModelTextImportBytes(std::string_view text) {
  TModelImportCount count;
  count.Add(text);
  return count.Need();
}

// `counting` run under the one count of the file's reading, so that the table of sphere
// indices it holds is weighed as it grows. What it returns, the whole import's need, is
// what a refusal tells: it covers that table (each index held stands on a header line
// of the text, counted at kReadBytesPerFileByte).
int64_t CountedImportBytes(const std::string& path, const std::function<int64_t()>& counting) {
  int64_t needed = 0;
  ReadCounted(path, [&] { needed = counting(); });
  return needed;
}

// ModelTextImportBytes of the file at `path`, counted as its text streams from the
// file: a block and a line's start held, however large the file and its lines. Empty,
// with the system's reason, when the file cannot be read.
std::optional<int64_t> ModelFileImportBytes(const std::string& path, std::string& reason) {
  constexpr int32_t kBlockBytes = 64 * 1024;
  const std::unique_ptr<TBinaryFile> file = TBinaryFile::Open(path, TBinaryFile::Mode::Read, &reason);
  if (!file) return std::nullopt;
  TModelImportCount count;
  std::string block(kBlockBytes, '\0');
  while (file->Remaining() > 0) {
    const int32_t n = std::min(file->Remaining(), kBlockBytes);
    if (!file->Read(block.data(), n)) {
      reason = ErrnoText(EIO);
      return std::nullopt;
    }
    count.Add(std::string_view(block.data(), static_cast<size_t>(n)));
  }
  return count.Need();
}

}  // namespace

int64_t ModelBuildBytes(const TModelDescription& model) {
  if (!model.Buildable()) return 0;
  int64_t spheres = 0;
  for (const TModelSphereGroup& group : model.Groups) spheres += static_cast<int64_t>(group.Centres.size());
  const int64_t labels = ModelLabels(model.Depth1, model.Depth2);
  return ModelBytesOf(static_cast<int64_t>(model.Groups.size()), spheres, labels,
                      ModelFrameBins(model, labels));
}

// ---- EModelFile and the description --------------------------------------------------

EModelFile::EModelFile(const std::string& fileName, int lineNumber, const std::string& systemMessage)
    : Exception("File " + fileName + ", line " + std::to_string(lineNumber) + ": " + systemMessage),
      lineNumber_(lineNumber),
      systemMessage_(systemMessage) {}

bool TModelDescription::Buildable() const {
  return Distance > 0 && Depth1 > 0 && Depth2 > 0 && !Groups.empty();
}

TModelDescription ParseModelText(std::string_view text, const std::string& fileName, TMemoryWatch* watch) {
  text = WithoutBom(text);
  const std::string utf8 = IsValidUtf8(text) ? std::string(text) : Cp1252ToUtf8(text);
  const TModelReader reader(utf8, fileName, watch);
  const TModelIni& ini = reader.Ini();

  TModelDescription model;
  const TModelIni::TSection* geometry = ini.FindSection("Geomentry");
  model.Distance = reader.Float(geometry, "Distance", -1).Value;
  const TNumber depth1 =
      Deeper(reader.Float(geometry, "FTransmitterTo", -1), reader.Float(geometry, "RReceiverTo", -1));
  const TNumber depth2 =
      Deeper(reader.Float(geometry, "RTransmitterTo", -1), reader.Float(geometry, "FReceiverTo", -1));
  for (const TNumber& depth : {depth1, depth2})
    if (depth.Value > MaxModelDepth)
      reader.Fail(depth.Line, "Depth " + FloatToText(depth.Value) + " is greater than " +
                                  FloatToText(MaxModelDepth));
  model.Depth1 = depth1.Value;
  model.Depth2 = depth2.Value;

  const int32_t count = reader.Integer(ini.FindSection("Spheres"), "Count", 0);
  // Sphere_1 .. Sphere_Count in index order; sections that are missing give
  // spheres of radius 0, which are skipped, so only those present are visited.
  std::map<int64_t, const TModelIni::TSection*> spheres;
  for (const TModelIni::TSection& section : ini.Sections()) {
    const int64_t i = SphereIndex(section.Name);
    if (i >= 1 && i <= count) spheres.emplace(i, &section);  // the first of duplicates counts
  }
  // Groups by their four values; a value that is not a number equals nothing, so
  // such a sphere makes a group of its own that no other joins.
  std::map<std::array<double, 4>, size_t> groupOf;
  for (const auto& [index, section] : spheres) {
    const double ro = reader.Float(section, "Ro", 0).Value;
    const double epsilon = reader.Float(section, "Epsilon", 0).Value;
    const double mu = reader.Float(section, "Mu", 0).Value;
    const double radius = reader.Float(section, "Radius", 0).Value;
    const double x = reader.Coordinate(section, "X").Value;
    const double y = reader.Coordinate(section, "Y").Value;
    const double z = reader.Coordinate(section, "Z").Value;
    if (!(radius > 0)) continue;
    const std::array<double, 4> key{ro, epsilon, mu, radius};
    const bool comparable = std::none_of(key.begin(), key.end(), [](double v) { return std::isnan(v); });
    size_t group = model.Groups.size();
    if (comparable) group = groupOf.try_emplace(key, group).first->second;
    if (group == model.Groups.size()) model.Groups.push_back({ro, epsilon, mu, radius, {}});
    model.Groups[group].Centres.push_back({x, y, -z});
  }
  return model;
}

std::unique_ptr<TGraphMain> CreateModelGroup(const TModelDescription& model, const std::string& groupName) {
  if (!model.Buildable()) return nullptr;
  std::unique_ptr<TGraphMain> root = NewGroup(groupName);

  std::unique_ptr<TGraphMain> spheresGroup = NewGroup("Spheres");
  std::vector<std::unique_ptr<TGraphMain>> groups;
  groups.reserve(model.Groups.size());
  for (size_t g = 0; g < model.Groups.size(); ++g) {
    const TModelSphereGroup& group = model.Groups[g];
    auto spheres = std::make_unique<TGraphSpheres>();
    spheres->SetName("Spheres " + std::to_string(g + 1));
    spheres->SetPointCount(static_cast<int>(group.Centres.size()));
    for (size_t i = 0; i < group.Centres.size(); ++i) spheres->SetPoint(static_cast<int>(i), group.Centres[i]);
    spheres->Params.Radius = group.Radius;
    spheres->Params.Color = kYellow;
    groups.push_back(std::move(spheres));
  }
  // One sort for all: "Spheres 10" goes before "Spheres 2".
  spheresGroup->AddChildrenSorted(std::move(groups));
  root->AddChild(std::move(spheresGroup), true);

  std::unique_ptr<TGraphMain> boreholes = NewGroup("Boreholes");
  boreholes->AddChild(NewBorehole(1, 0, model.Depth1), true);
  boreholes->AddChild(NewBorehole(2, model.Distance, model.Depth2), true);
  root->AddChild(std::move(boreholes), true);

  auto plane = std::make_unique<TGraphPlanes>();
  plane->SetName("Plane");
  plane->SetPointCount(4);
  plane->SetPoint(0, {0, 0, 0});
  plane->SetPoint(1, {0, 0, -model.Depth1});
  plane->SetPoint(2, {model.Distance, 0, -model.Depth2});
  plane->SetPoint(3, {model.Distance, 0, 0});
  plane->Params.Color = kGrey;
  plane->Transparency = kPlaneOpacity;
  root->AddChild(std::move(plane), true);
  return root;
}

// ---- The command --------------------------------------------------------------------

TModelImport ImportModelFile(TGraphMain& target, const std::string& path) {
  const std::string fileName = FileNameWithoutFolder(path);
  std::vector<uint8_t> bytes;
  std::string message;
  const TWholeFileRead read = ReadWholeFileToldAs(path, fileName, bytes, message);
  if (read == TWholeFileRead::wrNoMemory) {
    // The text the memory cannot hold is counted as it streams, so that the refusal
    // tells what the whole import takes, not what the file's bytes alone do.
    const int64_t available = AvailableMemory();
    std::string reason;
    std::optional<int64_t> needed;
    CountedImportBytes(path, [&] {
      needed = ModelFileImportBytes(path, reason);
      return needed.value_or(0);
    });
    if (!needed)
      message = FileReadFailureText(path, fileName, reason);
    else if (std::string problem = ImportMemoryProblem(path, *needed, available); !problem.empty())
      message = std::move(problem);  // else the memory came back meanwhile: the reading's refusal stands
  }
  if (read != TWholeFileRead::wrDone) {
    ShowMessageDlg(message, 1);
    return TModelImport::Failed;
  }
  // Each step is counted before it starts: a model the memory cannot hold is
  // refused with nothing added instead of the program being killed half-way.
  auto refusedFor = [&](int64_t needed) {
    const std::string problem = ImportMemoryProblem(path, needed);
    if (!problem.empty()) ShowMessageDlg(problem, 1);
    return !problem.empty();
  };
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const int64_t readBytes = static_cast<int64_t>(bytes.size()) * kReadBytesPerFileByte;
  // A refusal of the reading tells what the whole import takes, the build after it too.
  const int64_t available = AvailableMemory();
  // The file's bytes are held at the check: in the need told (ModelTextImportBytes) as
  // in the memory it is told against, which the room measured now lacks.
  const int64_t held = HeapBlockBytes(static_cast<int64_t>(bytes.size()));
  if (readBytes > available) {
    ShowMessageDlg(ImportMemoryProblem(path, CountedImportBytes(path, [&] { return ModelTextImportBytes(text); }),
                                       available + held),
                   1);
    return TModelImport::Failed;
  }
  TModelDescription model;
  TMemoryWatch watch(available);
  try {
    model = ParseModelText(text, fileName, &watch);
  } catch (const EModelFile& error) {
    ShowMessageDlg(error.what(), 1);
    return TModelImport::Failed;
  } catch (const EModelMemory&) {
    // The count let the reading go, the figures did not: the need told is what they
    // measured, or what the build after it takes where that is more.
    const int64_t needed =
        std::max({watch.NeedOf(readBytes) + held, CountedImportBytes(path, [&] { return ModelTextImportBytes(text); }),
                  watch.Room() + held + 1});
    ShowMessageDlg(ImportMemoryProblem(path, needed, watch.Room() + held), 1);
    return TModelImport::Failed;
  }
  // What the reading held goes back to the system before the build is counted.
  std::vector<uint8_t>().swap(bytes);
  malloc_trim(0);
  if (refusedFor(ModelBuildBytes(model))) return TModelImport::Failed;
  std::unique_ptr<TGraphMain> group = CreateModelGroup(model, FileNameWithoutExt(path));
  if (!group) return TModelImport::NothingToBuild;

  TObjectTreeView* tree = target.TreeView();
  TTreePaintHold hold(tree);
  IgnoreNextMouseMove = true;
  TGraphMain* added = target.AddChild(std::move(group), true);
  added->SetContext(target.Context);
  if (tree) added->AddToTree(tree);
  added->Build(true);
  IgnoreNextMouseMove = false;
  return TModelImport::Built;
}

TModelImport ModelClick(TGraphMain& target) {
  TFileRequest request;
  request.Filter = "Model files (*.mdl)|*.mdl|All files (*.*)|*.*";
  request.DefaultExt = "mdl";
  const std::optional<std::string> path = Services().Files->OpenFile(request);
  if (!path) return TModelImport::Cancelled;
  return ImportModelFile(target, *path);
}

void RegisterModelCommand() {
  RegisterCreateCommand(TCreateCommand::Model, [](TGraphMain& target) { ModelClick(target); });
}

}  // namespace qira

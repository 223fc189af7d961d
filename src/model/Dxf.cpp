#include "model/Dxf.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <optional>
#include <type_traits>
#include <utility>

#include "model/DrawCosts.h"
#include "model/GraphLines.h"
#include "model/GraphMain.h"
#include "model/GraphPoints.h"
#include "model/GraphSurface.h"
#include "model/LostText.h"
#include "model/Settings.h"
#include "model/StreamHelpers.h"
#include "platform/AvailableMemory.h"
#include "platform/BinaryStream.h"
#include "platform/CodePage.h"
#include "platform/NumberText.h"
#include "platform/Rounding.h"
#include "platform/Services.h"
#include "platform/TextLines.h"

namespace qira {

namespace {

// Raised inside the reader at the first sign that the file is no DXF text; ReadDXF
// turns it into the message and a false result.
struct EDXFDamaged {};

constexpr double kUnset = std::numeric_limits<double>::infinity();
// A point before its groups: North and East unset, so an entity that leaves out the
// DXF X or Y of a point it uses is dropped; the elevation holds the format's default
// 0, as 2-D drawings leave out every Z group.
constexpr TSurveyPoint kPointBeforeGroups{kUnset, kUnset, 0};
// Group codes a drawing may hold.
constexpr int32_t kMaxGroupCode = 1071;

std::string UpperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

void TrimSpaceChars(std::string& s) {
  size_t first = 0, last = s.size();
  while (first < last && s[first] == ' ') ++first;
  while (last > first && s[last - 1] == ' ') --last;
  s.erase(last);
  s.erase(0, first);
}

// Control characters never stand in DXF text (they are written as ^J and the like);
// tabs and the DOS end-of-file mark are the exceptions handled by the callers.
bool HasControlCharacters(const std::string& s) {
  for (unsigned char c : s)
    if (c < 0x20 && c != '\t') return true;
  return false;
}

// Blank lines and a DOS end-of-file mark may close a file.
bool IsClosingFiller(const std::string& s) {
  for (unsigned char c : s)
    if (c != ' ' && c != '\t' && c != 0x1A) return false;
  return true;
}

bool IsSet(const TSurveyPoint& p) { return std::isfinite(p.X) && std::isfinite(p.Y) && std::isfinite(p.Z); }

// Text of the drawing: UTF-8 where it is well-formed UTF-8 (as DXF 2007 and later
// write it), else Windows-1252 (the older versions' code page).
std::string DecodeText(const std::string& bytes) {
  return IsValidUtf8(bytes) ? bytes : Cp1252ToUtf8(bytes);
}

std::string FileNameOnly(const std::string& path) { return std::filesystem::path(path).filename().string(); }

// Empties a container with its table or array: clear() keeps those.
template <class C>
void Release(C& c) {
  C().swap(c);
}

}  // namespace

// ---- Groups ---------------------------------------------------------------------------

// The pairs of a drawing, its lines read ahead through a large buffer. The reader
// takes every pair through here, and the count of an import is the reader's own
// (TDXF::Take), so the two cannot disagree.
class TDXFGroups {
 public:
  explicit TDXFGroups(TBinaryStream& stream) : lines_(stream, MaxDXFLineLength) {}

  // Reads the next pair: its code and value, trimmed of spaces. At the end of the
  // file AtEnd() holds and both are empty. Raises EDXFDamaged at the first sign that
  // the file is no DXF text.
  void Next() {
    codeNumber_ = -1;
    ReadLine(code_);
    if (atEnd_) {
      value_.clear();
      return;
    }
    int32_t code = 0;
    if (!ParseInt32(code_, code) || code < 0 || code > kMaxGroupCode) {
      // Blank lines (and a DOS end-of-file mark) after the last group end the file.
      // Only the mark tells a writer's end from a cut inside a code's padding.
      bool marked = false;
      while (IsClosingFiller(code_)) {
        marked = marked || code_.find('\x1A') != std::string::npos;
        ReadLine(code_);
        if (atEnd_) {
          value_.clear();
          endMarked_ = marked;
          return;
        }
      }
      throw EDXFDamaged{};
    }
    ReadLine(value_);
    if (atEnd_) {
      // A code without its value: the file was cut; both are empty at the end.
      code_.clear();
      return;
    }
    if (HasControlCharacters(value_)) throw EDXFDamaged{};
    codeNumber_ = code;
  }

  bool AtEnd() const { return atEnd_; }
  // The file ended in a DOS end-of-file mark (with blank lines or none) after a
  // whole pair: its writer ended it there, so the last entity is whole.
  bool EndMarked() const { return endMarked_; }
  // -1 at the end.
  int32_t Code() const { return codeNumber_; }
  const std::string& Value() const { return value_; }

 private:
  void ReadLine(std::string& line) {
    line.clear();
    if (atEnd_) return;
    switch (lines_.Next(line)) {
      case TLineRead::EndOfFile:
        atEnd_ = true;
        return;
      case TLineRead::TooLong:
        throw EDXFDamaged{};
      case TLineRead::Line:
        break;
    }
    TrimSpaceChars(line);
  }

  TTextLineReader lines_;
  bool atEnd_ = false;
  bool endMarked_ = false;
  std::string code_;
  std::string value_;
  int32_t codeNumber_ = -1;
};

// ---- The count of an import -----------------------------------------------------------

namespace {

// What the import takes for each object the reader starts (with its tree node and its
// place in the sort) and each element it adds, beside their first draw (DrawCosts.h);
// measured as the draw was, from before the reading to the tree nodes. And what the
// kind's objects and elements are to the first frame (FrameDrawBytes).
struct TDxfKindCost {
  int64_t objectBytes;
  int64_t elementBytes;
  TDrawCost draw;
  TFrameKind TFrameContent::*frame;
};
constexpr TDxfKindCost kFaceCost{1280, 192, SurfaceDrawCost, &TFrameContent::Faces};
constexpr TDxfKindCost kPointCost{1280, 64, PointsDrawCost, &TFrameContent::Points};
constexpr TDxfKindCost kLineCost{1280, 128, LinesDrawCost, &TFrameContent::Segments};
// The copies of its name an object keeps from the import on: the name, its sort key,
// the key of the import's one sort, the tree node's text (two bytes a character) and
// what the tree's first paint lays out of it (measured with names of 255 and 60,000
// characters).
constexpr int64_t kObjectNameCopies = 6;
// A layer of the table takes its entry in the list and in the index by name (counted
// as those hold them: TContainerCount), each with a copy of the name.
// An unknown entity name takes its entry in the index (as the index holds it) and the
// name's own copy where it is longer than a string holds in itself. The first ones
// besides: their entry in the list with its copy of the name, and their line in the
// message, as text, as the shown text (two bytes a character) and laid out in the
// message box; and the message's own sentences, laid out.
constexpr size_t kNameHeldInString = 15;
constexpr int64_t kListedNameBytes = 64;
constexpr int64_t kListedCharBytes = 64;
constexpr int64_t kUnknownMessageBytes = 64 << 10;

// The heap block of a string's copy of the name, where it is longer than the string
// holds in itself.
int64_t NameBlockBytes(const std::string& name) {
  return name.size() > kNameHeldInString ? HeapBlockBytes(static_cast<int64_t>(name.size()) + 1) : 0;
}

int64_t UnknownNameBytes(const std::string& name, bool listed) {
  const auto length = static_cast<int64_t>(name.size());
  int64_t bytes = NameBlockBytes(name);
  if (listed)
    bytes += kListedNameBytes + length + kListedCharBytes * (std::min<int64_t>(length, MaxListedNameLength) + 5);
  return bytes;
}

// The share of the room checked when a reading began that the names' fingerprints may
// take once the reading only counts: what is freed then may stay with the process.
constexpr int64_t kPrintsShareOfRoom = 4;

// A name's 64-bit fingerprint, layers and unknown entity kinds apart: how the count
// tells names met before once it keeps none. Seeded, as the array of prints is found
// by them.
uint64_t LayerPrint(const std::string& name) { return TSeededHash{}(name); }
uint64_t UnknownPrint(const std::string& name) { return TSeededHash{}(name) ^ UINT64_C(0x9E3779B97F4A7C15); }

}  // namespace

// The fingerprints of the names a reading that only counts has met, in one array,
// at most half full, looked up from the print's slot on (open addressing). The array
// doubles while the old one and the new one together stay within the bytes it was
// given; then it stops growing and tells no new name apart: a print it cannot find
// counts as new. So past that a repeated name may be counted again (the need told
// is then above the drawing's), never a new name left out; only two names of one
// print (one chance in 2^64 a pair) would leave one uncounted.
class TDXFNamePrints {
 public:
  explicit TDXFNamePrints(int64_t budgetBytes) : budget_(budgetBytes) {}

  // The array that holds the prints of `names` names at most half full.
  static int64_t ArrayBytes(size_t names) { return static_cast<int64_t>(SlotsFor(names) * sizeof(uint64_t)); }
  // Makes the empty array hold `names` prints without growing on the way: a switch to
  // counting makes it at once, not doubling beside itself. No larger than doubling
  // reaches within the budget, so past it names are told apart as a reading that
  // counted from the start tells them.
  void Reserve(size_t names) {
    if (!slots_.empty()) return;
    size_t slots = SlotsFor(names);
    while (slots > kFirstSlots && static_cast<int64_t>((slots + slots / 2) * sizeof(uint64_t)) > budget_) slots /= 2;
    if (static_cast<int64_t>(slots * sizeof(uint64_t)) > budget_) return;
    slots_.assign(slots, kEmpty);
    shift_ = 64 - std::countr_zero(slots);
  }

  // The prints Insert takes before the array must grow.
  size_t Room() const { return slots_.size() / 2 - held_; }

  // True when print was not met before, or may have been but can no longer be told.
  bool Insert(uint64_t print) {
    if (print == kEmpty) print = 1;
    if (!slots_.empty()) {
      for (size_t i = SlotOf(print);; i = (i + 1) & (slots_.size() - 1)) {
        if (slots_[i] == print) return false;
        if (slots_[i] == kEmpty) break;
      }
    }
    if (2 * (held_ + 1) > slots_.size() && !Grow()) return true;
    for (size_t i = SlotOf(print);; i = (i + 1) & (slots_.size() - 1)) {
      if (slots_[i] == kEmpty) {
        slots_[i] = print;
        ++held_;
        return true;
      }
    }
  }

 private:
  static constexpr uint64_t kEmpty = 0;
  static constexpr size_t kFirstSlots = 1024;

  static size_t SlotsFor(size_t names) {
    size_t slots = kFirstSlots;
    while (2 * names > slots) slots *= 2;
    return slots;
  }

  size_t SlotOf(uint64_t print) const {
    // Fibonacci hashing spreads prints whose low bits agree.
    return static_cast<size_t>((print * UINT64_C(0x9E3779B97F4A7C15)) >> shift_);
  }

  // False, the array unchanged, when the doubled array would pass the budget. What the
  // process let go of goes back to the system first: the names a switch to counting
  // frees as their prints come in (KeepNothing), small blocks the new array cannot be
  // made of, would otherwise stay with the process beside it.
  bool Grow() {
    const size_t slots = slots_.empty() ? kFirstSlots : 2 * slots_.size();
    if (static_cast<int64_t>((slots + slots_.size()) * sizeof(uint64_t)) > budget_) return false;
    ReturnFreedMemoryToSystem();
    std::vector<uint64_t> old(slots, kEmpty);
    old.swap(slots_);
    shift_ = 64 - std::countr_zero(slots);
    held_ = 0;
    for (const uint64_t print : old)
      if (print != kEmpty) Insert(print);
    return true;
  }

  int64_t budget_;
  std::vector<uint64_t> slots_;
  size_t held_ = 0;
  int shift_ = 64;
};

int64_t DxfImportBytes(const std::string& fileName) {
  const std::unique_ptr<TBinaryFile> file = TBinaryFile::Open(fileName, TBinaryFile::Mode::Read);
  if (!file) return 0;
  TDXF counter;
  counter.countOnly_ = true;
  counter.watch_ = TMemoryWatch(std::numeric_limits<int64_t>::max());
  // Only counting from the start, it keeps what a refused reading keeps, in the memory there is.
  counter.prints_ = std::make_unique<TDXFNamePrints>(AvailableMemory() / kPrintsShareOfRoom);
  counter.groups_ = std::make_unique<TDXFGroups>(*file);
  try {
    counter.ReadGroups();
  } catch (const EDXFDamaged&) {
    // The reader stops there too, and lets go of all it took.
  }
  return counter.peak_;
}

void TDXF::Take(int64_t bytes) {
  counted_ += bytes;
  Need(0);
}

// The switch to counting (KeepNothing) makes the names' fingerprints while the names
// still stand, and what the names free comes in small blocks the fingerprints' array
// cannot be made of: the switch needs room of its own beside what is held, so every
// need is checked with it, before the switch it may call for. The watch looks at the
// limits' figures as the count grows, so a count that falls short switches too.
void TDXF::Need(int64_t bytes) {
  // The switch's array is not made yet: a step of its own, not what the reading holds.
  const int64_t next = bytes + SwitchBytes();
  peak_ = std::max(peak_, counted_ + next);
  if (!countOnly_ && !watch_.Fits(counted_, next)) KeepNothing();
}

int64_t TDXF::SwitchBytes() const {
  // Not bounded by the budget the switch would have: the need told is one figure,
  // whatever the memory the reading met.
  const size_t names = layerIndexCount_.Size() + unknownNamesCount_.Size();
  return names == 0 ? 0 : TDXFNamePrints::ArrayBytes(names);
}

void TDXF::TakeEntry(TContainerCount& container, int64_t entryBytes) {
  if (countMemory_) Need(container.GrowthBytes());
  const int64_t held = container.Add();
  if (countMemory_) Take(held + entryBytes);
}

void TDXF::KeepNothing() {
  countOnly_ = true;
  current_.reset();
  Release(objects_);
  Release(layers_);
  Release(unknownEntities_);
  // The fingerprints grow within a share of the room checked, not with the drawing: a
  // million names refused at a few megabytes do not take the program past its memory.
  // The array is made once, beside all the names, as every need was checked with it
  // (SwitchBytes); each name is let go of as its fingerprint is taken.
  prints_ = std::make_unique<TDXFNamePrints>(std::max<int64_t>(watch_.Room(), 0) / kPrintsShareOfRoom);
  prints_->Reserve(layerIndex_.size() + unknownNames_.size());
  // Where the array cannot take them all, the names met first enter, layers before
  // unknown names, whatever order the seeded tables give them in: the count goes on
  // alike in every process.
  const size_t room = prints_->Room();
  const size_t layersIn = std::min(room, layerIndex_.size());
  while (!layerIndex_.empty()) {
    const auto layer = layerIndex_.extract(layerIndex_.begin());
    if (layer.mapped() < layersIn) prints_->Insert(LayerPrint(layer.key()));
  }
  while (!unknownNames_.empty()) {
    const auto unknown = unknownNames_.extract(unknownNames_.begin());
    if (unknown.mapped() < room - layersIn) prints_->Insert(UnknownPrint(unknown.key()));
  }
  Release(layerIndex_);
  Release(unknownNames_);
}

// ---- TDXF: groups -------------------------------------------------------------------

TDXF::TDXF() = default;
TDXF::~TDXF() = default;

TGraphMain* TDXF::Objects(int index) const {
  if (index < 0 || index >= ObjectCount()) return nullptr;
  return objects_[static_cast<size_t>(index)].get();
}

std::vector<std::unique_ptr<TGraphMain>> TDXF::TakeObjects() { return std::move(objects_); }

bool TDXF::AtEnd() const { return groups_->AtEnd(); }

void TDXF::ReadDXFPair() { groups_->Next(); }

bool TDXF::IsEntityStart() const { return !groups_->AtEnd() && groups_->Code() == 0; }

double TDXF::ValueAsFloat() const {
  double v = 0;
  return ParseDouble(groups_->Value(), v, true) ? v : kUnset;
}

void TDXF::ValueAsInteger(int32_t& target) const {
  int32_t v = 0;
  if (ParseInt32(groups_->Value(), v)) target = v;
}

std::string TDXF::UpperValue() const { return UpperAscii(groups_->Value()); }

std::string TDXF::ValueText() const { return DecodeText(groups_->Value()); }

// ---- TDXF: reading ------------------------------------------------------------------

void TDXF::Reset() {
  objects_.clear();
  current_.reset();
  unknownEntities_.clear();
  // Released, as their counts start from nothing. A reader used twice must not colour
  // the second drawing with the first's layers.
  Release(unknownNames_);
  Release(layers_);
  Release(layerIndex_);
  damaged_ = false;
  completed_ = false;
  countOnly_ = false;
  prints_.reset();
  unknownsCounted_ = 0;
  counted_ = 0;
  peak_ = 0;
  layersCount_.Clear();
  layerIndexCount_.Clear();
  unknownNamesCount_.Clear();
  countedFrame_ = {};
  countedKind_ = nullptr;
  countedLayer_.clear();
}

bool TDXF::ReadDXF(const std::string& fileName) {
  fileName_ = fileName;
  Reset();
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::path(fileName), ec)) return false;
  std::string error;
  file_ = TBinaryFile::Open(fileName, TBinaryFile::Mode::Read, &error);
  if (!file_) {
    ShowMessageDlg(FileReadFailureText(fileName, FileNameOnly(fileName), error), 1);
    return false;
  }
  // Counted as it is read, each part before it is taken, with the first draw of what it
  // adds: a drawing the memory cannot hold is refused whole instead of the program
  // being killed half-way, at no second reading of the file. Past the room the reading
  // goes on keeping nothing, so the refusal tells what the whole drawing needs.
  watch_ = TMemoryWatch(countMemory_ ? AvailableMemory() : std::numeric_limits<int64_t>::max());
  groups_ = std::make_unique<TDXFGroups>(*file_);
  std::string problem;
  try {
    ReadGroups();
    FinishObject();
    if (countOnly_) problem = ImportMemoryProblem(fileName, watch_.NeedOf(peak_), watch_.Room());
  } catch (const EDXFDamaged&) {
    problem = "File " + FileNameOnly(fileName) + " has invalid format";
    damaged_ = true;
  }
  groups_.reset();
  file_.reset();
  if (!problem.empty()) {
    // Nothing is kept of a damaged drawing (its objects could be any part of it); one
    // refused for its memory kept nothing from the moment its count passed.
    const bool damaged = damaged_;
    Reset();
    damaged_ = damaged;
    ShowMessageDlg(problem, 1);
    return false;
  }
  completed_ = true;
  return !objects_.empty();
}

void TDXF::ReadGroups() {
  ReadDXFPair();
  // Section names stand in groups of code 2, their ends in groups of code 0.
  while (!AtEnd() && !(groups_->Code() == 2 && (UpperValue() == "ENTITIES" || UpperValue() == "TABLES")))
    ReadDXFPair();
  if (!AtEnd() && UpperValue() == "TABLES") {
    while (!AtEnd()) {
      if (IsEntityStart()) {
        const std::string name = UpperValue();
        if (name == "ENDSEC" || name == "EOF") break;
        if (name == "LAYER") {
          ReadLayer();  // stops at the next record without consuming it
          continue;
        }
      }
      ReadDXFPair();
    }
  }
  while (!AtEnd() && !(groups_->Code() == 2 && UpperValue() == "ENTITIES")) ReadDXFPair();
  while (!AtEnd()) {
    if (!IsEntityStart()) {
      ReadDXFPair();
      continue;
    }
    const std::string name = UpperValue();
    if (name == "ENDSEC" || name == "EOF") break;
    if (name == "3DFACE") {
      Read3DFace();
    } else if (name == "POINT") {
      ReadPoint();
    } else if (name == "LINE") {
      ReadLineEntity();
    } else {
      AddUnknown(DecodeText(name));
      ReadDXFPair();
    }
  }
}

bool TDXF::Execute() {
  TFileRequest request;
  request.Filter = DXFFileFilter;
  request.DefaultExt = "dxf";
  request.InitialDir = ImportPath;
  const std::optional<std::string> chosen = Services().Files->OpenFile(request);
  if (!chosen) return false;
  // The folder is kept with its trailing separator.
  ImportPath = std::filesystem::path(*chosen).parent_path().string();
  if (ImportPath.empty() || ImportPath.back() != '/') ImportPath += '/';
  return ReadDXF(*chosen);
}

void TDXF::AddUnknown(const std::string& name) {
  if (countOnly_ ? !prints_->Insert(UnknownPrint(name)) : unknownNames_.contains(name)) return;
  // Only the first names are listed: the rest is told as a number.
  const bool listed = unknownsCounted_ < MaxListedNames;
  const bool first = ++unknownsCounted_ == 1;
  if (countMemory_) Take((first ? kUnknownMessageBytes : 0) + UnknownNameBytes(name, listed));
  // Past the room its print stands for it (taking a print met before changes nothing).
  TakeEntry(unknownNamesCount_, 0);
  if (countOnly_) {
    prints_->Insert(UnknownPrint(name));
    return;
  }
  GrowAsCounted(unknownNames_, unknownNamesCount_);
  unknownNames_.emplace(name, static_cast<size_t>(unknownsCounted_ - 1));
  if (listed) unknownEntities_.push_back(name);
}

template <class OnGroup>
bool TDXF::ReadEntityGroups(OnGroup onGroup) {
  ReadDXFPair();
  while (!AtEnd() && !IsEntityStart()) {
    onGroup(groups_->Code());
    ReadDXFPair();
  }
  return !AtEnd() || groups_->EndMarked();
}

void TDXF::ReadLayer() {
  std::string name;
  int32_t colorNumber = -1;
  // A record cut by the end of the file is followed by no entity to colour.
  (void)ReadEntityGroups([&](int32_t code) {
    if (code == 2) name = ValueText();
    if (code == 62) ValueAsInteger(colorNumber);
  });
  // A negative colour marks a layer switched off: its entities keep their objects' colour.
  if (!name.empty() && colorNumber >= 0) AddLayer(name, AciToColor(static_cast<uint8_t>(colorNumber % 256)));
}

void TDXF::AddLayer(const std::string& name, TColor color) {
  // The first definition wins.
  if (countOnly_ ? !prints_->Insert(LayerPrint(name)) : layerIndex_.contains(name)) return;
  // Past the room its print stands for it (taking a print met before changes nothing).
  // A name the string holds in itself stays counted at its length.
  const int64_t nameBytes = std::max(NameBlockBytes(name), static_cast<int64_t>(name.size()));
  TakeEntry(layerIndexCount_, nameBytes);
  if (!countOnly_) {
    GrowAsCounted(layerIndex_, layerIndexCount_);
    layerIndex_.emplace(name, layers_.size());
  }
  TakeEntry(layersCount_, nameBytes);
  if (countOnly_) {
    prints_->Insert(LayerPrint(name));
    return;
  }
  GrowAsCounted(layers_, layersCount_);
  layers_.push_back({name, color});
}

const TDXFLayer* TDXF::FindLayer(const std::string& name) const {
  const auto found = layerIndex_.find(name);
  return found == layerIndex_.end() ? nullptr : &layers_[found->second];
}

template <class T>
T* TDXF::ElementOf(const std::string& layer) {
  if (countMemory_) {
    const TDxfKindCost& cost = std::is_same_v<T, TGraphSurface> ? kFaceCost
                               : std::is_same_v<T, TGraphPoints> ? kPointCost
                                                                  : kLineCost;
    // A new object at a change of kind or layer.
    const bool newObject = &cost != countedKind_ || layer != countedLayer_;
    const int64_t frameBefore = FrameDrawBytes(countedFrame_);
    TFrameKind& frame = countedFrame_.*cost.frame;
    ++frame.Elements;
    if (newObject) ++frame.Objects;
    Take(cost.elementBytes + cost.draw.ElementBytes + FrameDrawBytes(countedFrame_) - frameBefore +
         (newObject ? cost.objectBytes + cost.draw.ObjectBytes + kObjectNameCopies * static_cast<int64_t>(layer.size())
                    : 0));
    if (newObject) {
      countedKind_ = &cost;
      countedLayer_ = layer;
    }
  }
  if (countOnly_) return nullptr;
  if (current_ && (!dynamic_cast<T*>(current_.get()) || current_->Name() != layer)) FinishObject();
  if (!current_) {
    auto made = std::make_unique<T>();
    made->SetName(layer);
    made->BeginAdd();
    current_ = std::move(made);
  }
  return static_cast<T*>(current_.get());
}

template <class T, class SetColor>
void TDXF::ColorElement(T& object, int32_t colorNumber, const std::string& layer, SetColor setColor) {
  if (colorNumber < 0) {
    object.SetVisible(false);
  } else if (colorNumber >= 1 && colorNumber <= 255) {
    setColor(AciToColor(static_cast<uint8_t>(colorNumber)));
  } else if (const TDXFLayer* found = FindLayer(layer)) {
    // 0 (by block), 256 (by layer) and anything above take the layer's colour.
    setColor(found->Color);
  }
}

void TDXF::Read3DFace() {
  std::string layer;
  int32_t colorNumber = 256;
  int32_t flags = 0;
  // A face given with three corners has its fourth at the third.
  std::array<TSurveyPoint, 4> v;
  v.fill(kPointBeforeGroups);
  bool fourthGiven = false;
  const bool whole = ReadEntityGroups([&](int32_t c) {
    if (c == 13 || c == 23 || c == 33) fourthGiven = true;
    if (c == 8) {
      layer = ValueText();
    } else if (c == 62) {
      ValueAsInteger(colorNumber);
    } else if (c == 70) {
      ValueAsInteger(flags);
    } else if (c >= 10 && c <= 13) {
      v[static_cast<size_t>(c - 10)].Y = ValueAsFloat();  // DXF X: East
    } else if (c >= 20 && c <= 23) {
      v[static_cast<size_t>(c - 20)].X = ValueAsFloat();  // DXF Y: North
    } else if (c >= 30 && c <= 33) {
      v[static_cast<size_t>(c - 30)].Z = ValueAsFloat();
    }
  });
  if (!whole) return;
  if (!fourthGiven) v[3] = v[2];
  for (const TSurveyPoint& p : v)
    if (!IsSet(p)) return;  // a corner cut short, or a value that is no number

  TSurfaceFace face;
  // Edge flags of exactly one bit drop that vertex: files this program reads mark
  // triangles so.
  int dropped = -1;
  switch (flags) {
    case 1: dropped = 0; break;
    case 2: dropped = 1; break;
    case 4: dropped = 2; break;
    case 8: dropped = 3; break;
    default:
      if (v[3] == v[0] || v[3] == v[1] || v[3] == v[2]) dropped = 3;
  }
  for (int i = 0; i < 4; ++i)
    if (i != dropped) face.push_back(v[static_cast<size_t>(i)]);

  TGraphSurface* surface = ElementOf<TGraphSurface>(layer);
  if (!surface) return;
  surface->AddFace(face);
  ColorElement(*surface, colorNumber, layer, [&](TColor c) { surface->SetLastFaceColor(c); });
}

void TDXF::ReadPoint() {
  std::string layer;
  int32_t colorNumber = 256;
  TSurveyPoint p = kPointBeforeGroups;
  const bool whole = ReadEntityGroups([&](int32_t code) {
    switch (code) {
      case 8: layer = ValueText(); break;
      case 62: ValueAsInteger(colorNumber); break;
      case 10: p.Y = ValueAsFloat(); break;
      case 20: p.X = ValueAsFloat(); break;
      case 30: p.Z = ValueAsFloat(); break;
      default: break;
    }
  });
  if (!whole || !IsSet(p)) return;
  TGraphPoints* points = ElementOf<TGraphPoints>(layer);
  if (!points) return;
  points->AddPoint(p);
  ColorElement(*points, colorNumber, layer, [&](TColor c) { points->SetLastPointColor(c); });
}

void TDXF::ReadLineEntity() {
  std::string layer;
  int32_t colorNumber = 256;
  TSurveyPoint start = kPointBeforeGroups;
  TSurveyPoint end = kPointBeforeGroups;
  const bool whole = ReadEntityGroups([&](int32_t code) {
    switch (code) {
      case 8: layer = ValueText(); break;
      case 62: ValueAsInteger(colorNumber); break;
      case 10: start.Y = ValueAsFloat(); break;
      case 20: start.X = ValueAsFloat(); break;
      case 30: start.Z = ValueAsFloat(); break;
      case 11: end.Y = ValueAsFloat(); break;
      case 21: end.X = ValueAsFloat(); break;
      case 31: end.Z = ValueAsFloat(); break;
      default: break;
    }
  });
  if (!whole || !IsSet(start) || !IsSet(end)) return;
  TGraphLines* lines = ElementOf<TGraphLines>(layer);
  if (!lines) return;
  lines->AddSegment(start, end);
  ColorElement(*lines, colorNumber, layer, [&](TColor c) { lines->SetLastSegmentColor(c); });
}

void TDXF::FinishObject() {
  std::unique_ptr<TGraphMain> done = std::move(current_);
  if (!done || done->IsEmpty()) return;
  if (auto* surface = dynamic_cast<TGraphSurface*>(done.get())) surface->EndAdd();
  if (auto* points = dynamic_cast<TGraphPoints*>(done.get())) points->EndAdd();
  if (auto* lines = dynamic_cast<TGraphLines*>(done.get())) lines->EndAdd();
  objects_.push_back(std::move(done));
}

std::string NothingReadMessage(const std::string& fileName) {
  return "File " + fileName + " holds no 3DFACE, POINT or LINE entity that could be read: nothing was imported.";
}

std::string ListedNames(const std::vector<std::string>& names, int64_t count, const std::string& lineEnd) {
  std::string text;
  const size_t listed = std::min(names.size(), static_cast<size_t>(MaxListedNames));
  for (size_t i = 0; i < listed; ++i) {
    const std::string& name = names[i];
    // Cut at a character's start (UTF-8: a byte that does not continue one).
    size_t end = 0;
    for (int characters = 0; end < name.size(); ++end) {
      if ((static_cast<unsigned char>(name[end]) & 0xC0) != 0x80 && characters++ == MaxListedNameLength) break;
    }
    text += name.substr(0, end) + (end < name.size() ? "..." : "") + lineEnd;
  }
  if (const int64_t more = count - static_cast<int64_t>(listed); more > 0)
    text += "and " + std::to_string(more) + " more" + lineEnd;
  return text;
}

std::string UnknownEntitiesMessage(const std::string& fileName, const std::vector<std::string>& names,
                                   int64_t count) {
  const std::string crlf = "\r\n";
  std::string text = "File " + fileName + " contains following unknown objects:" + crlf + crlf;
  text += ListedNames(names, count, crlf);
  text += crlf;
  text += "It would be appreciated if you send this file as example to us" + crlf;
  text += "to support unknown objects in future versions." + crlf;
  text += "You can find our coordinates on 'About' window." + crlf + crlf;
  text += "Thank you in advance for your cooperation!" + crlf + crlf;
  text += "Zorblat production.";
  return text;
}

// ---- Colour index -------------------------------------------------------------------

TColor AciToColor(uint8_t index) {
  static constexpr std::array<std::array<uint8_t, 3>, 10> kFirst{{{0, 0, 0},
                                                                  {255, 0, 0},
                                                                  {255, 255, 0},
                                                                  {0, 255, 0},
                                                                  {0, 255, 255},
                                                                  {0, 0, 255},
                                                                  {255, 0, 255},
                                                                  {255, 255, 255},
                                                                  {128, 128, 128},
                                                                  {192, 192, 192}}};
  // Index 254 has green 213: kept as the colours of stored drawings were made with it.
  static constexpr std::array<std::array<uint8_t, 3>, 6> kGreys{
      {{51, 51, 51}, {91, 91, 91}, {132, 132, 132}, {173, 173, 173}, {214, 213, 214}, {255, 255, 255}}};
  static constexpr std::array<std::array<uint8_t, 3>, 24> kHues{{{255, 0, 0},   {255, 63, 0},  {255, 127, 0},
                                                                 {255, 191, 0}, {255, 255, 0}, {191, 255, 0},
                                                                 {127, 255, 0}, {63, 255, 0},  {0, 255, 0},
                                                                 {0, 255, 63},  {0, 255, 127}, {0, 255, 191},
                                                                 {0, 255, 255}, {0, 191, 255}, {0, 127, 255},
                                                                 {0, 63, 255},  {0, 0, 255},   {63, 0, 255},
                                                                 {127, 0, 255}, {191, 0, 255}, {255, 0, 255},
                                                                 {255, 0, 191}, {255, 0, 127}, {255, 0, 63}}};
  static constexpr std::array<double, 5> kShade{1.0, 0.8, 0.6, 0.5, 0.3};
  if (index <= 9) {
    const auto& c = kFirst[index];
    return MakeColor(c[0], c[1], c[2]);
  }
  if (index >= 250) {
    const auto& c = kGreys[static_cast<size_t>(index - 250)];
    return MakeColor(c[0], c[1], c[2]);
  }
  const auto& base = kHues[static_cast<size_t>(index / 10 - 1)];
  const double shade = kShade[static_cast<size_t>((index % 10) / 2)];
  std::array<uint8_t, 3> rgb{};
  for (size_t i = 0; i < 3; ++i) {
    int c = base[i];
    if (index % 2 == 1) c = (c + 255) / 2;  // odd indices are paler
    rgb[i] = static_cast<uint8_t>(RoundToInt(c * shade));
  }
  return MakeColor(rgb[0], rgb[1], rgb[2]);
}

uint8_t ColorToAci(TColor color) {
  static const std::array<TColor, 256> table = [] {
    std::array<TColor, 256> t{};
    for (int i = 0; i < 256; ++i) t[static_cast<size_t>(i)] = AciToColor(static_cast<uint8_t>(i));
    return t;
  }();
  const int r = ColorRed(color), g = ColorGreen(color), b = ColorBlue(color);
  int best = 0;
  int bestDistance = std::numeric_limits<int>::max();
  for (int i = 0; i < 256; ++i) {
    const TColor c = table[static_cast<size_t>(i)];
    const int dr = ColorRed(c) - r, dg = ColorGreen(c) - g, db = ColorBlue(c) - b;
    // The squared distance orders as the distance does.
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
    }
  }
  return static_cast<uint8_t>(best);
}

// ---- Writer -------------------------------------------------------------------------

bool WriteDXFGroup(TBinaryStream& file, int32_t code, const std::string& value) {
  // A line end inside the value would shift every later group by one line.
  if (value.find_first_of("\r\n") != std::string::npos) return false;
  // A layer is what a user knows the drawing's texts by.
  constexpr int32_t kLayerCode = 8;
  std::optional<TCp1252Subject> layer;
  if (code == kLayerCode) layer.emplace(value, "layer");
  const std::string text = "  " + FormatInteger(code) + "\r\n" + Utf8ToCp1252(value) + "\r\n";
  return file.Write(text.data(), static_cast<int32_t>(text.size()));
}

bool WriteDXFReal(TBinaryStream& file, int32_t code, double value) {
  if (!std::isfinite(value)) return false;
  return WriteDXFGroup(file, code, FormatShortest(value));
}

bool WriteDXFHeader(TBinaryStream& file) {
  for (const char* section : {"HEADER", "TABLES", "BLOCKS"}) {
    if (!WriteDXFGroup(file, 0, "SECTION") || !WriteDXFGroup(file, 2, section) ||
        !WriteDXFGroup(file, 0, "ENDSEC"))
      return false;
  }
  return WriteDXFGroup(file, 0, "SECTION") && WriteDXFGroup(file, 2, "ENTITIES");
}

bool WriteDXFFooter(TBinaryStream& file) { return WriteDXFGroup(file, 0, "ENDSEC") && WriteDXFGroup(file, 0, "EOF"); }

bool WriteDXFFile(const std::string& path, const std::function<bool(TBinaryStream&)>& writeEntities,
                  std::string* error) {
  const auto write = [&writeEntities](TBinaryStream& file) {
    return WriteDXFHeader(file) && (!writeEntities || writeEntities(file)) && WriteDXFFooter(file);
  };
  if (!WriteKeepsTextOrUserAgrees(path, write)) {
    if (error) error->clear();
    return false;
  }
  std::unique_ptr<TSaveFile> save = TSaveFile::Create(path, error);
  if (!save) return false;
  if (!write(save->Stream())) {
    if (error) *error = save->FailureReason("Stream write error");
    return false;  // the temporary file goes with save; the old file stays
  }
  return save->Commit(error);
}

// ---- Import command -----------------------------------------------------------------

TGraphMain* ObjectsFromDxfClick(TGraphMain& target) {
  TDXF dxf;
  TGraphMain* added = nullptr;
  if (dxf.Execute()) {
    auto group = std::make_unique<TGraphMain>();
    group->SetName(FileNameWithoutExt(dxf.FileName()));
    // One sort for all: the objects come in drawing order, a run of kind and layer each.
    group->AddChildrenSorted(dxf.TakeObjects());
    added = target.AddImportedGroup(std::move(group));
  } else if (dxf.Completed()) {
    // Read through, yet nothing to show: silence would look like a lost import.
    ShowMessageDlg(NothingReadMessage(FileNameOnly(dxf.FileName())), 2);
  }
  if (dxf.UnknownCount() > 0)
    ShowMessageDlg(UnknownEntitiesMessage(FileNameOnly(dxf.FileName()), dxf.UnknownEntities(), dxf.UnknownCount()), 2);
  return added;
}

void RegisterDxfCommand() {
  RegisterCreateCommand(TCreateCommand::ObjectsFromDxf, [](TGraphMain& target) { ObjectsFromDxfClick(target); });
}

}  // namespace qira

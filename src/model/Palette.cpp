#include "model/Palette.h"

// Sections:
//   1. colours and stops
//   2. intensity, range and mapping
//   2a. colours laid out over the values
//   3. palette chunk
//   4. value table of a section file
//   5. palette files *.clr

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <filesystem>
#include <limits>
#include <utility>

#include "model/GraphRecord.h"
#include "model/Settings.h"
#include "model/StreamHelpers.h"
#include "platform/AvailableMemory.h"
#include "platform/NumberText.h"
#include "platform/Rounding.h"
#include "platform/TextLines.h"

namespace qira {

namespace {

uint8_t ClampByte(int64_t v) { return static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255)); }

TPaletteEditor& PaletteEditor() {
  static TPaletteEditor editor;
  return editor;
}

// The stretch between two neighbouring colours of the scale that a percent falls in.
struct TSegment {
  double A, B;     // positions of its ends, A < B
  TColor C0, C1;   // colours at A and B

  // One channel (0 red, 1 green, 2 blue) at percent p. Monotone in p: it rises
  // (or falls) from C0's channel toward C1's, as every rounding on the way keeps
  // order; the colours laid out over the values rely on it.
  uint8_t Channel(double p, int channel) const {
    const int shift = 8 * channel;
    const uint8_t lo = static_cast<uint8_t>(C0 >> shift), hi = static_cast<uint8_t>(C1 >> shift);
    return ClampByte(RoundToInt((p - A) * (static_cast<double>(hi) - lo) / (B - A) + lo));
  }
};

// For 0 < p <= 100 (PercentSteps asks for 100 too): the stretch StretchEnd gives.
// pos(i-1) < p <= pos(i) whatever the order of the stops, so B - A > 0.
TSegment SegmentAt(const TZBPalette& palette, double p) {
  const int i = palette.StretchEnd(p);
  return {static_cast<double>(palette.GetPosition(i - 1)), static_cast<double>(palette.GetPosition(i)),
          palette.GetColor(i - 1), palette.GetColor(i)};
}

thread_local int64_t tStretchSteps = 0;

}  // namespace

double RGBDistance(TColor a, TColor b) {
  const double dr = static_cast<double>(ColorRed(a)) - ColorRed(b);
  const double dg = static_cast<double>(ColorGreen(a)) - ColorGreen(b);
  const double db = static_cast<double>(ColorBlue(a)) - ColorBlue(b);
  return std::sqrt(dr * dr + dg * dg + db * db);
}

// ---- 1. colours and stops ------------------------------------------------------

void TZBPalette::Assign(const TZBPalette& source) {
  if (&source == this) return;
  *this = source;
}

bool TZBPalette::SameAs(const TZBPalette& other) const {
  if (startColor_ != other.startColor_ || endColor_ != other.endColor_ ||
      intensity_ != other.intensity_ || autoRange_ != other.autoRange_)
    return false;
  if (!autoRange_ && (max_ != other.max_ || min_ != other.min_)) return false;
  return logarithmic_ == other.logarithmic_ && stopColors_ == other.stopColors_ &&
         stopPositions_ == other.stopPositions_;
}

TColor TZBPalette::GetColor(int i) const {
  if (i < 1) return startColor_;
  if (i >= Count() - 1) return endColor_;
  return stopColors_[static_cast<size_t>(i - 1)];
}

void TZBPalette::SetColor(int i, TColor colour) {
  if (i < 1)
    startColor_ = colour;
  else if (i >= Count() - 1)
    endColor_ = colour;
  else
    stopColors_[static_cast<size_t>(i - 1)] = colour;
}

uint8_t TZBPalette::GetPosition(int i) const {
  if (i < 1) return 0;
  if (i >= Count() - 1) return 100;
  return stopPositions_[static_cast<size_t>(i - 1)];
}

void TZBPalette::SetPosition(int i, int p) {
  if (i < 1 || i > Count() - 2 || p == GetPosition(i)) return;
  if (p <= 0) {
    startColor_ = GetColor(i);
    DeleteStop(i);
  } else if (p >= 100) {
    endColor_ = GetColor(i);
    DeleteStop(i);
  } else {
    stopPositions_[static_cast<size_t>(i - 1)] = static_cast<uint8_t>(p);
    StopsChanged();
  }
  SortStops();
}

void TZBPalette::AddStop(int p, TColor colour) {
  if (p < 1 || p > 99) return;
  stopColors_.push_back(colour);
  stopPositions_.push_back(static_cast<uint8_t>(p));
  StopsChanged();
  SortStops();
}

void TZBPalette::DeleteStop(int i) {
  if (i < 1 || i > Count() - 2) return;
  stopColors_.erase(stopColors_.begin() + (i - 1));
  stopPositions_.erase(stopPositions_.begin() + (i - 1));
  StopsChanged();
}

void TZBPalette::SortStops() {
  // A stable sort: equal positions keep their order (the editor relies on it when
  // two markers meet). A palette file may hold any number of stops.
  const size_t n = stopPositions_.size();
  if (std::is_sorted(stopPositions_.begin(), stopPositions_.end())) return;
  std::vector<size_t> order(n);
  for (size_t k = 0; k < n; ++k) order[k] = k;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return stopPositions_[a] < stopPositions_[b]; });
  std::vector<uint8_t> positions(n);
  std::vector<TColor> colors(n);
  for (size_t k = 0; k < n; ++k) {
    positions[k] = stopPositions_[order[k]];
    colors[k] = stopColors_[order[k]];
  }
  stopPositions_ = std::move(positions);
  stopColors_ = std::move(colors);
  StopsChanged();
}

int TZBPalette::StretchEnd(double p) const {
  const int k = std::clamp(SaturateCast<int>(std::ceil(p)) - 1, 0, 99);  // p in (k, k+1]
  const auto n = static_cast<int32_t>(stopPositions_.size());
  // The first stop above k ends the stretch of (k, k+1].
  if (stopPositions_.size() <= kStopsWalked) {
    int32_t j = 0;
    while (j < n && stopPositions_[static_cast<size_t>(j)] <= k) ++j;
    return j + 1;
  }
  if (!stretches_.ends) {
    // One pass in the stops' own order: the percents below the highest position met
    // so far are settled.
    auto ends = std::make_unique<std::array<int32_t, 100>>();
    int settled = 0;
    for (int32_t j = 0; j < n && settled < 100; ++j) {
      ++tStretchSteps;
      for (const int q = std::min<int>(stopPositions_[static_cast<size_t>(j)], 100); settled < q; ++settled)
        (*ends)[static_cast<size_t>(settled)] = j + 1;
    }
    for (; settled < 100; ++settled) (*ends)[static_cast<size_t>(settled)] = n + 1;
    stretches_.ends = std::move(ends);
  }
  return (*stretches_.ends)[static_cast<size_t>(k)];
}

int64_t PaletteStretchStepsForTesting() { return tStretchSteps; }

// ---- 2. intensity, range and mapping -------------------------------------------

void TZBPalette::SetIntensity(int p) {
  if (p < 0 || p > 100) return;
  intensity_ = static_cast<uint8_t>(p);
}

void TZBPalette::SetRange(double aMin, double aMax) {
  if (!(aMin < aMax)) return;
  if (logarithmic_ && !(aMin > 0 && aMax > 0)) return;
  min_ = aMin;
  max_ = aMax;
}

void TZBPalette::SetLogarithmic(bool on) {
  if (on && !(min_ > 0 && max_ > 0)) return;
  logarithmic_ = on;
}

TColor TZBPalette::AdjustColor(TColor colour) const {
  const double keep = 1.0 - intensity_ / 100.0;
  auto channel = [keep](uint8_t c) { return ClampByte(c + RoundToInt((255 - c) * keep)); };
  return MakeColor(channel(ColorRed(colour)), channel(ColorGreen(colour)), channel(ColorBlue(colour)));
}

TColor TZBPalette::ColorAtPercent(double p) const {
  if (!(p > 0)) return startColor_;
  if (p >= 100) return endColor_;
  const TSegment s = SegmentAt(*this, p);
  return MakeColor(s.Channel(p, 0), s.Channel(p, 1), s.Channel(p, 2));
}

TZBPalette::TValueScale TZBPalette::ValueScale() const {
  TValueScale scale{min_, max_, 0, 0, logarithmic_};
  if (logarithmic_) {
    scale.LogMin = std::log(min_);
    scale.LogSpan = std::log(max_) - scale.LogMin;
  }
  return scale;
}

TColor TZBPalette::ColorOfValue(double v, const TValueScale& scale) const {
  if (!(v > scale.Min)) v = scale.Min;
  if (!(v < scale.Max)) v = scale.Max;
  double p;
  if (scale.Logarithmic)
    p = (std::log(v) - scale.LogMin) / scale.LogSpan * 100.0;
  else
    p = (v - scale.Min) / (scale.Max - scale.Min) * 100.0;
  // Min = Max (or a range the logarithm cannot take) gives NaN: the start colour.
  return ColorAtPercent(p);
}

// ---- 2a. colours laid out over the values -------------------------------------

namespace {

// No colour: a colour's top byte is always 0.
constexpr TColor kAskPerValue = 0xFFFFFFFFu;

// Positive doubles numbered in order: neighbours differ by one.
int64_t DoubleOrder(double x) { return std::bit_cast<int64_t>(x); }
double DoubleAt(int64_t k) { return std::bit_cast<double>(k); }

// The first p of [lo, hi] (0 < lo <= hi) at which `reached` holds, given that it
// holds at hi and, once it holds, at every larger p. Gallops from the guess, then
// halves: a handful of tests when the guess is near.
template <class TReached>
double FirstReached(const TReached& reached, double lo, double hi, double guess) {
  int64_t no = DoubleOrder(lo) - 1, yes = DoubleOrder(hi);  // fails at no (or no is outside), holds at yes
  const int64_t start = std::clamp(DoubleOrder(guess), no + 1, yes);
  if (reached(DoubleAt(start))) {
    yes = start;
    for (int64_t step = 1; yes - step > no; step *= 2) {
      if (!reached(DoubleAt(yes - step))) {
        no = yes - step;
        break;
      }
      yes -= step;
    }
  } else {
    no = start;
    for (int64_t step = 1; no + step < yes; step *= 2) {
      if (reached(DoubleAt(no + step))) {
        yes = no + step;
        break;
      }
      no += step;
    }
  }
  while (yes - no > 1) {
    const int64_t mid = no + (yes - no) / 2;
    (reached(DoubleAt(mid)) ? yes : no) = mid;
  }
  return DoubleAt(yes);
}

bool operator==(const TSegment& a, const TSegment& b) {
  return a.A == b.A && a.B == b.B && a.C0 == b.C0 && a.C1 == b.C1;
}

// The percents 0 < p <= 100 at which ColorAtPercent changes, ascending: the first
// percent of each stretch of one segment, each percent at which a channel takes its
// next value, and 100 (the end colour's own).
std::vector<double> PercentSteps(const TZBPalette& palette) {
  std::vector<double> steps;
  for (int s = 0; s < 100;) {
    const TSegment segment = SegmentAt(palette, s + 1);
    int e = s + 1;
    while (e < 100 && SegmentAt(palette, e + 1) == segment) ++e;
    // The percents of (s, e]; the last stretch stops short of 100.
    const double first = std::nextafter(static_cast<double>(s), 100.0);
    const double last = e < 100 ? static_cast<double>(e) : std::nextafter(100.0, 0.0);
    steps.push_back(first);
    for (int channel = 0; channel < 3; ++channel) {
      auto at = [&](double p) { return static_cast<int>(segment.Channel(p, channel)); };
      const int from = at(first), to = at(last);
      if (from == to) continue;
      const int up = to > from ? 1 : -1;
      const double lo = static_cast<uint8_t>(segment.C0 >> (8 * channel));
      const double hi = static_cast<uint8_t>(segment.C1 >> (8 * channel));
      for (int m = from + up; m != to + up; m += up) {
        // Rounding reaches m half a unit before it.
        const double guess = segment.A + (m - 0.5 * up - lo) * (segment.B - segment.A) / (hi - lo);
        auto reached = [&](double p) { return up > 0 ? at(p) >= m : at(p) <= m; };
        steps.push_back(FirstReached(reached, first, last, guess));
      }
    }
    s = e;
  }
  steps.push_back(100.0);
  std::sort(steps.begin(), steps.end());
  steps.erase(std::unique(steps.begin(), steps.end()), steps.end());
  return steps;
}

}  // namespace

TValueColors::TValueColors(const TZBPalette& palette) : palette_(palette), scale_(palette.ValueScale()) {
  for (int c = 0; c < 256; ++c)
    intensity_[static_cast<size_t>(c)] = ColorRed(palette.AdjustColor(MakeColor(static_cast<uint8_t>(c), 0, 0)));
  if (scale_.Logarithmic) LayOutSteps();
}

void TValueColors::LayOutSteps() {
  const TZBPalette::TValueScale& s = scale_;
  // Within these bounds every step's value is a normal, finite double; other ranges
  // (and those the logarithm cannot take) are coloured per value.
  if (!(s.Min >= 1e-300 && s.Max <= 1e300 && s.Min < s.Max && s.LogSpan > 0 && std::isfinite(s.LogSpan))) return;
  // How near a step a value's logarithm may lie and still be coloured either way by
  // ColorOfValue: its logarithm, subtraction, division and product round (the
  // logarithm within a few units in the last place), and the step's value is the
  // exponential of a rounded sum. Together well under 2^-48 of the largest
  // logarithm and span involved; 2^-40 leaves ample room.
  const double largest = std::max(std::fabs(s.LogMin), std::fabs(s.LogMin + s.LogSpan));
  const double hair = std::ldexp(largest + s.LogSpan + 1, -40);
  colours_.push_back(palette_.StartColor());
  for (double p : PercentSteps(palette_)) {
    const double at = std::exp(s.LogMin + p * s.LogSpan / 100.0);
    const double below = at * (1 - hair), above = at * (1 + hair);
    const TColor colour = palette_.ColorAtPercent(p);
    if (!edges_.empty() && below <= edges_.back()) {
      edges_.back() = std::max(edges_.back(), above);
      colours_.back() = colour;
    } else {
      edges_.push_back(below);
      colours_.push_back(kAskPerValue);
      edges_.push_back(above);
      colours_.push_back(colour);
    }
  }
}

TColor TValueColors::ColorOf(double v) const {
  if (edges_.empty()) return palette_.ColorOfValue(v, scale_);
  // ColorOfValue clamps: Min (and NaN) give percent 0 exactly, Max 100 exactly.
  if (!(v > scale_.Min)) return palette_.StartColor();
  if (!(v < scale_.Max)) return palette_.EndColor();
  const auto k = static_cast<size_t>(std::upper_bound(edges_.begin(), edges_.end(), v) - edges_.begin());
  const TColor c = colours_[k];
  return c != kAskPerValue ? c : palette_.ColorOfValue(v, scale_);
}

uint8_t TZBPalette::PercentOfColor(TColor colour) const {
  uint8_t best = 0;
  double bestDistance = std::numeric_limits<double>::infinity();
  for (int p = 0; p <= 100; ++p) {
    const double d = RGBDistance(colour, ColorAtPercent(p));
    if (d < bestDistance) {
      bestDistance = d;
      best = static_cast<uint8_t>(p);
    }
  }
  return best;
}

double TZBPalette::ValueOfColor(TColor colour) const {
  const double p = PercentOfColor(colour);
  if (logarithmic_) return std::exp(std::log(min_) + (std::log(max_) - std::log(min_)) * p / 100.0);
  return min_ + (max_ - min_) * p / 100.0;
}

void TZBPalette::InvertColors() {
  auto invert = [](TColor c) {
    return MakeColor(static_cast<uint8_t>(255 - ColorRed(c)), static_cast<uint8_t>(255 - ColorGreen(c)),
                     static_cast<uint8_t>(255 - ColorBlue(c)));
  };
  startColor_ = invert(startColor_);
  endColor_ = invert(endColor_);
  for (TColor& c : stopColors_) c = invert(c);
}

void TZBPalette::Reverse() {
  std::swap(startColor_, endColor_);
  // Positions above 100 (only from a damaged chunk) must not wrap around.
  for (uint8_t& p : stopPositions_) p = static_cast<uint8_t>(100 - std::min<int>(p, 100));
  StopsChanged();
  SortStops();
}

// ---- 3. palette chunk ----------------------------------------------------------

bool TZBPalette::SaveToStream(TBinaryStream& stream) const {
  TFileVersion chunk(stream, 0);
  bool ok = chunk.WriteHeader();
  ok = ok && stream.WriteUInt32(startColor_) && stream.WriteUInt32(endColor_);
  const int32_t n = static_cast<int32_t>(stopColors_.size());
  ok = ok && stream.WriteInt32(n);
  for (TColor c : stopColors_) ok = ok && stream.WriteUInt32(c);
  if (n > 0) ok = ok && stream.Write(stopPositions_.data(), n);
  ok = ok && stream.WriteUInt8(intensity_) && stream.WriteDouble(min_) && stream.WriteDouble(max_) &&
       stream.WriteBool(autoRange_) && stream.WriteBool(logarithmic_);
  return ok && chunk.WriteEndOffset();
}

bool TZBPalette::LoadFromStream(TBinaryStream& stream) {
  TFileVersion chunk(stream, 0);
  int32_t found = 0;
  if (!chunk.ReadHeader(found, true)) {
    if (chunk.Damaged()) throw EStreamError();
    return false;
  }
  const TReadBound fields(stream, chunk.EndOffset);
  TZBPalette read;
  int32_t n = 0;
  bool ok = stream.ReadUInt32(read.startColor_) && stream.ReadUInt32(read.endColor_) && stream.ReadInt32(n);
  // Each stop takes 5 bytes; the count must fit the chunk (the read bound) before
  // anything is allocated.
  if (!ok || n < 0 || static_cast<int64_t>(n) * 5 > stream.Remaining()) throw EStreamError();
  if (WeighArray(n, sizeof(TColor)) && WeighArray(n, 1)) {
    read.stopColors_.resize(static_cast<size_t>(n));
    read.stopPositions_.resize(static_cast<size_t>(n));
  } else {
    ok = stream.Seek(stream.Position() + 5 * n);  // passed over by an open's count
  }
  for (TColor& c : read.stopColors_) ok = ok && stream.ReadUInt32(c);
  if (!read.stopPositions_.empty()) ok = ok && stream.Read(read.stopPositions_.data(), n);
  ok = ok && stream.ReadUInt8(read.intensity_) && stream.ReadDouble(read.min_) &&
       stream.ReadDouble(read.max_) && stream.ReadBool(read.autoRange_) && stream.ReadBool(read.logarithmic_);
  if (!ok || !chunk.SkipToEnd()) throw EStreamError();
  *this = std::move(read);
  return true;
}

int64_t PaletteStopsBytes(int64_t stops) {
  return stops <= 0 ? 0 : HeapBlockBytes(stops * static_cast<int64_t>(sizeof(TColor))) + HeapBlockBytes(stops);
}

bool TZBPalette::SkipStored(TBinaryStream& stream, int64_t& stops) {
  stops = 0;
  TFileVersion chunk(stream, 0);
  int32_t found = 0;
  if (!chunk.ReadHeader(found, true)) return !chunk.Damaged();
  const TReadBound fields(stream, chunk.EndOffset);
  uint32_t startColor = 0, endColor = 0;
  int32_t n = 0;
  if (!(stream.ReadUInt32(startColor) && stream.ReadUInt32(endColor) && stream.ReadInt32(n)) || n < 0) return false;
  stops = n;
  // Behind the count: each stop's colour (4 bytes) and position (1), then the
  // intensity (1), min and max (8 each) and the automatic and logarithmic flags (1 each).
  const int64_t rest = int64_t{n} * 5 + 1 + 8 + 8 + 1 + 1;
  return rest <= stream.Remaining() && stream.Seek(stream.Position() + static_cast<int32_t>(rest)) &&
         chunk.SkipToEnd();
}

// ---- 4. value table of a section file ------------------------------------------

void TZBPalette::LoadValueTable(TBinaryStream& stream) {
  uint8_t unused = 0;
  int32_t n = 0;
  int32_t intensity = 0;
  const int32_t start = stream.Position();
  auto fail = [&]() {
    stream.Seek(start);
    throw EStreamError(kPaletteWrongFormat);
  };
  if (!stream.ReadUInt8(unused) || !stream.ReadInt32(n) || !stream.ReadInt32(intensity)) fail();
  if (n < 2 || static_cast<int64_t>(n) * 8 > stream.Remaining()) fail();
  // The table and the stops made of it, weighed before they are made, each whatever
  // the one before found (a refusal tells them all); passed over by an open's count,
  // the palette stays as it was.
  bool held = WeighArray(n, sizeof(float));
  held = WeighArray(n, sizeof(TColor)) && held;
  held = WeighArray(n - 2, sizeof(TColor)) && held;
  held = WeighArray(n - 2, 1) && held;
  if (!held) {
    if (!stream.Seek(stream.Position() + 8 * n)) fail();
    return;
  }
  std::vector<float> values(static_cast<size_t>(n));
  std::vector<TColor> colours(static_cast<size_t>(n));
  for (int32_t k = 0; k < n; ++k)
    if (!stream.ReadFloat(values[k]) || !stream.ReadUInt32(colours[k])) fail();

  TZBPalette read;
  read.autoRange_ = autoRange_;
  read.intensity_ = static_cast<uint8_t>(std::clamp(intensity, 0, 100));
  read.startColor_ = colours.front();
  read.endColor_ = colours.back();
  read.min_ = values.front();
  read.max_ = values.back();
  read.logarithmic_ = std::all_of(values.begin(), values.end(), [](float v) { return v > 0; });
  if (read.logarithmic_)
    for (float& v : values) v = static_cast<float>(std::log(v));
  const double first = values.front();
  const double span = static_cast<double>(values.back()) - first;
  const size_t stops = static_cast<size_t>(n) - 2;
  read.stopColors_.resize(stops);
  read.stopPositions_.resize(stops);
  for (size_t k = 0; k < stops; ++k) {
    read.stopColors_[k] = colours[k + 1];
    double p;
    if (span != 0 && std::isfinite(span))
      p = (values[k + 1] - first) / span * 100.0;
    else
      p = static_cast<double>(k + 1) * 100.0 / static_cast<double>(n - 1);  // no span: even spacing
    read.stopPositions_[k] = static_cast<uint8_t>(std::clamp(RoundToInt(p), 0, 100));
  }
  *this = std::move(read);
}

// ---- 5. palette files *.clr ----------------------------------------------------

namespace {

// "%12.6f" and "%4d" without the locale.
std::string RightAligned(std::string s, size_t width) {
  if (s.size() < width) s.insert(0, width - s.size(), ' ');
  return s;
}

struct TClrLine {
  double Position = 0;
  int Channel[3] = {0, 0, 0};
};

bool ParseClrLine(std::string_view line, TClrLine& out) {
  std::array<std::string_view, 4> words;
  if (LeadingWords(line, words, IsSpaceOrTab) < words.size()) return false;
  if (!ParseDouble(words[0], out.Position, false)) return false;
  for (int c = 0; c < 3; ++c) {
    int32_t v = 0;
    if (!ParseInt32(words[static_cast<size_t>(c) + 1], v)) return false;
    out.Channel[c] = std::clamp(v, 0, 255);
  }
  return true;
}

std::string InitialPaletteFolder() {
  std::error_code ec;
  std::string current = std::filesystem::current_path(ec).string();
  return ReadSetting(SettingKeys::PalettePath, current);
}

void RememberPaletteFolder(const std::string& file) {
  WriteSetting(SettingKeys::PalettePath, std::filesystem::path(file).parent_path().string());
}

TFileRequest ClrRequest(const char* title) {
  TFileRequest request;
  request.Title = title;
  request.Filter = "Color palette (*.clr)|*.clr|All files (*.*)|*.*";
  request.DefaultExt = "clr";
  request.InitialDir = InitialPaletteFolder();
  return request;
}

}  // namespace

std::string TZBPalette::ClrText() const {
  std::string text = std::string(kClrSignature) + "\r\n";
  for (int i = 0; i < Count(); ++i) {
    const TColor c = AdjustColor(GetColor(i));
    text += RightAligned(FormatFixed(GetPosition(i), 6), 12);
    text += RightAligned(FormatInteger(ColorRed(c)), 4);
    text += RightAligned(FormatInteger(ColorGreen(c)), 4);
    text += RightAligned(FormatInteger(ColorBlue(c)), 4);
    text += "\r\n";
  }
  return text;
}

TClrRead TZBPalette::ReadClrText(std::string_view text) {
  TTextLineViews lines(text);
  std::string_view first;
  if (!lines.Next(first) || first != kClrSignature) return TClrRead::InvalidFormat;
  // Blank lines (a trailing empty line, say) carry no colour.
  const auto colourLine = [](std::string_view line) { return line.find_first_not_of(" \t") != std::string::npos; };
  int64_t n = 0;
  std::string_view line;
  for (TTextLineViews counted = lines; counted.Next(line);) n += colourLine(line) ? 1 : 0;
  // The colours read, the stops made of them and their sorting, weighed before any is
  // made; each weighed whatever the one before found, so that a refusal tells them all.
  bool held = WeighArray(n, sizeof(TClrLine));
  held = WeighArray(n - 2, sizeof(TColor)) && held;
  held = WeighArray(n - 2, 1) && held;
  held = WeighArray(n - 2, sizeof(size_t) + sizeof(TColor) + 1) && held;
  if (!held) return TClrRead::TooLarge;
  std::vector<TClrLine> colours;
  colours.reserve(static_cast<size_t>(n));
  while (lines.Next(line)) {
    if (!colourLine(line)) continue;
    TClrLine colour;
    if (!ParseClrLine(line, colour)) return TClrRead::InvalidFormat;
    colours.push_back(colour);
  }
  if (colours.size() < 2 || colours.front().Position != 0 || colours.back().Position != 100)
    return TClrRead::InvalidFormat;

  // The file holds brightened colours; the darkest channel tells how much.
  int darkest = 255;
  for (const TClrLine& line : colours)
    for (int c : line.Channel) darkest = std::min(darkest, c);
  const int intensity = RoundToInt((255 - darkest) / 255.0 * 100.0);
  auto restore = [intensity](int c) -> uint8_t {
    if (intensity == 0) return 255;
    // A derived intensity rounded down can overshoot: held at 0, never negative.
    return ClampByte(255 - static_cast<int64_t>(RoundToInt((255 - c) / (intensity / 100.0))));
  };
  auto colourOf = [&](const TClrLine& line) {
    return MakeColor(restore(line.Channel[0]), restore(line.Channel[1]), restore(line.Channel[2]));
  };

  intensity_ = static_cast<uint8_t>(intensity);
  startColor_ = colourOf(colours.front());
  endColor_ = colourOf(colours.back());
  stopColors_.clear();
  stopPositions_.clear();
  stopColors_.reserve(colours.size() - 2);
  stopPositions_.reserve(colours.size() - 2);
  for (size_t k = 1; k + 1 < colours.size(); ++k) {
    stopColors_.push_back(colourOf(colours[k]));
    stopPositions_.push_back(static_cast<uint8_t>(std::clamp(RoundToInt(colours[k].Position), 0, 100)));
  }
  StopsChanged();
  SortStops();
  return TClrRead::Ok;
}

bool TZBPalette::WriteClrFile(const std::string& utf8Path, std::string* error) const {
  const std::string text = ClrText();
  return WriteWholeFileAtomic(utf8Path, text.data(), text.size(), error);
}

TClrRead TZBPalette::ReadClrFile(const std::string& utf8Path, std::string* tooLarge) {
  TClrRead result = TClrRead::CannotOpen;
  std::string message;
  const std::string refusal = ReadCounted(utf8Path, [&] {
    WeighWholeFile(utf8Path);
    std::vector<uint8_t> bytes;
    switch (ReadWholeFileTold(utf8Path, bytes, message)) {
      case TWholeFileRead::wrDone:
        break;
      case TWholeFileRead::wrNoMemory:
        result = TClrRead::TooLarge;
        return;
      case TWholeFileRead::wrNotOpened:
      case TWholeFileRead::wrNotRead:
        return;
    }
    result = ReadClrText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  });
  if (!refusal.empty()) {
    result = TClrRead::TooLarge;
    message = refusal;
  }
  if (result == TClrRead::TooLarge && tooLarge) *tooLarge = message;
  return result;
}

bool TZBPalette::SaveToClrFile() const {
  TFileRequest request = ClrRequest("Save palette");
  std::optional<std::string> file = Services().Files->SaveFile(request);
  if (!file) return false;
  RememberPaletteFolder(*file);
  std::string error;
  if (!WriteClrFile(*file, &error)) {
    ShowMessageDlg(std::string(kClrCannotWrite) + "\n" + *file + ": " + error, 1);
    return false;
  }
  return true;
}

bool TZBPalette::LoadFromClrFile() {
  TFileRequest request = ClrRequest("Open palette");
  request.OverwritePrompt = false;
  std::optional<std::string> file = Services().Files->OpenFile(request);
  if (!file) return false;
  RememberPaletteFolder(*file);
  std::string tooLarge;
  switch (ReadClrFile(*file, &tooLarge)) {
    case TClrRead::Ok:
      return true;
    case TClrRead::InvalidFormat:
      ShowMessageDlg(kClrInvalidFormat, 1);
      return false;
    case TClrRead::TooLarge:
      ShowMessageDlg(tooLarge, 1);
      return false;
    case TClrRead::CannotOpen:
      break;
  }
  ShowMessageDlg(kClrCannotOpen, 1);
  return false;
}

// ---- editor hook ---------------------------------------------------------------

void SetPaletteEditor(TPaletteEditor editor) { PaletteEditor() = std::move(editor); }

bool EditPalette(TZBPalette& palette, double dataMin, double dataMax) {
  const TPaletteEditor& editor = PaletteEditor();
  return editor ? editor(palette, dataMin, dataMax) : false;
}

}  // namespace qira

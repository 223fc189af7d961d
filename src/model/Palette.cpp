#include "model/Palette.h"

// Sections:
//   1. colours and stops
//   2. intensity, range and mapping
//   3. palette chunk
//   4. value table of a section file
//   5. palette files *.clr

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <utility>

#include "model/Settings.h"
#include "model/StreamHelpers.h"
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
  }
  SortStops();
}

void TZBPalette::AddStop(int p, TColor colour) {
  if (p < 1 || p > 99) return;
  stopColors_.push_back(colour);
  stopPositions_.push_back(static_cast<uint8_t>(p));
  SortStops();
}

void TZBPalette::DeleteStop(int i) {
  if (i < 1 || i > Count() - 2) return;
  stopColors_.erase(stopColors_.begin() + (i - 1));
  stopPositions_.erase(stopPositions_.begin() + (i - 1));
}

void TZBPalette::SortStops() {
  // Pairs are swapped only when strictly out of order, so equal positions keep
  // their order (the editor relies on it when two markers meet).
  const size_t n = stopPositions_.size();
  bool swapped = n >= 2;
  while (swapped) {
    swapped = false;
    for (size_t k = 0; k + 1 < n; ++k) {
      if (stopPositions_[k] > stopPositions_[k + 1]) {
        std::swap(stopPositions_[k], stopPositions_[k + 1]);
        std::swap(stopColors_[k], stopColors_[k + 1]);
        swapped = true;
      }
    }
  }
}

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
  const int count = Count();
  int i = 1;
  while (i < count - 1 && GetPosition(i) < p) ++i;
  // pos(i-1) < p <= pos(i) whatever the order of the stops, so b - a > 0.
  const double a = GetPosition(i - 1);
  const double b = GetPosition(i);
  const TColor c0 = GetColor(i - 1);
  const TColor c1 = GetColor(i);
  auto channel = [&](uint8_t lo, uint8_t hi) {
    return ClampByte(RoundToInt((p - a) * (static_cast<double>(hi) - lo) / (b - a) + lo));
  };
  return MakeColor(channel(ColorRed(c0), ColorRed(c1)), channel(ColorGreen(c0), ColorGreen(c1)),
                   channel(ColorBlue(c0), ColorBlue(c1)));
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
  TZBPalette read;
  int32_t n = 0;
  bool ok = stream.ReadUInt32(read.startColor_) && stream.ReadUInt32(read.endColor_) && stream.ReadInt32(n);
  // Each stop takes 5 bytes; the count must fit the chunk before anything is allocated.
  if (!ok || n < 0 || static_cast<int64_t>(n) * 5 > static_cast<int64_t>(chunk.EndOffset) - stream.Position())
    throw EStreamError();
  read.stopColors_.resize(static_cast<size_t>(n));
  read.stopPositions_.resize(static_cast<size_t>(n));
  for (TColor& c : read.stopColors_) ok = ok && stream.ReadUInt32(c);
  if (n > 0) ok = ok && stream.Read(read.stopPositions_.data(), n);
  ok = ok && stream.ReadUInt8(read.intensity_) && stream.ReadDouble(read.min_) &&
       stream.ReadDouble(read.max_) && stream.ReadBool(read.autoRange_) && stream.ReadBool(read.logarithmic_);
  if (!ok || !chunk.SkipToEnd()) throw EStreamError();
  *this = std::move(read);
  return true;
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

bool ParseClrLine(const std::string& line, TClrLine& out) {
  std::vector<std::string> words;
  SplitWords(line, words);
  if (words.size() < 4) return false;
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
  const std::vector<std::string> lines = SplitTextLines(text);
  if (lines.empty() || lines.front() != kClrSignature) return TClrRead::InvalidFormat;
  std::vector<TClrLine> colours;
  for (size_t k = 1; k < lines.size(); ++k) {
    // Blank lines (a trailing empty line, say) carry no colour.
    if (lines[k].find_first_not_of(" \t") == std::string::npos) continue;
    TClrLine line;
    if (!ParseClrLine(lines[k], line)) return TClrRead::InvalidFormat;
    colours.push_back(line);
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
  for (size_t k = 1; k + 1 < colours.size(); ++k) {
    stopColors_.push_back(colourOf(colours[k]));
    stopPositions_.push_back(static_cast<uint8_t>(std::clamp(RoundToInt(colours[k].Position), 0, 100)));
  }
  SortStops();
  return TClrRead::Ok;
}

bool TZBPalette::WriteClrFile(const std::string& utf8Path, std::string* error) const {
  const std::string text = ClrText();
  return WriteWholeFileAtomic(utf8Path, text.data(), text.size(), error);
}

TClrRead TZBPalette::ReadClrFile(const std::string& utf8Path) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(utf8Path, bytes)) return TClrRead::CannotOpen;
  return ReadClrText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
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
  switch (ReadClrFile(*file)) {
    case TClrRead::Ok:
      return true;
    case TClrRead::InvalidFormat:
      ShowMessageDlg(kClrInvalidFormat, 1);
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

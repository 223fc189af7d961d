#include "model/StreamHelpers.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "model/DrawCosts.h"
#include "model/GraphRecord.h"
#include "platform/CodePage.h"
#include "platform/NumberText.h"
#include "platform/ProgramVersion.h"
#include "platform/Rounding.h"

namespace qira {

// ---- versioned chunk -----------------------------------------------------------

TFileVersion::TFileVersion(TBinaryStream& handle, int32_t version)
    : Version(version), Handle(&handle) {}

bool TFileVersion::WriteHeader() {
  if (!Handle->WriteInt32(Version)) return false;
  HeaderPos = Handle->Position();
  return Handle->WriteInt32(0);
}

bool TFileVersion::WriteEndOffset() {
  int32_t end = Handle->Position();
  if (HeaderPos < 0 || HeaderPos > end - 4) return false;
  if (!Handle->Seek(HeaderPos)) return false;
  bool ok = Handle->WriteInt32(end);
  return Handle->Seek(end) && ok;
}

bool TFileVersion::ReadHeader(int32_t& foundVersion, bool skipIfNewer) {
  damaged_ = false;
  int32_t start = Handle->Position();
  int32_t version = 0;
  int32_t end = 0;
  bool sound = Handle->Remaining() >= 8 && Handle->ReadInt32(version) && Handle->ReadInt32(end);
  if (sound) foundVersion = version;
  // The end must lie behind the header and inside the stream, or inside the chunk
  // being read (its TReadBound) for a chunk nested in it.
  if (!sound || end < start + 8 || end > Handle->ReadEnd()) {
    damaged_ = true;
    EndOffset = Handle->ReadEnd();
    Handle->Seek(EndOffset);
    return false;
  }
  EndOffset = end;
  if (version > Version) {
    if (skipIfNewer) Handle->Seek(EndOffset);
    return false;
  }
  return true;
}

bool TFileVersion::SkipToEnd() {
  if (EndOffset < Handle->Position() || EndOffset > Handle->ReadEnd()) return false;
  return Handle->Seek(EndOffset);
}

// ---- strings -------------------------------------------------------------------

bool WriteLengthString(TBinaryStream& handle, const std::string& s) {
  std::string bytes = Utf8ToCp1252(s);
  if (bytes.size() > static_cast<size_t>(INT32_MAX)) return false;
  int32_t n = static_cast<int32_t>(bytes.size());
  return handle.WriteInt32(n) && handle.Write(bytes.data(), n);
}

int64_t StringBlockBytes(int64_t chars) {
  // Up to 15 characters stand in the string itself.
  return chars < 16 ? 0 : HeapBlockBytes(chars + 1);
}

void WeighWholeFile(const std::string& utf8Path) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(std::filesystem::path(utf8Path), error);
  if (!error) TOpenCount::Weigh(HeapBlockBytes(static_cast<int64_t>(size)));
}

bool WeighArray(int64_t count, int64_t elementBytes) {
  return count <= 0 || TOpenCount::Weigh(HeapBlockBytes(count * elementBytes));
}

namespace {

// The size the next n bytes take converted to UTF-8, read a piece at a time, never
// made whole; the stream behind them. False, nothing consumed, when they cannot be read.
bool MeasureConverted(TBinaryStream& handle, int32_t n, int64_t& converted) {
  const int32_t start = handle.Position();
  constexpr int32_t kPieceBytes = 64 << 10;
  std::string piece(static_cast<size_t>(std::min(n, kPieceBytes)), '\0');
  converted = 0;
  for (int32_t left = n; left > 0;) {
    const int32_t take = std::min(left, kPieceBytes);
    if (!handle.Read(piece.data(), take)) {
      handle.Seek(start);
      return false;
    }
    converted += static_cast<int64_t>(Cp1252AsUtf8Size(std::string_view(piece.data(), static_cast<size_t>(take))));
    left -= take;
  }
  return true;
}

// The stored bytes of a string, then their conversion, each weighed before it is made
// (the conversion beside the bytes, its size found from them), and the `copies` a
// caller makes of it at once; the size of the conversion in `converted`. True, s empty
// and the stream behind the bytes, where an open's count passes over any (what
// follows is weighed all the same, its size measured as the bytes pass, so the need
// told holds them all); false, nothing consumed, only when the bytes cannot be read.
bool ReadWeighedText(TBinaryStream& handle, int32_t n, std::string& s, int copies, int64_t& converted) {
  converted = 0;
  if (!TOpenCount::Weigh(StringBlockBytes(n))) {
    if (!MeasureConverted(handle, n, converted)) return false;
    TOpenCount::Weigh((1 + copies) * StringBlockBytes(converted));
    return true;
  }
  std::string bytes(static_cast<size_t>(n), '\0');
  if (!handle.Read(bytes.data(), n)) return false;
  converted = static_cast<int64_t>(Cp1252AsUtf8Size(bytes));
  const int64_t block = StringBlockBytes(converted);
  if (!TOpenCount::Weigh(block)) {
    TOpenCount::Weigh(copies * block);
    return true;
  }
  s = Cp1252ToUtf8(bytes);
  if (copies > 0 && !TOpenCount::Weigh(copies * block)) s.clear();
  return true;
}

// ReadLengthString with `copies` weighed beside the string, the size of its
// conversion in `converted`.
bool ReadLengthText(TBinaryStream& handle, std::string& s, int copies, int64_t& converted) {
  s.clear();
  const int32_t start = handle.Position();
  int32_t n;
  if (!handle.ReadInt32(n)) return false;
  // The remaining bytes end at the read bound: a length past the chunk's end is
  // damage, found before anything is made.
  if (n < 0 || n > handle.Remaining() || !ReadWeighedText(handle, n, s, copies, converted)) {
    handle.Seek(start);
    return false;
  }
  return true;
}

}  // namespace

bool ReadLengthString(TBinaryStream& handle, std::string& s) {
  int64_t converted = 0;
  return ReadLengthText(handle, s, 0, converted);
}

bool ReadNameString(TBinaryStream& handle, std::string& s) {
  // The name and its key.
  constexpr int kCopies = 2;
  int64_t converted = 0;
  const int64_t neededBefore = TOpenCount::NeededSoFar();
  if (!ReadLengthText(handle, s, kCopies, converted)) return false;
  // Passed over, the name is still what the object takes opened: in the need told.
  if (s.empty() && converted > 0) TOpenCount::PassedOver(GraphObjectCost.Of(0, converted), neededBefore);
  return true;
}

bool SkipLengthString(TBinaryStream& handle) {
  int32_t n = 0;
  const int32_t start = handle.Position();
  if (handle.ReadInt32(n) && n >= 0 && n <= handle.Remaining()) return handle.Seek(handle.Position() + n);
  handle.Seek(start);
  return false;
}

bool MeasureLengthString(TBinaryStream& handle, int64_t& stored, int64_t& converted) {
  const int32_t start = handle.Position();
  int32_t n = 0;
  if (!handle.ReadInt32(n) || n < 0 || n > handle.Remaining()) {
    handle.Seek(start);
    return false;
  }
  int64_t size = 0;
  if (!MeasureConverted(handle, n, size)) {
    handle.Seek(start);
    return false;
  }
  stored = n;
  converted = size;
  return true;
}

bool WriteRawString(TBinaryStream& handle, const std::string& s) {
  std::string bytes = Utf8ToCp1252(s);
  if (bytes.size() > static_cast<size_t>(INT32_MAX)) return false;
  return handle.Write(bytes.data(), static_cast<int32_t>(bytes.size()));
}

bool ReadRawString(TBinaryStream& handle, int32_t n, std::string& s) {
  s.clear();
  if (n <= 0) return true;
  if (n > handle.Remaining()) return false;
  int64_t converted = 0;
  return ReadWeighedText(handle, n, s, 0, converted);
}

TLineRead ReadTextLine(TBinaryStream& handle, int32_t maxLength, std::string& s) {
  std::string bytes;
  TLineRead result = ReadRawTextLine(handle, maxLength, bytes);
  s = Cp1252ToUtf8(bytes);
  return result;
}

// ---- number text -----------------------------------------------------------------

namespace {

std::string NonFiniteText(double x) {
  if (std::isnan(x)) return "NAN";
  return x < 0 ? "-INF" : "INF";
}

// "-0.00" reads as a negative number where there is none.
void DropNegativeZero(std::string& s) {
  if (s.empty() || s.front() != '-') return;
  bool allZero = std::all_of(s.begin() + 1, s.end(), [](char c) { return c == '0' || c == '.'; });
  if (allZero) s.erase(0, 1);
}

std::string PadLeft(const std::string& s, int width) {
  if (width <= 0 || static_cast<int>(s.size()) >= width) return s;
  return std::string(static_cast<size_t>(width) - s.size(), ' ') + s;
}

}  // namespace

std::string FloatToStrFixed(int decimals, double x) {
  if (!std::isfinite(x)) return NonFiniteText(x);
  std::string s = FormatFixed(x, decimals);
  DropNegativeZero(s);
  return s;
}

std::string FloatToStrExp(int digits, int expDigits, double x) {
  if (!std::isfinite(x)) return (std::isnan(x) || x > 0 ? " " : "") + NonFiniteText(x);
  // The field always carries at least two significant digits, as the class
  // library's conversion does.
  digits = std::clamp(digits, 2, 40);
  if (x == 0) x = 0;  // no sign on a negative zero
  std::string text = FormatExponent(std::fabs(x), digits - 1);  // "d.ddde+XX"
  size_t e = text.find('e');
  std::string mantissa = text.substr(0, e);
  char expSign = text[e + 1];
  std::string expNumber = text.substr(e + 2);
  // Four exponent digits, of which the leading zeros beyond expDigits are dropped;
  // digits that carry value are never dropped.
  if (expNumber.size() < 4) expNumber.insert(0, 4 - expNumber.size(), '0');
  int keep = std::clamp(expDigits, 1, 4);
  while (static_cast<int>(expNumber.size()) > keep && expNumber.front() == '0') expNumber.erase(0, 1);
  return std::string(x < 0 ? "-" : " ") + mantissa + "E" + expSign + expNumber;
}

void FormatSignificant(int digits, int width, std::string& s, double x) {
  if (x == 0) {
    s = "0";
  } else {
    double a = std::fabs(x);
    // Truncation of the decimal logarithm, kept as stored tables were made with it
    // (1000 gives 2.9999... and one decimal more than the rule suggests).
    int decimals = digits - TruncToInt(std::log(a) / std::log(10.0)) - 1;
    if (a <= 1) ++decimals;
    if (decimals < 0) decimals = 0;
    s = FloatToStrFixed(decimals, x);
    if (static_cast<int>(s.size()) > width) s = FloatToStrExp(digits, 2, x);
  }
  s = PadLeft(s, width);
}

void FormatFixedOrDashes(int width, int decimals, bool empty, std::string& s, double x) {
  if (empty) {
    s = " " + std::string(static_cast<size_t>(std::max(width - 2, 0)), '-') + " ";
    return;
  }
  s = PadLeft(FloatToStrFixed(decimals, x), width);
}

std::string NormalizeDecimalSeparator(const std::string& s) {
  std::string out = s;
  std::replace(out.begin(), out.end(), ',', '.');
  return out;
}

double ParseFloat(const std::string& s) {
  double value;
  if (!ParseDouble(NormalizeDecimalSeparator(s), value, false))
    throw EConvertError("'" + s + "' is not a valid floating point value");
  return value;
}

bool ValidateFloatEdit(const std::string& text, bool mustBePositive,
                       const std::function<void()>& focus, double* value) {
  double v;
  try {
    v = ParseFloat(text);
  } catch (const EConvertError&) {
    ShowMessageDlg("Invalid value: " + text, 1);
    if (focus) focus();
    return false;
  }
  if (mustBePositive && !(v > 0)) {
    ShowMessageDlg("Value must be more then 0", 1);
    if (focus) focus();
    return false;
  }
  if (value) *value = v;
  return true;
}

// ---- string helpers ------------------------------------------------------------

std::string TrimSpaces(const std::string& s) {
  size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  size_t last = s.find_last_not_of(' ');
  return s.substr(first, last - first + 1);
}

std::string RemoveChar(const std::string& s, char c) {
  std::string out;
  out.reserve(s.size());
  for (char ch : s)
    if (ch != c) out.push_back(ch);
  return out;
}

bool IsSpaceOrTab(char c) { return c == ' ' || c == '\t'; }

size_t LeadingWords(std::string_view line, std::span<std::string_view> words, bool (*blank)(char)) {
  size_t found = 0, i = 0;
  while (found < words.size() && i < line.size()) {
    while (i < line.size() && blank(line[i])) ++i;
    const size_t start = i;
    while (i < line.size() && !blank(line[i])) ++i;
    if (i > start) words[found++] = line.substr(start, i - start);
  }
  return found;
}

void SplitWords(const std::string& s, std::vector<std::string>& list) {
  list.clear();
  size_t i = 0;
  auto blank = IsSpaceOrTab;
  while (i < s.size()) {
    while (i < s.size() && blank(s[i])) ++i;
    size_t start = i;
    while (i < s.size() && !blank(s[i])) ++i;
    if (i > start) list.push_back(s.substr(start, i - start));
  }
}

std::string FileNameWithoutExt(const std::string& path) {
  size_t sep = path.find_last_of("\\/:");
  std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

// ---- messages ------------------------------------------------------------------

void ShowMessageDlg(const std::string& text, int kind) {
  Services().Messages->ShowMessage(text, MessageKindFromInt(kind));
}

TMessageResult MessageBoxDlg(const std::string& text, int kind, TMessageButtons buttons,
                             int defaultButton) {
  return Services().Messages->MessageBox(text, MessageKindFromInt(kind), buttons, defaultButton);
}

bool MayReplaceExistingFiles(const std::vector<std::string>& files) {
  std::vector<std::string> existing;
  for (const std::string& file : files) {
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) existing.push_back(file);
  }
  if (existing.empty()) return true;
  std::string text;
  if (existing.size() == 1) {
    text = existing.front() + " already exists.\nDo you want to replace it?";
  } else {
    // A long list is cut: the question must fit the screen with its buttons.
    text = "These files already exist:\n";
    const size_t named = std::min(existing.size(), MaxNamedExistingFiles);
    for (size_t i = 0; i < named; ++i) text += existing[i] + "\n";
    if (existing.size() > named) text += "and " + std::to_string(existing.size() - named) + " more\n";
    text += "Do you want to replace them?";
  }
  return MessageBoxDlg(text, 3, TMessageButtons::YesNo, 2) == TMessageResult::Yes;
}

// ---- program version -----------------------------------------------------------

int32_t GetProgramVersion() { return ProgramVersionNumber(); }

std::string GetProgramVersionText() { return VersionToText(GetProgramVersion()); }

std::string VersionToText(int32_t v) {
  return std::to_string(v / 1000000) + "." + std::to_string((v / 10000) % 100) + "." +
         std::to_string((v / 100) % 100) + "." + std::to_string(v % 100);
}

}  // namespace qira

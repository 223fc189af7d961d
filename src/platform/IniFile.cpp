#include "platform/IniFile.h"

#include <algorithm>
#include <cstdint>

#include "platform/AsciiCase.h"
#include "platform/BinaryStream.h"
#include "platform/CodePage.h"
#include "platform/NumberText.h"
#include "platform/SeededHash.h"
#include "platform/TextLines.h"

namespace qira {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return std::string(s);
}

// A value is one line: line breaks would start new lines in the file.
std::string OneLine(const std::string& value) {
  std::string out = value;
  std::replace(out.begin(), out.end(), '\r', ' ');
  std::replace(out.begin(), out.end(), '\n', ' ');
  return out;
}

// Integers as the class library reads them: optional sign, decimal or "$"/"0x" hexadecimal.
bool ParseIniInteger(const std::string& text, int& value) {
  std::string s = Trim(text);
  bool negative = false;
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < s.size() && s[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (!hex) {
    int32_t v;
    if (!ParseInt32(s, v)) return false;
    value = v;
    return true;
  }
  if (i >= s.size()) return false;
  uint64_t v = 0;
  for (; i < s.size(); ++i) {
    char c = s[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    v = v * 16 + static_cast<uint64_t>(d);
    if (v > 0xFFFFFFFFull) return false;
  }
  // Hexadecimal gives the 32-bit pattern: "$FFFFFFFF" is -1.
  int32_t bits = static_cast<int32_t>(static_cast<uint32_t>(v));
  if (negative && bits == INT32_MIN) return false;
  value = negative ? -bits : bits;
  return true;
}

}  // namespace

TIniFile::TIniFile(std::string utf8Path) : path_(std::move(utf8Path)) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path_, bytes)) return;
  const std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::string text = IsValidUtf8(raw) ? std::string(raw) : Cp1252ToUtf8(raw);
  for (std::string& raw : SplitTextLines(text)) {
    Line line;
    std::string trimmed = Trim(raw);
    if (!trimmed.empty() && trimmed.front() == '[') {
      size_t close = trimmed.find(']');
      if (close != std::string::npos) {
        line.kind = Line::Section;
        line.name = Trim(std::string_view(trimmed).substr(1, close - 1));
      }
    } else if (!trimmed.empty() && trimmed.front() != ';') {
      size_t eq = trimmed.find('=');
      if (eq != std::string::npos) {
        line.kind = Line::Entry;
        line.name = Trim(std::string_view(trimmed).substr(0, eq));
        line.value = Trim(std::string_view(trimmed).substr(eq + 1));
      }
    }
    line.text = std::move(raw);
    lines_.push_back(std::move(line));
  }
}

int TIniFile::FindSection(const std::string& section) const {
  std::string name = Trim(section);
  for (size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].kind == Line::Section && SameTextAscii(lines_[i].name, name)) return static_cast<int>(i);
  return -1;
}

int TIniFile::SectionEnd(int sectionLine) const {
  size_t i = static_cast<size_t>(sectionLine) + 1;
  while (i < lines_.size() && lines_[i].kind != Line::Section) ++i;
  return static_cast<int>(i);
}

int TIniFile::FindEntry(int sectionLine, const std::string& key) const {
  std::string name = Trim(key);
  int end = SectionEnd(sectionLine);
  for (int i = sectionLine + 1; i < end; ++i)
    if (lines_[i].kind == Line::Entry && SameTextAscii(lines_[i].name, name)) return i;
  return -1;
}

const std::string* TIniFile::Lookup(const std::string& section, const std::string& key) const {
  int s = FindSection(section);
  if (s < 0) return nullptr;
  int e = FindEntry(s, key);
  return e < 0 ? nullptr : &lines_[e].value;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
  const std::string* v = Lookup(section, key);
  return v ? *v : def;
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key, int def) const {
  const std::string* v = Lookup(section, key);
  int value;
  if (v && ParseIniInteger(*v, value)) return value;
  return def;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

double TIniFile::ReadFloat(const std::string& section, const std::string& key, double def) const {
  const std::string* v = Lookup(section, key);
  double value;
  if (v && ParseDouble(*v, value, true)) return value;
  return def;
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
  std::string k = Trim(key);
  std::string v = Trim(OneLine(value));
  Line entry;
  entry.kind = Line::Entry;
  entry.name = k;
  entry.value = v;
  entry.text = k + "=" + v;

  int s = FindSection(section);
  if (s < 0) {
    Line header;
    header.kind = Line::Section;
    header.name = Trim(section);
    header.text = "[" + header.name + "]";
    lines_.push_back(std::move(header));
    lines_.push_back(std::move(entry));
    return;
  }
  int e = FindEntry(s, k);
  if (e >= 0) {
    // The key keeps the spelling it had in the file.
    lines_[e].value = v;
    lines_[e].text = lines_[e].name + "=" + v;
    return;
  }
  // After the section's last non-blank line, so the blank line before the next
  // section stays where it was.
  int at = SectionEnd(s);
  while (at - 1 > s && Trim(lines_[at - 1].text).empty()) --at;
  lines_.insert(lines_.begin() + at, std::move(entry));
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
  WriteString(section, key, FormatInteger(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void TIniFile::WriteFloat(const std::string& section, const std::string& key, double value) {
  WriteString(section, key, FormatShortest(value));
}

bool TIniFile::SectionExists(const std::string& section) const { return FindSection(section) >= 0; }

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
  return Lookup(section, key) != nullptr;
}

namespace {

// Names in the order first met, each once whatever its letter case; the names met
// are kept by their lower-case form, as a file may hold any number.
class TNamesOnce {
 public:
  void Add(const std::string& name) {
    if (seen_.insert(LowerAscii(name)).second) names_.push_back(name);
  }
  std::vector<std::string> Take() { return std::move(names_); }

 private:
  std::vector<std::string> names_;
  TSeededStringSet seen_;
};

}  // namespace

std::vector<std::string> TIniFile::ReadSection(const std::string& section) const {
  TNamesOnce keys;
  int s = FindSection(section);
  if (s < 0) return {};
  int end = SectionEnd(s);
  for (int i = s + 1; i < end; ++i)
    if (lines_[i].kind == Line::Entry) keys.Add(lines_[i].name);
  return keys.Take();
}

std::vector<std::string> TIniFile::ReadSections() const {
  TNamesOnce names;
  for (const Line& line : lines_)
    if (line.kind == Line::Section) names.Add(line.name);
  return names.Take();
}

void TIniFile::EraseSection(const std::string& section) {
  // Every section of that name, each up to the next section, in one pass.
  const std::string name = Trim(section);
  bool erasing = false;
  std::erase_if(lines_, [&](const Line& line) {
    if (line.kind == Line::Section) erasing = SameTextAscii(line.name, name);
    return erasing;
  });
}

void TIniFile::DeleteKey(const std::string& section, const std::string& key) {
  int s = FindSection(section);
  if (s < 0) return;
  int e = FindEntry(s, key);
  if (e >= 0) lines_.erase(lines_.begin() + e);
}

std::string TIniFile::Text() const {
  std::string text;
  for (const Line& line : lines_) {
    text += line.text;
    text += "\r\n";
  }
  return text;
}

bool TIniFile::UpdateFile(std::string* error) const {
  const std::string bytes = Text();
  return WriteWholeFileAtomic(path_, bytes.data(), bytes.size(), error);
}

}  // namespace qira

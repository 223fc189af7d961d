#include "platform/CodePage.h"

#include <cstdint>
#include <unordered_set>

namespace qira {

namespace {

// Unicode code points of the bytes 0x80..0x9F; the bytes Windows-1252 leaves
// undefined keep their C1 control value.
constexpr char32_t kHighBlock[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

char32_t CodePointOf(uint8_t b) {
  if (b >= 0x80 && b <= 0x9F) return kHighBlock[b - 0x80];
  return b;
}

// The 1252 byte of a code point, or '?'.
char ByteOf(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (int i = 0; i < 32; ++i)
    if (kHighBlock[i] == cp) return static_cast<char>(0x80 + i);
  return '?';
}

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string Utf16ToUtf8(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    const char32_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      AppendUtf8(out, kReplacementCharacter);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

size_t Utf8SequenceAt(std::string_view text, size_t i, char32_t& cp) {
  uint8_t b0 = static_cast<uint8_t>(text[i]);
  size_t len;
  char32_t min;
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  } else if ((b0 & 0xE0) == 0xC0) {
    len = 2; cp = b0 & 0x1F; min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3; cp = b0 & 0x0F; min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4; cp = b0 & 0x07; min = 0x10000;
  } else {
    return 0;
  }
  if (i + len > text.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    uint8_t b = static_cast<uint8_t>(text[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

size_t Cp1252AsUtf8Size(std::string_view bytes) {
  size_t size = bytes.size();
  for (char c : bytes)
    if (static_cast<uint8_t>(c) >= 0x80) size += 1 + (CodePointOf(static_cast<uint8_t>(c)) >= 0x800);
  return size;
}

namespace {
thread_local bool t_verbatim = false;
}  // namespace

std::string Cp1252ToUtf8(std::string_view bytes) {
  if (t_verbatim && IsValidUtf8(bytes)) return std::string(bytes);
  // Sized once from the text: one that grows as it converts (accented letters) is not
  // copied into a doubled buffer beside the one it outgrew, so a reading holds the
  // bytes and their conversion, no more.
  const size_t size = Cp1252AsUtf8Size(bytes);
  std::string out;
  out.reserve(size);
  for (char c : bytes) AppendUtf8(out, CodePointOf(static_cast<uint8_t>(c)));
  return out;
}

namespace {

// Whether the sequence at hand (len bytes, 0 when malformed, the code point cp) has no
// Windows-1252 byte: it is written as "?".
bool LacksByte(size_t len, char32_t cp) { return len == 0 || (ByteOf(cp) == '?' && cp != U'?'); }

// The bytes of utf8 in Windows-1252; lost is set when a character had none.
std::string ConvertToCp1252(std::string_view utf8, bool& lost) {
  std::string out;
  out.reserve(utf8.size());
  lost = false;
  size_t i = 0;
  while (i < utf8.size()) {
    char32_t cp;
    size_t len = Utf8SequenceAt(utf8, i, cp);
    lost = lost || LacksByte(len, cp);
    out.push_back(len == 0 ? '?' : ByteOf(cp));
    i += len == 0 ? 1 : len;
  }
  return out;
}

thread_local TCp1252Losses* tLosses = nullptr;
thread_local TCp1252Subject* tSubject = nullptr;

}  // namespace

TUtf8Verbatim::TUtf8Verbatim() : outer_(t_verbatim) { t_verbatim = true; }
TUtf8Verbatim::~TUtf8Verbatim() { t_verbatim = outer_; }

std::string Utf8ToCp1252(std::string_view utf8) {
  if (t_verbatim) return std::string(utf8);
  bool lost = false;
  std::string out = ConvertToCp1252(utf8, lost);
  if (lost) TCp1252Losses::Report(utf8);
  return out;
}

std::string Cp1252Codes(std::string_view utf8) {
  bool lost = false;
  return ConvertToCp1252(utf8, lost);
}

std::string Cp1252LostCharacters(std::string_view utf8) {
  std::string lost;
  std::unordered_set<char32_t> seen;
  size_t i = 0;
  while (i < utf8.size()) {
    char32_t cp;
    const size_t len = Utf8SequenceAt(utf8, i, cp);
    if (len == 0) cp = kReplacementCharacter;
    i += len == 0 ? 1 : len;
    if (LacksByte(len, cp) && seen.insert(cp).second) AppendUtf8(lost, cp);
  }
  return lost;
}

// ---- Losses of a write -------------------------------------------------------------

TCp1252Losses::TCp1252Losses(size_t listed) : outer_(tLosses), room_(listed) { tLosses = this; }

TCp1252Losses::~TCp1252Losses() { tLosses = outer_; }

void TCp1252Losses::Report(std::string_view utf8) {
  if (tLosses != nullptr) tLosses->Add(Cp1252LostCharacters(utf8));
}

void TCp1252Losses::Add(std::string_view lost) {
  // One entry per subject, however many of its texts lost characters.
  TCp1252Subject* subject = tSubject;
  int64_t entry = -1;
  if (subject != nullptr && subject->countedIn_ == this) {
    entry = subject->entry_;
  } else {
    ++count_;
    if (listed_.size() < room_) {
      entry = static_cast<int64_t>(listed_.size());
      TCp1252Loss& added = listed_.emplace_back();
      if (subject != nullptr) {
        added.Kind = subject->kind_;
        added.Subject = subject->name_;
      }
    }
    if (subject != nullptr) {
      subject->countedIn_ = this;
      subject->entry_ = entry;
    }
  }
  if (entry < 0) return;
  TCp1252Loss& listed = listed_[static_cast<size_t>(entry)];
  for (size_t i = 0; i < lost.size();) {
    char32_t cp;
    const size_t len = Utf8SequenceAt(lost, i, cp);
    const std::string_view character = lost.substr(i, len);
    i += len;
    if (listed.Characters.find(character) != std::string::npos) continue;
    if (listed.CharacterCount == TCp1252Loss::kListedCharacters) {
      listed.More = true;
      return;
    }
    listed.Characters.append(character);
    ++listed.CharacterCount;
  }
}

TCp1252Subject::TCp1252Subject(std::string_view name, std::string_view kind)
    : name_(name), kind_(kind), outer_(tSubject) {
  tSubject = this;
}

TCp1252Subject::~TCp1252Subject() { tSubject = outer_; }

bool IsValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    char32_t cp;
    size_t len = Utf8SequenceAt(text, i, cp);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

}  // namespace qira

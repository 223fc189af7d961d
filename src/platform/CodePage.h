#pragma once
// Windows-1252 on disk, UTF-8 inside the program.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qira {

// Every byte maps to one character. The five bytes that Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same
// value, as Windows does, so any byte string survives a round trip.
// Its result holds exactly its size (reserved once).
std::string Cp1252ToUtf8(std::string_view bytes);
// The size of Cp1252ToUtf8(bytes), found without making it.
size_t Cp1252AsUtf8Size(std::string_view bytes);

// The conversion at a file's boundary. Characters without a Windows-1252 byte
// become '?', and so does every byte of malformed UTF-8 (stray continuation bytes,
// overlong forms, surrogates, > U+10FFFF); a text that loses any is reported to the
// TCp1252Losses in force on this thread, so that a writer run under one finds every
// text its file cannot hold.
std::string Utf8ToCp1252(std::string_view utf8);
// While alive, Utf8ToCp1252 on this thread hands its text back unchanged and reports
// nothing, and Cp1252ToUtf8 takes bytes that are well-formed UTF-8 as they are: a
// record compared with another in memory (an edit that changed only characters the
// file cannot hold still changed the document), and the recovery copy of a document,
// which brings back every character it holds. Never for a file the user saves.
class TUtf8Verbatim {
 public:
  TUtf8Verbatim();
  ~TUtf8Verbatim();
  TUtf8Verbatim(const TUtf8Verbatim&) = delete;
  TUtf8Verbatim& operator=(const TUtf8Verbatim&) = delete;

 private:
  bool outer_;
};
// The same bytes for a use inside the program (glyph codes, sort keys): reported to
// no one, as nothing is stored.
std::string Cp1252Codes(std::string_view utf8);
// The characters of utf8 that Windows-1252 cannot hold, each once in the order met
// (UTF-8; a malformed byte is U+FFFD); empty when it holds them all.
std::string Cp1252LostCharacters(std::string_view utf8);

// A text a write converted with characters lost, under the object it was written for.
struct TCp1252Loss {
  std::string Kind;        // of the TCp1252Subject in force ("" for an object, or for none)
  std::string Subject;     // its name ("" for none)
  std::string Characters;  // what it lost, each once, the first kListedCharacters of them
  size_t CharacterCount = 0;
  bool More = false;       // it lost more than those
  static constexpr size_t kListedCharacters = 16;
};

// While alive, collects what every Utf8ToCp1252 on this thread loses: one entry per
// subject (the object being written) that lost a character, the first `listed` of
// them kept with their characters, the rest only counted, so a file of millions of
// such names is collected in bounded memory. Nested, the inner one collects alone
// until it ends. Costs nothing per text that loses nothing.
class TCp1252Losses {
 public:
  explicit TCp1252Losses(size_t listed);
  ~TCp1252Losses();
  TCp1252Losses(const TCp1252Losses&) = delete;
  TCp1252Losses& operator=(const TCp1252Losses&) = delete;

  // Subjects that lost a character, listed or not.
  int64_t Count() const { return count_; }
  const std::vector<TCp1252Loss>& Listed() const { return listed_; }

  // Told by the conversion of a text that lost characters: to the collector in
  // force on this thread, if any.
  static void Report(std::string_view utf8);

 private:
  void Add(std::string_view lost);

  TCp1252Losses* outer_;
  size_t room_;
  int64_t count_ = 0;
  std::vector<TCp1252Loss> listed_;
};

// While alive, names what the texts converted on this thread are written for (an
// object's name, and a kind where the name alone does not say what it is): a loss
// is told under it. Nothing is copied: both must outlive the subject. Nested, the
// inner one names, until it ends.
class TCp1252Subject {
 public:
  explicit TCp1252Subject(std::string_view name, std::string_view kind = {});
  ~TCp1252Subject();
  TCp1252Subject(const TCp1252Subject&) = delete;
  TCp1252Subject& operator=(const TCp1252Subject&) = delete;

 private:
  friend class TCp1252Losses;
  std::string_view name_;
  std::string_view kind_;
  TCp1252Subject* outer_;
  // The collector that counted this subject already, and its entry there (-1: not listed).
  const TCp1252Losses* countedIn_ = nullptr;
  int64_t entry_ = -1;
};

// True when every byte belongs to a well-formed UTF-8 sequence (no overlong forms,
// no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view text);

// What stands for a character that cannot be decoded.
constexpr char32_t kReplacementCharacter = 0xFFFD;

// Appends the UTF-8 form of one code point (any plane).
void AppendUtf8(std::string& out, char32_t cp);

// The length of the well-formed UTF-8 sequence at text[i] with its code point in
// cp; 0 when the bytes there are malformed or cut short. Never reads past the end.
size_t Utf8SequenceAt(std::string_view text, size_t i, char32_t& cp);

// A surrogate pair becomes one character, an unpaired surrogate U+FFFD.
std::string Utf16ToUtf8(std::u16string_view units);

}  // namespace qira

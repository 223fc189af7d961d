#pragma once
// The versioned chunk that frames every stored record, the string encodings inside
// records, number text with either decimal separator, small string helpers, the two
// message routines of all windows and the program version.
//
// Chunk layout (little-endian): int32 version, int32 absolute stream position of the
// first byte after the chunk, then the record's fields (nested chunks allowed).
//
// Strings are UTF-8 in the program and Windows-1252 bytes in stored records: the
// string writers convert UTF-8 -> 1252 (characters without a 1252 byte become '?')
// and the string readers convert 1252 -> UTF-8. Lengths on disk count 1252 bytes.
//
// Reading policy: every read function returns false when the stream is damaged (a
// short read, a length or offset that does not fit the bytes that remain); a false
// result never leaves a partly read value behind. A reader of a chunk's fields holds
// a TReadBound at the chunk's end while it reads them, so "the bytes that remain"
// are the chunk's: a length that passes the chunk's end is damage, found before its
// string or array is made.
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/BinaryStream.h"
#include "platform/LibraryErrors.h"
#include "platform/Services.h"
#include "platform/TextLines.h"

namespace qira {

// A stored stream that cannot be read (for callers that prefer to raise).
class EStreamError : public std::runtime_error {
 public:
  EStreamError() : std::runtime_error("Stream read error") {}
  using std::runtime_error::runtime_error;
};

class TFileVersion {
 public:
  // version: the version to write, or the newest version the reader understands.
  TFileVersion(TBinaryStream& handle, int32_t version);

  int32_t Version;
  TBinaryStream* Handle;
  int32_t HeaderPos = 0;  // position of the end-offset placeholder (writer)
  int32_t EndOffset = 0;  // absolute end read from the header (reader)

  // Writes the version and a 0 placeholder for the end offset.
  bool WriteHeader();
  // Patches the placeholder with the current position and returns there. Call it once
  // after the record's last byte (and after every nested chunk).
  bool WriteEndOffset();

  // Reads the header. True when foundVersion <= Version and the header is sound.
  // A newer chunk gives false; with skipIfNewer the stream then stands at its end.
  // A damaged header (fewer than 8 bytes left, or an end offset before the header's
  // end or past the stream's ReadEnd: its end, or the end of the chunk it is nested
  // in) gives false with Damaged() set; the stream then stands at that end, so every
  // later read fails, and EndOffset is that end. The reader of the fields holds a
  // TReadBound at EndOffset while it reads them.
  bool ReadHeader(int32_t& foundVersion, bool skipIfNewer);
  bool Damaged() const { return damaged_; }
  // Moves to EndOffset. False, position unchanged, when EndOffset lies outside the
  // stream or before the position (the fields read overran the chunk: damaged).
  bool SkipToEnd();

 private:
  bool damaged_ = false;
};

// int32 byte count, then the bytes (none when empty).
bool WriteLengthString(TBinaryStream& handle, const std::string& s);
// False (s empty) on a missing length, a negative length or a length beyond the
// remaining bytes (up to the read bound: the chunk's end); the stream then stands
// where the string began. A length of 0 gives "". The bytes and their conversion are
// weighed before they are made (TOpenCount::Weigh): while an open counts, a string it
// cannot hold is passed over (s empty, the read true) and counted as its need.
bool ReadLengthString(TBinaryStream& handle, std::string& s);
// ReadLengthString for a name an object takes (TGraphMain::SetName), which copies it
// twice (the name and the key it is compared by): the copies are weighed with it,
// once for all, so that none is made unweighed. Passed over by an open's count, s is
// empty (the object keeps its name), the read true.
bool ReadNameString(TBinaryStream& handle, std::string& s);
// Passes over a length-prefixed string, making nothing of it; false as
// ReadLengthString, the stream then where the string began.
bool SkipLengthString(TBinaryStream& handle);
// SkipLengthString that reads the bytes a piece at a time, never making them whole:
// their count in `stored` and the size ReadLengthString converts them to in
// `converted` (what the string read takes beside its bytes).
bool MeasureLengthString(TBinaryStream& handle, int64_t& stored, int64_t& converted);
// The bytes of s only.
bool WriteRawString(TBinaryStream& handle, const std::string& s);
// Exactly n bytes; n <= 0 gives "" and reads nothing. False (s empty, nothing
// consumed) when fewer than n bytes remain. Weighed as ReadLengthString.
bool ReadRawString(TBinaryStream& handle, int32_t n, std::string& s);
// The heap a std::string of `chars` characters takes beside itself.
int64_t StringBlockBytes(int64_t chars);
// Before a reader makes an array of `count` elements of `elementBytes` whose count a
// file gave: its heap block weighed (TOpenCount::Weigh). False when an open's count
// passes over it: the reader moves past its stored bytes and makes nothing.
bool WeighArray(int64_t count, int64_t elementBytes);
// Before a reader that counts what it makes of a file (ReadCounted) reads the file
// whole: its bytes weighed at the file's size. The reader reads them all the same where
// the count passes over them (the memory, which reading a whole file checks, holding
// them), so that what it makes of them is counted too: the count refuses the reading.
void WeighWholeFile(const std::string& utf8Path);
// One line of Windows-1252 text, converted to UTF-8; see ReadRawTextLine for endings,
// the last line and over-long lines.
TLineRead ReadTextLine(TBinaryStream& handle, int32_t maxLength, std::string& s);

// Fixed notation with the given decimals, no padding: FloatToStrFixed(2, 2.5) = "2.50".
std::string FloatToStrFixed(int decimals, double x);
// Exponent notation: a sign (' ' or '-'), Digits significant digits, 'E', the
// exponent's sign and ExpDigits exponent digits: FloatToStrExp(4, 2, 1234.5) =
// " 1.234E+03". An exponent that needs more digits keeps them all.
std::string FloatToStrExp(int digits, int expDigits, double x);
// x with about digits significant digits, right-aligned in width characters; switches
// to FloatToStrExp(digits, 2, x) when the fixed form is wider than width.
void FormatSignificant(int digits, int width, std::string& s, double x);
// empty: " " + (width - 2) dashes + " "; else x with decimals, right-aligned in width.
void FormatFixedOrDashes(int width, int decimals, bool empty, std::string& s, double x);
// Every '.' and ',' becomes '.', the program's one decimal separator.
std::string NormalizeDecimalSeparator(const std::string& s);
// Accepts '.' or ',' and surrounding blanks; raises EConvertError on any other text.
double ParseFloat(const std::string& s);
// Parses an edit's text. On bad text shows "Invalid value: " + text as an error and
// calls focus; when mustBePositive and the value is not above 0 shows "Value must be
// more then 0" and calls focus. The value goes to *value when given and valid.
bool ValidateFloatEdit(const std::string& text, bool mustBePositive,
                       const std::function<void()>& focus, double* value = nullptr);

// Removes leading and trailing space characters (only ' ').
std::string TrimSpaces(const std::string& s);
std::string RemoveChar(const std::string& s, char c);
// Clears list and adds each run of non-blank characters (blank: space or tab).
void SplitWords(const std::string& s, std::vector<std::string>& list);
// The first words.size() such runs of `line` as views into it, `blank` telling what
// separates them; how many it found (fewer where the line holds fewer). Nothing is
// copied, however long the line.
size_t LeadingWords(std::string_view line, std::span<std::string_view> words, bool (*blank)(char));
// A blank of SplitWords: a space or a tab.
bool IsSpaceOrTab(char c);
// The name after the last '\\', '/' or ':', without its extension.
std::string FileNameWithoutExt(const std::string& path);
// A private copy of s: the copy and s never share their characters, so a change
// through one never shows in the other.
inline std::string DuplicateString(std::string_view s) { return std::string(s); }

// The message dialog with one OK button; kind 0 warning, 1 error, 2 information,
// 3 confirmation (others as information).
void ShowMessageDlg(const std::string& text, int kind);
// The message box: returns the pressed button. defaultButton 1..4, else the first.
TMessageResult MessageBoxDlg(const std::string& text, int kind, TMessageButtons buttons,
                             int defaultButton);
// The most files the replace question names; past them it tells how many more.
inline constexpr size_t MaxNamedExistingFiles = 10;
// One question, Yes or No (the default), before writing over the files of `files`
// that exist, naming them: "<file> already exists.\nDo you want to replace it?" for
// one. True when none exists or the user said Yes; nothing is asked when none exists.
bool MayReplaceExistingFiles(const std::vector<std::string>& files);

// a*1000000 + b*10000 + c*100 + d of the program's version a.b.c.d.
int32_t GetProgramVersion();
std::string GetProgramVersionText();
// "a.b.c.d" of a version integer.
std::string VersionToText(int32_t v);

}  // namespace qira

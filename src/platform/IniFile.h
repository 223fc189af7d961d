#pragma once
// An ini file with the semantics of the Windows profile functions: "[Section]"
// lines and "Key=Value" lines, sections and keys may contain blanks, look-up is
// case-insensitive (ASCII letters), blanks around keys and values are dropped,
// the first of duplicate sections or keys wins. Comment lines (";") and any other
// line are kept in place when the file is written back.
//
// The whole file is read at construction (a missing or unreadable file gives an
// empty object); nothing is written until UpdateFile(). The file is written as
// UTF-8 with CR LF line endings, so folder names in any script survive; a file that
// is not valid UTF-8 is read as Windows-1252, as files of the original system are.
// CR LF, LF and CR are all read; inside the program every string is UTF-8.
#include <string>
#include <vector>

namespace qira {

class TIniFile {
 public:
  explicit TIniFile(std::string utf8Path);

  const std::string& FileName() const { return path_; }

  // The value's text, or def when the key is absent (an empty value is returned as "").
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def) const;
  // Decimal with optional sign, or hexadecimal as "$1F" or "0x1F"; def on any other text.
  int ReadInteger(const std::string& section, const std::string& key, int def) const;
  // An integer value, non-zero meaning true; def when absent or not an integer.
  bool ReadBool(const std::string& section, const std::string& key, bool def) const;
  // Accepts '.' or ',' as decimal separator; def on bad text.
  double ReadFloat(const std::string& section, const std::string& key, double def) const;

  // Creates the section (at the end) and the key (after the section's last entry) as
  // needed. Line breaks in a value are written as blanks, since a value is one line.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int value);
  void WriteBool(const std::string& section, const std::string& key, bool value);  // "1" or "0"
  void WriteFloat(const std::string& section, const std::string& key, double value);  // shortest, '.'

  // True when a header of the section is in the file (even with no keys).
  bool SectionExists(const std::string& section) const;
  bool ValueExists(const std::string& section, const std::string& key) const;
  // Keys of the section in file order (duplicates once), section names in file order.
  std::vector<std::string> ReadSection(const std::string& section) const;
  std::vector<std::string> ReadSections() const;
  // Removes every header of the section with its lines.
  void EraseSection(const std::string& section);
  void DeleteKey(const std::string& section, const std::string& key);

  // Writes the whole text back through an atomic save; false (old file kept, reason
  // in *error) on failure. Does not create missing folders.
  bool UpdateFile(std::string* error = nullptr) const;

  // The file as it would be written, in UTF-8 and with "\r\n" endings.
  std::string Text() const;

 private:
  struct Line {
    std::string text;      // the line as read or made (UTF-8)
    enum Kind { Other, Section, Entry } kind = Other;
    std::string name;      // trimmed section name or key
    std::string value;     // trimmed value (entries)
  };

  int FindSection(const std::string& section) const;  // index of the header line, -1
  int FindEntry(int sectionLine, const std::string& key) const;
  int SectionEnd(int sectionLine) const;  // index of the next header, or lines_.size()
  const std::string* Lookup(const std::string& section, const std::string& key) const;

  std::string path_;
  std::vector<Line> lines_;
};

}  // namespace qira

#pragma once
// TVersionLabel: a label showing one item of a file's version information (or the
// file's date or size), optionally after a prefix.
//
// Only the program's own file carries version information here: the version the
// program was built as, its name, and one translation block (US English, code page
// 1252). Every other file has none and shows "< No Data Available >". Items the
// program leaves blank show "< No Version Info >", keys it does not have
// "< Error retrieving string version info >". Failures become caption texts;
// nothing raises.
#include <QLabel>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qira {

enum TVersionResources : uint8_t {
  vrCompanyName,
  vrFileDescription,
  vrFileVersion,
  vrInternalName,
  vrLegalCopyright,
  vrOriginalFilename,
  vrProductName,
  vrProductVersion,
  vrComments,
  vrFlags,
  vrShortFileVersion,
  vrDateTime,
  vrFileSize
};

// A file's version information.
struct TVersionInfo {
  std::vector<std::pair<uint16_t, uint16_t>> Translations;  // language, code page
  // Per block ("040904e4": language and code page in hex), key -> value.
  std::map<std::string, std::map<std::string, std::string>> Strings;
  uint32_t FileFlags = 0;
};

// The version information of the program's own file.
TVersionInfo ProgramVersionInfo();
// The version information of the file at path: the program's for the program's
// own file (path empty or naming it), none for any other.
std::optional<TVersionInfo> ReadVersionInfo(const std::string& path);

// value formatted by a number format: the first run of '#', '0' and ',' stands for
// the value (digits grouped by ',' in threes when the run holds one); text in
// double or single quotes is copied without the quotes; any other character as is.
std::string FormatFileSize(int64_t value, const std::string& format);

class TVersionLabel : public QLabel {
 public:
  explicit TVersionLabel(QWidget* parent = nullptr);

  TVersionResources VersionResource() const { return resource_; }
  // Also sets VersionResourceKey and InfoPrefix to the item's own; the item
  // already chosen changes nothing.
  void SetVersionResource(TVersionResources resource);
  const std::string& VersionResourceKey() const { return key_; }
  // A different key also becomes the prefix.
  void SetVersionResourceKey(const std::string& key);
  const std::string& InfoPrefix() const { return prefix_; }
  void SetInfoPrefix(const std::string& prefix);
  bool ShowInfoPrefix() const { return showPrefix_; }
  void SetShowInfoPrefix(bool on);
  // "-1": the file's first translation, stored here once read.
  const std::string& LangCharset() const { return langCharset_; }
  void SetLangCharset(const std::string& block);
  // A Qt date-time format; the locale's short date format at first. Empty is ignored.
  const std::string& DateTimeFormat() const { return dateTimeFormat_; }
  void SetDateTimeFormat(const std::string& format);
  // See FormatFileSize; #,#0" Bytes" at first. Empty is ignored.
  const std::string& FileSizeFormat() const { return fileSizeFormat_; }
  void SetFileSizeFormat(const std::string& format);
  // Empty: the program's own file.
  const std::string& Filename() const { return filename_; }
  void SetFilename(const std::string& filename);

 private:
  void UpdateCaption();
  std::string Value();

  TVersionResources resource_ = vrFileVersion;
  std::string key_ = "FileVersion";
  std::string prefix_ = "File Version:";
  bool showPrefix_ = true;
  std::string langCharset_ = "-1";
  std::string dateTimeFormat_;
  std::string fileSizeFormat_ = "#,#0\" Bytes\"";
  std::string filename_;
};

}  // namespace qira

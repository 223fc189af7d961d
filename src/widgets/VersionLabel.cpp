#include "widgets/VersionLabel.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cstdio>
#include <filesystem>

#include "platform/ProgramVersion.h"

namespace qira {

namespace {

struct TItem {
  const char* key;
  const char* prefix;
};

// Indexed by TVersionResources.
constexpr TItem kItems[] = {
    {"CompanyName", "Company Name:"},
    {"FileDescription", "File Description:"},
    {"FileVersion", "File Version:"},
    {"InternalName", "Internal Name:"},
    {"LegalCopyright", "Legal Copyright:"},
    {"OriginalFilename", "Original Filename:"},
    {"ProductName", "Product Name:"},
    {"ProductVersion", "Product Version:"},
    {"Comments", "Comments:"},
    {"Flags", "Flags:"},
    {"FileVersion", "v"},
    {"DateTime", "File Date/Time:"},
    {"Filesize", "File Size:"},
};

constexpr const char* kFlagNames[] = {"Debug Build",   "Pre-Release Build", "Patched Build",
                                      "Private Build", "InfoInferred",      "Special Build"};

constexpr uint16_t kUsEnglish = 0x0409;
constexpr uint16_t kWesternCodePage = 1252;

std::string ProgramFilePath() {
  if (QCoreApplication::instance() != nullptr) return QCoreApplication::applicationFilePath().toStdString();
  std::error_code error;
  return std::filesystem::read_symlink("/proc/self/exe", error).string();
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error);
}

std::string BlockName(uint16_t language, uint16_t codePage) {
  char text[16];
  std::snprintf(text, sizeof text, "%4.4x%4.4x", language, codePage);
  return text;
}

std::string FlagsText(uint32_t flags) {
  std::string text;
  for (size_t bit = 0; bit < std::size(kFlagNames); ++bit) {
    if ((flags & (1u << bit)) == 0) continue;
    if (!text.empty()) text += ", ";
    text += kFlagNames[bit];
  }
  return text;
}

// "a.b..." as "a.bb"; the text itself when it has no two leading numbers.
std::string ShortVersion(const std::string& version) {
  unsigned major = 0, minor = 0;
  if (std::sscanf(version.c_str(), "%u.%u", &major, &minor) != 2) return version;
  char text[32];
  std::snprintf(text, sizeof text, "%u.%.2u", major, minor);
  return text;
}

}  // namespace

TVersionInfo ProgramVersionInfo() {
  TVersionInfo info;
  info.Translations.push_back({kUsEnglish, kWesternCodePage});
  const std::string version = ProgramVersionText(ProgramFileVersion());
  const std::string file = std::filesystem::path(ProgramFilePath()).filename().string();
  info.Strings[BlockName(kUsEnglish, kWesternCodePage)] = {
      {"FileVersion", version}, {"ProductVersion", version}, {"ProductName", ProgramName()},
      {"InternalName", ProgramName()}, {"OriginalFilename", file},
      // Present but empty, as in a resource whose fields were left blank.
      {"CompanyName", ""}, {"FileDescription", ""}, {"LegalCopyright", ""}, {"Comments", ""}};
  return info;
}

std::optional<TVersionInfo> ReadVersionInfo(const std::string& path) {
  if (path.empty() || SameFile(path, ProgramFilePath())) return ProgramVersionInfo();
  return std::nullopt;
}

std::string FormatFileSize(int64_t value, const std::string& format) {
  std::string out;
  bool numberDone = false;
  for (size_t i = 0; i < format.size();) {
    const char c = format[i];
    if (c == '"' || c == '\'') {
      const size_t end = format.find(c, i + 1);
      out += format.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
      i = end == std::string::npos ? format.size() : end + 1;
    } else if (!numberDone && (c == '#' || c == '0' || c == ',')) {
      bool grouped = false;
      while (i < format.size() && (format[i] == '#' || format[i] == '0' || format[i] == ',')) {
        grouped = grouped || format[i] == ',';
        ++i;
      }
      std::string digits = std::to_string(value < 0 ? -static_cast<uint64_t>(value) : static_cast<uint64_t>(value));
      if (grouped) {
        for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<size_t>(at), ",");
      }
      if (value < 0) out += '-';
      out += digits;
      numberDone = true;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

TVersionLabel::TVersionLabel(QWidget* parent) : QLabel(parent) {
  dateTimeFormat_ = QLocale::system().dateFormat(QLocale::ShortFormat).toStdString();
  setWordWrap(false);
  UpdateCaption();
}

void TVersionLabel::SetVersionResource(TVersionResources resource) {
  // The item already shown keeps a key or prefix set since.
  if (resource > vrFileSize || resource == resource_) return;
  resource_ = resource;
  key_ = kItems[resource].key;
  prefix_ = kItems[resource].prefix;
  UpdateCaption();
}

void TVersionLabel::SetVersionResourceKey(const std::string& key) {
  if (key == key_) return;
  key_ = key;
  prefix_ = key;
  UpdateCaption();
}

void TVersionLabel::SetInfoPrefix(const std::string& prefix) {
  if (prefix == prefix_) return;
  prefix_ = prefix;
  UpdateCaption();
}

void TVersionLabel::SetShowInfoPrefix(bool on) {
  if (on == showPrefix_) return;
  showPrefix_ = on;
  UpdateCaption();
}

void TVersionLabel::SetLangCharset(const std::string& block) {
  if (block == langCharset_) return;
  langCharset_ = block;
  UpdateCaption();
}

void TVersionLabel::SetDateTimeFormat(const std::string& format) {
  if (format.empty() || format == dateTimeFormat_) return;
  dateTimeFormat_ = format;
  UpdateCaption();
}

void TVersionLabel::SetFileSizeFormat(const std::string& format) {
  if (format.empty() || format == fileSizeFormat_) return;
  fileSizeFormat_ = format;
  UpdateCaption();
}

void TVersionLabel::SetFilename(const std::string& filename) {
  if (filename == filename_) return;
  filename_ = filename;
  UpdateCaption();
}

std::string TVersionLabel::Value() {
  const std::optional<TVersionInfo> info = ReadVersionInfo(filename_);
  if (!info) return "< No Data Available >";
  const std::string path = filename_.empty() ? ProgramFilePath() : filename_;
  switch (resource_) {
    case vrFlags:
      return FlagsText(info->FileFlags);
    case vrDateTime:
    case vrFileSize: {
      QFile file(QString::fromStdString(path));
      if (!file.open(QIODevice::ReadOnly)) return "<Error getting file handle>";
      if (resource_ == vrFileSize) return FormatFileSize(file.size(), fileSizeFormat_);
      return QFileInfo(file).lastModified().toString(QString::fromStdString(dateTimeFormat_)).toStdString();
    }
    default:
      break;
  }
  if (langCharset_ == "-1") {
    if (info->Translations.empty()) return "< Error retrieving translation info >";
    langCharset_ = BlockName(info->Translations.front().first, info->Translations.front().second);
  }
  const auto block = info->Strings.find(langCharset_);
  if (block == info->Strings.end()) return "< Error retrieving string version info >";
  const auto item = block->second.find(key_);
  if (item == block->second.end()) return "< Error retrieving string version info >";
  const std::string& value = item->second;
  if (value.size() < 2) return "< No Version Info >";
  return resource_ == vrShortFileVersion ? ShortVersion(value) : value;
}

void TVersionLabel::UpdateCaption() {
  const std::string value = Value();
  setText(QString::fromStdString(showPrefix_ ? prefix_ + " " + value : value));
  adjustSize();
}

}  // namespace qira

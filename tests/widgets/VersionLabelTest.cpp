// The version label: the program's own items, the captions for missing data, and
// the file date and size of the program's file.
#include "widgets/VersionLabel.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>

#include <string>

#include "platform/ProgramVersion.h"
#include "support/QtTestEnvironment.h"

namespace qira {
namespace {

std::string Caption(const TVersionLabel& label) { return label.text().toStdString(); }

TEST(VersionLabel, ShowsTheProgramsItemsAfterTheirPrefixes) {
  const std::string version = ProgramVersionText(ProgramFileVersion());
  TVersionLabel label;
  EXPECT_EQ(Caption(label), "File Version: " + version);
  label.SetVersionResource(vrShortFileVersion);
  const TProgramVersion v = ProgramFileVersion();
  EXPECT_EQ(Caption(label), "v " + std::to_string(v.Major) + "." + (v.Minor < 10 ? "0" : "") + std::to_string(v.Minor));
  label.SetVersionResource(vrProductName);
  EXPECT_EQ(Caption(label), std::string("Product Name: ") + ProgramName());
  label.SetShowInfoPrefix(false);
  EXPECT_EQ(Caption(label), ProgramName());
  label.SetVersionResource(vrFlags);
  EXPECT_EQ(Caption(label), "");
}

struct TMissingRow {
  const char* behaviour;
  TVersionResources resource;
  const char* key;          // set after the resource when not null
  const char* langCharset;  // set when not null
  const char* filename;     // set when not null
  const char* caption;
};

TEST(VersionLabel, MissingDataGivesItsOwnCaption) {
  const TMissingRow rows[] = {
      {"blank item", vrCompanyName, nullptr, nullptr, nullptr, "Company Name: < No Version Info >"},
      {"unknown key", vrFileVersion, "SpecialBuild", nullptr, nullptr, "SpecialBuild < Error retrieving string version info >"},
      {"other language block", vrFileVersion, nullptr, "04070000", nullptr, "File Version: < Error retrieving string version info >"},
      {"file without version information", vrFileVersion, nullptr, nullptr, QIRA_FIXTURES_DIR "/make_bmp.py", "File Version: < No Data Available >"},
  };
  for (const TMissingRow& row : rows) {
    TVersionLabel label;
    label.SetVersionResource(row.resource);
    if (row.key) label.SetVersionResourceKey(row.key);
    if (row.langCharset) label.SetLangCharset(row.langCharset);
    if (row.filename) label.SetFilename(row.filename);
    EXPECT_EQ(Caption(label), row.caption) << row.behaviour;
  }
}

TEST(VersionLabel, ChoosingTheItemAlreadyShownKeepsItsKeyAndPrefix) {
  TVersionLabel label;
  label.SetVersionResourceKey("ProductName");
  label.SetVersionResource(vrFileVersion);
  EXPECT_EQ(label.VersionResourceKey(), "ProductName");
  EXPECT_EQ(Caption(label), std::string("ProductName ") + ProgramName());
  label.SetVersionResource(vrComments);
  EXPECT_EQ(label.VersionResourceKey(), "Comments");
  EXPECT_EQ(label.InfoPrefix(), "Comments:");
}

TEST(VersionLabel, LangCharsetMinusOneReadsTheFirstTranslationAgain) {
  TVersionLabel label;
  EXPECT_EQ(label.LangCharset(), "040904e4");
  label.SetLangCharset("04070000");
  label.SetLangCharset("-1");
  EXPECT_EQ(label.LangCharset(), "040904e4");
  EXPECT_EQ(Caption(label), "File Version: " + ProgramVersionText(ProgramFileVersion()));
}

TEST(VersionLabel, DateAndSizeOfTheProgramsFile) {
  const QFileInfo file(QCoreApplication::applicationFilePath());
  TVersionLabel label;
  label.SetVersionResource(vrDateTime);
  label.SetDateTimeFormat("yyyy-MM-dd HH:mm");
  EXPECT_EQ(Caption(label), "File Date/Time: " + file.lastModified().toString("yyyy-MM-dd HH:mm").toStdString());
  label.SetVersionResource(vrFileSize);
  EXPECT_EQ(Caption(label), "File Size: " + FormatFileSize(file.size(), "#,#0\" Bytes\""));
}

TEST(VersionLabel, FileSizeFormatGroupsThousandsAndCopiesQuotedText) {
  EXPECT_EQ(FormatFileSize(1234567, "#,#0\" Bytes\""), "1,234,567 Bytes");
  EXPECT_EQ(FormatFileSize(999, "#,#0\" Bytes\""), "999 Bytes");
  EXPECT_EQ(FormatFileSize(1234567, "0' B'"), "1234567 B");
}

}  // namespace
}  // namespace qira

#include "model/Settings.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <string>

#include "support/FakeServices.h"
#include "support/ScopedWriteFailure.h"
#include "support/ScratchFolder.h"
#include "support/Unprivileged.h"

namespace qira {
namespace {

namespace fs = std::filesystem;

class SettingsStore : public testing::Test {
 protected:
  void TearDown() override { SaveSettings(); }  // releases a store a test left open (into its own folder)
  std::string FileText() const { return folder_.Get("qira3d.ini"); }

  TScratchFolder folder_;
  std::string path_ = folder_.File("qira3d.ini");
};

TEST_F(SettingsStore, FirstStartWithoutAFileGivesTheDefaults) {
  LoadSettings(path_, "/start/here");
  EXPECT_EQ(InclinationPath, "/start/here");
  EXPECT_EQ(ExportPath, "/start/here");
  EXPECT_EQ(ImportPath, "/start/here");
  EXPECT_FALSE(Win7FullScreenMode);
  EXPECT_EQ(ReadSetting(SettingKeys::RecentFile1, ""), "");
  EXPECT_FALSE(fs::exists(path_));  // nothing is written before the end
}

TEST_F(SettingsStore, EveryCatalogueKeyRoundTrips) {
  LoadSettings(path_, "/start");
  const std::vector<TSettingKey>& keys = SettingsCatalogue();
  std::set<std::string> seen;
  for (size_t i = 0; i < keys.size(); ++i) {
    EXPECT_TRUE(seen.insert(std::string(keys[i].Section) + "/" + keys[i].Key).second)
        << keys[i].Key << " is listed twice";
    switch (keys[i].Kind) {
      case TSettingKind::String:
        WriteSetting(keys[i], "/a folder/with blanks é " + std::to_string(i));
        break;
      case TSettingKind::Integer:
        WriteSetting(keys[i], static_cast<int>(1000 + i) * (i % 2 ? -1 : 1));
        break;
      case TSettingKind::Boolean:
        WriteSetting(keys[i], i % 2 == 0);
        break;
    }
  }
  // The globals are written over their keys at the end.
  InclinationPath = "/incl";
  ExportPath = "/exp";
  ImportPath = "/imp";
  Win7FullScreenMode = true;
  ASSERT_TRUE(SaveSettings());
  const size_t parameters = FileText().find("[Parameters]\r\n");
  ASSERT_NE(parameters, std::string::npos);
  EXPECT_NE(FileText().find("Win7FullScreenMode=1\r\n", parameters), std::string::npos);  // a boolean

  InclinationPath = ExportPath = ImportPath = "";
  Win7FullScreenMode = false;
  LoadSettings(path_, "/elsewhere");
  EXPECT_EQ(InclinationPath, "/incl");
  EXPECT_EQ(ExportPath, "/exp");
  EXPECT_EQ(ImportPath, "/imp");
  EXPECT_TRUE(Win7FullScreenMode);
  for (size_t i = 0; i < keys.size(); ++i) {
    SCOPED_TRACE(keys[i].Key);
    const std::string key = keys[i].Key;
    if (key == "InclinationPath" || key == "ExportPath" || key == "ImportPath" ||
        key == "Win7FullScreenMode")
      continue;
    switch (keys[i].Kind) {
      case TSettingKind::String:
        EXPECT_EQ(ReadSetting(keys[i], ""), "/a folder/with blanks é " + std::to_string(i));
        break;
      case TSettingKind::Integer:
        EXPECT_EQ(ReadSetting(keys[i], 0), static_cast<int>(1000 + i) * (i % 2 ? -1 : 1));
        break;
      case TSettingKind::Boolean:
        EXPECT_EQ(ReadSetting(keys[i], i % 2 != 0), i % 2 == 0);
        break;
    }
  }
}

TEST_F(SettingsStore, CatalogueHoldsTheKeysTheWindowsUse) {
  std::set<std::string> keys;
  for (const TSettingKey& k : SettingsCatalogue()) keys.insert(std::string(k.Section) + "/" + k.Key);
  for (const char* expected :
       {"Main/InclinationPath", "Main/ExportPath", "Main/ImportPath", "Main/ExportFilterIndex",
        "Main/Metric_Units", "Main/ColorPreviewHeightWidth", "Main/ColorPreviewFormWidth",
        "Main/DivisionIdent", "Parameters/Win7FullScreenMode", "Palette/Path", "Main Section/FName1",
        "Main Section/FName5", "Form3D/Panel width", "Form3D/Maximized", "Form3D/Width",
        "Form3D/Height", "Form3D/Left", "Form3D/Top", "Form3D/FileType", "Form3D/DPI",
        "Form3D/Transparency"})
    EXPECT_EQ(keys.count(expected), 1u) << expected;
}

TEST_F(SettingsStore, KeysTheProgramDoesNotKnowAreKept) {
  folder_.Put("qira3d.ini",
              "; written by hand\r\n"
              "[Mystery]\r\n"
              "Answer=42\r\n"
              "[Main]\r\n"
              "ImportPath=/old\r\n"
              "Unknown Key=some value\r\n"
              "[Font_Line]\r\n"
              "Color=255\r\n");
  LoadSettings(path_, "/start");
  EXPECT_EQ(ImportPath, "/old");
  ImportPath = "/new";
  ASSERT_TRUE(SaveSettings());
  const std::string text = FileText();
  for (const char* kept : {"; written by hand\r\n", "[Mystery]\r\n", "Answer=42\r\n",
                           "Unknown Key=some value\r\n", "[Font_Line]\r\n", "Color=255\r\n"})
    EXPECT_NE(text.find(kept), std::string::npos) << kept;
  EXPECT_NE(text.find("ImportPath=/new\r\n"), std::string::npos);
  EXPECT_EQ(text.find("/old"), std::string::npos);
}

TEST_F(SettingsStore, AFolderThatDoesNotExistYetIsCreated) {
  path_ = folder_.File("config/deeper/qira3d.ini");
  LoadSettings(path_, "/start");
  ASSERT_TRUE(SaveSettings());
  EXPECT_TRUE(fs::exists(path_));
}

TEST_F(SettingsStore, AFileThatCannotBeWrittenIsReportedWithItsNameAndTheReason) {
  folder_.Put("blocker", "x");
  fs::create_directory(folder_.File("folder.ini"));
  folder_.Put("kept.ini", "[Main]\r\nExportPath=/old\r\n");
  folder_.Put("read-only.ini", "[Main]\r\nExportPath=/old\r\n");
  fs::permissions(folder_.File("read-only.ini"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const struct {
    const char* what;
    std::string path;
    int writeFailure;  // an error every file write meets, 0 for none
    bool unprivileged;  // run where the file's permissions bind (not as root)
    const char* reason;
  } cases[] = {
      {"a plain file where the folder should be", folder_.File("blocker/qira3d.ini"), 0, false, "Not a directory"},
      {"a folder where the file should be", folder_.File("folder.ini"), 0, false, "Is a directory"},
      {"a full disk", folder_.File("kept.ini"), ENOSPC, false, "No space left on device"},
      {"a read-only file", folder_.File("read-only.ini"), 0, true, "Permission denied"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // What the user is told; anything else is told as a failure.
    const auto save = [&] {
      TFakeServices services;
      LoadSettings(c.path, "/start");
      ExportPath = "/new";
      TScopedWriteFailure failure(c.writeFailure);
      if (SaveSettings()) return std::string("saved");
      if (services.Messages.size() != 1) return std::to_string(services.Messages.size()) + " messages";
      if (services.Messages[0].Kind != TMessageKind::Error) return "not an error: " + services.Messages[0].Text;
      return services.Messages[0].Text;
    };
    EXPECT_EQ(c.unprivileged ? AsUnprivilegedUser(folder_, save) : save(),
              "Can not create initialization file " + c.path + ": " + c.reason);
  }
  EXPECT_EQ(folder_.Get("kept.ini"), "[Main]\r\nExportPath=/old\r\n") << "the old file stays";
  EXPECT_EQ(folder_.Get("read-only.ini"), "[Main]\r\nExportPath=/old\r\n") << "the read-only file stays";
  EXPECT_EQ(fs::status(folder_.File("read-only.ini")).permissions(),
            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
}

}  // namespace
}  // namespace qira

#include "platform/ConfigPaths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "support/EnvVar.h"
#include "support/ScratchFolder.h"

namespace qira {
namespace {

TEST(ConfigPaths, SettingsLiveInTheXdgConfigFolder) {
  TEnvVar xdg("XDG_CONFIG_HOME", "/cfg/home");
  EXPECT_EQ(ConfigFolder(), "/cfg/home");
  EXPECT_EQ(SettingsFilePath("qira3d"), "/cfg/home/qira3d.ini");
  TEnvVar state("XDG_STATE_HOME", "/state/home");
  EXPECT_EQ(StateFolder(), "/state/home");
}

TEST(ConfigPaths, WithoutAnAbsoluteXdgFolderTheHomeConfigFolderIsUsed) {
  TEnvVar home("HOME", "/home/user");
  for (const char* xdgValue : {static_cast<const char*>(nullptr), "", "relative/cfg"}) {
    TEnvVar xdg("XDG_CONFIG_HOME", xdgValue);
    EXPECT_EQ(ConfigFolder(), "/home/user/.config") << (xdgValue ? xdgValue : "unset");
    TEnvVar state("XDG_STATE_HOME", xdgValue);
    EXPECT_EQ(StateFolder(), "/home/user/.local/state") << (xdgValue ? xdgValue : "unset");
  }
}

TEST(ConfigPaths, ACopyUnderAnotherNameHasItsOwnSettings) {
  // This test program is itself such a copy.
  EXPECT_EQ(RunningProgramName(), "platform_tests");
  TEnvVar xdg("XDG_CONFIG_HOME", "/c");
  EXPECT_EQ(SettingsFilePath(), "/c/platform_tests.ini");
}

TEST(ConfigPaths, FolderIsCreatedWithItsParentsUnlessAFileIsInTheWay) {
  TScratchFolder dir;
  std::string deep = dir.File("a/b/c");
  ASSERT_TRUE(EnsureFolderExists(deep));
  EXPECT_TRUE(std::filesystem::is_directory(deep));
  struct stat st;
  ASSERT_EQ(::stat(deep.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_TRUE(EnsureFolderExists(deep + "/"));  // existing, trailing slash
  dir.Put("f", "x");  // a file in the way
  std::string error;
  EXPECT_FALSE(EnsureFolderExists(dir.File("f/sub"), &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace qira

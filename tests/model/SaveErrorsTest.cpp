// Every saver, on a full disk or over a file the user may not write, names the file
// and gives the system's reason, and keeps the old file without leaving a temporary
// one; every name the folder takes saves, and so does a file the user may write in
// a folder the user may not; a pipe or a link to nothing is refused and left.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QImage>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "imaging/JpegWriter.h"
#include "imaging/TiffWriter.h"
#include "model/Palette.h"
#include "model/Section.h"
#include "model/SectionExports.h"
#include "platform/Picture.h"
#include "scene/components/VectorLists.h"
#include "support/EnvVar.h"
#include "support/FakeServices.h"
#include "support/ScopedWriteFailure.h"
#include "support/ScratchFolder.h"
#include "support/Unprivileged.h"

namespace qira {
namespace {

// The message the user sees for a save to path (empty when it succeeded).
using TSaver = std::function<std::string(const std::string& path)>;

template <typename F>
std::string MessageOf(F&& save) {
  try {
    save();
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

QImage SmallImage() {
  QImage image(8, 8, QImage::Format_RGB32);
  image.fill(Qt::red);
  return image;
}

TEST(SaveErrors, EverySaverNamesTheFileAndTheReasonAndKeepsTheOldFile) {
  TGraphSection section;
  const struct {
    const char* Name;
    TSaver Save;
  } savers[] = {
      {"picture", [](const std::string& p) { return MessageOf([&] { TBitmapGraphic(SmallImage(), 24).SaveToFile(p); }); }},
      {"jpeg", [](const std::string& p) { return MessageOf([&] { WriteJpegToFile(p, SmallImage(), 90); }); }},
      {"tiff", [](const std::string& p) { return MessageOf([&] { WriteTiffToFile(p, TBitmapGraphic(SmallImage(), 24)); }); }},
      {"table", [&](const std::string& p) { return MessageOf([&] { ExportXYZText(section, p, true); }); }},
      {"dxf", [&](const std::string& p) { return MessageOf([&] { ExportDXF(section, p, true); }); }},
      {"workbook", [&](const std::string& p) { return MessageOf([&] { ExportXYZValuesSheet(section, p, true); }); }},
      {"stored list", [](const std::string& p) {
         TIntegerList list;
         list.Add(7);
         return MessageOf([&] { list.SaveToFile(p); });
       }},
      {"palette", [](const std::string& p) {
         TFakeServices fake;
         fake.FileAnswers.push_back(p);
         TZBPalette().SaveToClrFile();
         return fake.Messages.empty() ? std::string() : fake.Messages[0].Text;
       }},
  };
  // A read-only file is refused as a writer in place is refused, though the rename
  // could replace it.
  const struct {
    const char* What;
    mode_t Mode;
    int WriteFailure;
    bool Unprivileged;  // run where the file's permissions bind (not as root)
    const char* Reason;
  } refusals[] = {
      {"a full disk", 0644, ENOSPC, false, "No space left on device"},
      {"a read-only file", 0444, 0, true, "Permission denied"},
  };
  std::string umlauts;
  for (int i = 0; i < 125; ++i) umlauts += "\xC3\xA4";
  // 240 and 255 bytes: the longest names the folder takes.
  const std::string longNames[] = {std::string(236, 'a') + ".bin", std::string(251, 'a') + ".bin",
                                   umlauts.substr(0, 236) + ".bin", umlauts + "a.bin"};
  for (const auto& saver : savers) {
    SCOPED_TRACE(saver.Name);
    for (const auto& refusal : refusals) {
      SCOPED_TRACE(refusal.What);
      TScratchFolder dir;
      dir.Put("old.file", "old");
      ::chmod(dir.File("old.file").c_str(), refusal.Mode);
      const auto save = [&] {
        TScopedWriteFailure failure(refusal.WriteFailure);
        return saver.Save(dir.File("old.file"));
      };
      const std::string message = refusal.Unprivileged ? AsUnprivilegedUser(dir, save) : save();
      EXPECT_NE(message.find(dir.File("old.file")), std::string::npos) << message;
      EXPECT_NE(message.find(refusal.Reason), std::string::npos) << message;
      EXPECT_EQ(dir.Get("old.file"), "old");
      struct stat st {};
      EXPECT_EQ(::stat(dir.File("old.file").c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 07777, refusal.Mode);
      EXPECT_EQ(dir.Entries(), std::vector<std::string>{"old.file"});
      if (refusal.WriteFailure != 0) {
        EXPECT_EQ(saver.Save(dir.File("old.file")), "");  // and saves once there is room
      }
    }
    {
      TScratchFolder dir;
      ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0666), 0);
      ASSERT_EQ(::symlink(dir.File("missing").c_str(), dir.File("dangling").c_str()), 0);
      for (const char* name : {"pipe", "dangling"}) {
        const std::string message = saver.Save(dir.File(name));
        EXPECT_NE(message.find(dir.File(name)), std::string::npos) << message;
        EXPECT_NE(message.find(name[0] == 'p' ? "not a regular file" : "symbolic link to a file that does not exist"),
                  std::string::npos)
            << message;
      }
      struct stat st {};
      EXPECT_TRUE(::lstat(dir.File("pipe").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
      EXPECT_TRUE(::lstat(dir.File("dangling").c_str(), &st) == 0 && S_ISLNK(st.st_mode));
      EXPECT_EQ(dir.Entries().size(), 2u);
    }
    {
      TScratchFolder dir;
      TScratchFolder state;
      ::chmod(state.Path().c_str(), 0777);
      const std::string folder = dir.File("locked");
      ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
      const std::string path = folder + "/old.file";
      dir.Put("locked/old.file", "old");
      if (::geteuid() == 0) {
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
      }
      ::chmod(folder.c_str(), 0555);
      const std::string message = AsUnprivilegedUser(dir, [&] {
        TEnvVar stateHome("XDG_STATE_HOME", state.Path().c_str());
        return saver.Save(path);
      });
      EXPECT_EQ(message, "") << "a file the user may write in a folder the user may not";
      EXPECT_NE(dir.Get("locked/old.file"), "old");
      ::chmod(folder.c_str(), 0755);
    }
    TScratchFolder dir;
    for (const std::string& name : longNames) {
      EXPECT_EQ(saver.Save(dir.File(name)), "") << name.size();
      EXPECT_NE(dir.Get(name), "") << name.size();
    }
    std::vector<std::string> entries = dir.Entries();
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, std::vector<std::string>(std::begin(longNames), std::end(longNames)));
  }
}

}  // namespace
}  // namespace qira

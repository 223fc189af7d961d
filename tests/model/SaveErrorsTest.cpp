// Every saver, on a full disk, names the file and gives the system's reason, and
// keeps the old file without leaving a temporary one.
#include <gtest/gtest.h>

#include <QImage>

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
#include "support/FakeServices.h"
#include "support/ScopedWriteFailure.h"
#include "support/ScratchFolder.h"

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
  for (const auto& saver : savers) {
    SCOPED_TRACE(saver.Name);
    TScratchFolder dir;
    dir.Put("old.file", "old");
    std::string message;
    {
      TScopedWriteFailure full(ENOSPC);
      message = saver.Save(dir.File("old.file"));
    }
    EXPECT_NE(message.find(dir.File("old.file")), std::string::npos) << message;
    EXPECT_NE(message.find("No space left on device"), std::string::npos) << message;
    EXPECT_EQ(dir.Get("old.file"), "old");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"old.file"});
    EXPECT_EQ(saver.Save(dir.File("old.file")), "");  // and saves once there is room
  }
}

}  // namespace
}  // namespace qira

// A named pipe, a device or a folder chosen where a data file is expected: every
// reader refuses it at once, and the message names the file and says what is wrong.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>

#include "model/Dxf.h"
#include "model/GeologyFiles.h"
#include "model/GraphMain.h"
#include "model/ModelFile.h"
#include "model/Section.h"
#include "model/FakeObjectTree.h"
#include "support/FakeServices.h"
#include "support/ScratchFolder.h"

namespace qira {
namespace {

struct TReader {
  const char* extension;
  std::function<void(const std::string&)> read;
};

TEST(NonRegularFiles, EveryReaderNamesTheFileAndSaysItIsNotARegularFile) {
  const TReader readers[] = {
      {".mdl", [](const std::string& p) {
         TFakeObjectTree tree;
         TGraphMain root;
         root.SetTreeView(&tree);
         EXPECT_EQ(ImportModelFile(root, p), TModelImport::Failed);
       }},
      {".ink", [](const std::string& p) { EXPECT_FALSE(LoadInclinationStations(p).has_value()); }},
      {".dxf", [](const std::string& p) { EXPECT_FALSE(TDXF().ReadDXF(p)); }},
      {".sec", [](const std::string& p) { EXPECT_EQ(LoadSectionFile(p), nullptr); }},
  };
  TScratchFolder dir;
  for (const TReader& reader : readers) {
    const std::string pipe = std::string("pipe") + reader.extension;
    const std::string folder = std::string("folder") + reader.extension;
    ASSERT_EQ(::mkfifo(dir.File(pipe).c_str(), 0600), 0);
    ASSERT_TRUE(std::filesystem::create_directory(dir.File(folder)));
    for (const std::string& name : {pipe, folder}) {
      SCOPED_TRACE(name);
      TFakeServices fake;
      reader.read(dir.File(name));
      ASSERT_EQ(fake.Messages.size(), 1u);
      EXPECT_NE(fake.Messages[0].Text.find(name), std::string::npos) << fake.Messages[0].Text;
      EXPECT_NE(fake.Messages[0].Text.find("not a regular file"), std::string::npos) << fake.Messages[0].Text;
    }
  }
}

TEST(NonRegularFiles, AMissingFileKeepsTheNotFoundText) {
  TScratchFolder dir;
  EXPECT_EQ(FileReadFailureText(dir.File("gone.ink"), "gone.ink"), "File gone.ink not found");
  EXPECT_EQ(FileReadFailureText(dir.File("no/such/gone.ink"), "gone.ink"), "File gone.ink not found");
}

}  // namespace
}  // namespace qira

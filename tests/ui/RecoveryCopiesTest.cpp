// Recovery copies of changed documents: written as a save writes when a document
// changed since its last copy (the wait's end, before a step that may take much
// memory), changing nothing of the document; gone at a Save, a Discard and the
// normal end; offered at the next start when the run that wrote them has ended.
#include "ui/RecoveryCopies.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "model/StreamHelpers.h"
#include "platform/BinaryStream.h"
#include "platform/ProgramVersion.h"
#include "support/EnvVar.h"
#include "ui/MainFrame.h"
#include "ui/ProjectFile.h"
#include "ui/ProjectTestSupport.h"
#include "ui/ViewTestSupport.h"

namespace qira {
namespace {

using project_testing::Projects;
using project_testing::WithVersion;

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// A file's inode and modification time: a copy written again has new ones.
std::pair<ino_t, long long> Stamp(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {0, 0};
  return {st.st_ino, static_cast<long long>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

// The process id of a process that has ended.
long EndedProcess() {
  const pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ::waitpid(ended, nullptr, 0);
  return ended;
}

class RecoveryCopies : public view_testing::TViewWindowTest {
 protected:
  void SetUp() override {
    view_testing::TViewWindowTest::SetUp();
    stateHome_ = std::make_unique<TEnvVar>("XDG_STATE_HOME", scratch_.File("state").c_str());
  }
  void TearDown() override {
    SetFileWriteFailureForTesting(0);
    stateHome_.reset();
    view_testing::TViewWindowTest::TearDown();
  }

  std::string Project(const std::string& name) {
    scratch_.Put(name, WithVersion(Projects().Bytes("current.q3d"), GetProgramVersion()));
    return scratch_.File(name);
  }
  // The folders under the recovery folder, each with what it holds.
  std::vector<std::string> Folders() const {
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(RecoveryCopiesFolder(), ec))
      found.push_back(entry.path().filename().string());
    return found;
  }
  // A copy the run `pid` left (ended): the folder it wrote, holding `copyBytes` as
  // its copy of the document `documentPath`.
  std::string LeftByEndedRun(long pid, const std::string& copyBytes, const std::string& documentPath,
                             const std::string& caption) {
    const std::string folder = RecoveryCopiesFolder() + "/" + std::to_string(pid) + "-0-1";
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/3.q3d", std::ios::binary) << copyBytes;
    const TRecoveryRecord record{documentPath, caption, std::chrono::system_clock::now()};
    std::ofstream(folder + "/3.record", std::ios::binary) << RecoveryRecordText(record);
    return folder;
  }

  std::unique_ptr<TEnvVar> stateHome_;
};

TEST_F(RecoveryCopies, ACopyIsWrittenOnlyWhenTheDocumentChangedAndChangesNothingOfIt) {
  const std::string path = Project("survey.q3d");
  TMainForm frame;
  TForm3D* form = frame.OpenProject(path);
  ASSERT_NE(form, nullptr);
  TRecoveryCopies& recovery = frame.Recovery();
  EXPECT_FALSE(recovery.Waiting());
  EXPECT_TRUE(recovery.CopyChanged());
  EXPECT_EQ(recovery.CopyPathOf(*form), "");
  EXPECT_TRUE(Folders().empty());

  const auto recent = frame.Recent();
  const std::optional<TFileIdentity> identity = form->FileIdentity();
  form->ShiftModel(1, 0, 0);
  EXPECT_TRUE(recovery.Waiting());
  recovery.CopyDue();
  const std::string copy = recovery.CopyPathOf(*form);
  ASSERT_NE(copy, "");
  EXPECT_EQ(copy.rfind(RecoveryCopiesFolder(), 0), 0u) << copy;
  // Nothing of the document moved.
  EXPECT_EQ(form->FileName(), path);
  EXPECT_TRUE(form->Modified());
  EXPECT_EQ(form->CaptionText(), "survey.q3d");
  EXPECT_EQ(frame.Recent(), recent);
  EXPECT_EQ(form->FileIdentity(), identity);
  // The record beside it.
  TRecoveryRecord record;
  ASSERT_TRUE(ParseRecoveryRecord(FileBytes(copy.substr(0, copy.size() - 4) + ".record"), record));
  EXPECT_EQ(record.DocumentPath, path);
  EXPECT_EQ(record.Caption, "survey.q3d");

  // Nothing changed since: nothing written.
  const auto before = Stamp(copy);
  EXPECT_TRUE(recovery.CopyChanged());
  EXPECT_EQ(Stamp(copy), before);
  form->ShiftModel(1, 0, 0);
  EXPECT_TRUE(recovery.CopyChanged());
  EXPECT_NE(Stamp(copy), before);
}

// The steps that may take much memory copy the changed documents first.
TEST_F(RecoveryCopies, EveryStepThatMayTakeMuchMemoryCopiesTheChangedDocumentsFirst) {
  struct TStepCase {
    const char* Name;
    std::function<void(TMainForm& frame, TForm3D& form, TFakeServices& services)> Step;
  };
  const TStepCase cases[] = {
      {"File > Open",
       [this](TMainForm& frame, TForm3D&, TFakeServices& services) {
         services.FileAnswers.push_back(Project("other.q3d"));
         frame.Open1->trigger();
       }},
      {"a recent file",
       [this](TMainForm& frame, TForm3D&, TFakeServices&) {
         frame.AddRecent(Project("recent.q3d"));
         frame.Name01Click();
       }},
      {"an Objects command (Create > Group, cancelled)",
       [](TMainForm&, TForm3D& form, TFakeServices&) {
         QMenu* create = view_testing::ActionOf(*form.ObjectsMenu, "&Create")->menu();
         view_testing::ActionOf(*create, "&Group")->trigger();
       }},
      {"Save picture",
       [](TMainForm&, TForm3D& form, TFakeServices&) {
         view_testing::ActionOf(*form.SceneMenu, "Save picture")->trigger();
       }},
  };
  for (const TStepCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TMainForm frame;
    frame.New1Click();
    TForm3D* form = frame.ActiveForm();
    ASSERT_NE(form, nullptr);
    form->ShiftModel(0, 0, 3);
    TProjectView view = ProjectViewOf(*form);
    TMemoryStream expected;
    ASSERT_TRUE(WriteProject(expected, GetProgramVersion(), view, form->GeologyList(), form->Root()));
    c.Step(frame, *form, services_);
    const std::string copy = frame.Recovery().CopyPathOf(*form);
    ASSERT_NE(copy, "");
    const std::string bytes = FileBytes(copy);
    EXPECT_EQ(bytes, std::string(expected.Data().begin(), expected.Data().end()));
  }
}

TEST_F(RecoveryCopies, TheCopyOpensAsAProjectAndSavesByteIdenticalToTheDocumentAtItsCopy) {
  TMainForm frame;
  frame.New1Click();
  TForm3D* form = frame.ActiveForm();
  ASSERT_NE(form, nullptr);
  form->Root().GetChild(1)->SetVisible(false);
  form->ShiftModel(10, 20, 30);
  ASSERT_TRUE(frame.Recovery().CopyChanged());
  const std::string copy = FileBytes(frame.Recovery().CopyPathOf(*form));
  TProject project = ReadProjectFile(frame.Recovery().CopyPathOf(*form), GetProgramVersion());
  ASSERT_TRUE(project.Root);
  EXPECT_EQ(project.Root->ChildCount(), 4);
  ASSERT_TRUE(SaveProject(*form, scratch_.File("saved.q3d")));
  EXPECT_EQ(FileBytes(scratch_.File("saved.q3d")), copy);
}

// Names a project file cannot hold, and ones it holds in another form, come back as
// typed: the save asks before it loses them, the copy never does.
TEST_F(RecoveryCopies, TheCopyBringsBackEveryCharacterOfTheDocument) {
  const std::string name = "\u0413\u043b\u0438\u043d\u0430 \u03c1=100 \u03a9\u00b7m, M\u00e4\u00dfig";
  TMainForm frame;
  frame.New1Click();
  TForm3D* form = frame.ActiveForm();
  ASSERT_NE(form, nullptr);
  form->Root().GetChild(3)->SetName(name);
  form->SetModified(true);
  ASSERT_TRUE(frame.Recovery().CopyChanged());
  std::unique_ptr<TForm3D> back(CreateFromRecoveryCopy(nullptr, frame.Recovery().CopyPathOf(*form), ""));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->Root().GetChild(3)->Name(), name);
}

// A Save, a Save as, a Discard at the close question and the normal end remove the
// copy; a Cancel keeps it.
TEST_F(RecoveryCopies, SaveDiscardAndTheNormalEndRemoveTheCopy) {
  struct TEndCase {
    const char* Name;
    std::function<void(TMainForm& frame, TForm3D& form, TFakeServices& services)> End;
    bool Kept;
  };
  const TEndCase cases[] = {
      {"Save", [](TMainForm& frame, TForm3D&, TFakeServices&) { frame.Save1Click(); }, false},
      {"Save as",
       [this](TMainForm& frame, TForm3D&, TFakeServices& services) {
         services.FileAnswers.push_back(scratch_.File("as.q3d"));
         frame.Saveas1Click();
       },
       false},
      {"Discard at the close question",
       [](TMainForm&, TForm3D& form, TFakeServices& services) {
         services.BoxAnswers.push_back(TMessageResult::Discard);
         form.SubWindow()->close();
       },
       false},
      {"Cancel at the close question",
       [](TMainForm&, TForm3D& form, TFakeServices& services) {
         services.BoxAnswers.push_back(TMessageResult::Cancel);
         form.SubWindow()->close();
       },
       true},
  };
  for (const TEndCase& c : cases) {
    SCOPED_TRACE(c.Name);
    services_.BoxAnswers.clear();
    std::string copy;
    {
      TMainForm frame;
      TForm3D* form = frame.OpenProject(Project("ending.q3d"));
      ASSERT_NE(form, nullptr);
      form->ShiftModel(1, 0, 0);
      ASSERT_TRUE(frame.Recovery().CopyChanged());
      copy = frame.Recovery().CopyPathOf(*form);
      ASSERT_TRUE(std::filesystem::exists(copy));
      c.End(frame, *form, services_);
      EXPECT_EQ(std::filesystem::exists(copy), c.Kept);
      // The normal end, the question answered.
      services_.BoxAnswers.push_back(TMessageResult::Discard);
      frame.close();
    }
    EXPECT_FALSE(std::filesystem::exists(copy));
    EXPECT_EQ(Folders(), std::vector<std::string>{});
  }
}

// A run's own copies are never offered while it runs; those of a run that ended
// are, to one start: Cancel keeps them for the next start, No discards them, Yes
// opens the document changed under its own name, and its Save writes the user's
// file as the document was at its copy.
TEST_F(RecoveryCopies, AnEndedRunsCopiesAreOfferedOnceAndOpenUnderTheirOwnName) {
  const std::string user = Project("user.q3d");
  std::string copyBytes;
  std::string savedBytes;  // what a save of the document wrote when it was copied
  {
    TMainForm running;
    TForm3D* form = running.OpenProject(user);
    ASSERT_NE(form, nullptr);
    form->Root().GetChild(2)->SetVisible(false);
    ASSERT_TRUE(running.Recovery().CopyChanged());
    copyBytes = FileBytes(running.Recovery().CopyPathOf(*form));
    TMemoryStream saved;
    ASSERT_TRUE(WriteProject(saved, GetProgramVersion(), ProjectViewOf(*form), form->GeologyList(), form->Root()));
    savedBytes.assign(saved.Data().begin(), saved.Data().end());
    // A second start while this run lives: not offered.
    TRecoveryStore other;
    EXPECT_TRUE(other.TakeEnded().empty());
    services_.BoxAnswers.push_back(TMessageResult::Discard);
    running.close();
  }
  ASSERT_NE(savedBytes, FileBytes(user));
  services_.Messages.clear();
  const std::string folder = LeftByEndedRun(EndedProcess(), copyBytes, user, "user.q3d");

  // Cancel: kept where the next start finds it.
  {
    TMainForm start;
    services_.BoxAnswers.push_back(TMessageResult::Cancel);
    start.OfferRecoveryCopies();
    ASSERT_EQ(services_.Messages.size(), 1u);
    EXPECT_NE(services_.Messages[0].Text.find("\"user.q3d\" (in \"" + scratch_.Path() + "\"), copied "),
              std::string::npos)
        << services_.Messages[0].Text;
    EXPECT_TRUE(start.Forms().empty());
    EXPECT_TRUE(std::filesystem::exists(folder + "/3.q3d"));
    // Taken by one start at a time: while one asks, another finds nothing.
    TRecoveryStore first;
    TRecoveryStore second;
    EXPECT_EQ(first.TakeEnded().size(), 1u);
    EXPECT_TRUE(second.TakeEnded().empty());
    first.RemoveAll();
  }
  // Yes: the user's document, changed, under its own name; the recent files stay.
  services_.Messages.clear();
  {
    TMainForm start;
    const auto recent = start.Recent();
    services_.BoxAnswers.push_back(TMessageResult::Yes);
    start.OfferRecoveryCopies();
    ASSERT_EQ(start.Forms().size(), 1u);
    TForm3D* form = start.Forms()[0];
    EXPECT_EQ(form->FileName(), user);
    EXPECT_EQ(form->CaptionText(), "user.q3d");
    EXPECT_TRUE(form->Modified());
    EXPECT_EQ(start.Recent(), recent);
    EXPECT_FALSE(std::filesystem::exists(folder));
    // This run holds its own copy of it now.
    EXPECT_EQ(FileBytes(start.Recovery().CopyPathOf(*form)), copyBytes);
    start.Save1Click();
    EXPECT_TRUE(services_.Messages.size() == 1u) << services_.Messages.back().Text;
    EXPECT_EQ(FileBytes(user), savedBytes);
    EXPECT_FALSE(form->Modified());
  }
  EXPECT_EQ(Folders(), std::vector<std::string>{});

  // No: discarded; a new document stays unnamed when opened.
  const std::string again = LeftByEndedRun(EndedProcess(), copyBytes, "", "Document");
  {
    TMainForm start;
    services_.BoxAnswers.push_back(TMessageResult::No);
    start.OfferRecoveryCopies();
    EXPECT_TRUE(start.Forms().empty());
    EXPECT_FALSE(std::filesystem::exists(again));
  }
  const std::string unnamed = LeftByEndedRun(EndedProcess(), copyBytes, "", "Document");
  {
    TMainForm start;
    services_.BoxAnswers.push_back(TMessageResult::Yes);
    start.OfferRecoveryCopies();
    ASSERT_EQ(start.Forms().size(), 1u);
    EXPECT_EQ(start.Forms()[0]->FileName(), "");
    EXPECT_TRUE(start.Forms()[0]->Modified());
    EXPECT_NE(services_.Messages.back().Text.find("(never saved)"), std::string::npos);
    services_.BoxAnswers.push_back(TMessageResult::Discard);
    start.close();
  }
  EXPECT_EQ(Folders(), std::vector<std::string>{});
}

TEST_F(RecoveryCopies, AFailedCopyIsToldOnceAndTheWorkGoesOn) {
  TMainForm frame;
  frame.New1Click();
  TForm3D* form = frame.ActiveForm();
  ASSERT_NE(form, nullptr);
  SetFileWriteFailureForTesting(ENOSPC);
  form->ShiftModel(1, 0, 0);
  EXPECT_FALSE(frame.Recovery().CopyChanged());
  ASSERT_EQ(services_.Messages.size(), 1u);
  EXPECT_NE(services_.Messages[0].Text.find("The recovery copy of Document cannot be written in \""),
            std::string::npos)
      << services_.Messages[0].Text;
  EXPECT_NE(services_.Messages[0].Text.find(ErrnoText(ENOSPC)), std::string::npos) << services_.Messages[0].Text;
  form->ShiftModel(1, 0, 0);
  EXPECT_FALSE(frame.Recovery().CopyChanged());
  EXPECT_EQ(services_.Messages.size(), 1u);
  EXPECT_TRUE(form->Modified());
  SetFileWriteFailureForTesting(0);
  EXPECT_TRUE(frame.Recovery().CopyChanged());
  EXPECT_NE(frame.Recovery().CopyPathOf(*form), "");
}

TEST(RecoveryRecord, ReadsBackWhatItWroteAndRefusesAnythingElse) {
  const TRecoveryRecord record{"/home/a b/odd\nname.q3d", "odd\nname.q3d",
                               std::chrono::system_clock::time_point(std::chrono::seconds(1700000000))};
  TRecoveryRecord read;
  const std::string text = RecoveryRecordText(record);
  ASSERT_TRUE(ParseRecoveryRecord(text, read));
  EXPECT_EQ(read.DocumentPath, record.DocumentPath);
  EXPECT_EQ(read.Caption, record.Caption);
  EXPECT_EQ(read.Time, record.Time);
  for (const std::string& damaged : {text.substr(0, text.size() - 1), text + "x", std::string("caption 3\nabc\n"),
                                     text.substr(0, text.find("caption")) + "caption 99\nabc\n"})
    EXPECT_FALSE(ParseRecoveryRecord(damaged, read)) << damaged;
}

}  // namespace
}  // namespace qira

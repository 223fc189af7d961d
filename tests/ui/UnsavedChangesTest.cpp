#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/GraphAxis.h"
#include "model/GraphMain.h"
#include "model/StreamHelpers.h"
#include "ui/MainFrame.h"
#include "ui/ProjectFile.h"
#include "ui/ProjectTestSupport.h"
#include "ui/ViewTestSupport.h"

namespace qira {
namespace {

using project_testing::Describe;
using project_testing::Projects;
using project_testing::WithVersion;

class UnsavedChanges : public view_testing::TViewWindowTest {};

struct TCommandCase {
  const char* Name;
  std::function<void(TForm3D& form, TFakeServices& services)> Command;
  bool Marks;
};

TEST_F(UnsavedChanges, CommandsThatChangeTheDocumentMarkItAndViewChangesDoNot) {
  const TCommandCase cases[] = {
      {"rename",
       [](TForm3D& f, TFakeServices& s) {
         s.InputAnswers.push_back("Bohrungen");
         f.Root().GetChild(0)->RenameClick();
       },
       true},
      {"rename cancelled", [](TForm3D& f, TFakeServices&) { f.Root().GetChild(0)->RenameClick(); }, false},
      {"new group",
       [](TForm3D& f, TFakeServices& s) {
         s.InputAnswers.push_back("Group");
         f.Root().GetChild(3)->CreateGroupClick();
       },
       true},
      {"new axis",
       [](TForm3D& f, TFakeServices&) { f.Root().GetChild(3)->AddNewObject(std::make_unique<TGraphAxis>(), false); },
       true},
      {"delete",
       [](TForm3D& f, TFakeServices& s) {
         s.BoxAnswers.push_back(TMessageResult::Yes);
         DeleteGraphObjectClick(*f.Root().GetChild(1));
       },
       true},
      {"delete refused",
       [](TForm3D& f, TFakeServices& s) {
         s.BoxAnswers.push_back(TMessageResult::No);
         DeleteGraphObjectClick(*f.Root().GetChild(1));
       },
       false},
      {"hidden by its check box",
       [](TForm3D& f, TFakeServices&) { f.TreeViewCheckBoxClick(f.Root().GetChild(0)->GetTreeNode(), false); },
       true},
      {"transparency of a confirmed edit",
       [](TForm3D& f, TFakeServices&) { f.Root().GetChild(3)->ApplyTransparency(100); }, true},
      {"centre set", [](TForm3D& f, TFakeServices&) { f.SetModelCenter(1000, 2000, 50); }, true},
      {"model moved", [](TForm3D& f, TFakeServices&) { f.ShiftModel(0, 0, 2.5); }, true},
      {"view turned, zoomed and reset",
       [](TForm3D& f, TFakeServices&) {
         f.ZoomView(0.5);
         f.ResetView();
       },
       false},
  };
  for (const TCommandCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto form = NewDocument();
    ASSERT_FALSE(form->Modified());
    c.Command(*form, services_);
    EXPECT_EQ(form->Modified(), c.Marks);
    EXPECT_EQ(form->isWindowModified(), c.Marks);
  }
}

TEST_F(UnsavedChanges, SavingClearsTheMarkAndALoadedProjectStartsUnmarked) {
  auto form = NewDocument();
  form->ShiftModel(1, 2, 3);
  EXPECT_EQ(form->windowTitle().toStdString(), "Document[*]");
  const std::string path = scratch_.File("saved.q3d");
  ASSERT_TRUE(SaveProject(*form, path));
  EXPECT_FALSE(form->Modified());
  std::unique_ptr<TForm3D> opened(CreateFromFile(nullptr, path));
  ASSERT_NE(opened, nullptr);
  EXPECT_FALSE(opened->Modified());
  EXPECT_EQ(opened->windowTitle().toStdString(), "saved.q3d[*]");
}

// What becomes of a named document's file after the document read or wrote it. A
// file removed since is saved again with no question about it.
enum class TOnDisk { Removed, Untouched, ChangedByAnother };

struct TCloseCase {
  const char* Name;
  bool Named;                             // saved once before the change
  TMessageResult Answer;                  // to "Save changes to ...?"
  std::optional<std::string> SaveAsName;  // the save dialog's answer (unnamed document)
  bool Closes;
  bool Written;
  bool FullScreen = false;  // the view covers the screen: its sub-window stands empty
  TOnDisk OnDisk = TOnDisk::Removed;
  // The answer to "... has been changed by another program ... Save over it?", which
  // only a file changed on disk asks.
  std::optional<TMessageResult> SaveOver = std::nullopt;
  bool Opened = false;  // the named document read its file rather than wrote it
};

TEST_F(UnsavedChanges, ClosingAModifiedWindowAsksSaveDiscardOrCancel) {
  const TCloseCase cases[] = {
      {"cancel keeps the window", true, TMessageResult::Cancel, std::nullopt, false, false},
      {"discard closes without writing", true, TMessageResult::Discard, std::nullopt, true, false},
      {"save writes under the name and closes", true, TMessageResult::Save, std::nullopt, true, true},
      {"save of a new document asks for a name", false, TMessageResult::Save, "new.q3d", true, true},
      {"a cancelled name keeps the window", false, TMessageResult::Save, std::nullopt, false, false},
      {"a failed save keeps the window", false, TMessageResult::Save, "no/such/folder/x.q3d", false, false},
      {"discard on the emptied sub-window of a full-screen view closes the document", true,
       TMessageResult::Discard, std::nullopt, true, false, true},
      {"cancel on the emptied sub-window puts the view back full screen", true, TMessageResult::Cancel,
       std::nullopt, false, false, true},
      {"save over a file unchanged since it was saved asks nothing more", true, TMessageResult::Save,
       std::nullopt, true, true, false, TOnDisk::Untouched},
      {"save over a file unchanged since it was opened asks nothing more", true, TMessageResult::Save,
       std::nullopt, true, true, false, TOnDisk::Untouched, std::nullopt, true},
      {"save over a file another program changed since it was opened asks, and yes writes", true,
       TMessageResult::Save, std::nullopt, true, true, false, TOnDisk::ChangedByAnother, TMessageResult::Yes, true},
      {"no to saving over a file another program changed since it was opened keeps its content", true,
       TMessageResult::Save, std::nullopt, false, false, false, TOnDisk::ChangedByAnother, TMessageResult::No, true},
      {"no to saving over a file another program changed since it was saved keeps its content", true,
       TMessageResult::Save, std::nullopt, false, false, false, TOnDisk::ChangedByAnother, TMessageResult::No},
  };
  const std::string othersSave = "what another program saved";
  int n = 0;
  for (const TCloseCase& c : cases) {
    SCOPED_TRACE(c.Name);
    QMdiArea area;
    TForm3D* form = TForm3D::CreateNewDocument(&area);
    QPointer<QWidget> sub = form->FrameWidget();
    QPointer<TForm3D> document = form;
    const std::string path = c.Named ? scratch_.File("named" + std::to_string(++n) + ".q3d")
                                     : (c.SaveAsName ? scratch_.File(*c.SaveAsName) : std::string());
    if (c.Named) {
      if (c.Opened) {
        ASSERT_TRUE(SaveProject(*NewDocument(), path));
        ASSERT_TRUE(LoadProject(*form, path));
      } else {
        ASSERT_TRUE(SaveProject(*form, path));
      }
      const std::string name = std::filesystem::path(path).filename().string();
      if (c.OnDisk == TOnDisk::Removed) std::filesystem::remove(path);
      if (c.OnDisk == TOnDisk::ChangedByAnother) scratch_.Put(name, othersSave);
    } else {
      services_.FileAnswers.push_back(path.empty() ? std::nullopt : std::optional<std::string>(path));
    }
    form->ShiftModel(5, 0, 0);
    if (c.FullScreen) {
      area.show();
      form->ToggleFullScreen();
      ASSERT_TRUE(form->FullScreen());
    }
    services_.Messages.clear();
    services_.BoxAnswers = {c.Answer};
    if (c.SaveOver) services_.BoxAnswers.push_back(*c.SaveOver);

    sub->close();  // the sub-window's close button
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    ASSERT_FALSE(services_.Messages.empty());
    EXPECT_EQ(std::count_if(services_.Messages.begin(), services_.Messages.end(),
                            [](const auto& m) { return m.Text.starts_with("Save changes to "); }),
              1);
    EXPECT_EQ(document.isNull(), c.Closes);
    EXPECT_EQ(view_testing::ShownWindows(true).empty(), !c.FullScreen || c.Closes);
    EXPECT_EQ(services_.Messages[0].Text,
              "Save changes to " + (c.Named ? std::filesystem::path(path).filename().string() : "Document") + "?");
    EXPECT_EQ(services_.Messages[0].Buttons, TMessageButtons::SaveDiscardCancel);
    const auto saveOver = std::find_if(services_.Messages.begin(), services_.Messages.end(),
                                       [&](const auto& m) { return m.Text == ProjectChangedOnDiskText(path); });
    EXPECT_EQ(saveOver != services_.Messages.end(), c.SaveOver.has_value());
    if (saveOver != services_.Messages.end()) EXPECT_EQ(saveOver->Buttons, TMessageButtons::YesNo);
    EXPECT_EQ(sub.isNull(), c.Closes);
    if (c.OnDisk == TOnDisk::ChangedByAnother) {
      EXPECT_EQ(scratch_.Get(std::filesystem::path(path).filename().string()) != othersSave, c.Written);
    } else {
      EXPECT_EQ(!path.empty() && std::filesystem::exists(path), c.Written);
    }
    if (!c.Closes && document) {
      EXPECT_TRUE(form->Modified());
      EXPECT_EQ(form->FullScreen(), c.FullScreen);
      if (form->FullScreen()) form->ToggleFullScreen();
    }
    delete sub.data();
  }
}

TEST_F(UnsavedChanges, SaveAsOntoTheFileOfAnotherOpenDocumentIsRefusedAndWritesNothing) {
  scratch_.Put("held.q3d", WithVersion(Projects().Bytes("current.q3d"), GetProgramVersion()));
  const std::string held = scratch_.File("held.q3d");
  std::unique_ptr<TForm3D> holder(CreateFromFile(nullptr, held));
  ASSERT_NE(holder, nullptr);
  std::filesystem::create_symlink(held, scratch_.File("link.q3d"));
  std::filesystem::create_directory(scratch_.File("folder"));
  const std::string bytes = scratch_.Get("held.q3d");
  struct TSaveAsCase {
    const char* Name;
    std::string Path;
    bool ByTheHolder;  // the document that holds the file saves as
    bool Refused;
  };
  const TSaveAsCase cases[] = {
      {"its very name", held, false, true},
      {"through a link", scratch_.File("link.q3d"), false, true},
      {"through another folder", scratch_.File("folder/../held.q3d"), false, true},
      {"a name no document holds", scratch_.File("free.q3d"), false, false},
      {"the holder onto its own file", held, true, false},
  };
  for (const TSaveAsCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::unique_ptr<TForm3D> other = NewDocument();
    TForm3D& saving = c.ByTheHolder ? *holder : *other;
    saving.ShiftModel(1, 0, 0);
    services_.Messages.clear();
    services_.FileAnswers = {c.Path};
    EXPECT_EQ(SaveProjectAs(saving), !c.Refused);
    EXPECT_EQ(saving.Modified(), c.Refused);
    if (c.Refused) {
      EXPECT_EQ(services_.Texts(), std::vector<std::string>{ProjectOpenElsewhereText(c.Path)});
      EXPECT_EQ(scratch_.Get("held.q3d"), bytes);
    }
  }
  EXPECT_EQ(ProjectOpenElsewhereText("/p/b.q3d"),
            "Cannot create file \"/p/b.q3d\". It is open in another window: close it there first, or choose "
            "another name.");
}

TEST_F(UnsavedChanges, ExitAsksEveryModifiedWindowAndCancelKeepsAllOpen) {
  TMainForm frame;
  frame.setAttribute(Qt::WA_QuitOnClose, false);
  for (int i = 0; i < 3; ++i) frame.New1Click();
  const std::vector<TForm3D*> forms = frame.Forms();
  forms[0]->ShiftModel(1, 0, 0);
  forms[2]->ShiftModel(1, 0, 0);  // the middle one is unchanged: no question

  services_.BoxAnswers = {TMessageResult::Discard, TMessageResult::Cancel};
  EXPECT_FALSE(frame.close());
  EXPECT_EQ(services_.Messages.size(), 2u);
  EXPECT_EQ(frame.Forms().size(), 3u);
  EXPECT_TRUE(forms[0]->Modified());

  services_.Messages.clear();
  services_.BoxAnswers = {TMessageResult::Discard, TMessageResult::Discard};
  EXPECT_TRUE(frame.close());
  EXPECT_EQ(services_.Messages.size(), 2u);
}

TEST_F(UnsavedChanges, ObjectsOfANewerProgramAreToldAndTheFileIsLeftAlone) {
  scratch_.Put("newer.q3d", WithVersion(Projects().Bytes("object_newer.q3d"), GetProgramVersion()));
  const std::string before = scratch_.Get("newer.q3d");
  std::unique_ptr<TForm3D> form(CreateFromFile(nullptr, scratch_.File("newer.q3d")));
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(Describe(form->Root()), "{Objects{Axis}}");
  ASSERT_EQ(services_.Messages.size(), 1u);
  EXPECT_EQ(services_.Messages[0].Kind, TMessageKind::Warning);
  EXPECT_NE(services_.Messages[0].Text.find("newer.q3d: 1 object was skipped: it was written by a newer version"),
            std::string::npos);
  EXPECT_FALSE(form->Modified());
  EXPECT_EQ(scratch_.Get("newer.q3d"), before);
}

}  // namespace
}  // namespace qira

#include "ui/MainFrame.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTextDocument>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/Settings.h"
#include "model/StreamHelpers.h"
#include "ui/FrameDialogs.h"
#include "ui/ProjectFile.h"
#include "ui/ProjectTestSupport.h"
#include "ui/QtServices.h"
#include "ui/ViewTestSupport.h"
#include "support/EnvVar.h"

namespace qira {
namespace {

using project_testing::Describe;
using project_testing::Projects;
using project_testing::WithVersion;

class MainFrame : public view_testing::TViewWindowTest {
 protected:
  void TearDown() override {
    SetFileVersionDialog(nullptr);
    view_testing::TViewWindowTest::TearDown();
  }

  // An empty project file named name in the scratch folder.
  std::string Project(const std::string& name) {
    scratch_.Put(name, WithVersion(Projects().Bytes("current.q3d"), GetProgramVersion()));
    return scratch_.File(name);
  }

  std::vector<std::string> RecentList(const TMainForm& frame) {
    return std::vector<std::string>(frame.Recent().begin(), frame.Recent().end());
  }
};

// ------------------------------------------------------------------ documents and menus

TEST_F(MainFrame, StartsWithTheFrameMenusOnly) {
  TMainForm frame;
  EXPECT_EQ(frame.windowTitle().toStdString(), "QIRA 3D Viewer");
  EXPECT_EQ(QGuiApplication::applicationDisplayName().toStdString(), "QIRA 3D Viewer");
  EXPECT_EQ(frame.MenuBarCaptions(), (std::vector<std::string>{"File", "Window", "Help"}));
  std::vector<std::string> file;
  for (QAction* a : frame.FileMenu->actions())
    if (!a->isSeparator() && a->isVisible()) file.push_back(a->text().toStdString());
  EXPECT_EQ(file, (std::vector<std::string>{"New", "Open", "Save", "Save as", "Parameters", "Exit"}));
  EXPECT_EQ(view_testing::Captions(*frame.WindowMenu),
            (std::vector<std::string>{"Cascade", "Tile Horizontal", "Tile Vertical"}));
  EXPECT_EQ(view_testing::Captions(*frame.HelpMenu), std::vector<std::string>{"About"});
  EXPECT_TRUE(frame.Forms().empty());
}

TEST_F(MainFrame, NewOpensAWindowWithTheFourGroupsAndMergesItsMenus) {
  TMainForm frame;
  frame.New1->trigger();
  ASSERT_EQ(frame.Forms().size(), 1u);
  TForm3D* form = frame.ActiveForm();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(Describe(form->Root()), "{Boreholes Sections Potential sections Objects{Axis}}");
  EXPECT_EQ(frame.MenuBarCaptions(), (std::vector<std::string>{"File", "Scene", "Objects", "Window", "Help"}));

  // Closing the last window takes its menus away again.
  delete frame.MdiArea->subWindowList().front();
  frame.MergeMenus();
  EXPECT_EQ(frame.MenuBarCaptions(), (std::vector<std::string>{"File", "Window", "Help"}));
}

TEST_F(MainFrame, MenusMergeFromTheActiveChild) {
  TMainForm frame;
  frame.New1Click();
  frame.New1Click();
  ASSERT_EQ(frame.Forms().size(), 2u);
  TForm3D* first = frame.Forms()[0];
  TForm3D* second = frame.Forms()[1];
  EXPECT_EQ(frame.ActiveForm(), second);
  const QList<QAction*> bar = frame.menuBar()->actions();
  ASSERT_EQ(bar.size(), 5);
  EXPECT_EQ(bar[1], second->SceneMenu->menuAction());
  frame.MdiArea->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(first->FrameWidget()));
  frame.MergeMenus();
  EXPECT_EQ(frame.menuBar()->actions()[1], first->SceneMenu->menuAction());
  EXPECT_EQ(frame.menuBar()->actions()[2], first->ObjectsMenu->menuAction());
}

TEST_F(MainFrame, MergingReplacesTheFrameGroupsTheChildHas) {
  QMenu file("File"), window("Window"), help("Help"), scene("Scene"), objects("Objects"), other("Other");
  file.setProperty("GroupIndex", 0);
  window.setProperty("GroupIndex", 2);
  help.setProperty("GroupIndex", 2);
  scene.setProperty("GroupIndex", 1);
  objects.setProperty("GroupIndex", 1);
  other.setProperty("GroupIndex", 2);
  auto titles = [](const std::vector<QMenu*>& menus) {
    std::vector<std::string> out;
    for (QMenu* m : menus) out.push_back(m->title().toStdString());
    return out;
  };
  EXPECT_EQ(titles(MergeMenuGroups({&file, &window, &help}, {&scene, &objects})),
            (std::vector<std::string>{"File", "Scene", "Objects", "Window", "Help"}));
  EXPECT_EQ(titles(MergeMenuGroups({&file, &window, &help}, {&other})), (std::vector<std::string>{"File", "Other"}));
  EXPECT_EQ(titles(MergeMenuGroups({&file, &window, &help}, {})),
            (std::vector<std::string>{"File", "Window", "Help"}));
}

TEST_F(MainFrame, SaveAsWritesAFileThatOpenReadsBackIntoTheSameTree) {
  TMainForm frame;
  frame.New1Click();
  TForm3D* form = frame.ActiveForm();
  ASSERT_NE(form, nullptr);
  form->Root().GetChild(1)->SetVisible(false);
  const std::string path = scratch_.File("saved.q3d");
  services_.FileAnswers.push_back(path);
  frame.Saveas1->trigger();
  EXPECT_EQ(form->FileName(), path);
  EXPECT_EQ(frame.Recent()[0], path);

  delete form->FrameWidget();
  services_.FileAnswers.push_back(path);
  frame.Open1->trigger();
  ASSERT_EQ(services_.FileCalls.size(), 2u);
  EXPECT_FALSE(services_.FileCalls[1].Save);
  EXPECT_EQ(services_.FileCalls[1].Request.Filter, "QIRA 3D files (*.q3d)|*.q3d|All files (*.*)|*.*");
  EXPECT_EQ(services_.FileCalls[1].Request.DefaultExt, "q3d");
  ASSERT_EQ(frame.Forms().size(), 1u);
  TForm3D* opened = frame.ActiveForm();
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(Describe(opened->Root()), "{Boreholes -Sections Potential sections Objects{Axis}}");
  EXPECT_EQ(opened->CaptionText(), "saved.q3d");
}

TEST_F(MainFrame, SaveOnANewWindowAsksForANameAndOnANamedOneDoesNot) {
  TMainForm frame;
  frame.Save1Click();  // no window: nothing
  EXPECT_TRUE(services_.FileCalls.empty());
  frame.New1Click();
  frame.Save1Click();
  ASSERT_EQ(services_.FileCalls.size(), 1u);
  EXPECT_TRUE(services_.FileCalls[0].Save);

  services_.FileAnswers.push_back(scratch_.File("a.q3d"));
  frame.Save1Click();
  EXPECT_EQ(frame.ActiveForm()->FileName(), scratch_.File("a.q3d"));
  frame.Save1Click();
  EXPECT_EQ(services_.FileCalls.size(), 2u);
  EXPECT_TRUE(services_.Messages.empty());
}

TEST_F(MainFrame, OpeningAMissingFileSaysSoAndAnOpenOneComesForward) {
  TMainForm frame;
  EXPECT_EQ(frame.OpenProject(scratch_.File("gone.q3d")), nullptr);
  EXPECT_EQ(services_.Texts(), std::vector<std::string>{"File gone.q3d not found"});
  const std::string path = Project("p.q3d");
  TForm3D* first = frame.OpenProject(path);
  ASSERT_NE(first, nullptr);
  frame.New1Click();
  ASSERT_NE(frame.ActiveForm(), first);
  // The same file under another spelling of its path.
  EXPECT_EQ(frame.OpenProject(scratch_.Path() + "/./p.q3d"), first);
  EXPECT_EQ(frame.Forms().size(), 2u);
  EXPECT_EQ(frame.ActiveForm(), first);
}

TEST_F(MainFrame, ProjectDialogsStartInTheLastProjectFolderAndRecentNamesAreAbsolute) {
  std::filesystem::create_directory(scratch_.File("sub"));
  scratch_.Put("sub/p.q3d", WithVersion(Projects().Bytes("current.q3d"), GetProgramVersion()));
  const std::filesystem::path workingFolder = std::filesystem::current_path();
  std::filesystem::current_path(scratch_.Path());
  {
    TMainForm frame;
    TForm3D* form = frame.OpenProject("sub/p.q3d");
    std::filesystem::current_path(workingFolder);
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(std::filesystem::path(frame.Recent()[0]).is_absolute());
    EXPECT_TRUE(std::filesystem::equivalent(frame.Recent()[0], scratch_.File("sub/p.q3d")));
    EXPECT_EQ(form->FileName(), frame.Recent()[0]);

    frame.Open1Click();
    frame.New1Click();
    frame.Saveas1Click();
    ASSERT_EQ(services_.FileCalls.size(), 2u);
    for (const TFakeServices::TFileCall& call : services_.FileCalls)
      EXPECT_TRUE(std::filesystem::equivalent(call.Request.InitialDir, scratch_.File("sub")));
  }
  // The next start begins in the folder of the newest recent project.
  SetProjectFolderFrom(workingFolder.string() + "/elsewhere.q3d");
  TMainForm next;
  EXPECT_TRUE(std::filesystem::equivalent(ProjectFolder(), scratch_.File("sub")));
}

TEST_F(MainFrame, DamagedProjectLeavesNoWindow) {
  TMainForm frame;
  scratch_.Put("bad.q3d", WithVersion(Projects().Bytes("cut_in_tree.q3d"), GetProgramVersion()));
  EXPECT_EQ(frame.OpenProject(scratch_.File("bad.q3d")), nullptr);
  EXPECT_TRUE(frame.MdiArea->subWindowList().isEmpty());
  EXPECT_EQ(services_.Texts(), std::vector<std::string>{"File bad.q3d has invalid format"});
  EXPECT_EQ(frame.MenuBarCaptions(), (std::vector<std::string>{"File", "Window", "Help"}));
}

// ------------------------------------------------------------------ recent files

TEST_F(MainFrame, RecentListKeepsFiveNewestFirstWithoutRepeats) {
  TMainForm frame;
  std::vector<std::string> paths;
  for (const char* name : {"a.q3d", "b.q3d", "c.q3d", "d.q3d", "e.q3d", "f.q3d"}) paths.push_back(Project(name));
  frame.AddRecent(paths[0]);
  frame.AddRecent(paths[1]);
  frame.AddRecent(paths[0]);
  EXPECT_EQ(RecentList(frame), (std::vector<std::string>{paths[0], paths[1], "", "", ""}));
  for (const std::string& p : paths) frame.AddRecent(p);
  EXPECT_EQ(RecentList(frame), (std::vector<std::string>{paths[5], paths[4], paths[3], paths[2], paths[1]}));
  frame.AddRecent(scratch_.File("missing.q3d"));
  EXPECT_EQ(frame.Recent()[0], paths[5]);
}

TEST_F(MainFrame, RecentMenuShowsNumberAndNameAndOpensTheFile) {
  TMainForm frame;
  EXPECT_FALSE(frame.RecentSeparator->isVisible());
  for (QAction* item : frame.RecentItems) EXPECT_FALSE(item->isVisible());
  const std::string a = Project("first.q3d");
  const std::string b = Project("second.q3d");
  frame.AddRecent(a);
  frame.AddRecent(b);
  EXPECT_TRUE(frame.RecentSeparator->isVisible());
  EXPECT_EQ(frame.RecentItems[0]->text().toStdString(), "1 second.q3d");
  EXPECT_EQ(frame.RecentItems[1]->text().toStdString(), "2 first.q3d");
  EXPECT_FALSE(frame.RecentItems[2]->isVisible());
  frame.RecentItems[1]->trigger();
  ASSERT_EQ(frame.Forms().size(), 1u);
  EXPECT_EQ(frame.ActiveForm()->FileName(), a);
  EXPECT_EQ(frame.Recent()[0], a);
}

TEST_F(MainFrame, RecentFilesAreKeptInTheSettingsAndMissingOnesDropped) {
  const std::string a = Project("a.q3d");
  const std::string b = Project("b.q3d");
  const std::string c = Project("c.q3d");
  {
    TMainForm frame;
    frame.AddRecent(a);
    frame.AddRecent(b);
    frame.AddRecent(c);
  }
  EXPECT_EQ(ReadSetting(SettingKeys::RecentFile1, ""), c);
  EXPECT_EQ(ReadSetting(SettingKeys::RecentFile3, ""), a);
  EXPECT_EQ(SettingsIni().ReadString("Main Section", "FName4", "unset"), "");
  std::filesystem::remove(b);
  TMainForm next;
  EXPECT_EQ(RecentList(next), (std::vector<std::string>{c, a, "", "", ""}));
}

// ------------------------------------------------------------------ command line, windows, dialogs

TEST_F(MainFrame, CommandLineProjectOpensOnceInFullScreen) {
  const std::string path = Project("start.q3d");
  for (const std::string& line : {path, "\"" + path + "\""}) {
    SCOPED_TRACE(line);
    TMainForm frame;
    frame.SetCommandLine(line);
    frame.FormActivate();
    ASSERT_EQ(frame.Forms().size(), 1u);
    EXPECT_TRUE(frame.Forms()[0]->FullScreen());
    frame.Forms()[0]->ToggleFullScreen();
    frame.FormActivate();  // the command line was cleared
    EXPECT_EQ(frame.Forms().size(), 1u);
  }
  TMainForm empty;
  empty.SetCommandLine("");
  empty.FormActivate();
  EXPECT_TRUE(empty.Forms().empty());
}

TEST_F(MainFrame, CommandLineProjectOpensWhenTheFrameIsShown) {
  TMainForm frame;
  frame.SetCommandLine(Project("shown.q3d"));
  frame.show();
  EXPECT_TRUE(RunEventLoopFor(2000, [&] { return !frame.Forms().empty(); }));
  ASSERT_EQ(frame.Forms().size(), 1u);
  frame.Forms()[0]->ToggleFullScreen();
}

// A save in place killed in an earlier run: the frame's start says which file and
// where its earlier content is, whether the file is probably incomplete or may be
// whole (all written before the machine stopped), and how to restore it, once; a
// copy the kill left unfinished goes unsaid. Opening the cut file says where its
// earlier content is.
TEST_F(MainFrame, AnInterruptedSaveIsToldOnceAtTheStart) {
  TEnvVar stateHome("XDG_STATE_HOME", scratch_.File("state").c_str());
  const pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ::waitpid(ended, nullptr, 0);
  const std::string saves = scratch_.File("state/qira3d/interrupted-saves/");
  const std::string whole = saves + std::to_string(ended) + "-0-1";
  const std::string unfinished = saves + std::to_string(ended) + "-1-1";
  const std::string written = saves + std::to_string(ended) + "-2-1";
  std::filesystem::create_directories(whole);
  std::filesystem::create_directories(unfinished);
  std::filesystem::create_directories(written);
  scratch_.Put("cut.q3d", WithVersion(Projects().Bytes("cut_in_tree.q3d"), GetProgramVersion()));
  std::ofstream(whole + "/target") << scratch_.File("cut.q3d");
  std::ofstream(whole + "/earlier.q3d") << "old";
  std::ofstream(unfinished + "/target") << "/home/user/other.q3d";
  std::ofstream(unfinished + "/earlier.q3d.part") << "ol";
  // Every byte handed to the system in a boot that ended since.
  std::ofstream(written + "/target") << "/home/user/stopped.q3d";
  std::ofstream(written + "/earlier.q3d") << "old";
  std::ofstream(written + "/process") << "1 00000000-1111-2222-3333-444444444444\n";
  std::ofstream(written + "/written");
  {
    TMainForm frame;
    frame.show();
    ASSERT_TRUE(RunEventLoopFor(60000, [&] { return !services_.Messages.empty(); }));
    ASSERT_EQ(services_.Messages.size(), 1u);
    const std::string& text = services_.Messages[0].Text;
    // Each save's line, up to its end, by the file it names.
    const auto line = [&text](const std::string& target, const std::string& folder) {
      const size_t at = text.find("\"" + target + "\": in \"" + folder + "/earlier.q3d\" (saved ");
      return at == std::string::npos ? std::string() : text.substr(at, text.find('\n', at) - at);
    };
    EXPECT_TRUE(line(scratch_.File("cut.q3d"), whole).ends_with(", probably incomplete)")) << text;
    EXPECT_TRUE(line("/home/user/stopped.q3d", written).ends_with(", may be whole)")) << text;
    EXPECT_NE(text.find("copy its earlier content over it"), std::string::npos) << text;
    EXPECT_NE(text.find("keep it and delete its earlier content"), std::string::npos) << text;
    EXPECT_EQ(text.find("other.q3d"), std::string::npos) << text;
  }
  services_.Messages.clear();
  TMainForm next;
  next.TellInterruptedSaves();
  EXPECT_TRUE(services_.Messages.empty());
  EXPECT_TRUE(std::filesystem::exists(whole + "/earlier.q3d"));
  EXPECT_FALSE(std::filesystem::exists(unfinished));
  EXPECT_EQ(next.OpenProject(scratch_.File("cut.q3d")), nullptr);
  ASSERT_EQ(services_.Messages.size(), 1u);
  EXPECT_NE(services_.Messages[0].Text.find("kept in \"" + whole + "/earlier.q3d\""), std::string::npos)
      << services_.Messages[0].Text;
}

TEST(MainFrameTiling, WindowsShareTheAreaWithoutGaps) {
  const QRect area(0, 0, 900, 600);
  EXPECT_EQ(TileRects(2, area, true), (std::vector<QRect>{QRect(0, 0, 900, 300), QRect(0, 300, 900, 300)}));
  EXPECT_EQ(TileRects(2, area, false), (std::vector<QRect>{QRect(0, 0, 450, 600), QRect(450, 0, 450, 600)}));
  EXPECT_EQ(TileRects(3, area, false).back(), QRect(600, 0, 300, 600));
  // Five windows: two columns, the second holding three.
  const std::vector<QRect> five = TileRects(5, area, true);
  ASSERT_EQ(five.size(), 5u);
  EXPECT_EQ(five[0], QRect(0, 0, 450, 300));
  EXPECT_EQ(five[2], QRect(450, 0, 450, 200));
  EXPECT_EQ(five[4], QRect(450, 400, 450, 200));
  int covered = 0;
  for (int n = 1; n <= 12; ++n) {
    covered = 0;
    for (const QRect& r : TileRects(n, area, n % 2 == 0)) covered += r.width() * r.height();
    EXPECT_EQ(covered, 900 * 600) << n;
  }
  EXPECT_TRUE(TileRects(0, area, true).empty());
}

TEST_F(MainFrame, TileAndCascadeArrangeTheWindows) {
  TMainForm frame;
  frame.resize(1000, 800);
  frame.show();
  frame.New1Click();
  frame.New1Click();
  frame.TileVertical1->trigger();
  const QList<QMdiSubWindow*> subs = frame.MdiArea->subWindowList();
  ASSERT_EQ(subs.size(), 2);
  const QRect area = frame.MdiArea->viewport()->rect();
  EXPECT_EQ(subs[0]->geometry(), QRect(0, 0, area.width() / 2, area.height()));
  frame.TileHorizontal1->trigger();
  EXPECT_EQ(subs[1]->geometry().top(), area.height() / 2);
  EXPECT_EQ(subs[1]->geometry().width(), area.width());
  frame.Cascade1->trigger();
  EXPECT_NE(subs[0]->geometry().topLeft(), subs[1]->geometry().topLeft());
  for (QMdiSubWindow* sub : subs) {
    EXPECT_GE(sub->width(), area.width() * 2 / 3);
    EXPECT_GE(sub->height(), area.height() * 2 / 3);
    EXPECT_TRUE(area.contains(sub->geometry()));
  }
}

TEST_F(MainFrame, NewWindowsOpenInsideTheFrameAndNotOnTopOfEachOther) {
  TMainForm frame;
  frame.resize(1000, 800);
  frame.show();
  // The last closed window stood in a larger frame.
  WriteSetting(SettingKeys::FormLeft, 700);
  WriteSetting(SettingKeys::FormTop, 500);
  WriteSetting(SettingKeys::FormWidth, 900);
  WriteSetting(SettingKeys::FormHeight, 700);
  frame.New1Click();
  frame.New1Click();
  const QRect area = frame.MdiArea->viewport()->rect();
  const QList<QMdiSubWindow*> subs = frame.MdiArea->subWindowList();
  ASSERT_EQ(subs.size(), 2);
  for (QMdiSubWindow* sub : subs) EXPECT_TRUE(area.contains(sub->geometry())) << sub->geometry().x();
  EXPECT_NE(subs[0]->geometry().topLeft(), subs[1]->geometry().topLeft());
}

TEST(MainFrameCascade, WindowsKeepAUsableSizeAndStayInside) {
  const QRect area(0, 0, 900, 600);
  EXPECT_EQ(CascadeRects(2, area, 30), (std::vector<QRect>{QRect(0, 0, 870, 570), QRect(30, 30, 870, 570)}));
  // Many windows: two thirds of the area each, the cascade starting over.
  const std::vector<QRect> many = CascadeRects(20, area, 30);
  for (const QRect& r : many) {
    EXPECT_EQ(r.size(), QSize(600, 400));
    EXPECT_TRUE(area.contains(r));
  }
  EXPECT_EQ(many[7].topLeft(), QPoint(0, 0));
  EXPECT_EQ(FitInside(QRect(700, 500, 900, 300), area), QRect(0, 300, 900, 300));
  EXPECT_EQ(FitInside(QRect(-50, 10, 100, 100), area), QRect(0, 10, 100, 100));
}

TEST_F(MainFrame, ParametersDialogSetsTheFullScreenModeOnlyOnOk) {
  Win7FullScreenMode = false;
  TParamsForm dialog;
  EXPECT_EQ(dialog.windowTitle().toStdString(), "Parameters");
  EXPECT_EQ(dialog.IndependentViewer->text().toStdString(), "Use independent full screen viewer");
  EXPECT_FALSE(dialog.IndependentViewer->isChecked());
  dialog.IndependentViewer->setChecked(true);
  EXPECT_FALSE(Win7FullScreenMode);  // nothing before OK
  dialog.Apply();
  EXPECT_TRUE(Win7FullScreenMode);
  Win7FullScreenMode = false;
}

TEST_F(MainFrame, VersionDialogNamesBothVersions) {
  TFileVersionForm form(nullptr, "/some/where/new.q3d", 2020000);
  EXPECT_EQ(form.windowTitle().toStdString(), "Software updates");
  EXPECT_EQ(form.FileNameLabel->text().toStdString(), "new.q3d");
  EXPECT_EQ(form.FileVersionLabel->text().toStdString(), "2.2.0.0");
  EXPECT_EQ(form.ProgramVersionLabel->text().toStdString(), GetProgramVersionText());
  TAboutForm about;
  EXPECT_EQ(about.windowTitle().toStdString(), "About");
  EXPECT_EQ(about.VersionLabel->text().toStdString(), "Version: " + GetProgramVersionText());

  // A file name that looks like markup is shown as it is named.
  TFileVersionForm tagged(nullptr, "/some/where/<b>new.q3d", 2020000);
  EXPECT_EQ(tagged.FileNameLabel->text().toStdString(), "<b>new.q3d");
  EXPECT_EQ(tagged.FileNameLabel->textFormat(), Qt::PlainText);
}

// Messages and questions name the user's files and objects as they are named: a name
// that looks like markup is neither bold nor lost.
TEST_F(MainFrame, MessagesAndQuestionsShowNamesAsTyped) {
  TQtServices services;
  const std::string text = "Save changes to <b>bold.q3d?";
  ASSERT_TRUE(Qt::mightBeRichText(QString::fromStdString(text)));
  struct TRow {
    const char* what;
    std::function<void()> show;
  };
  const TRow rows[] = {
      {"message", [&] { services.ShowMessage(text, TMessageKind::Information); }},
      {"question",
       [&] { services.MessageBox(text, TMessageKind::Confirmation, TMessageButtons::SaveDiscardCancel, 3); }},
  };
  for (const TRow& row : rows) {
    std::optional<Qt::TextFormat> format;
    QString shown;
    // Reads the box once it is up, then closes it.
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      poll.stop();
      if (const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        format = label->textFormat();
        shown = label->text();
      }
      box->buttons().front()->click();
    });
    poll.start();
    row.show();
    ASSERT_TRUE(format.has_value()) << row.what;
    EXPECT_EQ(*format, Qt::PlainText) << row.what;
    EXPECT_EQ(shown.toStdString(), text) << row.what;
  }
}

TEST(QtServicesText, FiltersAndDefaultExtensions) {
  EXPECT_EQ(QtFileFilter("QIRA 3D files (*.q3d)|*.q3d|All files (*.*)|*.*").toStdString(),
            "QIRA 3D files (*.q3d);;All files (*.*)");
  EXPECT_EQ(QtFileFilter("Pictures (*.png)|*.png;*.bmp").toStdString(), "Pictures (*.png) (*.png *.bmp)");
  EXPECT_EQ(QtFileFilter("Pictures|*.png;*.bmp").toStdString(), "Pictures (*.png *.bmp)");
  EXPECT_EQ(FilterIndexOf("A|*.a|B|*.b", QStringLiteral("B (*.b)")), 2);
  EXPECT_EQ(FilterIndexOf("A|*.a|B|*.b", QStringLiteral("C (*.c)")), 1);
  EXPECT_EQ(WithDefaultExtension("/x/name", "q3d"), "/x/name.q3d");
  EXPECT_EQ(WithDefaultExtension("/x/name.dat", "q3d"), "/x/name.dat");
  EXPECT_EQ(WithDefaultExtension("/x.y/name", ""), "/x.y/name");
}

}  // namespace
}  // namespace qira

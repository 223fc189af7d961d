#include "ui/ExportDialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/SectionExports.h"
#include "model/SectionGroup.h"
#include "model/Settings.h"
#include "model/StreamHelpers.h"
#include "support/CountingSection.h"
#include "support/FakeServices.h"
#include "support/ScratchFolder.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

// The recorded file service, able to show the extra choice: it records what
// the dialog showed and answers with the queued choice text.
class TFakeChoiceServices : public TFakeServices, public ISaveChoiceDialogService {
 public:
  std::vector<TSaveDialogChoice> ShownChoices;
  std::deque<std::string> ChoiceAnswers;  // the text the "user" leaves in the box

  std::optional<std::string> SaveFileWithChoice(TFileRequest& request, TSaveDialogChoice& choice) override {
    ShownChoices.push_back(choice);
    if (!ChoiceAnswers.empty()) {
      choice.Text = ChoiceAnswers.front();
      ChoiceAnswers.pop_front();
    }
    return SaveFile(request);
  }
};

class ExportDialogs : public ::testing::Test {
 protected:
  void SetUp() override { LoadSettings(scratch_.File("QIRA3D.ini"), "/start/dir"); }

  TScratchFolder scratch_;
};

// ---- what the dialog offers ------------------------------------------------------------------

TEST_F(ExportDialogs, TableDialogOffersTheThreeFormsAndTheUnitsStartingFromTheDefaults) {
  TFakeChoiceServices services;
  TSaveExportTableDialog dialog;
  dialog.FileName = "Section 12.5 kHz";
  dialog.Title = "Export section";
  services.FileAnswers.push_back(std::nullopt);
  EXPECT_FALSE(dialog.Execute());

  ASSERT_EQ(services.FileCalls.size(), 1u);
  const TFileRequest& request = services.FileCalls[0].Request;
  EXPECT_TRUE(services.FileCalls[0].Save);
  EXPECT_EQ(request.Filter,
            "Spaced text sheet (*.dat)|*.dat|Comma separated values sheet (*.csv)|*.csv|"
            "MICROSOFT\xC2\xAE Excel format sheet (*.xls)|*.xls");
  EXPECT_EQ(request.FilterIndex, 1);
  EXPECT_EQ(request.InitialDir, "/start/dir");
  EXPECT_EQ(request.FileName, "Section 12.5 kHz");
  EXPECT_EQ(request.Title, "Export section");
  EXPECT_EQ(request.DefaultExt, "");
  ASSERT_EQ(services.ShownChoices.size(), 1u);
  EXPECT_EQ(services.ShownChoices[0].LabelCaption, "System of units");
  EXPECT_EQ(services.ShownChoices[0].Items,
            (std::vector<std::string>{"Metric units (meters)", "British units (feet)"}));
  EXPECT_EQ(services.ShownChoices[0].Text, "Metric units (meters)");
}

TEST_F(ExportDialogs, DxfDialogOffersDxfOnlyWithItsDefaultExtension) {
  TFakeChoiceServices services;
  TSaveExportDXFDialog dialog;
  EXPECT_FALSE(dialog.Execute());
  const TFileRequest& request = services.FileCalls.at(0).Request;
  EXPECT_EQ(request.Filter, "AUTODESK\xC2\xAE Drawing exchange format (*.dxf)|*.dxf");
  EXPECT_EQ(request.FilterIndex, 1);
  EXPECT_EQ(request.DefaultExt, "dxf");
  EXPECT_EQ(services.ShownChoices.size(), 1u);
}

// ---- the table extension ---------------------------------------------------------------------

// The name says what the user wants: an extension of one of the three forms writes
// that form whatever type was chosen; the chosen type decides only for other names.
TEST_F(ExportDialogs, ATypedTableExtensionChoosesItsFormAndABareNameGetsTheChosenOnes) {
  struct TCase {
    std::string typed;
    int filter;
    std::string expected;
    int written;
  };
  const std::vector<TCase> cases = {
      {"/out/section", 1, "/out/section.dat", 1},
      {"/out/section", 2, "/out/section.csv", 2},
      {"/out/section", 3, "/out/section.xls", 3},
      {"/out/xyz.xls", 2, "/out/xyz.xls", 3},
      {"/out/xyz.dat", 3, "/out/xyz.dat", 1},
      {"/out/section.CSV", 3, "/out/section.CSV", 2},  // any case
      {"/out/section.txt", 2, "/out/section.txt", 2},  // another extension stays as typed
      {"/out.d/section", 2, "/out.d/section.csv", 2},  // a dot in the folder is no extension
  };
  for (const TCase& c : cases) {
    TFakeChoiceServices services;
    services.FileAnswers.push_back(c.typed);
    services.FilterIndexAnswers.push_back(c.filter);
    TSaveExportTableDialog dialog;
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.FileName, c.expected) << c.typed;
    EXPECT_EQ(dialog.FilterIndex, c.written) << c.typed;
  }
}

TEST_F(ExportDialogs, AnXYZExportTypedAsAWorkbookWritesAWorkbookWhateverTypeWasChosen) {
  RegisterExportSaveDialog();
  TFakeChoiceServices services;
  services.FileAnswers.push_back(scratch_.File("xyz.xls"));
  services.FilterIndexAnswers.push_back(2);  // "Comma separated values", remembered from before
  XYZExportClick(*test::CountingSection(2, 3));
  EXPECT_TRUE(services.Messages.empty());
  EXPECT_EQ(scratch_.Get("xyz.xls").substr(0, 8), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") << "a compound file";
  EXPECT_EQ(ReadSetting(SettingKeys::ExportFilterIndex, 1), 3);
}

// The dialog asked only about the name as typed: an existing file that the completed
// name hits is asked about before the export may replace it.
TEST_F(ExportDialogs, AnExistingFileHitByTheCompletedNameIsAskedAbout) {
  scratch_.Put("section.csv", "kept");
  struct TCase {
    const char* typed;
    std::optional<TMessageResult> answer;  // none: no question expected
  };
  const TCase cases[] = {
      {"section", TMessageResult::Yes},
      {"section.csv", std::nullopt},  // typed whole: the dialog asked itself
      {"other", std::nullopt},        // other.csv does not exist
  };
  for (const TCase& c : cases) {
    TFakeChoiceServices services;
    services.FileAnswers.push_back(scratch_.File(c.typed));
    services.FilterIndexAnswers.push_back(2);
    if (c.answer) services.BoxAnswers.push_back(*c.answer);
    TSaveExportTableDialog dialog;
    EXPECT_TRUE(dialog.Execute()) << c.typed;
    EXPECT_EQ(services.FileCalls.size(), 1u) << c.typed;
    if (c.answer) {
      ASSERT_EQ(services.Messages.size(), 1u) << c.typed;
      EXPECT_EQ(services.Messages[0].Text,
                scratch_.File("section.csv") + " already exists.\nDo you want to replace it?");
      EXPECT_EQ(services.Messages[0].Buttons, TMessageButtons::YesNo);
      EXPECT_EQ(services.Messages[0].DefaultButton, 2);  // No
    } else {
      EXPECT_TRUE(services.Messages.empty()) << c.typed;
    }
  }
  EXPECT_EQ(scratch_.Get("section.csv"), "kept");
}

// As the desktop's save dialogs do, No to replacing a file is not a Cancel: the
// dialog comes back with the name as typed, the type and the units chosen.
TEST_F(ExportDialogs, NoToReplacingReturnsToTheDialogWithTheNameAsTyped) {
  scratch_.Put("section.csv", "kept");
  struct TCase {
    const char* what;
    std::optional<std::string> second;  // the answer in the dialog that came back
    bool accepted;
    std::string written;
  };
  const TCase cases[] = {
      {"another name then", scratch_.File("other"), true, scratch_.File("other.csv")},
      {"cancelled then", std::nullopt, false, ""},
  };
  for (const TCase& c : cases) {
    TFakeChoiceServices services;
    services.FileAnswers = {scratch_.File("section"), c.second};
    services.FilterIndexAnswers.push_back(2);
    services.ChoiceAnswers.push_back("British units (feet)");
    services.BoxAnswers.push_back(TMessageResult::No);
    TSaveExportTableDialog dialog;
    dialog.FileName = "Section 12.5 kHz";
    EXPECT_EQ(dialog.Execute(), c.accepted) << c.what;
    ASSERT_EQ(services.FileCalls.size(), 2u) << c.what;
    EXPECT_EQ(services.Messages.size(), 1u) << c.what;
    const TFileRequest& again = services.FileCalls[1].Request;
    EXPECT_EQ(again.FileName, scratch_.File("section")) << c.what;
    EXPECT_EQ(again.FilterIndex, 2) << c.what;
    EXPECT_EQ(services.ShownChoices.at(1).Text, "British units (feet)") << c.what;
    EXPECT_EQ(dialog.FileName, c.accepted ? c.written : "Section 12.5 kHz") << c.what;
  }
  EXPECT_EQ(scratch_.Get("section.csv"), "kept");
}

TEST_F(ExportDialogs, SectionExportsAskThroughTheseDialogs) {
  RegisterExportSaveDialog();
  TFakeChoiceServices services;
  services.FileAnswers.push_back("/out/section");
  services.FilterIndexAnswers.push_back(2);
  services.ChoiceAnswers.push_back("British units (feet)");
  const std::optional<TExportTarget> table =
      ExecuteExportSaveDialog(TExportFileKind::Table, "Section 12.5 kHz", "Export section", false);
  ASSERT_TRUE(table.has_value());
  EXPECT_EQ(table->FileName, "/out/section.csv");
  EXPECT_EQ(table->FilterIndex, 2);
  EXPECT_FALSE(table->Metric);
  EXPECT_EQ(services.FileCalls.at(0).Request.Title, "Export section");

  services.FileAnswers.push_back(std::nullopt);
  EXPECT_FALSE(ExecuteExportSaveDialog(TExportFileKind::Dxf, "s", "Export DXF", false).has_value());
  EXPECT_EQ(services.FileCalls.at(1).Request.DefaultExt, "dxf");
}

// A group's export writes a file per section beside the chosen name, never the chosen
// name itself: its dialog does not ask about that name, and the members' files that
// exist are asked about once, named (a long list cut); No returns to the dialog, whose
// Cancel then writes nothing. Every group export asks so.
TEST_F(ExportDialogs, AGroupExportAsksOnceAboutTheMembersFilesItWritesAndNotAboutTheChosenName) {
  RegisterExportSaveDialog();
  SetExportColorDialog([](const std::string&, TClassLimits&, bool, const std::vector<TPreviewCallback>&) { return true; });
  const std::string kept = "kept";
  const auto xyz = [](TGraphSectionGroup& g) { XYZExportClick(g); };
  const auto blocks = [](TGraphSectionGroup& g) { BlocksExportClick(g); };
  const auto dxf = [](TGraphSectionGroup& g) { DXFExportClick(g); };
  struct TCase {
    const char* what;
    std::function<void(TGraphSectionGroup&)> click;
    std::vector<int> kHz;                       // the group's sections
    std::vector<std::string> existing;          // in the folder before the export
    std::deque<std::optional<std::string>> typed;  // the dialog's answers
    std::optional<TMessageResult> answer;       // none: no question expected
    std::vector<std::string> named;             // the files the question names
    size_t more = 0;                            // past those named
    std::vector<std::string> written;           // replaced or made
  };
  std::vector<std::string> twelve;
  std::vector<int> twelveKHz;
  for (int k = 12; k >= 1; --k) {  // the group holds its sections from the highest frequency down
    twelveKHz.push_back(k);
    twelve.push_back("many_" + std::to_string(k) + ".xls");
  }
  const std::vector<TCase> cases = {
      {"table, members exist", xyz, {25, 12}, {"old.xls", "old_25.xls", "old_12.xls"}, {"old.xls"},
       TMessageResult::Yes, {"old_25.xls", "old_12.xls"}, 0, {"old_25.xls", "old_12.xls"}},
      {"blocks, one member exists", blocks, {25, 12}, {"old_12.xls"}, {"old.xls"}, TMessageResult::Yes,
       {"old_12.xls"}, 0, {"old_25.xls", "old_12.xls"}},
      {"drawing, members exist", dxf, {25, 12}, {"old_25.dxf", "old_12.dxf"}, {"old.dxf"}, TMessageResult::Yes,
       {"old_25.dxf", "old_12.dxf"}, 0, {"old_25.dxf", "old_12.dxf"}},
      {"only the chosen name exists", xyz, {25, 12}, {"old.xls"}, {"old.xls"}, std::nullopt, {}, 0,
       {"old_25.xls", "old_12.xls"}},
      {"none exists", dxf, {25, 12}, {}, {"old.dxf"}, std::nullopt, {}, 0, {"old_25.dxf", "old_12.dxf"}},
      {"No, then Cancel", xyz, {25, 12}, {"old_25.xls"}, {"old.xls", std::nullopt}, TMessageResult::No,
       {"old_25.xls"}, 0, {}},
      {"many members", xyz, twelveKHz, twelve, {"many.xls"}, TMessageResult::Yes,
       std::vector<std::string>(twelve.begin(), twelve.begin() + MaxNamedExistingFiles),
       twelve.size() - MaxNamedExistingFiles, twelve},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TScratchFolder folder;
    for (const std::string& name : c.existing) folder.Put(name, kept);
    TGraphSectionGroup group;
    for (int kHz : c.kHz) {
      auto section = test::CountingSection(2, 3);
      section->Frequency = kHz * 1000.0;
      if (kHz == c.kHz.front()) group.SetPairFrom(*section);
      group.AddChild(std::move(section), true);
    }
    TFakeChoiceServices services;
    for (const std::optional<std::string>& typed : c.typed)
      services.FileAnswers.push_back(typed ? std::optional(folder.File(*typed)) : std::nullopt);
    services.FilterIndexAnswers = {3, 3};
    if (c.answer) services.BoxAnswers.push_back(*c.answer);
    c.click(group);

    ASSERT_EQ(services.FileCalls.size(), c.typed.size());
    for (const auto& call : services.FileCalls) {
      EXPECT_FALSE(call.Request.OverwritePrompt);
    }
    if (c.typed.size() > 1) {
      EXPECT_EQ(services.FileCalls[1].Request.FileName, folder.File(*c.typed.front()));
    }
    if (c.answer) {
      std::string question = c.named.size() == 1 ? folder.File(c.named[0]) + " already exists.\n"
                                                 : "These files already exist:\n";
      if (c.named.size() > 1)
        for (const std::string& name : c.named) question += folder.File(name) + "\n";
      if (c.more > 0) question += "and " + std::to_string(c.more) + " more\n";
      question += c.named.size() == 1 ? "Do you want to replace it?" : "Do you want to replace them?";
      EXPECT_EQ(services.Messages.size(), 1u);
      if (!services.Messages.empty()) {
        EXPECT_EQ(services.Messages[0].Text, question);
        EXPECT_EQ(services.Messages[0].Buttons, TMessageButtons::YesNo);
        EXPECT_EQ(services.Messages[0].DefaultButton, 2);  // No
      }
    } else {
      EXPECT_TRUE(services.Messages.empty());
    }
    for (const std::string& name : c.existing) {
      const bool replaced = std::find(c.written.begin(), c.written.end(), name) != c.written.end();
      EXPECT_EQ(folder.Get(name) != kept, replaced) << name;
    }
    std::vector<std::string> present = c.existing;
    present.insert(present.end(), c.written.begin(), c.written.end());
    std::sort(present.begin(), present.end());
    present.erase(std::unique(present.begin(), present.end()), present.end());
    std::vector<std::string> entries = folder.Entries();
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, present);
  }
  SetExportColorDialog({});
}

// ---- choices stored in and read from the settings --------------------------------------------

TEST_F(ExportDialogs, UnitsTableTypeAndFolderChosenLastArePreselectedNextTime) {
  {
    TFakeChoiceServices services;
    services.FileAnswers.push_back(scratch_.File("table.csv"));
    services.FilterIndexAnswers.push_back(2);
    services.ChoiceAnswers.push_back("British units (feet)");
    TSaveExportTableDialog dialog;
    ASSERT_TRUE(dialog.Execute());
    EXPECT_FALSE(dialog.IsMetric());
  }
  EXPECT_FALSE(ReadSetting(SettingKeys::MetricUnits, true));
  EXPECT_EQ(ReadSetting(SettingKeys::ExportFilterIndex, 1), 2);
  EXPECT_EQ(ExportPath, scratch_.Path());

  // Written to the file with the rest of the settings and read back from it.
  ASSERT_TRUE(SaveSettings());
  LoadSettings(scratch_.File("QIRA3D.ini"), "/start/dir");
  TFakeChoiceServices services;
  TSaveExportTableDialog dialog;
  EXPECT_FALSE(dialog.IsMetric());
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(services.FileCalls.at(0).Request.FilterIndex, 2);
  EXPECT_EQ(services.FileCalls.at(0).Request.InitialDir, scratch_.Path());
  EXPECT_EQ(services.ShownChoices.at(0).Text, "British units (feet)");
}

TEST_F(ExportDialogs, CancellingStillStoresTheUnitChoiceAndThePresetFolder) {
  {
    TFakeChoiceServices services;
    services.ChoiceAnswers.push_back("British units (feet)");
    TSaveExportDXFDialog dialog;
    dialog.FileName = "/preset/folder/section.dxf";
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(dialog.FileName, "/preset/folder/section.dxf");
  }
  EXPECT_FALSE(ReadSetting(SettingKeys::MetricUnits, true));
  EXPECT_EQ(ExportPath, "/preset/folder");
}

TEST_F(ExportDialogs, CancellingWithADefaultNameWithoutFolderKeepsTheRememberedFolder) {
  ExportPath = "/remembered";
  {
    TFakeChoiceServices services;
    TSaveExportTableDialog dialog;
    dialog.FileName = "section";
    EXPECT_FALSE(dialog.Execute());
  }
  EXPECT_EQ(ExportPath, "/remembered");
  EXPECT_TRUE(ReadSetting(SettingKeys::MetricUnits, false));
}

TEST_F(ExportDialogs, StoredTableTypeOutsideTheThreeFormsStartsWithTheFirst) {
  for (int stored : {0, 4, -1, 99}) {
    WriteSetting(SettingKeys::ExportFilterIndex, stored);
    TSaveExportTableDialog dialog;
    EXPECT_EQ(dialog.FilterIndex, 1) << stored;
  }
}

// ---- services without the choice ----------------------------------------------------------

TEST_F(ExportDialogs, ServiceWithoutTheChoiceShowsThePlainDialogAndKeepsTheUnits) {
  TFakeServices services;
  WriteSetting(SettingKeys::MetricUnits, false);
  services.FileAnswers.push_back("/out/blocks.xls");
  services.FilterIndexAnswers.push_back(3);
  TSaveExportTableDialog dialog;
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.FileName, "/out/blocks.xls");
  EXPECT_EQ(dialog.Text, "British units (feet)");
  EXPECT_FALSE(dialog.IsMetric());
}

TEST_F(ExportDialogs, DialogWithoutItemsNeverShowsTheChoice) {
  TFakeChoiceServices services;
  TCBSaveDialog dialog;
  dialog.Filter = "All files (*.*)|*.*";
  services.FileAnswers.push_back("/out/x");
  ASSERT_TRUE(dialog.Execute());
  EXPECT_TRUE(services.ShownChoices.empty());
  EXPECT_EQ(dialog.FileName, "/out/x");
}

TEST_F(ExportDialogs, ChosenTextIsCutToOneHundredCharacters) {
  TFakeChoiceServices services;
  TCBSaveDialog dialog;
  dialog.Items = "a|b";
  dialog.LabelCaption = "Pick";
  // 120 two-byte characters: the cut counts characters, not bytes.
  std::string longText;
  for (int i = 0; i < 120; ++i) longText += "\xC3\xA9";
  services.ChoiceAnswers.push_back(longText);
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(dialog.Text, longText.substr(0, 200));
}

TEST_F(ExportDialogs, ItemsAreSplitAtTheSeparator) {
  TCBSaveDialog dialog;
  dialog.Items = "one;two;;three";
  dialog.Separator = ';';
  EXPECT_EQ(dialog.ItemList(), (std::vector<std::string>{"one", "two", "", "three"}));
  dialog.Items.clear();
  EXPECT_TRUE(dialog.ItemList().empty());
}

// ---- the Qt dialog ------------------------------------------------------------------------

// Runs `answer` on the visible file dialog once the modal loop runs.
void AnswerFileDialog(std::function<void(QFileDialog&)> answer, bool* seen) {
  QTimer::singleShot(0, [answer, seen] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* d = qobject_cast<QFileDialog*>(w); d && d->isVisible()) {
        *seen = true;
        answer(*d);
        return;
      }
    }
  });
}

class QtSaveChoiceDialog : public ExportDialogs {
 protected:
  void SetUp() override {
    if (EnsureTestApplication() == nullptr) GTEST_SKIP() << "the application has no widgets";
    ExportDialogs::SetUp();
  }
};

TEST_F(QtSaveChoiceDialog, ShowsTheChoiceBelowTheFileTypeAndReturnsTheChosenFileTypeAndItem) {
  TFileRequest request;
  request.Filter = kExportTableFilter;
  request.FilterIndex = 2;
  request.InitialDir = scratch_.Path();
  request.FileName = "section";
  TSaveDialogChoice choice{"System of units", {"Metric units (meters)", "British units (feet)"},
                           "British units (feet)"};
  bool seen = false;
  std::string label, selectedAtStart, filterAtStart;
  AnswerFileDialog(
      [&](QFileDialog& d) {
        auto* box = d.findChild<QComboBox*>(QStringLiteral("SaveChoiceBox"));
        auto* caption = d.findChild<QLabel*>(QStringLiteral("SaveChoiceLabel"));
        ASSERT_NE(box, nullptr);
        ASSERT_NE(caption, nullptr);
        label = caption->text().toStdString();
        selectedAtStart = box->currentText().toStdString();
        filterAtStart = d.selectedNameFilter().toStdString();
        box->setCurrentIndex(0);
        d.selectNameFilter(d.nameFilters().at(2));
        d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("blocks.xls"));
        // What the dialog's Save button does.
        QMetaObject::invokeMethod(&d, "accept");
      },
      &seen);
  const std::optional<std::string> path = RunQtSaveChoiceDialog(nullptr, request, choice);
  ASSERT_TRUE(seen);
  EXPECT_EQ(label, "System of units");
  EXPECT_EQ(selectedAtStart, "British units (feet)");
  EXPECT_EQ(filterAtStart, "Comma separated values sheet (*.csv)");
  ASSERT_TRUE(path.has_value());
  EXPECT_EQ(*path, scratch_.File("blocks.xls"));
  EXPECT_EQ(request.FilterIndex, 3);
  EXPECT_EQ(choice.Text, "Metric units (meters)");
}

TEST_F(QtSaveChoiceDialog, CancelledDialogStillHandsBackTheChoice) {
  TFileRequest request;
  request.Filter = kExportDXFFilter;
  request.InitialDir = scratch_.Path();
  TSaveDialogChoice choice{"System of units", {"Metric units (meters)", "British units (feet)"},
                           "Metric units (meters)"};
  bool seen = false;
  AnswerFileDialog(
      [](QFileDialog& d) {
        d.findChild<QComboBox*>(QStringLiteral("SaveChoiceBox"))->setCurrentIndex(1);
        d.reject();
      },
      &seen);
  EXPECT_FALSE(RunQtSaveChoiceDialog(nullptr, request, choice).has_value());
  ASSERT_TRUE(seen);
  EXPECT_EQ(choice.Text, "British units (feet)");
  EXPECT_EQ(request.FilterIndex, 1);
}

TEST_F(QtSaveChoiceDialog, InstalledDialogWrapsTheServiceAndPassesPlainDialogsThrough) {
  TFakeServices services;
  InstallSaveChoiceDialog();
  auto* withChoice = dynamic_cast<ISaveChoiceDialogService*>(Services().Files);
  ASSERT_NE(withChoice, nullptr);
  IFileDialogService* wrapper = Services().Files;
  InstallSaveChoiceDialog();  // a second call changes nothing
  EXPECT_EQ(Services().Files, wrapper);

  services.FileAnswers.push_back("/out/plain.bmp");
  TCBSaveDialog plain;
  ASSERT_TRUE(plain.Execute());
  EXPECT_EQ(plain.FileName, "/out/plain.bmp");
  EXPECT_EQ(services.FileCalls.size(), 1u);
}

}  // namespace
}  // namespace qira

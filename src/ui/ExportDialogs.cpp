#include "ui/ExportDialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QStringList>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <utility>

#include "model/SectionExports.h"
#include "model/Settings.h"
#include "model/StreamHelpers.h"
#include "platform/AsciiCase.h"
#include "ui/DialogSupport.h"

// Sections: Qt save dialog with the choice; the wrapping file service; the file
// a typed name stands for; TCBSaveDialog; the export folder; the export dialogs.

namespace qira {

namespace {


std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find(separator, start);
    if (at == std::string::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, at - start));
    start = at + 1;
  }
}

// "Description|pattern;pattern|..." as Qt name filters "Description (pattern pattern)";
// a description that already ends with its patterns in parentheses is kept.
QStringList QtNameFilters(const std::string& filter) {
  QStringList out;
  if (filter.empty()) return out;
  const std::vector<std::string> parts = Split(filter, '|');
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = ToQt(parts[i + 1]);
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    const QString description = ToQt(parts[i]);
    const QString suffix = QStringLiteral("(") + patterns + QStringLiteral(")");
    out << (description.endsWith(suffix) ? description : description + QStringLiteral(" ") + suffix);
  }
  return out;
}

// The save dialog asked about the name as typed; a name that got its extension
// only afterwards is asked about here. True when completed may be written: it is
// the typed name, it does not exist, or the user said Yes.
bool MayReplaceCompletedName(const std::string& typed, const std::string& completed) {
  return completed == typed || MayReplaceExistingFiles({completed});
}

QString Truncated(const QString& text) {
  return text.size() > kMaxChoiceTextLength ? text.left(kMaxChoiceTextLength) : text;
}

// ---- the wrapping file service ----------------------------------------------------

// Passes open and plain save dialogs to the service it wraps and shows save
// dialogs with a choice itself.
class TQtSaveChoiceFileService : public IFileDialogService, public ISaveChoiceDialogService {
 public:
  IFileDialogService* Inner = nullptr;

  std::optional<std::string> OpenFile(TFileRequest& request) override { return Inner->OpenFile(request); }
  std::optional<std::string> SaveFile(TFileRequest& request) override { return Inner->SaveFile(request); }
  std::optional<std::string> SaveFileWithChoice(TFileRequest& request, TSaveDialogChoice& choice) override {
    return RunQtSaveChoiceDialog(QApplication::activeWindow(), request, choice);
  }
};

}  // namespace

// ---- Qt save dialog with the choice -----------------------------------------------------

std::optional<std::string> RunQtSaveChoiceDialog(QWidget* parent, TFileRequest& request,
                                                 TSaveDialogChoice& choice) {
  QFileDialog dialog(parent, ToQt(request.Title));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.OverwritePrompt);
  const QStringList filters = QtNameFilters(request.Filter);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    if (request.FilterIndex >= 1 && request.FilterIndex <= filters.size()) {
      dialog.selectNameFilter(filters[request.FilterIndex - 1]);
    }
  }
  if (!request.InitialDir.empty()) dialog.setDirectory(ToQt(request.InitialDir));
  if (!request.FileName.empty()) dialog.selectFile(ToQt(request.FileName));
  dialog.setDefaultSuffix(ToQt(request.DefaultExt));

  // The label below the file-type label, the combo box below the file-type box.
  QComboBox* box = nullptr;
  if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
    const int row = grid->rowCount();
    auto* label = new QLabel(ToQt(choice.LabelCaption), &dialog);
    label->setObjectName(QStringLiteral("SaveChoiceLabel"));
    box = new QComboBox(&dialog);
    box->setObjectName(QStringLiteral("SaveChoiceBox"));
    label->setBuddy(box);
    for (const std::string& item : choice.Items) box->addItem(ToQt(item));
    if (!choice.Text.empty()) {
      const int index = box->findText(ToQt(choice.Text));
      if (index >= 0) box->setCurrentIndex(index);
    }
    grid->addWidget(label, row, 0);
    grid->addWidget(box, row, 1);
  }

  const bool accepted = dialog.exec() == QDialog::Accepted;
  if (box != nullptr) choice.Text = FromQt(Truncated(box->currentText()));
  if (!accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  const qsizetype chosenFilter = filters.indexOf(dialog.selectedNameFilter());
  if (chosenFilter >= 0) request.FilterIndex = static_cast<int>(chosenFilter) + 1;
  return FromQt(files.first());
}

void InstallSaveChoiceDialog() {
  static TQtSaveChoiceFileService service;
  TServices services = Services();
  if (dynamic_cast<ISaveChoiceDialogService*>(services.Files) != nullptr) return;
  service.Inner = services.Files;
  services.Files = &service;
  SetServices(services);
}

// ---- the file a typed name stands for ----------------------------------------------------

TSaveTarget SaveTargetOf(const std::string& typed, int filterIndex, std::span<const TFilterExtension> extensions,
                         TOtherExtension other) {
  const std::string extension = LowerAscii(std::filesystem::path(typed).extension().string());
  for (const TFilterExtension& known : extensions)
    if (extension == known.Extension) return {typed, known.FilterIndex};
  if (typed.empty() || (!extension.empty() && other == TOtherExtension::Kept)) return {typed, filterIndex};
  for (const TFilterExtension& known : extensions)
    if (known.FilterIndex == filterIndex) return {typed + known.Extension, filterIndex};
  return {typed, filterIndex};
}

// ---- TCBSaveDialog ------------------------------------------------------------------

TCBSaveDialog::TCBSaveDialog(QWidget* owner) : Owner(owner) {}

TCBSaveDialog::~TCBSaveDialog() = default;

std::vector<std::string> TCBSaveDialog::ItemList() const {
  if (Items.empty()) return {};
  return Split(Items, Separator);
}

void TCBSaveDialog::DoShow(TSaveDialogChoice& choice) const {
  choice.LabelCaption = LabelCaption;
  choice.Items = ItemList();
  choice.Text = Text;
}

void TCBSaveDialog::DoClose(const TSaveDialogChoice& choice) { Text = FromQt(Truncated(ToQt(choice.Text))); }

TSaveTarget TCBSaveDialog::TargetOf(const std::string& typed, int filterIndex) const { return {typed, filterIndex}; }

bool TCBSaveDialog::Execute() {
  TFileRequest request;
  request.Title = Title;
  request.Filter = Filter;
  request.FilterIndex = FilterIndex;
  request.InitialDir = InitialDir;
  request.FileName = FileName;
  request.DefaultExt = DefaultExt;
  request.OverwritePrompt = OverwritePrompt;

  IFileDialogService& files = *Services().Files;
  auto* withChoice = dynamic_cast<ISaveChoiceDialogService*>(&files);
  for (;;) {
    std::optional<std::string> chosen;
    if (!Items.empty() && withChoice != nullptr) {
      TSaveDialogChoice choice;
      DoShow(choice);
      chosen = withChoice->SaveFileWithChoice(request, choice);
      DoClose(choice);
    } else {
      chosen = files.SaveFile(request);
    }
    if (!chosen) return false;
    TSaveTarget target = TargetOf(*chosen, request.FilterIndex);
    if (!OverwritePrompt || MayReplaceCompletedName(*chosen, target.FileName)) {
      FileName = std::move(target.FileName);
      FilterIndex = target.FilterIndex;
      return true;
    }
    // Back to the dialog: request.FilterIndex holds the type chosen and Text the choice made.
    request.FileName = *chosen;
  }
}

// ---- the export folder --------------------------------------------------------------

const std::string& ExportFolder() {
  SettingsIni();  // the folder global is read with the settings
  return ExportPath;
}

void RememberExportFolder(const std::string& fileName) {
  // A name without folder (the preset default name of a cancelled dialog)
  // leaves the remembered folder as it was rather than forgetting it.
  const std::string folder = std::filesystem::path(fileName).parent_path().string();
  if (folder.empty()) return;
  ExportPath = folder;
  WriteSetting(SettingKeys::ExportPath, folder);
}

// ---- the export dialogs -----------------------------------------------------------------

TSaveExportDialog::TSaveExportDialog(QWidget* owner) : TCBSaveDialog(owner) {
  Items = std::string(kMetricUnitsItem) + "|" + kBritishUnitsItem;
  Text = ReadSetting(SettingKeys::MetricUnits, true) ? kMetricUnitsItem : kBritishUnitsItem;
  LabelCaption = "System of units";
  InitialDir = ExportFolder();
}

TSaveExportDialog::~TSaveExportDialog() {
  RememberExportFolder(FileName);
  WriteSetting(SettingKeys::MetricUnits, IsMetric());
}

bool TSaveExportDialog::IsMetric() const { return Text == kMetricUnitsItem; }

TSaveExportTableDialog::TSaveExportTableDialog(QWidget* owner) : TSaveExportDialog(owner) {
  Filter = kExportTableFilter;
  const int stored = ReadSetting(SettingKeys::ExportFilterIndex, 1);
  FilterIndex = stored >= 1 && stored <= 3 ? stored : 1;
}

TSaveExportTableDialog::~TSaveExportTableDialog() { WriteSetting(SettingKeys::ExportFilterIndex, FilterIndex); }

TSaveTarget TSaveExportTableDialog::TargetOf(const std::string& typed, int filterIndex) const {
  static constexpr TFilterExtension kTableExtensions[] = {{".dat", 1}, {".csv", 2}, {".xls", 3}};
  return SaveTargetOf(typed, filterIndex, kTableExtensions, TOtherExtension::Kept);
}

TSaveExportDXFDialog::TSaveExportDXFDialog(QWidget* owner) : TSaveExportDialog(owner) {
  Filter = kExportDXFFilter;
  FilterIndex = 1;
  DefaultExt = "dxf";
}

void RegisterExportSaveDialog() {
  SetExportSaveDialog([](TExportFileKind kind, const std::string& fileName, const std::string& title,
                         bool group) -> std::optional<TExportTarget> {
    std::unique_ptr<TSaveExportDialog> dialog;
    if (kind == TExportFileKind::Dxf) {
      dialog = std::make_unique<TSaveExportDXFDialog>();
    } else {
      dialog = std::make_unique<TSaveExportTableDialog>();
    }
    dialog->FileName = fileName;
    dialog->Title = title;
    // A group's export asks about the files it writes, which are not the chosen one.
    dialog->OverwritePrompt = !group;
    if (!dialog->Execute()) return std::nullopt;
    return TExportTarget{dialog->FileName, dialog->FilterIndex, dialog->IsMetric()};
  });
}

}  // namespace qira

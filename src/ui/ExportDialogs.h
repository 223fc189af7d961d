#pragma once
// The save dialogs of the exports and of pictures: the platform's save dialog,
// optionally extended by one labelled combo box below its file-type row.
//
// TCBSaveDialog asks for the file through the registered file service
// (platform/Services.h). When the dialog has combo items and the service can
// show them (ISaveChoiceDialogService) the combo box is part of the dialog;
// a service without that ability shows the plain save dialog and the combo's
// Text stays as it was (as the platform does with old-style dialogs).
// InstallSaveChoiceDialog() gives the registered service a Qt dialog with the
// combo box.
//
// TSaveExportDialog chooses the system of units and remembers the export
// folder and the unit choice in the settings (section "Main");
// TSaveExportTableDialog offers the three table forms and completes the file
// extension; TSaveExportDXFDialog offers DXF.
//
// Callers set FileName (a default name) and Title, call Execute, read
// FileName, FilterIndex and IsMetric, and destroy the dialog, which stores the
// choices.
#include <optional>
#include <string>
#include <vector>

#include "platform/Services.h"

class QWidget;

namespace qira {

// ---- the extra choice ---------------------------------------------------------------

// The labelled combo box of a save dialog.
struct TSaveDialogChoice {
  std::string LabelCaption;
  std::vector<std::string> Items;
  // On entry the item to select (none when empty or not among Items); on
  // return the combo box's text, whether the dialog was accepted or not.
  std::string Text;
};

// A file service whose save dialog can show the extra choice.
class ISaveChoiceDialogService {
 public:
  virtual ~ISaveChoiceDialogService() = default;
  // As IFileDialogService::SaveFile, with the choice shown below the file-type row.
  virtual std::optional<std::string> SaveFileWithChoice(TFileRequest& request, TSaveDialogChoice& choice) = 0;
};

// The Qt save dialog (Qt's own widgets, not the desktop's native dialog) with
// the choice's label and combo box added below the file-type row. Modal.
std::optional<std::string> RunQtSaveChoiceDialog(QWidget* parent, TFileRequest& request,
                                                 TSaveDialogChoice& choice);

// Makes the registered file service show the choice with RunQtSaveChoiceDialog:
// the service is wrapped (open and plain save dialogs pass through to it). Call
// after the Qt services are registered; nothing when the service can show the
// choice already.
void InstallSaveChoiceDialog();

// ---- dialogs --------------------------------------------------------------------

// The longest Text the combo box hands back, in characters.
inline constexpr int kMaxChoiceTextLength = 100;

class TCBSaveDialog {
 public:
  explicit TCBSaveDialog(QWidget* Owner = nullptr);
  virtual ~TCBSaveDialog();
  TCBSaveDialog(const TCBSaveDialog&) = delete;
  TCBSaveDialog& operator=(const TCBSaveDialog&) = delete;

  // Runs the save dialog; true on OK, with FileName the chosen path and
  // FilterIndex the chosen file type. Text is updated in both cases.
  virtual bool Execute();

  // ---- the save dialog's properties
  QWidget* Owner = nullptr;
  std::string Title;
  // "Description|pattern|..." pairs; FilterIndex is 1-based.
  std::string Filter;
  int FilterIndex = 1;
  std::string FileName;
  std::string InitialDir;
  // Without the dot; the dialog adds it when the typed name has no extension.
  std::string DefaultExt;
  bool OverwritePrompt = true;

  // ---- the combo box
  // The items, separated by Separator.
  std::string Items;
  char Separator = '|';
  std::string LabelCaption;
  // The item chosen; also the one selected when the dialog opens.
  std::string Text;

  // Items split at Separator, in order (empty pieces kept).
  std::vector<std::string> ItemList() const;

 protected:
  // When the dialog is shown: the combo box's label and items.
  virtual void DoShow(TSaveDialogChoice& choice) const;
  // When the dialog closes: Text from the combo box, at most kMaxChoiceTextLength characters.
  virtual void DoClose(const TSaveDialogChoice& choice);
};

inline constexpr const char* kMetricUnitsItem = "Metric units (meters)";
inline constexpr const char* kBritishUnitsItem = "British units (feet)";

class TSaveExportDialog : public TCBSaveDialog {
 public:
  // Units from "Metric_Units" (default metric), initial folder "ExportPath".
  explicit TSaveExportDialog(QWidget* Owner = nullptr);
  // Stores "ExportPath" (the folder of FileName; kept as it was when FileName
  // has no folder) and "Metric_Units".
  ~TSaveExportDialog() override;

  // Text is "Metric units (meters)".
  bool IsMetric() const;
};

inline constexpr const char* kExportTableFilter =
    "Spaced text sheet (*.dat)|*.dat|Comma separated values sheet (*.csv)|*.csv|"
    "MICROSOFT\xC2\xAE Excel format sheet (*.xls)|*.xls";
inline constexpr const char* kExportDXFFilter = "AUTODESK\xC2\xAE Drawing exchange format (*.dxf)|*.dxf";

class TSaveExportTableDialog : public TSaveExportDialog {
 public:
  // The three table forms; FilterIndex from "ExportFilterIndex" (default 1;
  // a stored value outside 1..3 gives 1).
  explicit TSaveExportTableDialog(QWidget* Owner = nullptr);
  // Stores "ExportFilterIndex".
  ~TSaveExportTableDialog() override;

  // After OK, a chosen name without extension gets ".dat", ".csv" or ".xls"
  // by FilterIndex 1, 2 or 3; when that names an existing file the user is asked
  // whether to replace it, and No gives false.
  bool Execute() override;
};

class TSaveExportDXFDialog : public TSaveExportDialog {
 public:
  // DXF only, FilterIndex 1, default extension "dxf".
  explicit TSaveExportDXFDialog(QWidget* Owner = nullptr);
};

// The save dialog asked about the name as typed; a name that got its extension
// only afterwards is asked about here ("<name> already exists. Do you want to
// replace it?", No the default). True when completed may be written: it is the
// typed name, it does not exist, or the user said Yes.
bool MayReplaceCompletedName(const std::string& typed, const std::string& completed);

// The section exports ask for their file through these dialogs.
void RegisterExportSaveDialog();

// The folder the export and picture save dialogs start in: the one used last,
// kept in "ExportPath" so that it holds after the next start as well.
const std::string& ExportFolder();
// "ExportPath" := the folder of fileName; a name without folder leaves it as it was.
void RememberExportFolder(const std::string& fileName);

}  // namespace qira

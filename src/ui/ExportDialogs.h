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
#include <span>
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

// ---- the file a typed name stands for ----------------------------------------------

// An extension (with its dot, lower case) that stands for one filter of a save dialog.
struct TFilterExtension {
  const char* Extension;
  int FilterIndex;  // 1-based
};

// What becomes of a typed name whose extension is none of the dialog's.
enum class TOtherExtension {
  Kept,       // it stays as typed
  Completed,  // it gets the chosen filter's extension as well
};

// The file a save dialog writes and the filter whose format it is written in.
struct TSaveTarget {
  std::string FileName;
  int FilterIndex = 1;
};

// The target of a name typed with a chosen filter. The name says what the user
// wants: an extension among `extensions` (any case) chooses its filter, whatever
// filter was chosen, and the name stays as typed. Otherwise the chosen filter
// stays, and a name without extension (or, with TOtherExtension::Completed, with
// another one) gets the chosen filter's first extension in `extensions`; a filter
// without one (such as "All files") adds nothing, nor does an empty name.
TSaveTarget SaveTargetOf(const std::string& typed, int filterIndex, std::span<const TFilterExtension> extensions,
                         TOtherExtension other);

// ---- dialogs --------------------------------------------------------------------

// The longest Text the combo box hands back, in characters.
inline constexpr int kMaxChoiceTextLength = 100;

class TCBSaveDialog {
 public:
  explicit TCBSaveDialog(QWidget* Owner = nullptr);
  virtual ~TCBSaveDialog();
  TCBSaveDialog(const TCBSaveDialog&) = delete;
  TCBSaveDialog& operator=(const TCBSaveDialog&) = delete;

  // Runs the save dialog; true on OK, with FileName and FilterIndex the file to
  // write and its type (TargetOf the name typed and the type chosen). When that
  // file is not the name typed and exists, the user is asked whether to replace
  // it (with OverwritePrompt; "<name> already exists. Do you want to replace
  // it?", No the default), and No returns to the dialog with the name as typed
  // and the type chosen, as the dialog's own question does. On Cancel FileName
  // and FilterIndex stay as they were. Text is updated in every case.
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
  // The file and type a name typed with a chosen filter stands for: here the
  // name as typed and the filter chosen.
  virtual TSaveTarget TargetOf(const std::string& typed, int filterIndex) const;
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
  // Stores "ExportFilterIndex" (the form written last).
  ~TSaveExportTableDialog() override;

 protected:
  // A name typed with ".dat", ".csv" or ".xls" (any case) is written in that
  // form (FilterIndex 1, 2 or 3) whatever form was chosen; a name without
  // extension gets the chosen form's; any other stays as typed in the chosen form.
  TSaveTarget TargetOf(const std::string& typed, int filterIndex) const override;
};

class TSaveExportDXFDialog : public TSaveExportDialog {
 public:
  // DXF only, FilterIndex 1, default extension "dxf".
  explicit TSaveExportDXFDialog(QWidget* Owner = nullptr);
};

// The section exports ask for their file through these dialogs.
void RegisterExportSaveDialog();

// The folder the export and picture save dialogs start in: the one used last,
// kept in "ExportPath" so that it holds after the next start as well.
const std::string& ExportFolder();
// "ExportPath" := the folder of fileName; a name without folder leaves it as it was.
void RememberExportFolder(const std::string& fileName);

}  // namespace qira

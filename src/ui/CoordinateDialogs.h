#pragma once
// The two coordinate dialogs: TCoordDlgForm ("Coordinates") edits one survey point,
// TCoordsEditForm ("Edit coordinates") an ordered list of points, which it can also
// read from and write to a point list file (*.dat).
//
// Point list file: one point per line, North, East and Elevation separated by blanks.
// Written as three fields right-aligned in 16 characters with 2 decimals ('.'),
// joined by two spaces, each line ended by CR LF. Read leniently: a line whose first
// three words are numbers ('.' or ',' as decimal separator) gives a point, further
// words are ignored, every other line is skipped.
#include <QDialog>

#include <functional>
#include <string>
#include <vector>

#include "model/SurveyPoint.h"

class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace qira {

// ---- Point list file ----------------------------------------------------------------

inline constexpr const char* kPointListFilter = "Data files (*.dat)|*.dat|All files|*.*";
inline constexpr const char* kPointListExt = "dat";
inline constexpr const char* kNoDataLoaded = "No data loaded";

// One line of the file, without its ending.
std::string FormatPointLine(const TSurveyPoint& point);
// The point of one line; false (point untouched) for a line that gives none.
bool ParsePointLine(const std::string& line, TSurveyPoint& point);
// Every point of the file's text, in order.
std::vector<TSurveyPoint> ParsePointList(const std::string& text);

enum class TPointListRead { Ok, CannotOpen };
// Reads the points of a file; CannotOpen (points empty, the message to show in
// *error, as ReadWholeFileOrTell gives it) when the file cannot be read. A readable file without usable lines gives Ok and no point.
TPointListRead ReadPointListFile(const std::string& utf8Path, std::vector<TSurveyPoint>& points,
                                 std::string* error = nullptr);
// Writes the file atomically; false (old file kept, reason in *error) on failure.
bool WritePointListFile(const std::string& utf8Path, const std::vector<TSurveyPoint>& points,
                        std::string* error = nullptr);

// ---- One point ----------------------------------------------------------------------

// "Coordinates": North, East and Elevation of one point.
class TCoordDlgForm : public QDialog {
 public:
  explicit TCoordDlgForm(QWidget* parent = nullptr);

  // Shows the three values (fixed, 2 decimals), runs the dialog modally and on OK
  // takes the three numbers typed. Cancel changes nothing.
  bool Execute(double& north, double& east, double& elevation);
  // The edits' texts from the values (Execute does this first).
  void Start(double north, double east, double elevation);
  // The three numbers of the edits; only meaningful once accept() let them pass.
  void Finish(double& north, double& east, double& elevation) const;

  // Closes with OK only when North, East and Elevation (in that order) hold numbers
  // ('.' or ','); otherwise shows "Invalid value: " + the text, focuses that edit and
  // stays open.
  void accept() override;

  QLineEdit* Edit1;  // "North:"
  QLineEdit* Edit2;  // "East:"
  QLineEdit* Edit3;  // "Elevation:"
  QPushButton* BitBtn1;  // OK
  QPushButton* BitBtn2;  // Cancel
};

// The dialog behind one point: edits point in place, true on OK.
using TPointDialog = std::function<bool(QWidget* parent, TSurveyPoint& point)>;
// TCoordDlgForm over parent.
bool EditPointWithDialog(QWidget* parent, TSurveyPoint& point);

// ---- A list of points ---------------------------------------------------------------

// "Edit coordinates": the rows of ListView1 are the dialog's own copy of the list;
// only OK hands them back.
class TCoordsEditForm : public QDialog {
 public:
  explicit TCoordsEditForm(QWidget* parent = nullptr);

  // Fills the rows from points, runs the dialog modally and on OK replaces points
  // with the rows' points in row order. Cancel leaves points unchanged.
  bool Execute(std::vector<TSurveyPoint>& points);
  // The rows from points, none selected (Execute does this first).
  void Start(const std::vector<TSurveyPoint>& points);
  // The rows' points in row order.
  const std::vector<TSurveyPoint>& Points() const { return points_; }
  // The selected row, or -1.
  int SelectedRow() const;
  void SelectRow(int row);

  // The commands of the buttons (public so callers and tests reach them directly).
  void UpClick();
  void DownClick();
  void CreateClick();
  void DeleteClick();
  void EditClick();
  void OpenClick();
  void SaveClick();
  void CopyClick();
  // Enables Up, Down, Delete and Edit for the selection; runs after every change of it.
  void UpdateButtons();

  // The dialog that edits one point for "Create" and "Edit" (replaceable, so tests
  // need no user).
  TPointDialog EditPoint = EditPointWithDialog;

  QTreeWidget* ListView1;
  QPushButton* BitBtn1;   // "Up"
  QPushButton* BitBtn2;   // "Down"
  QPushButton* BitBtn3;   // "Create"
  QPushButton* BitBtn4;   // "Delete"
  QPushButton* BitBtn5;   // "Edit"
  QPushButton* BitBtn6;   // "Open"
  QPushButton* BitBtn7;   // "Save"
  QPushButton* BitBtn10;  // "Copy"
  QPushButton* BitBtn8;   // OK
  QPushButton* BitBtn9;   // Cancel

 private:
  void ShowRow(int row);
  void InsertRow(int row, const TSurveyPoint& point);
  void ReplaceRows(const std::vector<TSurveyPoint>& points);

  std::vector<TSurveyPoint> points_;  // one per row, in row order
};

// The dialog behind a list of points: edits points in place, true on OK.
using TPointListDialog = std::function<bool(QWidget* parent, std::vector<TSurveyPoint>& points)>;
// TCoordsEditForm over parent.
bool EditPointListWithDialog(QWidget* parent, std::vector<TSurveyPoint>& points);

}  // namespace qira

#pragma once
// "Distances": for two boreholes of a scene, the straight-line distance between
// points of equal depth (or of depths shifted by a constant) at regular depth steps.
// RegisterDistanceDialog() makes it the dialog behind the view window's "Distance
// calculation" command.
#include <QDialog>

#include <string>
#include <vector>

#include "model/Borehole.h"

class QComboBox;
class QPushButton;
class QTreeWidget;

namespace qira {

class TSpinEditEx;

// Call once after the QApplication exists.
void RegisterDistanceDialog();

// One row of the table, as shown: depth on the first hole, depth on the second (or
// "-" outside its depth range), distance; one decimal each, '.' whatever the locale.
struct TDistanceRow {
  std::string Depth1;
  std::string Depth2;
  std::string Distance;
};

// The table never grows beyond this many rows, however long the holes and small
// the step.
inline constexpr int MaxDistanceRows = 100000;

// Rows from a's top depth down to its bottom depth (inclusive) in steps of step,
// each against b at the depth + shift. A step that is not positive gives the top
// row only (the loop would not end). No rows when a has no points.
std::vector<TDistanceRow> CalculateDistanceTable(const TGraphBorehole& a, const TGraphBorehole& b, double shift,
                                                 double step);

class TCanculateDistForm : public QDialog {
 public:
  explicit TCanculateDistForm(QWidget* parent = nullptr);

  // Start, then the dialog modally (it has only a close button).
  void Execute(const std::vector<TGraphBorehole*>& boreholes);
  // Fills both lists with the names in list order, selects the first borehole in
  // the first list and the second in the second, and computes the table. The
  // boreholes are not owned and must outlive the dialog.
  void Start(const std::vector<TGraphBorehole*>& boreholes);
  // The table for the present choice; run by every change of a list or spin edit.
  void Recalculate();

  QComboBox* FirstBox() const { return first_; }
  QComboBox* SecondBox() const { return second_; }
  TSpinEditEx* ShiftEdit() const { return shift_; }
  TSpinEditEx* StepEdit() const { return step_; }
  QTreeWidget* Table() const { return table_; }
  QPushButton* CloseButton() const { return close_; }

 private:
  std::vector<TGraphBorehole*> boreholes_;
  bool starting_ = false;
  QComboBox* first_;
  QComboBox* second_;
  TSpinEditEx* shift_;
  TSpinEditEx* step_;
  QTreeWidget* table_;
  QPushButton* close_;
};

}  // namespace qira

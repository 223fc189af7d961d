#pragma once
// The two dialogs of the borehole object: TBhCoordsDlgForm ("Borehole") asks for the
// name and collar of a new borehole, TGraphBoreholeForm edits a borehole's display
// settings and its transparency. RegisterBoreholeDialogs() makes them the dialogs
// behind TGraphBorehole's creation and Edit.
#include <QComboBox>
#include <QDialog>

#include <string>

#include "model/Borehole.h"
#include "ui/GeologyDialogs.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;

namespace qira {

class TSpinEditEx;

// Call once after the QApplication exists.
void RegisterBoreholeDialogs();

// A drop-down of colours: "Custom..." first (it asks for any colour), the sixteen
// standard colours, then money green, sky blue, cream and medium grey.
class TBoreholeColorBox : public QComboBox {
 public:
  explicit TBoreholeColorBox(QWidget* parent = nullptr);

  TColor Selected() const { return selected_; }
  // Selects the listed colour, or shows value as the custom colour.
  void SetSelected(TColor value);
  // The colour dialog behind "Custom..." (replaceable, so tests need no user).
  TColorChooser ChooseColor = ChooseColorWithDialog;

 private:
  void Activated(int index);
  void ShowCustom(TColor value);

  TColor selected_ = 0;
  bool choosing_ = false;
};

// "Borehole": name and collar of a new borehole.
class TBhCoordsDlgForm : public QDialog {
 public:
  explicit TBhCoordsDlgForm(QWidget* parent = nullptr);

  // Shows name and collar (fixed-point, 2 decimals) and runs the dialog modally; on
  // OK the four values are taken from the fields. Cancel changes nothing.
  bool Execute(std::string& name, double& x, double& y, double& z);
  // The controls' values from the arguments (Execute does this first).
  void Start(const std::string& name, double x, double y, double z);
  // The values of the fields after OK (each checked by accept).
  void Finish(std::string& name, double& x, double& y, double& z) const;

  QLineEdit* NameEdit() const { return name_; }
  QLineEdit* NorthEdit() const { return north_; }
  QLineEdit* EastEdit() const { return east_; }
  QLineEdit* ElevationEdit() const { return elevation_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }

  // Closes with OK only when North, East and Elevation (checked in that order) are
  // numbers ('.' or ','); otherwise shows "Invalid value: " + the text, focuses that
  // field and stays open.
  void accept() override;

 private:
  QLineEdit* name_;
  QLineEdit* north_;
  QLineEdit* east_;
  QLineEdit* elevation_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

// The borehole's display settings; the caller sets the caption.
class TGraphBoreholeForm : public QDialog {
 public:
  explicit TGraphBoreholeForm(QWidget* parent = nullptr);

  // Loads the controls, runs the dialog modally and on OK writes every field back.
  bool Execute(TBoreholeSettings& settings, TTransparencyParams& base);
  void Start(const TBoreholeSettings& settings, const TTransparencyParams& base);
  // Every field from the controls (also those of disabled label controls).
  void Finish(TBoreholeSettings& settings, TTransparencyParams& base) const;

  TSpinEditEx* DiameterEdit() const { return diameter_; }
  QCheckBox* PipeAcceptBox() const { return pipeAccept_; }
  QRadioButton* GeologyButton() const { return geology_; }
  QRadioButton* OneColorButton() const { return oneColor_; }
  TBoreholeColorBox* PipeColorBox() const { return pipeColor_; }
  QCheckBox* ColorAcceptBox() const { return colorAccept_; }
  QCheckBox* VisibleBox() const { return visible_; }
  TBoreholeColorBox* LabelColorBox() const { return labelColor_; }
  QLabel* ScaleLabel() const { return scaleLabel_; }
  TSpinEditEx* ScaleEdit() const { return scale_; }
  QLabel* PositionLabel() const { return positionLabel_; }
  QCheckBox* CollarBox() const { return collar_; }
  QCheckBox* EndOfHoleBox() const { return endOfHole_; }
  QCheckBox* LabelAcceptBox() const { return labelAccept_; }
  QSlider* TransparencyBar() const { return transparency_; }
  QCheckBox* TransparencyAcceptBox() const { return transparencyAccept_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }

 private:
  // The label controls are enabled exactly while "Visible" is checked.
  void EnableLabelControls();

  TSpinEditEx* diameter_;
  QCheckBox* pipeAccept_;
  QRadioButton* geology_;
  QRadioButton* oneColor_;
  TBoreholeColorBox* pipeColor_;
  QCheckBox* colorAccept_;
  QCheckBox* visible_;
  TBoreholeColorBox* labelColor_;
  QLabel* scaleLabel_;
  TSpinEditEx* scale_;
  QLabel* positionLabel_;
  QCheckBox* collar_;
  QCheckBox* endOfHole_;
  QCheckBox* labelAccept_;
  QSlider* transparency_;
  QCheckBox* transparencyAccept_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace qira

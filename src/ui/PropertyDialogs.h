#pragma once
// The property dialogs of the graphics objects: surfaces, points and lines (with
// "Accept for all" groups), the axis cross, spheres, polyline, label and planes.
// Each dialog is modal and works on the values it is given: Execute loads the
// controls, runs the dialog and, only on OK, writes every control back and returns
// true; Cancel leaves the values untouched. The object then applies them.
//
// Numeric fields are spin edits; OK is refused while one of them holds text that is
// no number (the message "Invalid value: " + text, the field focused), and a number
// outside a field's range is taken as the nearest end of the range.
//
// RegisterPropertyDialogs() makes these dialogs the editors behind the objects' Edit
// and the coordinate dialog the view window's "Set center" dialog.
//
// Units: PropertyDialogs.cpp (common frame, surface, points and lines dialogs,
// registration), PropertyDialogGraphics.cpp (axis, spheres, polyline, label, planes).
#include <QDialog>

#include <cstdint>
#include <vector>

#include "model/GraphAxis.h"
#include "model/GraphLabel.h"
#include "model/GraphLines.h"
#include "model/GraphPlanes.h"
#include "model/GraphPoints.h"
#include "model/GraphPolyline.h"
#include "model/GraphSpheres.h"
#include "model/GraphSurface.h"
#include "ui/CoordinateDialogs.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QVBoxLayout;

namespace qira {

class TBoreholeColorBox;
class TSpinEditEx;

// Installs every property dialog and the "Set center" dialog. Call once after the
// QApplication exists; calling it again is harmless.
void RegisterPropertyDialogs();

// The caption of every "Accept for all" box (two trailing blanks, as shown).
inline constexpr const char* kAcceptForAll = "Accept for all  ";

// The colour box of the property dialogs: standard, extended and custom colours.
using TPropertyColorBox = TBoreholeColorBox;

// The number OK takes from a numeric field: its text as a number ('.' or ','),
// limited to MinValue..MaxValue when the two differ. Text that is no number reads
// as the field's last valid value.
double FieldValue(const TSpinEditEx& edit);

// The frame the property dialogs share: the transparency track bar (0..255, 255
// opaque) under " Transparency: ", OK and Cancel, and the check of numeric fields.
class TPropertyForm : public QDialog {
 public:
  // Closes with OK only when every numeric field, in layout order, holds a number.
  void accept() override;

  QSlider* TrackBar1 = nullptr;
  QPushButton* OkButton = nullptr;
  QPushButton* CancelButton = nullptr;

 protected:
  explicit TPropertyForm(QWidget* parent);
  // A spin edit of integers or of decimals that accept() checks. min == max means
  // no range.
  TSpinEditEx* NewNumberEdit(QWidget* parent, bool integer, int decimals, double min, double max, double step);
  // The " Transparency: " group with TrackBar1 and, when accept is given, an
  // "Accept for all  " box stored there.
  QGroupBox* NewTransparencyGroup(QCheckBox** accept = nullptr);
  // OK and Cancel at the bottom of layout.
  void AddButtons(QVBoxLayout* layout);

 private:
  std::vector<TSpinEditEx*> numberEdits_;
};

// A property dialog with a "Coordinates" button that edits a private copy of the
// object's point list; only OK of the property dialog hands the copy back.
class TCoordinatesPropertyForm : public TPropertyForm {
 public:
  // The copy being edited.
  const std::vector<TSurveyPoint>& EditedPoints() const { return points_; }
  // Runs EditPoints on the copy.
  void CoordinatesClick();

  // The list editor behind "Coordinates" (replaceable, so tests need no user).
  TPointListDialog EditPoints = EditPointListWithDialog;
  QPushButton* BitBtn3 = nullptr;  // "Coordinates"

 protected:
  explicit TCoordinatesPropertyForm(QWidget* parent);
  std::vector<TSurveyPoint> points_;
};

// ---- Surfaces, points and lines --------------------------------------------------------

class TGraphSurfaceForm : public TPropertyForm {
 public:
  explicit TGraphSurfaceForm(QWidget* parent = nullptr);
  bool Execute(TSurfaceSettings& settings, TTransparencyParams& base);
  void Start(const TSurfaceSettings& settings, const TTransparencyParams& base);
  // A fill mode no button offers (a damaged file) stays as it was unless the user
  // chose one.
  void Finish(TSurfaceSettings& settings, TTransparencyParams& base) const;

  QRadioButton* RadioButton3;  // "Solid"
  QRadioButton* RadioButton4;  // "Lines"
  QRadioButton* RadioButton5;  // "Points"
  QCheckBox* CheckBox1;        // fill mode for all
  TPropertyColorBox* ColorBox1;
  QCheckBox* CheckBox3;        // "Use primary colors"
  QCheckBox* CheckBox2;        // colour for all
  QCheckBox* CheckBox7;        // transparency for all

 private:
  uint8_t fillMode_ = 0;
};

class TGraphPointsForm : public TPropertyForm {
 public:
  explicit TGraphPointsForm(QWidget* parent = nullptr);
  bool Execute(TPointsSettings& settings, TTransparencyParams& base);
  void Start(const TPointsSettings& settings, const TTransparencyParams& base);
  void Finish(TPointsSettings& settings, TTransparencyParams& base) const;

  QRadioButton* RadioButton1;  // "Round"
  QRadioButton* RadioButton2;  // "Square"
  QCheckBox* CheckBox1;        // style for all
  TSpinEditEx* SpinEditEx1;    // size
  QCheckBox* CheckBox4;        // size for all
  TPropertyColorBox* ColorBox1;
  QCheckBox* CheckBox3;        // "Use primary colors"
  QCheckBox* CheckBox2;        // colour for all
  QCheckBox* CheckBox7;        // transparency for all
};

class TGraphLinesForm : public TPropertyForm {
 public:
  explicit TGraphLinesForm(QWidget* parent = nullptr);
  bool Execute(TLinesSettings& settings, TTransparencyParams& base);
  void Start(const TLinesSettings& settings, const TTransparencyParams& base);
  void Finish(TLinesSettings& settings, TTransparencyParams& base) const;

  TSpinEditEx* SpinEditEx1;  // diameter
  QCheckBox* CheckBox4;      // diameter for all
  TPropertyColorBox* ColorBox1;
  QCheckBox* CheckBox3;      // "Use primary colors"
  QCheckBox* CheckBox2;      // colour for all
  QCheckBox* CheckBox7;      // transparency for all
};

// ---- Axis cross, spheres, polyline, label, planes --------------------------------------

class TGraphAxisForm : public TPropertyForm {
 public:
  explicit TGraphAxisForm(QWidget* parent = nullptr);
  bool Execute(TAxisFields& fields, uint8_t& transparency);
  void Start(const TAxisFields& fields, uint8_t transparency);
  void Finish(TAxisFields& fields, uint8_t& transparency) const;
  // "Size scale:", its field and the label colour are enabled exactly while the
  // labels' "Visible" box is checked.
  void EnableLabelControls();

  TSpinEditEx* SpinEditEx1;  // "Length:"
  TSpinEditEx* SpinEditEx2;  // "Width:"
  TPropertyColorBox* ColorBox1;  // arrows
  QCheckBox* CheckBox2;      // labels "Visible"
  QLabel* SizeScaleLabel;    // "Size scale:"
  TSpinEditEx* SpinEditEx3;  // size scale
  TPropertyColorBox* ColorBox2;  // labels
  TSpinEditEx* SpinEditEx4;  // offset "North:"
  TSpinEditEx* SpinEditEx5;  // offset "East:"
  TSpinEditEx* SpinEditEx6;  // offset "Elevation:"
};

class TGraphSpheresForm : public TCoordinatesPropertyForm {
 public:
  explicit TGraphSpheresForm(QWidget* parent = nullptr);
  bool Execute(TSpheresParams& params, uint8_t& transparency);
  void Start(const TSpheresParams& params, uint8_t transparency);
  void Finish(TSpheresParams& params, uint8_t& transparency) const;

  TSpinEditEx* SpinEditEx4;  // "Radius:"
  TPropertyColorBox* ColorBox1;
  TSpinEditEx* SpinEditEx1;  // "Segments:"
};

class TGraphLineForm : public TCoordinatesPropertyForm {
 public:
  explicit TGraphLineForm(QWidget* parent = nullptr);
  bool Execute(TLineParams3D& params, uint8_t& transparency);
  void Start(const TLineParams3D& params, uint8_t transparency);
  void Finish(TLineParams3D& params, uint8_t& transparency) const;

  TSpinEditEx* SpinEditEx4;  // "Diameter:"
  TPropertyColorBox* ColorBox1;
  QCheckBox* CheckBox2;      // "Spheres at ends"
};

class TGraphLabelForm : public TPropertyForm {
 public:
  explicit TGraphLabelForm(QWidget* parent = nullptr);
  bool Execute(TLabelParams& params, uint8_t& transparency);
  void Start(const TLabelParams& params, uint8_t transparency);
  // An alignment or layout the lists do not offer (a damaged file) stays as it was
  // unless the user chose one.
  void Finish(TLabelParams& params, uint8_t& transparency) const;

  TSpinEditEx* SpinEditEx1;  // "Northing:"
  TSpinEditEx* SpinEditEx2;  // "Easting:"
  TSpinEditEx* SpinEditEx3;  // "Elevation:"
  TSpinEditEx* SpinEditEx4;  // "Scale:"
  TPropertyColorBox* ColorBox1;
  QComboBox* ComboBox1;      // "Horizontal:" Left, Right, Center
  QComboBox* ComboBox2;      // "Vertical:" Top, Center, Bottom
  QLineEdit* Edit1;          // " Text "

 private:
  uint8_t alignment_ = 0;
  uint8_t layout_ = 0;
};

class TGraphPlanesForm : public TCoordinatesPropertyForm {
 public:
  explicit TGraphPlanesForm(QWidget* parent = nullptr);
  bool Execute(TPlanesParams& params, uint8_t& transparency);
  void Start(const TPlanesParams& params, uint8_t transparency);
  void Finish(TPlanesParams& params, uint8_t& transparency) const;

  TPropertyColorBox* ColorBox1;
};

}  // namespace qira

#pragma once
// The base property dialog of the scene objects: the transparency of a plain group
// (the root, imported groups, a section group without sections) and whether it
// goes to the whole tree. RegisterGraphMainDialog() makes it the dialog behind the
// base Edit of the objects.
#include <QDialog>

#include "model/GraphMain.h"

class QCheckBox;
class QPushButton;
class QShowEvent;
class QSlider;

namespace qira {

// Installs TGraphMainForm as the objects' transparency dialog. Call once after the
// QApplication exists; calling it again is harmless.
void RegisterGraphMainDialog();

class TGraphMainForm : public QDialog {
 public:
  explicit TGraphMainForm(QWidget* parent = nullptr);

  // Shows the pair; only on OK writes the track bar and the box back and returns
  // true. Cancel leaves the pair untouched.
  bool Execute(TTransparencyParams& params);

  QSlider* TrackBar1 = nullptr;   // opacity 0..255, 255 opaque
  QCheckBox* CheckBox1 = nullptr;  // "Accept for all"
  QPushButton* OkButton = nullptr;
  QPushButton* CancelButton = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace qira

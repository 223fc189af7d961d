#pragma once
// The two small dialogs of geology items: TBHCollEdit edits a rock style,
// TBHDepColEdit a rock interval. Both work on a copy of the item and hand it back
// only on OK. RegisterGeologyDialogs() makes them the editors behind
// TBHCollectionItem::Edit and TBHDepthCollectionItem::Edit.
#include <QDialog>
#include <QImage>
#include <QWidget>

#include <functional>
#include <optional>

#include "model/BoreholeCollections.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qira {

// Call once after the QApplication exists.
void RegisterGeologyDialogs();

// A paint box showing a rock's swatch over the window colour.
class TSwatchBox : public QWidget {
 public:
  explicit TSwatchBox(QWidget* parent = nullptr);
  // The item is not owned and must outlive the box (or be replaced first).
  void SetItem(const TBHCollectionItem* item);
  // What the box paints, at its current size.
  QImage Render() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const TBHCollectionItem* item_ = nullptr;
};

// Picks a colour starting from initial; nothing when cancelled.
using TColorChooser = std::function<std::optional<TColor>(TColor initial, QWidget* parent)>;
// The platform's colour dialog.
std::optional<TColor> ChooseColorWithDialog(TColor initial, QWidget* parent);

// "Editing": a rock style.
class TBHCollEdit : public QDialog {
 public:
  explicit TBHCollEdit(const TBHCollectionItem& item, QWidget* parent = nullptr);

  // Shows the dialog modally on a copy of item and assigns the copy back on OK.
  static bool Execute(TBHCollectionItem& item, QWidget* parent = nullptr);

  // The copy being edited; it takes the two names on OK.
  const TBHCollectionItem& Item() const { return copy_; }
  // The colour dialog behind "Color" (replaceable, so tests need no user).
  TColorChooser ChooseColor = ChooseColorWithDialog;

  QLineEdit* ShortNameEdit() const { return shortName_; }
  QLineEdit* FullNameEdit() const { return fullName_; }
  QCheckBox* FillingBox() const { return filling_; }
  QCheckBox* TextureBox() const { return texture_; }
  QCheckBox* BorderBox() const { return border_; }
  QPushButton* ColorButton() const { return color_; }
  QPushButton* HatchDownButton() const { return hatchDown_; }
  QPushButton* HatchUpButton() const { return hatchUp_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }
  TSwatchBox* Swatch() const { return swatch_; }

  void accept() override;

 private:
  void UpdateControls();
  void ColorClick();

  TBHCollectionItem copy_;
  QLineEdit* shortName_;
  QLineEdit* fullName_;
  QCheckBox* filling_;
  QCheckBox* texture_;
  QCheckBox* border_;
  QPushButton* color_;
  QPushButton* hatchDown_;
  QPushButton* hatchUp_;
  QPushButton* ok_;
  QPushButton* cancel_;
  TSwatchBox* swatch_;
};

// "Editing": a rock interval.
class TBHDepColEdit : public QDialog {
 public:
  explicit TBHDepColEdit(const TBHDepthCollectionItem& item, QWidget* parent = nullptr);

  // Shows the dialog modally on a copy of item and assigns the copy back on OK.
  static bool Execute(TBHDepthCollectionItem& item, QWidget* parent = nullptr);

  // The copy being edited; it takes the two depths on OK.
  const TBHDepthCollectionItem& Item() const { return copy_; }

  QLineEdit* MinimumEdit() const { return minimum_; }
  QLineEdit* MaximumEdit() const { return maximum_; }
  QLabel* ShortNameLabel() const { return shortName_; }
  QLabel* FullNameLabel() const { return fullName_; }
  QPushButton* EditButton() const { return edit_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }
  TSwatchBox* Swatch() const { return swatch_; }

  // Closes with OK only when both depth fields hold numbers and the maximum is greater
  // than the minimum; otherwise shows why and stays open.
  void accept() override;

 private:
  void ShowStyle();
  bool CheckedDepths(float& top, float& bottom);

  TBHDepthCollectionItem copy_;
  QLineEdit* minimum_;
  QLineEdit* maximum_;
  QLabel* shortName_;
  QLabel* fullName_;
  QPushButton* edit_;
  QPushButton* ok_;
  QPushButton* cancel_;
  TSwatchBox* swatch_;
};

// Depths as the interval dialog shows them: general format, 7 significant digits
// ("20.5", "1E-7", "1.5E10").
std::string FormatDepth(double value);

}  // namespace qira

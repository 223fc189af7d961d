#pragma once
// The property dialog of a section and of a section group: palette (edited in the
// palette editor), whether values beyond the palette's range are shown, image style,
// filling mode and transparency, each group with its own "Accept for all" box that
// spreads the group over the other sections. The caller sets the caption.
//
// RegisterSectionDialog() makes TGraphSectionForm the dialog behind the section's and
// the section group's Edit.
#include <QDialog>

#include <optional>

#include "model/Section.h"

class QCheckBox;
class QPushButton;
class QRadioButton;
class QSlider;

namespace qira {

// Call once after the QApplication exists.
void RegisterSectionDialog();

class TGraphSectionForm : public QDialog {
 public:
  explicit TGraphSectionForm(QWidget* parent = nullptr);

  // Remembers the data's value range for the palette editor when Min < Max (both
  // finite); otherwise changes nothing.
  void SetDataRange(double Min, double Max);
  bool HasDataRange() const { return HasDataRange_; }

  // Start, the dialog modally, then on OK Finish. The working palette is dropped
  // either way; true exactly on OK. On Cancel settings and pair are unchanged, even
  // after the palette was edited.
  bool Execute(TSectionSettings& Settings, TTransparencyParams& Pair);
  // A working copy of the record's palette; every control from the record and pair.
  void Start(const TSectionSettings& Settings, const TTransparencyParams& Pair);
  // The record's palette from the working copy (when one is held), the other fields
  // and the pair from the controls.
  void Finish(TSectionSettings& Settings, TTransparencyParams& Pair) const;

  // "Edit": the palette editor on the working palette, with the stored data range
  // (none when none was set); the editor changes the working palette only when the
  // user accepts it. Nothing while no working palette is held.
  void BitBtn1Click();

  // The palette being edited; null outside Start .. the end of Execute.
  const TZBPalette* WorkingPalette() const { return Working_ ? &*Working_ : nullptr; }

  QPushButton* EditButton() const { return Edit_; }
  QCheckBox* ShowAboveMaxBox() const { return ShowAboveMax_; }
  QCheckBox* ShowBelowMinBox() const { return ShowBelowMin_; }
  QCheckBox* PaletteForAllBox() const { return PaletteForAll_; }
  QRadioButton* GradientButton() const { return Gradient_; }
  QRadioButton* CellsButton() const { return Cells_; }
  QCheckBox* StyleForAllBox() const { return StyleForAll_; }
  QRadioButton* SolidButton() const { return Solid_; }
  QRadioButton* LinesButton() const { return Lines_; }
  QRadioButton* PointsButton() const { return Points_; }
  QCheckBox* FillForAllBox() const { return FillForAll_; }
  QSlider* TransparencyBar() const { return Transparency_; }
  QCheckBox* TransparencyForAllBox() const { return TransparencyForAll_; }
  QPushButton* OkButton() const { return Ok_; }
  QPushButton* CancelButton() const { return Cancel_; }

 private:
  std::optional<TZBPalette> Working_;
  double Min_ = 0;
  double Max_ = 0;
  bool HasDataRange_ = false;

  QPushButton* Edit_;
  QCheckBox* ShowAboveMax_;
  QCheckBox* ShowBelowMin_;
  QCheckBox* PaletteForAll_;
  QRadioButton* Gradient_;
  QRadioButton* Cells_;
  QCheckBox* StyleForAll_;
  QRadioButton* Solid_;
  QRadioButton* Lines_;
  QRadioButton* Points_;
  QCheckBox* FillForAll_;
  QSlider* Transparency_;
  QCheckBox* TransparencyForAll_;
  QPushButton* Ok_;
  QPushButton* Cancel_;
};

}  // namespace qira

#pragma once
// "Palette": the palette editor. TPaletteForm edits a copy of a TZBPalette: the
// colour bar with its value axis, a triangular marker above the bar for every
// colour of the scale (drag a stop's marker to move it, double-click a marker to
// change its colour, right-click to add or delete a stop), brightness, logarithmic
// scale, value range (typed or taken from the data), inversion, reversal, and
// loading and saving of *.clr files. The caller's palette takes the copy only on OK.
//
// RegisterPaletteEditor() makes the form the editor behind EditPalette.
#include <QDialog>
#include <QImage>
#include <QWidget>

#include <cstdint>

#include "model/Palette.h"
#include "ui/GeologyDialogs.h"

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QPushButton;

namespace qira {

class TSpinEditEx;
class TPaletteForm;

// Call once after the QApplication exists.
void RegisterPaletteEditor();

// The form's paint box: shows the form's back buffer and hands its mouse events to
// the form, in the box's own coordinates.
class TPaletteBox : public QWidget {
 public:
  explicit TPaletteBox(TPaletteForm* form, QWidget* parent = nullptr);

  QImage& Buffer() { return buffer_; }
  const QImage& Buffer() const { return buffer_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  TPaletteForm* form_;
  QImage buffer_;
};

class TPaletteForm : public QDialog {
 public:
  // No highlighted marker.
  static constexpr int kNoHotPos = 101;

  explicit TPaletteForm(QWidget* parent = nullptr);
  ~TPaletteForm() override;

  // Remembers the data's value range when dataMin < dataMax and both are finite;
  // otherwise the form has no data range.
  void SetDataRange(double dataMin, double dataMax);
  bool HasDataRange() const { return hasDataRange_; }

  // Loads a working copy of palette into the form (the controls show it without
  // changing it) and sets up "Automatical"; Execute does this before showing.
  void Start(const TZBPalette& palette);
  // Shows the form modally on a copy of palette; on OK palette takes the copy.
  bool Execute(TZBPalette& palette);

  const TZBPalette& Working() const { return working_; }
  // The colour dialog behind a double click (replaceable, so tests need no user).
  TColorChooser ChooseColor = ChooseColorWithDialog;

  // ---- marker geometry, in paint box pixels
  // The bar: inside the raised frame of the upper part of the paint box.
  TRect BarRect() const { return bar_; }
  int PosToX(double percent) const;
  int XToPos(int x) const;
  int HotPos() const { return hotPos_; }
  // The pointer's x during a marker drag, -1 when no drag runs. A drag is a state
  // of its own: the pointer may leave the box on the left, where x is negative.
  int DragX() const { return dragX_; }
  bool Dragging() const { return dragging_; }
  int Selected() const { return selected_; }
  // Where the last mouse button went down ("Add" puts its stop at MouseDownX).
  int MouseDownX() const { return mouseDownX_; }
  int MouseDownY() const { return mouseDownY_; }

  // ---- mouse handling, in paint box pixels (the box calls these)
  void BoxMouseMove(int x, int y);
  void BoxMouseDown(Qt::MouseButton button, int x, int y);
  void BoxMouseUp(Qt::MouseButton button, int x, int y);
  void BoxDoubleClick(int x, int y);

  // Redraws the back buffer whole (bar, axis, markers, hot marker) and shows it.
  void RepaintBox();

  TPaletteBox* PaintBox() const { return box_; }
  TSpinEditEx* BrightnessEdit() const { return brightness_; }
  QCheckBox* LogarithmBox() const { return logarithm_; }
  TSpinEditEx* MinimumEdit() const { return minimum_; }
  TSpinEditEx* MaximumEdit() const { return maximum_; }
  QLabel* MinimumLabel() const { return minimumLabel_; }
  QLabel* MaximumLabel() const { return maximumLabel_; }
  QCheckBox* AutomaticalBox() const { return automatical_; }
  QPushButton* InverseButton() const { return inverse_; }
  QPushButton* ReverseButton() const { return reverse_; }
  QPushButton* OpenButton() const { return open_; }
  QPushButton* SaveButton() const { return save_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }
  QMenu* ContextMenu() const { return menu_; }
  QAction* AddAction() const { return add_; }
  QAction* DeleteAction() const { return delete_; }

 protected:
  // Leaving a range field confirms the range (ConfirmRange).
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class TPaletteBox;

  void ComputeBarRect();
  void RenderBuffer();
  // Inverts the hot marker's pixels at a percent position: drawn twice, it is gone.
  void DrawHotMarker(int pos);
  void SetHotPos(int pos);
  int MarkerUnder(int x, int y) const;

  void BrightnessChange();
  void LogarithmClick();
  void RangeChange();
  void AutomaticalClick();
  void AddClick();
  void DeleteClick();
  void OpenClick();
  // Writes a range value into its edit and remembers it exactly, so that the
  // edit's few decimals do not round the palette's range when the other edit changes.
  void ShowRangeValue(TSpinEditEx* edit, double value);
  double RangeValue(const TSpinEditEx* edit) const;
  // Each keystroke in a range field is applied, so typing "75" under a maximum of 50
  // leaves "7" in the palette. When the fields show a range the palette does not
  // hold, the user is told why it was refused, and the palette and the fields go back
  // to the range held before the edit began; false then.
  bool ConfirmRange();
  // The palette's range as it stands now is the one a refused edit returns to.
  void KeepRangeBeforeEdit();
  // Before OK: every field shows what the palette holds, or the range is told as above.
  bool ConfirmFields();

  TZBPalette working_;
  int hotPos_ = kNoHotPos;
  int dragX_ = -1;
  bool dragging_ = false;
  int selected_ = -1;
  TRect bar_;
  int mouseDownX_ = 0;
  int mouseDownY_ = 0;
  bool hasDataRange_ = false;
  double dataMin_ = 0;
  double dataMax_ = 0;
  // Set while the form writes into its own controls: their handlers then do nothing.
  bool loading_ = false;
  double shownMin_ = 0;
  double shownMax_ = 0;
  QString shownMinText_;
  QString shownMaxText_;
  // The range when the dialog opened, a range field took the focus or a range was
  // confirmed.
  double minBeforeEdit_ = 0;
  double maxBeforeEdit_ = 0;

  TPaletteBox* box_;
  TSpinEditEx* brightness_;
  QCheckBox* logarithm_;
  QLabel* minimumLabel_;
  QLabel* maximumLabel_;
  TSpinEditEx* minimum_;
  TSpinEditEx* maximum_;
  QCheckBox* automatical_;
  QPushButton* inverse_;
  QPushButton* reverse_;
  QPushButton* open_;
  QPushButton* save_;
  QPushButton* ok_;
  QPushButton* cancel_;
  QMenu* menu_;
  QAction* add_;
  QAction* delete_;
};

}  // namespace qira

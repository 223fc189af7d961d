#pragma once
// The dialogs before a blocks table is written: TExportColorForm, where the user
// sets the limits of the nine colour classes, and TExportPreviewForm, which paints
// each section in those classes through its preview callback and, for a section
// group, browses the sections one by one. RegisterExportDialogs() makes the colour
// form the dialog behind the model's colour-class hook.
#include <QDialog>
#include <QImage>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "model/SectionExports.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace qira {

// Call once after the QApplication exists.
void RegisterExportDialogs();

// A number as the preview writes the frequency: general format, 15 significant
// digits ("12.5", "1E-7", "1.5E20").
std::string FloatToStrGeneral(double value);

// "Preview": black, the shown section's classes, and with more than one section
// its frequency in the top left corner and two browse buttons in the bottom right.
class TExportPreviewForm : public QDialog {
 public:
  explicit TExportPreviewForm(QWidget* parent = nullptr);

  // Start, then the form modally; then StoreSize. True when it closed with OK.
  bool Execute(const std::vector<TPreviewCallback>& callbacks, const TClassLimits& limits);
  // Keeps both, sizes the form from the settings (defaults two thirds of the
  // screen), shows the browse buttons only for more than one callback, and shows
  // callback 0.
  void Start(const std::vector<TPreviewCallback>& callbacks, const TClassLimits& limits);
  // Writes the form's height and width to the settings.
  void StoreSize() const;

  // What the form paints at its present size.
  QImage Render() const;
  int Index() const { return index_; }

  QPushButton* NextButton() const { return next_; }          // BitBtn1
  QPushButton* PreviousButton() const { return previous_; }  // BitBtn2

  // The next section, from the last back to the first; repaints.
  void BitBtn1Click() { Browse(1); }
  // The previous section, from the first round to the last; repaints.
  void BitBtn2Click() { Browse(-1); }

 protected:
  // Paints what Render gives (FormPaint); a callback that raises leaves it black.
  void paintEvent(QPaintEvent* event) override;
  // Puts the browse buttons into the bottom right corner and repaints (FormResize).
  void resizeEvent(QResizeEvent* event) override;

 private:
  void PlaceButtons();
  // One step through the sections, wrapping at both ends.
  void Browse(int step);

  std::vector<TPreviewCallback> callbacks_;
  TClassLimits limits_{};
  int index_ = 0;
  QPushButton* next_;
  QPushButton* previous_;
};

// Shows the preview of callbacks with limits under caption.
using TPreviewRunner = std::function<void(const std::string& caption, const std::vector<TPreviewCallback>& callbacks,
                                          const TClassLimits& limits, QWidget* parent)>;
// The preview form, run modally.
void RunPreviewForm(const std::string& caption, const std::vector<TPreviewCallback>& callbacks,
                    const TClassLimits& limits, QWidget* parent);

// "Export": one row per colour class; the first and last rows hold one limit each,
// each other row from and to. The open ends read "and less" and "and more" by the
// order of the limits: with limits that descend (the defaults when red is the
// palette's high end) the first row is "and more" and the last "and less".
class TExportColorForm : public QDialog {
 public:
  explicit TExportColorForm(QWidget* parent = nullptr);

  // Start, then the form modally. On OK limits takes what the user entered and the
  // result is true; on Cancel limits stay as they were.
  static bool Execute(const std::string& caption, TClassLimits& limits, bool mustBePositive,
                      const std::vector<TPreviewCallback>& callbacks, QWidget* parent = nullptr);
  // Shows every limit with 3 significant digits; keeps the flag and the callbacks.
  void Start(const TClassLimits& limits, bool mustBePositive, const std::vector<TPreviewCallback>& callbacks);

  // Validates Edit1 to Edit16 in order (a number with '.' or ',', above 0 when the
  // flag asks for it); at the first invalid edit tells the user why, focuses it and
  // returns false. The limits are not compared with each other.
  bool ReadLimits(TClassLimits& limits);
  // The limits read when the form closed with OK.
  const TClassLimits& Limits() const { return limits_; }
  // Whether every limit must be greater than 0.
  bool MustBePositive() const { return mustBePositive_; }

  // Edit n (1..16) of the form: Edit1 = L[0], Edit2..Edit9 the rows' left edits
  // (L[1], L[3], ..., L[15]), Edit10..Edit16 the right edits (L[2], ..., L[14]).
  QLineEdit* Edit(int n) const { return edits_.at(static_cast<size_t>(n - 1)); }
  // The limit index that edit n holds.
  static int LimitIndexOfEdit(int n);
  // The texts after Edit1 (Red) and Edit9 (Blue).
  QLabel* RedEndLabel() const { return endLabels_[0]; }
  QLabel* BlueEndLabel() const { return endLabels_[1]; }
  QPushButton* PreviewButton() const { return preview_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }

  // The preview behind "Preview" (replaceable, so tests need no user).
  TPreviewRunner ShowPreview = RunPreviewForm;

  // OK (BitBtn1Click): closes with OK only when every edit holds a valid limit.
  void accept() override;
  // "Preview": when every edit holds a valid limit, the preview under this form's
  // caption with the limits entered.
  void BitBtn3Click();

 private:
  // The open ends' texts from Edit1 and Edit9 (kept while either is no number).
  void UpdateEndLabels();

  std::array<QLineEdit*, 16> edits_{};
  std::array<QLabel*, 2> endLabels_{};
  QPushButton* preview_;
  QPushButton* ok_;
  QPushButton* cancel_;
  bool mustBePositive_ = false;
  std::vector<TPreviewCallback> callbacks_;
  TClassLimits limits_{};
};

}  // namespace qira

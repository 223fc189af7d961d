#pragma once
// The editors of drawing parameters: "Filling editor" (TBrushDlgForm) for
// TBrushParams, "Line editor" (TLineDlgForm) for TLineParams and "Font editor"
// (TFontDlgForm) for TFontParams. Each edits a copy with a live preview; OK hands
// the copy back, Cancel leaves the parameters alone, "Default" shows the values the
// editor was opened with again.
//
// The sample buttons TBrushEdit and TLineEdit are shaped buttons that show a fill or
// a pen and open its editor when clicked.
//
// RegisterParamEditors() makes the forms the editors behind TGraphParams::Edit.
#include <QComboBox>
#include <QDialog>
#include <QImage>
#include <QWidget>

#include <functional>

#include "model/GraphParams.h"
#include "widgets/ShapedButton.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace qira {

class TSpinEditEx;

// Call once after the QApplication exists.
void RegisterParamEditors();

// A colour list: the sixteen standard colours, and the colour it was given when
// that is none of them.
class TParamColorBox : public QComboBox {
 public:
  explicit TParamColorBox(QWidget* parent = nullptr);
  TColor Selected() const;
  void SetSelected(TColor color);
};

// A paint box that draws through a canvas into its back buffer.
class TParamPreview : public QWidget {
 public:
  explicit TParamPreview(QWidget* parent = nullptr);
  // Draws on a canvas the size of the box, over the button face colour.
  std::function<void(TCanvas&)> OnDraw;
  // What the box shows, drawn anew.
  const QImage& Render();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage buffer_;
};

// The fill sample: a rectangle in its brush.
class TBrushEdit : public TShapedButton {
 public:
  explicit TBrushEdit(QWidget* parent = nullptr);
  const TBrushParams& Brush() const { return brush_; }
  // Takes the values of brush and repaints at once.
  void SetBrush(const TBrushParams& brush);
  void PaintButton() override;

 private:
  TBrushParams brush_;
};

// The pen sample: a horizontal line in its pen.
class TLineEdit : public TShapedButton {
 public:
  explicit TLineEdit(QWidget* parent = nullptr);
  const TLineParams& Line() const { return line_; }
  void SetLine(const TLineParams& line);
  void PaintButton() override;

 private:
  TLineParams line_;
};

// Common frame of the three editors: preview, OK, Cancel and "Default".
class TParamDlgForm : public QDialog {
 public:
  TParamPreview* Preview() const { return preview_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }
  QPushButton* DefaultButton() const { return default_; }

 protected:
  TParamDlgForm(const QString& caption, QWidget* parent);
  // Lays out the controls above the preview and the buttons.
  void Finish(QLayout* controls);
  virtual void DefaultClick() = 0;
  // Set while the form writes into its own controls: their handlers do nothing.
  bool loading_ = false;

 private:
  TParamPreview* preview_;
  QPushButton* ok_;
  QPushButton* cancel_;
  QPushButton* default_;
};

// "Filling editor".
class TBrushDlgForm : public TParamDlgForm {
 public:
  explicit TBrushDlgForm(QWidget* parent = nullptr);
  // Loads params and shows the form modally; on OK params takes the edited copy.
  bool Execute(TBrushParams& params);
  // Takes params as the opening values and loads the controls from them.
  void Start(const TBrushParams& params);
  const TBrushParams& Edited() const { return edited_; }

  QCheckBox* TextureBox() const { return texture_; }
  TParamColorBox* TextureColorBox() const { return textureColor_; }
  QComboBox* StyleList() const { return style_; }
  QCheckBox* BackBox() const { return back_; }
  TParamColorBox* BackColorBox() const { return backColor_; }
  QLabel* TextureColorLabel() const { return textureColorLabel_; }
  QLabel* StyleLabel() const { return styleLabel_; }
  QLabel* BackColorLabel() const { return backColorLabel_; }

 protected:
  void DefaultClick() override;

 private:
  void UpdateEnabled();
  void TakeControls();
  void DrawPreview(TCanvas& canvas);

  TBrushParams edited_;
  TBrushParams initial_;
  QCheckBox* texture_;
  QLabel* textureColorLabel_;
  TParamColorBox* textureColor_;
  QLabel* styleLabel_;
  QComboBox* style_;
  QCheckBox* back_;
  QLabel* backColorLabel_;
  TParamColorBox* backColor_;
};

// "Line editor".
class TLineDlgForm : public TParamDlgForm {
 public:
  explicit TLineDlgForm(QWidget* parent = nullptr);
  // On OK the colour, mode, style and width of the controls go into params.
  bool Execute(TLineParams& params);
  void Start(const TLineParams& params);
  const TLineParams& Edited() const { return edited_; }

  TParamColorBox* ColorBox() const { return color_; }
  QComboBox* ModeList() const { return mode_; }
  QComboBox* StyleList() const { return style_; }
  TSpinEditEx* WidthEdit() const { return width_; }

 protected:
  void DefaultClick() override;

 private:
  void ControlChanged();
  void DrawPreview(TCanvas& canvas);

  TLineParams edited_;
  TLineParams initial_;
  TParamColorBox* color_;
  QComboBox* mode_;
  QComboBox* style_;
  TSpinEditEx* width_;
};

// "Font editor".
class TFontDlgForm : public TParamDlgForm {
 public:
  explicit TFontDlgForm(QWidget* parent = nullptr);
  ~TFontDlgForm() override;
  bool Execute(TFontParams& params);
  void Start(const TFontParams& params);
  const TFontParams& Edited() const { return edited_; }

  QComboBox* FaceList() const { return face_; }
  TParamColorBox* ColorBox() const { return color_; }
  TSpinEditEx* SizeEdit() const { return size_; }
  QCheckBox* StyleBox(int bit) const { return styles_[bit]; }
  QComboBox* HAlignList() const { return hAlign_; }
  QComboBox* VAlignList() const { return vAlign_; }
  QCheckBox* FramedBox() const { return framed_; }
  QCheckBox* BorderBox() const { return border_; }
  QCheckBox* FillingBox() const { return filling_; }
  TLineEdit* LineButton() const { return lineButton_; }
  TBrushEdit* BrushButton() const { return brushButton_; }
  TSpinEditEx* HDistanceEdit() const { return hDistance_; }
  TSpinEditEx* VDistanceEdit() const { return vDistance_; }
  QLabel* DistanceLabel() const { return distanceLabel_; }

 protected:
  void DefaultClick() override;

 private:
  void ControlChanged();
  void UpdateEnabled();
  void DrawPreview(TCanvas& canvas);

  TFontParams edited_;
  TFontParams initial_;
  QComboBox* face_;
  TParamColorBox* color_;
  TSpinEditEx* size_;
  QCheckBox* styles_[4];
  QComboBox* hAlign_;
  QComboBox* vAlign_;
  QCheckBox* framed_;
  QCheckBox* border_;
  QCheckBox* filling_;
  TLineEdit* lineButton_;
  TBrushEdit* brushButton_;
  QLabel* distanceLabel_;
  QLabel* hDistanceLabel_;
  QLabel* vDistanceLabel_;
  TSpinEditEx* hDistance_;
  TSpinEditEx* vDistance_;
};

}  // namespace qira

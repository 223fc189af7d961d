#include "chart/engine/ChartTitles.h"

#include <algorithm>

namespace qira {

void TChartCustomShapePosition::SetLeft(int32_t value) {
  const int32_t w = ShapeBounds.Right - ShapeBounds.Left;
  ShapeBounds.Left = value;
  ShapeBounds.Right = value + w;
  customPosition_ = true;
  Repaint();
}

void TChartCustomShapePosition::SetTop(int32_t value) {
  const int32_t h = ShapeBounds.Bottom - ShapeBounds.Top;
  ShapeBounds.Top = value;
  ShapeBounds.Bottom = value + h;
  customPosition_ = true;
  Repaint();
}

void TChartCustomShapePosition::AssignPosition(const TChartCustomShapePosition& source) {
  customPosition_ = source.customPosition_;
  const TRect bounds = ShapeBounds;
  TChartCustomShape::Assign(source);
  ShapeBounds = bounds;
  if (customPosition_) {
    ShapeBounds.Left = source.ShapeBounds.Left;
    ShapeBounds.Top = source.ShapeBounds.Top;
  }
}

TChartTitle::TChartTitle(TCustomChartPanel* chart) : TChartCustomShapePosition(chart) {
  SetDefaultTransparent(true);
  Font().SetColor(clBlue);
  Font().SetDefaultColor(clBlue);
}

TChartFootTitle::TChartFootTitle(TCustomChartPanel* chart) : TChartTitle(chart) {
  onTop_ = false;
  Font().SetColor(clRed);
  Font().SetDefaultColor(clRed);
  Font().SetStyle(fsItalic);
  Font().SetDefaultStyle(fsItalic);
}

void TChartTitle::Assign(const TChartTitle& source) {
  AdjustFrame = source.AdjustFrame;
  Alignment = source.Alignment;
  Text = source.Text;
  VertMargin = source.VertMargin;
  AssignPosition(source);
}

bool TChartTitle::Clicked(int32_t x, int32_t y) const { return Visible() && PointInRect(ShapeBounds, x, y); }

void TChartTitle::DrawTitle() {
  TCustomChartPanel* chart = ParentChart();
  if (chart == nullptr || !Visible() || Text.empty()) return;
  TChartCanvas3D& canvas = chart->ChartCanvas();
  const int32_t lines = static_cast<int32_t>(Text.size());

  int32_t fw = Pen().Visible() && Pen().Color() != clChartDefault ? Pen().Width() : 0;
  if (Bevel() != bvNone) fw = BevelWidth();

  const bool custom = CustomPosition();
  if (!custom) {
    ShapeBounds = chart->ChartRect();
    if (onTop_) ShapeBounds.Top += fw;
  }
  canvas.AssignFont(Font());
  const int32_t h = canvas.FontHeight();
  const bool stackDown = onTop_ || custom;
  if (stackDown)
    ShapeBounds.Bottom = ShapeBounds.Top + h * lines;
  else
    ShapeBounds.Top = ShapeBounds.Bottom - h * lines;
  if (!custom) ShapeBounds = {ShapeBounds.Left - fw, ShapeBounds.Top - fw, ShapeBounds.Right + fw,
                              ShapeBounds.Bottom + fw};

  const int32_t W = canvas.TextWidth("W");
  if (AdjustFrame) {
    int32_t widest = 0;
    for (const std::string& line : Text) widest = std::max(widest, canvas.TextWidth(line));
    const int32_t width = widest + W + fw;
    switch (Alignment) {
      case taLeftJustify:
        ShapeBounds.Right = ShapeBounds.Left + width;
        break;
      case taRightJustify:
        ShapeBounds.Left = ShapeBounds.Right - width;
        break;
      case taCenter: {
        if (custom) ShapeBounds.Right = ShapeBounds.Left + width;
        const int32_t middle = (ShapeBounds.Left + ShapeBounds.Right) / 2;
        ShapeBounds.Left = middle - width / 2;
        ShapeBounds.Right = ShapeBounds.Left + width;
        break;
      }
    }
  }

  Draw();
  canvas.SetBackMode(bkTransparent);
  canvas.AssignFont(Font());
  if (TextFormat() == ttfHtml) {
    std::string all;
    for (size_t i = 0; i < Text.size(); ++i) all += (i ? "\r" : "") + Text[i];
    canvas.TextOutHtml(ShapeBounds.Left + W / 2, ShapeBounds.Top + fw, all);
  } else {
    const int32_t middle = (ShapeBounds.Left + ShapeBounds.Right) / 2;
    for (int32_t i = 0; i < lines; ++i) {
      const std::string& line = Text[static_cast<size_t>(i)];
      const int32_t y = stackDown ? ShapeBounds.Top + fw + h * i : ShapeBounds.Bottom - fw - h * (i + 1);
      int32_t x = 0;
      switch (Alignment) {
        case taLeftJustify: x = ShapeBounds.Left + W / 2; break;
        case taRightJustify: x = ShapeBounds.Right - canvas.TextWidth(line) - W / 2; break;
        case taCenter: x = middle - canvas.TextWidth(line) / 2; break;
      }
      canvas.TextOut(x, y, line);
    }
  }

  if (custom) return;
  int32_t margin = VertMargin + fw;
  if (!Transparent() && ShadowIfAny() != nullptr && ShadowIfAny()->Visible()) margin += ShadowIfAny()->VertSize();
  TRect r = chart->ChartRect();
  if (onTop_)
    r.Top = ShapeBounds.Bottom + margin;
  else
    r.Bottom = ShapeBounds.Bottom - margin - h * lines;
  chart->SetChartRect(r);
  chart->RecalcChartRect();
}

// [SECTION] Properties

void TChartCustomShapePosition::WriteProperties(TStreamedProperties& block) const {
  TChartCustomShape::WriteProperties(block);
  if (!customPosition_) return;
  AddBoolean(block, "CustomPosition", true);
  AddInteger(block, "Left", ShapeBounds.Left);
  AddInteger(block, "Top", ShapeBounds.Top);
}

void TChartCustomShapePosition::ReadProperties(const TStreamedProperties& block) {
  const bool custom = PropertyBoolean(block, "CustomPosition", customPosition_);
  const int32_t left = PropertyInt32(block, "Left", ShapeBounds.Left);
  const int32_t top = PropertyInt32(block, "Top", ShapeBounds.Top);
  TChartCustomShape::ReadProperties(block);  // raises before it changes anything
  if (FindProperty(block, "Left") != nullptr) SetLeft(left);
  if (FindProperty(block, "Top") != nullptr) SetTop(top);
  customPosition_ = custom;
}

void TChartTitle::WriteProperties(TStreamedProperties& block) const {
  if (!AdjustFrame) AddBoolean(block, "AdjustFrame", false);
  if (Alignment != taCenter) AddIdent(block, "Alignment", kChartAlignmentIdents[Alignment]);
  if (!Text.empty()) AddStrings(block, "Text", Text);
  if (VertMargin != 5) AddInteger(block, "VertMargin", VertMargin);
  TChartCustomShapePosition::WriteProperties(block);
}

void TChartTitle::ReadProperties(const TStreamedProperties& block) {
  const bool adjustFrame = PropertyBoolean(block, "AdjustFrame", AdjustFrame);
  const int alignment = PropertyIdent(block, "Alignment", kChartAlignmentIdents, Alignment);
  std::vector<std::string> text = PropertyStrings(block, "Text", Text);
  const int32_t vertMargin = PropertyInt32(block, "VertMargin", VertMargin);
  TChartCustomShapePosition::ReadProperties(block);
  AdjustFrame = adjustFrame;
  Alignment = static_cast<TChartAlignment>(alignment);
  Text = std::move(text);
  VertMargin = vertMargin;
  Repaint();
}

}  // namespace qira

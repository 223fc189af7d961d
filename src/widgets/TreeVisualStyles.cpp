#include "widgets/TreeVisualStyles.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace qira {

bool IsThemeActive() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr && QApplication::style() != nullptr;
}

void DrawThemeBackground(TCanvas& canvas, TThemeButtonPart part, TThemeButtonState state, const TRect& rect) {
  if (!IsThemeActive() || rect.IsEmpty()) return;
  QStyle::PrimitiveElement element;
  switch (part) {
    case BP_CHECKBOX: element = QStyle::PE_IndicatorCheckBox; break;
    case BP_RADIOBUTTON: element = QStyle::PE_IndicatorRadioButton; break;
    default: return;
  }
  QStyleOptionButton option;
  option.rect = QRect(rect.Left, rect.Top, rect.Width(), rect.Height());
  option.state = QStyle::State_Enabled | QStyle::State_Active |
                 (state == TS_CHECKEDNORMAL ? QStyle::State_On : QStyle::State_Off);
  option.palette = QApplication::palette();
  QPainter painter(canvas.Image());
  if (canvas.ClipRegion()) painter.setClipRegion(*canvas.ClipRegion());
  QApplication::style()->drawPrimitive(element, &option, &painter, nullptr);
}

}  // namespace qira

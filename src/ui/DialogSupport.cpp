#include "ui/DialogSupport.h"

#include <QDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

#include <algorithm>

#include "model/LostText.h"

namespace qira {

QHBoxLayout* ButtonRow(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel) {
  ok = new QPushButton(QStringLiteral("OK"), dialog);
  cancel = new QPushButton(QStringLiteral("Cancel"), dialog);
  ok->setDefault(true);
  QObject::connect(ok, &QPushButton::clicked, dialog, [dialog] { dialog->accept(); });
  QObject::connect(cancel, &QPushButton::clicked, dialog, [dialog] { dialog->reject(); });
  auto* row = new QHBoxLayout();
  row->addStretch(1);
  row->addWidget(ok);
  row->addWidget(cancel);
  return row;
}

QLabel* NewLostTextWarning(QLineEdit* field) {
  auto* label = new QLabel(field->parentWidget());
  // One line, never wrapped: the window's least size grows with it, so it is seen whole.
  label->setTextFormat(Qt::PlainText);
  const auto tell = [label, field] {
    const std::string warning = LostTextWarning(FromQt(field->text()));
    label->setText(ToQt(warning));
    label->setVisible(!warning.empty());
  };
  QObject::connect(field, &QLineEdit::textChanged, label, tell);
  tell();
  return label;
}

void CentreOnScreen(QWidget* window) {
  if (QScreen* screen = window->screen()) {
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
  }
}

QRect StoredPlaceOnScreen(int left, int top, int width, int height, const QRect& screen, QSize minimum) {
  // Only sums of the screen's own numbers are formed: a stored value near the int
  // limits never takes part in one.
  const int screenWidth = std::max(screen.width(), 1);
  const int screenHeight = std::max(screen.height(), 1);
  const int w = std::clamp(width, std::min(minimum.width(), screenWidth), screenWidth);
  const int h = std::clamp(height, std::min(minimum.height(), screenHeight), screenHeight);
  const int x = std::clamp(left, screen.left(), screen.left() + screenWidth - w);
  const int y = std::clamp(top, screen.top(), screen.top() + screenHeight - h);
  return QRect(x, y, w, h);
}

QRect AvailableScreenAreaAt(QPoint point) {
  QScreen* screen = QGuiApplication::screenAt(point);
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

}  // namespace qira

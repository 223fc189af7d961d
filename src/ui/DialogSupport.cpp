#include "ui/DialogSupport.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

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

void CentreOnScreen(QWidget* window) {
  if (QScreen* screen = window->screen()) {
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
  }
}

}  // namespace qira

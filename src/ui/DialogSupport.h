#pragma once
// What every window and dialog of the program shares: text passes between the
// program (UTF-8) and Qt at this one place, and dialogs end in the same buttons.
#include <QString>

#include <cstdint>
#include <string>

class QDialog;
class QHBoxLayout;
class QPushButton;
class QWidget;

namespace qira {

inline QString ToQt(const std::string& utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
inline std::string FromQt(const QString& text) { return text.toUtf8().toStdString(); }

// What a window does once asked to close: stay open, hide, be destroyed, or be
// minimised. A window's FormClose handler chooses.
enum class TCloseAction : uint8_t { caNone, caHide, caFree, caMinimize };

// OK and Cancel at the bottom right; OK is the default button.
QHBoxLayout* ButtonRow(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel);

// Moves a shown window to the centre of its screen (rather than of its owner).
void CentreOnScreen(QWidget* window);

}  // namespace qira

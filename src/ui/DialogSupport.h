#pragma once
// What every window and dialog of the program shares: text passes between the
// program (UTF-8) and Qt at this one place, and dialogs end in the same buttons.
#include <QRect>
#include <QSize>
#include <QString>

#include <cstdint>
#include <string>

class QDialog;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace qira {

inline QString ToQt(const std::string& utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
inline std::string FromQt(const QString& text) { return text.toUtf8().toStdString(); }
// Text as a window's title holds it: Qt takes a "[*]" in a title for the place of the
// changed mark, and "[*][*]" for a "[*]" of the text, so each of the text's is doubled.
inline QString ToQtTitle(const std::string& utf8) {
  return ToQt(utf8).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
}

// What a window does once asked to close: stay open, hide, be destroyed, or be
// minimised. A window's FormClose handler chooses.
enum class TCloseAction : uint8_t { caNone, caHide, caFree, caMinimize };

// OK and Cancel at the bottom right; OK is the default button.
QHBoxLayout* ButtonRow(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel);

// A line for under a field whose text a project stores (a name, a label's text):
// as the user types it names the characters a project file has no place for
// (LostTextWarning), hidden while there are none. Owned by the field's parent.
QLabel* NewLostTextWarning(QLineEdit* field);

// Moves a shown window to the centre of its screen (rather than of its owner).
void CentreOnScreen(QWidget* window);

// A window's place read from the settings, made one the screen shows whole: each
// side at least minimum (or the screen's, when that is smaller) and at most the
// screen's, then moved in so that all of it lies inside screen. The settings are
// input: no value in them, however large or negative, gives a window a later step
// could not draw or count.
QRect StoredPlaceOnScreen(int left, int top, int width, int height, const QRect& screen, QSize minimum);
// The available area of the screen at point (global coordinates), else of the
// primary screen; a fallback size when the program has no screen at all.
QRect AvailableScreenAreaAt(QPoint point);

}  // namespace qira

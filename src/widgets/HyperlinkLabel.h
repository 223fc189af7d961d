#pragma once
// TLegacy: a label that opens a mail or web address when clicked, underlined and
// in ActiveColor while the mouse is over it.
//
// Only http and https web addresses and mailto links are opened; the address and
// the mail subject are percent-escaped, so neither can add parts of its own to the
// link. An empty web address opens nothing. Opening goes through the process-wide
// URL opener (the desktop's at first), which tests replace.
#include <QColor>
#include <QLabel>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <string>

namespace qira {

enum TAdressType : uint8_t { atMail, atWWW };

// Hands an address to whatever opens it; true when it was taken.
using TUrlOpener = std::function<bool(const QUrl& url)>;
// Makes opener the process-wide URL opener and returns the one it replaces; an
// empty opener restores the desktop's (QDesktopServices::openUrl).
TUrlOpener SetUrlOpener(TUrlOpener opener);

// The link a click opens: "mailto:" + the escaped address + "?Subject=" + the
// escaped subject for atMail and for an atWWW link whose address is empty; for
// atWWW the address itself (http:// assumed when it names no scheme). Invalid
// (nothing is opened) for a blank web address or a scheme other than http and https.
QUrl LegacyTarget(TAdressType type, const std::string& adress, const std::string& mailSubject);

class TLegacy : public QLabel {
 public:
  explicit TLegacy(QWidget* parent = nullptr);

  const std::string& Adress() const { return adress_; }
  void SetAdress(const std::string& adress) { adress_ = adress; }
  const std::string& MailSubject() const { return mailSubject_; }
  void SetMailSubject(const std::string& subject) { mailSubject_ = subject; }
  TAdressType AdressType() const { return adressType_; }
  void SetAdressType(TAdressType type) { adressType_ = type; }
  // The text colour while the mouse is over the label; red at first.
  QColor ActiveColor() const { return activeColor_; }
  void SetActiveColor(const QColor& color) { activeColor_ = color; }

  // After the hover look changes.
  std::function<void(QObject* sender)> OnMouseEnter;
  std::function<void(QObject* sender)> OnMouseExit;
  // After a click has opened the link (or found none to open).
  std::function<void(QObject* sender)> OnClick;

  // What a click does: opens LegacyTarget when it is valid, then OnClick.
  void Click();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  std::string adress_;
  std::string mailSubject_;
  TAdressType adressType_ = atWWW;
  QColor activeColor_ = Qt::red;
  // The look saved when the mouse entered.
  QColor savedColor_;
  bool savedUnderline_ = false;
};

}  // namespace qira

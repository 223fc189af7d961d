#include "widgets/HyperlinkLabel.h"

#include <QDesktopServices>
#include <QMouseEvent>

#include <utility>

#include "platform/HandlerGuard.h"

namespace qira {

namespace {

TUrlOpener& UrlOpener() {
  static TUrlOpener opener;
  return opener;
}

bool OpenUrl(const QUrl& url) {
  const TUrlOpener& opener = UrlOpener();
  return opener ? opener(url) : QDesktopServices::openUrl(url);
}

QByteArray Escaped(const std::string& text, const QByteArray& keep = {}) {
  return QUrl::toPercentEncoding(QString::fromStdString(text), keep);
}

}  // namespace

TUrlOpener SetUrlOpener(TUrlOpener opener) { return std::exchange(UrlOpener(), std::move(opener)); }

QUrl LegacyTarget(TAdressType type, const std::string& adress, const std::string& mailSubject) {
  // A web link without an address falls back to a mail link, which then
  // carries the subject alone.
  if (type == atMail || adress.empty()) {
    return QUrl::fromEncoded("mailto:" + Escaped(adress, "@") + "?Subject=" + Escaped(mailSubject),
                             QUrl::StrictMode);
  }
  const QString text = QString::fromStdString(adress).trimmed();
  if (text.isEmpty()) return {};
  QUrl url(text, QUrl::TolerantMode);
  if (url.scheme().isEmpty()) url = QUrl(QStringLiteral("http://") + text, QUrl::TolerantMode);
  const QString scheme = url.scheme().toLower();
  if ((scheme != QLatin1String("http") && scheme != QLatin1String("https")) || url.host().isEmpty()) return {};
  return url;
}

TLegacy::TLegacy(QWidget* parent) : QLabel(parent) {}

void TLegacy::Click() {
  setCursor(Qt::BusyCursor);
  const QUrl target = LegacyTarget(adressType_, adress_, mailSubject_);
  if (target.isValid()) OpenUrl(target);
  setCursor(Qt::PointingHandCursor);
  if (OnClick) OnClick(this);
}

void TLegacy::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    event->accept();
    return;
  }
  QLabel::mousePressEvent(event);
}

void TLegacy::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    event->accept();
    Guarded([this] { Click(); });
    return;
  }
  QLabel::mouseReleaseEvent(event);
}

void TLegacy::enterEvent(QEnterEvent* event) {
  QLabel::enterEvent(event);
  Guarded([this] {
    savedColor_ = palette().color(foregroundRole());
    savedUnderline_ = font().underline();
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    setCursor(Qt::PointingHandCursor);
    QPalette p = palette();
    p.setColor(foregroundRole(), activeColor_);
    setPalette(p);
    if (OnMouseEnter) OnMouseEnter(this);
  });
}

void TLegacy::leaveEvent(QEvent* event) {
  QLabel::leaveEvent(event);
  Guarded([this] {
    unsetCursor();
    QFont f = font();
    f.setUnderline(savedUnderline_);
    setFont(f);
    if (savedColor_.isValid()) {
      QPalette p = palette();
      p.setColor(foregroundRole(), savedColor_);
      setPalette(p);
    }
    if (OnMouseExit) OnMouseExit(this);
  });
}

}  // namespace qira

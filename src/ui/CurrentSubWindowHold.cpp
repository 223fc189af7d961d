#include "ui/CurrentSubWindowHold.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <memory>
#include <vector>

namespace qira {
namespace {

// The area's own switch: Ctrl+Tab / Ctrl+Shift+Tab, settled on the release of Ctrl.
bool IsSwitchKey(const QKeyEvent& key) {
  return (key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab) && key.modifiers().testFlag(Qt::ControlModifier);
}

// The area switches only on keys that reach a widget inside it, but a menu of the
// frame closed with Esc leaves the keyboard on the menu bar, where the switch
// would do nothing. There the key goes to the area's current sub-window, which
// takes the focus back from the menu bar, so the release of Ctrl reaches the area
// too. One per area, a child of it.
class TSwitchKeysOutsideTheArea : public QObject {
 public:
  explicit TSwitchKeysOutsideTheArea(QMdiArea& area) : QObject(&area), area_(area) {
    QWidget* frame = area.window();
    frame->installEventFilter(this);
    for (QMenuBar* bar : frame->findChildren<QMenuBar*>()) bar->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    if (event->type() != QEvent::KeyPress || !IsSwitchKey(*static_cast<QKeyEvent*>(event))) return false;
    QMdiSubWindow* current = area_.currentSubWindow();
    if (current == nullptr || !current->isVisible()) return false;
    QWidget* focus = QApplication::focusWidget();
    if (focus != current && !current->isAncestorOf(focus)) current->setFocus(Qt::OtherFocusReason);
    focus = QApplication::focusWidget();
    if (focus != current && !current->isAncestorOf(focus)) return false;
    const std::unique_ptr<QEvent> again(event->clone());
    QCoreApplication::sendEvent(focus, again.get());
    return true;
  }

 private:
  QMdiArea& area_;
};

// One per area, a child of it: it goes with the area. It watches the whole
// application's input only while it holds.
class TCurrentSubWindowHold : public QObject {
 public:
  explicit TCurrentSubWindowHold(QMdiArea& area) : QObject(&area), area_(area) {
    QObject::connect(&area, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* sub) { Activated(sub); });
    new TSwitchKeysOutsideTheArea(area);
  }

  static TCurrentSubWindowHold* Find(QMdiArea& area) {
    for (QObject* child : area.children())
      if (auto* hold = dynamic_cast<TCurrentSubWindowHold*>(child)) return hold;
    return nullptr;
  }
  static TCurrentSubWindowHold& Of(QMdiArea& area) {
    TCurrentSubWindowHold* hold = Find(area);
    return hold != nullptr ? *hold : *new TCurrentSubWindowHold(area);
  }

  void Pick(QMdiSubWindow& sub) {
    HoldFromNowOn(&sub);
    area_.setActiveSubWindow(&sub);
  }

  void Hold(QMdiSubWindow& sub) {
    if (std::find(covering_.begin(), covering_.end(), static_cast<QWidget*>(&sub)) == covering_.end())
      covering_.emplace_back(&sub);
    if (!filtering_) qApp->installEventFilter(this);
    filtering_ = true;
    pressed_ = nullptr;
    tabbing_ = false;
    Pick(sub);
    KeepFocusOnHeld();
  }

  void EndHold(QMdiSubWindow& sub) {
    std::erase(covering_, static_cast<QWidget*>(&sub));
    Holding();
  }

 protected:
  // Notes the user's own picks inside the area; never takes an event.
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
        tabbing_ = false;
        // The press reaches the window first: the widget it lands on takes the focus,
        // and so activates its sub-window, before its own event filters see it.
        if (QWidget* hit = WidgetHit(*watched, static_cast<QMouseEvent*>(event)->position().toPoint()))
          pressed_ = SubWindowOf(*hit);
        break;
      case QEvent::MouseButtonRelease:
        pressed_ = nullptr;
        break;
      case QEvent::KeyPress:
      case QEvent::ShortcutOverride: {
        // The area switches on Ctrl+Tab / Ctrl+Shift+Tab and settles on the release
        // of Ctrl; any other key ends the switch.
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool switching = key->key() == Qt::Key_Control || IsSwitchKey(*key);
        auto* widget = qobject_cast<QWidget*>(watched);
        if (switching && widget != nullptr && widget->window() == area_.window()) {
          tabbing_ = true;
        } else if (key->key() != Qt::Key_Shift) {
          tabbing_ = false;
        }
        break;
      }
      case QEvent::WindowActivate:
        // The frame, activated again, raises whichever sub-window its focus found;
        // once that has settled the held one goes back on top.
        if (watched == area_.window()) QTimer::singleShot(0, this, [this] { RaiseHeld(); });
        break;
      case QEvent::WindowDeactivate:
        if (watched == area_.window()) {
          pressed_ = nullptr;
          tabbing_ = false;
        }
        break;
      default:
        break;
    }
    return false;
  }

 private:
  // True while a document of the area is full screen; the application's input is
  // no longer watched once none is.
  bool Holding() {
    std::erase_if(covering_, [](const QPointer<QWidget>& sub) { return sub.isNull(); });
    if (covering_.empty() && filtering_) {
      qApp->removeEventFilter(this);
      filtering_ = false;
    }
    return !covering_.empty();
  }

  void Activated(QMdiSubWindow* sub) {
    if (restoring_ || sub == nullptr || sub == held_.data() || !Holding()) return;
    if (sub == pressed_.data() || tabbing_) return HoldFromNowOn(sub);
    // A picked window closed gives the current place back to the one held before
    // it (the full-screen document, as a rule); the area chooses only when neither
    // is left.
    QMdiSubWindow* held = Usable(held_);
    const bool takenBack = held == nullptr;
    if (takenBack) {
      held = Usable(before_);
      held_ = held;
      before_ = nullptr;
    }
    if (held == nullptr || held == sub) {
      held_ = sub;
      return;
    }
    restoring_ = true;
    area_.setActiveSubWindow(held);
    restoring_ = false;
    // The area, busy closing the other, raises another once this returns.
    if (takenBack) QTimer::singleShot(0, this, [this] { RaiseHeld(); });
    KeepFocusOnHeld();
  }

  void HoldFromNowOn(QMdiSubWindow* sub) {
    if (sub == held_.data()) return;
    if (Usable(held_) != nullptr) before_ = held_;
    held_ = sub;
  }

  // The window, unless it is gone, closing (hidden first) or taken out of the area:
  // one the area can no longer make current.
  QMdiSubWindow* Usable(const QPointer<QWidget>& window) const {
    auto* sub = qobject_cast<QMdiSubWindow*>(window.data());
    if (sub == nullptr || sub->isHidden() || sub->mdiArea() != &area_ || !area_.subWindowList().contains(sub))
      return nullptr;
    return sub;
  }

  void RaiseHeld() {
    auto* held = qobject_cast<QMdiSubWindow*>(held_.data());
    if (held != nullptr && Holding() && area_.currentSubWindow() == held) held->raise();
  }

  // The frame's focus (also while the frame is not the active window: the widget
  // it returns to) inside the held sub-window, or on it.
  void KeepFocusOnHeld() {
    if (held_ == nullptr) return;
    QWidget* focus = held_->window()->focusWidget();
    if (focus == held_ || (focus != nullptr && held_->isAncestorOf(focus) && focus->isEnabled() && focus->isVisible()))
      return;
    held_->setFocus(Qt::OtherFocusReason);
  }

  // The widget a press at `at` (in the receiver's coordinates) lands on. The press
  // reaches the window of the native widget under it: the top-level one, or one
  // inside a sub-window (the view's, and the tree and the splitter beside it, which
  // Qt makes native with the view).
  static QWidget* WidgetHit(QObject& receiver, QPoint at) {
    if (auto* widget = qobject_cast<QWidget*>(&receiver)) return widget;
    auto* window = qobject_cast<QWindow*>(&receiver);
    if (window == nullptr || window->handle() == nullptr) return nullptr;
    QWidget* owner = QWidget::find(window->winId());
    if (owner == nullptr || owner->windowHandle() != window) return nullptr;
    QWidget* child = owner->childAt(at);
    return child != nullptr ? child : owner;
  }

  QMdiSubWindow* SubWindowOf(QWidget& widget) const {
    for (QWidget* w = &widget; w != nullptr; w = w->parentWidget()) {
      if (auto* sub = qobject_cast<QMdiSubWindow*>(w); sub != nullptr && sub->mdiArea() == &area_) return sub;
      if (w->isWindow()) break;
    }
    return nullptr;
  }

  // Sub-windows are kept as plain widgets: one may be half destroyed when the area
  // reports its last activation.
  QMdiArea& area_;
  QPointer<QWidget> held_;
  // The one held before the last pick, taken back when the picked one closes.
  QPointer<QWidget> before_;
  // The sub-windows whose documents are full screen.
  std::vector<QPointer<QWidget>> covering_;
  bool filtering_ = false;
  bool restoring_ = false;
  // The user's picks in progress: a mouse button held down in this sub-window,
  // and the area's Ctrl+Tab switching.
  QPointer<QWidget> pressed_;
  bool tabbing_ = false;
};

}  // namespace

void MakeCurrentSubWindow(QMdiSubWindow& sub) {
  if (QMdiArea* area = sub.mdiArea()) TCurrentSubWindowHold::Of(*area).Pick(sub);
}

void HoldWhileFullScreen(QMdiSubWindow& sub) {
  if (QMdiArea* area = sub.mdiArea()) TCurrentSubWindowHold::Of(*area).Hold(sub);
}

void EndHoldWhileFullScreen(QMdiSubWindow& sub) {
  if (QMdiArea* area = sub.mdiArea())
    if (TCurrentSubWindowHold* hold = TCurrentSubWindowHold::Find(*area)) hold->EndHold(sub);
}

}  // namespace qira

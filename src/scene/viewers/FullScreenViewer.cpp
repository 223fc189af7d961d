#include "scene/viewers/FullScreenViewer.h"

// Sections: handler guard; the full-screen window; TGLFullScreenViewer (life,
// properties, activation, rendering); registration; component streams.

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>

#include <exception>
#include <string>

#include "platform/DisplayModes.h"
#include "platform/HandlerGuard.h"
#include "platform/Rounding.h"
#include "platform/Services.h"
#include "platform/WindowStacking.h"
#include "scene/components/ComponentStreams.h"

namespace qira {

// ============================================================ handler guard

namespace {

// A modal message must not run inside a paint, key or mouse handler.
template <class F>
bool GuardedHandler(F&& work) noexcept {
  return qira::Guarded(std::forward<F>(work), TReportTime::rtAfterHandler);
}

}  // namespace

// ===================================================== the full-screen window

// A frameless top-level window with a native window of its own that Qt never
// paints (the viewer's context draws on it); its events go to the viewer
// until the viewer lets it go.
class TFullScreenWindow : public QWidget {
 public:
  TFullScreenWindow(TGLFullScreenViewer& viewer, bool stayOnTop) : viewer_(&viewer), stayOnTop_(stayOnTop) {
    Qt::WindowFlags flags = Qt::Window | Qt::FramelessWindowHint;
    if (stayOnTop) flags |= Qt::WindowStaysOnTopHint;
    setWindowFlags(flags);
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_PaintOnScreen);
    // Nothing is erased before a frame: the frame covers the window.
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Closing the full-screen view is no reason to end the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
  }

  QPaintEngine* paintEngine() const override { return nullptr; }

  // After this no event reaches the viewer.
  void Detach() { viewer_ = nullptr; }

 protected:
  bool event(QEvent* event) override {
    // On top only while active: a dialog or menu of the program made active over
    // it is seen. The flag changes in place, keeping the native window (and the
    // context on it) and full screen.
    if (stayOnTop_) KeepOnTopWhileActive(*this, *event);
    return QWidget::event(event);
  }

  void paintEvent(QPaintEvent* event) override {
    (void)event;
    ForViewer([](TGLFullScreenViewer& v) { v.Render(); });
  }

  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    ForViewer([this](TGLFullScreenViewer& v) {
      v.Buffer().Resize(RoundToInt(width() * devicePixelRatioF()), RoundToInt(height() * devicePixelRatioF()));
    });
  }

  void mousePressEvent(QMouseEvent* event) override {
    pressedInside_ = event->button() == Qt::LeftButton;
    const TViewerMouse mouse = MouseOf(*event);
    ForViewer([&](TGLFullScreenViewer& v) {
      if (v.OnMouseDown) v.OnMouseDown(&v, mouse);
    });
    event->accept();
  }

  void mouseMoveEvent(QMouseEvent* event) override {
    const TViewerMouse mouse = MouseOf(*event);
    ForViewer([&](TGLFullScreenViewer& v) {
      if (v.OnMouseMove) v.OnMouseMove(&v, mouse);
    });
    event->accept();
  }

  void mouseReleaseEvent(QMouseEvent* event) override {
    const TViewerMouse mouse = MouseOf(*event);
    // A click is a left press and release, both over the window.
    const bool click = pressedInside_ && event->button() == Qt::LeftButton && rect().contains(mouse.x, mouse.y);
    if (event->button() == Qt::LeftButton) pressedInside_ = false;
    ForViewer([&](TGLFullScreenViewer& v) {
      if (click && v.OnClick) v.OnClick(&v);
    });
    ForViewer([&](TGLFullScreenViewer& v) {
      if (v.OnMouseUp) v.OnMouseUp(&v, mouse);
    });
    event->accept();
  }

  void mouseDoubleClickEvent(QMouseEvent* event) override {
    // The second press of a double click is also a press.
    mousePressEvent(event);
    ForViewer([&](TGLFullScreenViewer& v) {
      if (v.OnDblClick) v.OnDblClick(&v);
    });
  }

  void wheelEvent(QWheelEvent* event) override {
    const TViewerWheel wheel = ViewerWheelOf(*event);
    bool handled = false;
    ForViewer([&](TGLFullScreenViewer& v) {
      if (v.OnMouseWheel) handled = v.OnMouseWheel(&v, wheel);
    });
    event->setAccepted(handled);
  }

  void keyPressEvent(QKeyEvent* event) override {
    const int key = event->key();
    const Qt::KeyboardModifiers shift = event->modifiers();
    const QString text = event->text();
    ForViewer([&](TGLFullScreenViewer& v) {
      if (v.OnKeyDown) v.OnKeyDown(&v, key, shift);
    });
    if (!text.isEmpty()) {
      ForViewer([&](TGLFullScreenViewer& v) {
        if (v.OnKeyPress) v.OnKeyPress(&v, text);
      });
    }
    event->accept();
  }

  void keyReleaseEvent(QKeyEvent* event) override {
    // A held key goes up once, when it is let go.
    if (event->isAutoRepeat()) return;
    const int key = event->key();
    const Qt::KeyboardModifiers shift = event->modifiers();
    ForViewer([&](TGLFullScreenViewer& v) {
      if (v.OnKeyUp) v.OnKeyUp(&v, key, shift);
    });
    event->accept();
  }

  void contextMenuEvent(QContextMenuEvent* event) override {
    QMenu* menu = viewer_ != nullptr ? viewer_->PopupMenu() : nullptr;
    if (menu == nullptr) {
      event->ignore();
      return;
    }
    menu->popup(event->globalPos());
    event->accept();
  }

  void closeEvent(QCloseEvent* event) override {
    if (viewer_ == nullptr) {
      event->accept();
      return;
    }
    bool canClose = true;
    // A failing query keeps the window open.
    const bool asked = ForViewer([&](TGLFullScreenViewer& v) {
      if (v.OnCloseQuery) v.OnCloseQuery(&v, canClose);
    });
    if (!asked || !canClose) {
      event->ignore();
      return;
    }
    ForViewer([](TGLFullScreenViewer& v) {
      if (v.OnClose) v.OnClose(&v);
    });
    ForViewer([](TGLFullScreenViewer& v) { v.Shutdown(); });
    event->accept();
  }

 private:
  // Runs `work` with the viewer, guarded. Nothing runs once the viewer has let
  // the window go (it may do so inside `work`). False when it raised.
  template <class F>
  bool ForViewer(F&& work) {
    if (viewer_ == nullptr) return true;
    return GuardedHandler([&] { work(*viewer_); });
  }

  TViewerMouse MouseOf(const QMouseEvent& event) const {
    TViewerMouse mouse;
    mouse.button = event.button();
    mouse.buttons = event.buttons();
    mouse.modifiers = event.modifiers();
    mouse.x = FloorToInt(event.position().x());
    mouse.y = FloorToInt(event.position().y());
    return mouse;
  }

  TGLFullScreenViewer* viewer_;
  const bool stayOnTop_;  // the viewer's StayOnTop when the window was made
  bool pressedInside_ = false;
};

// ===================================================== TGLFullScreenViewer

int32_t ScreenDepthBits(TScreenDepth depth) {
  switch (depth) {
    case TScreenDepth::sd8bits:
      return 8;
    case TScreenDepth::sd16bits:
      return 16;
    case TScreenDepth::sd24bits:
      return 24;
    case TScreenDepth::sd32bits:
      break;
  }
  return 32;
}

TGLFullScreenViewer::TGLFullScreenViewer() {
  SetWidth(800);
  SetHeight(600);
  Buffer().OnViewerBeforeRender = [this](TObject*) { SetupVSync(vSync_); };
}

TGLFullScreenViewer::~TGLFullScreenViewer() {
  try {
    if (active_) Shutdown();
  } catch (...) {
    // A destructor cannot report; the context goes with the buffer.
  }
  if (window_) ReleaseWindow();
  Buffer().OnViewerBeforeRender = nullptr;
}

// --------------------------------------------------------------- properties

TVideoModeTable& TGLFullScreenViewer::VideoModeTable() const {
  return videoModes_ != nullptr ? *videoModes_ : VideoModes();
}

QWidget* TGLFullScreenViewer::FullScreenWindow() const { return window_.get(); }

void TGLFullScreenViewer::SetScreenDepth(TScreenDepth value) {
  if (value == screenDepth_) return;
  screenDepth_ = value;
  Restart();
}

void TGLFullScreenViewer::SetStayOnTop(bool value) {
  if (value == stayOnTop_) return;
  stayOnTop_ = value;
  Restart();
}

void TGLFullScreenViewer::SetCursor(const QCursor& value) {
  cursor_ = value;
  if (window_) window_->setCursor(cursor_);
}

void TGLFullScreenViewer::EndUpdate() {
  if (updateCount_ == 0) return;
  if (--updateCount_ == 0) Restart();
}

void TGLFullScreenViewer::UseCurrentResolution() {
  const TDisplayMode screen = VideoModeTable().Source().CurrentMode();
  BeginUpdate();
  try {
    SetWidth(screen.Width);
    SetHeight(screen.Height);
    switch (screen.BitsPerPixel) {
      case 8:
        SetScreenDepth(TScreenDepth::sd8bits);
        break;
      case 16:
        SetScreenDepth(TScreenDepth::sd16bits);
        break;
      case 24:
        SetScreenDepth(TScreenDepth::sd24bits);
        break;
      default:
        SetScreenDepth(TScreenDepth::sd32bits);
        break;
    }
  } catch (...) {
    --updateCount_;
    throw;
  }
  EndUpdate();
}

// --------------------------------------------------------------- activation

void TGLFullScreenViewer::SetActive(bool value) {
  if (value == active_) return;
  if (value) {
    Startup();
  } else {
    Shutdown();
  }
}

void TGLFullScreenViewer::Restart() {
  if (!active_ || updateCount_ != 0) return;
  Shutdown();
  Startup();
}

void TGLFullScreenViewer::Startup() {
  TVideoModeTable& table = VideoModeTable();
  const int32_t depth = ScreenDepthBits(screenDepth_);
  const int32_t index = table.GetIndexFromResolution(Width(), Height(), depth);
  if (index == 0) throw Exception("Unsupported video mode");
  try {
    window_ = std::make_unique<TFullScreenWindow>(*this, stayOnTop_);
    window_->setCursor(cursor_);
    window_->resize(Width(), Height());
    // The taskbar of the desktop is left to the window manager, which keeps
    // it below a full-screen window.
    const TDisplayMode screen = table.Source().CurrentMode();
    if (screen.Width != Width() || screen.Height != Height() || screen.BitsPerPixel != depth) {
      // A refused change leaves the display as it is and nothing to restore.
      modeSwitched_ = table.SetFullscreenMode(index, refreshRate_);
    }
    Buffer().Resize(Width(), Height());
    window_->showFullScreen();
    // The window manager decides the final size: the buffer follows the
    // window from here on (see the window's resize handler).
    if (window_->width() > 0 && window_->height() > 0) {
      Buffer().Resize(RoundToInt(window_->width() * window_->devicePixelRatioF()),
                      RoundToInt(window_->height() * window_->devicePixelRatioF()));
    }
    CreateWindowContext();
    active_ = true;
  } catch (...) {
    // Nothing half-made stays behind.
    Buffer().DestroyRC();
    if (window_) ReleaseWindow();
    if (modeSwitched_) {
      modeSwitched_ = false;
      table.RestoreDefaultMode();
    }
    throw;
  }
}

void TGLFullScreenViewer::Shutdown() {
  std::exception_ptr error;
  try {
    Buffer().DestroyRC();
  } catch (...) {
    error = std::current_exception();
  }
  if (window_) ReleaseWindow();
  if (modeSwitched_) {
    modeSwitched_ = false;
    VideoModeTable().RestoreDefaultMode();
  }
  active_ = false;
  if (error) std::rethrow_exception(error);
}

void TGLFullScreenViewer::ReleaseWindow() {
  window_->Detach();
  window_->hide();
  // Freed by the event loop, once the event at hand is done: what shuts the viewer
  // down may run inside an event of this window (its own handlers, or a shortcut
  // of a key typed in it, which Qt dispatches while it still holds the window).
  window_.release()->deleteLater();
}

// ---------------------------------------------------------------- rendering

void TGLFullScreenViewer::CreateWindowContext() {
  if (!window_ || !WindowContextsAvailable()) return;
  const WId id = window_->winId();
  if (id == 0) return;
  Buffer().CreateRC(static_cast<TGLOutputDevice>(id), false);
}

void TGLFullScreenViewer::Render(TGLBaseSceneObject* baseObject) {
  if (!window_) return;
  if (!Buffer().HasContext()) CreateWindowContext();
  const TGLContext* context = Buffer().RenderingContext();
  if (context != nullptr && context->IsValid()) Buffer().RenderBaseObject(baseObject);
}

void TGLFullScreenViewer::Invalidate() {
  if (window_ && !Buffer().Rendering()) window_->update();
}

void TGLFullScreenViewer::DoOnChange() {
  if (!SceneOfBufferRendering(Buffer())) Invalidate();
}

void TGLFullScreenViewer::DoBufferStructuralChange() {
  TGLNonVisualViewer::DoBufferStructuralChange();
  Invalidate();
}

// ============================================================== registration

void RegisterFullScreenViewerClasses() { RegisterClass(TGLFullScreenViewer::StaticClass()); }

// =========================================================== component streams

void TGLFullScreenViewer::DefinePublished(TFiler& filer) {
  DefineViewerProperties(filer, 800, 600);
  DefineOrdinal(filer, "ScreenDepth", screenDepth_, TScreenDepth::sd32bits, TScreenDepth::sd32bits,
                [this](TScreenDepth v) { SetScreenDepth(v); });
  DefineBoolean(filer, "StayOnTop", stayOnTop_, stayOnTop_, [this](bool v) { SetStayOnTop(v); });
  DefineOrdinal(filer, "VSync", vSync_, TVSyncMode::vsmNoSync, TVSyncMode::vsmSync,
                [this](TVSyncMode v) { SetVSync(v); });
  DefineInteger(filer, "RefreshRate", refreshRate_, refreshRate_ != 0, [this](int32_t v) { SetRefreshRate(v); });
  // A cursor by its shape; a cursor made of a picture has none to store.
  const Qt::CursorShape shape = cursor_.shape();
  DefineInteger(filer, "Cursor", shape, shape != Qt::ArrowCursor && shape <= Qt::LastCursor,
                [this](int32_t v) { SetCursor(QCursor(static_cast<Qt::CursorShape>(v))); }, 0, Qt::LastCursor);
}

}  // namespace qira

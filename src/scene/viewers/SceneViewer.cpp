#include "scene/viewers/SceneViewer.h"

// Sections: vertical sync; handler guard; TGL3DSceneViewer (life, properties,
// window and context, Qt event handlers); component streams.

#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDrag>
#include <QDropEvent>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QMetaObject>
#include <QMimeData>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "platform/HandlerGuard.h"
#include "platform/Rounding.h"
#include "platform/Services.h"
#include "scene/components/ComponentStreams.h"
#include "scene/graph/CameraLight.h"
#include "scene/graph/Scene.h"
#include "scene/gl/OpenGLBinding.h"

namespace qira {

// ============================================================ vertical sync

void SetupVSync(TVSyncMode mode) {
  if (!WGL.EXT_swap_control || wglGetSwapIntervalEXT == nullptr || wglSwapIntervalEXT == nullptr) return;
  const int interval = wglGetSwapIntervalEXT();
  if (mode == TVSyncMode::vsmSync) {
    if (interval != 1) wglSwapIntervalEXT(1);
  } else if (interval != 0) {
    wglSwapIntervalEXT(0);
  }
}

bool WindowContextsAvailable() {
  return qGuiApp != nullptr && QGuiApplication::platformName() == QLatin1String("xcb");
}

bool SceneOfBufferRendering(const TGL3DSceneBuffer& buffer) {
  if (buffer.Rendering()) return true;
  const TGLCamera* camera = buffer.Camera();
  const TGL3DScene* scene = camera != nullptr ? camera->Scene() : nullptr;
  if (scene == nullptr) return false;
  for (int i = 0; i < scene->BufferCount(); ++i) {
    if (const TGL3DSceneBuffer* other = scene->Buffer(i); other != nullptr && other->Rendering()) return true;
  }
  return false;
}

// ============================================================ handler guard

namespace {

// A modal message must not run inside a paint or mouse handler.
template <class F>
void GuardedHandler(F&& work) noexcept {
  qira::Guarded(std::forward<F>(work), TReportTime::rtAfterHandler);
}

// The parent's child widgets in the order its window's focus chain visits them.
std::vector<QWidget*> TabSiblings(const QWidget& parent) {
  std::vector<QWidget*> siblings;
  // The chain is a ring through the window, the parent among its widgets.
  for (QWidget* w = parent.nextInFocusChain(); w != nullptr && w != &parent; w = w->nextInFocusChain()) {
    if (w->parentWidget() == &parent && !w->isWindow()) siblings.push_back(w);
  }
  return siblings;
}

QEvent::Type ViewportRefreshEventType() {
  // Stands in for the size message the window posts itself after a move.
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

}  // namespace

// ======================================================== TGL3DSceneViewer

TGL3DSceneViewer::TGL3DSceneViewer(QWidget* parent)
    : QWidget(parent), buffer_(std::make_unique<TGL3DSceneBuffer>(this)) {
  setAttribute(Qt::WA_NativeWindow);
  setAttribute(Qt::WA_PaintOnScreen);
  setAttribute(Qt::WA_NoSystemBackground);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  // Drops reach OnDragOver, which decides whether to take them.
  setAcceptDrops(true);
  resize(100, 100);
  buffer_->OnChange = [this](TObject*) {
    if (!SceneOfBufferRendering(*buffer_)) Invalidate();
  };
  buffer_->OnStructuralChange = [this](TObject*) { RecreateWnd(); };
  buffer_->OnViewerBeforeRender = [this](TObject*) { SetupVSync(vSync_); };
}

TGL3DSceneViewer::~TGL3DSceneViewer() {
  buffer_->OnChange = nullptr;
  buffer_->OnStructuralChange = nullptr;
  buffer_->OnViewerBeforeRender = nullptr;
  try {
    buffer_->DestroyRC();
  } catch (...) {
    // A destructor cannot report; the context object is freed with the buffer.
  }
  buffer_.reset();
}

// -------------------------------------------------------------- properties

void TGL3DSceneViewer::SetBuffer(const TGL3DSceneBuffer* value) {
  if (value != nullptr && value != buffer_.get()) buffer_->Assign(value);
}

TGLCamera* TGL3DSceneViewer::Camera() const { return buffer_->Camera(); }

void TGL3DSceneViewer::SetCamera(TGLCamera* value) { buffer_->SetCamera(value); }

int32_t TGL3DSceneViewer::PixelWidth() const { return RoundToInt(width() * devicePixelRatioF()); }

int32_t TGL3DSceneViewer::PixelHeight() const { return RoundToInt(height() * devicePixelRatioF()); }

float TGL3DSceneViewer::FieldOfView() const {
  TGLCamera* camera = Camera();
  if (camera == nullptr) return 0.0f;
  return camera->GetFieldOfView(static_cast<float>(std::min(PixelWidth(), PixelHeight())));
}

void TGL3DSceneViewer::SetFieldOfView(float value) {
  TGLCamera* camera = Camera();
  if (camera == nullptr) return;
  camera->SetFieldOfView(value, static_cast<float>(std::min(PixelWidth(), PixelHeight())));
}

bool TGL3DSceneViewer::Visible() const {
  return !(isHidden() && testAttribute(Qt::WA_WState_ExplicitShowHide));
}

void TGL3DSceneViewer::SetVisible(bool value) {
  if (value != Visible()) setVisible(value);
}

void TGL3DSceneViewer::SetTabStop(bool value) {
  const int policy = value ? (focusPolicy() | Qt::TabFocus) : (focusPolicy() & ~Qt::TabFocus);
  setFocusPolicy(static_cast<Qt::FocusPolicy>(policy));
}

int32_t TGL3DSceneViewer::TabOrder() const {
  const QWidget* parent = parentWidget();
  if (parent == nullptr) return tabOrder_;
  const std::vector<QWidget*> siblings = TabSiblings(*parent);
  const auto at = std::find(siblings.begin(), siblings.end(), this);
  return at != siblings.end() ? static_cast<int32_t>(at - siblings.begin()) : tabOrder_;
}

void TGL3DSceneViewer::SetTabOrder(int32_t value) {
  tabOrder_ = std::max(value, int32_t{-1});
  ApplyTabOrder();
}

void TGL3DSceneViewer::ApplyTabOrder() {
  QWidget* parent = parentWidget();
  if (parent == nullptr || tabOrder_ < 0) return;
  std::vector<QWidget*> chain = TabSiblings(*parent);
  chain.erase(std::remove(chain.begin(), chain.end(), this), chain.end());
  chain.insert(chain.begin() + static_cast<std::ptrdiff_t>(std::min(static_cast<size_t>(tabOrder_), chain.size())),
               this);
  // Linked from the parent on, so that the first sibling follows it; Qt links
  // only widgets that take the focus by Tab: each does so for the moment its
  // place is set.
  chain.insert(chain.begin(), parent);
  std::vector<Qt::FocusPolicy> policies;
  for (QWidget* w : chain) {
    policies.push_back(w->focusPolicy());
    w->setFocusPolicy(static_cast<Qt::FocusPolicy>(w->focusPolicy() | Qt::TabFocus));
  }
  for (size_t i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
  for (size_t i = 0; i < chain.size(); ++i) chain[i]->setFocusPolicy(policies[i]);
}

void TGL3DSceneViewer::Invalidate() {
  if (!buffer_->Rendering()) update();
}

// ------------------------------------------------------ window and context

void TGL3DSceneViewer::HandleNeeded() { (void)winId(); }

void TGL3DSceneViewer::CreateRenderingContext() {
  buffer_->Resize(PixelWidth(), PixelHeight());
  if (!WindowContextsAvailable() || internalWinId() == 0) return;
  buffer_->CreateRC(static_cast<TGLOutputDevice>(internalWinId()), false);
}

void TGL3DSceneViewer::RecreateWnd() {
  buffer_->DestroyRC();
  if (internalWinId() != 0) CreateRenderingContext();
  Invalidate();
}

void TGL3DSceneViewer::NativeWindowChanged() {
  if (internalWinId() != 0) {
    CreateRenderingContext();
  } else {
    buffer_->DestroyRC();
  }
}

void TGL3DSceneViewer::DoViewportRefresh() { buffer_->Resize(PixelWidth(), PixelHeight()); }

// --------------------------------------------------------- Qt event handlers

bool TGL3DSceneViewer::event(QEvent* event) {
  if (event->type() == ViewportRefreshEventType()) {
    GuardedHandler([&] { DoViewportRefresh(); });
    return true;
  }
  if (event->type() == QEvent::WinIdChange) GuardedHandler([&] { NativeWindowChanged(); });
  if (event->type() == QEvent::ParentChange) ApplyTabOrder();
  return QWidget::event(event);
}

void TGL3DSceneViewer::paintEvent(QPaintEvent* event) {
  (void)event;
  GuardedHandler([&] {
    // A moved window keeps its size, yet its context must apply the viewport again.
    const QPoint corner = mapToGlobal(QPoint(0, 0));
    if (corner != lastScreenCorner_ && buffer_->HasContext()) {
      QCoreApplication::postEvent(this, new QEvent(ViewportRefreshEventType()));
    }
    lastScreenCorner_ = corner;
    const TGLContext* context = buffer_->RenderingContext();
    if (context != nullptr && context->IsValid() && width() > 0 && height() > 0) buffer_->Render();
  });
}

void TGL3DSceneViewer::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  GuardedHandler([&] { buffer_->Resize(PixelWidth(), PixelHeight()); });
}

void TGL3DSceneViewer::enterEvent(QEnterEvent* event) {
  QWidget::enterEvent(event);
  mouseInside_ = true;
  GuardedHandler([&] {
    if (OnMouseEnter) OnMouseEnter(this);
  });
}

void TGL3DSceneViewer::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  mouseInside_ = false;
  GuardedHandler([&] {
    if (OnMouseLeave) OnMouseLeave(this);
  });
}

TViewerMouse TGL3DSceneViewer::MouseOf(const QMouseEvent& event) const {
  TViewerMouse mouse;
  mouse.button = event.button();
  mouse.buttons = event.buttons();
  mouse.modifiers = event.modifiers();
  mouse.x = FloorToInt(event.position().x());
  mouse.y = FloorToInt(event.position().y());
  return mouse;
}

void TGL3DSceneViewer::mousePressEvent(QMouseEvent* event) {
  pressedInside_ = event->button() == Qt::LeftButton;
  if (pressedInside_) dragStart_ = event->position().toPoint();
  const TViewerMouse mouse = MouseOf(*event);
  GuardedHandler([&] {
    if (OnMouseDown) OnMouseDown(this, mouse);
  });
  event->accept();
}

void TGL3DSceneViewer::mouseMoveEvent(QMouseEvent* event) {
  const TViewerMouse mouse = MouseOf(*event);
  GuardedHandler([&] {
    if (OnMouseMove) OnMouseMove(this, mouse);
  });
  event->accept();
  if (dragMode_ == TDragMode::dmAutomatic && pressedInside_ && !dragging_ && (event->buttons() & Qt::LeftButton) &&
      (event->position().toPoint() - dragStart_).manhattanLength() >= QApplication::startDragDistance()) {
    // The press belongs to the drag now: its release is not a click.
    pressedInside_ = false;
    BeginDrag();
  }
}

void TGL3DSceneViewer::mouseReleaseEvent(QMouseEvent* event) {
  const TViewerMouse mouse = MouseOf(*event);
  // A click is a left press and release, both over the viewer.
  const bool click = pressedInside_ && event->button() == Qt::LeftButton && rect().contains(mouse.x, mouse.y);
  if (event->button() == Qt::LeftButton) pressedInside_ = false;
  GuardedHandler([&] {
    if (click && OnClick) OnClick(this);
  });
  GuardedHandler([&] {
    if (OnMouseUp) OnMouseUp(this, mouse);
  });
  event->accept();
}

void TGL3DSceneViewer::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second press of a double click is also a press.
  mousePressEvent(event);
  GuardedHandler([&] {
    if (OnDblClick) OnDblClick(this);
  });
}

TViewerWheel ViewerWheelOf(const QWheelEvent& event) {
  TViewerWheel wheel;
  wheel.wheelDelta = event.angleDelta().y();
  wheel.buttons = event.buttons();
  wheel.modifiers = event.modifiers();
  wheel.x = FloorToInt(event.position().x());
  wheel.y = FloorToInt(event.position().y());
  return wheel;
}

void TGL3DSceneViewer::wheelEvent(QWheelEvent* event) {
  const TViewerWheel wheel = ViewerWheelOf(*event);
  bool handled = false;
  GuardedHandler([&] {
    if (OnMouseWheel) handled = OnMouseWheel(this, wheel);
    if (!handled && wheel.wheelDelta < 0 && OnMouseWheelDown) handled = OnMouseWheelDown(this, wheel);
    if (!handled && wheel.wheelDelta > 0 && OnMouseWheelUp) handled = OnMouseWheelUp(this, wheel);
  });
  event->setAccepted(handled);
}

void TGL3DSceneViewer::contextMenuEvent(QContextMenuEvent* event) {
  bool handled = false;
  GuardedHandler([&] {
    if (OnContextPopup) handled = OnContextPopup(this, event->pos().x(), event->pos().y());
  });
  event->setAccepted(handled);
}

// ------------------------------------------------------------ drag and drop

void TGL3DSceneViewer::BeginDrag() {
  if (dragging_) return;
  dragging_ = true;
  struct TDragEnd {
    bool& flag;
    ~TDragEnd() { flag = false; }
  } dragEnd{dragging_};
  // Owned by the drag from here on.
  auto* drag = new QDrag(this);
  auto data = std::make_unique<QMimeData>();
  bool started = false;
  GuardedHandler([&] {
    if (OnStartDrag) OnStartDrag(this, *data);
    started = true;
  });
  if (!started) {
    drag->deleteLater();
    return;
  }
  drag->setMimeData(data.release());
  // Platforms that draw their own drag cursors give the shape no picture.
  const QPixmap cursor = QCursor(dragCursor_).pixmap();
  if (!cursor.isNull()) drag->setDragCursor(cursor, Qt::CopyAction);
  QPointer<QObject> target = ExecDrag(*drag);
  drag->deleteLater();
  const QPoint at = mapFromGlobal(QCursor::pos());
  GuardedHandler([&] {
    if (OnEndDrag) OnEndDrag(this, target.data(), at.x(), at.y());
  });
}

QObject* TGL3DSceneViewer::ExecDrag(QDrag& drag) {
  drag.exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
  return drag.target();
}

bool TGL3DSceneViewer::DragOver(const QDropEvent& event, QPoint at, TDragState state) {
  if (!OnDragOver) return false;
  const TViewerDrag drag{event.source(), event.mimeData(), at.x(), at.y()};
  bool accept = true;
  GuardedHandler([&] { OnDragOver(this, drag, state, accept); });
  return accept;
}

void TGL3DSceneViewer::dragEnterEvent(QDragEnterEvent* event) {
  const QPoint at = event->position().toPoint();
  lastDragPosition_ = at;
  lastDragSource_ = event->source();
  event->setAccepted(DragOver(*event, at, TDragState::dsDragEnter));
}

void TGL3DSceneViewer::dragMoveEvent(QDragMoveEvent* event) {
  const QPoint at = event->position().toPoint();
  lastDragPosition_ = at;
  event->setAccepted(DragOver(*event, at, TDragState::dsDragMove));
}

void TGL3DSceneViewer::dragLeaveEvent(QDragLeaveEvent* event) {
  event->accept();
  if (!OnDragOver) return;
  // Qt's leave carries neither position nor data: the last ones seen stand in.
  const TViewerDrag drag{lastDragSource_.data(), nullptr, lastDragPosition_.x(), lastDragPosition_.y()};
  bool accept = false;
  GuardedHandler([&] { OnDragOver(this, drag, TDragState::dsDragLeave, accept); });
}

void TGL3DSceneViewer::dropEvent(QDropEvent* event) {
  const QPoint at = event->position().toPoint();
  const TViewerDrag drag{event->source(), event->mimeData(), at.x(), at.y()};
  event->acceptProposedAction();
  GuardedHandler([&] {
    if (OnDragDrop) OnDragDrop(this, drag);
  });
}

// ------------------------------------------------------------------ focus

void TGL3DSceneViewer::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  GuardedHandler([&] {
    if (OnEnter) OnEnter(this);
  });
}

void TGL3DSceneViewer::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  GuardedHandler([&] {
    if (OnExit) OnExit(this);
  });
}

void RegisterSceneViewerClasses() { RegisterClass(TGL3DSceneViewer::StaticClass()); }

// =========================================================== component streams

void TGL3DSceneViewer::DefinePublished(TFiler& filer) {
  TComponent::DefinePublished(filer);
  DefineReference(filer, "Camera", Camera(), [this](TComponent& c) {
    if (auto* camera = dynamic_cast<TGLCamera*>(&c)) SetCamera(camera);
  });
  DefineOrdinal(filer, "VSync", vSync_, TVSyncMode::vsmNoSync, TVSyncMode::vsmNoSync,
                [this](TVSyncMode v) { SetVSync(v); });
  DefineNested(filer, "Buffer", *buffer_);
  DefineOrdinal(filer, "DragMode", dragMode_, TDragMode::dmAutomatic, TDragMode::dmManual,
                [this](TDragMode v) { SetDragMode(v); });
  DefineInteger(filer, "DragCursor", static_cast<int32_t>(dragCursor_), dragCursor_ != Qt::DragCopyCursor,
                [this](int32_t v) { SetDragCursor(static_cast<Qt::CursorShape>(v)); }, 0, Qt::LastCursor);
  DefineBoolean(filer, "Enabled", isEnabled(), !isEnabled(), [this](bool v) { setEnabled(v); });
  const std::string hint = toolTip().toStdString();
  DefineString(filer, "Hint", hint, !hint.empty(),
               [this](const std::string& v) { setToolTip(QString::fromStdString(v)); });
  DefineBoolean(filer, "Visible", Visible(), !Visible(), [this](bool v) { SetVisible(v); });
  DefineBoolean(filer, "TabStop", TabStop(), TabStop(), [this](bool v) { SetTabStop(v); });
  // A tab order is of the type -1..32767.
  const int32_t tabOrder = TabOrder();
  DefineInteger(filer, "TabOrder", tabOrder, tabOrder != -1, [this](int32_t v) { SetTabOrder(v); }, -1, 32767);
}

}  // namespace qira

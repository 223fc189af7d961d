#pragma once
// The windowed control in which a scene is drawn: a Qt widget with a native
// window of its own (WA_NativeWindow, WA_PaintOnScreen, no paint engine)
// that owns a scene buffer, gives the buffer a window context on its native
// window as soon as that window exists, resizes the buffer with the widget
// and renders the buffer when the widget is painted. SetupVSync switches the
// buffer swap of the current context to wait for the vertical retrace or not.
//
// Window contexts need Qt's xcb platform (the EGL layer draws on X11
// windows); on any other platform the viewer keeps its buffer and sizes but
// has no context and draws nothing.
//
// Every Qt event handler of the viewer catches what the buffer or a user
// handler raises and reports it through the message service once the
// handler has returned. All of it runs on the user-interface thread.
#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

#include "scene/graph/SceneBuffer.h"

class QDrag;
class QDropEvent;
class QMimeData;
class QWheelEvent;

namespace qira {

class TGLCamera;

enum class TVSyncMode : uint8_t { vsmSync, vsmNoSync };

// Only when the driver offers swap control: sets the current context's swap
// interval to 1 (vsmSync) or 0 (vsmNoSync) when it is not that already.
void SetupVSync(TVSyncMode mode);

// A mouse event in the viewer's client coordinates (logical pixels from the
// top-left corner). `button` is the button that changed (none for moves),
// `buttons` those held after the event.
struct TViewerMouse {
  Qt::MouseButton button = Qt::NoButton;
  Qt::MouseButtons buttons;
  Qt::KeyboardModifiers modifiers;
  int32_t x = 0;
  int32_t y = 0;
};
using TViewerMouseEvent = std::function<void(TObject* sender, const TViewerMouse& mouse)>;

// A wheel turn: `wheelDelta` is 120 per notch, positive away from the user.
struct TViewerWheel {
  int32_t wheelDelta = 0;
  Qt::MouseButtons buttons;
  Qt::KeyboardModifiers modifiers;
  int32_t x = 0;
  int32_t y = 0;
};
// The wheel turn of a Qt event, at whole client pixels.
TViewerWheel ViewerWheelOf(const QWheelEvent& event);
// Returns whether the turn was handled.
using TViewerWheelEvent = std::function<bool(TObject* sender, const TViewerWheel& wheel)>;
// A context-menu request at client coordinates; returns whether it was handled.
using TViewerContextPopupEvent = std::function<bool(TObject* sender, int32_t x, int32_t y)>;

// Drag and drop, as the viewer sees it. `source` is the object that started
// the drag inside this program (null for a drag from another program), `data`
// what is dragged; x and y are client coordinates of the cursor.
enum class TDragState : uint8_t { dsDragEnter, dsDragLeave, dsDragMove };
enum class TDragMode : uint8_t { dmManual, dmAutomatic };
struct TViewerDrag {
  QObject* source = nullptr;
  const QMimeData* data = nullptr;
  int32_t x = 0;
  int32_t y = 0;
};
// Over the viewer: set `accept` (true on entry) to say whether a drop would be taken.
using TViewerDragOverEvent =
    std::function<void(TObject* sender, const TViewerDrag& drag, TDragState state, bool& accept)>;
using TViewerDragDropEvent = std::function<void(TObject* sender, const TViewerDrag& drag)>;
// A drag leaves the viewer: the handler may fill `data` (a drag without
// data carries none).
using TViewerStartDragEvent = std::function<void(TObject* sender, QMimeData& data)>;
// The drag the viewer started ended: `target` took the drop (null: nobody did);
// x and y are client coordinates of the cursor at the end.
using TViewerEndDragEvent = std::function<void(TObject* sender, QObject* target, int32_t x, int32_t y)>;

class TGL3DSceneViewer : public QWidget, public TComponent {
  QIRA_CLASS(TGL3DSceneViewer, TComponent)

  // 100 x 100, vsmNoSync; the buffer's change event invalidates the viewer,
  // its structural change recreates the context and its viewer hook sets up
  // the vertical sync before every frame.
  explicit TGL3DSceneViewer(QWidget* parent = nullptr);
  // Drops the context while the native window still exists.
  ~TGL3DSceneViewer() override;

  TGL3DSceneBuffer& Buffer() const { return *buffer_; }
  // Assigns the given buffer's settings into the owned one.
  void SetBuffer(const TGL3DSceneBuffer* value);
  TGLCamera* Camera() const;
  void SetCamera(TGLCamera* value);
  TVSyncMode VSync() const { return vSync_; }
  void SetVSync(TVSyncMode value) { vSync_ = value; }

  // Camera, VSync, DragMode, DragCursor, Enabled, Hint (the tool tip),
  // Visible, TabStop and TabOrder when not their defaults, and the buffer's
  // properties under "Buffer.". FieldOfView follows the camera's focal
  // length and is not stored of its own; where the widget sits (Align,
  // Anchors), its help and its menu are the business of the window that lays
  // it out.
  void DefinePublished(TFiler& filer) override;

  // Not hidden on purpose (a viewer that was never shown is visible, as a
  // control is until its window shows); false hides the widget.
  bool Visible() const;
  void SetVisible(bool value);
  // Whether the Tab key stops at the viewer: the Tab part of its focus policy.
  bool TabStop() const { return (focusPolicy() & Qt::TabFocus) != 0; }
  void SetTabStop(bool value);
  // Its place among its parent widget's child widgets in the order the Tab
  // key visits them; without a parent, the place it was given (-1, the
  // default: none), which it takes when it gets one. Setting it reorders the
  // siblings' chain with the viewer at that place (clamped to the end).
  int32_t TabOrder() const;
  void SetTabOrder(int32_t value);

  // The camera's field of view (degrees) for the smaller of the viewer's
  // width and height; 0 without a camera.
  float FieldOfView() const;
  // Sets the camera's focal length for that angle and the smaller of width
  // and height; nothing without a camera.
  void SetFieldOfView(float value);

  // The viewer's size in device pixels (what the context draws).
  int32_t PixelWidth() const;
  int32_t PixelHeight() const;

  // Schedules a paint unless the buffer is rendering. The buffer's change
  // event does so only while no buffer of its scene renders: the viewer
  // renders when something changes and is idle otherwise.
  void Invalidate();
  // Creates the native window now (and with it the context), so that the
  // context exists before the first paint.
  void HandleNeeded();
  // A new context on the native window, for options that need one.
  void RecreateWnd();

  bool MouseInside() const { return mouseInside_; }

  // The buffer's events, seen through the viewer.
  TNotifyEvent& BeforeRender() const { return buffer_->BeforeRender; }
  TNotifyEvent& PostRender() const { return buffer_->PostRender; }
  TNotifyEvent& AfterRender() const { return buffer_->AfterRender; }

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TViewerMouseEvent OnMouseDown;
  TViewerMouseEvent OnMouseMove;
  TViewerMouseEvent OnMouseUp;
  // OnMouseWheel first; when it is missing or did not handle the turn,
  // OnMouseWheelDown (towards the user) or OnMouseWheelUp.
  TViewerWheelEvent OnMouseWheel;
  TViewerWheelEvent OnMouseWheelDown;
  TViewerWheelEvent OnMouseWheelUp;
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TViewerContextPopupEvent OnContextPopup;
  // Drops are offered to OnDragOver; without it the viewer takes none.
  TViewerDragOverEvent OnDragOver;
  TViewerDragDropEvent OnDragDrop;
  TViewerStartDragEvent OnStartDrag;
  TViewerEndDragEvent OnEndDrag;
  // The viewer gains / loses the keyboard focus.
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;

  // dmAutomatic: a left drag longer than the platform's drag distance drags
  // from the viewer (OnStartDrag, then OnEndDrag). dmManual (default): only BeginDrag does.
  TDragMode DragMode() const { return dragMode_; }
  void SetDragMode(TDragMode value) { dragMode_ = value; }
  // Shown over a target while the viewer's drag would copy there.
  Qt::CursorShape DragCursor() const { return dragCursor_; }
  void SetDragCursor(Qt::CursorShape value) { dragCursor_ = value; }
  // Drags from the viewer now: OnStartDrag, the platform's drag, OnEndDrag.
  // The platform runs the drag to its end before this returns.
  void BeginDrag();

  // The context draws on the native window: Qt must not paint it.
  QPaintEngine* paintEngine() const override { return nullptr; }

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  // Runs the platform's drag to its end; returns the object that took the
  // drop, or null.
  virtual QObject* ExecDrag(QDrag& drag);
  // Re-applies the viewport after the window moved on the screen.
  virtual void DoViewportRefresh();

 private:
  void CreateRenderingContext();
  void NativeWindowChanged();
  void ApplyTabOrder();
  TViewerMouse MouseOf(const QMouseEvent& event) const;
  // OnDragOver for a drag at `at`; whether a drop would be taken.
  bool DragOver(const QDropEvent& event, QPoint at, TDragState state);

  std::unique_ptr<TGL3DSceneBuffer> buffer_;
  TVSyncMode vSync_ = TVSyncMode::vsmNoSync;
  bool mouseInside_ = false;
  bool pressedInside_ = false;
  QPoint lastScreenCorner_;  // of the client area, at the last paint
  int32_t tabOrder_ = -1;
  TDragMode dragMode_ = TDragMode::dmManual;
  Qt::CursorShape dragCursor_ = Qt::DragCopyCursor;
  QPoint dragStart_;          // of a left press that may begin an automatic drag
  bool dragging_ = false;
  // Of the last drag over the viewer, for its leaving (Qt's leave event has none).
  QPoint lastDragPosition_;
  QPointer<QObject> lastDragSource_;
};

// True when viewers can draw on their native windows (Qt's xcb platform).
bool WindowContextsAvailable();

// True while any buffer showing the buffer's scene renders. What a frame's
// preparation changes (texts turned to that frame's camera) is part of that
// frame, not a change for the scene's other viewers: were it one, two viewers
// of one scene would make each other render without end.
bool SceneOfBufferRendering(const TGL3DSceneBuffer& buffer);

// Registers TGL3DSceneViewer with the class registry.
void RegisterSceneViewerClasses();

}  // namespace qira

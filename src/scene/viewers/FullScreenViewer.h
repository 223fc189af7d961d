#pragma once
// A viewer that shows its scene on the whole screen. It has no window of its
// own until it is activated: then it chooses a display mode from the mode
// table for the requested size and depth, opens a frameless full-screen Qt
// window with a native window, switches the display mode when the screen
// differs from the request, and renders its buffer into a window context on
// that native window. Deactivating undoes each of these steps.
//
// The window's mouse, key and close events reach the std::function members
// below; the viewer (not the window) is their sender. Nothing a handler or
// a frame raises crosses a Qt event handler: it is reported through the
// message service once the handler has returned.
//
// Window contexts need Qt's xcb platform; elsewhere the window opens but
// nothing is drawn. All of it runs on the user-interface thread.
#include <QCursor>
#include <QMenu>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

#include "scene/viewers/MemoryViewer.h"
#include "scene/viewers/SceneViewer.h"

class QWidget;

namespace qira {

class TVideoModeTable;
class TFullScreenWindow;

// Bits per pixel of the full-screen display: 8, 16, 24, 32.
enum class TScreenDepth : uint8_t { sd8bits, sd16bits, sd24bits, sd32bits };
int32_t ScreenDepthBits(TScreenDepth depth);

// A key going down or up: the Qt key code and the modifiers held.
using TViewerKeyEvent = std::function<void(TObject* sender, int key, Qt::KeyboardModifiers shift)>;
// The text a key press types (not sent for keys that type nothing).
using TViewerKeyPressEvent = std::function<void(TObject* sender, const QString& text)>;
// Asked before the window closes; clearing canClose keeps it open.
using TViewerCloseQueryEvent = std::function<void(TObject* sender, bool& canClose)>;

class TGLFullScreenViewer : public TGLNonVisualViewer {
  QIRA_CLASS(TGLFullScreenViewer, TGLNonVisualViewer)

  // 800 x 600, sd32bits, vsmSync, not on top, refresh rate left to the display.
  TGLFullScreenViewer();
  // Deactivates first.
  ~TGLFullScreenViewer() override;

  // ---- activation
  bool Active() const { return active_; }
  // Startup or Shutdown when the value differs. Startup raises Exception
  // "Unsupported video mode", with nothing created, when no mode of the
  // table holds Width x Height at the depth of ScreenDepth.
  void SetActive(bool value);
  // Width, Height and ScreenDepth of the screen now (8, 16 and 24 bits map
  // to their depth, anything else to sd32bits), inside one update bracket.
  void UseCurrentResolution();
  // Changes of ScreenDepth and StayOnTop restart an active viewer at once,
  // or when the outermost bracket ends.
  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();

  // ---- properties
  TScreenDepth ScreenDepth() const { return screenDepth_; }
  void SetScreenDepth(TScreenDepth value);
  bool StayOnTop() const { return stayOnTop_; }
  void SetStayOnTop(bool value);
  // Applied to the context before every frame.
  TVSyncMode VSync() const { return vSync_; }
  void SetVSync(TVSyncMode value) { vSync_ = value; }
  // Hz; 0 leaves the rate to the display.
  int32_t RefreshRate() const { return refreshRate_; }
  void SetRefreshRate(int32_t value) { refreshRate_ = value; }

  // The viewer's properties (Width and Height stored when not 800 x 600),
  // ScreenDepth, StayOnTop, VSync, RefreshRate and Cursor (its shape) when
  // not their defaults.
  void DefinePublished(TFiler& filer) override;
  // Given to the full-screen window, at once when it exists.
  const QCursor& Cursor() const { return cursor_; }
  void SetCursor(const QCursor& value);
  // Shown at the mouse on a context-menu request; not owned (a menu freed
  // elsewhere is forgotten).
  QMenu* PopupMenu() const { return popupMenu_.data(); }
  void SetPopupMenu(QMenu* value) { popupMenu_ = value; }

  // The mode table modes are chosen from and switched through; not owned.
  // Null (the default) means the process-wide table.
  void SetVideoModeTable(TVideoModeTable* table) { videoModes_ = table; }
  TVideoModeTable& VideoModeTable() const;

  // The full-screen window while active, else null.
  QWidget* FullScreenWindow() const;
  // Whether Startup switched the display mode (Shutdown then restores it).
  bool ModeSwitched() const { return modeSwitched_; }

  // Makes the window context when there is none, then renders one frame
  // into the window. Nothing while inactive or without a context.
  void Render(TGLBaseSceneObject* baseObject = nullptr) override;

  // ---- events of the full-screen window
  TViewerMouseEvent OnMouseDown;
  TViewerMouseEvent OnMouseUp;
  TViewerMouseEvent OnMouseMove;
  TViewerWheelEvent OnMouseWheel;
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TViewerKeyEvent OnKeyDown;
  TViewerKeyEvent OnKeyUp;
  TViewerKeyPressEvent OnKeyPress;
  // After a close was allowed, before the viewer shuts down.
  TNotifyEvent OnClose;
  TViewerCloseQueryEvent OnCloseQuery;

 protected:
  // Repaints the window unless the buffer is rendering.
  void DoOnChange() override;
  // Drops the context (the next paint makes a new one) and repaints.
  void DoBufferStructuralChange() override;

 private:
  friend class TFullScreenWindow;

  void Startup();
  void Shutdown();
  void Restart();
  void CreateWindowContext();
  void Invalidate();
  // Lets the window go: hidden at once, freed once the event at hand is done.
  void ReleaseWindow();

  bool active_ = false;
  bool modeSwitched_ = false;
  int updateCount_ = 0;
  TScreenDepth screenDepth_ = TScreenDepth::sd32bits;
  bool stayOnTop_ = false;
  TVSyncMode vSync_ = TVSyncMode::vsmSync;
  int32_t refreshRate_ = 0;
  QCursor cursor_;
  QPointer<QMenu> popupMenu_;
  TVideoModeTable* videoModes_ = nullptr;
  std::unique_ptr<TFullScreenWindow> window_;
};

// Registers TGLFullScreenViewer with the class registry.
void RegisterFullScreenViewerClasses();

}  // namespace qira

#include "ui/ViewNavigation.h"

#include <QCursor>
#include <QKeyEvent>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "model/GraphMain.h"
#include "platform/HandlerGuard.h"
#include "scene/viewers/Cadencer.h"
#include "scene/graph/CameraLight.h"
#include "scene/objects/DummyPlaneSprite.h"
#include "scene/viewers/SceneViewer.h"
#include "scene/math/VectorGeometry.h"
#include "scene/viewers/FullScreenViewer.h"
#include "ui/ViewWindow.h"

// The view window's mouse, wheel, keys and spin.

namespace qira {

namespace {

void ShowViewerCursor(TForm3D& form, bool visible) {
  const QCursor cursor(visible ? Qt::ArrowCursor : Qt::BlankCursor);
  if (form.GL3DSceneViewer1 != nullptr) form.GL3DSceneViewer1->setCursor(cursor);
  if (form.GLFullScreenViewer1 != nullptr) form.GLFullScreenViewer1->SetCursor(cursor);
}

// The spin clock ticks only while the view spins: a still view renders only when
// something changes and costs no processor time in between.
void SyncSpinTicking(TForm3D& form) {
  if (form.GLCadencer1) form.GLCadencer1->SetEnabled(form.TurnSpeed() != 0 || form.PitchSpeed() != 0);
}

// While the spin clock is paused the idle time cannot grow by its ticks: a timer,
// restarted by every mouse move, adds the idle time the paused clock would have
// counted by the time the cursor is due to disappear.
constexpr char kCursorTimerName[] = "IdleCursorTimer";

void RestartIdleCursorTimer(TForm3D& form) {
  auto* timer = form.findChild<QTimer*>(QLatin1String(kCursorTimerName), Qt::FindDirectChildrenOnly);
  if (timer == nullptr) {
    timer = new QTimer(&form);
    timer->setObjectName(QLatin1String(kCursorTimerName));
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, &form, [&form] {
      Guarded([&] {
        if (!form.GLCadencer1 || form.GLCadencer1->Enabled() || form.CursorHidden()) return;
        // No spin while the clock is paused: the tick only counts idle time.
        form.GLCadencer1Progress(std::max(0.0, kCursorHideSeconds - form.IdleTime()) + 0.001);
      });
    });
  }
  const double multiplier = form.GLCadencer1 ? form.GLCadencer1->TimeMultiplier() : 1.0;
  const double realSeconds = kCursorHideSeconds / (multiplier > 0 ? multiplier : 1.0);
  timer->start(static_cast<int>(realSeconds * 1000.0) + 1);
}

// Camera x follows the mouse's leftward travel, camera y its downward travel.
void PanCamera(TGLCamera& camera, int dx, int dy) {
  TGLCoordinates3& p = camera.Position();
  p.SetPoint(p.X() + static_cast<float>(dx), p.Y() - static_cast<float>(dy), p.Z());
}

// Moves the camera across the screen so that the scene point under the cursor on
// the plane through `pivot` that faces the camera stays under the cursor: a drag
// of (dx, dy) pixels moves that plane's picture by exactly (dx, dy), whatever the
// camera's distance, lens and the viewer's size. `buffer` is the viewer whose
// frames the user sees (its size and dpi give the projection).
void PanCameraWithCursor(TGLCamera& camera, const TGL3DSceneBuffer& buffer, const TVector& pivot, int dx, int dy) {
  const int32_t width = buffer.Width();
  const int32_t height = buffer.Height();
  if (width < 1 || height < 1) return;
  const TVector eye = camera.GetAbsolutePosition();
  const TVector forward = camera.AbsoluteVectorToTarget();
  const TVector right = VectorNormalize(VectorCrossProduct(forward, camera.GetAbsoluteUp()));
  const TVector up = VectorCrossProduct(right, forward);
  TVector toPivot = VectorSubtract(pivot, eye);
  toPivot.w = 0.0f;
  // A pivot level with or behind the camera has no picture: the near plane stands in.
  const double depth = std::max(static_cast<double>(VectorDotProduct(toPivot, forward)),
                                static_cast<double>(std::max(camera.NearPlane(), 1e-3f)));
  const TMatrix projection =
      camera.PerspectiveMatrix(TRectangle{0, 0, width, height}, width, height, buffer.RenderDPI());
  // Clip w of a point `depth` ahead (eye z = -depth): the depth itself in
  // perspective, 1 in an orthogonal view.
  const double clipW = -depth * projection[2][3] + projection[3][3];
  if (projection[0][0] == 0.0f || projection[1][1] == 0.0f || !std::isfinite(clipW)) return;
  const double unitsPerPixelX = 2.0 * clipW / (static_cast<double>(projection[0][0]) * width);
  const double unitsPerPixelY = 2.0 * clipW / (static_cast<double>(projection[1][1]) * height);
  // The camera goes the other way from the picture: right for a drag to the left
  // (dx > 0), down for a drag upwards (dy > 0).
  TVector move = VectorCombine(right, up, static_cast<float>(dx * unitsPerPixelX),
                               static_cast<float>(-dy * unitsPerPixelY));
  move.w = 0.0f;
  if (TGLBaseSceneObject* parent = camera.Parent()) move = parent->AbsoluteToLocal(move);
  TGLCoordinates3& p = camera.Position();
  p.SetPoint(p.X() + move.x, p.Y() + move.y, p.Z() + move.z);
}

}  // namespace

void TForm3D::GL3DSceneViewer1MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x, int y) {
  if (IgnoreNextMouseMove) {
    // The move that follows a command or a switch would jump: it only resynchronises,
    // so the next one moves by what the mouse really travelled from here.
    IgnoreNextMouseMove = false;
    lastMouseX_ = x;
    lastMouseY_ = y;
    return;
  }
  idleTime_ = 0;
  RestartIdleCursorTimer(*this);
  if (cursorHidden_) {
    cursorHidden_ = false;
    ShowViewerCursor(*this, true);
  }
  const int dx = lastMouseX_ - x;
  const int dy = lastMouseY_ - y;
  if (buttons & Qt::LeftButton) {
    if (shift & Qt::ControlModifier) {
      ZoomView(dy / kDragZoomDivisor);
    } else if (shift & Qt::AltModifier) {
      PanCamera(*Camera, dx, dy);
    } else if (shift & Qt::ShiftModifier) {
      const TVector a = ModelCube->AbsoluteToLocal(VectorMake(1.0f, 0.0f, 0.0f, 0.0f));
      const TVector b = ModelCube->AbsoluteToLocal(VectorMake(0.0f, 1.0f, 0.0f, 0.0f));
      ShiftModel(dx * static_cast<double>(a.x) - dy * static_cast<double>(b.x),
                 dx * static_cast<double>(a.y) - dy * static_cast<double>(b.y),
                 dx * static_cast<double>(a.z) - dy * static_cast<double>(b.z));
    } else {
      Camera->RotateObject(*AxisCube, static_cast<float>(dy), static_cast<float>(dx), 0.0f);
    }
  } else if (buttons & Qt::MiddleButton) {
    // Most window managers take Alt+drag for themselves: the middle button pans
    // too, holding the model under the cursor about the turning centre.
    const TGL3DSceneBuffer* buffer = nullptr;
    if (fullScreen_ && GLFullScreenViewer1 != nullptr) {
      buffer = &GLFullScreenViewer1->Buffer();
    } else if (GL3DSceneViewer1 != nullptr) {
      buffer = &GL3DSceneViewer1->Buffer();
    }
    if (buffer != nullptr) PanCameraWithCursor(*Camera, *buffer, AxisCube->GetAbsolutePosition(), dx, dy);
  }
  lastMouseX_ = x;
  lastMouseY_ = y;
}

void TForm3D::GL3DSceneViewer1MouseDown(int x, int y) {
  if (GL3DSceneViewer1 != nullptr) GL3DSceneViewer1->setFocus(Qt::MouseFocusReason);
  // A drag starts where the button went down: the press already places the mouse,
  // so the first move of the drag counts in full and nothing is left to ignore.
  IgnoreNextMouseMove = false;
  lastMouseX_ = x;
  lastMouseY_ = y;
}

void TForm3D::FormMouseWheel(int wheelDelta) { ZoomView(wheelDelta / kWheelZoomDivisor); }

void TForm3D::ZoomView(double d) {
  const double f = 1.0 + d;
  TGLCoordinates3& camera = Camera->Position();
  camera.SetZ(static_cast<float>(camera.Z() * f));
  TGLCoordinates3& light = LightSource->Position();
  light.SetPoint(static_cast<float>(light.X() * f), static_cast<float>(light.Y() * f),
                 static_cast<float>(light.Z() * f));
}

void TForm3D::FormKeyDown(int& key, Qt::KeyboardModifiers shift) {
  switch (key) {
    case Qt::Key_X:
      if (shift & Qt::AltModifier) CloseMainFrame();  // the key is passed on
      return;
    case Qt::Key_Right:
      turnSpeed_ = RaiseSpinSpeed(turnSpeed_);
      SyncSpinTicking(*this);
      break;
    case Qt::Key_Left:
      turnSpeed_ = LowerSpinSpeed(turnSpeed_);
      SyncSpinTicking(*this);
      break;
    case Qt::Key_Down:
      pitchSpeed_ = RaiseSpinSpeed(pitchSpeed_);
      SyncSpinTicking(*this);
      break;
    case Qt::Key_Up:
      pitchSpeed_ = LowerSpinSpeed(pitchSpeed_);
      SyncSpinTicking(*this);
      break;
    case Qt::Key_C:
      AutoCenter();
      break;
    case Qt::Key_Escape:
      if (fullScreen_) {
        ToggleFullScreen();
      } else {
        ResetView();
      }
      break;
    default:
      return;
  }
  key = 0;
}

void TForm3D::GLCadencer1Progress(double deltaTime) {
  if (pitchSpeed_ != 0 || turnSpeed_ != 0) {
    Camera->RotateObject(*AxisCube, static_cast<float>(-kSpinDegreesPerStep * pitchSpeed_ * deltaTime),
                         static_cast<float>(-kSpinDegreesPerStep * turnSpeed_ * deltaTime), 0.0f);
  }
  idleTime_ += deltaTime;
  if (idleTime_ > kCursorHideSeconds && !cursorHidden_) {
    cursorHidden_ = true;
    ShowViewerCursor(*this, false);
  }
}

void TForm3D::GL3DSceneViewer1BeforeRender() {
  if (root_) root_->PointTo(Camera);
}

void TForm3D::keyPressEvent(QKeyEvent* event) {
  int key = event->key();
  Guarded([&] { FormKeyDown(key, event->modifiers()); });
  if (key == 0) {
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TForm3D::wheelEvent(QWheelEvent* event) {
  Guarded([&] { FormMouseWheel(event->angleDelta().y()); });
  event->accept();
}

}  // namespace qira

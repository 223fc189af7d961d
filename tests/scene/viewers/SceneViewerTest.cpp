#include "scene/viewers/SceneViewer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDropEvent>
#include <QFocusEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPixmap>
#include <QScreen>
#include <QWheelEvent>

#include <array>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "scene/gl/EglRenderingContext.h"
#include "scene/math/VectorGeometry.h"
#include "scene/viewers/Cadencer.h"
#include "support/SceneRenderSupport.h"
#include "support/FakeServices.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

using testing::kGreenRgb;
using testing::kRedRgb;
using testing::Near;
using testing::TFlatQuad;

// A viewer whose paint handler and viewport refresh the tests can reach.
class TTestViewer : public TGL3DSceneViewer {
 public:
  using TGL3DSceneViewer::TGL3DSceneViewer;
  int viewportRefreshes = 0;
  void PaintNow() {
    QPaintEvent event(rect());
    paintEvent(&event);
  }
  void Send(QEvent& event) { QCoreApplication::sendEvent(this, &event); }

 protected:
  void DoViewportRefresh() override {
    ++viewportRefreshes;
    TGL3DSceneViewer::DoViewportRefresh();
  }
};

// A scene with a camera on +z looking at a red quad at the origin.
struct TSceneWithCamera {
  std::unique_ptr<TGL3DScene> scene = std::make_unique<TGL3DScene>();
  TGLCamera* camera = nullptr;
  TFlatQuad* quad = nullptr;
  TSceneWithCamera() {
    camera = &scene->Objects().AddNewChild<TGLCamera>();
    camera->Position().SetPoint(0.0f, 0.0f, 30.0f);
    quad = &scene->Objects().AddNewChild<TFlatQuad>();
  }
};

// The swap-control entry points as the driver offers them, restored afterwards.
class TSwapControlSave {
 public:
  TSwapControlSave()
      : flag_(WGL.EXT_swap_control), set_(wglSwapIntervalEXT), get_(wglGetSwapIntervalEXT) {}
  ~TSwapControlSave() {
    WGL.EXT_swap_control = flag_;
    wglSwapIntervalEXT = set_;
    wglGetSwapIntervalEXT = get_;
  }

 private:
  bool flag_;
  TSwapIntervalSet set_;
  TSwapIntervalGet get_;
};

struct TFakeSwapControl {
  static inline int interval = 0;
  static inline std::vector<int> sets;
  static bool Set(int value) {
    sets.push_back(value);
    interval = value;
    return true;
  }
  static int Get() { return interval; }
};

// ---------------------------------------------------------------- any platform

class SceneViewer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (EnsureTestApplication() == nullptr) GTEST_SKIP() << "the application has no widgets";
  }
};

TEST_F(SceneViewer, FieldOfViewUsesTheSmallerSide) {
  TSceneWithCamera s;
  TTestViewer viewer;
  viewer.resize(957, 686);
  EXPECT_EQ(viewer.FieldOfView(), 0.0f);
  viewer.SetFieldOfView(68.9f);  // no camera: nothing
  viewer.SetCamera(s.camera);
  ASSERT_EQ(viewer.Camera(), s.camera);
  const float side = static_cast<float>(std::min(viewer.PixelWidth(), viewer.PixelHeight()));
  viewer.SetFieldOfView(68.9f);
  TGLCamera reference;
  reference.SetFieldOfView(68.9f, side);
  EXPECT_FLOAT_EQ(s.camera->FocalLength(), reference.FocalLength());
  EXPECT_NEAR(viewer.FieldOfView(), 68.9f, 1e-3f);
  EXPECT_NEAR(s.camera->GetFieldOfView(side), 68.9f, 1e-3f);
  if (viewer.devicePixelRatioF() == 1.0) {
    EXPECT_EQ(side, 686.0f);
  }
}

TEST_F(SceneViewer, SetupVSyncSetsTheIntervalOnlyWhenItDiffersAndOnlyWithSwapControl) {
  TSwapControlSave save;
  TFakeSwapControl::sets.clear();
  TFakeSwapControl::interval = 1;
  wglSwapIntervalEXT = &TFakeSwapControl::Set;
  wglGetSwapIntervalEXT = &TFakeSwapControl::Get;
  WGL.EXT_swap_control = false;
  SetupVSync(TVSyncMode::vsmNoSync);
  EXPECT_TRUE(TFakeSwapControl::sets.empty());
  WGL.EXT_swap_control = true;
  SetupVSync(TVSyncMode::vsmSync);
  SetupVSync(TVSyncMode::vsmNoSync);
  SetupVSync(TVSyncMode::vsmNoSync);
  SetupVSync(TVSyncMode::vsmSync);
  EXPECT_EQ(TFakeSwapControl::sets, (std::vector<int>{0, 1}));
}

TEST_F(SceneViewer, MouseEventsReachTheirHandlersWithClientCoordinates) {
  TTestViewer viewer;
  std::vector<std::string> calls;
  auto record = [&](const char* name) {
    return [&calls, name](TObject*, const TViewerMouse& m) {
      calls.push_back(std::string(name) + " " + std::to_string(m.x) + "," + std::to_string(m.y) + " " +
                      std::to_string(static_cast<int>(m.button)));
    };
  };
  viewer.OnMouseDown = record("down");
  viewer.OnMouseMove = record("move");
  viewer.OnMouseUp = record("up");
  viewer.OnClick = [&](TObject*) { calls.push_back("click"); };
  const QPointF at(10.5, 20.25);
  QMouseEvent press(QEvent::MouseButtonPress, at, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QMouseEvent move(QEvent::MouseMove, QPointF(12, 22), QPointF(12, 22), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(12, 22), QPointF(12, 22), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  viewer.Send(press);
  viewer.Send(move);
  viewer.Send(release);
  EXPECT_EQ(calls, (std::vector<std::string>{"down 10,20 1", "move 12,22 0", "click", "up 12,22 1"}));
  // A release outside the viewer is no click.
  calls.clear();
  QMouseEvent outside(QEvent::MouseButtonRelease, QPointF(300, 22), QPointF(300, 22), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  viewer.Send(press);
  viewer.Send(outside);
  EXPECT_EQ(calls, (std::vector<std::string>{"down 10,20 1", "up 300,22 1"}));
}

// ------------------------------------------------------------ drag and drop

// Records the drag events of a viewer as text.
struct TDragLog {
  std::vector<std::string> calls;
  void Watch(TGL3DSceneViewer& viewer, const std::string& name, bool accept) {
    viewer.OnDragOver = [this, name, accept](TObject*, const TViewerDrag& d, TDragState state, bool& take) {
      static const char* const kStates[] = {"enter", "leave", "move"};
      calls.push_back(name + " over " + kStates[static_cast<int>(state)] + " " + std::to_string(d.x) + "," +
                      std::to_string(d.y));
      take = accept;
    };
    viewer.OnDragDrop = [this, name](TObject*, const TViewerDrag& d) {
      calls.push_back(name + " drop " + std::to_string(d.x) + "," + std::to_string(d.y) + " " +
                      (d.data != nullptr ? d.data->text().toStdString() : std::string("-")));
    };
    viewer.OnStartDrag = [this, name](TObject*, QMimeData& data) {
      calls.push_back(name + " start");
      data.setText(QString::fromStdString(name));
    };
    viewer.OnEndDrag = [this, name](TObject*, QObject* target, int32_t, int32_t) {
      calls.push_back(name + " end on " + (target != nullptr ? target->objectName().toStdString() : "nothing"));
    };
  }
};

// What the platform's drag loop delivers, in order, to the viewer the cursor
// reaches: entry, one move, a drop (or a leave when it refuses).
void DeliverDrag(QWidget& target, const QMimeData* data, QPoint enter, QPoint drop) {
  QDragEnterEvent entering(enter, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&target, &entering);
  if (!entering.isAccepted()) return;
  QDragMoveEvent moving(drop, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&target, &moving);
  if (!moving.isAccepted()) {
    QDragLeaveEvent leaving;
    QCoreApplication::sendEvent(&target, &leaving);
    return;
  }
  QDropEvent dropping(QPointF(drop), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&target, &dropping);
}

TEST_F(SceneViewer, DragsOverAViewerReachOnDragOverAndTheDropOnDragDrop) {
  struct TCase {
    bool accept;
    std::vector<std::string> calls;
  };
  const TCase cases[] = {
      {true, {"b over enter 5,6", "b over move 30,40", "b drop 30,40 dragged"}},
      {false, {"b over enter 5,6"}},
  };
  for (const TCase& c : cases) {
    TTestViewer viewer;
    TDragLog log;
    log.Watch(viewer, "b", c.accept);
    QMimeData data;
    data.setText("dragged");
    DeliverDrag(viewer, &data, QPoint(5, 6), QPoint(30, 40));
    EXPECT_EQ(log.calls, c.calls) << "accept " << c.accept;
  }
}

TEST_F(SceneViewer, ADragThatLeavesIsToldAtTheLastPlaceItWasSeen) {
  TTestViewer viewer;
  TDragLog log;
  log.Watch(viewer, "b", true);
  QMimeData data;
  QDragEnterEvent entering(QPoint(5, 6), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  viewer.Send(entering);
  EXPECT_TRUE(entering.isAccepted());
  QDragMoveEvent moving(QPoint(50, 60), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  viewer.Send(moving);
  QDragLeaveEvent leaving;
  viewer.Send(leaving);
  EXPECT_EQ(log.calls, (std::vector<std::string>{"b over enter 5,6", "b over move 50,60", "b over leave 50,60"}));
}

TEST_F(SceneViewer, WithoutOnDragOverTheViewerTakesNoDrop) {
  TTestViewer viewer;
  QMimeData data;
  QDragEnterEvent entering(QPoint(5, 6), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  viewer.Send(entering);
  EXPECT_FALSE(entering.isAccepted());
}

// A viewer whose platform drag carries the data to another viewer, as the
// platform's drag loop would, and ends there.
class TDraggingViewer : public TTestViewer {
 public:
  QWidget* over = nullptr;

 protected:
  QObject* ExecDrag(QDrag& drag) override {
    if (over == nullptr) return nullptr;
    DeliverDrag(*over, drag.mimeData(), QPoint(1, 2), QPoint(3, 4));
    return over;
  }
};

TEST_F(SceneViewer, ALeftDragFromAnAutomaticViewerStartsAndEndsOnTheViewerThatTookIt) {
  struct TCase {
    TDragMode mode;
    std::vector<std::string> calls;
  };
  const TCase cases[] = {
      {TDragMode::dmAutomatic,
       {"a start", "b over enter 1,2", "b over move 3,4", "b drop 3,4 a", "a end on target"}},
      {TDragMode::dmManual, {"a click"}},
  };
  for (const TCase& c : cases) {
    TDraggingViewer a;
    TTestViewer b;
    b.setObjectName("target");
    a.over = &b;
    a.SetDragMode(c.mode);
    TDragLog log;
    log.Watch(a, "a", true);
    log.Watch(b, "b", true);
    a.OnClick = [&](TObject*) { log.calls.push_back("a click"); };
    const QPointF from(10, 10);
    const QPointF to(10 + 2 * QApplication::startDragDistance(), 10);
    QMouseEvent press(QEvent::MouseButtonPress, from, from, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent move(QEvent::MouseMove, to, to, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, to, to, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    a.Send(press);
    a.Send(move);
    a.Send(release);
    EXPECT_EQ(log.calls, c.calls) << "automatic " << (c.mode == TDragMode::dmAutomatic);
  }
}

TEST_F(SceneViewer, KeyboardFocusComingAndGoingReachesOnEnterAndOnExit) {
  TTestViewer viewer;
  std::vector<std::string> calls;
  viewer.OnEnter = [&](TObject* sender) { calls.push_back(sender == &viewer ? "enter" : "?"); };
  viewer.OnExit = [&](TObject* sender) { calls.push_back(sender == &viewer ? "exit" : "?"); };
  QFocusEvent in(QEvent::FocusIn, Qt::MouseFocusReason);
  QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
  viewer.Send(in);
  viewer.Send(out);
  EXPECT_EQ(calls, (std::vector<std::string>{"enter", "exit"}));
}

TEST_F(SceneViewer, TabOrderIsItsPlaceAmongItsSiblingsInTheTabChain) {
  QWidget window;
  QWidget before(&window);
  before.setFocusPolicy(Qt::StrongFocus);
  QWidget after(&window);  // takes no focus
  auto* viewer = new TGL3DSceneViewer;
  viewer->SetTabOrder(1);  // kept until it has a parent
  viewer->setParent(&window);
  EXPECT_EQ(viewer->TabOrder(), 1);
  for (int place : {0, 2, 1, 0}) {
    viewer->SetTabOrder(place);
    EXPECT_EQ(viewer->TabOrder(), place);
  }
  EXPECT_EQ(after.focusPolicy(), Qt::NoFocus);
}

TEST_F(SceneViewer, WheelGoesToOnMouseWheelThenToTheDirectionalEvents) {
  TTestViewer viewer;
  std::vector<std::string> calls;
  bool wheelHandles = false;
  viewer.OnMouseWheel = [&](TObject*, const TViewerWheel& w) {
    calls.push_back("wheel " + std::to_string(w.wheelDelta));
    return wheelHandles;
  };
  viewer.OnMouseWheelDown = [&](TObject*, const TViewerWheel&) {
    calls.push_back("down");
    return true;
  };
  viewer.OnMouseWheelUp = [&](TObject*, const TViewerWheel&) {
    calls.push_back("up");
    return true;
  };
  auto turn = [&](int delta) {
    QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    viewer.Send(wheel);
  };
  turn(-120);
  turn(240);
  wheelHandles = true;
  turn(120);
  EXPECT_EQ(calls, (std::vector<std::string>{"wheel -120", "down", "wheel 240", "up", "wheel 120"}));
}

TEST_F(SceneViewer, ErrorsOfHandlersDoNotCrossTheEventHandlerAndAreReported) {
  TFakeServices services;
  TTestViewer viewer;
  viewer.OnMouseDown = [](TObject*, const TViewerMouse&) { throw std::runtime_error("handler failed"); };
  viewer.OnMouseEnter = [](TObject*) { throw 42; };
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  EXPECT_NO_THROW(viewer.Send(press));
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  EXPECT_NO_THROW(viewer.Send(enter));
  EXPECT_TRUE(services.Messages.empty());  // shown once the handler has returned
  EXPECT_TRUE(RunEventLoopFor(2000, [&] { return services.Messages.size() >= 2; }));
  ASSERT_EQ(services.Messages.size(), 2u);
  EXPECT_EQ(services.Messages[0].Text, "handler failed");
  EXPECT_EQ(services.Messages[0].Kind, TMessageKind::Error);
  EXPECT_EQ(services.Messages[1].Text, "Unknown error");
}

TEST_F(SceneViewer, WithoutWindowContextsThePaintDrawsNothing) {
  if (WindowContextsAvailable()) GTEST_SKIP() << "window contexts exist on this platform";
  TSceneWithCamera s;
  TTestViewer viewer;
  viewer.SetCamera(s.camera);
  viewer.show();
  viewer.PaintNow();
  EXPECT_FALSE(viewer.Buffer().HasContext());
  EXPECT_EQ(s.quad->DrawCount, 0);
}

// ------------------------------------------------------------ real X display

class SceneViewerX11GL : public ::testing::Test {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "DISPLAY is not set";
    if (QCoreApplication::instance() == nullptr) qputenv("QT_QPA_PLATFORM", "xcb");
    if (EnsureTestApplication() == nullptr || !WindowContextsAvailable()) {
      GTEST_SKIP() << "the application of this process does not run on X11";
    }
    RegisterEglRenderingContext();
  }

  // Renders by painting through the event loop; true when a new frame came.
  static bool PaintAFrame(TTestViewer& viewer) {
    const int32_t before = viewer.Buffer().FrameCount();
    viewer.Invalidate();
    return RunEventLoopFor(5000, [&] { return viewer.Buffer().FrameCount() > before; });
  }
};

TEST_F(SceneViewerX11GL, ViewerInAnMdiSubwindowShowsTheSceneAndFollowsAResize) {
  TSceneWithCamera s;
  QMdiArea area;
  area.resize(640, 480);
  auto* viewer = new TTestViewer();
  viewer->SetCamera(s.camera);
  viewer->Buffer().SetBackgroundColor(MakeColor(0, 255, 0));
  QMdiSubWindow* sub = area.addSubWindow(viewer);
  sub->resize(260, 200);
  std::array<int, 3> centre{}, corner{};
  int32_t width = 0, height = 0;
  viewer->PostRender() = [&](TObject*) {
    width = viewer->Buffer().Width();
    height = viewer->Buffer().Height();
    centre = ReadRgb(width / 2, height / 2);
    corner = ReadRgb(width - 2, height - 2);
  };
  area.show();
  sub->show();
  ASSERT_TRUE(RunEventLoopFor(5000, [&] { return viewer->Buffer().FrameCount() > 0; }));
  ASSERT_TRUE(viewer->Buffer().HasContext());
  EXPECT_EQ(viewer->Buffer().RenderingContext()->RenderOutputDevice(),
            static_cast<TGLOutputDevice>(viewer->winId()));
  // The window system may still hand out a surface of the old size for the first
  // frame after a show or a resize; a later frame must show the scene at the new size.
  const auto atWidgetSize = [&] {
    return viewer->Buffer().Width() == viewer->PixelWidth() && width == viewer->PixelWidth() &&
           height == viewer->PixelHeight() && Near(centre, kRedRgb) && Near(corner, kGreenRgb);
  };
  for (int frame = 0; frame < 20 && !atWidgetSize(); ++frame) ASSERT_TRUE(PaintAFrame(*viewer));
  EXPECT_EQ(width, viewer->PixelWidth());
  EXPECT_EQ(height, viewer->PixelHeight());
  EXPECT_TRUE(Near(centre, kRedRgb));
  EXPECT_TRUE(Near(corner, kGreenRgb));

  sub->resize(400, 300);
  for (int frame = 0; frame < 20 && !atWidgetSize(); ++frame) ASSERT_TRUE(PaintAFrame(*viewer));
  EXPECT_GT(width, 300);
  EXPECT_TRUE(Near(centre, kRedRgb));
  EXPECT_TRUE(Near(corner, kGreenRgb));

  // What the window really shows after the swap; a busy X server may show it a frame late.
  QImage shown;
  for (int frame = 0; frame < 20; ++frame) {
    ASSERT_TRUE(PaintAFrame(*viewer));
    shown = viewer->screen()->grabWindow(viewer->winId()).toImage();
    if (shown.isNull()) continue;
    const QRgb mid = shown.pixel(shown.width() / 2, shown.height() / 2);
    const QRgb edge = shown.pixel(2, 2);
    if (Near({qRed(mid), qGreen(mid), qBlue(mid)}, kRedRgb) &&
        Near({qRed(edge), qGreen(edge), qBlue(edge)}, kGreenRgb)) {
      break;
    }
  }
  ASSERT_FALSE(shown.isNull());
  const QRgb mid = shown.pixel(shown.width() / 2, shown.height() / 2);
  EXPECT_TRUE(Near({qRed(mid), qGreen(mid), qBlue(mid)}, kRedRgb));
  const QRgb edge = shown.pixel(2, 2);
  EXPECT_TRUE(Near({qRed(edge), qGreen(edge), qBlue(edge)}, kGreenRgb));
}

TEST_F(SceneViewerX11GL, TwoViewersOfOneSceneRenderOnChangeOnlyAndWithoutPauseWhileSomethingMoves) {
  TSceneWithCamera s;
  QWidget parent;
  parent.resize(400, 200);
  auto* left = new TTestViewer(&parent);
  auto* right = new TTestViewer(&parent);
  left->setGeometry(0, 0, 200, 200);
  right->setGeometry(200, 0, 200, 200);
  // Each frame turns the quad to its camera, as the view window turns its texts.
  for (TTestViewer* viewer : {left, right}) {
    viewer->SetCamera(s.camera);
    viewer->BeforeRender() = [&s](TObject*) { s.quad->PointToObject(*s.camera, YHmgVector); };
  }
  parent.show();
  ASSERT_TRUE(RunEventLoopFor(5000, [&] { return left->Buffer().FrameCount() > 0 && right->Buffer().FrameCount() > 0; }));
  RunEventLoopFor(300);  // the frames of the show and its exposures
  const auto framesIn = [&](int ms) {
    const int32_t before = left->Buffer().FrameCount() + right->Buffer().FrameCount();
    RunEventLoopFor(ms);
    return left->Buffer().FrameCount() + right->Buffer().FrameCount() - before;
  };
  EXPECT_LE(framesIn(1000), 2);  // idle: near none

  // A change renders each viewer again, once.
  s.quad->Position().SetX(0.5f);
  RunEventLoopFor(300);
  EXPECT_LE(framesIn(1000), 2);

  // Something moving on every tick keeps both rendering.
  TGLCadencer cadencer;
  cadencer.OnProgress = [&s](TObject*, double, double newTime) {
    s.quad->Position().SetX(static_cast<float>(std::sin(newTime)));
  };
  cadencer.SetScene(s.scene.get());
  EXPECT_GT(framesIn(1000), 20);
  cadencer.SetEnabled(false);
}

TEST_F(SceneViewerX11GL, ViewerOfWidthZeroDoesNotRenderOnPaint) {
  TSceneWithCamera s;
  QWidget parent;
  parent.resize(200, 200);
  auto* viewer = new TTestViewer(&parent);
  viewer->SetCamera(s.camera);
  parent.show();
  ASSERT_TRUE(RunEventLoopFor(5000, [&] { return viewer->Buffer().FrameCount() > 0; }));
  const int32_t frames = viewer->Buffer().FrameCount();
  viewer->resize(0, 50);
  viewer->PaintNow();
  EXPECT_EQ(viewer->Buffer().FrameCount(), frames);
  viewer->resize(50, 50);
  viewer->PaintNow();
  EXPECT_EQ(viewer->Buffer().FrameCount(), frames + 1);
}

TEST_F(SceneViewerX11GL, MovedViewerReappliesItsViewportThroughAPostedEvent) {
  TSceneWithCamera s;
  QWidget parent;
  parent.resize(300, 300);
  auto* viewer = new TTestViewer(&parent);
  viewer->SetCamera(s.camera);
  parent.show();
  ASSERT_TRUE(RunEventLoopFor(5000, [&] { return viewer->Buffer().FrameCount() > 0; }));
  RunEventLoopFor(50);
  viewer->PaintNow();  // the corner is known now
  RunEventLoopFor(50);
  const int refreshes = viewer->viewportRefreshes;
  viewer->PaintNow();
  RunEventLoopFor(50);
  EXPECT_EQ(viewer->viewportRefreshes, refreshes);  // not moved: nothing posted
  viewer->move(viewer->x() + 37, viewer->y() + 11);
  viewer->PaintNow();
  EXPECT_EQ(viewer->viewportRefreshes, refreshes);  // posted, not sent
  EXPECT_TRUE(RunEventLoopFor(2000, [&] { return viewer->viewportRefreshes == refreshes + 1; }));
}

TEST_F(SceneViewerX11GL, StructuralChangeGivesANewContextOnTheSameWindow) {
  TSceneWithCamera s;
  TTestViewer viewer;
  viewer.SetCamera(s.camera);
  viewer.show();
  ASSERT_TRUE(RunEventLoopFor(5000, [&] { return viewer.Buffer().FrameCount() > 0; }));
  const TGLContext* before = viewer.Buffer().RenderingContext();
  TContextOptions options = viewer.Buffer().ContextOptions();
  options.Include(TContextOption::roStencilBuffer);
  viewer.Buffer().SetContextOptions(options);
  ASSERT_TRUE(viewer.Buffer().HasContext());
  EXPECT_NE(viewer.Buffer().RenderingContext(), before);
  EXPECT_EQ(viewer.Buffer().RenderingContext()->StencilBits(), 8);
  EXPECT_TRUE(PaintAFrame(viewer));
}

TEST_F(SceneViewerX11GL, RenderErrorIsReportedNotThrownThroughThePaint) {
  TFakeServices services;
  TSceneWithCamera s;
  TTestViewer viewer;
  viewer.SetCamera(s.camera);
  viewer.show();
  ASSERT_TRUE(RunEventLoopFor(5000, [&] { return viewer.Buffer().FrameCount() > 0; }));
  viewer.PostRender() = [](TObject*) { throw std::runtime_error("frame failed"); };
  EXPECT_NO_THROW(viewer.PaintNow());
  EXPECT_FALSE(viewer.Buffer().Rendering());
  EXPECT_TRUE(RunEventLoopFor(2000, [&] { return !services.Messages.empty(); }));
  ASSERT_FALSE(services.Messages.empty());
  EXPECT_EQ(services.Messages[0].Text, "frame failed");
}

TEST_F(SceneViewerX11GL, ClosingTheWindowThatHoldsAViewerDropsItsContextFirst) {
  TSceneWithCamera s;
  auto parent = std::make_unique<QWidget>();
  parent->resize(120, 120);
  auto* viewer = new TTestViewer(parent.get());
  viewer->SetCamera(s.camera);
  parent->show();
  ASSERT_TRUE(RunEventLoopFor(5000, [&] { return viewer->Buffer().FrameCount() > 0; }));
  EXPECT_EQ(s.scene->BufferCount(), 1);
  parent.reset();
  EXPECT_EQ(s.scene->BufferCount(), 0);
  EXPECT_EQ(s.scene->BaseContext(), nullptr);
}

}  // namespace
}  // namespace qira

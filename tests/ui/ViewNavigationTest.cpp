#include "ui/ViewNavigation.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QWheelEvent>

#include <cmath>
#include <memory>

#include "scene/viewers/Cadencer.h"
#include "scene/graph/CameraLight.h"
#include "scene/objects/DummyPlaneSprite.h"
#include "scene/viewers/MemoryViewer.h"
#include "scene/viewers/SceneViewer.h"
#include "scene/math/VectorGeometry.h"
#include "model/StreamHelpers.h"
#include "support/HeadlessGL.h"
#include "ui/ProjectFile.h"
#include "ui/ProjectTestSupport.h"
#include "ui/ViewTestSupport.h"

namespace qira {
namespace {

using view_testing::TViewWindowTest;

class ViewNavigation : public TViewWindowTest {
 protected:
  void SetUp() override {
    TViewWindowTest::SetUp();
    if (IsSkipped()) return;
    form_ = std::make_unique<TForm3D>();
  }
  void TearDown() override {
    form_.reset();
    TViewWindowTest::TearDown();
  }

  void Key(int key, Qt::KeyboardModifiers shift = Qt::NoModifier, QWidget* target = nullptr) {
    QKeyEvent event(QEvent::KeyPress, key, shift);
    QCoreApplication::sendEvent(target ? target : form_.get(), &event);
  }
  void Move(int x, int y, Qt::KeyboardModifiers shift = Qt::NoModifier,
            Qt::MouseButtons buttons = Qt::LeftButton) {
    form_->GL3DSceneViewer1MouseMove(buttons, shift, x, y);
  }
  // A drag from (x0, y0) to (x1, y1): the first move only places the mouse.
  void Drag(int x0, int y0, int x1, int y1, Qt::KeyboardModifiers shift) {
    Move(x0, y0, shift, Qt::NoButton);
    Move(x1, y1, shift);
  }
  TVector AxisDirection() const { return form_->AxisCube->Direction().AsVector(); }
  static float AngleBetween(const TVector& a, const TVector& b) {
    const float dot = a.x * b.x + a.y * b.y + a.z * b.z;
    return RadToDeg(std::acos(std::clamp(dot, -1.0f, 1.0f)));
  }

  std::unique_ptr<TForm3D> form_;
};

// ----------------------------------------------------------------------- keys

TEST_F(ViewNavigation, ArrowKeysStepTheSpinSpeedsWithinElevenEitherWay) {
  for (int i = 0; i < 15; ++i) Key(Qt::Key_Right);
  EXPECT_EQ(form_->TurnSpeed(), 11);
  for (int i = 0; i < 30; ++i) Key(Qt::Key_Left);
  EXPECT_EQ(form_->TurnSpeed(), -11);
  for (int i = 0; i < 3; ++i) Key(Qt::Key_Down);
  EXPECT_EQ(form_->PitchSpeed(), 3);
  for (int i = 0; i < 20; ++i) Key(Qt::Key_Up);
  EXPECT_EQ(form_->PitchSpeed(), -11);
}

TEST_F(ViewNavigation, KeysInTheTreeGoToTheWindowFirst) {
  Key(Qt::Key_Right, Qt::NoModifier, form_->TreeView);
  Key(Qt::Key_Down, Qt::NoModifier, form_->TreeView);
  EXPECT_EQ(form_->TurnSpeed(), 1);
  EXPECT_EQ(form_->PitchSpeed(), 1);
}

TEST_F(ViewNavigation, KeysThatAreNotTheViewsArePassedOn) {
  int key = Qt::Key_A;
  form_->FormKeyDown(key, Qt::NoModifier);
  EXPECT_EQ(key, Qt::Key_A);
  key = Qt::Key_X;
  form_->FormKeyDown(key, Qt::AltModifier);
  EXPECT_EQ(key, Qt::Key_X);  // passed on, after closing the frame
  EXPECT_EQ(frameCloses_, 1);
  key = Qt::Key_X;
  form_->FormKeyDown(key, Qt::NoModifier);
  EXPECT_EQ(frameCloses_, 1);
}

TEST_F(ViewNavigation, EscOutsideFullScreenResetsTheViewButNotTheSpin) {
  Key(Qt::Key_Right);
  Key(Qt::Key_Up);
  form_->Camera->Position().SetPoint(5, 6, 7);
  form_->Camera->RotateObject(*form_->AxisCube, 30, 40, 0);
  Key(Qt::Key_Escape);
  EXPECT_EQ(form_->Camera->Position().Z(), 20000.0f);
  EXPECT_EQ(form_->Camera->Position().X(), 0.0f);
  EXPECT_NEAR(AngleBetween(AxisDirection(), VectorMake(0, 0, 1, 0)), 0.0f, 1e-3f);
  EXPECT_NEAR(form_->AxisCube->Up().Y(), 1.0f, 1e-6f);
  EXPECT_EQ(form_->TurnSpeed(), 1);
  EXPECT_EQ(form_->PitchSpeed(), -1);
}

TEST_F(ViewNavigation, KeyCCentresTheModel) {
  auto object = std::make_unique<TGraphMain>();
  object->ExtendBounds({10, 20, 30});
  form_->Root().AddChild(std::move(object), false);
  Key(Qt::Key_C, Qt::ShiftModifier);
  EXPECT_EQ(form_->Context().ModelOffset, (std::array<double, 3>{10, 30, 20}));
}

// ---------------------------------------------------------------------- mouse

TEST_F(ViewNavigation, LeftDragTurnsTheAxisCube) {
  const TVector before = AxisDirection();
  Drag(100, 100, 130, 100, Qt::NoModifier);
  EXPECT_NEAR(AngleBetween(before, AxisDirection()), 30.0f, 0.05f);
  EXPECT_EQ(form_->Camera->Position().Z(), 20000.0f);
}

TEST_F(ViewNavigation, FirstMoveAfterACommandDoesNotTurnTheView) {
  Move(100, 100, Qt::NoModifier, Qt::NoButton);
  IgnoreNextMouseMove = true;  // as every command leaves it
  const TVector before = AxisDirection();
  Move(150, 100);
  EXPECT_NEAR(AngleBetween(before, AxisDirection()), 0.0f, 1e-4f);
  EXPECT_FALSE(IgnoreNextMouseMove);
  // The ignored move placed the mouse: the next one turns by what it travelled from there.
  Move(140, 100);
  EXPECT_NEAR(AngleBetween(before, AxisDirection()), 10.0f, 0.05f);
}

// The first drag in a view that has just opened or just left full screen starts
// where its button went down: it turns or pans exactly as much as a later drag.
enum class TArrival { ProjectOpened, LeftFullScreenTheWindowsOwnWay, LeftTheIndependentViewer };
struct TFirstDragCase {
  const char* name;
  TArrival arrival;
};

class FirstDrag : public ViewNavigation, public ::testing::WithParamInterface<TFirstDragCase> {
 protected:
  void TearDown() override {
    Win7FullScreenMode = false;
    ViewNavigation::TearDown();
  }

  // Brings the view to where the user starts dragging; before that the mouse was
  // anywhere (far off over the full screen, say).
  void Arrive() {
    if (GetParam().arrival == TArrival::ProjectOpened) {
      scratch_.Put("p.q3d", project_testing::WithVersion(project_testing::Projects().Bytes("current.q3d"),
                                                         GetProgramVersion()));
      form_.reset(CreateFromFile(nullptr, scratch_.File("p.q3d")));
      ASSERT_NE(form_, nullptr);
      return;
    }
    Win7FullScreenMode = GetParam().arrival == TArrival::LeftTheIndependentViewer;
    form_->ToggleFullScreen();
    if (!form_->FullScreen()) GTEST_SKIP() << "no display mode for the full-screen viewer here";
    Move(600, 500, Qt::NoModifier, Qt::NoButton);
    Move(700, 520, Qt::NoModifier, Qt::NoButton);
    int esc = Qt::Key_Escape;  // as the full-screen window hands its keys on
    form_->FormKeyDown(esc, Qt::NoModifier);
    ASSERT_FALSE(form_->FullScreen());
  }

  void Send(QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held, QPoint at) {
    QWidget* viewer = form_->GL3DSceneViewer1;
    QMouseEvent event(type, QPointF(at), viewer->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(viewer, &event);
  }
  // A press at `from`, ten moves of one pixel to the right, a release.
  void DragTenPixels(Qt::MouseButton button, QPoint from) {
    Send(QEvent::MouseButtonPress, button, button, from);
    for (int step = 1; step <= 10; ++step) Send(QEvent::MouseMove, Qt::NoButton, button, from + QPoint(step, 0));
    Send(QEvent::MouseButtonRelease, button, Qt::NoButton, from + QPoint(10, 0));
  }
  TVector CameraPosition() const { return form_->Camera->Position().AsVector(); }
};

TEST_P(FirstDrag, TurnsAsMuchAsALaterDrag) {
  Arrive();
  if (IsSkipped() || HasFatalFailure()) return;
  TVector before = AxisDirection();
  DragTenPixels(Qt::LeftButton, QPoint(200, 150));
  const float first = AngleBetween(before, AxisDirection());
  before = AxisDirection();
  DragTenPixels(Qt::LeftButton, QPoint(120, 90));
  const float later = AngleBetween(before, AxisDirection());
  EXPECT_NEAR(later, 10.0f, 0.05f);
  EXPECT_NEAR(first, later, 0.05f);
}

TEST_P(FirstDrag, PansAsMuchAsALaterDrag) {
  Arrive();
  if (IsSkipped() || HasFatalFailure()) return;
  form_->GL3DSceneViewer1->Buffer().Resize(400, 300);
  TVector before = CameraPosition();
  DragTenPixels(Qt::MiddleButton, QPoint(200, 150));
  const TVector first = VectorSubtract(CameraPosition(), before);
  before = CameraPosition();
  DragTenPixels(Qt::MiddleButton, QPoint(120, 90));
  const TVector later = VectorSubtract(CameraPosition(), before);
  EXPECT_GT(AffineVectorLength(later), 1.0f);
  EXPECT_NEAR(first.x, later.x, 0.01f);
  EXPECT_NEAR(first.y, later.y, 0.01f);
  EXPECT_NEAR(first.z, later.z, 0.01f);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FirstDrag,
    ::testing::Values(
        TFirstDragCase{"AfterAProjectOpened", TArrival::ProjectOpened},
        TFirstDragCase{"AfterLeavingFullScreenTheWindowsOwnWay", TArrival::LeftFullScreenTheWindowsOwnWay},
        TFirstDragCase{"AfterLeavingTheIndependentViewer", TArrival::LeftTheIndependentViewer}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ViewNavigation, CtrlDragZoomsEvenWithAltHeld) {
  Drag(50, 300, 50, 200, Qt::ControlModifier | Qt::AltModifier);
  // dy = 100: the camera goes 20 percent farther, the light with it.
  EXPECT_FLOAT_EQ(form_->Camera->Position().Z(), 24000.0f);
  EXPECT_EQ(form_->Camera->Position().X(), 0.0f);
  EXPECT_FLOAT_EQ(form_->LightSource->Position().X(), 2400.0f);
  EXPECT_FLOAT_EQ(form_->LightSource->Position().Z(), 2400.0f);
}

TEST_F(ViewNavigation, AltDragPansTheCamera) {
  Drag(100, 100, 90, 120, Qt::AltModifier);
  // dx = 10, dy = -20.
  EXPECT_EQ(form_->Camera->Position().X(), 10.0f);
  EXPECT_EQ(form_->Camera->Position().Y(), 20.0f);
  EXPECT_EQ(form_->Camera->Position().Z(), 20000.0f);
}

TEST_F(ViewNavigation, ShiftDragMovesTheModelWithTheMouse) {
  Drag(100, 100, 90, 120, Qt::ShiftModifier);
  // Unturned view: world X and Y are ModelCube's; dx = 10, dy = -20.
  EXPECT_EQ(form_->Context().ModelOffset, (std::array<double, 3>{10, 20, 0}));
  EXPECT_EQ(form_->ModelCube->Position().X(), -10.0f);
  EXPECT_EQ(form_->ModelCube->Position().Y(), -20.0f);
}

TEST_F(ViewNavigation, MoveWithoutTheLeftButtonOnlyFollowsTheMouse) {
  const TVector before = AxisDirection();
  Drag(100, 100, 200, 200, Qt::NoModifier);  // the drag's move has the button
  Move(10, 10, Qt::ControlModifier, Qt::RightButton);
  EXPECT_EQ(form_->Camera->Position().Z(), 20000.0f);
  EXPECT_GT(AngleBetween(before, AxisDirection()), 1.0f);
}

TEST_F(ViewNavigation, WheelNotchMovesTheCameraSixPercentFarther) {
  QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(form_->GL3DSceneViewer1, &wheel);
  EXPECT_FLOAT_EQ(form_->Camera->Position().Z(), 21200.0f);
  EXPECT_FLOAT_EQ(form_->LightSource->Position().Y(), 2120.0f);
  EXPECT_TRUE(wheel.isAccepted());
}

// ---------------------------------------------------------------- cadencer

TEST_F(ViewNavigation, TickTurnsByTenDegreesPerSpeedStepAndSecond) {
  const TVector before = AxisDirection();
  form_->GLCadencer1Progress(1.0);
  EXPECT_NEAR(AngleBetween(before, AxisDirection()), 0.0f, 1e-5f);  // no spin: nothing turns
  Key(Qt::Key_Right);
  Key(Qt::Key_Right);
  form_->GLCadencer1Progress(0.5);
  EXPECT_NEAR(AngleBetween(before, AxisDirection()), 10.0f, 0.05f);
}

TEST_F(ViewNavigation, CursorHidesAfterThreeSecondsOfCadencerTimeAndReturnsOnAMove) {
  form_->GLCadencer1Progress(1.5);
  form_->GLCadencer1Progress(1.5);
  EXPECT_FALSE(form_->CursorHidden());  // 3.0 is not more than 3.0
  form_->GLCadencer1Progress(0.01);
  EXPECT_TRUE(form_->CursorHidden());
  EXPECT_EQ(form_->GL3DSceneViewer1->cursor().shape(), Qt::BlankCursor);
  Move(3, 4, Qt::NoModifier, Qt::NoButton);
  EXPECT_FALSE(form_->CursorHidden());
  EXPECT_EQ(form_->GL3DSceneViewer1->cursor().shape(), Qt::ArrowCursor);
  EXPECT_EQ(form_->IdleTime(), 0.0);
}

TEST_F(ViewNavigation, TheSpinClockTicksOnlyWhileTheViewSpins) {
  const TGLCadencer& cadencer = *form_->GLCadencer1;
  EXPECT_FALSE(cadencer.Enabled());
  Key(Qt::Key_Right);
  EXPECT_TRUE(cadencer.Enabled());
  Key(Qt::Key_Up);
  Key(Qt::Key_Left);
  EXPECT_TRUE(cadencer.Enabled());  // still pitching
  Key(Qt::Key_Down);
  EXPECT_FALSE(cadencer.Enabled());
}

// The middle button drags the model: the turning centre, wherever the camera
// stands, follows the cursor pixel for pixel, as the frames OpenGL renders show it.
struct TPanCase {
  float cameraDistance;
  int fromX, fromY, toX, toY;
};

class MiddleButtonPanGL : public ViewNavigation, public ::testing::WithParamInterface<TPanCase> {};

TEST_P(MiddleButtonPanGL, TheTurningCentreStaysUnderTheCursor) {
  if (IsSkipped()) return;
  auto gl = MakeHeadlessGLOrSkip<HeadlessGL>(1, 1, 0);  // proves the machine renders headless
  if (!gl) return;
  gl.reset();
  const TPanCase c = GetParam();
  constexpr int kWidth = 400;
  constexpr int kHeight = 300;
  form_->GL3DSceneViewer1->Buffer().Resize(kWidth, kHeight);
  form_->Camera->Position().SetZ(c.cameraDistance);
  // A second viewer of the same camera and size renders the frames to look at.
  TGLMemoryViewer frames;
  frames.SetWidth(kWidth);
  frames.SetHeight(kHeight);
  frames.SetCamera(form_->Camera);
  const auto centreOnScreen = [&] {
    frames.Render();
    return frames.Buffer().WorldToScreen(form_->AxisCube->GetAbsoluteAffinePosition());
  };
  const TAffineVector before = centreOnScreen();
  Move(c.fromX, c.fromY, Qt::NoModifier, Qt::NoButton);
  Move(c.toX, c.toY, Qt::NoModifier, Qt::MiddleButton);
  const TAffineVector after = centreOnScreen();
  // Window rows grow downwards, OpenGL's upwards.
  EXPECT_NEAR(after.x - before.x, c.toX - c.fromX, 0.05);
  EXPECT_NEAR(after.y - before.y, -(c.toY - c.fromY), 0.05);
  EXPECT_EQ(form_->Camera->Position().Z(), c.cameraDistance);  // across the screen only
}

INSTANTIATE_TEST_SUITE_P(Drags, MiddleButtonPanGL,
                         ::testing::Values(TPanCase{1000.0f, 100, 100, 110, 100},
                                           TPanCase{1000.0f, 200, 150, 50, 150},
                                           TPanCase{20000.0f, 100, 100, 90, 120},
                                           TPanCase{300.0f, 10, 10, 160, 160}));

TEST_F(ViewNavigation, CadencerClockRunsAtAFifthOfRealTime) {
  TGLCadencer& cadencer = *form_->GLCadencer1;
  EXPECT_EQ(cadencer.Mode(), TGLCadencerMode::cmASAP);
  EXPECT_DOUBLE_EQ(cadencer.TimeMultiplier(), 0.2);
  cadencer.SetMode(TGLCadencerMode::cmManual);
  cadencer.SetEnabled(true);
  cadencer.SetTimeReference(TGLCadencerTimeReference::cmExternal);
  cadencer.SetExternalTime(0);
  cadencer.Reset();
  cadencer.Progress();
  cadencer.SetExternalTime(14.0);  // 2.8 s of scene time
  cadencer.Progress();
  EXPECT_FALSE(form_->CursorHidden());
  EXPECT_NEAR(form_->IdleTime(), 2.8, 0.01);
  cadencer.SetExternalTime(15.5);  // 3.1 s
  cadencer.Progress();
  EXPECT_TRUE(form_->CursorHidden());
}

}  // namespace
}  // namespace qira

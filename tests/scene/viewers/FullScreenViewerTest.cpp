#include "scene/viewers/FullScreenViewer.h"

#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>

#include <array>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/DisplayModes.h"
#include "scene/gl/EglRenderingContext.h"
#include "support/SceneRenderSupport.h"
#include "support/FakeServices.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

using testing::kGreenRgb;
using testing::kRedRgb;
using testing::Near;
using testing::TFlatQuad;

// What the fake display was asked; outlives the table that owns the source.
struct TDisplayLog {
  std::vector<TDisplayMode> changes;
  int restores = 0;
};

// A display at `current` that lists `modes` (and accepts them); changes are
// logged and accepted unless refused.
class TFakeDisplay : public TDisplayModeSource {
 public:
  TFakeDisplay(TDisplayLog& log, TDisplayMode current, std::vector<TDisplayMode> modes)
      : log_(log), current_(current), modes_(std::move(modes)) {}
  bool RefuseChanges = false;

  TDisplayMode CurrentMode() override { return current_; }
  bool EnumMode(int32_t index, TDisplayMode& mode) override {
    if (index < 0 || static_cast<size_t>(index) >= modes_.size()) return false;
    mode = modes_[static_cast<size_t>(index)];
    return true;
  }
  bool TestMode(const TDisplayMode& mode) override {
    for (const TDisplayMode& m : modes_) {
      if (m.Width == mode.Width && m.Height == mode.Height && m.BitsPerPixel == mode.BitsPerPixel) return true;
    }
    return false;
  }
  bool ChangeMode(const TDisplayMode& mode) override {
    log_.changes.push_back(mode);
    return !RefuseChanges;
  }
  void RestoreMode() override { ++log_.restores; }

 private:
  TDisplayLog& log_;
  TDisplayMode current_;
  std::vector<TDisplayMode> modes_;
};

TDisplayMode Mode(int32_t w, int32_t h, int32_t bpp, int32_t hz = 60) { return {w, h, bpp, hz}; }

// ------------------------------------------------------ on any Qt platform

class FullScreenViewer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (EnsureTestApplication() == nullptr) GTEST_SKIP() << "the application has no widgets";
  }

  // A viewer choosing from a fake display at `current` listing `modes`.
  TGLFullScreenViewer& ViewerOn(TDisplayMode current, std::vector<TDisplayMode> modes) {
    auto display = std::make_unique<TFakeDisplay>(log_, current, std::move(modes));
    display_ = display.get();
    table_ = std::make_unique<TVideoModeTable>(std::move(display));
    viewer_ = std::make_unique<TGLFullScreenViewer>();
    viewer_->SetVideoModeTable(table_.get());
    return *viewer_;
  }

  void TearDown() override {
    viewer_.reset();
    RunEventLoopFor(10);  // windows freed after their handlers
  }

  TDisplayLog log_;
  TFakeDisplay* display_ = nullptr;
  std::unique_ptr<TVideoModeTable> table_;
  std::unique_ptr<TGLFullScreenViewer> viewer_;
};

TEST_F(FullScreenViewer, StartsInactiveAtEightHundredBySixHundredAndThirtyTwoBits) {
  TGLFullScreenViewer viewer;
  EXPECT_FALSE(viewer.Active());
  EXPECT_EQ(viewer.Width(), 800);
  EXPECT_EQ(viewer.Height(), 600);
  EXPECT_EQ(viewer.ScreenDepth(), TScreenDepth::sd32bits);
  EXPECT_EQ(viewer.VSync(), TVSyncMode::vsmSync);
  EXPECT_FALSE(viewer.StayOnTop());
  EXPECT_EQ(viewer.RefreshRate(), 0);
  EXPECT_EQ(viewer.FullScreenWindow(), nullptr);
  EXPECT_EQ(&viewer.VideoModeTable(), &VideoModes());
}

TEST_F(FullScreenViewer, NoFittingModeRaisesUnsupportedVideoModeAndCreatesNothing) {
  TGLFullScreenViewer& viewer = ViewerOn(Mode(640, 480, 32), {Mode(640, 480, 32), Mode(1024, 768, 16)});
  try {
    viewer.SetActive(true);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Unsupported video mode");
  }
  EXPECT_FALSE(viewer.Active());
  EXPECT_EQ(viewer.FullScreenWindow(), nullptr);
  EXPECT_FALSE(viewer.Buffer().HasContext());
  EXPECT_TRUE(log_.changes.empty());
  EXPECT_EQ(log_.restores, 0);
}

TEST_F(FullScreenViewer, ActivatingAtTheCurrentModeLeavesTheDisplayAloneBothWays) {
  TGLFullScreenViewer& viewer = ViewerOn(Mode(1024, 768, 32), {Mode(1024, 768, 32)});
  viewer.SetWidth(1024);
  viewer.SetHeight(768);
  viewer.SetActive(true);
  ASSERT_TRUE(viewer.Active());
  QWidget* window = viewer.FullScreenWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isWindow());
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(window->windowState().testFlag(Qt::WindowFullScreen));
  EXPECT_TRUE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(window->testAttribute(Qt::WA_NativeWindow));
  EXPECT_EQ(window->paintEngine(), nullptr);
  EXPECT_FALSE(viewer.ModeSwitched());
  EXPECT_TRUE(log_.changes.empty());
  viewer.SetActive(false);
  EXPECT_FALSE(viewer.Active());
  EXPECT_EQ(viewer.FullScreenWindow(), nullptr);
  EXPECT_EQ(log_.restores, 0);
}

TEST_F(FullScreenViewer, AnotherModeIsSwitchedToAtTheLimitedRateAndRestoredOnDeactivation) {
  TGLFullScreenViewer& viewer = ViewerOn(Mode(1280, 1024, 32), {Mode(1280, 1024, 32), Mode(800, 600, 32, 75)});
  viewer.SetRefreshRate(85);
  viewer.SetActive(true);
  ASSERT_TRUE(viewer.Active());
  EXPECT_TRUE(viewer.ModeSwitched());
  ASSERT_EQ(log_.changes.size(), 1u);
  EXPECT_EQ(log_.changes[0].Width, 800);
  EXPECT_EQ(log_.changes[0].Height, 600);
  EXPECT_EQ(log_.changes[0].BitsPerPixel, 32);
  EXPECT_EQ(log_.changes[0].Frequency, 75);
  EXPECT_EQ(viewer.Buffer().Width(), viewer.FullScreenWindow()->width());
  viewer.SetActive(false);
  EXPECT_EQ(log_.restores, 1);
  EXPECT_FALSE(viewer.ModeSwitched());
}

TEST_F(FullScreenViewer, ARefusedChangeStillOpensTheWindowAndRestoresNothing) {
  TGLFullScreenViewer& viewer = ViewerOn(Mode(1280, 1024, 32), {Mode(800, 600, 32)});
  display_->RefuseChanges = true;
  viewer.SetActive(true);
  EXPECT_TRUE(viewer.Active());
  EXPECT_NE(viewer.FullScreenWindow(), nullptr);
  EXPECT_EQ(log_.changes.size(), 1u);
  EXPECT_FALSE(viewer.ModeSwitched());
  EXPECT_EQ(table_->CurrentVideoMode(), 0);
  viewer.SetActive(false);
  EXPECT_EQ(log_.restores, 0);
}

TEST_F(FullScreenViewer, UseCurrentResolutionTakesTheScreensSizeAndDepth) {
  struct TCase {
    int32_t bits;
    TScreenDepth depth;
  };
  for (const TCase c : {TCase{8, TScreenDepth::sd8bits}, TCase{16, TScreenDepth::sd16bits},
                        TCase{24, TScreenDepth::sd24bits}, TCase{15, TScreenDepth::sd32bits},
                        TCase{32, TScreenDepth::sd32bits}}) {
    TGLFullScreenViewer& viewer = ViewerOn(Mode(1280, 1024, c.bits), {});
    viewer.SetScreenDepth(c.depth == TScreenDepth::sd8bits ? TScreenDepth::sd32bits : TScreenDepth::sd8bits);
    viewer.UseCurrentResolution();
    EXPECT_EQ(viewer.Width(), 1280);
    EXPECT_EQ(viewer.Height(), 1024);
    EXPECT_EQ(viewer.ScreenDepth(), c.depth) << c.bits << " bits";
  }
}

TEST_F(FullScreenViewer, DepthAndStayOnTopRestartAnActiveViewerOnceTheBracketCloses) {
  TGLFullScreenViewer& viewer =
      ViewerOn(Mode(1280, 1024, 32), {Mode(1280, 1024, 32), Mode(800, 600, 16), Mode(800, 600, 32)});
  viewer.SetActive(true);
  ASSERT_EQ(log_.changes.size(), 1u);
  viewer.SetScreenDepth(TScreenDepth::sd16bits);
  ASSERT_EQ(log_.changes.size(), 2u);
  EXPECT_EQ(log_.restores, 1);
  EXPECT_EQ(log_.changes[1].BitsPerPixel, 16);
  viewer.BeginUpdate();
  viewer.SetScreenDepth(TScreenDepth::sd32bits);
  viewer.SetStayOnTop(true);
  EXPECT_EQ(log_.changes.size(), 2u);
  viewer.EndUpdate();
  ASSERT_EQ(log_.changes.size(), 3u);
  EXPECT_EQ(log_.changes[2].BitsPerPixel, 32);
  EXPECT_EQ(log_.restores, 2);
  ASSERT_NE(viewer.FullScreenWindow(), nullptr);
  EXPECT_TRUE(viewer.FullScreenWindow()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  viewer.EndUpdate();  // an unmatched end changes nothing
  EXPECT_EQ(log_.changes.size(), 3u);
  // Inactive: nothing to restart.
  viewer.SetActive(false);
  viewer.SetStayOnTop(false);
  EXPECT_EQ(log_.changes.size(), 3u);
  EXPECT_FALSE(viewer.Active());
}

TEST_F(FullScreenViewer, StayOnTopHoldsWhileTheWindowIsActiveOnTheSameNativeWindow) {
  for (const bool stayOnTop : {true, false}) {
    SCOPED_TRACE(stayOnTop ? "StayOnTop" : "not StayOnTop");
    TGLFullScreenViewer& viewer = ViewerOn(Mode(800, 600, 32), {Mode(800, 600, 32)});
    viewer.SetStayOnTop(stayOnTop);
    viewer.SetActive(true);
    QWidget* window = viewer.FullScreenWindow();
    ASSERT_NE(window, nullptr);
    const WId native = window->winId();
    const auto onTop = [&] { return window->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint); };
    EXPECT_EQ(onTop(), stayOnTop);
    // Another window of the program made active, then this one again.
    for (const auto& [type, expected] : {std::pair{QEvent::WindowDeactivate, false},
                                        std::pair{QEvent::WindowActivate, stayOnTop}}) {
      QEvent event(type);
      QCoreApplication::sendEvent(window, &event);
      EXPECT_EQ(onTop(), expected);
      EXPECT_EQ(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint), expected);
      EXPECT_TRUE(window->isVisible());
      EXPECT_TRUE(window->windowState().testFlag(Qt::WindowFullScreen));
      EXPECT_EQ(window->winId(), native);
    }
    viewer.SetActive(false);
  }
}

TEST_F(FullScreenViewer, TheWindowsMouseAndKeyEventsReachTheViewersHandlers) {
  TGLFullScreenViewer& viewer = ViewerOn(Mode(800, 600, 32), {Mode(800, 600, 32)});
  std::vector<std::string> calls;
  TObject* const self = &viewer;
  viewer.OnMouseDown = [&](TObject* s, const TViewerMouse& m) {
    EXPECT_EQ(s, self);
    calls.push_back("down " + std::to_string(m.x) + "," + std::to_string(m.y));
  };
  viewer.OnMouseMove = [&](TObject*, const TViewerMouse&) { calls.push_back("move"); };
  viewer.OnMouseUp = [&](TObject*, const TViewerMouse&) { calls.push_back("up"); };
  viewer.OnClick = [&](TObject*) { calls.push_back("click"); };
  viewer.OnDblClick = [&](TObject*) { calls.push_back("dblclick"); };
  viewer.OnMouseWheel = [&](TObject*, const TViewerWheel& w) {
    calls.push_back("wheel " + std::to_string(w.wheelDelta));
    return true;
  };
  viewer.OnKeyDown = [&](TObject*, int key, Qt::KeyboardModifiers shift) {
    calls.push_back("keydown " + std::to_string(key) + (shift.testFlag(Qt::ShiftModifier) ? " shift" : ""));
  };
  viewer.OnKeyPress = [&](TObject*, const QString& text) { calls.push_back("keypress " + text.toStdString()); };
  viewer.OnKeyUp = [&](TObject*, int key, Qt::KeyboardModifiers) { calls.push_back("keyup " + std::to_string(key)); };
  viewer.SetActive(true);
  QWidget* window = viewer.FullScreenWindow();
  ASSERT_NE(window, nullptr);
  const QPointF at(10.5, 20.25);
  QMouseEvent press(QEvent::MouseButtonPress, at, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QMouseEvent move(QEvent::MouseMove, at, at, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, at, at, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QMouseEvent twice(QEvent::MouseButtonDblClick, at, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QWheelEvent wheel(at, at, QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QKeyEvent keyDown(QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier, "A");
  QKeyEvent repeatUp(QEvent::KeyRelease, Qt::Key_A, Qt::ShiftModifier, "A", true);
  QKeyEvent keyUp(QEvent::KeyRelease, Qt::Key_A, Qt::ShiftModifier, "A");
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  for (QEvent* e : std::initializer_list<QEvent*>{&press, &move, &release, &twice, &wheel, &keyDown, &repeatUp,
                                                  &keyUp, &escape}) {
    QCoreApplication::sendEvent(window, e);
  }
  const std::string a = std::to_string(Qt::Key_A);
  EXPECT_EQ(calls, (std::vector<std::string>{"down 10,20", "move", "click", "up", "down 10,20", "dblclick",
                                             "wheel -120", "keydown " + a + " shift", "keypress A", "keyup " + a,
                                             "keydown " + std::to_string(Qt::Key_Escape)}));
}

TEST_F(FullScreenViewer, AHandlerMayDeactivateTheViewerFromInsideTheWindowsEvent) {
  TGLFullScreenViewer& viewer = ViewerOn(Mode(800, 600, 32), {Mode(800, 600, 32)});
  bool windowAliveAfterHandler = false;
  int keyUps = 0;
  QPointer<QWidget> window;
  viewer.OnKeyDown = [&](TObject*, int key, Qt::KeyboardModifiers) {
    if (key != Qt::Key_Escape) return;
    viewer.SetActive(false);
    // Still there for the rest of its own handler.
    windowAliveAfterHandler = !window.isNull() && !window->isVisible();
  };
  viewer.OnKeyPress = [&](TObject*, const QString&) { ADD_FAILURE() << "event after deactivation"; };
  viewer.OnKeyUp = [&](TObject*, int, Qt::KeyboardModifiers) { ++keyUps; };
  viewer.SetActive(true);
  window = viewer.FullScreenWindow();
  ASSERT_FALSE(window.isNull());
  // As the event loop delivers keys.
  QCoreApplication::postEvent(window, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, "\x1b"));
  EXPECT_TRUE(RunEventLoopFor(2000, [&] { return !viewer.Active(); }));
  EXPECT_TRUE(windowAliveAfterHandler);
  EXPECT_EQ(viewer.FullScreenWindow(), nullptr);
  if (!window.isNull()) {
    QKeyEvent up(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &up);
  }
  EXPECT_EQ(keyUps, 0);
  EXPECT_TRUE(RunEventLoopFor(2000, [&] { return window.isNull(); }));
}

TEST_F(FullScreenViewer, CloseQueryCanKeepTheWindowAndAnAllowedCloseDeactivates) {
  TGLFullScreenViewer& viewer = ViewerOn(Mode(1280, 1024, 32), {Mode(800, 600, 32)});
  bool allow = false;
  std::vector<std::string> calls;
  viewer.OnCloseQuery = [&](TObject*, bool& canClose) {
    calls.push_back("query");
    canClose = allow;
  };
  viewer.OnClose = [&](TObject*) { calls.push_back("close"); };
  viewer.SetActive(true);
  ASSERT_TRUE(viewer.ModeSwitched());
  QPointer<QWidget> window = viewer.FullScreenWindow();
  EXPECT_FALSE(window->close());
  EXPECT_TRUE(viewer.Active());
  allow = true;
  EXPECT_TRUE(window->close());
  EXPECT_FALSE(viewer.Active());
  EXPECT_EQ(log_.restores, 1);
  EXPECT_EQ(calls, (std::vector<std::string>{"query", "query", "close"}));
  EXPECT_TRUE(RunEventLoopFor(2000, [&] { return window.isNull(); }));
}

TEST_F(FullScreenViewer, ErrorsOfHandlersAreReportedAndAFailingCloseQueryKeepsTheWindow) {
  TFakeServices services;
  TGLFullScreenViewer& viewer = ViewerOn(Mode(800, 600, 32), {Mode(800, 600, 32)});
  viewer.OnKeyDown = [](TObject*, int, Qt::KeyboardModifiers) { throw std::runtime_error("key failed"); };
  viewer.OnCloseQuery = [](TObject*, bool&) { throw std::runtime_error("query failed"); };
  viewer.SetActive(true);
  QWidget* window = viewer.FullScreenWindow();
  QKeyEvent key(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, "b");
  EXPECT_NO_THROW(QCoreApplication::sendEvent(window, &key));
  EXPECT_FALSE(window->close());
  EXPECT_TRUE(viewer.Active());
  EXPECT_TRUE(RunEventLoopFor(2000, [&] { return services.Messages.size() >= 2; }));
  ASSERT_EQ(services.Messages.size(), 2u);
  EXPECT_EQ(services.Messages[0].Text, "key failed");
  EXPECT_EQ(services.Messages[1].Text, "query failed");
}

TEST_F(FullScreenViewer, DestroyingAnActiveViewerDeactivatesItFirst) {
  TGLFullScreenViewer& viewer = ViewerOn(Mode(1280, 1024, 32), {Mode(800, 600, 32)});
  viewer.SetActive(true);
  QPointer<QWidget> window = viewer.FullScreenWindow();
  ASSERT_TRUE(viewer.ModeSwitched());
  viewer_.reset();
  EXPECT_EQ(log_.restores, 1);
  // Hidden at once; freed once the event loop runs.
  EXPECT_TRUE(window.isNull() || !window->isVisible());
  EXPECT_TRUE(RunEventLoopFor(2000, [&] { return window.isNull(); }));
}

// ------------------------------------------------------------ real X display

class FullScreenViewerX11GL : public ::testing::Test {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "DISPLAY is not set";
    if (QCoreApplication::instance() == nullptr) qputenv("QT_QPA_PLATFORM", "xcb");
    if (EnsureTestApplication() == nullptr || !WindowContextsAvailable()) {
      GTEST_SKIP() << "the application of this process does not run on X11";
    }
    RegisterEglRenderingContext();
  }
};

TEST_F(FullScreenViewerX11GL, ActivatedViewerShowsTheSceneOnTheScreenAndDeactivationTakesItAway) {
  std::unique_ptr<TGL3DScene> scene = std::make_unique<TGL3DScene>();
  TGLCamera& camera = scene->Objects().AddNewChild<TGLCamera>();
  camera.Position().SetPoint(0.0f, 0.0f, 30.0f);
  TFlatQuad& quad = scene->Objects().AddNewChild<TFlatQuad>();
  quad.HalfSize = 2.0f;
  TGLFullScreenViewer viewer;
  viewer.SetCamera(&camera);
  viewer.Buffer().SetBackgroundColor(MakeColor(0, 255, 0));
  viewer.UseCurrentResolution();
  std::array<int, 3> centre{}, corner{};
  viewer.PostRender() = [&](TObject*) {
    centre = ReadRgb(viewer.Buffer().Width() / 2, viewer.Buffer().Height() / 2);
    corner = ReadRgb(2, 2);
  };
  viewer.SetActive(true);
  ASSERT_TRUE(viewer.Active());
  EXPECT_FALSE(viewer.ModeSwitched());
  QWidget* window = viewer.FullScreenWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(viewer.Buffer().HasContext());
  EXPECT_EQ(viewer.Buffer().RenderingContext()->RenderOutputDevice(), static_cast<TGLOutputDevice>(window->winId()));
  const auto shown = [&] { return Near(centre, kRedRgb) && Near(corner, kGreenRgb); };
  for (int frame = 0; frame < 20 && !shown(); ++frame) {
    const int32_t before = viewer.Buffer().FrameCount();
    window->update();
    ASSERT_TRUE(RunEventLoopFor(5000, [&] { return viewer.Buffer().FrameCount() > before; }));
  }
  EXPECT_TRUE(Near(centre, kRedRgb));
  EXPECT_TRUE(Near(corner, kGreenRgb));
  EXPECT_EQ(scene->BufferCount(), 1);

  viewer.SetActive(false);
  EXPECT_FALSE(viewer.Active());
  EXPECT_FALSE(viewer.Buffer().HasContext());
  EXPECT_EQ(viewer.FullScreenWindow(), nullptr);
  EXPECT_EQ(scene->BufferCount(), 0);
  EXPECT_EQ(VideoModes().CurrentVideoMode(), 0);

  // Again, on a new window.
  viewer.SetActive(true);
  ASSERT_TRUE(viewer.Buffer().HasContext());
  const int32_t before = viewer.Buffer().FrameCount();
  viewer.FullScreenWindow()->update();
  EXPECT_TRUE(RunEventLoopFor(5000, [&] { return viewer.Buffer().FrameCount() > before; }));
  viewer.SetActive(false);
}

// Whether the pixels 100 right of, left of, above and below the viewport's middle
// pixel ((width - 1) / 2, (height - 1) / 2 from the top left) and one diagonally
// next to it are red.
std::vector<bool> RedAroundTheMiddle(int32_t width, int32_t height) {
  const int x = (width - 1) / 2, y = height - 1 - (height - 1) / 2;
  std::vector<bool> red;
  for (const auto& [dx, dy] : {std::pair{100, 0}, {-100, 0}, {0, 100}, {0, -100}, {1, 1}}) {
    red.push_back(Near(ReadRgb(x + dx, y + dy), kRedRgb));
  }
  return red;
}

TEST_F(FullScreenViewerX11GL, HairlinesThroughTheCentreShowAsInAWindowViewerOfTheScreensSizeOrOneLess) {
  // A tenth of a pixel across, like the arrows of a new document's axis cross far off.
  std::unique_ptr<TGL3DScene> scene = std::make_unique<TGL3DScene>();
  TGLCamera& camera = scene->Objects().AddNewChild<TGLCamera>();
  camera.Position().SetPoint(0.0f, 0.0f, 30.0f);
  scene->Objects().AddNewChild<TFlatQuad>().Scale().SetVector(40.0f, 0.01f, 1.0f);
  scene->Objects().AddNewChild<TFlatQuad>().Scale().SetVector(0.01f, 40.0f, 1.0f);
  TGLFullScreenViewer viewer;
  viewer.SetCamera(&camera);
  viewer.UseCurrentResolution();
  std::vector<bool> full;
  viewer.PostRender() = [&](TObject*) { full = RedAroundTheMiddle(viewer.Buffer().Width(), viewer.Buffer().Height()); };
  viewer.SetActive(true);
  ASSERT_NE(viewer.FullScreenWindow(), nullptr);
  const QSize size = viewer.FullScreenWindow()->size();
  viewer.FullScreenWindow()->update();
  ASSERT_TRUE(RunEventLoopFor(5000, [&] { return !full.empty(); }));
  viewer.SetActive(false);
  EXPECT_EQ(full, (std::vector<bool>{true, true, true, true, false}));
  for (const QSize window : {size, size - QSize(1, 1)}) {
    TGL3DSceneViewer other;
    other.SetCamera(&camera);
    other.resize(window);
    std::vector<bool> shown;
    other.PostRender() = [&](TObject*) {
      if (QSize(other.Buffer().Width(), other.Buffer().Height()) == window) {
        shown = RedAroundTheMiddle(window.width(), window.height());
      }
    };
    other.show();
    for (int frame = 0; frame < 20 && shown.empty(); ++frame) {
      const int32_t before = other.Buffer().FrameCount();
      other.Invalidate();
      RunEventLoopFor(5000, [&] { return other.Buffer().FrameCount() > before; });
    }
    EXPECT_EQ(shown, full) << window.width() << " x " << window.height();
  }
}

TEST_F(FullScreenViewerX11GL, ASizeLargerThanTheScreenIsAnUnsupportedVideoMode) {
  TGLFullScreenViewer viewer;
  viewer.UseCurrentResolution();
  viewer.SetWidth(viewer.Width() + 1);
  try {
    viewer.SetActive(true);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Unsupported video mode");
  }
  EXPECT_EQ(viewer.FullScreenWindow(), nullptr);
}

TEST_F(FullScreenViewerX11GL, TheDefaultDepthFindsADesktopOfTwentyFourBitColour) {
  TGLFullScreenViewer viewer;
  ASSERT_EQ(viewer.ScreenDepth(), TScreenDepth::sd32bits);
  viewer.UseCurrentResolution();
  EXPECT_EQ(viewer.ScreenDepth(), TScreenDepth::sd32bits);  // the virtual display has 24-bit colour
  viewer.SetActive(true);
  EXPECT_TRUE(viewer.Active());
  EXPECT_FALSE(viewer.ModeSwitched());
  viewer.SetActive(false);
}

}  // namespace
}  // namespace qira

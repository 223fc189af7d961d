#include "platform/RandRModes.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "support/TestApplication.h"

// Xlib last: its macros clash with the headers above.
#include <X11/Xlib.h>

namespace qira {
namespace {

// The screen's size as a fresh connection to the server sees it: an answer
// that does not go through the adapter's RandR queries.
QSize ServerScreenSize() {
  // The one virtual display of a test run can turn a connection away for a moment
  // while many test programs connect at once: try again before giving up.
  Display* display = nullptr;
  for (int attempt = 0; attempt < 100 && display == nullptr; ++attempt) {
    display = XOpenDisplay(nullptr);
    if (display == nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (display == nullptr) return {};
  const int screen = DefaultScreen(display);
  const QSize size(DisplayWidth(display, screen), DisplayHeight(display, screen));
  XCloseDisplay(display);
  return size;
}

class RandRModesX11 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "DISPLAY is not set";
    source_ = std::make_unique<TRandRModeSource>();
    if (!source_->Connected()) GTEST_SKIP() << "no X display";
    ASSERT_TRUE(source_->HasRandR()) << "the X server offers no RandR";
    // A server whose last client leaves resets, and a reset would put the screen
    // back whatever the adapter did: one connection stays for the whole test.
    keeper_ = XOpenDisplay(nullptr);
  }
  void TearDown() override {
    if (keeper_ != nullptr) XCloseDisplay(keeper_);
  }
  std::unique_ptr<TRandRModeSource> source_;
  Display* keeper_ = nullptr;
};

TEST_F(RandRModesX11, TheDesktopModeIsTheServersScreenAtItsStoredBitsPerPixel) {
  const TDisplayMode current = source_->CurrentMode();
  EXPECT_EQ(QSize(current.Width, current.Height), ServerScreenSize());
  // 24-bit colour is stored in 32 bits a pixel.
  EXPECT_EQ(current.BitsPerPixel, 32);
  EXPECT_TRUE(source_->TestMode(current));
  TDisplayMode anyRate = current;
  anyRate.Frequency = 0;
  EXPECT_TRUE(source_->TestMode(anyRate));
}

TEST_F(RandRModesX11, TheTableListsTheServersModesAfterTheDesktop) {
  const TDisplayMode current = source_->CurrentMode();
  TVideoModeTable table(std::move(source_));
  table.ReadVideoModes();
  ASSERT_GE(table.Count(), 2);
  EXPECT_EQ(table.Mode(0).Description, "default");
  EXPECT_EQ(table.Mode(0).Width, current.Width);
  EXPECT_EQ(table.Mode(0).Height, current.Height);
  EXPECT_EQ(table.Mode(0).ColorDepth, 32);
  const std::string desktop =
      std::to_string(current.Width) + " x " + std::to_string(current.Height) + ", 32 bpp";
  int32_t listed = 0;
  int32_t widest = 0;
  for (int32_t i = 1; i < table.Count(); ++i) {
    const TVideoMode& mode = table.Mode(i);
    EXPECT_EQ(mode.ColorDepth, 32) << mode.Description;  // an X server keeps its depth
    EXPECT_NE(mode.Width, 42);                           // the probe is never listed
    if (mode.Description == desktop) listed = i;
    widest = std::max<int32_t>(widest, mode.Width);
  }
  ASSERT_GT(listed, 0) << "the desktop's own mode is listed";
  EXPECT_EQ(table.GetIndexFromResolution(current.Width, current.Height, 32), listed);
  EXPECT_EQ(table.GetIndexFromResolution(current.Width, current.Height, 24), listed);
  // Nothing is wider than the widest mode, and no depth beyond the screen's.
  EXPECT_EQ(table.GetIndexFromResolution(widest + 1, 1, 8), 0);
  EXPECT_EQ(table.GetIndexFromResolution(1, 1, 33), 0);
}

TEST_F(RandRModesX11, AModeTheScreenLacksIsRefused) {
  const TDisplayMode current = source_->CurrentMode();
  const TDisplayMode lacking[] = {
      {42, 37, 8, 0},
      {current.Width + 1, current.Height, current.BitsPerPixel, 0},
      {current.Width, current.Height, 16, 0},
  };
  for (const TDisplayMode& mode : lacking) {
    EXPECT_FALSE(source_->TestMode(mode)) << mode.Width << " x " << mode.Height << " x " << mode.BitsPerPixel;
    EXPECT_FALSE(source_->ChangeMode(mode)) << mode.Width << " x " << mode.Height << " x " << mode.BitsPerPixel;
  }
  EXPECT_EQ(QSize(source_->CurrentMode().Width, source_->CurrentMode().Height), ServerScreenSize());
}

TEST_F(RandRModesX11, ASwitchedModeIsRestoredByRestoreDefaultModeAndWhenTheTableGoes) {
  const TDisplayMode desktop = source_->CurrentMode();
  const QSize desktopSize(desktop.Width, desktop.Height);
  auto table = std::make_unique<TVideoModeTable>(std::move(source_));
  table->ReadVideoModes();
  // Another size when the server offers one; else the desktop's own size.
  int32_t target = 0;
  for (int32_t i = 1; i < table->Count(); ++i) {
    const TVideoMode& mode = table->Mode(i);
    if (target == 0 || QSize(mode.Width, mode.Height) != desktopSize) target = i;
  }
  ASSERT_GT(target, 0);
  const QSize targetSize(table->Mode(target).Width, table->Mode(target).Height);

  ASSERT_TRUE(table->SetFullscreenMode(target, 0));
  EXPECT_EQ(table->CurrentVideoMode(), target);
  EXPECT_EQ(ServerScreenSize(), targetSize);
  table->RestoreDefaultMode();
  EXPECT_EQ(table->CurrentVideoMode(), 0);
  EXPECT_EQ(ServerScreenSize(), desktopSize);

  // At program end the table goes with a switch still in force.
  ASSERT_TRUE(table->SetFullscreenMode(target, 0));
  table.reset();
  EXPECT_EQ(ServerScreenSize(), desktopSize);
}

TEST(RandRModes, WithoutADisplayTheTableHoldsTheDefaultOnly) {
  TRandRModeSource* source = nullptr;
  auto owned = std::make_unique<TRandRModeSource>(":65000");
  source = owned.get();
  EXPECT_FALSE(source->Connected());
  EXPECT_FALSE(source->HasRandR());
  TVideoModeTable table(std::move(owned));
  EXPECT_EQ(table.GetIndexFromResolution(1, 1, 1), 0);
  EXPECT_EQ(table.Count(), 1);
  EXPECT_EQ(table.Mode(0).Description, "default");
  EXPECT_FALSE(table.SetFullscreenMode(0, 0));
  table.RestoreDefaultMode();  // nothing to restore, nothing raised
}

TEST(RandRModes, TheProgramReadsRandROnAnX11DisplayOnly) {
  if (EnsureTestApplication() == nullptr) GTEST_SKIP() << "no application";
  const bool onX11 = QGuiApplication::platformName() == QLatin1String("xcb");
  std::unique_ptr<TDisplayModeSource> source = MakeDesktopModeSource();
  EXPECT_EQ(dynamic_cast<TRandRModeSource*>(source.get()) != nullptr, onX11);
  EXPECT_EQ(dynamic_cast<TQtScreenModeSource*>(source.get()) != nullptr, !onX11);
}

}  // namespace
}  // namespace qira

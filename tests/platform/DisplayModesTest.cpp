#include "platform/DisplayModes.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/TestApplication.h"

namespace qira {
namespace {

// What the fake display saw; outlives the table that owns the source.
struct TDisplayLog {
  std::vector<TDisplayMode> tests;
  std::vector<TDisplayMode> changes;
  int enumerations = 0;
  int restores = 0;
};

// A display with a fixed list of modes; accepts every mode but the bogus
// 42 x 37 unless told otherwise.
class TFakeModeSource : public TDisplayModeSource {
 public:
  TFakeModeSource(TDisplayLog& log, TDisplayMode current, std::vector<TDisplayMode> modes)
      : log_(log), current_(current), modes_(std::move(modes)) {}

  std::function<bool(const TDisplayMode&)> Accepts = [](const TDisplayMode& m) {
    return !(m.Width == 42 && m.Height == 37);
  };
  bool RefuseChanges = false;

  TDisplayMode CurrentMode() override { return current_; }
  bool EnumMode(int32_t index, TDisplayMode& mode) override {
    ++log_.enumerations;
    if (index < 0 || static_cast<size_t>(index) >= modes_.size()) return false;
    mode = modes_[static_cast<size_t>(index)];
    return true;
  }
  bool TestMode(const TDisplayMode& mode) override {
    log_.tests.push_back(mode);
    return Accepts(mode);
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

// A table over a fake display; the fake stays reachable through Fake().
struct TTableWithFake {
  TDisplayLog log;
  TFakeModeSource* fake = nullptr;
  std::unique_ptr<TVideoModeTable> table;

  explicit TTableWithFake(std::vector<TDisplayMode> modes, TDisplayMode current = Mode(1024, 768, 32)) {
    auto source = std::make_unique<TFakeModeSource>(log, current, std::move(modes));
    fake = source.get();
    table = std::make_unique<TVideoModeTable>(std::move(source));
  }
};

// ------------------------------------------------------------- reading the table

TEST(VideoModeTable, EntryZeroIsTheDesktopThenEachAcceptedModeOnce) {
  TTableWithFake t({Mode(800, 600, 32, 60), Mode(1024, 768, 16, 70), Mode(1280, 1024, 32, 60)});
  t.fake->Accepts = [](const TDisplayMode& m) { return m.Width != 42 && m.Width != 1280 && m.Width != 320; };
  t.table->ReadVideoModes();
  t.table->ReadVideoModes();  // once only
  EXPECT_EQ(t.log.enumerations, 4);
  ASSERT_GE(t.table->Count(), 3);
  const TVideoMode& desktop = t.table->Mode(0);
  EXPECT_EQ(desktop.Description, "default");
  EXPECT_EQ(desktop.Width, 1024);
  EXPECT_EQ(desktop.Height, 768);
  EXPECT_EQ(desktop.ColorDepth, 32);
  EXPECT_EQ(t.table->Mode(1).Description, "800 x 600, 32 bpp");
  EXPECT_EQ(t.table->Mode(1).MaxFrequency, 60);
  EXPECT_EQ(t.table->Mode(2).Description, "1024 x 768, 16 bpp");
  // 1280 x 1024 failed its test; the low-resolution rows follow, without the refused 320 x 200.
  for (int32_t i = 1; i < t.table->Count(); ++i) {
    EXPECT_NE(t.table->Mode(i).Width, 1280);
    EXPECT_NE(t.table->Mode(i).Width, 320);
  }
}

TEST(VideoModeTable, TheSameModeAtSixtyAndSeventyFiveHertzIsListedOnceWithSeventyFive) {
  TTableWithFake t({Mode(800, 600, 32, 60), Mode(800, 600, 32, 75), Mode(800, 600, 32, 70)});
  t.fake->Accepts = [](const TDisplayMode& m) { return m.Width == 800; };
  t.table->ReadVideoModes();
  ASSERT_EQ(t.table->Count(), 2);
  EXPECT_EQ(t.table->Mode(1).MaxFrequency, 75);
  // A listed mode is not tested again.
  int tests800 = 0;
  for (const TDisplayMode& m : t.log.tests) tests800 += m.Width == 800 ? 1 : 0;
  EXPECT_EQ(tests800, 1);
}

TEST(VideoModeTable, LowResolutionModesAreOfferedOnlyWhenTheBogusModeIsRefused) {
  TTableWithFake refused({});
  refused.table->ReadVideoModes();
  ASSERT_EQ(refused.table->Count(), 16);
  const int32_t widths[] = {320, 400, 512};
  const int32_t depths[] = {8, 15, 16, 24, 32};
  int32_t i = 1;
  for (int32_t w : widths) {
    for (int32_t d : depths) {
      EXPECT_EQ(refused.table->Mode(i).Width, w);
      EXPECT_EQ(refused.table->Mode(i).ColorDepth, d);
      ++i;
    }
  }
  EXPECT_EQ(refused.table->Mode(1).Height, 200);
  EXPECT_EQ(refused.table->Mode(15).Description, "512 x 384, 32 bpp");

  TTableWithFake accepted({});
  accepted.fake->Accepts = [](const TDisplayMode&) { return true; };
  accepted.table->ReadVideoModes();
  EXPECT_EQ(accepted.table->Count(), 1);
}

TEST(VideoModeTable, HoldsAtMostTwoHundredModes) {
  std::vector<TDisplayMode> many;
  for (int32_t i = 0; i < 300; ++i) many.push_back(Mode(640 + i, 480, 32));
  TTableWithFake t(many);
  t.table->ReadVideoModes();
  EXPECT_EQ(t.table->Count(), kMaxVideoModes);
  EXPECT_EQ(t.log.enumerations, kMaxVideoModes - 1);
  EXPECT_FALSE(t.table->TryToAddToList(Mode(2000, 1000, 32)));
  EXPECT_EQ(t.table->Count(), kMaxVideoModes);
}

TEST(VideoModeTable, ModesBeyondTheTablesFieldsAreNotListed) {
  TTableWithFake t({Mode(70000, 600, 32), Mode(800, 600, 300), Mode(0, 600, 32), Mode(800, 600, 32, 1000)});
  t.fake->Accepts = [](const TDisplayMode& m) { return m.Width != 42 && m.Width != 320 && m.Width != 400 && m.Width != 512; };
  t.table->ReadVideoModes();
  ASSERT_EQ(t.table->Count(), 2);
  EXPECT_EQ(t.table->Mode(1).Width, 800);
  EXPECT_EQ(t.table->Mode(1).ColorDepth, 32);
  EXPECT_EQ(t.table->Mode(1).MaxFrequency, 255);  // saturated, not wrapped
}

// ------------------------------------------------------------ choosing a mode

struct TResolutionCase {
  const char* name;
  std::vector<TDisplayMode> modes;
  int32_t width, height, depth;
  int32_t expected;
};

class VideoModeChoice : public ::testing::TestWithParam<TResolutionCase> {};

TEST_P(VideoModeChoice, PicksTheSmallestModeHoldingTheRequest) {
  const TResolutionCase& c = GetParam();
  TTableWithFake t(c.modes);
  t.fake->Accepts = [](const TDisplayMode& m) { return m.Width != 42 && m.Width != 320 && m.Width != 400 && m.Width != 512; };
  EXPECT_EQ(t.table->GetIndexFromResolution(c.width, c.height, c.depth), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VideoModeChoice,
    ::testing::Values(
        TResolutionCase{"ExactSmallerMode", {Mode(800, 600, 32), Mode(1024, 768, 32)}, 800, 600, 32, 1},
        TResolutionCase{"ExactModeListedLast", {Mode(1024, 768, 32), Mode(800, 600, 32)}, 800, 600, 32, 2},
        TResolutionCase{"WiderThanTheSmallerMode", {Mode(800, 600, 32), Mode(1024, 768, 32)}, 810, 600, 32, 2},
        TResolutionCase{"DeeperThanAsked", {Mode(800, 600, 16), Mode(800, 600, 32)}, 800, 600, 24, 2},
        TResolutionCase{"NothingLargeEnough", {Mode(800, 600, 32), Mode(1024, 768, 32)}, 1280, 1024, 32, 0},
        TResolutionCase{"TooDeep", {Mode(800, 600, 24)}, 800, 600, 32, 0},
        TResolutionCase{"OnlyTheDefault", {}, 640, 480, 8, 0},
        TResolutionCase{"SmallerExcessInEveryField", {Mode(1600, 1200, 32), Mode(1024, 768, 32), Mode(1280, 1024, 32)}, 1000, 700, 32, 2}),
    [](const ::testing::TestParamInfo<TResolutionCase>& info) { return std::string(info.param.name); });

// ------------------------------------------------------------------- switching

TEST(VideoModeSwitch, ChangesToTheEntryAtARateNoHigherThanItsMaximum) {
  TTableWithFake t({Mode(800, 600, 32, 75), Mode(1024, 768, 16, 0)});
  EXPECT_TRUE(t.table->SetFullscreenMode(1, 85));
  ASSERT_EQ(t.log.changes.size(), 1u);
  EXPECT_EQ(t.log.changes[0].Width, 800);
  EXPECT_EQ(t.log.changes[0].Height, 600);
  EXPECT_EQ(t.log.changes[0].BitsPerPixel, 32);
  EXPECT_EQ(t.log.changes[0].Frequency, 75);
  EXPECT_EQ(t.table->CurrentVideoMode(), 1);
  EXPECT_TRUE(t.table->SetFullscreenMode(1, 60));
  EXPECT_EQ(t.log.changes[1].Frequency, 60);
  EXPECT_TRUE(t.table->SetFullscreenMode(2, 0));
  EXPECT_EQ(t.log.changes[2].Frequency, 0);  // the display chooses
  EXPECT_EQ(t.table->CurrentVideoMode(), 2);
}

TEST(VideoModeSwitch, ARefusedChangeOrAnIndexOutsideTheTableIsNotRemembered) {
  TTableWithFake t({Mode(800, 600, 32)});
  t.fake->RefuseChanges = true;
  EXPECT_FALSE(t.table->SetFullscreenMode(1, 0));
  EXPECT_EQ(t.table->CurrentVideoMode(), 0);
  t.fake->RefuseChanges = false;
  const size_t asked = t.log.changes.size();
  EXPECT_FALSE(t.table->SetFullscreenMode(t.table->Count(), 0));
  EXPECT_FALSE(t.table->SetFullscreenMode(-1, 0));
  EXPECT_EQ(t.log.changes.size(), asked);
  EXPECT_EQ(t.table->CurrentVideoMode(), 0);
}

TEST(VideoModeSwitch, TheTableRestoresOnDestructionOnlyWhenItHadSwitched) {
  TDisplayLog untouched;
  {
    TTableWithFake t({Mode(800, 600, 32)});
    t.table->ReadVideoModes();
    t.table.reset();
    untouched = t.log;
  }
  EXPECT_EQ(untouched.restores, 0);
  TDisplayLog switched;
  {
    TTableWithFake t({Mode(800, 600, 32)});
    ASSERT_TRUE(t.table->SetFullscreenMode(1, 0));
    t.table.reset();
    switched = t.log;
  }
  EXPECT_EQ(switched.restores, 1);
}

// ------------------------------------------------------------ the Qt screens

TEST(QtScreenModes, OnlyTheCurrentModeOfTheScreenIsListedAndAccepted) {
  EnsureTestApplication();
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) GTEST_SKIP() << "no screen";
  TQtScreenModeSource source;
  const TDisplayMode current = source.CurrentMode();
  EXPECT_EQ(current.BitsPerPixel, screen->depth());
  TDisplayMode listed;
  ASSERT_TRUE(source.EnumMode(0, listed));
  EXPECT_FALSE(source.EnumMode(1, listed));
  EXPECT_FALSE(source.ChangeMode(Mode(42, 37, 8, 0)));

  TVideoModeTable table(std::make_unique<TQtScreenModeSource>());
  EXPECT_EQ(table.GetIndexFromResolution(current.Width, current.Height, current.BitsPerPixel), 1);
  EXPECT_EQ(table.Count(), 2);
  EXPECT_EQ(table.GetIndexFromResolution(current.Width + 1, current.Height, current.BitsPerPixel), 0);
  EXPECT_TRUE(table.SetFullscreenMode(1, 0));
}

TEST(QtScreenModes, TheProcessTableCanBeGivenAnotherSource) {
  TDisplayLog log;
  SetDisplayModeSource(std::make_unique<TFakeModeSource>(log, Mode(640, 480, 8), std::vector<TDisplayMode>{}));
  EXPECT_EQ(GetIndexFromResolution(320, 200, 8), 1);
  EXPECT_TRUE(SetFullscreenMode(1, 0));
  EXPECT_EQ(VideoModes().CurrentVideoMode(), 1);
  RestoreDefaultMode();
  EXPECT_EQ(log.restores, 1);
  SetDisplayModeSource(nullptr);
  EXPECT_EQ(log.restores, 1);  // nothing left switched
  EXPECT_NE(dynamic_cast<TQtScreenModeSource*>(&VideoModes().Source()), nullptr);
}

}  // namespace
}  // namespace qira

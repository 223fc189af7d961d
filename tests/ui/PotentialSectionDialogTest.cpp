// The potential section between two boreholes against hand-computed geometry, the
// "Potential section" dialog driven without a user, and the "&Potential section"
// command that turns the band into a surface.
#include "ui/PotentialSectionDialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/GraphRecord.h"
#include "model/GraphSurface.h"
#include "model/Settings.h"
#include "support/FakeServices.h"
#include "support/HeapPeak.h"
#include "support/ScopedMemoryProbe.h"
#include "support/QtTestEnvironment.h"
#include "ui/PropertyDialogTestSupport.h"
#include "widgets/SpinEdit.h"

namespace qira {
namespace {

using dialog_testing::AnswerDialog;

// A vertical hole at (north, east) with its collar at elevation 0, from depth 0 down
// to `bottom`.
std::unique_ptr<TGraphBorehole> Vertical(const std::string& name, double north, double east, double bottom) {
  auto b = std::make_unique<TGraphBorehole>();
  b->SetName(name);
  b->Points = {{north, east, 0, 0, -1}, {north, east, -bottom, bottom, -1}};
  return b;
}

// ---- Default depth ----------------------------------------------------------------------

struct TDepthCase {
  double Apart;    // metres east of each other
  double BottomA;
  double BottomB;
  double Depth;
};

class PotentialDefaultDepth : public ::testing::TestWithParam<TDepthCase> {};

TEST_P(PotentialDefaultDepth, HalfTheDistanceOr150ForCloseDeepHoles) {
  auto a = Vertical("A", 0, 0, GetParam().BottomA);
  auto b = Vertical("B", 0, GetParam().Apart, GetParam().BottomB);
  EXPECT_DOUBLE_EQ(DefaultPotentialDepth(*a, *b), GetParam().Depth);
}

INSTANTIATE_TEST_SUITE_P(Pairs, PotentialDefaultDepth,
                         ::testing::Values(TDepthCase{200, 500, 600, 150},   // close, both deep
                                           TDepthCase{400, 500, 600, 200},   // far apart
                                           TDepthCase{200, 500, 120, 100},   // one hole too short
                                           TDepthCase{200, 150, 500, 100},   // a bottom at 150 is not below it
                                           TDepthCase{300, 500, 500, 150},   // exactly 150: half the distance
                                           TDepthCase{0, 500, 500, 150}));

// ---- The band ---------------------------------------------------------------------------

// A at the origin down to 500, B 100 m east down to 300; from depth 100 in 4 steps:
// A's lower depths 200, 300, 400, 500; B's 150, 200, 250, 300.
TEST(PotentialBand, QuadsRunFromTheDepthDownToEachBottom) {
  auto a = Vertical("A", 0, 0, 500);
  auto b = Vertical("B", 0, 100, 300);
  const std::vector<TPotentialQuad> quads = PotentialSectionQuads(*a, *b, 100, 4);
  ASSERT_EQ(quads.size(), 4u);
  EXPECT_EQ(quads[0][0], (TSurveyPoint{0, 0, -100}));
  EXPECT_EQ(quads[0][1], (TSurveyPoint{0, 100, -100}));
  EXPECT_EQ(quads[0][2], (TSurveyPoint{0, 100, -150}));
  EXPECT_EQ(quads[0][3], (TSurveyPoint{0, 0, -200}));
  EXPECT_EQ(quads[2][3], (TSurveyPoint{0, 0, -400}));
  EXPECT_EQ(quads[2][2], (TSurveyPoint{0, 100, -250}));
  EXPECT_EQ(quads[3][2], (TSurveyPoint{0, 100, -300}));
  EXPECT_EQ(quads[3][3], (TSurveyPoint{0, 0, -500}));
}

TEST(PotentialBand, TenDivisionsGiveTenQuadsWhoseNeighbouringEdgesCoincide) {
  auto a = Vertical("A", 10, 0, 437.3);
  auto b = Vertical("B", 0, 70, 311.9);
  const std::vector<TPotentialQuad> quads = PotentialSectionQuads(*a, *b, 33.3, 10);
  ASSERT_EQ(quads.size(), 10u);
  for (size_t k = 0; k + 1 < quads.size(); ++k) {
    EXPECT_EQ(quads[k][3], quads[k + 1][0]) << k;
    EXPECT_EQ(quads[k][2], quads[k + 1][1]) << k;
  }
  EXPECT_DOUBLE_EQ(quads.back()[3].Z, -437.3);
  EXPECT_DOUBLE_EQ(quads.back()[2].Z, -311.9);
}

TEST(PotentialBand, ADepthBelowABottomClimbsOnThatSide) {
  auto a = Vertical("A", 0, 0, 300);
  auto b = Vertical("B", 0, 100, 600);
  const std::vector<TPotentialQuad> quads = PotentialSectionQuads(*a, *b, 400, 2);
  ASSERT_EQ(quads.size(), 2u);
  // A: 400 (extrapolated below the bottom), 350, 300 — upwards.
  EXPECT_EQ(quads[0][0].Z, -400);
  EXPECT_EQ(quads[0][3].Z, -350);
  EXPECT_EQ(quads[1][3].Z, -300);
  // B: 400, 500, 600 — downwards.
  EXPECT_EQ(quads[0][2].Z, -500);
  EXPECT_EQ(quads[1][2].Z, -600);
}

TEST(PotentialBand, NoDivisionsGiveNoQuads) {
  auto a = Vertical("A", 0, 0, 300);
  auto b = Vertical("B", 0, 100, 300);
  EXPECT_TRUE(PotentialSectionQuads(*a, *b, 0, 0).empty());
  EXPECT_TRUE(PotentialSectionQuads(*a, *b, 0, -5).empty());
}

TEST(PotentialBand, TheSurfaceIsSkyBlueNamedByThePairWithOneQuadPerFace) {
  auto a = Vertical("A", 0, 0, 300);
  auto b = Vertical("B", 0, 100, 300);
  const std::vector<TPotentialQuad> quads = PotentialSectionQuads(*a, *b, 100, 5);
  std::unique_ptr<TGraphSurface> s = NewPotentialSurface(quads, "A", "B");
  EXPECT_EQ(s->Name(), "A - B");
  EXPECT_EQ(s->Color, MakeColor(166, 202, 240));
  EXPECT_EQ(s->FaceKind, 1);
  ASSERT_EQ(s->FaceCount, 5);
  ASSERT_EQ(s->Faces.size(), 5u);
  EXPECT_EQ(s->Faces[4], (TSurfaceFace{quads[4].begin(), quads[4].end()}));
  EXPECT_EQ(s->BoundsMin, (TSurveyPoint{0, 0, -300}));
  EXPECT_EQ(s->BoundsMax, (TSurveyPoint{0, 100, -100}));
}

// ---- The dialog -------------------------------------------------------------------------

class PotentialDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteSetting(SettingKeys::DivisionIdent, 12);
    a_ = Add(Vertical("A", 0, 0, 500));
    b_ = Add(Vertical("B", 0, 200, 600));  // 200 from A: default depth 150
    c_ = Add(Vertical("C", 0, 400, 600));  // 400 from A: 200
  }

  TGraphBorehole* Add(std::unique_ptr<TGraphBorehole> b) {
    return static_cast<TGraphBorehole*>(holes_->AddChild(std::move(b), false));
  }

  TGraphMain root_;
  TGraphMain* holes_ = root_.AddChild(std::make_unique<TGraphMain>(), false);
  TGraphBorehole* a_ = nullptr;
  TGraphBorehole* b_ = nullptr;
  TGraphBorehole* c_ = nullptr;
};

TEST_F(PotentialDialog, StartListsTheHolesAndOffersTheDefaults) {
  TPotentialSectionForm form;
  form.Start({a_, b_, c_});
  EXPECT_EQ(form.windowTitle(), "Potential section");
  ASSERT_EQ(form.ComboBox1()->count(), 3);
  EXPECT_EQ(form.ComboBox2()->itemText(2), "C");
  EXPECT_EQ(form.FirstBorehole(), a_);
  EXPECT_EQ(form.SecondBorehole(), b_);
  EXPECT_EQ(form.SpinEditEx1()->text(), "150.0");
  EXPECT_EQ(form.SpinEditEx2()->text(), "12");
}

TEST_F(PotentialDialog, ChoosingAnotherPairOffersItsDepthButTheSameHoleTwiceChangesNothing) {
  TPotentialSectionForm form;
  form.Start({a_, b_, c_});
  form.ComboBox2()->setCurrentIndex(2);
  EXPECT_EQ(form.SpinEditEx1()->text(), "200.0");
  form.SpinEditEx1()->setText("77.5");
  form.ComboBox1()->setCurrentIndex(2);
  EXPECT_EQ(form.SpinEditEx1()->text(), "77.5");
  form.ComboBox1()->setCurrentIndex(1);  // B and C: 200 apart
  EXPECT_EQ(form.SpinEditEx1()->text(), "150.0");
}

TEST_F(PotentialDialog, OkWithTheSameHoleTwiceIsRefusedAndTheDialogStaysOpen) {
  TFakeServices fake;
  TPotentialSectionForm form;
  form.Start({a_, b_});
  form.ComboBox2()->setCurrentIndex(0);
  form.BitBtn1()->click();
  EXPECT_NE(form.result(), QDialog::Accepted);
  ASSERT_EQ(fake.Texts(), (std::vector<std::string>{"You should choose different boreholes"}));
  EXPECT_EQ(fake.Messages[0].Kind, TMessageKind::Error);
}

// The shared number check is wired: text that is no number (a fraction for the
// divisions) is told and keeps the dialog open; then a decimal comma is taken.
TEST_F(PotentialDialog, NonNumbersAreToldThenADecimalCommaIsTakenAndTheDivisionsRemembered) {
  std::vector<TPotentialQuad> quads;
  std::string name1, name2;
  bool seen = false;
  TFakeServices fake;
  AnswerDialog<TPotentialSectionForm>([&fake](TPotentialSectionForm& f) {
    f.SpinEditEx1()->setText("12x");
    f.BitBtn1()->click();
    f.SpinEditEx1()->setText("100");
    f.SpinEditEx2()->setText("4.5");
    f.BitBtn1()->click();
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(fake.Texts(), (std::vector<std::string>{"Invalid value: 12x", "Invalid value: 4.5"}));
    fake.Messages.clear();
    f.ComboBox1()->setCurrentIndex(2);
    f.ComboBox2()->setCurrentIndex(0);
    f.SpinEditEx1()->setText("100,5");
    f.SpinEditEx2()->setText("5");
    f.BitBtn1()->click();
  }, &seen);
  TPotentialSectionForm form;
  ASSERT_TRUE(form.Execute(root_, quads, name1, name2));
  EXPECT_TRUE(seen);
  EXPECT_TRUE(fake.Messages.empty());
  EXPECT_EQ(name1, "C");
  EXPECT_EQ(name2, "A");
  ASSERT_EQ(quads.size(), 5u);
  EXPECT_EQ(quads[0][0], (TSurveyPoint{0, 400, -100.5}));
  EXPECT_EQ(quads[0][1], (TSurveyPoint{0, 0, -100.5}));
  EXPECT_EQ(quads[4][3], (TSurveyPoint{0, 400, -600}));
  EXPECT_EQ(quads[4][2], (TSurveyPoint{0, 0, -500}));
  EXPECT_EQ(ReadSetting(SettingKeys::DivisionIdent, 0), 5);
}

TEST_F(PotentialDialog, CancelLeavesTheOutputsAndTheSettingAlone) {
  std::vector<TPotentialQuad> quads(1);
  std::string name1 = "x", name2 = "y";
  bool seen = false;
  AnswerDialog<TPotentialSectionForm>([](TPotentialSectionForm& f) {
    f.SpinEditEx2()->setText("7");
    f.CancelButton()->click();
  }, &seen);
  TPotentialSectionForm form;
  EXPECT_FALSE(form.Execute(root_, quads, name1, name2));
  EXPECT_TRUE(seen);
  EXPECT_EQ(quads.size(), 1u);
  EXPECT_EQ(name1, "x");
  EXPECT_EQ(ReadSetting(SettingKeys::DivisionIdent, 0), 12);
}

TEST_F(PotentialDialog, FewerThanTwoHolesWithAPathShowNothing) {
  // Only A and an empty hole: no pair to offer (B and C leave the tree).
  holes_->RemoveChild(2);
  holes_->RemoveChild(1);
  Add(std::make_unique<TGraphBorehole>());
  std::vector<TPotentialQuad> quads;
  std::string name1, name2;
  bool seen = false;
  AnswerDialog<TPotentialSectionForm>([](TPotentialSectionForm& f) { f.CancelButton()->click(); }, &seen);
  TPotentialSectionForm form;
  EXPECT_FALSE(form.Execute(root_, quads, name1, name2));
  QApplication::sendPostedEvents();
  RunEventLoopFor(20);
  EXPECT_FALSE(seen);
}

TEST_F(PotentialDialog, HolesWithoutAPathAreNotListed) {
  Add(std::make_unique<TGraphBorehole>());
  bool seen = false;
  int listed = 0;
  AnswerDialog<TPotentialSectionForm>([&listed](TPotentialSectionForm& f) {
    listed = f.ComboBox1()->count();
    f.CancelButton()->click();
  }, &seen);
  std::vector<TPotentialQuad> quads;
  std::string name1, name2;
  TPotentialSectionForm form;
  EXPECT_FALSE(form.Execute(*a_, quads, name1, name2));  // any object of the tree
  EXPECT_TRUE(seen);
  EXPECT_EQ(listed, 3);
}

// ---- The command ------------------------------------------------------------------------

TEST_F(PotentialDialog, TheMenuCommandAddsTheBandAsASurfaceUnderItsObject) {
  RegisterPotentialSectionDialog();
  TGraphMain* target = root_.AddChild(std::make_unique<TGraphMain>(), false);
  target->SetName("Potential sections");
  TObjectMenu menu;
  target->FillMenu(menu);
  TObjectMenuItem* create = FindMenuItem(menu, "&Create");
  ASSERT_NE(create, nullptr);
  TObjectMenuItem* item = FindMenuItem(create->Items, "&Potential section");
  ASSERT_NE(item, nullptr);
  ASSERT_TRUE(item->Enabled);

  bool seen = false;
  AnswerDialog<TPotentialSectionForm>([](TPotentialSectionForm& f) {
    f.SpinEditEx2()->setText("10");
    f.BitBtn1()->click();
  }, &seen);
  IgnoreNextMouseMove = false;
  item->OnClick();
  EXPECT_TRUE(seen);
  ASSERT_EQ(target->ChildCount(), 1);
  auto* surface = dynamic_cast<TGraphSurface*>(target->GetChild(0));
  ASSERT_NE(surface, nullptr);
  EXPECT_EQ(surface->Name(), "A - B");
  EXPECT_EQ(surface->Color, MakeColor(166, 202, 240));
  EXPECT_EQ(surface->FaceCount, 10);
  // From the offered depth 150 down to A's 500 and B's 600.
  EXPECT_EQ(surface->Faces[0][0], (TSurveyPoint{0, 0, -150}));
  EXPECT_EQ(surface->Faces[9][2], (TSurveyPoint{0, 200, -600}));
  EXPECT_EQ(surface->Faces[9][3], (TSurveyPoint{0, 0, -500}));
  EXPECT_TRUE(target->Expanded);
  EXPECT_FALSE(IgnoreNextMouseMove);
  RegisterCreateCommand(TCreateCommand::PotentialSection, nullptr);
}

// The divisions are counted before the band is made, as an open counts what it adds:
// the count covers what making the band and its surface takes, a memory below it
// refuses with the need told and the dialog open for fewer divisions.
TEST_F(PotentialDialog, TheDivisionsAreCountedBeforeTheBandIsMade) {
  constexpr int64_t kMB = int64_t{1} << 20;
  {
    // 1,000,000 divisions, the field's most, with 50 MB left.
    TScopedMemoryProbe probe([] { return 50 * kMB; });
    TFakeServices fake;
    TPotentialSectionForm form;
    form.Start({a_, b_});
    form.SpinEditEx2()->setText("1000000");
    form.BitBtn1()->click();
    EXPECT_NE(form.result(), QDialog::Accepted);
    ASSERT_EQ(fake.Texts().size(), 1u);
    EXPECT_NE(fake.Texts()[0].find("The potential section of 1000000 divisions is too large to be made: it needs"),
              std::string::npos)
        << fake.Texts()[0];
  }
#if defined(QIRA_HEAP_HOOKS)
  constexpr int kDivisions = 20000;
  test::THeapPeak::Start();
  {
    const std::vector<TPotentialQuad> quads = PotentialSectionQuads(*a_, *b_, 0, kDivisions);
    const std::unique_ptr<TGraphSurface> surface = NewPotentialSurface(quads, "A", "B");
  }
  const int64_t peak = test::THeapPeak::Stop();
  TFakeServices fake;
  {
    TScopedMemoryProbe probe([peak] { return peak; });
    EXPECT_FALSE(PotentialSectionFits(kDivisions));
  }
  // What is counted and not made here: the surface's drawing and the first frame.
  TScopedMemoryProbe probe([peak] { return 8 * peak; });
  EXPECT_TRUE(PotentialSectionFits(kDivisions));
#endif
}

}  // namespace
}  // namespace qira

// The base transparency dialog behind the Edit of plain groups, driven without a
// user through the model's editor hook: OK applies the track bar to the group and
// its subtree, or to the whole tree with "Accept for all"; Cancel changes nothing.
#include "ui/GraphMainDialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QSlider>

#include <memory>
#include <string>

#include "model/GraphMain.h"
#include "model/SectionGroup.h"
#include "ui/PropertyDialogTestSupport.h"

namespace qira {
namespace {

using namespace dialog_testing;

// root > {group > {inner > {leaf}}, sibling}, all plain groups without a scene.
class GraphMainDialog : public ::testing::Test {
 protected:
  void SetUp() override { RegisterGraphMainDialog(); }
  void TearDown() override { SetTransparencyDialog(nullptr); }

  static TGraphMain& Add(TGraphMain& parent, const std::string& name) {
    TGraphMain* child = parent.AddChild(std::make_unique<TGraphMain>(), false);
    child->SetName(name);
    return *child;
  }

  TGraphMain root_;
  TGraphMain& group_ = Add(root_, "Boreholes");
  TGraphMain& inner_ = Add(group_, "inner");
  TGraphMain& leaf_ = Add(inner_, "leaf");
  TGraphMain& sibling_ = Add(root_, "Sections");
};

TEST_F(GraphMainDialog, ShowsTheGroupsPairAndOkAppliesTheOpacityToItsWholeSubtree) {
  group_.Transparency = 200;
  QString caption, frame;
  int shown = -1;
  bool seen = false;
  AnswerDialog<TGraphMainForm>([&](TGraphMainForm& d) {
    caption = d.windowTitle();
    frame = qobject_cast<QGroupBox*>(d.TrackBar1->parentWidget())->title();
    shown = d.TrackBar1->value();
    d.TrackBar1->setValue(90);
    d.OkButton->click();
  }, &seen);
  ASSERT_TRUE(group_.Edit());
  EXPECT_TRUE(seen);
  EXPECT_EQ(caption, "Boreholes");
  EXPECT_EQ(frame, " Transparency ");
  EXPECT_EQ(shown, 200);
  EXPECT_EQ(group_.Transparency, 90);
  EXPECT_EQ(inner_.Transparency, 90);
  EXPECT_EQ(leaf_.Transparency, 90);
  EXPECT_EQ(sibling_.Transparency, 255);
  EXPECT_EQ(root_.Transparency, 255);
  EXPECT_FALSE(group_.AcceptForAll);
}

TEST_F(GraphMainDialog, AcceptForAllAppliesTheOpacityFromTheRootAndIsRemembered) {
  AnswerDialog<TGraphMainForm>([](TGraphMainForm& d) {
    d.TrackBar1->setValue(40);
    d.CheckBox1->setChecked(true);
    d.OkButton->click();
  });
  ASSERT_TRUE(leaf_.Edit());
  for (TGraphMain* object : {&root_, &group_, &inner_, &leaf_, &sibling_}) EXPECT_EQ(object->Transparency, 40);
  EXPECT_TRUE(leaf_.AcceptForAll);
  EXPECT_FALSE(group_.AcceptForAll);
}

TEST_F(GraphMainDialog, CancelChangesNothing) {
  AnswerDialog<TGraphMainForm>([](TGraphMainForm& d) {
    d.TrackBar1->setValue(3);
    d.CheckBox1->setChecked(true);
    d.CancelButton->click();
  });
  EXPECT_FALSE(root_.Edit());
  EXPECT_EQ(root_.Transparency, 255);
  EXPECT_EQ(leaf_.Transparency, 255);
  EXPECT_FALSE(root_.AcceptForAll);
}

TEST_F(GraphMainDialog, ASectionGroupWithoutSectionsSetsItsOpacity) {
  auto* sections = static_cast<TGraphSectionGroup*>(
      sibling_.AddChild(std::make_unique<TGraphSectionGroup>(), false));
  AnswerDialog<TGraphMainForm>([](TGraphMainForm& d) {
    d.TrackBar1->setValue(128);
    d.OkButton->click();
  });
  ASSERT_TRUE(sections->Edit());
  EXPECT_EQ(sections->Transparency, 128);
  EXPECT_EQ(sibling_.Transparency, 255);
}

}  // namespace
}  // namespace qira

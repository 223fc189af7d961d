// What OK of a property dialog rebuilds in the view's scene (without rendering),
// and the view window's "Set center" through the coordinate dialog. Only controls
// other than the spin edits are touched here: the spin edit's header cannot share
// a unit with the engine's persistence header.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "model/GraphMain.h"
#include "scene/objects/BasicSolids.h"
#include "scene/graph/CameraLight.h"
#include "scene/components/Colors.h"
#include "scene/objects/DummyPlaneSprite.h"
#include "scene/materials/Materials.h"
#include "scene/objects/PointsLines.h"
#include "scene/graph/Scene.h"
#include "scene/objects/BitmapFonts.h"
#include "scene/objects/Mesh.h"
#include "scene/objects/Pipe.h"
#include "support/FakeServices.h"
#include "ui/PropertyDialogTestSupport.h"
#include "ui/PropertyDialogs.h"
#include "ui/ViewTestSupport.h"

namespace qira {
namespace {

using namespace dialog_testing;

// A view's scene without rendering, a root with its context, and the dialogs
// installed as the objects' editors.
class PropertyDialogRebuild : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterMaterialClasses();
    RegisterPropertyDialogs();
    scene_ = std::make_unique<TGL3DScene>();
    context_.AxisCube = &scene_->Objects().AddNewChild<TGLDummyCube>();
    context_.ModelCube = &context_.AxisCube->AddNewChild<TGLDummyCube>();
    root_ = std::make_unique<TGraphMain>();
    root_->SetContext(&context_);
  }
  // The objects free their nodes before the scene goes.
  void TearDown() override { root_.reset(); }

  template <class T>
  T& Add(const std::string& name) {
    auto* object = static_cast<T*>(root_->AddChild(std::make_unique<T>(), false));
    object->SetName(name);
    return *object;
  }

  std::unique_ptr<TGL3DScene> scene_;
  TSceneContext context_;
  std::unique_ptr<TGraphMain> root_;
  TFakeServices services_;
};

TEST_F(PropertyDialogRebuild, AColourAcceptedForAllRecoloursTheOtherSurfacesMesh) {
  TGraphSurface& first = Add<TGraphSurface>("first");
  TGraphSurface& second = Add<TGraphSurface>("second");
  for (TGraphSurface* s : {&first, &second}) {
    s->AddFace({{0, 0, 0}, {10, 0, 0}, {0, 10, 0}});
    s->Build(false);
  }
  AnswerDialog<TGraphSurfaceForm>([](TGraphSurfaceForm& d) {
    Pick(*d.ColorBox1, kRed);
    d.CheckBox2->setChecked(true);
    d.OkButton->click();
  });
  ASSERT_TRUE(first.Edit());
  EXPECT_EQ(ConvertColorVector(first.FrontMesh->DrawnVertex(0).color), kRed);
  EXPECT_EQ(ConvertColorVector(second.FrontMesh->DrawnVertex(0).color), kRed);
}

TEST_F(PropertyDialogRebuild, AStyleAcceptedForAllReachesTheOtherPointsNode) {
  TGraphPoints& first = Add<TGraphPoints>("first");
  TGraphPoints& second = Add<TGraphPoints>("second");
  first.AddPoint({1, 2, 3});
  second.AddPoint({4, 5, 6});
  first.Build(false);
  second.Build(false);
  ASSERT_EQ(second.GLPoints->Style(), TGLPointStyle::psSmooth);
  AnswerDialog<TGraphPointsForm>([](TGraphPointsForm& d) {
    d.RadioButton2->setChecked(true);  // "Square", accepted for all by default
    d.OkButton->click();
  });
  ASSERT_TRUE(first.Edit());
  EXPECT_FALSE(second.Round);
  EXPECT_EQ(second.GLPoints->Style(), TGLPointStyle::psSquare);
}

TEST_F(PropertyDialogRebuild, HidingTheAxisLabelsHidesTheirTextNodes) {
  TGraphAxis& axis = Add<TGraphAxis>("Axis");
  axis.Build(false);
  ASSERT_TRUE(axis.LabelN);
  AnswerDialog<TGraphAxisForm>([](TGraphAxisForm& d) {
    d.CheckBox2->click();
    d.OkButton->click();
  });
  ASSERT_TRUE(axis.Edit());
  EXPECT_FALSE(axis.ShowLabels);
  EXPECT_FALSE(axis.LabelN->Visible());
  EXPECT_TRUE(axis.ArrowN->Visible());
}

TEST_F(PropertyDialogRebuild, SpheresGetANodePerCentreEditedInTheList) {
  TGraphSpheres& spheres = Add<TGraphSpheres>("Spheres");
  TGraphSpheres::DefaultParams(spheres.Params);
  spheres.Build(false);
  ASSERT_EQ(spheres.Spheres.size(), 1u);
  AnswerDialog<TGraphSpheresForm>([](TGraphSpheresForm& d) {
    d.EditPoints = [](QWidget*, std::vector<TSurveyPoint>& points) {
      points.push_back({10, 20, 30});
      points.push_back({-10, 0, 5});
      return true;
    };
    d.BitBtn3->click();
    d.OkButton->click();
  });
  ASSERT_TRUE(spheres.Edit());
  ASSERT_EQ(spheres.Spheres.size(), 3u);
  EXPECT_EQ(spheres.Spheres[2]->Radius(), 5.0f);
}

TEST_F(PropertyDialogRebuild, ThePolylinePipeFollowsThePointsAndTheEndSpheresTheirBox) {
  TGraphLine& line = Add<TGraphLine>("Lines");
  TGraphLine::DefaultParams(line.Params);
  line.Build(false);
  ASSERT_TRUE(line.EndSpheres[0]);
  AnswerDialog<TGraphLineForm>([](TGraphLineForm& d) {
    d.EditPoints = [](QWidget*, std::vector<TSurveyPoint>& points) {
      points.pop_back();
      return true;
    };
    d.BitBtn3->click();
    d.CheckBox2->setChecked(false);
    d.OkButton->click();
  });
  ASSERT_TRUE(line.Edit());
  EXPECT_EQ(line.Pipe->Nodes().Count(), 3);
  EXPECT_FALSE(line.EndSpheres[0]);
}

// ---- "Set center" -------------------------------------------------------------------

class SetCenter : public view_testing::TViewWindowTest {};

TEST_F(SetCenter, TheCoordinateDialogMovesTheModelCentre) {
  auto form = NewDocument();
  form->SetModelCenter(10, 20, 30);
  RegisterPropertyDialogs();
  bool seen = false;
  std::vector<std::string> shown;
  AnswerDialog<TCoordDlgForm>([&](TCoordDlgForm& d) {
    shown = {d.Edit1->text().toStdString(), d.Edit2->text().toStdString(), d.Edit3->text().toStdString()};
    d.Edit1->setText("1000");
    d.Edit2->setText("2000,5");
    d.Edit3->setText("-50");
    d.BitBtn1->click();
  }, &seen);
  form->Center1Click();
  EXPECT_TRUE(seen);
  EXPECT_EQ(shown, (std::vector<std::string>{"10.00", "20.00", "30.00"}));
  EXPECT_EQ(form->Context().ModelOffset, (std::array<double, 3>{1000, -50, 2000.5}));
}

}  // namespace
}  // namespace qira

#include "ui/ViewWindow.h"

#include <gtest/gtest.h>

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QSplitter>

#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "chart/draw/ChartPicture.h"
#include "model/GeologyList.h"
#include "model/GraphAxis.h"
#include "model/Settings.h"
#include "platform/CanvasFont.h"
#include "scene/components/Components.h"
#include "scene/graph/CameraLight.h"
#include "scene/objects/DummyPlaneSprite.h"
#include "scene/gl/EglRenderingContext.h"
#include "scene/graph/Scene.h"
#include "scene/viewers/SceneViewer.h"
#include "scene/viewers/FullScreenViewer.h"
#include "scene/objects/WindowsBitmapFont.h"
#include "support/FakeServices.h"
#include "ui/ProjectFile.h"
#include "ui/ProjectTestSupport.h"
#include "ui/ViewTestSupport.h"

namespace qira {
namespace {

using view_testing::ActionOf;
using view_testing::Captions;
using view_testing::TopNode;
using view_testing::TViewWindowTest;

// An object of some kind with bounds, visible or not.
std::unique_ptr<TGraphMain> ObjectWithBounds(const std::string& name, TSurveyPoint min, TSurveyPoint max,
                                             int32_t typeId = GraphTypeId::Group) {
  auto object = std::make_unique<TGraphMain>();
  object->SetName(name);
  object->TypeId = typeId;
  object->ExtendBounds(min);
  object->ExtendBounds(max);
  return object;
}

std::array<float, 3> Pos(const TGLBaseSceneObject& node) {
  return {node.Position().X(), node.Position().Y(), node.Position().Z()};
}

// ---------------------------------------------------------------- new document

using ViewWindow = TViewWindowTest;

TEST_F(ViewWindow, NewDocumentShowsFourGroupsWithOneAxisInObjects) {
  auto form = NewDocument();
  ASSERT_EQ(form->TreeView->topLevelItemCount(), 4);
  std::vector<std::string> texts;
  for (int i = 0; i < 4; ++i) texts.push_back(TFormattedTreeView::NodeText(form->TreeView->topLevelItem(i)));
  EXPECT_EQ(texts, (std::vector<std::string>{"Boreholes", "Sections", "Potential sections", "Objects"}));
  QTreeWidgetItem* objects = TopNode(*form, "Objects");
  ASSERT_EQ(objects->childCount(), 1);
  TGraphMain* axis = form->TreeAdapter().NodeData(form->TreeAdapter().IdOf(objects->child(0)));
  ASSERT_NE(axis, nullptr);
  EXPECT_EQ(axis->TypeId, GraphTypeId::Axis);
  EXPECT_EQ(form->Root().TreeItemId(), 0u);  // the root has no node
  EXPECT_EQ(form->Root().ChildCount(), 4);
  // Built: the cross's nodes hang under AxisCube.
  EXPECT_GT(form->AxisCube->ChildCount(), 1);
  EXPECT_EQ(form->CaptionText(), "Document");
  EXPECT_EQ(form->CaptionText(), "Document");
}

TEST_F(ViewWindow, ConstructionAddsNoObjectAndSetsUpTheSceneNodes) {
  TForm3D form;
  EXPECT_EQ(form.Root().ChildCount(), 0);
  EXPECT_EQ(form.TreeView->topLevelItemCount(), 0);
  EXPECT_EQ(Pos(*form.Camera), (std::array<float, 3>{0, 0, 20000}));
  EXPECT_EQ(Pos(*form.LightSource), (std::array<float, 3>{2000, 2000, 2000}));
  EXPECT_EQ(form.Camera->Parent(), form.CenterCube);
  EXPECT_EQ(form.LightSource->Parent(), form.Camera);
  EXPECT_EQ(form.AxisCube->Parent(), form.CenterCube);
  EXPECT_EQ(form.ModelCube->Parent(), form.AxisCube);
  EXPECT_FLOAT_EQ(form.Camera->DepthOfView(), 1000000.0f);
  EXPECT_FLOAT_EQ(form.Camera->FocalLength(), 500.0f);
  EXPECT_EQ(form.Context().ModelCube, form.ModelCube);
  EXPECT_EQ(form.Context().BitmapFont, form.BitmapFont.get());
  EXPECT_EQ(form.Root().Context, &form.Context());
  EXPECT_EQ(form.GL3DSceneViewer1->Camera(), form.Camera);
  EXPECT_EQ(form.GL3DSceneViewer1->Buffer().BackgroundColor(), clBlack);
}

// --------------------------------------------------------------------- font

TEST_F(ViewWindow, FontThatDoesNotFitFallsBackToTheLargestHeightThatFits) {
  // Far too large for any glyph texture: the font shrinks until it fits.
  std::unique_ptr<TGLWindowsBitmapFont> font = CreateFittingBitmapFont(PinnedFontFace(), -200);
  const int32_t height = font->Font().Height;
  EXPECT_GT(height, -200);
  EXPECT_LE(height, kSmallestViewFontHeight);
  EXPECT_EQ(font->Font().Color, clWhite);
  EXPECT_NO_THROW(font->LoadWindowsFont());
  // Two pixels larger no longer fits.
  TFont larger = font->Font();
  larger.Height = height - 2;
  font->SetFont(larger);
  EXPECT_THROW(font->LoadWindowsFont(), EFontTextureTooSmall);
}

TEST_F(ViewWindow, NewDocumentOpensWhateverTheViewFontMapsTo) {
  auto form = NewDocument();
  const int32_t height = form->BitmapFont->Font().Height;
  EXPECT_EQ(form->BitmapFont->Font().Name, "Arial");
  EXPECT_LE(height, kSmallestViewFontHeight);
  EXPECT_GE(height, kViewFontHeight);
  if (height != kViewFontHeight) {
    // Only because the view's own size did not fit here.
    auto probe = std::make_unique<TGLWindowsBitmapFont>();
    TFont f = form->BitmapFont->Font();
    f.Height = kViewFontHeight;
    probe->SetFont(f);
    EXPECT_THROW(probe->LoadWindowsFont(), EFontTextureTooSmall);
  }
}

// ------------------------------------------------------------- scene context

struct TCenterCase {
  std::array<double, 3> PriorShift;  // scene order, before the centre is set
};

class ViewWindowModelCenter : public TViewWindowTest, public ::testing::WithParamInterface<TCenterCase> {};

TEST_P(ViewWindowModelCenter, PutsThePointWhereModelCubeStoodBeforeAnyShift) {
  TForm3D form;
  const auto& shift = GetParam().PriorShift;
  form.ShiftModel(shift[0], shift[1], shift[2]);
  form.SetModelCenter(1000, 2000, 50);
  EXPECT_EQ(form.Context().ModelOffset, (std::array<double, 3>{1000, 50, 2000}));
  // In AxisCube's frame (ModelCube's position plus the local point) the point is at 0.
  const TAffineVector local = form.ToScene(1000, 2000, 50);
  EXPECT_NEAR(local.x + form.ModelCube->Position().X(), 0.0f, 1e-3f);
  EXPECT_NEAR(local.y + form.ModelCube->Position().Y(), 0.0f, 1e-3f);
  EXPECT_NEAR(local.z + form.ModelCube->Position().Z(), 0.0f, 1e-3f);
  // The context converts as the window does.
  const TAffineVector viaContext = form.Context().ToScene(1000, 2000, 50);
  EXPECT_EQ(viaContext.x, local.x);
  EXPECT_EQ(viaContext.y, local.y);
  EXPECT_EQ(viaContext.z, local.z);
}

INSTANTIATE_TEST_SUITE_P(StartingPositions, ViewWindowModelCenter,
                         ::testing::Values(TCenterCase{{0, 0, 0}}, TCenterCase{{10, -20, 30}},
                                           TCenterCase{{-500, 250, 125}}));

// Centres entered one after another: the offset is what was entered last, and the
// model stands where that offset puts it, however far an earlier one went; a centre
// a float cannot place is refused with a message and changes nothing.
TEST_F(ViewWindow, ASetCenterKeepsWhatWasEnteredOrRefuses) {
  const double inf = std::numeric_limits<double>::infinity();
  struct TRow {
    const char* Name;
    std::vector<std::array<double, 3>> Centres;  // survey order
    std::array<double, 3> Offset;                // scene order, after the last one
    size_t Refusals;
  } rows[] = {
      {"far, then back", {{1e20, 200, 30}, {1015, 200, 30}}, {1015, 30, 200}, 0},
      {"past a float", {{1015, 200, 30}, {1e40, 200, 30}}, {1015, 30, 200}, 1},
      {"not a number", {{1015, 200, 30}, {inf, 200, 30}, {1015, std::nan(""), 30}}, {1015, 30, 200}, 2},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    services_.Messages.clear();
    TForm3D form;
    for (const auto& c : row.Centres) form.SetModelCenter(c[0], c[1], c[2]);
    EXPECT_EQ(form.Context().ModelOffset, row.Offset);
    EXPECT_EQ(services_.Messages.size(), row.Refusals);
    // The offset's own point is where ModelCube's origin stood at the start.
    const TAffineVector local = form.ToScene(row.Offset[0], row.Offset[2], row.Offset[1]);
    EXPECT_EQ(local.x + form.ModelCube->Position().X(), 0.0f);
    EXPECT_EQ(local.y + form.ModelCube->Position().Y(), 0.0f);
    EXPECT_EQ(local.z + form.ModelCube->Position().Z(), 0.0f);
  }
}

TEST_F(ViewWindow, ObjectsBuiltBeforeAShiftLineUpWithObjectsBuiltAfter) {
  TForm3D form;
  const TAffineVector before = form.ToScene(120, 340, 56);
  form.ShiftModel(100, 200, 300);
  EXPECT_EQ(Pos(*form.ModelCube), (std::array<float, 3>{-100, -200, -300}));
  // Local coordinates do not change, so old and new nodes stay together.
  const TAffineVector after = form.ToScene(120, 340, 56);
  EXPECT_FLOAT_EQ(after.x, before.x);
  EXPECT_FLOAT_EQ(after.y, before.y);
  EXPECT_FLOAT_EQ(after.z, before.z);
  // Survey (X, Y, Z) goes to scene (X, Z, Y) less offset and cube.
  EXPECT_FLOAT_EQ(after.x, 120 - 100 + 100);
  EXPECT_FLOAT_EQ(after.y, 56 - 200 + 200);
  EXPECT_FLOAT_EQ(after.z, 340 - 300 + 300);
}

TEST_F(ViewWindow, AutoCenterCentresTheVisibleBoundsAndTheCamera) {
  TForm3D form;
  form.Root().AddChild(ObjectWithBounds("a", {0, 0, 0}, {100, 200, 10}), true);
  auto hidden = ObjectWithBounds("b", {5000, 5000, 5000}, {6000, 6000, 6000});
  hidden->SetVisible(false);
  form.Root().AddChild(std::move(hidden), true);
  form.Camera->Position().SetPoint(30, 40, 500);
  form.AutoCenter();
  EXPECT_EQ(Pos(*form.Camera), (std::array<float, 3>{0, 0, 500}));
  EXPECT_EQ(form.Context().ModelOffset, (std::array<double, 3>{50, 5, 100}));
}

TEST_F(ViewWindow, AutoCenterWithoutBoundsOnlyCentresTheCamera) {
  TForm3D form;
  form.Camera->Position().SetPoint(30, 40, 500);
  form.AutoCenter1Click();
  EXPECT_EQ(Pos(*form.Camera), (std::array<float, 3>{0, 0, 500}));
  EXPECT_EQ(form.Context().ModelOffset, (std::array<double, 3>{0, 0, 0}));
}

// ---------------------------------------------------------------- commands

TEST_F(ViewWindow, MenusCarryTheirCaptionsAndGroupIndex) {
  TForm3D form;
  EXPECT_EQ(form.SceneMenu->title().toStdString(), "Scene");
  EXPECT_EQ(form.ObjectsMenu->title().toStdString(), "Objects");
  EXPECT_EQ(form.SceneMenu->property("GroupIndex").toInt(), 1);
  EXPECT_EQ(form.ObjectsMenu->property("GroupIndex").toInt(), 1);
  EXPECT_EQ(Captions(*form.SceneMenu),
            (std::vector<std::string>{"Set center", "Auto center", "Distance calculation", "ReDraw",
                                      "Save picture", "Copy to clipboard", "Horizontal plan"}));
  EXPECT_EQ(Captions(*form.PopupMenu), (std::vector<std::string>{"Full screen", "Background color", "Exit"}));
}

TEST_F(ViewWindow, SetCenterStartsAtTheOffsetInSurveyOrderAndAppliesTheAnswer) {
  TForm3D form;
  form.SetModelCenter(10, 20, 30);
  TSurveyPoint shown;
  ViewWindowHooks().CenterDialog = [&](QWidget*, TSurveyPoint& center) {
    shown = center;
    center = {1000, 2000, 50};
    return true;
  };
  ActionOf(*form.SceneMenu, "Set center")->trigger();
  EXPECT_EQ(shown, (TSurveyPoint{10, 20, 30}));
  EXPECT_EQ(form.Context().ModelOffset, (std::array<double, 3>{1000, 50, 2000}));

  ViewWindowHooks().CenterDialog = [&](QWidget*, TSurveyPoint& center) {
    center = {1, 2, 3};
    return false;
  };
  form.Center1Click();
  EXPECT_EQ(form.Context().ModelOffset, (std::array<double, 3>{1000, 50, 2000}));
  ViewWindowHooks().CenterDialog = nullptr;
  EXPECT_NO_THROW(form.Center1Click());
}

TEST_F(ViewWindow, DistanceCalculationNeedsTwoBoreholes) {
  TFakeServices fake;
  TForm3D form;
  std::vector<size_t> calls;
  ViewWindowHooks().DistanceDialog = [&](QWidget*, const std::vector<TGraphMain*>& boreholes) {
    calls.push_back(boreholes.size());
  };
  auto* group = form.Root().AddChild(std::make_unique<TGraphMain>(), false);
  group->AddChild(ObjectWithBounds("BH1", {0, 0, 0}, {1, 1, 1}, GraphTypeId::Borehole), true);
  ActionOf(*form.SceneMenu, "Distance calculation")->trigger();
  EXPECT_TRUE(calls.empty());
  ASSERT_EQ(fake.Messages.size(), 1u);
  EXPECT_EQ(fake.Messages[0].Text, "Distances are measured between two boreholes; the scene has 1.");
  auto hidden = ObjectWithBounds("BH2", {0, 0, 0}, {1, 1, 1}, GraphTypeId::Borehole);
  hidden->SetVisible(false);  // visibility plays no part
  group->AddChild(std::move(hidden), true);
  form.DistanceCalculationClick();
  EXPECT_EQ(calls, (std::vector<size_t>{2}));
}

TEST_F(ViewWindow, BackgroundColorGoesToBothViewersAndCancelKeepsIt) {
  TForm3D form;
  TColor offered = 1;
  form.ChooseBackgroundColor = [&](QWidget*, TColor& color) {
    offered = color;
    color = MakeColor(10, 20, 30);
    return true;
  };
  ActionOf(*form.PopupMenu, "Background color")->trigger();
  EXPECT_EQ(offered, clBlack);
  EXPECT_EQ(form.GL3DSceneViewer1->Buffer().BackgroundColor(), MakeColor(10, 20, 30));
  EXPECT_EQ(form.GLFullScreenViewer1->Buffer().BackgroundColor(), MakeColor(10, 20, 30));
  form.ChooseBackgroundColor = [&](QWidget*, TColor& color) {
    color = MakeColor(1, 2, 3);
    return false;
  };
  form.BackgroundColorClick();
  EXPECT_EQ(form.GL3DSceneViewer1->Buffer().BackgroundColor(), MakeColor(10, 20, 30));
}

TEST_F(ViewWindow, ExitClosesTheMainFrame) {
  TForm3D form;
  ActionOf(*form.PopupMenu, "Exit")->trigger();
  EXPECT_EQ(frameCloses_, 1);
}

TEST_F(ViewWindow, PictureCommandsWithoutTheirHooksDoNothing) {
  TForm3D form;
  EXPECT_NO_THROW(ActionOf(*form.SceneMenu, "Save picture")->trigger());
  int saved = 0;
  ViewWindowHooks().SavePicture = [&](TForm3D& f) { saved += &f == &form; };
  ActionOf(*form.SceneMenu, "Save picture")->trigger();
  EXPECT_EQ(saved, 1);
}

TEST_F(ViewWindow, CommandErrorsAreShownNotThrown) {
  TForm3D form;
  ViewWindowHooks().CopyPictureToClipboard = [](TForm3D&) { throw std::runtime_error("no clipboard"); };
  EXPECT_NO_THROW(ActionOf(*form.SceneMenu, "Copy to clipboard")->trigger());
  EXPECT_EQ(services_.Texts(), (std::vector<std::string>{"no clipboard"}));
}

TEST_F(ViewWindow, CaptionIsTheFileNameWithoutFolder) {
  TForm3D form;
  form.SetFileName("/data/survey/site 1.q3d");
  EXPECT_EQ(form.CaptionText(), "site 1.q3d");
  EXPECT_EQ(form.windowTitle().toStdString(), "site 1.q3d[*]");  // "[*]": where Qt marks a modified document
}

// ---------------------------------------------------------------- placement

TEST_F(ViewWindow, ClosedWhileMaximisedWritesMaximizedAndKeepsTheStoredSize) {
  WriteSetting(SettingKeys::FormWidth, 500);
  WriteSetting(SettingKeys::FormHeight, 400);
  WriteSetting(SettingKeys::FormLeft, 11);
  WriteSetting(SettingKeys::FormTop, 12);
  {
    QMdiArea area;
    area.resize(900, 700);
    auto* form = new TForm3D(&area);
    QWidget* frame = form->FrameWidget();
    EXPECT_NE(frame, form);
    EXPECT_EQ(frame->geometry(), QRect(11, 12, 500, 400));
    area.show();
    frame->showMaximized();
    EXPECT_TRUE(frame->isMaximized());
    delete frame;  // closing the sub-window frees the form
  }
  EXPECT_TRUE(ReadSetting(SettingKeys::Maximized, false));
  EXPECT_EQ(ReadSetting(SettingKeys::FormWidth, 0), 500);
  EXPECT_EQ(ReadSetting(SettingKeys::FormHeight, 0), 400);
  EXPECT_EQ(ReadSetting(SettingKeys::FormLeft, 0), 11);
  EXPECT_EQ(ReadSetting(SettingKeys::FormTop, 0), 12);
}

TEST_F(ViewWindow, ClosedNormallyWritesItsPlacementAndTheNextWindowTakesIt) {
  WriteSetting(SettingKeys::PanelWidth, 180);
  {
    QMdiArea area;
    area.resize(900, 700);
    auto* form = new TForm3D(&area);
    EXPECT_EQ(form->PanelWidth(), 180);
    area.show();
    form->FrameWidget()->setGeometry(20, 30, 640, 480);
    form->FrameWidget()->show();
    delete form->FrameWidget();
  }
  EXPECT_FALSE(ReadSetting(SettingKeys::Maximized, true));
  EXPECT_EQ(ReadSetting(SettingKeys::FormWidth, 0), 640);
  EXPECT_EQ(ReadSetting(SettingKeys::FormHeight, 0), 480);
  EXPECT_EQ(ReadSetting(SettingKeys::FormLeft, 0), 20);
  EXPECT_EQ(ReadSetting(SettingKeys::FormTop, 0), 30);
  EXPECT_GT(ReadSetting(SettingKeys::PanelWidth, 0), 0);

  QMdiArea area;
  auto* next = new TForm3D(&area);
  EXPECT_EQ(next->FrameWidget()->geometry(), QRect(20, 30, 640, 480));
  WriteSetting(SettingKeys::Maximized, true);
  auto* maximised = new TForm3D(&area);
  EXPECT_TRUE(maximised->FrameWidget()->windowState() & Qt::WindowMaximized);
}

// A settings file that holds a damaged placement of the view window.
struct TStoredPlacementCase {
  const char* Name;
  const char* Form3D;  // the lines of the settings' [Form3D] section
};

class ViewWindowStoredPlacement : public TViewWindowTest,
                                  public ::testing::WithParamInterface<TStoredPlacementCase> {};

TEST_P(ViewWindowStoredPlacement, IsBoundedToTheScreenAndTheExampleStillOpens) {
  scratch_.Put("damaged.ini", std::string("[Form3D]\n") + GetParam().Form3D);
  LoadSettings(scratch_.File("damaged.ini"), scratch_.Path());
  TScratchFolder example;
  ASSERT_TRUE(project_testing::MakeExample(example.Path()));
  QMdiArea area;
  area.resize(900, 700);
  TForm3D* form = CreateFromFile(&area, example.File("Example.q3d"));
  EXPECT_EQ(services_.Texts(), std::vector<std::string>{});
  ASSERT_NE(form, nullptr);
  const QRect screen(QPoint(0, 0), area.screen()->availableGeometry().size());
  const QRect place = form->FrameWidget()->geometry();
  EXPECT_TRUE(screen.contains(place)) << place.x() << "," << place.y() << " " << place.width() << "x"
                                      << place.height();
  EXPECT_GT(place.width(), 0);
  EXPECT_GT(place.height(), 0);
  // A damaged tree width gives the tree its usual width, not a sliver.
  EXPECT_EQ(form->PanelWidth(), 155);
  delete form->FrameWidget();
}

INSTANTIATE_TEST_SUITE_P(
    Damaged, ViewWindowStoredPlacement,
    ::testing::Values(
        TStoredPlacementCase{"Huge", "Width=99999999\nHeight=99999999\nLeft=2147483647\nTop=2147483647\n"
                                     "Panel width=99999999\n"},
        TStoredPlacementCase{"Negative",
                             "Width=-99999999\nHeight=-5\nLeft=-99999999\nTop=-7\nPanel width=-99999999\n"},
        TStoredPlacementCase{"Zero", "Width=0\nHeight=0\nPanel width=0\n"}),
    [](const ::testing::TestParamInfo<TStoredPlacementCase>& info) { return std::string(info.param.Name); });

TEST_F(ViewWindow, DestroyedWindowLeavesNoCurrentLegendBehind) {
  {
    TForm3D form;
    EXPECT_EQ(CurrentGeologyList, &form.GeologyList());
  }
  EXPECT_EQ(CurrentGeologyList, nullptr);
}

TEST_F(ViewWindow, ProgramStartRegistersTheClassesOfEveryLayerOnce) {
  RegisterProgramClasses();  // again: nothing changes
  for (const char* name : {"TGL3DScene", "TGLCamera", "TGLDummyCube", "TGL3DSceneViewer", "TGLCadencer",
                           "TGLWindowsBitmapFont", "TGLFullScreenViewer", "TGLMesh"}) {
    EXPECT_NE(GetClass(name), nullptr) << name;
  }
  EXPECT_NE(FindFilterClass("TRotateFilter"), nullptr);
}

// ------------------------------------------------------------ real X display

class ViewWindowX11 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "DISPLAY is not set";
    if (QCoreApplication::instance() == nullptr) qputenv("QT_QPA_PLATFORM", "xcb");
    if (EnsureTestApplication() == nullptr || !WindowContextsAvailable()) {
      GTEST_SKIP() << "the application of this process does not run on X11";
    }
    RegisterProgramClasses();
    LoadSettings(scratch_.File("QIRA3D.ini"), scratch_.Path());
  }
  TScratchFolder scratch_;
  TFakeServices services_;
};

// Seen from the front, the cross's origin is the viewer's centre: its elevation
// arrow runs straight up and its east arrow to the right (both cyan); the quarter
// left of and above the origin stays black.
bool CyanAt(const QImage& image, int x, int y) {
  const QRgb p = image.pixel(x, y);
  return qRed(p) < 80 && qGreen(p) > 150 && qBlue(p) > 150;
}
bool BlackAt(const QImage& image, int x, int y) {
  const QRgb p = image.pixel(x, y);
  return qRed(p) + qGreen(p) + qBlue(p) < 60;
}
bool ShowsCross(const QImage& image) {
  if (image.isNull() || image.width() < 200 || image.height() < 200) return false;
  const int cx = image.width() / 2, cy = image.height() / 2;
  return CyanAt(image, cx, cy - 60) && CyanAt(image, cx + 60, cy) && BlackAt(image, cx - 60, cy - 60) &&
         BlackAt(image, 2, 2) && !BlackAt(image, cx, cy);  // the origin sphere
}

bool PaintAFrame(TGL3DSceneViewer& viewer) {
  const int32_t before = viewer.Buffer().FrameCount();
  viewer.Invalidate();
  return RunEventLoopFor(5000, [&] { return viewer.Buffer().FrameCount() > before; });
}

// What the screen shows where the viewer is, once a frame shows the cross (the
// screen may show a frame late); the last picture grabbed when none does.
QImage GrabCross(TGL3DSceneViewer& viewer) {
  QImage shown;
  for (int frame = 0; frame < 20; ++frame) {
    if (!PaintAFrame(viewer)) break;
    const QPoint at = viewer.mapToGlobal(QPoint(0, 0));
    shown = viewer.screen()->grabWindow(0, at.x(), at.y(), viewer.width(), viewer.height()).toImage();
    if (ShowsCross(shown)) break;
  }
  return shown;
}

// Close enough for the 200-unit arrows to span many pixels.
void LookCloseAtTheCross(TForm3D& form) { form.Camera->Position().SetPoint(0, 0, 600); }

TEST_F(ViewWindowX11, NewDocumentShowsTheAxisCross) {
  std::unique_ptr<TForm3D> form(TForm3D::CreateNewDocument());
  form->resize(500, 400);
  LookCloseAtTheCross(*form);
  form->show();
  TGL3DSceneViewer& viewer = *form->GL3DSceneViewer1;
  ASSERT_TRUE(RunEventLoopFor(5000, [&] { return viewer.Buffer().FrameCount() > 0; }));
  const QImage shown = GrabCross(viewer);
  ASSERT_GE(shown.width(), 200);
  EXPECT_TRUE(ShowsCross(shown));
}

TEST_F(ViewWindowX11, FullScreenTheWindowsOwnWayLeavesTheFrameAndComesBackWithItsPlaceAndTree) {
  Win7FullScreenMode = false;
  QMdiArea area;
  area.resize(700, 500);
  TForm3D* form = TForm3D::CreateNewDocument(&area);
  LookCloseAtTheCross(*form);
  auto* sub = qobject_cast<QMdiSubWindow*>(form->FrameWidget());
  ASSERT_NE(sub, nullptr);
  area.show();
  sub->setGeometry(20, 30, 560, 420);
  sub->show();
  TGL3DSceneViewer& viewer = *form->GL3DSceneViewer1;
  ASSERT_TRUE(RunEventLoopFor(5000, [&] { return viewer.Buffer().FrameCount() > 0; }));
  const int treeWidth = form->TreeView->width();

  form->ToggleFullScreen();
  EXPECT_TRUE(form->FullScreen());
  EXPECT_FALSE(form->GLFullScreenViewer1->Active());
  QWidget* top = form->window();
  EXPECT_NE(top, &area);  // out of the main frame
  EXPECT_TRUE(top->windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(top->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_FALSE(form->TreeView->isVisible());
  EXPECT_FALSE(form->Splitter1->handle(1)->isVisible());
  const QRect screen = top->screen()->geometry();
  EXPECT_TRUE(RunEventLoopFor(5000, [&] { return top->geometry() == screen && viewer.width() == screen.width(); }));
  EXPECT_EQ(viewer.height(), screen.height());
  // The view goes on drawing on its own native window, now the whole screen.
  const QImage whole = GrabCross(viewer);
  EXPECT_EQ(whole.size(), screen.size());
  EXPECT_TRUE(ShowsCross(whole));

  form->ToggleFullScreen();
  EXPECT_FALSE(form->FullScreen());
  EXPECT_EQ(form->parentWidget(), sub);  // back as a child
  EXPECT_EQ(sub->geometry(), QRect(20, 30, 560, 420));
  EXPECT_TRUE(form->TreeView->isVisible());
  EXPECT_TRUE(RunEventLoopFor(5000, [&] {
    return form->TreeView->width() == treeWidth && form->Splitter1->handle(1)->isVisible();
  }));
  EXPECT_EQ(area.activeSubWindow(), sub);
  const QImage back = GrabCross(viewer);
  EXPECT_EQ(back.size(), viewer.size());
  EXPECT_TRUE(ShowsCross(back));
}

TEST_F(ViewWindowX11, FullScreenThroughTheIndependentViewerKeepsTheWindowInTheFrame) {
  Win7FullScreenMode = true;
  QMdiArea area;
  area.resize(600, 400);
  TForm3D* form = TForm3D::CreateNewDocument(&area);
  area.show();
  for (QMdiSubWindow* sub : area.subWindowList()) {
    sub->resize(500, 350);
    sub->show();
  }
  TGL3DSceneViewer& viewer = *form->GL3DSceneViewer1;
  TGLFullScreenViewer& fullScreen = *form->GLFullScreenViewer1;
  ASSERT_TRUE(RunEventLoopFor(5000, [&] { return viewer.Buffer().FrameCount() > 0; }));
  form->ToggleFullScreen();
  EXPECT_TRUE(form->FullScreen());
  EXPECT_FALSE(form->isWindow());  // the window stays in the frame
  ASSERT_TRUE(fullScreen.Active());
  ASSERT_NE(fullScreen.FullScreenWindow(), nullptr);
  // The viewers' menu works there although its window is disabled behind the full screen.
  EXPECT_FALSE(form->isEnabled());
  EXPECT_TRUE(form->PopupMenu->isEnabled());
  const int32_t shown = fullScreen.Buffer().FrameCount();
  fullScreen.FullScreenWindow()->update();
  EXPECT_TRUE(RunEventLoopFor(5000, [&] { return fullScreen.Buffer().FrameCount() > shown; }));
  form->ToggleFullScreen();
  EXPECT_FALSE(fullScreen.Active());
  EXPECT_TRUE(PaintAFrame(viewer));
  Win7FullScreenMode = false;
}

}  // namespace
}  // namespace qira

#include "chart/draw/ChartPanel.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include "platform/CanvasColors.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

// A panel whose frame is the background, as the axis panel's first step draws it.
class BackgroundPanel : public TCustomChartPanelExtended {
 public:
  using TCustomChartPanelExtended::TCustomChartPanelExtended;
  void InternalDraw(const TRect& rect) override { PaintBackground(rect); }
};

TRect DrawnChartRect(TCustomChartPanel& panel) {
  panel.Draw(panel.ControlCanvas().Canvas(), TRect{0, 0, panel.width(), panel.height()});
  return panel.ChartRect();
}

TEST(ChartPanel, ChartRectangleFollowsMarginsFrameAndShadow) {
  EnsureTestApplication();
  struct Row {
    const char* name;
    std::function<void(TCustomChartPanel&)> setup;
    TRect expected;
  } rows[] = {
      {"default percent margins", [](TCustomChartPanel&) {}, {12, 10, 388, 240}},
      {"pixel margins",
       [](TCustomChartPanel& p) {
         p.SetMarginUnits(muPixels);
         p.SetMarginLeft(10);
         p.SetMarginTop(20);
         p.SetMarginRight(30);
         p.SetMarginBottom(40);
       },
       {10, 20, 370, 210}},
      {"raised bevel and a border two pixels wide",
       [](TCustomChartPanel& p) {
         p.SetBevelOuter(bvRaised);
         p.Border().SetVisible(true);
         p.Border().SetWidth(2);
       },
       {15, 13, 385, 237}},
      {"shadow down-right takes twice its size from right and bottom",
       [](TCustomChartPanel& p) { p.Shadow().SetSize(3); }, {12, 10, 382, 234}},
      {"shadow up-left takes it from left and top",
       [](TCustomChartPanel& p) { p.Shadow().SetSize(-2); }, {16, 14, 388, 240}},
  };
  for (const Row& row : rows) {
    TCustomChartPanelExtended panel;
    panel.SetBevelOuter(bvNone);
    row.setup(panel);
    EXPECT_EQ(DrawnChartRect(panel), row.expected) << row.name;
  }
}

TEST(ChartPanel, RecalcChartRectKeepsAtLeastOnePixel) {
  EnsureTestApplication();
  TCustomChartPanelExtended panel;
  panel.SetChartRect(TRect{50, 60, 40, 60});
  panel.RecalcChartRect();
  EXPECT_EQ(panel.ChartRect(), (TRect{50, 60, 51, 310}));  // inverted: one pixel; empty: the height
  EXPECT_EQ(panel.ChartRectCenterX(), 50);
  panel.resize(0, 0);
  EXPECT_EQ(DrawnChartRect(panel).Width(), 1);
  EXPECT_EQ(panel.ChartRectHeight(), 1);
  panel.SetMarginUnits(muPixels);
  panel.SetMarginLeft(-100000);
  panel.resize(30, 20);
  EXPECT_EQ(DrawnChartRect(panel).Left, 0);
}

TEST(ChartPanel, PaintsBackgroundGradientAndBevelsInsideItsFrame) {
  EnsureTestApplication();
  BackgroundPanel panel;
  panel.resize(100, 60);
  panel.SetColor(MakeColor(0, 0, 200));
  panel.SetBevelOuter(bvRaised);
  panel.SetBevelInner(bvLowered);
  panel.SetBevelWidth(2);
  QImage shown = panel.grab().toImage();
  const TColor highlight = SystemColorToRGB(clBtnHighlightColor), shadow = SystemColorToRGB(clBtnShadowColor);
  EXPECT_EQ(PixelToColor(shown.pixel(0, 0)), highlight);     // outer raised: lit top-left
  EXPECT_EQ(PixelToColor(shown.pixel(99, 59)), shadow);      // and shaded bottom-right
  EXPECT_EQ(PixelToColor(shown.pixel(2, 30)), shadow);       // inner lowered: shaded top-left
  EXPECT_EQ(PixelToColor(shown.pixel(50, 30)), MakeColor(0, 0, 200));

  panel.Gradient().SetStartColor(clBlack);
  panel.Gradient().SetEndColor(clWhite);
  panel.Gradient().SetVisible(true);
  shown = panel.grab().toImage();
  EXPECT_EQ(PixelToColor(shown.pixel(50, 59 - 4)), MakeColor(17, 17, 17));  // near the start colour
  EXPECT_EQ(PixelToColor(shown.pixel(50, 4)), MakeColor(237, 237, 237));
  EXPECT_EQ(PixelToColor(shown.pixel(0, 0)), highlight);
}

TEST(ChartPanel, RepaintsFromTheBufferUntilInvalidated) {
  EnsureTestApplication();
  BackgroundPanel panel;
  panel.resize(40, 30);
  panel.SetColor(clRed);
  panel.grab();
  EXPECT_FALSE(panel.ChartCanvas().BufferDirty());
  panel.SetColor(clRed);  // the same value: nothing to redraw
  EXPECT_FALSE(panel.ChartCanvas().BufferDirty());
  panel.SetColor(clLime);
  EXPECT_TRUE(panel.ChartCanvas().BufferDirty());
  EXPECT_EQ(PixelToColor(panel.grab().toImage().pixel(20, 15)), clLime);
}

TEST(ChartPanel, TilesABackImageAndSkipsOneWithoutPixels) {
  EnsureTestApplication();
  BackgroundPanel panel;
  panel.resize(50, 50);
  panel.SetBevelOuter(bvNone);
  QImage tile(4, 4, QImage::Format_RGB32);
  tile.fill(ColorToPixel(clRed));
  tile.setPixel(0, 0, ColorToPixel(clBlue));
  panel.BackImage().SetGraphic(std::make_unique<TBitmapGraphic>(tile));
  panel.BackImage().SetMode(pbmTile);
  const QImage shown = panel.grab().toImage();
  EXPECT_EQ(PixelToColor(shown.pixel(0, 0)), clBlue);
  EXPECT_EQ(PixelToColor(shown.pixel(8, 44)), clBlue);
  EXPECT_EQ(PixelToColor(shown.pixel(9, 45)), clRed);
  panel.BackImage().SetGraphic(std::make_unique<TBitmapGraphic>(QImage()));
  panel.grab();  // an empty graphic: no endless tiling
}

// Any number of copies shows: a one-pixel picture covers a large panel too.
TEST(ChartPanel, ATiledBackImageCoversThePanelWhateverTheNumberOfCopies) {
  EnsureTestApplication();
  const struct {
    int32_t tileW, tileH, panelW, panelH;
  } table[] = {{1, 1, 1100, 1000}, {3, 2, 1100, 1000}, {300, 7, 1100, 1000}, {4, 4, 50, 50}};
  for (const auto& row : table) {
    BackgroundPanel panel;
    panel.resize(row.panelW, row.panelH);
    panel.SetBevelOuter(bvNone);
    QImage tile(row.tileW, row.tileH, QImage::Format_RGB32);
    tile.fill(ColorToPixel(clRed));
    tile.setPixel(0, 0, ColorToPixel(clBlue));
    panel.BackImage().SetGraphic(std::make_unique<TBitmapGraphic>(tile));
    panel.BackImage().SetMode(pbmTile);
    const QImage shown = panel.grab().toImage();
    const int32_t lastX = row.panelW - 1, lastY = row.panelH - 1;
    for (const TPoint p : {TPoint{0, 0}, TPoint{lastX, lastY}, TPoint{lastX / 2, lastY / 3}, TPoint{lastX, 0}}) {
      const bool corner = p.X % row.tileW == 0 && p.Y % row.tileH == 0;
      EXPECT_EQ(PixelToColor(shown.pixel(p.X, p.Y)), corner ? clBlue : clRed)
          << row.tileW << "x" << row.tileH << " at " << p.X << "," << p.Y;
    }
  }
}

TEST(ChartPanel, ReadingBackImageInsideMakesTheBackImage) {
  EnsureTestApplication();
  TCustomChartPanelExtended panel;
  ASSERT_EQ(panel.BackImageIfAny(), nullptr);
  EXPECT_FALSE(panel.BackImageInside());
  ASSERT_NE(panel.BackImageIfAny(), nullptr);
  panel.SetBackImageInside(true);
  EXPECT_FALSE(panel.BackImageInside());  // no graphic yet
  QImage image(2, 2, QImage::Format_RGB32);
  image.fill(ColorToPixel(clRed));
  panel.BackImage().SetGraphic(std::make_unique<TBitmapGraphic>(image));
  EXPECT_TRUE(panel.BackImageInside());
  TStreamedProperties block;
  TCustomChartPanelExtended fresh;
  fresh.BackImageInside();
  fresh.WriteProperties(block);
  TStreamedProperties untouched;
  TCustomChartPanelExtended().WriteProperties(untouched);
  const auto names = [](const TStreamedProperties& b) {
    std::vector<std::string> out;
    for (const TStreamedProperty& p : b) out.push_back(p.Name);
    return out;
  };
  EXPECT_EQ(names(block), names(untouched));  // a back image made by reading stores nothing
}

TEST(ChartPanel, RoundBorderGivesARoundWindowRegion) {
  EnsureTestApplication();
  QWidget parent;
  auto* panel = new BackgroundPanel(&parent);
  panel->resize(100, 80);
  parent.show();
  panel->SetBorderRound(10);
  EXPECT_FALSE(panel->mask().isEmpty());
  EXPECT_FALSE(panel->mask().contains(QPoint(0, 0)));
  EXPECT_TRUE(panel->mask().contains(QPoint(50, 40)));
  panel->resize(200, 80);
  EXPECT_TRUE(panel->mask().contains(QPoint(150, 40)));
  panel->SetBorderRound(0);
  EXPECT_TRUE(panel->mask().isEmpty());
}

class RecordingListener : public IChartEventListener {
 public:
  explicit RecordingListener(bool handles) : handles_(handles) {}
  void Notify(TChartEvent& event) override {
    ++count;
    if (auto* mouse = dynamic_cast<TChartMouseEvent*>(&event)) {
      lastKind = mouse->Event;
      lastX = mouse->X;
      if (handles_) mouse->Sender->MouseHandled = true;
    }
    if (dynamic_cast<TChartView3DEvent*>(&event)) ++view3D;
  }
  int count = 0, view3D = 0, lastX = -1;
  TChartMouseEventKind lastKind = cmeMove;

 private:
  bool handles_;
};

TEST(ChartPanel, ListenersHearMouseAndViewChangesUntilOneHandlesTheMouse) {
  EnsureTestApplication();
  BackgroundPanel panel;
  RecordingListener first(true), second(false);
  panel.AddListener(&first);
  panel.AddListener(&second);
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(7, 9), QPointF(7, 9), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(&panel, &press);
  EXPECT_EQ(first.lastKind, cmeDown);
  EXPECT_EQ(first.lastX, 7);
  EXPECT_EQ(second.count, 0);  // the first listener handled it
  panel.SetView3D(false);
  EXPECT_EQ(first.view3D, 1);
  EXPECT_EQ(second.view3D, 1);
  panel.RemoveListener(&first);
  panel.RemoveListener(&second);
}

TEST(ChartPanel, StreamsPrintMarginsOnlyWhenChanged) {
  EnsureTestApplication();
  BackgroundPanel panel;
  TStreamedProperties block;
  panel.WriteProperties(block);
  EXPECT_EQ(FindProperty(block, "PrintMargins"), nullptr);
  panel.SetPrintMargins(TRect{15, 15, 15, 20});
  panel.SetMarginUnits(muPixels);
  panel.Zoom().AnimatedSteps = 3;
  block.clear();
  panel.WriteProperties(block);
  ASSERT_NE(FindProperty(block, "PrintMargins"), nullptr);

  BackgroundPanel read;
  TStreamedProperties old = block;
  AddIdent(old, "BorderStyle", "bsSingle");
  AddBoolean(old, "AllowZoom", false);
  read.ReadProperties(old);
  EXPECT_EQ(read.PrintMargins(), (TRect{15, 15, 15, 20}));
  EXPECT_EQ(read.MarginUnits(), muPixels);
  EXPECT_EQ(read.Zoom().AnimatedSteps, 3);
  EXPECT_FALSE(read.Zoom().Allow);
  EXPECT_TRUE(read.Border().Visible());

  TStreamedProperties damaged = block;
  for (TStreamedProperty& p : damaged)
    if (p.Name == "PrintMargins") p.Text = "abc";
  BackgroundPanel untouched;
  EXPECT_THROW(untouched.ReadProperties(damaged), EChartStreamError);
  EXPECT_EQ(untouched.MarginUnits(), muPercent);
}

TEST(ChartPanel, TheBorderStartsAndStreamsWithFlatEnds) {
  EnsureTestApplication();
  BackgroundPanel panel;
  EXPECT_EQ(panel.Border().EndStyle(), esFlat);
  EXPECT_TRUE(panel.ZOrdering());
  TStreamedProperties block;
  panel.WriteProperties(block);
  EXPECT_EQ(FindProperty(block, "Border.EndStyle"), nullptr);

  panel.Border().SetEndStyle(esRound);
  block.clear();
  panel.WriteProperties(block);
  const TStreamedProperty* written = FindProperty(block, "Border.EndStyle");
  ASSERT_NE(written, nullptr);
  EXPECT_EQ(written->Text, "esRound");
  BackgroundPanel read;
  read.ReadProperties(block);
  EXPECT_EQ(read.Border().EndStyle(), esRound);
  BackgroundPanel fresh;
  fresh.ReadProperties(TStreamedProperties{});
  EXPECT_EQ(fresh.Border().EndStyle(), esFlat);
}

TEST(ChartPanel, AssignToGivesABitmapOfTheChart) {
  EnsureTestApplication();
  BackgroundPanel panel;
  panel.resize(40, 30);
  panel.SetBevelOuter(bvNone);
  panel.SetColor(clRed);
  TPicture picture;
  panel.AssignTo(picture);
  ASSERT_NE(dynamic_cast<TBitmapGraphic*>(picture.Graphic()), nullptr);
  EXPECT_EQ(picture.Width(), 40);
  EXPECT_EQ(picture.Height(), 30);
  EXPECT_EQ(PixelToColor(picture.Graphic()->ToImage().pixel(20, 15)), clRed);

  TBitmapGraphic graphic;
  panel.SetColor(clBlue);
  panel.AssignTo(graphic);
  EXPECT_EQ(graphic.Width(), 40);
  EXPECT_EQ(PixelToColor(graphic.ToImage().pixel(39, 29)), clBlue);
  // The panel still paints itself afterwards.
  EXPECT_EQ(PixelToColor(panel.grab().toImage().pixel(20, 15)), clBlue);
}

TEST(ChartPanel, ATransparentBackImageLeavesOutItsBottomLeftColour) {
  EnsureTestApplication();
  BackgroundPanel panel;
  panel.resize(20, 20);
  panel.SetBevelOuter(bvNone);
  panel.SetColor(clLime);
  EXPECT_FALSE(panel.BackImageTransp());
  panel.SetBackImageTransp(true);  // no graphic: nothing to make transparent
  EXPECT_FALSE(panel.BackImageTransp());

  QImage image(2, 2, QImage::Format_RGB32);
  image.fill(ColorToPixel(clRed));
  image.setPixel(0, 1, ColorToPixel(clBlue));  // bottom-left: the transparent colour
  panel.BackImage().SetGraphic(std::make_unique<TBitmapGraphic>(image));
  EXPECT_EQ(PixelToColor(panel.grab().toImage().pixel(5, 15)), clBlue);
  panel.SetBackImageTransp(true);
  EXPECT_TRUE(panel.BackImageTransp());
  const QImage shown = panel.grab().toImage();
  EXPECT_EQ(PixelToColor(shown.pixel(5, 15)), clLime);
  EXPECT_EQ(PixelToColor(shown.pixel(15, 15)), clRed);

  TStreamedProperties block;
  panel.WriteProperties(block);
  ASSERT_NE(FindProperty(block, "BackImageTransp"), nullptr);
  BackgroundPanel read;
  read.BackImage().SetGraphic(std::make_unique<TBitmapGraphic>(image));
  read.ReadProperties(block);
  EXPECT_TRUE(read.BackImageTransp());
}

TEST(ChartPanel, ArrowKeysReachThePanelBeforeAnyShortcut) {
  EnsureTestApplication();
  BackgroundPanel panel;
  const struct {
    Qt::Key key;
    bool taken;
  } table[] = {{Qt::Key_Left, true}, {Qt::Key_Right, true}, {Qt::Key_Up, true}, {Qt::Key_Down, true},
               {Qt::Key_A, false}, {Qt::Key_Tab, false}};
  for (const auto& row : table) {
    QKeyEvent override(QEvent::ShortcutOverride, row.key, Qt::NoModifier);
    override.ignore();
    QCoreApplication::sendEvent(&panel, &override);
    EXPECT_EQ(override.isAccepted(), row.taken) << row.key;
  }
}

TEST(ChartPanel, APanelWithoutColourShowsItsParentAndErasesOnlyWhenAsked) {
  EnsureTestApplication();
  QWidget parent;
  parent.resize(60, 60);
  QPalette green = parent.palette();
  green.setColor(QPalette::Window, QColor(0, 255, 0));
  parent.setPalette(green);
  parent.setAutoFillBackground(true);
  auto* panel = new BackgroundPanel(&parent);
  panel->setGeometry(10, 10, 40, 40);
  panel->SetBevelOuter(bvNone);
  panel->Border().SetVisible(true);
  panel->Border().SetColor(clRed);
  panel->SetColor(clNone);
  QPalette blue = panel->palette();
  blue.setColor(QPalette::Window, QColor(0, 0, 255));
  panel->setPalette(blue);

  QImage shown = parent.grab().toImage();
  EXPECT_EQ(PixelToColor(shown.pixel(30, 30)), clLime);  // the parent through the panel
  EXPECT_EQ(PixelToColor(shown.pixel(10, 30)), clRed);   // the border the chart drew

  TCustomChartPanel::EraseBackgroundFlag = true;
  shown = parent.grab().toImage();
  TCustomChartPanel::EraseBackgroundFlag = false;
  EXPECT_EQ(PixelToColor(shown.pixel(30, 30)), clBlue);
  EXPECT_EQ(PixelToColor(shown.pixel(10, 30)), clRed);

  panel->SetColor(MakeColor(255, 255, 0));  // opaque again
  EXPECT_EQ(PixelToColor(parent.grab().toImage().pixel(30, 30)), MakeColor(255, 255, 0));
}

// ---- zoom

TEST(ChartZoom, FreshZoomMakesWhitePenAndBrushOnFirstRead) {
  TChartZoom zoom;
  EXPECT_EQ(zoom.BrushIfAny(), nullptr);
  EXPECT_EQ(zoom.Pen().Color(), clWhite);
  EXPECT_EQ(zoom.Brush().Color(), clWhite);
  EXPECT_EQ(zoom.Brush().Style(), bsClear);
}

TEST(ChartZoom, AssignKeepsMinimumPixelsAndUpLeftZooms) {
  TChartZoom source, target;
  source.MinimumPixels = 3;
  source.UpLeftZooms = true;
  source.AnimatedSteps = 2;
  source.Pen().SetColor(clRed);
  target.Assign(source);
  EXPECT_EQ(target.AnimatedSteps, 2);
  EXPECT_EQ(target.Pen().Color(), clRed);
  EXPECT_EQ(target.MinimumPixels, 16);
  EXPECT_FALSE(target.UpLeftZooms);
  TZoomPanning panning;
  panning.Activate(5, 6);
  panning.X1 = 1;
  panning.OrderCorners();
  EXPECT_EQ(panning.X0, 1);
  EXPECT_EQ(panning.X1, 5);
}

TEST(ChartZoom, RubberBandDrawnTwiceRestoresEveryPixel) {
  EnsureTestApplication();
  BackgroundPanel panel;
  panel.resize(60, 40);
  panel.SetColor(MakeColor(30, 90, 150));
  panel.Draw(panel.ControlCanvas().Canvas(), TRect{0, 0, 60, 40});
  panel.ChartCanvas().InitWindow(panel.ControlCanvas().Canvas(), nullptr, TRect{0, 0, 60, 40}, false);
  panel.ChartCanvas().SetUseBuffer(false);
  panel.ChartCanvas().InitWindow(panel.ControlCanvas().Canvas(), nullptr, TRect{0, 0, 60, 40}, false);
  const QImage before = panel.ControlCanvas().Image().copy();
  panel.Zoom().Activate(5, 5);
  panel.Zoom().X1 = 40;
  panel.Zoom().Y1 = 30;
  panel.DrawZoomRectangle();
  const QImage once = panel.ControlCanvas().Image().copy();
  EXPECT_NE(once, before);
  EXPECT_EQ(once.pixel(50, 35), before.pixel(50, 35));
  panel.DrawZoomRectangle();
  EXPECT_EQ(panel.ControlCanvas().Image(), before);
}

TEST(ChartZoom, WhitePenOnWhiteBackgroundLeavesThePixels) {
  EnsureTestApplication();
  BackgroundPanel panel;
  panel.resize(30, 30);
  panel.SetColor(clWhite);
  panel.ChartCanvas().SetUseBuffer(false);
  panel.Draw(panel.ControlCanvas().Canvas(), TRect{0, 0, 30, 30});
  const QImage before = panel.ControlCanvas().Image().copy();
  panel.Zoom().Activate(2, 2);
  panel.Zoom().X1 = 20;
  panel.Zoom().Y1 = 20;
  panel.DrawZoomRectangle();
  EXPECT_EQ(panel.ControlCanvas().Image(), before);
}

}  // namespace
}  // namespace qira

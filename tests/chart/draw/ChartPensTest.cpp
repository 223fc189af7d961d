#include <gtest/gtest.h>

#include "chart/draw/ChartInterfaces.h"
#include "chart/draw/ChartPens.h"
#include "platform/BinaryStream.h"

namespace qira {
namespace {

struct CountingHost : IChartViewHost {
  int repaints = 0;
  void Invalidate() override { ++repaints; }
};

TEST(ChartPenSetters, AnEqualValueDoesNothingAndAChangeNotifiesOnce) {
  int changes = 0;
  TChartPen pen([&] { ++changes; });
  pen.SetColor(clBlack);
  pen.SetVisible(true);
  pen.SetWidth(1);
  EXPECT_EQ(changes, 0);
  pen.SetColor(clRed);
  pen.SetSmallSpace(2);
  pen.Hide();
  EXPECT_EQ(changes, 3);
  EXPECT_FALSE(pen.Visible());
}

TEST(ChartPenAssign, APlainPenCopiesOnlyThePlatformAttributes) {
  TChartPen pen;
  pen.SetSmallDots(true);
  pen.SetEndStyle(esFlat);
  pen.Hide();
  pen.Assign(TPen{clRed, 3, psDash, pmXor});
  EXPECT_EQ(pen.Color(), clRed);
  EXPECT_EQ(pen.Width(), 3);
  EXPECT_EQ(pen.Mode(), pmXor);
  EXPECT_TRUE(pen.SmallDots());
  EXPECT_EQ(pen.EndStyle(), esFlat);
  EXPECT_FALSE(pen.Visible());

  TChartPen copy;
  copy.Assign(pen);
  EXPECT_FALSE(copy.Visible());
  EXPECT_EQ(copy.Style(), psDash);
}

TEST(ChartPenStreaming, VisibleIsWrittenOnlyWhenItDiffersFromTheInstanceDefault) {
  const auto hasVisible = [](const TChartPen& pen) {
    TStreamedProperties block;
    pen.WriteProperties(block);
    return FindProperty(block, "Visible") != nullptr;
  };
  TChartHiddenPen hidden;
  EXPECT_FALSE(hasVisible(hidden));
  hidden.Show();
  EXPECT_TRUE(hasVisible(hidden));
  EXPECT_FALSE(hasVisible(TChartPen()));
  EXPECT_TRUE(hasVisible(TWhitePen()));
  TDottedGrayPen dotted;
  TStreamedProperties block;
  dotted.WriteProperties(block);
  EXPECT_EQ(FindProperty(block, "Color"), nullptr);
  EXPECT_EQ(FindProperty(block, "Style"), nullptr);
  EXPECT_NE(FindProperty(block, "SmallDots"), nullptr);
}

TEST(ChartPenStreaming, AStreamedPenReadsBackIntoAFreshPen) {
  TDottedGrayPen pen;
  pen.SetColor(clRed);
  pen.SetWidth(4);
  pen.SetSmallDots(true);
  pen.SetSmallSpace(2);
  pen.SetEndStyle(esSquare);
  pen.Hide();
  TStreamedProperties block;
  pen.WriteProperties(block);
  TMemoryStream stream;
  ASSERT_TRUE(WriteProperties(stream, block));
  stream.Seek(0);
  TDottedGrayPen read;
  read.ReadProperties(ReadProperties(stream));
  EXPECT_EQ(read.PlatformPen(), pen.PlatformPen());
  EXPECT_EQ(read.SmallSpace(), 2);
  EXPECT_EQ(read.EndStyle(), esSquare);
  EXPECT_FALSE(read.Visible());
}

TEST(ChartPropertyStream, ADamagedStreamIsRefusedWholeAndLeavesThePenUnchanged) {
  TStreamedProperties block;
  AddInteger(block, "Color", 255);
  AddString(block, "Name", "abc");
  TMemoryStream good;
  ASSERT_TRUE(WriteProperties(good, block));
  const std::vector<uint8_t> bytes = good.Data();

  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
  } damaged[] = {
      {"cut inside a value", {bytes.begin(), bytes.end() - 3}},
      {"string length beyond the end", [&] {
         auto b = bytes;
         b[b.size() - 5] = 0x7F;  // high byte of the int32 length of "abc"
         return b;
       }()},
      {"unknown value type", [&] {
         auto b = bytes;
         b[6] = 0x7E;  // type byte of "Color"
         return b;
       }()},
      {"no end marker", {bytes.begin(), bytes.end() - 1}},
  };
  for (const auto& d : damaged) {
    TMemoryStream s(d.bytes);
    EXPECT_THROW(ReadProperties(s), EChartStreamError) << d.what;
    EXPECT_EQ(s.Position(), 0) << d.what;
  }
  TChartPen pen;
  TStreamedProperties wrongType;
  AddString(wrongType, "Width", "wide");
  EXPECT_THROW(pen.ReadProperties(wrongType), EChartStreamError);
  EXPECT_EQ(pen.Width(), 1);
}

TEST(ChartBrush, StartsWithTheAutomaticColourAndPictureChangesReachTheOwner) {
  int changes = 0;
  TChartBrush brush([&] { ++changes; });
  EXPECT_EQ(brush.Color(), clChartDefault);
  EXPECT_EQ(brush.BackColor(), clNone);
  EXPECT_EQ(brush.ImageIfAny(), nullptr);
  brush.Image().SetGraphic(std::make_unique<TBitmapGraphic>(QImage(2, 2, QImage::Format_RGB32)));
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(brush.HasImageGraphic());
  brush.SetImage(nullptr);
  EXPECT_EQ(brush.ImageIfAny(), nullptr);
  EXPECT_EQ(changes, 2);
}

TEST(View3DOptions, ZoomCallsTheZoomEventWithTheOldZoomBeforeStoring) {
  CountingHost host;
  TView3DOptions v(&host);
  std::vector<std::pair<int32_t, int32_t>> calls;  // (old zoom given, zoom stored at the call)
  v.OnZoom = [&](int32_t old) { calls.emplace_back(old, v.Zoom()); };
  v.SetZoom(100);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(host.repaints, 0);
  v.SetZoom(150);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], std::make_pair(100, 100));
  EXPECT_EQ(v.Zoom(), 150);
  EXPECT_EQ(host.repaints, 1);

  std::vector<bool> scrolls;
  v.OnScroll = [&](bool horizontal) { scrolls.push_back(horizontal); };
  v.SetHorizOffset(5);
  v.SetVertOffset(5);
  v.SetVertOffset(5);
  EXPECT_EQ(scrolls, (std::vector<bool>{true, false}));
}

TEST(View3DOptions, OrthoDepthRatioFollowsTheObliqueAngle) {
  const struct {
    bool orthogonal;
    int32_t angle;
    double ratio;
  } table[] = {{true, 45, 1.0}, {true, 135, 1.0}, {true, 60, std::sqrt(3.0)}, {false, 60, 1.0}, {false, 0, 1.0}};
  for (const auto& row : table) {
    TView3DOptions v;
    v.SetOrthogonal(row.orthogonal);
    v.SetOrthoAngle(row.angle);
    EXPECT_NEAR(v.OrthoDepthRatio(), row.ratio, 1e-9) << row.angle;
  }
}

}  // namespace
}  // namespace qira

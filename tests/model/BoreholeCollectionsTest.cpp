// Geology items: rock styles, rock intervals, their records and their editors.
#include "model/BoreholeCollections.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <memory>
#include <string>

namespace qira {
namespace {

TBHDepthCollectionItem Clay() {
  TBHDepthCollectionItem item;
  item.ShortName = "Cl";
  item.FullName = "Ton\xC3\xA4";  // "Tonä": one Windows-1252 byte on disk
  item.Filling = false;
  item.Color = 0x123456;
  item.Texture = true;
  item.HatchStyle = bsBDiagonal;
  item.Border = false;
  item.Top = 12.5f;
  item.Bottom = 17.25f;
  return item;
}

// Clears the registered editors when a test is done with them.
struct TScopedEditors {
  TScopedEditors(TBHStyleEditor style, TBHIntervalEditor interval) {
    SetBHCollectionEditors(std::move(style), std::move(interval));
  }
  ~TScopedEditors() { SetBHCollectionEditors(nullptr, nullptr); }
};

TEST(GeologyItem, EqualsComparesEveryStyleFieldAndNamesCaseSensitivelyButNotDepths) {
  const std::function<void(TBHDepthCollectionItem&)> changes[] = {
      [](TBHDepthCollectionItem& c) { c.ShortName = "CL"; },
      [](TBHDepthCollectionItem& c) { c.FullName = "Ton"; },
      [](TBHDepthCollectionItem& c) { c.Filling = true; },
      [](TBHDepthCollectionItem& c) { c.Color = 0x123457; },
      [](TBHDepthCollectionItem& c) { c.Texture = false; },
      [](TBHDepthCollectionItem& c) { c.HatchStyle = bsCross; },
      [](TBHDepthCollectionItem& c) { c.Border = true; },
  };
  for (size_t i = 0; i < std::size(changes); ++i) {
    TBHDepthCollectionItem changed = Clay();
    changes[i](changed);
    EXPECT_FALSE(Clay().Equals(changed)) << "change " << i;
  }
  TBHDepthCollectionItem deeper = Clay();
  deeper.Top = 99;
  deeper.Bottom = 100;
  EXPECT_TRUE(Clay().Equals(deeper));
}

TEST(GeologyItem, AssignCopiesDepthsOnlyBetweenIntervals) {
  TBHDepthCollectionItem interval;
  TBHCollectionItem style = Clay();
  interval.Assign(style);
  EXPECT_TRUE(interval.Equals(Clay()));
  EXPECT_EQ(interval.Top, 10.0f);
  EXPECT_EQ(interval.Bottom, 20.0f);

  interval.Assign(Clay());
  EXPECT_EQ(interval.Top, 12.5f);
  EXPECT_EQ(interval.Bottom, 17.25f);
}

TEST(GeologyItem, HatchButtonsStepAndWrapWithinTheHatchStyles) {
  struct Case {
    uint8_t from, up, down;
  };
  const Case cases[] = {
      {bsHorizontal, bsVertical, bsDiagCross}, {bsVertical, bsFDiagonal, bsHorizontal},
      {bsCross, bsDiagCross, bsBDiagonal},     {bsDiagCross, bsHorizontal, bsCross},
      {bsSolid, bsHorizontal, bsDiagCross},    {bsClear, bsHorizontal, bsDiagCross},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NextHatchStyle(c.from), c.up) << int(c.from);
    EXPECT_EQ(PreviousHatchStyle(c.from), c.down) << int(c.from);
  }
}

// ---- records -------------------------------------------------------------------------

TEST(GeologyRecord, AnIntervalReadsBackWhatItWrote) {
  TMemoryStream stream;
  ASSERT_TRUE(Clay().SaveToStream(stream));
  // version, 2 depths, style version, "Cl", one 1252 byte for "Tonä", 5 style fields
  EXPECT_EQ(stream.Size(), 1 + 8 + 1 + (4 + 2) + (4 + 4) + 1 + 4 + 1 + 1 + 1);
  ASSERT_TRUE(stream.Seek(0));
  TBHDepthCollectionItem read;
  ASSERT_TRUE(read.LoadFromStream(stream));
  EXPECT_TRUE(read.Equals(Clay()));
  EXPECT_EQ(read.Top, 12.5f);
  EXPECT_EQ(read.Bottom, 17.25f);
  EXPECT_EQ(stream.Remaining(), 0);
}

TEST(GeologyRecord, EveryTruncationOfARecordFailsAndLeavesTheItem) {
  TMemoryStream full;
  ASSERT_TRUE(Clay().SaveToStream(full));
  for (int32_t n = 0; n < full.Size(); ++n) {
    TMemoryStream cut(full.Data().data(), static_cast<size_t>(n));
    TBHDepthCollectionItem read;
    EXPECT_FALSE(read.LoadFromStream(cut)) << n;
    EXPECT_TRUE(read.Equals(TBHDepthCollectionItem())) << n;
    EXPECT_EQ(read.Top, 10.0f) << n;
  }
}

TEST(GeologyList, ADepthListReadsBackWhatItWrote) {
  TBHCollectionList list(true);
  auto first = std::make_unique<TBHDepthCollectionItem>(Clay());
  auto second = std::make_unique<TBHDepthCollectionItem>();
  second->FullName = "Sand";
  second->Top = 17.25f;
  second->Bottom = 30;
  ASSERT_TRUE(list.Add(std::move(first)));
  ASSERT_TRUE(list.Add(std::move(second)));
  TMemoryStream stream;
  ASSERT_TRUE(list.SaveToStream(stream));

  ASSERT_TRUE(stream.Seek(0));
  TBHCollectionList read(true);
  ASSERT_TRUE(read.LoadFromStream(stream));
  ASSERT_EQ(read.Count(), 2);
  EXPECT_TRUE(read.Interval(0)->Equals(Clay()));
  EXPECT_EQ(read.Interval(1)->FullName, "Sand");
  EXPECT_EQ(read.Interval(1)->Bottom, 30.0f);
}

TEST(GeologyList, ADepthListTakesOnlyIntervals) {
  TBHCollectionList depths(true);
  EXPECT_FALSE(depths.Add(std::make_unique<TBHCollectionItem>()));
  EXPECT_FALSE(depths.Add(nullptr));
  EXPECT_EQ(depths.Count(), 0);

  TBHCollectionList styles(false);
  EXPECT_TRUE(styles.Add(std::make_unique<TBHDepthCollectionItem>(Clay())));
  TMemoryStream stream;
  ASSERT_TRUE(styles.SaveToStream(stream));  // the style part only
  ASSERT_TRUE(stream.Seek(0));
  TBHCollectionList read(false);
  ASSERT_TRUE(read.LoadFromStream(stream));
  ASSERT_EQ(read.Count(), 1);
  EXPECT_TRUE(read.Items[0]->Equals(Clay()));
}

// ---- swatch --------------------------------------------------------------------------

TEST(GeologySwatch, SetupCanvasFollowsTheStyleFlags) {
  struct Case {
    bool filling, texture, border;
    TBrush brush;
    TPenStyle pen;
    TBkMode bkMode;  // checked only with a texture
  };
  const TColor rock = 0x3366CC;
  const Case cases[] = {
      {true, false, true, {rock, bsSolid}, psSolid, bkOpaque},
      {false, false, true, {rock, bsClear}, psSolid, bkOpaque},
      {true, true, false, {clBlack, bsFDiagonal}, psClear, bkOpaque},
      {false, true, true, {clBlack, bsFDiagonal}, psSolid, bkTransparent},
  };
  for (const Case& c : cases) {
    TBHCollectionItem item;
    item.Color = rock;
    item.Filling = c.filling;
    item.Texture = c.texture;
    item.Border = c.border;
    item.HatchStyle = bsFDiagonal;
    TBitmap bitmap(8, 8);
    TCanvas& canvas = bitmap.Canvas();
    canvas.SetPen(TPen{clWhite, 3, psDot, pmCopy});
    item.SetupCanvas(canvas);
    const std::string where = "filling " + std::to_string(c.filling) + " texture " + std::to_string(c.texture);
    EXPECT_EQ(canvas.Pen().Color, clBlack) << where;
    EXPECT_LE(canvas.Pen().Width, 1) << where;
    EXPECT_EQ(canvas.Pen().Style, c.pen) << where;
    EXPECT_EQ(canvas.Brush(), c.brush) << where;
    if (c.texture) {
      EXPECT_EQ(canvas.BkColor(), rock) << where;
      EXPECT_EQ(canvas.BkMode(), c.bkMode) << where;
    }
  }
}

TEST(GeologySwatch, AFilledHatchPaintsBlackLinesOverTheRockColour) {
  TBHCollectionItem item;
  item.Color = 0x3366CC;
  item.Texture = true;
  item.HatchStyle = bsCross;
  TBitmap bitmap(40, 30);
  item.PaintSwatch(bitmap.Canvas(), 40, 30);

  EXPECT_EQ(bitmap.Pixel(4, 4), clWhite);     // outside the inset
  EXPECT_EQ(bitmap.Pixel(5, 12), clBlack);    // border at the left
  EXPECT_EQ(bitmap.Pixel(33, 12), clBlack);   // border at the right: 40 - 6 - 1
  EXPECT_EQ(bitmap.Pixel(34, 12), clWhite);
  int lines = 0, gaps = 0;
  for (int y = 7; y < 22; ++y)
    for (int x = 7; x < 32; ++x) {
      const bool line = HatchPixel(bsCross, x, y);
      EXPECT_EQ(bitmap.Pixel(x, y), line ? clBlack : item.Color) << x << "," << y;
      (line ? lines : gaps) += 1;
    }
  EXPECT_GT(lines, 0);
  EXPECT_GT(gaps, 0);
}

// ---- editors ---------------------------------------------------------------------------

TEST(GeologyEdit, WithoutDialogsEveryEditIsCancelled) {
  SetBHCollectionEditors(nullptr, nullptr);
  TBHDepthCollectionItem item = Clay();
  EXPECT_FALSE(item.Edit());
  EXPECT_FALSE(item.EditStyle());
  EXPECT_TRUE(item.Equals(Clay()));
}

TEST(GeologyEdit, EditStyleAssignsTheEditedStyleBackOnlyOnOk) {
  bool answer = false;
  int styleCalls = 0;
  TScopedEditors editors(
      [&](TBHCollectionItem& style) {
        ++styleCalls;
        // The style dialog edits a plain style, never the interval itself.
        EXPECT_EQ(dynamic_cast<TBHDepthCollectionItem*>(&style), nullptr);
        style.ShortName = "Gr";
        style.Color = 0x00FF00;
        return answer;
      },
      [](TBHDepthCollectionItem&) {
        ADD_FAILURE() << "interval dialog opened";
        return false;
      });

  TBHDepthCollectionItem item = Clay();
  EXPECT_FALSE(item.EditStyle());
  EXPECT_TRUE(item.Equals(Clay()));

  answer = true;
  EXPECT_TRUE(item.EditStyle());
  EXPECT_EQ(item.ShortName, "Gr");
  EXPECT_EQ(item.Color, 0x00FF00u);
  EXPECT_EQ(item.FullName, Clay().FullName);
  EXPECT_EQ(item.Top, 12.5f);
  EXPECT_EQ(styleCalls, 2);
}

TEST(GeologyEdit, AnIntervalOpensTheIntervalDialog) {
  int intervalCalls = 0;
  TScopedEditors editors([](TBHCollectionItem&) { return false; },
                         [&](TBHDepthCollectionItem& item) {
                           ++intervalCalls;
                           item.Top = 1;
                           return true;
                         });
  TBHDepthCollectionItem item;
  EXPECT_TRUE(item.Edit());
  EXPECT_EQ(item.Top, 1.0f);
  EXPECT_EQ(intervalCalls, 1);
  TBHCollectionItem style;
  EXPECT_FALSE(style.Edit());
  EXPECT_EQ(intervalCalls, 1);
}

}  // namespace
}  // namespace qira

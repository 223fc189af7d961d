#include "model/GraphParams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <tuple>

#include "model/StreamHelpers.h"
#include "platform/Rounding.h"
#include "support/HeapPeak.h"
#include "support/PaletteFixtures.h"
#include "support/ScratchFolder.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

// The stored fields of each set, for one-line comparisons.
auto Fields(const TBrushParams& b) {
  return std::tuple(b.Enabled, b.Texture, int(b.TextureStyle), b.TextureColor, b.Back, b.BackColor);
}
auto Fields(const TLineParams& l) { return std::tuple(l.Enabled, l.Color, int(l.Style), int(l.Mode), l.Width); }
auto Fields(const TFontParams& f) {
  return std::tuple(f.Enabled, f.Face, f.Size, f.Color, int(f.Style), int(f.VAlign), int(f.HAlign), f.Framed,
                    Fields(f.FrameLine), Fields(f.Filling), f.HDistance, f.VDistance);
}

// A font set with every stored field away from its default.
TFontParams OddFont() {
  TFontParams f;
  f.Enabled = false;
  f.Face = "Grüße Sans";
  f.Size = 17;
  f.Color = 0x00123456;
  f.Style = fsItalic | fsStrikeOut;
  f.VAlign = 1;
  f.HAlign = 0;
  f.Framed = true;
  f.FrameLine.Color = 0x0000FF;
  f.FrameLine.Style = psDashDot;
  f.FrameLine.Mode = pmXor;
  f.FrameLine.Width = 4;
  f.Filling.Enabled = false;
  f.Filling.Texture = true;
  f.Filling.TextureStyle = bsCross;
  f.Filling.TextureColor = 0x00FF00;
  f.Filling.Back = true;
  f.Filling.BackColor = 0x010203;
  f.HDistance = 9;
  f.VDistance = -4;
  return f;
}

TEST(GraphParamsAssign, CopiesTheFieldsButNotTheNameAndAcrossClassesOnlyEnabled) {
  TFontParams f;
  f.Name = "Labels";
  f.Assign(OddFont());
  EXPECT_EQ(Fields(f), Fields(OddFont()));
  EXPECT_EQ(f.Name, "Labels");
  EXPECT_EQ(f.FrameLine.Name, "Font_Line");
  TLineParams l;
  TBrushParams b;
  b.Enabled = false;
  l.Assign(b);
  EXPECT_EQ(Fields(l), std::tuple(false, 0u, 0, 4, 0));
}

// ---- applying to a canvas ------------------------------------------------------

class GraphParamsCanvas : public ::testing::Test {
 protected:
  void SetUp() override { EnsureTestApplication(); }
  TBitmap bitmap_{200, 100};
  TCanvas& canvas_ = bitmap_.Canvas();
};

TEST_F(GraphParamsCanvas, LineSetsThePenAndADisabledOneOnlyClearsItsStyle) {
  TLineParams l;
  l.Color = 0x00AA55;
  l.Style = psDot;
  l.Mode = pmNotXor;
  l.Width = 3;
  l.ApplyTo(canvas_);
  EXPECT_EQ(canvas_.Pen(), (TPen{0x00AA55, 3, psDot, pmNotXor}));
  canvas_.SetPen(TPen{0x123456, 5, psDash, pmXor});
  l.Enabled = false;
  l.ApplyTo(canvas_);
  EXPECT_EQ(canvas_.Pen(), (TPen{0x123456, 5, psClear, pmXor}));
}

TEST_F(GraphParamsCanvas, BrushWithoutTextureIsSolidOrClearAndADisabledOneIsClear) {
  TBrushParams b;
  b.BackColor = 0x00FF00;
  b.Back = true;
  b.ApplyTo(canvas_);
  EXPECT_EQ(canvas_.Brush(), (TBrush{0x00FF00, bsSolid}));
  b.Back = false;
  b.ApplyTo(canvas_);
  EXPECT_EQ(canvas_.Brush().Style, bsClear);
  canvas_.SetBrush(TBrush{0x00FF00, bsSolid});
  b.Back = true;
  b.Enabled = false;
  b.ApplyTo(canvas_);
  EXPECT_EQ(canvas_.Brush().Style, bsClear);
}

TEST_F(GraphParamsCanvas, TexturedBrushHatchesOverItsBackground) {
  TBrushParams b;
  b.Texture = true;
  b.TextureStyle = bsCross;
  b.TextureColor = 0x0000FF;
  b.BackColor = 0x00FFFF;
  b.Back = true;
  b.ApplyTo(canvas_);
  EXPECT_EQ(canvas_.Brush(), (TBrush{0x0000FF, bsCross}));
  EXPECT_EQ(canvas_.BkColor(), 0x00FFFFu);
  EXPECT_EQ(canvas_.BkMode(), bkOpaque);
  b.Back = false;
  b.ApplyTo(canvas_);
  EXPECT_EQ(canvas_.BkMode(), bkTransparent);
  // Through pixels: a filled rectangle has hatch lines in red and gaps untouched.
  canvas_.SetPenStyle(psClear);
  canvas_.Rectangle(0, 0, 40, 40);
  int red = 0, white = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) (bitmap_.Pixel(x, y) == 0x0000FF ? red : white) += 1;
  EXPECT_GT(red, 0);
  EXPECT_GT(white, 0);
  EXPECT_EQ(red + white, 256);
}

TEST_F(GraphParamsCanvas, AlignmentTable) {
  const uint32_t vertical[] = {TA_TOP, TA_BOTTOM, TA_BASELINE};
  const uint32_t horizontal[] = {TA_LEFT, TA_RIGHT, TA_CENTER};
  TFontParams f;
  for (uint8_t v = 0; v < 3; ++v)
    for (uint8_t h = 0; h < 3; ++h) {
      f.VAlign = v;
      f.HAlign = h;
      f.ApplyTo(canvas_);
      EXPECT_EQ(canvas_.TextAlign(), vertical[v] + horizontal[h]) << int(v) << " " << int(h);
    }
}

TEST_F(GraphParamsCanvas, ScaleDivisorDividesTheHeightAndStoredExtremesStayInTheEditorsRange) {
  TFontParams f;
  f.Size = 30;  // 40 pixels at 96 per inch
  f.ScaleDivisor = 3;
  f.ApplyTo(canvas_);
  const int32_t ppi = canvas_.Font().PixelsPerInch;
  EXPECT_EQ(canvas_.Font().Height, RoundToInt(-TFont::PointsToPixels(30, ppi) / 3.0));
  f.ScaleDivisor = 0;
  f.Size = INT32_MIN;
  f.ApplyTo(canvas_);
  EXPECT_EQ(canvas_.Font().Height, TFont::PointsToPixels(100000, ppi));
  f.Size = INT32_MAX;
  f.ApplyTo(canvas_);
  EXPECT_EQ(canvas_.Font().Height, -TFont::PointsToPixels(100000, ppi));
}

TEST_F(GraphParamsCanvas, FramedFontAppliesItsFrameSets) {
  TFontParams f;
  f.FrameLine.Color = 0x0000FF;
  f.FrameLine.Mode = pmCopy;
  f.Filling.Back = true;
  f.ApplyTo(canvas_);
  EXPECT_EQ(canvas_.Pen().Color, clBlack);  // not framed: the pen is left alone
  f.Framed = true;
  f.ApplyTo(canvas_);
  EXPECT_EQ(canvas_.Pen(), (TPen{0x0000FF, 0, psSolid, pmCopy}));
  EXPECT_EQ(canvas_.Brush(), (TBrush{0x808080, bsSolid}));
}

// The ink of the text and the box, in device pixels.
struct TInk {
  int left = INT32_MAX, top = INT32_MAX, right = INT32_MIN, bottom = INT32_MIN;
  int count = 0;
};

TInk InkOf(const TBitmap& bitmap, TColor colour) {
  TInk ink;
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x)
      if (bitmap.Pixel(x, y) == colour) {
        ink.left = std::min(ink.left, x);
        ink.right = std::max(ink.right, x);
        ink.top = std::min(ink.top, y);
        ink.bottom = std::max(ink.bottom, y);
        ++ink.count;
      }
  return ink;
}

TFontParams FramedTextFont() {
  TFontParams f;
  f.Face = PinnedFontFace();
  f.Size = 12;
  f.Framed = true;
  f.FrameLine.Color = 0x0000FF;
  f.FrameLine.Mode = pmCopy;
  f.Filling.Back = true;
  f.HDistance = 6;  // 8 pixels at 96 per inch
  f.VDistance = 3;  // 4 pixels
  return f;
}

TEST_F(GraphParamsCanvas, CentredTextAndItsFrameAreCentredOnThePoint) {
  const TFontParams f = FramedTextFont();
  f.ApplyTo(canvas_);
  const TSize extent = canvas_.TextExtent("Hg");
  f.TextOut(canvas_, 100, 50, "Hg");
  const int W = extent.cx + 16;
  const int H = extent.cy + 8;
  const TInk frame = InkOf(bitmap_, 0x0000FF);
  EXPECT_EQ(frame.left, 100 - W / 2);
  EXPECT_EQ(frame.right, 100 + W / 2 - 1);
  EXPECT_EQ(frame.top, 50 - H / 2);
  EXPECT_EQ(frame.bottom, 50 + H / 2 - 1);
  const TInk text = InkOf(bitmap_, clBlack);
  ASSERT_GT(text.count, 0);
  // Centring an odd width may fall either side by a pixel.
  EXPECT_GE(text.left, 100 - extent.cx / 2 - 1);
  EXPECT_LE(text.right, 100 - extent.cx / 2 + extent.cx);
  EXPECT_GE(text.top, 50 - extent.cy / 2);
  EXPECT_LT(text.bottom, 50 - extent.cy / 2 + extent.cy);
  // The text is written over the filling without a background of its own.
  for (int y = frame.top + 1; y < frame.bottom; ++y)
    for (int x = frame.left + 1; x < frame.right; ++x) ASSERT_NE(bitmap_.Pixel(x, y), clWhite) << x << "," << y;
}

TEST_F(GraphParamsCanvas, TopLeftTextHangsBelowAndRightOfThePointInsideItsFrame) {
  TFontParams f = FramedTextFont();
  f.VAlign = 0;
  f.HAlign = 0;
  f.ApplyTo(canvas_);
  const TSize extent = canvas_.TextExtent("Hg");
  f.TextOut(canvas_, 40, 30, "Hg");
  const TInk text = InkOf(bitmap_, clBlack);
  ASSERT_GT(text.count, 0);
  EXPECT_GE(text.left, 40);
  EXPECT_LT(text.right, 40 + extent.cx);
  EXPECT_GE(text.top, 30);
  EXPECT_LT(text.bottom, 30 + extent.cy);
  // The frame's centre is the text's centre.
  const TInk frame = InkOf(bitmap_, 0x0000FF);
  EXPECT_EQ(frame.left, 40 + extent.cx / 2 - (extent.cx + 16) / 2);
  EXPECT_EQ(frame.top, 30 + extent.cy / 2 - (extent.cy + 8) / 2);
}

// The frame arithmetic overflowed int32 with margins at the limits; the tests run
// under UndefinedBehaviorSanitizer with no recovery, so an overflow fails this test.
TEST_F(GraphParamsCanvas, HugeMarginsDoNotOverflow) {
  TFontParams f = FramedTextFont();
  f.HDistance = INT32_MAX;
  f.VDistance = INT32_MIN;
  f.TextOut(canvas_, 100, 50, "Hg");
  // The box outgrows the canvas, so the filling covers it with no outline in sight,
  // and the text still stands centred on the point.
  EXPECT_EQ(InkOf(bitmap_, 0x0000FF).count, 0);
  EXPECT_EQ(InkOf(bitmap_, clWhite).count, 0);
  f.ApplyTo(canvas_);
  const TSize extent = canvas_.TextExtent("Hg");
  const TInk text = InkOf(bitmap_, clBlack);
  ASSERT_GT(text.count, 0);
  EXPECT_GE(text.left, 100 - extent.cx / 2 - 1);
  EXPECT_LE(text.right, 100 - extent.cx / 2 + extent.cx);
  EXPECT_GE(text.top, 50 - extent.cy / 2);
  EXPECT_LT(text.bottom, 50 - extent.cy / 2 + extent.cy);
}

// ---- chunks read from an independent generator ---------------------------------

class StoredGraphParams : public TPaletteFixtures {
 protected:
  // What a writer gives for a set, as text to compare with the fixture's bytes.
  static std::string Written(const TGraphParams& p) {
    TMemoryStream s;
    EXPECT_TRUE(p.SaveToStream(s));
    return std::string(s.Data().begin(), s.Data().end());
  }
};

TEST_F(StoredGraphParams, BrushAndLineChunks) {
  TMemoryStream brush = Fixture("brush.bin");
  TBrushParams b;
  ASSERT_TRUE(b.LoadFromStream(brush));
  EXPECT_EQ(Fields(b), std::tuple(true, true, 4, 0x00FF00u, false, 0x808080u));
  EXPECT_EQ(Sentinel(brush), kSentinel);
  EXPECT_EQ(Written(b) + "ZZZZ", Bytes("brush.bin"));

  TMemoryStream line = Fixture("line.bin");
  TLineParams l;
  ASSERT_TRUE(l.LoadFromStream(line));
  EXPECT_EQ(Fields(l), std::tuple(false, 0x0000FFu, 3, 14, 5));
  EXPECT_EQ(Sentinel(line), kSentinel);
  EXPECT_EQ(Written(l) + "ZZZZ", Bytes("line.bin"));
}

TEST_F(StoredGraphParams, FontChunkWithItsNestedChunks) {
  TMemoryStream s = Fixture("font.bin");
  TFontParams f;
  ASSERT_TRUE(f.LoadFromStream(s));
  EXPECT_EQ(Fields(f), std::tuple(true, "Courier New", 14, 0x0000FFu, fsBold | fsUnderline, 1, 0, true,
                                  std::tuple(true, 0x00FF00u, 2, 4, 3),
                                  std::tuple(true, true, 6, 0x123456u, true, 0xABCDEFu), 5, 7));
  EXPECT_EQ(Sentinel(s), kSentinel);
  const std::string written = Written(f);
  EXPECT_EQ(written.size(), 72u + 11u);
  EXPECT_EQ(written + "ZZZZ", Bytes("font.bin"));
}

TEST_F(StoredGraphParams, RoundTripOfEverySet) {
  const TFontParams f = OddFont();
  TMemoryStream s;
  ASSERT_TRUE(f.FrameLine.SaveToStream(s));
  ASSERT_TRUE(f.Filling.SaveToStream(s));
  ASSERT_TRUE(f.SaveToStream(s));
  // The face is stored as Windows-1252: "Grüße Sans" takes 10 bytes.
  EXPECT_EQ(s.Size(), 19 + 20 + 72 + 10);
  s.Seek(0);
  TLineParams l;
  TBrushParams b;
  TFontParams g;
  ASSERT_TRUE(l.LoadFromStream(s));
  ASSERT_TRUE(b.LoadFromStream(s));
  ASSERT_TRUE(g.LoadFromStream(s));
  EXPECT_EQ(Fields(l), Fields(f.FrameLine));
  EXPECT_EQ(Fields(b), Fields(f.Filling));
  EXPECT_EQ(Fields(g), Fields(f));
  EXPECT_EQ(s.Remaining(), 0);
}

TEST_F(StoredGraphParams, NewerChunkIsSkippedAndChangesNothing) {
  TMemoryStream s = Fixture("brush_v1.bin");
  TBrushParams b;
  EXPECT_FALSE(b.LoadFromStream(s));
  EXPECT_EQ(Fields(b), Fields(TBrushParams()));
  EXPECT_EQ(Sentinel(s), kSentinel);
}

TEST_F(StoredGraphParams, NewerNestedChunkKeepsOnlyThatSet) {
  TMemoryStream s = Fixture("font_newer_line.bin");
  TFontParams f;
  ASSERT_TRUE(f.LoadFromStream(s));
  EXPECT_EQ(Fields(f.FrameLine), Fields(TFontParams().FrameLine));
  EXPECT_EQ(f.Filling.BackColor, 0xABCDEFu);
  EXPECT_EQ(f.VDistance, 7);
  EXPECT_EQ(Sentinel(s), kSentinel);
}

TEST_F(StoredGraphParams, StoredValuesOutsideTheirRangesReadAsTheIniDoes) {
  TMemoryStream s = Fixture("line_out_of_range.bin");
  TLineParams l;
  ASSERT_TRUE(l.LoadFromStream(s));
  EXPECT_EQ(Fields(l), std::tuple(true, 0x0000FFu, 0, 0, 0));
}

TEST_F(StoredGraphParams, EveryCutOfAFontChunkFailsAndChangesNothing) {
  const std::string bytes = Bytes("font.bin").substr(0, 72 + 11);
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    TMemoryStream s(bytes.data(), cut);
    TFontParams f = OddFont();
    EXPECT_THROW(f.LoadFromStream(s), EStreamError) << cut;
    EXPECT_EQ(Fields(f), Fields(OddFont()));
  }
}

// A face length past the stream's end, and one past the chunk's end that reaches over
// 8 MB behind it: found before the face is made.
TEST_F(StoredGraphParams, FaceLengthBeyondTheChunkFails) {
  for (const size_t behind : {size_t{0}, size_t{8} << 20}) {
    SCOPED_TRACE(behind);
    std::string bytes = Bytes("font.bin") + std::string(behind, 'x');
    const uint32_t length = behind == 0 ? 0x0100007F : static_cast<uint32_t>(bytes.size() - 13);
    for (int i = 0; i < 4; ++i) bytes[9 + i] = static_cast<char>(length >> (8 * i));
    TMemoryStream s(bytes.data(), bytes.size());
    TFontParams f;
#if defined(QIRA_HEAP_HOOKS)
    test::THeapPeak::Start();
#endif
    EXPECT_THROW(f.LoadFromStream(s), EStreamError);
#if defined(QIRA_HEAP_HOOKS)
    EXPECT_LT(test::THeapPeak::Stop(), int64_t{1} << 20);
#endif
    EXPECT_EQ(Fields(f), Fields(TFontParams()));
  }
}

// ---- ini sections --------------------------------------------------------------

class GraphParamsIni : public ::testing::Test {
 protected:
  TScratchFolder folder_;
  TIniFile ini_{folder_.File("params.ini")};
};

TEST_F(GraphParamsIni, FontSectionsInTheirOrder) {
  TFontParams f;
  f.SaveToIni(ini_);
  EXPECT_EQ(ini_.Text(),
            "[Font]\r\nEnabled=1\r\nFace=Arial\r\nSize=10\r\nColor=0\r\n"
            "Style0=0\r\nStyle1=0\r\nStyle2=0\r\nStyle3=0\r\nVAlign=2\r\nHAlign=2\r\nFramed=0\r\n"
            "HDistance=2\r\nVDistance=2\r\n"
            "[Font_Line]\r\nEnabled=1\r\nColor=0\r\nStyle=0\r\nMode=0\r\nWidth=0\r\n"
            "[Font_Filling]\r\nEnabled=1\r\nTexture=0\r\nTextureStyle=0\r\nTextureColor=0\r\n"
            "Back=0\r\nBackColor=8421504\r\n");
}

TEST_F(GraphParamsIni, RoundTripOfEverySet) {
  TFontParams f = OddFont();
  f.Name = "Axis labels";
  f.FrameLine.Name = "Axis line";
  f.Filling.Name = "Axis fill";
  f.SaveToIni(ini_);
  ASSERT_TRUE(ini_.UpdateFile());
  TIniFile reread(folder_.File("params.ini"));
  TFontParams g;
  g.Name = "Axis labels";
  g.FrameLine.Name = "Axis line";
  g.Filling.Name = "Axis fill";
  g.LoadFromIni(reread);
  EXPECT_EQ(Fields(g), Fields(f));
}

TEST_F(GraphParamsIni, MissingKeysTakeTheReadDefaults) {
  TBrushParams b;
  b.LoadFromIni(ini_);
  EXPECT_EQ(Fields(b), std::tuple(true, false, 0, 0xFF0000u, false, 0xFF0000u));
  TLineParams l;
  l.LoadFromIni(ini_);
  EXPECT_EQ(std::tuple(l.Enabled, int(l.Mode), l.Width), std::tuple(true, 0, 0));
  TFontParams f = OddFont();
  f.LoadFromIni(ini_);
  EXPECT_EQ(std::tuple(f.Enabled, f.Face, f.Size, f.Color, int(f.Style), int(f.VAlign), int(f.HAlign), f.Framed,
                       f.HDistance, f.VDistance, int(f.FrameLine.Mode), f.Filling.BackColor),
            std::tuple(true, "Arial", 10, 0u, 0, 0, 0, false, 0, 0, 0, 0xFF0000u));
}

TEST_F(GraphParamsIni, OutOfRangeIntegersAreReplaced) {
  struct Case {
    const char* section;
    const char* key;
    const char* text;
    int expected;
  } cases[] = {
      {"Brush", "TextureStyle", "9", 0},  {"Brush", "TextureStyle", "-1", 0}, {"Brush", "TextureStyle", "7", 7},
      {"Line", "Style", "7", 0},          {"Line", "Style", "6", 6},          {"Line", "Mode", "16", 0},
      {"Line", "Mode", "15", 15},         {"Line", "Mode", "-2", 0},          {"Line", "Width", "-3", 0},
      {"Line", "Width", "12", 12},        {"Font", "VAlign", "3", 0},         {"Font", "VAlign", "1", 1},
      {"Font", "HAlign", "-1", 0},        {"Font", "HAlign", "2", 2},         {"Line", "Mode", "x", 0},
  };
  for (const Case& c : cases) {
    TIniFile ini(folder_.File("none.ini"));
    ini.WriteString(c.section, c.key, c.text);
    TBrushParams b;
    TLineParams l;
    TFontParams f;
    b.LoadFromIni(ini);
    l.LoadFromIni(ini);
    f.LoadFromIni(ini);
    const std::map<std::string, int> read = {{"Brush.TextureStyle", b.TextureStyle}, {"Line.Style", l.Style},
                                             {"Line.Mode", l.Mode}, {"Line.Width", l.Width},
                                             {"Font.VAlign", f.VAlign}, {"Font.HAlign", f.HAlign}};
    EXPECT_EQ(read.at(std::string(c.section) + "." + c.key), c.expected) << c.section << "." << c.key << "=" << c.text;
  }
}

TEST_F(GraphParamsIni, FontStyleBitsAreFourBooleans) {
  ini_.WriteString("Font", "Style1", "1");
  ini_.WriteString("Font", "Style3", "1");
  TFontParams f;
  f.LoadFromIni(ini_);
  EXPECT_EQ(f.Style, fsItalic | fsStrikeOut);
}

// ---- editors -------------------------------------------------------------------

TEST(GraphParamsEditors, FontEditorOrSystemDialog) {
  int editorCalls = 0;
  TFontParams::Editor = [&](TFontParams&) {
    ++editorCalls;
    return true;
  };
  TFontParams::SystemFontDialog = [](TFontChoice& choice) {
    EXPECT_EQ(choice.Face, "Arial");
    EXPECT_EQ(choice.Size, 10);
    choice.Face = "Courier New";
    choice.Size = 22;
    choice.Color = 0x0000FF;
    choice.Style = fsBold | 0x40;
    return true;
  };
  TFontParams f;
  EXPECT_TRUE(f.Edit());
  EXPECT_EQ(editorCalls, 1);
  EXPECT_EQ(f.Face, "Arial");
  f.UseSystemDialog = true;
  EXPECT_TRUE(f.Edit());
  EXPECT_EQ(editorCalls, 1);
  EXPECT_EQ(f.Face, "Courier New");
  EXPECT_EQ(f.Size, 22);
  EXPECT_EQ(f.Color, 0x0000FFu);
  EXPECT_EQ(f.Style, fsBold);
  TFontParams::Editor = nullptr;
  TFontParams::SystemFontDialog = nullptr;
}

}  // namespace
}  // namespace qira

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "chart/draw/ChartTestSupport.h"
#include "chart/draw/ChartText.h"

namespace qira {
namespace {

using test::ChartSurface;

TEST(ChartTextSize, PlainTextMeasuresAsTheCanvasText) {
  ChartSurface s(10, 10);
  const TSize size = HtmlTextSize(s.canvas, "Chart axis");
  EXPECT_EQ(size.cx, s.canvas.TextWidth("Chart axis"));
  EXPECT_EQ(size.cy, s.canvas.TextHeight("Chart axis"));
}

TEST(ChartTextSize, ALineBreakMeasuresTheWiderLineAndOneLineHeight) {
  ChartSurface s(10, 10);
  const TSize size = HtmlTextSize(s.canvas, "W<BR>i");
  EXPECT_EQ(size.cx, s.canvas.TextWidth("W"));
  EXPECT_EQ(size.cy, s.canvas.FontHeight());
}

TEST(ChartTextSize, FontSizesAreAbsoluteOrRelative) {
  ChartSurface s(10, 10);
  TFont f = s.Device().Font();
  f.SetSize(10);
  s.Device().SetFont(f);
  const auto heightAt = [&](int points) {
    TFont g = f;
    g.SetSize(points);
    s.Device().SetFont(g);
    const int32_t h = s.canvas.TextHeight("W");
    s.Device().SetFont(f);
    return h;
  };
  EXPECT_EQ(HtmlTextSize(s.canvas, "<FONT SIZE=+2>W").cy, heightAt(12));
  s.Device().SetFont(f);
  EXPECT_EQ(HtmlTextSize(s.canvas, "<FONT SIZE=\"20\">W").cy, heightAt(20));
  s.Device().SetFont(f);
  EXPECT_EQ(HtmlTextSize(s.canvas, "<FONT size=+20>W</FONT>").cy, heightAt(30));
  EXPECT_EQ(s.Device().Font().Size(), 10);
}

// BIG, SMALL and the headings open a font with no closing form: "</H1>" is drawn as
// text in the heading's font, and the font holds to the end.
TEST(ChartTextSize, SizeTagsHaveNoClosingFormAndTheirFontHolds) {
  const struct {
    const char* tag;
    int points;  // with the canvas font at 10 points
  } table[] = {{"BIG", 12}, {"SMALL", 8}, {"H1", 48}, {"H2", 36}, {"H3", 24}, {"H4", 18}, {"H5", 12}, {"H6", 8}};
  for (const auto& row : table) {
    ChartSurface s(10, 10);
    TFont f = s.Device().Font();
    f.SetSize(10);
    s.Device().SetFont(f);
    const int32_t startHeight = s.canvas.FontHeight();
    const std::string tag = row.tag;
    const TSize size = HtmlTextSize(s.canvas, "<" + tag + ">W</" + tag + ">W");
    TFont sized = f;
    sized.SetSize(row.points);
    s.Device().SetFont(sized);
    EXPECT_EQ(size.cx, 2 * s.canvas.TextWidth("W") + s.canvas.TextWidth("</" + tag + ">")) << row.tag;
    EXPECT_EQ(size.cy, std::max(startHeight, s.canvas.TextHeight("W"))) << row.tag;
  }
}

TEST(ChartTextErrors, MalformedMarkupRaisesItsText) {
  const struct {
    const char* text;
    const char* message;
  } table[] = {
      {"abc<B", "Missing > at <B"},
      {"<FONT WEIGHT=HEAVY>x", "Unknown field in FONT WEIGHT=HEAVY"},
      {"<FONT SHAPE=round>x", "Unknown field in FONT: SHAPE"},
  };
  for (const auto& row : table) {
    ChartSurface s(10, 10);
    try {
      HtmlTextSize(s.canvas, row.text);
      ADD_FAILURE() << row.text;
    } catch (const HtmlParserException& e) {
      EXPECT_EQ(std::string(e.what()), row.message);
    }
  }
}

TEST(ChartTextFaults, UnmatchedClosingTagsAreIgnored) {
  ChartSurface plain(200, 60), unmatched(200, 60);
  HtmlTextOut(plain.canvas, 10, 10, "abc");
  HtmlTextOut(unmatched.canvas, 10, 10, "</B></SUB></SUPER></FONT></FONT></PRE></>abc</I>");
  EXPECT_EQ(plain.bitmap.Image(), unmatched.bitmap.Image());
  EXPECT_EQ(unmatched.Device().Font(), plain.Device().Font());
}

// A closing style tag only turns its style off; "</>" closes the last style tag
// still opened, which may be one already closed by name.
TEST(ChartTextStyles, TheEmptyClosingTagClosesTheLastOpenedStyleTag) {
  const struct {
    const char* text;
    TFontStyles after;  // the canvas font's style once the text is measured
  } table[] = {
      {"<I><B>x</B></>y", fsItalic},
      {"<B><I>x</>y", fsBold},
      {"<STRONG><U>x</></>y", 0},
      {"<STRIKE>x</STRIKE><B>y</>z", 0},
      {"<I>x</I></>y", 0},
      {"<U><I>x</U>y", fsItalic},
  };
  for (const auto& row : table) {
    ChartSurface s(10, 10);
    HtmlTextSize(s.canvas, row.text);
    EXPECT_EQ(s.Device().Font().Style, row.after) << row.text;
  }
}

// Numbers past the chart's coordinates move the pen, and sizes the font, to their
// edge, not around int.
TEST(ChartTextFaults, HugeSizesStopAtTheEdgeOfTheChartCoordinates) {
  const struct {
    const char* text;
    int32_t width;   // measured; -1: that of "x" in the font the text leaves
    int32_t points;  // the size of the font the text leaves; 0: the size it began with
  } table[] = {
      {"<IMG WIDTH=2147483647>x", kChartCoordLimit, 0},
      {"<IMG WIDTH=2000000000><IMG WIDTH=2000000000>x", kChartCoordLimit, 0},
      {"<IMG HEIGHT=2147483647><HR>", 0, 0},
      {"<IMG WIDTH=-2147483647><IMG WIDTH=-2147483647>", 0, 0},
      {"<FONT SIZE=+2147483647>x", -1, kChartCoordLimit},
      {"<FONT SIZE=-2147483647><FONT SIZE=-2147483647>x", -1, -kChartCoordLimit},
  };
  for (const auto& row : table) {
    ChartSurface s(50, 50);
    TFont edge = s.Device().Font();
    if (row.points != 0) edge.SetSize(row.points);
    HtmlTextOut(s.canvas, 40, 40, row.text);
    const TSize size = HtmlTextSize(s.canvas, row.text);
    EXPECT_EQ(size.cx, row.width >= 0 ? row.width : s.canvas.TextWidth("x")) << row.text;
    EXPECT_EQ(s.Device().Font().Height, edge.Height) << row.text;
  }
}

TEST(ChartTextFaults, SubscriptsAndSuperscriptsDoNotDriftOverALongText) {
  ChartSurface s(2000, 200);
  std::string text = "W";
  for (int i = 0; i < 40; ++i) text += "<SUB>x</SUB><SUPER>y</SUPER>";
  text += "W";
  HtmlTextOut(s.canvas, 10, 60, text);
  const int32_t w = s.canvas.TextWidth("W");
  const TRect first = s.Ink({10, 0, 10 + w - 1, 200});
  const TRect all = s.Ink();
  const TRect last = s.Ink({all.Right - w + 1, 0, all.Right, 200});
  EXPECT_EQ(first.Top, last.Top);
  EXPECT_EQ(first.Bottom, last.Bottom);
}

TEST(ChartTextDrawing, TagsChangeTheFontOnlyBetweenThemAndEntitiesStandForTheirCharacters) {
  ChartSurface marked(300, 60), plain(300, 60);
  HtmlTextOut(marked.canvas, 5, 5, "<B>&lt;a&gt;</B> b");
  plain.Device().SetBkMode(bkTransparent);
  TFont bold = plain.Device().Font();
  bold.Style = fsBold;
  plain.Device().SetFont(bold);
  plain.canvas.TextOut(5, 5, "<a>");
  const int32_t x = 5 + plain.canvas.TextWidth("<a>");
  plain.Device().SetFont(marked.Device().Font());
  plain.canvas.TextOut(x, 5, " b");
  EXPECT_EQ(marked.bitmap.Image(), plain.bitmap.Image());
}

}  // namespace
}  // namespace qira

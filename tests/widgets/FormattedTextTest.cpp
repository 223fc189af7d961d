#include <gtest/gtest.h>

#include <QApplication>
#include <QStyle>

#include <memory>
#include <string>
#include <string_view>

#include "platform/Canvas.h"
#include "support/TestApplication.h"
#include "widgets/FormattedText.h"

namespace qira {
namespace {

TFont PinnedFont(int32_t height = -13) {
  TFont f;
  f.Name = PinnedFontFace();
  f.Height = height;
  return f;
}

class FormattedText : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureTestApplication();
    bitmap.SetSize(300, 120);
    Clear();
  }

  void Clear() {
    TCanvas& c = bitmap.Canvas();
    c.SetBrush(TBrush{clWhite, bsSolid});
    c.FillRect(TRect{0, 0, bitmap.Width(), bitmap.Height()});
    c.SetFont(PinnedFont());
  }

  TFormattedTextResult Measure(const std::string& text, TFormattedTextParams p = {}) {
    p.CheckHeight = true;
    TFormattedTextResult r;
    RenderFormattedText(bitmap.Canvas(), text, TRect{0, 0, 300, 120}, p, r);
    return r;
  }

  TFormattedTextResult Draw(const std::string& text, TFormattedTextParams p = {}, TRect rect = {0, 0, 300, 120}) {
    Clear();
    TFormattedTextResult r;
    RenderFormattedText(bitmap.Canvas(), text, rect, p, r);
    return r;
  }

  bool HitTest(const std::string& text, int32_t x, int32_t y, TFormattedTextResult& r) {
    TFormattedTextParams p;
    p.CheckHotSpot = true;
    p.XPos = x;
    p.YPos = y;
    return RenderFormattedText(bitmap.Canvas(), text, TRect{0, 0, 300, 120}, p, r);
  }

  // Pixels of exactly this colour in the columns [x0, x1).
  int Count(TColor color, int32_t x0 = 0, int32_t x1 = 300) const {
    int n = 0;
    for (int32_t y = 0; y < bitmap.Height(); ++y)
      for (int32_t x = x0; x < x1; ++x)
        if (bitmap.Pixel(x, y) == color) ++n;
    return n;
  }

  // Leftmost and rightmost columns holding a pixel of this colour (-1 when none).
  std::pair<int32_t, int32_t> Columns(TColor color) const {
    int32_t lo = -1, hi = -1;
    for (int32_t x = 0; x < bitmap.Width(); ++x)
      for (int32_t y = 0; y < bitmap.Height(); ++y)
        if (bitmap.Pixel(x, y) == color) {
          if (lo < 0) lo = x;
          hi = x;
          break;
        }
    return {lo, hi};
  }

  int32_t Width(const std::string& plain) { return bitmap.Canvas().TextWidth(plain); }
  int32_t Height() { return bitmap.Canvas().TextHeight("gh"); }

  TBitmap bitmap;
};

// ---------------------------------------------------------------- plain text

struct TStripCase {
  std::string text;
  std::string plain;
};

std::string Repeated(std::string_view piece, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) out += piece;
  return out;
}

class StripFormattingCases : public ::testing::TestWithParam<TStripCase> {};

TEST_P(StripFormattingCases, GivesThePlainTextOfACaption) {
  EXPECT_EQ(StripFormatting(GetParam().text), GetParam().plain);
}

INSTANTIATE_TEST_SUITE_P(
    Table, StripFormattingCases,
    ::testing::Values(TStripCase{"Borehole 1", "Borehole 1"}, TStripCase{"<b>Bold</b> name", "Bold name"},
                      TStripCase{"one<br>two<HR>three", "one\r\ntwo\r\nthree"},
                      TStripCase{"a<z>hidden</z>b", "ab"}, TStripCase{"a<Z>hidden</Z>b<z>x</z>c", "abc"},
                      TStripCase{"a<z>unclosed", "aunclosed"}, TStripCase{"a < b", "a < b"},
                      TStripCase{"x&amp;y", "x&amp;y"}, TStripCase{"<a href=\"l\">link</a>", "link"},
                      TStripCase{"", ""}, TStripCase{"<<>>", ">"},
                      // Each unclosed hidden tag would search to the end, each line
                      // break move the rest of the text: minutes, not milliseconds.
                      TStripCase{Repeated("<z>", 300000), ""},
                      TStripCase{Repeated("a<Br>", 900000), Repeated("a\r\n", 900000)}));

// ---------------------------------------------------------------- colours

TEST(FormattedTextColors, HexValuesReadRedGreenBlueInThatOrderInEitherCase) {
  EXPECT_EQ(HexColorToColor("#FF0000"), clRed);
  EXPECT_EQ(HexColorToColor("#00ff00"), clLime);
  EXPECT_EQ(HexColorToColor("#0000FF"), clBlue);
  EXPECT_EQ(HexColorToColor("#102030"), MakeColor(0x10, 0x20, 0x30));
  EXPECT_EQ(HexColorToColor("#1"), MakeColor(0x10, 0, 0)) << "a short value reads no further than its end";
  EXPECT_EQ(HexColorToColor("#"), clBlack);
}

TEST(FormattedTextColors, NamesGiveTheirColoursAndUnknownNamesBlack) {
  EXPECT_EQ(FormatColorByName("clred"), 0x0000FFu);
  EXPECT_EQ(FormatColorByName("clnavy"), 0x800000u);
  EXPECT_EQ(FormatColorByName("clhighlight"), 0xFF00000Du);
  EXPECT_EQ(FormatColorByName("clinfobk"), 0xFF000018u);
  EXPECT_EQ(FormatColorByName("clRed"), clBlack) << "names are looked up lower-case";
  EXPECT_EQ(FormatColorByName("nonsense"), clBlack);
  EXPECT_EQ(ColorToRGB(0xFF000005u), clWhite);
  EXPECT_EQ(ColorToRGB(0xFF0000FFu), clBlack) << "an index beyond the scheme is black";
}

TEST(FormattedTextGradient, BandsStepEvenlyAndRoundHalvesToEven) {
  EnsureTestApplication();
  TBitmap b(100, 10);
  GradientFill(b.Canvas(), clBlack, clWhite, true, TRect{0, 0, 100, 10}, 2, clNone);
  EXPECT_EQ(b.Pixel(10, 5), clBlack);
  EXPECT_EQ(b.Pixel(80, 5), MakeColor(128, 128, 128)) << "255 / 2 = 127.5 rounds to 128";
  GradientFill(b.Canvas(), clBlack, clWhite, false, TRect{0, 0, 100, 10}, 0, clRed);
  EXPECT_EQ(b.Pixel(50, 5), clBlack) << "0 steps count as 1";
  EXPECT_EQ(b.Pixel(0, 0), clRed) << "the frame";
}

// ---------------------------------------------------------------- measuring

TEST_F(FormattedText, PlainNameIsOneRunInTheCanvasFont) {
  const TFormattedTextResult r = Measure("Borehole 1");
  EXPECT_EQ(r.XSize, Width("Borehole 1") + 2);
  EXPECT_EQ(r.YSize, Height());
  EXPECT_EQ(r.StripVal, "Borehole 1");
  EXPECT_EQ(r.HyperLinks, 0);
}

TEST_F(FormattedText, EmptyTextIsOneLineHigh) {
  const TFormattedTextResult r = Measure("");
  EXPECT_EQ(r.XSize, 0);
  EXPECT_EQ(r.YSize, Height());
}

TEST_F(FormattedText, BoldAndItalicChangeTheWidthOnlyInsideTheirTags) {
  const int32_t plain = Measure("Name Name").XSize;
  EXPECT_GT(Measure("<b>Name</b> Name").XSize, plain);
  EXPECT_EQ(Measure("<B>Name</B>").XSize, Measure("<b>Name</b>").XSize) << "tag names ignore case";
  TFont bold = PinnedFont();
  bold.Style = fsBold;
  bitmap.Canvas().SetFont(bold);
  const int32_t boldName = bitmap.Canvas().TextWidth("Name");
  bitmap.Canvas().SetFont(PinnedFont());
  EXPECT_EQ(Measure("<b>Name</b> Name").XSize, boldName + Width(" Name") + 2);
  EXPECT_EQ(bitmap.Canvas().Font(), PinnedFont()) << "the canvas font is restored";
}

TEST_F(FormattedText, LineBreaksStackLinesAndShowInThePlainText) {
  const TFormattedTextResult r = Measure("first<br>second");
  EXPECT_EQ(r.YSize, 2 * Height());
  EXPECT_EQ(r.StripVal, "first\rsecond");
  EXPECT_EQ(r.XSize, Width("second") + 2);
  EXPECT_EQ(Measure("first\r\nsecond").YSize, 2 * Height()) << "a carriage return is a line break";
  EXPECT_EQ(Measure("a<hr>b").YSize, 2 * Height());
}

TEST_F(FormattedText, FontSizeTakesTheFiveStepsOrAPointSize) {
  TFont twelve = PinnedFont();
  twelve.SetSize(12);
  TFont twenty = PinnedFont();
  twenty.SetSize(20);
  TCanvas& c = bitmap.Canvas();
  c.SetFont(twelve);
  const int32_t h12 = c.TextHeight("gh");
  c.SetFont(twenty);
  const int32_t h20 = c.TextHeight("gh");
  c.SetFont(PinnedFont());
  EXPECT_EQ(Measure("<font size=\"3\">X</font>").YSize, h12);
  EXPECT_EQ(Measure("<font size=20>X</font>").YSize, h20) << "SIZE reads with or without quotes";
}

TEST_F(FormattedText, HiddenTextTakesNoRoomButStaysInThePlainText) {
  const TFormattedTextResult r = Measure("a<z>bbb</z>c");
  EXPECT_EQ(r.XSize, Width("ac") + 2);
  EXPECT_EQ(r.StripVal, "abbbc");
}

TEST_F(FormattedText, AmpersandsArePrefixesUnlessOneStandsBetweenSpaces) {
  EXPECT_EQ(Measure("a & b && c").XSize, Width("a & b && c") + 2) << "no prefix processing";
  EXPECT_EQ(Measure("a&&b").XSize, Width("a&b") + 2);
  EXPECT_EQ(Measure("&File").XSize, Width("File") + 2);
  EXPECT_EQ(Measure("x&AMP;y").XSize, Width("x&y") + 2) << "entities ignore case";
  EXPECT_EQ(Measure("x&NBSP;y").XSize, Width("xNBSP;y") + 2) << "run entities are lower-case only";
  EXPECT_EQ(Measure("x&nbsp;y").XSize, Width("x y") + 2);
  EXPECT_EQ(Measure("&lt;b&gt;").XSize, Width("<b>") + 2);
  EXPECT_EQ(Measure("5&euro;").StripVal, "5\xE2\x82\xAC");
}

TEST_F(FormattedText, UnfinishedTagsDropTheRestOfTheText) {
  EXPECT_EQ(Measure("abc<").StripVal, "abc");
  EXPECT_EQ(Measure("abc<x").StripVal, "abc");
  EXPECT_EQ(Measure("ab<b never closed").StripVal, "ab");
  EXPECT_EQ(Measure("a<unknown tag>b").StripVal, "ab");
  EXPECT_EQ(Measure("a<1>b").StripVal, "ab");
  EXPECT_EQ(Measure("<#hash>tail").StripVal, "#hashtail");
}

TEST_F(FormattedText, WordWrapKeepsAnOverlongWordOnItsOwnLine) {
  TFormattedTextParams p;
  p.WordWrap = true;
  p.CheckHeight = true;
  TFormattedTextResult r;
  const int32_t narrow = Width("ab ") + 4;
  RenderFormattedText(bitmap.Canvas(), "ab averyveryverylongword cd", TRect{0, 0, narrow, 500}, p, r);
  EXPECT_EQ(r.YSize, 3 * Height());
  EXPECT_EQ(r.StripVal, "ab averyveryverylongword cd");
}

// ---------------------------------------------------------------- drawing

TEST_F(FormattedText, ColourTagsPaintTheirRunsAndLeaveSelectedRowsAlone) {
  Draw("<font color=\"clred\">Red</font>Black");
  const auto red = Columns(clRed);
  const auto black = Columns(clBlack);
  ASSERT_GE(red.first, 0);
  ASSERT_GE(black.first, 0);
  EXPECT_LT(red.second, black.first) << "red run first, black after the closing tag";
  Draw("<font color=\"#00FF00\">Green</font>");
  EXPECT_GT(Count(clLime), 0);
  TFormattedTextParams selected;
  selected.Selected = true;
  Draw("<font color=\"clred\">Red</font>", selected);
  EXPECT_EQ(Count(clRed), 0);
  EXPECT_GT(Count(clBlack), 0);
}

TEST_F(FormattedText, LinksTakeTheLinkColourAndClosingRestoresTheCallsFontColour) {
  TFormattedTextParams p;
  p.URLColor = clBlue;
  const TFormattedTextResult r = Draw("<font color=\"clred\"><a href=\"doc\">Link</a>After</font>", p);
  EXPECT_EQ(r.HyperLinks, 1);
  const auto blue = Columns(clBlue);
  const auto black = Columns(clBlack);
  ASSERT_GE(blue.first, 0);
  ASSERT_GE(black.first, 0) << "after the link the canvas's colour, not the red in force before it";
  EXPECT_LT(blue.second, black.first);
  EXPECT_EQ(Count(clRed), 0);
}

TEST_F(FormattedText, LinkHitTestFindsTheLinkValueUnderThePoint) {
  const std::string text = "Go <a href=\"Docs/Page\">here</a> now";
  const int32_t linkLeft = 1 + Width("Go ");
  const int32_t linkRight = linkLeft + Width("here");
  const int32_t y = Height() / 2;
  TFormattedTextResult r;
  EXPECT_TRUE(HitTest(text, (linkLeft + linkRight) / 2, y, r));
  EXPECT_EQ(r.AnchorVal, "Docs/Page") << "the value keeps its case";
  EXPECT_EQ(r.MouseLink, 1);
  EXPECT_EQ(r.HoverRect.Left, linkLeft);
  EXPECT_EQ(r.HoverRect.Right, linkRight);
  EXPECT_FALSE(HitTest(text, 3, y, r));
  EXPECT_EQ(r.AnchorVal, "");
  EXPECT_FALSE(HitTest(text, linkRight + Width(" no"), y, r));
  EXPECT_FALSE(HitTest(text, (linkLeft + linkRight) / 2, Height() + 5, r)) << "below the line";
}

TEST_F(FormattedText, HighlightAndBackgroundColourFillBehindTheText) {
  Draw("<font bgcolor=\"clyellow\">Marked</font>");
  EXPECT_GT(Count(0x00FFFF), 20);
  Draw("<hi>Marked</hi>");
  EXPECT_GT(Count(ColorToRGB(0xFF00000Du)), 20);
  Draw("<p bgcolor=\"clsilver\">Para</p>");
  EXPECT_EQ(bitmap.Pixel(250, 2), clSilver) << "the paragraph background spans the line";
}

TEST_F(FormattedText, ShadowAndErrorMarkDrawBesideTheRun) {
  TFormattedTextParams p;
  p.ShadowColor = clGray;
  Draw("<shad>Shadow</shad>", p);
  EXPECT_GT(Count(clGray), 10);
  Draw("<e>Wrong</e>");
  EXPECT_GT(Count(clRed), 10);
}

TEST_F(FormattedText, IndexedImagesDrawAndTakeTheListsSize) {
  auto list = std::make_shared<THTMLImageList>();
  list->Width = 10;
  list->Height = 10;
  QImage red(10, 10, QImage::Format_RGB32);
  red.fill(QColor(255, 0, 0));
  list->Images.push_back(red);
  TFormattedTextParams p;
  p.Images = list.get();
  const TFormattedTextResult r = Draw("<img src=\"idx:0\">X", p);
  EXPECT_EQ(r.XSize, 10 + Width("X") + 2);
  EXPECT_EQ(Count(clRed), 100);
  EXPECT_EQ(Measure("<img src=\"IDX:1\">X", p).XSize, Width("X") + 2) << "an index beyond the list takes no room";
  EXPECT_EQ(Measure("<img src=\"IDX:0\">X").XSize, Width("X") + 2) << "no list, no room";
  TFormattedTextResult hit;
  p.CheckHotSpot = true;
  p.XPos = 5;
  p.YPos = Height() - 3;
  EXPECT_TRUE(RenderFormattedText(bitmap.Canvas(), "<img src=\"idx:0\">X", TRect{0, 0, 300, 120}, p, hit));
}

TEST_F(FormattedText, SystemIconsTakeTheIconSizeAndUnknownNamesTakeNoRoom) {
  const int32_t small = QApplication::style()->pixelMetric(QStyle::PM_SmallIconSize);
  const int32_t large = QApplication::style()->pixelMetric(QStyle::PM_LargeIconSize);
  const int32_t x = Width("X") + 2;
  EXPECT_EQ(Measure("<img src=\"SSYS:notes.txt\">X").XSize, small + x);
  EXPECT_EQ(Measure("<img src=\"lsys:notes.txt\">X").XSize, large + x);
  EXPECT_EQ(Measure("<img src=\"LSYS:notes.txt\">X").YSize, large);
  EXPECT_EQ(Measure("<img src=\"SSYS:" + std::to_string(QStyle::SP_DirIcon) + "\">X").XSize, small + x)
      << "a number is a standard icon";
  EXPECT_EQ(Measure("<img src=\"SSYS:no-such-icon-anywhere\">X").XSize, x);
  EXPECT_EQ(Measure("<img src=\"SSYS:\">X").XSize, x);
  EXPECT_EQ(Measure("<img src=\"SSYS:99999\">X").XSize, x);

  Draw("<img src=\"SSYS:notes.txt\">");
  int32_t drawn = 0, outside = 0;
  for (int32_t py = 0; py < bitmap.Height(); ++py)
    for (int32_t px = 0; px < bitmap.Width(); ++px)
      if (bitmap.Pixel(px, py) != clWhite) ++(px <= small && py < std::max(small, Height()) ? drawn : outside);
  EXPECT_GT(drawn, small) << "the icon is drawn";
  EXPECT_EQ(outside, 0) << "within the small icon's square";
  Draw("<img src=\"SSYS:no-such-icon-anywhere\">");
  EXPECT_EQ(Count(clWhite), bitmap.Width() * bitmap.Height());
}

TEST_F(FormattedText, PicturesByAddressLoadOnceIntoTheCacheAndUnknownSchemesTakeNoRoom) {
  THTMLPictureCache cache;
  TFormattedTextParams p;
  p.PictureCache = &cache;
  EXPECT_EQ(Measure("<img src=\"http://example/x.png\">X", p).XSize, Width("X") + 2);
  EXPECT_EQ(cache.Count(), 1u);
  Measure("<img src=\"http://example/x.png\">X", p);
  EXPECT_EQ(cache.Count(), 1u) << "found in the cache the second time";
  EXPECT_EQ(Measure("<img src=\"FILE:///no/such/file.png\">X", p).XSize, Width("X") + 2)
      << "a file that cannot be read draws nothing and takes no room";
}

const std::string kManyTags = Repeated("<b>", 300000);
const std::string kManyEntities = "<z>" + Repeated("&amp;amp;", 100000) + "</z>";
const std::string kLongRun = Repeated("x", 200000);
const std::string kManyPrefixes = Repeated("&x", 200000);

class FormattedTextMalformed : public FormattedText, public ::testing::WithParamInterface<const char*> {};

// Drawing lays the text out as measuring does (the tree sizes its rows by the
// measure), the link test finds at most the links there are, and the canvas
// comes back as it was.
TEST_P(FormattedTextMalformed, NeverFailsInAnyMode) {
  const TRect rect{0, 0, 40, 120};
  for (bool wrap : {false, true}) {
    TFormattedTextParams p;
    p.WordWrap = wrap;
    p.FocusLink = 0;
    p.HoverLink = 1;
    p.HoverStyle = wrap;
    p.HoverColor = 0x00FFFF;
    const TFormattedTextResult drawn = Draw(GetParam(), p, rect);
    EXPECT_EQ(bitmap.Canvas().Font(), PinnedFont()) << "wrap " << wrap;
    p.CheckHeight = true;
    TFormattedTextResult measured;
    RenderFormattedText(bitmap.Canvas(), GetParam(), rect, p, measured);
    EXPECT_EQ(drawn.StripVal, measured.StripVal) << "wrap " << wrap;
    EXPECT_EQ(drawn.XSize, measured.XSize) << "wrap " << wrap;
    EXPECT_EQ(drawn.YSize, measured.YSize) << "wrap " << wrap;
    EXPECT_EQ(drawn.HyperLinks, measured.HyperLinks) << "wrap " << wrap;
    EXPECT_GE(measured.YSize, 0) << "wrap " << wrap;
    TFormattedTextResult hit;
    const bool found = HitTest(GetParam(), 10, 5, hit);
    EXPECT_LE(hit.MouseLink, hit.HyperLinks) << "wrap " << wrap;
    if (!found) {
      EXPECT_EQ(hit.AnchorVal, "") << "wrap " << wrap;
    }
    EXPECT_EQ(bitmap.Canvas().Font(), PinnedFont()) << "wrap " << wrap;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, FormattedTextMalformed,
    ::testing::Values("<", "<x", "<b", "</", "<>", "</>", "<<<>>>", "<a href=\"", "<a href=\"x\">open link",
                      "</a></a></b></font></p></ul></r></sub>", "<font size=\"99999999999999\">x</font>",
                      "<font size=\"-5\" color=\"#zz\" face=\"\">x", "<font color=unquoted>x</font>",
                      "<p align=\"right\" indent=\"-100000\" bgcolor=\"#1\" bgcolorto=\"clred\">p</p>",
                      "<ul><li>a<li>b<ul><li>c</ul></ul>", "<li><li><li>", "<r a=\"90\">rot</r></r>",
                      "<sub>x</sub><sup>y</sup>", "<ind x=\"999999999\">i", "<of x=\"-50\">o</of>",
                      "<img>", "<img src=\"\" width=\"-1\" height=\"99999\">", "<img src=\"SSYS:x\">",
                      "<body bgcolor=\"clred\" bgcolorto=\"clblue\" dir=\"v\" background=\"idx:0\">b",
                      "&amp;amp;&amp;&", "&", "&&&&", "a\tb\tc", "\r\r\n\n", "<#", "<#>", "x<#y",
                      "<z>never closed", "<e>err", "<shad>", "<bl>blink</bl>", "<hr><hr><br>",
                      "\xFF\xFE<\xC3>\xE2\x82", "<a href=\"1\"><a href=\"2\">nested</a></a>",
                      // Runs or tags taken off the front one by one, each search for
                      // the next tag or blank from the front: minutes, not milliseconds.
                      kManyTags.c_str(), kManyEntities.c_str(),
                      // A run too wide for the rectangle cut one character at a time,
                      // or its underlined characters placed, each measured from the
                      // start of the run again.
                      kLongRun.c_str(), kManyPrefixes.c_str()));

}  // namespace
}  // namespace qira

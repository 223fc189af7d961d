// Bitmap fonts, the font rendered from a platform font, and flat text:
// metrics and tables callers rely on, and text drawn headless.
#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "platform/Canvas.h"
#include "platform/CanvasFont.h"
#include "platform/Picture.h"
#include "scene/components/Components.h"
#include "scene/gl/StateCache.h"
#include "scene/math/VectorGeometry.h"
#include "scene/objects/BitmapFonts.h"
#include "scene/objects/WindowsBitmapFont.h"
#include "support/HeadlessGL.h"
#include "support/TestApplication.h"
#include "support/VertexCalls.h"

namespace qira {
namespace {

// A flat text that counts the change notifications it receives.
class TCountingText : public TGLFlatText {
  QIRA_CLASS(TCountingText, TGLFlatText)
 public:
  TCountingText() = default;
  void NotifyChange(TObject* sender) override {
    Log->push_back(this);
    TGLFlatText::NotifyChange(sender);
  }
  std::vector<TObject*>* Log = nullptr;
};

// A picture of cells of 16 x 16: a black field with cell i filled in colours[i].
std::unique_ptr<TBitmapGraphic> CellsPicture(const std::vector<QRgb>& colours, int width = 0) {
  QImage image(width > 0 ? width : 16 * static_cast<int>(colours.size()), 16, QImage::Format_RGB32);
  image.fill(qRgb(0, 0, 0));
  for (size_t i = 0; i < colours.size(); ++i) {
    for (int y = 0; y < 16; ++y) {
      for (int x = static_cast<int>(i) * 16; x < std::min(image.width(), static_cast<int>(i + 1) * 16); ++x) {
        image.setPixel(x, y, colours[i]);
      }
    }
  }
  return std::make_unique<TBitmapGraphic>(image);
}

TFont PinnedFont(int32_t height, TFontStyles style = 0) {
  TFont f;
  f.Name = PinnedFontFace();
  f.Height = height;
  f.Color = clWhite;
  f.Style = style;
  return f;
}

// ------------------------------------------------------------- ranges

TEST(BitmapFontRanges, SettersKeepStartNotAboveStopAndGlyphIndexNotNegative) {
  TBitmapFontRanges ranges(nullptr);
  TBitmapFontRange& r = ranges.Add(80, 90);
  r.SetStartASCII(100);
  EXPECT_EQ(r.StartASCII(), 100);
  EXPECT_EQ(r.StopASCII(), 100);
  r.SetStopASCII(50);
  EXPECT_EQ(r.StartASCII(), 50);
  EXPECT_EQ(r.StopASCII(), 50);
  r.SetStartGlyphIdx(-4);
  EXPECT_EQ(r.StartGlyphIdx(), 0);
  r.SetStopASCII(60);
  r.SetStartGlyphIdx(3);
  EXPECT_EQ(r.GetDisplayName(), "ASCII [#50, #60] -> Glyphs [3, 13]");
  ranges.Add(200, 255);
  EXPECT_EQ(ranges.CharacterCount(), 11 + 56);
}

// ------------------------------------------------------------- metrics

TEST(BitmapFontMetrics, StringWidthCountsWidthsSpacesAndSpacingFix) {
  TGLBitmapFont font;
  font.SetCharWidth(static_cast<uint8_t>('a'), 10);
  font.SetCharWidth(static_cast<uint8_t>('b'), 12);
  EXPECT_EQ(font.CalcStringWidth("ab"), 23);
  EXPECT_EQ(font.CalcStringWidth(""), 0);
  // Non-ASCII text is measured in Windows-1252 codes, one per character.
  font.SetCharWidth(0xE9, 7);
  EXPECT_EQ(font.CalcStringWidth("a\xC3\xA9"), 10 + 7 + 1);
  font.ResetCharWidths();
  EXPECT_EQ(font.CharacterWidth('a'), 16);
}

TEST(BitmapFontMetrics, BlockAndLineOffsetsOfATwoLineText) {
  TGLBitmapFont font;
  font.SetCharHeight(20);
  font.SetVSpace(2);
  const std::string text = "ab\rabc";
  EXPECT_EQ(font.TextBlockOffset(text, TTextLayout::tlTop), 0);
  EXPECT_EQ(font.TextBlockOffset(text, TTextLayout::tlCenter), 21);
  EXPECT_EQ(font.TextBlockOffset(text, TTextLayout::tlBottom), 42);
  // Right-justified lines end at x = 0: each starts at minus its own width.
  EXPECT_EQ(font.LineStartOffset(text, 0, TAlignment::taRightJustify), -font.CodesWidth("ab"));
  EXPECT_EQ(font.LineStartOffset(text, 3, TAlignment::taRightJustify), -font.CodesWidth("abc"));
  EXPECT_EQ(font.LineStartOffset(text, 3, TAlignment::taCenter), -(3 * 16 + 2) / 2);
  EXPECT_EQ(font.LineStartOffset(text, 0, TAlignment::taLeftJustify), 0);
}

TEST(BitmapFontMetrics, InvalidationResetsWidthsAndTellsUsersLastFirst) {
  TGLBitmapFont font;
  std::vector<TObject*> log;
  TCountingText first;
  TCountingText second;
  first.Log = &log;
  second.Log = &log;
  first.SetBitmapFont(&font);
  second.SetBitmapFont(&font);
  font.SetCharWidth(static_cast<uint8_t>('x'), 3);
  log.clear();
  font.SetVSpace(4);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], &second);
  EXPECT_EQ(log[1], &first);
  EXPECT_EQ(font.CharacterWidth('x'), 16);
}

// ------------------------------------------------------------- glyph rectangles

TEST(BitmapFontGlyphsGL, RectanglesFollowTheCellGridAndUnmappedCodesStayZero) {
  EnsureTestApplication();
  auto gl = MakeHeadlessGLOrSkip(8, 8, 0);
  if (!gl) return;
  TGLBitmapFont font;
  font.Glyphs().SetGraphic(CellsPicture({qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)}, 40));
  font.SetGlyphsIntervalX(4);  // 40 + 4 over 16 + 4: two cells per row
  font.Ranges().Add('A', 'C');
  TGLStateCache cache;
  TRenderContextInfo rci;
  rci.GLStates = &cache;
  font.RenderString(rci, "A", TAlignment::taLeftJustify, TTextLayout::tlTop, VectorMake(1, 1, 1, 1));
  ASSERT_EQ(font.TextureWidth(), 64);
  ASSERT_EQ(font.TextureHeight(), 16);
  const TCharRect b = font.GetCharTexCoords('B');
  EXPECT_FLOAT_EQ(b.left, 20.05f / 64.0f);
  EXPECT_FLOAT_EQ(b.right, (20.0f + 16.0f - 0.05f) / 64.0f);
  EXPECT_FLOAT_EQ(b.top, (16.0f - 0.05f) / 16.0f);
  const TCharRect c = font.GetCharTexCoords('C');  // second row
  EXPECT_FLOAT_EQ(c.left, 0.05f / 64.0f);
  EXPECT_NEAR(c.top, (16.0 - 16.05) / 16.0, 1e-6);
  EXPECT_EQ(font.GetCharTexCoords('D'), TCharRect{});

  // A picture narrower than one cell holds no glyph.
  font.Glyphs().SetGraphic(CellsPicture({}, 8));
  EXPECT_EQ(font.GetCharTexCoords('A'), TCharRect{});
}

// ------------------------------------------------------------- flat text objects

TEST(FlatTextObject, FreeNotificationBothWays) {
  auto font = std::make_unique<TGLBitmapFont>();
  auto text = std::make_unique<TGLFlatText>();
  text->SetBitmapFont(font.get());
  ASSERT_EQ(font->Users().size(), 1u);
  font.reset();
  EXPECT_EQ(text->BitmapFont(), nullptr);

  font = std::make_unique<TGLBitmapFont>();
  text->SetBitmapFont(font.get());
  text.reset();
  EXPECT_TRUE(font->Users().empty());

  // Many texts of one font (a borehole's labels each), freed last first: each
  // registers and leaves on its own.
  constexpr size_t kMany = 80000;
  std::vector<std::unique_ptr<TGLFlatText>> texts(kMany);
  for (auto& t : texts) {
    t = std::make_unique<TGLFlatText>();
    t->SetBitmapFont(font.get());
  }
  EXPECT_EQ(font->Users().size(), kMany);
  EXPECT_EQ(font->Users().front(), texts.front().get()) << "in the order they came";
  while (!texts.empty()) texts.pop_back();
  EXPECT_TRUE(font->Users().empty());
}

// ------------------------------------------------------------- Windows font

TEST(WindowsBitmapFont, CellSizeComesFromTheFontAndItalicsOverlap) {
  EnsureTestApplication();
  TGLWindowsBitmapFont font;
  font.SetFont(PinnedFont(-20));
  font.LoadWindowsFont();
  TBitmap probe(1, 1);
  probe.Canvas().SetFont(PinnedFont(-20));
  const int32_t widest = std::max({probe.Canvas().TextWidth("_"), probe.Canvas().TextWidth("W"),
                                   probe.Canvas().TextWidth("M")});
  EXPECT_EQ(font.CharWidth(), widest + 2);
  EXPECT_EQ(font.CharHeight(), probe.Canvas().TextHeight("\"_pI|,") + 2);
  EXPECT_EQ(font.SpacingFix(), 0);
  EXPECT_EQ(font.CharacterWidth('W'), probe.Canvas().TextWidth("W"));
  EXPECT_EQ(font.CharacterWidth('~'), 0);  // 126 is outside the default range
  EXPECT_FALSE(font.StoreRanges());

  font.SetFont(PinnedFont(-20, fsItalic));
  font.LoadWindowsFont();
  probe.Canvas().SetFont(PinnedFont(-20, fsItalic));
  const int32_t italicWidest = std::max({probe.Canvas().TextWidth("_"), probe.Canvas().TextWidth("W"),
                                         probe.Canvas().TextWidth("M")}) + 2;
  EXPECT_EQ(font.SpacingFix(), -(italicWidest / 3));
  EXPECT_EQ(font.CharWidth(), italicWidest + italicWidest / 3);
  EXPECT_EQ(font.CharacterWidth('W'), probe.Canvas().TextWidth("W") + italicWidest / 3);
  // Measured widths are the natural ones: the italic widening is taken back.
  EXPECT_EQ(font.CalcStringWidth("WW"), 2 * probe.Canvas().TextWidth("W") + font.HSpace());
}

TEST(WindowsBitmapFont, DefaultRangePacksIntoTheSmallestSquarestTexture) {
  EnsureTestApplication();
  TGLWindowsBitmapFont font;
  font.SetFont(PinnedFont(-40));
  font.LoadWindowsFont();
  const int32_t n = font.Ranges().CharacterCount();
  ASSERT_EQ(n, 94);
  const int32_t w = font.Glyphs().Width();
  const int32_t h = font.Glyphs().Height();
  EXPECT_EQ(font.LayoutGlyphs(w, h, nullptr), n);
  for (int32_t sh : {64, 128, 256, 512}) {
    for (int32_t sw : {64, 128, 256, 512}) {
      if (font.LayoutGlyphs(sw, sh, nullptr) != n) continue;
      EXPECT_GE(sw * sh, w * h) << sw << "x" << sh;
      if (sw * sh == w * h) {
        EXPECT_GE(std::abs(sw - sh), std::abs(w - h));
      }
    }
  }
  // Every glyph's rectangle lies inside the texture.
  for (int c = 32; c <= 125; ++c) {
    const TCharRect r = font.GetCharTexCoords(static_cast<uint8_t>(c));
    EXPECT_GT(r.left, 0.0f);
    EXPECT_LT(r.right, 1.0f);
    EXPECT_LT(r.top, 1.0f);
    EXPECT_GT(r.bottom, 0.0f);
  }
}

TEST(WindowsBitmapFont, GlyphsThatCannotFitRaiseAndLeaveTheSizeAtSix) {
  EnsureTestApplication();
  TGLWindowsBitmapFont font;
  try {
    font.SetFont(PinnedFont(-200));
    font.LoadWindowsFont();
    FAIL() << "no exception";
  } catch (const EFontTextureTooSmall& e) {
    EXPECT_STREQ(e.what(), "Characters are too large or too many. Unable to create font texture.");
  }
  EXPECT_EQ(font.Font().Size(), 6);
  // One glyph wider than the widest texture never counts as placed.
  font.ResetCharWidths(0);
  font.SetCharWidth(static_cast<uint8_t>('A'), 600);
  EXPECT_EQ(font.LayoutGlyphs(512, 512, nullptr), 0);
}

// ------------------------------------------------------------- headless drawing

constexpr int kView = 64;

// A 64 x 64 context whose units are pixels: x right, y up, origin bottom left.
class PixelGL : public HeadlessGL {
 public:
  explicit PixelGL(int depthBits = 0) : HeadlessGL(kView, kView, depthBits) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, kView, 0.0, kView, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    Clear(0.0f, 0.0f, 1.0f);
  }
};

class FlatTextRenderGL : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureTestApplication();
    gl_ = MakeHeadlessGLOrSkip<PixelGL>();
    if (!gl_) return;
    rci_.GLStates = &cache_;
  }
  void TearDown() override {
    text_.reset();
    font_.reset();
    gl_.reset();
  }
  TGLFlatText& Text(TGLCustomBitmapFont& font, const std::string& s, float x, float y) {
    text_ = std::make_unique<TGLFlatText>();
    text_->SetBitmapFont(&font);
    text_->SetText(s);
    text_->Position().SetPoint(x, y, 0.0f);
    return *text_;
  }

  std::unique_ptr<PixelGL> gl_;
  TGLStateCache cache_;
  TRenderContextInfo rci_;
  std::unique_ptr<TGLCustomBitmapFont> font_;
  std::unique_ptr<TGLFlatText> text_;
};

const std::array<int, 3> kRed{255, 0, 0};
const std::array<int, 3> kGreen{0, 255, 0};
const std::array<int, 3> kBackground{0, 0, 255};

TEST_F(FlatTextRenderGL, GlyphCellsDrawLeftToRightFromTheTopLeftCorner) {
  if (!gl_) return;
  auto& font = static_cast<TGLBitmapFont&>(*(font_ = std::make_unique<TGLBitmapFont>()));
  font.Glyphs().SetGraphic(CellsPicture({qRgb(255, 0, 0), qRgb(0, 255, 0)}));
  font.Ranges().Add('A', 'B');
  font.SetGlyphsAlpha(TGLTextureImageAlpha::tiaOpaque);  // the top-left pixel is a glyph's
  cache_.EnableState(TGLState::stLighting);
  Text(font, "AB", 8.0f, 40.0f).Render(rci_);
  EXPECT_TRUE(NearRgb(ReadRgb(9, 25), kRed, 2));    // A: x 8..24, y 24..40
  EXPECT_TRUE(NearRgb(ReadRgb(22, 38), kRed, 2));
  EXPECT_TRUE(NearRgb(ReadRgb(27, 30), kGreen, 2));  // B from 8 + 16 + 1
  EXPECT_TRUE(NearRgb(ReadRgb(24, 30), kBackground, 2));  // the gap of HSpace
  EXPECT_TRUE(NearRgb(ReadRgb(9, 20), kBackground, 2));
  EXPECT_TRUE(NearRgb(ReadRgb(45, 30), kBackground, 2));
  // The state cache tells the truth afterwards.
  EXPECT_TRUE(cache_.States().Contains(TGLState::stLighting));
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

// What a text's draw sends is what a label's count takes at most, a quad of its UTF-8's
// every byte, and just that when every code is drawn: texts around a stretch's quads
// (131,072 vertices) and above, where the draw ends its batch to tell the queue; codes
// of two bytes; spaces and line ends, which draw none.
TEST_F(FlatTextRenderGL, ATextSendsNoMoreQuadsThanItsCountTakes) {
  if (!gl_) return;
  auto& font = static_cast<TGLBitmapFont&>(*(font_ = std::make_unique<TGLBitmapFont>()));
  font.Glyphs().SetGraphic(CellsPicture({qRgb(255, 0, 0)}));
  font.Ranges().Add('!', 255);
  const auto repeated = [](const std::string& part, int64_t times) {
    std::string text;
    for (int64_t i = 0; i < times; ++i) text += part;
    return text;
  };
  struct TRow {
    const char* Shape;
    std::string Text;
    int64_t Quads;  // drawn
  };
  constexpr int64_t kStretchQuads = 32768;
  const TRow rows[] = {
      {"below a stretch", std::string(kStretchQuads - 1, 'W'), kStretchQuads - 1},
      {"a stretch", std::string(kStretchQuads, 'W'), kStretchQuads},
      {"above a stretch", std::string(kStretchQuads + 1, 'W'), kStretchQuads + 1},
      {"above two stretches", std::string(2 * kStretchQuads + 3, 'W'), 2 * kStretchQuads + 3},
      {"codes of two bytes", repeated("\xC3\xA4", kStretchQuads + 1), kStretchQuads + 1},
      {"spaces and line ends", repeated("W W\r", 20000), 40000},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Shape);
    TGLFlatText& text = Text(font, row.Text, 8.0f, 40.0f);
    TVertexCalls calls;
    text.Render(rci_);
    const int64_t counted = TextQuadsAtMost(static_cast<int64_t>(row.Text.size())) * GlyphQuadVertices;
    EXPECT_EQ(calls.Quads(), row.Quads);
    EXPECT_EQ(calls.Vertices(), row.Quads * GlyphQuadVertices);
    EXPECT_LE(calls.Vertices(), counted);
  }
}

TEST_F(FlatTextRenderGL, TopLeftColourIsTransparentAndModulateColourTintsGlyphs) {
  if (!gl_) return;
  auto& font = static_cast<TGLBitmapFont&>(*(font_ = std::make_unique<TGLBitmapFont>()));
  QImage image(16, 16, QImage::Format_RGB32);
  image.fill(qRgb(0, 0, 0));
  for (int y = 4; y < 16; ++y) {
    for (int x = 4; x < 16; ++x) image.setPixel(x, y, qRgb(255, 255, 255));
  }
  font.Glyphs().SetGraphic(std::make_unique<TBitmapGraphic>(image));
  font.Ranges().Add('x', 'x');
  font.SetMagFilter(TGLMagFilter::maNearest);
  font.SetMinFilter(miNearest);
  TGLFlatText& text = Text(font, "x", 32.0f, 32.0f);
  text.ModulateColor().SetColor(VectorMake(0.0f, 1.0f, 0.0f, 1.0f));
  text.SetAlignment(TAlignment::taRightJustify);
  text.SetLayout(TTextLayout::tlBottom);
  text.Render(rci_);
  // Right-justified, bottom layout: the cell spans x 16..32, y 32..48.
  EXPECT_TRUE(NearRgb(ReadRgb(18, 46), kBackground, 2));  // black corner: transparent
  EXPECT_TRUE(NearRgb(ReadRgb(26, 38), kGreen, 2));       // white glyph tinted green
  EXPECT_TRUE(NearRgb(ReadRgb(36, 38), kBackground, 2));
}

TEST_F(FlatTextRenderGL, AFontFreedBeforeItsTextLeavesTheTextDrawingNothing) {
  if (!gl_) return;
  font_ = std::make_unique<TGLBitmapFont>();
  font_->Glyphs().SetGraphic(CellsPicture({qRgb(255, 0, 0)}));
  font_->Ranges().Add('A', 'A');
  TGLFlatText& text = Text(*font_, "A", 8.0f, 40.0f);
  font_.reset();
  text.Render(rci_);
  EXPECT_TRUE(NearRgb(ReadRgb(12, 32), kBackground, 2));
}

TEST_F(FlatTextRenderGL, WindowsFontDrawsItsGlyphsInTheModulateColour) {
  if (!gl_) return;
  auto windows = std::make_unique<TGLWindowsBitmapFont>();
  windows->SetFont(PinnedFont(-24));
  TGLWindowsBitmapFont& font = *windows;
  font_ = std::move(windows);
  TGLFlatText& text = Text(font, "II", 4.0f, 60.0f);
  text.ModulateColor().SetColor(VectorMake(1.0f, 0.0f, 0.0f, 1.0f));
  text.Render(rci_);
  ASSERT_NE(font.TextureHandle(), 0u);
  EXPECT_FALSE(font.TextureModified());
  const int width = font.CalcStringWidth("II");
  const int height = font.CharHeight();
  std::vector<uint8_t> frame(kView * kView * 4);
  glFinish();
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, kView, kView, GL_RGBA, GL_UNSIGNED_BYTE, frame.data());
  int red = 0;
  int outside = 0;
  for (int y = 0; y < kView; ++y) {
    for (int x = 0; x < kView; ++x) {
      const uint8_t* p = &frame[static_cast<size_t>((y * kView + x) * 4)];
      const std::array<int, 3> rgb{p[0], p[1], p[2]};
      const bool inBox = x >= 4 && x < 4 + width + 2 && y >= 60 - height && y < 60;
      if (inBox && NearRgb(rgb, kRed, 60)) ++red;
      if (!inBox && !NearRgb(rgb, kBackground, 2)) ++outside;
    }
  }
  EXPECT_GT(red, 20);  // two vertical strokes
  EXPECT_EQ(outside, 0);

  // A new font drops the texture; the next draw renders the glyphs again.
  font.SetFont(PinnedFont(-12));
  EXPECT_TRUE(font.TextureModified());
  EXPECT_EQ(font.TextureHandle(), 0u);
  text.Render(rci_);
  EXPECT_FALSE(font.TextureModified());
  EXPECT_LT(font.CharHeight(), height);
}

TEST_F(FlatTextRenderGL, ChangesAfterTheFirstDrawRebuildTheTexture) {
  if (!gl_) return;
  font_ = std::make_unique<TGLBitmapFont>();
  font_->Glyphs().SetGraphic(CellsPicture({qRgb(255, 0, 0)}));
  font_->Ranges().Add('A', 'A');
  Text(*font_, "A", 8.0f, 40.0f).Render(rci_);
  ASSERT_FALSE(font_->TextureModified());
  // A new picture is new pixels, not only new tables.
  font_->Glyphs().SetGraphic(CellsPicture({qRgb(0, 255, 0)}));
  EXPECT_TRUE(font_->TextureModified());

  auto windows = std::make_unique<TGLWindowsBitmapFont>();
  windows->SetFont(PinnedFont(-16));
  TGLWindowsBitmapFont& font = *windows;
  font_ = std::move(windows);
  TGLFlatText& text = Text(font, "AB", 4.0f, 60.0f);
  text.Render(rci_);
  const float packedRight = font.GetCharTexCoords('A').right;
  // Spacing and ranges drop the packed tables: the glyphs are laid out again.
  font.SetHSpace(3);
  EXPECT_TRUE(font.TextureModified());
  text.Render(rci_);
  EXPECT_FLOAT_EQ(font.GetCharTexCoords('A').right, packedRight);
  font.Ranges().Items(0).SetStopASCII(90);
  EXPECT_EQ(font.TextureHandle(), 0u);
  text.Render(rci_);
  EXPECT_EQ(font.CharacterWidth('a'), 0);
  EXPECT_GT(font.CharacterWidth('A'), 0);
}

// A label drawn in front of a surface that is drawn after it, with depth test:
// around the glyphs the surface shows, not a box of the clear colour.
TEST(FlatTextOverASurfaceGL, OnlyTheGlyphsHideWhatLiesBehind) {
  EnsureTestApplication();
  auto gl = MakeHeadlessGLOrSkip<PixelGL>(24);
  if (!gl) return;
  TGLStateCache cache;
  TRenderContextInfo rci;
  rci.GLStates = &cache;
  cache.EnableState(TGLState::stDepthTest);
  glDepthFunc(GL_LESS);
  TGLWindowsBitmapFont font;
  font.SetFont(PinnedFont(-24));
  TGLFlatText text;
  text.SetBitmapFont(&font);
  text.SetText("II");
  text.ModulateColor().SetColor(VectorMake(1.0f, 0.0f, 0.0f, 1.0f));
  text.Position().SetPoint(4.0f, 60.0f, 0.5f);  // nearer than the surface
  text.Render(rci);
  // The surface behind, drawn afterwards (as a parent's later child would be).
  glColor3f(0.0f, 1.0f, 0.0f);
  glBegin(GL_QUADS);
  glVertex3f(0.0f, 0.0f, -0.5f);
  glVertex3f(kView, 0.0f, -0.5f);
  glVertex3f(kView, kView, -0.5f);
  glVertex3f(0.0f, kView, -0.5f);
  glEnd();
  const int width = font.CalcStringWidth("II");
  const int height = font.CharHeight();
  int glyph = 0;
  int surface = 0;
  int clearColour = 0;
  for (int y = 60 - height; y < 60; ++y) {
    for (int x = 4; x < 4 + width; ++x) {
      const std::array<int, 3> rgb = ReadRgb(x, y);
      if (NearRgb(rgb, kRed, 60)) ++glyph;
      if (NearRgb(rgb, kGreen, 2)) ++surface;
      if (NearRgb(rgb, kBackground, 2)) ++clearColour;
    }
  }
  EXPECT_GT(glyph, 20);
  EXPECT_GT(surface, width * height / 2);
  EXPECT_EQ(clearColour, 0);
}


// ------------------------------------------------------- labels drawn 1:1

// A label drawn one texel per pixel shows exactly the pixels the platform font
// draws for the same characters at the same places: none lost where a glyph's
// ink reaches past its advance (the tail of a "j"), none added from a neighbour.
struct TLabelCase {
  const char* text;
  int32_t height;  // font height, negative: character height in pixels
};

class LabelPixelsGL : public ::testing::TestWithParam<TLabelCase> {};

constexpr int kLabelWidth = 400;
constexpr int kLabelHeight = 120;

// The platform font's own drawing of the characters at the advances the bitmap
// font gives them, white on black; the text's top-left corner at (left, top).
QImage PlatformRendering(TGLWindowsBitmapFont& font, const std::string& text, int left, int top) {
  TBitmap bitmap(kLabelWidth, kLabelHeight);
  TCanvas& canvas = bitmap.Canvas();
  canvas.SetBrush(TBrush{clBlack, bsSolid});
  canvas.FillRect(TRect{0, 0, kLabelWidth, kLabelHeight});
  canvas.SetBkMode(bkTransparent);
  TFont f = font.Font();
  f.Color = clWhite;
  canvas.SetFont(f);
  int x = left;
  for (char c : text) {
    canvas.TextOut(x, top, std::string(1, c));
    x += font.CharacterWidth(static_cast<uint8_t>(c)) + font.HSpace() + font.SpacingFix();
  }
  return bitmap.Image().convertToFormat(QImage::Format_RGB32);
}

// A kLabelWidth x kLabelHeight frame, black, with the text drawn white by its
// label node at `scale`, its top-left corner at (left, top) from the frame's
// top-left; the red channel of each pixel, rows from the top. Empty, with the
// test skipped, without headless OpenGL.
std::vector<uint8_t> DrawLabel(TGLWindowsBitmapFont& font, const std::string& label, int left, int top,
                               float scale) {
  auto gl = MakeHeadlessGLOrSkip<HeadlessGL>(kLabelWidth, kLabelHeight, 0);
  if (!gl) return {};
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0.0, kLabelWidth, 0.0, kLabelHeight, -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  HeadlessGL::Clear(0.0f, 0.0f, 0.0f);
  TGLStateCache cache;
  TRenderContextInfo rci;
  rci.GLStates = &cache;
  TGLFlatText text;
  text.SetBitmapFont(&font);
  text.SetText(label);
  text.ModulateColor().SetColor(VectorMake(1.0f, 1.0f, 1.0f, 1.0f));
  text.Position().SetPoint(static_cast<float>(left), static_cast<float>(kLabelHeight - top), 0.0f);
  text.Scale().SetVector(scale, scale, scale);
  text.Render(rci);
  std::vector<uint8_t> rgba(static_cast<size_t>(kLabelWidth) * kLabelHeight * 4);
  glFinish();
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, kLabelWidth, kLabelHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  std::vector<uint8_t> red(static_cast<size_t>(kLabelWidth) * kLabelHeight);
  for (int row = 0; row < kLabelHeight; ++row) {
    for (int x = 0; x < kLabelWidth; ++x) {
      red[static_cast<size_t>(row) * kLabelWidth + x] =
          rgba[(static_cast<size_t>(kLabelHeight - 1 - row) * kLabelWidth + x) * 4];
    }
  }
  return red;
}

TEST_P(LabelPixelsGL, EveryGlyphPixelOfTheFontShowsAndNoOther) {
  EnsureTestApplication();
  TGLWindowsBitmapFont font;
  font.SetFont(PinnedFont(GetParam().height));
  constexpr int kLeft = 10;
  constexpr int kTop = 10;
  const std::vector<uint8_t> frame = DrawLabel(font, GetParam().text, kLeft, kTop, 1.0f);
  if (frame.empty()) return;
  // The glyph is drawn one row below the top of its cell.
  const QImage expected = PlatformRendering(font, GetParam().text, kLeft, kTop + 1);

  int lit = 0;
  int lost = 0;
  int added = 0;
  for (int row = 0; row < kLabelHeight; ++row) {
    for (int x = 0; x < kLabelWidth; ++x) {
      const bool shouldShow = qGray(expected.pixel(x, row)) >= 128;
      const bool shows = frame[static_cast<size_t>(row) * kLabelWidth + x] >= 128;
      lit += shouldShow ? 1 : 0;
      if (shouldShow && !shows) ++lost;
      if (shows && !shouldShow) ++added;
    }
  }
  EXPECT_GT(lit, 20);
  EXPECT_EQ(lost, 0) << "of " << lit << " pixels the font draws";
  EXPECT_EQ(added, 0);
}

INSTANTIATE_TEST_SUITE_P(CollarNamesAndLabels, LabelPixelsGL,
                         ::testing::Values(TLabelCase{"BH2", -40}, TLabelCase{"Well C", -40},
                                           TLabelCase{"BH2", -30}, TLabelCase{"Well C", -36},
                                           TLabelCase{"BH2", -13}, TLabelCase{"Well C", -11},
                                           TLabelCase{"jW|_g", -24}));

// A label shown smaller than its glyphs (the collar names of a project are an
// eighth of the font's size on screen): every screen pixel under which the
// font has ink shows some of it, and nothing shows farther than a pixel from ink.
TEST(SmallLabelPixelsGL, EveryPixelOverInkShowsWhenTheLabelIsMinified) {
  EnsureTestApplication();
  constexpr int kShrink = 8;
  constexpr int kLeft = 4;
  constexpr int kTop = 4;
  TGLWindowsBitmapFont font;
  font.SetFont(PinnedFont(-40));
  const std::string label = "BH2 Well C";
  const std::vector<uint8_t> frame = DrawLabel(font, label, kLeft, kTop, 1.0f / kShrink);
  if (frame.empty()) return;
  const auto shows = [&](int x, int row) {
    if (x < 0 || row < 0 || x >= kLabelWidth || row >= kLabelHeight) return false;
    return frame[static_cast<size_t>(row) * kLabelWidth + x] > 0;
  };
  // Full size, then each screen pixel's block of kShrink x kShrink font pixels.
  const QImage full = PlatformRendering(font, label, 0, 1);
  const int blocksX = kLabelWidth / kShrink;
  const int blocksY = kLabelHeight / kShrink;
  std::vector<char> ink(static_cast<size_t>(blocksX) * blocksY, 0);
  for (int y = 0; y < blocksY * kShrink; ++y) {
    for (int x = 0; x < blocksX * kShrink; ++x) {
      if (qGray(full.pixel(x, y)) >= 128) ink[static_cast<size_t>(y / kShrink) * blocksX + x / kShrink] = 1;
    }
  }
  const auto inkAt = [&](int bx, int by) {
    return bx >= 0 && by >= 0 && bx < blocksX && by < blocksY && ink[static_cast<size_t>(by) * blocksX + bx] != 0;
  };
  int inked = 0;
  int lost = 0;
  int stray = 0;
  for (int by = 0; by < blocksY; ++by) {
    for (int bx = 0; bx < blocksX; ++bx) {
      const int x = kLeft + bx;
      const int row = kTop + by;
      if (inkAt(bx, by)) {
        ++inked;
        if (!shows(x, row)) ++lost;
      } else if (shows(x, row)) {
        bool nearInk = false;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) nearInk = nearInk || inkAt(bx + dx, by + dy);
        if (!nearInk) ++stray;
      }
    }
  }
  EXPECT_GT(inked, 20);
  EXPECT_EQ(lost, 0) << "of " << inked << " pixels over the font's ink";
  EXPECT_EQ(stray, 0);
}

}  // namespace
}  // namespace qira

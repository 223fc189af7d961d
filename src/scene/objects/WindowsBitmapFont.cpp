#include "scene/objects/WindowsBitmapFont.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/Canvas.h"
#include "platform/CodePage.h"
#include "platform/Picture.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/objects/FontProperties.h"

namespace qira {

namespace {

constexpr uint8_t kDefaultFirst = 32;
constexpr uint8_t kDefaultLast = 125;
constexpr int32_t kTextureSides[] = {64, 128, 256, 512};
// Blank columns left and right of each glyph in its cell.
constexpr int32_t kGlyphMargin = 1;

// The font a new Windows bitmap font starts with: the platform's default, white.
TFont WhiteFont() {
  TFont font;
  font.Color = clWhite;
  return font;
}

// The text of one character code.
std::string CodeText(int code) { return Cp1252ToUtf8(std::string(1, static_cast<char>(code))); }

}  // namespace

TGLWindowsBitmapFont::TGLWindowsBitmapFont() : font_(WhiteFont()) {
  SetGlyphsAlpha(TGLTextureImageAlpha::tiaAlphaFromIntensity);
  // Labels are mostly shown far smaller than their glyphs are rendered: without
  // mipmaps a minified glyph samples a few texels per pixel, thin strokes fall
  // between the samples and the alpha test drops them ("BH2" read "3H2").
  SetMinFilter(miLinearMipmapLinear);
  Ranges().Add(kDefaultFirst, kDefaultLast);
  LoadWindowsFont();
}

void TGLWindowsBitmapFont::SetFont(const TFont& value) {
  font_ = value;
  NotifyChange(this);
}

bool TGLWindowsBitmapFont::StoreRanges() const {
  const TBitmapFontRanges& ranges = Ranges();
  if (ranges.Count() != 1) return true;
  const TBitmapFontRange& r = ranges.Items(0);
  return r.StartASCII() != kDefaultFirst || r.StopASCII() != kDefaultLast || r.StartGlyphIdx() != 0;
}

void TGLWindowsBitmapFont::NotifyChange(TObject* sender) {
  FreeTextureHandle();
  InvalidateUsers();
  TGLCustomBitmapFont::NotifyChange(sender);
}

GLenum TGLWindowsBitmapFont::TextureFormat() const { return GL_ALPHA; }

int32_t TGLWindowsBitmapFont::GlyphMargin() const { return kGlyphMargin; }

void TGLWindowsBitmapFont::PrepareGlyphTexture() {
  LoadWindowsFont();
  TGLCustomBitmapFont::PrepareGlyphTexture();
}

void TGLWindowsBitmapFont::GlyphTablesDropped() {
  // Widths and rectangles come from laying the glyphs out: they are made
  // again only by rendering the glyphs again.
  MarkTextureModified();
}

int32_t TGLWindowsBitmapFont::LayoutGlyphs(int32_t width, int32_t height, TCanvas* canvas) {
  const int32_t cellHeight = CharHeight();
  int32_t x = 0;
  int32_t y = 0;
  int32_t count = 0;
  for (int c = 0; c <= 255; ++c) {
    const auto code = static_cast<uint8_t>(c);
    const int32_t w = CharacterWidth(code);
    if (w < 1) continue;
    // The fit is tested before a glyph is placed, so that a glyph wider than
    // the picture, or a row below its bottom, is never counted as placed.
    const int64_t cellWidth = int64_t{w} + 2 * kGlyphMargin;
    if (x + cellWidth > width) {
      if (x == 0) break;
      x = 0;
      y += cellHeight;
    }
    if (int64_t{y} + cellHeight > height || x + cellWidth > width) break;
    if (canvas != nullptr) {
      const double W = width;
      const double H = height;
      // The whole cell: ink the glyph puts into the cell's margins shows too.
      SetCharRect(code, TCharRect{static_cast<float>((x + 0.05) / W), static_cast<float>((H - (y + 0.05)) / H),
                                  static_cast<float>((x + cellWidth - 0.05) / W),
                                  static_cast<float>((H - (y + cellHeight - 0.05)) / H)});
      canvas->SelectClipRect(TRect{x, y, static_cast<int32_t>(x + cellWidth), y + cellHeight});
      canvas->TextOut(x + kGlyphMargin, y + 1, CodeText(c));
    }
    x += static_cast<int32_t>(cellWidth);
    ++count;
  }
  if (canvas != nullptr) canvas->RemoveClip();
  return count;
}

void TGLWindowsBitmapFont::LoadWindowsFont() {
  InvalidateUsers();
  // The picture's change event would invalidate the tables made here.
  DetachGlyphsChange();
  struct Reattach {
    TGLWindowsBitmapFont* font;
    ~Reattach() { font->AttachGlyphsChange(); }
  } reattach{this};

  TBitmap bitmap(1, 1);
  TCanvas& canvas = bitmap.Canvas();
  TFont font = font_;
  font.Color = clWhite;
  canvas.SetFont(font);

  int32_t charWidth = std::max({canvas.TextWidth("_"), canvas.TextWidth("W"), canvas.TextWidth("M")}) + 2;
  const int32_t charHeight = canvas.TextHeight("\"_pI|,") + 2;
  int32_t spacingFix = 0;
  if ((font_.Style & fsItalic) != 0) {
    spacingFix = -(charWidth / 3);
    charWidth -= spacingFix;
  }
  StoreMetrics(charWidth, charHeight, spacingFix);

  const int32_t characters = Ranges().CharacterCount();
  ResetCharWidths(0);
  for (int i = 0; i < Ranges().Count(); ++i) {
    const TBitmapFontRange& range = Ranges().Items(i);
    for (int c = range.StartASCII(); c <= range.StopASCII(); ++c) {
      SetCharWidth(static_cast<uint8_t>(c), canvas.TextWidth(CodeText(c)) - spacingFix);
    }
  }

  int32_t bestWidth = 0;
  int32_t bestHeight = 0;
  for (int32_t h : kTextureSides) {
    for (int32_t w : kTextureSides) {
      if (LayoutGlyphs(w, h, nullptr) != characters) continue;
      const int32_t area = w * h;
      const int32_t bestArea = bestWidth * bestHeight;
      if (bestWidth == 0 || area < bestArea ||
          (area == bestArea && std::abs(w - h) < std::abs(bestWidth - bestHeight))) {
        bestWidth = w;
        bestHeight = h;
      }
    }
  }
  if (bestWidth == 0) {
    font_.SetSize(6);
    throw EFontTextureTooSmall("Characters are too large or too many. Unable to create font texture.");
  }

  bitmap.SetSize(bestWidth, bestHeight);
  canvas.SetBrush(TBrush{clBlack, bsSolid});
  canvas.FillRect(TRect{0, 0, bestWidth, bestHeight});
  canvas.SetBkMode(bkTransparent);
  LayoutGlyphs(bestWidth, bestHeight, &canvas);
  Glyphs().SetGraphic(std::make_unique<TBitmapGraphic>(bitmap.Image(), 32));
}

void TGLStoredBitmapFont::LoadWindowsFont() {
  if (glyphsStored_) return;
  TGLWindowsBitmapFont::LoadWindowsFont();
}

void TGLWindowsBitmapFont::DefinePublished(TFiler& filer) {
  TGLCustomBitmapFont::DefinePublished(filer);
  DefineFont(filer, "Font", font_, WhiteFont(), [this](const TFont& v) { SetFont(v); });
  DefineFilters(filer, miLinearMipmapLinear);
  DefineRanges(filer, StoreRanges());
}

void RegisterWindowsBitmapFontClasses() {
  RegisterClass(TGLWindowsBitmapFont::StaticClass());
  RegisterClass(TGLStoredBitmapFont::StaticClass());
}

}  // namespace qira

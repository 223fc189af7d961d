#pragma once
// Formatted node text: a small tag language for one-rectangle texts (bold, italic,
// underline, strike-out, colours, fonts, links, pictures, lists, paragraphs, hidden
// text) and its renderer, which measures a text, draws it, or finds the link under a
// point, on a canvas within a rectangle. The object tree runs every caption through it.
//
// A tag is "<", an optional "/", a name of which only the first one or two letters
// count (any case), attributes with values in double quotes, and ">". Unknown and
// malformed tags never fail: an unknown tag is dropped, a "<" without a ">" after it
// ends the text.
//
// Texts are UTF-8; the named entities decode to UTF-8 characters.
#include <QImage>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Canvas.h"
#include "widgets/TreePictures.h"
#include "widgets/WidgetSupport.h"

namespace qira {

// Images for "IDX:n" picture sources: n counts from 0; every image is drawn at
// its own size, and the list's Width x Height is the size text lays it out with.
struct THTMLImageList {
  int32_t Width = 16;
  int32_t Height = 16;
  std::vector<QImage> Images;
  int32_t Count() const { return static_cast<int32_t>(Images.size()); }
};

// Named pictures for sources without a colon; null when there is none of that name.
using THTMLPictureContainer = std::function<THTMLPicture*(const std::string& name)>;

// What a call asks for. The defaults are those the object tree uses.
struct TFormattedTextParams {
  const THTMLImageList* Images = nullptr;
  // The point for the link and picture test.
  int32_t XPos = 0;
  int32_t YPos = 0;
  int32_t FocusLink = -1;  // number (from 0) of the link that carries a focus rectangle
  int32_t HoverLink = -1;  // number (from 1) of the link under the mouse
  int32_t ShadowOffset = 1;
  bool CheckHotSpot = false;  // test for a link or picture at the point instead of drawing
  bool CheckHeight = false;   // measure only
  bool Print = false;         // pictures through a bitmap scaled by ResFactor
  bool Selected = false;      // colour tags and links leave the font colour alone
  bool Blink = false;         // blink phase: false hides blinking text in the background colour
  bool HoverStyle = false;    // underline and hover colours only on the HoverLink link
  bool WordWrap = false;
  double ResFactor = 1.0;
  TColor URLColor = clBlue;
  TColor HoverColor = clNone;
  TColor HoverFontColor = clNone;
  TColor ShadowColor = clGray;
  THTMLPictureCache* PictureCache = nullptr;
  const THTMLPictureContainer* PictureContainer = nullptr;
  int32_t LineSpacing = 0;  // pixels added to every line's height
};

// What a call gives back.
struct TFormattedTextResult {
  std::string AnchorVal;    // link value under the point
  std::string StripVal;     // plain text of all text runs ("\r" for each line break tag)
  std::string FocusAnchor;  // link value of the FocusLink link
  int32_t XSize = 0;        // widest line + 2
  int32_t YSize = 0;
  int32_t HyperLinks = 0;
  int32_t MouseLink = -1;  // number (from 1) of the link under the point
  TRect HoverRect;         // that link's area
};

// The desktop's icon for a "SSYS:" (small) or "LSYS:" (large) picture source, a
// square of the style's small or large icon size. A number names a standard icon
// of the style; a folder, an existing file or a name whose extension has a known
// type gives that type's icon from the theme (else the style's file or folder
// icon); any other name is looked up as an icon name of the theme. A null image
// when nothing matches, or without a widget application.
QImage SystemIconImage(std::string_view source, bool large);

// Measures, draws or hit-tests text in rect (lines start at rect.Left + 1 and
// rect.Top). Returns true when the test found a link or a picture under the point.
// The canvas's state (font, brush, pen, background, alignment, clip) is as it was
// afterwards.
bool RenderFormattedText(TCanvas& canvas, std::string_view text, const TRect& rect,
                         const TFormattedTextParams& params, TFormattedTextResult& result);

// The plain text of a caption: "<BR>" and "<HR>" become line breaks, hidden text
// ("<z>" .. "</z>") and tags are removed; entities stay as written.
std::string StripFormatting(std::string_view text);

// The colour of a lower-case colour name ("clred", "clbtnface", ...); an unknown
// name gives black. System colours come back as 0xFF000000 + index.
TColor FormatColorByName(std::string_view name);
// "#RRGGBB" as a colour; digits of either case, anything else counts as 0.
TColor HexColorToColor(std::string_view value);
// A colour value as RGB: system colours (0xFF000000 + index) take the classic
// desktop scheme's colour; clNone and other values pass unchanged.
TColor ColorToRGB(TColor color);

// A gradient of Steps bands (0 counts as 1) from FromColor to ToColor across rect,
// left to right (horizontal) or top to bottom; then a frame unless clNone.
void GradientFill(TCanvas& canvas, TColor fromColor, TColor toColor, bool horizontal, const TRect& rect,
                  int32_t steps, TColor frameColor);

// The platform's focus rectangle: a dotted frame that inverts every other pixel.
void DrawFocusRect(TCanvas& canvas, const TRect& rect);

// The image stretched over rect (nearest pixel).
void StretchBitmapToCanvas(TCanvas& canvas, const TRect& rect, const QImage& image);

}  // namespace qira

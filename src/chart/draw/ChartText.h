#pragma once
// Formatted chart text: a small HTML-like markup measured and drawn on the chart
// canvas. Tags change the canvas font (BIG, SMALL, SUB, SUPER, H1..H6, PRE, FONT,
// B, I, U, STRIKE), start lines (BR, P, a CR LF), centre lines (CENTER), draw a
// rule (HR) and place pictures (IMG); "&lt;", "&gt;", "&amp;" and "&quot;" stand
// for their characters; any other tag is drawn as text.
//
// Unbalanced markup is harmless: a closing tag without its opening one, and a
// font restore with no saved font, are ignored; every call starts with empty
// stacks and leaves the canvas font as the text's last font.
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "platform/CanvasTypes.h"

namespace qira {

class TCanvas;
class TGraphic;

// What formatted text needs of the surface it is measured and drawn on. The chart
// canvas (TChartCanvas, ChartCanvas.h) is the one such surface; the text sits
// below it so that the canvas can write formatted text.
class IHtmlTextCanvas {
 public:
  virtual ~IHtmlTextCanvas() = default;
  // The device whose font the tags change; null: nothing is measured or drawn.
  virtual TCanvas* GetHandle() const = 0;
  virtual const TRect& Bounds() const = 0;
  // TextHeight of "W".
  virtual int32_t FontHeight() = 0;
  virtual int32_t TextWidth(std::string_view text) = 0;
  virtual int32_t TextHeight(std::string_view text) = 0;
  virtual void TextOut(int32_t x, int32_t y, std::string_view text) = 0;
  virtual void Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1) = 0;
  virtual void Draw(int32_t x, int32_t y, const TGraphic* graphic) = 0;
  virtual void StretchDraw(const TRect& rect, const TGraphic* graphic) = 0;
};

// A malformed text: "Missing > at " + the rest, "Unknown field in FONT WEIGHT=" +
// the value, "Unknown field in FONT: " + the attribute name.
class HtmlParserException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Width: the widest line; height: the largest line height met.
TSize HtmlTextSize(IHtmlTextCanvas& canvas, std::string_view text);
// Draws with the text's top-left at (x, y).
void HtmlTextOut(IHtmlTextCanvas& canvas, int32_t x, int32_t y, std::string_view text);

}  // namespace qira

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

class TChartCanvas;

// A malformed text: "Missing > at " + the rest, "Unknown field in FONT WEIGHT=" +
// the value, "Unknown field in FONT: " + the attribute name.
class HtmlParserException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Width: the widest line; height: the largest line height met.
TSize HtmlTextSize(TChartCanvas& canvas, std::string_view text);
// Draws with the text's top-left at (x, y).
void HtmlTextOut(TChartCanvas& canvas, int32_t x, int32_t y, std::string_view text);

}  // namespace qira

#pragma once
// A 2D drawing interface in real-valued coordinates (TGraph2D) with a colour-bar
// routine, and its implementation on a canvas (TGraph2DCanvas). The palette editor
// draws its colour bar and value axis through it.
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "model/GraphParams.h"
#include "platform/Canvas.h"

namespace qira {

struct TPoint2D {
  double X = 0;
  double Y = 0;
  friend bool operator==(const TPoint2D&, const TPoint2D&) = default;
};

// Two corners; nothing requires X1 <= X2 or Y1 <= Y2.
struct TRect2D {
  double X1 = 0;
  double Y1 = 0;
  double X2 = 0;
  double Y2 = 0;
  friend bool operator==(const TRect2D&, const TRect2D&) = default;
};

class TGraph2D {
 public:
  virtual ~TGraph2D() = default;

  virtual void Line(const TLineParams& lineParams, double x1, double y1, double x2, double y2) = 0;
  virtual void Polyline(std::span<const TPoint2D> points, const TLineParams& lineParams) = 0;
  // Params1 and Params2 (a pen set and a brush set) are applied in the order given.
  virtual void Polygon(std::span<const TPoint2D> points, const TGraphParams& params1,
                       const TGraphParams& params2) = 0;
  // May set fontParams.ScaleDivisor to the drawing's font scale.
  virtual void TextOut(TFontParams& fontParams, double x, double y, std::string_view text) = 0;
  virtual void Rectangle(const TGraphParams& params1, const TGraphParams& params2, double x1, double y1, double x2,
                         double y2) = 0;
  virtual void Ellipse(const TGraphParams& params1, const TGraphParams& params2, double x1, double y1, double x2,
                       double y2) = 0;
  // A colour ramp from colorA at the first edge (X1, or Y1 when not horizontal) to
  // colorB at the second, both edges included.
  virtual void GradientRect(const TRect2D& rect, bool horizontal, TColor colorA, TColor colorB) = 0;
  // The colour bar of a palette: one gradient piece from each colour to the next,
  // the stops placed at their percent positions between the first and second edge.
  // colors and positions are parallel; extra entries of the longer one are ignored.
  virtual void DrawPaletteBar(const TRect2D& rect, bool horizontal, TColor startColor, TColor endColor,
                              std::span<const TColor> colors, std::span<const uint8_t> positions);

  void LineP(const TLineParams& lineParams, TPoint2D p1, TPoint2D p2) { Line(lineParams, p1.X, p1.Y, p2.X, p2.Y); }
  void TextOutP(TFontParams& fontParams, TPoint2D p, std::string_view text) { TextOut(fontParams, p.X, p.Y, text); }
};

// Draws on a canvas it does not own; coordinates become pixels through XToPixel and
// YToPixel (by default rounding halves to even, saturating), font sizes are divided
// by FontScale (by default 1).
class TGraph2DCanvas : public TGraph2D {
 public:
  using TToPixel = std::function<int32_t(double)>;
  using TFontScale = std::function<double()>;

  explicit TGraph2DCanvas(TCanvas& canvas);

  TCanvas& Canvas() { return *canvas_; }
  // Replaces all three conversions; an empty function restores that one's default.
  void SetConversions(TToPixel xToPixel, TToPixel yToPixel, TFontScale fontScale);
  int32_t XToPixel(double x) const { return xToPixel_(x); }
  int32_t YToPixel(double y) const { return yToPixel_(y); }
  double FontScale() const { return fontScale_(); }

  void Line(const TLineParams& lineParams, double x1, double y1, double x2, double y2) override;
  void Polyline(std::span<const TPoint2D> points, const TLineParams& lineParams) override;
  void Polygon(std::span<const TPoint2D> points, const TGraphParams& params1, const TGraphParams& params2) override;
  // Sets fontParams.ScaleDivisor to FontScale(), then draws at the converted point.
  void TextOut(TFontParams& fontParams, double x, double y, std::string_view text) override;
  void Rectangle(const TGraphParams& params1, const TGraphParams& params2, double x1, double y1, double x2,
                 double y2) override;
  void Ellipse(const TGraphParams& params1, const TGraphParams& params2, double x1, double y1, double x2,
               double y2) override;
  // One pixel line per step across the span with a thin solid copy pen; the colour
  // of line i of n is A + Round((B - A) * i / n) per channel. A span of 0 pixels is
  // one line in colorA. Lines that fall outside the image are not visited, so a
  // huge rectangle costs no more than the image is wide.
  void GradientRect(const TRect2D& rect, bool horizontal, TColor colorA, TColor colorB) override;

 private:
  TCanvas* canvas_;
  TToPixel xToPixel_;
  TToPixel yToPixel_;
  TFontScale fontScale_;
};

// The colour of line i of a gradient of n steps from a to b (n = 0 gives a).
TColor GradientColor(TColor a, TColor b, int64_t i, int64_t n);

}  // namespace qira

#pragma once
// The drawing surface of the program: a canvas with the platform's device-context
// rules over a QImage, and a bitmap that owns its image.
//
// Pixel rules (device pixels, pixel (x, y) centred on the point (x, y)):
// - Right and bottom edges are exclusive: FillRect (0, 0, 10, 10) fills 10 × 10 pixels.
// - LineTo and Polyline do not paint their last point.
// - Rectangle and Ellipse trace a figure through the corners (l, t) and (r − 1, b − 1)
//   with the pen and fill its inside with the brush; with a clear pen the fill is one
//   pixel narrower and lower (l .. r − 2), as on the platform. A pen of style
//   psInsideFrame wider than one pixel insets the figure so the whole stroke stays in
//   (l, t, r, b). Pens wider than one pixel always draw solid, with round caps and
//   joins unless SetPenGeometry says otherwise (rectangles keep square corners).
// - Fills use the alternate (even-odd) rule; a pixel belongs to a fill when its centre
//   is inside, or on a left or top edge.
// - Lines and shapes combine their pen and brush pixels with the destination through
//   the pen mode (one of the 16 raster operations, applied by its bitwise formula).
//   A filled shape or a wide pen touches each pixel once per call; a thin pen without
//   fill touches each pixel of each segment once, so only a line crossing itself
//   meets a pixel twice. FillRect, FrameRect, SetPixel, text and images copy.
// - Thin pens step along the major axis one pixel at a time (Bresenham's rule); their
//   dash patterns (PenDashPattern) run on from one LineTo to the next until MoveTo.
// - Hatch brushes are 8 × 8 patterns aligned to the image's origin; their gaps, the
//   gaps of dashed pens and the cells of text take the background colour when the
//   background mode is opaque and stay untouched when it is transparent.
// - Every operation is clipped to the clip region and the image.
//
// Colours of the canvas are 0x00BBGGRR; the image stores Qt's 0xAARRGGBB pixels
// (bytes B, G, R, A in memory, as a 32-bit device-independent bitmap's rows) and the
// canvas keeps its alpha at 255.
//
// Coordinates are clamped to ±2^27, the range the platform draws in.
#include <QImage>
#include <QPainterPath>
#include <QRegion>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/CanvasFont.h"
#include "platform/CanvasRasterOp.h"
#include "platform/CanvasTypes.h"

namespace qira {

enum TPenStyle : uint8_t { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TBrushStyle : uint8_t {
  bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross
};
enum TBkMode : int { bkTransparent = 1, bkOpaque = 2 };

// Text alignment flags: one horizontal and one vertical part, added.
inline constexpr uint32_t TA_LEFT = 0;
inline constexpr uint32_t TA_RIGHT = 2;
inline constexpr uint32_t TA_CENTER = 6;
inline constexpr uint32_t TA_TOP = 0;
inline constexpr uint32_t TA_BOTTOM = 8;
inline constexpr uint32_t TA_BASELINE = 24;

// How a region combines with the clip region (the platform's numbering).
enum TRegionMode : int { RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5 };

enum class TPenCap : uint8_t { Round, Square, Flat };
enum class TPenJoin : uint8_t { Round, Bevel, Miter };

struct TPen {
  TColor Color = clBlack;
  int32_t Width = 1;  // pixels; 0 and 1 both give the thinnest line
  TPenStyle Style = psSolid;
  TPenMode Mode = pmCopy;
  friend bool operator==(const TPen&, const TPen&) = default;
};

struct TBrush {
  TColor Color = clWhite;
  TBrushStyle Style = bsSolid;
  friend bool operator==(const TBrush&, const TBrush&) = default;
};

struct TTextMetric {
  int32_t Ascent = 0;
  int32_t Descent = 0;
  int32_t Height = 0;  // Ascent + Descent
};

// Dash patterns of thin pens in pixels, on and off alternately, starting on.
std::span<const uint8_t> PenDashPattern(TPenStyle style);
// Whether hatch style paints the device pixel (x, y) in the brush colour.
bool HatchPixel(TBrushStyle style, int32_t x, int32_t y);

// Region helpers in device pixels.
QRegion RectRegion(const TRect& r);
QRegion PolygonRegion(std::span<const TPoint> points);  // alternate rule
QRegion EllipseRegion(const TRect& r);
// The pixels a RoundRect call with a clear pen fills, as a region: corners rounded by
// an ellipse of cornerWidth × cornerHeight.
QRegion RoundRectRegion(const TRect& r, int32_t cornerWidth, int32_t cornerHeight);
// The pixels whose centres a path covers (its own fill rule), as a region, within
// the given device rectangle.
QRegion PathRegion(const QPainterPath& path, const QRect& within);

class TCanvas {
 public:
  // Draws on image, which must outlive the canvas. An image that is not 32 bits per
  // pixel (RGB32 or ARGB32) is converted to RGB32 in place.
  explicit TCanvas(QImage* image);

  QImage* Image() { return image_; }
  int32_t Width() const;
  int32_t Height() const;

  // ---- drawing objects ----
  // Changing the brush also sets the background colour to the brush colour and the
  // background mode to opaque for a solid brush, transparent otherwise (so text over
  // a clear brush is transparent, as on the windowing library's canvas); SetBkColor and
  // SetBkMode afterwards override that until the next brush change.
  const TPen& Pen() const { return state_.pen; }
  // SetPen and SetPenStyle end a dotted pattern set by SetPenDots and the caps and
  // joins set by SetPenGeometry.
  void SetPen(const TPen& pen) {
    state_.pen = pen;
    state_.penDotGap = -1;
    state_.penCap = TPenCap::Round;
    state_.penJoin = TPenJoin::Round;
  }
  void SetPenColor(TColor c) { state_.pen.Color = c; }
  void SetPenWidth(int32_t w) { state_.pen.Width = w; }
  void SetPenStyle(TPenStyle s) {
    state_.pen.Style = s;
    state_.penDotGap = -1;
    state_.penCap = TPenCap::Round;
    state_.penJoin = TPenJoin::Round;
  }
  // Ends and corners of the lines of a wide pen (a geometric pen); round by default.
  // Flat ends stop at the end points, square ones reach half the width beyond them;
  // mitred corners stop at ten half-widths and are bevelled beyond.
  void SetPenGeometry(TPenCap cap, TPenJoin join) {
    state_.penCap = cap;
    state_.penJoin = join;
  }
  // A thin pen of one-pixel dots with gap pixels between them (gap 1: every other
  // pixel), as a user-styled pen of zero-length dashes with round caps draws.
  void SetPenDots(int32_t gap) { state_.penDotGap = gap < 1 ? 1 : (gap > 255 ? 255 : gap); }
  int32_t PenDotGap() const { return state_.penDotGap; }
  void SetPenMode(TPenMode m) { state_.pen.Mode = m; }
  const TBrush& Brush() const { return state_.brush; }
  void SetBrush(const TBrush& brush);
  void SetBrushColor(TColor c);
  void SetBrushStyle(TBrushStyle s);
  // A pattern brush: the image's pixels tiled from the image's origin (any brush
  // change ends it). Fills with it whatever the style, as a pattern brush does.
  void SetBrushPattern(std::shared_ptr<const QImage> pattern);
  const std::shared_ptr<const QImage>& BrushPattern() const { return state_.brushPattern; }
  const TFont& Font() const { return state_.font; }
  void SetFont(const TFont& font) { state_.font = font; }
  void SetTextColor(TColor c) { state_.font.Color = c; }
  TColor TextColor() const { return state_.font.Color; }

  // ---- device-context state ----
  TColor BkColor() const { return state_.bkColor; }
  void SetBkColor(TColor c) { state_.bkColor = c & 0xFFFFFF; }
  TBkMode BkMode() const { return state_.bkMode; }
  void SetBkMode(TBkMode m) { state_.bkMode = m == bkTransparent ? bkTransparent : bkOpaque; }
  uint32_t TextAlign() const { return state_.textAlign; }
  void SetTextAlign(uint32_t align) { state_.textAlign = align; }
  // The pen mode as a raster operation (1..16); an unknown code selects R2_COPYPEN.
  int ROP2() const { return PenModeToRop2(state_.pen.Mode); }
  void SetROP2(int rop2) { state_.pen.Mode = Rop2ToPenMode(rop2); }
  TPoint PenPos() const { return state_.penPos; }
  // Extra pixels after every character of a text.
  int32_t TextCharacterExtra() const { return state_.charExtra; }
  void SetTextCharacterExtra(int32_t extra) { state_.charExtra = extra; }

  // Saves the whole state (objects, colours, modes, alignment, position, clip region);
  // returns the new depth of the stack.
  int SaveDC();
  // Restores the state saved at depth level (> 0), or level saves back (< 0), and drops
  // the saves above it; false (nothing changes) when there is no such save.
  bool RestoreDC(int level);

  // ---- clipping ----
  void SelectClipRect(const TRect& r) { state_.clip = RectRegion(r); }
  void SelectClipRegion(const QRegion& region) { state_.clip = region; }
  void RemoveClip() { state_.clip.reset(); }
  // A missing clip region counts as the whole image.
  void IntersectClipRect(const TRect& r);
  void ExcludeClipRect(const TRect& r);
  void CombineClipRegion(const QRegion& region, TRegionMode mode);
  const std::optional<QRegion>& ClipRegion() const { return state_.clip; }

  // ---- lines and shapes ----
  void MoveTo(int32_t x, int32_t y);
  void LineTo(int32_t x, int32_t y);
  void Polyline(std::span<const TPoint> points);
  void Polygon(std::span<const TPoint> points);
  void Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom);
  void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
  void Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom);
  void Ellipse(const TRect& r) { Ellipse(r.Left, r.Top, r.Right, r.Bottom); }
  // Arc, Pie and Chord take the ellipse that Ellipse (left, top, right, bottom) draws
  // and run counter-clockwise from the ray through (x3, y3) to the ray through
  // (x4, y4), both from the ellipse's centre; equal rays give the whole ellipse.
  // Arc draws the curve with the pen (its end pixel included); Pie closes it with
  // the two radii and fills; Chord closes it with the straight line and fills.
  void Arc(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t x3, int32_t y3, int32_t x4, int32_t y4);
  void Pie(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t x3, int32_t y3, int32_t x4, int32_t y4);
  void Chord(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t x3, int32_t y3, int32_t x4,
             int32_t y4);
  // A rectangle whose corners are quarters of a cornerWidth × cornerHeight ellipse
  // (each limited to the rectangle's size; 0 gives square corners).
  void RoundRect(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t cornerWidth,
                 int32_t cornerHeight);
  // Polygons filled together by the alternate rule (holes stay empty); each is
  // outlined closed. counts holds the number of points of each polygon in turn;
  // a count past the remaining points stops the list.
  void PolyPolygon(std::span<const TPoint> points, std::span<const int32_t> counts);

  // ---- paths ----
  // Between BeginPath and EndPath the figures of MoveTo, LineTo, Polyline, Polygon,
  // Rectangle, Ellipse, Arc, RoundRect, PolyPolygon and TextOut are collected
  // instead of drawn. The closed path is then stroked, filled, widened, or made the
  // clip; stroking and filling use it up.
  void BeginPath();
  void EndPath();
  void AbortPath();
  void CloseFigure();
  bool PathOpen() const { return state_.pathOpen; }
  const std::optional<QPainterPath>& Path() const { return state_.path; }
  void StrokePath();
  void FillPath();
  void StrokeAndFillPath();
  // The path becomes the area the current pen covers along it.
  void WidenPath();
  // Combines the path's area with the clip region, and uses the path up.
  void SelectClipPath(TRegionMode mode);

  // Blends the source rectangle of source over the destination rectangle (stretched
  // by nearest pixel when the sizes differ) with a constant opacity 0..255, inside
  // the clip region: d := (s·a + d·(255 − a)) / 255, rounded.
  void AlphaBlend(const TRect& destination, const QImage& source, const TRect& sourceRect, uint8_t alpha);

  // Fills with the brush (a clear brush fills nothing); a rectangle whose right or
  // bottom is not beyond its left or top fills nothing.
  void FillRect(const TRect& r);
  // A one-pixel frame just inside the rectangle, painted with the brush.
  void FrameRect(const TRect& r);

  // ---- pixels and images ----
  // CLR_INVALID outside the image.
  TColor Pixel(int32_t x, int32_t y) const;
  void SetPixel(int32_t x, int32_t y, TColor c);
  // Draws image with its top-left corner at (x, y); an image with an alpha channel is
  // blended, other images copied. A null image draws nothing.
  void Draw(int32_t x, int32_t y, const QImage& image);
  // Stretches image over the rectangle, nearest pixel, without smoothing.
  void StretchDraw(const TRect& r, const QImage& image);

  // ---- text (UTF-8) ----
  // Extent of a single-line text in the current font: advance width and cell height.
  TSize TextExtent(std::string_view text) const;
  int32_t TextWidth(std::string_view text) const { return TextExtent(text).cx; }
  int32_t TextHeight(std::string_view text) const { return TextExtent(text).cy; }
  TTextMetric TextMetrics() const;
  // Writes text at the reference point (x, y) that the text alignment places: the
  // left, right or centre of the text, and the top, bottom or base line of its cell;
  // the font's escapement turns the text about that point. The text colour is the
  // font colour; the pen mode does not apply. The pen position is neither used nor
  // changed (TA_UPDATECP is not supported). Text is not antialiased unless the
  // font's Quality is ANTIALIASED_QUALITY, which blends the glyph edges.
  void TextOut(int32_t x, int32_t y, std::string_view text);

 private:
  struct TState {
    TPen pen;
    TBrush brush;
    TFont font;
    TColor bkColor = clWhite;
    TBkMode bkMode = bkOpaque;
    uint32_t textAlign = TA_LEFT | TA_TOP;
    TPoint penPos;
    std::optional<QRegion> clip;
    std::shared_ptr<const QImage> brushPattern;
    int32_t penDotGap = -1;  // -1: the style's own pattern
    TPenCap penCap = TPenCap::Round;
    TPenJoin penJoin = TPenJoin::Round;
    int32_t charExtra = 0;
    bool pathOpen = false;
    bool pathWinding = false;  // text and widened outlines fill by the winding rule
    std::optional<QPainterPath> path;
  };

  // Adds a figure to the open path (figure coordinates: pixel centres on integers).
  void AddToPath(const QPainterPath& figure, bool winding = false);
  void ArcFigure(int kind, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t x3, int32_t y3,
                 int32_t x4, int32_t y4);
  void DrawPath(bool stroke, bool fill);

  QImage* image_;
  TState state_;
  std::vector<TState> saved_;
  // Position in the dash pattern of a thin pen, continued from one LineTo to the next.
  uint32_t dashPhase_ = 0;

  friend class TCanvasPainter;
};

// A 32-bit image (QImage Format_RGB32) with its canvas. A new or grown image is white.
class TBitmap {
 public:
  TBitmap();
  TBitmap(int32_t width, int32_t height);
  ~TBitmap();
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  int32_t Width() const { return image_.width(); }
  int32_t Height() const { return image_.height(); }
  bool Empty() const { return image_.isNull(); }
  // Keeps the pixels that stay inside; negative sizes give an empty bitmap.
  void SetSize(int32_t width, int32_t height);
  // Copies another bitmap's pixels and size (not its canvas state).
  void Assign(const TBitmap& source);

  // The raw row y: Width() pixels of 0xAARRGGBB; null outside 0 .. Height() − 1.
  uint32_t* ScanLine(int32_t y);
  const uint32_t* ScanLine(int32_t y) const;
  // CLR_INVALID outside the image; writes outside are ignored.
  TColor Pixel(int32_t x, int32_t y) const;
  void SetPixel(int32_t x, int32_t y, TColor c);

  QImage& Image() { return image_; }
  const QImage& Image() const { return image_; }
  // The canvas on this bitmap's image; it follows size changes.
  TCanvas& Canvas();

 private:
  QImage image_;
  std::unique_ptr<TCanvas> canvas_;
};

}  // namespace qira

#pragma once
// The abstract drawing surface of every chart: TChartCanvas (2D operations),
// TCanvas3D (a 3D projection and the operations that draw at a depth), the value
// type of the projection, and the geometry routines of the chart layer. The one
// concrete canvas is TChartCanvas3D (GdiChartCanvas.h).
//
// Conventions of every operation: coordinates are int32 pixels of the reference
// canvas; a depth z is an int32 in the same units; colours are TColor (0x00BBGGRR);
// point arrays are spans (the whole span is drawn). Projected coordinates are
// computed in 64-bit or double arithmetic and clamped to ±kChartCoordLimit, the range
// the platform canvas draws in, so no input wraps or divides by zero.
//
// Sections:
//   [SECTION] Geometry
//   [SECTION] What the canvas reads of fonts, gradients and blends
//   [SECTION] Projection
//   [SECTION] TChartCanvas
//   [SECTION] TCanvas3D
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "chart/draw/ChartCoords.h"
#include "chart/draw/ChartInterfaces.h"
#include "chart/draw/ChartPens.h"
#include "chart/draw/ChartText.h"
#include "platform/Canvas.h"
#include "platform/Picture.h"

namespace qira {

// ============================================================ [SECTION] Geometry

struct TPoint3D {
  int32_t X = 0;
  int32_t Y = 0;
  int32_t Z = 0;
  friend bool operator==(const TPoint3D&, const TPoint3D&) = default;
};

struct TFloatPoint {
  double X = 0;
  double Y = 0;
};

struct TPoint3DFloat {
  double X = 0;
  double Y = 0;
  double Z = 0;
};

using TFourPoints = std::array<TPoint, 4>;
// Percent 0 (opaque) .. 100.
using TChartTransparency = int32_t;

inline TPoint MakePoint(int32_t x, int32_t y) { return {x, y}; }
inline TRect MakeRect(int32_t left, int32_t top, int32_t right, int32_t bottom) { return {left, top, right, bottom}; }
// Edges count as inside.
bool PointInRect(const TRect& rect, int32_t x, int32_t y);
inline bool PointInRectPoint(const TRect& rect, const TPoint& p) { return PointInRect(rect, p.X, p.Y); }
// Bounding rectangle whose right and bottom are the extreme coordinates themselves;
// an empty span gives (0, 0, 0, 0).
TRect PolygonBounds(std::span<const TPoint> points);
// Bounding rectangle with right and bottom one past the extremes; fewer than two
// points give the first point's one-pixel rectangle (an empty span: (0, 0, 0, 0)).
TRect PointsBoundingRect(std::span<const TPoint> points);
// (P0 − P1) × (P2 − P1) < 0: the triangle faces away. Computed in 64 bits.
bool TriangleCrossProductNegative(const TPoint& p0, const TPoint& p1, const TPoint& p2);
// Left not right of right, top not below bottom.
TRect OrientRectangle(const TRect& r);
TSize RectSize(const TRect& r);
// Each coordinate sum halved, toward zero (in 64 bits).
TPoint RectCenter(const TRect& r);
// Rounded halves to even, then clamped to ±kChartCoordLimit (NaN gives 0).
int32_t RoundChartCoord(double v);
// a · b / c rounded half away from zero and clamped to int32, as the platform's MulDiv;
// -1 when c is 0.
int32_t MulDiv(int64_t a, int64_t b, int64_t c);

// ============= [SECTION] What the canvas reads of fonts, gradients and blends

class TChartCanvas;

// The default font of chart texts: the message texts' "Arial" at 8 points, except on a
// system whose language is Japanese, where the desktop's default font gives the name
// and, for a size of 8, the size: −MulDiv(its height, 72, pixels per inch), its height
// being the platform's (negative: the character height in pixels).
struct TChartFontDefaults {
  std::string Name;
  int32_t Size = 8;
  friend bool operator==(const TChartFontDefaults&, const TChartFontDefaults&) = default;
};
TChartFontDefaults ChartFontDefaultsFor(bool japanese, const std::string& desktopFontName, int32_t desktopFontHeight,
                                        int32_t pixelsPerInch);
// The defaults of this system (its locale and the desktop font), decided once a GUI
// application exists; before that the plain defaults.
const TChartFontDefaults& ChartFontDefaults();
inline std::string ChartDefaultFontName() { return ChartFontDefaults().Name; }
inline int32_t ChartDefaultFontSize() { return ChartFontDefaults().Size; }

// A gradient as the canvas uses it (TCustomChartGradient implements it).
class IChartGradient {
 public:
  virtual ~IChartGradient() = default;
  virtual bool Visible() const = 0;
  // The gradient of a text fills only the text's widened outline.
  virtual bool Outline() const { return false; }
  // Fills the rectangle on the canvas (cornerSize > 0: a rounded rectangle).
  virtual void Draw(TChartCanvas& canvas, const TRect& rect, int32_t cornerSize) = 0;
};

// The shadow of a chart font, as the text operations need it.
struct TChartTextShadow {
  bool Visible = false;
  TColor Color = clSilver;
  int32_t HorizSize = 0;
  int32_t VertSize = 0;
  TChartTransparency Transparency = 0;
  bool Smooth = true;
  int32_t SmoothBlur = 0;
};

// What the canvas's text operations read of a chart font (TChartFont implements
// it). Each optional part is reported only when the font has made it; asking never
// makes one.
class IChartFont {
 public:
  virtual ~IChartFont() = default;
  // The platform font to select (name, height, colour, style, pixels per inch).
  virtual const TFont& PlatformFont() const = 0;
  // Extra pixels between characters.
  virtual int32_t InterCharSize() const { return 0; }
  virtual const TChartTextShadow* Shadow() const { return nullptr; }
  // The outline pen, when the font has one (visible or not).
  virtual const TChartPen* OutLine() const { return nullptr; }
  virtual IChartGradient* Gradient() const { return nullptr; }
  // The picture that fills the text (already filtered), or null.
  virtual const TGraphic* PictureGraphic() const { return nullptr; }
  // The canvas that selected the font last (AssignFont).
  virtual void SetCanvas(TChartCanvas* canvas) { (void)canvas; }
};

// A blend in progress: holds the pixels that were under a rectangle when it began;
// DoBlend mixes what was drawn since with them (transparency percent 0..100).
class IChartBlend {
 public:
  virtual ~IChartBlend() = default;
  virtual void DoBlend(int32_t transparency) = 0;
};

enum TGradientDirection : uint8_t {
  gdTopBottom, gdBottomTop, gdLeftRight, gdRightLeft, gdFromCenter,
  gdFromTopLeft, gdFromBottomLeft, gdRadial, gdDiagonalUp, gdDiagonalDown
};

// Routines of the fills unit (gradients, blends, filters) that the canvas calls. That
// unit installs them before it draws (ChartCanvasRoutines() is one table for the
// program). Until then: a gradient fill paints the first colour, a blend does not
// mix (the new drawing stays opaque), a blur does nothing.
struct TChartCanvasRoutines {
  void (*GradientFillRect)(TChartCanvas& canvas, const TRect& rect, TColor first, TColor second,
                           TGradientDirection direction, int32_t balance, int32_t radialX,
                           int32_t radialY) = nullptr;
  std::unique_ptr<IChartBlend> (*CreateBlend)(TChartCanvas& canvas, const TRect& rect) = nullptr;
  // Blurs the rectangle of the bitmap in steps passes (the blur filter).
  void (*BlurBitmap)(TBitmap& bitmap, const TRect& rect, int32_t steps) = nullptr;
};
TChartCanvasRoutines& ChartCanvasRoutines();

// =========================================================== [SECTION] Projection

// The 3D projection of a canvas: set up once per repaint (Setup, then Project), then
// asked for screen points. A plain value: tests compute with it without a canvas.
struct TChartProjection {
  TRect Bounds;
  bool Is3D = false;
  bool IsOrthogonal = false;
  double Scale = 1.0;
  bool TextZoom = true;

  // Oblique view: horizontal and vertical depth factors.
  double FX = 1.0;
  double FY = 1.0;

  // Rotated view: sines and cosines of −elevation, −rotation and tilt.
  long double Se = 0, Ce = 1, Sr = 0, Cr = 1, St = 0, Ct = 1;
  bool HasTilt = false;
  bool HasPerspective = false;
  double PerspectiveFactor = 0;
  // Factors of the inverse projection.
  double D0 = 0, D1 = 1, D2 = 1, D3 = 0, D4 = 0, D5 = 0;

  int32_t XCenter = 0;
  int32_t YCenter = 0;
  int32_t ZCenter = 0;
  int32_t XCenterOffset = 0;
  int32_t YCenterOffset = 0;
  // Offset of the rotation centre (0 in this program).
  double RotationCenterX = 0, RotationCenterY = 0, RotationCenterZ = 0;

  // The InitWindow part: bounds, the kind of view and its factors; options may be null.
  void Setup(const TView3DOptions* options, const TRect& bounds, bool is3D);
  // `Projection` (depth, rectangle): centres, offsets, zoom and perspective.
  void Project(const TView3DOptions* options, int32_t depth, const TRect& rect);

  // The screen point of (x, y, z), clamped to ±kChartCoordLimit.
  TPoint Calculate3DPosition(int32_t x, int32_t y, int32_t z) const;
  // The fractional-precision form, always through the tilt terms.
  TPoint Calculate3DPosition(double x, double y, double z) const;
  // Approximate inverse for mouse hits (perspective not undone).
  void Calculate2DPosition(int32_t& x, int32_t& y, int32_t z) const;
};

// ========================================================== [SECTION] TChartCanvas

class TChartCanvas : public IHtmlTextCanvas {
 public:
  TChartCanvas();
  ~TChartCanvas() override;
  TChartCanvas(const TChartCanvas&) = delete;
  TChartCanvas& operator=(const TChartCanvas&) = delete;

  // ---- device-context state ----
  virtual TColor GetBackColor() const = 0;
  virtual TBkMode GetBackMode() const = 0;
  // The reference canvas (the device context drawn on); null before InitWindow.
  TCanvas* GetHandle() const override = 0;
  virtual bool GetMonochrome() const = 0;
  virtual void SetPenPos(int32_t x, int32_t y) = 0;
  virtual bool SupportsFullRotation() const = 0;
  virtual uint32_t GetTextAlign() const = 0;
  virtual bool GetUseBuffer() const = 0;
  virtual void SetBackColor(TColor color) = 0;
  virtual void SetBackMode(TBkMode mode) = 0;
  virtual void SetMonochrome(bool value) = 0;
  virtual void SetPixel(int32_t x, int32_t y, TColor color) = 0;
  virtual void SetTextAlign(uint32_t align) = 0;
  virtual void SetUseBuffer(bool value) = 0;

  // Makes the pen current in that colour (a hidden chart pen: clear, colour kept).
  virtual void AssignPenColor(const TChartPen& pen, TColor color) = 0;
  virtual void AssignPenColor(const TPen& pen, TColor color) = 0;

  // Saves the pixels under the rectangle; EndBlending mixes what was drawn since
  // with them by the percent given here, and frees the blend.
  virtual std::unique_ptr<IChartBlend> BeginBlending(const TRect& rect, int32_t transparency) = 0;
  virtual void EndBlending(std::unique_ptr<IChartBlend> blend) = 0;

  // ---- shapes ----
  virtual void Arc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, int32_t x4,
                   int32_t y4) = 0;
  // Arc of the ellipse in the box from the point at startAngle to the point at
  // endAngle (degrees, counter-clockwise).
  virtual void ArcAngles(int32_t left, int32_t top, int32_t right, int32_t bottom, double startAngle,
                         double endAngle) = 0;
  // Filled ring segment between two angles (degrees); the hole's radii are the box's
  // times holePercent / 100.
  virtual void Donut(const TRect& box, double startAngle, double endAngle, double holePercent) = 0;
  // Nothing for a null or empty graphic.
  void Draw(int32_t x, int32_t y, const TGraphic* graphic) override = 0;
  virtual void Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) = 0;
  virtual void FillRect(const TRect& rect) = 0;
  // Bevelled frame, width rounds; leaves rect shrunk by width on every side.
  virtual void Frame3D(TRect& rect, TColor topColor, TColor bottomColor, int32_t width) = 0;
  virtual void LineTo(int32_t x, int32_t y) = 0;
  virtual void MoveTo(int32_t x, int32_t y) = 0;
  virtual void Pie(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, int32_t x4,
                   int32_t y4) = 0;
  virtual void Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) = 0;
  virtual void RoundRect(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t cornerWidth,
                         int32_t cornerHeight) = 0;
  void StretchDraw(const TRect& rect, const TGraphic* graphic) override = 0;

  // ---- text (UTF-8) ----
  // Text with the current chart font's shadow, outline, gradient or picture.
  void TextOut(int32_t x, int32_t y, std::string_view text) override = 0;
  // Width and height plus the absolute shadow sizes of a visible font shadow.
  int32_t TextWidth(std::string_view text) override = 0;
  int32_t TextHeight(std::string_view text) override = 0;
  virtual int32_t TextWidthWide(std::u16string_view text) = 0;
  virtual int32_t TextHeightWide(std::u16string_view text) = 0;

  // ---- clipping: one clip at a time, undone by UnClipRectangle ----
  virtual void ClipRectangle(const TRect& rect) = 0;
  virtual void ClipRoundRectangle(const TRect& rect, int32_t size) = 0;
  virtual void ClipEllipse(const TRect& rect, bool inverted = false) = 0;
  virtual void ClipPolygon(std::span<const TPoint> points, bool inverted = false) = 0;

  virtual void DoHorizLine(int32_t x0, int32_t x1, int32_t y) = 0;
  virtual void DoVertLine(int32_t x, int32_t y0, int32_t y1) = 0;
  virtual void EraseBackground(const TRect& rect) = 0;
  // Fills the rectangle with a two-colour ramp (the fills unit's routine).
  virtual void GradientFillRect(const TRect& rect, TColor first, TColor second, TGradientDirection direction,
                                int32_t balance = 50, int32_t radialX = 0, int32_t radialY = 0) = 0;
  // Marks the off-screen bitmap as stale.
  virtual void Invalidate() = 0;
  void Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1) override = 0;
  virtual void Polyline(std::span<const TPoint> points) = 0;
  virtual void Polygon(std::span<const TPoint> points) = 0;
  // Clips to the polygon, fills its bounds with the gradient, unclips, and draws the
  // outline with a clear brush when the pen is not clear.
  virtual void PolygonGradient(std::span<const TPoint> points, IChartGradient& gradient) = 0;
  // Text turned by angle degrees counter-clockwise about (x, y).
  virtual void RotateLabel(int32_t x, int32_t y, std::string_view text, double angle) = 0;
  virtual void UnClipRectangle() = 0;
  // Bracket hooks around groups of drawing; they do nothing here.
  virtual void BeginGroup() {}
  virtual void EndGroup() {}

  // ---- non-virtual helpers ----
  // Before each repaint: black solid pen of width 1, white solid brush, the chart's
  // default font in black, no chart font, background white and transparent,
  // alignment left-top.
  void ResetState();
  void AssignBrush(const TChartBrush& brush, TColor backColor);
  void AssignBrushColor(const TChartBrush& brush, TColor color, TColor backColor);
  void AssignPen(const TChartPen& pen) { AssignPenColor(pen, pen.Color()); }
  // Selects a copy of the font (size scaled by FontZoom, black when monochrome) and
  // makes it the current chart font until the next AssignFont or ResetState.
  void AssignFont(IChartFont& font);
  // TextHeight of "W".
  int32_t FontHeight() override { return TextHeight("W"); }
  void RectangleRect(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
  void LinePoints(const TPoint& a, const TPoint& b) { Line(a.X, a.Y, b.X, b.Y); }
  // Formatted text (ChartText.h) at (x, y).
  void TextOutHtml(int32_t x, int32_t y, std::string_view text);

  // The text rectangle of a text at (x, y) by the horizontal alignment.
  TRect TextRect(int32_t x, int32_t y, std::string_view text);

  // ---- state ----
  const TRect& Bounds() const override { return projection_.Bounds; }
  IChartFont* Font() const { return font_; }
  double FontZoom() const { return fontZoom_; }
  void SetFontZoom(double percent) { fontZoom_ = percent; }
  // While set, blends and smooth shadows do not read pixels back.
  bool NoReadBack() const { return noReadBack_; }
  void SetNoReadBack(bool value) { noReadBack_ = value; }
  // Transparency percent of the blend in progress (kept in seven bits).
  int32_t BlendTransparency() const { return blendTransparency_; }
  void SetBlendTransparency(int32_t percent) { blendTransparency_ = percent & 0x7F; }

 protected:
  TChartProjection projection_;
  IChartFont* font_ = nullptr;
  double fontZoom_ = 100;
  bool noReadBack_ = false;
  int32_t blendTransparency_ = 0;
};

// ============================================================= [SECTION] TCanvas3D

class TCanvas3D : public TChartCanvas {
 public:
  TCanvas3D();
  ~TCanvas3D() override;

  virtual void SetPenPos3D(int32_t x, int32_t y, int32_t z) = 0;
  virtual int32_t ReservedQuery(int32_t a = 0, int32_t b = 0) = 0;
  // A dot of the pen's width at the projected point.
  virtual void Pixel3D(int32_t x, int32_t y, int32_t z, TColor color) = 0;
  virtual void Calculate2DPosition(int32_t& x, int32_t& y, int32_t z) const = 0;
  virtual TPoint Calculate3DPosition(int32_t x, int32_t y, int32_t z) const = 0;
  TPoint Calculate3DPosition(const TPoint3D& p) const { return Calculate3DPosition(p.X, p.Y, p.Z); }
  // Fractional-precision form.
  virtual TPoint Calculate3DPosition(double x, double y, double z) const = 0;

  // Prepares a repaint onto the destination; answers the rectangle to draw in.
  virtual TRect InitWindow(TCanvas& destination, TView3DOptions* options, const TRect& bounds, bool is3D) = 0;
  // Copies the monochrome setting and the view options.
  virtual void Assign(const TCanvas3D& source) = 0;
  virtual void Projection(int32_t depth, const TRect& rect) = 0;
  virtual void ShowImage(TCanvas& destination, const TRect& rect) = 0;
  // True (and the buffer copied) when the buffer still shows the chart.
  virtual bool ReDrawBitmap() = 0;

  virtual void Arrow(bool filled, const TPoint& from, const TPoint& to, int32_t headWidth, int32_t headHeight,
                     int32_t z, int32_t bodyPercent) = 0;
  void Arrow(bool filled, const TPoint& from, const TPoint& to, int32_t headWidth, int32_t headHeight, int32_t z) {
    Arrow(filled, from, to, headWidth, headHeight, z, 50);
  }
  virtual void ClipCube(const TRect& rect, int32_t z0, int32_t z1) = 0;
  // topPercent 0: a pointed cone.
  virtual void Cone(bool vertical, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t z0,
                    int32_t z1, bool darkSides, int32_t topPercent = 0) = 0;
  virtual void Cube(int32_t left, int32_t right, int32_t top, int32_t bottom, int32_t z0, int32_t z1,
                    bool darkSides = true) = 0;
  virtual void Cylinder(bool vertical, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t z0,
                        int32_t z1, bool darkSides) = 0;
  virtual void Suspend3D() = 0;
  virtual void EllipseWithZ(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t z) = 0;
  virtual void Resume3D() = 0;
  virtual void HorizLine3D(int32_t x0, int32_t x1, int32_t y, int32_t z) = 0;
  virtual void VertLine3D(int32_t x, int32_t y0, int32_t y1, int32_t z) = 0;
  virtual void ZLine3D(int32_t x, int32_t y, int32_t z0, int32_t z1) = 0;
  // Nest: only the outermost pair switches 3D off and back.
  virtual void Begin3DSuspension();
  virtual void End3DSuspension();
  virtual void LineWithZ(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t z) = 0;
  virtual void MoveTo3D(int32_t x, int32_t y, int32_t z) = 0;
  virtual void LineTo3D(int32_t x, int32_t y, int32_t z) = 0;
  // Angles in radians; gradient may be null.
  virtual void Pie3D(int32_t xCenter, int32_t yCenter, int32_t xRadius, int32_t yRadius, int32_t z0, int32_t z1,
                     double startAngle, double endAngle, bool darkSides, bool drawSides, int32_t donutPercent,
                     IChartGradient* gradient) = 0;
  virtual void PlaneFour3D(const TPoint& p1, const TPoint& p2, int32_t z0, int32_t z1) = 0;
  virtual void PlaneWithZ(const TPoint& p1, const TPoint& p2, const TPoint& p3, const TPoint& p4, int32_t z) = 0;
  // p1 and p2 at z0, p3 and p4 at z1, fractional precision.
  virtual void Plane3D(const TPoint& p1, const TPoint& p2, const TPoint& p3, const TPoint& p4, int32_t z0,
                       int32_t z1) = 0;
  virtual void Polygon3D(std::span<const TPoint3D> points) = 0;
  virtual void PolygonWithZ(std::span<const TPoint> points, int32_t z) = 0;
  virtual void PolylineWithZ(std::span<const TPoint> points, int32_t z) = 0;
  virtual void Pyramid(bool vertical, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t z0,
                       int32_t z1, bool darkSides) = 0;
  virtual void PyramidTrunc(const TRect& rect, int32_t z0, int32_t z1, int32_t truncX, int32_t truncZ) = 0;
  virtual void RectangleWithZ(const TRect& rect, int32_t z) = 0;
  virtual void RectangleY(int32_t left, int32_t top, int32_t right, int32_t z0, int32_t z1) = 0;
  virtual void RectangleZ(int32_t left, int32_t top, int32_t bottom, int32_t z0, int32_t z1) = 0;
  virtual void RotatedTextOut3D(int32_t x, int32_t y, int32_t z, std::string_view text, double angle) = 0;
  virtual void Circle3D(int32_t xCenter, int32_t yCenter, int32_t z, double radius) = 0;
  // A reserved drawing slot of eight integers: the GDI canvas draws nothing for it.
  virtual void ReservedDraw3D(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e, int32_t f, int32_t g,
                              int32_t h) = 0;
  virtual void TextOut3D(int32_t x, int32_t y, int32_t z, std::string_view text) = 0;
  virtual void Triangle3D(const TPoint3D& p0, const TPoint3D& p1, const TPoint3D& p2, TColor color0,
                          TColor color1, TColor color2) = 0;
  virtual void TriangleWithZ(const TPoint& p0, const TPoint& p1, const TPoint& p2, int32_t z) = 0;

  // ---- non-virtual helpers ----
  TPoint ProjectPoint(int32_t x, int32_t y, int32_t z) const { return Calculate3DPosition(x, y, z); }
  // Both corners projected at z.
  TRect ProjectRect(const TRect& r, int32_t z) const;
  // The bounding rectangle of the four corners projected at z.
  TRect ProjectRectBounds(const TRect& r, int32_t z) const;
  // Top-left, top-right, bottom-right, bottom-left, projected at z.
  TFourPoints RectCorners3D(const TRect& r, int32_t z) const;
  void CubeRect(const TRect& r, int32_t z0, int32_t z1, bool darkSides = true) {
    Cube(r.Left, r.Right, r.Top, r.Bottom, z0, z1, darkSides);
  }
  void LineWithZPoints(const TPoint& a, const TPoint& b, int32_t z) { LineWithZ(a.X, a.Y, b.X, b.Y, z); }
  void PlaneWithZPoints(const TFourPoints& p, int32_t z) { PlaneWithZ(p[0], p[1], p[2], p[3], z); }
  // The graphic cut into one projected quad per pixel: mode 0 in the plane x = depth,
  // 1 in y = depth, any other in z = depth.
  void DrawGraphicInRect3D(const TRect& rect, const TGraphic& graphic, int32_t depth, int32_t mode);

  // ---- state ----
  TView3DOptions* View3DOptions() const { return view3DOptions_; }
  void SetView3DOptions(TView3DOptions* options) { view3DOptions_ = options; }
  const TChartProjection& ProjectionState() const { return projection_; }
  bool Is3D() const { return projection_.Is3D; }
  bool IsOrthogonal() const { return projection_.IsOrthogonal; }
  // Nothing in the program sets it: callers bracket series and points with
  // BeginGroup/EndGroup while it is set.
  bool GroupingEnabled() const { return grouping_; }
  void SetGroupingEnabled(bool value) { grouping_ = value; }

 protected:
  TView3DOptions* view3DOptions_ = nullptr;
  int32_t suspensionCount_ = 0;
  bool grouping_ = false;
};

}  // namespace qira

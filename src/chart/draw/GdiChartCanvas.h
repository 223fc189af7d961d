#pragma once
// TChartCanvas3D: the chart canvas on the platform canvas. It draws the solids of
// 3D charts as projected polygons, writes text with shadows, outlines and fills,
// and can draw a whole repaint into an off-screen bitmap that is copied to the
// window at the end and reused while nothing changes.
//
// A repaint: InitWindow → (ReDrawBitmap) → drawing → ShowImage.
#include <cstdint>
#include <memory>
#include <optional>

#include <QRegion>

#include "chart/draw/ChartCanvas.h"

namespace qira {

class TChartCanvas3D : public TCanvas3D {
 public:
  // Draws on reference (may be null until InitWindow gives a destination).
  explicit TChartCanvas3D(TCanvas* reference = nullptr);
  ~TChartCanvas3D() override;

  // ---- TChartCanvas ----
  TColor GetBackColor() const override;
  TBkMode GetBackMode() const override;
  TCanvas* GetHandle() const override { return reference_; }
  // Points the canvas back at a destination it drew on before; a drawing on a
  // short-lived canvas must not leave the canvas pointing at it.
  void RestoreHandle(TCanvas* reference) { reference_ = reference; }
  bool GetMonochrome() const override { return monochrome_; }
  void SetPenPos(int32_t x, int32_t y) override;
  bool SupportsFullRotation() const override { return false; }
  uint32_t GetTextAlign() const override;
  bool GetUseBuffer() const override { return useBuffer_; }
  void SetBackColor(TColor color) override;
  void SetBackMode(TBkMode mode) override;
  // Stores, marks the buffer dirty and asks the view options' panel to repaint.
  void SetMonochrome(bool value) override;
  void SetPixel(int32_t x, int32_t y, TColor color) override;
  void SetTextAlign(uint32_t align) override;
  void SetUseBuffer(bool value) override;
  void AssignPenColor(const TChartPen& pen, TColor color) override;
  void AssignPenColor(const TPen& pen, TColor color) override;
  std::unique_ptr<IChartBlend> BeginBlending(const TRect& rect, int32_t transparency) override;
  void EndBlending(std::unique_ptr<IChartBlend> blend) override;
  void Arc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, int32_t x4,
           int32_t y4) override;
  void ArcAngles(int32_t left, int32_t top, int32_t right, int32_t bottom, double startAngle,
                 double endAngle) override;
  void Donut(const TRect& box, double startAngle, double endAngle, double holePercent) override;
  void Draw(int32_t x, int32_t y, const TGraphic* graphic) override;
  void Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) override;
  void FillRect(const TRect& rect) override;
  void Frame3D(TRect& rect, TColor topColor, TColor bottomColor, int32_t width) override;
  void LineTo(int32_t x, int32_t y) override;
  void MoveTo(int32_t x, int32_t y) override;
  void Pie(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, int32_t x4,
           int32_t y4) override;
  void Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) override;
  void RoundRect(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t cornerWidth,
                 int32_t cornerHeight) override;
  void StretchDraw(const TRect& rect, const TGraphic* graphic) override;
  void TextOut(int32_t x, int32_t y, std::string_view text) override;
  int32_t TextWidth(std::string_view text) override;
  int32_t TextHeight(std::string_view text) override;
  int32_t TextWidthWide(std::u16string_view text) override;
  int32_t TextHeightWide(std::u16string_view text) override;
  void ClipRectangle(const TRect& rect) override;
  void ClipRoundRectangle(const TRect& rect, int32_t size) override;
  void ClipEllipse(const TRect& rect, bool inverted = false) override;
  void ClipPolygon(std::span<const TPoint> points, bool inverted = false) override;
  void DoHorizLine(int32_t x0, int32_t x1, int32_t y) override;
  void DoVertLine(int32_t x, int32_t y0, int32_t y1) override;
  void EraseBackground(const TRect& rect) override { FillRect(rect); }
  void GradientFillRect(const TRect& rect, TColor first, TColor second, TGradientDirection direction,
                        int32_t balance = 50, int32_t radialX = 0, int32_t radialY = 0) override;
  void Invalidate() override { bufferDirty_ = true; }
  void Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1) override;
  void Polyline(std::span<const TPoint> points) override;
  void Polygon(std::span<const TPoint> points) override;
  void PolygonGradient(std::span<const TPoint> points, IChartGradient& gradient) override;
  void RotateLabel(int32_t x, int32_t y, std::string_view text, double angle) override;
  void UnClipRectangle() override;

  // ---- TCanvas3D ----
  void SetPenPos3D(int32_t x, int32_t y, int32_t z) override;
  int32_t ReservedQuery(int32_t, int32_t) override { return 0; }
  void Pixel3D(int32_t x, int32_t y, int32_t z, TColor color) override;
  void Calculate2DPosition(int32_t& x, int32_t& y, int32_t z) const override;
  TPoint Calculate3DPosition(int32_t x, int32_t y, int32_t z) const override;
  TPoint Calculate3DPosition(double x, double y, double z) const override;
  using TCanvas3D::Calculate3DPosition;
  TRect InitWindow(TCanvas& destination, TView3DOptions* options, const TRect& bounds, bool is3D) override;
  void Assign(const TCanvas3D& source) override;
  void Projection(int32_t depth, const TRect& rect) override;
  void ShowImage(TCanvas& destination, const TRect& rect) override;
  bool ReDrawBitmap() override;
  void Arrow(bool filled, const TPoint& from, const TPoint& to, int32_t headWidth, int32_t headHeight, int32_t z,
             int32_t bodyPercent) override;
  using TCanvas3D::Arrow;
  void ClipCube(const TRect& rect, int32_t z0, int32_t z1) override;
  void Cone(bool vertical, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t z0, int32_t z1,
            bool darkSides, int32_t topPercent = 0) override;
  void Cube(int32_t left, int32_t right, int32_t top, int32_t bottom, int32_t z0, int32_t z1,
            bool darkSides = true) override;
  void Cylinder(bool vertical, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t z0, int32_t z1,
                bool darkSides) override;
  void Suspend3D() override;
  void EllipseWithZ(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t z) override;
  void Resume3D() override;
  void HorizLine3D(int32_t x0, int32_t x1, int32_t y, int32_t z) override;
  void VertLine3D(int32_t x, int32_t y0, int32_t y1, int32_t z) override;
  void ZLine3D(int32_t x, int32_t y, int32_t z0, int32_t z1) override;
  void LineWithZ(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t z) override;
  void MoveTo3D(int32_t x, int32_t y, int32_t z) override;
  void LineTo3D(int32_t x, int32_t y, int32_t z) override;
  void Pie3D(int32_t xCenter, int32_t yCenter, int32_t xRadius, int32_t yRadius, int32_t z0, int32_t z1,
             double startAngle, double endAngle, bool darkSides, bool drawSides, int32_t donutPercent,
             IChartGradient* gradient) override;
  void PlaneFour3D(const TPoint& p1, const TPoint& p2, int32_t z0, int32_t z1) override;
  void PlaneWithZ(const TPoint& p1, const TPoint& p2, const TPoint& p3, const TPoint& p4, int32_t z) override;
  void Plane3D(const TPoint& p1, const TPoint& p2, const TPoint& p3, const TPoint& p4, int32_t z0,
               int32_t z1) override;
  void Polygon3D(std::span<const TPoint3D> points) override;
  void PolygonWithZ(std::span<const TPoint> points, int32_t z) override;
  void PolylineWithZ(std::span<const TPoint> points, int32_t z) override;
  void Pyramid(bool vertical, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t z0, int32_t z1,
               bool darkSides) override;
  void PyramidTrunc(const TRect& rect, int32_t z0, int32_t z1, int32_t truncX, int32_t truncZ) override;
  void RectangleWithZ(const TRect& rect, int32_t z) override;
  void RectangleY(int32_t left, int32_t top, int32_t right, int32_t z0, int32_t z1) override;
  void RectangleZ(int32_t left, int32_t top, int32_t bottom, int32_t z0, int32_t z1) override;
  void RotatedTextOut3D(int32_t x, int32_t y, int32_t z, std::string_view text, double angle) override;
  void Circle3D(int32_t xCenter, int32_t yCenter, int32_t z, double radius) override;
  void ReservedDraw3D(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) override {}
  void TextOut3D(int32_t x, int32_t y, int32_t z, std::string_view text) override;
  void Triangle3D(const TPoint3D& p0, const TPoint3D& p1, const TPoint3D& p2, TColor color0, TColor color1,
                  TColor color2) override;
  void TriangleWithZ(const TPoint& p0, const TPoint& p1, const TPoint& p2, int32_t z) override;

  // ---- the GDI canvas's own ----
  // Draws the four stored projected points with Polygon.
  void PolygonFour();
  // Replaces the buffer bitmap (null frees it).
  void SetBitmap(std::unique_ptr<TBitmap> bitmap);
  void FreeBuffer();
  // Copies the whole buffer onto the destination at (x, y).
  void BitBltBuffer(TCanvas& destination, int32_t x, int32_t y);

  // The off-screen bitmap, or null.
  TBitmap* Buffer() const { return buffer_.get(); }
  bool BufferDirty() const { return bufferDirty_; }
  // Raised by the chart panel around one of its operations: switching the buffer off
  // then keeps it.
  bool HoldBuffer() const { return holdBuffer_; }
  void SetHoldBuffer(bool value) { holdBuffer_ = value; }
  bool TextZoom() const { return projection_.TextZoom; }
  double Scale() const { return projection_.Scale; }

 private:
  TCanvas& Ref();  // the reference canvas, or a 1×1 scratch canvas before InitWindow
  void SaveClip();
  void DarkenFace(int32_t amount);
  void RestoreFaceColor();
  void DrawFace(const TPoint& a, const TPoint& b, const TPoint& c, const TPoint& d);
  void PlainTextOut(int32_t x, int32_t y, std::string_view text);
  void SelectZoomedFont(int32_t zoomedSize);

  TCanvas* reference_ = nullptr;
  std::unique_ptr<TBitmap> buffer_;
  bool useBuffer_ = true;
  bool bufferDirty_ = true;
  bool monochrome_ = false;
  bool holdBuffer_ = false;
  bool savedIs3D_ = false;
  // The region in force before the last clip, and whether there was one.
  std::optional<QRegion> savedClip_;
  bool hasSavedClip_ = false;
  // Scratch polygon of the face-drawing operations.
  TFourPoints iPoints_{};
  // The face colour before DarkenFace.
  TColor faceBrushColor_ = clWhite;
  TColor faceBackColor_ = clWhite;
  std::unique_ptr<TBitmap> scratch_;
};

}  // namespace qira

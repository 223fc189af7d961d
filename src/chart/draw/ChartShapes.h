#pragma once
// Framed boxes of charts (titles, the legend, series marks, axis titles, walls):
// TChartCustomShapeBrushPen (an element with a parent panel, a brush, a frame pen and
// a visibility flag) and TChartCustomShape, which adds bevel, fill colour, font,
// gradient, picture, round corners, shadow, outline style, text format, transparency
// and its bounds, and draws itself at an angle and a depth on the parent's canvas.
// The text inside a box is drawn by the element that owns it.
#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>

#include "chart/draw/ChartPanel.h"

namespace qira {

enum TChartObjectShapeStyle : uint8_t { fosRectangle, fosRoundRectangle, fosEllipse };
enum TTextFormat : uint8_t { ttfNormal, ttfHtml };
// The class library's TAlignment (the 3D text has its own of that name).
enum TChartAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };
// Its names as streamed.
inline constexpr const char* kChartAlignmentIdents[] = {"taLeftJustify", "taRightJustify", "taCenter"};

class TChartCustomShapeBrushPen {
 public:
  // The brush is the element's (a subclass passes its own kind); null makes a plain one.
  explicit TChartCustomShapeBrushPen(TCustomChartPanel* parent, std::unique_ptr<TChartBrush> brush = nullptr);
  virtual ~TChartCustomShapeBrushPen() = default;
  TChartCustomShapeBrushPen(const TChartCustomShapeBrushPen&) = delete;
  TChartCustomShapeBrushPen& operator=(const TChartCustomShapeBrushPen&) = delete;

  TChartBrush& Brush() { return *brush_; }
  const TChartBrush& Brush() const { return *brush_; }
  TChartPen& Pen() { return *pen_; }
  const TChartPen& Pen() const { return *pen_; }
  bool Visible() const { return visible_; }
  void SetVisible(bool value);
  void Hide() { SetVisible(false); }
  TCustomChartPanel* ParentChart() const { return parent_; }
  void SetParentChart(TCustomChartPanel* parent) { parent_ = parent; }
  // Invalidates the parent panel when there is one.
  void Repaint();

 protected:
  // Stores a changed value and repaints the parent (without a parent: only stores).
  template <class T>
  void Change(T& field, const T& value) {
    if (field == value) return;
    field = value;
    Repaint();
  }

 private:
  TCustomChartPanel* parent_;
  std::unique_ptr<TChartBrush> brush_;
  std::unique_ptr<TChartPen> pen_;
  bool visible_ = true;
};

class TChartCustomShape : public TChartCustomShapeBrushPen {
 public:
  explicit TChartCustomShape(TCustomChartPanel* parent, std::unique_ptr<TChartBrush> brush = nullptr);
  ~TChartCustomShape() override;

  TBevelCut Bevel() const { return bevel_; }
  void SetBevel(TBevelCut value) { Change(bevel_, value); }
  TBevelWidth BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(TBevelWidth value) { Change(bevelWidth_, value); }
  TColor Color() const { return color_; }
  void SetColor(TColor value) { Change(color_, value); }
  TChartFont& Font() { return *font_; }
  int32_t RoundSize() const { return roundSize_; }
  void SetRoundSize(int32_t value) { Change(roundSize_, value); }
  TChartObjectShapeStyle ShapeStyle() const { return shapeStyle_; }
  void SetShapeStyle(TChartObjectShapeStyle value) { Change(shapeStyle_, value); }
  TTextFormat TextFormat() const { return textFormat_; }
  void SetTextFormat(TTextFormat value) { Change(textFormat_, value); }
  // A transparent box is not drawn at all.
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value) { Change(transparent_, value); }
  // Percent: the box is blended with what lies under it.
  TChartTransparency Transparency() const { return transparency_; }
  void SetTransparency(TChartTransparency value) { Change(transparency_, std::clamp(value, 0, 100)); }

  // Parts: the shadow exists from construction (black, size 3); gradient and picture
  // are made on first read. Assigning null frees them.
  TChartShadow* ShadowIfAny() { return shadow_.get(); }
  TChartShadow& Shadow();
  void SetShadow(const TChartShadow* value);
  TChartGradient& Gradient();
  const TChartGradient* GradientIfAny() const { return gradient_.get(); }
  void SetGradient(const TChartGradient* value);
  TBackImage& Picture();
  const TBackImage* PictureIfAny() const { return picture_.get(); }
  void SetPicture(const TBackImage* value);

  // Inclusive of right and bottom: Width = Right − Left + 1.
  TRect ShapeBounds;
  int32_t Width() const { return ShapeBounds.Right - ShapeBounds.Left + 1; }
  int32_t Height() const { return ShapeBounds.Bottom - ShapeBounds.Top + 1; }
  void SetWidth(int32_t value) { ShapeBounds.Right = ShapeBounds.Left + value - 1; }
  void SetHeight(int32_t value) { ShapeBounds.Bottom = ShapeBounds.Top + value - 1; }

  // Everything of the shape, then brush, pen and Visible.
  virtual void Assign(const TChartCustomShape& source);

  // The box in ShapeBounds at angle 0, depth 0.
  void Draw() { DrawRectRotated(ShapeBounds, 0, 0); }
  // The box in rect turned by angle degrees about its centre, at depth z, on the
  // parent's canvas (nothing without a parent).
  void DrawRectRotated(const TRect& rect, int32_t angle, int32_t z);
  // Top-left, top-right, bottom-right, bottom-left turned about the rectangle's centre.
  static std::array<TPoint, 4> RectRotatedPoints(const TRect& rect, double angle);

  // Published properties; "Color", "Transparent" and "Visible" only when they
  // differ from the element's defaults. The old "ShadowColor" and "ShadowSize" are read into the shadow.
  void WriteProperties(TStreamedProperties& block) const;
  void ReadProperties(const TStreamedProperties& block);

 protected:
  // The shadow's defaults (colour, size); subclasses choose their own.
  virtual void InitShadow(TChartShadow& shadow) { shadow.SetDefaults(clBlack, 3); }
  // The gradient, made on first read (subclasses make their own kind with its defaults).
  virtual std::unique_ptr<TChartGradient> CreateGradient(TNotifyEvent onChange) const {
    return std::make_unique<TChartGradient>(std::move(onChange));
  }
  void SetDefaultTransparent(bool value) {
    defaultTransparent_ = value;
    transparent_ = value;
  }
  void SetDefaultColor(TColor value) {
    defaultColor_ = value;
    color_ = value;
  }
  void SetDefaultVisible(bool value) {
    defaultVisible_ = value;
    SetVisible(value);
  }

 private:
  void DrawOutline(TChartCanvas3D& canvas, const TRect& rect, int32_t angle, int32_t z);
  void DrawBevel(TChartCanvas3D& canvas, TRect rect);

  TBevelCut bevel_ = bvNone;
  int32_t bevelWidth_ = 2;
  TColor color_ = clWhite;
  TColor defaultColor_ = clWhite;
  bool defaultVisible_ = true;
  std::unique_ptr<TChartFont> font_;
  int32_t roundSize_ = 16;
  std::unique_ptr<TChartShadow> shadow_;
  TChartObjectShapeStyle shapeStyle_ = fosRectangle;
  TTextFormat textFormat_ = ttfNormal;
  bool transparent_ = false;
  bool defaultTransparent_ = false;
  std::unique_ptr<TChartGradient> gradient_;
  std::unique_ptr<TBackImage> picture_;
  TChartTransparency transparency_ = 0;
};

// The shape with its properties published.
class TChartShape : public TChartCustomShape {
 public:
  using TChartCustomShape::TChartCustomShape;
};

}  // namespace qira

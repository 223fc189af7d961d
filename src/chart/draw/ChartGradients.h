#pragma once
// The finishing touches of chart elements: TChartShadow (a dropped shadow behind
// shapes and texts), the gradients TCustomChartGradient, TChartGradient, TSubGradient
// and TChartFontGradient, TChartFont (a platform font with gradient, outline, picture,
// shadow and letter spacing), TChartBlend (transparency by blending what was drawn
// with what was there before) and the colour helpers.
//
// Sections: colour helpers; gradient fill; TChartBlend; TChartShadow; gradients;
// TChartFont; installation.
//
// Settings objects follow the chart's property convention: an equal value does
// nothing; otherwise it is stored and OnChange is called. Their parts that are rarely
// needed are made on first read (the non-const accessor); the const forms answer what
// exists without making anything.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "chart/draw/ChartCanvas.h"
#include "chart/draw/ChartPicture.h"  // Reaches up: a chart font can be filled with a picture.

namespace qira {

// ----------------------------------------------------------- colour helpers

// Each channel c − amount when c > amount, else 0.
TColor DarkenColor(TColor color, int32_t amount);
// Each channel c + amount when that is below 256, else 255.
TColor ApplyBright(TColor color, int32_t amount);
struct TRGBBytes {
  uint8_t Blue = 0, Green = 0, Red = 0;
};
TRGBBytes ColorToRGBBytes(TColor color);
// (R + G + B) div 3 in all three channels (gradients on a monochrome canvas).
TColor GrayColor(TColor color);
void SwapDouble(double& a, double& b);
void SwapInteger(int32_t& a, int32_t& b);
double Hypotenuse(double a, double b);

// ------------------------------------------------------------ gradient fill

// The colour of step i of n between first and second: linear at balance 50, else
// through the balance curve ((1 + i) / (1 + n)) ^ (0.015 · balance + 0.5). Channels
// are limited to 0 .. 255, so a balance outside 0 .. 100 still gives a colour; n 0
// gives first.
TColor GradientStepColor(TColor first, TColor second, int32_t i, int32_t n, int32_t balance);

// The canvas's GradientFillRect on a platform canvas: bands, L shapes, rings,
// diagonal lines or radial ellipses from first to second. Leaves the canvas's pen,
// brush and clip as they were.
void FillGradientRect(TCanvas& canvas, const TRect& rect, TColor first, TColor second, TGradientDirection direction,
                      int32_t balance = 50, int32_t radialX = 0, int32_t radialY = 0);

// --------------------------------------------------------------- TChartBlend

class TChartBlend : public IChartBlend {
 public:
  // Saves the pixels under the rectangle (ordered, negative coordinates 0, at least
  // 1 × 1, limited to the canvas's Bounds and to its drawing surface).
  TChartBlend(TChartCanvas& canvas, const TRect& rect);
  // Mixes what was drawn since with the saved pixels: each channel
  // d + T · (s − d) div 100. Nothing when the blend is invalid or the canvas must not
  // read pixels back.
  void DoBlend(int32_t transparency) override;
  bool Valid() const { return valid_; }
  const TRect& Rect() const { return rect_; }

 private:
  TChartCanvas& canvas_;
  TRect rect_;
  QImage saved_;
  bool valid_ = false;
};

// Blends image saved over target at (x, y) with transparency percent t, clipped to
// both; nothing when the covered size is below 1. Per channel d + t · (s − d) div 100,
// after a pure white target pixel has become red 254, green 255, blue 255.
void BlendImages(const QImage& saved, QImage& target, int32_t x, int32_t y, int32_t t);

// -------------------------------------------------------------- TChartShadow

class TChartShadow {
 public:
  // Colour and default colour silver, Smooth, Visible and default visibility True.
  explicit TChartShadow(TNotifyEvent onChange = {});
  TChartShadow(const TChartShadow&) = delete;
  TChartShadow& operator=(const TChartShadow&) = delete;

  bool Clip() const { return clip_; }
  void SetClip(bool value);
  TColor Color() const { return color_; }
  void SetColor(TColor value);
  int32_t HorizSize() const { return horizSize_; }
  void SetHorizSize(int32_t value);
  bool Smooth() const { return smooth_; }
  void SetSmooth(bool value);
  int32_t SmoothBlur() const { return smoothBlur_; }
  void SetSmoothBlur(int32_t value);
  // Percent, limited to 0 .. 100.
  TChartTransparency Transparency() const { return transparency_; }
  void SetTransparency(TChartTransparency value);
  int32_t VertSize() const { return vertSize_; }
  void SetVertSize(int32_t value);
  bool Visible() const { return visible_; }
  void SetVisible(bool value);
  // max(|HorizSize|, |VertSize|); SetSize sets both.
  int32_t Size() const;
  void SetSize(int32_t value);
  // Colour, both sizes and the streamed defaults of colour and size at once.
  void SetDefaults(TColor color, int32_t size);

  // Everything but Clip.
  void Assign(const TChartShadow& source);

  // The shadow of a shape at depth z on the canvas (see the unit's comment).
  void DrawRect(TCanvas3D& canvas, const TRect& rect, int32_t cornerSize = 0) { DrawRectZ(canvas, rect, cornerSize, 0); }
  void DrawRectZ(TCanvas3D& canvas, const TRect& rect, int32_t cornerSize, int32_t z);
  void DrawEllipse(TCanvas3D& canvas, const TRect& rect, int32_t z = 0);
  void DrawPolygon(TCanvas3D& canvas, std::span<const TPoint> points, int32_t z = 0);

  // The values the canvas's text operations read.
  TChartTextShadow TextShadow() const;

  // Published properties, each name after prefix ("Shadow." for a font's shadow).
  void WriteProperties(TStreamedProperties& block, std::string_view prefix = {}) const;
  void ReadProperties(const TStreamedProperties& block, std::string_view prefix = {});

  TNotifyEvent OnChange;

 private:
  void Changed() {
    if (OnChange) OnChange();
  }
  // Smooth form: possible on a buffered GDI canvas that may read pixels back.
  TBitmap* SmoothTarget(TCanvas3D& canvas) const;
  void DrawSmooth(TBitmap& buffer, TCanvas3D& canvas, const TRect& shape, int32_t kind, int32_t cornerSize,
                  std::span<const TPoint> points);
  void DrawFadingBand(TCanvas& dc, const TRect& rect);

  bool clip_ = false;
  TColor color_ = clSilver;
  int32_t horizSize_ = 0;
  bool smooth_ = true;
  int32_t smoothBlur_ = 0;
  TChartTransparency transparency_ = 0;
  int32_t vertSize_ = 0;
  bool visible_ = true;
  TColor defaultColor_ = clSilver;
  int32_t defaultSize_ = 0;
  bool defaultVisible_ = true;
};

// ---------------------------------------------------------------- gradients

class TCustomChartGradient : public IChartGradient {
 public:
  explicit TCustomChartGradient(TNotifyEvent onChange = {});
  TCustomChartGradient(const TCustomChartGradient&) = delete;
  TCustomChartGradient& operator=(const TCustomChartGradient&) = delete;

  int32_t Angle() const { return angle_; }
  void SetAngle(int32_t value);
  int32_t Balance() const { return balance_; }
  void SetBalance(int32_t value);
  TGradientDirection Direction() const { return direction_; }
  void SetDirection(TGradientDirection value);
  TColor EndColor() const { return endColor_; }
  void SetEndColor(TColor value);
  // clNone when there is no middle colour; writing clNone removes it.
  TColor MidColor() const { return hasMidColor_ ? midColor_ : clNone; }
  void SetMidColor(TColor value);
  bool HasMidColor() const { return hasMidColor_; }
  int32_t RadialX() const { return radialX_; }
  void SetRadialX(int32_t value);
  int32_t RadialY() const { return radialY_; }
  void SetRadialY(int32_t value);
  TColor StartColor() const { return startColor_; }
  void SetStartColor(TColor value);
  bool Visible() const override { return visible_; }
  void SetVisible(bool value);

  virtual void Assign(const TCustomChartGradient& source);

  // Fills the rectangle (cornerSize > 0: clipped to a rounded rectangle).
  void Draw(TChartCanvas& canvas, const TRect& rect, int32_t cornerSize = 0) override;
  // Pen clear, then the polygon filled with this gradient.
  void FillFourPoints(TChartCanvas& canvas, const TFourPoints& points);
  void FillFourPoints3D(TCanvas3D& canvas, const TFourPoints& points, int32_t z);

  virtual void WriteProperties(TStreamedProperties& block, std::string_view prefix = {}) const;
  virtual void ReadProperties(const TStreamedProperties& block, std::string_view prefix = {});

  TNotifyEvent OnChange;

 protected:
  void Changed() {
    if (OnChange) OnChange();
  }
  // The gradient drawn over this one, blended by its transparency, when visible.
  virtual const TCustomChartGradient* OverGradient(int32_t& transparency) const {
    (void)transparency;
    return nullptr;
  }

 private:
  void DrawFlat(TChartCanvas& canvas, const TRect& rect, int32_t cornerSize);
  void DrawAngled(TChartCanvas& canvas, const TRect& rect);
  void FillColors(TCanvas& dc, const TRect& rect, bool monochrome) const;

  int32_t angle_ = 0;
  int32_t balance_ = 50;
  TGradientDirection direction_ = gdTopBottom;
  TColor endColor_ = 0x00FFFF;
  TColor midColor_ = clNone;
  bool hasMidColor_ = false;
  int32_t radialX_ = 0;
  int32_t radialY_ = 0;
  TColor startColor_ = clWhite;
  bool visible_ = false;
};

class TSubGradient : public TCustomChartGradient {
 public:
  using TCustomChartGradient::TCustomChartGradient;
  TChartTransparency Transparency() const { return transparency_; }
  void SetTransparency(TChartTransparency value);
  void Assign(const TCustomChartGradient& source) override;
  void WriteProperties(TStreamedProperties& block, std::string_view prefix = {}) const override;
  void ReadProperties(const TStreamedProperties& block, std::string_view prefix = {}) override;

 private:
  TChartTransparency transparency_ = 50;
};

class TChartGradient : public TCustomChartGradient {
 public:
  using TCustomChartGradient::TCustomChartGradient;
  // Made on first read with this gradient's OnChange and Transparency 50.
  TSubGradient& SubGradient();
  const TSubGradient* SubGradientIfAny() const { return sub_.get(); }
  // Copies the given one (with its Transparency); null frees ours.
  void SetSubGradient(const TSubGradient* value);
  // Also copies the source's sub-gradient, or frees ours when it has none.
  void Assign(const TCustomChartGradient& source) override;
  void WriteProperties(TStreamedProperties& block, std::string_view prefix = {}) const override;
  void ReadProperties(const TStreamedProperties& block, std::string_view prefix = {}) override;

 protected:
  const TCustomChartGradient* OverGradient(int32_t& transparency) const override;

 private:
  std::unique_ptr<TSubGradient> sub_;
};

class TChartFontGradient : public TCustomChartGradient {
 public:
  using TCustomChartGradient::TCustomChartGradient;
  // The gradient fills only the text's widened outline.
  bool Outline() const override { return outline_; }
  void SetOutline(bool value);
  void Assign(const TCustomChartGradient& source) override;
  void WriteProperties(TStreamedProperties& block, std::string_view prefix = {}) const override;
  void ReadProperties(const TStreamedProperties& block, std::string_view prefix = {}) override;

 private:
  bool outline_ = false;
};

// ---------------------------------------------------------------- TChartFont

class TChartFont : public IChartFont {
 public:
  // Black, the default character set, the chart's default name and size.
  explicit TChartFont(TNotifyEvent onChange = {});
  ~TChartFont() override;
  TChartFont(const TChartFont&) = delete;
  TChartFont& operator=(const TChartFont&) = delete;

  int32_t Charset() const { return charset_; }
  void SetCharset(int32_t value);
  TColor Color() const { return font_.Color; }
  void SetColor(TColor value);
  int32_t Height() const { return font_.Height; }
  void SetHeight(int32_t value);
  int32_t Size() const { return font_.Size(); }
  void SetSize(int32_t points);
  const std::string& Name() const { return font_.Name; }
  void SetName(const std::string& value);
  TFontStyles Style() const { return font_.Style; }
  void SetStyle(TFontStyles value);
  void SetInterCharSize(int32_t value);
  // The instance defaults that decide what is streamed.
  void SetDefaultColor(TColor value) { defaultColor_ = value; }
  void SetDefaultStyle(TFontStyles value) { defaultStyle_ = value; }

  // The four parts, made on first read.
  TChartFontGradient& Gradient();
  TChartHiddenPen& OutLine();
  TChartPicture& Picture();
  TChartShadow& Shadow();
  // Each part copies the given one; null frees ours.
  void SetGradient(const TChartFontGradient* value);
  void SetOutLine(const TChartPen* value);
  void SetPicture(const TChartPicture* value);
  void SetShadow(const TChartShadow* value);

  // Gradient, InterCharSize, OutLine, Shadow and Picture, then the platform font.
  void Assign(const TChartFont& source);

  // ---- IChartFont: what exists, never making a part
  const TFont& PlatformFont() const override { return font_; }
  int32_t InterCharSize() const override { return interCharSize_; }
  // A snapshot taken from the shadow's settings at each call, so settings changed or
  // read back later are what the next text draws with.
  const TChartTextShadow* Shadow() const override;
  const TChartPen* OutLine() const override { return outLine_.get(); }
  IChartGradient* Gradient() const override { return gradient_.get(); }
  // The picture passed through its filters; the same object for the font's life.
  const TGraphic* PictureGraphic() const override;
  void SetCanvas(TChartCanvas* canvas) override { canvas_ = canvas; }
  TChartCanvas* Canvas() const { return canvas_; }

  void WriteProperties(TStreamedProperties& block, std::string_view prefix = {}) const;
  void ReadProperties(const TStreamedProperties& block, std::string_view prefix = {});

  TNotifyEvent OnChange;

 private:
  void Changed() {
    if (OnChange) OnChange();
  }

  TFont font_;
  int32_t charset_ = 1;
  int32_t interCharSize_ = 0;
  TColor defaultColor_ = clBlack;
  TFontStyles defaultStyle_ = 0;
  std::unique_ptr<TChartFontGradient> gradient_;
  std::unique_ptr<TChartHiddenPen> outLine_;
  std::unique_ptr<TChartPicture> picture_;
  std::unique_ptr<TChartShadow> shadow_;
  mutable TChartTextShadow textShadow_;
  mutable std::unique_ptr<TBitmapGraphic> filtered_;
  TChartCanvas* canvas_ = nullptr;
};

// ------------------------------------------------------------- installation

// Installs the gradient fill, the blend and the blur into the canvas routines;
// safe to call more than once. The panel registers the image filters beside it.
void InstallChartFills();

}  // namespace qira

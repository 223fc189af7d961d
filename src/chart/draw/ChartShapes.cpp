#include "chart/draw/ChartShapes.h"

#include <cmath>

#include "platform/CanvasColors.h"
#include "platform/Rounding.h"

namespace qira {

// ------------------------------------------------------ TChartCustomShapeBrushPen

TChartCustomShapeBrushPen::TChartCustomShapeBrushPen(TCustomChartPanel* parent, std::unique_ptr<TChartBrush> brush)
    : parent_(parent), brush_(brush ? std::move(brush) : std::make_unique<TChartBrush>()) {
  brush_->OnChange = [this] { Repaint(); };
  pen_ = std::make_unique<TChartPen>([this] { Repaint(); });
}

void TChartCustomShapeBrushPen::SetVisible(bool value) { Change(visible_, value); }

void TChartCustomShapeBrushPen::Repaint() {
  if (parent_ != nullptr) parent_->Invalidate();
}

// -------------------------------------------------------------- TChartCustomShape

TChartCustomShape::TChartCustomShape(TCustomChartPanel* parent, std::unique_ptr<TChartBrush> brush)
    : TChartCustomShapeBrushPen(parent, std::move(brush)) {
  shadow_ = std::make_unique<TChartShadow>([this] { Repaint(); });
  InitShadow(*shadow_);
  font_ = std::make_unique<TChartFont>([this] { Repaint(); });
}

TChartCustomShape::~TChartCustomShape() = default;

TChartShadow& TChartCustomShape::Shadow() {
  if (!shadow_) {
    shadow_ = std::make_unique<TChartShadow>([this] { Repaint(); });
    InitShadow(*shadow_);
  }
  return *shadow_;
}

void TChartCustomShape::SetShadow(const TChartShadow* value) {
  if (value == nullptr) {
    shadow_.reset();
  } else if (value != shadow_.get()) {
    Shadow().Assign(*value);
  }
  Repaint();
}

TChartGradient& TChartCustomShape::Gradient() {
  if (!gradient_) {
    gradient_ = CreateGradient([this] { Repaint(); });
  }
  return *gradient_;
}

void TChartCustomShape::SetGradient(const TChartGradient* value) {
  if (value == nullptr) {
    gradient_.reset();
  } else if (value != gradient_.get()) {
    Gradient().Assign(*value);
  }
  Repaint();
}

TBackImage& TChartCustomShape::Picture() {
  if (!picture_) {
    picture_ = std::make_unique<TBackImage>();
    picture_->OnChange = [this](TPicture&) { Repaint(); };
  }
  return *picture_;
}

void TChartCustomShape::SetPicture(const TBackImage* value) {
  if (value == nullptr) {
    picture_.reset();
  } else if (value != picture_.get()) {
    Picture().Assign(value);
  }
  Repaint();
}

void TChartCustomShape::Assign(const TChartCustomShape& source) {
  if (&source == this) return;
  bevel_ = source.bevel_;
  bevelWidth_ = source.bevelWidth_;
  color_ = source.color_;
  font_->Assign(*source.font_);
  SetGradient(source.gradient_.get());
  shapeStyle_ = source.shapeStyle_;
  SetPicture(source.picture_.get());
  roundSize_ = source.roundSize_;
  SetShadow(source.shadow_.get());
  textFormat_ = source.textFormat_;
  transparent_ = source.transparent_;
  transparency_ = source.transparency_;
  Brush().Assign(source.Brush());
  Pen().Assign(source.Pen());
  SetVisible(source.Visible());
  Repaint();
}

std::array<TPoint, 4> TChartCustomShape::RectRotatedPoints(const TRect& rect, double angle) {
  const TPoint c = RectCenter(rect);
  const double a = angle * M_PI / 180.0;
  const double cs = std::cos(a), sn = std::sin(a);
  const TPoint corners[4] = {{rect.Left, rect.Top}, {rect.Right, rect.Top}, {rect.Right, rect.Bottom},
                             {rect.Left, rect.Bottom}};
  std::array<TPoint, 4> result;
  for (size_t i = 0; i < 4; ++i) {
    // Offsets from the centre in 64 bits: no int32 overflow for far-apart corners.
    const double x = static_cast<double>(int64_t{corners[i].X} - c.X);
    const double y = static_cast<double>(int64_t{corners[i].Y} - c.Y);
    result[i] = TPoint{RoundChartCoord(RoundHalfEven(x * cs + y * sn) + c.X),
                       RoundChartCoord(RoundHalfEven(-x * sn + y * cs) + c.Y)};
  }
  return result;
}

void TChartCustomShape::DrawOutline(TChartCanvas3D& canvas, const TRect& rect, int32_t angle, int32_t z) {
  if (angle != 0) {
    const auto corners = RectRotatedPoints(rect, angle);
    canvas.PolygonWithZ(corners, z);
    return;
  }
  switch (shapeStyle_) {
    case fosRectangle: canvas.Rectangle(rect.Left, rect.Top, rect.Right, rect.Bottom); break;
    case fosRoundRectangle:
      canvas.RoundRect(rect.Left, rect.Top, rect.Right, rect.Bottom, roundSize_, roundSize_);
      break;
    case fosEllipse: canvas.Ellipse(rect.Left, rect.Top, rect.Right, rect.Bottom); break;
  }
}

void TChartCustomShape::DrawBevel(TChartCanvas3D& canvas, TRect rect) {
  if (bevel_ == bvNone || bevelWidth_ < 1) return;
  const TColor topLeft = SystemColorToRGB(bevel_ == bvLowered ? clBtnShadowColor : clBtnHighlightColor);
  const TColor bottomRight = SystemColorToRGB(bevel_ == bvRaised ? clBtnShadowColor : clBtnHighlightColor);
  canvas.Frame3D(rect, topLeft, bottomRight, bevelWidth_);
}

void TChartCustomShape::DrawRectRotated(const TRect& rect, int32_t angle, int32_t z) {
  if (transparent_ || ParentChart() == nullptr) return;
  TChartCanvas3D& canvas = ParentChart()->ChartCanvas();
  TCanvas* dc = canvas.GetHandle();
  if (dc == nullptr) return;
  const auto corners = RectRotatedPoints(rect, angle);
  const TRect area = angle != 0 ? PointsBoundingRect(corners) : rect;

  std::unique_ptr<IChartBlend> blend;
  if (transparency_ > 0) blend = canvas.BeginBlending(area, transparency_);

  const bool brushClear = Brush().Style() == bsClear;
  if (shadow_ && shadow_->Visible() && shadow_->Size() > 0 && !brushClear) {
    if (shapeStyle_ == fosEllipse) {
      shadow_->DrawEllipse(canvas, rect, z);
    } else {
      const bool flat = !canvas.SupportsFullRotation();
      if (flat) canvas.Begin3DSuspension();
      shadow_->DrawRectZ(canvas, rect, shapeStyle_ == fosRoundRectangle ? roundSize_ : 0, z);
      if (flat) canvas.End3DSuspension();
    }
    if (transparency_ > 0) {
      // A second, flat shadow under the blended box keeps its shade.
      int32_t h = shadow_->HorizSize(), v = shadow_->VertSize();
      if (std::max(h, v) > 0 && Pen().Visible()) {
        h += Pen().Width();
        v += Pen().Width();
      }
      std::unique_ptr<IChartBlend> shadowBlend;
      const TRect moved{ClampChartCoord(int64_t{rect.Left} + h), ClampChartCoord(int64_t{rect.Top} + v),
                        ClampChartCoord(int64_t{rect.Right} + h), ClampChartCoord(int64_t{rect.Bottom} + v)};
      if (shadow_->Transparency() > 0) shadowBlend = canvas.BeginBlending(moved, shadow_->Transparency());
      dc->SetPenStyle(psClear);
      dc->SetBrush(TBrush{SystemColorToRGB(shadow_->Color()), bsSolid});
      DrawOutline(canvas, moved, angle, z);
      if (shadowBlend) canvas.EndBlending(std::move(shadowBlend));
    }
  }

  if (picture_ && !picture_->Empty()) {
    auto* panel = dynamic_cast<TCustomChartPanelExtended*>(ParentChart());
    if (shapeStyle_ == fosEllipse) canvas.ClipEllipse(rect);
    if (shapeStyle_ == fosRoundRectangle) canvas.ClipRoundRectangle(rect, roundSize_);
    if (panel != nullptr) picture_->Draw(*panel, rect, z);
    if (shapeStyle_ != fosRectangle) canvas.UnClipRectangle();
    dc->SetBrushStyle(bsClear);
  } else if (gradient_ && gradient_->Visible()) {
    if (angle != 0) {
      gradient_->FillFourPoints(canvas, corners);
    } else {
      gradient_->Draw(canvas, rect, shapeStyle_ == fosRoundRectangle ? roundSize_ : 0);
    }
    dc->SetBrushStyle(bsClear);
  } else {
    canvas.AssignBrushColor(Brush(), color_, Brush().BackColor());
  }

  canvas.AssignPen(Pen());
  DrawOutline(canvas, rect, angle, z);
  if (angle == 0) DrawBevel(canvas, rect);

  if (blend) {
    if (picture_ && picture_->Empty() && picture_->HasFilters()) {
      if (TBitmap* buffer = canvas.Buffer(); buffer != nullptr && dc == &buffer->Canvas()) {
        const TFilterRect r =
            ClampFilterRect(TFilterRect{area.Left, area.Top, area.Right - 1, area.Bottom - 1}, *buffer);
        if (!r.Empty()) {
          for (int32_t i = 0; i < picture_->Filters().Count(); ++i) {
            TChartFilter& f = picture_->Filters().Item(i);
            if (f.Enabled) f.Apply(*buffer, r);
          }
        }
      }
    }
    canvas.EndBlending(std::move(blend));
  }
}

namespace {
constexpr const char* kBevelIdents[] = {"bvNone", "bvLowered", "bvRaised", "bvSpace"};
constexpr const char* kStyleIdents[] = {"fosRectangle", "fosRoundRectangle", "fosEllipse"};
constexpr const char* kFormatIdents[] = {"ttfNormal", "ttfHtml"};

}  // namespace

void TChartCustomShape::WriteProperties(TStreamedProperties& block) const {
  if (bevel_ != bvNone) AddIdent(block, "Bevel", kBevelIdents[bevel_]);
  if (bevelWidth_ != 2) AddInteger(block, "BevelWidth", bevelWidth_);
  TStreamedProperties brush;
  Brush().WriteProperties(brush);
  AddPropertiesUnder(block, std::move(brush), "Brush.");
  if (color_ != defaultColor_) AddInteger(block, "Color", color_);
  font_->WriteProperties(block, "Font.");
  if (gradient_) gradient_->WriteProperties(block, "Gradient.");
  TStreamedProperties pen;
  Pen().WriteProperties(pen);
  AddPropertiesUnder(block, std::move(pen), "Pen.");
  if (picture_) picture_->WriteProperties(block);
  if (roundSize_ != 16) AddInteger(block, "RoundSize", roundSize_);
  if (shadow_) shadow_->WriteProperties(block, "Shadow.");
  if (shapeStyle_ != fosRectangle) AddIdent(block, "ShapeStyle", kStyleIdents[shapeStyle_]);
  if (textFormat_ != ttfNormal) AddIdent(block, "TextFormat", kFormatIdents[textFormat_]);
  if (transparent_ != defaultTransparent_) AddBoolean(block, "Transparent", transparent_);
  if (transparency_ != 0) AddInteger(block, "Transparency", transparency_);
  if (Visible() != defaultVisible_) AddBoolean(block, "Visible", Visible());
}

void TChartCustomShape::ReadProperties(const TStreamedProperties& block) {
  // Every value is read and checked into temporaries before the shape changes.
  const int bevel = PropertyIdent(block, "Bevel", kBevelIdents, bevel_);
  const int32_t bevelWidth = PropertyInt32(block, "BevelWidth", bevelWidth_);
  const TColor color = PropertyColor(block, "Color", color_);
  const int32_t roundSize = PropertyInt32(block, "RoundSize", roundSize_);
  const int style = PropertyIdent(block, "ShapeStyle", kStyleIdents, shapeStyle_);
  const int format = PropertyIdent(block, "TextFormat", kFormatIdents, textFormat_);
  const bool transparent = PropertyBoolean(block, "Transparent", transparent_);
  const int32_t transparency = PropertyInt32(block, "Transparency", transparency_, 0, 100);
  const bool visible = PropertyBoolean(block, "Visible", Visible());
  TChartBrush brush;
  brush.Assign(Brush());
  brush.ReadProperties(PropertiesUnder(block, "Brush."));
  TChartPen pen;
  pen.Assign(Pen());
  pen.ReadProperties(PropertiesUnder(block, "Pen."));
  TChartFont font;
  font.Assign(*font_);
  font.ReadProperties(block, "Font.");
  TChartShadow shadow;
  InitShadow(shadow);
  if (shadow_) shadow.Assign(*shadow_);
  shadow.ReadProperties(block, "Shadow.");
  // Old forms of the shadow's colour and size.
  if (FindProperty(block, "ShadowColor") != nullptr) shadow.SetColor(PropertyColor(block, "ShadowColor", 0));
  if (FindProperty(block, "ShadowSize") != nullptr) shadow.SetSize(PropertyInt32(block, "ShadowSize", 0));
  std::unique_ptr<TChartGradient> gradient;
  if (!PropertiesUnder(block, "Gradient.").empty()) {
    gradient = std::make_unique<TChartGradient>();
    if (gradient_) gradient->Assign(*gradient_);
    gradient->ReadProperties(block, "Gradient.");
  }
  std::unique_ptr<TBackImage> picture;
  if (FindProperty(block, "FilterItems") != nullptr) {
    picture = std::make_unique<TBackImage>();
    picture->ReadProperties(block);
  }

  bevel_ = static_cast<TPanelBevel>(bevel);
  bevelWidth_ = bevelWidth;
  color_ = color;
  roundSize_ = roundSize;
  shapeStyle_ = static_cast<TChartObjectShapeStyle>(style);
  textFormat_ = static_cast<TTextFormat>(format);
  transparent_ = transparent;
  transparency_ = transparency;
  Brush().Assign(brush);
  Pen().Assign(pen);
  font_->Assign(font);
  Shadow().Assign(shadow);
  if (gradient) Gradient().Assign(*gradient);
  if (picture) Picture().Filters().Assign(picture->Filters());
  SetVisible(visible);
  Repaint();
}

}  // namespace qira

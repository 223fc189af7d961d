#include "chart/draw/ChartPens.h"

#include <cmath>

#include "chart/draw/ChartInterfaces.h"
#include "platform/Rounding.h"

namespace qira {

namespace {

const char* const kPenStyleNames[] = {"psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot", "psClear",
                                      "psInsideFrame"};
const char* const kPenModeNames[] = {"pmBlack",       "pmWhite",       "pmNop",        "pmNot",
                                     "pmCopy",        "pmNotCopy",     "pmMergePenNot", "pmMaskPenNot",
                                     "pmMergeNotPen", "pmMaskNotPen",  "pmMerge",      "pmNotMerge",
                                     "pmMask",        "pmNotMask",     "pmXor",        "pmNotXor"};
const char* const kEndStyleNames[] = {"esRound", "esSquare", "esFlat"};
const char* const kBrushStyleNames[] = {"bsSolid",     "bsClear", "bsHorizontal", "bsVertical",
                                        "bsFDiagonal", "bsBDiagonal", "bsCross",  "bsDiagCross"};

// Stores value into field when it differs; true when it did.
template <typename T>
bool Change(T& field, const T& value) {
  if (field == value) return false;
  field = value;
  return true;
}

// Colours are streamed as the class library does: the int32 bit pattern.
int64_t ColorValue(TColor c) { return static_cast<int32_t>(c); }
TColor ReadColor(const TStreamedProperties& block, std::string_view name, TColor fallback) {
  return static_cast<TColor>(PropertyInt32(block, name, static_cast<int32_t>(fallback)));
}

}  // namespace

// ------------------------------------------------------------------ TChartPen

TChartPen::TChartPen(TNotifyEvent onChange) : OnChange(std::move(onChange)) {}

void TChartPen::SetColor(TColor value) {
  if (Change(pen_.Color, value)) Changed();
}
void TChartPen::SetWidth(int32_t value) {
  if (Change(pen_.Width, value)) Changed();
}
void TChartPen::SetStyle(TPenStyle value) {
  if (Change(pen_.Style, value)) Changed();
}
void TChartPen::SetMode(TPenMode value) {
  if (Change(pen_.Mode, value)) Changed();
}
void TChartPen::SetEndStyle(TPenEndStyle value) {
  if (Change(endStyle_, value)) Changed();
}
void TChartPen::SetSmallDots(bool value) {
  if (Change(smallDots_, value)) Changed();
}
void TChartPen::SetSmallSpace(int32_t value) {
  if (Change(smallSpace_, value)) Changed();
}
void TChartPen::SetVisible(bool value) {
  if (Change(visible_, value)) Changed();
}

void TChartPen::Assign(const TChartPen& source) {
  if (&source == this) return;
  bool changed = Change(visible_, source.visible_);
  changed |= Change(smallDots_, source.smallDots_);
  changed |= Change(smallSpace_, source.smallSpace_);
  changed |= Change(endStyle_, source.endStyle_);
  changed |= Change(pen_, source.pen_);
  if (changed) Changed();
}

void TChartPen::Assign(const TPen& source) {
  if (Change(pen_, source)) Changed();
}

void TChartPen::SetInstanceDefaults(TColor color, TPenStyle style, bool visible, bool alwaysWriteVisible) {
  pen_.Color = defaultColor_ = color;
  pen_.Style = defaultStyle_ = style;
  visible_ = defaultVisible_ = visible;
  alwaysWriteVisible_ = alwaysWriteVisible;
}

void TChartPen::WriteProperties(TStreamedProperties& block) const {
  if (pen_.Color != defaultColor_) AddInteger(block, "Color", ColorValue(pen_.Color));
  if (endStyle_ != defaultEndStyle_) AddIdent(block, "EndStyle", kEndStyleNames[endStyle_]);
  if (pen_.Mode != pmCopy) AddIdent(block, "Mode", kPenModeNames[pen_.Mode]);
  AddBoolean(block, "SmallDots", smallDots_);
  AddInteger(block, "SmallSpace", smallSpace_);
  if (pen_.Style != defaultStyle_) AddIdent(block, "Style", kPenStyleNames[pen_.Style]);
  if (alwaysWriteVisible_ || visible_ != defaultVisible_) AddBoolean(block, "Visible", visible_);
  if (pen_.Width != 1) AddInteger(block, "Width", pen_.Width);
}

void TChartPen::ReadProperties(const TStreamedProperties& block) {
  // Everything is read before anything is stored: a bad value changes nothing.
  TPen pen;
  pen.Color = ReadColor(block, "Color", defaultColor_);
  pen.Width = PropertyInt32(block, "Width", 1, 0, 1 << 16);
  pen.Style = static_cast<TPenStyle>(PropertyIdent(block, "Style", kPenStyleNames, defaultStyle_));
  pen.Mode = static_cast<TPenMode>(PropertyIdent(block, "Mode", kPenModeNames, pmCopy));
  const auto endStyle = static_cast<TPenEndStyle>(PropertyIdent(block, "EndStyle", kEndStyleNames, defaultEndStyle_));
  const bool smallDots = PropertyBoolean(block, "SmallDots", false);
  const int32_t smallSpace = PropertyInt32(block, "SmallSpace", 0, 0, 1 << 16);
  const bool visible = PropertyBoolean(block, "Visible", defaultVisible_);
  bool changed = Change(pen_, pen);
  changed |= Change(endStyle_, endStyle);
  changed |= Change(smallDots_, smallDots);
  changed |= Change(smallSpace_, smallSpace);
  changed |= Change(visible_, visible);
  if (changed) Changed();
}

TChartHiddenPen::TChartHiddenPen(TNotifyEvent onChange) : TChartPen(std::move(onChange)) {
  SetInstanceDefaults(clBlack, psSolid, false);
}
TDottedGrayPen::TDottedGrayPen(TNotifyEvent onChange) : TChartPen(std::move(onChange)) {
  SetInstanceDefaults(clGray, psDot, true);
}
TDarkGrayPen::TDarkGrayPen(TNotifyEvent onChange) : TChartPen(std::move(onChange)) {
  SetInstanceDefaults(clGray, psSolid, true);
}
TWhitePen::TWhitePen(TNotifyEvent onChange) : TChartPen(std::move(onChange)) {
  SetInstanceDefaults(clWhite, psSolid, true, true);
}

// ---------------------------------------------------------------- TChartBrush

TChartBrush::TChartBrush(TNotifyEvent onChange)
    : OnChange(std::move(onChange)), color_(clChartDefault), backColor_(clNone) {}

TChartBrush::~TChartBrush() = default;

void TChartBrush::SetColor(TColor value) {
  if (Change(color_, value)) Changed();
}
void TChartBrush::SetStyle(TBrushStyle value) {
  if (Change(style_, value)) Changed();
}
void TChartBrush::SetBackColor(TColor value) {
  if (Change(backColor_, value)) Changed();
}

TPicture& TChartBrush::Image() {
  if (!image_) {
    image_ = std::make_unique<TPicture>();
    image_->OnChange = [this](TPicture&) { Changed(); };
  }
  return *image_;
}

void TChartBrush::SetImage(const TPicture* picture) {
  if (picture) {
    if (picture != image_.get()) {
      TPicture& own = Image();
      const auto keep = std::move(own.OnChange);  // one notification, below
      own.OnChange = nullptr;
      own.Assign(picture);
      own.OnChange = keep;
    }
  } else {
    image_.reset();
  }
  Changed();
}

void TChartBrush::Assign(const TChartBrush& source) {
  if (&source == this) return;
  SetImage(source.image_.get());
  SetBackColor(source.backColor_);
  SetColor(source.color_);
  SetStyle(source.style_);
}

void TChartBrush::Assign(const TBrush& source) {
  SetColor(source.Color);
  SetStyle(source.Style);
}

void TChartBrush::WriteProperties(TStreamedProperties& block) const {
  if (backColor_ != clNone) AddInteger(block, "BackColor", ColorValue(backColor_));
  if (color_ != clChartDefault) AddInteger(block, "Color", ColorValue(color_));
  if (style_ != bsSolid) AddIdent(block, "Style", kBrushStyleNames[style_]);
}

void TChartBrush::ReadProperties(const TStreamedProperties& block) {
  const TColor backColor = ReadColor(block, "BackColor", clNone);
  const TColor color = ReadColor(block, "Color", clChartDefault);
  const auto style = static_cast<TBrushStyle>(PropertyIdent(block, "Style", kBrushStyleNames, bsSolid));
  bool changed = Change(backColor_, backColor);
  changed |= Change(color_, color);
  changed |= Change(style_, style);
  if (changed) Changed();
}

// ------------------------------------------------------------- TView3DOptions

TView3DOptions::TView3DOptions(IChartViewHost* parent) : parent_(parent) {}

int32_t TView3DOptions::Elevation() const { return RoundToInt(elevation_); }
int32_t TView3DOptions::Rotation() const { return RoundToInt(rotation_); }
int32_t TView3DOptions::Zoom() const { return RoundToInt(zoom_); }

void TView3DOptions::SetElevation(int32_t value) {
  if (Change(elevation_, static_cast<double>(value))) Repaint();
}
void TView3DOptions::SetRotation(int32_t value) {
  if (Change(rotation_, static_cast<double>(value))) Repaint();
}
void TView3DOptions::SetZoom(int32_t value) { SetZoomFloat(value); }
void TView3DOptions::SetZoomFloat(double value) {
  if (zoom_ == value) return;
  if (OnZoom) OnZoom(RoundToInt(zoom_));
  zoom_ = value;
  Repaint();
}
void TView3DOptions::SetTilt(int32_t value) {
  if (Change(tilt_, value)) Repaint();
}
void TView3DOptions::SetPerspective(int32_t value) {
  if (Change(perspective_, value)) Repaint();
}
void TView3DOptions::SetFontZoom(int32_t value) {
  if (Change(fontZoom_, value)) Repaint();
}
void TView3DOptions::SetZoomText(bool value) {
  if (Change(zoomText_, value)) Repaint();
}
void TView3DOptions::SetHorizOffset(int32_t value) {
  if (!Change(horizOffset_, value)) return;
  Repaint();
  if (OnScroll) OnScroll(true);
}
void TView3DOptions::SetVertOffset(int32_t value) {
  if (!Change(vertOffset_, value)) return;
  Repaint();
  if (OnScroll) OnScroll(false);
}
void TView3DOptions::SetOrthogonal(bool value) {
  if (Change(orthogonal_, value)) Repaint();
}
void TView3DOptions::SetOrthoAngle(int32_t value) {
  if (Change(orthoAngle_, value)) Repaint();
}

void TView3DOptions::Assign(const TView3DOptions& source) {
  elevation_ = source.elevation_;
  fontZoom_ = source.fontZoom_;
  horizOffset_ = source.horizOffset_;
  orthoAngle_ = source.orthoAngle_;
  orthogonal_ = source.orthogonal_;
  perspective_ = source.perspective_;
  rotation_ = source.rotation_;
  tilt_ = source.tilt_;
  vertOffset_ = source.vertOffset_;
  zoom_ = source.zoom_;
  zoomText_ = source.zoomText_;
}

double TView3DOptions::OrthoDepthRatio() const {
  if (!orthogonal_) return 1.0;
  int32_t a = orthoAngle_;
  if (a > 90) a = 180 - a;
  const double radians = a * 3.14159265358979323846 / 180.0;
  return std::sin(radians) / std::cos(radians);
}

void TView3DOptions::WriteProperties(TStreamedProperties& block) const {
  if (elevation_ != 345) AddDouble(block, "Elevation", elevation_);
  if (fontZoom_ != 100) AddInteger(block, "FontZoom", fontZoom_);
  if (horizOffset_ != 0) AddInteger(block, "HorizOffset", horizOffset_);
  if (orthoAngle_ != 45) AddInteger(block, "OrthoAngle", orthoAngle_);
  if (!orthogonal_) AddBoolean(block, "Orthogonal", orthogonal_);
  if (perspective_ != 100) AddInteger(block, "Perspective", perspective_);
  if (rotation_ != 345) AddDouble(block, "Rotation", rotation_);
  if (tilt_ != 0) AddInteger(block, "Tilt", tilt_);
  if (vertOffset_ != 0) AddInteger(block, "VertOffset", vertOffset_);
  if (zoom_ != 100) AddDouble(block, "Zoom", zoom_);
  if (!zoomText_) AddBoolean(block, "ZoomText", zoomText_);
}

void TView3DOptions::ReadProperties(const TStreamedProperties& block) {
  const auto finite = [&](std::string_view name, double fallback) {
    const double v = PropertyDouble(block, name, fallback);
    if (!std::isfinite(v)) throw EChartStreamError("Damaged property stream: value of " + std::string(name));
    return v;
  };
  const double elevation = finite("Elevation", 345);
  const double rotation = finite("Rotation", 345);
  const double zoom = finite("Zoom", 100);
  const int32_t fontZoom = PropertyInt32(block, "FontZoom", 100);
  const int32_t horizOffset = PropertyInt32(block, "HorizOffset", 0);
  const int32_t orthoAngle = PropertyInt32(block, "OrthoAngle", 45);
  const bool orthogonal = PropertyBoolean(block, "Orthogonal", true);
  const int32_t perspective = PropertyInt32(block, "Perspective", 100);
  const int32_t tilt = PropertyInt32(block, "Tilt", 0);
  const int32_t vertOffset = PropertyInt32(block, "VertOffset", 0);
  const bool zoomText = PropertyBoolean(block, "ZoomText", true);
  elevation_ = elevation;
  rotation_ = rotation;
  zoom_ = zoom;
  fontZoom_ = fontZoom;
  horizOffset_ = horizOffset;
  orthoAngle_ = orthoAngle;
  orthogonal_ = orthogonal;
  perspective_ = perspective;
  tilt_ = tilt;
  vertOffset_ = vertOffset;
  zoomText_ = zoomText;
  Repaint();
}

}  // namespace qira

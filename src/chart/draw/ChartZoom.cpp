#include "chart/draw/ChartZoom.h"

#include <utility>

namespace qira {

void TZoomPanning::Activate(int32_t x, int32_t y) {
  X0 = X1 = x;
  Y0 = Y1 = y;
  Active = true;
}

void TZoomPanning::OrderCorners() {
  if (X0 > X1) std::swap(X0, X1);
  if (Y0 > Y1) std::swap(Y0, Y1);
}

TChartZoomPen::TChartZoomPen(TNotifyEvent onChange) : TChartPen(std::move(onChange)) {
  SetInstanceDefaults(clWhite, psSolid, true);
}

TChartZoomBrush::TChartZoomBrush(TNotifyEvent onChange) : TChartBrush(std::move(onChange)) {
  SetColor(clWhite);
  SetStyle(bsClear);
}

TChartZoomBrush& TChartZoom::Brush() {
  if (!brush_) brush_ = std::make_unique<TChartZoomBrush>();
  return *brush_;
}

TChartZoomPen& TChartZoom::Pen() {
  if (!pen_) pen_ = std::make_unique<TChartZoomPen>();
  return *pen_;
}

void TChartZoom::SetBrush(const TChartBrush* value) {
  if (value == nullptr) {
    brush_.reset();
  } else if (value != brush_.get()) {
    Brush().Assign(*value);
  }
}

void TChartZoom::SetPen(const TChartPen* value) {
  if (value == nullptr) {
    pen_.reset();
  } else if (value != pen_.get()) {
    Pen().Assign(*value);
  }
}

void TChartZoom::Assign(const TChartZoom& source) {
  if (&source == this) return;
  Allow = source.Allow;
  Animated = source.Animated;
  AnimatedSteps = source.AnimatedSteps;
  SetBrush(source.brush_.get());
  Direction = source.Direction;
  KeyShift = source.KeyShift;
  MouseButton = source.MouseButton;
  SetPen(source.pen_.get());
}

namespace {
constexpr const char* kDirectionIdents[] = {"tzdHorizontal", "tzdVertical", "tzdBoth"};
constexpr const char* kButtonIdents[] = {"mbLeft", "mbRight", "mbMiddle"};

}  // namespace

void TChartZoom::WriteProperties(TStreamedProperties& block, std::string_view prefix) const {
  if (!Allow) AddBoolean(block, PropertyKey(prefix, "Allow"), false);
  if (Animated) AddBoolean(block, PropertyKey(prefix, "Animated"), true);
  if (AnimatedSteps != 8) AddInteger(block, PropertyKey(prefix, "AnimatedSteps"), AnimatedSteps);
  if (brush_) {
    TStreamedProperties part;
    if (brush_->Color() != clWhite) AddInteger(part, "Color", brush_->Color());
    if (brush_->Style() != bsClear) AddInteger(part, "Style", brush_->Style());
    AddPropertiesUnder(block, part, PropertyKey(prefix, "Brush."));
  }
  if (Direction != tzdBoth) AddIdent(block, PropertyKey(prefix, "Direction"), kDirectionIdents[Direction]);
  if (KeyShift != 0) AddInteger(block, PropertyKey(prefix, "KeyShift"), KeyShift);
  if (MinimumPixels != 16) AddInteger(block, PropertyKey(prefix, "MinimumPixels"), MinimumPixels);
  if (MouseButton != mbLeft) AddIdent(block, PropertyKey(prefix, "MouseButton"), kButtonIdents[MouseButton]);
  if (pen_) {
    TStreamedProperties part;
    pen_->WriteProperties(part);
    AddPropertiesUnder(block, part, PropertyKey(prefix, "Pen."));
  }
  if (UpLeftZooms) AddBoolean(block, PropertyKey(prefix, "UpLeftZooms"), true);
}

void TChartZoom::ReadProperties(const TStreamedProperties& block, std::string_view prefix) {
  const bool allow = PropertyBoolean(block, PropertyKey(prefix, "Allow"), Allow);
  const bool animated = PropertyBoolean(block, PropertyKey(prefix, "Animated"), Animated);
  const int32_t steps = PropertyInt32(block, PropertyKey(prefix, "AnimatedSteps"), AnimatedSteps);
  const int direction = PropertyIdent(block, PropertyKey(prefix, "Direction"), kDirectionIdents, Direction);
  const int32_t keyShift = PropertyInt32(block, PropertyKey(prefix, "KeyShift"), KeyShift, 0, 127);
  const int32_t minimum = PropertyInt32(block, PropertyKey(prefix, "MinimumPixels"), MinimumPixels);
  const int button = PropertyIdent(block, PropertyKey(prefix, "MouseButton"), kButtonIdents, MouseButton);
  const bool upLeft = PropertyBoolean(block, PropertyKey(prefix, "UpLeftZooms"), UpLeftZooms);
  const TStreamedProperties brushPart = PropertiesUnder(block, PropertyKey(prefix, "Brush."));
  const TColor brushColor = PropertyColor(brushPart, "Color", clWhite);
  const int32_t brushStyle = PropertyInt32(brushPart, "Style", bsClear, 0, bsDiagCross);
  const TStreamedProperties penPart = PropertiesUnder(block, PropertyKey(prefix, "Pen."));
  std::unique_ptr<TChartZoomPen> pen;
  if (!penPart.empty()) {
    pen = std::make_unique<TChartZoomPen>();
    pen->ReadProperties(penPart);
  }
  Allow = allow;
  Animated = animated;
  AnimatedSteps = steps;
  Direction = static_cast<TChartZoomDirection>(direction);
  KeyShift = static_cast<TShiftState>(keyShift);
  MinimumPixels = minimum;
  MouseButton = static_cast<TMouseButton>(button);
  UpLeftZooms = upLeft;
  if (!brushPart.empty()) {
    Brush().SetColor(brushColor);
    Brush().SetStyle(static_cast<TBrushStyle>(brushStyle));
  }
  if (pen) Pen().Assign(*pen);
}

}  // namespace qira

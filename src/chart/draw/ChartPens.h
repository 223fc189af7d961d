#pragma once
// The line, fill and 3D-view settings of chart elements: TChartPen with its preset
// variants, TChartBrush and TView3DOptions. Each setter follows the chart's
// property convention: an equal value does nothing; otherwise the value is stored
// and the owner is told (OnChange), so the chart rebuilds and repaints.
//
// The objects are owned by their chart element and are not copyable: Assign copies
// the values into an existing object.
#include <cstdint>
#include <functional>
#include <memory>

#include "chart/draw/ChartStreaming.h"
#include "platform/Canvas.h"
#include "platform/Picture.h"

namespace qira {

using TNotifyEvent = std::function<void()>;

enum TPenEndStyle : uint8_t { esRound, esSquare, esFlat };

// ------------------------------------------------------------------ TChartPen

class TChartPen {
 public:
  // Visible True; the instance defaults Visible True and EndStyle esRound.
  explicit TChartPen(TNotifyEvent onChange = {});
  virtual ~TChartPen() = default;
  TChartPen(const TChartPen&) = delete;
  TChartPen& operator=(const TChartPen&) = delete;

  // The platform pen's attributes.
  TColor Color() const { return pen_.Color; }
  void SetColor(TColor value);
  int32_t Width() const { return pen_.Width; }
  void SetWidth(int32_t value);
  TPenStyle Style() const { return pen_.Style; }
  void SetStyle(TPenStyle value);
  TPenMode Mode() const { return pen_.Mode; }
  void SetMode(TPenMode value);
  const TPen& PlatformPen() const { return pen_; }

  TPenEndStyle EndStyle() const { return endStyle_; }
  void SetEndStyle(TPenEndStyle value);
  // Draw the line as one-pixel dots, SmallSpace + 1 pixels apart.
  bool SmallDots() const { return smallDots_; }
  void SetSmallDots(bool value);
  int32_t SmallSpace() const { return smallSpace_; }
  void SetSmallSpace(int32_t value);
  // An invisible pen draws nothing.
  bool Visible() const { return visible_; }
  void SetVisible(bool value);
  void Hide() { SetVisible(false); }
  void Show() { SetVisible(true); }
  // Sets the end style and the instance default that decides whether it is streamed,
  // without a change notification: for an owner whose pen starts with its own end
  // style (the panel's border starts and streams as esFlat).
  void SetInstanceEndStyle(TPenEndStyle value) { endStyle_ = defaultEndStyle_ = value; }

  // From a chart pen: Visible, SmallDots, SmallSpace, EndStyle, then the platform
  // attributes. From a plain pen: the platform attributes only. One OnChange when
  // anything changed.
  void Assign(const TChartPen& source);
  void Assign(const TPen& source);

  // Published properties: Color, Width, Style and Mode when they differ from the
  // instance's streamed defaults; EndStyle and Visible when they differ from the
  // instance defaults (TWhitePen always writes Visible); SmallDots and SmallSpace
  // always.
  void WriteProperties(TStreamedProperties& block) const;
  // Takes the values of a block written by WriteProperties; absent ones keep their
  // defaults. A value of the wrong type or out of range raises EChartStreamError and
  // changes nothing.
  void ReadProperties(const TStreamedProperties& block);

  TNotifyEvent OnChange;

 protected:
  // Sets a variant's start values and its streamed defaults in one step.
  void SetInstanceDefaults(TColor color, TPenStyle style, bool visible, bool alwaysWriteVisible = false);

 private:
  void Changed() {
    if (OnChange) OnChange();
  }

  TPen pen_;
  TPenEndStyle endStyle_ = esRound;
  bool smallDots_ = false;
  int32_t smallSpace_ = 0;
  bool visible_ = true;

  // What the stream leaves out.
  TColor defaultColor_ = clBlack;
  TPenStyle defaultStyle_ = psSolid;
  bool defaultVisible_ = true;
  TPenEndStyle defaultEndStyle_ = esRound;
  bool alwaysWriteVisible_ = false;
};

// Starts (and streams by default) invisible.
class TChartHiddenPen : public TChartPen {
 public:
  explicit TChartHiddenPen(TNotifyEvent onChange = {});
};

// Grey (0x808080), dotted.
class TDottedGrayPen : public TChartPen {
 public:
  explicit TDottedGrayPen(TNotifyEvent onChange = {});
};

// Grey (0x808080), solid.
class TDarkGrayPen : public TChartPen {
 public:
  explicit TDarkGrayPen(TNotifyEvent onChange = {});
};

// White; Visible is always streamed.
class TWhitePen : public TChartPen {
 public:
  explicit TWhitePen(TNotifyEvent onChange = {});
};

// ---------------------------------------------------------------- TChartBrush

class TChartBrush {
 public:
  // Color clChartDefault (the element's automatic colour), style solid, BackColor clNone.
  explicit TChartBrush(TNotifyEvent onChange = {});
  ~TChartBrush();
  TChartBrush(const TChartBrush&) = delete;
  TChartBrush& operator=(const TChartBrush&) = delete;

  TColor Color() const { return color_; }
  void SetColor(TColor value);
  TBrushStyle Style() const { return style_; }
  void SetStyle(TBrushStyle value);
  // The colour behind hatch lines; clNone leaves them transparent.
  TColor BackColor() const { return backColor_; }
  void SetBackColor(TColor value);

  // The brush's picture, created on first read; its changes reach OnChange.
  TPicture& Image();
  // The picture when one was made, without making one.
  const TPicture* ImageIfAny() const { return image_.get(); }
  // True when the brush fills with a picture (a picture holding a graphic).
  bool HasImageGraphic() const { return image_ && !image_->Empty(); }
  // Copies the picture's graphic into the brush's picture; null frees the picture.
  // OnChange follows either way.
  void SetImage(const TPicture* picture);

  // From a chart brush: its image and BackColor, then Color and Style.
  void Assign(const TChartBrush& source);
  void Assign(const TBrush& source);

  // Color unless clChartDefault, BackColor unless clNone, Style unless solid.
  void WriteProperties(TStreamedProperties& block) const;
  void ReadProperties(const TStreamedProperties& block);

  TNotifyEvent OnChange;

 private:
  void Changed() {
    if (OnChange) OnChange();
  }

  TColor color_;
  TBrushStyle style_ = bsSolid;
  TColor backColor_;
  std::unique_ptr<TPicture> image_;
};

// ------------------------------------------------------------- TView3DOptions

// What the view options need of the panel that shows them.
class IChartViewHost {
 public:
  virtual ~IChartViewHost() = default;
  // Ask for a repaint (the panel's invalidate).
  virtual void Invalidate() = 0;
};

class TView3DOptions {
 public:
  explicit TView3DOptions(IChartViewHost* parent = nullptr);
  TView3DOptions(const TView3DOptions&) = delete;
  TView3DOptions& operator=(const TView3DOptions&) = delete;

  IChartViewHost* Parent() const { return parent_; }
  void SetParent(IChartViewHost* parent) { parent_ = parent; }

  // Degrees; kept as doubles, read rounded to integers.
  int32_t Elevation() const;
  void SetElevation(int32_t value);
  int32_t Rotation() const;
  void SetRotation(int32_t value);
  int32_t Zoom() const;  // percent
  // Calls OnZoom with the old zoom (rounded) before storing.
  void SetZoom(int32_t value);
  double ZoomFloat() const { return zoom_; }
  void SetZoomFloat(double value);

  int32_t Tilt() const { return tilt_; }
  void SetTilt(int32_t value);
  int32_t Perspective() const { return perspective_; }
  void SetPerspective(int32_t value);
  int32_t FontZoom() const { return fontZoom_; }
  void SetFontZoom(int32_t value);
  bool ZoomText() const { return zoomText_; }
  void SetZoomText(bool value);
  // Call OnScroll (True: horizontal) after the repaint request.
  int32_t HorizOffset() const { return horizOffset_; }
  void SetHorizOffset(int32_t value);
  int32_t VertOffset() const { return vertOffset_; }
  void SetVertOffset(int32_t value);
  bool Orthogonal() const { return orthogonal_; }
  void SetOrthogonal(bool value);
  int32_t OrthoAngle() const { return orthoAngle_; }
  void SetOrthoAngle(int32_t value);

  // Copies every view value without any notification.
  void Assign(const TView3DOptions& source);

  // Depth scale of the oblique view: tan(OrthoAngle), an angle above 90 taken as
  // 180 − angle; 1.0 when not orthogonal.
  double OrthoDepthRatio() const;

  // Published properties with the defaults of the table (345, 345, 0, 100, 100, 100,
  // True, 0, 0, True, 45), each written only when it differs.
  void WriteProperties(TStreamedProperties& block) const;
  void ReadProperties(const TStreamedProperties& block);

  std::function<void(bool horizontal)> OnScroll;
  std::function<void(int32_t oldZoom)> OnZoom;

 private:
  void Repaint() {
    if (parent_) parent_->Invalidate();
  }

  IChartViewHost* parent_;
  double elevation_ = 345;
  double rotation_ = 345;
  int32_t tilt_ = 0;
  int32_t perspective_ = 100;
  double zoom_ = 100;
  int32_t fontZoom_ = 100;
  bool zoomText_ = true;
  int32_t horizOffset_ = 0;
  int32_t vertOffset_ = 0;
  bool orthogonal_ = true;
  int32_t orthoAngle_ = 45;
};

}  // namespace qira

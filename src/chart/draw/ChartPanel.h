#pragma once
// TCustomChartPanel: the control every chart is drawn on. It owns the chart canvas
// (TChartCanvas3D), computes the chart rectangle from its bounds, margins, border and
// shadow, paints through that canvas into a control back buffer (reusing the canvas's
// off-screen buffer while nothing changed), draws its own frame (border pen, bevels,
// round corners, shadow) and forwards mouse activity to registered listeners.
// TCustomChartPanelExtended adds the background (gradient or back image), the zoom
// settings and the panning mode; TBackImage is the panel's back picture.
//
// The window outline of a round-cornered panel is the widget's mask (a QRegion). A
// panel whose Color is clNone is transparent: it paints only what the chart draws, and
// the parent shows through the rest. The panel takes the arrow keys before any
// shortcut does. Nothing raised while painting or handling the mouse leaves a Qt
// event handler.
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "chart/draw/ChartGradients.h"
#include "chart/draw/ChartZoom.h"  // Reaches up: the panel keeps the zoom and panning drags and their mouse types.
#include "chart/draw/GdiChartCanvas.h"

namespace qira {

class TCustomChartPanel;
class TCustomChartPanelExtended;

enum TPanelBevel : uint8_t { bvNone, bvLowered, bvRaised, bvSpace };
// A shape's bevel takes the panel's kinds and a width in pixels.
using TBevelCut = TPanelBevel;
using TBevelWidth = int32_t;
enum TPanningMode : uint8_t { pmNone, pmHorizontal, pmVertical, pmBoth };
enum TChartBackImageMode : uint8_t { pbmStretch, pbmTile, pbmCenter, pbmCustom };

// The button face colours (system colours 16 and 20).
inline constexpr TColor clBtnShadowColor = 0xFF000010;
inline constexpr TColor clBtnHighlightColor = 0xFF000014;

// ------------------------------------------------------------------ events

// The chart's button and shift state of a Qt mouse event.
TMouseButton ChartMouseButton(Qt::MouseButton button);
TShiftState ChartShiftState(const QMouseEvent* event);

class TChartEvent {
 public:
  virtual ~TChartEvent() = default;
  TCustomChartPanel* Sender = nullptr;
};

enum TChartMouseEventKind : uint8_t { cmeDown, cmeUp, cmeMove };

class TChartMouseEvent : public TChartEvent {
 public:
  TChartMouseEventKind Event = cmeDown;
  TMouseButton Button = mbLeft;
  TShiftState Shift = 0;
  int32_t X = 0;
  int32_t Y = 0;
};

// View3D changed.
class TChartView3DEvent : public TChartEvent {};

// Called before a chart is printed; printing is not part of this program, so the event
// is only stored.
using TChartPrintEvent = std::function<void(TCustomChartPanel& sender, TCanvas& canvas, const TRect& r)>;

class IChartEventListener {
 public:
  virtual ~IChartEventListener() = default;
  virtual void Notify(TChartEvent& event) = 0;
};

// Not owned: a listener removes itself before it goes.
using TChartEventListeners = std::vector<IChartEventListener*>;

// ---------------------------------------------------------------- TBackImage

class TBackImage : public TChartPicture {
 public:
  bool Inside() const { return inside_; }
  void SetInside(bool value);
  int32_t Left() const { return left_; }
  void SetLeft(int32_t value);
  int32_t Top() const { return top_; }
  void SetTop(int32_t value);
  TChartBackImageMode Mode() const { return mode_; }
  void SetMode(TChartBackImageMode value);

  // The four fields from another back image, then the picture.
  void Assign(const TBackImage* source);

  // Draws the filtered graphic into the rectangle at depth z by the mode. A graphic
  // without pixels draws nothing (tiling it would never cover the rectangle).
  void Draw(TCustomChartPanelExtended& panel, const TRect& rect, int32_t z);

 private:
  void Notify() {
    if (OnChange) OnChange(*this);
  }
  bool inside_ = false;
  int32_t left_ = 0;
  int32_t top_ = 0;
  TChartBackImageMode mode_ = pbmStretch;
};

// -------------------------------------------------------- TCustomChartPanel

class TCustomChartPanel : public QWidget, public IChartViewHost {
 public:
  explicit TCustomChartPanel(QWidget* parent = nullptr);
  ~TCustomChartPanel() override;

  // ---- virtual operations
  // The colour behind the chart: the panel's Color.
  virtual TColor BackgroundColor() const { return color_; }
  // Draws one frame inside rect; nothing here (the axis panel draws the chart).
  virtual void InternalDraw(const TRect& rect) { (void)rect; }
  virtual void RequestRepaint() { Invalidate(); }
  // Draws the whole chart onto canvas inside rect.
  virtual void Draw(TCanvas& canvas, const TRect& rect);
  // (0, 0, Width, Height) without a parent, else the client rectangle.
  virtual TRect DrawingArea() const;
  virtual void DrawFrame(TRect rect);

  // Marks the canvas buffer stale and schedules a repaint, while RepaintEnabled.
  void Invalidate() override;

  // A bitmap of the chart over DrawingArea, with the panel colour behind it, assigned
  // to the target (a picture then holds a bitmap graphic).
  void AssignTo(TGraphic& target);
  void AssignTo(TPicture& target);

  // True from construction on: series get Z orders of their own in 3D.
  bool ZOrdering() const { return zOrdering_; }

  // ---- properties
  TColor Color() const { return color_; }
  void SetColor(TColor value);
  TChartPen& Border() { return *border_; }
  void SetBorder(const TChartPen& value) { border_->Assign(value); }
  int32_t BorderRound() const { return borderRound_; }
  void SetBorderRound(int32_t value);
  // The windowing library's panel frame: border width and the two bevels.
  int32_t BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(int32_t value) { ChangeInteger(borderWidth_, value); }
  TPanelBevel BevelInner() const { return bevelInner_; }
  void SetBevelInner(TPanelBevel value);
  TPanelBevel BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TPanelBevel value);
  int32_t BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(int32_t value) { ChangeInteger(bevelWidth_, std::max(value, 1)); }
  int32_t MarginLeft() const { return margins_.Left; }
  void SetMarginLeft(int32_t value) { ChangeInteger(margins_.Left, value); }
  int32_t MarginTop() const { return margins_.Top; }
  void SetMarginTop(int32_t value) { ChangeInteger(margins_.Top, value); }
  int32_t MarginRight() const { return margins_.Right; }
  void SetMarginRight(int32_t value) { ChangeInteger(margins_.Right, value); }
  int32_t MarginBottom() const { return margins_.Bottom; }
  void SetMarginBottom(int32_t value) { ChangeInteger(margins_.Bottom, value); }
  TChartUnits MarginUnits() const { return marginUnits_; }
  void SetMarginUnits(TChartUnits value);
  bool Monochrome() const { return canvas_->GetMonochrome(); }
  void SetMonochrome(bool value) { canvas_->SetMonochrome(value); }
  TChartShadow& Shadow() { return *shadow_; }
  bool View3D() const { return view3D_; }
  // Stores, repaints and tells the listeners (TChartView3DEvent).
  void SetView3D(bool value);
  TView3DOptions& View3DOptions() { return *view3DOptions_; }
  const TRect& PrintMargins() const { return printMargins_; }
  void SetPrintMargins(const TRect& value) { printMargins_ = value; }
  bool PrintProportional = true;

  TChartCanvas3D& ChartCanvas() { return *canvas_; }
  // The canvas clips only where it does not rotate fully.
  bool ClipAllowed() const;
  const TRect& ChartRect() const { return chartRect_; }
  void SetChartRect(const TRect& value) { chartRect_ = value; }
  int32_t ChartRectWidth() const { return chartRectWidth_; }
  int32_t ChartRectHeight() const { return chartRectHeight_; }
  int32_t ChartRectCenterX() const { return chartRectCenterX_; }
  int32_t ChartRectCenterY() const { return chartRectCenterY_; }
  const TRect& DrawBounds() const { return drawBounds_; }
  int32_t DepthWidth = 0;
  int32_t DepthHeight = 0;
  bool RepaintEnabled() const { return repaintEnabled_; }
  void SetRepaintEnabled(bool value) { repaintEnabled_ = value; }
  bool MouseHandled = false;
  TChartPrintEvent OnBeforePrint;
  TZoomPanning& Panning() { return panning_; }
  // Back to the cursor the control had when it was made (or loaded).
  void RestoreSavedCursor() { setCursor(savedCursor_); }
  // The control's own back buffer that painting shows.
  TBitmap& ControlCanvas() { return control_; }

  // ---- helpers of the chart elements: compare, store, repaint only on a change
  void ChangeBoolean(bool& field, bool value);
  void ChangeInteger(int32_t& field, int32_t value);
  void ChangeDouble(double& field, double value);
  void ChangeString(std::string& field, const std::string& value);
  // The brush to the canvas with the colour; a patterned brush whose colour equals its
  // back colour is drawn in black (white when that colour is black).
  void ApplyBrush(const TChartBrush& brush, TColor color, TColor backColor);
  TPoint CursorClientPos() const;

  // ---- listeners
  void AddListener(IChartEventListener* listener);
  void RemoveListener(IChartEventListener* listener);
  // Each listener in order; a mouse event stops once a listener set MouseHandled.
  void BroadcastChartEvent(TChartEvent& event);

  // The chart rectangle from DrawBounds, frame, margins and shadow, then RecalcChartRect.
  void CalcChartRect();
  // Left and top at least the bounds'; an inverted extent becomes one pixel, an empty
  // one the control's size (and at least one pixel); then width, height and centre.
  void RecalcChartRect();

  // A bitmap of the chart: rect's size, filled with backColor unless white, drawn
  // through DrawToCanvas.
  std::unique_ptr<TBitmap> CreateChartBitmap(TColor backColor, const TRect& rect);
  // Draws unbuffered onto canvas, without reading pixels back, then restores the
  // buffer setting and repaints.
  void DrawToCanvas(TCanvas& canvas, const TRect& rect);

  // The window outline follows BorderRound (called by the setter and on resize).
  void ApplyWindowRegion();
  // After streaming: saves the cursor and applies the round outline.
  virtual void Loaded();
  bool Loading() const { return loading_; }
  void SetLoading(bool value) { loading_ = value; }

  // Published properties; the old "BorderStyle" identifier is read as the border's
  // visibility ("bsSingle": visible).
  virtual void WriteProperties(TStreamedProperties& block) const;
  virtual void ReadProperties(const TStreamedProperties& block);

  // Border, BorderRound, buffer flag, print settings, margins, MarginUnits,
  // Monochrome, shadow, View3D, View3DOptions and Color.
  virtual void Assign(const TCustomChartPanel& source);

  // Process-wide: while set, panels erase their background (fill it with the palette's
  // window colour) before they paint. A panel made while it is set keeps it set, as
  // no panel here is ever being designed.
  static bool EraseBackgroundFlag;

 protected:
  // Accepts the shortcut check of the arrow keys, so they reach the panel.
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;

  // Paints the control: from the canvas buffer when it still shows the chart, else Draw;
  // a transparent panel draws each time onto a cleared control buffer.
  void PaintControl();
  // Draw straight onto canvas; the canvas's buffer is kept for later buffered paints.
  void DrawUnbuffered(TCanvas& canvas, const TRect& rect, bool noReadBack);
  void BroadcastMouse(TChartMouseEventKind kind, QMouseEvent* event);
  // Draws one bevel inside rect and shrinks rect by the bevel width.
  void DrawBevel(TRect& rect, TPanelBevel bevel);

  std::unique_ptr<TChartCanvas3D> canvas_;

 private:
  bool zOrdering_ = true;
  TColor color_ = 0xFF00000F;  // clBtnFace
  std::unique_ptr<TChartPen> border_;
  int32_t borderRound_ = 0;
  int32_t borderWidth_ = 0;
  TPanelBevel bevelInner_ = bvNone;
  TPanelBevel bevelOuter_ = bvRaised;
  int32_t bevelWidth_ = 1;
  TRect margins_{3, 4, 3, 4};
  TChartUnits marginUnits_ = muPercent;
  TRect printMargins_{15, 15, 15, 15};
  std::unique_ptr<TChartShadow> shadow_;
  bool view3D_ = true;
  std::unique_ptr<TView3DOptions> view3DOptions_;
  TZoomPanning panning_;
  TChartEventListeners listeners_;
  bool repaintEnabled_ = false;
  bool regionBusy_ = false;
  bool loading_ = false;
  bool destroying_ = false;
  TRect drawBounds_;
  TRect chartRect_;
  int32_t chartRectWidth_ = 0, chartRectHeight_ = 0, chartRectCenterX_ = 0, chartRectCenterY_ = 0;
  TBitmap control_;
  Qt::CursorShape savedCursor_ = Qt::ArrowCursor;
};

// ------------------------------------------------ TCustomChartPanelExtended

class TCustomChartPanelExtended : public TCustomChartPanel {
 public:
  explicit TCustomChartPanelExtended(QWidget* parent = nullptr);
  ~TCustomChartPanelExtended() override;

  TPanningMode AllowPanning = pmBoth;
  bool ZoomedState = false;
  // Made on first read.
  TChartGradient& Gradient();
  const TChartGradient* GradientIfAny() const { return gradient_.get(); }
  // Copies; null frees.
  void SetGradient(const TChartGradient* value);
  TChartZoom& Zoom() { return zoom_; }
  TBackImage& BackImage();
  const TBackImage* BackImageIfAny() const { return backImage_.get(); }
  // Copies; null frees and repaints.
  void SetBackImage(const TBackImage* value);
  bool HasBackImage() const { return backImage_ && !backImage_->Empty(); }
  // Reading makes the back image; False while it has no graphic.
  bool BackImageInside() {
    const TBackImage& image = BackImage();
    return image.Graphic() != nullptr && image.Inside();
  }
  void SetBackImageInside(bool value) { BackImage().SetInside(value); }
  TChartBackImageMode BackImageMode() { return BackImage().Mode(); }
  void SetBackImageMode(TChartBackImageMode value) { BackImage().SetMode(value); }
  // The transparency of the back image's graphic: False without a graphic, and
  // setting it without a graphic does nothing.
  bool BackImageTransp();
  void SetBackImageTransp(bool value);

  // Fills rect with the visible gradient, else the panel colour (BorderRound corners).
  virtual void FillBackground(const TRect& rect);
  // Shadow, background, back image (unless drawn inside) and frame.
  virtual void PaintBackground(TRect rect);
  // The back image at depth z (walls draw it inside).
  void DrawBackImageInRect(const TRect& rect, int32_t z);
  // The rubber band between the zoom's corners, in an inverting pen mode: drawing the
  // same rectangle twice restores the picture.
  void DrawZoomRectangle();
  // OnUndoZoom, repaint, ZoomedState off.
  virtual void UndoZoom();

  std::function<void()> OnAfterDraw;
  std::function<void()> OnScroll;
  std::function<void()> OnUndoZoom;
  std::function<void()> OnZoom;

  // The old "AllowZoom", "AnimatedZoom" and "AnimatedZoomSteps" are read into the
  // zoom; "PrintMargins" is four int32 values, written only when one is not 15.
  void WriteProperties(TStreamedProperties& block) const override;
  void ReadProperties(const TStreamedProperties& block) override;
  void Assign(const TCustomChartPanel& source) override;

  // Fills a rectangle with a colour (nothing for clNone), corners by the radius.
  void FillColor(const TRect& rect, TColor color, int32_t radius);

 private:
  std::unique_ptr<TChartGradient> gradient_;
  TChartZoom zoom_;
  std::unique_ptr<TBackImage> backImage_;
};

}  // namespace qira

#pragma once
// The two drag states of a chart panel: the rubber-band zoom (TChartZoom, which also
// carries the user's zoom settings) and panning (TZoomPanning). The mouse handling
// that starts, follows and ends the drags belongs to the chart; the panel draws the
// rubber band (TCustomChartPanelExtended::DrawZoomRectangle).
#include <cstdint>
#include <memory>

#include <Qt>

#include "chart/draw/ChartPens.h"
#include "chart/draw/ChartPicture.h"

namespace qira {

class TZoomPanning {
 public:
  TZoomPanning() = default;
  virtual ~TZoomPanning() = default;
  TZoomPanning(const TZoomPanning&) = delete;
  TZoomPanning& operator=(const TZoomPanning&) = delete;

  // Both corners at (x, y), Active.
  void Activate(int32_t x, int32_t y);
  // X0 ≤ X1 and Y0 ≤ Y1.
  void OrderCorners();

  bool Active = false;
  int32_t X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
};

enum TChartZoomDirection : uint8_t { tzdHorizontal, tzdVertical, tzdBoth };

// Keys and buttons that must be held (the windowing library's shift state).
enum TShiftStateBit : uint8_t { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64 };
using TShiftState = uint8_t;

enum TMouseButton : uint8_t { mbLeft, mbRight, mbMiddle };

// White, streamed Color only when it differs from white.
class TChartZoomPen : public TChartPen {
 public:
  explicit TChartZoomPen(TNotifyEvent onChange = {});
};

// White, clear.
class TChartZoomBrush : public TChartBrush {
 public:
  explicit TChartZoomBrush(TNotifyEvent onChange = {});
};

class TChartZoom : public TZoomPanning {
 public:
  TChartZoom() = default;

  bool Allow = true;
  bool Animated = false;
  int32_t AnimatedSteps = 8;
  TChartZoomDirection Direction = tzdBoth;
  TShiftState KeyShift = 0;
  int32_t MinimumPixels = 16;
  TMouseButton MouseButton = mbLeft;
  bool UpLeftZooms = false;

  // Made on first read.
  TChartZoomBrush& Brush();
  TChartZoomPen& Pen();
  const TChartZoomBrush* BrushIfAny() const { return brush_.get(); }
  const TChartZoomPen* PenIfAny() const { return pen_.get(); }
  // Copies the given one; null frees ours (the next read makes a fresh one).
  void SetBrush(const TChartBrush* value);
  void SetPen(const TChartPen* value);

  // Allow, Animated, AnimatedSteps, Brush, Direction, KeyShift, MouseButton and Pen;
  // MinimumPixels and UpLeftZooms stay.
  void Assign(const TChartZoom& source);

  void WriteProperties(TStreamedProperties& block, std::string_view prefix = "Zoom.") const;
  void ReadProperties(const TStreamedProperties& block, std::string_view prefix = "Zoom.");

 private:
  std::unique_ptr<TChartZoomBrush> brush_;
  std::unique_ptr<TChartZoomPen> pen_;
};

}  // namespace qira

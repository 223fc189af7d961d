// Layout of an axis inside the chart rectangle and its drawing on the chart canvas.
//
// Sections: [SECTION] Room across the axis, [SECTION] Layout, [SECTION] Draw,
// [SECTION] Labels, [SECTION] Line, ticks and grid, [SECTION] Hit test
#include <algorithm>
#include <cmath>

#include "chart/draw/ChartCanvas.h"
#include "chart/draw/DateTimeSteps.h"
#include "chart/engine/AxisLabels.h"
#include "chart/engine/ChartAxis.h"
#include "platform/Rounding.h"

namespace qira {

namespace {

constexpr int32_t MaxMeasuredLabels = 5000;
constexpr TColor GridDefaultColor = 0x808080;

// Label alignment by 2 × Horizontal + OtherSide: left, right, bottom, top axis.
constexpr uint32_t SideAlign[4] = {TA_RIGHT, TA_LEFT, TA_CENTER, TA_CENTER | TA_BOTTOM};

}  // namespace

// [SECTION] Room across the axis

int32_t TChartAxis::CalcTicksSize() const {
  int32_t size = AxisPen.Visible() ? AxisPen.Width() + 1 : 0;
  if (Ticks.Visible()) size += TickLength;
  if (MinorTicks.Visible()) size = std::max(size, MinorTickLength);
  return size;
}

int32_t TChartAxis::InternalCalcSize(TChartFont& font, int32_t angle, const std::string& text, int32_t size) {
  if (size != 0) return size;
  TCanvas3D* canvas = fChart.Canvas();
  if (!canvas) return 0;
  canvas->AssignFont(font);
  const bool alongText = fHorizontal ? (angle != 0 && angle != 180) : (angle != 90 && angle != 270);
  if (alongText) return text.empty() ? MaxLabelsWidth() : canvas->TextWidth(text);
  return canvas->FontHeight();
}

int32_t TChartAxis::CalcLabelsSize() {
  const int32_t size = InternalCalcSize(LabelsFont, fLabelsAngle, {}, LabelsSize);
  return fLabelsAlternate ? SaturateCast<int32_t>(2.0 * size) : size;
}

int32_t TChartAxis::MaxLabelsWidth() {
  if (!Items.Automatic()) {
    int32_t widest = 0;
    TCanvas3D* canvas = fChart.Canvas();
    for (int32_t i = 0; i < Items.Count(); ++i) {
      TAxisItem& item = Items[i];
      if (canvas != nullptr) canvas->AssignFont(item.Font());
      int32_t lines = 0;
      widest =
          std::max(widest, fChart.MultiLineTextWidth(item.Text().empty() ? LabelValue(item.Value()) : item.Text(), lines));
    }
    if (canvas != nullptr) canvas->AssignFont(LabelsFont);
    return widest;
  }
  if (LabelStyleInForce() != talValue) return 0;
  // Measured without the chart's label handler, restored on every exit.
  TAxisOnGetLabel handler = std::move(fChart.OnGetAxisLabel);
  fChart.OnGetAxisLabel = nullptr;
  TScopeExit restore([&] { fChart.OnGetAxisLabel = std::move(handler); });
  const double step = CalcIncrement();
  double first = fMinAxis, last = fMaxAxis;
  if ((fRoundFirstLabel || (fExactDateTime && fIsDateTime)) && step > 0) {
    first = std::trunc(fMinAxis / step) * step;
    last = std::trunc(fMaxAxis / step) * step;
  }
  auto width = [this](double v) {
    int32_t lines = 0;
    return fChart.MultiLineTextWidth(LabelValue(v), lines);
  };
  int32_t widest = std::max(width(first), width(last));
  if (step > 0 && std::isfinite(first) && std::isfinite(last)) {
    double v = first;
    for (int32_t i = 0; i < MaxMeasuredLabels && v <= last; ++i) {
      widest = std::max(widest, width(v));
      const double next = v + step;
      if (!(next > v)) break;
      v = next;
    }
  }
  return widest;
}

// [SECTION] Layout

int32_t TChartAxis::ShrinkSide(TRect& rect, int32_t size) const {
  if (fHorizontal) {
    if (fOtherSide) return rect.Top += size;
    return rect.Bottom -= size;
  }
  if (fOtherSide) return rect.Right -= size;
  return rect.Left += size;
}

int32_t TChartAxis::SidePosition(const TRect& rect) const {
  if (fHorizontal) return fOtherSide ? rect.Top : rect.Bottom;
  return fOtherSide ? rect.Right : rect.Left;
}

int32_t TChartAxis::Outward(int32_t position, int32_t size) const {
  const bool plus = fHorizontal ? !fOtherSide : fOtherSide;  // bottom and right
  return plus ? position + size : position - size;
}

int32_t TChartAxis::ApplyPositionPercent(int32_t position) const {
  if (PositionPercent == 0) return position;
  const TRect r = fChart.ChartRect();
  int32_t d = PositionUnits == muPercent ? RoundToInt(0.01 * PositionPercent * (fHorizontal ? r.Height() : r.Width()))
                                         : RoundToInt(PositionPercent);
  if (fOtherSide) d = -d;
  if (fHorizontal) d = -d;
  return SaturateCast<int32_t>(static_cast<double>(position) + d);
}

int32_t TChartAxis::DepthAxisPosition() const {
  const TRect r = fChart.ChartRect();
  return fOtherSide ? r.Bottom - CalcZPos() : r.Top + CalcZPos();
}

void TChartAxis::CalcRect(TRect& rect, bool shrink) {
  RefreshDateTime();
  if (shrink) {
    if (fIsDepthAxis)
      fPosTitle = fOtherSide ? rect.Right : rect.Left;
    else if (Title.Visible() && !Title.Caption.empty())
      fPosTitle = ShrinkSide(rect, InternalCalcSize(Title.Font(), Title.Angle(), Title.Caption, TitleSize));
    if (Labels()) {
      int32_t size = CalcLabelsSize();
      // The chart may set the room its labels take.
      if (const auto& callback = fChart.AxesList().AxisSizeCallback) size = callback(*this, size);
      fPosLabels = ShrinkSide(rect, size);
    }
    const int32_t ticks = fChart.WallThicknessFor(*this) + CalcTicksSize();
    if (ticks > 0) ShrinkSide(rect, ticks);
    fPosTitle = ApplyPositionPercent(fPosTitle);
    fPosLabels = ApplyPositionPercent(fPosLabels);
  } else {
    fPosAxis = ApplyPositionPercent(SidePosition(rect));
    fPosLabels = Outward(fPosAxis, CalcTicksSize());
    fPosTitle = Outward(fPosLabels, CalcLabelsSize());
  }
}

// [SECTION] Draw

void TChartAxis::Draw(bool calcPosAxis) {
  TCanvas3D* canvas = fChart.Canvas();
  if (!canvas) return;
  canvas->BeginGroup();
  RefreshDateTime();
  if (calcPosAxis) fPosAxis = ApplyPositionPercent(SidePosition(fChart.ChartRect()));

  if (Title.Visible() && !Title.Caption.empty()) {
    canvas->BeginGroup();
    canvas->AssignFont(Title.Font());
    canvas->SetBackMode(bkTransparent);
    if (fIsDepthAxis) {
      canvas->SetTextAlign(fOtherSide ? TA_LEFT : TA_RIGHT);
      canvas->RotatedTextOut3D(fPosTitle, DepthAxisPosition(), fChart.Depth3D() / 2, Title.Caption, Title.Angle());
    } else if (fHorizontal) {
      DrawAxisLabel(fICenterPos, fPosTitle, Title.Angle(), Title.Caption, &Title);
    } else {
      DrawAxisLabel(fPosTitle, fICenterPos, Title.Angle(), Title.Caption, &Title);
    }
    canvas->EndGroup();
  }

  fTicks.clear();
  fDrawnLabelValues.clear();
  fAlternateToggle = true;
  canvas->AssignFont(LabelsFont);
  if (!Items.Automatic()) {
    for (int32_t i = 0; i < Items.Count(); ++i) {
      TAxisItem& item = Items[i];
      if (item.Value() < fMinimumValue || item.Value() > fMaximumValue) continue;
      const int32_t p = CalcPosValue(item.Value());
      if (!TickOnLabelsOnly) fTicks.push_back(p);
      if (item.Visible()) DrawLabelAt(p, item.Text().empty() ? LabelValue(item.Value()) : item.Text(), &item);
    }
  } else {
    Items.Clear();
    const TAxisLabelStyle style = LabelStyleInForce();
    if (style == talValue) {
      TExtraTicks extra;
      const std::vector<double> values = LabelValues(&extra);
      if (extra.Below) fTicks.push_back(CalcPosValue(*extra.Below));
      for (double v : values) DrawValueLabel(v);
      if (extra.Above) fTicks.push_back(CalcPosValue(*extra.Above));
    } else if ((style == talMark || style == talText) && fMinAxis <= fMaxAxis) {
      if (fIsDepthAxis && style == talText)
        DrawSeriesTitleLabels();
      else if (!fIsDepthAxis)
        DrawTextLabels(style == talMark);
    }
  }

  if (TCanvas* handle = canvas->GetHandle()) handle->SetBrushStyle(bsClear);
  canvas->SetBackMode(bkTransparent);
  const int32_t wall = fChart.WallThicknessFor(*this);
  DrawAxisLine(wall);
  if (Ticks.Visible()) {
    canvas->AssignPen(Ticks);
    for (int32_t p : fTicks) DrawTick(*canvas, p, 1, TickLength, wall);
  }
  DrawGrid();
  if (TicksInner.Visible()) {
    canvas->AssignPen(TicksInner);
    for (int32_t p : fTicks) DrawTick(*canvas, p, -1, -TickInnerLength, wall);
  }
  if (MinorTicks.Visible()) {
    canvas->AssignPen(MinorTicks);
    DrawMinorMarks(*canvas, false, wall);
  }
  if (MinorGrid.Visible()) {
    canvas->AssignPen(MinorGrid);
    DrawMinorMarks(*canvas, true, wall);
  }
  canvas->SetBackMode(bkOpaque);
  canvas->EndGroup();
}

void TChartAxis::DrawGrid() {
  TCanvas3D* canvas = fChart.Canvas();
  if (canvas == nullptr || !Grid.Visible()) return;
  canvas->SetBackMode(bkTransparent);
  if (TCanvas* handle = canvas->GetHandle()) handle->SetBrushStyle(bsClear);
  canvas->AssignPenColor(Grid, Grid.Color() == clChartDefault ? GridDefaultColor : Grid.Color());
  const size_t step = static_cast<size_t>(std::max(1, Grid.DrawEvery()));
  for (size_t i = Grid.Centered() ? 1 : 0; i < fTicks.size(); ++i) {
    if (i % step != 0) continue;
    const int32_t p = Grid.Centered() ? RoundToInt((static_cast<double>(fTicks[i]) + fTicks[i - 1]) * 0.5) : fTicks[i];
    DrawGridLine(*canvas, p);
  }
}

// [SECTION] Labels

void TChartAxis::DrawValueLabel(double value) {
  const int32_t p = CalcPosValue(value);
  if (!LabelsOnAxis && !(p > fIStartPos && p < fIEndPos)) return;
  if (!TickOnLabelsOnly) fTicks.push_back(p);
  fDrawnLabelValues.push_back(value);
  if (Labels()) {
    const std::string text = LabelValue(value);
    Items.Append(value, text);
    DrawLabelAt(p, text);
  }
}

void TChartAxis::DrawTextLabels(bool markTexts) {
  TCanvas3D& canvas = *fChart.Canvas();
  std::vector<const IChartSeries*> series;
  int32_t low = -1, high = -1;
  for (int32_t i = 0; i < fChart.SeriesCount(); ++i) {
    const IChartSeries& s = fChart.SeriesAt(i);
    if (!s.Active() || !s.AssociatedToAxis(*this)) continue;
    series.push_back(&s);
    if (s.FirstVisibleIndex() < 0) continue;
    low = low < 0 ? s.FirstVisibleIndex() : std::min(low, s.FirstVisibleIndex());
    high = std::max(high, s.LastVisibleIndex());
  }
  if (low < 0) return;
  const bool widthAlong = fHorizontal != (fLabelsAngle == 90 || fLabelsAngle == 270);
  bool first = true;
  int32_t previous = 0, previousHalf = 0;
  for (int32_t index = low; index <= high; ++index) {
    const auto owner = std::find_if(series.begin(), series.end(), [&](const IChartSeries* s) {
      return s->FirstVisibleIndex() >= 0 && index >= s->FirstVisibleIndex() && index <= s->LastVisibleIndex();
    });
    if (owner == series.end()) continue;
    const IChartSeries& s = **owner;
    std::string text = s.PointText(index, markTexts);
    if (fChart.OnGetAxisLabel) fChart.OnGetAxisLabel(*this, const_cast<IChartSeries*>(&s), index, text);
    if (text.empty()) continue;
    const double value = s.PointValue(index, fHorizontal);
    if (!(value >= fMinAxis && value <= fMaxAxis)) continue;
    const int32_t p = CalcPosValue(value);
    if (!TickOnLabelsOnly) fTicks.push_back(p);
    if (!Labels()) continue;
    // Labels that would overlap the previous one are left out, never moved.
    int32_t lines = 0;
    const int32_t width = fChart.MultiLineTextWidth(text, lines);
    int32_t extent = widthAlong ? width : SaturateCast<int32_t>(static_cast<double>(canvas.FontHeight()) * lines);
    int32_t half = extent / 2;
    if (fLabelsSeparation > 0 && !first)
      half = SaturateCast<int32_t>((extent + std::trunc(extent * 0.02 * fLabelsSeparation)) / 2);
    const int64_t pl = p, pr = previous;
    const bool fits =
        first || (pl >= pr && pl - half >= pr + previousHalf) || (pl < pr && pl + half <= pr - previousHalf);
    if (!fits) continue;
    DrawLabelAt(p, text);
    Items.Append(value, text);
    first = false;
    previous = p;
    previousHalf = half;
  }
}

void TChartAxis::DrawSeriesTitleLabels() {
  bool anyActive = false;
  for (int32_t i = 0; i < fChart.SeriesCount() && !anyActive; ++i) anyActive = fChart.SeriesAt(i).Active();
  if (!anyActive) return;
  const double first = std::trunc(fMinAxis), last = std::trunc(fMaxAxis);
  int32_t count = 0;
  for (double i = first; i <= last && count < AxisMaxLabels; i += 1, ++count) {
    const int32_t p = CalcPosValue((fMaxAxis - i) - 0.5);
    if (!TickOnLabelsOnly) fTicks.push_back(p);
    if (!Labels()) continue;
    std::string text = fChart.SeriesTitleLegend(TruncToInt(i), true);
    if (fChart.OnGetAxisLabel) fChart.OnGetAxisLabel(*this, nullptr, TruncToInt(i), text);
    Items.Append(i, text);
    DrawLabelAt(p, text);
  }
}

void TChartAxis::DrawLabelAt(int32_t pixel, const std::string& text, TAxisItem* item) {
  TCanvas3D& canvas = *fChart.Canvas();
  if (TickOnLabelsOnly) fTicks.push_back(pixel);
  // A custom item draws in its own font; computed labels keep LabelsFont.
  if (item != nullptr) canvas.AssignFont(item->Font());
  const TScopeExit labelsFont([&] {
    if (item != nullptr) canvas.AssignFont(LabelsFont);
  });
  if (TCanvas* handle = canvas.GetHandle()) handle->SetBrushStyle(bsClear);
  canvas.SetBackMode(bkTransparent);
  if (fIsDepthAxis) {
    const int32_t x = fOtherSide ? fPosLabels : fPosLabels - 2 - canvas.TextWidth("W") / 2;
    // Seen straight from the front the labels sit half a line deeper than their tick.
    const TView3DOptions* view = canvas.View3DOptions();
    const bool frontal = view != nullptr && (view->Rotation() == 360 || view->Orthogonal());
    const int32_t z = frontal ? SaturateCast<int32_t>(static_cast<int64_t>(pixel) + canvas.FontHeight() / 2) : pixel;
    DrawAxisLabel(x, DepthAxisPosition(), fLabelsAngle, text, item, z);
    return;
  }
  int32_t position = fPosLabels;
  if (fLabelsAlternate) {
    if (!fAlternateToggle) {
      const int32_t row = fHorizontal ? canvas.FontHeight() : MaxLabelsWidth();
      position =
          fHorizontal ? (fOtherSide ? position - row : position + row) : (fOtherSide ? position + row : position - row);
    }
    fAlternateToggle = !fAlternateToggle;
  }
  if (fHorizontal)
    DrawAxisLabel(pixel, position, fLabelsAngle, text, item);
  else
    DrawAxisLabel(position, pixel, fLabelsAngle, text, item);
}

void TChartAxis::DrawLabelFrame(TChartCustomShape& frame, int32_t x, int32_t y, int32_t angle, uint32_t align,
                                const std::string& text, int32_t z) {
  TCanvas3D& canvas = *fChart.Canvas();
  int32_t lines = 0;
  const int32_t tw = fChart.MultiLineTextWidth(text, lines);
  const int32_t fontHeight = canvas.FontHeight();
  const int32_t L = (angle == 180 || angle == 270) ? -fontHeight : fontHeight;
  const int32_t hb = SaturateCast<int32_t>(static_cast<double>(fontHeight) * lines);
  const int32_t W = canvas.TextWidth("W");
  const int32_t w2 = W / 2;
  const bool bottomFlag = (align & TA_BOTTOM) != 0;
  const uint32_t a = align & ~TA_BOTTOM;
  int32_t left = x, top = y + L;
  if (bottomFlag) top -= hb;
  if (angle == 90) {
    if (a == TA_CENTER) {
      left = fOtherSide ? x + hb + w2 : x + hb / 2;
      top = y - tw / 2 + hb + w2;
    } else if (a == TA_RIGHT) {
      left = x + tw - W;
      top = y + hb + W;
    } else {
      left = x - hb / 2 + w2;
      top = y - 2 * hb;
    }
  } else if (angle == 180) {
    if (a == TA_CENTER) {
      top = bottomFlag ? y - hb : y - 2 * hb;
    } else if (a == TA_RIGHT) {
      left = x + tw + w2 / 2;
      top = y - 2 * hb;
    } else {
      left = x - tw;
      top = y - 2 * hb;
    }
  } else if (angle == 270) {
    if (a == TA_CENTER) {
      left = fOtherSide ? x - hb / 2 : x - tw / 2;
      top = y - W;
    } else if (a == TA_RIGHT) {
      top = y - tw / 2 - W;
    } else {
      left = x - tw + W;
      top = y + hb + W;
    }
  }
  TRect box{left, top, left + tw, top + hb};
  if (a == TA_RIGHT) {
    box.Right = box.Left;
    box.Left -= tw;
  } else if (a == TA_CENTER) {
    box.Left -= tw / 2;
    box.Right -= tw / 2;
  }
  box.Left -= w2;
  box.Right += w2;
  frame.ShapeBounds = box;
  if (!frame.Transparent()) {
    frame.DrawRectRotated(box, angle, z);
    if (TCanvas* handle = canvas.GetHandle()) handle->SetBrushStyle(bsClear);
  }
}

void TChartAxis::DrawExponentText(TCanvas3D& canvas, int32_t x, int32_t y, int32_t z, const std::string& text) {
  const size_t e = text.find_first_of("Ee");
  TCanvas* handle = canvas.GetHandle();
  if (e == std::string::npos || handle == nullptr) {
    canvas.TextOut3D(x, y, z, text);
    return;
  }
  const std::string mantissa = text.substr(0, e), exponent = text.substr(e + 1);
  const TFont font = handle->Font();
  TFont smaller = font;
  smaller.SetSize(std::max(1, font.Size() - 1));
  const int32_t mantissaWidth = canvas.TextWidth(mantissa), bigHeight = canvas.FontHeight();
  handle->SetFont(smaller);
  const int32_t exponentWidth = canvas.TextWidth(exponent), raise = bigHeight - canvas.FontHeight();
  handle->SetFont(font);
  // The pair is placed as one text by the horizontal alignment, then drawn from its left.
  const uint32_t align = canvas.GetTextAlign();
  const int64_t width = static_cast<int64_t>(mantissaWidth) + exponentWidth;
  const uint32_t horizontal = align & TA_CENTER;
  const int64_t left = horizontal == TA_RIGHT ? x - width : horizontal == TA_CENTER ? x - width / 2 : x;
  canvas.SetTextAlign((align & ~TA_CENTER) | TA_LEFT);
  const TScopeExit restore([&] {
    handle->SetFont(font);
    canvas.SetTextAlign(align);
  });
  canvas.TextOut3D(SaturateCast<int32_t>(left), y, z, mantissa);
  handle->SetFont(smaller);
  canvas.TextOut3D(SaturateCast<int32_t>(left + mantissaWidth), SaturateCast<int32_t>(static_cast<int64_t>(y) - raise),
                   z, exponent);
}

void TChartAxis::DrawAxisLabel(int32_t x, int32_t y, int32_t angle, const std::string& label, TChartCustomShape* frame,
                               int32_t z) {
  TCanvas3D& canvas = *fChart.Canvas();
  std::string text = label;
  const bool horizontal = fHorizontal && !fIsDepthAxis;
  const int32_t side = 2 * static_cast<int32_t>(horizontal);
  const int32_t fontHeight = canvas.FontHeight();
  const int32_t h = fontHeight / 2;
  uint32_t align = TA_LEFT;
  switch (angle) {
    case 0:
    case 360:
      align = SideAlign[side + fOtherSide];
      if (!horizontal && LabelsAlign == alOpposite) {
        align = fOtherSide ? TA_RIGHT : TA_LEFT;
        x = fOtherSide ? x + CalcLabelsSize() : x - CalcLabelsSize();
      }
      if (!horizontal && !fIsDepthAxis) y -= h;
      break;
    case 180:
      align = SideAlign[side + !fOtherSide];
      if (!horizontal) y += h;
      if (fIsDepthAxis) y += h;
      break;
    case 90:
      if (horizontal) {
        align = fOtherSide ? TA_LEFT : TA_RIGHT;
        x -= h;
      } else {
        align = fOtherSide ? TA_CENTER : TA_CENTER | TA_BOTTOM;
        if (fIsDepthAxis) y += h;
      }
      break;
    case 270:
      if (horizontal) {
        align = fOtherSide ? TA_RIGHT : TA_LEFT;
        x += h;
      } else {
        align = fOtherSide ? TA_CENTER | TA_BOTTOM : TA_CENTER;
        if (fIsDepthAxis) y += h;
      }
      break;
    case 45:
      if (horizontal) {
        const int32_t d = fOtherSide ? canvas.TextWidth("Wj") : RoundToInt(canvas.TextWidth(text) * std::sin(M_PI / 4));
        x -= d;
        y = fOtherSide ? y - d : y + d;
      }
      break;
    default:
      break;
  }
  // Block placement: the lines advance from the position by the font height.
  int32_t n = LineCount(text);
  const int32_t L = (angle == 180 || angle == 270) ? -fontHeight : fontHeight;
  const int32_t half = RoundToInt(L * 0.5 * (n + 1));
  if (horizontal) {
    if (angle == 0 || angle == 360)
      y -= fOtherSide ? L * n : L;
    else if (angle == 180)
      y -= fOtherSide ? L : L * n;
    else if (angle == 90 || angle == 270)
      x -= half;
  } else {
    if (angle == 0 || angle == 360 || angle == 180)
      y -= half;
    else if (angle == 90)
      x -= fOtherSide ? L : L * n;
    else if (angle == 270)
      x -= fOtherSide ? L * n : L;
  }
  if (!fIsDepthAxis) z = fIZPos;
  if (frame != nullptr) DrawLabelFrame(*frame, x, y, angle, align, text, z);
  const bool exponent = fLabelsExponent && frame != &Title;
  canvas.SetTextAlign(align);
  bool draw = true;
  if (OnDrawLabel) {
    const std::string before = text;
    OnDrawLabel(*this, x, y, z, text, draw);
    if (text != before) n = LineCount(text);
  }
  if (draw) {
    size_t start = 0;
    for (int32_t line = 0; line < std::max(n, 1); ++line) {
      const size_t end = text.find('\r', start);
      const std::string part = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
      start = end == std::string::npos ? text.size() : end + 1;
      if (angle == 0 || angle == 360) {
        y += L;
        if (exponent)
          DrawExponentText(canvas, x, y, z, part);
        else
          canvas.TextOut3D(x, y, z, part);
        continue;
      }
      if (angle == 180)
        y += L;
      else if (angle == 90 || angle == 270)
        x += L;
      canvas.RotatedTextOut3D(x, y, z, part, angle);
    }
  }
  canvas.SetTextAlign(TA_LEFT);
}

// [SECTION] Line, ticks and grid

void TChartAxis::DrawAxisLine(int32_t wall) {
  if (!AxisPen.Visible()) return;
  TCanvas3D& canvas = *fChart.Canvas();
  canvas.AssignPen(AxisPen);
  if (fIsDepthAxis) {
    canvas.ZLine3D(fPosAxis, DepthAxisPosition(), fIStartPos, fIEndPos);
    return;
  }
  int32_t pos = fPosAxis;
  if (!fHorizontal) pos = fOtherSide ? pos + wall : pos - wall;
  if (AxisPen.LineMode() != lmLine) {
    // A solid of the pen's width around the line, in the pen's colour.
    if (TCanvas* handle = canvas.GetHandle()) {
      handle->SetPenStyle(psClear);
      handle->SetBrushStyle(bsSolid);
      handle->SetBrushColor(AxisPen.Color());
    }
    const int32_t w = std::max(1, AxisPen.Width());
    const TRect box = fHorizontal ? TRect{fIStartPos, pos - w / 2, fIEndPos, pos - w / 2 + w}
                                  : TRect{pos - w / 2, fIStartPos, pos - w / 2 + w, fIEndPos};
    const int32_t z0 = fIZPos - w / 2, z1 = fIZPos - w / 2 + w;
    if (AxisPen.LineMode() == lmCylinder)
      canvas.Cylinder(!fHorizontal, box.Left, box.Top, box.Right, box.Bottom, z0, z1, true);
    else
      canvas.Cube(box.Left, box.Right, box.Top, box.Bottom, z0, z1, true);
    return;
  }
  if (!fChart.View3D()) {
    if (fHorizontal)
      canvas.DoHorizLine(fIStartPos, fIEndPos, pos);
    else
      canvas.DoVertLine(pos, fIStartPos, fIEndPos);
  } else if (fHorizontal) {
    canvas.HorizLine3D(fIStartPos, fIEndPos, pos, fIZPos);
  } else {
    canvas.VertLine3D(pos, fIStartPos, fIEndPos, fIZPos);
  }
}

void TChartAxis::DrawTick(TCanvas3D& canvas, int32_t p, int32_t offset, int32_t length, int32_t wall) {
  const int32_t a = fPosAxis;
  if (fIsDepthAxis) {
    const int32_t x0 = fOtherSide ? a + offset : a - offset;
    const int32_t x1 = fOtherSide ? x0 + length : x0 - length;
    canvas.HorizLine3D(x0, x1, DepthAxisPosition(), p);
    return;
  }
  const bool plain = !fChart.View3D() && !fOtherSide;  // 2D bottom and left axes
  if (fHorizontal) {
    const int32_t y0 = fOtherSide ? a - offset : a + wall + offset;
    const int32_t y1 = fOtherSide ? y0 - length : y0 + length;
    if (plain)
      canvas.DoVertLine(p, y0, y1);
    else
      canvas.VertLine3D(p, y0, y1, fIZPos);
  } else {
    const int32_t x0 = fOtherSide ? a + wall + offset : a - wall - offset;
    const int32_t x1 = fOtherSide ? x0 + length : x0 - length;
    if (plain)
      canvas.DoHorizLine(x0, x1, p);
    else
      canvas.HorizLine3D(x0, x1, p, fIZPos);
  }
}

void TChartAxis::DrawGridLine(TCanvas3D& canvas, int32_t p) {
  if (!(p > std::min(fIStartPos, fIEndPos) && p < std::max(fIStartPos, fIEndPos))) return;
  const TRect r = fChart.ChartRect();
  const int32_t depth = fChart.Depth3D();
  if (fIsDepthAxis) {
    canvas.VertLine3D(r.Left, r.Top, r.Bottom, p);
    canvas.HorizLine3D(r.Left, r.Right, r.Bottom, p);
  } else if (!fChart.View3D()) {
    if (fHorizontal)
      canvas.DoVertLine(p, r.Top + 1, r.Bottom);
    else
      canvas.DoHorizLine(r.Left + 1, r.Right, p);
  } else if (!fChart.AxisBehind()) {
    if (fHorizontal)
      canvas.VertLine3D(p, r.Top, r.Bottom, 0);
    else
      canvas.HorizLine3D(r.Left, r.Right, p, 0);
  } else {
    if (!HideBackGrid) {
      if (fHorizontal)
        canvas.VertLine3D(p, r.Top, r.Bottom, depth);
      else
        canvas.HorizLine3D(r.Left, r.Right, p, depth);
    }
    const int32_t z = RoundToInt(depth * Grid.ZPosition() * 0.01);
    if (!HideSideGrid && z != depth) {
      if (fHorizontal)
        canvas.ZLine3D(p, fPosAxis, depth, z);
      else
        canvas.ZLine3D(fPosAxis, p, depth, z);
    }
  }
}

void TChartAxis::DrawMinorMarks(TCanvas3D& canvas, bool grid, int32_t wall) {
  const int32_t count = MinorTicksBetween();
  if (count == 0) return;
  auto mark = [&](double pixel) {
    const int32_t p = RoundToInt(pixel);
    if (!(p > std::min(fIStartPos, fIEndPos) && p < std::max(fIStartPos, fIEndPos))) return;
    if (grid)
      DrawGridLine(canvas, p);
    else
      DrawTick(canvas, p, 1, MinorTickLength, wall);
  };
  if (fLogarithmic) {
    if (fDrawnLabelValues.empty()) return;
    const double base = EffectiveLogBase();
    std::vector<double> values = fDrawnLabelValues;
    values.push_back(*std::min_element(values.begin(), values.end()) / base);
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    for (double v : values) {
      const double spacing = (v * base - v) / (count + 1);
      for (int32_t j = 1; j <= count; ++j) {
        const double m = v + j * spacing;
        if (m >= fMinAxis && m <= fMaxAxis) mark(CalcPosValue(m));
      }
    }
    return;
  }
  if (fTicks.size() < 2) return;
  const double spacing = (static_cast<double>(fTicks[1]) - fTicks[0]) / (count + 1);
  for (int32_t k = 1; k <= count; ++k) {
    mark(fTicks.front() - k * spacing);
    mark(fTicks.back() + k * spacing);
  }
  for (size_t i = 0; i + 1 < fTicks.size(); ++i) {
    const double between = (static_cast<double>(fTicks[i + 1]) - fTicks[i]) / (count + 1);
    for (int32_t k = 1; k <= count; ++k) mark(fTicks[i] + k * between);
  }
}

// [SECTION] Hit test

bool TChartAxis::Clicked(int32_t x, int32_t y) {
  if (!fShownThisFrame) return false;
  // In 3D the band lies at the back for axes on the other side, else at the front.
  if (fChart.View3D() && fChart.Canvas() != nullptr)
    fChart.Canvas()->Calculate2DPosition(x, y, fOtherSide ? fChart.Depth3D() : 0);
  const int32_t along = fHorizontal ? x : y;
  const int32_t across = fHorizontal ? y : x;
  if (along < std::min(fIStartPos, fIEndPos) || along > std::max(fIStartPos, fIEndPos)) return false;
  const int32_t outer = Labels() ? Outward(fPosLabels, 3) : fPosAxis;
  return across >= std::min(fPosAxis, outer) && across <= std::max(fPosAxis, outer);
}

}  // namespace qira

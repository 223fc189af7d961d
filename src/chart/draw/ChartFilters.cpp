#include "chart/draw/ChartFilters.h"

#include <algorithm>
#include <cmath>

#include "chart/draw/ChartMessages.h"
#include "platform/Rounding.h"

// Sections: [SECTION] pixel helpers; [SECTION] per-pixel filters; [SECTION] hue,
// luminance, saturation; [SECTION] convolutions; [SECTION] geometry filters;
// [SECTION] registry

namespace qira {

QIRA_DEFINE_CHART_FILTER_CLASS(TInvertFilter)
QIRA_DEFINE_CHART_FILTER_CLASS(TGrayScaleFilter)
QIRA_DEFINE_CHART_FILTER_CLASS(TMosaicFilter)
QIRA_DEFINE_CHART_FILTER_CLASS(TFlipFilter)
QIRA_DEFINE_CHART_FILTER_CLASS(TReverseFilter)
QIRA_DEFINE_CHART_FILTER_CLASS(TBrightnessFilter)
QIRA_DEFINE_CHART_FILTER_CLASS(TContrastFilter)
QIRA_DEFINE_CHART_FILTER_CLASS(TColorFilter)
QIRA_DEFINE_CHART_FILTER_CLASS(THueLumSatFilter)
QIRA_DEFINE_CHART_FILTER_CLASS(TSharpenFilter)
QIRA_DEFINE_CHART_FILTER_CLASS(TGammaCorrectionFilter)
QIRA_DEFINE_CHART_FILTER_CLASS(TEmbossFilter)
QIRA_DEFINE_CHART_FILTER_CLASS(TSoftenFilter)
QIRA_DEFINE_CHART_FILTER_CLASS(TCropFilter)
QIRA_DEFINE_CHART_FILTER_CLASS(TResizeFilter)
QIRA_DEFINE_CHART_FILTER_CLASS(TRotateFilter)
QIRA_DEFINE_CHART_FILTER_CLASS(TMirrorFilter)
QIRA_DEFINE_CHART_FILTER_CLASS(TTileFilter)
QIRA_DEFINE_CHART_FILTER_CLASS(TBevelFilter)
QIRA_DEFINE_CHART_FILTER_CLASS(TZoomFilter)

// ---------------------------------------------------- [SECTION] pixel helpers

namespace {

constexpr int32_t kMaxFilterSize = 10000;

uint8_t Clamp255(int64_t v) { return static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255)); }

int32_t Channel(uint32_t p, int32_t c) { return static_cast<int32_t>((p >> (8 * c)) & 0xFF); }

uint32_t MakePixel(int64_t b, int64_t g, int64_t r) {
  return 0xFF000000u | (uint32_t{Clamp255(r)} << 16) | (uint32_t{Clamp255(g)} << 8) | Clamp255(b);
}

// Calls f on each pixel of r (clamped to the bitmap).
template <class F>
void ForEachPixel(TBitmap& bitmap, const TFilterRect& rect, F f) {
  const TFilterRect r = ClampFilterRect(rect, bitmap);
  if (r.Empty()) return;
  for (int32_t y = r.Top; y <= r.Bottom; ++y) {
    uint32_t* row = bitmap.ScanLine(y);
    for (int32_t x = r.Left; x <= r.Right; ++x) f(row[x]);
  }
}

// Maps each of the three bytes through f.
template <class F>
void ForEachByte(TBitmap& bitmap, const TFilterRect& r, F f) {
  ForEachPixel(bitmap, r, [&](uint32_t& p) { p = MakePixel(f(Channel(p, 0)), f(Channel(p, 1)), f(Channel(p, 2))); });
}

// The part (l, t) .. (r, b), inclusive, of a bitmap as a new bitmap; the caller has
// limited it to the bitmap.
std::unique_ptr<TBitmap> CopyPart(const TBitmap& source, int32_t l, int32_t t, int32_t r, int32_t b) {
  auto part = std::make_unique<TBitmap>();
  part->Image() = source.Image().copy(l, t, r - l + 1, b - t + 1).convertToFormat(QImage::Format_RGB32);
  return part;
}

void DrawInto(TBitmap& target, int32_t x, int32_t y, const TBitmap& source) {
  target.Canvas().Draw(x, y, source.Image());
}

std::string Text(std::string_view s) { return std::string(s); }

}  // namespace

// ------------------------------------------------- [SECTION] per-pixel filters

void TInvertFilter::Apply(TBitmap& bitmap, const TFilterRect& r) {
  ForEachByte(bitmap, r, [](int32_t v) { return 255 - v; });
}
std::string TInvertFilter::Description() const { return Text(ChartMsg::FilterInvert); }

void TGrayScaleFilter::Apply(TBitmap& bitmap, const TFilterRect& r) {
  ForEachPixel(bitmap, r, [&](uint32_t& p) {
    const int32_t b = Channel(p, 0), g = Channel(p, 1), rd = Channel(p, 2);
    int32_t gray = 0;
    switch (Method) {
      case gmSimple: gray = (rd + g + b) / 3; break;
      case gmEye: gray = RoundToInt(0.3 * rd + 0.59 * g + 0.11 * b); break;
      case gmEye2: gray = (11 * rd + 16 * g + 5 * b) >> 5; break;
    }
    p = MakePixel(gray, gray, gray);
  });
}
void TGrayScaleFilter::CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2) {
  TChartFilter::CreateEditor(editor, tag1, tag2);
  editor.AddChoice("Method", {"Simple", "Eye", "Eye 2"});
}
std::string TGrayScaleFilter::Description() const { return Text(ChartMsg::FilterGrayScale); }
void TGrayScaleFilter::Properties(TFilterProperties& p) {
  int32_t method = Method;
  p.Choice("Method", method, gmSimple, {"gmSimple", "gmEye", "gmEye2"});
  Method = static_cast<TGrayMethod>(std::clamp(method, 0, 2));
}

void TAmountFilter::CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2) {
  TChartFilter::CreateEditor(editor, tag1, tag2);
  const int32_t limit = Percent ? 100 : 255;
  editor.AddInteger("Amount", onlyPositive_ ? 0 : -limit, limit);
  editor.AddBoolean(Text(ChartMsg::FilterPercent));
}
void TAmountFilter::Properties(TFilterProperties& p) {
  p.Integer("Amount", Amount, defaultAmount_);
  p.Boolean("Percent", Percent, true);
}

void TMosaicFilter::Apply(TBitmap& bitmap, const TFilterRect& rect) {
  const int32_t n = Amount;
  const TFilterRect r = ClampFilterRect(rect, bitmap);
  if (n <= 0 || r.Empty()) return;
  auto block = [&](int32_t l, int32_t t, int32_t rt, int32_t b) {
    int64_t sum[3] = {0, 0, 0};
    for (int32_t y = t; y <= b; ++y) {
      const uint32_t* row = bitmap.ScanLine(y);
      for (int32_t x = l; x <= rt; ++x) {
        for (int32_t c = 0; c < 3; ++c) sum[c] += Channel(row[x], c);
      }
    }
    const double k = 1.0 / (static_cast<double>(rt - l + 1) * static_cast<double>(b - t + 1));
    const uint32_t average = MakePixel(RoundToInt(sum[0] * k), RoundToInt(sum[1] * k), RoundToInt(sum[2] * k));
    for (int32_t y = t; y <= b; ++y) std::fill(bitmap.ScanLine(y) + l, bitmap.ScanLine(y) + rt + 1, average);
  };
  // The last row and column of blocks take the remainder: 2 .. n + 1 pixels.
  auto band = [&](int32_t t, int32_t b) {
    int32_t x = r.Left;
    for (; x < r.Right - n; x += n) block(x, t, x + n - 1, b);
    if (x < r.Right) block(x, t, r.Right, b);
  };
  int32_t y = r.Top;
  for (; y < r.Bottom - n; y += n) band(y, y + n - 1);
  if (y < r.Bottom) band(y, r.Bottom);
}
std::string TMosaicFilter::Description() const { return Text(ChartMsg::FilterMosaic); }

void TFlipFilter::Apply(TBitmap& bitmap, const TFilterRect& rect) {
  const TFilterRect r = ClampFilterRect(rect, bitmap);
  if (r.Empty()) return;
  const int32_t rows = r.Bottom - r.Top + 1;
  for (int32_t i = 0; i < rows / 2; ++i) {
    std::swap_ranges(bitmap.ScanLine(r.Top + i) + r.Left, bitmap.ScanLine(r.Top + i) + r.Right + 1,
                     bitmap.ScanLine(r.Bottom - i) + r.Left);
  }
}
std::string TFlipFilter::Description() const { return Text(ChartMsg::FilterFlip); }

void TReverseFilter::Apply(TBitmap& bitmap, const TFilterRect& rect) {
  const TFilterRect r = ClampFilterRect(rect, bitmap);
  if (r.Empty()) return;
  for (int32_t y = r.Top; y <= r.Bottom; ++y) std::reverse(bitmap.ScanLine(y) + r.Left, bitmap.ScanLine(y) + r.Right + 1);
}
std::string TReverseFilter::Description() const { return Text(ChartMsg::FilterReverse); }

void TBrightnessFilter::Apply(TBitmap& bitmap, const TFilterRect& r) {
  if (Amount == 0) return;
  const int32_t d = Percent ? RoundToInt(255.0 * Amount * 0.01) : Amount;
  ForEachByte(bitmap, r, [d](int32_t v) { return int64_t{v} + d; });
}
std::string TBrightnessFilter::Description() const { return Text(ChartMsg::FilterBrightness); }

void TContrastFilter::Apply(TBitmap& bitmap, const TFilterRect& r) {
  const int64_t amount = Amount;
  if (Percent) {
    ForEachByte(bitmap, r, [amount](int32_t v) {
      return v + (RoundToInt64(v * amount * 0.01) * (v - 128)) / 256;
    });
  } else {
    ForEachByte(bitmap, r, [amount](int32_t v) {
      return v + static_cast<int64_t>(std::trunc(amount * (v - 128) / 256.0));
    });
  }
}
std::string TContrastFilter::Description() const { return Text(ChartMsg::FilterContrast); }

void TColorFilter::Apply(TBitmap& bitmap, const TFilterRect& r) {
  if (Red == 0 && Green == 0 && Blue == 0) return;
  const int64_t red = Red, green = Green, blue = Blue;
  ForEachPixel(bitmap, r, [&](uint32_t& p) {
    p = MakePixel(static_cast<int32_t>(Clamp255(Channel(p, 0) + blue)),
                  static_cast<int32_t>(Clamp255(Channel(p, 1) + green)),
                  static_cast<int32_t>(Clamp255(Channel(p, 2) + red)));
  });
}
void TColorFilter::CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2) {
  TChartFilter::CreateEditor(editor, tag1, tag2);
  editor.AddInteger("Red", -255, 255);
  editor.AddInteger("Green", -255, 255);
  editor.AddInteger("Blue", -255, 255);
}
std::string TColorFilter::Description() const { return Text(ChartMsg::FilterColor); }
void TColorFilter::Properties(TFilterProperties& p) {
  p.Integer("Red", Red, 0);
  p.Integer("Green", Green, 0);
  p.Integer("Blue", Blue, 0);
}

void TGammaCorrectionFilter::Apply(TBitmap& bitmap, const TFilterRect& r) {
  const double g = std::max(std::fabs(static_cast<double>(Amount)) * 0.01, 0.001);
  int32_t table[256];
  table[0] = 0;
  for (int32_t i = 1; i < 256; ++i) table[i] = std::clamp(RoundToInt(255.0 * std::exp(std::log(i / 255.0) / g)), 0, 255);
  ForEachByte(bitmap, r, [&table](int32_t v) { return table[v]; });
}
std::string TGammaCorrectionFilter::Description() const { return Text(ChartMsg::FilterGammaCorrection); }

// ------------------------------------- [SECTION] hue, luminance, saturation

namespace {
constexpr int32_t kHLSMax = 240;
constexpr int32_t kRGBMax = 255;

int32_t HueToRGB(int32_t n1, int32_t n2, int32_t hue) {
  if (hue < 0) hue += kHLSMax;
  if (hue > kHLSMax) hue -= kHLSMax;
  if (hue < kHLSMax / 6) return n1 + ((n2 - n1) * hue + kHLSMax / 12) / (kHLSMax / 6);
  if (hue < kHLSMax / 2) return n2;
  if (hue < kHLSMax * 2 / 3) return n1 + ((n2 - n1) * (kHLSMax * 2 / 3 - hue) + kHLSMax / 12) / (kHLSMax / 6);
  return n1;
}
}  // namespace

void RGBToHLS(TColor rgb, int32_t& hue, int32_t& luminance, int32_t& saturation) {
  const int32_t r = ColorRed(rgb), g = ColorGreen(rgb), b = ColorBlue(rgb);
  const int32_t mx = std::max({r, g, b}), mn = std::min({r, g, b});
  luminance = RoundToInt(((mx + mn) * kHLSMax + kRGBMax) / (2.0 * kRGBMax));
  if (mx == mn) {
    saturation = 0;
    hue = kHLSMax * 2 / 3;
    return;
  }
  const int32_t delta = mx - mn;
  if (luminance <= kHLSMax / 2) {
    saturation = (delta * kHLSMax + (mx + mn) / 2) / (mx + mn);
  } else {
    saturation = (delta * kHLSMax + (2 * kRGBMax - mx - mn) / 2) / (2 * kRGBMax - mx - mn);
  }
  const int32_t dr = ((mx - r) * (kHLSMax / 6) + delta / 2) / delta;
  const int32_t dg = ((mx - g) * (kHLSMax / 6) + delta / 2) / delta;
  const int32_t db = ((mx - b) * (kHLSMax / 6) + delta / 2) / delta;
  if (r == mx) {
    hue = db - dg;
  } else if (g == mx) {
    hue = kHLSMax / 3 + dr - db;
  } else {
    hue = kHLSMax * 2 / 3 + dg - dr;
  }
  if (hue < 0) hue += kHLSMax;
  if (hue > kHLSMax) hue -= kHLSMax;
}

TColor HLSToRGB(int32_t hue, int32_t luminance, int32_t saturation) {
  if (saturation == 0) {
    const int32_t v = std::min(luminance * kRGBMax / kHLSMax, 255);
    return MakeColor(Clamp255(v), Clamp255(v), Clamp255(v));
  }
  const int32_t m2 = luminance > kHLSMax / 2 ? luminance + saturation - (luminance * saturation + kHLSMax / 2) / kHLSMax
                                             : (luminance * (kHLSMax + saturation) + kHLSMax / 2) / kHLSMax;
  const int32_t m1 = 2 * luminance - m2;
  auto channel = [&](int32_t h) {
    return Clamp255(std::min((HueToRGB(m1, m2, h) * kRGBMax + kHLSMax / 2) / kHLSMax, 255));
  };
  return MakeColor(channel(hue + kHLSMax / 3), channel(hue), channel(hue - kHLSMax / 3));
}

void THueLumSatFilter::Apply(TBitmap& bitmap, const TFilterRect& r) {
  if (Hue == 0 && Luminance == 0 && Saturation == 0) return;
  ForEachPixel(bitmap, r, [&](uint32_t& p) {
    int32_t h = 0, l = 0, s = 0;
    RGBToHLS(PixelToColor(p), h, l, s);
    if (Hue != 0) h = Clamp255(int64_t{h} + Hue);
    if (Luminance != 0) l = Clamp255(int64_t{l} + Luminance);
    if (Saturation != 0) s = Clamp255(int64_t{s} + Saturation);
    p = ColorToPixel(HLSToRGB(h, l, s));
  });
}
void THueLumSatFilter::CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2) {
  TChartFilter::CreateEditor(editor, tag1, tag2);
  editor.AddInteger("Hue", -255, 255);
  editor.AddInteger("Luminance", -255, 255);
  editor.AddInteger("Saturation", -255, 255);
}
std::string THueLumSatFilter::Description() const { return Text(ChartMsg::FilterHueLumSat); }
void THueLumSatFilter::Properties(TFilterProperties& p) {
  p.Integer("Hue", Hue, 0);
  p.Integer("Luminance", Luminance, 0);
  p.Integer("Saturation", Saturation, 0);
}

// ------------------------------------------------------ [SECTION] convolutions

void TSharpenFilter::Apply(TBitmap& bitmap, const TFilterRect& r) {
  std::fill(std::begin(Weights), std::end(Weights), -0.125f);
  Weights[4] = 2.0f;
  Factor = 0.0625f;
  TConvolveFilter::Apply(bitmap, r);
}
std::string TSharpenFilter::Description() const { return Text(ChartMsg::FilterSharpen); }

void TEmbossFilter::Apply(TBitmap& bitmap, const TFilterRect& r) {
  const float kernel[9] = {0, -1, 0, -1, 1, 1, 0, -1, 0};
  std::copy(std::begin(kernel), std::end(kernel), std::begin(Weights));
  Factor = 1.0f;
  TConvolveFilter::Apply(bitmap, r);
}
std::string TEmbossFilter::Description() const { return Text(ChartMsg::FilterEmboss); }

void TSoftenFilter::Apply(TBitmap& bitmap, const TFilterRect& r) {
  const float kernel[9] = {0, 0, 0, 0, 1, 1, 0, 1, 1};
  std::copy(std::begin(kernel), std::end(kernel), std::begin(Weights));
  Factor = 0.25f;
  TConvolveFilter::Apply(bitmap, r);
}
std::string TSoftenFilter::Description() const { return Text(ChartMsg::FilterAntialias); }

// -------------------------------------------------- [SECTION] geometry filters

namespace {

// Replaces the pixels of r (clamped) by part stretched over r.
void StretchOverRect(TBitmap& bitmap, const TFilterRect& r, const TBitmap& part, bool smooth) {
  TBitmap stretched(r.Right - r.Left + 1, r.Bottom - r.Top + 1);
  StretchBitmap(part, stretched, smooth);
  DrawInto(bitmap, r.Left, r.Top, stretched);
}

}  // namespace

void TCropFilter::Apply(TBitmap& bitmap, const TFilterRect&) {
  if (Width < 1 || Height < 1 || bitmap.Empty()) return;
  // The part is limited to the bitmap before anything is read.
  const TFilterRect part = ClampFilterRect(
      TFilterRect{Left, Top, static_cast<int32_t>(std::min<int64_t>(int64_t{Left} + Width - 1, INT32_MAX)),
                  static_cast<int32_t>(std::min<int64_t>(int64_t{Top} + Height - 1, INT32_MAX))},
      bitmap);
  if (part.Empty()) return;
  const auto copy = CopyPart(bitmap, part.Left, part.Top, part.Right, part.Bottom);
  StretchOverRect(bitmap, TFilterRect{0, 0, bitmap.Width() - 1, bitmap.Height() - 1}, *copy, Smooth);
}
void TCropFilter::CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2) {
  TChartFilter::CreateEditor(editor, tag1, tag2);
  editor.AddInteger(Text(ChartMsg::FilterLeft), 0, kMaxFilterSize);
  editor.AddInteger(Text(ChartMsg::FilterTop), 0, kMaxFilterSize);
  editor.AddInteger(Text(ChartMsg::FilterWidth), 0, kMaxFilterSize);
  editor.AddInteger("Height", 0, kMaxFilterSize);
  editor.AddBoolean(Text(ChartMsg::FilterSmooth));
}
std::string TCropFilter::Description() const { return Text(ChartMsg::FilterCrop); }
void TCropFilter::Properties(TFilterProperties& p) {
  p.Integer("Left", Left, 0);
  p.Integer("Top", Top, 0);
  p.Integer("Width", Width, 0);
  p.Integer("Height", Height, 0);
  p.Boolean("Smooth", Smooth, false);
}

void TResizeFilter::Apply(TBitmap& bitmap, const TFilterRect&) {
  if (Width < 1 || Height < 1 || bitmap.Empty()) return;
  TBitmap resized(std::min(Width, kMaxFilterSize), std::min(Height, kMaxFilterSize));
  StretchBitmap(bitmap, resized, true);
  bitmap.Image() = resized.Image();
}
void TResizeFilter::CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2) {
  TChartFilter::CreateEditor(editor, tag1, tag2);
  editor.AddInteger(Text(ChartMsg::FilterWidth), 0, kMaxFilterSize);
  editor.AddInteger("Height", 0, kMaxFilterSize);
}
std::string TResizeFilter::Description() const { return Text(ChartMsg::FilterResize); }
void TResizeFilter::Properties(TFilterProperties& p) {
  p.Integer("Width", Width, 0);
  p.Integer("Height", Height, 0);
}

void TRotateFilter::Apply(TBitmap& bitmap, const TFilterRect&) {
  if (!std::isfinite(Angle)) return;
  // Angles of several turns are reduced at once (a loop of subtractions could run for ever).
  double angle = Angle >= 360.0 ? std::fmod(Angle, 360.0) : Angle;
  if (angle == 0) return;
  const int32_t w = bitmap.Width(), h = bitmap.Height();
  if (w < 2 || h < 2) return;
  if (angle == 180.0) {
    const TFilterRect all{0, 0, w - 1, h - 1};
    TFlipFilter().Apply(bitmap, all);
    TReverseFilter().Apply(bitmap, all);
    return;
  }
  const QImage source = bitmap.Image();
  auto src = [&](int32_t x, int32_t y) { return reinterpret_cast<const uint32_t*>(source.constScanLine(y))[x]; };
  TBitmap rotated;
  if (angle == 90.0 || angle == 270.0) {
    rotated.SetSize(h, w);
    for (int32_t y = 0; y < h; ++y) {
      for (int32_t x = 0; x < w; ++x) {
        if (angle == 90.0) {
          rotated.ScanLine(w - 1 - x)[y] = src(x, y);
        } else {
          rotated.ScanLine(x)[h - 1 - y] = src(x, y);
        }
      }
    }
  } else {
    const double a = angle * M_PI / 180.0;
    const double c = std::cos(a), s = std::sin(a);
    int32_t nw = w, nh = h;
    if (AutoSize) {
      nw = std::min(RoundToInt(std::fabs(w * c) + std::fabs(h * s)), kMaxFilterSize);
      nh = std::min(RoundToInt(std::fabs(w * s) + std::fabs(h * c)), kMaxFilterSize);
    }
    rotated.SetSize(std::max(nw, 1), std::max(nh, 1));
    if (BackColor != clWhite && BackColor != 0x1FFFFFFFu) {
      rotated.Canvas().SetBrush(TBrush{BackColor, bsSolid});
      rotated.Canvas().FillRect(TRect{0, 0, rotated.Width(), rotated.Height()});
    }
    // Each target pixel is turned back (by 360 − Angle) onto the source, nearest pixel.
    const double scx = (w - 1) / 2.0, scy = (h - 1) / 2.0;
    const double dcx = (rotated.Width() - 1) / 2.0, dcy = (rotated.Height() - 1) / 2.0;
    for (int32_t y = 0; y < rotated.Height(); ++y) {
      uint32_t* out = rotated.ScanLine(y);
      for (int32_t x = 0; x < rotated.Width(); ++x) {
        const double dx = x - dcx, dy = y - dcy;
        const int32_t sx = RoundToInt(dx * c - dy * s + scx);
        const int32_t sy = RoundToInt(dx * s + dy * c + scy);
        if (sx >= 0 && sx < w && sy >= 0 && sy < h) out[x] = src(sx, sy);
      }
    }
  }
  bitmap.Image() = rotated.Image();
}
void TRotateFilter::CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2) {
  TChartFilter::CreateEditor(editor, tag1, tag2);
  editor.AddInteger("Angle", 0, 360);
  editor.AddBoolean(Text(ChartMsg::FilterAutosize));
  editor.AddChoice(Text(ChartMsg::FilterBack), {"Color"});
}
std::string TRotateFilter::Description() const { return Text(ChartMsg::FilterRotate); }
void TRotateFilter::Properties(TFilterProperties& p) {
  p.Real("Angle", Angle, 0);
  p.Boolean("AutoSize", AutoSize, true);
  p.Color("BackColor", BackColor, clWhite);
}

void TMirrorFilter::Apply(TBitmap& bitmap, const TFilterRect&) {
  const int32_t w = bitmap.Width(), h = bitmap.Height();
  if (w < 1 || h < 1) return;
  const bool vertical = Direction == mdDown || Direction == mdUp;
  if ((vertical ? h : w) > kMaxFilterSize) return;
  TBitmap image;
  image.Image() = bitmap.Image().copy();
  TBitmap mirror;
  mirror.Image() = bitmap.Image().copy();
  const TFilterRect all{0, 0, w - 1, h - 1};
  if (vertical) {
    TFlipFilter().Apply(mirror, all);
  } else {
    TReverseFilter().Apply(mirror, all);
  }
  TBitmap doubled(vertical ? w : 2 * w, vertical ? 2 * h : h);
  const bool imageFirst = Direction == mdDown || Direction == mdRight;
  const TBitmap& first = imageFirst ? image : mirror;
  const TBitmap& second = imageFirst ? mirror : image;
  DrawInto(doubled, 0, 0, first);
  DrawInto(doubled, vertical ? 0 : w, vertical ? h : 0, second);
  bitmap.Image() = doubled.Image();
}
void TMirrorFilter::CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2) {
  TChartFilter::CreateEditor(editor, tag1, tag2);
  editor.AddChoice("Direction", {"Down", "Up", "Right", "Left"});
}
std::string TMirrorFilter::Description() const { return Text(ChartMsg::FilterMirror); }
void TMirrorFilter::Properties(TFilterProperties& p) {
  int32_t direction = Direction;
  p.Choice("Direction", direction, mdDown, {"mdDown", "mdUp", "mdRight", "mdLeft"});
  Direction = static_cast<TMirrorDirection>(std::clamp(direction, 0, 3));
}

void TTileFilter::Apply(TBitmap& bitmap, const TFilterRect& rect) {
  const TFilterRect r = ClampFilterRect(rect, bitmap);
  if (r.Empty()) return;
  const int32_t cols = std::max(NumCols, 1), rows = std::max(NumRows, 1);
  const int32_t tw = (r.Right - r.Left) / cols, th = (r.Bottom - r.Top) / rows;
  if (tw < 1 || th < 1) return;
  TBitmap tile(tw, th);
  StretchBitmap(bitmap, tile, true);
  for (int32_t row = 0; row < rows; ++row) {
    for (int32_t col = 0; col < cols; ++col) DrawInto(bitmap, col * tw, row * th, tile);
  }
}
void TTileFilter::CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2) {
  TChartFilter::CreateEditor(editor, tag1, tag2);
  editor.AddInteger(Text(ChartMsg::FilterColumns), 1, 1000);
  editor.AddInteger(Text(ChartMsg::FilterRows), 1, 1000);
}
std::string TTileFilter::Description() const { return Text(ChartMsg::FilterTile); }
void TTileFilter::Properties(TFilterProperties& p) {
  p.Integer("NumCols", NumCols, 3);
  p.Integer("NumRows", NumRows, 3);
}

void TBevelFilter::Apply(TBitmap& bitmap, const TFilterRect& rect) {
  const TFilterRect r = ClampFilterRect(rect, bitmap);
  if (r.Empty()) return;
  const int32_t rows = r.Bottom - r.Top + 1, cols = r.Right - r.Left + 1;
  auto add = [&](int32_t x, int32_t y, int64_t d) {
    uint32_t& p = bitmap.ScanLine(y)[x];
    p = MakePixel(Channel(p, 0) + d, Channel(p, 1) + d, Channel(p, 2) + d);
  };
  const int32_t size = std::min(Size, std::max(rows, cols) / 2 + 1);
  for (int32_t i = 0; i < size; ++i) {
    if (i < rows / 2) {
      for (int32_t x = r.Left + i; x <= r.Right - i; ++x) {
        add(x, r.Top + i, Bright);
        add(x, r.Bottom - i, -int64_t{Bright});
      }
    }
    if (i < cols / 2) {
      for (int32_t y = r.Top + i + 1; y <= r.Bottom - i; ++y) {
        add(r.Left + i, y, Bright);
        add(r.Right - i, y, -int64_t{Bright});
      }
    }
  }
}
void TBevelFilter::CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2) {
  TChartFilter::CreateEditor(editor, tag1, tag2);
  editor.AddInteger("Bright", 0, 255);
  editor.AddInteger("Size", 0, 1000);
}
std::string TBevelFilter::Description() const { return Text(ChartMsg::FilterBevel); }
void TBevelFilter::Properties(TFilterProperties& p) {
  p.Integer("Bright", Bright, 64);
  p.Integer("Size", Size, 15);
}

void TZoomFilter::Apply(TBitmap& bitmap, const TFilterRect& rect) {
  const TFilterRect r = ClampFilterRect(rect, bitmap);
  if (r.Empty() || !std::isfinite(Percent)) return;
  const int32_t w = r.Right - r.Left + 1, h = r.Bottom - r.Top + 1;
  const int32_t mx = std::clamp(RoundToInt(w * Percent * 0.005), 0, (w - 1) / 2);
  const int32_t my = std::clamp(RoundToInt(h * Percent * 0.005), 0, (h - 1) / 2);
  const auto part = CopyPart(bitmap, r.Left + mx, r.Top + my, r.Right - mx, r.Bottom - my);
  StretchOverRect(bitmap, r, *part, Smooth);
}
void TZoomFilter::CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2) {
  TChartFilter::CreateEditor(editor, tag1, tag2);
  editor.AddInteger(Text(ChartMsg::FilterPercent), 0, 100);
  editor.AddBoolean(Text(ChartMsg::FilterSmooth));
}
std::string TZoomFilter::Description() const { return Text(ChartMsg::FilterZoom); }
void TZoomFilter::Properties(TFilterProperties& p) {
  p.Real("Percent", Percent, 10);
  p.Boolean("Smooth", Smooth, false);
}

// ----------------------------------------------------------- [SECTION] registry

namespace {
void RotateBitmap(TBitmap& bitmap, int32_t angle) {
  TRotateFilter rotate;
  rotate.Angle = angle;
  rotate.ApplyTo(bitmap);
}
}  // namespace

// Set at start, before any panel or gradient exists: constant initialisation needs
// no code to run, and a program that turns gradients links the routine with it.
TBitmapRotation ChartBitmapRotation = RotateBitmap;

void RegisterChartFilters() {
  RegisterFilters({&TInvertFilter::StaticClass(), &TGrayScaleFilter::StaticClass(), &TMosaicFilter::StaticClass(),
                   &TFlipFilter::StaticClass(), &TReverseFilter::StaticClass(), &TBrightnessFilter::StaticClass(),
                   &TContrastFilter::StaticClass(), &TColorFilter::StaticClass(), &THueLumSatFilter::StaticClass(),
                   &TBlurFilter::StaticClass(), &TSharpenFilter::StaticClass(),
                   &TGammaCorrectionFilter::StaticClass(), &TEmbossFilter::StaticClass(),
                   &TSoftenFilter::StaticClass(), &TCropFilter::StaticClass(), &TResizeFilter::StaticClass(),
                   &TRotateFilter::StaticClass(), &TMirrorFilter::StaticClass(), &TTileFilter::StaticClass(),
                   &TBevelFilter::StaticClass(), &TZoomFilter::StaticClass()});
  ChartBitmapRotation = RotateBitmap;
}

}  // namespace qira

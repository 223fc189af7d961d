#pragma once
// The image filters of chart pictures: twenty filters over a bitmap's pixels inside a
// rectangle (all four sides inclusive, clamped to the bitmap), which together with
// TBlurFilter form the registry of 21 filter classes.
//
// Pixels are 0xAARRGGBB; "each byte" means each of blue, green and red; results are
// clamped to 0 .. 255. Filters that make a new bitmap (crop, resize, rotate, mirror,
// tile, zoom) read only inside the source and write only inside the target.
#include <cstdint>
#include <string>

#include "chart/draw/ChartPicture.h"

namespace qira {

class TInvertFilter : public TChartFilter {
  QIRA_CHART_FILTER_CLASS(TInvertFilter)
 public:
  using TChartFilter::TChartFilter;
  void Apply(TBitmap& bitmap, const TFilterRect& r) override;
  std::string Description() const override;
};

enum TGrayMethod : uint8_t { gmSimple, gmEye, gmEye2 };

class TGrayScaleFilter : public TChartFilter {
  QIRA_CHART_FILTER_CLASS(TGrayScaleFilter)
 public:
  using TChartFilter::TChartFilter;
  void Apply(TBitmap& bitmap, const TFilterRect& r) override;
  void CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2) override;
  std::string Description() const override;
  void Properties(TFilterProperties& p) override;

  TGrayMethod Method = gmSimple;
};

// Parent of mosaic, brightness, contrast and gamma.
class TAmountFilter : public TChartFilter {
 public:
  TAmountFilter(TFilterItems* collection, int32_t amount, bool onlyPositive)
      : TChartFilter(collection), Amount(amount), defaultAmount_(amount), onlyPositive_(onlyPositive) {}
  void CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2) override;
  void Properties(TFilterProperties& p) override;

  int32_t Amount;
  bool Percent = true;

 private:
  int32_t defaultAmount_;
  bool onlyPositive_;
};

class TMosaicFilter : public TAmountFilter {
  QIRA_CHART_FILTER_CLASS(TMosaicFilter)
 public:
  explicit TMosaicFilter(TFilterItems* c = nullptr) : TAmountFilter(c, 8, true) {}
  void Apply(TBitmap& bitmap, const TFilterRect& r) override;
  std::string Description() const override;
};

class TFlipFilter : public TChartFilter {
  QIRA_CHART_FILTER_CLASS(TFlipFilter)
 public:
  using TChartFilter::TChartFilter;
  void Apply(TBitmap& bitmap, const TFilterRect& r) override;
  std::string Description() const override;
};

class TReverseFilter : public TChartFilter {
  QIRA_CHART_FILTER_CLASS(TReverseFilter)
 public:
  using TChartFilter::TChartFilter;
  void Apply(TBitmap& bitmap, const TFilterRect& r) override;
  std::string Description() const override;
};

class TBrightnessFilter : public TAmountFilter {
  QIRA_CHART_FILTER_CLASS(TBrightnessFilter)
 public:
  explicit TBrightnessFilter(TFilterItems* c = nullptr) : TAmountFilter(c, 5, false) {}
  void Apply(TBitmap& bitmap, const TFilterRect& r) override;
  std::string Description() const override;
};

class TContrastFilter : public TAmountFilter {
  QIRA_CHART_FILTER_CLASS(TContrastFilter)
 public:
  explicit TContrastFilter(TFilterItems* c = nullptr) : TAmountFilter(c, 5, false) {}
  void Apply(TBitmap& bitmap, const TFilterRect& r) override;
  std::string Description() const override;
};

class TColorFilter : public TChartFilter {
  QIRA_CHART_FILTER_CLASS(TColorFilter)
 public:
  using TChartFilter::TChartFilter;
  void Apply(TBitmap& bitmap, const TFilterRect& r) override;
  void CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2) override;
  std::string Description() const override;
  void Properties(TFilterProperties& p) override;

  int32_t Red = 0;
  int32_t Green = 0;
  int32_t Blue = 0;
};

class THueLumSatFilter : public TChartFilter {
  QIRA_CHART_FILTER_CLASS(THueLumSatFilter)
 public:
  using TChartFilter::TChartFilter;
  void Apply(TBitmap& bitmap, const TFilterRect& r) override;
  void CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2) override;
  std::string Description() const override;
  void Properties(TFilterProperties& p) override;

  int32_t Hue = 0;
  int32_t Luminance = 0;
  int32_t Saturation = 0;
};

// Hue, luminance and saturation on the 0 .. 240 scale, and back.
void RGBToHLS(TColor rgb, int32_t& hue, int32_t& luminance, int32_t& saturation);
TColor HLSToRGB(int32_t hue, int32_t luminance, int32_t saturation);

class TSharpenFilter : public TConvolveFilter {
  QIRA_CHART_FILTER_CLASS(TSharpenFilter)
 public:
  using TConvolveFilter::TConvolveFilter;
  void Apply(TBitmap& bitmap, const TFilterRect& r) override;
  std::string Description() const override;
};

class TGammaCorrectionFilter : public TAmountFilter {
  QIRA_CHART_FILTER_CLASS(TGammaCorrectionFilter)
 public:
  explicit TGammaCorrectionFilter(TFilterItems* c = nullptr) : TAmountFilter(c, 70, true) {}
  void Apply(TBitmap& bitmap, const TFilterRect& r) override;
  std::string Description() const override;
};

class TEmbossFilter : public TConvolveFilter {
  QIRA_CHART_FILTER_CLASS(TEmbossFilter)
 public:
  using TConvolveFilter::TConvolveFilter;
  void Apply(TBitmap& bitmap, const TFilterRect& r) override;
  std::string Description() const override;
};

class TSoftenFilter : public TConvolveFilter {
  QIRA_CHART_FILTER_CLASS(TSoftenFilter)
 public:
  using TConvolveFilter::TConvolveFilter;
  void Apply(TBitmap& bitmap, const TFilterRect& r) override;
  std::string Description() const override;
};

class TCropFilter : public TChartFilter {
  QIRA_CHART_FILTER_CLASS(TCropFilter)
 public:
  using TChartFilter::TChartFilter;
  // The part (Left, Top, Width × Height), limited to the bitmap, stretched over the
  // whole bitmap; nothing unless Width and Height are at least 1.
  void Apply(TBitmap& bitmap, const TFilterRect& r) override;
  void CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2) override;
  std::string Description() const override;
  void Properties(TFilterProperties& p) override;

  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  bool Smooth = false;
};

class TResizeFilter : public TChartFilter {
  QIRA_CHART_FILTER_CLASS(TResizeFilter)
 public:
  using TChartFilter::TChartFilter;
  // Sizes are limited to the editor's 10 000.
  void Apply(TBitmap& bitmap, const TFilterRect& r) override;
  void CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2) override;
  std::string Description() const override;
  void Properties(TFilterProperties& p) override;

  int32_t Width = 0;
  int32_t Height = 0;
};

class TRotateFilter : public TChartFilter {
  QIRA_CHART_FILTER_CLASS(TRotateFilter)
 public:
  using TChartFilter::TChartFilter;
  // Counter-clockwise by Angle degrees (taken modulo 360).
  void Apply(TBitmap& bitmap, const TFilterRect& r) override;
  void CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2) override;
  std::string Description() const override;
  void Properties(TFilterProperties& p) override;

  double Angle = 0;
  bool AutoSize = true;
  TColor BackColor = clWhite;
};

enum TMirrorDirection : uint8_t { mdDown, mdUp, mdRight, mdLeft };

class TMirrorFilter : public TChartFilter {
  QIRA_CHART_FILTER_CLASS(TMirrorFilter)
 public:
  using TChartFilter::TChartFilter;
  void Apply(TBitmap& bitmap, const TFilterRect& r) override;
  void CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2) override;
  std::string Description() const override;
  void Properties(TFilterProperties& p) override;

  TMirrorDirection Direction = mdDown;
};

class TTileFilter : public TChartFilter {
  QIRA_CHART_FILTER_CLASS(TTileFilter)
 public:
  using TChartFilter::TChartFilter;
  void Apply(TBitmap& bitmap, const TFilterRect& r) override;
  void CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2) override;
  std::string Description() const override;
  void Properties(TFilterProperties& p) override;

  int32_t NumCols = 3;  // below 1 counts as 1
  int32_t NumRows = 3;
};

class TBevelFilter : public TChartFilter {
  QIRA_CHART_FILTER_CLASS(TBevelFilter)
 public:
  using TChartFilter::TChartFilter;
  void Apply(TBitmap& bitmap, const TFilterRect& r) override;
  void CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2) override;
  std::string Description() const override;
  void Properties(TFilterProperties& p) override;

  int32_t Bright = 64;
  int32_t Size = 15;
};

class TZoomFilter : public TChartFilter {
  QIRA_CHART_FILTER_CLASS(TZoomFilter)
 public:
  using TChartFilter::TChartFilter;
  void Apply(TBitmap& bitmap, const TFilterRect& r) override;
  void CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2) override;
  std::string Description() const override;
  void Properties(TFilterProperties& p) override;

  double Percent = 10;
  bool Smooth = false;
};

// Registers the 21 filter classes in their order and sets ChartBitmapRotation; safe
// to call more than once.
void RegisterChartFilters();

}  // namespace qira

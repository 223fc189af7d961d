#include "chart/draw/ChartFilters.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/BinaryStream.h"

namespace qira {
namespace {

// 4 × 4, red 10 + 60x, green 10 + 60y, blue 100.
std::unique_ptr<TBitmap> Ramp() {
  auto b = std::make_unique<TBitmap>(4, 4);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 4; ++x) b->SetPixel(x, y, MakeColor(10 + 60 * x, 10 + 60 * y, 100));
  return b;
}
// 5 × 5 grey 100 with grey 200 at (2, 2).
std::unique_ptr<TBitmap> Dot() {
  auto b = std::make_unique<TBitmap>(5, 5);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 5; ++x) b->SetPixel(x, y, MakeColor(100, 100, 100));
  b->SetPixel(2, 2, MakeColor(200, 200, 200));
  return b;
}
std::unique_ptr<TBitmap> Solid(TColor c) {
  auto b = std::make_unique<TBitmap>(3, 3);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 3; ++x) b->SetPixel(x, y, c);
  return b;
}

TColor Gray(int v) { return MakeColor(v, v, v); }

template <class F>
std::function<std::unique_ptr<TChartFilter>()> Make(std::function<void(F&)> setup = {}) {
  return [setup]() {
    auto f = std::make_unique<F>();
    if (setup) setup(*f);
    return std::unique_ptr<TChartFilter>(std::move(f));
  };
}

struct FilterRow {
  const char* name;
  std::function<std::unique_ptr<TChartFilter>()> filter;
  std::function<std::unique_ptr<TBitmap>()> picture;
  int32_t x, y;
  TColor expected;
  int tolerance = 0;
};

bool Near(TColor a, TColor b, int tolerance) {
  return std::abs(ColorRed(a) - ColorRed(b)) <= tolerance && std::abs(ColorGreen(a) - ColorGreen(b)) <= tolerance &&
         std::abs(ColorBlue(a) - ColorBlue(b)) <= tolerance;
}

TEST(ChartFilters, EachFilterChangesAKnownPictureAsSpecified) {
  const FilterRow rows[] = {
      {"invert", Make<TInvertFilter>(), Ramp, 0, 0, MakeColor(245, 245, 155)},
      {"gray simple", Make<TGrayScaleFilter>(), [] { return Solid(clLime); }, 1, 1, Gray(85)},
      {"gray eye", Make<TGrayScaleFilter>([](auto& f) { f.Method = gmEye; }), [] { return Solid(clLime); }, 1, 1, Gray(150)},
      {"gray eye 2", Make<TGrayScaleFilter>([](auto& f) { f.Method = gmEye2; }), [] { return Solid(clLime); }, 1, 1, Gray(127)},
      {"mosaic averages blocks", Make<TMosaicFilter>([](auto& f) { f.Amount = 2; }), Ramp, 1, 1, MakeColor(40, 40, 100)},
      {"flip", Make<TFlipFilter>(), Ramp, 0, 0, MakeColor(10, 190, 100)},
      {"reverse", Make<TReverseFilter>(), Ramp, 0, 0, MakeColor(190, 10, 100)},
      {"brightness 5 percent adds 13", Make<TBrightnessFilter>(), Ramp, 0, 0, MakeColor(23, 23, 113)},
      {"contrast 50 percent", Make<TContrastFilter>([](auto& f) { f.Amount = 50; }), Ramp, 3, 3, MakeColor(213, 213, 95)},
      {"color adds and clamps", Make<TColorFilter>([](auto& f) { f.Red = 20; f.Blue = -200; }), Ramp, 0, 0, MakeColor(30, 10, 0)},
      {"luminance of a grey", Make<THueLumSatFilter>([](auto& f) { f.Luminance = 20; }), [] { return Solid(Gray(120)); }, 1, 1, Gray(141)},
      {"blur averages the centre", Make<TBlurFilter>(), Dot, 2, 2, Gray(111)},
      {"blur keeps the border", Make<TBlurFilter>(), Dot, 0, 0, Gray(100)},
      {"sharpen beside the dot", Make<TSharpenFilter>(), Dot, 1, 1, Gray(88)},
      {"sharpen clamps the dot", Make<TSharpenFilter>(), Dot, 2, 2, Gray(255)},
      {"gamma 70", Make<TGammaCorrectionFilter>(), Dot, 0, 0, Gray(67)},
      {"gamma 70 of the dot", Make<TGammaCorrectionFilter>(), Dot, 2, 2, Gray(180)},
      {"emboss above the dot", Make<TEmbossFilter>(), Dot, 2, 1, Gray(200)},
      {"emboss left of the dot", Make<TEmbossFilter>(), Dot, 1, 2, Gray(0)},
      {"soften", Make<TSoftenFilter>(), Dot, 1, 1, Gray(125)},
      {"crop stretches the part", Make<TCropFilter>([](auto& f) { f.Left = 1; f.Top = 1; f.Width = 2; f.Height = 2; }), Ramp, 0, 0, MakeColor(70, 70, 100)},
      {"crop far corner", Make<TCropFilter>([](auto& f) { f.Left = 1; f.Top = 1; f.Width = 2; f.Height = 2; }), Ramp, 3, 3, MakeColor(130, 130, 100)},
      {"rotate 90 counter-clockwise", Make<TRotateFilter>([](auto& f) { f.Angle = 90; }), Ramp, 0, 0, MakeColor(190, 10, 100)},
      {"rotate 450 is 90", Make<TRotateFilter>([](auto& f) { f.Angle = 450; }), Ramp, 0, 0, MakeColor(190, 10, 100)},
      {"rotate 180", Make<TRotateFilter>([](auto& f) { f.Angle = 180; }), Ramp, 0, 0, MakeColor(190, 190, 100)},
      {"mirror down: image above", Make<TMirrorFilter>(), Ramp, 0, 3, MakeColor(10, 190, 100)},
      {"mirror down: mirror below", Make<TMirrorFilter>(), Ramp, 0, 7, MakeColor(10, 10, 100)},
      {"mirror left: mirror left", Make<TMirrorFilter>([](auto& f) { f.Direction = mdLeft; }), Ramp, 0, 0, MakeColor(190, 10, 100)},
      {"tile 2 x 2", Make<TTileFilter>([](auto& f) { f.NumCols = 2; f.NumRows = 2; }), Dot, 0, 0, Gray(106), 1},
      {"tile leaves the remainder", Make<TTileFilter>([](auto& f) { f.NumCols = 2; f.NumRows = 2; }), Dot, 4, 4, Gray(100)},
      {"bevel lights top-left", Make<TBevelFilter>([](auto& f) { f.Bright = 10; f.Size = 1; }), Ramp, 0, 0, MakeColor(20, 20, 110)},
      {"bevel shades bottom-right", Make<TBevelFilter>([](auto& f) { f.Bright = 10; f.Size = 1; }), Ramp, 3, 3, MakeColor(170, 170, 80)},
      {"bevel leaves the inside", Make<TBevelFilter>([](auto& f) { f.Bright = 10; f.Size = 1; }), Ramp, 1, 1, MakeColor(70, 70, 100)},
      {"zoom 50 percent", Make<TZoomFilter>([](auto& f) { f.Percent = 50; }), Ramp, 0, 0, MakeColor(70, 70, 100)},
  };
  for (const FilterRow& row : rows) {
    auto bitmap = row.picture();
    row.filter()->ApplyTo(*bitmap);
    const TColor got = bitmap->Pixel(row.x, row.y);
    EXPECT_TRUE(Near(got, row.expected, row.tolerance))
        << row.name << ": got " << std::hex << got << " expected " << row.expected;
  }
}

TEST(ChartFilters, SizeChangingFiltersGiveTheNewSize) {
  auto bitmap = Ramp();
  TResizeFilter resize;
  resize.Width = 8;
  resize.Height = 6;
  resize.ApplyTo(*bitmap);
  EXPECT_EQ(bitmap->Width(), 8);
  EXPECT_EQ(bitmap->Height(), 6);
  TRotateFilter rotate;
  rotate.Angle = 270;
  rotate.ApplyTo(*bitmap);
  EXPECT_EQ(bitmap->Width(), 6);
  EXPECT_EQ(bitmap->Height(), 8);
  TMirrorFilter mirror;
  mirror.Direction = mdRight;
  mirror.ApplyTo(*bitmap);
  EXPECT_EQ(bitmap->Width(), 12);
}

TEST(ChartFilters, SmallAndEmptyBitmapsAreLeftAlone) {
  RegisterChartFilters();
  for (const TFilterClass* filterClass : FilterClasses()) {
    TBitmap empty;
    TChartFilter::ApplyClass(*filterClass, empty);
    EXPECT_TRUE(empty.Empty()) << filterClass->ClassName();
    TBitmap one(1, 1);
    TChartFilter::ApplyClass(*filterClass, one);
  }
  auto tiny = std::make_unique<TBitmap>(2, 2);
  tiny->SetPixel(0, 0, clBlack);
  TBlurFilter().ApplyTo(*tiny);
  EXPECT_EQ(tiny->Pixel(0, 0), clBlack);
  auto dot = Dot();
  TBlurFilter none;
  none.Steps = 0;
  none.ApplyTo(*dot);
  EXPECT_EQ(dot->Pixel(2, 2), Gray(200));
}

TEST(ChartFilters, ExtremeSettingsClampInsteadOfOverflowing) {
  auto bitmap = Ramp();
  TBrightnessFilter brightness;
  brightness.Percent = false;
  brightness.Amount = INT32_MAX;
  brightness.ApplyTo(*bitmap);
  EXPECT_EQ(bitmap->Pixel(0, 0), clWhite);
  TBevelFilter bevel;
  bevel.Bright = INT32_MIN + 1;
  bevel.Size = INT32_MAX;
  bevel.ApplyTo(*bitmap);
  TMosaicFilter mosaic;
  mosaic.Amount = INT32_MAX;
  mosaic.ApplyTo(*bitmap);
  TRotateFilter rotate;
  rotate.Angle = 1e300;
  rotate.ApplyTo(*bitmap);
}

TEST(ChartFilters, ARegionIsClampedToThePicture) {
  auto bitmap = Ramp();
  TInvertFilter outside;
  outside.Region() = TFilterRegion{10, 10, 5, 5};
  outside.ApplyTo(*bitmap);
  EXPECT_EQ(bitmap->Pixel(3, 3), MakeColor(190, 190, 100));
  TInvertFilter overlapping;
  overlapping.Region() = TFilterRegion{-2, -2, 3, 3};  // right = min(3, −2 + 3) = 1
  overlapping.ApplyTo(*bitmap);
  EXPECT_EQ(bitmap->Pixel(1, 1), MakeColor(185, 185, 155));
  EXPECT_EQ(bitmap->Pixel(2, 2), MakeColor(130, 130, 100));
  TInvertFilter toTheEdge;
  toTheEdge.Region() = TFilterRegion{2, 0, 0, 1};  // width 0 reaches the right edge
  toTheEdge.ApplyTo(*bitmap);
  EXPECT_EQ(bitmap->Pixel(3, 0), MakeColor(65, 245, 155));
}

TEST(ChartFilters, GeometryFiltersStayInsideTheBuffer) {
  auto bitmap = Ramp();
  TCropFilter crop;
  crop.Left = 3;
  crop.Top = -5;
  crop.Width = 100000;
  crop.Height = 100000;
  crop.Smooth = true;
  crop.ApplyTo(*bitmap);
  EXPECT_EQ(bitmap->Pixel(0, 0), MakeColor(190, 10, 100));
  TZoomFilter zoom;
  zoom.Percent = 400;
  zoom.Smooth = true;
  zoom.ApplyTo(*bitmap);
  TBitmap wide(3, 300);
  SmoothStretch(*Ramp(), wide);
  SmoothStretch(wide, *bitmap, true);
  TBitmap narrow(1, 5);
  SmoothStretch(*Ramp(), narrow);
  EXPECT_EQ(narrow.Pixel(0, 0), clWhite);  // a one-pixel-wide target is not touched
}

TEST(ChartFilters, AKernelSummingToZeroIsNotDividedBy) {
  auto bitmap = Dot();
  TConvolveFilter edge;
  const float kernel[9] = {0, 0, 0, -1, 1, 0, 0, 0, 0};
  std::copy(std::begin(kernel), std::end(kernel), std::begin(edge.Weights));
  edge.ApplyTo(*bitmap);
  EXPECT_EQ(bitmap->Pixel(2, 2), Gray(100));
  EXPECT_EQ(bitmap->Pixel(3, 2), Gray(0));
  EXPECT_EQ(bitmap->Pixel(1, 1), Gray(0));
}

// Read while the program starts, before any test registers the filters or makes a panel.
const TBitmapRotation kRotationAtStart = ChartBitmapRotation;

TEST(ChartFilters, RegistryKeepsOneEntryPerClass) {
  RegisterChartFilters();
  RegisterChartFilters();
  RegisterFilters({&TInvertFilter::StaticClass()});
  ASSERT_EQ(FilterClasses().size(), 21u);
  EXPECT_STREQ(FilterClasses().front()->ClassName(), "TInvertFilter");
  EXPECT_STREQ(FilterClasses()[9]->ClassName(), "TBlurFilter");
  EXPECT_STREQ(FilterClasses().back()->ClassName(), "TZoomFilter");
  EXPECT_NE(ChartBitmapRotation, nullptr);
  EXPECT_EQ(kRotationAtStart, ChartBitmapRotation);  // angled gradients turn from the start
}

TEST(ChartFilters, EachRegisteredFilterIsDescribedByItsChartText) {
  RegisterChartFilters();
  const std::vector<std::string> expected = {
      "Invert", "Gray scale", "Mosaic", "Flip", "Reverse", "Brightness", "Contrast",
      "Color", "Hue,Lum,Sat", "Blur", "Sharpen", "Gamma correction", "Emboss", "Antialias",
      "Crop", "Resize", "Rotate", "Mirror", "Tile", "Bevel", "Zoom"};
  ASSERT_EQ(FilterClasses().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(FilterClasses()[i]->ClassName());
    EXPECT_EQ(FilterClasses()[i]->Create()->Description(), expected[i]);
  }
}

// ---- pictures

std::unique_ptr<TChartPicture> RampPicture() {
  auto picture = std::make_unique<TChartPicture>();
  picture->SetGraphic(std::make_unique<TBitmapGraphic>(Ramp()->Image()));
  return picture;
}

TEST(ChartPicture, WithoutFiltersTheGraphicIsDrawnAsItIs) {
  auto picture = RampPicture();
  EXPECT_EQ(picture->Filtered(), picture->Graphic()->ToImage());
  TStreamedProperties block;
  picture->Filters();
  picture->WriteProperties(block);
  EXPECT_TRUE(block.empty());
}

TEST(ChartPicture, EnabledFiltersRunInOrderOnACopy) {
  auto picture = RampPicture();
  const QImage original = picture->Graphic()->ToImage();
  picture->Filters().Add(TFlipFilter::StaticClass());
  picture->Filters().Add(TInvertFilter::StaticClass()).Enabled = false;
  const QImage flipped = picture->Filtered();
  EXPECT_EQ(PixelToColor(flipped.pixel(0, 0)), MakeColor(10, 190, 100));
  // Neither the graphic nor an image handed out before changes under its holder.
  picture->Filters().Item(1).Enabled = true;
  const QImage both = picture->Filtered();
  EXPECT_EQ(PixelToColor(both.pixel(0, 0)), MakeColor(245, 65, 155));
  EXPECT_EQ(PixelToColor(flipped.pixel(0, 0)), MakeColor(10, 190, 100));
  EXPECT_EQ(picture->Graphic()->ToImage(), original);
}

TEST(ChartPicture, FilterListStreamsAndReadsBack) {
  RegisterChartFilters();
  auto picture = RampPicture();
  auto& rotate = static_cast<TRotateFilter&>(picture->Filters().Add(TRotateFilter::StaticClass()));
  rotate.Angle = 33.5;
  rotate.BackColor = clRed;
  auto& gray = static_cast<TGrayScaleFilter&>(picture->Filters().Add(TGrayScaleFilter::StaticClass()));
  gray.Method = gmEye2;
  gray.Enabled = false;
  gray.Region().Left = 3;
  TMemoryStream stream;
  ASSERT_TRUE(picture->WriteFilterItems(stream));
  ASSERT_TRUE(stream.Seek(0));

  TChartPicture copy;
  copy.ReadFilterItems(stream);
  ASSERT_EQ(copy.Filters().Count(), 2);
  const auto& r = dynamic_cast<const TRotateFilter&>(copy.Filters().Item(0));
  EXPECT_DOUBLE_EQ(r.Angle, 33.5);
  EXPECT_EQ(r.BackColor, clRed);
  const auto& g = dynamic_cast<TGrayScaleFilter&>(copy.Filters().Item(1));
  EXPECT_EQ(g.Method, gmEye2);
  EXPECT_FALSE(g.Enabled);
  EXPECT_EQ(copy.Filters().Item(1).Region().Left, 3);
}

TEST(ChartPicture, ADamagedFilterListIsRefusedWhole) {
  RegisterChartFilters();
  auto source = RampPicture();
  static_cast<TBlurFilter&>(source->Filters().Add(TBlurFilter::StaticClass())).Steps = 4;
  TMemoryStream whole;
  ASSERT_TRUE(source->WriteFilterItems(whole));
  const std::vector<uint8_t> bytes = whole.Data();

  TChartPicture target;
  target.Filters().Add(TInvertFilter::StaticClass());
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    TMemoryStream truncated(bytes.data(), cut);
    EXPECT_THROW(target.ReadFilterItems(truncated), EChartStreamError) << "cut at " << cut;
    ASSERT_EQ(target.Filters().Count(), 1);
    EXPECT_STREQ(target.Filters().Item(0).ClassName(), "TInvertFilter");
  }

  auto withBlock = [](const char* className, const char* property) {
    TStreamedProperties item;
    AddString(item, "ItemClass", className);
    AddInteger(item, property, 1);
    TStreamedProperty list;
    list.Name = "FilterItems";
    list.Type = TPropertyType::Collection;
    list.Items.push_back(item);
    return TStreamedProperties{list};
  };
  EXPECT_THROW(target.ReadProperties(withBlock("TNoSuchFilter", "Steps")), EChartStreamError);
  EXPECT_THROW(target.ReadProperties(withBlock("TBlurFilter", "NoSuchSetting")), EChartStreamError);
  EXPECT_EQ(target.Filters().Count(), 1);
  target.ReadProperties(withBlock("TBlurFilter", "Steps"));
  EXPECT_STREQ(target.Filters().Item(0).ClassName(), "TBlurFilter");
}

TEST(ChartPicture, AssignCopiesTheFilterList) {
  auto source = RampPicture();
  static_cast<TBrightnessFilter&>(source->Filters().Add(TBrightnessFilter::StaticClass())).Amount = -7;
  TChartPicture target;
  target.Assign(source.get());
  ASSERT_EQ(target.Filters().Count(), 1);
  EXPECT_EQ(static_cast<TBrightnessFilter&>(target.Filters().Item(0)).Amount, -7);
  TChartPicture empty;
  target.Assign(&empty);
  EXPECT_FALSE(target.HasFilters());
  EXPECT_EQ(target.Graphic(), nullptr);
}

}  // namespace
}  // namespace qira

#include "chart/draw/ChartMessages.h"

#include <gtest/gtest.h>

#include <string_view>

namespace qira {
namespace {

// Every text other chart code reads, against the English text users see.
TEST(ChartMessages, EveryTextReadByTheChartIsItsEnglishText) {
  struct Row {
    std::string_view actual;
    std::string_view expected;
  } rows[] = {
      // errors raised when a property gets an invalid value
      {ChartMsg::LegendFirstValue, "First Legend Value must be > 0"},
      {ChartMsg::NoParentChartForDataSource, "No ParentChart to validate DataSource"},
      {ChartMsg::InvalidDataSource, "No valid DataSource: %s"},
      {ChartMsg::FillSampleValues, "FillSampleValues NumValues must be > 0"},
      {ChartMsg::DateTimeLogarithmic, "DateTime Axis cannot be Logarithmic"},
      {ChartMsg::LogarithmicMinMax, "Logarithmic Axis Min and Max values should be >= 0"},
      {ChartMsg::LabelsSeparation, "Labels Separation % must be greater than 0"},
      {ChartMsg::AxisIncrement, "Axis increment must be >= 0"},
      {ChartMsg::AxisMinMax, "Axis Minimum Value must be <= Maximum"},
      {ChartMsg::AxisMaxMin, "Axis Maximum Value must be >= Minimum"},
      {ChartMsg::AxisLogBase, "Axis Logarithmic Base should be <> 1 and > 0"},
      {ChartMsg::MaxPointsPerPage, "MaxPointsPerPage must be >= 0"},
      {ChartMsg::Chart3DPercent, "3D effect percent must be between %d and %d"},
      {ChartMsg::CircularSeries, "Circular Series dependences are not allowed"},
      {ChartMsg::PointerSize, "Pointer size must be greater than zero"},
      {ChartMsg::FunctionPeriod, "Function Period should be >= 0"},
      {ChartMsg::SeriesDeleteOutOfBounds, "Series Delete: ValueIndex %d out of bounds (0 to %d)."},
      // label and value formats
      {ChartMsg::ValueOfTotal, "%s of %s"},
      {ChartMsg::ValueOfTotalTwoLines, "%s\rof %s"},
      {ChartMsg::PercentFormat, "##0.## %"},
      {ChartMsg::ValuesFormat, "#,##0.###"},
      // default font of chart texts
      {ChartMsg::DefaultFontSize, "8"},
      {ChartMsg::DefaultFontName, "Arial"},
      // value-list names and the prefix of new series names
      {ChartMsg::ValuesX, "X"},
      {ChartMsg::ValuesY, "Y"},
      {ChartMsg::SeriesPrefix, "Series"},
      // sub-styles of the line series family
      {ChartMsg::StyleNormal, "Normal"},
      {ChartMsg::StyleNoBorder, "No Border"},
      {ChartMsg::StyleColors, "Colors"},
      {ChartMsg::StyleMarks, "Marks"},
      {ChartMsg::StyleStairs, "Stairs"},
      {ChartMsg::StylePoints, "Points"},
      {ChartMsg::StyleHeight, "Height"},
      {ChartMsg::StyleHollow, "Hollow"},
      {ChartMsg::StyleOutline, "Outline"},
      // image filter names and parameter captions
      {ChartMsg::FilterAntialias, "Antialias"},
      {ChartMsg::FilterPercent, "Percent"},
      {ChartMsg::FilterSmooth, "Smooth"},
      {ChartMsg::FilterBlur, "Blur"},
      {ChartMsg::FilterWidth, "Width"},
      {ChartMsg::FilterResize, "Resize"},
      {ChartMsg::FilterLeft, "Left"},
      {ChartMsg::FilterTop, "Top"},
      {ChartMsg::FilterCrop, "Crop"},
      {ChartMsg::FilterInvert, "Invert"},
      {ChartMsg::FilterGrayScale, "Gray scale"},
      {ChartMsg::FilterMosaic, "Mosaic"},
      {ChartMsg::FilterFlip, "Flip"},
      {ChartMsg::FilterReverse, "Reverse"},
      {ChartMsg::FilterBrightness, "Brightness"},
      {ChartMsg::FilterColor, "Color"},
      {ChartMsg::FilterHueLumSat, "Hue,Lum,Sat"},
      {ChartMsg::FilterSharpen, "Sharpen"},
      {ChartMsg::FilterGammaCorrection, "Gamma correction"},
      {ChartMsg::FilterEmboss, "Emboss"},
      {ChartMsg::FilterContrast, "Contrast"},
      {ChartMsg::FilterRotate, "Rotate"},
      {ChartMsg::FilterBack, "Back"},
      {ChartMsg::FilterAutosize, "Autosize"},
      {ChartMsg::FilterMirror, "Mirror"},
      {ChartMsg::FilterColumns, "Columns"},
      {ChartMsg::FilterRows, "Rows"},
      {ChartMsg::FilterTile, "Tile"},
      {ChartMsg::FilterBevel, "Bevel"},
      {ChartMsg::FilterZoom, "Zoom"},
  };
  EXPECT_EQ(std::size(rows) + ChartMsg::PaletteNames.size(), 81u);
  for (const Row& row : rows) EXPECT_EQ(row.actual, row.expected);
}

TEST(ChartMessages, PaletteNamesStandInTableOrder) {
  constexpr std::string_view expected[] = {"ZedUrori", "Excel",  "Victorian", "Pastels",    "Solid",      "Classic",
                                           "Web",      "Modern", "Rainbow",   "Win. XP",    "Mac OS",     "Win. Vista",
                                           "Gray scale", "Opera", "Warm",     "Cool"};
  ASSERT_EQ(ChartMsg::PaletteNames.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(ChartMsg::PaletteNames[i], expected[i]) << i;
}

TEST(ChartMessages, GrayScaleStandsForAFilterAndForAPalette) {
  EXPECT_EQ(ChartMsg::FilterGrayScale, "Gray scale");
  EXPECT_EQ(ChartMsg::PaletteNames[12], "Gray scale");
  EXPECT_EQ(ChartMsg::ValueOfTotalTwoLines, "%s\rof %s");
}

}  // namespace
}  // namespace qira

#pragma once
// The chart library's user-visible texts: error messages, formats, default names,
// sub-style, filter and palette names. Chart code reads these instead of literals.
// Only the English texts exist; nothing replaces them at run time.
#include <array>
#include <string_view>

namespace qira::ChartMsg {

// ---- errors raised when a property gets an invalid value ----
inline constexpr std::string_view LegendFirstValue = "First Legend Value must be > 0";
inline constexpr std::string_view NoParentChartForDataSource = "No ParentChart to validate DataSource";
inline constexpr std::string_view InvalidDataSource = "No valid DataSource: %s";
inline constexpr std::string_view FillSampleValues = "FillSampleValues NumValues must be > 0";
inline constexpr std::string_view DateTimeLogarithmic = "DateTime Axis cannot be Logarithmic";
inline constexpr std::string_view LogarithmicMinMax = "Logarithmic Axis Min and Max values should be >= 0";
inline constexpr std::string_view LabelsSeparation = "Labels Separation % must be greater than 0";
inline constexpr std::string_view AxisIncrement = "Axis increment must be >= 0";
inline constexpr std::string_view AxisMinMax = "Axis Minimum Value must be <= Maximum";
inline constexpr std::string_view AxisMaxMin = "Axis Maximum Value must be >= Minimum";
inline constexpr std::string_view AxisLogBase = "Axis Logarithmic Base should be <> 1 and > 0";
inline constexpr std::string_view MaxPointsPerPage = "MaxPointsPerPage must be >= 0";
inline constexpr std::string_view Chart3DPercent = "3D effect percent must be between %d and %d";
inline constexpr std::string_view CircularSeries = "Circular Series dependences are not allowed";
inline constexpr std::string_view PointerSize = "Pointer size must be greater than zero";
inline constexpr std::string_view FunctionPeriod = "Function Period should be >= 0";
inline constexpr std::string_view SeriesDeleteOutOfBounds = "Series Delete: ValueIndex %d out of bounds (0 to %d).";

// ---- label and value formats ----
inline constexpr std::string_view ValueOfTotal = "%s of %s";
inline constexpr std::string_view ValueOfTotalTwoLines = "%s\rof %s";
inline constexpr std::string_view PercentFormat = "##0.## %";
inline constexpr std::string_view ValuesFormat = "#,##0.###";

// ---- default font of chart texts ----
inline constexpr std::string_view DefaultFontSize = "8";
inline constexpr std::string_view DefaultFontName = "Arial";

// ---- default value-list names and the prefix of new series names ----
inline constexpr std::string_view ValuesX = "X";
inline constexpr std::string_view ValuesY = "Y";
inline constexpr std::string_view SeriesPrefix = "Series";

// ---- sub-styles of the line series family ----
inline constexpr std::string_view StyleNormal = "Normal";
inline constexpr std::string_view StyleNoBorder = "No Border";
inline constexpr std::string_view StyleColors = "Colors";
inline constexpr std::string_view StyleMarks = "Marks";
inline constexpr std::string_view StyleStairs = "Stairs";
inline constexpr std::string_view StylePoints = "Points";
inline constexpr std::string_view StyleHeight = "Height";
inline constexpr std::string_view StyleHollow = "Hollow";
inline constexpr std::string_view StyleOutline = "Outline";

// ---- image filter names and filter parameter captions ----
inline constexpr std::string_view FilterAntialias = "Antialias";
inline constexpr std::string_view FilterPercent = "Percent";
inline constexpr std::string_view FilterSmooth = "Smooth";
inline constexpr std::string_view FilterBlur = "Blur";
inline constexpr std::string_view FilterWidth = "Width";
inline constexpr std::string_view FilterResize = "Resize";
inline constexpr std::string_view FilterLeft = "Left";
inline constexpr std::string_view FilterTop = "Top";
inline constexpr std::string_view FilterCrop = "Crop";
inline constexpr std::string_view FilterInvert = "Invert";
inline constexpr std::string_view FilterGrayScale = "Gray scale";
inline constexpr std::string_view FilterMosaic = "Mosaic";
inline constexpr std::string_view FilterFlip = "Flip";
inline constexpr std::string_view FilterReverse = "Reverse";
inline constexpr std::string_view FilterBrightness = "Brightness";
inline constexpr std::string_view FilterColor = "Color";
inline constexpr std::string_view FilterHueLumSat = "Hue,Lum,Sat";
inline constexpr std::string_view FilterSharpen = "Sharpen";
inline constexpr std::string_view FilterGammaCorrection = "Gamma correction";
inline constexpr std::string_view FilterEmboss = "Emboss";
inline constexpr std::string_view FilterContrast = "Contrast";
inline constexpr std::string_view FilterRotate = "Rotate";
inline constexpr std::string_view FilterBack = "Back";
inline constexpr std::string_view FilterAutosize = "Autosize";
inline constexpr std::string_view FilterMirror = "Mirror";
inline constexpr std::string_view FilterColumns = "Columns";
inline constexpr std::string_view FilterRows = "Rows";
inline constexpr std::string_view FilterTile = "Tile";
inline constexpr std::string_view FilterBevel = "Bevel";
inline constexpr std::string_view FilterZoom = "Zoom";

// ---- colour palette names, in table order ----
inline constexpr std::string_view PaletteZedUrori = "ZedUrori";
inline constexpr std::string_view PaletteExcel = "Excel";
inline constexpr std::string_view PaletteVictorian = "Victorian";
inline constexpr std::string_view PalettePastels = "Pastels";
inline constexpr std::string_view PaletteSolid = "Solid";
inline constexpr std::string_view PaletteClassic = "Classic";
inline constexpr std::string_view PaletteWeb = "Web";
inline constexpr std::string_view PaletteModern = "Modern";
inline constexpr std::string_view PaletteRainbow = "Rainbow";
inline constexpr std::string_view PaletteWinXP = "Win. XP";
inline constexpr std::string_view PaletteMacOS = "Mac OS";
inline constexpr std::string_view PaletteWinVista = "Win. Vista";
// The same text as FilterGrayScale: the table holds it twice, once per use.
inline constexpr std::string_view PaletteGrayScale = "Gray scale";
inline constexpr std::string_view PaletteOpera = "Opera";
inline constexpr std::string_view PaletteWarm = "Warm";
inline constexpr std::string_view PaletteCool = "Cool";

inline constexpr std::array<std::string_view, 16> PaletteNames = {
    PaletteZedUrori, PaletteExcel,   PaletteVictorian, PalettePastels,  PaletteSolid,     PaletteClassic,
    PaletteWeb,      PaletteModern,  PaletteRainbow,   PaletteWinXP,    PaletteMacOS,     PaletteWinVista,
    PaletteGrayScale, PaletteOpera,  PaletteWarm,      PaletteCool};

}  // namespace qira::ChartMsg

#pragma once
// The sixteen named colour palettes of charts and the operation that gives one to
// a chart. Palette 0 holds no colours: the chart keeps the default sequence.
#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "chart/ChartInterfaces.h"

namespace qira {

inline constexpr int32_t ColorPaletteCount = 16;

// The palette's name ("ZedUrori", "Excel", ... "Cool"); empty outside 0 .. 15.
std::string_view ColorPaletteName(int32_t index);
// The palette's colours in order; none for palette 0 and outside 0 .. 15.
std::span<const TColor> ColorPaletteColors(int32_t index);

// Gives the chart palette Index (1 .. 15 copy its colours, any other index empties
// the chart's palette), records the index and repaints.
void SetColorPalette(IAxisPanel& chart, int32_t index);

}  // namespace qira

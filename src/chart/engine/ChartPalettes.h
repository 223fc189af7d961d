#pragma once
// The sixteen named colour palettes of charts and the operation that gives one to
// a chart. Palette 0 holds no colours: the chart keeps the default sequence.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "chart/draw/ChartInterfaces.h"

namespace qira {

inline constexpr int32_t ColorPaletteCount = 16;

// The palette's name ("ZedUrori", "Excel", ... "Cool"); empty outside 0 .. 15.
std::string_view ColorPaletteName(int32_t index);
// The palette's colours in order; none for palette 0 and outside 0 .. 15.
std::span<const TColor> ColorPaletteColors(int32_t index);

// The library-wide list of the palettes' names, in index order (an editor offers
// them by these names).
class TColorPalettes {
 public:
  TColorPalettes();
  int32_t Count() const { return static_cast<int32_t>(fNames.size()); }
  const std::string& operator[](int32_t index) const { return fNames[static_cast<size_t>(index)]; }
  // The index of the palette of that name, or -1.
  int32_t IndexOf(std::string_view name) const;

 private:
  std::vector<std::string> fNames;
};

// The one list, made on the first request.
const TColorPalettes& ColorPalettes();

// Gives the chart palette Index (1 .. 15 copy its colours, any other index empties
// the chart's palette), records the index and repaints.
void SetColorPalette(IAxisPanel& chart, int32_t index);

}  // namespace qira

#pragma once
// Sections made in code for the section tests: a flat one in a vertical plane on a
// red-to-green palette.
#include <cstdint>
#include <memory>
#include <vector>

#include "model/Palette.h"
#include "model/Section.h"
#include "platform/CanvasTypes.h"

namespace qira::section_testing {

// A linear palette from red (Min) to green (Max) at full intensity.
inline TZBPalette RedToGreen(double min, double max) {
  TZBPalette p;
  p.SetColor(0, MakeColor(255, 0, 0));
  p.SetColor(1, MakeColor(0, 255, 0));
  p.SetIntensity(100);
  p.SetRange(min, max);
  return p;
}

// A section in the vertical plane East = 0 (the scene's z = 0): columns along North
// from -3 to 3, rows from elevation 2 (boundary 0) down to -2, on RedToGreen(10, 30).
inline std::unique_ptr<TGraphSection> FlatSection(const std::vector<std::vector<double>>& values) {
  auto s = std::make_unique<TGraphSection>();
  s->Borehole1 = "B-1";
  s->Borehole2 = "B 2";
  s->Frequency = 12500;
  s->RowCount = static_cast<int32_t>(values.size());
  s->ColCount = values.empty() ? 0 : static_cast<int32_t>(values[0].size());
  const size_t entries = values.size() + 1;
  s->X1.assign(entries, -3.0);
  s->X2.assign(entries, 3.0);
  s->Y1.assign(entries, 0.0);
  s->Y2.assign(entries, 0.0);
  s->StartZ = 2;
  s->EndZ = -2;
  s->Values = values;
  s->Palette = RedToGreen(10, 30);
  s->CalcBounds();
  return s;
}

}  // namespace qira::section_testing

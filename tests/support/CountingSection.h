#pragma once
// A section whose values count up, shared by the large-section tests and the
// export row of the bench.
#include <memory>
#include <vector>

#include "model/Section.h"

namespace qira::test {

// A rows x cols section in the plane East = 0 whose cell (i, j) holds 1 + i*cols + j,
// so the records of a table count up from 1 in row order.
inline std::unique_ptr<TGraphSection> CountingSection(int rows, int cols) {
  auto s = std::make_unique<TGraphSection>();
  s->Frequency = 12500;
  s->RowCount = rows;
  s->ColCount = cols;
  const size_t entries = static_cast<size_t>(rows) + 1;
  s->X1.assign(entries, 0.0);
  s->X2.assign(entries, static_cast<double>(cols));
  s->Y1.assign(entries, 0.0);
  s->Y2.assign(entries, 0.0);
  s->StartZ = 0;
  s->EndZ = -rows;
  s->Values.assign(static_cast<size_t>(rows), std::vector<double>(static_cast<size_t>(cols)));
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j) s->Values[i][j] = 1.0 + i * cols + j;
  s->CalcBounds();
  s->CalcDataRange();
  return s;
}

}  // namespace qira::test

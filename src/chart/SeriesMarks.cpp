#include "chart/SeriesMarks.h"

#include <algorithm>

#include "platform/Rounding.h"

namespace qira {

TRect TMargins::Pixels(int32_t w, int32_t h, int32_t f) const {
  switch (Units) {
    case maPercentFont:
      return {RoundToInt(Left * 0.02 * f), RoundToInt(Top * 0.02 * f), RoundToInt(Right * 0.02 * f),
              RoundToInt(Bottom * 0.02 * f)};
    case maPercentSize:
      return {RoundToInt(Left * 0.01 * w), RoundToInt(Top * 0.01 * h), RoundToInt(Right * 0.01 * w),
              RoundToInt(Bottom * 0.01 * h)};
    case maPixels:
      break;
  }
  return {Left, Top, Right, Bottom};
}

TMarksItem& TSeriesMarks::MarkItem(int32_t index) {
  if (static_cast<size_t>(index) >= fItems.size()) fItems.resize(static_cast<size_t>(index) + 1);
  auto& item = fItems[static_cast<size_t>(index)];
  if (!item) item = std::make_unique<TMarksItem>();
  return *item;
}

const TMarksItem* TSeriesMarks::ItemAt(int32_t index) const {
  if (index < 0 || static_cast<size_t>(index) >= fItems.size()) return nullptr;
  return fItems[static_cast<size_t>(index)].get();
}

const TSeriesMarkPosition* TSeriesMarks::PositionAt(int32_t index) const {
  if (index < 0 || static_cast<size_t>(index) >= fPositions.size()) return nullptr;
  return fPositions[static_cast<size_t>(index)].get();
}

TSeriesMarkPosition& TSeriesMarks::CustomPosition(int32_t index) {
  if (static_cast<size_t>(index) >= fPositions.size()) fPositions.resize(static_cast<size_t>(index) + 1);
  auto& p = fPositions[static_cast<size_t>(index)];
  if (!p) p = std::make_unique<TSeriesMarkPosition>();
  p->Custom = true;
  return *p;
}

void TSeriesMarks::StorePosition(int32_t index, TSeriesMarkPosition& position) {
  if (static_cast<size_t>(index) >= fPositions.size()) fPositions.resize(static_cast<size_t>(index) + 1);
  auto& stored = fPositions[static_cast<size_t>(index)];
  if (stored && stored->Custom) {
    const TPoint computedFrom = position.ArrowFrom;
    const bool keepFrom = position.ArrowFix && stored->ArrowFix;
    position = *stored;
    if (keepFrom) position.ArrowFrom = computedFrom;
  } else {
    if (!stored) stored = std::make_unique<TSeriesMarkPosition>();
    *stored = position;
  }
}

bool TSeriesMarks::HasCustomPositions() const {
  return std::any_of(fPositions.begin(), fPositions.end(), [](const auto& p) { return p && p->Custom; });
}

void TSeriesMarks::ApplyArrowLength(TSeriesMarkPosition& position, int32_t length, int32_t distance) {
  const int32_t d = length + distance;
  position.LeftTop.Y -= d;
  position.ArrowTo.Y -= d;
  position.ArrowFrom.Y -= distance;
}

int32_t TSeriesMarks::Clicked(int32_t x, int32_t y) const {
  for (int32_t i = static_cast<int32_t>(fPositions.size()) - 1; i >= 0; --i) {
    const TSeriesMarkPosition* p = fPositions[static_cast<size_t>(i)].get();
    if (!p || !DrawsMark(i)) continue;
    const TRect r = p->Bounds();
    if (x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom) return i;
  }
  return -1;
}

void TSeriesMarks::DeletePoint(int32_t index, int32_t quantity) {
  auto drop = [&](auto& list) {
    if (index < 0 || static_cast<size_t>(index) >= list.size()) return;
    const size_t end = std::min(list.size(), static_cast<size_t>(index) + static_cast<size_t>(quantity));
    list.erase(list.begin() + index, list.begin() + static_cast<std::ptrdiff_t>(end));
  };
  drop(fItems);
  drop(fPositions);
}

void TSeriesMarks::Clear() {
  fPositions.clear();
  fItems.clear();
}

}  // namespace qira

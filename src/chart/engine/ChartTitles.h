#pragma once
// Positioned shapes and the chart's titles: a title (or foot title) writes its lines
// above (below) the plotting area and, at its default place, takes its room from the
// chart rectangle.
#include <cstdint>
#include <string>
#include <vector>

#include "chart/draw/ChartShapes.h"

namespace qira {

// A shape that can stand at a fixed place instead of its automatic one.
class TChartCustomShapePosition : public TChartCustomShape {
 public:
  using TChartCustomShape::TChartCustomShape;

  bool CustomPosition() const { return customPosition_; }
  void SetCustomPosition(bool value) { Change(customPosition_, value); }
  // Left and top of ShapeBounds; setting either fixes the position.
  int32_t Left() const { return ShapeBounds.Left; }
  void SetLeft(int32_t value);
  int32_t Top() const { return ShapeBounds.Top; }
  void SetTop(int32_t value);
  // Left and Top are streamed only with a custom position.
  bool PositionStored() const { return customPosition_; }
  // CustomPosition (and Left, Top with it), then the shape.
  void AssignPosition(const TChartCustomShapePosition& source);

  // The shape's published properties, then CustomPosition when set and Left, Top
  // with it. The reader takes them only when every value is good.
  void WriteProperties(TStreamedProperties& block) const;
  void ReadProperties(const TStreamedProperties& block);

 private:
  bool customPosition_ = false;
};

class TChartTitle : public TChartCustomShapePosition {
 public:
  explicit TChartTitle(TCustomChartPanel* chart);

  bool AdjustFrame = true;
  TChartAlignment Alignment = taCenter;
  std::vector<std::string> Text;
  int32_t VertMargin = 5;
  bool OnTop() const { return onTop_; }

  // AdjustFrame, Alignment, Text, VertMargin, then the position and shape.
  void Assign(const TChartTitle& source);
  // AdjustFrame, Alignment, Text and VertMargin where they differ from their
  // defaults, then the position and shape. A bad value raises EChartStreamError and
  // the title stays as it was.
  void WriteProperties(TStreamedProperties& block) const;
  void ReadProperties(const TStreamedProperties& block);
  // Visible and the point inside ShapeBounds.
  bool Clicked(int32_t x, int32_t y) const;
  // Draws the title on the chart's canvas inside its chart rectangle; at the default
  // place the chart rectangle gives up the title's room. Nothing when hidden or empty.
  void DrawTitle();

 protected:
  bool onTop_ = true;
};

// A title below the plotting area: red italic, lines stacked upwards.
class TChartFootTitle : public TChartTitle {
 public:
  explicit TChartFootTitle(TCustomChartPanel* chart);
};

}  // namespace qira

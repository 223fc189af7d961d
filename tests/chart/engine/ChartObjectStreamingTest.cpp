// Every streamed chart class: each published property set away from its default is
// written, read into a fresh object and written back the same; a stream cut at any
// byte, or any one property of the wrong type, is refused and leaves the object as
// it was. One check serves every class through a table of its properties.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "chart/engine/Chart.h"
#include "chart/engine/ChartObjectStreaming.h"
#include "chart/engine/ChartPalettes.h"
#include "chart/engine/SeriesData.h"
#include "support/FakeServices.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

// [SECTION] The check shared by every class

// A property of the block, or a part of it ("Grid" for "Grid.Color").
bool HasProperty(const TStreamedProperties& block, const std::string& name) {
  if (FindProperty(block, name) != nullptr) return true;
  for (const TStreamedProperty& p : block)
    if (p.Name.rfind(name + ".", 0) == 0) return true;
  return false;
}

// The same value under another type, which no reader takes for it.
void GiveWrongType(TStreamedProperty& p) {
  if (p.Type == TPropertyType::String) {
    p.Type = TPropertyType::Integer;
    p.Integer = 1;
  } else {
    p.Type = TPropertyType::String;
    p.Text = "?";
  }
}

template <class H>
struct TPropertyRow {
  std::vector<std::string> Names;  // what the change makes the writer write
  std::function<void(H&)> Change;
};

template <class H>
std::string Written(const H& h) {
  TStreamedProperties block;
  h.Write(block);
  return PropertiesToBytes(block);
}

template <class H>
void ExpectStreamsEveryProperty(const std::vector<TPropertyRow<H>>& rows) {
  EnsureTestApplication();
  TFakeServices services;
  H changed;
  for (const auto& row : rows) row.Change(changed);
  TStreamedProperties block;
  changed.Write(block);

  const H defaults;
  TStreamedProperties defaultBlock;
  defaults.Write(defaultBlock);
  for (const auto& row : rows)
    for (const std::string& name : row.Names) {
      EXPECT_TRUE(HasProperty(block, name)) << name << " is not written";
      EXPECT_FALSE(HasProperty(defaultBlock, name)) << name << " is written at its default";
    }

  // Read into a fresh object, it writes the same properties back.
  H copy;
  copy.Read(block);
  EXPECT_EQ(Written(copy), PropertiesToBytes(block));
  // A block without any property leaves the defaults.
  H empty;
  empty.Read({});
  EXPECT_EQ(Written(empty), PropertiesToBytes(defaultBlock));

  // A stream cut short anywhere is refused before the object changes.
  const std::string bytes = PropertiesToBytes(block);
  H target;
  const std::string before = Written(target);
  for (size_t cut = 0; cut < bytes.size(); ++cut)
    EXPECT_THROW(target.Read(PropertiesFromBytes(std::string_view(bytes).substr(0, cut))), EChartStreamError)
        << "cut at " << cut;
  // One bad value anywhere refuses the whole block.
  for (size_t i = 0; i < block.size(); ++i) {
    TStreamedProperties damaged = block;
    GiveWrongType(damaged[i]);
    EXPECT_ANY_THROW(target.Read(damaged)) << block[i].Name << " of the wrong type was taken";
    EXPECT_EQ(Written(target), before) << block[i].Name << " of the wrong type changed the object";
  }
}

// [SECTION] Harnesses: one object of each class, written and read the house way

struct AxisHarness {
  std::unique_ptr<TChart> chart = std::make_unique<TChart>();
  TChartAxis& Axis() const { return chart->LeftAxis(); }
  void Write(TStreamedProperties& b) const { WriteAxisProperties(Axis(), b); }
  void Read(const TStreamedProperties& b) { ReadAxisProperties(Axis(), b); }
};

struct DepthAxisHarness : AxisHarness {
  void Write(TStreamedProperties& b) const { WriteAxisProperties(chart->DepthAxis(), b); }
  void Read(const TStreamedProperties& b) { ReadAxisProperties(chart->DepthAxis(), b); }
};

struct ValueListHarness {
  std::unique_ptr<TChartSeries> series = std::make_unique<TChartSeries>();
  TChartValueList& List() const { return series->YValues(); }
  void Write(TStreamedProperties& b) const { List().WriteProperties(b); }
  void Read(const TStreamedProperties& b) { List().ReadProperties(b); }
};

struct MarksHarness {
  std::unique_ptr<TChartSeries> series = std::make_unique<TChartSeries>();
  TSeriesMarks* marks = &series->Marks();
  void Write(TStreamedProperties& b) const { WriteMarksProperties(*marks, b); }
  void Read(const TStreamedProperties& b) { ReadMarksProperties(*marks, b); }
};

struct PointerHarness {
  std::unique_ptr<TSeriesPointer> pointer = std::make_unique<TSeriesPointer>();
  void Write(TStreamedProperties& b) const { WritePointerProperties(*pointer, b); }
  void Read(const TStreamedProperties& b) { ReadPointerProperties(*pointer, b); }
};

struct LineSeriesHarness {
  std::unique_ptr<TLineSeries> series = std::make_unique<TLineSeries>();
  void Write(TStreamedProperties& b) const { WriteSeriesProperties(*series, b); }
  void Read(const TStreamedProperties& b) { ReadSeriesProperties(*series, b); }
};

template <class T>
struct ShapeHarness {
  std::unique_ptr<T> shape = std::make_unique<T>(nullptr);
  void Write(TStreamedProperties& b) const { shape->WriteProperties(b); }
  void Read(const TStreamedProperties& b) { shape->ReadProperties(b); }
};

struct ChartHarness {
  std::unique_ptr<TChart> chart = std::make_unique<TChart>();
  void Write(TStreamedProperties& b) const { chart->WriteProperties(b); }
  void Read(const TStreamedProperties& b) { chart->ReadProperties(b); }
};

// [SECTION] The tables

TEST(ChartObjectStreaming, AnAxisStreamsEveryPublishedProperty) {
  using H = AxisHarness;
  ExpectStreamsEveryProperty<H>({
      {{"Automatic", "AutomaticMaximum", "AutomaticMinimum", "Maximum", "Minimum"},
       [](H& h) { h.Axis().SetMinMax(5, 50); }},
      {{"Axis.Color", "Axis.LineMode"},
       [](H& h) {
         h.Axis().AxisPen.SetColor(clRed);
         h.Axis().AxisPen.SetLineMode(lmCylinder);
       }},
      {{"AxisValuesFormat"}, [](H& h) { h.Axis().SetAxisValuesFormat("0.00"); }},
      {{"DateTimeFormat"}, [](H& h) { h.Axis().SetDateTimeFormat("yyyy"); }},
      {{"ExactDateTime"}, [](H& h) { h.Axis().SetExactDateTime(false); }},
      {{"Grid.Color", "Grid.DrawEvery", "Grid.ZPosition", "GridCentered"},
       [](H& h) {
         h.Axis().Grid.SetColor(clBlue);
         h.Axis().Grid.SetDrawEvery(3);
         h.Axis().Grid.SetZPosition(50);
         h.Axis().Grid.SetCentered(true);
       }},
      {{"Increment"}, [](H& h) { h.Axis().SetIncrement(2.5); }},
      {{"Inverted"}, [](H& h) { h.Axis().SetInverted(true); }},
      {{"Labels"}, [](H& h) { h.Axis().SetLabels(false); }},
      {{"LabelsAlign"}, [](H& h) { h.Axis().LabelsAlign = alOpposite; }},
      {{"LabelsAlternate"}, [](H& h) { h.Axis().SetLabelsAlternate(true); }},
      {{"LabelsAngle"}, [](H& h) { h.Axis().SetLabelsAngle(90); }},
      {{"LabelsExponent"}, [](H& h) { h.Axis().SetLabelsExponent(true); }},
      {{"LabelsFont.Color"}, [](H& h) { h.Axis().LabelsFont.SetColor(clRed); }},
      {{"Items"},
       [](H& h) {
         h.Axis().Items.Add(2.5, "shallow").SetColor(clRed);
         TAxisItem& deep = h.Axis().Items.Add(-40);
         deep.Font().SetColor(clBlue);
         deep.SetTransparent(false);
         deep.Pen().SetWidth(2);
       }},
      {{"LabelsMultiLine"}, [](H& h) { h.Axis().SetLabelsMultiLine(true); }},
      {{"LabelsOnAxis"}, [](H& h) { h.Axis().LabelsOnAxis = false; }},
      {{"LabelsSeparation"}, [](H& h) { h.Axis().SetLabelsSeparation(20); }},
      {{"LabelsSize"}, [](H& h) { h.Axis().LabelsSize = 30; }},
      {{"LabelStyle"}, [](H& h) { h.Axis().SetLabelStyle(talValue); }},
      {{"Logarithmic"}, [](H& h) { h.Axis().SetLogarithmic(true); }},
      {{"LogarithmicBase"}, [](H& h) { h.Axis().SetLogarithmicBase(2); }},
      {{"MaximumOffset"}, [](H& h) { h.Axis().MaximumOffset = 3; }},
      {{"MaximumRound"}, [](H& h) { h.Axis().SetMaximumRound(true); }},
      {{"MinimumOffset"}, [](H& h) { h.Axis().MinimumOffset = 4; }},
      {{"MinimumRound"}, [](H& h) { h.Axis().SetMinimumRound(true); }},
      {{"MinorGrid.Visible"}, [](H& h) { h.Axis().MinorGrid.SetVisible(true); }},
      {{"MinorTickCount"}, [](H& h) { h.Axis().SetMinorTickCount(5); }},
      {{"MinorTickLength"}, [](H& h) { h.Axis().MinorTickLength = 6; }},
      {{"MinorTicks.Color"}, [](H& h) { h.Axis().MinorTicks.SetColor(clRed); }},
      {{"StartPosition"}, [](H& h) { h.Axis().SetStartPosition(10); }},
      {{"EndPosition"}, [](H& h) { h.Axis().SetEndPosition(90); }},
      {{"PositionPercent"}, [](H& h) { h.Axis().PositionPercent = 12.5; }},
      {{"PositionUnits"}, [](H& h) { h.Axis().PositionUnits = muPixels; }},
      {{"RoundFirstLabel"}, [](H& h) { h.Axis().SetRoundFirstLabel(false); }},
      {{"TickInnerLength"}, [](H& h) { h.Axis().TickInnerLength = 2; }},
      {{"TickLength"}, [](H& h) { h.Axis().TickLength = 7; }},
      {{"Ticks.Color"}, [](H& h) { h.Axis().Ticks.SetColor(clRed); }},
      {{"TicksInner.Color"}, [](H& h) { h.Axis().TicksInner.SetColor(clBlue); }},
      {{"TickOnLabelsOnly"}, [](H& h) { h.Axis().TickOnLabelsOnly = false; }},
      {{"Title.Angle", "Title.Caption", "Title.Color"},
       [](H& h) {
         h.Axis().Title.SetAngle(45);
         h.Axis().Title.Caption = "Depth";
         h.Axis().Title.SetColor(clRed);
       }},
      {{"TitleSize"}, [](H& h) { h.Axis().TitleSize = 20; }},
      {{"Visible"}, [](H& h) { h.Axis().SetVisible(false); }},
      {{"ZPosition"}, [](H& h) { h.Axis().SetZPosition(50); }},
  });
}

TEST(ChartObjectStreaming, ADepthAxisStreamsItsVisibilityAgainstItsOwnDefault) {
  using H = DepthAxisHarness;
  ExpectStreamsEveryProperty<H>({
      {{"Visible"}, [](H& h) { h.chart->DepthAxis().SetVisible(true); }},
      {{"Inverted"}, [](H& h) { h.chart->DepthAxis().SetInverted(true); }},
  });
}

TEST(ChartObjectStreaming, AValueListStreamsEveryPublishedProperty) {
  using H = ValueListHarness;
  ExpectStreamsEveryProperty<H>({
      {{"DateTime"}, [](H& h) { h.List().SetDateTime(true); }},
      {{"ValueSource"}, [](H& h) { h.List().SetValueSource("Other"); }},
      {{}, [](H& h) {
         h.List().SetOrder(loDescending);
         h.List().SetName("Z");
       }},
  });
}

TEST(ChartObjectStreaming, MarksStreamEveryPublishedPropertyAndTheirItems) {
  using H = MarksHarness;
  ExpectStreamsEveryProperty<H>({
      {{"Angle"}, [](H& h) { h.marks->Angle = 30; }},
      {{"Clip"}, [](H& h) { h.marks->SetClip(true); }},
      {{"DrawEvery"}, [](H& h) { h.marks->SetDrawEvery(2); }},
      {{"Margins.Left", "Margins.Top", "Margins.Right", "Margins.Bottom", "Margins.Units"},
       [](H& h) {
         TMargins& m = h.marks->Margins;
         m.SetLeft(1);
         m.SetTop(2);
         m.SetRight(3);
         m.SetBottom(4);
         m.SetUnits(maPixels);
       }},
      {{"MultiLine"}, [](H& h) { h.marks->MultiLine = true; }},
      {{"Style"}, [](H& h) { h.marks->Style = smsValue; }},
      {{"Visible"}, [](H& h) { h.marks->SetVisible(true); }},
      {{"Items"},
       [](H& h) {
         h.marks->MarkItem(2).Text = {"first", "second"};
         TMarksItem& own = h.marks->MarkItem(4);
         own.SetColor(clRed);
         own.Font().SetSize(14);
         own.Shadow().SetSize(6);
         own.SetShapeStyle(fosEllipse);
         own.SetTransparency(30);
       }},
      {{"Arrow.Color", "ArrowLength"},
       [](H& h) {
         h.marks->Arrow().SetColor(clRed);
         h.marks->SetArrowLength(12);
       }},
      {{"Callout.Visible", "Callout.ArrowHead", "Callout.ArrowHeadSize", "Callout.Distance", "Callout.Draw3D",
        "Callout.Style"},
       [](H& h) {
         TMarksCallout& c = h.marks->Callout();
         c.SetVisible(true);
         c.ArrowHead = ahSolid;
         c.ArrowHeadSize = 5;
         c.Distance = 3;
         c.Draw3D = true;
         c.Style = psCircle;
       }},
      {{"Symbol.Visible", "Symbol.ShapeStyle"},
       [](H& h) {
         h.marks->Symbol().SetVisible(true);
         h.marks->Symbol().SetShapeStyle(fosEllipse);
       }},
      {{"TextAlign"}, [](H& h) { h.marks->TextAlign = taRightJustify; }},
      {{"Color"}, [](H& h) { h.marks->SetColor(TColor{0x00FFFF}); }},
      {{"Bevel", "BevelWidth"},
       [](H& h) {
         h.marks->SetBevel(bvRaised);
         h.marks->SetBevelWidth(4);
       }},
      {{"Font.Color", "Font.Height"},
       [](H& h) {
         h.marks->Font().SetColor(clRed);
         h.marks->Font().SetSize(20);
       }},
      {{"Pen.Color"}, [](H& h) { h.marks->Pen().SetColor(clBlue); }},
      {{"Brush.Style"}, [](H& h) { h.marks->Brush().SetStyle(bsCross); }},
      {{"Gradient.Visible"}, [](H& h) { h.marks->Gradient().SetVisible(true); }},
      {{"Shadow.Color", "Shadow.HorizSize"},
       [](H& h) {
         h.marks->Shadow().SetColor(clRed);
         h.marks->Shadow().SetHorizSize(7);
       }},
      {{"RoundSize", "ShapeStyle"},
       [](H& h) {
         h.marks->SetRoundSize(4);
         h.marks->SetShapeStyle(fosRoundRectangle);
       }},
      {{"Transparent", "Transparency"},
       [](H& h) {
         h.marks->SetTransparent(true);
         h.marks->SetTransparency(50);
       }},
  });
}

TEST(ChartObjectStreaming, APointerStreamsEveryPublishedProperty) {
  using H = PointerHarness;
  ExpectStreamsEveryProperty<H>({
      {{"Brush.Color"}, [](H& h) { h.pointer->Brush().SetColor(clRed); }},
      {{"Dark3D"}, [](H& h) { h.pointer->Dark3D = false; }},
      {{"Draw3D"}, [](H& h) { h.pointer->Draw3D = false; }},
      {{"Gradient.Visible"}, [](H& h) { h.pointer->Gradient().SetVisible(true); }},
      {{"HorizSize"}, [](H& h) { h.pointer->SetHorizSize(6); }},
      {{"InflateMargins"}, [](H& h) { h.pointer->InflateMargins = false; }},
      {{"Pen.Color"}, [](H& h) { h.pointer->Pen().SetColor(clBlue); }},
      {{"Shadow.Color"}, [](H& h) { h.pointer->Shadow().SetColor(clRed); }},
      {{"Style"}, [](H& h) { h.pointer->Style = psHexagon; }},
      {{"Transparency"}, [](H& h) { h.pointer->Transparency = 40; }},
      {{"VertSize"}, [](H& h) { h.pointer->SetVertSize(7); }},
  });
}

TEST(ChartObjectStreaming, ALineSeriesStreamsEveryPublishedPropertyAndItsPoints) {
  using H = LineSeriesHarness;
  ExpectStreamsEveryProperty<H>({
      {{"Active"}, [](H& h) { h.series->SetActive(false); }},
      {{"ColorEachPoint"}, [](H& h) { h.series->SetColorEachPoint(true); }},
      {{"Cursor"}, [](H& h) { h.series->Cursor = -21; }},
      {{"ColorSource", "XLabelsSource"},
       [](H& h) {
         h.series->SetColorSource("Colours");
         h.series->SetXLabelsSource("Names");
       }},
      {{"Data"},
       [](H& h) {
         h.series->AddXY(1, 10, "one", clRed);
         h.series->AddXY(3, 30);
         h.series->StoredData = true;
       }},
      {{"Depth"}, [](H& h) { h.series->Depth = 5; }},
      {{"HorizAxis"}, [](H& h) { h.series->SetHorizAxis(aTopAxis); }},
      {{"Identifier"}, [](H& h) { h.series->Identifier = "id"; }},
      {{"Marks.Visible"}, [](H& h) { h.series->Marks().SetVisible(true); }},
      {{"Marks.Items"}, [](H& h) { h.series->Marks().MarkItem(1).Text = {"second point"}; }},
      {{"Name"}, [](H& h) { h.series->Name = "Series1"; }},
      {{"PercentFormat"}, [](H& h) { h.series->PercentFormat = "0 %"; }},
      {{"SeriesColor"}, [](H& h) { h.series->SetSeriesColor(clRed); }},
      {{"ShowInEditor"}, [](H& h) { h.series->ShowInEditor = false; }},
      {{"ShowInLegend"}, [](H& h) { h.series->ShowInLegend = false; }},
      {{"Style"}, [](H& h) { h.series->StyleFlags = 5; }},
      {{"Title"}, [](H& h) { h.series->SetTitle("Wells"); }},
      {{"ValueFormat"}, [](H& h) { h.series->SetValueFormat("0.0"); }},
      {{"VertAxis"}, [](H& h) { h.series->SetVertAxis(aRightAxis); }},
      {{"XValues.DateTime"}, [](H& h) { h.series->XValues().SetDateTime(true); }},
      {{"ClickableLine"}, [](H& h) { h.series->ClickableLine = false; }},
      {{"ColorEachLine"}, [](H& h) { h.series->ColorEachLine = false; }},
      {{"Dark3D"}, [](H& h) { h.series->Dark3D = false; }},
      {{"Gradient.Visible"}, [](H& h) { h.series->Gradient.SetVisible(true); }},
      {{"InvertedStairs"}, [](H& h) { h.series->InvertedStairs = true; }},
      {{"LineBrush"}, [](H& h) { h.series->SetLineBrush(bsClear); }},
      {{"LineHeight"}, [](H& h) { h.series->LineHeight = 5; }},
      {{"LinePen.Color"}, [](H& h) { h.series->LinePen().SetColor(clBlue); }},
      {{"OutLine.Visible"}, [](H& h) { h.series->OutLine.SetVisible(true); }},
      {{"Pointer.Style"}, [](H& h) { h.series->Pointer.Style = psCircle; }},
      {{"Shadow.Color"}, [](H& h) { h.series->Shadow.SetColor(clRed); }},
      {{"Stacked"}, [](H& h) { h.series->SetStacked(cssStack); }},
      {{"Stairs"}, [](H& h) { h.series->Stairs = true; }},
      {{"Transparency"}, [](H& h) { h.series->Transparency = 40; }},
      {{"TreatNulls"}, [](H& h) { h.series->TreatNulls = tnSkip; }},
  });
}

template <class T>
std::vector<TPropertyRow<ShapeHarness<T>>> TitleRows() {
  using H = ShapeHarness<T>;
  return {
      {{"AdjustFrame"}, [](H& h) { h.shape->AdjustFrame = false; }},
      {{"Alignment"}, [](H& h) { h.shape->Alignment = taLeftJustify; }},
      {{"Text"}, [](H& h) { h.shape->Text = {"Plan", "of the wells"}; }},
      {{"VertMargin"}, [](H& h) { h.shape->VertMargin = 9; }},
      {{"CustomPosition", "Left", "Top"},
       [](H& h) {
         h.shape->SetLeft(10);
         h.shape->SetTop(20);
       }},
      {{"Transparent", "Color"},
       [](H& h) {
         h.shape->SetTransparent(false);
         h.shape->SetColor(TColor{0x00FFFF});
       }},
      {{"Font.Color"}, [](H& h) { h.shape->Font().SetColor(TColor{0x008000}); }},
  };
}

TEST(ChartObjectStreaming, ATitleStreamsEveryPublishedProperty) { ExpectStreamsEveryProperty(TitleRows<TChartTitle>()); }

TEST(ChartObjectStreaming, AFootTitleStreamsEveryPublishedPropertyAgainstItsRedItalicDefault) {
  ExpectStreamsEveryProperty(TitleRows<TChartFootTitle>());
}

TEST(ChartObjectStreaming, TheLegendStreamsEveryPublishedProperty) {
  using H = ShapeHarness<TChartLegend>;
  ExpectStreamsEveryProperty<H>({
      {{"Alignment"}, [](H& h) { h.shape->Alignment = laBottom; }},
      {{"CheckBoxes"}, [](H& h) { h.shape->CheckBoxes = true; }},
      {{"CheckBoxesStyle"}, [](H& h) { h.shape->SetCheckBoxesStyle(cbsRadio); }},
      {{"CurrentPage"}, [](H& h) { h.shape->CurrentPage = false; }},
      {{"DividingLines.Visible"}, [](H& h) { h.shape->DividingLines.SetVisible(true); }},
      {{"FirstValue"}, [](H& h) { h.shape->SetFirstValue(2); }},
      {{"FontSeriesColor"}, [](H& h) { h.shape->FontSeriesColor = true; }},
      {{"HorizMargin"}, [](H& h) { h.shape->HorizMargin = 5; }},
      {{"Inverted"}, [](H& h) { h.shape->Inverted = true; }},
      {{"LeftPercent"}, [](H& h) { h.shape->LeftPercent = 30; }},
      {{"LegendStyle"}, [](H& h) { h.shape->LegendStyle = lsValues; }},
      {{"MaxNumRows"}, [](H& h) { h.shape->MaxNumRows = 4; }},
      {{"PositionUnits"}, [](H& h) { h.shape->PositionUnits = muPercent; }},
      {{"ResizeChart"}, [](H& h) { h.shape->ResizeChart = false; }},
      {{"Symbol.Continuous", "Symbol.DefaultPen", "Symbol.Position", "Symbol.Squared", "Symbol.Visible",
        "Symbol.Width", "Symbol.WidthUnits", "Symbol.Pen.Color"},
       [](H& h) {
         TLegendSymbol& s = h.shape->Symbol;
         s.Continuous = true;
         s.DefaultPen = false;
         s.Position = spRight;
         s.Squared = true;
         s.Visible = false;
         s.Width = 30;
         s.WidthUnits = lcsPixels;
         s.Pen.SetColor(clRed);
       }},
      {{"TextStyle"}, [](H& h) { h.shape->TextStyle = ltsPercent; }},
      {{"Title.Text", "Title.TextAlignment", "Title.Visible"},
       [](H& h) {
         h.shape->Title.Text = {"Wells"};
         h.shape->Title.TextAlignment = taCenter;
         h.shape->Title.SetVisible(false);
       }},
      {{"TopPos"}, [](H& h) { h.shape->TopPos = 20; }},
      {{"TopPercent"}, [](H& h) { h.shape->TopPercent = 40; }},
      {{"VertMargin"}, [](H& h) { h.shape->VertMargin = 6; }},
      {{"VertSpacing"}, [](H& h) { h.shape->VertSpacing = 2; }},
      {{"CustomPosition", "Left", "Top"}, [](H& h) { h.shape->SetLeft(15); }},
      {{"Color"}, [](H& h) { h.shape->SetColor(TColor{0x00FFFF}); }},
  });
}

TEST(ChartObjectStreaming, TheChartStreamsItsOwnPropertiesAxesTitlesWallsAndLegend) {
  using H = ChartHarness;
  ExpectStreamsEveryProperty<H>({
      {{"AxisBehind"}, [](H& h) { h.chart->SetAxisBehind(false); }},
      {{"AxisVisible"}, [](H& h) { h.chart->SetAxisVisible(false); }},
      {{"Chart3DPercent"}, [](H& h) { h.chart->SetChart3DPercent(30); }},
      {{"ClipPoints"}, [](H& h) { h.chart->SetClipPoints(false); }},
      {{"View3DWalls"}, [](H& h) { h.chart->SetView3DWalls(false); }},
      {{"BottomAxis.Visible"}, [](H& h) { h.chart->BottomAxis().SetVisible(false); }},
      {{"TopAxis.Inverted"}, [](H& h) { h.chart->TopAxis().SetInverted(true); }},
      {{"RightAxis.TickLength"}, [](H& h) { h.chart->RightAxis().TickLength = 9; }},
      {{"DepthTopAxis.Visible"}, [](H& h) { h.chart->DepthTopAxis().SetVisible(true); }},
      {{"CustomAxes"}, [](H& h) { h.chart->AddCustomAxis(false, true).SetZPosition(40); }},
      {{"Pages.AutoScale", "Pages.MaxPointsPerPage", "Pages.ScaleLastPage"},
       [](H& h) {
         h.chart->Pages().SetAutoScale(true);
         h.chart->Pages().SetMaxPointsPerPage(10);
         h.chart->Pages().SetScaleLastPage(false);
       }},
      {{"SeriesGroups"},
       [](H& h) {
         h.chart->SeriesGroups().Add().Name = "Wells";
         h.chart->SeriesGroups().Add();
       }},
      {{"ColorPaletteIndex"}, [](H& h) { SetColorPalette(*h.chart, 3); }},
      {{"Title.Text"}, [](H& h) { h.chart->Title.Text = {"Plan"}; }},
      {{"SubTitle.Alignment"}, [](H& h) { h.chart->SubTitle.Alignment = taRightJustify; }},
      {{"Foot.Text"}, [](H& h) { h.chart->Foot.Text = {"Foot"}; }},
      {{"SubFoot.VertMargin"}, [](H& h) { h.chart->SubFoot.VertMargin = 8; }},
      {{"Legend.Alignment"}, [](H& h) { h.chart->Legend.Alignment = laLeft; }},
      {{"BackWall.Color"}, [](H& h) { h.chart->BackWall().SetColor(TColor{0x00FFFF}); }},
      {{"LeftWall.Size"}, [](H& h) { h.chart->LeftWall().SetSize(4); }},
      {{"BottomWall.Dark3D"}, [](H& h) { h.chart->BottomWall().SetDark3D(false); }},
      {{"RightWall.Visible"}, [](H& h) { h.chart->RightWall().SetVisible(true); }},
      {{"ScrollMouseButton"}, [](H& h) { h.chart->ScrollMouseButton = mbLeft; }},
      {{"View3D"}, [](H& h) { h.chart->SetView3D(false); }},
  });
}

// [SECTION] Rules of single properties

TEST(ChartObjectStreaming, TheObsoleteMultiplierShowsItsMessageOnlyForValuesOtherThanOne) {
  struct Case {
    double Multiplier;
    size_t Messages;
  };
  for (const Case c : {Case{1.0, 0}, Case{2.5, 1}, Case{0.0, 1}}) {
    SCOPED_TRACE(c.Multiplier);
    TFakeServices services;
    TChartSeries series;
    TStreamedProperties block;
    AddDouble(block, "Multiplier", c.Multiplier);
    series.YValues().ReadProperties(block);
    ASSERT_EQ(services.Messages.size(), c.Messages);
    if (c.Messages > 0) {
      EXPECT_EQ(services.Messages[0].Text,
                "Error: Multiplier property is obsolete.\rModify ChartDefs (enable Multiplier) and recompile.");
    }
    TStreamedProperties written;
    series.YValues().WriteProperties(written);
    EXPECT_EQ(FindProperty(written, "Multiplier"), nullptr);
  }
}

TEST(ChartObjectStreaming, AListWhoseDefaultIsDateTimeStreamsOnlyAChangeFromIt) {
  TChartSeries series;
  series.XValues().DefaultDateTime = true;
  series.XValues().SetDateTime(true);
  TStreamedProperties block;
  series.XValues().WriteProperties(block);
  EXPECT_EQ(FindProperty(block, "DateTime"), nullptr);
  series.XValues().SetDateTime(false);
  block.clear();
  series.XValues().WriteProperties(block);
  ASSERT_NE(FindProperty(block, "DateTime"), nullptr);
  EXPECT_EQ(FindProperty(block, "DateTime")->Type, TPropertyType::False);
}

TEST(ChartObjectStreaming, AutomaticReadFromAStreamLeavesTheOtherTwoFlagsAsStreamed) {
  EnsureTestApplication();
  TChart chart;
  TStreamedProperties block;
  AddBoolean(block, "Automatic", false);
  ReadAxisProperties(chart.LeftAxis(), block);
  EXPECT_FALSE(chart.LeftAxis().Automatic());
  EXPECT_TRUE(chart.LeftAxis().AutomaticMaximum());
  EXPECT_TRUE(chart.LeftAxis().AutomaticMinimum());
}

TEST(ChartObjectStreaming, AMinimumAboveTheMaximumIsTakenAsStreamedAndZeroZPositionReadsAsAHundredth) {
  EnsureTestApplication();
  TChart chart;
  TStreamedProperties block;
  AddBoolean(block, "Automatic", false);
  AddBoolean(block, "AutomaticMaximum", false);
  AddBoolean(block, "AutomaticMinimum", false);
  AddDouble(block, "Minimum", 50);  // before its maximum, as a stream holds them
  AddDouble(block, "Maximum", 80);
  AddDouble(block, "ZPosition", 0);
  ReadAxisProperties(chart.BottomAxis(), block);
  EXPECT_EQ(chart.BottomAxis().Minimum(), 50);
  EXPECT_EQ(chart.BottomAxis().Maximum(), 80);
  EXPECT_DOUBLE_EQ(chart.BottomAxis().ZPosition(), 0.01);
}

TEST(ChartObjectStreaming, NonFiniteAxisNumbersAreRefusedAndHugeRangeEndsKeptInsideTheLimit) {
  EnsureTestApplication();
  TChart chart;
  for (const char* name : {"Maximum", "Minimum", "Increment", "StartPosition", "EndPosition", "PositionPercent",
                           "ZPosition", "Grid.ZPosition", "LogarithmicBase"}) {
    for (const double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
      TStreamedProperties block;
      AddDouble(block, name, bad);
      EXPECT_THROW(ReadAxisProperties(chart.BottomAxis(), block), EChartStreamError) << name << " " << bad;
    }
  }
  TStreamedProperties block;
  AddBoolean(block, "Automatic", false);
  AddDouble(block, "Maximum", 1e308);
  AddDouble(block, "Minimum", -1e308);
  ReadAxisProperties(chart.BottomAxis(), block);
  EXPECT_EQ(chart.BottomAxis().Maximum(), AxisValueLimit);
  EXPECT_EQ(chart.BottomAxis().Minimum(), -AxisValueLimit);
}

TEST(ChartObjectStreaming, AnAxisValueItsSetterRefusesRaisesTheSettersMessageAndChangesNothing) {
  EnsureTestApplication();
  TChart chart;
  TStreamedProperties block;
  AddInteger(block, "TickLength", 9);
  AddDouble(block, "Increment", -1);
  try {
    ReadAxisProperties(chart.LeftAxis(), block);
    FAIL() << "a negative increment was taken";
  } catch (const AxisException& e) {
    EXPECT_STREQ(e.what(), "Axis increment must be >= 0");
  }
  EXPECT_EQ(chart.LeftAxis().TickLength, 4);
}

TEST(ChartObjectStreaming, TheOldPagingPropertiesAreReadIntoThePagesAndNeverWritten) {
  EnsureTestApplication();
  TChart chart;
  TStreamedProperties block;
  AddInteger(block, "MaxPointsPerPage", 7);
  AddBoolean(block, "ScaleLastPage", false);
  AddInteger(block, "Page", 1);
  chart.ReadProperties(block);
  EXPECT_EQ(chart.Pages().MaxPointsPerPage(), 7);
  EXPECT_FALSE(chart.Pages().ScaleLastPage());
  TStreamedProperties written;
  chart.WriteProperties(written);
  for (const char* old : {"MaxPointsPerPage", "ScaleLastPage", "Page"}) EXPECT_EQ(FindProperty(written, old), nullptr);
}

TEST(ChartObjectStreaming, TheOldBackColorBecomesTheBackWallColour) {
  EnsureTestApplication();
  for (const bool asIdent : {false, true}) {
    TChart chart;
    TStreamedProperties block;
    if (asIdent)
      AddIdent(block, "BackColor", "clAqua");
    else
      AddInteger(block, "BackColor", 0x00FFFF);
    chart.ReadProperties(block);
    EXPECT_EQ(chart.BackWall().Color(), asIdent ? TColor{0xFFFF00} : TColor{0x00FFFF});
  }
}

TEST(ChartObjectStreaming, TheLegendReadsTheOldColorWidthIntoTheSymbolWidth) {
  TChartLegend legend(nullptr);
  TStreamedProperties block;
  AddInteger(block, "ColorWidth", 35);
  legend.ReadProperties(block);
  EXPECT_EQ(legend.ColorWidth(), 35);
  TStreamedProperties bad;
  AddInteger(bad, "FirstValue", -1);
  EXPECT_THROW(legend.ReadProperties(bad), LegendException);
  EXPECT_EQ(legend.FirstValue(), 0);
}

TEST(ChartObjectStreaming, MarksItemsAreACountAndAPropertyListPerIndex) {
  TChartSeries series;
  TSeriesMarks& marks = series.Marks();
  marks.MarkItem(1).Text = {"b"};
  const std::string record = WriteMarksItems(marks);
  // count 2; index 0: list marker, end; index 1: list marker, "Text" as lines, end.
  const std::string expected = std::string("\x02\x00\x00\x00", 4) + "\x01" + std::string(1, '\0') + "\x01" +
                               "\x04Text" + "\x0F" + "\x06" + std::string("\x01\x00\x00\x00", 4) + "b" +
                               std::string(1, '\0') + std::string(1, '\0');
  EXPECT_EQ(record, expected);
  TChartSeries copySeries;
  TSeriesMarks& copy = copySeries.Marks();
  ReadMarksItems(copy, record);
  ASSERT_EQ(copy.ItemCount(), 2);
  ASSERT_NE(copy.ItemAt(0), nullptr);  // reading makes an item for every index
  EXPECT_TRUE(copy.ItemAt(0)->Text.empty());
  EXPECT_EQ(copy.ItemAt(1)->Text, std::vector<std::string>{"b"});
  EXPECT_THROW(ReadMarksItems(copy, std::string("\xFF\xFF\xFF\x7F", 4)), EChartStreamError);
  EXPECT_EQ(copy.ItemCount(), 2);
}

TEST(ChartObjectStreaming, AMarksItemKeepsItsOwnLookAndACutItemsRecordChangesNothing) {
  TChartSeries series;
  TMarksItem& own = series.Marks().MarkItem(1);
  own.Text = {"b"};
  own.SetColor(clRed);
  own.Font().SetColor(clBlue);
  own.SetShapeStyle(fosEllipse);
  const std::string record = WriteMarksItems(series.Marks());

  TChartSeries read;
  ReadMarksItems(read.Marks(), record);
  ASSERT_NE(read.Marks().ItemAt(1), nullptr);
  const TMarksItem& item = *read.Marks().ItemAt(1);
  EXPECT_EQ(item.Color(), clRed);
  EXPECT_EQ(const_cast<TMarksItem&>(item).Font().Color(), clBlue);
  EXPECT_EQ(item.ShapeStyle(), fosEllipse);
  EXPECT_EQ(item.Text, std::vector<std::string>{"b"});
  // An item written at its defaults reads back in the info colour with its grey shadow.
  EXPECT_EQ(read.Marks().ItemAt(0)->Color(), clInfoBk);

  TChartSeries target;
  target.Marks().MarkItem(0).Text = {"kept"};
  for (size_t cut = 0; cut < record.size(); ++cut) {
    EXPECT_THROW(ReadMarksItems(target.Marks(), std::string_view(record).substr(0, cut)), EChartStreamError)
        << "cut at " << cut;
    ASSERT_EQ(target.Marks().ItemCount(), 1) << "cut at " << cut;
    EXPECT_EQ(target.Marks().ItemAt(0)->Text, std::vector<std::string>{"kept"});
  }
}

TEST(ChartObjectStreaming, AnyStreamedCalloutLengthAndDistanceMoveAMarkWithinTheCoordinateRange) {
  TChartSeries series;
  TStreamedProperties block;
  AddInteger(block, "ArrowLength", INT32_MAX);
  AddInteger(block, "Callout.Distance", INT32_MAX);
  ReadMarksProperties(series.Marks(), block);
  TSeriesMarkPosition position;
  position.LeftTop = {10, -100};
  position.ArrowTo = {10, -100};
  series.Marks().ApplyArrowLength(position);
  EXPECT_EQ(position.LeftTop.Y, -kChartCoordLimit);
  EXPECT_EQ(position.ArrowTo.Y, -kChartCoordLimit);
  EXPECT_EQ(position.ArrowFrom.Y, -kChartCoordLimit);
}

TEST(ChartObjectStreaming, HandMadeAxisItemsReadBackWithValueTextAndLookAndTurnAutomaticOff) {
  EnsureTestApplication();
  TChart chart;
  chart.LeftAxis().Items.Add(12.5, "casing").Font().SetColor(clRed);
  chart.LeftAxis().Items.Add(-3);
  TStreamedProperties block;
  WriteAxisProperties(chart.LeftAxis(), block);
  TChart read;
  ReadAxisProperties(read.LeftAxis(), block);
  const TAxisItems& items = read.LeftAxis().Items;
  EXPECT_FALSE(items.Automatic());
  ASSERT_EQ(items.Count(), 2);
  EXPECT_EQ(items[0].Value(), 12.5);
  EXPECT_EQ(items[0].Text(), "casing");
  EXPECT_EQ(const_cast<TAxisItem&>(items[0]).Font().Color(), clRed);
  EXPECT_EQ(items[1].Value(), -3);
  EXPECT_TRUE(items[1].Text().empty());
  EXPECT_TRUE(items[1].Transparent());

  // Labels the axis computed itself are not written: the next draw makes them again.
  TChart automatic;
  automatic.LeftAxis().Items.Append(1, "1");
  TStreamedProperties computed;
  WriteAxisProperties(automatic.LeftAxis(), computed);
  EXPECT_EQ(FindProperty(computed, "Items"), nullptr);

  // An item without a value, or with a value no range can hold, is refused whole.
  for (const double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    TStreamedProperties item;
    AddDouble(item, "Value", bad);
    TStreamedProperties damaged;
    AddCollection(damaged, "Items", {item});
    EXPECT_THROW(ReadAxisProperties(read.LeftAxis(), damaged), EChartStreamError);
  }
  TStreamedProperties noValue;
  AddCollection(noValue, "Items", {TStreamedProperties{}});
  EXPECT_THROW(ReadAxisProperties(read.LeftAxis(), noValue), EChartStreamError);
  EXPECT_EQ(read.LeftAxis().Items.Count(), 2);
}

}  // namespace
}  // namespace qira

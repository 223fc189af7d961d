#include "chart/engine/ChartObjectStreaming.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "chart/draw/ChartMessages.h"
#include "chart/draw/ChartPicture.h"
#include "chart/engine/SeriesData.h"
#include "chart/engine/SeriesSource.h"
#include "platform/Services.h"

namespace qira {

namespace {

constexpr const char* kLabelAlignIdents[] = {"alDefault", "alOpposite"};
constexpr const char* kLabelStyleIdents[] = {"talAuto", "talNone", "talValue", "talMark", "talText"};
constexpr const char* kUnitIdents[] = {"muPercent", "muPixels"};
constexpr const char* kLineModeIdents[] = {"lmLine", "lmCylinder", "lmRectangle"};
constexpr const char* kMarksStyleIdents[] = {
    "smsValue",           "smsPercent", "smsLabel",       "smsLabelPercent", "smsLabelValue",
    "smsLegend",          "smsPercentTotal", "smsLabelPercentTotal", "smsXValue", "smsXY",
    "smsSeriesTitle",     "smsPointIndex",   "smsPercentRelative"};
constexpr const char* kMarginUnitIdents[] = {"maPercentFont", "maPercentSize", "maPixels"};
constexpr const char* kArrowHeadIdents[] = {"ahNone", "ahLine", "ahSolid"};
constexpr const char* kPointerStyleIdents[] = {
    "psRectangle", "psCircle",   "psTriangle",     "psDownTriangle",  "psCross",    "psDiagCross", "psStar",
    "psDiamond",   "psSmallDot", "psNothing",      "psLeftTriangle",  "psRightTriangle", "psHexagon"};
constexpr const char* kHorizAxisIdents[] = {"aTopAxis", "aBottomAxis", "aBothHorizAxis", "aCustomHorizAxis"};
constexpr const char* kVertAxisIdents[] = {"aLeftAxis", "aRightAxis", "aBothVertAxis", "aCustomVertAxis"};
constexpr const char* kTreatNullsIdents[] = {"tnDontPaint", "tnSkip", "tnIgnore"};
constexpr const char* kStackedIdents[] = {"cssNone", "cssOverlap", "cssStack", "cssStack100"};

// A chart for an axis read on its own: it has no series, draws nothing and is
// always loading, so setters store what the stream says without their order checks.
class TDetachedAxisPanel : public IAxisPanel {
 public:
  const TChartAxes& AxesList() const override { return fAxes; }
  void AxisCreated(TChartAxis& axis) override { fAxes.push_back(&axis); }
  void AxisDestroyed(TChartAxis& axis) override { std::erase(fAxes, &axis); }
  int32_t SeriesCount() const override { return 0; }
  IChartSeries& SeriesAt(int32_t) const override { std::abort(); }
  double MaxValueOfAxis(const TChartAxis&, bool, bool) const override { return 0; }
  TRect ChartRect() const override { return {}; }
  int32_t Depth3D() const override { return 0; }
  bool IsLoading() const override { return true; }
  void Invalidate() override {}
  int32_t MultiLineTextWidth(const std::string&, int32_t& lines) const override {
    lines = 0;
    return 0;
  }
  int32_t CanvasFontHeight() const override { return 0; }

 private:
  TChartAxes fAxes;
};

// A real number that positions or ranges are computed from: infinities and NaN
// would reach pixel conversions, so they are refused as damage.
double FiniteDouble(const TStreamedProperties& block, std::string_view name, double fallback) {
  const double value = PropertyDouble(block, name, fallback);
  if (!std::isfinite(value)) throw EChartStreamError("Invalid property value " + std::string(name));
  return value;
}

int32_t AxisIndex(const TChartAxis& axis) {
  const auto& list = axis.ParentChart().AxesList();
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i] == &axis) return static_cast<int32_t>(i);
  return -1;
}

// The block without what an object at its defaults writes too (parts such as
// pens write some values always): reading into a fresh object gives them back.
void DropDefaults(TStreamedProperties& block, const TStreamedProperties& defaults) {
  const auto same = [](const TStreamedProperty& a, const TStreamedProperty& b) {
    return a.Type == b.Type && a.Integer == b.Integer && a.Real == b.Real && a.Text == b.Text && a.Lines == b.Lines &&
           a.Items.empty() && b.Items.empty();
  };
  std::erase_if(block, [&](const TStreamedProperty& p) {
    const TStreamedProperty* d = FindProperty(defaults, p.Name);
    return d != nullptr && same(p, *d);
  });
}

// What a shape at its defaults writes: taken once for a list of shapes of a kind.
TStreamedProperties LookDefaults(const TChartCustomShape& fresh) {
  TStreamedProperties defaults;
  fresh.WriteProperties(defaults);
  return defaults;
}

// A shape's own look (its published properties) less what a fresh one writes.
void AddLook(TStreamedProperties& block, const TChartCustomShape& shape, const TStreamedProperties& defaults) {
  TStreamedProperties look;
  shape.WriteProperties(look);
  DropDefaults(look, defaults);
  block.insert(block.end(), look.begin(), look.end());
}

// One block per custom label: its value, its text and its own frame and font.
std::vector<TStreamedProperties> AxisItemBlocks(const TAxisItems& items) {
  std::vector<TStreamedProperties> blocks;
  const TStreamedProperties defaults = LookDefaults(TAxisItem(nullptr, 0, {}));
  for (int32_t i = 0; i < items.Count(); ++i) {
    TStreamedProperties& b = blocks.emplace_back();
    AddDouble(b, "Value", items[i].Value());
    if (!items[i].Text().empty()) AddString(b, "Text", items[i].Text());
    AddLook(b, items[i], defaults);
  }
  return blocks;
}

void ReadAxisItems(TAxisItems& items, const std::vector<TStreamedProperties>& blocks) {
  items.Clear();
  items.SetAutomatic(false);
  for (const TStreamedProperties& b : blocks) {
    const TStreamedProperty* value = FindProperty(b, "Value");
    if (value == nullptr) throw EChartStreamError("Axis item without a value");
    items.Add(FiniteDouble(b, "Value", 0), PropertyString(b, "Text", "")).ReadProperties(b);
  }
}

}  // namespace

void AddPenUnder(TStreamedProperties& block, const TChartPen& pen, std::string_view prefix) {
  TStreamedProperties part;
  pen.WriteProperties(part);
  AddPropertiesUnder(block, std::move(part), prefix);
}

void ReadPenUnder(TChartPen& pen, const TStreamedProperties& block, std::string_view prefix) {
  const TStreamedProperties part = PropertiesUnder(block, prefix);
  if (!part.empty()) pen.ReadProperties(part);
}

void TQuietChartMessages::TSilent::ShowMessage(const std::string&, TMessageKind) {}
TMessageResult TQuietChartMessages::TSilent::MessageBox(const std::string&, TMessageKind, TMessageButtons, int) {
  return TMessageResult::Ok;
}
TQuietChartMessages::TQuietChartMessages() : fScope(TServices{&fSilent, Services().Input, Services().Files}) {}

// ============================================================= [SECTION] Axes

void WriteAxisProperties(const TChartAxis& axis, TStreamedProperties& block) {
  const int32_t index = AxisIndex(axis);
  const bool custom = index >= 6;
  if (!axis.Automatic()) AddBoolean(block, "Automatic", false);
  if (!axis.AutomaticMaximum()) AddBoolean(block, "AutomaticMaximum", false);
  if (!axis.AutomaticMinimum()) AddBoolean(block, "AutomaticMinimum", false);
  AddPenUnder(block, axis.AxisPen, "Axis.");
  if (axis.AxisPen.LineMode() != lmLine) AddIdent(block, "Axis.LineMode", kLineModeIdents[axis.AxisPen.LineMode()]);
  if (axis.AxisValuesFormat() != "#,##0.###") AddString(block, "AxisValuesFormat", axis.AxisValuesFormat());
  if (!axis.DateTimeFormat().empty()) AddString(block, "DateTimeFormat", axis.DateTimeFormat());
  if (!axis.ExactDateTime()) AddBoolean(block, "ExactDateTime", false);
  AddPenUnder(block, axis.Grid, "Grid.");
  if (axis.Grid.DrawEvery() != 1) AddInteger(block, "Grid.DrawEvery", axis.Grid.DrawEvery());
  // The top and right axes draw their grid at the back by default.
  const double gridZ = index == 1 || index == 3 ? 100 : 0;
  if (axis.Grid.ZPosition() != gridZ) AddDouble(block, "Grid.ZPosition", axis.Grid.ZPosition());
  if (axis.Grid.Centered()) AddBoolean(block, "GridCentered", true);
  if (axis.Increment() != 0) AddDouble(block, "Increment", axis.Increment());
  if (axis.Inverted()) AddBoolean(block, "Inverted", true);
  if (custom) {
    AddBoolean(block, "Horizontal", axis.Horizontal());
    AddBoolean(block, "OtherSide", axis.OtherSide());
  }
  if (!axis.Labels()) AddBoolean(block, "Labels", false);
  if (axis.LabelsAlign != alDefault) AddIdent(block, "LabelsAlign", kLabelAlignIdents[axis.LabelsAlign]);
  if (axis.LabelsAlternate()) AddBoolean(block, "LabelsAlternate", true);
  if (axis.LabelsAngle() != 0) AddInteger(block, "LabelsAngle", axis.LabelsAngle());
  if (axis.LabelsExponent()) AddBoolean(block, "LabelsExponent", true);
  axis.LabelsFont.WriteProperties(block, "LabelsFont.");
  if (axis.LabelsMultiLine()) AddBoolean(block, "LabelsMultiLine", true);
  if (!axis.LabelsOnAxis) AddBoolean(block, "LabelsOnAxis", false);
  if (axis.LabelsSeparation() != 10) AddInteger(block, "LabelsSeparation", axis.LabelsSeparation());
  if (axis.LabelsSize != 0) AddInteger(block, "LabelsSize", axis.LabelsSize);
  if (axis.LabelStyle() != talAuto) AddIdent(block, "LabelStyle", kLabelStyleIdents[axis.LabelStyle()]);
  if (axis.Logarithmic()) AddBoolean(block, "Logarithmic", true);
  if (axis.LogarithmicBase() != 10) AddDouble(block, "LogarithmicBase", axis.LogarithmicBase());
  if (!axis.Automatic() && !axis.AutomaticMaximum()) AddDouble(block, "Maximum", axis.Maximum());
  if (axis.MaximumOffset != 0) AddInteger(block, "MaximumOffset", axis.MaximumOffset);
  if (axis.MaximumRound()) AddBoolean(block, "MaximumRound", true);
  if (!axis.Automatic() && !axis.AutomaticMinimum()) AddDouble(block, "Minimum", axis.Minimum());
  if (axis.MinimumOffset != 0) AddInteger(block, "MinimumOffset", axis.MinimumOffset);
  if (axis.MinimumRound()) AddBoolean(block, "MinimumRound", true);
  AddPenUnder(block, axis.MinorGrid, "MinorGrid.");
  if (axis.MinorTickCount() != 3) AddInteger(block, "MinorTickCount", axis.MinorTickCount());
  if (axis.MinorTickLength != 2) AddInteger(block, "MinorTickLength", axis.MinorTickLength);
  AddPenUnder(block, axis.MinorTicks, "MinorTicks.");
  if (axis.StartPosition() != 0) AddDouble(block, "StartPosition", axis.StartPosition());
  if (axis.EndPosition() != 100) AddDouble(block, "EndPosition", axis.EndPosition());
  if (axis.PositionPercent != 0) AddDouble(block, "PositionPercent", axis.PositionPercent);
  if (axis.PositionUnits != muPercent) AddIdent(block, "PositionUnits", kUnitIdents[axis.PositionUnits]);
  if (!axis.RoundFirstLabel()) AddBoolean(block, "RoundFirstLabel", false);
  if (axis.TickInnerLength != 0) AddInteger(block, "TickInnerLength", axis.TickInnerLength);
  if (axis.TickLength != 4) AddInteger(block, "TickLength", axis.TickLength);
  AddPenUnder(block, axis.Ticks, "Ticks.");
  AddPenUnder(block, axis.TicksInner, "TicksInner.");
  if (!axis.TickOnLabelsOnly) AddBoolean(block, "TickOnLabelsOnly", false);
  const int32_t titleAngle = index == 2 ? 90 : index == 3 ? 270 : 0;
  if (axis.Title.Angle() != titleAngle) AddInteger(block, "Title.Angle", axis.Title.Angle());
  if (!axis.Title.Caption.empty()) AddString(block, "Title.Caption", axis.Title.Caption);
  TStreamedProperties title;
  axis.Title.WriteProperties(title);
  AddPropertiesUnder(block, std::move(title), "Title.");
  if (axis.TitleSize != 0) AddInteger(block, "TitleSize", axis.TitleSize);
  const bool depth = dynamic_cast<const TChartDepthAxis*>(&axis) != nullptr;
  if (axis.Visible() == depth) AddBoolean(block, "Visible", axis.Visible());
  // Items added by hand (computed ones are made again at every draw): an empty
  // list still says the labels are the items.
  if (!axis.Items.Automatic()) AddCollection(block, "Items", AxisItemBlocks(axis.Items));
  if (!axis.IsDepthAxis() && !depth) {
    const double z = axis.ZPosition();
    if ((axis.OtherSide() && z != 100) || (!axis.OtherSide() && z > 0.011)) AddDouble(block, "ZPosition", z);
  }
}

void ReadAxisProperties(TChartAxis& axis, const TStreamedProperties& block) {
  // Read into a detached copy; the axis takes the copy only when all was good.
  TDetachedAxisPanel panel;
  TChartAxis copy(panel, axis.Horizontal(), axis.OtherSide());
  copy.Assign(axis);
  // The two flags first: each setter ties Automatic to them; Automatic then takes
  // the streamed value without passing it on, as while loading.
  copy.SetAutomaticMaximum(PropertyBoolean(block, "AutomaticMaximum", copy.AutomaticMaximum()));
  copy.SetAutomaticMinimum(PropertyBoolean(block, "AutomaticMinimum", copy.AutomaticMinimum()));
  copy.SetAutomatic(PropertyBoolean(block, "Automatic", copy.Automatic()));
  ReadPenUnder(copy.AxisPen, block, "Axis.");
  copy.AxisPen.SetLineMode(
      static_cast<TPenLineMode>(PropertyIdent(block, "Axis.LineMode", kLineModeIdents, copy.AxisPen.LineMode())));
  copy.SetAxisValuesFormat(PropertyString(block, "AxisValuesFormat", copy.AxisValuesFormat()));
  copy.SetDateTimeFormat(PropertyString(block, "DateTimeFormat", copy.DateTimeFormat()));
  copy.SetExactDateTime(PropertyBoolean(block, "ExactDateTime", copy.ExactDateTime()));
  ReadPenUnder(copy.Grid, block, "Grid.");
  copy.Grid.SetDrawEvery(PropertyInt32(block, "Grid.DrawEvery", copy.Grid.DrawEvery()));
  copy.Grid.SetZPosition(FiniteDouble(block, "Grid.ZPosition", copy.Grid.ZPosition()));
  copy.Grid.SetCentered(PropertyBoolean(block, "GridCentered", copy.Grid.Centered()));
  copy.SetIncrement(FiniteDouble(block, "Increment", copy.Increment()));
  copy.SetInverted(PropertyBoolean(block, "Inverted", copy.Inverted()));
  copy.SetHorizontal(PropertyBoolean(block, "Horizontal", copy.Horizontal()));
  copy.SetOtherSide(PropertyBoolean(block, "OtherSide", copy.OtherSide()));
  copy.SetLabels(PropertyBoolean(block, "Labels", copy.Labels()));
  copy.LabelsAlign = static_cast<TAxisLabelAlign>(PropertyIdent(block, "LabelsAlign", kLabelAlignIdents, copy.LabelsAlign));
  copy.SetLabelsAlternate(PropertyBoolean(block, "LabelsAlternate", copy.LabelsAlternate()));
  copy.SetLabelsAngle(PropertyInt32(block, "LabelsAngle", copy.LabelsAngle()));
  copy.SetLabelsExponent(PropertyBoolean(block, "LabelsExponent", copy.LabelsExponent()));
  copy.LabelsFont.ReadProperties(block, "LabelsFont.");
  copy.SetLabelsMultiLine(PropertyBoolean(block, "LabelsMultiLine", copy.LabelsMultiLine()));
  copy.LabelsOnAxis = PropertyBoolean(block, "LabelsOnAxis", copy.LabelsOnAxis);
  copy.SetLabelsSeparation(PropertyInt32(block, "LabelsSeparation", copy.LabelsSeparation()));
  copy.LabelsSize = PropertyInt32(block, "LabelsSize", copy.LabelsSize);
  copy.SetLabelStyle(static_cast<TAxisLabelStyle>(PropertyIdent(block, "LabelStyle", kLabelStyleIdents, copy.LabelStyle())));
  copy.SetLogarithmic(PropertyBoolean(block, "Logarithmic", copy.Logarithmic()));
  copy.SetLogarithmicBase(FiniteDouble(block, "LogarithmicBase", copy.LogarithmicBase()));
  // Range ends stay inside the limit that keeps a range and its steps finite.
  copy.SetMaximum(std::clamp(FiniteDouble(block, "Maximum", copy.Maximum()), -AxisValueLimit, AxisValueLimit));
  copy.MaximumOffset = PropertyInt32(block, "MaximumOffset", copy.MaximumOffset);
  copy.SetMaximumRound(PropertyBoolean(block, "MaximumRound", copy.MaximumRound()));
  copy.SetMinimum(std::clamp(FiniteDouble(block, "Minimum", copy.Minimum()), -AxisValueLimit, AxisValueLimit));
  copy.MinimumOffset = PropertyInt32(block, "MinimumOffset", copy.MinimumOffset);
  copy.SetMinimumRound(PropertyBoolean(block, "MinimumRound", copy.MinimumRound()));
  ReadPenUnder(copy.MinorGrid, block, "MinorGrid.");
  copy.SetMinorTickCount(PropertyInt32(block, "MinorTickCount", copy.MinorTickCount()));
  copy.MinorTickLength = PropertyInt32(block, "MinorTickLength", copy.MinorTickLength);
  ReadPenUnder(copy.MinorTicks, block, "MinorTicks.");
  copy.SetStartPosition(FiniteDouble(block, "StartPosition", copy.StartPosition()));
  copy.SetEndPosition(FiniteDouble(block, "EndPosition", copy.EndPosition()));
  copy.PositionPercent = FiniteDouble(block, "PositionPercent", copy.PositionPercent);
  copy.PositionUnits = static_cast<TChartUnits>(PropertyIdent(block, "PositionUnits", kUnitIdents, copy.PositionUnits));
  copy.SetRoundFirstLabel(PropertyBoolean(block, "RoundFirstLabel", copy.RoundFirstLabel()));
  copy.TickInnerLength = PropertyInt32(block, "TickInnerLength", copy.TickInnerLength);
  copy.TickLength = PropertyInt32(block, "TickLength", copy.TickLength);
  ReadPenUnder(copy.Ticks, block, "Ticks.");
  ReadPenUnder(copy.TicksInner, block, "TicksInner.");
  copy.TickOnLabelsOnly = PropertyBoolean(block, "TickOnLabelsOnly", copy.TickOnLabelsOnly);
  copy.Title.SetAngle(PropertyInt32(block, "Title.Angle", copy.Title.Angle()));
  copy.Title.Caption = PropertyString(block, "Title.Caption", copy.Title.Caption);
  const TStreamedProperties title = PropertiesUnder(block, "Title.");
  if (!title.empty()) copy.Title.ReadProperties(title);
  copy.TitleSize = PropertyInt32(block, "TitleSize", copy.TitleSize);
  copy.SetVisible(PropertyBoolean(block, "Visible", copy.Visible()));
  if (FindProperty(block, "ZPosition") != nullptr) copy.SetZPosition(FiniteDouble(block, "ZPosition", 0));
  if (FindProperty(block, "Items") != nullptr) ReadAxisItems(copy.Items, PropertyCollection(block, "Items"));
  axis.Assign(copy);
}

// ============================================================ [SECTION] Marks

namespace {

void WriteCalloutProperties(const TMarksCallout& callout, TStreamedProperties& block);
void ReadCalloutProperties(TMarksCallout& callout, const TStreamedProperties& block);

// Reads the block into the marks, changing them as it goes; ReadMarksProperties
// runs it on a copy.
void ApplyMarksBlock(TSeriesMarks& marks, const TStreamedProperties& block) {
  marks.TChartCustomShape::ReadProperties(block);
  marks.Angle = PropertyInt32(block, "Angle", marks.Angle);
  const TStreamedProperties arrow = PropertiesUnder(block, "Arrow.");
  const TStreamedProperties callout = PropertiesUnder(block, "Callout.");
  if (!arrow.empty() || !callout.empty() || FindProperty(block, "ArrowLength") != nullptr) {
    TMarksCallout& c = marks.Callout();
    if (!arrow.empty()) c.Arrow.ReadProperties(arrow);
    c.Length = PropertyInt32(block, "ArrowLength", c.Length);
    if (!callout.empty()) ReadCalloutProperties(c, callout);
  }
  marks.SetClip(PropertyBoolean(block, "Clip", marks.Clip()));
  marks.SetDrawEvery(PropertyInt32(block, "DrawEvery", marks.DrawEvery()));
  TMargins& margins = marks.Margins;
  margins.SetLeft(PropertyInt32(block, "Margins.Left", margins.Left()));
  margins.SetTop(PropertyInt32(block, "Margins.Top", margins.Top()));
  margins.SetRight(PropertyInt32(block, "Margins.Right", margins.Right()));
  margins.SetBottom(PropertyInt32(block, "Margins.Bottom", margins.Bottom()));
  margins.SetUnits(
      static_cast<TMarginUnits>(PropertyIdent(block, "Margins.Units", kMarginUnitIdents, margins.Units())));
  marks.MultiLine = PropertyBoolean(block, "MultiLine", marks.MultiLine);
  marks.Style = static_cast<TSeriesMarksStyle>(PropertyIdent(block, "Style", kMarksStyleIdents, marks.Style));
  if (const TStreamedProperties symbol = PropertiesUnder(block, "Symbol."); !symbol.empty())
    marks.Symbol().ReadProperties(symbol);
  marks.TextAlign =
      static_cast<TChartAlignment>(PropertyIdent(block, "TextAlign", kChartAlignmentIdents, marks.TextAlign));
  const TStreamedProperty* items = FindProperty(block, "Items");
  if (items != nullptr && items->Type != TPropertyType::Binary) throw EChartStreamError("Invalid property value Items");
  if (items != nullptr) ReadMarksItems(marks, items->Text);
}

}  // namespace

void WriteMarksProperties(const TSeriesMarks& marks, TStreamedProperties& block) {
  TStreamedProperties own;
  if (marks.Angle != 0) AddInteger(own, "Angle", marks.Angle);
  if (const TMarksCallout* callout = marks.CalloutIfAny()) {
    AddPenUnder(own, callout->Arrow, "Arrow.");
    if (callout->Length != kMarksArrowLength) AddInteger(own, "ArrowLength", callout->Length);
    TStreamedProperties part;
    WriteCalloutProperties(*callout, part);
    AddPropertiesUnder(own, std::move(part), "Callout.");
  }
  if (marks.Clip()) AddBoolean(own, "Clip", true);
  if (marks.DrawEvery() != 1) AddInteger(own, "DrawEvery", marks.DrawEvery());
  const TMargins& margins = marks.Margins;
  const TMargins defaults;
  if (margins.Left() != margins.DefaultLeftRight()) AddInteger(own, "Margins.Left", margins.Left());
  if (margins.Top() != defaults.Top()) AddInteger(own, "Margins.Top", margins.Top());
  if (margins.Right() != margins.DefaultLeftRight()) AddInteger(own, "Margins.Right", margins.Right());
  if (margins.Bottom() != defaults.Bottom()) AddInteger(own, "Margins.Bottom", margins.Bottom());
  if (margins.Units() != defaults.Units()) AddIdent(own, "Margins.Units", kMarginUnitIdents[margins.Units()]);
  if (marks.MultiLine) AddBoolean(own, "MultiLine", true);
  if (marks.Style != smsLabel) AddIdent(own, "Style", kMarksStyleIdents[marks.Style]);
  if (const TSeriesMarksSymbol* symbol = marks.SymbolIfAny()) {
    TStreamedProperties part;
    symbol->WriteProperties(part);
    AddPropertiesUnder(own, std::move(part), "Symbol.");
  }
  if (marks.TextAlign != taCenter) AddIdent(own, "TextAlign", kChartAlignmentIdents[marks.TextAlign]);
  // The shape: colour, font, frame, gradient, shadow, visibility and the rest,
  // less what fresh marks write too.
  const TChartSeries fresh;
  AddLook(own, marks, LookDefaults(fresh.Marks()));
  if (marks.ItemCount() > 0) AddBinary(own, "Items", WriteMarksItems(marks));
  block.insert(block.end(), own.begin(), own.end());
}

void ReadMarksProperties(TSeriesMarks& marks, const TStreamedProperties& block) {
  // Read into a copy; the marks take it only when all of the block was good.
  TChartSeries scratch;
  TSeriesMarks& copy = scratch.Marks();
  copy.Assign(marks);
  ApplyMarksBlock(copy, block);
  marks.Assign(copy);
}

std::string WriteMarksItems(const TSeriesMarks& marks) {
  std::string record(4, '\0');
  const int32_t count = marks.ItemCount();
  std::memcpy(record.data(), &count, 4);  // item count
  const TStreamedProperties defaults = LookDefaults(TMarksItem(nullptr));
  for (int32_t i = 0; i < count; ++i) {
    record.push_back(static_cast<char>(TPropertyType::List));  // list-begin marker
    TStreamedProperties item;
    if (const TMarksItem* m = marks.ItemAt(i)) {
      if (!m->Text.empty()) AddStrings(item, "Text", m->Text);
      AddLook(item, *m, defaults);
    }
    record += PropertiesToBytes(item);  // the item's properties, then the list-end marker
  }
  return record;
}

void ReadMarksItems(TSeriesMarks& marks, std::string_view record) {
  if (record.size() < 4) throw EChartStreamError("Marks Items record is damaged: it ends early");
  int32_t count = 0;
  std::memcpy(&count, record.data(), 4);
  // Every entry takes two bytes at least (its two markers).
  if (count < 0 || static_cast<uint64_t>(count) * 2 > record.size() - 4)
    throw EChartStreamError("Marks Items record is damaged: item count exceeds the record");
  TMemoryStream stream(record.data() + 4, record.size() - 4);
  std::vector<std::unique_ptr<TMarksItem>> items(static_cast<size_t>(count));
  for (auto& item : items) {
    uint8_t marker = 0;
    if (!stream.ReadUInt8(marker) || marker != static_cast<uint8_t>(TPropertyType::List))
      throw EChartStreamError("Marks Items record is damaged: item marker missing");
    const TStreamedProperties properties = ReadProperties(stream);
    item = std::make_unique<TMarksItem>(nullptr);
    item->ReadProperties(properties);
    item->Text = PropertyStrings(properties, "Text", {});
  }
  if (stream.Remaining() != 0) throw EChartStreamError("Marks Items record is damaged: bytes after the last item");
  marks.ClearItems();
  for (int32_t i = 0; i < count; ++i) marks.MarkItem(i).Assign(*items[static_cast<size_t>(i)]);
}

// ========================================================== [SECTION] Pointer

namespace {

// The pointer's properties against the defaults of its kind (a callout starts
// hidden and flat).
void WritePointerAgainst(const TSeriesPointer& pointer, const TSeriesPointer& defaults, TStreamedProperties& block) {
  TStreamedProperties brush;
  pointer.Brush().WriteProperties(brush);
  AddPropertiesUnder(block, std::move(brush), "Brush.");
  if (pointer.Dark3D != defaults.Dark3D) AddBoolean(block, "Dark3D", pointer.Dark3D);
  if (pointer.Draw3D != defaults.Draw3D) AddBoolean(block, "Draw3D", pointer.Draw3D);
  pointer.Gradient().WriteProperties(block, "Gradient.");
  if (pointer.HorizSize() != defaults.HorizSize()) AddInteger(block, "HorizSize", pointer.HorizSize());
  if (pointer.InflateMargins != defaults.InflateMargins) AddBoolean(block, "InflateMargins", pointer.InflateMargins);
  AddPenUnder(block, pointer.Pen(), "Pen.");
  pointer.Shadow().WriteProperties(block, "Shadow.");
  if (pointer.Style != defaults.Style) AddIdent(block, "Style", kPointerStyleIdents[pointer.Style]);
  if (pointer.Transparency != defaults.Transparency) AddInteger(block, "Transparency", pointer.Transparency);
  if (pointer.VertSize() != defaults.VertSize()) AddInteger(block, "VertSize", pointer.VertSize());
  AddBoolean(block, "Visible", pointer.Visible());
}

// The callout as a pointer, with its arrow head and distance; its arrow pen and
// length are the marks' "Arrow" and "ArrowLength".
void WriteCalloutProperties(const TMarksCallout& callout, TStreamedProperties& block) {
  const TMarksCallout defaults;
  WritePointerAgainst(callout, defaults, block);
  if (callout.ArrowHead != ahNone) AddIdent(block, "ArrowHead", kArrowHeadIdents[callout.ArrowHead]);
  if (callout.ArrowHeadSize != defaults.ArrowHeadSize) AddInteger(block, "ArrowHeadSize", callout.ArrowHeadSize);
  if (callout.Distance != 0) AddInteger(block, "Distance", callout.Distance);
}

void ReadCalloutProperties(TMarksCallout& callout, const TStreamedProperties& block) {
  const int head = PropertyIdent(block, "ArrowHead", kArrowHeadIdents, callout.ArrowHead);
  const int32_t headSize = PropertyInt32(block, "ArrowHeadSize", callout.ArrowHeadSize);
  const int32_t distance = PropertyInt32(block, "Distance", callout.Distance);
  ReadPointerProperties(callout, block);
  callout.ArrowHead = static_cast<TArrowHeadStyle>(head);
  callout.ArrowHeadSize = headSize;
  callout.Distance = distance;
}

}  // namespace

void WritePointerProperties(const TSeriesPointer& pointer, TStreamedProperties& block) {
  WritePointerAgainst(pointer, TSeriesPointer(), block);
}

void ReadPointerProperties(TSeriesPointer& pointer, const TStreamedProperties& block) {
  TSeriesPointer copy;
  copy.Assign(pointer);
  const TStreamedProperties brush = PropertiesUnder(block, "Brush.");
  if (!brush.empty()) copy.Brush().ReadProperties(brush);
  copy.Dark3D = PropertyBoolean(block, "Dark3D", copy.Dark3D);
  copy.Draw3D = PropertyBoolean(block, "Draw3D", copy.Draw3D);
  copy.Gradient().ReadProperties(block, "Gradient.");
  copy.SetHorizSize(PropertyInt32(block, "HorizSize", copy.HorizSize()));
  copy.InflateMargins = PropertyBoolean(block, "InflateMargins", copy.InflateMargins);
  ReadPenUnder(copy.Pen(), block, "Pen.");
  copy.Shadow().ReadProperties(block, "Shadow.");
  copy.Style = static_cast<TSeriesPointerStyle>(PropertyIdent(block, "Style", kPointerStyleIdents, copy.Style));
  copy.Transparency = PropertyInt32(block, "Transparency", copy.Transparency, 0, 100);
  copy.SetVertSize(PropertyInt32(block, "VertSize", copy.VertSize()));
  copy.SetVisible(PropertyBoolean(block, "Visible", copy.Visible()));
  pointer.Assign(copy);
}

// =========================================================== [SECTION] Series

namespace {

// A series of the same kind, with the same value lists, as a scratch object.
std::unique_ptr<TChartSeries> FreshOfKind(const TChartSeries& series) {
  std::unique_ptr<TChartSeries> fresh;
  if (dynamic_cast<const TLineSeries*>(&series) != nullptr)
    fresh = std::make_unique<TLineSeries>();
  else if (dynamic_cast<const TCustomSeries*>(&series) != nullptr)
    fresh = std::make_unique<TCustomSeries>();
  else
    fresh = std::make_unique<TChartSeries>();
  TChartSeries& s = const_cast<TChartSeries&>(series);
  for (int32_t i = 2; i < s.ValuesList().Count(); ++i) fresh->AddValueList(s.ValuesList()[i].Name());
  fresh->SetYMandatory(series.YMandatory());
  return fresh;
}

void WriteLineProperties(const TCustomSeries& s, TStreamedProperties& block) {
  const TCustomSeries* fresh = nullptr;
  std::unique_ptr<TCustomSeries> defaults;
  if (dynamic_cast<const TLineSeries*>(&s) != nullptr)
    defaults = std::make_unique<TLineSeries>();
  else
    defaults = std::make_unique<TCustomSeries>();
  fresh = defaults.get();
  if (s.ClickableLine != fresh->ClickableLine) AddBoolean(block, "ClickableLine", s.ClickableLine);
  if (s.ColorEachLine != fresh->ColorEachLine) AddBoolean(block, "ColorEachLine", s.ColorEachLine);
  if (s.Dark3D != fresh->Dark3D) AddBoolean(block, "Dark3D", s.Dark3D);
  s.Gradient.WriteProperties(block, "Gradient.");
  if (s.InvertedStairs) AddBoolean(block, "InvertedStairs", true);
  if (s.LineBrush() != bsSolid) {
    TChartBrush brush;
    brush.SetStyle(s.LineBrush());
    TStreamedProperties part;
    brush.WriteProperties(part);
    AddPropertiesUnder(block, std::move(part), "LineBrush.");
  }
  if (s.LineHeight != 0) AddInteger(block, "LineHeight", s.LineHeight);
  AddPenUnder(block, s.LinePen(), "LinePen.");
  AddPenUnder(block, s.OutLine, "OutLine.");
  TStreamedProperties pointer;
  WritePointerProperties(s.Pointer, pointer);
  AddPropertiesUnder(block, std::move(pointer), "Pointer.");
  s.Shadow.WriteProperties(block, "Shadow.");
  if (s.Stacked() != cssNone) AddIdent(block, "Stacked", kStackedIdents[s.Stacked()]);
  if (s.Stairs) AddBoolean(block, "Stairs", true);
  if (s.Transparency != 0) AddInteger(block, "Transparency", s.Transparency);
  if (s.TreatNulls != tnDontPaint) AddIdent(block, "TreatNulls", kTreatNullsIdents[s.TreatNulls]);
}

void ReadLineProperties(TCustomSeries& s, const TStreamedProperties& block) {
  s.ClickableLine = PropertyBoolean(block, "ClickableLine", s.ClickableLine);
  s.ColorEachLine = PropertyBoolean(block, "ColorEachLine", s.ColorEachLine);
  s.Dark3D = PropertyBoolean(block, "Dark3D", s.Dark3D);
  s.Gradient.ReadProperties(block, "Gradient.");
  s.InvertedStairs = PropertyBoolean(block, "InvertedStairs", s.InvertedStairs);
  const TStreamedProperties lineBrush = PropertiesUnder(block, "LineBrush.");
  if (!lineBrush.empty()) {
    TChartBrush brush;
    brush.ReadProperties(lineBrush);
    s.SetLineBrush(brush.Style());
  }
  s.LineHeight = PropertyInt32(block, "LineHeight", s.LineHeight);
  ReadPenUnder(s.LinePen(), block, "LinePen.");
  ReadPenUnder(s.OutLine, block, "OutLine.");
  const TStreamedProperties pointer = PropertiesUnder(block, "Pointer.");
  if (!pointer.empty()) ReadPointerProperties(s.Pointer, pointer);
  s.Shadow.ReadProperties(block, "Shadow.");
  s.SetStacked(static_cast<TCustomSeriesStack>(PropertyIdent(block, "Stacked", kStackedIdents, s.Stacked())));
  s.Stairs = PropertyBoolean(block, "Stairs", s.Stairs);
  s.Transparency = PropertyInt32(block, "Transparency", s.Transparency, 0, 100);
  s.TreatNulls = static_cast<TTreatNullsStyle>(PropertyIdent(block, "TreatNulls", kTreatNullsIdents, s.TreatNulls));
}

void ReadValueList(TChartValueList& list, const TStreamedProperties& block, std::string_view prefix) {
  const TStreamedProperties part = PropertiesUnder(block, prefix);
  if (!part.empty()) list.ReadProperties(part);
}

int32_t CustomAxisIndex(const TChartSeries& series, const TChartAxis* axis) {
  if (axis == nullptr || series.ParentChart() == nullptr) return -1;
  const auto& list = series.ParentChart()->AxesList();
  for (size_t i = 6; i < list.size(); ++i)
    if (list[i] == axis) return static_cast<int32_t>(i - 6);
  return -1;
}

// Reads the block into the series, changing it as it goes; the caller makes sure
// the block is good first (ReadSeriesProperties runs it on a scratch series).
TSeriesLinks ApplySeriesBlock(TChartSeries& s, const TStreamedProperties& block) {
  TSeriesLinks links;
  const std::string source = PropertyString(block, "DataSource", "");
  if (!source.empty()) links.DataSources.push_back(source);
  for (const std::string& name : PropertyStrings(block, "DataSources", {}))
    if (name != source) links.DataSources.push_back(name);
  links.CustomHorizAxis = PropertyInt32(block, "CustomHorizAxis", -1, -1, INT32_MAX);
  links.CustomVertAxis = PropertyInt32(block, "CustomVertAxis", -1, -1, INT32_MAX);

  // The points first: reading them clears the marks' items, which belong to points.
  if (ReadSeriesDataProperty(block, s)) s.StoredData = true;
  s.SetActive(PropertyBoolean(block, "Active", s.Active()));
  s.SetColorEachPoint(PropertyBoolean(block, "ColorEachPoint", s.ColorEachPoint()));
  s.SetColorSource(PropertyString(block, "ColorSource", s.ColorSource()));
  s.Cursor = PropertyInt32(block, "Cursor", s.Cursor);
  s.SetXLabelsSource(PropertyString(block, "XLabelsSource", s.XLabelsSource()));
  s.Depth = PropertyInt32(block, "Depth", s.Depth);
  s.SetHorizAxis(static_cast<THorizAxis>(PropertyIdent(block, "HorizAxis", kHorizAxisIdents, s.HorizAxis())));
  s.SetVertAxis(static_cast<TVertAxis>(PropertyIdent(block, "VertAxis", kVertAxisIdents, s.VertAxis())));
  s.Identifier = PropertyString(block, "Identifier", s.Identifier);
  s.StyleFlags = static_cast<uint8_t>(PropertyInt32(block, "Style", s.StyleFlags, 0, 63));
  const TStreamedProperties marks = PropertiesUnder(block, "Marks.");
  if (!marks.empty()) ReadMarksProperties(s.Marks(), marks);
  s.Name = PropertyString(block, "Name", s.Name);
  s.PercentFormat = PropertyString(block, "PercentFormat", s.PercentFormat);
  if (FindProperty(block, "SeriesColor") != nullptr) s.SetSeriesColor(PropertyColor(block, "SeriesColor", 0));
  s.ShowInEditor = PropertyBoolean(block, "ShowInEditor", s.ShowInEditor);
  s.ShowInLegend = PropertyBoolean(block, "ShowInLegend", s.ShowInLegend);
  s.SetTitle(PropertyString(block, "Title", s.Title()));
  s.SetValueFormat(PropertyString(block, "ValueFormat", s.ValueFormat()));
  ReadValueList(s.XValues(), block, "XValues.");
  ReadValueList(s.YValues(), block, "YValues.");
  if (auto* line = dynamic_cast<TCustomSeries*>(&s)) ReadLineProperties(*line, block);
  return links;
}

}  // namespace

void WriteSeriesProperties(const TChartSeries& s, TStreamedProperties& block) {
  if (!s.Active()) AddBoolean(block, "Active", false);
  if (s.ColorEachPoint()) AddBoolean(block, "ColorEachPoint", true);
  if (!s.ColorSource().empty()) AddString(block, "ColorSource", s.ColorSource());
  if (s.Cursor != 0) AddInteger(block, "Cursor", s.Cursor);
  if (const int32_t i = CustomAxisIndex(s, s.CustomHorizAxis()); i >= 0) AddInteger(block, "CustomHorizAxis", i);
  if (const int32_t i = CustomAxisIndex(s, s.CustomVertAxis()); i >= 0) AddInteger(block, "CustomVertAxis", i);
  // The points of a series filled from a form (its sources refill the others).
  if (s.StoredData) WriteSeriesDataProperty(block, s);
  const std::vector<std::string> sources = DataSourceNames(s);
  if (!sources.empty()) AddString(block, "DataSource", sources.front());
  if (sources.size() > 1) AddStrings(block, "DataSources", sources);
  if (s.Depth != -1) AddInteger(block, "Depth", s.Depth);
  if (s.HorizAxis() != aBottomAxis) AddIdent(block, "HorizAxis", kHorizAxisIdents[s.HorizAxis()]);
  if (!s.Identifier.empty()) AddString(block, "Identifier", s.Identifier);
  TStreamedProperties marks;
  WriteMarksProperties(s.Marks(), marks);
  AddPropertiesUnder(block, std::move(marks), "Marks.");
  if (!s.Name.empty()) AddString(block, "Name", s.Name);
  if (s.PercentFormat != ChartMsg::PercentFormat) AddString(block, "PercentFormat", s.PercentFormat);
  if (s.StoredColor() != clChartDefault) AddInteger(block, "SeriesColor", s.StoredColor());
  if (!s.ShowInEditor) AddBoolean(block, "ShowInEditor", false);
  if (!s.ShowInLegend) AddBoolean(block, "ShowInLegend", false);
  if (s.StyleFlags != 0) AddInteger(block, "Style", s.StyleFlags);
  if (!s.Title().empty()) AddString(block, "Title", s.Title());
  if (s.ValueFormat() != ChartMsg::ValuesFormat) AddString(block, "ValueFormat", s.ValueFormat());
  if (s.VertAxis() != aLeftAxis) AddIdent(block, "VertAxis", kVertAxisIdents[s.VertAxis()]);
  if (!s.XLabelsSource().empty()) AddString(block, "XLabelsSource", s.XLabelsSource());
  TStreamedProperties x, y;
  s.XValues().WriteProperties(x);
  s.YValues().WriteProperties(y);
  AddPropertiesUnder(block, std::move(x), "XValues.");
  AddPropertiesUnder(block, std::move(y), "YValues.");
  if (const auto* line = dynamic_cast<const TCustomSeries*>(&s)) WriteLineProperties(*line, block);
}

TSeriesLinks ReadSeriesProperties(TChartSeries& series, const TStreamedProperties& block) {
  {
    // The trial: a bad value raises here, before the series changes.
    const TQuietChartMessages quiet;
    std::unique_ptr<TChartSeries> scratch = FreshOfKind(series);
    ApplySeriesBlock(*scratch, block);
  }
  return ApplySeriesBlock(series, block);
}

void ResolveSeriesLinks(TChartSeries& series, const TSeriesLinks& links, const std::vector<TChartSeries*>& candidates,
                        const std::vector<TChartSeriesSource*>& components) {
  for (const std::string& name : links.DataSources) {
    TChartSeries* found = nullptr;
    for (TChartSeries* c : candidates)
      if (c != nullptr && c->Name == name) found = c;
    TChartSeriesSource* component = nullptr;
    for (TChartSeriesSource* c : components)
      if (c != nullptr && c->Name == name) component = c;
    if (found != nullptr)
      AddDataSource(series, *found, false);
    else if (component != nullptr)
      SetDataSource(series, component);
    else
      throw EChartStreamError("DataSource " + name + " not found");
  }
  IAxisPanel* chart = series.ParentChart();
  const auto custom = [&](int32_t index) -> TChartAxis* {
    if (index < 0) return nullptr;
    if (chart == nullptr || static_cast<size_t>(index) + 6 >= chart->AxesList().size())
      throw EChartStreamError("Custom axis " + std::to_string(index) + " not found");
    return chart->AxesList()[static_cast<size_t>(index) + 6];
  };
  if (TChartAxis* axis = custom(links.CustomHorizAxis)) series.SetCustomHorizAxis(axis);
  if (TChartAxis* axis = custom(links.CustomVertAxis)) series.SetCustomVertAxis(axis);
}

}  // namespace qira

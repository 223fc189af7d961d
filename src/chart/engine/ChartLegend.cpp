#include "chart/engine/ChartLegend.h"

#include <algorithm>

#include "chart/draw/ChartMessages.h"
#include "chart/draw/ChartRoutines.h"
#include "chart/engine/ChartObjectStreaming.h"
#include "chart/engine/SeriesDrawing.h"
#include "platform/Rounding.h"

namespace qira {

namespace {
constexpr int32_t kCheckBoxRoom = 15;
constexpr int32_t kColumnSpacing = 6;
}  // namespace

// ====================================== [SECTION] Symbol, title and items

TLegendSymbol::TLegendSymbol(TNotifyEvent onChange) : Gradient(onChange), Pen(onChange), Shadow(onChange) {
  Shadow.SetDefaults(clBlack, 3);
  Shadow.SetVisible(false);
}

void TLegendSymbol::Assign(const TLegendSymbol& source) {
  Continuous = source.Continuous;
  DefaultPen = source.DefaultPen;
  Position = source.Position;
  Squared = source.Squared;
  Visible = source.Visible;
  Width = source.Width;
  WidthUnits = source.WidthUnits;
  Gradient.Assign(source.Gradient);
  Pen.Assign(source.Pen);
  Shadow.Assign(source.Shadow);
  OnDraw = source.OnDraw;
}

TLegendTitle::TLegendTitle(TCustomChartPanel* chart) : TChartShape(chart) {
  SetDefaultTransparent(true);
  Font().SetStyle(fsBold);
  Font().SetDefaultStyle(fsBold);
  Shadow().SetDefaults(clSilver, 2);
}

void TLegendTitle::Assign(const TLegendTitle& source) {
  Text = source.Text;
  TextAlignment = source.TextAlignment;
  TChartShape::Assign(source);
}

// ============================================================ [SECTION] Legend

TChartLegendGradient::TChartLegendGradient(TNotifyEvent onChange) : TChartGradient(std::move(onChange)) {
  SetDirection(gdRightLeft);
  SetStartColor(clSilver);
  SetEndColor(clWhite);
}

TCustomChartLegend::TCustomChartLegend(TCustomAxisPanel* chart)
    : TChartCustomShapePosition(chart),
      DividingLines([this] { Repaint(); }),
      Symbol([this] { Repaint(); }),
      Title(chart) {
  SetColor(clWhite);
}

void TCustomChartLegend::SetCheckBoxesStyle(TCheckBoxesStyle value) {
  if (fCheckBoxesStyle == value) return;
  fCheckBoxesStyle = value;
  if (value == cbsRadio) {
    bool first = true;
    for (TChartSeries* s : ListedSeries()) {
      if (!s->Active()) continue;
      if (!first) s->SetActive(false);
      first = false;
    }
  }
  Repaint();
}

void TCustomChartLegend::SetFirstValue(int32_t value) {
  if (value < 0) throw LegendException(std::string(ChartMsg::LegendFirstValue));
  Change(fFirstValue, value);
}

void TCustomChartLegend::Assign(const TCustomChartLegend& source) {
  Alignment = source.Alignment;
  CheckBoxes = source.CheckBoxes;
  fCheckBoxesStyle = source.fCheckBoxesStyle;
  CurrentPage = source.CurrentPage;
  DividingLines.Assign(source.DividingLines);
  fFirstValue = source.fFirstValue;
  FontSeriesColor = source.FontSeriesColor;
  HorizMargin = source.HorizMargin;
  Inverted = source.Inverted;
  LeftPercent = source.LeftPercent;
  LegendStyle = source.LegendStyle;
  MaxNumRows = source.MaxNumRows;
  PositionUnits = source.PositionUnits;
  ResizeChart = source.ResizeChart;
  Symbol.Assign(source.Symbol);
  TextStyle = source.TextStyle;
  Title.Assign(source.Title);
  TopPos = source.TopPos;
  TopPercent = source.TopPercent;
  VertMargin = source.VertMargin;
  VertSpacing = source.VertSpacing;
  AssignPosition(source);
}

std::vector<TChartSeries*> TCustomChartLegend::ListedSeries() const {
  std::vector<TChartSeries*> result;
  if (const TCustomAxisPanel* chart = Chart())
    for (int32_t i = 0; i < chart->SeriesCount(); ++i) {
      TChartSeries& s = chart->Series(i);
      if (s.ShowInLegend && (s.Active() || CheckBoxes)) result.push_back(&s);
    }
  return result;
}

TLegendStyle TCustomChartLegend::ResolvedStyle() const {
  if (LegendStyle != lsAuto) return LegendStyle;
  int32_t active = 0;
  if (const TCustomAxisPanel* chart = Chart())
    for (int32_t i = 0; i < chart->SeriesCount(); ++i) active += chart->Series(i).Active();
  return !CheckBoxes && active < 2 ? lsValues : lsSeries;
}

bool TCustomChartLegend::ShouldDraw() const {
  if (!Visible() || Chart() == nullptr) return false;
  if (CheckBoxesInUse()) return true;
  for (int32_t i = 0; i < Chart()->SeriesCount(); ++i)
    if (Chart()->Series(i).Active()) return true;
  return false;
}

TChartSeries* TCustomChartLegend::LegendSeries() const {
  if (Series != nullptr) return Series;
  const TCustomAxisPanel* chart = Chart();
  if (chart == nullptr) return nullptr;
  TChartSeries* firstActive = nullptr;
  for (int32_t i = 0; i < chart->SeriesCount(); ++i) {
    TChartSeries& s = chart->Series(i);
    if (!s.Active()) continue;
    if (firstActive == nullptr) {
      firstActive = &s;
      if (s.ShowInLegend) return &s;
    } else if (s.ShowInLegend) {
      return &s;
    }
  }
  return firstActive;
}

void TLegendItem::SetText(const std::string& value) { ChangeText(fText, value); }
void TLegendItem::SetText2(const std::string& value) { ChangeText(fText2, value); }

void TLegendItem::ChangeText(std::string& field, const std::string& value) {
  if (value == field) return;
  field = value;
  if (fLegend == nullptr) return;
  fLegend->CustomiseItems();
  fLegend->Repaint();
}

TLegendItem& TCustomChartLegend::Items(int32_t index) {
  if (index < 0) throw LegendException("Legend item index out of range");
  if (static_cast<size_t>(index) >= fItems.size()) fItems.resize(static_cast<size_t>(index) + 1);
  auto& item = fItems[static_cast<size_t>(index)];
  if (!item) item = std::make_unique<TLegendItem>(this);
  return *item;
}

int32_t TCustomChartLegend::CalcItemCount() {
  int32_t count = 0;
  switch (fStyle) {
    case lsSeriesGroups:
      return Groups ? Groups->Count() : 0;
    case lsSeries:
    case lsLastValues:
      count = static_cast<int32_t>(ListedSeries().size()) - fFirstValue;
      break;
    case lsValues: {
      const TChartSeries* s = LegendSeries();
      if (s == nullptr || !s->Active()) return 0;
      const int32_t perPage = Chart()->Pages().MaxPointsPerPage();
      if (perPage > 0 && CurrentPage) {
        // The page in force after the data shrank may lie past the last one: the
        // last page is listed instead.
        const int32_t pages = std::max(1, (s->Count() + perPage - 1) / perPage);
        const int32_t page = std::clamp(Chart()->Pages().Current(), 1, pages);
        fFirstValue = (page - 1) * perPage;
        count = std::min(s->Count() - fFirstValue, perPage);
      } else {
        count = s->Count() - fFirstValue;
      }
      break;
    }
    case lsAuto: break;
  }
  return std::max(count, 0);
}

std::string TCustomChartLegend::ItemText(int32_t index) const {
  std::string text;
  switch (fStyle) {
    case lsSeries: {
      const auto listed = ListedSeries();
      if (index < static_cast<int32_t>(listed.size())) text = listed[static_cast<size_t>(index)]->TitleForDisplay();
      break;
    }
    case lsValues:
      if (TChartSeries* s = LegendSeries())
        text = TextOfValue ? TextOfValue(*s, index) : LegendString(*s, index, TextStyle);
      break;
    case lsLastValues: {
      const auto listed = ListedSeries();
      if (index < static_cast<int32_t>(listed.size())) {
        TChartSeries& s = *listed[static_cast<size_t>(index)];
        if (s.Count() > 0) text = TextOfValue ? TextOfValue(s, s.Count() - 1) : LegendString(s, s.Count() - 1, TextStyle);
      }
      break;
    }
    case lsSeriesGroups:
      if (Groups && index < Groups->Count()) text = (*Groups)[index].Name;
      break;
    case lsAuto: break;
  }
  if (OnGetLegendText) OnGetLegendText(const_cast<TCustomChartLegend&>(*this), fStyle, index, text);
  return text;
}

TColor TCustomChartLegend::ItemColor(int32_t index) const {
  if (fStyle == lsValues) {
    const TChartSeries* s = LegendSeries();
    return s && index < s->Count() ? s->LegendItemColor(index) : clWhite;
  }
  if (fStyle == lsSeries || fStyle == lsLastValues) {
    const auto listed = ListedSeries();
    if (index < static_cast<int32_t>(listed.size())) return listed[static_cast<size_t>(index)]->SeriesColor();
  }
  return clWhite;
}

bool TCustomChartLegend::ItemChecked(int32_t index) const {
  if (fStyle == lsSeriesGroups) return Groups && index < Groups->Count() && (*Groups)[index].Active() != gaNo;
  const auto listed = ListedSeries();
  return index < static_cast<int32_t>(listed.size()) && listed[static_cast<size_t>(index)]->Active();
}

void TCustomChartLegend::CalcLineHeight(TChartCanvas3D& canvas) {
  canvas.AssignFont(Font());
  int32_t h = canvas.FontHeight();
  if (CheckBoxesInUse()) h = std::max(h, 17);
  h += VertSpacing;
  if (DividingLines.Visible() && Vertical()) h += DividingLines.Width();
  // A negative spacing could leave no room; every division by the line height
  // below relies on at least one pixel.
  fLineHeight = std::max(h, 1);
}

void TCustomChartLegend::CalcSymbolWidth(int32_t itemWidth) {
  if (!Symbol.Visible)
    fSymbolWidth = 0;
  else if (Symbol.Squared)
    fSymbolWidth = fLineHeight - 5;
  else if (Symbol.WidthUnits == lcsPixels)
    fSymbolWidth = Symbol.Width;
  else
    fSymbolWidth = RoundToInt(Symbol.Width * itemWidth * 0.01);
  fSymbolWidth = std::max(fSymbolWidth, 0);
}

void TCustomChartLegend::Draw() {
  TCustomAxisPanel* chart = Chart();
  if (chart == nullptr) return;
  TChartCanvas3D& canvas = chart->ChartCanvas();
  // Symbols in the legend's own colour show only their frame while it draws.
  chart->LegendColor = Color();
  chart->LegendSymbolPen = Symbol.DefaultPen ? nullptr : &Symbol.Pen;
  const TScopeExit forget([chart] {
    chart->LegendColor = clNone;
    chart->LegendSymbolPen = nullptr;
  });
  canvas.BeginGroup();
  fStyle = ResolvedStyle();
  fFrameWidth = Pen().Visible() ? Pen().Width() : 0;
  if (Bevel() != bvNone) fFrameWidth = BevelWidth();
  const int32_t fw = fFrameWidth;

  const bool custom = CustomPosition();
  if (custom && PositionUnits == muPercent) {
    const int32_t w = ShapeBounds.Right - ShapeBounds.Left, h = ShapeBounds.Bottom - ShapeBounds.Top;
    ShapeBounds.Left = RoundToInt(LeftPercent * chart->width() * 0.01);
    ShapeBounds.Top = RoundToInt(TopPercent * chart->height() * 0.01);
    ShapeBounds.Right = ShapeBounds.Left + w;
    ShapeBounds.Bottom = ShapeBounds.Top + h;
  }
  const TRect saved = ShapeBounds;

  fItemCount = CalcItemCount();
  fTexts.clear();
  for (int32_t i = 0; i < fItemCount; ++i) fTexts.push_back(ItemText(fFirstValue + i));

  CalcLineHeight(canvas);
  int32_t titleWidth = 0;
  fTitleHeight = 0;
  const bool titleShown = Title.Visible() && !Title.Text.empty();
  if (titleShown) {
    canvas.AssignFont(Title.Font());
    const int32_t th = canvas.FontHeight();
    for (const std::string& line : Title.Text) titleWidth = std::max(titleWidth, canvas.TextWidth(line));
    titleWidth += canvas.TextWidth("W");
    fTitleHeight = static_cast<int32_t>(Title.Text.size()) * th;
    if (!Title.Transparent()) {
      titleWidth += 2 * (Title.Pen().Visible() ? Title.Pen().Width() : 0) + Title.Shadow().Size();
      fTitleHeight += 2 + 2 * (Title.Pen().Visible() ? Title.Pen().Width() : 0);
    }
    canvas.AssignFont(Font());
  }

  fColumnWidths[0] = fColumnWidths[1] = 0;
  for (const std::string& t : fTexts) {
    const size_t sep = t.find(kColumnSeparator);
    fColumnWidths[0] = std::max(fColumnWidths[0], canvas.TextWidth(t.substr(0, sep)));
    if (sep != std::string::npos) fColumnWidths[1] = std::max(fColumnWidths[1], canvas.TextWidth(t.substr(sep + 1)));
  }
  const int32_t textWidth = fColumnWidths[0] + (fColumnWidths[1] > 0 ? kColumnSpacing + fColumnWidths[1] : 0);
  CalcSymbolWidth(textWidth);
  const bool checks = CheckBoxesInUse();
  const TRect cr = chart->ChartRect();
  const TChartShadow* shadow = ShadowIfAny();
  const int32_t shadowH = shadow && shadow->Visible() ? std::abs(shadow->HorizSize()) : 0;
  const int32_t shadowV = shadow && shadow->Visible() ? std::abs(shadow->VertSize()) : 0;
  const int32_t symbolShadow = Symbol.Shadow.Visible() ? Symbol.Shadow.Size() : 0;

  if (!Vertical()) {
    const int32_t itemWidth = std::max(1, textWidth + fSymbolWidth + 8 + (checks ? kCheckBoxRoom : 0));
    // At least one column: a legend wider than the chart still lists its items.
    fColumns = std::clamp((cr.Right - cr.Left) / itemWidth, 1, std::max(fItemCount, 1));
    fRows = std::min((fItemCount + fColumns - 1) / fColumns, std::max(MaxNumRows, 0));
    if (!custom) {
      if (Alignment == laBottom)
        ShapeBounds.Bottom = cr.Bottom - (fw + 1 + shadowV);
      else
        ShapeBounds.Top = cr.Top + fw + 1;
    }
  } else {
    fColumns = 1;
    if (!custom) {
      const TChartShadow& cs = chart->Shadow();
      const int32_t e = cs.Visible() && cs.VertSize() < 0 ? 2 * std::abs(cs.VertSize()) : 0;
      ShapeBounds.Top = RoundToInt(TopPos * (cr.Bottom - cr.Top - e) * 0.01) + e + cr.Top;
    }
    const int32_t room = cr.Bottom - ShapeBounds.Top - (titleShown ? fTitleHeight + 4 : 0) - 2 * fw - 2;
    fRows = std::clamp(room / fLineHeight, 0, fItemCount);
  }
  fLastValue = fFirstValue + std::min(fItemCount, fRows * fColumns) - 1;

  int32_t height = fLineHeight * fRows + 2 + 2 * RoundToInt(fLineHeight * 0.1);
  if (titleShown) height += fTitleHeight + 4;
  if (symbolShadow > fLineHeight / 6) height += symbolShadow - fLineHeight / 6;
  if (!Vertical() && Alignment == laBottom && !custom)
    ShapeBounds.Top = ShapeBounds.Bottom - height;
  else
    ShapeBounds.Bottom = ShapeBounds.Top + height;

  int32_t width = 0;
  if (Vertical()) {
    width = textWidth + 12 + fSymbolWidth + (Symbol.Visible ? 2 + symbolShadow : 0) + (checks ? kCheckBoxRoom : 0);
    width = std::max(width, titleWidth);
    if (!custom) {
      if (Alignment == laLeft) {
        ShapeBounds.Left = cr.Left + fw + 1;
      } else {
        ShapeBounds.Right = cr.Right - shadowH - fw - 1;
        ShapeBounds.Left = ShapeBounds.Right - width;
      }
    }
    ShapeBounds.Right = ShapeBounds.Left + width;
  } else {
    width = (fColumns - 1) * 6 + 4 + fColumns * (textWidth + fSymbolWidth) + 8 + 2 * fColumns +
            (checks ? fColumns * kCheckBoxRoom + 4 : 0);
    width = std::min(std::max(width, titleWidth), cr.Right - cr.Left);
    if (!custom)
      ShapeBounds.Left = (cr.Left + cr.Right) / 2 - width / 2 + RoundToInt(TopPos * (cr.Right - cr.Left - width) * 0.01);
    ShapeBounds.Right = ShapeBounds.Left + width;
  }
  if (custom) {
    const TRect db = chart->DrawBounds();
    ShapeBounds = {ShapeBounds.Left + db.Left, ShapeBounds.Top + db.Top, ShapeBounds.Right + db.Left,
                   ShapeBounds.Bottom + db.Top};
  }
  if (OnGetLegendRect) OnGetLegendRect(*this, ShapeBounds);

  TChartCustomShape::Draw();
  fItemsTop = ShapeBounds.Top + (titleShown ? fTitleHeight + 4 : 0);
  if (titleShown) DrawTitleText(canvas);

  if (!fItemsCustomised) fItems.clear();
  canvas.SetBackMode(bkTransparent);
  const int32_t shown = std::min(fItemCount, fRows * fColumns);
  for (int32_t n = 0; n < shown; ++n) {
    const int32_t index = Inverted ? fLastValue - n : fFirstValue + n;
    DrawItem(canvas, n, index);
  }

  if (custom) {
    ShapeBounds = saved;
    ShapeBounds.Right = ShapeBounds.Left + width;
    ShapeBounds.Bottom = ShapeBounds.Top + height;
  } else {
    ResizeChartRect();
  }
  canvas.EndGroup();
}

void TCustomChartLegend::DrawTitleText(TChartCanvas3D& canvas) {
  const TRect area{ShapeBounds.Left + 2, ShapeBounds.Top + 2, ShapeBounds.Right - 2, ShapeBounds.Top + 2 + fTitleHeight};
  Title.ShapeBounds = area;
  Title.Draw();
  canvas.SetBackMode(bkTransparent);
  canvas.AssignFont(Title.Font());
  const int32_t th = canvas.FontHeight();
  const int32_t halfW = canvas.TextWidth("W") / 2;
  if (Title.TextFormat() == ttfHtml) {
    std::string all;
    for (size_t i = 0; i < Title.Text.size(); ++i) all += (i ? "\r" : "") + Title.Text[i];
    canvas.TextOutHtml(area.Left + halfW, area.Top, all);
  } else {
    for (size_t i = 0; i < Title.Text.size(); ++i) {
      const std::string& line = Title.Text[i];
      int32_t x = area.Left + halfW;
      if (Title.TextAlignment == taRightJustify) x = area.Right - canvas.TextWidth(line) - halfW;
      if (Title.TextAlignment == taCenter) x = (area.Left + area.Right) / 2 - canvas.TextWidth(line) / 2;
      canvas.TextOut(x, area.Top + static_cast<int32_t>(i) * th, line);
    }
  }
  canvas.AssignFont(Font());
}

void TCustomChartLegend::DrawItem(TChartCanvas3D& canvas, int32_t n, int32_t index) {
  const bool checks = CheckBoxesInUse();
  const int32_t textWidth = fColumnWidths[0] + (fColumnWidths[1] > 0 ? kColumnSpacing + fColumnWidths[1] : 0);
  const int32_t row = Vertical() ? n : n / fColumns;
  int32_t x = ShapeBounds.Left + (checks ? kCheckBoxRoom : 0);
  if (!Vertical()) x += (n % fColumns) * (fSymbolWidth + textWidth + 8 + (checks ? kCheckBoxRoom + 8 : 0));
  int32_t y = fItemsTop + 1 + RoundToInt(fLineHeight * 0.1) + row * fLineHeight + VertSpacing / 2;
  int32_t symbolX = 0, textX = 0;
  if (Symbol.Position == spLeft) {
    symbolX = x + 6;
    textX = symbolX + fSymbolWidth + 6;
  } else {
    textX = x + 6 + (fSymbolWidth == 0 ? 2 : 0);
    symbolX = textX + textWidth + 6;
  }
  if (OnGetLegendPos) OnGetLegendPos(*this, index, x, y, textX);

  canvas.AssignFont(Font());
  const TColor colour = ItemColor(index);
  if (FontSeriesColor)
    if (TCanvas* dc = canvas.GetHandle()) dc->SetTextColor(colour);

  TLegendItem& item = Items(index - fFirstValue);
  std::string text = fTexts[static_cast<size_t>(index - fFirstValue)];
  std::string text2;
  if (const size_t sep = text.find(kColumnSeparator); sep != std::string::npos) {
    text2 = text.substr(sep + 1);
    text.resize(sep);
  }
  if (fItemsCustomised) {
    text = item.fText;
    text2 = item.fText2;
  } else {
    item.fText = text;
    item.fText2 = text2;
  }
  item.Left = textX;
  item.Top = y;
  const bool series = fStyle == lsSeries || fStyle == lsSeriesGroups;
  const bool rightFirst = !series && (TextStyle == ltsLeftValue || TextStyle == ltsLeftPercent ||
                                      TextStyle == ltsXValue || TextStyle == ltsValue || TextStyle == ltsPercent ||
                                      TextStyle == ltsXAndValue || TextStyle == ltsXAndPercent);
  const bool rightSecond = !series && (TextStyle == ltsRightValue || TextStyle == ltsRightPercent ||
                                       TextStyle == ltsXAndValue || TextStyle == ltsXAndPercent);
  item.Align = rightFirst ? TA_RIGHT : TA_LEFT;
  canvas.TextOutHtml(rightFirst ? textX + fColumnWidths[0] - canvas.TextWidth(text) : textX, y, text);
  if (!text2.empty()) {
    const int32_t x2 = textX + fColumnWidths[0] + kColumnSpacing;
    canvas.TextOutHtml(rightSecond ? x2 + fColumnWidths[1] - canvas.TextWidth(text2) : x2, y, text2);
  }

  const bool first = n == 0, last = n == std::min(fItemCount, fRows * fColumns) - 1;
  TRect r{symbolX, (Symbol.Continuous && !first) ? y : y + 2, symbolX + fSymbolWidth,
          y + fLineHeight + 1 - ((Symbol.Continuous && !last) ? 0 : VertSpacing + 3)};
  item.SymbolRect = r;
  if (Symbol.OnDraw) {
    Symbol.OnDraw(*this, index, r);
  } else if (fSymbolWidth > 0) {
    TChartSeries* s = nullptr;
    int32_t valueIndex = -1;
    if (fStyle == lsValues) {
      s = LegendSeries();
      valueIndex = index;
    } else if (fStyle != lsSeriesGroups) {
      const auto listed = ListedSeries();
      if (index < static_cast<int32_t>(listed.size())) s = listed[static_cast<size_t>(index)];
    }
    if (s != nullptr && DrawSeriesSymbol)
      DrawSeriesSymbol(*s, valueIndex, r);
    else if (s != nullptr)
      DrawSeriesLegend(*s, valueIndex, r);
    else
      DrawPlainSymbol(canvas, r, s ? colour : clWhite);
  }
  if (checks)
    if (TCanvas* dc = canvas.GetHandle())
      DrawCheckBox(ShapeBounds.Left + 4, y + (fLineHeight - VertSpacing - 11) / 2 - 1, *dc, ItemChecked(index),
                   fCheckBoxesStyle == cbsCheck);

  if (DividingLines.Visible() && n > 0) {
    canvas.AssignPen(DividingLines);
    if (Vertical()) {
      const int32_t ly = y - VertSpacing / 2;
      canvas.DoHorizLine(ShapeBounds.Left, ShapeBounds.Right, ly);
    } else if (row == 0) {
      canvas.DoVertLine(x, ShapeBounds.Top, ShapeBounds.Bottom - DividingLines.Width() / 2);
    }
  }
}

void TCustomChartLegend::DrawPlainSymbol(TChartCanvas3D& canvas, const TRect& r, TColor colour) {
  if (Symbol.Shadow.Visible()) Symbol.Shadow.DrawRect(canvas, r);
  if (!Symbol.DefaultPen) canvas.AssignPen(Symbol.Pen);
  TCanvas* dc = canvas.GetHandle();
  if (Symbol.Gradient.Visible()) {
    Symbol.Gradient.SetEndColor(colour);
    Symbol.Gradient.Draw(canvas, r);
  } else if (dc != nullptr) {
    dc->SetBrush(TBrush{colour, bsSolid});
  }
  const bool penClear = dc == nullptr || dc->Pen().Style == psClear;
  if (penClear)
    canvas.Rectangle(r.Left, r.Top, r.Right + 1, r.Bottom + 1);
  else
    canvas.RectangleRect(r);
}

void TCustomChartLegend::ResizeChartRect() {
  TCustomAxisPanel* chart = Chart();
  if (!ResizeChart || chart == nullptr) return;
  TRect cr = chart->ChartRect();
  const int32_t w = cr.Right - cr.Left, h = cr.Bottom - cr.Top;
  const int32_t vm = VertMargin != 0 ? VertMargin : RoundToInt(4 * h * 0.01);
  const int32_t hm = HorizMargin != 0 ? HorizMargin : RoundToInt(3 * w * 0.01);
  switch (Alignment) {
    case laTop: {
      const TChartShadow& cs = chart->Shadow();
      cr.Top = ShapeBounds.Bottom + (cs.Visible() ? cs.VertSize() : 0) + vm;
      break;
    }
    case laBottom: cr.Bottom = ShapeBounds.Top - vm; break;
    case laLeft: cr.Left = ShapeBounds.Right + hm; break;
    case laRight: cr.Right = ShapeBounds.Left - hm; break;
  }
  chart->SetChartRect(cr);
  chart->RecalcChartRect();
}

int32_t TCustomChartLegend::Clicked(int32_t x, int32_t y) const {
  if (!PointInRect(ShapeBounds, x, y)) return -1;
  const int32_t shown = std::min(fItemCount, fRows * fColumns);
  if (shown <= 0) return -1;
  const int32_t lh = std::max(fLineHeight, 1);
  const int32_t top = fItemsTop + 1;
  if (y < top) return -1;
  const int32_t row = (y - top) / lh;
  if (Vertical()) {
    if (row >= shown) return -1;
    return fFirstValue + (Inverted ? shown - 1 - row : row);
  }
  const int32_t columns = std::max(fColumns, 1);
  const int32_t band = std::max((ShapeBounds.Right - ShapeBounds.Left) / columns, 1);
  const int32_t column = std::clamp((x - ShapeBounds.Left - 1) / band, 0, columns - 1);
  int32_t index = row * columns + column;
  if (Inverted) index = shown - 1 - index;
  if (index < 0 || index >= shown) return -1;
  return fFirstValue + index;
}

bool TCustomChartLegend::DoCheck(int32_t index) {
  if (!CheckBoxes || index < 0) return false;
  if (fStyle == lsSeriesGroups) {
    if (Groups == nullptr || index >= Groups->Count()) return false;
    if (fCheckBoxesStyle == cbsRadio) {
      for (int32_t g = 0; g < Groups->Count(); ++g) (*Groups)[g].SetActive(g == index ? gaNo : gaYes);
    } else {
      TSeriesGroup& group = (*Groups)[index];
      group.SetActive(group.Active() == gaNo ? gaYes : gaNo);
    }
    return true;
  }
  const auto listed = ListedSeries();
  if (index >= static_cast<int32_t>(listed.size())) return false;
  if (fCheckBoxesStyle == cbsRadio) {
    for (size_t k = 0; k < listed.size(); ++k) listed[k]->SetActive(static_cast<int32_t>(k) == index);
  } else {
    listed[static_cast<size_t>(index)]->SetActive(!listed[static_cast<size_t>(index)]->Active());
  }
  Repaint();
  return true;
}

// ======================================================== [SECTION] Properties

namespace {

constexpr const char* kLegendAlignmentIdents[] = {"laLeft", "laRight", "laTop", "laBottom"};
constexpr const char* kCheckBoxesStyleIdents[] = {"cbsCheck", "cbsRadio"};
constexpr const char* kLegendStyleIdents[] = {"lsAuto", "lsSeries", "lsValues", "lsLastValues", "lsSeriesGroups"};
constexpr const char* kTextStyleIdents[] = {"ltsPlain",   "ltsLeftValue", "ltsRightValue", "ltsLeftPercent",
                                            "ltsRightPercent", "ltsXValue", "ltsValue", "ltsPercent",
                                            "ltsXAndValue",    "ltsXAndPercent"};
constexpr const char* kSymbolPositionIdents[] = {"spLeft", "spRight"};
constexpr const char* kSymbolSizeIdents[] = {"lcsPercent", "lcsPixels"};
constexpr const char* kUnitIdents[] = {"muPercent", "muPixels"};

void WriteSymbol(const TLegendSymbol& symbol, TStreamedProperties& block) {
  if (symbol.Continuous) AddBoolean(block, "Symbol.Continuous", true);
  if (!symbol.DefaultPen) AddBoolean(block, "Symbol.DefaultPen", false);
  symbol.Gradient.WriteProperties(block, "Symbol.Gradient.");
  AddPenUnder(block, symbol.Pen, "Symbol.Pen.");
  if (symbol.Position != spLeft) AddIdent(block, "Symbol.Position", kSymbolPositionIdents[symbol.Position]);
  symbol.Shadow.WriteProperties(block, "Symbol.Shadow.");
  if (symbol.Squared) AddBoolean(block, "Symbol.Squared", true);
  if (!symbol.Visible) AddBoolean(block, "Symbol.Visible", false);
  if (symbol.Width != 20) AddInteger(block, "Symbol.Width", symbol.Width);
  if (symbol.WidthUnits != lcsPercent) AddIdent(block, "Symbol.WidthUnits", kSymbolSizeIdents[symbol.WidthUnits]);
}

void ReadSymbol(TLegendSymbol& symbol, const TStreamedProperties& block) {
  symbol.Continuous = PropertyBoolean(block, "Symbol.Continuous", symbol.Continuous);
  symbol.DefaultPen = PropertyBoolean(block, "Symbol.DefaultPen", symbol.DefaultPen);
  symbol.Gradient.ReadProperties(block, "Symbol.Gradient.");
  ReadPenUnder(symbol.Pen, block, "Symbol.Pen.");
  symbol.Position =
      static_cast<TLegendSymbolPosition>(PropertyIdent(block, "Symbol.Position", kSymbolPositionIdents, symbol.Position));
  symbol.Shadow.ReadProperties(block, "Symbol.Shadow.");
  symbol.Squared = PropertyBoolean(block, "Symbol.Squared", symbol.Squared);
  symbol.Visible = PropertyBoolean(block, "Symbol.Visible", symbol.Visible);
  symbol.Width = PropertyInt32(block, "ColorWidth", symbol.Width);  // the old name of the width
  symbol.Width = PropertyInt32(block, "Symbol.Width", symbol.Width);
  symbol.WidthUnits =
      static_cast<TLegendSymbolSize>(PropertyIdent(block, "Symbol.WidthUnits", kSymbolSizeIdents, symbol.WidthUnits));
}

}  // namespace

void TLegendTitle::WriteProperties(TStreamedProperties& block) const {
  if (!Text.empty()) AddStrings(block, "Text", Text);
  if (TextAlignment != taLeftJustify) AddIdent(block, "TextAlignment", kChartAlignmentIdents[TextAlignment]);
  TChartShape::WriteProperties(block);
}

void TLegendTitle::ReadProperties(const TStreamedProperties& block) {
  Text = PropertyStrings(block, "Text", Text);
  TextAlignment = static_cast<TChartAlignment>(PropertyIdent(block, "TextAlignment", kChartAlignmentIdents, TextAlignment));
  TChartShape::ReadProperties(block);
}

void TChartLegend::WriteProperties(TStreamedProperties& block) const {
  if (Alignment != laRight) AddIdent(block, "Alignment", kLegendAlignmentIdents[Alignment]);
  if (CheckBoxes) AddBoolean(block, "CheckBoxes", true);
  if (fCheckBoxesStyle != cbsCheck) AddIdent(block, "CheckBoxesStyle", kCheckBoxesStyleIdents[fCheckBoxesStyle]);
  if (!CurrentPage) AddBoolean(block, "CurrentPage", false);
  AddPenUnder(block, DividingLines, "DividingLines.");
  if (fFirstValue != 0) AddInteger(block, "FirstValue", fFirstValue);
  if (FontSeriesColor) AddBoolean(block, "FontSeriesColor", true);
  if (HorizMargin != 0) AddInteger(block, "HorizMargin", HorizMargin);
  if (Inverted) AddBoolean(block, "Inverted", true);
  if (LeftPercent != 0) AddInteger(block, "LeftPercent", LeftPercent);
  if (LegendStyle != lsAuto) AddIdent(block, "LegendStyle", kLegendStyleIdents[LegendStyle]);
  if (MaxNumRows != 10) AddInteger(block, "MaxNumRows", MaxNumRows);
  if (PositionUnits != muPixels) AddIdent(block, "PositionUnits", kUnitIdents[PositionUnits]);
  if (!ResizeChart) AddBoolean(block, "ResizeChart", false);
  WriteSymbol(Symbol, block);
  if (TextStyle != ltsLeftValue) AddIdent(block, "TextStyle", kTextStyleIdents[TextStyle]);
  TStreamedProperties title;
  Title.WriteProperties(title);
  AddPropertiesUnder(block, std::move(title), "Title.");
  if (TopPos != 10) AddInteger(block, "TopPos", TopPos);
  if (TopPercent != 0) AddInteger(block, "TopPercent", TopPercent);
  if (VertMargin != 0) AddInteger(block, "VertMargin", VertMargin);
  if (VertSpacing != 0) AddInteger(block, "VertSpacing", VertSpacing);
  TChartCustomShapePosition::WriteProperties(block);
}

void TChartLegend::ReadProperties(const TStreamedProperties& block) {
  // Into a detached copy first: the legend takes it only when all was good.
  TChartLegend copy(nullptr);
  copy.Assign(*this);
  copy.Alignment =
      static_cast<TLegendAlignment>(PropertyIdent(block, "Alignment", kLegendAlignmentIdents, copy.Alignment));
  copy.CheckBoxes = PropertyBoolean(block, "CheckBoxes", copy.CheckBoxes);
  copy.fCheckBoxesStyle = static_cast<TCheckBoxesStyle>(
      PropertyIdent(block, "CheckBoxesStyle", kCheckBoxesStyleIdents, copy.fCheckBoxesStyle));
  copy.CurrentPage = PropertyBoolean(block, "CurrentPage", copy.CurrentPage);
  ReadPenUnder(copy.DividingLines, block, "DividingLines.");
  copy.SetFirstValue(PropertyInt32(block, "FirstValue", copy.fFirstValue));
  copy.FontSeriesColor = PropertyBoolean(block, "FontSeriesColor", copy.FontSeriesColor);
  copy.HorizMargin = PropertyInt32(block, "HorizMargin", copy.HorizMargin);
  copy.Inverted = PropertyBoolean(block, "Inverted", copy.Inverted);
  copy.LeftPercent = PropertyInt32(block, "LeftPercent", copy.LeftPercent);
  copy.LegendStyle = static_cast<TLegendStyle>(PropertyIdent(block, "LegendStyle", kLegendStyleIdents, copy.LegendStyle));
  copy.MaxNumRows = PropertyInt32(block, "MaxNumRows", copy.MaxNumRows);
  copy.PositionUnits = static_cast<TChartUnits>(PropertyIdent(block, "PositionUnits", kUnitIdents, copy.PositionUnits));
  copy.ResizeChart = PropertyBoolean(block, "ResizeChart", copy.ResizeChart);
  ReadSymbol(copy.Symbol, block);
  copy.TextStyle = static_cast<TLegendTextStyle>(PropertyIdent(block, "TextStyle", kTextStyleIdents, copy.TextStyle));
  const TStreamedProperties title = PropertiesUnder(block, "Title.");
  if (!title.empty()) copy.Title.ReadProperties(title);
  copy.TopPos = PropertyInt32(block, "TopPos", copy.TopPos);
  copy.TopPercent = PropertyInt32(block, "TopPercent", copy.TopPercent);
  copy.VertMargin = PropertyInt32(block, "VertMargin", copy.VertMargin);
  copy.VertSpacing = PropertyInt32(block, "VertSpacing", copy.VertSpacing);
  copy.TChartCustomShapePosition::ReadProperties(block);
  Assign(copy);
  Repaint();
}

}  // namespace qira

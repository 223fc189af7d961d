#include "model/SectionExports.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <string_view>
#include <utility>

#include "model/Dxf.h"
#include "model/GraphMain.h"
#include "model/Section.h"
#include "model/SectionGroup.h"
#include "model/StreamHelpers.h"
#include "platform/AvailableMemory.h"
#include "platform/BinaryStream.h"
#include "platform/Canvas.h"
#include "platform/NumberText.h"
#include "platform/Rounding.h"
#include "xls/XlsWorkbook.h"

// Sections: colour classes; hooks; cell walks and number text; XYZ tables; blocks
// tables; workbooks; DXF; preview; group exports; menu commands.

namespace qira {

namespace {

// ---- Hooks --------------------------------------------------------------------------

TExportSaveDialog& SaveDialogHook() {
  static TExportSaveDialog dialog;
  return dialog;
}

TExportColorDialog& ColorDialogHook() {
  static TExportColorDialog dialog;
  return dialog;
}

// ---- Cell walks and number text -------------------------------------------------------

bool Finite(const TSurveyPoint& p) { return std::isfinite(p.X) && std::isfinite(p.Y) && std::isfinite(p.Z); }

// Every shown cell centre in row order: visit(north, east, elevation, value).
template <class F>
void ForEachShownNode(const TGraphSection& section, F&& visit) {
  for (int i = 0; i < section.RowCount; ++i) {
    for (int j = 0; j < section.ColCount; ++j) {
      double n = 0, e = 0, z = 0, v = 0;
      if (!section.GetNode(i, j, n, e, z, v)) continue;
      if (!std::isfinite(n) || !std::isfinite(e) || !std::isfinite(z) || !std::isfinite(v)) continue;
      visit(n, e, z, v);
    }
  }
}

// Every shown cell with finite corners in row order: visit(a, b, c, d, value).
template <class F>
void ForEachShownCell(const TGraphSection& section, F&& visit) {
  for (int i = 0; i < section.RowCount; ++i) {
    for (int j = 0; j < section.ColCount; ++j) {
      TSurveyPoint a, b, c, d;
      double v = 0;
      if (!section.GetCell(i, j, a, b, c, d, v)) continue;
      if (!Finite(a) || !Finite(b) || !Finite(c) || !Finite(d) || !std::isfinite(v)) continue;
      visit(a, b, c, d, v);
    }
  }
}

// Every classified cell, as ForEachShownCell, with its class.
template <class F>
void ForEachClassifiedCell(const TGraphSection& section, const TClassLimits& limits, F&& visit) {
  ForEachShownCell(section, [&](const TSurveyPoint& a, const TSurveyPoint& b, const TSurveyPoint& c,
                                const TSurveyPoint& d, double v) {
    int cls = -1;
    if (ClassOfValue(section, limits, cls, v)) visit(cls, a, b, c, d, v);
  });
}

std::string PadLeft(const std::string& s, size_t width) {
  return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

std::string Fixed2(double x) { return FloatToStrFixed(2, x); }
// The value as the tables write it: " 1.234E+03".
std::string ValueText(double v) { return FloatToStrExp(4, 2, v); }
// The logarithm column; a value without a logarithm leaves the field empty.
bool HasLog(double v) { return v > 0; }

constexpr const char* kCrLf = "\r\n";

// A table's text made a row at a time into a sink (TTextSink): false once a write
// failed. A file is written as it goes, never held whole in memory.
using TTableWriter = std::function<bool(const TTextSink&)>;

// The table's text in one string (what the file would hold).
std::string TableText(const TTableWriter& write) {
  std::string text;
  write([&text](std::string_view row) {
    text += row;
    return true;
  });
  return text;
}

// Writes the table into the file atomically, row by row, or raises with the text
// the user is shown; the old file stays on failure.
void WriteTextFile(const std::string& fileName, const TTableWriter& write) {
  std::string error;
  if (!WriteFileAtomicAsItGoes(fileName, write, &error))
    throw ESectionExportError(CannotFileText("create", fileName, error));
}

// ---- Headers ------------------------------------------------------------------------

std::vector<std::string> XYZHeaders(const TGraphSection& section) {
  std::vector<std::string> headers{"X", "Y", "Z", "APP_RES"};
  if (section.HasLogColumn()) headers.push_back("LOG(VALUE)");
  return headers;
}

const std::array<const char*, 6> kBlocksHeaders{"SURFACE", "COLOR", "NORTHING", "EASTING", "ELEVATION", "VALUE"};

std::string JoinedByComma(const std::vector<std::string>& items) {
  std::string line;
  for (size_t k = 0; k < items.size(); ++k) line += (k ? "," : "") + items[k];
  return line;
}

// The corners of a block in ring order a, b, d, c, a.
std::array<const TSurveyPoint*, 5> BlockRing(const TSurveyPoint& a, const TSurveyPoint& b, const TSurveyPoint& c,
                                              const TSurveyPoint& d) {
  return {&a, &b, &d, &c, &a};
}

// ---- Workbooks ----------------------------------------------------------------------

// Library list indexes of the number formats the tables use.
constexpr int32_t kFormatFixed2 = 2;     // "0.00"
constexpr int32_t kFormatExponent = 10;  // "0.00E+00"
constexpr int32_t kFormatText = 35;      // "@"
constexpr uint8_t kAlignRight = 3;

constexpr int32_t kLastSheetRow = 65535;  // the last row a sheet can hold

// What a workbook holds while it is filled: a 16-byte record per cell, with room
// for the row index and the list's growth, and the tables, pools and buffers of
// any workbook. The file itself goes to disk as it is written.
constexpr double kWorkbookBytesPerCell = 24;
constexpr double kWorkbookBytesFixed = 8.0 * 1024 * 1024;

// Refuses a workbook of `numbers` number cells and `texts` text cells, before
// anything is built, when a workbook file cannot hold it or the memory available
// cannot.
void CheckWorkbook(int64_t numbers, int64_t texts) {
  const int64_t cells = numbers + texts;
  if (WorkbookCellBytes(numbers, texts) > kMaxWorkbookFileBytes)
    throw ESectionExportError(WorkbookFileLimitText("The workbook of " + FormatInteger(cells) + " cells"));
  const double needed = static_cast<double>(cells) * kWorkbookBytesPerCell + kWorkbookBytesFixed;
  const auto neededBytes = SaturateCast<int64_t>(std::ceil(needed));
  if (MemoryFits(neededBytes)) return;
  throw ESectionExportError(TooLargeText("The workbook of " + FormatInteger(cells) + " cells", "written", neededBytes));
}

void FormatColumn(TSheet& sheet, int32_t index, double width, int32_t format) {
  TColumn& column = sheet.Columns().Items(index);
  column.SetWidth(width);
  column.SetNumberFormat(format);
  column.SetHorizontalAlignment(kAlignRight);
}

void WriteHeaderCell(TSheet& sheet, int32_t column, const std::string& text) {
  TCell& cell = sheet.Cells().Items(0, column);
  cell.SetNumberFormat(kFormatText);
  cell.SetValueUtf8(text);
}

// A table whose rows run on over as many sheets as they need: the first sheet is
// named by the frequency, the next ones "<name> (2)", "(3)", ..., each formatted
// alike with the header row repeated.
class TPagedTable {
 public:
  // prepare formats a new sheet and writes its header; records start at firstRow.
  TPagedTable(TXLSFile& file, const TGraphSection& section, int32_t firstRow, std::function<void(TSheet&)> prepare)
      : file_(file), name_(section.GetFrequencyText()), firstRow_(firstRow), prepare_(std::move(prepare)) {
    sheet_ = &file_.Workbook().Sheets().Items(0);
    sheet_->SetNameUtf8(name_);
    prepare_(*sheet_);
    row_ = firstRow_;
  }

  // The first row of a record of `rows` rows, on a new sheet when the current one
  // cannot hold it whole; then `advance` rows are passed.
  int32_t Next(int32_t rows, int32_t advance) {
    if (row_ + rows - 1 > kLastSheetRow) {
      sheet_ = &file_.Workbook().Sheets().Add(Utf8ToWide(name_ + " (" + FormatInteger(++pages_) + ")"));
      prepare_(*sheet_);
      row_ = firstRow_;
    }
    const int32_t first = row_;
    row_ += advance;
    return first;
  }
  TCells& Cells() { return sheet_->Cells(); }

 private:
  TXLSFile& file_;
  std::string name_;
  int32_t firstRow_;
  std::function<void(TSheet&)> prepare_;
  TSheet* sheet_ = nullptr;
  int32_t row_ = 0;
  int pages_ = 1;
};

// ---- Group files --------------------------------------------------------------------

std::string WholeKHzText(const TGraphSection& section) {
  return FormatInteger(SaturateCast<int64_t>(std::trunc(static_cast<double>(section.Frequency) / 1000.0)));
}

// The frequency in kHz with 8 significant digits, as the section names it.
std::string KHzText(const TGraphSection& section) {
  std::string text = section.GetFrequencyText();
  const std::string unit = " kHz";
  if (text.size() >= unit.size() && text.compare(text.size() - unit.size(), unit.size(), unit) == 0)
    text.erase(text.size() - unit.size());
  return text;
}

std::string ReplaceSeparators(std::string text) {
  std::replace(text.begin(), text.end(), '.', '_');
  std::replace(text.begin(), text.end(), ',', '_');
  return text;
}

// Runs an export; what it raised is told to the user as an error.
template <class F>
void Reported(F&& work) {
  try {
    work();
  } catch (const std::bad_alloc&) {
    ShowMessageDlg(SectionOutOfMemoryText(), 1);
  } catch (const std::exception& e) {
    ShowMessageDlg(e.what(), 1);
  }
}

}  // namespace

// ---- Colour classes -------------------------------------------------------------------

const std::array<TColorClass, ColorClassCount>& ColorClasses() {
  static const std::array<TColorClass, ColorClassCount> classes{{
      {MakeColor(128, 0, 0), "RED", "Red:"},
      {MakeColor(255, 0, 0), "LTRED", "Light Red:"},
      {MakeColor(255, 159, 64), "ORANGE", "Orange:"},
      {MakeColor(255, 255, 0), "YELLOW", "Yellow:"},
      {MakeColor(128, 255, 128), "LTGREEN", "Light Green:"},
      {MakeColor(0, 255, 0), "GREEN", "Green:"},
      {MakeColor(0, 255, 255), "CYAN", "Cyan:"},
      {MakeColor(0, 0, 255), "LTBLUE", "Light Blue:"},
      {MakeColor(0, 0, 128), "BLUE", "Blue:"},
  }};
  return classes;
}

void DefaultClassLimits(const TGraphSection& section, TClassLimits& limits) {
  std::array<double, ColorClassCount> values{};
  for (int k = 0; k < ColorClassCount; ++k) values[k] = section.Palette.ValueOfColor(ColorClasses()[k].Color);
  for (int k = 0; k + 1 < ColorClassCount; ++k) {
    const double b = section.Palette.Logarithmic() ? std::sqrt(values[k] * values[k + 1])
                                                   : (values[k] + values[k + 1]) / 2;
    limits[2 * k] = b;
    limits[2 * k + 1] = b;
  }
}

bool LimitsDescend(const TClassLimits& limits) { return limits[0] > limits[15]; }

bool ClassOfValue(const TGraphSection& section, const TClassLimits& limits, int& cls, double v) {
  cls = -1;
  if (!section.IsShown(v)) return false;
  const bool descending = LimitsDescend(limits);
  // Every interval holds its lower bound, so a boundary value goes to the class above it.
  auto between = [v](double a, double b) { return std::min(a, b) <= v && v < std::max(a, b); };
  if (descending ? v >= limits[0] : v < limits[0]) {
    cls = 0;
  } else {
    for (int k = 1; k <= 7 && cls < 0; ++k)
      if (between(limits[2 * k - 1], limits[2 * k])) cls = k;
    if (cls < 0 && (descending ? v < limits[15] : v >= limits[15])) cls = 8;
  }
  return cls >= 0;
}

// ---- Hooks ----------------------------------------------------------------------------

void SetExportSaveDialog(TExportSaveDialog dialog) { SaveDialogHook() = std::move(dialog); }

std::optional<TExportTarget> ExecuteExportSaveDialog(TExportFileKind kind, const std::string& fileName,
                                                     const std::string& title, bool group) {
  const TExportSaveDialog& dialog = SaveDialogHook();
  if (!dialog) return std::nullopt;
  return dialog(kind, fileName, title, group);
}

void SetExportColorDialog(TExportColorDialog dialog) { ColorDialogHook() = std::move(dialog); }

bool ExecuteExportColorDialog(const std::string& caption, TClassLimits& limits, bool mustBePositive,
                              const std::vector<TPreviewCallback>& callbacks) {
  const TExportColorDialog& dialog = ColorDialogHook();
  return dialog && dialog(caption, limits, mustBePositive, callbacks);
}

// ---- XYZ tables -----------------------------------------------------------------------
// Columns: easting under "X", northing under "Y", elevation under "Z", the value,
// and with DataKind 3 its decimal logarithm.

namespace {

bool WriteXYZTableText(const TGraphSection& section, bool metric, const TTextSink& out) {
  const double f = UnitFactor(metric);
  const bool log = section.HasLogColumn();
  std::string row;
  for (const std::string& header : XYZHeaders(section)) row += PadLeft(header, 12);
  row += kCrLf;
  bool ok = out(row);
  ForEachShownNode(section, [&](double n, double e, double z, double v) {
    if (!ok) return;
    row = PadLeft(Fixed2(e * f), 12) + PadLeft(Fixed2(n * f), 12) + PadLeft(Fixed2(z * f), 12);
    row += PadLeft(ValueText(v), 12);
    if (log) row += PadLeft(HasLog(v) ? ValueText(std::log10(v)) : std::string(), 12);
    row += kCrLf;
    ok = out(row);
  });
  return ok;
}

bool WriteXYZTableCSV(const TGraphSection& section, bool metric, const TTextSink& out) {
  const double f = UnitFactor(metric);
  const bool log = section.HasLogColumn();
  std::string row = JoinedByComma(XYZHeaders(section)) + kCrLf;
  bool ok = out(row);
  ForEachShownNode(section, [&](double n, double e, double z, double v) {
    if (!ok) return;
    row = Fixed2(e * f) + "," + Fixed2(n * f) + "," + Fixed2(z * f) + "," + TrimSpaces(ValueText(v));
    if (log) row += "," + (HasLog(v) ? TrimSpaces(ValueText(std::log10(v))) : std::string());
    row += kCrLf;
    ok = out(row);
  });
  return ok;
}

}  // namespace

std::string XYZTableText(const TGraphSection& section, bool metric) {
  return TableText(std::bind_front(WriteXYZTableText, std::cref(section), metric));
}

std::string XYZTableCSV(const TGraphSection& section, bool metric) {
  return TableText(std::bind_front(WriteXYZTableCSV, std::cref(section), metric));
}

void ExportXYZText(const TGraphSection& section, const std::string& fileName, bool metric) {
  WriteTextFile(fileName, std::bind_front(WriteXYZTableText, std::cref(section), metric));
}

void ExportXYZCSV(const TGraphSection& section, const std::string& fileName, bool metric) {
  WriteTextFile(fileName, std::bind_front(WriteXYZTableCSV, std::cref(section), metric));
}

void ExportXYZValuesSheet(const TGraphSection& section, const std::string& fileName, bool metric) {
  const double f = UnitFactor(metric);
  const bool log = section.HasLogColumn();
  const std::vector<std::string> headers = XYZHeaders(section);
  int64_t numbers = 0;
  ForEachShownNode(section, [&](double, double, double, double v) { numbers += log && HasLog(v) ? 5 : 4; });
  CheckWorkbook(numbers, 0);
  TXLSFile file;
  TPagedTable table(file, section, 1, [&headers](TSheet& sheet) {
    for (int32_t c = 0; c < static_cast<int32_t>(headers.size()); ++c) {
      FormatColumn(sheet, c, 14.0, c < 3 ? kFormatFixed2 : kFormatExponent);
      WriteHeaderCell(sheet, c, headers[static_cast<size_t>(c)]);
    }
  });
  ForEachShownNode(section, [&](double n, double e, double z, double v) {
    const int32_t row = table.Next(1, 1);
    TCells& cells = table.Cells();
    cells.Items(row, 0).SetValue(e * f);
    cells.Items(row, 1).SetValue(n * f);
    cells.Items(row, 2).SetValue(z * f);
    cells.Items(row, 3).SetValue(v);
    if (log && HasLog(v)) cells.Items(row, 4).SetValue(std::log10(v));
  });
  file.SaveAs(fileName);
}

void ExportXYZ(const TGraphSection& section, const std::string& fileName, bool metric, int filterIndex) {
  switch (filterIndex) {
    case 1: ExportXYZText(section, fileName, metric); break;
    case 2: ExportXYZCSV(section, fileName, metric); break;
    case 3: ExportXYZValuesSheet(section, fileName, metric); break;
    default: break;
  }
}

// ---- Blocks tables --------------------------------------------------------------------
// Each classified cell is a closed ring of five corner rows a, b, d, c, a, each row
// "SURFACE", the class name, northing, easting, elevation and the cell's value.

namespace {

bool WriteBlocksTableText(const TGraphSection& section, const TClassLimits& limits, bool metric,
                          const TTextSink& out) {
  const double f = UnitFactor(metric);
  std::string row = PadLeft(kBlocksHeaders[0], 7) + PadLeft(kBlocksHeaders[1], 10);
  for (size_t k = 2; k < kBlocksHeaders.size(); ++k) row += PadLeft(kBlocksHeaders[k], 12);
  row += kCrLf;
  bool ok = out(row);
  ForEachClassifiedCell(section, limits, [&](int cls, const TSurveyPoint& a, const TSurveyPoint& b,
                                             const TSurveyPoint& c, const TSurveyPoint& d, double v) {
    if (!ok) return;
    // A block: an empty line, then its ring.
    row = kCrLf;
    const std::string value = PadLeft(ValueText(v), 12);
    for (const TSurveyPoint* p : BlockRing(a, b, c, d)) {
      row += PadLeft("SURFACE", 7) + PadLeft(ColorClasses()[cls].Name, 10);
      row += PadLeft(Fixed2(p->X * f), 12) + PadLeft(Fixed2(p->Y * f), 12) + PadLeft(Fixed2(p->Z * f), 12);
      row += value + kCrLf;
    }
    ok = out(row);
  });
  return ok;
}

bool WriteBlocksTableCSV(const TGraphSection& section, const TClassLimits& limits, bool metric,
                         const TTextSink& out) {
  const double f = UnitFactor(metric);
  std::string row = JoinedByComma(std::vector<std::string>(kBlocksHeaders.begin(), kBlocksHeaders.end())) + kCrLf;
  bool ok = out(row);
  ForEachClassifiedCell(section, limits, [&](int cls, const TSurveyPoint& a, const TSurveyPoint& b,
                                             const TSurveyPoint& c, const TSurveyPoint& d, double v) {
    if (!ok) return;
    row = std::string(",,,,,") + kCrLf;
    const std::string value = TrimSpaces(ValueText(v));
    for (const TSurveyPoint* p : BlockRing(a, b, c, d)) {
      row += std::string("SURFACE,") + ColorClasses()[cls].Name + "," + Fixed2(p->X * f) + "," +
             Fixed2(p->Y * f) + "," + Fixed2(p->Z * f) + "," + value + kCrLf;
    }
    ok = out(row);
  });
  return ok;
}

}  // namespace

std::string BlocksTableText(const TGraphSection& section, const TClassLimits& limits, bool metric) {
  return TableText(std::bind_front(WriteBlocksTableText, std::cref(section), std::cref(limits), metric));
}

std::string BlocksTableCSV(const TGraphSection& section, const TClassLimits& limits, bool metric) {
  return TableText(std::bind_front(WriteBlocksTableCSV, std::cref(section), std::cref(limits), metric));
}

void ExportBlocksText(const TGraphSection& section, const TClassLimits& limits, const std::string& fileName,
                      bool metric) {
  WriteTextFile(fileName, std::bind_front(WriteBlocksTableText, std::cref(section), std::cref(limits), metric));
}

void ExportBlocksCSV(const TGraphSection& section, const TClassLimits& limits, const std::string& fileName,
                     bool metric) {
  WriteTextFile(fileName, std::bind_front(WriteBlocksTableCSV, std::cref(section), std::cref(limits), metric));
}

void ExportBlocksSheet(const TGraphSection& section, const TClassLimits& limits, const std::string& fileName,
                       bool metric) {
  const double f = UnitFactor(metric);
  int64_t blocks = 0;
  ForEachClassifiedCell(section, limits, [&blocks](int, const TSurveyPoint&, const TSurveyPoint&, const TSurveyPoint&,
                                                   const TSurveyPoint&, double) { ++blocks; });
  // Five rows of a block: two texts and four numbers in each.
  CheckWorkbook(blocks * 5 * 4, blocks * 5 * 2);
  TXLSFile file;
  TPagedTable table(file, section, 2, [](TSheet& sheet) {
    for (int32_t c = 0; c < 6; ++c) {
      FormatColumn(sheet, c, 12.0, c < 2 ? kFormatText : (c < 5 ? kFormatFixed2 : kFormatExponent));
      WriteHeaderCell(sheet, c, kBlocksHeaders[static_cast<size_t>(c)]);
    }
  });
  ForEachClassifiedCell(section, limits, [&](int cls, const TSurveyPoint& a, const TSurveyPoint& b,
                                             const TSurveyPoint& c, const TSurveyPoint& d, double v) {
    // Five ring rows and one empty row between blocks; a ring never straddles sheets.
    int32_t row = table.Next(5, 6);
    TCells& cells = table.Cells();
    for (const TSurveyPoint* p : BlockRing(a, b, c, d)) {
      cells.Items(row, 0).SetValueUtf8("SURFACE");
      cells.Items(row, 1).SetValueUtf8(ColorClasses()[cls].Name);
      cells.Items(row, 2).SetValue(p->X * f);
      cells.Items(row, 3).SetValue(p->Y * f);
      cells.Items(row, 4).SetValue(p->Z * f);
      cells.Items(row, 5).SetValue(v);
      ++row;
    }
  });
  file.SaveAs(fileName);
}

void ExportBlocksAs(const TGraphSection& section, const TClassLimits& limits, const std::string& fileName,
                    bool metric, int filterIndex) {
  switch (filterIndex) {
    case 1: ExportBlocksText(section, limits, fileName, metric); break;
    case 2: ExportBlocksCSV(section, limits, fileName, metric); break;
    case 3: ExportBlocksSheet(section, limits, fileName, metric); break;
    default: break;
  }
}

bool ExportBlocks(TGraphSection& section, const std::string& fileName, bool metric, int filterIndex) {
  TClassLimits limits{};
  DefaultClassLimits(section, limits);
  const std::vector<TPreviewCallback> callbacks{PreviewCallbackOf(section)};
  if (!ExecuteExportColorDialog(section.GetPairName() + " " + section.GetFrequencyText(), limits,
                                section.DataKind != 3, callbacks))
    return false;
  ExportBlocksAs(section, limits, fileName, metric, filterIndex);
  return true;
}

// ---- DXF ------------------------------------------------------------------------------

std::string DXFLayerName(const TGraphSection& section) { return ReplaceSeparators(KHzText(section) + "kHz"); }

bool WriteDXFFaces(TGraphSection& section, TBinaryStream& file, bool metric) {
  const double f = UnitFactor(metric);
  if (section.Palette.AutoRange()) section.Palette.SetRange(section.DataMin, section.DataMax);
  const std::string layer = DXFLayerName(section);
  // Laid out once: a logarithmic palette then takes no logarithm per cell.
  const TValueColors colours(section.Palette);
  bool ok = true;
  auto face = [&](const std::string& colour, const std::array<const TSurveyPoint*, 4>& corners) {
    ok = ok && WriteDXFGroup(file, 0, "3DFACE") && WriteDXFGroup(file, 8, layer) &&
         WriteDXFGroup(file, 62, colour) && WriteDXFGroup(file, 100, "AcDbFace");
    for (int32_t k = 0; k < 4 && ok; ++k) {
      // DXF x is the easting, y the northing, z the elevation.
      ok = WriteDXFGroup(file, 10 + k, Fixed2(corners[k]->Y * f)) &&
           WriteDXFGroup(file, 20 + k, Fixed2(corners[k]->X * f)) &&
           WriteDXFGroup(file, 30 + k, Fixed2(corners[k]->Z * f));
    }
  };
  ForEachShownCell(section, [&](const TSurveyPoint& a, const TSurveyPoint& b, const TSurveyPoint& c,
                                const TSurveyPoint& d, double v) {
    if (!ok) return;
    const std::string colour = FormatInteger(ColorToAci(colours.DisplayColorOf(v)));
    face(colour, {&a, &b, &d, &a});
    face(colour, {&a, &d, &c, &a});
  });
  return ok;
}

bool ExportDXF(TGraphSection& section, const std::string& fileName, bool metric) {
  std::string error;
  if (WriteDXFFile(fileName, [&](TBinaryStream& file) { return WriteDXFFaces(section, file, metric); }, &error))
    return true;
  if (error.empty()) return false;  // the user's No
  throw ESectionExportError(CannotFileText("create", fileName, error));
}

// ---- Preview --------------------------------------------------------------------------

double MeanAzimuth(const TGraphSection& section) {
  double sumN = 0, sumE = 0;
  for (int k = 0; k <= section.RowCount; ++k) {
    const TSurveyPoint p = section.BoundaryPoint(k, 0);
    const TSurveyPoint q = section.BoundaryPoint(k, 1);
    const double dN = q.X - p.X, dE = q.Y - p.Y;
    const double length = std::sqrt(dN * dN + dE * dE);
    if (length > 0) {
      sumN += dN / length;
      sumE += dE / length;
    }
  }
  return std::atan2(sumE, sumN);
}

namespace {

double ProjectOnAzimuth(const TGraphSection& section, double azimuth, double north, double east) {
  const TSurveyPoint origin = section.BoundaryPoint(0, 0);
  const double dN = north - origin.X, dE = east - origin.Y;
  return std::cos(std::atan2(dE, dN) - azimuth) * std::sqrt(dN * dN + dE * dE);
}

}  // namespace

double ProjectDistance(const TGraphSection& section, double north, double east) {
  return ProjectOnAzimuth(section, MeanAzimuth(section), north, east);
}

double BoundaryDistance(const TGraphSection& section, int k, double f) {
  const TSurveyPoint p = section.BoundaryPoint(k, f);
  return ProjectDistance(section, p.X, p.Y);
}

void DrawPreview(const TGraphSection& section, TCanvas& canvas, const TClassLimits& limits, int left, int top,
                 int right, int bottom, double& frequency) {
  frequency = section.Frequency;
  if (!Finite(section.BoundsMin) || !Finite(section.BoundsMax)) return;  // no cell holds data
  const double azimuth = MeanAzimuth(section);
  auto distance = [&](const TSurveyPoint& p) { return ProjectOnAzimuth(section, azimuth, p.X, p.Y); };
  const double d1 = distance(section.BoundsMin), d2 = distance(section.BoundsMax);
  const double dmin = std::min(d1, d2), dmax = std::max(d1, d2);
  const double zlow = std::min(section.BoundsMin.Z, section.BoundsMax.Z);
  const double zhigh = std::max(section.BoundsMin.Z, section.BoundsMax.Z);

  const double width = static_cast<double>(right) - left + 1;
  const double height = static_cast<double>(bottom) - top + 1;
  if (width <= 0 || height <= 0) return;
  double scale = 0;
  if ((dmax - dmin) / width > (zhigh - zlow) / height)
    scale = width / (dmax - dmin) * 0.98;
  else if (zhigh > zlow)
    scale = height / (zhigh - zlow) * 0.98;
  else
    return;  // no extent on either axis: no picture to scale
  const double centreD = (dmin + dmax) / 2, centreZ = (zlow + zhigh) / 2;
  const double centreX = (static_cast<double>(left) + right) / 2;
  const double centreY = (static_cast<double>(top) + bottom) / 2;
  auto pixelX = [&](double d) { return RoundToInt((d - centreD) * scale + centreX); };
  auto pixelY = [&](double z) { return RoundToInt(-(z - centreZ) * scale + centreY); };

  canvas.SetPenStyle(psClear);
  canvas.SetBrushStyle(bsSolid);
  const double cols = section.ColCount;
  for (int i = 0; i < section.RowCount; ++i) {
    for (int j = 0; j < section.ColCount; ++j) {
      int cls = -1;
      if (!ClassOfValue(section, limits, cls, section.Value(i, j))) continue;
      auto x = [&](int k, int column) {
        const TSurveyPoint p = section.BoundaryPoint(k, column / cols);
        return pixelX(distance(p));
      };
      const int y1 = pixelY(section.BoundaryPoint(i, 0).Z);
      const int y2 = pixelY(section.BoundaryPoint(i + 1, 0).Z);
      const TPoint corners[4] = {{x(i, j), y1}, {x(i, j + 1), y1}, {x(i + 1, j + 1), y2}, {x(i + 1, j), y2}};
      canvas.SetBrushColor(ColorClasses()[cls].Color);
      canvas.Polygon(corners);
    }
  }
}

TPreviewCallback PreviewCallbackOf(const TGraphSection& section) {
  const TGraphSection* target = &section;
  return [target](TCanvas& canvas, const TClassLimits& limits, int left, int top, int right, int bottom,
                  double& frequency) { DrawPreview(*target, canvas, limits, left, top, right, bottom, frequency); };
}

// ---- Group exports --------------------------------------------------------------------

namespace {
std::atomic<int64_t> gGroupMemberNamesTried{0};
}  // namespace

int64_t GroupMemberNamesTriedForTesting() { return gGroupMemberNamesTried.load(); }

std::string GroupMemberFileName(const std::string& chosen, const TGraphSection& section, TGroupMemberNames& taken) {
  const std::filesystem::path path(chosen);
  const std::string stem = path.stem().string();
  const std::string extension = path.extension().string();
  auto isTaken = [&taken](const std::string& name) {
    gGroupMemberNamesTried.fetch_add(1, std::memory_order_relaxed);
    return taken.Taken.contains(name);
  };
  std::string name = stem + "_" + WholeKHzText(section) + extension;
  if (isTaken(name)) {
    const std::string precise = stem + "_" + ReplaceSeparators(KHzText(section));
    // 1 stands for the name without a counter. A file name holds no NUL.
    int& counter = taken.NextCounter.try_emplace(precise + '\0' + extension, 1).first->second;
    auto numbered = [&](int n) { return n == 1 ? precise + extension : precise + "_" + FormatInteger(n) + extension; };
    name = numbered(counter);
    while (isTaken(name)) name = numbered(++counter);
    ++counter;  // taken below
  }
  taken.Taken.insert(name);
  // The chosen folder explicitly: the current folder of the process is nobody's to rely on.
  return path.has_parent_path() ? (path.parent_path() / name).string() : name;
}

std::vector<std::string> GroupMemberFileNames(const std::string& chosen, const std::vector<TGraphSection*>& sections) {
  TGroupMemberNames taken;
  std::vector<std::string> names;
  names.reserve(sections.size());
  for (const TGraphSection* section : sections) names.push_back(GroupMemberFileName(chosen, *section, taken));
  return names;
}

void ExportXYZ(const std::vector<TGraphSection*>& sections, const std::string& fileName, int filterIndex,
               bool metric) {
  const std::vector<std::string> names = GroupMemberFileNames(fileName, sections);
  for (size_t i = 0; i < sections.size(); ++i) ExportXYZ(*sections[i], names[i], metric, filterIndex);
}

bool ExportBlocks(const std::string& caption, const std::vector<TGraphSection*>& sections,
                  const std::string& fileName, int filterIndex, bool metric) {
  if (sections.empty()) return false;
  const TGraphSection& first = *sections.front();
  TClassLimits limits{};
  DefaultClassLimits(first, limits);
  std::vector<TPreviewCallback> callbacks;
  for (const TGraphSection* section : sections) callbacks.push_back(PreviewCallbackOf(*section));
  if (!ExecuteExportColorDialog(caption, limits, first.DataKind != 3, callbacks)) return false;
  const std::vector<std::string> names = GroupMemberFileNames(fileName, sections);
  for (size_t i = 0; i < sections.size(); ++i) ExportBlocksAs(*sections[i], limits, names[i], metric, filterIndex);
  return true;
}

void ExportDXF(const std::vector<TGraphSection*>& sections, const std::string& fileName, bool metric) {
  const std::vector<std::string> names = GroupMemberFileNames(fileName, sections);
  for (size_t i = 0; i < sections.size(); ++i)
    if (!ExportDXF(*sections[i], names[i], metric)) return;
}

// ---- Menu commands --------------------------------------------------------------------

namespace {

std::optional<TExportTarget> AskTarget(TExportFileKind kind, const std::string& fileName, const std::string& title,
                                       bool group = false) {
  IgnoreNextMouseMove = true;
  return ExecuteExportSaveDialog(kind, fileName, title, group);
}

// The chosen name is not written, the members' files are: those that exist are asked
// about, once, and No returns to the dialog as its own question would.
std::optional<TExportTarget> AskGroupTarget(TExportFileKind kind, const std::vector<TGraphSection*>& sections,
                                            const std::string& fileName, const std::string& title) {
  std::string proposed = fileName;
  for (;;) {
    std::optional<TExportTarget> target = AskTarget(kind, proposed, title, true);
    if (!target || MayReplaceExistingFiles(GroupMemberFileNames(target->FileName, sections))) return target;
    proposed = target->FileName;
  }
}

std::string SectionTitle(const TGraphSection& section, const char* what) {
  return section.GetPairName() + " " + section.GetFrequencyText() + what;
}

std::vector<TGraphSection*> SectionsOf(TGraphSectionGroup& group) {
  std::vector<TGraphSection*> sections;
  group.CollectSections(sections);
  return sections;
}

constexpr const char* kXYZTitle = " XYZ values sheet export";
constexpr const char* kBlocksTitle = " blocks sheet export";
constexpr const char* kDXFTitle = " DXF export";

}  // namespace

void XYZExportClick(TGraphSection& section) {
  const std::optional<TExportTarget> target =
      AskTarget(TExportFileKind::Table, section.GetExportFileName(), SectionTitle(section, kXYZTitle));
  if (!target) return;
  Reported([&] { ExportXYZ(section, target->FileName, target->Metric, target->FilterIndex); });
}

void BlocksExportClick(TGraphSection& section) {
  const std::optional<TExportTarget> target =
      AskTarget(TExportFileKind::Table, section.GetExportFileName(), SectionTitle(section, kBlocksTitle));
  if (!target) return;
  Reported([&] { ExportBlocks(section, target->FileName, target->Metric, target->FilterIndex); });
}

void DXFExportClick(TGraphSection& section) {
  const std::optional<TExportTarget> target =
      AskTarget(TExportFileKind::Dxf, section.GetExportFileName(), SectionTitle(section, kDXFTitle));
  if (!target) return;
  Reported([&] { ExportDXF(section, target->FileName, target->Metric); });
}

void XYZExportClick(TGraphSectionGroup& group) {
  const std::vector<TGraphSection*> sections = SectionsOf(group);
  if (sections.empty()) return;
  const std::optional<TExportTarget> target = AskGroupTarget(TExportFileKind::Table, sections, group.GetExportFileName(),
                                                             sections.front()->GetPairName() + kXYZTitle);
  if (!target) return;
  Reported([&] { ExportXYZ(sections, target->FileName, target->FilterIndex, target->Metric); });
}

void BlocksExportClick(TGraphSectionGroup& group) {
  const std::vector<TGraphSection*> sections = SectionsOf(group);
  if (sections.empty()) return;
  const std::optional<TExportTarget> target = AskGroupTarget(TExportFileKind::Table, sections, group.GetExportFileName(),
                                                             sections.front()->GetPairName() + kBlocksTitle);
  if (!target) return;
  Reported([&] { ExportBlocks(group.Name(), sections, target->FileName, target->FilterIndex, target->Metric); });
}

void DXFExportClick(TGraphSectionGroup& group) {
  const std::vector<TGraphSection*> sections = SectionsOf(group);
  if (sections.empty()) return;
  const std::optional<TExportTarget> target = AskGroupTarget(TExportFileKind::Dxf, sections, group.GetExportFileName(),
                                                             sections.front()->GetPairName() + kDXFTitle);
  if (!target) return;
  Reported([&] { ExportDXF(sections, target->FileName, target->Metric); });
}

void RegisterSectionExportCommands() {
  RegisterSectionExport(TSectionExport::BlocksTable, [](TGraphSection& s) { BlocksExportClick(s); });
  RegisterSectionExport(TSectionExport::XYZTable, [](TGraphSection& s) { XYZExportClick(s); });
  RegisterSectionExport(TSectionExport::Dxf, [](TGraphSection& s) { DXFExportClick(s); });
  RegisterSectionGroupExport(TSectionExport::BlocksTable, [](TGraphSectionGroup& g) { BlocksExportClick(g); });
  RegisterSectionGroupExport(TSectionExport::XYZTable, [](TGraphSectionGroup& g) { XYZExportClick(g); });
  RegisterSectionGroupExport(TSectionExport::Dxf, [](TGraphSectionGroup& g) { DXFExportClick(g); });
}

}  // namespace qira

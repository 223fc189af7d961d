#pragma once
// The exports of a section and of a section group: the XYZ values table and the
// closed coloured blocks table, each as fixed-width text (*.dat), comma separated
// values (*.csv) or a workbook (*.xls); the section as DXF 3D faces; and the colour
// class preview that the colour-class dialog shows.
//
// Sections of this header: units and colour classes; dialog hooks; tables; DXF;
// preview; group exports; menu commands.
//
// Conventions of every export:
//   - lengths are in metres, or multiplied by FeetPerMetre for "British units
//     (feet)"; values are never scaled;
//   - only shown cells are written (a value of 0 is no data and never written);
//     a cell whose corners or value are not finite is skipped as well;
//   - number text never follows the locale ('.' always);
//   - every file is written atomically: a failure leaves the old file as it was and
//     raises ESectionExportError (or the workbook writer's error) with the text the
//     user is shown.
//   - a workbook that the memory available cannot hold while it is filled is
//     refused with ESectionExportError before anything is built or written.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/CanvasTypes.h"
#include "platform/SeededHash.h"

namespace qira {

class TCanvas;
class TBinaryStream;
class TGraphSection;
class TGraphSectionGroup;

// ---- Units and colour classes -----------------------------------------------------

inline constexpr double FeetPerMetre = 3.2808398950131235;
// 1 for metric, FeetPerMetre otherwise.
inline constexpr double UnitFactor(bool metric) { return metric ? 1.0 : FeetPerMetre; }

inline constexpr int ColorClassCount = 9;

struct TColorClass {
  TColor Color;
  const char* Name;   // written into the blocks tables
  const char* Label;  // the row label of the colour-class dialog
};
// Classes 0 (dark red) to 8 (dark blue).
const std::array<TColorClass, ColorClassCount>& ColorClasses();

// L[0..15], in either order. Ascending (L[0] <= L[15]): class 0 holds V < L[0],
// class 8 V >= L[15]. Descending (L[0] > L[15], as the default limits of a palette
// whose red end is its maximum): class 0 holds V >= L[0], class 8 V < L[15].
// Class k (1..7) holds min(L[2k-1], L[2k]) <= V < max(L[2k-1], L[2k]). A value in
// no interval (a gap left by edited limits) has no class.
using TClassLimits = std::array<double, 16>;
// True when the limits run from high to low (L[0] > L[15]): class 0 is then the
// high end, "and more", and class 8 the low end, "and less".
bool LimitsDescend(const TClassLimits& limits);

// Boundaries between the palette values of neighbouring class colours: geometric
// means on a logarithmic palette, arithmetic means otherwise; L[2k] = L[2k+1].
void DefaultClassLimits(const TGraphSection& section, TClassLimits& limits);
// False (cls = -1) for a cell that is not shown or a value in no class; classes are
// tested from 0 to 8, so with overlapping limits the lower class number wins. A
// value on a boundary goes to the class of the higher values.
bool ClassOfValue(const TGraphSection& section, const TClassLimits& limits, int& cls, double v);

// ---- Dialog hooks -------------------------------------------------------------------

// Which save dialog an export asks for.
enum class TExportFileKind { Table, Dxf };

// What the export save dialog returns on OK.
struct TExportTarget {
  std::string FileName;  // the chosen path, with its extension completed
  int FilterIndex = 1;   // tables: 1 text, 2 CSV, 3 workbook
  bool Metric = true;    // "Metric units (meters)" was chosen
};

// The export save dialog: (kind, proposed file name, title, group) -> the target, or
// nothing on Cancel. A group export (group true) never writes the chosen name itself,
// only its members' files beside it, and asks about those: its dialog does not ask
// about the chosen name. Installed by the user interface; without one every export
// does nothing.
using TExportSaveDialog =
    std::function<std::optional<TExportTarget>(TExportFileKind kind, const std::string& fileName,
                                               const std::string& title, bool group)>;
void SetExportSaveDialog(TExportSaveDialog dialog);
std::optional<TExportTarget> ExecuteExportSaveDialog(TExportFileKind kind, const std::string& fileName,
                                                     const std::string& title, bool group);

// Paints the classes of one section into the rectangle (right and bottom inclusive)
// and returns the section's frequency in Hz.
using TPreviewCallback = std::function<void(TCanvas& canvas, const TClassLimits& limits, int left, int top,
                                            int right, int bottom, double& frequency)>;

// The colour-class dialog: (caption, limits, every limit must be above 0, one
// preview callback per section) -> true on OK with the limits the user entered; on
// Cancel the limits stay as they were. Installed by the user interface; without one
// no blocks table is written.
using TExportColorDialog = std::function<bool(const std::string& caption, TClassLimits& limits,
                                              bool mustBePositive,
                                              const std::vector<TPreviewCallback>& callbacks)>;
void SetExportColorDialog(TExportColorDialog dialog);
bool ExecuteExportColorDialog(const std::string& caption, TClassLimits& limits, bool mustBePositive,
                              const std::vector<TPreviewCallback>& callbacks);

// ---- Tables -------------------------------------------------------------------------

// An export that could not be written; what() is the text the user is shown.
class ESectionExportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The file contents of the text and CSV forms (lines end with CR LF).
std::string XYZTableText(const TGraphSection& section, bool metric);
std::string XYZTableCSV(const TGraphSection& section, bool metric);
std::string BlocksTableText(const TGraphSection& section, const TClassLimits& limits, bool metric);
std::string BlocksTableCSV(const TGraphSection& section, const TClassLimits& limits, bool metric);

// Each writes one file atomically; raises on failure.
void ExportXYZText(const TGraphSection& section, const std::string& fileName, bool metric);
void ExportXYZCSV(const TGraphSection& section, const std::string& fileName, bool metric);
// Sheet named by the frequency text; columns 0..3 (4 with the log column) 14
// characters wide, "0.00" and "0.00E+00", right-aligned; header in row 0 as text.
// Rows past a sheet's last (65535) go on in further sheets of the same workbook,
// "<name> (2)", "(3)", ..., formatted alike with the header repeated.
void ExportXYZValuesSheet(const TGraphSection& section, const std::string& fileName, bool metric);
void ExportBlocksText(const TGraphSection& section, const TClassLimits& limits, const std::string& fileName,
                      bool metric);
void ExportBlocksCSV(const TGraphSection& section, const TClassLimits& limits, const std::string& fileName,
                     bool metric);
// Columns 0..5 12 characters wide: two text columns, three "0.00", one "0.00E+00";
// the first block in rows 2..6, each next six rows lower; a block that would pass
// a sheet's last row starts the next sheet, as with the values sheet.
void ExportBlocksSheet(const TGraphSection& section, const TClassLimits& limits, const std::string& fileName,
                       bool metric);

// By filter index: 1 text, 2 CSV, 3 workbook; any other index writes nothing.
void ExportXYZ(const TGraphSection& section, const std::string& fileName, bool metric, int filterIndex);
void ExportBlocksAs(const TGraphSection& section, const TClassLimits& limits, const std::string& fileName,
                    bool metric, int filterIndex);
// Default limits, the colour-class dialog (caption pair + frequency, limits above 0
// unless DataKind is 3, this section's preview), then ExportBlocksAs. False when the
// dialog was cancelled.
bool ExportBlocks(TGraphSection& section, const std::string& fileName, bool metric, int filterIndex);

// ---- DXF ----------------------------------------------------------------------------

// The DXF layer of a section: kHz with 8 significant digits + "kHz", '.' and ','
// replaced by '_' (12500 Hz gives "12_5kHz").
std::string DXFLayerName(const TGraphSection& section);
// Two 3DFACE entities (triangles a-b-d and a-d-c, the fourth corner repeating the
// first) per shown cell, coloured by the nearest colour index of the cell's display
// colour. Applies an automatic palette range first, as building does. False when a
// write failed.
bool WriteDXFFaces(TGraphSection& section, TBinaryStream& file, bool metric);
// The whole drawing, atomically; raises on failure. False, nothing written, when the
// user would not have its texts stored with "?" (WriteDXFFile).
bool ExportDXF(TGraphSection& section, const std::string& fileName, bool metric);

// ---- Preview ------------------------------------------------------------------------

// atan2 of the summed unit directions (easting, northing) of every row boundary
// of non-zero length.
double MeanAzimuth(const TGraphSection& section);
// Signed distance of the survey point (north, east) from end 1 of row boundary 0,
// projected on the mean azimuth.
double ProjectDistance(const TGraphSection& section, double north, double east);
// The projected distance of the point at fraction f along row boundary k.
double BoundaryDistance(const TGraphSection& section, int k, double f);
// The classified cells as polygons in their class colours, the section's bounds
// filling 98 % of the rectangle's limiting side, centred, elevation upwards; no
// outline. Paints nothing when the bounds are empty or have no extent on both axes.
// frequency receives the section's frequency in Hz.
void DrawPreview(const TGraphSection& section, TCanvas& canvas, const TClassLimits& limits, int left, int top,
                 int right, int bottom, double& frequency);
// The preview callback of a section; the section must outlive it.
TPreviewCallback PreviewCallbackOf(const TGraphSection& section);

// ---- Group exports ------------------------------------------------------------------

// The file of one section of a group export: the chosen file's folder, its name
// without extension + "_" + the whole kHz, and its extension. A name that an earlier
// section of the same export took (two frequencies with the same whole kHz) gets the
// kHz with its decimals ('.' as '_'), then a counter.
struct TGroupMemberNames {
  TSeededStringSet Taken;
  // Names are only added: every counter below the one kept here for a name with
  // decimals (and its extension) is taken, so the next section of it starts there.
  TSeededStringMap<int> NextCounter;
};
std::string GroupMemberFileName(const std::string& chosen, const TGraphSection& section, TGroupMemberNames& taken);
// The files a group export writes for the chosen name, one per section in order.
std::vector<std::string> GroupMemberFileNames(const std::string& chosen, const std::vector<TGraphSection*>& sections);
// Test hook: how many names, in this process, a group export has looked up among those taken.
int64_t GroupMemberNamesTriedForTesting();
// Every section into its own file; stops at the first failure (files already written
// stay) by raising.
void ExportXYZ(const std::vector<TGraphSection*>& sections, const std::string& fileName, int filterIndex,
               bool metric);
// One colour-class dialog (caption the group's name, default limits of the first
// section, one preview per section), then every section with the same limits. False
// when there is no section or the dialog was cancelled.
bool ExportBlocks(const std::string& caption, const std::vector<TGraphSection*>& sections,
                  const std::string& fileName, int filterIndex, bool metric);
// Each section's drawing in turn, up to the first the user would not have written.
void ExportDXF(const std::vector<TGraphSection*>& sections, const std::string& fileName, bool metric);

// ---- Menu commands ------------------------------------------------------------------

// The export save dialog, then the export; a failure is shown to the user as an
// error. Nothing happens for a group without sections. A group's export asks once
// about its members' files that exist (MayReplaceExistingFiles); No returns to the
// dialog with the name as chosen.
void XYZExportClick(TGraphSection& section);
void BlocksExportClick(TGraphSection& section);
void DXFExportClick(TGraphSection& section);
void XYZExportClick(TGraphSectionGroup& group);
void BlocksExportClick(TGraphSectionGroup& group);
void DXFExportClick(TGraphSectionGroup& group);

// Registers the six click commands behind the "E&xport" submenus of sections and
// section groups. Calling it again is harmless.
void RegisterSectionExportCommands();

}  // namespace qira

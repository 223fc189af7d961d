#pragma once
// The section object (type id 4): one measurement between two boreholes at one
// frequency, a vertical grid of cells (rows along the vertical, columns along the
// line from borehole 1 to borehole 2) holding one value each. It draws itself as a
// coloured sheet of two meshes (front and back) through its own palette, either
// shaded between cell centres ("Gradient") or as flat cells ("Cells"). A cell value
// of 0 means no data: such a cell is never drawn and never counts for the bounds.
//
// Sections of this header: section file texts and errors; TSectionSettings and the
// dialog hook; export hooks; TGraphSection; the section file reader.
//
// Section file *.sec (read only), little-endian:
//   "QIRA 3D SECTION" (15 raw bytes) | chunk header: int32 version (0 or 1), int32 end |
//   string Borehole1 | string Borehole2 | float32 Frequency | int32 DataKind |
//   palette value table (byte, int32 N, int32 intensity, N x {float32, colour}) |
//   int32 ColCount | int32 RowCount | double StartZ | double EndZ |
//   double palette Min | double palette Max | [version >= 1: byte logarithmic] |
//   X1, X2, Y1, Y2 (RowCount+1 doubles each) | Values (RowCount rows of ColCount doubles).
//
// Own chunk in project files (version 0, behind the common record):
//   "Section" (7 raw bytes) | string Borehole1 | string Borehole2 | float32 Frequency |
//   int32 DataKind | int32 ColCount | int32 RowCount | X1, X2, Y1, Y2 |
//   double StartZ | double EndZ | Values | double DataMin | double DataMax |
//   palette chunk | bytes ShowAboveMax, ShowBelowMin, ImageStyle, FillMode,
//   PaletteForAll, StyleForAll, FillForAll.
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/BuiltNode.h"
#include "model/GraphMain.h"
#include "model/Palette.h"
#include "model/SurveyPoint.h"

namespace qira {

class TBinaryStream;
class TGLMesh;
class TSharedVertices;

// ---- Section file texts and errors -----------------------------------------------

inline constexpr const char* kSectionFileSignature = "QIRA 3D SECTION";
inline constexpr const char* kSectionWrongFormat = "File has wrong format";
inline constexpr const char* kSectionVersionNotSupported = "Version of the file is not supported";
inline constexpr const char* kSectionCannotOpen = "Can not open file";
inline constexpr const char* kSectionFileFilter =
    "3D QIRA section files (*.sec)|*.sec|All files (*.*)|*.*";

// A section file that cannot be read; what() is the text the user is shown.
class ESectionFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// ---- Display settings and the dialog hook -------------------------------------------

// The display record exchanged with the section dialog and between sections. Beside
// it travels the transparency pair of the base object.
struct TSectionSettings {
  TZBPalette Palette;
  bool ShowAboveMax = true;   // "Show more maximum": cells above the palette's Max are drawn
  bool ShowBelowMin = true;   // "Show less minimum": cells below the palette's Min are drawn
  uint8_t ImageStyle = 0;     // 0 Gradient, otherwise Cells
  uint8_t FillMode = 0;       // 0 Solid, 1 Lines, 2 Points
  bool PaletteForAll = true;  // palette, ShowAboveMax and ShowBelowMin flagged "Accept for all"
  bool StyleForAll = true;    // ImageStyle flagged "Accept for all"
  bool FillForAll = true;     // FillMode flagged "Accept for all"
};

// The section dialog: (caption, data range, record, pair) -> true on OK with the
// record and pair as the user left them; on Cancel both stay as they were. dataMin =
// +infinity means no data range is known (a section group's dialog). Installed by the
// user interface.
using TSectionEditor = std::function<bool(const std::string& caption, double dataMin, double dataMax,
                                          TSectionSettings& settings, TTransparencyParams& pair)>;
void SetSectionEditor(TSectionEditor editor);
// Runs the installed dialog; false (nothing changed) while none is installed.
bool ExecuteSectionDialog(const std::string& caption, double dataMin, double dataMax,
                          TSectionSettings& settings, TTransparencyParams& pair);

// ---- Export hooks -----------------------------------------------------------------

// The three exports of a section's (and a section group's) "E&xport" menu.
enum class TSectionExport { BlocksTable, XYZTable, Dxf };
inline constexpr int kSectionExportCount = 3;
// The captions of the export items, in menu order.
const char* SectionExportCaption(TSectionExport which);

class TGraphSection;
using TSectionExportAction = std::function<void(TGraphSection& section)>;
// Registers (or, with an empty action, removes) a section export; the menu shows an
// unregistered export disabled.
void RegisterSectionExport(TSectionExport which, TSectionExportAction action);

// ---- TGraphSection ----------------------------------------------------------------

class TGraphSection : public TGraphMain {
 public:
  // Type id 4, exclusive, AcceptForAll on, every "for all" flag on, both "show" flags
  // on, Gradient, Solid, a new (zero) palette, no meshes, empty names and grid.
  TGraphSection();
  ~TGraphSection() override;

  // -- Data (the grid is never edited after loading).
  std::string Borehole1;
  std::string Borehole2;
  float Frequency = 0;    // Hz
  int32_t DataKind = 0;   // 3 gives the XYZ tables a LOG(VALUE) column
  int32_t ColCount = 0;   // cells along the line between the boreholes
  int32_t RowCount = 0;   // cell rows along the vertical
  // Row boundary i runs from (X1[i], Y1[i]) to (X2[i], Y2[i]); RowCount+1 entries each.
  std::vector<double> X1, X2, Y1, Y2;
  double StartZ = 0;      // elevation of row boundary 0
  double EndZ = 0;        // elevation of row boundary RowCount
  // RowCount rows of ColCount values; 0 means no data.
  std::vector<std::vector<double>> Values;

  // -- Drawing.
  TBuiltNode<TGLMesh> FrontMesh;
  TBuiltNode<TGLMesh> BackMesh;
  TZBPalette Palette;
  bool ShowAboveMax = true;
  bool ShowBelowMin = true;
  uint8_t ImageStyle = 0;
  uint8_t FillMode = 0;
  bool PaletteForAll = true;
  bool StyleForAll = true;
  bool FillForAll = true;
  // The data range handed to the dialog and to an automatic-range palette.
  double DataMin = 0;
  double DataMax = 0;

  // -- Cells.
  // The value of cell (i, j); 0 (no data) outside the grid.
  double Value(int i, int j) const;
  // Drawn and exported: a value other than 0 (and not NaN) inside the palette range,
  // or beyond it on a side whose "show" flag is set.
  bool IsShown(double v) const;
  // The survey point at fraction f along row boundary k.
  TSurveyPoint BoundaryPoint(int k, double f) const;
  // The centre of cell (i, j). v is always set; the position only when the result is
  // true, which it is when the cell is inside the grid and shown.
  bool GetNode(int i, int j, double& x, double& y, double& z, double& v) const;
  // The corners of cell (i, j): a, b on boundary i at j/ColCount and (j+1)/ColCount,
  // c, d on boundary i+1 likewise. Result and v as GetNode.
  bool GetCell(int i, int j, TSurveyPoint& a, TSurveyPoint& b, TSurveyPoint& c, TSurveyPoint& d,
               double& v) const;
  // Bounds of corners a and d of every cell that holds data (shown or not).
  void CalcBounds();
  // DataMin and DataMax from the values that hold data (finite, not 0); both 0 when
  // there are none.
  void CalcDataRange();

  // -- Names.
  // Borehole1 + " - " + Borehole2.
  std::string GetPairName() const;
  // Frequency/1000 with 8 significant digits (general format) + " kHz".
  std::string GetFrequencyText() const;
  // The boreholes without blanks, '-' and '_', "name1-name2_" + whole kHz.
  std::string GetExportFileName() const;
  bool HasLogColumn() const { return DataKind == 3; }

  // -- Settings.
  // The record gets a copy of the palette and the flags; the pair the transparency.
  void GetSettings(TSectionSettings& settings, TTransparencyParams& pair) const;
  // Takes each group of settings whose "for all" flag is set (every group with
  // force), rebuilding or refreshing only when something changed. With force the
  // section also stores the flags of the record and the pair.
  void ApplySettings(const TSectionSettings& settings, const TTransparencyParams& pair, bool force);
  // `apply` (which gives sections settings, ApplySettings) run when the edit it makes
  // fits, counted on every section of the tree (ApplySettingsCounted). False, nothing
  // changed, when refused.
  bool ApplySettingsIfTheyFit(const std::function<void()>& apply);

  // -- Operations of the base.
  float SortFrequency() const override { return Frequency; }
  // Children first; the automatic range; then, with a context, both meshes drawing
  // one new sheet of shared points. A section whose sheet would not fit into the
  // memory available, or whose building runs out of memory, is refused with a
  // message and left without meshes; its data stay as they were.
  void Build(bool recursive) override;
  bool SaveToStream(TBinaryStream& handle) override;
  // False after a newer chunk, a chunk whose first field is not "Section", or one
  // whose grid an open's count does not take (ExpectChunkFields; the handle then
  // stands behind the record). Throws EStreamError on a damaged record.
  bool LoadFromStream(TBinaryStream& handle) override;
  // The sheet it is drawn with (as SectionMemoryNeeded counts it), its palette and
  // meshes; its triangles in the frame's bins.
  int64_t DrawnBytes() const override;
  int64_t BinnedBytes() const override;
  int64_t FrameBinnedBytes() const override;
  bool DrawingHeld() const override;
  // The base's, and the grid, names and stops as read.
  int64_t OpenedBytes() const override;
  // Frees both meshes, empties names and grid, a new palette, then the base clear.
  void Clear() override;
  // The base menu, then "E&xport" with the three exports.
  void FillMenu(TObjectMenu& menu) override;
  // Each mesh shows exactly when the section is not hidden; a shown mesh takes the
  // polygon mode of FillMode.
  void UpdateVisibility() override;
  // The section dialog; on OK, when the edit fits, the settings are applied and the
  // flagged groups spread over the whole tree. True on OK.
  bool Edit() override;
  // From another section: each group whose flag is set in source.
  void CopySettingsFrom(const TGraphMain& source) override;

  // The record of the older project layout (no base record). False after a newer
  // chunk, a wrong first field or a grid an open's count does not take; throws
  // EStreamError on a damaged record.
  bool LoadOldLayout(TBinaryStream& handle);

 private:
  void FreeMeshes();
  // The points and triangles both meshes draw; raises std::bad_alloc or
  // std::length_error when they cannot be held.
  std::shared_ptr<TSharedVertices> BuildSheet() const;
};

// ---- Memory ------------------------------------------------------------------------

// Bytes a section of rows x cols cells in imageStyle takes at its peak until after
// its first frame (its sheet while built, then the sheet and the drawing's copy of
// its points, and its triangles in the frame's bins), and, unless the grid is
// already loaded, the grid itself. The section tests
// measure a built and drawn section against it.
double SectionMemoryNeeded(int32_t rows, int32_t cols, bool gridLoaded, uint8_t imageStyle);
// Told when memory runs out while a section is exported (the check before could not
// foresee what others took in the meantime), with what is available now.
std::string SectionOutOfMemoryText();
// The one refusal of a section the memory cannot hold: what it needs weighed
// against what is available now plus `reusable` (MemoryShortfallClause), also when
// an allocation failed though the count let it through.
std::string SectionMemoryText(int32_t rows, int32_t cols, bool gridLoaded, uint8_t imageStyle, double reusable = 0);
// Why a section of rows x cols cells cannot be shown in the memory available now
// (AvailableMemoryForStep, plus `reusable` bytes the build frees first); empty when it
// can. Cheap for a small section: it reads the limits' figures once per 256 KB weighed.
std::string SectionMemoryProblem(int32_t rows, int32_t cols, bool gridLoaded, uint8_t imageStyle,
                                 double reusable = 0);

// ---- Section file reader -------------------------------------------------------------

// Reads a section file from the stream's position: an unbuilt section without parent,
// named by its frequency, with its bounds and data range. Throws ESectionFileError
// with the text the user is shown (also for a section too large for the memory
// available, before its grid is read); nothing half-read is returned.
std::unique_ptr<TGraphSection> ReadSectionFile(TBinaryStream& stream);
// Null, silently, for a missing file; null after showing the error for a file that
// cannot be read.
std::unique_ptr<TGraphSection> LoadSectionFile(const std::string& utf8Path);
// The open dialog (folder from and back to ImportPath), then LoadSectionFile; null on
// Cancel.
std::unique_ptr<TGraphSection> OpenSectionFile();

}  // namespace qira

#pragma once
// DXF drawings (text form): the reader that turns 3DFACE, POINT and LINE entities
// into surfaces, points and lines objects, with the layers' colours from the LAYER
// table; the AutoCAD Color Index conversions; the writer routines of the section
// export; and the "Objects from D&XF" command.
//
// A drawing is a sequence of groups, each a code line (an integer) and a value line.
// Sections: reader (TDXF); colour index; writer; import command.
//
// Coordinates: DXF X is East, Y North, Z Elevation; objects keep survey order
// (North, East, Elevation). Number text never follows the locale: values are read
// with '.' or ',' as the decimal separator and written with '.'.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "model/DrawCosts.h"
#include "model/SurveyPoint.h"
#include "platform/AvailableMemory.h"
#include "platform/CanvasTypes.h"
#include "platform/SeededHash.h"

namespace qira {

class TBinaryStream;
class TBinaryFile;
class TDXFGroups;
class TDXFNamePrints;
class TGraphMain;

// ---- Reader -------------------------------------------------------------------------

struct TDXFLayer {
  std::string Name;
  TColor Color = 0;
};

// The longest line a drawing may hold; a longer one means the file is no DXF text.
inline constexpr int32_t MaxDXFLineLength = 65536;

// The filter of the DXF open dialog.
inline constexpr const char* DXFFileFilter =
    "Drawing eXchange Format files (*.dxf)|*.DXF|All files (*.*)|*.*";

class TDXF {
 public:
  TDXF();
  // Frees the objects the caller did not take over.
  ~TDXF();
  TDXF(const TDXF&) = delete;
  TDXF& operator=(const TDXF&) = delete;

  // The open dialog in the import folder; on OK the folder is remembered and the
  // file read (ReadDXF). False on Cancel.
  bool Execute();
  // Reads the drawing: one object per run of consecutive entities of one kind on
  // one layer, named after the layer. True when at least one object was made. A
  // missing file gives false without a message. A damaged drawing (a group code
  // that is no integer, a line longer than MaxDXFLineLength, control characters)
  // shows "File <name> has invalid format" as an error and gives false with no
  // object and no unknown entity; a file that cannot be opened shows the system's
  // reason. The entity that the end of the file cuts (neither a group 0 nor a DOS
  // end mark follows it) is dropped, since the groups it lacks may be ones the file
  // lost; the entities before it are kept. A drawing whose import (DxfImportBytes,
  // counted as it is read) passes the memory there was when the reading began, or
  // whose reading the limits' own figures show using that memory up first (a count
  // short of what the allocator gives; TMemoryWatch), is refused with
  // ImportMemoryProblem's text, telling the larger of the count and what was
  // measured, and no object: once the count passes, the
  // reader lets go of all it made and reads on keeping nothing but the names'
  // fingerprints (within a quarter of that memory), only counting, so the refusal tells
  // the whole drawing's count while the refused read stays within the memory. In
  // an entity read through, a Z group left out holds 0 (2-D drawings have no Z); a
  // 3DFACE without its fourth corner repeats the third; an entity that leaves out the
  // X or Y of a point it uses, or has a coordinate that is no number, is dropped.
  bool ReadDXF(const std::string& fileName);

  int ObjectCount() const { return static_cast<int>(objects_.size()); }
  // Object index in the order completed; null outside 0..count-1.
  TGraphMain* Objects(int index) const;
  // Hands every object over; the reader then holds none.
  std::vector<std::unique_ptr<TGraphMain>> TakeObjects();
  // The distinct names of unsupported entity kinds, upper case, in the order met: how
  // many, and the first MaxListedNames of them, all that the message lists (a drawing
  // may hold millions). UnknownEntity takes an index below UnknownEntities().size().
  int UnknownCount() const { return static_cast<int>(unknownNames_.size()); }
  const std::string& UnknownEntity(int index) const { return unknownEntities_.at(static_cast<size_t>(index)); }
  const std::vector<std::string>& UnknownEntities() const { return unknownEntities_; }
  const std::string& FileName() const { return fileName_; }
  const std::vector<TDXFLayer>& Layers() const { return layers_; }
  // True when the last ReadDXF met a damaged drawing.
  bool Damaged() const { return damaged_; }
  // True when the last ReadDXF read the drawing through, whether or not it made
  // objects.
  bool Completed() const { return completed_; }
  // Off: ReadDXF reads without counting its memory, so without refusing anything.
  // On by default; for measuring what the count costs the reading.
  void SetCountMemory(bool on) { countMemory_ = on; }

 private:
  // -- Groups (read through TDXFGroups, the parsing the count shares).
  bool AtEnd() const;
  void ReadDXFPair();
  bool IsEntityStart() const;
  double ValueAsFloat() const;
  void ValueAsInteger(int32_t& target) const;
  std::string UpperValue() const;
  std::string ValueText() const;

  // -- Sections and entities.
  // Reads the pairs after an entity's or record's name up to the next entity start
  // (not consumed), handing each group code to onGroup with the pair current. False
  // when the file ended first without marking its end: the entity was cut.
  template <class OnGroup>
  bool ReadEntityGroups(OnGroup onGroup);
  void ReadLayer();
  void AddLayer(const std::string& name, TColor color);
  const TDXFLayer* FindLayer(const std::string& name) const;
  void Read3DFace();
  void ReadPoint();
  void ReadLineEntity();
  // Counts an element of kind T on layer, with a new object at a change of kind or
  // layer, then makes Current such an object (finishing another first) and returns it;
  // null when only counting.
  template <class T>
  T* ElementOf(const std::string& layer);
  // Gives the element just added its colour by the colour number.
  template <class T, class SetColor>
  void ColorElement(T& object, int32_t colorNumber, const std::string& layer, SetColor setColor);
  void FinishObject();
  void AddUnknown(const std::string& name);
  void Reset();
  // Sections, layers and entities up to the end of the entities.
  void ReadGroups();
  // Adds bytes to what the import is counted to take; once the count passes the room
  // there was when the reading began, or the limits' figures say the room is used up
  // (watch_), lets go of all that was kept (KeepNothing).
  void Take(int64_t bytes);
  // A need of this moment alone (a container's old array beside its new one): checked
  // with the room as Take, not added to the count.
  void Need(int64_t bytes);
  // Counts one more entry of a container the reader fills (or, only counting, would):
  // first its growth beside what it holds (Need), then what it holds after, with
  // entryBytes of the entry's own (Take).
  void TakeEntry(TContainerCount& container, int64_t entryBytes);
  // What a switch to counting would make beside what is held: the fingerprints of
  // every name kept, counted from the names' counts, so alike in either mode.
  int64_t SwitchBytes() const;
  // From here on only counts: frees the objects, layers and unknown names and keeps
  // the names' fingerprints instead (TDXFNamePrints), enough to tell a name met before.
  void KeepNothing();
  friend int64_t DxfImportBytes(const std::string& fileName);

  std::vector<std::unique_ptr<TGraphMain>> objects_;
  std::unique_ptr<TGraphMain> current_;
  std::string fileName_;
  std::unique_ptr<TBinaryFile> file_;
  std::unique_ptr<TDXFGroups> groups_;
  // The first unknown names met, as many as the message lists.
  std::vector<std::string> unknownEntities_;
  std::vector<TDXFLayer> layers_;
  // Every unknown name met, to tell a new one, with the order it was met in: a drawing
  // may hold any number of them, and each entity looks its own up. Both tables are
  // keyed by the drawing's names, so they hash under the process's seed.
  TSeededStringMap<size_t> unknownNames_;
  TSeededStringMap<size_t> layerIndex_;
  bool damaged_ = false;
  bool completed_ = false;
  // The count of the import as it is read: what was taken, what its first frame draws,
  // the memory there was, and the kind (its costs) and layer of the object the last
  // element went to.
  int64_t counted_ = 0;
  // The most the count reached, with what a growth needed at its moment: what the
  // import is told to need.
  int64_t peak_ = 0;
  // What the layer list, the layer index and the unknown names' index hold, counted
  // from their sizes: they grow as counted (GrowAsCounted).
  TContainerCount layersCount_ = TContainerCount::Array(sizeof(TDXFLayer));
  TContainerCount layerIndexCount_ = TContainerCount::HashTable(sizeof(std::pair<const std::string, size_t>));
  TContainerCount unknownNamesCount_ = TContainerCount::HashTable(sizeof(std::pair<const std::string, size_t>));
  TFrameContent countedFrame_;
  // The memory there was when the reading began, and the look at what the process
  // really holds as it reads: no refusal hangs on the count's being exact.
  TMemoryWatch watch_{0};
  bool countMemory_ = true;
  // Nothing is made or kept, only counted: past the room, or in DxfImportBytes. Layers
  // and unknown names are then told apart by their fingerprints, which grow within a
  // share of the room checked when the reading began.
  bool countOnly_ = false;
  std::unique_ptr<TDXFNamePrints> prints_;
  // The distinct unknown names counted: the first one brings the message's own text.
  int64_t unknownsCounted_ = 0;
  const void* countedKind_ = nullptr;
  std::string countedLayer_;
};

// The memory an import of the drawing takes, from its reading to the first draw of
// what it adds: the objects as the reader starts them (a change of kind or layer)
// with their names, their elements, the layers and unknown entity names the reader
// keeps and the message that lists the first of those. It is the count the reader itself takes as
// it reads (ReadDXF refuses a drawing whose count passes the memory there was when it
// began, telling this figure), here taken by the reader's own code with nothing built
// or kept, as the reader reads on past the room (names told apart by fingerprints
// within a quarter of the memory there is now). 0 when the file cannot be opened.
int64_t DxfImportBytes(const std::string& fileName);

// The text of the information message after reading a drawing that made no object.
std::string NothingReadMessage(const std::string& fileName);
// A message lists at most MaxListedNames names read from a file, each cut to
// MaxListedNameLength characters: a file may hold millions of names, or names of
// thousands of characters, and the message box must fit the screen.
inline constexpr int MaxListedNames = 20;
inline constexpr int MaxListedNameLength = 100;
// The lines of a message that list names read from a file, of count in all: the first
// MaxListedNames of names, each on a line of its own ending with lineEnd (one longer
// than MaxListedNameLength characters cut there, "..." marking the cut), then, when
// count is more, "and N more" on a line of its own.
std::string ListedNames(const std::vector<std::string>& names, int64_t count, const std::string& lineEnd);

// The text of the information message after an import that met count distinct
// unknown entity names, names the first of them (ListedNames).
std::string UnknownEntitiesMessage(const std::string& fileName, const std::vector<std::string>& names,
                                   int64_t count);

// ---- Colour index -------------------------------------------------------------------

// The AutoCAD Color Index colour, built from the index's structure.
TColor AciToColor(uint8_t index);
// The index whose colour lies nearest (Euclidean over the three bytes); the lowest
// index on a tie, so black gives 0 and white 7.
uint8_t ColorToAci(TColor color);

// ---- Writer -------------------------------------------------------------------------
// Lines end with CR LF; text is written in Windows-1252. Each routine returns false
// when a write failed.

// Two spaces and the code in decimal, then the value.
bool WriteDXFGroup(TBinaryStream& file, int32_t code, const std::string& value);
// A real value in the shortest text that reads back the same; false (nothing
// written) for an infinity or NaN.
bool WriteDXFReal(TBinaryStream& file, int32_t code, double value);
// Empty HEADER, TABLES and BLOCKS sections and the opening of the ENTITIES section.
bool WriteDXFHeader(TBinaryStream& file);
// The end of the ENTITIES section and of the file.
bool WriteDXFFooter(TBinaryStream& file);
// A whole drawing saved atomically: header, writeEntities, footer; the old file stays
// when anything fails. False with the reason in *error. Before anything is made, a
// drawing with texts that Windows-1252 cannot hold whole is asked about
// (WriteKeepsTextOrUserAgrees: writeEntities is run twice); No gives false with
// *error empty and writes nothing.
bool WriteDXFFile(const std::string& path, const std::function<bool(TBinaryStream&)>& writeEntities,
                  std::string* error = nullptr);

// ---- Import command -----------------------------------------------------------------

// "Objects from D&XF" on target: reads a drawing (TDXF::Execute) into a new group
// named after the file (without folder and extension) appended under target, each
// object added sorted; builds it; then lists unknown entity kinds in an information
// message (also when no object was made). A drawing read through that made no
// object is reported (NothingReadMessage, as information). Returns the group, or null.
TGraphMain* ObjectsFromDxfClick(TGraphMain& target);
// Registers ObjectsFromDxfClick as the "Objects from D&XF" create command.
void RegisterDxfCommand();

}  // namespace qira

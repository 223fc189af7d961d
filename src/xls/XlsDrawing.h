#pragma once
// Sheet drawings: the pictures (JPEG, PNG) and cell comments of a workbook as
// the Office drawing layer of BIFF8 — one drawing group in the globals (the
// picture blobs) and per sheet one drawing whose records are spread over
// MSODRAWING records, with OBJ (and for a note TXO and its CONTINUE records)
// between them and one NOTE record per note at the end.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qira {

class TSheet;
class TWorkbook;

// Blob kinds of the drawing format.
inline constexpr uint8_t kBlipJpeg = 5;
inline constexpr uint8_t kBlipPng = 6;

// A picture's kind and size in pixels. JPEG: FF D8 FF and a frame header found
// by walking its marker segments; PNG: the signature and an IHDR chunk. Anything
// else raises EXLSError "Unsupported image file format", a JPEG without a frame
// header "Invalid JPEG file format".
struct TImageInfo {
  uint8_t Kind = 0;
  int32_t Width = 0;
  int32_t Height = 0;
};
TImageInfo ReadImageInfo(const std::string& bytes);

// An anchor corner: a cell and the offset inside it (1/1024 of a column's
// width, 1/256 of a row's height).
struct TAnchorPoint {
  uint16_t Cell = 0;
  uint16_t Offset = 0;
};

// Walks from index start by pixels through the sheet's rows (or columns).
TAnchorPoint WalkRows(TSheet& sheet, int32_t start, int32_t pixels);
TAnchorPoint WalkColumns(TSheet& sheet, int32_t start, int32_t pixels);

struct TMSOBlip {
  std::string Bytes;
  uint8_t Kind = 0;
  std::string FileName;
  int32_t Width = 0, Height = 0;
  uint32_t RefCount = 0;
};

struct TMSOShape {
  int32_t Sheet = 0;
  TAnchorPoint Col1, Row1, Col2, Row2;
  uint16_t ObjectId = 0;
  uint32_t ShapeId = 0;
  bool Note = false;
  int32_t Blob = -1;  // pictures
  uint16_t Row = 0, Col = 0;  // notes
  std::u16string Text, Author;
  std::string Runs;  // TXO formatting runs, 8 bytes each
};

// A record of the stream: id and data.
using TBiffRecordBytes = std::pair<uint16_t, std::string>;

class TMSOData {
 public:
  // Pictures of every sheet in order, then comments of every sheet in order.
  // Comment runs intern their fonts into the workbook's font table.
  void Build(TWorkbook& workbook);
  bool Empty() const { return shapes_.empty(); }
  const std::vector<TMSOBlip>& Blips() const { return blips_; }
  const std::vector<TMSOShape>& Shapes() const { return shapes_; }

  // The drawing group (MSODRAWINGGROUP data); empty without shapes.
  std::string GroupBytes() const;
  // The sheet's drawing records in order; none for a sheet without shapes.
  std::vector<TBiffRecordBytes> SheetRecords(int32_t sheet) const;

  // The blob number of a picture, adding it unless an equal one is there (same
  // file name, or for pictures from bytes the same bytes).
  int32_t AddImage(const std::string& fileName, const std::string& bytes);

 private:
  void Distribute();

  std::vector<TMSOBlip> blips_;
  std::vector<TMSOShape> shapes_;
  std::vector<std::vector<size_t>> bySheet_;
};

}  // namespace qira

#pragma once
// Sheet drawings: the pictures (JPEG, PNG, bitmaps, Windows and enhanced
// metafiles) and cell comments of a workbook as
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

// Blob kinds of the drawing format; 0 is no known kind.
inline constexpr uint8_t kBlipUnknown = 0;
inline constexpr uint8_t kBlipEmf = 2;
inline constexpr uint8_t kBlipWmf = 3;
inline constexpr uint8_t kBlipJpeg = 5;
inline constexpr uint8_t kBlipPng = 6;
inline constexpr uint8_t kBlipDib = 7;

// The kind of a picture file by its first bytes: "BM" a bitmap; FF D8 FF a
// JPEG; the PNG signature; the placeable metafile key D7 CD C6 9A a Windows
// metafile; a first record of type 1 with " EMF" at offset 40 an enhanced
// metafile; anything else kBlipUnknown.
uint8_t DetectImageFormat(const std::string& bytes);

// A picture's kind, size in pixels and the bytes its blob stores.
// JPEG: a frame header found by walking its marker segments, the whole file;
// PNG: the IHDR chunk, the whole file; bitmap: the sizes at offsets 18 and 22,
// the file without its 14-byte header; metafiles: the size from the placeable
// header's box or the enhanced header's frame at 96 pixels per inch, the
// drawing format's metafile header followed by the metafile (a Windows
// metafile without its placeable header).
// An unknown kind or a picture cut short raises EXLSError "Unsupported image
// file format", a JPEG without a frame header "Invalid JPEG file format".
struct TImageInfo {
  uint8_t Kind = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  std::string Blob;
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

// Where a shape lies: its first and last column and row with the offsets inside them.
struct TMSOAnchor {
  TAnchorPoint Col1, Row1, Col2, Row2;
};

// A shape of a sheet drawing: a picture or a note. The two kinds share one
// record; TMSOShapeImage and TMSOShapeComment build it for their kind.
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

  void SetAnchor(const TMSOAnchor& anchor);
};

struct TMSOShapeImage : TMSOShape {
  TMSOShapeImage(int32_t sheet, int32_t blob, const TMSOAnchor& anchor);
};

struct TMSOShapeComment : TMSOShape {
  TMSOShapeComment(int32_t sheet, uint16_t row, uint16_t col, std::u16string text, std::u16string author,
                   std::string runs, const TMSOAnchor& anchor);
};

// The shapes of each sheet (positions in the list of all shapes), with the
// largest shape id given and the largest sheet index that has shapes.
class TMSOShapeMap {
 public:
  // Each shape joins its sheet's list: shape id (sheet + 1) x 1024 + its
  // 1-based position, object id that position.
  void Distribute(std::vector<TMSOShape>& shapes);
  // The sheet's shapes; empty for a sheet without any.
  const std::vector<size_t>& Sheet(int32_t sheet) const;
  int32_t SheetCount() const { return static_cast<int32_t>(bySheet_.size()); }
  uint32_t MaxShapeId() const { return maxShapeId_; }
  int32_t MaxSheet() const { return static_cast<int32_t>(bySheet_.size()) - 1; }

 private:
  std::vector<std::vector<size_t>> bySheet_;
  uint32_t maxShapeId_ = 0;
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

  // The blob number of a picture, adding it unless an equal one is there: for a
  // file the first blob of the same file name; for bytes the first blob, from a
  // file or from bytes, with the same blob bytes.
  int32_t AddImage(const std::string& fileName, const std::string& bytes);
  // A picture shape of a stored blob; the blob gains a reference.
  void AddImageShape(int32_t sheet, int32_t blob, const TMSOAnchor& anchor);
  void AddCommentShape(int32_t sheet, uint16_t row, uint16_t col, std::u16string text, std::u16string author,
                       std::string runs, const TMSOAnchor& anchor);
  const TMSOShapeMap& ShapeMap() const { return map_; }

 private:
  std::vector<TMSOBlip> blips_;
  std::vector<TMSOShape> shapes_;
  TMSOShapeMap map_;
};

}  // namespace qira

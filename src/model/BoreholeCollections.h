#pragma once
// Geology items of a borehole: a rock style (TBHCollectionItem), a rock interval
// with its depth range (TBHDepthCollectionItem) and the list of either kind that a
// geology file (*.bgd) holds (TBHCollectionList).
//
// Geology file layout (little-endian), read from its start:
//   header  "Borehole geology depths" (23 bytes, depth list) or "Borehole geology"
//           (16 bytes, style list), no length or terminator
//   uint8   list version (0)
//   int32   count of records
//   records depth list: uint8 interval version (0), float32 Top, float32 Bottom,
//           then the style part; style list: the style part only
//   style   uint8 style version (0), int32 length + ShortName, int32 length +
//           FullName (Windows-1252 bytes), uint8 Filling, uint32 Color (0x00BBGGRR),
//           uint8 Texture, uint8 HatchStyle (brush style 2..7), uint8 Border
//
// Reading is all or nothing: a newer list or record version, a count or string
// length that does not fit the bytes that remain, a truncated record, a non-finite
// depth or a hatch value that is no brush style fails the whole read, and the list
// keeps what it held before.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "platform/BinaryStream.h"
#include "platform/Canvas.h"
#include "platform/CanvasTypes.h"

namespace qira {

// The hatch buttons of the style dialog step within bsHorizontal..bsDiagCross and wrap.
uint8_t NextHatchStyle(uint8_t style);
uint8_t PreviousHatchStyle(uint8_t style);

// A rock style.
class TBHCollectionItem {
 public:
  TBHCollectionItem() = default;
  virtual ~TBHCollectionItem() = default;

  std::string ShortName;
  std::string FullName;
  bool Filling = true;  // swatch background filled; only filled intervals colour a borehole
  TColor Color = 255;   // red
  bool Texture = false;  // hatch drawn over the background
  uint8_t HatchStyle = bsDiagCross;  // a TBrushStyle, bsHorizontal..bsDiagCross
  bool Border = true;  // swatch outline drawn

  // A new item of the same kind with the same fields.
  virtual std::unique_ptr<TBHCollectionItem> Clone() const;
  // Copies the names and the five style fields (and, between intervals, the depths).
  virtual void Assign(const TBHCollectionItem& source);

  // The style part of the record. False when a write failed.
  virtual bool SaveToStream(TBinaryStream& handle) const;
  // Reads the style part. False, with the item unchanged, on a newer style version or a
  // damaged record (see the header comment); the stream position is then undefined.
  virtual bool LoadFromStream(TBinaryStream& handle);
  // The style dialog on this item; true on OK (the item then holds the edit).
  virtual bool Edit();
  // Both names equal (case-sensitive) and all five style fields equal; depths play no part.
  virtual bool Equals(const TBHCollectionItem& other) const;
  // The fields Equals compares, as one value to order or look up styles by.
  using TStyleKey = std::tuple<std::string, std::string, bool, TColor, bool, uint8_t, bool>;
  TStyleKey StyleKey() const { return {ShortName, FullName, Filling, Color, Texture, HatchStyle, Border}; }

  // Edits a copy of the style through the style dialog and assigns it back on OK.
  bool EditStyle();

  // Prepares a canvas to paint the rock's swatch: pen and brush (and, for a texture,
  // the background colour and mode behind the hatch).
  void SetupCanvas(TCanvas& canvas) const;
  // Paints the swatch as the dialogs show it in a box of width x height pixels: a
  // rectangle inset 5 pixels from the top-left corner and 6 from the right and bottom.
  void PaintSwatch(TCanvas& canvas, int32_t width, int32_t height) const;

 protected:
  // Smallest size of a style record in bytes (both names empty).
  static constexpr int32_t kStyleRecordMinSize = 1 + 4 + 4 + 1 + 4 + 1 + 1 + 1;
  friend class TBHCollectionList;
  virtual int32_t MinRecordSize() const { return kStyleRecordMinSize; }
};

// A rock interval: a style with a depth range in metres.
class TBHDepthCollectionItem : public TBHCollectionItem {
 public:
  float Top = 10;
  float Bottom = 20;

  std::unique_ptr<TBHCollectionItem> Clone() const override;
  // Copies the style; the depths too when source is an interval.
  void Assign(const TBHCollectionItem& source) override;
  // Interval version, Top, Bottom, then the style part.
  bool SaveToStream(TBinaryStream& handle) const override;
  // False, with the item unchanged, on a newer interval or style version, a
  // non-finite depth or a damaged record.
  bool LoadFromStream(TBinaryStream& handle) override;
  // The interval dialog on this item; true on OK.
  bool Edit() override;

 protected:
  int32_t MinRecordSize() const override { return 1 + 4 + 4 + kStyleRecordMinSize; }
};

// The dialogs live above the model; the UI registers them here. Without a
// registration Edit answers false (cancelled). Each editor gets the item itself,
// shows its dialog on a copy and assigns the copy back only on OK.
using TBHStyleEditor = std::function<bool(TBHCollectionItem&)>;
using TBHIntervalEditor = std::function<bool(TBHDepthCollectionItem&)>;
void SetBHCollectionEditors(TBHStyleEditor styleEditor, TBHIntervalEditor intervalEditor);

// A list of rock styles or of rock intervals, as a geology file holds it.
class TBHCollectionList {
 public:
  static constexpr char kDepthHeader[] = "Borehole geology depths";
  static constexpr char kStyleHeader[] = "Borehole geology";

  explicit TBHCollectionList(bool isDepthList) : IsDepthList(isDepthList) {}

  const bool IsDepthList;
  std::vector<std::unique_ptr<TBHCollectionItem>> Items;  // owned; intervals in a depth list

  int32_t Count() const { return static_cast<int32_t>(Items.size()); }
  void Clear() { Items.clear(); }
  // Appends, taking ownership. A depth list takes only intervals: false (item
  // dropped) for anything else or for null.
  bool Add(std::unique_ptr<TBHCollectionItem> item);
  // Interval i of a depth list (null in a style list).
  const TBHDepthCollectionItem* Interval(int32_t i) const;

  // False when the file is missing or cannot be opened, else LoadFromStream's result.
  bool LoadFromFile(const std::string& fileName);
  // Reads a whole list. A depth list is replaced by the file's intervals; a style list
  // keeps its items and gains each read style that no item already Equals. False, with
  // the list unchanged, on a wrong header or any damage named in the file comment.
  bool LoadFromStream(TBinaryStream& handle);
  // What the last whole read of a list found, its records kept or not (an open's count
  // may pass over them): the records, and the bytes of their names.
  int32_t RecordsRead() const { return recordsRead_; }
  int64_t NameBytesRead() const { return nameBytesRead_; }
  // Writes the header, version 0, the count and every record (a style list writes the
  // style part of each item). False when a write failed.
  bool SaveToStream(TBinaryStream& handle) const;

 private:
  std::unique_ptr<TBHCollectionItem> NewItem() const;

  int32_t recordsRead_ = 0;
  int64_t nameBytesRead_ = 0;
};

}  // namespace qira

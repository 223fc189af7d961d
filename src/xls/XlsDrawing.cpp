#include "xls/XlsDrawing.h"

#include <QCryptographicHash>

#include <algorithm>
#include <cstdlib>

#include "platform/BinaryStream.h"
#include "platform/LibraryErrors.h"
#include "platform/Rounding.h"
#include "xls/XlsCellExtras.h"
#include "xls/XlsFormats.h"
#include "xls/XlsWorkbook.h"

// Sections (each begins at a line "// [SECTION] <name>"):
//   bytes
//   pictures
//   anchors
//   building
//   drawing group
//   sheet drawing

namespace qira {

// [SECTION] bytes

namespace {

struct TBytes {
  std::string s;
  TBytes& U8(uint8_t v) {
    s.push_back(static_cast<char>(v));
    return *this;
  }
  TBytes& U16(uint16_t v) { return U8(static_cast<uint8_t>(v)).U8(static_cast<uint8_t>(v >> 8)); }
  TBytes& U32(uint32_t v) { return U16(static_cast<uint16_t>(v)).U16(static_cast<uint16_t>(v >> 16)); }
  TBytes& Raw(std::string_view b) {
    s.append(b);
    return *this;
  }
  // An Office drawing record header: version and instance, type, length.
  TBytes& Header(uint16_t verInstance, uint16_t type, uint32_t length) { return U16(verInstance).U16(type).U32(length); }
};

uint32_t BigEndian(const std::string& b, size_t at, int n) {
  uint32_t v = 0;
  for (int k = 0; k < n; ++k) v = v << 8 | static_cast<uint8_t>(b[at + static_cast<size_t>(k)]);
  return v;
}

uint32_t LittleEndian(const std::string& b, size_t at, int n) {
  uint32_t v = 0;
  for (int k = n - 1; k >= 0; --k) v = v << 8 | static_cast<uint8_t>(b[at + static_cast<size_t>(k)]);
  return v;
}
int32_t LeInt32(const std::string& b, size_t at) { return static_cast<int32_t>(LittleEndian(b, at, 4)); }
int16_t LeInt16(const std::string& b, size_t at) { return static_cast<int16_t>(LittleEndian(b, at, 2)); }

[[noreturn]] void Unsupported() { throw EXLSError("Unsupported image file format", 0); }
[[noreturn]] void InvalidJpeg() { throw EXLSError("Invalid JPEG file format", 0); }

// Drawing record types.
constexpr uint16_t kDggContainer = 0xF000;
constexpr uint16_t kBStoreContainer = 0xF001;
constexpr uint16_t kDgContainer = 0xF002;
constexpr uint16_t kSpgrContainer = 0xF003;
constexpr uint16_t kSpContainer = 0xF004;
constexpr uint16_t kDgg = 0xF006;
constexpr uint16_t kBSE = 0xF007;
constexpr uint16_t kDg = 0xF008;
constexpr uint16_t kSpgr = 0xF009;
constexpr uint16_t kSp = 0xF00A;
constexpr uint16_t kOpt = 0xF00B;
constexpr uint16_t kClientTextbox = 0xF00D;
constexpr uint16_t kClientAnchor = 0xF010;
constexpr uint16_t kClientData = 0xF011;
constexpr uint16_t kBlipBase = 0xF018;
constexpr uint16_t kSplitMenuColors = 0xF11E;

// BIFF records of a sheet drawing.
constexpr uint16_t kNoteRecord = 0x001C;
constexpr uint16_t kContinueRecord = 0x003C;
constexpr uint16_t kObjRecord = 0x005D;
constexpr uint16_t kMsoDrawingRecord = 0x00EC;
constexpr uint16_t kTxoRecord = 0x01B6;
constexpr size_t kMaxRecordData = 8224;

}  // namespace

// [SECTION] pictures

namespace {

const std::string kPngSignature("\x89PNG\r\n\x1A\n", 8);
constexpr uint32_t kPlaceableMetafileKey = 0x9AC6CDD7;
constexpr uint32_t kEmfHeaderRecord = 1;
constexpr size_t kPlaceableHeaderSize = 22;
constexpr size_t kWmfHeaderSize = 18;
constexpr size_t kEmfHeaderSize = 88;
constexpr size_t kBitmapFileHeaderSize = 14;
constexpr int32_t kEmuPerInch = 914400;
constexpr int32_t kEmuPerHimetric = 360;  // 0.01 mm
constexpr uint8_t kMetafileDeflated = 0x00;
constexpr uint8_t kMetafileNoFilter = 0xFE;

// A size in pixels at 96 per inch from a length in units of which `perInch`
// make an inch; at least 1.
int32_t Pixels(int64_t length, double perInch) {
  return std::max(1, RoundToInt(static_cast<double>(length < 0 ? -length : length) * 96.0 / perInch));
}

// The blob of a metafile: the MD4 of the data as its id, the drawing format's
// metafile header (data size, bounds, size in EMUs, stored size, compression,
// no filter) and the data as a zlib stream. Stored uncompressed, readers that
// expect every metafile deflated (as the format's makers store them) show
// nothing.
std::string MetafileBlob(const std::string& data, const int32_t (&bounds)[4], int32_t emuWidth, int32_t emuHeight) {
  const QByteArray raw = QByteArray::fromRawData(data.data(), static_cast<qsizetype>(data.size()));
  const QByteArray md4 = QCryptographicHash::hash(raw, QCryptographicHash::Md4);
  // qCompress puts the data size (4 bytes, big-endian) before the zlib stream.
  const QByteArray deflated = qCompress(raw, 9).mid(4);
  TBytes blob;
  blob.Raw(std::string_view(md4.constData(), static_cast<size_t>(md4.size())));
  blob.U32(static_cast<uint32_t>(data.size()));                 // cbSize
  for (const int32_t v : bounds) blob.U32(static_cast<uint32_t>(v));  // rcBounds: left, top, right, bottom
  blob.U32(static_cast<uint32_t>(emuWidth)).U32(static_cast<uint32_t>(emuHeight));  // ptSize
  blob.U32(static_cast<uint32_t>(deflated.size()));             // cbSave
  blob.U8(kMetafileDeflated).U8(kMetafileNoFilter);             // compression, filter
  blob.Raw(std::string_view(deflated.constData(), static_cast<size_t>(deflated.size())));
  return blob.s;
}

void ReadPng(const std::string& b, TImageInfo& info) {
  if (b.size() < 24 || b.compare(12, 4, "IHDR") != 0) Unsupported();
  info.Width = static_cast<int32_t>(std::min<uint32_t>(BigEndian(b, 16, 4), 0x7FFFFFFF));
  info.Height = static_cast<int32_t>(std::min<uint32_t>(BigEndian(b, 20, 4), 0x7FFFFFFF));
  info.Blob = b;
}

// The bitmap file header (type, file size, reserved, pixel offset) is dropped:
// the blob starts with the info header, whose width and height follow its size.
void ReadBitmap(const std::string& b, TImageInfo& info) {
  if (b.size() < kBitmapFileHeaderSize + 12) Unsupported();
  info.Width = SaturateCast<int32_t>(std::abs(static_cast<double>(LeInt32(b, 18))));
  info.Height = SaturateCast<int32_t>(std::abs(static_cast<double>(LeInt32(b, 22))));  // negative: top-down rows
  info.Blob = b.substr(kBitmapFileHeaderSize);
}

// Placeable header: key, handle, box (left, top, right, bottom), units per
// inch, reserved, checksum. The blob keeps the metafile from its own header on.
void ReadWindowsMetafile(const std::string& b, TImageInfo& info) {
  if (b.size() < kPlaceableHeaderSize + kWmfHeaderSize) Unsupported();
  const int32_t box[4] = {LeInt16(b, 6), LeInt16(b, 8), LeInt16(b, 10), LeInt16(b, 12)};
  const uint32_t perInch = LittleEndian(b, 14, 2);
  if (perInch == 0) Unsupported();
  info.Width = Pixels(int64_t{box[2]} - box[0], perInch);
  info.Height = Pixels(int64_t{box[3]} - box[1], perInch);
  const auto emu = [perInch](int64_t length) {
    return SaturateCast<int32_t>(static_cast<double>(length < 0 ? -length : length) * kEmuPerInch / perInch);
  };
  info.Blob = MetafileBlob(b.substr(kPlaceableHeaderSize), box, emu(int64_t{box[2]} - box[0]),
                           emu(int64_t{box[3]} - box[1]));
}

// Header record: type, size, bounds in device pixels, frame in 0.01 mm, " EMF".
void ReadEnhancedMetafile(const std::string& b, TImageInfo& info) {
  if (b.size() < kEmfHeaderSize || LittleEndian(b, 4, 4) < kEmfHeaderSize) Unsupported();
  const int32_t bounds[4] = {LeInt32(b, 8), LeInt32(b, 12), LeInt32(b, 16), LeInt32(b, 20)};
  const int64_t frameWidth = int64_t{LeInt32(b, 32)} - LeInt32(b, 24);
  const int64_t frameHeight = int64_t{LeInt32(b, 36)} - LeInt32(b, 28);
  info.Width = Pixels(frameWidth, 2540);
  info.Height = Pixels(frameHeight, 2540);
  const auto emu = [](int64_t length) {
    return SaturateCast<int32_t>(static_cast<double>(length < 0 ? -length : length) * kEmuPerHimetric);
  };
  info.Blob = MetafileBlob(b, bounds, emu(frameWidth), emu(frameHeight));
}

void ReadJpeg(const std::string& b, TImageInfo& info);

}  // namespace

uint8_t DetectImageFormat(const std::string& b) {
  // Later tests win, as for a file that would match two.
  uint8_t kind = kBlipUnknown;
  if (b.size() >= 2 && b.compare(0, 2, "BM") == 0) kind = kBlipDib;
  if (b.size() >= 3 && static_cast<uint8_t>(b[0]) == 0xFF && static_cast<uint8_t>(b[1]) == 0xD8 &&
      static_cast<uint8_t>(b[2]) == 0xFF)
    kind = kBlipJpeg;
  if (b.size() >= 8 && b.compare(0, 8, kPngSignature) == 0) kind = kBlipPng;
  if (b.size() >= 4 && LittleEndian(b, 0, 4) == kPlaceableMetafileKey) kind = kBlipWmf;
  if (b.size() >= 44 && LittleEndian(b, 0, 4) == kEmfHeaderRecord && b.compare(40, 4, " EMF") == 0) kind = kBlipEmf;
  return kind;
}

TImageInfo ReadImageInfo(const std::string& b) {
  TImageInfo info;
  info.Kind = DetectImageFormat(b);
  switch (info.Kind) {
    case kBlipPng:
      ReadPng(b, info);
      break;
    case kBlipJpeg:
      ReadJpeg(b, info);
      break;
    case kBlipDib:
      ReadBitmap(b, info);
      break;
    case kBlipWmf:
      ReadWindowsMetafile(b, info);
      break;
    case kBlipEmf:
      ReadEnhancedMetafile(b, info);
      break;
    default:
      Unsupported();
  }
  return info;
}

namespace {

void ReadJpeg(const std::string& b, TImageInfo& info) {
  if (b.size() < 4) Unsupported();
  // Marker segments from the start-of-image marker on, until a frame header.
  size_t pos = 2;
  bool sawSegment = false;
  while (true) {
    if (pos >= b.size() || static_cast<uint8_t>(b[pos]) != 0xFF) {
      if (!sawSegment) Unsupported();
      InvalidJpeg();
    }
    while (pos < b.size() && static_cast<uint8_t>(b[pos]) == 0xFF) ++pos;  // fill bytes
    if (pos >= b.size()) InvalidJpeg();
    const uint8_t marker = static_cast<uint8_t>(b[pos++]);
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    if (marker == 0xD8 || marker == 0xD9 || marker == 0xDA || marker == 0x00) {
      if (!sawSegment) Unsupported();
      InvalidJpeg();  // another image start, the end or the scan before any frame
    }
    if (pos + 2 > b.size()) InvalidJpeg();
    const uint32_t length = BigEndian(b, pos, 2);
    if (length < 2 || pos + length > b.size()) InvalidJpeg();
    sawSegment = true;
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (length < 7) InvalidJpeg();
      info.Height = static_cast<int32_t>(BigEndian(b, pos + 3, 2));
      info.Width = static_cast<int32_t>(BigEndian(b, pos + 5, 2));
      info.Blob = b;
      return;
    }
    pos += length;
  }
}

}  // namespace

// [SECTION] anchors

namespace {

template <class SizeOf>
TAnchorPoint Walk(int32_t start, int32_t pixels, int32_t last, int32_t full, SizeOf sizeOf) {
  int32_t index = std::clamp(start, 0, last);
  int64_t sum = 0;
  pixels = std::max(pixels, 0);
  while (true) {
    const int32_t size = sizeOf(index);
    if (sum + size >= pixels) {
      const double part = size > 0 ? static_cast<double>(pixels - sum) / size * full : 0;
      return {static_cast<uint16_t>(index), static_cast<uint16_t>(std::clamp(RoundToInt(part), 0, full))};
    }
    sum += size;
    if (index + 1 > last) return {static_cast<uint16_t>(index), static_cast<uint16_t>(full)};
    ++index;
  }
}

}  // namespace

TAnchorPoint WalkRows(TSheet& sheet, int32_t start, int32_t pixels) {
  return Walk(start, pixels, 65535, 256, [&sheet](int32_t i) {
    const TRow* row = sheet.Rows().Find(i);
    return row ? row->GetHeightPixels() : DefaultRowHeightPixels();
  });
}

TAnchorPoint WalkColumns(TSheet& sheet, int32_t start, int32_t pixels) {
  return Walk(start, pixels, 255, 1024, [&sheet](int32_t i) {
    const TColumn* col = sheet.Columns().Find(i);
    return col ? col->GetWidthPixels() : DefaultColumnWidthPixels();
  });
}

// [SECTION] building

int32_t TMSOData::AddImage(const std::string& fileName, const std::string& bytes) {
  std::string data;
  if (!fileName.empty()) {
    for (size_t i = 0; i < blips_.size(); ++i)
      if (blips_[i].FileName == fileName) return static_cast<int32_t>(i);
    std::vector<uint8_t> fileBytes;
    std::string message;
    if (!ReadWholeFileOrTell(fileName, fileBytes, message)) throw Exception(message);
    data.assign(fileBytes.begin(), fileBytes.end());
  }
  TImageInfo info = ReadImageInfo(fileName.empty() ? bytes : data);
  // Bytes are compared with every blob, a file's too; a file is found by its name only.
  if (fileName.empty()) {
    for (size_t i = 0; i < blips_.size(); ++i)
      if (blips_[i].Bytes == info.Blob) return static_cast<int32_t>(i);
  }
  TMSOBlip blip;
  blip.Bytes = std::move(info.Blob);
  blip.Kind = info.Kind;
  blip.FileName = fileName;
  blip.Width = info.Width;
  blip.Height = info.Height;
  blips_.push_back(std::move(blip));
  return static_cast<int32_t>(blips_.size() - 1);
}

void TMSOShape::SetAnchor(const TMSOAnchor& anchor) {
  Col1 = anchor.Col1;
  Row1 = anchor.Row1;
  Col2 = anchor.Col2;
  Row2 = anchor.Row2;
}

TMSOShapeImage::TMSOShapeImage(int32_t sheet, int32_t blob, const TMSOAnchor& anchor) {
  Sheet = sheet;
  Blob = blob;
  SetAnchor(anchor);
}

TMSOShapeComment::TMSOShapeComment(int32_t sheet, uint16_t row, uint16_t col, std::u16string text,
                                   std::u16string author, std::string runs, const TMSOAnchor& anchor) {
  Sheet = sheet;
  Note = true;
  Row = row;
  Col = col;
  Text = std::move(text);
  Author = std::move(author);
  Runs = std::move(runs);
  SetAnchor(anchor);
}

void TMSOData::AddImageShape(int32_t sheet, int32_t blob, const TMSOAnchor& anchor) {
  shapes_.push_back(TMSOShapeImage(sheet, blob, anchor));
  ++blips_[static_cast<size_t>(blob)].RefCount;
}

void TMSOData::AddCommentShape(int32_t sheet, uint16_t row, uint16_t col, std::u16string text, std::u16string author,
                               std::string runs, const TMSOAnchor& anchor) {
  shapes_.push_back(TMSOShapeComment(sheet, row, col, std::move(text), std::move(author), std::move(runs), anchor));
}

void TMSOData::Build(TWorkbook& workbook) {
  blips_.clear();
  shapes_.clear();
  TSheets& sheets = workbook.Sheets();
  for (int32_t s = 0; s < sheets.Count(); ++s) {
    TSheet& sheet = sheets.Items(s);
    for (int32_t i = 0; i < sheet.Images().Count(); ++i) {
      const TXLSImage& image = sheet.Images().Item(i);
      const int32_t blob = AddImage(image.FileName, image.Bytes);
      const TMSOBlip& blip = blips_[static_cast<size_t>(blob)];
      TMSOAnchor anchor;
      anchor.Col1 = WalkColumns(sheet, image.Col, image.ColOffset);
      anchor.Row1 = WalkRows(sheet, image.Row, image.RowOffset);
      if (image.LastCol == -1 && image.LastRow == -1) {
        const int32_t w = image.Width > 0 ? image.Width : blip.Width;
        const int32_t h = image.Height > 0 ? image.Height : blip.Height;
        anchor.Col2 = WalkColumns(sheet, image.Col, image.ColOffset + w);
        anchor.Row2 = WalkRows(sheet, image.Row, image.RowOffset + h);
      } else {
        anchor.Col2 = {static_cast<uint16_t>(std::clamp(image.LastCol + 1, 0, 255)), 0};
        anchor.Row2 = {static_cast<uint16_t>(std::clamp(image.LastRow + 1, 0, 65535)), 0};
      }
      AddImageShape(s, blob, anchor);
    }
  }
  for (int32_t s = 0; s < sheets.Count(); ++s) {
    TSheet& sheet = sheets.Items(s);
    TCellComments& comments = sheet.Comments();
    for (int32_t i = 0; i < comments.Count(); ++i) {
      const TCellComment& c = comments.Item(i);
      const int32_t startRow = c.Row == 0 ? 0 : (c.Row + 10 > 65536 ? c.Row - 10 : c.Row - 1);
      const int32_t startCol = c.Col + 6 > 256 ? c.Col - 6 : c.Col + 1;
      TMSOAnchor anchor;
      anchor.Row1 = WalkRows(sheet, startRow, 10);
      anchor.Col1 = WalkColumns(sheet, startCol, 15);
      anchor.Row2 = WalkRows(sheet, anchor.Row1.Cell, c.Height + 10);
      anchor.Col2 = WalkColumns(sheet, anchor.Col1.Cell, c.Width + 15);
      // TXO runs, 8 bytes each: position, font, 4 reserved bytes; the text starts
      // in font 0 unless a run says otherwise and a last run closes it.
      std::string runs;
      if (!c.Text.empty()) {
        const std::string cellRuns =
            c.Formatting.empty() ? std::string() : RichTextRuns(c.Formatting, 0, c.Text.size(), workbook.FontTable());
        TBytes r;
        if (cellRuns.size() < 4 || cellRuns[0] != 0 || cellRuns[1] != 0) r.U16(0).U16(0).U32(0);
        for (size_t k = 0; k + 4 <= cellRuns.size(); k += 4) r.Raw(std::string_view(cellRuns).substr(k, 4)).U32(0);
        r.U16(static_cast<uint16_t>(c.Text.size())).U16(0).U32(0);
        runs = std::move(r.s);
      }
      AddCommentShape(s, c.Row, c.Col, c.Text, c.Author, std::move(runs), anchor);
    }
  }
  map_.Distribute(shapes_);
}

void TMSOShapeMap::Distribute(std::vector<TMSOShape>& shapes) {
  int32_t sheets = 0;
  for (const TMSOShape& s : shapes) sheets = std::max(sheets, s.Sheet + 1);
  bySheet_.assign(static_cast<size_t>(sheets), {});
  maxShapeId_ = 0;
  for (size_t i = 0; i < shapes.size(); ++i) {
    TMSOShape& shape = shapes[i];
    std::vector<size_t>& list = bySheet_[static_cast<size_t>(shape.Sheet)];
    list.push_back(i);
    shape.ObjectId = static_cast<uint16_t>(list.size());
    shape.ShapeId = static_cast<uint32_t>(shape.Sheet + 1) * 1024 + static_cast<uint32_t>(list.size());
    maxShapeId_ = std::max(maxShapeId_, shape.ShapeId);
  }
}

const std::vector<size_t>& TMSOShapeMap::Sheet(int32_t sheet) const {
  static const std::vector<size_t> kNone;
  if (sheet < 0 || static_cast<size_t>(sheet) >= bySheet_.size()) return kNone;
  return bySheet_[static_cast<size_t>(sheet)];
}

// [SECTION] drawing group

namespace {

// The blob record's header word (version 0, the kind's instance).
uint16_t BlipInstance(uint8_t kind) {
  switch (kind) {
    case kBlipEmf:
      return 0x3D40;
    case kBlipWmf:
      return 0x2160;
    case kBlipJpeg:
      return 0x46A0;
    case kBlipPng:
      return 0x6E00;
    default:
      return 0x7A80;  // device-independent bitmap
  }
}

}  // namespace

std::string TMSOData::GroupBytes() const {
  if (shapes_.empty()) return {};
  std::vector<int32_t> drawn;  // sheets with shapes
  for (int32_t s = 0; s < map_.SheetCount(); ++s)
    if (!map_.Sheet(s).empty()) drawn.push_back(s);
  const auto d = static_cast<uint32_t>(drawn.size());

  TBytes body;
  body.Header(0x0000, kDgg, 16 + 8 * d);
  body.U32(map_.MaxShapeId()).U32(d + 1).U32(static_cast<uint32_t>(shapes_.size()) + d).U32(d);  // drawings saved
  for (const int32_t s : drawn)
    body.U32(static_cast<uint32_t>(s + 1)).U32(static_cast<uint32_t>(map_.Sheet(s).size() + 1));
  if (!blips_.empty()) {
    TBytes store;
    for (const TMSOBlip& b : blips_) {
      // A metafile blob carries its own id and header; the others get a 25-byte head.
      const bool metafile = b.Kind == kBlipEmf || b.Kind == kBlipWmf;
      const uint32_t size = static_cast<uint32_t>(b.Bytes.size()) + (metafile ? 8 : 25);
      TBytes bse;
      bse.U8(b.Kind).U8(b.Kind).Raw(std::string(16, '\0')).U16(0x00FF);  // kinds, id, tag
      bse.U32(size).U32(b.RefCount).U32(0).U32(0);  // size, references, delay offset, name and usage
      bse.Header(BlipInstance(b.Kind), static_cast<uint16_t>(kBlipBase + b.Kind), size - 8);
      if (!metafile) bse.Raw(std::string(16, '\0')).U8(0xFF);  // id, tag
      bse.Raw(b.Bytes);
      store.Header(static_cast<uint16_t>(b.Kind * 16 + 2), kBSE, static_cast<uint32_t>(bse.s.size())).Raw(bse.s);
    }
    body.Header(static_cast<uint16_t>(blips_.size() * 16 + 0x0F), kBStoreContainer,
                static_cast<uint32_t>(store.s.size()))
        .Raw(store.s);
  }
  body.Header(0x0033, kOpt, 18).U16(0x00BF).U32(0x00080008).U16(0x0181).U32(0x08000041).U16(0x01C0).U32(0x08000040);
  body.Header(0x0040, kSplitMenuColors, 16).U32(0x0800000D).U32(0x0800000C).U32(0x08000017).U32(0x100000F7);
  TBytes all;
  all.Header(0x000F, kDggContainer, static_cast<uint32_t>(body.s.size())).Raw(body.s);
  return all.s;
}

// [SECTION] sheet drawing

namespace {

std::string Anchor(const TMSOShape& s) {
  TBytes a;
  a.Header(0x0000, kClientAnchor, 18).U16(2);
  a.U16(s.Col1.Cell).U16(s.Col1.Offset).U16(s.Row1.Cell).U16(s.Row1.Offset);
  a.U16(s.Col2.Cell).U16(s.Col2.Offset).U16(s.Row2.Cell).U16(s.Row2.Offset);
  a.Header(0x0000, kClientData, 0);
  return a.s;
}

// The shape's drawing records up to the client data; for a note, the client
// text box (in its own MSODRAWING record) counts in the container too.
std::string ShapeBytes(const TMSOShape& s, const std::vector<TMSOBlip>& blips) {
  TBytes inner;
  if (s.Note) {
    inner.Header(0x0CA2, kSp, 8).U32(s.ShapeId).U32(0x0A00);  // text box, anchored, has shape type
    inner.Header(0x0093, kOpt, 54);
    inner.U16(0x0080).U32(0x00ED1AE8).U16(0x00BF).U32(0x00080008).U16(0x0158).U32(0);
    inner.U16(0x0181).U32(0x08000050).U16(0x0183).U32(0x08000050).U16(0x01BF).U32(0x00110010);
    inner.U16(0x0201).U32(0).U16(0x023F).U32(0x00030003).U16(0x03BF).U32(0x000A0002);
  } else {
    const TMSOBlip& blip = blips[static_cast<size_t>(s.Blob)];
    std::string name = WideToUtf16Bytes(AnsiToWide(blip.FileName));
    name += std::string(2, '\0');
    inner.Header(0x04B2, kSp, 8).U32(s.ShapeId).U32(0x0A00);  // picture frame
    inner.Header(0x0023, kOpt, static_cast<uint32_t>(12 + name.size()));
    inner.U16(0x4104).U32(static_cast<uint32_t>(s.Blob + 1));  // blip number
    inner.U16(0xC105).U32(static_cast<uint32_t>(name.size())).Raw(name);  // blip name
  }
  inner.Raw(Anchor(s));
  const uint32_t textbox = s.Note ? 8 : 0;
  TBytes sp;
  sp.Header(0x000F, kSpContainer, static_cast<uint32_t>(inner.s.size()) + textbox).Raw(inner.s);
  return sp.s;
}

TBytes Obj(const TMSOShape& s) {
  TBytes o;
  o.U16(0x0015).U16(18).U16(s.Note ? 0x19 : 0x08).U16(s.ObjectId).U16(s.Note ? 0x4011 : 0x6011).Raw(std::string(12, '\0'));
  if (s.Note) {
    o.U16(0x000D).U16(22).Raw(std::string("\x38\x98\xEB\x79\x19\x2D\x92\x42\xBE\x49\x77\x64\xE2\xC4\x18\xED", 16));
    o.U16(0).U32(0x0010);
  } else {
    o.U16(0x0007).U16(2).U16(0xFFFF);
    o.U16(0x0008).U16(2).U16(1);
  }
  o.U16(0x0000).U16(0);
  return o;
}

}  // namespace

std::vector<TBiffRecordBytes> TMSOData::SheetRecords(int32_t sheet) const {
  std::vector<TBiffRecordBytes> out;
  const std::vector<size_t>& list = map_.Sheet(sheet);
  if (list.empty()) return out;
  std::vector<std::string> shapes;
  size_t total = 0;
  for (const size_t i : list) {
    shapes.push_back(ShapeBytes(shapes_[i], blips_));
    total += shapes.back().size() + (shapes_[i].Note ? 8 : 0);
  }
  const auto s1024 = static_cast<uint32_t>(sheet + 1) * 1024;
  TBytes group;  // the group shape that holds the sheet's shapes
  group.Header(0x000F, kSpContainer, 40).Header(0x0001, kSpgr, 16).Raw(std::string(16, '\0'));
  group.Header(0x0002, kSp, 8).U32(s1024).U32(5);  // group, patriarch
  const auto spgr = static_cast<uint32_t>(group.s.size() + total);
  TBytes head;
  head.Header(0x000F, kDgContainer, 16 + 8 + spgr);
  head.Header(static_cast<uint16_t>((sheet + 1) << 4), kDg, 8)
      .U32(static_cast<uint32_t>(list.size() + 1))
      .U32(s1024 + static_cast<uint32_t>(list.size()));
  head.Header(0x000F, kSpgrContainer, spgr).Raw(group.s);

  for (size_t k = 0; k < list.size(); ++k) {
    const TMSOShape& s = shapes_[list[k]];
    out.emplace_back(kMsoDrawingRecord, (k == 0 ? head.s : std::string()) + shapes[k]);
    out.emplace_back(kObjRecord, Obj(s).s);
    if (!s.Note) continue;
    out.emplace_back(kMsoDrawingRecord, TBytes().Header(0x0000, kClientTextbox, 0).s);
    TBytes txo;
    txo.U16(0x0212).U16(0).Raw(std::string(6, '\0'));  // left, top, locked text; no rotation
    txo.U16(static_cast<uint16_t>(s.Text.size())).U16(static_cast<uint16_t>(s.Runs.size())).U32(0);
    out.emplace_back(kTxoRecord, txo.s);
    if (s.Text.empty()) continue;
    // The text in CONTINUE records, each starting with the width flag and
    // holding whole characters; then the runs.
    const std::string text = WideToUtf16Bytes(s.Text);
    for (size_t at = 0; at < text.size();) {
      const size_t n = std::min(text.size() - at, (kMaxRecordData - 1) / 2 * 2);
      out.emplace_back(kContinueRecord, "\x01" + text.substr(at, n));
      at += n;
    }
    for (size_t at = 0; at < s.Runs.size();) {
      const size_t n = std::min(s.Runs.size() - at, kMaxRecordData / 8 * 8);
      out.emplace_back(kContinueRecord, s.Runs.substr(at, n));
      at += n;
    }
  }
  for (const size_t i : list) {
    const TMSOShape& s = shapes_[i];
    if (!s.Note) continue;
    TBytes note;
    note.U16(s.Row).U16(s.Col).U16(0).U16(s.ObjectId);  // row, column, options (hidden), object id
    const std::u16string author = s.Author.substr(0, 255);
    note.U16(static_cast<uint16_t>(author.size())).U8(1).Raw(WideToUtf16Bytes(author)).U8(0);
    out.emplace_back(kNoteRecord, note.s);
  }
  return out;
}

}  // namespace qira

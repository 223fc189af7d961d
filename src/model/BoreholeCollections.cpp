#include "model/BoreholeCollections.h"

#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <tuple>

#include "model/GraphRecord.h"
#include "model/StreamHelpers.h"

namespace qira {

uint8_t NextHatchStyle(uint8_t style) {
  if (style >= bsDiagCross || style < bsHorizontal) return bsHorizontal;
  return static_cast<uint8_t>(style + 1);
}

uint8_t PreviousHatchStyle(uint8_t style) {
  if (style <= bsHorizontal || style > bsDiagCross) return bsDiagCross;
  return static_cast<uint8_t>(style - 1);
}

namespace {

TBHStyleEditor& StyleEditor() {
  static TBHStyleEditor editor;
  return editor;
}

TBHIntervalEditor& IntervalEditor() {
  static TBHIntervalEditor editor;
  return editor;
}

}  // namespace

void SetBHCollectionEditors(TBHStyleEditor styleEditor, TBHIntervalEditor intervalEditor) {
  StyleEditor() = std::move(styleEditor);
  IntervalEditor() = std::move(intervalEditor);
}

// ---- rock style --------------------------------------------------------------------

std::unique_ptr<TBHCollectionItem> TBHCollectionItem::Clone() const {
  return std::make_unique<TBHCollectionItem>(*this);
}

void TBHCollectionItem::Assign(const TBHCollectionItem& source) {
  ShortName = DuplicateString(source.ShortName);
  FullName = DuplicateString(source.FullName);
  Filling = source.Filling;
  Color = source.Color;
  Texture = source.Texture;
  HatchStyle = source.HatchStyle;
  Border = source.Border;
}

bool TBHCollectionItem::SaveToStream(TBinaryStream& handle) const {
  return handle.WriteUInt8(0) && WriteLengthString(handle, ShortName) &&
         WriteLengthString(handle, FullName) && handle.WriteBool(Filling) &&
         handle.WriteUInt32(Color) && handle.WriteBool(Texture) && handle.WriteUInt8(HatchStyle) &&
         handle.WriteBool(Border);
}

bool TBHCollectionItem::LoadFromStream(TBinaryStream& handle) {
  uint8_t version;
  if (!handle.ReadUInt8(version) || version > 0) return false;
  TBHCollectionItem read;
  uint32_t color;
  if (!ReadLengthString(handle, read.ShortName) || !ReadLengthString(handle, read.FullName) ||
      !handle.ReadBool(read.Filling) || !handle.ReadUInt32(color) || !handle.ReadBool(read.Texture) ||
      !handle.ReadUInt8(read.HatchStyle) || !handle.ReadBool(read.Border))
    return false;
  // Values above the last brush style are not styles at all: a damaged record.
  if (read.HatchStyle > bsDiagCross) return false;
  read.Color = color;
  // The names read are moved in, not copied again.
  std::string shortName = std::move(read.ShortName), fullName = std::move(read.FullName);
  TBHCollectionItem::Assign(read);
  ShortName = std::move(shortName);
  FullName = std::move(fullName);
  return true;
}

bool TBHCollectionItem::Edit() {
  const TBHStyleEditor& editor = StyleEditor();
  return editor ? editor(*this) : false;
}

bool TBHCollectionItem::Equals(const TBHCollectionItem& other) const { return StyleKey() == other.StyleKey(); }

bool TBHCollectionItem::EditStyle() {
  TBHCollectionItem style;
  style.TBHCollectionItem::Assign(*this);
  if (!style.Edit()) return false;
  TBHCollectionItem::Assign(style);
  return true;
}

// ---- rock interval -----------------------------------------------------------------

std::unique_ptr<TBHCollectionItem> TBHDepthCollectionItem::Clone() const {
  return std::make_unique<TBHDepthCollectionItem>(*this);
}

void TBHDepthCollectionItem::Assign(const TBHCollectionItem& source) {
  TBHCollectionItem::Assign(source);
  if (const auto* interval = dynamic_cast<const TBHDepthCollectionItem*>(&source)) {
    Top = interval->Top;
    Bottom = interval->Bottom;
  }
}

bool TBHDepthCollectionItem::SaveToStream(TBinaryStream& handle) const {
  return handle.WriteUInt8(0) && handle.WriteFloat(Top) && handle.WriteFloat(Bottom) &&
         TBHCollectionItem::SaveToStream(handle);
}

bool TBHDepthCollectionItem::LoadFromStream(TBinaryStream& handle) {
  uint8_t version;
  float top, bottom;
  if (!handle.ReadUInt8(version) || version > 0) return false;
  if (!handle.ReadFloat(top) || !handle.ReadFloat(bottom)) return false;
  if (!std::isfinite(top) || !std::isfinite(bottom)) return false;
  if (!TBHCollectionItem::LoadFromStream(handle)) return false;
  Top = top;
  Bottom = bottom;
  return true;
}

bool TBHDepthCollectionItem::Edit() {
  const TBHIntervalEditor& editor = IntervalEditor();
  return editor ? editor(*this) : false;
}

// ---- list ----------------------------------------------------------------------------

bool TBHCollectionList::Add(std::unique_ptr<TBHCollectionItem> item) {
  if (!item) return false;
  if (IsDepthList && !dynamic_cast<TBHDepthCollectionItem*>(item.get())) return false;
  Items.push_back(std::move(item));
  return true;
}

const TBHDepthCollectionItem* TBHCollectionList::Interval(int32_t i) const {
  if (i < 0 || i >= Count()) return nullptr;
  return dynamic_cast<const TBHDepthCollectionItem*>(Items[static_cast<size_t>(i)].get());
}

std::unique_ptr<TBHCollectionItem> TBHCollectionList::NewItem() const {
  if (IsDepthList) return std::make_unique<TBHDepthCollectionItem>();
  return std::make_unique<TBHCollectionItem>();
}

bool TBHCollectionList::LoadFromFile(const std::string& fileName) {
  std::unique_ptr<TBinaryFile> file = TBinaryFile::Open(fileName, TBinaryFile::Mode::Read);
  if (!file) return false;
  return LoadFromStream(*file);
}

bool TBHCollectionList::LoadFromStream(TBinaryStream& handle) {
  const std::string header = IsDepthList ? kDepthHeader : kStyleHeader;
  std::string magic;
  if (!ReadRawString(handle, static_cast<int32_t>(header.size()), magic) || magic != header)
    return false;

  // A list of a newer layout cannot be read: failing shows the user that the file
  // was not loaded, where an empty success would silently drop its rocks.
  uint8_t version;
  if (!handle.ReadUInt8(version) || version > 0) return false;

  int32_t count;
  if (!handle.ReadInt32(count) || count < 0) return false;
  const int32_t minSize = NewItem()->MinRecordSize();
  if (count > handle.Remaining() / minSize) return false;

  // The list and an item for each record, weighed before they are made. Passed over by
  // an open's count, the records are still read (damage is told as damage) but none
  // is kept.
  bool kept = WeighArray(count, sizeof(std::unique_ptr<TBHCollectionItem>));
  kept = TOpenCount::Weigh(count * HeapBlockBytes(static_cast<int64_t>(
                                       IsDepthList ? sizeof(TBHDepthCollectionItem) : sizeof(TBHCollectionItem)))) &&
         kept;
  std::vector<std::unique_ptr<TBHCollectionItem>> read;
  if (kept) read.reserve(static_cast<size_t>(count));
  int64_t nameBytes = 0;
  for (int32_t i = 0; i < count; ++i) {
    std::unique_ptr<TBHCollectionItem> item = NewItem();
    if (!item->LoadFromStream(handle)) return false;
    nameBytes += static_cast<int64_t>(item->ShortName.size() + item->FullName.size());
    if (kept) read.push_back(std::move(item));
  }
  recordsRead_ = count;
  nameBytesRead_ = nameBytes;

  if (IsDepthList) {
    Items = std::move(read);
    return true;
  }
  // The styles held, by the fields Equals compares: a file may hold any number.
  std::set<TBHCollectionItem::TStyleKey> held;
  for (const std::unique_ptr<TBHCollectionItem>& present : Items) held.insert(present->StyleKey());
  for (std::unique_ptr<TBHCollectionItem>& item : read)
    if (held.insert(item->StyleKey()).second) Items.push_back(std::move(item));
  return true;
}

bool TBHCollectionList::SaveToStream(TBinaryStream& handle) const {
  const std::string header = IsDepthList ? kDepthHeader : kStyleHeader;
  if (!WriteRawString(handle, header) || !handle.WriteUInt8(0) || !handle.WriteInt32(Count()))
    return false;
  for (const std::unique_ptr<TBHCollectionItem>& item : Items) {
    bool written = IsDepthList ? item->SaveToStream(handle) : item->TBHCollectionItem::SaveToStream(handle);
    if (!written) return false;
  }
  return true;
}

}  // namespace qira

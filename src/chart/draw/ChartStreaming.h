#pragma once
// Published properties of chart settings objects as they are streamed: a block of
// named, typed values ended by an empty name. Only values that differ from their
// defaults are written (each class decides); reading takes the whole block first,
// so a damaged stream is refused whole before any object changes.
//
// Stream layout (little-endian), one block:
//   repeat: name length (uint8, 1..255), name bytes, value type (uint8), value
//   end:    name length 0
// Values by type:
//   Integer    int32
//   Int64      int64
//   Double     8-byte double
//   String     int32 byte count, bytes (UTF-8)
//   Ident      uint8 byte count, bytes (an enumeration value's name)
//   False/True nothing
//   Binary     int32 byte count, bytes
//   Collection repeat { List marker (uint8 1), block }, End marker (uint8 0)
//   Strings    repeat { String type (uint8 6), int32 byte count, bytes }, End (uint8 0)
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/BinaryStream.h"

namespace qira {

enum class TPropertyType : uint8_t {
  End = 0,
  List = 1,
  Integer = 4,
  Double = 5,
  String = 6,
  Ident = 7,
  False = 8,
  True = 9,
  Binary = 10,
  Collection = 14,
  Strings = 15,
  Int64 = 19,
};

struct TStreamedProperty;
using TStreamedProperties = std::vector<TStreamedProperty>;

struct TStreamedProperty {
  std::string Name;
  TPropertyType Type = TPropertyType::Integer;
  int64_t Integer = 0;                     // Integer, Int64; 0/1 for False/True
  double Real = 0;                         // Double
  std::string Text;                        // String, Ident, Binary
  std::vector<TStreamedProperties> Items;  // Collection
  std::vector<std::string> Lines;          // Strings
};

// A damaged or unexpected property stream; the text names the first bad thing.
class EChartStreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Builders of a block, in the order the properties are written.
void AddInteger(TStreamedProperties& block, std::string_view name, int64_t value);
void AddBoolean(TStreamedProperties& block, std::string_view name, bool value);
void AddDouble(TStreamedProperties& block, std::string_view name, double value);
void AddString(TStreamedProperties& block, std::string_view name, std::string_view value);
void AddIdent(TStreamedProperties& block, std::string_view name, std::string_view value);
void AddBinary(TStreamedProperties& block, std::string_view name, std::string_view bytes);
void AddStrings(TStreamedProperties& block, std::string_view name, const std::vector<std::string>& lines);
void AddCollection(TStreamedProperties& block, std::string_view name, std::vector<TStreamedProperties> items);

// Writes one block at the stream's position; false when the stream refused a write
// (a name longer than 255 bytes is refused too).
bool WriteProperties(TBinaryStream& stream, const TStreamedProperties& block);
// Reads one block. Every count and length is checked against the bytes that remain
// before anything is allocated; collections nest at most 16 deep. On failure raises
// EChartStreamError and leaves the stream where it was.
TStreamedProperties ReadProperties(TBinaryStream& stream);

// The property of that name (case-insensitive, as the class library compares), or null.
const TStreamedProperty* FindProperty(const TStreamedProperties& block, std::string_view name);

// Typed look-ups for readers: the value when the property is present, else the
// fallback; a present property of another type raises EChartStreamError.
int64_t PropertyInteger(const TStreamedProperties& block, std::string_view name, int64_t fallback);
// An Integer property that must fit the range [lo, hi].
int32_t PropertyInt32(const TStreamedProperties& block, std::string_view name, int32_t fallback,
                      int32_t lo = INT32_MIN, int32_t hi = INT32_MAX);
bool PropertyBoolean(const TStreamedProperties& block, std::string_view name, bool fallback);
// A Double, or an Integer taken as a real.
double PropertyDouble(const TStreamedProperties& block, std::string_view name, double fallback);
std::string PropertyString(const TStreamedProperties& block, std::string_view name, std::string_view fallback);
std::vector<std::string> PropertyStrings(const TStreamedProperties& block, std::string_view name,
                                         const std::vector<std::string>& fallback);
// The items of a Collection; none when the property is absent.
const std::vector<TStreamedProperties>& PropertyCollection(const TStreamedProperties& block, std::string_view name);
// A Binary value, or the fallback.
std::string PropertyBinary(const TStreamedProperties& block, std::string_view name, std::string_view fallback);
// Writes a block on its own and reads it back from bytes (the form a binary
// property holds): the reader refuses trailing bytes.
std::string PropertiesToBytes(const TStreamedProperties& block);
TStreamedProperties PropertiesFromBytes(std::string_view bytes);
// The index of an Ident among names; an unknown name raises EChartStreamError.
template <size_t N>
int PropertyIdent(const TStreamedProperties& block, std::string_view name, const char* const (&names)[N],
                  int fallback);
int PropertyIdentIndex(const TStreamedProperties& block, std::string_view name, const char* const* names,
                       size_t count, int fallback);

template <size_t N>
int PropertyIdent(const TStreamedProperties& block, std::string_view name, const char* const (&names)[N],
                  int fallback) {
  return PropertyIdentIndex(block, name, names, N, fallback);
}

}  // namespace qira

#include "chart/draw/ChartStreaming.h"

#include <cstring>

#include "platform/AsciiCase.h"

namespace qira {

namespace {

constexpr int kMaxDepth = 16;

void Add(TStreamedProperties& block, std::string_view name, TPropertyType type, TStreamedProperty p = {}) {
  p.Name = std::string(name);
  p.Type = type;
  block.push_back(std::move(p));
}

bool WriteShortString(TBinaryStream& s, std::string_view text) {
  if (text.size() > 255) return false;
  return s.WriteUInt8(static_cast<uint8_t>(text.size())) &&
         s.Write(text.data(), static_cast<int32_t>(text.size()));
}

bool WriteLongString(TBinaryStream& s, std::string_view text) {
  if (text.size() > static_cast<size_t>(INT32_MAX)) return false;
  return s.WriteInt32(static_cast<int32_t>(text.size())) && s.Write(text.data(), static_cast<int32_t>(text.size()));
}

bool WriteBlock(TBinaryStream& s, const TStreamedProperties& block, int depth) {
  if (depth > kMaxDepth) return false;
  for (const TStreamedProperty& p : block) {
    if (p.Name.empty() || !WriteShortString(s, p.Name) || !s.WriteUInt8(static_cast<uint8_t>(p.Type))) return false;
    bool ok = true;
    switch (p.Type) {
      case TPropertyType::Integer: ok = s.WriteInt32(static_cast<int32_t>(p.Integer)); break;
      case TPropertyType::Int64:
        ok = s.WriteUInt32(static_cast<uint32_t>(p.Integer)) &&
             s.WriteUInt32(static_cast<uint32_t>(static_cast<uint64_t>(p.Integer) >> 32));
        break;
      case TPropertyType::Double: ok = s.WriteDouble(p.Real); break;
      case TPropertyType::String:
      case TPropertyType::Binary: ok = WriteLongString(s, p.Text); break;
      case TPropertyType::Ident: ok = WriteShortString(s, p.Text); break;
      case TPropertyType::False:
      case TPropertyType::True: break;
      case TPropertyType::Collection:
        for (const TStreamedProperties& item : p.Items)
          ok = ok && s.WriteUInt8(static_cast<uint8_t>(TPropertyType::List)) && WriteBlock(s, item, depth + 1);
        ok = ok && s.WriteUInt8(static_cast<uint8_t>(TPropertyType::End));
        break;
      case TPropertyType::Strings:
        for (const std::string& line : p.Lines)
          ok = ok && s.WriteUInt8(static_cast<uint8_t>(TPropertyType::String)) && WriteLongString(s, line);
        ok = ok && s.WriteUInt8(static_cast<uint8_t>(TPropertyType::End));
        break;
      default: return false;
    }
    if (!ok) return false;
  }
  return s.WriteUInt8(0);
}

[[noreturn]] void Damaged(const std::string& what) { throw EChartStreamError("Damaged property stream: " + what); }

std::string ReadBytes(TBinaryStream& s, int64_t n, const char* what) {
  if (n < 0 || n > s.Remaining()) Damaged(std::string(what) + " length past the end");
  std::string text(static_cast<size_t>(n), '\0');
  if (n > 0 && !s.Read(text.data(), static_cast<int32_t>(n))) Damaged(std::string(what) + " cut short");
  return text;
}

std::string ReadShortString(TBinaryStream& s, const char* what) {
  uint8_t n = 0;
  if (!s.ReadUInt8(n)) Damaged(std::string(what) + " missing");
  return ReadBytes(s, n, what);
}

TStreamedProperties ReadBlock(TBinaryStream& s, int depth) {
  if (depth > kMaxDepth) Damaged("collections nested too deep");
  TStreamedProperties block;
  for (;;) {
    std::string name = ReadShortString(s, "property name");
    if (name.empty()) return block;
    uint8_t type = 0;
    if (!s.ReadUInt8(type)) Damaged("value type of " + name + " missing");
    TStreamedProperty p;
    p.Name = std::move(name);
    p.Type = static_cast<TPropertyType>(type);
    switch (p.Type) {
      case TPropertyType::Integer: {
        int32_t v = 0;
        if (!s.ReadInt32(v)) Damaged("value of " + p.Name + " cut short");
        p.Integer = v;
        break;
      }
      case TPropertyType::Int64: {
        uint32_t lo = 0, hi = 0;
        if (!s.ReadUInt32(lo) || !s.ReadUInt32(hi)) Damaged("value of " + p.Name + " cut short");
        p.Integer = static_cast<int64_t>((static_cast<uint64_t>(hi) << 32) | lo);
        break;
      }
      case TPropertyType::Double:
        if (!s.ReadDouble(p.Real)) Damaged("value of " + p.Name + " cut short");
        break;
      case TPropertyType::String:
      case TPropertyType::Binary: {
        int32_t n = 0;
        if (!s.ReadInt32(n)) Damaged("length of " + p.Name + " missing");
        p.Text = ReadBytes(s, n, p.Name.c_str());
        break;
      }
      case TPropertyType::Ident: p.Text = ReadShortString(s, p.Name.c_str()); break;
      case TPropertyType::False: p.Integer = 0; break;
      case TPropertyType::True: p.Integer = 1; break;
      case TPropertyType::Collection:
        for (;;) {
          uint8_t marker = 0;
          if (!s.ReadUInt8(marker)) Damaged("collection " + p.Name + " cut short");
          if (marker == static_cast<uint8_t>(TPropertyType::End)) break;
          if (marker != static_cast<uint8_t>(TPropertyType::List)) Damaged("item marker of " + p.Name);
          p.Items.push_back(ReadBlock(s, depth + 1));
        }
        break;
      case TPropertyType::Strings:
        for (;;) {
          uint8_t marker = 0;
          if (!s.ReadUInt8(marker)) Damaged("lines of " + p.Name + " cut short");
          if (marker == static_cast<uint8_t>(TPropertyType::End)) break;
          if (marker != static_cast<uint8_t>(TPropertyType::String)) Damaged("line marker of " + p.Name);
          int32_t n = 0;
          if (!s.ReadInt32(n)) Damaged("line length of " + p.Name + " missing");
          p.Lines.push_back(ReadBytes(s, n, p.Name.c_str()));
        }
        break;
      default: Damaged("unknown value type of " + p.Name);
    }
    block.push_back(std::move(p));
  }
}

const TStreamedProperty* Typed(const TStreamedProperties& block, std::string_view name,
                               std::initializer_list<TPropertyType> types) {
  const TStreamedProperty* p = FindProperty(block, name);
  if (!p) return nullptr;
  for (TPropertyType t : types)
    if (p->Type == t) return p;
  Damaged("unexpected value type of " + p->Name);
}

}  // namespace

void AddInteger(TStreamedProperties& block, std::string_view name, int64_t value) {
  TStreamedProperty p;
  p.Integer = value;
  Add(block, name, value >= INT32_MIN && value <= INT32_MAX ? TPropertyType::Integer : TPropertyType::Int64, p);
}
void AddBoolean(TStreamedProperties& block, std::string_view name, bool value) {
  TStreamedProperty p;
  p.Integer = value ? 1 : 0;
  Add(block, name, value ? TPropertyType::True : TPropertyType::False, p);
}
void AddDouble(TStreamedProperties& block, std::string_view name, double value) {
  TStreamedProperty p;
  p.Real = value;
  Add(block, name, TPropertyType::Double, p);
}
void AddString(TStreamedProperties& block, std::string_view name, std::string_view value) {
  TStreamedProperty p;
  p.Text = std::string(value);
  Add(block, name, TPropertyType::String, p);
}
void AddIdent(TStreamedProperties& block, std::string_view name, std::string_view value) {
  TStreamedProperty p;
  p.Text = std::string(value);
  Add(block, name, TPropertyType::Ident, p);
}
void AddBinary(TStreamedProperties& block, std::string_view name, std::string_view bytes) {
  TStreamedProperty p;
  p.Text = std::string(bytes);
  Add(block, name, TPropertyType::Binary, p);
}

void AddStrings(TStreamedProperties& block, std::string_view name, const std::vector<std::string>& lines) {
  TStreamedProperty p;
  p.Lines = lines;
  Add(block, name, TPropertyType::Strings, std::move(p));
}
void AddCollection(TStreamedProperties& block, std::string_view name, std::vector<TStreamedProperties> items) {
  TStreamedProperty p;
  p.Items = std::move(items);
  Add(block, name, TPropertyType::Collection, std::move(p));
}

bool WriteProperties(TBinaryStream& stream, const TStreamedProperties& block) { return WriteBlock(stream, block, 0); }

std::string PropertiesToBytes(const TStreamedProperties& block) {
  TMemoryStream stream;
  if (!WriteProperties(stream, block)) throw EChartStreamError("Property block cannot be written");
  return std::string(stream.Data().begin(), stream.Data().end());
}

TStreamedProperties PropertiesFromBytes(std::string_view bytes) {
  TMemoryStream stream(bytes.data(), bytes.size());
  TStreamedProperties block = ReadProperties(stream);
  if (stream.Remaining() != 0) Damaged("bytes after the end of the block");
  return block;
}

TStreamedProperties ReadProperties(TBinaryStream& stream) {
  const int32_t start = stream.Position();
  try {
    return ReadBlock(stream, 0);
  } catch (...) {
    stream.Seek(start);
    throw;
  }
}

const TStreamedProperty* FindProperty(const TStreamedProperties& block, std::string_view name) {
  for (const TStreamedProperty& p : block)
    if (SameTextAscii(p.Name, name)) return &p;
  return nullptr;
}

int64_t PropertyInteger(const TStreamedProperties& block, std::string_view name, int64_t fallback) {
  const TStreamedProperty* p = Typed(block, name, {TPropertyType::Integer, TPropertyType::Int64});
  return p ? p->Integer : fallback;
}

int32_t PropertyInt32(const TStreamedProperties& block, std::string_view name, int32_t fallback, int32_t lo,
                      int32_t hi) {
  const TStreamedProperty* p = Typed(block, name, {TPropertyType::Integer, TPropertyType::Int64});
  if (!p) return fallback;
  if (p->Integer < lo || p->Integer > hi) Damaged("value of " + p->Name + " out of range");
  return static_cast<int32_t>(p->Integer);
}

bool PropertyBoolean(const TStreamedProperties& block, std::string_view name, bool fallback) {
  const TStreamedProperty* p = Typed(block, name, {TPropertyType::False, TPropertyType::True});
  return p ? p->Type == TPropertyType::True : fallback;
}

double PropertyDouble(const TStreamedProperties& block, std::string_view name, double fallback) {
  const TStreamedProperty* p =
      Typed(block, name, {TPropertyType::Double, TPropertyType::Integer, TPropertyType::Int64});
  if (!p) return fallback;
  return p->Type == TPropertyType::Double ? p->Real : static_cast<double>(p->Integer);
}

std::string PropertyString(const TStreamedProperties& block, std::string_view name, std::string_view fallback) {
  const TStreamedProperty* p = Typed(block, name, {TPropertyType::String});
  return p ? p->Text : std::string(fallback);
}

std::vector<std::string> PropertyStrings(const TStreamedProperties& block, std::string_view name,
                                         const std::vector<std::string>& fallback) {
  const TStreamedProperty* p = Typed(block, name, {TPropertyType::Strings});
  return p ? p->Lines : fallback;
}

const std::vector<TStreamedProperties>& PropertyCollection(const TStreamedProperties& block, std::string_view name) {
  static const std::vector<TStreamedProperties> kNone;
  const TStreamedProperty* p = Typed(block, name, {TPropertyType::Collection});
  return p ? p->Items : kNone;
}

std::string PropertyBinary(const TStreamedProperties& block, std::string_view name, std::string_view fallback) {
  const TStreamedProperty* p = Typed(block, name, {TPropertyType::Binary});
  return p ? p->Text : std::string(fallback);
}

int PropertyIdentIndex(const TStreamedProperties& block, std::string_view name, const char* const* names,
                       size_t count, int fallback) {
  const TStreamedProperty* p = Typed(block, name, {TPropertyType::Ident});
  if (!p) return fallback;
  for (size_t i = 0; i < count; ++i)
    if (SameTextAscii(p->Text, names[i])) return static_cast<int>(i);
  Damaged("unknown value " + p->Text + " of " + p->Name);
}

}  // namespace qira

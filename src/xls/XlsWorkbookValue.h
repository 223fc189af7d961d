#pragma once
// The value of a cell: a tagged value whose kinds carry the platform's variant
// type codes, so that the writer can choose a record by kind.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qira {

// Variant type codes.
enum TVarType : uint16_t {
  varEmpty = 0x0000,
  varNull = 0x0001,
  varSmallint = 0x0002,
  varInteger = 0x0003,
  varSingle = 0x0004,
  varDouble = 0x0005,
  varCurrency = 0x0006,
  varDate = 0x0007,
  varOleStr = 0x0008,
  varDispatch = 0x0009,
  varError = 0x000A,
  varBoolean = 0x000B,
  varVariant = 0x000C,
  varUnknown = 0x000D,
  varShortInt = 0x0010,
  varByte = 0x0011,
  varWord = 0x0012,
  varLongWord = 0x0013,
  varInt64 = 0x0014,
  varUInt64 = 0x0015,
  varString = 0x0100,   // 8-bit string in the library code page
  varUString = 0x0102,  // Unicode string
};

class TVariant {
 public:
  TVariant() = default;  // empty

  static TVariant Null() { return OfKind(varNull); }
  static TVariant Smallint(int16_t v) { return Integral(varSmallint, v); }
  static TVariant Integer(int32_t v) { return Integral(varInteger, v); }
  static TVariant Single(float v) { return Real(varSingle, v); }
  static TVariant Double(double v) { return Real(varDouble, v); }
  // A currency amount in units of 1/10000.
  static TVariant Currency(int64_t tenThousandths) { return Integral(varCurrency, tenThousandths); }
  // Days since 1899-12-30.
  static TVariant Date(double days) { return Real(varDate, days); }
  static TVariant OleStr(std::u16string text);
  static TVariant Boolean(bool v) { return Integral(varBoolean, v ? 1 : 0); }
  static TVariant ShortInt(int8_t v) { return Integral(varShortInt, v); }
  static TVariant Byte(uint8_t v) { return Integral(varByte, v); }
  static TVariant Word(uint16_t v) { return Integral(varWord, v); }
  static TVariant LongWord(uint32_t v) { return Integral(varLongWord, v); }
  static TVariant Int64(int64_t v) { return Integral(varInt64, v); }
  // An error value of the file format (0x07 #DIV/0!, 0x24 #NUM!, 0x2A #N/A, ...).
  static TVariant Error(uint8_t code) { return Integral(varError, code); }
  // 8-bit text in the library code page.
  static TVariant AnsiString(std::string bytes);
  static TVariant UString(std::u16string text);
  // A wide string from UTF-8 text.
  static TVariant FromUtf8(std::string_view utf8);
  // A value of any other kind, without payload (for kinds a cell refuses).
  static TVariant OfKind(uint16_t kind);

  uint16_t Kind() const { return kind_; }
  bool IsEmpty() const { return kind_ == varEmpty; }
  bool IsString() const { return kind_ == varOleStr || kind_ == varString || kind_ == varUString; }
  // Integer, real, currency and date kinds.
  bool IsNumber() const;
  // Characters of a string kind (bytes of an 8-bit string); 0 for other kinds.
  size_t StringLength() const;

  // Numbers and dates as a double (currency in whole units); 0 for other kinds.
  double AsDouble() const;
  bool AsBoolean() const { return kind_ == varBoolean && int_ != 0; }
  // The code of an error value; 0 for other kinds.
  uint8_t AsErrorCode() const { return kind_ == varError ? static_cast<uint8_t>(int_) : 0; }
  // The text of a wide or Unicode string; empty for other kinds.
  const std::u16string& AsWide() const;
  // The bytes of an 8-bit string; empty for other kinds.
  const std::string& AsAnsi() const;

  // Same kind and same value.
  bool operator==(const TVariant& other) const;

  // The eight bytes that carry a value of a kind other than a string: the bits
  // of the double of the real kinds, the integer of the others. With the kind,
  // FromPayload makes the same value again; a cell stores no more than this.
  uint64_t Payload() const;
  static TVariant FromPayload(uint16_t kind, uint64_t payload);

 private:
  static TVariant Integral(uint16_t kind, int64_t v);
  static TVariant Real(uint16_t kind, double v);

  // Text is never changed once made, so copies share it: a number value stays
  // small, which matters with a value in every cell.
  struct TText {
    std::string ansi;
    std::u16string wide;
  };
  const TText& Text() const;

  uint16_t kind_ = varEmpty;
  int64_t int_ = 0;
  double real_ = 0;
  std::shared_ptr<const TText> text_;
};

}  // namespace qira

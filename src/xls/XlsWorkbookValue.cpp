#include "xls/XlsWorkbookValue.h"

#include <bit>
#include <utility>

#include "xls/XlsSupport.h"

namespace qira {

TVariant TVariant::Integral(uint16_t kind, int64_t v) {
  TVariant r;
  r.kind_ = kind;
  r.int_ = v;
  return r;
}

TVariant TVariant::Real(uint16_t kind, double v) {
  TVariant r;
  r.kind_ = kind;
  r.real_ = v;
  return r;
}

TVariant TVariant::OleStr(std::u16string text) {
  TVariant r;
  r.kind_ = varOleStr;
  r.text_ = std::make_shared<const TText>(TText{{}, std::move(text)});
  return r;
}

TVariant TVariant::UString(std::u16string text) {
  TVariant r;
  r.kind_ = varUString;
  r.text_ = std::make_shared<const TText>(TText{{}, std::move(text)});
  return r;
}

TVariant TVariant::AnsiString(std::string bytes) {
  TVariant r;
  r.kind_ = varString;
  r.text_ = std::make_shared<const TText>(TText{std::move(bytes), {}});
  return r;
}

const TVariant::TText& TVariant::Text() const {
  static const TText kNoText;
  return text_ ? *text_ : kNoText;
}

const std::u16string& TVariant::AsWide() const { return Text().wide; }

const std::string& TVariant::AsAnsi() const { return Text().ansi; }

TVariant TVariant::FromUtf8(std::string_view utf8) { return OleStr(Utf8ToWide(utf8)); }

TVariant TVariant::OfKind(uint16_t kind) {
  TVariant r;
  r.kind_ = kind;
  return r;
}

bool TVariant::IsNumber() const {
  switch (kind_) {
    case varSmallint: case varInteger: case varSingle: case varDouble: case varCurrency: case varDate:
    case varShortInt: case varByte: case varWord: case varLongWord: case varInt64:
      return true;
    default:
      return false;
  }
}

size_t TVariant::StringLength() const {
  if (kind_ == varString) return Text().ansi.size();
  if (kind_ == varOleStr || kind_ == varUString) return Text().wide.size();
  return 0;
}

double TVariant::AsDouble() const {
  switch (kind_) {
    case varSingle: case varDouble: case varDate:
      return real_;
    case varCurrency:
      return static_cast<double>(int_) / 10000.0;
    case varSmallint: case varInteger: case varShortInt: case varByte: case varWord: case varLongWord:
    case varInt64:
      return static_cast<double>(int_);
    default:
      return 0;
  }
}

bool TVariant::operator==(const TVariant& other) const {
  return kind_ == other.kind_ && int_ == other.int_ && real_ == other.real_ && Text().ansi == other.Text().ansi &&
         Text().wide == other.Text().wide;
}

namespace {
bool IsRealKind(uint16_t kind) { return kind == varSingle || kind == varDouble || kind == varDate; }
}  // namespace

uint64_t TVariant::Payload() const {
  return IsRealKind(kind_) ? std::bit_cast<uint64_t>(real_) : static_cast<uint64_t>(int_);
}

TVariant TVariant::FromPayload(uint16_t kind, uint64_t payload) {
  return IsRealKind(kind) ? Real(kind, std::bit_cast<double>(payload)) : Integral(kind, static_cast<int64_t>(payload));
}

}  // namespace qira

#include "platform/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace qira {

namespace {

// Large enough for any double in fixed notation with up to kMaxDecimals decimals.
constexpr int kMaxDecimals = 340;
constexpr size_t kBufferSize = 309 + 2 + kMaxDecimals + 8;

std::string ToChars(double x, std::chars_format fmt, int precision) {
  char buf[kBufferSize];
  auto r = std::to_chars(buf, buf + sizeof buf, x, fmt, precision);
  return std::string(buf, r.ptr);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

template <typename T>
bool ParseInteger(std::string_view text, T& value) {
  std::string_view s = TrimBlanks(text);
  if (!s.empty() && s.front() == '+') {
    s.remove_prefix(1);
    if (!s.empty() && s.front() == '-') return false;
  }
  if (s.empty()) return false;
  T v{};
  auto r = std::from_chars(s.data(), s.data() + s.size(), v, 10);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return false;
  value = v;
  return true;
}

}  // namespace

std::string FormatShortest(double x) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, x);
  return std::string(buf, r.ptr);
}

std::string FormatFixed(double x, int decimals) {
  return ToChars(x, std::chars_format::fixed, std::clamp(decimals, 0, kMaxDecimals));
}

std::string FormatExponent(double x, int decimals) {
  return ToChars(x, std::chars_format::scientific, std::clamp(decimals, 0, kMaxDecimals));
}

std::string FormatInteger(int64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

bool ParseDouble(std::string_view text, double& value, bool acceptComma) {
  std::string s(TrimBlanks(text));
  size_t start = 0;
  bool negative = false;
  if (start < s.size() && (s[start] == '+' || s[start] == '-')) {
    negative = s[start] == '-';
    ++start;
  }
  // from_chars would also take "inf", "nan" and a second sign; a number starts with a
  // digit or the separator.
  if (start >= s.size()) return false;
  if (acceptComma) std::replace(s.begin(), s.end(), ',', '.');
  char first = s[start];
  if (!((first >= '0' && first <= '9') || first == '.')) return false;
  double v = 0;
  const char* begin = s.data() + start;
  const char* end = s.data() + s.size();
  auto r = std::from_chars(begin, end, v, std::chars_format::general);
  if (r.ec != std::errc() || r.ptr != end || !std::isfinite(v)) return false;
  value = negative ? -v : v;
  return true;
}

bool ParseInt32(std::string_view text, int32_t& value) { return ParseInteger(text, value); }
bool ParseInt64(std::string_view text, int64_t& value) { return ParseInteger(text, value); }

}  // namespace qira

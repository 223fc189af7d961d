#include "platform/AsciiCase.h"

#include <algorithm>

namespace qira {

namespace {

char LowerAsciiChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerAsciiChar(c);
  return out;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAsciiChar(x) == LowerAsciiChar(y);
         });
}

size_t FindNoCase(std::string_view haystack, std::string_view needle, size_t from) {
  if (needle.empty() || needle.size() > haystack.size()) return std::string_view::npos;
  for (size_t i = from; i + needle.size() <= haystack.size(); ++i)
    if (SameTextAscii(haystack.substr(i, needle.size()), needle)) return i;
  return std::string_view::npos;
}

}  // namespace qira

#pragma once
// Replacing every occurrence of a piece of text in one pass: replacing in place
// would move the rest of the text once for every occurrence.
#include <string>
#include <string_view>

namespace qira {

// The text with every occurrence of `what` (from the left, not overlapping) replaced
// by `with`; `find(text, what, from)` gives the next occurrence (npos when none),
// by default the text's own search.
template <class Char, class Find>
std::basic_string<Char> ReplaceEach(std::basic_string_view<Char> text, std::basic_string_view<Char> what,
                                    std::basic_string_view<Char> with, Find find) {
  if (what.empty()) return std::basic_string<Char>(text);
  std::basic_string<Char> out;
  size_t done = 0;
  for (size_t hit = find(text, what, done); hit != std::basic_string_view<Char>::npos;
       hit = find(text, what, done)) {
    out.append(text.substr(done, hit - done));
    out.append(with);
    done = hit + what.size();
  }
  out.append(text.substr(done));
  return out;
}

template <class Char>
std::basic_string<Char> ReplaceEach(std::basic_string_view<Char> text, std::basic_string_view<Char> what,
                                    std::basic_string_view<Char> with) {
  return ReplaceEach(text, what, with,
                     [](std::basic_string_view<Char> in, std::basic_string_view<Char> needle, size_t from) {
                       return in.find(needle, from);
                     });
}

inline std::string ReplaceAll(std::string_view text, std::string_view what, std::string_view with) {
  return ReplaceEach(text, what, with);
}

}  // namespace qira

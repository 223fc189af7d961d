#pragma once
// ASCII case folding for identifiers, keys and file extensions, which the
// system compares without regard to case. Bytes outside 'A'..'Z' stay as they
// are, whatever the locale, so UTF-8 text passes through unchanged.
#include <string>
#include <string_view>

namespace qira {

// The text with 'A'..'Z' lowered.
std::string LowerAscii(std::string_view text);

// Equal when lowered (the class library's SameText for ASCII text).
bool SameTextAscii(std::string_view a, std::string_view b);

// Position of needle in haystack from `from`, ignoring ASCII case; npos when none.
size_t FindNoCase(std::string_view haystack, std::string_view needle, size_t from = 0);

// The text with every occurrence of `what` (from the left, not overlapping) replaced
// by `with`, in one pass: replacing in place would move the rest of the text once
// for every occurrence.
std::string ReplaceAll(std::string_view text, std::string_view what, std::string_view with, bool ignoreCase = false);

// The same for text of any character type, with `find(text, what, from)` giving
// the next occurrence (npos when none).
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

}  // namespace qira

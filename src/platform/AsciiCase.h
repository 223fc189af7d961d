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

}  // namespace qira

#pragma once
// Windows-1252 on disk, UTF-8 inside the program.
#include <string>
#include <string_view>

namespace qira {

// Every byte maps to one character. The five bytes that Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same
// value, as Windows does, so any byte string survives a round trip.
std::string Cp1252ToUtf8(std::string_view bytes);

// Characters without a Windows-1252 byte become '?', and so does every byte of
// malformed UTF-8 (stray continuation bytes, overlong forms, surrogates, > U+10FFFF).
std::string Utf8ToCp1252(std::string_view utf8);

// True when every byte belongs to a well-formed UTF-8 sequence (no overlong forms,
// no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view text);

}  // namespace qira

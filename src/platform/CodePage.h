#pragma once
// Windows-1252 on disk, UTF-8 inside the program.
#include <cstddef>
#include <string>
#include <string_view>

namespace qira {

// Every byte maps to one character. The five bytes that Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same
// value, as Windows does, so any byte string survives a round trip.
// Its result holds exactly its size (reserved once).
std::string Cp1252ToUtf8(std::string_view bytes);
// The size of Cp1252ToUtf8(bytes), found without making it.
size_t Cp1252AsUtf8Size(std::string_view bytes);

// Characters without a Windows-1252 byte become '?', and so does every byte of
// malformed UTF-8 (stray continuation bytes, overlong forms, surrogates, > U+10FFFF).
std::string Utf8ToCp1252(std::string_view utf8);

// True when every byte belongs to a well-formed UTF-8 sequence (no overlong forms,
// no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view text);

// What stands for a character that cannot be decoded.
constexpr char32_t kReplacementCharacter = 0xFFFD;

// Appends the UTF-8 form of one code point (any plane).
void AppendUtf8(std::string& out, char32_t cp);

// The length of the well-formed UTF-8 sequence at text[i] with its code point in
// cp; 0 when the bytes there are malformed or cut short. Never reads past the end.
size_t Utf8SequenceAt(std::string_view text, size_t i, char32_t& cp);

// A surrogate pair becomes one character, an unpaired surrogate U+FFFD.
std::string Utf16ToUtf8(std::u16string_view units);

}  // namespace qira

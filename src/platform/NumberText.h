#pragma once
// Number text that never follows the locale: '.' is the decimal separator of all
// output; input may also use ',' where the caller allows it (numbers typed by users).
#include <cstdint>
#include <string>
#include <string_view>

namespace qira {

// The shortest text that reads back to the same double ("0.1", "1e+20", "-0",
// "inf", "nan").
std::string FormatShortest(double x);
// Fixed notation with the given number of decimals (negative counts as 0):
// FormatFixed(2.5, 2) = "2.50". Ties are decided on the exact binary value.
std::string FormatFixed(double x, int decimals);
// Exponent notation with the given number of decimals in the mantissa and at
// least two exponent digits: FormatExponent(1234.5, 2) = "1.23e+03".
std::string FormatExponent(double x, int decimals);
std::string FormatInteger(int64_t v);

// Parses a whole text as a finite double. Blanks (space, tab) around the number are
// allowed; a leading '+' or '-', digits with one decimal separator ('.', or ',' when
// acceptComma) and an exponent. Anything else, "inf", "nan", hex and out-of-range
// values fail; value is untouched on failure.
bool ParseDouble(std::string_view text, double& value, bool acceptComma = true);

// Whole-text decimal integers with optional sign and surrounding blanks; false
// out of range or on any other character.
bool ParseInt32(std::string_view text, int32_t& value);
bool ParseInt64(std::string_view text, int64_t& value);

}  // namespace qira

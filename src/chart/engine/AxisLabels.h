#pragma once
// Texts and step arithmetic of axis labels: the class library's number formatting
// (FormatFloat, FloatToStr) and date-time formatting, line counting, and the
// 1-2-5 step series. Free of locale ('.' is the decimal point and ',' the
// thousands separator) unless the user's separators are asked for: texts shown on
// screen follow the user, number text in files never does.
#include <cstdint>
#include <string>

namespace qira {

// A number by a picture format: sections "positive;negative;zero", digit
// placeholders '0' (always shown) and '#', the first '.' as decimal point, ',' in
// the integer part for thousands groups, "E+"/"E-" exponents, quoted literals.
// Infinities and NaN give "INF", "-INF" and "NAN"; magnitudes of 1e18 and more
// fall back to FloatToStr, as the picture cannot hold their digits.
std::string FormatFloat(const std::string& format, double value);

// The decimal and thousands separators of numbers shown to the user.
struct TNumberSeparators {
  std::string Decimal = ".";
  std::string Thousands = ",";
};
// The user's separators: those of the C library's numeric locale, which the
// application takes from the environment at start. A locale without a thousands
// separator (the "C" locale) keeps ','.
TNumberSeparators UserNumberSeparators();
// FormatFloat with the given separators for the decimal point and the groups;
// literal text of the picture stays as written.
std::string FormatFloat(const std::string& format, double value, const TNumberSeparators& separators);
// General format with 15 significant digits ("0.1", "1E20", "1.5E-7").
std::string FloatToStr(double value);
// A date value (days since 1899-12-30) in a date-time format of Qt notation
// (d, dd, M, MM, MMM, yy, yyyy, h, hh, H, HH, m, mm, s, ss, z, zzz, AP, ap, quoted
// text). Values outside the years 1 .. 9999 or not finite give an empty text.
std::string FormatDateTimeValue(const std::string& format, double value);

// Number of lines: separators (character 13) plus one when text remains after
// the last ("" 0, "a" 1, "a\rb" 2, "a\r" 1).
int32_t LineCount(const std::string& text);

// The next value of the 1-2-5 series strictly above x. An infinite x gives 1; so
// does a value that is not above 0 or NaN, which no caller should pass.
double NextNiceStep(double x);

}  // namespace qira

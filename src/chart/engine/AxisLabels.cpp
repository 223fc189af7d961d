#include "chart/engine/AxisLabels.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QTime>
#include <charconv>
#include <clocale>
#include <cmath>
#include <vector>

#include "platform/NumberText.h"

namespace qira {

namespace {

// [SECTION] FloatToStr

std::string GeneralDigits(double value) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  std::string s(buf, r.ptr);
  // The class library writes exponents as "E20" / "E-7".
  const auto e = s.find('e');
  if (e != std::string::npos) {
    std::string mant = s.substr(0, e);
    std::string exp = s.substr(e + 1);
    bool neg = !exp.empty() && exp[0] == '-';
    if (!exp.empty() && (exp[0] == '+' || exp[0] == '-')) exp.erase(0, 1);
    while (exp.size() > 1 && exp[0] == '0') exp.erase(0, 1);
    s = mant + "E" + (neg ? "-" : "") + exp;
  }
  return s;
}

// [SECTION] FormatFloat

struct TPictureSection {
  std::string prefix, suffix;  // literal text around the number
  int32_t intZeros = 0;        // '0' placeholders before the point
  int32_t fracZeros = 0;       // '0' placeholders after the point
  int32_t fracDigits = 0;      // all placeholders after the point
  bool thousands = false;
  bool scientific = false;
  bool expSignAlways = false;  // "E+" rather than "E-"
  int32_t expDigits = 0;
  bool hasDigits = false;
};

std::vector<std::string> SplitSections(const std::string& format) {
  std::vector<std::string> out(1);
  char quote = 0;
  for (char c : format) {
    if (quote) {
      if (c == quote) quote = 0;
      out.back() += c;
    } else if (c == '"' || c == '\'') {
      quote = c;
      out.back() += c;
    } else if (c == ';') {
      out.emplace_back();
    } else {
      out.back() += c;
    }
  }
  return out;
}

TPictureSection ParseSection(const std::string& f) {
  TPictureSection p;
  bool afterPoint = false, seenDigit = false, inExponent = false;
  std::string* literal = &p.prefix;
  for (size_t i = 0; i < f.size(); ++i) {
    const char c = f[i];
    if (c == '"' || c == '\'') {
      const size_t end = f.find(c, i + 1);
      const size_t stop = end == std::string::npos ? f.size() : end;
      *literal += f.substr(i + 1, stop - i - 1);
      i = stop;
      continue;
    }
    if (inExponent) {
      if (c == '0' || c == '#') {
        ++p.expDigits;
        continue;
      }
      inExponent = false;
    }
    if (c == '0' || c == '#') {
      seenDigit = true;
      p.hasDigits = true;
      literal = &p.suffix;
      if (afterPoint) {
        ++p.fracDigits;
        if (c == '0') p.fracZeros = p.fracDigits;
      } else if (c == '0') {
        ++p.intZeros;
      }
    } else if (c == '.' && !afterPoint) {
      afterPoint = true;
      seenDigit = true;
      literal = &p.suffix;
    } else if (c == ',' && !afterPoint && seenDigit) {
      p.thousands = true;
    } else if ((c == 'E' || c == 'e') && seenDigit && i + 1 < f.size() && (f[i + 1] == '+' || f[i + 1] == '-')) {
      p.scientific = true;
      p.expSignAlways = f[i + 1] == '+';
      inExponent = true;
      ++i;
    } else {
      *literal += c;
    }
  }
  return p;
}

std::string GroupThousands(const std::string& digits, const std::string& separator) {
  std::string out;
  const size_t n = digits.size();
  for (size_t i = 0; i < n; ++i) {
    out += digits[i];
    if ((n - i - 1) % 3 == 0 && i + 1 < n) out += separator;
  }
  return out;
}

// The unsigned number by the picture, and whether it rounded to zero.
std::string FormatMagnitude(const TPictureSection& p, double magnitude, bool& isZero, const TNumberSeparators& sep) {
  std::string body;
  int exponent = 0;
  if (p.scientific && magnitude != 0) {
    // One integer digit (or intZeros digits) before the point.
    const int lead = std::max(1, p.intZeros);
    exponent = static_cast<int>(std::floor(std::log10(magnitude))) - (lead - 1);
    double m = magnitude / std::pow(10.0, exponent);
    // Rounding may carry into one more integer digit (9.99 -> 10.0).
    const std::string probe = FormatFixed(m, p.fracDigits);
    const size_t intLength = std::min(probe.find('.'), probe.size());
    if (intLength > static_cast<size_t>(lead)) {
      ++exponent;
      m = magnitude / std::pow(10.0, exponent);
    }
    magnitude = m;
  }
  std::string fixed = FormatFixed(magnitude, p.fracDigits);
  std::string intPart = fixed, fracPart;
  if (const auto dot = fixed.find('.'); dot != std::string::npos) {
    intPart = fixed.substr(0, dot);
    fracPart = fixed.substr(dot + 1);
  }
  while (static_cast<int32_t>(fracPart.size()) > p.fracZeros && !fracPart.empty() && fracPart.back() == '0')
    fracPart.pop_back();
  isZero = intPart.find_first_not_of('0') == std::string::npos && fracPart.find_first_not_of('0') == std::string::npos;
  intPart.erase(0, std::min(intPart.find_first_not_of('0'), intPart.size()));
  while (static_cast<int32_t>(intPart.size()) < p.intZeros) intPart.insert(intPart.begin(), '0');
  if (p.thousands) intPart = GroupThousands(intPart, sep.Thousands);
  body = intPart;
  if (!fracPart.empty()) body += sep.Decimal + fracPart;
  if (p.scientific) {
    std::string e = std::to_string(std::abs(exponent));
    while (static_cast<int32_t>(e.size()) < p.expDigits) e.insert(e.begin(), '0');
    body += "E";
    if (exponent < 0)
      body += "-";
    else if (p.expSignAlways)
      body += "+";
    body += e;
  }
  return body;
}

}  // namespace

std::string FloatToStr(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  return GeneralDigits(value);
}

std::string FormatFloat(const std::string& format, double value) { return FormatFloat(format, value, {}); }

TNumberSeparators UserNumberSeparators() {
  TNumberSeparators result;
  if (const std::lconv* conv = std::localeconv()) {
    if (conv->decimal_point != nullptr && *conv->decimal_point != '\0') result.Decimal = conv->decimal_point;
    if (conv->thousands_sep != nullptr && *conv->thousands_sep != '\0') result.Thousands = conv->thousands_sep;
  }
  return result;
}

std::string FormatFloat(const std::string& format, double value, const TNumberSeparators& separators) {
  if (!std::isfinite(value) || std::fabs(value) >= 1e18 || format.empty()) {
    // The general form has a decimal point only, never a group.
    std::string text = FloatToStr(value);
    if (const auto dot = text.find('.'); dot != std::string::npos) text.replace(dot, 1, separators.Decimal);
    return text;
  }
  const std::vector<std::string> sections = SplitSections(format);
  const TPictureSection positive = ParseSection(sections[0]);
  bool isZero = false;
  const std::string body = FormatMagnitude(positive, std::fabs(value), isZero, separators);
  if (isZero && sections.size() >= 3 && !sections[2].empty()) {
    const TPictureSection zero = ParseSection(sections[2]);
    bool z = false;
    return zero.prefix + (zero.hasDigits ? FormatMagnitude(zero, 0.0, z, separators) : "") + zero.suffix;
  }
  if (value < 0 && !isZero) {
    if (sections.size() >= 2 && !sections[1].empty()) {
      const TPictureSection negative = ParseSection(sections[1]);
      bool z = false;
      return negative.prefix + (negative.hasDigits ? FormatMagnitude(negative, -value, z, separators) : "") +
             negative.suffix;
    }
    return "-" + positive.prefix + body + positive.suffix;
  }
  return positive.prefix + body + positive.suffix;
}

std::string FormatDateTimeValue(const std::string& format, double value) {
  // 9999-12-31 is day 2958465; day 1 of year 1 is -693593.
  if (!std::isfinite(value) || value < -693594.0 || value >= 2958466.0) return {};
  const double day = std::floor(value);
  const int64_t ms = static_cast<int64_t>(std::nearbyint((value - day) * 86400000.0));
  QDateTime dt(QDate(1899, 12, 30).addDays(static_cast<qint64>(day)), QTime(0, 0));
  dt = dt.addMSecs(ms);
  if (!dt.isValid()) return {};
  return QLocale::c().toString(dt, QString::fromStdString(format)).toStdString();
}

int32_t LineCount(const std::string& text) {
  int32_t n = 0;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      ++n;
      start = i + 1;
    }
  }
  return start < text.size() ? n + 1 : n;
}

double NextNiceStep(double x) {
  if (std::isinf(x) || !(x > 0)) return 1;
  // The recursive definition scales by 10 or 0.1 per level and multiplies the
  // result back level by level; doing the same products in a loop keeps its
  // results bit for bit while a tiny x cannot exhaust the stack.
  int32_t levels = 0;
  double factor = 1;
  if (x >= 10) {
    factor = 10;
    while (x >= 10) {
      x *= 0.1;
      ++levels;
    }
  } else if (x < 1) {
    factor = 0.1;
    while (x < 1) {
      x *= 10;
      ++levels;
    }
  }
  double result = x < 2 ? 2 : (x < 5 ? 5 : 10);
  for (int32_t i = 0; i < levels; ++i) result *= factor;
  return result;
}

}  // namespace qira

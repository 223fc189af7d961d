#include "chart/draw/DateTimeSteps.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace qira {

namespace {

constexpr double kOneSecond = 1.0 / 86400.0;
constexpr double kOneMinute = 60.0 * kOneSecond;
constexpr double kOneHour = 60.0 * kOneMinute;

// Days from 1970-01-01 of a proleptic Gregorian day, and back.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int32_t& year, int32_t& month, int32_t& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int32_t>(yoe + era * 400 + (m <= 2));
  month = static_cast<int32_t>(m);
  day = static_cast<int32_t>(d);
}

// Day 0 of the stored date-time numbers (whole days, fraction of a day after the point).
const int64_t kDateZeroDays = DaysFromCivil(1899, 12, 30);

bool IsLeapYear(int32_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Month moves land on day 1.
void MoveMonths(bool up, int32_t n, int32_t& year, int32_t& month, int32_t& day) {
  day = 1;
  if (up) {
    month += n;
    if (month > 12) {
      ++year;
      month -= 12;
    }
  } else if (n >= month) {
    --year;
    month = month - n + 12;
  } else {
    month -= n;
  }
}

void MoveHalfMonth(bool up, int32_t& year, int32_t& month, int32_t& day) {
  if (up) {
    if (day < 15) {
      day = 15;
    } else {
      MoveMonths(true, 1, year, month, day);
    }
  } else if (day > 15) {
    day = 15;
  } else if (day >= 2) {
    day = 1;
  } else {
    MoveMonths(false, 1, year, month, day);
    day = 15;
  }
}

}  // namespace

const std::array<double, 27> DateTimeStep = {
    kOneSecond / 1000000.0, kOneSecond / 1000.0, kOneSecond, 5 * kOneSecond, 10 * kOneSecond,
    15 * kOneSecond, 30 * kOneSecond, kOneMinute, 5 * kOneMinute, 10 * kOneMinute, 15 * kOneMinute,
    30 * kOneMinute, kOneHour, 2 * kOneHour, 6 * kOneHour, 12 * kOneHour, 1, 2, 3, 7, 15, 30, 60, 90,
    120, 182, 365};

int32_t DaysInMonth(int32_t year, int32_t month) {
  static constexpr int32_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool TryEncodeDate(int32_t year, int32_t month, int32_t day, TDateTime& date) {
  if (year < 1 || year > 9999 || day < 1 || day > DaysInMonth(year, month)) return false;
  date = static_cast<double>(DaysFromCivil(year, month, day) - kDateZeroDays);
  return true;
}

void DecodeDate(TDateTime date, int32_t& year, int32_t& month, int32_t& day) {
  // The date part as the windowing library takes it: truncated toward zero.
  const double whole = std::isfinite(date) ? std::trunc(std::clamp(date, -1.0e9, 1.0e9)) : 0.0;
  CivilFromDays(static_cast<int64_t>(whole) + kDateZeroDays, year, month, day);
}

int32_t FindDateTimeStep(double step) {
  for (int32_t i = dtOneYear; i >= 0; --i) {
    if (std::fabs(DateTimeStep[i] - step) < DateTimeStep[dtOneMicroSecond]) return i;
  }
  return dtNone;
}

double NextDateTimeStep(double step) {
  for (int32_t i = dtSixMonths; i >= 0; --i) {
    if (step >= DateTimeStep[i]) return DateTimeStep[i + 1];
  }
  return DateTimeStep[dtOneYear];
}

std::string DateTimeFormatForStep(double step) {
  const QLocale locale = QLocale::system();
  return (step <= DateTimeStep[dtOneDay] ? locale.timeFormat(QLocale::ShortFormat)
                                         : locale.dateFormat(QLocale::ShortFormat))
      .toStdString();
}

TDateTime TruncDateToStep(TDateTime date, int32_t stepIndex) {
  if (!(date > ChartBaseDate)) return date;
  int32_t year = 0, month = 0, day = 0;
  DecodeDate(date, year, month, day);
  if (stepIndex == dtHalfMonth) {
    day = day >= 15 ? 15 : 1;
  } else if (stepIndex >= dtOneMonth && stepIndex <= dtSixMonths) {
    day = 1;
  } else if (stepIndex == dtOneYear) {
    day = 1;
    month = 1;
  }
  TDateTime result = date;
  return TryEncodeDate(year, month, day, result) ? result : date;
}

void StepDateTime(bool calendar, bool up, TDateTime& value, int32_t stepIndex, double stepValue) {
  if (!calendar || stepIndex < dtHalfMonth || stepIndex > dtOneYear) {
    value += up ? stepValue : -stepValue;
    return;
  }
  int32_t year = 0, month = 0, day = 0;
  DecodeDate(value, year, month, day);
  switch (stepIndex) {
    case dtHalfMonth: MoveHalfMonth(up, year, month, day); break;
    case dtOneMonth: MoveMonths(up, 1, year, month, day); break;
    case dtTwoMonths: MoveMonths(up, 2, year, month, day); break;
    case dtThreeMonths: MoveMonths(up, 3, year, month, day); break;
    case dtFourMonths: MoveMonths(up, 4, year, month, day); break;
    case dtSixMonths: MoveMonths(up, 6, year, month, day); break;
    default:
      year += up ? 1 : -1;
      // 29 February of a year without it becomes 28 February instead of an invalid date.
      day = std::min(day, DaysInMonth(year, month));
      break;
  }
  TDateTime moved = value;
  if (TryEncodeDate(year, month, day, moved)) value = moved;
}

}  // namespace qira

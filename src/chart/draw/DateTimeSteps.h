#pragma once
// Date-time steps of chart axes: the table of 27 steps in days, its look-ups, and
// stepping a date by calendar units (half months, months, years).
//
// A date value is the windowing library's TDateTime: days since 1899-12-30 as a
// double, the time of day in the fraction.
#include <array>
#include <cstdint>
#include <string>

namespace qira {

using TDateTime = double;

enum TDateTimeStep : int32_t {
  dtOneMicroSecond, dtOneMillisecond, dtOneSecond, dtFiveSeconds, dtTenSeconds, dtFifteenSeconds,
  dtThirtySeconds, dtOneMinute, dtFiveMinutes, dtTenMinutes, dtFifteenMinutes, dtThirtyMinutes,
  dtOneHour, dtTwoHours, dtSixHours, dtTwelveHours, dtOneDay, dtTwoDays, dtThreeDays, dtOneWeek,
  dtHalfMonth, dtOneMonth, dtTwoMonths, dtThreeMonths, dtFourMonths, dtSixMonths, dtOneYear,
  dtNone  // not a table step
};

// The steps in days, index 0 .. 26.
extern const std::array<double, 27> DateTimeStep;

// 1900-01-01 as a date value; dates at or before it are not truncated to steps.
inline constexpr TDateTime ChartBaseDate = 2.0;

// The date value of a calendar day; false for a day that does not exist (year 1 .. 9999).
bool TryEncodeDate(int32_t year, int32_t month, int32_t day, TDateTime& date);
// Year, month and day of the date part of a value (the time of day is ignored).
void DecodeDate(TDateTime date, int32_t& year, int32_t& month, int32_t& day);
int32_t DaysInMonth(int32_t year, int32_t month);

// The index of the table step equal to Step within one microsecond, searched from the
// largest down; dtNone when none is.
int32_t FindDateTimeStep(double step);
// The table step after the largest step not above Step; a year when Step is below every
// step or at least half a year.
double NextDateTimeStep(double step);
// The system's short time format (Qt notation) for steps up to a day, else its short
// date format.
std::string DateTimeFormatForStep(double step);
// Drops the time of day, and for calendar steps moves to the step's first day (1st or
// 15th for half months, 1st for months, 1 January for years). Dates at or before
// ChartBaseDate are returned unchanged.
TDateTime TruncDateToStep(TDateTime date, int32_t stepIndex);
// Moves value one step up or down. Without Calendar or for an index outside the
// calendar steps (20 .. 26) by StepValue days; otherwise by half months, months or a
// year, dropping the time of day. A year step keeps month and day, except that
// 29 February lands on 28 February in a year without it. A step that would leave the
// years 1 .. 9999 leaves value unchanged.
void StepDateTime(bool calendar, bool up, TDateTime& value, int32_t stepIndex, double stepValue);

}  // namespace qira

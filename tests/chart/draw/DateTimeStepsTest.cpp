#include "chart/draw/DateTimeSteps.h"

#include <gtest/gtest.h>

#include <QLocale>

namespace qira {
namespace {

TDateTime Date(int32_t y, int32_t m, int32_t d) {
  TDateTime date = 0;
  EXPECT_TRUE(TryEncodeDate(y, m, d, date));
  return date;
}

TEST(DateTimeSteps, FindsTableStepsWithinAMicrosecond) {
  EXPECT_EQ(FindDateTimeStep(1.0 / 24), dtOneHour);
  EXPECT_EQ(FindDateTimeStep(1.5), dtNone);
  EXPECT_EQ(FindDateTimeStep(365.0 + 1e-12), dtOneYear);
}

TEST(DateTimeSteps, NextStepFollowsTheLargestStepNotAbove) {
  EXPECT_DOUBLE_EQ(NextDateTimeStep(1.0 / 24), 2.0 / 24);
  EXPECT_DOUBLE_EQ(NextDateTimeStep(0), 365);
  EXPECT_DOUBLE_EQ(NextDateTimeStep(400), 365);
  EXPECT_DOUBLE_EQ(NextDateTimeStep(182), 365);
}

TEST(DateTimeSteps, FormatIsTheSystemsTimeUpToADayElseItsDate) {
  EXPECT_EQ(DateTimeFormatForStep(1), QLocale::system().timeFormat(QLocale::ShortFormat).toStdString());
  EXPECT_EQ(DateTimeFormatForStep(2), QLocale::system().dateFormat(QLocale::ShortFormat).toStdString());
}

TEST(DateTimeSteps, TruncatesToTheFirstDayOfTheStep) {
  struct Row {
    const char* name;
    TDateTime date;
    int32_t step;
    TDateTime expected;
  } rows[] = {
      {"half month after the 15th", Date(2001, 3, 20), dtHalfMonth, Date(2001, 3, 15)},
      {"half month before the 15th", Date(2001, 3, 14), dtHalfMonth, Date(2001, 3, 1)},
      {"year", Date(2001, 3, 20), dtOneYear, Date(2001, 1, 1)},
      {"day drops the time", Date(2001, 3, 20) + 10.5 / 24, dtOneDay, Date(2001, 3, 20)},
      {"before the base date unchanged", 1.25, dtOneYear, 1.25},
  };
  for (const Row& row : rows) EXPECT_DOUBLE_EQ(TruncDateToStep(row.date, row.step), row.expected) << row.name;
}

TEST(DateTimeSteps, StepsByCalendarUnits) {
  struct Row {
    const char* name;
    TDateTime from;
    bool up;
    int32_t step;
    TDateTime expected;
  } rows[] = {
      {"two months forward over the year end", Date(2000, 11, 15), true, dtTwoMonths, Date(2001, 1, 1)},
      {"six months back over the year start", Date(2001, 3, 15), false, dtSixMonths, Date(2000, 9, 1)},
      {"half month back from the 20th", Date(2001, 3, 20), false, dtHalfMonth, Date(2001, 3, 15)},
      {"half month back from the 15th", Date(2001, 3, 15), false, dtHalfMonth, Date(2001, 3, 1)},
      {"half month back from the 1st", Date(2001, 3, 1), false, dtHalfMonth, Date(2001, 2, 15)},
      {"half month forward from the 10th", Date(2001, 3, 10), true, dtHalfMonth, Date(2001, 3, 15)},
      {"half month forward from the 15th", Date(2001, 3, 15), true, dtHalfMonth, Date(2001, 4, 1)},
      {"half month forward from the 31st", Date(2001, 3, 31), true, dtHalfMonth, Date(2001, 4, 1)},
      {"year keeps month and day", Date(2001, 3, 15), true, dtOneYear, Date(2002, 3, 15)},
      {"29 February a year on is 28 February", Date(2004, 2, 29), true, dtOneYear, Date(2005, 2, 28)},
      {"29 February a year back is 28 February", Date(2004, 2, 29), false, dtOneYear, Date(2003, 2, 28)},
  };
  for (const Row& row : rows) {
    TDateTime value = row.from + 0.75;  // the time of day is dropped
    StepDateTime(true, row.up, value, row.step, DateTimeStep[row.step]);
    EXPECT_DOUBLE_EQ(value, row.expected) << row.name;
  }
}

TEST(DateTimeSteps, PlainStepsAddTheStepValue) {
  TDateTime value = 100.25;
  StepDateTime(false, true, value, dtOneMonth, 30);
  EXPECT_DOUBLE_EQ(value, 130.25);
  StepDateTime(true, false, value, dtOneHour, 0.25);
  EXPECT_DOUBLE_EQ(value, 130.0);
}

TEST(DateTimeSteps, AStepPastYear9999LeavesTheDate) {
  TDateTime value = Date(9999, 6, 1);
  const TDateTime before = value;
  StepDateTime(true, true, value, dtOneYear, 365);
  EXPECT_DOUBLE_EQ(value, before);
}

}  // namespace
}  // namespace qira

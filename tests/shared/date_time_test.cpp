#include "shared/date_time.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "shared/clock.h"

namespace tol {
namespace {

constexpr int64_t kDay = DateTime::kMsPerDay;

DateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return DateTime::FromFields({y, mo, d, h, mi, s, ms}).value();
}

std::string Describe(const DateTimeFields& f) {
  return std::to_string(f.year) + "-" + std::to_string(f.month) + "-" + std::to_string(f.day) +
         " " + std::to_string(f.hour) + ":" + std::to_string(f.minute) + ":" +
         std::to_string(f.second) + "." + std::to_string(f.millisecond);
}

TEST(DateTimeTest, FieldsMapToTheDayCountAndBack) {
  struct Case {
    DateTimeFields fields;
    int64_t ms;
    int day_of_week;  // 0 = Sunday
  } cases[] = {
      {{1899, 12, 30, 0, 0, 0, 0}, 0, 6},
      {{1899, 12, 29, 23, 59, 59, 999}, -1, 5},
      {{1900, 1, 1, 0, 0, 0, 0}, 2 * kDay, 1},
      {{1900, 3, 1, 0, 0, 0, 0}, 61 * kDay, 4},  // 1900 has no February 29th
      {{1970, 1, 1, 0, 0, 0, 0}, 25569 * kDay, 4},
      {{2005, 2, 7, 21, 5, 0, 0}, 38390 * kDay + (21 * 60 + 5) * 60000, 1},
      {{2000, 2, 29, 12, 0, 0, 0}, 36585 * kDay + kDay / 2, 2},
      {{1600, 2, 29, 0, 0, 0, 0}, -109512 * kDay, 2},
      {{2400, 2, 29, 0, 0, 0, 0}, 182682 * kDay, 2},
      {{1, 1, 1, 0, 0, 0, 0}, -693593 * kDay, 1},
      {{9999, 12, 31, 23, 59, 59, 999}, 2958466 * kDay - 1, 5},
  };
  for (const auto& c : cases) {
    const auto value = DateTime::FromFields(c.fields);
    ASSERT_TRUE(value.has_value()) << Describe(c.fields);
    EXPECT_EQ(value->milliseconds(), c.ms) << Describe(c.fields);
    EXPECT_EQ(Describe(value->Fields()), Describe(c.fields));
    EXPECT_EQ(value->DayOfWeek(), c.day_of_week) << Describe(c.fields);
  }
}

TEST(DateTimeTest, FromFieldsRejectsFieldsOutOfRange) {
  const DateTimeFields cases[] = {
      {0, 1, 1},
      {10000, 1, 1},
      {2005, 0, 1},
      {2005, 13, 1},
      {2005, 1, 0},
      {2005, 4, 31},
      {1900, 2, 29},
      {2000, 2, 30},
      {2005, 1, 1, 24},
      {2005, 1, 1, -1},
      {2005, 1, 1, 0, 60},
      {2005, 1, 1, 0, 0, 60},
      {2005, 1, 1, 0, 0, 0, 1000},
      {2005, 1, 1, 0, 0, 0, -1},
  };
  for (const auto& f : cases) {
    EXPECT_FALSE(DateTime::FromFields(f).has_value()) << Describe(f);
  }
}

TEST(DateTimeTest, ValuesBeyondTheCalendarGiveItsEnds) {
  EXPECT_EQ(Describe(DateTime::FromMilliseconds(std::numeric_limits<int64_t>::min()).Fields()),
            "1-1-1 0:0:0.0");
  EXPECT_EQ(Describe(DateTime::FromMilliseconds(std::numeric_limits<int64_t>::max()).Fields()),
            "9999-12-31 23:59:59.999");
  const int dow = DateTime::FromMilliseconds(std::numeric_limits<int64_t>::min()).DayOfWeek();
  EXPECT_GE(dow, 0);
  EXPECT_LE(dow, 6);
}

TEST(DateTimeTest, TruncatedToSecondGoesToTheEarlierSecond) {
  EXPECT_EQ(DateTime::FromMilliseconds(1999).TruncatedToSecond().milliseconds(), 1000);
  EXPECT_EQ(DateTime::FromMilliseconds(-1).TruncatedToSecond().milliseconds(), -1000);
  EXPECT_EQ(DateTime::FromMilliseconds(-1000).TruncatedToSecond().milliseconds(), -1000);
}

TEST(DateTimeHttpTest, ReadsTheThreeForms) {
  const DateTime nov6 = At(1994, 11, 6, 8, 49, 37);
  struct Case {
    const char* text;
    DateTime expected;
  } cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", nov6},
      {"Sunday, 06-Nov-94 08:49:37 GMT", nov6},
      {"Sun Nov  6 08:49:37 1994", nov6},
      {"Sun Nov 06 08:49:37 1994", nov6},
      {"  Sun, 06 Nov 1994 08:49:37 GMT\r\n", nov6},
      {"sun, 06 NOV 1994 08:49:37 gmt", nov6},
      {"Sun, 6 Nov 1994 08:49:37 GMT", nov6},
      {"Mon Feb 17 00:00:00 2025", At(2025, 2, 17)},
      // Two-digit years: 70-99 are the 1900s, 00-69 the 2000s.
      {"Thursday, 01-Jan-70 00:00:00 GMT", At(1970, 1, 1)},
      {"Wednesday, 31-Dec-69 23:59:59 GMT", At(2069, 12, 31, 23, 59, 59)},
      {"Tuesday, 29-Feb-00 00:00:00 GMT", At(2000, 2, 29)},
      // A leap second stays within its minute.
      {"Sat, 31 Dec 2016 23:59:60 GMT", At(2016, 12, 31, 23, 59, 59)},
  };
  for (const auto& c : cases) {
    const auto value = DateTime::FromHttpDate(c.text);
    ASSERT_TRUE(value.has_value()) << c.text;
    EXPECT_EQ(*value, c.expected) << c.text;
  }
}

TEST(DateTimeHttpTest, RejectsEverythingElse) {
  const std::string cases[] = {
      "",
      "   ",
      "Sun, 06 Nov 1994 08:49:37",
      "Sun, 06 Nov 1994 08:49:37 GMT x",
      "Sun, 06 Nov 1994 08:49:37 PST",
      "Sun, 06 Nov 94 08:49:37 GMT",
      "Sun, 06-Nov-1994 08:49:37 GMT",
      "Sun,06 Nov 1994 08:49:37 GMT",
      "Sun, 06  Nov 1994 08:49:37 GMT",
      "Sun, 06 Nov 1994 8:49:37 GMT",
      "Sun, 06 Nov 1994 08:49 GMT",
      "Sun, 31 Feb 1994 08:49:37 GMT",
      "Sun, 06 Nov 1994 24:00:00 GMT",
      "Sun, 06 Nov 1994 08:60:00 GMT",
      "Sun, 06 Nov 0000 08:49:37 GMT",
      "Sun, 006 Nov 1994 08:49:37 GMT",
      "Sun, 06 November 1994 08:49:37 GMT",
      "Son, 06 Nov 1994 08:49:37 GMT",
      "06 Nov 1994 08:49:37 GMT",
      "Sun Nov  6 08:49:37 94",
      "Sun Nov  6 08:49:37 1994 GMT",
      "Sun Nov   6 08:49:37 1994",
      std::string("Sun, 06\0Nov 1994 08:49:37 GMT", 29),
      "1994-11-06T08:49:37Z",
  };
  for (const auto& text : cases) {
    EXPECT_FALSE(DateTime::FromHttpDate(text).has_value()) << text;
  }
}

// A zone whose offset from universal time moves from `before` to `after`
// minutes at the universal instant `change`.
class ChangingZoneClock : public Clock {
 public:
  ChangingZoneClock(DateTime change, int before, int after, DateTime utc_now)
      : change_(change), before_(before), after_(after), utc_now_(utc_now) {}
  DateTime Now() const override { return UtcToLocal(utc_now_); }
  int UtcOffsetMinutes(DateTime utc) const override { return utc < change_ ? before_ : after_; }

 private:
  DateTime change_;
  int before_, after_;
  DateTime utc_now_;
};

TEST(DateTimeClockTest, CurrentOffsetNearADaylightSavingChange) {
  const DateTime change = At(2024, 10, 5, 16);
  struct Case {
    int before, after, minutes_from_change, expected;
  } cases[] = {
      {600, 660, -60, 600},  // local time already past the change, universal time not
      {600, 660, 60, 660},  {0, 60, -30, 0},        {0, 60, 30, 60},
      {540, 540, 0, 540},   {-300, -240, -1, -300}, {-300, -240, 0, -240},
  };
  for (const auto& c : cases) {
    ChangingZoneClock clock(change, c.before, c.after, change.AddMinutes(c.minutes_from_change));
    EXPECT_EQ(clock.CurrentUtcOffsetMinutes(), c.expected)
        << c.before << " -> " << c.after << " at " << c.minutes_from_change;
  }
}

TEST(DateTimeClockTest, SystemClockIsSane) {
  const Clock& clock = SystemClock();
  EXPECT_GT(clock.Now(), At(2020, 1, 1));
  EXPECT_LT(clock.Now(), At(2200, 1, 1));
  const int offset = clock.CurrentUtcOffsetMinutes();
  EXPECT_GE(offset, -14 * 60);
  EXPECT_LE(offset, 14 * 60);
  // Far from the epoch the platform's zone rules may not reach; still an offset.
  EXPECT_LE(std::abs(clock.UtcOffsetMinutes(At(1, 1, 1))), 24 * 60);
  EXPECT_LE(std::abs(clock.UtcOffsetMinutes(At(9999, 12, 31))), 24 * 60);
}

}  // namespace
}  // namespace tol

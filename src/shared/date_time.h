#pragma once
// A date-time on the classic day-count scale: day 0 is 1899-12-30 at
// midnight, held as whole milliseconds from that instant. The value zero
// ("time zero") is the origin itself and stands for "never" where the
// programs need such a value.
//
// The value carries no time zone: it is local or universal time as the
// caller says. Converting between them takes an offset from a clock (see
// clock.h); the core never reads the system clock itself.

#include <cstdint>
#include <optional>
#include <string_view>

namespace tol {

struct DateTimeFields {
  int year = 1899;      // 1 to 9999
  int month = 12;       // 1 to 12
  int day = 30;         // 1 to 31
  int hour = 0;         // 0 to 23
  int minute = 0;       // 0 to 59
  int second = 0;       // 0 to 59
  int millisecond = 0;  // 0 to 999
};

class DateTime {
 public:
  constexpr DateTime() = default;
  static constexpr DateTime FromMilliseconds(int64_t ms) { return DateTime(ms); }

  static constexpr int64_t kMsPerDay = 86400000;

  // Calendar fields to a value; nullopt when a field is out of range
  // (for example February 30th, hour 24, year 0). The calendar is the
  // proleptic Gregorian one, years 1 to 9999.
  static std::optional<DateTime> FromFields(const DateTimeFields& f);
  // The calendar fields of the value. A value outside years 1 to 9999 (only
  // FromMilliseconds can make one) gives the fields of the nearest end of
  // that range.
  DateTimeFields Fields() const;

  // Universal time of an HTTP date (RFC 7231 IMF-fixdate, plus the obsolete
  // RFC 850 and asctime forms), blanks around it allowed; nullopt when the
  // text is none of them. Day and month names and "GMT" are matched without
  // regard to letter case; the day name is not checked against the date.
  // A two-digit RFC 850 year 70-99 is 19xx and 00-69 is 20xx (a fixed pivot:
  // this layer has no clock to apply the 50-years-ahead rule to). A leap
  // second (:60) reads as :59.
  static std::optional<DateTime> FromHttpDate(std::string_view text);

  // 0 = Sunday ... 6 = Saturday.
  int DayOfWeek() const;

  constexpr int64_t milliseconds() const { return ms_; }
  constexpr bool IsZero() const { return ms_ == 0; }
  constexpr DateTime AddMinutes(int64_t minutes) const { return DateTime(ms_ + minutes * 60000); }
  // The same value with the milliseconds dropped (toward the earlier second).
  DateTime TruncatedToSecond() const;

  friend constexpr bool operator==(DateTime, DateTime) = default;
  friend constexpr auto operator<=>(DateTime, DateTime) = default;

 private:
  constexpr explicit DateTime(int64_t ms) : ms_(ms) {}
  int64_t ms_ = 0;
};

}  // namespace tol

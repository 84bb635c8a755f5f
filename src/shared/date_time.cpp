#include "shared/date_time.h"

#include <array>

#include "shared/text.h"

namespace tol {

namespace {

constexpr int64_t kMsPerSecond = 1000;
constexpr int64_t kMsPerMinute = 60 * kMsPerSecond;
constexpr int64_t kMsPerHour = 60 * kMsPerMinute;

// Days from 1970-01-01 to a proleptic Gregorian date, and back (the era-based
// algorithms of H. Hinnant: exact integer arithmetic for any year).
constexpr int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

struct CivilDate {
  int64_t year;
  int month;
  int day;
};

constexpr CivilDate CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {yoe + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

// Day 0 of the scale, 1899-12-30, counted from 1970-01-01.
constexpr int64_t kOriginDays = DaysFromCivil(1899, 12, 30);
static_assert(kOriginDays == -25569);

constexpr int64_t kMinMs = (DaysFromCivil(1, 1, 1) - kOriginDays) * DateTime::kMsPerDay;
constexpr int64_t kMaxMs =
    (DaysFromCivil(9999, 12, 31) - kOriginDays + 1) * DateTime::kMsPerDay - 1;

constexpr int64_t FloorDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return (m == 2 && IsLeapYear(y)) ? 29 : kDays[m - 1];
}

// ---- HTTP dates ----

constexpr std::array<std::string_view, 7> kShortDays = {"Sun", "Mon", "Tue", "Wed",
                                                        "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 7> kLongDays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                       "Thursday", "Friday", "Saturday"};
constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// A read position in an HTTP date; every step checks the bounds first.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ == text_.size(); }
  bool Peek(char c) const { return pos_ < text_.size() && text_[pos_] == c; }
  bool Take(char c) {
    if (!Peek(c)) return false;
    ++pos_;
    return true;
  }
  // A run of ASCII letters (possibly empty).
  std::string_view Letters() {
    const std::size_t start = pos_;
    while (pos_ < text_.size() && IsAsciiLetter(text_[pos_])) ++pos_;
    return text_.substr(start, pos_ - start);
  }
  // Between min_digits and max_digits decimal digits; false when fewer.
  bool Number(int min_digits, int max_digits, int* value) {
    int count = 0;
    int v = 0;
    while (count < max_digits && pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
      v = v * 10 + (text_[pos_] - '0');
      ++pos_;
      ++count;
    }
    *value = v;
    return count >= min_digits;
  }

 private:
  static bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

  std::string_view text_;
  std::size_t pos_ = 0;
};

bool IsDayName(std::string_view name) {
  for (std::size_t i = 0; i < kShortDays.size(); ++i) {
    if (SameText(name, kShortDays[i]) || SameText(name, kLongDays[i])) return true;
  }
  return false;
}

// Month 1-12 of a three-letter English name, 0 when it is none.
int MonthOfName(std::string_view name) {
  for (std::size_t i = 0; i < kMonths.size(); ++i) {
    if (SameText(name, kMonths[i])) return static_cast<int>(i) + 1;
  }
  return 0;
}

// "hh:mm:ss"
bool TakeTime(Cursor& c, DateTimeFields& f) {
  return c.Number(2, 2, &f.hour) && c.Take(':') && c.Number(2, 2, &f.minute) && c.Take(':') &&
         c.Number(2, 2, &f.second);
}

bool TakeGmt(Cursor& c) { return c.Take(' ') && SameText(c.Letters(), "GMT"); }

}  // namespace

std::optional<DateTime> DateTime::FromFields(const DateTimeFields& f) {
  if (f.year < 1 || f.year > 9999 || f.month < 1 || f.month > 12 || f.day < 1 ||
      f.day > DaysInMonth(f.year, f.month) || f.hour < 0 || f.hour > 23 || f.minute < 0 ||
      f.minute > 59 || f.second < 0 || f.second > 59 || f.millisecond < 0 || f.millisecond > 999) {
    return std::nullopt;
  }
  const int64_t days = DaysFromCivil(f.year, f.month, f.day) - kOriginDays;
  return DateTime(days * kMsPerDay + f.hour * kMsPerHour + f.minute * kMsPerMinute +
                  f.second * kMsPerSecond + f.millisecond);
}

DateTimeFields DateTime::Fields() const {
  const int64_t ms = ms_ < kMinMs ? kMinMs : (ms_ > kMaxMs ? kMaxMs : ms_);
  const int64_t days = FloorDiv(ms, kMsPerDay);
  const int64_t in_day = ms - days * kMsPerDay;
  const CivilDate date = CivilFromDays(days + kOriginDays);
  DateTimeFields f;
  f.year = static_cast<int>(date.year);
  f.month = date.month;
  f.day = date.day;
  f.hour = static_cast<int>(in_day / kMsPerHour);
  f.minute = static_cast<int>(in_day % kMsPerHour / kMsPerMinute);
  f.second = static_cast<int>(in_day % kMsPerMinute / kMsPerSecond);
  f.millisecond = static_cast<int>(in_day % kMsPerSecond);
  return f;
}

int DateTime::DayOfWeek() const {
  // Day 0 (1899-12-30) was a Saturday.
  const int64_t days = FloorDiv(ms_, kMsPerDay);
  return static_cast<int>(((days + 6) % 7 + 7) % 7);
}

DateTime DateTime::TruncatedToSecond() const {
  return DateTime(FloorDiv(ms_, kMsPerSecond) * kMsPerSecond);
}

std::optional<DateTime> DateTime::FromHttpDate(std::string_view text) {
  Cursor c(Trim(text));
  DateTimeFields f;
  if (!IsDayName(c.Letters())) return std::nullopt;
  if (c.Take(',')) {
    // IMF-fixdate "Sun, 06 Nov 1994 08:49:37 GMT" or
    // RFC 850 "Sunday, 06-Nov-94 08:49:37 GMT".
    if (!c.Take(' ') || !c.Number(1, 2, &f.day)) return std::nullopt;
    if (c.Take(' ')) {
      f.month = MonthOfName(c.Letters());
      if (f.month == 0 || !c.Take(' ') || !c.Number(4, 4, &f.year)) return std::nullopt;
    } else if (c.Take('-')) {
      f.month = MonthOfName(c.Letters());
      int yy = 0;
      if (f.month == 0 || !c.Take('-') || !c.Number(2, 2, &yy)) return std::nullopt;
      f.year = yy >= 70 ? 1900 + yy : 2000 + yy;
    } else {
      return std::nullopt;
    }
    if (!c.Take(' ') || !TakeTime(c, f) || !TakeGmt(c)) return std::nullopt;
  } else {
    // asctime "Sun Nov  6 08:49:37 1994": the day is padded with a blank.
    if (!c.Take(' ')) return std::nullopt;
    f.month = MonthOfName(c.Letters());
    if (f.month == 0 || !c.Take(' ')) return std::nullopt;
    c.Take(' ');
    if (!c.Number(1, 2, &f.day) || !c.Take(' ') || !TakeTime(c, f) || !c.Take(' ') ||
        !c.Number(4, 4, &f.year)) {
      return std::nullopt;
    }
  }
  if (!c.AtEnd()) return std::nullopt;
  if (f.second == 60) f.second = 59;  // a leap second
  return FromFields(f);
}

}  // namespace tol

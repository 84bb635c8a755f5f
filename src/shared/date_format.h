#pragma once
// The date format language of the monitor's DateFormat setting and of its
// error-log keys, and the internet date form.
//
// Letter groups of a template (letters in any case; a run of one letter is
// one group, and a run longer than the longest form takes that form):
//   y yy          year, two digits        yyy yyyy   year, four digits
//   m mm          month (mm: two digits); minutes instead when the nearest
//                 letter before it, across any non-letters, is an hour group
//   mmm mmmm      short / long month name
//   d dd          day (dd: two digits)    ddd dddd   short / long day name
//   ddddd dddddd  short / long date form of the locale
//   h hh          hour 0-23; 1-12 when an am/pm, a/p or ampm group follows
//                 (outside quotes) before the next hour group
//   n nn          minutes                 s ss       seconds
//   z zz zzz      milliseconds, at least 1, 2 or 3 digits
//   am/pm a/p     "am"/"pm" or "a"/"p", copied from the template in its
//                 letter case (the part before or after the slash)
//   ampm          the locale's morning or afternoon text
//   aaa aaaa      short / long day name
//   c             short date form, then, unless the time is exactly
//                 midnight, a blank and the long time form
//   t tt          short / long time form
//   / :           the locale's date and time separators
//   '...' "..."   copied without the quotes (an unclosed quote runs to the end)
// Every other character is copied, era letters (g, e) included: this system
// has no era calendar. A code page 932 double-byte character is copied whole
// and counts as a non-letter. The locale's own forms are formatted by the
// same language, two levels deep at most, so the output stays linear in the
// template's length.

#include <array>
#include <string>
#include <string_view>

#include "shared/date_time.h"

namespace tol {

// Names and forms of a locale, all code page 932 bytes.
struct LocaleFormats {
  std::string date_separator;
  std::string time_separator;
  std::string short_date_format;
  std::string long_date_format;
  std::string short_time_format;
  std::string long_time_format;
  std::array<std::string, 12> short_month_names;  // January first
  std::array<std::string, 12> long_month_names;
  std::array<std::string, 7> short_day_names;  // Sunday first
  std::array<std::string, 7> long_day_names;
  std::string morning_text;    // before noon
  std::string afternoon_text;  // from noon on
};

// The monitor's home locale, Japanese: "/" and ":", short date "yyyy/mm/dd",
// long date "yyyy'年'm'月'd'日'", short time "h:nn", long time "h:nn:ss",
// month names "1月" to "12月", day names "日" / "日曜日" and so on, 午前 / 午後.
const LocaleFormats& HomeLocale();

std::string FormatDateTime(std::string_view format, DateTime value,
                           const LocaleFormats& locale = HomeLocale());

// "Mon, 7 Feb 2005 21:05:00 +0900": English day and month names, the day
// without a leading zero, the local time, and the offset from universal time
// as a sign and four digits (an offset beyond 99:59 is cut to it).
std::string InternetDateText(DateTime local, int utc_offset_minutes);

}  // namespace tol

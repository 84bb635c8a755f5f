#include "shared/date_format.h"

#include <cstdint>
#include <utility>

#include "shared/sjis.h"
#include "shared/text.h"

namespace tol {

namespace {

// How deep the locale's own forms (ddddd, c, t ...) are expanded inside each
// other; a form that names itself stops there instead of recursing forever.
constexpr int kMaxFormLevel = 2;

enum class Kind {
  kText,        // bytes copied as they stand; not a letter
  kLetterText,  // a letter with no meaning, copied; still a letter group
  kDateSeparator,
  kTimeSeparator,
  kYear,
  kMonth,
  kDay,
  kHour,
  kMinute,
  kSecond,
  kMillisecond,
  kAmPm,         // am/pm
  kAP,           // a/p
  kLocaleAmPm,   // ampm
  kDayName,      // aaa, aaaa
  kDateAndTime,  // c
  kTimeForm,     // t, tt
};

struct Token {
  Kind kind = Kind::kText;
  std::size_t count = 0;  // length of the letter run
  std::string_view text;  // kText/kLetterText: the bytes; kAmPm/kAP: the template's letters
};

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

constexpr std::pair<char, Kind> kGroupLetters[] = {
    {'y', Kind::kYear},        {'m', Kind::kMonth},       {'d', Kind::kDay},
    {'h', Kind::kHour},        {'n', Kind::kMinute},      {'s', Kind::kSecond},
    {'z', Kind::kMillisecond}, {'c', Kind::kDateAndTime}, {'t', Kind::kTimeForm},
};

// The token at `pos`, moving `pos` past it. `pos` must be before the end.
Token NextToken(std::string_view format, std::size_t& pos) {
  const std::size_t n = format.size();
  const char c = format[pos];
  if (IsLeadByte(static_cast<unsigned char>(c))) {
    const std::size_t len = pos + 1 < n ? 2 : 1;
    Token t{Kind::kText, 0, format.substr(pos, len)};
    pos += len;
    return t;
  }
  if (c == '\'' || c == '"') {
    std::size_t end = pos + 1;
    while (end < n && format[end] != c) {
      end += IsLeadByte(static_cast<unsigned char>(format[end])) ? 2 : 1;
    }
    if (end > n) end = n;  // a lead byte as the last byte
    Token t{Kind::kText, 0, format.substr(pos + 1, end - pos - 1)};
    pos = end < n ? end + 1 : n;
    return t;
  }
  if (c == '/' || c == ':') {
    ++pos;
    return {c == '/' ? Kind::kDateSeparator : Kind::kTimeSeparator, 0, {}};
  }
  if (!IsLetter(c)) {
    return {Kind::kText, 0, format.substr(pos++, 1)};
  }
  const std::string_view rest = format.substr(pos);
  const char letter = Lower(c);
  if (letter == 'a') {
    for (const auto& [form, kind] : {std::pair{std::string_view("am/pm"), Kind::kAmPm},
                                     std::pair{std::string_view("a/p"), Kind::kAP},
                                     std::pair{std::string_view("ampm"), Kind::kLocaleAmPm}}) {
      if (StartsWithNoCase(rest, form)) {
        pos += form.size();
        return {kind, form.size(), rest.substr(0, form.size())};
      }
    }
  }
  std::size_t run = 1;
  while (run < rest.size() && Lower(rest[run]) == letter) ++run;
  for (const auto& [group_letter, kind] : kGroupLetters) {
    if (letter == group_letter) {
      pos += run;
      return {kind, run, rest.substr(0, run)};
    }
  }
  if (letter == 'a' && run >= 3) {
    pos += run;
    return {Kind::kDayName, run, rest.substr(0, run)};
  }
  // A letter of no group, or one or two a's (taken one at a time, so that
  // "aampm" still finds ampm).
  return {Kind::kLetterText, 1, format.substr(pos++, 1)};
}

// The day of the week of the fields that Fields() gave, so that names and
// numbers agree also for a value that Fields() cut to the supported range.
int DayOfWeekOf(const DateTimeFields& f) { return DateTime::FromFields(f)->DayOfWeek(); }

bool IsAmPmGroup(Kind kind) {
  return kind == Kind::kAmPm || kind == Kind::kAP || kind == Kind::kLocaleAmPm;
}

// True when an am/pm group follows `pos` before the next hour group. Each
// scan ends at the next hour group, so the scans of one template together
// read it at most once more.
bool TwelveHourClockFollows(std::string_view format, std::size_t pos) {
  while (pos < format.size()) {
    const Kind kind = NextToken(format, pos).kind;
    if (kind == Kind::kHour) return false;
    if (IsAmPmGroup(kind)) return true;
  }
  return false;
}

void AppendNumber(std::string& out, int64_t value, int min_digits) {
  char digits[24];
  int len = 0;
  const bool negative = value < 0;
  uint64_t v = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    digits[len++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  if (negative) out += '-';
  for (int i = len; i < min_digits; ++i) out += '0';
  while (len > 0) out += digits[--len];
}

class Formatter {
 public:
  Formatter(DateTime value, const LocaleFormats& locale)
      : f_(value.Fields()), day_of_week_(DayOfWeekOf(f_)), locale_(locale) {}

  void Append(std::string_view format, int level);
  std::string& out() { return out_; }

 private:
  void AppendForm(std::string_view form, int level) {
    if (level < kMaxFormLevel) Append(form, level + 1);
  }
  void AppendToken(const Token& t, bool after_hour, bool twelve_hour, int level);

  const DateTimeFields f_;
  const int day_of_week_;
  const LocaleFormats& locale_;
  std::string out_;
};

void Formatter::Append(std::string_view format, int level) {
  bool after_hour = false;  // the nearest letter group so far is an hour group
  std::size_t pos = 0;
  while (pos < format.size()) {
    const Token t = NextToken(format, pos);
    const bool twelve_hour = t.kind == Kind::kHour && TwelveHourClockFollows(format, pos);
    AppendToken(t, after_hour, twelve_hour, level);
    switch (t.kind) {
      case Kind::kText:
      case Kind::kDateSeparator:
      case Kind::kTimeSeparator:
        break;
      default:
        after_hour = t.kind == Kind::kHour;
    }
  }
}

void Formatter::AppendToken(const Token& t, bool after_hour, bool twelve_hour, int level) {
  const bool afternoon = f_.hour >= 12;
  switch (t.kind) {
    case Kind::kText:
    case Kind::kLetterText:
      out_ += t.text;
      break;
    case Kind::kDateSeparator:
      out_ += locale_.date_separator;
      break;
    case Kind::kTimeSeparator:
      out_ += locale_.time_separator;
      break;
    case Kind::kYear:
      if (t.count <= 2) {
        AppendNumber(out_, f_.year % 100, 2);
      } else {
        AppendNumber(out_, f_.year, 4);
      }
      break;
    case Kind::kMonth:
      if (t.count <= 2 && after_hour) {
        AppendNumber(out_, f_.minute, static_cast<int>(t.count));
      } else if (t.count <= 2) {
        AppendNumber(out_, f_.month, static_cast<int>(t.count));
      } else if (t.count == 3) {
        out_ += locale_.short_month_names[f_.month - 1];
      } else {
        out_ += locale_.long_month_names[f_.month - 1];
      }
      break;
    case Kind::kDay:
      if (t.count <= 2) {
        AppendNumber(out_, f_.day, static_cast<int>(t.count));
      } else if (t.count == 3) {
        out_ += locale_.short_day_names[day_of_week_];
      } else if (t.count == 4) {
        out_ += locale_.long_day_names[day_of_week_];
      } else {
        AppendForm(t.count == 5 ? locale_.short_date_format : locale_.long_date_format, level);
      }
      break;
    case Kind::kHour: {
      int hour = f_.hour;
      if (twelve_hour) {
        hour %= 12;
        if (hour == 0) hour = 12;
      }
      AppendNumber(out_, hour, t.count >= 2 ? 2 : 1);
      break;
    }
    case Kind::kMinute:
      AppendNumber(out_, f_.minute, t.count >= 2 ? 2 : 1);
      break;
    case Kind::kSecond:
      AppendNumber(out_, f_.second, t.count >= 2 ? 2 : 1);
      break;
    case Kind::kMillisecond:
      AppendNumber(out_, f_.millisecond, t.count >= 3 ? 3 : static_cast<int>(t.count));
      break;
    case Kind::kAmPm:
      out_ += t.text.substr(afternoon ? 3 : 0, 2);
      break;
    case Kind::kAP:
      out_ += t.text[afternoon ? 2 : 0];
      break;
    case Kind::kLocaleAmPm:
      out_ += afternoon ? locale_.afternoon_text : locale_.morning_text;
      break;
    case Kind::kDayName:
      out_ += t.count == 3 ? locale_.short_day_names[day_of_week_]
                           : locale_.long_day_names[day_of_week_];
      break;
    case Kind::kDateAndTime:
      AppendForm(locale_.short_date_format, level);
      if (f_.hour != 0 || f_.minute != 0 || f_.second != 0 || f_.millisecond != 0) {
        out_ += ' ';
        AppendForm(locale_.long_time_format, level);
      }
      break;
    case Kind::kTimeForm:
      AppendForm(t.count == 1 ? locale_.short_time_format : locale_.long_time_format, level);
      break;
  }
}

// The home locale's Japanese texts.
const SjisText kLongDateForm{"yyyy'年'm'月'd'日'"};
const SjisText kMonthSuffix{"月"};
const SjisText kDayNames[7] = {SjisText{"日"}, SjisText{"月"}, SjisText{"火"}, SjisText{"水"},
                               SjisText{"木"}, SjisText{"金"}, SjisText{"土"}};
const SjisText kDayNameSuffix{"曜日"};
const SjisText kMorning{"午前"};
const SjisText kAfternoon{"午後"};

LocaleFormats MakeHomeLocale() {
  LocaleFormats l;
  l.date_separator = "/";
  l.time_separator = ":";
  l.short_date_format = "yyyy/mm/dd";
  l.long_date_format = kLongDateForm.bytes();
  l.short_time_format = "h:nn";
  l.long_time_format = "h:nn:ss";
  for (int i = 0; i < 12; ++i) {
    l.short_month_names[i] = std::to_string(i + 1) + kMonthSuffix.bytes();
    l.long_month_names[i] = l.short_month_names[i];
  }
  for (int i = 0; i < 7; ++i) {
    l.short_day_names[i] = kDayNames[i].bytes();
    l.long_day_names[i] = kDayNames[i].bytes() + kDayNameSuffix.bytes();
  }
  l.morning_text = kMorning.bytes();
  l.afternoon_text = kAfternoon.bytes();
  return l;
}

constexpr std::string_view kEnglishDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::string_view kEnglishMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

const LocaleFormats& HomeLocale() {
  static const LocaleFormats home = MakeHomeLocale();
  return home;
}

std::string FormatDateTime(std::string_view format, DateTime value, const LocaleFormats& locale) {
  Formatter formatter(value, locale);
  formatter.Append(format, 0);
  return std::move(formatter.out());
}

std::string InternetDateText(DateTime local, int utc_offset_minutes) {
  const DateTimeFields f = local.Fields();
  std::string out;
  out += kEnglishDays[DayOfWeekOf(f)];
  out += ", ";
  AppendNumber(out, f.day, 1);
  out += ' ';
  out += kEnglishMonths[f.month - 1];
  out += ' ';
  AppendNumber(out, f.year, 4);
  out += ' ';
  AppendNumber(out, f.hour, 2);
  out += ':';
  AppendNumber(out, f.minute, 2);
  out += ':';
  AppendNumber(out, f.second, 2);
  out += utc_offset_minutes < 0 ? " -" : " +";
  int64_t offset = utc_offset_minutes < 0 ? -int64_t{utc_offset_minutes} : utc_offset_minutes;
  if (offset > 99 * 60 + 59) offset = 99 * 60 + 59;
  AppendNumber(out, offset / 60, 2);
  AppendNumber(out, offset % 60, 2);
  return out;
}

}  // namespace tol

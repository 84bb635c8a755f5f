#include "shared/date_format.h"

#include <gtest/gtest.h>

#include <string>

namespace tol {
namespace {

DateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return DateTime::FromFields({y, mo, d, h, mi, s, ms}).value();
}

// Code page 932 bytes of the home locale's texts, written out so that a
// wrong conversion shows.
const std::string kNen = "\x94\x4E";            // 年
const std::string kGatsu = "\x8C\x8E";          // 月
const std::string kNichi = "\x93\xFA";          // 日
const std::string kYou = "\x97\x6A";            // 曜
const std::string kKa = "\x89\xCE";             // 火
const std::string kGozen = "\x8C\xDF\x91\x4F";  // 午前
const std::string kGogo = "\x8C\xDF\x8C\xE3";   // 午後

// 2005-02-07 (a Monday) 21:05:00.007
const DateTime kEvening = At(2005, 2, 7, 21, 5, 0, 7);

TEST(DateFormatTest, HomeLocale) {
  struct Case {
    std::string format;
    DateTime value;
    std::string expected;
  } cases[] = {
      {"yyyy/m/d hh:mm:ss", At(2005, 2, 7, 21, 5), "2005/2/7 21:05:00"},
      {"YYYY/MM/DD HH:NN:SS", kEvening, "2005/02/07 21:05:00"},
      {"y yy yyy yyyyyy", At(2009, 1, 1), "09 09 2009 2009"},
      {"yyyy", At(1, 1, 1), "0001"},
      {"c", kEvening, "2005/02/07 21:05:00"},
      {"c", At(2005, 2, 7), "2005/02/07"},
      {"c", At(2005, 2, 7, 0, 0, 0, 1), "2005/02/07 0:00:00"},
      {"cc", At(2005, 2, 7), "2005/02/07"},
      // m is minutes when the nearest letter group before it is an hour.
      {"h:m", kEvening, "21:5"},
      {"h - 'at' mm", kEvening, "21 - at 05"},
      {"h\x8E\x9Em", kEvening, std::string("21\x8E\x9E") + "5"},  // h時m: 21時5
      {"h x m", kEvening, "21 x 2"},
      {"m/d h", kEvening, "2/7 21"},
      {"h:mmm", kEvening, "21:2" + kGatsu},
      // h counts 1-12 when an am/pm group follows before the next hour.
      {"h:nn am/pm", kEvening, "9:05 pm"},
      {"hh AM/PM", At(2005, 2, 7, 9), "09 AM"},
      {"h Am/pM", kEvening, "9 pM"},
      {"h Am/pM", At(2005, 2, 7, 9), "9 Am"},
      {"h a/p", At(2005, 2, 7, 0), "12 a"},
      {"h A/P", At(2005, 2, 7, 12), "12 P"},
      {"h ampm", kEvening, "9 " + kGogo},
      {"h ampm", At(2005, 2, 7, 11, 59), "11 " + kGozen},
      {"h h am/pm", kEvening, "21 9 pm"},
      {"h 'am/pm'", kEvening, "21 am/pm"},
      {"h aampm", kEvening, "9 a" + kGogo},
      {"am/pm h", kEvening, "pm 21"},
      // Names and the locale's forms.
      {"mmm|mmmmmm", kEvening, "2" + kGatsu + "|2" + kGatsu},
      {"ddd|dddd|aaa|aaaa", At(2005, 2, 8),
       kKa + "|" + kKa + kYou + kNichi + "|" + kKa + "|" + kKa + kYou + kNichi},
      {"ddddd", kEvening, "2005/02/07"},
      {"dddddd", kEvening, "2005" + kNen + "2" + kGatsu + "7" + kNichi},
      {"ddddddddd", kEvening, "2005" + kNen + "2" + kGatsu + "7" + kNichi},
      {"t|tt", At(2005, 2, 7, 9, 5, 3), "9:05|9:05:03"},
      // Milliseconds.
      {"z|zz|zzz|zzzz", kEvening, "7|07|007|007"},
      {"z", At(2005, 2, 7, 0, 0, 0, 123), "123"},
      // Quotes, era letters and other characters.
      {"'yyyy'\"mm\"d", kEvening, "yyyymm7"},
      {"d'unclosed yyyy", kEvening, "7unclosed yyyy"},
      {"''\"\"", kEvening, ""},
      {"g ee [x]", kEvening, "g ee [x]"},
      {"", kEvening, ""},
      // A double-byte character whose second byte is "m" (ノ, 0x83 0x6D).
      {"d\x83\x6D", kEvening, "7\x83\x6D"},
      {"'\x83\x6D'", kEvening, "\x83\x6D"},
      {"d\x83", kEvening, "7\x83"},  // a lead byte at the very end
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatDateTime(c.format, c.value), c.expected) << "format: " << c.format;
  }
}

LocaleFormats TestLocale() {
  LocaleFormats l;
  l.date_separator = "-";
  l.time_separator = ".";
  l.short_date_format = "d/m/yyyy";
  l.long_date_format = "dddd d mmmm yyyy";
  l.short_time_format = "hh:nn";
  l.long_time_format = "hh:nn:ss ampm";
  l.short_month_names = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  l.long_month_names = {"January", "February", "March",     "April",   "May",      "June",
                        "July",    "August",   "September", "October", "November", "December"};
  l.short_day_names = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  l.long_day_names = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  l.morning_text = "AM";
  l.afternoon_text = "PM";
  return l;
}

TEST(DateFormatTest, OtherLocale) {
  const LocaleFormats locale = TestLocale();
  struct Case {
    const char* format;
    std::string expected;
  } cases[] = {
      {"yyyy/mm/dd hh:nn", "2005-02-07 21.05"},
      {"yyyy'/'mm", "2005/02"},
      {"c", "7-2-2005 09.05.00 PM"},
      {"ddddd|dddddd", "7-2-2005|Monday 7 February 2005"},
      {"mmm mmmm ddd", "Feb February Mon"},
      {"t", "21.05"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatDateTime(c.format, kEvening, locale), c.expected) << "format: " << c.format;
  }
}

TEST(DateFormatTest, LocaleFormsThatNameThemselvesStop) {
  LocaleFormats locale = TestLocale();
  locale.short_date_format = "<ddddd c>";
  locale.long_time_format = "[tt c]";
  locale.short_time_format = "t";
  // Each form is expanded two levels deep at most.
  EXPECT_EQ(FormatDateTime("ddddd", kEvening, locale), "<<  > <  > [  ]>");
  EXPECT_EQ(FormatDateTime("t", kEvening, locale), "");
  EXPECT_LT(FormatDateTime(std::string(500, 'x') + "c", kEvening, locale).size(), 600u);
}

TEST(InternetDateTest, Forms) {
  struct Case {
    DateTime local;
    int offset;
    const char* expected;
  } cases[] = {
      {At(2005, 2, 7, 21, 5), 540, "Mon, 7 Feb 2005 21:05:00 +0900"},
      {At(2005, 2, 7, 21, 5, 0, 999), 0, "Mon, 7 Feb 2005 21:05:00 +0000"},
      {At(1999, 12, 31, 3, 4, 5), -210, "Fri, 31 Dec 1999 03:04:05 -0330"},
      {At(2024, 7, 14, 0, 0, 59), 345, "Sun, 14 Jul 2024 00:00:59 +0545"},
      {At(1, 1, 1), -600, "Mon, 1 Jan 0001 00:00:00 -1000"},
      {At(2005, 2, 7), 100000, "Mon, 7 Feb 2005 00:00:00 +9959"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(InternetDateText(c.local, c.offset), c.expected) << c.expected;
  }
}

}  // namespace
}  // namespace tol

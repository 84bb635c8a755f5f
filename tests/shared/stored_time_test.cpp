#include "shared/stored_time.h"

#include <gtest/gtest.h>

#include <string>

namespace tol {
namespace {

DateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return DateTime::FromFields({y, mo, d, h, mi, s, ms}).value();
}

TEST(StoredTimeTest, WritesAndReadsBackToTheSecond) {
  struct Case {
    DateTime value;
    const char* text;
  } cases[] = {
      {At(2005, 2, 7, 21, 5, 9), "2005/02/07 21:05:09"},
      {At(2005, 2, 7), "2005/02/07"},
      {At(2005, 2, 7, 0, 0, 1), "2005/02/07 0:00:01"},
      {At(2005, 2, 7, 21, 5, 9, 999), "2005/02/07 21:05:09"},
      {At(2005, 2, 7, 0, 0, 0, 500), "2005/02/07"},
      {DateTime(), "1899/12/30"},
      {At(1899, 12, 30, 0, 0, 1), "1899/12/30 0:00:01"},
      {At(1899, 12, 29, 23, 59, 59), "1899/12/29 23:59:59"},
      {At(1, 1, 1), "0001/01/01"},
      {At(9999, 12, 31, 23, 59, 59, 999), "9999/12/31 23:59:59"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StoredTimeText(c.value), c.text);
    const auto back = ParseStoredTime(c.text);
    ASSERT_TRUE(back.has_value()) << c.text;
    EXPECT_EQ(*back, c.value.TruncatedToSecond()) << c.text;
    EXPECT_EQ(back->IsZero(), c.value.TruncatedToSecond().IsZero()) << c.text;
  }
}

TEST(StoredTimeTest, ReadsLooserForms) {
  struct Case {
    const char* text;
    DateTime expected;
  } cases[] = {
      {"2005/2/7", At(2005, 2, 7)},
      {"  2005/2/7 9:5:3\r\n", At(2005, 2, 7, 9, 5, 3)},
      {"2005/2/7 21:05", At(2005, 2, 7, 21, 5)},
      {"2005/02/07   21:05:09", At(2005, 2, 7, 21, 5, 9)},
      {"2004/2/29 00:00:00", At(2004, 2, 29)},
  };
  for (const auto& c : cases) {
    const auto value = ParseStoredTime(c.text);
    ASSERT_TRUE(value.has_value()) << c.text;
    EXPECT_EQ(*value, c.expected) << c.text;
  }
}

TEST(StoredTimeTest, RejectsOtherTexts) {
  const std::string cases[] = {
      "",
      "   ",
      "2005",
      "2005/2",
      "05/2/7",
      "20050/2/7",
      "2005/002/7",
      "2005-02-07",
      "2005/13/1",
      "2005/2/29",
      "0000/1/1",
      "2005/2/7x",
      "2005/2/7 21",
      "2005/2/7 21:",
      "2005/2/7 21:05:",
      "2005/2/7 21:05:09 x",
      "2005/2/7 21:05:09.5",
      "2005/2/7 24:00:00",
      "2005/2/7 21:60",
      "2005/2/7 21:05:60",
      "+2005/2/7",
      std::string("2005/2/7\0 1:00", 14),
      "Mon, 07 Feb 2005 21:05:09 GMT",
  };
  for (const auto& text : cases) {
    EXPECT_FALSE(ParseStoredTime(text).has_value()) << text;
  }
}

}  // namespace
}  // namespace tol

#include "shared/int_text.h"

#include <gtest/gtest.h>

#include <optional>

namespace tol {
namespace {

TEST(StrToIntStrictTest, ReadsDecimalAndHexadecimal) {
  struct Case {
    const char* text;
    std::optional<int32_t> expected;
  } cases[] = {
      {"0", 0},
      {"500", 500},
      {"+7", 7},
      {"-7", -7},
      {"  \t 42", 42},
      {"007", 7},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"$1F", 31},
      {"x1f", 31},
      {"X1F", 31},
      {"0x10", 16},
      {"0X10", 16},
      {"-$10", -16},
      {"+0x10", 16},
      {"$00CFFFCF", 13631439},
      // Hexadecimal is taken as 32 bits: a top byte of $FF reads negative.
      {"$FF00000F", -16777201},
      {"$FFFFFFFF", -1},
      {"$80000000", -2147483647 - 1},
      {"-$FFFFFFFF", 1},
      {"$000000000001", 1},
      // Not integer text.
      {"", std::nullopt},
      {" ", std::nullopt},
      {"+", std::nullopt},
      {"-", std::nullopt},
      {"$", std::nullopt},
      {"0x", std::nullopt},
      {"x", std::nullopt},
      {"12 ", std::nullopt},
      {"12x", std::nullopt},
      {"1.5", std::nullopt},
      {"- 1", std::nullopt},
      {"--1", std::nullopt},
      {"$-1", std::nullopt},
      {"0$1", std::nullopt},
      {"1F", std::nullopt},
      {"$1G", std::nullopt},
      {"\n1", std::nullopt},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"99999999999999999999", std::nullopt},
      {"$100000000", std::nullopt},
      {"\x82\x4F", std::nullopt},  // full-width digit zero
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StrToIntStrict(c.text), c.expected) << '"' << c.text << '"';
  }
}

TEST(LeadingIntTest, ReadsAsFarAsTheNumberGoes) {
  struct Case {
    const char* text;
    int32_t expected;
  } cases[] = {
      {"95", 95},
      {"95 seconds", 95},
      {"95\r\n", 95},
      {" -12abc", -12},
      {"$1Fz", 31},
      {"0x1g", 1},
      {"", 0},
      {"abc", 0},
      {"-", 0},
      {"$", 0},
      {"0x", 0},
      {"0xg", 0},
      {" ", 0},
      {"1.9", 1},
      // Overflow: reading stops before the digit that would overflow.
      {"2147483647", 2147483647},
      {"2147483648", 214748364},
      {"99999999999", 999999999},
      {"-2147483648", -2147483647 - 1},
      {"-2147483649", -214748364},
      {"$FFFFFFFF", -1},
      {"$123456789", 0x12345678},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LeadingInt(c.text), c.expected) << '"' << c.text << '"';
  }
}

TEST(IntToTextTest, WritesDecimal) {
  EXPECT_EQ(IntToText(0), "0");
  EXPECT_EQ(IntToText(-2147483648LL), "-2147483648");
  EXPECT_EQ(IntToText(9223372036854775807LL), "9223372036854775807");
}

}  // namespace
}  // namespace tol

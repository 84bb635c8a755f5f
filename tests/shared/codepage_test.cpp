#include "shared/codepage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "shared/text.h"

// These tests run on both builds: they pin the iconv tables and the Windows
// code page 932 tables to the same results.

namespace tol {
namespace {

std::string Hex(std::string_view bytes) {
  std::string out;
  char buffer[4];
  for (unsigned char c : bytes) {
    std::snprintf(buffer, sizeof buffer, "%02X ", c);
    out += buffer;
  }
  return out;
}

std::string Hex(std::u16string_view units) {
  std::string out;
  char buffer[8];
  for (char16_t u : units) {
    std::snprintf(buffer, sizeof buffer, "%04X ", static_cast<unsigned>(u));
    out += buffer;
  }
  return out;
}

TEST(CodepageTest, ValidTextBothWays) {
  struct Case {
    const char* name;
    std::string cp932;
    std::u16string utf16;
    std::string reencoded;  // when a second byte form exists, the one written
  } cases[] = {
      {"ASCII with backslash and tilde", "Ab\\~\r\n", u"Ab\\~\r\n", ""},
      {"kana, second byte 0x5C", "\x82\xA0\x95\x5C\x83\x5C", u"\u3042\u8868\u30BD", ""},
      {"half-width katakana", "\xA1\xB1\xDF", u"\uFF61\uFF71\uFF9F", ""},
      // Where code page 932 differs from plain Shift_JIS: full-width
      // backslash, wave dash, parallel, minus, horizontal bar, and below.
      {"code page 932 forms", "\x81\x5F\x81\x60\x81\x61\x81\x7C\x81\x5C",
       u"\uFF3C\uFF5E\u2225\uFF0D\u2015", ""},
      {"cent, pound, not", "\x81\x91\x81\x92\x81\xCA", u"\uFFE0\uFFE1\uFFE2", ""},
      {"NEC row 13", "\x87\x40\x87\x54\x87\x5F", u"\u2460\u2160\u3349", ""},
      {"IBM extensions", "\xFA\x40\xFA\x5C\xFC\x4B", u"\u2170\u7E8A\u9ED1", ""},
      {"user-defined area", "\xF0\x40\xF9\xFC", u"\uE000\uE757", ""},
      // Characters with two byte forms: the NEC-selected IBM rows and the
      // NEC row 13 duplicates are read, but written in their other form.
      {"NEC-selected IBM", "\xED\x40\xEE\xEC\xEE\xEF", u"\u7E8A\u9ED1\u2170",
       "\xFA\x5C\xFC\x4B\xFA\x40"},
      {"not sign, NEC-selected and IBM", "\xEE\xF9\xFA\x54", u"\uFFE2\uFFE2", "\x81\xCA\x81\xCA"},
      {"NEC row 13 approx. equal", "\x87\x90", u"\u2252", "\x81\xE0"},
      {"empty", "", u"", ""},
  };
  for (const auto& c : cases) {
    const std::string written = c.reencoded.empty() ? c.cp932 : c.reencoded;
    EXPECT_EQ(Hex(Cp932ToUtf16(c.cp932)), Hex(c.utf16)) << c.name;
    EXPECT_EQ(Hex(Utf16ToCp932(c.utf16)), Hex(written)) << c.name;
    EXPECT_EQ(Hex(Utf8ToCp932(Cp932ToUtf8(c.cp932))), Hex(written)) << c.name;
  }
}

TEST(CodepageTest, Utf8Bytes) {
  // 表 ｱ ① ～ and a byte that is no character.
  EXPECT_EQ(Hex(Cp932ToUtf8("\x95\x5C\xB1\x87\x40\x81\x60\x80")),
            Hex("\xE8\xA1\xA8\xEF\xBD\xB1\xE2\x91\xA0\xEF\xBD\x9E\xEF\xBF\xBD"));
  EXPECT_EQ(Hex(Utf8ToCp932("x\xE8\xA1\xA8\xEF\xBD\x9E")), Hex("x\x95\x5C\x81\x60"));
}

TEST(CodepageTest, BadBytesBecomeReplacementEachAndDecodingGoesOn) {
  struct Case {
    const char* name;
    std::string cp932;
    std::u16string utf16;
  } cases[] = {
      {"lead byte at the end", "A\x82", u"A\uFFFD"},
      {"lead byte before a blank", "\x81\x20Z", u"\uFFFD Z"},
      {"lead byte before a control", "\x81\x7F", u"\uFFFD\x7F"},
      {"bytes that are no character", "\x80\xA0\xFD\xFE\xFF", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"pair without a character", "\x85\x40", u"\uFFFD@"},
      {"second byte starts the next pair", "\x85\x85\x40", u"\uFFFD\uFFFD@"},
      {"bad pair between good ones", "\x95\x5C\x85\x40\x95\x5C", u"\u8868\uFFFD@\u8868"},
      {"bad byte before a 0x5C pair", "\x80\x83\x5C", u"\uFFFD\u30BD"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Hex(Cp932ToUtf16(c.cp932)), Hex(c.utf16)) << c.name;
  }
}

TEST(CodepageTest, LongTextKeepsEveryPair) {
  // Odd offsets put a pair across every 64 KiB boundary of the conversion.
  std::string text = "a";
  std::u16string expected = u"a";
  for (int i = 0; i < 70000; ++i) {
    text += "\x95\x5C";
    expected += u'\u8868';
  }
  EXPECT_TRUE(Cp932ToUtf16(text) == expected);
  EXPECT_TRUE(Utf16ToCp932(expected) == text);
  // One bad pair far into the text costs only that pair.
  text.replace(1 + 2 * 50000, 2, "\x85\x40");
  expected.replace(1 + 50000, 1, u"\uFFFD@");
  EXPECT_TRUE(Cp932ToUtf16(text) == expected);
}

TEST(CodepageTest, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  struct Case {
    const char* name;
    std::u16string utf16;
    std::string cp932;
  } cases[] = {
      {"lone high surrogate", {0xD800, u'A'}, "?A"},
      {"lone low surrogate", u"\xDC00", "?"},
      {"high surrogate at the end", u"A\xD83D", "A?"},
      {"character beyond U+FFFF is one", u"\U0001F600x", "?x"},
      {"no best fit for Latin letters", u"a\u00E9\u8868", "a?\x95\x5C"},
      // Yen sign, overline, wave dash U+301C, em dash, double bar, minus sign,
      // Latin-1 cent, pound, not: none has a lookalike in the code page.
      {"lookalikes", u"\u00A5\u203E\u301C\u2014\u2016\u2212\u00A2\u00A3\u00AC", "?????????"},
      {"U+0080, U+F8F0, U+FFFD", u"\u0080\uF8F0\uF8F3\uFFFD", "????"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Hex(Utf16ToCp932(c.utf16)), Hex(c.cp932)) << c.name;
  }
}

TEST(CodepageTest, BadUtf8BecomesQuestionMarkPerByte) {
  struct Case {
    const char* name;
    std::string utf8;
    std::string cp932;
  } cases[] = {
      {"overlong slash", "\xC0\xAF", "??"},
      {"truncated hiragana", "\xE3\x81", "??"},
      {"truncated then ASCII", "\xE3\x81Z", "??Z"},
      {"encoded surrogate", "\xED\xA0\x80", "???"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", "????"},
      {"lone continuation", "\x80z", "?z"},
      {"byte 0xFF", "\xFF", "?"},
      {"four-byte character", "\xF0\x9F\x98\x80", "?"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Hex(Utf8ToCp932(c.utf8)), Hex(c.cp932)) << c.name;
  }
}

// FNV-1a over the decoded form of every byte pair and the encoded form of
// every BMP character. The expected values come from the iconv build; the
// Windows build must match them exactly.
TEST(CodepageTest, WholeTablesMatchAcrossPlatforms) {
  uint64_t decode_hash = 14695981039346656037u;
  int characters = 0;
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (!IsLeadByte(static_cast<unsigned char>(lead))) continue;
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      const std::u16string decoded = Cp932ToUtf16(std::string_view(pair, 2));
      if (decoded.size() == 1 && decoded[0] != 0xFFFD) {
        ++characters;
        // Every character read comes back from its written form.
        ASSERT_EQ(Cp932ToUtf16(Utf16ToCp932(decoded)), decoded) << Hex(std::string_view(pair, 2));
      }
      for (char16_t u : decoded) decode_hash = (decode_hash ^ u) * 1099511628211u;
    }
  }
  EXPECT_EQ(characters, 9604);
  EXPECT_EQ(decode_hash, 13560764755098773283u);

  std::u16string all;
  for (uint32_t u = 0; u <= 0xFFFF; ++u) {
    if (u < 0xD800 || u > 0xDFFF) all.push_back(static_cast<char16_t>(u));
  }
  uint64_t encode_hash = 14695981039346656037u;
  for (unsigned char c : Utf16ToCp932(all)) encode_hash = (encode_hash ^ c) * 1099511628211u;
  EXPECT_EQ(encode_hash, 10721010074456015795u);
}

}  // namespace
}  // namespace tol

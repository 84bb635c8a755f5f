#include "monitor/status.h"

#include <gtest/gtest.h>

#include "monitor/worlds.h"
#include "shared/errors.h"
#include "shared/fixed_clock.h"

namespace tol {
namespace {

TEST(WorldsTest, TableAndLookup) {
  ASSERT_EQ(Worlds().size(), 19u);
  EXPECT_TRUE(Worlds()[11].starts_column);  // the world menu's second column: Lumbra
  EXPECT_EQ(FindWorld("Sendra"), kSendraIndex);
  EXPECT_EQ(FindWorld("Rosk"), 17);
  EXPECT_EQ(FindWorld("arvel"), std::nullopt);
  EXPECT_EQ(FindWorld("Arvel "), std::nullopt);
}

TEST(WorldsTest, OldLabelForms) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {{"Arvel :", "Arvel"}, {"Dovan :", "Dovan"}, {"Elmira :", "Elmira :"},
               {"Dovan:", "Dovan:"}, {"Dovan", "Dovan"},   {"", ""}};
  for (const Case& c : cases) EXPECT_EQ(ConvertOldWorldLabel(c.in), c.out) << c.in;
}

TEST(StatusTest, SlotLookupLastRowWins) {
  struct Case {
    const char* key;
    const char* patch;
    int slot;
    const char* label;
  } cases[] = {
      {"LoginServer", "PatchServerFV1", 1, "LogI"},
      {"PatchServerFV1", "PatchServerFV1", 2, "PatF"},
      {"PatchServerFV1", "PatchServerFV2", 20, "----"},
      {"PatchServerFV2", "PatchServerFV2", 2, "PatF"},
      {"PatchServerH", "PatchServerFV1", 3, "PatH"},
      {"CharSelect", "CharSelect", 4, "Char"},    // later fixed row beats the patch row
      {"LoginServer", "LoginServer", 2, "PatF"},  // patch row comes after login
      {"GameServer07", "PatchServerFV1", 11, "GS07"},
      {"GameServer15", "PatchServerFV1", 19, "GS15"},
      {"gameserver07", "PatchServerFV1", 20, "----"},
      {"GameServer7", "PatchServerFV1", 20, "----"},
      {"", "", 2, "PatF"},  // an empty patch key matches an empty key
  };
  for (const Case& c : cases) {
    SlotMatch m = FindSlot(c.key, c.patch);
    EXPECT_EQ(m.slot, c.slot) << c.key << " / " << c.patch;
    EXPECT_EQ(m.label, c.label) << c.key << " / " << c.patch;
  }
  EXPECT_EQ(PanelCaption(1), "Login");
  EXPECT_EQ(PanelCaption(11), "7");
  EXPECT_EQ(PanelCaption(20), "");
}

// The poll tests show a plain line; here raw field texts reach the hint, the
// converted values everything else.
TEST(StatusTest, ParseLineAndHint) {
  ServerStatus s = ParseStatusLine("X, Odd, $10,0x2, -7", 4, "P");
  EXPECT_EQ(s.line_number, 4);
  EXPECT_EQ(s.success_count, 16);
  EXPECT_EQ(s.check_count, 2);
  EXPECT_EQ(s.connect_time, -7);
  EXPECT_EQ(HintText(s), "X :  Odd (  $10/0x2: -7 )");
  // One bad field each; what the number reading rejects is StrToIntStrict's.
  for (const char* bad : {"A,Good,x,1,1", "A,Good,1,,1", "A,Good,1,1,", ""}) {
    EXPECT_THROW(ParseStatusLine(bad, 1, "P"), EConvertError) << bad;
  }
}

TEST(StatusTest, ColourRulesLaterOverrides) {
  KovunSettings st;
  const ColorSettings& c = st.colors;
  constexpr int32_t kPrev = 0x123456;
  struct Case {
    const char* line;
    int32_t expected;
  } cases[] = {
      {"K,Good,3,2,500", c.good},        {"K,Good,2,2,500", c.two},
      {"K,Good,3,3,24999", c.good},      {"K,Good,3,3,25000", c.average},
      {"K,Good,3,3,100000", c.average2}, {"K,Closed,3,3,100000", c.closed},
      {"K,Dead,3,3,0", c.dead},          {"K,Down,1,3,0", c.one},
      {"K,Down,02,3,0", c.down},         {"K,Down, 2,3,0", c.down},
      {"K,good,0,0,0", kPrev},  // no rule: the colour so far stays
      {"K,Other,0,0,30000", c.average},
  };
  for (const Case& k : cases) {
    ServerStatus s = ParseStatusLine(k.line, 1, "P");
    EXPECT_EQ(PanelColor(kPrev, s, st), k.expected) << k.line;
  }
}

TEST(StatusTest, Average) {
  struct Case {
    std::vector<int32_t> times;
    int32_t expected;
  } cases[] = {
      {{}, 0},
      {{100, 0, 200}, 100},
      {{0, 0}, 0},
      {{1000}, 500},
      {{-7, 0}, -3},                                       // truncation toward zero
      {{2147483647, 2147483647, 2147483647}, 1610612735},  // no 32-bit wrap of the sum
      {{-2147483647 - 1, -2147483647 - 1}, -1431655765},
  };
  for (const Case& c : cases) {
    AverageAccumulator a;
    for (int32_t t : c.times) a.Add(t);
    EXPECT_EQ(a.Average(), c.expected) << ::testing::PrintToString(c.times);
  }
  EXPECT_EQ(AverageAccumulator().Text(), "0");
}

// The common cases run through the poll tests; these are the edges.
TEST(StatusTest, RefreshIntervalLoadTimeAndUpdateText) {
  EXPECT_EQ(RefreshIntervalMs(-10, 3), kRetryIntervalMs);
  EXPECT_EQ(RefreshIntervalMs(2147483647, 2147483647), 2147483647);
  // The number reading itself is LeadingInt's; the first line alone counts.
  EXPECT_EQ(LoadTimeFromText("30\r\n99"), 30);
  EXPECT_EQ(LoadTimeFromText("\n99"), 0);

  const DateTime t = *DateTime::FromFields({2005, 2, 7, 21, 5, 0, 0});
  KovunSettings st;
  st.internet_date_format = 1;
  EXPECT_EQ(FormatUpdateText(t, st, FixedClock(t, 540)), "Mon, 7 Feb 2005 21:05:00 +0900");
}

}  // namespace
}  // namespace tol

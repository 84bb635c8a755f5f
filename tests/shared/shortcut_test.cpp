#include "shared/shortcut.h"

#include <gtest/gtest.h>

#include <vector>

namespace tol {
namespace {

TEST(ShortCutTest, FromText) {
  struct Case {
    const char* text;
    TShortCut expected;
  } cases[] = {
      {"Alt+Ctrl+R", 0xC052},
      {"ctrl+alt+r", 0xC052},
      {"ALT+CTRL+r", 0xC052},
      {"^R", 0x4052},
      {"^^Ctrl+R", 0x4052},
      {"Alt+Ctrl+1", 0xC031},
      {"Alt+Ctrl+Shift+0", 0xE030},
      {"Shift+Shift+A", 0x2041},
      {"F12", 0x007B},
      {"f24", 0x0087},
      {"F1", 0x0070},
      {"0", 0x0030},  // the main-row key, never the keypad's 96
      {"9", 0x0039},
      {"BkSp", 0x0008},
      {"Shift+tab", 0x2009},
      {"Ctrl+Enter", 0x400D},
      {"esc", 0x001B},
      {"Alt+Space", 0x8020},
      {"PgUp", 0x0021},
      {"pgdn", 0x0022},
      {"End", 0x0023},
      {"Home", 0x0024},
      {"Left", 0x0025},
      {"Up", 0x0026},
      {"Right", 0x0027},
      {"Down", 0x0028},
      {"Ins", 0x002D},
      {"Ctrl+Del", 0x402E},
      // No key, or no key of that name.
      {"", 0},
      {"Alt+Ctrl+", 0},
      {"Shift+", 0},
      {"^", 0},
      {"Alt+Ctrl+Foo", 0},
      {" Alt+Ctrl+R", 0},
      {"Alt+Ctrl+R ", 0},
      {"Alt+ Ctrl+R", 0},
      {"Alt-Ctrl-R", 0},
      {"F25", 0},
      {"F0", 0},
      {"Alt+Ctrl+RR", 0},
      {"Ctrl+\x82\x60", 0},  // full-width "Ａ" is no key
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ShortCutFromText(c.text), c.expected) << '"' << c.text << '"';
  }
  // A NUL inside the text is part of it.
  EXPECT_EQ(ShortCutFromText(std::string_view("R\0", 2)), 0);
}

TEST(ShortCutTest, ToTextReadsBack) {
  const TShortCut modifier_sets[] = {0, kShortCutShift, kShortCutCtrl, kShortCutAlt,
                                     kShortCutShift | kShortCutCtrl | kShortCutAlt};
  // Every key with a fixed name but the keypad digits; names the keyboard
  // layout gives may repeat and need not read back.
  std::vector<int> codes = {8, 9, 13, 27, 45, 46};
  for (int code = 32; code <= 40; ++code) codes.push_back(code);
  for (int code = '0'; code <= '9'; ++code) codes.push_back(code);
  for (int code = 'A'; code <= 'Z'; ++code) codes.push_back(code);
  for (int code = 112; code <= 135; ++code) codes.push_back(code);
  for (int code : codes) {
    for (TShortCut modifiers : modifier_sets) {
      const TShortCut short_cut = static_cast<TShortCut>(modifiers | code);
      const std::string text = ShortCutToText(short_cut);
      EXPECT_FALSE(text.empty()) << short_cut;
      EXPECT_EQ(ShortCutFromText(text), short_cut) << text;
    }
  }
  EXPECT_EQ(ShortCutToText(0xC052), "Ctrl+Alt+R");
  EXPECT_EQ(ShortCutToText(0xE030), "Shift+Ctrl+Alt+0");
  // Nothing reads back as these.
  EXPECT_EQ(ShortCutToText(0), "");
  EXPECT_EQ(ShortCutToText(kShortCutCtrl), "");
  EXPECT_EQ(ShortCutToText(kShortCutCtrl | 96), "");  // keypad 0 reads as main-row 0
  EXPECT_EQ(ShortCutToText(kShortCutCtrl | 0x1000), "");
}

}  // namespace
}  // namespace tol

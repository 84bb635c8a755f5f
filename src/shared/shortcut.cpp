#include "shared/shortcut.h"

#include <array>

#include "shared/text.h"

namespace tol {
namespace {

constexpr int kFirstKey = 8;
constexpr int kLastKey = 255;

struct NamedKey {
  int code;
  const char* name;
};

constexpr NamedKey kNamedKeys[] = {
    {8, "BkSp"},  {9, "Tab"},    {13, "Enter"}, {27, "Esc"},  {32, "Space"},
    {33, "PgUp"}, {34, "PgDn"},  {35, "End"},   {36, "Home"}, {37, "Left"},
    {38, "Up"},   {39, "Right"}, {40, "Down"},  {45, "Ins"},  {46, "Del"},
};

std::string FixedKeyName(int code) {
  for (const NamedKey& key : kNamedKeys) {
    if (key.code == code) return key.name;
  }
  if (code >= '0' && code <= '9') return std::string(1, static_cast<char>(code));
  if (code >= 'A' && code <= 'Z') return std::string(1, static_cast<char>(code));
  if (code >= 96 && code <= 105) return std::string(1, static_cast<char>('0' + code - 96));
  if (code >= 112 && code <= 135) return std::string("F").append(std::to_string(code - 111));
  return {};
}

using NameTable = std::array<std::string, kLastKey + 1>;

// Every key's name, the layout's names asked for once, on first use.
const NameTable& KeyNames() {
  static const NameTable names = [] {
    NameTable table;
    for (int code = kFirstKey; code <= kLastKey; ++code) {
      table[code] = FixedKeyName(code);
      if (table[code].empty()) table[code] = PlatformKeyName(code);
    }
    return table;
  }();
  return names;
}

// Removes `prefix` from the front of `text` when it is there, ignoring case.
bool ConsumePrefix(std::string_view& text, std::string_view prefix) {
  if (text.size() < prefix.size() || !SameText(text.substr(0, prefix.size()), prefix)) {
    return false;
  }
  text.remove_prefix(prefix.size());
  return true;
}

}  // namespace

std::string KeyName(int code) {
  if (code < kFirstKey || code > kLastKey) return {};
  return KeyNames()[code];
}

TShortCut ShortCutFromText(std::string_view text) {
  TShortCut modifiers = 0;
  // Each prefix read shortens the text, so the loop ends.
  for (;;) {
    if (ConsumePrefix(text, "Shift+")) {
      modifiers |= kShortCutShift;
    } else if (ConsumePrefix(text, "^") || ConsumePrefix(text, "Ctrl+")) {
      modifiers |= kShortCutCtrl;
    } else if (ConsumePrefix(text, "Alt+")) {
      modifiers |= kShortCutAlt;
    } else {
      break;
    }
  }
  if (text.empty()) return 0;
  const NameTable& names = KeyNames();
  for (int code = kFirstKey; code <= kLastKey; ++code) {
    if (!names[code].empty() && SameText(names[code], text)) {
      return static_cast<TShortCut>(modifiers | code);
    }
  }
  return 0;
}

std::string ShortCutToText(TShortCut short_cut) {
  const std::string name = KeyName(short_cut & kShortCutKeyMask);
  if (name.empty()) return {};
  std::string text;
  if (short_cut & kShortCutShift) text += "Shift+";
  if (short_cut & kShortCutCtrl) text += "Ctrl+";
  if (short_cut & kShortCutAlt) text += "Alt+";
  text += name;
  // A name may belong to a lower code too (keypad digits, a layout name
  // given to two keys) or begin like a prefix ("^"): such text reads back as
  // another shortcut.
  return ShortCutFromText(text) == short_cut ? text : std::string();
}

}  // namespace tol

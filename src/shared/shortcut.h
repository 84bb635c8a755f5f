#pragma once
// Key combinations of the global hotkeys and their text form in the settings
// file, for example "Alt+Ctrl+R".

#include <cstdint>
#include <string>
#include <string_view>

namespace tol {

// Virtual-key code in bits 0-12 plus modifier bits; 0 means no shortcut.
using TShortCut = uint16_t;

inline constexpr TShortCut kShortCutShift = 0x2000;
inline constexpr TShortCut kShortCutCtrl = 0x4000;
inline constexpr TShortCut kShortCutAlt = 0x8000;
inline constexpr TShortCut kShortCutKeyMask = 0x1FFF;

// Reads a shortcut text: any number of the prefixes "Shift+", "^" (Ctrl),
// "Ctrl+" and "Alt+" in any order and letter case, repeats allowed, then the
// name of one key, letter case ignored. The key is the lowest code from 8 to
// 255 with that name, so "0" is the main-row key 48, never the keypad's 96.
// Nothing is trimmed. Returns 0 for a text without a key name or with one
// that names no key.
TShortCut ShortCutFromText(std::string_view text);

// The text form of `short_cut`, modifiers in the order "Shift+Ctrl+Alt+",
// which ShortCutFromText reads back as `short_cut`. Empty for 0 and for a
// shortcut no text reads back as (a key without a name, a keypad digit).
std::string ShortCutToText(TShortCut short_cut);

// The name of key `code` (code page 932): the fixed names ("BkSp", "Tab",
// "Enter", "Esc", "Space", "PgUp", "PgDn", "End", "Home", "Left", "Up",
// "Right", "Down", "Ins", "Del", digits, letters, "F1" to "F24"), else the
// keyboard layout's name from PlatformKeyName, else "". Codes outside 8-255
// have no name. The layout's names are asked for once per process.
std::string KeyName(int code);

// The keyboard layout's name of key `code` in code page 932, "" when it has
// none. One implementation per platform; use KeyName, which caches it.
std::string PlatformKeyName(int code);

}  // namespace tol

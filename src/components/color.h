#pragma once
// Colour values of the desktop components and the programs' panels:
// $00BBGGRR (red in the low byte), or, with a top byte of $FF, the system
// colour whose number is the low byte (the monitor's neutral panel colour
// $FF00000F is the button face).

#include <cstdint>

namespace tol {

// The system's window-text colour.
inline constexpr uint32_t kWindowTextColor = 0xFF000008;

inline constexpr bool IsSystemColor(uint32_t color) { return (color >> 24) == 0xFF; }

// The colour as $00BBGGRR. A system colour is looked up by its number with
// `system_color`; any other top byte is dropped.
template <typename Lookup>
uint32_t ResolveColor(uint32_t color, Lookup&& system_color) {
  if (IsSystemColor(color))
    color = static_cast<uint32_t>(system_color(static_cast<int>(color & 0xFF)));
  return color & 0x00FFFFFF;
}

}  // namespace tol

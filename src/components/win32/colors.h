#pragma once
// Colour values as the desktop draws them (see components/color.h for the
// convention).

#include <cstdint>

namespace tol {

// The colour as a COLORREF: a system colour ($FF0000nn) through
// GetSysColor(nn), anything else without its top byte.
uint32_t ColorToRGB(uint32_t color);

}  // namespace tol

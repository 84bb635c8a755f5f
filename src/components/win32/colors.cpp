#include "components/win32/colors.h"

#include <windows.h>

#include "components/color.h"

namespace tol {

uint32_t ColorToRGB(uint32_t color) {
  return ResolveColor(color, [](int index) { return GetSysColor(index); });
}

}  // namespace tol

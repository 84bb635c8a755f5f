#pragma once
// The notification-area icon drawn in the colour of a state: a square in
// the state's colour (monitor/alerts.h, StateColor) with a dark edge, and
// for an unreachable service a dark cross over the grey.

#include <cstdint>

#include "monitor/alerts.h"
#include "monitor/settings.h"

struct HICON__;  // HICON

namespace tol {

// A new icon of `size` by `size` pixels (the caller destroys it); null when
// the system refuses one.
HICON__* CreateStateIcon(ServerState state, const ColorSettings& colors, int size);

// The small-icon size at a window's DPI: 16 pixels at 96 DPI, 32 at 192.
int StateIconSize(unsigned dpi);

}  // namespace tol

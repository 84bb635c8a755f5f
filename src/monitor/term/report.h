#pragma once
// What `kovun --once` prints, and the exit status that tells the outcome of
// its poll.

#include <optional>
#include <string>

#include "monitor/events.h"
#include "monitor/model.h"
#include "monitor/poll.h"

namespace tol {

// The caption line, then one line per panel 1-19: caption, colour, hint
// (UTF-8, each line ending in "\n").
std::string ModelText(const MonitorModel& model);

}  // namespace tol

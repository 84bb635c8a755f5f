#pragma once
// The text form of a date-time kept in a settings file (the assistant's
// update record): the home locale's short date, then, unless the time is
// exactly midnight, a blank and the long time, as in "2005/02/07 21:05:00"
// or "2005/02/07". One-second resolution: milliseconds are dropped.
//
// Time zero (1899-12-30 00:00:00) is written "1899/12/30" and reads back as
// time zero; every other second reads back as itself, so no real time can
// be taken for time zero.

#include <optional>
#include <string>
#include <string_view>

#include "shared/date_time.h"

namespace tol {

std::string StoredTimeText(DateTime value);

// Reads "yyyy/m/d", "yyyy/m/d h:n" or "yyyy/m/d h:n:s" (a four-digit year,
// one or two digits for each other field, blanks around the text and between
// date and time allowed). nullopt for anything else, a field out of range or
// anything after the text; callers take that as time zero.
std::optional<DateTime> ParseStoredTime(std::string_view text);

}  // namespace tol

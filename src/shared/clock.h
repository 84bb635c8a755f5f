#pragma once
// The clock port: where the programs learn the local time and the local
// offset from universal time. Tests pass a fixed clock; the system clock is
// implemented per platform in clock_posix.cpp / clock_win32.cpp.

#include "shared/date_time.h"

namespace tol {

class Clock {
 public:
  virtual ~Clock() = default;
  // The current local date-time.
  virtual DateTime Now() const = 0;
  // Minutes to add to universal time to get local time at the instant `utc`
  // (east of Greenwich is positive: +540 for Japan).
  virtual int UtcOffsetMinutes(DateTime utc) const = 0;
  // The offset now, as the internet date form shows it.
  int CurrentUtcOffsetMinutes() const;
  // Universal time to local time by this clock's offset at that instant.
  DateTime UtcToLocal(DateTime utc) const { return utc.AddMinutes(UtcOffsetMinutes(utc)); }
};

// The computer's own clock and time zone.
const Clock& SystemClock();

}  // namespace tol

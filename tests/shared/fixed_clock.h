#pragma once
// A clock for tests: the local time and the offset from universal time are
// whatever the test sets, and time moves only when the test moves it.

#include <cstdint>

#include "shared/clock.h"

namespace tol {

class FixedClock : public Clock {
 public:
  FixedClock() = default;
  explicit FixedClock(DateTime now, int utc_offset_minutes = 0)
      : now_(now), offset_(utc_offset_minutes) {}

  DateTime Now() const override { return now_; }
  int UtcOffsetMinutes(DateTime /*utc*/) const override { return offset_; }

  void SetNow(DateTime now) { now_ = now; }
  void SetUtcOffsetMinutes(int minutes) { offset_ = minutes; }
  void Advance(int64_t milliseconds) {
    now_ = DateTime::FromMilliseconds(now_.milliseconds() + milliseconds);
  }

 private:
  DateTime now_;
  int offset_ = 0;
};

}  // namespace tol

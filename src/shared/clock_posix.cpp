#include <time.h>

#include <cstdint>

#include "shared/clock.h"

namespace tol {

namespace {

// 1970-01-01 on the day-count scale.
constexpr int64_t kUnixEpochMs = 25569 * DateTime::kMsPerDay;

// Offset from universal time at a Unix time, from the C library's time-zone
// rules (TZ or /etc/localtime); 0 when it can't tell.
int OffsetSecondsAt(time_t t) {
  struct tm local;
  if (localtime_r(&t, &local) == nullptr) return 0;
  return static_cast<int>(local.tm_gmtoff);
}

class PosixClock final : public Clock {
 public:
  DateTime Now() const override {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    const int64_t utc_ms = static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
    return DateTime::FromMilliseconds(kUnixEpochMs + utc_ms +
                                      int64_t{OffsetSecondsAt(ts.tv_sec)} * 1000);
  }

  int UtcOffsetMinutes(DateTime utc) const override {
    int64_t unix_ms = utc.milliseconds() - kUnixEpochMs;
    // Whole seconds toward the earlier one, also before 1970.
    int64_t seconds = unix_ms / 1000 - (unix_ms % 1000 < 0 ? 1 : 0);
    return OffsetSecondsAt(static_cast<time_t>(seconds)) / 60;
  }
};

}  // namespace

const Clock& SystemClock() {
  static const PosixClock clock;
  return clock;
}

}  // namespace tol

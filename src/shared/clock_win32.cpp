#include <windows.h>

#include <cstdint>

#include "shared/clock.h"

namespace tol {

namespace {

constexpr int64_t kTicksPerMs = 10000;  // FILETIME counts 100 ns ticks

// 1601-01-01, the FILETIME origin, on the day-count scale.
int64_t FileTimeOriginMs() {
  static const int64_t origin = DateTime::FromFields({1601, 1, 1}).value().milliseconds();
  return origin;
}

int64_t TicksOf(const FILETIME& ft) {
  return static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

FILETIME FileTimeOf(int64_t ticks) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
  return ft;
}

// Offset of the current time zone from universal time at a FILETIME instant,
// with the daylight-saving rule of that year. Falls back to the zone's
// standard bias when the instant can't be converted (before 1601).
int OffsetMinutesAtTicks(int64_t utc_ticks) {
  if (utc_ticks >= 0) {
    const FILETIME utc_ft = FileTimeOf(utc_ticks);
    SYSTEMTIME utc_st;
    SYSTEMTIME local_st;
    FILETIME local_ft;
    if (FileTimeToSystemTime(&utc_ft, &utc_st) &&
        SystemTimeToTzSpecificLocalTime(nullptr, &utc_st, &local_st) &&
        SystemTimeToFileTime(&local_st, &local_ft)) {
      return static_cast<int>((TicksOf(local_ft) - utc_ticks) / (60 * 1000 * kTicksPerMs));
    }
  }
  TIME_ZONE_INFORMATION tz;
  if (GetTimeZoneInformation(&tz) == TIME_ZONE_ID_INVALID) return 0;
  return -static_cast<int>(tz.Bias);
}

class WindowsClock final : public Clock {
 public:
  DateTime Now() const override {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    const int64_t ticks = TicksOf(ft);
    return DateTime::FromMilliseconds(FileTimeOriginMs() + ticks / kTicksPerMs +
                                      int64_t{OffsetMinutesAtTicks(ticks)} * 60000);
  }

  int UtcOffsetMinutes(DateTime utc) const override {
    const int64_t ms = utc.milliseconds() - FileTimeOriginMs();
    // Beyond year 30827 FILETIME overflows; such instants take the fallback.
    constexpr int64_t kMaxMs = INT64_MAX / kTicksPerMs;
    return OffsetMinutesAtTicks(ms > kMaxMs ? -1 : ms * kTicksPerMs);
  }
};

}  // namespace

const Clock& SystemClock() {
  static const WindowsClock clock;
  return clock;
}

}  // namespace tol

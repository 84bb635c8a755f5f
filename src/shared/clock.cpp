#include "shared/clock.h"

namespace tol {

int Clock::CurrentUtcOffsetMinutes() const {
  // The clock gives local time only, and the offset is asked by universal
  // time: take the offset at "now read as universal time" as a first guess
  // of universal time, then ask at that guess. Only in the hour that a
  // daylight-saving change repeats, where a local time names two instants,
  // can the answer be the other of the two offsets.
  const DateTime local = Now();
  const int guess = UtcOffsetMinutes(local);
  return UtcOffsetMinutes(local.AddMinutes(-guess));
}

}  // namespace tol

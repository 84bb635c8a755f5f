#include "monitor/timer.h"

namespace tol {

Timer::Timer(TimerDriver& driver, int period_ms, bool enabled)
    : driver_(driver), interval_(period_ms < 0 ? 0 : period_ms), enabled_(enabled) {
  Apply();
}

Timer::~Timer() { driver_.Stop(); }

void Timer::Apply() {
  if (running()) {
    driver_.Start(interval_);
  } else {
    driver_.Stop();
  }
}

void Timer::SetInterval(int period_ms) {
  if (period_ms < 0) period_ms = 0;
  if (period_ms == interval_) return;
  interval_ = period_ms;
  Apply();
}

void Timer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Apply();
}

void Timer::Tick() {
  if (running() && on_timer) on_timer();
}

}  // namespace tol

#pragma once
// The monitor's periodic user-interface timers (Timer1, Timer2).
//
// The period rules live here; a platform TimerDriver only starts and stops a
// periodic tick:
// - assigning a period that differs from the current one restarts the wait
//   for the next tick from this moment; assigning the same period leaves the
//   running wait alone;
// - a period of 0 stops the ticks while the timer stays enabled; a later
//   non-zero period starts them again (a negative period counts as 0);
// - disabling and re-enabling restarts the wait.
// Ticks are delivered on the UI thread by the driver calling Tick(). A timer
// whose ticks pile up behind a long operation gets at most one of them.

#include <functional>

namespace tol {

class TimerDriver {
 public:
  virtual ~TimerDriver() = default;
  // Starts periodic ticks every `period_ms` (> 0), the first one `period_ms`
  // from now; replaces any running schedule.
  virtual void Start(int period_ms) = 0;
  // Stops the ticks; no tick arrives after this returns.
  virtual void Stop() = 0;
};

class Timer {
 public:
  // The driver must outlive the timer.
  Timer(TimerDriver& driver, int period_ms, bool enabled);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  int interval() const { return interval_; }
  bool enabled() const { return enabled_; }
  // True while ticks are scheduled: enabled with a positive period.
  bool running() const { return enabled_ && interval_ > 0; }

  void SetInterval(int period_ms);
  void SetEnabled(bool enabled);

  // Called on each tick (empty: ticks are ignored).
  std::function<void()> on_timer;

  // Entry point for the driver.
  void Tick();

 private:
  void Apply();

  TimerDriver& driver_;
  int interval_;
  bool enabled_;
};

}  // namespace tol

#pragma once
// A TimerDriver on a simulated clock: Advance() moves time on and delivers
// the ticks that fall due, in time order across all drivers of one FakeTimeline.

#include <cstdint>
#include <vector>

#include "monitor/timer.h"

namespace tol::testing {

class FakeTimeline;

class FakeTimerDriver : public TimerDriver {
 public:
  explicit FakeTimerDriver(FakeTimeline& timeline);
  ~FakeTimerDriver() override;
  void Start(int period_ms) override;
  void Stop() override;

  void Attach(Timer* timer) { timer_ = timer; }
  bool scheduled() const { return period_ms_ > 0; }
  int64_t next_due() const { return next_due_; }
  int period() const { return period_ms_; }

 private:
  friend class FakeTimeline;
  FakeTimeline& timeline_;
  Timer* timer_ = nullptr;
  int period_ms_ = 0;
  int64_t next_due_ = 0;
};

class FakeTimeline {
 public:
  int64_t now() const { return now_; }
  // Moves time on by `ms`, ticking every due timer, earliest first.
  void Advance(int64_t ms);

 private:
  friend class FakeTimerDriver;
  int64_t now_ = 0;
  std::vector<FakeTimerDriver*> drivers_;
};

inline FakeTimerDriver::FakeTimerDriver(FakeTimeline& timeline) : timeline_(timeline) {
  timeline_.drivers_.push_back(this);
}

inline FakeTimerDriver::~FakeTimerDriver() {
  std::erase(timeline_.drivers_, this);
}

inline void FakeTimerDriver::Start(int period_ms) {
  period_ms_ = period_ms;
  next_due_ = timeline_.now_ + period_ms;
}

inline void FakeTimerDriver::Stop() { period_ms_ = 0; }

inline void FakeTimeline::Advance(int64_t ms) {
  const int64_t end = now_ + ms;
  for (;;) {
    FakeTimerDriver* next = nullptr;
    for (FakeTimerDriver* d : drivers_) {
      if (d->scheduled() && d->next_due_ <= end && (!next || d->next_due_ < next->next_due_)) {
        next = d;
      }
    }
    if (!next) break;
    now_ = next->next_due_;
    next->next_due_ += next->period_ms_;
    if (next->timer_) next->timer_->Tick();
  }
  now_ = end;
}

}  // namespace tol::testing

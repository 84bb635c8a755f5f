#include "monitor/timer.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/fake_timer.h"

namespace tol {
namespace {

using testing::FakeTimeline;
using testing::FakeTimerDriver;

class TimerTest : public ::testing::Test {
 protected:
  void Make(int period, bool enabled) {
    timer_ = std::make_unique<Timer>(driver_, period, enabled);
    driver_.Attach(timer_.get());
    timer_->on_timer = [this] { ticks_.push_back(timeline_.now()); };
  }
  FakeTimeline timeline_;
  FakeTimerDriver driver_{timeline_};
  std::unique_ptr<Timer> timer_;
  std::vector<int64_t> ticks_;
};

TEST_F(TimerTest, TicksPeriodically) {
  Make(1000, true);
  timeline_.Advance(3500);
  EXPECT_EQ(ticks_, (std::vector<int64_t>{1000, 2000, 3000}));
}

TEST_F(TimerTest, SamePeriodKeepsTheRunningWait) {
  Make(120000, true);
  timeline_.Advance(100000);
  timer_->SetInterval(120000);
  timeline_.Advance(20000);
  EXPECT_EQ(ticks_, (std::vector<int64_t>{120000}));
}

TEST_F(TimerTest, NewPeriodRestartsTheWait) {
  Make(120000, true);
  timeline_.Advance(100000);
  timer_->SetInterval(60000);
  timeline_.Advance(59999);
  EXPECT_TRUE(ticks_.empty());
  timeline_.Advance(1);
  EXPECT_EQ(ticks_, (std::vector<int64_t>{160000}));
}

TEST_F(TimerTest, ZeroOrNegativePeriodStopsButStaysEnabled) {
  for (int stop_period : {0, -5}) {
    SCOPED_TRACE(stop_period);
    ticks_.clear();
    Make(1000, true);
    timer_->SetInterval(stop_period);
    EXPECT_TRUE(timer_->enabled());
    EXPECT_FALSE(timer_->running());
    timeline_.Advance(5000);
    EXPECT_TRUE(ticks_.empty());
    timer_->SetInterval(2000);
    timeline_.Advance(2000);
    EXPECT_EQ(ticks_.size(), 1u);
  }
}

TEST_F(TimerTest, DisableAndEnableRestartsTheWait) {
  Make(60000, true);
  timeline_.Advance(50000);
  timer_->SetEnabled(false);
  timer_->SetEnabled(true);
  timeline_.Advance(59999);
  EXPECT_TRUE(ticks_.empty());
  timeline_.Advance(1);
  EXPECT_EQ(ticks_, (std::vector<int64_t>{110000}));
}

TEST_F(TimerTest, DisabledTimerNeverTicksAndKeepsItsPeriod) {
  Make(1000, false);
  timer_->SetInterval(500);
  timeline_.Advance(10000);
  EXPECT_TRUE(ticks_.empty());
  EXPECT_EQ(timer_->interval(), 500);
  timer_->SetEnabled(true);
  timeline_.Advance(500);
  EXPECT_EQ(ticks_.size(), 1u);
}

TEST_F(TimerTest, HandlerMayChangeThePeriodOfItsOwnTimer) {
  Make(1000, true);
  timer_->on_timer = [this] {
    ticks_.push_back(timeline_.now());
    timer_->SetInterval(5000);
  };
  timeline_.Advance(11000);
  EXPECT_EQ(ticks_, (std::vector<int64_t>{1000, 6000, 11000}));
}

}  // namespace
}  // namespace tol

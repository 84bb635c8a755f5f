// The terminal monitor's event loop, timer driver and worker executor, on a
// clock the test moves by hand (RunOnce(0) never waits).

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "monitor/term/event_loop.h"
#include "monitor/timer.h"

namespace tol {
namespace {

class EventLoopTest : public ::testing::Test {
 protected:
  EventLoop loop_{[this] { return now_; }};
  int64_t now_ = 1000;
};

TEST_F(EventLoopTest, TimerTicksFollowTheirPeriodAndMissedTicksCollapse) {
  LoopTimerDriver driver(loop_);
  Timer timer(driver, 100, true);
  driver.Attach(&timer);
  int ticks = 0;
  timer.on_timer = [&] { ++ticks; };

  struct Step {
    int64_t advance;
    int ticks_after;
    int64_t next_due;
  };
  const Step kSteps[] = {
      {99, 0, 1100},   // not yet due
      {1, 1, 1200},    // due exactly
      {350, 2, 1500},  // three periods late: one tick, the schedule keeps its phase
      {100, 3, 1600},
  };
  for (const Step& s : kSteps) {
    now_ += s.advance;
    loop_.RunOnce(0);
    EXPECT_EQ(ticks, s.ticks_after) << "at " << now_;
    EXPECT_EQ(driver.next_due(), s.next_due) << "at " << now_;
  }
}

TEST_F(EventLoopTest, TicksMayRescheduleAndStopOtherTimers) {
  LoopTimerDriver first_driver(loop_);
  LoopTimerDriver second_driver(loop_);
  Timer first(first_driver, 100, true);
  Timer second(second_driver, 100, true);
  first_driver.Attach(&first);
  second_driver.Attach(&second);
  std::vector<int> order;
  // The first tick stops the second timer and gives itself a new period,
  // which restarts its wait from now.
  first.on_timer = [&] {
    order.push_back(1);
    second.SetEnabled(false);
    first.SetInterval(500);
  };
  second.on_timer = [&] { order.push_back(2); };

  now_ += 100;
  loop_.RunOnce(0);
  EXPECT_EQ(order, std::vector<int>{1});
  EXPECT_FALSE(second_driver.scheduled());
  EXPECT_EQ(first_driver.next_due(), now_ + 500);
}

TEST_F(EventLoopTest, PostedTasksRunOnTheLoopThreadInOrder) {
  std::vector<int> done;
  std::thread::id ran_on;
  std::thread poster([&] {
    loop_.Post([&] { done.push_back(1); });
    loop_.Post([&] {
      done.push_back(2);
      ran_on = std::this_thread::get_id();
    });
  });
  poster.join();
  loop_.RunOnce(-1);  // returns at once: the posts woke it
  EXPECT_EQ(done, (std::vector<int>{1, 2}));
  EXPECT_EQ(ran_on, std::this_thread::get_id());
}

TEST_F(EventLoopTest, WorkerRunsNetworkStepsOffTheLoopAndHandsTheRestBack) {
  WorkerPollExecutor executor(loop_);
  std::thread::id network_thread;
  std::vector<int> then_order;
  executor.Run([&] { network_thread = std::this_thread::get_id(); },
               [&] { then_order.push_back(1); });
  executor.Run([] {}, [&] { then_order.push_back(2); });
  while (then_order.size() < 2) loop_.RunOnce(-1);
  EXPECT_EQ(then_order, (std::vector<int>{1, 2}));
  EXPECT_NE(network_thread, std::this_thread::get_id());
}

}  // namespace
}  // namespace tol

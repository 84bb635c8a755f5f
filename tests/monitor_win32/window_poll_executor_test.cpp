#include "monitor/win32/window_poll_executor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace tol {
namespace {

using std::chrono::milliseconds;

// Waits for `done`, within a bound for a broken build (not a timing condition).
bool WaitFor(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(milliseconds(5));
  }
  return true;
}

// The window's side: a post that fails `failures` times before it goes
// through (a full message queue), and the continuations run once it has.
TEST(WindowPollExecutorTest, ContinuationsArriveEvenWhenAPostFails) {
  for (int failures : {0, 1, 3}) {
    SCOPED_TRACE(failures);
    std::atomic<int> refused{0}, delivered{0};
    WindowPollExecutor executor([&] {
      if (refused < failures) return ++refused, false;
      return ++delivered, true;
    });
    std::vector<std::string> ran;
    executor.Run([&] { ran.push_back("network 1"); }, [&] { ran.push_back("then 1"); });
    ASSERT_TRUE(WaitFor([&] { return delivered == 1; }));
    executor.RunFinished();
    executor.Run([&] { ran.push_back("network 2"); }, [&] { ran.push_back("then 2"); });
    ASSERT_TRUE(WaitFor([&] { return delivered == 2; }));
    executor.RunFinished();
    EXPECT_EQ(ran, (std::vector<std::string>{"network 1", "then 1", "network 2", "then 2"}));
    EXPECT_EQ(refused, failures);
  }
}

// A window that is gone refuses every post: stopping ends the worker all the
// same, and the continuation is dropped unrun.
TEST(WindowPollExecutorTest, StopEndsAWorkerThatCannotPost) {
  std::atomic<int> tries{0};
  WindowPollExecutor executor([&] { return ++tries, false; });
  bool ran = false;
  executor.Run([] {}, [&] { ran = true; });
  ASSERT_TRUE(WaitFor([&] { return tries >= 2; }));  // it tried again
  executor.Stop();
  executor.RunFinished();
  EXPECT_FALSE(ran);
  executor.Run([] {}, [&] { ran = true; });  // dropped after Stop
  executor.RunFinished();
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace tol

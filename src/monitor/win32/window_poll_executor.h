#pragma once
// WindowPollExecutor: runs the network steps of a poll on one worker thread,
// in order, and hands each continuation back to the window's thread. The
// window keeps painting, moving and opening menus meanwhile.
//
// After each step the worker calls `post_done` (the window posts itself a
// message) and the window calls RunFinished when that message arrives. A
// post that fails (a full message queue) is tried again every
// kRepostPause until it goes through or the executor stops: a continuation
// that the window never hears of would leave the poll running for good, and
// every later poll waiting behind it.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include "monitor/monitor.h"

namespace tol {

class WindowPollExecutor : public PollExecutor {
 public:
  static constexpr std::chrono::milliseconds kRepostPause{100};

  // `post_done` is called on the worker; it returns whether the window will
  // hear of the finished step.
  explicit WindowPollExecutor(std::function<bool()> post_done);
  ~WindowPollExecutor() override;
  WindowPollExecutor(const WindowPollExecutor&) = delete;
  WindowPollExecutor& operator=(const WindowPollExecutor&) = delete;

  void Run(std::function<void()> network, std::function<void()> then) override;

  // On the window's thread: the continuations of the finished steps.
  void RunFinished();

  // Drops what hasn't run and waits for the step in progress, which the
  // caller has made short by abandoning its request. Later Runs are dropped.
  void Stop();

 private:
  void Work();

  std::function<bool()> post_done_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::pair<std::function<void()>, std::function<void()>>> jobs_;  // guarded
  std::deque<std::function<void()>> finished_;                                // guarded
  bool stopped_ = false;                                                      // guarded
  std::thread worker_;
};

}  // namespace tol

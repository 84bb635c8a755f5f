#pragma once
// The terminal monitor's UI thread: one poll()-based loop that delivers timer
// ticks, readable file descriptors and closures posted from other threads,
// all on the thread that calls Run().
//
// LoopTimerDriver is the TimerDriver of the monitor's timers over this loop.
// WorkerPollExecutor runs a poll's network steps on a worker thread and posts
// the continuation back to the loop, so the loop keeps drawing while a poll
// runs.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "monitor/monitor.h"
#include "monitor/timer.h"

namespace tol {

class LoopTimerDriver;

class EventLoop {
 public:
  // `now_ms`: a monotonic clock in milliseconds (default: steady_clock).
  // Tests pass their own and call RunOnce(0).
  explicit EventLoop(std::function<int64_t()> now_ms = {});
  ~EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Any thread: runs `task` on the loop's thread during a later iteration.
  // Tasks still queued when the loop is destroyed are dropped unrun.
  void Post(std::function<void()> task);
  // Calls `on_readable` whenever `fd` is readable (or at end of file / error;
  // the callback must then unwatch or consume it). One callback per fd.
  void WatchReadable(int fd, std::function<void()> on_readable);
  void Unwatch(int fd);

  // Runs iterations until Quit().
  void Run();
  // One iteration: waits at most `max_wait_ms` (-1: until something happens)
  // for a due timer, a readable fd or a posted task, then handles what is
  // ready: posted tasks, readable fds, due timers, in that order.
  void RunOnce(int max_wait_ms);
  void Quit() { quit_ = true; }
  bool quitting() const { return quit_; }

  int64_t NowMs() const { return now_ms_(); }

 private:
  friend class LoopTimerDriver;
  void AddTimer(LoopTimerDriver* driver);
  void RemoveTimer(LoopTimerDriver* driver);
  void RunPosted();
  void RunDueTimers();

  std::function<int64_t()> now_ms_;
  int wake_read_ = -1;
  int wake_write_ = -1;
  std::mutex mutex_;
  std::deque<std::function<void()>> posted_;  // guarded by mutex_
  struct Watch {
    int fd;
    std::function<void()> on_readable;
  };
  std::vector<Watch> watches_;
  std::vector<LoopTimerDriver*> timers_;
  bool quit_ = false;
};

// Periodic ticks on the loop's thread. Ticks that fell due while the loop was
// busy are delivered as one.
class LoopTimerDriver : public TimerDriver {
 public:
  explicit LoopTimerDriver(EventLoop& loop);
  ~LoopTimerDriver() override;

  // The timer whose Tick() this driver calls.
  void Attach(Timer* timer) { timer_ = timer; }
  void Start(int period_ms) override;
  void Stop() override;
  bool scheduled() const { return period_ms_ > 0; }
  // When the next tick falls due, on the loop's clock.
  int64_t next_due() const { return next_due_; }

 private:
  friend class EventLoop;
  EventLoop& loop_;
  Timer* timer_ = nullptr;
  int period_ms_ = 0;
  int64_t next_due_ = 0;
};

// Runs each network step on one worker thread, in the order asked, and posts
// its continuation to the loop. The destructor waits for a running step to
// end (bounded by the HTTP client's time-outs) and drops the rest.
class WorkerPollExecutor : public PollExecutor {
 public:
  explicit WorkerPollExecutor(EventLoop& loop);
  ~WorkerPollExecutor() override;
  void Run(std::function<void()> network, std::function<void()> then) override;

 private:
  void Work();

  EventLoop& loop_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::pair<std::function<void()>, std::function<void()>>> jobs_;  // guarded
  bool stop_ = false;                                                         // guarded
  std::thread worker_;
};

}  // namespace tol

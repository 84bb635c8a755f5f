#include "monitor/term/event_loop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <system_error>
#include <utility>

namespace tol {
namespace {

int64_t SteadyNowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

EventLoop::EventLoop(std::function<int64_t()> now_ms)
    : now_ms_(now_ms ? std::move(now_ms) : SteadyNowMs) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::system_error(errno, std::generic_category(), "pipe2");
  }
  wake_read_ = fds[0];
  wake_write_ = fds[1];
}

EventLoop::~EventLoop() {
  close(wake_read_);
  close(wake_write_);
}

void EventLoop::Post(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    posted_.push_back(std::move(task));
  }
  // A full pipe already holds a wake-up; the byte only has to be there.
  const char byte = 1;
  [[maybe_unused]] ssize_t n = write(wake_write_, &byte, 1);
}

void EventLoop::WatchReadable(int fd, std::function<void()> on_readable) {
  Unwatch(fd);
  watches_.push_back(Watch{fd, std::move(on_readable)});
}

void EventLoop::Unwatch(int fd) {
  std::erase_if(watches_, [fd](const Watch& w) { return w.fd == fd; });
}

void EventLoop::Run() {
  while (!quit_) RunOnce(-1);
}

void EventLoop::RunOnce(int max_wait_ms) {
  int64_t timeout = max_wait_ms < 0 ? INT_MAX : max_wait_ms;
  const int64_t now = NowMs();
  for (const LoopTimerDriver* t : timers_) {
    if (t->scheduled()) timeout = std::min(timeout, std::max<int64_t>(0, t->next_due_ - now));
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!posted_.empty()) timeout = 0;
  }

  std::vector<pollfd> fds;
  fds.push_back(pollfd{wake_read_, POLLIN, 0});
  for (const Watch& w : watches_) fds.push_back(pollfd{w.fd, POLLIN, 0});
  const int ready = poll(fds.data(), fds.size(), static_cast<int>(timeout));
  if (ready > 0) {
    if (fds[0].revents & POLLIN) {
      char buffer[256];
      while (read(wake_read_, buffer, sizeof buffer) > 0) {
      }
    }
  }
  RunPosted();
  if (ready > 0) {
    for (std::size_t i = 1; i < fds.size(); ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) continue;
      // A callback may change the watch list: look the fd up again.
      const auto it = std::find_if(watches_.begin(), watches_.end(),
                                   [fd = fds[i].fd](const Watch& w) { return w.fd == fd; });
      if (it == watches_.end()) continue;
      std::function<void()> callback = it->on_readable;
      callback();
    }
  }
  RunDueTimers();
}

void EventLoop::RunPosted() {
  std::deque<std::function<void()>> tasks;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks.swap(posted_);
  }
  for (auto& task : tasks) task();
}

void EventLoop::RunDueTimers() {
  const int64_t now = NowMs();
  // A tick may start, stop or restart any timer: work on a snapshot and skip
  // drivers that went away or are no longer due.
  const std::vector<LoopTimerDriver*> snapshot = timers_;
  for (LoopTimerDriver* t : snapshot) {
    if (std::find(timers_.begin(), timers_.end(), t) == timers_.end()) continue;
    if (!t->scheduled() || t->next_due_ > now) continue;
    // Ticks missed while the loop was busy collapse into this one.
    const int64_t late = now - t->next_due_;
    t->next_due_ += (late / t->period_ms_ + 1) * int64_t{t->period_ms_};
    if (t->timer_) t->timer_->Tick();
  }
}

void EventLoop::AddTimer(LoopTimerDriver* driver) { timers_.push_back(driver); }

void EventLoop::RemoveTimer(LoopTimerDriver* driver) { std::erase(timers_, driver); }

LoopTimerDriver::LoopTimerDriver(EventLoop& loop) : loop_(loop) { loop_.AddTimer(this); }

LoopTimerDriver::~LoopTimerDriver() { loop_.RemoveTimer(this); }

void LoopTimerDriver::Start(int period_ms) {
  period_ms_ = std::max(1, period_ms);
  next_due_ = loop_.NowMs() + period_ms_;
}

void LoopTimerDriver::Stop() { period_ms_ = 0; }

WorkerPollExecutor::WorkerPollExecutor(EventLoop& loop)
    : loop_(loop), worker_([this] { Work(); }) {}

WorkerPollExecutor::~WorkerPollExecutor() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    jobs_.clear();
  }
  wake_.notify_one();
  worker_.join();
}

void WorkerPollExecutor::Run(std::function<void()> network, std::function<void()> then) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.emplace_back(std::move(network), std::move(then));
  }
  wake_.notify_one();
}

void WorkerPollExecutor::Work() {
  for (;;) {
    std::pair<std::function<void()>, std::function<void()>> job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
      if (stop_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job.first();
    // The continuation and what it holds go to the UI thread.
    loop_.Post(std::move(job.second));
  }
}

}  // namespace tol

#include "monitor/win32/window_poll_executor.h"

namespace tol {

WindowPollExecutor::WindowPollExecutor(std::function<bool()> post_done)
    : post_done_(std::move(post_done)), worker_([this] { Work(); }) {}

WindowPollExecutor::~WindowPollExecutor() { Stop(); }

void WindowPollExecutor::Run(std::function<void()> network, std::function<void()> then) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopped_) return;
  jobs_.emplace_back(std::move(network), std::move(then));
  wake_.notify_one();
}

void WindowPollExecutor::RunFinished() {
  std::deque<std::function<void()>> finished;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished.swap(finished_);
  }
  for (auto& then : finished) then();
}

void WindowPollExecutor::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_) return;
    stopped_ = true;
    jobs_.clear();
    finished_.clear();
  }
  wake_.notify_one();
  worker_.join();
}

void WindowPollExecutor::Work() {
  for (;;) {
    std::pair<std::function<void()>, std::function<void()>> job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stopped_ || !jobs_.empty(); });
      if (stopped_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job.first();  // never throws: the poll keeps its failures
    std::unique_lock<std::mutex> lock(mutex_);
    if (stopped_) return;
    finished_.push_back(std::move(job.second));
    // Polls never overlap, so nothing else waits for the worker meanwhile.
    while (!post_done_()) {
      if (wake_.wait_for(lock, kRepostPause, [this] { return stopped_; })) return;
    }
  }
}

}  // namespace tol

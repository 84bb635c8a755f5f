#include "components/win32/paced_worker.h"

#include <windows.h>

namespace tol {

PacedWorker::PacedWorker(HWND__* target, unsigned message, std::chrono::milliseconds period,
                         PaceOrder order)
    : target_(target), message_(message), order_(order), period_(period), thread_([this] {
        Loop();
      }) {}

PacedWorker::~PacedWorker() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void PacedWorker::Resume() {
  {
    std::lock_guard lock(mutex_);
    if (!running_ && order_ == PaceOrder::kStepFirst) step_now_ = true;
    running_ = true;
  }
  wake_.notify_all();
}

void PacedWorker::Suspend() {
  std::lock_guard lock(mutex_);
  running_ = false;
  step_now_ = false;
}

void PacedWorker::set_period(std::chrono::milliseconds period) {
  {
    std::lock_guard lock(mutex_);
    period_ = period;
  }
  wake_.notify_all();
}

void PacedWorker::Answer(bool go_on) {
  {
    std::lock_guard lock(mutex_);
    if (!waiting_) return;
    waiting_ = false;
    if (!go_on) running_ = false;
  }
  wake_.notify_all();
}

bool PacedWorker::running() const {
  std::lock_guard lock(mutex_);
  return running_;
}

void PacedWorker::Loop() {
  std::unique_lock lock(mutex_);
  while (!stop_) {
    wake_.wait(lock, [this] { return stop_ || running_; });
    if (stop_) break;
    // A changed period or a suspension while waiting starts the wait again;
    // a restart of a step-first worker ends it.
    const auto period = period_;
    if (!step_now_ && wake_.wait_for(lock, period, [this, period] {
          return stop_ || !running_ || step_now_ || period_ != period;
        })) {
      if (stop_ || !running_ || !step_now_) continue;
    }
    step_now_ = false;
    waiting_ = true;
    if (!PostMessageW(target_, message_, 0, reinterpret_cast<LPARAM>(this))) {
      // The window is gone: nothing will answer, and nothing is left to do.
      waiting_ = false;
      running_ = false;
      continue;
    }
    wake_.wait(lock, [this] { return stop_ || !waiting_; });
  }
}

}  // namespace tol

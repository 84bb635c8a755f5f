#pragma once
// A worker thread that paces work on the UI thread: while running, it waits
// its period, posts one message to a window of the UI thread and waits for
// the UI thread to answer it. Started step first, it posts at once when
// started or resumed, and waits its period after each answer instead. It
// never touches the state it serves; the UI thread does the work when the
// message arrives and answers whether to go on. Suspended, it waits without
// polling. Destruction tells it to stop and joins it; since it never blocks
// on the UI thread (the message is posted, not sent), joining from the UI
// thread can't deadlock.
//
// The tray icon's watcher (TMouseEventMaker) and its animation thread
// (TIconAnimation) are both of this kind.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

struct HWND__;  // HWND, without <windows.h>

namespace tol {

enum class PaceOrder { kWaitFirst, kStepFirst };

class PacedWorker {
 public:
  // Posts `message` (first parameter 0, second the worker's address) to
  // `target` after each period.
  PacedWorker(HWND__* target, unsigned message, std::chrono::milliseconds period,
              PaceOrder order = PaceOrder::kWaitFirst);
  ~PacedWorker();
  PacedWorker(const PacedWorker&) = delete;
  PacedWorker& operator=(const PacedWorker&) = delete;

  // Starts the pace again after a suspension (step first: with a step at
  // once); a running worker goes on.
  void Resume();
  // Suspends the worker after the current step, if any.
  void Suspend();
  void set_period(std::chrono::milliseconds period);

  // The UI thread's answer to a posted message: false suspends the worker.
  // Posted messages the worker is no longer waiting for are ignored.
  void Answer(bool go_on);

  bool running() const;

 private:
  void Loop();

  HWND__* const target_;
  const unsigned message_;
  const PaceOrder order_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::chrono::milliseconds period_;
  bool running_ = false;
  bool step_now_ = false;  // started step first: post without waiting
  bool waiting_ = false;
  bool stop_ = false;
  std::thread thread_;  // last: starts once the fields above exist
};

}  // namespace tol

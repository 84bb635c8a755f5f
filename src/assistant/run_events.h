#pragma once
// A fetch run on a worker thread, as the window sees it: the worker queues
// the run's log lines and its outcome as events and has the window told
// (the window posts itself a message); the window takes what is queued on
// its own thread and applies it.

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "assistant/fetch_run.h"

namespace tol {

// One thing the worker reports, in the order it happened.
struct RunEvent {
  enum class Kind { kClear, kAppend, kFinished, kFailed };
  Kind kind;
  std::string text;  // the log line, or the failure's message
};

// The worker's side: a FetchLog that queues, plus the run's outcome. Every
// event is followed by a call of `notify` (from the worker's thread).
class RunChannel : public FetchLog {
 public:
  explicit RunChannel(std::function<void()> notify) : notify_(std::move(notify)) {}

  void Clear() override { Push({RunEvent::Kind::kClear, {}}); }
  void Append(std::string_view line) override {
    Push({RunEvent::Kind::kAppend, std::string(line)});
  }
  void Finish() { Push({RunEvent::Kind::kFinished, {}}); }
  void Fail(std::string message) { Push({RunEvent::Kind::kFailed, std::move(message)}); }

  // What has been queued since the last call, oldest first.
  std::vector<RunEvent> Take();

 private:
  void Push(RunEvent event);

  const std::function<void()> notify_;
  std::mutex mutex_;
  std::vector<RunEvent> events_;
};

// The window's side.
class RunView {
 public:
  virtual ~RunView() = default;
  virtual void ClearLog() = 0;
  virtual void AppendLog(std::string_view line) = 0;
  // The run is over: `failure` holds its error text when it failed.
  virtual void RunEnded(const std::optional<std::string>& failure) = 0;
};

// Applies `events` to `view` in order. A log line that can't be shown
// doesn't hold up the rest: the later events, the run's end above all, are
// applied all the same (else the window would wait for good for a run that
// is over), and the first such failure is thrown once they are.
void ApplyRunEvents(std::vector<RunEvent> events, RunView& view);

}  // namespace tol

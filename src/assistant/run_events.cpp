#include "assistant/run_events.h"

#include <exception>
#include <utility>

namespace tol {

std::vector<RunEvent> RunChannel::Take() {
  std::lock_guard lock(mutex_);
  return std::exchange(events_, {});
}

void RunChannel::Push(RunEvent event) {
  {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
  }
  notify_();
}

void ApplyRunEvents(std::vector<RunEvent> events, RunView& view) {
  std::exception_ptr first_failure;
  for (RunEvent& event : events) {
    switch (event.kind) {
      case RunEvent::Kind::kClear:
      case RunEvent::Kind::kAppend:
        try {
          if (event.kind == RunEvent::Kind::kClear) {
            view.ClearLog();
          } else {
            view.AppendLog(event.text);
          }
        } catch (...) {
          if (!first_failure) first_failure = std::current_exception();
        }
        break;
      case RunEvent::Kind::kFinished:
        view.RunEnded(std::nullopt);
        break;
      case RunEvent::Kind::kFailed:
        view.RunEnded(std::move(event.text));
        break;
    }
  }
  if (first_failure) std::rethrow_exception(first_failure);
}

}  // namespace tol

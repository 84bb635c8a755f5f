#pragma once
// The application object of the Windows programs: the title, the minimise and
// restore notifications that components join and leave, and the
// application-wide failure handler.
//
// One Application lives for the whole run of a program (WinMain creates it)
// and outlives every component that refers to it. Everything here runs on the
// UI thread.

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

struct HWND__;   // HWND, without <windows.h>
struct HICON__;  // HICON, and HCURSOR

namespace tol {

// A place in one of the application's handler chains. Leaving it (destroying
// or resetting it) removes the handler, wherever it stands in the chain; it
// may outlive the application.
class HandlerLink {
 public:
  HandlerLink() = default;
  HandlerLink(const HandlerLink&) = delete;
  HandlerLink& operator=(const HandlerLink&) = delete;
  HandlerLink(HandlerLink&& other) noexcept;
  HandlerLink& operator=(HandlerLink&& other) noexcept;
  ~HandlerLink() { Reset(); }

  void Reset();
  bool joined() const { return id_ != 0 && !chain_.expired(); }

 private:
  friend class HandlerChain;
  struct Entries;
  HandlerLink(std::weak_ptr<Entries> chain, uint64_t id) : chain_(std::move(chain)), id_(id) {}

  std::weak_ptr<Entries> chain_;
  uint64_t id_ = 0;
};

// Handlers called in the order they joined.
class HandlerChain {
 public:
  HandlerChain();

  [[nodiscard]] HandlerLink Join(std::function<void()> handler);
  // Calls every handler joined now and still joined when its turn comes, the
  // earliest first; a handler joined during the call waits for the next one.
  // `guard` runs each handler, so that one failing handler doesn't keep the
  // others from running.
  void Raise(const std::function<void(const std::function<void()>&)>& guard) const;
  std::size_t size() const;

 private:
  std::shared_ptr<HandlerLink::Entries> entries_;
};

class Application {
 public:
  using FailureHandler = std::function<void(std::exception_ptr)>;

  Application() = default;
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // The title (the taskbar entry's text and the caption of the programs'
  // message boxes), set from code page 932 text.
  void SetTitle(std::string_view cp932);
  const std::wstring& title() const { return title_; }

  // The minimise and restore notifications. A component joins with its
  // handler and keeps the link for as long as it wants to hear them.
  [[nodiscard]] HandlerLink JoinMinimize(std::function<void()> handler) {
    return on_minimize_.Join(std::move(handler));
  }
  [[nodiscard]] HandlerLink JoinRestore(std::function<void()> handler) {
    return on_restore_.Join(std::move(handler));
  }
  // Called by the program's main window when the application has been
  // minimised or restored; runs the joined handlers, each one guarded.
  void NotifyMinimized();
  void NotifyRestored();
  bool minimized() const { return minimized_; }

  // The program's main window, which is also its taskbar entry: minimising
  // to the notification area hides it, restoring shows it again. Null until
  // the main window exists.
  void set_main_window(HWND__* window) { main_window_ = window; }
  HWND__* main_window() const { return main_window_; }
  // Minimises or restores the application through its main window and runs
  // the notification if the main window didn't (it runs once either way).
  // Restoring also brings a hidden taskbar entry back.
  void Minimize();
  void Restore();
  // Hides the taskbar entry until the next Restore().
  void HideTaskbarEntry();
  // Processes the messages waiting for this thread (a bounded number), so
  // that a change such as the foreground window takes effect before a popup
  // menu runs its own loop.
  void ProcessMessages();

  // The cursor table: controls name their cursor by a number. A number
  // registered here stands for its cursor (not owned: a shared resource
  // cursor, or one that outlives the application); any other is the system
  // cursor of that identifier (IDC_CROSS is 32515), else the arrow.
  void RegisterCursor(int number, HICON__* cursor) { cursors_[number] = cursor; }
  HICON__* CursorHandle(int number) const;

  // The application-wide failure handler: the monitor logs, the assistant
  // shows its error box. Without one, a failure is written to the debugger's
  // output and dropped.
  void set_failure_handler(FailureHandler handler) { failure_handler_ = std::move(handler); }
  // Hands `failure` to the failure handler. Never throws: a handler that
  // fails itself is only written to the debugger's output.
  void ReportFailure(std::exception_ptr failure) noexcept;

  // Runs `action` and hands anything it throws to the failure handler.
  // Every window procedure of the components runs its work through this, so
  // that no exception crosses into the system's message dispatch.
  template <typename F>
  void RunGuarded(F&& action) noexcept {
    try {
      std::forward<F>(action)();
    } catch (...) {
      ReportFailure(std::current_exception());
    }
  }

 private:
  std::wstring title_;
  HandlerChain on_minimize_;
  HandlerChain on_restore_;
  bool minimized_ = false;
  HWND__* main_window_ = nullptr;
  std::map<int, HICON__*> cursors_;
  FailureHandler failure_handler_;
};

}  // namespace tol

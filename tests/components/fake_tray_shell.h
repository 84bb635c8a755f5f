#pragma once
// A notification area that answers from a script and records every call of
// the entry and the component as one line.

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "components/tray_entry.h"
#include "components/tray_icon.h"

namespace tol::testing {

class FakeTrayShell : public TrayEntryShell, public TrayIconHost {
 public:
  // Answers of the next notify calls, in order; when they run out every
  // call succeeds.
  std::deque<NotifyResult> answers;
  bool has_icon = true;
  bool app_minimized = false;
  std::vector<std::string> log;
  int waited_ms = 0;
  int notify_calls = 0;

  bool FillRecord() override {
    log.push_back("fill");
    return has_icon;
  }
  bool HasIcon() override { return has_icon; }
  void BringToForeground() override { log.push_back("foreground"); }
  NotifyResult Notify(NotifyCommand command) override {
    static const char* const kNames[] = {"add", "modify", "delete"};
    log.push_back(kNames[static_cast<int>(command)]);
    ++notify_calls;
    if (answers.empty()) return {true, 0};
    NotifyResult r = answers.front();
    answers.pop_front();
    return r;
  }
  void Wait(int ms) override { waited_ms += ms; }
  void IconAdded() override { log.push_back("added"); }

  bool ApplicationMinimized() override { return app_minimized; }
  void TakeIcon(const IconChoice& choice) override {
    static const char* const kKinds[] = {"explicit", "application", "resource"};
    log.push_back(std::string("icon ") + kKinds[choice.kind] +
                  (choice.resource_name.empty() ? "" : " " + choice.resource_name));
  }
  void ReleaseExplicitIcon() override { log.push_back("release"); }
  void SetTip(std::string_view tip) override { log.push_back("tip " + std::string(tip)); }
  void RunAnimation(bool run) override { log.push_back(run ? "animate" : "stop"); }
  void HideTaskbarEntry() override { log.push_back("hide taskbar"); }
  void BringOwnerToFront() override { log.push_back("owner front"); }
};

inline constexpr NotifyResult kTimeout{false, kErrorTimeout};
inline constexpr NotifyResult kRefused{false, 5};

}  // namespace tol::testing

#pragma once
// One notification-area entry (TTaskTrayIcon's rules, without a window): the
// added flag and the add / modify / delete protocol with its retries.
//
// The shell is reached through TrayEntryShell, which the Windows entry
// implements with its record and Shell_NotifyIcon; tests plug in a fake whose
// Wait() returns at once.

#include <cstdint>

#include "shared/errors.h"

namespace tol {

// The icon can't be put into the notification area.
class ENotifyIconError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "ENotifyIconError"; }
};

enum class NotifyCommand { kAdd, kModify, kDelete };  // NIM_ADD, NIM_MODIFY, NIM_DELETE

// The platform's answer to one notify call; `error` is its last error after
// a failure.
struct NotifyResult {
  bool ok = false;
  uint32_t error = 0;
};

inline constexpr uint32_t kErrorTimeout = 1460;  // ERROR_TIMEOUT
// A first add that fails with a time-out is retried this many times more,
// each after a wait of kAddRetryWaitMs.
inline constexpr int kAddRetries = 6;
inline constexpr int kAddRetryWaitMs = 2000;

class TrayEntryShell {
 public:
  virtual ~TrayEntryShell() = default;
  // Fills the record for an add (creating the hidden window on first use);
  // returns whether it holds an icon handle.
  virtual bool FillRecord() = 0;
  // Whether the record holds an icon handle.
  virtual bool HasIcon() = 0;
  // Makes the hidden window the foreground window.
  virtual void BringToForeground() = 0;
  // Shell_NotifyIcon with the record.
  virtual NotifyResult Notify(NotifyCommand command) = 0;
  virtual void Wait(int milliseconds) = 0;
  // The icon has just been added: the tracker forgets its rectangle.
  virtual void IconAdded() = 0;
};

class TrayEntry {
 public:
  explicit TrayEntry(TrayEntryShell& shell) : shell_(shell) {}

  // Puts the icon into the notification area unless it is there. False when
  // the record has no icon. A refusal other than a time-out, or time-outs
  // past the retries, raise ENotifyIconError and leave the entry not added.
  bool AddIcon();
  // Updates the icon, adding it when it isn't there. Never raises; a time-out
  // counts as success. Returns whether the entry is added.
  bool ModifyIcon();
  // Removes the icon; true when nothing was there or the removal succeeded.
  // The entry counts as removed either way.
  bool DeleteIcon();
  // The notification area was recreated: an entry that was added is added
  // again. May raise like AddIcon.
  void TaskbarCreated();

  bool added() const { return added_; }
  bool do_foreground_window() const { return do_foreground_window_; }
  void set_do_foreground_window(bool on) { do_foreground_window_ = on; }

 private:
  NotifyResult Add();

  TrayEntryShell& shell_;
  bool added_ = false;
  bool do_foreground_window_ = false;
};

}  // namespace tol

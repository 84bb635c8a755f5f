#include "components/tray_entry.h"

#include "components/texts.h"

namespace tol {

NotifyResult TrayEntry::Add() {
  if (do_foreground_window_) shell_.BringToForeground();
  NotifyResult result = shell_.Notify(NotifyCommand::kAdd);
  if (result.ok) {
    added_ = true;
    shell_.IconAdded();
  }
  return result;
}

bool TrayEntry::AddIcon() {
  if (added_) return true;
  if (!shell_.FillRecord()) return false;
  NotifyResult result = Add();
  // A busy shell answers with a time-out and may still add the icon late:
  // wait, try a modify (succeeds when the late add went through), then add
  // again.
  for (int left = kAddRetries - 1; !added_ && left >= 0; --left) {
    if (result.error != kErrorTimeout) throw ENotifyIconError(kCannotAddTrayIconText.bytes());
    shell_.Wait(kAddRetryWaitMs);
    if (shell_.Notify(NotifyCommand::kModify).ok) {
      added_ = true;
      break;
    }
    result = Add();
    if (!result.ok && left == 0) throw ENotifyIconError(kCannotChangeTrayIconText.bytes());
  }
  return added_;
}

bool TrayEntry::ModifyIcon() {
  if (!added_) {
    try {
      return AddIcon();
    } catch (const ENotifyIconError&) {
      return false;
    }
  }
  if (!shell_.HasIcon()) return false;
  if (do_foreground_window_) shell_.BringToForeground();
  NotifyResult result = shell_.Notify(NotifyCommand::kModify);
  if (result.ok || result.error == kErrorTimeout) return added_;
  added_ = false;
  try {
    AddIcon();
  } catch (const ENotifyIconError&) {
    // The icon stays not added; the next setter or minimise tries again.
  }
  return added_;
}

bool TrayEntry::DeleteIcon() {
  if (!added_) return true;
  bool ok = shell_.Notify(NotifyCommand::kDelete).ok;
  added_ = false;
  return ok;
}

void TrayEntry::TaskbarCreated() {
  if (!added_) return;
  added_ = false;
  AddIcon();
}

}  // namespace tol

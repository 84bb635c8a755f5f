#include "components/click_tracker.h"

#include <algorithm>

namespace tol {

namespace {

// The button of a down, up or double-click value (512 < value <= 521).
TrayButton ButtonOf(intptr_t value) { return static_cast<TrayButton>((value - kTrayLeftDown) / 3); }

intptr_t DownOf(TrayButton button) { return kTrayLeftDown + 3 * static_cast<intptr_t>(button); }

}  // namespace

void ClickTracker::Observe(unsigned message, intptr_t wparam, intptr_t lparam) {
  if (message == kTrayCallbackMessage && lparam >= kTrayMouseMove &&
      lparam <= kTrayMiddleDoubleClick) {
    OnMouse(wparam, lparam);
  } else if (message == kTimerMessage && static_cast<uintptr_t>(wparam) == kClickTimerId) {
    OnTimer();
  }
}

void ClickTracker::OnMouse(intptr_t wparam, intptr_t lparam) {
  if (lparam == kTrayMouseMove) {
    OnMove();
    return;
  }
  TrayButton button = ButtonOf(lparam);
  switch ((lparam - kTrayLeftDown) % 3) {
    case 0:  // down; a re-posted press never arms a click
      if (wparam >= 0) SetPressed(button, true);
      break;
    case 1:  // up
      if (!check_single_double_click_) {
        ReportClick(button);
      } else if (!pending_) {
        pending_ = host_.StartTimer(host_.DoubleClickTime());
      }
      break;
    default:  // double click: no single click, and the press comes again
      pending_ = false;
      SetPressed(button, false);
      host_.Post(kTrayRepostedPress, DownOf(button));
      break;
  }
}

void ClickTracker::OnTimer() {
  host_.KillTimer();
  if (!pending_) return;
  if (Pressed(TrayButton::kLeft)) {
    ReportClick(TrayButton::kLeft);
  } else if (Pressed(TrayButton::kRight)) {
    ReportClick(TrayButton::kRight);
  } else {
    ReportClick(TrayButton::kMiddle);
  }
}

void ClickTracker::ReportClick(TrayButton button) {
  bool was_pressed = Pressed(button);
  pending_ = false;
  SetPressed(button, false);
  if (was_pressed) host_.Send(static_cast<intptr_t>(button), kTraySingleClick);
}

void ClickTracker::OnMove() {
  ScreenPoint p = host_.CursorPos();
  if (rect_empty_) {
    left_ = right_ = p.x;
    top_ = bottom_ = p.y;
    rect_empty_ = false;
  } else {
    left_ = std::min(left_, p.x);
    right_ = std::max(right_, p.x);
    top_ = std::min(top_, p.y);
    bottom_ = std::max(bottom_, p.y);
    // 64-bit differences: coordinates may lie anywhere in 32 bits.
    if (int64_t{right_} - left_ > kTrackingExtent || int64_t{bottom_} - top_ > kTrackingExtent) {
      left_ = right_ = p.x;
      top_ = bottom_ = p.y;
    }
  }
  if (inside_) return;
  inside_ = true;
  if (!use_default_) host_.ApplyTipColors(background_color_, text_color_);
  host_.WakeWatcher();
  host_.Send(0, kTrayMouseEntered);
}

void ClickTracker::CheckPointer() {
  if (!inside_) {
    host_.AnswerWatcher(false);
    return;
  }
  ScreenPoint p = host_.CursorPos();
  if (!rect_empty_ && p.x >= left_ && p.x <= right_ && p.y >= top_ && p.y <= bottom_) {
    host_.AnswerWatcher(true);
    return;
  }
  inside_ = false;
  // Answered before the report: the exit's handler may come back in (and
  // wake the watcher again) or destroy the tracker.
  host_.AnswerWatcher(false);
  if (!use_default_) host_.RestoreTipColors();
  host_.Send(0, kTrayMouseLeft);
}

bool ClickTracker::Pressed(TrayButton button) const {
  return (pressed_ & (1u << static_cast<unsigned>(button))) != 0;
}

void ClickTracker::SetPressed(TrayButton button, bool on) {
  unsigned bit = 1u << static_cast<unsigned>(button);
  pressed_ = on ? (pressed_ | bit) : (pressed_ & ~bit);
}

}  // namespace tol

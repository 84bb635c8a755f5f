#pragma once
// The click and hover tracker of one notification-area entry
// (TCustomToolTipStyle's rules, without a window).
//
// The notification area reports raw mouse messages over an icon. The tracker
// derives what it doesn't report by itself: a single click that is not part
// of a double click, the mouse entering the icon and the mouse leaving it. It
// answers through a host: messages sent or posted to the entry's hidden
// window, the double-click timer, the tooltip's colours and the watcher that
// notices the mouse leaving. Everything here runs on the UI thread; the
// watcher thread only asks CheckPointer() through the UI thread.
//
// A message the tracker sends runs the component's handlers at once, and one
// of them may destroy the tracker with its entry: every report is the last
// thing the tracker does.

#include <cstdint>

#include "components/color.h"

namespace tol {

// The entry's callback message and the values the tracker and the
// notification area use with it (second parameter).
inline constexpr unsigned kTrayCallbackMessage = 1224;  // WM_USER + 200
inline constexpr intptr_t kTrayMouseMove = 512;
inline constexpr intptr_t kTrayLeftDown = 513;
inline constexpr intptr_t kTrayLeftUp = 514;
inline constexpr intptr_t kTrayLeftDoubleClick = 515;
inline constexpr intptr_t kTrayRightDown = 516;
inline constexpr intptr_t kTrayRightUp = 517;
inline constexpr intptr_t kTrayRightDoubleClick = 518;
inline constexpr intptr_t kTrayMiddleDown = 519;
inline constexpr intptr_t kTrayMiddleUp = 520;
inline constexpr intptr_t kTrayMiddleDoubleClick = 521;
inline constexpr intptr_t kTrayMouseEntered = 1234;
inline constexpr intptr_t kTrayMouseLeft = 1235;
inline constexpr intptr_t kTraySingleClick = 1236;  // first parameter: the button
// First parameter of a press re-posted after a double click.
inline constexpr intptr_t kTrayRepostedPress = -1;
// The tracker's timer on the hidden window, and WM_TIMER.
inline constexpr uintptr_t kClickTimerId = 7;
inline constexpr unsigned kTimerMessage = 0x0113;
// Width or height beyond which the tracking rectangle starts again.
inline constexpr int64_t kTrackingExtent = 32;

enum class TrayButton { kLeft = 0, kRight = 1, kMiddle = 2 };

struct ScreenPoint {
  int32_t x = 0;
  int32_t y = 0;
};

// What the tracker needs from the desktop. The Windows entry implements it
// with its hidden window; tests record the calls.
class ClickTrackerHost {
 public:
  virtual ~ClickTrackerHost() = default;
  // SendMessage / PostMessage of kTrayCallbackMessage to the hidden window.
  virtual void Send(intptr_t wparam, intptr_t lparam) = 0;
  virtual void Post(intptr_t wparam, intptr_t lparam) = 0;
  // Starts timer kClickTimerId; false when the desktop refuses.
  virtual bool StartTimer(unsigned milliseconds) = 0;
  virtual void KillTimer() = 0;
  // The desktop's double-click time in milliseconds.
  virtual unsigned DoubleClickTime() = 0;
  // The cursor position in screen coordinates, read when asked.
  virtual ScreenPoint CursorPos() = 0;
  // Recolours the notification area's tooltip, or puts the system's colours
  // back (colours as 0x00BBGGRR).
  virtual void ApplyTipColors(uint32_t background, uint32_t text) = 0;
  virtual void RestoreTipColors() = 0;
  // Creates the watcher if there is none and resumes it if it is suspended.
  virtual void WakeWatcher() = 0;
  // Answers the watcher's check: go on polling, or suspend.
  virtual void AnswerWatcher(bool go_on) = 0;
};

class ClickTracker {
 public:
  explicit ClickTracker(ClickTrackerHost& host) : host_(host) {}

  // Looks at one message of the hidden window: kTrayCallbackMessage with a
  // mouse value (512 to 521) or WM_TIMER of kClickTimerId. Never consumes a
  // message; everything else is ignored.
  void Observe(unsigned message, intptr_t wparam, intptr_t lparam);

  // The watcher's check, run on the UI thread: answers the watcher whether
  // the mouse is still inside the tracking rectangle (edges count as
  // inside), so that it suspends itself when not, and then, if the mouse
  // was inside until now, reports the exit.
  void CheckPointer();

  // Forgets where the mouse was seen; done after each add of the icon.
  void EmptyRect() { rect_empty_ = true; }

  bool check_single_double_click() const { return check_single_double_click_; }
  void set_check_single_double_click(bool on) { check_single_double_click_ = on; }
  bool use_default() const { return use_default_; }
  void set_use_default(bool on) { use_default_ = on; }
  uint32_t background_color() const { return background_color_; }
  void set_background_color(uint32_t color) { background_color_ = color; }
  uint32_t text_color() const { return text_color_; }
  void set_text_color(uint32_t color) { text_color_ = color; }

  bool inside() const { return inside_; }
  bool click_pending() const { return pending_; }

 private:
  void OnMouse(intptr_t wparam, intptr_t lparam);
  void OnMove();
  void OnTimer();
  void ReportClick(TrayButton button);
  bool Pressed(TrayButton button) const;
  void SetPressed(TrayButton button, bool on);

  ClickTrackerHost& host_;
  unsigned pressed_ = 0;  // bit per TrayButton
  bool inside_ = false;
  bool pending_ = false;
  bool rect_empty_ = true;
  int32_t left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;
  bool check_single_double_click_ = true;
  bool use_default_ = true;
  uint32_t background_color_ = 0;
  uint32_t text_color_ = kWindowTextColor;
};

}  // namespace tol

#pragma once
// The inner parts of the notification-area icon: one entry of the
// notification area (TTaskTrayIcon) with its hidden window and record, the
// click and hover tracker that watches it (TToolTipStyle, its watcher
// thread TMouseEventMaker), and the process-wide list of live entries
// (TTrayIconWinProcList) that owns the hidden windows' class and the
// "TaskbarCreated" message.
//
// The rules live in the portable parts (components/click_tracker.h,
// components/tray_entry.h); this layer gives them their window, their
// record and Shell_NotifyIconW. Everything runs on the UI thread that
// created the entry, except the watcher, which only paces.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "components/click_tracker.h"
#include "components/tray_entry.h"
#include "components/win32/application.h"
#include "components/win32/paced_worker.h"

struct HWND__;   // HWND, without <windows.h>
struct HICON__;  // HICON

namespace tol {

// Private messages of the hidden window (beside the callback message).
inline constexpr unsigned kWatcherCheckMessage = 0x8000 + 0x51;   // WM_APP + 0x51
inline constexpr unsigned kAnimationStepMessage = 0x8000 + 0x52;  // WM_APP + 0x52

// The watcher that notices the mouse leaving the icon: every 100 ms while
// the mouse is inside, the tracker checks the cursor on the UI thread.
class TMouseEventMaker : public PacedWorker {
 public:
  static constexpr std::chrono::milliseconds kPeriod{100};
  explicit TMouseEventMaker(HWND__* window) : PacedWorker(window, kWatcherCheckMessage, kPeriod) {}
};

// The tracker of one entry with what it needs of the desktop: the hidden
// window's messages and timer, the notification area's tooltip window and
// the watcher.
class TCustomToolTipStyle : private ClickTrackerHost {
 public:
  // Looks up the notification area's tooltip window.
  TCustomToolTipStyle();
  // Stops and joins the watcher, then gives the tooltip its default colours
  // back.
  ~TCustomToolTipStyle() override;
  TCustomToolTipStyle(const TCustomToolTipStyle&) = delete;
  TCustomToolTipStyle& operator=(const TCustomToolTipStyle&) = delete;

  // The entry's hidden window, set when it is created.
  void SetWindow(HWND__* window) { window_ = window; }
  // Every message of the hidden window passes here first; the tracker only
  // observes. Handles the watcher's check message too.
  void Observe(unsigned message, intptr_t wparam, intptr_t lparam);
  void EmptyRect() { tracker_.EmptyRect(); }

  bool check_single_double_click() const { return tracker_.check_single_double_click(); }
  void set_check_single_double_click(bool on) { tracker_.set_check_single_double_click(on); }
  bool mouse_inside() const { return tracker_.inside(); }
  // Whether the watcher exists and is running (not suspended).
  bool watcher_running() const { return watcher_ != nullptr && watcher_->running(); }
  HWND__* tooltip_window() const { return tooltip_; }

 protected:
  ClickTracker tracker_{*this};

 private:
  void Send(intptr_t wparam, intptr_t lparam) override;
  void Post(intptr_t wparam, intptr_t lparam) override;
  bool StartTimer(unsigned milliseconds) override;
  void KillTimer() override;
  unsigned DoubleClickTime() override;
  ScreenPoint CursorPos() override;
  void ApplyTipColors(uint32_t background, uint32_t text) override;
  void RestoreTipColors() override;
  void WakeWatcher() override;
  void AnswerWatcher(bool go_on) override;

  HWND__* window_ = nullptr;
  HWND__* tooltip_ = nullptr;
  std::unique_ptr<TMouseEventMaker> watcher_;
};

// The published form: the tooltip colours and whether to leave them alone.
// Colours are $00BBGGRR or system colours (components/color.h); the text
// colour is the system's window-text colour at first.
class TToolTipStyle : public TCustomToolTipStyle {
 public:
  bool use_default() const { return tracker_.use_default(); }
  void set_use_default(bool on) { tracker_.set_use_default(on); }
  uint32_t background_color() const { return tracker_.background_color(); }
  void set_background_color(uint32_t color) { tracker_.set_background_color(color); }
  uint32_t text_color() const { return tracker_.text_color(); }
  void set_text_color(uint32_t color) { tracker_.set_text_color(color); }
};

// The icon of a balloon (NIIF_NONE, NIIF_INFO, NIIF_WARNING, NIIF_ERROR).
enum class TBalloonIconType { bitNone = 0, bitInfo = 1, bitWarning = 2, bitError = 3 };
// How a balloon behaves, beside its icon: without the shell's own sound
// (NIIF_NOSOUND), and dropped by the shell during its quiet time after a
// new user's first logon (NIIF_RESPECT_QUIET_TIME). Shells that predate a
// flag ignore it.
enum TBalloonFlags : unsigned { kBalloonNoSound = 0x10, kBalloonRespectQuietTime = 0x80 };

// The shell's version (major * 65536 + minor): DllGetVersion of shell32.dll,
// else the "FileVersion" text of the system's shell32.dll, else 0.
uint32_t SystemShellVersion();

// One notification-area entry.
class TTaskTrayIcon : private TrayEntryShell {
 public:
  // Receives every message of the hidden window after the tracker saw it.
  using MessageHandler = std::function<void(unsigned message, intptr_t wparam, intptr_t lparam)>;

  // `extended_record`: the shell is 5.0 or later (SystemShellVersion()).
  // Failures of the add that "TaskbarCreated" triggers go to `application`.
  TTaskTrayIcon(Application& application, bool extended_record, MessageHandler handler);
  // Stops the tracker, removes the icon, destroys the hidden window and
  // leaves the process list.
  ~TTaskTrayIcon() override;
  TTaskTrayIcon(const TTaskTrayIcon&) = delete;
  TTaskTrayIcon& operator=(const TTaskTrayIcon&) = delete;

  bool AddIcon() { return entry_.AddIcon(); }
  bool ModifyIcon() { return entry_.ModifyIcon(); }
  bool DeleteIcon() { return entry_.DeleteIcon(); }
  bool added() const { return entry_.added(); }
  bool do_foreground_window() const { return entry_.do_foreground_window(); }
  void set_do_foreground_window(bool on) { entry_.set_do_foreground_window(on); }

  // The icon handle the record shows (not owned; null: nothing to show).
  void SetIconHandle(HICON__* icon);
  // The tip, code page 932, already cut to the record's size.
  void SetTip(std::string_view cp932);
  // Balloon data, kept in the record; only ShowBalloon() shows it.
  void SetBalloon(std::string_view title, std::string_view text, int timeout, TBalloonIconType icon,
                  unsigned flags = 0);
  // Shows the balloon data from the added icon: one modify of the balloon
  // alone (later modifies leave it be), sent by a thread of the entry's own,
  // because the shell answers when it is ready, and a busy one holds the
  // caller for seconds; the UI thread never waits for it. A balloon still
  // waiting for the thread is replaced by a newer one. False when the icon
  // is not in the notification area.
  bool ShowBalloon();
  // Balloons sent so far.
  int balloons_shown() const { return balloons_shown_; }

  bool extended_record() const { return extended_record_; }
  // The hidden window, created on first use.
  HWND__* EnsureWindow();
  HWND__* window() const { return window_; }
  TToolTipStyle& tool_tip_style() { return tool_tip_style_; }
  const TToolTipStyle& tool_tip_style() const { return tool_tip_style_; }
  // The add / modify / delete protocol over this entry's record.
  TrayEntry& tray_entry() { return entry_; }

  // The notification-area record as it stands, for tests: its size in
  // bytes, flags, callback message, icon id and tip.
  struct RecordView {
    uint32_t size;
    uint32_t flags;
    uint32_t callback_message;
    uint32_t id;
    uint32_t state;
    uint32_t state_mask;
    HICON__* icon;
    std::u16string tip;
    std::u16string info_title;
    std::u16string info;
    uint32_t info_flags;
    uint32_t timeout;
  };
  RecordView record() const;

 private:
  friend class TTrayIconWinProcList;
  struct Record;  // NOTIFYICONDATAW
  class BalloonSender;

  // The window procedure's part for this entry.
  intptr_t Dispatch(unsigned message, uintptr_t wparam, intptr_t lparam);

  bool FillRecord() override;
  bool HasIcon() override;
  void BringToForeground() override;
  NotifyResult Notify(NotifyCommand command) override;
  void Wait(int milliseconds) override;
  void IconAdded() override;

  Application& application_;
  const bool extended_record_;
  MessageHandler handler_;
  std::unique_ptr<Record> record_;
  std::unique_ptr<BalloonSender> balloon_sender_;  // started with the first balloon
  HWND__* window_ = nullptr;
  int balloons_shown_ = 0;
  TToolTipStyle tool_tip_style_;
  TrayEntry entry_{*this};
  // Expires with the entry: a handler may destroy it.
  std::shared_ptr<char> alive_ = std::make_shared<char>();
};

// The number of the registered "TaskbarCreated" message (0 until the first
// entry exists).
unsigned TaskbarCreatedMessage();

}  // namespace tol

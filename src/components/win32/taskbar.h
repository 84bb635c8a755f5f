#pragma once
// TTrayIcon: an icon with a tooltip in the desktop's notification area,
// mouse activity on it turned into events and popup menus, and minimising
// to the notification area (the icon only while the application is
// minimised, the taskbar entry hidden meanwhile).
//
// The property rules live in components/tray_icon.h (TrayIconState); this
// class gives them the icon handles, the menus, the events and the
// animation thread. Everything runs on the UI thread that created it; the
// animation thread only paces steps that run there.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "components/click_tracker.h"
#include "components/tray_icon.h"
#include "components/win32/application.h"
#include "components/win32/paced_worker.h"
#include "components/win32/trshlapi.h"

struct HWND__;   // HWND, without <windows.h>
struct HICON__;  // HICON

namespace tol {

class TTrayIcon;

// A menu the icon pops up on a button press. The icon keeps only a weak
// reference: a menu that is destroyed is simply no longer popped up.
class TrayPopupMenu {
 public:
  virtual ~TrayPopupMenu() = default;
  // Pops the menu up at the screen position; `popup_component` is the icon
  // that asked (the menu's popup component while it is shown).
  virtual void Popup(TTrayIcon& popup_component, int x, int y) = 0;
};

// The mouse button flags of an event (the pressed button's alone, or none).
enum TShiftState : unsigned { kShiftNone = 0, kShiftLeft = 1, kShiftRight = 2, kShiftMiddle = 4 };

// The thread that steps the icon's animation: once started, one step at
// once, then one after each period.
class TIconAnimation : public PacedWorker {
 public:
  TIconAnimation(HWND__* window, std::chrono::milliseconds period)
      : PacedWorker(window, kAnimationStepMessage, period, PaceOrder::kStepFirst) {}
};

class TTrayIcon : private TrayIconHost {
 public:
  using TNotifyEvent = std::function<void(TTrayIcon& sender)>;
  using TMouseEvent =
      std::function<void(TTrayIcon& sender, TrayButton button, TShiftState shift, int x, int y)>;
  using TMouseMoveEvent = std::function<void(TTrayIcon& sender, TShiftState shift, int x, int y)>;

  // `owner` is the window brought to the front when the application is
  // restored from the notification area. Joins the application's minimise
  // and restore notifications (after the handlers that joined earlier).
  // Nothing is shown until Loaded() or a setter acts. Failures of the
  // component's own message handling go to `application`, which must
  // outlive the component.
  TTrayIcon(Application& application, HWND__* owner);
  // Removes the icon, leaves the notifications, stops and joins the
  // animation thread and frees the icons.
  ~TTrayIcon() override;
  TTrayIcon(const TTrayIcon&) = delete;
  TTrayIcon& operator=(const TTrayIcon&) = delete;

  // The window's layout sets the properties between BeginLoading() and
  // Loaded(); only Loaded() then shows the icon, if it is wanted.
  void BeginLoading() { state_.BeginLoading(); }
  void Loaded() { state_.Loaded(); }

  // The setters below may raise ENotifyIconError when the icon can't be put
  // into the notification area (the entry stays out; a later setter or
  // minimise tries again).
  bool visible() const { return state_.visible(); }
  void SetVisible(bool visible) { state_.SetVisible(visible); }
  bool minimized() const { return state_.minimized(); }
  void SetMinimized(bool minimized) { state_.SetMinimized(minimized); }
  // Tooltip, code page 932; cut to the record's size when it is set.
  const std::string& tip_help() const { return state_.tip_help(); }
  void SetTipHelp(std::string_view cp932) { state_.SetTipHelp(cp932); }
  // The explicit icon: a copy of `icon` is kept; null releases it.
  void SetIcon(HICON__* icon);
  HICON__* icon() const { return explicit_icon_; }
  int resource_icon_id() const { return state_.resource_icon_id(); }
  void SetResourceIconID(int id) { state_.SetResourceIconID(id); }
  // Names of icon resources of the executable.
  void SetResourceIconList(std::vector<std::string> names) {
    state_.SetResourceIconList(std::move(names));
  }
  unsigned interval() const { return state_.interval(); }
  void SetInterval(unsigned milliseconds) { state_.SetInterval(milliseconds); }
  bool hide_on_taskbar() const { return state_.hide_on_taskbar(); }
  void SetHideOnTaskBar(bool on) { state_.SetHideOnTaskBar(on); }
  bool auto_popup() const { return auto_popup_; }
  void set_auto_popup(bool on) { auto_popup_ = on; }
  bool do_foreground_window() const { return entry_.do_foreground_window(); }
  void set_do_foreground_window(bool on) { entry_.set_do_foreground_window(on); }
  bool check_single_double_click() const {
    return entry_.tool_tip_style().check_single_double_click();
  }
  void set_check_single_double_click(bool on) {
    entry_.tool_tip_style().set_check_single_double_click(on);
  }
  TToolTipStyle& tool_tip_style() { return entry_.tool_tip_style(); }

  // Balloon data: stored in the record, not shown.
  void SetBalloonHelp(std::string_view title, std::string_view text, int timeout,
                      TBalloonIconType icon, unsigned flags = 0);
  // Stores the balloon data and shows it from the icon (code page 932; the
  // title cut to 63 bytes, the text to 255; `flags` of TBalloonFlags).
  // False when the icon is not in the notification area: a balloon needs it
  // there.
  bool ShowBalloonHelp(std::string_view title, std::string_view text, int timeout,
                       TBalloonIconType icon, unsigned flags = 0);

  void SetLButtonPopupMenu(std::weak_ptr<TrayPopupMenu> menu) { left_menu_ = std::move(menu); }
  void SetRButtonPopupMenu(std::weak_ptr<TrayPopupMenu> menu) { right_menu_ = std::move(menu); }

  // Events; a handler that is not set is skipped.
  TNotifyEvent OnDblClick, OnRDblClick, OnMouseEnter, OnMouseExit, OnIconAnimation;
  TMouseEvent OnMouseDown, OnMouseUp, OnMouseClick;
  TMouseMoveEvent OnMouseMove;

  // Whether the icon should be in the notification area now, and whether it
  // is.
  bool IconWanted() const { return state_.IconWanted(); }
  bool added() const { return entry_.added(); }
  TTaskTrayIcon& entry() { return entry_; }
  const TTaskTrayIcon& entry() const { return entry_; }
  bool animation_running() const { return animation_ && animation_->running(); }

 private:
  // TrayIconHost
  bool ApplicationMinimized() override;
  void TakeIcon(const IconChoice& choice) override;
  void ReleaseExplicitIcon() override;
  void SetTip(std::string_view tip) override;
  void RunAnimation(bool run) override;
  void HideTaskbarEntry() override;
  void BringOwnerToFront() override;

  void HandleMessage(unsigned message, intptr_t wparam, intptr_t lparam);
  void HandleMouse(intptr_t wparam, intptr_t lparam);
  void AnimationStep();
  void PopupMenu(std::weak_ptr<TrayPopupMenu> menu, int x, int y);
  void FreePrivateIcon();

  Application& application_;
  HWND__* owner_;
  const bool extended_record_;
  TTaskTrayIcon entry_;
  TrayIconState state_;
  bool auto_popup_ = true;
  HICON__* explicit_icon_ = nullptr;  // owned copy
  HICON__* private_icon_ = nullptr;   // the loaded resource icon
  std::string private_icon_name_;
  std::weak_ptr<TrayPopupMenu> left_menu_, right_menu_;
  std::unique_ptr<TIconAnimation> animation_;
  HandlerLink on_minimize_, on_restore_;
  // Expires with the icon: a handler, or a message processed on the way to
  // a popup menu, may destroy it.
  std::shared_ptr<char> alive_ = std::make_shared<char>();
};

}  // namespace tol

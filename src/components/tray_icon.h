#pragma once
// The rules of the notification-area icon component (TTrayIcon's setters,
// minimise-to-tray, icon choice and its mouse messages), without a window.
//
// TrayIconState keeps the properties and decides when the entry is added,
// refreshed or removed; the entry (TrayEntry) talks to the shell, and the
// host does what only the desktop can: tell whether the application is
// minimised, load the chosen icon into the record, run the animation, hide
// the taskbar entry, bring the owner to the front.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "components/click_tracker.h"
#include "components/tray_entry.h"

namespace tol {

// Which icon the entry shows.
struct IconChoice {
  enum Kind { kExplicit, kApplication, kResource };
  Kind kind = kApplication;
  std::string resource_name;  // kResource: the icon resource of the executable

  bool operator==(const IconChoice&) const = default;
};

class TrayIconHost {
 public:
  virtual ~TrayIconHost() = default;
  virtual bool ApplicationMinimized() = 0;
  // Puts the chosen icon's handle into the entry's record.
  virtual void TakeIcon(const IconChoice& choice) = 0;
  // Releases the explicit icon (a resource icon was chosen instead).
  virtual void ReleaseExplicitIcon() = 0;
  // Copies the tip (code page 932, already cut) into the entry's record.
  virtual void SetTip(std::string_view tip) = 0;
  // Starts or resumes the animation thread, or suspends it.
  virtual void RunAnimation(bool run) = 0;
  // Hides the application's taskbar entry (it comes back on restore).
  virtual void HideTaskbarEntry() = 0;
  // Makes the owner window the foreground window.
  virtual void BringOwnerToFront() = 0;
};

inline constexpr unsigned kMinAnimationInterval = 50;

class TrayIconState {
 public:
  // `extended_record`: the shell is version 5.0 or later (longer tip).
  // Nothing reaches the host or the entry until a setter or Loaded() acts;
  // the host fills its first record with record_tip().
  TrayIconState(TrayEntry& entry, TrayIconHost& host, bool extended_record);

  // While loading (from BeginLoading to Loaded), setters only store; Loaded()
  // shows the icon if it is wanted.
  void BeginLoading() { loading_ = true; }
  void Loaded();

  // Whether the icon should be in the notification area now.
  bool IconWanted() const;
  IconChoice ChooseIcon() const;

  void SetVisible(bool visible);
  void SetMinimized(bool minimized);
  void SetTipHelp(std::string_view tip);
  // The explicit icon was assigned; `has_handle` false when nothing was.
  void SetIcon(bool has_handle);
  void SetResourceIconID(int id);
  void SetResourceIconList(std::vector<std::string> names);
  // 1 to 49 become 50; 0 stops the animation.
  void SetInterval(unsigned milliseconds);
  void SetHideOnTaskBar(bool on) { hide_on_taskbar_ = on; }

  // The application's minimise and restore notifications (after the earlier
  // handlers ran).
  void ApplicationMinimized();
  void ApplicationRestored();

  // One animation step without an OnIconAnimation handler: the next resource
  // icon, wrapping to the first. (With a handler, the caller runs it and
  // then Refresh().)
  void AnimationStep();
  // Takes the chosen icon and, if the icon is wanted, modifies the entry.
  void Refresh();

  bool visible() const { return visible_; }
  bool minimized() const { return minimized_; }
  const std::string& tip_help() const { return tip_help_; }
  const std::string& record_tip() const { return record_tip_; }
  int resource_icon_id() const { return resource_icon_id_; }
  const std::vector<std::string>& resource_icon_list() const { return resource_icon_list_; }
  unsigned interval() const { return interval_; }
  bool hide_on_taskbar() const { return hide_on_taskbar_; }
  bool has_explicit_icon() const { return has_explicit_icon_; }

 private:
  void ShowTrayIcon();
  void HideTrayIcon();
  int ClampedIconID(int id) const;

  TrayEntry& entry_;
  TrayIconHost& host_;
  bool extended_record_;
  bool loading_ = false;
  bool visible_ = true;
  bool minimized_ = false;
  bool hide_on_taskbar_ = false;
  bool has_explicit_icon_ = false;
  std::string tip_help_ = "TipHelp";
  std::string record_tip_;
  int resource_icon_id_ = -1;
  std::vector<std::string> resource_icon_list_;
  unsigned interval_ = 0;
};

// What the component does with one callback message of its hidden window.
enum class TrayMouseAction {
  kNone,
  kMouseMove,
  kPopupLeftMenu,
  kPopupRightMenu,
  kMouseDown,
  kMouseUp,
  kDblClick,
  kRDblClick,
  kMouseEnter,
  kMouseExit,
  kMouseClick,
};

struct TrayMouseEvent {
  TrayMouseAction action = TrayMouseAction::kNone;
  TrayButton button = TrayButton::kLeft;  // kMouseDown, kMouseUp, kMouseClick
};

// Decodes the callback message (kTrayCallbackMessage) with its parameters.
// Presses pop up the button's menu when one is set and `auto_popup` is on;
// the press the tracker re-posts after a double click pops it up again.
TrayMouseEvent DecodeTrayMouse(intptr_t wparam, intptr_t lparam, bool auto_popup,
                               bool has_left_menu, bool has_right_menu);

}  // namespace tol

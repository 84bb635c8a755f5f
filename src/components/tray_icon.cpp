#include "components/tray_icon.h"

#include <utility>

#include "components/tray_tip.h"

namespace tol {

TrayIconState::TrayIconState(TrayEntry& entry, TrayIconHost& host, bool extended_record)
    : entry_(entry),
      host_(host),
      extended_record_(extended_record),
      record_tip_(TrayTipText(tip_help_, extended_record)) {}

void TrayIconState::Loaded() {
  loading_ = false;
  resource_icon_id_ = ClampedIconID(resource_icon_id_);
  if (IconWanted()) ShowTrayIcon();
}

bool TrayIconState::IconWanted() const {
  if (!visible_) return false;
  if (!minimized_) return true;
  return host_.ApplicationMinimized();
}

IconChoice TrayIconState::ChooseIcon() const {
  if (has_explicit_icon_) return {IconChoice::kExplicit, {}};
  // The list may have shrunk under the index since it was set.
  if (resource_icon_id_ < 0 ||
      static_cast<std::size_t>(resource_icon_id_) >= resource_icon_list_.size()) {
    return {IconChoice::kApplication, {}};
  }
  return {IconChoice::kResource, resource_icon_list_[resource_icon_id_]};
}

void TrayIconState::ShowTrayIcon() {
  host_.TakeIcon(ChooseIcon());
  if (!entry_.AddIcon()) return;
  visible_ = true;
  host_.RunAnimation(interval_ != 0);
}

void TrayIconState::HideTrayIcon() {
  host_.RunAnimation(false);
  entry_.DeleteIcon();
}

void TrayIconState::Refresh() {
  host_.TakeIcon(ChooseIcon());
  if (IconWanted()) entry_.ModifyIcon();
}

void TrayIconState::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (loading_) return;
  if (IconWanted()) {
    ShowTrayIcon();
  } else {
    HideTrayIcon();
  }
}

void TrayIconState::SetMinimized(bool minimized) {
  if (minimized == minimized_) return;
  minimized_ = minimized;
  if (loading_) return;
  if (IconWanted()) {
    Refresh();
  } else {
    HideTrayIcon();
  }
}

void TrayIconState::SetTipHelp(std::string_view tip) {
  tip_help_ = std::string(tip);
  record_tip_ = TrayTipText(tip_help_, extended_record_);
  host_.SetTip(record_tip_);
  if (!loading_) Refresh();
}

void TrayIconState::SetIcon(bool has_handle) {
  has_explicit_icon_ = has_handle;
  if (!loading_) Refresh();
}

int TrayIconState::ClampedIconID(int id) const {
  int count = static_cast<int>(resource_icon_list_.size());
  if (id >= count) return count - 1;
  return id < 0 ? -1 : id;
}

void TrayIconState::SetResourceIconID(int id) {
  if (loading_) {
    resource_icon_id_ = id;  // clamped once the list is loaded too
    return;
  }
  // 0 is taken again so that an animation over a single icon still refreshes.
  if (id == resource_icon_id_ && id != 0) return;
  if (has_explicit_icon_) {
    has_explicit_icon_ = false;
    host_.ReleaseExplicitIcon();
  }
  resource_icon_id_ = ClampedIconID(id);
  if (IconWanted()) Refresh();
}

void TrayIconState::SetResourceIconList(std::vector<std::string> names) {
  resource_icon_list_ = std::move(names);
}

void TrayIconState::SetInterval(unsigned milliseconds) {
  if (milliseconds == interval_) return;
  interval_ = (milliseconds != 0 && milliseconds < kMinAnimationInterval) ? kMinAnimationInterval
                                                                          : milliseconds;
  if (loading_) return;
  host_.RunAnimation(visible_ && interval_ != 0);
}

void TrayIconState::ApplicationMinimized() {
  if (visible_ && minimized_) ShowTrayIcon();
  if (visible_ && hide_on_taskbar_) host_.HideTaskbarEntry();
}

void TrayIconState::ApplicationRestored() {
  if (!minimized_) return;
  HideTrayIcon();
  host_.BringOwnerToFront();
}

void TrayIconState::AnimationStep() {
  int next = resource_icon_id_ + 1;
  if (next >= static_cast<int>(resource_icon_list_.size())) next = 0;
  SetResourceIconID(next);
}

TrayMouseEvent DecodeTrayMouse(intptr_t wparam, intptr_t lparam, bool auto_popup,
                               bool has_left_menu, bool has_right_menu) {
  using A = TrayMouseAction;
  switch (lparam) {
    case kTrayMouseMove:
      return {A::kMouseMove};
    case kTrayLeftDown:
      if (has_left_menu && auto_popup) return {A::kPopupLeftMenu};
      return {A::kMouseDown, TrayButton::kLeft};
    case kTrayLeftUp:
      return {A::kMouseUp, TrayButton::kLeft};
    case kTrayLeftDoubleClick:
      return {A::kDblClick};
    case kTrayRightDown:
      if (has_right_menu && auto_popup) return {A::kPopupRightMenu};
      return {A::kMouseDown, TrayButton::kRight};
    case kTrayRightUp:
      return {A::kMouseUp, TrayButton::kRight};
    case kTrayRightDoubleClick:
      return {A::kRDblClick};
    case kTrayMiddleDown:
      return {A::kMouseDown, TrayButton::kMiddle};
    case kTrayMiddleUp:
      return {A::kMouseUp, TrayButton::kMiddle};
    case kTrayMouseEntered:
      return {A::kMouseEnter};
    case kTrayMouseLeft:
      return {A::kMouseExit};
    case kTraySingleClick:
      if (wparam < 0 || wparam > 2) return {};
      return {A::kMouseClick, static_cast<TrayButton>(wparam)};
    default:
      return {};
  }
}

}  // namespace tol

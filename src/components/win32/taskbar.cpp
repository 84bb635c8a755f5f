#include "components/win32/taskbar.h"

#include <windows.h>

#include "components/shell_version.h"
#include "shared/codepage.h"

namespace tol {

namespace {

// Makes sure the animation thread gets its answer, whatever the step did,
// unless the step destroyed the icon: that stopped and joined the thread.
class AnswerOnExit {
 public:
  AnswerOnExit(PacedWorker& worker, std::weak_ptr<char> icon_alive)
      : worker_(worker), icon_alive_(std::move(icon_alive)) {}
  ~AnswerOnExit() {
    if (!icon_alive_.expired()) worker_.Answer(true);
  }
  AnswerOnExit(const AnswerOnExit&) = delete;
  AnswerOnExit& operator=(const AnswerOnExit&) = delete;

 private:
  PacedWorker& worker_;
  std::weak_ptr<char> icon_alive_;
};

TShiftState ShiftOf(TrayButton button) {
  switch (button) {
    case TrayButton::kLeft:
      return kShiftLeft;
    case TrayButton::kRight:
      return kShiftRight;
    default:
      return kShiftMiddle;
  }
}

}  // namespace

TTrayIcon::TTrayIcon(Application& application, HWND__* owner)
    : application_(application),
      owner_(owner),
      extended_record_(SystemShellVersion() >= kExtendedRecordShellVersion),
      entry_(application, extended_record_,
             [this](unsigned message, intptr_t wparam, intptr_t lparam) {
               HandleMessage(message, wparam, lparam);
             }),
      state_(entry_.tray_entry(), *this, extended_record_) {
  entry_.SetTip(state_.record_tip());
  on_minimize_ = application_.JoinMinimize([this] { state_.ApplicationMinimized(); });
  on_restore_ = application_.JoinRestore([this] { state_.ApplicationRestored(); });
}

TTrayIcon::~TTrayIcon() {
  entry_.DeleteIcon();
  on_minimize_.Reset();
  on_restore_.Reset();
  animation_.reset();  // told to stop and joined, suspended or not
  FreePrivateIcon();
  if (explicit_icon_ != nullptr) DestroyIcon(explicit_icon_);
}

void TTrayIcon::SetIcon(HICON__* icon) {
  if (explicit_icon_ != nullptr) DestroyIcon(explicit_icon_);
  explicit_icon_ = icon != nullptr ? CopyIcon(icon) : nullptr;
  state_.SetIcon(explicit_icon_ != nullptr);
}

void TTrayIcon::SetBalloonHelp(std::string_view title, std::string_view text, int timeout,
                               TBalloonIconType icon, unsigned flags) {
  entry_.SetBalloon(title, text, timeout, icon, flags);
}

bool TTrayIcon::ShowBalloonHelp(std::string_view title, std::string_view text, int timeout,
                                TBalloonIconType icon, unsigned flags) {
  entry_.SetBalloon(title, text, timeout, icon, flags);
  return entry_.ShowBalloon();
}

bool TTrayIcon::ApplicationMinimized() { return application_.minimized(); }

void TTrayIcon::TakeIcon(const IconChoice& choice) {
  HICON icon = nullptr;
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  switch (choice.kind) {
    case IconChoice::kExplicit:
      icon = explicit_icon_;
      break;
    case IconChoice::kApplication:
      icon = LoadIconW(instance, L"MAINICON");
      if (icon == nullptr) icon = LoadIconW(nullptr, IDI_APPLICATION);
      break;
    case IconChoice::kResource:
      if (private_icon_ == nullptr || private_icon_name_ != choice.resource_name) {
        FreePrivateIcon();
        const std::u16string name = Cp932ToUtf16(choice.resource_name);
        const std::wstring wide_name(name.begin(), name.end());
        private_icon_ = static_cast<HICON>(LoadImageW(instance, wide_name.c_str(), IMAGE_ICON,
                                                      GetSystemMetrics(SM_CXSMICON),
                                                      GetSystemMetrics(SM_CYSMICON), 0));
        private_icon_name_ = choice.resource_name;
      }
      icon = private_icon_;  // null when the resource is missing: nothing is shown
      break;
  }
  entry_.SetIconHandle(icon);
}

void TTrayIcon::FreePrivateIcon() {
  if (private_icon_ != nullptr) DestroyIcon(private_icon_);
  private_icon_ = nullptr;
  private_icon_name_.clear();
}

void TTrayIcon::ReleaseExplicitIcon() {
  if (explicit_icon_ != nullptr) DestroyIcon(explicit_icon_);
  explicit_icon_ = nullptr;
}

void TTrayIcon::SetTip(std::string_view tip) { entry_.SetTip(tip); }

void TTrayIcon::RunAnimation(bool run) {
  if (!run) {
    if (animation_) animation_->Suspend();
    return;
  }
  const std::chrono::milliseconds period(state_.interval());
  if (!animation_) {
    animation_ = std::make_unique<TIconAnimation>(entry_.EnsureWindow(), period);
  } else {
    animation_->set_period(period);
  }
  animation_->Resume();
}

void TTrayIcon::HideTaskbarEntry() { application_.HideTaskbarEntry(); }

void TTrayIcon::BringOwnerToFront() {
  if (owner_ != nullptr) SetForegroundWindow(owner_);
}

void TTrayIcon::HandleMessage(unsigned message, intptr_t wparam, intptr_t lparam) {
  if (message == kAnimationStepMessage) {
    if (!animation_ || lparam != reinterpret_cast<intptr_t>(animation_.get())) return;
    AnswerOnExit answer(*animation_, alive_);
    AnimationStep();
    return;
  }
  HandleMouse(wparam, lparam);
}

void TTrayIcon::AnimationStep() {
  if (!state_.visible() || state_.interval() == 0) return;
  if (OnIconAnimation) {
    const TNotifyEvent handler = OnIconAnimation;
    const std::weak_ptr<char> alive = alive_;
    handler(*this);
    if (alive.expired()) return;  // the handler destroyed the icon
    state_.Refresh();
  } else {
    state_.AnimationStep();
  }
}

void TTrayIcon::PopupMenu(std::weak_ptr<TrayPopupMenu> menu, int x, int y) {
  // The menu closes properly only when its owner is the foreground window.
  HWND front = application_.main_window() != nullptr ? application_.main_window() : owner_;
  if (front != nullptr) SetForegroundWindow(front);
  // Pending messages may destroy the menu, or this icon with its references
  // to menus (hence the copy of `menu`).
  const std::weak_ptr<char> alive = alive_;
  application_.ProcessMessages();
  if (alive.expired()) return;
  if (const std::shared_ptr<TrayPopupMenu> shown = menu.lock()) shown->Popup(*this, x, y);
}

void TTrayIcon::HandleMouse(intptr_t wparam, intptr_t lparam) {
  POINT cursor{};
  GetCursorPos(&cursor);
  const int x = cursor.x, y = cursor.y;
  const TrayMouseEvent event =
      DecodeTrayMouse(wparam, lparam, auto_popup_, !left_menu_.expired(), !right_menu_.expired());
  // Handlers are called through copies: one may replace itself or destroy
  // the menu it was given. Each call is the last step here: a handler may
  // destroy the icon.
  auto notify = [this](const TNotifyEvent& handler) {
    if (const TNotifyEvent copy = handler) copy(*this);
  };
  auto mouse = [&](const TMouseEvent& handler, TShiftState shift) {
    if (const TMouseEvent copy = handler) copy(*this, event.button, shift, x, y);
  };
  switch (event.action) {
    case TrayMouseAction::kNone:
      break;
    case TrayMouseAction::kMouseMove:
      if (const TMouseMoveEvent copy = OnMouseMove) copy(*this, kShiftNone, x, y);
      break;
    case TrayMouseAction::kPopupLeftMenu:
      PopupMenu(left_menu_, x, y);
      break;
    case TrayMouseAction::kPopupRightMenu:
      PopupMenu(right_menu_, x, y);
      break;
    case TrayMouseAction::kMouseDown:
      mouse(OnMouseDown, ShiftOf(event.button));
      break;
    case TrayMouseAction::kMouseUp:
      mouse(OnMouseUp, ShiftOf(event.button));
      break;
    case TrayMouseAction::kDblClick:
      notify(OnDblClick);
      break;
    case TrayMouseAction::kRDblClick:
      notify(OnRDblClick);
      break;
    case TrayMouseAction::kMouseEnter:
      notify(OnMouseEnter);
      break;
    case TrayMouseAction::kMouseExit:
      notify(OnMouseExit);
      break;
    case TrayMouseAction::kMouseClick:
      mouse(OnMouseClick, kShiftNone);
      break;
  }
}

}  // namespace tol

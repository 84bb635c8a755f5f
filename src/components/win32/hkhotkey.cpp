#include "components/win32/hkhotkey.h"

#include <windows.h>

#include "components/win32/window_class.h"
#include "shared/errors.h"

namespace tol {

class THookHotKey::ReceiverWindow {
 public:
  static constexpr const wchar_t* kClassName = L"TolHookHotKeyReceiver";

  // Registers the window class once per process.
  static HINSTANCE RegisterClassOnce() {
    static const HINSTANCE instance = [] {
      WNDCLASSEXW window_class{};
      window_class.lpfnWndProc = &Procedure;
      window_class.lpszClassName = kClassName;
      return RegisterWindowClass(window_class,
                                 "The hotkey receiver's window class can't be registered.");
    }();
    return instance;
  }

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* component = WindowObject<THookHotKey>(window, message, lparam);
    if (component != nullptr) {
      if (message == WM_HOTKEY) {
        // The first parameter is the index given at registration; the
        // modifier and key fields are not needed.
        const int index = static_cast<int>(wparam);
        component->application_.RunGuarded([component, index] { component->HotKeyPressed(index); });
        return 0;
      }
      if (message == WM_NCDESTROY) {
        // Destroyed by someone else (or by the destructor): forget it, so the
        // component never touches a stale handle.
        UnbindWindowObject(window);
        component->receiver_ = nullptr;
      }
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }
};

THookHotKey::THookHotKey(Application& application, HWND__* owner)
    : application_(application), owner_(owner) {
  const HINSTANCE instance = ReceiverWindow::RegisterClassOnce();
  // A hidden top-level utility window: a tool window (no taskbar entry) and a
  // popup, never shown.
  receiver_ = CreateWindowExW(WS_EX_TOOLWINDOW, ReceiverWindow::kClassName, L"", WS_POPUP, 0, 0, 0,
                              0, nullptr, nullptr, instance, this);
  if (receiver_ == nullptr) throw EOtherError("The hotkey receiver window can't be created.");
}

THookHotKey::~THookHotKey() {
  if (receiver_ != nullptr) DestroyWindow(receiver_);
}

bool THookHotKey::RegisterShortCut(int index, TShortCut short_cut) {
  const UINT key = short_cut & kShortCutKeyMask;
  // No key (0, or modifiers alone): nothing that could be pressed.
  if (key == 0 || receiver_ == nullptr) return false;
  UINT modifiers = 0;
  if (short_cut & kShortCutAlt) modifiers |= MOD_ALT;
  if (short_cut & kShortCutShift) modifiers |= MOD_SHIFT;
  if (short_cut & kShortCutCtrl) modifiers |= MOD_CONTROL;
  return RegisterHotKey(receiver_, index, modifiers, key) != FALSE;
}

void THookHotKey::HotKeyPressed(int index) {
  if (!on_hot_key_) return;
  if (activate_ && owner_ != nullptr) SetForegroundWindow(owner_);
  // A copy: the handler may destroy this component (closing its owner).
  const THotKeyEvent handler = on_hot_key_;
  handler(*this, index);
}

}  // namespace tol

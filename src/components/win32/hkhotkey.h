#pragma once
// THookHotKey: system-wide key combinations registered with the desktop's
// hotkey service under small indices, reported through one event.
//
// Each component owns a hidden top-level receiver window; every combination
// registered through the component belongs to that window, so indices are
// private to the component while a combination is unique on the desktop.
// Destroying the component destroys the window, which ends all of its
// registrations. Everything runs on the UI thread that created the component.

#include <functional>

#include "components/win32/application.h"
#include "shared/shortcut.h"

struct HWND__;  // HWND, without <windows.h>

namespace tol {

class THookHotKey {
 public:
  // Raised with the component and the index of the pressed combination.
  using THotKeyEvent = std::function<void(THookHotKey& sender, int index)>;

  // `owner` is the window brought to the front when `activate()` is on; it
  // may be null. Creates the receiver window; throws EOtherError when the
  // desktop refuses it. `application` receives the handler's failures and
  // must outlive the component.
  THookHotKey(Application& application, HWND__* owner);
  ~THookHotKey();
  THookHotKey(const THookHotKey&) = delete;
  THookHotKey& operator=(const THookHotKey&) = delete;

  // Registers `short_cut` (key code in bits 0-12, Shift/Ctrl/Alt bits) under
  // `index` for this component. True when the desktop accepted it; false when
  // it refused (the combination is held elsewhere, or invalid) and for a
  // shortcut without a key, which can't be pressed. Nothing is remembered.
  bool RegisterShortCut(int index, TShortCut short_cut);

  // Bring the owner to the foreground before raising OnHotKey (default on).
  bool activate() const { return activate_; }
  void set_activate(bool on) { activate_ = on; }

  // OnHotKey. While it is empty a press does nothing at all, not even the
  // foreground change. Anything it throws goes to the application's failure
  // handler; the component keeps working.
  void set_on_hot_key(THotKeyEvent handler) { on_hot_key_ = std::move(handler); }
  bool has_on_hot_key() const { return static_cast<bool>(on_hot_key_); }

  HWND__* owner() const { return owner_; }
  // The receiver window (null once something destroyed it); tests post
  // WM_HOTKEY to it.
  HWND__* receiver() const { return receiver_; }

 private:
  class ReceiverWindow;  // the window class and its procedure

  void HotKeyPressed(int index);

  Application& application_;
  HWND__* owner_;
  HWND__* receiver_ = nullptr;
  bool activate_ = true;
  THotKeyEvent on_hot_key_;
};

}  // namespace tol

#pragma once
// Window-class and window-object plumbing shared by the components' own
// windows. Internal to the component library (it includes <windows.h>).

#include <windows.h>

#include "shared/errors.h"

namespace tol {

// Whether a class the process has already registered is the one
// `window_class` describes: the same procedure, style, extra bytes, cursor,
// background and icons. A small icon left out of `window_class` is not
// compared (the desktop derives one from the large icon).
inline bool SameWindowClass(const WNDCLASSEXW& window_class) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (!GetClassInfoExW(window_class.hInstance, window_class.lpszClassName, &existing)) {
    return false;
  }
  return existing.lpfnWndProc == window_class.lpfnWndProc && existing.style == window_class.style &&
         existing.cbClsExtra == window_class.cbClsExtra &&
         existing.cbWndExtra == window_class.cbWndExtra &&
         existing.hCursor == window_class.hCursor &&
         existing.hbrBackground == window_class.hbrBackground &&
         existing.hIcon == window_class.hIcon &&
         (window_class.hIconSm == nullptr || existing.hIconSm == window_class.hIconSm);
}

// Registers `window_class` with this executable's instance (cbSize and
// hInstance are filled in). A class the process has already is accepted when
// it is the same class (a second window of the same kind); one registered
// with other attributes would silently give the new window the old ones, so
// that is a failure too. Throws EOtherError with `failure` when the desktop
// refuses.
inline HINSTANCE RegisterWindowClass(WNDCLASSEXW window_class, const char* failure) {
  window_class.cbSize = sizeof(window_class);
  window_class.hInstance = GetModuleHandleW(nullptr);
  if (RegisterClassExW(&window_class) == 0 &&
      (GetLastError() != ERROR_CLASS_ALREADY_EXISTS || !SameWindowClass(window_class))) {
    throw EOtherError(failure);
  }
  return window_class.hInstance;
}

// The object a window was created for (the creation parameter, bound at
// WM_NCCREATE), or null before that and after Unbind.
template <typename T>
T* WindowObject(HWND window, UINT message, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  return reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// The window no longer leads to its object (it is being destroyed).
inline void UnbindWindowObject(HWND window) { SetWindowLongPtrW(window, GWLP_USERDATA, 0); }

}  // namespace tol

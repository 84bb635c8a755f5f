#pragma once
// Window-class and window-object plumbing shared by the components' own
// windows. Internal to the component library (it includes <windows.h>).

#include <windows.h>

#include "shared/errors.h"

namespace tol {

// Registers `window_class` with this executable's instance (cbSize and
// hInstance are filled in); a class the process has already is accepted.
// Throws EOtherError with `failure` when the desktop refuses.
inline HINSTANCE RegisterWindowClass(WNDCLASSEXW window_class, const char* failure) {
  window_class.cbSize = sizeof(window_class);
  window_class.hInstance = GetModuleHandleW(nullptr);
  if (RegisterClassExW(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
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

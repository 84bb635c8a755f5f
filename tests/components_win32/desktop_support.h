#pragma once
// Message pumping and stand-in windows for the tests of the Windows
// components, which run under Wine inside Xvfb.

#include <windows.h>

#include <chrono>
#include <functional>

namespace tol {

// Processes this thread's messages until `done` holds or `bound` passes (a
// bound for a broken build, not a timing condition).
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds bound = std::chrono::seconds(2)) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (!done()) Sleep(1);
  }
  return true;
}

// Processes every message already waiting for this thread.
inline void PumpPending() {
  MSG message;
  for (int i = 0; i < 10000 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// A top-level window standing in for an owner. Left hidden: Wine makes hidden
// windows the foreground window just the same, and destroying a shown one
// waits two seconds for a window manager that Xvfb doesn't have.
struct TestWindow {
  explicit TestWindow(const wchar_t* title, DWORD style = WS_OVERLAPPEDWINDOW)
      : handle(CreateWindowExW(0, L"STATIC", title, style, 10, 10, 200, 100, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr)) {}
  ~TestWindow() { DestroyWindow(handle); }
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;
  HWND handle;
};

}  // namespace tol

#include "components/win32/dpi_layout.h"

#include <windows.h>

namespace tol {
namespace {

// Functions of newer systems, looked up at run time so that the programs
// still start where they are missing (Windows 7 and 8 have neither).
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

template <typename F>
F User32Function(const char* name) {
  const HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) return nullptr;
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

unsigned SystemDpi() {
  const HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<unsigned>(dpi) : kDesignDpi;
}

}  // namespace

int ScaleToDpi(int pixels, unsigned dpi) {
  return MulDiv(pixels, static_cast<int>(dpi), static_cast<int>(kDesignDpi));
}

unsigned WindowDpi(HWND window) {
  static const auto get_dpi_for_window = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
  if (get_dpi_for_window != nullptr && window != nullptr) {
    const UINT dpi = get_dpi_for_window(window);
    if (dpi != 0) return dpi;
  }
  return SystemDpi();
}

PixelSize OuterSizeForClient(HWND window, PixelSize client, unsigned dpi) {
  static const auto adjust_for_dpi =
      User32Function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
  RECT rect{0, 0, ScaleToDpi(client.width, dpi), ScaleToDpi(client.height, dpi)};
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
  const auto ex_style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
  const BOOL menu = (style & WS_CHILD) == 0 && GetMenu(window) != nullptr;
  if (adjust_for_dpi == nullptr || !adjust_for_dpi(&rect, style, menu, ex_style, dpi)) {
    AdjustWindowRectEx(&rect, style, menu, ex_style);
  }
  return {rect.right - rect.left, rect.bottom - rect.top};
}

void PlaceControls(HWND parent, std::span<const ControlPlace> places, unsigned dpi) {
  HDWP batch = BeginDeferWindowPos(static_cast<int>(places.size()));
  for (const ControlPlace& place : places) {
    const HWND control = GetDlgItem(parent, place.id);
    if (control == nullptr) continue;
    const int left = ScaleToDpi(place.left, dpi);
    const int top = ScaleToDpi(place.top, dpi);
    // Right and bottom edges scaled as such, so that neighbours that touch
    // at 96 DPI still touch after rounding.
    const int width = ScaleToDpi(place.left + place.width, dpi) - left;
    const int height = ScaleToDpi(place.top + place.height, dpi) - top;
    constexpr UINT kFlags = SWP_NOZORDER | SWP_NOACTIVATE;
    if (batch != nullptr)
      batch = DeferWindowPos(batch, control, nullptr, left, top, width, height, kFlags);
    // A batch the system couldn't extend is gone: place the rest one by one.
    if (batch == nullptr) SetWindowPos(control, nullptr, left, top, width, height, kFlags);
  }
  if (batch != nullptr) EndDeferWindowPos(batch);
}

void ApplyLayout(HWND window, PixelSize client, std::span<const ControlPlace> places,
                 unsigned dpi) {
  const PixelSize outer = OuterSizeForClient(window, client, dpi);
  SetWindowPos(window, nullptr, 0, 0, outer.width, outer.height,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  PlaceControls(window, places, dpi);
}

void ApplyDpiChange(HWND window, std::uintptr_t wparam, std::intptr_t lparam,
                    std::span<const ControlPlace> places) {
  const auto* suggested = reinterpret_cast<const RECT*>(lparam);
  if (suggested != nullptr) {
    SetWindowPos(window, nullptr, suggested->left, suggested->top,
                 suggested->right - suggested->left, suggested->bottom - suggested->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  PlaceControls(window, places, LOWORD(wparam));
}

}  // namespace tol

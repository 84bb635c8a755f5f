#include "monitor/win32/state_icon.h"

#include <windows.h>

#include <algorithm>

#include "components/win32/colors.h"
#include "components/win32/dpi_layout.h"

namespace tol {

int StateIconSize(unsigned dpi) {
  // GetSystemMetricsForDpi came with Windows 10 1607; before it the system
  // DPI's SM_CXSMICON is all there is, and 16 pixels scaled stands in.
  using ForDpi = int(WINAPI*)(int, UINT);
  static const auto for_dpi = reinterpret_cast<ForDpi>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi")));
  if (for_dpi != nullptr) {
    const int size = for_dpi(SM_CXSMICON, dpi);
    if (size > 0) return size;
  }
  return ScaleToDpi(16, dpi);
}

HICON__* CreateStateIcon(ServerState state, const ColorSettings& colors, int size) {
  if (size <= 0) return nullptr;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP color = CreateCompatibleBitmap(screen, size, size);
  ReleaseDC(nullptr, screen);
  // An all-zero mask: every pixel of the colour bitmap is opaque.
  HBITMAP mask = CreateBitmap(size, size, 1, 1, nullptr);
  HICON icon = nullptr;
  if (dc && color && mask) {
    HGDIOBJ old_bitmap = SelectObject(dc, mask);
    PatBlt(dc, 0, 0, size, size, BLACKNESS);
    SelectObject(dc, color);
    const COLORREF edge = RGB(0x40, 0x40, 0x40);
    const int line = std::max(1, size / 16);
    RECT all{0, 0, size, size};
    HBRUSH edge_brush = CreateSolidBrush(edge);
    FillRect(dc, &all, edge_brush);
    DeleteObject(edge_brush);
    RECT inner{line, line, size - line, size - line};
    HBRUSH fill = CreateSolidBrush(ColorToRGB(static_cast<uint32_t>(StateColor(state, colors))));
    FillRect(dc, &inner, fill);
    DeleteObject(fill);
    if (state == ServerState::kUnreachable) {
      // The cross tells the grey of an unreachable service from any panel
      // colour a settings file may choose, also to a colour-blind eye.
      HPEN pen = CreatePen(PS_SOLID, std::max(2, size / 8), edge);
      HGDIOBJ old_pen = SelectObject(dc, pen);
      const int a = size / 4, b = size - 1 - size / 4;
      MoveToEx(dc, a, a, nullptr);
      LineTo(dc, b, b);
      MoveToEx(dc, b, a, nullptr);
      LineTo(dc, a, b);
      SelectObject(dc, old_pen);
      DeleteObject(pen);
    }
    SelectObject(dc, old_bitmap);
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmMask = mask;
    info.hbmColor = color;
    icon = CreateIconIndirect(&info);  // copies both bitmaps
  }
  if (mask) DeleteObject(mask);
  if (color) DeleteObject(color);
  if (dc) DeleteDC(dc);
  return icon;
}

}  // namespace tol

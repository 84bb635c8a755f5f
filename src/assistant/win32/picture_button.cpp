#include "assistant/win32/picture_button.h"

#include <windows.h>
// After <windows.h>, which they need.
#include <uxtheme.h>
#include <vsstyle.h>

#include "components/win32/dpi_layout.h"

namespace tol {
namespace {

constexpr int kDesignPixels = 16;

// The folder-tree picture, one character per pixel: O the folders'
// outline, F their face, L the branches, "." transparent.
constexpr const char* kFolderTree[kDesignPixels] = {
    "OOOO............",  //
    "OFFFOOOOO.......",  //
    "OFFFFFFFO.......",  //
    "OFFFFFFFO.......",  //
    "OOOOOOOOO.......",  //
    "..L.............",  //
    "..L.....OOO.....",  //
    "..L.....OFFOOOO.",  //
    "..LLLLLLOFFFFFO.",  //
    "..L.....OOOOOOO.",  //
    "..L.............",  //
    "..L.....OOO.....",  //
    "..L.....OFFOOOO.",  //
    "..LLLLLLOFFFFFO.",  //
    "........OOOOOOO.",  //
    "................",  //
};

struct Palette {
  COLORREF outline;
  COLORREF face;
  COLORREF branch;
};
constexpr Palette kNormal{RGB(0x80, 0x60, 0x00), RGB(0xF8, 0xD8, 0x68), RGB(0x40, 0x40, 0x40)};
// The disabled form: flat greys, light enough to read as unavailable on the
// button face of both the classic and the themed desktop.
constexpr Palette kGreyed{RGB(0xA0, 0xA0, 0xA0), RGB(0xE0, 0xE0, 0xE0), RGB(0xB0, 0xB0, 0xB0)};

COLORREF ColorOf(char pixel, const Palette& palette) {
  switch (pixel) {
    case 'O':
      return palette.outline;
    case 'F':
      return palette.face;
    default:
      return palette.branch;
  }
}

}  // namespace

void DrawFolderTreePicture(HDC dc, int left, int top, int size, bool greyed) {
  const Palette& palette = greyed ? kGreyed : kNormal;
  for (int row = 0; row < kDesignPixels; ++row) {
    const int y0 = top + MulDiv(row, size, kDesignPixels);
    const int y1 = top + MulDiv(row + 1, size, kDesignPixels);
    for (int column = 0; column < kDesignPixels;) {
      const char pixel = kFolderTree[row][column];
      // One rectangle per run of equal pixels.
      int end = column + 1;
      while (end < kDesignPixels && kFolderTree[row][end] == pixel) ++end;
      if (pixel != '.') {
        const RECT run{left + MulDiv(column, size, kDesignPixels), y0,
                       left + MulDiv(end, size, kDesignPixels), y1};
        SetBkColor(dc, ColorOf(pixel, palette));
        // A solid rectangle without creating a brush.
        ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &run, nullptr, 0, nullptr);
      }
      column = end;
    }
  }
}

void DrawPictureButton(const DRAWITEMSTRUCT& item, unsigned dpi) {
  const HDC dc = item.hDC;
  RECT face = item.rcItem;
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  const bool focused = (item.itemState & ODS_FOCUS) != 0;

  const int saved = SaveDC(dc);
  // Null without visual styles (classic desktop, or themes switched off).
  if (const HTHEME theme = IsAppThemed() ? OpenThemeData(item.hwndItem, L"BUTTON") : nullptr) {
    const int state = disabled  ? PBS_DISABLED
                      : pressed ? PBS_PRESSED
                      : focused ? PBS_DEFAULTED
                                : PBS_NORMAL;
    if (IsThemeBackgroundPartiallyTransparent(theme, BP_PUSHBUTTON, state)) {
      DrawThemeParentBackground(item.hwndItem, dc, &face);
    }
    DrawThemeBackground(theme, dc, BP_PUSHBUTTON, state, &face, nullptr);
    CloseThemeData(theme);
  } else {
    DrawFrameControl(dc, &face, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
  }

  const int size = ScaleToDpi(kDesignPixels, dpi);
  // A pressed classic button shows its picture one pixel down and right.
  const int shift = pressed ? 1 : 0;
  const int left = face.left + (face.right - face.left - size) / 2 + shift;
  const int top = face.top + (face.bottom - face.top - size) / 2 + shift;
  DrawFolderTreePicture(dc, left, top, size, disabled);

  if (focused && (item.itemState & ODS_NOFOCUSRECT) == 0) {
    RECT focus = face;
    const int inset = ScaleToDpi(3, dpi);
    InflateRect(&focus, -inset, -inset);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    DrawFocusRect(dc, &focus);
  }
  RestoreDC(dc, saved);
}

}  // namespace tol

#pragma once
// Control places as data, scaled to the window's DPI: how the programs'
// windows size themselves and lay out their child windows.
//
// A layout is a table of child windows (control id, left, top, width, height)
// and a client size, all in pixels at 96 DPI, the unit the windows were
// designed in. At any other DPI every value is scaled by dpi / 96 (MulDiv,
// rounded to the nearest pixel).
//
// The programs are per-monitor DPI aware (their manifest says so, version 2
// where the system has it): a window takes the DPI of the monitor it is on
// and gets WM_DPICHANGED when it moves to a monitor of another DPI, where it
// takes the size the system suggests and lays its children out again. On a
// system without per-monitor DPI (Windows 7, 8) the DPI is the system's.
//
// Everything here runs on the thread that owns the windows.

#include <cstdint>
#include <span>

struct HWND__;  // HWND, without <windows.h>

namespace tol {

inline constexpr unsigned kDesignDpi = 96;

// One child window of a layout: its control id and its place in the parent's
// client area, in pixels at 96 DPI.
struct ControlPlace {
  int id;
  int left;
  int top;
  int width;
  int height;
};

struct PixelSize {
  int width = 0;
  int height = 0;
};

// `pixels` at 96 DPI scaled to `dpi`, rounded to the nearest pixel.
int ScaleToDpi(int pixels, unsigned dpi);

// The DPI `window` is shown at: the monitor's with per-monitor awareness
// (GetDpiForWindow, Windows 10 1607 on), else the system's.
unsigned WindowDpi(HWND__* window);

// The outer size that gives `window` (with its current styles and menu) a
// client area of `client` (96-DPI pixels) at `dpi`. The frame is the one the
// system draws at that DPI (AdjustWindowRectExForDpi) where the system can
// tell, else the frame of the system DPI (AdjustWindowRectEx).
PixelSize OuterSizeForClient(HWND__* window, PixelSize client, unsigned dpi);

// Places each child of `parent` named in `places` at its place scaled to
// `dpi`, all in one batch (one repaint). An id that names no child is
// skipped.
void PlaceControls(HWND__* parent, std::span<const ControlPlace> places, unsigned dpi);

// Sizes `window` for a client area of `client` at `dpi`, keeping its top-left
// corner, and places its children. For the window's creation.
void ApplyLayout(HWND__* window, PixelSize client, std::span<const ControlPlace> places,
                 unsigned dpi);

// WM_DPICHANGED: moves and sizes `window` to the rectangle the system suggests
// (the message's second parameter) and places its children at the new DPI
// (the message's first parameter, low word). Fonts are the caller's part.
void ApplyDpiChange(HWND__* window, std::uintptr_t wparam, std::intptr_t lparam,
                    std::span<const ControlPlace> places);

}  // namespace tol

#pragma once
// The square picture buttons of the assistant's window (BitBtn1, BitBtn2):
// owner-drawn push buttons that show the folder-tree picture, a folder with
// two branches leading to smaller folders, 16 x 16 pixels at 96 DPI, and a
// greyed form of it while the button is disabled.

struct tagDRAWITEMSTRUCT;  // DRAWITEMSTRUCT, without <windows.h>
struct HDC__;              // HDC

namespace tol {

// Draws the folder-tree picture with its top-left corner at (left, top),
// `size` pixels square: each pixel of the 16 x 16 design becomes a block
// of size / 16 (blocks at fractional sizes alternate in width, so that
// lines stay unbroken). `greyed` draws the disabled form.
void DrawFolderTreePicture(HDC__* dc, int left, int top, int size, bool greyed);

// WM_DRAWITEM of a picture button: the push button face (themed when the
// desktop has visual styles, classic otherwise), pressed and focused states,
// and the picture centred on it at `dpi`.
void DrawPictureButton(const tagDRAWITEMSTRUCT& item, unsigned dpi);

}  // namespace tol

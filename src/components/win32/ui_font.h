#pragma once
// The programs' user-interface font: "ＭＳ Ｐゴシック", character height 12
// pixels at 96 DPI (9 points), Shift-JIS character set.
//
// A Windows without that font (one whose language isn't Japanese, where it is
// an optional feature) gets the closest Japanese UI font it has, so that the
// programs' Japanese texts never show as empty boxes: another face of the
// same design, then the Japanese faces of later Windows versions, then any
// installed font with Shift-JIS characters, and only when there is none the
// system's own message font (whose font linking may still find the glyphs).

#include <span>
#include <string>
#include <string_view>

struct HFONT__;  // HFONT, without <windows.h>

namespace tol {

// Character height at 96 DPI, in pixels.
inline constexpr int kUiFontPixels = 12;

// Face names in the order of preference, the design's face first. Each face
// is listed under its Japanese and its English name: a system may know it by
// either, depending on its language.
std::span<const std::wstring_view> JapaneseUiFaces();

// The first face of `preferred` that is installed with Shift-JIS characters;
// else the first installed font with Shift-JIS characters (horizontal,
// proportional ones before fixed-pitch ones); else empty.
std::wstring ChooseJapaneseFace(std::span<const std::wstring_view> preferred);

// The UI font at one DPI. Owns its font handle; make a new one when the
// window's DPI changes.
class UiFont {
 public:
  // The face is chosen once per process (JapaneseUiFaces()), the size scaled
  // by dpi / 96.
  explicit UiFont(unsigned dpi);
  ~UiFont();
  UiFont(const UiFont&) = delete;
  UiFont& operator=(const UiFont&) = delete;

  HFONT__* handle() const { return font_; }
  // The face in use; empty when the system's message font stands in.
  const std::wstring& face() const;

 private:
  HFONT__* font_ = nullptr;
};

}  // namespace tol

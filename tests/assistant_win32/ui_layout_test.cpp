// The window helpers that both programs share: the DPI-scaled control
// layout and the Japanese UI font.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "assistant_win32/window_driver.h"
#include "components/win32/dpi_layout.h"
#include "components/win32/ui_font.h"

namespace tol {
namespace {

TEST(DpiLayoutTest, PlacesScaleWithTheDpiAndNeighboursStillTouch) {
  const HWND parent = CreateWindowExW(0, L"STATIC", L"parent", WS_POPUP, 0, 0, 800, 600, nullptr,
                                      nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(parent, nullptr);
  for (const int id : {1, 2, 3}) {
    CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 1, 1, parent,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                    nullptr);
  }
  // Two 25-pixel buttons side by side and one control farther off.
  const ControlPlace places[] = {{1, 536, 24, 25, 25},
                                 {2, 561, 24, 25, 25},
                                 {3, 8, 8, 185, 161},
                                 {99, 0, 0, 10, 10}};  // no such control: skipped
  struct Case {
    unsigned dpi;
    std::vector<RECT> expected;
  } cases[] = {
      {96, {{536, 24, 561, 49}, {561, 24, 586, 49}, {8, 8, 193, 169}}},
      // 125 %: 561 * 1.25 = 701.25, so the first ends and the second starts
      // at 701 although 25 * 1.25 alone would round to 31 for both.
      {120, {{670, 30, 701, 61}, {701, 30, 733, 61}, {10, 10, 241, 211}}},
      {144, {{804, 36, 842, 74}, {842, 36, 879, 74}, {12, 12, 290, 254}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dpi);
    PlaceControls(parent, places, c.dpi);
    for (int id = 1; id <= 3; ++id) {
      RECT place{};
      GetWindowRect(GetDlgItem(parent, id), &place);
      MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&place), 2);
      const RECT& expected = c.expected[id - 1];
      EXPECT_EQ(place.left, expected.left) << id;
      EXPECT_EQ(place.top, expected.top) << id;
      EXPECT_EQ(place.right, expected.right) << id;
      EXPECT_EQ(place.bottom, expected.bottom) << id;
    }
  }
  DestroyWindow(parent);
}

// True when `font` has a glyph for every character of `text`.
bool DrawsAll(HFONT font, const std::wstring& text) {
  const HDC dc = GetDC(nullptr);
  const HGDIOBJ old = SelectObject(dc, font);
  std::vector<WORD> glyphs(text.size());
  const DWORD mapped = GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()),
                                        glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  if (mapped != text.size()) return false;
  for (const WORD glyph : glyphs) {
    if (glyph == 0xFFFF) return false;
  }
  return true;
}

TEST(UiFontTest, TheDesignedFaceOrTheClosestJapaneseOne) {
  const std::wstring_view designed_missing[] = {L"No Such Face", L"ＭＳ Ｐゴシック"};
  EXPECT_EQ(ChooseJapaneseFace(designed_missing), L"ＭＳ Ｐゴシック");
  // With none of the preferred faces, any installed Shift-JIS face will do.
  const std::wstring_view none_there[] = {L"No Such Face", L"Nor This One"};
  const std::wstring fallback = ChooseJapaneseFace(none_there);
  EXPECT_FALSE(fallback.empty());
  EXPECT_NE(fallback.front(), L'@') << "a vertical-writing face";

  // The test desktop maps the design's face to an installed Japanese font.
  EXPECT_EQ(UiFont(96).face(), L"ＭＳ Ｐゴシック");
  const std::wstring texts = L"ファイル出力先フォルダ出力ファイル名取得終了更新完了";
  for (const unsigned dpi : {96u, 144u}) {
    SCOPED_TRACE(dpi);
    const UiFont font(dpi);
    EXPECT_TRUE(DrawsAll(font.handle(), texts));
    EXPECT_EQ(testing::MetricsOf(font.handle()).tmCharSet, SHIFTJIS_CHARSET);
    // The character height: 12 pixels at 96 DPI, scaled.
    LOGFONTW asked{};
    GetObjectW(font.handle(), sizeof(asked), &asked);
    EXPECT_EQ(asked.lfHeight, -ScaleToDpi(12, dpi));
  }
  const TEXTMETRICW designed = testing::MetricsOf(UiFont(96).handle());
  EXPECT_EQ(designed.tmHeight - designed.tmInternalLeading, 12);
}

}  // namespace
}  // namespace tol

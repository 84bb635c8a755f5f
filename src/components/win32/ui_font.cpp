#include "components/win32/ui_font.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "components/win32/dpi_layout.h"

namespace tol {
namespace {

constexpr std::wstring_view kJapaneseUiFaces[] = {
    // The design's face, then its sibling made for user interfaces.
    L"ＭＳ Ｐゴシック", L"MS PGothic", L"MS UI Gothic",
    // The UI faces of Windows Vista and of Windows 8.1 on.
    L"Meiryo UI", L"メイリオ", L"Meiryo", L"Yu Gothic UI", L"游ゴシック", L"Yu Gothic",
    // The fixed-pitch face of the design's family.
    L"ＭＳ ゴシック", L"MS Gothic"};

// A face name as a LOGFONTW holds it; none longer than LF_FACESIZE - 1.
bool FillFace(LOGFONTW& font, std::wstring_view face) {
  if (face.size() >= LF_FACESIZE) return false;
  std::fill(std::begin(font.lfFaceName), std::end(font.lfFaceName), L'\0');
  std::copy(face.begin(), face.end(), font.lfFaceName);
  return true;
}

int CALLBACK NoteFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;  // one is enough
}

bool InstalledWithShiftJis(HDC dc, std::wstring_view face) {
  LOGFONTW query{};
  query.lfCharSet = SHIFTJIS_CHARSET;
  if (!FillFace(query, face)) return false;
  bool found = false;
  EnumFontFamiliesExW(dc, &query, &NoteFound, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

struct Candidate {
  std::wstring face;
  bool proportional;
};

int CALLBACK Collect(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM list) {
  // "@" faces are the vertical-writing variants: their glyphs lie on their side.
  if (font->lfFaceName[0] == L'@') return 1;
  try {
    reinterpret_cast<std::vector<Candidate>*>(list)->push_back(
        {font->lfFaceName, (font->lfPitchAndFamily & 0x3) == VARIABLE_PITCH});
  } catch (...) {
    return 0;  // nothing may be thrown through the enumeration
  }
  return 1;
}

std::wstring AnyShiftJisFace(HDC dc) {
  LOGFONTW query{};
  query.lfCharSet = SHIFTJIS_CHARSET;
  std::vector<Candidate> found;
  EnumFontFamiliesExW(dc, &query, &Collect, reinterpret_cast<LPARAM>(&found), 0);
  const auto proportional =
      std::find_if(found.begin(), found.end(), [](const Candidate& c) { return c.proportional; });
  if (proportional != found.end()) return proportional->face;
  return found.empty() ? std::wstring() : found.front().face;
}

const std::wstring& ProcessUiFace() {
  static const std::wstring face = ChooseJapaneseFace(JapaneseUiFaces());
  return face;
}

}  // namespace

std::span<const std::wstring_view> JapaneseUiFaces() { return kJapaneseUiFaces; }

std::wstring ChooseJapaneseFace(std::span<const std::wstring_view> preferred) {
  const HDC dc = GetDC(nullptr);
  if (dc == nullptr) return {};
  std::wstring chosen;
  for (const std::wstring_view face : preferred) {
    if (InstalledWithShiftJis(dc, face)) {
      chosen = face;
      break;
    }
  }
  if (chosen.empty()) chosen = AnyShiftJisFace(dc);
  ReleaseDC(nullptr, dc);
  return chosen;
}

UiFont::UiFont(unsigned dpi) {
  LOGFONTW font{};
  const std::wstring& face = ProcessUiFace();
  if (face.empty() || !FillFace(font, face)) {
    // No Japanese font at all: the system's message font, whose font
    // linking is the last chance for the Japanese glyphs.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
      font = metrics.lfMessageFont;
    }
  } else {
    font.lfCharSet = SHIFTJIS_CHARSET;
  }
  // Negative: the character height, without the internal leading.
  font.lfHeight = -ScaleToDpi(kUiFontPixels, dpi);
  font.lfWidth = 0;
  font.lfWeight = FW_NORMAL;
  font.lfQuality = DEFAULT_QUALITY;
  font_ = CreateFontIndirectW(&font);
  if (font_ == nullptr) font_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

UiFont::~UiFont() {
  // Deleting the stock font that may stand in is harmless.
  DeleteObject(font_);
}

const std::wstring& UiFont::face() const { return ProcessUiFace(); }

}  // namespace tol

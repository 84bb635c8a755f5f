#include "monitor/win32/settings_dialog.h"

#include <windows.h>
// After <windows.h>, which they need.
#include <commctrl.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "kovun_version.h"
#include "components/win32/dpi_layout.h"
#include "components/win32/ui_font.h"
#include "components/win32/window_class.h"
#include "monitor/settings.h"
#include "monitor/texts.h"
#include "shared/codepage.h"
#include "shared/errors.h"

namespace tol {
namespace {

std::wstring ToWide(std::string_view cp932) {
  const std::u16string wide = Cp932ToUtf16(cp932);
  return std::wstring(wide.begin(), wide.end());
}

// The design, in pixels at 96 DPI.
constexpr PixelSize kClientSize{473, 301};
constexpr int kPageControlId = 100;
constexpr std::array<ControlPlace, 3> kDialogPlaces = {{
    {kPageControlId, 8, 8, 457, 257},
    {IDOK, 312, 272, 75, 25},
    {IDCANCEL, 392, 272, 75, 25},
}};

// The version page's texts, at their places on the page; each label is as
// large as its text.
struct PageText {
  int id;
  int left;
  int top;
};
constexpr int kTitleId = 200;
constexpr int kRevisionId = 201;
constexpr int kCreditsId = 202;
constexpr int kServiceId = 203;
constexpr std::array<PageText, 4> kPageTexts = {{
    {kTitleId, 72, 24},
    {kRevisionId, 224, 48},
    {kCreditsId, 72, 88},
    {kServiceId, 72, 136},
}};
constexpr POINT kHomePageLinkAt{96, 112};
constexpr POINT kStatusSiteLinkAt{96, 160};

constexpr std::string_view kRevisionText = "Rev. " KOVUN_VERSION_TEXT " ( 2005/02/07 )";
static_assert(kRevisionText.substr(5).starts_with(kVersion));

// Link colours: blue, and purple while pressed.
constexpr int32_t kLinkColor = 0x00FF0000;
constexpr int32_t kLinkPushedColor = 0x00800080;

HWND CreateChild(const wchar_t* window_class, std::wstring_view text, DWORD style, HWND parent,
                 int id) {
  const HWND child =
      CreateWindowExW(0, window_class, std::wstring(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0,
                      0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                      GetModuleHandleW(nullptr), nullptr);
  if (child == nullptr) throw EOtherError("The settings dialog's controls can't be created.");
  return child;
}

// The size of `window`'s text in `font`, on one line.
SIZE TextExtent(HWND window, HFONT font) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
  RECT bounds{0, 0, 0, 0};
  if (const HDC dc = GetDC(window); dc != nullptr) {
    const HGDIOBJ old_font = SelectObject(dc, font);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &bounds,
              DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old_font);
    ReleaseDC(window, dc);
  }
  return {bounds.right - bounds.left, bounds.bottom - bounds.top};
}

// The work area of the monitor `window` is on (its restored place when it is
// minimised), or of the primary monitor.
RECT WorkAreaOf(HWND window) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
    return monitor.rcWork;
  }
  RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  return work;
}

}  // namespace

struct TForm2::Resources {
  ~Resources() {
    if (page_brush != nullptr) DeleteObject(page_brush);
  }

  HBRUSH PageBrush() const {
    return page_brush != nullptr ? page_brush : GetSysColorBrush(COLOR_BTNFACE);
  }

  std::unique_ptr<UiFont> font;
  // The version page's background: the themed page control's body as a
  // pattern, or null for the plain button face.
  HBRUSH page_brush = nullptr;
  HWND last_focus = nullptr;  // restored when the dialog is activated again
};

class TForm2::Windows {
 public:
  static constexpr const wchar_t* kDialogClass = L"TForm2";
  static constexpr const wchar_t* kPageClass = L"TolKovunVersionPage";

  static HINSTANCE RegisterClassesOnce() {
    static const HINSTANCE instance = [] {
      INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
      InitCommonControlsEx(&controls);
      WNDCLASSEXW dialog{};
      dialog.lpfnWndProc = &DialogProcedure;
      dialog.hCursor = LoadCursorW(nullptr, IDC_ARROW);
      dialog.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
      dialog.lpszClassName = kDialogClass;
      RegisterWindowClass(dialog, "The settings dialog's window class can't be registered.");
      WNDCLASSEXW page{};
      page.lpfnWndProc = &PageProcedure;
      page.hCursor = LoadCursorW(nullptr, IDC_ARROW);
      page.lpszClassName = kPageClass;
      return RegisterWindowClass(page, "The settings dialog's window class can't be registered.");
    }();
    return instance;
  }

  static LRESULT CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* form = WindowObject<TForm2>(window, message, lparam);
    if (form == nullptr) return DefWindowProcW(window, message, wparam, lparam);
    switch (message) {
      case WM_COMMAND:
        // The buttons, and Enter and Esc through the dialog manager.
        if (LOWORD(wparam) == IDOK) form->Close(ModalResult::kOk);
        if (LOWORD(wparam) == IDCANCEL) form->Close(ModalResult::kCancel);
        return 0;
      case WM_CLOSE:
        // The frame's close box and Alt+F4: Cancel. The dialog lives on.
        form->Close(ModalResult::kCancel);
        return 0;
      case WM_ACTIVATE:
        // Focus goes back where it was when the user switches back.
        if (LOWORD(wparam) == WA_INACTIVE) {
          const HWND focus = GetFocus();
          if (focus != nullptr && IsChild(window, focus)) form->resources_->last_focus = focus;
        } else {
          const HWND last = form->resources_->last_focus;
          SetFocus(last != nullptr && IsWindow(last) ? last : GetDlgItem(window, IDOK));
        }
        return 0;
      case WM_DPICHANGED:
        // Moved to a monitor of another DPI: keep the place the system
        // suggests and lay everything out again at the new DPI.
        form->application_.RunGuarded([&] {
          const auto* suggested = reinterpret_cast<const RECT*>(lparam);
          SetWindowPos(window, nullptr, suggested->left, suggested->top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
          form->Relayout(LOWORD(wparam));
        });
        return 0;
      case WM_SYSCOLORCHANGE:
        if (form->page_control_ != nullptr) SendMessageW(form->page_control_, message, 0, 0);
        [[fallthrough]];
      case WM_THEMECHANGED:
        form->application_.RunGuarded([form] { form->RebuildPageBrush(); });
        break;
      case WM_NCDESTROY:
        // Destroyed from outside (with its owner, say): forget the handles,
        // and a modal run ends as Cancel.
        UnbindWindowObject(window);
        form->window_ = nullptr;
        form->page_control_ = nullptr;
        form->version_page_ = nullptr;
        if (form->showing_ && form->result_ == ModalResult::kNone) {
          form->result_ = ModalResult::kCancel;
        }
        break;
      default:
        break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }

  static LRESULT CALLBACK PageProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* form = WindowObject<TForm2>(window, message, lparam);
    if (form == nullptr) return DefWindowProcW(window, message, wparam, lparam);
    switch (message) {
      case WM_ERASEBKGND: {
        RECT client;
        GetClientRect(window, &client);
        FillRect(reinterpret_cast<HDC>(wparam), &client, form->resources_->PageBrush());
        return 1;
      }
      case WM_CTLCOLORSTATIC: {
        // The labels (the link labels too) draw on the page's own
        // background; a pattern lines up with the page's.
        const auto dc = reinterpret_cast<HDC>(wparam);
        POINT origin{0, 0};
        MapWindowPoints(reinterpret_cast<HWND>(lparam), window, &origin, 1);
        SetBrushOrgEx(dc, -origin.x, -origin.y, nullptr);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(form->resources_->PageBrush());
      }
      case WM_NCDESTROY:
        UnbindWindowObject(window);
        break;
      default:
        break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }
};

TForm2::TForm2(Application& application, HWND__* owner)
    : application_(application), owner_(owner), resources_(std::make_unique<Resources>()) {
  const HINSTANCE instance = Windows::RegisterClassesOnce();
  const std::wstring caption = ToWide(kSettingsCaptionText.bytes());
  // A dialog frame: fixed size, a close box, no minimise or maximise box.
  window_ = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, Windows::kDialogClass,
                            caption.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
                            CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, owner, nullptr, instance, this);
  if (window_ == nullptr) throw EOtherError("The settings dialog can't be created.");
  try {
    CreateControls();
    Relayout(WindowDpi(owner != nullptr ? owner : window_));
  } catch (...) {
    // No destructor runs for an object that failed to construct.
    status_site_link_.reset();
    home_page_link_.reset();
    DestroyWindow(window_);
    throw;
  }
}

TForm2::~TForm2() {
  // The labels first: their windows are children of the dialog.
  status_site_link_.reset();
  home_page_link_.reset();
  if (window_ != nullptr) DestroyWindow(window_);
}

void TForm2::SelectPage(int /*index*/) {
  // The version page is the only page, so every index selects it.
}

void TForm2::CreateControls() {
  page_control_ = CreateChild(WC_TABCONTROLW, L"", WS_TABSTOP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                              window_, kPageControlId);
  std::wstring tab = ToWide(kVersionPageText.bytes());
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = tab.data();
  SendMessageW(page_control_, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  CreateChild(L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, window_, IDOK);
  CreateChild(L"BUTTON", L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, window_, IDCANCEL);

  version_page_ =
      CreateWindowExW(WS_EX_CONTROLPARENT, Windows::kPageClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0,
                      0, page_control_, nullptr, GetModuleHandleW(nullptr), this);
  if (version_page_ == nullptr) throw EOtherError("The settings dialog's page can't be created.");
  const std::wstring texts[] = {ToWide(kVersionTitleText.bytes()), ToWide(kRevisionText),
                                ToWide(kCreditsText.bytes()), ToWide(kStatusServiceText.bytes())};
  for (std::size_t i = 0; i < kPageTexts.size(); ++i) {
    CreateChild(L"STATIC", texts[i], SS_LEFT | SS_NOPREFIX, version_page_, kPageTexts[i].id);
  }
  const auto make_link = [this](POINT at, std::string_view address) {
    auto link = std::make_unique<TURLLabel>(application_, version_page_, at.x, at.y, address);
    link->set_font_color(kLinkColor);
    link->set_hot_color(kLinkColor);
    link->set_pushed_color(kLinkPushedColor);
    link->set_executable(true);
    return link;
  };
  home_page_link_ = make_link(kHomePageLinkAt, kHomepageUrl);
  status_site_link_ = make_link(kStatusSiteLinkAt, kStatusSiteAddress);
}

void TForm2::Relayout(unsigned dpi) {
  if (window_ == nullptr) return;
  // The new font reaches every control before the old one is deleted.
  auto font = std::make_unique<UiFont>(dpi);
  const auto font_handle = reinterpret_cast<WPARAM>(font->handle());
  for (const ControlPlace& place : kDialogPlaces) {
    SendMessageW(GetDlgItem(window_, place.id), WM_SETFONT, font_handle, FALSE);
  }
  for (const PageText& text : kPageTexts) {
    SendMessageW(GetDlgItem(version_page_, text.id), WM_SETFONT, font_handle, FALSE);
  }
  home_page_link_->set_font(font->handle());
  status_site_link_->set_font(font->handle());
  resources_->font = std::move(font);

  const PixelSize outer = OuterSizeForClient(window_, kClientSize, dpi);
  SetWindowPos(window_, nullptr, 0, 0, outer.width, outer.height,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  PlaceControls(window_, kDialogPlaces, dpi);

  // The page fills the page control's display area, below the tab.
  RECT display;
  GetClientRect(page_control_, &display);
  SendMessageW(page_control_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
  SetWindowPos(version_page_, nullptr, display.left, display.top, display.right - display.left,
               display.bottom - display.top, SWP_NOZORDER | SWP_NOACTIVATE);
  for (const PageText& text : kPageTexts) {
    const HWND label = GetDlgItem(version_page_, text.id);
    const SIZE size = TextExtent(label, resources_->font->handle());
    SetWindowPos(label, nullptr, ScaleToDpi(text.left, dpi), ScaleToDpi(text.top, dpi), size.cx,
                 size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  for (auto [link, at] : {std::pair{home_page_link_.get(), kHomePageLinkAt},
                          std::pair{status_site_link_.get(), kStatusSiteLinkAt}}) {
    SetWindowPos(link->handle(), nullptr, ScaleToDpi(at.x, dpi), ScaleToDpi(at.y, dpi), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  RebuildPageBrush();
  InvalidateRect(window_, nullptr, TRUE);
}

void TForm2::RebuildPageBrush() {
  if (resources_->page_brush != nullptr) {
    DeleteObject(resources_->page_brush);
    resources_->page_brush = nullptr;
  }
  // A themed page control (version 6 common controls with visual styles on)
  // draws its body in the theme; the page shows that body behind its texts,
  // as the system's own property sheets do. Unthemed, the button face.
  const HTHEME theme = page_control_ != nullptr ? GetWindowTheme(page_control_) : nullptr;
  if (theme == nullptr || version_page_ == nullptr) return;
  RECT page;
  GetClientRect(version_page_, &page);
  if (page.right <= 0 || page.bottom <= 0) return;
  const HDC screen = GetDC(version_page_);
  if (screen == nullptr) return;
  const HDC memory = CreateCompatibleDC(screen);
  const HBITMAP body = CreateCompatibleBitmap(screen, page.right, page.bottom);
  ReleaseDC(version_page_, screen);
  if (memory != nullptr && body != nullptr) {
    const HGDIOBJ old_bitmap = SelectObject(memory, body);
    FillRect(memory, &page, GetSysColorBrush(COLOR_WINDOW));
    DrawThemeBackground(theme, memory, TABP_BODY, 0, &page, nullptr);
    SelectObject(memory, old_bitmap);
    resources_->page_brush = CreatePatternBrush(body);
  }
  if (body != nullptr) DeleteObject(body);  // the brush keeps its own copy
  if (memory != nullptr) DeleteDC(memory);
  if (version_page_ != nullptr) InvalidateRect(version_page_, nullptr, TRUE);
}

void TForm2::PlaceOverOwner() {
  Relayout(WindowDpi(owner_ != nullptr ? owner_ : window_));
  RECT dialog;
  GetWindowRect(window_, &dialog);
  const LONG width = dialog.right - dialog.left;
  const LONG height = dialog.bottom - dialog.top;
  const RECT work = WorkAreaOf(owner_ != nullptr ? owner_ : window_);
  // Centred over a visible owner, else on the owner's monitor.
  RECT over = work;
  if (owner_ != nullptr && IsWindowVisible(owner_) && !IsIconic(owner_)) {
    GetWindowRect(owner_, &over);
  }
  LONG left = over.left + (over.right - over.left - width) / 2;
  LONG top = over.top + (over.bottom - over.top - height) / 2;
  left = std::max(work.left, std::min(left, work.right - width));
  top = std::max(work.top, std::min(top, work.bottom - height));
  // A monitor of another DPI re-lays the dialog out (WM_DPICHANGED).
  SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

TForm2::ModalResult TForm2::ShowModal() {
  if (showing_ || window_ == nullptr) return ModalResult::kCancel;
  showing_ = true;
  result_ = ModalResult::kNone;
  resources_->last_focus = nullptr;
  // Re-enabled at the end only when this call disabled it.
  const bool disable_owner = owner_ != nullptr && IsWindowEnabled(owner_);
  struct Restore {
    TForm2& form;
    bool owner_disabled;
    ~Restore() {
      // The owner first: hiding the active dialog then activates it, not some
      // other program's window.
      if (owner_disabled && IsWindow(form.owner_)) EnableWindow(form.owner_, TRUE);
      if (form.window_ != nullptr) ShowWindow(form.window_, SW_HIDE);
      form.showing_ = false;
    }
  } restore{*this, false};

  PlaceOverOwner();
  if (disable_owner) {
    EnableWindow(owner_, FALSE);
    restore.owner_disabled = true;
  }
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  SetFocus(GetDlgItem(window_, IDOK));

  MSG message;
  while (result_ == ModalResult::kNone) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      // The program is ending: its own loop must see the request too.
      PostQuitMessage(static_cast<int>(message.wParam));
      result_ = ModalResult::kCancel;
      break;
    }
    if (got == -1) {
      result_ = ModalResult::kCancel;
      break;
    }
    if (window_ != nullptr && IsDialogMessageW(window_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return result_;
}

void TForm2::Close(ModalResult result) {
  if (showing_ && result_ == ModalResult::kNone) result_ = result;
}

}  // namespace tol

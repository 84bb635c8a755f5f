#include "components/win32/urllabel.h"

#include <windows.h>
// After <windows.h>, which it needs.
#include <shellapi.h>

#include "components/win32/colors.h"
#include "components/win32/window_class.h"
#include "shared/codepage.h"
#include "shared/errors.h"

namespace tol {
namespace {

std::wstring ToWide(std::string_view cp932) {
  const std::u16string wide = Cp932ToUtf16(cp932);
  return std::wstring(wide.begin(), wide.end());
}

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

HFONT FontOrDefault(HFONT font) {
  return font != nullptr ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

constexpr UINT kTextFormat = DT_LEFT | DT_TOP | DT_NOPREFIX | DT_EXPANDTABS;

void OpenWithShell(const std::string& caption_cp932) {
  const std::wstring target = ToWide(caption_cp932);
  ShellExecuteW(nullptr, L"OPEN", target.c_str(), L"", L"", SW_SHOW);
}

}  // namespace

class TURLLabel::LabelWindow {
 public:
  static constexpr const wchar_t* kClassName = L"TolURLLabel";

  // Registers the window class once per process. CS_DBLCLKS: the second
  // press of a double click arrives as a double-click message, which the
  // label treats as one more press.
  static HINSTANCE RegisterClassOnce() {
    static const HINSTANCE instance = [] {
      WNDCLASSEXW window_class{};
      window_class.style = CS_DBLCLKS;
      window_class.lpfnWndProc = &Procedure;
      // No class cursor: WM_SETCURSOR sets the label's own.
      window_class.lpszClassName = kClassName;
      return RegisterWindowClass(window_class,
                                 "The link label's window class can't be registered.");
    }();
    return instance;
  }

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* label = WindowObject<TURLLabel>(window, message, lparam);
    if (label == nullptr) return DefWindowProcW(window, message, wparam, lparam);
    const int x = static_cast<short>(LOWORD(lparam));
    const int y = static_cast<short>(HIWORD(lparam));
    switch (message) {
      case WM_PAINT:
        label->application_.RunGuarded([label] { label->Paint(); });
        return 0;
      case WM_ERASEBKGND:
        return 1;  // WM_PAINT fills the whole client area
      case WM_SETFONT:
        label->application_.RunGuarded([&] {
          label->font_ = reinterpret_cast<HFONT>(wparam);
          label->AutoSize();
          if (LOWORD(lparam) != 0) label->Repaint();
        });
        return 0;
      case WM_GETFONT:
        return reinterpret_cast<LRESULT>(label->font_);
      case WM_SETCURSOR:
        if (LOWORD(lparam) != HTCLIENT) break;
        SetCursor(label->application_.CursorHandle(label->cursor_));
        return TRUE;
      case WM_MOUSEMOVE:
        label->application_.RunGuarded([&] { label->MouseMove(x, y); });
        return 0;
      case WM_MOUSELEAVE:
        label->application_.RunGuarded([label] { label->MouseLeave(); });
        return 0;
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
      case WM_RBUTTONDOWN:
      case WM_RBUTTONDBLCLK:
      case WM_MBUTTONDOWN:
      case WM_MBUTTONDBLCLK:
      case WM_XBUTTONDOWN:
      case WM_XBUTTONDBLCLK:
        label->application_.RunGuarded([&] { label->MouseDown(ButtonOf(message), x, y); });
        return message == WM_XBUTTONDOWN || message == WM_XBUTTONDBLCLK ? TRUE : 0;
      case WM_LBUTTONUP:
      case WM_RBUTTONUP:
      case WM_MBUTTONUP:
      case WM_XBUTTONUP:
        label->application_.RunGuarded([&] { label->MouseUp(ButtonOf(message), x, y); });
        return message == WM_XBUTTONUP ? TRUE : 0;
      case WM_NCDESTROY:
        // Destroyed by someone else (or by the destructor): forget it, so the
        // label never touches a stale handle.
        UnbindWindowObject(window);
        label->window_ = nullptr;
        break;
      default:
        break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }

 private:
  static TMouseButton ButtonOf(UINT message) {
    switch (message) {
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
      case WM_LBUTTONUP:
        return TMouseButton::kLeft;
      case WM_RBUTTONDOWN:
      case WM_RBUTTONDBLCLK:
      case WM_RBUTTONUP:
        return TMouseButton::kRight;
      case WM_MBUTTONDOWN:
      case WM_MBUTTONDBLCLK:
      case WM_MBUTTONUP:
        return TMouseButton::kMiddle;
      default:
        return TMouseButton::kExtra;
    }
  }
};

TURLLabel::TURLLabel(Application& application, HWND__* parent, int left, int top,
                     std::string_view caption_cp932)
    : application_(application), shell_open_(&OpenWithShell) {
  const HINSTANCE instance = LabelWindow::RegisterClassOnce();
  // Every label registers it again, with the same effect.
  application_.RegisterCursor(kHandPointCursor, HandPointCursor(GetModuleHandleW(nullptr)));
  if (parent != nullptr) {
    font_ = reinterpret_cast<HFONT>(SendMessageW(parent, WM_GETFONT, 0, 0));
  }
  const std::wstring caption = ToWide(caption_cp932);
  window_ = CreateWindowExW(0, LabelWindow::kClassName, caption.c_str(), WS_CHILD | WS_VISIBLE,
                            left, top, 0, 0, parent, nullptr, instance, this);
  if (window_ == nullptr) throw EOtherError("The link label's window can't be created.");
  try {
    AutoSize();
  } catch (...) {
    // No destructor runs for a label that failed to construct.
    DestroyWindow(window_);
    throw;
  }
}

TURLLabel::~TURLLabel() {
  if (window_ != nullptr) DestroyWindow(window_);
}

std::string TURLLabel::caption() const {
  if (window_ == nullptr) return {};
  const std::wstring text = WindowText(window_);
  return Utf16ToCp932(std::u16string(text.begin(), text.end()));
}

void TURLLabel::set_caption(std::string_view caption_cp932) {
  if (window_ == nullptr) return;
  SetWindowTextW(window_, ToWide(caption_cp932).c_str());
  AutoSize();
  Repaint();
}

void TURLLabel::set_font(HFONT__* font) {
  if (window_ != nullptr) SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void TURLLabel::set_font_color(int32_t color) {
  if (color == font_color_) return;
  font_color_ = color;
  Repaint();
}

void TURLLabel::set_hot_track(bool on) {
  if (on == hot_track_) return;
  hot_track_ = on;
  Repaint();
}

void TURLLabel::set_hot_color(int32_t color) {
  if (color == hot_color_) return;
  hot_color_ = color;
  Repaint();
}

void TURLLabel::set_pushed_color(int32_t color) {
  if (color == pushed_color_) return;
  pushed_color_ = color;
  Repaint();
}

void TURLLabel::Repaint() {
  if (window_ != nullptr) InvalidateRect(window_, nullptr, TRUE);
}

void TURLLabel::AutoSize() {
  if (window_ == nullptr) return;
  std::wstring text = WindowText(window_);
  const bool empty = text.empty();
  // An empty caption keeps the height of one line of the font.
  if (empty) text = L" ";
  const HDC dc = GetDC(window_);
  if (dc == nullptr) return;
  const HGDIOBJ old_font = SelectObject(dc, FontOrDefault(font_));
  RECT bounds{0, 0, 0, 0};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &bounds, kTextFormat | DT_CALCRECT);
  SelectObject(dc, old_font);
  ReleaseDC(window_, dc);
  SetWindowPos(window_, nullptr, 0, 0, empty ? 0 : bounds.right - bounds.left,
               bounds.bottom - bounds.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TURLLabel::Paint() {
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(window_, &paint);
  if (dc == nullptr) return;
  RECT client;
  GetClientRect(window_, &client);
  // The parent's background for static text, as a plain label has it.
  HBRUSH background = nullptr;
  if (const HWND parent = GetParent(window_); parent != nullptr) {
    background = reinterpret_cast<HBRUSH>(SendMessageW(parent, WM_CTLCOLORSTATIC,
                                                       reinterpret_cast<WPARAM>(dc),
                                                       reinterpret_cast<LPARAM>(window_)));
  }
  FillRect(dc, &client, background != nullptr ? background : GetSysColorBrush(COLOR_BTNFACE));
  const std::wstring text = WindowText(window_);
  const HGDIOBJ old_font = SelectObject(dc, FontOrDefault(font_));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, ColorToRGB(static_cast<uint32_t>(font_color_)));
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &client, kTextFormat);
  SelectObject(dc, old_font);
  EndPaint(window_, &paint);
}

template <typename F>
bool TURLLabel::RunHandler(F&& call) {
  const std::weak_ptr<char> alive = alive_;
  application_.RunGuarded(std::forward<F>(call));
  return !alive.expired();
}

void TURLLabel::MouseMove(int x, int y) {
  // While the label holds the capture, moves outside it arrive here too.
  RECT client;
  GetClientRect(window_, &client);
  if (!mouse_inside_ && PtInRect(&client, POINT{x, y})) MouseEnter();
}

void TURLLabel::MouseEnter() {
  mouse_inside_ = true;
  // Ask for WM_MOUSELEAVE once the mouse has left.
  TRACKMOUSEEVENT track{};
  track.cbSize = sizeof(track);
  track.dwFlags = TME_LEAVE;
  track.hwndTrack = window_;
  TrackMouseEvent(&track);
  if (!hot_track_) return;
  remembered_color_ = font_color_;
  remembered_ = true;
  font_color_ = hot_color_;
  Repaint();
}

void TURLLabel::MouseLeave() {
  mouse_inside_ = false;
  if (hot_track_ && remembered_) {
    font_color_ = remembered_color_;
    Repaint();
  }
  remembered_ = false;
}

void TURLLabel::MouseDown(TMouseButton button, int x, int y) {
  // A press is always over the label: without a move before it (input sent
  // by a program), it is also the mouse entering.
  if (!mouse_inside_) MouseEnter();
  // Keep receiving the mouse until the release, wherever it happens.
  SetCapture(window_);
  if (button == TMouseButton::kLeft) left_pressed_ = true;
  if (on_mouse_down_) {
    const TMouseEvent handler = on_mouse_down_;  // it may replace itself
    if (!RunHandler([&] { handler(*this, button, x, y); })) return;
  }
  if (hot_track_) {
    // HotTrack turned on while the mouse was over the label: the colour to
    // go back to is the one found now.
    if (!remembered_) {
      remembered_color_ = font_color_;
      remembered_ = true;
    }
    font_color_ = pushed_color_;
    Repaint();
  }
  if (executable_ && shell_open_) {
    const ShellOpen open = shell_open_;
    open(caption());
  }
}

void TURLLabel::MouseUp(TMouseButton button, int x, int y) {
  const bool clicked = button == TMouseButton::kLeft && left_pressed_;
  if (button == TMouseButton::kLeft) left_pressed_ = false;
  if (GetCapture() == window_) ReleaseCapture();
  RECT client;
  GetClientRect(window_, &client);
  if (clicked && on_click_ && PtInRect(&client, POINT{x, y})) {
    const TNotifyEvent handler = on_click_;
    if (!RunHandler([&] { handler(*this); })) return;
  }
  if (on_mouse_up_) {
    const TMouseEvent handler = on_mouse_up_;
    if (!RunHandler([&] { handler(*this, button, x, y); })) return;
  }
  if (!hot_track_ || window_ == nullptr) return;
  POINT cursor{};
  GetCursorPos(&cursor);
  ScreenToClient(window_, &cursor);
  GetClientRect(window_, &client);
  if (PtInRect(&client, cursor)) {
    font_color_ = hot_color_;
  } else if (remembered_) {
    font_color_ = remembered_color_;
  }
  Repaint();
}

HICON__* HandPointCursor(HINSTANCE__* module) {
  // A resource cursor is shared: loading it again gives the same handle, and
  // nothing frees it.
  if (module != nullptr) {
    if (HCURSOR own = LoadCursorW(module, L"HANDPOINT")) return own;
  }
  return LoadCursorW(nullptr, IDC_HAND);
}

}  // namespace tol

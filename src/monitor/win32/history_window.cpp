#include "monitor/win32/history_window.h"

// windows.h before the common-control headers.
#include <windows.h>
// clang-format off
#include <commctrl.h>
// clang-format on

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "components/win32/colors.h"
#include "components/win32/dpi_layout.h"
#include "components/win32/ui_font.h"
#include "components/win32/window_class.h"
#include "monitor/events.h"
#include "monitor/geometry.h"
#include "monitor/history_chart.h"
#include "monitor/status.h"
#include "monitor/texts.h"
#include "shared/codepage.h"
#include "shared/errors.h"

namespace tol {
namespace {

constexpr wchar_t kHistoryClass[] = L"TKovunHistory";

// Sizes at 96 DPI.
constexpr int kCaptionWidth = 48;
constexpr int kAxisHeight = 18;
constexpr int kCellWidth = 4;
constexpr int kRowHeight = 16;
constexpr int kLabelWidth = 44;  // "21:05" with room to spare
constexpr int kInitialWidth = 640;

std::wstring Wide(std::string_view cp932) {
  const std::u16string text = Cp932ToUtf16(cp932);
  return std::wstring(text.begin(), text.end());
}

// The slot a row shows: the strip's order.
int RowSlot(int row) { return kStripOrder[row]; }

ScreenRect ToScreenRect(const RECT& r) { return ScreenRect{r.left, r.top, r.right, r.bottom}; }

// The monitors' work areas, the primary monitor's first.
std::vector<ScreenRect> WorkAreas() {
  std::vector<ScreenRect> areas;
  EnumDisplayMonitors(
      nullptr, nullptr,
      [](HMONITOR monitor, HDC, LPRECT, LPARAM data) -> BOOL {
        MONITORINFO info{};
        info.cbSize = sizeof(info);
        if (GetMonitorInfoW(monitor, &info)) {
          auto& list = *reinterpret_cast<std::vector<ScreenRect>*>(data);
          const ScreenRect work = ToScreenRect(info.rcWork);
          if (info.dwFlags & MONITORINFOF_PRIMARY) {
            list.insert(list.begin(), work);
          } else {
            list.push_back(work);
          }
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&areas));
  return areas;
}

// The notification area's rectangle, when the shell's taskbar shows one.
std::optional<ScreenRect> NotificationArea() {
  HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
  HWND tray =
      taskbar != nullptr ? FindWindowExW(taskbar, nullptr, L"TrayNotifyWnd", nullptr) : nullptr;
  RECT rect;
  if (tray == nullptr || !IsWindowVisible(tray) || !GetWindowRect(tray, &rect) ||
      IsRectEmpty(&rect)) {
    return std::nullopt;
  }
  return ToScreenRect(rect);
}

// A colour as a 32-bit DIB pixel (0x00RRGGBB).
uint32_t Pixel(COLORREF color) {
  return (uint32_t{GetRValue(color)} << 16) | (uint32_t{GetGValue(color)} << 8) | GetBValue(color);
}

// A top-down 32-bit bitmap whose pixels the chart writes itself, kept from
// paint to paint while its size stays.
class PixelGrid {
 public:
  PixelGrid() = default;
  PixelGrid(const PixelGrid&) = delete;
  PixelGrid& operator=(const PixelGrid&) = delete;
  ~PixelGrid() { Free(); }

  // The pixels of a `width` x `height` bitmap, rows top to bottom; null
  // when the system refuses one.
  uint32_t* Pixels(int width, int height) {
    if (bitmap_ == nullptr || width != width_ || height != height_) {
      Free();
      BITMAPINFO info{};
      info.bmiHeader.biSize = sizeof(info.bmiHeader);
      info.bmiHeader.biWidth = width;
      info.bmiHeader.biHeight = -height;  // top-down
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = 32;
      info.bmiHeader.biCompression = BI_RGB;
      void* bits = nullptr;
      bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
      if (bitmap_ == nullptr) return nullptr;
      bits_ = static_cast<uint32_t*>(bits);
      width_ = width;
      height_ = height;
    }
    GdiFlush();  // nothing of GDI's may still be drawing into it
    return bits_;
  }
  void CopyTo(HDC dc, int x, int y) const {
    HDC source = CreateCompatibleDC(dc);
    const HGDIOBJ old = SelectObject(source, bitmap_);
    BitBlt(dc, x, y, width_, height_, source, 0, 0, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
  }

 private:
  void Free() {
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
    bitmap_ = nullptr;
    bits_ = nullptr;
  }
  HBITMAP bitmap_ = nullptr;
  uint32_t* bits_ = nullptr;
  int width_ = 0, height_ = 0;
};

}  // namespace

class HistoryWindow::Impl {
 public:
  explicit Impl(HistorySource source) : source_(std::move(source)) {}
  ~Impl() { Close(); }

  void Open(HWND owner);
  void Update();
  void Close();
  HWND window() const { return window_; }
  void Paint(HDC dc, int width, int height);

  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

 private:
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  HistoryChartMetrics Metrics(int width, int height) const;
  HistoryChartLayout Layout() const;
  void UpdateScrollBar();
  void Scroll(int code, int track);
  void MouseMove(int x, int y);
  void ShowTip(const std::optional<ChartHit>& hit);
  void OnPaint();

  HistorySource source_;
  HWND window_ = nullptr;
  HWND tooltip_ = nullptr;
  unsigned dpi_ = kDesignDpi;
  std::unique_ptr<UiFont> font_;
  std::size_t scroll_ = 0;  // newest polls scrolled out at the right
  // Scrolled back: the time of the newest poll shown, kept as polls come.
  std::optional<DateTime> anchor_;
  int shown_world_ = -1;  // the world of the history shown
  // The cell the tip names: its row and its poll's time.
  std::optional<std::pair<int, DateTime>> tip_cell_;
  std::optional<POINT> pointer_;  // in the client area
  // Where the player left the window, while the program runs.
  std::optional<RECT> placed_;
  PixelGrid grid_;  // the cells' pixels
};

void HistoryWindow::Impl::Open(HWND owner) {
  if (window_ != nullptr) {
    ShowWindow(window_, SW_SHOWNORMAL);
    SetForegroundWindow(window_);
    return;
  }
  static const HINSTANCE instance = [] {
    WNDCLASSEXW form{};
    form.lpfnWndProc = Proc;
    form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    form.hIcon = LoadIconW(GetModuleHandleW(nullptr), L"MAINICON");
    form.lpszClassName = kHistoryClass;
    return RegisterWindowClass(form, "The history window class can't be registered");
  }();
  // Not owned by the strip: a window the player resizes and keeps beside
  // the game, and one that a minimised strip doesn't take along.
  window_ = CreateWindowExW(0, kHistoryClass, Wide(kHistoryTitleText.bytes()).c_str(),
                            WS_OVERLAPPEDWINDOW | WS_HSCROLL, CW_USEDEFAULT, CW_USEDEFAULT,
                            kInitialWidth, 200, nullptr, nullptr, instance, this);
  if (window_ == nullptr) throw EOtherError("The history window can't be created");
  dpi_ = WindowDpi(window_);
  font_ = std::make_unique<UiFont>(dpi_);
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                             WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, instance, nullptr);
  if (tooltip_ != nullptr) {
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = window_;
    tool.uId = 1;
    tool.lpszText = const_cast<wchar_t*>(L"");
    GetClientRect(window_, &tool.rect);
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  // Tall enough for every row and the times, at the window's DPI; whole on
  // the work area of the strip's monitor (see PlaceBesideStrip).
  PixelSize outer = OuterSizeForClient(
      window_, PixelSize{kInitialWidth, kRowHeight * kVisibleSlotCount + kAxisHeight}, dpi_);
  outer.height += GetSystemMetrics(SM_CYHSCROLL);
  std::optional<ScreenRect> strip;
  RECT beside{};
  if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner) &&
      GetWindowRect(owner, &beside)) {
    strip = ToScreenRect(beside);
  }
  std::optional<ScreenRect> remembered;
  if (placed_) remembered = ToScreenRect(*placed_);
  const ScreenRect place = PlaceBesideStrip(WorkAreas(), strip, NotificationArea(),
                                            LayoutSize{outer.width, outer.height}, remembered);
  SetWindowPos(window_, nullptr, place.left, place.top, place.right - place.left,
               place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
  // The place is the window's own now: a DPI change it brings (another
  // monitor) sizes it there.
  dpi_ = WindowDpi(window_);
  UpdateScrollBar();
  ShowWindow(window_, SW_SHOWNORMAL);
}

void HistoryWindow::Impl::Close() {
  if (window_ == nullptr) return;
  RECT rect;
  if (!IsIconic(window_) && !IsZoomed(window_) && GetWindowRect(window_, &rect)) placed_ = rect;
  const HWND window = std::exchange(window_, nullptr);
  UnbindWindowObject(window);
  DestroyWindow(window);  // the tooltip, its child, goes with it
  tooltip_ = nullptr;
  font_.reset();
  tip_cell_.reset();
  pointer_.reset();
  anchor_.reset();
  scroll_ = 0;
}

void HistoryWindow::Impl::Update() {
  if (window_ == nullptr) return;
  const HistoryRing& ring = source_.history();
  // Another world's history (a world switch): shown from its newest poll.
  const int world = ring.size() > 0 ? ring[ring.size() - 1].world : -1;
  if (world != shown_world_) {
    shown_world_ = world;
    anchor_.reset();
  }
  // Scrolled back, the cells under the pointer stay where they were,
  // however many polls came, went or added nothing.
  scroll_ = anchor_ ? ScrollKeeping(ring, *anchor_) : 0;
  UpdateScrollBar();
  InvalidateRect(window_, nullptr, FALSE);
  // The tip names the poll now under the pointer.
  if (pointer_) MouseMove(pointer_->x, pointer_->y);
}

HistoryChartMetrics HistoryWindow::Impl::Metrics(int width, int height) const {
  HistoryChartMetrics m;
  m.width = width;
  m.height = height;
  m.caption_width = ScaleToDpi(kCaptionWidth, dpi_);
  m.axis_height = ScaleToDpi(kAxisHeight, dpi_);
  m.cell_width = ScaleToDpi(kCellWidth, dpi_);
  m.row_height =
      std::max(ScaleToDpi(kRowHeight, dpi_), (height - m.axis_height) / kVisibleSlotCount);
  m.label_width = ScaleToDpi(kLabelWidth, dpi_);
  m.rows = kVisibleSlotCount;
  return m;
}

HistoryChartLayout HistoryWindow::Impl::Layout() const {
  RECT client{};
  GetClientRect(window_, &client);
  return HistoryChartLayout(Metrics(client.right, client.bottom), source_.history().size(),
                            scroll_);
}

// The scroll bar's thumb is the polls shown, its range the whole history,
// and its position counts from the oldest.
void HistoryWindow::Impl::UpdateScrollBar() {
  const std::size_t polls = source_.history().size();
  {
    // Never scrolled past the oldest: the view stays full.
    const std::size_t page = std::max<std::size_t>(Layout().capacity(), 1);
    scroll_ = std::min(scroll_, polls > page ? polls - page : 0);
  }
  const HistoryChartLayout layout = Layout();
  SCROLLINFO info{};
  info.cbSize = sizeof(info);
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
  info.nMin = 0;
  info.nMax = polls > 0 ? static_cast<int>(polls - 1) : 0;
  info.nPage = static_cast<UINT>(layout.capacity());
  info.nPos = static_cast<int>(polls - scroll_ - std::min(polls - scroll_, layout.capacity()));
  SetScrollInfo(window_, SB_HORZ, &info, TRUE);
}

void HistoryWindow::Impl::Scroll(int code, int track) {
  const std::size_t polls = source_.history().size();
  const HistoryChartLayout layout = Layout();
  const std::size_t page = std::max<std::size_t>(layout.capacity(), 1);
  // Positions are the first poll shown; scroll_ what lies right of the last.
  auto first_for = [&](std::size_t scroll) {
    return polls - scroll - std::min(polls - scroll, page);
  };
  std::size_t first = first_for(scroll_);
  const std::size_t last_first = polls > page ? polls - page : 0;
  switch (code) {
    case SB_LINELEFT:
      first = first > 0 ? first - 1 : 0;
      break;
    case SB_LINERIGHT:
      first = std::min(first + 1, last_first);
      break;
    case SB_PAGELEFT:
      first = first > page ? first - page : 0;
      break;
    case SB_PAGERIGHT:
      first = std::min(first + page, last_first);
      break;
    case SB_LEFT:
      first = 0;
      break;
    case SB_RIGHT:
      first = last_first;
      break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
      first = std::min<std::size_t>(std::max(track, 0), last_first);
      break;
    default:
      return;
  }
  scroll_ = polls > first + page ? polls - first - page : 0;
  if (scroll_ > 0) {
    anchor_ = source_.history()[polls - 1 - scroll_].time;
  } else {
    anchor_.reset();
  }
  UpdateScrollBar();
  InvalidateRect(window_, nullptr, FALSE);
}

// The tooltip follows the cell under the pointer; its text changes only when
// the cell does, told by its row and its poll's time (an index names
// another poll once the history moves on).
void HistoryWindow::Impl::MouseMove(int x, int y) {
  pointer_ = POINT{x, y};
  ShowTip(Layout().HitTest(x, y));
}

void HistoryWindow::Impl::ShowTip(const std::optional<ChartHit>& hit) {
  if (tooltip_ == nullptr) return;
  const HistoryRing& ring = source_.history();
  std::optional<std::pair<int, DateTime>> cell;
  if (hit) cell = std::make_pair(hit->row, ring[hit->poll].time);
  if (cell == tip_cell_) return;
  tip_cell_ = cell;
  const std::wstring text =
      hit ? Wide(HistoryCellTip(ring[hit->poll], RowSlot(hit->row))) : std::wstring();
  TOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.hwnd = window_;
  tool.uId = 1;
  tool.lpszText = const_cast<wchar_t*>(text.c_str());
  SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void HistoryWindow::Impl::Paint(HDC dc, int width, int height) {
  RECT all{0, 0, width, height};
  FillRect(dc, &all, GetSysColorBrush(COLOR_WINDOW));
  const HistoryRing& ring = source_.history();
  const ColorSettings& colors = source_.colors();
  const HistoryChartLayout layout(Metrics(width, height), ring.size(),
                                  window_ != nullptr ? scroll_ : 0);
  const int saved = SaveDC(dc);
  if (font_) SelectObject(dc, font_->handle());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  const std::size_t first = layout.first_poll(), end = first + layout.columns();
  // The cells go straight into the pixels of a bitmap, one run of equal
  // cells at a time, and onto `dc` in one copy: a week of a flapping
  // server is thousands of runs, and a GDI call for each cost the UI thread
  // several milliseconds per poll.
  const int grid_left = layout.Caption(0).right;
  const int grid_width = width - grid_left, grid_height = layout.grid_bottom();
  uint32_t* pixels =
      grid_width > 0 && grid_height > 0 ? grid_.Pixels(grid_width, grid_height) : nullptr;
  if (pixels != nullptr) {
    std::fill(pixels, pixels + std::size_t(grid_width) * grid_height,
              Pixel(GetSysColor(COLOR_WINDOW)));
  }
  for (int row = 0; row < kVisibleSlotCount; ++row) {
    const ChartRect caption = layout.Caption(row);
    RECT caption_rect{caption.left + 2, caption.top, caption.right, caption.bottom};
    const int slot = RowSlot(row);
    const std::wstring text = Wide(source_.caption(slot));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &caption_rect,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    for (std::size_t p = first; p < end && pixels != nullptr;) {
      const ServerState state = ring[p].cells[slot - 1].state;
      std::size_t q = p + 1;
      while (q < end && ring[q].cells[slot - 1].state == state) ++q;
      const ChartRect left = layout.Cell(row, p), right = layout.Cell(row, q - 1);
      // A one-pixel gap between rows keeps them apart.
      const uint32_t color = Pixel(ColorToRGB(static_cast<uint32_t>(StateColor(state, colors))));
      const int x0 = std::max(left.left - grid_left, 0);
      const int x1 = std::min(right.right - grid_left, grid_width);
      for (int y = std::max(left.top, 0); y < std::min(left.bottom - 1, grid_height); ++y) {
        std::fill(pixels + std::size_t(y) * grid_width + x0,
                  pixels + std::size_t(y) * grid_width + std::max(x0, x1), color);
      }
      p = q;
    }
  }
  if (pixels != nullptr) grid_.CopyTo(dc, grid_left, 0);
  if (ring.size() == 0) {
    const std::wstring empty = Wide(kHistoryEmptyText.bytes());
    RECT place{layout.Caption(0).right, 0, width, layout.grid_bottom()};
    DrawTextW(dc, empty.c_str(), -1, &place, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  }
  // The times, on round clock times from the left of their columns.
  for (const ChartLabel& label : layout.Labels([&](std::size_t p) { return ring[p].time; })) {
    const std::wstring text = Wide(ChartLabelText(label));
    RECT place{label.place.left, label.place.top, label.place.right, label.place.bottom};
    DrawTextW(dc, text.c_str(), -1, &place, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
  }
  RestoreDC(dc, saved);
}

// Into a buffer first: the chart is redrawn after every poll and while
// resizing, and must not flicker.
void HistoryWindow::Impl::OnPaint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window_, &paint);
  RECT client;
  GetClientRect(window_, &client);
  HDC buffer = CreateCompatibleDC(dc);
  HBITMAP bitmap =
      CreateCompatibleBitmap(dc, std::max<int>(client.right, 1), std::max<int>(client.bottom, 1));
  const HGDIOBJ old = SelectObject(buffer, bitmap);
  Paint(buffer, client.right, client.bottom);
  BitBlt(dc, 0, 0, client.right, client.bottom, buffer, 0, 0, SRCCOPY);
  SelectObject(buffer, old);
  DeleteObject(bitmap);
  DeleteDC(buffer);
  EndPaint(window_, &paint);
}

LRESULT HistoryWindow::Impl::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_PRINTCLIENT: {
      RECT client;
      GetClientRect(window_, &client);
      Paint(reinterpret_cast<HDC>(wparam), client.right, client.bottom);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;  // the paint fills every pixel
    case WM_SIZE:
      if (tooltip_ != nullptr) {
        TOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        tool.hwnd = window_;
        tool.uId = 1;
        GetClientRect(window_, &tool.rect);
        SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
      }
      UpdateScrollBar();
      InvalidateRect(window_, nullptr, FALSE);
      return 0;
    case WM_HSCROLL: {
      SCROLLINFO info{};
      info.cbSize = sizeof(info);
      info.fMask = SIF_TRACKPOS;
      GetScrollInfo(window_, SB_HORZ, &info);
      Scroll(LOWORD(wparam), info.nTrackPos);
      return 0;
    }
    case WM_MOUSEMOVE:
      MouseMove(static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam)));
      return 0;

    case WM_DPICHANGED:
      dpi_ = LOWORD(wparam);
      font_ = std::make_unique<UiFont>(dpi_);
      ApplyDpiChange(window_, wparam, lparam, {});  // no child controls to place
      return 0;
    case WM_CLOSE:
      Close();
      return 0;
    default:
      return DefWindowProcW(window_, message, wparam, lparam);
  }
}

LRESULT CALLBACK HistoryWindow::Impl::Proc(HWND window, UINT message, WPARAM wparam,
                                           LPARAM lparam) {
  Impl* self = WindowObject<Impl>(window, message, lparam);
  if (self == nullptr || self->window_ != window) {
    if (self != nullptr && message == WM_NCCREATE) self->window_ = window;
    if (self == nullptr || self->window_ != window) {
      return DefWindowProcW(window, message, wparam, lparam);
    }
  }
  return self->Handle(message, wparam, lparam);
}

HistoryWindow::HistoryWindow(HistorySource source)
    : impl_(std::make_unique<Impl>(std::move(source))) {}
HistoryWindow::~HistoryWindow() = default;
void HistoryWindow::Open(HWND__* owner) { impl_->Open(owner); }
void HistoryWindow::Update() { impl_->Update(); }
void HistoryWindow::Close() { impl_->Close(); }
HWND__* HistoryWindow::handle() const { return impl_->window(); }
void HistoryWindow::PaintInto(HDC__* dc, int width, int height) { impl_->Paint(dc, width, height); }

}  // namespace tol

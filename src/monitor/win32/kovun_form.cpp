#include "monitor/win32/kovun_form.h"

// windows.h before the shell and common-control headers.
#include <windows.h>
// clang-format off
#include <commctrl.h>
// clang-format on

#include <array>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "components/win32/colors.h"
#include "components/win32/dpi_layout.h"
#include "components/win32/hkhotkey.h"
#include "components/win32/taskbar.h"
#include "components/win32/ui_font.h"
#include "components/win32/window_class.h"
#include "monitor/geometry.h"
#include "monitor/monitor.h"
#include "monitor/texts.h"
#include "monitor/win32/settings_dialog.h"
#include "monitor/worlds.h"
#include "net/http_client.h"
#include "shared/codepage.h"
#include "shared/errors.h"

namespace tol {
namespace {

constexpr wchar_t kFormClass[] = L"TKovunForm";
constexpr wchar_t kPanelClass[] = L"TKovunPanel";

// A network step of a poll has finished on the worker.
constexpr UINT kPollStepDone = WM_APP + 1;

constexpr UINT_PTR kTimer1Id = 1;
constexpr UINT_PTR kTimer2Id = 2;

// Control ids: the world label, then Panel1-Panel19 as kPanelId + n.
constexpr int kLabelId = 100;
constexpr int kPanelId = 100;

// Menu command ids.
constexpr UINT kWorldCommand = 1000;  // + world index 0-18
constexpr UINT kPatchCommand = 1100;  // + patch entry 0-3
constexpr UINT kN3Command = 1201;     // show update time
constexpr UINT kN2Command = 1202;     // always in front
constexpr UINT kN4Command = 1203;     // task tray
constexpr UINT kAbout1Command = 1204;
constexpr UINT kMapCommand = 2000;  // map entries carry no action

std::wstring Wide(std::string_view cp932) {
  const std::u16string text = Cp932ToUtf16(cp932);
  return std::wstring(text.begin(), text.end());
}

// Menus show their texts as they stand: "&" would make an access key.
std::wstring MenuText(std::string_view cp932) {
  std::wstring text;
  for (wchar_t c : Wide(cp932)) {
    text += c;
    if (c == L'&') text += L'&';
  }
  return text;
}

bool SameEntries(const MapMenus& a, const MapMenus& b) {
  for (int i = 0; i < kMapMenuCount; ++i) {
    if (a[i].size() != b[i].size()) return false;
    for (std::size_t j = 0; j < a[i].size(); ++j) {
      if (a[i][j].caption != b[i][j].caption || a[i][j].column_break != b[i][j].column_break) {
        return false;
      }
    }
  }
  return true;
}

// Timer1 and Timer2 over the window's own timers: WM_TIMER arrives on the UI
// thread, and the system never queues more than one per timer.
class WindowTimerDriver : public TimerDriver {
 public:
  WindowTimerDriver(HWND window, UINT_PTR id) : window_(window), id_(id) {}
  void Start(int period_ms) override {
    SetTimer(window_, id_, static_cast<UINT>(period_ms), nullptr);
  }
  void Stop() override { KillTimer(window_, id_); }

 private:
  HWND window_;
  UINT_PTR id_;
};

// Runs the network steps of a poll on one worker thread, in order, and hands
// each continuation back to the window's thread through a posted message.
// The window keeps painting, moving and opening menus meanwhile.
class WindowPollExecutor : public PollExecutor {
 public:
  explicit WindowPollExecutor(HWND window) : window_(window), worker_([this] { Work(); }) {}
  ~WindowPollExecutor() override { Stop(); }

  void Run(std::function<void()> network, std::function<void()> then) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_) return;
    jobs_.emplace_back(std::move(network), std::move(then));
    wake_.notify_one();
  }

  // On kPollStepDone: the continuations of the finished steps.
  void RunFinished() {
    std::deque<std::function<void()>> finished;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      finished.swap(finished_);
    }
    for (auto& then : finished) then();
  }

  // Drops what hasn't run and waits for the step in progress, which the
  // caller has made short by abandoning its request.
  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopped_) return;
      stopped_ = true;
      jobs_.clear();
      finished_.clear();
    }
    wake_.notify_one();
    worker_.join();
  }

 private:
  void Work() {
    for (;;) {
      std::pair<std::function<void()>, std::function<void()>> job;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [this] { return stopped_ || !jobs_.empty(); });
        if (stopped_) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job.first();  // never throws: the poll keeps its failures
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopped_) return;
      finished_.push_back(std::move(job.second));
      PostMessageW(window_, kPollStepDone, 0, 0);
    }
  }

  HWND window_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::pair<std::function<void()>, std::function<void()>>> jobs_;  // guarded
  std::deque<std::function<void()>> finished_;                                // guarded
  bool stopped_ = false;                                                      // guarded
  std::thread worker_;
};

}  // namespace

class TKovunForm::Impl {
 public:
  Impl(Application& application, const FilePath& settings_path, const FilePath& module_path);
  ~Impl();

  HWND window() const { return window_; }
  bool second_copy() const { return monitor_->quit_requested(); }
  void set_dialog(TForm2* dialog) { dialog_ = dialog; }

  static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

 private:
  // The icon's right button pops up the main context menu.
  class TrayMenu : public TrayPopupMenu {
   public:
    explicit TrayMenu(Impl& form) : form_(form) {}
    void Popup(TTrayIcon&, int x, int y) override { form_.PopupMainMenu(POINT{x, y}); }

   private:
    Impl& form_;
  };

  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateControls();
  MonitorHooks Hooks();
  void Layout(int32_t style);
  std::vector<ControlPlace> Places() const;
  void ApplyFont();
  void Command(UINT id);
  void Close();
  void SaveAtClose();

  // Drawing the model: what differs from what the window shows.
  void ModelChanged();
  void RebuildMapMenus();
  void PaintPanel(HWND panel, int n);
  void PanelClick(int n);

  void BuildMainMenu();
  void PopupMainMenu(POINT at);
  void OpenMapMenu(int n, POINT at);
  POINT PanelCorner(int n) const;
  void SnapToWorkArea(WINDOWPOS& pos);
  void BringOntoMonitor();

  Application& application_;
  HWND window_ = nullptr;
  HWND label_ = nullptr;
  std::array<HWND, kSlotCount - 1> panels_{};  // Panel1-Panel19
  HWND tooltip_ = nullptr;
  HMENU menu1_ = nullptr;
  std::array<HMENU, kMapMenuCount> map_menus_{};
  unsigned dpi_ = kDesignDpi;
  std::unique_ptr<UiFont> font_;
  LayoutKind layout_ = LayoutKind::kStrip;
  TForm2* dialog_ = nullptr;

  std::unique_ptr<HttpClient> http_;
  std::unique_ptr<WindowTimerDriver> timer1_driver_, timer2_driver_;
  std::unique_ptr<WindowPollExecutor> executor_;
  std::unique_ptr<THookHotKey> hook1_, hook2_;
  std::unique_ptr<TTrayIcon> tray_;
  std::shared_ptr<TrayMenu> tray_menu_;  // the icon holds it by weak reference
  std::unique_ptr<KovunMonitor> monitor_;

  // What the window shows now.
  std::string shown_caption_, shown_label_;
  std::array<PanelModel, kSlotCount - 1> shown_panels_;
  MapMenus shown_maps_;
  bool map_menu_open_ = false;
  bool maps_outdated_ = false;
  bool closing_ = false;
  bool quit_posted_ = false;
};

TKovunForm::Impl::Impl(Application& application, const FilePath& settings_path,
                       const FilePath& module_path)
    : application_(application) {
  WNDCLASSEXW form{};
  form.style = CS_DBLCLKS;
  form.lpfnWndProc = FormProc;
  form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  form.lpszClassName = kFormClass;
  const HINSTANCE instance = RegisterWindowClass(form, "The main window class can't be registered");
  form.hIcon = LoadIconW(instance, L"MAINICON");
  form.hIconSm = form.hIcon;
  RegisterWindowClass(form, "The main window class can't be registered");
  WNDCLASSEXW panel{};
  panel.style = CS_DBLCLKS;
  panel.lpfnWndProc = PanelProc;
  panel.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  panel.lpszClassName = kPanelClass;
  RegisterWindowClass(panel, "The panel window class can't be registered");

  // Sizeable frame with the system menu and the minimise box, no maximise
  // box; hidden until the program shows it after the start-up sequence.
  window_ =
      CreateWindowExW(0, kFormClass, L"Kovun",
                      WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME,
                      CW_USEDEFAULT, CW_USEDEFAULT, 200, 60, nullptr, nullptr, instance, this);
  if (!window_) throw EOtherError("The main window can't be created");
  application_.set_main_window(window_);
  dpi_ = WindowDpi(window_);
  CreateControls();
  BuildMainMenu();

  http_ = CreateHttpClient(SystemClock());
  timer1_driver_ = std::make_unique<WindowTimerDriver>(window_, kTimer1Id);
  timer2_driver_ = std::make_unique<WindowTimerDriver>(window_, kTimer2Id);
  executor_ = std::make_unique<WindowPollExecutor>(window_);

  hook1_ = std::make_unique<THookHotKey>(application_, window_);
  hook1_->set_activate(true);
  hook1_->set_on_hot_key([this](THookHotKey&, int index) {
    if (index >= 1 && index <= kMapMenuCount) OpenMapMenu(index, PanelCorner(4 + index));
  });
  hook2_ = std::make_unique<THookHotKey>(application_, window_);
  hook2_->set_activate(false);
  hook2_->set_on_hot_key([this](THookHotKey&, int index) {
    if (index == 1) monitor_->ManualRefresh();
  });

  tray_ = std::make_unique<TTrayIcon>(application_, window_);
  tray_->BeginLoading();
  tray_->SetTipHelp("Kovun");
  tray_->SetVisible(false);
  tray_->SetHideOnTaskBar(true);
  tray_->set_check_single_double_click(true);
  tray_->OnDblClick = [this](TTrayIcon&) { application_.Restore(); };
  tray_->Loaded();

  monitor_ = std::make_unique<KovunMonitor>(
      *http_, SystemClock(), *timer1_driver_, *timer2_driver_, *executor_,
      PathsBesideSettings(settings_path, module_path), Hooks());
  application_.set_failure_handler(
      [this](std::exception_ptr failure) { monitor_->LogFailure(std::move(failure)); });
  tray_menu_ = std::make_shared<TrayMenu>(*this);
  tray_->SetRButtonPopupMenu(tray_menu_);
  monitor_->FormCreate();
}

TKovunForm::Impl::~Impl() {
  // Nothing waits for a slow service: the request in flight is given up,
  // the worker joined, and the poll's continuation dropped.
  if (http_) http_->Abandon();
  if (executor_) executor_->Stop();
  application_.set_failure_handler(nullptr);
  tray_.reset();
  hook1_.reset();
  hook2_.reset();
  monitor_.reset();  // stops the timers
  if (window_ && IsWindow(window_)) {
    UnbindWindowObject(window_);
    DestroyWindow(window_);
  }
  if (application_.main_window() == window_) application_.set_main_window(nullptr);
  for (HMENU menu : map_menus_) DestroyMenu(menu);
  DestroyMenu(menu1_);
}

MonitorHooks TKovunForm::Impl::Hooks() {
  MonitorHooks hooks;
  hooks.move_window = [this](int32_t left, int32_t top) {
    SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  };
  // The single-copy rule takes the named mutex "Kovun" through the core's
  // lock; the quit waits for the first poll (ModelChanged).
  hooks.post_quit = [] {};
  hooks.layout = [this](int32_t style) { Layout(style); };
  hooks.apply_topmost = [this](bool on) {
    SetWindowPos(window_, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
  };
  hooks.apply_tray = [this](bool on, const std::string& tip) {
    tray_->SetMinimized(on);
    tray_->SetVisible(on);
    if (on) tray_->SetTipHelp(tip);
  };
  hooks.register_hotkeys = [this](const KovunSettings& settings) {
    hook2_->RegisterShortCut(1, settings.hot_key.value);
    for (int n = 1; n <= kMapMenuCount; ++n) {
      hook1_->RegisterShortCut(n, settings.game_server_keys[n - 1].value);
    }
  };
  hooks.restore_application = [this] { application_.Restore(); };
  hooks.beep = [] { MessageBeep(MB_OK); };
  hooks.model_changed = [this] { ModelChanged(); };
  return hooks;
}

void TKovunForm::Impl::CreateControls() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  label_ =
      CreateWindowExW(0, L"STATIC", L"Arvel",
                      WS_CHILD | WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE | SS_NOTIFY | SS_NOPREFIX,
                      0, 0, 40, 12, window_, reinterpret_cast<HMENU>(kLabelId), instance, nullptr);
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                             WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, instance, nullptr);
  for (int n = 1; n <= kSlotCount - 1; ++n) {
    HWND panel = CreateWindowExW(
        0, kPanelClass, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 34, 17, window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPanelId + n)), instance, this);
    if (!panel || !label_) throw EOtherError("The main window's controls can't be created");
    panels_[n - 1] = panel;
    if (tooltip_) {
      TOOLINFOW tool{};
      tool.cbSize = sizeof(tool);
      tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
      tool.hwnd = window_;
      tool.uId = reinterpret_cast<UINT_PTR>(panel);
      tool.lpszText = const_cast<wchar_t*>(L"");
      SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
  }
  if (tooltip_) {
    // Hints are long single lines ("GameServer03 : Good ( 2/2:1450 )").
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 600);
  }
  ApplyFont();
}

void TKovunForm::Impl::ApplyFont() {
  font_ = std::make_unique<UiFont>(dpi_);
  SendMessageW(label_, WM_SETFONT, reinterpret_cast<WPARAM>(font_->handle()), TRUE);
  for (HWND panel : panels_) InvalidateRect(panel, nullptr, TRUE);
}

std::vector<ControlPlace> TKovunForm::Impl::Places() const {
  const WindowLayout& layout = LayoutOf(layout_);
  std::vector<ControlPlace> places;
  for (int i = 0; i < kLayoutControlCount; ++i) {
    const LayoutBox& box = layout.controls[i];
    places.push_back(ControlPlace{kPanelId + i, box.left, box.top, box.width, box.height});
  }
  return places;
}

// LayoutStandard, LayoutCompact, LayoutVertical: client size and control
// places of the layout, at the window's DPI; then the saved position is
// checked against the monitors now that the size is known.
void TKovunForm::Impl::Layout(int32_t style) {
  layout_ = LayoutKindOfStyle(style);
  const WindowLayout& layout = LayoutOf(layout_);
  const std::vector<ControlPlace> places = Places();
  ApplyLayout(window_, PixelSize{layout.client.width, layout.client.height}, places, dpi_);
  BringOntoMonitor();
}

void TKovunForm::Impl::BringOntoMonitor() {
  std::vector<ScreenRect> areas;
  EnumDisplayMonitors(
      nullptr, nullptr,
      [](HMONITOR monitor, HDC, LPRECT, LPARAM data) -> BOOL {
        MONITORINFO info{};
        info.cbSize = sizeof(info);
        if (GetMonitorInfoW(monitor, &info)) {
          reinterpret_cast<std::vector<ScreenRect>*>(data)->push_back(
              ScreenRect{info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom});
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&areas));
  RECT rect;
  GetWindowRect(window_, &rect);
  const LayoutPoint at =
      tol::BringOntoMonitor(areas, ScreenRect{rect.left, rect.top, rect.right, rect.bottom});
  if (at.x != rect.left || at.y != rect.top) {
    SetWindowPos(window_, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

// Edge snapping, on every position change of the window.
void TKovunForm::Impl::SnapToWorkArea(WINDOWPOS& pos) {
  RECT work;
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
    work = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  RECT current;
  GetWindowRect(window_, &current);
  const LayoutPoint at = tol::SnapToWorkArea(
      ScreenRect{work.left, work.top, work.right, work.bottom}, monitor_->settings().snap, pos.x,
      pos.y, current.right - current.left, current.bottom - current.top);
  pos.x = at.x;
  pos.y = at.y;
}

void TKovunForm::Impl::BuildMainMenu() {
  menu1_ = CreatePopupMenu();
  for (int i = 0; i < kWorldCount; ++i) {
    // Lumbra starts the second column.
    const UINT flags = MF_STRING | (i == 11 ? MF_MENUBARBREAK : 0);
    AppendMenuW(menu1_, flags, kWorldCommand + i, MenuText(Worlds()[i].name).c_str());
  }
  for (int p = 0; p < kPatchEntryCount; ++p) {
    const UINT flags = MF_STRING | (p == 0 ? MF_MENUBARBREAK : 0);
    AppendMenuW(menu1_, flags, kPatchCommand + p, MenuText(kPatchKeys[p]).c_str());
  }
  AppendMenuW(menu1_, MF_SEPARATOR, 0, nullptr);
  // The settings entry (N6) is hidden for good: a menu of the desktop has no
  // hidden entries, so it is left out.
  AppendMenuW(menu1_, MF_STRING, kN3Command, MenuText(kShowUpdateTimeText.bytes()).c_str());
  AppendMenuW(menu1_, MF_STRING, kN2Command, MenuText(kAlwaysInFrontText.bytes()).c_str());
  AppendMenuW(menu1_, MF_STRING, kN4Command, MenuText(kTaskTrayText.bytes()).c_str());
  AppendMenuW(menu1_, MF_STRING, kAbout1Command, MenuText(kVersionPageText.bytes()).c_str());
  for (HMENU& menu : map_menus_) menu = CreatePopupMenu();
}

void TKovunForm::Impl::PopupMainMenu(POINT at) {
  const MonitorModel& model = monitor_->model();
  for (int i = 0; i < kWorldCount; ++i) {
    EnableMenuItem(menu1_, kWorldCommand + i,
                   MF_BYCOMMAND | (model.world_entries[i].enabled ? MF_ENABLED : MF_GRAYED));
  }
  for (int p = 0; p < kPatchEntryCount; ++p) {
    EnableMenuItem(menu1_, kPatchCommand + p,
                   MF_BYCOMMAND | (model.patch_entries[p].enabled ? MF_ENABLED : MF_GRAYED));
  }
  CheckMenuItem(menu1_, kN3Command, MF_BYCOMMAND | (model.last_modified ? MF_CHECKED : 0));
  CheckMenuItem(menu1_, kN2Command, MF_BYCOMMAND | (model.set_window_pos ? MF_CHECKED : 0));
  CheckMenuItem(menu1_, kN4Command, MF_BYCOMMAND | (model.task_tray ? MF_CHECKED : 0));
  // Without the foreground the menu wouldn't close on a click elsewhere.
  SetForegroundWindow(window_);
  TrackPopupMenu(menu1_, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, window_,
                 nullptr);
  PostMessageW(window_, WM_NULL, 0, 0);
}

// The map menu of map server n at a screen position. Polls that finish
// while it is open leave it alone; it is rebuilt when it has closed.
void TKovunForm::Impl::OpenMapMenu(int n, POINT at) {
  HMENU menu = map_menus_[n - 1];
  if (GetMenuItemCount(menu) <= 0) return;  // an empty menu shows nothing
  SetForegroundWindow(window_);
  map_menu_open_ = true;
  TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, window_,
                 nullptr);
  map_menu_open_ = false;
  PostMessageW(window_, WM_NULL, 0, 0);
  if (maps_outdated_) RebuildMapMenus();
}

// Below the panel's bottom-left corner, where it stands when asked.
POINT TKovunForm::Impl::PanelCorner(int n) const {
  RECT rect;
  GetWindowRect(panels_[n - 1], &rect);
  return POINT{rect.left, rect.bottom};
}

void TKovunForm::Impl::PanelClick(int n) {
  if (n < 5) return;  // the service panels carry no menu
  POINT at;
  GetCursorPos(&at);
  OpenMapMenu(n - 4, at);
}

void TKovunForm::Impl::RebuildMapMenus() {
  const MapMenus& maps = monitor_->model().map_menus;
  for (int i = 0; i < kMapMenuCount; ++i) {
    HMENU menu = map_menus_[i];
    while (GetMenuItemCount(menu) > 0) DeleteMenu(menu, 0, MF_BYPOSITION);
    UINT id = kMapCommand;
    for (const MenuEntryModel& entry : maps[i]) {
      const UINT flags = MF_STRING | (entry.column_break ? MF_MENUBARBREAK : 0);
      AppendMenuW(menu, flags, id++, MenuText(entry.caption).c_str());
    }
  }
  shown_maps_ = maps;
  maps_outdated_ = false;
}

void TKovunForm::Impl::ModelChanged() {
  if (!monitor_ || closing_) return;
  const MonitorModel& model = monitor_->model();
  if (model.caption != shown_caption_) {
    shown_caption_ = model.caption;
    SetWindowTextW(window_, Wide(shown_caption_).c_str());
  }
  if (model.label1 != shown_label_) {
    shown_label_ = model.label1;
    SetWindowTextW(label_, Wide(shown_label_).c_str());
  }
  for (int n = 1; n <= kSlotCount - 1; ++n) {
    const PanelModel& panel = model.panel(n);
    PanelModel& shown = shown_panels_[n - 1];
    if (panel.color != shown.color || panel.caption != shown.caption) {
      InvalidateRect(panels_[n - 1], nullptr, FALSE);
    }
    if ((panel.hint != shown.hint || panel.hint_shown != shown.hint_shown) && tooltip_) {
      const std::wstring text = panel.hint_shown ? Wide(panel.hint) : std::wstring();
      TOOLINFOW tool{};
      tool.cbSize = sizeof(tool);
      tool.hwnd = window_;
      tool.uId = reinterpret_cast<UINT_PTR>(panels_[n - 1]);
      tool.lpszText = const_cast<wchar_t*>(text.c_str());
      SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    shown = panel;
  }
  if (!SameEntries(model.map_menus, shown_maps_)) {
    if (map_menu_open_) {
      maps_outdated_ = true;
    } else {
      RebuildMapMenus();
    }
  }
  // A second copy ends once its first poll is over.
  if (monitor_->quit_requested() && !quit_posted_ && !monitor_->poll_running()) {
    quit_posted_ = true;
    PostQuitMessage(0);
  }
}

void TKovunForm::Impl::PaintPanel(HWND panel, int n) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(panel, &paint);
  RECT rect;
  GetClientRect(panel, &rect);
  const PanelModel& model = monitor_ ? monitor_->model().panel(n) : PanelModel{};
  HBRUSH brush = CreateSolidBrush(ColorToRGB(static_cast<uint32_t>(model.color)));
  FillRect(dc, &rect, brush);
  DeleteObject(brush);
  DrawEdge(dc, &rect, BDR_RAISEDINNER, BF_RECT);
  if (font_) SelectObject(dc, font_->handle());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  const std::wstring caption = Wide(model.caption);
  DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &rect,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  EndPaint(panel, &paint);
}

void TKovunForm::Impl::Command(UINT id) {
  if (id >= kWorldCommand && id < kWorldCommand + kWorldCount) {
    monitor_->SwitchWorld(static_cast<int>(id - kWorldCommand));
  } else if (id >= kPatchCommand && id < kPatchCommand + kPatchEntryCount) {
    monitor_->ChoosePatchServer(static_cast<int>(id - kPatchCommand));
  } else if (id == kN2Command) {
    monitor_->N2Click();
  } else if (id == kN3Command) {
    monitor_->N3Click();
  } else if (id == kN4Command) {
    monitor_->N4Click();
  } else if (id == kAbout1Command && dialog_) {
    // About1Click: the version page, then the dialog as the settings entry
    // shows it; its result changes nothing.
    dialog_->SelectPage(TForm2::kVersionPage);
    dialog_->ShowModal();
  }
}

// FormClose: the settings saved with the window's edges, then the window
// goes at once; a request in flight is abandoned, not waited for.
void TKovunForm::Impl::Close() {
  if (closing_) return;
  SaveAtClose();
  closing_ = true;
  http_->Abandon();
  executor_->Stop();
  DestroyWindow(window_);
}

void TKovunForm::Impl::SaveAtClose() {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof(placement);
  RECT rect;
  GetWindowRect(window_, &rect);
  // A minimised window reports the icon's place; its edges are the normal
  // ones.
  if (IsIconic(window_) && GetWindowPlacement(window_, &placement)) {
    rect = placement.rcNormalPosition;
  }
  monitor_->FormClose(rect.left, rect.top);
}

LRESULT TKovunForm::Impl::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_TIMER:
      if (closing_) return 0;
      if (wparam == kTimer1Id) monitor_->timer1().Tick();
      if (wparam == kTimer2Id) monitor_->timer2().Tick();
      return 0;
    case kPollStepDone:
      if (!closing_) executor_->RunFinished();
      return 0;
    case WM_COMMAND:
      if (LOWORD(wparam) == kLabelId && HIWORD(wparam) == STN_DBLCLK) {
        monitor_->ManualRefresh();  // Label1DblClick
      } else if (HIWORD(wparam) == 0 && lparam == 0) {
        Command(LOWORD(wparam));
      }
      return 0;
    case WM_CONTEXTMENU: {
      POINT at{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
      if (lparam == -1) GetCursorPos(&at);  // from the keyboard
      PopupMainMenu(at);
      return 0;
    }
    case WM_WINDOWPOSCHANGING: {
      const LRESULT result = DefWindowProcW(window_, message, wparam, lparam);
      if (monitor_) SnapToWorkArea(*reinterpret_cast<WINDOWPOS*>(lparam));
      return result;
    }
    case WM_GETMINMAXINFO: {
      const WindowLayout& layout = LayoutOf(layout_);
      const PixelSize min = OuterSizeForClient(
          window_, PixelSize{layout.min_client.width, layout.min_client.height}, dpi_);
      auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
      info->ptMinTrackSize = POINT{min.width, min.height};
      return 0;
    }
    case WM_CTLCOLORSTATIC:
      SetBkMode(reinterpret_cast<HDC>(wparam), TRANSPARENT);
      SetTextColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_BTNTEXT));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_SIZE:
      if (wparam == SIZE_MINIMIZED && !application_.minimized()) {
        application_.NotifyMinimized();
      } else if (wparam != SIZE_MINIMIZED && application_.minimized()) {
        application_.NotifyRestored();
      }
      return 0;
    case WM_DPICHANGED:
      dpi_ = LOWORD(wparam);
      ApplyFont();
      ApplyDpiChange(window_, wparam, lparam, Places());
      return 0;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_ENDSESSION:
      // The session ends (logoff, shutdown): the process is ended without a
      // close, so the close-time save happens here.
      if (wparam && !closing_) {
        SaveAtClose();
        http_->Abandon();
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window_, message, wparam, lparam);
  }
}

LRESULT CALLBACK TKovunForm::Impl::FormProc(HWND window, UINT message, WPARAM wparam,
                                            LPARAM lparam) {
  Impl* self = WindowObject<Impl>(window, message, lparam);
  if (!self || !self->window_) return DefWindowProcW(window, message, wparam, lparam);
  LRESULT result = 0;
  // No failure crosses into the system's message dispatch: it goes to
  // LogException.
  bool handled = false;
  self->application_.RunGuarded([&] {
    result = self->Handle(message, wparam, lparam);
    handled = true;
  });
  return handled ? result : DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK TKovunForm::Impl::PanelProc(HWND panel, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
  Impl* self = WindowObject<Impl>(panel, message, lparam);
  const int n = GetDlgCtrlID(panel) - kPanelId;
  if (!self) return DefWindowProcW(panel, message, wparam, lparam);
  switch (message) {
    case WM_PAINT:
      self->application_.RunGuarded([&] { self->PaintPanel(panel, n); });
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the paint fills every pixel
    case WM_LBUTTONDOWN:
      SetCapture(panel);
      return 0;
    case WM_LBUTTONUP: {
      if (GetCapture() != panel) return 0;
      ReleaseCapture();
      RECT rect;
      GetClientRect(panel, &rect);
      const POINT at{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
      // A click is a press and a release on the panel.
      if (PtInRect(&rect, at)) self->application_.RunGuarded([&] { self->PanelClick(n); });
      return 0;
    }
    default:
      return DefWindowProcW(panel, message, wparam, lparam);
  }
}

TKovunForm::TKovunForm(Application& application, const FilePath& settings_path,
                       const FilePath& module_path)
    : impl_(std::make_unique<Impl>(application, settings_path, module_path)) {}

TKovunForm::~TKovunForm() = default;

void TKovunForm::set_settings_dialog(TForm2* dialog) { impl_->set_dialog(dialog); }
HWND__* TKovunForm::handle() const { return impl_->window(); }
bool TKovunForm::second_copy() const { return impl_->second_copy(); }

}  // namespace tol

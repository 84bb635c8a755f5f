#include "monitor/win32/kovun_form.h"

// windows.h before the shell and common-control headers.
#include <windows.h>
// clang-format off
#include <commctrl.h>
#include <shellapi.h>
// clang-format on

#include <array>
#include <functional>
#include <optional>
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
#include "monitor/win32/history_window.h"
#include "monitor/win32/settings_dialog.h"
#include "monitor/win32/state_icon.h"
#include "monitor/win32/window_poll_executor.h"
#include "monitor/worlds.h"
#include "net/http_client.h"
#include "notify/webhook_notifier.h"
#include "serve/status_server.h"
#include "shared/codepage.h"
#include "shared/errors.h"

namespace tol {
namespace {

constexpr wchar_t kFormClass[] = L"TKovunForm";
constexpr wchar_t kPanelClass[] = L"TKovunPanel";

// A network step of a poll has finished on the worker.
constexpr UINT kPollStepDone = WM_APP + 1;
// A worker (the webhooks', a history read back) reports a failure for the
// error log (lparam: a new std::exception_ptr).
constexpr UINT kWorkerFailure = WM_APP + 2;
// A webhook test has ended (wparam: sent, lparam: a new std::string, its
// description in code page 932).
constexpr UINT kNotifyTestDone = WM_APP + 3;
// A world's history, read back from the history file on a worker, is ready
// (lparam: a new HistoryReadBack).
constexpr UINT kHistoryReadBack = WM_APP + 4;

constexpr UINT_PTR kTimer1Id = 1;
// How long an alert's balloon asks to stay (the system clamps it).
constexpr int kAlertBalloonMs = 10000;
constexpr UINT_PTR kTimer2Id = 2;
// While alerts are held, the desktop is asked again this often.
constexpr UINT_PTR kHeldAlertsTimerId = 3;
constexpr UINT kHeldAlertsCheckMs = 3000;
// The icon shown only for a test message's balloon goes again after it.
constexpr UINT_PTR kBalloonIconTimerId = 4;

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
constexpr UINT kHistoryCommand = 1205;
constexpr UINT kNotifyTestCommand = 1206;
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

// SHQueryUserNotificationState, looked up at run time: a shell without it
// (before Windows Vista) always accepts notifications, and so does one that
// can't tell.
NotificationState SystemNotificationState() {
  using Query = HRESULT(WINAPI*)(int*);
  static const Query query = [] {
    HMODULE shell = GetModuleHandleW(L"shell32.dll");
    if (shell == nullptr) shell = LoadLibraryW(L"shell32.dll");
    return shell != nullptr ? reinterpret_cast<Query>(reinterpret_cast<void*>(
                                  GetProcAddress(shell, "SHQueryUserNotificationState")))
                            : nullptr;
  }();
  int state = 0;
  if (query == nullptr || FAILED(query(&state))) return NotificationState::kAccepts;
  switch (state) {
    case 2:  // QUNS_BUSY: a full-screen application
    case 3:  // QUNS_RUNNING_D3D_FULL_SCREEN: a full-screen game
    case 4:  // QUNS_PRESENTATION_MODE
      return NotificationState::kHold;
    case 6:  // QUNS_QUIET_TIME: the first hour after a new user's logon
      return NotificationState::kQuietTime;
    default:
      return NotificationState::kAccepts;
  }
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

}  // namespace

class TKovunForm::Impl {
 public:
  Impl(Application& application, const FilePath& settings_path, const FilePath& module_path,
       KovunFormPorts ports);
  ~Impl();

  HWND window() const { return window_; }
  HWND history_window() const { return history_ ? history_->handle() : nullptr; }
  const TTrayIcon& tray() const { return *tray_; }
  bool second_copy() const { return monitor_->quit_requested(); }
  void set_dialog(TForm2* dialog) { dialog_ = dialog; }

  static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

 private:
  static HINSTANCE RegisterClassesOnce();

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
  void TearDown();
  void Close();
  void StopPolling();
  void SaveAtClose();

  // Drawing the model: what differs from what the window shows.
  void ModelChanged();
  bool AlertsOn() const;
  void ShowAlerts(const MonitorEvents& events);
  void TellAlerts(const AlertNotifier::Decision& decision);
  void DrawStateIcon();
  void RebuildMapMenus();
  void DrawPanel(HWND panel, HDC dc, int n);
  void PanelClick(int n);

  void BuildMainMenu();
  void AddHistoryEntry();
  void AddNotifyTestEntry();
  void StartNotifyTest();
  void NotifyTestDone(bool sent, const std::string& description);
  void PopupMainMenu(POINT at);
  void OpenMapMenu(int n, POINT at);
  void TrackMenu(HMENU menu, POINT at);
  POINT HotkeyMenuCorner(int n) const;
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
  std::unique_ptr<HistoryWindow> history_;
  // [Notify] Webhook: the sink and the settings file its test reads.
  std::unique_ptr<WebhookNotifier> webhooks_;
  FilePath settings_path_;
  bool notify_test_running_ = false;
  KovunFormPorts ports_;
  AlertNotifier notifier_;
  // [Serve] Port: the local status endpoint, fed after each poll.
  ServeSettings serve_;
  std::unique_ptr<StatusServer> server_;

  // What the window shows now.
  std::string shown_caption_, shown_label_;
  std::array<PanelModel, kSlotCount - 1> shown_panels_;
  MapMenus shown_maps_;
  // Menus open now (map or main): a menu can't open inside another, and
  // the map menus aren't rebuilt under one.
  int menus_open_ = 0;
  bool maps_outdated_ = false;
  bool closing_ = false;
  bool polling_stopped_ = false;     // closing, or the session is ending
  std::optional<RECT> normal_rect_;  // where the window last stood, not minimised
  bool quit_posted_ = false;
  // The state the notification-area icon is drawn in, and at which DPI.
  ServerState icon_state_ = ServerState::kNone;
  unsigned icon_dpi_ = 0;
};

TKovunForm::Impl::Impl(Application& application, const FilePath& settings_path,
                       const FilePath& module_path, KovunFormPorts ports)
    : application_(application),
      ports_(std::move(ports)),
      notifier_(ports_.notification_state ? ports_.notification_state : SystemNotificationState) {
  const HINSTANCE instance = RegisterClassesOnce();
  // Sizeable frame with the system menu and the minimise box, no maximise
  // box; hidden until the program shows it after the start-up sequence.
  window_ =
      CreateWindowExW(0, kFormClass, L"Kovun",
                      WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME,
                      CW_USEDEFAULT, CW_USEDEFAULT, 200, 60, nullptr, nullptr, instance, this);
  if (!window_) throw EOtherError("The main window can't be created");
  // A failure from here on takes the window with it: none is left behind
  // leading to this half-built object.
  struct TearDownOnFailure {
    Impl* form;
    bool armed = true;
    ~TearDownOnFailure() {
      if (armed) form->TearDown();
    }
  } tear_down_on_failure{this};
  // Whoever asks the window rather than its class (WM_GETICON: the taskbar,
  // Alt+Tab, Wine's window manager hints) gets the same two icons.
  SendMessageW(window_, WM_SETICON, ICON_BIG, GetClassLongPtrW(window_, GCLP_HICON));
  SendMessageW(window_, WM_SETICON, ICON_SMALL, GetClassLongPtrW(window_, GCLP_HICONSM));
  application_.set_main_window(window_);
  dpi_ = WindowDpi(window_);
  CreateControls();
  BuildMainMenu();

  http_ = ports_.http ? std::move(ports_.http) : CreateHttpClient(SystemClock());
  timer1_driver_ = std::make_unique<WindowTimerDriver>(window_, kTimer1Id);
  timer2_driver_ = std::make_unique<WindowTimerDriver>(window_, kTimer2Id);
  executor_ = std::make_unique<WindowPollExecutor>(
      [window = window_] { return PostMessageW(window, kPollStepDone, 0, 0) != FALSE; });

  hook1_ = std::make_unique<THookHotKey>(application_, window_);
  hook1_->set_activate(true);
  hook1_->set_on_hot_key([this](THookHotKey&, int index) {
    if (index >= 1 && index <= kMapMenuCount) OpenMapMenu(index, HotkeyMenuCorner(4 + index));
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

  settings_path_ = settings_path;
  webhooks_ = CreateWebhookNotifier(
      settings_path, SystemClock(), [window = window_](std::exception_ptr failure) {
        auto* posted = new std::exception_ptr(std::move(failure));
        if (!PostMessageW(window, kWorkerFailure, 0, reinterpret_cast<LPARAM>(posted))) {
          delete posted;
        }
      });
  serve_ = ReadServeSettingsFile(settings_path);
  monitor_ = std::make_unique<KovunMonitor>(
      *http_, SystemClock(), *timer1_driver_, *timer2_driver_, *executor_,
      PathsBesideSettings(settings_path, module_path), Hooks());
  application_.set_failure_handler(
      [this](std::exception_ptr failure) { monitor_->LogFailure(std::move(failure)); });
  tray_menu_ = std::make_shared<TrayMenu>(*this);
  tray_->SetRButtonPopupMenu(tray_menu_);
  monitor_->FormCreate();
  if (!second_copy()) {
    server_ = StartConfiguredStatusServer(serve_, SystemClock(), [this](std::exception_ptr e) {
      monitor_->LogFailure(std::move(e));
    });
  }
  AddHistoryEntry();
  AddNotifyTestEntry();
  tear_down_on_failure.armed = false;
}

TKovunForm::Impl::~Impl() { TearDown(); }

void TKovunForm::Impl::TearDown() {
  // Nothing waits for a slow service: the request in flight is given up,
  // the worker joined, and the poll's continuation dropped.
  StopPolling();
  server_.reset();  // closes every connection
  webhooks_.reset();
  application_.set_failure_handler(nullptr);
  history_.reset();
  tray_.reset();
  hook1_.reset();
  hook2_.reset();
  monitor_.reset();  // stops the timers
  if (window_ && IsWindow(window_)) {
    UnbindWindowObject(window_);
    DestroyWindow(window_);
  }
  if (window_ && application_.main_window() == window_) application_.set_main_window(nullptr);
  window_ = nullptr;
  for (HMENU& menu : map_menus_) DestroyMenu(std::exchange(menu, nullptr));
  DestroyMenu(std::exchange(menu1_, nullptr));
}

// The request in flight is given up and the worker stopped before any more of
// the poll can run on this thread: the abandoned request must not end in
// LogException.
void TKovunForm::Impl::StopPolling() {
  if (std::exchange(polling_stopped_, true)) return;
  if (http_) http_->Abandon();
  if (executor_) executor_->Stop();
}

// The window classes, once per process. The main window's carries the
// program's icon in both sizes: the large one for Alt+Tab, the small one for
// the title bar and the taskbar.
HINSTANCE TKovunForm::Impl::RegisterClassesOnce() {
  static const HINSTANCE instance = [] {
    const HINSTANCE module = GetModuleHandleW(nullptr);
    WNDCLASSEXW form{};
    form.style = CS_DBLCLKS;
    form.lpfnWndProc = FormProc;
    form.hIcon =
        static_cast<HICON>(LoadImageW(module, L"MAINICON", IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                      GetSystemMetrics(SM_CYICON), LR_SHARED));
    form.hIconSm = static_cast<HICON>(LoadImageW(module, L"MAINICON", IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXSMICON),
                                                 GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    form.lpszClassName = kFormClass;
    RegisterWindowClass(form, "The main window class can't be registered");
    WNDCLASSEXW panel{};
    panel.style = CS_DBLCLKS;
    panel.lpfnWndProc = PanelProc;
    panel.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    panel.lpszClassName = kPanelClass;
    return RegisterWindowClass(panel, "The panel window class can't be registered");
  }();
  return instance;
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
    if (AlertsOn()) {
      // A balloon needs the icon, and the icon shows the watched servers'
      // state: while alerts are on it stays in the notification area, and
      // tray mode only takes the taskbar button away on minimise.
      tray_->SetHideOnTaskBar(on);
      tray_->SetMinimized(false);
      tray_->SetVisible(true);
    } else {
      tray_->SetMinimized(on);
      tray_->SetVisible(on);
    }
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
  // Reading a week of history back takes tens of milliseconds: a worker
  // reads, the UI thread installs the result (a world switched meanwhile
  // drops it). The worker owns all it uses, so a window closed before it
  // ends loses nothing but the result.
  hooks.read_history = [this](HistoryQuery query) {
    std::thread([window = window_, query = std::move(query)] {
      try {
        auto* read = new HistoryReadBack(ReadHistory(query));
        if (!PostMessageW(window, kHistoryReadBack, 0, reinterpret_cast<LPARAM>(read))) delete read;
      } catch (...) {
        auto* failure = new std::exception_ptr(std::current_exception());
        if (!PostMessageW(window, kWorkerFailure, 0, reinterpret_cast<LPARAM>(failure))) {
          delete failure;
        }
      }
    }).detach();
  };
  hooks.poll_events = serve_.enabled() || (webhooks_ && webhooks_->wants_poll_events());
  hooks.events = [this](const MonitorEvents& events) {
    if (webhooks_) webhooks_->Post(events);
    if (server_) server_->Publish(events, monitor_->alert_monitor());
    ShowAlerts(events);
  };
  hooks.observed = [this] {
    DrawStateIcon();
    if (history_) history_->Update();
  };
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

// The history entry, after a separator at the end of the main menu, for a
// player who asked for alerts or a history file; without either the menu
// stays as it always was.
void TKovunForm::Impl::AddHistoryEntry() {
  const KovunSettings& settings = monitor_->settings();
  if (!settings.alerts.enabled && settings.alerts.history_file.empty()) return;
  AppendMenuW(menu1_, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu1_, MF_STRING, kHistoryCommand, MenuText(kHistoryTitleText.bytes()).c_str());
  HistorySource source;
  source.history = [this]() -> const HistoryRing& { return monitor_->alert_monitor()->history(); };
  source.caption = [this](int slot) { return monitor_->model().panel(slot).caption; };
  source.colors = [this]() -> const ColorSettings& { return monitor_->settings().colors; };
  history_ = std::make_unique<HistoryWindow>(std::move(source));
}

// "通知のテスト" after the history entry, only with a webhook set.
void TKovunForm::Impl::AddNotifyTestEntry() {
  if (!webhooks_) return;
  if (!history_) AppendMenuW(menu1_, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu1_, MF_STRING, kNotifyTestCommand, MenuText(kNotifyTestText.bytes()).c_str());
}

// The test runs on a thread of its own with its own client; its outcome
// comes back as a posted message, so the window never waits. A window closed
// meanwhile drops the message (the thread owns all it uses).
void TKovunForm::Impl::StartNotifyTest() {
  if (notify_test_running_) return;
  notify_test_running_ = true;
  std::thread([window = window_, path = settings_path_] {
    std::string description;
    bool sent = false;
    try {
      sent = RunWebhookTest(path, SystemClock(), &description) == WebhookTestOutcome::kSent;
    } catch (const std::exception& e) {
      description = e.what();
    }
    auto* posted = new std::string(std::move(description));
    if (!PostMessageW(window, kNotifyTestDone, sent, reinterpret_cast<LPARAM>(posted))) {
      delete posted;
    }
  }).detach();
}

void TKovunForm::Impl::NotifyTestDone(bool sent, const std::string& description) {
  notify_test_running_ = false;
  if (closing_) return;
  // A balloon needs the icon: it comes into the notification area for it,
  // and goes again with the balloon when nothing else keeps it there.
  if (!tray_->visible()) {
    tray_->SetVisible(true);
    SetTimer(window_, kBalloonIconTimerId, kAlertBalloonMs, nullptr);
  }
  tray_->ShowBalloonHelp(
      "Kovun",
      FillText((sent ? kNotifyTestSentText : kNotifyTestFailedText).bytes(), {description}),
      kAlertBalloonMs, sent ? TBalloonIconType::bitInfo : TBalloonIconType::bitWarning);
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
  TrackMenu(menu1_, at);
}

// The map menu of map server n at a screen position.
void TKovunForm::Impl::OpenMapMenu(int n, POINT at) {
  HMENU menu = map_menus_[n - 1];
  if (GetMenuItemCount(menu) <= 0) return;  // an empty menu shows nothing
  TrackMenu(menu, at);
}

// Shows `menu` until it closes. Only one at a time: a hotkey that arrives
// while a menu is open (its loop dispatches the hotkey's message) would open
// a second one inside the first, or fail and lose track of the first. Polls
// that finish meanwhile leave the map menus alone; they are rebuilt when the
// menu has closed.
void TKovunForm::Impl::TrackMenu(HMENU menu, POINT at) {
  if (menus_open_ > 0) return;
  // Without the foreground the menu wouldn't close on a click elsewhere.
  SetForegroundWindow(window_);
  ++menus_open_;
  TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, window_,
                 nullptr);
  --menus_open_;
  PostMessageW(window_, WM_NULL, 0, 0);
  if (maps_outdated_ && !closing_) RebuildMapMenus();
}

// Where map server n's hotkey opens its menu: from the panel's place in the
// client area and the window's edges as they are now, or at the pointer
// while the window is minimised or in the notification area.
POINT TKovunForm::Impl::HotkeyMenuCorner(int n) const {
  RECT window, client, panel;
  GetWindowRect(window_, &window);
  GetClientRect(window_, &client);
  GetWindowRect(panels_[n - 1], &panel);
  MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&panel), 2);
  POINT pointer{};
  GetCursorPos(&pointer);
  const bool shown = IsWindowVisible(window_) && !IsIconic(window_);
  const LayoutPoint at =
      HotkeyMenuPlace(shown, ScreenRect{window.left, window.top, window.right, window.bottom},
                      LayoutSize{client.right - client.left, client.bottom - client.top},
                      LayoutPoint{panel.left, panel.top}, LayoutPoint{pointer.x, pointer.y});
  return POINT{at.x, at.y};
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
    // Another world: the history window shows that world's history.
    if (history_) history_->Update();
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
    if (menus_open_ > 0) {
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

bool TKovunForm::Impl::AlertsOn() const {
  return monitor_ && monitor_->alert_monitor() && monitor_->alert_monitor()->enabled();
}

// The alerts of a finished poll: at most one balloon, and nothing while the
// desktop holds notifications (a full-screen game); the first poll or
// check after that tells what happened meanwhile.
void TKovunForm::Impl::ShowAlerts(const MonitorEvents& events) {
  if (closing_ || !AlertsOn()) return;
  std::vector<Alert> alerts;
  alerts.reserve(events.alerts.size());
  for (const auto& event : events.alerts) alerts.push_back(event->alert);
  TellAlerts(notifier_.Poll(alerts));
}

// A balloon from the icon, one beep when asked for, and with tray mode off
// the taskbar button flashes until the window is activated. Nothing takes
// the focus or raises a window. The balloon never plays the shell's own
// sound: with Sound=1 the default beep is the one sound (the shell's
// balloon sound depends on its version and the player's sound scheme, and
// "the default beep" is what the setting promises); with Sound=0 there is
// none. The shell drops the balloon during its quiet time, and then no beep
// or flash goes either.
void TKovunForm::Impl::TellAlerts(const AlertNotifier::Decision& decision) {
  if (notifier_.holding()) {
    SetTimer(window_, kHeldAlertsTimerId, kHeldAlertsCheckMs, nullptr);
  } else {
    KillTimer(window_, kHeldAlertsTimerId);
  }
  if (!decision.balloon) return;
  const AlertBalloon& balloon = *decision.balloon;
  const bool shown = tray_->ShowBalloonHelp(
      "Kovun", balloon.text, kAlertBalloonMs,
      balloon.warning ? TBalloonIconType::bitWarning : TBalloonIconType::bitInfo,
      kBalloonNoSound | kBalloonRespectQuietTime);
  if (!shown || decision.state != NotificationState::kAccepts) return;
  if (monitor_->alert_monitor()->sound()) {
    if (ports_.alert_beep) {
      ports_.alert_beep();
    } else {
      MessageBeep(MB_OK);
    }
  }
  if (!monitor_->model().task_tray && GetForegroundWindow() != window_) {
    FLASHWINFO flash{};
    flash.cbSize = sizeof(flash);
    flash.hwnd = window_;
    flash.dwFlags = FLASHW_TRAY | FLASHW_TIMERNOFG;
    FlashWindowEx(&flash);
  }
}

// The notification-area icon in the colour of the worst watched state,
// drawn anew only when that state or the window's DPI changed. Before any
// baseline the program's own icon stays.
void TKovunForm::Impl::DrawStateIcon() {
  if (closing_ || !AlertsOn()) return;
  const ServerState state = monitor_->alert_monitor()->WorstWatchedState();
  if (state == icon_state_ && dpi_ == icon_dpi_) return;
  icon_state_ = state;
  icon_dpi_ = dpi_;
  if (state == ServerState::kNone) {
    tray_->SetIcon(nullptr);
    return;
  }
  HICON icon = CreateStateIcon(state, monitor_->settings().colors, StateIconSize(dpi_));
  if (icon == nullptr) return;
  tray_->SetIcon(icon);  // keeps a copy
  DestroyIcon(icon);
}

// Panel n in its colour with its caption, into `dc`: the panel's own paint,
// or a copy of it asked for by WM_PRINTCLIENT. The DC goes back as it came:
// a font left selected in it couldn't be deleted when a DPI change replaces
// it, and the caller of WM_PRINTCLIENT keeps drawing with its own settings.
void TKovunForm::Impl::DrawPanel(HWND panel, HDC dc, int n) {
  const int saved = SaveDC(dc);
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
  RestoreDC(dc, saved);
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
  } else if (id == kHistoryCommand && history_) {
    history_->Open(window_);
  } else if (id == kNotifyTestCommand && webhooks_) {
    StartNotifyTest();
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
  StopPolling();
  DestroyWindow(window_);
}

// The window's edges, or while it is minimised (in the notification area
// too) the edges it had before and gets back when restored. Those are taken
// as the window last stood, not from its placement: the placement's normal
// position is in workspace coordinates on Windows (shifted by a taskbar at
// the top or left, so a position saved from it would creep by the taskbar's
// thickness at every such close) and in screen coordinates under Wine.
void TKovunForm::Impl::SaveAtClose() {
  RECT rect;
  GetWindowRect(window_, &rect);
  if (IsIconic(window_) && normal_rect_) rect = *normal_rect_;
  // The webhook worker may save the status message id: it ends first.
  if (webhooks_) webhooks_->Stop();
  monitor_->FormClose(rect.left, rect.top);
}

LRESULT TKovunForm::Impl::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_TIMER:
      if (polling_stopped_) return 0;
      if (wparam == kTimer1Id) monitor_->timer1().Tick();
      if (wparam == kTimer2Id) monitor_->timer2().Tick();
      if (wparam == kHeldAlertsTimerId && !closing_) TellAlerts(notifier_.Recheck());
      if (wparam == kBalloonIconTimerId) {
        KillTimer(window_, kBalloonIconTimerId);
        // Where alerts or tray mode keep the icon, it stays.
        if (!closing_) tray_->SetVisible(AlertsOn() || monitor_->model().task_tray);
      }
      return 0;
    case kPollStepDone:
      if (!polling_stopped_) executor_->RunFinished();
      return 0;
    case kWorkerFailure: {
      std::unique_ptr<std::exception_ptr> failure(reinterpret_cast<std::exception_ptr*>(lparam));
      if (!closing_) monitor_->LogFailure(*failure);
      return 0;
    }
    case kHistoryReadBack: {
      std::unique_ptr<HistoryReadBack> read(reinterpret_cast<HistoryReadBack*>(lparam));
      if (closing_ || !monitor_) return 0;
      monitor_->InstallHistory(std::move(*read));
      if (history_) history_->Update();
      return 0;
    }
    case kNotifyTestDone: {
      std::unique_ptr<std::string> description(reinterpret_cast<std::string*>(lparam));
      NotifyTestDone(wparam != 0, *description);
      return 0;
    }
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
    case WM_WINDOWPOSCHANGED: {
      // Minimising sets the style before it moves the window to its icon.
      if (!IsIconic(window_)) {
        RECT rect;
        GetWindowRect(window_, &rect);
        normal_rect_ = rect;
      }
      return DefWindowProcW(window_, message, wparam, lparam);
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
      DrawStateIcon();
      ApplyFont();
      ApplyDpiChange(window_, wparam, lparam, Places());
      return 0;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_ENDSESSION:
      // The session ends (logoff, shutdown): the process is ended without a
      // close, so the close-time save happens here, and a poll in flight
      // goes quietly.
      if (wparam && !closing_) {
        SaveAtClose();
        StopPolling();
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
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(panel, &paint);
      self->application_.RunGuarded([&] { self->DrawPanel(panel, dc, n); });
      EndPaint(panel, &paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      self->application_.RunGuarded(
          [&] { self->DrawPanel(panel, reinterpret_cast<HDC>(wparam), n); });
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
                       const FilePath& module_path, KovunFormPorts ports)
    : impl_(std::make_unique<Impl>(application, settings_path, module_path, std::move(ports))) {}

TKovunForm::~TKovunForm() = default;

void TKovunForm::set_settings_dialog(TForm2* dialog) { impl_->set_dialog(dialog); }
HWND__* TKovunForm::handle() const { return impl_->window(); }
bool TKovunForm::second_copy() const { return impl_->second_copy(); }
const TTrayIcon& TKovunForm::tray_icon() const { return impl_->tray(); }
HWND__* TKovunForm::history_window() const { return impl_->history_window(); }

}  // namespace tol

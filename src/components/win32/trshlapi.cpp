#include "components/win32/trshlapi.h"

#include <windows.h>

// After <windows.h>, which they build on.
#include <commctrl.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "components/shell_version.h"
#include "components/win32/colors.h"
#include "components/win32/window_class.h"
#include "shared/codepage.h"
#include "shared/errors.h"
#include "shared/text.h"

namespace tol {

// ---------------------------------------------------------------------------
// The process-wide list of live entries.

class TTrayIconWinProcList {
 public:
  static constexpr const wchar_t* kClassName = L"TaskTrayHandle";

  // The list, created with the first entry of the process.
  static TTrayIconWinProcList& Get() {
    if (!instance_) instance_.reset(new TTrayIconWinProcList());
    return *instance_;
  }

  void Add(TTaskTrayIcon* entry) { entries_.push_back(entry); }
  // The last entry to leave frees the list and unregisters the class.
  static void Remove(TTaskTrayIcon* entry) {
    if (!instance_) return;
    auto& entries = instance_->entries_;
    entries.erase(std::remove(entries.begin(), entries.end(), entry), entries.end());
    if (entries.empty()) instance_.reset();
  }

  HINSTANCE instance() const { return instance_handle_; }

  ~TTrayIconWinProcList() { UnregisterClassW(kClassName, instance_handle_); }

 private:
  TTrayIconWinProcList() : instance_handle_(GetModuleHandleW(nullptr)) {
    WNDCLASSEXW window_class{};
    window_class.lpfnWndProc = &Procedure;
    window_class.hIcon = LoadIconW(instance_handle_, L"MAINICON");
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = kClassName;
    RegisterWindowClass(window_class, "The notification-area window class can't be registered.");
    TaskbarCreatedMessage();  // registered with the first entry
  }

  TTaskTrayIcon* Find(HWND window) const {
    for (TTaskTrayIcon* entry : entries_) {
      if (entry->window_ == window) return entry;
    }
    return nullptr;
  }

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    TTaskTrayIcon* entry = instance_ ? instance_->Find(window) : nullptr;
    if (entry == nullptr) return DefWindowProcW(window, message, wparam, lparam);
    return entry->Dispatch(message, wparam, lparam);
  }

  static inline std::unique_ptr<TTrayIconWinProcList> instance_;

  HINSTANCE instance_handle_;
  std::vector<TTaskTrayIcon*> entries_;
};

unsigned TaskbarCreatedMessage() {
  // The same number for the whole session of the desktop.
  static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
  return message;
}

// ---------------------------------------------------------------------------
// The tracker's desktop side.

namespace {

// The notification area's tooltip window: the first top-level
// "tooltips_class32" window of the taskbar's process whose style lacks
// TTS_NOPREFIX. None on a desktop without a taskbar.
HWND FindTrayTooltip() {
  const HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
  if (taskbar == nullptr) return nullptr;
  struct Search {
    DWORD process = 0;
    HWND found = nullptr;
  } search;
  GetWindowThreadProcessId(taskbar, &search.process);
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(data);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process != s.process) return TRUE;
        wchar_t name[32];
        if (GetClassNameW(window, name, 32) == 0 || lstrcmpiW(name, TOOLTIPS_CLASSW) != 0) {
          return TRUE;
        }
        if ((GetWindowLongW(window, GWL_STYLE) & TTS_NOPREFIX) != 0) return TRUE;
        s.found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

TCustomToolTipStyle::TCustomToolTipStyle() : tooltip_(FindTrayTooltip()) {}

TCustomToolTipStyle::~TCustomToolTipStyle() {
  watcher_.reset();
  RestoreTipColors();
}

void TCustomToolTipStyle::Observe(unsigned message, intptr_t wparam, intptr_t lparam) {
  if (message == kWatcherCheckMessage) {
    // The watcher's pace: only the watcher that is still ours is answered.
    // The check may report the exit, whose handler may destroy this tracker:
    // nothing here touches it afterwards.
    if (watcher_ && lparam == reinterpret_cast<intptr_t>(watcher_.get())) tracker_.CheckPointer();
    return;
  }
  tracker_.Observe(message, wparam, lparam);
}

void TCustomToolTipStyle::Send(intptr_t wparam, intptr_t lparam) {
  if (window_ != nullptr) SendMessageW(window_, kTrayCallbackMessage, wparam, lparam);
}

void TCustomToolTipStyle::Post(intptr_t wparam, intptr_t lparam) {
  if (window_ != nullptr) PostMessageW(window_, kTrayCallbackMessage, wparam, lparam);
}

bool TCustomToolTipStyle::StartTimer(unsigned milliseconds) {
  // No timer procedure: the expiry comes back as WM_TIMER through the hidden
  // window's own procedure.
  return window_ != nullptr && SetTimer(window_, kClickTimerId, milliseconds, nullptr) != 0;
}

void TCustomToolTipStyle::KillTimer() {
  if (window_ != nullptr) ::KillTimer(window_, kClickTimerId);
}

unsigned TCustomToolTipStyle::DoubleClickTime() { return GetDoubleClickTime(); }

ScreenPoint TCustomToolTipStyle::CursorPos() {
  POINT point{};
  GetCursorPos(&point);
  return {point.x, point.y};
}

void TCustomToolTipStyle::ApplyTipColors(uint32_t background, uint32_t text) {
  if (tooltip_ == nullptr || !IsWindow(tooltip_)) return;
  // The tooltip takes plain colours only: system colours are looked up.
  SendMessageW(tooltip_, TTM_SETTIPBKCOLOR, ColorToRGB(background), 0);
  SendMessageW(tooltip_, TTM_SETTIPTEXTCOLOR, ColorToRGB(text), 0);
}

void TCustomToolTipStyle::RestoreTipColors() {
  if (tooltip_ == nullptr || !IsWindow(tooltip_)) return;
  SendMessageW(tooltip_, TTM_POP, 0, 0);
  SendMessageW(tooltip_, TTM_SETTIPBKCOLOR, GetSysColor(COLOR_INFOBK), 0);
  SendMessageW(tooltip_, TTM_SETTIPTEXTCOLOR, GetSysColor(COLOR_INFOTEXT), 0);
}

void TCustomToolTipStyle::WakeWatcher() {
  if (window_ == nullptr) return;
  if (!watcher_) watcher_ = std::make_unique<TMouseEventMaker>(window_);
  watcher_->Resume();
}

void TCustomToolTipStyle::AnswerWatcher(bool go_on) {
  if (watcher_) watcher_->Answer(go_on);
}

// ---------------------------------------------------------------------------
// Shell version.

uint32_t SystemShellVersion() {
  if (HMODULE shell = LoadLibraryW(L"shell32.dll")) {
    uint32_t version = 0;
    // Through a generic pointer: the entry's real type isn't FARPROC's.
    auto get_version = reinterpret_cast<DLLGETVERSIONPROC>(
        reinterpret_cast<void*>(GetProcAddress(shell, "DllGetVersion")));
    if (get_version != nullptr) {
      DLLVERSIONINFO info{};
      info.cbSize = sizeof(info);
      if (SUCCEEDED(get_version(&info))) {
        version = ShellVersion(info.dwMajorVersion, info.dwMinorVersion);
      }
    }
    FreeLibrary(shell);
    if (version != 0) return version;
  }
  // The file's own version text, first listed translation.
  wchar_t directory[MAX_PATH];
  const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
  if (length == 0 || length >= MAX_PATH - 16) return 0;
  std::wstring path(directory, length);
  path += L"\\shell32.dll";
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return 0;
  std::vector<unsigned char> data(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return 0;
  struct Translation {
    WORD language;
    WORD code_page;
  };
  Translation* translations = nullptr;
  UINT translations_size = 0;
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translations), &translations_size) ||
      translations_size < sizeof(Translation)) {
    return 0;
  }
  wchar_t key[64];
  wsprintfW(key, L"\\StringFileInfo\\%04x%04x\\FileVersion", translations[0].language,
            translations[0].code_page);
  wchar_t* text = nullptr;
  UINT text_length = 0;
  if (!VerQueryValueW(data.data(), key, reinterpret_cast<void**>(&text), &text_length) ||
      text == nullptr) {
    return 0;
  }
  std::u16string_view view(reinterpret_cast<const char16_t*>(text), wcsnlen(text, text_length));
  return ShellVersionFromFileVersion(view);
}

// ---------------------------------------------------------------------------
// The entry.

struct TTaskTrayIcon::Record {
  NOTIFYICONDATAW data{};
};

// The thread that hands balloons to the shell: Shell_NotifyIcon waits for
// the notification area's answer, seconds when the shell is busy. It sends
// the newest balloon given and sleeps while there is none.
class TTaskTrayIcon::BalloonSender {
 public:
  BalloonSender() : thread_([this] { Run(); }) {}
  // A balloon not sent yet is dropped; one being sent is waited for.
  ~BalloonSender() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }
  BalloonSender(const BalloonSender&) = delete;
  BalloonSender& operator=(const BalloonSender&) = delete;

  void Send(const NOTIFYICONDATAW& data) {
    {
      std::lock_guard lock(mutex_);
      pending_ = data;
    }
    wake_.notify_one();
  }

 private:
  void Run() {
    for (;;) {
      NOTIFYICONDATAW data;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stop_ || pending_.has_value(); });
        if (stop_) return;
        data = *pending_;
        pending_.reset();
      }
      Shell_NotifyIconW(NIM_MODIFY, &data);
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<NOTIFYICONDATAW> pending_;
  bool stop_ = false;
  std::thread thread_;  // last: starts once the rest exists
};

TTaskTrayIcon::TTaskTrayIcon(Application& application, bool extended_record, MessageHandler handler)
    : application_(application),
      extended_record_(extended_record),
      handler_(std::move(handler)),
      record_(std::make_unique<Record>()) {
  TTrayIconWinProcList::Get().Add(this);
}

TTaskTrayIcon::~TTaskTrayIcon() {
  balloon_sender_.reset();  // no balloon after the icon has gone
  DeleteIcon();
  // Detached first, so the window's last messages get default handling; the
  // class can go with the last entry only once no window of it is left.
  const HWND window = std::exchange(window_, nullptr);
  tool_tip_style_.SetWindow(nullptr);
  if (window != nullptr) DestroyWindow(window);
  TTrayIconWinProcList::Remove(this);
}

HWND__* TTaskTrayIcon::EnsureWindow() {
  if (window_ != nullptr) return window_;
  TTrayIconWinProcList& list = TTrayIconWinProcList::Get();
  // A tool window and a popup, at 0,0 with no size and no parent, never shown.
  window_ = CreateWindowExW(WS_EX_TOOLWINDOW, TTrayIconWinProcList::kClassName, L"", WS_POPUP, 0, 0,
                            0, 0, nullptr, nullptr, list.instance(), nullptr);
  if (window_ == nullptr) throw EOtherError("The notification-area window can't be created.");
  tool_tip_style_.SetWindow(window_);
  return window_;
}

void TTaskTrayIcon::SetIconHandle(HICON__* icon) { record_->data.hIcon = icon; }

void TTaskTrayIcon::SetTip(std::string_view cp932) {
  const std::u16string wide = Cp932ToUtf16(cp932);
  // The record holds 128 (extended) or 64 characters with the terminator; a
  // tip cut to 127 or 63 bytes never needs more.
  const std::size_t capacity = extended_record_ ? 128 : 64;
  const std::size_t length = std::min(wide.size(), capacity - 1);
  std::memset(record_->data.szTip, 0, sizeof(record_->data.szTip));
  std::memcpy(record_->data.szTip, wide.data(), length * sizeof(char16_t));
}

void TTaskTrayIcon::SetBalloon(std::string_view title, std::string_view text, int timeout,
                               TBalloonIconType icon, unsigned flags) {
  auto copy = [](std::string_view cp932, std::size_t bytes, wchar_t* out, std::size_t capacity) {
    const std::u16string wide = Cp932ToUtf16(CutToBytes(cp932, bytes));
    const std::size_t length = std::min(wide.size(), capacity - 1);
    std::memset(out, 0, capacity * sizeof(wchar_t));
    std::memcpy(out, wide.data(), length * sizeof(char16_t));
  };
  NOTIFYICONDATAW& data = record_->data;
  copy(title, 63, data.szInfoTitle, std::size(data.szInfoTitle));
  copy(text, 255, data.szInfo, std::size(data.szInfo));
  data.uTimeout = static_cast<UINT>(std::max(timeout, 0));
  data.dwInfoFlags =
      static_cast<DWORD>(icon) | (flags & (kBalloonNoSound | kBalloonRespectQuietTime));
}

bool TTaskTrayIcon::ShowBalloon() {
  if (!entry_.added()) return false;
  // The balloon's fields alone: the icon and the tip stay as the UI thread
  // keeps them, whatever it changes meanwhile.
  NOTIFYICONDATAW balloon = record_->data;
  balloon.uFlags = NIF_INFO;
  if (!balloon_sender_) balloon_sender_ = std::make_unique<BalloonSender>();
  balloon_sender_->Send(balloon);
  ++balloons_shown_;
  return true;
}

bool TTaskTrayIcon::FillRecord() {
  NOTIFYICONDATAW& data = record_->data;
  data.cbSize = extended_record_ ? NOTIFYICONDATAW_V2_SIZE : NOTIFYICONDATAW_V1_SIZE;
  data.hWnd = EnsureWindow();
  data.uID = 1;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = kTrayCallbackMessage;
  if (extended_record_) {
    data.dwState = NIS_SHAREDICON;
    data.dwStateMask = 0;  // no state change requested
    data.dwInfoFlags = 0;
  }
  return data.hIcon != nullptr;
}

bool TTaskTrayIcon::HasIcon() { return record_->data.hIcon != nullptr; }

void TTaskTrayIcon::BringToForeground() {
  if (window_ != nullptr) SetForegroundWindow(window_);
}

NotifyResult TTaskTrayIcon::Notify(NotifyCommand command) {
  DWORD message = NIM_ADD;
  if (command == NotifyCommand::kModify) message = NIM_MODIFY;
  if (command == NotifyCommand::kDelete) message = NIM_DELETE;
  SetLastError(0);
  if (Shell_NotifyIconW(message, &record_->data)) return {true, 0};
  return {false, GetLastError()};
}

void TTaskTrayIcon::Wait(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }

void TTaskTrayIcon::IconAdded() { tool_tip_style_.EmptyRect(); }

intptr_t TTaskTrayIcon::Dispatch(unsigned message, uintptr_t wparam, intptr_t lparam) {
  if (message != 0 && message == TaskbarCreatedMessage()) {
    // The notification area was recreated: bring the icon back. Nothing
    // touches the entry after this step: a failure handler may destroy it.
    application_.RunGuarded([this] { entry_.TaskbarCreated(); });
    return 0;
  }
  if (message == WM_QUERYENDSESSION) return 1;
  // The tracker's reports run the component's handlers at once, and one of
  // them may destroy the component with this entry.
  const std::weak_ptr<char> alive = alive_;
  tool_tip_style_.Observe(message, static_cast<intptr_t>(wparam), lparam);
  if (alive.expired()) return 0;
  if (message == kTrayCallbackMessage || message == kAnimationStepMessage) {
    if (const MessageHandler handler = handler_) {
      application_.RunGuarded([&] { handler(message, static_cast<intptr_t>(wparam), lparam); });
    }
  }
  // Everything else is answered 0 as well, and the default procedure never
  // sees it: a close request (taskkill without /F sends one) must not
  // destroy the window of an entry that is still attached. The window's
  // creation and destruction messages come before the entry is attached and
  // after it is detached, and get default processing.
  return 0;
}

TTaskTrayIcon::RecordView TTaskTrayIcon::record() const {
  const NOTIFYICONDATAW& data = record_->data;
  const auto* tip = reinterpret_cast<const char16_t*>(data.szTip);
  const auto* info_title = reinterpret_cast<const char16_t*>(data.szInfoTitle);
  const auto* info = reinterpret_cast<const char16_t*>(data.szInfo);
  return {data.cbSize,
          data.uFlags,
          data.uCallbackMessage,
          data.uID,
          data.dwState,
          data.dwStateMask,
          data.hIcon,
          std::u16string(tip, std::char_traits<char16_t>::length(tip)),
          std::u16string(info_title, std::char_traits<char16_t>::length(info_title)),
          std::u16string(info, std::char_traits<char16_t>::length(info)),
          data.dwInfoFlags,
          data.uTimeout};
}

}  // namespace tol

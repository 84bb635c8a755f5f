#include "assistant/win32/zoneroll_form.h"

#include <windows.h>

#include <exception>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "assistant/assistant_settings.h"
#include "assistant/fetch_run.h"
#include "assistant/output_folder.h"
#include "assistant/run_events.h"
#include "assistant/texts.h"
#include "assistant/win32/picture_button.h"
#include "components/win32/application.h"
#include "components/win32/dirctrl.h"
#include "components/win32/dpi_layout.h"
#include "components/win32/ui_font.h"
#include "components/win32/window_class.h"
#include "shared/codepage.h"
#include "shared/errors.h"
#include "shared/sjis.h"

namespace tol {
namespace {

// The worker has queued run events.
constexpr UINT kRunEventsMessage = WM_APP + 1;

// The designed window: its place on the screen, and its client area, which
// its outer size of 577 x 201 held with the frame it was designed with (a
// 4-pixel sizeable border and a 19-pixel caption). The outer size follows
// from the client area and the frame of the system it runs on.
constexpr int kLeft = 192;
constexpr int kTop = 107;
constexpr PixelSize kClientSize{569, 174};

// The labels of the three edits stand this far above them.
constexpr int kLabelGap = 3;
constexpr int kLabelHeight = 12;

// Every control in 96-DPI pixels. The edit labels end kLabelGap above their
// edit.
constexpr ControlPlace kControls[] = {
    {TForm1::kMemo1, 8, 8, 185, 161},
    {TForm1::kLabeledEdit1Label, 200, 27 - kLabelGap - kLabelHeight, 329, kLabelHeight},
    {TForm1::kLabeledEdit1, 200, 27, 329, 20},
    {TForm1::kBitBtn1, 536, 24, 25, 25},
    {TForm1::kLabeledEdit3Label, 200, 67 - kLabelGap - kLabelHeight, 329, kLabelHeight},
    {TForm1::kLabeledEdit3, 200, 67, 329, 20},
    {TForm1::kBitBtn2, 536, 64, 25, 25},
    {TForm1::kLabeledEdit2Label, 200, 112 - kLabelGap - kLabelHeight, 121, kLabelHeight},
    {TForm1::kLabeledEdit2, 200, 112, 121, 20},
    {TForm1::kLabel1, 336, 112, 16, kLabelHeight},
    {TForm1::kLabel2, 360, 112, 201, kLabelHeight},
    {TForm1::kButton1, 200, 144, 75, 25},
    {TForm1::kButton2, 288, 144, 75, 25},
};

// Each edit's label, for keeping labels whole in a taller fallback font.
constexpr std::pair<int, int> kEditLabels[] = {
    {TForm1::kLabeledEdit1Label, TForm1::kLabeledEdit1},
    {TForm1::kLabeledEdit2Label, TForm1::kLabeledEdit2},
    {TForm1::kLabeledEdit3Label, TForm1::kLabeledEdit3},
};

std::wstring Wide(std::string_view cp932) {
  const std::u16string wide = Cp932ToUtf16(cp932);
  return std::wstring(wide.begin(), wide.end());
}

std::string Narrow(std::wstring_view wide) {
  return Utf16ToCp932(std::u16string(wide.begin(), wide.end()));
}

std::string WindowTextOf(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
  return Narrow(text);
}

void SetWindowTextOf(HWND window, std::string_view cp932) {
  SetWindowTextW(window, Wide(cp932).c_str());
}

// The working directory as the system spells it, for the folder picker to
// open on whatever its name.
FilePath CurrentDirectory() {
  const DWORD length = GetCurrentDirectoryW(0, nullptr);
  if (length == 0) return {};
  std::wstring folder(length, L'\0');
  folder.resize(GetCurrentDirectoryW(length, folder.data()));
  return FilePath::FromSystem(PathString(folder.begin(), folder.end()));
}

}  // namespace

class TForm1::Impl : private RunView {
 public:
  Impl(Application& application, HttpClient& http, const Clock& clock,
       std::optional<std::string> program_folder)
      : application_(application),
        http_(http),
        clock_(clock),
        program_folder_(std::move(program_folder)) {
    const HINSTANCE instance = RegisterClassOnce();
    const std::wstring title = application_.title();
    // Sized for its DPI by ApplyLayout below.
    window_ = CreateWindowExW(0, kClassName, title.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                              kLeft, kTop, kClientSize.width, kClientSize.height, nullptr, nullptr,
                              instance, this);
    if (window_ == nullptr) throw EOtherError("The assistant's window can't be created.");
    try {
      // A post refused (the window's queue full) is tried again: a lost
      // one would leave the window waiting for a run that has ended.
      channel_ = std::make_unique<RunChannel>([window = window_] {
        while (!PostMessageW(window, kRunEventsMessage, 0, 0) && IsWindow(window)) Sleep(50);
      });
      CreateControls(instance);
      dpi_ = WindowDpi(window_);
      font_ = std::make_unique<UiFont>(dpi_);
      SetFonts();
      ApplyLayout(window_, kClientSize, kControls, dpi_);
      FitLabelsToFont();
      FormCreate();
    } catch (...) {
      // No destructor runs for a half-made form: the window goes here, and
      // no longer leads to this object while it goes.
      UnbindWindowObject(window_);
      DestroyWindow(window_);
      throw;
    }
  }

  ~Impl() override {
    // A run is only left when the window went without closing.
    EndRunNow();
    if (window_ != nullptr) DestroyWindow(window_);
  }

  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  HWND handle() const { return window_; }

  void Show(int show_command) {
    ShowWindow(window_, show_command);
    UpdateWindow(window_);
    SetFocus(Control(kMemo1));
  }

 private:
  static HINSTANCE RegisterClassOnce() {
    static const HINSTANCE instance = [] {
      const HINSTANCE module = GetModuleHandleW(nullptr);
      WNDCLASSEXW window_class{};
      window_class.lpfnWndProc = &Procedure;
      window_class.hIcon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                         GetSystemMetrics(SM_CXICON),
                                                         GetSystemMetrics(SM_CYICON), LR_SHARED));
      window_class.hIconSm = static_cast<HICON>(
          LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                     GetSystemMetrics(SM_CYSMICON), LR_SHARED));
      window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
      window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
      window_class.lpszClassName = kClassName;
      return RegisterWindowClass(window_class, "The assistant's window class can't be registered.");
    }();
    return instance;
  }

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    Impl* form = WindowObject<Impl>(window, message, lparam);
    if (form == nullptr) return DefWindowProcW(window, message, wparam, lparam);
    LRESULT result = 0;
    bool handled = false;
    form->application_.RunGuarded(
        [&] { handled = form->Handle(window, message, wparam, lparam, result); });
    return handled ? result : DefWindowProcW(window, message, wparam, lparam);
  }

  // True when the message was handled, with its `result`.
  bool Handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    switch (message) {
      case WM_COMMAND:
        Command(LOWORD(wparam), HIWORD(wparam));
        return true;
      case WM_DRAWITEM:
        DrawPictureButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam), dpi_);
        result = TRUE;
        return true;
      case WM_CTLCOLORSTATIC:
        // The log keeps the colours of an editable box while it is
        // read-only during a run; everything else as the system has it.
        if (reinterpret_cast<HWND>(lparam) != Control(kMemo1)) return false;
        SetTextColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_WINDOW));
        result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        return true;
      case kRunEventsMessage:
        TakeRunEvents();
        return true;
      case WM_ACTIVATE:
        // Keyboard focus goes back where it was when the window left.
        if (LOWORD(wparam) == WA_INACTIVE) {
          const HWND focus = GetFocus();
          if (focus != nullptr && IsChild(window_, focus)) focus_ = focus;
        } else if (HIWORD(wparam) == 0) {
          SetFocus(focus_ != nullptr && IsWindowEnabled(focus_) ? focus_ : Control(kMemo1));
        }
        return true;
      case WM_DPICHANGED:
        DpiChanged(wparam, lparam);
        return true;
      case WM_CLOSE:
        // Closing during a run gives the run up rather than wait for a slow
        // service; the worlds it finished keep their files and times.
        EndRunNow();
        FormClose();
        DestroyWindow(window_);
        return true;
      case WM_ENDSESSION:
        // The session ends without closing the window: the run ends as a
        // close would end it, and the three texts are kept all the same,
        // quietly (no box may hold up the end of a session).
        if (wparam != FALSE) {
          EndRunNow();
          SaveSettingsQuietly();
        }
        return true;
      case WM_DESTROY:
        PostQuitMessage(0);
        return true;
      case WM_NCDESTROY:
        UnbindWindowObject(window);
        window_ = nullptr;
        return false;
      default:
        return false;
    }
  }

  HWND Control(int id) const { return GetDlgItem(window_, id); }

  void CreateControls(HINSTANCE instance) {
    const auto make = [&](DWORD ex_style, const wchar_t* window_class, std::string_view text,
                          DWORD style, int id) {
      const HWND control = CreateWindowExW(
          ex_style, window_class, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
          window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
      if (control == nullptr) throw EOtherError("The assistant's controls can't be created.");
      return control;
    };
    constexpr DWORD kLabel = SS_LEFTNOWORDWRAP | SS_NOPREFIX;
    constexpr DWORD kEdit = WS_TABSTOP | ES_AUTOHSCROLL;
    constexpr DWORD kPictureButton = WS_TABSTOP | BS_OWNERDRAW;
    constexpr DWORD kButton = WS_TABSTOP | BS_PUSHBUTTON;
    // Created in the tab order: the output folder row, the file name row and
    // the buttons, and only then the TolMap.ini row.
    const HWND memo =
        make(WS_EX_CLIENTEDGE, L"EDIT", "",
             WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN, kMemo1);
    SendMessageW(memo, EM_SETLIMITTEXT, 0, 0);  // no limit but memory's
    make(0, L"STATIC", kOutFolderLabelText.bytes(), kLabel, kLabeledEdit1Label);
    make(WS_EX_CLIENTEDGE, L"EDIT", "", kEdit, kLabeledEdit1);
    // The picture buttons' text is not drawn; it names them to screen readers.
    make(0, L"BUTTON", kChooseOutFolderText.bytes(), kPictureButton, kBitBtn1);
    make(0, L"STATIC", kFileNameLabelText.bytes(), kLabel, kLabeledEdit2Label);
    make(WS_EX_CLIENTEDGE, L"EDIT", "", kEdit, kLabeledEdit2);
    make(0, L"STATIC", "=>", kLabel, kLabel1);
    make(0, L"STATIC", "", kLabel, kLabel2);
    make(0, L"BUTTON", kFetchButtonText.bytes(), kButton, kButton1);
    make(0, L"BUTTON", kExitButtonText.bytes(), kButton, kButton2);
    make(0, L"STATIC", kTolMapLabelText.bytes(), kLabel, kLabeledEdit3Label);
    make(WS_EX_CLIENTEDGE, L"EDIT", "", kEdit, kLabeledEdit3);
    make(0, L"BUTTON", kChooseTolMapFolderText.bytes(), kPictureButton, kBitBtn2);
  }

  void SetFonts() {
    for (const ControlPlace& place : kControls) {
      SendMessageW(Control(place.id), WM_SETFONT, reinterpret_cast<WPARAM>(font_->handle()), TRUE);
    }
  }

  // A fallback font can be taller than the designed 12 pixels: such labels
  // grow to the font's line height, the edit labels upwards (still kLabelGap
  // above their edit), the preview labels downwards.
  void FitLabelsToFont() {
    const HDC dc = GetDC(window_);
    if (dc == nullptr) return;
    const HGDIOBJ old = SelectObject(dc, font_->handle());
    TEXTMETRICW metrics{};
    const bool measured = GetTextMetricsW(dc, &metrics) != FALSE;
    SelectObject(dc, old);
    ReleaseDC(window_, dc);
    const int height = static_cast<int>(metrics.tmHeight);
    if (!measured || height <= ScaleToDpi(kLabelHeight, dpi_)) return;
    const auto place_of = [this](int id) {
      RECT rect{};
      GetWindowRect(Control(id), &rect);
      MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&rect), 2);
      return rect;
    };
    for (const auto& [label, edit] : kEditLabels) {
      const RECT at = place_of(label);
      const int bottom = place_of(edit).top - ScaleToDpi(kLabelGap, dpi_);
      SetWindowPos(Control(label), nullptr, at.left, bottom - height, at.right - at.left, height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    }
    for (const int label : {kLabel1, kLabel2}) {
      const RECT at = place_of(label);
      SetWindowPos(Control(label), nullptr, 0, 0, at.right - at.left, height,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }

  void DpiChanged(WPARAM wparam, LPARAM lparam) {
    dpi_ = LOWORD(wparam);
    // The new font first, so that nothing is drawn with a deleted one.
    auto font = std::make_unique<UiFont>(dpi_);
    std::swap(font, font_);
    SetFonts();
    ApplyDpiChange(window_, wparam, lparam, kControls);
    FitLabelsToFont();
  }

  void Command(int id, int code) {
    if (id == kLabeledEdit2 && code == EN_CHANGE) {
      LabeledEdit2Change();
      return;
    }
    // During a run only "終了" is enabled; a click on another button that
    // comes anyway (a program's BM_CLICK) changes nothing.
    if (code != BN_CLICKED || (running_ && id != kButton2)) return;
    switch (id) {
      case kBitBtn1:
        BitBtn1Click();
        break;
      case kBitBtn2:
        BitBtn2Click();
        break;
      case kButton1:
        Button1Click();
        break;
      case kButton2:
        Button2Click();
        break;
      default:
        break;  // Enter and Escape in an edit (IDOK, IDCANCEL) do nothing
    }
  }

  // Event handlers.

  void FormCreate() {
    const OutputFolderDefault out_folder =
        DefaultOutputFolder(program_folder_, CurrentDirectory().ExactText());
    settings_ = LoadAssistantSettings(FilePath::FromText(kSettingsFileName), out_folder.path);
    // The fallback in use: the log says why the folder isn't the program's.
    if (!out_folder.log_line.empty() && settings_.path == out_folder.path) {
      AppendLogLine(out_folder.log_line);
    }
    SetWindowTextOf(Control(kLabeledEdit1), settings_.path);
    SetWindowTextOf(Control(kLabeledEdit2), settings_.name);
    SetWindowTextOf(Control(kLabeledEdit3), settings_.tolmap);
    LabeledEdit2Change();
  }

  void FormClose() {
    try {
      SaveAssistantSettings(FilePath::FromText(kSettingsFileName), EditedSettings());
    } catch (const std::exception& e) {
      // The three texts would be lost without a word: say so, then close.
      ShowErrorBox(e.what());
    }
  }

  void BitBtn1Click() { ChooseFolder(kChooseOutFolderText, kLabeledEdit1); }
  void BitBtn2Click() { ChooseFolder(kChooseTolMapFolderText, kLabeledEdit3); }

  void LabeledEdit2Change() {
    SetWindowTextOf(Control(kLabel2), PreviewFileName(WindowTextOf(Control(kLabeledEdit2))));
  }

  void Button1Click() {
    const FetchRunInputs inputs =
        RunInputsFrom(EditedSettings(), FilePath::FromText(kSettingsFileName));
    SetRunning(true);
    try {
      worker_ = std::thread([this, inputs] { RunWorker(inputs); });
    } catch (...) {
      SetRunning(false);
      throw;
    }
  }

  void Button2Click() { SendMessageW(window_, WM_CLOSE, 0, 0); }

  // The rest.

  AssistantSettings EditedSettings() const {
    AssistantSettings settings = settings_;  // the read-only Host stays
    settings.path = WindowTextOf(Control(kLabeledEdit1));
    settings.name = WindowTextOf(Control(kLabeledEdit2));
    settings.tolmap = WindowTextOf(Control(kLabeledEdit3));
    return settings;
  }

  void SaveSettingsQuietly() noexcept {
    try {
      SaveAssistantSettings(FilePath::FromText(kSettingsFileName), EditedSettings());
    } catch (...) {
    }
  }

  void ChooseFolder(const SjisText& prompt, int edit) {
    FilePath chosen;
    if (!BrowseForFolder(prompt.bytes(), CurrentDirectory(), chosen)) return;
    // The edit holds text: a folder that has no code page 932 text naming it
    // (nor a short name that does) can't be used; the message says why.
    const std::optional<std::string> text = chosen.ExactText();
    if (!text) {
      const PathString& name = chosen.system();
      const std::wstring message = Wide(kFolderNotSpellableText.bytes()) + L"\n" +
                                   std::wstring(name.begin(), name.end()) + L"\n\n" +
                                   Wide(kFolderNotSpellableReasonText.bytes());
      MessageBoxW(window_, message.c_str(), application_.title().c_str(), MB_OK | MB_ICONWARNING);
      return;
    }
    SetWindowTextOf(Control(edit), FolderEditText(*text));
  }

  // On the worker thread: the run, then its outcome. Touches no window.
  void RunWorker(const FetchRunInputs& inputs) noexcept {
    try {
      RunFetch(inputs, http_, clock_, *channel_);
      channel_->Finish();
    } catch (const std::exception& e) {
      channel_->Fail(e.what());
    } catch (...) {
      channel_->Fail("Unknown failure.");
    }
  }

  void TakeRunEvents() { ApplyRunEvents(channel_->Take(), *this); }

  // RunView.
  void ClearLog() override { SetWindowTextW(Control(kMemo1), L""); }
  void AppendLog(std::string_view line) override { AppendLogLine(line); }
  void RunEnded(const std::optional<std::string>& failure) override {
    if (worker_.joinable()) worker_.join();
    SetRunning(false);
    if (failure) ShowErrorBox(*failure);
  }

  // Gives up the run in flight, if any, and waits for its worker, which the
  // abandoned request lets go at once. What the run still had to show is
  // dropped: the window is going.
  void EndRunNow() noexcept {
    if (!worker_.joinable()) return;
    http_.Abandon();
    worker_.join();
    channel_->Take();
    running_ = false;
  }

  // A line at the end of the log, scrolled into view.
  void AppendLogLine(std::string_view line) {
    const HWND memo = Control(kMemo1);
    const std::wstring text = Wide(line) + L"\r\n";
    const int end = GetWindowTextLengthW(memo);
    SendMessageW(memo, EM_SETSEL, end, end);
    SendMessageW(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(memo, EM_SCROLLCARET, 0, 0);
  }

  // During a run nothing the user does may change it: "取得" and the
  // picture buttons are disabled (the pictures greyed) and the texts
  // read-only. The log can still be scrolled and copied, and the window
  // closed ("終了" or the title bar), which gives the run up.
  void SetRunning(bool running) {
    running_ = running;
    if (running) {
      // Focus on a button about to be disabled would be lost: the log
      // holds it for the run.
      const HWND focus = GetFocus();
      focus_ = focus != nullptr && IsChild(window_, focus) ? focus : nullptr;
      if (focus_ != nullptr) SetFocus(Control(kMemo1));
    }
    for (const int id : {kBitBtn1, kBitBtn2, kButton1}) {
      EnableWindow(Control(id), running ? FALSE : TRUE);
    }
    for (const int id : {kMemo1, kLabeledEdit1, kLabeledEdit2, kLabeledEdit3}) {
      SendMessageW(Control(id), EM_SETREADONLY, running ? TRUE : FALSE, 0);
    }
    if (!running && focus_ != nullptr && GetActiveWindow() == window_) SetFocus(focus_);
  }

  // The standard error box: the message with its full stop, the
  // application's title as caption, the error icon and one OK button.
  void ShowErrorBox(std::string_view message) {
    const std::wstring text = Wide(ErrorBoxText(message));
    MessageBoxW(window_, text.c_str(), application_.title().c_str(), MB_OK | MB_ICONERROR);
  }

  Application& application_;
  HttpClient& http_;
  const Clock& clock_;
  const std::optional<std::string> program_folder_;
  HWND window_ = nullptr;
  unsigned dpi_ = kDesignDpi;
  std::unique_ptr<UiFont> font_;
  AssistantSettings settings_;
  std::unique_ptr<RunChannel> channel_;
  std::thread worker_;
  bool running_ = false;
  HWND focus_ = nullptr;  // where keyboard focus returns
};

TForm1::TForm1(Application& application, HttpClient& http, const Clock& clock,
               std::optional<std::string> program_folder)
    : impl_(std::make_unique<Impl>(application, http, clock, std::move(program_folder))) {}

TForm1::~TForm1() = default;

void TForm1::Show(int show_command) { impl_->Show(show_command); }

HWND TForm1::handle() const { return impl_->handle(); }

}  // namespace tol

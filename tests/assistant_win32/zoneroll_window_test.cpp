// Zoneroll.exe as a user runs it: the real program, started in a working
// folder of its own under Wine, driven from this test program through window
// messages, against tolvane-sim through [Zoneroll.exe] Host.
//
// with_reference.sh has held the sim's clock still and left in
// KOVUN_ZONEROLL_REFERENCE what the Linux zoneroll wrote for the same sim
// and TolMap.ini: the per-world files of Zoneroll.exe must equal those byte
// for byte.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "assistant/fetch_run.h"
#include "assistant/win32/zoneroll_form.h"
#include "assistant_win32/window_driver.h"
#include "components/win32/ui_font.h"
#include "net/http_client.h"
#include "shared/clock.h"
#include "shared/codepage.h"
#include "shared/ini_file.h"
#include "support/temp_dir.h"

namespace tol {
namespace {

using testing::ChildInfo;
using testing::ProgramProcess;
using testing::Send;
using testing::TextOf;
using testing::WaitUntil;

const std::wstring kTitle = L"Kovun Zoneroll Assistant";
const std::wstring kConverted = L" => 更新完了";
const std::wstring kUpToDate = L" => 更新済み";
const std::wstring kFinished = L"= 取得終了 =";

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string ReadBytes(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream(std::filesystem::path(path), std::ios::binary) << bytes;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Cp932(const std::wstring& text) {
  return Utf16ToCp932(std::u16string(text.begin(), text.end()));
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\') + 1); }

// The log of a run in which the worlds from `first_converted` on were
// converted and those before were up to date; `until` worlds in all, and the
// closing lines when the run went through.
std::wstring ExpectedLog(std::size_t first_converted, std::size_t until = kAssistantWorlds.size(),
                         bool finished = true) {
  std::wstring log;
  for (std::size_t i = 0; i < until; ++i) {
    const std::string_view world = kAssistantWorlds[i];
    log += std::wstring(world.begin(), world.end()) + L".ini" +
           (i >= first_converted ? kConverted : kUpToDate) + L"\r\n";
  }
  if (finished) log += L"\r\n" + kFinished + L"\r\n";
  return log;
}

// The sim's control interface, through the program's own HTTP client.
class SimControl {
 public:
  SimControl()
      : http_(CreateHttpClient(SystemClock())),
        base_("http://127.0.0.1:" + Env("KOVUN_SIM_PORT")) {}

  void Call(const std::string& target) { http_->Get(base_ + target); }
  void Reset() { Call("/_sim/reset"); }
  void Fault(const std::string& world, const std::string& kind_and_more) {
    Call("/_sim/fault?path=/cgi-bin/iplist/map." + world + ".lst&kind=" + kind_and_more);
  }
  std::string Host() const { return base_.substr(std::string("http://").size()); }

 private:
  std::unique_ptr<HttpClient> http_;
  std::string base_;
};

class ZonerollWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Env("KOVUN_SIM_PORT").empty()) << "run through with_services.sh";
    ASSERT_FALSE(Env("KOVUN_ZONEROLL_REFERENCE").empty()) << "run through with_reference.sh";
    sim_.Reset();
    cwd_ = work_.path().wstring() + L"\\";
    CreateDirectoryW((cwd_ + L"maps").c_str(), nullptr);
    CopyFileW((reference_ + L"TolMap.ini").c_str(), (cwd_ + L"TolMap.ini").c_str(), FALSE);
  }
  void TearDown() override { sim_.Reset(); }

  // Zoneroll.ini of a user who has run the program before: the output folder
  // relative to the working folder, TolMap.ini in the working folder.
  void WriteUsualSettings() {
    WriteBytes(cwd_ + L"Zoneroll.ini",
               "[Zoneroll.exe]\r\nPath=maps\\\r\nName=.ini\r\nTolMap=\r\nHost=" + sim_.Host() +
                   "\r\n\r\n");
  }

  // Starts Zoneroll.exe in the working folder and finds its window.
  void Start() {
    program_ = std::make_unique<ProgramProcess>(exe_, cwd_);
    form_ = program_->WaitForWindow(TForm1::kClassName);
    ASSERT_NE(form_, nullptr) << "no window";
  }

  HWND Control(int id) const { return GetDlgItem(form_, id); }
  std::wstring Text(int id) const { return TextOf(Control(id)).value_or(L"<no answer>"); }
  void SetText(int id, const std::wstring& text) {
    ASSERT_TRUE(Send(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())));
  }
  // A click that returns once the window has handled it.
  void Click(int id) { ASSERT_TRUE(Send(Control(id), BM_CLICK)); }

  // A run disables "取得" until it is over.
  bool RunOver() const { return IsWindowEnabled(Control(TForm1::kButton1)) != FALSE; }

  void ExpectWorldFilesMatchReference(std::size_t until = kAssistantWorlds.size()) {
    for (std::size_t i = 0; i < kAssistantWorlds.size(); ++i) {
      const std::string_view w = kAssistantWorlds[i];
      const std::wstring name = std::wstring(w.begin(), w.end()) + L".ini";
      if (i < until) {
        const std::string expected = ReadBytes(reference_ + L"maps\\" + name);
        ASSERT_NE(expected, "<missing>") << w;
        EXPECT_EQ(ReadBytes(cwd_ + L"maps\\" + name), expected) << w;
      } else {
        EXPECT_FALSE(Exists(cwd_ + L"maps\\" + name)) << w;
      }
    }
  }

  // Closes the window by its "終了" button and waits for the program to end.
  void CloseByButton() {
    Click(TForm1::kButton2);
    EXPECT_EQ(program_->WaitForExit(), 0u);
  }

  SimControl sim_;
  const std::wstring exe_ = testing::WinePath(ZONEROLL_EXE);
  const std::wstring reference_ = testing::WinePath(Env("KOVUN_ZONEROLL_REFERENCE")) + L"\\";
  tol::testing::TempDir work_;
  std::wstring cwd_;
  std::unique_ptr<ProgramProcess> program_;
  HWND form_ = nullptr;
};

TEST_F(ZonerollWindowTest, FirstStartShowsTheDesignedWindowAndClosingCreatesTheSettings) {
  // The working folder is not the program's: Zoneroll.ini belongs to the
  // working folder, the default output folder is the program's.
  const std::wstring beside_program = FolderOf(exe_) + L"Zoneroll.ini";
  const bool was_beside_program = Exists(beside_program);
  ASSERT_NO_FATAL_FAILURE(Start());

  EXPECT_EQ(TextOf(form_), kTitle);
  RECT outer{};
  GetWindowRect(form_, &outer);
  EXPECT_EQ(outer.left, 192);
  EXPECT_EQ(outer.top, 107);
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  const auto scaled = [dpi](int pixels) { return MulDiv(pixels, dpi, 96); };
  RECT client{};
  GetClientRect(form_, &client);
  EXPECT_EQ(client.right, scaled(569));
  EXPECT_EQ(client.bottom, scaled(174));
  std::printf("outer size %ld x %ld at %d DPI\n", outer.right - outer.left,
              outer.bottom - outer.top, dpi);

  // A label is as tall as the design's 12 pixels, or as a line of the font
  // when that is taller; the labels of the edits end 3 pixels above them.
  const int line_height = testing::MetricsOf(UiFont(dpi).handle()).tmHeight;
  const int label_height = std::max(scaled(12), line_height);
  enum Kind { kControl, kEditLabel, kLabel };
  struct Expected {
    int id;
    Kind kind;
    RECT place;  // at 96 DPI; for the edit labels the bottom, for the labels the top counts
    const wchar_t* text;
  };
  const Expected controls[] = {
      {TForm1::kMemo1, kControl, {8, 8, 193, 169}, L""},
      {TForm1::kLabeledEdit1Label, kEditLabel, {200, 12, 529, 24}, L"ファイル出力先フォルダ"},
      {TForm1::kLabeledEdit1, kControl, {200, 27, 529, 47}, nullptr},
      {TForm1::kBitBtn1, kControl, {536, 24, 561, 49}, nullptr},
      {TForm1::kLabeledEdit3Label, kEditLabel, {200, 52, 529, 64}, L"TolMap.ini"},
      {TForm1::kLabeledEdit3, kControl, {200, 67, 529, 87}, L""},
      {TForm1::kBitBtn2, kControl, {536, 64, 561, 89}, nullptr},
      {TForm1::kLabeledEdit2Label, kEditLabel, {200, 97, 321, 109}, L"出力ファイル名"},
      {TForm1::kLabeledEdit2, kControl, {200, 112, 321, 132}, L".ini"},
      {TForm1::kLabel1, kLabel, {336, 112, 352, 124}, L"=>"},
      {TForm1::kLabel2, kLabel, {360, 112, 561, 124}, L"arvel.ini"},
      {TForm1::kButton1, kControl, {200, 144, 275, 169}, L"取得"},
      {TForm1::kButton2, kControl, {288, 144, 363, 169}, L"終了"},
  };
  for (const Expected& c : controls) {
    SCOPED_TRACE(c.id);
    const HWND control = Control(c.id);
    ASSERT_NE(control, nullptr);
    const RECT place = testing::PlaceInParent(control);
    EXPECT_EQ(place.left, scaled(c.place.left));
    EXPECT_EQ(place.right, scaled(c.place.right));
    switch (c.kind) {
      case kControl:
        EXPECT_EQ(place.top, scaled(c.place.top));
        EXPECT_EQ(place.bottom, scaled(c.place.bottom));
        break;
      case kEditLabel:
        EXPECT_EQ(place.bottom, scaled(c.place.bottom));
        EXPECT_EQ(place.bottom - place.top, label_height);
        break;
      case kLabel:
        EXPECT_EQ(place.top, scaled(c.place.top));
        EXPECT_EQ(place.bottom - place.top, label_height);
        break;
    }
    if (c.text != nullptr) EXPECT_EQ(Text(c.id), c.text);
  }
  // The default output folder: the program's own, with its separator.
  EXPECT_EQ(Text(TForm1::kLabeledEdit1), FolderOf(exe_));

  // Tab order: the output folder row, the file name row and the buttons,
  // then the TolMap.ini row.
  std::vector<int> tab_order;
  HWND item = Control(TForm1::kMemo1);
  for (int i = 0; i < 9 && item != nullptr; ++i) {
    tab_order.push_back(GetDlgCtrlID(item));
    item = GetNextDlgTabItem(form_, item, FALSE);
  }
  EXPECT_EQ(tab_order, (std::vector<int>{TForm1::kMemo1, TForm1::kLabeledEdit1, TForm1::kBitBtn1,
                                         TForm1::kLabeledEdit2, TForm1::kButton1, TForm1::kButton2,
                                         TForm1::kLabeledEdit3, TForm1::kBitBtn2, TForm1::kMemo1}));

  // Closing by the title bar, without a change.
  ASSERT_TRUE(Send(form_, WM_CLOSE));
  EXPECT_EQ(program_->WaitForExit(), 0u);
  EXPECT_EQ(ReadBytes(cwd_ + L"Zoneroll.ini"),
            "[Zoneroll.exe]\r\nPath=" + Cp932(FolderOf(exe_)) + "\r\nName=.ini\r\nTolMap=\r\n\r\n");
  EXPECT_EQ(Exists(beside_program), was_beside_program);
}

TEST_F(ZonerollWindowTest, ProgramCarriesItsIconTheSharedManifestAndItsVersion) {
  const HMODULE program = LoadLibraryExW(exe_.c_str(), nullptr,
                                         LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(program, nullptr);
  const auto resource = [program](LPCWSTR type, LPCWSTR name) {
    const HRSRC found = FindResourceW(program, name, type);
    if (found == nullptr) return std::string("<missing>");
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(program, found)));
    return std::string(bytes, SizeofResource(program, found));
  };
  EXPECT_EQ(resource(RT_MANIFEST, MAKEINTRESOURCEW(1)), ReadBytes(testing::WinePath(APP_MANIFEST)));
  // The icon the desktop shows for the program: the first group, with the
  // sizes of the taskbar, the title bar and large views.
  const std::string icons = resource(RT_GROUP_ICON, MAKEINTRESOURCEW(1));
  ASSERT_NE(icons, "<missing>");
  std::vector<int> sizes;
  const std::size_t count = static_cast<unsigned char>(icons[4]);
  for (std::size_t i = 0; i < count; ++i) {
    const int size = static_cast<unsigned char>(icons[6 + 14 * i]);
    sizes.push_back(size == 0 ? 256 : size);
  }
  EXPECT_EQ(sizes, (std::vector<int>{16, 24, 32, 48, 256}));
  FreeLibrary(program);

  DWORD ignored = 0;
  std::vector<BYTE> version(GetFileVersionInfoSizeW(exe_.c_str(), &ignored));
  ASSERT_FALSE(version.empty());
  ASSERT_TRUE(
      GetFileVersionInfoW(exe_.c_str(), 0, static_cast<DWORD>(version.size()), version.data()));
  wchar_t* product = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(version.data(), L"\\StringFileInfo\\041104B0\\ProductName",
                             reinterpret_cast<void**>(&product), &length));
  EXPECT_EQ(std::wstring(product), kTitle);
}

TEST_F(ZonerollWindowTest, FetchRunWritesWhatZonerollWritesWhileTheWindowStaysResponsive) {
  WriteUsualSettings();
  // Corin's list arrives one byte every 4 ms (about three seconds): the run
  // is still on while the test looks at the window.
  sim_.Fault("corin", "trickle&interval_ms=4");
  ASSERT_NO_FATAL_FAILURE(Start());

  Click(TForm1::kButton1);
  bool saw_run_on = false;
  std::vector<double> round_trips_ms;
  ASSERT_TRUE(WaitUntil(
      [&] {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(Send(form_, WM_NULL)) << "the window didn't answer";
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        round_trips_ms.push_back(took.count());
        const std::wstring log = Text(TForm1::kMemo1);
        if (RunOver()) return true;
        if (!saw_run_on && log.find(L"bessa.ini" + kConverted) != std::wstring::npos) {
          saw_run_on = true;
          // The lines so far are there already, and nothing the user does
          // changes the run: "取得" and the folder choices are disabled, and
          // a click that comes anyway does nothing. Only "終了" is left.
          EXPECT_EQ(log, L"arvel.ini" + kConverted + L"\r\nbessa.ini" + kConverted + L"\r\n");
          for (const int id : {TForm1::kButton1, TForm1::kBitBtn1, TForm1::kBitBtn2}) {
            EXPECT_FALSE(IsWindowEnabled(Control(id))) << id;
            EXPECT_TRUE(Send(Control(id), BM_CLICK));
          }
          EXPECT_TRUE(IsWindowEnabled(Control(TForm1::kButton2)));
          EXPECT_EQ(program_->FindWindowOf(L"#32770"), nullptr) << "a picker opened";
        }
        return false;
      },
      std::chrono::seconds(120)));
  std::sort(round_trips_ms.begin(), round_trips_ms.end());
  std::printf("message round trips during the run: %zu, median %.1f ms, worst %.1f ms\n",
              round_trips_ms.size(), round_trips_ms[round_trips_ms.size() / 2],
              round_trips_ms.back());
  EXPECT_TRUE(saw_run_on) << "the log didn't show the run's first lines while it went on";
  EXPECT_TRUE(program_->running());

  EXPECT_EQ(Text(TForm1::kMemo1), ExpectedLog(0));
  ExpectWorldFilesMatchReference();
  EXPECT_TRUE(IsWindowEnabled(Control(TForm1::kButton1)));

  // A second run finds every list unchanged.
  Click(TForm1::kButton1);
  ASSERT_TRUE(WaitUntil([&] { return RunOver(); }));
  EXPECT_EQ(Text(TForm1::kMemo1), ExpectedLog(kAssistantWorlds.size()));
  ExpectWorldFilesMatchReference();

  CloseByButton();
  const std::string settings = ReadBytes(cwd_ + L"Zoneroll.ini");
  EXPECT_TRUE(settings.starts_with(
      "[Zoneroll.exe]\r\nPath=maps\\\r\nName=.ini\r\nTolMap=\r\nHost=" + sim_.Host() +
      "\r\n\r\n[Update]\r\narvel="))
      << settings;
}

// Closing the window during a run, by the title bar or by "終了", gives the
// run up at once instead of waiting for a service that answers nothing: the
// worlds done keep their files and times, and the texts are saved as at
// every close. The end of the session saves the same without closing.
TEST_F(ZonerollWindowTest, ClosingDuringARunGivesItUpAndSavesTheTexts) {
  struct Case {
    const char* name;
    UINT message;
    bool ends;
  };
  const Case cases[] = {
      {"title bar", WM_CLOSE, true},
      {"exit button", BM_CLICK, true},
      {"end of session", WM_ENDSESSION, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteFileW((cwd_ + L"maps\\arvel.ini").c_str());
    DeleteFileW((cwd_ + L"maps\\bessa.ini").c_str());
    WriteUsualSettings();
    sim_.Reset();
    // Corin's service takes the request and says nothing for a minute.
    sim_.Fault("corin", "stall&seconds=60");
    ASSERT_NO_FATAL_FAILURE(Start());
    SetText(TForm1::kLabeledEdit3, cwd_);  // TolMap.ini's folder, spelt out
    Click(TForm1::kButton1);
    ASSERT_TRUE(WaitUntil([&] {
      return Text(TForm1::kMemo1).find(L"bessa.ini" + kConverted) != std::wstring::npos;
    }));

    const auto start = std::chrono::steady_clock::now();
    if (c.ends) {
      const HWND target = c.message == BM_CLICK ? Control(TForm1::kButton2) : form_;
      ASSERT_TRUE(PostMessageW(target, c.message, 0, 0));
      EXPECT_EQ(program_->WaitForExit(), 0u) << "no box, no waiting for the service";
    } else {
      ASSERT_TRUE(Send(form_, c.message, TRUE));
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%s during a stalled run: handled in %.2f s\n", c.name, took.count());
    EXPECT_LT(took, std::chrono::seconds(5));

    const IniFile saved = IniFile::Parse(ReadBytes(cwd_ + L"Zoneroll.ini"));
    EXPECT_EQ(saved.ReadString("Zoneroll.exe", "TolMap", "<none>"), Cp932(cwd_));
    EXPECT_EQ(saved.ReadString("Zoneroll.exe", "Host", "<none>"), sim_.Host());
    for (const char* world : {"arvel", "bessa"}) {
      EXPECT_NE(saved.ReadString("Update", world, ""), "") << world;
    }
    ExpectWorldFilesMatchReference(2);
    program_.reset();
  }
}

// The message box of the program, as a user sees it.
struct MessageBoxSeen {
  std::wstring caption;
  std::wstring text;
  std::vector<std::wstring> buttons;
  RECT icon{};  // on the screen
};

MessageBoxSeen Look(HWND box) {
  MessageBoxSeen seen;
  seen.caption = TextOf(box).value_or(L"");
  for (const ChildInfo& child : testing::ChildrenOf(box)) {
    if (_wcsicmp(child.class_name.c_str(), L"Button") == 0) seen.buttons.push_back(child.text);
    if (_wcsicmp(child.class_name.c_str(), L"Static") != 0) continue;
    if ((child.style & SS_TYPEMASK) == SS_ICON) {
      GetWindowRect(child.window, &seen.icon);
    } else if (!child.text.empty()) {
      seen.text = child.text;
    }
  }
  return seen;
}

// Which of the system's message box icons the screen shows at `at`: each is
// drawn on the background found there and compared pixel by pixel.
const wchar_t* IconShown(const RECT& at) {
  const std::vector<COLORREF> shown = testing::ScreenPixels(at);
  if (shown.empty()) return L"<nothing>";
  const int width = at.right - at.left;
  const int height = at.bottom - at.top;
  struct Candidate {
    const wchar_t* name;
    LPCWSTR id;
  } candidates[] = {{L"error", IDI_ERROR},
                    {L"warning", IDI_WARNING},
                    {L"information", IDI_INFORMATION},
                    {L"question", IDI_QUESTION}};
  const wchar_t* best = L"<none>";
  std::size_t best_differences = shown.size() + 1;
  std::size_t second_differences = shown.size() + 1;
  for (const Candidate& c : candidates) {
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(info.bmiHeader), width, -height, 1, 32, BI_RGB};
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    auto* pixels = static_cast<DWORD*>(bits);
    for (std::size_t i = 0; i < shown.size(); ++i) pixels[i] = shown[0];  // the background
    DrawIconEx(memory, 0, 0, LoadIconW(nullptr, c.id), width, height, 0, nullptr, DI_NORMAL);
    GdiFlush();
    std::size_t differences = 0;
    for (std::size_t i = 0; i < shown.size(); ++i) {
      differences += (pixels[i] & 0x00FFFFFF) != shown[i];
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    std::printf("%ls icon: %zu of %zu pixels differ\n", c.name, differences, shown.size());
    if (differences < best_differences) {
      second_differences = best_differences;
      best_differences = differences;
      best = c.name;
    } else {
      second_differences = std::min(second_differences, differences);
    }
  }
  // One icon must match all but a few edge pixels, and clearly better than
  // any other (a blank capture would match none).
  if (best_differences > shown.size() / 20 || second_differences < 4 * best_differences + 20) {
    return L"<unclear>";
  }
  return best;
}

TEST_F(ZonerollWindowTest, RunThatFailsAtAWorldShowsTheErrorBoxAndKeepsTheWorldsBefore) {
  WriteUsualSettings();
  sim_.Fault("elmira", "503");
  ASSERT_NO_FATAL_FAILURE(Start());

  Click(TForm1::kButton1);
  const HWND box = program_->WaitForWindow(L"#32770", std::chrono::seconds(120));
  ASSERT_NE(box, nullptr) << "no error box";
  const MessageBoxSeen seen = Look(box);
  EXPECT_EQ(seen.caption, kTitle);
  EXPECT_EQ(seen.text, L"HTTP/1.1 503 Service Unavailable.");
  EXPECT_EQ(seen.buttons, std::vector<std::wstring>{L"OK"});
  EXPECT_STREQ(IconShown(seen.icon), L"error");
  // Behind the box: the lines written before the error, the worlds before it
  // converted, the later ones not visited.
  EXPECT_EQ(Text(TForm1::kMemo1), ExpectedLog(0, 4, false));
  ExpectWorldFilesMatchReference(4);

  ASSERT_TRUE(PostMessageW(box, WM_COMMAND, IDOK, 0));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
  EXPECT_TRUE(IsWindowEnabled(Control(TForm1::kButton1)));
  EXPECT_EQ(Text(TForm1::kMemo1), ExpectedLog(0, 4, false));

  // The window is usable again: once the service answers, the next run
  // converts the rest.
  sim_.Reset();
  Click(TForm1::kButton1);
  ASSERT_TRUE(WaitUntil([&] { return RunOver(); }, std::chrono::seconds(120)));
  EXPECT_EQ(Text(TForm1::kMemo1), ExpectedLog(4));
  ExpectWorldFilesMatchReference();

  // A list cut short by the service ends the run the same way and leaves no
  // half-written file.
  const std::wstring corin = cwd_ + L"maps\\corin.ini";
  ASSERT_TRUE(DeleteFileW(corin.c_str()));
  sim_.Fault("corin", "short");
  Click(TForm1::kButton1);
  const HWND cut = program_->WaitForWindow(L"#32770", std::chrono::seconds(120));
  ASSERT_NE(cut, nullptr) << "no error box";
  const MessageBoxSeen cut_seen = Look(cut);
  std::printf("a list cut short: \"%s\"\n", Cp932ToUtf8(Cp932(cut_seen.text)).c_str());
  EXPECT_EQ(cut_seen.caption, kTitle);
  EXPECT_FALSE(cut_seen.text.empty());
  EXPECT_EQ(Text(TForm1::kMemo1), ExpectedLog(kAssistantWorlds.size(), 2, false));
  EXPECT_FALSE(Exists(corin));
  ASSERT_TRUE(PostMessageW(cut, WM_COMMAND, IDOK, 0));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(cut) && RunOver(); }));
  CloseByButton();
}

// The status line of the folder picker shows `path`.
bool PickerShows(HWND picker, const std::wstring& path) {
  for (const ChildInfo& child : testing::ChildrenOf(picker)) {
    if (child.text == path) return true;
  }
  return false;
}

TEST_F(ZonerollWindowTest, EditedTextsAndFolderChoicesAreSavedAndLoadedAsTheyStand) {
  WriteBytes(cwd_ + L"Zoneroll.ini",
             "[Other]\r\nKept=1\r\n\r\n[Zoneroll.exe]\r\nPath=old\\\r\nName=.ini\r\nTolMap=tm\\\r\n"
             "Host=" +
                 sim_.Host() + "\r\n\r\n[Update]\r\narvel=x\r\n\r\n");
  ASSERT_NO_FATAL_FAILURE(Start());
  EXPECT_EQ(Text(TForm1::kLabeledEdit1), L"old\\");
  EXPECT_EQ(Text(TForm1::kLabeledEdit3), L"tm\\");

  // The preview follows the file name text.
  SetText(TForm1::kLabeledEdit2, L"");
  EXPECT_EQ(Text(TForm1::kLabel2), L"arvel");
  SetText(TForm1::kLabeledEdit2, L".txt");
  EXPECT_EQ(Text(TForm1::kLabel2), L"arvel.txt");

  // The folder picker opens on the working folder with its prompt; cancel
  // changes nothing, a confirmed choice comes with a "\".
  const std::wstring working_folder = cwd_.substr(0, cwd_.size() - 1);
  struct Choice {
    int button;
    int edit;
    const wchar_t* prompt;
  } choices[] = {{TForm1::kBitBtn2, TForm1::kLabeledEdit3, L"TolMap.iniのあるディレクトリを選択"},
                 {TForm1::kBitBtn1, TForm1::kLabeledEdit1, L"出力先ディレクトリを選択"}};
  for (const Choice& choice : choices) {
    SCOPED_TRACE(choice.prompt);
    const std::wstring before = Text(choice.edit);
    for (const bool confirm : {false, true}) {
      ASSERT_TRUE(PostMessageW(Control(choice.button), BM_CLICK, 0, 0));
      const HWND picker = program_->WaitForWindow(L"#32770");
      ASSERT_NE(picker, nullptr);
      EXPECT_TRUE(PickerShows(picker, choice.prompt));
      EXPECT_FALSE(IsWindowEnabled(form_)) << "the window takes input behind the picker";
      if (confirm) {
        ASSERT_TRUE(WaitUntil([&] { return PickerShows(picker, working_folder); }))
            << "the picker didn't open on the working folder";
      }
      ASSERT_TRUE(PostMessageW(picker, WM_COMMAND, confirm ? IDOK : IDCANCEL, 0));
      ASSERT_TRUE(WaitUntil([&] { return !IsWindow(picker) && IsWindowEnabled(form_); }));
      EXPECT_EQ(Text(choice.edit), confirm ? cwd_ : before);
    }
  }

  // A cleared output folder is saved empty and loads empty, not as the
  // default.
  SetText(TForm1::kLabeledEdit1, L"");
  CloseByButton();
  EXPECT_EQ(ReadBytes(cwd_ + L"Zoneroll.ini"),
            "[Other]\r\nKept=1\r\n\r\n[Zoneroll.exe]\r\nPath=\r\nName=.txt\r\nTolMap=" +
                Cp932(cwd_) + "\r\nHost=" + sim_.Host() + "\r\n\r\n[Update]\r\narvel=x\r\n\r\n");
  ASSERT_NO_FATAL_FAILURE(Start());
  EXPECT_EQ(Text(TForm1::kLabeledEdit1), L"");
  EXPECT_EQ(Text(TForm1::kLabel2), L"arvel.txt");
  CloseByButton();
}

TEST_F(ZonerollWindowTest, SettingsThatCantBeReadOrWrittenNeverCostTheWindow) {
  const std::wstring ini = cwd_ + L"Zoneroll.ini";
  const std::wstring program_folder = FolderOf(exe_);
  using namespace std::string_literals;
  std::string garbage = "\x81\xFF\x00[[\r\n=\x82\r\n[Zoneroll.exe]\r\nName=.lst\r\n\x85"s;
  garbage += std::string(4000, '\x9F');
  struct Case {
    const char* name;
    std::string content;
    bool lock;  // held open without sharing while the program runs
    std::wstring name_text;
    bool box_on_close;
  } cases[] = {
      // What can be read is taken: the defaults stand in for the rest.
      {"garbage", garbage, false, L".lst", false},
      // Over the size a settings file can have: not read at all, and not
      // replaced by the three texts alone at close.
      {"huge", std::string((64u << 20) + 1, ';'), false, L".ini", true},
      {"locked", "[Zoneroll.exe]\r\nName=.dat\r\n", true, L".ini", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(ini, c.content);
    HANDLE lock = INVALID_HANDLE_VALUE;
    if (c.lock) {
      lock = CreateFileW(ini.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    }
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_EQ(Text(TForm1::kLabeledEdit1), program_folder);
    EXPECT_EQ(Text(TForm1::kLabeledEdit2), c.name_text);
    EXPECT_EQ(Text(TForm1::kLabeledEdit3), L"");
    EXPECT_EQ(program_->FindWindowOf(L"#32770"), nullptr) << "a box at start";

    ASSERT_TRUE(PostMessageW(Control(TForm1::kButton2), BM_CLICK, 0, 0));
    if (c.box_on_close) {
      // The user learns that the texts were not saved, then the window closes.
      const HWND box = program_->WaitForWindow(L"#32770");
      ASSERT_NE(box, nullptr) << "no box at close";
      const MessageBoxSeen seen = Look(box);
      EXPECT_EQ(seen.caption, kTitle);
      EXPECT_NE(seen.text.find(L"Zoneroll.ini"), std::wstring::npos) << Cp932(seen.text);
      EXPECT_TRUE(program_->running());
      ASSERT_TRUE(PostMessageW(box, WM_COMMAND, IDOK, 0));
    }
    EXPECT_EQ(program_->WaitForExit(), 0u);
    if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
    if (c.box_on_close) {
      EXPECT_EQ(ReadBytes(ini), c.content) << "changed by a save that failed";
    } else {
      EXPECT_NE(ReadBytes(ini).find("\r\nPath=" + Cp932(program_folder) + "\r\n"),
                std::string::npos);
    }
  }
}

// Started in a working folder whose name code page 932 can't spell:
// Zoneroll.ini is read and written there, and the picker opens on it. The
// edits hold code page 932 text, so a folder chosen there comes in by its
// short name, which names the same folder, and a run writes into it.
TEST_F(ZonerollWindowTest, WorkingFolderCodePage932CantSpell) {
  cwd_ += L"Zo\u00EB \uD55C\\";
  ASSERT_TRUE(CreateDirectoryW(cwd_.c_str(), nullptr));
  CopyFileW((reference_ + L"TolMap.ini").c_str(), (cwd_ + L"TolMap.ini").c_str(), FALSE);
  WriteBytes(
      cwd_ + L"Zoneroll.ini",
      "[Zoneroll.exe]\r\nPath=old\\\r\nName=.ini\r\nTolMap=\r\nHost=" + sim_.Host() + "\r\n\r\n");
  ASSERT_NO_FATAL_FAILURE(Start());
  EXPECT_EQ(Text(TForm1::kLabeledEdit1), L"old\\");

  ASSERT_TRUE(PostMessageW(Control(TForm1::kBitBtn1), BM_CLICK, 0, 0));
  const HWND picker = program_->WaitForWindow(L"#32770");
  ASSERT_NE(picker, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return PickerShows(picker, cwd_.substr(0, cwd_.size() - 1)); }))
      << "the picker didn't open on the working folder";
  ASSERT_TRUE(PostMessageW(picker, WM_COMMAND, IDOK, 0));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(picker) && IsWindowEnabled(form_); }));
  const std::wstring chosen = Text(TForm1::kLabeledEdit1);
  ASSERT_NE(chosen, L"old\\");
  EXPECT_EQ(Utf16ToCp932(std::u16string(chosen.begin(), chosen.end())).find('?'), std::string::npos)
      << Cp932(chosen);
  EXPECT_TRUE(chosen.ends_with(L"\\"));

  Click(TForm1::kButton1);
  ASSERT_TRUE(WaitUntil([&] { return RunOver(); }, std::chrono::seconds(60)));
  const std::string expected = ReadBytes(reference_ + L"maps\\arvel.ini");
  ASSERT_NE(expected, "<missing>");
  EXPECT_EQ(ReadBytes(cwd_ + L"arvel.ini"), expected);
  CloseByButton();
  const std::string saved = ReadBytes(cwd_ + L"Zoneroll.ini");
  EXPECT_NE(saved.find("Path=" + Cp932(chosen) + "\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("[Update]\r\narvel="), std::string::npos) << saved;
}

}  // namespace
}  // namespace tol

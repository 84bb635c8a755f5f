// kovun.exe's alerts on the desktop, in this process: a monitor whose
// status service is scripted here and whose desktop is busy or not as the
// test says; what the notification-area icon sends is read from its record.

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "components/win32/application.h"
#include "components/win32/taskbar.h"
#include "monitor/texts.h"
#include "monitor/win32/kovun_form.h"
#include "net/http_client.h"
#include "shared/codepage.h"
#include "shared/errors.h"

namespace tol {
namespace {

// The status service: the same text for every status request until the
// test changes it; no load-time text (the monitor takes its stand-in).
struct Service {
  std::mutex mutex;
  std::string status;
  int requests = 0;
};

class ScriptedHttp : public HttpClient {
 public:
  explicit ScriptedHttp(std::shared_ptr<Service> service) : service_(std::move(service)) {}
  void SetProfile(const RequestProfile& profile) override { profile_ = profile; }
  const RequestProfile& profile() const override { return profile_; }
  std::string Get(const std::string& url) override {
    if (url.find("status.txt") == std::string::npos) throw EOtherError("no load time here");
    std::lock_guard lock(service_->mutex);
    ++service_->requests;
    return service_->status;
  }
  HeadResult Head(const std::string&) override { return {}; }
  void Abandon() override {}

 private:
  std::shared_ptr<Service> service_;
  RequestProfile profile_;
};

// Every panel's server Good, but those of `down_maps` (map server numbers)
// Down.
std::string StatusText(std::initializer_list<int> down_maps) {
  std::string text =
      "LoginServer,Good,2,2,100\r\nPatchServerH,Good,2,2,100\r\nPatchServerFV1,Good,2,2,100\r\n"
      "CharSelect,Good,2,2,100\r\n";
  for (int n = 1; n <= 15; ++n) {
    bool down = false;
    for (int d : down_maps) down = down || d == n;
    text += "GameServer" + std::string(n < 10 ? "0" : "") + std::to_string(n) +
            (down ? ",Down,0,2,100\r\n" : ",Good,2,2,100\r\n");
  }
  return text;
}

std::u16string Wide(const std::string& cp932) { return Cp932ToUtf16(cp932); }

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(5);
  }
  return true;
}

class KovunAlertsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ =
        std::wstring(temp) + L"kovun-alerts-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(folder_.c_str(), nullptr);
  }
  void TearDown() override {
    form_.reset();
    for (const wchar_t* name : {L"kovun.ini", L"kovun_error.txt"}) {
      DeleteFileW((folder_ + name).c_str());
    }
    RemoveDirectoryW(folder_.c_str());
  }

  void Start(int sound) {
    const std::wstring ini = folder_ + L"kovun.ini";
    HANDLE file = CreateFileW(ini.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    const std::string text =
        "[Server]\r\nURL=http://127.0.0.1:9/status/\r\n[Alert]\r\nEnabled=1\r\nServers=all\r\n"
        "Down=1\r\nUp=1\r\nSound=" +
        std::to_string(sound) + "\r\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    service_->status = StatusText({});
    KovunFormPorts ports;
    ports.http = std::make_unique<ScriptedHttp>(service_);
    // Asked once after every finished poll, and every few seconds while
    // alerts are held.
    ports.notification_state = [this] {
      ++queries_;
      std::lock_guard lock(service_->mutex);
      requests_at_query_ = service_->requests;
      return state_;
    };
    ports.alert_beep = [this] { ++beeps_; };
    const std::wstring exe = folder_ + L"kovun.exe";
    form_ = std::make_unique<TKovunForm>(
        application_, FilePath::FromSystem(PathString(ini.begin(), ini.end())),
        FilePath::FromSystem(PathString(exe.begin(), exe.end())), std::move(ports));
    ASSERT_TRUE(PumpUntil([&] { return queries_ >= 1; }, std::chrono::seconds(10))) << "first poll";
  }

  // One poll with the status `text`, to its end.
  void Poll(const std::string& text) {
    {
      std::lock_guard lock(service_->mutex);
      service_->status = text;
    }
    const int before = requests_at_query_;
    HWND window = form_->handle();
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(100, STN_DBLCLK),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, 100)));
    // The poll has ended when the desktop is asked after its request.
    ASSERT_TRUE(PumpUntil([&] { return requests_at_query_ > before; }, std::chrono::seconds(10)));
  }

  int balloons() const { return form_->tray_icon().entry().balloons_shown(); }
  TTaskTrayIcon::RecordView record() const { return form_->tray_icon().entry().record(); }

  Application application_;
  std::wstring folder_;
  std::shared_ptr<Service> service_ = std::make_shared<Service>();
  std::unique_ptr<TKovunForm> form_;
  int queries_ = 0, beeps_ = 0, requests_at_query_ = 0;
  NotificationState state_ = NotificationState::kAccepts;
};

// Three servers down in one poll: one balloon lists them, one beep (or none
// with Sound=0), and the balloon never plays the shell's own sound. While
// the desktop is busy (a full-screen game) alerts are held: no balloon, no
// beep; afterwards one balloon tells them. During the shell's quiet time the
// balloon goes without a beep. No alert shows the window.
TEST_F(KovunAlertsTest, OneBalloonPerPollAndNoneWhileBusy) {
  const unsigned kFlags = 0x10 | 0x80;  // NIIF_NOSOUND | NIIF_RESPECT_QUIET_TIME
  for (const int sound : {1, 0}) {
    SCOPED_TRACE(sound);
    queries_ = beeps_ = requests_at_query_ = 0;
    service_->requests = 0;
    state_ = NotificationState::kAccepts;
    Start(sound);
    ASSERT_TRUE(form_->tray_icon().added());
    const int first = balloons();

    Poll(StatusText({3, 5, 7}));
    EXPECT_EQ(balloons(), first + 1);
    EXPECT_EQ(record().info, Wide(FillText(kAlertDownText.bytes(), {"Arvel", "3"}) + "\n" +
                                  FillText(kAlertDownText.bytes(), {"Arvel", "5"}) + "\n" +
                                  FillText(kAlertDownText.bytes(), {"Arvel", "7"})));
    EXPECT_EQ(record().info_title, u"Kovun");
    EXPECT_EQ(record().info_flags, kFlags | 2u);  // the warning icon
    EXPECT_EQ(beeps_, sound);

    state_ = NotificationState::kHold;
    Poll(StatusText({}));   // three back up
    Poll(StatusText({9}));  // one more down
    Poll(StatusText({9}));  // nothing new
    EXPECT_EQ(balloons(), first + 1);
    EXPECT_EQ(beeps_, sound);

    // The desktop accepts again: the next check between polls tells it.
    state_ = NotificationState::kAccepts;
    ASSERT_TRUE(PumpUntil([&] { return balloons() == first + 2; }, std::chrono::seconds(10)));
    const std::u16string away = Wide(FillText(kBalloonAwayText.bytes(), {"4"}));
    EXPECT_EQ(record().info.substr(0, away.size()), away) << record().info.size();
    EXPECT_NE(record().info.find(Wide(FillText(kAlertDownText.bytes(), {"Arvel", "9"}))),
              std::u16string::npos);
    EXPECT_EQ(record().info_flags, kFlags | 2u);
    EXPECT_EQ(beeps_, 2 * sound);
    // Nothing more to tell.
    Poll(StatusText({9}));
    EXPECT_EQ(balloons(), first + 2);
    // The shell's quiet time: the balloon goes (the shell drops it), no beep.
    state_ = NotificationState::kQuietTime;
    Poll(StatusText({}));
    EXPECT_EQ(balloons(), first + 3);
    EXPECT_EQ(record().info, Wide(FillText(kAlertUpText.bytes(), {"Arvel", "9"})));
    EXPECT_EQ(beeps_, 2 * sound);
    EXPECT_FALSE(IsWindowVisible(form_->handle()));
    form_.reset();
  }
}

}  // namespace
}  // namespace tol

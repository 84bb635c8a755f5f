// The players' zip as a player uses it: unpacked by test-package.sh into a
// folder whose name holds a blank and Japanese characters, kovun.exe started
// there with the sample settings (the service's address filled in), and
// Zoneroll.exe started there for one fetch into the Zoneroll folder beside
// kovun.exe, both against tolvane-sim under Wine.
//
// KOVUN_PACKAGE_ROOT is the folder (a Unix path, ASCII) that holds the
// unpacked "展開先 テスト\kovun-<version>\"; KOVUN_SIM_PORT is the sim's port
// (with_services.sh).

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "assistant/win32/zoneroll_form.h"
#include "assistant_win32/window_driver.h"
#include "kovun_version.h"

namespace tol {
namespace {

using testing::ProgramProcess;
using testing::Send;
using testing::TextOf;
using testing::WaitUntil;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string ReadBytes(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
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

class PackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Env("KOVUN_SIM_PORT").empty()) << "run through with_services.sh";
    ASSERT_FALSE(Env("KOVUN_PACKAGE_ROOT").empty()) << "run through test-package.sh";
    const std::string version = KOVUN_VERSION_TEXT;
    folder_ = testing::WinePath(Env("KOVUN_PACKAGE_ROOT")) + L"\\展開先 テスト\\kovun-" +
              std::wstring(version.begin(), version.end()) + L"\\";
    ASSERT_TRUE(Exists(folder_ + L"kovun.exe")) << "no kovun.exe in the unpacked folder";
  }

  std::wstring folder_;
  const std::string host_ = "127.0.0.1:" + Env("KOVUN_SIM_PORT");
};

// The zip is named after VERSION; both programs carry the same version.
TEST_F(PackageTest, BothProgramsCarryTheZipsVersion) {
  const std::string version = KOVUN_VERSION_TEXT;
  for (const wchar_t* program : {L"kovun.exe", L"Zoneroll.exe"}) {
    const std::wstring path = folder_ + program;
    DWORD ignored = 0;
    std::vector<BYTE> data(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    ASSERT_FALSE(data.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(data.size()), data.data()));
    for (const wchar_t* key : {L"\\StringFileInfo\\041104B0\\FileVersion",
                               L"\\StringFileInfo\\041104B0\\ProductVersion"}) {
      wchar_t* text = nullptr;
      UINT length = 0;
      ASSERT_TRUE(VerQueryValueW(data.data(), key, reinterpret_cast<void**>(&text), &length));
      EXPECT_EQ(std::wstring(text), std::wstring(version.begin(), version.end()));
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    // "0.1.0a": 0.1.0.0.
    const std::string numbers = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(HIWORD(fixed->dwFileVersionLS)) + ".";
    EXPECT_EQ(version.rfind(numbers.substr(0, numbers.size() - 1), 0), 0u);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionLS), 0);
  }
}

TEST_F(PackageTest, MonitorStartsWithTheSampleSettingsAndSavesIntoThem) {
  // The sample renamed to kovun.ini, with the service's address put in.
  std::string ini = ReadBytes(folder_ + L"kovun.ini.sample");
  const std::string placeholder = "URL=http://status.tolvane.example/status/";
  const std::size_t at = ini.find(placeholder);
  ASSERT_NE(at, std::string::npos) << "the sample has no URL placeholder";
  ini.replace(at, placeholder.size(), "URL=http://" + host_ + "/status/");
  WriteBytes(folder_ + L"kovun.ini", ini);

  ProgramProcess program(folder_ + L"kovun.exe", folder_);
  const HWND form = program.WaitForWindow(L"TKovunForm");
  ASSERT_NE(form, nullptr) << "no window";
  // The first poll ends with the caption "Kovun Rev. <version> ( Average :
  // N )" and, as NextTime is 1, the countdown behind it.
  std::wstring caption;
  EXPECT_TRUE(WaitUntil([&] {
    caption = TextOf(form).value_or(L"");
    return caption.find(L" ( Average : ") != std::wstring::npos;
  })) << "caption: " << std::string(caption.begin(), caption.end());
  const std::string version = KOVUN_VERSION_TEXT;
  EXPECT_EQ(caption.rfind(L"Kovun Rev. " + std::wstring(version.begin(), version.end()) +
                              L" ( Average : ",
                          0),
            0u);

  RECT rect{};
  GetWindowRect(form, &rect);
  ASSERT_TRUE(Send(form, WM_CLOSE));
  EXPECT_EQ(program.WaitForExit(), 0u);

  // The close-time save wrote the window's place into the same file and
  // kept the sample's explanations and every other key.
  const std::string saved = ReadBytes(folder_ + L"kovun.ini");
  EXPECT_NE(saved.find("Left=" + std::to_string(rect.left) + "\r\n"), std::string::npos);
  EXPECT_NE(saved.find("Top=" + std::to_string(rect.top) + "\r\n"), std::string::npos);
  EXPECT_NE(saved.find("TaskTray=0\r\n"), std::string::npos);
  EXPECT_NE(saved.find("URL=http://" + host_ + "/status/\r\n"), std::string::npos);
  EXPECT_EQ(saved.substr(saved.size() - 2), "\r\n");
  const auto lines = [](const std::string& text, char first) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if ((i == 0 || text[i - 1] == '\n') && text[i] == first) ++n;
    }
    return n;
  };
  EXPECT_EQ(lines(saved, ';'), lines(ini, ';'));
  EXPECT_EQ(lines(saved, '['), lines(ini, '['));
  EXPECT_FALSE(Exists(folder_ + L"kovun_error.txt"));
}

TEST_F(PackageTest, AssistantFetchesIntoTheFolderBesideTheMonitor) {
  // A player who pointed the assistant at the Zoneroll folder and named the
  // map-list service.
  WriteBytes(folder_ + L"Zoneroll.ini",
             "[Zoneroll.exe]\r\nPath=Zoneroll\\\r\nName=.ini\r\nTolMap=\r\nHost=" + host_ +
                 "\r\n");
  ProgramProcess program(folder_ + L"Zoneroll.exe", folder_);
  const HWND form = program.WaitForWindow(TForm1::kClassName);
  ASSERT_NE(form, nullptr) << "no window";
  ASSERT_TRUE(Send(GetDlgItem(form, TForm1::kButton1), BM_CLICK));
  EXPECT_TRUE(WaitUntil([&] {
    return TextOf(GetDlgItem(form, TForm1::kMemo1)).value_or(L"").find(L"= 取得終了 =") !=
           std::wstring::npos;
  })) << "the run did not finish";
  const std::string arvel = ReadBytes(folder_ + L"Zoneroll\\arvel.ini");
  EXPECT_NE(arvel.find("[GameServer01]"), std::string::npos);
  EXPECT_TRUE(Exists(folder_ + L"Zoneroll\\rosk.ini"));
  ASSERT_TRUE(Send(GetDlgItem(form, TForm1::kButton2), BM_CLICK));
  EXPECT_EQ(program.WaitForExit(), 0u);
  EXPECT_NE(ReadBytes(folder_ + L"Zoneroll.ini").find("[Update]"), std::string::npos);
}

}  // namespace
}  // namespace tol

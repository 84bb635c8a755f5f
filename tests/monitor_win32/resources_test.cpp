// kovun.exe's resources, linked into this test program as into the program:
// its icon, version and manifest take effect here the way they do there.

#include <gtest/gtest.h>
#include <windows.h>
// After <windows.h>, which it needs.
#include <commctrl.h>

#include <string>
#include <vector>

namespace tol {
namespace {

TEST(KovunResourcesTest, MainIconHasEverySize) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  for (int size : {16, 24, 32, 48, 256}) {
    SCOPED_TRACE(size);
    // The group's own image of that size: LookupIconIdFromDirectoryEx finds
    // the best match, which must be exact.
    const HRSRC group = FindResourceW(instance, L"MAINICON", RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    auto* directory = static_cast<BYTE*>(LockResource(LoadResource(instance, group)));
    const int id = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
    const HRSRC image = FindResourceW(instance, MAKEINTRESOURCEW(id), RT_ICON);
    ASSERT_NE(image, nullptr);
    const HICON icon = CreateIconFromResourceEx(
        static_cast<BYTE*>(LockResource(LoadResource(instance, image))),
        SizeofResource(instance, image), TRUE, 0x00030000, 0, 0, LR_DEFAULTCOLOR);
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bitmap{};
    GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
    EXPECT_EQ(bitmap.bmWidth, size);
    EXPECT_EQ(bitmap.bmHeight, size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
}

TEST(KovunResourcesTest, VersionIsTheProgramsRevision) {
  wchar_t path[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> data(size);
  ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, data.data()));
  struct Translation {
    WORD language;
    WORD code_page;
  }* translation = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  EXPECT_EQ(translation->language, 0x0411);
  wchar_t* text = nullptr;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\StringFileInfo\\041104B0\\FileVersion",
                             reinterpret_cast<void**>(&text), &length));
  EXPECT_EQ(std::wstring(text), L"0.1.0a");
  VS_FIXEDFILEINFO* fixed = nullptr;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00000001u);  // 0.1
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
}

TEST(KovunResourcesTest, ManifestSelectsTheVersion6CommonControls) {
  // Only the version 6 push button knows its ideal size (the file versions
  // don't tell: Wine gives both of its comctl32 files version 5).
  const HWND button = CreateWindowExW(0, L"BUTTON", L"OK", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(button, nullptr);
  SIZE ideal{};
  EXPECT_TRUE(SendMessageW(button, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)));
  DestroyWindow(button);
}

TEST(KovunResourcesTest, ManifestMakesTheProgramAwareOfEachMonitorsDpi) {
  // Functions of Windows 10, looked up as the program does.
  const HMODULE user32 = GetModuleHandleW(L"user32.dll");
  using GetContextFn = void*(WINAPI*)();
  using GetAwarenessFn = int(WINAPI*)(void*);
  const auto get_context = reinterpret_cast<GetContextFn>(
      reinterpret_cast<void*>(GetProcAddress(user32, "GetThreadDpiAwarenessContext")));
  const auto get_awareness = reinterpret_cast<GetAwarenessFn>(
      reinterpret_cast<void*>(GetProcAddress(user32, "GetAwarenessFromDpiAwarenessContext")));
  ASSERT_NE(get_context, nullptr);
  ASSERT_NE(get_awareness, nullptr);
  constexpr int kPerMonitorAware = 2;  // DPI_AWARENESS_PER_MONITOR_AWARE
  EXPECT_EQ(get_awareness(get_context()), kPerMonitorAware);
}

}  // namespace
}  // namespace tol

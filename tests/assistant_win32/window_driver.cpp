#include "assistant_win32/window_driver.h"

#include <stdexcept>

namespace tol::testing {
namespace {

constexpr UINT kSendBoundMs = 10000;

struct Search {
  DWORD process;
  const wchar_t* class_name;
  HWND found = nullptr;
};

BOOL CALLBACK FindTopLevel(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (process == search->process && IsWindowVisible(window) &&
      std::wstring(name) == search->class_name) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM parameter) {
  auto* children = reinterpret_cast<std::vector<ChildInfo>*>(parameter);
  wchar_t name[64] = {};
  GetClassNameW(child, name, 64);
  children->push_back({child, name, GetDlgCtrlID(child),
                       static_cast<LONG>(GetWindowLongPtrW(child, GWL_STYLE)),
                       TextOf(child).value_or(L"<no answer>")});
  return TRUE;
}

}  // namespace

std::wstring WinePath(const std::string& unix_path) {
  std::wstring path = L"Z:";
  for (const char c : unix_path) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return path;
}

bool Send(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  DWORD_PTR answer = 0;
  const LRESULT sent =
      SendMessageTimeoutW(window, message, wparam, lparam, SMTO_NORMAL, kSendBoundMs, &answer);
  if (result != nullptr) *result = static_cast<LRESULT>(answer);
  return sent != 0;
}

std::optional<std::wstring> TextOf(HWND window) {
  LRESULT length = 0;
  if (!Send(window, WM_GETTEXTLENGTH, 0, 0, &length)) return std::nullopt;
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  LRESULT copied = 0;
  if (!Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), &copied)) {
    return std::nullopt;
  }
  text.resize(static_cast<std::size_t>(copied));
  return text;
}

std::vector<ChildInfo> ChildrenOf(HWND parent) {
  std::vector<ChildInfo> children;
  EnumChildWindows(parent, &CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

RECT PlaceInParent(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

ProgramProcess::ProgramProcess(const std::wstring& exe, const std::wstring& cwd) {
  std::wstring command_line = L"\"" + exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (!CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      cwd.c_str(), &startup, &info_)) {
    throw std::runtime_error("the program can't be started");
  }
}

ProgramProcess::~ProgramProcess() {
  if (running()) {
    TerminateProcess(info_.hProcess, 99);
    WaitForSingleObject(info_.hProcess, 10000);
  }
  CloseHandle(info_.hThread);
  CloseHandle(info_.hProcess);
}

HWND ProgramProcess::FindWindowOf(const wchar_t* class_name) const {
  Search search{info_.dwProcessId, class_name};
  EnumWindows(&FindTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND ProgramProcess::WaitForWindow(const wchar_t* class_name,
                                   std::chrono::milliseconds bound) const {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindWindowOf(class_name)) != nullptr || !running(); }, bound);
  return found;
}

bool ProgramProcess::running() const {
  return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> ProgramProcess::WaitForExit(std::chrono::milliseconds bound) const {
  if (WaitForSingleObject(info_.hProcess, static_cast<DWORD>(bound.count())) != WAIT_OBJECT_0) {
    return std::nullopt;
  }
  DWORD code = 0;
  GetExitCodeProcess(info_.hProcess, &code);
  return code;
}

TEXTMETRICW MetricsOf(HFONT font) {
  const HDC dc = GetDC(nullptr);
  const HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return metrics;
}

std::vector<COLORREF> ScreenPixels(const RECT& rect) {
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  std::vector<COLORREF> pixels;
  if (width <= 0 || height <= 0) return pixels;
  const HDC screen = GetDC(nullptr);
  const HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  const auto* data = static_cast<const DWORD*>(bits);
  pixels.assign(data, data + static_cast<std::size_t>(width) * height);
  for (COLORREF& pixel : pixels) pixel &= 0x00FFFFFF;
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

}  // namespace tol::testing

// Windows side of file_io.h: paths go to the W functions as the UTF-16 they
// hold, whatever the system's ANSI code page is.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "shared/codepage.h"
#include "shared/errors.h"
#include "shared/file_io.h"
#include "shared/system_file_win32.h"

namespace tol {

namespace {

using system_file::Handle;
using system_file::ReasonText;
using system_file::SystemPath;
using system_file::ThrowWindowsError;
using system_file::Wide;

// True when a process has the id `pid`. One that this process may not open
// counts as running; one that has ended but is still held open does not.
bool ProcessRunning(std::uint32_t pid) {
  const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return ::GetLastError() == ERROR_ACCESS_DENIED;
  const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  ::CloseHandle(process);
  return running;
}

// Removes the temporary files left over in `folder` (ending in a separator,
// or empty for the working directory). Nothing here may fail the write.
void RemoveStaleTempFiles(const std::u16string& folder) {
  WIN32_FIND_DATAW found;
  // The pattern only narrows the listing (it also matches short 8.3 names);
  // each long name is checked whole.
  const std::u16string pattern = folder + u"~tol-*.tmp";
  const HANDLE find = ::FindFirstFileExW(Wide(pattern), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return;
  FILETIME now_time;
  ::GetSystemTimeAsFileTime(&now_time);
  const auto ticks = [](const FILETIME& time) {  // 100 ns since 1601
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                     time.dwLowDateTime);
  };
  do {
    // Files only; a link or junction is never followed.
    if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
      continue;
    }
    const std::u16string name(reinterpret_cast<const char16_t*>(found.cFileName));
    // The pattern's names are ASCII, so narrowing each character is exact.
    if (std::any_of(name.begin(), name.end(), [](char16_t c) { return c > 0x7F; })) continue;
    const std::chrono::seconds age((ticks(now_time) - ticks(found.ftLastWriteTime)) / 10000000);
    if (IsStaleTempFile(std::string(name.begin(), name.end()), age, ProcessRunning)) {
      ::DeleteFileW(Wide(folder + name));
    }
  } while (::FindNextFileW(find, &found));
  ::FindClose(find);
}

// An antivirus or indexer that opens a new or replaced file to look at it,
// or a reader that opened the target without FILE_SHARE_DELETE, makes the
// rename fail for as long as it holds the file.
bool MayLetGoSoon(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED;
}

// Renames `temp` over `target`, waiting up to about a second, in short
// steps, for another program to let go of either. ERROR_SUCCESS or the
// system's error.
DWORD ReplaceWithRetry(const std::u16string& temp, const std::u16string& target, bool flush) {
  constexpr ULONGLONG kPatience = 1000;  // milliseconds
  const ULONGLONG start = ::GetTickCount64();
  DWORD wait = 10;
  while (!::MoveFileExW(Wide(temp), Wide(target),
                        MOVEFILE_REPLACE_EXISTING | (flush ? MOVEFILE_WRITE_THROUGH : 0))) {
    const DWORD error = ::GetLastError();
    if (!MayLetGoSoon(error) || ::GetTickCount64() - start >= kPatience) return error;
    // A folder or a read-only file at the target refuses for good.
    const DWORD attributes = ::GetFileAttributesW(Wide(target));
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
      return error;
    }
    ::Sleep(wait);
    wait = wait < 100 ? wait * 2 : 100;
  }
  return ERROR_SUCCESS;
}

}  // namespace

std::optional<std::string> ReadFileBytes(const FilePath& path, std::size_t max_bytes) {
  std::u16string system_path;
  if (!SystemPath(path, &system_path)) return std::nullopt;
  // Other programs may keep the file open for writing or replace it meanwhile.
  Handle file(::CreateFileW(Wide(system_path), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return std::nullopt;
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) return std::nullopt;
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.get(), &size) ||
      static_cast<unsigned long long>(size.QuadPart) > max_bytes) {
    return std::nullopt;
  }
  std::string bytes;
  char buffer[16384];
  while (true) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) return std::nullopt;
    if (got == 0) break;
    if (bytes.size() + got > max_bytes) return std::nullopt;  // grew while being read
    bytes.append(buffer, got);
  }
  return bytes;
}

bool FileExists(const FilePath& path) {
  std::u16string system_path;
  if (!SystemPath(path, &system_path)) return false;
  const DWORD attributes = ::GetFileAttributesW(Wide(system_path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void WriteFileAtomic(const FilePath& path, std::string_view bytes, WriteDurability durability) {
  const bool flush = durability == WriteDurability::kFlushed;
  std::u16string target;
  if (!SystemPath(path, &target)) ThrowWindowsError(ERROR_INVALID_NAME);
  const std::size_t separator = target.find_last_of(u"\\/:");
  const std::u16string folder =
      separator == std::u16string::npos ? std::u16string() : target.substr(0, separator + 1);
  if (FirstWriteIntoFolder(std::string_view(reinterpret_cast<const char*>(folder.data()),
                                            folder.size() * sizeof(char16_t)))) {
    RemoveStaleTempFiles(folder);
  }
  static std::atomic<std::uint32_t> counter{0};
  std::u16string temp;
  HANDLE created = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE; ++attempt) {
    const std::string name = TempFileName(::GetCurrentProcessId(), counter++);
    temp = folder + std::u16string(name.begin(), name.end());
    created = ::CreateFileW(Wide(temp), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) {
      ThrowWindowsError(::GetLastError());
    }
  }
  if (created == INVALID_HANDLE_VALUE) ThrowWindowsError(ERROR_FILE_EXISTS);
  Handle file(created);
  DWORD error = ERROR_SUCCESS;
  std::string_view rest = bytes;
  while (error == ERROR_SUCCESS && !rest.empty()) {
    const DWORD chunk = rest.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(rest.size());
    DWORD written = 0;
    if (!::WriteFile(file.get(), rest.data(), chunk, &written, nullptr)) {
      error = ::GetLastError();
    } else {
      rest.remove_prefix(written);
    }
  }
  if (error == ERROR_SUCCESS && flush && !::FlushFileBuffers(file.get())) error = ::GetLastError();
  if (error == ERROR_SUCCESS && !file.Close()) error = ::GetLastError();
  if (error == ERROR_SUCCESS) error = ReplaceWithRetry(temp, target, flush);
  if (error != ERROR_SUCCESS) {
    file.Close();
    ::DeleteFileW(Wide(temp));
    ThrowWindowsError(error);
  }
}

}  // namespace tol

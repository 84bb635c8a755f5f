// Windows side of append_file.h: paths go to the W functions as UTF-16.

#include <windows.h>

#include <string>

#include "shared/append_file.h"
#include "shared/codepage.h"
#include "shared/errors.h"
#include "shared/system_file_win32.h"

namespace tol {
namespace {

using system_file::Handle;
using system_file::ThrowWindowsError;
using system_file::Wide;

// The path as the system takes it; ERROR_FILE_NOT_FOUND for one it can't
// take.
std::u16string SystemPath(const FilePath& path) {
  std::u16string system_path;
  if (!system_file::SystemPath(path, &system_path)) ThrowWindowsError(ERROR_FILE_NOT_FOUND);
  return system_path;
}

void WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr)) {
      ThrowWindowsError(::GetLastError());
    }
    bytes.remove_prefix(written);
  }
}

// The end of the file is read in chunks of this size.
constexpr LONGLONG kChunkBytes = 64 * 1024;

}  // namespace

void DropTornLastLine(const FilePath& path) {
  // Readers and writers of the log may keep it open meanwhile.
  Handle file(::CreateFileW(Wide(SystemPath(path)), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
    ThrowWindowsError(error);
  }
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.get(), &size)) ThrowWindowsError(::GetLastError());
  if (size.QuadPart == 0) return;
  // Backwards from the end, a chunk at a time, to the last line break.
  LONGLONG keep = 0;
  std::string chunk;
  for (LONGLONG end = size.QuadPart; end > 0;) {
    LARGE_INTEGER start;
    start.QuadPart = end > kChunkBytes ? end - kChunkBytes : 0;
    if (!::SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN)) {
      ThrowWindowsError(::GetLastError());
    }
    chunk.resize(static_cast<std::size_t>(end - start.QuadPart));
    DWORD got = 0;
    if (!::ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) {
      ThrowWindowsError(::GetLastError());
    }
    chunk.resize(got);
    const std::size_t torn = TornTailLength(chunk);
    if (torn < chunk.size()) {
      keep = start.QuadPart + static_cast<LONGLONG>(chunk.size() - torn);
      break;
    }
    end = start.QuadPart;
  }
  if (keep < size.QuadPart) {
    LARGE_INTEGER at;
    at.QuadPart = keep;
    if (!::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) || !::SetEndOfFile(file.get())) {
      ThrowWindowsError(::GetLastError());
    }
  }
}

std::exception_ptr AppendLines(const FilePath& path, std::string_view header,
                               std::string_view lines, std::uint64_t rotate_at) {
  const std::u16string system_path = SystemPath(path);
  auto size_by_path = [&]() -> std::uint64_t {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(Wide(system_path), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  };
  std::exception_ptr rotation_failure;
  std::uint64_t size = size_by_path();
  if (size > 0 && size + lines.size() > rotate_at) {
    // Another copy of the program may rotate the same file: the rename
    // happens under a lock on a byte far past the end (no append reaches
    // it), and the size is looked at again once the lock is held, so the
    // second copy finds the new file and renames nothing over the
    // generation just kept. Reading access: LockFileEx wants it.
    Handle lock(::CreateFileW(Wide(system_path), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    OVERLAPPED far_byte = {};
    far_byte.OffsetHigh = 0x40000000;
    const bool locked =
        lock.valid() && ::LockFileEx(lock.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &far_byte);
    if (size_by_path() + lines.size() > rotate_at) {
      const std::u16string older = system_path + u".1";
      if (!::MoveFileExW(Wide(system_path), Wide(older), MOVEFILE_REPLACE_EXISTING)) {
        // A reader that doesn't share deletion (a spreadsheet, most tails)
        // holds the file: the log goes on in it, the caller hears why once.
        try {
          ThrowWindowsError(::GetLastError());
        } catch (...) {
          rotation_failure = std::current_exception();
        }
      }
    }
    if (locked) ::UnlockFileEx(lock.get(), 0, 1, 0, &far_byte);
  }
  // FILE_APPEND_DATA alone: every write lands at the end, whoever else
  // appends.
  Handle file(::CreateFileW(Wide(system_path), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) ThrowWindowsError(::GetLastError());
  LARGE_INTEGER now_size;
  if (!::GetFileSizeEx(file.get(), &now_size)) ThrowWindowsError(::GetLastError());
  if (now_size.QuadPart == 0) {
    WriteAll(file.get(), std::string(header) + std::string(lines));
  } else {
    WriteAll(file.get(), lines);
  }
  return rotation_failure;
}

std::optional<std::uint64_t> ReadTail(
    const FilePath& path, std::uint64_t max_bytes,
    const std::function<void(std::uint64_t offset, std::string_view bytes)>& chunk) {
  std::u16string system_path;
  if (!system_file::SystemPath(path, &system_path)) return std::nullopt;
  // Shared every way: the monitor appends to the log meanwhile, and a reader
  // (a tail, a spreadsheet) may hold it.
  Handle file(::CreateFileW(Wide(system_path), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return std::nullopt;
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.get(), &size)) return std::nullopt;
  const auto total = static_cast<std::uint64_t>(size.QuadPart);
  const std::uint64_t start = total > max_bytes ? total - max_bytes : 0;
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(start);
  if (!::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN)) return std::nullopt;
  std::string buffer(kTailChunkBytes, '\0');
  for (std::uint64_t left = total - start; left > 0;) {
    const DWORD want = static_cast<DWORD>(left < buffer.size() ? left : buffer.size());
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer.data(), want, &got, nullptr) || got == 0) break;
    chunk(total - left, std::string_view(buffer.data(), got));
    left -= got;
  }
  return start;
}

}  // namespace tol

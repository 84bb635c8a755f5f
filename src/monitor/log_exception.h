#pragma once
// LogException: the monitor's last resort for a failure no other code
// handles. It beeps and appends a dated report to the error log
// (kovun_error.txt beside the settings file, section [Error]); it shows no
// dialog, and the monitor goes on.

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "shared/clock.h"
#include "shared/file_path.h"

namespace tol {

struct ErrorLog {
  FilePath log_path;
  std::string module_name;  // the executable's file name, e.g. "kovun.exe"
  const Clock* clock = nullptr;
  std::function<void()> beep;  // the system's default beep; empty: silent
  // Told (with the failure's report) when the record can't be written, for
  // example because the log exists but can't be read and would otherwise be
  // replaced by this one record. Empty: nothing is told.
  std::function<void(const std::string& report)> unwritable;
};

// The error log beside a settings file, named after the program: the
// settings file's folder + the file name of `module` (the program's path or
// name) without its extension + "_error.txt" ("kovun" and "kovun.exe" give
// kovun_error.txt, a renamed "kovun2.exe" kovun2_error.txt).
FilePath ErrorLogPathFor(const FilePath& settings_path, const FilePath& module);

// "<kind> がモジュール <module> の <address> で発生しました。" CR LF
// <message, with "." added unless it ends in "." or "。"> CR LF,
// cut to 256 bytes without splitting a double-byte character. The address
// is written as upper-case hexadecimal of the pointer's width.
std::string FailureReport(std::string_view class_name, std::string_view module_name,
                          uintptr_t address, std::string_view message);

// The failure's kind: tol::Exception::ClassName(), the type's name for other
// standard exceptions, "Exception" for anything else.
std::string FailureClassName(std::exception_ptr failure);
std::string FailureMessage(std::exception_ptr failure);

// Beeps, then writes the report under [Error], key = the local date-time in
// the "c" form ("2005/02/07 21:05:00"); a report of the same second replaces
// the earlier one. A C++ failure carries no code address of its own: the
// address written is the return address into LogException's caller (the
// handler site that caught the failure), which with the module name locates
// that site in a map file. Never throws: a log that can't be written goes to
// `unwritable`, and a log that exists but can't be read is never replaced.
void LogException(const ErrorLog& log, std::exception_ptr failure) noexcept;

}  // namespace tol

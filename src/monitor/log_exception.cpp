#include "monitor/log_exception.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <typeinfo>

#include "monitor/texts.h"
#include "shared/date_format.h"
#include "shared/errors.h"
#include "shared/profile_ini.h"
#include "shared/text.h"

namespace tol {
namespace {

constexpr std::size_t kMaxReportBytes = 256;

// True when the text's last character is "." or the double-byte "。"
// (0x81 0x42). Walks from the start so that a trail byte is never taken for
// a character of its own.
bool EndsInFullStop(std::string_view text) {
  std::size_t last = std::string_view::npos;
  for (std::size_t i = 0; i < text.size();) {
    last = i;
    i += (IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2 : 1;
  }
  if (last == std::string_view::npos) return false;
  const std::string_view tail = text.substr(last);
  return tail == "." || tail == "\x81\x42";
}

std::string AddressText(uintptr_t address) {
  char buf[2 * sizeof(uintptr_t) + 1];
  std::snprintf(buf, sizeof buf, "%0*llX", static_cast<int>(2 * sizeof(uintptr_t)),
                static_cast<unsigned long long>(address));
  return buf;
}

// The readable name of a type ("std::runtime_error"), or the compiler's
// name when it can't be demangled.
std::string TypeName(const std::type_info& type) {
  int status = 0;
  char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
  std::string name = (status == 0 && demangled) ? demangled : type.name();
  std::free(demangled);
  return name;
}

}  // namespace

FilePath ErrorLogPathFor(const FilePath& settings_path, const FilePath& module) {
  FilePath stem = module.FileName().WithoutExtension();
  if (stem.empty()) stem = FilePath::FromText("kovun");
  return settings_path.Folder().Join(stem).Join("_error.txt");
}

std::string FailureReport(std::string_view class_name, std::string_view module_name,
                          uintptr_t address, std::string_view message) {
  std::string report =
      FillText(kFailureReportText.bytes(), {class_name, module_name, AddressText(address)});
  report += "\r\n";
  report += message;
  if (!EndsInFullStop(message)) report += '.';
  report += "\r\n";
  return std::string(CutToBytes(report, kMaxReportBytes));
}

std::string FailureClassName(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const Exception& e) {
    return e.ClassName();
  } catch (const std::exception& e) {
    return TypeName(typeid(e));
  } catch (...) {
    return "Exception";
  }
}

std::string FailureMessage(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown failure";
  }
}

__attribute__((noinline)) void LogException(const ErrorLog& log,
                                            std::exception_ptr failure) noexcept {
  const auto address = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
  try {
    if (log.beep) log.beep();
  } catch (...) {
  }
  std::string report;
  try {
    report =
        FailureReport(FailureClassName(failure), log.module_name, address, FailureMessage(failure));
    const DateTime now = log.clock ? log.clock->Now() : SystemClock().Now();
    ProfileIni ini = ProfileIni::LoadForUpdate(log.log_path);
    ini.WriteString("Error", FormatDateTime("c", now), report);
    ini.Save(log.log_path);
  } catch (...) {
    // The log itself can't be written: tell whoever listens, never loop
    // back here.
    try {
      if (log.unwritable) log.unwritable(report);
    } catch (...) {
    }
  }
}

}  // namespace tol

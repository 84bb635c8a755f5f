// Writes the input as a log file, repairs its last line as the monitor does
// at start-up, and checks that what is left is the input's whole lines: a
// prefix of it that is empty or ends in LF, with no line break in what was
// cut. Then one appended line must come out whole after it.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "fuzz_input.h"
#include "shared/append_file.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/tol-torn-line-fuzz-" + std::to_string(getpid()) + ".csv";
  const std::string input(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << input;
  }
  tol::DropTornLastLine(tol::FilePath::FromSystem(path));
  const std::string kept = ReadAll(path);
  FUZZ_CHECK(input.starts_with(kept));
  FUZZ_CHECK(kept.empty() || kept.back() == '\n');
  FUZZ_CHECK(kept.size() + tol::TornTailLength(input) == input.size());
  FUZZ_CHECK(input.find('\n', kept.size()) == std::string::npos);

  (void)tol::AppendLines(tol::FilePath::FromSystem(path), "header\r\n", "line\r\n", 1u << 30);
  const std::string after = ReadAll(path);
  FUZZ_CHECK(after == (kept.empty() ? "header\r\nline\r\n" : kept + "line\r\n"));
  std::remove(path.c_str());
  return 0;
}

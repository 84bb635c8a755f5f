#pragma once
// A program of the build run whole for a test: its input from /dev/null,
// its output (and, when asked, its errors) read through a pipe line by line,
// and all of it kept for a last look. Killed when the object goes away if it
// still runs. POSIX only.

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tol::testing {

class ProgramRun {
 public:
  enum class Output { kOut, kOutAndErrors, kNone };
  ProgramRun(const std::string& program, const std::vector<std::string>& args,
             Output output = Output::kOut);
  ~ProgramRun();
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // The next line it printed, without its line break; nullopt when none
  // comes within `limit` or the output has ended.
  std::optional<std::string> NextLine(std::chrono::milliseconds limit = std::chrono::seconds(10));
  // Closes this end of the pipe, as a reader that goes away.
  void CloseOutput();
  // SIGTERM, and a wait of up to `limit`: its exit code, or nullopt when it
  // was killed or ended by a signal. What it printed stays readable.
  std::optional<int> Stop(std::chrono::milliseconds limit);
  // Waits up to `limit` for it to end by itself, as Stop.
  std::optional<int> Wait(std::chrono::milliseconds limit);
  // All it printed so far (after Stop or Wait: all it printed).
  const std::string& output();

 private:
  bool ReadSome(int timeout_ms);

  pid_t pid_ = -1;
  int out_ = -1;
  std::string output_;
  std::size_t next_ = 0;  // where NextLine reads on
};

// A loopback port that was free a moment ago (bound, read, closed), for a
// server to take or for nothing to listen on.
int FreeLoopbackPort();

}  // namespace tol::testing

#include "support/program_run.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/sim_process.h"

namespace tol::testing {

ProgramRun::ProgramRun(const std::string& program, const std::vector<std::string>& args,
                       Output output) {
  int fds[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (output == Output::kNone) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  } else if (pipe(fds) == 0) {
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    if (output == Output::kOutAndErrors) {
      posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    }
    posix_spawn_file_actions_addclose(&actions, fds[0]);
  }
  pid_ = Spawn(program, args, &actions);
  posix_spawn_file_actions_destroy(&actions);
  if (fds[1] >= 0) close(fds[1]);
  out_ = fds[0];
}

ProgramRun::~ProgramRun() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    WaitForExit(pid_, std::chrono::seconds(5));
  }
  CloseOutput();
}

bool ProgramRun::ReadSome(int timeout_ms) {
  if (out_ < 0) return false;
  pollfd p{out_, POLLIN, 0};
  if (::poll(&p, 1, timeout_ms) <= 0) return false;
  char chunk[4096];
  const ssize_t n = read(out_, chunk, sizeof chunk);
  if (n <= 0) {
    CloseOutput();
    return false;
  }
  output_.append(chunk, static_cast<std::size_t>(n));
  return true;
}

std::optional<std::string> ProgramRun::NextLine(std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const std::size_t line_end = output_.find('\n', next_);
    if (line_end != std::string::npos) {
      std::string line = output_.substr(next_, line_end - next_);
      next_ = line_end + 1;
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !ReadSome(static_cast<int>(left.count()))) return std::nullopt;
  }
}

void ProgramRun::CloseOutput() {
  if (out_ >= 0) close(out_);
  out_ = -1;
}

std::optional<int> ProgramRun::Stop(std::chrono::milliseconds limit) {
  if (pid_ > 0) kill(pid_, SIGTERM);
  return Wait(limit);
}

std::optional<int> ProgramRun::Wait(std::chrono::milliseconds limit) {
  std::optional<int> status;
  if (pid_ > 0) status = WaitForExit(pid_, limit);
  pid_ = -1;
  return status;
}

const std::string& ProgramRun::output() {
  // Once the program has ended, its output ends too: read it to the end.
  while (pid_ <= 0 && ReadSome(1000)) {
  }
  while (pid_ > 0 && ReadSome(0)) {
  }
  return output_;
}

int FreeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

}  // namespace tol::testing

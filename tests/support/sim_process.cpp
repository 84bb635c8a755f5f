#include "support/sim_process.h"

#include <fcntl.h>
#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <thread>

#include "shared/text.h"

extern char** environ;

namespace tol::testing {
namespace {

constexpr auto kStartLimit = std::chrono::seconds(20);

// Reads one line from `fd` within the time left until `deadline`.
std::optional<std::string> ReadLine(int fd, std::chrono::steady_clock::time_point deadline) {
  std::string line;
  while (line.size() < 256) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char c = 0;
    if (read(fd, &c, 1) != 1) return std::nullopt;
    if (c == '\n') return line;
    line += c;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> SimRequest::Header(const std::string& name) const {
  for (const auto& [n, v] : headers) {
    if (SameText(n, name)) return v;
  }
  return std::nullopt;
}

std::string SimProcess::ExecutablePath() { return TOLVANE_SIM_PATH; }

SimProcess::SimProcess(const std::vector<std::string>& args) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  std::vector<std::string> sim_args = {"--port", "0"};
  sim_args.insert(sim_args.end(), args.begin(), args.end());

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  pid_ = Spawn(ExecutablePath(), sim_args, &actions);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  stdout_fd_ = fds[0];
  if (pid_ < 0) {
    close(stdout_fd_);
    throw std::runtime_error("can't start " + ExecutablePath());
  }
  const auto line = ReadLine(stdout_fd_, std::chrono::steady_clock::now() + kStartLimit);
  if (!line || !line->starts_with("port=")) {
    Stop();
    throw std::runtime_error("tolvane-sim printed no port line");
  }
  port_ = std::stoi(line->substr(5));
}

SimProcess::~SimProcess() {
  if (pid_ > 0) Stop();
  if (stdout_fd_ >= 0) close(stdout_fd_);
}

std::string SimProcess::HostPort() const { return "127.0.0.1:" + std::to_string(port_); }

std::string SimProcess::StatusBase() const { return "http://" + HostPort() + "/status/"; }

std::string SimProcess::MapListUrl(const std::string& world) const {
  return "http://" + HostPort() + "/cgi-bin/iplist/map." + world + ".lst";
}

std::optional<int> SimProcess::Stop(std::chrono::milliseconds limit) {
  if (pid_ <= 0) return std::nullopt;
  kill(pid_, SIGTERM);
  const std::optional<int> code = WaitForExit(pid_, limit);
  pid_ = -1;
  return code;
}

pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
            const posix_spawn_file_actions_t* actions) {
  std::vector<std::string> text = {program};
  text.insert(text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : text) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), actions, nullptr, argv.data(), environ) != 0) return -1;
  return pid;
}

std::optional<int> WaitForExit(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  pid_t done = 0;
  while ((done = waitpid(pid, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (done == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return std::nullopt;
  }
  if (done < 0 || !WIFEXITED(status)) return std::nullopt;
  return WEXITSTATUS(status);
}

std::string SimProcess::Control(const std::string& method, const std::string& target,
                                const std::string& body) {
  httplib::Client client("127.0.0.1", port_);
  client.set_read_timeout(30, 0);
  auto res =
      method == "GET" ? client.Get(target) : client.Post(target, body, "application/octet-stream");
  if (!res) throw std::runtime_error("control call failed: " + target);
  if (res->status != 200) {
    throw std::runtime_error("control call " + target + ": " + std::to_string(res->status) + " " +
                             res->body);
  }
  return res->body;
}

void SimProcess::SetFault(const std::string& path, const std::string& kind,
                          const std::string& extra) {
  Control("POST", "/_sim/fault?path=" + UrlEncode(path) + "&kind=" + UrlEncode(kind) +
                      (extra.empty() ? "" : "&" + extra));
}

void SimProcess::ClearFaults() { Control("POST", "/_sim/fault/clear"); }

void SimProcess::SetContent(const std::string& path, const std::string& body,
                            std::optional<int64_t> last_modified) {
  Control("POST",
          "/_sim/content?path=" + UrlEncode(path) +
              "&lastmod=" + (last_modified ? std::to_string(*last_modified) : "none"),
          body);
}

void SimProcess::SetFixedCookie(const std::string& name_value) {
  Control("POST", "/_sim/cookie?value=" + UrlEncode(name_value));
}

void SimProcess::SetServer(const std::string& world, const std::string& key,
                           const std::string& status, const std::string& extra) {
  Control("POST", "/_sim/server?world=" + UrlEncode(world) + "&key=" + UrlEncode(key) +
                      "&status=" + UrlEncode(status) + (extra.empty() ? "" : "&" + extra));
}

void SimProcess::ForceRewrite() { Control("POST", "/_sim/rewrite"); }

void SimProcess::SetClock(int64_t unix_seconds) {
  Control("POST", "/_sim/clock?set=" + std::to_string(unix_seconds));
}

void SimProcess::Reset() { Control("POST", "/_sim/reset"); }

int SimProcess::StalledRequests() {
  return nlohmann::json::parse(Control("GET", "/_sim/info")).at("stalled").get<int>();
}

std::vector<SimRequest> SimProcess::Requests(const std::string& path) {
  const auto json = nlohmann::json::parse(
      Control("GET", "/_sim/requests" + (path.empty() ? "" : "?path=" + UrlEncode(path))));
  std::vector<SimRequest> out;
  for (const auto& r : json.at("requests")) {
    SimRequest request;
    request.method = r.at("method").get<std::string>();
    request.path = r.at("path").get<std::string>();
    for (const auto& h : r.at("headers")) {
      request.headers.emplace_back(h.at(0).get<std::string>(), h.at(1).get<std::string>());
    }
    out.push_back(std::move(request));
  }
  return out;
}

std::string UrlEncode(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (alnum || c == '-' || c == '_' || c == '.' || c == '~' || c == '/') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace tol::testing

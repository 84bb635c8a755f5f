#pragma once
// Runs tolvane-sim, the local status and map-list services, for a test: starts
// the program with --port 0, reads the port it chose, talks to its control
// interface, and stops it (SIGTERM) when the object goes away. POSIX only.

#include <spawn.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tol::testing {

// One request as the sim recorded it.
struct SimRequest {
  std::string method;
  std::string path;
  std::vector<std::pair<std::string, std::string>> headers;
  // The first header of that name (letter case ignored), or nullopt.
  std::optional<std::string> Header(const std::string& name) const;
};

class SimProcess {
 public:
  // Starts the sim with "--port 0" and `args`, and waits for its "port=" line.
  // Throws std::runtime_error when it doesn't come up.
  explicit SimProcess(const std::vector<std::string>& args = {});
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // Path of the sim's executable in the build tree.
  static std::string ExecutablePath();

  int port() const { return port_; }
  pid_t pid() const { return pid_; }
  // "127.0.0.1:PORT", the map-list service's host.
  std::string HostPort() const;
  // "http://127.0.0.1:PORT/status/", the status service's base URL.
  std::string StatusBase() const;
  // "http://127.0.0.1:PORT/cgi-bin/iplist/map.WORLD.lst".
  std::string MapListUrl(const std::string& world) const;

  // Sends SIGTERM and waits up to `limit` for the program to end. Returns its
  // exit code, or nullopt when it didn't end normally in time (it is then
  // killed).
  std::optional<int> Stop(std::chrono::milliseconds limit = std::chrono::seconds(10));

  // Control calls; each throws std::runtime_error when the sim refuses it.
  // `extra` is appended to the query as it stands, e.g. "count=1&partial=10".
  void SetFault(const std::string& path, const std::string& kind, const std::string& extra = "");
  void ClearFaults();
  // A fixed body for `path`; `last_modified` in Unix seconds, nullopt: none.
  void SetContent(const std::string& path, const std::string& body,
                  std::optional<int64_t> last_modified);
  void SetFixedCookie(const std::string& name_value);
  void ForceRewrite();
  // One server's status word in one world from now on (`extra` as for
  // SetFault, e.g. "flap=2" or "after=5").
  void SetServer(const std::string& world, const std::string& key, const std::string& status,
                 const std::string& extra = "");
  void SetClock(int64_t unix_seconds);
  void Reset();
  // Number of requests currently held by a stall fault.
  int StalledRequests();
  // Any control call by GET ("/_sim/hook/requests"); its answer's body.
  std::string Call(const std::string& target) { return Control("GET", target); }
  // Recorded requests, optionally only those for `path`.
  std::vector<SimRequest> Requests(const std::string& path = "");

 private:
  std::string Control(const std::string& method, const std::string& target,
                      const std::string& body = "");

  pid_t pid_ = -1;
  int stdout_fd_ = -1;
  int port_ = 0;
};

// Starts `program` with `args` and the given file actions (nullptr: none);
// the child's pid, or -1 when it couldn't be started.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
            const posix_spawn_file_actions_t* actions);

// Waits up to `limit` for the child `pid` to end, killing it when the time is
// up. Its exit code, or nothing when it was killed or ended by a signal.
std::optional<int> WaitForExit(pid_t pid, std::chrono::milliseconds limit);

// Percent-encodes everything but unreserved characters and "/".
std::string UrlEncode(const std::string& text);

}  // namespace tol::testing

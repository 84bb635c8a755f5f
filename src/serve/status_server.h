#pragma once
// The local status endpoint: the monitor's state for scripts, desk widgets
// and streaming software, served on 127.0.0.1 only.
//
//   /status.json        the last poll event (as the watch stream prints it,
//                       without "event"), its countdown counted at the
//                       request, and "alerts": the last alerts (alerts on)
//   /events             Server-Sent Events: "poll" after each poll (the
//                       current one first), "alert" per alert; a comment
//                       line every 15 s
//   /history.json       the memory history of the current world (?hours=N)
//   /overlay            the strip as a self-contained page for a browser
//                       source (?style=0|1|2, ?scale=)
//   /                   a short page linking these
//
// GET and HEAD only (405); Host must be 127.0.0.1:PORT or localhost:PORT
// (421); no request bodies (413); request line and headers at most 8 KiB
// (431); a request head must arrive within 5 s, and reads and writes time
// out after 5 s; at most kMaxEventClients event streams (503 beyond). A
// fixed number of worker threads serves everything.
//
// The UI thread calls Publish after each poll and never waits for the
// server's threads: they read only the immutable events and snapshots it
// hands over. The destructor closes every connection within a second.

#include <exception>
#include <functional>
#include <memory>

#include "monitor/events.h"
#include "serve/serve_settings.h"
#include "shared/clock.h"

namespace tol {

class AlertMonitor;

inline constexpr int kMaxEventClients = 32;
inline constexpr int kRecentAlerts = 20;  // alerts kept for /status.json

class StatusServer {
 public:
  virtual ~StatusServer() = default;
  // After each poll, on the UI thread: its events (the poll event must be
  // there: MonitorHooks::poll_events), and the alert rules and history.
  virtual void Publish(const MonitorEvents& events, const AlertMonitor* alerts) = 0;
  virtual int port() const = 0;
};

// Binds 127.0.0.1:`port` (0: a free port the system picks; port() tells it)
// and starts serving. Throws std::runtime_error when the port can't be had
// (taken, or not allowed).
std::unique_ptr<StatusServer> StartStatusServer(int port, const Clock& clock);

// What a front-end calls at start-up: the endpoint of [Serve] Port, or null
// when it is off or can't start (told once to `on_failure`, LogException;
// the monitor goes on without it).
std::unique_ptr<StatusServer> StartConfiguredStatusServer(
    const ServeSettings& settings, const Clock& clock,
    const std::function<void(std::exception_ptr)>& on_failure);

}  // namespace tol

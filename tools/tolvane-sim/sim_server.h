#pragma once
// The HTTP side of the sim: the status service under /status/, the map-list
// service under /cgi-bin/iplist/, and the control interface under /_sim/,
// all on one loopback port.

#include <httplib.h>

#include "sim_state.h"
#include "webhook.h"

namespace tol::sim {

class SimServer {
 public:
  explicit SimServer(SimState& state);
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  // Binds 127.0.0.1:`port`, or any free port for 0. Returns the port, or -1.
  int Bind(int port);
  // Serves until Stop(); call on a thread of its own after Bind.
  bool Run();
  bool IsRunning() const { return server_.is_running(); }
  // Releases every waiting request and stops the listener; Run then returns
  // once the worker threads have finished.
  void Stop();

 private:
  void Control(const std::string& pattern, httplib::Server::Handler handler);
  void AddControlRoutes();
  void Serve(const httplib::Request& req, httplib::Response& res);

  SimState& state_;
  httplib::Server server_;
  WebhookStandIn webhooks_;
  int port_ = -1;
};

}  // namespace tol::sim

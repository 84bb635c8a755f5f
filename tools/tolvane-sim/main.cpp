// tolvane-sim: a local stand-in for the status service and the map-list
// service, with recorded requests and faults on demand for tests and demos.
// See the README for the control interface.

#include <pthread.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <thread>

#include "sim_content.h"
#include "sim_server.h"
#include "sim_state.h"

namespace {

bool WriteTolMap(const std::string& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const std::string text = tol::sim::TolMapText();
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) {
    std::cerr << "tolvane-sim: can't write " << path << "\n";
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"tolvane-sim: local status and map-list services"};
  int port = 0;
  uint64_t seed = 1;
  int period = 180;
  int map_period = 3600;
  int64_t epoch = 0;
  std::string tolmap_path;
  app.add_option("--port", port, "Loopback port to serve on; 0 picks a free one")
      ->check(CLI::Range(0, 65535));
  app.add_option("--seed", seed, "Seed of the generated status texts and map lists");
  app.add_option("--period", period, "Seconds between two rewrites of the status texts")
      ->check(CLI::Range(1, 31536000));
  app.add_option("--map-period", map_period, "Seconds between two changes of the map lists")
      ->check(CLI::Range(1, 31536000));
  auto* epoch_option = app.add_option(
      "--epoch", epoch, "Unix time at which the sim's clock starts (default: the real time)");
  epoch_option->check(CLI::Range(int64_t{0}, int64_t{253402300799}));
  app.add_option("--write-tolmap", tolmap_path,
                 "Write a TolMap.ini matching the map lists to this path and exit "
                 "(keep serving when --port is given as well)");
  CLI11_PARSE(app, argc, argv);

  if (!tolmap_path.empty()) {
    if (!WriteTolMap(tolmap_path)) return 1;
    if (app.count("--port") == 0) return 0;
  }

  // SIGINT and SIGTERM are taken by sigwait below, so every thread created
  // from here on must have them blocked. Broken connections are expected.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  tol::sim::SimState state(
      seed, period, map_period,
      epoch_option->count() > 0 ? std::optional<int64_t>(epoch) : std::nullopt);
  tol::sim::SimServer server(state);
  const int bound = server.Bind(port);
  if (bound <= 0) {
    std::cerr << "tolvane-sim: can't listen on 127.0.0.1:" << port << "\n";
    return 1;
  }

  std::atomic<bool> listener_ended{false};
  std::thread listener([&] {
    server.Run();
    listener_ended = true;
    kill(getpid(), SIGTERM);  // wakes sigwait if the listener ends by itself
  });
  // httplib's stop() only reaches a listener that is already running.
  while (!server.IsRunning() && !listener_ended) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  const std::string host = "http://127.0.0.1:" + std::to_string(bound);
  std::printf("port=%d\n", bound);
  std::printf("status=%s/status/\n", host.c_str());
  std::printf("maplist=%s/cgi-bin/iplist/\n", host.c_str());
  std::printf("control=%s/_sim/\n", host.c_str());
  std::fflush(stdout);

  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);
  const bool listener_failed = listener_ended;

  // Last resort: shutdown must never hang, whatever a connection does.
  std::thread([] {
    std::this_thread::sleep_for(std::chrono::seconds(15));
    std::fputs("tolvane-sim: shutdown took too long\n", stderr);
    _exit(2);
  }).detach();
  server.Stop();
  listener.join();
  return listener_failed ? 1 : 0;
}

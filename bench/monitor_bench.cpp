// Costs of the monitor's UI-thread work.
//
// - PollUiSteps: one whole poll of a status text of N lines through the
//   StatusPoll steps, with an in-memory HTTP client (so the network steps
//   only hand over the bytes): loading caption, parse, slots, colours, hints,
//   export lines, average, captions. The map-menu rebuild is measured on its
//   own below.
// - BuildMapMenus: the fifteen menus from a loaded map-name file of fifteen
//   sections of N entries; BuildMapMenusFromFile adds reading the file from
//   disk, as the end of every poll does.
// Each ends with a complexity fit over N: linear is the expectation.
// - AlertedPoll: what alerts and history add to a poll's UI-thread part. Each
//   iteration times one poll as today (the steps of PollUiSteps for the
//   service's 22 lines, and the map menus rebuilt from a map-name file of
//   four entries per server) and then the alert monitor taking that poll in,
//   every server watched, with a full 168-hour history; counters poll_us,
//   added_us and added_pct. Arg 1 also appends the poll's lines to a history
//   file in the temporary folder (a write to the system per poll).
// - ReadHistory168h: a full 168-hour history file (and its ".1") read back
//   at start-up, as ReadHistory does it off the UI thread.
// - ServedPoll: what the local status endpoint adds to that poll's UI-thread
//   part (the poll event made and serialised, and Publish: the frames for
//   the event streams, the history snapshot), with the same full history;
//   Arg N: N event streams connected and read meanwhile. Each poll is taken
//   in by the server before the next (a request waits for that), as polls
//   seconds apart are, so the server never falls behind. Counters as above,
//   in the UI thread's own CPU time less the clock's own reading; event_us
//   is the poll event itself, which the event model makes once for every
//   sink that asks for it; served_pct is both against the poll.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "alerted_poll.h"
#include "monitor/alert_monitor.h"
#include "monitor/events.h"
#include "monitor/history_readback.h"
#include "monitor/map_menus.h"
#include "monitor/model.h"
#include "monitor/poll.h"
#include "monitor/settings.h"
#include "monitor/status.h"
#include "net/http_client.h"
#include "serve/status_server.h"
#include "shared/clock.h"
#include "shared/file_io.h"
#include "shared/profile_ini.h"

namespace tol {
namespace {

using bench::AlertedPoll;
using bench::kStates;
using bench::MapFileText;
using bench::MemoryHttpClient;
using bench::StatusText;
using bench::StillClock;

void BM_PollUiSteps(benchmark::State& state) {
  MemoryHttpClient http(StatusText(static_cast<int>(state.range(0))));
  StillClock clock;
  MonitorModel model;
  KovunSettings settings;
  settings.service_url = "http://127.0.0.1:9/status/";
  settings.last_modified = true;
  model.last_modified = true;
  for (auto _ : state) {
    PollContext ctx{model, settings, clock, PollHooks{}};
    StatusPoll poll(settings.service_url, "arvel/");
    poll.Begin(ctx);
    poll.FetchStatus(http);
    poll.ApplyStatus(ctx);
    poll.FetchHead(http);
    if (poll.Finish(ctx) != PollOutcome::kCompleted) state.SkipWithError("poll failed");
  }
  benchmark::DoNotOptimize(model.caption);
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_PollUiSteps)->Arg(20)->Arg(200)->Arg(2000)->Arg(20000)->Complexity(benchmark::oN);

void BM_BuildMapMenus(benchmark::State& state) {
  const ProfileIni file = ProfileIni::Parse(MapFileText(static_cast<int>(state.range(0))));
  for (auto _ : state) {
    MapMenus menus = BuildMapMenus(file, 5);
    benchmark::DoNotOptimize(menus);
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_BuildMapMenus)
    ->Arg(50)
    ->Arg(500)
    ->Arg(2000)
    ->Arg(5000)
    ->Arg(20000)
    ->Complexity(benchmark::oN);

void BM_BuildMapMenusFromFile(benchmark::State& state) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("tol-monitor-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const FilePath zoneroll_folder = FilePath::FromSystem(folder.native());
  WriteFileAtomic(zoneroll_folder.Join("/arvel.ini"),
                  MapFileText(static_cast<int>(state.range(0))));
  MonitorModel model;
  for (auto _ : state) {
    BuildMapMenus(model, zoneroll_folder, 5);
    benchmark::DoNotOptimize(model.map_menus);
  }
  std::filesystem::remove_all(folder);
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_BuildMapMenusFromFile)->Arg(50)->Arg(500)->Arg(5000)->Complexity(benchmark::oN);

void BM_AlertedPoll(benchmark::State& state) {
  AlertedPoll bench("alert-bench", state.range(0) != 0, StatusText(22));
  if (!bench.FillHistory()) state.SkipWithError("not full");

  using Clock = std::chrono::steady_clock;
  Clock::duration poll_time{}, added_time{};
  for (auto _ : state) {
    StatusPoll poll(bench.url(), "arvel/");
    const auto t0 = Clock::now();
    const PollOutcome outcome = bench.Poll(poll);
    const auto t1 = Clock::now();
    benchmark::DoNotOptimize(bench.Observe(poll, outcome));
    const auto t2 = Clock::now();
    poll_time += t1 - t0;
    added_time += t2 - t1;
  }
  const double n = static_cast<double>(state.iterations());
  const double poll_us = std::chrono::duration<double, std::micro>(poll_time).count() / n;
  const double added_us = std::chrono::duration<double, std::micro>(added_time).count() / n;
  state.counters["poll_us"] = poll_us;
  state.counters["added_us"] = added_us;
  state.counters["added_pct"] = 100.0 * added_us / poll_us;
}
BENCHMARK(BM_AlertedPoll)->Arg(0)->Arg(1);

// Reading a full history back at start-up: 168 hours of a poll a minute, 19
// servers, written as the monitor writes it (so the older part is in the
// ".1" file), with the polls of another world between them. Counter polls:
// what came back (10,080).
void BM_ReadHistory168h(benchmark::State& state) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("tol-readback-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const FilePath path = FilePath::FromSystem((folder / "history.csv").native());
  const DateTime start = DateTime::FromMilliseconds(45000LL * 86400000);
  const int32_t polls = kMaxHistoryHours * kMaxPollsPerHour;
  std::mt19937 random(7);
  HistoryFile file(path);
  for (int32_t i = 0; i < polls; ++i) {
    ObservedServers servers;
    for (int slot = 1; slot <= kVisibleSlotCount; ++slot) {
      servers[slot - 1] = {
          true, std::string(SlotKey(slot, "PatchServerFV1")), kStates[random() % 6], 2,
          2,    static_cast<int32_t>(random() % 120000)};
    }
    const DateTime time = start.AddMinutes(i);
    const HistoryPoll poll = MakeHistoryPoll(time, 0, &servers, 25000);
    file.Append(HistoryCsvLines(poll, 540, "Arvel", &servers, "PatchServerFV1"), nullptr);
    if (i % 10 == 0) {
      file.Append(HistoryCsvLines(poll, 540, "Bessa", &servers, "PatchServerFV1"), nullptr);
    }
  }
  const HistoryQuery query{path, "Arvel",         kMaxHistoryHours, start.AddMinutes(polls - 1),
                           540,  "PatchServerFV1"};
  std::size_t read_polls = 0;
  for (auto _ : state) {
    const HistoryReadBack read = ReadHistory(query);
    read_polls = read.polls.size();
    benchmark::DoNotOptimize(read);
  }
  std::filesystem::remove_all(folder);
  state.counters["polls"] = static_cast<double>(read_polls);
  if (read_polls != static_cast<std::size_t>(polls)) state.SkipWithError("history not whole");
}
BENCHMARK(BM_ReadHistory168h)->Unit(benchmark::kMillisecond);

// The CPU time of the calling thread.
struct ThreadCpuClock {
  using duration = std::chrono::nanoseconds;
  using time_point = std::chrono::time_point<ThreadCpuClock, duration>;
  static time_point now() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return time_point(duration(int64_t{t.tv_sec} * 1000000000 + t.tv_nsec));
  }
  // What one reading adds to an interval (a system call of its own, about
  // 0.4 us): subtracted from the short intervals below.
  static duration ReadingCost() {
    constexpr int kTimes = 20000;
    duration total{};
    for (int i = 0; i < kTimes; ++i) {
      const auto a = now();
      total += now() - a;
    }
    return total / kTimes;
  }
};

void BM_ServedPoll(benchmark::State& state) {
  AlertedPoll bench("serve-bench", false, StatusText(22));
  bench.FillHistory();
  std::unique_ptr<StatusServer> server;
  for (int port = 47100; !server && port < 47200; ++port) {
    try {
      server = StartStatusServer(port, bench.clock);
    } catch (const std::exception&) {
    }
  }
  if (!server) {
    state.SkipWithError("no free port");
    return;
  }
  // The event streams, read all along by one thread.
  std::vector<int> streams;
  for (int64_t i = 0; i < state.range(0); ++i) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(server->port()));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    const std::string get =
        "GET /events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server->port()) + "\r\n\r\n";
    send(fd, get.data(), get.size(), 0);
    streams.push_back(fd);
  }
  std::atomic<bool> done{false};
  std::atomic<int64_t> bytes{0};
  std::thread reader([&] {
    std::vector<pollfd> fds;
    for (int fd : streams) fds.push_back(pollfd{fd, POLLIN, 0});
    char chunk[65536];
    while (!done && !fds.empty()) {
      if (poll(fds.data(), fds.size(), 100) <= 0) continue;
      for (pollfd& p : fds) {
        if (p.revents & POLLIN) bytes += std::max<ssize_t>(0, recv(p.fd, chunk, sizeof chunk, 0));
      }
    }
  });

  httplib::Client status("127.0.0.1", server->port());
  status.set_keep_alive(true);
  // The UI thread's own CPU time: the server's threads may run meanwhile
  // (on another core of a desktop) without counting.
  using Clock = ThreadCpuClock;
  Clock::duration poll_time{}, event_time{}, added_time{};
  PanelStates states{};
  for (auto _ : state) {
    StatusPoll poll(bench.url(), "arvel/");
    const auto t0 = Clock::now();
    const PollOutcome outcome = bench.Poll(poll);
    std::vector<Alert> raised = bench.Observe(poll, outcome);
    const auto t1 = Clock::now();
    MonitorEvents events;
    events.poll = MakePollEvent(bench.model, outcome, bench.alerts.WorstWatchedState(), states,
                                bench.clock.Now(), 540);
    for (const Alert& a : raised) events.alerts.push_back(MakeAlertEvent(a));
    const auto t2 = Clock::now();
    server->Publish(events, &bench.alerts);
    const auto t3 = Clock::now();
    poll_time += t1 - t0;
    event_time += t2 - t1;
    added_time += t3 - t2;
    // Polls come seconds apart: the server takes each in before the next
    // (a request waits for that), rather than fall behind and skip polls as
    // it would at this loop's pace.
    if (!status.Get("/status.json")) state.SkipWithError("no status");
  }
  done = true;
  reader.join();
  for (int fd : streams) close(fd);
  server.reset();
  const double n = static_cast<double>(state.iterations());
  const double reading_us =
      std::chrono::duration<double, std::micro>(Clock::ReadingCost()).count();
  auto us = [&](Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count() / n - reading_us;
  };
  const double poll_us = us(poll_time);
  const double added_us = us(added_time);
  // The poll event itself (made once for every sink that asks for it).
  const double event_us = us(event_time);
  state.counters["poll_us"] = poll_us;
  state.counters["added_us"] = added_us;
  state.counters["added_pct"] = 100.0 * added_us / poll_us;
  state.counters["event_us"] = event_us;
  // The endpoint's whole part when no other sink wants the poll event.
  state.counters["served_pct"] = 100.0 * (event_us + added_us) / poll_us;
  state.counters["stream_bytes"] = static_cast<double>(bytes.load());
}
BENCHMARK(BM_ServedPoll)->Arg(0)->Arg(32);

}  // namespace
}  // namespace tol

BENCHMARK_MAIN();

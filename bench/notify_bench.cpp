// What the webhooks add to a poll's UI-thread part.
//
// BM_PollWithWebhook/webhook:W/alerts:A times one poll's UI-thread part with
// alerts on as it is without webhooks (as BM_AlertedPoll/0 of
// monitor_bench: the poll steps for the service's 22 lines, the map menus
// rebuilt from their file, the alert monitor with a full 168-hour history,
// every server watched) and the A alert events the poll raises, made and
// serialised; then what the webhook adds on the UI thread: W=0 nothing (no
// webhook), W=1 handing the events to the sink (alerts only), W=2 with the
// status message kept as well, so the poll event is made too and a state
// changes at every poll. The sink's worker sends over an HTTP client that
// answers at once, between polls as in the program. Counters: poll_us (the
// part without webhooks), added_us (the webhook's part), added_pct.
//
// BM_MakePollEvent: the poll event alone; BM_PostToIdleSink: handing two
// alerts to an idle sink.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "monitor/alert_monitor.h"
#include "monitor/events.h"
#include "monitor/map_menus.h"
#include "monitor/model.h"
#include "monitor/poll.h"
#include "monitor/settings.h"
#include "net/http_client.h"
#include "notify/webhook_notifier.h"
#include "shared/clock.h"
#include "shared/file_io.h"

namespace tol {
namespace {

using SteadyClock = std::chrono::steady_clock;

class StillClock : public Clock {
 public:
  DateTime Now() const override { return DateTime::FromMilliseconds(45000LL * 86400000); }
  int UtcOffsetMinutes(DateTime) const override { return 540; }
};

// The status service from memory, and a webhook that takes every message.
class MemoryHttpClient : public HttpClient {
 public:
  explicit MemoryHttpClient(std::string status) : status_(std::move(status)) {}
  void SetProfile(const RequestProfile& profile) override { profile_ = profile; }
  const RequestProfile& profile() const override { return profile_; }
  std::string Get(const std::string& url) override {
    return url.ends_with("status.txt") ? status_ : std::string("120\r\n");
  }
  HeadResult Head(const std::string&) override {
    return HeadResult{DateTime::FromMilliseconds(45000LL * 86400000 - 60000)};
  }
  HttpAnswer Send(const HttpRequest&) override {
    HttpAnswer answer;
    answer.status = 200;
    answer.body = R"({"id":"1"})";
    return answer;
  }
  void Abandon() override {}

 private:
  RequestProfile profile_;
  std::string status_;
};

std::string StatusText() {
  static const char* const kKeys[] = {
      "LoginServer",    "PatchServerH", "PatchServerFV1", "PatchServerFV2", "PatchServerFV3",
      "PatchServerFV4", "CharSelect",   "GameServer01",   "GameServer02",   "GameServer03",
      "GameServer04",   "GameServer05", "GameServer06",   "GameServer07",   "GameServer08",
      "GameServer09",   "GameServer10", "GameServer11",   "GameServer12",   "GameServer13",
      "GameServer14",   "GameServer15"};
  std::mt19937 random(7);
  std::string text;
  for (const char* key : kKeys) {
    text += std::string(key) + ",Good,2,2," + std::to_string(random() % 20000) + "\r\n";
  }
  return text;
}

void BM_PollWithWebhook(benchmark::State& state) {
  const bool webhook = state.range(0) != 0;
  const bool status_message = state.range(0) == 2;
  const int raised = static_cast<int>(state.range(1));
  MemoryHttpClient http(StatusText());
  StillClock clock;
  MonitorModel model;
  KovunSettings settings;
  settings.service_url = "http://127.0.0.1:9/status/";
  settings.alerts.enabled = true;
  settings.alerts.watched.fill(true);
  settings.alerts.history_hours = kMaxHistoryHours;
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("tol-notify-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const FilePath zoneroll_folder = FilePath::FromSystem((folder / "").native());
  std::string maps;
  for (int n = 1; n <= kMapMenuCount; ++n) {
    maps += "[" + MapSectionName(n) + "]\r\n";
    for (int i = 0; i < 4; ++i)
      maps += "m" + std::to_string(i) + "=Map " + std::to_string(i) + "\r\n";
  }
  WriteFileAtomic(zoneroll_folder.Join("arvel.ini"), maps);
  AlertMonitor alerts(settings.alerts, FilePath());

  NotifySettings notify;
  notify.webhook = "http://127.0.0.1:9/_hook/1/t";
  notify.format = WebhookFormat::kDiscord;
  notify.status_message = status_message;
  WebhookNotifier sink(notify, std::make_unique<MemoryHttpClient>(""), clock, WebhookHooks{});
  Alert alert;
  alert.world = "Arvel";
  alert.slot = 7;
  alert.server = "3";
  alert.from = ServerState::kUp;
  alert.to = ServerState::kDown;
  alert.text = "Arvel 3: down";

  int64_t minute = 0;
  // One poll with alerts as the UI thread runs it without webhooks: the
  // poll steps, the map menus, the alert monitor (full history) and the two
  // alert events.
  auto poll_once = [&] {
    StatusPoll poll(settings.service_url, "arvel/");
    PollContext ctx{model, settings, clock, PollHooks{}};
    poll.Begin(ctx);
    poll.FetchStatus(http);
    poll.ApplyStatus(ctx);
    poll.FetchHead(http);
    FinishedPoll finished;
    finished.outcome = poll.Finish(ctx);
    BuildMapMenus(model, zoneroll_folder, settings.popup_break);
    finished.time = DateTime::FromMilliseconds(45000LL * 86400000 + ++minute * 60000);
    finished.utc_offset_minutes = 540;
    finished.world = model.label1;
    finished.observed = poll.observed() ? &*poll.observed() : nullptr;
    benchmark::DoNotOptimize(alerts.Observe(finished, settings, nullptr));
    MonitorEvents events;
    for (int i = 0; i < raised; ++i) events.alerts.push_back(MakeAlertEvent(alert));
    return events;
  };
  for (std::size_t i = 0; i < alerts.history().capacity(); ++i) poll_once();

  PanelStates states{};
  double poll_ns = 0, added_ns = 0;
  int flip = 0;
  for (auto _ : state) {
    const auto t0 = SteadyClock::now();
    MonitorEvents events = poll_once();
    const auto t1 = SteadyClock::now();
    if (webhook) {
      if (status_message) {
        // A state that changes at every poll: the status message has work.
        states[6] = (++flip & 1) ? ServerState::kDown : ServerState::kUp;
        events.poll = MakePollEvent(model, PollOutcome::kCompleted, ServerState::kUp, states,
                                    clock.Now(), 540);
      }
      sink.Post(events);
    }
    const auto t2 = SteadyClock::now();
    benchmark::DoNotOptimize(events);
    // Polls come seconds apart: the worker has sent this poll's messages
    // before the next one (its time isn't the UI thread's).
    state.PauseTiming();
    std::this_thread::sleep_for(std::chrono::microseconds(300));
    state.ResumeTiming();
    poll_ns += std::chrono::duration<double, std::nano>(t1 - t0).count();
    added_ns += std::chrono::duration<double, std::nano>(t2 - t1).count();
  }
  std::filesystem::remove_all(folder);
  const double n = static_cast<double>(state.iterations());
  state.counters["poll_us"] = poll_ns / n / 1000;
  state.counters["added_us"] = added_ns / n / 1000;
  state.counters["added_pct"] = 100 * added_ns / poll_ns;
}
BENCHMARK(BM_PollWithWebhook)
    ->ArgNames({"webhook", "alerts"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 2})
    ->Args({1, 2})
    ->Args({2, 2});

}  // namespace
}  // namespace tol

namespace tol {
namespace {
// The poll event alone, as any sink that asks for it costs the UI thread.
void BM_MakePollEvent(benchmark::State& state) {
  MonitorModel model;
  StillClock clock;
  PanelStates states{};
  for (auto _ : state) {
    auto e =
        MakePollEvent(model, PollOutcome::kCompleted, ServerState::kUp, states, clock.Now(), 540);
    benchmark::DoNotOptimize(e);
  }
}
BENCHMARK(BM_MakePollEvent);

// Handing one poll's two alerts to an idle sink: the lock, the queue and
// waking the worker.
void BM_PostToIdleSink(benchmark::State& state) {
  StillClock clock;
  NotifySettings notify;
  notify.webhook = "http://127.0.0.1:9/_hook/1/t";
  notify.format = WebhookFormat::kDiscord;
  WebhookNotifier sink(notify, std::make_unique<MemoryHttpClient>(""), clock, WebhookHooks{});
  Alert alert;
  alert.text = "Arvel 3: down";
  MonitorEvents events;
  events.alerts = {MakeAlertEvent(alert), MakeAlertEvent(alert)};
  for (auto _ : state) {
    sink.Post(events);
    state.PauseTiming();
    std::this_thread::sleep_for(std::chrono::microseconds(300));
    state.ResumeTiming();
  }
}
BENCHMARK(BM_PostToIdleSink);
}  // namespace
}  // namespace tol

BENCHMARK_MAIN();

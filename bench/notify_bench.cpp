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

#include "alerted_poll.h"
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

using bench::AlertedPoll;
using bench::MemoryHttpClient;
using bench::StatusText;
using bench::StillClock;

void BM_PollWithWebhook(benchmark::State& state) {
  const bool webhook = state.range(0) != 0;
  const bool status_message = state.range(0) == 2;
  const int raised = static_cast<int>(state.range(1));
  AlertedPoll bench("notify-bench", false, StatusText(22, /*all_good=*/true));
  const StillClock& clock = bench.clock;
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

  // One poll with alerts as the UI thread runs it without webhooks: the
  // poll steps, the map menus, the alert monitor (full history) and the
  // alert events.
  auto poll_once = [&] {
    StatusPoll poll(bench.url(), "arvel/");
    const PollOutcome outcome = bench.Poll(poll);
    benchmark::DoNotOptimize(bench.Observe(poll, outcome));
    MonitorEvents events;
    for (int i = 0; i < raised; ++i) events.alerts.push_back(MakeAlertEvent(alert));
    return events;
  };
  bench.FillHistory();

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
        events.poll = MakePollEvent(bench.model, PollOutcome::kCompleted, ServerState::kUp, states,
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

// kovun: the status monitor in a terminal. Interactive on a terminal, one
// line per poll without one, or a single poll with --once.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <clocale>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "monitor/monitor.h"
#include "monitor/term/event_loop.h"
#include "monitor/term/report.h"
#include "monitor/term/terminal_ui.h"
#include "net/http_client.h"
#include "notify/webhook_notifier.h"
#include "serve/status_server.h"
#include "shared/clock.h"
#include "shared/codepage.h"

namespace tol {
namespace {

constexpr int kExitAnotherCopy = 7;

constexpr const char kExitStatusHelp[] =
    "Exit status of --once: 0 the poll completed, 2 socket failure, 3 file not found\n"
    "(an HTTP error status), 4 a status text that failed to convert (ended silently),\n"
    "5 a failure written to the error log, 6 no poll (the world named in the settings\n"
    "is unknown). Any mode: 1 bad options or start-up failure, 7 another copy of kovun\n"
    "is running (MultiApp=0) and this one ended without saving.\n"
    "\n"
    "--watch runs without a screen: after each poll one line with the caption, or\n"
    "with --json one JSON object per line, keys always in this order:\n"
    "  {\"event\":\"poll\",\"time\",\"world\",\"caption\",\"panels\":[{\"slot\",\"caption\",\n"
    "   \"color\",\"rgb\",\"hint\",\"hint_shown\",\"state\"}...],\"average\",\"update_text\",\n"
    "   \"interval_ms\",\"load_time\",\"countdown\",\"worst\",\"outcome\",\"exit_status\"}\n"
    "  {\"event\":\"alert\",\"time\",\"world\",\"server\",\"from\",\"to\",\"text\"} per alert\n"
    "   ([Alert] Enabled=1).\n"
    "It runs until SIGINT or SIGTERM, or until its reader goes (a closed pipe, a\n"
    "failed write); then it saves the settings and exits with 0. SIGUSR1 polls at\n"
    "once in every mode that runs on.\n"
    "\n"
    "--notify-test sends one test message to [Notify] Webhook and exits: 0 it was\n"
    "taken (2xx), 1 no webhook is set, 2 no answer, 3 the webhook refused it.";

// --once never waits for a tick: its timers only keep their periods.
class NullTimerDriver : public TimerDriver {
 public:
  void Start(int) override {}
  void Stop() override {}
};

int g_signal_write = -1;

constexpr char kQuitByte = 1;
constexpr char kRefreshByte = 2;

extern "C" void OnSignal(int signal_number) {
  const char byte = signal_number == SIGUSR1 ? kRefreshByte : kQuitByte;
  [[maybe_unused]] ssize_t n = write(g_signal_write, &byte, 1);
}

// SIGINT and SIGTERM (quit) and SIGUSR1 (refresh now) become a readable byte
// on the returned descriptor.
int InstallQuitSignals() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
  g_signal_write = fds[1];
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGUSR1, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  return fds[0];
}

std::filesystem::path ExecutablePath(const char* argv0) {
  std::error_code error;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) exe = std::filesystem::absolute(argv0, error);
  return exe;
}

// A failure record that can't reach the error log goes to standard error,
// after the full-screen view has given the terminal back.
std::vector<std::string> g_unlogged;

void ReportUnlogged() {
  for (const std::string& report : g_unlogged) {
    std::cerr << "kovun: the error log can't be written: " << Cp932ToUtf8(report) << "\n";
  }
  g_unlogged.clear();
}

int RunOnce(const MonitorPaths& paths, bool json) {
  const Clock& clock = SystemClock();
  std::unique_ptr<HttpClient> http = CreateHttpClient(clock);
  NullTimerDriver timer1_driver;
  NullTimerDriver timer2_driver;
  InlinePollExecutor executor;
  MonitorHooks hooks;
  hooks.log_unwritable = [](const std::string& report) { g_unlogged.push_back(report); };
  // One poll shows no history chart: nothing is read back.
  hooks.read_history = [](HistoryQuery) {};
  KovunMonitor monitor(*http, clock, timer1_driver, timer2_driver, executor, paths,
                       std::move(hooks));
  monitor.FormCreate();
  const auto outcome = monitor.last_outcome();
  if (json) {
    std::cout << ModelJson(monitor.model(), outcome).dump(2) << "\n";
  } else {
    std::cout << ModelText(monitor.model());
  }
  std::cout.flush();
  if (monitor.quit_requested()) {
    std::cerr << "kovun: another copy is running; settings not saved\n";
    return kExitAnotherCopy;
  }
  monitor.FormClose(monitor.settings().left, monitor.settings().top);
  ReportUnlogged();
  return ExitStatusOf(outcome);
}

// --notify-test: the outcome on standard output, by host and status only.
int RunNotifyTest(const MonitorPaths& paths) {
  std::string description;
  const WebhookTestOutcome outcome =
      RunWebhookTest(paths.settings_path, SystemClock(), &description);
  std::cout << "kovun: webhook test: " << description << "\n";
  switch (outcome) {
    case WebhookTestOutcome::kSent:
      return kExitCompleted;
    case WebhookTestOutcome::kNotConfigured:
      return kExitUsage;
    case WebhookTestOutcome::kNoAnswer:
      return kExitSocketError;
    case WebhookTestOutcome::kRefused:
      return kExitFileNotFound;
  }
  return kExitUsage;
}

// What the modes without a screen print after each poll: the caption and a
// line per alert, or (json) the events' JSON lines. Flushed at once, for the
// scripts that read it. False when the output can't be written any more (its
// reader has gone: SIGPIPE is ignored, so the write fails with EPIPE).
bool PrintPoll(const KovunMonitor& monitor, const MonitorEvents& events, bool json) {
  if (json) {
    if (events.poll) std::cout << events.poll->json() << "\n";
    for (const auto& a : events.alerts) std::cout << a->json() << "\n";
  } else {
    std::cout << Cp932ToUtf8(monitor.model().caption) << "\n";
    for (const auto& a : events.alerts)
      std::cout << "alert: " << Cp932ToUtf8(a->alert.text) << "\n";
  }
  std::cout.flush();
  return static_cast<bool>(std::cout);
}

// Standard output is a pipe: the loop hears at once when its reader closes it
// (poll(2) reports an error on the write end), not only at the next write.
bool OutputIsPipe() {
  struct stat st;
  return fstat(STDOUT_FILENO, &st) == 0 && S_ISFIFO(st.st_mode);
}

// The event-loop modes: the ncurses screen on a terminal, otherwise one
// caption line (or JSON line) per finished poll. Both end on q (screen),
// SIGINT or SIGTERM and then save the settings.
int RunLoop(const MonitorPaths& paths, bool interactive, bool json) {
  const int signal_read = InstallQuitSignals();
  if (signal_read < 0) {
    std::perror("kovun: pipe");
    return kExitUsage;
  }
  const Clock& clock = SystemClock();
  EventLoop loop;
  std::unique_ptr<HttpClient> http = CreateHttpClient(clock);
  LoopTimerDriver timer1_driver(loop);
  LoopTimerDriver timer2_driver(loop);
  WorkerPollExecutor executor(loop);
  std::unique_ptr<TerminalUi> ui;

  MonitorHooks hooks;
  hooks.post_quit = [&loop] { loop.Quit(); };
  hooks.beep = [&ui] {
    if (ui) ui->Beep();
  };
  hooks.log_unwritable = [](const std::string& report) { g_unlogged.push_back(report); };
  KovunMonitor* monitor_ptr = nullptr;
  // Webhooks ([Notify]): their failures reach the error log on this thread.
  std::unique_ptr<WebhookNotifier> webhooks = CreateWebhookNotifier(
      paths.settings_path, clock, [&loop, &monitor_ptr](std::exception_ptr f) {
        loop.Post([&monitor_ptr, f] { monitor_ptr->LogFailure(f); });
      });
  // [Serve] Port: the local status endpoint takes every poll's events.
  const ServeSettings serve = ReadServeSettingsFile(paths.settings_path);
  std::unique_ptr<StatusServer> server;
  hooks.poll_events = json || serve.enabled() || (webhooks && webhooks->wants_poll_events());
  hooks.events = [&ui, &monitor_ptr, &loop, &webhooks, &server, json](const MonitorEvents& events) {
    if (webhooks) webhooks->Post(events);
    if (server) server->Publish(events, monitor_ptr->alert_monitor());
    if (ui) {
      for (const auto& a : events.alerts) {
        ui->ShowAlert(a->alert, monitor_ptr->alert_monitor()->sound());
      }
    } else if (!PrintPoll(*monitor_ptr, events, json)) {
      // Nobody reads any more: end as at SIGTERM.
      loop.Quit();
    }
  };
  KovunMonitor monitor(*http, clock, timer1_driver, timer2_driver, executor, paths,
                       std::move(hooks));
  monitor_ptr = &monitor;
  timer1_driver.Attach(&monitor.timer1());
  timer2_driver.Attach(&monitor.timer2());
  bool signalled = false;
  loop.WatchReadable(signal_read, [&loop, &signalled, &monitor, signal_read] {
    char buffer[16];
    bool quit = false;
    bool refresh = false;
    ssize_t n;
    while ((n = read(signal_read, buffer, sizeof buffer)) > 0) {
      for (ssize_t i = 0; i < n; ++i) (buffer[i] == kRefreshByte ? refresh : quit) = true;
    }
    if (quit) {
      signalled = true;
      loop.Quit();
    } else if (refresh) {
      monitor.ManualRefresh();
    }
  });
  if (!interactive && OutputIsPipe()) {
    loop.WatchReadable(STDOUT_FILENO, [&loop] {
      loop.Unwatch(STDOUT_FILENO);
      loop.Quit();
    });
  }
  if (interactive) {
    ui = TerminalUi::Create(monitor);
    if (ui) {
      loop.WatchReadable(STDIN_FILENO,
                         [&ui, &monitor] { monitor.RunGuarded([&ui] { ui->HandleInput(); }); });
    } else {
      std::cerr << "kovun: unknown terminal type; printing one line per poll\n";
    }
  }

  monitor.FormCreate();
  if (monitor.quit_requested()) {
    // The start-up sequence, first poll included, runs to its end before
    // this copy goes (a signal still ends the wait).
    while (monitor.poll_running() && monitor.polls_finished() == 0 && !signalled) {
      loop.RunOnce(-1);
    }
    http->Abandon();
    if (webhooks) webhooks->Stop();
    ui.reset();
    std::cerr << "kovun: another copy is running\n";
    ReportUnlogged();
    return kExitAnotherCopy;
  }
  // After start-up, whose first poll runs on the worker: a second copy
  // serves nothing.
  server = StartConfiguredStatusServer(serve, clock,
                                       [&monitor](std::exception_ptr e) { monitor.LogFailure(e); });
  while (!loop.quitting()) {
    monitor.RunGuarded([&] {
      if (ui) {
        ui->HandleInput();
        if (ui->quit()) {
          loop.Quit();
          return;
        }
        ui->Draw();
      }
    });
    if (!loop.quitting()) loop.RunOnce(-1);
  }
  // A request in flight is given up rather than waited for; the worker then
  // ends at once, and its poll's continuation is dropped with the loop.
  http->Abandon();
  if (webhooks) webhooks->Stop();  // before the close-time save
  server.reset();
  ui.reset();
  monitor.FormClose(monitor.settings().left, monitor.settings().top);
  ReportUnlogged();
  return kExitCompleted;
}

int Main(int argc, char** argv) {
  CLI::App app{"kovun: the Tolvane server-status monitor for terminals"};
  std::string ini;
  bool once = false;
  bool json = false;
  app.add_option("--ini", ini,
                 "settings file (default: kovun.ini beside the program); the error log "
                 "kovun_error.txt and the Zoneroll folder are taken beside it");
  bool watch = false;
  CLI::Option* once_flag =
      app.add_flag("--once", once, "start up, poll once, print the result, save and exit");
  app.add_flag("--watch", watch,
               "no screen: print each poll (and each alert) until SIGINT or SIGTERM, then "
               "save and exit")
      ->excludes(once_flag);
  app.add_flag("--json", json,
               "with --once: print the result as one JSON object; with --watch: one JSON "
               "object per line, per poll and per alert");
  bool notify_test = false;
  app.add_flag("--notify-test", notify_test,
               "send one test message to the webhook of [Notify] and exit")
      ->excludes(once_flag);
  app.footer(kExitStatusHelp);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? kExitCompleted : kExitUsage;
  }
  if (json && !once && !watch) {
    std::cerr << "--json requires --once or --watch\n";
    return kExitUsage;
  }
  std::setlocale(LC_ALL, "");
  const std::filesystem::path exe = ExecutablePath(argv[0]);
  // Paths from the command line and the system are bytes, taken as they are.
  const FilePath settings_path = FilePath::FromSystem(
      ini.empty() ? std::filesystem::path(exe).replace_extension(".ini").native() : ini);
  // The error log is named after the program: kovun_error.txt, or
  // kovun2_error.txt for a copy renamed kovun2.
  const MonitorPaths paths =
      PathsBesideSettings(settings_path, FilePath::FromSystem(exe.filename().native()));
  if (notify_test) return RunNotifyTest(paths);
  if (once) return RunOnce(paths, json);
  return RunLoop(paths, !watch && isatty(STDOUT_FILENO) && isatty(STDIN_FILENO), json);
}

}  // namespace
}  // namespace tol

int main(int argc, char** argv) {
  try {
    return tol::Main(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "kovun: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "kovun: unexpected failure\n";
  }
  return tol::kExitUsage;
}

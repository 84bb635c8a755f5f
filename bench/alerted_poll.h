#pragma once
// What the monitor's benchmarks share: a still clock, the status service
// from memory, its texts, a map-name file, and one poll's UI-thread part with
// alerts on as the monitor runs it (the poll steps, the map menus rebuilt
// from their file, the alert monitor with a full 168-hour history, every
// server watched).

#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "monitor/alert_monitor.h"
#include "monitor/map_menus.h"
#include "monitor/model.h"
#include "monitor/poll.h"
#include "monitor/settings.h"
#include "net/http_client.h"
#include "shared/clock.h"
#include "shared/file_io.h"

namespace tol::bench {

inline constexpr const char* kKeys[] = {
    "LoginServer",    "PatchServerH", "PatchServerFV1", "PatchServerFV2", "PatchServerFV3",
    "PatchServerFV4", "CharSelect",   "GameServer01",   "GameServer02",   "GameServer03",
    "GameServer04",   "GameServer05", "GameServer06",   "GameServer07",   "GameServer08",
    "GameServer09",   "GameServer10", "GameServer11",   "GameServer12",   "GameServer13",
    "GameServer14",   "GameServer15"};
inline constexpr const char* kStates[] = {"Good", "Good", "Good", "Closed", "Dead", "Down"};

class StillClock : public Clock {
 public:
  DateTime Now() const override { return DateTime::FromMilliseconds(45000LL * 86400000); }
  int UtcOffsetMinutes(DateTime) const override { return 540; }
};

// Answers status.txt with a fixed body, loadtime.txt with "120", HEAD with a
// fixed time, and every webhook request with a message of id 1.
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
  void Abandon() override {}  // answers never wait

 private:
  RequestProfile profile_;
  std::string status_;
};

// `lines` status lines, the keys in turn; with `all_good`, every one "Good".
inline std::string StatusText(int lines, bool all_good = false) {
  std::mt19937 random(7);
  std::string text;
  for (int i = 0; i < lines; ++i) {
    const char* status = kStates[random() % 6];
    text += std::string(kKeys[i % 22]) + "," + (all_good ? "Good" : status) + "," +
            std::to_string(random() % 3) + ",2," + std::to_string(random() % 120000) + "\r\n";
  }
  return text;
}

inline std::string MapFileText(int entries) {
  std::string text;
  for (int n = 1; n <= kMapMenuCount; ++n) {
    text += "[" + MapSectionName(n) + "]\r\n";
    for (int i = 0; i < entries; ++i) {
      text += "m" + std::to_string(i) + "=Map " + std::to_string(n * 1000 + i) + "\r\n";
    }
    text += "\r\n";
  }
  return text;
}

// One poll's UI-thread part with alerts on, over a folder of its own (the
// map-name file, and the history file when asked for) that goes with it.
class AlertedPoll {
 public:
  AlertedPoll(const std::string& name, bool with_history_file, std::string status_text)
      : http(std::move(status_text)),
        settings_(Settings()),
        folder_(std::filesystem::temp_directory_path() /
                ("tol-" + name + "-" + std::to_string(getpid()))),
        zoneroll_folder_(Folder(folder_)),
        alerts(settings_.alerts,
               with_history_file ? zoneroll_folder_.Join("history.csv") : FilePath()) {
    WriteFileAtomic(zoneroll_folder_.Join("arvel.ini"), MapFileText(4));
  }
  ~AlertedPoll() { std::filesystem::remove_all(folder_); }

  // The poll steps and the map menus.
  PollOutcome Poll(StatusPoll& poll) {
    PollContext ctx{model, settings_, clock, PollHooks{}};
    poll.Begin(ctx);
    poll.FetchStatus(http);
    poll.ApplyStatus(ctx);
    poll.FetchHead(http);
    const PollOutcome outcome = poll.Finish(ctx);
    BuildMapMenus(model, zoneroll_folder_, settings_.popup_break);
    return outcome;
  }
  // The alert monitor's part, a minute after the last poll observed.
  std::vector<Alert> Observe(const StatusPoll& poll, PollOutcome outcome) {
    FinishedPoll finished;
    finished.time = DateTime::FromMilliseconds(45000LL * 86400000 + ++minute_ * 60000);
    finished.utc_offset_minutes = 540;
    finished.world = model.label1;
    finished.outcome = outcome;
    finished.observed = poll.observed() ? &*poll.observed() : nullptr;
    finished.names_known_server = poll.names_known_server();
    return alerts.Observe(finished, settings_, nullptr);
  }
  // A full history: a poll a minute for 168 hours. False when it isn't.
  bool FillHistory() {
    StatusPoll poll(url(), "arvel/");
    const PollOutcome outcome = Poll(poll);
    for (std::size_t i = 0; i < alerts.history().capacity(); ++i) Observe(poll, outcome);
    return alerts.history().size() == alerts.history().capacity();
  }
  const std::string& url() const { return settings_.service_url; }

  MemoryHttpClient http;
  StillClock clock;
  MonitorModel model;

 private:
  static KovunSettings Settings() {
    KovunSettings settings;
    settings.service_url = "http://127.0.0.1:9/status/";
    settings.alerts.enabled = true;
    settings.alerts.watched.fill(true);
    settings.alerts.history_hours = kMaxHistoryHours;
    return settings;
  }
  static FilePath Folder(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    return FilePath::FromSystem((folder / "").native());
  }

  KovunSettings settings_;
  std::filesystem::path folder_;
  FilePath zoneroll_folder_;
  int64_t minute_ = 0;

 public:
  AlertMonitor alerts;
};

}  // namespace tol::bench

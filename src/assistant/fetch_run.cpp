#include "assistant/fetch_run.h"

#include <chrono>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "assistant/map_file.h"
#include "assistant/texts.h"
#include "net/timeouts.h"
#include "shared/errors.h"
#include "shared/file_io.h"
#include "shared/stored_time.h"

namespace tol {

namespace {

// The user is shown which file failed, not only the system's reason:
// `file_text` with "%1" the file's path and "%2" the reason.
std::string FileFailureText(const SjisText& file_text, const FilePath& path,
                            std::string_view reason = {}) {
  const std::string path_text = path.Text();
  std::string text;
  const std::string& tmpl = file_text.bytes();
  for (std::size_t i = 0; i < tmpl.size(); ++i) {
    if (tmpl[i] == '%' && i + 1 < tmpl.size() && (tmpl[i + 1] == '1' || tmpl[i + 1] == '2')) {
      text += tmpl[i + 1] == '1' ? std::string_view(path_text) : reason;
      ++i;
    } else {
      text += tmpl[i];
    }
  }
  return text;
}

void WriteWhole(const FilePath& path, std::string_view bytes,
                WriteDurability durability = WriteDurability::kFlushed) {
  try {
    WriteFileAtomic(path, bytes, durability);
  } catch (const EFCreateError& e) {
    throw EFCreateError(FileFailureText(kCannotWriteFileText, path, e.what()));
  }
}

// The update record of one run: read at its start; converted worlds' times
// are stored during the run, at most once per interval, and at its end, each
// time with the record read afresh so that the settings sharing it stay as
// they are. The writes during the run go unflushed (a record lost to a power
// cut only means lists fetched again); the last one of the run is flushed.
class UpdateRecord {
 public:
  explicit UpdateRecord(FilePath path)
      : path_(std::move(path)), stored_(LoadIniFileForUpdate(path_)) {}

  DateTime Stored(std::string_view world) const {
    for (const auto& [name, time] : changes_) {
      if (name == world) return time;
    }
    return ParseStoredTime(stored_.ReadString(kUpdateSection, world, "")).value_or(DateTime());
  }

  void Set(std::string_view world, DateTime time) {
    for (auto& [name, stored] : changes_) {
      if (name == world) {
        stored = time;
        return;
      }
    }
    changes_.emplace_back(world, time);
  }

  void Save(WriteDurability durability) {
    if (changes_.empty() && !unflushed_) return;
    UpdateIniFile(
        path_,
        [this](IniFile& record) {
          for (const auto& [world, time] : changes_) {
            record.WriteString(kUpdateSection, world, StoredTimeText(time));
          }
        },
        durability);
    changes_.clear();
    unflushed_ = durability == WriteDurability::kNotFlushed;
    last_save_ = std::chrono::steady_clock::now();
  }

  // During the run: the times so far, once `interval` has passed since the
  // last write.
  void SaveIfDue(std::chrono::milliseconds interval) {
    if (std::chrono::steady_clock::now() - last_save_ >= interval) {
      Save(WriteDurability::kNotFlushed);
    }
  }

 private:
  FilePath path_;
  IniFile stored_;
  std::vector<std::pair<std::string_view, DateTime>> changes_;  // in the order first set
  bool unflushed_ = false;  // the file holds a write not yet flushed
  std::chrono::steady_clock::time_point last_save_ = std::chrono::steady_clock::now();
};

// The display names of TolMap.ini, read for every world converted, and
// parsed again only when the file's bytes changed since the world before.
class TolMapReader {
 public:
  explicit TolMapReader(FilePath path) : path_(std::move(path)) {}

  const DisplayNames& Read() {
    std::string bytes = ReadFileBytes(path_).value_or("");
    if (!names_ || bytes != names_->bytes()) names_ = DisplayNames::Parse(std::move(bytes));
    return *names_;
  }

 private:
  FilePath path_;
  std::optional<DisplayNames> names_;
};

void WriteMapFile(std::string_view body, const FilePath& world_path, const DisplayNames& names) {
  const std::optional<std::string> bytes = MapFileBytes(body, names);
  // Rewritten line by line, the file would have grown past what the next
  // line could read in.
  if (!bytes) {
    throw EFCreateError(
        FileFailureText(kCannotWriteFileText, world_path, kTooLargeReasonText.bytes()));
  }
  WriteWhole(world_path, *bytes);
}

// The list time of a HEAD answer, to the second. Without a Last-Modified the
// service gives no way to tell whether the list changed, and time zero would
// read as "never converted": compared with the zero that a missing per-world
// file leaves in the record it would skip the fetch and leave the file
// missing for good. Such a list time is unknown (nullopt), and an unknown
// list time always counts as changed.
std::optional<DateTime> ListTime(const HeadResult& head) {
  if (!head.last_modified) return std::nullopt;
  const DateTime time = head.last_modified->TruncatedToSecond();
  if (time.IsZero()) return std::nullopt;
  return time;
}

}  // namespace

RequestProfile AssistantRequestProfile() {
  RequestProfile profile;
  profile.accept = "text/html, */*";
  profile.content_type = "text/html";
  profile.referer = std::string(kAssistantReferer);
  profile.user_agent = std::string(kAssistantUserAgent);
  profile.connect_timeout = kAssistantTimeouts.connect;
  profile.idle_timeout = kAssistantTimeouts.idle;
  profile.request_timeout = kAssistantTimeouts.request;
  return profile;
}

std::string MapListUrl(std::string_view host, std::string_view world) {
  std::string url = "http://";
  url += host;
  url += "/cgi-bin/iplist/map.";
  url += world;
  url += ".lst";
  return url;
}

IniFile LoadIniFileForUpdate(const FilePath& path) {
  const std::optional<std::string> bytes = ReadFileBytes(path);
  if (bytes) return IniFile::Parse(*bytes);
  if (FileExists(path)) throw EFCreateError(FileFailureText(kCannotReadFileText, path));
  return IniFile::Parse("");
}

void UpdateIniFile(const FilePath& path, const std::function<void(IniFile&)>& change,
                   WriteDurability durability) {
  // One lock for the whole program: which file two updates name doesn't
  // matter, they are rare and short.
  static std::mutex updating;
  std::lock_guard lock(updating);
  IniFile ini = LoadIniFileForUpdate(path);
  change(ini);
  WriteWhole(path, ini.Serialize(), durability);
}

void ConvertMapList(std::string_view body, const FilePath& world_path,
                    const FilePath& tolmap_path) {
  WriteMapFile(body, world_path, DisplayNames::Load(tolmap_path));
}

namespace {

void FetchWorlds(const FetchRunInputs& inputs, HttpClient& http, const Clock& clock,
                 UpdateRecord& record, FetchLog& log) {
  // The folder texts are joined as they stand, then made a path.
  TolMapReader tolmap(FilePath::FromText(inputs.tolmap_folder + std::string(kTolMapFileName)));
  for (const std::string_view world : kAssistantWorlds) {
    const FilePath world_path =
        FilePath::FromText(inputs.out_folder + std::string(world) + inputs.file_name);
    const std::string log_name = std::string(world) + inputs.file_name;
    // A per-world file that went missing puts its world back to "never
    // converted", so the list is fetched even when it did not change.
    if (!FileExists(world_path)) record.Set(world, DateTime());

    const std::string url = MapListUrl(inputs.host, world);
    const std::optional<DateTime> list_time = ListTime(http.Head(url));
    if (list_time && *list_time == record.Stored(world)) {
      log.Append(log_name + kUpToDateSuffix.bytes());
      continue;
    }

    const std::string body = http.Get(url);
    WriteMapFile(body, world_path, tolmap.Read());
    // An unknown list time is stored as the time of this conversion: a real,
    // non-zero time that later unknown list times are never compared with.
    record.Set(world, list_time.value_or(clock.Now().TruncatedToSecond()));
    record.SaveIfDue(inputs.record_interval);
    log.Append(log_name + kConvertedSuffix.bytes());
  }
}

}  // namespace

void RunFetch(const FetchRunInputs& inputs, HttpClient& http, const Clock& clock, FetchLog& log) {
  log.Clear();
  UpdateRecord record(inputs.record_path);
  try {
    FetchWorlds(inputs, http, clock, record, log);
  } catch (...) {
    // The worlds before the failure keep their times. Should the record not
    // take them, the failure that ended the run is still the one to report;
    // those worlds are fetched again next time.
    try {
      record.Save(WriteDurability::kFlushed);
    } catch (...) {
    }
    throw;
  }
  record.Save(WriteDurability::kFlushed);
  log.Append("");
  log.Append(kRunFinishedText.bytes());
}

}  // namespace tol

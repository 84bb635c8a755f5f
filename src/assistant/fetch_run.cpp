#include "assistant/fetch_run.h"

#include <optional>

#include "assistant/server_addresses.h"
#include "assistant/texts.h"
#include "net/timeouts.h"
#include "shared/errors.h"
#include "shared/fields.h"
#include "shared/file_io.h"
#include "shared/stored_time.h"
#include "shared/text.h"

namespace tol {

namespace {

// The user is shown which file failed, not only the system's reason.
std::string CannotWriteText(const std::string& path, std::string_view reason) {
  std::string text;
  const std::string& tmpl = kCannotWriteFileText.bytes();
  for (std::size_t i = 0; i < tmpl.size(); ++i) {
    if (tmpl[i] == '%' && i + 1 < tmpl.size() && (tmpl[i + 1] == '1' || tmpl[i + 1] == '2')) {
      text += tmpl[i + 1] == '1' ? std::string_view(path) : reason;
      ++i;
    } else {
      text += tmpl[i];
    }
  }
  return text;
}

void WriteWhole(const std::string& path, std::string_view bytes) {
  try {
    WriteFileAtomic(path, bytes);
  } catch (const EFCreateError& e) {
    throw EFCreateError(CannotWriteText(path, e.what()));
  }
}

// The update record is read afresh for every use and written back whole, so
// the settings that share the file stay as they are.
DateTime StoredListTime(const std::string& record_path, std::string_view world) {
  const std::string text = IniFile::Load(record_path).ReadString(kUpdateSection, world, "");
  return ParseStoredTime(text).value_or(DateTime());
}

void StoreListTime(const std::string& record_path, std::string_view world, DateTime time) {
  IniFile record = LoadIniFileForUpdate(record_path);
  record.WriteString(kUpdateSection, world, StoredTimeText(time));
  SaveIniFile(record, record_path);
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

void SaveIniFile(const IniFile& ini, const std::string& path) { WriteWhole(path, ini.Serialize()); }

IniFile LoadIniFileForUpdate(const std::string& path) {
  const std::optional<std::string> bytes = ReadFileBytes(path);
  if (bytes) return IniFile::Parse(*bytes);
  if (FileExists(path)) throw EFCreateError(CannotWriteText(path, kCannotReadReasonText.bytes()));
  return IniFile::Parse("");
}

void ConvertMapList(std::string_view body, const std::string& world_path,
                    const std::string& tolmap_path) {
  WriteWhole(world_path, "");
  for (const std::string& raw : SplitLines(body)) {
    const std::string_view line = TrimRight(raw);
    const std::string address = ExtractField(line, 1);
    const std::optional<std::string_view> key = ServerKeyForAddress(address);
    const std::string_view section = key ? *key : std::string_view(address);
    const std::string map_id = ExtractField(line, 3);
    // Read afresh for every line, as is the per-world file: each entry is on
    // disk, and the file complete up to it, before the next line is taken.
    const std::string display_name = IniFile::Load(tolmap_path).ReadString(kMapSection, map_id, "");
    IniFile world_file = LoadIniFileForUpdate(world_path);
    world_file.WriteString(section, map_id, display_name);
    SaveIniFile(world_file, world_path);
  }
}

void RunFetch(const FetchRunInputs& inputs, HttpClient& http, const Clock& clock, FetchLog& log) {
  log.Clear();
  const std::string tolmap_path = inputs.tolmap_folder + std::string(kTolMapFileName);
  for (const std::string_view world : kAssistantWorlds) {
    const std::string world_path = inputs.out_folder + std::string(world) + inputs.file_name;
    const std::string log_name = std::string(world) + inputs.file_name;
    // A per-world file that went missing puts its world back to "never
    // converted", so the list is fetched even when it did not change.
    if (!FileExists(world_path)) StoreListTime(inputs.record_path, world, DateTime());

    const std::string url = MapListUrl(inputs.host, world);
    const std::optional<DateTime> list_time = ListTime(http.Head(url));
    const DateTime stored = StoredListTime(inputs.record_path, world);
    if (list_time && *list_time == stored) {
      log.Append(log_name + kUpToDateSuffix.bytes());
      continue;
    }

    const std::string body = http.Get(url);
    ConvertMapList(body, world_path, tolmap_path);
    // An unknown list time is stored as the time of this conversion: a real,
    // non-zero time that later unknown list times are never compared with.
    StoreListTime(inputs.record_path, world, list_time.value_or(clock.Now().TruncatedToSecond()));
    log.Append(log_name + kConvertedSuffix.bytes());
  }
  log.Append("");
  log.Append(kRunFinishedText.bytes());
}

}  // namespace tol

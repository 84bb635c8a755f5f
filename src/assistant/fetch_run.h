#pragma once
// The assistant's fetch run: for each of its eighteen worlds, ask the map-list
// service whether the world's list changed since the last run; download and
// convert a changed list into the world's map-name file, the INI file whose
// "GameServer01" to "GameServer15" sections the monitor's map menus show.
//
// Files of the run:
// - per-world file: output folder text + world + file name text, joined as
//   they stand (no separator added or removed);
// - display names: TolMap folder text + "TolMap.ini", section "Map", read only;
// - update record: section "Update" of the record file (Zoneroll.ini in the
//   working directory), one stored list time per world.
// A changed world's list is converted in memory and its file replaced once,
// whole, through a temporary file: the monitor, which may read a per-world
// file at any moment, sees the old file or the new one, never part of a
// conversion, and a run cut short mid-world leaves the old file whole. The
// update record is read when the run starts; converted worlds' times are
// written into it during the run (see record_interval; unflushed) and at its
// end, also on failure (flushed).
//
// The run reports world by world through a FetchLog. The first failure ends
// it and propagates as a tol::Exception whose message is the text the user is
// shown: for an error status the answer's status line (EHttpStatusError), for
// a connection failure or time-out the client's ESocketError, for a file that
// can't be written an EFCreateError naming the file and the system's reason.
// Worlds before the failing one keep their new files and times; later ones
// are not visited; the log gets no closing lines.

#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "net/http_client.h"
#include "shared/clock.h"
#include "shared/file_io.h"
#include "shared/file_path.h"
#include "shared/ini_file.h"

namespace tol {

// The worlds the assistant fetches, lower case, in run order (the first
// eighteen worlds of the monitor's table).
inline constexpr std::array<std::string_view, 18> kAssistantWorlds = {
    "arvel", "bessa",  "corin",  "dovan",   "elmira", "fennet", "garvo",  "hollis", "istra",
    "jorun", "kestel", "lumbra", "morvane", "nessa",  "orwin",  "pellam", "quint",  "rosk"};

inline constexpr std::string_view kAssistantUserAgent = "Kovun Zoneroll Assistant / Rev. 0.1";
inline constexpr std::string_view kAssistantReferer = "http://kovun.tolvane.example/zoneroll/";
inline constexpr std::string_view kUpdateSection = "Update";
inline constexpr std::string_view kTolMapFileName = "TolMap.ini";
inline constexpr std::string_view kMapSection = "Map";

// The assistant's request headers and time-outs (net/timeouts.h), no proxy.
// Apply it once to the client the assistant keeps for its life.
RequestProfile AssistantRequestProfile();

// "http://" + host + "/cgi-bin/iplist/map." + world + ".lst".
std::string MapListUrl(std::string_view host, std::string_view world);

// Where the run's lines go, code page 932 text without line breaks.
class FetchLog {
 public:
  virtual ~FetchLog() = default;
  virtual void Clear() = 0;
  virtual void Append(std::string_view line) = 0;
};

struct FetchRunInputs {
  std::string out_folder;     // prefix of every per-world file path
  std::string file_name;      // behind the world name, e.g. ".ini"
  std::string tolmap_folder;  // prefix of TolMap.ini; empty: working directory
  std::string host;           // map-list service host, optionally ":port"
  FilePath record_path = FilePath::FromText("Zoneroll.ini");
  // During a run the record takes the converted worlds' times after a
  // conversion once this long has passed since it was last written
  // (unflushed); the run's end writes the rest and flushes. A run cut short
  // loses at most this much fetching. 0: after every world.
  std::chrono::milliseconds record_interval{250};
};

// One run over all worlds. `clock` supplies the list time stored when the
// service's HEAD answer has no usable Last-Modified (see fetch_run.cpp).
void RunFetch(const FetchRunInputs& inputs, HttpClient& http, const Clock& clock, FetchLog& log);

// Converts one map list into the file at `world_path`, replacing it whole:
// every line of `body` (trailing blanks and control characters removed)
// becomes the entry field 3 = display name in the section of its address
// (field 1, through the server address table; an unlisted address names its
// own section), with TolMap.ini at `tolmap_path` read once. The bytes are
// those of map_file.h's MapFileBytes; a list whose file would outgrow what
// the programs read in (kMaxFileBytes) is an EFCreateError naming the file,
// and the file stays as it was.
void ConvertMapList(std::string_view body, const FilePath& world_path, const FilePath& tolmap_path);

// The INI file at `path` read in to be changed and saved again: empty when
// there is no file, an EFCreateError naming the file when it exists but can't
// be read (rewriting it from an empty document would drop all it holds).
IniFile LoadIniFileForUpdate(const FilePath& path);

// Reads the INI file at `path` (as LoadIniFileForUpdate), lets `change`
// change it and replaces it whole (temporary file, then rename); on failure
// an EFCreateError whose text names the file and gives the system's reason.
//
// Every update of Zoneroll.ini in the program goes through here, and these
// updates run one at a time, from whichever thread: the window saving its
// texts at the end of a session while a run on its worker stores list times
// would otherwise each write back what it had read, and the later write
// would drop the keys of the other.
void UpdateIniFile(const FilePath& path, const std::function<void(IniFile&)>& change,
                   WriteDurability durability = WriteDurability::kFlushed);

}  // namespace tol

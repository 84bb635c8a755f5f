#pragma once
// The monitor's settings file (kovun.ini): the values read once at start-up,
// and the fixed set of keys written back when the main window closes.
//
// Reading follows the file's own rules through ProfileIni: a missing file or
// key, or an integer that doesn't convert, gives the key's default. Section
// and key names match without regard to letter case.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "kovun_version.h"
#include "shared/file_path.h"
#include "shared/shortcut.h"

namespace tol {

class ProfileIni;

// The version text, shown in the caption and sent in the User-Agent.
inline constexpr std::string_view kVersion = KOVUN_VERSION_TEXT;
// The caption prefix "Kovun Rev. " + version.
inline constexpr std::string_view kCaptionPrefix = "Kovun Rev. " KOVUN_VERSION_TEXT;
static_assert(kCaptionPrefix.ends_with(kVersion));
// The built-in base URL of the status service: absolute, ending in a slash.
// [Server] URL replaces it (read only, never written back).
inline constexpr std::string_view kDefaultServiceUrl = "http://status.tolvane.example/status/";
// The homepage sent as Referer and named in the User-Agent.
inline constexpr std::string_view kHomepageUrl = "http://kovun.tolvane.example/";
// The design text of the world label, and so the default world.
inline constexpr std::string_view kDefaultWorldLabel = "Arvel";
// The neutral panel colour: the system's button-face colour.
inline constexpr int32_t kNeutralColor = static_cast<int32_t>(0xFF00000F);

// "Kovun/0.1.0a (credit; homepage)".
std::string UserAgentText();

// A shortcut setting: the text as the file holds it (written back as it was
// read) and the key combination it names (none when the text doesn't read).
struct ShortCutSetting {
  std::string text;
  TShortCut value{};
};

// Panel colours, $00BBGGRR; a top byte of $FF names a system colour.
struct ColorSettings {
  int32_t good = 0x00CFFFCF;
  int32_t closed = 0x00FFDFCF;
  int32_t dead = 0x00CFFFFF;
  int32_t down = 0x00CFCFFF;
  int32_t two = 0x009FCF9F;  // [Color] 2: success count "2"
  int32_t one = 0x006F9F6F;  // [Color] 1: success count "1"
  int32_t average = 0x00DFCF9F;
  int32_t average2 = 0x00CF9F6F;
};

// [Alert] and [History]: read at start-up, never written back. A value that
// is missing, doesn't read or is out of range gives the default.
inline constexpr int32_t kMaxAlertPolls = 100;  // Down and Up
inline constexpr int32_t kMaxHistoryHours = 168;
struct AlertSettings {
  bool enabled = false;
  // The watched panels by slot (1-19); [Alert] Servers names them by their
  // captions ("Login,Char,3,7") or "all".
  std::array<bool, 19> watched = {true, false, false, true};  // Login, Char
  int32_t down = 2;  // polls a server must be down before it counts as down
  int32_t up = 1;    // polls it must be up again before it counts as back
  bool sound = true;
  std::string history_file;  // [History] File as it stands; empty: none
  int32_t history_hours = 24;
};

struct KovunSettings {
  // [Window]
  int32_t left = 210;
  int32_t top = 129;
  int32_t style = 0;
  int32_t snap = 4;
  // [Server]
  std::string patch = "PatchServerFV1";
  std::string default_world = std::string(kDefaultWorldLabel);  // old label forms converted
  std::string service_url = std::string(kDefaultServiceUrl);    // [Server] URL, read only
  // [Option]
  bool set_window_pos = false;
  bool last_modified = false;
  bool task_tray = false;
  int32_t multi_app = 0;
  int32_t popup_break = 5;
  int32_t internet_date_format = 0;
  int32_t caption_name = 0;
  int32_t next_time = 1;
  ShortCutSetting hot_key;
  int32_t over_average = 25000;
  int32_t over_average2 = 100000;
  int32_t reload_time = 0;
  std::string date_format = "yyyy/m/d hh:mm:ss";
  // [HotKey] GameServer1 .. GameServer15
  std::array<ShortCutSetting, 15> game_server_keys;
  // [Proxy]
  std::string proxy_server;
  int32_t proxy_port = 0;
  std::string proxy_name;
  std::string proxy_password;
  // [status.txt]
  int32_t export_enabled = 0;
  std::string export_path;
  std::string export_name = "status.txt";
  std::string format1 = "%1:s,%3:s,%4:d,%5:d,%6:d";
  std::string format2;
  // [Color]
  ColorSettings colors;
  // [Alert], [History]
  AlertSettings alerts;
};

// The default shortcut texts: "Alt+Ctrl+R" and, for game server n (1-15),
// "Alt+Ctrl+1".."Alt+Ctrl+9", "Alt+Ctrl+Shift+0".."Alt+Ctrl+Shift+5".
inline constexpr std::string_view kDefaultRefreshHotKey = "Alt+Ctrl+R";
std::string DefaultGameServerHotKey(int n);

// Reads every key in start-up order. `label_text` is the world label's text
// before start-up, the default of [Server] Default. The old label forms
// ("Dovan :") are converted as the start-up sequence does.
KovunSettings ReadSettings(const ProfileIni& ini, std::string_view label_text = kDefaultWorldLabel);

// The watched slots of an [Alert] Servers text: panel captions separated by
// commas (blanks around them and letter case don't matter), or "all".
// nullopt when it names no panel.
std::optional<std::array<bool, 19>> ParseWatchedServers(std::string_view text);

// What the close-time save writes that can change while the monitor runs.
struct CloseTimeState {
  int32_t left = 210;
  int32_t top = 129;
  std::string patch;
  std::string world_label;
  bool set_window_pos = false;
  bool last_modified = false;
  bool task_tray = false;
  int32_t reload_time = 0;
};

// Writes, in this order: [Window] Left, Top, Snap; [Server] Patch, Default;
// [Option] SetWindowPos, LastModified, TaskTray, MultiApp, HotKey,
// OverAverage, OverAverage2, ReloadTime. Every other line of `ini` stays.
void WriteCloseTimeSettings(ProfileIni& ini, const KovunSettings& settings,
                            const CloseTimeState& state);

// The close-time save of the file at `path`: loads what
// the file holds (nothing when it is missing), writes the keys above and
// replaces the file. A file that can't be written raises EFCreateError with
// the message "<path> に書き込めません" (the path's text).
void SaveCloseTimeSettings(const FilePath& path, const KovunSettings& settings,
                           const CloseTimeState& state);

}  // namespace tol

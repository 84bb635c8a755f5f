#include "monitor/settings.h"

#include "monitor/status.h"
#include "monitor/texts.h"
#include "monitor/worlds.h"
#include "shared/errors.h"
#include "shared/profile_ini.h"
#include "shared/text.h"

namespace tol {
namespace {

constexpr std::string_view kWindow = "Window";
constexpr std::string_view kServer = "Server";
constexpr std::string_view kOption = "Option";
constexpr std::string_view kHotKey = "HotKey";
constexpr std::string_view kProxy = "Proxy";
constexpr std::string_view kExport = "status.txt";
constexpr std::string_view kColor = "Color";
constexpr std::string_view kAlert = "Alert";
constexpr std::string_view kHistory = "History";

// An integer key within [low, high]; the default otherwise.
int32_t ReadIntegerIn(const ProfileIni& ini, std::string_view section, std::string_view key,
                      int32_t low, int32_t high, int32_t default_value) {
  const int32_t value = ini.ReadInteger(section, key, default_value);
  return value >= low && value <= high ? value : default_value;
}

AlertSettings ReadAlertSettings(const ProfileIni& ini) {
  AlertSettings a;
  a.enabled = ReadIntegerIn(ini, kAlert, "Enabled", 0, 1, a.enabled) == 1;
  if (auto watched = ParseWatchedServers(ini.ReadString(kAlert, "Servers", ""))) {
    a.watched = *watched;
  }
  a.down = ReadIntegerIn(ini, kAlert, "Down", 1, kMaxAlertPolls, a.down);
  a.up = ReadIntegerIn(ini, kAlert, "Up", 1, kMaxAlertPolls, a.up);
  a.sound = ReadIntegerIn(ini, kAlert, "Sound", 0, 1, a.sound) == 1;
  a.history_file = std::string(Trim(ini.ReadString(kHistory, "File", "")));
  a.history_hours = ReadIntegerIn(ini, kHistory, "Hours", 1, kMaxHistoryHours, a.history_hours);
  return a;
}

ShortCutSetting ReadShortCut(const ProfileIni& ini, std::string_view section, std::string_view key,
                             std::string_view default_text) {
  ShortCutSetting s;
  s.text = ini.ReadString(section, key, default_text);
  s.value = ShortCutFromText(s.text);
  return s;
}

}  // namespace

std::string UserAgentText() {
  return "Kovun/" + std::string(kVersion) + " (Kovun developers; " + std::string(kHomepageUrl) +
         ")";
}

std::string DefaultGameServerHotKey(int n) {
  if (n >= 1 && n <= 9) return "Alt+Ctrl+" + std::to_string(n);
  return "Alt+Ctrl+Shift+" + std::to_string(n - 10);
}

KovunSettings ReadSettings(const ProfileIni& ini, std::string_view label_text) {
  KovunSettings s;
  s.left = ini.ReadInteger(kWindow, "Left", s.left);
  s.top = ini.ReadInteger(kWindow, "Top", s.top);
  s.style = ini.ReadInteger(kWindow, "Style", s.style);
  s.snap = ini.ReadInteger(kWindow, "Snap", s.snap);

  s.patch = ini.ReadString(kServer, "Patch", s.patch);
  s.default_world = ConvertOldWorldLabel(ini.ReadString(kServer, "Default", label_text));
  s.service_url = ini.ReadString(kServer, "URL", s.service_url);
  if (s.service_url.empty()) s.service_url = std::string(kDefaultServiceUrl);

  s.set_window_pos = ini.ReadBool(kOption, "SetWindowPos", s.set_window_pos);
  s.last_modified = ini.ReadBool(kOption, "LastModified", s.last_modified);
  s.task_tray = ini.ReadBool(kOption, "TaskTray", s.task_tray);
  s.multi_app = ini.ReadInteger(kOption, "MultiApp", s.multi_app);
  s.popup_break = ini.ReadInteger(kOption, "PopupBreak", s.popup_break);
  s.internet_date_format = ini.ReadInteger(kOption, "InternetDateFormat", s.internet_date_format);
  s.caption_name = ini.ReadInteger(kOption, "CaptionName", s.caption_name);
  s.next_time = ini.ReadInteger(kOption, "NextTime", s.next_time);
  s.hot_key = ReadShortCut(ini, kOption, "HotKey", kDefaultRefreshHotKey);
  s.over_average = ini.ReadInteger(kOption, "OverAverage", s.over_average);
  s.over_average2 = ini.ReadInteger(kOption, "OverAverage2", s.over_average2);
  s.reload_time = ini.ReadInteger(kOption, "ReloadTime", s.reload_time);
  s.date_format = ini.ReadString(kOption, "DateFormat", s.date_format);

  for (int n = 1; n <= 15; ++n) {
    s.game_server_keys[n - 1] =
        ReadShortCut(ini, kHotKey, "GameServer" + std::to_string(n), DefaultGameServerHotKey(n));
  }

  s.proxy_server = ini.ReadString(kProxy, "Server", s.proxy_server);
  s.proxy_port = ini.ReadInteger(kProxy, "Port", s.proxy_port);
  s.proxy_name = ini.ReadString(kProxy, "Name", s.proxy_name);
  s.proxy_password = ini.ReadString(kProxy, "Password", s.proxy_password);

  s.export_enabled = ini.ReadInteger(kExport, "Enabled", s.export_enabled);
  s.export_path = ini.ReadString(kExport, "Path", s.export_path);
  s.export_name = ini.ReadString(kExport, "Name", s.export_name);
  s.format1 = ini.ReadString(kExport, "Format1", s.format1);
  s.format2 = ini.ReadString(kExport, "Format2", s.format2);

  ColorSettings& c = s.colors;
  c.good = ini.ReadInteger(kColor, "Good", c.good);
  c.closed = ini.ReadInteger(kColor, "Closed", c.closed);
  c.dead = ini.ReadInteger(kColor, "Dead", c.dead);
  c.down = ini.ReadInteger(kColor, "Down", c.down);
  c.two = ini.ReadInteger(kColor, "2", c.two);
  c.one = ini.ReadInteger(kColor, "1", c.one);
  c.average = ini.ReadInteger(kColor, "Average", c.average);
  c.average2 = ini.ReadInteger(kColor, "Average2", c.average2);

  s.alerts = ReadAlertSettings(ini);
  return s;
}

std::optional<std::array<bool, 19>> ParseWatchedServers(std::string_view text) {
  std::array<bool, 19> watched{};
  if (SameText(Trim(text), "all")) {
    watched.fill(true);
    return watched;
  }
  bool any = false;
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    const std::string_view name = Trim(text.substr(0, comma));
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    for (int slot = 1; slot <= 19; ++slot) {
      if (!name.empty() && SameText(name, PanelCaption(slot))) {
        watched[slot - 1] = true;
        any = true;
      }
    }
  }
  if (!any) return std::nullopt;
  return watched;
}

void WriteCloseTimeSettings(ProfileIni& ini, const KovunSettings& settings,
                            const CloseTimeState& state) {
  ini.WriteInteger(kWindow, "Left", state.left);
  ini.WriteInteger(kWindow, "Top", state.top);
  ini.WriteInteger(kWindow, "Snap", settings.snap);
  ini.WriteString(kServer, "Patch", state.patch);
  ini.WriteString(kServer, "Default", state.world_label);
  ini.WriteBool(kOption, "SetWindowPos", state.set_window_pos);
  ini.WriteBool(kOption, "LastModified", state.last_modified);
  ini.WriteBool(kOption, "TaskTray", state.task_tray);
  ini.WriteInteger(kOption, "MultiApp", settings.multi_app);
  ini.WriteString(kOption, "HotKey", settings.hot_key.text);
  ini.WriteInteger(kOption, "OverAverage", settings.over_average);
  ini.WriteInteger(kOption, "OverAverage2", settings.over_average2);
  ini.WriteInteger(kOption, "ReloadTime", state.reload_time);
}

void SaveCloseTimeSettings(const FilePath& path, const KovunSettings& settings,
                           const CloseTimeState& state) {
  try {
    // A file that exists but can't be read is left alone: writing the keys
    // into an empty document would wipe everything else it holds.
    ProfileIni ini = ProfileIni::LoadForUpdate(path);
    WriteCloseTimeSettings(ini, settings, state);
    ini.Save(path);
  } catch (const Exception&) {
    // Whatever kept the file from being read back or replaced, the report
    // names the file.
    throw EFCreateError(FillText(kCannotWriteText.bytes(), {path.Text()}));
  }
}

}  // namespace tol

#include "notify/notify_settings.h"

#include "shared/profile_ini.h"
#include "shared/text.h"

namespace tol {
namespace {

constexpr std::string_view kNotify = "Notify";

bool IsWebUrl(std::string_view url) {
  for (std::string_view scheme : {"https://", "http://"}) {
    if (url.size() > scheme.size() && SameText(url.substr(0, scheme.size()), scheme)) return true;
  }
  return false;
}

bool IsDiscordHost(std::string_view host) {
  std::string lower(host);
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  for (std::string_view domain : {"discord.com", "discordapp.com"}) {
    if (lower == domain) return true;
    if (lower.size() > domain.size() && lower.ends_with(domain) &&
        lower[lower.size() - domain.size() - 1] == '.') {
      return true;
    }
  }
  return false;
}

}  // namespace

std::string UrlHost(std::string_view url) {
  const std::size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) return "?";
  std::string_view rest = url.substr(scheme + 3);
  rest = rest.substr(0, rest.find_first_of("/?#"));
  // user:password@ never reaches a message.
  if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos) {
    rest = rest.substr(at + 1);
  }
  return rest.empty() ? "?" : std::string(rest);
}

NotifySettings ReadNotifySettings(const ProfileIni& ini) {
  NotifySettings s;
  s.webhook = std::string(Trim(ini.ReadString(kNotify, "Webhook", "")));
  if (!IsWebUrl(s.webhook)) s.webhook.clear();
  const std::string format(Trim(ini.ReadString(kNotify, "Format", "")));
  if (SameText(format, "discord")) {
    s.format = WebhookFormat::kDiscord;
  } else if (SameText(format, "json")) {
    s.format = WebhookFormat::kJson;
  } else {
    std::string host = UrlHost(s.webhook);
    host = host.substr(0, host.find(':'));
    s.format = IsDiscordHost(host) ? WebhookFormat::kDiscord : WebhookFormat::kJson;
  }
  s.alerts = ini.ReadInteger(kNotify, "Alerts", 1) != 0;
  s.status_message = ini.ReadInteger(kNotify, "StatusMessage", 0) == 1;
  const std::string header = ini.ReadString(kNotify, "Header", "");
  if (const std::size_t colon = header.find(':'); colon != std::string::npos) {
    s.header_name = std::string(Trim(std::string_view(header).substr(0, colon)));
    s.header_value = std::string(Trim(std::string_view(header).substr(colon + 1)));
    if (s.header_name.empty()) s.header_value.clear();
  }
  s.status_message_id = std::string(Trim(ini.ReadString(kNotify, "StatusMessageId", "")));
  // Ids are decimal numbers; anything else would end up in a request path.
  if (s.status_message_id.find_first_not_of("0123456789") != std::string::npos) {
    s.status_message_id.clear();
  }
  return s;
}

void SaveStatusMessageId(const FilePath& settings_path, std::string_view id) {
  ProfileIni ini = ProfileIni::LoadForUpdate(settings_path);
  ini.WriteString(kNotify, "StatusMessageId", id);
  ini.Save(settings_path);
}

}  // namespace tol

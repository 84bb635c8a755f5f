#pragma once
// [Notify] of kovun.ini: the webhook that alerts and the status message go
// to. Read once at start-up; only StatusMessageId is ever written, and only
// by SaveStatusMessageId (never by the close-time save). Without a Webhook
// nothing is sent.

#include <string>
#include <string_view>

#include "shared/file_path.h"

namespace tol {

class ProfileIni;

enum class WebhookFormat { kDiscord, kJson };

struct NotifySettings {
  std::string webhook;  // the URL; holds a secret, never logged
  WebhookFormat format = WebhookFormat::kJson;
  bool alerts = true;
  bool status_message = false;  // Discord only
  std::string header_name;      // one extra header for json, e.g. Authorization
  std::string header_value;
  std::string status_message_id;

  bool enabled() const { return !webhook.empty(); }
  // The status message is kept (StatusMessage=1 and the Discord format).
  bool keeps_status_message() const {
    return enabled() && status_message && format == WebhookFormat::kDiscord;
  }
};

// Format: "discord" or "json"; missing or anything else: discord when the
// URL's host is discord.com or discordapp.com (or a subdomain), else json.
// A Webhook that isn't an http or https URL counts as none.
NotifySettings ReadNotifySettings(const ProfileIni& ini);

// The host (and port, when the URL names one) of a URL: what messages about
// a webhook may say of it. "?" when there is none.
std::string UrlHost(std::string_view url);

// Writes [Notify] StatusMessageId=id into the settings file, replacing it as
// a whole (a reader never sees half a file); every other line stays.
// EFCreateError / EOtherError on failure.
void SaveStatusMessageId(const FilePath& settings_path, std::string_view id);

}  // namespace tol

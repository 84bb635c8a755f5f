#include "notify/webhook_notifier.h"

#include <algorithm>
#include <chrono>

#include "monitor/settings.h"
#include "shared/errors.h"
#include "shared/profile_ini.h"

namespace tol {
namespace {

// The longest the worker sleeps without looking at the clock: the clock
// port's time may jump (a changed system time), the condition's may not.
constexpr int64_t kLongestSleepMs = 1000;

WebhookResult Perform(HttpClient& http, const HttpRequest& request) {
  WebhookResult result;
  try {
    result.answer = http.Send(request);
  } catch (...) {
    result.failure = std::current_exception();
  }
  return result;
}

// The client of the webhooks, set up as the status service's: its
// User-Agent, time-outs and proxy.
std::unique_ptr<HttpClient> WebhookClient(const ProfileIni& ini, const Clock& clock) {
  const KovunSettings settings = ReadSettings(ini);
  RequestProfile service;
  service.user_agent = UserAgentText();
  service.proxy_host = settings.proxy_server;
  service.proxy_port = settings.proxy_port;
  service.proxy_user = settings.proxy_name;
  service.proxy_password = settings.proxy_password;
  std::unique_ptr<HttpClient> http = CreateHttpClient(clock);
  http->SetProfile(WebhookProfile(service));
  return http;
}

}  // namespace

std::unique_ptr<WebhookNotifier> CreateWebhookNotifier(
    const FilePath& settings_path, const Clock& clock,
    std::function<void(std::exception_ptr failure)> report) {
  const ProfileIni ini = ProfileIni::Load(settings_path);
  const NotifySettings settings = ReadNotifySettings(ini);
  if (!settings.enabled()) return nullptr;
  WebhookHooks hooks;
  hooks.report = std::move(report);
  hooks.save_id = [settings_path](const std::string& id) {
    SaveStatusMessageId(settings_path, id);
  };
  return std::make_unique<WebhookNotifier>(settings, WebhookClient(ini, clock), clock,
                                           std::move(hooks));
}

WebhookTestOutcome RunWebhookTest(const FilePath& settings_path, const Clock& clock,
                                  std::string* description) {
  const ProfileIni ini = ProfileIni::Load(settings_path);
  const NotifySettings settings = ReadNotifySettings(ini);
  if (!settings.enabled()) {
    *description = "no [Notify] Webhook is set";
    return WebhookTestOutcome::kNotConfigured;
  }
  std::unique_ptr<HttpClient> http = WebhookClient(ini, clock);
  const std::string body =
      settings.format == WebhookFormat::kDiscord ? DiscordTestBody() : JsonTestBody();
  const WebhookResult result = Perform(*http, WebhookPost(settings, body));
  *description = DescribeResult(settings, result);
  if (!result.answer) return WebhookTestOutcome::kNoAnswer;
  const int status = result.answer->status;
  return status >= 200 && status <= 299 ? WebhookTestOutcome::kSent : WebhookTestOutcome::kRefused;
}

RequestProfile WebhookProfile(const RequestProfile& service) {
  RequestProfile profile = service;
  profile.referer.clear();
  profile.max_body_bytes = 64 * 1024;
  return profile;
}

WebhookNotifier::WebhookNotifier(const NotifySettings& settings, std::unique_ptr<HttpClient> http,
                                 const Clock& clock, WebhookHooks hooks)
    : clock_(clock),
      wants_poll_events_(settings.keeps_status_message()),
      format_(settings.format),
      http_(std::move(http)),
      hooks_(std::move(hooks)),
      queue_(settings) {
  worker_ = std::thread([this] { Run(); });
}

WebhookNotifier::~WebhookNotifier() { Stop(); }

void WebhookNotifier::Post(const MonitorEvents& events) {
  bool added;
  {
    std::lock_guard lock(mutex_);
    added = queue_.Add(events);
  }
  // Most polls change nothing: the worker sleeps on undisturbed.
  if (added) wake_.notify_one();
}

void WebhookNotifier::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_ && !worker_.joinable()) return;
    stopping_ = true;
  }
  wake_.notify_one();
  http_->Abandon();
  if (worker_.joinable()) worker_.join();
}

void WebhookNotifier::Run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    std::optional<int64_t> wake_ms;
    const int64_t now = NowMs();
    std::optional<WebhookRequest> request = queue_.Next(now, &wake_ms, /*fill_body=*/false);
    if (!request) {
      const int64_t sleep =
          wake_ms ? std::clamp<int64_t>(*wake_ms - now, 1, kLongestSleepMs) : kLongestSleepMs;
      wake_.wait_for(lock, std::chrono::milliseconds(sleep));
      continue;
    }
    lock.unlock();
    FillBody(*request, format_);
    const WebhookResult result = Perform(*http_, request->http);
    lock.lock();
    if (stopping_) break;
    const WebhookEffects effects = queue_.Done(result, NowMs());
    lock.unlock();
    if (effects.report && hooks_.report) hooks_.report(effects.report);
    if (effects.save_id && hooks_.save_id) {
      try {
        hooks_.save_id(*effects.save_id);
      } catch (...) {
        if (hooks_.report) hooks_.report(std::current_exception());
      }
    }
    lock.lock();
  }
}

}  // namespace tol

#include "notify/webhook_queue.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "monitor/log_exception.h"
#include "shared/errors.h"

namespace tol {
namespace {

// The URL with ?wait=true added (Discord then answers the message object).
std::string WithWait(const std::string& url) {
  return url + (url.find('?') == std::string::npos ? "?wait=true" : "&wait=true");
}

// .../messages/<id>, keeping the webhook's own query (a thread id).
std::string MessageUrl(const std::string& url, const std::string& id) {
  const std::size_t query = url.find('?');
  std::string base = url.substr(0, query);
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base + "/messages/" + id + (query == std::string::npos ? "" : url.substr(query));
}

// Seconds as a header or a JSON number gives them, in milliseconds.
std::optional<int64_t> SecondsToMs(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0) return std::nullopt;
  return static_cast<int64_t>(std::ceil(std::min(seconds * 1000.0, double(kMaxRetryAfterMs))));
}

int64_t RetryAfterMs(const HttpAnswer& answer) {
  std::optional<int64_t> ms;
  if (auto header = answer.Header("Retry-After")) {
    char* end = nullptr;
    const double seconds = std::strtod(header->c_str(), &end);
    if (end != header->c_str() && *end == '\0') ms = SecondsToMs(seconds);
  }
  if (!ms) {
    const auto body = nlohmann::json::parse(answer.body, nullptr, false);
    if (body.is_object() && body.contains("retry_after") && body["retry_after"].is_number()) {
      ms = SecondsToMs(body["retry_after"].get<double>());
    }
  }
  // Without either, a few seconds: a 429 is never answered at once.
  return std::clamp<int64_t>(ms.value_or(5000), 100, kMaxRetryAfterMs);
}

}  // namespace

HttpRequest WebhookPost(const NotifySettings& settings, std::string body) {
  HttpRequest request;
  request.method = "POST";
  request.url = settings.webhook;
  request.headers.push_back({"Content-Type", "application/json; charset=utf-8"});
  if (settings.format == WebhookFormat::kJson && !settings.header_name.empty()) {
    request.headers.push_back({settings.header_name, settings.header_value});
  }
  request.body = std::move(body);
  return request;
}

void FillBody(WebhookRequest& request, WebhookFormat format) {
  if (request.poll) {
    request.http.body = DiscordStatusBody(*request.poll);
  } else if (format == WebhookFormat::kDiscord) {
    request.http.body = DiscordAlertBody(request.alerts, request.dropped);
  } else {
    request.http.body = JsonAlertBody(request.alerts, request.dropped);
  }
}

std::string DescribeResult(const NotifySettings& settings, const WebhookResult& result) {
  const std::string host = UrlHost(settings.webhook);
  if (result.answer) return host + ": HTTP " + std::to_string(result.answer->status);
  return host + ": no answer (" + FailureClassName(result.failure) + ")";
}

WebhookQueue::WebhookQueue(NotifySettings settings) : settings_(std::move(settings)) {
  message_id_ = settings_.status_message_id;
}

WebhookQueue::StateKey WebhookQueue::KeyOf(const PollEvent& poll) {
  StateKey key = poll.world;
  key += '\0';
  for (const PanelEvent& p : poll.panels) key += static_cast<char>('0' + static_cast<int>(p.state));
  return key;
}

bool WebhookQueue::Add(const MonitorEvents& events) {
  if (paused_ || !settings_.enabled()) return false;
  bool added = false;
  if (settings_.alerts && !events.alerts.empty()) {
    added = true;
    if (batches_.size() == kMaxBatches) {
      dropped_ += static_cast<int>(batches_.front().size());
      batches_.pop_front();
    }
    batches_.push_back(events.alerts);
  }
  if (settings_.keeps_status_message() && events.poll) {
    const StateKey key = KeyOf(*events.poll);
    const StateKey expected = status_in_flight_ ? KeyOf(*status_in_flight_) : shown_key_;
    if (key != expected) {
      pending_status_ = events.poll;  // the latest wins
      added = true;
    } else {
      pending_status_.reset();  // back to what is (or will be) shown
    }
  }
  return added;
}

std::optional<WebhookRequest> WebhookQueue::Next(int64_t now_ms, std::optional<int64_t>* wake_ms,
                                                 bool fill_body) {
  *wake_ms = std::nullopt;
  if (paused_ || in_flight_) return std::nullopt;
  if (now_ms < not_before_) {
    *wake_ms = not_before_;
    return std::nullopt;
  }
  if (!current_ && !batches_.empty()) {
    current_ = Batch{std::move(batches_.front()), dropped_};
    batches_.pop_front();
    dropped_ = 0;
  }
  if (current_) {
    in_flight_ = WebhookRequest::Kind::kAlerts;
    WebhookRequest request{*in_flight_, WebhookPost(settings_, ""), current_->alerts,
                           current_->dropped, nullptr};
    if (fill_body) FillBody(request, settings_.format);
    return request;
  }
  if (!pending_status_ && !status_in_flight_) return std::nullopt;
  if (last_status_ms_ && now_ms < *last_status_ms_ + kStatusSpacingMs) {
    *wake_ms = *last_status_ms_ + kStatusSpacingMs;
    return std::nullopt;
  }
  if (pending_status_) status_in_flight_ = std::move(pending_status_);
  last_status_ms_ = now_ms;
  WebhookRequest request{
      WebhookRequest::Kind::kStatusPost, WebhookPost(settings_, ""), {}, 0, status_in_flight_};
  if (fill_body) FillBody(request, settings_.format);
  if (message_id_.empty()) {
    request.http.url = WithWait(settings_.webhook);
  } else {
    request.kind = WebhookRequest::Kind::kStatusEdit;
    request.http.method = "PATCH";
    request.http.url = MessageUrl(settings_.webhook, message_id_);
  }
  in_flight_ = request.kind;
  return request;
}

WebhookEffects WebhookQueue::Done(const WebhookResult& result, int64_t now_ms) {
  if (!in_flight_) return {};
  const WebhookRequest::Kind kind = *in_flight_;
  if (!result.answer) return Failed(0, result.failure, now_ms);
  const HttpAnswer& answer = *result.answer;
  const int status = answer.status;
  WebhookEffects effects;
  if (status >= 200 && status <= 299) {
    in_flight_.reset();
    tries_ = 0;
    streak_reported_ = false;
    if (kind == WebhookRequest::Kind::kAlerts) {
      current_.reset();
      return effects;
    }
    if (kind == WebhookRequest::Kind::kStatusPost) {
      const auto body = nlohmann::json::parse(answer.body, nullptr, false);
      if (body.is_object() && body.contains("id") && body["id"].is_string()) {
        const std::string id = body["id"].get<std::string>();
        if (!id.empty() && id.find_first_not_of("0123456789") == std::string::npos &&
            id != message_id_) {
          message_id_ = id;
          effects.save_id = id;
        }
      }
    }
    if (status_in_flight_) shown_key_ = KeyOf(*status_in_flight_);
    status_in_flight_.reset();
    return effects;
  }
  if (status == 429) {
    in_flight_.reset();
    not_before_ = now_ms + RetryAfterMs(answer);
    return effects;
  }
  if (status == 404 && kind == WebhookRequest::Kind::kStatusEdit) {
    // The message was deleted: the next request posts a new one at once.
    in_flight_.reset();
    message_id_.clear();
    last_status_ms_.reset();
    return effects;
  }
  if (status >= 500) return Failed(status, nullptr, now_ms);
  // The webhook refuses (a wrong or deleted URL): no more requests to it.
  in_flight_.reset();
  paused_ = true;
  batches_.clear();
  current_.reset();
  pending_status_.reset();
  status_in_flight_.reset();
  effects.report = std::make_exception_ptr(
      EHttpStatusError(status, "Webhook " + Host() + ": HTTP " + std::to_string(status) +
                                   "; nothing more is sent to it until the next start"));
  return effects;
}

WebhookEffects WebhookQueue::Failed(int status, const std::exception_ptr& failure, int64_t now_ms) {
  const WebhookRequest::Kind kind = *in_flight_;
  in_flight_.reset();
  ++tries_;
  if (tries_ < kMaxTries) {
    not_before_ = now_ms + kBackOffMs[tries_ - 1];
    return {};
  }
  tries_ = 0;
  std::string what = "Webhook " + Host() + ": ";
  what += status != 0 ? "HTTP " + std::to_string(status)
                      : "no answer (" + FailureClassName(failure) + ")";
  if (kind == WebhookRequest::Kind::kAlerts) {
    const int lost = static_cast<int>(current_->alerts.size()) + current_->dropped;
    dropped_ += lost;
    current_.reset();
    what += "; " + std::to_string(lost) + " alert(s) not sent after " + std::to_string(kMaxTries) +
            " tries";
  } else {
    status_in_flight_.reset();
    what += "; the status message not updated after " + std::to_string(kMaxTries) + " tries";
  }
  WebhookEffects effects;
  if (!streak_reported_) {
    streak_reported_ = true;
    effects.report = status != 0 ? std::make_exception_ptr(EHttpStatusError(status, what))
                                 : std::make_exception_ptr(ESocketError(what));
  }
  return effects;
}

}  // namespace tol

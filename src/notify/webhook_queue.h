#pragma once
// The rules of the webhook sink, without threads or network: what to send
// next and when, and what an answer means. The worker (webhook_notifier.h)
// asks Next() for one request at a time, sends it, and tells Done() how it
// went; time comes in as milliseconds of the clock port, so the rules run in
// tests without waiting.
//
// - Alerts: each poll's alerts are one batch, one request. At most
//   kMaxBatches wait; beyond that the oldest waiting batch is dropped, and
//   the alerts dropped (here or after failing) are counted in the next
//   batch's message.
// - Status message (Discord, StatusMessage=1): a poll whose world or panel
//   states differ from what the message shows makes it pending; the latest
//   such poll wins. The first is posted with ?wait=true and the answer's id
//   kept (and saved); later ones edit .../messages/<id>, at most one request
//   per kStatusSpacingMs. A 404 on an edit forgets the id and posts anew.
// - 429: nothing goes out before Retry-After (header, else the body's
//   retry_after), then the same request again; it costs no try.
// - 5xx and failures without an answer: the request is tried again after a
//   back-off (kBackOffMs), kMaxTries times in all (about ten minutes), then
//   dropped; the first drop of a failure streak is reported.
// - Any other answer outside 2xx (a wrong or deleted webhook): reported once,
//   and nothing more is sent until the program starts again.
// Reports name the webhook's host and the HTTP status, never the URL.

#include <array>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "monitor/events.h"
#include "net/http_client.h"
#include "notify/notify_settings.h"
#include "notify/webhook_messages.h"

namespace tol {

struct WebhookRequest {
  enum class Kind { kAlerts, kStatusPost, kStatusEdit };
  Kind kind = Kind::kAlerts;
  HttpRequest http;  // the body once FillBody has run
  // What the body is made of: the alerts and the count dropped before them,
  // or the poll the status message shows.
  AlertBatch alerts;
  int dropped = 0;
  std::shared_ptr<const PollEvent> poll;
};

// Makes the request's body in the settings' format. Apart from Next, so that
// the worker does it without holding the lock the UI thread takes.
void FillBody(WebhookRequest& request, WebhookFormat format);

// How a request went: the answer, or no answer (`failure` tells why).
struct WebhookResult {
  std::optional<HttpAnswer> answer;
  std::exception_ptr failure;
};

// What the owner does after Done(): report a failure to the error log, save
// a new status message id.
struct WebhookEffects {
  std::exception_ptr report;
  std::optional<std::string> save_id;
};

inline constexpr std::size_t kMaxBatches = 50;
inline constexpr int kMaxTries = 5;
inline constexpr int64_t kStatusSpacingMs = 5000;
// The waits after the 1st to 4th failed try.
inline constexpr std::array<int64_t, kMaxTries - 1> kBackOffMs = {10000, 40000, 120000, 420000};
// The longest a 429 is waited for.
inline constexpr int64_t kMaxRetryAfterMs = 3600000;

// The request that sends `body` to the webhook, as the settings ask (the
// header, Content-Type).
HttpRequest WebhookPost(const NotifySettings& settings, std::string body);
// The message that tells how a request went, for a test of the webhook:
// "HTTP 204" or the failure's kind; never the URL.
std::string DescribeResult(const NotifySettings& settings, const WebhookResult& result);

class WebhookQueue {
 public:
  explicit WebhookQueue(NotifySettings settings);

  // A finished poll's events (the poll event when the status message is
  // kept). True when they gave something new to send.
  bool Add(const MonitorEvents& events);
  // The request to send at `now_ms`, if any. Otherwise `*wake_ms` is when to
  // ask again (nullopt: after the next Add). One request at a time: after a
  // request, Next gives nothing until Done. Without `fill_body` the body is
  // left to FillBody.
  std::optional<WebhookRequest> Next(int64_t now_ms, std::optional<int64_t>* wake_ms,
                                     bool fill_body = true);
  WebhookEffects Done(const WebhookResult& result, int64_t now_ms);

  bool paused() const { return paused_; }
  int dropped() const { return dropped_; }
  std::size_t waiting() const { return batches_.size(); }
  const std::string& status_message_id() const { return message_id_; }

 private:
  struct Batch {
    AlertBatch alerts;
    int dropped = 0;  // alerts dropped before it, told in its message
  };
  using StateKey = std::string;
  static StateKey KeyOf(const PollEvent& poll);
  std::string Host() const { return UrlHost(settings_.webhook); }
  WebhookEffects Failed(int status, const std::exception_ptr& failure, int64_t now_ms);

  NotifySettings settings_;
  std::deque<AlertBatch> batches_;
  int dropped_ = 0;               // alerts dropped and not yet told
  std::optional<Batch> current_;  // the batch being tried

  std::shared_ptr<const PollEvent> pending_status_;
  std::shared_ptr<const PollEvent> status_in_flight_;  // or being retried
  StateKey shown_key_;                                 // what the status message shows
  std::string message_id_;
  std::optional<int64_t> last_status_ms_;

  std::optional<WebhookRequest::Kind> in_flight_;
  int tries_ = 0;           // failed tries of the request in flight
  int64_t not_before_ = 0;  // back-off and rate limit
  bool streak_reported_ = false;
  bool paused_ = false;
};

}  // namespace tol

#pragma once
// The webhook sink: takes each finished poll's events on the UI thread and
// sends them from a worker thread of its own (webhook_queue.h holds the
// rules). Post() only queues and never waits for the network; Stop() (and
// the destructor) gives up a request in flight at once and joins the worker
// within a second.

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "monitor/events.h"
#include "net/http_client.h"
#include "notify/webhook_queue.h"
#include "shared/clock.h"
#include "shared/file_path.h"

namespace tol {

struct WebhookHooks {
  // A failure to report (LogException), called on the worker thread: the
  // front-end hands it to its UI thread.
  std::function<void(std::exception_ptr failure)> report;
  // A new status message id, called on the worker thread; the front-end
  // saves it (SaveStatusMessageId). Empty: not saved.
  std::function<void(const std::string& id)> save_id;
};

// The request profile of webhook requests: the status service's time-outs,
// proxy and User-Agent (from `service`), a 64 KiB answer cap.
RequestProfile WebhookProfile(const RequestProfile& service);

class WebhookNotifier {
 public:
  // `http` is the notifier's own client (with its profile set); `clock`
  // must outlive the notifier.
  WebhookNotifier(const NotifySettings& settings, std::unique_ptr<HttpClient> http,
                  const Clock& clock, WebhookHooks hooks);
  ~WebhookNotifier();
  WebhookNotifier(const WebhookNotifier&) = delete;
  WebhookNotifier& operator=(const WebhookNotifier&) = delete;

  // UI thread: one finished poll's events.
  void Post(const MonitorEvents& events);
  void Stop();
  // The status message is kept: the notifier wants the poll events.
  bool wants_poll_events() const { return wants_poll_events_; }

 private:
  void Run();
  int64_t NowMs() const { return clock_.Now().milliseconds(); }

  const Clock& clock_;
  const bool wants_poll_events_;
  const WebhookFormat format_;
  std::unique_ptr<HttpClient> http_;
  WebhookHooks hooks_;
  std::mutex mutex_;
  std::condition_variable wake_;
  WebhookQueue queue_;  // guarded by mutex_
  bool stopping_ = false;
  std::thread worker_;
};

// The webhook sink of the settings file at `settings_path` ([Notify], and
// the [Proxy] the status service goes through), with the platform's HTTP
// client; null when no webhook is set. The status message id is saved into
// that file from the worker thread: stop the notifier before the close-time
// save. `report` as WebhookHooks::report.
std::unique_ptr<WebhookNotifier> CreateWebhookNotifier(
    const FilePath& settings_path, const Clock& clock,
    std::function<void(std::exception_ptr failure)> report);

// The outcome of a test message, as `kovun --notify-test` exits with it.
enum class WebhookTestOutcome { kSent, kNotConfigured, kNoAnswer, kRefused };
// Sends one test message as the settings file asks, on the caller's thread.
WebhookTestOutcome RunWebhookTest(const FilePath& settings_path, const Clock& clock,
                                  std::string* description);

}  // namespace tol

#include "monitor/poll.h"

#include <algorithm>

#include "monitor/export.h"
#include "monitor/status.h"
#include "shared/errors.h"

namespace tol {
namespace {

// The text that stands in for a load-time file that can't be fetched.
constexpr std::string_view kFallbackLoadTime = "120";

void SetInterval(PollContext& ctx, int32_t period_ms) {
  ctx.model.poll_interval = period_ms;
  if (ctx.hooks.set_refresh_interval) ctx.hooks.set_refresh_interval(period_ms);
}

// Calls `fn` with each line of `text`, split as SplitLines splits it (CR LF,
// lone CR, lone LF; a break at the very end starts no further line), without
// holding all lines at once: a body of line breaks alone would otherwise cost
// a string object per byte.
template <typename Fn>
void ForEachLine(std::string_view text, Fn&& fn) {
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      fn(text.substr(start));
      return;
    }
    fn(text.substr(start, end - start));
    const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
    start = end + (crlf ? 2 : 1);
  }
}

// GET or HEAD with one retry, back to back; the second failure is raised.
template <typename Request>
auto WithOneRetry(Request&& request) {
  try {
    return request();
  } catch (...) {
    return request();
  }
}

}  // namespace

StatusPoll::StatusPoll(std::string_view base_url, std::string_view directory) {
  const std::string base = std::string(base_url) + std::string(directory);
  status_url_ = base + "status.txt";
  loadtime_url_ = base + "loadtime.txt";
}

template <typename Step>
void StatusPoll::Guarded(Step&& step) {
  if (failure_) return;
  try {
    step();
  } catch (...) {
    failure_ = std::current_exception();
  }
}

// Interval 60000 ms, loading caption.
void StatusPoll::Begin(PollContext& ctx) {
  Guarded([&] {
    SetInterval(ctx, kRetryIntervalMs);
    ctx.model.caption = LoadingCaption(ctx.model.update_value);
  });
}

// The status text (one retry) and the load-time text (or its stand-in).
void StatusPoll::FetchStatus(HttpClient& http) {
  Guarded([&] {
    status_body_ = WithOneRetry([&] { return http.Get(status_url_); });
    try {
      loadtime_text_ = http.Get(loadtime_url_);
    } catch (...) {
      loadtime_text_ = kFallbackLoadTime;
    }
  });
}

// Panels, export lines, load time, refresh interval, average.
void StatusPoll::ApplyStatus(PollContext& ctx) {
  Guarded([&] {
    MonitorModel& model = ctx.model;
    KovunSettings& settings = ctx.settings;
    model.ResetPanels();
    AverageAccumulator average;
    ObservedServers observed;
    int32_t line_number = 0;
    ForEachLine(status_body_, [&](std::string_view line) {
      const ServerStatus s = ParseStatusLine(line, ++line_number, settings.patch);
      average.Add(s.connect_time);
      export_lines_.push_back(Format1Line(settings.format1, s));
      PanelModel& panel = model.panel(s.slot);
      panel.hint = HintText(s);
      panel.hint_shown = true;
      panel.color = PanelColor(panel.color, s, settings);
      names_known_server_ |=
          s.slot <= kVisibleSlotCount ||
          std::find(kPatchKeys.begin(), kPatchKeys.end(), s.key) != kPatchKeys.end();
      if (s.slot <= kVisibleSlotCount) {
        observed[s.slot - 1] =
            ObservedServer{true, s.key, s.status, s.success_count, s.check_count, s.connect_time};
      }
    });
    model.load_time = LoadTimeFromText(loadtime_text_);
    if (settings.reload_time < 0) settings.reload_time = 0;
    SetInterval(ctx, RefreshIntervalMs(model.load_time, settings.reload_time));
    model.average_text = average.Text();
    observed_ = std::move(observed);
  });
}

// The status text's Last-Modified time (one retry).
void StatusPoll::FetchHead(HttpClient& http) {
  Guarded([&] {
    head_last_modified_ = WithOneRetry([&] { return http.Head(status_url_); }).last_modified;
  });
}

// Update text, final caption, closing export lines, export file.
void StatusPoll::FinishSuccess(PollContext& ctx) {
  MonitorModel& model = ctx.model;
  const KovunSettings& settings = ctx.settings;
  // An answer without a usable Last-Modified date: the moment of the answer
  // stands in, so the countdown still runs from the load time.
  model.last_modified_time = head_last_modified_.value_or(ctx.clock.Now());
  model.update_text = FormatUpdateText(model.last_modified_time, settings, ctx.clock);
  model.update_value = model.update_text;
  export_lines_.push_back(Format2Line(settings.format2, "Update", model.update_value));
  model.update_value = UpdateSuffix(model.update_text, model.last_modified);

  model.caption = FinalCaption(model.update_value, model.average_text, settings.caption_name != 0,
                               model.label1);
  export_lines_.push_back(Format2Line(settings.format2, "Average", model.average_text));
  export_lines_.push_back(Format2Line(settings.format2, "Server", model.label1));

  if (settings.export_enabled == 1) WriteExportFile(ExportFilePath(settings), export_lines_);
}

PollOutcome StatusPoll::Finish(PollContext& ctx) {
  Guarded([&] { FinishSuccess(ctx); });

  PollOutcome outcome = PollOutcome::kCompleted;
  if (failure_) {
    try {
      std::rethrow_exception(failure_);
    } catch (const ESocketError&) {
      ctx.model.NeutralPanels();
      ctx.model.caption = SocketErrorCaption(ctx.model.update_value);
      outcome = PollOutcome::kSocketError;
    } catch (const EHttpStatusError&) {
      ctx.model.NeutralPanels();
      ctx.model.caption = FileNotFoundCaption(ctx.model.update_value);
      outcome = PollOutcome::kFileNotFound;
    } catch (const EConvertError&) {
      outcome = PollOutcome::kConvertError;
    } catch (...) {
      outcome = PollOutcome::kOtherError;
    }
  }

  // The closing steps, whatever happened.
  status_body_.clear();
  loadtime_text_.clear();
  export_lines_.clear();
  ctx.model.saved_caption = ctx.model.caption;
  if (ctx.hooks.reload_map_menus) ctx.hooks.reload_map_menus();

  if (outcome == PollOutcome::kOtherError) {
    if (!ctx.hooks.on_failure) std::rethrow_exception(failure_);
    ctx.hooks.on_failure(failure_);
  }
  return outcome;
}

std::optional<std::string_view> BeginRefreshWorld(MonitorModel& model) {
  const std::optional<int> index = FindWorld(model.label1);
  if (!index) return std::nullopt;
  model.world_entries[*index].enabled = false;
  return Worlds()[*index].directory;
}

PollOutcome RunPollBlocking(PollContext& ctx, HttpClient& http, std::string_view directory) {
  StatusPoll poll(ctx.settings.service_url, directory);
  poll.Begin(ctx);
  poll.FetchStatus(http);
  poll.ApplyStatus(ctx);
  if (poll.NeedsHead()) poll.FetchHead(http);
  return poll.Finish(ctx);
}

std::optional<PollOutcome> RefreshWorldBlocking(PollContext& ctx, HttpClient& http) {
  const std::optional<std::string_view> directory = BeginRefreshWorld(ctx.model);
  if (!directory) return std::nullopt;
  return RunPollBlocking(ctx, http, *directory);
}

}  // namespace tol

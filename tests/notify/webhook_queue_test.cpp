// The webhook sink's rules, driven with answers and times as a test picks
// them: what goes out when, and what is retried, dropped, reported or saved.

#include "notify/webhook_queue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "notify/notify_settings.h"
#include "shared/errors.h"
#include "shared/profile_ini.h"

namespace tol {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr char kUrl[] = "https://discord.com/api/webhooks/1/TOKEN";

NotifySettings Discord(bool status_message) {
  NotifySettings s;
  s.webhook = kUrl;
  s.format = WebhookFormat::kDiscord;
  s.status_message = status_message;
  return s;
}

MonitorEvents Alerts(int count, ServerState to = ServerState::kDown) {
  MonitorEvents events;
  for (int i = 0; i < count; ++i) {
    Alert a;
    a.world = "Arvel";
    a.slot = 7;
    a.server = "3";
    a.from = ServerState::kUp;
    a.to = to;
    a.text = "Arvel 3: \x92\xE2\x8E\x7E";  // 停止 in code page 932
    events.alerts.push_back(MakeAlertEvent(a));
  }
  return events;
}

// A poll whose panel 7 (map server 3) is in `state`.
MonitorEvents Poll(ServerState state, const std::string& world = "Arvel") {
  auto poll = std::make_shared<PollEvent>();
  poll->world = world;
  for (int slot = 1; slot <= kVisibleSlotCount; ++slot) {
    poll->panels[slot - 1].slot = slot;
    static const char* const kFirst[] = {"Login", "PatF", "PatH", "Char"};
    poll->panels[slot - 1].caption = slot <= 4 ? kFirst[slot - 1] : std::to_string(slot - 4);
    poll->panels[slot - 1].state = ServerState::kUp;
  }
  poll->panels[6].state = state;
  MonitorEvents events;
  events.poll = poll;
  return events;
}

WebhookResult Answer(int status, std::string body = "", std::vector<HttpHeader> headers = {}) {
  HttpAnswer a;
  a.status = status;
  a.body = std::move(body);
  a.headers = std::move(headers);
  return WebhookResult{a, nullptr};
}

WebhookResult NoAnswer() {
  return WebhookResult{std::nullopt, std::make_exception_ptr(ESocketError("refused"))};
}

std::string ReportText(const WebhookEffects& e) {
  if (!e.report) return "";
  try {
    std::rethrow_exception(e.report);
  } catch (const std::exception& x) {
    return x.what();
  }
}

TEST(WebhookQueueTest, AlertBodiesAreDiscordMessagesThatPingNoOne) {
  WebhookQueue queue(Discord(false));
  queue.Add(Alerts(2));
  std::optional<int64_t> wake;
  const auto request = queue.Next(0, &wake);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->http.method, "POST");
  EXPECT_EQ(request->http.url, kUrl);
  const auto body = nlohmann::json::parse(request->http.body);
  EXPECT_EQ(body["username"], "Kovun");
  EXPECT_EQ(body["allowed_mentions"]["parse"], nlohmann::json::array());
  EXPECT_EQ(body["embeds"][0]["description"], "🔴 Arvel 3: 停止\n🔴 Arvel 3: 停止");
  EXPECT_EQ(body["embeds"][0]["color"], 0xE74C3C);
  EXPECT_FALSE(queue.Next(0, &wake)) << "one request at a time";
}

TEST(WebhookQueueTest, TheQueueDropsTheOldestAndTellsTheCountNext) {
  NotifySettings json = Discord(false);
  json.format = WebhookFormat::kJson;
  WebhookQueue queue(json);
  for (std::size_t i = 0; i < kMaxBatches + 2; ++i) queue.Add(Alerts(1 + (i < 2)));
  EXPECT_EQ(queue.dropped(), 4);
  std::optional<int64_t> wake;
  const auto request = queue.Next(0, &wake);
  ASSERT_TRUE(request);
  const auto body = nlohmann::json::parse(request->http.body);
  ASSERT_EQ(body.size(), 2u);
  EXPECT_EQ(body[0]["event"], "alert");
  EXPECT_EQ(body[1], nlohmann::json::parse(R"({"event":"dropped","count":4})"));
}

// Failures: 429 waits and costs no try; 5xx and no answer back off and are
// dropped after kMaxTries, reported once per streak; other 4xx pause.
TEST(WebhookQueueTest, FailuresAreRetriedDroppedOrPauseTheWebhook) {
  struct Case {
    const char* name;
    std::vector<WebhookResult> results;
    std::vector<int64_t> sent_at;  // when each try went out
    bool reported;
    bool paused;
  } cases[] = {
      {"429 header",
       {Answer(429, "", {{"Retry-After", "3"}}), Answer(204)},
       {0, 3000},
       false,
       false},
      {"429 body", {Answer(429, R"({"retry_after": 1.5})"), Answer(204)}, {0, 1500}, false, false},
      {"5xx then fine", {Answer(502), NoAnswer(), Answer(204)}, {0, 10000, 50000}, false, false},
      {"never answers",
       {NoAnswer(), Answer(500), NoAnswer(), NoAnswer(), Answer(503)},
       {0, 10000, 50000, 170000, 590000},
       true,
       false},
      {"wrong URL", {Answer(401)}, {0}, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WebhookQueue queue(Discord(false));
    queue.Add(Alerts(1));
    std::string report;
    for (std::size_t i = 0; i < c.results.size(); ++i) {
      std::optional<int64_t> wake;
      if (c.sent_at[i] > 0) {
        EXPECT_FALSE(queue.Next(c.sent_at[i] - 1, &wake)) << "try " << i << " too early";
        EXPECT_EQ(wake, c.sent_at[i]);
      }
      ASSERT_TRUE(queue.Next(c.sent_at[i], &wake)) << "try " << i;
      const WebhookEffects effects = queue.Done(c.results[i], c.sent_at[i]);
      if (effects.report) report = ReportText(effects);
    }
    std::optional<int64_t> wake;
    EXPECT_FALSE(queue.Next(10000000, &wake));
    EXPECT_EQ(!report.empty(), c.reported) << report;
    EXPECT_THAT(report, Not(HasSubstr("TOKEN")));
    if (c.reported) EXPECT_THAT(report, HasSubstr("discord.com"));
    EXPECT_EQ(queue.paused(), c.paused);
  }
}

TEST(WebhookQueueTest, ADroppedBatchIsCountedAndAStreakReportedOnce) {
  WebhookQueue queue(Discord(false));
  int reports = 0;
  int64_t now = 0;
  for (int batch = 0; batch < 2; ++batch) {
    queue.Add(Alerts(1));
    for (int i = 0; i < kMaxTries; ++i) {
      std::optional<int64_t> wake;
      auto request = queue.Next(now, &wake);
      if (!request) request = queue.Next(now = wake.value_or(now), &wake);
      ASSERT_TRUE(request);
      reports += queue.Done(Answer(500), now).report != nullptr;
    }
  }
  EXPECT_EQ(reports, 1);
  EXPECT_EQ(queue.dropped(), 2);
}

TEST(WebhookQueueTest, StatusMessageIsPostedOnceThenEditedOnChangesSpacedApart) {
  WebhookQueue queue(Discord(true));
  std::optional<int64_t> wake;
  queue.Add(Poll(ServerState::kUp));
  auto post = queue.Next(0, &wake);
  ASSERT_TRUE(post);
  EXPECT_EQ(post->http.url, std::string(kUrl) + "?wait=true");
  const WebhookEffects saved = queue.Done(Answer(200, R"({"id":"555","channel_id":"1"})"), 0);
  EXPECT_EQ(saved.save_id, "555");

  queue.Add(Poll(ServerState::kUp));  // nothing changed: nothing to send
  EXPECT_FALSE(queue.Next(6000, &wake));
  EXPECT_EQ(wake, std::nullopt);

  // Two changes within the spacing: one edit, showing the latest.
  queue.Add(Poll(ServerState::kDown));
  queue.Add(Poll(ServerState::kSlow));
  EXPECT_FALSE(queue.Next(4000, &wake));
  EXPECT_EQ(wake, 5000);
  auto edit = queue.Next(5000, &wake);
  ASSERT_TRUE(edit);
  EXPECT_EQ(edit->http.method, "PATCH");
  EXPECT_EQ(edit->http.url, "https://discord.com/api/webhooks/1/TOKEN/messages/555");
  EXPECT_THAT(edit->http.body, HasSubstr("🟡 3"));
  EXPECT_FALSE(queue.Done(Answer(200, "{}"), 5000).save_id);

  // A world switch edits it; a 404 (deleted) posts a new one at once.
  queue.Add(Poll(ServerState::kSlow, "Dovan"));
  ASSERT_TRUE(queue.Next(10000, &wake));
  queue.Done(Answer(404, R"({"code":10008})"), 10000);
  EXPECT_FALSE(queue.paused());
  auto repost = queue.Next(10001, &wake);
  ASSERT_TRUE(repost);
  EXPECT_EQ(repost->http.method, "POST");
  EXPECT_THAT(repost->http.body, HasSubstr("Dovan"));
  EXPECT_EQ(queue.Done(Answer(200, R"({"id":"777"})"), 10001).save_id, "777");
}

TEST(NotifySettingsTest, ReadsTheSectionWithItsDefaults) {
  struct Case {
    const char* ini;
    const char* webhook;
    WebhookFormat format;
    bool keeps_status;
    const char* header_name;
  } cases[] = {
      {"", "", WebhookFormat::kJson, false, ""},
      {"Webhook=ftp://x/y\r\nStatusMessage=1", "", WebhookFormat::kJson, false, ""},
      {"Webhook=https://discord.com/api/webhooks/1/t\r\nStatusMessage=1",
       "https://discord.com/api/webhooks/1/t", WebhookFormat::kDiscord, true, ""},
      {"Webhook=https://ptb.discordapp.com/api/webhooks/1/t",
       "https://ptb.discordapp.com/api/webhooks/1/t", WebhookFormat::kDiscord, false, ""},
      {"Webhook=https://notdiscord.com/h\r\nStatusMessage=1", "https://notdiscord.com/h",
       WebhookFormat::kJson, false, ""},
      {"Webhook=http://127.0.0.1:8123/api/webhook/k\r\nHeader=Authorization: Bearer x",
       "http://127.0.0.1:8123/api/webhook/k", WebhookFormat::kJson, false, "Authorization"},
      {"Webhook=http://h/x\r\nFormat=Discord\r\nStatusMessage=1", "http://h/x",
       WebhookFormat::kDiscord, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini);
    const NotifySettings s =
        ReadNotifySettings(ProfileIni::Parse(std::string("[Notify]\r\n") + c.ini + "\r\n"));
    EXPECT_EQ(s.webhook, c.webhook);
    EXPECT_EQ(s.format, c.format);
    EXPECT_EQ(s.keeps_status_message(), c.keeps_status);
    EXPECT_EQ(s.header_name, c.header_name);
  }
  EXPECT_EQ(UrlHost("https://user:pw@discord.com:443/api/webhooks/1/t?x=1"), "discord.com:443");
}

}  // namespace
}  // namespace tol

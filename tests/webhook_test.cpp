// The Discord relay over the stand-in's real HTTP client (libcurl, or WinHTTP
// under Wine) against a fake webhook on loopback. The test moves both clocks,
// the webhook's and the game's, a second at a time and side by side, and
// neither while the relay's request is on its way: each request reaches the
// webhook, and each reply the relay, at the same second on every run, so the
// same spawns make the same requests however loaded the machine.

#include <chrono>
#include <optional>
#include <stdexcept>

#include "FakeWebhook.h"
#include "Support.h"

using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using Answer = HeraldTest::FakeWebhook::Answer;

namespace {

class WebhookTest : public HeraldTest::ServerTest {
protected:
    std::optional<HeraldTest::FakeWebhook> webhook;

    void Start() {
        webhook.emplace();
        StandIn::ScriptRequests(false);
        server.WriteConfig(
            {{"Discord", {{"Webhook", webhook->Url()}}},
             {"Items",
              {{"SupplyCrate_Level03_C",
                {{"Name", "Crate"}, {"Notification", {{"Type", "Chat"}, {"Msg", "{Name} {Lat} {Lon}"}}}}}}}});
        StandIn::ConnectPlayer("Alice");
        LoadPlugin();
        StandIn::ClearRecords();
    }
    void TearDown() override {
        StandIn::UnloadPlugin();
        webhook.reset();
        HeraldTest::ServerTest::TearDown();
    }
    // Until every request in flight has its reply where the game's next tick
    // takes it, or is held by the stalling webhook. A clock moved before then
    // would meet the request, or its reply, at a second that depends on how
    // fast the machine is. Bounded in real time, so that a request that
    // never settles fails the test instead of hanging it.
    void Settle() {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (StandIn::RequestsInFlight() > StandIn::RequestsAnswered() + webhook->Holding()) {
            if (std::chrono::steady_clock::now() >= giveUp) {
                throw std::runtime_error("the relay's request was neither answered nor held by the webhook in 5 s");
            }
            // Over as soon as the reply comes: only a request that the webhook
            // begins to hold meanwhile lasts the whole wait.
            StandIn::AwaitAnswers(10);
        }
    }
    // One second of the webhook, then one of the game.
    void Tick() {
        Settle();
        webhook->Advance(1);
        // A stall that second ended lets its reply go, which this tick must take.
        Settle();
        StandIn::Wait(1);
    }
    void Spawn() {
        HeraldTest::SpawnCrate(u"SupplyCrate_Level03_C_1", static_cast<float>(spawned % 100) * 100,
                               static_cast<float>(spawned / 100) * 100);
        ++spawned;
    }
    // What Alice was told, in order.
    static std::vector<std::string> Announced() {
        std::vector<std::string> lines;
        for (const StandIn::Record& record : StandIn::Records()) {
            if (record.kind == StandIn::RecordKind::Chat) {
                lines.push_back(record.text);
            }
        }
        return lines;
    }
    // Ticks until the webhook holds as many lines as were announced, or two
    // game minutes have passed with nothing left to come.
    void TickUntilDelivered() {
        const std::size_t announced = Announced().size();
        Settle();
        for (int second = 0; second < 120 && webhook->DeliveredLines().size() < announced; ++second) {
            Tick();
            Settle();
        }
    }
    int spawned = 0;
};

TEST_F(WebhookTest, EveryLineArrivesOnceInOrderThroughRefusalsAndFailures) {
    Start();
    webhook->Script({Answer::Accept, Answer::TooMany, Answer::TooMany, Answer::Accept, Answer::ServerError,
                     Answer::Close, Answer::Accept, Answer::TooMany, Answer::ServerError});
    for (int second = 0; second < 20; ++second) {
        Spawn();
        Spawn();
        Tick();
    }
    TickUntilDelivered();
    EXPECT_THAT(webhook->DeliveredLines(), ElementsAreArray(Announced()));
    EXPECT_EQ(webhook->RequestsDuringAWait(), 0) << "no request while a 429's wait ran";
    EXPECT_EQ(webhook->TooManyAnswered(), 3);
}

TEST_F(WebhookTest, SpawnsAreAnnouncedAtOnceWhileTheWebhookStalls) {
    Start();
    webhook->Script({Answer::Stall});
    Spawn();
    Settle();
    ASSERT_TRUE(webhook->Stalling());
    for (int i = 0; i < 3; ++i) {
        Spawn();
        EXPECT_EQ(Announced().size(), static_cast<std::size_t>(i) + 2) << "announced before the spawn returned";
    }
    // The stall ends only when the test moves the webhook's clock: a spawn
    // that waited for the request would have waited out the client's timeout.
    EXPECT_EQ(StandIn::RequestsAnswered(), 0u) << "all of it while the request waited";
    EXPECT_EQ(StandIn::RequestsInFlight(), 1u);
    TickUntilDelivered();
    EXPECT_THAT(webhook->DeliveredLines(), ElementsAreArray(Announced()));
}

TEST_F(WebhookTest, ASteadyStreamWithinDiscordsLimitGetsNo429) {
    Start();
    webhook->Limit(5, 2);
    for (int second = 0; second < 120; ++second) {
        Spawn();
        Tick();
    }
    TickUntilDelivered();
    EXPECT_EQ(webhook->TooManyAnswered(), 0);
    EXPECT_THAT(webhook->DeliveredLines(), ElementsAreArray(Announced()));
}

TEST_F(WebhookTest, ABurstPastDiscordsLimitWaitsAsTheRepliesSay) {
    Start();
    webhook->Limit(2, 3);
    for (int burst = 0; burst < 4; ++burst) {
        for (int i = 0; i < 30; ++i) {
            Spawn();
        }
        Tick();
    }
    TickUntilDelivered();
    EXPECT_THAT(webhook->DeliveredLines(), ElementsAreArray(Announced()));
    EXPECT_EQ(webhook->RequestsDuringAWait(), 0);
    EXPECT_EQ(webhook->TooManyAnswered(), 0) << "X-RateLimit-Remaining 0 kept the relay from a 429";
}

}  // namespace

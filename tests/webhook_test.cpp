// The Discord relay over the stand-in's real HTTP client (libcurl, or WinHTTP
// under Wine) against a fake webhook on loopback. The webhook's seconds are
// a tenth to a fortieth of a real one, and the game's clock advances one
// second per such period, never faster: what the relay waits for in game
// seconds lasts at least as long on the webhook's clock.

#include <chrono>
#include <optional>
#include <thread>

#include "FakeWebhook.h"
#include "Support.h"

using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using Answer = HeraldTest::FakeWebhook::Answer;

namespace {

class WebhookTest : public HeraldTest::ServerTest {
protected:
    std::optional<HeraldTest::FakeWebhook> webhook;
    int millisecondsPerSecond = 100;

    void Start(int milliseconds) {
        millisecondsPerSecond = milliseconds;
        webhook.emplace(milliseconds);
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
    // One second of the game, after one second of the webhook.
    void Tick() {
        std::this_thread::sleep_for(std::chrono::milliseconds(millisecondsPerSecond));
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
    // Ticks until the webhook holds as many lines as were announced, or a
    // game minute has passed with nothing left to come.
    void TickUntilDelivered() {
        const std::size_t announced = Announced().size();
        for (int second = 0; second < 120 && webhook->DeliveredLines().size() < announced; ++second) {
            Tick();
        }
    }
    int spawned = 0;
};

TEST_F(WebhookTest, EveryLineArrivesOnceInOrderThroughRefusalsAndFailures) {
    Start(50);
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
    Start(100);
    webhook->Script({Answer::Stall});
    Spawn();
    for (int second = 0; second < 10 && !webhook->Stalling(); ++second) {
        Tick();
    }
    ASSERT_TRUE(webhook->Stalling());
    for (int i = 0; i < 3; ++i) {
        Spawn();
        EXPECT_EQ(Announced().size(), static_cast<std::size_t>(i) + 2) << "announced before the spawn returned";
    }
    EXPECT_TRUE(webhook->Stalling()) << "all of it while the request waited";
    EXPECT_EQ(StandIn::RequestsInFlight(), 1u);
    TickUntilDelivered();
    EXPECT_THAT(webhook->DeliveredLines(), ElementsAreArray(Announced()));
}

TEST_F(WebhookTest, ASteadyStreamWithinDiscordsLimitGetsNo429) {
    Start(25);
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
    Start(25);
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

// A busy server kept calm through the loaded plugin: cooldowns whose held
// spawns come back as one digest line, the minimum of players, and what
// SkyCrateHerald.Status and SkyCrateHerald.Test tell an admin about both.

#include "Support.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

using HeraldTest::SpawnCrate;

nlohmann::json CalmConfig(const nlohmann::json& calm) {
    return {{"Calm", calm},
            {"Items",
             {{"SupplyCrate_Level03_C",
               {{"Name", "Crate"}, {"Notification", {{"Type", "Chat"}, {"Msg", "{Name} at {Lat} / {Lon}"}}}}},
              {"CrystalWyvern_ElementNode_C",
               {{"Name", "Node"}, {"Cooldown", 0}, {"Notification", {{"Type", "Chat"}, {"Msg", "{Name}"}}}}}}}};
}

class CalmTest : public HeraldTest::ServerTest {
protected:
    void Start(const nlohmann::json& calm) {
        server.WriteConfig(CalmConfig(calm));
        StandIn::ConnectPlayer("Alice", true);
        LoadPlugin();
    }
    // What the plugin sends while the game runs that many seconds.
    std::vector<std::string> After(int seconds) {
        StandIn::ClearRecords();
        StandIn::Wait(seconds);
        return Transcript();
    }
    std::vector<std::string> Crate(float x = 0, float y = 0) {
        StandIn::ClearRecords();
        SpawnCrate(u"SupplyCrate_Level03_C_1", x, y);
        return Transcript();
    }
    std::string Rcon(const std::string& line) {
        StandIn::ClearRecords();
        StandIn::RconCommand(line, 1);
        return StandIn::Records().empty() ? std::string() : StandIn::Records().back().text;
    }
    void Reload(const nlohmann::json& calm) {
        server.WriteConfig(CalmConfig(calm));
        ASSERT_TRUE(StandIn::ConsoleCommand(nullptr, "SkyCrateHerald.Reload"));
    }
};

const std::string AliceCrate = "chat Alice Server: \"Crate at 50.0 / 50.0\"";

TEST_F(CalmTest, ABurstSendsOneAnnouncementAndOneDigestOfTheRest) {
    Start({{"Cooldown", 60}});
    StandIn::ClearRecords();
    for (int i = 0; i < 100; ++i) {
        SpawnCrate(u"SupplyCrate_Level03_C_1", 0, static_cast<float>(100 * i));
    }
    EXPECT_THAT(Transcript(), ElementsAre(AliceCrate));
    EXPECT_THAT(After(59), IsEmpty());
    EXPECT_THAT(After(1), ElementsAre("chat Alice Server: \"99 more Crate since the last announcement, the latest at "
                                      "51.2 / 50.0\""));
    EXPECT_THAT(After(60), IsEmpty()) << "nothing held since the digest";
    EXPECT_THAT(Crate(), ElementsAre(AliceCrate)) << "the digest's cooldown is over";
}

TEST_F(CalmTest, ASteadyStreamSendsOneLinePerCooldown) {
    Start({{"Cooldown", 60}, {"Digest", "{Count} x {Name} ({MapName})"}});
    std::vector<std::string> sent;
    for (int second = 0; second < 300; second += 10) {
        for (const std::string& line : Crate()) {
            sent.push_back(std::to_string(second) + " " + line);
        }
        for (const std::string& line : After(10)) {
            sent.push_back(std::to_string(second + 10) + " " + line);
        }
    }
    EXPECT_THAT(sent, ElementsAre("0 " + AliceCrate, "60 chat Alice Server: \"5 x Crate (TheIsland)\"",
                                  "120 chat Alice Server: \"6 x Crate (TheIsland)\"",
                                  "180 chat Alice Server: \"6 x Crate (TheIsland)\"",
                                  "240 chat Alice Server: \"6 x Crate (TheIsland)\"",
                                  "300 chat Alice Server: \"6 x Crate (TheIsland)\""));
}

TEST_F(CalmTest, AnEntrysOwnCooldownWinsAndZeroAnnouncesEverySpawn) {
    Start({{"Cooldown", 600}});
    StandIn::ClearRecords();
    SpawnCrate(u"CrystalWyvern_ElementNode_C_1");
    SpawnCrate(u"CrystalWyvern_ElementNode_C_2");
    EXPECT_THAT(Transcript(), ElementsAre("chat Alice Server: \"Node\"", "chat Alice Server: \"Node\""));
}

TEST_F(CalmTest, BelowMinPlayersNothingIsAnnouncedAndNoDigestFollows) {
    Start({{"MinPlayers", 2}, {"Cooldown", 60}});
    EXPECT_THAT(Crate(), IsEmpty()) << "one player of two";
    StandIn::ConnectPlayer("Bob");
    EXPECT_THAT(Crate(), ElementsAre(AliceCrate, "chat Bob Server: \"Crate at 50.0 / 50.0\""));
    ASSERT_TRUE(StandIn::DisconnectPlayer("Bob"));
    EXPECT_THAT(Crate(), IsEmpty()) << "Bob's stale entry is no player";
    EXPECT_THAT(After(120), IsEmpty()) << "what MinPlayers held gets no digest";
    EXPECT_EQ(
        Rcon("SkyCrateHerald.Status"),
        "Sent 1 announcements as 2 lines; held 0 by cooldowns (0 digests sent), 2 with too few players; 0 lines "
        "not sent by players' choices. Store players.sqlite: 0 players with choices, 0 changes not saved yet, last "
        "read 120 s ago.");
}

TEST_F(CalmTest, AReloadKeepsARunningCooldownWithItsNewLength) {
    const struct {
        int newCooldown;
        int digestAfter;  // seconds from the announcement
    } cases[] = {{30, 30}, {90, 90}, {60, 60}};
    for (const auto& c : cases) {
        StandIn::UnloadPlugin();
        Start({{"Cooldown", 60}});
        Crate();
        Crate();
        After(20);
        Reload({{"Cooldown", c.newCooldown}});
        EXPECT_THAT(After(c.digestAfter - 21), IsEmpty()) << c.newCooldown;
        EXPECT_EQ(After(1).size(), 1u) << c.newCooldown << ": the digest comes at " << c.digestAfter << " s";
        StandIn::DisconnectPlayer("Alice");
    }
}

TEST_F(CalmTest, AGoneEntryAndAnUnloadDropWhatWasHeldUnsent) {
    Start({{"Cooldown", 60}});
    Crate();
    Crate();
    server.WriteConfig({{"Items", nlohmann::json::object()}});
    ASSERT_TRUE(StandIn::ConsoleCommand(nullptr, "SkyCrateHerald.Reload"));
    EXPECT_THAT(After(120), IsEmpty());

    Reload({{"Cooldown", 60}});
    Crate();
    Crate();
    StandIn::ClearRecords();
    StandIn::UnloadPlugin();
    StandIn::Wait(120);
    EXPECT_THAT(Transcript(), IsEmpty());
}

TEST_F(CalmTest, ADigestGoesThroughTheEntrysOwnDeliveryToThoseWhoHearItsGroup) {
    nlohmann::json config = CalmConfig({{"Cooldown", 60}, {"Digest", "{Count} more"}});
    config["Items"]["SupplyCrate_Level03_C"]["Notification"] = {
        {"Msg", "crate"}, {"Color", "Random"}, {"Size", 2}, {"Time", 5}};
    server.WriteConfig(config);
    StandIn::ConnectPlayer("Alice", true);
    StandIn::ConnectPlayer("Bob");
    StandIn::ConnectPlayer("Cid");
    LoadPlugin();
    StandIn::ChatLine("Cid", "/herald off crates");
    Crate();
    Crate();
    std::srand(5);
    const std::vector<std::string> digest = After(60);
    ASSERT_EQ(digest.size(), 2u) << "Cid turned crates off";
    EXPECT_THAT(digest[0], ::testing::StartsWith("notification Alice \"1 more\" color="));
    EXPECT_THAT(digest[0], ::testing::EndsWith(" size=2 time=5"));
    EXPECT_THAT(digest[1], ::testing::StartsWith("notification Bob \"1 more\" color="));
    EXPECT_NE(digest[0].substr(25), digest[1].substr(23)) << "a Random colour is drawn for each recipient";
    EXPECT_THAT(Rcon("SkyCrateHerald.Status"),
                ::testing::StartsWith("Sent 1 announcements as 2 lines; held 1 by cooldowns (1 digests sent), 0 with "
                                      "too few players; 2 lines not sent by players' choices."));
}

TEST_F(CalmTest, StatusTellsWhatWasSentAndWhatAnEntryHolds) {
    Start({{"Cooldown", 60}});
    const struct {
        int wait;
        int crates;
        const char* line;
        std::string reply;
    } steps[] = {
        {0, 0, "SkyCrateHerald.Status SupplyCrate_Level03_C",
         "SupplyCrate_Level03_C: never announced; cooldown 60 s, 0 held now."},
        {0, 0, "SkyCrateHerald.Status CrystalWyvern_ElementNode_C", "CrystalWyvern_ElementNode_C: never announced."},
        {5, 3, "SkyCrateHerald.Status SupplyCrate_Level03_C",
         "SupplyCrate_Level03_C: announced 1 times, last 5 s ago; cooldown 60 s, 2 held now, digest in 55 s."},
        {55, 0, "SkyCrateHerald.Status SupplyCrate_Level03_C",
         "SupplyCrate_Level03_C: announced 1 times, last 60 s ago; cooldown 60 s, 0 held now."},
        {0, 0, "SkyCrateHerald.Status",
         "Sent 1 announcements as 1 lines; held 2 by cooldowns (1 digests sent), 0 with "
         "too few players; 0 lines not sent by players' choices. Store players.sqlite: 0 "
         "players with choices, 0 changes not saved yet, last read 60 s ago."},
        {0, 0, "SkyCrateHerald.Status SupplyCrate_Level3_C",
         "No entry SupplyCrate_Level3_C in Items (did you mean SupplyCrate_Level03_C?)"},
        {0, 0, "SkyCrateHerald.Status a b", "Usage: SkyCrateHerald.Status [KEY]"},
    };
    for (const auto& step : steps) {
        for (int i = 0; i < step.crates; ++i) {
            Crate();
        }
        StandIn::Wait(step.wait);
        EXPECT_EQ(Rcon(step.line), step.reply) << step.line;
    }
    const std::string alice = "Alice";
    StandIn::ClearRecords();
    StandIn::ConsoleCommand(&alice, "SkyCrateHerald.Status CrystalWyvern_ElementNode_C");
    EXPECT_THAT(Transcript(), ElementsAre("console_reply Alice \"CrystalWyvern_ElementNode_C: never announced.\" "
                                          "color=0,1,0,1"));
}

TEST_F(CalmTest, TheTestCommandSaysWhatWouldHoldTheSpawnAndChangesNothing) {
    Start({{"Cooldown", 60}, {"MinPlayers", 1}});
    const std::string test = "SkyCrateHerald.Test SupplyCrate_Level03_C";
    const std::string sent = "Chat from Server: \"Crate at 50.0 / 50.0\" group crates";
    EXPECT_EQ(Rcon(test), sent);
    Crate();
    StandIn::Wait(15);
    EXPECT_EQ(Rcon(test), sent + " (on the server: held for 45 s more by its cooldown)");
    const std::string alice = "Alice";
    StandIn::ConsoleCommand(&alice, test);
    EXPECT_EQ(Rcon("SkyCrateHerald.Status SupplyCrate_Level03_C"),
              "SupplyCrate_Level03_C: announced 1 times, last 15 s ago; cooldown 60 s, 0 held now.")
        << "the test neither held nor announced anything";
    ASSERT_TRUE(StandIn::DisconnectPlayer("Alice"));
    EXPECT_EQ(Rcon(test), sent + " (on the server: held, too few players)");
}

}  // namespace

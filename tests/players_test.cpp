// Players coming and going on the stand-in server: the world's list keeps a
// leaver's entry as a stale weak reference, which the plugin skips, until the
// next player joins; churn must not leave the next spawn more to walk.

#include "Support.h"

using ::testing::ElementsAre;

namespace {

constexpr char WeakGet[] = "FWeakObjectPtr.Get";

class PlayersTest : public HeraldTest::ServerTest {
protected:
    void SetUp() override {
        server.WriteConfig(nlohmann::json::parse(
            R"({"Items": {"SupplyCrate_C": {"Notification": {"Msg": "crate", "Type": "Chat"}}}})"));
    }

    struct Spawned {
        std::uint64_t entriesWalked;  // the plugin reads each entry of the world's list once
        std::size_t deliveries;
    };
    static Spawned SpawnCrate() {
        StandIn::ClearRecords();
        const std::uint64_t before = StandIn::Resolutions(WeakGet);
        StandIn::SpawnStructure({u"SupplyCrate_C_1", StandIn::ObjectClass::ItemContainer});
        return {StandIn::Resolutions(WeakGet) - before, StandIn::Records().size()};
    }
};

TEST_F(PlayersTest, ChurnLeavesTheNextSpawnNoMoreEntriesThanPlayersWereConnectedAtOnce) {
    struct Case {
        const char* what;
        int guestsWhoCameAndWent;  // one at a time, beside 20 players who stay
        int regularsWhoLeave;      // afterwards, of the 20
        int joinAfterwards;
        std::uint64_t entriesWalked;
        std::size_t deliveries;
    };
    const Case cases[] = {
        {"20 players", 0, 0, 0, 20, 20},
        // Each guest's entry is swept out when the next one joins; the last
        // one's is still there.
        {"after 2,000 guests", 2000, 0, 0, 21, 20},
        {"leavers' entries stay, stale, until someone joins", 0, 5, 0, 20, 15},
        {"a join sweeps the leavers' entries out", 0, 5, 1, 16, 16},
    };
    for (const Case& c : cases) {
        StandIn::ResetServer();
        StandIn::SetServerDirectory(server.root.string());
        LoadPlugin();
        for (int i = 0; i < 20; ++i) {
            StandIn::ConnectPlayer("Regular" + std::to_string(i));
        }
        for (int i = 0; i < c.guestsWhoCameAndWent; ++i) {
            StandIn::ConnectPlayer("Guest" + std::to_string(i));
            ASSERT_TRUE(StandIn::DisconnectPlayer("Guest" + std::to_string(i)));
        }
        for (int i = 0; i < c.regularsWhoLeave; ++i) {
            ASSERT_TRUE(StandIn::DisconnectPlayer("Regular" + std::to_string(i)));
        }
        for (int i = 0; i < c.joinAfterwards; ++i) {
            StandIn::ConnectPlayer("Latecomer" + std::to_string(i));
        }
        const Spawned spawned = SpawnCrate();
        EXPECT_EQ(spawned.entriesWalked, c.entriesWalked) << c.what;
        EXPECT_EQ(spawned.deliveries, c.deliveries) << c.what;
        StandIn::UnloadPlugin();
    }
}

TEST_F(PlayersTest, ANameMeansItsEarliestConnectedPlayerStillThere) {
    LoadPlugin();
    StandIn::ConnectPlayer("Ann");
    StandIn::ConnectPlayer("Ann", true);
    StandIn::ConnectPlayer("Bob");
    const std::string ann = "Ann";
    EXPECT_FALSE(StandIn::ConsoleCommand(&ann, "SkyCrateHerald.Reload"));
    EXPECT_TRUE(StandIn::DisconnectPlayer("Ann"));
    EXPECT_TRUE(StandIn::ConsoleCommand(&ann, "SkyCrateHerald.Reload"));
    EXPECT_TRUE(StandIn::DisconnectPlayer("Ann"));
    EXPECT_FALSE(StandIn::DisconnectPlayer("Ann")) << "nobody of that name is left";
    EXPECT_FALSE(StandIn::ConsoleCommand(&ann, "SkyCrateHerald.Reload"));
    EXPECT_THAT(Transcript(),
                ElementsAre("refused \"Ann is not an admin\"", "console_reply Ann \"Reloaded config\" color=0,1,0,1",
                            "refused \"no connected player named Ann\""));
    // Both Anns' entries are stale; Bob is served.
    EXPECT_EQ(SpawnCrate().deliveries, 1u);
}

}  // namespace

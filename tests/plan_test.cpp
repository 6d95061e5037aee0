// The test command, the players' list of groups and a spawn answer from the
// same plan: on every map, an entry the test says sends nothing sends nothing
// when it spawns, and one it describes reaches the players.

#include "Support.h"

using ::testing::HasSubstr;
using Json = nlohmann::json;
using StandIn::ObjectClass;

namespace {

const Json PlannedConfig = Json::parse(R"({
  "EnableNests": false,
  "Items": {
    "SupplyCrate_Level03_C": {"Group": "loot", "Notification": {"Msg": "crate", "Type": "Chat"}},
    "SupplyCreate_OceanInstant_High_C": {"Notification": {"Msg": "ocean", "Type": "Chat"}},
    "Dodo_Character_BP_C": {"Notification": {"Msg": "nest", "Type": "Chat"}},
    "SupplyCrate_Quiet_C": {"Notification": {"Msg": "", "Type": "Chat"}},
    "SupplyCrate_Typed_C": {"Notification": {"Msg": "typed", "Type": "Chat", "Sender": 5}}
  },
  "AsteroidGen2": {"Enable": true, "Group": "space", "Color": {}, "Name": {}, "PrimaryResources": {},
                   "SecondaryResources": {}, "Notification": {"Msg": "asteroid", "Type": "Chat"}}
})");

class PlanTest : public HeraldTest::ServerTest {
protected:
    void SetUp() override {
        StandIn::ConnectPlayer("Alice", true);
        server.WriteConfig(PlannedConfig);
        LoadPlugin();
    }
};

struct Subject {
    const char* tested;  // after "SkyCrateHerald.Test "
    std::function<void()> spawn;
};

TEST_F(PlanTest, TheTestCommandSendsNothingExactlyWhereASpawnSendsNothing) {
    const auto structure = [](const char* name) {
        return [name] { StandIn::SpawnStructure({StandIn::Utf16(name), ObjectClass::ItemContainer}); };
    };
    const Subject subjects[] = {
        {"SupplyCrate_Level03_C", structure("SupplyCrate_Level03_C_1")},
        {"SupplyCreate_OceanInstant_High_C", [] { StandIn::SpawnContainer({u"SupplyCreate_OceanInstant_High_C_1"}); }},
        {"Dodo_Character_BP_C",
         [] {
             StandIn::StructureSpawn nest{u"Dodo_Nest_C_1", ObjectClass::Structure};
             nest.instigator = StandIn::Instigator{u"Dodo_Character_BP_C_1"};
             StandIn::SpawnStructure(nest);
         }},
        {"SupplyCrate_Quiet_C", structure("SupplyCrate_Quiet_C_1")},
        {"AsteroidGen2 Metal", structure("SupplyCrate_Space_01_Metal_C_1")},
    };
    for (const char* map : {"TheIsland", "Ragnarok", "Gen2"}) {
        StandIn::RunInitGame(map);
        for (const Subject& subject : subjects) {
            SCOPED_TRACE(std::string(map) + ": " + subject.tested);
            StandIn::ClearRecords();
            ASSERT_TRUE(StandIn::RconCommand(std::string("SkyCrateHerald.Test ") + subject.tested, 1));
            const std::string reply = StandIn::Records().back().text;
            StandIn::ClearRecords();
            subject.spawn();
            const std::vector<std::string> spawned = Transcript();
            if (reply.find("sends nothing") != std::string::npos) {
                EXPECT_TRUE(spawned.empty()) << reply;
            } else {
                ASSERT_EQ(spawned.size(), 1u) << reply;
                EXPECT_THAT(reply, HasSubstr(spawned[0].substr(spawned[0].find('"'))));
            }
        }
    }
}

TEST_F(PlanTest, AValueOfTheWrongTypeIsTheTestsReplyAndEachSpawnsErrorLine) {
    ASSERT_TRUE(StandIn::RconCommand("SkyCrateHerald.Test SupplyCrate_Typed_C", 1));
    const std::string reply = StandIn::Records().back().text;
    EXPECT_EQ(reply, "[json.exception.type_error.302] type must be string, but is number");
    for (int spawn = 0; spawn < 2; ++spawn) {
        StandIn::ClearRecords();
        StandIn::SpawnStructure({u"SupplyCrate_Typed_C_1", ObjectClass::ItemContainer});
        EXPECT_THAT(Transcript(), ::testing::ElementsAre("log SkyCrateHerald error \"" + reply + "\""));
    }
}

TEST_F(PlanTest, TheGroupsPlayersMayChooseAreThoseTheMapsPlansSend) {
    const struct {
        const char* map;
        const char* groups;
    } maps[] = {
        // The crate whose Sender raises at every spawn still offers its group:
        // its template can send, and a player may turn it off.
        {"TheIsland", "crates on, loot on."},
        {"Ragnarok", "crates on, loot on, ocean on."},
        {"Gen2", "crates on, loot on, space on."},
    };
    for (const auto& m : maps) {
        StandIn::RunInitGame(m.map);
        StandIn::ClearRecords();
        StandIn::ChatLine("Alice", "/herald");
        EXPECT_THAT(Transcript(), ::testing::ElementsAre(HasSubstr(std::string("for you: ") + m.groups))) << m.map;
    }
}

}  // namespace

// herald preview on each entry: announced on its map at the preview's position,
// or the reasons it sends nothing, its own and no other entry's.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "PreviewSupport.h"
#include "Support.h"

namespace {

using HeraldTest::Outcome;
using HeraldTest::ScratchFolder;
using ::testing::HasSubstr;
using ::testing::Not;
using Json = nlohmann::json;
using namespace PreviewTest;

TEST(HeraldPreview, EveryEntryOfTheExampleIsAnnouncedOnItsMapAtFiftyFifty) {
    const Outcome outcome = Preview(ExampleConfig, {"--json"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    const std::vector<Json> transcript = TranscriptLines(outcome.out);
    for (const Json& line : JsonLines(outcome.out)) {
        ASSERT_TRUE(line.contains("type") && line["type"] != "silent") << "clean, and nothing silent: " << outcome.out;
    }
    EXPECT_EQ(transcript.front(), Json::parse(R"({"type": "load", "ok": true})"));
    EXPECT_EQ(transcript.back(), Json::parse(R"({"type": "memory", "live_blocks": 0, "live_bytes": 0})"));
    EXPECT_THAT(NotificationTexts(transcript),
                ::testing::ElementsAre("White supply crate (level 3) dropped at 50.0 / 50.0",
                                       "Blue supply crate (level 15) dropped at 50.0 / 50.0",
                                       "Purple supply crate (level 35) dropped at 50.0 / 50.0",
                                       "Red supply crate (level 60) dropped on TheIsland at 50.0 / 50.0!",
                                       "An Element node surfaced at 50.0 / 50.0",
                                       "Artifact of the Hunter can be claimed at 50.0 / 50.0",
                                       "Artifact of the Clever can be claimed at 50.0 / 50.0",
                                       "Fire wyvern nest with a level 150 egg at 50.0 / 50.0",
                                       "Rock drake nest with a level 150 egg at 50.0 / 50.0",
                                       "A Beaver dam full of cementing paste at 50.0 / 50.0",
                                       "Deep-sea loot crate sank on Ragnarok at 50.0 / 50.0",
                                       "Metal asteroid drifting over Gen2: metal and stone",
                                       "Crystal asteroid drifting over Gen2: crystal and silica pearls",
                                       "Element asteroid drifting over Gen2: element shards and black pearls",
                                       "Obsidian asteroid drifting over Gen2: obsidian and oil"));
}

TEST(HeraldPreview, StructuresSpawnOnTheChosenMapAndOceanCratesOnRagnarok) {
    const ScratchFolder scratch;
    const std::string config = scratch.Write("config.json", R"({"Items": {
        "SupplyCrate_Level03_C": {"Notification": {"Msg": "crate on {MapName}", "Color": "0,255,0"}},
        "SupplyCreate_OceanInstant_High_C": {"Notification": {"Msg": "ocean on {MapName}", "Color": "0,255,0"}}},
      "AsteroidGen2": {"Enable": false}})");
    const std::map<std::vector<std::string>, std::vector<std::string>> cases = {
        {{}, {"crate on TheIsland", "ocean on Ragnarok"}},
        {{"--map", "ScorchedEarth"}, {"crate on ScorchedEarth", "ocean on Ragnarok"}},
        {{"--map", "Ragnarok"}, {"crate on Ragnarok", "ocean on Ragnarok"}},
    };
    for (const auto& [map, texts] : cases) {
        std::vector<std::string> arguments = map;
        arguments.push_back("--json");
        const Outcome outcome = Preview(config, arguments);
        EXPECT_EQ(outcome.status, 0) << outcome.out;
        EXPECT_EQ(NotificationTexts(TranscriptLines(outcome.out)), texts);
    }
}

struct SilentEntry {
    std::string entry;   // "/Items/..." or "Metal" for an asteroid code
    std::string reason;  // part of one of its reasons
};

struct SilentCase {
    const char* name;
    std::string config;
    std::vector<SilentEntry> silent;  // all of them, in order
    std::vector<std::string> sent;
};

TEST(HeraldPreview, EachEntryThatSendsNothingHasItsReason) {
    const SilentCase cases[] = {
        {"creature key with nests off",
         R"({"Items": {"Dodo_Character_BP_C": {"Notification": {"Msg": "dodo", "Color": "0,255,0"}}}, "AsteroidGen2": {"Enable": false}})",
         {{"/Items/Dodo_Character_BP_C", "EnableNests is not true"}},
         {}},
        {"empty or missing Msg, no Notification, a null entry",
         R"({"EnableNests": true, "Items": {"SupplyCrate_Level03_C": {"Notification": {"Msg": "", "Color": "0,255,0"}},
             "ElementNode_C": {"Notification": {"Color": "0,255,0"}}, "BeaverDam_C": {"Name": "dam"},
             "ArtifactCrate_Hunter_C": null}, "AsteroidGen2": {"Enable": false}})",
         {{"/Items/SupplyCrate_Level03_C", "empty Msg"},
          {"/Items/ElementNode_C", "no Msg"},
          {"/Items/BeaverDam_C", "no Notification"},
          {"/Items/ArtifactCrate_Hunter_C", "not announced"}},
         {}},
        {"a value of the wrong type: the plugin logs it",
         R"({"Items": {"ElementNode_C": {"Notification": {"Msg": "node", "Time": "10", "Color": "0,255,0"}}}, "AsteroidGen2": {"Enable": false}})",
         {{"/Items/ElementNode_C", "the plugin logged error: [json.exception.type_error.302]"}},
         {}},
        {"a key no object's name gives is not spawned, and the entry it resembles is not mistaken for it",
         R"({"Items": {"SupplyCrate_Level03_C_5": {"Notification": {"Msg": "five", "Color": "0,255,0"}},
             "SupplyCrate_Level03_C": {"Notification": {"Msg": "three", "Color": "0,255,0"}},
             "BeaverDam": {"Notification": {"Msg": "short", "Color": "0,255,0"}},
             "BeaverDam_C": {"Notification": {"Msg": "dam"}}}, "AsteroidGen2": {"Enable": false}})",
         {{"/Items/SupplyCrate_Level03_C_5", "did you mean \"SupplyCrate_Level03_C\"?"},
          {"/Items/BeaverDam", "names have the form CLASS_C_NUMBER"}},
         {"three", "dam"}},
        {"asteroids switched off, and a code no crate name gives",
         R"({"Items": {}, "AsteroidGen2": {"Enable": false, "Color": {"Metal": "1,2,3"}, "Name": {"Odd_C_x": "odd"},
             "PrimaryResources": {}, "SecondaryResources": {}, "Notification": {"Msg": "{Name}"}}})",
         {{"Metal", "AsteroidGen2/Enable is not true"}, {"Odd_C_x", "no asteroid crate's name yields this code"}},
         {}},
        {"a code's own finding and those shared by every code",
         R"({"AsteroidGen2": {"Enable": true, "Color": {"Metal": "1,2,3", "Crystal": 7}, "Name": {},
             "PrimaryResources": {}, "SecondaryResources": {}, "Notification": {"Msg": ""}}})",
         {{"Metal", "/AsteroidGen2/Notification/Msg: empty Msg"}, {"Crystal", "/AsteroidGen2/Color/Crystal"}},
         {}},
        {"an empty asteroid code is a code like any other",
         R"({"AsteroidGen2": {"Enable": true, "Color": {}, "Name": {"": 5, "Metal": "metal"}, "PrimaryResources": {},
             "SecondaryResources": {}, "Notification": {"Msg": "{Name} {PrimaryResources}"}}})",
         {{"", "error /AsteroidGen2/Name/: "}},
         {"metal "}},
        {"keys with / and ~ are found by their JSON pointer",
         R"({"Items": {"Odd/Dino~Character_C": {"Notification": {"Msg": "odd", "Color": "0,255,0"}}}, "AsteroidGen2": {"Enable": false}})",
         {{"/Items/Odd~1Dino~0Character_C", "EnableNests is not true"}},
         {}},
    };
    for (const SilentCase& test : cases) {
        const ScratchFolder scratch;
        const Outcome outcome = Preview(scratch.Write("config.json", test.config), {"--json"});
        std::vector<Json> silent;
        for (const Json& line : JsonLines(outcome.out)) {
            if (line.value("type", "") == "silent") {
                silent.push_back(line);
            }
        }
        ASSERT_EQ(silent.size(), test.silent.size()) << test.name << "\n" << outcome.out;
        for (std::size_t i = 0; i < silent.size(); ++i) {
            EXPECT_EQ(silent[i].value("code", silent[i]["entry"].get<std::string>()), test.silent[i].entry)
                << test.name;
            EXPECT_THAT(silent[i]["reasons"].get<std::vector<std::string>>(),
                        ::testing::Contains(HasSubstr(test.silent[i].reason)))
                << test.name << ": " << silent[i].dump();
        }
        EXPECT_EQ(NotificationTexts(TranscriptLines(outcome.out)), test.sent) << test.name;
    }
}

// The preview's one player is held below a MinPlayers above one, and each
// entry says so.
TEST(HeraldPreview, AMinimumOfPlayersAboveOneHoldsThePreviewsSpawns) {
    const ScratchFolder scratch;
    const std::string crate = R"({"Notification": {"Msg": "crate", "Color": "0,255,0"}})";
    const std::pair<int, bool> cases[] = {{0, true}, {1, true}, {2, false}, {2147483647, false}};
    for (const auto& [minPlayers, sent] : cases) {
        const std::string config = scratch.Write(
            "config.json", R"({"AsteroidGen2": {"Enable": false}, "Calm": {"MinPlayers": )" +
                               std::to_string(minPlayers) + R"(}, "Items": {"SupplyCrate_Level03_C": )" + crate + "}}");
        const Outcome outcome = Preview(config, {"--json"});
        EXPECT_EQ(NotificationTexts(TranscriptLines(outcome.out)),
                  sent ? std::vector<std::string>{"crate"} : std::vector<std::string>{})
            << minPlayers;
        EXPECT_EQ(outcome.out.find("Calm/MinPlayers is " + std::to_string(minPlayers) +
                                   ": with the preview's one player every spawn is held") != std::string::npos,
                  !sent)
            << outcome.out;
    }
}

TEST(HeraldPreview, ReasonsBelongToTheirEntryOnly) {
    const ScratchFolder scratch;
    // Two keys one prefix apart: the longer one's findings are not the shorter one's.
    const std::string config = scratch.Write("config.json", R"({"Items": {
        "BeaverDam": {"Notification": {"Msg": "short", "Color": "0,255,0"}},
        "BeaverDam_C": {"Notification": {"Msg": "", "Color": "0,255,0"}}}, "AsteroidGen2": {"Enable": false}})");
    const Outcome outcome = Preview(config, {"--json"});
    std::map<std::string, std::string> reasons;
    for (const Json& line : JsonLines(outcome.out)) {
        if (line.value("type", "") == "silent") {
            reasons[line["entry"]] = line["reasons"].dump();
        }
    }
    ASSERT_EQ(reasons.size(), 2u) << outcome.out;
    EXPECT_THAT(reasons["/Items/BeaverDam"], Not(HasSubstr("empty Msg")));
    EXPECT_THAT(reasons["/Items/BeaverDam_C"], HasSubstr("empty Msg"));
    EXPECT_THAT(reasons["/Items/BeaverDam_C"], Not(HasSubstr("CLASS_C_NUMBER")));
}

}  // namespace

// herald preview on groups: each entry's group as the plugin takes it, and
// the chat command players choose them with, in text and in JSON.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "PreviewSupport.h"
#include "Support.h"

namespace {

using HeraldTest::ScratchFolder;
using Json = nlohmann::json;
using namespace PreviewTest;

struct GroupCase {
    const char* name;
    std::string config;
    std::vector<std::string> text;                            // the lines from "Groups" on, up to the blank line
    Json command;                                             // the "players" line's
    std::vector<std::pair<std::string, std::string>> groups;  // entry (or asteroid code) and its group, in order
};

// Each entry's group, as the plugin takes it, in the text and in JSON.
TEST(HeraldPreview, EachEntryShowsItsGroup) {
    const std::string g32(32, 'g');
    const std::string crate = R"("Notification": {"Msg": "x", "Color": "0,255,0"})";
    const GroupCase cases[] = {
        {"each kind's own group",
         R"({"EnableNests": true, "AsteroidGen2": {"Enable": true, "Color": {"Metal": "1,2,3"}, "Name": {},
             "PrimaryResources": {}, "SecondaryResources": {}, "Notification": {"Msg": "x"}}, "Items": {
             "SupplyCrate_Level03_C": {)" +
             crate + R"(}, "ElementNode_C": {)" + crate + R"(},
             "ArtifactCrate_Hunter_C": {)" +
             crate + R"(}, "BeaverDam_C": {)" + crate + R"(},
             "DodoNest_C": {)" +
             crate + R"(}, "Dodo_Character_BP_C": {)" + crate + R"(},
             "SupplyCreate_OceanInstant_High_C": {)" +
             crate + R"(}}})",
         {"Groups (players turn them off and on with /herald off GROUP, /herald on GROUP):",
          "    artifacts: ArtifactCrate_Hunter_C", "    asteroids: AsteroidGen2 Metal",
          "    crates: SupplyCrate_Level03_C", "    dams: BeaverDam_C", "    nests: DodoNest_C, Dodo_Character_BP_C",
          "    nodes: ElementNode_C", "    ocean: SupplyCreate_OceanInstant_High_C"},
         "/herald",
         {{"/Items/SupplyCrate_Level03_C", "crates"},
          {"/Items/ElementNode_C", "nodes"},
          {"/Items/ArtifactCrate_Hunter_C", "artifacts"},
          {"/Items/BeaverDam_C", "dams"},
          {"/Items/DodoNest_C", "nests"},
          {"/Items/Dodo_Character_BP_C", "nests"},
          {"/Items/SupplyCreate_OceanInstant_High_C", "ocean"},
          {"Metal", "asteroids"}}},
        {"groups of the admin's, one in any case, and names at their edges",
         R"({"AsteroidGen2": {"Enable": false}, "Players": {"Command": "/Loot"}, "Items": {
             "SupplyCrate_Level03_C": {"Group": "Big-Loot_1", )" +
             crate + R"(},
             "SupplyCrate_Level60_C": {"Group": "big-loot_1", )" +
             crate + R"(},
             "ElementNode_C": {"Group": "a", )" +
             crate + R"(},
             "BeaverDam_C": {"Group": ")" +
             g32 + R"(", )" + crate + R"(},
             "ArtifactCrate_Hunter_C": {"Group": ")" +
             g32 + R"(g", )" + crate + R"(},
             "ArtifactCrate_Clever_C": {"Group": "two words", )" +
             crate + R"(},
             "SupplyCrate_Level15_C": {"Group": "", )" +
             crate + R"(},
             "SupplyCrate_Level35_C": {"Group": "caf\u00e9", "Notification": {"Msg": ""}}}})",
         {"Groups (players turn them off and on with /Loot off GROUP, /Loot on GROUP):", "    a: ElementNode_C",
          "    artifacts: ArtifactCrate_Hunter_C, ArtifactCrate_Clever_C",
          "    Big-Loot_1: SupplyCrate_Level03_C, SupplyCrate_Level60_C",
          "    crates: SupplyCrate_Level15_C, SupplyCrate_Level35_C (sends nothing)", "    " + g32 + ": BeaverDam_C"},
         "/Loot",
         {{"/Items/SupplyCrate_Level03_C", "Big-Loot_1"},
          {"/Items/SupplyCrate_Level60_C", "big-loot_1"},
          {"/Items/ElementNode_C", "a"},
          {"/Items/BeaverDam_C", g32},
          {"/Items/ArtifactCrate_Hunter_C", "artifacts"},
          {"/Items/ArtifactCrate_Clever_C", "artifacts"},
          {"/Items/SupplyCrate_Level15_C", "crates"},
          {"/Items/SupplyCrate_Level35_C", "crates"}}},
        {"players who can't choose",
         R"({"AsteroidGen2": {"Enable": false}, "Players": {"Enable": false}, "Items": {
             "SupplyCrate_Level03_C": {"Group": "loot", )" +
             crate + R"(}}})",
         {"Groups (players can't choose: Players/Enable is false, so every player receives every group):",
          "    loot: SupplyCrate_Level03_C"},
         nullptr,
         {{"/Items/SupplyCrate_Level03_C", "loot"}}},
        {"a Command of another form: the plugin's",
         R"({"AsteroidGen2": {"Enable": false}, "Players": {"Command": "herald"}, "Items": {
             "SupplyCrate_Level03_C": {)" +
             crate + R"(}}})",
         {"Groups (players turn them off and on with /herald off GROUP, /herald on GROUP):",
          "    crates: SupplyCrate_Level03_C"},
         "/herald",
         {{"/Items/SupplyCrate_Level03_C", "crates"}}},
        {"no entries: no groups", R"({"AsteroidGen2": {"Enable": false}, "Items": {}})", {}, nullptr, {}},
    };
    for (const GroupCase& test : cases) {
        const ScratchFolder scratch;
        const std::string config = scratch.Write("config.json", test.config);
        const std::string text = Preview(config).out;
        EXPECT_EQ(SectionLines(text, "Groups ("), test.text) << test.name << "\n" << text;

        std::vector<std::pair<std::string, std::string>> groups;
        std::vector<Json> players;
        for (const Json& line : JsonLines(Preview(config, {"--json"}).out)) {
            if (line.value("type", "") == "group") {
                groups.emplace_back(line.value("code", line["entry"].get<std::string>()), line["group"]);
            } else if (line.value("type", "") == "players") {
                players.push_back(line["command"]);
            }
        }
        EXPECT_EQ(groups, test.groups) << test.name;
        EXPECT_EQ(players, test.groups.empty() ? std::vector<Json>{} : std::vector<Json>{test.command}) << test.name;
    }
}

}  // namespace

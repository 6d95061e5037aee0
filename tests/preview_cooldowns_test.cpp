// herald preview on cooldowns: each cooling entry's cooldown as the plugin
// takes it, and the digest that ends it, in text and in JSON.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "PreviewSupport.h"
#include "Support.h"

namespace {

using HeraldTest::ScratchFolder;
using Json = nlohmann::json;
using namespace PreviewTest;

struct CooldownCase {
    const char* name;
    std::string config;
    std::vector<std::string> text;  // the lines from "Cooldowns" on, up to the blank line
    // Each cooling entry's pointer, its seconds and its digest's deliveries (type and text), in order.
    std::vector<std::tuple<std::string, int, std::vector<std::pair<std::string, std::string>>>> json;
};

// Each entry's cooldown as the plugin takes it, and the digest the plugin
// sends when it ends with 3 spawns held, at the previewed position.
TEST(HeraldPreview, EachCoolingEntryShowsItsCooldownAndItsDigest) {
    const std::string heading =
        "Cooldowns (further spawns within one are held; when it ends, one digest tells of "
        "them), each digest as it would be sent for 3 held spawns:";
    const std::string green = R"(, "Color": "0,255,0"})";
    const CooldownCase cases[] = {
        {"Calm's cooldown, an entry's own, one of none, a chat line, an entry that sends nothing",
         R"({"AsteroidGen2": {"Enable": false}, "Calm": {"Cooldown": 60,
             "Digest": "{Count} x {Name} on {MapName} at {Lat} / {Lon} {EggLvl}"}, "Items": {
             "SupplyCrate_Level03_C": {"Name": "Crate", "Notification": {"Msg": "crate")" +
             green + R"(},
             "ElementNode_C": {"Cooldown": 30, "Notification": {"Msg": "node", "Type": "Chat", "Sender": "Herald"}},
             "ArtifactCrate_Hunter_C": {"Cooldown": 0, "Notification": {"Msg": "artifact")" +
             green + R"(},
             "BeaverDam_C": {"Cooldown": 45, "Notification": {"Msg": ""}}}})",
         {heading,
          "    SupplyCrate_Level03_C: 60 s; notification \"3 x Crate on TheIsland at 50.0 / 50.0 {EggLvl}\" colour "
          "0,255,0",
          "    ElementNode_C: 30 s; chat Herald: \"3 x ElementNode_C on TheIsland at 50.0 / 50.0 {EggLvl}\"",
          "    BeaverDam_C: 45 s; no digest is sent"},
         {{"/Items/SupplyCrate_Level03_C", 60, {{"notification", "3 x Crate on TheIsland at 50.0 / 50.0 {EggLvl}"}}},
          {"/Items/ElementNode_C", 30, {{"chat", "3 x ElementNode_C on TheIsland at 50.0 / 50.0 {EggLvl}"}}},
          {"/Items/BeaverDam_C", 45, {}}}},
        {"the default digest, a nest under its creature's key, an ocean crate on its own map",
         R"({"EnableNests": true, "AsteroidGen2": {"Enable": false}, "Items": {
             "Dodo_Character_BP_C": {"Name": "Dodo", "Cooldown": 2147483647, "Notification": {"Msg": "nest")" +
             green + R"(},
             "SupplyCreate_OceanInstant_High_C": {"Cooldown": 1, "Notification": {"Msg": "ocean")" +
             green + R"(}}})",
         {heading,
          "    Dodo_Character_BP_C: 2147483647 s; notification \"3 more Dodo since the last announcement, the latest "
          "at "
          "50.0 / 50.0\" colour 0,255,0",
          "    SupplyCreate_OceanInstant_High_C: 1 s; notification \"3 more SupplyCreate_OceanInstant_High_C since the "
          "last announcement, the latest at 50.0 / 50.0\" colour 0,255,0"},
         {{"/Items/Dodo_Character_BP_C",
           2147483647,
           {{"notification", "3 more Dodo since the last announcement, the latest at 50.0 / 50.0"}}},
          {"/Items/SupplyCreate_OceanInstant_High_C",
           1,
           {{"notification",
             "3 more SupplyCreate_OceanInstant_High_C since the last announcement, the latest at 50.0 / 50.0"}}}}},
        {"counts that are none: an entry's gives way to Calm's, Calm's to 0; MinPlayers does not hide the digest",
         R"({"AsteroidGen2": {"Enable": false}, "Calm": {"MinPlayers": 5, "Cooldown": 10, "Digest": "{Count} on {MapName}"},
             "Items": {"SupplyCrate_Level03_C": {"Cooldown": "60", "Notification": {"Msg": "crate")" +
             green + R"(},
             "ElementNode_C": {"Cooldown": -1, "Notification": {"Msg": "node")" +
             green + R"(}}})",
         {heading, "    SupplyCrate_Level03_C: 10 s; notification \"3 on TheIsland\" colour 0,255,0",
          "    ElementNode_C: 10 s; notification \"3 on TheIsland\" colour 0,255,0"},
         {{"/Items/SupplyCrate_Level03_C", 10, {{"notification", "3 on TheIsland"}}},
          {"/Items/ElementNode_C", 10, {{"notification", "3 on TheIsland"}}}}},
        {"Calm's cooldown of the wrong type and an entry's past the top: none cools down",
         R"({"AsteroidGen2": {"Enable": false}, "Calm": {"Cooldown": 60.0}, "Items": {
             "SupplyCrate_Level03_C": {"Cooldown": 2147483648, "Notification": {"Msg": "crate")" +
             green + R"(}}})",
         {},
         {}},
        {"no Calm at all",
         R"({"AsteroidGen2": {"Enable": false}, "Items": {
             "SupplyCrate_Level03_C": {"Notification": {"Msg": "crate")" +
             green + R"(}}})",
         {},
         {}},
    };
    for (const CooldownCase& test : cases) {
        const ScratchFolder scratch;
        const std::string config = scratch.Write("config.json", test.config);
        const std::string text = Preview(config).out;
        EXPECT_EQ(SectionLines(text, "Cooldowns ("), test.text) << test.name << "\n" << text;

        std::vector<std::tuple<std::string, int, std::vector<std::pair<std::string, std::string>>>> json;
        for (const Json& line : JsonLines(Preview(config, {"--json"}).out)) {
            if (line.value("type", "") == "cooldown") {
                EXPECT_EQ(line["held"], 3) << test.name;
                std::vector<std::pair<std::string, std::string>> digest;
                for (const Json& delivery : line["digest"]) {
                    digest.emplace_back(delivery["type"], delivery["text"]);
                }
                json.emplace_back(line["entry"], line["seconds"], digest);
            }
        }
        EXPECT_EQ(json, test.json) << test.name;
    }
}

}  // namespace

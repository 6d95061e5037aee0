// One source of truth: what herald check says about a file against what the
// plugin does with the same file, played through herald run.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>

#include "CheckSupport.h"
#include "Processes.h"
#include "Support.h"
#include "check/Check.h"
#include "config/ConfigLimits.h"

namespace {

using namespace CheckTest;
using Json = nlohmann::json;
using HeraldTest::Nested;
using HeraldTest::ScratchFolder;

enum class Does { Delivers, SendsNothing, LogsErrors, RefusesToLoad };

struct Agreement {
    const char* what;
    std::string config;  // config.json's bytes
    std::string map;
    Json spawns;       // the events
    std::string path;  // where check speaks; "" with says null: no finding at all
    const char* says;
    Does does;
    int errorLines = 1;                 // with LogsErrors
    std::optional<double> time;         // the notification's display time
    std::optional<std::string> text;    // what players read
    std::optional<std::string> sender;  // a chat line's
    Json color;                         // the linear colour received, when not null
};

const Json CrateSpawn =
    Json::parse(R"([{"event": "spawn_structure", "name": "SupplyCrate_Level03_C_1", "class": "container"}])");
const Json AsteroidSpawn =
    Json::parse(R"([{"event": "spawn_structure", "name": "SupplyCrate_Space_01_Metal_C_4", "class": "container"}])");
const Json Red = Json::parse("[1, 0, 0, 1]");

PluginDid PlayThrough(const Agreement& row) {
    const ScratchFolder scratch;
    Json played = Json::parse(R"({"players": [{"name": "Ann"}]})");
    played["config_text"] = row.config;
    played["map"] = row.map;
    played["events"] = row.spawns;
    PluginDid did;
    did.transcript = HeraldTest::RunHeraldProgram({"run", scratch.Write("scenario.json", played.dump()), "--json"}).out;
    std::istringstream lines(did.transcript);
    for (std::string line; std::getline(lines, line);) {
        const Json record = Json::parse(line);
        const std::string type = record.value("type", "");
        if (type == "load") {
            did.loaded = record.at("ok").get<bool>();
        } else if (type == "notification" || type == "chat") {
            did.deliveries.push_back(record);
        } else if (type == "log") {
            ++did.errorLines;
        }
    }
    return did;
}

// Rows marked "saturating Time", "retried asteroid" and "limits" need the
// plugin's own reading of those cases, landing beside this check.
std::vector<Agreement> Agreements() {
    const std::string crate = CrateNotification;
    const auto time = [&](const char* value) {
        return CrateConfig(std::string(R"({"Msg": "x", "Color": "0,255,0", "Time": )") + value + "}");
    };
    const auto asteroids = [](const std::string& notification) {
        return R"({"Items": {}, "AsteroidGen2": {"Enable": true, "Color": {}, "Name": {}, "PrimaryResources": {},
                   "SecondaryResources": {})" +
               notification + "}}";
    };
    const std::string small = CrateConfig(R"({"Msg": "x", "Color": "0,255,0"})");
    const Json nestWithDodo = Json::parse(R"([{"event": "spawn_structure", "name": "DodoNest_C_1",
                                                "instigator": {"name": "Dodo_Character_BP_C_7", "level": 12}}])");
    const Json nestAlone = Json::parse(R"([{"event": "spawn_structure", "name": "DodoNest_C_1"}])");
    const Json wall = Json::parse(R"([{"event": "spawn_structure", "name": "Wall_C_1"}])");
    const auto nestConfig = [](const std::string& key, bool enableNests) {
        return R"({"EnableNests": )" + std::string(enableNests ? "true" : "false") +
               R"(, "AsteroidGen2": {"Enable": false}, "Items": {")" + key +
               R"(": {"Notification": {"Msg": "x", "Color": "0,255,0"}}}})";
    };
    return {
        {"Time 12", time("12"), "TheIsland", CrateSpawn, "", nullptr, Does::Delivers, 0, 12},
        {"Time 7.9", time("7.9"), "TheIsland", CrateSpawn, crate + "/Time", "read as 7", Does::Delivers, 0, 7},
        {"Time -7.9", time("-7.9"), "TheIsland", CrateSpawn, crate + "/Time", "read as -7", Does::Delivers, 0, -7},
        {"Time true", time("true"), "TheIsland", CrateSpawn, crate + "/Time", "read as 1", Does::Delivers, 0, 1},
        {"Time 1e300", time("1e300"), "TheIsland", CrateSpawn, crate + "/Time", "read as 2147483647", Does::Delivers, 0,
         2147483647.0},
        {"Time -1e300", time("-1e300"), "TheIsland", CrateSpawn, crate + "/Time", "read as -2147483648", Does::Delivers,
         0, -2147483648.0},
        {"saturating Time: 2147483648", time("2147483648"), "TheIsland", CrateSpawn, crate + "/Time",
         "read as 2147483647", Does::Delivers, 0, 2147483647.0},
        {"saturating Time: 4294967296", time("4294967296"), "TheIsland", CrateSpawn, crate + "/Time",
         "read as 2147483647", Does::Delivers, 0, 2147483647.0},
        {"saturating Time: -4294967296", time("-4294967296"), "TheIsland", CrateSpawn, crate + "/Time",
         "read as -2147483648", Does::Delivers, 0, -2147483648.0},
        {"Time as text", time(R"("10")"), "TheIsland", CrateSpawn, crate + "/Time", "an error line is logged",
         Does::LogsErrors},
        {"Size true", CrateConfig(R"({"Msg": "x", "Size": true})"), "TheIsland", CrateSpawn, crate + "/Size",
         "an error line is logged", Does::LogsErrors},
        {"Type Chat", CrateConfig(R"({"Msg": "x", "Type": "Chat"})"), "TheIsland", CrateSpawn, "", nullptr,
         Does::Delivers, 0, std::nullopt, "x", "Server"},
        {"Type notification", CrateConfig(R"({"Msg": "x", "Type": "notification"})"), "TheIsland", CrateSpawn,
         crate + "/Type", "sent as a chat line", Does::Delivers, 0, std::nullopt, "x", "Server"},
        {"Sender of the wrong type, unread", CrateConfig(R"({"Msg": "x", "Color": "0,255,0", "Sender": 7})"),
         "TheIsland", CrateSpawn, crate + "/Sender", "not read for on-screen notifications", Does::Delivers},
        {"Sender of the wrong type, read", CrateConfig(R"({"Msg": "x", "Type": "Chat", "Sender": 7})"), "TheIsland",
         CrateSpawn, crate + "/Sender", "an error line is logged", Does::LogsErrors},
        {"zero in Msg", CrateConfig(R"({"Msg": "ab\u0000cd", "Color": "0,255,0"})"), "TheIsland", CrateSpawn,
         crate + "/Msg", "players see only what comes before it", Does::Delivers, 0, std::nullopt, "ab"},
        {"Msg a zero alone", CrateConfig(R"({"Msg": "\u0000", "Color": "0,255,0"})"), "TheIsland", CrateSpawn,
         crate + "/Msg", "players see only what comes before it: \"\"", Does::Delivers, 0, std::nullopt, ""},
        {"zero in Sender", CrateConfig(R"({"Msg": "x", "Type": "Chat", "Sender": "S\u0000x"})"), "TheIsland",
         CrateSpawn, crate + "/Sender", "players see the sender", Does::Delivers, 0, std::nullopt, "x", "S"},
        {"zero in Color", CrateConfig(R"({"Msg": "x", "Color": "255,0,0\u0000,9"})"), "TheIsland", CrateSpawn,
         crate + "/Color", "read only up to it", Does::Delivers, 0, std::nullopt, std::nullopt, std::nullopt, Red},
        {"Color a zero and more", CrateConfig(R"({"Msg": "x", "Color": "\u0000x"})"), "TheIsland", CrateSpawn,
         crate + "/Color", "it shows green", Does::Delivers, 0, std::nullopt, std::nullopt, std::nullopt, Green},
        {"Random and a zero", CrateConfig(R"({"Msg": "x", "Color": "Random\u0000"})"), "TheIsland", CrateSpawn,
         crate + "/Color", "it shows green", Does::Delivers, 0, std::nullopt, std::nullopt, std::nullopt, Green},
        {"no Color", CrateConfig(R"({"Msg": "x"})"), "TheIsland", CrateSpawn, crate + "/Color", "shows green",
         Does::Delivers, 0, std::nullopt, std::nullopt, std::nullopt, Green},
        {"entry of the wrong type", R"({"AsteroidGen2": {"Enable": false}, "Items": {"SupplyCrate_Level03_C": "x"}})",
         "TheIsland", CrateSpawn, "/Items/SupplyCrate_Level03_C", "an error line is logged", Does::LogsErrors},
        {"Notification of the wrong type",
         R"({"AsteroidGen2": {"Enable": false}, "Items": {"SupplyCrate_Level03_C": {"Notification": "x"}}})",
         "TheIsland", CrateSpawn, crate, "nothing is sent", Does::SendsNothing},
        {"null document, a structure", "null", "TheIsland", wall, "", "every structure that is not an item container",
         Does::LogsErrors},
        {"null document, a crate", "null", "TheIsland", CrateSpawn, "", "nothing is sent for any spawn",
         Does::SendsNothing},
        {"null document, an asteroid", "null", "Gen2", AsteroidSpawn, "", "every asteroid crate on Gen2",
         Does::LogsErrors},
        {"array document, a crate", "[]", "TheIsland", CrateSpawn, "", "every hunted object that spawns",
         Does::LogsErrors},
        {"EnableNests as text, a structure",
         R"({"EnableNests": "yes", "AsteroidGen2": {"Enable": false}, "Items": {}})", "TheIsland", wall, "/EnableNests",
         "an error line is logged", Does::LogsErrors},
        {"no AsteroidGen2, an asteroid", R"({"Items": {}})", "Gen2", AsteroidSpawn, "/AsteroidGen2",
         "an error line is logged", Does::LogsErrors},
        {"asteroid Notification of the wrong type", asteroids(R"(, "Notification": 7)"), "Gen2", AsteroidSpawn,
         "/AsteroidGen2/Notification", "every asteroid crate that spawns", Does::LogsErrors},
        {"retried asteroid: Notification [] twice", asteroids(R"(, "Notification": [])"), "Gen2",
         Json::array({AsteroidSpawn[0], AsteroidSpawn[0]}), "/AsteroidGen2/Notification",
         "every asteroid crate that spawns", Does::LogsErrors, 2},
        {"asteroid without Notification", asteroids(""), "Gen2", AsteroidSpawn, "/AsteroidGen2/Notification",
         "nothing is sent", Does::SendsNothing},
        {"asteroid announced", asteroids(R"(, "Notification": {"Msg": "{Name}"})"), "Gen2", AsteroidSpawn, "", nullptr,
         Does::Delivers, 0, std::nullopt, "Metal", std::nullopt, Green},
        {"creature's key without EnableNests", nestConfig("Dodo_Character_BP_C", false), "TheIsland", nestWithDodo,
         "/Items/Dodo_Character_BP_C", "never announced", Does::SendsNothing},
        {"nest's own key without EnableNests", nestConfig("DodoNest_C", false), "TheIsland", nestAlone,
         "/Items/DodoNest_C", "never announced", Does::SendsNothing},
        {"nest's own key with EnableNests", nestConfig("DodoNest_C", true), "TheIsland", nestAlone, "", nullptr,
         Does::Delivers},
        {"schema reference", R"({"$schema": "config.schema.json", )" + small.substr(1), "TheIsland", CrateSpawn, "",
         nullptr, Does::Delivers, 0, std::nullopt, "x"},
        {"Msg given twice", CrateConfig(R"({"Msg": "first", "Color": "0,255,0", "Msg": "second"})"), "TheIsland",
         CrateSpawn, crate + "/Msg", "the later value is used", Does::Delivers, 0, std::nullopt, "second"},
        {"text after the document", small + " and notes", "TheIsland", CrateSpawn, "", "text after the document",
         Does::Delivers},
        {"syntax error", small.substr(0, small.size() - 1), "TheIsland", CrateSpawn, "", "can't be parsed",
         Does::RefusesToLoad},
        {"syntax error in a long text, cut as the plugin's log line is", R"({"Notes": ")" + std::string(5000, 'x'),
         "TheIsland", CrateSpawn, "", "xxxxxxxx...: the plugin refuses to load it", Does::RefusesToLoad},
        {"nested 100 levels", R"({"Notes": )" + Nested(99) + ", " + small.substr(1), "TheIsland", CrateSpawn, "/Notes",
         "unknown key", Does::Delivers},
        {"limits: nested 101 levels", R"({"Notes": )" + Nested(100) + ", " + small.substr(1), "TheIsland", CrateSpawn,
         "", "nested deeper than 100 levels", Does::RefusesToLoad},
        {"16 MiB", small + std::string(ConfigFileSizeLimit - small.size(), ' '), "TheIsland", CrateSpawn, "", nullptr,
         Does::Delivers},
        {"limits: one byte over 16 MiB", small + std::string(ConfigFileSizeLimit + 1 - small.size(), ' '), "TheIsland",
         CrateSpawn, "", "larger than 16 MiB", Does::RefusesToLoad},
    };
}

TEST(HeraldCheck, SaysWhatThePluginDoesWithTheSameFile) {
    const ScratchFolder scratch;
    for (const Agreement& row : Agreements()) {
        const std::vector<Finding> findings = Herald::CheckConfigFile(scratch.Write("config.json", row.config));
        const PluginDid did = PlayThrough(row);
        const std::string what = std::string(row.what) + "\n" + Describe(findings) + did.transcript.substr(0, 2000);

        // What check says.
        if (row.says == nullptr) {
            EXPECT_THAT(findings, ::testing::IsEmpty()) << what;
        } else {
            EXPECT_TRUE(Says(findings, row.path, row.says)) << what;
        }
        const CheckSays says = WhatCheckSays(findings);
        const bool errors = Herald::CheckExitStatus(findings) == 2;
        EXPECT_EQ(says.refused, row.does == Does::RefusesToLoad) << what;
        if (row.does == Does::LogsErrors) {
            EXPECT_TRUE(says.logged) << what;
        }
        if (row.does == Does::Delivers) {
            EXPECT_FALSE(errors) << what;
        }

        // What the plugin does.
        ExpectPluginDoesAsCheckSays(findings, did, what);
        // A refusal to load is one error line too.
        EXPECT_EQ(did.errorLines, row.does == Does::LogsErrors      ? row.errorLines
                                  : row.does == Does::RefusesToLoad ? 1
                                                                    : 0)
            << what;
        EXPECT_EQ(did.deliveries.size(), row.does == Does::Delivers ? 1u : 0u) << what;
        if (did.deliveries.size() == 1) {
            const Json& delivery = did.deliveries[0];
            EXPECT_EQ(delivery.value("type", ""), row.sender ? "chat" : "notification") << what;
            if (row.time) {
                EXPECT_EQ(delivery.value("time", 0.0), static_cast<float>(*row.time)) << what;
            }
            if (row.text) {
                EXPECT_EQ(delivery.value("text", ""), *row.text) << what;
            }
            if (row.sender) {
                EXPECT_EQ(delivery.value("sender", ""), *row.sender) << what;
            }
            if (!row.color.is_null()) {
                EXPECT_EQ(delivery.value("color", Json()), row.color) << what;
            }
        }
    }
}

}  // namespace

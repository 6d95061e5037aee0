// herald check on each value of an entry: how the plugin reads its numbers,
// texts, colours and placeholders, the keys it does not know, and why an entry
// sends nothing.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>

#include "CheckSupport.h"
#include "Support.h"
#include "check/Check.h"

namespace {

using namespace CheckTest;
using Json = nlohmann::json;
using HeraldTest::Source;

struct Reading {
    std::string notification;  // SupplyCrate_Level03_C's
    std::string key;           // under the Notification; "" for no finding at all
    std::string says;
};

TEST(HeraldCheck, SaysHowThePluginReadsEachValue) {
    const Reading readings[] = {
        {R"({"Msg": "x", "Color": "0,255,0", "Time": 12})", "", ""},
        {R"({"Msg": "x", "Color": "0,255,0", "Time": 12.0})", "", ""},
        {R"({"Msg": "x", "Color": "0,255,0", "Time": 16777216})", "", ""},
        {R"({"Msg": "x", "Color": "0,255,0", "Time": 33554432})", "", ""},
        // The game takes the time as a float, which beyond 2^24 skips whole numbers.
        {R"({"Msg": "x", "Color": "0,255,0", "Time": 33554431})", "Time",
         "33554431 is received as 33554432: the game takes the display time as a single-precision number"},
        {R"({"Msg": "x", "Color": "0,255,0", "Time": 2147483647})", "Time", "2147483647 is received as 2147483648"},
        {R"({"Msg": "x", "Color": "0,255,0", "Time": 33554431.5})", "Time",
         "the fraction is dropped: 33554431.5 is read as 33554431, which the game receives as 33554432"},
        {R"({"Msg": "x", "Color": "0,255,0", "Time": -2147483648})", "", ""},
        {R"({"Msg": "x", "Color": "0,255,0", "Time": 7.9})", "Time", "the fraction is dropped: 7.9 is read as 7"},
        {R"({"Msg": "x", "Color": "0,255,0", "Time": -7.9})", "Time", "-7.9 is read as -7"},
        {R"({"Msg": "x", "Color": "0,255,0", "Time": 2147483647.5})", "Time",
         "fraction is dropped: 2147483647.5 is read as 2147483647"},
        {R"({"Msg": "x", "Color": "0,255,0", "Time": 2147483648})", "Time",
         "beyond the 32-bit range of the display time: 2147483648 is read as 2147483647"},
        {R"({"Msg": "x", "Color": "0,255,0", "Time": 4294967296})", "Time", "4294967296 is read as 2147483647"},
        {R"({"Msg": "x", "Color": "0,255,0", "Time": -4294967296})", "Time", "-4294967296 is read as -2147483648"},
        {R"({"Msg": "x", "Color": "0,255,0", "Time": 1e300})", "Time", "1e+300 is read as 2147483647"},
        {R"({"Msg": "x", "Color": "0,255,0", "Time": -1e300})", "Time", "-1e+300 is read as -2147483648"},
        {R"({"Msg": "x", "Color": "0,255,0", "Time": true})", "Time", "is a boolean, not a number: true is read as 1"},
        {R"({"Msg": "x", "Color": "0,255,0", "Time": "10"})", "Time", "type must be number, but is string"},
        {R"({"Msg": "x", "Type": "Chat", "Time": 1e300})", "", ""},
        {R"({"Msg": "x", "Type": "Chat", "Sender": "Bob"})", "", ""},
        {R"({"Msg": "x", "Type": "notification"})", "Type",
         "chat line (for an on-screen notification write \"Notification\")"},
        {R"({"Msg": "x", "Type": "Notifcation"})", "Type", "for an on-screen notification write \"Notification\""},
        {R"({"Msg": "x", "Type": "Chatt"})", "Type", "sent as a chat line (write \"Chat\" to say so)"},
        {R"({"Msg": "x", "Type": "Whisper"})", "Type", "write \"Chat\" to say so"},
        {R"({"Msg": "x", "Type": ""})", "Type", "write \"Chat\" to say so"},
        {R"({"Msg": "ab\u0000cd", "Color": "0,255,0"})", "Msg", "players see only what comes before it: \"ab\""},
        {R"({"Msg": "x", "Type": "Chat", "Sender": "S\u0000x"})", "Sender", "players see the sender \"S\""},
        {R"({"Msg": "x", "Color": "0,255,0", "Sender": "S\u0000x"})", "", ""},
        {R"({"Msg": "x", "Color": "255,0,0\u0000,9"})", "Color", "read only up to it, as \"255,0,0\""},
        {R"({"Msg": "x", "Color": "\u0000x"})", "Color", "\"\" is not a colour"},
        {R"({"Msg": "x", "Color": "Random\u0000"})", "Color", "\"Random\" is not a colour"},
        {R"({"Msg": "x", "Color": "Random"})", "", ""},
        {R"({"Msg": "x", "Color": " 255 , 128,0"})", "", ""},
        {R"({"Msg": "x", "Color": "12abc,0,0"})", "Color", "\"12abc,0,0\" is read as 12,0,0"},
        {R"({"Msg": "x", "Color": "255,,0,0"})", "Color", "is read as 255,0,0"},
        {R"({"Msg": "x", "Color": "1,2,3,4"})", "Color", "is read as 1,2,3"},
        {R"({"Msg": "x", "Color": "+1,2,3"})", "Color", "is read as 1,2,3"},
        {R"({"Msg": "x", "Color": "1,2"})", "Color", "it shows green"},
        {R"({"Msg": "x", "Color": "99999999999,0,0"})", "Color", "it shows green"},
        {R"({"Msg": "x", "Color": "256,0,0"})", "Color", "256 is outside 0 to 255 and shows as 0"},
        {R"({"Msg": "x", "Color": "0,255,0", "Size": 1e39})", "Size", "beyond the range of the single-precision"},
        {R"({"Msg": "x", "Color": "0,255,0", "Size": 3e38})", "", ""},
        {R"({"Msg": "x", "Color": "0,255,0", "Size": 1.1})", "", ""},
        {R"({"Msg": "x", "Color": "0,255,0", "Size": 16777216})", "", ""},
        {R"({"Msg": "x", "Color": "0,255,0", "Size": 16777217})", "Size",
         "16777217 is received as 16777216: the game takes the size as a single-precision number"},
        {R"({"Msg": "x", "Color": "0,255,0", "Size": 0.123456789})", "Size", "0.123456789 is received as 0.12345679"},
        {R"({"Msg": "x", "Type": "Chat", "Size": 16777217})", "", ""},
        {R"({"Msg": "{Lat}{Lat}{lat}{Foo}{}{ {EggLvl}", "Color": "0,255,0"})", "Msg", "{Lat} is written twice"},
        {R"({"Msg": "{Lat}{Lat}{lat}{Foo}{}{ {EggLvl}", "Color": "0,255,0"})", "Msg", "{lat} is written in other case"},
        {R"({"Msg": "{Lat}{Lat}{lat}{Foo}{}{ {EggLvl}", "Color": "0,255,0"})", "Msg", "{Foo} is not a placeholder"},
        {R"({"Msg": "{Lat}{Lat}{lat}{Foo}{}{ {EggLvl}", "Color": "0,255,0"})", "Msg", "{EggLvl} is not filled"},
        {R"({"Msg": "{{Name}} {Name\u0000{Foo}", "Color": "0,255,0"})", "Msg",
         "players see only what comes before it: \"{{Name}} {Name\""},
    };
    for (const Reading& reading : readings) {
        const std::vector<Finding> findings = Herald::CheckConfigText(CrateConfig(reading.notification));
        if (reading.key.empty()) {
            EXPECT_THAT(findings, ::testing::IsEmpty()) << reading.notification << "\n" << Describe(findings);
            continue;
        }
        const std::string path = CrateNotification + "/" + reading.key;
        EXPECT_TRUE(Says(findings, path, reading.says)) << reading.notification << "\n" << Describe(findings);
        for (const Finding& finding : findings) {
            EXPECT_EQ(finding.path, path) << reading.notification << "\n" << Describe(findings);
        }
    }
}

TEST(HeraldCheck, NearMissesOfKnownKeysAreNamedAndFarOnesListTheKeysReadThere) {
    const struct {
        const char* key;
        const char* says;
    } keys[] = {
        {"Tmie", "nearest known key: \"Time\""},
        {"time", "nearest known key: \"Time\""},
        {"Colour", "nearest known key: \"Color\""},
        {"Mgs", "nearest known key: \"Msg\""},
        {"Sendr", "nearest known key: \"Sender\""},
        {"Message", "the keys read here: Msg, Type, Time, Size, Color, Sender"},
        {"Duration", "the keys read here: Msg"},
        {"", "the keys read here: Msg"},
    };
    for (const auto& key : keys) {
        const std::string notification = R"({"Msg": "x", "Color": "0,255,0", )" + Json(key.key).dump() + ": 1}";
        const std::vector<Finding> findings = Herald::CheckConfigText(CrateConfig(notification));
        EXPECT_TRUE(Says(findings, CrateNotification + "/" + key.key, key.says)) << key.key << "\n"
                                                                                 << Describe(findings);
        EXPECT_EQ(findings.size(), 1u) << key.key << "\n" << Describe(findings);
    }
}

// Each of these sends nothing for its entry, and check says why at a path in it.
TEST(HeraldCheck, EveryEntryThatSendsNothingHasAFindingInsideIt) {
    const struct {
        const char* config;
        const char* path;
        const char* says;
    } entries[] = {
        {R"({"Items": {"Dodo_Character_BP_C": {"Notification": {"Msg": "x", "Color": "0,255,0"}}}})",
         "/Items/Dodo_Character_BP_C", "EnableNests is not true, so nests are never announced"},
        {R"({"Items": {"DodoNest_C": {"Notification": {"Msg": "x", "Color": "0,255,0"}}}})", "/Items/DodoNest_C",
         "EnableNests is not true, so nests are never announced"},
        {R"({"Items": {"SupplyCrate_Level03_C_1": {"Notification": {"Msg": "x", "Color": "0,255,0"}}}})",
         "/Items/SupplyCrate_Level03_C_1", "never found"},
        {R"({"Items": {"SupplyCrate_Level03": {"Notification": {"Msg": "x", "Color": "0,255,0"}}}})",
         "/Items/SupplyCrate_Level03", "no spawned object's name produces this key"},
        {R"({"Items": {"SupplyCrate_Level03_C": null}})", "/Items/SupplyCrate_Level03_C", "not announced"},
        {R"({"Items": {"SupplyCrate_Level03_C": []}})", "/Items/SupplyCrate_Level03_C", "is an array, not an object"},
        {R"({"Items": {"SupplyCrate_Level03_C": {}}})", "/Items/SupplyCrate_Level03_C/Notification",
         "no Notification: nothing is sent"},
        {R"({"Items": {"SupplyCrate_Level03_C": {"Notification": 3}}})", "/Items/SupplyCrate_Level03_C/Notification",
         "is a number, not an object: nothing is sent"},
        {R"({"Items": {"SupplyCrate_Level03_C": {"Notification": {}}}})",
         "/Items/SupplyCrate_Level03_C/Notification/Msg", "no Msg: nothing is sent"},
        {R"({"Items": {"SupplyCrate_Level03_C": {"Notification": {"Msg": ""}}}})",
         "/Items/SupplyCrate_Level03_C/Notification/Msg", "empty Msg: nothing is sent"},
        {R"({"Items": {"SupplyCrate_Level03_C": {"Name": 1, "Notification": {"Msg": "x"}}}})",
         "/Items/SupplyCrate_Level03_C/Name", "error line is logged"},
        {R"({"Items": {"SupplyCrate_Level03_C": {"Notification": {"Msg": "x", "Type": 1}}}})",
         "/Items/SupplyCrate_Level03_C/Notification/Type", "error line is logged"},
        {R"({"Items": {"SupplyCrate_Level03_C": {"Notification": {"Msg": "x", "Size": "big"}}}})",
         "/Items/SupplyCrate_Level03_C/Notification/Size", "error line is logged"},
    };
    for (const auto& entry : entries) {
        const std::string config = std::string(entry.config).insert(1, R"("AsteroidGen2": {"Enable": false}, )");
        const std::vector<Finding> findings = Herald::CheckConfigText(config);
        EXPECT_TRUE(Says(findings, entry.path, entry.says)) << entry.config << "\n" << Describe(findings);
    }
}

TEST(HeraldCheck, SchemaReferenceIsIgnoredQuietlyButMustBeText) {
    EXPECT_THAT(Herald::CheckConfigText(R"({"$schema": "config.schema.json", "AsteroidGen2": {"Enable": false},
        "Items": {"SupplyCrate_Level03_C": {"Notification": {"Msg": "x", "Color": "0,255,0"}}}})"),
                ::testing::IsEmpty());
    const std::vector<Finding> findings =
        Herald::CheckConfigText(R"({"$schema": 5, "AsteroidGen2": {"Enable": false}, "Items": {}})");
    EXPECT_TRUE(Says(findings, "/$schema", "is a number, not a string")) << Describe(findings);
}

// Every feature used as meant: nests, all kinds, chat lines, random colours,
// asteroids with their four maps, the schema reference.
TEST(HeraldCheck, ConfigThatUsesEveryFeatureCorrectlyIsClean) {
    for (const char* file : {"examples/config.json", "tests/check-configs/every-feature.json"}) {
        std::ifstream stream(Source / file, std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(stream), {}};
        const std::vector<Finding> findings = Herald::CheckConfigText(text);
        EXPECT_THAT(findings, ::testing::IsEmpty()) << file << "\n" << Describe(findings);
    }
}

}  // namespace

// herald check: what it says about each value against what the plugin does
// with the same file (played through herald run), files that are no files,
// hostile sizes, and its table of keys against its JSON Schema.

#include "check/Check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "Processes.h"
#include "Support.h"
#include "check/Walk.h"
#include "config/ConfigKeys.h"
#include "config/ConfigLimits.h"
#include "config/PlayersReaders.h"
#include "config/CalmReaders.h"
#include "config/RelayReaders.h"

namespace {

namespace fs = std::filesystem;
using Herald::Finding;
using Herald::Severity;
using Json = nlohmann::json;
using ::testing::HasSubstr;

using HeraldTest::Nested;
using HeraldTest::ReadAll;
using HeraldTest::Repeat;
using HeraldTest::ScratchFolder;
using HeraldTest::Source;

std::string Describe(const std::vector<Finding>& findings) {
    std::string text;
    for (const Finding& finding : findings) {
        text += (finding.severity == Severity::Error ? "error " : "warning ") + finding.path.substr(0, 200) + ": " +
                finding.message.substr(0, 400) + "\n";
    }
    return text;
}

bool Says(const std::vector<Finding>& findings, const std::string& path, const std::string& fragment) {
    return std::any_of(findings.begin(), findings.end(), [&](const Finding& finding) {
        return finding.path == path && finding.message.find(fragment) != std::string::npos;
    });
}

// A config whose one entry, SupplyCrate_Level03_C, has this Notification.
std::string CrateConfig(const std::string& notification) {
    return R"({"AsteroidGen2": {"Enable": false}, "Items": {"SupplyCrate_Level03_C": {"Notification": )" +
           notification + "}}}";
}
const std::string CrateNotification = "/Items/SupplyCrate_Level03_C/Notification";

// ---- What check says about each value ----------------------------------------------

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

// ---- Calm: counts, the digest, cooldowns -----------------------------------------------

// A crate entry with these members before its Notification (of this Msg), and this Calm ("" for none).
std::string CalmConfig(const std::string& calm, const std::string& entry = "", const std::string& message = "\"x\"") {
    return R"({"AsteroidGen2": {"Enable": false}, )" + (calm.empty() ? "" : R"("Calm": )" + calm + ", ") +
           R"("Items": {"SupplyCrate_Level03_C": {)" + entry + R"("Notification": {"Msg": )" + message +
           R"(, "Color": "0,255,0"}}}})";
}

TEST(HeraldCheck, CalmCountsDigestAndCooldownsAreReadAsThePluginReadsThem) {
    const std::string entry = "/Items/SupplyCrate_Level03_C";
    const std::string logged = " and an error line is logged at every load and reload";
    const std::string noMinimum = ": the plugin uses no minimum of players (0)" + logged;
    const std::string noCooldown = ": the plugin uses a cooldown of 0 s" + logged;
    const struct {
        const char* what;
        std::string config;
        std::string path;  // the only place check speaks of
        const char* says;  // null: nothing there
        Severity severity = Severity::Error;
    } rows[] = {
        {"MinPlayers 0", CalmConfig(R"({"MinPlayers": 0})"), "/Calm/MinPlayers", nullptr},
        {"MinPlayers at its top", CalmConfig(R"({"MinPlayers": 2147483647})"), "/Calm/MinPlayers", nullptr},
        {"MinPlayers -1", CalmConfig(R"({"MinPlayers": -1})"), "/Calm/MinPlayers",
         "-1 is not a whole number from 0 to 2147483647: the plugin uses no minimum of players (0) and an error line "
         "is logged at every load and reload"},
        {"MinPlayers one past its top", CalmConfig(R"({"MinPlayers": 2147483648})"), "/Calm/MinPlayers",
         "2147483648 is not a whole number from 0 to 2147483647: the plugin uses no minimum of players (0)"},
        {"MinPlayers 1.5", CalmConfig(R"({"MinPlayers": 1.5})"), "/Calm/MinPlayers",
         "1.5 is not a whole number from 0 to 2147483647: the plugin uses no minimum of players (0)"},
        {"MinPlayers as text", CalmConfig(R"({"MinPlayers": "60"})"), "/Calm/MinPlayers",
         "is a string, not a number: the plugin uses no minimum of players (0) and an error line is logged at every "
         "load and reload"},
        {"MinPlayers true", CalmConfig(R"({"MinPlayers": true})"), "/Calm/MinPlayers",
         "is a boolean, not a number: the plugin uses no minimum of players (0)"},
        {"Cooldown 60.0", CalmConfig(R"({"Cooldown": 60.0})"), "/Calm/Cooldown",
         "60.0 is not a whole number from 0 to 2147483647 written without a fraction or an exponent: the plugin "
         "uses a cooldown of 0 s and an error line is logged at every load and reload"},
        {"Cooldown null", CalmConfig(R"({"Cooldown": null})"), "/Calm/Cooldown",
         "is null, not a number: the plugin uses a cooldown of 0 s"},
        {"Cooldown at its top", CalmConfig(R"({"Cooldown": 2147483647})"), "/Calm/Cooldown", nullptr},
        {"an entry's Cooldown -1", CalmConfig(R"({"Cooldown": 30})", R"("Cooldown": -1, )"), entry + "/Cooldown",
         "-1 is not a whole number from 0 to 2147483647: the plugin ignores it and uses Calm → Cooldown, 30 s"},
        {"an entry's Cooldown as text", CalmConfig("", R"("Cooldown": "60", )"), entry + "/Cooldown",
         "is a string, not a number: the plugin ignores it and uses Calm → Cooldown, 0 s"},
        {"an entry's Cooldown past its top", CalmConfig("", R"("Cooldown": 2147483648, )"), entry + "/Cooldown",
         "2147483648 is not a whole number from 0 to 2147483647: the plugin ignores it"},
        {"an entry's Cooldown true, Calm's of the wrong type", CalmConfig(R"({"Cooldown": "x"})", R"("Cooldown": true, )"),
         entry + "/Cooldown", "is a boolean, not a number: the plugin ignores it and uses Calm → Cooldown, 0 s"},
        {"an entry's Cooldown at its top", CalmConfig("", R"("Cooldown": 2147483647, )"), entry + "/Cooldown", nullptr},
        {"an entry's Cooldown 0", CalmConfig("", R"("Cooldown": 0, )"), entry + "/Cooldown", nullptr},
        // A cooldown where nothing is ever sent.
        {"Cooldown on an entry that sends nothing", CalmConfig("", R"("Cooldown": 60, )", "\"\""), entry + "/Cooldown",
         "this entry sends nothing, so its Cooldown has no effect", Severity::Warning},
        {"Cooldown 0 on an entry that sends nothing", CalmConfig("", R"("Cooldown": 0, )", "\"\""), entry + "/Cooldown",
         nullptr},
        {"Cooldown of the wrong type on an entry that sends nothing", CalmConfig("", R"("Cooldown": "60", )", "\"\""),
         entry + "/Cooldown", "is a string, not a number: the plugin ignores it"},
        {"Cooldown on a creature's key without EnableNests",
         R"({"AsteroidGen2": {"Enable": false}, "Items": {"Dodo_Character_BP_C": {"Cooldown": 5,
             "Notification": {"Msg": "x", "Color": "0,255,0"}}}})",
         "/Items/Dodo_Character_BP_C/Cooldown", "this entry sends nothing, so its Cooldown has no effect",
         Severity::Warning},
        // The digest.
        {"every digest placeholder", CalmConfig(R"({"Digest": "{Count} {Name} on {MapName} at {Lat} / {Lon}"})"),
         "/Calm/Digest", nullptr},
        {"Digest not text", CalmConfig(R"({"Digest": 5})"), "/Calm/Digest",
         "is a number, not a string: the plugin uses the default digest and an error line is logged at every load and "
         "reload"},
        {"Digest empty", CalmConfig(R"({"Digest": ""})"), "/Calm/Digest",
         "empty Digest: no digest is sent, so the spawns a cooldown holds are never told of", Severity::Warning},
        {"a nest's placeholder in the digest", CalmConfig(R"({"Digest": "{Count} {EggLvl}"})"), "/Calm/Digest",
         "{EggLvl} is not filled in a digest: it stays as written (only a nest looked up under its creature's key "
         "fills it)",
         Severity::Warning},
        {"an asteroid's placeholder in the digest", CalmConfig(R"({"Digest": "{PrimaryResources}"})"), "/Calm/Digest",
         "{PrimaryResources} is not filled in a digest: it stays as written", Severity::Warning},
        {"a placeholder in other case", CalmConfig(R"({"Digest": "{count} more"})"), "/Calm/Digest",
         "{count} is written in other case: placeholders are matched exactly, so it stays as written (write {Count})",
         Severity::Warning},
        {"{Count} twice", CalmConfig(R"({"Digest": "{Count} and {Count}"})"), "/Calm/Digest",
         "{Count} is written twice: only the first is filled, the second stays as written", Severity::Warning},
        {"a zero in the digest", CalmConfig(R"({"Digest": "a\u0000b"})"), "/Calm/Digest",
         "holds a zero character: the game's text ends there, so a digest shows only what comes before it: \"a\"",
         Severity::Warning},
        {"{Count} in a Msg", CalmConfig("", "", "\"{Count} crates\""), entry + "/Notification/Msg",
         "{Count} is not filled in a structure's announcement: it stays as written (only Calm → Digest fills it)",
         Severity::Warning},
        // Calm itself.
        {"Calm null", CalmConfig("null"), "/Calm", nullptr},
        {"Calm empty", CalmConfig("{}"), "/Calm", nullptr},
        {"Calm not an object", CalmConfig("[]"), "/Calm",
         "is an array, not an object: the plugin uses every default (no minimum of players, a cooldown of 0 s for "
         "entries without their own, the default digest) and an error line is logged at every load and reload"},
        {"an unknown key in Calm", CalmConfig(R"({"MinPlayer": 2})"), "/Calm/MinPlayer",
         "nearest known key: \"MinPlayers\"", Severity::Warning},
    };
    for (const auto& row : rows) {
        const std::vector<Finding> findings = Herald::CheckConfigText(row.config);
        std::vector<Finding> there;
        std::copy_if(findings.begin(), findings.end(), std::back_inserter(there),
                     [&](const Finding& finding) { return finding.path == row.path; });
        const std::string what = std::string(row.what) + "\n" + Describe(findings);
        if (row.says == nullptr) {
            EXPECT_THAT(there, ::testing::IsEmpty()) << what;
            continue;
        }
        ASSERT_EQ(there.size(), 1u) << what;
        EXPECT_THAT(there[0].message, HasSubstr(row.says)) << what;
        EXPECT_EQ(there[0].severity, row.severity) << what;
    }
}

// ---- One reading for preview ------------------------------------------------------------

// The document preview plans with is the first value as the library parses
// it, with no depth limit; the key order is the text's, repeats and keys of an
// earlier duplicate "Items" included; the findings are check's own.
TEST(HeraldCheck, FileReadOnceGivesTheDocumentAndTheKeyOrderOfTheText) {
    const std::string deep = R"({"Notes": )" + Nested(150) + R"(, "Items": {"b_C": 1}})";
    const struct {
        const char* what;
        std::string text;
        std::vector<std::string> itemKeys;
        std::vector<std::string> asteroidCodes;
    } files[] = {
        {"keys in text order",
         R"({"Items": {"z_C": {"Items": {"x": 1}}, "a_C": 1, "z_C": 2}, "List": [{"Items": {"q": 1}}],
             "AsteroidGen2": {"Name": {"Metal": "m", "Ice": "i"}, "Color": {"Ice": "1,2,3"}, "Notification": {"Msg": "x"},
                              "Other": {"NotACode": 1}}, "Items": {"later_C": 3}})",
         {"z_C", "a_C", "z_C", "later_C"},
         {"Metal", "Ice", "Ice"}},
        {"nested beyond the limit", deep, {"b_C"}, {}},
        {"text after the document", R"({"Items": {"a_C": 1}} {"Items": {"b_C": 1}})", {"a_C"}, {}},
        {"broken off", R"({"Items": {"a_C": 1)", {"a_C"}, {}},
        {"not an object", "[1, 2]", {}, {}},
    };
    const ScratchFolder scratch;
    for (const auto& file : files) {
        const fs::path path = scratch.Write("once.json", file.text);
        const Herald::CheckedConfig checked = Herald::CheckConfigFileOnce(path.string());
        Json library;
        std::istringstream stream(file.text);
        try {
            stream >> library;
        } catch (const Json::exception&) {
            library = Json();
        }
        EXPECT_EQ(checked.document, library) << file.what;
        EXPECT_EQ(checked.text, std::optional(file.text)) << file.what;
        EXPECT_EQ(checked.itemKeys, file.itemKeys) << file.what;
        EXPECT_EQ(checked.asteroidCodes, file.asteroidCodes) << file.what;
        EXPECT_EQ(Describe(checked.findings), Describe(Herald::CheckConfigFile(path.string()))) << file.what;
    }
    const fs::path folder = scratch.root / "once-folder";
    fs::create_directory(folder);
    const Herald::CheckedConfig refused = Herald::CheckConfigFileOnce(folder.string());
    EXPECT_FALSE(refused.text);
    EXPECT_TRUE(refused.document.is_null());
    EXPECT_EQ(Describe(refused.findings), Describe(Herald::CheckConfigFile(folder.string())));
}

// ---- The table of keys, against check itself and against the schema ------------------

// A document with every key the plugin reads, each of the right type.
Json EveryKey() {
    return Json::parse(R"({
      "$schema": "config.schema.json",
      "EnableNests": true,
      "Items": {"SupplyCrate_Level03_C": {"Name": "Crate", "Group": "loot", "Cooldown": 60, "Notification":
        {"Msg": "{Name}", "Type": "Notification", "Time": 10, "Size": 1.2, "Color": "0,255,0", "Sender": "Server"}}},
      "AsteroidGen2": {"Enable": true, "Group": "space", "Color": {"Metal": "1,2,3"}, "Name": {"Metal": "Metal"},
        "PrimaryResources": {"Metal": "metal"}, "SecondaryResources": {"Metal": "stone"},
        "Notification": {"Msg": "{Name}", "Type": "Notification", "Time": 10, "Size": 1.2, "Sender": "Server"}},
      "Players": {"Enable": true, "Command": "/herald", "Store": "players.sqlite"},
      "Calm": {"MinPlayers": 1, "Cooldown": 30, "Digest": "{Count} more {Name} on {MapName}, the latest at {Lat} / {Lon}"},
      "Discord": {"Webhook": "https://discord.example/api/webhooks/1/key", "Groups": ["loot", "SPACE"],
        "Username": "{MapName}"}
    })");
}

// The key table's pointer with its "*" made concrete for EveryKey().
std::string Concrete(std::string_view pointer) {
    std::string concrete(pointer);
    const std::size_t star = concrete.find('*');
    if (star != std::string::npos) {
        concrete.replace(star, 1, concrete.starts_with("/Items") ? "SupplyCrate_Level03_C" : "Metal");
    }
    return concrete;
}

TEST(HeraldCheck, EveryKnownKeyOfTheWrongTypeIsReportedWithTheTypeItMustHave) {
    EXPECT_THAT(Herald::CheckConfigText(EveryKey().dump()), ::testing::IsEmpty());
    for (const ConfigKey& key : ConfigKeys()) {
        Json document = EveryKey();
        const Json::json_pointer pointer(Concrete(key.Pointer()));
        const std::string path = pointer.to_string();
        if (key.type == KeyType::NoEffect) {
            document[pointer] = "0,0,0";
            EXPECT_TRUE(Says(Herald::CheckConfigText(document.dump()), path, "has no effect")) << path;
            continue;
        }
        // A value of another type, and the words that must begin the finding.
        const std::map<std::string_view, std::pair<Json, std::string>> wrong{
            {"string", {5, "is a number, not a string"}},
            {"boolean", {"10", "is a string, not a boolean"}},
            {"object", {Json::array(), "is an array, not an object"}},
            {"number", {"10", "is a string, not a number"}},
            {"integer", {"10", "is a string, not a number"}},
            {"array", {"loot", "is a string, not an array"}},
        };
        const auto& [value, expected] = wrong.at(TypeName(key.type));
        document[pointer] = value;
        const std::vector<Finding> findings = Herald::CheckConfigText(document.dump());
        EXPECT_TRUE(Says(findings, path, expected)) << path << " should say \"" << expected << "\"\n"
                                                    << Describe(findings);
    }
}

// The schema's keys: every property and additionalProperties ("*") reached
// from the root through local references, with its type ("ignored" for a
// schema no value meets).
void SchemaKeys(const Json& root, const Json& node, const std::string& pointer,
                std::map<std::string, std::string>& keys) {
    std::vector<const Json*> chain{&node};
    while (chain.back()->contains("$ref")) {
        const std::string reference = chain.back()->at("$ref");
        ASSERT_TRUE(reference.starts_with("#/")) << reference;
        chain.push_back(&root.at(Json::json_pointer(reference.substr(1))));
    }
    const auto first = [&](const char* keyword) -> const Json* {
        for (const Json* link : chain) {
            if (link->contains(keyword)) {
                return &link->at(keyword);
            }
        }
        return nullptr;
    };
    if (!pointer.empty()) {
        const Json* type = first("type");
        keys[pointer] = type != nullptr ? type->get<std::string>() : first("not") != nullptr ? "ignored" : "any";
    }
    std::map<std::string, const Json*> properties;
    for (const Json* link : chain) {
        if (link->contains("properties")) {
            for (const auto& [name, schema] : link->at("properties").items()) {
                properties.emplace(name, &schema);  // the nearer schema's wins
            }
        }
    }
    for (const auto& [name, schema] : properties) {
        SchemaKeys(root, *schema, pointer + "/" + name, keys);
    }
    if (const Json* more = first("additionalProperties"); more != nullptr && more->is_object()) {
        SchemaKeys(root, *more, pointer + "/*", keys);
    }
}

TEST(HeraldCheck, SchemaHoldsEveryKeyAndTypeCheckKnowsAndNoOther) {
    std::ifstream stream(Source / "examples" / "config.schema.json");
    const Json schema = Json::parse(stream);
    std::map<std::string, std::string> inSchema;
    SchemaKeys(schema, schema, "", inSchema);
    std::map<std::string, std::string> inCheck;
    for (const ConfigKey& key : ConfigKeys()) {
        inCheck.emplace(key.Pointer(), TypeName(key.type));
    }
    EXPECT_EQ(inSchema, inCheck);
}

// ---- Files that are no files ----------------------------------------------------------

TEST(HeraldCheck, OnlyARegularFileWithinTheSizeLimitIsRead) {
    const ScratchFolder scratch;
    const fs::path folder = scratch.root / "folder";
    fs::create_directory(folder);
    const fs::path pipe = scratch.root / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const fs::path large = scratch.Write("large.json", "{}");
    fs::resize_file(large, ConfigFileSizeLimit + 1);
    const std::string document = R"({"AsteroidGen2": {"Enable": false}})";
    const fs::path atLimit =
        scratch.Write("at-limit.json", document + std::string(ConfigFileSizeLimit - document.size(), ' '));
    ASSERT_EQ(fs::file_size(atLimit), ConfigFileSizeLimit);

    const struct {
        fs::path path;
        const char* says;
    } files[] = {
        {folder, "is a folder, not a regular file: the plugin refuses to load it"},
        {pipe, "is a pipe, not a regular file"},
        {"/dev/zero", "is a device, not a regular file"},
        {large, "larger than 16 MiB"},
        {"/nonexistent/config.json", "Can't open config.json"},
        {atLimit, "no Items: nothing is ever announced"},
    };
    for (const auto& file : files) {
        const std::vector<Finding> findings = Herald::CheckConfigFile(file.path.string());
        ASSERT_EQ(findings.size(), 1u) << file.path << "\n" << Describe(findings);
        EXPECT_THAT(findings[0].message, HasSubstr(file.says)) << file.path;
    }
    for (const fs::path& refused : {folder, pipe, large}) {
        EXPECT_THAT(Herald::CheckConfigFile(refused.string())[0].message,
                    HasSubstr(refused == large ? "(\"config.json is larger than 16 MiB\")"
                                               : "(\"config.json is not a regular file\")"));
    }
}

// ---- Hostile sizes -------------------------------------------------------------------

using HeraldTest::AddressSanitizer;

// Checks the text in a child process whose data may not grow past 1 GiB
// (unless AddressSanitizer, whose shadow memory counts as data, is in), and
// gives the findings, or none when the child did not end normally.
std::optional<std::vector<Finding>> CheckInBoundedChild(const std::string& text) {
    int pipe[2];
    if (::pipe(pipe) != 0) {
        return std::nullopt;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe[0]);
        if (!AddressSanitizer) {
            const rlimit data{1L << 30, 1L << 30};
            ::setrlimit(RLIMIT_DATA, &data);
        }
        Json findings = Json::array();
        for (const Finding& finding : Herald::CheckConfigText(text)) {
            findings.push_back({finding.severity == Severity::Error, finding.path, finding.message});
        }
        const std::string bytes = findings.dump();
        for (std::size_t written = 0; written < bytes.size();) {
            const ssize_t wrote = ::write(pipe[1], bytes.data() + written, bytes.size() - written);
            if (wrote <= 0) {
                ::_exit(3);
            }
            written += static_cast<std::size_t>(wrote);
        }
        ::_exit(0);
    }
    ::close(pipe[1]);
    const std::string bytes = ReadAll(pipe[0]);
    ::close(pipe[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    std::vector<Finding> findings;
    for (const Json& finding : Json::parse(bytes)) {
        findings.push_back({finding[0].get<bool>() ? Severity::Error : Severity::Warning, finding[1], finding[2]});
    }
    return findings;
}

// Short distinct words: a, b, ..., z, ba, bb, ...
std::string Word(std::size_t number) {
    std::string word;
    do {
        word.insert(word.begin(), static_cast<char>('a' + number % 26));
        number /= 26;
    } while (number > 0);
    return word;
}

struct HostileText {
    const char* what;
    std::function<std::string()> text;
    std::string path;
    const char* says;
};

// Each of these once took minutes or gigabytes (nesting kept a path per open
// level, the nearest-key search a table of key by key, the placeholder scan
// copied the rest of Msg at every "{", and every finding under a long key
// repeated it); each must now end normally within the child's bounds.
TEST(HeraldCheck, HostileTextsCostLinearTimeAndMemory) {
    const std::size_t limit = ConfigFileSizeLimit;
    const std::string longKey(1u << 20, 'k');
    const std::string longItemKey = longKey + "_C";
    const HostileText texts[] = {
        {"arrays 512 Ki deep", [] { return std::string(1u << 19, '[') + std::string(1u << 19, ']'); }, "",
         "nested deeper than 100 levels"},
        {"objects 128 Ki deep", [] { return Repeat(R"({"a":)", 1u << 17) + "1" + std::string(1u << 17, '}'); }, "",
         "nested deeper than 100 levels"},
        {"an unknown key of 10 MiB",
         [] { return R"({"AsteroidGen2": {"Enable": false}, ")" + std::string(10u << 20, 'x') + R"(": 1})"; },
         "/" + std::string(10u << 20, 'x'), "the keys read here"},
        {"a Type of 10 MiB",
         [] {
             return CrateConfig(R"({"Msg": "x", "Color": "0,255,0", "Type": ")" + std::string(10u << 20, 'x') +
                                R"("})");
         },
         CrateNotification + "/Type", "sent as a chat line"},
        {"a Msg of 15 MiB of {",
         [] { return CrateConfig(R"({"Color": "0,255,0", "Msg": ")" + std::string(15u << 20, '{') + R"({Foo}"})"); },
         CrateNotification + "/Msg", "{Foo} is not a placeholder"},
        {"a Msg of {a{a{a...}",
         [] { return CrateConfig(R"({"Color": "0,255,0", "Msg": ")" + Repeat("{a", 7u << 20) + R"(}"})"); },
         CrateNotification + "/Msg", "{a} is not a placeholder"},
        {"keys given twice under a long key",
         [&] { return R"({")" + longKey + R"(": [)" + Repeat(R"({"a":0,"a":0},)", 500000) + "{}]}"; }, "",
         "more keys are given twice in one object (not listed)"},
        {"unknown keys under a long item key",
         [&] {
             std::string keys;
             for (std::size_t i = 0; i < 200000; ++i) {
                 keys += "\"" + Word(i) + "\":0,";
             }
             return R"({"AsteroidGen2": {"Enable": false}, "Items": {")" + longItemKey + R"(": {"Notification": {)" +
                    keys + R"("Msg": "x", "Color": "0,255,0"}}}})";
         },
         "/Items/" + longItemKey + "/Notification", "more unknown keys here"},
        {"words in braces under a long item key",
         [&] {
             std::string words;
             for (std::size_t i = 0; i < 200000; ++i) {
                 words += "{" + Word(i) + "}";
             }
             return R"({"AsteroidGen2": {"Enable": false}, "Items": {")" + longItemKey +
                    R"(": {"Notification": {"Color": "0,255,0", "Msg": ")" + words + R"("}}}})";
         },
         "/Items/" + longItemKey + "/Notification/Msg", "more words in braces"},
    };
    for (const HostileText& hostile : texts) {
        const std::string text = hostile.text();
        ASSERT_LE(text.size(), limit) << hostile.what;
        const std::optional<std::vector<Finding>> findings = CheckInBoundedChild(text);
        EXPECT_TRUE(findings) << hostile.what << ": check did not end normally";
        if (!findings) {
            continue;
        }
        EXPECT_TRUE(Says(*findings, hostile.path, hostile.says)) << hostile.what << "\n" << Describe(*findings);
    }
}

// ---- One source of truth: check and the plugin on the same file ----------------------

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
const Json Green = Json::parse("[0, 1, 0, 1]");
const Json Red = Json::parse("[1, 0, 0, 1]");

struct PluginDid {
    bool loaded = false;
    std::vector<Json> deliveries;  // notifications and chat lines
    int errorLines = 0;
    std::string transcript;
};

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

// What follows the words at the end of a finding, read as one JSON value:
// check ends with the number or the quoted text it promises.
std::optional<Json> Promised(const std::string& message, std::string_view words) {
    const std::size_t at = message.rfind(words);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    const Json value = Json::parse(message.substr(at + words.size()), nullptr, false);
    return value.is_discarded() ? std::nullopt : std::optional(value);
}

// What check's words promise about a delivery, wherever they stand.
void ExpectDeliveryAsCheckSays(const std::vector<Finding>& findings, const PluginDid& did, const std::string& what) {
    if (did.deliveries.size() != 1) {
        return;
    }
    const Json& delivery = did.deliveries[0];
    for (const Finding& finding : findings) {
        if (const auto time = Promised(finding.message, "is read as "); time && time->is_number_integer()) {
            EXPECT_EQ(delivery.value("time", 0.0), time->get<float>()) << what;
        }
        if (const auto text = Promised(finding.message, "players see only what comes before it: ")) {
            EXPECT_EQ(delivery.value("text", Json()), *text) << what;
        }
        if (const auto sender = Promised(finding.message, "players see the sender ")) {
            EXPECT_EQ(delivery.value("sender", Json()), *sender) << what;
        }
        if (finding.message.ends_with("shows green")) {
            EXPECT_EQ(delivery.value("color", Json()), Green) << what;
        }
    }
}

// What check's words say the plugin will do.
struct CheckSays {
    bool refused = false;      // it refuses to load the file
    bool logged = false;       // an error line is logged
    bool nothingSent = false;  // an announcement sends nothing
    bool ignored = false;      // a value is passed over quietly, another used in its place
};

CheckSays WhatCheckSays(const std::vector<Finding>& findings) {
    CheckSays says;
    for (const Finding& finding : findings) {
        const auto has = [&](const char* words) { return finding.message.find(words) != std::string::npos; };
        says.refused = says.refused || has("the plugin refuses to load");
        says.logged = says.logged || has("error line is logged");
        says.nothingSent = says.nothingSent || has("nothing is sent") || has("never announced") ||
                           has("not announced") || has("nothing is ever announced");
        says.ignored = says.ignored || has("the plugin ignores it");
    }
    return says;
}

// Whatever the file: check's refusal is the plugin's, an announcement check
// says sends nothing sends nothing, and a delivery is what check promises.
void ExpectPluginDoesAsCheckSays(const std::vector<Finding>& findings, const PluginDid& did, const std::string& what) {
    const CheckSays says = WhatCheckSays(findings);
    EXPECT_EQ(did.loaded, !says.refused) << what;
    if (says.nothingSent) {
        EXPECT_THAT(did.deliveries, ::testing::IsEmpty()) << what;
    }
    ExpectDeliveryAsCheckSays(findings, did, what);
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

// ---- Every key of the table: check against the plugin in-process ---------------------

// EveryKey(), with a creature's key for the nests that EnableNests lets in.
Json AgreementBase() {
    Json document = EveryKey();
    document["Items"]["Dodo_Character_BP_C"] = {{"Notification", {{"Msg", "{EggLvl}"}, {"Color", "0,255,0"}}}};
    return document;
}

// The spawn that reads a key: a nest for EnableNests, an asteroid crate for
// AsteroidGen2, the crate of EveryKey() for the rest.
struct Reader {
    StandIn::StructureSpawn spawn;
    // Whether the document announces it at all: an entry for it, or asteroid
    // announcements switched on.
    std::function<bool(const Json&)> announced;
};

Reader ReaderOf(std::string_view pointer) {
    const auto holds = [](const char* at) {
        return [at](const Json& document) {
            const Json::json_pointer entry(at);
            return document.contains(entry) && document[entry] != Json(false);
        };
    };
    if (pointer.starts_with("/AsteroidGen2")) {
        return {{u"SupplyCrate_Space_01_Metal_C_4", StandIn::ObjectClass::ItemContainer}, [](const Json& document) {
                    const Json::json_pointer enable("/AsteroidGen2/Enable");
                    return document.contains(enable) && document[enable] == Json(true);
                }};
    }
    if (pointer.starts_with("/EnableNests")) {
        StandIn::StructureSpawn nest{u"DodoNest_C_1", StandIn::ObjectClass::Structure};
        nest.instigator = StandIn::Instigator{u"Dodo_Character_BP_C_7"};
        return {nest, holds("/Items/Dodo_Character_BP_C")};
    }
    return {{u"SupplyCrate_Level03_C_1", StandIn::ObjectClass::ItemContainer}, holds("/Items/SupplyCrate_Level03_C")};
}

// A value of another type than the table's, and values at the edge of what
// the key's type and form take.
std::vector<Json> TestedValues(const ConfigKey& key, const Json& current) {
    const std::map<KeyType, Json> wrong{{KeyType::Boolean, "10"}, {KeyType::Object, Json::array()},
                                        {KeyType::String, 5},     {KeyType::Number, "10"},
                                        {KeyType::Integer, "10"}, {KeyType::Count, "60"},
                                        {KeyType::TextList, "loot"}, {KeyType::NoEffect, 5}};
    std::vector<Json> values{wrong.at(key.type)};
    switch (key.type) {
        case KeyType::Integer:
            values.insert(values.end(), {2147483648LL, 7.9, true, -1e300});
            break;
        case KeyType::Number:
            values.insert(values.end(), {1e39, true});
            break;
        case KeyType::Count:
            values.insert(values.end(), {-1, 0, 2147483647, 2147483648LL, 1.5, 60.0, true, nullptr});
            break;
        case KeyType::Boolean:
            values.push_back(!current.get<bool>());
            break;
        case KeyType::Object:
            values.push_back(Json::object());
            break;
        case KeyType::NoEffect:
            values.push_back("1,2,3");
            break;
        case KeyType::TextList:
            // Of group names: none, one in another case, one of no entry, texts that are none, null.
            values.insert(values.end(), {Json::array(), Json::array({"LOOT"}), Json::array({"loot", "nowhere"}),
                                         Json::array({5, "two words", std::string(GroupNameLimit + 1, 'g')}),
                                         Json::array({"https://discord.example/api/webhooks/1/key"}), nullptr});
            break;
        case KeyType::String:
            values.push_back("");
            if (key.form == KeyForm::Color) {
                values.insert(values.end(), {"300,0,-1", "Random", std::string("\0x", 2), "12abc,0,0"});
            } else if (key.form == KeyForm::PlayerText) {
                values.push_back(std::string("a\0b", 3));
            } else if (key.form == KeyForm::DeliveryType) {
                values.insert(values.end(), {"notification", "Chat"});
            } else if (key.form == KeyForm::GroupName) {
                values.insert(values.end(), {"a", std::string(GroupNameLimit, 'g'), std::string(GroupNameLimit + 1, 'g'),
                                             "two words", "caf\u00e9", "Loot-2_b"});
            } else if (key.form == KeyForm::ChatCommand) {
                values.insert(values.end(), {"/", "/a", "/" + std::string(ChatCommandNameLimit, 'c'),
                                             "/" + std::string(ChatCommandNameLimit + 1, 'c'), "herald", "/her ald",
                                             "/h\u00e9rald", "/her_ald"});
            } else if (key.form == KeyForm::FilePath) {
                values.insert(values.end(), {std::string("a\0b", 3), "choices.sqlite"});
            } else if (key.form == KeyForm::WebhookUrl) {
                values.insert(values.end(), {"http://127.0.0.1:9/hook", "HTTP://LOCALHOST/hook", "http://[::1]/hook",
                                             "http://discord.example/hook", "http://127.0.0.256/hook", "https://",
                                             "https://user@/hook", "ftp://discord.example/hook",
                                             "https://discord.example/a b", "https://" + std::string(WebhookLimit, 'h'),
                                             nullptr});
            }
            break;
    }
    return values;
}

struct HeraldCheckAgainstPlugin : HeraldTest::ServerTest {
    // One spawn of the reader on Gen2, with one player online.
    PluginDid Play(const std::string& configText, const StandIn::StructureSpawn& spawn) {
        server.WriteConfigText(configText);
        StandIn::ResetServer();
        StandIn::SetServerDirectory(server.root.string());
        StandIn::SetMapName("Gen2");
        StandIn::ConnectPlayer("Ann");
        PluginDid did;
        did.loaded = StandIn::LoadPlugin(HeraldTest::PluginPath).ok;
        StandIn::SpawnStructure(spawn);
        for (const StandIn::Record& record : StandIn::Records()) {
            const FColorLinear& color = record.color;
            if (record.kind == StandIn::RecordKind::Notification) {
                did.deliveries.push_back({{"type", "notification"},
                                          {"text", record.text},
                                          {"time", record.time},
                                          {"color", {color.R, color.G, color.B, color.A}}});
            } else if (record.kind == StandIn::RecordKind::Chat) {
                did.deliveries.push_back({{"type", "chat"}, {"text", record.text}, {"sender", record.sender}});
            } else if (record.kind == StandIn::RecordKind::Log) {
                ++did.errorLines;
            }
        }
        for (const std::string& line : StandIn::Describe(StandIn::Records())) {
            did.transcript += line + "\n";
        }
        StandIn::UnloadPlugin();
        return did;
    }
};

// For every key: absent, of another type, and at the edges of its values.
// Check says an error line is logged exactly when the plugin logs one at the
// key's reader; where check says nothing of an error or of nothing sent, an
// announced reader is delivered; and what check promises, the plugin does.
TEST_F(HeraldCheckAgainstPlugin, EveryKeyAbsentWrongOrAtItsEdgeAgrees) {
    const Json base = AgreementBase();
    ASSERT_THAT(Herald::CheckConfigText(base.dump()), ::testing::IsEmpty());
    for (const ConfigKey& key : ConfigKeys()) {
        const Json::json_pointer pointer(Concrete(key.Pointer()));
        std::vector<Json> documents{base};
        documents[0][pointer.parent_pointer()].erase(pointer.back());
        // A key EveryKey() leaves out (the asteroid notification's Color) has
        // no current value: a const operator[] on it is undefined behaviour.
        const Json current = base.contains(pointer) ? base.at(pointer) : Json();
        for (const Json& value : TestedValues(key, current)) {
            documents.push_back(base);
            documents.back()[pointer] = value;
        }
        const Reader reader = ReaderOf(key.Pointer());
        for (const Json& document : documents) {
            const std::string text = document.dump();
            const std::vector<Finding> findings = Herald::CheckConfigText(text);
            const PluginDid did = Play(text, reader.spawn);
            const std::string what =
                std::string(key.Pointer()) + " in " + text + "\n" + Describe(findings) + did.transcript;
            const CheckSays says = WhatCheckSays(findings);
            ExpectPluginDoesAsCheckSays(findings, did, what);
            EXPECT_EQ(says.logged, did.errorLines > 0) << what;
            // Not the other way round: a missing AsteroidGen2 is only a warning,
            // as the file is sound on every map but Gen2. A Group that is no
            // group's name is an error the log never mentions.
            if (Herald::CheckExitStatus(findings) == 2 && !says.ignored) {
                EXPECT_GT(did.errorLines, 0) << what;
            }
            // Ann alone is online: a larger MinPlayers holds every spawn, as it should.
            if (!reader.announced(document) || CalmSettingsOf(document).minPlayers > 1) {
                EXPECT_THAT(did.deliveries, ::testing::IsEmpty()) << what;
            } else if (!says.logged && !says.nothingSent) {
                EXPECT_EQ(did.deliveries.size(), 1u) << what;
            }
        }
    }
}

// ---- Groups and the chat command: check against what players get -----------------------

struct PlayersRow {
    const char* what;
    std::string config;
    const char* map;
    std::string path;  // where check speaks; "" with says null: no finding at all
    const char* says;
    Severity severity = Severity::Error;
    // Ann's chat lines, and a part of the reply each gets; null: no command takes it.
    std::vector<std::pair<std::string, const char*>> chat;
};

// A crate entry with this Group member ("" for none) and this Msg, and these Players.
std::string GroupConfig(const std::string& group, const std::string& message = "\"x\"",
                        const std::string& players = R"({"Store": "choices.sqlite"})") {
    return R"({"AsteroidGen2": {"Enable": false}, "Players": )" + players +
           R"(, "Items": {"SupplyCrate_Level03_C": {)" + (group.empty() ? "" : R"("Group": )" + group + ", ") +
           R"("Notification": {"Msg": )" + message + R"(, "Color": "0,255,0"}}}})";
}

std::vector<PlayersRow> PlayersRows() {
    const std::string group = "/Items/SupplyCrate_Level03_C/Group";
    const std::string g32(GroupNameLimit, 'g');
    const std::string c32(ChatCommandNameLimit, 'c');
    const auto players = [](const std::string& members) { return GroupConfig("", "\"x\"", members); };
    const char* none = "Announcements for you: none.";
    const char* notSaved = "crates announcements. (not saved: it holds until the server restarts)";
    return {
        {"no Group: the kind's", GroupConfig(""), "TheIsland", "", nullptr, {}, {{"/herald", "Announcements for you: crates on."}}},
        {"one character", GroupConfig("\"a\""), "TheIsland", "", nullptr, {}, {{"/herald", "Announcements for you: a on."}}},
        {"32 characters", GroupConfig("\"" + g32 + "\""), "TheIsland", "", nullptr, {}, {{"/herald", "you: gggggggggggggggggggggggggggggggg on."}}},
        {"33 characters", GroupConfig("\"" + g32 + "g\""), "TheIsland", group,
         "\"ggggggggggggggggggggggggggggggggg\" is not a group name (1 to 32 ASCII letters, digits, - and _): the plugin ignores it and uses the kind's group, \"crates\"",
         Severity::Error, {{"/herald", "Announcements for you: crates on."}}},
        {"empty", GroupConfig("\"\""), "TheIsland", group, "\"\" is not a group name", Severity::Error,
         {{"/herald", "Announcements for you: crates on."}}},
        {"a space", GroupConfig("\"two words\""), "TheIsland", group, "\"two words\" is not a group name", Severity::Error,
         {{"/herald", "Announcements for you: crates on."}, {"/herald off two", "No group \"two\""}}},
        {"a letter beyond ASCII", GroupConfig("\"caf\u00e9\""), "TheIsland", group, "is not a group name", Severity::Error,
         {{"/herald", "Announcements for you: crates on."}}},
        {"a number", GroupConfig("5"), "TheIsland", group, "is a number, not a string: the plugin ignores it and uses the kind's group, \"crates\"", Severity::Error,
         {{"/herald", "Announcements for you: crates on."}}},
        {"null", GroupConfig("null"), "TheIsland", group, "is null, not a string: the plugin ignores it and uses the kind's group, \"crates\"", Severity::Error,
         {{"/herald", "Announcements for you: crates on."}}},
        {"any case, digits, - and _", GroupConfig("\"Deep-Sea_2\""), "TheIsland", "", nullptr, {},
         {{"/herald off deep-sea_2", "You will no longer receive Deep-Sea_2 announcements."}}},
        {"a node's kind", R"({"AsteroidGen2": {"Enable": false}, "Players": {"Store": "node.sqlite"}, "Items": {"ElementNode_C":
             {"Group": "a b", "Notification": {"Msg": "x", "Color": "0,255,0"}}}})", "TheIsland", "/Items/ElementNode_C/Group",
         "the plugin ignores it and uses the kind's group, \"nodes\"", Severity::Error, {{"/herald", "you: nodes on."}}},
        {"asteroids' own", R"({"Items": {}, "Players": {"Store": "asteroids.sqlite"}, "AsteroidGen2": {"Enable": true,
             "Group": "-", "Color": {}, "Name": {}, "PrimaryResources": {}, "SecondaryResources": {}, "Notification": {"Msg": "x"}}})",
         "Gen2", "", nullptr, {}, {{"/herald", "you: - on."}}},
        {"asteroids' group named", R"({"Items": {}, "Players": {"Store": "asteroids.sqlite"}, "AsteroidGen2": {"Enable": true,
             "Group": 1, "Color": {}, "Name": {}, "PrimaryResources": {}, "SecondaryResources": {}, "Notification": {"Msg": "x"}}})",
         "Gen2", "/AsteroidGen2/Group", "uses the kind's group, \"asteroids\"", Severity::Error, {{"/herald", "you: asteroids on."}}},
        // A Group where nothing is sent: the command offers no group for it.
        {"empty Msg", GroupConfig("\"loot\"", "\"\""), "TheIsland", group, "this entry sends nothing, so its Group has no effect",
         Severity::Warning, {{"/herald", none}}},
        {"no Msg", R"({"AsteroidGen2": {"Enable": false}, "Items": {"SupplyCrate_Level03_C": {"Group": "loot", "Notification": {}}}})",
         "TheIsland", group, "this entry sends nothing", Severity::Warning, {{"/herald", none}}},
        {"nests not examined", R"({"AsteroidGen2": {"Enable": false}, "Items": {"Dodo_Character_BP_C": {"Group": "dodos",
             "Notification": {"Msg": "x", "Color": "0,255,0"}}}})", "TheIsland", "/Items/Dodo_Character_BP_C/Group",
         "this entry sends nothing", Severity::Warning, {{"/herald", none}}},
        {"an ocean crate without EnableNests", R"({"AsteroidGen2": {"Enable": false}, "Players": {"Store": "ocean.sqlite"},
             "Items": {"SupplyCreate_OceanInstant_High_C": {"Group": "deep", "Notification": {"Msg": "x", "Color": "0,255,0"}}}})",
         "Ragnarok", "", nullptr, {}, {{"/herald", "you: deep on."}}},
        {"asteroids off", R"({"Items": {}, "AsteroidGen2": {"Enable": false, "Group": "rocks", "Notification": {"Msg": "x"}}})",
         "Gen2", "/AsteroidGen2/Group", "asteroid announcements send nothing, so its Group has no effect", Severity::Warning,
         {{"/herald", none}}},
        // The command.
        {"two characters", players(R"({"Command": "/h", "Store": "h.sqlite"})"), "TheIsland", "", nullptr, {},
         {{"/h", "Announcements for you: crates on."}, {"/herald", nullptr}}},
        {"32 letters", players(R"({"Command": "/)" + c32 + R"(", "Store": "c.sqlite"})"), "TheIsland", "", nullptr, {},
         {{"/" + c32, "you: crates on."}}},
        {"33 letters", players(R"({"Command": "/)" + c32 + R"(c"})"), "TheIsland", "/Players/Command",
         "\"/ccccccccccccccccccccccccccccccccc\" is not a / then 1 to 32 ASCII letters or digits: the plugin uses /herald "
         "and an error line is logged at every load and reload",
         Severity::Error, {{"/" + c32 + "c", nullptr}, {"/herald", "you: crates on."}}},
        {"a / alone", players(R"({"Command": "/"})"), "TheIsland", "/Players/Command", "the plugin uses /herald",
         Severity::Error, {{"/herald", "you: crates on."}}},
        {"no /", players(R"({"Command": "herald"})"), "TheIsland", "/Players/Command", "the plugin uses /herald",
         Severity::Error, {{"herald", nullptr}, {"/herald", "you: crates on."}}},
        {"a space in it", players(R"({"Command": "/my cmd"})"), "TheIsland", "/Players/Command", "the plugin uses /herald",
         Severity::Error, {{"/my", nullptr}, {"/herald", "you: crates on."}}},
        {"an underscore", players(R"({"Command": "/my_cmd"})"), "TheIsland", "/Players/Command", "the plugin uses /herald",
         Severity::Error, {{"/my_cmd", nullptr}, {"/herald", "you: crates on."}}},
        {"not text", players(R"({"Command": ["/x"]})"), "TheIsland", "/Players/Command",
         "is an array, not a string: the plugin uses /herald", Severity::Error, {{"/herald", "you: crates on."}}},
        {"typed in any case", players(R"({"Command": "/Loot2"})"), "TheIsland", "", nullptr, {}, {{"/LOOT2", "you: crates on."}}},
        // Whether players choose at all.
        {"Enable false", players(R"({"Enable": false})"), "TheIsland", "", nullptr, {}, {{"/herald", nullptr}}},
        {"Enable not a boolean", players(R"({"Enable": "no"})"), "TheIsland", "/Players/Enable",
         "is a string, not a boolean: players choose, as by default, and an error line is logged at every load and reload",
         Severity::Error, {{"/herald", "you: crates on."}}},
        {"Players not an object", players("[]"), "TheIsland", "/Players",
         "is an array, not an object: the plugin uses every default (players choose with /herald, their choices kept in "
         "players.sqlite) and an error line is logged at every load and reload",
         Severity::Error, {{"/herald", "you: crates on."}}},
        {"Players null", players("null"), "TheIsland", "", nullptr, {}, {{"/herald", "you: crates on."}}},
        {"an unknown key", players(R"({"Comand": "/x", "Store": "u.sqlite"})"), "TheIsland", "/Players/Comand",
         "nearest known key: \"Command\"", Severity::Warning, {{"/x", nullptr}}},
        // Where choices are kept.
        {"a Store", players(R"({"Store": "kept.sqlite"})"), "TheIsland", "", nullptr, {},
         {{"/herald off crates", "You will no longer receive crates announcements."}}},
        {"an empty Store", players(R"({"Store": ""})"), "TheIsland", "/Players/Store",
         "is empty, so it names no file: players' choices are kept until the server stops, and an error line is logged "
         "at every load and reload",
         Severity::Error, {{"/herald off crates", notSaved}}},
        {"a zero in the Store", players(R"({"Store": "a\u0000b"})"), "TheIsland", "/Players/Store",
         "holds a zero character, so it names no file: players' choices are kept until the server stops",
         Severity::Error, {{"/herald off crates", notSaved}}},
        {"a Store not text", players(R"({"Store": false})"), "TheIsland", "/Players/Store",
         "is a boolean, not a string, so it names no file: players' choices are kept until the server stops",
         Severity::Error, {{"/herald off crates", notSaved}}},
    };
}

// Check names the group an entry is announced in, the command players type
// and whether their choices outlast the server, and the plugin does as it says.
// Check's one finding of a row (none where it says nothing), at its severity,
// and whether it says the plugin logs as the plugin did.
void ExpectCheckSaid(const std::vector<Finding>& findings, const std::string& path, const char* says,
                     Severity severity, int errorLines, const std::string& what) {
    if (says == nullptr) {
        EXPECT_THAT(findings, ::testing::IsEmpty()) << what;
    } else {
        EXPECT_TRUE(Says(findings, path, says)) << what;
        EXPECT_EQ(Herald::CheckExitStatus(findings), severity == Severity::Error ? 2 : 1) << what;
    }
    EXPECT_EQ(WhatCheckSays(findings).logged, errorLines > 0) << what;
}

TEST_F(HeraldCheckAgainstPlugin, GroupsCommandAndStoreAreThePlugins) {
    for (const PlayersRow& row : PlayersRows()) {
        const std::vector<Finding> findings = Herald::CheckConfigText(row.config);
        server.WriteConfigText(row.config);
        StandIn::ResetServer();
        StandIn::SetServerDirectory(server.root.string());
        StandIn::SetMapName(row.map);
        StandIn::ConnectPlayer("Ann");
        ASSERT_TRUE(StandIn::LoadPlugin(HeraldTest::PluginPath).ok) << row.what;
        std::vector<bool> taken;
        for (const auto& [line, reply] : row.chat) {
            taken.push_back(StandIn::ChatLine("Ann", line));
        }
        std::vector<std::string> replies;
        int errorLines = 0;
        for (const StandIn::Record& record : StandIn::Records()) {
            if (record.kind == StandIn::RecordKind::Chat) {
                replies.push_back(record.text);
            }
            errorLines += record.kind == StandIn::RecordKind::Log ? 1 : 0;
        }
        StandIn::UnloadPlugin();
        const std::string what = std::string(row.what) + "\n" + Describe(findings) + ::testing::PrintToString(replies);

        ExpectCheckSaid(findings, row.path, row.says, row.severity, errorLines, what);
        std::size_t reply = 0;
        for (std::size_t i = 0; i < row.chat.size(); ++i) {
            const char* expected = row.chat[i].second;
            EXPECT_EQ(taken[i], expected != nullptr) << what << "\n" << row.chat[i].first;
            if (expected != nullptr && reply < replies.size()) {
                EXPECT_THAT(replies[reply++], HasSubstr(expected)) << what;
            }
        }
        EXPECT_EQ(reply, replies.size()) << what;
    }
}

// ---- The Discord relay: check against what the webhook receives -----------------------

struct RelayRow {
    const char* what;
    std::string config;
    std::string path;  // where check speaks; "" with says null: no finding at all
    const char* says;
    Severity severity = Severity::Error;  // the worst of the file's findings
    // The crate's announcement reaches the webhook, under this name; null: nothing is posted.
    const char* username = nullptr;
};

// A crate in the group loot, a node in nodes and an ocean crate in ocean,
// asteroids switched on or off, and this Discord member ("" for none).
std::string RelayConfig(const std::string& discord, bool asteroids = false) {
    const std::string green = R"(, "Color": "0,255,0"}})";
    return std::string(R"({"Players": {"Store": "relay.sqlite"}, "AsteroidGen2": )") +
           (asteroids ? R"({"Enable": true, "Color": {}, "Name": {}, "PrimaryResources": {}, "SecondaryResources": {},
                         "Notification": {"Msg": "{Name}"}})"
                      : R"({"Enable": false})") +
           (discord.empty() ? "" : R"(, "Discord": )" + discord) + R"(, "Items": {
             "SupplyCrate_Level03_C": {"Group": "loot", "Notification": {"Msg": "crate *3*")" + green + R"(,
             "ElementNode_C": {"Notification": {"Msg": "node")" + green + R"(,
             "SupplyCreate_OceanInstant_High_C": {"Notification": {"Msg": "ocean")" + green + "}}";
}

std::vector<RelayRow> RelayRows() {
    const std::string hook = R"("https://discord.example/api/webhooks/1/key")";
    const auto discord = [&](const std::string& members) { return RelayConfig("{\"Webhook\": " + hook + members + "}"); };
    return {
        {"no Discord", RelayConfig(""), "", nullptr},
        {"Discord null", RelayConfig("null"), "", nullptr},
        {"an https webhook, every group", discord(""), "", nullptr, {}, "TheIsland"},
        {"loopback http with a port", RelayConfig(R"({"Webhook": "http://127.0.0.1:8080/hook"})"), "", nullptr, {},
         "TheIsland"},
        {"localhost in capitals", RelayConfig(R"({"Webhook": "http://LocalHost/hook"})"), "", nullptr, {}, "TheIsland"},
        {"http beyond this machine", RelayConfig(R"({"Webhook": "http://discord.example/api/webhooks/1/key"})"),
         "/Discord/Webhook",
         "the address discord.example… is http:// to a host that is not loopback: only https:// leaves this machine: "
         "nothing is relayed, and an error line is logged at every load and reload"},
        {"no scheme", RelayConfig(R"({"Webhook": "discord.example/api/webhooks/1/key"})"), "/Discord/Webhook",
         "the address is not an https:// address: nothing is relayed"},
        {"no host", RelayConfig(R"({"Webhook": "https:///api/webhooks/1/key"})"), "/Discord/Webhook",
         "the address names no host: nothing is relayed"},
        {"a space in it", RelayConfig(R"({"Webhook": "https://discord.example/a b"})"), "/Discord/Webhook",
         "holds a space or a control character: nothing is relayed"},
        {"a webhook one byte too long", RelayConfig(R"({"Webhook": "https://)" + std::string(WebhookLimit - 7, 'h') + "\"}"),
         "/Discord/Webhook", "is longer than 2048 bytes: nothing is relayed"},
        {"a webhook of the longest", RelayConfig(R"({"Webhook": "https://)" + std::string(WebhookLimit - 8, 'h') + "\"}"),
         "", nullptr, {}, "TheIsland"},
        {"a webhook not text", RelayConfig(R"({"Webhook": 5})"), "/Discord/Webhook",
         "is a number, not a string: nothing is relayed, and an error line is logged"},
        {"Discord not an object", RelayConfig(R"(["https://discord.example/api/webhooks/1/key"])"), "/Discord",
         "is an array, not an object: nothing is relayed, and an error line is logged at every load and reload"},
        {"Discord empty", RelayConfig("{}"), "/Discord", "has no Webhook: nothing is relayed, and an error line"},
        {"Webhook null", RelayConfig(R"({"Webhook": null})"), "/Discord", "has no Webhook: nothing is relayed"},
        {"Webhook misspelt", RelayConfig(R"({"Webhok": "https://discord.example/api/webhooks/1/key"})"),
         "/Discord", "has no Webhook: nothing is relayed"},
        // Groups.
        {"a group in any case", discord(R"(, "Groups": ["LOOT"])"), "", nullptr, {}, "TheIsland"},
        {"another group only", discord(R"(, "Groups": ["nodes"])"), "", nullptr},
        {"an ocean crate's group, announced on Ragnarok alone", discord(R"(, "Groups": ["ocean", "loot"])"), "",
         nullptr, {}, "TheIsland"},
        {"a group of no entry", discord(R"(, "Groups": ["loot", "nodez"])"), "/Discord/Groups/1",
         "\"nodez\" is no group that an entry of this file announces on any map: nothing of it is relayed (nearest "
         "announced group: \"nodes\")",
         Severity::Warning, "TheIsland"},
        {"asteroids while they are off", discord(R"(, "Groups": ["asteroids"])"), "/Discord/Groups/0",
         "is no group that an entry of this file announces on any map", Severity::Warning},
        {"asteroids while they are on", RelayConfig("{\"Webhook\": " + hook + R"(, "Groups": ["asteroids"]})", true), "",
         nullptr},
        {"no group at all", discord(R"(, "Groups": [])"), "/Discord/Groups",
         "is empty: nothing is relayed (without Groups, every group is)", Severity::Warning},
        {"Groups a text", discord(R"(, "Groups": "loot")"), "/Discord/Groups",
         "is a string, not an array: every group is relayed, and an error line is logged at every load and reload",
         Severity::Error, "TheIsland"},
        {"Groups null", discord(R"(, "Groups": null)"), "/Discord/Groups", "is null, not an array: every group is relayed",
         Severity::Error, "TheIsland"},
        {"a group that is no text", discord(R"(, "Groups": [5, "loot"])"), "/Discord/Groups/0",
         "is a number, not a string: it is left out, and an error line is logged", Severity::Error, "TheIsland"},
        {"a group that is no group's name", discord(R"(, "Groups": ["lo ot", "loot"])"), "/Discord/Groups/0",
         "\"lo ot\" is not a group name (1 to 32 ASCII letters, digits, - and _): it is left out", Severity::Error,
         "TheIsland"},
        // A warning beside the text's error.
        {"only texts that are no group's name", discord(R"(, "Groups": ["lo ot"])"), "/Discord/Groups",
         "names no group: nothing is relayed", Severity::Error},
        // Username.
        {"a name of the map's and more", discord(R"(, "Username": "Herald of {MapName}")"), "", nullptr, {},
         "Herald of TheIsland"},
        {"a placeholder a name does not fill", discord(R"(, "Username": "{Name} on {MapName}")"), "/Discord/Username",
         "{Name} is not filled in the name the relay's posts go under: it stays as written ({MapName} is the only one "
         "filled there)",
         Severity::Warning, "{Name} on TheIsland"},
        {"the map twice", discord(R"(, "Username": "{MapName} {MapName}")"), "/Discord/Username",
         "{MapName} is written twice: only the first is filled", Severity::Warning, "TheIsland {MapName}"},
        {"a name not text", discord(R"(, "Username": ["x"])"), "/Discord/Username",
         "is an array, not a string: the posts go under the map's name, {MapName}, and an error line is logged",
         Severity::Error, "TheIsland"},
        {"a name null", discord(R"(, "Username": null)"), "/Discord/Username", "is null, not a string", Severity::Error,
         "TheIsland"},
    };
}

// Check says where the relay posts nothing, and why, exactly where the plugin
// posts nothing to the webhook; what it says the log gets, the log gets.
TEST_F(HeraldCheckAgainstPlugin, DiscordRelaysAsCheckSays) {
    for (const RelayRow& row : RelayRows()) {
        const std::vector<Finding> findings = Herald::CheckConfigText(row.config);
        server.WriteConfigText(row.config);
        StandIn::ResetServer();
        StandIn::SetServerDirectory(server.root.string());
        StandIn::ConnectPlayer("Ann");
        ASSERT_TRUE(StandIn::LoadPlugin(HeraldTest::PluginPath).ok) << row.what;
        StandIn::SpawnStructure({u"SupplyCrate_Level03_C_1", StandIn::ObjectClass::ItemContainer});
        std::vector<Json> posts;
        int errorLines = 0;
        for (const StandIn::Record& record : StandIn::Records()) {
            if (record.kind == StandIn::RecordKind::Webhook) {
                EXPECT_EQ(record.host, row.config.find("discord.example") != std::string::npos ? "discord.example"
                                       : row.config.find("LocalHost") != std::string::npos ? "LocalHost"
                                       : row.config.find("127.0.0.1") != std::string::npos ? "127.0.0.1"
                                                                                          : std::string(WebhookLimit - 8, 'h'))
                    << row.what;
                posts.push_back(Json::parse(record.text));
            }
            errorLines += record.kind == StandIn::RecordKind::Log ? 1 : 0;
        }
        StandIn::UnloadPlugin();
        const std::string what = std::string(row.what) + "\n" + Describe(findings) + ::testing::PrintToString(posts);

        ExpectCheckSaid(findings, row.path, row.says, row.severity, errorLines, what);
        if (row.username == nullptr) {
            EXPECT_THAT(posts, ::testing::IsEmpty()) << what;
        } else {
            ASSERT_EQ(posts.size(), 1u) << what;
            EXPECT_EQ(posts[0].value("username", ""), row.username) << what;
            EXPECT_EQ(posts[0].value("content", ""), "crate \\*3\\*") << what;
        }
    }
}

// A webhook's address lets anyone post to the channel: wherever an admin
// pastes it, check's words show its host alone, in the message and the path.
TEST(HeraldCheck, NoFindingHoldsAWholeWebAddress) {
    const std::string token = "T0kenOfTheChannel";
    const std::string address = "https://discord.example/api/webhooks/1/" + token;
    // Each config, and whether a finding names the address (by its host).
    const std::pair<std::string, bool> configs[] = {
        {RelayConfig(R"({"Webhook": "http://discord.example/api/webhooks/1/)" + token + R"("})"), true},
        {RelayConfig(R"({"Webhook": "https://discord.example/api/webhooks/1/)" + token + R"( "})"), true},
        {RelayConfig(R"({"Webhook": "https://discord.example/x", "Groups": [")" + address + R"("]})"), true},
        {RelayConfig(R"({"Webhook": "https://discord.example/x", ")" + address + R"(": 1})"), true},
        {RelayConfig(R"({"Webhook": "https://discord.example/x", "Username": 5, "Hook": ")" + address + R"("})"), false},
        {RelayConfig(R"({")" + address + R"(": true})"), true},
        // The library's words on a text that can't be parsed quote what it read last.
        {R"({"Discord": {"Webhook": ")" + address + "\t\"}}", true},
        {R"({"Discord": {"Webhook": ")" + address, true},
        {R"({"Discord": {"Webhook": ")" + address + R"(\q"}})", true},
    };
    for (const auto& [config, named] : configs) {
        const std::vector<Finding> findings = Herald::CheckConfigText(config);
        EXPECT_THAT(findings, Not(::testing::IsEmpty())) << config;
        for (const Finding& finding : findings) {
            EXPECT_THAT(finding.message, ::testing::Not(HasSubstr(token))) << config;
            EXPECT_THAT(finding.path, ::testing::Not(HasSubstr(token))) << config;
        }
        EXPECT_EQ(std::any_of(findings.begin(), findings.end(),
                              [](const Finding& finding) {
                                  return finding.message.find("discord.example…") != std::string::npos;
                              }),
                  named)
            << Describe(findings);
    }
}

// ---- Rules stand alone ------------------------------------------------------------------

// Every document of the key-table test and of tests/check-configs.
std::vector<Json> RuleCorpus() {
    // A chat line reads what an on-screen notification doesn't.
    std::vector<Json> documents{AgreementBase(),
                                Json::parse(CrateConfig(R"({"Msg": "x", "Type": "Chat", "Sender": "S\u0000x"})"))};
    for (const ConfigKey& key : ConfigKeys()) {
        const Json::json_pointer pointer(Concrete(key.Pointer()));
        for (const Json& value : TestedValues(key, AgreementBase()[pointer])) {
            documents.push_back(AgreementBase());
            documents.back()[pointer] = value;
        }
    }
    for (const auto& file : fs::directory_iterator(Source / "tests" / "check-configs")) {
        std::ifstream stream(file.path(), std::ios::binary);
        const Json document = Json::parse(stream, nullptr, false);
        if (!document.is_discarded()) {
            documents.push_back(document);
        }
    }
    return documents;
}

std::vector<std::string> Sorted(std::vector<Finding> findings) {
    std::vector<std::string> lines;
    for (const Finding& finding : findings) {
        lines.push_back(Describe({finding}));
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Each rule run alone says at each document what it says among all of them,
// so no rule leans on another having run; and each says something somewhere.
TEST(HeraldCheck, EveryRuleSaysAloneWhatItSaysAmongAll) {
    const std::vector<Json> corpus = RuleCorpus();
    std::map<std::string_view, std::size_t> spoke;
    for (const Json& document : corpus) {
        Herald::Report all;
        Herald::WalkDocument(document, all);
        std::vector<Finding> alone;
        for (const Herald::Rule& rule : Herald::Rules()) {
            Herald::Report one;
            Herald::WalkDocument(document, std::span(&rule, 1), one);
            spoke[rule.name] += one.Count();
            for (Finding& finding : one.Take()) {
                alone.push_back(std::move(finding));
            }
        }
        EXPECT_EQ(Sorted(all.Take()), Sorted(std::move(alone))) << document.dump();
    }
    for (const Herald::Rule& rule : Herald::Rules()) {
        EXPECT_GT(spoke[rule.name], 0u) << rule.name << " says nothing about any document of the corpus";
    }
}

}  // namespace

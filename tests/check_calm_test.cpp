// herald check on Calm: the minimum of players, the cooldowns, Calm's and
// each entry's, and the digest, read as the plugin reads them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>

#include "CheckSupport.h"
#include "check/Check.h"

namespace {

using namespace CheckTest;
using ::testing::HasSubstr;

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
        {"an entry's Cooldown true, Calm's of the wrong type",
         CalmConfig(R"({"Cooldown": "x"})", R"("Cooldown": true, )"), entry + "/Cooldown",
         "is a boolean, not a number: the plugin ignores it and uses Calm → Cooldown, 0 s"},
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

}  // namespace

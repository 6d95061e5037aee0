// herald's command line and its preview command, driven in-process: help and
// version, arguments that don't fit, what `preview` shows an admin in text and
// as a page, and the run kept in memory that preview prints.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <tuple>

#include "check/Check.h"
#include "cli/CommandLine.h"
#include "config/ConfigLimits.h"
#include "preview/Preview.h"
#include "preview/PreviewPage.h"
#include "run/Play.h"
#include "run/Printers.h"
#include "scenario/Scenario.h"
#include "StandIn.h"
#include "Support.h"
#include "game/GameTypes.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace {

namespace fs = std::filesystem;
using HeraldTest::Lines;
using HeraldTest::Outcome;
using HeraldTest::ReadFile;
using HeraldTest::ScratchFolder;
using ::testing::HasSubstr;
using ::testing::Not;
using Json = nlohmann::json;

using HeraldTest::Source;
const std::string ExampleConfig = (Source / "examples" / "config.json").string();

Outcome RunHerald(const std::vector<std::string>& arguments) {
    std::ostringstream out;
    std::ostringstream err;
    Outcome outcome;
    outcome.status = Herald::HeraldMain(arguments, out, err);
    outcome.out = out.str();
    outcome.err = err.str();
    return outcome;
}

// `herald preview FILE ARGUMENTS... --plugin` the built plugin.
Outcome Preview(const std::string& file, std::vector<std::string> arguments = {}) {
    arguments.insert(arguments.begin(), {"preview", file});
    arguments.insert(arguments.end(), {"--plugin", HeraldTest::PluginPath});
    return RunHerald(arguments);
}

std::vector<Json> JsonLines(const std::string& text) {
    std::vector<Json> lines;
    for (const std::string& line : Lines(text)) {
        lines.push_back(Json::parse(line));
    }
    return lines;
}

// ---- Command line ---------------------------------------------------------------------

// The lines of the preview's section that starts with heading, up to the
// blank line after it; none without the section.
std::vector<std::string> SectionLines(const std::string& text, std::string_view heading) {
    const std::size_t from = text.find("\n" + std::string(heading));
    if (from == std::string::npos) {
        return {};
    }
    return Lines(text.substr(from + 1, text.find("\n\n", from) - from - 1));
}

TEST(HeraldCommandLine, HelpGoesToStandardOutputWithStatusZero) {
    struct Case {
        std::vector<std::string> arguments;
        const char* usage;
    };
    const Case cases[] = {
        {{"--help"}, "Usage: herald [OPTIONS] SUBCOMMAND"},
        {{"-h"}, "Usage: herald [OPTIONS] SUBCOMMAND"},
        {{"run", "--help"}, "Usage: herald run [OPTIONS] SCENARIO.json"},
        {{"check", "-h"}, "Usage: herald check [OPTIONS] CONFIG.json"},
        {{"preview", "--help"}, "Usage: herald preview [OPTIONS] CONFIG.json"},
        {{"preview", "examples/config.json", "--html", "x.html", "-h"}, "--map TEXT=TheIsland"},
    };
    for (const Case& help : cases) {
        const Outcome outcome = RunHerald(help.arguments);
        EXPECT_EQ(outcome.status, 0) << help.usage;
        EXPECT_THAT(outcome.out, HasSubstr(help.usage));
        EXPECT_EQ(outcome.err, "") << help.usage;
    }
    // The overview names every command.
    const Outcome overview = RunHerald({"--help"});
    for (const char* command : {"run", "check", "preview"}) {
        EXPECT_THAT(overview.out, HasSubstr(std::string("\n  ") + command + "   "));
    }
}

TEST(HeraldCommandLine, VersionIsTheProjects) {
    const std::string cmake = ReadFile(Source / "CMakeLists.txt");
    const std::string project = "project(SkyCrateHerald VERSION ";
    const std::size_t start = cmake.find(project);
    ASSERT_NE(start, std::string::npos);
    const std::size_t end = cmake.find_first_not_of("0123456789.", start + project.size());
    const std::string version = cmake.substr(start + project.size(), end - start - project.size());
    ASSERT_FALSE(version.empty());
    const Outcome outcome = RunHerald({"--version"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "herald " + version + "\n");
    EXPECT_EQ(outcome.err, "");
}

TEST(HeraldCommandLine, ArgumentsThatDoNotFitAreOneLineOnStandardErrorWithStatusTwo) {
    struct Case {
        std::vector<std::string> arguments;
        const char* says;
    };
    const Case cases[] = {
        {{}, "A subcommand is required"},
        {{"fly"}, "unknown command \"fly\""},
        {{"Run", "a.json"}, "unknown command \"Run\""},
        {{"run"}, "SCENARIO.json is required"},
        {{"check"}, "CONFIG.json is required"},
        {{"preview", "--json"}, "CONFIG.json is required"},
        {{"run", "a.json", "b.json"}, "not expected: b.json"},
        {{"run", "a.json", "--colour"}, "not expected: --colour"},
        {{"check", "a.json", "--plugin", "p.so"}, "--plugin"},
        {{"check", "a.json", "--html", "p.html"}, "--html"},
        {{"preview", "a.json", "--map"}, "--map"},
        {{"--json", "run", "a.json"}, "--json"},
        // --serve's port: digits from 0 to 65535, and only with --serve.
        {{"preview", "a.json", "--serve", "--port", "abc"}, "a port is a number from 0 to 65535"},
        {{"preview", "a.json", "--serve", "--port", "65536"}, "a port is a number from 0 to 65535"},
        {{"preview", "a.json", "--serve", "--port", "-1"}, "--port"},
        {{"preview", "a.json", "--serve", "--port", "0x1f"}, "a port is a number from 0 to 65535"},
        {{"preview", "a.json", "--serve", "--port", "+80"}, "a port is a number from 0 to 65535"},
        {{"preview", "a.json", "--serve", "--port", "080"}, "a port is a number from 0 to 65535"},
        {{"preview", "a.json", "--serve", "--port", "00"}, "a port is a number from 0 to 65535"},
        {{"preview", "a.json", "--serve", "--port", "99999999999999999999"}, "a port is a number from 0 to 65535"},
        {{"preview", "a.json", "--serve", "--port", ""}, "a port is a number from 0 to 65535"},
        {{"preview", "a.json", "--port", "8080"}, "--port requires --serve"},
        {{"preview", "a.json", "--serve", "--json"}, "--json excludes --serve"},
        {{"preview", "a.json", "--serve", "--html", "p.html"}, "--html excludes --serve"},
    };
    for (const Case& wrong : cases) {
        const Outcome outcome = RunHerald(wrong.arguments);
        EXPECT_EQ(outcome.status, 2) << wrong.says;
        EXPECT_EQ(outcome.out, "") << wrong.says;
        ASSERT_EQ(Lines(outcome.err).size(), 1u) << outcome.err;
        EXPECT_THAT(outcome.err, ::testing::StartsWith("herald: ")) << wrong.says;
        EXPECT_THAT(outcome.err, HasSubstr(wrong.says));
        EXPECT_THAT(outcome.err, HasSubstr("herald --help")) << wrong.says;
    }
}

TEST(HeraldCommandLine, MissingFilesAreRefused) {
    const std::string missing = (Source / "no-such-file.json").string();
    // run and preview: one line on standard error.
    for (const char* command : {"run", "preview"}) {
        const Outcome outcome = RunHerald({command, missing});
        EXPECT_EQ(outcome.status, 2) << command;
        EXPECT_EQ(outcome.out, "") << command;
        ASSERT_EQ(Lines(outcome.err).size(), 1u) << outcome.err;
        EXPECT_THAT(outcome.err, HasSubstr(missing + ": ")) << command;
    }
    // check keeps reporting it as its finding.
    const Outcome check = RunHerald({"check", missing, "--json"});
    EXPECT_EQ(check.status, 2);
    ASSERT_EQ(JsonLines(check.out).size(), 1u);
    EXPECT_THAT(JsonLines(check.out)[0]["message"].get<std::string>(), HasSubstr("Can't open config.json"));
}

TEST(HeraldCommandLine, OptionsGoBeforeOrAfterTheFile) {
    const std::string scenario = (Source / "examples" / "scenarios" / "reload.json").string();
    const std::string plugin = HeraldTest::PluginPath;
    const std::vector<std::vector<std::string>> orders = {
        {"run", scenario, "--json", "--plugin", plugin},
        {"run", "--json", "--plugin", plugin, scenario},
        {"run", "--plugin=" + plugin, scenario, "--json"},
    };
    const Outcome first = RunHerald(orders[0]);
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_THAT(Lines(first.out),
                ::testing::ElementsAreArray(Lines(ReadFile(Source / "tests" / "golden" / "reload.jsonl"))));
    for (const auto& order : orders) {
        const Outcome outcome = RunHerald(order);
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_EQ(outcome.out, first.out);
    }
    for (const auto& order : std::vector<std::vector<std::string>>{{"check", ExampleConfig, "--json"},
                                                                   {"check", "--json", ExampleConfig}}) {
        const Outcome outcome = RunHerald(order);
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(outcome.out, "");
    }
}

// ---- What preview prints -------------------------------------------------------------

// The lines of preview's own between check's findings and the transcript.
bool PreviewsOwn(const Json& line) {
    const std::string type = line.value("type", "");
    return type == "silent" || type == "players" || type == "group" || type == "cooldown" || type == "discord" ||
           type == "relay";
}

// The transcript part of `preview --json`: the lines after check's findings,
// the silent entries and the groups.
std::vector<Json> TranscriptLines(const std::string& out) {
    std::vector<Json> transcript;
    for (const Json& line : JsonLines(out)) {
        if (line.contains("type") && !PreviewsOwn(line)) {
            transcript.push_back(line);
        }
    }
    return transcript;
}

std::vector<std::string> NotificationTexts(const std::vector<Json>& transcript) {
    std::vector<std::string> texts;
    for (const Json& line : transcript) {
        if (line["type"] == "notification") {
            EXPECT_EQ(line["player"], "Survivor");
            texts.push_back(line["text"]);
        }
    }
    return texts;
}

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

struct GroupCase {
    const char* name;
    std::string config;
    std::vector<std::string> text;  // the lines from "Groups" on, up to the blank line
    Json command;                   // the "players" line's
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
             "SupplyCrate_Level03_C": {)" + crate + R"(}, "ElementNode_C": {)" + crate + R"(},
             "ArtifactCrate_Hunter_C": {)" + crate + R"(}, "BeaverDam_C": {)" + crate + R"(},
             "DodoNest_C": {)" + crate + R"(}, "Dodo_Character_BP_C": {)" + crate + R"(},
             "SupplyCreate_OceanInstant_High_C": {)" + crate + R"(}}})",
         {"Groups (players turn them off and on with /herald off GROUP, /herald on GROUP):",
          "    artifacts: ArtifactCrate_Hunter_C", "    asteroids: AsteroidGen2 Metal", "    crates: SupplyCrate_Level03_C",
          "    dams: BeaverDam_C", "    nests: DodoNest_C, Dodo_Character_BP_C", "    nodes: ElementNode_C",
          "    ocean: SupplyCreate_OceanInstant_High_C"},
         "/herald",
         {{"/Items/SupplyCrate_Level03_C", "crates"}, {"/Items/ElementNode_C", "nodes"},
          {"/Items/ArtifactCrate_Hunter_C", "artifacts"}, {"/Items/BeaverDam_C", "dams"}, {"/Items/DodoNest_C", "nests"},
          {"/Items/Dodo_Character_BP_C", "nests"}, {"/Items/SupplyCreate_OceanInstant_High_C", "ocean"},
          {"Metal", "asteroids"}}},
        {"groups of the admin's, one in any case, and names at their edges",
         R"({"AsteroidGen2": {"Enable": false}, "Players": {"Command": "/Loot"}, "Items": {
             "SupplyCrate_Level03_C": {"Group": "Big-Loot_1", )" + crate + R"(},
             "SupplyCrate_Level60_C": {"Group": "big-loot_1", )" + crate + R"(},
             "ElementNode_C": {"Group": "a", )" + crate + R"(},
             "BeaverDam_C": {"Group": ")" + g32 + R"(", )" + crate + R"(},
             "ArtifactCrate_Hunter_C": {"Group": ")" + g32 + R"(g", )" + crate + R"(},
             "ArtifactCrate_Clever_C": {"Group": "two words", )" + crate + R"(},
             "SupplyCrate_Level15_C": {"Group": "", )" + crate + R"(},
             "SupplyCrate_Level35_C": {"Group": "caf\u00e9", "Notification": {"Msg": ""}}}})",
         {"Groups (players turn them off and on with /Loot off GROUP, /Loot on GROUP):", "    a: ElementNode_C",
          "    artifacts: ArtifactCrate_Hunter_C, ArtifactCrate_Clever_C",
          "    Big-Loot_1: SupplyCrate_Level03_C, SupplyCrate_Level60_C",
          "    crates: SupplyCrate_Level15_C, SupplyCrate_Level35_C (sends nothing)", "    " + g32 + ": BeaverDam_C"},
         "/Loot",
         {{"/Items/SupplyCrate_Level03_C", "Big-Loot_1"}, {"/Items/SupplyCrate_Level60_C", "big-loot_1"},
          {"/Items/ElementNode_C", "a"}, {"/Items/BeaverDam_C", g32}, {"/Items/ArtifactCrate_Hunter_C", "artifacts"},
          {"/Items/ArtifactCrate_Clever_C", "artifacts"}, {"/Items/SupplyCrate_Level15_C", "crates"},
          {"/Items/SupplyCrate_Level35_C", "crates"}}},
        {"players who can't choose",
         R"({"AsteroidGen2": {"Enable": false}, "Players": {"Enable": false}, "Items": {
             "SupplyCrate_Level03_C": {"Group": "loot", )" + crate + R"(}}})",
         {"Groups (players can't choose: Players/Enable is false, so every player receives every group):",
          "    loot: SupplyCrate_Level03_C"},
         nullptr,
         {{"/Items/SupplyCrate_Level03_C", "loot"}}},
        {"a Command of another form: the plugin's",
         R"({"AsteroidGen2": {"Enable": false}, "Players": {"Command": "herald"}, "Items": {
             "SupplyCrate_Level03_C": {)" + crate + R"(}}})",
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
    const std::string heading = "Cooldowns (further spawns within one are held; when it ends, one digest tells of "
                                "them), each digest as it would be sent for 3 held spawns:";
    const std::string green = R"(, "Color": "0,255,0"})";
    const CooldownCase cases[] = {
        {"Calm's cooldown, an entry's own, one of none, a chat line, an entry that sends nothing",
         R"({"AsteroidGen2": {"Enable": false}, "Calm": {"Cooldown": 60,
             "Digest": "{Count} x {Name} on {MapName} at {Lat} / {Lon} {EggLvl}"}, "Items": {
             "SupplyCrate_Level03_C": {"Name": "Crate", "Notification": {"Msg": "crate")" + green + R"(},
             "ElementNode_C": {"Cooldown": 30, "Notification": {"Msg": "node", "Type": "Chat", "Sender": "Herald"}},
             "ArtifactCrate_Hunter_C": {"Cooldown": 0, "Notification": {"Msg": "artifact")" + green + R"(},
             "BeaverDam_C": {"Cooldown": 45, "Notification": {"Msg": ""}}}})",
         {heading,
          "    SupplyCrate_Level03_C: 60 s; notification \"3 x Crate on TheIsland at 50.0 / 50.0 {EggLvl}\" colour 0,255,0",
          "    ElementNode_C: 30 s; chat Herald: \"3 x ElementNode_C on TheIsland at 50.0 / 50.0 {EggLvl}\"",
          "    BeaverDam_C: 45 s; no digest is sent"},
         {{"/Items/SupplyCrate_Level03_C", 60, {{"notification", "3 x Crate on TheIsland at 50.0 / 50.0 {EggLvl}"}}},
          {"/Items/ElementNode_C", 30, {{"chat", "3 x ElementNode_C on TheIsland at 50.0 / 50.0 {EggLvl}"}}},
          {"/Items/BeaverDam_C", 45, {}}}},
        {"the default digest, a nest under its creature's key, an ocean crate on its own map",
         R"({"EnableNests": true, "AsteroidGen2": {"Enable": false}, "Items": {
             "Dodo_Character_BP_C": {"Name": "Dodo", "Cooldown": 2147483647, "Notification": {"Msg": "nest")" + green + R"(},
             "SupplyCreate_OceanInstant_High_C": {"Cooldown": 1, "Notification": {"Msg": "ocean")" + green + R"(}}})",
         {heading,
          "    Dodo_Character_BP_C: 2147483647 s; notification \"3 more Dodo since the last announcement, the latest at "
          "50.0 / 50.0\" colour 0,255,0",
          "    SupplyCreate_OceanInstant_High_C: 1 s; notification \"3 more SupplyCreate_OceanInstant_High_C since the "
          "last announcement, the latest at 50.0 / 50.0\" colour 0,255,0"},
         {{"/Items/Dodo_Character_BP_C", 2147483647,
           {{"notification", "3 more Dodo since the last announcement, the latest at 50.0 / 50.0"}}},
          {"/Items/SupplyCreate_OceanInstant_High_C", 1,
           {{"notification",
             "3 more SupplyCreate_OceanInstant_High_C since the last announcement, the latest at 50.0 / 50.0"}}}}},
        {"counts that are none: an entry's gives way to Calm's, Calm's to 0; MinPlayers does not hide the digest",
         R"({"AsteroidGen2": {"Enable": false}, "Calm": {"MinPlayers": 5, "Cooldown": 10, "Digest": "{Count} on {MapName}"},
             "Items": {"SupplyCrate_Level03_C": {"Cooldown": "60", "Notification": {"Msg": "crate")" + green + R"(},
             "ElementNode_C": {"Cooldown": -1, "Notification": {"Msg": "node")" + green + R"(}}})",
         {heading, "    SupplyCrate_Level03_C: 10 s; notification \"3 on TheIsland\" colour 0,255,0",
          "    ElementNode_C: 10 s; notification \"3 on TheIsland\" colour 0,255,0"},
         {{"/Items/SupplyCrate_Level03_C", 10, {{"notification", "3 on TheIsland"}}},
          {"/Items/ElementNode_C", 10, {{"notification", "3 on TheIsland"}}}}},
        {"Calm's cooldown of the wrong type and an entry's past the top: none cools down",
         R"({"AsteroidGen2": {"Enable": false}, "Calm": {"Cooldown": 60.0}, "Items": {
             "SupplyCrate_Level03_C": {"Cooldown": 2147483648, "Notification": {"Msg": "crate")" + green + R"(}}})",
         {},
         {}},
        {"no Calm at all", R"({"AsteroidGen2": {"Enable": false}, "Items": {
             "SupplyCrate_Level03_C": {"Notification": {"Msg": "crate")" + green + R"(}}})",
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

struct RelayCase {
    const char* name;
    std::string config;
    std::string map;                // --map; "" for the default
    std::vector<std::string> text;  // the lines from "Discord" on, up to the blank line
    Json discord;                   // the "discord" line; null: none
    // Each entry (or asteroid code) with whether it is relayed and its posts' and its digest's (name, content).
    std::vector<std::tuple<std::string, bool, std::vector<std::pair<Json, std::string>>,
                           std::vector<std::pair<Json, std::string>>>>
        relays;
};

// What each entry posts to the webhook, as the plugin posts it: the text
// players read with Markdown's characters escaped, under the name filled for
// the entry's map; where the webhook is, by its host alone; and which entries
// are not relayed, and why.
TEST(HeraldPreview, EachEntryShowsWhatItPostsToDiscord) {
    const std::string green = R"(, "Color": "0,255,0"})";
    // The node may cool down, for a digest.
    const auto entries = [&](const std::string& node) {
        return R"j("Items": {
        "SupplyCrate_Level03_C": {"Name": "Crate_3", "Notification": {"Msg": "{Name} *at* {Lat} / {Lon}", "Color": "0,255,0"}},
        "ElementNode_C": {"Group": "Loot", )j" + node + R"j("Notification": {"Msg": "node # > @everyone", "Type": "Chat"}},
        "BeaverDam_C": {"Notification": {"Msg": ""}},
        "SupplyCreate_OceanInstant_High_C": {"Notification": {"Msg": "ocean [x](y)", "Color": "0,255,0"}}})j";
    };
    const std::string asteroids = R"("AsteroidGen2": {"Enable": true, "Color": {"Metal": "Random"}, "Name": {},
        "PrimaryResources": {}, "SecondaryResources": {}, "Notification": {"Msg": "{Name} ~~rock~~"}})";
    const auto config = [&](const std::string& discord, const std::string& more = "", const std::string& node = "") {
        return "{" + asteroids + ", " + entries(node) + R"(, "Discord": )" + discord + more + "}";
    };
    const std::pair<Json, std::string> crate{"TheIsland", R"(Crate\_3 \*at\* 50.0 / 50.0)"};
    const std::pair<Json, std::string> node{"TheIsland", R"(node \# \> @everyone)"};
    const std::pair<Json, std::string> ocean{"Ragnarok", R"(ocean \[x\]\(y\))"};
    const std::pair<Json, std::string> metal{"Gen2", R"(Metal \~\~rock\~\~)"};
    const RelayCase cases[] = {
        {"every group, each under its own map's name",
         config(R"({"Webhook": "https://discord.example/api/webhooks/1/key"})"), "",
         {"Discord (posts to discord.example…, every group), each post as it would be sent:",
          R"(    SupplyCrate_Level03_C: as "TheIsland": Crate\_3 \*at\* 50.0 / 50.0)",
          R"(    ElementNode_C: as "TheIsland": node \# \> @everyone)", "    BeaverDam_C: nothing is posted",
          R"(    SupplyCreate_OceanInstant_High_C: as "Ragnarok": ocean \[x\]\(y\))",
          R"(    AsteroidGen2 Metal: as "Gen2": Metal \~\~rock\~\~)"},
         Json::parse(R"({"type": "discord", "relays": true, "webhook": "discord.example…", "groups": null, "problems": []})"),
         {{"/Items/SupplyCrate_Level03_C", true, {crate}, {}},
          {"/Items/ElementNode_C", true, {node}, {}},
          {"/Items/BeaverDam_C", true, {}, {}},
          {"/Items/SupplyCreate_OceanInstant_High_C", true, {ocean}, {}},
          {"Metal", true, {metal}, {}}}},
        {"some groups, in any case, a name of the admin's, and a digest's post",
         config(R"({"Webhook": "http://127.0.0.1:8080/hook", "Groups": ["loot", "ASTEROIDS"], "Username": "Herald {MapName}"})",
                R"(, "Calm": {"Digest": "{Count} more `{Name}`"})", R"("Cooldown": 60, )"),
         "Ragnarok",
         {"Discord (posts to 127.0.0.1:8080…, groups loot, asteroids), each post as it would be sent:",
          "    SupplyCrate_Level03_C: not relayed: its group crates is not in Discord → Groups",
          R"(    ElementNode_C: as "Herald Ragnarok": node \# \> @everyone; its digest as "Herald Ragnarok": 3 more \`ElementNode\_C\`)",
          "    BeaverDam_C: not relayed: its group dams is not in Discord → Groups",
          "    SupplyCreate_OceanInstant_High_C: not relayed: its group ocean is not in Discord → Groups",
          R"(    AsteroidGen2 Metal: as "Herald Gen2": Metal \~\~rock\~\~)"},
         Json::parse(R"({"type": "discord", "relays": true, "webhook": "127.0.0.1:8080…", "groups": ["loot", "asteroids"],
                         "problems": []})"),
         {{"/Items/SupplyCrate_Level03_C", false, {}, {}},
          {"/Items/ElementNode_C", true, {{"Herald Ragnarok", node.second}}, {{"Herald Ragnarok", R"(3 more \`ElementNode\_C\`)"}}},
          {"/Items/BeaverDam_C", false, {}, {}},
          {"/Items/SupplyCreate_OceanInstant_High_C", false, {}, {}},
          {"Metal", true, {{"Herald Gen2", metal.second}}, {}}}},
        {"an empty name: the webhook's own",
         config(R"({"Webhook": "https://discord.example/x", "Groups": ["crates"], "Username": ""})"), "",
         {"Discord (posts to discord.example…, groups crates), each post as it would be sent:",
          R"(    SupplyCrate_Level03_C: under the webhook's own name: Crate\_3 \*at\* 50.0 / 50.0)",
          "    ElementNode_C: not relayed: its group Loot is not in Discord → Groups",
          "    BeaverDam_C: not relayed: its group dams is not in Discord → Groups",
          "    SupplyCreate_OceanInstant_High_C: not relayed: its group ocean is not in Discord → Groups",
          "    AsteroidGen2 Metal: not relayed: its group asteroids is not in Discord → Groups"},
         Json::parse(R"({"type": "discord", "relays": true, "webhook": "discord.example…", "groups": ["crates"], "problems": []})"),
         {{"/Items/SupplyCrate_Level03_C", true, {{nullptr, crate.second}}, {}},
          {"/Items/ElementNode_C", false, {}, {}},
          {"/Items/BeaverDam_C", false, {}, {}},
          {"/Items/SupplyCreate_OceanInstant_High_C", false, {}, {}},
          {"Metal", false, {}, {}}}},
        {"a webhook the relay refuses: nothing is relayed, and the log says why",
         config(R"({"Webhook": "http://discord.example/api/webhooks/1/key", "Username": 5})"), "",
         {"Discord relays nothing, as the plugin logs at every load and reload:",
          "    Discord → Webhook discord.example… is http:// to a host that is not loopback: only https:// leaves this "
          "machine: nothing is relayed",
          "    Discord → Username is not a text: the map's name is used"},
         Json::parse(R"({"type": "discord", "relays": false, "webhook": null, "groups": null, "problems": [
             "Discord → Webhook discord.example… is http:// to a host that is not loopback: only https:// leaves this machine: nothing is relayed",
             "Discord → Username is not a text: the map's name is used"]})"),
         {}},
        {"no Discord", "{" + asteroids + ", " + entries("") + "}", "", {}, nullptr, {}},
    };
    for (const RelayCase& test : cases) {
        const ScratchFolder scratch;
        const std::string file = scratch.Write("config.json", test.config);
        std::vector<std::string> arguments;
        if (!test.map.empty()) {
            arguments = {"--map", test.map};
        }
        const std::string text = Preview(file, arguments).out;
        EXPECT_EQ(SectionLines(text, "Discord "), test.text) << test.name << "\n" << text;

        arguments.push_back("--json");
        const std::string json = Preview(file, arguments).out;
        Json discord;
        std::vector<std::tuple<std::string, bool, std::vector<std::pair<Json, std::string>>,
                               std::vector<std::pair<Json, std::string>>>>
            relays;
        const auto posts = [](const Json& list) {
            std::vector<std::pair<Json, std::string>> read;
            for (const Json& post : list) {
                read.emplace_back(post["username"], post["content"]);
            }
            return read;
        };
        for (const Json& line : JsonLines(json)) {
            if (line.value("type", "") == "discord") {
                EXPECT_TRUE(discord.is_null()) << "one discord line: " << json;
                discord = line;
            } else if (line.value("type", "") == "relay") {
                relays.emplace_back(line.value("code", line["entry"].get<std::string>()), line["relayed"],
                                    posts(line["posts"]), posts(line["digest_posts"]));
            }
        }
        EXPECT_EQ(discord, test.discord) << test.name;
        EXPECT_EQ(relays, test.relays) << test.name;
        // The posts in the transcript are the ones shown for the entries, and none is left unanswered at unload.
        std::size_t posted = 0;
        for (const Json& line : TranscriptLines(json)) {
            posted += line["type"] == "webhook" ? 1 : 0;
            EXPECT_THAT(line.value("text", ""), Not(HasSubstr("not relayed"))) << test.name;
        }
        std::size_t shown = 0;
        for (const auto& relay : test.relays) {
            shown += std::get<2>(relay).size();
        }
        EXPECT_EQ(posted, shown) << test.name << "\n" << json;
    }
}

// A webhook's address lets anyone who has it post to the channel: check and
// preview show its host alone, in every form they print, whatever the file
// does with it.
TEST(HeraldPreview, NoOutputHoldsTheWholeWebhook) {
    const std::string token = "Z9kTokenOfTheChannel";
    const std::string address = "https://discord.example/api/webhooks/1/" + token;
    const std::string items = R"("AsteroidGen2": {"Enable": false}, "Items": {
        "SupplyCrate_Level03_C": {"Notification": {"Msg": "crate", "Color": "0,255,0"}}})";
    const std::pair<const char*, std::string> configs[] = {
        {"relayed", "{" + items + R"(, "Discord": {"Webhook": ")" + address + R"("}})"},
        {"refused", "{" + items + R"(, "Discord": {"Webhook": "http://discord.example/)" + token + R"("}})"},
        {"with a space", "{" + items + R"(, "Discord": {"Webhook": ")" + address + R"( "}})"},
        {"among the groups", "{" + items + R"(, "Discord": {"Webhook": ")" + address + R"(", "Groups": [")" + address +
                                 R"("]}})"},
        {"as a key", "{" + items + R"(, "Discord": {")" + address + R"(": true}})"},
        {"that can't be parsed", "{" + items + R"(, "Discord": {"Webhook": ")" + address + "\t\"}}"},
    };
    for (const auto& [name, config] : configs) {
        const ScratchFolder scratch;
        const std::string file = scratch.Write("config.json", config);
        const std::string page = (scratch.root / "page.html").string();
        const Outcome outputs[] = {RunHerald({"check", file}), RunHerald({"check", file, "--json"}), Preview(file),
                                   Preview(file, {"--json"}), Preview(file, {"--html", page})};
        std::string all = ReadFile(page);
        for (const Outcome& outcome : outputs) {
            EXPECT_THAT(outcome.out, Not(HasSubstr(token))) << name << "\n" << outcome.out;
            EXPECT_THAT(outcome.err, Not(HasSubstr(token))) << name;
            all += outcome.out;
        }
        EXPECT_THAT(ReadFile(page), Not(HasSubstr(token))) << name;
        // Where the address is told of, it is by its host.
        EXPECT_THAT(all, HasSubstr("discord.example…")) << name;
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

TEST(HeraldPreview, FindingsComeFirstAndTheStatusIsChecksForEveryBrokenConfig) {
    for (const auto& file : fs::directory_iterator(Source / "tests" / "check-configs")) {
        const std::string path = file.path().string();
        for (const bool json : {false, true}) {
            std::ostringstream check;
            const int checkStatus = Herald::CheckCommand(path, json, check);
            const Outcome outcome =
                Preview(path, json ? std::vector<std::string>{"--json"} : std::vector<std::string>{});
            EXPECT_EQ(outcome.status, checkStatus) << path;
            EXPECT_THAT(outcome.out, ::testing::StartsWith(check.str())) << path;
            EXPECT_EQ(outcome.err, "") << path;
        }
    }
}

TEST(HeraldPreview, TheTranscriptIsWhatRunPrintsForTheSameSpawns) {
    const ScratchFolder scratch;
    const std::string text = R"({"Items": {
        "SupplyCrate_Level03_C": {"Notification": {"Msg": "", "Color": "0,255,0"}},
        "ElementNode_C": {"Notification": {"Type": "Chat", "Msg": "node", "Sender": "Herald"}}}, "AsteroidGen2": {"Enable": false}})";
    const std::string config = scratch.Write("config.json", text);
    // The same spawns written as a scenario: preview's transcript ends with
    // exactly what `herald run` prints for it.
    const Json spawn = {{"event", "spawn_structure"}, {"class", "container"}, {"location", {0, 0, 0}}};
    Json events = {spawn, spawn};
    events[0]["name"] = "SupplyCrate_Level03_C_1";
    events[1]["name"] = "ElementNode_C_1";
    const std::string scenario = scratch.Write(
        "scenario.json", Json{{"config_text", text}, {"players", {{{"name", "Survivor"}}}}, {"events", events}}.dump());
    for (const std::vector<std::string>& format : {std::vector<std::string>{}, {"--json"}}) {
        std::vector<std::string> arguments = {"run", scenario, "--plugin", HeraldTest::PluginPath};
        arguments.insert(arguments.end(), format.begin(), format.end());
        const Outcome run = RunHerald(arguments);
        ASSERT_EQ(run.status, 0) << run.err;
        ASSERT_THAT(run.out, HasSubstr("load"));
        EXPECT_THAT(Preview(config, format).out, ::testing::EndsWith(run.out)) << run.out;
    }
    const Outcome json = Preview(config, {"--json"});
    for (const Json& line : TranscriptLines(json.out)) {
        EXPECT_NE(line["type"], "refused") << line.dump();
    }
    EXPECT_THAT(TranscriptLines(json.out),
                ::testing::Contains(
                    Json::parse(R"({"type": "chat", "player": "Survivor", "sender": "Herald", "text": "node"})")));
    const Outcome human = Preview(config);
    EXPECT_THAT(human.out, HasSubstr("Server on TheIsland, 1 player\n"));
    EXPECT_THAT(human.out, HasSubstr("#0 spawn container SupplyCrate_Level03_C_1 at (0, 0, 0)\n#1 spawn container"));
    EXPECT_THAT(human.out, HasSubstr("chat  -> Survivor  Herald: \"node\""));
    EXPECT_THAT(human.out, Not(HasSubstr("HeraldPreview")));
    EXPECT_THAT(human.out, HasSubstr("1 sends nothing:\n    /Items/SupplyCrate_Level03_C: item container "
                                     "SupplyCrate_Level03_C_1 on TheIsland\n        warning "
                                     "/Items/SupplyCrate_Level03_C/Notification/Msg: empty Msg"));
}

TEST(HeraldPreview, AFileThePluginRefusesShowsTheRefusal) {
    const ScratchFolder scratch;
    const Outcome outcome = Preview(scratch.Write("config.json", "{\"Items\": {"), {"--json"});
    EXPECT_EQ(outcome.status, 2);
    const std::vector<Json> transcript = TranscriptLines(outcome.out);
    ASSERT_FALSE(transcript.empty()) << outcome.out;
    EXPECT_EQ(std::count_if(transcript.begin(), transcript.end(),
                            [](const Json& line) { return line["type"] == "load" && line["ok"] == false; }),
              1);
}

// The served preview goes on when the file goes away or turns into something
// the plugin won't read, and says which.
TEST(HeraldPreview, AServedPreviewSaysWhyTheFileIsNotPreviewed) {
    const ScratchFolder scratch;
    fs::create_directories(scratch.root / "folder.json");
    const std::string large = scratch.Write("large.json", "");
    fs::resize_file(large, ConfigFileSizeLimit + 1);
    const std::pair<std::string, std::string> cases[] = {
        {(scratch.root / "deleted.json").string(), "Nothing to preview: the file does not exist"},
        {(scratch.root / "folder.json").string(), "Nothing to preview: the plugin reads config.json only as a regular file"},
        {large, "Nothing to preview: the file is larger than the 16 MiB that the plugin reads"},
    };
    for (const auto& [path, says] : cases) {
        std::ostringstream out;
        Herald::PreviewOptions options;
        options.configPath = path;
        options.pluginPath = HeraldTest::PluginPath;
        const Herald::PagePreview page = Herald::PreviewToPage(options, out);
        EXPECT_THAT(out.str(), HasSubstr(says)) << path;
        EXPECT_EQ(page.status, 2) << path;
        EXPECT_FALSE(page.html.empty()) << path;
    }
}

// The plugin is loaded once for the whole preview, however many entries it
// spawns: the game memory it asks for is what one run of the same server and
// config asks for, not twice that.
TEST(HeraldPreview, LoadsThePluginOnce) {
    const ScratchFolder scratch;
    for (const std::string config : {"{}", R"({"Items": {}, "AsteroidGen2": {"Enable": false}})"}) {
        const std::string scenario = scratch.Write(
            "scenario.json", Json{{"config_text", config}, {"players", {{{"name", "Survivor"}}}}}.dump());
        const std::size_t beforeRun = StandIn::Allocator().allocations;
        ASSERT_EQ(RunHerald({"run", scenario, "--plugin", HeraldTest::PluginPath}).status, 0) << config;
        const std::size_t oneLoad = StandIn::Allocator().allocations - beforeRun;
        ASSERT_GT(oneLoad, 0u) << "a load the game's allocator doesn't see can't be counted";

        const std::size_t beforePreview = StandIn::Allocator().allocations;
        const Outcome outcome = Preview(scratch.Write("config.json", config));
        EXPECT_EQ(outcome.err, "") << config;
        EXPECT_EQ(StandIn::Allocator().allocations - beforePreview, oneLoad) << config;
    }
}

// Keys were once kept in file order by an object type whose every insertion
// searched the keys before it: 400,000 keys took some 10^11 comparisons, many
// minutes. The order is now read in one pass.
TEST(HeraldPreview, AnObjectOfManyKeysIsReadInOnePass) {
    const ScratchFolder scratch;
    std::string text = R"({"Items": {"ElementNode_C": {"Notification": {"Msg": "node", "Color": "0,255,0"}}},)"
                       R"( "AsteroidGen2": {"Enable": false}, "Junk": {)";
    for (int key = 0; key < 400000; ++key) {
        text += (key == 0 ? "\"k" : ", \"k") + std::to_string(key) + "\": 0";
    }
    text += "}}";
    const Outcome outcome = Preview(scratch.Write("config.json", text), {"--json"});
    EXPECT_EQ(outcome.status, 1) << outcome.err;  // Junk is an unknown key
    EXPECT_EQ(NotificationTexts(TranscriptLines(outcome.out)), std::vector<std::string>{"node"});
}

// The temporary folder this process uses, another one for a while.
struct TemporaryFolder {
    fs::path before = fs::temp_directory_path();
    explicit TemporaryFolder(const fs::path& folder) { Set(folder.string()); }
    ~TemporaryFolder() { Set(before.string()); }
    static void Set(const std::string& folder) {
#if defined(_WIN32)
        // GetTempPathW, which the library asks, reads the process's
        // environment block, not the C runtime's copy.
        SetEnvironmentVariableA("TMP", folder.c_str());
#else
        setenv("TMPDIR", folder.c_str(), 1);
#endif
    }
};

TEST(HeraldPreview, LeavesNothingInTheTemporaryFolder) {
    const ScratchFolder scratch;
    const fs::path temporary = scratch.root / "tmp";
    fs::create_directories(temporary);
    const std::string config = scratch.Write("config.json", ReadFile(ExampleConfig));
    Outcome ran;
    Outcome refused;
    {
        const TemporaryFolder folder(temporary);
        // Windows gives the folder with a separator at its end.
        ASSERT_EQ((fs::temp_directory_path() / "").lexically_normal(), (temporary / "").lexically_normal());
        ran = Preview(config, {"--json"});
        refused = RunHerald({"preview", config, "--plugin", (scratch.root / "no-plugin.so").string()});
    }
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(refused.status, 0) << refused.err;
    EXPECT_THAT(refused.out, HasSubstr("plugin refused to load"));
    EXPECT_TRUE(fs::is_empty(temporary));
}

// ---- The run kept in memory ------------------------------------------------------------

struct PlayedExample {
    std::string path;
    Herald::PlayedScenario played;
};

// An example scenario played in memory, as preview plays its plan.
PlayedExample PlayExample(const std::string& name) {
    PlayedExample example{(Source / "examples" / "scenarios" / name).string(), {}};
    std::ifstream file = Herald::OpenScenario(example.path);
    const Herald::ScenarioSetup setup = Herald::CheckScenario(file, example.path);
    std::vector<Herald::Event> events;
    file.clear();
    file.seekg(0);
    Herald::PlayEvents(file, example.path,
                       [&](std::size_t, const Herald::Event& event) { events.push_back(event); });
    const Herald::TemporaryServerFolder folder;
    example.played = Herald::PlayInMemory(setup, events, HeraldTest::PluginPath, folder);
    return example;
}

TEST(HeraldPlayedInMemory, PrintsWhatRunPrintsAsItPlays) {
    for (const char* name : {"tour.json", "reload.json"}) {
        const PlayedExample example = PlayExample(name);
        for (const auto format : {Herald::TranscriptFormat::Human, Herald::TranscriptFormat::Json}) {
            const bool json = format == Herald::TranscriptFormat::Json;
            std::vector<std::string> arguments = {"run", example.path, "--plugin", HeraldTest::PluginPath};
            if (json) {
                arguments.push_back("--json");
            }
            const Outcome run = RunHerald(arguments);
            ASSERT_EQ(run.status, 0) << run.err;
            std::ostringstream printed;
            Herald::PrintPlayed(example.played, format, printed);
            EXPECT_EQ(printed.str(), run.out) << name << (json ? " --json" : "");
        }
    }
}

// Takes `room` bytes, then fails as a pipe whose reader went away.
struct ClosingBuffer : std::streambuf {
    std::size_t room;
    explicit ClosingBuffer(std::size_t bytes) : room(bytes) {}
    int overflow(int c) override {
        if (room == 0) {
            return traits_type::eof();
        }
        --room;
        return c;
    }
};

TEST(HeraldPlayedInMemory, AClosedOutputStopsThePrintingWhereItWas) {
    const PlayedExample example = PlayExample("reload.json");
    std::ostringstream whole;
    Herald::PrintPlayed(example.played, Herald::TranscriptFormat::Human, whole);
    const std::string text = whole.str();
    const std::string closed = "the transcript can't be written any more (its output was closed)";
    struct Case {
        std::size_t room;
        std::string says;
    };
    // Each step is whole or the printing stops after it; the memory line is
    // the last that must fit.
    const Case cases[] = {
        {0, closed + "; stopped before the first event"},
        {text.find("\n#0 "), closed + "; stopped before the first event"},
        {text.find("\n#0 ") + 1, closed + "; stopped at event 0"},
        {text.find("\n#1 ") + 1, closed + "; stopped at event 1"},
        {text.size() - 1, closed},
        {text.size(), ""},
    };
    for (const Case& test : cases) {
        ClosingBuffer buffer(test.room);
        std::ostream out(&buffer);
        std::string says;
        try {
            Herald::PrintPlayed(example.played, Herald::TranscriptFormat::Human, out);
        } catch (const Herald::OutputClosed& error) {
            says = error.what();
        }
        EXPECT_EQ(says, test.says) << "room for " << test.room << " bytes";
    }
}

// ---- The page --------------------------------------------------------------------------

TEST(HeraldPreviewPage, ScreenColoursAreTheBytesTheAdminWrote) {
    for (int value = 0; value < 256; ++value) {
        const auto byte = static_cast<uint8_t>(value);
        const FColorBytes written{static_cast<uint8_t>(byte / 2), static_cast<uint8_t>(255 - byte), byte, 255};
        char expected[8];
        std::snprintf(expected, sizeof expected, "#%02x%02x%02x", value, 255 - value, value / 2);
        EXPECT_EQ(Herald::ScreenColor(LinearColor(written)), expected) << value;
        EXPECT_EQ(Herald::ConfigColor(LinearColor(written)),
                  std::to_string(value) + "," + std::to_string(255 - value) + "," + std::to_string(value / 2));
    }
    EXPECT_EQ(Herald::ScreenColor({1, 0, 0, 0.5F}), "rgba(255,0,0,0.500)");
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// The text of one entry's <article> on the page.
std::string Article(const std::string& page, const std::string& pointer) {
    const std::size_t start = page.find("<article class=\"entry");
    for (std::size_t at = start; at != std::string::npos; at = page.find("<article class=\"entry", at + 1)) {
        const std::size_t end = page.find("</article>", at);
        const std::string article = page.substr(at, end - at);
        if (article.find("data-entry=\"" + pointer + "\"") != std::string::npos) {
            return article;
        }
    }
    return {};
}

TEST(HeraldPreviewPage, ShowsEachAnnouncementAsSeenBesideItsFindings) {
    const ScratchFolder scratch;
    const std::string config = scratch.Write("config.json", R"({"EnableNests": true, "Items": {
        "SupplyCrate_Level15_C": {"Name": "<script>alert(1)</script> & \"crate\"", "Notification": {"Msg": "{Name}", "Color": "0,128,255", "Size": 1.5, "Time": 7}},
        "ElementNode_C": {"Notification": {"Type": "Chat", "Msg": "node </style>", "Sender": "Herald"}},
        "BeaverDam_C": {"Notification": {"Msg": "dam", "Color": "Random", "Size": 40}},
        "ArtifactCrate_Hunter_C": {"Notification": {"Msg": ""}}}, "AsteroidGen2": {"Enable": false}})");
    const std::string pagePath = (scratch.root / "page.html").string();
    const Outcome outcome = Preview(config, {"--html", pagePath});
    ASSERT_EQ(outcome.status, 1) << outcome.err;
    const std::string page = ReadFile(pagePath);

    // Self-contained, and the config's text never becomes markup.
    for (const char* outside : {"http:", "https:", "src=", "<link", "@import", "url(", "<script"}) {
        EXPECT_THAT(page, Not(HasSubstr(outside)));
    }
    EXPECT_EQ(page.find("</style>"), page.rfind("</style>"));

    const std::string crate = Article(page, "/Items/SupplyCrate_Level15_C");
    EXPECT_THAT(crate, HasSubstr("color:#0080ff;font-size:30.0px\">&lt;script&gt;alert(1)&lt;/script&gt; &amp; "
                                 "&quot;crate&quot;</div>"));
    EXPECT_THAT(crate, HasSubstr("shown 7 s"));
    EXPECT_THAT(crate, HasSubstr("no findings"));

    const std::string node = Article(page, "/Items/ElementNode_C");
    EXPECT_THAT(node,
                HasSubstr("<span class=\"sender\">Herald:</span> <span class=\"text\">node &lt;/style&gt;</span>"));

    const std::string dam = Article(page, "/Items/BeaverDam_C");
    EXPECT_THAT(dam, HasSubstr("font-size:60.0px"));  // size 40 drawn at the largest size
    EXPECT_THAT(dam, HasSubstr("size 40 (drawn at 3)"));
    EXPECT_THAT(dam, HasSubstr("Random: each player gets a colour of their own"));
    EXPECT_EQ(Occurrences(dam, "class=\"sample\""), 5u) << dam;

    const std::string artifact = Article(page, "/Items/ArtifactCrate_Hunter_C");
    EXPECT_THAT(artifact, HasSubstr("class=\"entry silent\""));
    EXPECT_THAT(artifact, HasSubstr("Sends nothing"));
    EXPECT_THAT(artifact, HasSubstr("/Notification/Msg</code> <span class=\"message\">empty Msg: nothing is sent"));
}

// A cooling entry's card shows its cooldown and, below its announcement, its
// digest drawn the same way; an entry without a cooldown shows neither.
TEST(HeraldPreviewPage, ShowsEachCooldownAndItsDigestBelowTheAnnouncement) {
    const ScratchFolder scratch;
    const std::string config = scratch.Write("config.json", R"({"AsteroidGen2": {"Enable": false},
        "Calm": {"Cooldown": 60, "Digest": "{Count} <b>more</b> {Name}"}, "Items": {
        "SupplyCrate_Level15_C": {"Name": "Crate", "Notification": {"Msg": "crate", "Color": "Random"}},
        "ElementNode_C": {"Cooldown": 30, "Notification": {"Type": "Chat", "Msg": "node", "Sender": "Herald"}},
        "BeaverDam_C": {"Cooldown": 45, "Notification": {"Msg": ""}},
        "ArtifactCrate_Hunter_C": {"Cooldown": 0, "Notification": {"Msg": "artifact", "Color": "0,255,0"}}}})");
    const std::string pagePath = (scratch.root / "page.html").string();
    ASSERT_EQ(Preview(config, {"--html", pagePath}).status, 1);
    const std::string page = ReadFile(pagePath);
    const struct {
        const char* pointer;
        std::vector<std::string> shows;
        std::vector<std::string> never;
    } cards[] = {
        {"/Items/SupplyCrate_Level15_C",
         {"<div class=\"group cooldown\">cooldown <b>60 s</b></div>",
          // A Random colour's draw differs between C runtimes, and a dark one
          // gets a class of its own: the class is checked up to there.
          "Its cooldown ends with 3 spawns held: the digest</div><div class=\"notification",
          "3 &lt;b&gt;more&lt;/b&gt; Crate</div>"},
         {"<b>more</b>"}},
        {"/Items/ElementNode_C",
         {"cooldown <b>30 s</b>",
          "<span class=\"sender\">Herald:</span> <span class=\"text\">3 &lt;b&gt;more&lt;/b&gt; ElementNode_C</span>"},
         {}},
        {"/Items/BeaverDam_C", {"cooldown <b>45 s</b>", "Its cooldown ends with 3 spawns held: no digest is sent"}, {}},
        {"/Items/ArtifactCrate_Hunter_C", {"artifact"}, {"cooldown", "digest"}},
    };
    for (const auto& card : cards) {
        const std::string article = Article(page, card.pointer);
        for (const std::string& shown : card.shows) {
            EXPECT_THAT(article, HasSubstr(shown)) << card.pointer;
        }
        for (const std::string& absent : card.never) {
            EXPECT_THAT(article, Not(HasSubstr(absent))) << card.pointer;
        }
    }
    // A Random colour is drawn for the digest as for the announcement.
    EXPECT_EQ(Occurrences(Article(page, "/Items/SupplyCrate_Level15_C"), "class=\"sample\""), 10u);
}

// Each relayed entry's card shows its post below its announcement, under the
// name it goes by, as posted; an entry of a group not relayed says so; the
// header says where posts go, by the webhook's host alone.
TEST(HeraldPreviewPage, ShowsEachPostToDiscordBelowTheAnnouncement) {
    const ScratchFolder scratch;
    const std::string config = scratch.Write("config.json", R"({"AsteroidGen2": {"Enable": false},
        "Calm": {"Digest": "{Count} <i>more</i>"},
        "Discord": {"Webhook": "https://discord.example/api/webhooks/1/key", "Groups": ["crates"], "Username": "<b>{MapName}</b>"},
        "Items": {
        "SupplyCrate_Level15_C": {"Cooldown": 60, "Notification": {"Msg": "crate *15* <script>", "Color": "0,255,0"}},
        "ElementNode_C": {"Notification": {"Type": "Chat", "Msg": "node", "Sender": "Herald"}}}})");
    const std::string pagePath = (scratch.root / "page.html").string();
    ASSERT_EQ(Preview(config, {"--html", pagePath}).status, 0);
    const std::string page = ReadFile(pagePath);
    EXPECT_THAT(page, HasSubstr("Announcements and digests are posted to Discord through the webhook at "
                                "<b>discord.example…</b>, of the groups <b>crates</b>"));
    EXPECT_THAT(page, Not(HasSubstr("api/webhooks")));
    const std::string crate = Article(page, "/Items/SupplyCrate_Level15_C");
    EXPECT_THAT(crate, HasSubstr("<div class=\"post\"><div class=\"username\">&lt;b&gt;TheIsland&lt;/b&gt;</div>"
                                 "<div class=\"content\">crate \\*15\\* \\&lt;script\\&gt;</div></div>"));
    EXPECT_THAT(crate, HasSubstr("<div class=\"content\">3 \\&lt;i\\&gt;more\\&lt;/i\\&gt;</div></div><div "
                                 "class=\"meta\"><span>post of the digest, as sent"));
    EXPECT_LT(crate.find("class=\"notification"), crate.find("class=\"post\"")) << "below what players see";
    const std::string node = Article(page, "/Items/ElementNode_C");
    EXPECT_THAT(node, HasSubstr("Not relayed to Discord: its group <b>nodes</b> is not in Discord &rarr; Groups"));
    EXPECT_THAT(node, Not(HasSubstr("class=\"post\"")));
}

// Bytes that are not UTF-8 read the same on the page as in the transcript,
// and as the game decodes them: E2 82 41 is two U+FFFD and an "A" in both,
// one for each byte that is not part of a character.
TEST(HeraldPreviewPage, TextThatIsNotUtf8ReadsAsTheTranscriptReadsIt) {
    const ScratchFolder scratch;
    const std::string map = "Th\xE2\x82" "A\xFF";
    const std::string pagePath = (scratch.root / "page.html").string();
    const Outcome outcome = Preview(ExampleConfig, {"--map", map, "--html", pagePath});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    const std::string read = "Th\uFFFD\uFFFDA\uFFFD";
    EXPECT_THAT(outcome.out, HasSubstr("Server on " + read + ", 1 player"));
    EXPECT_THAT(ReadFile(pagePath), HasSubstr("<h2>" + read + "<span"));
}

TEST(HeraldPreviewPage, APageThatCannotBeWrittenStopsBeforeAnythingIsPrinted) {
    const ScratchFolder scratch;
    const std::string config = scratch.Write("config.json", ReadFile(ExampleConfig));
    for (const std::string& page : {(scratch.root / "missing" / "page.html").string(), config}) {
        const Outcome outcome = Preview(config, {"--html", page});
        EXPECT_EQ(outcome.status, 2) << page;
        EXPECT_EQ(outcome.out, "") << page;
        EXPECT_EQ(Lines(outcome.err).size(), 1u) << outcome.err;
    }
    EXPECT_EQ(ReadFile(config), ReadFile(ExampleConfig)) << "the config is never overwritten";
}

}  // namespace

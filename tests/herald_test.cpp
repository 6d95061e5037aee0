// The herald program as an admin runs it: golden transcripts of the example
// scenarios, scenario files that don't fit the format, and what `check` finds
// in broken configs.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "Processes.h"
#include "Support.h"

namespace {

namespace fs = std::filesystem;
using HeraldTest::Lines;
using HeraldTest::ReadFile;
using ::testing::HasSubstr;
using Json = nlohmann::json;

using HeraldTest::Outcome;
using HeraldTest::RunHeraldProgram;
using HeraldTest::ScratchFolder;
using HeraldTest::Source;

// ---- Golden transcripts -------------------------------------------------------

class GoldenTranscript : public ::testing::TestWithParam<std::string> {};

// Twenty runs in a row, each the same: the store's and the relay's threads
// must not make a transcript depend on their timing.
TEST_P(GoldenTranscript, MatchesTheExpectedLinesInOrderOnEveryRun) {
    const fs::path scenario = Source / "examples" / "scenarios" / (GetParam() + ".json");
    const std::vector<std::string> golden = Lines(ReadFile(Source / "tests" / "golden" / (GetParam() + ".jsonl")));
    for (int run = 1; run <= 20; ++run) {
        const Outcome outcome = RunHeraldProgram({"run", scenario.string(), "--json"});
        ASSERT_EQ(outcome.status, 0) << "run " << run << "\n" << outcome.Output();
        ASSERT_THAT(Lines(outcome.Output()), ::testing::ElementsAreArray(golden)) << "run " << run;
    }
}

// Every example scenario, by its name.
std::vector<std::string> ExampleScenarioNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Source / "examples" / "scenarios")) {
        if (entry.path().extension() == ".json") {
            names.push_back(entry.path().stem().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

INSTANTIATE_TEST_SUITE_P(ExampleScenarios, GoldenTranscript, ::testing::ValuesIn(ExampleScenarioNames()));

TEST(HeraldRun, EveryExampleScenarioHasAGoldenTranscript) {
    for (const auto& entry : fs::directory_iterator(Source / "examples" / "scenarios")) {
        if (entry.path().extension() == ".json") {
            const fs::path golden = Source / "tests" / "golden" / (entry.path().stem().string() + ".jsonl");
            EXPECT_TRUE(fs::exists(golden)) << "no golden transcript for " << entry.path();
        }
    }
}

TEST(HeraldRun, TourPlaysTheExampleConfig) {
    const Json tour = Json::parse(ReadFile(Source / "examples" / "scenarios" / "tour.json"));
    // The example's reference to its schema is for editors; the plugin never reads it.
    Json example = Json::parse(ReadFile(Source / "examples" / "config.json"));
    example.erase("$schema");
    EXPECT_EQ(tour.at("config"), example);
}

TEST(HeraldRun, EveryLineIsOneJsonObjectAndTheLastIsMemory) {
    const Outcome outcome =
        RunHeraldProgram({"run", (Source / "examples" / "scenarios" / "reload.json").string(), "--json"});
    ASSERT_EQ(outcome.status, 0);
    const std::vector<std::string> lines = Lines(outcome.Output());
    ASSERT_FALSE(lines.empty());
    for (const std::string& line : lines) {
        EXPECT_TRUE(Json::parse(line, nullptr, false).is_object()) << line;
    }
    EXPECT_EQ(Json::parse(lines.back()), Json::parse(R"({"type": "memory", "live_blocks": 0, "live_bytes": 0})"));
}

TEST(HeraldRun, HumanTranscriptShowsWhoReceivedWhatInWhichColour) {
    const Outcome outcome = RunHeraldProgram({"run", (Source / "examples" / "scenarios" / "reload.json").string()});
    ASSERT_EQ(outcome.status, 0) << outcome.Output();
    EXPECT_THAT(outcome.Output(),
                HasSubstr("notification  -> Alice  \"White crate at 50.0 / 50.0\"  colour 0,255,0  size 1.2  time 10"));
    EXPECT_THAT(outcome.Output(), HasSubstr("refused  by host  Bob is not an admin"));
    EXPECT_THAT(outcome.Output(), HasSubstr("Game memory still held after unload: 0 blocks, 0 bytes"));
}

TEST(HeraldRun, PluginThatCannotBeLoadedIsReportedNotFatal) {
    const ScratchFolder scratch;
    const std::string scenario = scratch.Write("scenario.json", R"({"config": {}, "events": [{"event": "unload"}]})");
    const Outcome outcome = RunHeraldProgram({"run", scenario, "--json", "--plugin", "/nonexistent/Plugin.so"});
    EXPECT_EQ(outcome.status, 0);
    const std::vector<std::string> lines = Lines(outcome.Output());
    ASSERT_EQ(lines.size(), 2u) << outcome.Output();
    const Json load = Json::parse(lines[0]);
    EXPECT_EQ(load["type"], "load");
    EXPECT_EQ(load["ok"], false);
    EXPECT_THAT(load["error"].get<std::string>(), HasSubstr("/nonexistent/Plugin.so"));
    EXPECT_EQ(Json::parse(lines[1])["type"], "memory");
}

TEST(HeraldRun, ServerNotReadyTakesTheMapFromInitGame) {
    const ScratchFolder scratch;
    const std::string scenario = scratch.Write("scenario.json", R"({
      "server_ready": false, "map": "Ragnarok",
      "config": {"Items": {"SupplyCreate_OceanInstant_High_C": {"Notification": {"Msg": "{MapName}", "Color": "0,255,0"}}}},
      "players": [{"name": "Ann"}],
      "events": [
        {"event": "spawn_container", "name": "SupplyCreate_OceanInstant_High_C_1"},
        {"event": "init_game", "map": "Ragnarok"},
        {"event": "spawn_container", "name": "SupplyCreate_OceanInstant_High_C_2"}
      ]})");
    const Outcome outcome = RunHeraldProgram({"run", scenario, "--json"});
    ASSERT_EQ(outcome.status, 0) << outcome.Output();
    // Before InitGame the plugin knows no map, so the first crate is not announced.
    EXPECT_THAT(
        Lines(outcome.Output()),
        ::testing::ElementsAre(
            R"({"type": "load", "ok": true})",
            R"({"type": "notification", "player": "Ann", "text": "Ragnarok", "color": [0, 1, 0, 1], "size": 1.2, "time": 10})",
            R"({"type": "unload"})", R"({"type": "memory", "live_blocks": 0, "live_bytes": 0})"));
}

// ---- Scenarios that don't fit the format ----------------------------------------

struct BadScenario {
    const char* text;
    const char* expected;  // part of the message
};

TEST(HeraldRun, ScenarioThatDoesNotFitIsRefusedWithFileEventAndReason) {
    const BadScenario cases[] = {
        {R"([1])", "a scenario is one JSON object"},
        {R"({"events": [)", "not valid JSON"},
        {R"({"events": {}})", "\"events\" must be an array"},
        {R"({"evnets": []})", "unknown key \"evnets\""},
        {R"({"config": {}, "config_text": ""})", "not both"},
        {R"({"config": [1]})", "\"config\" must be an object"},
        {R"({"players": [{"admin": true}]})", "\"players\"[0]: \"name\" is missing"},
        {R"({"events": [{"event": "load"}, {"event": "explode"}]})", "event 1: unknown event \"explode\""},
        {R"({"events": [{"event": "load"}, {"event": "load"}, {"event": "spawn_structure"}]})",
         "event 2 (spawn_structure): \"name\" is missing"},
        {R"({"events": [{"event": "spawn_structure", "name": "A", "class": "box"}]})", "\"class\" must be"},
        {R"({"events": [{"event": "spawn_structure", "name": "A", "location": [1, 2]}]})",
         "\"location\" must be an array of three numbers"},
        {R"({"events": [{"event": "spawn_structure", "name": "A", "instigator": {"name": "D", "level": 1.5}}]})",
         "\"level\" must be a whole number"},
        {R"({"events": [{"event": "spawn_container", "name": "A", "position": [0, "1", 2]}]})",
         "\"position\"[1] must be a number"},
        {R"({"events": [{"event": "console", "command": "X"}]})", "\"player\" is missing"},
        {R"({"events": [{"event": "rcon", "command": "X", "id": 4294967296}]})", "outside the 32-bit range"},
        {R"({"events": [{"event": "write_config"}]})", "needs \"config\""},
        {R"({"events": [{"event": "world_settings", "LatitudeScale": "big"}]})", "\"LatitudeScale\" must be a number"},
        {R"({"events": [{"event": "init_game"}]})", "event 0 (init_game): \"map\" is missing"},
        {R"({"events": [{"event": "wait", "seconds": 86401}]})",
         "event 0 (wait): \"seconds\" must be a whole number from 1 to 86400, not 86401"},
        {R"({"events": [{"event": "chat", "player": "Ann", "text": 1}]})", "event 0 (chat): \"text\" must be a string"},
    };
    const ScratchFolder scratch;
    for (const BadScenario& bad : cases) {
        const std::string scenario = scratch.Write("scenario.json", bad.text);
        const Outcome outcome = RunHeraldProgram({"run", scenario, "--json"});
        EXPECT_EQ(outcome.status, 2) << bad.text;
        EXPECT_THAT(outcome.Output(), HasSubstr(scenario + ": ")) << bad.text;
        EXPECT_THAT(outcome.Output(), HasSubstr(bad.expected)) << bad.text;
        EXPECT_THAT(outcome.Output(), ::testing::Not(HasSubstr("\"type\""))) << "nothing may run: " << bad.text;
    }
}

TEST(HeraldRun, MissingScenarioFileIsRefused) {
    const Outcome outcome = RunHeraldProgram({"run", "/nonexistent/scenario.json"});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_THAT(outcome.Output(), HasSubstr("/nonexistent/scenario.json: can't open"));
}

// ---- herald check ------------------------------------------------------------------

struct ExpectedFinding {
    const char* severity;
    const char* path;
    const char* fragment;
};

struct CheckCase {
    const char* file;
    int status;
    std::vector<ExpectedFinding> findings;  // all of them, in order
};

TEST(HeraldCheck, FindsWhatWouldGoWrongInBrokenConfigs) {
    const CheckCase cases[] = {
        {"typos.json",
         1,
         {{"warning", "/EnableNest", "nearest known key: \"EnableNests\""},
          {"warning", "/Items/Foo", "no spawned object's name produces this key"},
          {"warning", "/Items/SupplyCrate_Level03_C_5", "did you mean \"SupplyCrate_Level03_C\"?"},
          {"warning", "/Items/SupplyCrate_Level03_C_5/Notification/Tmie", "nearest known key: \"Time\""}}},
        {"wrong-types.json",
         2,
         {{"error", "/EnableNests", "type must be boolean, but is string"},
          {"error", "/Items/BeaverDam_C/Notification/Msg", "type must be string, but is object"},
          {"warning", "/Items/BeaverDam_C/Notification/Time", "not read for chat lines"},
          {"error", "/Items/BeaverDam_C/Notification/Sender", "type must be string, but is number"},
          {"error", "/Items/ElementNode_C", "cannot use value() with string"},
          {"error", "/Items/SupplyCrate_Level03_C/Name", "type must be string, but is number"},
          {"error", "/Items/SupplyCrate_Level03_C/Notification/Time",
           "announcement is skipped and an error line is logged"},
          {"error", "/Items/SupplyCrate_Level03_C/Notification/Size", "type must be number, but is boolean"},
          {"error", "/Items/SupplyCrate_Level03_C/Notification/Color", "type must be string, but is array"}}},
        {"asteroids.json",
         2,
         {{"error", "/AsteroidGen2/Color", "missing while asteroid announcements are on"},
          {"error", "/AsteroidGen2/Name", "is an array, not an object"},
          {"error", "/AsteroidGen2/PrimaryResources/Metal", "type must be string, but is number"},
          {"warning", "/AsteroidGen2/Notification/Msg", "{Lat} is not filled in an asteroid announcement"},
          {"warning", "/AsteroidGen2/Notification/Color", "has no effect"}}},
        {"templates.json",
         1,
         {{"warning", "/Items/ArtifactCrate_Hunter_C/Notification", "not an object: nothing is sent"},
          {"warning", "/Items/BeaverDam_C", "not announced"},
          {"warning", "/Items/Dodo_Character_BP_C", "EnableNests is not true"},
          {"warning", "/Items/Dodo_Character_BP_C/Notification/Time", "7.9 is read as 7"},
          {"warning", "/Items/ElementNode_C/Notification", "no Notification: nothing is sent"},
          {"warning", "/Items/SupplyCrate_Level03_C/Notification/Msg", "{name} is written in other case"},
          {"warning", "/Items/SupplyCrate_Level03_C/Notification/Msg", "{Lat} is written twice"},
          {"warning", "/Items/SupplyCrate_Level03_C/Notification/Msg", "{EggLvl} is not filled"},
          {"warning", "/Items/SupplyCrate_Level03_C/Notification/Msg", "{Foo} is not a placeholder"},
          {"warning", "/Items/SupplyCrate_Level03_C/Notification/Color", "it shows green"},
          {"warning", "/Items/SupplyCrate_Level15_C/Notification/Msg", "empty Msg: nothing is sent"},
          {"warning", "/Items/SupplyCrate_Level15_C/Notification/Type", "write \"Notification\""},
          {"warning", "/Items/SupplyCreate_OceanInstant_High_C/Notification/Msg", "{EggLvl} is not filled"},
          {"warning", "/Items/SupplyCreate_OceanInstant_High_C/Notification/Color",
           "300 is outside 0 to 255 and shows as 44"},
          {"warning", "/Items/SupplyCreate_OceanInstant_High_C/Notification/Color",
           "-1 is outside 0 to 255 and shows as 255"}}},
        {"syntax.json", 2, {{"error", "", "parse error at line 3, column 5"}}},
        {"not-an-object.json", 2, {{"error", "", "the document is an array, not an object"}}},
        {"duplicates.json",
         1,
         {{"warning", "", "text after the document's end is ignored"},
          {"warning", "/Items/SupplyCrate_Level03_C", "given twice"},
          {"warning", "/Items/SupplyCrate_Level03_C/Notification/Msg", "given twice"},
          {"warning", "/Items", "given twice"}}},
        {"items-array.json",
         2,
         {{"error", "/AsteroidGen2", "is a number, not an object"},
          {"error", "/Items", "cannot use operator[] with a string argument with array"}}},
        {"does-not-exist.json", 2, {{"error", "", "Can't open config.json"}}},
    };
    for (const CheckCase& check : cases) {
        const Outcome outcome =
            RunHeraldProgram({"check", (Source / "tests" / "check-configs" / check.file).string(), "--json"});
        EXPECT_EQ(outcome.status, check.status) << check.file << "\n" << outcome.Output();
        const std::vector<std::string> lines = Lines(outcome.Output());
        ASSERT_EQ(lines.size(), check.findings.size()) << check.file << "\n" << outcome.Output();
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const Json finding = Json::parse(lines[i]);
            EXPECT_EQ(finding["severity"], check.findings[i].severity) << check.file << ": " << lines[i];
            EXPECT_EQ(finding["path"], check.findings[i].path) << check.file << ": " << lines[i];
            EXPECT_THAT(finding["message"].get<std::string>(), HasSubstr(check.findings[i].fragment))
                << check.file << ": " << lines[i];
        }
    }
}

TEST(HeraldCheck, ExampleConfigIsClean) {
    const Outcome json = RunHeraldProgram({"check", (Source / "examples" / "config.json").string(), "--json"});
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(json.Output(), "");
    const Outcome human = RunHeraldProgram({"check", (Source / "examples" / "config.json").string()});
    EXPECT_EQ(human.status, 0);
    EXPECT_THAT(human.Output(), HasSubstr("nothing to report"));
}

TEST(HeraldCheck, MissingAsteroidSectionIsOnlyAWarning) {
    const ScratchFolder scratch;
    const std::string config = scratch.Write(
        "config.json",
        R"({"Items": {"SupplyCrate_Level03_C": {"Notification": {"Msg": "{Name}", "Color": "0,255,0"}}}})");
    const Outcome outcome = RunHeraldProgram({"check", config, "--json"});
    EXPECT_EQ(outcome.status, 1) << outcome.Output();
    ASSERT_EQ(Lines(outcome.Output()).size(), 1u) << outcome.Output();
    EXPECT_EQ(Json::parse(outcome.Output())["path"], "/AsteroidGen2");
}

}  // namespace

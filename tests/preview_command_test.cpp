// herald preview as a whole: check's findings and status first, the
// transcript herald run prints, a file the plugin refuses or can't read, the
// plugin loaded once, and nothing left in the temporary folder.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "PreviewSupport.h"
#include "StandIn.h"
#include "Support.h"
#include "check/Check.h"
#include "config/ConfigLimits.h"
#include "preview/Preview.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace {

namespace fs = std::filesystem;
using HeraldTest::Outcome;
using HeraldTest::ReadFile;
using HeraldTest::ScratchFolder;
using ::testing::HasSubstr;
using ::testing::Not;
using Json = nlohmann::json;
using HeraldTest::Source;
using namespace PreviewTest;

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
        {(scratch.root / "folder.json").string(),
         "Nothing to preview: the plugin reads config.json only as a regular file"},
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
        const std::string scenario =
            scratch.Write("scenario.json", Json{{"config_text", config}, {"players", {{{"name", "Survivor"}}}}}.dump());
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

}  // namespace

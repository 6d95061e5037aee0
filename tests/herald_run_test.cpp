// `herald run` cut short and fed what is not a scenario file: the temporary
// server folder goes on every way out, paths that aren't regular files are
// refused at once, and hostile scenarios end in exit 2 naming the file.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "Processes.h"
#include "Support.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using Json = nlohmann::json;

using HeraldTest::HeraldProcess;
using HeraldTest::Nested;
using HeraldTest::Outcome;
using HeraldTest::ReadAll;
using HeraldTest::Repeat;
using HeraldTest::RunHeraldProgram;
using HeraldTest::ScratchFolder;
const fs::path Examples = fs::path(HERALD_SOURCE_DIR) / "examples" / "scenarios";

bool ExitedWith(int status, int code) { return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == code; }
bool KilledBy(int status, int signal) { return status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == signal; }

// A scenario whose transcript is far larger than a pipe holds: 2,000 crates
// announced to 20 players.
std::string LongScenario() {
    Json events = Json::array();
    for (int i = 0; i < 2000; ++i) {
        events.push_back({{"event", "spawn_structure"},
                          {"name", "SupplyCrate_Level03_C_" + std::to_string(i)},
                          {"class", "container"}});
    }
    Json players = Json::array();
    for (int i = 0; i < 20; ++i) {
        players.push_back({{"name", "Player" + std::to_string(i)}});
    }
    return Json{{"config", {{"Items", {{"SupplyCrate_Level03_C", {{"Notification", {{"Msg", "Crate at {Lat}"}}}}}}}}},
                {"players", players},
                {"events", events}}
        .dump();
}

// A config.json of 20,000 entries, each of which preview spawns once: its
// play takes long enough for a signal to reach it there, and its transcript
// is far larger than a pipe holds.
std::string LargeConfig() {
    Json items = Json::object();
    for (int i = 0; i < 20000; ++i) {
        items["Crate" + std::to_string(i) + "_C"] = {{"Notification", {{"Msg", "Crate at {Lat}"}}}};
    }
    return Json{{"Items", items}}.dump();
}

// Waits until herald has made its temporary folder and, when it prints as it
// plays, begun its transcript.
bool Playing(const HeraldProcess& herald, const ScratchFolder& tmpdir, bool printsWhilePlaying) {
    pollfd readable{herald.out, POLLIN, 0};
    for (int waited = 0; waited < 30000; ++waited) {
        if (!fs::is_empty(tmpdir.root) && (!printsWhilePlaying || ::poll(&readable, 1, 0) == 1)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

TEST(HeraldRunCutShort, LeavesNoTemporaryFolderOnAnyWayOut) {
    const ScratchFolder scenarios;
    const fs::path longScenario = scenarios.Write("long.json", LongScenario());
    const std::string tour = (Examples / "tour.json").string();

    // To its end, with or without a plugin that loads.
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"run", tour}, {"run", tour, "--json", "--plugin", "/nonexistent/Plugin.so"}}) {
        const ScratchFolder tmpdir;
        const Outcome run = RunHeraldProgram(arguments, tmpdir.root);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(fs::is_empty(tmpdir.root)) << arguments.back();
    }

    // Run prints as it plays; preview plays first, in its server folder, and
    // prints once the folder is gone. Each prints far more than a pipe holds.
    struct Command {
        std::vector<std::string> arguments;
        int closedStatus;  // when its reader goes away
        bool printsWhilePlaying;
    };
    const Command commands[] = {
        {{"run", longScenario.string(), "--json"}, 1, true},
        {{"preview", scenarios.Write("config.json", LargeConfig()), "--json"}, 2, false},
    };
    for (const Command& command : commands) {
        const std::string& name = command.arguments[0];
        // Its reader goes away after the first byte (`herald run ... | head -c 1`).
        {
            const ScratchFolder tmpdir;
            HeraldProcess herald(command.arguments, tmpdir.root);
            char first = 0;
            ASSERT_EQ(::read(herald.out, &first, 1), 1) << name;
            herald.CloseOutput();
            const int status = herald.Wait();
            EXPECT_TRUE(ExitedWith(status, command.closedStatus)) << name << ": status " << status;
            EXPECT_THAT(ReadAll(herald.err), HasSubstr("output was closed")) << name;
            EXPECT_TRUE(fs::is_empty(tmpdir.root)) << name << ": closed output";
        }

        // Ended by a signal mid-run, while its folder is there (and run's
        // output fills the pipe): the signal still ends herald, as it would
        // without the clean-up.
        for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
            const ScratchFolder tmpdir;
            HeraldProcess herald(command.arguments, tmpdir.root);
            ASSERT_TRUE(Playing(herald, tmpdir, command.printsWhilePlaying)) << name << ": " << strsignal(signal);
            ::kill(herald.pid, signal);
            const int status = herald.Wait();
            EXPECT_TRUE(KilledBy(status, signal)) << name << ": " << strsignal(signal) << ": status " << status;
            EXPECT_TRUE(fs::is_empty(tmpdir.root)) << name << ": " << strsignal(signal);
        }
    }
}

TEST(HeraldRunCutShort, UnusableTemporaryFolderIsExitTwoWithAMessage) {
    const ScratchFolder scenarios;
    const fs::path notAFolder = scenarios.Write("file", "");
    const fs::path config = scenarios.Write("config.json", "{}");
    for (const std::string& tmpdir : {std::string("/nonexistent/tmp"), notAFolder.string()}) {
        const Outcome run = RunHeraldProgram({"run", (Examples / "tour.json").string()}, tmpdir);
        EXPECT_EQ(run.status, 2) << tmpdir << ": " << run.err;
        EXPECT_THAT(run.err, HasSubstr("can't make a temporary server folder")) << tmpdir;
        EXPECT_THAT(run.err, HasSubstr(tmpdir));
        const Outcome preview = RunHeraldProgram({"preview", config.string()}, tmpdir);
        EXPECT_EQ(preview.status, 2) << tmpdir << ": " << preview.err;
        EXPECT_THAT(preview.err, HasSubstr("can't make a temporary folder")) << tmpdir;
        EXPECT_THAT(preview.err, HasSubstr(tmpdir));
        EXPECT_EQ(preview.out, "") << "nothing may be previewed";
        EXPECT_EQ(run.out, "") << "nothing may run";
    }
}

TEST(HeraldRunInput, PathsThatAreNotRegularFilesAreRefusedAtOnce) {
    const ScratchFolder scenarios;
    const fs::path fifo = scenarios.root / "fifo.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string path;
        const char* says;
    };
    const Case cases[] = {
        {fifo.string(), "is not a regular file"},  // would block until a writer came
        {"/dev/zero", "is not a regular file"},    // would never end
        {scenarios.root.string(), "is a folder"},  // was "unexpected end of input"
        {(scenarios.root / "missing.json").string(), "can't open the file"},
    };
    const ScratchFolder tmpdir;
    for (const Case& c : cases) {
        const Outcome run = RunHeraldProgram({"run", c.path}, tmpdir.root);
        EXPECT_EQ(run.status, 2) << c.path << ": status " << run.status;
        EXPECT_THAT(run.err, HasSubstr(c.path + ": " + c.says));
        EXPECT_EQ(run.out, "") << c.path;
    }
}

TEST(HeraldRunInput, HostileScenariosAreExitTwoNamingTheFileAndWhatIsWrong) {
    const ScratchFolder scenarios;
    const ScratchFolder tmpdir;
    struct Case {
        std::string text;
        std::string says;
    };
    const Case cases[] = {
        // Numbers beyond a double, wherever they stand.
        {R"({"map": 1e999})", "the number 1e999 (at byte 13) is beyond the range of a double"},
        {R"({"world_settings": {"LatitudeScale": -1e400}})", "the number -1e400"},
        {R"({"events": [{"event": "spawn_container", "name": "A", "position": [0, 1e309, 0]}]})",
         "beyond the range of a double"},
        {R"({"config": {"Items": {"A": {"Notification": {"Time": 1)" + std::string(400, '0') + "}}}}}",
         "the number 1000000000000000000000000000000000000000... (at byte 454) is beyond"},
        // A repeated key, at any level.
        {R"({"events": [{"event": "load"}], "events": []})", "the key \"events\" is given twice"},
        {R"({"events": [{"event": "load"}, {"event": "spawn_structure", "name": "A", "name": "B"}]})",
         "event 1: the key \"name\" is given twice"},
        {R"({"config": {"Items": {"A": {"Name": "x", "Name": "y"}}}})",
         "\"config\": the key \"Name\" is given twice at /Items/A"},
        {R"({"players": [{"name": "Ann", "admin": true, "admin": false}]})",
         "\"players\"[0]: the key \"admin\" is given twice"},
        // Where it is, in linear time however many "/" and "~" a key holds (this
        // once took most of an hour at 16 MiB).
        {R"({"config": {"Items": {")" + std::string(8u << 20, '/') + R"(~": {"Name": "x", "Name": "y"}}}})",
         "the key \"Name\" is given twice at /Items/" + Repeat("~1", 8u << 20) + "~0\n"},
        // Nested beyond what any config needs, as an array or as objects.
        {R"({"config": {"a": )" + Nested(10000) + "}}", "\"config\": nested more than 103 levels deep"},
        {Nested(100000), "nested more than 103 levels deep"},
        {R"({"events": [{"event": "write_config", "config": {"a": )" + Nested(100) + "}}]}",
         "event 0: nested more than 103 levels deep"},
        // A reply the host would never give.
        {R"({"events": [{"event": "webhook_reply", "status": 600}]})",
         "event 0 (webhook_reply): \"status\" must be a whole number from 100 to 599, not 600"},
        // A late syntax error is what is reported, before an early wrong value.
        {R"({"events": [{"event": "explode"}]])", "not valid JSON"},
    };
    for (const Case& c : cases) {
        const fs::path scenario = scenarios.Write("hostile.json", c.text);
        const Outcome run = RunHeraldProgram({"run", scenario.string(), "--json"}, tmpdir.root);
        const std::string shown = c.text.substr(0, 80);
        EXPECT_EQ(run.status, 2) << shown << ": status " << run.status << " " << run.err;
        EXPECT_THAT(run.err, HasSubstr(scenario.string() + ": ")) << shown;
        EXPECT_THAT(run.err, HasSubstr(c.says)) << shown;
        EXPECT_EQ(run.out, "") << "nothing may run: " << shown;
    }
}

// A config 100 levels deep: the object and 99 arrays.
const std::string DeepestConfig = R"({"a": )" + Nested(99) + "}";

TEST(HeraldRunInput, ScenariosAtTheEdgesOfTheFormatPlayAsWritten) {
    struct Case {
        const char* what;
        std::string text;
        bool json;
        std::vector<std::string> shown;
    };
    const Case cases[] = {
        {"an inline config as deep as the plugin reads, written compactly (with a line end)",
         R"({"events": [{"event": "write_config", "config": )" + DeepestConfig + R"(},
                        {"event": "write_config", "config": {"Items": {"A": [1, 2.5, "x"]}}}]})",
         false,
         {"#0 write config.json (205 bytes)", "#1 write config.json (28 bytes)"}},
        {"numbers beyond a float become infinities; just above the largest float, nearer to it, stays finite",
         R"({"events": [{"event": "spawn_structure", "name": "Rock", "location": [1e39, -3.5e38, -0.0]},
                        {"event": "world_settings", "LatitudeScale": 1e300, "LongitudeOrigin": 3.4028235e38}]})",
         false,
         {"#0 spawn structure Rock at (inf, -inf, -0)",
          "latitude scale inf, origin 0; longitude scale 0, origin 3.4028235e+38"}},
        {"events before the server's starting state in the file are still played after it",
         R"({"events": [{"event": "spawn_structure", "name": "SupplyCrate_Level03_C_1", "class": "container"}],
             "players": [{"name": "Ann"}], "map": "Ragnarok",
             "config": {"Items": {"SupplyCrate_Level03_C": {"Notification": {"Msg": "{MapName}", "Type": "Chat"}}}}})",
         true,
         {R"({"type": "chat", "player": "Ann", "sender": "Server", "text": "Ragnarok"})"}},
        {"a reply when no web request waits for one is turned away by the host, and the run goes on",
         R"({"events": [{"event": "webhook_reply", "status": 599, "headers": {"Retry-After": "2"}, "body": "x"},
                        {"event": "wait", "seconds": 1}]})",
         false,
         {"#0 webhook reply 599, 1 header, body of 1 byte\n"
          "    refused  by host  no web request is waiting for a reply\n"
          "#1 wait 1 second\n"}},
    };
    const ScratchFolder scenarios;
    const ScratchFolder tmpdir;
    for (const Case& c : cases) {
        const fs::path scenario = scenarios.Write("edge.json", c.text);
        std::vector<std::string> arguments = {"run", scenario.string()};
        if (c.json) {
            arguments.push_back("--json");
        }
        const Outcome run = RunHeraldProgram(arguments, tmpdir.root);
        ASSERT_EQ(run.status, 0) << c.what << ": " << run.err;
        for (const std::string& shown : c.shown) {
            EXPECT_THAT(run.out, HasSubstr(shown)) << c.what;
        }
    }
}

}  // namespace

// `herald run` cut short and fed what is not a scenario file: the temporary
// server folder goes on every way out, paths that aren't regular files are
// refused at once, and hostile scenarios end in exit 2 naming the file.

#include <fcntl.h>
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
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "Support.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using Json = nlohmann::json;

using HeraldTest::HeraldProgram;
const fs::path Examples = fs::path(HERALD_SOURCE_DIR) / "examples" / "scenarios";

// A folder of the test's own, removed afterwards.
struct Folder {
    fs::path path;
    explicit Folder(const std::string& what) {
        path = fs::temp_directory_path() / ("herald-run-test-" + what + "-" + std::to_string(::getpid()));
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~Folder() { fs::remove_all(path); }
    bool Empty() const { return fs::is_empty(path); }
    fs::path Write(const std::string& name, const std::string& text) const {
        std::ofstream(path / name, std::ios::binary) << text;
        return path / name;
    }
};

std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

// herald started with its own TMPDIR, its standard output on a pipe that the
// test reads (or doesn't), signals at their defaults.
struct Process {
    pid_t pid = -1;
    int out = -1;
    int err = -1;

    Process(const std::vector<std::string>& arguments, const std::string& tmpdir) {
        std::vector<std::string> words = {HeraldProgram.string()};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<std::string> environment;
        for (char** variable = environ; *variable != nullptr; ++variable) {
            if (std::strncmp(*variable, "TMPDIR=", 7) != 0) {
                environment.emplace_back(*variable);
            }
        }
        environment.push_back("TMPDIR=" + tmpdir);
        std::vector<char*> argv;
        std::vector<char*> envp;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        for (std::string& variable : environment) {
            envp.push_back(variable.data());
        }
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        int outPipe[2];
        int errPipe[2];
        if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) {
            return;
        }
        pid = ::fork();
        if (pid == 0) {
            ::dup2(outPipe[1], 1);
            ::dup2(errPipe[1], 2);
            for (const int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) {
                ::close(fd);
            }
            for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
                ::signal(signal, SIG_DFL);
            }
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(outPipe[1]);
        ::close(errPipe[1]);
        out = outPipe[0];
        err = errPipe[0];
    }
    ~Process() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        CloseOutput();
        if (err >= 0) {
            ::close(err);
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    void CloseOutput() {
        if (out >= 0) {
            ::close(out);
            out = -1;
        }
    }

    // The wait status, or -1 when herald is still running after 30 s (then it is killed).
    int Wait() {
        for (int waited = 0; waited < 3000; ++waited) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return status;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
};

// Runs herald to its end, its output read all along.
struct Finished {
    int status = -1;
    std::string out;
    std::string err;
};

// Reads both outputs until herald closes them, for 30 s at most: a herald
// that hangs is killed and gives status -1.
Finished RunToEnd(const std::vector<std::string>& arguments, const std::string& tmpdir) {
    Process herald(arguments, tmpdir);
    Finished finished;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    pollfd outputs[] = {{herald.out, POLLIN, 0}, {herald.err, POLLIN, 0}};
    std::string* texts[] = {&finished.out, &finished.err};
    while ((outputs[0].fd >= 0 || outputs[1].fd >= 0) && std::chrono::steady_clock::now() < deadline) {
        if (::poll(outputs, 2, 100) <= 0) {
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (outputs[i].fd >= 0 && outputs[i].revents != 0) {
                char buffer[4096];
                const ssize_t got = ::read(outputs[i].fd, buffer, sizeof buffer);
                if (got > 0) {
                    texts[i]->append(buffer, static_cast<std::size_t>(got));
                } else {
                    outputs[i].fd = -1;
                }
            }
        }
    }
    if (outputs[0].fd >= 0 || outputs[1].fd >= 0) {
        return finished;
    }
    finished.status = herald.Wait();
    return finished;
}

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
bool Playing(const Process& herald, const Folder& tmpdir, bool printsWhilePlaying) {
    pollfd readable{herald.out, POLLIN, 0};
    for (int waited = 0; waited < 30000; ++waited) {
        if (!tmpdir.Empty() && (!printsWhilePlaying || ::poll(&readable, 1, 0) == 1)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

TEST(HeraldRunCutShort, LeavesNoTemporaryFolderOnAnyWayOut) {
    const Folder scenarios("scenarios");
    const fs::path longScenario = scenarios.Write("long.json", LongScenario());
    const std::string tour = (Examples / "tour.json").string();

    // To its end, with or without a plugin that loads.
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"run", tour}, {"run", tour, "--json", "--plugin", "/nonexistent/Plugin.so"}}) {
        const Folder tmpdir("tmp");
        const Finished run = RunToEnd(arguments, tmpdir.path.string());
        EXPECT_TRUE(ExitedWith(run.status, 0)) << run.err;
        EXPECT_TRUE(tmpdir.Empty()) << arguments.back();
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
        {{"preview", scenarios.Write("config.json", LargeConfig()).string(), "--json"}, 2, false},
    };
    for (const Command& command : commands) {
        const std::string& name = command.arguments[0];
        // Its reader goes away after the first byte (`herald run ... | head -c 1`).
        {
            const Folder tmpdir("tmp");
            Process herald(command.arguments, tmpdir.path.string());
            char first = 0;
            ASSERT_EQ(::read(herald.out, &first, 1), 1) << name;
            herald.CloseOutput();
            const int status = herald.Wait();
            EXPECT_TRUE(ExitedWith(status, command.closedStatus)) << name << ": status " << status;
            EXPECT_THAT(ReadAll(herald.err), HasSubstr("output was closed")) << name;
            EXPECT_TRUE(tmpdir.Empty()) << name << ": closed output";
        }

        // Ended by a signal mid-run, while its folder is there (and run's
        // output fills the pipe): the signal still ends herald, as it would
        // without the clean-up.
        for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
            const Folder tmpdir("tmp");
            Process herald(command.arguments, tmpdir.path.string());
            ASSERT_TRUE(Playing(herald, tmpdir, command.printsWhilePlaying)) << name << ": " << strsignal(signal);
            ::kill(herald.pid, signal);
            const int status = herald.Wait();
            EXPECT_TRUE(KilledBy(status, signal)) << name << ": " << strsignal(signal) << ": status " << status;
            EXPECT_TRUE(tmpdir.Empty()) << name << ": " << strsignal(signal);
        }
    }
}

TEST(HeraldRunCutShort, UnusableTemporaryFolderIsExitTwoWithAMessage) {
    const Folder scenarios("scenarios");
    const fs::path notAFolder = scenarios.Write("file", "");
    const fs::path config = scenarios.Write("config.json", "{}");
    for (const std::string& tmpdir : {std::string("/nonexistent/tmp"), notAFolder.string()}) {
        const Finished run = RunToEnd({"run", (Examples / "tour.json").string()}, tmpdir);
        EXPECT_TRUE(ExitedWith(run.status, 2)) << tmpdir << ": " << run.err;
        EXPECT_THAT(run.err, HasSubstr("can't make a temporary server folder")) << tmpdir;
        EXPECT_THAT(run.err, HasSubstr(tmpdir));
        const Finished preview = RunToEnd({"preview", config.string()}, tmpdir);
        EXPECT_TRUE(ExitedWith(preview.status, 2)) << tmpdir << ": " << preview.err;
        EXPECT_THAT(preview.err, HasSubstr("can't make a temporary folder")) << tmpdir;
        EXPECT_THAT(preview.err, HasSubstr(tmpdir));
        EXPECT_EQ(preview.out, "") << "nothing may be previewed";
        EXPECT_EQ(run.out, "") << "nothing may run";
    }
}

TEST(HeraldRunInput, PathsThatAreNotRegularFilesAreRefusedAtOnce) {
    const Folder scenarios("scenarios");
    const fs::path fifo = scenarios.path / "fifo.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string path;
        const char* says;
    };
    const Case cases[] = {
        {fifo.string(), "is not a regular file"},  // would block until a writer came
        {"/dev/zero", "is not a regular file"},    // would never end
        {scenarios.path.string(), "is a folder"},  // was "unexpected end of input"
        {(scenarios.path / "missing.json").string(), "can't open the file"},
    };
    const Folder tmpdir("tmp");
    for (const Case& c : cases) {
        const Finished run = RunToEnd({"run", c.path}, tmpdir.path.string());
        EXPECT_TRUE(ExitedWith(run.status, 2)) << c.path << ": status " << run.status;
        EXPECT_THAT(run.err, HasSubstr(c.path + ": " + c.says));
        EXPECT_EQ(run.out, "") << c.path;
    }
}

// Nested n levels deep: [[[...]]].
std::string Nested(int levels) { return std::string(levels, '[') + std::string(levels, ']'); }

std::string Repeat(const std::string& piece, std::size_t times) {
    std::string text;
    text.reserve(piece.size() * times);
    while (times-- > 0) {
        text += piece;
    }
    return text;
}

TEST(HeraldRunInput, HostileScenariosAreExitTwoNamingTheFileAndWhatIsWrong) {
    const Folder scenarios("scenarios");
    const Folder tmpdir("tmp");
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
        // A late syntax error is what is reported, before an early wrong value.
        {R"({"events": [{"event": "explode"}]])", "not valid JSON"},
    };
    for (const Case& c : cases) {
        const fs::path scenario = scenarios.Write("hostile.json", c.text);
        const Finished run = RunToEnd({"run", scenario.string(), "--json"}, tmpdir.path.string());
        const std::string shown = c.text.substr(0, 80);
        EXPECT_TRUE(ExitedWith(run.status, 2)) << shown << ": status " << run.status << " " << run.err;
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
    };
    const Folder scenarios("scenarios");
    const Folder tmpdir("tmp");
    for (const Case& c : cases) {
        const fs::path scenario = scenarios.Write("edge.json", c.text);
        std::vector<std::string> arguments = {"run", scenario.string()};
        if (c.json) {
            arguments.push_back("--json");
        }
        const Finished run = RunToEnd(arguments, tmpdir.path.string());
        ASSERT_TRUE(ExitedWith(run.status, 0)) << c.what << ": " << run.err;
        for (const std::string& shown : c.shown) {
            EXPECT_THAT(run.out, HasSubstr(shown)) << c.what;
        }
    }
}

}  // namespace

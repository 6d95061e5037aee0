// The server every benchmark runs on: a folder of the benchmark's own, with
// config.json and the players' store where the plugin looks for them.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "ChosenPlayers.h"
#include "Scenarios.h"
#include "StandIn.h"

namespace HeraldBench {

namespace {

namespace fs = std::filesystem;

// One directory per process, removed when the process ends.
struct BenchDirectory {
    fs::path root;
    BenchDirectory() {
        root = fs::temp_directory_path() / ("herald-bench-" + std::to_string(::getpid()));
        fs::create_directories(root / "ArkApi" / "Plugins" / "SkyCrateHerald");
    }
    ~BenchDirectory() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    fs::path ConfigPath() const { return root / "ArkApi" / "Plugins" / "SkyCrateHerald" / "config.json"; }
    fs::path StorePath() const { return ConfigPath().parent_path() / ChosenStoreName; }
};

const BenchDirectory& Directory() {
    static const BenchDirectory directory;
    return directory;
}

void RemoveChosenStore() {
    std::error_code ignored;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        fs::remove(Directory().StorePath().string() + suffix, ignored);
    }
}

}  // namespace

void PrepareServer(const std::string& configText) {
    StandIn::ResetServer();
    StandIn::SetServerDirectory(Directory().root.string());
    RemoveChosenStore();
    std::ofstream file(Directory().ConfigPath(), std::ios::binary | std::ios::trunc);
    file << configText;
}

std::string ServerStorePath() { return Directory().StorePath().string(); }

}  // namespace HeraldBench

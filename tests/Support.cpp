#include "Support.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace HeraldTest {

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder() {
    // Random, not the process's id: tests run side by side in processes of
    // their own, and one test may hold several folders at once.
    std::random_device random;
    root = fs::temp_directory_path() / ("herald-test-" + std::to_string(random()) + std::to_string(random()));
    fs::create_directories(root);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

std::string ScratchFolder::Write(const std::string& name, const std::string& text) const {
    std::ofstream(root / name, std::ios::binary | std::ios::trunc) << text;
    return (root / name).string();
}

ServerDirectory::ServerDirectory() {
    fs::create_directories(root / "ArkApi" / "Plugins" / "SkyCrateHerald");
    StandIn::ResetServer();
    StandIn::SetServerDirectory(root.string());
}

fs::path ServerDirectory::ConfigPath() const { return root / "ArkApi" / "Plugins" / "SkyCrateHerald" / "config.json"; }

void ServerDirectory::WriteConfig(const nlohmann::json& document) const { WriteConfigText(document.dump(2)); }

void ServerDirectory::WriteConfigText(const std::string& text) const {
    std::ofstream file(ConfigPath(), std::ios::binary | std::ios::trunc);
    file << text;
}

void ServerDirectory::DeleteConfig() const { fs::remove(ConfigPath()); }

void ServerTest::LoadPlugin() {
    const StandIn::LoadResult result = StandIn::LoadPlugin(PluginPath);
    ASSERT_TRUE(result.ok) << result.error;
}

void ServerTest::TearDown() {
    StandIn::UnloadPlugin();
    EXPECT_EQ(StandIn::Allocator().liveBlocks, 0u) << "game allocator blocks left behind";
    EXPECT_EQ(StandIn::Allocator().liveBytes, 0u);
    EXPECT_THAT(StandIn::Allocator().faults, ::testing::IsEmpty());
}

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string Nested(int levels) {
    return std::string(static_cast<std::size_t>(levels), '[') + std::string(static_cast<std::size_t>(levels), ']');
}

std::string Repeat(std::string_view piece, std::size_t times) {
    std::string text;
    text.reserve(piece.size() * times);
    while (times-- > 0) {
        text += piece;
    }
    return text;
}

void SpawnCrate(const char16_t* name, float x, float y) {
    StandIn::StructureSpawn spawn;
    spawn.name = name;
    spawn.objectClass = StandIn::ObjectClass::ItemContainer;
    spawn.location = {x, y, 0};
    StandIn::SpawnStructure(spawn);
}

bool TickUntil(const std::function<bool()>& done, std::vector<std::string>* sent) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        StandIn::ClearRecords();
        StandIn::Wait(1);
        if (sent != nullptr) {
            for (const std::string& line : StandIn::Describe(StandIn::Records())) {
                sent->push_back(line);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::string StoreStatus() {
    StandIn::ClearRecords();
    StandIn::RconCommand("SkyCrateHerald.Status", 1);
    const std::string text = StandIn::Records().empty() ? std::string() : StandIn::Records().back().text;
    return text.substr(std::min(text.size(), text.find(" Store ")));
}

StoreLock::StoreLock(const std::filesystem::path& file) {
    held_ = sqlite3_open(file.string().c_str(), &db_) == SQLITE_OK &&
            sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
}

void StoreLock::Release() {
    if (db_ != nullptr) {
        sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db_);
        db_ = nullptr;
    }
    held_ = false;
}

}  // namespace HeraldTest

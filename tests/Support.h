#pragma once
// What every test stands on: a fresh stand-in server in its own directory,
// config.json written there, and the checks that the game's allocator holds
// nothing afterwards.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "StandIn.h"

struct sqlite3;

// GCC says AddressSanitizer is on with a macro, clang through __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define HERALD_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HERALD_ADDRESS_SANITIZER 1
#endif
#endif

namespace HeraldTest {

#if defined(HERALD_ADDRESS_SANITIZER)
inline constexpr bool AddressSanitizer = true;
#else
inline constexpr bool AddressSanitizer = false;
#endif

// The built plugin library, as the host loads it.
inline constexpr char PluginPath[] = HERALD_PLUGIN_PATH;
// The source tree, and the herald program of this build.
inline const std::filesystem::path Source = HERALD_SOURCE_DIR;
inline const std::filesystem::path HeraldProgram = std::filesystem::path(HERALD_BINARY_DIR) / "herald";

// A fresh folder of the test's own files, removed at destruction with all
// that was put in it.
struct ScratchFolder {
    std::filesystem::path root;
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Writes (or rewrites) the file of that name with exactly these bytes, and
    // gives its path as herald's arguments take it.
    std::string Write(const std::string& name, const std::string& text) const;
};

// A fresh server directory (removed at destruction), server reset.
struct ServerDirectory : ScratchFolder {
    ServerDirectory();

    std::filesystem::path ConfigPath() const;
    void WriteConfig(const nlohmann::json& document) const;
    void WriteConfigText(const std::string& text) const;
    void DeleteConfig() const;
};

// Each test starts on a reset server with its own directory; at the end any
// loaded plugin is unloaded and the game allocator must hold no live block.
class ServerTest : public ::testing::Test {
protected:
    ServerDirectory server;
    void TearDown() override;

    // Loads the built plugin; fails the test if it refuses.
    void LoadPlugin();
    std::vector<std::string> Transcript() const { return StandIn::Describe(StandIn::Records()); }
};

// How herald ended and what it said: its exit status (-1 when it did not end
// by exiting), its standard output and its standard error.
struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
    // Both, standard output first: what a terminal shows of a herald that
    // writes one after the other.
    std::string Output() const { return out + err; }
};

// A file's bytes, and a text's lines without their line ends.
std::string ReadFile(const std::filesystem::path& path);
std::vector<std::string> Lines(const std::string& text);

// Nested arrays, levels deep: [[[...]]].
std::string Nested(int levels);
// The piece, that many times over.
std::string Repeat(std::string_view piece, std::size_t times);

// A supply crate (an item container) of that name spawned at (x, y).
void SpawnCrate(const char16_t* name, float x = 0, float y = 0);

// The game's timer ticks, a pause of real time between ticks, until done says
// so or 10 s have passed: the players' store works on a thread of its own,
// beside the game. Whether done said so; sent, when given, gets what the
// ticks sent.
bool TickUntil(const std::function<bool()>& done, std::vector<std::string>* sent = nullptr);
// The players' store's part of SkyCrateHerald.Status, from " Store ".
std::string StoreStatus();

// Another server's write lock on an SQLite file, held until Release.
class StoreLock {
public:
    explicit StoreLock(const std::filesystem::path& file);
    ~StoreLock() { Release(); }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    bool Held() const { return held_; }
    void Release();

private:
    sqlite3* db_ = nullptr;
    bool held_ = false;
};

}  // namespace HeraldTest

#pragma once
// The measured paths, shared by the benchmarks and by the instruction-count
// program: one server set up per path, either with the built plugin loaded or
// with a floor detour of our own in its place that does only what the game and
// the framework make any implementation of the plugin pay.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

namespace HeraldBench {

enum class Path {
    Wall,                // a structure that is no item container, EnableNests false
    StorageBox,          // an item container whose name matches no fragment
    CrateWithoutEntry,   // a supply crate with no Items entry
    CrateNotification,   // an announced supply crate, as on-screen notification
    CrateChat,           // an announced supply crate, as chat line
    Nest,                // a nest announced with its creature's level
    AsteroidAnnounced,   // asteroid crates on "Gen2", the code changing every spawn
    AsteroidRepeated,    // asteroid crates on "Gen2", always the same code
    CrateChosen,         // CrateNotification with players' choices stored: a seventh of those
                         // connected turned crates off (ChosenStorePlayers)
    CrateHeld,           // the crate of CrateNotification held by its entry's running cooldown
                         // (Items → * → Cooldown, never over: the clock does not move)
    CrateAfterCooldown,  // CrateNotification with Calm → Cooldown set, each spawn coming once the
                         // cooldown the one before started has ended (a second of the timer between)
    CrateRelayed,        // CrateNotification relayed to Discord too, a post in flight: the line waits
};

enum class Side { Plugin, Floor };

const char* PathName(Path path);
// Parses a name given by PathName; false when there is none such.
bool ParsePath(const std::string& name, Path& path);

// How many players the store holds on CrateChosen, connected or not.
inline constexpr int ChosenStorePlayers = 1000;
// The second of the timer that takes CrateAfterCooldown's cooldown to its end.
inline constexpr int AfterCooldownSeconds = 1;
// CrateHeld's cooldown: longer than any measurement, since the clock does not move.
inline constexpr int HeldCooldownSeconds = 86400;

// The configuration every path runs against.
nlohmann::json BenchConfig(bool enableNests);
// The configuration of a path: BenchConfig, with what the path adds to it.
nlohmann::json PathConfig(Path path);

// A config.json of about the given size: BenchConfig padded with further item entries.
std::string ConfigOfSize(std::size_t bytes);

// A server set up for one path with the given number of connected players;
// torn down (plugin unloaded or floor detour removed, records cleared) at the end.
class PathRun {
public:
    PathRun(Path path, Side side, int players);
    ~PathRun();
    PathRun(const PathRun&) = delete;
    PathRun& operator=(const PathRun&) = delete;

    // One spawn through the stand-in; the stand-in's records are cleared as
    // they pile up, the same way on both sides.
    void SpawnOnce();

    // Deliveries made by the last SpawnOnce (0 when the path announces nothing).
    std::size_t LastDeliveries() const { return lastDeliveries_; }

    // Whether the game's time must pass between two spawns (BetweenSpawns),
    // which is not the spawn's cost and is left out of what is measured.
    bool NeedsTimeBetweenSpawns() const;
    void BetweenSpawns();

private:
    Path path_;
    Side side_;
    std::uint64_t count_ = 0;
    std::size_t lastDeliveries_ = 0;
};

// A server whose config.json has the given text, for reloads. With the plugin
// loaded its command reloads; on the floor side a command of our own only
// reads and parses the same file.
class ReloadRun {
public:
    ReloadRun(const std::string& configText, Side side);
    ~ReloadRun();
    ReloadRun(const ReloadRun&) = delete;
    ReloadRun& operator=(const ReloadRun&) = delete;

    void ReloadOnce();

private:
    Side side_;
    std::uint64_t count_ = 0;
};

// A player's change of choice, "/herald off crates" and "/herald on crates" in
// turn from one player, on the server of CrateChosen: the chat handler, its
// reply and the hand-over to the store's thread (whose own work is not
// counted), or the floor's.
class ChatRun {
public:
    ChatRun(Side side, int players);
    ~ChatRun();
    ChatRun(const ChatRun&) = delete;
    ChatRun& operator=(const ChatRun&) = delete;

    void ChangeOnce();

private:
    Side side_;
    std::uint64_t count_ = 0;
};

// A fresh server in the benchmark's own directory, config.json written and
// no players' store.
void PrepareServer(const std::string& configText);

// ---- Players' choices ----------------------------------------------------------

// The config of CrateChosen: BenchConfig with Players → Store set.
nlohmann::json ChosenConfig();
// Where a server's players' store is, as ChosenConfig names it.
std::string ServerStorePath();
// Connects players as CrateChosen does: "Survivor" and the number, with a
// Steam id of 17 digits.
void ConnectChosenPlayers(int players);
// How many of so many players connected as CrateChosen connects them hear a crate.
std::size_t ChosenHearers(int players);
// Writes the store of CrateChosen at path through the plugin's own ChoiceStore,
// a transaction per player as the chat command saves: the connected players'
// choices, then players not connected up to storedPlayers in all (their
// choices take 1.25 rows each on average). Gives the number of rows.
std::size_t WriteChosenStore(const std::string& path, int connected, int storedPlayers);

}  // namespace HeraldBench

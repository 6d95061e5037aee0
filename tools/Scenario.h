#pragma once
// A scenario file: the server's starting state and the events the game goes
// through, read and checked whole before anything runs.

#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace Herald {

// A scenario that can't be read or doesn't fit the format; the text names the
// file, the event's index when there is one, and what is wrong.
struct ScenarioError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct WorldSettings {
    float latitudeScale = 0;
    float latitudeOrigin = 0;
    float longitudeScale = 0;
    float longitudeOrigin = 0;
};

struct Player {
    std::string name;
    bool admin = false;
};

struct Position {
    float x = 0;
    float y = 0;
    float z = 0;
};

enum class SpawnClass { Container, Structure, Other };
enum class InstigatorClass { Dino, Other };

struct InstigatorSpec {
    std::string name;
    InstigatorClass objectClass = InstigatorClass::Dino;
    int level = 1;
    bool statusComponent = true;
};

struct LoadEvent {};
struct UnloadEvent {};
struct InitGameEvent {
    std::string map;
};
struct SpawnStructureEvent {
    std::string name;
    SpawnClass objectClass = SpawnClass::Structure;
    Position location;
    std::optional<InstigatorSpec> instigator;
};
struct SpawnContainerEvent {
    std::string name;
    Position position;
    bool rootComponent = true;
};
struct ConnectEvent {
    Player player;
};
struct DisconnectEvent {
    std::string player;
};
struct ConsoleEvent {
    std::optional<std::string> player;  // none: the server's own console
    std::string command;
};
struct RconEvent {
    std::string command;
    int id = 0;
};
// The bytes to write as config.json; none: delete it.
struct ConfigFileEvent {
    std::optional<std::string> text;
};
struct WorldSettingsEvent {
    WorldSettings settings;
};

using Event = std::variant<LoadEvent, UnloadEvent, InitGameEvent, SpawnStructureEvent, SpawnContainerEvent,
                           ConnectEvent, DisconnectEvent, ConsoleEvent, RconEvent, ConfigFileEvent, WorldSettingsEvent>;

struct Scenario {
    std::optional<std::string> configText;  // none: no config.json at the start
    bool serverReady = true;
    std::string map = "TheIsland";
    WorldSettings worldSettings;
    std::vector<Player> players;
    std::vector<Event> events;
};

// Reads and checks a scenario file; raises ScenarioError.
Scenario ReadScenario(const std::string& path);

}  // namespace Herald

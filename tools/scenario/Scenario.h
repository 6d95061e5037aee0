#pragma once
// A scenario file: the server's starting state and the events the game goes
// through. It is read twice: once to check all of it before anything runs,
// then again to play its events one by one as they are read, so that memory
// stays flat however many events there are.

#include <cstddef>
#include <fstream>
#include <functional>
#include <istream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "config/ConfigLimits.h"

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
    std::optional<std::string> id;  // none: the game reports the name as the player's unique id
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
// A line a connected player sends to global chat.
struct ChatEvent {
    std::string player;
    std::string text;
};
// The game runs on for that many seconds, its timers running after each.
struct WaitEvent {
    int seconds = 1;
};
// The bytes to write as config.json; none: delete it.
struct ConfigFileEvent {
    std::optional<std::string> text;
};
struct WorldSettingsEvent {
    WorldSettings settings;
};
// What the oldest web request the plugin made and that has no reply yet gets
// back at the next tick of the game's clock.
struct WebhookReplyEvent {
    int status = 204;
    std::vector<std::pair<std::string, std::string>> headers;  // in the order of their names
    std::string body;
};

using Event = std::variant<LoadEvent, UnloadEvent, InitGameEvent, SpawnStructureEvent, SpawnContainerEvent,
                           ConnectEvent, DisconnectEvent, ConsoleEvent, RconEvent, ConfigFileEvent, WorldSettingsEvent,
                           ChatEvent, WaitEvent, WebhookReplyEvent>;

// The longest wait one event asks for: a day of game time. Every second runs
// the plugin's timers once, so a longer stretch is a few events in a row, and
// a typo of a few more digits can't keep herald busy for hours.
inline constexpr int WaitSecondsLimit = 86400;

// A scripted reply holds what the host keeps of a live one: at most 100
// headers and a body of at most 64 KiB.
inline constexpr std::size_t ReplyHeadersLimit = 100;
inline constexpr std::size_t ReplyBodyLimit = 64 * 1024;

// The map a scenario's server runs, and a preview's structures spawn on, when none is named.
inline constexpr char DefaultMap[] = "TheIsland";

// What the server starts with, before the first event.
struct ScenarioSetup {
    std::optional<std::string> configText;  // none: no config.json at the start
    bool serverReady = true;
    std::string map = DefaultMap;
    WorldSettings worldSettings;
    std::vector<Player> players;
};

// How deeply arrays and objects may nest in a scenario: deep enough for an
// inline config as deep as the plugin reads (a write_config event's config
// sits three levels down: the scenario, "events", the event), and no deeper,
// so that a hostile file can't make herald recurse or allocate without bound.
// A deeper config.json can still be tried byte for byte through "text".
inline constexpr int ScenarioDepthLimit = ConfigDepthLimit + 3;

// Opens a scenario file for reading. Only regular files: a pipe could block
// forever and a device never end. Raises ScenarioError.
std::ifstream OpenScenario(const std::string& path);

// The first pass: checks the whole scenario, keeping none of its events, and
// gives what the server starts with. Raises ScenarioError, whose text begins
// with `file`, for anything that can't be read or doesn't fit the format.
ScenarioSetup CheckScenario(std::istream& bytes, const std::string& file);

// The same for scenario text held in memory (what the fuzz target calls).
// Raises only ScenarioError; time and memory grow linearly with the text.
ScenarioSetup CheckScenarioText(std::string_view text, const std::string& file);

// The second pass, over a scenario CheckScenario accepted: hands each event to
// `play` as soon as it has been read, in order, with its index in "events".
using EventPlayer = std::function<void(std::size_t index, const Event& event)>;
void PlayEvents(std::istream& bytes, const std::string& file, const EventPlayer& play);

}  // namespace Herald

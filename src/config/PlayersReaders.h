#pragma once
// Groups of announcements and the Players settings: what players may choose
// to hear, and where their choices are kept.

#include <cstddef>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A group's name: 1 to 32 ASCII letters, digits, '-' and '_'. Groups are
// compared in any case; GroupFold gives the form they are compared and stored in.
inline constexpr std::size_t GroupNameLimit = 32;
bool IsGroupName(std::string_view text);
std::string GroupFold(std::string_view group);

// The group of an entry without a Group of its own: the kind its key names.
inline constexpr std::string_view CratesGroup = "crates";
inline constexpr std::string_view NodesGroup = "nodes";
inline constexpr std::string_view ArtifactsGroup = "artifacts";
inline constexpr std::string_view DamsGroup = "dams";
inline constexpr std::string_view OceanGroup = "ocean";
inline constexpr std::string_view NestsGroup = "nests";
std::string_view KindGroup(std::string_view itemKey);
// The group an Items entry's announcements belong to: its Group when that is a
// group's name, otherwise the kind's (herald check reports any other Group).
// Never raises.
std::string_view GroupOf(const nlohmann::json& entry, std::string_view itemKey);
// AsteroidGen2's Group, DefaultAsteroidGroup when it has none that is a group's name.
std::string_view AsteroidGroupOf(const nlohmann::json& asteroids);

// A chat command's name: '/' then 1 to 32 ASCII letters or digits.
inline constexpr std::size_t ChatCommandNameLimit = 32;
bool IsChatCommandName(std::string_view text);

// Whether Players' Store names a file: a text, not empty, with no zero
// character (the file's name would end there).
bool IsStorePath(const nlohmann::json& store);

// Whether a store's path names a network share by its server (\\server\share\…
// or //server/share/…), on any system: the plugin refuses such a store, and
// herald check says so wherever it runs.
bool NamesNetworkShare(std::string_view store);

// Why a store on a network share is refused.
inline constexpr std::string_view NetworkShareRefusal =
    "Players → Store is on a network share, where SQLite can't keep a shared file safe: use a mariadb:// store for "
    "servers on several machines (docs/deploying.md)";

// Players: whether players choose, the chat command and the store's path as
// written. An Enable or Command not of its key's form is replaced by the
// default; a Store that is no path leaves none. problems names each, as the
// log words it. Never raises.
struct PlayersSettings {
    bool enabled = true;
    std::string command;
    std::optional<std::string> store;
    std::vector<std::string> problems;
};
PlayersSettings PlayersSettingsOf(const nlohmann::json& document);

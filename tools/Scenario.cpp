#include "Scenario.h"

#include <cmath>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

namespace Herald {

namespace {

using Json = nlohmann::json;

// Where in the file a value sits, for messages: "event 3 (spawn_structure)", "\"players\"[1]".
class Reader {
public:
    Reader(std::string file, std::string where) : file_(std::move(file)), where_(std::move(where)) {}

    [[noreturn]] void Fail(const std::string& what) const {
        throw ScenarioError(file_ + ": " + (where_.empty() ? "" : where_ + ": ") + what);
    }

    Reader Inside(const std::string& where) const {
        return Reader(file_, where_.empty() ? where : where_ + ", " + where);
    }

    // Only the keys named may appear: a misspelt key would otherwise be a
    // silent default.
    void OnlyKeys(const Json& object, std::initializer_list<const char*> known) const {
        for (const auto& [key, value] : object.items()) {
            bool found = false;
            for (const char* name : known) {
                found = found || key == name;
            }
            if (!found) {
                std::string list;
                for (const char* name : known) {
                    list += (list.empty() ? "\"" : ", \"") + std::string(name) + "\"";
                }
                Fail("unknown key \"" + key + "\" (expected one of " + list + ")");
            }
        }
    }

    std::string Text(const Json& object, const char* key, std::optional<std::string> fallback = std::nullopt) const {
        const auto found = object.find(key);
        if (found == object.end()) {
            if (!fallback) {
                Fail(std::string("\"") + key + "\" is missing (a string)");
            }
            return *fallback;
        }
        if (!found->is_string()) {
            Fail(std::string("\"") + key + "\" must be a string, not " + found->type_name());
        }
        return found->get<std::string>();
    }

    bool Boolean(const Json& object, const char* key, bool fallback) const {
        const auto found = object.find(key);
        if (found == object.end()) {
            return fallback;
        }
        if (!found->is_boolean()) {
            Fail(std::string("\"") + key + "\" must be true or false, not " + found->type_name());
        }
        return found->get<bool>();
    }

    float Number(const Json& value, const std::string& what) const {
        if (!value.is_number()) {
            Fail(what + " must be a number, not " + value.type_name());
        }
        return static_cast<float>(value.get<double>());
    }

    int Integer(const Json& object, const char* key, int fallback) const {
        const auto found = object.find(key);
        if (found == object.end()) {
            return fallback;
        }
        const std::string what = std::string("\"") + key + "\"";
        if (!found->is_number_integer()) {
            Fail(what + " must be a whole number, not " + found->type_name());
        }
        const bool fits = found->is_number_unsigned()
                              ? found->get<std::uint64_t>() <= std::uint64_t{std::numeric_limits<int>::max()}
                              : found->get<std::int64_t>() >= std::numeric_limits<int>::min() &&
                                    found->get<std::int64_t>() <= std::numeric_limits<int>::max();
        if (!fits) {
            Fail(what + " is outside the 32-bit range");
        }
        return found->get<int>();
    }

    Position Vector(const Json& object, const char* key) const {
        const auto found = object.find(key);
        if (found == object.end()) {
            return {};
        }
        const std::string what = std::string("\"") + key + "\"";
        if (!found->is_array() || found->size() != 3) {
            Fail(what + " must be an array of three numbers [x, y, z]");
        }
        return {Number((*found)[0], what + "[0]"), Number((*found)[1], what + "[1]"),
                Number((*found)[2], what + "[2]")};
    }

    const Json& Object(const Json& object, const char* key) const {
        const Json& value = object.at(key);
        if (!value.is_object()) {
            Fail(std::string("\"") + key + "\" must be an object, not " + value.type_name());
        }
        return value;
    }

private:
    std::string file_;
    std::string where_;
};

constexpr std::initializer_list<const char*> WorldSettingKeys = {"LatitudeScale", "LatitudeOrigin", "LongitudeScale",
                                                                 "LongitudeOrigin"};

WorldSettings ReadWorldSettings(const Reader& reader, const Json& object) {
    const auto field = [&](const char* key) {
        const auto found = object.find(key);
        return found == object.end() ? 0.0f : reader.Number(*found, std::string("\"") + key + "\"");
    };
    return {field("LatitudeScale"), field("LatitudeOrigin"), field("LongitudeScale"), field("LongitudeOrigin")};
}

Player ReadPlayer(const Reader& reader, const Json& object, const char* nameKey) {
    return {reader.Text(object, nameKey), reader.Boolean(object, "admin", false)};
}

// The bytes written for a config: a document as an object, or text as given.
std::optional<std::string> ReadConfigSource(const Reader& reader, const Json& object, const char* documentKey,
                                            const char* textKey, bool required) {
    const bool hasDocument = object.contains(documentKey);
    const bool hasText = object.contains(textKey);
    if (hasDocument && hasText) {
        reader.Fail(std::string("give either \"") + documentKey + "\" or \"" + textKey + "\", not both");
    }
    if (hasDocument) {
        return reader.Object(object, documentKey).dump(2) + "\n";
    }
    if (hasText) {
        return reader.Text(object, textKey);
    }
    if (required) {
        reader.Fail(std::string("needs \"") + documentKey + "\" (an object) or \"" + textKey + "\" (a string)");
    }
    return std::nullopt;
}

SpawnStructureEvent ReadSpawnStructure(const Reader& reader, const Json& object) {
    reader.OnlyKeys(object, {"event", "name", "class", "location", "instigator"});
    SpawnStructureEvent spawn;
    spawn.name = reader.Text(object, "name");
    const std::string objectClass = reader.Text(object, "class", "structure");
    if (objectClass == "container") {
        spawn.objectClass = SpawnClass::Container;
    } else if (objectClass == "structure") {
        spawn.objectClass = SpawnClass::Structure;
    } else if (objectClass == "other") {
        spawn.objectClass = SpawnClass::Other;
    } else {
        reader.Fail("\"class\" must be \"container\", \"structure\" or \"other\", not \"" + objectClass + "\"");
    }
    spawn.location = reader.Vector(object, "location");
    if (object.contains("instigator")) {
        const Json& instigator = reader.Object(object, "instigator");
        const Reader inside = reader.Inside("\"instigator\"");
        inside.OnlyKeys(instigator, {"name", "class", "level", "status_component"});
        InstigatorSpec spec;
        spec.name = inside.Text(instigator, "name");
        const std::string instigatorClass = inside.Text(instigator, "class", "dino");
        if (instigatorClass == "dino") {
            spec.objectClass = InstigatorClass::Dino;
        } else if (instigatorClass == "other") {
            spec.objectClass = InstigatorClass::Other;
        } else {
            inside.Fail("\"class\" must be \"dino\" or \"other\", not \"" + instigatorClass + "\"");
        }
        spec.level = inside.Integer(instigator, "level", 1);
        spec.statusComponent = inside.Boolean(instigator, "status_component", true);
        spawn.instigator = spec;
    }
    return spawn;
}

Event ReadEvent(const Reader& file, const Json& object, std::size_t index) {
    const Reader indexed = file.Inside("event " + std::to_string(index));
    if (!object.is_object()) {
        indexed.Fail(std::string("must be an object, not ") + object.type_name());
    }
    const std::string kind = indexed.Text(object, "event");
    const Reader reader = file.Inside("event " + std::to_string(index) + " (" + kind + ")");
    if (kind == "load" || kind == "unload" || kind == "delete_config") {
        reader.OnlyKeys(object, {"event"});
        if (kind == "load") {
            return LoadEvent{};
        }
        return kind == "unload" ? Event{UnloadEvent{}} : Event{ConfigFileEvent{}};
    }
    if (kind == "init_game") {
        reader.OnlyKeys(object, {"event", "map"});
        return InitGameEvent{reader.Text(object, "map")};
    }
    if (kind == "spawn_structure") {
        return ReadSpawnStructure(reader, object);
    }
    if (kind == "spawn_container") {
        reader.OnlyKeys(object, {"event", "name", "position", "root_component"});
        return SpawnContainerEvent{reader.Text(object, "name"), reader.Vector(object, "position"),
                                   reader.Boolean(object, "root_component", true)};
    }
    if (kind == "connect") {
        reader.OnlyKeys(object, {"event", "player", "admin"});
        return ConnectEvent{ReadPlayer(reader, object, "player")};
    }
    if (kind == "disconnect") {
        reader.OnlyKeys(object, {"event", "player"});
        return DisconnectEvent{reader.Text(object, "player")};
    }
    if (kind == "console") {
        reader.OnlyKeys(object, {"event", "player", "command"});
        ConsoleEvent console;
        const auto player = object.find("player");
        if (player == object.end()) {
            reader.Fail("\"player\" is missing (a player's name, or null for the server's own console)");
        }
        if (!player->is_null()) {
            console.player = reader.Text(object, "player");
        }
        console.command = reader.Text(object, "command");
        return console;
    }
    if (kind == "rcon") {
        reader.OnlyKeys(object, {"event", "command", "id"});
        return RconEvent{reader.Text(object, "command"), reader.Integer(object, "id", 0)};
    }
    if (kind == "write_config") {
        reader.OnlyKeys(object, {"event", "config", "text"});
        return ConfigFileEvent{ReadConfigSource(reader, object, "config", "text", true)};
    }
    if (kind == "world_settings") {
        std::initializer_list<const char*> keys = {"event", "LatitudeScale", "LatitudeOrigin", "LongitudeScale",
                                                   "LongitudeOrigin"};
        reader.OnlyKeys(object, keys);
        return WorldSettingsEvent{ReadWorldSettings(reader, object)};
    }
    indexed.Fail("unknown event \"" + kind +
                 "\" (expected load, unload, init_game, spawn_structure, spawn_container, connect, disconnect, "
                 "console, rcon, write_config, delete_config or world_settings)");
}

}  // namespace

Scenario ReadScenario(const std::string& path) {
    const Reader file(path, "");
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        file.Fail("can't open the file");
    }
    std::ostringstream bytes;
    bytes << stream.rdbuf();
    Json document;
    try {
        document = Json::parse(bytes.str());
    } catch (const Json::parse_error& error) {
        file.Fail(std::string("not valid JSON: ") + error.what());
    }
    if (!document.is_object()) {
        file.Fail(std::string("a scenario is one JSON object, not ") + document.type_name());
    }
    file.OnlyKeys(document, {"config", "config_text", "server_ready", "map", "world_settings", "players", "events"});

    Scenario scenario;
    scenario.configText = ReadConfigSource(file, document, "config", "config_text", false);
    scenario.serverReady = file.Boolean(document, "server_ready", true);
    scenario.map = file.Text(document, "map", "TheIsland");
    if (document.contains("world_settings")) {
        const Json& settings = file.Object(document, "world_settings");
        const Reader inside = file.Inside("\"world_settings\"");
        inside.OnlyKeys(settings, WorldSettingKeys);
        scenario.worldSettings = ReadWorldSettings(inside, settings);
    }
    if (document.contains("players")) {
        const Json& players = document["players"];
        if (!players.is_array()) {
            file.Fail(std::string("\"players\" must be an array, not ") + players.type_name());
        }
        for (std::size_t i = 0; i < players.size(); ++i) {
            const Reader inside = file.Inside("\"players\"[" + std::to_string(i) + "]");
            if (!players[i].is_object()) {
                inside.Fail(std::string("must be an object {\"name\": ..., \"admin\": ...}, not ") +
                            players[i].type_name());
            }
            inside.OnlyKeys(players[i], {"name", "admin"});
            scenario.players.push_back(ReadPlayer(inside, players[i], "name"));
        }
    }
    if (document.contains("events")) {
        const Json& events = document["events"];
        if (!events.is_array()) {
            file.Fail(std::string("\"events\" must be an array, not ") + events.type_name());
        }
        for (std::size_t i = 0; i < events.size(); ++i) {
            scenario.events.push_back(ReadEvent(file, events[i], i));
        }
    }
    return scenario;
}

}  // namespace Herald

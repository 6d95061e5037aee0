#include "scenario/ScenarioValues.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <string_view>

#include "common/Output.h"

namespace Herald::ScenarioFormat {

float ToFloat(double value) {
    constexpr double roundsToInfinity = 0x1.ffffffp127;  // FLT_MAX and half a step more
    if (std::fabs(value) <= FLT_MAX) {
        return static_cast<float>(value);
    }
    const float magnitude = std::fabs(value) >= roundsToInfinity ? std::numeric_limits<float>::infinity() : FLT_MAX;
    return std::signbit(value) ? -magnitude : magnitude;
}

bool IsScenarioKey(const std::string& key) {
    return std::find(ScenarioKeys.begin(), ScenarioKeys.end(), key) != ScenarioKeys.end();
}

WorldSettings ReadWorldSettings(const Reader& reader, const Json& object) {
    const auto field = [&](const char* key) {
        const auto found = object.find(key);
        return found == object.end() ? 0.0f : reader.Number(*found, std::string("\"") + key + "\"");
    };
    return {field("LatitudeScale"), field("LatitudeOrigin"), field("LongitudeScale"), field("LongitudeOrigin")};
}

namespace {

Player ReadPlayer(const Reader& reader, const Json& object, const char* nameKey) {
    Player player{reader.Text(object, nameKey), reader.Boolean(object, "admin", false)};
    if (object.contains("id")) {
        player.id = reader.Text(object, "id");
    }
    return player;
}

InstigatorSpec ReadInstigator(const Reader& reader, const Json& object) {
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
    return spec;
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
        spawn.instigator = ReadInstigator(reader, object);
    }
    return spawn;
}

ConsoleEvent ReadConsole(const Reader& reader, const Json& object) {
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

// A header a reply could carry: a name that is one token of HTTP, and a value
// on one line.
void CheckHeader(const Reader& reader, const std::string& name, const Json& value) {
    constexpr std::string_view separators = "()<>@,;:\\\"/[]?={}";
    const bool nameFits = !name.empty() && std::all_of(name.begin(), name.end(), [&](char c) {
        const auto unit = static_cast<unsigned char>(c);
        return unit > 0x20 && unit < 0x7F && separators.find(c) == std::string_view::npos;
    });
    if (!nameFits) {
        // Escaped, and only its start: the name may be any bytes, of any length.
        const std::string shown = name.size() > 40 ? name.substr(0, 40) + "..." : name;
        reader.Fail("the header name " + JsonString(shown) +
                    " is not one a reply can carry (letters, digits and !#$%&'*+-.^_`|~ only)");
    }
    if (!value.is_string()) {
        reader.Fail("\"" + name + "\" must be a string, not " + value.type_name());
    }
    const std::string& text = value.get_ref<const std::string&>();
    if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
        reader.Fail("\"" + name + "\" must be one line: a reply's header can't hold a line break or a NUL");
    }
}

WebhookReplyEvent ReadWebhookReply(const Reader& reader, const Json& object) {
    reader.OnlyKeys(object, {"event", "status", "headers", "body"});
    WebhookReplyEvent reply;
    reply.status = reader.Bounded(object, "status", 100, 599);
    if (const auto headers = object.find("headers"); headers != object.end()) {
        if (!headers->is_object()) {
            reader.Fail(std::string("\"headers\" must be an object of names and their values (strings), not ") +
                        headers->type_name());
        }
        if (headers->size() > ReplyHeadersLimit) {
            reader.Fail("\"headers\" holds " + std::to_string(headers->size()) + " headers, more than the " +
                        std::to_string(ReplyHeadersLimit) + " the host keeps of a reply");
        }
        const Reader inside = reader.Inside("\"headers\"");
        for (const auto& [name, value] : headers->items()) {
            CheckHeader(inside, name, value);
            reply.headers.emplace_back(name, value.get<std::string>());
        }
    }
    reply.body = reader.Text(object, "body", "");
    if (reply.body.size() > ReplyBodyLimit) {
        reader.Fail("\"body\" holds " + std::to_string(reply.body.size()) + " bytes, more than the " +
                    std::to_string(ReplyBodyLimit) + " the host keeps of a reply");
    }
    return reply;
}

// The events of a few plain values each; none for a kind that isn't one of them.
std::optional<Event> ReadPlainEvent(const std::string& kind, const Reader& reader, const Json& object) {
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
    if (kind == "spawn_container") {
        reader.OnlyKeys(object, {"event", "name", "position", "root_component"});
        return SpawnContainerEvent{reader.Text(object, "name"), reader.Vector(object, "position"),
                                   reader.Boolean(object, "root_component", true)};
    }
    if (kind == "connect") {
        reader.OnlyKeys(object, {"event", "player", "admin", "id"});
        return ConnectEvent{ReadPlayer(reader, object, "player")};
    }
    if (kind == "disconnect") {
        reader.OnlyKeys(object, {"event", "player"});
        return DisconnectEvent{reader.Text(object, "player")};
    }
    if (kind == "chat") {
        reader.OnlyKeys(object, {"event", "player", "text"});
        return ChatEvent{reader.Text(object, "player"), reader.Text(object, "text")};
    }
    if (kind == "wait") {
        reader.OnlyKeys(object, {"event", "seconds"});
        return WaitEvent{reader.Bounded(object, "seconds", 1, WaitSecondsLimit)};
    }
    if (kind == "rcon") {
        reader.OnlyKeys(object, {"event", "command", "id"});
        return RconEvent{reader.Text(object, "command"), reader.Integer(object, "id", 0)};
    }
    if (kind == "write_config") {
        reader.OnlyKeys(object, {"event", "config", "text"});
        return ConfigFileEvent{ReadConfigSource(reader, object, "config", "text", true)};
    }
    if (kind == "webhook_reply") {
        return ReadWebhookReply(reader, object);
    }
    if (kind == "world_settings") {
        reader.OnlyKeys(object, {"event", "LatitudeScale", "LatitudeOrigin", "LongitudeScale", "LongitudeOrigin"});
        return WorldSettingsEvent{ReadWorldSettings(reader, object)};
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ReadConfigSource(const Reader& reader, const Json& object, const char* documentKey,
                                            const char* textKey, bool required) {
    const bool hasDocument = object.contains(documentKey);
    const bool hasText = object.contains(textKey);
    if (hasDocument && hasText) {
        reader.Fail(std::string("give either \"") + documentKey + "\" or \"" + textKey + "\", not both");
    }
    if (hasDocument) {
        // Compact: an inline config is written as small as it was given.
        return reader.Object(object, documentKey).dump() + "\n";
    }
    if (hasText) {
        return reader.Text(object, textKey);
    }
    if (required) {
        reader.Fail(std::string("needs \"") + documentKey + "\" (an object) or \"" + textKey + "\" (a string)");
    }
    return std::nullopt;
}

Event ReadEvent(const Reader& file, const Json& object, std::size_t index) {
    const Reader indexed = file.Inside("event " + std::to_string(index));
    if (!object.is_object()) {
        indexed.Fail(std::string("must be an object, not ") + object.type_name());
    }
    const std::string kind = indexed.Text(object, "event");
    const Reader reader = file.Inside("event " + std::to_string(index) + " (" + kind + ")");
    if (kind == "spawn_structure") {
        return ReadSpawnStructure(reader, object);
    }
    if (kind == "console") {
        return ReadConsole(reader, object);
    }
    if (std::optional<Event> event = ReadPlainEvent(kind, reader, object)) {
        return std::move(*event);
    }
    indexed.Fail("unknown event \"" + kind +
                 "\" (expected load, unload, init_game, spawn_structure, spawn_container, connect, disconnect, "
                 "console, chat, rcon, write_config, delete_config, world_settings, wait or webhook_reply)");
}

Player ReadListedPlayer(const Reader& file, const Json& value, std::size_t index) {
    const Reader inside = file.Inside("\"players\"[" + std::to_string(index) + "]");
    if (!value.is_object()) {
        inside.Fail(std::string("must be an object {\"name\": ..., \"admin\": ...}, not ") + value.type_name());
    }
    inside.OnlyKeys(value, {"name", "admin", "id"});
    return ReadPlayer(inside, value, "name");
}

}  // namespace Herald::ScenarioFormat

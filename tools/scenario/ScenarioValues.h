#pragma once
// The values of a scenario file, read from one item at a time (the
// scenario's own keys, a player, an event) and checked as they are read.
// Scenario.cpp's parser builds each item and hands it here.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "scenario/Scenario.h"

namespace Herald::ScenarioFormat {

using Json = nlohmann::json;

// A double as the float the game receives: beyond the largest float it
// becomes an infinity, as IEEE rounding would have it, rather than the
// undefined conversion a plain cast would be.
float ToFloat(double value);

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
            if (std::find(known.begin(), known.end(), key) == known.end()) {
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
        return ToFloat(value.get<double>());
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

    // A whole number from lowest to highest, which must be given.
    int Bounded(const Json& object, const char* key, int lowest, int highest) const {
        const std::string what = std::string("\"") + key + "\"";
        const std::string wanted = "a whole number from " + std::to_string(lowest) + " to " + std::to_string(highest);
        const auto found = object.find(key);
        if (found == object.end()) {
            Fail(what + " is missing (" + wanted + ")");
        }
        // Read as the JSON library holds it: a count beyond an int must not
        // wrap into the range on its way.
        std::optional<std::int64_t> value;
        if (found->is_number_unsigned()) {
            if (found->get<std::uint64_t>() <= std::uint64_t{std::numeric_limits<std::int64_t>::max()}) {
                value = static_cast<std::int64_t>(found->get<std::uint64_t>());
            }
        } else if (found->is_number_integer()) {
            value = found->get<std::int64_t>();
        }
        const bool inRange = value && *value >= lowest && *value <= highest;
        if (!inRange) {
            Fail(what + " must be " + wanted + ", not " + (found->is_number() ? found->dump() : found->type_name()));
        }
        return static_cast<int>(*value);
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

inline constexpr std::initializer_list<const char*> WorldSettingKeys = {"LatitudeScale", "LatitudeOrigin",
                                                                        "LongitudeScale", "LongitudeOrigin"};
inline constexpr std::initializer_list<const char*> ScenarioKeys = {
    "config", "config_text", "server_ready", "map", "world_settings", "players", "events"};

bool IsScenarioKey(const std::string& key);

WorldSettings ReadWorldSettings(const Reader& reader, const Json& object);

// The bytes written for a config: a document as an object, or text as given.
std::optional<std::string> ReadConfigSource(const Reader& reader, const Json& object, const char* documentKey,
                                            const char* textKey, bool required);

// Event `index` of "events"; raises ScenarioError naming it.
Event ReadEvent(const Reader& file, const Json& object, std::size_t index);

// Element `index` of "players".
Player ReadListedPlayer(const Reader& file, const Json& value, std::size_t index);

}  // namespace Herald::ScenarioFormat

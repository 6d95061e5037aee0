#pragma once
// What a spawn of one configured object does on a map, decided once from the
// document: whether it is announced and why not, as which kind, from which
// template and delivery, in which group, under which cooldown, and whether it
// is relayed to Discord. The running plugin keeps a plan of every entry for
// its map; SkyCrateHerald.Test, herald check and herald preview ask the same
// functions, so none of them decides again.

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "config/Placeholders.h"

// How an announcement reaches a player: its template's Type, and either the
// notification's Time, Size and Color or the chat line's Sender, read in the
// order a delivery reads them.
struct Delivery {
    bool onScreen = true;
    std::int32_t time = 0;
    float size = 0;
    std::string_view color;  // the Color text, in the document ("Random" is drawn for each player)
    std::string sender;
};

// What is planned: an Items key, or an asteroid crate's code.
struct PlanSubject {
    std::string_view key;
    bool asteroid = false;
};

struct AnnouncementPlan {
    std::string_view key;  // as the subject gave it
    AnnouncementKind kind = AnnouncementKind::Structure;
    const nlohmann::json* entry = nullptr;  // the Items entry or AsteroidGen2; null when there is none
    // Why a spawn sends nothing on this map, worded to follow "KEY sends
    // nothing: "; none when it is announced.
    std::optional<std::string> silence;
    // Where it is announced, when the map alone keeps it silent here.
    std::string_view sentOn;
    // A value of the wrong type that the plugin's reads raise on: the
    // library's error text. Each spawn logs it and sends nothing.
    std::optional<std::string> failure;
    std::string_view name;     // {Name} of an Items entry
    std::string_view message;  // the template's Msg
    Delivery delivery;
    std::string_view group;
    // Whether its group is among those players may choose on this map: it
    // sends something here, whatever a later read raises.
    bool offered = false;
    std::int32_t cooldown = 0;  // of an Items entry's spawns, in seconds
    bool relayed = false;       // its group goes to a Discord webhook

    bool Announced() const { return !silence && !failure; }
};

// The map a subject's spawns are announced on: Gen2 for asteroid codes,
// Ragnarok for ocean crates, and empty, any map, for the rest.
std::string_view HomeMapOf(const PlanSubject& subject);

// The plan of one subject on a map. Never raises: a read that raises is the
// plan's failure.
AnnouncementPlan PlanAnnouncement(const nlohmann::json& document, const PlanSubject& subject, std::string_view map);

// The plans of every Items entry and of AsteroidGen2 on one map, with the
// groups players are offered there: those of the plans offered, each once
// (as the first such entry in the document writes it), sorted in any case.
// The plans view the document, which must outlive them.
struct PlanBook {
    struct KeyHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view key) const { return std::hash<std::string_view>()(key); }
    };
    std::unordered_map<std::string, AnnouncementPlan, KeyHash, std::equal_to<>> items;
    AnnouncementPlan asteroids;
    std::vector<std::string> groups;
    // Items is of a type a lookup raises on: the library's error text, which
    // each spawn logs.
    std::optional<std::string> itemsFailure;

    // The plan of an Items key; null when Items has no entry for it.
    const AnnouncementPlan* Item(std::string_view key) const {
        const auto found = items.find(key);
        return found != items.end() ? &found->second : nullptr;
    }
};
PlanBook PlanEveryEntry(const nlohmann::json& document, std::string_view map);

// The groups a server on this map offers players, as its plans give them.
std::vector<std::string> AnnouncedGroups(const nlohmann::json& document, std::string_view map);

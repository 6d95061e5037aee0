#pragma once
// The placeholders of a message template and the values each kind of
// announcement fills them with.

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

inline constexpr std::string_view MapNamePlaceholder = "{MapName}";
inline constexpr std::string_view NamePlaceholder = "{Name}";
inline constexpr std::string_view LatitudePlaceholder = "{Lat}";
inline constexpr std::string_view LongitudePlaceholder = "{Lon}";
inline constexpr std::string_view EggLevelPlaceholder = "{EggLvl}";
inline constexpr std::string_view PrimaryResourcesPlaceholder = "{PrimaryResources}";
inline constexpr std::string_view SecondaryResourcesPlaceholder = "{SecondaryResources}";
inline constexpr std::string_view CountPlaceholder = "{Count}";
inline constexpr std::array<std::string_view, 8> Placeholders{MapNamePlaceholder,
                                                              NamePlaceholder,
                                                              LatitudePlaceholder,
                                                              LongitudePlaceholder,
                                                              EggLevelPlaceholder,
                                                              PrimaryResourcesPlaceholder,
                                                              SecondaryResourcesPlaceholder,
                                                              CountPlaceholder};

// Structure: an Items entry of a structure, or a nest that no creature laid;
// Nest: a nest looked up under its creature's key, which shows the level;
// Digest: the line that tells of the spawns an entry's cooldown held.
enum class AnnouncementKind { Structure, Nest, OceanCrate, Asteroid, Digest };

// The values an announcement has for its placeholders; each kind fills some.
struct PlaceholderValues {
    std::string_view mapName;
    std::string_view name;
    std::string_view latitude;
    std::string_view longitude;
    std::string_view eggLevel;
    std::string_view primaryResources;
    std::string_view secondaryResources;
    std::string_view count;
};
struct FilledPlaceholder {
    std::string_view text;
    std::string_view PlaceholderValues::*value;
};

// A nest's placeholders are a structure's and its level.
inline constexpr FilledPlaceholder ItemPlaceholders[] = {{MapNamePlaceholder, &PlaceholderValues::mapName},
                                                         {LatitudePlaceholder, &PlaceholderValues::latitude},
                                                         {LongitudePlaceholder, &PlaceholderValues::longitude},
                                                         {NamePlaceholder, &PlaceholderValues::name},
                                                         {EggLevelPlaceholder, &PlaceholderValues::eggLevel}};
inline constexpr FilledPlaceholder DigestPlaceholders[] = {{MapNamePlaceholder, &PlaceholderValues::mapName},
                                                           {LatitudePlaceholder, &PlaceholderValues::latitude},
                                                           {LongitudePlaceholder, &PlaceholderValues::longitude},
                                                           {NamePlaceholder, &PlaceholderValues::name},
                                                           {CountPlaceholder, &PlaceholderValues::count}};
inline constexpr FilledPlaceholder AsteroidPlaceholders[] = {
    {MapNamePlaceholder, &PlaceholderValues::mapName},
    {NamePlaceholder, &PlaceholderValues::name},
    {PrimaryResourcesPlaceholder, &PlaceholderValues::primaryResources},
    {SecondaryResourcesPlaceholder, &PlaceholderValues::secondaryResources}};

// The placeholders an announcement fills, in the order it fills them.
constexpr std::span<const FilledPlaceholder> FilledPlaceholders(AnnouncementKind kind) {
    switch (kind) {
        case AnnouncementKind::Structure:
        case AnnouncementKind::OceanCrate:
            return std::span(ItemPlaceholders).first(4);
        case AnnouncementKind::Nest:
            return ItemPlaceholders;
        case AnnouncementKind::Asteroid:
            return AsteroidPlaceholders;
        case AnnouncementKind::Digest:
            return DigestPlaceholders;
    }
    return {};
}

// An announcement's replacement list: each placeholder its kind fills, in
// that order, followed by its value. The kind is known where the list is
// made, so it is laid out as if written by hand there (it is made on every
// spawn).
template <AnnouncementKind Kind>
constexpr auto ReplacementsOf(const PlaceholderValues& values) {
    constexpr std::span<const FilledPlaceholder> filled = FilledPlaceholders(Kind);
    std::array<std::string_view, 2 * filled.size()> list;
    for (std::size_t i = 0; i < filled.size(); ++i) {
        list[2 * i] = filled[i].text;
        list[2 * i + 1] = values.*filled[i].value;
    }
    return list;
}

// The level shown for a nest that SkyCrateHerald.Test or herald preview
// makes up, laid by a creature of the key tried.
inline constexpr int SampleCreatureLevel = 150;

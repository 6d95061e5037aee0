#include "announce/Announcements.h"

#include <nlohmann/json.hpp>
#include <optional>

#include "announce/Templates.h"
#include "config/Config.h"
#include "config/ConfigReaders.h"
#include "config/Placeholders.h"
#include "game/GameTypes.h"

namespace {

// The last announcement's text and an asteroid's colour, in storage kept from
// one announcement to the next: each is needed only until the announcement
// has gone out.
std::string FilledText;
std::string AsteroidColor;

// Inlined into each announcement it serves, as the spawn path's own code.
[[gnu::always_inline]] inline std::optional<MapPosition> WorldCoordinates(float x, float y) {
    UWorld* world = ArkApi::GetApiUtils().QueryWorld();
    if (world == nullptr) {
        return std::nullopt;
    }
    void* settings = GameFunction<void*(UWorld*, bool, bool)>("UWorld.GetWorldSettings")(world, false, true);
    return MapCoordinates(settings, x, y);
}

// An Items entry's placeholder values at a map position, with the texts
// they point into; made in place and never moved.
struct ItemValues {
    std::string latitude;
    std::string longitude;
    PlaceholderValues values;

    ItemValues(const AnnouncementPlan& plan, const MapPosition& position)
        : latitude(FormatCoordinate(position.Latitude)), longitude(FormatCoordinate(position.Longitude)) {
        values.mapName = CurrentMapName;
        values.latitude = latitude;
        values.longitude = longitude;
        values.name = plan.name;
    }
    ItemValues(const ItemValues&) = delete;
    ItemValues& operator=(const ItemValues&) = delete;
};

Announcement Made(const AnnouncementPlan& plan, std::string_view message, ReplacementList replacements) {
    FillTemplateInto(FilledText, message, replacements);
    Announcement made;
    made.text = &FilledText;
    made.delivery = &plan.delivery;
    made.color = plan.delivery.color;
    made.group = plan.group;
    made.key = plan.key;
    made.kind = plan.kind;
    made.relayed = plan.relayed;
    return made;
}

}  // namespace

std::optional<Announcement> ItemAnnouncement(const AnnouncementPlan& plan, float x, float y,
                                             const std::string* eggLevel) {
    const std::optional<MapPosition> position = WorldCoordinates(x, y);
    if (!position) {
        return std::nullopt;
    }
    ItemValues item(plan, *position);
    if (eggLevel != nullptr) {
        item.values.eggLevel = *eggLevel;
        return Made(plan, plan.message, ReplacementsOf<AnnouncementKind::Nest>(item.values));
    }
    return Made(plan, plan.message, ReplacementsOf<AnnouncementKind::Structure>(item.values));
}

Announcement AsteroidAnnouncement(const AnnouncementPlan& plan, const std::string& code) {
    AsteroidValues found = AsteroidValuesOf(*plan.entry, code);
    PlaceholderValues values;
    values.mapName = CurrentMapName;
    values.name = found.name;
    values.primaryResources = found.primaryResources;
    values.secondaryResources = found.secondaryResources;
    Announcement made = Made(plan, plan.message, ReplacementsOf<AnnouncementKind::Asteroid>(values));
    AsteroidColor = std::move(found.color);
    made.color = AsteroidColor;
    made.key = {};
    return made;
}

std::optional<Announcement> DigestAnnouncement(const AnnouncementPlan& plan, std::int64_t count, float x, float y,
                                               std::string_view digest) {
    const std::optional<MapPosition> position = WorldCoordinates(x, y);
    if (!position) {
        return std::nullopt;
    }
    const std::string held = std::to_string(count);
    ItemValues item(plan, *position);
    item.values.count = held;
    Announcement made = Made(plan, digest, ReplacementsOf<AnnouncementKind::Digest>(item.values));
    made.kind = AnnouncementKind::Digest;
    made.digest = true;
    return made;
}

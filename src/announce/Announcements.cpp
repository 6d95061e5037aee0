#include "announce/Announcements.h"

#include <nlohmann/json.hpp>
#include <optional>

#include "announce/Broadcast.h"
#include "config/Config.h"
#include "config/ConfigKeys.h"
#include "config/ConfigReaders.h"
#include "config/PlayersReaders.h"
#include "config/Placeholders.h"
#include "game/GameTypes.h"
#include "plugin/Plugin.h"

namespace {

using Json = nlohmann::json;

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
    std::string spareName;
    PlaceholderValues values;

    ItemValues(const Json& entry, std::string_view itemKey, const MapPosition& position)
        : latitude(FormatCoordinate(position.Latitude)), longitude(FormatCoordinate(position.Longitude)) {
        values.mapName = CurrentMapName;
        values.latitude = latitude;
        values.longitude = longitude;
        values.name = ItemName(entry, itemKey, spareName);
    }
    ItemValues(const ItemValues&) = delete;
    ItemValues& operator=(const ItemValues&) = delete;
};

}  // namespace

void AnnounceItem(const Json& entry, std::string_view itemKey, float x, float y, const std::string* eggLevel,
                  const AnnouncementSink& send) {
    const std::optional<MapPosition> position = WorldCoordinates(x, y);
    if (!position) {
        return;
    }
    ItemValues item(entry, itemKey, *position);
    const Json& notification = NotificationOf(entry);
    if (eggLevel != nullptr) {
        item.values.eggLevel = *eggLevel;
        send(notification, ReplacementsOf<AnnouncementKind::Nest>(item.values));
    } else {
        send(notification, ReplacementsOf<AnnouncementKind::Structure>(item.values));
    }
}

void AnnounceAsteroid(const Json& asteroids, const std::string& code, const AnnouncementSink& send) {
    const AsteroidValues found = AsteroidValuesOf(asteroids, code);
    PlaceholderValues values;
    values.mapName = CurrentMapName;
    values.name = found.name;
    values.primaryResources = found.primaryResources;
    values.secondaryResources = found.secondaryResources;
    // The code's colour goes onto the copy handed on; the document stays as read.
    send(AsteroidTemplate(asteroids, found.color), ReplacementsOf<AnnouncementKind::Asteroid>(values));
}

void AnnounceDigest(const Json& entry, std::string_view itemKey, std::int64_t count, float x, float y,
                    std::string_view digest, const AnnouncementSink& send) {
    const std::optional<MapPosition> position = WorldCoordinates(x, y);
    Json notification = NotificationOf(entry);
    if (!position || !CanSend(notification)) {
        return;
    }
    notification[std::string(Key::Msg)] = std::string(digest);
    const std::string held = std::to_string(count);
    ItemValues item(entry, itemKey, *position);
    item.values.count = held;
    send(notification, ReplacementsOf<AnnouncementKind::Digest>(item.values));
}

#include "announce/Announcements.h"

#include <nlohmann/json.hpp>
#include <optional>

#include "announce/Broadcast.h"
#include "config/Config.h"
#include "config/ConfigKeys.h"
#include "config/ConfigReaders.h"
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

}  // namespace

void AnnounceItem(const Json& entry, std::string_view itemKey, float x, float y, const std::string* eggLevel,
                  const AnnouncementSink& send) {
    const std::optional<MapPosition> position = WorldCoordinates(x, y);
    if (!position) {
        return;
    }
    const std::string latitude = FormatCoordinate(position->Latitude);
    const std::string longitude = FormatCoordinate(position->Longitude);
    std::string spareName;
    PlaceholderValues values;
    values.mapName = CurrentMapName;
    values.latitude = latitude;
    values.longitude = longitude;
    values.name = ItemName(entry, itemKey, spareName);
    const Json& notification = NotificationOf(entry);
    if (eggLevel != nullptr) {
        values.eggLevel = *eggLevel;
        send(notification, ReplacementsOf<AnnouncementKind::Nest>(values));
    } else {
        send(notification, ReplacementsOf<AnnouncementKind::Structure>(values));
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
    const std::string latitude = FormatCoordinate(position->Latitude);
    const std::string longitude = FormatCoordinate(position->Longitude);
    const std::string held = std::to_string(count);
    std::string spareName;
    PlaceholderValues values;
    values.mapName = CurrentMapName;
    values.latitude = latitude;
    values.longitude = longitude;
    values.name = ItemName(entry, itemKey, spareName);
    values.count = held;
    send(notification, ReplacementsOf<AnnouncementKind::Digest>(values));
}

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

std::optional<MapPosition> WorldCoordinates(float x, float y) {
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
    const std::string_view name = ReadText(entry, "Name", itemKey, spareName);
    const std::string_view replacements[] = {
        MapNamePlaceholder,   CurrentMapName,
        LatitudePlaceholder,  latitude,
        LongitudePlaceholder, longitude,
        NamePlaceholder,      name,
        EggLevelPlaceholder,  eggLevel != nullptr ? std::string_view(*eggLevel) : std::string_view(),
    };
    send(Member(entry, "Notification"),
         ReplacementList(replacements).first(eggLevel != nullptr ? std::size(replacements) : 8));
}

void AnnounceAsteroid(const Json& asteroids, const std::string& code, const AnnouncementSink& send) {
    // The code's colour goes onto the copy handed on; the document stays as read.
    const std::string color = Member(asteroids, "Color").value(code, std::string(DefaultAsteroidColor));
    const std::string name = Member(asteroids, "Name").value(code, code);
    const std::string primary = Member(asteroids, "PrimaryResources").value(code, std::string());
    const std::string secondary = Member(asteroids, "SecondaryResources").value(code, std::string());
    const std::string_view replacements[] = {
        MapNamePlaceholder,
        CurrentMapName,
        NamePlaceholder,
        name,
        PrimaryResourcesPlaceholder,
        primary,
        SecondaryResourcesPlaceholder,
        secondary,
    };
    // Without a Notification there is nothing to colour, and nothing is sent;
    // any other kind of value still raises here, as a lookup on it would.
    Json notification = Member(asteroids, "Notification");
    if (!notification.is_null()) {
        notification["Color"] = color;
    }
    send(notification, replacements);
}

#pragma once
// Building an announcement: the template it is made from and the values of
// its placeholders. A spawned object and SkyCrateHerald.Test build theirs
// here alike; where the announcement goes is the caller's (a spawn broadcasts
// it to every connected player).

#include <cstdint>
#include <functional>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>

#include "announce/Templates.h"

// Receives the announcement once it is built: the template and the list are
// valid only during the call.
using AnnouncementSink = std::function<void(const nlohmann::json& notificationTemplate, ReplacementList replacements)>;

// The announcement of an Items entry at world position x, y, whose
// coordinates come from the running world's settings; none without a world.
// eggLevel: a structure's egg text, the level's digits or "{EggLvl}" itself;
// null for an ocean crate, whose list has no "{EggLvl}".
void AnnounceItem(const nlohmann::json& entry, std::string_view itemKey, float x, float y, const std::string* eggLevel,
                  const AnnouncementSink& send);

// The announcement of an asteroid crate of this code, from the AsteroidGen2
// object. Whether the code was announced last is the spawn's business.
void AnnounceAsteroid(const nlohmann::json& asteroids, const std::string& code, const AnnouncementSink& send);

// The digest of the spawns an Items entry's cooldown held: count of them, the
// latest at world x, y, told through the entry's own delivery with the
// digest's text in place of its Msg. An entry that sends nothing sends no
// digest either; none without a world.
void AnnounceDigest(const nlohmann::json& entry, std::string_view itemKey, std::int64_t count, float x, float y,
                    std::string_view digest, const AnnouncementSink& send);

#pragma once
// Making an announcement from its plan: the template filled with the running
// map's name and a spawn's values. A spawned object, a digest and
// SkyCrateHerald.Test make theirs here alike; where it goes is the caller's.

#include <cstdint>
#include <optional>
#include <string>

#include "announce/Announcement.h"

// An Items entry's spawn at world position x, y, whose coordinates come from
// the running world's settings; none without a world. eggLevel: a
// structure's egg text, the level's digits or "{EggLvl}" itself; null for an
// ocean crate, whose list has no "{EggLvl}".
std::optional<Announcement> ItemAnnouncement(const AnnouncementPlan& plan, float x, float y,
                                             const std::string* eggLevel);

// An asteroid crate of this code, its colour and values from AsteroidGen2's
// maps. Raises where a map's value for the code is of the wrong type.
Announcement AsteroidAnnouncement(const AnnouncementPlan& plan, const std::string& code);

// The digest of count spawns an Items entry's cooldown held, the latest at
// world x, y: the digest's text through the entry's own delivery. None
// without a world.
std::optional<Announcement> DigestAnnouncement(const AnnouncementPlan& plan, std::int64_t count, float x, float y,
                                               std::string_view digest);

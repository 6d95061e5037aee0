#pragma once
// Keeping a busy server calm: the spawns an entry's cooldown holds back are
// told of in one digest line when it ends, and nothing is announced while
// too few players are connected. Its clock is the timer's seconds since load.
// What was held is counted since load, for SkyCrateHerald.Status.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/AnnouncementPlan.h"

enum class CalmVerdict { Announce, HeldByCooldown, HeldTooFewPlayers };

// After config.json is read, at load and at each reload: the settings taken,
// the held spawns of entries that are gone dropped unsent.
void FollowCalmSettings();
// At unload: everything dropped, nothing sent.
void StopCalm();

// The spawns one Items entry's cooldown held, told of in its digest.
struct HeldSpawns {
    std::string key;
    std::int64_t count = 0;
    float x = 0;  // the latest one's world position
    float y = 0;
};
// Once a second: the clock moves on, and each cooldown that ended with
// spawns held gives its digest, the spawns then forgotten.
std::vector<HeldSpawns> CalmTimer();
// The digest's text, as Calm's Digest sets it.
const std::string& DigestText();

// What a spawn of the plan would meet on the server now, counting nothing:
// for an Items entry its cooldown and MinPlayers, for an asteroid MinPlayers
// alone; with the seconds the cooldown still runs.
struct CalmAnswer {
    CalmVerdict verdict = CalmVerdict::Announce;
    std::int64_t cooldownLeft = 0;
};
CalmAnswer CalmVerdictNow(const AnnouncementPlan& plan);

// A spawn at world x, y: the same verdict, counted. A held spawn is kept
// for the digest; an Items entry's spawn that goes out counts as announced
// and starts its cooldown, unless its plan fails, and so sends nothing.
CalmVerdict CalmSpawn(const AnnouncementPlan& plan, float x, float y);

// SkyCrateHerald.Status: the spawns held since load, and one entry's line.
struct CalmCounts {
    std::int64_t heldByCooldown = 0;
    std::int64_t heldTooFewPlayers = 0;
};
CalmCounts CalmHeld();
std::string EntryStatus(const AnnouncementPlan& plan);

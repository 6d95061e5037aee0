#pragma once
// Keeping a busy server calm: the spawns an entry's cooldown holds back are
// told of in one digest line when it ends, and nothing is announced while
// too few players are connected. Its clock is the timer's seconds since load.
// What was sent and held is counted since load, for SkyCrateHerald.Status.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

enum class CalmVerdict { Announce, HeldByCooldown, HeldTooFewPlayers };

// After config.json is read, at load and at each reload: the settings taken,
// the held spawns of entries that are gone dropped unsent.
void FollowCalmSettings();
// At unload: everything dropped, nothing sent.
void StopCalm();
// Once a second: the clock, and a digest for each cooldown that ended with
// spawns held.
void CalmTimer();

// An Items entry's announcements and cooldown, found once per spawn.
struct EntryCalm;

// Whether a spawn is announced, decided before it is built: for an Items
// entry (at world x, y) its cooldown and MinPlayers, for an asteroid (no
// entry) MinPlayers alone. A held spawn is counted. Where it looked the
// entry's state up, state is set, for CalmAnnounced.
CalmVerdict CalmBeforeAnnouncing(const nlohmann::json* entry, std::string_view itemKey, float x, float y,
                                 EntryCalm** state);
// After an Items entry's spawn is announced: counted, and its cooldown starts.
void CalmAnnounced(std::string_view itemKey, const nlohmann::json& entry, EntryCalm* state);

// What held an Items entry's spawn (entry null: an asteroid's) would meet on
// the server now, as SkyCrateHerald.Test's RCON reply adds it: empty when
// it would be announced.
std::string CalmRemark(const nlohmann::json* entry, std::string_view itemKey);

// SkyCrateHerald.Status: one line since load, or one entry's.
std::string CalmStatus();
std::string EntryStatus(std::string_view itemKey, const nlohmann::json& entry);

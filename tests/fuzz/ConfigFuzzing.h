#pragma once
// What the two config.json targets share: a known-good configuration and the
// probe crate that shows it is in force, the plugin loaded as a new library
// would start, the reload commands with the checks every reload must pass,
// and one spawn of every kind on the map where it is special.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "StandIn.h"

namespace HeraldFuzz {

extern const std::string_view KnownGoodConfig;

// Module state as a new library starts it, then PluginLoad; false when the
// plugin refused to load.
bool LoadAsNewLibrary();

bool HostWasAsked(std::string_view call);

// The error lines a load or reload of the file written last logs besides
// taking it: its settings' problems, in the order the plugin follows them.
std::vector<std::string> SettingsProblems();
// Whether records [from, to) are exactly those lines.
bool LoggedTheSettingsProblems(std::size_t from, std::size_t to);
const StandIn::Record* LastRecord(StandIn::RecordKind kind);

// One reload over RCON: exactly one reply, to this request. A failure's
// reason is logged as an error line and sent as the reply (bytes above ASCII
// as "?"); a file taken logs its settings' problems alone, before the reply.
// Gives whether the file was taken; on failure, the logged reason.
bool ReloadOverRcon(std::string* reason = nullptr);

// One reload from an admin's console: exactly one reply to that player,
// "Reloaded config" after its settings' problems, or "Failed to reload
// config" followed by one error line. Gives whether the file was taken; on
// failure, the logged reason.
bool ReloadFromConsole(const std::string& admin, std::string* reason = nullptr);

// Writes the known-good file and reloads it over RCON, which must take it.
void RestoreKnownGoodConfig();

// A probe crate spawned once must be announced to every player exactly as
// the known-good file says: proof that those settings are in force.
void RequireKnownGoodSettingsAnnounce(const char* when, std::size_t players);

// The settings in force are the known-good file's, value for value: the same
// proof as the probe's without a spawn, for the target that needs it on
// every input.
void RequireKnownGoodSettingsInForce(const char* when);

void SpawnEveryKind();

}  // namespace HeraldFuzz

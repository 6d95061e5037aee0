#pragma once
// The Discord relay on the running server: announcements of the relayed
// groups go to the webhook through the host's web requests, whose
// completions come back on the timer. The game's thread never waits on the
// network, except at unload, for at most UnloadWait.

#include <chrono>
#include <string>
#include <string_view>

inline constexpr std::chrono::milliseconds UnloadWait{2000};

// After config.json is read, at load and at each reload: the webhook, groups
// and name taken; a relay stopped by a refusing webhook starts again.
void FollowRelaySettings();
// At unload: the request in flight given UnloadWait to end, the rest dropped
// and counted in the log.
void StopRelay();
// Once a second: a post goes when a wait has ended.
void RelayTimer();

// An announcement's text as filled, relayed as players read it. Which groups
// are relayed is the announcement's plan's to say.
void RelayLine(std::string_view filled, bool digest = false);

// For SkyCrateHerald.Status while Discord is set: " Discord: S posts sent, W
// lines waiting, D dropped, last reply CODE." Empty without Discord.
std::string RelayStatus();

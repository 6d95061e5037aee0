#pragma once
// Players' choices on the running server: the chat command, the store, and
// whether a player hears a group.

#include <string>
#include <string_view>

#include "game/ArkApi.h"

// After config.json is read, at load and at each reload: registers the chat
// command Players names (moving from the previous one), and reads the store
// it names, where the choices not yet saved are then saved.
void FollowPlayersSettings();
// At unload: the command removed, the store closed, the choices forgotten.
void StopPlayers();
// Once a second: another server's changes to a shared store read in, and
// the changes not yet saved saved when the store takes them.
void PlayersTimer();

void PlayersChatHandler(AShooterPlayerController* player, FString* line, EChatSendMode::Type mode);

// Whether some player has a choice in effect; without one every player hears
// every group, and no player's id need be read.
bool SomePlayerChose();
// Whether the player hears the group (folded, as GroupFold gives it).
bool PlayerHears(AShooterPlayerController* player, std::string_view foldedGroup);

// For SkyCrateHerald.Status, while players choose: " Store FILE: K players
// with choices." or " Store FILE: not saved (REASON)." after a failure to read
// or write it. Empty when players don't choose.
std::string PlayersStatus();

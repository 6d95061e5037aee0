#pragma once
// "SkyCrateHerald.Reload" on the game's console and over RCON, and what the
// plugin takes anew from config.json whenever it is read.

struct APlayerController;
struct FString;
struct RCONClientConnection;
struct RCONPacket;
struct UWorld;

void ReloadConsoleHandler(APlayerController* player, FString* command, bool fromCheat);
void ReloadRconHandler(RCONClientConnection* connection, RCONPacket* packet, UWorld* world);

// After config.json is read, at load and at each reload: each feature's
// settings taken anew.
void FollowConfig();

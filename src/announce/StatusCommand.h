#pragma once
// "SkyCrateHerald.Status [KEY]" on the game's console and over RCON: what the
// plugin sent and held since load, with the players' store, or one Items
// entry's announcements and cooldown. It answers why something was not
// announced.

struct APlayerController;
struct FString;
struct RCONClientConnection;
struct RCONPacket;
struct UWorld;

void StatusConsoleHandler(APlayerController* player, FString* command, bool fromCheat);
void StatusRconHandler(RCONClientConnection* connection, RCONPacket* packet, UWorld* world);

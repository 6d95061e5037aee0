#pragma once
// "SkyCrateHerald.Reload" on the game's console and over RCON.

struct APlayerController;
struct FString;
struct RCONClientConnection;
struct RCONPacket;
struct UWorld;

void ReloadConsoleHandler(APlayerController* player, FString* command, bool fromCheat);
void ReloadRconHandler(RCONClientConnection* connection, RCONPacket* packet, UWorld* world);

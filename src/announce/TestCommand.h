#pragma once
// "SkyCrateHerald.Test" on the game's console and over RCON: the announcement
// a spawn of one configured object would make, built by the spawn's own code,
// sent to the issuing admin alone (console) or described in the reply (RCON).
// The remembered asteroid code is neither read nor changed, and nothing is
// logged: a refusal is the reply.

struct APlayerController;
struct FString;
struct RCONClientConnection;
struct RCONPacket;
struct UWorld;

void TestConsoleHandler(APlayerController* player, FString* command, bool fromCheat);
void TestRconHandler(RCONClientConnection* connection, RCONPacket* packet, UWorld* world);

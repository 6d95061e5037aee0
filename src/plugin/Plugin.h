#pragma once
// Loading and unloading the plugin, its hooks and the running map's name.

struct AShooterGameMode;
struct FString;

void PluginLoad();
void PluginUnload();
void EnsureMapName();

void InitGameDetour(AShooterGameMode* gameMode, FString* mapName, FString* options, FString* errorMessage);

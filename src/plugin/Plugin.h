#pragma once
// Loading and unloading the plugin, its hooks and the running map's name.

#include <string>

struct AShooterGameMode;
struct FString;


void PluginLoad();
void PluginUnload();
// After config.json is read, at load and at each reload: what the plugin
// keeps of its settings taken anew.
void FollowConfig();
void EnsureMapName();

void InitGameDetour(AShooterGameMode* gameMode, FString* mapName, FString* options, FString* errorMessage);

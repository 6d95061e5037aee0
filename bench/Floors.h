#pragma once
// The floors: detours of our own installed in the plugin's place, doing only
// what the game and the framework make any implementation of the plugin pay on
// each path. The paths' runs set them up and take them down; what a floor does
// on a spawn stays in Floors.cpp, beside the state it keeps.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ChosenPlayers.h"
#include "Scenarios.h"

namespace HeraldBench {

// The console command the floor's reload answers to.
inline constexpr char FloorReloadCommand[] = "Floor.Reload";

struct FloorSetup {
    nlohmann::json config;  // the path's config.json, as the plugin reads it
    std::string mapName;
    // The texts the plugin delivers on this path, in the order it delivers
    // them: the game's delivery costs more for a longer text, so the floor
    // sends the same.
    std::vector<std::string> texts;
    // CrateChosen: every player of the store, and whether they hear crates.
    std::vector<StoredHearing> hearing;
    // CrateHeld: when the crate's cooldown, running since the plugin's first
    // spawn, ends.
    std::int64_t heldUntil = 0;
};

// The path's floor, its state fresh, installed on the structure spawn hook.
void InstallFloor(Path path, FloorSetup setup);
void RemoveFloor(Path path);
// The floor's own clock moves with the game's.
void AdvanceFloorClock(int seconds);

// The floor of a reload: a console command that only reads and parses the file.
void InstallFloorReload();

// The floor of a player's change of choice, on the chat command the plugin
// registers (FloorChatCommand).
inline constexpr char FloorChatCommand[] = "/herald";
void InstallFloorChat();
void RemoveFloorChat();
void RemoveFloorReload();

}  // namespace HeraldBench

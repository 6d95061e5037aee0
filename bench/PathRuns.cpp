// Each path run: the structure spawned for it, and a server set up with the
// built plugin or with the path's floor in its place; and the reloads.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ChosenPlayers.h"
#include "Floors.h"
#include "Scenarios.h"
#include "StandIn.h"

namespace HeraldBench {

namespace {

using Json = nlohmann::json;

constexpr char PluginReloadLine[] = "SkyCrateHerald.Reload";

void LoadBuiltPlugin() {
    const StandIn::LoadResult result = StandIn::LoadPlugin(HERALD_PLUGIN_PATH);
    if (!result.ok) {
        throw std::runtime_error("the plugin refused to load: " + result.error);
    }
}

StandIn::StructureSpawn Spawn(std::u16string name, StandIn::ObjectClass objectClass) {
    StandIn::StructureSpawn spawn;
    spawn.name = std::move(name);
    spawn.objectClass = objectClass;
    spawn.location = {123456.0f, -65432.0f, 1800.0f};
    return spawn;
}

const StandIn::StructureSpawn& SpawnFor(Path path, std::uint64_t count) {
    using StandIn::ObjectClass;
    static const StandIn::StructureSpawn wall = Spawn(u"Wall_Wood_C_12", ObjectClass::Structure);
    static const StandIn::StructureSpawn box = Spawn(u"StorageBox_Large_C_7", ObjectClass::ItemContainer);
    static const StandIn::StructureSpawn crateWithoutEntry =
        Spawn(u"SupplyCrate_Level09_C_3", ObjectClass::ItemContainer);
    static const StandIn::StructureSpawn crateNotification =
        Spawn(u"SupplyCrate_Level03_C_5", ObjectClass::ItemContainer);
    static const StandIn::StructureSpawn crateChat = Spawn(u"SupplyCrate_Level06_C_5", ObjectClass::ItemContainer);
    static const StandIn::StructureSpawn nest = [] {
        StandIn::StructureSpawn spawn = Spawn(u"DinoNest_Wyvern_Fire_Nest_C_2", ObjectClass::Structure);
        spawn.instigator = StandIn::Instigator{u"Wyvern_Character_BP_Fire_C_4", ObjectClass::Dino, 145, true};
        return spawn;
    }();
    static const StandIn::StructureSpawn ironAsteroid =
        Spawn(u"SupplyCrate_Space_Bp_Iron_C_1", ObjectClass::ItemContainer);
    static const StandIn::StructureSpawn goldAsteroid =
        Spawn(u"SupplyCrate_Space_Bp_Gold_C_1", ObjectClass::ItemContainer);
    switch (path) {
        case Path::Wall:
            return wall;
        case Path::StorageBox:
            return box;
        case Path::CrateWithoutEntry:
            return crateWithoutEntry;
        case Path::CrateNotification:
        case Path::CrateChosen:
        case Path::CrateHeld:
        case Path::CrateAfterCooldown:
        case Path::CrateRelayed:
            return crateNotification;
        case Path::CrateChat:
            return crateChat;
        case Path::Nest:
            return nest;
        case Path::AsteroidAnnounced:
            return count % 2 == 0 ? ironAsteroid : goldAsteroid;
        case Path::AsteroidRepeated:
            return ironAsteroid;
    }
    return wall;
}

bool Announces(Path path) {
    return path == Path::CrateNotification || path == Path::CrateChat || path == Path::Nest ||
           path == Path::AsteroidAnnounced || path == Path::CrateChosen || path == Path::CrateAfterCooldown ||
           path == Path::CrateRelayed;
}

// What the plugin delivers on the first two spawns of the path, one text per announcement.
std::vector<std::string> DeliveredTexts(Path path) {
    LoadBuiltPlugin();
    std::vector<std::string> texts;
    for (std::uint64_t i = 0; i < 2; ++i) {
        StandIn::ClearRecords();
        if (path == Path::CrateAfterCooldown) {
            StandIn::Wait(AfterCooldownSeconds);
        }
        StandIn::SpawnStructure(SpawnFor(path, i));
        if (!StandIn::Records().empty()) {
            texts.push_back(StandIn::Records().front().text);
        }
    }
    StandIn::UnloadPlugin();
    return texts;
}

}  // namespace

PathRun::PathRun(Path path, Side side, int players) : path_(path), side_(side) {
    const bool chosen = path == Path::CrateChosen;
    const Json config = PathConfig(path);
    PrepareServer(config.dump(2));
    StandIn::SetWorldSettings(800.0f, -400000.0f, 800.0f, -400000.0f);
    const bool onGen2 = path == Path::AsteroidAnnounced || path == Path::AsteroidRepeated;
    StandIn::SetMapName(onGen2 ? "Gen2" : "TheIsland");
    ConnectChosenPlayers(players);
    if (side_ == Side::Plugin) {
        if (chosen) {
            WriteChosenStore(ServerStorePath(), players, ChosenStorePlayers);
        }
        LoadBuiltPlugin();
    } else {
        FloorSetup floor;
        if (chosen) {
            floor.hearing = ChosenStoreHearing(players, ChosenStorePlayers);
        }
        floor.texts = DeliveredTexts(path);
        floor.config = config;
        floor.heldUntil = HeldCooldownSeconds;
        floor.mapName = onGen2 ? "Gen2" : "TheIsland";
        InstallFloor(path, std::move(floor));
    }
    StandIn::ClearRecords();
}

PathRun::~PathRun() {
    if (side_ == Side::Plugin) {
        StandIn::UnloadPlugin();
    } else {
        RemoveFloor(path_);
    }
    StandIn::ClearRecords();
}

bool PathRun::NeedsTimeBetweenSpawns() const { return path_ == Path::CrateAfterCooldown; }

// On the floor side no plugin is loaded, so the timer runs nothing of it;
// the floor's own clock moves with the game's.
void PathRun::BetweenSpawns() {
    if (NeedsTimeBetweenSpawns()) {
        StandIn::Wait(AfterCooldownSeconds);
        AdvanceFloorClock(AfterCooldownSeconds);
    }
}

void PathRun::SpawnOnce() {
    const std::size_t before = StandIn::Records().size();
    StandIn::SpawnStructure(SpawnFor(path_, count_));
    lastDeliveries_ = StandIn::Records().size() - before;
    ++count_;
    if (Announces(path_) || count_ % 256 == 0) {
        StandIn::ClearRecords();
    }
}

ChatRun::ChatRun(Side side, int players) : side_(side) {
    PrepareServer(ChosenConfig().dump(2));
    ConnectChosenPlayers(players);
    if (side_ == Side::Plugin) {
        WriteChosenStore(ServerStorePath(), players, ChosenStorePlayers);
        LoadBuiltPlugin();
    } else {
        InstallFloorChat();
    }
    StandIn::ClearRecords();
}

ChatRun::~ChatRun() {
    if (side_ == Side::Plugin) {
        StandIn::UnloadPlugin();
    } else {
        RemoveFloorChat();
    }
    StandIn::ClearRecords();
}

void ChatRun::ChangeOnce() {
    // Survivor3 chose nothing before: of every seven connected players on
    // CrateChosen, the last four chose nothing.
    StandIn::ChatLine("Survivor3", count_ % 2 == 0 ? "/herald off crates" : "/herald on crates");
    if (++count_ % 256 == 0) {
        StandIn::ClearRecords();
    }
}

ReloadRun::ReloadRun(const std::string& configText, Side side) : side_(side) {
    PrepareServer(configText);
    if (side_ == Side::Plugin) {
        LoadBuiltPlugin();
    } else {
        InstallFloorReload();
    }
    StandIn::ClearRecords();
}

ReloadRun::~ReloadRun() {
    if (side_ == Side::Plugin) {
        StandIn::UnloadPlugin();
    } else {
        RemoveFloorReload();
    }
    StandIn::ClearRecords();
}

void ReloadRun::ReloadOnce() {
    StandIn::ConsoleCommand(nullptr, side_ == Side::Plugin ? PluginReloadLine : FloorReloadCommand);
    if (++count_ % 256 == 0) {
        StandIn::ClearRecords();
    }
}

}  // namespace HeraldBench

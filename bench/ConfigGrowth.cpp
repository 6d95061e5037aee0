// Shows that spawns leave the configuration document and the process's memory
// where they were: many spawns of many distinct names, none of which has an
// entry, with the plugin's detours installed in this process so that its
// document can be inspected before and after.
//
//   herald_config_growth [SPAWNS] [NAMES]

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Scenarios.h"
#include "StandIn.h"
#include "config/Config.h"
#include "plugin/Plugin.h"

namespace {

// Every value of the document, members and elements included.
std::size_t ValueCount(const nlohmann::json& value) {
    std::size_t count = 1;
    if (value.is_structured()) {
        for (const nlohmann::json& child : value) {
            count += ValueCount(child);
        }
    }
    return count;
}

long ResidentKiB() {
    long pages = 0;
    long resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// Distinct names of four kinds that reach a lookup by key: supply crates and
// element nodes (item keys), nests (their creatures' keys) and asteroid crates
// (codes looked up in the four code maps, then item keys).
std::vector<StandIn::StructureSpawn> DistinctSpawns(int count) {
    std::vector<StandIn::StructureSpawn> spawns;
    for (int i = 0; i < count; ++i) {
        char name[64];
        StandIn::StructureSpawn spawn;
        spawn.objectClass = StandIn::ObjectClass::ItemContainer;
        spawn.location = {1000.0f * static_cast<float>(i % 97), -500.0f * static_cast<float>(i % 89), 0.0f};
        switch (i % 4) {
            case 0:
                std::snprintf(name, sizeof name, "SupplyCrate_Growth%05d_C_1", i);
                break;
            case 1:
                std::snprintf(name, sizeof name, "ElementNode_Growth%05d_C_1", i);
                break;
            case 2: {
                std::snprintf(name, sizeof name, "DinoNest_Growth%05d_Nest_C_1", i);
                spawn.objectClass = StandIn::ObjectClass::Structure;
                char creature[64];
                std::snprintf(creature, sizeof creature, "GrowthDino%05d_Character_BP_C_1", i);
                spawn.instigator = StandIn::Instigator{StandIn::Utf16(creature), StandIn::ObjectClass::Dino, 30, true};
                break;
            }
            default:
                std::snprintf(name, sizeof name, "SupplyCrate_Space_Bp_G%05d_C_1", i);
                break;
        }
        spawn.name = StandIn::Utf16(name);
        spawns.push_back(std::move(spawn));
    }
    return spawns;
}

}  // namespace

int main(int argc, char** argv) {
    const long spawnCount = argc > 1 ? std::atol(argv[1]) : 1000000;
    const int nameCount = argc > 2 ? std::atoi(argv[2]) : 10000;

    HeraldBench::PrepareServer(HeraldBench::BenchConfig(true).dump(2));
    StandIn::SetMapName("Gen2");
    for (int i = 0; i < 10; ++i) {
        StandIn::ConnectPlayer("Survivor" + std::to_string(i));
    }
    PluginLoad();
    const std::vector<StandIn::StructureSpawn> spawns = DistinctSpawns(nameCount);
    // The document as read from the file, before any spawn.
    const nlohmann::json before = PluginConfig;
    const std::size_t valuesBefore = ValueCount(PluginConfig);
    const std::size_t bytesBefore = PluginConfig.dump().size();

    // One pass first, so that what any first spawn sets up in the process is in
    // the memory baseline.
    for (const StandIn::StructureSpawn& spawn : spawns) {
        StandIn::SpawnStructure(spawn);
    }
    StandIn::ClearRecords();

    const long residentBefore = ResidentKiB();

    for (long i = 0; i < spawnCount; ++i) {
        StandIn::SpawnStructure(spawns[static_cast<std::size_t>(i % nameCount)]);
        if (i % 1024 == 1023) {
            StandIn::ClearRecords();
        }
    }
    StandIn::ClearRecords();

    const std::size_t valuesAfter = ValueCount(PluginConfig);
    const std::size_t bytesAfter = PluginConfig.dump().size();
    const long residentAfter = ResidentKiB();
    const bool unchanged = PluginConfig == before;
    PluginUnload();

    std::printf("spawns: %d to start, then %ld, of %d distinct names\n", nameCount, spawnCount, nameCount);
    std::printf("document values: %zu -> %zu\n", valuesBefore, valuesAfter);
    std::printf("document bytes:  %zu -> %zu\n", bytesBefore, bytesAfter);
    std::printf("document equal:  %s\n", unchanged ? "yes" : "no");
    std::printf("resident KiB:    %ld -> %ld (%+ld)\n", residentBefore, residentAfter, residentAfter - residentBefore);
    return unchanged ? 0 : 1;
}

// Shows that spawns leave the configuration document and the process's memory
// where they were: many spawns of many distinct names, none of which has an
// entry, with the plugin's detours installed in this process so that its
// document can be inspected before and after.
//
//   herald_config_growth [SPAWNS] [NAMES]

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Scenarios.h"
#include "StandIn.h"
#include "Workloads.h"
#include "config/Config.h"
#include "plugin/Plugin.h"

int main(int argc, char** argv) {
    const long spawnCount = argc > 1 ? std::atol(argv[1]) : 1000000;
    const int nameCount = argc > 2 ? std::atoi(argv[2]) : 10000;

    HeraldBench::PrepareServer(HeraldBench::BenchConfig(true).dump(2));
    StandIn::SetMapName("Gen2");
    for (int i = 0; i < 10; ++i) {
        StandIn::ConnectPlayer("Survivor" + std::to_string(i));
    }
    PluginLoad();
    const std::vector<StandIn::StructureSpawn> spawns = StandIn::DistinctSpawns(nameCount);
    // The document as read from the file, before any spawn.
    const nlohmann::json before = PluginConfig;
    const std::size_t valuesBefore = StandIn::ValueCount(PluginConfig);
    const std::size_t bytesBefore = PluginConfig.dump().size();

    // One pass first, so that what any first spawn sets up in the process is in
    // the memory baseline.
    for (const StandIn::StructureSpawn& spawn : spawns) {
        StandIn::SpawnStructure(spawn);
    }
    StandIn::ClearRecords();

    const long residentBefore = StandIn::ResidentKiB();

    for (long i = 0; i < spawnCount; ++i) {
        StandIn::SpawnStructure(spawns[static_cast<std::size_t>(i % nameCount)]);
        if (i % 1024 == 1023) {
            StandIn::ClearRecords();
        }
    }
    StandIn::ClearRecords();

    const std::size_t valuesAfter = StandIn::ValueCount(PluginConfig);
    const std::size_t bytesAfter = PluginConfig.dump().size();
    const long residentAfter = StandIn::ResidentKiB();
    const bool unchanged = PluginConfig == before;
    PluginUnload();

    std::printf("spawns: %d to start, then %ld, of %d distinct names\n", nameCount, spawnCount, nameCount);
    std::printf("document values: %zu -> %zu\n", valuesBefore, valuesAfter);
    std::printf("document bytes:  %zu -> %zu\n", bytesBefore, bytesAfter);
    std::printf("document equal:  %s\n", unchanged ? "yes" : "no");
    std::printf("resident KiB:    %ld -> %ld (%+ld)\n", residentBefore, residentAfter, residentAfter - residentBefore);
    return unchanged ? 0 : 1;
}

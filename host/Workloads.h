#pragma once
// Workloads on the stand-in that a test and a benchmark both run, and the
// measures they take of the process: header-only, so that each builds them
// with its own code. Linux only (the resident size comes from /proc).

#include <unistd.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "StandIn.h"

namespace StandIn {

// Every value of a document, members and elements included.
inline std::size_t ValueCount(const nlohmann::json& value) {
    std::size_t count = 1;
    if (value.is_structured()) {
        for (const nlohmann::json& child : value) {
            count += ValueCount(child);
        }
    }
    return count;
}

inline long ResidentKiB() {
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

// Distinct names of every kind that reaches a lookup by key: supply crates and
// element nodes by item key, nests by their creature's key, asteroid crates
// by code in the four code maps and then by item key. With entryEvery, one
// crate in that many is named SupplyCrate_Growth00000_C_1, whose key a config
// can hold.
inline std::vector<StructureSpawn> DistinctSpawns(int count, int entryEvery = 0) {
    std::vector<StructureSpawn> spawns;
    for (int i = 0; i < count; ++i) {
        char name[64];
        StructureSpawn spawn;
        spawn.objectClass = ObjectClass::ItemContainer;
        spawn.location = {1000.0f * static_cast<float>(i % 97), -500.0f * static_cast<float>(i % 89), 0.0f};
        switch (i % 4) {
            case 0:
                std::snprintf(name, sizeof name, "SupplyCrate_Growth%05d_C_1",
                              entryEvery > 0 && i % entryEvery == 0 ? 0 : i);
                break;
            case 1:
                std::snprintf(name, sizeof name, "ElementNode_Growth%05d_C_1", i);
                break;
            case 2: {
                std::snprintf(name, sizeof name, "DinoNest_Growth%05d_Nest_C_1", i);
                spawn.objectClass = ObjectClass::Structure;
                char creature[64];
                std::snprintf(creature, sizeof creature, "GrowthDino%05d_Character_BP_C_1", i);
                spawn.instigator = Instigator{Utf16(creature), ObjectClass::Dino, 30, true};
                break;
            }
            default:
                std::snprintf(name, sizeof name, "SupplyCrate_Space_Bp_G%05d_C_1", i);
                break;
        }
        spawn.name = Utf16(name);
        spawns.push_back(std::move(spawn));
    }
    return spawns;
}

}  // namespace StandIn

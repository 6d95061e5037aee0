// Spawns must leave the configuration document as it was read: lookups by a
// key the document lacks may not insert null members, whatever the name. The
// plugin's detours are installed in this process (PluginLoad called directly)
// so that its PluginConfig can be compared before and after.

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Support.h"
#include "config/Config.h"
#include "plugin/Plugin.h"

namespace {

using HeraldTest::ServerTest;
using Json = nlohmann::json;

constexpr int DistinctNames = 10000;
constexpr int Spawns = 100000;

std::size_t ValueCount(const Json& value) {
    std::size_t count = 1;
    if (value.is_structured()) {
        for (const Json& child : value) {
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

// Every kind of spawn that looks a name up: supply crates and element nodes by
// item key, nests by their creature's key, asteroid crates by code in the four
// code maps and then by item key. One name in a hundred has an entry.
std::vector<StandIn::StructureSpawn> DistinctSpawns() {
    std::vector<StandIn::StructureSpawn> spawns;
    for (int i = 0; i < DistinctNames; ++i) {
        char name[64];
        StandIn::StructureSpawn spawn;
        spawn.objectClass = StandIn::ObjectClass::ItemContainer;
        switch (i % 4) {
            case 0:
                std::snprintf(name, sizeof name, "SupplyCrate_Growth%05d_C_1", i % 100 == 0 ? 0 : i);
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

class ConfigGrowthTest : public ServerTest {
protected:
    void SetUp() override {
        const Json notification{{"Type", "Notification"}, {"Msg", "{Name} at {Lat}, {Lon}"}, {"Color", "0,255,0"}};
        server.WriteConfig({
            {"EnableNests", true},
            {"Items", {{"SupplyCrate_Growth00000_C", {{"Name", "Growth crate"}, {"Notification", notification}}}}},
            {"AsteroidGen2",
             {{"Enable", true},
              {"Color", Json::object()},
              {"Name", Json::object()},
              {"PrimaryResources", Json::object()},
              {"SecondaryResources", Json::object()},
              {"Notification", {{"Msg", "{Name}: {PrimaryResources}"}}}}},
        });
        StandIn::SetMapName("Gen2");
        StandIn::ConnectPlayer("Alice");
        StandIn::ConnectPlayer("Bob");
        PluginLoad();
    }
    void TearDown() override {
        PluginUnload();
        StandIn::ClearRecords();
        ServerTest::TearDown();
    }
};

TEST_F(ConfigGrowthTest, SpawnsOfManyDistinctNamesLeaveTheDocumentAndMemoryAsTheyWere) {
    const std::vector<StandIn::StructureSpawn> spawns = DistinctSpawns();
    const Json asRead = PluginConfig;
    const std::size_t valuesAsRead = ValueCount(PluginConfig);
    // One pass first, so that whatever the first spawns set up in the process
    // belongs to the memory baseline; the document is compared with the file's.
    std::size_t announcements = 0;
    for (const StandIn::StructureSpawn& spawn : spawns) {
        StandIn::SpawnStructure(spawn);
        announcements += StandIn::Records().size();
        StandIn::ClearRecords();
    }
    // The names did reach the lookups: the configured crate and every new
    // asteroid code were announced, to both players, and nothing was logged.
    EXPECT_EQ(announcements, 2u * (DistinctNames / 100 + DistinctNames / 4));

    const long residentBefore = ResidentKiB();
    for (int i = 0; i < Spawns; ++i) {
        StandIn::SpawnStructure(spawns[static_cast<std::size_t>(i % DistinctNames)]);
        if (i % 1024 == 1023) {
            StandIn::ClearRecords();
        }
    }
    StandIn::ClearRecords();

    EXPECT_EQ(ValueCount(PluginConfig), valuesAsRead);
    EXPECT_TRUE(PluginConfig == asRead) << Json::diff(asRead, PluginConfig).size()
                                        << " changes to the document, the first: "
                                        << Json::diff(asRead, PluginConfig)[0];
    // The sanitizer keeps freed memory in quarantine, so only a plain build can
    // tell. A null member per name would take well over a megabyte here.
    if (!HeraldTest::AddressSanitizer) {
        EXPECT_LT(ResidentKiB() - residentBefore, 1024) << "resident memory grew with spawns";
    }
}

}  // namespace

// Spawns must leave the configuration document as it was read: lookups by a
// key the document lacks may not insert null members, whatever the name. The
// plugin's detours are installed in this process (PluginLoad called directly)
// so that its PluginConfig can be compared before and after.

#include <string>
#include <vector>

#include "Support.h"
#include "Workloads.h"
#include "config/Config.h"
#include "plugin/Plugin.h"

namespace {

using HeraldTest::ServerTest;
using Json = nlohmann::json;

constexpr int DistinctNames = 10000;
constexpr int Spawns = 100000;

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
    const std::vector<StandIn::StructureSpawn> spawns = StandIn::DistinctSpawns(DistinctNames, 100);
    const Json asRead = PluginConfig;
    const std::size_t valuesAsRead = StandIn::ValueCount(PluginConfig);
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

    const long residentBefore = StandIn::ResidentKiB();
    for (int i = 0; i < Spawns; ++i) {
        StandIn::SpawnStructure(spawns[static_cast<std::size_t>(i % DistinctNames)]);
        if (i % 1024 == 1023) {
            StandIn::ClearRecords();
        }
    }
    StandIn::ClearRecords();

    EXPECT_EQ(StandIn::ValueCount(PluginConfig), valuesAsRead);
    EXPECT_TRUE(PluginConfig == asRead) << Json::diff(asRead, PluginConfig).size()
                                        << " changes to the document, the first: "
                                        << Json::diff(asRead, PluginConfig)[0];
    // The sanitizer keeps freed memory in quarantine, so only a plain build can
    // tell. A null member per name would take well over a megabyte here.
    if (!HeraldTest::AddressSanitizer) {
        EXPECT_LT(StandIn::ResidentKiB() - residentBefore, 1024) << "resident memory grew with spawns";
    }
}

}  // namespace

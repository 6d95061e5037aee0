// The plugin library loaded, used, reloaded and unloaded a hundred times in
// one process. Every cycle must behave exactly like the first (module state
// starts afresh, so the library really went away), and nothing may be left
// behind: no game allocator block, no hook, no command, no heap leak.

#include <fstream>
#include <string>
#include <vector>

#include "Support.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

#if defined(HERALD_ADDRESS_SANITIZER)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

constexpr int Cycles = 100;

const nlohmann::json CycleConfig = nlohmann::json::parse(R"({
  "EnableNests": true,
  "Items": {
    "SupplyCrate_Level03_C": { "Name": "Crate", "Notification": { "Msg": "{Name} {Lat} {Lon} {MapName}", "Color": "0,255,0" } },
    "Rex_Character_BP_C": { "Name": "Rex", "Notification": { "Type": "Chat", "Sender": "Herald", "Msg": "{Name} nest {EggLvl}" } },
    "SupplyCreate_OceanInstant_High_C": { "Name": "Ocean", "Notification": { "Msg": "{Name} {Lat} {Lon}", "Color": "255,0,0" } }
  },
  "AsteroidGen2": {
    "Enable": true,
    "Color": { "Metal": "0,0,255" },
    "Name": { "Metal": "Metal asteroid" },
    "PrimaryResources": { "Metal": "Metal" },
    "SecondaryResources": {},
    "Notification": { "Msg": "{Name}: {PrimaryResources}" }
  }
})");

// Whether the plugin library is mapped into this process at all.
bool PluginMapped() {
#if defined(_WIN32)
    return GetModuleHandleA("SkyCrateHerald.dll") != nullptr;
#else
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find("SkyCrateHerald.so") != std::string::npos) {
            return true;
        }
    }
    return false;
#endif
}

using HeraldTest::SpawnCrate;

class LoadUnloadCycles : public HeraldTest::ServerTest {
protected:
    // Everything one life of the library does: spawns of every kind, a good
    // reload, a broken one, and a spawn proving the good settings survived.
    void RunOneLife() {
        server.WriteConfig(CycleConfig);
        LoadPlugin();
        StandIn::RunInitGame("Gen2");
        SpawnCrate(u"SupplyCrate_Level03_C_1");
        // A fresh library has no last asteroid code, so this is announced in
        // every cycle; a library that stayed loaded would stay silent here.
        SpawnCrate(u"SupplyCrate_Space_AstMetal_C_2");
        StandIn::StructureSpawn nest;
        nest.name = u"Nest_C_3";
        nest.objectClass = StandIn::ObjectClass::Structure;
        nest.instigator = StandIn::Instigator{u"Rex_Character_BP_C_4", StandIn::ObjectClass::Dino, 27, true};
        StandIn::SpawnStructure(nest);
        StandIn::RunInitGame("Ragnarok");
        StandIn::ContainerSpawn ocean;
        ocean.name = u"SupplyCreate_OceanInstant_High_C_5";
        ocean.position = {8000, 16000, 0};
        StandIn::SpawnContainer(ocean);
        StandIn::RconCommand("SkyCrateHerald.Reload", 1);
        server.WriteConfigText("{\"Items\": {");
        StandIn::RconCommand("SkyCrateHerald.Reload", 2);
        SpawnCrate(u"SupplyCrate_Level03_C_6");
        StandIn::UnloadPlugin();
    }
};

TEST_F(LoadUnloadCycles, HundredCyclesBehaveAlikeAndLeaveNothingBehind) {
    StandIn::ConnectPlayer("Alice");
    for (int cycle = 1; cycle <= Cycles; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        StandIn::ClearRecords();
        RunOneLife();

        const std::string parseError = "[json.exception.parse_error.101] parse error at line 1, column 12";
        EXPECT_THAT(Transcript(),
                    ElementsAre("notification Alice \"Crate 50.0 50.0 Gen2\" color=0,1,0,1 size=1.2 time=10",
                                "notification Alice \"Metal asteroid: Metal\" color=0,0,1,1 size=1.2 time=10",
                                "chat Alice Herald: \"Rex nest 27\"",
                                "notification Alice \"Ocean 52.0 51.0\" color=1,0,0,1 size=1.2 time=10",
                                "rcon_reply 1 type=0 \"Reloaded config\"",
                                StartsWith("log SkyCrateHerald error \"" + parseError),
                                StartsWith("rcon_reply 2 type=0 \"" + parseError),
                                "notification Alice \"Crate 50.0 50.0 Ragnarok\" color=0,1,0,1 size=1.2 time=10"));
        EXPECT_THAT(StandIn::HostCalls(),
                    ::testing::IsSupersetOf({"UnregisterConsoleCommand SkyCrateHerald.Reload",
                                             "UnregisterRconCommand SkyCrateHerald.Reload",
                                             "RemoveHook APrimalStructure.PostSpawnInitialize",
                                             "RemoveHook APrimalStructureItemContainer.PostSpawnInitialize",
                                             "RemoveHook AShooterGameMode.InitGame"}));

        // Unloaded means gone: not mapped, no hook answering, no command, no block.
        EXPECT_FALSE(PluginMapped());
        StandIn::ClearRecords();
        SpawnCrate(u"SupplyCrate_Level03_C_7");
        EXPECT_FALSE(StandIn::RconCommand("SkyCrateHerald.Reload", 3));
        EXPECT_THAT(Transcript(), ElementsAre(HasSubstr("unknown RCON command")));
        EXPECT_EQ(StandIn::Allocator().liveBlocks, 0u);
        EXPECT_EQ(StandIn::Allocator().liveBytes, 0u);
        EXPECT_THAT(StandIn::Allocator().faults, IsEmpty());
        if (HasFailure()) {
            break;  // one broken cycle says it all; ninety-nine more copies would not
        }
    }
#if defined(HERALD_ADDRESS_SANITIZER)
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "LeakSanitizer found heap blocks no one points to";
#endif
}

}  // namespace

// Loading the built plugin library into the stand-in: what it registers, in
// which order, the map name, the hook contract, and unloading.

#include "Support.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

using HeraldTest::ServerTest;

const nlohmann::json MinimalConfig = {{"Items", nlohmann::json::object()}};

class LifecycleTest : public ServerTest {};

// What an unload asks of the host, in order; with a web request in flight,
// its bounded wait comes before the hooks go.
std::vector<std::string> UnloadCalls(bool requestInFlight) {
    std::vector<std::string> calls{
        "UnregisterConsoleCommand SkyCrateHerald.Reload", "UnregisterRconCommand SkyCrateHerald.Reload",
        "UnregisterConsoleCommand SkyCrateHerald.Test",   "UnregisterRconCommand SkyCrateHerald.Test",
        "UnregisterConsoleCommand SkyCrateHerald.Status", "UnregisterRconCommand SkyCrateHerald.Status",
        "UnregisterTimerCallback SkyCrateHerald",         "UnregisterChatCommand /herald"};
    if (requestInFlight) {
        calls.push_back("FinishRequests");
    }
    for (const char* hook : {"APrimalStructure.PostSpawnInitialize",
                             "APrimalStructureItemContainer.PostSpawnInitialize", "AShooterGameMode.InitGame"}) {
        calls.push_back(std::string("RemoveHook ") + hook);
    }
    return calls;
}

TEST_F(LifecycleTest, LoadOnRunningServerRegistersEverythingInOrder) {
    server.WriteConfig(MinimalConfig);
    StandIn::SetMapName("Ragnarok");
    LoadPlugin();
    EXPECT_THAT(StandIn::HostCalls(),
                ElementsAre("GetLogSinks", "GetCurrentDir", "QueryServerStatus", "QueryGameMode",
                            "RegisterConsoleCommand SkyCrateHerald.Reload", "RegisterRconCommand SkyCrateHerald.Reload",
                            "RegisterConsoleCommand SkyCrateHerald.Test", "RegisterRconCommand SkyCrateHerald.Test",
                            "RegisterConsoleCommand SkyCrateHerald.Status", "RegisterRconCommand SkyCrateHerald.Status",
                            "RegisterTimerCallback SkyCrateHerald", "RegisterChatCommand /herald",
                            "GetCurrentDir",  // the store's folder
                            "InstallHook APrimalStructure.PostSpawnInitialize",
                            "InstallHook APrimalStructureItemContainer.PostSpawnInitialize",
                            "InstallHook AShooterGameMode.InitGame"));
    EXPECT_THAT(Transcript(), IsEmpty()) << "a successful load writes nothing";

    StandIn::HostCalls().clear();
    StandIn::UnloadPlugin();
    EXPECT_THAT(StandIn::HostCalls(), ElementsAreArray(UnloadCalls(false)));
}

TEST_F(LifecycleTest, UnloadGivesADiscordPostInFlightItsBoundedWaitBeforeTheHooksGo) {
    nlohmann::json config = MinimalConfig;
    config["Discord"] = {{"Webhook", "https://discord.example/api/webhooks/1/token"}};
    config["Items"]["SupplyCrate_Level03_C"] = {{"Notification", {{"Msg", "crate"}}}};
    server.WriteConfig(config);
    LoadPlugin();
    HeraldTest::SpawnCrate(u"SupplyCrate_Level03_C_1");
    ASSERT_EQ(StandIn::RequestsInFlight(), 1u);
    StandIn::HostCalls().clear();
    StandIn::UnloadPlugin();
    EXPECT_THAT(StandIn::HostCalls(), ElementsAreArray(UnloadCalls(true)));
    EXPECT_EQ(StandIn::RequestsInFlight(), 0u);
}

TEST_F(LifecycleTest, MapNameComesFromGameModeOnRunningServerAndFromInitGameLater) {
    server.WriteConfig({{"Items",
                         {{"SupplyCreate_OceanInstant_High_C",
                           {{"Notification", {{"Msg", "ocean crate on {MapName}"}, {"Type", "Chat"}}}}}}}});
    StandIn::SetMapName("Ragnarok");
    StandIn::ConnectPlayer("Alice");
    LoadPlugin();
    // The ocean crate rule only fires on "Ragnarok": it shows which map the plugin believes in.
    StandIn::SpawnContainer({u"SupplyCreate_OceanInstant_High_C_1"});
    StandIn::RunInitGame("TheIsland");
    StandIn::SpawnContainer({u"SupplyCreate_OceanInstant_High_C_2"});
    StandIn::RunInitGame("Ragnarok");
    StandIn::SpawnContainer({u"SupplyCreate_OceanInstant_High_C_3"});
    EXPECT_THAT(Transcript(), ElementsAre("chat Alice Server: \"ocean crate on Ragnarok\"",
                                          "chat Alice Server: \"ocean crate on Ragnarok\""));
}

TEST_F(LifecycleTest, LoadOnStartingServerTakesNoMapUntilInitGame) {
    server.WriteConfig(
        {{"Items",
          {{"SupplyCreate_OceanInstant_High_C", {{"Notification", {{"Msg", "{MapName}"}, {"Type", "Chat"}}}}}}}});
    StandIn::SetServerStatus(0);
    StandIn::SetMapName("Ragnarok");  // what a game mode would say, had the plugin asked
    StandIn::ConnectPlayer("Alice");
    LoadPlugin();
    EXPECT_THAT(StandIn::HostCalls(), ::testing::Not(::testing::Contains("QueryGameMode")));
    StandIn::SpawnContainer({u"SupplyCreate_OceanInstant_High_C_1"});
    EXPECT_THAT(Transcript(), IsEmpty()) << "no map name yet, so not Ragnarok";

    StandIn::RunInitGame("Ragnarok");
    StandIn::SpawnContainer({u"SupplyCreate_OceanInstant_High_C_2"});
    EXPECT_THAT(Transcript(), ElementsAre("chat Alice Server: \"Ragnarok\""));
}

TEST_F(LifecycleTest, MissingConfigRefusesThePluginWithOneLogLine) {
    const StandIn::LoadResult result = StandIn::LoadPlugin(HeraldTest::PluginPath);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "Can't open config.json");
    EXPECT_FALSE(StandIn::PluginLoaded());
    EXPECT_THAT(Transcript(), ElementsAre("log SkyCrateHerald error \"Can't open config.json\""));
    EXPECT_THAT(StandIn::HostCalls(), ElementsAre("GetLogSinks", "GetCurrentDir"));
    // Nothing was registered: the command is unknown and spawns run without the plugin.
    StandIn::ClearRecords();
    EXPECT_FALSE(StandIn::RconCommand("SkyCrateHerald.Reload", 1));
    EXPECT_THAT(Transcript(), ElementsAre("refused \"unknown RCON command SkyCrateHerald.Reload\""));
}

TEST_F(LifecycleTest, BrokenConfigAtLoadReachesTheLoaderWithTheParserText) {
    server.WriteConfigText("{\"Items\": ");
    const StandIn::LoadResult result = StandIn::LoadPlugin(HeraldTest::PluginPath);
    EXPECT_FALSE(result.ok);
    EXPECT_THAT(result.error, ::testing::StartsWith("[json.exception.parse_error.101]"));
    ASSERT_EQ(StandIn::Records().size(), 1u);
    EXPECT_EQ(StandIn::Records()[0].text, result.error);
}

TEST_F(LifecycleTest, DetoursRunTheGamesFunctionFirstWithEveryArgumentUnchanged) {
    server.WriteConfig(
        {{"EnableNests", true}, {"Items", {{"SupplyCrate_Level03_C", {{"Notification", {{"Msg", "crate"}}}}}}}});
    StandIn::ConnectPlayer("Alice");
    LoadPlugin();
    int rotation = 0;
    int owner = 0;
    int pawn = 0;
    StandIn::StructureSpawn spawn{u"SupplyCrate_Level03_C_5", StandIn::ObjectClass::ItemContainer, {1.5f, -2.5f, 3.0f}};
    spawn.rotation = &rotation;
    spawn.owner = &owner;
    spawn.instigatorPawn = &pawn;
    spawn.flags[0] = true;
    spawn.flags[2] = true;
    StandIn::SpawnStructure(spawn);

    ASSERT_EQ(StandIn::StructureSpawnCalls().size(), 1u);
    const StandIn::StructureSpawnCall& call = StandIn::StructureSpawnCalls()[0];
    EXPECT_NE(call.structure, nullptr);
    EXPECT_EQ(call.locationValue.X, 1.5f);
    EXPECT_EQ(call.locationValue.Y, -2.5f);
    EXPECT_EQ(call.locationValue.Z, 3.0f);
    EXPECT_EQ(call.rotation, &rotation);
    EXPECT_EQ(call.owner, &owner);
    EXPECT_EQ(call.instigator, &pawn);
    EXPECT_THAT(call.flags, ElementsAre(true, false, true, false));
    EXPECT_EQ(call.recordsBefore, 0u) << "the announcement came before the game's own function";
    EXPECT_EQ(StandIn::Records().size(), 1u);

    StandIn::SpawnContainer({u"SupplyCreate_OceanInstant_High_C_7"});
    ASSERT_EQ(StandIn::ContainerSpawnCalls().size(), 1u);
    EXPECT_NE(StandIn::ContainerSpawnCalls()[0].container, nullptr);

    StandIn::RunInitGame("Gen2");
    ASSERT_EQ(StandIn::InitGameCalls().size(), 1u);
    EXPECT_EQ(StandIn::InitGameCalls()[0].mapText, "Gen2");
    EXPECT_NE(StandIn::InitGameCalls()[0].options, nullptr);
    EXPECT_NE(StandIn::InitGameCalls()[0].errorMessage, nullptr);
}

TEST_F(LifecycleTest, AfterUnloadTheGameRunsWithoutThePlugin) {
    server.WriteConfig({{"Items", {{"SupplyCrate_Level03_C", {{"Notification", {{"Msg", "crate"}}}}}}}});
    StandIn::ConnectPlayer("Alice", true);
    LoadPlugin();
    StandIn::UnloadPlugin();
    StandIn::ClearRecords();
    StandIn::SpawnStructure({u"SupplyCrate_Level03_C_5", StandIn::ObjectClass::ItemContainer});
    const std::string alice = "Alice";
    EXPECT_FALSE(StandIn::ConsoleCommand(&alice, "SkyCrateHerald.Reload"));
    EXPECT_FALSE(StandIn::RconCommand("SkyCrateHerald.Reload", 3));
    EXPECT_FALSE(StandIn::ConsoleCommand(&alice, "SkyCrateHerald.Test SupplyCrate_Level03_C"));
    EXPECT_FALSE(StandIn::RconCommand("SkyCrateHerald.Test SupplyCrate_Level03_C", 4));
    EXPECT_FALSE(StandIn::RconCommand("SkyCrateHerald.Status", 5));
    EXPECT_FALSE(StandIn::ChatLine("Alice", "/herald off crates"));
    StandIn::Wait(2);
    EXPECT_EQ(StandIn::StructureSpawnCalls().size(), 1u) << "the game's own function still runs";
    EXPECT_THAT(Transcript(), ElementsAre("refused \"unknown console command SkyCrateHerald.Reload\"",
                                          "refused \"unknown RCON command SkyCrateHerald.Reload\"",
                                          "refused \"unknown console command SkyCrateHerald.Test\"",
                                          "refused \"unknown RCON command SkyCrateHerald.Test\"",
                                          "refused \"unknown RCON command SkyCrateHerald.Status\""));
}

TEST_F(LifecycleTest, LoadUnloadLoadAgainStartsAFreshLife) {
    server.WriteConfig(
        {{"Items",
          {{"SupplyCreate_OceanInstant_High_C", {{"Notification", {{"Msg", "{MapName}"}, {"Type", "Chat"}}}}}}}});
    StandIn::ConnectPlayer("Alice");
    StandIn::SetServerStatus(0);
    LoadPlugin();
    StandIn::RunInitGame("Ragnarok");
    StandIn::UnloadPlugin();
    EXPECT_EQ(StandIn::Allocator().liveBlocks, 0u) << "the first life left game memory behind";

    // A second life starts with an empty map name: it has seen no InitGame yet.
    StandIn::ClearRecords();
    LoadPlugin();
    EXPECT_EQ(StandIn::HostCalls().size(), 16u - 1u) << "everything registered anew, no game mode asked";
    StandIn::SpawnContainer({u"SupplyCreate_OceanInstant_High_C_1"});
    EXPECT_THAT(Transcript(), IsEmpty());
    StandIn::RunInitGame("Ragnarok");
    StandIn::SpawnContainer({u"SupplyCreate_OceanInstant_High_C_2"});
    EXPECT_THAT(Transcript(), ElementsAre("chat Alice Server: \"Ragnarok\""));
}

TEST_F(LifecycleTest, ThreadNoticesChangeNothingAndReportSuccess) {
    server.WriteConfig(MinimalConfig);
    LoadPlugin();
    StandIn::HostCalls().clear();
    EXPECT_EQ(StandIn::CallPluginEntry(2), 1);
    EXPECT_EQ(StandIn::CallPluginEntry(3), 1);
    EXPECT_THAT(StandIn::HostCalls(), IsEmpty());
    EXPECT_THAT(Transcript(), IsEmpty());
}

}  // namespace

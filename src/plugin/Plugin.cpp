#include "plugin/Plugin.h"

#include "announce/Calm.h"
#include "announce/SpawnDetours.h"
#include "announce/StatusCommand.h"
#include "announce/Tally.h"
#include "announce/TestCommand.h"
#include "config/Config.h"
#include "game/GameTypes.h"
#include "players/Players.h"
#include "plugin/PluginLog.h"
#include "plugin/PluginName.h"
#include "plugin/ReloadCommands.h"
#include "relay/Relay.h"

namespace {

using InitGameFunction = void(AShooterGameMode*, FString*, FString*, FString*);
InitGameFunction* InitGameOriginal = nullptr;

constexpr char StructurePostSpawnHook[] = "APrimalStructure.PostSpawnInitialize";
constexpr char ItemContainerPostSpawnHook[] = "APrimalStructureItemContainer.PostSpawnInitialize";
constexpr char InitGameHook[] = "AShooterGameMode.InitGame";

void OnTimer() {
    RunLogged(&PlayersTimer);
    // A digest that raises is logged and not tried again: its spawns are
    // dropped with it, as a spawn's announcement would be.
    RunLogged([] {
        for (const HeldSpawns& held : CalmTimer()) {
            RunLogged([&held] { AnnounceHeld(held); });
        }
    });
    RunLogged(&RelayTimer);
}

void* AsDetour(auto* function) { return reinterpret_cast<void*>(function); }
void** AsSlot(auto** slot) { return reinterpret_cast<void**>(slot); }

}  // namespace

// Load registers, unload removes: the two lists below match line for line.
void PluginLoad() {
    PluginLog::Open(PluginName);
    try {
        ReadConfig();
    } catch (const std::exception& error) {
        PluginLog::WriteError(error.what());
        throw;
    }
    if (ArkApi::GetApiUtils().QueryServerStatus() == 1) {
        EnsureMapName();
    }
    ArkApi::ICommands& commands = ArkApi::GetCommands();
    commands.RegisterConsoleCommand(FString::FromNarrow(ReloadCommandName), &ReloadConsoleHandler);
    commands.RegisterRconCommand(FString::FromNarrow(ReloadCommandName), &ReloadRconHandler);
    commands.RegisterConsoleCommand(FString::FromNarrow(TestCommandName), &TestConsoleHandler);
    commands.RegisterRconCommand(FString::FromNarrow(TestCommandName), &TestRconHandler);
    commands.RegisterConsoleCommand(FString::FromNarrow(StatusCommandName), &StatusConsoleHandler);
    commands.RegisterRconCommand(FString::FromNarrow(StatusCommandName), &StatusRconHandler);
    commands.RegisterTimerCallback(FString::FromNarrow(PluginName), &OnTimer);
    FollowConfig();
    ArkApi::IHooks& hooks = ArkApi::GetHooks();
    hooks.InstallHook(StructurePostSpawnHook, AsDetour(&StructurePostSpawnDetour), AsSlot(&StructurePostSpawnOriginal));
    hooks.InstallHook(ItemContainerPostSpawnHook, AsDetour(&ItemContainerPostSpawnDetour),
                      AsSlot(&ItemContainerPostSpawnOriginal));
    hooks.InstallHook(InitGameHook, AsDetour(&InitGameDetour), AsSlot(&InitGameOriginal));
}

void PluginUnload() {
    ArkApi::ICommands& commands = ArkApi::GetCommands();
    commands.UnregisterConsoleCommand(FString::FromNarrow(ReloadCommandName));
    commands.UnregisterRconCommand(FString::FromNarrow(ReloadCommandName));
    commands.UnregisterConsoleCommand(FString::FromNarrow(TestCommandName));
    commands.UnregisterRconCommand(FString::FromNarrow(TestCommandName));
    commands.UnregisterConsoleCommand(FString::FromNarrow(StatusCommandName));
    commands.UnregisterRconCommand(FString::FromNarrow(StatusCommandName));
    commands.UnregisterTimerCallback(FString::FromNarrow(PluginName));
    StopPlayers();
    StopCalm();
    ResetTally();
    StopRelay();
    ArkApi::IHooks& hooks = ArkApi::GetHooks();
    hooks.RemoveHook(StructurePostSpawnHook, AsDetour(&StructurePostSpawnDetour));
    hooks.RemoveHook(ItemContainerPostSpawnHook, AsDetour(&ItemContainerPostSpawnDetour));
    hooks.RemoveHook(InitGameHook, AsDetour(&InitGameDetour));
}

void EnsureMapName() {
    if (!CurrentMapName.empty()) {
        return;
    }
    AShooterGameMode* gameMode = ArkApi::GetApiUtils().QueryGameMode();
    FString mapName;
    GameFunction<void(AShooterGameMode*, FString*)>("AShooterGameMode.GetMapName")(gameMode, &mapName);
    SetCurrentMap(mapName.ToUtf8());
}

void InitGameDetour(AShooterGameMode* gameMode, FString* mapName, FString* options, FString* errorMessage) {
    InitGameOriginal(gameMode, mapName, options, errorMessage);
    RunLogged([mapName] { SetCurrentMap(mapName->ToUtf8()); });
}

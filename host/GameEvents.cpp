// The game's functions that plugins hook, the events that run them (spawns,
// the game's start), and the game's clock, which runs the requests'
// completions and the timers.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "HostState.h"
#include "Requests.h"

// The game classes behind the hooked functions' parameters, as the plugin
// declares them: a detour is entered through exactly the game's own type.
struct APrimalStructure;
struct APrimalStructureItemContainer;
struct FRotator;
struct AActor;
struct APawn;

namespace StandIn::detail {

namespace {

void StructurePostSpawnInitialize(APrimalStructure* structure, FVector* location, FRotator* rotation, AActor* owner,
                                  APawn* instigator, bool flag1, bool flag2, bool flag3, bool flag4) {
    TheServer().structureSpawns.push_back({structure,
                                           location,
                                           *location,
                                           rotation,
                                           owner,
                                           instigator,
                                           {flag1, flag2, flag3, flag4},
                                           TheServer().records.size()});
}

void ContainerPostSpawnInitialize(APrimalStructureItemContainer* container) {
    TheServer().containerSpawns.push_back({container, TheServer().records.size()});
}

void InitGame(AShooterGameMode* gameMode, FString* mapName, FString* options, FString* errorMessage) {
    TheServer().mapName = Utf8(mapName->View());
    TheServer().initGames.push_back({gameMode, mapName, options, errorMessage, TheServer().mapName});
}

template <typename Signature>
Signature* HookedFunction(const char* name) {
    const Hook& hook = TheServer().hooks.at(name);
    return reinterpret_cast<Signature*>(hook.detour != nullptr ? hook.detour : hook.gameFunction);
}

}  // namespace

void RegisterHookedFunctions() {
    auto& hooks = TheServer().hooks;
    hooks["APrimalStructure.PostSpawnInitialize"].gameFunction = AsAddress(&StructurePostSpawnInitialize);
    hooks["APrimalStructureItemContainer.PostSpawnInitialize"].gameFunction = AsAddress(&ContainerPostSpawnInitialize);
    hooks["AShooterGameMode.InitGame"].gameFunction = AsAddress(&InitGame);
}

}  // namespace StandIn::detail

namespace StandIn {

using namespace detail;

void SpawnStructure(const StructureSpawn& spawn) {
    const Kind kind = spawn.objectClass == ObjectClass::ItemContainer ? Kind::ItemContainer
                      : spawn.objectClass == ObjectClass::Structure   ? Kind::Structure
                      : spawn.objectClass == ObjectClass::Dino        ? Kind::Dino
                                                                      : Kind::Other;
    GameObject* structure = CreateObject(kind, spawn.name);
    GameObject* instigator = nullptr;
    GameObject* status = nullptr;
    if (spawn.instigator) {
        instigator = CreateObject(spawn.instigator->objectClass == ObjectClass::Dino ? Kind::Dino : Kind::Other,
                                  spawn.instigator->name);
        if (spawn.instigator->hasStatusComponent) {
            status = CreateObject(Kind::Other, u"PrimalDinoStatusComponent");
            status->CharacterLevel = spawn.instigator->level;
            instigator->MyCharacterStatusComponent = status;
        }
        structure->Instigator = instigator;
    }
    FVector location = spawn.location;
    HookedFunction<decltype(StructurePostSpawnInitialize)>("APrimalStructure.PostSpawnInitialize")(
        reinterpret_cast<APrimalStructure*>(structure), &location, static_cast<FRotator*>(spawn.rotation),
        static_cast<AActor*>(spawn.owner), static_cast<APawn*>(spawn.instigatorPawn), spawn.flags[0], spawn.flags[1],
        spawn.flags[2], spawn.flags[3]);
    DestroyObject(status);
    DestroyObject(instigator);
    DestroyObject(structure);
}

void SpawnContainer(const ContainerSpawn& spawn) {
    GameObject* container = CreateObject(Kind::ItemContainer, spawn.name);
    GameObject* root = nullptr;
    if (spawn.hasRootComponent) {
        root = CreateObject(Kind::Other, u"DefaultSceneRoot");
        root->WorldLocation = spawn.position;
        container->RootComponent = root;
    }
    HookedFunction<decltype(ContainerPostSpawnInitialize)>("APrimalStructureItemContainer.PostSpawnInitialize")(
        reinterpret_cast<APrimalStructureItemContainer*>(container));
    DestroyObject(root);
    DestroyObject(container);
}

void RunInitGame(const std::string& map) {
    HostString mapName(Utf16(map));
    HostString options(u"?listen");
    HostString errorMessage(u"");
    HookedFunction<decltype(InitGame)>("AShooterGameMode.InitGame")(
        reinterpret_cast<AShooterGameMode*>(TheServer().gameMode), &mapName.text, &options.text, &errorMessage.text);
}

std::int64_t GameSeconds() { return TheServer().gameSeconds; }

void Wait(int seconds) {
    Server& server = TheServer();
    for (int second = 0; second < seconds; ++second) {
        ++server.gameSeconds;
        server.world->TimeSeconds = static_cast<float>(server.gameSeconds);
        // The framework's requests complete with the timer, before its
        // callbacks: a timer sees the replies that came by its tick.
        RunRequestCompletions();
        // Timers are kept in the order of their serials, which removals keep:
        // each turn finds the next one still registered after the last that
        // ran, so a callback may remove itself or any other, and one
        // registered during the tick waits for the next.
        const std::uint64_t registeredBefore = server.timersRegistered;
        std::uint64_t ran = 0;
        for (;;) {
            const auto next =
                std::upper_bound(server.timers.begin(), server.timers.end(), ran,
                                 [](std::uint64_t serial, const Timer& timer) { return serial < timer.serial; });
            if (next == server.timers.end() || next->serial > registeredBefore) {
                break;
            }
            ran = next->serial;
            const ArkApi::TimerCallback callback = next->callback;
            callback();
        }
    }
}

}  // namespace StandIn

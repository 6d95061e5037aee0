#pragma once
// The stand-in's internal state, shared by its source files.

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "StandIn.h"

namespace StandIn::detail {

enum class Kind { Other, Structure, ItemContainer, Dino, PlayerController, World, WorldSettings, GameMode, Rcon };

// Every simulated object has this one layout; the game's field entries are
// offsets into it.
struct GameObject {
    FName Name{};
    void* Instigator = nullptr;
    void* RootComponent = nullptr;
    void* MyCharacterStatusComponent = nullptr;
    int32_t CharacterLevel = 0;
    FVector WorldLocation{};
    struct {
        FWeakObjectPtr* Data;
        int32_t ArrayNum;
        int32_t ArrayMax;
    } PlayerControllerList{};
    float LatitudeScale = 0;
    float LatitudeOrigin = 0;
    float LongitudeScale = 0;
    float LongitudeOrigin = 0;
    float TimeSeconds = 0;

    Kind kind = Kind::Other;
    std::u16string name;
    bool admin = false;
    std::u16string uniqueId;  // a player controller's
};

struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};
template <typename T>
using NameMap = std::unordered_map<std::string, T, NameHash, std::equal_to<>>;

struct Hook {
    void* gameFunction = nullptr;
    void* detour = nullptr;
};

struct Timer {
    std::u16string id;
    ArkApi::TimerCallback callback;
    // Which registration this is: a tick runs the timers registered before it
    // began and still registered when their turn comes, whatever the callbacks
    // before them removed or added.
    std::uint64_t serial = 0;
};

// The world's list of player controllers, as the game keeps it, and the
// host's own index of it. A leaving player's controller is destroyed but its
// entry stays in the list as a stale weak reference, which the plugin has to
// skip; the world sweeps such entries out when it next adds a controller
// (see ConnectPlayer), so the list never holds more entries than players were
// connected at once since then.
struct PlayerList {
    std::vector<FWeakObjectPtr> entries;  // what UWorld.PlayerControllerList shows, in joining order
    std::size_t staleEntries = 0;
    // Live controllers by name, earliest first: whom a console line or a
    // disconnect by that name means, found without walking the list.
    NameMap<std::deque<GameObject*>> byName;

    void clear() {
        entries.clear();
        staleEntries = 0;
        byName.clear();
    }
};

struct Server {
    std::string directory;
    int status = 1;
    bool worldAvailable = true;
    std::string mapName = "TheIsland";

    std::vector<std::unique_ptr<GameObject>> objects;  // slot = FName.ComparisonIndex = weak index
    std::vector<int32_t> serials;
    PlayerList playerList;
    GameObject* world = nullptr;
    GameObject* worldSettings = nullptr;
    GameObject* gameMode = nullptr;
    GameObject* rcon = nullptr;

    NameMap<Hook> hooks;
    // Registrations are the registrant's to remove: a reset keeps them, as it
    // keeps a loaded plugin, and an unload leaves whatever the plugin left.
    std::vector<std::pair<std::u16string, ArkApi::ChatCommandHandler>> chatCommands;
    std::vector<std::pair<std::u16string, ArkApi::ConsoleCommandHandler>> consoleCommands;
    std::vector<std::pair<std::u16string, ArkApi::RconCommandHandler>> rconCommands;
    std::vector<Timer> timers;  // in registration order
    std::uint64_t timersRegistered = 0;
    std::int64_t gameSeconds = 0;  // since the server started

    std::vector<Record> records;
    std::vector<std::string> hostCalls;
    std::vector<StructureSpawnCall> structureSpawns;
    std::vector<ContainerSpawnCall> containerSpawns;
    std::vector<InitGameCall> initGames;
};

Server& TheServer();

GameObject* CreateObject(Kind kind, std::u16string name);
void DestroyObject(GameObject* object);
GameObject* LiveObject(FWeakObjectPtr reference);
FWeakObjectPtr WeakReference(const GameObject* object);
std::string PlayerName(const void* playerController);

// The simulated object behind a pointer the game hands out.
inline GameObject* AsObject(const void* object) { return static_cast<GameObject*>(const_cast<void*>(object)); }

// A function as the framework's tables hold it.
void* AsAddress(auto* function) { return reinterpret_cast<void*>(function); }

// Writes text into a game string, storage from the game's allocator.
void AssignGameString(FString& target, std::u16string_view text);

// Frees its game strings with the game's allocator even when a test has taken
// the plugin-visible FMemory.Free entry away.
struct HostString {
    FString text;
    explicit HostString(std::u16string_view units) { AssignGameString(text, units); }
    HostString(const HostString&) = delete;
    HostString& operator=(const HostString&) = delete;
    ~HostString() {
        GameFree(text.Data);
        text.Data = nullptr;
        text.ArrayNum = text.ArrayMax = 0;
    }
};

// The earliest connected live player of that name, or null.
GameObject* FindPlayer(const std::string& name);

void RegisterGameEntries();
void ClearAllocatorFaults();
void* ResolveFunction(const char* name);
void* ResolveField(const void* object, const char* name);
void RemoveEntry(const std::string& name);
std::uint64_t EntryResolutions(const std::string& name);
void RegisterHookedFunctions();

}  // namespace StandIn::detail

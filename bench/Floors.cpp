// The floors: what any implementation pays on each path: the hooked call and
// the game's own function; each game function and field resolved by name at
// each use; the game's calls (class tests, the object's name and its release,
// the player's weak reference, the delivery); and the configuration lookups
// whose answers decide what is sent. Nothing else: no fragment search, no item
// key beyond the bytes of the name, no template filling, no coordinate text, no
// colour parsing.

#include "Floors.h"

#include <condition_variable>
#include <deque>
#include <fstream>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "StandIn.h"
#include "announce/SpawnDetours.h"
#include "config/ConfigKeys.h"
#include "config/ConfigReaders.h"
#include "config/ItemNames.h"
#include "game/ConnectedPlayers.h"
#include "game/GameTypes.h"
#include "plugin/PluginName.h"

namespace HeraldBench {

namespace {

using Json = nlohmann::json;

constexpr char StructureHook[] = "APrimalStructure.PostSpawnInitialize";

Json FloorConfig;
std::string FloorMapName;
std::string FloorLastAsteroidCode;
// The texts the plugin delivers on this path, in the order it delivers them:
// the game's delivery costs more for a longer text, so the floor sends the same.
std::vector<std::string> FloorTexts;
std::size_t FloorTextIndex = 0;
StructurePostSpawnFunction* FloorStructureOriginal = nullptr;
// Where the floors leave values they read, so the reads are not optimised away.
volatile float FloorSink = 0;

const Json* Find(const Json& object, std::string_view key) {
    if (!object.is_object()) {
        return nullptr;
    }
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

bool FindFlag(const Json& object, std::string_view key) {
    const Json* value = Find(object, key);
    return value != nullptr && value->is_boolean() && value->get<bool>();
}

float FindNumber(const Json& object, std::string_view key, float fallback) {
    const Json* value = Find(object, key);
    return value != nullptr && value->is_number() ? value->get<float>() : fallback;
}

const std::string* FindText(const Json& object, std::string_view key) {
    const Json* value = Find(object, key);
    return value != nullptr && value->is_string() ? &value->get_ref<const std::string&>() : nullptr;
}

bool FloorIsA(const void* object, const char* staticClassFunction) {
    void* objectClass = GameFunction<void*()>(staticClassFunction)();
    return GameFunction<bool(const void*, void*)>("UObjectBaseUtility.IsA")(object, objectClass);
}

// The structure tests that decide whether a structure is looked at further.
bool FloorExamined(const void* structure) {
    if (FloorIsA(structure, "APrimalStructureItemContainer.GetPrivateStaticClass")) {
        return true;
    }
    return FindFlag(FloorConfig, Key::EnableNests) && FloorIsA(structure, "APrimalStructure.GetPrivateStaticClass");
}

// The bytes of the name up to its class suffix: the least that a lookup by
// name needs. The benchmark's names are ASCII.
std::string_view FloorKey(std::u16string_view name, char (&buffer)[128]) {
    const std::size_t suffix = name.find(u"_C_");
    std::size_t kept = suffix == std::u16string_view::npos ? name.size() : suffix + 2;
    kept = kept < sizeof buffer ? kept : sizeof buffer;
    for (std::size_t i = 0; i < kept; ++i) {
        buffer[i] = static_cast<char>(name[i]);
    }
    return {buffer, kept};
}

void FloorReadWorldSettings() {
    UWorld* world = ArkApi::GetApiUtils().QueryWorld();
    if (world == nullptr) {
        return;
    }
    void* settings = GameFunction<void*(UWorld*, bool, bool)>("UWorld.GetWorldSettings")(world, false, true);
    FloorSink = GameField<float>(settings, "APrimalWorldSettings.LatitudeScale") +
                GameField<float>(settings, "APrimalWorldSettings.LongitudeScale") +
                GameField<float>(settings, "APrimalWorldSettings.LatitudeOrigin") +
                GameField<float>(settings, "APrimalWorldSettings.LongitudeOrigin");
}

// Who hears: on every path but CrateChosen, everyone, at no cost.
struct EveryoneHears {
    bool operator()(AShooterPlayerController* /*player*/) const { return true; }
};

// On CrateChosen, what any implementation pays per recipient to leave out
// those who turned the group off: the player's id read through the game, and
// one hash lookup of it as the game gives it, in a table of every stored
// player that already answers for the crate's group.
struct IdHash {
    using is_transparent = void;
    std::size_t operator()(std::u16string_view id) const { return std::hash<std::u16string_view>{}(id); }
};
std::unordered_map<std::u16string, bool, IdHash, std::equal_to<>> FloorHearsCrates;

struct ChosenHears {
    bool operator()(AShooterPlayerController* player) const {
        FString id;
        GameFunction<void(AShooterPlayerController*, FString*)>("AShooterPlayerController.GetUniqueNetIdAsString")(
            player, &id);
        const auto found = FloorHearsCrates.find(id.View());
        return found == FloorHearsCrates.end() || found->second;
    }
};

template <typename Hears, typename Deliver>
void FloorForEachPlayer(Deliver&& deliver) {
    UWorld* world = ArkApi::GetApiUtils().QueryWorld();
    if (world == nullptr) {
        return;
    }
    const auto& players = GameField<TGameArray<FWeakObjectPtr>>(world, "UWorld.PlayerControllerList");
    for (const FWeakObjectPtr& element : players) {
        FWeakObjectPtr reference = element;
        auto* player =
            GameFunction<AShooterPlayerController*(FWeakObjectPtr*, bool)>("FWeakObjectPtr.Get")(&reference, false);
        if (player != nullptr && Hears{}(player)) {
            deliver(player);
        }
    }
}

// CrateRelayed: what any relay pays for a line while a post is in flight:
// the text kept in a queue of bounded length.
std::deque<std::string> FloorRelayQueue;
constexpr std::size_t FloorRelayLimit = 100;

void FloorRelay(const std::string& text) {
    if (FloorRelayQueue.size() == FloorRelayLimit) {
        FloorRelayQueue.pop_front();
    }
    FloorRelayQueue.push_back(text);
}

// The delivered text, made the game's string by the framework's UTF-8 decoding, and its delivery.
template <typename Hears = EveryoneHears, bool Relays = false>
void FloorBroadcast(const Json& notification) {
    const std::string* message = FindText(notification, Key::Msg);
    if (message == nullptr || message->empty() || FloorTexts.empty()) {
        return;
    }
    const std::string* type = FindText(notification, Key::Type);
    const std::string& filled = FloorTexts[FloorTextIndex++ % FloorTexts.size()];
    FString text = FString::FromUtf8(filled);
    if constexpr (Relays) {
        FloorRelay(filled);
    }
    if (type == nullptr || *type == NotificationType) {
        const float time = FindNumber(notification, Key::Time, static_cast<float>(DefaultDisplayTime));
        const float size = FindNumber(notification, Key::Size, static_cast<float>(DefaultDisplaySize));
        FloorSink = FindText(notification, Key::Color) != nullptr ? 1.0f : 0.0f;
        const FColorLinear color{0.0f, 1.0f, 0.0f, 1.0f};
        FloorForEachPlayer<Hears>([&](AShooterPlayerController* player) {
            GameFunction<void(AShooterPlayerController*, FString*, FColorLinear, float, float, void*, void*)>(
                "AShooterPlayerController.ClientServerSOTFNotificationCustom")(player, &text, color, size, time,
                                                                               nullptr, nullptr);
        });
        return;
    }
    const std::string* sender = FindText(notification, Key::Sender);
    FChatMessageRecord record;
    record.SenderName = FString::FromNarrow(sender != nullptr ? sender->c_str() : std::string(DefaultSender).c_str());
    record.Message = text;
    FloorForEachPlayer<Hears>([&](AShooterPlayerController* player) {
        GameFunction<void(AShooterPlayerController*, FChatMessageRecord)>("AShooterPlayerController.ClientChatMessage")(
            player, record);
    });
}

// CrateHeld: what any implementation pays to hold a spawn its entry's
// cooldown covers, once the entry is found: one lookup of the entry's
// cooldown state, and one count. The state is the floor's own, keyed by the
// entry as the floor's document holds it; its clock never reaches the end.
struct FloorCooldown {
    std::int64_t until = 0;
    std::int64_t held = 0;
};
std::unordered_map<const Json*, FloorCooldown> FloorCooldowns;
std::int64_t FloorClock = 0;

// The item announcement once the key is known: entry, coordinates, name,
// delivery. With cooldowns on (CoolsDown), an announcement also pays one
// lookup of the entry's cooldown state and the start of a new cooldown.
template <typename Hears = EveryoneHears, bool CoolsDown = false, bool Relays = false>
void FloorItem(std::string_view key) {
    const Json* items = Find(FloorConfig, Key::Items);
    const Json* entry = items != nullptr ? Find(*items, key) : nullptr;
    if (entry == nullptr || entry->is_null()) {
        return;
    }
    if constexpr (CoolsDown) {
        FloorCooldown& state = FloorCooldowns[entry];
        if (FloorClock < state.until) {
            ++state.held;
            return;
        }
        state.until = FloorClock + 1;
    }
    FloorReadWorldSettings();
    FloorSink = FindText(*entry, Key::Name) != nullptr ? 1.0f : 0.0f;
    if (const Json* notification = Find(*entry, Key::Notification)) {
        FloorBroadcast<Hears, Relays>(*notification);
    }
}

// Wall and storage box: the class tests, and for a container its name.
void FloorClassAndNameDetour(APrimalStructure* structure, FVector* location, FRotator* rotation, AActor* owner,
                             APawn* instigator, bool isFromLoad, bool isFromPlacement, bool skipInit,
                             bool isReplicated) {
    FloorStructureOriginal(structure, location, rotation, owner, instigator, isFromLoad, isFromPlacement, skipInit,
                           isReplicated);
    if (!FloorExamined(structure)) {
        return;
    }
    const FString name = ObjectName(structure);
    FloorSink = static_cast<float>(name.ArrayNum);
}

// Supply crates: the class test, the name, the entry and, when there is one, the announcement.
template <typename Hears = EveryoneHears, bool CoolsDown = false, bool Relays = false>
void FloorItemDetour(APrimalStructure* structure, FVector* location, FRotator* rotation, AActor* owner,
                     APawn* instigator, bool isFromLoad, bool isFromPlacement, bool skipInit, bool isReplicated) {
    FloorStructureOriginal(structure, location, rotation, owner, instigator, isFromLoad, isFromPlacement, skipInit,
                           isReplicated);
    if (!FloorExamined(structure)) {
        return;
    }
    const FString name = ObjectName(structure);
    char buffer[128];
    FloorItem<Hears, CoolsDown, Relays>(FloorKey(name.View(), buffer));
}

// A nest: its creature, the creature's name and level, then the item announcement.
void FloorNestDetour(APrimalStructure* structure, FVector* location, FRotator* rotation, AActor* owner,
                     APawn* instigator, bool isFromLoad, bool isFromPlacement, bool skipInit, bool isReplicated) {
    FloorStructureOriginal(structure, location, rotation, owner, instigator, isFromLoad, isFromPlacement, skipInit,
                           isReplicated);
    if (!FloorExamined(structure)) {
        return;
    }
    const FString name = ObjectName(structure);
    void* creature = GameField<void*>(structure, "AActor.Instigator");
    if (creature == nullptr || !FloorIsA(creature, "APrimalDinoCharacter.GetPrivateStaticClass")) {
        return;
    }
    const FString creatureName = ObjectName(creature);
    if (void* status = GameField<void*>(creature, "APrimalCharacter.MyCharacterStatusComponent")) {
        FloorSink = static_cast<float>(
            GameFunction<int32_t(void*)>("UPrimalCharacterStatusComponent.GetCharacterLevel")(status));
    }
    char buffer[128];
    FloorItem(FloorKey(creatureName.View(), buffer));
}

// An asteroid crate on Gen2: the map, the switch, the code against the last
// one, and for a new code its four values and the announcement; then its entry.
void FloorAsteroidDetour(APrimalStructure* structure, FVector* location, FRotator* rotation, AActor* owner,
                         APawn* instigator, bool isFromLoad, bool isFromPlacement, bool skipInit, bool isReplicated) {
    FloorStructureOriginal(structure, location, rotation, owner, instigator, isFromLoad, isFromPlacement, skipInit,
                           isReplicated);
    if (!FloorExamined(structure)) {
        return;
    }
    const FString name = ObjectName(structure);
    char buffer[128];
    const std::string_view key = FloorKey(name.View(), buffer);
    const Json* asteroids = Find(FloorConfig, Key::AsteroidGen2);
    if (FloorMapName == AsteroidMap && asteroids != nullptr && FindFlag(*asteroids, Key::Enable) &&
        key.size() >= AsteroidCodeStart + ItemKeyEndLength) {
        const std::string_view code = key.substr(AsteroidCodeStart, key.size() - AsteroidCodeStart - ItemKeyEndLength);
        if (FloorLastAsteroidCode != code) {
            FloorLastAsteroidCode = code;
            for (const std::string_view map : AsteroidCodeMaps()) {
                if (const Json* values = Find(*asteroids, map)) {
                    FloorSink = FindText(*values, code) != nullptr ? 1.0f : 0.0f;
                }
            }
            if (const Json* notification = Find(*asteroids, Key::Notification)) {
                FloorBroadcast(*notification);
            }
        }
    }
    FloorItem(key);
}

void FloorReloadHandler(APlayerController* /*player*/, FString* /*command*/, bool /*fromCheat*/) {
    const std::string path = ArkApi::Tools::GetCurrentDir() + "/" + std::string(PluginsFolder) + "/" + PluginName +
                             "/" + std::string(ConfigFileName);
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) {
        throw std::runtime_error("Can't open config.json");
    }
    Json document;
    file >> document;
    FloorConfig = std::move(document);
}

StructurePostSpawnFunction* FloorDetourFor(Path path) {
    switch (path) {
        case Path::Wall:
        case Path::StorageBox:
            return &FloorClassAndNameDetour;
        case Path::CrateWithoutEntry:
        case Path::CrateNotification:
        case Path::CrateChat:
            return &FloorItemDetour<>;
        // A held crate stops at its cooldown's state, after the entry's lookup.
        case Path::CrateAfterCooldown:
        case Path::CrateHeld:
            return &FloorItemDetour<EveryoneHears, true>;
        case Path::CrateChosen:
            return &FloorItemDetour<ChosenHears>;
        case Path::CrateRelayed:
            return &FloorItemDetour<EveryoneHears, false, true>;
        case Path::Nest:
            return &FloorNestDetour;
        case Path::AsteroidAnnounced:
        case Path::AsteroidRepeated:
            return &FloorAsteroidDetour;
    }
    return nullptr;
}

void* AsAddress(auto* function) { return reinterpret_cast<void*>(function); }

}  // namespace

void InstallFloor(Path path, FloorSetup setup) {
    FloorHearsCrates.clear();
    for (const StoredHearing& player : setup.hearing) {
        FloorHearsCrates.emplace(StandIn::Utf16(player.id), player.hearsCrates);
    }
    FloorTexts = std::move(setup.texts);
    FloorTextIndex = 0;
    FloorConfig = std::move(setup.config);
    FloorCooldowns.clear();
    FloorClock = 0;
    FloorRelayQueue.clear();
    if (path == Path::CrateHeld) {
        // As the plugin's first spawn leaves it: announced, its cooldown running.
        FloorCooldowns[Find(*Find(FloorConfig, Key::Items), "SupplyCrate_Level03_C")].until = setup.heldUntil;
    }
    FloorMapName = std::move(setup.mapName);
    FloorLastAsteroidCode.clear();
    ArkApi::GetHooks().InstallHook(StructureHook, AsAddress(FloorDetourFor(path)),
                                   reinterpret_cast<void**>(&FloorStructureOriginal));
}

void RemoveFloor(Path path) { ArkApi::GetHooks().RemoveHook(StructureHook, AsAddress(FloorDetourFor(path))); }

void AdvanceFloorClock(int seconds) { FloorClock += seconds; }

// What any implementation pays for a player's change of choice: the line read
// as UTF-8, the player's id read through the game (whose choices these are),
// the reply, which names the group, built and sent through the game, and the change handed to the store's
// thread: a lock, a push and a wake-up; and the choice held at once, in a
// table by id, for the spawns that follow. Nothing takes the changes: the
// floor forgets them in batches.
std::unordered_map<std::string, bool> FloorCratesOff;

struct FloorHandOver {
    std::mutex mutex;
    std::condition_variable wake;
    std::vector<std::pair<std::string, bool>> changes;
};
FloorHandOver FloorChanges;

void FloorChatHandler(AShooterPlayerController* player, FString* line, EChatSendMode::Type /*mode*/) {
    const std::string text = line->ToUtf8();
    const bool off = text.find(" off ") != std::string::npos;
    const std::string group = text.substr(text.rfind(' ') + 1);
    FString id;
    GameFunction<void(AShooterPlayerController*, FString*)>("AShooterPlayerController.GetUniqueNetIdAsString")(player,
                                                                                                               &id);
    std::string key = id.ToUtf8();
    FloorCratesOff[key] = off;
    SendChatLine(player, "Server",
                 off ? "You will no longer receive " + group + " announcements."
                     : "You will receive " + group + " announcements again.");
    {
        std::lock_guard lock(FloorChanges.mutex);
        if (FloorChanges.changes.size() == 256) {
            FloorChanges.changes.clear();
        }
        FloorChanges.changes.emplace_back(std::move(key), off);
    }
    FloorChanges.wake.notify_one();
}

void InstallFloorChat() {
    ArkApi::GetCommands().RegisterChatCommand(FString::FromNarrow(FloorChatCommand), &FloorChatHandler);
}

void RemoveFloorChat() {
    ArkApi::GetCommands().UnregisterChatCommand(FString::FromNarrow(FloorChatCommand));
    FloorChanges.changes.clear();
    FloorCratesOff.clear();
}

void InstallFloorReload() {
    ArkApi::GetCommands().RegisterConsoleCommand(FString::FromNarrow(FloorReloadCommand), &FloorReloadHandler);
}

void RemoveFloorReload() {
    ArkApi::GetCommands().UnregisterConsoleCommand(FString::FromNarrow(FloorReloadCommand));
    FloorConfig = Json();
}

}  // namespace HeraldBench

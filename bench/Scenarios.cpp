#include "Scenarios.h"

#include <unistd.h>

#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "StandIn.h"
#include "announce/SpawnDetours.h"
#include "config/ConfigKeys.h"
#include "config/ItemNames.h"
#include "game/GameTypes.h"
#include "players/ChoiceStore.h"
#include "plugin/PluginName.h"

namespace HeraldBench {

namespace {

using Json = nlohmann::json;
namespace fs = std::filesystem;

// ---- The server ------------------------------------------------------------

// Players → Store on CrateChosen, in the plugin's folder.
constexpr char ChosenStoreName[] = "players.sqlite";

// One directory per process, removed when the process ends.
struct BenchDirectory {
    fs::path root;
    BenchDirectory() {
        root = fs::temp_directory_path() / ("herald-bench-" + std::to_string(::getpid()));
        fs::create_directories(root / "ArkApi" / "Plugins" / "SkyCrateHerald");
    }
    ~BenchDirectory() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    fs::path ConfigPath() const { return root / "ArkApi" / "Plugins" / "SkyCrateHerald" / "config.json"; }
    fs::path StorePath() const { return ConfigPath().parent_path() / ChosenStoreName; }
};

const BenchDirectory& Directory() {
    static const BenchDirectory directory;
    return directory;
}

constexpr char StructureHook[] = "APrimalStructure.PostSpawnInitialize";
constexpr char FloorReloadCommand[] = "Floor.Reload";
constexpr char PluginReloadLine[] = "SkyCrateHerald.Reload";

// ---- Players' choices (CrateChosen) ----------------------------------------
//
// A server where players have used the chat command for a while: the store
// holds ChosenStorePlayers players, most of them not connected. Of every
// seven connected players one turned crates off (by "off crates" or by "off
// all", in turn), two chose something else (nodes off, or everything off but
// crates), four chose nothing: 10 of 70 hear no crate, 30 of 70 have a row.

enum class Chose { Nothing, CratesOff, AllOff, NodesOff, AllOffButCrates };

Chose ConnectedChoice(int k) {
    switch (k % 7) {
        case 0:
            return (k / 7) % 2 == 0 ? Chose::CratesOff : Chose::AllOff;
        case 1:
            return Chose::NodesOff;
        case 2:
            return Chose::AllOffButCrates;
        default:
            return Chose::Nothing;
    }
}

bool HearsCrates(Chose chose) { return chose != Chose::CratesOff && chose != Chose::AllOff; }

// A Steam id: 17 digits, as the game gives a player's unique id.
std::string SteamId(int n) { return std::to_string(76561198000000000LL + n); }
std::string ConnectedName(int k) { return "Survivor" + std::to_string(k); }
// Players of the store who are not connected, numbered apart from those who are.
constexpr int OfflineIds = 1000000;

struct StoredPlayer {
    std::string id;
    Chose chose;
};

// Every player of the store: the connected players with a choice, then
// others of the same four kinds in turn up to storedPlayers.
std::vector<StoredPlayer> StoredPlayers(int connected, int storedPlayers) {
    std::vector<StoredPlayer> stored;
    for (int k = 0; k < connected && static_cast<int>(stored.size()) < storedPlayers; ++k) {
        if (ConnectedChoice(k) != Chose::Nothing) {
            stored.push_back({SteamId(k), ConnectedChoice(k)});
        }
    }
    constexpr Chose kinds[] = {Chose::CratesOff, Chose::NodesOff, Chose::AllOff, Chose::AllOffButCrates};
    for (int n = 0; static_cast<int>(stored.size()) < storedPlayers; ++n) {
        stored.push_back({SteamId(OfflineIds + n), kinds[n % 4]});
    }
    return stored;
}

// The rows the chat command leaves for the choice.
std::vector<ChoiceRow> RowsOf(const std::string& id, Chose chose) {
    switch (chose) {
        case Chose::CratesOff:
            return {{id, "crates", false}};
        case Chose::NodesOff:
            return {{id, "nodes", false}};
        case Chose::AllOff:
            return {{id, std::string(AllGroups), false}};
        case Chose::AllOffButCrates:
            return {{id, std::string(AllGroups), false}, {id, "crates", true}};
        case Chose::Nothing:
            break;
    }
    return {};
}

void RemoveChosenStore() {
    std::error_code ignored;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        fs::remove(Directory().StorePath().string() + suffix, ignored);
    }
}

// ---- The floors -------------------------------------------------------------
//
// What any implementation pays on each path: the hooked call and the game's own
// function; each game function and field resolved by name at each use; the
// game's calls (class tests, the object's name and its release, the player's weak
// reference, the delivery); and the configuration lookups whose answers decide
// what is sent. Nothing else: no fragment search, no item key beyond the bytes
// of the name, no template filling, no coordinate text, no colour parsing.

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

// ---- The spawns --------------------------------------------------------------

StandIn::StructureSpawn Spawn(std::u16string name, StandIn::ObjectClass objectClass) {
    StandIn::StructureSpawn spawn;
    spawn.name = std::move(name);
    spawn.objectClass = objectClass;
    spawn.location = {123456.0f, -65432.0f, 1800.0f};
    return spawn;
}

const StandIn::StructureSpawn& SpawnFor(Path path, std::uint64_t count) {
    using StandIn::ObjectClass;
    static const StandIn::StructureSpawn wall = Spawn(u"Wall_Wood_C_12", ObjectClass::Structure);
    static const StandIn::StructureSpawn box = Spawn(u"StorageBox_Large_C_7", ObjectClass::ItemContainer);
    static const StandIn::StructureSpawn crateWithoutEntry =
        Spawn(u"SupplyCrate_Level09_C_3", ObjectClass::ItemContainer);
    static const StandIn::StructureSpawn crateNotification =
        Spawn(u"SupplyCrate_Level03_C_5", ObjectClass::ItemContainer);
    static const StandIn::StructureSpawn crateChat = Spawn(u"SupplyCrate_Level06_C_5", ObjectClass::ItemContainer);
    static const StandIn::StructureSpawn nest = [] {
        StandIn::StructureSpawn spawn = Spawn(u"DinoNest_Wyvern_Fire_Nest_C_2", ObjectClass::Structure);
        spawn.instigator = StandIn::Instigator{u"Wyvern_Character_BP_Fire_C_4", ObjectClass::Dino, 145, true};
        return spawn;
    }();
    static const StandIn::StructureSpawn ironAsteroid =
        Spawn(u"SupplyCrate_Space_Bp_Iron_C_1", ObjectClass::ItemContainer);
    static const StandIn::StructureSpawn goldAsteroid =
        Spawn(u"SupplyCrate_Space_Bp_Gold_C_1", ObjectClass::ItemContainer);
    switch (path) {
        case Path::Wall:
            return wall;
        case Path::StorageBox:
            return box;
        case Path::CrateWithoutEntry:
            return crateWithoutEntry;
        case Path::CrateNotification:
        case Path::CrateChosen:
        case Path::CrateHeld:
        case Path::CrateAfterCooldown:
        case Path::CrateRelayed:
            return crateNotification;
        case Path::CrateChat:
            return crateChat;
        case Path::Nest:
            return nest;
        case Path::AsteroidAnnounced:
            return count % 2 == 0 ? ironAsteroid : goldAsteroid;
        case Path::AsteroidRepeated:
            return ironAsteroid;
    }
    return wall;
}

bool Announces(Path path) {
    return path == Path::CrateNotification || path == Path::CrateChat || path == Path::Nest ||
           path == Path::AsteroidAnnounced || path == Path::CrateChosen || path == Path::CrateAfterCooldown ||
           path == Path::CrateRelayed;
}

Json Notification(const char* type, const char* message, const char* color) {
    Json notification{{"Type", type}, {"Msg", message}, {"Time", 10}, {"Size", 1.2}};
    if (color != nullptr) {
        notification["Color"] = color;
    }
    return notification;
}

void LoadBuiltPlugin() {
    const StandIn::LoadResult result = StandIn::LoadPlugin(HERALD_PLUGIN_PATH);
    if (!result.ok) {
        throw std::runtime_error("the plugin refused to load: " + result.error);
    }
}

// The second of the timer that takes CrateAfterCooldown's cooldown to its end.
constexpr int AfterCooldownSeconds = 1;
// CrateHeld's cooldown: longer than any measurement, since the clock does not move.
constexpr int HeldCooldownSeconds = 86400;

// What the plugin delivers on the first two spawns of the path, one text per announcement.
std::vector<std::string> DeliveredTexts(Path path) {
    LoadBuiltPlugin();
    std::vector<std::string> texts;
    for (std::uint64_t i = 0; i < 2; ++i) {
        StandIn::ClearRecords();
        if (path == Path::CrateAfterCooldown) {
            StandIn::Wait(AfterCooldownSeconds);
        }
        StandIn::SpawnStructure(SpawnFor(path, i));
        if (!StandIn::Records().empty()) {
            texts.push_back(StandIn::Records().front().text);
        }
    }
    StandIn::UnloadPlugin();
    return texts;
}

}  // namespace

const char* PathName(Path path) {
    switch (path) {
        case Path::Wall:
            return "wall";
        case Path::StorageBox:
            return "storage-box";
        case Path::CrateWithoutEntry:
            return "crate-without-entry";
        case Path::CrateNotification:
            return "crate-notification";
        case Path::CrateChat:
            return "crate-chat";
        case Path::Nest:
            return "nest";
        case Path::AsteroidAnnounced:
            return "asteroid-announced";
        case Path::AsteroidRepeated:
            return "asteroid-repeated";
        case Path::CrateChosen:
            return "crate-chosen";
        case Path::CrateHeld:
            return "crate-held";
        case Path::CrateAfterCooldown:
            return "crate-after-cooldown";
        case Path::CrateRelayed:
            return "crate-relayed";
    }
    return "";
}

bool ParsePath(const std::string& name, Path& path) {
    for (Path candidate : {Path::Wall, Path::StorageBox, Path::CrateWithoutEntry, Path::CrateNotification,
                           Path::CrateChat, Path::Nest, Path::AsteroidAnnounced, Path::AsteroidRepeated,
                           Path::CrateChosen, Path::CrateHeld, Path::CrateAfterCooldown, Path::CrateRelayed}) {
        if (name == PathName(candidate)) {
            path = candidate;
            return true;
        }
    }
    return false;
}

Json BenchConfig(bool enableNests) {
    const char* crateMessage = "{Name} has landed at {Lat}, {Lon} on {MapName}";
    Json config;
    config["EnableNests"] = enableNests;
    Json& items = config["Items"];
    items["SupplyCrate_Level03_C"] = {{"Name", "Level 3 supply crate"},
                                      {"Notification", Notification("Notification", crateMessage, "255,215,0")}};
    items["SupplyCrate_Level06_C"] = {{"Name", "Level 6 supply crate"},
                                      {"Notification", Notification("Chat", crateMessage, nullptr)}};
    items["SupplyCrate_Level06_C"]["Notification"]["Sender"] = "Herald";
    items["Wyvern_Character_BP_Fire_C"] = {
        {"Name", "Fire wyvern"},
        {"Notification", Notification("Notification", "A {Name} nest (level {EggLvl}) at {Lat}, {Lon}", "255,80,0")}};
    for (const char* kind : {"ElementNode_Big_C", "ArtifactCrate_Hunter_C", "BeaverDam_C", "SupplyCrate_Cave_C",
                             "SupplyCrate_Level15_C", "SupplyCrate_Level25_C", "SupplyCrate_Level35_C"}) {
        items[kind] = {{"Notification", Notification("Notification", crateMessage, "0,255,0")}};
    }
    config["AsteroidGen2"] = {
        {"Enable", true},
        {"Color", {{"Iron", "180,180,200"}, {"Gold", "255,215,0"}}},
        {"Name", {{"Iron", "Iron asteroid"}, {"Gold", "Gold asteroid"}}},
        {"PrimaryResources", {{"Iron", "Metal"}, {"Gold", "Gold ore"}}},
        {"SecondaryResources", {{"Iron", "Crystal"}, {"Gold", "Obsidian"}}},
        {"Notification",
         Notification("Notification", "{Name} on {MapName}: {PrimaryResources}, {SecondaryResources}", nullptr)},
    };
    return config;
}

Json PathConfig(Path path) {
    switch (path) {
        case Path::CrateChosen:
            return ChosenConfig();
        case Path::CrateHeld: {
            Json config = BenchConfig(false);
            config["Items"]["SupplyCrate_Level03_C"]["Cooldown"] = HeldCooldownSeconds;
            return config;
        }
        case Path::CrateAfterCooldown: {
            Json config = BenchConfig(false);
            config["Calm"] = {{"Cooldown", AfterCooldownSeconds}};
            return config;
        }
        case Path::CrateRelayed: {
            // Scripted requests: the first post stays in flight, as on a
            // server whose relay is busy, and every later line waits.
            Json config = BenchConfig(false);
            config["Discord"] = {{"Webhook", "https://discord.example/api/webhooks/1/bench"}};
            return config;
        }
        default:
            return BenchConfig(path == Path::Nest);
    }
}

std::string ConfigOfSize(std::size_t bytes) {
    Json config{{"EnableNests", false}, {"Items", Json::object()}};
    for (int n = 0; config.dump(2).size() < bytes; n += 16) {
        for (int i = n; i < n + 16; ++i) {
            char key[48];
            std::snprintf(key, sizeof key, "SupplyCrate_Padding%05d_C", i);
            config["Items"][key] = {
                {"Name", std::string("Padding crate ") + std::to_string(i)},
                {"Notification", Notification("Notification", "{Name} at {Lat}, {Lon} on {MapName}", "12,34,56")}};
        }
    }
    return config.dump(2);
}

void PrepareServer(const std::string& configText) {
    StandIn::ResetServer();
    StandIn::SetServerDirectory(Directory().root.string());
    RemoveChosenStore();
    std::ofstream file(Directory().ConfigPath(), std::ios::binary | std::ios::trunc);
    file << configText;
}

Json ChosenConfig() {
    Json config = BenchConfig(false);
    config["Players"] = {{"Store", ChosenStoreName}};
    return config;
}

std::string ServerStorePath() { return Directory().StorePath().string(); }

void ConnectChosenPlayers(int players) {
    for (int k = 0; k < players; ++k) {
        StandIn::ConnectPlayer(ConnectedName(k), false, SteamId(k));
    }
}

std::size_t ChosenHearers(int players) {
    std::size_t hearers = 0;
    for (int k = 0; k < players; ++k) {
        hearers += HearsCrates(ConnectedChoice(k)) ? 1 : 0;
    }
    return hearers;
}

std::size_t WriteChosenStore(const std::string& path, int connected, int storedPlayers) {
    ChoiceStore store(path);
    std::size_t rows = 0;
    for (const StoredPlayer& player : StoredPlayers(connected, storedPlayers)) {
        RowChange change{player.id, false, {}, RowsOf(player.id, player.chose)};
        rows += change.set.size();
        if (const std::optional<std::string> failure = store.Save(change)) {
            throw std::runtime_error("can't write the players' store " + path + ": " + *failure);
        }
    }
    return rows;
}

PathRun::PathRun(Path path, Side side, int players) : path_(path), side_(side) {
    const bool chosen = path == Path::CrateChosen;
    const Json config = PathConfig(path);
    PrepareServer(config.dump(2));
    StandIn::SetWorldSettings(800.0f, -400000.0f, 800.0f, -400000.0f);
    const bool onGen2 = path == Path::AsteroidAnnounced || path == Path::AsteroidRepeated;
    StandIn::SetMapName(onGen2 ? "Gen2" : "TheIsland");
    ConnectChosenPlayers(players);
    if (side_ == Side::Plugin) {
        if (chosen) {
            WriteChosenStore(ServerStorePath(), players, ChosenStorePlayers);
        }
        LoadBuiltPlugin();
    } else {
        FloorHearsCrates.clear();
        if (chosen) {
            for (const StoredPlayer& player : StoredPlayers(players, ChosenStorePlayers)) {
                FloorHearsCrates.emplace(StandIn::Utf16(player.id), HearsCrates(player.chose));
            }
        }
        FloorTexts = DeliveredTexts(path);
        FloorTextIndex = 0;
        FloorConfig = config;
        FloorCooldowns.clear();
        FloorClock = 0;
        FloorRelayQueue.clear();
        if (path == Path::CrateHeld) {
            // As the plugin's first spawn leaves it: announced, its cooldown running.
            FloorCooldowns[Find(*Find(FloorConfig, Key::Items), "SupplyCrate_Level03_C")].until = HeldCooldownSeconds;
        }
        FloorMapName = onGen2 ? "Gen2" : "TheIsland";
        FloorLastAsteroidCode.clear();
        ArkApi::GetHooks().InstallHook(StructureHook, AsAddress(FloorDetourFor(path)),
                                       reinterpret_cast<void**>(&FloorStructureOriginal));
    }
    StandIn::ClearRecords();
}

PathRun::~PathRun() {
    if (side_ == Side::Plugin) {
        StandIn::UnloadPlugin();
    } else {
        ArkApi::GetHooks().RemoveHook(StructureHook, AsAddress(FloorDetourFor(path_)));
    }
    StandIn::ClearRecords();
}

bool PathRun::NeedsTimeBetweenSpawns() const { return path_ == Path::CrateAfterCooldown; }

// On the floor side no plugin is loaded, so the timer runs nothing of it;
// the floor's own clock moves with the game's.
void PathRun::BetweenSpawns() {
    if (NeedsTimeBetweenSpawns()) {
        StandIn::Wait(AfterCooldownSeconds);
        FloorClock += AfterCooldownSeconds;
    }
}

void PathRun::SpawnOnce() {
    const std::size_t before = StandIn::Records().size();
    StandIn::SpawnStructure(SpawnFor(path_, count_));
    lastDeliveries_ = StandIn::Records().size() - before;
    ++count_;
    if (Announces(path_) || count_ % 256 == 0) {
        StandIn::ClearRecords();
    }
}

ReloadRun::ReloadRun(const std::string& configText, Side side) : side_(side) {
    PrepareServer(configText);
    if (side_ == Side::Plugin) {
        LoadBuiltPlugin();
    } else {
        ArkApi::GetCommands().RegisterConsoleCommand(FString::FromNarrow(FloorReloadCommand), &FloorReloadHandler);
    }
    StandIn::ClearRecords();
}

ReloadRun::~ReloadRun() {
    if (side_ == Side::Plugin) {
        StandIn::UnloadPlugin();
    } else {
        ArkApi::GetCommands().UnregisterConsoleCommand(FString::FromNarrow(FloorReloadCommand));
        FloorConfig = Json();
    }
    StandIn::ClearRecords();
}

void ReloadRun::ReloadOnce() {
    StandIn::ConsoleCommand(nullptr, side_ == Side::Plugin ? PluginReloadLine : FloorReloadCommand);
    if (++count_ % 256 == 0) {
        StandIn::ClearRecords();
    }
}

}  // namespace HeraldBench

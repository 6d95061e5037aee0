// The simulated game: its objects, its functions and fields by name, and the
// events a server goes through (spawns, players, console and RCON lines).

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <utility>
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

// ---- Game entries by name ----------------------------------------------

struct GameEntry {
    void* function = nullptr;
    std::ptrdiff_t fieldOffset = -1;
    bool present = true;
    std::uint64_t resolutions = 0;
};

NameMap<GameEntry>& Entries() {
    static NameMap<GameEntry> entries;
    return entries;
}

GameEntry* FindEntry(const char* name) {
    const auto found = Entries().find(std::string_view(name));
    if (found == Entries().end() || !found->second.present) {
        return nullptr;
    }
    ++found->second.resolutions;
    return &found->second;
}

// Class objects: the game hands out one address per class.
char StructureClass;
char ItemContainerClass;
char DinoClass;

GameObject* AsObject(const void* object) { return static_cast<GameObject*>(const_cast<void*>(object)); }

// ---- The game's functions ------------------------------------------------

void NameToString(FName* name, FString* text) {
    GameObject* object = LiveObject({name->ComparisonIndex, name->Number});
    AssignGameString(*text, object != nullptr ? std::u16string_view(object->name) : u"None");
}

bool IsA(const void* object, void* objectClass) {
    const Kind kind = AsObject(object)->kind;
    if (objectClass == &StructureClass) {
        return kind == Kind::Structure || kind == Kind::ItemContainer;
    }
    if (objectClass == &ItemContainerClass) {
        return kind == Kind::ItemContainer;
    }
    return objectClass == &DinoClass && kind == Kind::Dino;
}

void* StructureStaticClass() { return &StructureClass; }
void* ItemContainerStaticClass() { return &ItemContainerClass; }
void* DinoStaticClass() { return &DinoClass; }

int32_t GetCharacterLevel(void* statusComponent) { return AsObject(statusComponent)->CharacterLevel; }

void GetWorldLocation(void* component, FVector* location) { *location = AsObject(component)->WorldLocation; }

void* GetWorldSettings(UWorld* /*world*/, bool /*checkStreamingPersistent*/, bool /*checkPersistent*/) {
    return TheServer().worldSettings;
}

void GetMapName(AShooterGameMode* /*gameMode*/, FString* mapName) {
    AssignGameString(*mapName, Utf16(TheServer().mapName));
}

// Written as GetMapName writes its out parameter: over whatever the caller's
// string held, in the game's allocator.
void GetUniqueNetIdAsString(AShooterPlayerController* player, FString* result) {
    AssignGameString(*result, AsObject(player)->uniqueId);
}

void* WeakGet(FWeakObjectPtr* reference, bool /*evenIfPendingKill*/) { return LiveObject(*reference); }

void ClientChatMessage(AShooterPlayerController* player, FChatMessageRecord record) {
    Record chat;
    chat.kind = RecordKind::Chat;
    chat.player = PlayerName(player);
    chat.sender = Utf8(record.SenderName.View());
    chat.text = Utf8(record.Message.View());
    const auto empty = [](const FString& text) { return text.Data == nullptr && text.ArrayNum == 0; };
    chat.chatRecordAsGameExpects = empty(record.SenderSteamName) && empty(record.SenderTribeName) &&
                                   record.SenderId == 0 && empty(record.Receiver) && record.SenderTeamIndex == 0 &&
                                   record.ReceivedTime == -1.0 && record.SendMode == 0 && record.RadioFrequency == 0 &&
                                   record.ChatType == 0 && record.SenderIcon == nullptr && empty(record.UserId) &&
                                   record.Message.ArrayMax == record.Message.ArrayNum;
    TheServer().records.push_back(std::move(chat));
}

void ClientNotification(AShooterPlayerController* player, FString* text, FColorLinear color, float size, float time,
                        void* /*icon*/, void* /*sound*/) {
    Record notification;
    notification.kind = RecordKind::Notification;
    notification.player = PlayerName(player);
    notification.text = Utf8(text->View());
    notification.color = color;
    notification.size = size;
    notification.time = time;
    TheServer().records.push_back(std::move(notification));
}

void ClientDirectMessage(APlayerController* player, FString* text, FColorLinear color, bool /*allowInput*/) {
    Record reply;
    reply.kind = RecordKind::ConsoleReply;
    reply.player = PlayerName(player);
    reply.text = Utf8(text->View());
    reply.color = color;
    TheServer().records.push_back(std::move(reply));
}

void RconSendMessage(RCONClientConnection* /*connection*/, int id, int type, FString* text) {
    Record reply;
    reply.kind = RecordKind::RconReply;
    reply.id = id;
    reply.replyType = type;
    reply.text = Utf8(text->View());
    TheServer().records.push_back(std::move(reply));
}

// ---- The game's functions that plugins hook -------------------------------

void StructurePostSpawnInitialize(APrimalStructure* structure, FVector* location, FRotator* rotation, AActor* owner,
                                  APawn* instigator, bool flag1, bool flag2, bool flag3, bool flag4) {
    TheServer().structureSpawns.push_back({structure, location, *location, rotation, owner, instigator,
                                           {flag1, flag2, flag3, flag4}, TheServer().records.size()});
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

void* AsAddress(auto* function) { return reinterpret_cast<void*>(function); }

}  // namespace

void RegisterGameEntries() {
    Entries().clear();
    const auto function = [](const char* name, void* address) { Entries()[name] = GameEntry{address}; };
    const auto field = [](const char* name, std::size_t offset) {
        Entries()[name] = GameEntry{nullptr, static_cast<std::ptrdiff_t>(offset)};
    };
    function("FMemory.Malloc", AsAddress(&GameMalloc));
    function("FMemory.Realloc", AsAddress(&GameRealloc));
    function("FMemory.Free", AsAddress(&GameFree));
    function("FName.ToString", AsAddress(&NameToString));
    function("UObjectBaseUtility.IsA", AsAddress(&IsA));
    function("APrimalStructure.GetPrivateStaticClass", AsAddress(&StructureStaticClass));
    function("APrimalStructureItemContainer.GetPrivateStaticClass", AsAddress(&ItemContainerStaticClass));
    function("APrimalDinoCharacter.GetPrivateStaticClass", AsAddress(&DinoStaticClass));
    function("UPrimalCharacterStatusComponent.GetCharacterLevel", AsAddress(&GetCharacterLevel));
    function("USceneComponent.GetWorldLocation", AsAddress(&GetWorldLocation));
    function("UWorld.GetWorldSettings", AsAddress(&GetWorldSettings));
    function("AShooterGameMode.GetMapName", AsAddress(&GetMapName));
    function("FWeakObjectPtr.Get", AsAddress(&WeakGet));
    function("AShooterPlayerController.GetUniqueNetIdAsString", AsAddress(&GetUniqueNetIdAsString));
    function("AShooterPlayerController.ClientChatMessage", AsAddress(&ClientChatMessage));
    function("AShooterPlayerController.ClientServerSOTFNotificationCustom", AsAddress(&ClientNotification));
    function("AShooterPlayerController.ClientServerChatDirectMessage", AsAddress(&ClientDirectMessage));
    function("RCONClientConnection.SendMessageW", AsAddress(&RconSendMessage));
    field("UObjectBase.Name", offsetof(GameObject, Name));
    field("AActor.Instigator", offsetof(GameObject, Instigator));
    field("AActor.RootComponent", offsetof(GameObject, RootComponent));
    field("APrimalCharacter.MyCharacterStatusComponent", offsetof(GameObject, MyCharacterStatusComponent));
    field("APrimalWorldSettings.LatitudeScale", offsetof(GameObject, LatitudeScale));
    field("APrimalWorldSettings.LatitudeOrigin", offsetof(GameObject, LatitudeOrigin));
    field("APrimalWorldSettings.LongitudeScale", offsetof(GameObject, LongitudeScale));
    field("APrimalWorldSettings.LongitudeOrigin", offsetof(GameObject, LongitudeOrigin));
    field("UWorld.PlayerControllerList", offsetof(GameObject, PlayerControllerList));
    field("UWorld.TimeSeconds", offsetof(GameObject, TimeSeconds));
}

void RegisterHookedFunctions() {
    auto& hooks = TheServer().hooks;
    hooks["APrimalStructure.PostSpawnInitialize"].gameFunction = AsAddress(&StructurePostSpawnInitialize);
    hooks["APrimalStructureItemContainer.PostSpawnInitialize"].gameFunction = AsAddress(&ContainerPostSpawnInitialize);
    hooks["AShooterGameMode.InitGame"].gameFunction = AsAddress(&InitGame);
}

void* ResolveFunction(const char* name) {
    const GameEntry* entry = FindEntry(name);
    return entry != nullptr ? entry->function : nullptr;
}

void* ResolveField(const void* object, const char* name) {
    const GameEntry* entry = FindEntry(name);
    if (entry == nullptr || entry->fieldOffset < 0 || object == nullptr) {
        return nullptr;
    }
    return static_cast<char*>(const_cast<void*>(object)) + entry->fieldOffset;
}

void RemoveEntry(const std::string& name) {
    const auto found = Entries().find(name);
    if (found != Entries().end()) {
        found->second.present = false;
    }
}

std::uint64_t EntryResolutions(const std::string& name) {
    const auto found = Entries().find(name);
    return found != Entries().end() ? found->second.resolutions : 0;
}

// ---- Objects ---------------------------------------------------------------

GameObject* CreateObject(Kind kind, std::u16string name) {
    Server& server = TheServer();
    auto object = std::make_unique<GameObject>();
    object->kind = kind;
    object->name = std::move(name);
    std::size_t slot = 0;
    while (slot < server.objects.size() && server.objects[slot] != nullptr) {
        ++slot;
    }
    if (slot == server.objects.size()) {
        server.objects.emplace_back();
        server.serials.push_back(0);
    }
    object->Name = {static_cast<int32_t>(slot), server.serials[slot]};
    server.objects[slot] = std::move(object);
    return server.objects[slot].get();
}

void DestroyObject(GameObject* object) {
    if (object == nullptr) {
        return;
    }
    Server& server = TheServer();
    const auto slot = static_cast<std::size_t>(object->Name.ComparisonIndex);
    ++server.serials[slot];
    server.objects[slot].reset();
}

GameObject* LiveObject(FWeakObjectPtr reference) {
    const Server& server = TheServer();
    if (reference.ObjectIndex < 0 || static_cast<std::size_t>(reference.ObjectIndex) >= server.objects.size()) {
        return nullptr;
    }
    const auto slot = static_cast<std::size_t>(reference.ObjectIndex);
    return server.serials[slot] == reference.ObjectSerialNumber ? server.objects[slot].get() : nullptr;
}

FWeakObjectPtr WeakReference(const GameObject* object) { return {object->Name.ComparisonIndex, object->Name.Number}; }

std::string PlayerName(const void* playerController) {
    return playerController != nullptr ? Utf8(AsObject(playerController)->name) : std::string();
}

void AssignGameString(FString& target, std::u16string_view text) {
    GameFree(target.Data);
    target.Data = nullptr;
    target.ArrayNum = target.ArrayMax = 0;
    if (text.empty()) {
        return;
    }
    const auto count = static_cast<int32_t>(text.size() + 1);
    target.Data = static_cast<char16_t*>(GameMalloc(static_cast<std::size_t>(count) * sizeof(char16_t), 0));
    target.ArrayNum = count;
    target.ArrayMax = count;
    std::char_traits<char16_t>::copy(target.Data, text.data(), text.size());
    target.Data[text.size()] = 0;
}

}  // namespace StandIn::detail

namespace StandIn {

using namespace detail;

void RemoveGameEntry(const std::string& name) { RemoveEntry(name); }
std::uint64_t Resolutions(const std::string& name) { return EntryResolutions(name); }

namespace {

// Names as the game compares them: two texts that become the same game text
// (bytes that are not UTF-8 each become U+FFFD) name the same player.
std::string PlayerKey(const std::string& name) { return Utf8(Utf16(name)); }

// The earliest connected live player of that name, or null.
GameObject* FindPlayer(const std::string& name) {
    const auto& byName = TheServer().playerList.byName;
    const auto found = byName.find(PlayerKey(name));
    return found != byName.end() ? found->second.front() : nullptr;
}

}  // namespace

void ConnectPlayer(const std::string& name, bool admin, const std::optional<std::string>& id) {
    Server& server = TheServer();
    PlayerList& players = server.playerList;
    // The world drops the entries of controllers destroyed since the last
    // join when it adds the joining player's controller (the game's
    // UWorld.AddController, which walks its list anyway): until someone joins,
    // a leaver's entry stays, stale, for the plugin to skip. The order of the
    // others is kept.
    if (players.staleEntries > 0) {
        std::erase_if(players.entries, [](const FWeakObjectPtr& entry) { return LiveObject(entry) == nullptr; });
        players.staleEntries = 0;
    }
    GameObject* player = CreateObject(Kind::PlayerController, Utf16(name));
    player->admin = admin;
    player->uniqueId = Utf16(id.value_or(name));
    players.entries.push_back(WeakReference(player));
    players.byName[PlayerKey(name)].push_back(player);
    auto& list = server.world->PlayerControllerList;
    list.Data = players.entries.data();
    list.ArrayNum = static_cast<int32_t>(players.entries.size());
    list.ArrayMax = static_cast<int32_t>(players.entries.capacity());
}

namespace {

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

void Refuse(std::string reason) {
    Record refused;
    refused.kind = RecordKind::Refused;
    refused.text = std::move(reason);
    TheServer().records.push_back(std::move(refused));
}

std::u16string CommandName(const std::string& line) {
    const std::size_t end = line.find(' ');
    return Utf16(line.substr(0, end));
}

bool SameCommand(const std::u16string& registered, const std::u16string& typed) {
    if (registered.size() != typed.size()) {
        return false;
    }
    for (std::size_t i = 0; i < typed.size(); ++i) {
        const auto lower = [](char16_t unit) { return unit >= u'A' && unit <= u'Z' ? unit + 32 : unit; };
        if (lower(registered[i]) != lower(typed[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool DisconnectPlayer(const std::string& name) {
    PlayerList& players = TheServer().playerList;
    const auto found = players.byName.find(PlayerKey(name));
    if (found == players.byName.end()) {
        return false;
    }
    GameObject* player = found->second.front();
    found->second.pop_front();
    if (found->second.empty()) {
        players.byName.erase(found);
    }
    DestroyObject(player);
    ++players.staleEntries;
    return true;
}

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

bool ConsoleCommand(const std::string* player, const std::string& line) {
    Server& server = TheServer();
    GameObject* controller = nullptr;
    if (player != nullptr) {
        controller = FindPlayer(*player);
        if (controller == nullptr) {
            Refuse("no connected player named " + *player);
            return false;
        }
        if (!controller->admin) {
            Refuse(*player + " is not an admin");
            return false;
        }
    }
    const std::u16string name = CommandName(line);
    for (const auto& [registered, handler] : server.consoleCommands) {
        if (SameCommand(registered, name)) {
            const ArkApi::ConsoleCommandHandler handlerCopy = handler;
            HostString command(Utf16(line));
            handlerCopy(reinterpret_cast<APlayerController*>(controller), &command.text, false);
            return true;
        }
    }
    Refuse("unknown console command " + Utf8(name));
    return false;
}

bool RconCommand(const std::string& line, int id) {
    Server& server = TheServer();
    const std::u16string name = CommandName(line);
    for (const auto& [registered, handler] : server.rconCommands) {
        if (SameCommand(registered, name)) {
            const ArkApi::RconCommandHandler handlerCopy = handler;
            // The body is the request's command line, a game string like any other.
            RCONPacket packet{static_cast<int>(line.size()) + 10, id, 2, {}};
            HostString body(Utf16(line));
            std::swap(packet.Body, body.text);
            handlerCopy(reinterpret_cast<RCONClientConnection*>(server.rcon), &packet,
                        reinterpret_cast<UWorld*>(server.world));
            std::swap(packet.Body, body.text);
            return true;
        }
    }
    Refuse("unknown RCON command " + Utf8(name));
    return false;
}

bool ChatLine(const std::string& player, const std::string& text) {
    GameObject* controller = FindPlayer(player);
    if (controller == nullptr) {
        Refuse("no connected player named " + player);
        return false;
    }
    const std::u16string name = CommandName(text);
    for (const auto& [registered, handler] : TheServer().chatCommands) {
        if (SameCommand(registered, name)) {
            // A copy: the handler may unregister its own command.
            const ArkApi::ChatCommandHandler handlerCopy = handler;
            HostString line(Utf16(text));
            handlerCopy(reinterpret_cast<AShooterPlayerController*>(controller), &line.text, EChatSendMode::GlobalChat);
            return true;
        }
    }
    return false;
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

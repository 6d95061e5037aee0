// The game's functions and fields as plugins reach them, by name: the table
// of names the framework resolves, and the simulated game's functions behind it.

#include <cstddef>
#include <string_view>
#include <utility>

#include "HostState.h"

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

}  // namespace StandIn::detail

namespace StandIn {

using namespace detail;

void RemoveGameEntry(const std::string& name) { RemoveEntry(name); }
std::uint64_t Resolutions(const std::string& name) { return EntryResolutions(name); }

}  // namespace StandIn

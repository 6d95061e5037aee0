#include "announce/SpawnDetours.h"

#include <array>
#include <optional>

#include "announce/Broadcast.h"
#include "config/Config.h"
#include "plugin/Plugin.h"
#include "plugin/PluginLog.h"

StructurePostSpawnFunction* StructurePostSpawnOriginal = nullptr;
ItemContainerPostSpawnFunction* ItemContainerPostSpawnOriginal = nullptr;
std::string LastAsteroidCode;

namespace {

using Json = nlohmann::json;

// The hunted kinds of structure, each by a fragment of its name, in the order searched.
constexpr std::array<const char16_t*, 5> SpawnKindFragments{u"SupplyCrate", u"ElementNode", u"ArtifactCrate",
                                                            u"Nest_C", u"BeaverDam"};

bool IsA(const void* object, const char* staticClassFunction) {
    void* objectClass = GameFunction<void*()>(staticClassFunction)();
    return GameFunction<bool(const void*, void*)>("UObjectBaseUtility.IsA")(object, objectClass);
}

std::optional<MapPosition> SpawnCoordinates(float x, float y) {
    UWorld* world = ArkApi::GetApiUtils().QueryWorld();
    if (world == nullptr) {
        return std::nullopt;
    }
    void* settings = GameFunction<void*(UWorld*, bool, bool)>("UWorld.GetWorldSettings")(world, false, true);
    return MapCoordinates(settings, x, y);
}

// An asteroid crate's code sits at byte 21 of its item key and leaves off the
// key's last two bytes (the "_C"); a key shorter than 21 bytes has none.
std::optional<std::string> AsteroidCode(const std::string& itemKey) {
    if (itemKey.size() < 21) {
        return std::nullopt;
    }
    return itemKey.size() >= 23 ? itemKey.substr(21, itemKey.size() - 23) : itemKey.substr(21);
}

void AnnounceAsteroid(const Json& asteroids, const std::string& code) {
    if (!LastAsteroidCode.empty() && LastAsteroidCode == code) {
        return;
    }
    LastAsteroidCode = code;
    // The code's colour goes onto the copy handed to Broadcast; the document stays as read.
    const std::string color = Member(asteroids, "Color").value(code, std::string("0,255,0"));
    ReplacementList replacements{
        "{MapName}",
        CurrentMapName,
        "{Name}",
        Member(asteroids, "Name").value(code, code),
        "{PrimaryResources}",
        Member(asteroids, "PrimaryResources").value(code, std::string()),
        "{SecondaryResources}",
        Member(asteroids, "SecondaryResources").value(code, std::string()),
    };
    Json notification = Member(asteroids, "Notification");
    notification["Color"] = color;
    Broadcast(notification, replacements);
}

// The announcement of an Items entry at a world position. Only structures
// carry an egg level; an ocean crate's message keeps "{EggLvl}" as written.
void AnnounceItem(const Json& entry, const std::string& itemKey, float x, float y, const std::string* eggLevel) {
    const std::optional<MapPosition> position = SpawnCoordinates(x, y);
    if (!position) {
        return;
    }
    ReplacementList replacements{
        "{MapName}", CurrentMapName,
        "{Lat}",     FormatCoordinate(position->Latitude),
        "{Lon}",     FormatCoordinate(position->Longitude),
        "{Name}",    entry.value("Name", itemKey),
    };
    if (eggLevel != nullptr) {
        replacements.insert(replacements.end(), {"{EggLvl}", *eggLevel});
    }
    Broadcast(Member(entry, "Notification"), replacements);
}

void AnnounceStructure(APrimalStructure* structure, const FVector& location) {
    if (!IsA(structure, "APrimalStructureItemContainer.GetPrivateStaticClass")) {
        if (!PluginConfig.value("EnableNests", false) || !IsA(structure, "APrimalStructure.GetPrivateStaticClass")) {
            return;
        }
    }
    const FString name = ObjectName(structure);
    bool hunted = false;
    for (const char16_t* fragment : SpawnKindFragments) {
        if (name.IndexOfIgnoreCase(fragment) != -1) {
            hunted = true;
            break;
        }
    }
    if (!hunted) {
        return;
    }
    std::string itemKey = MakeItemKey(name);

    // A failed asteroid announcement costs only itself: the item announcement follows.
    if (CurrentMapName == "Gen2" && name.IndexOfIgnoreCase(u"SupplyCrate_Space_") != -1) {
        RunLogged([&] {
            const Json& asteroids = Member(PluginConfig, "AsteroidGen2");
            if (asteroids.value("Enable", false)) {
                if (const std::optional<std::string> code = AsteroidCode(itemKey)) {
                    AnnounceAsteroid(asteroids, *code);
                }
            }
        });
    }

    // A nest is looked up under the creature that laid it, and shows its level.
    std::string eggLevel = "{EggLvl}";
    if (name.IndexOfIgnoreCase(u"Nest_C") != -1) {
        void* instigator = GameField<void*>(structure, "AActor.Instigator");
        if (instigator != nullptr && IsA(instigator, "APrimalDinoCharacter.GetPrivateStaticClass")) {
            itemKey = MakeItemKey(ObjectName(instigator));
            // A creature without a status component has no level to show.
            if (void* status = GameField<void*>(instigator, "APrimalCharacter.MyCharacterStatusComponent")) {
                eggLevel = std::to_string(
                    GameFunction<int32_t(void*)>("UPrimalCharacterStatusComponent.GetCharacterLevel")(status));
            }
        }
    }

    const Json& entry = Member(Member(PluginConfig, "Items"), itemKey);
    if (!entry.is_null()) {
        AnnounceItem(entry, itemKey, location.X, location.Y, &eggLevel);
    }
}

void AnnounceOceanSupplyCrate(APrimalStructureItemContainer* container) {
    if (CurrentMapName != "Ragnarok") {
        return;
    }
    const FString name = ObjectName(container);
    if (name.IndexOfIgnoreCase(u"SupplyCreate_OceanInstant_High_C") == -1) {
        return;
    }
    const std::string itemKey = MakeItemKey(name);
    const Json& entry = Member(Member(PluginConfig, "Items"), itemKey);
    if (entry.is_null()) {
        return;
    }
    // Without a root component the crate has no position to announce.
    void* root = GameField<void*>(container, "AActor.RootComponent");
    if (root == nullptr) {
        return;
    }
    FVector position{};
    GameFunction<void(void*, FVector*)>("USceneComponent.GetWorldLocation")(root, &position);
    AnnounceItem(entry, itemKey, position.X, position.Y, nullptr);
}

}  // namespace

// Both detours: the game's own function first, with every argument as given,
// then the plugin's work inside one guard, so nothing it raises reaches the game.
void StructurePostSpawnDetour(APrimalStructure* structure, FVector* location, FRotator* rotation, AActor* owner,
                              APawn* instigator, bool isFromLoad, bool isFromPlacement, bool skipInit,
                              bool isReplicated) {
    StructurePostSpawnOriginal(structure, location, rotation, owner, instigator, isFromLoad, isFromPlacement, skipInit,
                               isReplicated);
    RunLogged([&] { AnnounceStructure(structure, *location); });
}

void ItemContainerPostSpawnDetour(APrimalStructureItemContainer* container) {
    ItemContainerPostSpawnOriginal(container);
    RunLogged([&] { AnnounceOceanSupplyCrate(container); });
}

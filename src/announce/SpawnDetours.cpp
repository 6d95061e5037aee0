#include "announce/SpawnDetours.h"

#include <array>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "announce/Announcements.h"
#include "announce/Broadcast.h"
#include "announce/Calm.h"
#include "announce/Tally.h"
#include "announce/Templates.h"
#include "config/Config.h"
#include "config/ConfigKeys.h"
#include "config/ConfigReaders.h"
#include "config/ItemNames.h"
#include "config/Placeholders.h"
#include "game/Platform.h"
#include "plugin/PluginLog.h"
#include "relay/Relay.h"

StructurePostSpawnFunction* StructurePostSpawnOriginal = nullptr;
ItemContainerPostSpawnFunction* ItemContainerPostSpawnOriginal = nullptr;
std::string LastAsteroidCode;

namespace {

using Json = nlohmann::json;

// The game's names are 16-bit text: the hunted fragments, widened once.
template <const std::string_view& Text>
struct Widened {
    static constexpr auto units = [] {
        std::array<char16_t, Text.size() + 1> wide{};  // ends in a zero, as a search pattern must
        for (std::size_t i = 0; i < Text.size(); ++i) {
            wide[i] = static_cast<char16_t>(Text[i]);
        }
        return wide;
    }();
    static constexpr std::u16string_view view{units.data(), Text.size()};
};

constexpr char16_t UpperAscii(char16_t unit) {
    return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - (u'a' - u'A')) : unit;
}

constexpr std::array<std::u16string_view, HuntedFragments.size()> HuntedFragments16{
    Widened<SupplyCrateFragment>::view, Widened<ElementNodeFragment>::view, Widened<ArtifactCrateFragment>::view,
    Widened<NestFragment>::view, Widened<BeaverDamFragment>::view};
constexpr const std::u16string_view* SupplyCrate16 = &HuntedFragments16[0];
constexpr const std::u16string_view* Nest16 = &HuntedFragments16[3];
static_assert(HuntedFragments[0] == SupplyCrateFragment && HuntedFragments[3] == NestFragment);

// The fragment a letter opens, either case: no two begin with the same letter.
constexpr const std::u16string_view* FragmentStartingWith(char16_t upper) {
    for (const std::u16string_view& fragment : HuntedFragments16) {
        if (UpperAscii(fragment[0]) == upper) {
            return &fragment;
        }
    }
    return nullptr;
}
static_assert([] {
    for (const std::u16string_view& fragment : HuntedFragments16) {
        if (FragmentStartingWith(UpperAscii(fragment[0])) != &fragment) {
            return false;
        }
    }
    return true;
}());

// The fragment each ASCII unit opens, either case: a name is nearly always
// ASCII, and most of its units open none.
constexpr std::array<const std::u16string_view*, 0x80> FragmentOpenedByAscii = [] {
    std::array<const std::u16string_view*, 0x80> table{};
    for (char16_t unit = 0; unit < 0x80; ++unit) {
        table[unit] = FragmentStartingWith(UpperAscii(unit));
    }
    return table;
}();

// What follows "SupplyCrate" in an asteroid crate's name on Gen2.
static_assert(SpaceCrateFragment.starts_with(SupplyCrateFragment));
constexpr std::u16string_view SpaceCrateRest = Widened<SpaceCrateFragment>::view.substr(SupplyCrateFragment.size());
constexpr std::u16string_view OceanCrate16 = Widened<OceanCrateName>::view;

bool IsA(const void* object, const char* staticClassFunction) {
    void* objectClass = GameFunction<void*()>(staticClassFunction)();
    return GameFunction<bool(const void*, void*)>("UObjectBaseUtility.IsA")(object, objectClass);
}

// The plan of a spawned object's item key; null when Items has no entry for
// it. Items of a type that a lookup raises on fails every spawn alike.
const AnnouncementPlan* PlanOf(std::string_view itemKey) {
    const PlanBook& plans = CurrentPlans();
    if (plans.itemsFailure) {
        throw std::runtime_error(*plans.itemsFailure);
    }
    return plans.Item(itemKey);
}

// A plan whose reads raise sends nothing, and each spawn of it says why in
// the log, as the read itself would have.
void FailIfItFails(const AnnouncementPlan& plan) {
    if (plan.failure) {
        throw std::runtime_error(*plan.failure);
    }
}

// An Items entry's spawn at world x, y, as its plan, its cooldown and
// MinPlayers allow.
void AnnounceEntry(const AnnouncementPlan& plan, float x, float y, const std::string* eggLevel) {
    if (plan.silence || CalmSpawn(plan, x, y) != CalmVerdict::Announce) {
        return;
    }
    FailIfItFails(plan);
    if (const std::optional<Announcement> announcement = ItemAnnouncement(plan, x, y, eggLevel)) {
        SendOut(*announcement);
    }
}

// A repeated code is held back, and counts as announced only once it has
// gone out. A read that raised dropped the announcement unsent: the next
// crate of this code tries again, and logs again, until it goes out.
void AnnounceAsteroidOnce(const std::string& code) {
    if (!LastAsteroidCode.empty() && LastAsteroidCode == code) {
        return;
    }
    const AnnouncementPlan& plan = CurrentPlans().asteroids;
    if (plan.silence || CalmSpawn(plan, 0, 0) != CalmVerdict::Announce) {
        return;
    }
    FailIfItFails(plan);
    SendOut(AsteroidAnnouncement(plan, code));
    LastAsteroidCode = code;
}

void AnnounceStructure(APrimalStructure* structure, const FVector& location) {
    const bool itemContainer = IsA(structure, "APrimalStructureItemContainer.GetPrivateStaticClass");
    if (!IsExamined(itemContainer, PluginConfig) ||
        (!itemContainer && !IsA(structure, "APrimalStructure.GetPrivateStaticClass"))) {
        return;
    }
    const FString name = ObjectName(structure);
    const NameFragments fragments = FindFragments(name);
    if (!fragments.hunted) {
        return;
    }
    ItemKey key;
    MakeItemKey(name, key);
    std::string_view itemKey = key.View();

    // A failed asteroid announcement costs only itself: the item announcement follows.
    if (CurrentMapName == AsteroidMap && fragments.spaceCrate) {
        RunLogged([&] {
            if (const std::optional<std::string_view> code = AsteroidCode(itemKey)) {
                AnnounceAsteroidOnce(std::string(*code));
            }
        });
    }

    // A nest is looked up under the creature that laid it, and shows its level.
    std::string eggLevel(EggLevelPlaceholder);
    if (fragments.nest) {
        void* instigator = GameField<void*>(structure, "AActor.Instigator");
        if (instigator != nullptr && IsA(instigator, "APrimalDinoCharacter.GetPrivateStaticClass")) {
            MakeItemKey(ObjectName(instigator), key);
            itemKey = key.View();
            // A creature without a status component has no level to show.
            if (void* status = GameField<void*>(instigator, "APrimalCharacter.MyCharacterStatusComponent")) {
                eggLevel = std::to_string(
                    GameFunction<int32_t(void*)>("UPrimalCharacterStatusComponent.GetCharacterLevel")(status));
            }
        }
    }

    if (const AnnouncementPlan* plan = PlanOf(itemKey)) {
        AnnounceEntry(*plan, location.X, location.Y, &eggLevel);
    }
}

void AnnounceOceanSupplyCrate(APrimalStructureItemContainer* container) {
    if (CurrentMapName != OceanCrateMap) {
        return;
    }
    const FString name = ObjectName(container);
    if (name.IndexOfIgnoreCase(OceanCrate16.data()) == -1) {
        return;
    }
    ItemKey key;
    MakeItemKey(name, key);
    const std::string_view itemKey = key.View();
    const AnnouncementPlan* plan = PlanOf(itemKey);
    if (plan == nullptr) {
        return;
    }
    // Without a root component the crate has no position to announce.
    void* root = GameField<void*>(container, "AActor.RootComponent");
    if (root == nullptr) {
        return;
    }
    FVector position{};
    GameFunction<void(void*, FVector*)>("USceneComponent.GetWorldLocation")(root, &position);
    AnnounceEntry(*plan, position.X, position.Y, nullptr);
}

}  // namespace

// Every structure the game spawns passes here, so the name is read once for
// all five fragments and "SupplyCrate_Space_", case ignored as
// FString::IndexOfIgnoreCase ignores it, up to its first zero unit: the
// answers of six separate searches.
NameFragments FindFragments(const FString& name) {
    NameFragments found;
    const char16_t* text = name.ArrayNum > 0 ? name.Data : u"";
    for (std::size_t i = 0; text[i] != 0; ++i) {
        const char16_t unit = text[i];
        const std::u16string_view* fragment =
            unit < 0x80 ? FragmentOpenedByAscii[unit] : FragmentStartingWith(Platform::UpperUnit(unit));
        if (fragment == nullptr) {
            continue;
        }
        // Most letters that open a fragment are not followed by its second one:
        // an ASCII mismatch there settles it without the full comparison.
        const char16_t next = text[i + 1];
        if (next < 0x80 && UpperAscii(next) != UpperAscii((*fragment)[1])) {
            continue;
        }
        if (Platform::CompareIgnoringCase(text + i + 1, fragment->data() + 1, fragment->size() - 1) == 0) {
            found.hunted = true;
            found.nest = found.nest || fragment == Nest16;
            found.spaceCrate =
                found.spaceCrate || (fragment == SupplyCrate16 &&
                                     Platform::CompareIgnoringCase(text + i + fragment->size(), SpaceCrateRest.data(),
                                                                   SpaceCrateRest.size()) == 0);
        }
    }
    return found;
}

void SendOut(const Announcement& announcement) {
    const DeliveryCount count = Broadcast(announcement);
    if (announcement.relayed) {
        RelayLine(*announcement.text, announcement.digest);
    }
    Tally(announcement, count);
}

void AnnounceHeld(const HeldSpawns& held) {
    const AnnouncementPlan* plan = CurrentPlans().Item(held.key);
    // An entry that sends nothing sends no digest either.
    if (plan == nullptr || plan->silence) {
        return;
    }
    FailIfItFails(*plan);
    if (const std::optional<Announcement> digest =
            DigestAnnouncement(*plan, held.count, held.x, held.y, DigestText())) {
        SendOut(*digest);
    }
}

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

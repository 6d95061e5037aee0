// Any object, instigator and map name through both spawn hooks, against one
// rich configuration of well-typed values: names as UTF-8 bytes (malformed
// ones included) or as raw 16-bit units (lone surrogates and zeros included),
// with any class, level, position and world settings. With such a
// configuration no spawn may end in an error line, every text players get must
// be UTF-8, and the game allocator must hold nothing between spawns.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "plugin/Plugin.h"

using namespace HeraldFuzz;
using StandIn::RecordKind;

namespace {

constexpr char RichConfig[] = R"({
  "EnableNests": true,
  "Items": {
    "SupplyCrate_Level03_C": { "Name": "Crate {EggLvl}", "Notification": {
      "Msg": "{MapName} {Name} {Lat} {Lon} {EggLvl} {Lat}", "Color": "Random", "Time": 7.9, "Size": 1e300 } },
    "SupplyCrate_Space_Metal_C": { "Notification": { "Type": "Chat", "Sender": "Späher", "Msg": "{Name}@{Lat},{Lon}" } },
    "SupplyCreate_OceanInstant_High_C": { "Name": "Ocean", "Notification": {
      "Msg": "{Name} {Lat} {Lon} {MapName}", "Color": "300,-1,12abc", "Time": -1e300 } },
    "ElementNode_C": { "Name": "Element", "Notification": { "Msg": "{Name} {Lat}", "Color": "255,,0,0", "Time": 2147483648 } },
    "ArtifactCrate_C": { "Notification": { "Msg": "{Name}", "Type": "notification" } },
    "BeaverDam_C": { "Name": "Dam", "Notification": { "Msg": "{Name} {Lon}", "Color": "1,2" } },
    "Nest_C": { "Name": "Nest", "Notification": { "Msg": "{Name} {EggLvl}", "Color": "" } },
    "Rex_Character_BP_C": { "Name": "Rex", "Notification": { "Msg": "{Name} nest level {EggLvl} at {Lat} {Lon}" } },
    "Wyvern_Character_BP_Fire_C": { "Notification": { "Msg": "{EggLvl}{Name}{EggLvl}", "Type": "" } },
    "SupplyCrate_Ünïcödé_C": { "Name": "😀", "Notification": { "Msg": "{Name} {MapName}" } },
    "SupplyCrate_Null_C": null,
    "SupplyCrate_NoNotification_C": { "Name": "x" }
  },
  "AsteroidGen2": {
    "Enable": true,
    "Color": { "Metal": "255,0,0", "Crystal": "Random", "": "0,0,255" },
    "Name": { "Metal": "Metal asteroid", "Crystal": "{PrimaryResources}" },
    "PrimaryResources": { "Metal": "Metal, Stone", "Crystal": "Crystal" },
    "SecondaryResources": { "Metal": "Flint" },
    "Notification": { "Msg": "{MapName}: {Name} {PrimaryResources} / {SecondaryResources} {Lat}", "Color": "ignored" }
  }
})";

std::u16string Name(FuzzedDataProvider& input) {
    if (input.ConsumeBool()) {
        return StandIn::Utf16(input.ConsumeRandomLengthString(96));
    }
    return Units(input.ConsumeRandomLengthString(192));
}

// The map as the game hands it to InitGame: any units, through the plugin's hook.
void StartMap(FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange(0, 3)) {
        case 0:
            StandIn::RunInitGame("Gen2");
            return;
        case 1:
            StandIn::RunInitGame("Ragnarok");
            return;
        case 2:
            StandIn::RunInitGame("TheIsland");
            return;
        default:
            break;
    }
    const std::u16string units = Name(input);
    FString map;
    if (!units.empty()) {
        map.Data = static_cast<char16_t*>(StandIn::GameMalloc((units.size() + 1) * sizeof(char16_t), 0));
        std::char_traits<char16_t>::copy(map.Data, units.data(), units.size());
        map.Data[units.size()] = 0;
        map.ArrayNum = map.ArrayMax = static_cast<int32_t>(units.size() + 1);
    }
    FString options;
    FString error;
    InitGameDetour(nullptr, &map, &options, &error);
}

float AnyFloat(FuzzedDataProvider& input) {
    if (input.ConsumeBool()) {
        return input.ConsumeFloatingPointInRange(-1e6f, 1e6f);
    }
    return input.ConsumeFloatingPoint<float>();
}

StandIn::ObjectClass AnyClass(FuzzedDataProvider& input) {
    constexpr StandIn::ObjectClass classes[] = {StandIn::ObjectClass::ItemContainer, StandIn::ObjectClass::Structure,
                                                StandIn::ObjectClass::Dino, StandIn::ObjectClass::Other};
    return classes[input.ConsumeIntegralInRange(0, 3)];
}

bool IsAsciiOnly(const std::u16string& units) {
    for (const char16_t unit : units) {
        if (unit >= 128) {
            return false;
        }
    }
    return true;
}

bool ContainsIgnoringAsciiCase(const std::u16string& text, std::u16string_view fragment) {
    const auto upper = [](char16_t unit) { return unit >= u'a' && unit <= u'z' ? unit - 32 : unit; };
    const std::size_t end = text.find(u'\0');  // the game's text ends at its first zero
    const std::u16string_view visible(text.data(), end == std::u16string::npos ? text.size() : end);
    for (std::size_t at = 0; at + fragment.size() <= visible.size(); ++at) {
        std::size_t k = 0;
        while (k < fragment.size() && upper(visible[at + k]) == upper(fragment[k])) {
            ++k;
        }
        if (k == fragment.size()) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    StartServer({"Alice", "Bob", "Carol"});
    WriteConfigText(RichConfig);
    PluginLoad();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    StandIn::ClearRecords();
    StartMap(input);
    if (input.ConsumeBool()) {
        StandIn::SetWorldSettings(AnyFloat(input), AnyFloat(input), AnyFloat(input), AnyFloat(input));
    } else {
        StandIn::SetWorldSettings(0, 0, 0, 0);
    }

    std::u16string objectName;
    if (input.ConsumeBool()) {
        StandIn::ContainerSpawn crate;
        crate.name = Name(input);
        crate.position = {AnyFloat(input), AnyFloat(input), AnyFloat(input)};
        crate.hasRootComponent = input.ConsumeBool();
        objectName = crate.name;
        StandIn::SpawnContainer(crate);
    } else {
        StandIn::StructureSpawn structure;
        structure.name = Name(input);
        structure.objectClass = AnyClass(input);
        structure.location = {AnyFloat(input), AnyFloat(input), AnyFloat(input)};
        if (input.ConsumeBool()) {
            StandIn::Instigator instigator;
            instigator.name = Name(input);
            instigator.objectClass = AnyClass(input);
            instigator.level = input.ConsumeIntegral<int>();
            instigator.hasStatusComponent = input.ConsumeBool();
            structure.instigator = instigator;
        }
        objectName = structure.name;
        StandIn::SpawnStructure(structure);
        // Only names holding one of the hunted fragments are ever announced.
        if (IsAsciiOnly(objectName)) {
            bool hunted = false;
            for (const std::u16string_view fragment :
                 {u"SupplyCrate", u"ElementNode", u"ArtifactCrate", u"Nest_C", u"BeaverDam"}) {
                hunted = hunted || ContainsIgnoringAsciiCase(objectName, fragment);
            }
            Require(hunted || StandIn::Records().empty(),
                    "a structure with none of the hunted fragments was announced");
        }
    }

    Require(CountRecords(RecordKind::Log) == 0,
            "a well-typed configuration gave an error line: " +
                (StandIn::Records().empty() ? std::string() : StandIn::Describe(StandIn::Records().front())));
    // Three players, at most an asteroid and an item announcement each.
    Require(StandIn::Records().size() <= 6, "more announcements than one spawn can give");
    RequireRecordsWellFormed();
    RequireAllocatorClean("after a spawn");
    return 0;
}

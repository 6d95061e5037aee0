// Any bytes as config.json: read at load and at reload; whenever it is taken,
// one object of every kind is spawned on every map where it is special. Whatever the text, the
// server must not crash, the game allocator must be empty once the plugin is
// unloaded, and a reload that fails must leave the previous settings
// announcing exactly as before.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "announce/SpawnDetours.h"
#include "config/Config.h"
#include "plugin/Plugin.h"

using namespace HeraldFuzz;
using StandIn::RecordKind;

namespace {

constexpr std::string_view KnownGoodConfig = R"({
  "EnableNests": true,
  "Items": {
    "SupplyCrate_Probe_C": {
      "Name": "Probe",
      "Notification": { "Msg": "probe {Name} {Lat} {Lon}", "Color": "1,2,3", "Time": 5, "Size": 2 }
    }
  }
})";
constexpr char ProbeAnnouncement[] = "probe Probe 50.0 50.0";
constexpr char ReloadCommand[] = "SkyCrateHerald.Reload";
constexpr char ReloadedReply[] = "Reloaded config";

// The same plugin, freshly loaded: module state as a new library starts it.
bool LoadAsNewLibrary() {
    PluginConfig = nullptr;
    CurrentMapName.clear();
    LastAsteroidCode.clear();
    try {
        PluginLoad();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool HostWasAsked(std::string_view call) {
    for (const std::string& made : StandIn::HostCalls()) {
        if (made.starts_with(call)) {
            return true;
        }
    }
    return false;
}

const StandIn::Record* LastRecord(RecordKind kind) {
    const auto& records = StandIn::Records();
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        if (it->kind == kind) {
            return &*it;
        }
    }
    return nullptr;
}

// A byte above ASCII reaches an RCON client as "?".
std::string AsRconText(std::string_view text) {
    std::string narrowed(text);
    for (char& byte : narrowed) {
        if (static_cast<unsigned char>(byte) > 127) {
            byte = '?';
        }
    }
    return narrowed;
}

// One RCON reload; exactly one reply, and a failure's reason is logged first.
bool ReloadOverRcon() {
    const std::size_t repliesBefore = CountRecords(RecordKind::RconReply);
    Require(StandIn::RconCommand(ReloadCommand, 41), "the reload command is not registered");
    Require(CountRecords(RecordKind::RconReply) == repliesBefore + 1, "a reload gave no single RCON reply");
    const StandIn::Record* reply = LastRecord(RecordKind::RconReply);
    Require(reply->id == 41 && reply->replyType == 0, "RCON reply with the wrong id or type");
    if (reply->text == ReloadedReply) {
        return true;
    }
    const StandIn::Record* log = LastRecord(RecordKind::Log);
    Require(log != nullptr && log->level == "error", "a failed reload wrote no error line");
    Require(AsRconText(log->text) == reply->text, "RCON reply differs from the logged reason: " + reply->text);
    return false;
}

StandIn::Instigator Dino(std::u16string name, int level, bool hasStatusComponent = true) {
    StandIn::Instigator dino;
    dino.name = std::move(name);
    dino.level = level;
    dino.hasStatusComponent = hasStatusComponent;
    return dino;
}

StandIn::StructureSpawn Structure(std::u16string name, StandIn::ObjectClass objectClass,
                                  FVector location = {1000, -2000, 0}) {
    StandIn::StructureSpawn spawn;
    spawn.name = std::move(name);
    spawn.objectClass = objectClass;
    spawn.location = location;
    return spawn;
}

// Every kind once, each on the map where it is special: the structures and
// the asteroids on Gen2, the ocean crates on Ragnarok, an asteroid crate on a
// map where it is a plain supply crate.
void SpawnEveryKind() {
    using StandIn::ObjectClass;
    StandIn::RunInitGame("Gen2");
    StandIn::SpawnStructure(Structure(u"SupplyCrate_Level03_C_1", ObjectClass::ItemContainer));
    StandIn::SpawnStructure(Structure(u"SupplyCrate_Probe_C_2", ObjectClass::ItemContainer));
    StandIn::SpawnStructure(Structure(u"ElementNode_C_3", ObjectClass::Structure));
    StandIn::SpawnStructure(Structure(u"ArtifactCrate_Cave_C_4", ObjectClass::ItemContainer, {-4e5f, 4e5f, 0}));
    StandIn::SpawnStructure(Structure(u"BeaverDam_C_5", ObjectClass::Structure));
    StandIn::SpawnStructure(Structure(u"Something_C_6", ObjectClass::Other));
    StandIn::StructureSpawn nest = Structure(u"Nest_C_7", ObjectClass::Structure);
    StandIn::SpawnStructure(nest);
    nest.instigator = Dino(u"Rex_Character_BP_C_8", 27);
    StandIn::SpawnStructure(nest);
    nest.instigator = Dino(u"Wyvern_Character_BP_Fire_C_9", 150, false);
    StandIn::SpawnStructure(nest);
    nest.instigator = Dino(u"Raptor_Character_BP_C_10", 3);
    nest.instigator->objectClass = ObjectClass::Other;
    StandIn::SpawnStructure(nest);
    // Two asteroids of one code, then another code, then a key too short for one.
    StandIn::SpawnStructure(Structure(u"SupplyCrate_Space_Metal_C_11", ObjectClass::ItemContainer));
    StandIn::SpawnStructure(Structure(u"SupplyCrate_Space_Metal_C_12", ObjectClass::ItemContainer));
    StandIn::SpawnStructure(Structure(u"SupplyCrate_Space_Crystal_C_13", ObjectClass::ItemContainer));
    StandIn::SpawnStructure(Structure(u"SupplyCrate_Space_C_14", ObjectClass::ItemContainer));

    StandIn::RunInitGame("Ragnarok");
    StandIn::ContainerSpawn ocean;
    ocean.name = u"SupplyCreate_OceanInstant_High_C_15";
    ocean.position = {12345, 67890, 0};
    StandIn::SpawnContainer(ocean);
    ocean.hasRootComponent = false;
    StandIn::SpawnContainer(ocean);

    StandIn::RunInitGame("TheIsland");
    StandIn::SpawnStructure(Structure(u"SupplyCrate_Space_Metal_C_16", ObjectClass::ItemContainer));
}

// After a failed reload the known-good settings must still announce, and
// announce exactly what they announced before.
void RequireKnownGoodSettingsAnnounce() {
    const std::size_t before = StandIn::Records().size();
    StandIn::StructureSpawn probe;
    probe.name = u"SupplyCrate_Probe_C_99";
    probe.objectClass = StandIn::ObjectClass::ItemContainer;
    StandIn::SpawnStructure(probe);
    const auto& records = StandIn::Records();
    Require(records.size() == before + 2, "after a failed reload the previous settings no longer announce");
    for (std::size_t i = before; i < records.size(); ++i) {
        Require(records[i].kind == RecordKind::Notification && records[i].text == ProbeAnnouncement &&
                    records[i].time == 5 && records[i].size == 2,
                "after a failed reload: " + StandIn::Describe(records[i]));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    StartServer({"Alice", "Bob"});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    StandIn::ClearRecords();

    WriteConfigText(text);
    if (!LoadAsNewLibrary()) {
        Require(!HostWasAsked("Register") && !HostWasAsked("InstallHook"),
                "a plugin that refused to load registered something");
        Require(CountRecords(RecordKind::Log) == 1, "a refused load must write exactly one error line");
        WriteConfigText(KnownGoodConfig);
        Require(LoadAsNewLibrary(), "the known-good config does not load");
    } else {
        SpawnEveryKind();
    }

    WriteConfigText(KnownGoodConfig);
    Require(ReloadOverRcon(), "the known-good config does not reload");
    WriteConfigText(text);
    if (!ReloadOverRcon()) {
        RequireKnownGoodSettingsAnnounce();
    } else {
        SpawnEveryKind();
    }
    Require(StandIn::ConsoleCommand(nullptr, ReloadCommand), "the console reload is not registered");

    RequireRecordsWellFormed();
    PluginUnload();
    RequireAllocatorClean("after unload");
    return 0;
}

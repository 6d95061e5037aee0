#include "ConfigFuzzing.h"

#include <exception>

#include "FuzzSupport.h"
#include "announce/Calm.h"
#include "announce/SpawnDetours.h"
#include "config/CalmReaders.h"
#include "config/Config.h"
#include "config/ConfigFile.h"
#include "config/PlayersReaders.h"
#include "config/RelayReaders.h"
#include "players/Players.h"
#include "plugin/Plugin.h"

namespace HeraldFuzz {

using StandIn::RecordKind;

const std::string_view KnownGoodConfig = R"({
  "EnableNests": true,
  "Items": {
    "SupplyCrate_Probe_C": {
      "Name": "Probe",
      "Notification": { "Msg": "probe {Name} {Lat} {Lon}", "Color": "1,2,3", "Time": 5, "Size": 2 }
    }
  }
})";

namespace {

constexpr std::string_view ProbeAnnouncement = "probe Probe 50.0 50.0";
constexpr char ReloadCommand[] = "SkyCrateHerald.Reload";
constexpr std::string_view ReloadedReply = "Reloaded config";
constexpr std::string_view FailedReply = "Failed to reload config";
constexpr int RconRequestId = 41;

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

bool IsErrorLine(const StandIn::Record& record) { return record.kind == RecordKind::Log && record.level == "error"; }

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

}  // namespace

bool LoadAsNewLibrary() {
    StopPlayers();
    StopCalm();
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

namespace {

nlohmann::json WrittenDocument() {
    const std::string& text = WrittenConfigText();
    nlohmann::json document;
    DepthLimitedBuilder builder(document, PastTheLimit::Stop);
    // One value from the start of the text, as the plugin reads it.
    nlohmann::json::sax_parse(text.begin(), text.end(), &builder, nlohmann::json::input_format_t::json, false);
    return document;
}

// The one line a reload that turns the relay off may add: how many of the
// lines the earlier file's spawns left waiting are not relayed.
bool IsRelayTurnedOffLine(const StandIn::Record& record) {
    return record.kind == RecordKind::Log && record.level == "warning" && record.text.starts_with("Discord: ") &&
           record.text.ends_with(" lines not relayed, the relay is off");
}

}  // namespace

std::vector<std::string> SettingsProblems() {
    const nlohmann::json document = WrittenDocument();
    std::vector<std::string> problems = PlayersSettingsOf(document).problems;
    for (std::string& problem : CalmSettingsOf(document).problems) {
        problems.push_back(std::move(problem));
    }
    for (std::string& problem : DiscordSettingsOf(document).problems) {
        problems.push_back(std::move(problem));
    }
    return problems;
}

bool LoggedTheSettingsProblems(std::size_t from, std::size_t to) {
    const std::vector<std::string> problems = SettingsProblems();
    const auto& records = StandIn::Records();
    if (to > from && to - from == problems.size() + 1 && IsRelayTurnedOffLine(records[to - 1]) &&
        !DiscordSettingsOf(WrittenDocument()).relays) {
        --to;
    }
    if (to - from != problems.size()) {
        return false;
    }
    for (std::size_t i = 0; i < problems.size(); ++i) {
        if (!IsErrorLine(records[from + i]) || records[from + i].text != problems[i]) {
            return false;
        }
    }
    return true;
}

// A good reload leaves its settings' problems and its reply; a failed one an
// error line and a reply, over RCON the line first, on the console the reply
// first.
bool ReloadOverRcon(std::string* reason) {
    const std::size_t before = StandIn::Records().size();
    Require(StandIn::RconCommand(ReloadCommand, RconRequestId), "the RCON reload command is not registered");
    const auto& records = StandIn::Records();
    Require(records.size() > before && records.back().kind == RecordKind::RconReply,
            "an RCON reload ended without a reply");
    const StandIn::Record& reply = records.back();
    Require(reply.id == RconRequestId && reply.replyType == 0, "RCON reply with the wrong id or type");
    if (reply.text == ReloadedReply) {
        Require(LoggedTheSettingsProblems(before, records.size() - 1),
                "a good RCON reload wrote to the log beyond its settings' problems");
        return true;
    }
    Require(records.size() == before + 2 && IsErrorLine(records[before]),
            "a failed RCON reload must write one error line, then reply once");
    // The reply carries the logged reason, however long the reason: it is
    // compared with the logged line, never with a parse error of our making.
    if (AsRconText(records[before].text) != reply.text) {
        Fail("RCON reply differs from the logged reason: " + reply.text);
    }
    if (reason != nullptr) {
        *reason = records[before].text;
    }
    return false;
}

bool ReloadFromConsole(const std::string& admin, std::string* reason) {
    const std::size_t before = StandIn::Records().size();
    Require(StandIn::ConsoleCommand(&admin, ReloadCommand), "the console reload command is not registered");
    const auto& records = StandIn::Records();
    Require(records.size() > before, "a console reload gave no reply");
    if (records.back().kind == RecordKind::ConsoleReply && records.back().text == ReloadedReply) {
        Require(records.back().player == admin, "a console reload answered another player");
        Require(LoggedTheSettingsProblems(before, records.size() - 1),
                "a good console reload wrote to the log beyond its settings' problems");
        return true;
    }
    const StandIn::Record& reply = records[before];
    Require(reply.kind == RecordKind::ConsoleReply && reply.player == admin,
            "a console reload's first record is not a reply to the admin who asked");
    Require(reply.text == FailedReply && records.size() == before + 2 && IsErrorLine(records.back()),
            "a failed console reload must reply \"Failed to reload config\", then write one error line");
    if (reason != nullptr) {
        *reason = records.back().text;
    }
    return false;
}

void RestoreKnownGoodConfig() {
    WriteConfigText(KnownGoodConfig);
    Require(ReloadOverRcon(), "the known-good config does not reload");
}

void RequireKnownGoodSettingsAnnounce(const char* when, std::size_t players) {
    const std::size_t before = StandIn::Records().size();
    StandIn::StructureSpawn probe;
    probe.name = u"SupplyCrate_Probe_C_99";
    probe.objectClass = StandIn::ObjectClass::ItemContainer;
    StandIn::SpawnStructure(probe);
    const auto& records = StandIn::Records();
    if (records.size() != before + players) {
        Fail(std::string(when) + ": the known-good settings do not announce the probe to every player");
    }
    for (std::size_t i = before; i < records.size(); ++i) {
        const StandIn::Record& record = records[i];
        if (record.kind != RecordKind::Notification || record.text != ProbeAnnouncement || record.time != 5 ||
            record.size != 2) {
            Fail(std::string(when) + ": the probe was announced as " + StandIn::Describe(record));
        }
    }
}

void RequireKnownGoodSettingsInForce(const char* when) {
    static const nlohmann::json knownGood = nlohmann::json::parse(KnownGoodConfig);
    if (PluginConfig != knownGood) {
        Fail(std::string(when) + ": the settings in force are not the known-good file's but " +
             PluginConfig.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    }
}

// Every kind once, each on the map where it is special: the structures and
// the asteroids on Gen2, the ocean crates on Ragnarok, an asteroid crate on a
// map where it is a plain supply crate. Ends on TheIsland, the server's map.
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

}  // namespace HeraldFuzz

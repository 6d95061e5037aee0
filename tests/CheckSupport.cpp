#include "CheckSupport.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <optional>

namespace CheckTest {

namespace {

using Herald::Finding;
using Herald::Severity;
using Json = nlohmann::json;

// What follows the words at the end of a finding, read as one JSON value:
// check ends with the number or the quoted text it promises.
std::optional<Json> Promised(const std::string& message, std::string_view words) {
    const std::size_t at = message.rfind(words);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    const Json value = Json::parse(message.substr(at + words.size()), nullptr, false);
    return value.is_discarded() ? std::nullopt : std::optional(value);
}

// What check's words promise about a delivery, wherever they stand.
void ExpectDeliveryAsCheckSays(const std::vector<Finding>& findings, const PluginDid& did, const std::string& what) {
    if (did.deliveries.size() != 1) {
        return;
    }
    const Json& delivery = did.deliveries[0];
    for (const Finding& finding : findings) {
        if (const auto time = Promised(finding.message, "is read as "); time && time->is_number_integer()) {
            EXPECT_EQ(delivery.value("time", 0.0), time->get<float>()) << what;
        }
        if (const auto text = Promised(finding.message, "players see only what comes before it: ")) {
            EXPECT_EQ(delivery.value("text", Json()), *text) << what;
        }
        if (const auto sender = Promised(finding.message, "players see the sender ")) {
            EXPECT_EQ(delivery.value("sender", Json()), *sender) << what;
        }
        if (finding.message.ends_with("shows green")) {
            EXPECT_EQ(delivery.value("color", Json()), Green) << what;
        }
    }
}

}  // namespace

std::string Describe(const std::vector<Finding>& findings) {
    std::string text;
    for (const Finding& finding : findings) {
        text += (finding.severity == Severity::Error ? "error " : "warning ") + finding.path.substr(0, 200) + ": " +
                finding.message.substr(0, 400) + "\n";
    }
    return text;
}

bool Says(const std::vector<Finding>& findings, const std::string& path, const std::string& fragment) {
    return std::any_of(findings.begin(), findings.end(), [&](const Finding& finding) {
        return finding.path == path && finding.message.find(fragment) != std::string::npos;
    });
}

// A config whose one entry, SupplyCrate_Level03_C, has this Notification.
std::string CrateConfig(const std::string& notification) {
    return R"({"AsteroidGen2": {"Enable": false}, "Items": {"SupplyCrate_Level03_C": {"Notification": )" +
           notification + "}}}";
}

// A document with every key the plugin reads, each of the right type.
Json EveryKey() {
    return Json::parse(R"({
      "$schema": "config.schema.json",
      "EnableNests": true,
      "Items": {"SupplyCrate_Level03_C": {"Name": "Crate", "Group": "loot", "Cooldown": 60, "Notification":
        {"Msg": "{Name}", "Type": "Notification", "Time": 10, "Size": 1.2, "Color": "0,255,0", "Sender": "Server"}}},
      "AsteroidGen2": {"Enable": true, "Group": "space", "Color": {"Metal": "1,2,3"}, "Name": {"Metal": "Metal"},
        "PrimaryResources": {"Metal": "metal"}, "SecondaryResources": {"Metal": "stone"},
        "Notification": {"Msg": "{Name}", "Type": "Notification", "Time": 10, "Size": 1.2, "Sender": "Server"}},
      "Players": {"Enable": true, "Command": "/herald", "Store": "players.sqlite"},
      "Calm": {"MinPlayers": 1, "Cooldown": 30, "Digest": "{Count} more {Name} on {MapName}, the latest at {Lat} / {Lon}"},
      "Discord": {"Webhook": "https://discord.example/api/webhooks/1/key", "Groups": ["loot", "SPACE"],
        "Username": "{MapName}"}
    })");
}

// The key table's pointer with its "*" made concrete for EveryKey().
std::string Concrete(std::string_view pointer) {
    std::string concrete(pointer);
    const std::size_t star = concrete.find('*');
    if (star != std::string::npos) {
        concrete.replace(star, 1, concrete.starts_with("/Items") ? "SupplyCrate_Level03_C" : "Metal");
    }
    return concrete;
}

CheckSays WhatCheckSays(const std::vector<Finding>& findings) {
    CheckSays says;
    for (const Finding& finding : findings) {
        const auto has = [&](const char* words) { return finding.message.find(words) != std::string::npos; };
        says.refused = says.refused || has("the plugin refuses to load");
        says.logged = says.logged || has("error line is logged");
        says.nothingSent = says.nothingSent || has("nothing is sent") || has("never announced") ||
                           has("not announced") || has("nothing is ever announced");
        says.ignored = says.ignored || has("the plugin ignores it");
    }
    return says;
}

// Whatever the file: check's refusal is the plugin's, an announcement check
// says sends nothing sends nothing, and a delivery is what check promises.
void ExpectPluginDoesAsCheckSays(const std::vector<Finding>& findings, const PluginDid& did, const std::string& what) {
    const CheckSays says = WhatCheckSays(findings);
    EXPECT_EQ(did.loaded, !says.refused) << what;
    if (says.nothingSent) {
        EXPECT_THAT(did.deliveries, ::testing::IsEmpty()) << what;
    }
    ExpectDeliveryAsCheckSays(findings, did, what);
}

// Check's one finding of a row (none where it says nothing), at its severity,
// and whether it says the plugin logs as the plugin did.
void ExpectCheckSaid(const std::vector<Finding>& findings, const std::string& path, const char* says, Severity severity,
                     int errorLines, const std::string& what) {
    if (says == nullptr) {
        EXPECT_THAT(findings, ::testing::IsEmpty()) << what;
    } else {
        EXPECT_TRUE(Says(findings, path, says)) << what;
        EXPECT_EQ(Herald::CheckExitStatus(findings), severity == Severity::Error ? 2 : 1) << what;
    }
    EXPECT_EQ(WhatCheckSays(findings).logged, errorLines > 0) << what;
}

PluginDid HeraldCheckAgainstPlugin::Play(const std::string& configText, const StandIn::StructureSpawn& spawn) {
    server.WriteConfigText(configText);
    StandIn::ResetServer();
    StandIn::SetServerDirectory(server.root.string());
    StandIn::SetMapName("Gen2");
    StandIn::ConnectPlayer("Ann");
    PluginDid did;
    did.loaded = StandIn::LoadPlugin(HeraldTest::PluginPath).ok;
    StandIn::SpawnStructure(spawn);
    for (const StandIn::Record& record : StandIn::Records()) {
        const FColorLinear& color = record.color;
        if (record.kind == StandIn::RecordKind::Notification) {
            did.deliveries.push_back({{"type", "notification"},
                                      {"text", record.text},
                                      {"time", record.time},
                                      {"color", {color.R, color.G, color.B, color.A}}});
        } else if (record.kind == StandIn::RecordKind::Chat) {
            did.deliveries.push_back({{"type", "chat"}, {"text", record.text}, {"sender", record.sender}});
        } else if (record.kind == StandIn::RecordKind::Log) {
            ++did.errorLines;
        }
    }
    for (const std::string& line : StandIn::Describe(StandIn::Records())) {
        did.transcript += line + "\n";
    }
    StandIn::UnloadPlugin();
    return did;
}

}  // namespace CheckTest

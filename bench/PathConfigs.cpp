// The paths by name, and the config.json each runs against.

#include <cstdio>
#include <string>

#include "Scenarios.h"

namespace HeraldBench {

namespace {

using Json = nlohmann::json;

Json Notification(const char* type, const char* message, const char* color) {
    Json notification{{"Type", type}, {"Msg", message}, {"Time", 10}, {"Size", 1.2}};
    if (color != nullptr) {
        notification["Color"] = color;
    }
    return notification;
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

}  // namespace HeraldBench

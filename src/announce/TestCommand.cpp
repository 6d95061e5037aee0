#include "announce/TestCommand.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "announce/Announcements.h"
#include "announce/Broadcast.h"
#include "announce/Calm.h"
#include "announce/TestCommandLine.h"
#include "config/Config.h"
#include "config/ConfigKeys.h"
#include "config/ConfigLimits.h"
#include "config/ConfigReaders.h"
#include "config/ItemNames.h"
#include "config/PlayersReaders.h"
#include "config/Placeholders.h"
#include "config/NearMisses.h"
#include "plugin/CommandReplies.h"
#include "plugin/PluginName.h"
#include "plugin/PluginLog.h"

namespace {

using Json = nlohmann::json;

// What the command answers besides the announcement itself: the refusal when
// nothing would be sent, and a remark on what was tested.
struct TestReply {
    std::optional<std::string> refusal;
    std::optional<std::string> remark;  // in parentheses
    std::string group;                  // of the entry tested
    std::string calm;                   // what would hold its spawn on the server now
};

// Why a built announcement would reach nobody, or none when it would go out.
std::optional<std::string> SilenceReason(const Json& notificationTemplate) {
    if (!notificationTemplate.is_object()) {
        return "it has no " + std::string(Key::Notification);
    }
    std::string spare;
    if (MessageOf(notificationTemplate, spare).empty()) {
        return "its " + std::string(Key::Msg) + " is empty";
    }
    return std::nullopt;
}

// A code that no map of AsteroidGen2 names is announced with the defaults,
// which is rarely what the admin meant.
std::optional<std::string> UnconfiguredCode(const Json& asteroids, const std::string& code) {
    if (HasAsteroidCode(asteroids, code)) {
        return std::nullopt;
    }
    std::string remark = "(" + std::string(AsteroidWord) + " has no entry for " + code;
    if (const std::optional<std::string_view> nearest = NearestAsteroidCode(asteroids, code)) {
        remark += "; did you mean " + std::string(*nearest) + "?";
    }
    return remark + ")";
}

// Builds the request's announcement as a spawn of that object would, on the
// current map, and hands it to deliver when it would reach anyone. Gives the
// refusal otherwise. An Items key is announced as the object it names: an
// ocean crate's whatever the map, an item container's, or a nest's, which a
// key naming none of the hunted objects is the creature of (at level 150).
// An asteroid code is cut as a crate's name is. The entry is looked up before
// EnableNests, so a mistyped key is named first.
TestReply BuildTest(const TestRequest& request, const AnnouncementSink& deliver) {
    const std::string key = request.asteroid ? AsteroidCodeAsSpawned(request.key) : request.key;
    const std::string subject = request.asteroid ? std::string(AsteroidWord) + " " + key : key;
    std::optional<std::string> refusal = subject + " sends nothing: the server has no world";
    const AnnouncementSink checked = [&](const Json& notificationTemplate, ReplacementList replacements) {
        refusal = SilenceReason(notificationTemplate);
        if (refusal) {
            *refusal = subject + " sends nothing: " + *refusal;
        } else {
            deliver(notificationTemplate, replacements);
        }
    };
    if (request.asteroid) {
        const Json& asteroids = AsteroidsOf(PluginConfig);
        if (!AsteroidsEnabled(asteroids)) {
            return {subject + " sends nothing: " + std::string(Key::AsteroidGen2) + " is not enabled", std::nullopt};
        }
        AnnounceAsteroid(asteroids, key, checked);
        return {refusal, UnconfiguredCode(asteroids, key), std::string(AsteroidGroupOf(asteroids)),
                CalmRemark(nullptr, key)};
    }
    const Json& items = ItemsOf(PluginConfig);
    const Json& entry = Member(items, key);
    if (entry.is_null()) {
        return {NoEntryReply(PluginConfig, key), std::nullopt};
    }
    if (!CanBeItemKey(key)) {
        return {subject + " sends nothing: no spawned object has this item key (an item key ends at its first \"_C\")",
                std::nullopt};
    }
    const KeyFragments fragments = FindKeyFragments(key);
    const std::string group(GroupOf(entry, key));
    if (fragments.ocean) {
        AnnounceItem(entry, key, request.x, request.y, nullptr, checked);
        return {refusal, std::nullopt, group, CalmRemark(&entry, key)};
    }
    if (!IsExamined(fragments.container, PluginConfig)) {
        return {subject + " sends nothing: " + std::string(Key::EnableNests) + " is false", std::nullopt};
    }
    const std::string eggLevel =
        fragments.hunted ? std::string(EggLevelPlaceholder) : std::to_string(SampleCreatureLevel);
    AnnounceItem(entry, key, request.x, request.y, &eggLevel, checked);
    return {refusal, std::nullopt, group, CalmRemark(&entry, key)};
}

// The request read from the command's text; the refusal when it can't be.
// A lookup that fails on the config's types refuses with the text a spawn
// would have logged.
TestReply RunTest(const FString* command, const AnnouncementSink& deliver) {
    const std::optional<TestRequest> request = command != nullptr ? ReadTestCommand(command->View()) : std::nullopt;
    if (!request) {
        return {TestUsage(), std::nullopt};
    }
    try {
        return BuildTest(*request, deliver);
    } catch (const std::exception& error) {
        return {CutErrorText(error.what()), std::nullopt};
    }
}

}  // namespace

// From the server's own console there is nobody to send to or answer.
void TestConsoleHandler(APlayerController* player, FString* command, bool /*fromCheat*/) {
    if (player == nullptr) {
        return;
    }
    // The console's player is the game's AShooterPlayerController.
    auto* admin = reinterpret_cast<AShooterPlayerController*>(player);
    RunLogged([&] {
        const TestReply reply =
            RunTest(command, [admin](const Json& notificationTemplate, ReplacementList replacements) {
                SendToPlayer(admin, notificationTemplate, replacements);
            });
        for (const std::optional<std::string>& line : {reply.refusal, reply.remark}) {
            if (line) {
                FString message = FString::FromUtf8(*line);
                SendConsoleReply(player, message, FailureColor);
            }
        }
    });
}

void TestRconHandler(RCONClientConnection* connection, RCONPacket* packet, UWorld* /*world*/) {
    RunLogged([&] {
        std::string described;
        const TestReply reply =
            RunTest(&packet->Body, [&described](const Json& notificationTemplate, ReplacementList replacements) {
                described = DescribeAnnouncement(notificationTemplate, replacements).value_or(std::string());
            });
        std::string text = reply.refusal.value_or(described + " group " + reply.group + reply.calm);
        if (reply.remark) {
            text += " " + *reply.remark;
        }
        FString message = FString::FromUtf8(text);
        SendRconReply(connection, packet, message);
    });
}

#include "announce/TestCommand.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "announce/Announcements.h"
#include "announce/Broadcast.h"
#include "announce/TestCommandLine.h"
#include "config/Config.h"
#include "config/ConfigKeys.h"
#include "config/ConfigLimits.h"
#include "config/ConfigReaders.h"
#include "plugin/CommandReplies.h"
#include "plugin/PluginLog.h"

namespace {

using Json = nlohmann::json;

// The level shown for a creature's nest: the one herald preview shows.
constexpr std::string_view TestCreatureLevel = "150";

// Why a built announcement would reach nobody, or none when it would go out.
std::optional<std::string> SilenceReason(const Json& notificationTemplate) {
    if (!notificationTemplate.is_object()) {
        return "it has no Notification";
    }
    std::string spare;
    if (ReadText(notificationTemplate, "Msg", {}, spare).empty()) {
        return "its Msg is empty";
    }
    return std::nullopt;
}

std::string NoEntry(const Json& items, const std::string& key) {
    std::string reply = "No entry " + key + " in Items";
    if (const std::optional<std::string> nearest = NearestItemKey(items, key)) {
        reply += " (did you mean " + *nearest + "?)";
    }
    return reply;
}

// Builds the request's announcement as a spawn of that object would, on the
// current map, and hands it to deliver when it would reach anyone. Gives the
// refusal otherwise. An Items key is announced as the object it names: an
// ocean crate's whatever the map, an item container's, or a nest's, which a
// key naming none of the hunted objects is the creature of (at level 150).
// The entry is looked up before EnableNests, so a mistyped key is named first.
std::optional<std::string> BuildTest(const TestRequest& request, const AnnouncementSink& deliver) {
    const std::string subject = request.asteroid ? std::string(AsteroidWord) + " " + request.key : request.key;
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
        const Json& asteroids = Member(PluginConfig, "AsteroidGen2");
        if (!asteroids.value("Enable", DefaultAsteroidsEnabled)) {
            return subject + " sends nothing: AsteroidGen2 is not enabled";
        }
        AnnounceAsteroid(asteroids, request.key, checked);
        return refusal;
    }
    const Json& items = Member(PluginConfig, "Items");
    const Json& entry = Member(items, request.key);
    if (entry.is_null()) {
        return NoEntry(items, request.key);
    }
    const KeyFragments fragments = FindKeyFragments(request.key);
    if (fragments.ocean) {
        AnnounceItem(entry, request.key, request.x, request.y, nullptr, checked);
        return refusal;
    }
    // Only an item container is examined without EnableNests.
    if (!fragments.container && !PluginConfig.value("EnableNests", DefaultEnableNests)) {
        return subject + " sends nothing: EnableNests is false";
    }
    const std::string eggLevel(fragments.hunted ? EggLevelPlaceholder : TestCreatureLevel);
    AnnounceItem(entry, request.key, request.x, request.y, &eggLevel, checked);
    return refusal;
}

// The request read from the command's text; the refusal when it can't be.
// A lookup that fails on the config's types refuses with the text a spawn
// would have logged.
std::optional<std::string> RunTest(const FString* command, const AnnouncementSink& deliver) {
    const std::optional<TestRequest> request = command != nullptr ? ReadTestCommand(command->View()) : std::nullopt;
    if (!request) {
        return std::string(TestUsage);
    }
    try {
        return BuildTest(*request, deliver);
    } catch (const std::exception& error) {
        return CutErrorText(error.what());
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
        const std::optional<std::string> refusal =
            RunTest(command, [admin](const Json& notificationTemplate, ReplacementList replacements) {
                SendToPlayer(admin, notificationTemplate, replacements);
            });
        if (refusal) {
            FString message = FString::FromUtf8(*refusal);
            SendConsoleReply(player, message, FailureColor);
        }
    });
}

void TestRconHandler(RCONClientConnection* connection, RCONPacket* packet, UWorld* /*world*/) {
    RunLogged([&] {
        std::string reply;
        const std::optional<std::string> refusal =
            RunTest(&packet->Body, [&reply](const Json& notificationTemplate, ReplacementList replacements) {
                reply = DescribeAnnouncement(notificationTemplate, replacements).value_or(std::string());
            });
        FString message = FString::FromUtf8(refusal ? *refusal : reply);
        SendRconReply(connection, packet, message);
    });
}

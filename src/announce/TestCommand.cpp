#include "announce/TestCommand.h"

#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "announce/Announcements.h"
#include "announce/Broadcast.h"
#include "announce/Calm.h"
#include "announce/TestCommandLine.h"
#include "config/AnnouncementPlan.h"
#include "config/Config.h"
#include "config/ConfigKeys.h"
#include "config/ConfigLimits.h"
#include "config/ConfigReaders.h"
#include "config/ItemNames.h"
#include "config/NearMisses.h"
#include "config/Placeholders.h"
#include "config/PlayersReaders.h"
#include "plugin/CommandReplies.h"
#include "plugin/PluginLog.h"
#include "plugin/PluginName.h"

namespace {

using Json = nlohmann::json;

// What the command answers: the announcement, or the refusal when nothing
// would be sent, and what surrounds it.
struct TestReply {
    std::optional<std::string> refusal;
    std::optional<std::string> remark;  // in parentheses
};

// Receives the announcement once it is made, with what would hold its spawn
// on the server now; both are valid only during the call.
using TestSink = std::function<void(const Announcement& announcement, const CalmAnswer& calm)>;

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

// Why a spawn of the plan sends nothing here, or none when it is sent.
std::optional<std::string> Refusal(const AnnouncementPlan& plan, const std::string& subject) {
    if (plan.failure) {
        return CutErrorText(*plan.failure);
    }
    if (!plan.silence) {
        return std::nullopt;
    }
    if (!plan.sentOn.empty()) {
        const std::string here = CurrentMapName.empty() ? "here" : "on " + CurrentMapName;
        return subject + " sends nothing " + here + ": " + *plan.silence;
    }
    return subject + " sends nothing: " + *plan.silence;
}

// The request's announcement as a spawn of that object on the current map
// would make it, from the same plan. An Items key is announced as the object
// it names: an ocean crate's, an item container's, or a nest's, which a key
// naming none of the hunted objects is the creature of (at level 150). An
// asteroid code is cut as a crate's name is.
TestReply BuildTest(const TestRequest& request, const TestSink& deliver) {
    const std::string key = request.asteroid ? AsteroidCodeAsSpawned(request.key) : request.key;
    const std::string subject = request.asteroid ? std::string(AsteroidWord) + " " + key : key;
    const AnnouncementPlan plan = PlanAnnouncement(PluginConfig, {key, request.asteroid}, CurrentMapName);
    TestReply reply;
    if (!request.asteroid && plan.entry == nullptr && !plan.failure) {
        reply.refusal = NoEntryReply(PluginConfig, key);
        return reply;
    }
    reply.refusal = Refusal(plan, subject);
    const std::string asteroidsOff = std::string(Key::AsteroidGen2) + " is not enabled";
    if (request.asteroid && !plan.failure && plan.silence != asteroidsOff) {
        reply.remark = UnconfiguredCode(*plan.entry, key);
    }
    if (reply.refusal) {
        return reply;
    }
    const CalmAnswer calm = CalmVerdictNow(plan);
    if (request.asteroid) {
        deliver(AsteroidAnnouncement(plan, key), calm);
        return reply;
    }
    const std::string eggLevel =
        plan.kind == AnnouncementKind::Nest ? std::to_string(SampleCreatureLevel) : std::string(EggLevelPlaceholder);
    const std::optional<Announcement> announcement =
        ItemAnnouncement(plan, request.x, request.y, plan.kind == AnnouncementKind::OceanCrate ? nullptr : &eggLevel);
    if (announcement) {
        deliver(*announcement, calm);
    } else {
        reply.refusal = subject + " sends nothing: the server has no world";
    }
    return reply;
}

// The request read from the command's text; the refusal when it can't be.
// A read that fails on the config's types refuses with the text a spawn
// would have logged.
TestReply RunTest(const FString* command, const TestSink& deliver) {
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

// What would hold the entry's spawn on the server now, as the RCON reply adds it.
std::string CalmRemark(const CalmAnswer& calm) {
    switch (calm.verdict) {
        case CalmVerdict::HeldTooFewPlayers:
            return " (on the server: held, too few players)";
        case CalmVerdict::HeldByCooldown:
            return " (on the server: held for " + std::to_string(calm.cooldownLeft) + " s more by its cooldown)";
        case CalmVerdict::Announce:
            break;
    }
    return {};
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
        const TestReply reply = RunTest(command, [admin](const Announcement& announcement, const CalmAnswer&) {
            SendToPlayer(admin, announcement);
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
            RunTest(&packet->Body, [&described](const Announcement& announcement, const CalmAnswer& calm) {
                described = DescribeAnnouncement(announcement) + " group " + std::string(announcement.group) +
                            (announcement.relayed ? " relayed to Discord" : "") + CalmRemark(calm);
            });
        std::string text = reply.refusal.value_or(described);
        if (reply.remark) {
            text += " " + *reply.remark;
        }
        FString message = FString::FromUtf8(text);
        SendRconReply(connection, packet, message);
    });
}

#include "announce/StatusCommand.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "announce/Calm.h"
#include "announce/Tally.h"
#include "announce/TestCommandLine.h"
#include "config/Config.h"
#include "players/Players.h"
#include "plugin/CommandReplies.h"
#include "plugin/PluginLog.h"
#include "plugin/PluginName.h"
#include "relay/Relay.h"

namespace {

std::string SentAndHeld() {
    const DeliveryTally& sent = Tallied();
    const CalmCounts held = CalmHeld();
    return "Sent " + std::to_string(sent.announcements) + " announcements as " + std::to_string(sent.lines) +
           " lines; held " + std::to_string(held.heldByCooldown) + " by cooldowns (" + std::to_string(sent.digests) +
           " digests sent), " + std::to_string(held.heldTooFewPlayers) + " with too few players; " +
           std::to_string(sent.notSentByChoices) + " lines not sent by players' choices.";
}

std::string StatusReply(const FString* command) {
    const std::optional<std::optional<std::string>> request =
        command != nullptr ? ReadStatusCommand(command->View()) : std::nullopt;
    if (!request) {
        return "Usage: " + std::string(StatusCommandName) + " [KEY]";
    }
    if (!*request) {
        return SentAndHeld() + PlayersStatus() + RelayStatus();
    }
    const std::string& key = **request;
    const AnnouncementPlan* plan = CurrentPlans().Item(key);
    return plan == nullptr ? NoEntryReply(PluginConfig, key) : EntryStatus(*plan);
}

}  // namespace

// From the server's own console there is nobody to answer.
void StatusConsoleHandler(APlayerController* player, FString* command, bool /*fromCheat*/) {
    if (player == nullptr) {
        return;
    }
    RunLogged([&] {
        FString message = FString::FromUtf8(StatusReply(command));
        SendConsoleReply(player, message, SuccessColor);
    });
}

void StatusRconHandler(RCONClientConnection* connection, RCONPacket* packet, UWorld* /*world*/) {
    RunLogged([&] {
        FString message = FString::FromUtf8(StatusReply(&packet->Body));
        SendRconReply(connection, packet, message);
    });
}

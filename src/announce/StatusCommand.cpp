#include "announce/StatusCommand.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "announce/Calm.h"
#include "announce/TestCommandLine.h"
#include "config/Config.h"
#include "config/ConfigReaders.h"
#include "players/Players.h"
#include "relay/Relay.h"
#include "plugin/CommandReplies.h"
#include "plugin/PluginLog.h"
#include "plugin/PluginName.h"

namespace {

std::string StatusReply(const FString* command) {
    const std::optional<std::optional<std::string>> request =
        command != nullptr ? ReadStatusCommand(command->View()) : std::nullopt;
    if (!request) {
        return "Usage: " + std::string(StatusCommandName) + " [KEY]";
    }
    if (!*request) {
        return CalmStatus() + PlayersStatus() + RelayStatus();
    }
    const std::string& key = **request;
    const nlohmann::json& entry = ItemEntry(PluginConfig, key);
    return entry.is_null() ? NoEntryReply(PluginConfig, key) : EntryStatus(key, entry);
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

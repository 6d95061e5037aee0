#include "plugin/ReloadCommands.h"

#include "announce/Calm.h"
#include "config/Config.h"
#include "config/ConfigLimits.h"
#include "game/GameTypes.h"
#include "players/Players.h"
#include "plugin/CommandReplies.h"
#include "plugin/PluginLog.h"
#include "relay/Relay.h"

namespace {

void ReplyOnConsole(APlayerController* player, const char* text, FColorBytes color) {
    FString message = FString::FromNarrow(text);
    SendConsoleReply(player, message, color);
}

void ReplyOverRcon(RCONClientConnection* connection, const RCONPacket* request, const char* text) {
    FString message = FString::FromNarrow(text);
    SendRconReply(connection, request, message);
}

}  // namespace

void FollowConfig() {
    RunLogged(&FollowPlayersSettings);
    RunLogged(&FollowCalmSettings);
    RunLogged(&FollowRelaySettings);
}

// The player learns only that the reload failed; the reason goes to the log.
// A reply the game cannot deliver is logged instead of reaching the host.
void ReloadConsoleHandler(APlayerController* player, FString* /*command*/, bool /*fromCheat*/) {
    try {
        ReadConfig();
    } catch (const std::exception& error) {
        const std::string reason = error.what();
        if (player != nullptr) {
            RunLogged([player] { ReplyOnConsole(player, "Failed to reload config", FailureColor); });
        }
        PluginLog::WriteError(reason);
        return;
    }
    FollowConfig();
    if (player != nullptr) {
        RunLogged([player] { ReplyOnConsole(player, "Reloaded config", SuccessColor); });
    }
}

void ReloadRconHandler(RCONClientConnection* connection, RCONPacket* packet, UWorld* /*world*/) {
    try {
        ReadConfig();
    } catch (const std::exception& error) {
        // The log line and the reply carry the same text, cut alike.
        const std::string reason = CutErrorText(error.what());
        PluginLog::WriteError(reason);
        RunLogged([&] { ReplyOverRcon(connection, packet, reason.c_str()); });
        return;
    }
    FollowConfig();
    RunLogged([&] { ReplyOverRcon(connection, packet, "Reloaded config"); });
}

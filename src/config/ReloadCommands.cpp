#include "config/ReloadCommands.h"

#include "config/Config.h"
#include "config/ConfigLimits.h"
#include "game/GameTypes.h"
#include "plugin/PluginLog.h"

namespace {

constexpr FColorBytes SuccessColor{0, 255, 0, 255};
constexpr FColorBytes FailureColor{0, 0, 255, 255};

void SendConsoleReply(APlayerController* player, const char* text, FColorBytes color) {
    FString message = FString::FromNarrow(text);
    GameFunction<void(APlayerController*, FString*, FColorLinear, bool)>(
        "AShooterPlayerController.ClientServerChatDirectMessage")(player, &message, LinearColor(color), false);
}

void SendRconReply(RCONClientConnection* connection, const RCONPacket* request, const char* text) {
    FString message = FString::FromNarrow(text);
    GameFunction<void(RCONClientConnection*, int, int, FString*)>("RCONClientConnection.SendMessageW")(
        connection, request->Id, 0, &message);
}

}  // namespace

// The player learns only that the reload failed; the reason goes to the log.
// A reply the game cannot deliver is logged instead of reaching the host.
void ReloadConsoleHandler(APlayerController* player, FString* /*command*/, bool /*fromCheat*/) {
    try {
        ReadConfig();
    } catch (const std::exception& error) {
        const std::string reason = error.what();
        if (player != nullptr) {
            RunLogged([player] { SendConsoleReply(player, "Failed to reload config", FailureColor); });
        }
        PluginLog::WriteError(reason);
        return;
    }
    if (player != nullptr) {
        RunLogged([player] { SendConsoleReply(player, "Reloaded config", SuccessColor); });
    }
}

void ReloadRconHandler(RCONClientConnection* connection, RCONPacket* packet, UWorld* /*world*/) {
    try {
        ReadConfig();
    } catch (const std::exception& error) {
        // The log line and the reply carry the same text, cut alike.
        const std::string reason = CutErrorText(error.what());
        PluginLog::WriteError(reason);
        RunLogged([&] { SendRconReply(connection, packet, reason.c_str()); });
        return;
    }
    RunLogged([&] { SendRconReply(connection, packet, "Reloaded config"); });
}

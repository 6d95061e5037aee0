#include "plugin/CommandReplies.h"

void SendConsoleReply(APlayerController* player, FString& message, FColorBytes color) {
    GameFunction<void(APlayerController*, FString*, FColorLinear, bool)>(
        "AShooterPlayerController.ClientServerChatDirectMessage")(player, &message, LinearColor(color), false);
}

void SendRconReply(RCONClientConnection* connection, const RCONPacket* request, FString& message) {
    GameFunction<void(RCONClientConnection*, int, int, FString*)>("RCONClientConnection.SendMessageW")(
        connection, request->Id, 0, &message);
}

#pragma once
// Answering whoever issued one of the plugin's commands: a line in the
// issuing player's console chat, or the reply to an RCON request.

#include "game/GameTypes.h"

inline constexpr FColorBytes SuccessColor{0, 255, 0, 255};
inline constexpr FColorBytes FailureColor{0, 0, 255, 255};

void SendConsoleReply(APlayerController* player, FString& message, FColorBytes color);
void SendRconReply(RCONClientConnection* connection, const RCONPacket* request, FString& message);

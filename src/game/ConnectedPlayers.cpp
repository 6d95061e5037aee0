#include "game/ConnectedPlayers.h"

#include <string>

std::size_t ConnectedPlayers() {
    std::size_t connected = 0;
    ForEachConnectedPlayer([&connected](AShooterPlayerController*) { ++connected; });
    return connected;
}

std::optional<FWeakObjectPtr> ConnectionOf(AShooterPlayerController* player) {
    std::optional<FWeakObjectPtr> found;
    ForEachConnectedEntry([&](AShooterPlayerController* connected, const FWeakObjectPtr& entry) {
        if (connected == player && !found) {
            found = entry;
        }
    });
    return found;
}

void SendChatLine(AShooterPlayerController* player, std::string_view sender, std::string_view text) {
    FChatMessageRecord record;
    record.SenderName = FString::FromUtf8(std::string(sender));
    record.Message = FString::FromUtf8(std::string(text));
    GameFunction<void(AShooterPlayerController*, FChatMessageRecord)>("AShooterPlayerController.ClientChatMessage")(
        player, record);
}

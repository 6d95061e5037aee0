#pragma once
// The players connected to the server, as the world's player list gives them,
// and a chat line to one of them.

#include <cstddef>
#include <optional>
#include <string_view>

#include "game/GameTypes.h"

// Calls deliver(player, entry) for every entry of the world's player list
// whose weak reference still gives a controller, in the list's order.
template <typename Deliver>
void ForEachConnectedEntry(Deliver&& deliver) {
    UWorld* world = ArkApi::GetApiUtils().QueryWorld();
    if (world == nullptr) {
        return;
    }
    const auto& players = GameField<TGameArray<FWeakObjectPtr>>(world, "UWorld.PlayerControllerList");
    for (const FWeakObjectPtr& element : players) {
        FWeakObjectPtr reference = element;
        auto* player =
            GameFunction<AShooterPlayerController*(FWeakObjectPtr*, bool)>("FWeakObjectPtr.Get")(&reference, false);
        if (player != nullptr) {
            deliver(player, element);
        }
    }
}

// Calls deliver(player) for every connected player, in the list's order.
template <typename Deliver>
void ForEachConnectedPlayer(Deliver&& deliver) {
    ForEachConnectedEntry([&deliver](AShooterPlayerController* player, const FWeakObjectPtr&) { deliver(player); });
}

// The player's entry in the world's player list, none when it has none. Its
// weak reference names this connection alone: the game never gives a later
// object the same index and serial number.
std::optional<FWeakObjectPtr> ConnectionOf(AShooterPlayerController* player);

// The players connected now (a player who left is not).
std::size_t ConnectedPlayers();

// A chat line to one player from sender.
void SendChatLine(AShooterPlayerController* player, std::string_view sender, std::string_view text);

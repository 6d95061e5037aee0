#pragma once
// Delivering an announcement to the players: every connected player who hears
// its group, or one admin alone.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "announce/Announcement.h"
#include "game/GameTypes.h"

// How many lines a broadcast delivered, and how many players' choices kept back.
struct DeliveryCount {
    std::size_t delivered = 0;
    std::size_t notSent = 0;
};

// Sends the announcement to every connected player who hears its group, as
// an on-screen notification or a chat line, as its delivery says.
DeliveryCount Broadcast(const Announcement& announcement);

// The same delivery to one player alone: a "Random" colour is drawn once.
void SendToPlayer(AShooterPlayerController* player, const Announcement& announcement);

// What each player would receive, in one line: Notification "TEXT" colour
// R,G,B size S time T (colour "Random" when drawn for each), or Chat from
// SENDER: "TEXT". The text is the one players get, decoded from UTF-8 and
// ended at a zero character as the game's string ends.
std::string DescribeAnnouncement(const Announcement& announcement);

// "Random", or "R,G,B" in decimal; anything else is green.
FColorBytes ParseColorText(std::string_view text);

#pragma once
// Delivering one announcement to every connected player.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "announce/Templates.h"
#include "game/GameTypes.h"

// The entry an announcement is made from, whose group is named only when
// some player has turned a group off: an Items entry with its key, or
// AsteroidGen2 (no key).
struct EntryGroup {
    const nlohmann::json* owner = nullptr;
    std::optional<std::string_view> itemKey;
    std::string_view Name() const;
};

// Fills the template's Msg and sends it to every connected player who hears
// the entry's group, as an on-screen notification or a chat line, as the
// template chooses (SentOnScreen). A template that is not an object, or has
// no Msg, sends nothing: false.
bool Broadcast(const nlohmann::json& notificationTemplate, ReplacementList replacements, const EntryGroup& group);

// What the broadcasts delivered since load, for SkyCrateHerald.Status. A
// digest's delivery is told apart by digest, set while one is sent.
struct DeliveryTally {
    bool digest = false;
    std::int64_t announcements = 0;
    std::int64_t digests = 0;
    std::int64_t lines = 0;  // of announcements
    std::int64_t notSentByChoices = 0;
};
extern DeliveryTally Delivered;

// The players connected now (a player who left is not).
std::size_t ConnectedPlayers();

// A chat line to one player from sender.
void SendChatLine(AShooterPlayerController* player, std::string_view sender, std::string_view text);

// The same delivery to one player alone: a "Random" colour is drawn once.
void SendToPlayer(AShooterPlayerController* player, const nlohmann::json& notificationTemplate,
                  ReplacementList replacements);

// What each player would receive, in one line: Notification "TEXT" colour
// R,G,B size S time T (colour "Random" when drawn for each), or Chat from
// SENDER: "TEXT". The text is the one players get, decoded from UTF-8 and
// ended at a zero character as the game's string ends. None when nothing
// would be sent. Raises where the delivery would.
std::optional<std::string> DescribeAnnouncement(const nlohmann::json& notificationTemplate,
                                                ReplacementList replacements);

// "Random", or "R,G,B" in decimal; anything else is green.
FColorBytes ParseColorText(std::string_view text);


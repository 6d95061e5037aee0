#include "announce/Broadcast.h"

#include <cstdlib>
#include <optional>
#include <string_view>

#include "config/DeliveryValues.h"
#include "config/PlayersReaders.h"
#include "game/ConnectedPlayers.h"
#include "players/Players.h"

namespace {

// Calls deliver(player) for the one player given.
struct OnePlayer {
    AShooterPlayerController* player;
    template <typename Deliver>
    void operator()(Deliver&& deliver) const {
        deliver(player);
    }
};

// Every connected player who hears the group; a player's id is read only
// once some player has made a choice.
// Counts the lines it delivers and those players' choices keep back.
struct EveryConnectedPlayer {
    std::string_view group;
    DeliveryCount& count;
    template <typename Deliver>
    void operator()(Deliver&& deliver) const {
        if (!SomePlayerChose()) {
            ForEachConnectedPlayer([&](AShooterPlayerController* player) {
                ++count.delivered;
                deliver(player);
            });
            return;
        }
        const std::string folded = GroupFold(group);
        ForEachConnectedPlayer([&](AShooterPlayerController* player) {
            if (PlayerHears(player, folded)) {
                ++count.delivered;
                deliver(player);
            } else {
                ++count.notSent;
            }
        });
    }
};

template <typename Recipients>
void SendNotifications(const Announcement& announcement, FString& text, const Recipients& recipients) {
    // The colour is worked out at the first recipient: with nobody connected
    // it is not. Only "Random" is drawn anew for each recipient, and only
    // there: its three draws per recipient are all the random numbers a
    // broadcast takes.
    const Delivery& delivery = *announcement.delivery;
    const float time = DeliveredDisplayTime(delivery.time);
    bool first = true;
    bool random = false;
    FColorLinear fixedColor{};
    recipients([&](AShooterPlayerController* player) {
        if (first) {
            first = false;
            random = announcement.color == RandomColorText;
            if (!random) {
                fixedColor = LinearColor(ParseColorText(announcement.color));
            }
        }
        const FColorLinear color = random ? LinearColor(ParseColorText(RandomColorText)) : fixedColor;
        GameFunction<void(AShooterPlayerController*, FString*, FColorLinear, float, float, void*, void*)>(
            "AShooterPlayerController.ClientServerSOTFNotificationCustom")(player, &text, color, delivery.size, time,
                                                                           nullptr, nullptr);
    });
}

template <typename Recipients>
void SendChatLines(const Announcement& announcement, FString& text, const Recipients& recipients) {
    FChatMessageRecord record;
    record.SenderName = FString::FromUtf8(announcement.delivery->sender);
    record.Message = text;
    recipients([&](AShooterPlayerController* player) {
        GameFunction<void(AShooterPlayerController*, FChatMessageRecord)>("AShooterPlayerController.ClientChatMessage")(
            player, record);
    });
}

template <typename Recipients>
void Deliver(const Announcement& announcement, const Recipients& recipients) {
    FString text = FString::FromUtf8(*announcement.text);
    if (announcement.delivery->onScreen) {
        SendNotifications(announcement, text, recipients);
    } else {
        SendChatLines(announcement, text, recipients);
    }
}

}  // namespace

DeliveryCount Broadcast(const Announcement& announcement) {
    DeliveryCount count;
    Deliver(announcement, EveryConnectedPlayer{announcement.group, count});
    return count;
}

void SendToPlayer(AShooterPlayerController* player, const Announcement& announcement) {
    Deliver(announcement, OnePlayer{player});
}

std::string DescribeAnnouncement(const Announcement& announcement) {
    const std::string shown = "\"" + FString::FromUtf8(*announcement.text).ToUtf8() + "\"";
    const Delivery& delivery = *announcement.delivery;
    if (!delivery.onScreen) {
        return "Chat from " + FString::FromUtf8(delivery.sender).ToUtf8() + ": " + shown;
    }
    std::string color(RandomColorText);
    if (announcement.color != RandomColorText) {
        const FColorBytes bytes = ParseColorText(announcement.color);
        color = std::to_string(bytes.R) + "," + std::to_string(bytes.G) + "," + std::to_string(bytes.B);
    }
    return "Notification " + shown + " colour " + color + " size " + FloatText(delivery.size) + " time " +
           DeliveredDisplayTimeText(delivery.time);
}

FColorBytes ParseColorText(std::string_view text) {
    const ColorReading reading = ReadColorText(text);
    if (reading.random) {
        // Drawn in this order: blue, green, red.
        const auto blue = static_cast<uint8_t>(std::rand() % 256);
        const auto green = static_cast<uint8_t>(std::rand() % 256);
        const auto red = static_cast<uint8_t>(std::rand() % 256);
        return {blue, green, red, 255};
    }
    if (!reading.isColor) {
        return GreenColor;  // and still sent
    }
    return {ColorChannel(reading.numbers[2]), ColorChannel(reading.numbers[1]), ColorChannel(reading.numbers[0]), 255};
}

#include "announce/Broadcast.h"

#include <cstdlib>
#include <optional>
#include <string_view>

#include "config/ConfigKeys.h"
#include "config/ConfigReaders.h"
#include "config/PlayersReaders.h"
#include "config/DeliveryValues.h"
#include "players/Players.h"
#include "relay/Relay.h"

DeliveryTally Delivered;

namespace {

using Json = nlohmann::json;

// Calls deliver(player) for every element of the world's player list whose
// weak reference still gives a controller, in the list's order.
template <typename Deliver>
void ForEachConnectedPlayer(Deliver&& deliver) {
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
            deliver(player);
        }
    }
}

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
    const EntryGroup& group;
    std::size_t& delivered;
    std::size_t& notSent;
    template <typename Deliver>
    void operator()(Deliver&& deliver) const {
        if (!SomePlayerChose()) {
            ForEachConnectedPlayer([&](AShooterPlayerController* player) {
                ++delivered;
                deliver(player);
            });
            return;
        }
        const std::string folded = GroupFold(group.Name());
        ForEachConnectedPlayer([&](AShooterPlayerController* player) {
            if (PlayerHears(player, folded)) {
                ++delivered;
                deliver(player);
            } else {
                ++notSent;
            }
        });
    }
};

template <typename Recipients>
void SendNotifications(const Json& notificationTemplate, FString& text, const Recipients& recipients) {
    // Time, Size and Color are read once, at the first recipient: they are the
    // same for everyone, and with nobody connected they are not read at all.
    // Only "Random" is drawn anew for each recipient, and only there: its
    // three draws per recipient are all the random numbers a broadcast takes.
    std::optional<float> time;
    float size = 0.0f;
    bool random = false;
    FColorLinear fixedColor{};
    recipients([&](AShooterPlayerController* player) {
        if (!time) {
            time = DeliveredDisplayTime(DisplayTimeOf(notificationTemplate));
            size = DisplaySizeOf(notificationTemplate);
            std::string spare;
            const std::string_view colorText = ColorTextOf(notificationTemplate, spare);
            random = colorText == RandomColorText;
            if (!random) {
                fixedColor = LinearColor(ParseColorText(colorText));
            }
        }
        const FColorLinear color = random ? LinearColor(ParseColorText(RandomColorText)) : fixedColor;
        GameFunction<void(AShooterPlayerController*, FString*, FColorLinear, float, float, void*, void*)>(
            "AShooterPlayerController.ClientServerSOTFNotificationCustom")(player, &text, color, size, *time,
                                                                           nullptr, nullptr);
    });
}

template <typename Recipients>
void SendChatLines(const Json& notificationTemplate, FString& text, const Recipients& recipients) {
    FChatMessageRecord record;
    record.SenderName = FString::FromUtf8(SenderOf(notificationTemplate));
    record.Message = text;
    recipients([&](AShooterPlayerController* player) {
        GameFunction<void(AShooterPlayerController*, FChatMessageRecord)>("AShooterPlayerController.ClientChatMessage")(
            player, record);
    });
}

}  // namespace

namespace {

// The last message filled, in storage kept from one announcement to the
// next: its text is needed only until it is the game's string, and by the
// relay.
std::string FilledText;

// The message as every recipient gets it, or none when there is nothing to
// send; FilledText holds it as filled.
std::optional<FString> AnnouncementText(const Json& notificationTemplate, ReplacementList replacements) {
    if (!notificationTemplate.is_object()) {
        return std::nullopt;
    }
    std::string spareMessage;
    const std::string_view message = MessageOf(notificationTemplate, spareMessage);
    if (message.empty()) {
        return std::nullopt;
    }
    FillTemplateInto(FilledText, message, replacements);
    return FString::FromUtf8(FilledText);
}

template <typename Recipients>
void DeliverText(const Json& notificationTemplate, FString& text, const Recipients& recipients) {
    if (SentOnScreen(notificationTemplate)) {
        SendNotifications(notificationTemplate, text, recipients);
    } else {
        SendChatLines(notificationTemplate, text, recipients);
    }
}

}  // namespace

std::string_view EntryGroup::Name() const {
    return itemKey ? GroupOf(*owner, *itemKey) : AsteroidGroupOf(*owner);
}

bool Broadcast(const Json& notificationTemplate, ReplacementList replacements, const EntryGroup& group) {
    std::optional<FString> text = AnnouncementText(notificationTemplate, replacements);
    if (!text) {
        return false;
    }
    std::size_t delivered = 0;
    std::size_t notSent = 0;
    DeliverText(notificationTemplate, *text, EveryConnectedPlayer{group, delivered, notSent});
    if (Relaying) {
        RelayAnnouncement(FilledText, group);
    }
    if (Delivered.digest) {
        ++Delivered.digests;
    } else {
        ++Delivered.announcements;
        Delivered.lines += static_cast<std::int64_t>(delivered);
    }
    Delivered.notSentByChoices += static_cast<std::int64_t>(notSent);
    return true;
}

std::size_t ConnectedPlayers() {
    std::size_t connected = 0;
    ForEachConnectedPlayer([&connected](AShooterPlayerController*) { ++connected; });
    return connected;
}

void SendChatLine(AShooterPlayerController* player, std::string_view sender, std::string_view text) {
    FChatMessageRecord record;
    record.SenderName = FString::FromUtf8(std::string(sender));
    record.Message = FString::FromUtf8(std::string(text));
    GameFunction<void(AShooterPlayerController*, FChatMessageRecord)>("AShooterPlayerController.ClientChatMessage")(
        player, record);
}

void SendToPlayer(AShooterPlayerController* player, const Json& notificationTemplate, ReplacementList replacements) {
    std::optional<FString> text = AnnouncementText(notificationTemplate, replacements);
    if (text) {
        DeliverText(notificationTemplate, *text, OnePlayer{player});
    }
}

// Read in the order a delivery to one recipient reads: Msg, Type, then Time,
// Size and Color, or Sender; a value of the wrong type raises here as it
// would there.
std::optional<std::string> DescribeAnnouncement(const Json& notificationTemplate, ReplacementList replacements) {
    const std::optional<FString> text = AnnouncementText(notificationTemplate, replacements);
    if (!text) {
        return std::nullopt;
    }
    const std::string shown = "\"" + text->ToUtf8() + "\"";
    if (!SentOnScreen(notificationTemplate)) {
        const FString sender = FString::FromUtf8(SenderOf(notificationTemplate));
        return "Chat from " + sender.ToUtf8() + ": " + shown;
    }
    const std::string time = DeliveredDisplayTimeText(DisplayTimeOf(notificationTemplate));
    const float size = DisplaySizeOf(notificationTemplate);
    std::string spare;
    const std::string_view colorText = ColorTextOf(notificationTemplate, spare);
    std::string color(RandomColorText);
    if (colorText != RandomColorText) {
        const FColorBytes bytes = ParseColorText(colorText);
        color = std::to_string(bytes.R) + "," + std::to_string(bytes.G) + "," + std::to_string(bytes.B);
    }
    return "Notification " + shown + " colour " + color + " size " + FloatText(size) + " time " + time;
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

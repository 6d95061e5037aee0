#include "announce/Broadcast.h"

#include <cstdlib>
#include <optional>
#include <string_view>

#include "config/ConfigKeys.h"
#include "config/ConfigReaders.h"

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

void SendNotifications(const Json& notificationTemplate, FString& text) {
    // Time, Size and Color are read once, at the first recipient: they are the
    // same for everyone, and with nobody connected they are not read at all.
    // Only "Random" is drawn anew for each recipient, and only there: its
    // three draws per recipient are all the random numbers a broadcast takes.
    std::optional<float> time;
    float size = 0.0f;
    bool random = false;
    FColorLinear fixedColor{};
    ForEachConnectedPlayer([&](AShooterPlayerController* player) {
        if (!time) {
            time = static_cast<float>(DisplayTimeOf(notificationTemplate));
            size = DisplaySizeOf(notificationTemplate);
            std::string spare;
            const std::string_view colorText = ReadText(notificationTemplate, "Color", DefaultColorText, spare);
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

void SendChatLines(const Json& notificationTemplate, FString& text) {
    FChatMessageRecord record;
    record.SenderName = FString::FromUtf8(notificationTemplate.value("Sender", std::string(DefaultSender)));
    record.Message = text;
    ForEachConnectedPlayer([&](AShooterPlayerController* player) {
        GameFunction<void(AShooterPlayerController*, FChatMessageRecord)>("AShooterPlayerController.ClientChatMessage")(
            player, record);
    });
}

}  // namespace

std::string_view ReadText(const Json& object, std::string_view key, std::string_view fallback, std::string& spare) {
    if (object.is_object()) {
        const auto found = object.find(key);
        if (found == object.end()) {
            return fallback;
        }
        if (found->is_string()) {
            return found->get_ref<const std::string&>();
        }
    }
    // Not an object, or no text there: value() raises exactly as it always has.
    spare = object.value(key, std::string(fallback));
    return spare;
}

void Broadcast(const Json& notificationTemplate, ReplacementList replacements) {
    if (!notificationTemplate.is_object()) {
        return;
    }
    std::string spareMessage;
    const std::string_view message = ReadText(notificationTemplate, "Msg", {}, spareMessage);
    if (message.empty()) {
        return;
    }
    // Filled in storage kept from one announcement to the next: its text is
    // needed only until it is the game's string.
    static std::string filled;
    FillTemplateInto(filled, message, replacements);
    FString text = FString::FromUtf8(filled);
    std::string spareType;
    if (ReadText(notificationTemplate, "Type", DefaultType, spareType) == NotificationType) {
        SendNotifications(notificationTemplate, text);
    } else {
        SendChatLines(notificationTemplate, text);
    }
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

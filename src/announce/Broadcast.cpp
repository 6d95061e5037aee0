#include "announce/Broadcast.h"

#include <algorithm>
#include <cstdlib>
#include <cwctype>
#include <limits>
#include <optional>
#include <string_view>

namespace {

using Json = nlohmann::json;

constexpr char RandomColorText[] = "Random";

// One colour number as stoi reads wide text: leading blanks, a sign, decimal
// digits up to the first other character; no digits or beyond 32 bits fails.
// The piece is narrow text: a byte above ASCII, a "?" in the game's string,
// is no blank, sign or digit either.
std::optional<int32_t> ReadColorNumber(std::string_view piece) {
    std::size_t at = 0;
    // A digit is no blank in any locale: the usual first character needs no call.
    while (at < piece.size() && (piece[at] < '0' || piece[at] > '9') &&
           static_cast<unsigned char>(piece[at]) < 128 && std::iswspace(static_cast<wint_t>(piece[at]))) {
        ++at;
    }
    bool negative = false;
    if (at < piece.size() && (piece[at] == '+' || piece[at] == '-')) {
        negative = piece[at] == '-';
        ++at;
    }
    int64_t value = 0;
    const std::size_t digitsStart = at;
    for (; at < piece.size() && piece[at] >= '0' && piece[at] <= '9'; ++at) {
        value = value * 10 + (piece[at] - '0');
        if (value > int64_t{INT32_MAX} + 1) {
            return std::nullopt;
        }
    }
    if (at == digitsStart) {
        return std::nullopt;
    }
    value = negative ? -value : value;
    if (value > INT32_MAX || value < INT32_MIN) {
        return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

// Time as the library reads a 32-bit integer (fraction dropped toward zero,
// true is 1), except that a number beyond the 32-bit range, whole or not,
// saturates to INT32_MAX or INT32_MIN instead of wrapping or going through an
// undefined conversion.
int32_t ReadDisplayTime(const Json& notificationTemplate) {
    const auto found = notificationTemplate.find("Time");
    if (found != notificationTemplate.end()) {
        if (found->is_number_unsigned()) {
            return static_cast<int32_t>(std::min<uint64_t>(found->get<uint64_t>(), INT32_MAX));
        }
        if (found->is_number_integer()) {
            return static_cast<int32_t>(std::clamp<int64_t>(found->get<int64_t>(), INT32_MIN, INT32_MAX));
        }
        if (found->is_number_float()) {
            const double time = found->get<double>();
            if (time >= 2147483648.0) {
                return INT32_MAX;
            }
            if (time < -2147483648.0) {
                return INT32_MIN;
            }
        }
    }
    return notificationTemplate.value("Time", 10);
}

// Size as the library reads a double, narrowed to the game's float: a value
// beyond the float range saturates to the largest finite float of its sign
// instead of going through an undefined conversion; every value within it
// converts as before.
float ReadDisplaySize(const Json& notificationTemplate) {
    constexpr double largest = std::numeric_limits<float>::max();
    return static_cast<float>(std::clamp(notificationTemplate.value("Size", 1.2), -largest, largest));
}

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
            time = static_cast<float>(ReadDisplayTime(notificationTemplate));
            size = ReadDisplaySize(notificationTemplate);
            std::string spare;
            const std::string_view colorText = ReadText(notificationTemplate, "Color", {}, spare);
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
    record.SenderName = FString::FromUtf8(notificationTemplate.value("Sender", std::string("Server")));
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
    if (ReadText(notificationTemplate, "Type", "Notification", spareType) == "Notification") {
        SendNotifications(notificationTemplate, text);
    } else {
        SendChatLines(notificationTemplate, text);
    }
}

FColorBytes ParseColorText(std::string_view text) {
    if (text == RandomColorText) {
        // Drawn in this order: blue, green, red.
        const auto blue = static_cast<uint8_t>(std::rand() % 256);
        const auto green = static_cast<uint8_t>(std::rand() % 256);
        const auto red = static_cast<uint8_t>(std::rand() % 256);
        return {blue, green, red, 255};
    }
    // The pieces between commas, empty ones skipped, read where they stand:
    // the same pieces a split of the game's string gives, without making one.
    const std::string_view all = text.substr(0, text.find('\0'));  // a zero ends the text, as in the game's string
    std::string_view pieces[3];
    std::size_t found = 0;
    for (std::size_t start = 0; start < all.size() && found < 3;) {
        const std::size_t comma = std::min(all.find(',', start), all.size());
        if (comma > start) {
            pieces[found++] = all.substr(start, comma - start);
        }
        start = comma + 1;
    }
    // Fewer than three numbers is no colour either: green, and still sent.
    if (found < 3) {
        return GreenColor;
    }
    const std::optional<int32_t> red = ReadColorNumber(pieces[0]);
    const std::optional<int32_t> green = ReadColorNumber(pieces[1]);
    const std::optional<int32_t> blue = ReadColorNumber(pieces[2]);
    if (!red || !green || !blue) {
        return GreenColor;
    }
    return {static_cast<uint8_t>(*blue & 0xFF), static_cast<uint8_t>(*green & 0xFF), static_cast<uint8_t>(*red & 0xFF),
            255};
}

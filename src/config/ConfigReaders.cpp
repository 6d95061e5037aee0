#include "config/ConfigReaders.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>
#include <vector>

#include "config/ConfigKeys.h"
#include "config/DeliveryValues.h"
#include "config/ItemNames.h"
#include "config/NearMisses.h"

using Json = nlohmann::json;

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool ContainsIgnoringCase(std::string_view text, std::string_view fragment) {
    const auto same = [](char a, char b) { return LowerAscii(a) == LowerAscii(b); };
    return std::search(text.begin(), text.end(), fragment.begin(), fragment.end(), same) != text.end();
}

namespace {

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Blanks, digits, blanks: a colour number as an admin writes one.
bool IsPlainNumber(std::string_view piece) {
    const std::size_t at = std::min(piece.find_first_not_of(' '), piece.size());
    const std::size_t digits = std::min(piece.find_first_not_of("0123456789", at), piece.size());
    return digits > at && piece.find_first_not_of(' ', digits) == std::string_view::npos;
}

// One colour number as the runtime reads wide text into an int, from at:
// leading blanks, a sign, decimal digits up to the first other character
// (where at is left); no digits, or beyond 32 bits, fails.
std::optional<std::int32_t> ReadColorNumber(const char*& at, const char* end) {
    while (at != end && IsBlank(*at)) {
        ++at;
    }
    bool negative = false;
    if (at != end && (*at == '+' || *at == '-')) {
        negative = *at == '-';
        ++at;
    }
    const char* const first = at;
    std::int64_t value = 0;
    for (; at != end && *at >= '0' && *at <= '9'; ++at) {
        value = value * 10 + (*at - '0');
        if (value > std::int64_t{INT32_MAX} + 1) {
            return std::nullopt;
        }
    }
    value = negative ? -value : value;
    if (at == first || value > INT32_MAX || value < INT32_MIN) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace

const Json& Member(const Json& container, std::string_view key) {
    static const Json absent;
    if (container.is_object()) {
        const auto found = container.find(key);
        return found == container.end() ? absent : *found;
    }
    if (container.is_null()) {
        return absent;
    }
    return container[std::string(key)];
}

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

const Json& ItemsOf(const Json& document) { return Member(document, Key::Items); }

const Json& ItemEntry(const Json& document, std::string_view itemKey) { return Member(ItemsOf(document), itemKey); }

const Json& AsteroidsOf(const Json& document) { return Member(document, Key::AsteroidGen2); }

const Json& NotificationOf(const Json& owner) { return Member(owner, Key::Notification); }

bool NestsExamined(const Json& document) { return document.value(Key::EnableNests, DefaultEnableNests); }

bool IsExamined(bool itemContainer, const Json& document) { return itemContainer || NestsExamined(document); }

bool AsteroidsEnabled(const Json& asteroids) { return asteroids.value(Key::Enable, DefaultAsteroidsEnabled); }

bool SentOnScreen(const Json& notificationTemplate) {
    std::string spare;
    return ReadText(notificationTemplate, Key::Type, DefaultType, spare) == NotificationType;
}

std::string_view ItemName(const Json& entry, std::string_view itemKey, std::string& spare) {
    return ReadText(entry, Key::Name, itemKey, spare);
}

std::string_view MessageOf(const Json& notificationTemplate, std::string& spare) {
    return ReadText(notificationTemplate, Key::Msg, {}, spare);
}

std::string_view ColorTextOf(const Json& notificationTemplate, std::string& spare) {
    return ReadText(notificationTemplate, Key::Color, DefaultColorText, spare);
}

std::string SenderOf(const Json& notificationTemplate) {
    return notificationTemplate.value(Key::Sender, std::string(DefaultSender));
}

AsteroidValues AsteroidValuesOf(const Json& asteroids, const std::string& code) {
    AsteroidValues values;
    values.color = Member(asteroids, Key::Color).value(code, std::string(DefaultAsteroidColor));
    values.name = Member(asteroids, Key::Name).value(code, code);
    values.primaryResources = Member(asteroids, Key::PrimaryResources).value(code, std::string());
    values.secondaryResources = Member(asteroids, Key::SecondaryResources).value(code, std::string());
    return values;
}

Json AsteroidTemplate(const Json& asteroids, const std::string& color) {
    // Without a Notification there is nothing to colour, and nothing is sent;
    // any other kind of value still raises here, as a lookup on it would.
    Json notification = NotificationOf(asteroids);
    if (!notification.is_null()) {
        notification[std::string(Key::Color)] = color;
    }
    return notification;
}

// KEY_1 is cut back to KEY exactly when KEY holds no "_C_" and ends in "_C":
// that last "_C" and the "_" after it are the name's first "_C_".
bool IsItemKeyOfSomeName(std::string_view key) {
    return CanBeItemKey(key) && key.size() >= ItemKeyEndLength && key[key.size() - 2] == '_' &&
           LowerAscii(key.back()) == 'c';
}

KeyFragments FindKeyFragments(std::string_view key) {
    KeyFragments found;
    found.ocean = ContainsIgnoringCase(key, OceanCrateName);
    found.nest = ContainsIgnoringCase(key, NestFragment);
    found.container = std::any_of(HuntedFragments.begin(), HuntedFragments.end(), [key](std::string_view fragment) {
        return fragment != NestFragment && ContainsIgnoringCase(key, fragment);
    });
    found.hunted = found.nest || found.container;
    return found;
}

std::optional<std::string_view> AsteroidCode(std::string_view itemKey) {
    if (itemKey.size() < AsteroidCodeStart) {
        return std::nullopt;
    }
    const std::size_t suffix = itemKey.size() >= AsteroidCodeStart + 2 ? 2 : 0;
    return itemKey.substr(AsteroidCodeStart, itemKey.size() - AsteroidCodeStart - suffix);
}

std::string AsteroidCodeAsSpawned(std::string_view code) {
    std::string name(SpaceCrateNamePrefix);
    name += code;
    name += "_C_1";
    const std::string_view key =
        std::string_view(name).substr(0, FindItemKeyEnd(std::string_view(name)) + ItemKeyEndLength);
    return std::string(AsteroidCode(key).value_or(std::string_view()));
}

bool HasAsteroidCode(const Json& asteroids, std::string_view code) {
    if (!asteroids.is_object()) {
        return false;
    }
    return std::ranges::any_of(AsteroidCodeMaps(), [&](std::string_view map) {
        const auto found = asteroids.find(map);
        return found != asteroids.end() && found->is_object() && found->contains(code);
    });
}

ColorReading ReadColorText(std::string_view text) {
    ColorReading reading;
    if (text == RandomColorText) {
        reading.isColor = reading.random = true;
        return reading;
    }
    // One pass, as a colour is read on every announcement: pieces between
    // commas, empty ones skipped, only the first three numbers read, and the
    // rest of a piece after its number ignored. The game's text ends at a zero.
    const char* at = text.data();
    const char* const end = at + text.size();
    const auto ended = [&at, end] { return at == end || *at == '\0'; };
    std::size_t found = 0;
    while (found < 3 && !ended()) {
        if (*at == ',') {
            ++at;
            continue;
        }
        const std::optional<std::int32_t> number = ReadColorNumber(at, end);
        if (!number) {
            return reading;
        }
        reading.numbers[found++] = *number;
        while (!ended() && *at != ',') {
            ++at;
        }
    }
    reading.isColor = found == 3;
    return reading;
}

bool IsPlainColorText(std::string_view text) {
    if (text == RandomColorText) {
        return true;
    }
    text = text.substr(0, text.find('\0'));
    std::size_t pieces = 0;
    for (std::size_t start = 0; start <= text.size(); ++pieces) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        if (!IsPlainNumber(text.substr(start, comma - start))) {
            return false;
        }
        start = comma + 1;
    }
    return pieces == 3;
}

DisplayTime ReadDisplayTime(const Json& time) {
    using Note = DisplayTime::Note;
    if (time.is_boolean()) {
        return {time.get<bool>() ? 1 : 0, Note::Boolean};
    }
    if (time.is_number_unsigned()) {
        const auto number = time.get<std::uint64_t>();
        return number > INT32_MAX ? DisplayTime{INT32_MAX, Note::Saturated}
                                  : DisplayTime{static_cast<std::int32_t>(number), Note::Exact};
    }
    if (time.is_number_integer()) {
        const auto number = time.get<std::int64_t>();
        return number < INT32_MIN   ? DisplayTime{INT32_MIN, Note::Saturated}
               : number > INT32_MAX ? DisplayTime{INT32_MAX, Note::Saturated}
                                    : DisplayTime{static_cast<std::int32_t>(number), Note::Exact};
    }
    if (time.is_number_float()) {
        const double number = time.get<double>();
        if (number >= 2147483648.0) {
            return {INT32_MAX, Note::Saturated};
        }
        if (number < -2147483648.0) {
            return {INT32_MIN, Note::Saturated};
        }
        const auto value = static_cast<std::int32_t>(number);
        return {value, value == number ? Note::Exact : Note::Fraction};
    }
    // Any other type: the library's own error for a 32-bit integer.
    return {time.get<std::int32_t>(), Note::Exact};
}

std::int32_t DisplayTimeOf(const Json& notificationTemplate) {
    const auto found = notificationTemplate.find(Key::Time);
    return found == notificationTemplate.end() ? DefaultDisplayTime : ReadDisplayTime(*found).value;
}

std::string DeliveredDisplayTimeText(std::int32_t time) {
    return std::to_string(static_cast<std::int64_t>(DeliveredDisplayTime(time)));
}

DisplaySize ReadDisplaySize(const Json& size) {
    constexpr double largest = FLT_MAX;
    const double number = size.get<double>();  // the library's error for what is not a number, true included
    return {static_cast<float>(std::clamp(number, -largest, largest)), std::fabs(number) > largest};
}

float DisplaySizeOf(const Json& notificationTemplate) {
    const auto found = notificationTemplate.find(Key::Size);
    return found == notificationTemplate.end() ? static_cast<float>(DefaultDisplaySize) : ReadDisplaySize(*found).value;
}

std::string FloatText(float value) {
    char text[32];
    const std::to_chars_result written = std::to_chars(text, text + sizeof text, value);
    return std::string(text, written.ptr);
}

bool IsDeliveredAsWritten(double written) {
    if (!std::isfinite(written) || std::fabs(written) > FLT_MAX) {
        return false;
    }
    const std::string text = FloatText(static_cast<float>(written));
    double reread = 0;
    std::from_chars(text.data(), text.data() + text.size(), reread);
    return reread == written;
}

// Only the cells within limit of the diagonal can stay within limit, so each
// row is computed across that band alone; the cells just outside it are set
// beyond the limit, which is all a neighbouring row reads of them.
std::size_t EditDistance(std::string_view a, std::string_view b, std::size_t limit) {
    if (a.size() < b.size()) {
        std::swap(a, b);
    }
    if (a.size() - b.size() > limit) {
        return limit + 1;
    }
    const std::size_t beyond = limit + 1;
    const auto same = [](char x, char y) { return LowerAscii(x) == LowerAscii(y); };
    std::vector<std::size_t> beforePrevious(b.size() + 1, beyond);
    std::vector<std::size_t> previous(b.size() + 1, beyond);
    std::vector<std::size_t> current(b.size() + 1, beyond);
    for (std::size_t j = 0; j <= std::min(b.size(), limit); ++j) {
        previous[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        const std::size_t first = i > limit ? i - limit : 1;
        const std::size_t last = std::min(b.size(), i + limit);
        current[0] = std::min(i, beyond);
        current[first - 1] = first == 1 ? current[0] : beyond;
        std::size_t rowLeast = current[first - 1];
        for (std::size_t j = first; j <= last; ++j) {
            const std::size_t change = same(a[i - 1], b[j - 1]) ? 0 : 1;
            std::size_t cell = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + change});
            if (i > 1 && j > 1 && same(a[i - 1], b[j - 2]) && same(a[i - 2], b[j - 1])) {
                cell = std::min(cell, beforePrevious[j - 2] + 1);
            }
            current[j] = std::min(cell, beyond);
            rowLeast = std::min(rowLeast, current[j]);
        }
        if (last + 1 <= b.size()) {
            current[last + 1] = beyond;
        }
        if (rowLeast > limit) {
            return beyond;
        }
        std::swap(beforePrevious, previous);
        std::swap(previous, current);
    }
    return std::min(previous[b.size()], beyond);
}

std::size_t NearMissLimit(std::string_view known) { return std::clamp<std::size_t>(known.size() / 3, 1, 3); }

bool NearMissSearch::Offer(std::string_view known) {
    if (spent_) {
        return false;
    }
    const std::size_t limit = NearMissLimit(known);
    const std::size_t apart =
        typed_.size() > known.size() ? typed_.size() - known.size() : known.size() - typed_.size();
    if (known.size() > NearMissLengthLimit || apart > limit) {
        return true;
    }
    // The band's cells: a row for each unit of the longer text.
    work_ += (std::max(typed_.size(), known.size()) + 1) * (2 * limit + 1);
    if (work_ > NearMissWorkLimit) {
        spent_ = true;
        return false;
    }
    const std::size_t distance = EditDistance(typed_, known, limit);
    if (distance <= limit && distance < nearestDistance_) {
        nearest_ = known;
        nearestDistance_ = distance;
    }
    return true;
}

std::optional<std::string_view> NearestKnown(std::string_view typed, std::span<const std::string_view> known) {
    NearMissSearch search(typed);
    for (const std::string_view candidate : known) {
        if (!search.Offer(candidate)) {
            break;
        }
    }
    return search.Nearest();
}

std::optional<std::string_view> NearestAsteroidCode(const Json& asteroids, std::string_view typed) {
    NearMissSearch search(typed);
    if (asteroids.is_object()) {
        for (const std::string_view map : AsteroidCodeMaps()) {
            const auto found = asteroids.find(map);
            if (found == asteroids.end() || !found->is_object()) {
                continue;
            }
            for (const auto& [code, value] : found->items()) {
                if (!search.Offer(code)) {
                    return search.Nearest();
                }
            }
        }
    }
    return search.Nearest();
}

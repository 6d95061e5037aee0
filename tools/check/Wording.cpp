#include "check/Wording.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "common/Output.h"
#include "config/ConfigReaders.h"
#include "config/DeliveryValues.h"
#include "config/ItemNames.h"
#include "config/Placeholders.h"
#include "config/RelayReaders.h"

namespace Herald {

namespace {

using Json = nlohmann::json;

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(char a, char b) { return LowerAscii(a) == LowerAscii(b); }

std::string Article(std::string_view type) {
    return (type == "object" || type == "array" ? "an " : "a ") + std::string(type);
}

// "null" stands alone.
std::string ArticleType(const Json& value) { return value.is_null() ? "null" : Article(value.type_name()); }

}  // namespace

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), SameIgnoringCase);
}

std::string Quote(std::string_view text) { return JsonString(text); }

std::string QuoteUnlessAddress(std::string_view text) {
    return IsWebAddress(text) ? "the web address " + WebhookShown(text) : Quote(text);
}

std::string WrongType(std::string_view expected, const Json& value) {
    return "is " + ArticleType(value) + ", not " + Article(expected);
}

std::string TypeFailure(std::string_view expected, const Json& value) {
    return WrongType(expected, value) + ": the lookup fails (\"type must be " + std::string(expected) + ", but is " +
           value.type_name() + "\")";
}

std::string KindWords(AnnouncementKind kind) {
    switch (kind) {
        case AnnouncementKind::Structure:
            return "a structure's announcement";
        case AnnouncementKind::Nest:
            return "a nest's announcement";
        case AnnouncementKind::OceanCrate:
            return "an ocean crate's announcement";
        case AnnouncementKind::Asteroid:
            return "an asteroid announcement";
        case AnnouncementKind::Digest:
            return "a digest";
    }
    return {};
}

std::string LookupFailure(AnnouncementKind kind, bool atDelivery) {
    const std::string online = atDelivery ? " while a player is online" : "";
    return kind == AnnouncementKind::Asteroid
               ? " at every asteroid crate that spawns" + online +
                     ": its asteroid announcement is skipped and an error line is logged"
               : " when it spawns" + online + ": that announcement is skipped and an error line is logged";
}

void ReportWrongTypeForDelivery(const Context& at, std::string_view expected, bool readOnScreen, Report& report) {
    if (at.onScreen == readOnScreen) {
        report.Error(at.path, TypeFailure(expected, *at.value) + LookupFailure(at.kind, readOnScreen));
        return;
    }
    report.Warning(at.path, WrongType(expected, *at.value) + ", but it is not read for " +
                                (at.onScreen ? "on-screen notifications" : "chat lines") +
                                "; it would fail if Type changed");
}

std::optional<std::string_view> TextBeforeZero(std::string_view text) {
    const std::size_t zero = text.find('\0');
    return zero == std::string_view::npos ? std::nullopt : std::optional(text.substr(0, zero));
}

void ReportZeroCharacter(const std::string& path, std::string_view text, std::string_view shownAs, Report& report) {
    if (const std::optional<std::string_view> shown = TextBeforeZero(text)) {
        report.Warning(path, "holds a zero character: the game's text ends there, so " + std::string(shownAs) + " " +
                                 Quote(*shown));
    }
}

void ReportColorReading(const std::string& path, std::string_view text, Report& report) {
    const ColorReading reading = ReadColorText(text);
    const std::optional<std::string_view> shown = TextBeforeZero(text);
    if (shown) {
        report.Warning(path,
                       Quote(text) + " holds a zero character: the colour is read only up to it, as " + Quote(*shown));
    }
    if (!reading.isColor) {
        report.Warning(path, Quote(shown.value_or(text)) + " is not a colour (" + Quote(RandomColorText) +
                                 " or three numbers 0 to 255, red first, such as \"255,128,0\"): it shows green");
        return;
    }
    const auto inRange = [](std::int32_t number) { return number >= 0 && number <= 255; };
    if (!IsPlainColorText(text) && !shown && std::all_of(reading.numbers.begin(), reading.numbers.end(), inRange)) {
        report.Warning(path, Quote(text) + " is read as " + std::to_string(reading.numbers[0]) + "," +
                                 std::to_string(reading.numbers[1]) + "," + std::to_string(reading.numbers[2]));
    }
    for (const std::int32_t number : reading.numbers) {
        if (!reading.random && !inRange(number)) {
            report.Warning(path, "in " + Quote(text) + ", " + std::to_string(number) +
                                     " is outside 0 to 255 and shows as " + std::to_string(ColorChannel(number)));
        }
    }
}

}  // namespace Herald

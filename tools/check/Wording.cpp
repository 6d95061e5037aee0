#include "check/Wording.h"

#include <algorithm>
#include <vector>

#include "common/Output.h"

namespace Herald {

namespace {

using Json = nlohmann::json;

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(char a, char b) { return LowerAscii(a) == LowerAscii(b); }

std::string ArticleType(const Json& value) {
    const std::string name = value.type_name();
    return value.is_null() ? name : (name == "array" || name == "object" ? "an " : "a ") + name;
}

std::string Article(std::string_view type) {
    return (type == "object" || type == "array" ? "an " : "a ") + std::string(type);
}

}  // namespace

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), SameIgnoringCase);
}

// Anything beyond limit is given as limit + 1: a text longer than the other
// by more than limit costs nothing, and otherwise three rows as long as the
// shorter text are all it takes.
std::size_t EditDistance(std::string_view a, std::string_view b, std::size_t limit) {
    if (a.size() < b.size()) {
        std::swap(a, b);
    }
    if (a.size() - b.size() > limit) {
        return limit + 1;
    }
    std::vector<std::size_t> beforePrevious(b.size() + 1);
    std::vector<std::size_t> previous(b.size() + 1);
    std::vector<std::size_t> current(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        previous[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        current[0] = i;
        std::size_t rowLeast = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t change = SameIgnoringCase(a[i - 1], b[j - 1]) ? 0 : 1;
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + change});
            if (i > 1 && j > 1 && SameIgnoringCase(a[i - 1], b[j - 2]) && SameIgnoringCase(a[i - 2], b[j - 1])) {
                current[j] = std::min(current[j], beforePrevious[j - 2] + 1);
            }
            rowLeast = std::min(rowLeast, current[j]);
        }
        if (rowLeast > limit) {
            return limit + 1;
        }
        std::swap(beforePrevious, previous);
        std::swap(previous, current);
    }
    return std::min(previous[b.size()], limit + 1);
}

std::size_t NearMissLimit(std::string_view known) { return std::clamp<std::size_t>(known.size() / 3, 1, 3); }

std::string Quote(std::string_view text) { return JsonString(text); }

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

bool IsItemKeyOfSomeName(std::string_view key) {
    const std::string name = std::string(key) + "_1";
    const std::size_t end = FindItemKeyEnd(std::string_view(name));
    return end != std::string_view::npos && end + ItemKeyEndLength == key.size();
}

}  // namespace Herald

// A notification's keys: what is sent, how, and what the delivery reads.

#include <algorithm>
#include <unordered_map>

#include "check/rules/Rules.h"
#include "config/ConfigKeys.h"
#include "config/DeliveryValues.h"
#include "config/NearMisses.h"
#include "config/Placeholders.h"

namespace Herald {

// Without a message there is nothing to send.
void MessageIsSent(const Context& at, Report& report) {
    if (at.value != nullptr && !at.value->is_string()) {
        report.Error(at.path, TypeFailure("string", *at.value) + LookupFailure(at.kind, false));
    } else if (at.value == nullptr) {
        report.Warning(at.path, "no Msg: nothing is sent");
    } else if (at.value->get_ref<const std::string&>().empty()) {
        report.Warning(at.path, "empty Msg: nothing is sent");
    }
}

void MessageIsShownWhole(const Context& at, Report& report) {
    if (at.value != nullptr && at.value->is_string()) {
        ReportZeroCharacter(at.path, at.value->get_ref<const std::string&>(),
                            at.kind == AnnouncementKind::Digest ? "a digest shows only what comes before it:"
                                                                : "players see only what comes before it:",
                            report);
    }
}

namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The name the relay's posts go under is filled for the map alone.
constexpr FilledPlaceholder UsernamePlaceholders[] = {{MapNamePlaceholder, &PlaceholderValues::mapName}};

std::string Where(const Context& at) {
    return at.place == Place::Username ? "the name the relay's posts go under" : KindWords(at.kind);
}

// Where a placeholder that a kind does not fill is filled.
std::string FilledOnlyBy(const Context& at, std::string_view token) {
    if (at.place == Place::Username) {
        return " (" + std::string(MapNamePlaceholder) + " is the only one filled there)";
    }
    if (token == EggLevelPlaceholder) {
        return " (only a nest looked up under its creature's key fills it)";
    }
    if (token == CountPlaceholder) {
        return " (only " + std::string(Key::Calm) + " → " + std::string(Key::Digest) + " fills it)";
    }
    return {};
}

// What one word in braces, met for the first time, does in this announcement.
void ReportFirstUse(const Context& at, std::string_view token, bool filled, Report& report) {
    if (std::find(Placeholders.begin(), Placeholders.end(), token) != Placeholders.end()) {
        if (!filled) {
            report.Warning(at.path, std::string(token) + " is not filled in " + Where(at) + ": it stays as written" +
                                        FilledOnlyBy(at, token));
        }
        return;
    }
    const auto otherCase = std::find_if(Placeholders.begin(), Placeholders.end(),
                                        [&](std::string_view known) { return EqualIgnoringCase(known, token); });
    if (otherCase != Placeholders.end()) {
        report.Warning(at.path, std::string(token) +
                                    " is written in other case: placeholders are matched exactly, so it stays as "
                                    "written (write " +
                                    std::string(*otherCase) + ")");
    } else {
        report.Warning(at.path, std::string(token) + " is not a placeholder: it stays as written");
    }
}

}  // namespace

// Each placeholder is filled at its first place only, and only those of the
// announcement's kind (of the relay's name, the map's alone). One pass: a word in braces is the letters right after
// a "{" up to a "}", so every letter is looked at once whatever the braces
// around it. The message is what players see: up to a zero character.
void PlaceholdersAreFilled(const Context& at, Report& report) {
    if (at.value == nullptr || !at.value->is_string() || at.value->get_ref<const std::string&>().empty()) {
        return;
    }
    const std::string& text = at.value->get_ref<const std::string&>();
    // A game text ends at a zero character; a post's name is sent whole.
    const std::string_view message = at.place == Place::Username ? text : TextBeforeZero(text).value_or(text);
    const std::span<const FilledPlaceholder> filled = at.place == Place::Username
                                                          ? std::span<const FilledPlaceholder>(UsernamePlaceholders)
                                                          : FilledPlaceholders(at.kind);
    const auto isFilled = [&](std::string_view token) {
        return std::any_of(filled.begin(), filled.end(),
                           [token](const FilledPlaceholder& placeholder) { return placeholder.text == token; });
    };
    std::unordered_map<std::string_view, int> seen;
    const std::size_t before = report.Count();
    for (std::size_t open = message.find('{'); open != std::string_view::npos; open = message.find('{', open + 1)) {
        if (report.Count() - before == FindingsListedPerPlace) {
            report.Warning(at.path, "more words in braces that stay as written (not listed)");
            return;
        }
        std::size_t close = open + 1;
        while (close < message.size() && IsLetter(message[close])) {
            ++close;
        }
        if (close == open + 1 || close == message.size() || message[close] != '}') {
            continue;
        }
        const std::string_view token = message.substr(open, close - open + 1);
        const int times = ++seen[token];
        if (times == 2 && isFilled(token)) {
            report.Warning(at.path, std::string(token) +
                                        " is written twice: only the first is filled, the second stays as written");
        }
        if (times == 1) {
            ReportFirstUse(at, token, isFilled(token), report);
        }
    }
}

// Type is read for every delivery, to choose it.
void DeliveryTypeIsText(const Context& at, Report& report) {
    if (at.value != nullptr && !at.value->is_string()) {
        report.Error(at.path, TypeFailure("string", *at.value) + LookupFailure(at.kind, false));
    }
}

// Only NotificationType has a meaning of its own; ChatType says plainly what
// every other text does.
void DeliveryTypeIsKnown(const Context& at, Report& report) {
    if (at.value == nullptr || !at.value->is_string()) {
        return;
    }
    const std::string& type = at.value->get_ref<const std::string&>();
    if (type == NotificationType || type == ChatType) {
        return;
    }
    const std::size_t limit = NotificationType.size();
    const bool nearerOnScreen = EditDistance(type, NotificationType, limit) < EditDistance(type, ChatType, limit);
    report.Warning(at.path, "Type " + Quote(type) + " is neither " + Quote(NotificationType) + " nor " +
                                Quote(ChatType) + ": the message is sent as a chat line (" +
                                (nearerOnScreen ? "for an on-screen notification write " + Quote(NotificationType) + ")"
                                                : "write " + Quote(ChatType) + " to say so)"));
}

// Time is read only for an on-screen notification, when it is delivered; the
// library reads true as a number too.
void DisplayTimeIsANumber(const Context& at, Report& report) {
    if (at.value == nullptr || at.value->is_number() || at.value->is_boolean()) {
        return;
    }
    ReportWrongTypeForDelivery(at, "number", true, report);
}

// What the game receives as the display time, where it is not what is written:
// the number is read as a 32-bit whole number, which the game then takes as a
// single-precision one.
void DisplayTimeIsReadAsWritten(const Context& at, Report& report) {
    if (at.value == nullptr || !at.onScreen || (!at.value->is_number() && !at.value->is_boolean())) {
        return;
    }
    using Note = DisplayTime::Note;
    const DisplayTime reading = ReadDisplayTime(*at.value);
    const std::string delivered = DeliveredDisplayTimeText(reading.value);
    std::string read = at.value->dump() + " is read as " + std::to_string(reading.value);
    if (delivered != std::to_string(reading.value)) {
        read += ", which the game receives as " + delivered;
    }
    switch (reading.note) {
        case Note::Exact:
            if (delivered != std::to_string(reading.value)) {
                report.Warning(at.path, at.value->dump() + " is received as " + delivered +
                                            ": the game takes the display time as a single-precision number");
            }
            return;
        case Note::Boolean:
            return report.Warning(at.path, WrongType("number", *at.value) + ": " + read);
        case Note::Fraction:
            return report.Warning(at.path, "the fraction is dropped: " + read);
        case Note::Saturated:
            return report.Warning(at.path, "beyond the 32-bit range of the display time: " + read);
    }
}

// Size is read only for an on-screen notification, when it is delivered.
void DisplaySizeIsANumber(const Context& at, Report& report) {
    if (at.value == nullptr || at.value->is_number()) {
        return;
    }
    ReportWrongTypeForDelivery(at, "number", true, report);
}

// The game takes the size as a single-precision number: beyond its range it
// is the largest one, and within it the nearest one, which only some numbers
// written in config.json are.
void DisplaySizeFitsTheGame(const Context& at, Report& report) {
    if (at.value == nullptr || !at.value->is_number() || !at.onScreen) {
        return;
    }
    const DisplaySize reading = ReadDisplaySize(*at.value);
    if (reading.saturated) {
        report.Warning(at.path,
                       at.value->dump() + " is beyond the range of the single-precision number the game receives");
    } else if (!IsDeliveredAsWritten(at.value->get<double>())) {
        report.Warning(at.path, at.value->dump() + " is received as " + FloatText(reading.value) +
                                    ": the game takes the size as a single-precision number");
    }
}

// Sender is read only for a chat line.
void SenderIsText(const Context& at, Report& report) {
    if (at.value == nullptr || at.value->is_string()) {
        return;
    }
    ReportWrongTypeForDelivery(at, "string", false, report);
}

void SenderIsShownWhole(const Context& at, Report& report) {
    if (at.value != nullptr && at.value->is_string() && !at.onScreen) {
        ReportZeroCharacter(at.path, at.value->get_ref<const std::string&>(), "players see the sender", report);
    }
}

// Color is read only for an on-screen notification, when it is delivered.
void NotificationColorIsText(const Context& at, Report& report) {
    if (at.kind == AnnouncementKind::Asteroid || at.value == nullptr || at.value->is_string()) {
        return;
    }
    ReportWrongTypeForDelivery(at, "string", true, report);
}

// No colour at all is the default, which shows green.
void NotificationColorIsGiven(const Context& at, Report& report) {
    if (at.kind != AnnouncementKind::Asteroid && at.value == nullptr && at.onScreen) {
        report.Warning(at.path, "no Color: the notification shows green");
    }
}

void NotificationColorIsReadAsWritten(const Context& at, Report& report) {
    if (at.kind != AnnouncementKind::Asteroid && at.value != nullptr && at.value->is_string() && at.onScreen) {
        ReportColorReading(at.path, at.value->get_ref<const std::string&>(), report);
    }
}

}  // namespace Herald

#include <algorithm>
#include <unordered_map>

#include "check/rules/Rules.h"
#include "config/ConfigKeys.h"
#include "config/Placeholders.h"

namespace Herald {

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
            report.Warning(at.path, std::string(token) + " is not filled in " + Where(at) +
                                        ": it stays as written" + FilledOnlyBy(at, token));
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
    const std::span<const FilledPlaceholder> filled =
        at.place == Place::Username ? std::span<const FilledPlaceholder>(UsernamePlaceholders)
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

}  // namespace Herald

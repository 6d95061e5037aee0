#include "announce/TestCommandLine.h"

#include <array>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <nlohmann/json.hpp>

#include "config/ConfigReaders.h"
#include "config/ItemNames.h"
#include "config/NearMisses.h"
#include "game/Platform.h"
#include "plugin/PluginName.h"

namespace {

constexpr std::size_t MostWords = 5;  // the name, AsteroidGen2, CODE, X, Y

// Blanks, control characters and every Unicode space, the invisible ones
// included: a key followed by a no-break space would otherwise be a key no
// one can tell from the one configured.
bool IsSeparator(char16_t unit) {
    switch (unit) {
        case u'\u0085':
        case u'\u00A0':
        case u'\u1680':
        case u'\u180E':
        case u'\u2028':
        case u'\u2029':
        case u'\u202F':
        case u'\u205F':
        case u'\u2060':
        case u'\u3000':
        case u'\uFEFF':
            return true;
        default:
            return unit <= u' ' || (unit >= u'\u007F' && unit <= u'\u009F') || (unit >= u'\u2000' && unit <= u'\u200B');
    }
}

bool IsAsteroidWord(std::u16string_view word) {
    if (word.size() != AsteroidWord.size()) {
        return false;
    }
    for (std::size_t i = 0; i < word.size(); ++i) {
        const auto lower = [](char16_t unit) { return unit >= u'A' && unit <= u'Z' ? unit + (u'a' - u'A') : unit; };
        if (lower(word[i]) != lower(static_cast<char16_t>(AsteroidWord[i]))) {
            return false;
        }
    }
    return true;
}

// A whole word of ASCII that reads as a finite number within the float range;
// no position needs 64 characters.
std::optional<float> ReadCoordinate(std::u16string_view word) {
    std::array<char, 64> text{};
    if (word.size() >= text.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (word[i] > 0x7F) {
            return std::nullopt;
        }
        text[i] = static_cast<char>(word[i]);
    }
    double value = 0;
    const char* end = text.data() + word.size();
    const std::from_chars_result read = std::from_chars(text.data(), end, value);
    if (read.ec != std::errc() || read.ptr != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    if (std::fabs(value) > FLT_MAX) {
        // The shortest text of the largest float (3.4028235e38) is just above
        // it and rounds to it; what rounds beyond it is out of range.
        float rounded = 0;
        const std::from_chars_result narrowed = std::from_chars(text.data(), end, rounded);
        if (narrowed.ec != std::errc() || narrowed.ptr != end || !std::isfinite(rounded)) {
            return std::nullopt;
        }
        return rounded;
    }
    return static_cast<float>(value);
}

}  // namespace

std::string TestUsage() {
    return "Usage: " + std::string(TestCommandForm) + ", or " + std::string(TestAsteroidCommandForm);
}

std::optional<std::vector<std::u16string_view>> CommandWords(std::u16string_view line, std::size_t mostWords) {
    // The game's text would end at a zero, and what follows it would be
    // neither read nor counted against the limit.
    if (line.size() > TestCommandLengthLimit || line.find(u'\0') != std::u16string_view::npos) {
        return std::nullopt;
    }
    std::vector<std::u16string_view> words;
    for (std::size_t at = 0; at < line.size();) {
        if (IsSeparator(line[at])) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < line.size() && !IsSeparator(line[end])) {
            ++end;
        }
        if (words.size() == mostWords) {
            return std::nullopt;
        }
        words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

std::optional<TestRequest> ReadTestCommand(std::u16string_view line) {
    const std::optional<std::vector<std::u16string_view>> read = CommandWords(line, MostWords);
    if (!read) {
        return std::nullopt;
    }
    const std::vector<std::u16string_view>& words = *read;
    const std::size_t count = words.size();
    // words[0] is the command's name, which the host has matched.
    TestRequest request;
    request.asteroid = count >= 2 && IsAsteroidWord(words[1]);
    const std::size_t keyAt = request.asteroid ? 2 : 1;
    if (count != keyAt + 1 && count != keyAt + 3) {
        return std::nullopt;
    }
    request.key = Platform::Utf16ToUtf8(words[keyAt].data(), words[keyAt].size());
    if (count == keyAt + 3) {
        const std::optional<float> x = ReadCoordinate(words[keyAt + 1]);
        const std::optional<float> y = ReadCoordinate(words[keyAt + 2]);
        if (!x || !y) {
            return std::nullopt;
        }
        request.x = *x;
        request.y = *y;
    }
    return request;
}

std::optional<std::optional<std::string>> ReadStatusCommand(std::u16string_view line) {
    const std::optional<std::vector<std::u16string_view>> words = CommandWords(line, 2);
    if (!words || words->empty()) {
        return std::nullopt;
    }
    if (words->size() == 1) {
        return std::optional<std::string>();
    }
    return Platform::Utf16ToUtf8((*words)[1].data(), (*words)[1].size());
}

std::string NoEntryReply(const nlohmann::json& document, const std::string& key) {
    const std::string reply = "No entry " + key + " in " + std::string(Key::Items);
    if (HasAsteroidCode(AsteroidsOf(document), key)) {
        return reply + " (for an asteroid, type " + std::string(TestCommandName) + " " + std::string(AsteroidWord) +
               " " + key + ")";
    }
    if (const std::optional<std::string> nearest = NearestItemKey(ItemsOf(document), key)) {
        return reply + " (did you mean " + *nearest + "?)";
    }
    return reply;
}

std::optional<std::string> NearestItemKey(const nlohmann::json& items, std::string_view typed) {
    if (!items.is_object()) {
        return std::nullopt;
    }
    NearMissSearch search(typed);
    for (const auto& [key, entry] : items.items()) {
        if (!entry.is_null() && !search.Offer(key)) {
            break;
        }
    }
    // typed itself is no near miss of typed: its entry, if any, is null.
    if (const std::optional<std::string_view> nearest = search.Nearest(); nearest && *nearest != typed) {
        return std::string(*nearest);
    }
    return std::nullopt;
}

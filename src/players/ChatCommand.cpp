#include "players/ChatCommand.h"

#include <algorithm>
#include <array>
#include <vector>

#include "config/ConfigReaders.h"
#include "config/PlayersReaders.h"

namespace {

// Blanks and control characters part words: a zero in a player's line must
// not reach a reply, where the game would end the text.
bool Parts(char c) { return static_cast<unsigned char>(c) <= ' '; }

// Up to ChatWordLimit words of the line, so a line of many words costs no
// more than a short one beyond the scan; held in place, as every line is one
// of a few words.
struct Words {
    std::array<std::string_view, ChatWordLimit> word{};
    std::size_t count = 0;
    std::size_t size() const { return count; }
    std::string_view operator[](std::size_t at) const { return word[at]; }
    void push_back(std::string_view text) { word[count++] = text; }
};

Words FirstWords(std::string_view line) {
    Words words;
    std::size_t at = 0;
    while (words.size() < ChatWordLimit) {
        while (at < line.size() && Parts(line[at])) {
            ++at;
        }
        if (at == line.size()) {
            break;
        }
        const std::size_t start = at;
        while (at < line.size() && !Parts(line[at])) {
            ++at;
        }
        words.push_back(line.substr(start, at - start));
    }
    return words;
}

// As GroupFold compares, without making either folded text.
bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

// At most GroupNameLimit characters of a player's text, never a part of one.
std::string_view CutToGroupLimit(std::string_view text) {
    std::size_t characters = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80 && characters++ == GroupNameLimit) {
            return text.substr(0, at);
        }
    }
    return text;
}

// The first ListedGroupLimit groups, each as named gives it, then how many
// more there are: a reply stays a chat line however many groups a server has.
template <typename Name>
std::string Listed(std::span<const std::string> groups, Name named) {
    std::string listed;
    const std::size_t shown = std::min(groups.size(), ListedGroupLimit);
    for (std::size_t at = 0; at < shown; ++at) {
        listed += (at == 0 ? "" : ", ") + named(groups[at]);
    }
    if (groups.size() > shown) {
        listed += " … and " + std::to_string(groups.size() - shown) + " more";
    }
    return listed.empty() ? "none" : listed;
}

std::string AsWritten(const std::string& group) { return group; }

}  // namespace

ChatCommandAnswer AnswerChatCommand(std::string_view line, std::string_view command,
                                    std::span<const std::string> groups, const PlayerChoices& choices,
                                    std::string_view player) {
    const Words words = FirstWords(line);
    if (words.size() == 1) {
        const std::string states = Listed(groups, [&](const std::string& group) {
            return group + (choices.Hears(player, GroupFold(group)) ? " on" : " off");
        });
        const std::string commandText(command);
        return {"Announcements for you: " + states + ". Type " + commandText + " off GROUP or " + commandText +
                    " on GROUP, or all for every group.",
                std::nullopt};
    }
    const bool off = words.size() == 3 && SameIgnoringCase(words[1], "off");
    const bool on = words.size() == 3 && SameIgnoringCase(words[1], "on");
    if (!off && !on) {
        return {"Usage: " + std::string(command) + " [off|on GROUP|all]", std::nullopt};
    }
    const std::string_view named = words[2];
    if (SameIgnoringCase(named, "all")) {
        using enum ChoiceChange::Kind;
        return off ? ChatCommandAnswer{"You will no longer receive any announcements.", ChoiceChange{AllOff, {}}}
                   : ChatCommandAnswer{"You will receive every announcement again.", ChoiceChange{AllOn, {}}};
    }
    const auto group = std::find_if(groups.begin(), groups.end(),
                                    [&](const std::string& known) { return SameIgnoringCase(known, named); });
    if (group == groups.end()) {
        return {"No group \"" + std::string(CutToGroupLimit(named)) + "\". Groups: " + Listed(groups, AsWritten) + ".",
                std::nullopt};
    }
    using enum ChoiceChange::Kind;
    return off ? ChatCommandAnswer{"You will no longer receive " + *group + " announcements.",
                                   ChoiceChange{Off, GroupFold(*group)}}
               : ChatCommandAnswer{"You will receive " + *group + " announcements again.",
                                   ChoiceChange{On, GroupFold(*group)}};
}

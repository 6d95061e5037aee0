#include "config/PlayersReaders.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "config/ConfigKeys.h"
#include "config/ConfigReaders.h"
#include "config/ItemNames.h"
#include "config/StoreAddress.h"

// The readers of groups and of Players, in a file of their own: beside the
// spawn path's readers in ConfigReaders.cpp they would take GCC's room for
// inlining there, and every spawn would pay for it.

using Json = nlohmann::json;

bool IsGroupName(std::string_view text) {
    const auto allowed = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    };
    return !text.empty() && text.size() <= GroupNameLimit && std::all_of(text.begin(), text.end(), allowed);
}

std::string GroupFold(std::string_view group) {
    std::string folded(group);
    std::transform(folded.begin(), folded.end(), folded.begin(), LowerAscii);
    return folded;
}

std::string_view KindGroup(std::string_view itemKey) {
    constexpr std::pair<std::string_view, std::string_view> kinds[] = {{SupplyCrateFragment, CratesGroup},
                                                                       {ElementNodeFragment, NodesGroup},
                                                                       {ArtifactCrateFragment, ArtifactsGroup},
                                                                       {BeaverDamFragment, DamsGroup},
                                                                       {OceanCrateName, OceanGroup}};
    for (const auto& [fragment, group] : kinds) {
        if (ContainsIgnoringCase(itemKey, fragment)) {
            return group;
        }
    }
    return NestsGroup;
}

namespace {

// A member's text when it is a group's name.
std::optional<std::string_view> GroupNameIn(const Json& owner, std::string_view key) {
    if (!owner.is_object()) {
        return std::nullopt;
    }
    const auto found = owner.find(key);
    if (found == owner.end() || !found->is_string() || !IsGroupName(found->get_ref<const std::string&>())) {
        return std::nullopt;
    }
    return found->get_ref<const std::string&>();
}

}  // namespace

std::string_view GroupOf(const Json& entry, std::string_view itemKey) {
    return GroupNameIn(entry, Key::Group).value_or(KindGroup(itemKey));
}

std::string_view AsteroidGroupOf(const Json& asteroids) {
    return GroupNameIn(asteroids, Key::Group).value_or(DefaultAsteroidGroup);
}

bool IsStorePath(const Json& store) {
    return store.is_string() && !store.get_ref<const std::string&>().empty() &&
           store.get_ref<const std::string&>().find('\0') == std::string::npos;
}

bool NamesNetworkShare(std::string_view store) {
    const auto separator = [](char c) { return c == '/' || c == '\\'; };
    if (store.size() < 3 || !separator(store[0]) || !separator(store[1]) || separator(store[2])) {
        return false;
    }
    // \\?\ and \\.\ start a local path in Windows' long form, unless it is
    // \\?\UNC\server\share.
    if ((store[2] == '?' || store[2] == '.') && (store.size() == 3 || separator(store[3]))) {
        const std::string_view rest = store.substr(std::min<std::size_t>(store.size(), 4));
        return rest.size() > 4 && GroupFold(rest.substr(0, 3)) == "unc" && separator(rest[3]);
    }
    return true;
}

bool IsChatCommandName(std::string_view text) {
    const auto alphanumeric = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    };
    return text.size() >= 2 && text.size() <= 1 + ChatCommandNameLimit && text[0] == '/' &&
           std::all_of(text.begin() + 1, text.end(), alphanumeric);
}

PlayersSettings PlayersSettingsOf(const Json& document) {
    PlayersSettings settings{DefaultPlayersEnabled, std::string(DefaultChatCommand), std::string(DefaultStore), {}};
    if (!document.is_object()) {
        return settings;
    }
    const Json& players = Member(document, Key::Players);
    if (players.is_null()) {
        return settings;
    }
    const std::string at = "Players";
    if (!players.is_object()) {
        settings.problems.push_back(at + " is not an object: its defaults are used");
        return settings;
    }
    if (const auto enable = players.find(Key::Enable); enable != players.end()) {
        if (enable->is_boolean()) {
            settings.enabled = enable->get<bool>();
        } else {
            settings.problems.push_back(at + " → Enable is not true or false: players choose, as by default");
        }
    }
    if (const auto command = players.find(Key::Command); command != players.end()) {
        if (command->is_string() && IsChatCommandName(command->get_ref<const std::string&>())) {
            settings.command = command->get<std::string>();
        } else {
            settings.problems.push_back(at + " → Command is not a / then 1 to 32 letters or digits: " +
                                        std::string(DefaultChatCommand) + " is used");
        }
    }
    if (const auto store = players.find(Key::Store); store != players.end()) {
        if (const std::optional<std::string> refusal =
                IsStorePath(*store) ? MariadbRefusal(store->get_ref<const std::string&>()) : std::nullopt) {
            settings.store.reset();
            settings.problems.push_back(at + " → Store " + *refusal + ": choices are kept until the server stops");
        } else if (IsStorePath(*store)) {
            settings.store = store->get<std::string>();
        } else {
            // Not the default in its place: on a cluster that would part this
            // server's choices from the others'.
            settings.store.reset();
            settings.problems.push_back(at + " → Store is not a file's path: choices are kept until the server stops");
        }
    }
    return settings;
}

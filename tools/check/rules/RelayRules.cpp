// The relay's keys.

#include <algorithm>

#include "check/rules/Rules.h"
#include "config/ConfigKeys.h"
#include "config/NearMisses.h"
#include "config/PlayersReaders.h"
#include "config/RelayReaders.h"

namespace Herald {

// The relay's own refusal, with the address shown as the plugin's log shows
// it: the whole address is a secret that lets anyone post to the channel.
void WebhookIsUsable(const Context& at, Report& report) {
    const nlohmann::json* webhook = Given(at);
    if (webhook == nullptr) {
        return;
    }
    const std::string consequence = ": nothing is relayed, and " + std::string(LoggedAtEveryLoad);
    if (!webhook->is_string()) {
        report.Error(at.path, WrongType("string", *webhook) + consequence);
        return;
    }
    const std::string& address = webhook->get_ref<const std::string&>();
    if (const std::optional<std::string> refusal = WebhookRefusal(address)) {
        // Without a host to show, the address is named by what is wrong with it alone.
        const std::string shown = WebhookShown(address);
        const bool hostless = shown == WebhookShown("");
        report.Error(at.path, "the address " + (hostless ? std::string() : shown + " ") + *refusal + consequence);
    }
}

// A list that is none relays every group; a text in it that is no group's
// name is left out, each with an error line; a list left with no group relays
// nothing at all, without a word in the log. null is read as a list that is none.
void RelayedGroupsAreGroupNames(const Context& at, Report& report) {
    if (at.value == nullptr) {
        return;
    }
    const std::string logged = std::string(LoggedAtEveryLoad);
    if (!at.value->is_array()) {
        report.Error(at.path, WrongType("array", *at.value) + ": every group is relayed, and " + logged);
        return;
    }
    std::size_t named = 0;
    std::size_t listed = 0;
    for (std::size_t index = 0; index < at.value->size(); ++index) {
        const nlohmann::json& group = (*at.value)[index];
        if (group.is_string() && IsGroupName(group.get_ref<const std::string&>())) {
            ++named;
            continue;
        }
        if (++listed > FindingsListedPerPlace) {
            continue;
        }
        const std::string what = group.is_string()
                                     ? QuoteUnlessAddress(group.get_ref<const std::string&>()) +
                                           " is not a group name (1 to " + std::to_string(GroupNameLimit) +
                                           " ASCII letters, digits, - and _)"
                                     : WrongType("string", group);
        report.Error(at.path + "/" + std::to_string(index), what + ": it is left out, and " + logged);
    }
    if (listed > FindingsListedPerPlace) {
        report.Error(at.path, std::to_string(listed - FindingsListedPerPlace) +
                                  " more texts that are no group's name (not listed): each is left out, and " + logged);
    }
    if (named == 0) {
        report.Warning(at.path, std::string(at.value->empty() ? "is empty" : "names no group") +
                                    ": nothing is relayed (without " + std::string(Key::Groups) + ", every group is)");
    }
}

// A group is relayed only as it is announced, so a group that no entry of the
// file announces on any map (a typo, an entry removed) relays nothing.
void RelayedGroupsAreAnnounced(const Context& at, Report& report) {
    if (at.value == nullptr || !at.value->is_array() || at.announcedAnywhere == nullptr) {
        return;
    }
    const std::vector<std::string>& announced = *at.announcedAnywhere;
    const std::vector<std::string_view> known(announced.begin(), announced.end());
    std::size_t listed = 0;
    for (std::size_t index = 0; index < at.value->size(); ++index) {
        const nlohmann::json& group = (*at.value)[index];
        if (!group.is_string() || !IsGroupName(group.get_ref<const std::string&>())) {
            continue;
        }
        const std::string folded = GroupFold(group.get_ref<const std::string&>());
        if (std::any_of(announced.begin(), announced.end(),
                        [&](const std::string& known) { return GroupFold(known) == folded; })) {
            continue;
        }
        if (++listed > FindingsListedPerPlace) {
            continue;
        }
        std::string message = Quote(group.get_ref<const std::string&>()) +
                              " is no group that an entry of this file announces on any map: nothing of it is "
                              "relayed (";
        if (const std::optional<std::string_view> nearest = NearestKnown(group.get_ref<const std::string&>(), known)) {
            message += "nearest announced group: " + Quote(*nearest) + ")";
        } else if (known.empty()) {
            message += "no group is announced)";
        } else {
            message += "the groups announced: ";
            for (const std::string_view name : known) {
                message += (name == known.front() ? "" : ", ") + std::string(name);
            }
            message += ")";
        }
        report.Warning(at.path + "/" + std::to_string(index), message);
    }
    if (listed > FindingsListedPerPlace) {
        report.Warning(at.path, std::to_string(listed - FindingsListedPerPlace) +
                                    " more groups that no entry announces (not listed)");
    }
}

// A name that is no text gives way to the default, each map's own name; null
// is no text either, since the key is there.
void UsernameIsText(const Context& at, Report& report) {
    if (at.value == nullptr || at.value->is_string()) {
        return;
    }
    report.Error(at.path, WrongType("string", *at.value) + ": the posts go under the map's name, " +
                              std::string(DefaultUsername) + ", and " + std::string(LoggedAtEveryLoad));
}

// A thread the relay can't tell, or that the address names already: posted to
// the channel instead, the lines would land where no one asked for them.
void ThreadIsAThreadOfTheWebhook(const Context& at, Report& report) {
    if (at.value == nullptr) {
        return;
    }
    const std::string consequence = ": nothing is relayed, and " + std::string(LoggedAtEveryLoad);
    if (!at.value->is_string()) {
        report.Error(at.path, WrongType("string", *at.value) + consequence);
    } else if (const std::optional<std::string> refusal = ThreadRefusal(*at.value, at.webhook)) {
        report.Error(at.path, *refusal + consequence);
    }
}

// Each role that can't be named is left out with an error line, and so is
// each past the fifth; the posts still go.
void MentionNamesRoles(const Context& at, Report& report) {
    if (at.value == nullptr) {
        return;
    }
    const std::string logged = std::string(LoggedAtEveryLoad);
    if (!at.value->is_array()) {
        report.Error(at.path, WrongType("array", *at.value) + ": no one is mentioned, and " + logged);
        return;
    }
    if (at.value->empty()) {
        report.Warning(at.path, "is empty: no one is mentioned");
        return;
    }
    std::size_t named = 0;
    for (std::size_t index = 0; index < at.value->size(); ++index) {
        const nlohmann::json& role = (*at.value)[index];
        if (!role.is_string()) {
            report.Error(at.path + "/" + std::to_string(index),
                         WrongType("string", role) + ": it is left out, and " + logged);
        } else if (!IsDiscordId(role.get_ref<const std::string&>())) {
            report.Error(at.path + "/" + std::to_string(index),
                         "is not a role's id (a text of " + std::to_string(DiscordIdDigits.first) + " to " +
                             std::to_string(DiscordIdDigits.second) + " digits): it is left out, and " + logged);
        } else if (++named > MentionLimit) {
            report.Error(at.path + "/" + std::to_string(index), "is past the " + std::to_string(MentionLimit) +
                                                                    " roles a post may name: it and the roles "
                                                                    "after it are left out, and " +
                                                                    logged);
            return;
        }
    }
}

}  // namespace Herald

#include <algorithm>

#include "check/rules/Rules.h"
#include "config/PlayersReaders.h"
#include "config/NearMisses.h"

namespace Herald {

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

}  // namespace Herald

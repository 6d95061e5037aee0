#include "check/rules/Rules.h"
#include "config/ConfigKeys.h"
#include "config/PlayersReaders.h"

namespace Herald {

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
        const std::string what =
            group.is_string() ? QuoteUnlessAddress(group.get_ref<const std::string&>()) + " is not a group name (1 to " +
                                    std::to_string(GroupNameLimit) + " ASCII letters, digits, - and _)"
                              : WrongType("string", group);
        report.Error(at.path + "/" + std::to_string(index), what + ": it is left out, and " + logged);
    }
    if (listed > FindingsListedPerPlace) {
        report.Error(at.path, std::to_string(listed - FindingsListedPerPlace) +
                                  " more texts that are no group's name (not listed): each is left out, and " + logged);
    }
    if (named == 0) {
        report.Warning(at.path, std::string(at.value->empty() ? "is empty" : "names no group") +
                                    ": nothing is relayed (without " + std::string(Key::Groups) +
                                    ", every group is)");
    }
}

}  // namespace Herald

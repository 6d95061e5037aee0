// An entry's or AsteroidGen2's group.

#include "check/rules/Rules.h"
#include "config/ConfigKeys.h"
#include "config/Placeholders.h"
#include "config/PlayersReaders.h"

namespace Herald {

// A Group that is no group's name is passed over without a word in the log:
// the entry stays in its kind's group, which is the one players turn off.
void GroupIsAGroupName(const Context& at, Report& report) {
    if (at.value == nullptr) {
        return;
    }
    const std::string instead = ": the plugin ignores it and uses the kind's group, " + Quote(at.group);
    if (!at.value->is_string()) {
        report.Error(at.path, WrongType("string", *at.value) + instead);
    } else if (!IsGroupName(at.value->get_ref<const std::string&>())) {
        report.Error(at.path, Quote(at.value->get_ref<const std::string&>()) + " is not a group name (1 to " +
                                  std::to_string(GroupNameLimit) + " ASCII letters, digits, - and _)" + instead);
    }
}

// A group is announced, and offered by the chat command, only through
// entries that can send something.
void GroupHasAnAnnouncement(const Context& at, Report& report) {
    if (at.value == nullptr || !at.value->is_string() || !IsGroupName(at.value->get_ref<const std::string&>()) ||
        at.canSend) {
        return;
    }
    report.Warning(at.path, std::string(at.kind == AnnouncementKind::Asteroid ? "asteroid announcements send nothing"
                                                                              : "this entry sends nothing") +
                                ", so its " + std::string(Key::Group) + " has no effect");
}

}  // namespace Herald

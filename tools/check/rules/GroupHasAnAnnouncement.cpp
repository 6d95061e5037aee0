#include "check/rules/Rules.h"
#include "config/ConfigKeys.h"
#include "config/PlayersReaders.h"
#include "config/Placeholders.h"

namespace Herald {

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

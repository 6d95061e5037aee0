#include "check/rules/Rules.h"
#include "config/Placeholders.h"

namespace Herald {

// No colour at all is the default, which shows green.
void NotificationColorIsGiven(const Context& at, Report& report) {
    if (at.kind != AnnouncementKind::Asteroid && at.value == nullptr && at.onScreen) {
        report.Warning(at.path, "no Color: the notification shows green");
    }
}

}  // namespace Herald

#include "check/rules/Rules.h"
#include "config/Placeholders.h"

namespace Herald {

// Without a Notification object nothing is sent; an asteroid's copy takes the
// code's Color by member access, which fails on anything but an object or null.
void NotificationIsAnObject(const Context& at, Report& report) {
    if (Given(at) == nullptr) {
        report.Warning(at.path, "no Notification: nothing is sent");
    } else if (at.value->is_object()) {
        return;
    } else if (at.kind == AnnouncementKind::Asteroid) {
        report.Error(at.path, WrongType("object", *at.value) +
                                  ": every asteroid crate that spawns fails (\"cannot use operator[] with a string "
                                  "argument with " +
                                  at.value->type_name() + "\"): nothing is sent and an error line is logged");
    } else {
        report.Warning(at.path, WrongType("object", *at.value) + ": nothing is sent");
    }
}

}  // namespace Herald

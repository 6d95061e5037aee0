#include "check/rules/Rules.h"
#include "config/Placeholders.h"

namespace Herald {

// Color is read only for an on-screen notification, when it is delivered.
void NotificationColorIsText(const Context& at, Report& report) {
    if (at.kind == AnnouncementKind::Asteroid || at.value == nullptr || at.value->is_string()) {
        return;
    }
    ReportWrongTypeForDelivery(at, "string", true, report);
}

}  // namespace Herald

#include "check/rules/Rules.h"
#include "config/Placeholders.h"

namespace Herald {

void NotificationColorIsReadAsWritten(const Context& at, Report& report) {
    if (at.kind != AnnouncementKind::Asteroid && at.value != nullptr && at.value->is_string() && at.onScreen) {
        ReportColorReading(at.path, at.value->get_ref<const std::string&>(), report);
    }
}

}  // namespace Herald

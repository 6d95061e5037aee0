#include "check/rules/Rules.h"
#include "config/Placeholders.h"

namespace Herald {

// An asteroid announcement's colour is its code's, whatever its template says.
void AsteroidNotificationColorHasNoEffect(const Context& at, Report& report) {
    if (at.kind == AnnouncementKind::Asteroid && at.value != nullptr) {
        report.Warning(at.path,
                       "has no effect: each asteroid announcement takes its colour from "
                       "AsteroidGen2/Color for its code");
    }
}

}  // namespace Herald

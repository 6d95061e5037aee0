#include "check/rules/Rules.h"
#include "config/Placeholders.h"

namespace Herald {

void MessageIsShownWhole(const Context& at, Report& report) {
    if (at.value != nullptr && at.value->is_string()) {
        ReportZeroCharacter(at.path, at.value->get_ref<const std::string&>(),
                            at.kind == AnnouncementKind::Digest ? "a digest shows only what comes before it:"
                                                                : "players see only what comes before it:",
                            report);
    }
}

}  // namespace Herald

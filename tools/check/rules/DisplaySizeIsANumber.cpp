#include "check/rules/Rules.h"

namespace Herald {

// Size is read only for an on-screen notification, when it is delivered.
void DisplaySizeIsANumber(const Context& at, Report& report) {
    if (at.value == nullptr || at.value->is_number()) {
        return;
    }
    if (at.onScreen) {
        report.Error(at.path, TypeFailure("number", *at.value) + LookupFailure(at.kind, true));
    } else {
        ReportUnread(at, "number", report);
    }
}

}  // namespace Herald

#include "check/rules/Rules.h"

namespace Herald {

// Sender is read only for a chat line.
void SenderIsText(const Context& at, Report& report) {
    if (at.value == nullptr || at.value->is_string()) {
        return;
    }
    if (at.onScreen) {
        ReportUnread(at, "string", report);
    } else {
        report.Error(at.path, TypeFailure("string", *at.value) + LookupFailure(at.kind, false));
    }
}

}  // namespace Herald

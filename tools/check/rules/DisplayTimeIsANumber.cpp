#include "check/rules/Rules.h"

namespace Herald {

// Time is read only for an on-screen notification, when it is delivered; the
// library reads true as a number too.
void DisplayTimeIsANumber(const Context& at, Report& report) {
    if (at.value == nullptr || at.value->is_number() || at.value->is_boolean()) {
        return;
    }
    ReportWrongTypeForDelivery(at, "number", true, report);
}

}  // namespace Herald

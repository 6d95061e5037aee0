#include "check/rules/Rules.h"

namespace Herald {

// Size is read only for an on-screen notification, when it is delivered.
void DisplaySizeIsANumber(const Context& at, Report& report) {
    if (at.value == nullptr || at.value->is_number()) {
        return;
    }
    ReportWrongTypeForDelivery(at, "number", true, report);
}

}  // namespace Herald

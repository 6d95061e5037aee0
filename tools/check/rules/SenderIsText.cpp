#include "check/rules/Rules.h"

namespace Herald {

// Sender is read only for a chat line.
void SenderIsText(const Context& at, Report& report) {
    if (at.value == nullptr || at.value->is_string()) {
        return;
    }
    ReportWrongTypeForDelivery(at, "string", false, report);
}

}  // namespace Herald

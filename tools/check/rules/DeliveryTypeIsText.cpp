#include "check/rules/Rules.h"

namespace Herald {

// Type is read for every delivery, to choose it.
void DeliveryTypeIsText(const Context& at, Report& report) {
    if (at.value != nullptr && !at.value->is_string()) {
        report.Error(at.path, TypeFailure("string", *at.value) + LookupFailure(at.kind, false));
    }
}

}  // namespace Herald

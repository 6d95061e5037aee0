#include "check/rules/Rules.h"

namespace Herald {

// Without a message there is nothing to send.
void MessageIsSent(const Context& at, Report& report) {
    if (at.value != nullptr && !at.value->is_string()) {
        report.Error(at.path, TypeFailure("string", *at.value) + LookupFailure(at.kind, false));
    } else if (at.value == nullptr) {
        report.Warning(at.path, "no Msg: nothing is sent");
    } else if (at.value->get_ref<const std::string&>().empty()) {
        report.Warning(at.path, "empty Msg: nothing is sent");
    }
}

}  // namespace Herald

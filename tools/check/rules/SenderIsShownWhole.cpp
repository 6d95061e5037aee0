#include "check/rules/Rules.h"

namespace Herald {

void SenderIsShownWhole(const Context& at, Report& report) {
    if (at.value != nullptr && at.value->is_string() && !at.onScreen) {
        ReportZeroCharacter(at.path, at.value->get_ref<const std::string&>(), "players see the sender", report);
    }
}

}  // namespace Herald

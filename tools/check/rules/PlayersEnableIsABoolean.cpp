#include "check/rules/Rules.h"

namespace Herald {

// Anything but true or false lets players choose, as the default does.
void PlayersEnableIsABoolean(const Context& at, Report& report) {
    if (at.value != nullptr && !at.value->is_boolean()) {
        report.Error(at.path, WrongType("boolean", *at.value) +
                                  ": players choose, as by default, and an error line is logged at every load "
                                  "and reload");
    }
}

}  // namespace Herald

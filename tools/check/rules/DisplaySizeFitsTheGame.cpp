#include "check/rules/Rules.h"

namespace Herald {

// The game takes the size as a single-precision number.
void DisplaySizeFitsTheGame(const Context& at, Report& report) {
    if (at.value != nullptr && at.value->is_number() && at.onScreen && ReadDisplaySize(*at.value).saturated) {
        report.Warning(at.path,
                       at.value->dump() + " is beyond the range of the single-precision number the game receives");
    }
}

}  // namespace Herald

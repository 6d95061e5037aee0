#include "check/rules/Rules.h"
#include "config/DeliveryValues.h"

namespace Herald {

// The game takes the size as a single-precision number: beyond its range it
// is the largest one, and within it the nearest one, which only some numbers
// written in config.json are.
void DisplaySizeFitsTheGame(const Context& at, Report& report) {
    if (at.value == nullptr || !at.value->is_number() || !at.onScreen) {
        return;
    }
    const DisplaySize reading = ReadDisplaySize(*at.value);
    if (reading.saturated) {
        report.Warning(at.path,
                       at.value->dump() + " is beyond the range of the single-precision number the game receives");
    } else if (!IsDeliveredAsWritten(at.value->get<double>())) {
        report.Warning(at.path, at.value->dump() + " is received as " + FloatText(reading.value) +
                                    ": the game takes the size as a single-precision number");
    }
}

}  // namespace Herald

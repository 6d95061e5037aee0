#include "check/rules/Rules.h"

namespace Herald {

// Each map's entry is read as text when an asteroid with its code spawns.
void AsteroidCodeValueIsText(const Context& at, Report& report) {
    if (!at.value->is_string()) {
        report.Error(at.path, TypeFailure("string", *at.value) +
                                  " when an asteroid with this code spawns: its asteroid announcement is "
                                  "skipped and an error line is logged");
    }
}

}  // namespace Herald

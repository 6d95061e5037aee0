#include "check/rules/Rules.h"
#include "config/ItemNames.h"

namespace Herald {

// Enable is looked up at every asteroid crate that spawns on Gen2.
void AsteroidsEnableIsABoolean(const Context& at, Report& report) {
    if (at.value != nullptr && !at.value->is_boolean()) {
        report.Error(at.path, TypeFailure("boolean", *at.value) + " at every asteroid crate that spawns on " +
                                  std::string(AsteroidMap) +
                                  ": it gets no asteroid announcement and an error line is logged");
    }
}

}  // namespace Herald

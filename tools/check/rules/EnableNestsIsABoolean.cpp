#include "check/rules/Rules.h"

namespace Herald {

// EnableNests is looked up at every spawn of a structure that is not an item
// container, whatever its name.
void EnableNestsIsABoolean(const Context& at, Report& report) {
    if (at.value != nullptr && !at.value->is_boolean()) {
        report.Error(at.path, TypeFailure("boolean", *at.value) +
                                  " at every spawn of a structure that is not an item container: that "
                                  "structure is skipped and an error line is logged");
    }
}

}  // namespace Herald

#include "check/rules/Rules.h"

namespace Herald {

// Items is looked up by item key for every hunted object that spawns.
void ItemsAreAnObject(const Context& at, Report& report) {
    if (Given(at) == nullptr) {
        if (!at.asteroidsOn) {
            report.Warning(at.path, "no Items: nothing is ever announced");
        }
    } else if (!at.value->is_object()) {
        report.Error(at.path, WrongType("object", *at.value) +
                                  " keyed by item key: the lookup fails (\"cannot use operator[] with a string "
                                  "argument with " +
                                  at.value->type_name() +
                                  "\") for every hunted object that spawns; it is not announced and an error line "
                                  "is logged");
    }
}

}  // namespace Herald

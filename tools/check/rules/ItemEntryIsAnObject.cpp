#include "check/rules/Rules.h"

namespace Herald {

// An entry is looked up when its kind spawns; its Name is read first.
void ItemEntryIsAnObject(const Context& at, Report& report) {
    if (at.value->is_null()) {
        report.Warning(at.path, "null: this kind is not announced");
    } else if (!at.value->is_object()) {
        report.Error(at.path, "an entry " + WrongType("object", *at.value) +
                                  ": when it spawns, the lookup of its Name fails (\"cannot use value() with " +
                                  at.value->type_name() +
                                  "\"); that announcement is skipped and an error line is "
                                  "logged");
    }
}

}  // namespace Herald

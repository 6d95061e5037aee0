#include "check/rules/Rules.h"

namespace Herald {

// While asteroid announcements are on, every asteroid crate looks its code up
// in each of the four maps.
void AsteroidCodeMapIsAnObject(const Context& at, Report& report) {
    if (at.value != nullptr && at.value->is_object()) {
        return;
    }
    const bool missing = at.value == nullptr;
    report.Error(at.path, (missing ? std::string("missing") : WrongType("object", *at.value) + ",") +
                              " while asteroid announcements are on: every asteroid crate that spawns fails "
                              "(\"cannot use value() with " +
                              (missing ? std::string("null") : std::string(at.value->type_name())) +
                              "\"); its asteroid announcement is skipped and an error line is logged. Write {} "
                              "for no entries");
}

}  // namespace Herald

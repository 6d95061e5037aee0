#include "check/rules/Rules.h"

namespace Herald {

// The relay's settings are read at every load and reload; null is none, quietly.
void DiscordIsAnObject(const Context& at, Report& report) {
    if (Given(at) == nullptr || at.value->is_object()) {
        return;
    }
    report.Error(at.path, WrongType("object", *at.value) + ": nothing is relayed, and " +
                              std::string(LoggedAtEveryLoad));
}

}  // namespace Herald

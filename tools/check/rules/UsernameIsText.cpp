#include "check/rules/Rules.h"
#include "config/ConfigKeys.h"

namespace Herald {

// A name that is no text gives way to the default, each map's own name; null
// is no text either, since the key is there.
void UsernameIsText(const Context& at, Report& report) {
    if (at.value == nullptr || at.value->is_string()) {
        return;
    }
    report.Error(at.path, WrongType("string", *at.value) + ": the posts go under the map's name, " +
                              std::string(DefaultUsername) + ", and " + std::string(LoggedAtEveryLoad));
}

}  // namespace Herald

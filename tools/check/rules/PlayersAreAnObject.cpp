#include "check/rules/Rules.h"
#include "config/ConfigKeys.h"

namespace Herald {

// Players is read at every load and reload; null is the defaults, quietly.
void PlayersAreAnObject(const Context& at, Report& report) {
    if (Given(at) == nullptr || at.value->is_object()) {
        return;
    }
    report.Error(at.path, WrongType("object", *at.value) + ": the plugin uses every default (players choose with " +
                              std::string(DefaultChatCommand) + ", their choices kept in " +
                              std::string(DefaultStore) + ") and an error line is logged at every load and reload");
}

}  // namespace Herald

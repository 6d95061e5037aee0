#include "check/rules/Rules.h"
#include "config/ConfigKeys.h"

namespace Herald {

// Calm is read at every load and reload; null is the defaults, quietly. An
// entry's own Cooldown still holds, Calm or no Calm.
void CalmIsAnObject(const Context& at, Report& report) {
    if (Given(at) == nullptr || at.value->is_object()) {
        return;
    }
    report.Error(at.path, WrongType("object", *at.value) + ": the plugin uses every default (no minimum of players, " +
                              "a cooldown of " + std::to_string(DefaultCooldown) +
                              " s for entries without their own, the default digest) and an error line is logged at "
                              "every load and reload");
}

}  // namespace Herald

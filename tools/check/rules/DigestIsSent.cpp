#include "check/rules/Rules.h"
#include "config/ConfigKeys.h"

namespace Herald {

// An empty digest is sent as an empty Msg is: not at all, so the spawns a
// cooldown held are told of nowhere.
void DigestIsSent(const Context& at, Report& report) {
    if (at.value != nullptr && at.value->is_string() && at.value->get_ref<const std::string&>().empty()) {
        report.Warning(at.path, "empty " + std::string(Key::Digest) +
                                    ": no digest is sent, so the spawns a cooldown holds are never told of");
    }
}

}  // namespace Herald

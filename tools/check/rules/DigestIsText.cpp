#include "check/rules/Rules.h"

namespace Herald {

// A Digest of another type gives way to the default one (null too).
void DigestIsText(const Context& at, Report& report) {
    if (at.value != nullptr && !at.value->is_string()) {
        report.Error(at.path, WrongType("string", *at.value) +
                                  ": the plugin uses the default digest and an error line is logged at every load "
                                  "and reload");
    }
}

}  // namespace Herald

#include "check/rules/Rules.h"
#include "config/PlayersReaders.h"

namespace Herald {

// Without a file the choices live in the plugin's memory alone. The default
// file is not taken in its place: on a cluster it would part this server's
// choices from the others'.
void ChoiceStoreIsAPath(const Context& at, Report& report) {
    if (at.value == nullptr || IsStorePath(*at.value)) {
        return;
    }
    const std::string what = !at.value->is_string()                         ? WrongType("string", *at.value)
                              : at.value->get_ref<const std::string&>().empty() ? std::string("is empty")
                                                                                : std::string("holds a zero character");
    report.Error(at.path, what +
                              ", so it names no file: players' choices are kept until the server stops, and an error "
                              "line is logged at every load and reload");
}

}  // namespace Herald

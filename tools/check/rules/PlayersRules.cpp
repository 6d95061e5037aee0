// Players' keys.

#include "check/rules/Rules.h"
#include "config/ConfigKeys.h"
#include "config/PlayersReaders.h"
#include "config/StoreAddress.h"

namespace Herald {

// Anything but true or false lets players choose, as the default does.
void PlayersEnableIsABoolean(const Context& at, Report& report) {
    if (at.value != nullptr && !at.value->is_boolean()) {
        report.Error(at.path, WrongType("boolean", *at.value) +
                                  ": players choose, as by default, and an error line is logged at every load "
                                  "and reload");
    }
}

// A Command the game could not take as a chat command gives way to the
// default one, so that players still have a command to type.
void ChatCommandIsACommandName(const Context& at, Report& report) {
    if (at.value == nullptr) {
        return;
    }
    const std::string instead = ": the plugin uses " + std::string(DefaultChatCommand) +
                                " and an error line is logged at every load and reload";
    if (!at.value->is_string()) {
        report.Error(at.path, WrongType("string", *at.value) + instead);
    } else if (!IsChatCommandName(at.value->get_ref<const std::string&>())) {
        report.Error(at.path, Quote(at.value->get_ref<const std::string&>()) + " is not a / then 1 to " +
                                  std::to_string(ChatCommandNameLimit) + " ASCII letters or digits" + instead);
    }
}

// Without a file the choices live in the plugin's memory alone. The default
// file is not taken in its place: on a cluster it would part this server's
// choices from the others'.
void ChoiceStoreIsAPath(const Context& at, Report& report) {
    if (at.value == nullptr) {
        return;
    }
    if (IsStorePath(*at.value)) {
        if (const std::optional<std::string> refusal = MariadbRefusal(at.value->get_ref<const std::string&>())) {
            report.Error(at.path, *refusal +
                                      ", so it names no MariaDB database: players' choices are kept until the "
                                      "server stops, and an error line is logged at every load and reload");
        } else if (NamesNetworkShare(at.value->get_ref<const std::string&>())) {
            report.Error(at.path, std::string(NetworkShareRefusal) +
                                      ": players' choices are kept until the server stops, and an error line is "
                                      "logged at every load and reload");
        }
        return;
    }
    const std::string what = !at.value->is_string()                            ? WrongType("string", *at.value)
                             : at.value->get_ref<const std::string&>().empty() ? std::string("is empty")
                                                                               : std::string("holds a zero character");
    report.Error(at.path, what +
                              ", so it names no file: players' choices are kept until the server stops, and an error "
                              "line is logged at every load and reload");
}

}  // namespace Herald

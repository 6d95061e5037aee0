#include "check/rules/Rules.h"
#include "config/ConfigKeys.h"
#include "config/PlayersReaders.h"

namespace Herald {

// A Command the game could not take as a chat command gives way to the
// default one, so that players still have a command to type.
void ChatCommandIsACommandName(const Context& at, Report& report) {
    if (at.value == nullptr) {
        return;
    }
    const std::string instead =
        ": the plugin uses " + std::string(DefaultChatCommand) + " and an error line is logged at every load and reload";
    if (!at.value->is_string()) {
        report.Error(at.path, WrongType("string", *at.value) + instead);
    } else if (!IsChatCommandName(at.value->get_ref<const std::string&>())) {
        report.Error(at.path, Quote(at.value->get_ref<const std::string&>()) + " is not a / then 1 to " +
                                  std::to_string(ChatCommandNameLimit) + " ASCII letters or digits" + instead);
    }
}

}  // namespace Herald

#include "check/rules/Rules.h"
#include "config/ConfigKeys.h"

namespace Herald {

// Without an address the relay has nowhere to post, whatever else is set; a
// null one is read as none.
void DiscordHasAWebhook(const Context& at, Report& report) {
    if (at.value == nullptr || !at.value->is_object()) {
        return;
    }
    const auto webhook = at.value->find(Key::Webhook);
    if (webhook != at.value->end() && !webhook->is_null()) {
        return;
    }
    report.Error(at.path, "has no " + std::string(Key::Webhook) + ": nothing is relayed, and " +
                              std::string(LoggedAtEveryLoad));
}

}  // namespace Herald

#include "check/rules/Rules.h"
#include "config/RelayReaders.h"

namespace Herald {

// The relay's own refusal, with the address shown as the plugin's log shows
// it: the whole address is a secret that lets anyone post to the channel.
void WebhookIsUsable(const Context& at, Report& report) {
    const nlohmann::json* webhook = Given(at);
    if (webhook == nullptr) {
        return;
    }
    const std::string consequence = ": nothing is relayed, and " + std::string(LoggedAtEveryLoad);
    if (!webhook->is_string()) {
        report.Error(at.path, WrongType("string", *webhook) + consequence);
        return;
    }
    const std::string& address = webhook->get_ref<const std::string&>();
    if (const std::optional<std::string> refusal = WebhookRefusal(address)) {
        // Without a host to show, the address is named by what is wrong with it alone.
        const std::string shown = WebhookShown(address);
        const bool hostless = shown == WebhookShown("");
        report.Error(at.path, "the address " + (hostless ? std::string() : shown + " ") + *refusal + consequence);
    }
}

}  // namespace Herald

#include "check/rules/Rules.h"
#include "config/ConfigKeys.h"
#include "config/NearMisses.h"

namespace Herald {

// Only NotificationType has a meaning of its own; ChatType says plainly what
// every other text does.
void DeliveryTypeIsKnown(const Context& at, Report& report) {
    if (at.value == nullptr || !at.value->is_string()) {
        return;
    }
    const std::string& type = at.value->get_ref<const std::string&>();
    if (type == NotificationType || type == ChatType) {
        return;
    }
    const std::size_t limit = NotificationType.size();
    const bool nearerOnScreen = EditDistance(type, NotificationType, limit) < EditDistance(type, ChatType, limit);
    report.Warning(at.path, "Type " + Quote(type) + " is neither " + Quote(NotificationType) + " nor " +
                                Quote(ChatType) + ": the message is sent as a chat line (" +
                                (nearerOnScreen ? "for an on-screen notification write " + Quote(NotificationType) + ")"
                                                : "write " + Quote(ChatType) + " to say so)"));
}

}  // namespace Herald

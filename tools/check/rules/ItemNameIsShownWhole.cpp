#include "check/rules/Rules.h"
#include "config/Placeholders.h"

namespace Herald {

// An item's Name fills {Name}; it is read whatever the delivery.
void ItemNameIsShownWhole(const Context& at, Report& report) {
    if (at.value == nullptr) {
        return;
    }
    if (!at.value->is_string()) {
        report.Error(at.path, TypeFailure("string", *at.value) +
                                  " when it spawns: that announcement is skipped and an error line is logged");
    } else {
        ReportZeroCharacter(at.path, at.value->get_ref<const std::string&>(),
                            "a message is cut off where " + std::string(NamePlaceholder) + " stands, after", report);
    }
}

}  // namespace Herald

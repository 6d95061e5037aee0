#include "check/rules/Rules.h"
#include "config/ConfigKeys.h"

namespace Herald {

// Name, PrimaryResources and SecondaryResources each fill the placeholder of
// their own name.
void AsteroidTextIsShownWhole(const Context& at, Report& report) {
    const ConfigKey* key = FindConfigKey(at.pattern);
    if (at.value->is_string() && key != nullptr && key->form == KeyForm::PlayerText) {
        ReportZeroCharacter(at.path, at.value->get_ref<const std::string&>(),
                            "a message is cut off where {" + std::string(at.codeMap) + "} stands, after", report);
    }
}

}  // namespace Herald

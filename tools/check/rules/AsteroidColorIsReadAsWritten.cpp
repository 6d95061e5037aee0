#include "check/rules/Rules.h"
#include "config/ConfigKeys.h"

namespace Herald {

// An asteroid announcement's colour is its code's entry under Color.
void AsteroidColorIsReadAsWritten(const Context& at, Report& report) {
    const ConfigKey* key = FindConfigKey(at.pattern);
    if (at.value->is_string() && key != nullptr && key->form == KeyForm::Color) {
        ReportColorReading(at.path, at.value->get_ref<const std::string&>(), report);
    }
}

}  // namespace Herald

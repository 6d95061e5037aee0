#include "check/rules/Rules.h"
#include "config/ItemNames.h"

namespace Herald {

// On Gen2 every asteroid crate looks AsteroidGen2 up, whatever Items says.
void AsteroidSettingsAreAnObject(const Context& at, Report& report) {
    if (Given(at) == nullptr) {
        report.Warning(at.path, "no AsteroidGen2: on the map " + std::string(AsteroidMap) +
                                    " every asteroid crate (a name with " + std::string(SpaceCrateFragment) +
                                    ") that spawns fails its lookup (\"cannot use value() with null\") and an error "
                                    "line is logged; add \"AsteroidGen2\": {\"Enable\": false} to switch asteroid "
                                    "announcements off quietly");
    } else if (!at.value->is_object()) {
        report.Error(at.path, WrongType("object", *at.value) + ": on the map " + std::string(AsteroidMap) +
                                  " every asteroid crate that spawns gets no asteroid announcement (\"cannot use "
                                  "value() with " +
                                  at.value->type_name() + "\") and an error line is logged");
    }
}

}  // namespace Herald

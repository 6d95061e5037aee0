#include <cmath>

#include "check/rules/Rules.h"
#include "config/CalmReaders.h"

namespace Herald {

// A count is read only as a whole number written without a fraction or an
// exponent (60.0 is no count); anything else gives way to what the walk
// names in its place.
void CountIsACount(const Context& at, Report& report) {
    if (at.value == nullptr || ReadCount(*at.value)) {
        return;
    }
    const std::string instead =
        at.countLogged ? ": the plugin uses " + std::string(at.countInstead) +
                             " and an error line is logged at every load and reload"
                       : ": the plugin ignores it and uses " + std::string(at.countInstead);
    const nlohmann::json& value = *at.value;
    if (!value.is_number()) {
        report.Error(at.path, WrongType("number", value) + instead);
        return;
    }
    const bool wholeButWritten = value.is_number_float() && std::isfinite(value.get<double>()) &&
                                 std::trunc(value.get<double>()) == value.get<double>();
    report.Error(at.path, value.dump() + " is not a whole number from 0 to " + std::to_string(INT32_MAX) +
                              (wholeButWritten ? " written without a fraction or an exponent" : "") + instead);
}

}  // namespace Herald

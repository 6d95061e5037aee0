#include <algorithm>
#include <cstdint>

#include "check/rules/Rules.h"
#include "common/Output.h"
#include "config/ConfigKeys.h"
#include "config/RelayReaders.h"
#include "config/NearMisses.h"

namespace Herald {

// Keys the plugin never reads, with the nearest known key when one is a near
// miss, and else the keys it does read there.
void UnknownKeys(const Context& at, Report& report) {
    if (at.value == nullptr || !at.value->is_object()) {
        return;
    }
    const std::vector<std::string_view> known = KeyNamesUnder(at.pattern);
    std::size_t listed = 0;
    std::size_t unlisted = 0;
    for (const auto& [key, value] : at.value->items()) {
        if (std::find(known.begin(), known.end(), key) != known.end()) {
            continue;
        }
        if (++listed > FindingsListedPerPlace) {
            ++unlisted;
            continue;
        }
        // A webhook pasted as a key would be whole in the path as in the message.
        if (IsWebAddress(key)) {
            report.Warning(at.path, "an unknown key that is " + QuoteUnlessAddress(key) +
                                        ", never read by the plugin (a web address is a value, not a key)");
            continue;
        }
        std::string message = "unknown key " + Quote(key) + ", never read by the plugin (";
        if (const std::optional<std::string_view> nearest = NearestKnown(key, known)) {
            message += "nearest known key: " + Quote(*nearest) + ")";
        } else {
            message += "the keys read here: ";
            for (const std::string_view candidate : known) {
                message += (candidate == known.front() ? "" : ", ") + std::string(candidate);
            }
            message += ")";
        }
        report.Warning(at.path + PointerStep(key), message);
    }
    if (unlisted > 0) {
        report.Warning(at.path,
                       std::to_string(unlisted) + " more unknown keys here, never read by the plugin (not listed)");
    }
}

}  // namespace Herald

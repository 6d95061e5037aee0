// Calm's counts and digest, and an entry's cooldown.

#include <cmath>

#include "check/rules/Rules.h"
#include "config/CalmReaders.h"
#include "config/ConfigKeys.h"

namespace Herald {

// A count is read only as a whole number written without a fraction or an
// exponent (60.0 is no count); anything else gives way to what the walk
// names in its place.
void CountIsACount(const Context& at, Report& report) {
    if (at.value == nullptr || ReadCount(*at.value)) {
        return;
    }
    const std::string instead = at.countLogged ? ": the plugin uses " + std::string(at.countInstead) +
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

namespace {
constexpr KeyPointer EntryCooldown{Key::Items, Key::AnyMember, Key::Cooldown};
}  // namespace

// A cooldown starts only once its entry has sent something, so where nothing
// is ever sent nothing is held, and no digest follows.
void CooldownHasAnAnnouncement(const Context& at, Report& report) {
    if (at.pattern != EntryCooldown.View() || at.value == nullptr || ReadCount(*at.value).value_or(0) == 0 ||
        at.canSend) {
        return;
    }
    report.Warning(at.path, "this entry sends nothing, so its " + std::string(Key::Cooldown) + " has no effect");
}

// A Digest of another type gives way to the default one (null too).
void DigestIsText(const Context& at, Report& report) {
    if (at.value != nullptr && !at.value->is_string()) {
        report.Error(at.path, WrongType("string", *at.value) +
                                  ": the plugin uses the default digest and an error line is logged at every load "
                                  "and reload");
    }
}

// An empty digest is sent as an empty Msg is: not at all, so the spawns a
// cooldown held are told of nowhere.
void DigestIsSent(const Context& at, Report& report) {
    if (at.value != nullptr && at.value->is_string() && at.value->get_ref<const std::string&>().empty()) {
        report.Warning(at.path, "empty " + std::string(Key::Digest) +
                                    ": no digest is sent, so the spawns a cooldown holds are never told of");
    }
}

}  // namespace Herald

#include "check/rules/Rules.h"
#include "config/ConfigKeys.h"
#include "config/CalmReaders.h"

namespace Herald {

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

}  // namespace Herald

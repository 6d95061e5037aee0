#include "check/rules/Rules.h"
#include "config/ItemNames.h"
#include "config/Placeholders.h"

namespace Herald {

// A nest is no item container: without EnableNests it is never examined, so
// neither a creature's key (nests are looked up under the creature that laid
// them) nor a nest's own key is ever announced.
void NestsAreExaminedForNestKeys(const Context& at, Report& report) {
    if (at.enableNests || !IsItemKeyOfSomeName(at.name)) {
        return;
    }
    const KeyFragments fragments = FindKeyFragments(at.name);
    if (at.kind == AnnouncementKind::Nest) {
        report.Warning(at.path,
                       "this key can only be a creature's (nests are looked up under the creature that laid "
                       "them), but EnableNests is not true, so nests are never announced");
    } else if (!fragments.ocean && fragments.nest) {
        report.Warning(at.path,
                       "a nest's own key (a nest without a creature is looked up under it), but EnableNests is not "
                       "true, so nests are never announced");
    }
}

}  // namespace Herald

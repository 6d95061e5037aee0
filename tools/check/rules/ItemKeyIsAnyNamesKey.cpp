#include "check/rules/Rules.h"
#include "config/ItemNames.h"

namespace Herald {

namespace {

// "SupplyCrate, ElementNode, ArtifactCrate, Nest_C, BeaverDam or
// SupplyCreate_OceanInstant_High_C": every fragment that makes a name hunted.
std::string HuntedNames() {
    std::string names;
    for (const std::string_view fragment : HuntedFragments) {
        names += std::string(fragment) + ", ";
    }
    names.resize(names.size() - 2);
    return names + " or " + std::string(OceanCrateName);
}

}  // namespace

// A key is made from an instance name such as SupplyCrate_Level03_C_5 by
// cutting after its first "_C_", so it never holds "_C_" itself, and for the
// game's names (CLASS_C_NUMBER) it ends in "_C".
void ItemKeyIsAnyNamesKey(const Context& at, Report& report) {
    const std::size_t cut = FindItemKeyEnd(at.name);
    if (cut != std::string_view::npos) {
        report.Warning(at.path,
                       "no spawned object's name produces this key: a name is cut after its first \"_C_\", "
                       "dropping the instance number, so this entry is never found (did you mean " +
                           Quote(at.name.substr(0, cut + ItemKeyEndLength)) + "?)");
    } else if (!IsItemKeyOfSomeName(at.name)) {
        const KeyFragments fragments = FindKeyFragments(at.name);
        report.Warning(
            at.path,
            "no spawned object's name produces this key: names have the form CLASS_C_NUMBER, "
            "whose key ends in \"_C\"" +
                (fragments.hunted || fragments.ocean ? std::string() : ", and it holds none of " + HuntedNames()));
    }
}

}  // namespace Herald

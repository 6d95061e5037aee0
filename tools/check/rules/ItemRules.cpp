// An entry of Items: its key, its value and its Name.

#include "check/rules/Rules.h"
#include "config/ItemNames.h"
#include "config/Placeholders.h"

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

// An entry is looked up when its kind spawns; its Name is read first.
void ItemEntryIsAnObject(const Context& at, Report& report) {
    if (at.value->is_null()) {
        report.Warning(at.path, "null: this kind is not announced");
    } else if (!at.value->is_object()) {
        report.Error(at.path, "an entry " + WrongType("object", *at.value) +
                                  ": when it spawns, the lookup of its Name fails (\"cannot use value() with " +
                                  at.value->type_name() +
                                  "\"); that announcement is skipped and an error line is "
                                  "logged");
    }
}

// Without a Notification object nothing is sent; an asteroid's copy takes the
// code's Color by member access, which fails on anything but an object or null.
void NotificationIsAnObject(const Context& at, Report& report) {
    if (Given(at) == nullptr) {
        report.Warning(at.path, "no Notification: nothing is sent");
    } else if (at.value->is_object()) {
        return;
    } else if (at.kind == AnnouncementKind::Asteroid) {
        report.Error(at.path, WrongType("object", *at.value) +
                                  ": every asteroid crate that spawns fails (\"cannot use operator[] with a string "
                                  "argument with " +
                                  at.value->type_name() + "\"): nothing is sent and an error line is logged");
    } else {
        report.Warning(at.path, WrongType("object", *at.value) + ": nothing is sent");
    }
}

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

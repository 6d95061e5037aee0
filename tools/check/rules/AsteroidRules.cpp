// AsteroidGen2's own keys, its code maps and their entries.

#include "check/rules/Rules.h"
#include "config/ConfigKeys.h"
#include "config/ItemNames.h"
#include "config/Placeholders.h"

namespace Herald {

// Enable is looked up at every asteroid crate that spawns on Gen2.
void AsteroidsEnableIsABoolean(const Context& at, Report& report) {
    if (at.value != nullptr && !at.value->is_boolean()) {
        report.Error(at.path, TypeFailure("boolean", *at.value) + " at every asteroid crate that spawns on " +
                                  std::string(AsteroidMap) +
                                  ": it gets no asteroid announcement and an error line is logged");
    }
}

// While asteroid announcements are on, every asteroid crate looks its code up
// in each of the four maps.
void AsteroidCodeMapIsAnObject(const Context& at, Report& report) {
    if (at.value != nullptr && at.value->is_object()) {
        return;
    }
    const bool missing = at.value == nullptr;
    report.Error(at.path, (missing ? std::string("missing") : WrongType("object", *at.value) + ",") +
                              " while asteroid announcements are on: every asteroid crate that spawns fails "
                              "(\"cannot use value() with " +
                              (missing ? std::string("null") : std::string(at.value->type_name())) +
                              "\"); its asteroid announcement is skipped and an error line is logged. Write {} "
                              "for no entries");
}

// Each map's entry is read as text when an asteroid with its code spawns.
void AsteroidCodeValueIsText(const Context& at, Report& report) {
    if (!at.value->is_string()) {
        report.Error(at.path, TypeFailure("string", *at.value) +
                                  " when an asteroid with this code spawns: its asteroid announcement is "
                                  "skipped and an error line is logged");
    }
}

// An asteroid announcement's colour is its code's entry under Color.
void AsteroidColorIsReadAsWritten(const Context& at, Report& report) {
    const ConfigKey* key = FindConfigKey(at.pattern);
    if (at.value->is_string() && key != nullptr && key->form == KeyForm::Color) {
        ReportColorReading(at.path, at.value->get_ref<const std::string&>(), report);
    }
}

// Name, PrimaryResources and SecondaryResources each fill the placeholder of
// their own name.
void AsteroidTextIsShownWhole(const Context& at, Report& report) {
    const ConfigKey* key = FindConfigKey(at.pattern);
    if (at.value->is_string() && key != nullptr && key->form == KeyForm::PlayerText) {
        ReportZeroCharacter(at.path, at.value->get_ref<const std::string&>(),
                            "a message is cut off where {" + std::string(at.codeMap) + "} stands, after", report);
    }
}

// An asteroid announcement's colour is its code's, whatever its template says.
void AsteroidNotificationColorHasNoEffect(const Context& at, Report& report) {
    if (at.kind == AnnouncementKind::Asteroid && at.value != nullptr) {
        report.Warning(at.path,
                       "has no effect: each asteroid announcement takes its colour from "
                       "AsteroidGen2/Color for its code");
    }
}

}  // namespace Herald

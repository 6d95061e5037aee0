#include "check/rules/Rules.h"

namespace Herald {

// The lookups that meet a null document first: EnableNests, for every
// structure that is not an item container, whatever its name; and
// AsteroidGen2, for an asteroid crate on Gen2. Items of a null document are
// merely absent.
void DocumentIsAnObject(const Context& at, Report& report) {
    const nlohmann::json& document = *at.value;
    if (document.is_null()) {
        report.Error(at.path,
                     "the document is null, not an object: nothing is sent for any spawn, and every structure that is "
                     "not an item container (nests among them) and every asteroid crate on Gen2 fails its first lookup "
                     "(\"cannot use value() with null\"): an error line is logged for each");
    } else if (!document.is_object()) {
        report.Error(at.path, "the document " + WrongType("object", document) +
                                  ": every hunted object that spawns, and every structure that is not an item "
                                  "container, fails its first lookup (\"cannot use value() with " +
                                  document.type_name() + "\" or \"cannot use operator[] with a string argument with " +
                                  document.type_name() + "\"): nothing is sent and an error line is logged for each");
    }
}

}  // namespace Herald

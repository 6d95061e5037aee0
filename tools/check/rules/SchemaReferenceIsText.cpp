#include "check/rules/Rules.h"

namespace Herald {

// The plugin never reads $schema; an editor finds the schema by it.
void SchemaReferenceIsText(const Context& at, Report& report) {
    if (at.value != nullptr && !at.value->is_string()) {
        report.Warning(at.path, WrongType("string", *at.value) +
                                    ": an editor can't find the schema by it (the plugin never reads it)");
    }
}

}  // namespace Herald

#pragma once
// The JSON Schema of config.json and the key reference of docs/config.md,
// both made from the plugin's own key table (src/config/ConfigKeys.h).

#include <string>

namespace Herald {

// `herald schema`: the JSON Schema (draft 2020-12), as examples/config.schema.json holds it.
std::string ConfigSchemaText();

// The table of every key, as docs/config.md holds it between its markers.
std::string KeyReferenceMarkdown();

}  // namespace Herald

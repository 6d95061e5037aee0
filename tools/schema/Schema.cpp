#include "schema/Schema.h"

namespace Herald {

std::string ConfigSchemaText() { return {}; }
std::string KeyReferenceMarkdown() { return {}; }

}  // namespace Herald

#pragma once
// The walk of herald check: visits the places of a parsed config.json in the
// order an admin reads about them, and at each runs the rules registered for
// that kind of place.

#include <nlohmann/json.hpp>

#include "check/Rule.h"

namespace Herald {

// With every rule of the registry.
void WalkDocument(const nlohmann::json& document, Report& report);

// With the rules given only, in their order (a rule alone gives the findings
// it gives among all of them: none depends on another).
void WalkDocument(const nlohmann::json& document, std::span<const Rule> rules, Report& report);

}  // namespace Herald

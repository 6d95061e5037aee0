#pragma once
// The walk of herald check: visits the places of a parsed config.json in the
// order an admin reads about them, and at each runs the rules registered for
// that kind of place.

#include <nlohmann/json.hpp>

#include "check/Rule.h"

namespace Herald {

void WalkDocument(const nlohmann::json& document, Report& report);

}  // namespace Herald

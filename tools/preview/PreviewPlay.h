#pragma once
// The plan played through the plugin, and what each entry's spawns made it
// send, log and post.

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "preview/Preview.h"
#include "preview/PreviewPage.h"
#include "preview/PreviewPlan.h"
#include "run/Play.h"

namespace Herald {

// Spawns every planned entry once, the plugin loaded once for all of them,
// in a server folder that is gone again before anything is printed.
PlayedScenario PlayPlan(const PreviewScenario& scenario, const std::string& pluginPath);

// Each entry gets what its own spawn made the plugin send and log; the
// plugin's refusal to load, if it refused, is the report's.
void Attribute(const PlayedScenario& played, const PreviewScenario& scenario, std::vector<PlannedEntry>& plan,
               PreviewReport& report);

// Each entry's cooldown as the plugin takes it, and for each that cools
// down, the digest and its posts that end the cooldown.
void PlayDigests(const nlohmann::json& document, const PreviewOptions& options, std::vector<PlannedEntry>& plan);

}  // namespace Herald

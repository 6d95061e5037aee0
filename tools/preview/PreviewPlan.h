#pragma once
// What herald preview spawns for each entry of a config, and the scenario
// that spawns it all once, for one player, through the real plugin.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "check/Check.h"
#include "preview/PreviewPage.h"
#include "scenario/Scenario.h"

namespace Herald {

// The one player who receives everything.
inline constexpr std::string_view PreviewPlayerName = "Survivor";

struct PlannedEntry {
    PreviewEntry shown;
    std::optional<Event> spawn;  // none when no object can be made for it
    bool relayed = false;        // its group goes to Discord, as the plugin plans it
};

// An entry for each key of Items and each asteroid code, in the order the
// admin wrote them: structures on `structureMap` first, then the ocean
// crates, then the asteroid codes, so that the map changes once for each.
// A document that is not an object has none.
std::vector<PlannedEntry> PlanPreview(const CheckedConfig& checked, const std::string& structureMap);

struct PreviewScenario {
    ScenarioSetup setup;
    std::vector<Event> events;
    std::vector<std::optional<std::size_t>> spawnEvents;  // for each planned entry, the index of its spawn
};

// The plan as a scenario: the config and the map, one player, and each
// spawn in plan order, with a map change before it where its map differs.
// With answerEachPost (the file's relay posts), each spawn is followed by a
// second of the game's time, in which the post it made is answered (the
// stand-in answers every post, and sends nothing anywhere): no post waits
// behind another, so each is its entry's alone, and none is in flight when
// the plugin unloads.
PreviewScenario ScenarioOfPlan(const std::vector<PlannedEntry>& plan, const std::string& configText,
                               const std::string& map, bool answerEachPost = false);

}  // namespace Herald

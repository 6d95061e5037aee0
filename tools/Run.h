#pragma once
// herald run: plays a scenario on the stand-in server with the real plugin
// library and prints what the players, the log and the consoles received.

#include <ostream>
#include <string>

#include "Scenario.h"

namespace Herald {

enum class TranscriptFormat { Human, Json };

// Plays the scenario in a fresh temporary server directory, removed afterwards.
void RunScenario(const Scenario& scenario, const std::string& pluginPath, TranscriptFormat format, std::ostream& out);

}  // namespace Herald

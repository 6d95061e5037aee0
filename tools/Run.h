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

// `herald run`: reads the scenario file and plays it. Returns the exit status:
// 0 played, 1 the run failed, 2 the scenario could not be used (said on err).
int RunCommand(const std::string& scenarioPath, const std::string& pluginPath, TranscriptFormat format,
               std::ostream& out, std::ostream& err);

}  // namespace Herald

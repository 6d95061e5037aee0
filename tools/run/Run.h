#pragma once
// herald run: plays a scenario on the stand-in server with the real plugin
// library and prints what the players, the log and the consoles received.

#include <ostream>
#include <string>

#include "run/Printers.h"

namespace Herald {

// `herald run`: checks the scenario file whole, then plays it in a fresh
// temporary server directory (removed afterwards, also when herald is cut
// short), its events read a second time as they are played and each printed
// as soon as it is over. Returns the exit status: 0 played, 1 the run failed
// or its output was closed, 2 the scenario or the temporary folder could not
// be used (said on err, naming the file); nothing is written to out then.
int RunCommand(const std::string& scenarioPath, const std::string& pluginPath, TranscriptFormat format,
               std::ostream& out, std::ostream& err);

}  // namespace Herald

#include "run/Run.h"

#include <exception>
#include <fstream>
#include <optional>

#include "common/TemporaryFolder.h"
#include "run/Play.h"

namespace Herald {

int RunCommand(const std::string& scenarioPath, const std::string& pluginPath, TranscriptFormat format,
               std::ostream& out, std::ostream& err) {
    std::ifstream file;
    ScenarioSetup setup;
    try {
        file = OpenScenario(scenarioPath);
        setup = CheckScenario(file, scenarioPath);
    } catch (const ScenarioError& error) {
        err << "herald: " << error.what() << "\n";
        return 2;
    }
    const SignalCleanup signals;
    std::optional<TemporaryServerFolder> folder;
    try {
        folder.emplace();
    } catch (const TemporaryFolderError& error) {
        err << "herald: can't make a temporary server folder: " << error.what() << "\n";
        return 2;
    }
    // The second pass over the checked file: each event is played as it is
    // read, so memory stays flat however long the scenario.
    const EventSource events = [&](const EventPlayer& play) {
        file.clear();
        file.seekg(0);
        PlayEvents(file, scenarioPath, play);
    };
    try {
        PlayScenario(setup, events, pluginPath, *folder, [&](PlayedStep&& step) { PrintStep(step, format, out); });
    } catch (const std::exception& error) {
        err << "herald: " << error.what() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace Herald

#pragma once
// Playing a scenario on the stand-in server with the real plugin library:
// `herald run` plays a file's events as they are read and prints each step at
// once; `herald preview` plays events it holds in memory and keeps the steps
// to look at before anything is printed.

#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/TemporaryFolder.h"
#include "run/Records.h"
#include "scenario/Scenario.h"

namespace Herald {

// The transcript's reader went away (`herald run ... | head -1`) or the output
// can't be written: nothing more can be said, so the run stops.
struct OutputClosed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Raises OutputClosed when `out` no longer takes what is written; `stopped`
// ends the message ("; stopped at event 3").
void CheckOutput(const std::ostream& out, const std::string& stopped);

// A fresh server folder for one run, removed with everything in it on every
// way out (TemporaryFolder.h; on a signal while the command holds a
// SignalCleanup); the plugin only reads config.json there.
class TemporaryServerFolder {
public:
    TemporaryServerFolder();  // raises TemporaryFolderError; each command words it
    const std::filesystem::path& Root() const { return folder_.Root(); }
    std::filesystem::path PluginFolder() const;
    // Writes config.json, or removes it for none.
    void WriteConfig(const std::optional<std::string>& text) const;

private:
    TemporaryFolder folder_;
};

// Hands each event of a scenario, in order, to the player it is given.
using EventSource = std::function<void(const EventPlayer& play)>;
// Takes each step of a run as soon as it is over.
using StepSink = std::function<void(PlayedStep&& step)>;

// Plays a scenario: the set-up, the plugin at pluginPath loaded, every event,
// the plugin unloaded, and the game memory it left held. The plugin is
// unloaded also when the sink or the events raise; that passes through.
void PlayScenario(const ScenarioSetup& setup, const EventSource& events, const std::string& pluginPath,
                  const TemporaryServerFolder& folder, const StepSink& sink);

// The same for events held in memory, every step kept.
PlayedScenario PlayInMemory(const ScenarioSetup& setup, const std::vector<Event>& events, const std::string& pluginPath,
                            const TemporaryServerFolder& folder);

}  // namespace Herald

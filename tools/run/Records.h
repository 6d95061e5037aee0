#pragma once
// What playing a scenario gives: records of what happened, in the order it
// happened, grouped in steps. The printers (Printers.h) make a transcript of
// them, as the run goes or afterwards.

#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "StandIn.h"
#include "scenario/Scenario.h"

namespace Herald {

// The server as it starts, before the plugin is loaded.
struct StartRecord {
    std::string map;
    bool serverReady = true;
    std::size_t players = 0;
    bool configGiven = false;
    std::string pluginPath;
};

// An event of the scenario, about to be played: its index in "events" and
// what it does, in words.
struct EventRecord {
    std::size_t index = 0;
    std::string summary;
};

// What the game, the log and the consoles received since the records before.
struct HostRecords {
    std::vector<StandIn::Record> records;
    std::optional<std::size_t> eventIndex;  // the event they came in; none outside the events
};

struct LoadRecord {
    StandIn::LoadResult result;
};

struct UnloadRecord {};

// Game memory still held once the plugin is unloaded, beyond what was held
// before the run began.
struct MemoryRecord {
    long long liveBlocks = 0;
    long long liveBytes = 0;
};

using PlayRecord = std::variant<StartRecord, EventRecord, HostRecords, LoadRecord, UnloadRecord, MemoryRecord>;

// One step of a run: the opening (the start and the first load), one event,
// or the closing (the last unload and the memory line). A transcript's
// reader is checked for after each. A step an error cut short is handed on
// as Interrupted with what it did before, and the error follows it.
struct PlayedStep {
    enum class Kind { Opening, Event, Closing, Interrupted };
    Kind kind = Kind::Opening;
    std::size_t eventIndex = 0;  // Event only
    std::vector<PlayRecord> records;
};

// A whole run, kept to be looked at and printed afterwards.
struct PlayedScenario {
    PlayedStep opening;
    std::vector<PlayedStep> events;  // one a scenario event, in order
    PlayedStep closing;
};

// An event's words in a transcript: "spawn container X at (0, 0, 0)".
std::string Summary(const Event& event);

}  // namespace Herald

// A scenario played in memory, as preview plays its plan: printed, it is what
// herald run prints, and a closed output stops the printing where it was.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <fstream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "PreviewSupport.h"
#include "Support.h"
#include "common/TemporaryFolder.h"
#include "run/Play.h"
#include "run/Printers.h"
#include "scenario/Scenario.h"

namespace {

using HeraldTest::Outcome;
using HeraldTest::Source;
using namespace PreviewTest;

struct PlayedExample {
    std::string path;
    Herald::PlayedScenario played;
};

// An example scenario played in memory, as preview plays its plan.
PlayedExample PlayExample(const std::string& name) {
    PlayedExample example{(Source / "examples" / "scenarios" / name).string(), {}};
    std::ifstream file = Herald::OpenScenario(example.path);
    const Herald::ScenarioSetup setup = Herald::CheckScenario(file, example.path);
    std::vector<Herald::Event> events;
    file.clear();
    file.seekg(0);
    Herald::PlayEvents(file, example.path, [&](std::size_t, const Herald::Event& event) { events.push_back(event); });
    const Herald::TemporaryServerFolder folder;
    example.played = Herald::PlayInMemory(setup, events, HeraldTest::PluginPath, folder);
    return example;
}

TEST(HeraldPlayedInMemory, PrintsWhatRunPrintsAsItPlays) {
    for (const char* name : {"tour.json", "reload.json"}) {
        const PlayedExample example = PlayExample(name);
        for (const auto format : {Herald::TranscriptFormat::Human, Herald::TranscriptFormat::Json}) {
            const bool json = format == Herald::TranscriptFormat::Json;
            std::vector<std::string> arguments = {"run", example.path, "--plugin", HeraldTest::PluginPath};
            if (json) {
                arguments.push_back("--json");
            }
            const Outcome run = RunHerald(arguments);
            ASSERT_EQ(run.status, 0) << run.err;
            std::ostringstream printed;
            Herald::PrintPlayed(example.played, format, printed);
            EXPECT_EQ(printed.str(), run.out) << name << (json ? " --json" : "");
        }
    }
}

// Takes `room` bytes, then fails as a pipe whose reader went away.
struct ClosingBuffer : std::streambuf {
    std::size_t room;
    explicit ClosingBuffer(std::size_t bytes) : room(bytes) {}
    int overflow(int c) override {
        if (room == 0) {
            return traits_type::eof();
        }
        --room;
        return c;
    }
};

TEST(HeraldPlayedInMemory, AClosedOutputStopsThePrintingWhereItWas) {
    const PlayedExample example = PlayExample("reload.json");
    std::ostringstream whole;
    Herald::PrintPlayed(example.played, Herald::TranscriptFormat::Human, whole);
    const std::string text = whole.str();
    const std::string closed = "the transcript can't be written any more (its output was closed)";
    struct Case {
        std::size_t room;
        std::string says;
    };
    // Each step is whole or the printing stops after it; the memory line is
    // the last that must fit.
    const Case cases[] = {
        {0, closed + "; stopped before the first event"},
        {text.find("\n#0 "), closed + "; stopped before the first event"},
        {text.find("\n#0 ") + 1, closed + "; stopped at event 0"},
        {text.find("\n#1 ") + 1, closed + "; stopped at event 1"},
        {text.size() - 1, closed},
        {text.size(), ""},
    };
    for (const Case& test : cases) {
        ClosingBuffer buffer(test.room);
        std::ostream out(&buffer);
        std::string says;
        try {
            Herald::PrintPlayed(example.played, Herald::TranscriptFormat::Human, out);
        } catch (const Herald::OutputClosed& error) {
            says = error.what();
        }
        EXPECT_EQ(says, test.says) << "room for " << test.room << " bytes";
    }
}

}  // namespace

// SkyCrateHerald.Test on a key the config lacks. The search for the nearest
// key runs on the game's thread, so what a miss costs is bounded whatever the
// config: each benchmark is one RCON request through the host, with the reply
// checked.

#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "Benchmarks.h"
#include "Scenarios.h"
#include "StandIn.h"
#include "config/ConfigReaders.h"
#include "config/NearMisses.h"

namespace HeraldBench {

namespace {

// A config of count entries whose keys are the given length, each distinct.
std::string ConfigOfKeys(std::size_t count, std::size_t length, char fill) {
    std::string text = R"({"Items": {)";
    for (std::size_t i = 0; i < count; ++i) {
        std::string key = std::to_string(i);
        key.insert(0, length - key.size(), fill);
        text += (i == 0 ? "\"" : ",\"") + key + R"(": {"Notification": {"Msg": "x"}})";
    }
    return text + "}}";
}

void RunTestMiss(benchmark::State& state, const std::string& configText, const std::string& typed,
                 const std::string& expected) {
    PrepareServer(configText);
    if (!StandIn::LoadPlugin(HERALD_PLUGIN_PATH).ok) {
        state.SkipWithError("the plugin refused the config");
        return;
    }
    const std::string line = "SkyCrateHerald.Test " + typed;
    for (auto _ : state) {
        StandIn::ClearRecords();
        StandIn::RconCommand(line, 1);
    }
    const std::string reply = StandIn::Records().empty() ? "" : StandIn::Records().back().text;
    if (reply != expected) {
        state.SkipWithError(("reply: " + reply.substr(0, 200)).c_str());
    }
    StandIn::UnloadPlugin();
}

}  // namespace

void RegisterTestMisses() {
    std::ifstream example(std::string(HERALD_SOURCE_DIR) + "/examples/config.json", std::ios::binary);
    const std::string exampleText((std::istreambuf_iterator<char>(example)), std::istreambuf_iterator<char>());
    const std::vector<std::pair<std::string, std::string>> exampleTypos = {
        {"SupplyCrate_Levl03_C", "SupplyCrate_Level03_C"},
        {"supplycrate_level03_c_", "SupplyCrate_Level03_C"},
        {"ElementNod_C", "ElementNode_C"},
    };
    for (const auto& [typed, nearest] : exampleTypos) {
        benchmark::RegisterBenchmark(("test-command-miss/example/" + typed).c_str(), [=](benchmark::State& state) {
            RunTestMiss(state, exampleText, typed, "No entry " + typed + " in Items (did you mean " + nearest + "?)");
        })->Unit(benchmark::kMicrosecond);
    }
    // 15,000 keys of 1,000 characters: a legal config of 15 MB.
    const std::string longKeys = ConfigOfKeys(15'000, 1'000, 'k');
    const std::string longTypo = std::string(995, 'k') + "x1234";
    benchmark::RegisterBenchmark("test-command-miss/15000-keys-of-1000", [=](benchmark::State& state) {
        RunTestMiss(state, longKeys, longTypo, "No entry " + longTypo + " in Items");
    })->Unit(benchmark::kMicrosecond);
    // The costliest config the limits allow: 15,000 keys as long as a key the
    // search still names, each alike up to its end, and a typed text of their
    // length that is near none of them.
    const std::string capKeys = ConfigOfKeys(15'000, NearMissLengthLimit, 'k');
    const std::string capTypo = std::string(NearMissLengthLimit - 5, 'k') + "xyzzy";
    benchmark::RegisterBenchmark("test-command-miss/15000-keys-at-the-length-limit", [=](benchmark::State& state) {
        RunTestMiss(state, capKeys, capTypo, "No entry " + capTypo + " in Items");
    })->Unit(benchmark::kMicrosecond);
}

}  // namespace HeraldBench
